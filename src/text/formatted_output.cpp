// Directive formatting on the decimal digits of a value, rounded the way people round.
#include "text/formatted_output.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "text/sjis.h"

namespace morivel::text {
namespace {

constexpr int kSignificantDigits = 18;  // what an 80-bit real holds
constexpr int kMaxPrecision = 100;
constexpr int kMaxWidth = 4096;

// value = 0.DIGITS x 10^exponent; no trailing zeros in digits; zero has no digits.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Decimal to_decimal(long double value) {
  Decimal d;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Le", kSignificantDigits - 1, value);
  const std::string_view s = buffer;
  std::size_t i = 0;
  if (s[i] == '-') {
    d.negative = true;
    ++i;
  }
  const std::size_t e = s.find('e');
  for (; i < e; ++i)
    if (s[i] != '.') d.digits += s[i];
  d.exponent = std::stoi(std::string(s.substr(e + 1))) + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exponent = 0;
  return d;
}

// Keeps `keep` significant digits, rounding half away from zero.
void round_digits(Decimal& d, int keep) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  const bool up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  if (up) {
    int k = keep - 1;
    while (k >= 0 && d.digits[k] == '9') d.digits[k--] = '0';
    if (k >= 0) {
      ++d.digits[k];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exponent = 0;
}

char digit_at(const Decimal& d, int index) {
  return index >= 0 && index < static_cast<int>(d.digits.size()) ? d.digits[index] : '0';
}

std::string group_thousands(const std::string& integer_part) {
  std::string out;
  const std::size_t n = integer_part.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += integer_part[i];
  }
  return out;
}

std::optional<std::string> special_text(long double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return std::nullopt;
}

std::string fixed(long double value, int decimals, bool grouped) {
  if (auto special = special_text(value)) return *special;
  Decimal d = to_decimal(value);
  round_digits(d, d.exponent + decimals);
  std::string integer_part;
  for (int k = 0; k < d.exponent; ++k) integer_part += digit_at(d, k);
  if (integer_part.empty()) integer_part = "0";
  std::string out = (d.negative && !d.digits.empty()) ? "-" : "";
  out += grouped ? group_thousands(integer_part) : integer_part;
  if (decimals > 0) {
    out += '.';
    for (int k = 0; k < decimals; ++k) out += digit_at(d, d.exponent + k);
  }
  return out;
}

std::string scientific(long double value, int precision) {
  if (auto special = special_text(value)) return *special;
  Decimal d = to_decimal(value);
  round_digits(d, precision);
  std::string out = (d.negative && !d.digits.empty()) ? "-" : "";
  out += digit_at(d, 0);
  if (precision > 1) out += '.';
  for (int k = 1; k < precision; ++k) out += digit_at(d, k);
  const int exponent = d.digits.empty() ? 0 : d.exponent - 1;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return out + buffer;
}

std::string general(long double value, int precision) {
  if (auto special = special_text(value)) return *special;
  Decimal d = to_decimal(value);
  round_digits(d, precision);
  if (d.digits.empty()) return "0";
  std::string out = d.negative ? "-" : "";
  if (d.exponent > precision || d.exponent < -3) {
    out += d.digits[0];
    if (d.digits.size() > 1) out += "." + d.digits.substr(1);
    return out + "E" + std::to_string(d.exponent - 1);
  }
  if (d.exponent <= 0) return out + "0." + std::string(-d.exponent, '0') + d.digits;
  for (int k = 0; k < d.exponent; ++k) out += digit_at(d, k);
  if (static_cast<int>(d.digits.size()) > d.exponent) out += "." + d.digits.substr(d.exponent);
  return out;
}

std::string with_min_digits(std::string digits, int precision, bool negative) {
  if (precision > static_cast<int>(digits.size())) digits.insert(0, precision - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

std::string integer_text(const FormatArgument& arg, char type, int precision) {
  if (arg.kind != FormatArgument::Kind::Integer) throw FormatError("integer expected");
  const std::int64_t v = arg.integer;
  if (type == 'x') {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llX",
                  static_cast<unsigned long long>(static_cast<std::uint64_t>(v)));
    return with_min_digits(buffer, precision, false);
  }
  if (type == 'u')
    return with_min_digits(std::to_string(static_cast<std::uint64_t>(v)), precision, false);
  const std::uint64_t magnitude =
      v < 0 ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
  return with_min_digits(std::to_string(magnitude), precision, v < 0);
}

std::string real_text(const FormatArgument& arg, char type, int precision) {
  if (arg.kind != FormatArgument::Kind::Real) throw FormatError("real expected");
  const long double v = arg.real;
  switch (type) {
    case 'e':
      return scientific(v, precision < 0 ? 15 : std::max(precision, 1));
    case 'f':
      return fixed(v, precision < 0 ? 2 : precision, false);
    case 'g':
      return general(v, precision < 0 ? 15 : std::max(precision, 1));
    case 'n':
      return fixed(v, precision < 0 ? 2 : precision, true);
    default: {  // 'm': the yen currency form
      const std::string number = fixed(std::fabs(v), precision < 0 ? 0 : precision, true);
      const bool negative = v < 0 && number.find_first_not_of("0.,") != std::string::npos;
      return (negative ? "-\\" : "\\") + number;
    }
  }
}

std::string text_of(const FormatArgument& arg, int precision) {
  if (arg.kind != FormatArgument::Kind::Text) throw FormatError("text expected");
  if (precision < 0 || precision >= static_cast<int>(arg.text.size())) return arg.text;
  std::size_t end = 0;
  while (end < arg.text.size() &&
         end + char_len(arg.text, end) <= static_cast<std::size_t>(precision))
    end += char_len(arg.text, end);
  return arg.text.substr(0, end);
}

// Reads decimal digits at i; -1 when there are none.
int read_number(std::string_view s, std::size_t& i, int limit) {
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return -1;
  int n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    n = n * 10 + (s[i++] - '0');
    if (n > limit) throw FormatError("number too large in format");
  }
  return n;
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string format_grouped(long double value, int decimals) {
  return fixed(value, decimals, true);
}

std::string format_value(std::string_view format, const FormatArgument& arg) {
  std::string out;
  int next_argument = 0;
  for (std::size_t i = 0; i < format.size();) {
    const std::size_t len = char_len(format, i);
    if (format[i] != '%' || len == 2) {
      out.append(format.substr(i, len));
      i += len;
      continue;
    }
    ++i;
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t k = i;
    if (const int index = read_number(format, k, kMaxWidth);
        index >= 0 && k < format.size() && format[k] == ':') {
      next_argument = index;
      i = k + 1;
    }
    const bool left = i < format.size() && format[i] == '-';
    if (left) ++i;
    const int width = read_number(format, i, kMaxWidth);
    int precision = -1;
    if (i < format.size() && format[i] == '.') {
      ++i;
      precision = std::max(read_number(format, i, kMaxPrecision), 0);
    }
    if (i >= format.size()) throw FormatError("incomplete directive");
    const char type = lower(format[i++]);
    if (next_argument++ != 0) throw FormatError("too few arguments");
    std::string piece;
    switch (type) {
      case 'd':
      case 'u':
      case 'x':
        piece = integer_text(arg, type, precision);
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm':
        piece = real_text(arg, type, precision);
        break;
      case 's':
        piece = text_of(arg, precision);
        break;
      default:
        throw FormatError("invalid directive");
    }
    if (width > static_cast<int>(piece.size())) {
      const std::string pad(width - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

}  // namespace morivel::text
