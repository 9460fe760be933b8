// GUI tests of the commands that reach into one kind of part: tabs, tree paths, grid rows, rich
// edits, the editing commands, editor settings, window messages, rounded outlines and the main
// window's position in an INI file.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <string>

#include "engine/interpreter.h"
#include "gui/main_window.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::u;

namespace {

QString errors(GuiRun& run) {
  return QString::fromStdString(text::to_utf8(run.interpreter().ErrorLog()));
}

void run_in(GuiRun& run, const QTemporaryDir& dir, const QString& script,
            QList<QString> answers = {}) {
  QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  morivel::testing::ModalDriver driver(answers);
  run.Run(script.toUtf8().constData());
  QDir::setCurrent(previous);
}

QByteArray read_file(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList top_captions(QTreeWidget* tree) {
  QStringList out;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) out << tree->topLevelItem(i)->text(0);
  return out;
}

}  // namespace

class KindCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void tabsAreAddedDeletedAndMoved();
  void treePathsBuildExpandAndDelete();
  void treeAddLetsEventsRunBetweenLines();
  void gridRowSelection();
  void richEditTakesSettingsAndSaves();
  void editingCommandsUseTheClipboard();
  void editingCommandsRefuseOtherKinds();
  void editorSettingsRoundTripAndDialog();
  void windowMessagesReachTheWidget();
  void roundedOutline();
  void formPositionKeptInIniFile();
};

void KindCommandsTest::tabsAreAddedDeletedAndMoved() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("「タ」をタブページとして作成\n"
           "タに「一」のタブ追加\nタに「二」のタブ追加\nタに「三」のタブ追加\n"
           "「タ」の3をタブ削除\n"  // as many as there are pages: nothing happens
           "「タ」の1をタブ削除\n"
           "タを0にタブ有効変更\n"
           "タで「下」にタブ位置変更\n"));
  QCOMPARE(errors(run), QString());
  auto* tabs = run.Control<QTabWidget>("タ");
  QVERIFY(tabs);
  QCOMPARE(tabs->count(), 2);
  QCOMPARE(tabs->tabText(0), u("一"));
  QCOMPARE(tabs->tabText(1), u("三"));
  QVERIFY(!tabs->isTabEnabled(0));  // the page current at the time
  QCOMPARE(tabs->tabPosition(), QTabWidget::South);
  GuiRun other;
  run_in(other, dir,
         u("「タ」をタブページとして作成\nタに「一」のタブ追加\nタに「二」のタブ追加\n"
           "タで「斜め」にタブ位置変更\nタを「1,0」にタブ有効変更\n"));
  QCOMPARE(errors(other), QString());
  auto* others = other.Control<QTabWidget>("タ");
  QCOMPARE(others->tabPosition(), QTabWidget::North);
  QVERIFY(others->isTabEnabled(0));
  QVERIFY(!others->isTabEnabled(1));

  GuiRun wrong;
  run_in(wrong, dir, u("「ボ」をボタンとして作成\nボに「一」のタブ追加\n"));
  QVERIFY2(
      errors(wrong).contains(u("命令の引数に誤りがあります。タブページ部品を指定してください。")),
      qPrintable(errors(wrong)));
  GuiRun missing;
  run_in(missing, dir, u("「無い」に「一」のタブ追加\n"));
  QVERIFY2(errors(missing).contains(u("\"無い\"は、部品ではありません。")),
           qPrintable(errors(missing)));
}

