// Combo boxes, lists, grids and trees as parts.
#include "gui/kinds/lists.h"

#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <utility>
#include <vector>

#include "formats/csv.h"
#include "gui/part_kinds.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

constexpr QSize kComboSize(145, 21);
constexpr QSize kListSize(121, 97);
constexpr QSize kGridSize(320, 120);
constexpr QSize kTreeSize(121, 97);
constexpr int kGridColumns = 5;
constexpr int kGridRows = 5;  // the fixed row included
constexpr int kGridColumnWidth = 64;
constexpr int kGridRowHeight = 24;

QStringList lines_of(const std::string& sjis) {
  QStringList lines;
  for (std::string_view line : text::split_lines(sjis)) lines << to_qstring(std::string(line));
  return lines;
}

std::string text_of_lines(const QStringList& lines) {
  std::string text;
  for (const QString& line : lines) text += from_qstring(line) + "\r\n";
  return text;
}

// Sorted lists order their items ignoring case first.
void sort_items(QStringList& items) {
  std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
    int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
  });
}

// Selections of an edit field are counted in bytes of the Shift-JIS text, as scripts count.
long long byte_position(const QString& text, int chars) {
  return static_cast<long long>(from_qstring(text.left(chars)).size());
}

int char_position(const QString& text, long long bytes) {
  std::string sjis = from_qstring(text);
  if (bytes <= 0) return 0;
  if (bytes >= static_cast<long long>(sjis.size())) return static_cast<int>(text.size());
  return static_cast<int>(text::char_index_of_byte(sjis, static_cast<std::size_t>(bytes)));
}

// ---- combo boxes ----------------------------------------------------------------------------

class ComboPart : public Part {
 public:
  explicit ComboPart(const PartSetup& setup)
      : Part(kCombo, new QComboBox(setup.parent)), parts_(setup.parts), number_(setup.number) {
    QComboBox* combo = Combo();
    combo->resize(kComboSize);
    combo->setFont(setup.font);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(8);
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    // Choosing from the list is a click and then a change.
    QObject::connect(combo, &QComboBox::activated, combo, [&parts, number] {
      parts.Fire(number, kSlotClick);
      parts.Fire(number, kSlotChange);
    });
    WireEdit();
  }

  bool ClicksFromMouse() const override { return false; }

