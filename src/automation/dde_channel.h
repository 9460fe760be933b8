// DDE between Morivel programs as local-socket messages: a server listens for a service (the
// program's name) and a topic; a client sends one execute text and waits only for its receipt.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace morivel::automation {

// The socket a service and topic meet at, in the user's runtime folder. Service names compare
// without regard to ASCII case.
std::string DdeSocketPath(const std::string& service, const std::string& topic);

// The service name of a script: its file name without folder and extension.
std::string ServiceNameOf(const std::string& script_path);

class DdeServer : public QObject {
  Q_OBJECT
 public:
  using Receiver = std::function<void(const std::string& text)>;
  DdeServer(std::string service, std::string topic, Receiver receiver);
  ~DdeServer() override;
  // False when another program serves the same service and topic already.
  bool Listen();

 private:
  void Accept();
  std::string path_;
  Receiver receiver_;
  QLocalServer server_;
};

enum class DdeSendResult { Sent, NoLink, NotSent };

// One execute: connect, send, wait for the receipt. `between_tries` runs while connecting.
DdeSendResult DdeSend(const std::string& service, const std::string& topic,
                      const std::string& text);

}  // namespace morivel::automation
