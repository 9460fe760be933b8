// The terminal as a host: 表示 and messages on standard output, the error log on standard error,
// questions answered on standard input. The console front end prints through the same functions.
#pragma once

#include <functional>
#include <string>

#include "engine/host.h"

namespace morivel::engine {

// Shift-JIS text as the terminal wants it: UTF-8 with LF line breaks.
std::string to_terminal(const std::string& sjis);

// One line of text on standard output, written out at once.
void PrintLine(const std::string& sjis);
// The error log on standard error, after whatever standard output holds.
void PrintErrorLog(const std::string& log);
// The debug listing (variables, then the run-control stack) on standard error.
void PrintDebugListing(const std::string& variables, const std::string& stack,
                       const std::string& search);
// Prints the question and the numbered buttons; reads a number or a button's text from standard
// input. End of input closes the question without a choice ("").
std::string ChooseButtonOnTerminal(const std::string& message, const std::string& buttons);

// How a console run ends: closing asks the close query, as closing the main window does, and an
// error shown makes the exit status 1.
class ConsoleEnding {
 public:
  void Close();
  void SetCloseQuery(std::function<bool()> query) { close_query_ = std::move(query); }
  void Fail() { exit_status_ = 1; }
  bool Closed() const { return closed_; }
  int ExitStatus() const { return exit_status_; }

 private:
  bool closed_ = false;
  std::function<bool()> close_query_;
  int exit_status_ = 0;
};

// A host for runs that need no window system at all. Dialogs, timers, parts and the clipboard
// belong to the window side: a run that uses them is started with that side instead, so a timer
// reaching this host is a fault of that choice.
class TerminalHost : public Host {
 public:
  void ShowText(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  ErrorChoice ShowErrorDialog(const std::string& log) override;
  DebugChoice ShowDebugDialog(const std::string& variables, const std::string& stack,
                              const std::string& search) override;
  std::string ChooseButton(const std::string& message, const std::string& buttons) override;
  void CloseMainWindow() override { ending_.Close(); }
  void Wait(double seconds) override;
  void StartTimer(int milliseconds, std::function<void()> fire) override;
  void StopTimer() override;

  ConsoleEnding& Ending() { return ending_; }

 private:
  ConsoleEnding ending_;
};

}  // namespace morivel::engine
