// Window messages sent by scripts, mapped to what the same message does to a Qt widget.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <algorithm>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/kind_commands.h"
#include "gui/qt_text.h"
#include "text/sjis.h"
#include "words/hash.h"

namespace morivel::gui {

namespace {

// The message numbers of the platform's controls that have an equivalent here.
enum Message : std::int64_t {
  kEnable = 0x000A,
  kSetText = 0x000C,
  kGetTextLength = 0x000E,
  kClose = 0x0010,
  kShowWindow = 0x0018,
  kSetSelection = 0x00B1,
  kGetLineCount = 0x00BA,
  kEditUndo = 0x00C7,
  kSetReadOnly = 0x00CF,
  kButtonClick = 0x00F5,
  kComboGetCount = 0x0146,
  kComboGetCurrent = 0x0147,
  kComboSetCurrent = 0x014E,
  kListSetCurrent = 0x0186,
  kListGetCurrent = 0x0188,
  kListGetCount = 0x018B,
  kCut = 0x0300,
  kCopy = 0x0301,
  kPaste = 0x0302,
  kClear = 0x0303,
  kUndo = 0x0304,
};

std::int64_t field_number(const std::string& field) {
  std::int64_t n = 0;
  if (!expr::TruncateToInt64(expr::ToNumber(field), n)) return 0;
  return n;
}

QString widget_text(QWidget* widget) {
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return plain->toPlainText();
  if (auto* rich = qobject_cast<QTextEdit*>(widget)) return rich->toPlainText();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  return widget->windowTitle();
}

bool set_widget_text(QWidget* widget, const QString& text) {
  if (auto* line = qobject_cast<QLineEdit*>(widget))
    line->setText(text);
  else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
    plain->setPlainText(text);
  else if (auto* rich = qobject_cast<QTextEdit*>(widget))
    rich->setPlainText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(widget))
    button->setText(text);
  else if (widget->isWindow())
    widget->setWindowTitle(text);
  else
    return false;
  return true;
}

// The editing messages on whichever edit class the widget is.
template <class F>
bool on_edit(QWidget* widget, F f) {
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return f(*line), true;
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return f(*plain), true;
  if (auto* rich = qobject_cast<QTextEdit*>(widget)) return f(*rich), true;
  return false;
}

std::int64_t select_range(QWidget* widget, std::int64_t from, std::int64_t to) {
  int start = static_cast<int>(std::clamp<std::int64_t>(from, 0, INT_MAX));
  int end = to < 0 ? INT_MAX : static_cast<int>(std::min<std::int64_t>(to, INT_MAX));
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    end = std::min(end, static_cast<int>(line->text().size()));
    line->setSelection(std::min(start, end), end - std::min(start, end));
    return 1;
  }
  auto select = [&](auto& edit) {
    QTextCursor cursor = edit.textCursor();
    int last = edit.document()->characterCount() - 1;
    cursor.setPosition(std::min(start, last));
    cursor.setPosition(std::min(end, last), QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
  };
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return select(*plain), 1;
  if (auto* rich = qobject_cast<QTextEdit*>(widget)) return select(*rich), 1;
  return 0;
}

std::int64_t line_count(QWidget* widget) {
  if (qobject_cast<QLineEdit*>(widget)) return 1;
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return plain->document()->blockCount();
  if (auto* rich = qobject_cast<QTextEdit*>(widget)) return rich->document()->blockCount();
  return 0;
}

std::int64_t item_message(QWidget* widget, std::int64_t number, std::int64_t wparam) {
  auto* combo = qobject_cast<QComboBox*>(widget);
  auto* list = qobject_cast<QListWidget*>(widget);
  int index = static_cast<int>(std::clamp<std::int64_t>(wparam, -1, INT_MAX));
  switch (number) {
    case kComboGetCount:
      return combo ? combo->count() : 0;
    case kComboGetCurrent:
      return combo ? combo->currentIndex() : 0;
    case kComboSetCurrent:
      if (!combo || index >= combo->count()) return -1;
      combo->setCurrentIndex(index);
      return index;
    case kListGetCount:
      return list ? list->count() : 0;
    case kListGetCurrent:
      return list ? list->currentRow() : 0;
    case kListSetCurrent:
      if (!list || index >= list->count()) return -1;
      list->setCurrentRow(index);
      return index;
    default:
      return 0;
  }
}

}  // namespace

WindowMessage parse_window_message(engine::Interpreter& in, const std::string& fields) {
  WindowMessage message;
  std::size_t first = fields.find(',');
  std::size_t second = first == std::string::npos ? first : fields.find(',', first + 1);
  message.number = field_number(fields.substr(0, first));
  if (message.number < 0) throw in.ArgumentError();
  if (first != std::string::npos)
    message.wparam = field_number(fields.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
  std::string rest = second == std::string::npos ? "" : text::trim(fields.substr(second + 1));
  if (rest.empty()) return message;
  if (rest[0] == '$' || (rest[0] >= '0' && rest[0] <= '9') || rest[0] == '-') {
    message.lparam = field_number(rest);
    return message;
  }
  words::THashNode* variable = in.FindWord(rest);
  if (!variable) variable = &in.CreateVariable(rest);
  message.has_text = true;
  message.text = variable->GetValue();
  return message;
}

std::int64_t deliver_window_message(Part& part, const WindowMessage& m) {
  QWidget* widget = part.Widget();
  if (!widget) return 0;
  switch (m.number) {
    case kEnable:
      widget->setEnabled(m.wparam != 0);
      return 0;
    case kSetText:
      return set_widget_text(widget, to_qstring(m.has_text ? m.text : "")) ? 1 : 0;
    case kGetTextLength:
      return static_cast<std::int64_t>(from_qstring(widget_text(widget)).size());
    case kClose:
      widget->window()->close();
      return 0;
    case kShowWindow:
      widget->setVisible(m.wparam != 0);
      return 0;
    case kSetSelection:
      return select_range(widget, m.wparam, m.lparam);
    case kGetLineCount:
      return line_count(widget);
    case kEditUndo:
    case kUndo:
      return on_edit(widget, [](auto& e) { e.undo(); }) ? 1 : 0;
    case kSetReadOnly:
      return on_edit(widget, [&m](auto& e) { e.setReadOnly(m.wparam != 0); }) ? 1 : 0;
    case kButtonClick:
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->click();
      return 0;
    case kCut:
      on_edit(widget, [](auto& e) { e.cut(); });
      return 0;
    case kCopy:
      on_edit(widget, [](auto& e) { e.copy(); });
      return 0;
    case kPaste:
      on_edit(widget, [](auto& e) { e.paste(); });
      return 0;
    case kClear:
      on_edit(widget, [](auto& e) {
        if constexpr (requires { e.del(); })
          e.del();
        else
          e.textCursor().removeSelectedText();
      });
      return 0;
    default:
      return item_message(widget, m.number, m.wparam);
  }
}

}  // namespace morivel::gui
