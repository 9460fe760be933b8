// The program on a real X server (Xvfb), driven with real input (xdotool) and read back with the
// X tools: window titles, window placement, key preview, the menu bar and form sizes. These are
// things Qt's offscreen platform does not do as a window system does. The test starts and stops
// its own X server; without the tools (scripts/setup.sh installs them) it is skipped.
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>

#include "text/encoding.h"

namespace {

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

constexpr int kDeadlineMs = 10000;
const QSize kScreen(1280, 1024);

// An X server of its own on a display number it picks itself.
class XServer {
 public:
  ~XServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }

  // False with a message when the server does not come up.
  bool Start(QString& failure) {
    // -displayfd 1: the server writes the display number it chose to standard output.
    // -noreset: between test functions no client may be connected, and a server resetting then
    // refuses the next client for a moment ("Can't open display").
    process_.start(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
         QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(kScreen.width()).arg(kScreen.height()),
         QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!out.contains('\n') && clock.elapsed() < kDeadlineMs &&
           process_.state() != QProcess::NotRunning) {
      process_.waitForReadyRead(200);
      out += process_.readAllStandardOutput();
    }
    bool ok = false;
    int number = out.trimmed().toInt(&ok);
    if (!ok) {
      failure = QStringLiteral("Xvfb did not start: ") + process_.readAllStandardError();
      return false;
    }
    display_ = QStringLiteral(":%1").arg(number);
    return true;
  }

  const QString& Display() const { return display_; }

 private:
  QProcess process_;
  QString display_;
};

// One run of the program on the X server, in a folder of its own.
class Program {
 public:
  Program(const QString& display, const QTemporaryDir& dir) : display_(display), dir_(dir) {}
  ~Program() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(3000);
  }

  void Start(const char* utf8_script) {
    QFile file(dir_.filePath(QStringLiteral("test.mrv")));
    file.open(QIODevice::WriteOnly);
    std::string sjis = morivel::text::sjis(utf8_script);
    file.write(sjis.data(), static_cast<qint64>(sjis.size()));
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(dir_.path());
    process_.start(QStringLiteral(MORIVEL_BINARY), {file.fileName()});
  }

  // The file the script wrote, once it is there; empty at the deadline.
  QString WaitForFile(const char* name, const QString& expected = QString()) {
    QElapsedTimer clock;
    clock.start();
    QString text;
    while (clock.elapsed() < kDeadlineMs) {
      text = FileText(name);
      if (!text.isEmpty() && (expected.isEmpty() || text == expected)) return text;
      QTest::qWait(50);
    }
    return text;
  }

  QString FileText(const char* name) const {
    QFile file(dir_.filePath(QString::fromUtf8(name)));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    QByteArray bytes = file.readAll();
    return QString::fromStdString(morivel::text::to_utf8(bytes.toStdString()));
  }

  qint64 Pid() const { return process_.processId(); }
  QString Output() { return process_.readAllStandardOutput() + process_.readAllStandardError(); }

 private:
  QString display_;
  const QTemporaryDir& dir_;
  QProcess process_;
};

// Runs one of the X tools on the display; its standard output.
QString tool(const QString& display, const QString& program, const QStringList& args) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  process.setProcessEnvironment(env);
  process.start(program, args);
  process.waitForFinished(5000);
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

struct XWindow {
  QString id;
  QString title;
  QRect geometry;
};

}  // namespace

class X11SessionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void windowsCarryTheirOwnTitles();
  void windowsAreCentred();
  void formsHearKeysBeforeTheirParts();
  void menuBarAndHiddenFormSizes();
  void capturesAnotherProgramsWindow();

 private:
  // The visible windows of the program, once there are `count` of them.
  QList<XWindow> Windows(const Program& program, int count);
  XWindow Describe(const QString& id);
  QString X(const char* program, const QStringList& args) {
    return tool(server_->Display(), QString::fromUtf8(program), args);
  }

  std::unique_ptr<XServer> server_;
  std::unique_ptr<QTemporaryDir> dir_;
};

void X11SessionTest::initTestCase() {
  for (const char* needed : {"Xvfb", "xdotool", "xprop"})
    if (QStandardPaths::findExecutable(QString::fromUtf8(needed)).isEmpty())
      QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/setup.sh installs it); the "
                                      "tests on a real X server are skipped")
                           .arg(QString::fromUtf8(needed))));
}

void X11SessionTest::init() {
  server_ = std::make_unique<XServer>();
  QString failure;
  if (!server_->Start(failure)) QFAIL(qPrintable(failure));
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
}

void X11SessionTest::cleanup() {
  dir_.reset();
  server_.reset();
}