void KindCommandsTest::treePathsBuildExpandAndDelete() {
  QTemporaryDir dir;
  GuiRun run;
  // 表 ends in the byte of "\", which must not split it; 『』 keeps every "\" as written.
  run_in(run, dir,
         u("「木」をツリーとして作成\n"
           "木に『a\\b\na\\c\n表\\子\\孫』のツリーアイテム追加\n"
           "「木」の「」をツリー展開\n"
           "「木」の『a\\b\\』をツリーアイテム削除\n"
           "「木」の『a\\無い』をツリーアイテム削除\n"
           "「木」の「表」をツリー折りたたむ\n"));
  QCOMPARE(errors(run), QString());
  auto* tree = run.Control<QTreeWidget>("木");
  QVERIFY(tree);
  QCOMPARE(top_captions(tree), QStringList({u("a"), u("表")}));
  QTreeWidgetItem* a = tree->topLevelItem(0);
  QCOMPARE(a->childCount(), 1);
  QCOMPARE(a->child(0)->text(0), u("c"));
  QVERIFY(a->isExpanded());
  QTreeWidgetItem* table = tree->topLevelItem(1);
  QCOMPARE(table->child(0)->text(0), u("子"));
  QCOMPARE(table->child(0)->child(0)->text(0), u("孫"));
  QVERIFY(!table->isExpanded());
  QVERIFY(!table->child(0)->isExpanded());
  // Collapsing everything shuts the top level only.
  GuiRun again;
  run_in(again, dir,
         u("「木」をツリーとして作成\n木に『表\\子\\孫』のツリーアイテム追加\n"
           "「木」の『表』をツリー展開\n「木」の「」をツリー折りたたむ\n"));
  QCOMPARE(errors(again), QString());
  QTreeWidgetItem* top = again.Control<QTreeWidget>("木")->topLevelItem(0);
  QVERIFY(!top->isExpanded());
  QVERIFY(top->child(0)->isExpanded());
}

// A timer of the window system fires while a long list of paths goes in, and sees the tree half
// built; a node renamed by such an event is not found again by its old path.
void KindCommandsTest::treeAddLetsEventsRunBetweenLines() {
  QTemporaryDir dir;
  GuiRun run;
  constexpr int kLines = 200;
  QString lines;
  for (int i = 0; i < kLines; ++i) lines += QStringLiteral("n%1\\x\n").arg(i);
  QList<int> seen;
  bool renamed = false;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::allWidgets()) {
      auto* tree = qobject_cast<QTreeWidget*>(widget);
      if (!tree) continue;
      seen << tree->topLevelItemCount();
      // Renaming n0 once it exists makes the later line "n0\\y" add a new n0 beside it.
      if (!renamed && tree->topLevelItemCount() > 0) {
        tree->topLevelItem(0)->setText(0, QStringLiteral("m0"));
        renamed = true;
      }
    }
  });
  watch.start();
  run_in(run, dir,
         u("「木」をツリーとして作成\n木に『") + lines + u("n0\\y』のツリーアイテム追加\n"));
  watch.stop();
  QCOMPARE(errors(run), QString());
  bool half_built =
      std::any_of(seen.begin(), seen.end(), [](int n) { return n > 0 && n < kLines; });
  QVERIFY2(half_built, "no event ran while the paths went in");
  auto* tree = run.Control<QTreeWidget>("木");
  QCOMPARE(tree->topLevelItemCount(), kLines + 1);
  QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("m0"));
  QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
  QTreeWidgetItem* last = tree->topLevelItem(kLines);
  QCOMPARE(last->text(0), QStringLiteral("n0"));
  QCOMPARE(last->child(0)->text(0), QStringLiteral("y"));
}

void KindCommandsTest::gridRowSelection() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir, u("「表」をグリッドとして作成\n表で1にグリッド一行選択変更\n"));
  QCOMPARE(errors(run), QString());
  auto* table = run.Control<QTableWidget>("表");
  QVERIFY(table);
  QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
  run_in(run, dir, u("「表」をグリッドとして作成\n表で0にグリッド一行選択変更\n"));
  QCOMPARE(run.Control<QTableWidget>("表")->selectionBehavior(), QAbstractItemView::SelectItems);
  GuiRun wrong;
  run_in(wrong, dir, u("「ボ」をボタンとして作成\nボで1にグリッド一行選択変更\n"));
  QVERIFY(errors(wrong).contains(u("グリッド部品を指定してください。")));
}

