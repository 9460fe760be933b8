// Part properties: the property names, the routes that read and write them, and the properties
// every kind shares (position, size, visibility, fonts, colours, hints, layout, events).
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include <array>

#include "engine/interpreter.h"
#include "gui/canvas.h"
#include "gui/coordinates.h"
#include "gui/drawing.h"
#include "gui/fonts.h"
#include "gui/front_end.h"
#include "gui/kinds/form_part.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

constexpr std::array<const char*, kPropertyCount> kPropertyNames = {"X",
                                                                    "Y",
                                                                    "幅",
                                                                    "高さ",
                                                                    "テキスト",
                                                                    "アイテム",
                                                                    "値",
                                                                    "画像",
                                                                    "拡大機能",
                                                                    "最大値",
                                                                    "最小値",
                                                                    "タイトル",
                                                                    "向き",
                                                                    "ボタン機能",
                                                                    "可視",
                                                                    "イベント",
                                                                    "クリックした時",
                                                                    "ダブルクリックした時",
                                                                    "マウス押した時",
                                                                    "マウス離した時",
                                                                    "キー押した時",
                                                                    "キー離した時",
                                                                    "変更した時",
                                                                    "編集",
                                                                    "透過処理",
                                                                    "背景色",
                                                                    "サイズ",
                                                                    "名前",
                                                                    "スクロールバー",
                                                                    "フォント書体",
                                                                    "フォントサイズ",
                                                                    "フォント色",
                                                                    "ファイルドロップ",
                                                                    "リサイズ",
                                                                    "ショートカットキー",
                                                                    "IME",
                                                                    "繰り返し回数",
                                                                    "効果音",
                                                                    "マウス動かした時",
                                                                    "追加画像",
                                                                    "選択文字列",
                                                                    "ハンドル",
                                                                    "有効",
                                                                    "選択位置",
                                                                    "選択文字数",
                                                                    "URL",
                                                                    "右側",
                                                                    "下側",
                                                                    "ファイルドロップした時",
                                                                    "スタイル",
                                                                    "W",
                                                                    "H",
                                                                    "位置",
                                                                    "列",
                                                                    "行",
                                                                    "ソート",
                                                                    "種類",
                                                                    "レイアウト",
                                                                    "複数選択",
                                                                    "ポケット",
                                                                    "ポップアップ",
                                                                    "ヒント",
                                                                    "折り返し",
                                                                    "閉じた時",
                                                                    "開いた時"};

// The event slot a property binds, or -1.
int event_slot_of(int property) {
  switch (property) {
    case kPropEvent:
      return kSlotMain;
    case kPropOnClick:
      return kSlotClick;
    case kPropOnDoubleClick:
      return kSlotDoubleClick;
    case kPropOnMouseDown:
      return kSlotMouseDown;
    case kPropOnMouseUp:
      return kSlotMouseUp;
    case kPropOnKeyDown:
      return kSlotKeyDown;
    case kPropOnKeyUp:
      return kSlotKeyUp;
    case kPropOnChange:
      return kSlotChange;
    case kPropOnMouseMove:
      return kSlotMouseMove;
    case kPropOnFileDrop:
      return kSlotFileDrop;
    case kPropOnClose:
      return kSlotClose;
    case kPropOnOpen:
      return kSlotOpen;
    default:
      return -1;
  }
}

bool read_only(int property) {
  return property == kPropName || property == kPropHandle || property == kPropRightSide ||
         property == kPropBelow || property == kPropKind;
}

// Properties whose written text also becomes the part word's own value.
bool kept_as_word_value(int property) {
  return property == kPropText || property == kPropTitle || property == kPropPicture ||
         property == kPropAddPicture || property == kPropUrl;
}

int gap(engine::Interpreter& in) {
  return static_cast<int>(number_of(system_text(in, "部品配置間隔"), 8));
}

// The geometry scripts see: forms report their client size.
QRect script_geometry(Part& part) {
  QWidget* w = part.Widget();
  if (!w) return {};
  if (auto* form = dynamic_cast<FormPart*>(&part)) return QRect(w->pos(), form->ClientSize());
  return w->geometry();
}

void set_script_size(Part& part, QSize size) {
  size = size.expandedTo(QSize(0, 0)).boundedTo(QSize(kLargestSide, kLargestSide));
  if (auto* form = dynamic_cast<FormPart*>(&part))
    form->SetClientSize(size);
  else if (QWidget* w = part.Widget())
    w->resize(size);
}

