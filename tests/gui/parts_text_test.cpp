// GUI tests of the text parts (edits, memos, the colouring editor, rich edits) and of scroll bars
// and track bars: their properties, their events and their responses to dropped files.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSlider>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QtTest>

#include "engine/interpreter.h"
#include "gui/kinds/syntax_colouring.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::ModalDriver;
using morivel::testing::u;

namespace {

const char* const kGoOn = "実行を続ける(&O)";

words::THashNode& word_of(GuiRun& run, const char* part) {
  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis(part));
  if (!word) qFatal("no part %s", part);
  return *word;
}

// A property as a script reads it, in UTF-8 with CR LF kept.
QString prop(GuiRun& run, const char* part, const char* property) {
  return gui::to_qstring(run.ReadProperty(part, property));
}

void set(GuiRun& run, const char* part, const char* property, const char* utf8_value) {
  run.WriteProperty(part, property, text::sjis(utf8_value));
}

int number_of_part(GuiRun& run, const char* part) {
  return word_of(run, part).Tag;
}

// The colour a highlighter gave to one character of a line, or an invalid colour for none.
QColor colour_at(const QTextBlock& block, int column) {
  for (const QTextLayout::FormatRange& range : block.layout()->formats())
    if (column >= range.start && column < range.start + range.length)
      return range.format.foreground().color();
  return {};
}

}  // namespace

class PartsTextTest : public QObject {
  Q_OBJECT

 private slots:
  void typingIntoEditFiresChangeAndReadsBack();
  void memoKeyEventsGiveVirtualKeyAndShift();
  void memoTextAndSelectionCountLineBreaksAsCrLf();
  void editSelectionRoundTrip();
  void editingZeroMakesEditsReadOnly();
  void memoScrollBarsDecideWrapping();
  void richEditLineAndRelativeColumn();
  void barValueIsClampedAndNegativeIgnored();
  void trackKeysChangeValueAndFire();
  void propertiesOfOtherKindsRaiseTheirErrors_data();
  void propertiesOfOtherKindsRaiseTheirErrors();
  void droppedFilesWithoutBindingUseTheKindsResponse();
  void destructionClearsWithoutChangeEvent();
  void textEditorReadsLinesAndColoursComments();
};

void PartsTextTest::typingIntoEditFiresChangeAndReadsBack() {
  GuiRun run;
  run.Run(
      "「E」をエディタとして作成\n"
      "変更数=0\n"
      "文=\"\"\n"
      "Eの変更した時は変わった\n"
      "待機\n"
      "*変わった\n"
      "変更数=変更数+1\n"
      "文=Eのテキスト\n"
      "戻る\n");
  auto* edit = qobject_cast<QLineEdit*>(run.Widget("E"));
  QVERIFY(edit);
  QCOMPARE(edit->size(), QSize(121, 21));
  QTest::keyClicks(edit, u("ab"));
  QCOMPARE(run.Value("変更数"), u("2"));
  QCOMPARE(run.Value("文"), u("ab"));
  QCOMPARE(prop(run, "E", "テキスト"), u("ab"));
  // The text read as the part's own value, and written as it.
  set(run, "E", "テキスト", "書いた");
  QCOMPARE(edit->text(), u("書いた"));
  QCOMPARE(run.Value("変更数"), u("3"));
}

void PartsTextTest::memoKeyEventsGiveVirtualKeyAndShift() {
  GuiRun run;
  run.Run(
      "「M」をメモとして作成\n"
      "キー=0\n"
      "特殊=\"未\"\n"
      "Mのキー押した時は押した\n"
      "待機\n"
      "*押した\n"
      "キー=押されたキー\n"
      "特殊=押された特殊キー\n"
      "戻る\n");
  auto* memo = qobject_cast<QPlainTextEdit*>(run.Widget("M"));
  QVERIFY(memo);
  QTest::keyClick(memo, Qt::Key_A);
  QCOMPARE(run.Value("キー"), u("65"));
  QCOMPARE(run.Value("特殊"), QString());
  QTest::keyClick(memo, 'A', Qt::ShiftModifier);
  QCOMPARE(run.Value("キー"), u("65"));
  QCOMPARE(run.Value("特殊"), u("Shift"));
  QCOMPARE(memo->toPlainText(), u("aA"));
}

