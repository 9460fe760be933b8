// Coordinates "(x,y)" and rectangles "(left,top,right,bottom)" as scripts write them.
#include "gui/coordinates.h"

#include "commands/coordinates.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

std::vector<long long> coordinate_values(engine::Interpreter& in, const std::string& raw) {
  return commands::CoordinateValues(in, raw);
}

QPoint parse_point(engine::Interpreter& in, const std::string& text) {
  std::vector<long long> v = coordinate_values(in, text);
  if (v.size() != 2) throw in.Error(text::sjis("座標の指定エラー"));
  return QPoint(static_cast<int>(v[0]), static_cast<int>(v[1]));
}

std::array<int, 4> parse_rect(engine::Interpreter& in, const std::string& text) {
  std::vector<long long> v = coordinate_values(in, text);
  if (v.size() > 4) {
    std::string listed;
    for (long long n : v) listed += std::to_string(n) + "\r\n";
    throw in.Error(text::sjis("座標の指定エラー。引数が多すぎます。\"") + listed + "\"");
  }
  std::array<int, 4> r{};
  for (std::size_t i = 0; i < v.size(); ++i) r[i] = static_cast<int>(v[i]);
  return r;
}

std::string point_text(int x, int y) {
  return "(" + std::to_string(x) + "," + std::to_string(y) + ")";
}

std::string rect_text(int left, int top, int right, int bottom) {
  return "(" + std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(right) +
         "," + std::to_string(bottom) + ")";
}

}  // namespace morivel::gui
