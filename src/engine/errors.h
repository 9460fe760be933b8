// The interpreter error: its text is a formatted error line, already appended to the error log.
#pragma once

#include <stdexcept>
#include <string>

namespace morivel::engine {

class EMorv : public std::runtime_error {
 public:
  explicit EMorv(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace morivel::engine
