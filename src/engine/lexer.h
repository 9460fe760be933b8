// Character classes of the statement reader and small readers over the program text.
#pragma once

#include <string>

namespace morivel::engine {

inline bool is_separator(char c) {
  return c == '\t' || c == ' ' || c == ',' || static_cast<unsigned char>(c) == 0xA4;
}

inline bool is_word_delimiter(char c) {
  switch (c) {
    case '\t':
    case '\r':
    case '\n':
    case ' ':
    case '!':
    case '"':
    case '#':
    case '%':
    case '&':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case '-':
    case '/':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '\\':
    case '^':
    case '`':
      return true;
    default:
      return static_cast<unsigned char>(c) == 0xA4;
  }
}

inline bool is_operator_char(char c) {
  switch (c) {
    case '!':
    case '%':
    case '&':
    case '*':
    case '+':
    case '-':
    case '/':
    case '<':
    case '=':
    case '>':
    case '^':
    case '|':
      return true;
    default:
      return false;
  }
}

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

inline void skip_blanks(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

// Reads whole Shift-JIS characters up to a word delimiter or NUL.
std::string read_word(const char*& p);

// Reads a number as written: "$" and hexadecimal digits give the decimal value; otherwise an
// optional sign, digits, and a fraction with an optional exponent.
std::string read_number(const char*& p);

// After a line break: skips the breaks and reads the "N:" prefix. Returns -1 when none.
int skip_line_prefix(const char*& p);

}  // namespace morivel::engine
