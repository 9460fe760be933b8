// The agent character's window, its animations and its voice.
#include "bridges/agent.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdint>
#include <fstream>
#include <vector>

#include "bridges/speech_library.h"

namespace morivel::bridges {

namespace {

std::string& wave_path() {
  static std::string path;
  return path;
}

std::vector<std::int16_t>& wave_samples() {
  static std::vector<std::int16_t> samples;
  return samples;
}

#ifdef MORIVEL_HAVE_ESPEAK
extern "C" int collect_samples(short* wav, int count, espeak_EVENT*) {
  if (wav && count > 0) wave_samples().insert(wave_samples().end(), wav, wav + count);
  return 0;
}
#endif

const char* voice_for(int language_id) {
  switch (language_id) {
    case 1033:
      return "en";
    case 2052:
      return "cmn";
    case 1042:
      return "ko";
    default:
      return "ja";
  }
}

void put_le(std::ofstream& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

// ---- speech -----------------------------------------------------------------------------------

Speaker& Speaker::Instance() {
  static Speaker speaker;
  return speaker;
}

void Speaker::UseWaveFile(const std::string& native_path) {
  wave_path() = native_path;
}

bool Speaker::Initialize() {
#ifdef MORIVEL_HAVE_ESPEAK
  const EspeakApi* espeak = SpeechLibrary::Get();
  if (!espeak) return false;
  espeak->initialize_path(nullptr);
  if (espeak->initialize(nullptr) != ENS_OK) return false;
  const bool to_file = !wave_path().empty();
  if (espeak->initialize_output(to_file ? ENOUTPUT_MODE_SYNCHRONOUS : ENOUTPUT_MODE_SPEAK_AUDIO, 0,
                                nullptr) != ENS_OK)
    return false;
  if (to_file) espeak->set_synth_callback(collect_samples);
  return espeak->set_voice_by_name(voice_for(language_id_)) == EE_OK;
#else
  return false;
#endif
}

bool Speaker::Available() {
  if (state_ == State::Untried) state_ = Initialize() ? State::Ready : State::Missing;
  return state_ == State::Ready;
}

void Speaker::SetLanguage(int language_id) {
  language_id_ = language_id;
#ifdef MORIVEL_HAVE_ESPEAK
  if (state_ == State::Ready) SpeechLibrary::Get()->set_voice_by_name(voice_for(language_id_));
#endif
}

void Speaker::Speak(const QString& text) {
  if (!Available()) return;
#ifdef MORIVEL_HAVE_ESPEAK
  QByteArray utf8 = text.toUtf8();
  wave_samples().clear();
  SpeechLibrary::Get()->synth(utf8.constData(), static_cast<std::size_t>(utf8.size()) + 1, 0,
                              POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
  if (!wave_path().empty()) WriteWave();
#endif
}

void Speaker::Stop() {
#ifdef MORIVEL_HAVE_ESPEAK
  if (state_ == State::Ready) SpeechLibrary::Get()->cancel();
#endif
}

bool Speaker::Speaking() const {
#ifdef MORIVEL_HAVE_ESPEAK
  return state_ == State::Ready && wave_path().empty() && SpeechLibrary::Get()->is_playing() == 1;
#else
  return false;
#endif
}

// 16-bit mono PCM at the synthesiser's rate.
void Speaker::WriteWave() const {
#ifdef MORIVEL_HAVE_ESPEAK
  std::ofstream out(wave_path(), std::ios::binary | std::ios::trunc);
  const std::vector<std::int16_t>& samples = wave_samples();
  const auto data_bytes = static_cast<std::uint32_t>(samples.size() * 2);
  const auto rate = static_cast<std::uint32_t>(SpeechLibrary::Get()->get_sample_rate());
  out.write("RIFF", 4);
  put_le(out, 36 + data_bytes, 4);
  out.write("WAVEfmt ", 8);
  put_le(out, 16, 4);
  put_le(out, 1, 2);  // PCM
  put_le(out, 1, 2);  // mono
  put_le(out, rate, 4);
  put_le(out, rate * 2, 4);
  put_le(out, 2, 2);
  put_le(out, 16, 2);
  out.write("data", 4);
  put_le(out, data_bytes, 4);
  for (std::int16_t sample : samples) put_le(out, static_cast<std::uint16_t>(sample), 2);
#endif
}

// ---- the window -------------------------------------------------------------------------------

namespace {

constexpr int kTickMs = 60;
constexpr int kAnimationTicks = 24;
constexpr QSize kAgentSize(220, 260);
constexpr qreal kBubbleShare = 0.38;  // of the height, above the figure

}  // namespace

AgentWindow::AgentWindow(const QString& character)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      character_(character) {
  setAttribute(Qt::WA_TranslucentBackground);
  setWindowTitle(character);
  resize(kAgentSize);
  ticker_.setInterval(kTickMs);
  connect(&ticker_, &QTimer::timeout, this, &AgentWindow::Tick);
  ticker_.start();
}

void AgentWindow::Play(const QString& animation) {
  animation_ = animation;
  frame_ = 0;
  update();
}

void AgentWindow::Say(const QString& text) {
  bubble_ = text;
  // Long enough to read when nothing is heard; speech that lasts longer keeps it up.
  bubble_ticks_ = std::min(10000, 1500 + 100 * static_cast<int>(text.size())) / kTickMs;
  update();
  Speaker::Instance().Speak(text);
}

void AgentWindow::StopSpeaking() {
  Speaker::Instance().Stop();
  bubble_.clear();
  bubble_ticks_ = 0;
  update();
}

bool AgentWindow::Busy() const {
  return bubble_ticks_ > 0 || Speaker::Instance().Speaking();
}

void AgentWindow::Tick() {
  ++frame_;
  if (frame_ >= kAnimationTicks && animation_ != QLatin1String("RestPose")) {
    animation_ = QStringLiteral("RestPose");
    frame_ = 0;
  }
  if (bubble_ticks_ > 0) --bubble_ticks_;
  if (bubble_ticks_ == 0 && !bubble_.isEmpty() && !Speaker::Instance().Speaking()) bubble_.clear();
  update();
}

void AgentWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF all = rect();
  const qreal bubble_height = all.height() * kBubbleShare;
  if (!bubble_.isEmpty())
    PaintBubble(painter, QRectF(all.left(), all.top(), all.width(), bubble_height));
  PaintFigure(painter, QRectF(all.left(), all.top() + bubble_height, all.width(),
                              all.height() - bubble_height));
}

void AgentWindow::PaintBubble(QPainter& painter, const QRectF& area) const {
  QRectF box = area.adjusted(4, 4, -4, -14);
  QPainterPath path;
  path.addRoundedRect(box, 10, 10);
  QPolygonF tail;
  tail << QPointF(box.center().x() - 8, box.bottom()) << QPointF(box.center().x(), area.bottom())
       << QPointF(box.center().x() + 8, box.bottom());
  path.addPolygon(tail);
  painter.setPen(QPen(Qt::black, 1.5));
  painter.setBrush(QColor(255, 255, 225));
  painter.drawPath(path.simplified());
  painter.drawText(box.adjusted(8, 6, -8, -6), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                   bubble_);
}

// A robed figure with a pointed hat; each animation moves it a little differently.
void AgentWindow::PaintFigure(QPainter& painter, const QRectF& area) const {
  const qreal phase = frame_ * 2 * M_PI / 12;
  const qreal unit = std::min(area.width(), area.height()) / 10;
  qreal lift = 0, tilt = 0, left_arm = 200, right_arm = -20, scale = 1;
  if (animation_ == QLatin1String("Greet")) right_arm = -60 + 30 * qSin(phase);
  if (animation_ == QLatin1String("Confused")) tilt = 12 * qSin(phase);
  if (animation_ == QLatin1String("Congratulate")) lift = unit * std::abs(qSin(phase));
  if (animation_ == QLatin1String("Explain")) right_arm = -10;
  if (animation_ == QLatin1String("Announce")) left_arm = 240, right_arm = -60;
  if (animation_ == QLatin1String("Surprised")) scale = 1.1, left_arm = 230, right_arm = -50;
  if (animation_ == QLatin1String("Read") || animation_ == QLatin1String("Write"))
    left_arm = 160, right_arm = 20;
  static const QStringList kKnown{"Greet",     "Confused", "Congratulate", "Explain", "Announce",
                                  "Surprised", "Read",     "Write",        "RestPose"};
  if (!kKnown.contains(animation_)) lift = unit * 0.4 * std::abs(qSin(phase));

  painter.save();
  painter.translate(area.center().x(), area.bottom() - unit * 0.5 - lift);
  painter.rotate(tilt);
  painter.scale(scale, scale);
  painter.setPen(QPen(Qt::black, 1.5));
  // Robe, head, hat.
  painter.setBrush(QColor(70, 60, 150));
  painter.drawPolygon(QPolygonF({QPointF(-2.5 * unit, 0), QPointF(2.5 * unit, 0),
                                 QPointF(unit, -4.5 * unit), QPointF(-unit, -4.5 * unit)}));
  painter.setBrush(QColor(250, 220, 190));
  painter.drawEllipse(QPointF(0, -5.3 * unit), unit, unit);
  painter.setBrush(QColor(240, 240, 240));
  painter.drawPolygon(QPolygonF(
      {QPointF(-0.8 * unit, -5 * unit), QPointF(0.8 * unit, -5 * unit), QPointF(0, -3 * unit)}));
  painter.setBrush(QColor(70, 60, 150));
  painter.drawPolygon(QPolygonF({QPointF(-1.4 * unit, -6 * unit), QPointF(1.4 * unit, -6 * unit),
                                 QPointF(0.3 * unit, -8.8 * unit)}));
  // Arms from the shoulders at the pose's angles.
  painter.setPen(QPen(QColor(70, 60, 150), unit * 0.5, Qt::SolidLine, Qt::RoundCap));
  for (qreal angle : {left_arm, right_arm}) {
    const QPointF shoulder(angle > 90 ? -unit : unit, -4.2 * unit);
    const qreal r = qDegreesToRadians(angle);
    painter.drawLine(shoulder, shoulder + QPointF(qCos(r), qSin(r)) * 2 * unit);
  }
  painter.setPen(QPen(Qt::black, 1.5));
  if (animation_ == QLatin1String("Read") || animation_ == QLatin1String("Write")) {
    painter.setBrush(QColor(150, 40, 40));
    painter.drawRect(QRectF(-1.2 * unit, -3.4 * unit, 2.4 * unit, 1.4 * unit));
    if (animation_ == QLatin1String("Write"))
      painter.drawLine(QPointF(0.4 * unit * qSin(phase), -3.6 * unit),
                       QPointF(0.4 * unit * qSin(phase) + unit, -4.6 * unit));
  }
  if (animation_ == QLatin1String("Confused") || animation_ == QLatin1String("Surprised")) {
    QFont font = painter.font();
    font.setPixelSize(static_cast<int>(unit * 2));
    painter.setFont(font);
    painter.drawText(QPointF(1.5 * unit, -7 * unit), animation_ == QLatin1String("Confused")
                                                         ? QStringLiteral("?")
                                                         : QStringLiteral("!"));
  }
  painter.restore();
}

}  // namespace morivel::bridges