void KindCommandsTest::richEditTakesSettingsAndSaves() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("「リ」をリッチエディタとして作成\nリは『赤い字と{黒}』\n"
           "「リ」の全て選択を実行\n"
           "文字色は$0000FF\n文字サイズは20\n文字書体は「IPAGothic｜太字」\n"
           "「リ」のリッチエディタ選択属性変更\n"
           "リを「out.rtf」へリッチエディタ保存\nリを「out.html」へリッチエディタ保存\n"));
  QCOMPARE(errors(run), QString());
  auto* edit = run.Control<QTextEdit>("リ");
  QVERIFY(edit);
  QTextCursor cursor(edit->document());
  cursor.setPosition(1);
  QTextCharFormat format = cursor.charFormat();
  QCOMPARE(format.foreground().color(), QColor(Qt::red));
  QCOMPARE(format.font().pointSize(), 20);
  QVERIFY(format.font().bold());
  QByteArray rtf = read_file(dir.filePath("out.rtf"));
  QVERIFY2(rtf.startsWith("{\\rtf1"), rtf.constData());
  QVERIFY(rtf.contains("\\red255\\green0\\blue0"));
  QVERIFY(rtf.contains("\\fs40"));
  QVERIFY(rtf.contains("\\b"));
  QVERIFY(rtf.contains("\\{"));         // braces of the text are escaped
  QVERIFY(rtf.contains("\\u-29340?"));  // 赤, U+8D64 as a signed 16-bit number
  QByteArray html = read_file(dir.filePath("out.html"));
  QVERIFY(html.contains("<html"));
  QVERIFY(QString::fromUtf8(html).contains(u("赤い字")));

  GuiRun wrong;
  run_in(wrong, dir, u("「エ」をエディタとして作成\nエを「x.rtf」へリッチエディタ保存\n"));
  QVERIFY(errors(wrong).contains(u("リッチエディタ部品を指定してください。")));
  QVERIFY(!QFile::exists(dir.filePath("x.rtf")));
}

void KindCommandsTest::editingCommandsUseTheClipboard() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("「エ」をエディタとして作成\nエは「切り取る字」\n"
           "「エ」の全て選択を実行\n「エ」の選択文字列切り取り\n"));
  QCOMPARE(errors(run), QString());
  auto* edit = run.Control<QLineEdit>("エ");
  QCOMPARE(edit->text(), QString());
  QCOMPARE(QApplication::clipboard()->text(), u("切り取る字"));
  run_in(
      run, dir,
      u("「エ」をエディタとして作成\n「エ」の選択文字列貼り付け\n「エ」の選択文字列貼り付け\n"
        "「エ」の元に戻す実行\n"
        "「メ」をメモとして作成\nメは「写す」\n「メ」の全て選択を実行\n「メ」の選択文字列コピー\n"
        "「T」をTエディタとして作成\n「T」の選択文字列貼り付け\n"));
  QCOMPARE(errors(run), QString());
  QCOMPARE(run.Control<QLineEdit>("エ")->text(), u("切り取る字"));
  QCOMPARE(QApplication::clipboard()->text(), u("写す"));
  QCOMPARE(run.Control<QPlainTextEdit>("T")->toPlainText(), u("写す"));
}

void KindCommandsTest::editingCommandsRefuseOtherKinds() {
  QTemporaryDir dir;
  GuiRun button;
  run_in(button, dir, u("「ボ」をボタンとして作成\n「ボ」の元に戻す実行\n"));
  QVERIFY2(errors(button).contains(u("ボタンでは、使えない命令")), qPrintable(errors(button)));
  GuiRun missing;
  run_in(missing, dir, u("「無い」の全て選択を実行\n"));
  QVERIFY2(errors(missing).contains(u("引数に部品名を指定してください。")),
           qPrintable(errors(missing)));
}

void KindCommandsTest::editorSettingsRoundTripAndDialog() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("「T」をTエディタとして作成\nTの折り返しは1\n「T」を「ed.ini」へTエディタ設定を保存\n"));
  QCOMPARE(errors(run), QString());
  QByteArray ini = read_file(dir.filePath("ed.ini"));
  QVERIFY2(ini.startsWith("[T]\r\nFontName="), ini.constData());
  QVERIFY(ini.contains("FontSize="));
  QVERIFY(ini.contains("WordWrap=1\r\n"));

  GuiRun load;
  QFile file(dir.filePath("ed.ini"));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("[T]\r\nFontSize=17\r\nTabColumns=4\r\nWordWrap=1\r\n[other]\r\nFontSize=3\r\n");
  file.close();
  run_in(load, dir, u("「T」をTエディタとして作成\nTを「ed.ini」からTエディタ設定を読込\n"));
  QCOMPARE(errors(load), QString());
  auto* loaded = load.Control<QPlainTextEdit>("T");
  QCOMPARE(loaded->font().pointSize(), 17);
  QCOMPARE(loaded->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  QVERIFY(std::abs(loaded->tabStopDistance() -
                   4 * QFontMetricsF(loaded->font()).horizontalAdvance(QLatin1Char(' '))) < 0.5);
  // Saving again keeps the other section and replaces the part's keys.
  run_in(load, dir,
         u("「T」をTエディタとして作成\nTを「ed.ini」からTエディタ設定を読込\n"
           "Tを「ed.ini」へTエディタ設定を保存\n"));
  QByteArray saved = read_file(dir.filePath("ed.ini"));
  QCOMPARE(saved.count("FontSize=17"), 1);
  QVERIFY(saved.contains("[other]\r\nFontSize=3"));

  // The dialog: Cancel leaves the settings, OK applies the dialog's copy.
  GuiRun dialog;
  run_in(dialog, dir, u("「T」をTエディタとして作成\n「T」のTエディタ設定\n"), {QString()});
  QCOMPARE(errors(dialog), QString());
  GuiRun ok;
  run_in(ok, dir, u("「T」をTエディタとして作成\n「T」のTエディタ設定\n"), {u("OK")});
  QCOMPARE(errors(ok), QString());
}