const std::array<const char*, 6> kLayoutWords = {"なし", "上", "下", "左", "右", "全体"};

}  // namespace

int PartRegistry::PropertyIndex(const std::string& sjis_name) {
  static const std::array<std::pair<std::string, std::string>, kPropertyCount> names = [] {
    std::array<std::pair<std::string, std::string>, kPropertyCount> n;
    for (std::size_t i = 0; i < n.size(); ++i) {
      n[i].first = text::sjis(kPropertyNames[i]);
      n[i].second = text::strip_okurigana(n[i].first);
    }
    return n;
  }();
  std::string name = text::trim(sjis_name);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i].first == name) return static_cast<int>(i);
  std::string stripped = text::strip_okurigana(name);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i].second == stripped) return static_cast<int>(i);
  return -1;
}

void PartRegistry::UndefinedProperty(engine::Interpreter& in, const words::TObjNode& node,
                                     const std::string& property) {
  throw in.Error(text::sjis("部品\"") + node.Name + "\"(\"" + KindName(node.Kind) +
                 text::sjis("\")の設定項目\"") + property + text::sjis("\"は未定義です。"));
}

// ---- reading --------------------------------------------------------------------------------

expr::Value PartRegistry::ReadProperty(engine::Interpreter& in, words::THashNode& word,
                                       const std::string& raw_property) {
  std::string property =
      written_as_literal(raw_property) ? in.EvalArgument(raw_property) : raw_property;
  words::TObjNode* node = NodeOfWord(word);
  if (!node)
    throw in.Error(text::sjis("部品\"") + word.Name + text::sjis("\"は、作成されていません。"));
  MirrorSo(in, word);
  int index = PropertyIndex(property);
  if (index < 0) UndefinedProperty(in, *node, property);
  if (index == kPropEvent) {
    FireMain(in, *node);
    return text_value("");
  }
  PropertyCall call{in, *this, *node, word, index};
  if (Part* part = PartOf(*node)) {
    if (auto value = part->Read(call)) return *value;
  }
  if (auto value = ReadCommon(call)) return *value;
  if (event_slot_of(index) >= 0 || index == kPropSort || index == kPropPopup) {
    if (index != kPropOnClose && index != kPropOnOpen && index != kPropSort && index != kPropPopup)
      in.Warn("\"" + node->Name + "," + property + text::sjis("\"は、未定義です。"));
    return text_value("");
  }
  UndefinedProperty(in, *node, property);
}

std::optional<expr::Value> PartRegistry::ReadCommon(PropertyCall& call) {
  words::TObjNode& node = call.node;
  Part* part = PartOf(node);
  QWidget* w = part ? part->Widget() : nullptr;
  if (call.property == kPropItems && part) {
    if (auto names = ContainerItems(*part)) return names;
  }
  switch (call.property) {
    case kPropName:
      return text_value(node.Name);
    case kPropKind:
      return text_value(KindName(node.Kind));
    case kPropPocket:
      return text_value(node.Pocket);
    case kPropText:
    case kPropTitle:
    case kPropPicture:
    case kPropAddPicture:
      return text_value(call.word.GetValue());
    case kPropItems:
    case kPropUrl:
    case kPropShortcut:
    case kPropFileDrop:
    case kPropSound:
      return text_value("");
    case kPropValue:
    case kPropMaximum:
    case kPropMinimum:
      return number_value(0);
    case kPropOrientation:
      return std::nullopt;
    default:
      break;
  }
  if (!w) return std::nullopt;
  QRect g = script_geometry(*part);
  int spacing = gap(call.in);
  switch (call.property) {
    case kPropX:
      return number_value(g.x());
    case kPropY:
      return number_value(g.y());
    case kPropWidth:
    case kPropW:
      return number_value(g.width());
    case kPropHeight:
    case kPropH:
      return number_value(g.height());
    case kPropSize:
      return text_value(rect_text(g.x(), g.y(), g.x() + g.width(), g.y() + g.height()));
    case kPropPosition:
      return text_value(point_text(g.x(), g.y()));
    case kPropRightSide:
      return text_value(point_text(g.x() + g.width() + spacing, g.y()));
    case kPropBelow:
      return text_value(point_text(g.x(), g.y() + g.height() + spacing));
    case kPropVisible:
      return number_value(w->isHidden() ? 0 : 1);
    case kPropEnabled:
      return number_value(w->isEnabled() ? 1 : 0);
    case kPropHint:
      return text_value(from_qstring(w->toolTip()));
    case kPropFontFace:
      return text_value(face_name(w->font()));
    case kPropFontSize:
      return number_value(w->font().pointSize());
    case kPropFontColour:
      return text_value(colour_to_text(w->palette().color(QPalette::WindowText)));
    case kPropBackColour:
      return text_value(colour_to_text(w->palette().color(w->backgroundRole())));
    case kPropHandle:
      return number_value(static_cast<long long>(w->internalWinId()));
    case kPropLayout: {
      QVariant layout = w->property("morivelLayout");
      return text_value(layout.isValid() ? from_qstring(layout.toString()) : text::sjis("なし"));
    }
    default:
      return std::nullopt;
  }
}

