// GUI tests of 表示 and the shapes: pixels of the main window's picture, the drawing position
// and the text layout rules.
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

#include "engine/interpreter.h"
#include "gui/canvas.h"
#include "gui/drawing.h"
#include "gui/fonts.h"
#include "gui/main_window.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::ModalDriver;
using morivel::testing::u;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kGreen = qRgb(0, 255, 0);

const QImage& picture(GuiRun& run) {
  return run.window().Img().Image();
}

QRgb pixel(GuiRun& run, int x, int y) {
  return picture(run).pixel(x, y) | 0xFF000000u;
}

// The position as commands see it: in the console front end text is put off, and so is the Y it
// leaves.
const words::DrawingState& position(GuiRun& run) {
  return gui::settled_drawing(run.interpreter());
}

// The distance 表示 moves down per line, measured here on its own from the run's text settings.
int expected_advance(GuiRun& run) {
  QFontMetrics metrics(gui::settings_font(run.interpreter()), &picture(run));
  return metrics.size(Qt::TextSingleLine, u("あ")).height() * 12 / 10;
}

// The leftmost non-white column inside rows [top, bottom), or -1 when the band is blank.
int leftmost_ink(const QImage& image, int top, int bottom) {
  for (int x = 0; x < image.width(); ++x)
    for (int y = top; y < bottom; ++y)
      if ((image.pixel(x, y) | 0xFF000000u) != kWhite) return x;
  return -1;
}

int ink_count(const QImage& image, QRect box) {
  int count = 0;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x)
      if ((image.pixel(x, y) | 0xFF000000u) != kWhite) ++count;
  return count;
}

int first_ink_row(const QImage& image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) | 0xFF000000u) != kWhite) return y;
  return -1;
}

std::vector<std::string> lines_of(const char* utf8, int tab = 8) {
  return gui::display_lines(text::sjis(utf8), tab);
}

std::vector<std::string> sjis_lines(std::initializer_list<const char*> utf8_lines) {
  std::vector<std::string> lines;
  for (const char* line : utf8_lines) lines.push_back(text::sjis(line));
  return lines;
}

}  // namespace

class DrawingTest : public QObject {
  Q_OBJECT

 private slots:
  void linesAdvanceFromTheTopAfterClear();
  void centredLinesDoNotMoveTheDrawingX();
  void outputFileTakesTheTextInsteadOfThePicture();
  void shapesUsePenOutlineAndBrushInside();
  void lineFromDrawingPositionLeavesItThere();
  void pixelColourAndPlotting();
  void polygonNeedsThreePoints();
  void unknownPenStyleIsSolid();
  void japaneseTextRendersDistinctGlyphs();
  void consoleFrontEndDrawsToo();
  void textExpansionRules();
};

void DrawingTest::linesAdvanceFromTheTopAfterClear() {
  GuiRun run;
  run.Run(
      "(200,300)へ移動\n"
      "画面クリア\n"
      "「一行目」&改行&「二行目」を表示\n");
  int advance = expected_advance(run);
  QVERIFY(advance > 0);
  QCOMPARE(position(run).X, 10);
  QCOMPARE(position(run).Y, 10 + 2 * advance);
  const QImage& image = picture(run);
  int top = first_ink_row(image);
  QVERIFY2(top >= 10 && top < 10 + advance, qPrintable(QString::number(top)));
  QVERIFY(leftmost_ink(image, 10, 10 + advance) >= 10);
  QVERIFY(ink_count(image, QRect(10, 10 + advance, 200, advance)) > 0);
  QCOMPARE(ink_count(image, QRect(0, 10 + 2 * advance, 640, 100)), 0);
  QCOMPARE(run.ShownLines(), QStringList({u("一行目"), u("二行目")}));
}

void DrawingTest::centredLinesDoNotMoveTheDrawingX() {
  GuiRun run;
  run.Run(
      "画面クリア\n"
      "(30,10)へ移動\n"
      "センタリング\n"
      "「い」を表示\n"
      "「いいいいいいいいいいいい」を表示\n"
      "センタリング解除\n"
      "「い」を表示\n");
  int advance = expected_advance(run);
  const QImage& image = picture(run);
  int short_left = leftmost_ink(image, 10, 10 + advance);
  int long_left = leftmost_ink(image, 10 + advance, 10 + 2 * advance);
  int plain_left = leftmost_ink(image, 10 + 2 * advance, 10 + 3 * advance);
  QVERIFY2(short_left > long_left,
           qPrintable(QStringLiteral("%1 %2").arg(short_left).arg(long_left)));
  // One character centred in 640 pixels starts a little left of the middle.
  QVERIFY2(short_left > 290 && short_left < 320, qPrintable(QString::number(short_left)));
  QVERIFY2(plain_left >= 30 && plain_left < 30 + advance, qPrintable(QString::number(plain_left)));
  QCOMPARE(position(run).X, 30);
  QCOMPARE(position(run).Y, 10 + 3 * advance);
}

