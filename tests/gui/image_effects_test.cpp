// GUI tests of the commands that transform an image part's picture and draw on it: the pixel
// arithmetic itself is pinned down by the unit tests; these check that scripts reach it, that
// parts take the new sizes and that the failures give their messages.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "engine/interpreter.h"
#include "graphics/codecs.h"
#include "gui/canvas.h"
#include "gui/main_window.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::u;

namespace {

// Pixel (x, y) of the test picture: red 10 x, green 10 y, blue 200.
graphics::Bitmap numbered(int width, int height) {
  graphics::Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      bitmap.SetPixel(x, y, 0xFF000000u | (10u * x) << 16 | (10u * y) << 8 | 200u);
  return bitmap;
}

QRgb numbered_pixel(int x, int y) {
  return qRgb(10 * x, 10 * y, 200);
}

void write_picture(const QTemporaryDir& dir, const char* name, const graphics::Bitmap& bitmap) {
  QFile file(dir.filePath(QString::fromUtf8(name)));
  QVERIFY(file.open(QIODevice::WriteOnly));
  std::string bytes = graphics::Encode(bitmap, graphics::ImageFormat::Png);
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QString errors(GuiRun& run) {
  return QString::fromStdString(text::to_utf8(run.interpreter().ErrorLog()));
}

// Runs a script with the temporary folder current; error dialogs are dismissed and logged.
void run_in(GuiRun& run, const QTemporaryDir& dir, const QString& script) {
  QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  morivel::testing::ModalDriver driver({});
  run.Run(script.toUtf8().constData());
  QDir::setCurrent(previous);
}

QImage picture_of(GuiRun& run, const char* name) {
  auto* canvas = qobject_cast<gui::Canvas*>(run.Widget(name));
  return canvas ? canvas->Image() : QImage();
}

const char* kLoad3x2 =
    "「絵」をイメージとして作成\n"
    "絵の画像は「p.png」\n";

}  // namespace

class ImageEffectsTest : public QObject {
  Q_OBJECT

 private slots:
  void quarterTurnResizesThePart();
  void filtersChangeThePicture();
  void filtersLeaveOutOfRangeAmounts();
  void failuresNameThePart();
  void copiesAndSizeChange();
  void shapesAndTextOnAnImagePart();
  void tilesCoverThePicture();
  void listsAndMainWindowCommands();
  void moreFiltersAndPictures();
};

void ImageEffectsTest::quarterTurnResizesThePart() {
  QTemporaryDir dir;
  write_picture(dir, "p.png", numbered(3, 2));
  GuiRun run;
  run_in(run, dir, u(kLoad3x2) + u("絵を右回転\n"));
  QCOMPARE(errors(run), QString());
  QImage turned = picture_of(run, "絵");
  QCOMPARE(turned.size(), QSize(2, 3));
  QCOMPARE(run.Widget("絵")->size(), QSize(2, 3));
  QCOMPARE(turned.pixel(1, 0), numbered_pixel(0, 0));
  QCOMPARE(turned.pixel(0, 2), numbered_pixel(2, 1));
  // Four turns and two flips of each kind give the picture back.
  GuiRun round;
  run_in(round, dir,
         u(kLoad3x2) + u("絵を右回転\n絵を右回転\n絵を右回転\n絵を右回転\n絵を垂直反転\n"
                         "絵を水平反転\n絵を水平反転\n絵を垂直反転\n"));
  QCOMPARE(errors(round), QString());
  QImage back = picture_of(round, "絵");
  QCOMPARE(back.size(), QSize(3, 2));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) QCOMPARE(back.pixel(x, y), numbered_pixel(x, y));
}