  std::vector<QWidget*> EventWidgets() const override {
    QComboBox* combo = Combo();
    if (!combo) return {};
    if (QLineEdit* edit = combo->lineEdit()) return {combo, edit};
    return {combo};
  }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    QComboBox* combo = Combo();
    if (!combo) return std::nullopt;
    QLineEdit* edit = combo->lineEdit();
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        return text_value(from_qstring(combo->currentText()));
      case kPropItems:
        return text_value(text_of_lines(Items()));
      case kPropValue:
        return number_value(combo->currentIndex());
      case kPropEditing:
        return number_value(combo->isEditable() ? 1 : 0);
      case kPropIme:
        return number_value(ime_);
      case kPropSelectedText:
        return text_value(edit ? from_qstring(edit->selectedText()) : std::string());
      case kPropSelStart:
        return number_value(edit ? byte_position(edit->text(), SelectionStart(*edit)) : 0);
      case kPropSelLength: {
        if (!edit || !edit->hasSelectedText()) return number_value(0);
        int start = edit->selectionStart();
        long long from = byte_position(edit->text(), start);
        return number_value(byte_position(edit->text(), start + edit->selectionLength()) - from);
      }
      default:
        return std::nullopt;
    }
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    QComboBox* combo = Combo();
    if (!combo) return false;
    QLineEdit* edit = combo->lineEdit();
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        if (combo->isEditable())
          combo->setEditText(to_qstring(value));
        else
          combo->setCurrentIndex(combo->findText(to_qstring(value)));
        return true;
      case kPropItems:
        SetItems(lines_of(value));
        return true;
      case kPropValue: {
        long long index = number_of(value, -1);
        if (index >= 0 && index < combo->count()) combo->setCurrentIndex(static_cast<int>(index));
        return true;
      }
      case kPropEditing:
        SetEditable(number_of(value) != 0, call);
        return true;
      case kPropSort:
        sorted_ = number_of(value) != 0;
        if (sorted_) Resort();
        return true;
      case kPropIme:
        // The input method is the platform's business here; the mode is kept for reading.
        ime_ = number_of(value);
        return true;
      case kPropSelectedText:
        if (edit) edit->insert(to_qstring(value));
        return true;
      case kPropSelStart:
        if (edit) edit->setCursorPosition(char_position(edit->text(), number_of(value)));
        return true;
      case kPropSelLength:
        if (edit) SelectLength(*edit, number_of(value));
        return true;
      default:
        return false;
    }
  }

  void Deactivate() override {
    if (QComboBox* combo = Combo()) combo->clear();
  }

 private:
  QComboBox* Combo() const { return qobject_cast<QComboBox*>(Widget()); }

  QStringList Items() const {
    QStringList items;
    QComboBox* combo = Combo();
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
  }

  // New items leave nothing selected and the edit field empty.
  void SetItems(QStringList items) {
    QComboBox* combo = Combo();
    if (sorted_) sort_items(items);
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(-1);
  }

  void Resort() {
    QComboBox* combo = Combo();
    QString current = combo->currentText();
    QStringList items = Items();
    sort_items(items);
    combo->clear();
    combo->addItems(items);
    if (combo->isEditable()) {
      combo->setCurrentIndex(-1);
      combo->setEditText(current);
    } else {
      combo->setCurrentIndex(combo->findText(current));
    }
  }

  void SetEditable(bool on, PropertyCall& call) {
    QComboBox* combo = Combo();
    if (combo->isEditable() == on) return;
    combo->setEditable(on);
    if (!on) return;
    combo->setInsertPolicy(QComboBox::NoInsert);
    WireEdit();
    // The new edit field reports the part's mouse and keys like the old one did.
    call.parts.WatchEvents(*this, call.node.Number);
  }

  void WireEdit() {
    QLineEdit* edit = Combo()->lineEdit();
    if (!edit) return;
    PartRegistry& parts = parts_;
    int number = number_;
    QObject::connect(edit, &QLineEdit::textEdited, edit,
                     [&parts, number] { parts.Fire(number, kSlotChange); });
  }

  static int SelectionStart(const QLineEdit& edit) {
    return edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
  }

  static void SelectLength(QLineEdit& edit, long long bytes) {
    int start = SelectionStart(edit);
    long long from = byte_position(edit.text(), start);
    int end = char_position(edit.text(), from + std::max(0LL, bytes));
    edit.setSelection(start, end - start);
  }

  PartRegistry& parts_;
  int number_;
  bool sorted_ = false;
  long long ime_ = 0;
};

// ---- lists ----------------------------------------------------------------------------------

class ListPart : public Part {
 public:
  explicit ListPart(const PartSetup& setup) : Part(kList, new QListWidget(setup.parent)) {
    QListWidget* list = List();
    list->resize(kListSize);
    list->setFont(setup.font);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    PartRegistry& parts = setup.parts;
    int number = setup.number;
    QObject::connect(list, &QListWidget::clicked, list,
                     [&parts, number] { parts.Fire(number, kSlotClick); });
    // Moving through the list with the keys clicks too; the mouse has its own signal above.
    QObject::connect(list, &QListWidget::currentRowChanged, &context_, [this, &parts, number] {
      if (quiet_ || QApplication::mouseButtons() != Qt::NoButton) return;
      parts.Fire(number, kSlotClick);
    });
  }

  bool ClicksFromMouse() const override { return false; }

  std::vector<QWidget*> EventWidgets() const override {
    QListWidget* list = List();
    if (!list) return {};
    return {list, list->viewport()};
  }

  std::optional<expr::Value> Read(PropertyCall& call) override {
    QListWidget* list = List();
    if (!list) return std::nullopt;
    switch (call.property) {
      case kPropText:
      case kPropTitle:
        return text_value(SelectedText());
      case kPropSelectedText: {
        int index = Index();
        return text_value(index >= 0 ? from_qstring(list->item(index)->text()) : std::string());
      }
      case kPropItems:
        return text_value(text_of_lines(Items()));
      case kPropValue:
        return number_value(Index());
      case kPropMultiSelect:
        return number_value(Multi() ? 1 : 0);
      default:
        return std::nullopt;
    }
  }

