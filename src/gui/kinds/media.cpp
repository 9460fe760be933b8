// Images, animations and browsers as parts.
#include "gui/kinds/media.h"

#include <qdrawutil.h>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "commands/file_handles.h"
#include "engine/interpreter.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/part_kinds.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/mime.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// The size a form designer gives a new picture or animation box.
constexpr QSize kPictureBoxSize(105, 105);
constexpr QSize kBrowserSize(300, 150);
constexpr int kButtonBevel = 2;

}  // namespace

QImage with_transparent_background(const QImage& image) {
  if (image.isNull()) return image;
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  QRgb key = out.pixel(0, out.height() - 1) & 0x00FFFFFFu;
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((line[x] & 0x00FFFFFFu) == key) line[x] = 0;
  }
  return out;
}

// ---- イメージ
// ------------------------------------------------------------------------------------

ImageView::ImageView(QWidget* parent) : Canvas(parent) {
  ClearPicture();
}

void ImageView::SetPicture(const QImage& picture) {
  blank_ = false;
  Image() = picture.hasAlphaChannel() ? picture.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                      : picture.convertToFormat(QImage::Format_RGB32);
  update();
}

void ImageView::ClearPicture() {
  blank_ = true;
  Image() = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  Image().fill(Qt::transparent);
  update();
}

void ImageView::SetTransparent(bool on) {
  transparent_ = on;
  update();
}

void ImageView::paintEvent(QPaintEvent*) {
  const QImage& picture = Image();
  if (picture.isNull()) return;
  QPainter painter(this);
  QImage shown = transparent_ && !blank_ ? with_transparent_background(picture) : picture;
  if (Stretch())
    painter.drawImage(rect(), shown);
  else
    painter.drawImage(0, 0, shown);
}

void ImageView::resizeEvent(QResizeEvent* event) {
  Canvas::resizeEvent(event);
  // What was drawn on a blank picture stays; the picture grows with the control.
  if (!blank_ || Image().size() == size() || size().isEmpty()) return;
  QImage grown(size(), QImage::Format_ARGB32_Premultiplied);
  grown.fill(Qt::transparent);
  QPainter painter(&grown);
  painter.drawImage(0, 0, Image());
  painter.end();
  Image() = std::move(grown);
}

ImagePart::ImagePart(const PartSetup& setup) : Part(kImage, new ImageView(setup.parent)) {
  View()->resize(kPictureBoxSize);
  View()->ClearPicture();
}

std::optional<expr::Value> ImagePart::Read(PropertyCall& call) {
  ImageView* view = View();
  if (!view) return std::nullopt;
  switch (call.property) {
    case kPropStretch:
      return number_value(view->Stretch() ? 1 : 0);
    case kPropTransparent:
      return number_value(view->Transparent() ? 1 : 0);
    default:
      return std::nullopt;
  }
}

bool ImagePart::Write(PropertyCall& call, const std::string& value) {
  ImageView* view = View();
  if (!view) return false;
  switch (call.property) {
    case kPropPicture:
      return write_picture(call, value);
    case kPropStretch:
      view->SetStretch(number_of(value) > 0);
      return true;
    case kPropTransparent:
      view->SetTransparent(number_of(value) > 0);
      return true;
    default:
      return false;
  }
}

void ImagePart::Deactivate() {
  if (ImageView* view = View()) view->ClearPicture();
}

// ---- アニメ
// --------------------------------------------------------------------------------------

AnimeView::AnimeView(QWidget* parent) : QWidget(parent) {
  connect(&timer_, &QTimer::timeout, this, &AnimeView::Advance);
}

void AnimeView::SetFrames(std::vector<QImage> frames) {
  frames_ = std::move(frames);
  current_ = 0;
  Restart();
  update();
}

void AnimeView::AddFrame(const QImage& frame) {
  frames_.push_back(frame);
  if (!timer_.isActive()) Restart();
  update();
}