void DrawingTest::outputFileTakesTheTextInsteadOfThePicture() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QString file = dir.filePath(u("記録.txt"));
  GuiRun run;
  // Should the security check ask about the folder, all-yes keeps it quiet after.
  ModalDriver driver({u("全てはい")});
  std::string script = "画面クリア\n(40,50)へ移動\n表示出力先=「" + file.toStdString() +
                       "」\n「一」を表示\n「二」&改行&「三」を表示\n";
  run.Run(script.c_str());
  for (const testing::SeenDialog& seen : driver.Seen()) QVERIFY(seen.answered);
  QFile written(file);
  QVERIFY(written.open(QIODevice::ReadOnly));
  QCOMPARE(written.readAll(), QByteArray(text::sjis("一\r\n二\r\n三\r\n").c_str()));
  QCOMPARE(first_ink_row(picture(run)), -1);
  QCOMPARE(position(run).X, 40);
  QCOMPARE(position(run).Y, 50);
  QVERIFY(run.ShownLines().isEmpty());
}

void DrawingTest::shapesUsePenOutlineAndBrushInside() {
  GuiRun run;
  run.Run(
      "画面クリア\n"
      "ペン色=「#FF0000」\n"
      "塗り色=「#0000FF」\n"
      "ペン太さ=1\n"
      "(20,20)から(60,60)へ四角形\n"
      "(140,60)から(100,20)へ円形\n"
      "(300,20,340,60)へ四角形\n"
      "(20,100)から(80,160)へ(30,30)の角丸四角形\n"
      "P=「(400,20)」&改行&「(440,20)」&改行&「(420,60)」\n"
      "Pの多角形\n");
  // Rectangle: outline on the first corner's rows and columns and just inside the second.
  QCOMPARE(pixel(run, 40, 40), kBlue);
  QCOMPARE(pixel(run, 20, 40), kRed);
  QCOMPARE(pixel(run, 40, 20), kRed);
  QCOMPARE(pixel(run, 59, 40), kRed);
  QCOMPARE(pixel(run, 40, 59), kRed);
  QCOMPARE(pixel(run, 60, 40), kWhite);
  QCOMPARE(pixel(run, 19, 40), kWhite);
  // Ellipse from corners given the other way round: filled centre, empty bounding corners.
  QCOMPARE(pixel(run, 120, 40), kBlue);
  QCOMPARE(pixel(run, 100, 40), kRed);
  QCOMPARE(pixel(run, 101, 21), kWhite);
  // One rectangle argument: filled with the brush and no outline.
  QCOMPARE(pixel(run, 300, 40), kBlue);
  QCOMPARE(pixel(run, 339, 59), kBlue);
  QCOMPARE(pixel(run, 340, 40), kWhite);
  // Rounded rectangle: straight edges red, the very corner cut away.
  QCOMPARE(pixel(run, 50, 100), kRed);
  QCOMPARE(pixel(run, 50, 130), kBlue);
  QCOMPARE(pixel(run, 20, 100), kWhite);
  // Triangle: filled inside, outlined, nothing outside its slanted sides.
  QCOMPARE(pixel(run, 420, 30), kBlue);
  QCOMPARE(pixel(run, 420, 20), kRed);
  QCOMPARE(pixel(run, 402, 50), kWhite);
}

void DrawingTest::lineFromDrawingPositionLeavesItThere() {
  GuiRun run;
  run.Run(
      "画面クリア\n"
      "ペン色=「#00FF00」\n"
      "ペン太さ=1\n"
      "(300,150)から(300,190)へ線\n"
      "(200,100)へ移動\n"
      "(250,110)へ線\n");
  QCOMPARE(position(run).X, 200);
  QCOMPARE(position(run).Y, 100);
  QCOMPARE(pixel(run, 200, 100), kGreen);
  QCOMPARE(pixel(run, 225, 105), kGreen);
  QCOMPARE(pixel(run, 225, 100), kWhite);
  for (int y = 150; y <= 189; ++y) QCOMPARE(pixel(run, 300, y), kGreen);
  QCOMPARE(pixel(run, 301, 170), kWhite);
}