  bool Write(PropertyCall& call, const std::string& value) override {
    QListWidget* list = List();
    if (!list) return false;
    switch (call.property) {
      case kPropText:
      case kPropTitle:
      case kPropSelectedText:
        if (int index = Index(); index >= 0) list->item(index)->setText(to_qstring(value));
        return true;
      case kPropItems:
        SetItems(lines_of(value));
        return true;
      case kPropValue: {
        long long index = number_of(value, -1);
        if (index < 0 || index >= list->count()) return true;
        quiet_ = true;
        list->setCurrentRow(static_cast<int>(index));
        quiet_ = false;
        return true;
      }
      case kPropMultiSelect:
        list->setSelectionMode(number_of(value) == 1 ? QAbstractItemView::ExtendedSelection
                                                     : QAbstractItemView::SingleSelection);
        return true;
      case kPropSort:
        sorted_ = number_of(value) != 0;
        if (sorted_) SetItems(Items());
        return true;
      default:
        return false;
    }
  }

  void DropFiles(const std::string& lines) override {
    QListWidget* list = List();
    if (!list) return;
    if (sorted_)
      SetItems(Items() + lines_of(lines));
    else
      list->addItems(lines_of(lines));
  }

  void Deactivate() override {
    if (List()) SetItems({});
  }

 private:
  QListWidget* List() const { return qobject_cast<QListWidget*>(Widget()); }
  bool Multi() const { return List()->selectionMode() != QAbstractItemView::SingleSelection; }

  // The item the script calls selected: the chosen item, or with multiple selection the item
  // with the caret; -1 when there is none.
  int Index() const {
    QListWidget* list = List();
    int row = list->currentRow();
    if (row < 0) return -1;
    if (Multi()) return row;
    return list->item(row)->isSelected() ? row : -1;
  }

  std::string SelectedText() const {
    QListWidget* list = List();
    if (!Multi()) {
      int index = Index();
      return index >= 0 ? from_qstring(list->item(index)->text()) : std::string();
    }
    std::string text;
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->isSelected()) text += from_qstring(list->item(i)->text()) + "\r\n";
    return text;
  }

  QStringList Items() const {
    QStringList items;
    QListWidget* list = List();
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
  }

  void SetItems(QStringList items) {
    QListWidget* list = List();
    if (sorted_) sort_items(items);
    quiet_ = true;
    list->clear();
    list->addItems(items);
    quiet_ = false;
  }

  bool quiet_ = false;
  bool sorted_ = false;
  QObject context_;
};

}  // namespace

// ---- grids ----------------------------------------------------------------------------------

GridPart::GridPart(const PartSetup& setup) : Part(kGrid, new QTableWidget(setup.parent)) {
  QTableWidget* table = Table();
  table->resize(kGridSize);
  table->setFont(setup.font);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  table->horizontalHeader()->setDefaultSectionSize(kGridColumnWidth);
  table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table->horizontalHeader()->setSectionsClickable(true);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setColumnCount(kGridColumns);
  table->setRowCount(kGridRows - 1);
  for (int c = 0; c < kGridColumns; ++c) table->setHorizontalHeaderItem(c, new QTableWidgetItem);
  SetEditing(false);
  quiet_ = true;
  table->setCurrentCell(0, 0);
  quiet_ = false;
  PartRegistry& parts = setup.parts;
  int number = setup.number;
  // A new current cell is a click, whether the mouse, the keys or the script moved it.
  QObject::connect(table, &QTableWidget::currentCellChanged, &context_, [this, &parts, number] {
    if (!quiet_) parts.Fire(number, kSlotClick);
  });
  QObject::connect(
      table->horizontalHeader(), &QHeaderView::sectionClicked, &context_, [this](int column) {
        if (!sorted_) return;
        QTableWidget* t = Table();
        if (!t) return;
        quiet_ = true;
        t->sortItems(column, order_);
        quiet_ = false;
        order_ = order_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
      });
}

std::string GridPart::Csv() const {
  QTableWidget* table = Table();
  if (!table || table->columnCount() == 0) return {};
  formats::TCsvDb db;
  auto text_of = [](const QTableWidgetItem* item) {
    return item ? from_qstring(item->text()) : std::string();
  };
  for (int c = 0; c < table->columnCount(); ++c)
    db.SetCell(static_cast<std::size_t>(c), 0, text_of(table->horizontalHeaderItem(c)));
  for (int r = 0; r < table->rowCount(); ++r)
    for (int c = 0; c < table->columnCount(); ++c)
      db.SetCell(static_cast<std::size_t>(c), static_cast<std::size_t>(r) + 1,
                 text_of(table->item(r, c)));
  return db.WriteCsv();
}

