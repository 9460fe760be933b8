// GUI tests of the image, animation and browser parts: their properties, painting and events.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "engine/interpreter.h"
#include "graphics/codecs.h"
#include "gui/kinds/media.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::kDeadlineMs;
using morivel::testing::u;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

void write_file(const QString& path, const std::string& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void write_picture_file(const QString& path, int width, int height, std::uint32_t argb) {
  write_file(path, graphics::Encode(graphics::Bitmap(width, height, 24, argb),
                                    graphics::ImageFormat::Png));
}

// A property read the way a script reads it.
QString read(GuiRun& run, const char* part, const char* property) {
  return gui::to_qstring(run.ReadProperty(part, property));
}

void write(GuiRun& run, const char* part, const char* property, const QString& value) {
  run.WriteProperty(part, property, gui::from_qstring(value));
}

// An error dialog would wait for an answer: it is dismissed, and the error log tells.
void run_script(GuiRun& run, const char* utf8_source) {
  morivel::testing::ModalDriver driver({});
  run.Run(utf8_source);
}

QRgb shown(QWidget* widget, int x, int y) {
  return widget->grab().toImage().pixel(x, y) | 0xFF000000u;
}

// Runs the script with the temporary folder as the current folder, and keeps it so while the
// events the test sends later load their files.
class InFolder {
 public:
  explicit InFolder(const QTemporaryDir& dir) : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir.path());
  }
  ~InFolder() { QDir::setCurrent(previous_); }

 private:
  QString previous_;
};

}  // namespace

class PartsMediaTest : public QObject {
  Q_OBJECT

 private slots:
  void imagePropertiesAndPainting();
  void imageMouseEventsReportPositionAndKeys();
  void animePlaysFramesThenStops();
  void animeButtonModesAndClicks();
  void browserShowsLocalPagesAndAsksBeforeNavigating();
  void browserNewWindowGoesToNamedBrowser();
};

void PartsMediaTest::imagePropertiesAndPainting() {
  QTemporaryDir dir;
  // Left column red (the bottom-left pixel decides the see-through colour), the rest blue.
  QImage picture(4, 4, QImage::Format_RGB32);
  picture.fill(kBlue);
  for (int y = 0; y < 4; ++y) picture.setPixel(0, y, kRed);
  QVERIFY(picture.save(dir.filePath("two.png")));
  InFolder here(dir);
  GuiRun run;
  run_script(run, "「絵」をイメージとして作成\n絵の画像は「two.png」\n");
  QWidget* view = run.Widget("絵");
  QVERIFY(view);
  QCOMPARE(view->size(), QSize(105, 105));
  QCOMPARE(read(run, "絵", "画像"), u("two.png"));

  QCOMPARE(shown(view, 0, 0), kRed);
  QCOMPARE(shown(view, 2, 2), kBlue);
  QVERIFY(shown(view, 100, 100) != kBlue);

  write(run, "絵", "透過処理", "1");
  write(run, "絵", "拡大機能", "1");
  QCOMPARE(read(run, "絵", "透過処理"), u("1"));
  QCOMPARE(read(run, "絵", "拡大機能"), u("1"));
  // Stretched over the whole control, with the red column see-through.
  QCOMPARE(shown(view, 100, 100), kBlue);
  QVERIFY(shown(view, 3, 50) != kRed);

  write(run, "絵", "拡大機能", "0");
  write(run, "絵", "透過処理", "0");
  QCOMPARE(read(run, "絵", "拡大機能"), u("0"));
  QCOMPARE(shown(view, 0, 3), kRed);
  write(run, "絵", "画像", "");
  QVERIFY(shown(view, 2, 2) != kBlue);
}

void PartsMediaTest::imageMouseEventsReportPositionAndKeys() {
  GuiRun run;
  run_script(run,
             "「絵」をイメージとして作成\n"
             "絵のクリックした時は「押した」\n"
             "絵のダブルクリックした時は「二度」\n"
             "絵のイベントは「下げた」\n"
             "下げ数=0\n"
             "待機\n"
             "*押した\n"
             "X=マウスX\n"
             "Y=マウスY\n"
             "K=押された特殊キー\n"
             "戻る\n"
             "*二度\n"
             "二度押し=1\n"
             "戻る\n"
             "*下げた\n"
             "下げ数=下げ数+1\n"
             "戻る\n");
  QWidget* view = run.Widget("絵");
  QVERIFY(view);
  QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(7, 9));
  QCOMPARE(run.Value("X"), u("7"));
  QCOMPARE(run.Value("Y"), u("9"));
  QCOMPARE(run.Value("K"), u("Shift\r\nCtrl\r\nLeft"));
  // イベント of an image part is its mouse-pressed event.
  QCOMPARE(run.Value("下げ数"), u("1"));
  QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  QCOMPARE(run.Value("二度押し"), u("1"));
}

