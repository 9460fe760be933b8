// Text and shapes on a drawing picture: the pen, brush and font a script's settings describe.
#include "gui/drawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <array>
#include <climits>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/canvas.h"
#include "gui/front_end.h"
#include "gui/kinds/form_part.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// Wider pens than this are taken as this: a script's typo must not stall the run painting.
constexpr std::int64_t kMaxPenWidth = 1000;

int index_in(const std::string& sjis_word, std::initializer_list<const char*> words) {
  std::string word = text::trim(sjis_word);
  int index = 0;
  for (const char* candidate : words) {
    if (word == text::sjis(candidate)) return index;
    ++index;
  }
  return 0;
}

// Shapes are exact pixels (as scripts read them back with 座標色取得), never blended edges.
void prepare(QPainter& painter, const ShapeTools& tools) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(tools.pen);
  painter.setBrush(tools.brush);
}

// The corners in order: left, top, right, bottom (right and bottom just outside).
struct Span {
  int left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
  // The rectangle a stroke is drawn along: Qt strokes one pixel beyond a rectangle's size.
  QRect Outline() const { return QRect(left, top, right - left - 1, bottom - top - 1); }
  QRect Area() const { return QRect(left, top, right - left, bottom - top); }
};

// Far beyond any picture, yet small enough that sizes computed from it never overflow.
constexpr int kFarAway = 1 << 24;

Span span_of(QPoint a, QPoint b) {
  auto near = [](int v) { return std::clamp(v, -kFarAway, kFarAway); };
  return {near(std::min(a.x(), b.x())), near(std::min(a.y(), b.y())), near(std::max(a.x(), b.x())),
          near(std::max(a.y(), b.y()))};
}

void finish(Canvas& canvas) {
  canvas.Changed();
}

}  // namespace

// ---- pen and brush ------------------------------------------------------------------------------

int pen_style_index(const std::string& sjis_word) {
  return index_in(sjis_word, {"実線", "破線", "点線", "点破線", "点々破線", "透明"});
}

int brush_style_index(const std::string& sjis_word) {
  return index_in(sjis_word,
                  {"べた", "透明", "横線", "縦線", "左斜め線", "右斜め線", "十字線", "斜め十字線"});
}

Qt::PenStyle pen_style_of(int index) {
  static constexpr std::array<Qt::PenStyle, 6> kStyles = {
      Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine, Qt::NoPen};
  return index >= 0 && index < static_cast<int>(kStyles.size()) ? kStyles[index] : Qt::SolidLine;
}