expr::Value PartRegistry::ReadMainValue(engine::Interpreter& in, words::THashNode& word) {
  words::TObjNode* node = NodeOfWord(word);
  if (!node) return text_value(word.GetValue());
  PropertyCall call{in, *this, *node, word, kPropText};
  if (Part* part = PartOf(*node)) {
    if (auto value = part->Read(call)) return *value;
  }
  return text_value(word.GetValue());
}

// ---- writing --------------------------------------------------------------------------------

void PartRegistry::WriteProperty(engine::Interpreter& in, words::THashNode& word,
                                 const std::string& raw_property, const std::string& raw_value) {
  std::string property =
      written_as_literal(raw_property) ? in.EvalArgument(raw_property) : raw_property;
  int index = PropertyIndex(property);
  int slot = index >= 0 ? event_slot_of(index) : -1;
  if (slot >= 0) {
    words::TObjNode* node = NodeOfWord(word);
    if (!node)
      throw in.Error(text::sjis("部品\"") + word.Name + text::sjis("\"は、作成されていません。"));
    MirrorSo(in, word);
    Bind(in, *node, slot, raw_value);
    return;
  }
  WriteEvaluated(in, word, property, PropertyValue(in, raw_value));
}

// A property statement's value is taken as written; only a value still in quotes is expanded, so
// a point or rectangle reaches the coordinate reader whole.
std::string PartRegistry::PropertyValue(engine::Interpreter& in, const std::string& raw_value) {
  std::string trimmed = text::trim(raw_value);
  return written_as_literal(trimmed) ? in.EvalArgument(trimmed) : trimmed;
}

void PartRegistry::WriteEvaluated(engine::Interpreter& in, words::THashNode& word,
                                  const std::string& property, const std::string& value) {
  words::TObjNode* node = NodeOfWord(word);
  if (!node)
    throw in.Error(text::sjis("部品\"") + word.Name + text::sjis("\"は、作成されていません。"));
  MirrorSo(in, word);
  int index = PropertyIndex(property);
  if (index < 0) UndefinedProperty(in, *node, property);
  if (read_only(index)) throw in.Error("\"" + property + text::sjis("\"は、読取専用です。"));
  if (int slot = event_slot_of(index); slot >= 0) {
    Bind(in, *node, slot, value);
    return;
  }
  PropertyCall call{in, *this, *node, word, index};
  Part* part = PartOf(*node);
  bool done = part && part->Write(call, value);
  if (!done) done = WriteCommon(call, value);
  if (!done) {
    bool menu_geometry =
        node->Kind == kMenu &&
        (index == kPropX || index == kPropY || index == kPropWidth || index == kPropHeight ||
         index == kPropSize || index == kPropPosition || index == kPropW || index == kPropH);
    if (index == kPropText || index == kPropValue || index == kPropPicture || menu_geometry)
      throw in.Error(text::sjis("オブジェクト\"") + node->Name +
                     text::sjis("\"の設定は、未定義です。"));
    UndefinedProperty(in, *node, property);
  }
  if (kept_as_word_value(index)) word.SetValue(value);
}

void PartRegistry::WriteMainValue(engine::Interpreter& in, words::THashNode& word,
                                  const std::string& value) {
  words::TObjNode* node = NodeOfWord(word);
  if (node) {
    PropertyCall call{in, *this, *node, word, kPropText};
    if (Part* part = PartOf(*node)) part->Write(call, value);
  }
  word.SetValue(value);
}