void PartsTextTest::memoTextAndSelectionCountLineBreaksAsCrLf() {
  GuiRun run;
  run.Run("「M」をメモとして作成\n");
  auto* memo = qobject_cast<QPlainTextEdit*>(run.Widget("M"));
  QVERIFY(memo);
  QCOMPARE(memo->size(), QSize(185, 89));
  set(run, "M", "テキスト", "一行目\r\n二行目\r\n三");
  QCOMPARE(memo->blockCount(), 3);
  QCOMPARE(prop(run, "M", "テキスト"), u("一行目\r\n二行目\r\n三"));

  // "一行目" and its CR LF come before the second line.
  set(run, "M", "選択位置", "5");
  set(run, "M", "選択文字数", "3");
  QCOMPARE(prop(run, "M", "選択文字列"), u("二行目"));
  QCOMPARE(prop(run, "M", "選択文字数"), u("3"));
  QCOMPARE(prop(run, "M", "行"), u("1"));
  QCOMPARE(prop(run, "M", "列"), u("3"));
  set(run, "M", "選択文字列", "2");
  QCOMPARE(prop(run, "M", "テキスト"), u("一行目\r\n2\r\n三"));

  // A selection over a line break takes both of its characters.
  set(run, "M", "選択位置", "2");
  set(run, "M", "選択文字数", "4");
  QCOMPARE(prop(run, "M", "選択文字列"), u("目\r\n2"));

  set(run, "M", "行", "2");
  QCOMPARE(prop(run, "M", "行"), u("2"));
  QCOMPARE(prop(run, "M", "列"), u("0"));
  QCOMPARE(prop(run, "M", "選択位置"), u("8"));
  set(run, "M", "列", "5");  // past the end of "三"
  QCOMPARE(prop(run, "M", "列"), u("1"));
}

void PartsTextTest::editSelectionRoundTrip() {
  GuiRun run;
  run.Run("「E」をエディタとして作成\n");
  set(run, "E", "テキスト", "abcdef");
  set(run, "E", "選択位置", "2");
  QCOMPARE(prop(run, "E", "選択文字数"), u("0"));
  set(run, "E", "選択文字数", "3");
  QCOMPARE(prop(run, "E", "選択位置"), u("2"));
  QCOMPARE(prop(run, "E", "選択文字数"), u("3"));
  QCOMPARE(prop(run, "E", "選択文字列"), u("cde"));
  set(run, "E", "選択文字列", "X");
  QCOMPARE(prop(run, "E", "テキスト"), u("abXf"));
  set(run, "E", "選択位置", "1");
  set(run, "E", "選択文字数", "99");
  QCOMPARE(prop(run, "E", "選択文字列"), u("bXf"));

  QCOMPARE(prop(run, "E", "スタイル"), u("1"));
  set(run, "E", "スタイル", "0");
  QCOMPARE(prop(run, "E", "スタイル"), u("0"));
  QVERIFY(!qobject_cast<QLineEdit*>(run.Widget("E"))->hasFrame());
  set(run, "E", "IME", "0");
  QCOMPARE(prop(run, "E", "IME"), u("0"));
  QVERIFY(!run.Widget("E")->testAttribute(Qt::WA_InputMethodEnabled));
}

void PartsTextTest::editingZeroMakesEditsReadOnly() {
  GuiRun run;
  run.Run(
      "「E」をエディタとして作成\n"
      "「M」をメモとして作成\n"
      "「T」をTエディタとして作成\n");
  for (const char* name : {"E", "M", "T"}) {
    QWidget* widget = run.Widget(name);
    QVERIFY(widget);
    set(run, name, "テキスト", "元");
    QCOMPARE(prop(run, name, "編集"), u("1"));
    set(run, name, "編集", "0");
    QCOMPARE(prop(run, name, "編集"), u("0"));
    QTest::keyClicks(widget, u("zz"));
    QVERIFY2(prop(run, name, "テキスト").startsWith(u("元")), name);
    QVERIFY2(!prop(run, name, "テキスト").contains(u("z")), name);
    set(run, name, "編集", "1");
    QTest::keyClicks(widget, u("z"));
    QVERIFY2(prop(run, name, "テキスト").contains(u("z")), name);
  }
}

