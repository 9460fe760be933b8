// The printer the run prints on, as the printer setup chose it, shared by every family that
// prints (the printing commands and the office suite's print commands).
#pragma once

#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::commands {

// The chosen printer's name in UTF-8; a name ending in ".pdf" is a PDF file. Empty until a
// printer is chosen: the system's default printer.
const std::string& ChosenPrinter(engine::Interpreter& in);
void SetChosenPrinter(engine::Interpreter& in, std::string name);

}  // namespace morivel::commands
