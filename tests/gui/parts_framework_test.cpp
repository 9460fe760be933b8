// GUI tests of the part framework: forms, menus, event binding and firing, destruction from a
// part's own event, forms as dialogs, the common properties and their errors.
#include <QAction>
#include <QtTest>

#include "gui/canvas.h"
#include "gui/kinds/form_part.h"
#include "gui/part_registry.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::kDeadlineMs;
using morivel::testing::u;

namespace {

gui::FormPart* form_of(GuiRun& run, const char* name) {
  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis(name));
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  return node ? dynamic_cast<gui::FormPart*>(parts.PartOf(*node)) : nullptr;
}

QAction* menu_action(GuiRun& run, const char* name) {
  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis(name));
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  auto* item = node ? dynamic_cast<gui::MenuPart*>(parts.PartOf(*node)) : nullptr;
  return item ? item->Action() : nullptr;
}

QString error_log(GuiRun& run) {
  return gui::to_qstring(run.interpreter().ErrorLog());
}

}  // namespace

class PartsFrameworkTest : public QObject {
  Q_OBJECT

 private slots:
  void formPropertiesReadBack();
  void mouseEventsSetVariablesAndRunBoundCode();
  void emptyBindingUnbindsAndVariablesAreRefused();
  void readingEventRunsTheMainSlot();
  void partDestroysItselfFromItsOwnClick();
  void dialogFormSuspendsTheScriptUntilClosed();
  void eventDuringWaitInterruptsAndReturns();
  void menusTakeCaptionsAndFireClicks();
  void propertyErrorsUseTheirMessages();
  void makeByNameFindAndSetGet();
  void mainWindowPictureCarriesItsEvents();
  void alignedPartsStackAlongTheirEdges();
  void eventsLeaveNoLocalScopesBehind();
  void hugeSizesKeepThePictureBounded();
};

void PartsFrameworkTest::formPropertiesReadBack() {
  GuiRun run;
  run.Run(
      "(100,50)に「窓フォーム」をフォームとして作成\n"
      "窓フォームの幅は200\n"
      "窓フォームの高さは150\n"
      "題=窓フォームのタイトル\n"
      "窓フォームのタイトルは「新しい題」\n"
      "幅=窓フォームの幅\n"
      "高さ=窓フォームの高さ\n"
      "題2=窓フォームのタイトル\n"
      "種類=窓フォームの種類\n"
      "名前=窓フォームの名前\n"
      "窓フォームのポケットは「袋の中」\n"
      "袋=窓フォームのポケット\n"
      "そ名=そのタイトル\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("題"), u("窓"));  // the caption rule drops the kind name
  QCOMPARE(run.Value("幅"), u("200"));
  QCOMPARE(run.Value("高さ"), u("150"));
  QCOMPARE(run.Value("題2"), u("新しい題"));
  QCOMPARE(run.Value("種類"), u("フォーム"));
  QCOMPARE(run.Value("名前"), u("窓フォーム"));
  QCOMPARE(run.Value("袋"), u("袋の中"));
  QCOMPARE(run.Value("そ名"), u("新しい題"));
  gui::FormPart* form = form_of(run, "窓フォーム");
  QVERIFY(form);
  QCOMPARE(form->ClientSize(), QSize(200, 150));
  // The form's picture follows its client size.
  QTRY_COMPARE_WITH_TIMEOUT(form->Img().Image().size(), QSize(200, 150), kDeadlineMs);
}

void PartsFrameworkTest::mouseEventsSetVariablesAndRunBoundCode() {
  GuiRun run;
  run.Run(
      "「F」をフォームとして作成\n"
      "Fのマウス押した時は、押した\n"
      "Fのクリックした時は「結果=イベントオブジェクトの名前」\n"
      "待機\n"
      "*押した\n"
      "X=マウスX\n"
      "Y=マウスY\n"
      "特殊=押された特殊キー\n"
      "戻る\n");
  gui::FormPart* form = form_of(run, "F");
  QVERIFY(form);
  QTest::mouseClick(&form->Img(), Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
  QCOMPARE(run.Value("X"), u("30"));
  QCOMPARE(run.Value("Y"), u("40"));
  QCOMPARE(run.Value("特殊"), u("Shift\r\nLeft"));
  QCOMPARE(run.Value("結果"), u("F"));
  QCOMPARE(error_log(run), QString());
}

void PartsFrameworkTest::emptyBindingUnbindsAndVariablesAreRefused() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「F」をフォームとして作成\n"
      "数=0\n"
      "Fのクリックした時は「数=数+1」\n"
      "待機\n");
  gui::FormPart* form = form_of(run, "F");
  QVERIFY(form);
  QTest::mouseClick(&form->Img(), Qt::LeftButton, {}, QPoint(5, 5));
  QCOMPARE(run.Value("数"), u("1"));

  run.Run(
      "「G」をフォームとして作成\n"
      "数=0\n"
      "Gのクリックした時は「数=数+1」\n"
      "Gのクリックした時は「」\n"
      "待機\n");
  gui::FormPart* g = form_of(run, "G");
  QTest::mouseClick(&g->Img(), Qt::LeftButton, {}, QPoint(5, 5));
  QCOMPARE(run.Value("数"), u("0"));

  run.Run(
      "「H」をフォームとして作成\n"
      "変数=1\n"
      "Hのクリックした時は、変数\n");
  QVERIFY2(error_log(run).contains(
               u("計算式に誤りがあります。イベントに変数を設定することは出来ません。")),
           qPrintable(error_log(run)));
}

