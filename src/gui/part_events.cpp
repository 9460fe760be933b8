// Mouse, key and drop events of part controls turned into event slot firings, and the binding
// of labels and program text to the slots.
#include "gui/part_events.h"

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

#include "engine/interpreter.h"
#include "gui/front_end.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "source/labels.h"
#include "source/preprocess.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

// ---- the event filter -----------------------------------------------------------------------

namespace {

InputState input_state(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                       bool double_click) {
  InputState s;
  s.shift = modifiers & Qt::ShiftModifier;
  s.alt = modifiers & Qt::AltModifier;
  s.ctrl = modifiers & Qt::ControlModifier;
  s.left = buttons & Qt::LeftButton;
  s.right = buttons & Qt::RightButton;
  s.middle = buttons & Qt::MiddleButton;
  s.double_click = double_click;
  return s;
}

int number_of_widget(QObject* watched) {
  QVariant v = watched->property("morivelNumber");
  return v.isValid() ? v.toInt() : -1;
}

// The dropped files as lines, native paths in Shift-JIS.
std::string dropped_files(const QMimeData& data) {
  std::string lines;
  for (const QUrl& url : data.urls()) {
    if (!url.isLocalFile()) continue;
    if (!lines.empty()) lines += "\r\n";
    lines += from_qstring(url.toLocalFile());
  }
  return text::trim(lines);
}

}  // namespace

bool PartEventFilter::eventFilter(QObject* watched, QEvent* event) {
  int number = number_of_widget(watched);
  if (number < 0) return false;
  // A form's own window hears nothing here: its keys come through the key preview, its mouse
  // through its picture.
  if (watched->property("morivelKeyPreview").toBool()) return false;
  // A widget that only hears keys for its part (its viewport hears the mouse).
  bool keys_only = watched->property("morivelKeysOnly").toBool();
  if (keys_only && event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
    return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      return HandleMouse(number, watched, *static_cast<QMouseEvent*>(event));
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      int slot = event->type() == QEvent::KeyPress ? kSlotKeyDown : kSlotKeyUp;
      if (key->isAutoRepeat() && slot == kSlotKeyUp) return false;
      if (parts_.IsBound(number, slot)) {
        parts_.SetKey(virtual_key_of(key->key()),
                      input_state(key->modifiers(), Qt::NoButton, false));
        parts_.Fire(number, slot);
      }
      return false;
    }
    case QEvent::DragEnter:
    case QEvent::Drop:
      // Edits accept drops of their own accord; files count only where the script asked for them.
      if (!watched->property("morivelFileDrop").toBool()) return false;
      return HandleDrop(number, event);
    default:
      return false;
  }
}

bool PartEventFilter::AlreadyFired(int number, const QMouseEvent& mouse) {
  Fired now{number, static_cast<int>(mouse.type()), mouse.timestamp(), mouse.globalPosition()};
  // Events made without a time (by a program, not the platform) cannot be told apart.
  bool same = now.timestamp != 0 && now.number == last_fired_.number &&
              now.type == last_fired_.type && now.timestamp == last_fired_.timestamp &&
              now.global == last_fired_.global;
  last_fired_ = now;
  return same;
}

bool PartEventFilter::HandleMouse(int number, QObject* watched, QMouseEvent& mouse) {
  if (AlreadyFired(number, mouse)) return false;
  QEvent::Type type = mouse.type();
  QPoint at = mouse.position().toPoint();
  // A click comes before the release, so it still sees the button held (押された特殊キー).
  if (type == QEvent::MouseButtonRelease && mouse.button() == Qt::LeftButton) {
    Part* part = parts_.PartOf(number);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (part && part->ClicksFromMouse() && widget && widget->rect().contains(at))
      parts_.Fire(number, kSlotClick);
  }
  bool dbl = type == QEvent::MouseButtonDblClick;
  // On release the button that went up is no longer held.
  Qt::MouseButtons buttons = mouse.buttons();
  if (type != QEvent::MouseButtonRelease) buttons |= mouse.button();
  parts_.SetMouse(at.x(), at.y(), input_state(mouse.modifiers(), buttons, dbl));
  int slot = type == QEvent::MouseButtonPress     ? kSlotMouseDown
             : type == QEvent::MouseButtonRelease ? kSlotMouseUp
             : dbl                                ? kSlotDoubleClick
                                                  : kSlotMouseMove;
  parts_.Fire(number, slot);
  return false;
}

// ---- key preview ----------------------------------------------------------------------------

