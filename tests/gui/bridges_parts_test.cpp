// GUI tests of the browser part's commands and of the agent character's window and voice.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bridges/agent.h"
#include "engine/interpreter.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::kDeadlineMs;
using morivel::testing::u;

namespace {

void write_file(const QString& path, const std::string& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QString error_log(GuiRun& run) {
  return QString::fromStdString(text::to_utf8(run.interpreter().ErrorLog()));
}

bridges::AgentWindow* agent_window() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* agent = qobject_cast<bridges::AgentWindow*>(w)) return agent;
  return nullptr;
}

// The largest absolute sample of a 16-bit PCM WAV file; -1 when it is no such file.
int loudest_sample(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  QByteArray bytes = file.readAll();
  if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return -1;
  int loudest = 0;
  for (qsizetype i = 44; i + 1 < bytes.size(); i += 2) {
    auto sample = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                            (static_cast<std::uint8_t>(bytes[i + 1]) << 8));
    loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
  }
  return loudest;
}

}  // namespace

class BridgesPartsTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void browserStepsThroughHistoryAndReadsWritesHtml();
  void browserCommandsNeedABrowser();
  void agentShowsPlaysAndSpeaks();
  void agentSpeechReachesWaveFile();

 private:
  QTemporaryDir dir_;
};

void BridgesPartsTest::initTestCase() {
  QVERIFY(dir_.isValid());
  // Speech goes to a file in these tests; the machine may have no sound device.
  bridges::Speaker::UseWaveFile(dir_.filePath("speech.wav").toStdString());
}

void BridgesPartsTest::browserStepsThroughHistoryAndReadsWritesHtml() {
  write_file(dir_.filePath("one.html"),
             "<html><head><title>one</title></head><BODY class=\"x\"><p>first</p></BODY></html>");
  write_file(dir_.filePath("two.html"), text::sjis("<html><body>\r\n<b>二つ目</b></body></html>"));
  QString previous = QDir::currentPath();
  QDir::setCurrent(dir_.path());
  GuiRun run;
  run.Run(
      "「閲」をブラウザとして作成\n"
      "閲のURLは「one.html」\n"
      "閲のURLは「two.html」\n"
      "本文二=ブラウザHTML取得(閲)\n"
      "閲をブラウザ戻る\n"
      "一番目=閲のURL\n"
      "本文一=ブラウザHTML取得(閲)\n"
      "閲をブラウザ戻る\n"
      "閲をブラウザ進む\n"
      "閲をブラウザ進む\n"
      "閲をブラウザ進む\n"
      "最後=閲のURL\n"
      "閲へ「<p>書いた</p>」をブラウザHTML書く\n"
      "書後=ブラウザHTML取得(閲)\n");
  QDir::setCurrent(previous);
  QVERIFY2(run.interpreter().ErrorLog().empty(), qPrintable(error_log(run)));
  QCOMPARE(run.Value("本文二"), u("\r\n<b>二つ目</b>"));
  QCOMPARE(run.Value("一番目"), u("one.html"));
  QCOMPARE(run.Value("本文一"), u("<p>first</p>"));
  QCOMPARE(run.Value("最後"), u("two.html"));
  QCOMPARE(run.Value("書後"), u("<p>書いた</p>"));
  auto* view = run.Control<QTextBrowser>("閲");
  QVERIFY(view);
  QVERIFY(view->toPlainText().contains(u("書いた")));
}

void BridgesPartsTest::browserCommandsNeedABrowser() {
  testing::ModalDriver driver({QString(), QString()});
  GuiRun button_run;
  button_run.Run("「釦」をボタンとして作成\n釦をブラウザ進む\n");
  QVERIFY2(error_log(button_run).contains(u("ブラウザ部品を指定してください。")),
           qPrintable(error_log(button_run)));
  GuiRun missing_run;
  missing_run.Run("無い物をブラウザ戻る\n");
  QVERIFY2(error_log(missing_run).contains(u("\"無い物\"は、部品ではありません。")),
           qPrintable(error_log(missing_run)));
}

void BridgesPartsTest::agentShowsPlaysAndSpeaks() {
  GuiRun run;
  run.Run(
      "エージェントマーリンを呼ぶ\n"
      "「挨拶」のエージェント動作\n"
      "「ようこそ」とエージェント言う\n"
      "(140,90)へエージェント移動\n");
  QVERIFY2(run.interpreter().ErrorLog().empty(), qPrintable(error_log(run)));
  bridges::AgentWindow* agent = agent_window();
  QVERIFY(agent);
  QVERIFY(agent->isVisible());
  QVERIFY(agent->windowFlags() & Qt::FramelessWindowHint);
  QVERIFY(agent->windowFlags() & Qt::WindowStaysOnTopHint);
  QCOMPARE(agent->Character(), u("Merlin"));
  QCOMPARE(agent->Animation(), u("Greet"));
  QVERIFY(agent->BubbleShown());
  QCOMPARE(agent->BubbleText(), u("ようこそ"));
  QCOMPARE(agent->pos(), QPoint(140, 90));

  // The bubble is drawn above the figure: its fill shows in the upper part, not in the lower.
  QImage shot = agent->grab().toImage();
  const QRgb bubble = qRgb(255, 255, 225);
  auto has_colour = [&](int top, int bottom) {
    for (int y = top; y < bottom; ++y)
      for (int x = 0; x < shot.width(); ++x)
        if ((shot.pixel(x, y) & 0xFFFFFF) == (bubble & 0xFFFFFF)) return true;
    return false;
  };
  QVERIFY(has_colour(0, shot.height() / 3));
  QVERIFY(!has_colour(shot.height() / 2, shot.height()));

  run.Run(
      "エージェントマーリンを呼ぶ\n"
      "「手を振る」のエージェント動作\n"
      "(300,200)にエージェントサイズ変更\n"
      "エージェント止める\n");
  agent = agent_window();
  QVERIFY(agent);
  QCOMPARE(agent->Animation(), u("手を振る"));
  QCOMPARE(agent->size(), QSize(300, 200));
  QVERIFY(!agent->BubbleShown());
  // Animations settle back into the resting pose.
  QTRY_COMPARE_WITH_TIMEOUT(agent->Animation(), u("RestPose"), kDeadlineMs);

  run.Run("「博士」を「Doctor.acs」でエージェントロード\nエージェント表示\nエージェント非表示\n");
  agent = agent_window();
  QVERIFY(agent);
  QCOMPARE(agent->Character(), u("博士"));
  QVERIFY(!agent->isVisible());
  run.Run("エージェント表示\nエージェント終了\n");
  QVERIFY(!agent_window());
}

void BridgesPartsTest::agentSpeechReachesWaveFile() {
  if (!bridges::Speaker::Instance().Available())
    QSKIP("espeak-ng is not installed: speech is silent here");
  GuiRun run;
  run.Run(
      "日本語にエージェント言語変更\n"
      "「こんにちは、今日は晴れです」とエージェント言う\n"
      "エージェント待つ\n"
      "「済」を表示\n");
  QVERIFY2(run.interpreter().ErrorLog().empty(), qPrintable(error_log(run)));
  QVERIFY(run.ShownLines().contains(u("済")));
  QVERIFY(!agent_window()->BubbleShown());
  QVERIFY(loudest_sample(dir_.filePath("speech.wav")) > 1000);
}

QTEST_MAIN(BridgesPartsTest)
#include "bridges_parts_test.moc"
