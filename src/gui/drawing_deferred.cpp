// Text that 表示 draws in the console front end, put off until it is looked at.
#include "gui/drawing_deferred.h"

#include <utility>

#include "gui/canvas.h"
#include "gui/drawing.h"
#include "gui/fonts.h"

namespace morivel::gui {

void DeferredText::Add(PendingText text, int top) {
  if (!owes_position_)
    text.top = top;
  else if (texts_.empty())
    text.top = last_bottom_;
  else
    text.top.reset();
  owes_position_ = true;
  queued_bytes_ += sizeof(PendingText) + text.font_spec.size();
  for (const std::string& line : text.lines) queued_bytes_ += sizeof(std::string) + line.size();
  texts_.push_back(std::move(text));
}

void DeferredText::PaintOn(Canvas& canvas) {
  // Taken out first: drawing asks the canvas for its picture, which would paint the queue again.
  std::vector<PendingText> texts = std::exchange(texts_, {});
  queued_bytes_ = 0;
  int y = last_bottom_;
  // Texts in a row mostly share their font: it is resolved and measured once for them (the
  // picture, and so its resolution, stays the same while they are drawn).
  const PendingText* measured = nullptr;
  TextStyle style;
  int advance = 0;
  for (const PendingText& text : texts) {
    if (!measured || text.font_spec != measured->font_spec ||
        text.font_size != measured->font_size) {
      style.font = font_from_spec(text.font_spec, text.font_size);
      advance = line_advance(canvas, style.font);
      measured = &text;
    }
    style.colour = text.colour;
    style.centering = text.centering;
    style.client_width = text.client_width;
    y = draw_lines(canvas, text.lines, text.x, text.top.value_or(y), style, advance);
  }
  last_bottom_ = y;
}

int DeferredText::TakePosition(Canvas& canvas) {
  if (Pending()) PaintOn(canvas);
  owes_position_ = false;
  return last_bottom_;
}

void DeferredText::Discard() {
  texts_.clear();
  queued_bytes_ = 0;
  owes_position_ = false;
}

}  // namespace morivel::gui
