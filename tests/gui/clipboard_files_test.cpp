// The bare word クリップボード as a file name in the window front end: 書く, 追加保存 and 読む
// reach the same clipboard as the desktop's other programs (here Qt's own view of it).
#include <QClipboard>
#include <QGuiApplication>
#include <QtTest>

#include "support/gui_run.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::u;

class ClipboardFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void fileCommandsUseTheWindowSystemsClipboard();
};

void ClipboardFilesTest::fileCommandsUseTheWindowSystemsClipboard() {
  GuiRun run(/*console=*/false);
  run.Run("「表ソ一」をクリップボードへ書く\n「と二」をクリップボードへ追加保存\n");
  QCOMPARE(run.interpreter().ErrorLog(), std::string());
  QCOMPARE(QGuiApplication::clipboard()->text(), u("表ソ一と二"));

  QGuiApplication::clipboard()->setText(u("外から\n来た"));
  run.Run("甲にクリップボードを読む\n");
  QCOMPARE(run.interpreter().ErrorLog(), std::string());
  QCOMPARE(run.Value("甲"), u("外から\n来た"));
}

QTEST_MAIN(ClipboardFilesTest)
#include "clipboard_files_test.moc"
