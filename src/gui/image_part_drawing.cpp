// Commands that draw on a named picture (an image part, a form, or それ for the main window) with
// the main window's pen, brush and font settings: lines, rectangles, ellipses, polygons, text
// and tiles.
#include <QPainter>

#include <string>
#include <utility>
#include <vector>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/canvas.h"
#include "gui/coordinates.h"
#include "gui/drawing.h"
#include "gui/families.h"
#include "gui/fonts.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {
namespace {

using engine::Interpreter;

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

// The picture a drawing goes on; a missing part is an error, unlike for 点描画.
Canvas& target_picture(Interpreter& in, const std::string& name) {
  if (Canvas* canvas = image_surface_of(in, name)) return *canvas;
  return image_surface(in, name);  // raises the message that fits the name
}

QPoint pop_point(Interpreter& in) {
  return parse_point(in, in.PopArgumentText());
}

// Arguments are popped last first; each command reads its own template backwards.
struct Corners {
  QPoint from;
  QPoint to;
};
Corners pop_corners(Interpreter& in) {
  QPoint to = pop_point(in);
  QPoint from = pop_point(in);
  return {from, to};
}

void line_on(Interpreter& in) {
  Corners c = pop_corners(in);
  draw_line(target_picture(in, pop_part_name(in)), shape_tools(in), c.from, c.to);
}

void rectangle_on(Interpreter& in) {
  Corners c = pop_corners(in);
  draw_rectangle(target_picture(in, pop_part_name(in)), shape_tools(in), c.from, c.to);
}

void ellipse_on(Interpreter& in) {
  Corners c = pop_corners(in);
  draw_ellipse(target_picture(in, pop_part_name(in)), shape_tools(in), c.from, c.to);
}

void rounded_rectangle_on(Interpreter& in) {
  QPoint corner = pop_point(in);
  Corners c = pop_corners(in);
  draw_rounded_rectangle(target_picture(in, pop_part_name(in)), shape_tools(in), c.from, c.to,
                         corner);
}

void polygon_on(Interpreter& in) {
  std::string value = in.PopArgumentValue();
  std::vector<QPoint> points;
  for (std::string_view line : text::split_lines(value))
    if (!text::trim(line).empty()) points.push_back(parse_point(in, std::string(line)));
  Canvas& canvas = target_picture(in, pop_part_name(in));
  if (points.size() < 3)
    throw in.Error(text::sjis("多角形を使うときは、座標配列を３つ以上指定する必要があります。"));
  draw_polygon(canvas, shape_tools(in), points);
}

int tab_columns(Interpreter& in) {
  std::int64_t n = 8;
  if (!expr::ToInteger(system_text(in, "タブ文字の個数"), n) || n <= 0 || n > 1000) n = 8;
  return static_cast<int>(n);
}

// 文字描画 writes the text as 表示 does, with no background; 文字表示 lays each line on the
// brush colour (塗り色) first, as a label would show it.
void text_on(Interpreter& in, bool with_background) {
  std::string text = in.PopArgumentValue();
  QPoint at = pop_point(in);
  Canvas& canvas = target_picture(in, pop_part_name(in));
  TextStyle style{settings_font(in), settings_font_colour(in), false, canvas.Image().width()};
  std::vector<std::string> lines = display_lines(text, tab_columns(in));
  if (with_background) {
    QPainter painter(&canvas.Image());
    painter.setFont(style.font);
    QFontMetrics metrics = painter.fontMetrics();
    int advance = line_advance(canvas, style.font);
    QColor brush = colour_from_text(system_text(in, "塗り色"), Qt::white);
    for (std::size_t i = 0; i < lines.size(); ++i)
      painter.fillRect(at.x(), at.y() + static_cast<int>(i) * advance,
                       metrics.horizontalAdvance(to_qstring(lines[i])), advance, brush);
  }
  draw_lines(canvas, lines, at.x(), at.y(), style);
}

void draw_text_on(Interpreter& in) {
  text_on(in, false);
}

void show_text_on(Interpreter& in) {
  text_on(in, true);
}

// タイル描画 (?へ,?を): the picture repeated from the top-left corner over the whole target.
void tile_on(Interpreter& in) {
  std::string picture_name = pop_picture_name(in);
  std::string target = pop_part_name(in);
  QImage tile = load_image(in, picture_name);
  if (tile.isNull())
    throw in.Error(in_quotes(picture_name) + text::sjis("は、イメージではありません。"));
  Canvas& canvas = target_picture(in, target);
  {
    QPainter painter(&canvas.Image());
    painter.drawTiledPixmap(canvas.Image().rect(),
                            QPixmap::fromImage(opaque_over(tile, Qt::white)));
  }
  canvas.Changed();
}

}  // namespace

void register_image_part_drawing(commands::HandlerTable& table) {
  table.Set(258, line_on);
  table.Set(259, rectangle_on);
  table.Set(260, ellipse_on);
  table.Set(506, rounded_rectangle_on);
  table.Set(508, polygon_on);
  table.Set(251, draw_text_on);
  table.Set(439, show_text_on);
  table.Set(584, tile_on);
}

}  // namespace morivel::gui