KeyPreview::KeyPreview(PartRegistry& parts) : parts_(parts) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
  QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  // Only the first delivery counts: a key the focused widget leaves unused travels on to its
  // parents, and the form has heard it already.
  QWidget* focus = QApplication::focusWidget();
  if (focus ? widget != focus : !widget->isWindow()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  int slot = type == QEvent::KeyPress ? kSlotKeyDown : kSlotKeyUp;
  if (key->isAutoRepeat() && slot == kSlotKeyUp) return false;
  QWidget* window = widget->window();
  int number = number_of_widget(window);
  Part* form = number >= 0 ? parts_.PartOf(number) : nullptr;
  if (!form || form->Widget() != window || !parts_.IsBound(number, slot)) return false;
  parts_.SetKey(virtual_key_of(key->key()), input_state(key->modifiers(), Qt::NoButton, false));
  parts_.Fire(number, slot);
  return false;
}
bool PartEventFilter::HandleDrop(int number, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* drag = static_cast<QDragEnterEvent*>(event);
      if (drag->mimeData()->hasUrls()) drag->acceptProposedAction();
      return drag->mimeData()->hasUrls();
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      std::string files = dropped_files(*drop->mimeData());
      if (files.empty()) return false;
      drop->acceptProposedAction();
      parts_.DeliverDrop(number, files);
      return true;
    }
    default:
      return false;
  }
}

int virtual_key_of(int qt_key) {
  if ((qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) || (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9))
    return qt_key;
  if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) return 0x70 + (qt_key - Qt::Key_F1);
  switch (qt_key) {
    case Qt::Key_Backspace:
      return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Shift:
      return 0x10;
    case Qt::Key_Control:
      return 0x11;
    case Qt::Key_Alt:
      return 0x12;
    case Qt::Key_Pause:
      return 0x13;
    case Qt::Key_CapsLock:
      return 0x14;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Space:
      return 0x20;
    case Qt::Key_PageUp:
      return 0x21;
    case Qt::Key_PageDown:
      return 0x22;
    case Qt::Key_End:
      return 0x23;
    case Qt::Key_Home:
      return 0x24;
    case Qt::Key_Left:
      return 0x25;
    case Qt::Key_Up:
      return 0x26;
    case Qt::Key_Right:
      return 0x27;
    case Qt::Key_Down:
      return 0x28;
    case Qt::Key_Print:
      return 0x2C;
    case Qt::Key_Insert:
      return 0x2D;
    case Qt::Key_Delete:
      return 0x2E;
    case Qt::Key_Asterisk:
      return 0x6A;
    case Qt::Key_Plus:
      return 0xBB;
    case Qt::Key_Comma:
      return 0xBC;
    case Qt::Key_Minus:
      return 0xBD;
    case Qt::Key_Period:
      return 0xBE;
    case Qt::Key_Slash:
      return 0xBF;
    default:
      return 0;
  }
}

// ---- binding --------------------------------------------------------------------------------

namespace {

int main_slot_of(int kind) {
  switch (kind) {
    case kButton:
    case kCombo:
    case kList:
    case kLabel:
    case kCheck:
    case kAnime:
    case kMenu:
    case kBrowser:
    case kPanel:
    case kRadio:
    case kTree:
      return kSlotClick;
    case kImage:
    case kForm:
      return kSlotMouseDown;
    case kEdit:
    case kBar:
    case kTrack:
    case kTextEditor:
    case kTabPage:
    case kRichEdit:
    case kSplitter:
      return kSlotChange;
    default:
      return -1;
  }
}

bool is_quoted(const std::string& v) {
  return v.size() >= 2 && (v.front() == '"' || v.front() == '`') && v.back() == v.front();
}

}  // namespace

void PartRegistry::Bind(engine::Interpreter& in, words::TObjNode& node, int slot,
                        const std::string& raw) {
  words::EventSlot& target = node.Events[static_cast<std::size_t>(slot)];
  std::string v = text::trim(raw);
  static const std::string kNullValue = "\\NULL-VALUE";
  if (v.empty() || v == "\"\"" || v == "``" || (slot == kSlotMain && v == kNullValue)) {
    target.Entry = nullptr;
    target.Code.reset();
  } else {
    if (v.size() >= 2 && v.front() == '`' && v.back() == '`') v = v.substr(1, v.size() - 2);
    words::THashNode* word = in.FindWord(v);
    // A label written in quotes still names the label.
    if (!word && is_quoted(v)) {
      std::string expanded = in.EvalArgument(v);
      if (words::THashNode* named = in.FindWord(expanded); named && named->Kind == words::kLabel)
        word = named;
      else
        v = expanded;
    }
    if (word && word->Kind == words::kLabel) {
      auto info = std::dynamic_pointer_cast<source::LabelInfo>(word->Obj);
      target.Entry = info ? info->position : nullptr;
      target.Code.reset();
      target.Source = info ? info->file_name : in.State().ScriptFileName;
    } else if (word && word->Kind == words::kVariable) {
      throw in.Error(
          text::sjis("計算式に誤りがあります。") +
          text::sjis("イベントに変数を設定することは出来ません。ラベルを指定してください。"));
    } else {
      if (!word && !v.empty() && v.front() == '(') {
        const char* p = v.c_str();
        v = in.ReadGroupAt(p);
      }
      std::shared_ptr<const std::string> code;
      try {
        code = std::make_shared<const std::string>(source::Preprocess(v + "\r\n"));
      } catch (const source::PreprocessError& e) {
        throw in.Error(e.message);
      }
      target.Text = v;
      target.Code = code;
      target.Entry = code->c_str();
      target.Source = in.State().ScriptFileName;
    }
  }
  if (slot == kSlotMain) {
    int main = main_slot_of(node.Kind);
    if (main > 0) node.Events[static_cast<std::size_t>(main)] = node.Events[0];
  }
}

