// The infix expression evaluator: arithmetic, text joining, comparison and logic over terms.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::words {
class THashNode;
}

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

// How an argument's value so far is written when the argument's expression goes on from it:
// the argument reader evaluates "(" + OperandText(value) + the rest + ")".
std::string OperandText(const Value& value);

// Evaluates "(" + OperandText(so_far) + rest + ")" as Evaluate evaluates that text, failures
// included, but with the value in hand instead of writing it out and reading it back. Gives
// nothing, having read nothing, where the text would read otherwise: when `rest` is not whole
// inside the group, or the value is a number that does not read back as itself or a text with
// a NUL.
std::optional<Value> EvaluateContinued(TermReader& terms, const Value& so_far, const char* rest);

struct PreparedToken;
struct PreparedArgument;
struct NumericProgram;

// A group's tokens written out once as the steps that evaluate them without texts, made on the
// group's first evaluation. A copy of a token starts without them: they point into the tokens
// they were made from.
class NumericCode {
 public:
  NumericCode() = default;
  NumericCode(const NumericCode&) {}
  NumericCode& operator=(const NumericCode&) {
    program_.reset();
    return *this;
  }
  NumericCode(NumericCode&&) noexcept = default;
  NumericCode& operator=(NumericCode&&) noexcept = default;

  const NumericProgram& For(const std::vector<PreparedToken>& tokens) const;
  // The whole-number steps of an argument's first term and the expression going on from it,
  // as one program (unusable where the argument is not of that form).
  const NumericProgram& ForArgument(const PreparedArgument& argument) const;

 private:
  mutable std::shared_ptr<const NumericProgram> program_;
};

// An expression read once, for a text whose reading never depends on the run: numbers, constant
// texts, operators, groups and words whose values are looked up at each evaluation. Evaluating
// it gives what Evaluate gives on the text it was read from.
struct PreparedToken {
  enum class Type : std::uint8_t {
    kNumber,    // text as the reader gives it, and its number
    kText,      // a literal's value
    kOperator,  // text: the operator
    kGroup,     // inner: the tokens inside the parentheses
    kWord,      // text: the word, looked up at each evaluation
    kNegated,   // a "-" where an operand is expected; inner: the one term after it
    kLeft,      // the value that stands first in an argument's expression
    kElement,   // text: the word; inner: one or two index terms (A#i, A#i#j)
  };
  Type type = Type::kText;
  std::string text;
  long double number = 0;
  std::vector<PreparedToken> inner;
  std::uint8_t op = 0;  // kOperator: OperatorCode(text)
  // kWord, kElement: the word the name was last found as (null: none), kept by whoever looks
  // it up, valid as long as the word table is at the same generation.
  mutable words::THashNode* found = nullptr;
  mutable std::uint64_t found_generation = 0;
  mutable std::uint64_t found_shadows = ~std::uint64_t{0};  // see TScopedHash::FindKept
  NumericCode numeric;                                      // kGroup
};

// Operators by meaning; spellings that mean the same share one. kOther is no known operator.
enum class Op : std::uint8_t {
  kNone,
  kAnd,
  kOr,
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kAtLeast,
  kAtMost,
  kTextEqual,
  kTextNotEqual,
  kNumberEqual,
  kNumberNotEqual,
  kAdd,
  kSubtract,
  kJoin,
  kMultiply,
  kDivide,
  kRemainder,
  kPower,
  kOther,
};

Op OperatorOf(std::string_view spelling);

// The evaluator's code for an operator's spelling, kept in prepared operator tokens.
std::uint8_t OperatorCode(std::string_view spelling);

// An ordered comparison or (in)equality of two numbers or two texts.
template <typename T>
bool CompareOrdered(Op op, const T& a, const T& b) {
  if (op == Op::kEqual) return a == b;
  if (op == Op::kNotEqual) return a != b;
  if (op == Op::kLess) return a < b;
  if (op == Op::kGreater) return a > b;
  if (op == Op::kAtLeast) return a >= b;
  return a <= b;  // kAtMost
}