void PartsMediaTest::animePlaysFramesThenStops() {
  QTemporaryDir dir;
  write_picture_file(dir.filePath("f0.png"), 8, 8, 0xFFFF0000u);
  write_picture_file(dir.filePath("f1.png"), 8, 8, 0xFF00FF00u);
  write_picture_file(dir.filePath("f2.png"), 8, 8, 0xFF0000FFu);
  InFolder here(dir);
  GuiRun run;
  run_script(run,
             "「動」をアニメとして作成\n"
             // Written as 設定: in an assignment 回数 would be read as the system word.
             "「動」の「繰り返し回数」を1に設定\n"
             "動の値は0\n"
             "二枚=「f0.png」&改行&「f1.png」\n"
             "動の画像は「{二枚}」\n"
             "動の追加画像は「f2.png」\n"
             "動の効果音は「鐘.wav」\n");
  QVERIFY2(run.interpreter().ErrorLog().empty(), run.interpreter().ErrorLog().c_str());
  auto* view = qobject_cast<gui::AnimeView*>(run.Widget("動"));
  QVERIFY(view);
  QCOMPARE(view->size(), QSize(105, 105));
  QCOMPARE(view->FrameCount(), 3);
  // An interval of 0 holds the first frame.
  QVERIFY(!view->Playing());
  QCOMPARE(read(run, "動", "値"), u("0"));
  QCOMPARE(shown(view, 4, 4), kRed);
  QCOMPARE(read(run, "動", "効果音"), u("鐘.wav"));
  QCOMPARE(read(run, "動", "繰り返し回数"), u("1"));

  write(run, "動", "値", "10");
  QVERIFY(view->Playing());
  // One round, then it rests on the last frame.
  QTRY_VERIFY_WITH_TIMEOUT(!view->Playing(), kDeadlineMs);
  QCOMPARE(read(run, "動", "値"), u("2"));
  QCOMPARE(shown(view, 4, 4), kBlue);

  write(run, "動", "画像", "f1.png");
  QCOMPARE(view->FrameCount(), 1);
  write(run, "動", "拡大機能", "1");
  QCOMPARE(read(run, "動", "拡大機能"), u("1"));
  QCOMPARE(shown(view, 100, 100) & 0xFFFFFF, qRgb(0, 255, 0) & 0xFFFFFF);

  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis("動"));
  parts.PartOf(*parts.NodeOfWord(*word))->Deactivate();
  QCOMPARE(view->FrameCount(), 0);
  QVERIFY(!view->Playing());
}

void PartsMediaTest::animeButtonModesAndClicks() {
  GuiRun run;
  run_script(run,
             "「動」をアニメとして作成\n"
             "動のボタン機能は2\n"
             "押し数=0\n"
             "動のクリックした時は「押した」\n"
             "待機\n"
             "*押した\n"
             "押し数=押し数+1\n"
             "戻る\n");
  auto* view = qobject_cast<gui::AnimeView*>(run.Widget("動"));
  QVERIFY(view);
  QCOMPARE(read(run, "動", "ボタン機能"), u("2"));
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(view->Pressed());
  QCOMPARE(run.Value("押し数"), u("1"));
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(!view->Pressed());
  QCOMPARE(run.Value("押し数"), u("2"));

  write(run, "動", "ボタン機能", "1");
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(view->Pressed());
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(!view->Pressed());
  write(run, "動", "ボタン機能", "7");
  QCOMPARE(read(run, "動", "ボタン機能"), u("0"));
}