void PartsFrameworkTest::readingEventRunsTheMainSlot() {
  GuiRun run;
  run.Run(
      "「F」をフォームとして作成\n"
      "A=0\n"
      "Fのイベントは「A=5」\n"
      "B=Fのイベント\n"
      "C=A\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("A"), u("5"));
  // The main event of a form is the mouse press: binding イベント binds it too.
  run.Run(
      "「G」をフォームとして作成\n"
      "押=0\n"
      "Gのイベントは「押=押+1」\n"
      "待機\n");
  QTest::mousePress(&form_of(run, "G")->Img(), Qt::LeftButton, {}, QPoint(3, 3));
  QCOMPARE(run.Value("押"), u("1"));
}

void PartsFrameworkTest::partDestroysItselfFromItsOwnClick() {
  GuiRun run;
  run.Run(
      "「F」をフォームとして作成\n"
      "Fのクリックした時は「Fを部品破壊」\n"
      "待機\n");
  gui::FormPart* form = form_of(run, "F");
  QVERIFY(form);
  QPointer<QWidget> window = form->Widget();
  QTest::mouseClick(&form->Img(), Qt::LeftButton, {}, QPoint(5, 5));
  QVERIFY(!run.interpreter().FindWord(text::sjis("F")));
  QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), kDeadlineMs);  // released after the event
  QCOMPARE(error_log(run), QString());

  run.Run(
      "「A」をフォームとして作成\n"
      "「B」をフォームとして作成\n"
      "Bを部品破壊\n"
      "母艦を部品破壊\n"
      "「C」をフォームとして作成\n"
      "部品全破壊\n"
      "「D」をフォームとして作成\n");
  QCOMPARE(error_log(run), QString());
  QVERIFY(run.interpreter().FindWord(text::sjis("母艦")));
  for (const char* gone : {"A", "B", "C"}) QVERIFY(!run.interpreter().FindWord(text::sjis(gone)));
  words::THashNode* d = run.interpreter().FindWord(text::sjis("D"));
  QVERIFY(d);
  QCOMPARE(d->Tag, 4);  // numbers are never reused
}

void PartsFrameworkTest::dialogFormSuspendsTheScriptUntilClosed() {
  GuiRun run;
  run.Run(
      "「F」をフォームとして作成\n"
      "閉=0\n"
      "Fの閉じた時は「閉=1」\n"
      "「前」を表示\n"
      "Fをダイアログ表示\n"
      "「後」を表示\n");
  QCOMPARE(run.ShownLines(), QStringList({u("前")}));
  QVERIFY(!run.window().isEnabled());
  gui::FormPart* form = form_of(run, "F");
  QVERIFY(form && form->Widget()->isVisible());
  form->Widget()->close();
  QTRY_COMPARE_WITH_TIMEOUT(run.ShownLines(), QStringList({u("前"), u("後")}), kDeadlineMs);
  QVERIFY(run.window().isEnabled());
  QCOMPARE(run.Value("閉"), u("1"));
}

