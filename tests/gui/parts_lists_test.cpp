// GUI tests of the list-like parts: combo boxes, lists, grids and trees, driven from scripts,
// the mouse and the keys.
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include "engine/interpreter.h"
#include "gui/front_end.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::ModalDriver;
using morivel::testing::u;

namespace {

template <class W>
W* control(GuiRun& run, const char* name) {
  return run.Control<W>(name);
}

gui::PartRegistry& parts(GuiRun& run) {
  return run.session().Front().Parts();
}

words::THashNode& part_word(GuiRun& run, const char* name) {
  words::THashNode* word = run.interpreter().FindWord(text::sjis(name));
  if (!word) qFatal("no part %s", name);
  return *word;
}

// Property access from C++, for values that a script literal cannot spell easily.
void write(GuiRun& run, const char* part, const char* property, const std::string& sjis) {
  run.WriteProperty(part, property, sjis);
}

std::string read(GuiRun& run, const char* part, const char* property) {
  return run.ReadProperty(part, property);
}

void destroy(GuiRun& run, const char* part) {
  parts(run).Destroy(run.interpreter(), text::sjis(part));
}

QPoint centre_of(QListWidget& list, int row) {
  return list.visualItemRect(list.item(row)).center();
}

}  // namespace

class PartsListsTest : public QObject {
  Q_OBJECT

 private slots:
  // Any error dialog is dismissed at once (ending the run) and fails the test.
  void init() { errors_ = std::make_unique<ModalDriver>(QList<testing::Answer>{}); }
  void cleanup() {
    for (const testing::SeenDialog& seen : errors_->Seen()) qWarning() << seen.text;
    QVERIFY(errors_->Seen().empty());
  }

  void comboItemsValueAndText();
  void comboEditSelectionCountsBytes();
  void comboChoiceIsClickThenChange();
  void listSelectionAndText();
  void listMultiSelectTextLines();
  void listClicksSortAndDrops();
  void gridCsvRoundTrip();
  void gridCurrentCellAndEditing();
  void treePathsAndSelection();
  void treeClickAndChangeSetEventValue();
  void itemViewsReportMouseOnce();

 private:
  std::unique_ptr<ModalDriver> errors_;
};

void PartsListsTest::comboItemsValueAndText() {
  GuiRun run;
  run.Run(
      "「選ぶ」をコンボとして作成\n"
      "選ぶのアイテムは「梨\\n柿\\n桃」\n"
      "初値=選ぶの値\n"
      "選ぶの値は1\n"
      "値一=選ぶのテキスト\n"
      "選ぶの値は3\n"
      "範囲外=選ぶの値\n"
      "選ぶのテキストは「自由な文字」\n"
      "自由=選ぶのテキスト\n"
      "初編集=選ぶの編集\n"
      "選ぶの編集は0\n"
      "後編集=選ぶの編集\n"
      "選ぶのテキストは「桃」\n"
      "桃値=選ぶの値\n"
      "選ぶのソートは1\n"
      "並び=選ぶのアイテム\n"
      "選ぶのIMEは2\n"
      "入力=選ぶのIME\n");
  auto* combo = control<QComboBox>(run, "選ぶ");
  QVERIFY(combo);
  QCOMPARE(combo->size(), QSize(145, 21));
  QCOMPARE(run.Value("初値"), u("-1"));
  QCOMPARE(run.Value("値一"), u("柿"));
  QCOMPARE(run.Value("範囲外"), u("1"));
  QCOMPARE(run.Value("自由"), u("自由な文字"));
  QCOMPARE(run.Value("初編集"), u("1"));
  QCOMPARE(run.Value("後編集"), u("0"));
  QVERIFY(!combo->isEditable());
  QCOMPARE(run.Value("桃値"), u("2"));
  QCOMPARE(run.Value("入力"), u("2"));
  // Sorting keeps the chosen item chosen.
  QCOMPARE(combo->currentText(), u("桃"));
  QStringList sorted{u("柿"), u("桃"), u("梨")};
  std::sort(sorted.begin(), sorted.end());
  QCOMPARE(run.Value("並び"), sorted.join(u("\r\n")) + u("\r\n"));

  destroy(run, "選ぶ");
  QCOMPARE(combo->count(), 0);
}