void GridPart::SetCsv(const std::string& csv) {
  QTableWidget* table = Table();
  if (!table) return;
  formats::TCsvDb db;
  db.ReadCsv(csv);
  int rows = static_cast<int>(db.RowCount());
  int columns = static_cast<int>(db.Width());
  int current_row = table->currentRow(), current_column = table->currentColumn();
  quiet_ = true;
  table->setUpdatesEnabled(false);
  table->setRowCount(0);
  table->setColumnCount(columns);
  table->setRowCount(std::max(rows - 1, 0));
  auto cell = [&db](int c, int r) {
    return new QTableWidgetItem(
        to_qstring(db.GetCell(static_cast<std::size_t>(c), static_cast<std::size_t>(r))));
  };
  for (int c = 0; c < columns; ++c) table->setHorizontalHeaderItem(c, cell(c, 0));
  for (int r = 1; r < rows; ++r)
    for (int c = 0; c < columns; ++c) table->setItem(r - 1, c, cell(c, r));
  if (table->rowCount() > 0 && columns > 0)
    table->setCurrentCell(std::clamp(current_row, 0, table->rowCount() - 1),
                          std::clamp(current_column, 0, columns - 1));
  table->setUpdatesEnabled(true);
  quiet_ = false;
}

void GridPart::SetRowSelect(bool on) {
  QTableWidget* table = Table();
  if (!table) return;
  table->setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
  // A grid that selects whole rows edits no cells.
  table->setEditTriggers(editing_ && !on ? QAbstractItemView::AllEditTriggers
                                         : QAbstractItemView::NoEditTriggers);
}

void GridPart::SetEditing(bool on) {
  editing_ = on;
  SetRowSelect(!on);
  QTableWidget* table = Table();
  if (on && table && table->currentItem()) table->editItem(table->currentItem());
}

int GridPart::CurrentRow() const {
  QTableWidget* table = Table();
  return std::max(1, table->currentRow() + 1);
}

void GridPart::SetCurrentRow(int script_row) {
  QTableWidget* table = Table();
  int row = std::max(script_row, 1) - 1;
  if (row >= table->rowCount()) return;
  table->setCurrentCell(row, std::max(table->currentColumn(), 0));
}

std::vector<QWidget*> GridPart::EventWidgets() const {
  QTableWidget* table = Table();
  if (!table) return {};
  return {table, table->viewport()};
}

std::optional<expr::Value> GridPart::Read(PropertyCall& call) {
  QTableWidget* table = Table();
  if (!table) return std::nullopt;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
    case kPropItems:
      return text_value(Csv());
    case kPropValue:
    case kPropRow:
      return number_value(CurrentRow());
    case kPropColumn:
      return number_value(std::max(table->currentColumn(), 0));
    case kPropEditing:
      return number_value(editing_ ? 1 : 0);
    default:
      return std::nullopt;
  }
}

bool GridPart::Write(PropertyCall& call, const std::string& value) {
  QTableWidget* table = Table();
  if (!table) return false;
  switch (call.property) {
    case kPropText:
    case kPropTitle:
    case kPropItems:
      SetCsv(value);
      return true;
    case kPropValue: {
      long long row = number_of(value, -1);
      if (row >= 0 && row < table->rowCount() + 1) SetCurrentRow(static_cast<int>(row));
      return true;
    }
    case kPropRow: {
      long long row = number_of(value);
      if (row < table->rowCount() + 1) SetCurrentRow(static_cast<int>(row));
      return true;
    }
    case kPropColumn: {
      long long column = number_of(value, -1);
      if (column >= 0 && column < table->columnCount() && table->rowCount() > 0)
        table->setCurrentCell(std::max(table->currentRow(), 0), static_cast<int>(column));
      return true;
    }
    case kPropEditing:
      SetEditing(number_of(value) >= 1);
      return true;
    case kPropSort:
      sorted_ = number_of(value) != 0;
      return true;
    default:
      return false;
  }
}

