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
#include "text/encoding.h"

using namespace morivel;

namespace {

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

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

// How long any one wait in these tests may take before it counts as a failure.
constexpr int kDeadlineMs = 5000;

// A modal dialog as the driver found it.
struct SeenDialog {
  QString title;
  QString text;  // the contents of its text views, one after the other
  QStringList visible_buttons;
  QStringList hidden_buttons;
  bool answered = false;  // closed on the driver's answer (not dismissed at the deadline)
};

// What the driver does with a dialog: click the button with this text, or press Escape when
// the text is empty.
using Answer = QString;

// Answers the modal dialogs a run opens, one answer per dialog in order, and records each.
// A dialog without the wanted (visible) button, or any modal dialog still open past the deadline,
// is rejected so that no test can hang on it.
class ModalDriver : public QObject {
 public:
  explicit ModalDriver(QList<Answer> answers) : answers_(std::move(answers)) {
    clock_.start();
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &ModalDriver::Poll);
    poll_.start();
  }
  const std::vector<SeenDialog>& Seen() const { return seen_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (clock_.elapsed() > kDeadlineMs) {
      if (!modal) {
        poll_.stop();
        return;
      }
      // A dialog still open after its answer did not take the answer.
      if (modal == answered_) seen_.back().answered = false;
      Dismiss(modal);
      return;
    }
    if (!modal || modal == answered_) return;
    seen_.push_back(Describe(*modal));
    answered_ = modal;
    if (seen_.size() > static_cast<std::size_t>(answers_.size())) {
      Dismiss(modal);
      return;
    }
    seen_.back().answered = Respond(*modal, answers_[static_cast<qsizetype>(seen_.size() - 1)]);
    if (!seen_.back().answered) Dismiss(modal);
  }

  static SeenDialog Describe(QWidget& dialog) {
    SeenDialog seen;
    seen.title = dialog.windowTitle();
    for (const QPlainTextEdit* view : dialog.findChildren<QPlainTextEdit*>())
      seen.text += view->toPlainText() + QLatin1Char('\n');
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
      (button->isVisibleTo(&dialog) ? seen.visible_buttons : seen.hidden_buttons) << button->text();
    return seen;
  }

  static bool Respond(QWidget& dialog, const QString& answer) {
    if (answer.isEmpty()) {
      QTest::keyClick(&dialog, Qt::Key_Escape);
      return true;
    }
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
      if (button->text() != answer || !button->isVisible()) continue;
      button->click();
      return true;
    }
    return false;
  }

  static void Dismiss(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  }

  QList<Answer> answers_;
  std::vector<SeenDialog> seen_;
  QPointer<QWidget> answered_;
  QTimer poll_;
  QElapsedTimer clock_;
};

// One run of a script on the window front end, wired as the program wires it.
struct WindowRun {
  explicit WindowRun(bool debug_mode = false) {
    interpreter.DebugMode = debug_mode;
    host.SetDebugMode(debug_mode);
    window.show();
  }

  void Run(const char* utf8_source) {
    interpreter.PrepareRun(text::sjis(utf8_source), text::sjis("gui_test.mrv"));
    interpreter.StartAtBeginning();
    interpreter.RunMainLoop();
  }

  QStringList ShownLines() const { return window.Text().split(u'\n', Qt::SkipEmptyParts); }

  gui::MainWindow window;
  gui::WindowHost host{window};
  commands::BuiltinVocabulary vocabulary;
  engine::Interpreter interpreter{host, vocabulary};
};

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
  WindowRun run;
  ModalDriver driver({u(kGoOn)});
  run.Run(kErrorScript);

  QCOMPARE(driver.Seen().size(), std::size_t{1});
  const SeenDialog& dialog = driver.Seen().front();
  QCOMPARE(dialog.title, u(kErrorCaption));
  QVERIFY2(dialog.text.contains(u("gui_test.mrv(2行目)")), qPrintable(dialog.text));
  QVERIFY2(dialog.text.contains(u("\"ほげほげ\"は未定義の命令です。")), qPrintable(dialog.text));
  QVERIFY(dialog.answered);
  QCOMPARE(run.ShownLines(), QStringList({u("前"), u("後")}));
  QVERIFY(!run.interpreter.State().StopFlag);
  QVERIFY(!run.host.Closed());
  QVERIFY(run.window.isVisible());
}

void WindowFrontEndTest::errorDialogQuitEndsRun_data() {
  QTest::addColumn<QString>("answer");
  QTest::newRow("quit button") << u(kQuit);
  // Closing the dialog without a choice is a quit too: nothing tells the run to go on.
  QTest::newRow("escape") << QString();
}

void WindowFrontEndTest::errorDialogQuitEndsRun() {
  QFETCH(QString, answer);
  WindowRun run;
  ModalDriver driver({answer});
  run.Run(kErrorScript);

  QCOMPARE(driver.Seen().size(), std::size_t{1});
  QCOMPARE(driver.Seen().front().title, u(kErrorCaption));
  QVERIFY(driver.Seen().front().answered);
  QCOMPARE(run.ShownLines(), QStringList({u("前")}));
  QVERIFY(run.interpreter.State().StopFlag);
  QVERIFY(run.host.Closed());
  QVERIFY(!run.window.isVisible());
}

void WindowFrontEndTest::debugButtonOnlyInDebugMode() {
  {
    WindowRun run(/*debug_mode=*/false);
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
    WindowRun run(/*debug_mode=*/true);
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
    QVERIFY(!run.host.Closed());
  }
}

void WindowFrontEndTest::timerFiresWhileWaiting() {
  WindowRun run;
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
  QVERIFY(run.host.TimerPending());
  QTRY_VERIFY_WITH_TIMEOUT(run.ShownLines().contains(u("発火")), kDeadlineMs);
  // Qt's coarse timers may fire up to 5 % early; far earlier means the seconds were misread.
  QVERIFY2(clock.elapsed() >= 150, qPrintable(QString::number(clock.elapsed())));
  // 終わる closes the main window, which ends the program; the line after it never runs.
  QCOMPARE(run.ShownLines(), QStringList({u("待つ"), u("発火")}));
  QVERIFY(run.host.Closed());
  QVERIFY(!run.window.isVisible());
  QVERIFY(!run.host.TimerPending());
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
  WindowRun run;
  ModalDriver driver({button});
  const std::string variables = text::sjis("甲=1\r\n乙=二\r\n");
  engine::DebugChoice got =
      run.host.ShowDebugDialog(variables, "0: type 1 0/0\r\n", text::sjis("乙"));

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
