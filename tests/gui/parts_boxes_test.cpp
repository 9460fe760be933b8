// GUI tests of the box-like parts: buttons, labels, check boxes, radio groups, panels, scroll
// boxes, tab pages and splitters, driven from scripts and with the mouse.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "engine/interpreter.h"
#include "gui/front_end.h"
#include "gui/part_registry.h"
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

// The management number a part's word carries, or -1.
int number_of_part(GuiRun& run, const char* name) {
  words::THashNode* word = run.interpreter().FindWord(text::sjis(name));
  return word ? word->Tag : -1;
}

}  // namespace

class PartsBoxesTest : public QObject {
  Q_OBJECT

 private slots:
  // Any error dialog is dismissed at once (ending the run) and fails the test.
  void init() { errors_ = std::make_unique<ModalDriver>(QList<testing::Answer>{}); }
  void cleanup() {
    for (const testing::SeenDialog& seen : errors_->Seen()) qWarning() << seen.text;
    QVERIFY(errors_->Seen().empty());
  }

  void buttonCaptionClickAndEventObject();
  void buttonDestroysItselfFromItsClick();
  void buttonCaptionWidensAndColourKeepsThePart();
  void geometryRightSideSizeAndBackColour();
  void labelFitsTextAndCheckReportsState();
  void radioGroupSelection();
  void tabPagesFromLines();
  void containersTakeParts();
  void splitterDragMovesNeighbours();

 private:
  std::unique_ptr<ModalDriver> errors_;
};

void PartsBoxesTest::buttonCaptionClickAndEventObject() {
  GuiRun run;
  run.Run(
      "押元=「」\n"
      "押数=0\n"
      "「OKボタン」をボタンとして作成\n"
      "「ボタン」をボタンとして作成\n"
      "OKボタンのイベントは「押下」\n"
      "見出し=OKボタンのテキスト\n"
      "待機\n"
      "*押下\n"
      "押数=押数+1\n"
      "押元=イベントオブジェクトの名前\n"
      "戻る\n");
  auto* ok = control<QPushButton>(run, "OKボタン");
  QVERIFY(ok);
  QCOMPARE(ok->text(), u("OK"));
  QCOMPARE(run.Value("見出し"), u("OK"));
  QCOMPARE(control<QPushButton>(run, "ボタン")->text(), u("ボタン"));
  QCOMPARE(run.Value("押数"), u("0"));

  QTest::mouseClick(ok, Qt::LeftButton);
  QCOMPARE(run.Value("押数"), u("1"));
  QCOMPARE(run.Value("押元"), u("OKボタン"));
  // A click on another button runs nothing: its event is unbound.
  QTest::mouseClick(control<QPushButton>(run, "ボタン"), Qt::LeftButton);
  QCOMPARE(run.Value("押数"), u("1"));
}

void PartsBoxesTest::buttonDestroysItselfFromItsClick() {
  GuiRun run;
  run.Run(
      "「消えるボタン」をボタンとして作成\n"
      "消えるボタンのクリックした時は「消す」\n"
      "待機\n"
      "*消す\n"
      "消えるボタンを部品破壊\n"
      "「後ボタン」をボタンとして作成\n"
      "戻る\n");
  QPointer<QPushButton> button = control<QPushButton>(run, "消えるボタン");
  QVERIFY(button);
  int before = number_of_part(run, "消えるボタン");

  QTest::mouseClick(button, Qt::LeftButton);
  QVERIFY(!run.interpreter().FindWord(text::sjis("消えるボタン")));
  QVERIFY(number_of_part(run, "後ボタン") > before);
  // The control goes once its own click is over, not inside it.
  QTRY_VERIFY_WITH_TIMEOUT(button.isNull(), testing::kDeadlineMs);
  QVERIFY(control<QPushButton>(run, "後ボタン")->isVisible());
}

void PartsBoxesTest::buttonCaptionWidensAndColourKeepsThePart() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "「押す」をボタンとして作成\n"
      "押すのクリックした時は「押下」\n"
      "元幅=押すの幅\n"
      "押すのテキストは「とても長い見出しのボタンになりました」\n"
      "押すのフォント色は「#0000FF」\n"
      "字色=押すのフォント色\n"
      "待機\n"
      "*押下\n"
      "押数=押数+1\n"
      "戻る\n");
  auto* button = control<QPushButton>(run, "押す");
  QVERIFY(button);
  QCOMPARE(run.Value("元幅"), u("75"));
  int caption = button->fontMetrics().horizontalAdvance(u("とても長い見出しのボタンになりました"));
  QCOMPARE(button->width(), caption + 10);
  QCOMPARE(run.Value("字色"), u("16711680"));
  QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(0, 0, 255));
  // Still the same part under the same number, and its click still runs.
  QCOMPARE(number_of_part(run, "押す"), 1);
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(run.Value("押数"), u("1"));
}