void GridPart::Deactivate() {
  QTableWidget* table = Table();
  if (!table) return;
  quiet_ = true;
  table->setRowCount(0);
  quiet_ = false;
}

// ---- trees ----------------------------------------------------------------------------------

namespace {

// A click anywhere in the tree tells the script which node is selected.
class TreeClickWatch : public QObject {
 public:
  TreeClickWatch(QTreeWidget& tree, PartRegistry& parts, int number)
      : tree_(&tree), parts_(parts), number_(number) {
    tree.viewport()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonRelease || !tree_) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* viewport = qobject_cast<QWidget*>(watched);
    if (mouse->button() != Qt::LeftButton || !viewport ||
        !viewport->rect().contains(mouse->position().toPoint()))
      return false;
    parts_.SetEventValue(TreePart::PathOf(tree_->currentItem()));
    parts_.Fire(number_, kSlotClick);
    return false;
  }

 private:
  QPointer<QTreeWidget> tree_;
  PartRegistry& parts_;
  int number_;
};

}  // namespace

TreePart::TreePart(const PartSetup& setup) : Part(kTree, new QTreeWidget(setup.parent)) {
  QTreeWidget* tree = Tree();
  tree->resize(kTreeSize);
  tree->setFont(setup.font);
  tree->setHeaderHidden(true);
  tree->setColumnCount(1);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  SetEditing(true);
  PartRegistry& parts = setup.parts;
  int number = setup.number;
  QObject::connect(tree, &QTreeWidget::currentItemChanged, &context_,
                   [this, &parts, number](QTreeWidgetItem* current) {
                     if (quiet_) return;
                     parts.SetEventValue(PathOf(current));
                     parts.Fire(number, kSlotChange);
                   });
  click_watch_ = std::make_unique<TreeClickWatch>(*tree, parts, number);
}

TreePart::~TreePart() = default;

std::string TreePart::PathOf(const QTreeWidgetItem* node) {
  QStringList captions;
  for (const QTreeWidgetItem* n = node; n; n = n->parent()) captions.prepend(n->text(0));
  return from_qstring(captions.join(QLatin1Char('\\')));
}

std::vector<std::string> TreePart::Paths() const {
  std::vector<std::string> paths;
  QTreeWidget* tree = Tree();
  if (!tree) return paths;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) paths.push_back(PathOf(*it));
  return paths;
}

QTreeWidgetItem* TreePart::Find(const std::string& path) const {
  QTreeWidget* tree = Tree();
  if (!tree) return nullptr;
  for (QTreeWidgetItemIterator it(tree); *it; ++it)
    if (PathOf(*it) == path) return *it;
  return nullptr;
}

namespace {

// Paths already present, the first node in node order winning.
QHash<QString, QTreeWidgetItem*> paths_of(QTreeWidget* tree) {
  QHash<QString, QTreeWidgetItem*> known;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    QString path = to_qstring(TreePart::PathOf(*it));
    if (!known.contains(path)) known.insert(path, *it);
  }
  return known;
}

void add_path(QTreeWidget* tree, const QString& line, QHash<QString, QTreeWidgetItem*>& known) {
  QTreeWidgetItem* current = nullptr;
  QString path;
  for (const QString& caption : line.split(QLatin1Char('\\'))) {
    path = current ? path + QLatin1Char('\\') + caption : caption;
    if (QTreeWidgetItem* node = known.value(path)) {
      current = node;
      continue;
    }
    current = current ? new QTreeWidgetItem(current) : new QTreeWidgetItem(tree);
    current->setText(0, caption);
    current->setFlags(current->flags() | Qt::ItemIsEditable);
    known.insert(path, current);
  }
}

