// Formatted output of one value: "%[-][width][.precision]type" directives and grouped numbers.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morivel::text {

// The format does not fit its argument (wrong type, a second argument wanted, bad directive).
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The one argument a format is applied to; each directive type accepts one kind only:
// d, u, x an integer; e, f, g, n, m a real; s a text.
struct FormatArgument {
  enum class Kind { Real, Integer, Text };
  Kind kind = Kind::Text;
  long double real = 0;
  std::int64_t integer = 0;
  std::string text;
};

// Applies every directive of `format` to `arg` ("%%" is a percent sign, "%0:s" names the
// argument explicitly). Decimal fractions are rounded half away from zero on the value's
// 18-digit decimal form. m is the yen currency form ("\1,235"; no decimals unless a precision
// is given), n groups thousands with ",".
std::string format_value(std::string_view format, const FormatArgument& arg);

// The value in fixed notation with `decimals` digits after the point and "," between groups of
// three digits before it.
std::string format_grouped(long double value, int decimals);

}  // namespace morivel::text