Qt::BrushStyle brush_style_of(int index) {
  static constexpr std::array<Qt::BrushStyle, 8> kStyles = {
      Qt::SolidPattern, Qt::NoBrush,      Qt::HorPattern,   Qt::VerPattern,
      Qt::FDiagPattern, Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
  return index >= 0 && index < static_cast<int>(kStyles.size()) ? kStyles[index] : Qt::SolidPattern;
}

ShapeTools shape_tools(engine::Interpreter& in) {
  std::int64_t width = 1;
  if (!expr::ToInteger(system_text(in, "ペン太さ"), width)) width = 1;
  width = std::clamp<std::int64_t>(width, 0, kMaxPenWidth);
  const words::DrawingState& drawing = in.State().Drawing;
  ShapeTools tools;
  tools.pen =
      QPen(QBrush(colour_from_text(system_text(in, "ペン色"), Qt::black)),
           static_cast<qreal>(width), pen_style_of(drawing.PenStyle), Qt::RoundCap, Qt::MiterJoin);
  tools.brush = QBrush(colour_from_text(system_text(in, "塗り色"), Qt::black),
                       brush_style_of(drawing.BrushStyle));
  return tools;
}

// ---- text ---------------------------------------------------------------------------------------

std::vector<std::string> display_lines(const std::string& sjis, int tab_columns) {
  if (sjis.size() > kMaxExpandedText) return {sjis.substr(0, kMaxExpandedText)};
  if (tab_columns <= 0) tab_columns = 8;
  std::vector<std::string> lines;
  std::string line;
  int column = 0;
  bool after_break = false;
  for (std::size_t i = 0; i < sjis.size();) {
    char c = sjis[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      column = 0;
      after_break = true;
      ++i;
      if (i < sjis.size() && (sjis[i] == '\r' || sjis[i] == '\n')) ++i;
      continue;
    }
    after_break = false;
    if (c == '\t') {
      int spaces = tab_columns - column % tab_columns;
      line.append(static_cast<std::size_t>(spaces), ' ');
      column += spaces;
      ++i;
      continue;
    }
    std::size_t n = text::char_len(sjis, i);
    line.append(sjis, i, n);
    column += static_cast<int>(n);
    i += n;
  }
  if (!after_break || lines.empty()) lines.push_back(std::move(line));
  return lines;
}

int line_advance(const Canvas& canvas, const QFont& font) {
  // The extent of the text, as the platform measures a text's height, not the font's ascent
  // and descent alone: fonts whose Japanese glyphs come from a fallback face are taller.
  QFontMetrics metrics(font, &canvas.Image());
  int height = metrics.size(Qt::TextSingleLine, QString::fromUtf8("あ")).height();
  return height * 12 / 10;
}

int draw_lines(Canvas& canvas, const std::vector<std::string>& lines, int x, int top,
               const TextStyle& style) {
  return draw_lines(canvas, lines, x, top, style, line_advance(canvas, style.font));
}

int draw_lines(Canvas& canvas, const std::vector<std::string>& lines, int x, int top,
               const TextStyle& style, int advance) {
  QPainter painter(&canvas.Image());
  painter.setFont(style.font);
  painter.setPen(style.colour);
  painter.setBrush(Qt::NoBrush);
  QFontMetrics metrics = painter.fontMetrics();
  const int bottom = canvas.Image().height();
  for (const std::string& line : lines) {
    // Lines wholly off the picture are only counted (the position may lie anywhere).
    if (top > -advance && top < bottom) {
      QString text = to_qstring(line);
      int left = style.centering ? (style.client_width - metrics.horizontalAdvance(text)) / 2 : x;
      painter.drawText(left, top + metrics.ascent(), text);
    }
    top = static_cast<int>(std::min<long long>(static_cast<long long>(top) + advance, INT_MAX));
  }
  painter.end();
  finish(canvas);
  return top;
}

words::DrawingState& settled_drawing(engine::Interpreter& in) {
  words::DrawingState& at = in.State().Drawing;
  Canvas& picture = front_end(in).Window().Img();
  if (picture.Deferred().OwesPosition()) at.Y = picture.Deferred().TakePosition(picture);
  return at;
}

// ---- shapes -------------------------------------------------------------------------------------

void draw_line(Canvas& canvas, const ShapeTools& tools, QPoint from, QPoint to) {
  QPainter painter(&canvas.Image());
  prepare(painter, tools);
  painter.drawLine(from, to);
  painter.end();
  finish(canvas);
}

void draw_rectangle(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2) {
  Span span = span_of(corner1, corner2);
  if (span.Empty()) return;
  QPainter painter(&canvas.Image());
  prepare(painter, tools);
  painter.drawRect(span.Outline());
  painter.end();
  finish(canvas);
}

void fill_rectangle(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2) {
  Span span = span_of(corner1, corner2);
  if (span.Empty()) return;
  QPainter painter(&canvas.Image());
  prepare(painter, tools);
  painter.fillRect(span.Area(), tools.brush);
  painter.end();
  finish(canvas);
}

void draw_ellipse(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2) {
  Span span = span_of(corner1, corner2);
  if (span.Empty()) return;
  QPainter painter(&canvas.Image());
  prepare(painter, tools);
  painter.drawEllipse(span.Outline());
  painter.end();
  finish(canvas);
}

void draw_rounded_rectangle(Canvas& canvas, const ShapeTools& tools, QPoint corner1, QPoint corner2,
                            QPoint corner) {
  Span span = span_of(corner1, corner2);
  if (span.Empty()) return;
  QPainter painter(&canvas.Image());
  prepare(painter, tools);
  painter.drawRoundedRect(span.Outline(), std::abs(corner.x()) / 2.0, std::abs(corner.y()) / 2.0,
                          Qt::AbsoluteSize);
  painter.end();
  finish(canvas);
}

void draw_polygon(Canvas& canvas, const ShapeTools& tools, const std::vector<QPoint>& points) {
  QPolygon polygon;
  for (QPoint p : points) polygon << p;
  QPainter painter(&canvas.Image());
  prepare(painter, tools);
  painter.drawPolygon(polygon, Qt::OddEvenFill);
  painter.end();
  finish(canvas);
}

bool set_pixel(Canvas& canvas, QPoint at, QColor colour) {
  if (!canvas.Image().rect().contains(at)) return false;
  canvas.Image().setPixelColor(at, colour);
  finish(canvas);
  return true;
}

std::optional<QColor> pixel_colour(const Canvas& canvas, QPoint at) {
  if (!canvas.Image().rect().contains(at)) return std::nullopt;
  return canvas.Image().pixelColor(at);
}

// ---- colour numbers -----------------------------------------------------------------------------

std::int64_t colour_number(int red, int green, int blue) {
  return red + 256 * static_cast<std::int64_t>(green) + 65536 * static_cast<std::int64_t>(blue);
}

std::int64_t cmyk_colour_number(int cyan, int magenta, int yellow, int black) {
  auto primary = [black](int ink) {
    int sum = ink + black;
    return sum > 254 ? 0 : 255 - sum;
  };
  return colour_number(primary(cyan), primary(magenta), primary(yellow));
}

// ---- surfaces -----------------------------------------------------------------------------------

Canvas* image_surface_of(engine::Interpreter& in, const std::string& sjis_name) {
  static const std::string kSore = text::sjis("それ");
  FrontEnd& front = front_end(in);
  std::string name = text::trim(sjis_name);
  if (name == kSore) return &front.Window().Img();
  PartRegistry& parts = front.Parts();
  words::THashNode* word = parts.FindWord(in, name);
  words::TObjNode* node = word ? parts.NodeOfWord(*word) : nullptr;
  Part* part = node ? parts.PartOf(*node) : nullptr;
  if (!part) return nullptr;
  if (auto* form = dynamic_cast<FormPart*>(part)) return &form->Img();
  // A part whose control is a picture itself (an image part).
  return qobject_cast<Canvas*>(part->Widget());
}

}  // namespace morivel::gui
