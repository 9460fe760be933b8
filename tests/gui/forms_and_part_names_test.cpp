// GUI tests of forms, the main window and part names as commands take them: a form's items, part
// names written bare, reading a file into a part, titles, the menu bar, sizes, dialogs shown by
// ダイアログ表示 and the mouse state on release.
#include <QApplication>
#include <QBuffer>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "engine/interpreter.h"
#include "gui/canvas.h"
#include "gui/kinds/form_part.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::kDeadlineMs;
using morivel::testing::ModalDriver;
using morivel::testing::u;

namespace {

QString error_log(GuiRun& run) {
  return gui::to_qstring(run.interpreter().ErrorLog());
}

gui::FormPart* form_of(GuiRun& run, const char* name) {
  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis(name));
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  return node ? dynamic_cast<gui::FormPart*>(parts.PartOf(*node)) : nullptr;
}

// A script line in UTF-8 that names a file of the temporary folder.
std::string path_in(const QTemporaryDir& dir, const char* file) {
  return dir.filePath(QString::fromUtf8(file)).toStdString();
}

// A 3 x 2 picture in the BMP format, as Base64 text.
std::string bmp_base64() {
  QImage picture(3, 2, QImage::Format_RGB32);
  picture.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "BMP");
  return bytes.toBase64().toStdString();
}

}  // namespace

class FormsAndPartNamesTest : public QObject {
  Q_OBJECT

 private slots:
  void formItemsAreThePartsPlacedOnIt();
  void commandsTakePartNamesAsWritten();
  void readingAFileIntoAPartShowsTheText();
  void questionCaptionsFollowTheApplicationTitle();
  void menuBarLeavesTheClientAreaItsSize();
  void hiddenFormKeepsASizeSetLater();
  void formWidthChangeFiresItsChangeEvent();
  void fontSpecificationWithFullWidthBars();
  void sizeReadsBackAsWritten();
  void propertyStatementsTakeTheValueAsWritten();
  void consoleDialogLetsTheScriptGoOn();
  void consoleDialogClosedByTimerCode();
  void windowDialogClosedByTimerCode();
  void doubleClickWithDialogRunsOnceAndResumes_data();
  void doubleClickWithDialogRunsOnceAndResumes();
  void releasedButtonIsNoLongerHeld();
  void qtDialogsSpeakJapanese();
};

void FormsAndPartNamesTest::formItemsAreThePartsPlacedOnIt() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「窓フォーム」をフォームとして作成\n"
      "空=窓フォームのアイテム\n"
      "「甲ボタン」をボタンとして作成\n"
      "「乙エディタ」をエディタとして作成\n"
      "甲ボタンを窓フォームへ乗せる\n"
      "乙エディタを窓フォームへ乗せる\n"
      "項目=窓フォームのアイテム\n");
  QCOMPARE(error_log(run), QString());
  // The form's own picture is no part placed on it.
  QCOMPARE(run.Value("空"), QString());
  QCOMPARE(run.Value("項目"), u("甲ボタン\r\n乙エディタ\r\n"));
}

void FormsAndPartNamesTest::commandsTakePartNamesAsWritten() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  std::string saved = path_in(dir, "saved.png");
  std::string script =
      "「絵1」をイメージとして作成\n"
      "「BMP」形式の「" +
      bmp_base64() +
      "」を絵1にイメージデータ設定\n"
      "幅=絵1の幅\n"
      "絵1を「" +
      saved +
      "」へイメージ保存\n"
      "「甲ボタン」をボタンとして作成\n"
      "甲ボタンの部品検索\n"
      "見付=それ\n"
      "名=「甲ボタン」\n"
      "名の部品検索\n"
      "変数で=それ\n"
      "絵1を母艦アイコン\n";
  GuiRun run(/*console=*/true);
  run.Run(script.c_str());
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("幅"), u("3"));
  QImage written(QString::fromStdString(saved));
  QCOMPARE(written.size(), QSize(3, 2));
  QCOMPARE(written.pixelColor(1, 1), QColor(Qt::red));
  // A bare part name is the part's name, not its caption.
  QCOMPARE(run.Value("見付"), u("甲ボタン"));
  QCOMPARE(run.Value("変数で"), u("甲ボタン"));
  QVERIFY(!run.window().windowIcon().isNull());
}

