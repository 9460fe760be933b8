// Edits, memos, the syntax-colouring editor, rich edits, scroll bars and track bars as parts.
#include <QAbstractSlider>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <algorithm>

#include "gui/kinds/syntax_colouring.h"
#include "gui/part_kinds.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// Default sizes, as a form designer gives these controls.
constexpr QSize kEditSize(121, 21);
constexpr QSize kMemoSize(185, 89);
constexpr QSize kBarSize(121, 17);
constexpr QSize kTrackSize(150, 45);
constexpr int kTrackSmallest = 10;  // a track bar's change first raises its sides to this

int clamp_int(long long n, int low, int high) {
  return static_cast<int>(std::clamp<long long>(n, low, std::max(low, high)));
}

// ---- input method ---------------------------------------------------------------------------

// The IME codes scripts use: 0 off, 1 on, 2 hiragana, 3 katakana, 4 half-width katakana. Qt has
// no hints for the kana modes, so they only keep the input method on; the code is kept as written.
constexpr int kImeOff = 0;
constexpr int kImeOn = 1;

void apply_ime(QWidget& w, int code, bool read_only) {
  w.setAttribute(Qt::WA_InputMethodEnabled, code != kImeOff && !read_only);
  w.setInputMethodHints(code == kImeOff ? Qt::ImhLatinOnly : Qt::ImhNone);
}

// ---- single-line edits ----------------------------------------------------------------------

class EditPart : public Part {
 public:
  explicit EditPart(const PartSetup& setup) : Part(kEdit, new QLineEdit(setup.parent)) {
    QLineEdit* edit = Edit();
    edit->setFont(setup.font);
    edit->resize(kEditSize);
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [&parts, number] { parts.Fire(number, kSlotChange); });
  }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    QLineEdit* edit = Edit();
    if (!edit) return std::nullopt;
    switch (call.property) {
      case kPropText:
        return text_value(from_qstring(edit->text()));
      case kPropSelectedText:
        return text_value(from_qstring(edit->selectedText()));
      case kPropSelStart:
        return number_value(edit->hasSelectedText() ? edit->selectionStart()
                                                    : edit->cursorPosition());
      case kPropSelLength:
        return number_value(edit->selectionLength());
      case kPropEditing:
        return number_value(edit->isReadOnly() ? 0 : 1);
      case kPropStyle:
        return number_value(edit->hasFrame() ? 1 : 0);
      case kPropIme:
        return number_value(ime_);
      default:
        return std::nullopt;
    }
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    QLineEdit* edit = Edit();
    if (!edit) return false;
    const int size = static_cast<int>(edit->text().size());
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        edit->setText(to_qstring(value));
        return true;
      case kPropSelectedText:
        edit->insert(to_qstring(value));
        return true;
      case kPropSelStart:
        edit->setCursorPosition(clamp_int(number_of(value), 0, size));
        return true;
      case kPropSelLength: {
        int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        edit->setSelection(start, clamp_int(number_of(value), 0, size - start));
        return true;
      }
      case kPropEditing:
        edit->setReadOnly(number_of(value) == 0);
        apply_ime(*edit, ime_, edit->isReadOnly());
        return true;
      case kPropStyle:
        edit->setFrame(number_of(value) != 0);
        return true;
      case kPropIme:
        ime_ = static_cast<int>(number_of(value));
        apply_ime(*edit, ime_, edit->isReadOnly());
        return true;
      default:
        return false;
    }
  }

  void DropFiles(const std::string& lines) override {
    if (QLineEdit* edit = Edit()) edit->setText(to_qstring(lines));
  }

  void Deactivate() override {
    QLineEdit* edit = Edit();
    if (!edit) return;
    // Destruction must not run the part's own change event.
    QSignalBlocker quiet(edit);
    edit->clear();
  }

 private:
  QLineEdit* Edit() const { return qobject_cast<QLineEdit*>(Widget()); }
  int ime_ = kImeOn;
};

// ---- multi-line editors ---------------------------------------------------------------------

// Positions scripts see count a line break as the two characters CR LF, as the text reads.
int value_position(const QTextDocument& doc, int position) {
  return position + doc.findBlock(position).blockNumber();
}

int document_position(const QTextDocument& doc, long long value_pos) {
  if (value_pos <= 0) return 0;
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    const long long start = block.position() + block.blockNumber();
    const long long content_end = start + block.length() - 1;
    // A position between CR and LF falls back to the end of the line.
    if (value_pos <= content_end + 1)
      return block.position() + static_cast<int>(std::min(value_pos, content_end) - start);
  }
  return doc.characterCount() - 1;
}

