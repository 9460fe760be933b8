// GUI tests of text the console front end puts off: whatever a script can look at afterwards (the
// picture, the drawing position, where parts land) must be what drawing at once gives. Also the
// faces that font texts resolve to.
#include <QFontInfo>
#include <QImage>
#include <QtTest>

#include <string>

#include "engine/interpreter.h"
#include "gui/canvas.h"
#include "gui/drawing.h"
#include "gui/fonts.h"
#include "gui/main_window.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::u;

namespace {

// What a script can observe after running.
struct Outcome {
  QImage picture;
  int x = 0;
  int y = 0;
  QRect button;  // the part 釦, when the script makes one
};

Outcome outcome_of(GuiRun& run) {
  Outcome seen;
  seen.picture = run.window().Img().Image().copy();
  const words::DrawingState& at = gui::settled_drawing(run.interpreter());
  seen.x = at.X;
  seen.y = at.Y;
  if (QWidget* button = run.Widget("釦")) seen.button = button->geometry();
  return seen;
}

void compare(const Outcome& actual, const Outcome& expected) {
  QCOMPARE(actual.y, expected.y);
  QCOMPARE(actual.x, expected.x);
  QCOMPARE(actual.button, expected.button);
  QCOMPARE(actual.picture.size(), expected.picture.size());
  QVERIFY(actual.picture == expected.picture);
}

int line_advance_of(GuiRun& run) {
  return gui::line_advance(run.window().Img(), gui::settings_font(run.interpreter()));
}

std::string face_of(const char* utf8_spec) {
  return text::to_utf8(gui::face_name(gui::font_from_spec(text::sjis(utf8_spec), 12)));
}

}  // namespace

class ConsoleTextTest : public QObject {
  Q_OBJECT

 private slots:
  void putOffTextLooksAsTextDrawnAtOnce_data();
  void putOffTextLooksAsTextDrawnAtOnce();
  void clearingDropsTextNotYetDrawn();
  void longLoopsKeepNoBacklog();
  void aNewRunStartsAtItsOwnPosition();
  void fontTextsResolveToTheSameFaces();
};

void ConsoleTextTest::putOffTextLooksAsTextDrawnAtOnce_data() {
  // Reading a colour, drawing from the position and placing a part look at the picture or the
  // position halfway, so the texts are drawn in more than one batch.
  QTest::addColumn<QStringList>("statements");
  QTest::newRow("lines, tabs and settings changed between texts")
      << QStringList{u("「一行目\r\n\tタブ\n三行目」を表示"),
                     u("文字書体は「ＭＳ　明朝｜太字傾斜｜20」"),
                     u("文字色は255"),
                     u("「明朝」を表示"),
                     u("文字書体は「ms pgothic」"),
                     u("文字サイズは9"),
                     u("「小さい」を表示")};
  QTest::newRow("centred lines") << QStringList{u("センタリング"), u("「短い」を表示"),
                                                u("「ずっと長い一行です」を表示"),
                                                u("センタリング解除"), u("「左」を表示")};
  QTest::newRow("moved between texts")
      << QStringList{u("「上」を表示"), u("(120,200)へ移動"), u("「下」を表示"),
                     u("「その下」を表示"), u("(40,60)へ移動")};
  QTest::newRow("line from the position")
      << QStringList{u("「あ」を表示"), u("(200,5)へ線"), u("「い」を表示")};
  QTest::newRow("part placed at the position") << QStringList{
      u("「あ」を表示"), u("「い」を表示"), u("「釦」をボタンとして作成"), u("「う」を表示")};
  QTest::newRow("colour read back in between") << QStringList{
      u("「あ」を表示"), u("それの(12,12)を座標色取得"), u("Cはそれ"), u("「い」を表示")};
}

void ConsoleTextTest::putOffTextLooksAsTextDrawnAtOnce() {
  QFETCH(QStringList, statements);
  const QByteArray script = statements.join(u'\n').toUtf8();

  GuiRun window(/*console=*/false);
  window.Run(script.constData());
  Outcome expected = outcome_of(window);

  GuiRun console(/*console=*/true);
  console.Run(script.constData());
  QVERIFY2(console.interpreter().ErrorLog().empty(), console.interpreter().ErrorLog().c_str());
  compare(outcome_of(console), expected);
}

