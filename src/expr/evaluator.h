// The infix expression evaluator: arithmetic, text joining, comparison and logic over terms.
#pragma once

#include <string>

namespace morivel::expr {

// A value with its type mark: "s" text, "e" number, "hs" a dictionary's text (from terms).
struct Value {
  std::string text;
  std::string type_mark;
};

// Reads operands. The engine implements it with its term reader, so every kind of word,
// literal and call can stand in an expression.
class TermReader {
 public:
  virtual ~TermReader() = default;
  // Reads one term at p (leading blanks allowed) and moves p past it. At a character that
  // cannot start a term it may return empty text without moving.
  virtual Value ReadTerm(const char*& p) = 0;
};

// Evaluates the expression at p (a NUL-terminated text). The result is numeric text with type
// "e" or text with type "s". p is left at the first token the expression did not take (the end
// of the text when everything was used).
// Any failure, inside or from the term reader (any std::exception), is thrown as
// morivel::GeneralError with the message "計算式に誤りがあります。" + the inner message + the
// text from the expression's start to the NUL.
Value Evaluate(TermReader& terms, const char*& p);

// Parentheses nested deeper than this inside one expression fail instead of exhausting the
// stack. Only the evaluator's own groups count: a term reader that evaluates a group itself
// (after a "-", say) starts a new count, so expressions inside called functions are not
// limited by the expression that called them.
inline constexpr int kMaxNesting = 200;

}  // namespace morivel::expr