void AnimeView::DropFrames() {
  timer_.stop();
  frames_.clear();
  current_ = 0;
  update();
}

void AnimeView::SetInterval(int ms) {
  interval_ = ms;
  if (ms <= 0)
    timer_.stop();
  else if (frames_.size() >= 2)
    timer_.start(ms);
}

void AnimeView::SetRepeat(int rounds) {
  repeat_ = std::max(rounds, 0);
  Restart();
}

void AnimeView::SetStretch(bool on) {
  stretch_ = on;
  update();
}

void AnimeView::SetTransparent(bool on) {
  transparent_ = on;
  update();
}

void AnimeView::SetButtonMode(int mode) {
  button_mode_ = mode >= 0 && mode <= 2 ? mode : 0;
  pressed_ = false;
  update();
}

void AnimeView::Restart() {
  rounds_done_ = 0;
  if (frames_.size() >= 2 && interval_ > 0)
    timer_.start(interval_);
  else
    timer_.stop();
}

void AnimeView::Advance() {
  if (frames_.empty()) {
    timer_.stop();
    return;
  }
  if (++current_ >= FrameCount()) {
    ++rounds_done_;
    if (repeat_ > 0 && rounds_done_ >= repeat_) {
      current_ = FrameCount() - 1;
      timer_.stop();
    } else {
      current_ = 0;
    }
  }
  update();
}

void AnimeView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect area = rect();
  if (button_mode_ != 0) {
    qDrawShadePanel(&painter, area, palette(), pressed_, kButtonBevel);
    area.adjust(kButtonBevel, kButtonBevel, -kButtonBevel, -kButtonBevel);
    // A pressed button's face moves down and right by a pixel.
    if (pressed_) area.translate(1, 1);
  }
  if (frames_.empty()) return;
  const QImage& frame = frames_[static_cast<std::size_t>(current_)];
  QImage shown = transparent_ ? with_transparent_background(frame) : frame;
  painter.setClipRect(area);
  if (stretch_)
    painter.drawImage(area, shown);
  else
    painter.drawImage(area.topLeft(), shown);
}

void AnimeView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && button_mode_ != 0) {
    pressed_ = button_mode_ == 1 ? true : !pressed_;
    update();
  }
  QWidget::mousePressEvent(event);
}

void AnimeView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && button_mode_ == 1) {
    pressed_ = false;
    update();
  }
  QWidget::mouseReleaseEvent(event);
}

AnimePart::AnimePart(const PartSetup& setup) : Part(kAnime, new AnimeView(setup.parent)) {
  View()->resize(kPictureBoxSize);
}

void AnimePart::LoadFrames(engine::Interpreter& in, const std::string& lines, bool replace) {
  AnimeView* view = View();
  if (!view) return;
  std::vector<QImage> frames;
  for (std::string_view line : text::split_lines(lines)) {
    std::string name = text::trim(line);
    if (name.empty()) continue;
    QImage frame = load_image(in, name);
    if (!frame.isNull()) frames.push_back(std::move(frame));
  }
  if (replace) {
    view->SetFrames(std::move(frames));
    return;
  }
  for (const QImage& frame : frames) view->AddFrame(frame);
}

std::optional<expr::Value> AnimePart::Read(PropertyCall& call) {
  AnimeView* view = View();
  if (!view) return std::nullopt;
  switch (call.property) {
    case kPropValue:
      return number_value(view->CurrentFrame());
    case kPropStretch:
      return number_value(view->Stretch() ? 1 : 0);
    case kPropTransparent:
      return number_value(view->Transparent() ? 1 : 0);
    case kPropButtonMode:
      return number_value(view->ButtonMode());
    case kPropRepeat:
      return number_value(view->Repeat());
    case kPropSound:
      return text_value(sound_);
    default:
      return std::nullopt;
  }
}

