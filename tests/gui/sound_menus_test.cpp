// GUI tests of the sound commands (the media player's states through whole play and stop cycles,
// MCI answers, MML) and of メニューパス作成, on the offscreen platform; without an audio device the
// player plays to no output.
#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <fstream>

#include "gui/kinds/form_part.h"
#include "gui/part_registry.h"
#include "media/media_player.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::kDeadlineMs;
using morivel::testing::u;

namespace {

// A 16-bit mono 22.05 kHz sine of `seconds`.
void write_wave(const QString& path, double seconds) {
  const int rate = 22050;
  const auto samples = static_cast<std::uint32_t>(rate * seconds);
  std::string data;
  auto put = [&data](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  data += "RIFF";
  put(36 + samples * 2, 4);
  data += "WAVEfmt ";
  put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(rate * 2, 4), put(2, 2), put(16, 2);
  data += "data";
  put(samples * 2, 4);
  for (std::uint32_t i = 0; i < samples; ++i)
    put(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(i * 0.125))), 2);
  std::ofstream(path.toStdString(), std::ios::binary) << data;
}

std::string script_path(const QString& path) {
  return text::to_utf8(text::from_utf8(path.toStdString()));
}

QString error_log(GuiRun& run) {
  return gui::to_qstring(run.interpreter().ErrorLog());
}

QAction* menu_action(GuiRun& run, const char* name) {
  gui::PartRegistry& parts = run.session().Front().Parts();
  words::THashNode* word = parts.FindWord(run.interpreter(), text::sjis(name));
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  auto* item = node ? dynamic_cast<gui::MenuPart*>(parts.PartOf(*node)) : nullptr;
  return item ? item->Action() : nullptr;
}

}  // namespace

class SoundMenusTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void stateTextsThroughPlayAndStopCycles();
  void repeatFlagAndTheVariableIsRestored();
  void mciAnswersEachCommand();
  void mmlPlaysAndBadMmlIsTheConvertersError();
  void beepAndMissingFilesAndWaves();
  void menuPathsMakeNestedItemsOnce();

 private:
  QTemporaryDir dir_;
  QString wav_, ogg_;
};

void SoundMenusTest::initTestCase() {
  QVERIFY(dir_.isValid());
  wav_ = dir_.filePath("tone.wav");
  write_wave(wav_, 0.6);
  ogg_ = dir_.filePath("tone.ogg");
  QProcess sox;
  sox.start("sox", {wav_, ogg_});
  if (!sox.waitForFinished(kDeadlineMs) || sox.exitCode() != 0) ogg_.clear();
}

void SoundMenusTest::stateTextsThroughPlayAndStopCycles() {
  for (const QString& file : {ogg_, wav_}) {
    if (file.isEmpty()) continue;  // no OGG encoder here
    // Wave files go to the wave player; through MCI they reach the media player too. At the end
    // 演奏 closes the player, while MCI leaves it stopped.
    const bool wave = file == wav_;
    GuiRun run(/*console=*/true);
    std::string path = script_path(file);
    std::string play = wave ? "「open " + path + " alias s」をMCI送信\n「play s」をMCI送信\n"
                            : "「" + path + "」を演奏\n";
    std::string close = wave ? "「close s」をMCI送信\n" : "";
    run.Run(("前=演奏状態\n" + play + "中=演奏状態\n1.2秒待つ\n後=演奏状態\n" + close +
             "閉=演奏状態\n" + play + "再=演奏状態\n演奏停止\n止=演奏状態\n")
                .c_str());
    QCOMPARE(error_log(run), QString());
    QCOMPARE(run.Value("前"), u("未設定"));
    QCOMPARE(run.Value("中"), u("演奏中"));
    QCOMPARE(run.Value("後"), wave ? u("停止中") : u("未設定"));
    QCOMPARE(run.Value("閉"), u("未設定"));
    QCOMPARE(run.Value("再"), u("演奏中"));
    QCOMPARE(run.Value("止"), u("未設定"));
  }
}

void SoundMenusTest::repeatFlagAndTheVariableIsRestored() {
  if (ogg_.isEmpty()) QSKIP("no OGG encoder here");
  GuiRun run(/*console=*/true);
  std::string path = script_path(ogg_);
  // With the repeat flag the player starts again at the end instead of closing; a second
  // 演奏 replaces the repeating file and plays once.
  run.Run(("演奏繰り返し=0\n「" + path + "」を繰り返し演奏\n後=演奏繰り返し\n1.5秒待つ\n" +
           "態=演奏状態\n「" + path + "」を演奏\n1.5秒待つ\n最後=演奏状態\n")
              .c_str());
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("後"), u("0"));
  QCOMPARE(run.Value("態"), u("演奏中"));
  QCOMPARE(run.Value("最後"), u("未設定"));
}

