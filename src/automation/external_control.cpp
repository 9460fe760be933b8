#include "automation/external_control.h"

#include "automation/dde_channel.h"
#include "engine/host.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::automation {

namespace {

const char* kTopic = "command";
const char* kEditor = "morvpad";

// The script editor follows the run: it is told the line, when it asked for it.
void report_line(engine::Interpreter& in, const std::string& rest) {
  std::string line = std::to_string(in.CurrentLine());
  if (rest.empty())
    in.GetHost().ShowMessage(text::sjis("実行ライン:") + line);
  else if (rest == kEditor)
    DdeSend(kEditor, kTopic, "row " + line);
}

void run_macro(engine::Interpreter& in, const std::string& macro) {
  std::string trimmed = text::trim(macro);
  std::size_t space = text::find_at_char_start(trimmed, " ");
  std::string verb = text::trim(trimmed.substr(0, space));
  std::string rest = space == std::string::npos ? "" : text::trim(trimmed.substr(space + 1));
  if (verb == "line") {
    report_line(in, rest);
  } else if (verb == "pause") {
    in.ShowDebugDialog();
  } else if (verb == "break") {
    if (rest == kEditor) report_line(in, rest);
    in.Stop();
    in.GetHost().CloseMainWindow();
  }
}

}  // namespace

std::unique_ptr<QObject> StartExternalControl(engine::Interpreter& in,
                                              const std::string& script_path) {
  auto server = std::make_unique<DdeServer>(ServiceNameOf(script_path), kTopic,
                                            [&in](const std::string& macro) {
                                              try {
                                                run_macro(in, macro);
                                              } catch (const std::exception&) {
                                                // Nothing may escape into Qt's event delivery.
                                              }
                                            });
  if (!server->Listen()) return nullptr;
  return server;
}

}  // namespace morivel::automation
