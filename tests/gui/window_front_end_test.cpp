// GUI tests of the window front end: the error dialog, the debug dialog and the script timer.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <string>
#include <vector>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "gui/window_host.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::ModalDriver;
using morivel::testing::SeenDialog;
using morivel::testing::u;
using morivel::testing::kDeadlineMs;

namespace {

const char* const kErrorCaption = "実行中にエラーが発生しました。";
const char* const kGoOn = "実行を続ける(&O)";
const char* const kQuit = "終了(&C)";
const char* const kDebug = "デバッグする(&D)";
const char* const kDebugCaption = "デバッグダイアログ";
const char* const kRunOn = "連続実行(&O)";
const char* const kLineStep = "一行毎に実行(&L)";
const char* const kStop = "実行中断(&C)";

// An error on line 2 between two lines that show something.
const char* const kErrorScript =
    "「前」を表示\n"
    "ほげほげ\n"
    "「後」を表示\n";

}  // namespace

class WindowFrontEndTest : public QObject {
  Q_OBJECT

 private slots:
  void errorDialogContinueGoesOn();
  void errorDialogQuitEndsRun_data();
  void errorDialogQuitEndsRun();
  void debugButtonOnlyInDebugMode();
  void timerFiresWhileWaiting();
  void debugDialogButtonsGiveTheirChoice_data();
  void debugDialogButtonsGiveTheirChoice();
};

void WindowFrontEndTest::errorDialogContinueGoesOn() {
  GuiRun run;
  ModalDriver driver({u(kGoOn)});
  run.Run(kErrorScript);

  QCOMPARE(driver.Seen().size(), std::size_t{1});
  const SeenDialog& dialog = driver.Seen().front();
  QCOMPARE(dialog.title, u(kErrorCaption));
  QVERIFY2(dialog.text.contains(u("gui_test.mrv(2行目)")), qPrintable(dialog.text));
  QVERIFY2(dialog.text.contains(u("\"ほげほげ\"は未定義の命令です。")), qPrintable(dialog.text));
  QVERIFY(dialog.answered);
  QCOMPARE(run.ShownLines(), QStringList({u("前"), u("後")}));
  QVERIFY(!run.interpreter().State().StopFlag);
  QVERIFY(!run.session().Windowed()->Closed());
  QVERIFY(run.window().isVisible());
}

void WindowFrontEndTest::errorDialogQuitEndsRun_data() {
  QTest::addColumn<QString>("answer");
  QTest::newRow("quit button") << u(kQuit);
  // Closing the dialog without a choice is a quit too: nothing tells the run to go on.
  QTest::newRow("escape") << QString();
}

void WindowFrontEndTest::errorDialogQuitEndsRun() {
  QFETCH(QString, answer);
  GuiRun run;
  ModalDriver driver({answer});
  run.Run(kErrorScript);

  QCOMPARE(driver.Seen().size(), std::size_t{1});
  QCOMPARE(driver.Seen().front().title, u(kErrorCaption));
  QVERIFY(driver.Seen().front().answered);
  QCOMPARE(run.ShownLines(), QStringList({u("前")}));
  QVERIFY(run.interpreter().State().StopFlag);
  QVERIFY(run.session().Windowed()->Closed());
  QVERIFY(!run.window().isVisible());
}

