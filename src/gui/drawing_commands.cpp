// Commands: 表示 and the shapes on the main window's picture, drawing position, pen, brush and
// colour numbers.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/display.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/canvas.h"
#include "gui/coordinates.h"
#include "gui/drawing.h"
#include "gui/families.h"
#include "gui/fonts.h"
#include "gui/front_end.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {
namespace {

using engine::Interpreter;

Canvas& main_picture(Interpreter& in) {
  return front_end(in).Window().Img();
}

words::DrawingState& drawing(Interpreter& in) {
  return in.State().Drawing;
}

// ---- arguments ----------------------------------------------------------------------------------

// A coordinate argument as written: the coordinate rule reads pairs written out and values of
// words or literals that hold them.
std::string pop_coordinates(Interpreter& in) {
  return in.PopArgumentText();
}

QPoint pop_point(Interpreter& in) {
  return parse_point(in, pop_coordinates(in));
}

// The corners of a rectangle argument "(left,top,right,bottom)".
std::pair<QPoint, QPoint> pop_rect(Interpreter& in) {
  std::array<int, 4> r = parse_rect(in, pop_coordinates(in));
  return {QPoint(r[0], r[1]), QPoint(r[2], r[3])};
}

// ---- 表示 ---------------------------------------------------------------------------------------

int tab_columns(Interpreter& in) {
  std::int64_t n = 8;
  if (!expr::ToInteger(system_text(in, "タブ文字の個数"), n) || n <= 0 || n > 1000) n = 8;
  return static_cast<int>(n);
}

void draw_text(Interpreter& in, const std::string& text) {
  MainWindow& window = front_end(in).Window();
  words::DrawingState& at = settled_drawing(in);
  TextStyle style{settings_font(in), settings_font_colour(in), at.Centering,
                  window.Client().width()};
  at.Y = draw_lines(window.Img(), display_lines(text, tab_columns(in)), at.X, at.Y, style);
}

// The console front end never shows its window: the text waits, with the settings of now, until
// a command looks at the picture or the drawing position (see settled_drawing).
void put_off_text(Interpreter& in, const std::string& text) {
  MainWindow& window = front_end(in).Window();
  const words::DrawingState& at = drawing(in);
  PendingText pending{display_lines(text, tab_columns(in)),
                      at.X,
                      std::nullopt,
                      system_text(in, "文字書体"),
                      settings_font_size(in),
                      settings_font_colour(in),
                      at.Centering,
                      window.Client().width()};
  Canvas& picture = window.Img();
  picture.Deferred().Add(std::move(pending), at.Y);
  if (picture.Deferred().Backlogged()) picture.Settle();
}

void show(Interpreter& in) {
  std::string text = in.PopArgumentValue();
  if (commands::ShowInOutputFile(in, text)) return;
  if (front_end(in).Console())
    put_off_text(in, text);
  else
    draw_text(in, text);
  in.GetHost().ShowText(text);
}

// ---- position and picture -----------------------------------------------------------------------

void move_to(Interpreter& in) {
  QPoint p = pop_point(in);
  main_picture(in).Deferred().ForgetPosition();
  drawing(in).X = p.x();
  drawing(in).Y = p.y();
}

void clear_screen(Interpreter& in) {
  Canvas& picture = main_picture(in);
  QColor colour = picture.Background();
  if (in.ImplicitSore())
    in.PopArgumentText();
  else
    colour = colour_from_text(in.PopArgumentValue(), colour);
  picture.Deferred().Discard();
  picture.Clear(colour);
  drawing(in).X = 10;
  drawing(in).Y = 10;
}

void centre_on(Interpreter& in) {
  drawing(in).Centering = true;
}

void centre_off(Interpreter& in) {
  drawing(in).Centering = false;
}

void set_pen_style(Interpreter& in) {
  drawing(in).PenStyle = pen_style_index(in.PopArgumentValue());
}

void set_brush_style(Interpreter& in) {
  drawing(in).BrushStyle = brush_style_index(in.PopArgumentValue());
}

// ---- shapes -------------------------------------------------------------------------------------

QPoint drawing_position(Interpreter& in) {
  const words::DrawingState& at = settled_drawing(in);
  return QPoint(at.X, at.Y);
}

void line(Interpreter& in) {
  QPoint to = pop_point(in);
  QPoint from = drawing_position(in);
  if (in.ImplicitSore())
    in.PopArgumentText();
  else
    from = pop_point(in);
  draw_line(main_picture(in), shape_tools(in), from, to);
}

// 四角形, 円形 and 角丸四角形 take two corners, or, with the first omitted, one rectangle.
std::pair<QPoint, QPoint> pop_corners(Interpreter& in) {
  if (in.ImplicitSore()) {
    auto corners = pop_rect(in);
    in.PopArgumentText();
    return corners;
  }
  QPoint second = pop_point(in);
  QPoint first = pop_point(in);
  return {first, second};
}

void rectangle(Interpreter& in) {
  bool filled_only = in.ImplicitSore();
  auto [a, b] = pop_corners(in);
  if (filled_only)
    fill_rectangle(main_picture(in), shape_tools(in), a, b);
  else
    draw_rectangle(main_picture(in), shape_tools(in), a, b);
}

void ellipse(Interpreter& in) {
  auto [a, b] = pop_corners(in);
  draw_ellipse(main_picture(in), shape_tools(in), a, b);
}

void rounded_rectangle(Interpreter& in) {
  QPoint corner = pop_point(in);
  auto [a, b] = pop_corners(in);
  draw_rounded_rectangle(main_picture(in), shape_tools(in), a, b, corner);
}

void polygon(Interpreter& in) {
  std::vector<QPoint> points;
  std::string value = in.PopArgumentValue();
  for (std::string_view line : text::split_lines(value))
    if (!text::trim(line).empty()) points.push_back(parse_point(in, std::string(line)));
  if (points.size() < 3)
    throw in.Error(text::sjis("多角形を使うときは、座標配列を３つ以上指定する必要があります。"));
  draw_polygon(main_picture(in), shape_tools(in), points);
}

// A missing part or a point off the picture does nothing: scripts plot freely past the edges.
void plot(Interpreter& in) {
  QPoint at = pop_point(in);
  Canvas* surface = image_surface_of(in, in.PopArgumentText());
  if (surface) set_pixel(*surface, at, colour_from_text(system_text(in, "ペン色"), Qt::black));
}

void colour_at(Interpreter& in) {
  QPoint at = pop_point(in);
  Canvas* surface = image_surface_of(in, in.PopArgumentText());
  std::optional<QColor> colour = surface ? pixel_colour(*surface, at) : std::nullopt;
  if (colour) in.SetResult(colour_to_text(*colour), "e");
}

// ---- colour numbers -----------------------------------------------------------------------------

// Whole numbers from 0 up; larger ones wrap to a byte. The platform refuses −1 as well, so it
// gets the same message as the components below it.
int rgb_component(Interpreter& in) {
  std::int64_t n = 0;
  if (!expr::TruncateToInt64(in.PopArgumentNumber(), n) || n < 0) throw in.ArgumentError();
  return static_cast<int>(n % 256);
}

void rgb(Interpreter& in) {
  int blue = rgb_component(in);
  int green = rgb_component(in);
  int red = rgb_component(in);
  in.SetResult(std::to_string(colour_number(red, green, blue)), "e");
}

int byte_component(Interpreter& in) {
  std::int64_t n = 0;
  if (!expr::TruncateToInt64(in.PopArgumentNumber(), n)) throw in.ArgumentError();
  return static_cast<int>(static_cast<std::uint64_t>(n) & 0xFF);
}

void cmyk(Interpreter& in) {
  int black = byte_component(in);
  int yellow = byte_component(in);
  int magenta = byte_component(in);
  int cyan = byte_component(in);
  in.SetResult(std::to_string(cmyk_colour_number(cyan, magenta, yellow, black)), "e");
}

}  // namespace

void register_drawing(commands::HandlerTable& table) {
  table.Set(0, show);
  table.Set(1, move_to);
  table.Set(4, clear_screen);
  table.Set(14, line);
  table.Set(15, rectangle);
  table.Set(16, ellipse);
  table.Set(29, centre_on);
  table.Set(30, centre_off);
  table.Set(123, plot);
  table.Set(145, rgb);
  table.Set(329, colour_at);
  table.Set(411, cmyk);
  table.Set(503, set_pen_style);
  table.Set(504, set_brush_style);
  table.Set(505, rounded_rectangle);
  table.Set(507, polygon);
}

}  // namespace morivel::gui
