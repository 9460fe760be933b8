// The agent character: a window of its own with a drawn figure, simple animations, a speech
// bubble, and speech through espeak-ng where the library is present.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <string>

namespace morivel::bridges {

// Speech of the whole process (the synthesiser is one per process).
class Speaker {
 public:
  static Speaker& Instance();
  // From now on speech is written into this WAV file (each utterance replaces it) instead of
  // going to the sound device. Takes effect only before the first utterance.
  static void UseWaveFile(const std::string& native_path);

  // False when the synthesiser is missing or cannot reach its output: speaking is then silent.
  bool Available();
  // A language number (1041 Japanese, 1033 English, 2052 Chinese, 1042 Korean).
  void SetLanguage(int language_id);
  void Speak(const QString& text);
  void Stop();
  bool Speaking() const;

 private:
  Speaker() = default;
  bool Initialize();
  void WriteWave() const;

  enum class State { Untried, Ready, Missing } state_ = State::Untried;
  int language_id_ = 1041;
};

class AgentWindow : public QWidget {
  Q_OBJECT
 public:
  explicit AgentWindow(const QString& character);

  const QString& Character() const { return character_; }
  // Plays one of the character's animations (Greet, Confused, ...); unknown names bounce.
  void Play(const QString& animation);
  const QString& Animation() const { return animation_; }
  // Shows the bubble and speaks the text; the bubble stays while the speech lasts.
  void Say(const QString& text);
  void StopSpeaking();
  bool BubbleShown() const { return !bubble_.isEmpty(); }
  const QString& BubbleText() const { return bubble_; }
  // True while speech or the bubble of the last Say lasts.
  bool Busy() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Tick();
  void PaintBubble(class QPainter& painter, const QRectF& area) const;
  void PaintFigure(class QPainter& painter, const QRectF& area) const;

  QString character_;
  QString animation_ = QStringLiteral("RestPose");
  QString bubble_;
  int frame_ = 0;
  int bubble_ticks_ = 0;
  QTimer ticker_;
};

}  // namespace morivel::bridges