void WindowFrontEndTest::debugButtonOnlyInDebugMode() {
  {
    GuiRun run(/*console=*/false, /*debug_mode=*/false);
    ModalDriver driver({u(kGoOn)});
    run.Run(kErrorScript);
    QCOMPARE(driver.Seen().size(), std::size_t{1});
    const SeenDialog& dialog = driver.Seen().front();
    QVERIFY2(dialog.hidden_buttons.contains(u(kDebug)),
             qPrintable(dialog.hidden_buttons.join(',')));
    QCOMPARE(dialog.visible_buttons, QStringList({u(kGoOn), u(kQuit)}));
  }
  {
    // In debug mode the debug button leads to the debug dialog, and running on from there
    // goes on after the error.
    GuiRun run(/*console=*/false, /*debug_mode=*/true);
    ModalDriver driver({u(kDebug), u(kRunOn)});
    run.Run(kErrorScript);
    QCOMPARE(driver.Seen().size(), std::size_t{2});
    const SeenDialog& error = driver.Seen()[0];
    QCOMPARE(error.title, u(kErrorCaption));
    QCOMPARE(error.visible_buttons, QStringList({u(kGoOn), u(kQuit), u(kDebug)}));
    QVERIFY(error.answered);
    QCOMPARE(driver.Seen()[1].title, u(kDebugCaption));
    QVERIFY(driver.Seen()[1].answered);
    QCOMPARE(run.ShownLines(), QStringList({u("前"), u("後")}));
    QVERIFY(!run.session().Windowed()->Closed());
  }
}

void WindowFrontEndTest::timerFiresWhileWaiting() {
  GuiRun run;
  QElapsedTimer clock;
  clock.start();
  run.Run(
      "0.2秒後に「L」へ飛ぶタイマー設定\n"
      "「待つ」を表示\n"
      "待機\n"
      "*L\n"
      "「発火」を表示\n"
      "終わる\n"
      "「その後」を表示\n");

  // 待機 hands control back to the event loop without falling into the label.
  QCOMPARE(run.ShownLines(), QStringList({u("待つ")}));
  QVERIFY(run.host().TimerPending());
  QTRY_VERIFY_WITH_TIMEOUT(run.ShownLines().contains(u("発火")), kDeadlineMs);
  // Qt's coarse timers may fire up to 5 % early; far earlier means the seconds were misread.
  QVERIFY2(clock.elapsed() >= 150, qPrintable(QString::number(clock.elapsed())));
  // 終わる closes the main window, which ends the program; the line after it never runs.
  QCOMPARE(run.ShownLines(), QStringList({u("待つ"), u("発火")}));
  QVERIFY(run.session().Windowed()->Closed());
  QVERIFY(!run.window().isVisible());
  QVERIFY(!run.host().TimerPending());
}

void WindowFrontEndTest::debugDialogButtonsGiveTheirChoice_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<engine::DebugChoice>("choice");
  QTest::newRow("run on") << u(kRunOn) << engine::DebugChoice::Continue;
  QTest::newRow("line step") << u(kLineStep) << engine::DebugChoice::LineStep;
  QTest::newRow("stop") << u(kStop) << engine::DebugChoice::Stop;
  // Closing the dialog must not let the run go on unasked.
  QTest::newRow("escape") << QString() << engine::DebugChoice::Stop;
}

void WindowFrontEndTest::debugDialogButtonsGiveTheirChoice() {
  QFETCH(QString, button);
  QFETCH(engine::DebugChoice, choice);
  GuiRun run;
  ModalDriver driver({button});
  const std::string variables = text::sjis("甲=1\r\n乙=二\r\n");
  engine::DebugChoice got =
      run.host().ShowDebugDialog(variables, "0: type 1 0/0\r\n", text::sjis("乙"));

  QCOMPARE(driver.Seen().size(), std::size_t{1});
  const SeenDialog& dialog = driver.Seen().front();
  QCOMPARE(dialog.title, u(kDebugCaption));
  QCOMPARE(dialog.visible_buttons, QStringList({u(kRunOn), u(kLineStep), u(kStop)}));
  QVERIFY2(dialog.text.contains(u("甲=1\n乙=二")), qPrintable(dialog.text));
  QVERIFY2(dialog.text.contains(u("0: type 1 0/0")), qPrintable(dialog.text));
  QVERIFY(dialog.answered);
  QCOMPARE(got, choice);
}

QTEST_MAIN(WindowFrontEndTest)
#include "window_front_end_test.moc"