void PartsListsTest::comboEditSelectionCountsBytes() {
  GuiRun run;
  run.Run(
      "「入力欄」をコンボとして作成\n"
      "入力欄のテキストは「あいうabc」\n"
      "入力欄の選択位置は4\n"
      "入力欄の選択文字数は4\n"
      "位置=入力欄の選択位置\n"
      "字数=入力欄の選択文字数\n"
      "選択=入力欄の選択文字列\n");
  QCOMPARE(run.Value("位置"), u("4"));
  QCOMPARE(run.Value("字数"), u("4"));
  QCOMPARE(run.Value("選択"), u("うab"));
  write(run, "入力欄", "選択文字列", "X");
  QCOMPARE(gui::to_qstring(read(run, "入力欄", "テキスト")), u("あいXc"));
}

void PartsListsTest::comboChoiceIsClickThenChange() {
  GuiRun run;
  run.Run(
      "順=「」\n"
      "「選ぶ」をコンボとして作成\n"
      "選ぶのアイテムは「梨\\n柿」\n"
      "選ぶのクリックした時は「押」\n"
      "選ぶの変更した時は「変」\n"
      "選ぶのキー押した時は「鍵」\n"
      "待機\n"
      "*押\n"
      "順=順&「押」\n"
      "戻る\n"
      "*変\n"
      "順=順&「変」&選ぶのテキスト\n"
      "戻る\n"
      "*鍵\n"
      "順=順&「鍵」&押されたキー\n"
      "戻る\n");
  auto* combo = control<QComboBox>(run, "選ぶ");
  // Writing items and texts from the script is quiet.
  QCOMPARE(run.Value("順"), QString());
  QTest::keyClick(combo, Qt::Key_Down);
  QCOMPARE(run.Value("順"), u("鍵40押変梨"));
  part_word(run, "順").SetValue("");
  // Typing in the edit field is a change, and every key is heard once.
  QTest::keyClick(combo->lineEdit(), Qt::Key_Q);
  QCOMPARE(run.Value("順"), u("鍵81変梨q"));
}

void PartsListsTest::listSelectionAndText() {
  GuiRun run;
  run.Run(
      "「一覧」をリストとして作成\n"
      "一覧のアイテムは「a\\nb\\nc」\n"
      "無値=一覧の値\n"
      "無文字=一覧のテキスト\n"
      "一覧のテキストは「無視」\n"
      "一覧の値は1\n"
      "値=一覧の値\n"
      "選文字=一覧のテキスト\n"
      "一覧のテキストは「B」\n"
      "一覧の選択文字列は「BB」\n"
      "選択=一覧の選択文字列\n"
      "項目=一覧のアイテム\n");
  auto* list = control<QListWidget>(run, "一覧");
  QVERIFY(list);
  QCOMPARE(list->size(), QSize(121, 97));
  QCOMPARE(run.Value("無値"), u("-1"));
  QCOMPARE(run.Value("無文字"), QString());
  QCOMPARE(run.Value("値"), u("1"));
  QCOMPARE(run.Value("選文字"), u("b"));
  QCOMPARE(run.Value("選択"), u("BB"));
  QCOMPARE(run.Value("項目"), u("a\r\nBB\r\nc\r\n"));

  destroy(run, "一覧");
  QCOMPARE(list->count(), 0);
}

void PartsListsTest::listMultiSelectTextLines() {
  GuiRun run;
  run.Run(
      "「一覧」をリストとして作成\n"
      "一覧のアイテムは「甲\\n乙\\n丙」\n"
      "一覧の複数選択は1\n"
      "複=一覧の複数選択\n");
  QCOMPARE(run.Value("複"), u("1"));
  auto* list = control<QListWidget>(run, "一覧");
  list->item(0)->setSelected(true);
  list->item(2)->setSelected(true);
  QCOMPARE(gui::to_qstring(read(run, "一覧", "テキスト")), u("甲\r\n丙\r\n"));
  write(run, "一覧", "複数選択", "0");
  QCOMPARE(read(run, "一覧", "複数選択"), std::string("0"));
  QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
}