void PartsTextTest::memoScrollBarsDecideWrapping() {
  GuiRun run;
  run.Run("「M」をメモとして作成\n");
  auto* memo = qobject_cast<QPlainTextEdit*>(run.Widget("M"));
  QCOMPARE(prop(run, "M", "スクロールバー"), u("両方"));
  QCOMPARE(prop(run, "M", "折り返し"), u("0"));
  QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);

  set(run, "M", "折り返し", "1");
  QCOMPARE(prop(run, "M", "スクロールバー"), u("縦"));
  QCOMPARE(prop(run, "M", "折り返し"), u("1"));
  QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

  set(run, "M", "スクロールバー", "横");
  QCOMPARE(prop(run, "M", "折り返し"), u("0"));
  QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

  set(run, "M", "スタイル", "0");
  QCOMPARE(prop(run, "M", "スタイル"), u("0"));
  QCOMPARE(memo->frameShape(), QFrame::NoFrame);
}

void PartsTextTest::richEditLineAndRelativeColumn() {
  GuiRun run;
  run.Run("「R」をリッチエディタとして作成\n");
  auto* rich = qobject_cast<QTextEdit*>(run.Widget("R"));
  QVERIFY(rich);
  QVERIFY(rich->acceptRichText());
  set(run, "R", "テキスト", "abc\r\ndefgh\r\nij");
  QCOMPARE(prop(run, "R", "テキスト"), u("abc\r\ndefgh\r\nij"));
  set(run, "R", "行", "1");
  QCOMPARE(prop(run, "R", "選択位置"), u("5"));
  // 列 moves the caret on by the value each time.
  set(run, "R", "列", "2");
  QCOMPARE(prop(run, "R", "選択位置"), u("7"));
  set(run, "R", "列", "2");
  QCOMPARE(prop(run, "R", "選択位置"), u("9"));
  QCOMPARE(prop(run, "R", "列"), u("4"));
  set(run, "R", "折り返し", "1");
  QCOMPARE(prop(run, "R", "スクロールバー"), u("縦"));
  QCOMPARE(rich->lineWrapMode(), QTextEdit::WidgetWidth);
}

void PartsTextTest::barValueIsClampedAndNegativeIgnored() {
  GuiRun run;
  run.Run(
      "「B」をバーとして作成\n"
      "変更数=0\n"
      "Bの変更した時は変わった\n"
      "待機\n"
      "*変わった\n"
      "変更数=変更数+1\n"
      "戻る\n");
  auto* bar = qobject_cast<QScrollBar*>(run.Widget("B"));
  QVERIFY(bar);
  QCOMPARE(bar->size(), QSize(121, 17));
  QCOMPARE(prop(run, "B", "最大値"), u("100"));
  set(run, "B", "最大値", "3");
  set(run, "B", "値", "5");
  QCOMPARE(prop(run, "B", "値"), u("3"));
  set(run, "B", "値", "-1");
  QCOMPARE(prop(run, "B", "値"), u("3"));
  set(run, "B", "最小値", "1");
  set(run, "B", "値", "0");
  QCOMPARE(prop(run, "B", "値"), u("1"));
  QCOMPARE(prop(run, "B", "最小値"), u("1"));
  QCOMPARE(run.Value("変更数"), u("2"));
  QTest::keyClick(bar, Qt::Key_Right);
  QCOMPARE(prop(run, "B", "値"), u("2"));
  QCOMPARE(run.Value("変更数"), u("3"));

  QCOMPARE(prop(run, "B", "向き"), u("横"));
  set(run, "B", "向き", "縦");
  QCOMPARE(prop(run, "B", "向き"), u("縦"));
  QCOMPARE(bar->orientation(), Qt::Vertical);
  QCOMPARE(bar->size(), QSize(17, 121));
  // Down moves a vertical bar on, as Right moved the horizontal one.
  QTest::keyClick(bar, Qt::Key_Down);
  QCOMPARE(prop(run, "B", "値"), u("3"));
  set(run, "B", "向き", "何か");
  QCOMPARE(prop(run, "B", "向き"), u("横"));
}

