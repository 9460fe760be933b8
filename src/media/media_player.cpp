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

MediaPlayer::MediaPlayer() : player_(std::make_unique<QMediaPlayer>()) {
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
  player_->play();
  mode_ = Mode::Playing;
}

void MediaPlayer::Stop() {
  if (file_.isEmpty()) return;
  player_->pause();
  mode_ = Mode::Stopped;
}

void MediaPlayer::Pause() {
  if (mode_ != Mode::Playing) return;
  player_->pause();
  mode_ = Mode::Paused;
}

void MediaPlayer::Resume() {
  if (mode_ == Mode::Paused) Play();
}

void MediaPlayer::Close() {
  notify_ = false;
  stop_at_ = -1;
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
  player_->setPosition(std::clamp<qint64>(ms, 0, Length()));
  if (mode_ == Mode::Open) mode_ = Mode::Stopped;
}

qint64 MediaPlayer::Position() const {
  return file_.isEmpty() ? 0 : player_->position();
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
    player_->setPosition(0);
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
