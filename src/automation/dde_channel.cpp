#include "automation/dde_channel.h"

#include <unistd.h>

#include <QLocalSocket>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "text/paths.h"

namespace morivel::automation {

namespace fs = std::filesystem;

namespace {

constexpr int kConnectMs = 1000;
constexpr int kReceiptMs = 5000;
constexpr std::uint32_t kMaxMessage = 16 * 1024 * 1024;
constexpr char kReceipt = '\x01';

std::string lower_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::uint64_t fnv1a(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  return hash;
}

fs::path runtime_folder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return runtime;
  return fs::temp_directory_path() / ("morivel-runtime-" + std::to_string(::getuid()));
}

// A message arrives in pieces: a 4-byte big-endian length, then the text.
class Reader : public QObject {
 public:
  // The socket owns its reader.
  Reader(QLocalSocket* socket, DdeServer::Receiver receiver)
      : QObject(socket), socket_(socket), receiver_(std::move(receiver)) {
    connect(socket_, &QLocalSocket::readyRead, this, [this] { Read(); });
    connect(socket_, &QLocalSocket::disconnected, socket_, &QObject::deleteLater);
  }

 private:
  void Read() {
    buffer_ += socket_->readAll().toStdString();
    if (buffer_.size() < 4) return;
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size = (size << 8) | static_cast<unsigned char>(buffer_[i]);
    if (size > kMaxMessage) return socket_->abort();
    if (buffer_.size() < 4 + size) return;
    std::string text = buffer_.substr(4, size);
    buffer_.clear();
    socket_->write(&kReceipt, 1);
    socket_->flush();
    receiver_(text);
  }

  QLocalSocket* socket_;
  DdeServer::Receiver receiver_;
  std::string buffer_;
};

}  // namespace

std::string DdeSocketPath(const std::string& service, const std::string& topic) {
  char name[32];
  std::snprintf(name, sizeof name, "morivel-dde-%016llx",
                static_cast<unsigned long long>(fnv1a(lower_ascii(service) + '\n' + topic)));
  return (runtime_folder() / name).string();
}

std::string ServiceNameOf(const std::string& script_path) {
  std::string name = text::extract_file_name(script_path);
  std::string ext = text::extract_extension(name);
  return name.substr(0, name.size() - ext.size());
}

DdeServer::DdeServer(std::string service, std::string topic, Receiver receiver)
    : path_(DdeSocketPath(service, topic)), receiver_(std::move(receiver)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, [this] { Accept(); });
}

DdeServer::~DdeServer() {
  server_.close();
}

bool DdeServer::Listen() {
  QString path = QString::fromStdString(path_);
  if (server_.listen(path)) return true;
  // A socket left by a program that ended without closing it answers nobody: take it over.
  QLocalSocket probe;
  probe.connectToServer(path);
  if (probe.waitForConnected(kConnectMs)) return false;
  QLocalServer::removeServer(path);
  return server_.listen(path);
}

void DdeServer::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) new Reader(socket, receiver_);
}

DdeSendResult DdeSend(const std::string& service, const std::string& topic,
                      const std::string& text) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(DdeSocketPath(service, topic)));
  if (!socket.waitForConnected(kConnectMs)) return DdeSendResult::NoLink;
  std::string message(4, '\0');
  auto size = static_cast<std::uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) message[i] = static_cast<char>((size >> (24 - 8 * i)) & 0xFF);
  message += text;
  socket.write(message.data(), static_cast<qint64>(message.size()));
  if (!socket.waitForBytesWritten(kReceiptMs)) return DdeSendResult::NotSent;
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(kReceiptMs)) return DdeSendResult::NotSent;
  socket.disconnectFromServer();
  return DdeSendResult::Sent;
}

}  // namespace morivel::automation