void ImageEffectsTest::filtersChangeThePicture() {
  QTemporaryDir dir;
  write_picture(dir, "red.png", graphics::Bitmap(4, 4, 24, 0xFFFF0000u));
  write_picture(dir, "p.png", numbered(3, 2));
  GuiRun run;
  run_in(run, dir,
         u("「赤」をイメージとして作成\n赤の画像は「red.png」\n赤をグレイスケール変換\n"
           "「負」をイメージとして作成\n負の画像は「red.png」\n負をネガポジ反転\n"
           "「明」をイメージとして作成\n明の画像は「red.png」\n明を255度明るさ補正\n"
           "「回」をイメージとして作成\n回の画像は「p.png」\n回を180度画像平面回転\n"
           "「ボ」をイメージとして作成\nボの画像は「p.png」\nボを1度画像ボカシ\n"
           "「ビ」をイメージとして作成\nビの画像は「p.png」\nビを1ビットに画像ビット数変更\n"));
  QCOMPARE(errors(run), QString());
  QCOMPARE(picture_of(run, "赤").pixel(3, 3), qRgb(76, 76, 76));
  QCOMPARE(picture_of(run, "負").pixel(0, 0), qRgb(0, 255, 255));
  QCOMPARE(picture_of(run, "明").pixel(1, 2), qRgb(255, 255, 255));
  // 180 degrees in place turns about the middle of the pixels: every pixel changes places with
  // its mirror image and none is lost to white, odd width included.
  QImage half_turn = picture_of(run, "回");
  QCOMPARE(half_turn.size(), QSize(3, 2));
  QCOMPARE(half_turn.pixel(0, 0), numbered_pixel(2, 1));
  QCOMPARE(half_turn.pixel(1, 1), numbered_pixel(1, 0));
  QCOMPARE(half_turn.pixel(2, 0), numbered_pixel(0, 1));
  // Box blur of radius 1 at (0, 0): the red bytes 0, 0, 10 across twice over, then down.
  QCOMPARE(qRed(picture_of(run, "ボ").pixel(0, 0)), 3);
  QCOMPARE(picture_of(run, "ビ").pixel(2, 1), qRgb(0, 0, 0));
}

void ImageEffectsTest::filtersLeaveOutOfRangeAmounts() {
  QTemporaryDir dir;
  // Even sides: turning by 0 degrees lands every pixel centre exactly on its source.
  write_picture(dir, "p.png", numbered(4, 2));
  GuiRun run;
  run_in(run, dir,
         u(kLoad3x2) + u("絵を300度明るさ補正\n絵を2.2度ガンマ補正\n絵を0.5度ガンマ補正\n"
                         "絵を0度画像平面回転\n"));
  QCOMPARE(errors(run), QString());
  QImage same = picture_of(run, "絵");
  QCOMPARE(same.size(), QSize(4, 2));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) QCOMPARE(same.pixel(x, y), numbered_pixel(x, y));
}

void ImageEffectsTest::failuresNameThePart() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir, u("「無い絵」をネガポジ反転\n"));
  QVERIFY2(errors(run).contains(u("部品\"無い絵\"は、作成されていません。")),
           qPrintable(errors(run)));
  GuiRun button;
  run_in(button, dir, u("「ボ」をボタンとして作成\nボを右回転\n"));
  QVERIFY2(errors(button).contains(u("\"ボ\"は、イメージではありません。")),
           qPrintable(errors(button)));
  GuiRun depth;
  write_picture(dir, "p.png", numbered(3, 2));
  run_in(depth, dir, u(kLoad3x2) + u("絵を7ビットに画像ビット数変更\n"));
  QVERIFY2(errors(depth).contains(u("命令の引数に誤りがあります")), qPrintable(errors(depth)));
  GuiRun polygon;
  run_in(polygon, dir, u("「絵」をイメージとして作成\n絵に「(1,1)\n(5,5)」の多角形描画\n"));
  QVERIFY2(errors(polygon).contains(u("座標配列を３つ以上")), qPrintable(errors(polygon)));
}