void PartsFrameworkTest::eventDuringWaitInterruptsAndReturns() {
  GuiRun run;
  QTimer::singleShot(100, [&run] {
    if (gui::FormPart* form = form_of(run, "F"))
      QTest::mouseClick(&form->Img(), Qt::LeftButton, {}, QPoint(5, 5));
  });
  run.Run(
      "「F」をフォームとして作成\n"
      "Fのクリックした時は『「押」を表示』\n"
      "「前」を表示\n"
      "0.4秒待つ\n"
      "「後」を表示\n");
  QCOMPARE(run.ShownLines().join(u(",")), u("前,押,後"));
  QCOMPARE(error_log(run), QString());
}

void PartsFrameworkTest::menusTakeCaptionsAndFireClicks() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「ファイルメニュー」をメニュー作成\n"
      "上=そのテキスト\n"
      "「ファイル_開くメニュー」をメニュー追加\n"
      "開題=そのテキスト\n"
      "「-」をメニュー追加\n"
      "線名=その名前\n"
      "押=0\n"
      "ファイル_開くメニューのクリックした時は「押=押+1」\n"
      "待機\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("上"), u("ファイル"));
  QCOMPARE(run.Value("開題"), u("開く"));
  QVERIFY2(run.Value("線名").startsWith(u("split")) && run.Value("線名").endsWith(u("メニュー")),
           qPrintable(run.Value("線名")));
  QAction* open = menu_action(run, "ファイル_開くメニュー");
  QVERIFY(open);
  open->trigger();
  QCOMPARE(run.Value("押"), u("1"));

  GuiRun console(/*console=*/true);
  console.Run(
      "「F」をフォームとして作成\n"
      "「F」に「項目」をメニュー追加\n");
  QVERIFY2(error_log(console).contains(u("部品\"F\"は、\"メニュー\"ではありません。")),
           qPrintable(error_log(console)));
}

void PartsFrameworkTest::propertyErrorsUseTheirMessages() {
  struct Case {
    const char* statement;
    const char* message;
  };
  const Case cases[] = {
      {"Fのほげは1", "部品\"F\"(\"フォーム\")の設定項目\"ほげ\"は未定義です。"},
      {"Fの名前は「G」", "\"名前\"は、読取専用です。"},
      {"Fの右側は「(1,2)」", "\"右側\"は、読取専用です。"},
      {"Fの位置は「(1,2,3)」", "座標の指定エラー"},
      {"Fのサイズは「(1,2,3,4,5)」", "座標の指定エラー。引数が多すぎます。"},
      {"Fのレイアウトは「斜め」", "レイアウトは、上下左右なし全体から指定してください。"},
      {"Fのポップアップは「F」", "\"F\"は、ポップアップメニューではありません。"},
      {"A=Fの向き", "部品\"F\"(\"フォーム\")の設定項目\"向き\"は未定義です。"},
      {"(1,2,3)に「B」をフォームとして作成", "座標の指定エラー"},
      {"「F」をフォームとして作成", "部品\"F\"は、既に存在するので、作成できません。"},
      {"「C」をカメラとして作成", "部品\"C\"は、未定義なので、作成できません。"},
  };
  for (const Case& c : cases) {
    GuiRun run(/*console=*/true);
    run.Run((std::string("「F」をフォームとして作成\n") + c.statement + "\n").c_str());
    QVERIFY2(error_log(run).contains(u(c.message)),
             qPrintable(u(c.statement) + u(" -> ") + error_log(run)));
  }
}

