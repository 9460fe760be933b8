// Coordinate texts "(x,y)" and rectangles "(left,top,right,bottom)" as scripts write them.
#pragma once

#include <string>
#include <vector>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::commands {

// The comma-separated values of a coordinate argument, each evaluated and taken to the nearest
// integer (halves to even). Enclosing backquotes and one enclosing pair of parentheses go. An
// argument that is not written out as values (a variable, a literal holding "(10,20)") is read by
// its value first.
std::vector<long long> CoordinateValues(engine::Interpreter& in, const std::string& raw);

}  // namespace morivel::commands