void PartsBoxesTest::geometryRightSideSizeAndBackColour() {
  GuiRun run;
  run.Run(
      "(10,10)に「甲」をボタンとして作成\n"
      "甲の幅は100\n"
      "右=甲の右側\n"
      "甲のサイズは「(10,10,110,40)」\n"
      "甲幅=甲の幅\n"
      "甲高=甲の高さ\n"
      "「乙」をボタンとして作成\n"
      "乙Y=乙のY\n"
      "甲の背景色は「#FF0000」\n"
      "背色=甲の背景色\n");
  QCOMPARE(run.Value("右"), u("(118,10)"));
  QCOMPARE(run.Value("甲幅"), u("100"));
  QCOMPARE(run.Value("甲高"), u("30"));
  QCOMPARE(run.Value("乙Y"), u("48"));
  QCOMPARE(run.Value("背色"), u("255"));
}

void PartsBoxesTest::labelFitsTextAndCheckReportsState() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "「名札ラベル」をラベルとして作成\n"
      "初文字=名札ラベルのテキスト\n"
      "初透過=名札ラベルの透過処理\n"
      "名札ラベルのテキストは「ずっと長くなった名札の文字」\n"
      "名札ラベルの透過処理は0\n"
      "「確認チェック」をチェックとして作成\n"
      "確認チェックのクリックした時は「押下」\n"
      "初値=確認チェックの値\n"
      "確認チェックの値は1\n"
      "後値=確認チェックの値\n"
      "待機\n"
      "*押下\n"
      "押数=押数+1\n"
      "戻る\n");
  auto* label = control<QLabel>(run, "名札ラベル");
  QVERIFY(label);
  QCOMPARE(run.Value("初文字"), u("名札"));
  QCOMPARE(run.Value("初透過"), u("1"));
  QCOMPARE(label->text(), u("ずっと長くなった名札の文字"));
  QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
  QVERIFY(label->autoFillBackground());

  auto* check = control<QCheckBox>(run, "確認チェック");
  QCOMPARE(check->text(), u("確認"));
  QCOMPARE(run.Value("初値"), u("0"));
  QCOMPARE(run.Value("後値"), u("1"));
  // The script's own tick counted as a click; the user's untick is the second.
  QCOMPARE(run.Value("押数"), u("1"));
  QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
  QVERIFY(!check->isChecked());
  QCOMPARE(run.Value("押数"), u("2"));

  // Destroyed parts lose their captions before they go (the controls themselves go later).
  run.session().Front().Parts().Destroy(run.interpreter(), text::sjis("名札ラベル"));
  run.session().Front().Parts().Destroy(run.interpreter(), text::sjis("確認チェック"));
  QCOMPARE(label->text(), QString());
  QCOMPARE(check->text(), QString());
  QVERIFY(!label->isVisible());
}

void PartsBoxesTest::radioGroupSelection() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "選んだ=「」\n"
      "「配色」をラジオとして作成\n"
      "無選択=配色の値\n"
      "無文字=配色のテキスト\n"
      "配色のアイテムは「赤\\n青\\n緑」\n"
      "配色のクリックした時は「選択」\n"
      "配色の値は1\n"
      "値一=配色の値\n"
      "文字一=配色のテキスト\n"
      "配色のテキストは「紺」\n"
      "項目=配色のアイテム\n"
      "配色の値は7\n"
      "範囲外=配色の値\n"
      "待機\n"
      "*選択\n"
      "押数=押数+1\n"
      "選んだ=配色のテキスト\n"
      "戻る\n");
  QCOMPARE(run.Value("無選択"), u("-1"));
  QCOMPARE(run.Value("無文字"), QString());
  QCOMPARE(run.Value("値一"), u("1"));
  QCOMPARE(run.Value("文字一"), u("青"));
  QCOMPARE(run.Value("項目"), u("赤\r\n紺\r\n緑\r\n"));
  QCOMPARE(run.Value("範囲外"), u("1"));
  QCOMPARE(run.Value("押数"), u("1"));

  auto* group = control<QGroupBox>(run, "配色");
  QVERIFY(group);
  QList<QRadioButton*> choices = group->findChildren<QRadioButton*>();
  QCOMPARE(choices.size(), 3);
  QRadioButton* green = choices.at(2);
  QCOMPARE(green->text(), u("緑"));
  QTest::mouseClick(green, Qt::LeftButton, {}, QPoint(5, green->height() / 2));
  QCOMPARE(run.Value("押数"), u("2"));
  QCOMPARE(run.Value("選んだ"), u("緑"));
}