void DrawingTest::pixelColourAndPlotting() {
  GuiRun run;
  run.Run(
      "画面クリア\n"
      "塗り色=「#123456」\n"
      "(0,0,20,20)へ四角形\n"
      "それの(5,5)を座標色取得\n"
      "A=それ\n"
      "母艦の(30,30)を座標色取得\n"
      "B=それ\n"
      "ペン色=「#00FF00」\n"
      "それの(50,60)へ点描画\n"
      "それの(-5,-5)へ点描画\n"
      "それの(50,60)を座標色取得\n"
      "C=それ\n"
      "それ=「前」\n"
      "それの(5000,5)を座標色取得\n"
      "D=それ\n"
      "ない部品の(5,5)を座標色取得\n"
      "E=それ\n");
  // 0x00BBGGRR: red 0x12 low, blue 0x56 high.
  QCOMPARE(run.Value("A"), QString::number(0x563412));
  QCOMPARE(run.Value("B"), QString::number(0xFFFFFF));
  QCOMPARE(pixel(run, 50, 60), kGreen);
  QCOMPARE(pixel(run, 51, 60), kWhite);
  QCOMPARE(run.Value("C"), QString::number(0x00FF00));
  // Points off the picture and parts that do not exist change nothing.
  QCOMPARE(run.Value("D"), u("前"));
  QCOMPARE(run.Value("E"), u("前"));
  QVERIFY(run.interpreter().ErrorLog().empty());
}

void DrawingTest::polygonNeedsThreePoints() {
  GuiRun run;
  ModalDriver driver({u("実行を続ける(&O)")});
  run.Run(
      "P=「(1,1)」&改行&「(50,50)」&改行\n"
      "Pの多角形\n");
  QCOMPARE(driver.Seen().size(), std::size_t{1});
  const QString& shown = driver.Seen().front().text;
  QVERIFY2(shown.contains(u("多角形を使うときは、座標配列を３つ以上指定する必要があります。")),
           qPrintable(shown));
}

void DrawingTest::unknownPenStyleIsSolid() {
  GuiRun run;
  run.Run(
      "画面クリア\n"
      "ペン太さ=1\n"
      "「点線」にペンスタイル設定\n"
      "(10,10)から(110,10)へ線\n"
      "「波線」にペンスタイル設定\n"
      "(10,20)から(110,20)へ線\n"
      "「透明」にペンスタイル設定\n"
      "(10,30)から(110,30)へ線\n");
  // The dotted line has gaps, so the solid one is not solid by accident.
  QVERIFY(ink_count(picture(run), QRect(10, 10, 100, 1)) < 90);
  QCOMPARE(ink_count(picture(run), QRect(10, 20, 100, 1)), 100);
  QCOMPARE(ink_count(picture(run), QRect(10, 30, 100, 1)), 0);
  QCOMPARE(position(run).PenStyle, 5);
}

void DrawingTest::japaneseTextRendersDistinctGlyphs() {
  GuiRun run;
  run.Run(
      "画面クリア\n"
      "「あいう」を表示\n"
      "「あ」を表示\n"
      "「い」を表示\n");
  int advance = expected_advance(run);
  const QImage& image = picture(run);
  QVERIFY(ink_count(image, QRect(10, 10, 3 * advance, advance)) > 30);
  // Missing glyphs all draw the same box; real ones differ from each other.
  QImage first = image.copy(QRect(10, 10 + advance, advance, advance));
  QImage second = image.copy(QRect(10, 10 + 2 * advance, advance, advance));
  QVERIFY(ink_count(first, first.rect()) > 10);
  QVERIFY(ink_count(second, second.rect()) > 10);
  QVERIFY(first != second);
}

void DrawingTest::consoleFrontEndDrawsToo() {
  GuiRun run(/*console=*/true);
  run.Run(
      "画面クリア\n"
      "「あ」を表示\n");
  QVERIFY(ink_count(picture(run), QRect(10, 10, 40, 40)) > 10);
  QCOMPARE(position(run).Y, 10 + expected_advance(run));
}

void DrawingTest::textExpansionRules() {
  QCOMPARE(lines_of("a\tb"), sjis_lines({"a       b"}));
  // A double-byte character takes two columns; the column starts again after a break.
  QCOMPARE(lines_of("あ\tb\r\nxy\tz", 4), sjis_lines({"あ  b", "xy  z"}));
  QCOMPARE(lines_of("a\r\n\r\nb"), sjis_lines({"a", "", "b"}));
  QCOMPARE(lines_of("a\n\rb\rc\nd"), sjis_lines({"a", "b", "c", "d"}));
  QCOMPARE(lines_of("a\r\n"), sjis_lines({"a"}));
  QCOMPARE(lines_of(""), sjis_lines({""}));
  // Up to 4096 bytes the text is expanded; longer ones are cut there and left as they are.
  std::string fits = std::string(4088, 'x') + "\t" + std::string(7, 'z');
  QCOMPARE(fits.size(), std::size_t{4096});
  QCOMPARE(gui::display_lines(fits, 8).front().size(), std::size_t{4088 + 8 + 7});
  std::string too_long = "\t" + std::string(4100, 'y');
  std::vector<std::string> cut = gui::display_lines(too_long, 8);
  QCOMPARE(cut.size(), std::size_t{1});
  QCOMPARE(cut.front().size(), std::size_t{4096});
  QCOMPARE(cut.front().front(), '\t');
}

QTEST_MAIN(DrawingTest)
#include "drawing_test.moc"
