// Commands that reach into one kind of part: tab pages, tree paths, grid row selection, rich-edit
// attributes and saving, the editing commands of text parts, window messages and rounded outlines.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QRegion>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidget>

#include <cmath>
#include <stdexcept>
#include <string>

#include "commands/security.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/families.h"
#include "gui/fonts.h"
#include "gui/front_end.h"
#include "gui/kinds/boxes.h"
#include "gui/kinds/lists.h"
#include "gui/part_registry.h"
#include "gui/kind_commands.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::gui {
namespace {

using engine::Interpreter;

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

// ---- finding the part ---------------------------------------------------------------------------

template <class KindPart>
KindPart& part_of_kind(Interpreter& in, const std::string& name, const char* utf8_hint) {
  Part& part = named_part(in, name);
  auto* kind = dynamic_cast<KindPart*>(&part);
  if (!kind) throw in.ArgumentError(text::sjis(utf8_hint));
  return *kind;
}

TabPagePart& tab_page(Interpreter& in, const std::string& name) {
  return part_of_kind<TabPagePart>(in, name, "タブページ部品を指定してください。");
}

TreePart& tree(Interpreter& in, const std::string& name) {
  auto& part = named_part(in, name);
  auto* tree_part = dynamic_cast<TreePart*>(&part);
  if (!tree_part) throw in.ArgumentError();
  return *tree_part;
}

int pop_integer(Interpreter& in) {
  std::int64_t n = 0;
  if (!expr::TruncateToInt64(in.PopArgumentNumber(), n)) throw in.ArgumentError();
  return static_cast<int>(std::clamp<std::int64_t>(n, INT_MIN, INT_MAX));
}

// ---- tab pages ----------------------------------------------------------------------------------

void add_tab(Interpreter& in) {
  std::string caption = in.PopArgumentValue();
  tab_page(in, pop_part_name(in)).AddPage(to_qstring(caption));
}

void delete_tab(Interpreter& in) {
  int index = pop_integer(in);
  TabPagePart& tabs = tab_page(in, pop_part_name(in));
  if (index >= 0 && index < tabs.Tabs()->count()) tabs.RemovePage(index);
}

// タブ有効変更 (?を,?に): "1" enables the current page, anything else disables it; "index,flag"
// names another page.
void enable_tab(Interpreter& in) {
  std::string setting = text::trim(text::to_half_width(in.PopArgumentValue()));
  QTabWidget* tabs = tab_page(in, pop_part_name(in)).Tabs();
  int index = tabs->currentIndex();
  std::size_t comma = setting.find(',');
  if (comma != std::string::npos) {
    std::int64_t n = -1;
    if (!expr::ToInteger(setting.substr(0, comma), n)) throw in.ArgumentError();
    index = static_cast<int>(std::clamp<std::int64_t>(n, -1, INT_MAX));
    setting = text::trim(setting.substr(comma + 1));
  }
  if (index >= 0 && index < tabs->count()) tabs->setTabEnabled(index, setting == "1");
}

void move_tabs(Interpreter& in) {
  std::string where = text::trim(in.PopArgumentValue());
  QTabWidget* tabs = tab_page(in, pop_part_name(in)).Tabs();
  if (where == text::sjis("上")) tabs->setTabPosition(QTabWidget::North);
  if (where == text::sjis("下")) tabs->setTabPosition(QTabWidget::South);
  if (where == text::sjis("右")) tabs->setTabPosition(QTabWidget::East);
}

// ---- trees --------------------------------------------------------------------------------------

void add_tree_items(Interpreter& in) {
  std::string lines = in.PopArgumentValue();
  tree(in, pop_part_name(in)).AddPaths(lines);
}

std::string tree_path_argument(Interpreter& in) {
  std::string path = in.PopArgumentValue();
  // A trailing "\" is a separator only when it is not the second byte of a double-byte character.
  if (!path.empty() && path.back() == '\\' && text::is_char_start(path, path.size() - 1))
    path.pop_back();
  return path;
}

void delete_tree_item(Interpreter& in) {
  std::string path = tree_path_argument(in);
  TreePart& part = tree(in, pop_part_name(in));
  if (QTreeWidgetItem* node = part.Find(path)) delete node;
}

void set_expanded(QTreeWidgetItem* node, bool open, bool whole_branch) {
  node->setExpanded(open);
  if (!whole_branch) return;
  for (int i = 0; i < node->childCount(); ++i) set_expanded(node->child(i), open, true);
}

void expand_or_collapse(Interpreter& in, bool open) {
  std::string path = tree_path_argument(in);
  TreePart& part = tree(in, pop_part_name(in));
  QTreeWidget* widget = part.Tree();
  if (path.empty()) {
    // Everything opens fully; closing shuts only the top level, so the branches below open as
    // they were when the user opens a top node again.
    for (int i = 0; i < widget->topLevelItemCount(); ++i)
      set_expanded(widget->topLevelItem(i), open, open);
    return;
  }
  if (QTreeWidgetItem* node = part.Find(path)) set_expanded(node, open, true);
}

void expand_tree(Interpreter& in) {
  expand_or_collapse(in, true);
}

void collapse_tree(Interpreter& in) {
  expand_or_collapse(in, false);
}

// ---- grids and rich edits -----------------------------------------------------------------------

void grid_row_select(Interpreter& in) {
  std::string on = text::trim(in.PopArgumentValue());
  part_of_kind<GridPart>(in, pop_part_name(in), "グリッド部品を指定してください。")
      .SetRowSelect(on == "1");
}

QTextEdit& rich_edit(Interpreter& in, const std::string& name) {
  Part& part = named_part(in, name);
  auto* edit = qobject_cast<QTextEdit*>(part.Widget());
  if (part.Kind() != kRichEdit || !edit)
    throw in.ArgumentError(text::sjis("リッチエディタ部品を指定してください。"));
  return *edit;
}

void rich_edit_selection_style(Interpreter& in) {
  QTextEdit& edit = rich_edit(in, pop_part_name(in));
  QTextCharFormat format;
  format.setFont(settings_font(in));
  format.setForeground(settings_font_colour(in));
  QTextCursor cursor = edit.textCursor();
  cursor.mergeCharFormat(format);
  edit.mergeCurrentCharFormat(format);
}

void rich_edit_save(Interpreter& in) {
  std::string file = text::trim(in.PopArgumentValue());
  QTextEdit& edit = rich_edit(in, pop_part_name(in));
  if (commands::CheckFileOperation(
          in, file, in_quotes(file) + text::sjis("へファイル保存します。よろしいですか？")))
    return;
  std::string lower = file;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  bool html = lower.ends_with(".htm") || lower.ends_with(".html");
  std::string content =
      html ? edit.document()->toHtml().toUtf8().toStdString() : document_to_rtf(*edit.document());
  if (!write_whole_file(file, content))
    throw in.Error(text::sjis("ファイル") + in_quotes(file) +
                   text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

// ---- editing commands ---------------------------------------------------------------------------

// The editing commands take エディタ, メモ, Tエディタ and リッチエディタ; their failures are plain
// errors, not the command's argument error.
template <class Action>
void edit_command(Interpreter& in, Action action) {
  std::string name = text::trim(pop_part_name(in));
  PartRegistry& parts = front_end(in).Parts();
  words::THashNode* word = name.empty() ? nullptr : parts.FindWord(in, name);
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  Part* part = node ? parts.PartOf(*node) : nullptr;
  if (!part) throw std::runtime_error(text::sjis("引数に部品名を指定してください。"));
  QWidget* widget = part->Widget();
  if (auto* line = qobject_cast<QLineEdit*>(widget); line && part->Kind() == kEdit)
    return action(*line);
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget);
      plain && (part->Kind() == kMemo || part->Kind() == kTextEditor))
    return action(*plain);
  if (auto* rich = qobject_cast<QTextEdit*>(widget); rich && part->Kind() == kRichEdit)
    return action(*rich);
  throw std::runtime_error(PartRegistry::KindName(part->Kind()) + text::sjis("では、使えない命令"));
}

void undo(Interpreter& in) {
  edit_command(in, [](auto& edit) { edit.undo(); });
}
void cut(Interpreter& in) {
  edit_command(in, [](auto& edit) { edit.cut(); });
}
void copy(Interpreter& in) {
  edit_command(in, [](auto& edit) { edit.copy(); });
}
void paste(Interpreter& in) {
  edit_command(in, [](auto& edit) { edit.paste(); });
}
void select_all(Interpreter& in) {
  edit_command(in, [](auto& edit) { edit.selectAll(); });
}

// ---- outlines and messages ----------------------------------------------------------------------

void round_corners(Interpreter& in) {
  std::string name = pop_part_name(in);
  int size =
      static_cast<int>(std::lround(std::clamp<long double>(in.PopArgumentNumber(), 0, 10000)));
  QWidget* widget = named_part(in, name).Widget();
  if (!widget) throw in.ArgumentError();
  QPainterPath outline;
  outline.addRoundedRect(QRectF(widget->rect()), size / 2.0, size / 2.0);
  widget->setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void send_message(Interpreter& in) {
  std::string fields = text::to_half_width(in.PopArgumentValue());
  std::string name = pop_part_name(in);
  WindowMessage message = parse_window_message(in, fields);
  Part& part = named_part(in, name);
  if (!front_end(in).Parts().FindByName(in, text::trim(name)))
    throw in.Error(text::sjis("部品") + in_quotes(name) + text::sjis("が特定できません。"));
  in.SetResult(std::to_string(deliver_window_message(part, message)), "e");
}

}  // namespace

Part& named_part(Interpreter& in, const std::string& raw_name) {
  std::string name = text::trim(raw_name);
  PartRegistry& parts = front_end(in).Parts();
  words::THashNode* word = parts.FindWord(in, name);
  if (!word) throw in.Error(in_quotes(name) + text::sjis("は、部品ではありません。"));
  words::TObjNode* node = parts.NodeOfWord(*word);
  Part* part = node ? parts.PartOf(*node) : nullptr;
  if (!part) throw in.ArgumentError();
  return *part;
}

void register_kind_commands(commands::HandlerTable& table) {
  table.Set(434, add_tab);
  table.Set(530, delete_tab);
  table.Set(437, enable_tab);
  table.Set(461, move_tabs);
  table.Set(449, add_tree_items);
  table.Set(450, delete_tree_item);
  table.Set(451, expand_tree);
  table.Set(452, collapse_tree);
  table.Set(462, grid_row_select);
  table.Set(463, rich_edit_selection_style);
  table.Set(482, rich_edit_save);
  table.Set(509, undo);
  table.Set(510, cut);
  table.Set(511, copy);
  table.Set(512, paste);
  table.Set(513, select_all);
  table.Set(440, round_corners);
  table.Set(339, send_message);
}

}  // namespace morivel::gui