void PartsTextTest::trackKeysChangeValueAndFire() {
  GuiRun run;
  run.Run(
      "「T」をトラックとして作成\n"
      "変更数=0\n"
      "読んだ値=-1\n"
      "Tの変更した時は変わった\n"
      "待機\n"
      "*変わった\n"
      "変更数=変更数+1\n"
      "読んだ値=Tの値\n"
      "戻る\n");
  auto* track = qobject_cast<QSlider*>(run.Widget("T"));
  QVERIFY(track);
  QCOMPARE(track->orientation(), Qt::Horizontal);
  QCOMPARE(prop(run, "T", "最大値"), u("10"));
  QTest::keyClick(track, Qt::Key_Right);
  QCOMPARE(run.Value("読んだ値"), u("1"));
  QCOMPARE(run.Value("変更数"), u("1"));

  QTest::keyClick(track, Qt::Key_End);
  QCOMPARE(run.Value("読んだ値"), u("10"));
  QCOMPARE(run.Value("変更数"), u("2"));

  // Its change first keeps the track at least 10 by 10.
  set(run, "T", "幅", "4");
  set(run, "T", "高さ", "3");
  set(run, "T", "値", "2");
  QCOMPARE(prop(run, "T", "幅"), u("10"));
  QCOMPARE(prop(run, "T", "高さ"), u("10"));
  set(run, "T", "値", "-3");
  QCOMPARE(prop(run, "T", "値"), u("2"));
}

void PartsTextTest::propertiesOfOtherKindsRaiseTheirErrors_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("statement");
  QTest::addColumn<QString>("message");
  QTest::newRow("orientation of an edit")
      << u("エディタ") << u("結果=Pの向き")
      << u("部品\"P\"(\"エディタ\")の設定項目\"向き\"は未定義です。");
  QTest::newRow("orientation of a track")
      << u("トラック") << u("結果=Pの向き")
      << u("部品\"P\"(\"トラック\")の設定項目\"向き\"は未定義です。");
  QTest::newRow("scroll bars of the colouring editor")
      << u("Tエディタ") << u("Pのスクロールバーは「縦」")
      << u("部品\"P\"(\"Tエディタ\")の設定項目\"スクロールバー\"は未定義です。");
  QTest::newRow("text of a bar") << u("バー") << u("Pのテキストは「x」")
                                 << u("オブジェクト\"P\"の設定は、未定義です。");
}

void PartsTextTest::propertiesOfOtherKindsRaiseTheirErrors() {
  QFETCH(QString, kind);
  QFETCH(QString, statement);
  QFETCH(QString, message);
  GuiRun run;
  ModalDriver driver({u(kGoOn)});
  const QString script = u("「P」を") + kind + u("として作成\n") + statement + u("\n");
  run.Run(script.toUtf8().constData());
  QCOMPARE(driver.Seen().size(), std::size_t{1});
  QVERIFY2(driver.Seen().front().text.contains(message), qPrintable(driver.Seen().front().text));
}

void PartsTextTest::droppedFilesWithoutBindingUseTheKindsResponse() {
  GuiRun run;
  run.Run(
      "「E」をエディタとして作成\n"
      "「M」をメモとして作成\n"
      "「N」をメモとして作成\n"
      "落ちた=\"\"\n"
      "Nのファイルドロップした時は落とした\n"
      "待機\n"
      "*落とした\n"
      "落ちた=イベントの値\n"
      "戻る\n");
  gui::PartRegistry& parts = run.session().Front().Parts();
  parts.DeliverDrop(number_of_part(run, "E"), text::sjis("/tmp/一.txt"));
  QCOMPARE(prop(run, "E", "テキスト"), u("/tmp/一.txt"));

  set(run, "M", "テキスト", "前");
  parts.DeliverDrop(number_of_part(run, "M"), "/a\r\n/b");
  QCOMPARE(prop(run, "M", "テキスト"), u("前\r\n/a\r\n/b"));
  set(run, "M", "テキスト", "");
  parts.DeliverDrop(number_of_part(run, "M"), "/c");
  QCOMPARE(prop(run, "M", "テキスト"), u("/c"));

  // A bound drop event replaces the memo's own response.
  parts.DeliverDrop(number_of_part(run, "N"), "/d");
  QCOMPARE(run.Value("落ちた"), u("/d"));
  QCOMPARE(prop(run, "N", "テキスト"), QString());
}