enum class Bars { None, Vertical, Horizontal, Both };

const std::string& bars_word(Bars bars) {
  static const std::string vertical = text::sjis("縦"), horizontal = text::sjis("横"),
                           both = text::sjis("両方"), none;
  switch (bars) {
    case Bars::Vertical:
      return vertical;
    case Bars::Horizontal:
      return horizontal;
    case Bars::Both:
      return both;
    default:
      return none;
  }
}

Bars bars_of(const std::string& word) {
  std::string w = text::trim(word);
  for (Bars bars : {Bars::Vertical, Bars::Horizontal, Bars::Both})
    if (w == bars_word(bars)) return bars;
  return Bars::None;
}

// What tells the multi-line kinds apart.
struct DocumentTraits {
  bool scroll_bar_property = false;  // スクロールバー is the kind's
  bool style_property = false;       // スタイル sets the border
  bool lines_text = false;           // テキスト reads every line followed by CR LF
  bool relative_column = false;      // writing 列 moves the selection start by the value
  bool cleared_on_destroy = false;
  bool appends_drops = false;  // dropped files are added as lines
  Qt::ScrollBarPolicy shown_bar = Qt::ScrollBarAlwaysOn;
};

constexpr DocumentTraits kMemoTraits{.scroll_bar_property = true,
                                     .style_property = true,
                                     .cleared_on_destroy = true,
                                     .appends_drops = true};
constexpr DocumentTraits kTextEditorTraits{
    .lines_text = true, .cleared_on_destroy = true, .shown_bar = Qt::ScrollBarAsNeeded};
constexpr DocumentTraits kRichEditTraits{.scroll_bar_property = true, .relative_column = true};

// A memo (QPlainTextEdit), the syntax-colouring editor (the same with a highlighter) or a rich
// edit (QTextEdit): the two Qt classes share the calls used here.
template <class Editor>
class DocumentPart : public Part {
 public:
  DocumentPart(int kind, const PartSetup& setup, const DocumentTraits& traits)
      : Part(kind, new Editor(setup.parent)), traits_(traits) {
    Editor* edit = Edit();
    edit->setFont(setup.font);
    edit->resize(kMemoSize);
    // The frame hears the keys; the viewport hears the mouse and takes the drops.
    edit->setProperty("morivelKeysOnly", true);
    ApplyBars(Bars::Both);
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    QObject::connect(edit, &Editor::textChanged, edit,
                     [&parts, number] { parts.Fire(number, kSlotChange); });
  }