XWindow X11SessionTest::Describe(const QString& id) {
  XWindow window;
  window.id = id;
  // _NET_WM_NAME = "title"
  QString name = X("xprop", {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_NAME")});
  int open = name.indexOf(u'"');
  if (open >= 0) window.title = name.mid(open + 1, name.lastIndexOf(u'"') - open - 1);
  QMap<QString, int> shell;
  for (const QString& line :
       X("xdotool", {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id})
           .split(u'\n')) {
    QStringList pair = line.split(u'=');
    if (pair.size() == 2) shell[pair[0]] = pair[1].toInt();
  }
  window.geometry =
      QRect(shell.value(QStringLiteral("X")), shell.value(QStringLiteral("Y")),
            shell.value(QStringLiteral("WIDTH")), shell.value(QStringLiteral("HEIGHT")));
  return window;
}

QList<XWindow> X11SessionTest::Windows(const Program& program, int count) {
  QElapsedTimer clock;
  clock.start();
  QList<XWindow> windows;
  while (clock.elapsed() < kDeadlineMs) {
    windows.clear();
    QString ids = X("xdotool", {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--pid"), QString::number(program.Pid())});
    for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
      XWindow window = Describe(id);
      // Qt's own helper windows carry no title.
      if (!window.title.isEmpty()) windows << window;
    }
    if (windows.size() >= count) return windows;
    QTest::qWait(100);
  }
  return windows;
}

void X11SessionTest::windowsCarryTheirOwnTitles() {
  Program program(server_->Display(), *dir_);
  program.Start(
      "母艦のタイトルは「一番目」\n"
      "「窓フォーム」をフォームとして作成\n"
      "窓フォームのタイトルは「二番目」\n"
      "母艦のタイトルは「三番目」\n"
      "「よい？」と二択\n");
  QList<XWindow> windows = Windows(program, 3);
  QStringList titles;
  for (const XWindow& window : windows) titles << window.title;
  titles.sort();
  // The question box takes the application title; no title has another appended.
  QCOMPARE(titles, QStringList({u("三番目"), u("三番目"), u("二番目")}));
}

void X11SessionTest::windowsAreCentred() {
  Program program(server_->Display(), *dir_);
  program.Start(
      "「準備」を「ready.txt」へ保存\n"
      "ほげほげ\n");
  QList<XWindow> windows = Windows(program, 2);
  XWindow main, error;
  for (const XWindow& window : windows) {
    if (window.title == u("もりべる")) main = window;
    if (window.title == u("実行中にエラーが発生しました。")) error = window;
  }
  QVERIFY2(!main.id.isEmpty() && !error.id.isEmpty(), qPrintable(program.Output()));
  QPoint screen_centre(kScreen.width() / 2, kScreen.height() / 2);
  QVERIFY2((main.geometry.center() - screen_centre).manhattanLength() <= 4,
           qPrintable(QStringLiteral("main window at %1,%2 %3x%4")
                          .arg(main.geometry.x())
                          .arg(main.geometry.y())
                          .arg(main.geometry.width())
                          .arg(main.geometry.height())));
  QVERIFY2(
      (error.geometry.center() - main.geometry.center()).manhattanLength() <= 4,
      qPrintable(
          QStringLiteral("error dialog at %1,%2").arg(error.geometry.x()).arg(error.geometry.y())));
}

void X11SessionTest::formsHearKeysBeforeTheirParts() {
  Program program(server_->Display(), *dir_);
  program.Start(
      "記録=「」\n"
      "母艦のキー押した時は『記録=記録&「母艦」&押されたキー&「/」;記録を「keys.txt」へ保存』\n"
      "「甲ボタン」をボタンとして作成\n"
      "甲ボタンのクリックした時は『記録=記録&「ボタン/」;記録を「keys.txt」へ保存』\n"
      "「乙コンボ」をコンボとして作成\n"
      "乙コンボのキー押した時は『記録=記録&「コンボ」&押されたキー&「/」;"
      "記録を「keys.txt」へ保存』\n"
      "甲ボタンに注目\n"
      "「準備」を「ready.txt」へ保存\n");
  QVERIFY2(!program.WaitForFile("ready.txt").isEmpty(), qPrintable(program.Output()));
  QList<XWindow> windows = Windows(program, 1);
  QVERIFY(!windows.isEmpty());
  X("xdotool", {QStringLiteral("windowfocus"), windows.front().id});
  QTest::qWait(300);
  // Space is the button's own key, yet the form hears it first.
  X("xdotool", {QStringLiteral("key"), QStringLiteral("space")});
  QCOMPARE(program.WaitForFile("keys.txt", u("母艦32/ボタン/")), u("母艦32/ボタン/"));
  // Tab moves on to the combo box, whose letters reach the form first as well.
  X("xdotool", {QStringLiteral("key"), QStringLiteral("Tab")});
  QCOMPARE(program.WaitForFile("keys.txt", u("母艦32/ボタン/母艦9/")), u("母艦32/ボタン/母艦9/"));
  X("xdotool", {QStringLiteral("key"), QStringLiteral("a")});
  QString expected = u("母艦32/ボタン/母艦9/母艦65/コンボ65/");
  QCOMPARE(program.WaitForFile("keys.txt", expected), expected);
}

void X11SessionTest::menuBarAndHiddenFormSizes() {
  Program program(server_->Display(), *dir_);
  program.Start(
      "「ファイルメニュー」をメニュー作成\n"
      "「窓フォーム」をフォームとして作成\n"
      "窓フォームの可視は0\n"
      "窓フォームの幅は500\n"
      "窓フォームの高さは300\n"
      "0.5秒待つ\n"
      "結果=母艦の幅&「,」&母艦の高さ&「,」&窓フォームの幅&「,」&窓フォームの高さ\n"
      "結果を「sizes.txt」へ保存\n");
  QCOMPARE(program.WaitForFile("sizes.txt"), u("640,400,500,300"));
  QList<XWindow> windows = Windows(program, 1);
  QVERIFY(!windows.isEmpty());
  // The window is as high as the client area and the menu bar above it.
  QCOMPARE(windows.front().geometry.width(), 640);
  QVERIFY2(windows.front().geometry.height() > 400,
           qPrintable(QString::number(windows.front().geometry.height())));
}

// A window of another X client is captured by its number, pixel for pixel.
void X11SessionTest::capturesAnotherProgramsWindow() {
  QProcess other;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), server_->Display());
  other.setProcessEnvironment(env);
  // Text and background of one colour: the whole window is that colour but for the button.
  other.start(
      QStringLiteral("xmessage"),
      {QStringLiteral("-geometry"), QStringLiteral("300x200+40+30"), QStringLiteral("-bg"),
       QStringLiteral("#3366cc"), QStringLiteral("-fg"), QStringLiteral("#3366cc"),
       QStringLiteral("-title"), QStringLiteral("other-program"), QStringLiteral("captured")});
  QVERIFY(other.waitForStarted(kDeadlineMs));
  QString id;
  QElapsedTimer clock;
  clock.start();
  // Under a full parallel test run the other program has taken more than ten seconds to map its
  // window; it is given longer than the program under test, whose speed is not what is tested here.
  while (id.isEmpty() && clock.elapsed() < 3 * kDeadlineMs) {
    id = X("xdotool", {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--name"), QStringLiteral("^other-program$")})
             .section(u'\n', 0, 0);
    if (id.isEmpty()) QTest::qWait(100);
  }
  // What the other program said tells a slow start from a failed one.
  QVERIFY2(!id.isEmpty(),
           qPrintable(QStringLiteral("the other program's window did not show (%1, exit %2): %3")
                          .arg(other.state() == QProcess::NotRunning ? u("ended") : u("running"))
                          .arg(other.exitCode())
                          .arg(QString::fromLocal8Bit(other.readAllStandardError()))));
  XWindow window = Describe(id);

  // A window that has just been mapped may not have drawn itself yet on a busy machine: the
  // capture is taken again, a few times, until the window's own colour shows.
  QImage captured;
  for (int attempt = 0; attempt < 5; ++attempt) {
    QTemporaryDir run_dir;
    QVERIFY(run_dir.isValid());
    Program program(server_->Display(), run_dir);
    const QByteArray script = u("「絵」をイメージとして作成\n"
                                "絵へ「%1」を窓キャプチャー\n"
                                "「cap.png」へ絵をイメージ保存\n"
                                "「済み」を「done.txt」へ保存\n")
                                  .arg(id)
                                  .toUtf8();
    program.Start(script.constData());
    QCOMPARE(program.WaitForFile("done.txt"), u("済み"));
    captured = QImage(run_dir.filePath(QStringLiteral("cap.png")));
    QVERIFY(!captured.isNull());
    if (QColor(captured.pixel(3, 3)) == QColor(QStringLiteral("#3366cc"))) break;
    QTest::qWait(500);
  }
  other.kill();
  other.waitForFinished(3000);
  QCOMPARE(captured.size(), window.geometry.size());
  QCOMPARE(QColor(captured.pixel(3, 3)), QColor(QStringLiteral("#3366cc")));
  QCOMPARE(QColor(captured.pixel(captured.width() - 4, captured.height() - 4)),
           QColor(QStringLiteral("#3366cc")));
}

QTEST_GUILESS_MAIN(X11SessionTest)
#include "x11_session_test.moc"
