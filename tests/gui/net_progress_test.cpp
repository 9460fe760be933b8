// GUI tests of the transfer progress dialog: it shows while a download runs, and its stop
// button ends a slow download at once with the command's failure.
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "support/gui_run.h"

using morivel::testing::GuiRun;
using morivel::testing::ModalDriver;
using morivel::testing::u;

namespace {

// The loopback HTTP server of the network tests, on a port of its own choosing.
class SlowServer {
 public:
  explicit SlowServer(const QString& folder) {
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(MORIVEL_SOURCE_DIR "/tests/net/http_server.py"),
                    QStringLiteral("0"), folder});
    QByteArray line;
    while (!line.contains('\n') && process_.waitForReadyRead(10000))
      line += process_.readAllStandardOutput();
    QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() == 2) port_ = words[1].toInt();
    if (!port_) qWarning() << "no port from the server:" << line << process_.readAllStandardError();
  }
  ~SlowServer() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  int Port() const { return port_; }

 private:
  QProcess process_;
  int port_ = 0;
};

QDialog* progress_dialog() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String("TfrmProg") && widget->isVisible())
      return qobject_cast<QDialog*>(widget);
  return nullptr;
}

}  // namespace

class NetProgressTest : public QObject {
  Q_OBJECT

 private slots:
  void StopButtonEndsASlowDownload() {
    QTemporaryDir dir;
    SlowServer server(dir.path());
    QVERIFY(server.Port() > 0);
    GuiRun run;
    QString seen_text;
    QTimer presser;
    presser.setInterval(100);
    connect(&presser, &QTimer::timeout, [&] {
      QDialog* dialog = progress_dialog();
      if (!dialog) return;
      seen_text = dialog->findChild<QLabel*>()->text();
      // Pressed once the transfer is under way (the dialog shows before its text is set).
      if (seen_text.isEmpty()) return;
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == u("中止")) button->click();
    });
    presser.start();
    const QString target = dir.filePath(QStringLiteral("slow.bin"));
    const QByteArray script =
        u("「http://127.0.0.1:%1/slow」を「%2」へHTTPダウンロード\n「後」を表示\n")
            .arg(server.Port())
            .arg(target)
            .toUtf8();
    ModalDriver driver({u("実行を続ける(&O)")});
    QElapsedTimer clock;
    clock.start();
    run.Run(script.constData());
    presser.stop();
    // The whole file would take minutes; the stop button ended it.
    QVERIFY(clock.elapsed() < 15000);
    QVERIFY(seen_text.contains(u("よりHTTPデータ取得中")));
    QCOMPARE(driver.Seen().size(), std::size_t{1});
    QVERIFY(driver.Seen()[0].text.contains(u("からのダウンロードに失敗")));
    QVERIFY(driver.Seen()[0].text.contains(u("中止しました。")));
    QVERIFY(!QFile::exists(target));
    QVERIFY(!progress_dialog());
    QCOMPARE(run.ShownLines(), QStringList{u("後")});
  }

  void SwitchedOffShowsNoDialog() {
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("small.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(20000, 'q'));
    file.close();
    SlowServer server(dir.path());
    QVERIFY(server.Port() > 0);
    GuiRun run;
    bool dialog_seen = false;
    QTimer watcher;
    watcher.setInterval(1);
    connect(&watcher, &QTimer::timeout, [&] { dialog_seen = dialog_seen || progress_dialog(); });
    watcher.start();
    const QString target = dir.filePath(QStringLiteral("copy.bin"));
    const QByteArray script = u("進行度表示ダイアログは0\n"
                                "「http://127.0.0.1:%1/small.bin」を「%2」へHTTPダウンロード\n")
                                  .arg(server.Port())
                                  .arg(target)
                                  .toUtf8();
    run.Run(script.constData());
    QVERIFY(!dialog_seen);
    QFile copy(target);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray(20000, 'q'));
  }
};

QTEST_MAIN(NetProgressTest)
#include "net_progress_test.moc"