void KindCommandsTest::windowMessagesReachTheWidget() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("「エ」をエディタとして作成\n文は「送った字」\n"
           "エに「１２，０，文」とメッセージ送信\nAはそれ\n"
           "エに「14,0,0」とメッセージ送信\nBはそれ\n"
           "エに「9999,1,2」とメッセージ送信\nCはそれ\n"
           "エに「177,1,3」とメッセージ送信\n"
           "「ボ」をボタンとして作成\nボに「10,0,0」とメッセージ送信\n"
           "エに「12,0,新しい変数」とメッセージ送信\nDはそれ\n"));
  QCOMPARE(errors(run), QString());
  QCOMPARE(run.Value("A"), u("1"));
  QCOMPARE(run.Value("B"), u("8"));  // Shift-JIS bytes of 送った字
  QCOMPARE(run.Value("C"), u("0"));
  QCOMPARE(run.Control<QLineEdit>("エ")->text(), QString());  // the new variable was empty
  QCOMPARE(run.Value("D"), u("1"));
  QVERIFY(!run.Widget("ボ")->isEnabled());
  GuiRun negative;
  run_in(negative, dir, u("「エ」をエディタとして作成\nエに「-1,0,0」とメッセージ送信\n"));
  QVERIFY(errors(negative).contains(u("命令の引数に誤りがあります")));
}

void KindCommandsTest::roundedOutline() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("「ボ」をボタンとして作成\nボの幅は100\nボの高さは40\nボを20でオブジェクト丸く\n"));
  QCOMPARE(errors(run), QString());
  QRegion mask = run.Widget("ボ")->mask();
  QVERIFY(!mask.isEmpty());
  QVERIFY(!mask.contains(QPoint(0, 0)));
  QVERIFY(mask.contains(QPoint(50, 20)));
  // The corner circle has radius 10 about (10, 10).
  QVERIFY(!mask.contains(QPoint(2, 2)));
  QVERIFY(mask.contains(QPoint(3, 10)));
  QVERIFY(mask.contains(QPoint(10, 0)));
}

void KindCommandsTest::formPositionKeptInIniFile() {
  QTemporaryDir dir;
  GuiRun run;
  run.window().move(40, 30);
  run.window().resize(320, 240);
  run_in(run, dir, u("「pos.ini」へフォームの位置記録\n"));
  QCOMPARE(errors(run), QString());
  QByteArray ini = read_file(dir.filePath("pos.ini"));
  QVERIFY2(ini.startsWith("[frmMorv]\r\nstate=0\r\n"), ini.constData());
  QVERIFY(ini.contains("width=320"));
  QVERIFY(ini.contains("height=240"));

  QFile file(dir.filePath("pos.ini"));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("[frmMorv]\r\ntop=55\r\nleft=66\r\nwidth=300\r\nheight=200\r\n");
  file.close();
  run_in(run, dir, u("「pos.ini」からフォームの位置復元\n"));
  QCOMPARE(errors(run), QString());
  QCOMPARE(run.window().pos(), QPoint(66, 55));
  QCOMPARE(run.window().size(), QSize(300, 200));
  QCOMPARE(run.window().windowState(), Qt::WindowNoState);  // no "state": left as it was

  run_in(run, dir, u("「無い.ini」からフォームの位置復元\n"));
  QVERIFY(errors(run).contains(u("の、読み込みか書き込みに、失敗しました。")));
}

QTEST_MAIN(KindCommandsTest)
#include "kind_commands_test.moc"
