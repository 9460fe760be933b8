// The progress display of transfers: a dialog with a stop button in the window front end, one
// line on standard error in the console (when that is a terminal), nothing when switched off.
#pragma once

#include <memory>
#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::net {

class Progress {
 public:
  virtual ~Progress() = default;
  virtual void SetText(const std::string& sjis) { (void)sjis; }
  // 0 to 100.
  virtual void SetPercent(int percent) { (void)percent; }
  // True once the user asked the transfer to stop.
  virtual bool StopRequested() const { return false; }
};

// The display 進行度表示ダイアログ asks for; it goes when the returned object goes.
std::unique_ptr<Progress> open_progress(engine::Interpreter& in);

// The object name of the window front end's progress dialog, for finding it.
inline constexpr const char* kProgressDialogName = "TfrmProg";

}  // namespace morivel::net