void SoundMenusTest::mciAnswersEachCommand() {
  GuiRun run(/*console=*/true);
  std::string open = "「open " + script_path(wav_) + " alias tone」をMCI送信\n開始=それ\n";
  run.Run(
      (open +
       "「set tone time format milliseconds」をMCI送信\n設=それ\n"
       "「status tone length」をMCI送信\n長=それ\n"
       "「status tone mode」をMCI送信\n態1=それ\n"
       "「play tone from 100 to 300 wait」をMCI送信\n待ち結果=それ\n"
       "「status tone mode」をMCI送信\n態2=それ\n"
       "「seek tone to 200」をMCI送信\n「status tone position」をMCI送信\n位=それ\n"
       "「play tone」をMCI送信\n「pause tone」をMCI送信\n「status tone mode」をMCI送信\n態3=それ\n"
       "「resume tone」をMCI送信\n「status tone mode」をMCI送信\n態4=それ\n"
       "「stop tone」をMCI送信\n「status tone mode」をMCI送信\n態5=それ\n"
       "「set tone time format frames」をMCI送信\n誤1=それ\n"
       "「status other mode」をMCI送信\n誤2=それ\n"
       "「record tone」をMCI送信\n誤3=それ\n"
       "「close tone」をMCI送信\n閉=それ\n"
       "「status tone mode」をMCI送信\n誤4=それ\n"
       "「open /no/such/file.wav」をMCI送信\n誤5=それ\n"
       "「」をMCI送信\n誤6=それ\n")
          .c_str());
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("開始"), u("1"));
  QCOMPARE(run.Value("設"), QString());
  QVERIFY2(std::abs(run.Value("長").toInt() - 600) <= 30, qPrintable(run.Value("長")));
  QCOMPARE(run.Value("態1"), u("stopped"));
  QCOMPARE(run.Value("待ち結果"), QString());
  QCOMPARE(run.Value("態2"), u("stopped"));
  QCOMPARE(run.Value("位"), u("200"));
  QCOMPARE(run.Value("態3"), u("paused"));
  QCOMPARE(run.Value("態4"), u("playing"));
  QCOMPARE(run.Value("態5"), u("stopped"));
  QCOMPARE(run.Value("閉"), QString());
  for (const char* name : {"誤1", "誤2", "誤3", "誤4", "誤5", "誤6"})
    QVERIFY2(run.Value(name).startsWith(u("MCIエラー:")) && run.Value(name).size() > 8,
             qPrintable(QString(name) + "=" + run.Value(name)));
}

void SoundMenusTest::mmlPlaysAndBadMmlIsTheConvertersError() {
  GuiRun run(/*console=*/true);
  run.Run("「t240 l8 cdefgab>c」をMML演奏\n中=演奏状態\n演奏停止\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("中"), u("演奏中"));
  GuiRun bad(/*console=*/true);
  bad.Run("「c d x」をMML演奏\n");
  QVERIFY2(error_log(bad).contains(u("dTavela.dllのエラー。5文字目: ")),
           qPrintable(error_log(bad)));
}

void SoundMenusTest::beepAndMissingFilesAndWaves() {
  GuiRun run(/*console=*/true);
  run.Run(
      ("BEEP\n「" + script_path(wav_) + "」を繰り返し演奏\n波=演奏状態\n演奏停止\n「済」を表示\n")
          .c_str());
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("波"), u("未設定"));  // waves never reach the media player
  GuiRun missing(/*console=*/true);
  missing.Run("「/no/such/tune.ogg」を演奏\n");
  QVERIFY2(error_log(missing).contains(u("ファイル\"/no/such/tune.ogg\"が、ありません。")),
           qPrintable(error_log(missing)));
}

void SoundMenusTest::menuPathsMakeNestedItemsOnce() {
  GuiRun run(/*console=*/true);
  run.Run(
      "『ファイル\\開く\nファイル\\保存\nファイル\\開く\\最近\n編集』をメニューパス作成\n"
      "上=ファイルメニューのテキスト\n"
      "開題=ファイル_開くメニューのテキスト\n"
      "保=ファイル_保存メニューのテキスト\n"
      "近=ファイル_開く_最近メニューのテキスト\n"
      "編=編集メニューのテキスト\n");
  QCOMPARE(error_log(run), QString());
  QCOMPARE(run.Value("上"), u("ファイル"));
  QCOMPARE(run.Value("開題"), u("開く"));
  QCOMPARE(run.Value("保"), u("保存"));
  QCOMPARE(run.Value("近"), u("最近"));
  QCOMPARE(run.Value("編"), u("編集"));
  QAction* file = menu_action(run, "ファイルメニュー");
  QAction* open = menu_action(run, "ファイル_開くメニュー");
  QAction* save = menu_action(run, "ファイル_保存メニュー");
  QAction* recent = menu_action(run, "ファイル_開く_最近メニュー");
  QVERIFY(file && open && save && recent);
  QVERIFY(file->menu());
  QCOMPARE(file->menu()->actions().count(), 2);  // 開く once, though two lines name it
  QVERIFY(file->menu()->actions().contains(open));
  QVERIFY(file->menu()->actions().contains(save));
  QVERIFY(open->menu() && open->menu()->actions().contains(recent));
}

QTEST_MAIN(SoundMenusTest)
#include "sound_menus_test.moc"