void PartsMediaTest::browserShowsLocalPagesAndAsksBeforeNavigating() {
  QTemporaryDir dir;
  write_file(dir.filePath("one.html"),
             u("<html><head><title>一頁</title></head><body><a href=\"two.html\">次</a>"
               "</body></html>")
                 .toStdString());
  // A page in Shift-JIS.
  write_file(dir.filePath("two.html"),
             text::sjis("<html><head><title>二頁</title></head><body>本文</body></html>"));
  InFolder here(dir);
  GuiRun run;
  run_script(run,
             "「閲」をブラウザとして作成\n"
             "許可値=1\n"
             "前数=0\n"
             "後数=0\n"
             "閲のクリックした時は「前」\n"
             "閲の変更した時は「後」\n"
             "閲のURLは「one.html」\n"
             "待機\n"
             "*前\n"
             "前数=前数+1\n"
             "行先=ブラウザ移動先URL\n"
             "ブラウザURL移動許可=許可値\n"
             "戻る\n"
             "*後\n"
             "後数=後数+1\n"
             "戻る\n");
  QVERIFY2(run.interpreter().ErrorLog().empty(), run.interpreter().ErrorLog().c_str());
  auto* view = qobject_cast<gui::PageView*>(run.Widget("閲"));
  QVERIFY(view);
  QCOMPARE(run.Value("前数"), u("1"));
  QCOMPARE(run.Value("行先"), u("one.html"));
  QTRY_COMPARE_WITH_TIMEOUT(run.Value("後数"), u("1"), kDeadlineMs);
  QCOMPARE(read(run, "閲", "タイトル"), u("一頁"));
  QCOMPARE(read(run, "閲", "URL"), u("one.html"));
  QCOMPARE(read(run, "閲", "テキスト"), u("one.html"));

  // A link resolves against the page it is on.
  emit view->anchorClicked(QUrl(QStringLiteral("two.html")));
  QCOMPARE(run.Value("前数"), u("2"));
  QCOMPARE(run.Value("行先"), QDir(dir.path()).absoluteFilePath("two.html"));
  QCOMPARE(read(run, "閲", "タイトル"), u("二頁"));
  QVERIFY(view->toPlainText().contains(u("本文")));
  QTRY_COMPARE_WITH_TIMEOUT(run.Value("後数"), u("2"), kDeadlineMs);

  // The event's answer counts: refused, the page stays.
  run.interpreter().FindWord(text::sjis("許可値"))->SetValue("0");
  write(run, "閲", "URL", "one.html");
  QCOMPARE(run.Value("前数"), u("3"));
  QCOMPARE(read(run, "閲", "タイトル"), u("二頁"));
  QTest::qWait(50);
  QCOMPARE(run.Value("後数"), u("2"));

  run.interpreter().FindWord(text::sjis("許可値"))->SetValue("1");
  write(run, "閲", "URL", "https://example.com/");
  QVERIFY(view->toPlainText().contains(u("https://example.com/")));
  write(run, "閲", "URL", "data:text/html,<title>%E3%83%87</title>x");
  QCOMPARE(read(run, "閲", "タイトル"), u("デ"));
  write(run, "閲", "URL", "nowhere.html");
  QVERIFY(view->toPlainText().contains(u("nowhere.html")));
}

void PartsMediaTest::browserNewWindowGoesToNamedBrowser() {
  QTemporaryDir dir;
  write_file(dir.filePath("one.html"),
             "<html><body><a href=\"two.html\" target=\"_blank\">new</a>"
             "<a href=\"./two.html\">same</a></body></html>");
  write_file(dir.filePath("two.html"), "<html><head><title>two</title></head></html>");
  InFolder here(dir);
  GuiRun run;
  run_script(run,
             "「閲」をブラウザとして作成\n"
             "「副閲」をブラウザとして作成\n"
             "開数=0\n"
             "閲の開いた時は「新窓時」\n"
             "ブラウザ新規ブラウザ=「副閲」\n"
             "閲のURLは「one.html」\n"
             "待機\n"
             "*新窓時\n"
             "開数=開数+1\n"
             "戻る\n");
  auto* view = qobject_cast<gui::PageView*>(run.Widget("閲"));
  QVERIFY(view);
  emit view->anchorClicked(QUrl(QStringLiteral("two.html")));
  QCOMPARE(run.Value("開数"), u("1"));
  QCOMPARE(read(run, "副閲", "タイトル"), u("two"));
  QVERIFY(read(run, "閲", "タイトル").isEmpty());

  run.interpreter().FindWord(text::sjis("ブラウザ新規ブラウザ"))->SetValue(text::sjis("禁止"));
  emit view->anchorClicked(QUrl(QStringLiteral("two.html")));
  QCOMPARE(run.Value("開数"), u("2"));
  QVERIFY(read(run, "閲", "タイトル").isEmpty());
  // A plain link stays in its own browser.
  emit view->anchorClicked(QUrl(QStringLiteral("./two.html")));
  QCOMPARE(run.Value("開数"), u("2"));
  QCOMPARE(read(run, "閲", "タイトル"), u("two"));
}

QTEST_MAIN(PartsMediaTest)
#include "parts_media_test.moc"
