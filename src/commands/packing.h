// Packed files for the file commands: where a name stored in the run's archive can be read.
#pragma once

#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::commands {

// When the run's packed archive holds `name` (Shift-JIS, any case), the path (Shift-JIS, "/"
// separated) of its copy in the temporary folder, extracted on first use and deleted when the run
// ends; otherwise empty text, and the caller uses the name it was given. Throws the run-time's
// error when the copy cannot be written.
std::string ResolvePackedFile(engine::Interpreter& in, const std::string& name);

}  // namespace morivel::commands