namespace {

void recentre(engine::Interpreter& in, FrontEnd& front, QWidget& w) {
  if (!in.State().Drawing.Centering || w.isWindow()) return;
  QWidget* parent = w.parentWidget();
  int width = parent ? parent->width() : front.Window().Client().width();
  w.move((width - w.width()) / 2, w.y());
}

void after_height_change(engine::Interpreter& in, QWidget& w) {
  if (w.isWindow()) return;
  words::DrawingState& at = settled_drawing(in);
  at.X = w.x();
  at.Y = w.y() + w.height() + gap(in);
}

// The client area left for an aligned part once the parts aligned before it took their edges.
QRect free_area(QWidget& w) {
  QWidget* parent = w.parentWidget();
  QRect area = parent->rect();
  int order = w.property("morivelLayoutOrder").toInt();
  for (QObject* child : parent->children()) {
    auto* sibling = qobject_cast<QWidget*>(child);
    if (!sibling || sibling == &w || sibling->isHidden()) continue;
    int side = sibling->property("morivelLayoutSide").toInt();
    if (side == 0 || sibling->property("morivelLayoutOrder").toInt() > order) continue;
    switch (side) {
      case 1:
        area.setTop(area.top() + sibling->height());
        break;
      case 2:
        area.setBottom(area.bottom() - sibling->height());
        break;
      case 3:
        area.setLeft(area.left() + sibling->width());
        break;
      case 4:
        area.setRight(area.right() - sibling->width());
        break;
      default:
        break;
    }
  }
  return area;
}

// Aligns a part to an edge of its container after the parts aligned there before it, as
// docked panels stack.
void apply_layout(QWidget& w, int layout) {
  static int next_order = 0;
  if (!w.parentWidget()) return;
  w.setProperty("morivelLayoutSide", layout);
  w.setProperty("morivelLayoutOrder", ++next_order);
  if (layout == 0) return;
  QRect area = free_area(w);
  switch (layout) {
    case 1:
      w.setGeometry(area.left(), area.top(), area.width(), w.height());
      break;
    case 2:
      w.setGeometry(area.left(), area.bottom() + 1 - w.height(), area.width(), w.height());
      break;
    case 3:
      w.setGeometry(area.left(), area.top(), w.width(), area.height());
      break;
    case 4:
      w.setGeometry(area.right() + 1 - w.width(), area.top(), w.width(), area.height());
      break;
    case 5:
      w.setGeometry(area);
      break;
    default:
      break;
  }
}

}  // namespace