void PartsFrameworkTest::makeByNameFindAndSetGet() {
  GuiRun run;
  run.Run(
      "「窓フォーム」を作る\n"
      "「窓フォーム」の部品検索\n"
      "有=それ\n"
      "「無い」の部品検索\n"
      "無=それ\n"
      "窓フォームの「タイトル」を「題」に設定\n"
      "窓フォームの「タイトル」を結果に得る\n"
      "窓フォームの位置は「(20,30)」\n"
      "位置=窓フォームの位置\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("有"), u("窓フォーム"));
  QCOMPARE(run.Value("無"), QString());
  QCOMPARE(run.Value("結果"), u("題"));
  QCOMPARE(run.Value("位置"), u("(20,30)"));
  QVERIFY(form_of(run, "窓フォーム"));
}

void PartsFrameworkTest::mainWindowPictureCarriesItsEvents() {
  GuiRun run;
  run.Run(
      "母艦のマウス離した時は「X=マウスX;Y=マウスY」\n"
      "母艦のキー押した時は「K=押されたキー」\n"
      "待機\n");
  QTest::mouseClick(&run.window().Img(), Qt::LeftButton, {}, QPoint(12, 34));
  QCOMPARE(run.Value("X"), u("12"));
  QCOMPARE(run.Value("Y"), u("34"));
  QTest::keyClick(&run.window(), Qt::Key_A);
  QCOMPARE(run.Value("K"), u("65"));
}

void PartsFrameworkTest::alignedPartsStackAlongTheirEdges() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「左パネル」をパネルとして作成\n"
      "左パネルのレイアウトは「左」\n"
      "「次パネル」をパネルとして作成\n"
      "次パネルのレイアウトは「左」\n"
      "「上パネル」をパネルとして作成\n"
      "上パネルのレイアウトは「上」\n"
      "「残りパネル」をパネルとして作成\n"
      "残りパネルのレイアウトは「全体」\n"
      "配置=残りパネルのレイアウト\n");
  QCOMPARE(error_log(run), QString());
  QWidget* left = run.Widget("左パネル");
  QWidget* next = run.Widget("次パネル");
  QWidget* top = run.Widget("上パネル");
  QWidget* rest = run.Widget("残りパネル");
  QVERIFY(left && next && top && rest);
  int client_width = run.window().Client().width();
  int client_height = run.window().Client().height();
  QCOMPARE(left->geometry(), QRect(0, 0, left->width(), client_height));
  QCOMPARE(next->x(), left->width());  // after the part aligned before it, not over it
  QCOMPARE(top->geometry(), QRect(left->width() + next->width(), 0,
                                  client_width - left->width() - next->width(), top->height()));
  QCOMPARE(rest->geometry(),
           QRect(top->x(), top->height(), top->width(), client_height - top->height()));
  QCOMPARE(run.Value("配置"), u("全体"));
}

void PartsFrameworkTest::eventsLeaveNoLocalScopesBehind() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「F」をフォームとして作成\n"
      "数=0\n"
      "Fのクリックした時は「数=数+1;待機」\n"
      "待機\n");
  gui::FormPart* form = form_of(run, "F");
  QVERIFY(form);
  std::size_t scopes = run.interpreter().State().Words.ScopeCount();
  for (int i = 0; i < 3; ++i) QTest::mouseClick(&form->Img(), Qt::LeftButton, {}, QPoint(5, 5));
  QCOMPARE(run.Value("数"), u("3"));
  // Code that waits instead of returning must not keep its local words alive.
  QCOMPARE(run.interpreter().State().Words.ScopeCount(), scopes);
}

void PartsFrameworkTest::hugeSizesKeepThePictureBounded() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「F」をフォームとして作成\n"
      "Fのサイズは「(0,0,50000,50000)」\n"
      "母艦の幅は99999999\n"
      "母艦の高さは99999999\n"
      "0.1秒待つ\n"
      "「まだ動く」を表示\n");
  QCOMPARE(error_log(run), QString());
  QSize picture = run.window().Img().Image().size();
  QVERIFY2(picture.width() <= 8192 && picture.height() <= 8192,
           qPrintable(QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height())));
  gui::FormPart* form = form_of(run, "F");
  QVERIFY(form);
  // The window itself is bounded too: every top-level window keeps a picture of its own size.
  QCOMPARE(form->ClientSize(), QSize(8192, 8192));
  QSize form_picture = form->Img().Image().size();
  QVERIFY(form_picture.width() <= 8192 && form_picture.height() <= 8192);
}

QTEST_MAIN(PartsFrameworkTest)
#include "parts_framework_test.moc"