bool AnimePart::Write(PropertyCall& call, const std::string& value) {
  AnimeView* view = View();
  if (!view) return false;
  switch (call.property) {
    case kPropPicture:
      LoadFrames(call.in, value, true);
      return true;
    case kPropAddPicture:
      LoadFrames(call.in, value, false);
      return true;
    case kPropValue:
      view->SetInterval(static_cast<int>(number_of(value, view->Interval())));
      return true;
    case kPropRepeat:
      view->SetRepeat(static_cast<int>(number_of(value)));
      return true;
    case kPropSound:
      sound_ = value;
      return true;
    case kPropButtonMode:
      view->SetButtonMode(static_cast<int>(number_of(value)));
      return true;
    case kPropStretch:
      view->SetStretch(number_of(value) > 0);
      return true;
    case kPropTransparent:
      view->SetTransparent(number_of(value) > 0);
      return true;
    default:
      return false;
  }
}

void AnimePart::Deactivate() {
  if (AnimeView* view = View()) view->DropFrames();
}

// ---- ブラウザ
// ------------------------------------------------------------------------------------

namespace {

std::optional<QByteArray> read_local(const std::string& sjis_path) {
  std::ifstream file(commands::native_path(sjis_path), std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return QByteArray::fromStdString(bytes);
}

// Pages come in UTF-8 or in Shift-JIS; whatever is not valid UTF-8 is taken as Shift-JIS.
QString decode_page(const QByteArray& bytes) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8(bytes);
  if (!utf8.hasError()) return text;
  return to_qstring(bytes.toStdString());
}

bool looks_like_html(const QString& name, const QString& text) {
  static const QRegularExpression html_name(QStringLiteral("\\.(x?html?|shtml)$"),
                                            QRegularExpression::CaseInsensitiveOption);
  return html_name.match(name).hasMatch() || text.trimmed().startsWith(u'<');
}

QString message_page(const QString& title, const QString& message, const QString& address) {
  return QStringLiteral(
             "<html><head><title>%1</title></head><body><h3>%1</h3><p>%2</p>"
             "<p><code>%3</code></p></body></html>")
      .arg(title.toHtmlEscaped(), message.toHtmlEscaped(), address.toHtmlEscaped());
}

bool is_remote(const QString& address) {
  static const QRegularExpression remote(QStringLiteral("^(https?|ftp)://"),
                                         QRegularExpression::CaseInsensitiveOption);
  return remote.match(address).hasMatch();
}

}  // namespace

QVariant PageView::loadResource(int type, const QUrl& name) {
  QUrl url = base_.isValid() ? base_.resolved(name) : name;
  if (url.isLocalFile()) {
    QFile file(url.toLocalFile());
    if (file.open(QIODevice::ReadOnly)) return file.readAll();
    return {};
  }
  return QTextBrowser::loadResource(type, name);
}

BrowserPart::BrowserPart(const PartSetup& setup)
    : Part(kBrowser, new PageView(setup.parent)),
      parts_(setup.parts),
      front_(setup.front),
      number_(setup.number) {
  PageView* view = View();
  view->resize(kBrowserSize);
  view->setOpenLinks(false);
  view->setOpenExternalLinks(false);
  QObject::connect(view, &QTextBrowser::anchorClicked, view,
                   [this](const QUrl& link) { LinkClicked(link); });
}

void BrowserPart::Navigate(const std::string& address) {
  Go(address, true);
}

void BrowserPart::Go(const std::string& address, bool record) {
  if (engine::Interpreter* in = front_.Interpreter()) {
    if (words::THashNode* target = system_word(*in, "ブラウザ移動先URL")) {
      target->SetValue(address);
      target->TypeMark.assign(1, 's');  // GCC 12 warns wrongly about assigning a literal here
    }
    parts_.Fire(number_, kSlotClick);
    // The script may have destroyed this very part from its event.
    if (parts_.PartOf(number_) != this) return;
    if (text::trim(system_text(*in, "ブラウザURL移動許可")) == "0") return;
  }
  Load(address);
  if (record) {
    history_.resize(history_.empty() ? 0 : history_at_ + 1);
    history_.push_back(address_);
    history_at_ = history_.size() - 1;
  }
  // Loading has finished when the event loop next turns, as with a page arriving.
  PartRegistry* parts = &parts_;
  int number = number_;
  QTimer::singleShot(0, View(), [parts, number] { parts->Fire(number, kSlotChange); });
}

