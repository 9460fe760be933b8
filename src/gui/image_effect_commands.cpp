// Commands that transform the picture of an image part (flips, turns, filters, copies, scaling),
// fade the main window, capture windows and list fonts and picture formats. The arithmetic is
// graphics/transform's; this family only moves pictures between parts and bitmaps.
#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <utility>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "graphics/codecs.h"
#include "graphics/transform.h"
#include "gui/canvas.h"
#include "gui/coordinates.h"
#include "gui/drawing.h"
#include "gui/families.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::gui {
namespace {

using engine::Interpreter;
using graphics::Bitmap;

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

// The picture of the named image part; a part showing no picture is not an image either.
Canvas& picture_surface(Interpreter& in, const std::string& name) {
  Canvas& canvas = image_surface(in, name);
  if (canvas.Image().isNull())
    throw in.Error(in_quotes(text::trim(name)) + text::sjis("は、イメージではありません。"));
  return canvas;
}

// Runs a transformation on the part's picture; the part keeps its size.
void transform_in_place(Interpreter& in, const std::string& name,
                        const std::function<void(Bitmap&)>& change) {
  Canvas& canvas = picture_surface(in, name);
  bool had_alpha = canvas.Image().hasAlphaChannel();
  Bitmap picture = to_bitmap(canvas.Image());
  change(picture);
  QImage changed = to_qimage(std::move(picture));
  canvas.Image() = had_alpha ? changed : changed.convertToFormat(canvas.Image().format());
  canvas.Changed();
}

// Runs a transformation that makes a new picture; the part takes the new picture's size.
void transform_resizing(Interpreter& in, const std::string& name,
                        const std::function<Bitmap(const Bitmap&)>& change) {
  Canvas& canvas = picture_surface(in, name);
  replace_surface_picture(in, name, to_qimage(change(to_bitmap(canvas.Image()))));
}

int truncated(Interpreter& in, long double number) {
  std::int64_t n = 0;
  if (!expr::TruncateToInt64(number, n)) throw in.ArgumentError();
  return static_cast<int>(std::clamp<std::int64_t>(n, -1'000'000, 1'000'000));
}

int pop_whole_number(Interpreter& in) {
  return truncated(in, in.PopArgumentNumber());
}

// ---- the filters on one part
// ----------------------------------------------------------------------

template <void (*Filter)(Bitmap&)>
void simple_filter(Interpreter& in) {
  transform_in_place(in, pop_part_name(in), [](Bitmap& b) { Filter(b); });
}

template <void (*Filter)(Bitmap&, int)>
void filter_with_amount(Interpreter& in) {
  int amount = pop_whole_number(in);
  transform_in_place(in, pop_part_name(in), [amount](Bitmap& b) { Filter(b, amount); });
}

void gamma(Interpreter& in) {
  double value = static_cast<double>(in.PopArgumentNumber());
  transform_in_place(in, pop_part_name(in),
                     [value](Bitmap& b) { graphics::CorrectGamma(b, value); });
}

void turn_right(Interpreter& in) {
  transform_resizing(in, pop_part_name(in), graphics::TurnRight);
}

void rotate_in_place(Interpreter& in) {
  int degrees = pop_whole_number(in) % 360;
  transform_in_place(in, pop_part_name(in),
                     [degrees](Bitmap& b) { graphics::RotateInPlace(b, degrees); });
}

// 画像回転 keeps all of the turned picture: the part grows to hold it.
void rotate_whole(Interpreter& in) {
  int degrees = pop_whole_number(in) % 360;
  transform_resizing(in, pop_part_name(in),
                     [degrees](const Bitmap& b) { return graphics::Rotate(b, degrees); });
}

// The default tone of 画像セピア when the colour is left out.
constexpr std::uint32_t kSepiaTone = 0xA07850;

void sepia(Interpreter& in) {
  std::string tone_text = in.PopArgumentValue();
  std::uint32_t tone = kSepiaTone;
  if (!text::trim(tone_text).empty())
    tone = colour_from_text(tone_text, QColor(QRgb(kSepiaTone))).rgb() & 0xFFFFFFu;
  transform_in_place(in, pop_part_name(in), [tone](Bitmap& b) { graphics::Sepia(b, tone); });
}

void change_depth(Interpreter& in) {
  int bits = pop_whole_number(in);
  std::string name = pop_part_name(in);
  Canvas& canvas = picture_surface(in, name);
  Bitmap picture = to_bitmap(canvas.Image());
  if (!graphics::ChangeDepth(picture, bits)) throw in.ArgumentError();
  canvas.Image() = to_qimage(picture).convertToFormat(canvas.Image().format());
  canvas.Changed();
}

// ---- size and copies ----------------------------------------------------------------------------

void resize_picture(Interpreter& in) {
  QPoint size = parse_point(in, in.PopArgumentText());
  if (size.x() < 0 || size.y() < 0 || size.x() > kLargestSide || size.y() > kLargestSide)
    throw in.ArgumentError();
  transform_resizing(in, pop_part_name(in),
                     [size](const Bitmap& b) { return graphics::Scale(b, size.x(), size.y()); });
}

// The picture a copy takes from: a part by name, or a picture file.
Bitmap copy_source(Interpreter& in, const std::string& name) {
  QImage picture = load_image(in, name);
  if (picture.isNull())
    throw in.Error(in_quotes(name) + text::sjis("は、イメージではありません。"));
  return to_bitmap(picture);
}

void copy_onto(Interpreter& in, const Bitmap& source, graphics::Area area,
               const std::string& target, QPoint at, int percent) {
  transform_in_place(
      in, target, [&](Bitmap& b) { graphics::CopyArea(source, area, b, at.x(), at.y(), percent); });
}

// イメージコピー (?を,?の,?に): a whole picture onto a part's picture at a point.
void copy_picture(Interpreter& in) {
  QPoint at = parse_point(in, in.PopArgumentText());
  std::string target = pop_part_name(in);
  Bitmap source = copy_source(in, pop_picture_name(in));
  copy_onto(in, source, {0, 0, source.Width(), source.Height()}, target, at, 100);
}

// イメージ部分コピー (?の,?を,?の,?に): the rectangle (left,top,right,bottom) of one picture onto
// a part's picture at a point.
void copy_part_of_picture(Interpreter& in) {
  QPoint at = parse_point(in, in.PopArgumentText());
  std::string target = pop_part_name(in);
  std::array<int, 4> r = parse_rect(in, in.PopArgumentText());
  Bitmap source = copy_source(in, pop_picture_name(in));
  auto extent = [](int from, int to) {
    return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{to} - from, 0, INT_MAX));
  };
  copy_onto(in, source, {r[0], r[1], extent(r[0], r[2]), extent(r[1], r[3])}, target, at, 100);
}

