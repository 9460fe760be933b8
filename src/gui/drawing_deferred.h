// Text that 表示 draws in the console front end, put off until the picture or the drawing
// position is looked at. Most console scripts never look, and measuring the first text of a run
// loads the whole font configuration, which costs more than many a script itself.
#pragma once

#include <QColor>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace morivel::gui {

class Canvas;

// One 表示, with the text settings as they were when it ran.
struct PendingText {
  std::vector<std::string> lines;
  int x = 0;
  std::optional<int> top;  // none: just below the text queued before it
  std::string font_spec;   // 文字書体
  int font_size = 12;      // 文字サイズ as the font takes it
  QColor colour;
  bool centering = false;
  int client_width = 0;
};

// The queue of a picture. While texts are queued the drawing position's Y may be owed: it is
// wherever the last queued text leaves it, known only once the texts are measured.
class DeferredText {
 public:
  // Queues a text that starts at `top` (the stored drawing Y) unless the position is owed, in
  // which case it starts below the texts before it. The position is owed afterwards.
  void Add(PendingText text, int top);
  bool Pending() const { return !texts_.empty(); }
  bool OwesPosition() const { return owes_position_; }
  // True when the queue holds more than it should keep: a long loop of 表示 must not pile up
  // memory, so the caller paints it then.
  bool Backlogged() const { return queued_bytes_ > kMaxQueuedBytes; }
  static constexpr std::size_t kMaxQueuedBytes = std::size_t{1} << 20;
  // Draws the queued texts on `canvas`, in order.
  void PaintOn(Canvas& canvas);
  // The drawing Y the texts leave (drawing them first); the position is no longer owed.
  int TakePosition(Canvas& canvas);
  // The position was set anew: later texts start where it says.
  void ForgetPosition() { owes_position_ = false; }
  // The picture is about to be wiped and the position reset: nothing queued matters any more.
  void Discard();

 private:
  std::vector<PendingText> texts_;
  std::size_t queued_bytes_ = 0;
  bool owes_position_ = false;
  int last_bottom_ = 0;  // where the last text drawn left the position
};

}  // namespace morivel::gui