void FormsAndPartNamesTest::readingAFileIntoAPartShowsTheText() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  std::string file = path_in(dir, "text.txt");
  {
    QFile out(QString::fromStdString(file));
    QVERIFY(out.open(QIODevice::WriteOnly));
    std::string sjis = text::sjis("一行目\r\n二行目");
    out.write(sjis.data(), static_cast<qint64>(sjis.size()));
  }
  std::string script =
      "「一エディタ」をエディタとして作成\n"
      "「二メモ」をメモとして作成\n"
      "一エディタに「" +
      file +
      "」を開く\n"
      "二メモに「" +
      file + "」を読む\n";
  GuiRun run(/*console=*/true);
  run.Run(script.c_str());
  QCOMPARE(error_log(run), QString());
  auto* memo = run.Control<QPlainTextEdit>("二メモ");
  QVERIFY(memo);
  QCOMPARE(memo->toPlainText(), u("一行目\n二行目"));
  auto* edit = run.Control<QLineEdit>("一エディタ");
  QVERIFY(edit);
  QVERIFY2(edit->text().startsWith(u("一行目")), qPrintable(edit->text()));
}

void FormsAndPartNamesTest::questionCaptionsFollowTheApplicationTitle() {
  GuiRun run;
  ModalDriver driver({u("はい(&Y)"), u("キャンセル"), u("&OK")});
  run.Run(
      "母艦のタイトルは「新しい題」\n"
      "「よい？」と二択\n"
      "「どれ？」と三択\n"
      "「お知らせ」と言う\n"
      "「窓フォーム」をフォームとして作成\n"
      "窓フォームのタイトルは「窓の題」\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(driver.Seen().size(), std::size_t{3});
  for (const auto& seen : driver.Seen()) QCOMPARE(seen.title, u("新しい題"));
  QCOMPARE(run.window().windowTitle(), u("新しい題"));
  QCOMPARE(form_of(run, "窓フォーム")->Widget()->windowTitle(), u("窓の題"));
  // Nothing is appended to other windows' titles behind the script's back.
  QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
}

void FormsAndPartNamesTest::menuBarLeavesTheClientAreaItsSize() {
  GuiRun run;
  run.Run(
      "「ファイルメニュー」をメニュー作成\n"
      "「全面パネル」をパネルとして作成\n"
      "全面パネルのレイアウトは「全体」\n");
  QCOMPARE(error_log(run), QString());
  QMenuBar* bar = run.window().menuBar();
  QTRY_VERIFY_WITH_TIMEOUT(bar->height() > 0, kDeadlineMs);
  QTRY_COMPARE_WITH_TIMEOUT(run.window().height(), 400 + bar->height(), kDeadlineMs);
  QCOMPARE(run.window().Client().size(), QSize(640, 400));
  QCOMPARE(run.ReadProperty("母艦", "幅"), std::string("640"));
  QCOMPARE(run.ReadProperty("母艦", "高さ"), std::string("400"));
  QCOMPARE(run.ReadProperty("全面パネル", "高さ"), std::string("400"));
  // The client area starts below the bar, so nothing hides under it.
  QCOMPARE(run.window().Client().geometry().top(), bar->geometry().bottom() + 1);
}

void FormsAndPartNamesTest::hiddenFormKeepsASizeSetLater() {
  GuiRun run;
  run.Run(
      "「窓フォーム」をフォームとして作成\n"
      "窓フォームの可視は0\n"
      "窓フォームの幅は500\n"
      "窓フォームの高さは300\n");
  QCOMPARE(error_log(run), QString());
  QTest::qWait(200);
  QCOMPARE(run.ReadProperty("窓フォーム", "幅"), std::string("500"));
  QCOMPARE(run.ReadProperty("窓フォーム", "高さ"), std::string("300"));
  run.WriteProperty("窓フォーム", "可視", "1");
  QTest::qWait(100);
  QCOMPARE(form_of(run, "窓フォーム")->ClientSize(), QSize(500, 300));
}

void FormsAndPartNamesTest::formWidthChangeFiresItsChangeEvent() {
  GuiRun run;
  run.Run(
      "「窓フォーム」をフォームとして作成\n"
      "件数=0\n"
      "窓フォームの変更した時は「件数=件数+1;新幅=窓フォームの幅」\n"
      "窓フォームの幅は410\n");
  QCOMPARE(error_log(run), QString());
  QTRY_VERIFY_WITH_TIMEOUT(run.Value("件数").toInt() >= 1, kDeadlineMs);
  QCOMPARE(run.Value("新幅"), u("410"));
  // Picture area follows the client size.
  QCOMPARE(form_of(run, "窓フォーム")->Img().width(), 410);
}

void FormsAndPartNamesTest::fontSpecificationWithFullWidthBars() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「甲ボタン」をボタンとして作成\n"
      "甲ボタンのフォント書体は「ＭＳ 明朝｜太字｜20」\n"
      "大きさ=甲ボタンのフォントサイズ\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("大きさ"), u("20"));
  QWidget* button = run.Widget("甲ボタン");
  QVERIFY(button);
  QVERIFY(button->font().bold());
  QCOMPARE(button->font().pointSize(), 20);
}