void PartsBoxesTest::tabPagesFromLines() {
  GuiRun run;
  run.Run(
      "替数=0\n"
      "「頁」をタブページとして作成\n"
      "頁のテキストは「一\\n二\\n三」\n"
      "頁の変更した時は「替わった」\n"
      "頁の値は2\n"
      "値読み=頁の値\n"
      "三枚=頁のテキスト\n"
      "頁のテキストは「壱\\n弐」\n"
      "二枚=頁のテキスト\n"
      "後値=頁の値\n"
      "頁の折り返しは1\n"
      "折=頁の折り返し\n"
      "待機\n"
      "*替わった\n"
      "替数=替数+1\n"
      "戻る\n");
  auto* tabs = control<QTabWidget>(run, "頁");
  QVERIFY(tabs);
  QCOMPARE(run.Value("値読み"), u("2"));
  QCOMPARE(run.Value("三枚"), u("一\r\n二\r\n三\r\n"));
  QCOMPARE(run.Value("二枚"), u("壱\r\n弐\r\n"));
  QCOMPARE(tabs->count(), 2);
  QCOMPARE(run.Value("後値"), u("1"));
  QCOMPARE(run.Value("折"), u("1"));
  // Pages the script switches or rebuilds are no change; the user's switch is.
  QCOMPARE(run.Value("替数"), u("0"));
  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
  QCOMPARE(tabs->currentIndex(), 0);
  QCOMPARE(run.Value("替数"), u("1"));
}

void PartsBoxesTest::containersTakeParts() {
  GuiRun run;
  run.Run(
      "押数=0\n"
      "「板」をパネルとして作成\n"
      "板のテキストは「見出し」\n"
      "板文字=板のテキスト\n"
      "板のスタイルは1\n"
      "板様式=板のスタイル\n"
      "「載ボタン」をボタンとして作成\n"
      "載ボタンを板へ乗せる\n"
      "板中身=板のアイテム\n"
      "「巻」をスクロールとして作成\n"
      "巻のマウス押した時は「押下」\n"
      "(500,400)に「遠ボタン」をボタンとして作成\n"
      "遠ボタンを巻へ乗せる\n"
      "巻中身=巻のアイテム\n"
      "「頁」をタブページとして作成\n"
      "頁のテキストは「一\\n二」\n"
      "頁の値は1\n"
      "「札ボタン」をボタンとして作成\n"
      "札ボタンを頁へ乗せる\n"
      "頁中身=頁のアイテム\n"
      "待機\n"
      "*押下\n"
      "押数=押数+1\n"
      "戻る\n");
  QCOMPARE(run.Value("板文字"), u("見出し"));
  QCOMPARE(run.Value("板様式"), u("1"));
  QCOMPARE(run.Value("板中身"), u("載ボタン\r\n"));
  QCOMPARE(run.Widget("載ボタン")->parentWidget(), run.Widget("板"));

  auto* scroll = control<QScrollArea>(run, "巻");
  QVERIFY(scroll);
  QCOMPARE(scroll->size(), QSize(300, 200));
  QCOMPARE(run.Value("巻中身"), u("遠ボタン\r\n"));
  QCOMPARE(run.Widget("遠ボタン")->parentWidget(), scroll->widget());
  // The far button makes the box scroll.
  QVERIFY(scroll->horizontalScrollBar()->maximum() > 0);
  QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
  // A press on the box reaches its bound event once, whether it lands on the viewport or on
  // the scrolled widget inside it.
  QTest::mouseClick(scroll->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  QCOMPARE(run.Value("押数"), u("1"));
  QTest::mouseClick(scroll->widget(), Qt::LeftButton, {}, QPoint(20, 20));
  QCOMPARE(run.Value("押数"), u("2"));

  auto* tabs = control<QTabWidget>(run, "頁");
  QCOMPARE(run.Value("頁中身"), u("札ボタン\r\n"));
  QCOMPARE(run.Widget("札ボタン")->parentWidget(), tabs->widget(1));
}

void PartsBoxesTest::splitterDragMovesNeighbours() {
  GuiRun run;
  run.Run(
      "動き=「」\n"
      "(0,0)に「左板」をパネルとして作成\n"
      "左板のサイズは「(0,0,100,100)」\n"
      "(100,0)に「仕切り」をスプリッターとして作成\n"
      "仕切りのサイズは「(100,0,105,100)」\n"
      "(105,0)に「右板」をパネルとして作成\n"
      "右板のサイズは「(105,0,205,100)」\n"
      "仕切りの変更した時は「動いた」\n"
      "待機\n"
      "*動いた\n"
      "動き=仕切りのX\n"
      "戻る\n");
  QWidget* bar = run.Widget("仕切り");
  QVERIFY(bar);
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 50));
  QTest::mouseMove(bar, QPoint(22, 50));
  QCOMPARE(run.Value("動き"), QString());  // the change comes with the release
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2, 50));
  QCOMPARE(run.Value("動き"), u("120"));
  QCOMPARE(run.Widget("左板")->width(), 120);
  QCOMPARE(run.Widget("右板")->geometry(), QRect(125, 0, 80, 100));

  // Dragging far left stops where the left neighbour keeps its minimum width.
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 50));
  QTest::mouseMove(bar, QPoint(-200, 50));
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2, 50));
  QCOMPARE(run.Widget("左板")->width(), 30);
  QCOMPARE(bar->x(), 30);
  QCOMPARE(run.Widget("右板")->geometry(), QRect(35, 0, 170, 100));
}

QTEST_MAIN(PartsBoxesTest)
#include "parts_boxes_test.moc"