  std::vector<QWidget*> EventWidgets() const override {
    Editor* edit = Edit();
    if (!edit) return {};
    return {edit, edit->viewport()};
  }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    Editor* edit = Edit();
    if (!edit) return std::nullopt;
    const QTextDocument& doc = *edit->document();
    const QTextCursor cursor = edit->textCursor();
    switch (call.property) {
      case kPropText:
        return text_value(TextValue(*edit));
      case kPropSelectedText:
        return text_value(lines_from_qstring(cursor.selection().toPlainText()));
      case kPropSelStart:
        return number_value(value_position(doc, cursor.selectionStart()));
      case kPropSelLength:
        return number_value(value_position(doc, cursor.selectionEnd()) -
                            value_position(doc, cursor.selectionStart()));
      case kPropRow:
        return number_value(cursor.blockNumber());
      case kPropColumn:
        return number_value(cursor.positionInBlock());
      case kPropEditing:
        return number_value(edit->isReadOnly() ? 0 : 1);
      case kPropWrap:
        return number_value(bars_ == Bars::Vertical ? 1 : 0);
      case kPropIme:
        return number_value(ime_);
      case kPropScrollBars:
        if (!traits_.scroll_bar_property) return std::nullopt;
        return text_value(bars_word(bars_));
      case kPropStyle:
        if (!traits_.style_property) return std::nullopt;
        return number_value(edit->frameShape() == QFrame::NoFrame ? 0 : 1);
      default:
        return std::nullopt;
    }
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    Editor* edit = Edit();
    if (!edit) return false;
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        SetTextValue(*edit, value);
        return true;
      case kPropSelectedText: {
        QTextCursor cursor = edit->textCursor();
        cursor.insertText(lines_to_qstring(value));
        edit->setTextCursor(cursor);
        return true;
      }
      case kPropSelStart:
        MoveCaret(*edit, document_position(*edit->document(), number_of(value)));
        return true;
      case kPropSelLength:
        SelectLength(*edit, number_of(value));
        return true;
      case kPropRow:
        MoveToLine(*edit, number_of(value));
        return true;
      case kPropColumn:
        MoveToColumn(*edit, number_of(value));
        return true;
      case kPropEditing:
        edit->setReadOnly(number_of(value) == 0);
        apply_ime(*edit, ime_, edit->isReadOnly());
        return true;
      case kPropWrap:
        ApplyBars(number_of(value) >= 1 ? Bars::Vertical : Bars::Both);
        return true;
      case kPropIme:
        ime_ = static_cast<int>(number_of(value));
        apply_ime(*edit, ime_, edit->isReadOnly());
        return true;
      case kPropScrollBars:
        if (!traits_.scroll_bar_property) return false;
        ApplyBars(bars_of(value));
        return true;
      case kPropStyle:
        if (!traits_.style_property) return false;
        edit->setFrameShape(number_of(value) != 0 ? QFrame::StyledPanel : QFrame::NoFrame);
        return true;
      default:
        return false;
    }
  }

  void DropFiles(const std::string& lines) override {
    Editor* edit = Edit();
    if (!edit || !traits_.appends_drops) return;
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    // Added as lines: after a line break, unless the text is empty or already ends with one.
    if (!cursor.atBlockStart()) cursor.insertBlock();
    cursor.insertText(lines_to_qstring(lines));
  }

  void Deactivate() override {
    Editor* edit = Edit();
    if (!edit || !traits_.cleared_on_destroy) return;
    QSignalBlocker quiet(edit);
    edit->clear();
  }

 private:
  Editor* Edit() const { return qobject_cast<Editor*>(Widget()); }

  std::string TextValue(const Editor& edit) const {
    const QString text = edit.toPlainText();
    if (!traits_.lines_text || text.isEmpty()) return lines_from_qstring(text);
    return lines_from_qstring(text) + "\r\n";
  }

  void SetTextValue(Editor& edit, const std::string& value) const {
    QString text = lines_to_qstring(value);
    // Lines given as a text may end with the break of their last line, which starts none.
    if (traits_.lines_text && text.endsWith(QLatin1Char('\n'))) text.chop(1);
    edit.setPlainText(text);
  }

  // Both Qt classes wrap only when there is no horizontal bar, as the classic controls do.
  void ApplyBars(Bars bars) {
    Editor* edit = Edit();
    if (!edit) return;
    bars_ = bars;
    const bool vertical = bars == Bars::Vertical || bars == Bars::Both;
    const bool horizontal = bars == Bars::Horizontal || bars == Bars::Both;
    edit->setVerticalScrollBarPolicy(vertical ? traits_.shown_bar : Qt::ScrollBarAlwaysOff);
    edit->setHorizontalScrollBarPolicy(horizontal ? traits_.shown_bar : Qt::ScrollBarAlwaysOff);
    edit->setLineWrapMode(horizontal ? Editor::NoWrap : Editor::WidgetWidth);
  }

  static void MoveCaret(Editor& edit, int position) {
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(position);
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
  }

  static void SelectLength(Editor& edit, long long length) {
    const QTextDocument& doc = *edit.document();
    QTextCursor cursor = edit.textCursor();
    const int start = cursor.selectionStart();
    const long long end = value_position(doc, start) + std::max(0LL, length);
    cursor.setPosition(start);
    cursor.setPosition(document_position(doc, end), QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
  }

  static void MoveToLine(Editor& edit, long long line) {
    const QTextDocument& doc = *edit.document();
    const QTextBlock block = doc.findBlockByNumber(clamp_int(line, 0, doc.blockCount() - 1));
    MoveCaret(edit, block.position());
  }

  void MoveToColumn(Editor& edit, long long column) const {
    const QTextDocument& doc = *edit.document();
    const QTextCursor cursor = edit.textCursor();
    if (traits_.relative_column) {
      MoveCaret(edit,
                document_position(doc, value_position(doc, cursor.selectionStart()) + column));
      return;
    }
    const QTextBlock block = cursor.block();
    MoveCaret(edit, block.position() + clamp_int(column, 0, block.length() - 1));
  }

  DocumentTraits traits_;
  Bars bars_ = Bars::Both;
  int ime_ = kImeOn;
};

std::unique_ptr<Part> make_memo(const PartSetup& setup) {
  return std::make_unique<DocumentPart<QPlainTextEdit>>(kMemo, setup, kMemoTraits);
}

std::unique_ptr<Part> make_text_editor(const PartSetup& setup) {
  auto part = std::make_unique<DocumentPart<QPlainTextEdit>>(kTextEditor, setup, kTextEditorTraits);
  auto* edit = static_cast<QPlainTextEdit*>(part->Widget());
  // Owned by the document, which the editor owns.
  new ScriptHighlighter(edit->document());
  return part;
}

