// Text <-> number conversions shared by the evaluator and the number commands.
#include "expr/number.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "text/sjis.h"

namespace morivel::expr {
namespace {

// Only this many leading bytes take part in a conversion; longer texts are cut here.
constexpr std::size_t kConsideredBytes = 254;

// The half-width form of the full-width characters a number can contain, or 0 for any other
// double-byte code. Other full-width symbols cannot start or continue a number in either
// form, so they are left as they are.
char HalfWidthOf(unsigned code) {
  if (code >= 0x824F && code <= 0x8258) return static_cast<char>('0' + (code - 0x824F));
  if (code >= 0x8260 && code <= 0x8279) return static_cast<char>('A' + (code - 0x8260));
  if (code >= 0x8281 && code <= 0x829A) return static_cast<char>('a' + (code - 0x8281));
  switch (code) {
    case 0x8140:
      return ' ';
    case 0x8143:
      return ',';
    case 0x8144:
      return '.';
    case 0x817B:
      return '+';
    case 0x817C:
      return '-';
    case 0x8190:
      return '$';
    default:
      return 0;
  }
}

// Full-width -> half-width and comma removal in one pass.
std::string NormalizeForNumber(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = text::char_len(s, i);
    char c = len == 2 ? HalfWidthOf(text::code_at(s, i)) : s[i];
    if (c == 0) {
      out.append(s.substr(i, len));
    } else if (c != ',') {
      out.push_back(c);
    }
    i += len;
  }
  return out;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "$" and hexadecimal digits up to the end; the value must fit in 32 bits.
bool ParseHex32(std::string_view s, std::int32_t& out) {
  if (s.size() < 2 || s[0] != '$') return false;
  std::uint64_t value = 0;
  for (char c : s.substr(1)) {
    int digit = HexDigitValue(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFu) return false;
  }
  out = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return true;
}

std::size_t SkipDigits(std::string_view s, std::size_t i) {
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i;
}

// Length of the exponent part ("E", optional sign, at least one digit) at i, or 0.
std::size_t ExponentLength(std::string_view s, std::size_t i) {
  if (i >= s.size() || (s[i] != 'E' && s[i] != 'e')) return 0;
  std::size_t j = i + 1;
  if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
  std::size_t end = SkipDigits(s, j);
  return end > j ? end - i : 0;
}

// The decimal number at the start of s (no sign), converted; 0 when it has no digits.
long double ParseUnsignedDecimal(std::string_view s) {
  std::size_t end = SkipDigits(s, 0);
  bool has_digits = end > 0;
  bool negative_exponent = false;
  if (end < s.size() && s[end] == '.') {
    std::size_t fraction_end = SkipDigits(s, end + 1);
    has_digits = has_digits || fraction_end > end + 1;
    end = fraction_end;
    std::size_t exponent = ExponentLength(s, end);
    if (exponent > 0) negative_exponent = s[end + 1] == '-';
    end += exponent;
  } else if (has_digits && end < s.size() && s[end] == 'E') {
    // The run-time writes large and small numbers as "1E15" or "1E-5"; reading its own output
    // back must give the same number. A lower-case "15e3" still reads as 15.
    std::size_t exponent = ExponentLength(s, end);
    if (exponent > 0) negative_exponent = s[end + 1] == '-';
    end += exponent;
  }
  if (!has_digits) return 0;
  long double value = 0;
  auto result = std::from_chars(s.data(), s.data() + end, value);
  if (result.ec == std::errc::result_out_of_range) {
    // The digits alone are bounded by the cut, so only the exponent can leave the range.
    return negative_exponent ? 0.0L : std::numeric_limits<long double>::infinity();
  }
  return result.ec == std::errc() ? value : 0.0L;
}

// Most values are short plain integers ("123", "-5"): read them without the general reader.
// Up to 18 digits the value is exact in the extended type, as the general reader gives it.
bool ReadPlainInteger(std::string_view s, long double& out) {
  std::size_t i = s.size() > 0 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (s.size() == i || s.size() - i > 18) return false;
  std::int64_t value = 0;
  for (std::size_t k = i; k < s.size(); ++k) {
    if (!IsDigit(s[k])) return false;
    value = value * 10 + (s[k] - '0');
  }
  long double magnitude = static_cast<long double>(value);
  out = s[0] == '-' ? -magnitude : magnitude;
  return true;
}

}  // namespace

long double ToNumber(std::string_view sjis) {
  if (long double plain = 0; ReadPlainInteger(sjis, plain)) return plain;
  std::string_view trimmed = text::trim_view(sjis);
  if (trimmed.empty()) return 0;
  std::string normalized = NormalizeForNumber(trimmed.substr(0, kConsideredBytes));
  std::string_view s = text::trim_view(normalized);
  if (!s.empty() && s[0] == '$') {
    std::int32_t hex = 0;
    return ParseHex32(s, hex) ? hex : 0;
  }
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  long double value = ParseUnsignedDecimal(s);
  return negative ? -value : value;
}

namespace {

struct DecimalDigits {
  bool negative = false;
  std::string digits;  // significant digits without trailing zeros, at least one
  int exponent = 0;    // the value is d.ddd x 10^exponent
};

// Rounds a finite non-zero value to 15 significant digits.
DecimalDigits RoundTo15Digits(long double value) {
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  std::string_view s(buffer, static_cast<std::size_t>(result.ptr - buffer));
  DecimalDigits d;
  if (s.front() == '-') {
    d.negative = true;
    s.remove_prefix(1);
  }
  std::size_t e = s.find('e');
  for (char c : s.substr(0, e))
    if (c != '.') d.digits.push_back(c);
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  std::string_view exponent = s.substr(e + 1);
  if (exponent.front() == '+') exponent.remove_prefix(1);
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), d.exponent);
  return d;
}

