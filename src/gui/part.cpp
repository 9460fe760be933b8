// A part's widget side: the base every part kind derives from.
#include "gui/part.h"

#include <cctype>
#include <cmath>

#include "expr/number.h"
#include "gui/part_kinds.h"
#include "text/half_width.h"
#include "text/sjis.h"

namespace morivel::gui {

Part::Part(int kind, QWidget* widget) : kind_(kind), widget_(widget) {}

Part::~Part() {
  // The control belongs to its Qt parent until the part goes; deleteLater, because the part
  // may be released while one of the control's own signals is still being delivered.
  if (widget_ && owns_widget_) widget_->deleteLater();
}

std::vector<QWidget*> Part::EventWidgets() const {
  if (!widget_) return {};
  return {widget_.data()};
}

std::optional<expr::Value> Part::Read(PropertyCall&) {
  return std::nullopt;
}

bool Part::Write(PropertyCall&, const std::string&) {
  return false;
}

void Part::ReplaceWidget(QWidget* widget) {
  if (widget_ && widget_ != widget) widget_->deleteLater();
  widget_ = widget;
}

namespace {

// Whether the text starts like a number (a sign, then a digit, "." or "$"; full-width too).
bool looks_numeric(const std::string& sjis) {
  std::string t = text::to_half_width(text::trim(sjis));
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  if (i >= t.size()) return false;
  unsigned char c = static_cast<unsigned char>(t[i]);
  return std::isdigit(c) || c == '$' || (c == '.' && i + 1 < t.size() && std::isdigit(t[i + 1]));
}

}  // namespace

long long number_of(const std::string& sjis, long long fallback) {
  if (!looks_numeric(sjis)) return fallback;
  long double n = expr::ToNumber(sjis);
  if (!std::isfinite(static_cast<double>(n))) return fallback;
  if (n > 2e9L) return 2000000000LL;
  if (n < -2e9L) return -2000000000LL;
  return std::llrint(static_cast<double>(n));
}

std::unique_ptr<Part> make_part(int kind, const PartSetup& setup) {
  static const KindTable table = [] {
    KindTable t{};
    register_box_kinds(t);
    register_list_kinds(t);
    register_text_kinds(t);
    register_media_kinds(t);
    register_form_kinds(t);
    return t;
  }();
  if (kind < 0 || kind >= kKindCount || !table[static_cast<std::size_t>(kind)]) return nullptr;
  return table[static_cast<std::size_t>(kind)](setup);
}

}  // namespace morivel::gui