void PartsTextTest::destructionClearsWithoutChangeEvent() {
  GuiRun run;
  run.Run(
      "「E」をエディタとして作成\n"
      "「M」をメモとして作成\n"
      "「R」をリッチエディタとして作成\n"
      "Eは「e」\n"
      "Mは「m」\n"
      "Rは「r」\n"
      "変更数=0\n"
      "Eの変更した時は変わった\n"
      "Mの変更した時は変わった\n"
      "待機\n"
      "*変わった\n"
      "変更数=変更数+1\n"
      "戻る\n");
  QPointer<QLineEdit> edit = qobject_cast<QLineEdit*>(run.Widget("E"));
  QPointer<QPlainTextEdit> memo = qobject_cast<QPlainTextEdit*>(run.Widget("M"));
  QPointer<QTextEdit> rich = qobject_cast<QTextEdit*>(run.Widget("R"));
  QCOMPARE(edit->text(), u("e"));
  gui::PartRegistry& parts = run.session().Front().Parts();
  for (const char* name : {"E", "M", "R"}) parts.Destroy(run.interpreter(), text::sjis(name));
  QVERIFY(edit && memo && rich);  // released later, by the registry's timer
  QCOMPARE(edit->text(), QString());
  QCOMPARE(memo->toPlainText(), QString());
  QCOMPARE(rich->toPlainText(), u("r"));
  QVERIFY(edit->isHidden());
  QCOMPARE(run.Value("変更数"), u("0"));
}

void PartsTextTest::textEditorReadsLinesAndColoursComments() {
  GuiRun run;
  run.Run(
      "「T」をTエディタとして作成\n"
      "変更数=0\n"
      "Tの変更した時は変わった\n"
      "待機\n"
      "*変わった\n"
      "変更数=変更数+1\n"
      "戻る\n");
  auto* editor = qobject_cast<QPlainTextEdit*>(run.Widget("T"));
  QVERIFY(editor);
  set(run, "T", "テキスト", "a\r\nb\r\n");
  QCOMPARE(run.Value("変更数"), u("1"));
  QCOMPARE(editor->blockCount(), 2);
  QCOMPARE(prop(run, "T", "テキスト"), u("a\r\nb\r\n"));
  set(run, "T", "行", "1");
  QCOMPARE(prop(run, "T", "行"), u("1"));
  set(run, "T", "折り返し", "1");
  QCOMPARE(prop(run, "T", "折り返し"), u("1"));

  auto* highlighter = editor->document()->findChild<gui::ScriptHighlighter*>();
  QVERIFY(highlighter);
  const QColor comment = highlighter->CommentFormat().foreground().color();
  const QColor string = highlighter->StringFormat().foreground().color();
  const QColor label = highlighter->LabelFormat().foreground().color();
  const QColor number = highlighter->NumberFormat().foreground().color();
  set(run, "T", "テキスト",
      "'注釈\r\n"                // 0
      "A=12\r\n"                 // 1
      "*始め\r\n"                // 2
      "「文字」を表示 //後\r\n"  // 3
      "{括弧\r\n"                // 4
      "まだ}B=1\r\n"             // 5
      "’全角 /* 開く\r\n"        // 6
      "続く */C\r\n"             // 7
      "`生の\r\n"                // 8
      "続き`D\r\n"               // 9
      "変数1=2\r\n");            // 10
  // Colouring changes no text, so it fires no change event of its own.
  QCOMPARE(run.Value("変更数"), u("2"));
  QTextDocument& doc = *editor->document();
  auto at = [&doc](int line, int column) { return colour_at(doc.findBlockByNumber(line), column); };
  QCOMPARE(at(0, 2), comment);
  QCOMPARE(at(1, 0), QColor());
  QCOMPARE(at(1, 3), number);
  QCOMPARE(at(2, 2), label);
  QCOMPARE(at(3, 3), string);
  QCOMPARE(at(3, 4), QColor());
  QCOMPARE(at(3, 8), comment);
  QCOMPARE(at(4, 1), comment);
  QCOMPARE(at(5, 2), comment);
  QCOMPARE(at(5, 3), QColor());
  QCOMPARE(at(5, 5), number);
  // A block opener inside a line comment still opens a block, as the preprocessor reads it.
  QCOMPARE(at(7, 0), comment);
  QCOMPARE(at(7, 4), comment);
  QCOMPARE(at(7, 5), QColor());
  QCOMPARE(at(9, 0), string);
  QCOMPARE(at(9, 3), QColor());
  // A digit that ends a name is no number.
  QCOMPARE(at(10, 2), QColor());
  QCOMPARE(at(10, 4), number);
}

QTEST_MAIN(PartsTextTest)
#include "parts_text_test.moc"
