// Console front end.
#include "gui/console_host.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"

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

void ConsoleHost::CloseMainWindow() {
  if (closed_) return;
  if (close_query_ && !close_query_()) return;
  closed_ = true;
}

void ConsoleHost::ShowText(const std::string& text) {
  std::string line = to_terminal(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void ConsoleHost::ShowMessage(const std::string& text) {
  ShowText(text);
}

engine::ErrorChoice ConsoleHost::ShowErrorDialog(const std::string& log) {
  std::string text = to_terminal(log);
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  exit_status_ = 1;
  return engine::ErrorChoice::Quit;
}

namespace {

std::vector<std::string> lines_of(const std::string& sjis) {
  std::vector<std::string> out;
  for (std::string_view line : text::split_lines(sjis))
    if (!line.empty()) out.emplace_back(line);
  return out;
}

// One line of standard input, without its line break; nullopt at the end of input.
std::optional<std::string> read_line() {
  std::string line;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string ConsoleHost::ChooseButton(const std::string& message, const std::string& buttons) {
  std::vector<std::string> choices = lines_of(buttons);
  ShowText(message);
  for (std::size_t i = 0; i < choices.size(); ++i)
    ShowText(std::to_string(i + 1) + ": " + choices[i]);
  std::optional<std::string> answer = read_line();
  if (!answer) return {};
  std::string sjis_answer = text::from_utf8(*answer);
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (sjis_answer == choices[i] || sjis_answer == std::to_string(i + 1)) return choices[i];
  return {};
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
