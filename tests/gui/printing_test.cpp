// GUI tests of printing: every print goes to the PDF file MORIVEL_PRINT_PDF names, and the pages
// are looked at as pictures (pdftoppm at 30 pixels per inch, a tenth of the page's 300) and as
// text (pdftotext).
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "engine/interpreter.h"
#include "graphics/codecs.h"
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

// Runs a script in the folder with printing going to dir/out.pdf.
void print_in(GuiRun& run, const QTemporaryDir& dir, const QString& script) {
  qputenv("MORIVEL_PRINT_PDF", dir.filePath("out.pdf").toLocal8Bit());
  QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  morivel::testing::ModalDriver driver({});
  run.Run(script.toUtf8().constData());
  QDir::setCurrent(previous);
  qunsetenv("MORIVEL_PRINT_PDF");
}

QString tool_output(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return QString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The first page at a tenth of its size.
QImage first_page(const QTemporaryDir& dir) {
  QString prefix = dir.filePath("page");
  QProcess process;
  process.start(
      QStringLiteral("pdftoppm"),
      {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-f"), QStringLiteral("1"),
       QStringLiteral("-singlefile"), QStringLiteral("-png"), dir.filePath("out.pdf"), prefix});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return QImage();
  return QImage(prefix + ".png").convertToFormat(QImage::Format_RGB32);
}

bool near(QRgb got, QRgb want, int tolerance = 40) {
  return std::abs(qRed(got) - qRed(want)) <= tolerance &&
         std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
         std::abs(qBlue(got) - qBlue(want)) <= tolerance;
}

void write_picture(const QTemporaryDir& dir, const char* name, int width, int height,
                   std::uint32_t argb) {
  QFile file(dir.filePath(QString::fromUtf8(name)));
  QVERIFY(file.open(QIODevice::WriteOnly));
  std::string bytes =
      graphics::Encode(graphics::Bitmap(width, height, 24, argb), graphics::ImageFormat::Png);
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// The box around the dark pixels of a picture region.
QRect dark_box(const QImage& page, QRect region) {
  QRect box;
  for (int y = region.top(); y <= region.bottom(); ++y)
    for (int x = region.left(); x <= region.right(); ++x)
      if (qGray(page.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
  return box;
}

const QRgb kWhite = qRgb(255, 255, 255);

}  // namespace

class PrintingTest : public QObject {
  Q_OBJECT

 private slots:
  void pageSizeInDevicePixels();
  void drawnPageHasShapesTextAndPicture();
  void emptyTitleNamesTheDocumentByTime();
  void plainTextLines();
  void imagePartFillsThePageHeight();
  void mainWindowHardCopy();
};

void PrintingTest::pageSizeInDevicePixels() {
  QTemporaryDir dir;
  GuiRun run;
  print_in(run, dir, u("W=用紙横サイズ取得\nH=用紙縦サイズ取得\n"));
  QCOMPARE(errors(run), QString());
  // A4 (595 x 842 points) at 300 pixels per inch.
  QCOMPARE(run.Value("W"), u("2479"));  // 595 points
  QCOMPARE(run.Value("H"), u("3508"));
}

void PrintingTest::drawnPageHasShapesTextAndPicture() {
  QTemporaryDir dir;
  write_picture(dir, "green.png", 4, 4, 0xFF00FF00u);
  GuiRun run;
  print_in(run, dir,
           u("「図」でプリンタ描画開始\n"
             "ペン色は$0000FF\nペン太さは20\n"
             "(100,100)から(2300,100)へプリンタ線\n"
             "(200,400)から(1200,1400)へプリンタ四角形\n"
             "(1400,400)から(2400,1400)へプリンタ円形\n"
             "文字サイズは40\n文字色は$000000\n"
             "「文字\tあ」を(200,2000)へプリンタ文字描画\n"
             "「文字\tあ」のプリンタ文字幅取得\nW=それ\n「文字\tあ」のプリンタ文字高取得\nH=それ\n"
             "「green.png」を(200,2600,1200,3400)へプリンタ画像描画\n"
             "プリンタ描画終了\n"));
  QCOMPARE(errors(run), QString());
  QImage page = first_page(dir);
  QCOMPARE(page.size(), QSize(248, 351));
  const QRgb red = qRgb(255, 0, 0);
  QVERIFY(near(page.pixel(120, 10), red));    // the line
  QVERIFY(near(page.pixel(20, 90), red));     // the rectangle's left side
  QVERIFY(near(page.pixel(70, 90), kWhite));  // its inside: the printer's brush is white
  QVERIFY(near(page.pixel(190, 40), red));    // the ellipse's top
  QVERIFY(near(page.pixel(190, 90), kWhite));
  QVERIFY(near(page.pixel(142, 42), kWhite));           // outside the ellipse, in its box's corner
  QVERIFY(near(page.pixel(70, 300), qRgb(0, 255, 0)));  // the picture, stretched
  QVERIFY(near(page.pixel(125, 300), kWhite));
  QVERIFY(near(page.pixel(70, 345), kWhite));

  // The text lies where it was put and as large as it was measured.
  int width = run.Value("W").toInt();
  int height = run.Value("H").toInt();
  QVERIFY(width > 200 && height > 100);
  QRect text = dark_box(page, QRect(0, 160, 248, 90));
  QVERIFY(!text.isEmpty());
  QVERIFY2(text.left() >= 19 && text.top() >= 199, qPrintable(QString::number(text.left())));
  QVERIFY(text.right() <= 20 + width / 10 + 1);
  QVERIFY(text.bottom() <= 200 + height / 10 + 1);
  QVERIFY(text.right() >= 20 + width / 10 - 6);  // the measure is not too wide either
  // The TAB became spaces, up to column 8 (文字 takes four).
  QString printed = tool_output(QStringLiteral("pdftotext"), {dir.filePath("out.pdf"), "-"});
  QVERIFY2(printed.contains(u("文字")), qPrintable(printed));
  QVERIFY(!printed.contains(QLatin1Char('\t')));
}

void PrintingTest::emptyTitleNamesTheDocumentByTime() {
  QTemporaryDir dir;
  GuiRun run;
  print_in(run, dir, u("「」でプリンタ描画開始\n(0,0)から(10,10)へプリンタ線\nプリンタ描画終了\n"));
  QCOMPARE(errors(run), QString());
  QString info = tool_output(QStringLiteral("pdfinfo"), {dir.filePath("out.pdf")});
  QVERIFY2(info.contains(QRegularExpression(
               QStringLiteral("Title:\\s+Morivel__\\d\\d_\\d\\d_\\d\\d__\\d\\d_\\d\\d_\\d\\d"))),
           qPrintable(info));
}

void PrintingTest::plainTextLines() {
  QTemporaryDir dir;
  GuiRun run;
  print_in(run, dir, u("「一行目\n二行目\r\n三行目」を簡易印刷\n"));
  QCOMPARE(errors(run), QString());
  QString printed = tool_output(QStringLiteral("pdftotext"), {dir.filePath("out.pdf"), "-"});
  QStringList lines = printed.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QVERIFY2(lines.size() >= 3, qPrintable(printed));
  QCOMPARE(lines[0].trimmed(), u("一行目"));
  QCOMPARE(lines[1].trimmed(), u("二行目"));
  QCOMPARE(lines[2].trimmed(), u("三行目"));
}

void PrintingTest::imagePartFillsThePageHeight() {
  QTemporaryDir dir;
  write_picture(dir, "tall.png", 20, 40, 0xFFFF0000u);
  GuiRun run;
  print_in(run, dir, u("「絵」をイメージとして作成\n絵の画像は「tall.png」\n絵をイメージ印刷\n"));
  QCOMPARE(errors(run), QString());
  QImage page = first_page(dir);
  // Portrait: the height decides; 20 x 40 becomes 1753 x 3507 device pixels.
  const QRgb red = qRgb(255, 0, 0);
  QVERIFY(near(page.pixel(170, 340), red));
  QVERIFY(near(page.pixel(180, 100), kWhite));
  QVERIFY(near(page.pixel(2, 2), red));

  GuiRun missing;
  print_in(missing, dir, u("「無い」をイメージ印刷\n"));
  QVERIFY(errors(missing).contains(u("部品\"無い\"は、作成されていません。")));
}

void PrintingTest::mainWindowHardCopy() {
  QTemporaryDir dir;
  GuiRun hidden;
  print_in(hidden, dir, u("母艦の可視は0\n母艦印刷\n"));
  QCOMPARE(errors(hidden), QString());
  QVERIFY(!QFile::exists(dir.filePath("out.pdf")));  // a hidden window prints nothing

  GuiRun run;
  run.window().resize(400, 200);
  run.window().show();
  print_in(run, dir, u("画面クリア($FF0000)\n母艦印刷\n"));
  QCOMPARE(errors(run), QString());
  QImage page = first_page(dir);
  // Landscape: the width decides, so the copy spans the page's width and half as much down.
  QRect blue;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (near(page.pixel(x, y), qRgb(0, 0, 255))) blue |= QRect(x, y, 1, 1);
  QVERIFY(!blue.isEmpty());
  QVERIFY2(blue.right() >= 245, qPrintable(QString::number(blue.right())));
  QVERIFY(blue.bottom() <= 126);
  QVERIFY(near(page.pixel(120, 200), kWhite));
}

QTEST_MAIN(PrintingTest)
#include "printing_test.moc"