// イメージ半透明コピー (?を,?の,?に,?パーセント): the source shows through at the percentage.
void copy_see_through(Interpreter& in) {
  int percent = pop_whole_number(in);
  QPoint at = parse_point(in, in.PopArgumentText());
  std::string target = pop_part_name(in);
  Bitmap source = copy_source(in, pop_picture_name(in));
  copy_onto(in, source, {0, 0, source.Width(), source.Height()}, target, at, percent);
}

// 画像拡大表示 (?を,?で): a picture on the main window at the drawing position, scaled by a
// factor ("2", "0.5") or stretched to a size "(width,height)".
void show_scaled(Interpreter& in) {
  std::string how = in.PopArgumentText();
  std::string name = pop_picture_name(in);
  Bitmap picture = copy_source(in, name);
  QSize size;
  if (how.find(',') == std::string::npos) {
    long double factor = expr::ToNumber(in.EvaluateText(how).text);
    if (!(factor >= 0 && factor <= kLargestSide)) throw in.ArgumentError();
    size = QSize(static_cast<int>(picture.Width() * factor),
                 static_cast<int>(picture.Height() * factor));
  } else {
    QPoint p = parse_point(in, how);
    size = QSize(p.x(), p.y());
  }
  if (size.width() < 0 || size.height() < 0 || size.width() > kLargestSide ||
      size.height() > kLargestSide)
    throw in.ArgumentError();
  MainWindow& window = front_end(in).Window();
  words::DrawingState& at = settled_drawing(in);
  QImage scaled = to_qimage(graphics::Scale(picture, size.width(), size.height()));
  {
    QPainter painter(&window.Img().Image());
    painter.drawImage(at.X, at.Y, opaque_over(scaled, Qt::white));
  }
  window.Img().Changed();
  at.Y += size.height();
}

// ---- the main window ----------------------------------------------------------------------------

// The longest fade a script may ask for.
constexpr int kLongestFadeMs = 10'000;
constexpr int kFadeStepMs = 20;

// Shows the main picture darkened step by step, from `from` to `to` (levels out of 256), over
// `duration_ms`; the picture itself is left as `last`.
void fade(Interpreter& in, int from, int to, const QImage& last) {
  int duration = std::clamp(pop_whole_number(in), 0, kLongestFadeMs);
  Canvas& img = front_end(in).Window().Img();
  const Bitmap original = to_bitmap(img.Image());
  const QImage::Format format = img.Image().format();
  int steps = std::max(1, duration / kFadeStepMs);
  for (int i = 1; i <= steps && duration > 0; ++i) {
    QElapsedTimer clock;
    clock.start();
    Bitmap frame = original;
    graphics::Darken(frame, from + (to - from) * i / steps);
    img.Image() = to_qimage(frame).convertToFormat(format);
    img.repaint();
    QCoreApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, kFadeStepMs - clock.elapsed())));
  }
  img.Image() = last;
  img.Changed();
}

