// GUI tests of pictures on parts: loading and saving through image parts, 画像表示, picture data
// in Base64, and the names the loader accepts.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "engine/interpreter.h"
#include "graphics/codecs.h"
#include "gui/canvas.h"
#include "gui/images.h"
#include "gui/kinds/form_part.h"
#include "gui/kinds/media.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "support/gui_run.h"
#include "text/encoding.h"
#include "text/mime.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::u;

namespace {

// Six colours at most, so that every format (MAG's palette too) holds them exactly.
graphics::Bitmap pattern(int width, int height) {
  static const std::uint32_t colours[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                          0xFFFFFF00u, 0xFF000000u, 0xFFFFFFFFu};
  graphics::Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, colours[(x + 2 * y) % 6]);
  return bitmap;
}

graphics::Bitmap filled(int width, int height, std::uint32_t argb) {
  return graphics::Bitmap(width, height, 24, argb);
}

// Pseudo-random pixels: what compression has to work at.
graphics::Bitmap noise(int width, int height) {
  graphics::Bitmap bitmap(width, height);
  std::uint32_t seed = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      bitmap.SetPixel(x, y, 0xFF000000u | (seed >> 8));
    }
  return bitmap;
}

void write_file(const QString& path, const std::string& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string read_file(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

gui::Part* part_of(GuiRun& run, const char* name) {
  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis(name));
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  return node ? parts.PartOf(*node) : nullptr;
}

QImage picture_of(GuiRun& run, const char* name) {
  auto* view = qobject_cast<gui::ImageView*>(run.Widget(name));
  return view ? view->Image() : QImage();
}

// Where the first pixel differs, or an empty text when the picture shows the bitmap exactly.
QString difference(const QImage& image, const graphics::Bitmap& bitmap, int tolerance = 0) {
  if (image.width() != bitmap.Width() || image.height() != bitmap.Height())
    return QStringLiteral("size %1x%2").arg(image.width()).arg(image.height());
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      QRgb got = image.pixel(x, y);
      std::uint32_t want = bitmap.Pixel(x, y);
      int dr = std::abs(qRed(got) - static_cast<int>((want >> 16) & 0xFF));
      int dg = std::abs(qGreen(got) - static_cast<int>((want >> 8) & 0xFF));
      int db = std::abs(qBlue(got) - static_cast<int>(want & 0xFF));
      if (std::max({dr, dg, db}) > tolerance)
        return QStringLiteral("pixel (%1,%2) is %3").arg(x).arg(y).arg(got, 8, 16);
    }
  return {};
}

// Runs a script with the temporary folder as the current folder.
void run_in(GuiRun& run, const QTemporaryDir& dir, const QString& script) {
  QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  // An error dialog would wait for an answer: it is dismissed, and the error log tells.
  morivel::testing::ModalDriver driver({});
  run.Run(script.toUtf8().constData());
  QDir::setCurrent(previous);
}

}  // namespace

class ImagesTest : public QObject {
  Q_OBJECT

 private slots:
  void savedPictureReadsBackExactly_data();
  void savedPictureReadsBackExactly();
  void jpegKeepsColoursAndQualityShrinksFile();
  void failuresGiveTheirMessages();
  void pictureShowStacksPicturesDownwards();
  void relativeNameFoundInScriptFolder();
  void partNameCopiesThatPartsPicture();
  void base64DataBecomesThePicture();
  void formPictureTakesLoadedImage();
};

void ImagesTest::savedPictureReadsBackExactly_data() {
  QTest::addColumn<QString>("extension");
  QTest::newRow("bmp") << QStringLiteral("bmp");
  QTest::newRow("png") << QStringLiteral("png");
  QTest::newRow("ico") << QStringLiteral("ico");
  QTest::newRow("mag") << QStringLiteral("mag");
  QTest::newRow("upper-case extension") << QStringLiteral("PNG");
}

