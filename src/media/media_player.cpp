// The media player on Qt Multimedia. Without an audio device it plays to no output at all, so
// its states and its end notification behave the same.
#include "media/media_player.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMediaDevices>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "media/midi_render.h"

namespace morivel::media {
namespace {

// How long opening a file may take before it counts as failed.
constexpr int kLoadTimeoutMs = 5000;

bool is_midi(const QString& path) {
  return path.endsWith(".mid", Qt::CaseInsensitive) || path.endsWith(".midi", Qt::CaseInsensitive);
}

void process_events_for(int ms) {
  QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
  QThread::msleep(static_cast<unsigned long>(ms));
}

}  // namespace

MediaPlayer::MediaPlayer() {
  // The FFmpeg backend opens files without an audio sink; GStreamer's pipelines fail without one.
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  player_ = std::make_unique<QMediaPlayer>();
  silent_clock_.setInterval(10);
  connect(&silent_clock_, &QTimer::timeout, this, &MediaPlayer::SilentTick);
  if (!QMediaDevices::audioOutputs().isEmpty()) {
    output_ = std::make_unique<QAudioOutput>();
    player_->setAudioOutput(output_.get());
  }
  connect(player_.get(), &QMediaPlayer::mediaStatusChanged, this, &MediaPlayer::OnStatus);
  connect(player_.get(), &QMediaPlayer::positionChanged, this, &MediaPlayer::OnPosition);
}

MediaPlayer::~MediaPlayer() {
  player_->disconnect(this);
  player_->stop();
  if (!rendered_.empty()) {
    std::error_code ec;
    std::filesystem::remove(rendered_, ec);
  }
}

MediaPlayer& MediaPlayer::Of(words::TMorvBase& state) {
  for (const auto& owned : state.OwnedObjects)
    if (auto* player = dynamic_cast<MediaPlayer*>(owned.get())) return *player;
  state.OwnedObjects.push_back(std::make_unique<MediaPlayer>());
  return static_cast<MediaPlayer&>(*state.OwnedObjects.back());
}

bool MediaPlayer::WaitForLoad() {
  QDeadlineTimer deadline(kLoadTimeoutMs);
  while (!deadline.hasExpired()) {
    QMediaPlayer::MediaStatus status = player_->mediaStatus();
    if (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia) return true;
    if (status == QMediaPlayer::InvalidMedia || player_->error() != QMediaPlayer::NoError) break;
    process_events_for(10);
  }
  error_ = player_->errorString().toStdString();
  if (error_.empty()) error_ = "the file cannot be played";
  return false;
}

bool MediaPlayer::Open(const std::string& path) {
  Close();
  error_.clear();
  QString source = QString::fromStdString(path);
  if (is_midi(source) && midi_rendering_available()) {
    std::filesystem::path wav =
        std::filesystem::temp_directory_path() /
        ("morivel-midi-" + std::to_string(QCoreApplication::applicationPid()) + ".wav");
    if (!render_midi_to_wav(path, wav)) {
      error_ = "the MIDI file cannot be rendered";
      return false;
    }
    rendered_ = wav.string();
    source = QString::fromStdString(rendered_);
  }
  player_->setSource(QUrl::fromLocalFile(source));
  if (!WaitForLoad()) {
    player_->setSource(QUrl());
    return false;
  }
  file_ = source;
  mode_ = Mode::Open;
  return true;
}

void MediaPlayer::Play() {
  if (file_.isEmpty()) return;
  mode_ = Mode::Playing;
  if (!Silent()) {
    player_->play();
    return;
  }
  if (silent_position_ >= Length()) silent_position_ = 0;
  silent_base_ = silent_position_;
  silent_elapsed_.start();
  silent_clock_.start();
}

void MediaPlayer::SilentTick() {
  if (mode_ != Mode::Playing) return silent_clock_.stop();
  silent_position_ = std::min(Length(), silent_base_ + silent_elapsed_.elapsed());
  OnPosition(silent_position_);
  if (mode_ == Mode::Playing && silent_position_ >= Length()) {
    silent_clock_.stop();
    OnStatus(QMediaPlayer::EndOfMedia);
  }
}

void MediaPlayer::Stop() {
  if (file_.isEmpty()) return;
  silent_clock_.stop();
  if (!Silent()) player_->pause();
  mode_ = Mode::Stopped;
}

void MediaPlayer::Pause() {
  if (mode_ != Mode::Playing) return;
  silent_clock_.stop();
  if (!Silent()) player_->pause();
  mode_ = Mode::Paused;
}

void MediaPlayer::Resume() {
  if (mode_ == Mode::Paused) Play();
}

void MediaPlayer::Close() {
  notify_ = false;
  stop_at_ = -1;
  silent_clock_.stop();
  silent_position_ = 0;
  player_->stop();
  player_->setSource(QUrl());
  file_.clear();
  Alias.clear();
  mode_ = Mode::NotReady;
  if (!rendered_.empty()) {
    std::error_code ec;
    std::filesystem::remove(rendered_, ec);
    rendered_.clear();
  }
}

void MediaPlayer::Seek(qint64 ms) {
  if (file_.isEmpty()) return;
  ms = std::clamp<qint64>(ms, 0, Length());
  if (Silent()) {
    silent_position_ = silent_base_ = ms;
    silent_elapsed_.restart();
  } else {
    player_->setPosition(ms);
  }
  if (mode_ == Mode::Open) mode_ = Mode::Stopped;
}

qint64 MediaPlayer::Position() const {
  if (file_.isEmpty()) return 0;
  return Silent() ? silent_position_ : player_->position();
}

qint64 MediaPlayer::Length() const {
  return file_.isEmpty() ? 0 : player_->duration();
}

void MediaPlayer::WaitWhilePlaying(qint64 limit_ms) {
  QDeadlineTimer deadline(limit_ms);
  while (mode_ == Mode::Playing && !deadline.hasExpired()) process_events_for(10);
}

void MediaPlayer::InstallEndNotification(bool repeat) {
  notify_ = true;
  repeat_ = repeat;
}

void MediaPlayer::OnStatus(QMediaPlayer::MediaStatus status) {
  if (status != QMediaPlayer::EndOfMedia) return;
  mode_ = Mode::Stopped;
  if (!notify_ || file_.isEmpty()) return;
  if (repeat_) {
    Seek(0);
    Play();
  } else {
    Close();
  }
}

void MediaPlayer::OnPosition(qint64 ms) {
  if (stop_at_ >= 0 && mode_ == Mode::Playing && ms >= stop_at_) {
    stop_at_ = -1;
    Stop();
  }
}

void MediaPlayer::PlayWave(const std::string& path, bool loop) {
  if (!wave_) wave_ = std::make_unique<QSoundEffect>();
  wave_->stop();
  wave_->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
  wave_->setLoopCount(loop ? QSoundEffect::Infinite : 1);
  wave_->play();
}

void MediaPlayer::StopWave() {
  if (wave_) wave_->stop();
}

}  // namespace morivel::media
