// Console front end.
#include "gui/console_host.h"

#include <cstdio>

#include "text/encoding.h"

namespace morivel::gui {

std::string to_terminal(const std::string& sjis) {
  std::string utf8 = text::to_utf8(sjis);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out += utf8[i];
  }
  return out;
}

void ConsoleHost::ShowText(const std::string& text) {
  std::string line = to_terminal(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void ConsoleHost::ShowMessage(const std::string& text) { ShowText(text); }

engine::ErrorChoice ConsoleHost::ShowErrorDialog(const std::string& log) {
  std::string text = to_terminal(log);
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  exit_status_ = 1;
  return engine::ErrorChoice::Quit;
}

engine::DebugChoice ConsoleHost::ShowDebugDialog(const std::string& variables,
                                                 const std::string& stack,
                                                 const std::string& search) {
  std::string text = "[debug]";
  if (!search.empty()) text += " " + to_terminal(search);
  text += "\n" + to_terminal(variables);
  if (!stack.empty()) text += "[stack]\n" + to_terminal(stack);
  if (text.back() != '\n') text += '\n';
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  return engine::DebugChoice::Continue;
}

}  // namespace morivel::gui