void fade_out(Interpreter& in) {
  Canvas& img = front_end(in).Window().Img();
  QImage black = img.Image();
  black.fill(Qt::black);
  fade(in, 256, 0, black);
}

void fade_in(Interpreter& in) {
  fade(in, 0, 256, front_end(in).Window().Img().Image());
}

// 描画処理反映: what has been drawn shows now, not when the script next waits.
void flush_drawing(Interpreter& in) {
  front_end(in).Window().repaint();
  QCoreApplication::processEvents();
}

// The picture of a window: the main window or a form by name, or, where the window system lets
// us read other programs' windows (X11), a window by its number.
QImage grab_window(Interpreter& in, const std::string& which) {
  std::string name = text::trim(which);
  PartRegistry& parts = front_end(in).Parts();
  words::TObjNode* node = name.empty() ? nullptr : parts.FindByName(in, name);
  if (name.empty() || name == text::sjis("母艦")) return front_end(in).Window().grab().toImage();
  if (node) {
    if (QWidget* widget = parts.PartOf(*node)->Widget()) return widget->grab().toImage();
  }
  std::int64_t id = 0;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (expr::ToInteger(name, id) && id > 0 && screen &&
      QGuiApplication::platformName() == QStringLiteral("xcb"))
    return screen->grabWindow(static_cast<WId>(id)).toImage();
  throw in.Error(text::sjis("ウィンドウ") + in_quotes(name) + text::sjis("が特定できません。"));
}

// 窓キャプチャー (?へ,?を): the window's picture becomes the image part's picture.
void capture_window(Interpreter& in) {
  std::string window = in.PopArgumentValue();
  std::string target = pop_part_name(in);
  image_surface(in, target);
  QImage picture = grab_window(in, window);
  if (picture.isNull())
    throw in.Error(text::sjis("ウィンドウ") + in_quotes(window) + text::sjis("が特定できません。"));
  replace_surface_picture(in, target, picture.convertToFormat(QImage::Format_RGB32));
}

// アイコン抽出 (?の,?を,?に): the picture of an icon file, or the icon of one of our own programs
// (which is the running program's icon), into an image part. Only index 0 exists in both.
void extract_icon(Interpreter& in) {
  std::string target = pop_part_name(in);
  int index = pop_whole_number(in);
  std::string file = text::trim(in.PopArgumentValue());
  image_surface(in, target);
  QImage picture;
  if (graphics::FormatFromExtension(file) == graphics::ImageFormat::Ico) {
    picture = load_image(in, find_image_file(in, file));
  } else if (text::to_utf8(text::extract_file_name(file)) ==
             QApplication::applicationFilePath().section('/', -1).toStdString()) {
    picture = QApplication::windowIcon().pixmap(32, 32).toImage();
  }
  if (index != 0 || picture.isNull())
    throw in.Error(text::sjis("ファイル") + in_quotes(file) +
                   text::sjis("からアイコンを抽出できません。"));
  replace_surface_picture(in, target, picture);
}

void list_fonts(Interpreter& in) {
  std::string list;
  for (const QString& family : QFontDatabase::families()) list += from_qstring(family) + "\r\n";
  in.SetResult(list, "s");
}

void list_picture_formats(Interpreter& in) {
  in.SetResult("BMP\r\nJPG\r\nJPEG\r\nPNG\r\nGIF\r\nICO\r\nMAG\r\n", "s");
}

}  // namespace

void register_image_effects(commands::HandlerTable& table) {
  table.Set(243, simple_filter<graphics::FlipVertical>);
  table.Set(244, simple_filter<graphics::FlipHorizontal>);
  table.Set(245, turn_right);
  table.Set(246, simple_filter<graphics::Negative>);
  table.Set(247, simple_filter<graphics::GreyScale>);
  table.Set(248, simple_filter<graphics::Solarise>);
  table.Set(249, filter_with_amount<graphics::Brighten>);
  table.Set(250, gamma);
  table.Set(252, rotate_whole);
  table.Set(253, simple_filter<graphics::DetectEdges>);
  table.Set(254, filter_with_amount<graphics::Blur>);
  table.Set(255, filter_with_amount<graphics::Sharpen>);
  table.Set(256, sepia);
  table.Set(257, copy_see_through);
  table.Set(299, copy_part_of_picture);
  table.Set(140, copy_picture);
  table.Set(319, change_depth);
  table.Set(484, rotate_in_place);
  table.Set(515, resize_picture);
  table.Set(39, show_scaled);
  table.Set(143, fade_out);
  table.Set(144, fade_in);
  table.Set(117, flush_drawing);
  table.Set(132, capture_window);
  table.Set(425, extract_icon);
  table.Set(483, list_fonts);
  table.Set(531, list_picture_formats);
}

}  // namespace morivel::gui