void BrowserPart::Load(const std::string& address) {
  PageView* view = View();
  if (!view) return;
  address_ = text::trim(address);
  QString wanted = to_qstring(address_);
  new_window_links_.clear();
  if (wanted.isEmpty() || wanted.compare(QStringLiteral("about:blank"), Qt::CaseInsensitive) == 0) {
    ShowDocument(QString(), true, QUrl());
    return;
  }
  if (is_remote(wanted)) {
    ShowDocument(
        message_page(QStringLiteral("表示できません"),
                     QStringLiteral("このブラウザはネットワーク上のページを読み込めません。"),
                     wanted),
        true, QUrl());
    return;
  }
  if (wanted.startsWith(QStringLiteral("data:"), Qt::CaseInsensitive)) {
    ShowData(wanted);
    return;
  }
  QString path = wanted, fragment;
  if (wanted.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
    QUrl url(wanted);
    path = url.toLocalFile();
    fragment = url.fragment();
  } else if (qsizetype hash = wanted.lastIndexOf(u'#'); hash > 0) {
    fragment = wanted.mid(hash + 1);
    path = wanted.left(hash);
  }
  ShowLocal(from_qstring(path), fragment);
}

void BrowserPart::ShowLocal(const std::string& sjis_path, const QString& fragment) {
  std::optional<QByteArray> bytes = read_local(sjis_path);
  QString name = to_qstring(sjis_path);
  if (!bytes) {
    ShowDocument(message_page(QStringLiteral("ページが見つかりません"),
                              QStringLiteral("ファイルを開けません。"), name),
                 true, QUrl());
    return;
  }
  QString page = decode_page(*bytes);
  std::error_code ec;
  std::filesystem::path native = std::filesystem::absolute(commands::native_path(sjis_path), ec);
  ShowDocument(page, looks_like_html(name, page),
               QUrl::fromLocalFile(QString::fromStdString(native.string())));
  if (!fragment.isEmpty()) View()->scrollToAnchor(fragment);
}

void BrowserPart::ShowData(const QString& address) {
  qsizetype comma = address.indexOf(u',');
  QString header = comma < 0 ? address.mid(5) : address.mid(5, comma - 5);
  QString payload = comma < 0 ? QString() : address.mid(comma + 1);
  QByteArray bytes;
  if (header.endsWith(QStringLiteral(";base64"), Qt::CaseInsensitive)) {
    std::optional<std::string> decoded = text::base64_decode(payload.toStdString());
    bytes = QByteArray::fromStdString(decoded.value_or(std::string()));
  } else {
    bytes = QByteArray::fromPercentEncoding(payload.toUtf8());
  }
  bool plain = header.startsWith(QStringLiteral("text/plain"), Qt::CaseInsensitive);
  ShowDocument(decode_page(bytes), !plain, QUrl());
}

void BrowserPart::ShowDocument(const QString& text, bool html, const QUrl& base) {
  PageView* view = View();
  view->SetBase(base);
  html_ = html ? text : QString();
  if (html) {
    view->setHtml(text);
    NoteNewWindowLinks(text);
  } else {
    view->setPlainText(text);
  }
}

void BrowserPart::ShowHtml(const std::string& html) {
  if (!View()) return;
  ShowDocument(to_qstring(html), true, View()->Base());
}

std::string BrowserPart::Html() const {
  if (!View()) return {};
  return from_qstring(html_.isEmpty() ? View()->toPlainText() : html_);
}