// Notes whether anyone but us changed the tree's nodes: a user renaming a node while pending
// events run makes the remembered paths (and perhaps nodes) stale.
class TreeChangeWatch {
 public:
  explicit TreeChangeWatch(QTreeWidget* tree) {
    QAbstractItemModel* model = tree->model();
    auto mark = [this] {
      if (!own_change_) stale_ = true;
    };
    connections_ = {
        QObject::connect(model, &QAbstractItemModel::rowsInserted, mark),
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, mark),
        QObject::connect(model, &QAbstractItemModel::rowsMoved, mark),
        QObject::connect(model, &QAbstractItemModel::dataChanged, mark),
        QObject::connect(model, &QAbstractItemModel::modelReset, mark),
        QObject::connect(model, &QAbstractItemModel::layoutChanged, mark),
    };
  }
  ~TreeChangeWatch() {
    for (const QMetaObject::Connection& c : connections_) QObject::disconnect(c);
  }
  TreeChangeWatch(const TreeChangeWatch&) = delete;
  TreeChangeWatch& operator=(const TreeChangeWatch&) = delete;

  void SetOwnChange(bool on) { own_change_ = on; }
  // True once since the last call when someone else changed the tree.
  bool TakeStale() { return std::exchange(stale_, false); }

 private:
  std::vector<QMetaObject::Connection> connections_;
  bool own_change_ = false;
  bool stale_ = false;
};

}  // namespace

// Pending events run before each line, so a long list neither freezes the window nor holds up
// timers; the tree may be renamed or even destroyed meanwhile, which is checked after each pause.
void TreePart::AddPaths(const std::string& lines) {
  QPointer<QTreeWidget> tree = Tree();
  if (!tree) return;
  QHash<QString, QTreeWidgetItem*> known = paths_of(tree);
  TreeChangeWatch watch(tree);
  for (const QString& line : lines_of(lines)) {
    QCoreApplication::processEvents();
    if (!tree) return;
    if (watch.TakeStale()) known = paths_of(tree);
    if (line.isEmpty()) continue;
    watch.SetOwnChange(true);
    add_path(tree, line, known);
    watch.SetOwnChange(false);
  }
}

void TreePart::Clear() {
  QTreeWidget* tree = Tree();
  if (!tree) return;
  quiet_ = true;
  tree->clear();
  quiet_ = false;
}

void TreePart::SelectIndex(long long index) {
  QTreeWidget* tree = Tree();
  if (index < 0) return;
  long long i = 0;
  for (QTreeWidgetItemIterator it(tree); *it; ++it, ++i) {
    if (i != index) continue;
    tree->setCurrentItem(*it);
    return;
  }
}

void TreePart::SetEditing(bool on) {
  editing_ = on;
  QTreeWidget* tree = Tree();
  tree->setEditTriggers(on ? QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                           : QAbstractItemView::NoEditTriggers);
}

std::vector<QWidget*> TreePart::EventWidgets() const {
  QTreeWidget* tree = Tree();
  if (!tree) return {};
  return {tree, tree->viewport()};
}

std::optional<expr::Value> TreePart::Read(PropertyCall& call) {
  QTreeWidget* tree = Tree();
  if (!tree) return std::nullopt;
  switch (call.property) {
    case kPropItems: {
      std::string text;
      for (const std::string& path : Paths()) text += path + "\r\n";
      return text_value(text);
    }
    case kPropSelectedText: {
      QTreeWidgetItem* node = tree->currentItem();
      return text_value(node ? from_qstring(node->text(0)) : std::string());
    }
    case kPropSelStart: {
      long long i = 0;
      for (QTreeWidgetItemIterator it(tree); *it; ++it, ++i)
        if (*it == tree->currentItem()) return number_value(i);
      return number_value(-1);
    }
    case kPropEditing:
      return number_value(editing_ ? 1 : 0);
    default:
      return std::nullopt;
  }
}

bool TreePart::Write(PropertyCall& call, const std::string& value) {
  QTreeWidget* tree = Tree();
  if (!tree) return false;
  switch (call.property) {
    case kPropItems:
      quiet_ = true;
      tree->clear();
      AddPaths(value);
      quiet_ = false;
      return true;
    case kPropSelectedText:
      if (QTreeWidgetItem* node = tree->currentItem()) node->setText(0, to_qstring(value));
      return true;
    case kPropSelStart:
      SelectIndex(number_of(value, -1));
      return true;
    case kPropEditing:
      SetEditing(number_of(value) >= 1);
      return true;
    default:
      return false;
  }
}

void register_list_kinds(KindTable& table) {
  table[kCombo] = make_kind<ComboPart>;
  table[kList] = make_kind<ListPart>;
  table[kGrid] = make_kind<GridPart>;
  table[kTree] = make_kind<TreePart>;
}

}  // namespace morivel::gui
