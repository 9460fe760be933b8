// The main window's media player: one device that 演奏, MCI送信 and MML演奏 share, with the
// state texts and the end notification scripts see. Wave files go to a sound effect of their own.
#pragma once

#include <QAudioOutput>
#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QObject>
#include <QSoundEffect>
#include <QTimer>
#include <memory>
#include <string>

#include "words/state.h"

namespace morivel::media {

class MediaPlayer : public QObject, public words::OwnedObject {
  Q_OBJECT

 public:
  enum class Mode { NotReady, Open, Stopped, Playing, Paused, Seeking };

  MediaPlayer();
  ~MediaPlayer() override;

  // The player of a run, made on first use.
  static MediaPlayer& Of(words::TMorvBase& state);

  // Opens a file (UTF-8 path); false with Error() set when it cannot be played. MIDI files are
  // rendered to WAV first where FluidSynth is installed.
  bool Open(const std::string& path);
  void Play();
  void Stop();
  void Pause();
  void Resume();
  void Close();
  void Seek(qint64 ms);
  // Playing ends by itself at this position (ms); -1 plays to the end.
  void SetStopAt(qint64 ms) { stop_at_ = ms; }
  // Waits while the player plays (MCI's "wait"), at most `limit_ms`.
  void WaitWhilePlaying(qint64 limit_ms);

  Mode GetMode() const { return mode_; }
  qint64 Position() const;
  qint64 Length() const;
  bool HasFile() const { return !file_.isEmpty(); }
  const std::string& Error() const { return error_; }

  // MCI's view of the device: the alias it was opened under and its time format.
  std::string Alias;

  // When the end is reached: with `repeat` the file plays again, else the player closes.
  void InstallEndNotification(bool repeat);
  void ClearEndNotification() { notify_ = false; }

  // Wave files: played by name, looping when asked. No device is no error.
  void PlayWave(const std::string& path, bool loop);
  void StopWave();

 private:
  void OnStatus(QMediaPlayer::MediaStatus status);
  void OnPosition(qint64 ms);
  bool WaitForLoad();
  // Without an audio device nothing drives the player's clock; the file then "plays" silently
  // on a clock of our own, with the same states, positions and end.
  bool Silent() const { return !output_; }
  void SilentTick();

  std::unique_ptr<QMediaPlayer> player_;
  std::unique_ptr<QAudioOutput> output_;
  std::unique_ptr<QSoundEffect> wave_;
  QString file_;
  std::string rendered_;  // a WAV rendered from MIDI, removed on close
  std::string error_;
  Mode mode_ = Mode::NotReady;
  bool notify_ = false;
  bool repeat_ = false;
  qint64 stop_at_ = -1;
  QTimer silent_clock_;
  QElapsedTimer silent_elapsed_;
  qint64 silent_base_ = 0;  // position when the silent clock last started
  qint64 silent_position_ = 0;
};

// MCI送信's command interpreter over the player: the reply text, or "MCIエラー:" + a reason.
// Texts are Shift-JIS.
std::string mci_send(MediaPlayer& player, const std::string& command);

}  // namespace morivel::media
