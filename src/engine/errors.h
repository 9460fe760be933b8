// The interpreter error: its text is a formatted error line, already appended to the error log.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace morivel::engine {

// Script text quoted in a message is cut to this many bytes (whole characters) plus "...", so
// that a huge statement cannot make a huge message.
inline constexpr std::size_t kMaxQuotedBytes = 200;
std::string CutForMessage(std::string_view quoted);

class EMorv : public std::runtime_error {
 public:
  explicit EMorv(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace morivel::engine