void ImagesTest::savedPictureReadsBackExactly() {
  QFETCH(QString, extension);
  QTemporaryDir dir;
  graphics::Bitmap source = pattern(7, 5);
  write_file(dir.filePath("source.png"), graphics::Encode(source, graphics::ImageFormat::Png));
  GuiRun run;
  run_in(run, dir,
         u("「絵」をイメージとして作成\n"
           "絵の画像は「source.png」\n"
           "「out.%1」へ「絵」をイメージ保存\n"
           "「写し」をイメージとして作成\n"
           "写しの画像は「out.%1」\n")
             .arg(extension));

  QVERIFY(run.interpreter().ErrorLog().empty());
  QCOMPARE(difference(picture_of(run, "絵"), source), QString());
  std::string saved = read_file(dir.filePath("out." + extension));
  QVERIFY(!saved.empty());
  // The file is what its extension says, not some other format under that name.
  QCOMPARE(graphics::Sniff(saved), graphics::FormatFromExtension(extension.toStdString()));
  QCOMPARE(difference(picture_of(run, "写し"), source), QString());
  // The image part keeps its own size: a loaded picture does not resize it.
  QCOMPARE(run.Widget("写し")->size(), QSize(105, 105));
}

void ImagesTest::jpegKeepsColoursAndQualityShrinksFile() {
  QTemporaryDir dir;
  // Flat 16-pixel blocks survive JPEG nearly unchanged.
  graphics::Bitmap blocks(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      blocks.SetPixel(x, y, (x < 16) == (y < 16) ? 0xFFC04020u : 0xFF2040C0u);
  write_file(dir.filePath("blocks.png"), graphics::Encode(blocks, graphics::ImageFormat::Png));
  write_file(dir.filePath("noise.png"),
             graphics::Encode(noise(64, 64), graphics::ImageFormat::Png));
  GuiRun run;
  run_in(run, dir,
         u("「絵」をイメージとして作成\n"
           "絵の画像は「blocks.png」\n"
           "「blocks.jpg」へ「絵」をイメージ保存\n"
           "「写し」をイメージとして作成\n"
           "写しの画像は「blocks.jpg」\n"
           "絵の画像は「noise.png」\n"
           "JPEG圧縮率=95\n"
           "「fine.jpeg」へ「絵」をイメージ保存\n"
           "JPEG圧縮率=10\n"
           "「coarse.jpeg」へ「絵」をイメージ保存\n"));

  QVERIFY2(run.interpreter().ErrorLog().empty(), run.interpreter().ErrorLog().c_str());
  QCOMPARE(difference(picture_of(run, "写し"), blocks, 8), QString());
  std::string fine = read_file(dir.filePath("fine.jpeg"));
  std::string coarse = read_file(dir.filePath("coarse.jpeg"));
  QCOMPARE(graphics::Sniff(fine), graphics::ImageFormat::Jpeg);
  QVERIFY2(coarse.size() < fine.size(),
           qPrintable(QStringLiteral("%1 vs %2").arg(coarse.size()).arg(fine.size())));
}

void ImagesTest::failuresGiveTheirMessages() {
  QTemporaryDir dir;
  write_file(dir.filePath("broken.png"), "\x89PNG\r\n\x1a\nnot really");
  write_file(dir.filePath("plain.xyz"), "?");
  GuiRun run;
  run_in(run, dir,
         u("エラーを無視\n"
           "「絵」をイメージとして作成\n"
           "「押す」をポップアップとして作成\n"
           "絵の画像は「broken.png」\n"
           "E1=エラーメッセージ\n"
           "絵の画像は「missing.bmp」\n"
           "E2=エラーメッセージ\n"
           "絵の画像は「plain.xyz」\n"
           "E3=エラーメッセージ\n"
           "絵の画像は「どこにもない部品」\n"
           "E4=エラーメッセージ\n"
           "「out.gif」へ「絵」をイメージ保存\n"
           "E5=エラーメッセージ\n"
           "「out.bmp」へ「押す」をイメージ保存\n"
           "E6=エラーメッセージ\n"
           "「missing.bmp」を画像表示\n"
           "E7=エラーメッセージ\n"));

  QVERIFY2(run.Value("E1").contains(u("画像ファイル\"broken.png\"が読込めません。")),
           qPrintable(run.Value("E1")));
  // A broken file says more than a missing one: the decoder's reason follows.
  QVERIFY(!run.Value("E1").endsWith(u("読込めません。")));
  QVERIFY2(run.Value("E2").endsWith(u("画像ファイル\"missing.bmp\"が読込めません。")),
           qPrintable(run.Value("E2")));
  QVERIFY2(run.Value("E3").contains(u("\"plain.xyz\"が読込めません。未対応のファイル形式です。")),
           qPrintable(run.Value("E3")));
  QVERIFY2(run.Value("E4").contains(u("画像として、\"どこにもない部品\"を読み込めません。")),
           qPrintable(run.Value("E4")));
  // Commands report their own wording in the error log; エラーメッセージ names the command.
  QString log = gui::to_qstring(run.interpreter().ErrorLog());
  QVERIFY2(run.Value("E5").contains(u("『イメージ保存』")), qPrintable(run.Value("E5")));
  QVERIFY2(log.contains(u("\".gif\"は、未対応の画像ファイルです。")), qPrintable(log));
  QVERIFY(!QFile::exists(dir.filePath("out.gif")));
  QVERIFY2(log.contains(u("\"押す\"はイメージではありません。")), qPrintable(log));
  QVERIFY2(run.Value("E7").contains(u("『画像表示』")), qPrintable(run.Value("E7")));
  QVERIFY2(log.contains(u(": \"missing.bmp\"が読込めません。")), qPrintable(log));
  // The failed loads left the picture as it was: still blank.
  QCOMPARE(qAlpha(picture_of(run, "絵").pixel(0, 0)), 0);
}

void ImagesTest::pictureShowStacksPicturesDownwards() {
  QTemporaryDir dir;
  write_file(dir.filePath("red.png"),
             graphics::Encode(filled(6, 4, 0xFFFF0000u), graphics::ImageFormat::Png));
  write_file(dir.filePath("blue.bmp"),
             graphics::Encode(filled(5, 3, 0xFF0000FFu), graphics::ImageFormat::Bmp));
  GuiRun run;
  run_in(run, dir, u("「red.png」を画像表示\n「blue.bmp」を画像表示\n"));

  QVERIFY2(run.interpreter().ErrorLog().empty(), run.interpreter().ErrorLog().c_str());
  const QImage& img = run.window().Img().Image();
  auto at = [&img](int x, int y) { return img.pixel(x, y) | 0xFF000000u; };
  QCOMPARE(at(10, 10), qRgb(255, 0, 0));
  QCOMPARE(at(15, 13), qRgb(255, 0, 0));
  QCOMPARE(at(16, 13), qRgb(255, 255, 255));
  // The second picture starts on the row right after the first one, without a gap.
  QCOMPARE(at(10, 14), qRgb(0, 0, 255));
  QCOMPARE(at(14, 16), qRgb(0, 0, 255));
  QCOMPARE(at(10, 17), qRgb(255, 255, 255));
  QCOMPARE(run.interpreter().State().Drawing.Y, 17);

  GuiRun centred;
  run_in(centred, dir, u("センタリング\n「red.png」を画像表示\n"));
  const QImage& middle = centred.window().Img().Image();
  int left = (centred.window().Client().width() - 6) / 2;
  QCOMPARE(middle.pixel(left, 10) | 0xFF000000u, qRgb(255, 0, 0));
  QCOMPARE(middle.pixel(left - 1, 10) | 0xFF000000u, qRgb(255, 255, 255));
}

void ImagesTest::relativeNameFoundInScriptFolder() {
  QTemporaryDir script_dir, elsewhere;
  graphics::Bitmap source = pattern(3, 4);
  write_file(script_dir.filePath(u("花.png")),
             graphics::Encode(source, graphics::ImageFormat::Png));
  GuiRun run;
  QString previous = QDir::currentPath();
  QDir::setCurrent(elsewhere.path());
  std::string script_file = text::sjis(script_dir.filePath("run.mrv").toUtf8().constData());
  run.session().Run(text::sjis("「絵」をイメージとして作成\n絵の画像は「花.png」\n"), script_file);
  QDir::setCurrent(previous);

  QVERIFY2(run.interpreter().ErrorLog().empty(), run.interpreter().ErrorLog().c_str());
  QCOMPARE(difference(picture_of(run, "絵"), source), QString());
}

void ImagesTest::partNameCopiesThatPartsPicture() {
  QTemporaryDir dir;
  graphics::Bitmap source = pattern(4, 6);
  write_file(dir.filePath("p.bmp"), graphics::Encode(source, graphics::ImageFormat::Bmp));
  GuiRun run;
  run_in(run, dir,
         u("「原画」をイメージとして作成\n"
           "原画の画像は「p.bmp」\n"
           "「写し」をイメージとして作成\n"
           "写しの画像は「原画」\n"
           "原画の画像は「」\n"));

  QVERIFY2(run.interpreter().ErrorLog().empty(), run.interpreter().ErrorLog().c_str());
  QCOMPARE(difference(picture_of(run, "写し"), source), QString());
  // A copy, not a share: clearing the original leaves the copy.
  QCOMPARE(qAlpha(picture_of(run, "原画").pixel(0, 0)), 0);
  // Reading 画像 gives the name last written.
  QCOMPARE(run.Value("写し"), u("原画"));
}

void ImagesTest::base64DataBecomesThePicture() {
  graphics::Bitmap source = pattern(3, 2);
  std::string data = text::base64_encode(graphics::Encode(source, graphics::ImageFormat::Png));
  GuiRun run;
  run.Run(u("エラーを無視\n"
            "「絵」をイメージとして作成\n"
            "「png」形式の「%1」を「絵」にイメージデータ設定\n"
            "「GIF」形式の「%1」を「絵」にイメージデータ設定\n"
            "E1=エラーメッセージ\n"
            "「PNG」形式の「@@@」を「絵」にイメージデータ設定\n"
            "E2=エラーメッセージ\n"
            "「PNG」形式の「%1」を「」にイメージデータ設定\n"
            "E3=エラーメッセージ\n"
            "「押す」をポップアップとして作成\n"
            "「PNG」形式の「%1」を「押す」にイメージデータ設定\n"
            "E4=エラーメッセージ\n")
              .arg(QString::fromStdString(data))
              .toUtf8()
              .constData());

  QCOMPARE(difference(picture_of(run, "絵"), source), QString());
  QCOMPARE(run.Widget("絵")->size(), QSize(3, 2));
  QString log = gui::to_qstring(run.interpreter().ErrorLog());
  QVERIFY2(log.contains(u("未対応の画像形式です。")), qPrintable(log));
  QVERIFY2(log.contains(u("Base64のデコードに失敗しました。")), qPrintable(log));
  QVERIFY2(log.contains(u("イメージ部品が指定されていません。")), qPrintable(log));
  QVERIFY2(log.contains(u("\"押す\"は、イメージではありません。")), qPrintable(log));
  QVERIFY2(run.Value("E4").contains(u("『イメージデータ設定』")), qPrintable(run.Value("E4")));
}

void ImagesTest::formPictureTakesLoadedImage() {
  QTemporaryDir dir;
  graphics::Bitmap source = pattern(9, 8);
  write_file(dir.filePath("f.png"), graphics::Encode(source, graphics::ImageFormat::Png));
  GuiRun run;
  run_in(run, dir, u("「窓」をフォームとして作成\n「押す」をポップアップとして作成\n"));
  gui::PartRegistry& parts = run.session().Front().Parts();
  engine::Interpreter& in = run.interpreter();
  words::THashNode* word = parts.FindWord(in, text::sjis("窓"));
  QVERIFY(word);
  gui::PropertyCall call{in, parts, *parts.NodeOfWord(*word), *word, gui::kPropPicture};
  auto* form = dynamic_cast<gui::FormPart*>(part_of(run, "窓"));
  QVERIFY(form);

  QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  bool taken = gui::write_picture(call, "f.png");
  QDir::setCurrent(previous);
  QVERIFY(taken);
  QCOMPARE(difference(form->Img().Image(), source), QString());
  QVERIFY(gui::write_picture(call, ""));
  QCOMPARE(form->Img().Image().pixel(0, 0) | 0xFF000000u, qRgb(255, 255, 255));
  // Kinds without pictures are left to the caller's error.
  words::THashNode* button = parts.FindWord(in, text::sjis("押す"));
  gui::PropertyCall button_call{in, parts, *parts.NodeOfWord(*button), *button, gui::kPropPicture};
  QVERIFY(!gui::write_picture(button_call, "f.png"));
}

QTEST_MAIN(ImagesTest)
#include "images_test.moc"
