// Source preprocessing: comments removed, symbols normalised, brackets checked, lines numbered.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace morivel::source {

// A construct of the source text that is not closed, or a label that cannot be defined. `line`
// is the 1-based script line the message is about; `message` is Shift-JIS text.
struct PreprocessError : std::exception {
  PreprocessError(int line_number, std::string sjis_message)
      : line(line_number), message(std::move(sjis_message)) {}
  const char* what() const noexcept override { return message.c_str(); }

  int line;
  std::string message;
};

// Turns a Shift-JIS script into the text the executor runs in place: comments removed, full-width
// symbols, letters and digits turned into ASCII outside string literals (literal delimiters
// become ASCII quotes), every line break written as CR LF, and every line but the first prefixed
// with the number of the line before it and ":". Lines that continue a string literal or a
// here-document get no prefix, but are counted. The text ends at the first NUL byte.
// Throws PreprocessError when a brace comment, a string literal or a here-document is not closed.
std::string Preprocess(std::string_view source);

// The line that `p` (a position in preprocessed text) is on, read from the prefix of the next
// line; `current_line` when no readable prefix follows.
int LineNumberAt(const char* p, int current_line);

}  // namespace morivel::source
