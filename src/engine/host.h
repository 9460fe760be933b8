// The visible side of a run: everything the engine shows, asks or waits for goes through here.
#pragma once

#include <functional>
#include <string>

namespace morivel::engine {

enum class ErrorChoice { Continue, Quit, Debug };
enum class DebugChoice { Continue, LineStep, Stop };

class Host {
 public:
  virtual ~Host() = default;
  // 表示: text drawn on the main window (and, in the console, printed). Shift-JIS.
  virtual void ShowText(const std::string& text) = 0;
  // A plain message box (言う and the run-time's own notices).
  virtual void ShowMessage(const std::string& text) = 0;
  // The error dialog with the whole error log; tells what the user chose.
  virtual ErrorChoice ShowErrorDialog(const std::string& log) = 0;
  // The debug dialog: the variables, the run-control stack, and a word to look for.
  virtual DebugChoice ShowDebugDialog(const std::string& variables, const std::string& stack,
                                      const std::string& search) {
    (void)variables, (void)stack, (void)search;
    return DebugChoice::Continue;
  }
  // A question answered by one of several buttons, given as lines of `buttons`. Returns the
  // chosen button's text, or "" when the question was closed without a choice.
  virtual std::string ChooseButton(const std::string& message, const std::string& buttons) {
    (void)message, (void)buttons;
    return {};
  }
  // Ends the program once control is back in the event loop.
  virtual void CloseMainWindow() = 0;

  // Waits while events (timers, parts) keep being handled.
  virtual void Wait(double seconds) = 0;
  // Lets pending events run once.
  virtual void ProcessEvents() {}
  // The script timer: `fire` runs once after `milliseconds`; a new setting replaces the old.
  virtual void StartTimer(int milliseconds, std::function<void()> fire) = 0;
  virtual void StopTimer() = 0;
};

}  // namespace morivel::engine
