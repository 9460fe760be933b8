// Small readers shared by the statement reader and the term reader.
#include "engine/lexer.h"

#include <cstdint>

#include "text/sjis.h"

namespace morivel::engine {

std::string read_word(const char*& p) {
  skip_blanks(p);
  const char* start = p;
  while (*p && !is_word_delimiter(*p)) p += text::char_len(p);
  return std::string(start, p);
}

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string read_number(const char*& p) {
  if (*p == '$') {
    ++p;
    std::uint64_t value = 0;
    bool any = false;
    for (int d; (d = hex_value(*p)) >= 0; ++p) {
      any = true;
      if (value <= 0xFFFFFFFFull) value = value * 16 + static_cast<unsigned>(d);
    }
    if (!any || value > 0xFFFFFFFFull) return "0";
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
  }
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  while (is_digit(*p)) ++p;
  bool fraction = *p == '.' && is_digit(p[1]);
  if (fraction || (*p == 'E' && p > start)) {
    // An exponent follows a fraction; after whole digits only the upper-case "E" that the
    // run-time itself writes ("1E15") counts.
    if (fraction) ++p;
    while (is_digit(*p)) ++p;
    const char* exp = p;
    if (*exp == 'e' || *exp == 'E') {
      ++exp;
      if (*exp == '+' || *exp == '-') ++exp;
      if (is_digit(*exp)) {
        while (is_digit(*exp)) ++exp;
        p = exp;
      }
    }
  }
  return std::string(start, p);
}

int skip_line_prefix(const char*& p) {
  while (*p == '\t' || *p == '\r' || *p == '\n' || *p == ' ') ++p;
  if (!is_digit(*p)) return -1;
  const char* q = p;
  long long n = 0;
  while (is_digit(*q)) {
    if (n < 100000000) n = n * 10 + (*q - '0');
    ++q;
  }
  if (*q != ':') return -1;
  p = q + 1;
  return static_cast<int>(n);
}

}  // namespace morivel::engine
