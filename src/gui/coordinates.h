// Coordinates "(x,y)" and rectangles "(left,top,right,bottom)" as scripts write them.
#pragma once

#include <QPoint>

#include <array>
#include <string>
#include <vector>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::gui {

// The values of a coordinate argument as written (see commands::CoordinateValues).
std::vector<long long> coordinate_values(engine::Interpreter& in, const std::string& text);
// Exactly two values, else "座標の指定エラー".
QPoint parse_point(engine::Interpreter& in, const std::string& text);
// Up to four values left, top, right, bottom (missing ones 0); more raise the too-many error.
std::array<int, 4> parse_rect(engine::Interpreter& in, const std::string& text);
std::string point_text(int x, int y);
std::string rect_text(int left, int top, int right, int bottom);

}  // namespace morivel::gui