void ConsoleTextTest::clearingDropsTextNotYetDrawn() {
  GuiRun console(/*console=*/true);
  console.Run("「消える」を表示\n「これも」を表示\n画面クリア\n「残る」を表示\n");
  GuiRun window(/*console=*/false);
  window.Run("画面クリア\n「残る」を表示\n");
  compare(outcome_of(console), outcome_of(window));
  QCOMPARE(outcome_of(console).y, 10 + line_advance_of(console));
}

void ConsoleTextTest::longLoopsKeepNoBacklog() {
  // 3000 texts of 600 bytes: beyond what the queue keeps, so it is drawn on the way.
  const char* script = "Tは「」\n150回(Tは(T&「あいう」))\n3000回(Tを表示)\n";
  GuiRun console(/*console=*/true);
  console.Run(script);
  QVERIFY2(console.interpreter().ErrorLog().empty(), console.interpreter().ErrorLog().c_str());
  gui::Canvas& picture = console.window().Img();
  QVERIFY(!picture.Deferred().Backlogged());
  QCOMPARE(gui::settled_drawing(console.interpreter()).Y, 10 + 3000 * line_advance_of(console));

  GuiRun window(/*console=*/false);
  window.Run(script);
  compare(outcome_of(console), outcome_of(window));
}

void ConsoleTextTest::aNewRunStartsAtItsOwnPosition() {
  GuiRun console(/*console=*/true);
  GuiRun window(/*console=*/false);
  for (GuiRun* run : {&console, &window}) {
    run->Run("「前の実行」を表示\n「二行目」を表示\n");
    run->Run("「次の実行」を表示\n");
  }
  compare(outcome_of(console), outcome_of(window));
  QCOMPARE(outcome_of(console).y, 10 + line_advance_of(console));
}

void ConsoleTextTest::fontTextsResolveToTheSameFaces() {
  // Substituted faces keep the name the script gave, in its own width whichever width it was
  // written in; the names installed on the machine are matched the same way.
  QCOMPARE(face_of("ＭＳ ゴシック"), std::string("ＭＳ ゴシック"));
  QCOMPARE(face_of("ＭＳ　ゴシック"), std::string("ＭＳ ゴシック"));
  QCOMPARE(face_of(" ＭＳ ゴシック　"), std::string("ＭＳ ゴシック"));
  QCOMPARE(face_of("MS Gothic"), std::string("MS Gothic"));
  QCOMPARE(face_of("ＭＳ　Ｇｏｔｈｉｃ"), std::string("MS Gothic"));
  QCOMPARE(face_of("ms pgothic"), std::string("MS PGothic"));
  QCOMPARE(face_of("ＭＳ Ｐ明朝"), std::string("ＭＳ Ｐ明朝"));
  QCOMPARE(face_of("ｍｓ ｍｉｎｃｈｏ"), std::string("MS Mincho"));
  QCOMPARE(face_of("ipa gothic"), std::string("IPAGothic"));
  // Unknown and empty faces fall back to the default face.
  QCOMPARE(face_of("どこにもない書体"), std::string("ＭＳ ゴシック"));
  QCOMPARE(face_of(""), std::string("ＭＳ ゴシック"));

  // The substituted names draw with a face that has Japanese glyphs.
  for (const char* face_text : {"ＭＳ ゴシック", "MS Mincho"}) {
    QFontInfo drawn(gui::font_from_spec(text::sjis(face_text), 12));
    QVERIFY2(drawn.family().startsWith(u("IPA")) || drawn.family().contains(u("CJK")),
             qPrintable(drawn.family()));
  }

  // Style and size fields, with either bar.
  QFont styled = gui::font_from_spec(text::sjis("ＭＳ 明朝｜ボールドイタリック｜20"), 12);
  QCOMPARE(text::to_utf8(gui::face_name(styled)), std::string("ＭＳ 明朝"));
  QVERIFY(styled.bold());
  QVERIFY(styled.italic());
  QVERIFY(!styled.underline());
  QCOMPARE(styled.pointSize(), 20);
  QFont underlined = gui::font_from_spec(text::sjis("MS Gothic|下線|0"), 15);
  QVERIFY(underlined.underline());
  QVERIFY(!underlined.bold());
  QCOMPARE(underlined.pointSize(), 15);
  QCOMPARE(gui::font_from_spec(text::sjis("MS Gothic||9.6"), 15).pointSize(), 10);
}

QTEST_MAIN(ConsoleTextTest)
#include "console_text_test.moc"