void ImageEffectsTest::copiesAndSizeChange() {
  QTemporaryDir dir;
  write_picture(dir, "p.png", numbered(3, 2));
  write_picture(dir, "black.png", graphics::Bitmap(6, 6, 24, 0xFF000000u));
  GuiRun run;
  run_in(run, dir,
         u("「黒」をイメージとして作成\n黒の画像は「black.png」\n"
           "「p.png」を黒の(2,3)にイメージコピー\n"
           "「p.png」の(1,0,3,2)を黒の(0,0)にイメージ部分コピー\n"
           "「白」をイメージとして作成\n白の画像は「black.png」\n"
           "「p.png」を白の(0,0)に50パーセントイメージ半透明コピー\n"
           "「大」をイメージとして作成\n大の画像は「p.png」\n大を(6,4)にイメージサイズ変更\n"));
  QCOMPARE(errors(run), QString());
  QImage black = picture_of(run, "黒");
  QCOMPARE(black.pixel(2, 3), numbered_pixel(0, 0));
  QCOMPARE(black.pixel(4, 4), numbered_pixel(2, 1));
  QCOMPARE(black.pixel(0, 0), numbered_pixel(1, 0));
  QCOMPARE(black.pixel(1, 1), numbered_pixel(2, 1));
  QCOMPARE(black.pixel(2, 0), qRgb(0, 0, 0));
  QCOMPARE(black.pixel(5, 5), qRgb(0, 0, 0));
  // Half of (10, 0, 200) over black: 5 and 100 exactly, 0.5 would round to even.
  QCOMPARE(picture_of(run, "白").pixel(1, 0), qRgb(5, 0, 100));
  QImage big = picture_of(run, "大");
  QCOMPARE(big.size(), QSize(6, 4));
  QCOMPARE(run.Widget("大")->size(), QSize(6, 4));
  QCOMPARE(big.pixel(5, 3), numbered_pixel(2, 1));
  QCOMPARE(big.pixel(2, 1), numbered_pixel(1, 0));
}

void ImageEffectsTest::shapesAndTextOnAnImagePart() {
  QTemporaryDir dir;
  write_picture(dir, "white.png", graphics::Bitmap(60, 60, 24, 0xFFFFFFFFu));
  GuiRun run;
  run_in(run, dir,
         u("「絵」をイメージとして作成\n絵の画像は「white.png」\n"
           "ペン色は$0000FF\nペン太さは1\n塗り色は$00FF00\n"
           "絵の(0,5)から(59,5)へ線描画\n"
           "絵の(10,10)から(20,20)へ四角形描画\n"
           "絵の(30,10)から(50,30)へ円形描画\n"
           "絵に(2,22)から(8,38)へ(2,2)の角丸四角形描画\n"
           "絵に「(40,32)\n(58,32)\n(58,39)」の多角形描画\n"
           "文字色は$000000\n絵の(2,42)へ「あ」と文字描画\n"));
  QCOMPARE(errors(run), QString());
  QImage p = picture_of(run, "絵");
  const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), white = qRgb(255, 255, 255);
  QCOMPARE(p.pixel(30, 5), red);     // the line
  QCOMPARE(p.pixel(10, 15), red);    // the rectangle's outline
  QCOMPARE(p.pixel(15, 15), green);  // its inside, filled with the brush
  QCOMPARE(p.pixel(40, 20), green);  // the ellipse's middle
  QCOMPARE(p.pixel(31, 11), white);  // outside the ellipse, in its rectangle's corner
  QCOMPARE(p.pixel(5, 30), green);   // the rounded rectangle
  QCOMPARE(p.pixel(55, 34), green);  // inside the polygon
  QCOMPARE(p.pixel(42, 38), white);  // outside it
  bool dark = false;
  for (int y = 42; y < 60; ++y)
    for (int x = 2; x < 18; ++x) dark = dark || qGray(p.pixel(x, y)) < 100;
  QVERIFY(dark);  // the character's strokes
  // The main window's picture was not drawn on.
  QCOMPARE(run.window().Img().Image().pixel(30, 5), white);
}

void ImageEffectsTest::tilesCoverThePicture() {
  QTemporaryDir dir;
  write_picture(dir, "p.png", numbered(3, 2));
  write_picture(dir, "white.png", graphics::Bitmap(7, 5, 24, 0xFFFFFFFFu));
  GuiRun run;
  run_in(run, dir,
         u("「絵」をイメージとして作成\n絵の画像は「white.png」\n絵へ「p.png」をタイル描画\n"));
  QCOMPARE(errors(run), QString());
  QImage p = picture_of(run, "絵");
  QCOMPARE(p.pixel(0, 0), numbered_pixel(0, 0));
  QCOMPARE(p.pixel(4, 3), numbered_pixel(1, 1));
  QCOMPARE(p.pixel(6, 4), numbered_pixel(0, 0));
}

