// The run's TCP client and server on Qt Network. Their notifications arrive on the GUI thread and
// re-enter the interpreter as event jumps.
#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <string>
#include <vector>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::net {

class NetRun;

// A socket may be dropped from inside its own signal (a handler calls TCP切断): Qt then wants
// deleteLater, and nothing of ours may hear from it again.
struct LaterDeleter {
  void operator()(QObject* object) const;
};
template <class T>
using QtOwned = std::unique_ptr<T, LaterDeleter>;

// The socket error number a script sees, in the numbering scripts of this language know.
int socket_error_number(QAbstractSocket::SocketError error);

// An address as scripts see it: IPv4 in dotted form even when the socket is dual-stack.
std::string address_text(const QHostAddress& address);

// TCPポート, or the port of TCPサービス名 when that is set; 0 when neither gives one.
quint16 configured_port(engine::Interpreter& in);

class TcpClient {
 public:
  TcpClient(engine::Interpreter& in, NetRun& run);
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Connects, letting events run, for at most 20 seconds. Throws GeneralError with the failure
  // text ("タイムアップ" or the status the error left).
  void Connect(const std::string& target, quint16 port);
  // Throws GeneralError when the text cannot be sent.
  void Send(const std::string& bytes);
  // Closes the connection, letting events run until it is closed.
  void Close();

 private:
  void OnConnected();
  void OnDisconnected();
  void OnError(QAbstractSocket::SocketError error);
  void OnReadyRead();

  engine::Interpreter& in_;
  NetRun& run_;
  QtOwned<QTcpSocket> socket_;
  std::string host_name_;
  bool connecting_ = false;
  std::shared_ptr<void> alive_;
};

class TcpServer {
 public:
  TcpServer(engine::Interpreter& in, NetRun& run);
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Throws GeneralError with the reason when the port cannot be listened on.
  void Start(quint16 port);
  void Stop();
  bool Active() const { return server_ && server_->isListening(); }
  // The connected clients' texts (address, ",", host name), one per line.
  std::string ClientList() const;
  // The first client whose text matches `who`, or -1.
  int FindClient(const std::string& who) const;
  void SendTo(int index, const std::string& bytes);
  void Drop(int index);

 private:
  struct Client {
    QtOwned<QTcpSocket> socket;
    std::string text;
  };
  void OnNewConnection();
  void OnClientRead(QTcpSocket* socket);
  void OnClientGone(QTcpSocket* socket);
  int IndexOf(const QTcpSocket* socket) const;

  engine::Interpreter& in_;
  NetRun& run_;
  QtOwned<QTcpServer> server_;
  std::vector<Client> clients_;
  std::shared_ptr<void> alive_;
};

// True when a client's text (address, ",", host name) answers to `who`: the address exactly, or
// the host name ignoring case, both trimmed.
bool client_matches(const std::string& client_text, const std::string& who);

}  // namespace morivel::net
