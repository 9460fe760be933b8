// Starting a command line as 起動 does, for the commands that start a program on the way.
#pragma once

#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::automation {

void LaunchCommandLine(engine::Interpreter& in, const std::string& line);

}  // namespace morivel::automation