bool PartRegistry::WriteCommon(PropertyCall& call, const std::string& value) {
  engine::Interpreter& in = call.in;
  if (call.property == kPropPocket) {
    call.node.Pocket = value;
    return true;
  }
  Part* part = PartOf(call.node);
  QWidget* w = part ? part->Widget() : nullptr;
  if (!w) return false;
  QRect g = script_geometry(*part);
  switch (call.property) {
    case kPropX:
      w->move(static_cast<int>(number_of(value)), w->y());
      return true;
    case kPropY:
      w->move(w->x(), static_cast<int>(number_of(value)));
      return true;
    case kPropPosition: {
      QPoint at = parse_point(in, value);
      w->move(at);
      return true;
    }
    case kPropWidth:
    case kPropW:
      set_script_size(*part, QSize(static_cast<int>(number_of(value)), g.height()));
      recentre(in, front_, *w);
      return true;
    case kPropHeight:
    case kPropH:
      set_script_size(*part, QSize(g.width(), static_cast<int>(number_of(value))));
      after_height_change(in, *w);
      return true;
    case kPropSize: {
      std::array<int, 4> r = parse_rect(in, value);
      w->move(r[0], r[1]);
      set_script_size(*part, QSize(r[2] - r[0], r[3] - r[1]));
      recentre(in, front_, *w);
      after_height_change(in, *w);
      return true;
    }
    case kPropVisible:
      w->setVisible(number_of(value) != 0);
      return true;
    case kPropEnabled:
      w->setEnabled(number_of(value) != 0);
      return true;
    case kPropHint:
      w->setToolTip(to_qstring(value));
      return true;
    case kPropFontFace:
      w->setFont(font_from_spec(value, w->font().pointSize()));
      return true;
    case kPropFontSize: {
      QFont font = w->font();
      long long size = number_of(value, 9);
      font.setPointSize(size > 0 && size < 1000 ? static_cast<int>(size) : 9);
      w->setFont(font);
      return true;
    }
    case kPropFontColour: {
      QPalette palette = w->palette();
      QColor colour = colour_from_text(value);
      palette.setColor(QPalette::WindowText, colour);
      palette.setColor(QPalette::Text, colour);
      palette.setColor(QPalette::ButtonText, colour);
      w->setPalette(palette);
      return true;
    }
    case kPropBackColour: {
      QPalette palette = w->palette();
      QColor colour = colour_from_text(value, Qt::white);
      palette.setColor(QPalette::Window, colour);
      palette.setColor(QPalette::Base, colour);
      palette.setColor(QPalette::Button, colour);
      w->setPalette(palette);
      w->setAutoFillBackground(true);
      return true;
    }
    case kPropFileDrop: {
      bool accept = text::trim(value) != "0";
      for (QWidget* widget : part->EventWidgets()) {
        widget->setAcceptDrops(accept);
        widget->setProperty("morivelFileDrop", accept);
      }
      return true;
    }
    case kPropLayout: {
      std::string word = text::trim(value);
      for (std::size_t i = 0; i < kLayoutWords.size(); ++i) {
        if (word != text::sjis(kLayoutWords[i])) continue;
        w->setProperty("morivelLayout", to_qstring(word));
        apply_layout(*w, static_cast<int>(i));
        return true;
      }
      throw in.Error(text::sjis("レイアウトは、上下左右なし全体から指定してください。"));
    }
    case kPropPopup: {
      words::TObjNode* popup = FindByName(in, text::trim(value));
      auto* menu_part = popup ? dynamic_cast<PopupPart*>(PartOf(*popup)) : nullptr;
      if (!menu_part)
        throw in.Error("\"" + value + text::sjis("\"は、ポップアップメニューではありません。"));
      QPointer<QMenu> menu = menu_part->Menu();
      w->setContextMenuPolicy(Qt::CustomContextMenu);
      QObject::disconnect(w, &QWidget::customContextMenuRequested, nullptr, nullptr);
      QObject::connect(w, &QWidget::customContextMenuRequested, w, [w, menu](const QPoint& at) {
        if (menu) menu->popup(w->mapToGlobal(at));
      });
      return true;
    }
    case kPropItems:
      return WriteContainerItems(call, value);
    default:
      return false;
  }
}

// ---- containers -----------------------------------------------------------------------------

std::optional<expr::Value> PartRegistry::ContainerItems(Part& part) {
  QWidget* container = part.Container();
  if (!container) return std::nullopt;
  std::string lines;
  for (QObject* child : container->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget) continue;
    QVariant number = widget->property("morivelNumber");
    if (!number.isValid()) continue;
    words::TObjNode* node = Node(number.toInt());
    if (!node || node->Number == 0) continue;
    // A form's own picture carries the form's number for its mouse events; it is no child part.
    if (Part* child_part = PartOf(*node); !child_part || child_part->Widget() != widget) continue;
    lines += node->Name + "\r\n";
  }
  return text_value(lines);
}

bool PartRegistry::WriteContainerItems(PropertyCall& call, const std::string& value) {
  Part* part = PartOf(call.node);
  if (!part || !part->Container()) return false;
  for (std::string_view line : text::split_lines(value)) {
    std::string name = text::trim(line);
    if (name.empty()) continue;
    PlaceOn(call.in, name, call.node);
  }
  return true;
}

void PartRegistry::PlaceOn(engine::Interpreter& in, const std::string& part_name,
                           words::TObjNode& container_node) {
  words::THashNode* word = FindWord(in, part_name);
  if (!word) throw in.Error("\"" + part_name + text::sjis("\"は、部品ではありません。"));
  words::TObjNode* node = NodeOfWord(*word);
  Part* part = node ? PartOf(*node) : nullptr;
  Part* container = PartOf(container_node);
  QWidget* target = container ? container->Container() : nullptr;
  QWidget* widget = part ? part->Widget() : nullptr;
  if (!widget || !target || widget == target)
    throw in.Error(part_name + text::sjis("を、") + container_node.Name +
                   text::sjis("へ、親変更に失敗。"));
  bool visible = !widget->isHidden();
  widget->setParent(target);
  widget->setVisible(visible);
}

}  // namespace morivel::gui