void PartsListsTest::listClicksSortAndDrops() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "押値=「」\n"
      "「一覧」をリストとして作成\n"
      "一覧のアイテムは「b\\nC\\na」\n"
      "一覧のクリックした時は「押」\n"
      "一覧の値は0\n"
      "一覧のソートは1\n"
      "並び=一覧のアイテム\n"
      "待機\n"
      "*押\n"
      "押数=押数+1\n"
      "押値=一覧のテキスト\n"
      "戻る\n");
  // Sorting ignores case; the script's own selection is no click.
  QCOMPARE(run.Value("並び"), u("a\r\nb\r\nC\r\n"));
  QCOMPARE(run.Value("押数"), u("0"));
  auto* list = control<QListWidget>(run, "一覧");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre_of(*list, 2));
  QCOMPARE(run.Value("押数"), u("1"));
  QCOMPARE(run.Value("押値"), u("C"));
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);
  QCOMPARE(run.Value("押数"), u("2"));
  QCOMPARE(run.Value("押値"), u("b"));

  // Files dropped without a bound drop event become items, kept in order.
  gui::PartRegistry& registry = parts(run);
  registry.DeliverDrop(part_word(run, "一覧").Tag, text::sjis("/tmp/z.txt\r\n/tmp/B.txt"));
  QCOMPARE(gui::to_qstring(read(run, "一覧", "アイテム")),
           u("/tmp/B.txt\r\n/tmp/z.txt\r\na\r\nb\r\nC\r\n"));
}

void PartsListsTest::gridCsvRoundTrip() {
  GuiRun run;
  run.Run("「表」をグリッドとして作成\n初期=表のテキスト\n");
  QCOMPARE(run.Value("初期"), u(",,,,\r\n,,,,\r\n,,,,\r\n,,,,\r\n,,,,\r\n"));
  auto* table = control<QTableWidget>(run, "表");
  QCOMPARE(table->size(), QSize(320, 120));

  // Quotes, commas, a line break inside a cell, empty cells and 表 (whose second byte is "\").
  const std::string csv = text::sjis(
      "名前,町,点\r\n"
      "\"山田,太郎\",\"表\"\"示\",10\r\n"
      ",\"二\r\n行\",\r\n"
      "予,表,\r\n");
  write(run, "表", "テキスト", csv);
  QCOMPARE(read(run, "表", "テキスト"), csv);
  QCOMPARE(read(run, "表", "アイテム"), csv);
  // The first row is the fixed row at the top; the others are the cells under it.
  QCOMPARE(table->columnCount(), 3);
  QCOMPARE(table->rowCount(), 3);
  QCOMPARE(table->horizontalHeaderItem(1)->text(), u("町"));
  QCOMPARE(table->item(0, 0)->text(), u("山田,太郎"));
  QCOMPARE(table->item(1, 1)->text(), u("二\r\n行"));

  write(run, "表", "アイテム", text::sjis("見出しだけ\r\n"));
  QCOMPARE(read(run, "表", "テキスト"), text::sjis("見出しだけ\r\n"));
  write(run, "表", "テキスト", "");
  QCOMPARE(read(run, "表", "テキスト"), std::string());
}

void PartsListsTest::gridCurrentCellAndEditing() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "「表」をグリッドとして作成\n"
      "表のテキストは「a,b,c\\n1,2,3\\n4,5,6\\n7,8,9」\n"
      "表のクリックした時は「押」\n"
      "初行=表の行\n"
      "表の値は0\n"
      "零行=表の値\n"
      "表の値は3\n"
      "三行=表の行\n"
      "表の値は4\n"
      "範囲外=表の値\n"
      "表の列は2\n"
      "列=表の列\n"
      "初編集=表の編集\n"
      "表の編集は1\n"
      "後編集=表の編集\n"
      "待機\n"
      "*押\n"
      "押数=押数+1\n"
      "戻る\n");
  QCOMPARE(run.Value("初行"), u("1"));
  QCOMPARE(run.Value("零行"), u("1"));
  QCOMPARE(run.Value("三行"), u("3"));
  QCOMPARE(run.Value("範囲外"), u("3"));
  QCOMPARE(run.Value("列"), u("2"));
  QCOMPARE(run.Value("初編集"), u("0"));
  QCOMPARE(run.Value("後編集"), u("1"));
  // Moving to row 3 and to column 2 were new current cells; row 1 was already current.
  QCOMPARE(run.Value("押数"), u("2"));
  auto* table = control<QTableWidget>(run, "表");
  QCOMPARE(table->currentItem()->text(), u("9"));
  QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectItems);
  QVERIFY(table->editTriggers() != QAbstractItemView::NoEditTriggers);
  write(run, "表", "編集", "0");
  QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
  QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);

  // Sort mode: a click on a column title of the fixed row sorts the rows under it.
  write(run, "表", "ソート", "1");
  QHeaderView* header = table->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  QCOMPARE(read(run, "表", "テキスト"), std::string("a,b,c\r\n1,2,3\r\n4,5,6\r\n7,8,9\r\n"));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  QCOMPARE(read(run, "表", "テキスト"), std::string("a,b,c\r\n7,8,9\r\n4,5,6\r\n1,2,3\r\n"));

  destroy(run, "表");
  QCOMPARE(table->rowCount(), 0);
}

