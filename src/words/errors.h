// The general failure of the word layer: a Shift-JIS message that the engine turns into an error
// line.
#pragma once

#include <stdexcept>
#include <string>

namespace morivel {

// A failure outside the interpreter error proper (registration, parsing helpers). Its message is
// Shift-JIS text; what() gives the same bytes.
class GeneralError : public std::runtime_error {
 public:
  explicit GeneralError(const std::string& sjis_message) : std::runtime_error(sjis_message) {}
};

}  // namespace morivel