void FormsAndPartNamesTest::sizeReadsBackAsWritten() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「甲ボタン」をボタンとして作成\n"
      "甲ボタンのサイズは「(10,20,110,60)」\n"
      "ボ=甲ボタンのサイズ\n"
      "「窓フォーム」をフォームとして作成\n"
      "窓フォームのサイズは「(30,40,330,240)」\n"
      "フ=窓フォームのサイズ\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("ボ"), u("(10,20,110,60)"));
  QCOMPARE(run.Widget("甲ボタン")->geometry(), QRect(10, 20, 100, 40));
  QCOMPARE(run.Value("フ"), u("(30,40,330,240)"));
  QCOMPARE(form_of(run, "窓フォーム")->ClientSize(), QSize(300, 200));
}

void FormsAndPartNamesTest::propertyStatementsTakeTheValueAsWritten() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「甲」をボタンとして作成\n"
      "甲のサイズは(10,10,110,40)\n"
      "寸=甲のサイズ\n"
      "「乙」をボタンとして作成\n"
      "乙の位置は(50,60)\n"
      "B=「挨拶」\n"
      "甲のテキストは B\n"
      "素=甲のテキスト\n"
      "甲のテキストは「{B}です」\n"
      "展=甲のテキスト\n"
      "甲のテキストは『{B}』\n"
      "生=甲のテキスト\n"
      "甲の背景色は #FF0000\n"
      "色=甲の背景色\n"
      "名=「乙」\n"
      "名のテキストは「変数経由」\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("寸"), u("(10,10,110,40)"));
  QCOMPARE(run.Widget("乙")->pos(), QPoint(50, 60));
  // Only what is still in quotes is expanded: a bare word is the text itself.
  QCOMPARE(run.Value("素"), u("B"));
  QCOMPARE(run.Value("展"), u("挨拶です"));
  QCOMPARE(run.Value("生"), u("{B}"));
  QCOMPARE(run.Value("色"), u("255"));
  QCOMPARE(qobject_cast<QPushButton*>(run.Widget("乙"))->text(), u("変数経由"));

  GuiRun too_many(/*console=*/true);
  too_many.Run("「甲」をボタンとして作成\n甲のサイズは(1,2,3,4,5)\n");
  QVERIFY2(error_log(too_many).contains(u("座標の指定エラー。引数が多すぎます。")),
           qPrintable(error_log(too_many)));
}

void FormsAndPartNamesTest::consoleDialogLetsTheScriptGoOn() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「窓フォーム」をフォームとして作成\n"
      "閉=0\n"
      "窓フォームの閉じた時は「閉=1」\n"
      "窓フォームをダイアログ表示\n"
      "後=閉\n");
  QCOMPARE(run.Value("後"), QString());
  // On the console nobody can close the dialog; the run goes on as if its user had.
  run.session().RunConsoleEvents();
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("後"), u("1"));
  QVERIFY(!form_of(run, "窓フォーム")->Widget()->isVisible());
  QVERIFY(!run.interpreter().State().StopFlag);
}