// The values of the words of a prepared expression. Either may throw to give up: the caller
// then evaluates the text instead, so a word must not change anything before it gives up.
class PreparedWords {
 public:
  virtual ~PreparedWords() = default;
  // The variable a word token names, or null when no word has its name (the word then stands
  // for its own text).
  virtual const words::THashNode* Variable(const PreparedToken& word) = 0;
  virtual Value Element(const PreparedToken& element) = 0;
  // An element's value where it is a whole number of number kind (see ElementIsWhole); false
  // where it is anything else. Element by default, without its text where a table allows.
  virtual bool WholeElement(const PreparedToken& element, std::int64_t& out);
};

// Whether an element of type `type_mark` and text `text` is a whole number of number kind as the
// integer steps take it: a number's type mark, a whole number below 10^15 as text.
bool ElementIsWhole(const std::string& type_mark, std::string_view text, std::int64_t& out);
// ElementIsWhole for an element whose type mark is guessed from its text, as element reads
// guess it: of number kind when it starts with a digit or "$".
bool GuessedElementIsWhole(std::string_view text, std::int64_t& out);

// An argument text as the argument reader reads it: one term, terms joined to it with "&", and
// an operator expression that goes on from the value so far.
struct PreparedArgument {
  PreparedToken first;
  std::vector<PreparedToken> joined;
  // The tokens of "(" + value so far + rest + ")", the value so far a kLeft token.
  std::vector<PreparedToken> continued;
  bool has_continuation = false;
  NumericCode whole;  // see NumericCode::ForArgument
};

// The number of a prepared result whose text is that number's own text, so that whoever keeps
// the result can keep the number too.
struct PreparedNumber {
  bool known = false;
  long double value = 0;
};

// A number result of prepared evaluation, in integer form too when it is a whole number below
// 10^15 (its text is then its digits).
struct NumberResult {
  long double value = 0;
  std::int64_t whole = 0;
  bool is_whole = false;
};

// Evaluates a prepared expression (a kGroup token holding the tokens of the text) as Evaluate
// evaluates its text. Any failure throws (the caller evaluates the text, which gives the error in
// its own words).
Value EvaluatePrepared(const PreparedToken& expression, PreparedWords& words,
                       PreparedNumber* number = nullptr);
// The number EvaluatePrepared gives when the expression's values are numbers throughout; nothing
// where a text is needed or the evaluation fails (EvaluatePrepared then says what it gives).
std::optional<NumberResult> PreparedNumberResult(const PreparedToken& expression,
                                                 PreparedWords& words);
// PreparedNumberResult where it is a whole number that reads back as itself, found by the
// whole-number steps alone; false (the caller then asks PreparedNumberResult) otherwise.
bool PreparedWholeResult(const PreparedToken& expression, PreparedWords& words, std::int64_t& out);
// The number EvaluatePreparedArgument leaves in `number` when the argument is a number
// expression whose values are numbers throughout; nothing otherwise (EvaluatePreparedArgument
// then says what it gives).
std::optional<NumberResult> PreparedArgumentNumber(const PreparedArgument& argument,
                                                   PreparedWords& words);
// PreparedArgumentNumber where the result is a whole number below 10^15 reached on whole numbers
// alone: false otherwise, having changed nothing (PreparedArgumentNumber then says what it gives).
bool PreparedArgumentWhole(const PreparedArgument& argument, PreparedWords& words,
                           std::int64_t& out);
// Evaluates a prepared argument as the argument reader evaluates its text. With `number` given,
// a number result is left to the caller as a number: `number` learns it and the text of the
// result stays empty (its text is NumberToText of the number).
Value EvaluatePreparedArgument(const PreparedArgument& argument, PreparedWords& words,
                               PreparedNumber* number = nullptr);
// The value of one prepared term as the term reader gives it (a group is a whole expression).
Value PreparedTermValue(const PreparedToken& token, PreparedWords& words);

// Parentheses nested deeper than this inside one expression fail instead of exhausting the
// stack. Only the evaluator's own groups count: a term reader that evaluates a group itself
// (after a "-", say) starts a new count, so expressions inside called functions are not
// limited by the expression that called them.
inline constexpr int kMaxNesting = 200;

}  // namespace morivel::expr
