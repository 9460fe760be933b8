// The terminal host and the printing both console hosts share.
#include "engine/terminal_host.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::engine {

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

void PrintLine(const std::string& sjis) {
  std::string line = to_terminal(sjis) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

namespace {

void print_to_standard_error(std::string text) {
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

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

void PrintErrorLog(const std::string& log) {
  print_to_standard_error(to_terminal(log));
}

void PrintDebugListing(const std::string& variables, const std::string& stack,
                       const std::string& search) {
  std::string text = "[debug]";
  if (!search.empty()) text += " " + to_terminal(search);
  text += "\n" + to_terminal(variables);
  if (!stack.empty()) text += "[stack]\n" + to_terminal(stack);
  print_to_standard_error(std::move(text));
}

std::string ChooseButtonOnTerminal(const std::string& message, const std::string& buttons) {
  std::vector<std::string> choices = lines_of(buttons);
  PrintLine(message);
  for (std::size_t i = 0; i < choices.size(); ++i)
    PrintLine(std::to_string(i + 1) + ": " + choices[i]);
  std::optional<std::string> answer = read_line();
  if (!answer) return {};
  std::string sjis_answer = text::from_utf8(*answer);
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (sjis_answer == choices[i] || sjis_answer == std::to_string(i + 1)) return choices[i];
  return {};
}

void TerminalHost::ShowText(const std::string& text) {
  PrintLine(text);
}

void TerminalHost::ShowMessage(const std::string& text) {
  PrintLine(text);
}

ErrorChoice TerminalHost::ShowErrorDialog(const std::string& log) {
  PrintErrorLog(log);
  ending_.Fail();
  return ErrorChoice::Quit;
}

DebugChoice TerminalHost::ShowDebugDialog(const std::string& variables, const std::string& stack,
                                          const std::string& search) {
  PrintDebugListing(variables, stack, search);
  return DebugChoice::Continue;
}

std::string TerminalHost::ChooseButton(const std::string& message, const std::string& buttons) {
  return ChooseButtonOnTerminal(message, buttons);
}

void ConsoleEnding::Close() {
  if (closed_) return;
  if (close_query_ && !close_query_()) return;
  closed_ = true;
}

void TerminalHost::Wait(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void TerminalHost::StartTimer(int milliseconds, std::function<void()> fire) {
  (void)milliseconds, (void)fire;
  throw std::logic_error("the script timer needs the window side");
}

void TerminalHost::StopTimer() {}

}  // namespace morivel::engine