void FormsAndPartNamesTest::consoleDialogClosedByTimerCode() {
  GuiRun run(/*console=*/true);
  run.Run(
      "「窓フォーム」をフォームとして作成\n"
      "経路=「」\n"
      "0.1秒後に「閉鎖」へ飛ぶタイマー設定\n"
      "窓フォームをダイアログ表示\n"
      "経路=経路&「後」\n"
      "終わり\n"
      "*閉鎖\n"
      "経路=経路&「閉鎖」\n"
      "窓フォームをフォーム閉じる\n"
      "戻る\n");
  run.session().RunConsoleEvents();
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("経路"), u("閉鎖後"));
}

void FormsAndPartNamesTest::windowDialogClosedByTimerCode() {
  GuiRun run;
  run.Run(
      "「窓フォーム」をフォームとして作成\n"
      "経路=「」\n"
      "0.1秒後に「閉鎖」へ飛ぶタイマー設定\n"
      "窓フォームをダイアログ表示\n"
      "経路=経路&「後」\n"
      "終わり\n"
      "*閉鎖\n"
      "経路=経路&「閉鎖」\n"
      "窓フォームをフォーム閉じる\n"
      "戻る\n");
  QTRY_COMPARE_WITH_TIMEOUT(run.Value("経路"), u("閉鎖後"), kDeadlineMs);
  QCOMPARE(error_log(run), QString());
}

void FormsAndPartNamesTest::doubleClickWithDialogRunsOnceAndResumes_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("list") << u("リスト");
  QTest::newRow("grid") << u("グリッド");
}

void FormsAndPartNamesTest::doubleClickWithDialogRunsOnceAndResumes() {
  QFETCH(QString, kind);
  std::string script =
      "「窓フォーム」をフォームとして作成\n"
      "窓フォームの可視は0\n"
      "「一覧」を" +
      kind.toStdString() +
      "として作成\n"
      "一覧のアイテムは「あ\\nい\\nう」\n"
      "件数=0\n"
      "後=0\n"
      "一覧のダブルクリックした時は「件数=件数+1;窓フォームをダイアログ表示;後=後+1」\n";
  GuiRun run;
  run.Run(script.c_str());
  QCOMPARE(error_log(run), QString());
  auto* view = qobject_cast<QAbstractItemView*>(run.Widget("一覧"));
  QVERIFY(view);
  QRect cell = view->visualRect(view->model()->index(1, 0));
  QVERIFY(cell.isValid());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
  QTRY_COMPARE_WITH_TIMEOUT(run.Value("件数"), u("1"), kDeadlineMs);
  gui::FormPart* form = form_of(run, "窓フォーム");
  QTRY_VERIFY_WITH_TIMEOUT(form->Widget()->isVisible(), kDeadlineMs);
  QTest::qWait(50);
  QCOMPARE(run.Value("件数"), u("1"));
  QCOMPARE(run.Value("後"), u("0"));
  form->Widget()->close();
  QTRY_COMPARE_WITH_TIMEOUT(run.Value("後"), u("1"), kDeadlineMs);
  QCOMPARE(run.Value("件数"), u("1"));
  QVERIFY(run.window().isEnabled());
}

void FormsAndPartNamesTest::releasedButtonIsNoLongerHeld() {
  GuiRun run;
  run.Run(
      "「絵」をイメージとして作成\n"
      "絵のマウス押した時は「押=押された特殊キー」\n"
      "絵のマウス離した時は「離=押された特殊キー」\n");
  QWidget* image = run.Widget("絵");
  QVERIFY(image);
  QTest::mousePress(image, Qt::LeftButton, Qt::ShiftModifier, QPoint(2, 2));
  QTest::mouseRelease(image, Qt::LeftButton, Qt::ShiftModifier, QPoint(2, 2));
  QCOMPARE(run.Value("押"), u("Shift\r\nLeft"));
  QCOMPARE(run.Value("離"), u("Shift"));
}

void FormsAndPartNamesTest::qtDialogsSpeakJapanese() {
  if (!gui::install_qt_translations())
    QSKIP("Qt's Japanese translations are not installed (scripts/setup.sh installs them)");
  QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), u("キャンセル"));
  QVERIFY(box.button(QDialogButtonBox::Open)->text().contains(u("開く")));
}

QTEST_MAIN(FormsAndPartNamesTest)
#include "forms_and_part_names_test.moc"