std::unique_ptr<Part> make_rich_edit(const PartSetup& setup) {
  auto part = std::make_unique<DocumentPart<QTextEdit>>(kRichEdit, setup, kRichEditTraits);
  static_cast<QTextEdit*>(part->Widget())->setAcceptRichText(true);
  return part;
}

// ---- scroll bars and track bars -------------------------------------------------------------

// Qt's scroll bar inverts its keys so that Down moves a vertical bar on, which also makes Right
// move a horizontal one back; here Right and Down both move on.
void follow_arrow_keys(QAbstractSlider& slider) {
  if (qobject_cast<QScrollBar*>(&slider))
    slider.setInvertedControls(slider.orientation() == Qt::Vertical);
}

class RangePart : public Part {
 public:
  RangePart(int kind, QAbstractSlider* slider, const PartSetup& setup) : Part(kind, slider) {
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    const bool keeps_size = kind == kTrack;
    QObject::connect(
        slider, &QAbstractSlider::valueChanged, slider, [slider, keeps_size, &parts, number] {
          if (keeps_size)
            slider->resize(slider->size().expandedTo(QSize(kTrackSmallest, kTrackSmallest)));
          parts.Fire(number, kSlotChange);
        });
  }

  // A scroll bar has no click of its own; a track bar's click is the mouse's.
  bool ClicksFromMouse() const override { return Kind() == kTrack; }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    QAbstractSlider* slider = Slider();
    if (!slider) return std::nullopt;
    switch (call.property) {
      case kPropValue:
        return number_value(slider->value());
      case kPropMaximum:
        return number_value(slider->maximum());
      case kPropMinimum:
        return number_value(slider->minimum());
      case kPropOrientation:
        if (Kind() != kBar) return std::nullopt;
        return text_value(text::sjis(slider->orientation() == Qt::Vertical ? "縦" : "横"));
      default:
        return std::nullopt;
    }
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    QAbstractSlider* slider = Slider();
    if (!slider) return false;
    switch (call.property) {
      case kPropValue:
        // A negative position is ignored; any other is kept within the range by the slider.
        if (long long n = number_of(value); n >= 0) slider->setValue(static_cast<int>(n));
        return true;
      case kPropMaximum:
        slider->setMaximum(static_cast<int>(number_of(value)));
        return true;
      case kPropMinimum:
        slider->setMinimum(static_cast<int>(number_of(value)));
        return true;
      case kPropOrientation:
        if (Kind() != kBar) return false;
        SetOrientation(*slider,
                       text::trim(value) == text::sjis("縦") ? Qt::Vertical : Qt::Horizontal);
        return true;
      default:
        return false;
    }
  }

 private:
  QAbstractSlider* Slider() const { return qobject_cast<QAbstractSlider*>(Widget()); }

  // Turning a bar swaps its width and height, so a long horizontal bar becomes a long vertical one.
  static void SetOrientation(QAbstractSlider& slider, Qt::Orientation orientation) {
    if (slider.orientation() == orientation) return;
    slider.setOrientation(orientation);
    follow_arrow_keys(slider);
    slider.resize(slider.height(), slider.width());
  }
};

std::unique_ptr<Part> make_bar(const PartSetup& setup) {
  auto* bar = new QScrollBar(Qt::Horizontal, setup.parent);
  bar->setRange(0, 100);
  bar->setSingleStep(1);
  bar->setPageStep(1);
  bar->setFocusPolicy(Qt::StrongFocus);
  follow_arrow_keys(*bar);
  bar->resize(kBarSize);
  return std::make_unique<RangePart>(kBar, bar, setup);
}

std::unique_ptr<Part> make_track(const PartSetup& setup) {
  auto* track = new QSlider(Qt::Horizontal, setup.parent);
  track->setRange(0, 10);
  track->setSingleStep(1);
  track->setPageStep(2);
  track->setTickPosition(QSlider::TicksBelow);
  track->setTickInterval(1);
  track->setFocusPolicy(Qt::StrongFocus);
  // Face and size of the text settings, without their style.
  QFont font = setup.font;
  font.setBold(false);
  font.setItalic(false);
  font.setUnderline(false);
  track->setFont(font);
  track->resize(kTrackSize);
  return std::make_unique<RangePart>(kTrack, track, setup);
}

}  // namespace

void register_text_kinds(KindTable& table) {
  table[kEdit] = make_kind<EditPart>;
  table[kMemo] = make_memo;
  table[kTextEditor] = make_text_editor;
  table[kRichEdit] = make_rich_edit;
  table[kBar] = make_bar;
  table[kTrack] = make_track;
}

}  // namespace morivel::gui