void ImageEffectsTest::listsAndMainWindowCommands() {
  QTemporaryDir dir;
  GuiRun run;
  run_in(run, dir,
         u("Fはフォント一覧を取得\n形式は画像対応形式取得\n"
           "「窓」をイメージとして作成\n窓へ「母艦」を窓キャプチャー\n"
           "200で画面フェードアウト\n"));
  QCOMPARE(errors(run), QString());
  QVERIFY(!run.Value("F").isEmpty());
  QVERIFY(run.Value("形式").contains(QStringLiteral("PNG")));
  QCOMPARE(picture_of(run, "窓").size(), run.window().size());
  // After fading out the main picture is black.
  QCOMPARE(run.window().Img().Image().pixel(3, 3), qRgb(0, 0, 0));
}

void ImageEffectsTest::moreFiltersAndPictures() {
  QTemporaryDir dir;
  write_picture(dir, "p.png", numbered(3, 2));
  write_picture(dir, "grey.png", graphics::Bitmap(2, 2, 24, 0xFF808080u));
  {
    QFile icon(dir.filePath("i.ico"));
    QVERIFY(icon.open(QIODevice::WriteOnly));
    std::string bytes = graphics::Encode(numbered(4, 4), graphics::ImageFormat::Ico);
    icon.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
  GuiRun run;
  run_in(run, dir,
         u("「回」をイメージとして作成\n回の画像は「p.png」\n回を90度画像回転\n"
           "「セ」をイメージとして作成\nセの画像は「grey.png」\nセを「#204060」で画像セピア\n"
           "「縁」をイメージとして作成\n縁の画像は「grey.png」\n縁を画像エッジ検出\n"
           "「鋭」をイメージとして作成\n鋭の画像は「grey.png」\n鋭を100度画像シャープ\n"
           "「ア」をイメージとして作成\n「i.ico」の0をアにアイコン抽出\n"
           "画面クリア($FFFFFF)\n「p.png」を2で画像拡大表示\n描画処理反映\n0で画面フェードイン\n"));
  QCOMPARE(errors(run), QString());
  // 90 degrees of 3 x 2 needs 3 x 4; the part grows to hold all of it.
  QCOMPARE(picture_of(run, "回").size(), QSize(3, 4));
  QCOMPARE(run.Widget("回")->size(), QSize(3, 4));
  QCOMPARE(picture_of(run, "セ").pixel(0, 0), qRgb(0x20, 0x40, 0x60));  // grey 128 is the tone
  QCOMPARE(picture_of(run, "縁").pixel(1, 1), qRgb(0, 0, 0));  // a flat picture has no edges
  QCOMPARE(picture_of(run, "鋭").pixel(1, 1), qRgb(128, 128, 128));
  QImage icon = picture_of(run, "ア");
  QCOMPARE(icon.size(), QSize(4, 4));
  QCOMPARE(icon.pixel(3, 2), numbered_pixel(3, 2));
  // Twice the size at the drawing position (10, 10): the pixel (2, 1) covers (14..15, 12..13).
  QImage main = run.window().Img().Image();
  QCOMPARE(main.pixel(10, 10), numbered_pixel(0, 0));
  QCOMPARE(main.pixel(15, 13), numbered_pixel(2, 1));
  QCOMPARE(main.pixel(16, 10), qRgb(255, 255, 255));

  GuiRun bad_icon;
  run_in(bad_icon, dir, u("「ア」をイメージとして作成\n「i.ico」の1をアにアイコン抽出\n"));
  QVERIFY(errors(bad_icon).contains(u("からアイコンを抽出できません。")));
}

QTEST_MAIN(ImageEffectsTest)
#include "image_effects_test.moc"
