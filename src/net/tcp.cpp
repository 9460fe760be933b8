// TCP client and server: connection loops that keep events turning, and the notifications that
// become TCP文字列, TCP送信元 and event jumps.
#include "net/tcp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QTimer>

#include <netdb.h>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "net/net_run.h"
#include "text/encoding.h"
#include "text/japanese.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::net {

namespace {

constexpr qint64 kConnectLimitMs = 20000;
constexpr qint64 kCloseLimitMs = 5000;

std::string from_qt(const QString& s) {
  return text::from_utf8(s.toStdString());
}

// Lets events run until `done` holds or `limit_ms` passes; false on the time limit. A short
// ticking timer wakes the wait so that the clock is looked at even when nothing arrives.
template <class Done>
bool turn_events_until(Done done, qint64 limit_ms) {
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.start(20);
  while (!done()) {
    if (clock.elapsed() > limit_ms) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

std::string status_error(int code) {
  return text::sjis("エラー") + std::to_string(code);
}

}  // namespace

void LaterDeleter::operator()(QObject* object) const {
  if (!object) return;
  object->disconnect();
  if (auto* socket = qobject_cast<QAbstractSocket*>(object)) socket->abort();
  object->deleteLater();
}

int socket_error_number(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::RemoteHostClosedError:
      return 10054;
    case QAbstractSocket::HostNotFoundError:
      return 11001;
    case QAbstractSocket::SocketAccessError:
      return 10013;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::NetworkError:
      return 10050;
    case QAbstractSocket::AddressInUseError:
      return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
      return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
      return 10045;
    default:
      return 10000 + static_cast<int>(error) + 100;
  }
}

std::string address_text(const QHostAddress& address) {
  bool ipv4 = false;
  quint32 v4 = address.toIPv4Address(&ipv4);
  if (ipv4) return QHostAddress(v4).toString().toStdString();
  return address.toString().toStdString();
}

quint16 configured_port(engine::Interpreter& in) {
  std::string service = text::trim(system_value(in, "TCPサービス名"));
  if (!service.empty()) {
    if (const servent* entry = getservbyname(service.c_str(), "tcp"))
      return ntohs(static_cast<uint16_t>(entry->s_port));
  }
  long double port = expr::ToNumber(system_value(in, "TCPポート"));
  if (!(port > 0) || port > 65535) return 0;
  return static_cast<quint16>(port);
}

bool client_matches(const std::string& client_text, const std::string& who) {
  std::size_t comma = client_text.find(',');
  std::string address = text::trim(client_text.substr(0, comma));
  if (address == who) return true;
  if (comma == std::string::npos) return false;
  std::string host = text::trim(client_text.substr(comma + 1));
  return text::to_upper_case(host) == text::to_upper_case(who);
}

// ---- client ------------------------------------------------------------------------------------

TcpClient::TcpClient(engine::Interpreter& in, NetRun& run)
    : in_(in), run_(run), socket_(new QTcpSocket) {
  QObject::connect(socket_.get(), &QTcpSocket::connected, [this] { OnConnected(); });
  QObject::connect(socket_.get(), &QTcpSocket::disconnected, [this] { OnDisconnected(); });
  QObject::connect(socket_.get(), &QTcpSocket::errorOccurred,
                   [this](QAbstractSocket::SocketError e) { OnError(e); });
  QObject::connect(socket_.get(), &QTcpSocket::readyRead, [this] { OnReadyRead(); });
}

TcpClient::~TcpClient() = default;

void TcpClient::Connect(const std::string& target, quint16 port) {
  socket_->abort();
  // Kept in the form it was given: a peer's name in TCP送信元 is the name the script used.
  host_name_ = target;
  run_.status = text::sjis("接続準備中");
  connecting_ = true;
  alive_ = keep_alive(in_);
  socket_->connectToHost(QString::fromStdString(text::to_utf8(target)), port);
  const std::string waiting = run_.status;
  bool in_time = turn_events_until([&] { return run_.status != waiting; }, kConnectLimitMs);
  if (!in_time) {
    socket_->abort();
    connecting_ = false;
    alive_.reset();
    throw GeneralError(text::sjis("タイムアップ"));
  }
  connecting_ = false;
  if (run_.status != text::sjis("接続中")) {
    alive_.reset();
    throw GeneralError(run_.status);
  }
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 5) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void TcpClient::Send(const std::string& bytes) {
  if (socket_->state() != QAbstractSocket::ConnectedState)
    throw GeneralError(text::sjis("接続されていません。"));
  if (socket_->write(bytes.data(), static_cast<qint64>(bytes.size())) < 0)
    throw GeneralError(from_qt(socket_->errorString()));
  socket_->flush();
}

void TcpClient::Close() {
  socket_->disconnectFromHost();
  if (!turn_events_until([this] { return socket_->state() == QAbstractSocket::UnconnectedState; },
                         kCloseLimitMs))
    socket_->abort();
  alive_.reset();
}

void TcpClient::OnConnected() {
  run_.status = text::sjis("接続中");
}

void TcpClient::OnDisconnected() {
  run_.status = text::sjis("未接続");
  alive_.reset();
}

void TcpClient::OnError(QAbstractSocket::SocketError error) {
  // The peer closing is a disconnect, not a failure.
  if (error == QAbstractSocket::RemoteHostClosedError) return;
  int code = socket_error_number(error);
  run_.status = status_error(code);
  if (connecting_) return;  // the connect loop reports it
  alive_.reset();
  in_.Error(text::sjis("TCP/IPクライアントでエラーが発生しました。エラー番号:") +
            std::to_string(code));
  if (in_.GetHost().ShowErrorDialog(in_.ErrorLog()) == engine::ErrorChoice::Quit) {
    in_.Stop();
    in_.GetHost().CloseMainWindow();
  }
}

void TcpClient::OnReadyRead() {
  QByteArray data = socket_->readAll();
  set_system_value(in_, "TCP文字列", data.toStdString());
  set_system_value(in_, "TCP送信元", address_text(socket_->peerAddress()) + "," + host_name_);
  // Last: the handler may close this client.
  fire_label(in_, run_.client_read_label);
}

// ---- server ------------------------------------------------------------------------------------

TcpServer::TcpServer(engine::Interpreter& in, NetRun& run)
    : in_(in), run_(run), server_(new QTcpServer) {
  QObject::connect(server_.get(), &QTcpServer::newConnection, [this] { OnNewConnection(); });
}

TcpServer::~TcpServer() {
  clients_.clear();
}

void TcpServer::Start(quint16 port) {
  clients_.clear();
  if (server_->isListening()) server_->close();
  if (!server_->listen(QHostAddress::AnyIPv4, port))
    throw GeneralError(from_qt(server_->errorString()));
  alive_ = keep_alive(in_);
}

void TcpServer::Stop() {
  server_->close();
  // Taken out first: a socket that closes at once reports its disconnect while we go on.
  std::vector<Client> closing = std::move(clients_);
  clients_.clear();
  for (Client& client : closing) client.socket->disconnectFromHost();
  turn_events_until(
      [&closing] {
        for (const Client& client : closing)
          if (client.socket->state() != QAbstractSocket::UnconnectedState) return false;
        return true;
      },
      kCloseLimitMs);
  alive_.reset();
}

std::string TcpServer::ClientList() const {
  std::string out;
  for (const Client& client : clients_) {
    if (!out.empty()) out += "\r\n";
    out += client.text;
  }
  return out;
}

int TcpServer::FindClient(const std::string& who) const {
  for (std::size_t i = 0; i < clients_.size(); ++i)
    if (client_matches(clients_[i].text, who)) return static_cast<int>(i);
  return -1;
}

void TcpServer::SendTo(int index, const std::string& bytes) {
  QTcpSocket& socket = *clients_.at(static_cast<std::size_t>(index)).socket;
  if (socket.write(bytes.data(), static_cast<qint64>(bytes.size())) < 0)
    throw GeneralError(text::sjis("サーバーへの送信に失敗。") + from_qt(socket.errorString()));
  socket.flush();
}

void TcpServer::Drop(int index) {
  clients_.erase(clients_.begin() + index);
}

int TcpServer::IndexOf(const QTcpSocket* socket) const {
  for (std::size_t i = 0; i < clients_.size(); ++i)
    if (clients_[i].socket.get() == socket) return static_cast<int>(i);
  return -1;
}

void TcpServer::OnNewConnection() {
  while (QTcpSocket* accepted = server_->nextPendingConnection()) {
    accepted->setParent(nullptr);
    QtOwned<QTcpSocket> socket(accepted);
    std::string address = address_text(socket->peerAddress());
    // The name the peer's address resolves to (the hosts file first, as the resolver does).
    QString name = QHostInfo::fromName(QString::fromStdString(address)).hostName();
    std::string client_text = address + "," + text::from_utf8(name.toStdString());
    QObject::connect(accepted, &QTcpSocket::readyRead,
                     [this, accepted] { OnClientRead(accepted); });
    QObject::connect(accepted, &QTcpSocket::disconnected,
                     [this, accepted] { OnClientGone(accepted); });
    QObject::connect(accepted, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError e) {
      if (e != QAbstractSocket::RemoteHostClosedError)
        run_.status = status_error(socket_error_number(e));
    });
    clients_.push_back(Client{std::move(socket), client_text});
    set_system_value(in_, "TCP送信元", client_text);
    fire_label(in_, run_.server_connect_label);
  }
}

void TcpServer::OnClientRead(QTcpSocket* socket) {
  int index = IndexOf(socket);
  if (index < 0) return;
  QByteArray data = socket->readAll();
  set_system_value(in_, "TCP文字列", data.toStdString());
  set_system_value(in_, "TCP送信元", clients_[static_cast<std::size_t>(index)].text);
  fire_label(in_, run_.server_read_label);
}

void TcpServer::OnClientGone(QTcpSocket* socket) {
  int index = IndexOf(socket);
  if (index >= 0) Drop(index);
}

}  // namespace morivel::net
