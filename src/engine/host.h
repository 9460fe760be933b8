// The visible side of a run: everything the engine shows or asks goes through this interface.
#pragma once

#include <string>

namespace morivel::engine {

enum class ErrorChoice { Continue, Quit, Debug };

class Host {
 public:
  virtual ~Host() = default;
  // 表示: text drawn on the main window (and, in the console, printed). Shift-JIS.
  virtual void ShowText(const std::string& text) = 0;
  // A plain message box (言う and the run-time's own notices).
  virtual void ShowMessage(const std::string& text) = 0;
  // The error dialog with the whole error log; tells what the user chose.
  virtual ErrorChoice ShowErrorDialog(const std::string& log) = 0;
  // Ends the program once control is back in the event loop.
  virtual void CloseMainWindow() = 0;
};

}  // namespace morivel::engine