// ---- firing ---------------------------------------------------------------------------------

bool PartRegistry::IsBound(int number, int slot) {
  words::TObjNode* node = Node(number);
  return node && node->Events[static_cast<std::size_t>(slot)].Entry;
}

namespace {

void set_event_object(engine::Interpreter& in, const words::TObjNode& node) {
  words::THashNode* object = system_word(in, "イベントオブジェクト");
  if (!object) return;
  object->SetKind(words::kPart);
  object->Tag = node.Number;
  object->TypeMark = PartRegistry::KindName(node.Kind);
  object->SetValue(node.Name);
}

}  // namespace

void PartRegistry::Fire(int number, int slot) {
  engine::Interpreter* in = front_.Interpreter();
  if (!in || in->State().StopFlag) return;
  words::TObjNode* node = Node(number);
  if (!node) return;
  words::EventSlot bound = node->Events[static_cast<std::size_t>(slot)];
  if (!bound.Entry) return;
  try {
    set_event_object(*in, *node);
    if (words::THashNode* word = in->FindWord(node->Name); word && word->Kind == words::kPart)
      MirrorSo(*in, *word);
    in->RunEvent(bound.Entry, bound.Code, bound.Source);
  } catch (const std::exception&) {
    // The run's error handling has had its say; nothing may escape into Qt's event delivery.
  }
}

void PartRegistry::FireMain(engine::Interpreter& in, words::TObjNode& node) {
  (void)in;
  Fire(node.Number, kSlotMain);
}

void PartRegistry::DeliverDrop(int number, const std::string& files) {
  SetEventValue(files);
  words::TObjNode* node = Node(number);
  if (!node) return;
  const words::EventSlot& slot = node->Events[kSlotFileDrop];
  if (!slot.Entry && slot.Text.empty()) {
    if (Part* part = PartOf(*node)) part->DropFiles(files);
    return;
  }
  Fire(number, kSlotFileDrop);
}

// ---- event variables ------------------------------------------------------------------------

namespace {

std::string special_keys(const InputState& s) {
  std::string lines;
  auto add = [&lines](bool on, const char* name) {
    if (!on) return;
    if (!lines.empty()) lines += "\r\n";
    lines += name;
  };
  add(s.shift, "Shift");
  add(s.alt, "Alt");
  add(s.ctrl, "Ctrl");
  add(s.left, "Left");
  add(s.right, "Right");
  add(s.middle, "Middle");
  add(s.double_click, "Double");
  return lines;
}

void set_system(engine::Interpreter* in, const char* name, const std::string& value,
                const char* type) {
  if (!in) return;
  if (words::THashNode* word = system_word(*in, name)) {
    word->SetValue(value);
    word->TypeMark = type;
  }
}

}  // namespace

void PartRegistry::SetMouse(int x, int y, const InputState& state) {
  engine::Interpreter* in = front_.Interpreter();
  set_system(in, "マウスX", std::to_string(x), "e");
  set_system(in, "マウスY", std::to_string(y), "e");
  set_system(in, "押された特殊キー", special_keys(state), "s");
}

void PartRegistry::SetKey(int virtual_key, const InputState& state) {
  engine::Interpreter* in = front_.Interpreter();
  set_system(in, "押されたキー", std::to_string(virtual_key), "e");
  set_system(in, "押された特殊キー", special_keys(state), "s");
}

void PartRegistry::SetEventValue(const std::string& value) {
  set_system(front_.Interpreter(), "イベントの値", value, "s");
}

void PartRegistry::WatchEvents(Part& part, int number) {
  for (QWidget* widget : part.EventWidgets()) {
    widget->setProperty("morivelNumber", number);
    widget->setMouseTracking(true);
    widget->installEventFilter(filter_.get());
  }
}

}  // namespace morivel::gui
