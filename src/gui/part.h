// A part's widget side: the base every part kind derives from, the kind and property numbers.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "expr/evaluator.h"
#include "words/hash.h"
#include "words/stack.h"

namespace morivel::engine {
class Interpreter;
}

namespace morivel::gui {

class FrontEnd;
class PartRegistry;

// Kind numbers: the index of the kind name in the kind table.
enum PartKind : int {
  kButton = 0,
  kEdit = 1,
  kImage = 2,
  kBar = 3,
  kCombo = 4,
  kList = 5,
  kMemo = 6,
  kForm = 7,
  kGrid = 8,
  kLabel = 9,
  kCheck = 10,
  kTrack = 11,
  kAnime = 12,
  kMenu = 13,
  kBrowser = 14,
  kPanel = 15,
  kTextEditor = 16,  // Tエディタ
  kRadio = 17,
  kScroll = 18,
  kTabPage = 19,
  kTree = 20,
  kRichEdit = 21,
  kSplitter = 22,
  kPopup = 23,
  kKindCount = 24,
};

// Property numbers: the index of the property name in the property table.
enum PartProperty : int {
  kPropX = 0,
  kPropY,
  kPropWidth,
  kPropHeight,
  kPropText,
  kPropItems,
  kPropValue,
  kPropPicture,
  kPropStretch,
  kPropMaximum,
  kPropMinimum,
  kPropTitle,
  kPropOrientation,
  kPropButtonMode,
  kPropVisible,
  kPropEvent,
  kPropOnClick,
  kPropOnDoubleClick,
  kPropOnMouseDown,
  kPropOnMouseUp,
  kPropOnKeyDown,
  kPropOnKeyUp,
  kPropOnChange,
  kPropEditing,
  kPropTransparent,
  kPropBackColour,
  kPropSize,
  kPropName,
  kPropScrollBars,
  kPropFontFace,
  kPropFontSize,
  kPropFontColour,
  kPropFileDrop,
  kPropResizable,
  kPropShortcut,
  kPropIme,
  kPropRepeat,
  kPropSound,
  kPropOnMouseMove,
  kPropAddPicture,
  kPropSelectedText,
  kPropHandle,
  kPropEnabled,
  kPropSelStart,
  kPropSelLength,
  kPropUrl,
  kPropRightSide,
  kPropBelow,
  kPropOnFileDrop,
  kPropStyle,
  kPropW,
  kPropH,
  kPropPosition,
  kPropColumn,
  kPropRow,
  kPropSort,
  kPropKind,
  kPropLayout,
  kPropMultiSelect,
  kPropPocket,
  kPropPopup,
  kPropHint,
  kPropWrap,
  kPropOnClose,
  kPropOnOpen,
  kPropertyCount,
};

// Event slots of a part record.
enum EventSlotIndex : int {
  kSlotMain = 0,
  kSlotClick = 1,
  kSlotDoubleClick = 2,
  kSlotMouseDown = 3,
  kSlotMouseUp = 4,
  kSlotKeyDown = 5,
  kSlotKeyUp = 6,
  kSlotChange = 7,
  kSlotMouseMove = 8,
  kSlotFileDrop = 9,
  kSlotClose = 10,
  kSlotOpen = 11,
};

// One property access as a kind sees it.
struct PropertyCall {
  engine::Interpreter& in;
  PartRegistry& parts;
  words::TObjNode& node;   // the part record (name, number, kind, pocket, events)
  words::THashNode& word;  // the part's word (its value is the text last written)
  int property;
};

// What a kind is told when it creates its control.
struct PartSetup {
  FrontEnd& front;
  PartRegistry& parts;
  QWidget* parent;  // the main window's client area
  QString caption;  // by the caption rule
  QFont font;       // from 文字書体 and 文字サイズ
  QColor font_colour;
  int number;  // management number
};

class Part : public words::PartControl {
 public:
  Part(int kind, QWidget* widget);
  ~Part() override;
  Part(const Part&) = delete;
  Part& operator=(const Part&) = delete;

  int Kind() const { return kind_; }
  // The control; nullptr for menu items and popup menus, or once Qt has released it.
  QWidget* Widget() const { return widget_; }
  // The widgets whose mouse, key and drop events are the part's (by default the control).
  virtual std::vector<QWidget*> EventWidgets() const;
  // Whether a left-button release over the control counts as a click. Kinds whose control
  // reports clicks itself (buttons, lists ...) say no and fire the click slot from its signal.
  virtual bool ClicksFromMouse() const { return true; }
  // Where parts placed on this one go (forms, panels, scroll boxes, tab pages); nullptr when
  // the kind takes no parts.
  virtual QWidget* Container() const { return nullptr; }

  // Kind-specific properties. Read gives nullopt, and Write false, for a property the kind
  // leaves to the common properties (position, size, font ...) or does not know; the registry
  // then handles it or raises the property error.
  virtual std::optional<expr::Value> Read(PropertyCall& call);
  virtual bool Write(PropertyCall& call, const std::string& value);
  // The kind's own response to dropped files when no event is bound (エディタ, リスト, メモ).
  virtual void DropFiles(const std::string& lines) { (void)lines; }
  // Destruction: contents cleared by kind before the control is hidden.
  virtual void Deactivate() {}
  // Replaces the control (a plain button turning into a picture button keeps its part).
  void ReplaceWidget(QWidget* widget);

 protected:
  // For a control that someone else owns (the main window): the part never releases it.
  void KeepWidgetOnRelease() { owns_widget_ = false; }

 private:
  int kind_;
  QPointer<QWidget> widget_;
  bool owns_widget_ = true;
};

// Creates the control of `kind` with its set-up and event wiring; nullptr for a kind that no
// factory makes (the caller reports it).
std::unique_ptr<Part> make_part(int kind, const PartSetup& setup);

// Value helpers every kind uses.
inline expr::Value number_value(long long n) {
  return {std::to_string(n), "e"};
}
inline expr::Value text_value(std::string s) {
  return {std::move(s), "s"};
}
// A written number: the nearest integer, or `fallback` when the text is no number.
long long number_of(const std::string& sjis, long long fallback = 0);

}  // namespace morivel::gui