// Links with target="_blank" ask for a new window; the viewer does not tell which link had a
// target, so they are noted from the page text.
void BrowserPart::NoteNewWindowLinks(const QString& html) {
  static const QRegularExpression anchor(QStringLiteral("<a\\s[^>]*>"),
                                         QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression blank(QStringLiteral("\\btarget\\s*=\\s*[\"']?_blank"),
                                        QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression href(
      QStringLiteral("\\bhref\\s*=\\s*(\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
      QRegularExpression::CaseInsensitiveOption);
  for (auto it = anchor.globalMatch(html); it.hasNext();) {
    QString tag = it.next().captured(0);
    if (!blank.match(tag).hasMatch()) continue;
    QRegularExpressionMatch link = href.match(tag);
    if (!link.hasMatch()) continue;
    for (int group = 2; group <= 4; ++group)
      if (link.capturedLength(group) > 0) new_window_links_.push_back(link.captured(group));
  }
}

std::string BrowserPart::Resolve(const QUrl& link) const {
  QUrl base = View() ? View()->Base() : QUrl();
  QUrl url = base.isValid() ? base.resolved(link) : link;
  if (url.isLocalFile()) {
    QString local = url.toLocalFile();
    if (url.hasFragment()) local += u'#' + url.fragment();
    return from_qstring(local);
  }
  return from_qstring(url.toString());
}

void BrowserPart::LinkClicked(const QUrl& link) {
  if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
    View()->scrollToAnchor(link.fragment());
    return;
  }
  std::string address = Resolve(link);
  bool new_window = std::find(new_window_links_.begin(), new_window_links_.end(),
                              link.toString()) != new_window_links_.end();
  if (new_window)
    OpenNewWindow(address);
  else
    Navigate(address);
}

void BrowserPart::OpenNewWindow(const std::string& address) {
  engine::Interpreter* in = front_.Interpreter();
  if (!in) return;
  parts_.Fire(number_, kSlotOpen);
  if (parts_.PartOf(number_) != this) return;
  std::string receiver = text::trim(system_text(*in, "ブラウザ新規ブラウザ"));
  if (receiver == text::sjis("禁止")) return;
  // Without a receiving part the page opens here: this viewer has no windows of its own.
  if (receiver.empty()) {
    Navigate(address);
    return;
  }
  words::TObjNode* node = parts_.FindByName(*in, receiver);
  auto* other = node ? dynamic_cast<BrowserPart*>(parts_.PartOf(*node)) : nullptr;
  if (!other) {
    // An event cannot raise into the event loop; the run's log keeps the complaint.
    in->Warn(text::sjis("ブラウザの新規ウインドウにブラウザ部品が指定されていません。"));
    return;
  }
  other->Navigate(address);
}

bool BrowserPart::Back() {
  if (history_.empty() || history_at_ == 0) return false;
  --history_at_;
  Go(history_[history_at_], false);
  return true;
}

bool BrowserPart::Forward() {
  if (history_at_ + 1 >= history_.size()) return false;
  ++history_at_;
  Go(history_[history_at_], false);
  return true;
}

std::optional<expr::Value> BrowserPart::Read(PropertyCall& call) {
  PageView* view = View();
  if (!view) return std::nullopt;
  switch (call.property) {
    case kPropText:
    case kPropUrl:
      return text_value(address_);
    case kPropTitle:
      return text_value(from_qstring(view->documentTitle()));
    default:
      return std::nullopt;
  }
}

bool BrowserPart::Write(PropertyCall& call, const std::string& value) {
  switch (call.property) {
    case kPropText:
    case kPropTitle:
    case kPropUrl:
      Navigate(value);
      return true;
    default:
      return false;
  }
}

void BrowserPart::Deactivate() {
  if (PageView* view = View()) view->clear();
  html_.clear();
}

// ---- registration -------------------------------------------------------------------------------

void register_media_kinds(KindTable& table) {
  table[kImage] = make_kind<ImagePart>;
  table[kAnime] = make_kind<AnimePart>;
  table[kBrowser] = make_kind<BrowserPart>;
}

}  // namespace morivel::gui
