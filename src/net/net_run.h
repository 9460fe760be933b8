// What one run keeps of the network: the TCP client and server, their labels and status, the FTP
// session. Owned by the interpreter state, so it goes when the run ends.
#pragma once

#include <memory>
#include <string>

#include "words/state.h"

namespace morivel::engine {
class Interpreter;
}
namespace morivel::source {
struct LabelInfo;
}

namespace morivel::net {

class TcpClient;
class TcpServer;
class FtpSession;

class NetRun : public words::OwnedObject {
 public:
  NetRun();
  ~NetRun() override;
  // The run's network state, made on first use.
  static NetRun& Of(engine::Interpreter& in);

  std::unique_ptr<TcpClient> client;
  std::unique_ptr<TcpServer> server;
  // Shared by client and server, as TCP接続状態 reports it (Shift-JIS).
  std::string status;
  std::shared_ptr<source::LabelInfo> client_read_label;
  std::shared_ptr<source::LabelInfo> server_read_label;
  std::shared_ptr<source::LabelInfo> server_connect_label;
  std::unique_ptr<FtpSession> ftp;
};

// A system variable's value (the name in UTF-8); "" when the word does not exist.
std::string system_value(engine::Interpreter& in, const char* utf8_name);
void set_system_value(engine::Interpreter& in, const char* utf8_name, const std::string& value);

// The label a label argument names as written: empty clears (nullptr); a word that is not a label
// is the language's undefined-label error.
std::shared_ptr<source::LabelInfo> label_argument(engine::Interpreter& in, const std::string& name);

// Runs the label as an event: interrupting a running script, or in a nested run when idle.
void fire_label(engine::Interpreter& in, const std::shared_ptr<source::LabelInfo>& label);

// Keeps the console front end running while the holder lives; nullptr without a Qt front end.
std::shared_ptr<void> keep_alive(engine::Interpreter& in);

}  // namespace morivel::net
