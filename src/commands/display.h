// 表示's output file, which both front ends honour.
#pragma once

#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::commands {

// With 表示出力先 set, 表示 is a logger: the text is appended to that file as a line and goes
// nowhere else. False when 表示出力先 is empty.
bool ShowInOutputFile(engine::Interpreter& in, const std::string& text);

}  // namespace morivel::commands
