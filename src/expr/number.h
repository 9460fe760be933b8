// The system-wide conversions between Shift-JIS text and numbers (80-bit extended floats).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morivel::expr {

// Lenient text -> number; never fails. Blanks at both ends, thousands commas and full-width
// digits, signs and letters are accepted; only the first 254 bytes (after trimming) count.
// "$" followed by hexadecimal digits (the whole text) is a 32-bit integer whose bit pattern is
// read as signed ("$FFFFFFFF" is -1); anything else after "$", or more than 32 bits, gives 0.
// Otherwise the longest prefix of: optional sign, digits, and after a "." the fraction and an
// optional exponent ("15e3" is 15, "1.5e3" is 1500). No digits at all gives 0. An exponent too
// large for the type gives an infinity, one too small gives 0.
long double ToNumber(std::string_view sjis);

// Number -> text in general format with at most 15 significant digits: fixed notation for
// magnitudes from 0.0001 up to 15 digits before the point, else "1E-5", "1.5E20". Zero (also
// negative zero) is "0". NaN gives "NAN" and the infinities "INF" and "-INF".
std::string NumberToText(long double value);

// True for a whole number below 10^15: its text (NumberToText) reads back as exactly itself.
// Rounding to the nearest integer leaves only whole numbers as they are, and unlike a
// conversion through an integer it does not switch the FPU's rounding mode back and forth.
inline bool ReadsBackWhole(long double value) {
  constexpr long double kWholeLimit = 1e15L;
  return value > -kWholeLimit && value < kWholeLimit && value == __builtin_rintl(value);
}

// Strict "is this text an integer": after trimming blanks at both ends, an optional sign and
// decimal digits only, within the 64-bit range; or "$" and hexadecimal digits read as by
// ToNumber. Full-width digits, fractions and trailing text make it false; `out` is then left
// untouched.
bool ToInteger(std::string_view sjis, std::int64_t& out);

// Truncates toward zero. False (and `out` untouched) for NaN, infinities and values outside
// the 64-bit range, where a plain conversion would be undefined.
bool TruncateToInt64(long double value, std::int64_t& out);

}  // namespace morivel::expr