void PartsListsTest::treePathsAndSelection() {
  GuiRun run;
  run.Run("「木」をツリーとして作成\n");
  auto* tree = control<QTreeWidget>(run, "木");
  QVERIFY(tree);
  QCOMPARE(read(run, "木", "選択位置"), std::string("-1"));
  // A line that names an existing node adds nothing; 表's second byte is no separator.
  write(run, "木", "アイテム", text::sjis("a\\b\r\na\\c\r\n表\\示\\深い\r\na"));
  QCOMPARE(gui::to_qstring(read(run, "木", "アイテム")),
           u("a\r\na\\b\r\na\\c\r\n表\r\n表\\示\r\n表\\示\\深い\r\n"));
  QCOMPARE(tree->topLevelItemCount(), 2);
  QCOMPARE(tree->topLevelItem(0)->childCount(), 2);

  write(run, "木", "選択位置", "3");
  QCOMPARE(read(run, "木", "選択位置"), std::string("3"));
  QCOMPARE(gui::to_qstring(read(run, "木", "選択文字列")), u("表"));
  write(run, "木", "選択文字列", text::sjis("表示"));
  QCOMPARE(gui::to_qstring(read(run, "木", "アイテム")),
           u("a\r\na\\b\r\na\\c\r\n表示\r\n表示\\示\r\n表示\\示\\深い\r\n"));
  write(run, "木", "選択位置", "99");
  QCOMPARE(read(run, "木", "選択位置"), std::string("3"));

  QCOMPARE(read(run, "木", "編集"), std::string("1"));
  write(run, "木", "編集", "0");
  QCOMPARE(read(run, "木", "編集"), std::string("0"));
  QCOMPARE(tree->editTriggers(), QAbstractItemView::NoEditTriggers);

  // Rewriting the items rebuilds the tree from nothing.
  write(run, "木", "アイテム", text::sjis("x\\y"));
  QCOMPARE(read(run, "木", "アイテム"), std::string("x\r\nx\\y\r\n"));
  QCOMPARE(read(run, "木", "選択位置"), std::string("-1"));
}

void PartsListsTest::treeClickAndChangeSetEventValue() {
  GuiRun run;
  run.Run(
      "順=「」\n"
      "「木」をツリーとして作成\n"
      "木のイベントは「押」\n"
      "木の変更した時は「変」\n"
      "待機\n"
      "*押\n"
      "順=順&「押:」&イベントの値&「;」\n"
      "戻る\n"
      "*変\n"
      "順=順&「変:」&イベントの値&「;」\n"
      "戻る\n");
  write(run, "木", "アイテム", text::sjis("親\\子"));
  QCOMPARE(run.Value("順"), QString());  // the script's rebuild is no change
  auto* tree = control<QTreeWidget>(run, "木");
  tree->expandAll();
  QTreeWidgetItem* child = tree->topLevelItem(0)->child(0);
  QPoint at = tree->visualItemRect(child).center();
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
  QCOMPARE(run.Value("順"), u("変:親\\子;押:親\\子;"));

  // A caption edited by the user shows in the path list at once.
  child->setText(0, u("孫"));
  QCOMPARE(gui::to_qstring(read(run, "木", "アイテム")), u("親\r\n親\\孫\r\n"));
}

void PartsListsTest::itemViewsReportMouseOnce() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "「一覧」をリストとして作成\n"
      "一覧のアイテムは「a\\nb」\n"
      "一覧のマウス押した時は「押」\n"
      "「表」をグリッドとして作成\n"
      "表のマウス押した時は「押」\n"
      "「木」をツリーとして作成\n"
      "木のアイテムは「a」\n"
      "木のマウス押した時は「押」\n"
      "位置=「」\n"
      "待機\n"
      "*押\n"
      "押数=押数+1\n"
      "位置=マウスX&「,」&マウスY\n"
      "戻る\n");
  auto* list = control<QListWidget>(run, "一覧");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre_of(*list, 1));
  QCOMPARE(run.Value("押数"), u("1"));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(50, 80));  // below the items
  QCOMPARE(run.Value("押数"), u("2"));
  QCOMPARE(run.Value("位置"), u("50,80"));
  auto* table = control<QTableWidget>(run, "表");
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(run.Value("押数"), u("3"));
  auto* tree = control<QTreeWidget>(run, "木");
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(60, 80));
  QCOMPARE(run.Value("押数"), u("4"));
}

QTEST_MAIN(PartsListsTest)
#include "parts_lists_test.moc"