std::string FixedNotation(const DecimalDigits& d) {
  std::string out;
  if (d.exponent < 0) {
    out = "0.";
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out += d.digits;
    return out;
  }
  std::size_t whole = static_cast<std::size_t>(d.exponent) + 1;
  if (d.digits.size() <= whole) {
    out = d.digits;
    out.append(whole - d.digits.size(), '0');
  } else {
    out = d.digits.substr(0, whole) + "." + d.digits.substr(whole);
  }
  return out;
}

std::string ScientificNotation(const DecimalDigits& d) {
  std::string out(1, d.digits[0]);
  if (d.digits.size() > 1) out += "." + d.digits.substr(1);
  out += "E" + std::to_string(d.exponent);
  return out;
}

}  // namespace

std::string NumberToText(long double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // A whole number below 10^15 has at most 15 digits: its fixed form is its integer text.
  if (ReadsBackWhole(value)) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, std::llrint(value));
    return std::string(buffer, result.ptr);
  }
  DecimalDigits d = RoundTo15Digits(value);
  bool fixed = d.exponent >= -4 && d.exponent <= 14;
  std::string body = fixed ? FixedNotation(d) : ScientificNotation(d);
  return d.negative ? "-" + body : body;
}

bool ToInteger(std::string_view sjis, std::int64_t& out) {
  std::string_view s = text::trim_view(sjis);
  if (!s.empty() && s[0] == '$') {
    std::int32_t hex = 0;
    if (!ParseHex32(s, hex)) return false;
    out = hex;
    return true;
  }
  // from_chars takes a minus sign but not a plus sign.
  if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
  std::int64_t value = 0;
  auto result = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || result.ec != std::errc() || result.ptr != s.data() + s.size()) return false;
  out = value;
  return true;
}

bool TruncateToInt64(long double value, std::int64_t& out) {
  // Both bounds are powers of two and exact in the extended type.
  constexpr long double kLow = -9223372036854775808.0L;
  constexpr long double kHigh = 9223372036854775808.0L;
  if (!(value >= kLow && value < kHigh)) return false;
  // Whole numbers, the usual case, convert without switching the FPU to truncation.
  out = value == __builtin_rintl(value) ? std::llrint(value) : static_cast<std::int64_t>(value);
  return true;
}

}  // namespace morivel::expr
