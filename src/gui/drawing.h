// Text and shapes on a drawing picture: the pen, brush and font a script's settings describe.
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morivel::engine {
class Interpreter;
}
namespace morivel::words {
struct DrawingState;
}

namespace morivel::gui {

class Canvas;

// ---- pen and brush ------------------------------------------------------------------------------

// Index of a pen style word (実線 破線 点線 点破線 点々破線 透明); 0 (solid) for any other word.
int pen_style_index(const std::string& sjis_word);
// Index of a brush style word (べた 透明 横線 縦線 左斜め線 右斜め線 十字線 斜め十字線); 0 (solid)
// for any other word.
int brush_style_index(const std::string& sjis_word);
Qt::PenStyle pen_style_of(int index);
Qt::BrushStyle brush_style_of(int index);

// What every shape is drawn with.
struct ShapeTools {
  QPen pen;
  QBrush brush;
};
// ペン色, ペン太さ (1 when it is not a whole number) and 塗り色, with the run's stored styles.
ShapeTools shape_tools(engine::Interpreter& in);

// ---- text ---------------------------------------------------------------------------------------

// Texts longer than this are cut to it and drawn as they are, without line or TAB handling.
constexpr std::size_t kMaxExpandedText = 4096;

// The lines 表示 draws for a Shift-JIS text: TABs expanded to the next multiple of
// `tab_columns` columns (a double-byte character takes two), a CR or LF together with one
// directly following CR or LF ends a line. A line break at the very end starts no further
// line, and the empty text is one empty line.
std::vector<std::string> display_lines(const std::string& sjis, int tab_columns);

struct TextStyle {
  QFont font;
  QColor colour;
  bool centering = false;
  int client_width = 0;  // the width centred lines are centred in
};

// The distance between the tops of two lines: the integer part of 1.2 times the height of "あ"
// measured with the picture's own resolution, so that it matches what is drawn.
int line_advance(const Canvas& canvas, const QFont& font);
// Draws the lines, the first with its top at `top`, each at `x` or centred; returns the top of
// the line after the last one.
int draw_lines(Canvas& canvas, const std::vector<std::string>& lines, int x, int top,
               const TextStyle& style);
// The same with the line_advance of the style's font on this picture already measured.
int draw_lines(Canvas& canvas, const std::vector<std::string>& lines, int x, int top,
               const TextStyle& style, int advance);

// The drawing position and flags, with the Y that text put off leaves settled first (painting
// that text). Every command that reads or sets the position takes it from here.
words::DrawingState& settled_drawing(engine::Interpreter& in);

// ---- shapes -------------------------------------------------------------------------------------
//
// Rectangles given by two corners cover the pixels from the first corner up to, not including,
// the second one, whichever way round the corners are given.

void draw_line(Canvas& canvas, const ShapeTools& tools, QPoint from, QPoint to);
void draw_rectangle(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2);
// The area filled with the brush only, no outline.
void fill_rectangle(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2);
void draw_ellipse(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2);
// `corner` is the width and height of the ellipse that rounds each corner.
void draw_rounded_rectangle(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2,
                            QPoint corner);
// Outlined with the pen and filled with the brush (alternate filling, as overlapping parts go).
void draw_polygon(Canvas& canvas, const ShapeTools& tools, const std::vector<QPoint>& points);
// False when the point lies outside the picture.
bool set_pixel(Canvas& canvas, QPoint at, QColor colour);
std::optional<QColor> pixel_colour(const Canvas& canvas, QPoint at);

// ---- colour numbers -----------------------------------------------------------------------------

// The 0x00BBGGRR number of RGB components already checked and reduced to bytes.
std::int64_t colour_number(int red, int green, int blue);
// Cyan, magenta, yellow and black as bytes: each primary is 255 minus its ink plus black, or 0
// when that sum passes 254.
std::int64_t cmyk_colour_number(int cyan, int magenta, int yellow, int black);

// ---- surfaces -----------------------------------------------------------------------------------

// The picture a drawing command names: "それ" or 母艦 is the main window's, a form has its own
// picture. nullptr when no such part exists or the part has no picture.
Canvas* image_surface_of(engine::Interpreter& in, const std::string& sjis_name);

}  // namespace morivel::gui
