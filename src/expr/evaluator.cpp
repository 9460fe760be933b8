// Recursive-descent evaluation of infix expressions over a one-token lookahead tokenizer.
#include "expr/evaluator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "expr/literal.h"
#include "expr/number.h"
#include "expr/quote.h"
#include "text/encoding.h"
#include "words/errors.h"
#include "words/hash.h"

namespace morivel::expr {
namespace {

const std::string& MessagePrefix() {
  static const std::string kText = text::sjis("計算式に誤りがあります。");
  return kText;
}

GeneralError MisplacedOperator(const std::string& op) {
  static const std::string kBefore = text::sjis("演算子「");
  static const std::string kAfter = text::sjis("」の位置が不正。");
  return GeneralError(kBefore + op + kAfter);
}

GeneralError InvalidResult() {
  static const std::string kText = text::sjis("計算結果が不正");
  return GeneralError(kText);
}

GeneralError IntegerDivisionByZero() {
  static const std::string kText = text::sjis("ゼロで除算しました。");
  return GeneralError(kText);
}

GeneralError OutsideIntegerRange() {
  static const std::string kText = text::sjis("整数の範囲を超える数値です。");
  return GeneralError(kText);
}

GeneralError TooDeeplyNested() {
  static const std::string kText = text::sjis("括弧の入れ子が深すぎます。");
  return GeneralError(kText);
}

enum class Kind : std::uint8_t { kText = 0, kNumber = 1, kStart = 2, kOperator = 3 };

// An operand, a result or the current token. Arithmetic results carry only their number
// until their text is needed (joining, text comparison), which saves formatting every step.
struct Operand {
  std::string text;
  long double number = 0;
  Kind kind = Kind::kStart;
  bool text_pending = false;
  Op op = Op::kNone;  // for an operator token
};

Operand OperatorOperand(std::string text) {
  Op op = OperatorOf(text);
  return Operand{std::move(text), 0, Kind::kOperator, false, op};
}

Operand FromText(std::string text, Kind kind) {
  long double number = ToNumber(text);
  return Operand{std::move(text), number, kind, false};
}

Operand FromNumber(long double number) {
  return Operand{{}, number, Kind::kNumber, true};
}

const std::string& TextOf(Operand& operand) {
  if (operand.text_pending) {
    operand.text = NumberToText(operand.number);
    operand.text_pending = false;
  }
  return operand.text;
}

bool IsOperatorChar(char c) {
  return std::string_view("!%&*+-/<=>^|").find(c) != std::string_view::npos;
}

bool CanPairInOperator(char c) {
  return std::string_view("!&<=>|").find(c) != std::string_view::npos;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void SkipBlanks(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

long double Remainder(long double dividend, long double divisor) {
  if (divisor == 0) return 0;
  std::int64_t a = 0, b = 0;
  if (!TruncateToInt64(dividend, a) || !TruncateToInt64(divisor, b)) throw OutsideIntegerRange();
  if (b == 0) throw IntegerDivisionByZero();
  if (b == -1) return 0;  // the quotient of the smallest integer by -1 would overflow
  return static_cast<long double>(a % b);
}

long double Power(long double base, long double exponent) {
  if (exponent == 0) return 1;
  return std::pow(base, exponent);
}

long double Multiply(Op op, long double a, long double b) {
  if (op == Op::kMultiply) return a * b;
  if (op == Op::kDivide) return b == 0 ? 0 : a / b;
  if (op == Op::kRemainder) return Remainder(a, b);
  return Power(a, b);
}

Value EvaluateAt(TermReader& terms, const char*& p, int depth);

// A group's whole result as it reads back from its text: negative zero is written "0".
long double WithoutNegativeZero(long double n) {
  return n + 0.0L;
}

// A group's result becomes an operand through its text. A whole number below 10^15 reads back
// as itself, so its text is made only when needed.
Operand FromGroupValue(Value value) {
  return FromText(std::move(value.text), value.type_mark == "s" ? Kind::kText : Kind::kNumber);
}

Value ValueOf(Operand& result) {
  if (result.kind == Kind::kNumber) return Value{NumberToText(result.number), "e"};
  TextOf(result);
  return Value{std::move(result.text), "s"};
}

// The grammar over a token source: `Source::Next(token)` replaces the token with the next one,
// seeing the kind of the token it replaces.
template <typename Source>
class Parser {
 public:
  explicit Parser(Source& source) : source_(source) {}

  Operand Run() {
    token_.kind = Kind::kStart;
    source_.Next(token_);
    Operand result = Logical();
    if (token_.kind == Kind::kStart || token_.kind == Kind::kOperator) throw InvalidResult();
    return result;
  }

 private:
  // The operator in hand when it is between `first` and `last` in Op order, else kNone.
  Op OperatorIn(Op first, Op last) const {
    if (token_.kind != Kind::kOperator || token_.op < first || token_.op > last) return Op::kNone;
    return token_.op;
  }

  // Takes the operator token and reads the token after it.
  void TakeOperator() { source_.Next(token_); }

  Operand Logical() {
    Operand left = Comparison();
    for (Op op; (op = OperatorIn(Op::kAnd, Op::kOr)) != Op::kNone;) {
      TakeOperator();
      bool is_and = op == Op::kAnd;
      Operand right = Comparison();
      bool truth =
          is_and ? (left.number > 0 && right.number > 0) : (left.number > 0 || right.number > 0);
      left = FromNumber(truth ? 1 : 0);
    }
    return left;
  }

  Operand Comparison() {
    Operand left = Additive();
    for (Op op; (op = OperatorIn(Op::kEqual, Op::kNumberNotEqual)) != Op::kNone;) {
      TakeOperator();
      Operand right = Additive();
      bool truth = Compare(op, left, right);
      // A chained comparison sees the 1 or 0 as a number but the first operand's text.
      TextOf(left);
      left.number = truth ? 1 : 0;
      left.kind = Kind::kNumber;
    }
    return left;
  }

  static bool Compare(Op op, Operand& left, Operand& right) {
    if (op == Op::kTextEqual) return TextOf(left) == TextOf(right);
    if (op == Op::kTextNotEqual) return TextOf(left) != TextOf(right);
    if (op == Op::kNumberEqual) return left.number == right.number;
    if (op == Op::kNumberNotEqual) return left.number != right.number;
    if (right.kind == Kind::kNumber) return CompareOrdered(op, left.number, right.number);
    return CompareOrdered(op, TextOf(left), TextOf(right));
  }

  Operand Additive() {
    Operand left = Multiplicative();
    for (Op op; (op = OperatorIn(Op::kAdd, Op::kJoin)) != Op::kNone;) {
      TakeOperator();
      Operand right = Multiplicative();
      if (op == Op::kJoin) {
        // The joined text keeps the left operand's number.
        std::string joined = TextOf(left) + TextOf(right);
        left.text = std::move(joined);
        left.kind = Kind::kText;
      } else {
        left = FromNumber(op == Op::kAdd ? left.number + right.number : left.number - right.number);
      }
    }
    return left;
  }

  Operand Multiplicative() {
    Operand left = Primary();
    for (Op op; (op = OperatorIn(Op::kMultiply, Op::kPower)) != Op::kNone;) {
      TakeOperator();
      Operand right = Primary();
      left = FromNumber(Multiply(op, left.number, right.number));
    }
    return left;
  }

  Operand Primary() {
    if (token_.kind == Kind::kOperator) throw MisplacedOperator(token_.text);
    // The token in hand is replaced by the next; only its kind is read on the way.
    Operand operand = std::move(token_);
    token_.kind = operand.kind;
    source_.Next(token_);
    return operand;
  }

  Source& source_;
  Operand token_;
};

// Tokens read from the program text, terms through the term reader.
class TextTokens {
 public:
  // `depth`: how many groups of this expression enclose the text. `left`: a value that
  // stands before the text as its first operand.
  TextTokens(TermReader& terms, const char* p, int depth, const Operand* left = nullptr)
      : terms_(terms), p_(p), token_start_(p), depth_(depth), left_(left) {}

  // Where the token in hand begins: the text the expression did not use.
  const char* TokenStart() const { return token_start_; }

  void Next(Operand& token) {
    if (left_) {
      token = *std::exchange(left_, nullptr);
      return;
    }
    SkipBlanks(p_);
    token_start_ = p_;
    Kind previous = token.kind;
    if (*p_ == '\0') {
      token = FromText({}, Kind::kText);
    } else if (*p_ == '(') {
      std::string inside = ReadGroup(p_);
      const char* q = inside.c_str();
      token = FromGroupValue(EvaluateAt(terms_, q, depth_ + 1));
    } else if (IsOperatorChar(*p_)) {
      ReadOperatorToken(token, previous == Kind::kStart || previous == Kind::kOperator);
    } else {
      Value term = terms_.ReadTerm(p_);
      token = FromText(std::move(term.text), term.type_mark == "e" ? Kind::kNumber : Kind::kText);
    }
  }

 private:
  // `operand_expected`: the previous token was the start or an operator, so a sign belongs
  // to the operand that follows.
  void ReadOperatorToken(Operand& token, bool operand_expected) {
    std::string op(1, *p_++);
    if (CanPairInOperator(op[0]) && CanPairInOperator(*p_)) op.push_back(*p_++);
    if (operand_expected && op == "-") {
      Value term = terms_.ReadTerm(p_);
      token = FromText("-" + term.text, Kind::kNumber);
    } else if (operand_expected && op == "+" && (*p_ == '$' || IsDigit(*p_))) {
      Value term = terms_.ReadTerm(p_);
      token = FromText(std::move(term.text), Kind::kNumber);
    } else {
      token = OperatorOperand(std::move(op));
    }
  }

  TermReader& terms_;
  const char* p_;
  const char* token_start_;
  const int depth_;
  const Operand* left_;
};

Value PreparedAt(const std::vector<PreparedToken>& tokens, PreparedWords& words, int depth);

// A group's number result as an operand: whole numbers below 10^15 read back as themselves.
Operand FromGroupResult(Operand result) {
  if (result.kind == Kind::kNumber && ReadsBackWhole(result.number))
    return FromNumber(WithoutNegativeZero(result.number));
  return FromGroupValue(ValueOf(result));
}

Operand PreparedGroupAt(const std::vector<PreparedToken>& tokens, PreparedWords& words, int depth);

void SetText(Operand& token, const std::string& text, Kind kind) {
  token.text = text;
  token.number = ToNumber(token.text);
  token.kind = kind;
  token.text_pending = false;
}

// A variable's value as an operand: a number stored as a number is taken as it is.
void VariableOperand(const words::THashNode& w, Operand& token) {
  token.kind = w.TypeMark == "e" ? Kind::kNumber : Kind::kText;
  if (w.StoredNumber(token.number)) {
    token.text_pending = true;
    return;
  }
  token.text = w.GetValue();
  token.number = ToNumber(token.text);
  token.text_pending = false;
}

// Tokens read once before: the same tokens the text gives, without reading it again. An
// argument's expression starts with the value so far (`left`).
class ListTokens {
 public:
  ListTokens(const std::vector<PreparedToken>& tokens, PreparedWords& words, int depth,
             const Operand* left = nullptr)
      : tokens_(tokens), words_(words), depth_(depth), left_(left) {}

  void Next(Operand& token) {
    if (next_ == tokens_.size()) {
      SetText(token, {}, Kind::kText);
      return;
    }
    const PreparedToken& t = tokens_[next_++];
    switch (t.type) {
      case PreparedToken::Type::kOperator:
        // Only a failed evaluation shows an operator's text, and that one is read again.
        token.kind = Kind::kOperator;
        token.op = static_cast<Op>(t.op);
        token.text_pending = false;
        return;
      case PreparedToken::Type::kGroup:
        token = PreparedGroupAt(t.inner, words_, depth_ + 1);
        return;
      case PreparedToken::Type::kNumber:
        token.text = t.text;
        token.number = t.number;
        token.kind = Kind::kNumber;
        token.text_pending = false;
        return;
      case PreparedToken::Type::kWord:
        if (const words::THashNode* w = words_.Variable(t))
          VariableOperand(*w, token);
        else
          SetText(token, t.text, Kind::kText);
        return;
      case PreparedToken::Type::kLeft:
        if (!left_) throw InvalidResult();
        token = *left_;
        return;
      case PreparedToken::Type::kNegated: {
        Value term = PreparedTermValue(t.inner.front(), words_);
        token = FromText("-" + term.text, Kind::kNumber);
        return;
      }
      default: {
        Value term = PreparedTermValue(t, words_);
        token = FromText(std::move(term.text), term.type_mark == "e" ? Kind::kNumber : Kind::kText);
        return;
      }
    }
  }

 private:
  const std::vector<PreparedToken>& tokens_;
  PreparedWords& words_;
  const int depth_;
  const Operand* left_;
  std::size_t next_ = 0;
};

Operand PreparedGroupAt(const std::vector<PreparedToken>& tokens, PreparedWords& words, int depth) {
  if (depth > kMaxNesting) throw TooDeeplyNested();
  if (tokens.empty()) throw InvalidResult();
  ListTokens source(tokens, words, depth);
  return FromGroupResult(Parser<ListTokens>(source).Run());
}

Value PreparedAt(const std::vector<PreparedToken>& tokens, PreparedWords& words, int depth) {
  if (depth > kMaxNesting) throw TooDeeplyNested();
  if (tokens.empty()) throw InvalidResult();
  ListTokens source(tokens, words, depth);
  Operand result = Parser<ListTokens>(source).Run();
  return ValueOf(result);
}

// A value as evaluation without texts has it: its number, and whether it is of number kind.
// Whole numbers are kept as integers while they stay exact, which spares the extended type's
// rounding and conversions. Trivial, so that an evaluation's stack of them costs nothing until
// it is used.
struct Num {
  long double number;  // the value, unless `exact`
  std::int64_t whole;  // the value, when `exact`
  bool is_number;
  bool exact;
};

Num InexactNum(long double number, bool is_number) {
  return Num{number, 0, is_number, false};
}

Num WholeNum(std::int64_t whole, bool is_number = true) {
  return Num{0, whole, is_number, true};
}

long double NumberOf(const Num& n) {
  return n.exact ? static_cast<long double>(n.whole) : n.number;
}

// A number known at compile time, exact when it is whole (negative zero keeps its sign only in
// the extended type).
Num ConstantNum(long double number, bool is_number) {
  if (ReadsBackWhole(number) && !(number == 0 && std::signbit(number)))
    return WholeNum(static_cast<std::int64_t>(number), is_number);
  return InexactNum(number, is_number);
}

bool ReadsBack(const Num& n) {
  constexpr std::int64_t kWholeLimit = 1'000'000'000'000'000;
  return n.exact ? n.whole > -kWholeLimit && n.whole < kWholeLimit : ReadsBackWhole(n.number);
}

Num GroupResult(const Num& n) {
  return n.exact ? n : InexactNum(WithoutNegativeZero(n.number), n.is_number);
}

// Parser's levels, loosest first: logic, comparison, addition and joining, multiplication.
int LevelOf(Op op) {
  if (op >= Op::kAnd && op <= Op::kOr) return 0;
  if (op >= Op::kEqual && op <= Op::kNumberNotEqual) return 1;
  if (op >= Op::kAdd && op <= Op::kJoin) return 2;
  if (op >= Op::kMultiply && op <= Op::kPower) return 3;
  return -1;
}

// One operator on integers where the result is the extended type's exactly (comparisons and
// logic as numbers): false for operators that can leave whole numbers (powers, joining, text
// comparison), overflows, quotients with a fraction and results that are negative zero there.
// Inlined: it is the inner step of the integer loop.
[[gnu::always_inline]] inline bool WholeOperation(Op op, std::int64_t a, std::int64_t b,
                                                  std::int64_t& r) {
  switch (op) {
    case Op::kAnd:
      r = a > 0 && b > 0;
      return true;
    case Op::kOr:
      r = a > 0 || b > 0;
      return true;
    case Op::kEqual:
    case Op::kNumberEqual:
      r = a == b;
      return true;
    case Op::kNotEqual:
    case Op::kNumberNotEqual:
      r = a != b;
      return true;
    case Op::kLess:
    case Op::kGreater:
    case Op::kAtLeast:
    case Op::kAtMost:
      r = CompareOrdered(op, a, b);
      return true;
    case Op::kAdd:
      return !__builtin_add_overflow(a, b, &r);
    case Op::kSubtract:
      return !__builtin_sub_overflow(a, b, &r);
    case Op::kMultiply:
      return !__builtin_mul_overflow(a, b, &r) && (r != 0 || (a >= 0 && b >= 0));
    case Op::kDivide:
      if (b == 0) {
        r = 0;
        return true;
      }
      if (b == -1 || a % b != 0 || (a == 0 && b < 0)) return false;
      r = a / b;
      return true;
    case Op::kRemainder:
      r = b == 0 || b == -1 ? 0 : a % b;
      return true;
    default:
      return false;
  }
}

// Ordered comparisons and = with a text on the right compare texts.
bool ComparesTexts(Op op, int level, const Num& right) {
  return level == 1 && op != Op::kNumberEqual && op != Op::kNumberNotEqual && !right.is_number;
}

// One operator on two exact values, or false where the extended type must take it.
bool ApplyWhole(Op op, int level, Num& left, const Num& right) {
  std::int64_t r = 0;
  if (ComparesTexts(op, level, right) || !WholeOperation(op, left.whole, right.whole, r))
    return false;
  left = WholeNum(r);
  return true;
}

// One operator on two values without their texts, or false where a text is needed.
bool Apply(Op op, int level, Num& left, const Num& right) {
  if (left.exact && right.exact && ApplyWhole(op, level, left, right)) return true;
  const long double a = NumberOf(left), b = NumberOf(right);
  switch (level) {
    case 0: {
      bool truth = op == Op::kAnd ? (a > 0 && b > 0) : (a > 0 || b > 0);
      left = WholeNum(truth ? 1 : 0);
      return true;
    }
    case 1: {
      bool truth;
      if (op == Op::kNumberEqual)
        truth = a == b;
      else if (op == Op::kNumberNotEqual)
        truth = a != b;
      else if (right.is_number)
        truth = CompareOrdered(op, a, b);
      else
        return false;  // texts are compared
      left = WholeNum(truth ? 1 : 0);
      return true;
    }
    case 2:
      left = InexactNum(op == Op::kAdd ? a + b : a - b, true);
      return true;
    default:
      left = InexactNum(Multiply(op, a, b), true);
      return true;
  }
}

bool IsNumberMark(const std::string& type_mark) {
  return type_mark.size() == 1 && type_mark[0] == 'e';
}

}  // namespace

// Parser's grammar over prepared tokens, for the common case where no text is ever needed,
// written out once as steps over a stack of values: a group's tokens are read the same way
// every time, so only the values are left to each evaluation.
struct NumericProgram {
  enum class Code : std::uint8_t { kConstant, kWord, kLeft, kElement, kGroupEnd, kOperator };
  struct Step {
    Code code = Code::kConstant;
    Op op = Op::kNone;
    std::int8_t level = 0;
    Num constant{0, 0, true, false};
    const PreparedToken* token = nullptr;  // kWord, kElement: a token of the program's own group
  };
  static constexpr std::size_t kMaxStack = 32;

  // The same steps over 64-bit integers, taken while every value is a whole number of number
  // kind: most evaluations in loops take only these. Empty when some step can never be one (a
  // fraction, a text, a power).
  struct WholeStep {
    Code code = Code::kConstant;
    Op op = Op::kNone;  // kOperator
    std::int64_t constant = 0;
    const PreparedToken* token = nullptr;
  };

  // False when the tokens always need their texts (joining, comparing texts, a sign, ...).
  bool usable = true;
  int nesting = 0;  // groups inside groups, counted from the program's own
  std::vector<Step> steps;
  std::vector<WholeStep> whole_steps;
  // Evaluations in a row whose values were not all whole: past a few, the whole-number steps
  // are tried only now and then, so that programs on fractions or texts do not pay for them.
  mutable std::uint32_t whole_misses = 0;
};

namespace {

// Writes the program of a group's tokens as Parser would read them. Whatever would need a text
// whatever the values are makes the program unusable.
class NumericCompiler {
 public:
  explicit NumericCompiler(NumericProgram& program) : program_(program) {}

  void Group(const std::vector<PreparedToken>& tokens, int nesting) {
    program_.nesting = std::max(program_.nesting, nesting);
    if (nesting > kMaxNesting) return Fail();
    std::size_t next = 0;
    if (tokens.empty() || !Binary(tokens, next, 0, nesting)) return Fail();
    // Parser stops at the first token it cannot go on with; an operator there is an error.
    if (next < tokens.size() && tokens[next].type == PreparedToken::Type::kOperator) Fail();
  }

 private:
  using Step = NumericProgram::Step;
  using Code = NumericProgram::Code;

  void Fail() { program_.usable = false; }

  // The operator at `next` and its level, or -1 when there is none (or no known one).
  static int NextLevel(const std::vector<PreparedToken>& tokens, std::size_t next, Op& op) {
    if (next == tokens.size() || tokens[next].type != PreparedToken::Type::kOperator) return -1;
    op = static_cast<Op>(tokens[next].op);
    return LevelOf(op);
  }

  // Precedence climbing: an operand, then operators of at least `min_level`, each
  // left-associative, with the tighter ones taken into its right operand.
  bool Binary(const std::vector<PreparedToken>& tokens, std::size_t& next, int min_level,
              int nesting) {
    if (!Primary(tokens, next, nesting)) return false;
    Op op = Op::kNone;
    for (int level; (level = NextLevel(tokens, next, op)) >= min_level;) {
      ++next;
      if (!Binary(tokens, next, level + 1, nesting)) return false;
      if (op == Op::kJoin || op == Op::kTextEqual || op == Op::kTextNotEqual) return false;
      Emit(Step{Code::kOperator, op, static_cast<std::int8_t>(level), {}, nullptr}, -1);
    }
    return true;
  }

  bool Primary(const std::vector<PreparedToken>& tokens, std::size_t& next, int nesting) {
    if (next == tokens.size()) {
      Push(WholeNum(0, false));  // the end stands as an empty text, as Parser has it
      return true;
    }
    const PreparedToken& t = tokens[next];
    if (t.type == PreparedToken::Type::kOperator) return false;
    ++next;
    switch (t.type) {
      case PreparedToken::Type::kNumber:
        Push(ConstantNum(t.number, true));
        return true;
      case PreparedToken::Type::kText:
        Push(ConstantNum(t.number, false));
        return true;
      case PreparedToken::Type::kGroup:
        Group(t.inner, nesting + 1);
        Emit(Step{Code::kGroupEnd, Op::kNone, 0, {}, nullptr}, 0);
        return program_.usable;
      case PreparedToken::Type::kWord:
        Emit(Step{Code::kWord, Op::kNone, 0, {}, &t}, 1);
        return true;
      case PreparedToken::Type::kLeft:
        Emit(Step{Code::kLeft, Op::kNone, 0, {}, nullptr}, 1);
        return true;
      case PreparedToken::Type::kElement:
        Emit(Step{Code::kElement, Op::kNone, 0, {}, &t}, 1);
        return true;
      default:
        return false;
    }
  }

  void Push(Num constant) { Emit(Step{Code::kConstant, Op::kNone, 0, constant, nullptr}, 1); }

  void Emit(const Step& step, int stack_change) {
    program_.steps.push_back(step);
    height_ += stack_change;
    if (height_ > NumericProgram::kMaxStack) Fail();
  }

  NumericProgram& program_;
  std::size_t height_ = 0;
};

using WholeCode = NumericProgram::Code;

// Whether an operator can give a whole number from two (WholeOperation takes it).
bool KeepsWhole(Op op) {
  std::int64_t r = 0;
  return WholeOperation(op, 1, 1, r);
}

std::vector<NumericProgram::WholeStep> WholeSteps(const std::vector<NumericProgram::Step>& steps) {
  using Code = NumericProgram::Code;
  std::vector<NumericProgram::WholeStep> whole;
  for (const NumericProgram::Step& step : steps) {
    if (step.code == Code::kConstant && (!step.constant.exact || !step.constant.is_number))
      return {};
    if (step.code == Code::kOperator && !KeepsWhole(step.op)) return {};
    whole.push_back({step.code, step.op, step.constant.whole, step.token});
  }
  return whole;
}

std::shared_ptr<const NumericProgram> Compile(const std::vector<PreparedToken>& tokens) {
  auto program = std::make_shared<NumericProgram>();
  NumericCompiler(*program).Group(tokens, 0);
  if (!program->usable) program->steps.clear();
  program->whole_steps = WholeSteps(program->steps);
  return program;
}

Num WordValue(const PreparedToken& t, PreparedWords& words) {
  const words::THashNode* w = words.Variable(t);
  if (!w) return InexactNum(ToNumber(t.text), false);
  const bool is_number = IsNumberMark(w->TypeMark);
  if (std::int64_t whole = 0; w->StoredWhole(whole)) return WholeNum(whole, is_number);
  return InexactNum(ToNumber(w->GetValue()), is_number);
}

// The value of a word for the whole-number steps, or false when it is no such value.
bool WholeWordValue(const PreparedToken& t, PreparedWords& words, std::int64_t& out) {
  const words::THashNode* w = words.Variable(t);
  return w && IsNumberMark(w->TypeMark) && w->StoredWhole(out);
}

// A text that reads as a whole number below 10^15 and nothing else: digits, a minus sign before
// them at most (but no negative zero, which the extended type keeps).
bool WholeText(std::string_view text, std::int64_t& out) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 15) return false;
  std::int64_t n = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    n = n * 10 + (c - '0');
  }
  if (negative && n == 0) return false;
  out = negative ? -n : n;
  return true;
}

}  // namespace

bool ElementIsWhole(const std::string& type_mark, std::string_view text, std::int64_t& out) {
  return IsNumberMark(type_mark) && WholeText(text, out);
}

bool GuessedElementIsWhole(std::string_view text, std::int64_t& out) {
  // A "$" first is of number kind too, but never a plain whole number's text.
  return !text.empty() && IsDigit(text[0]) && WholeText(text, out);
}

bool PreparedWords::WholeElement(const PreparedToken& element, std::int64_t& out) {
  Value v = Element(element);
  return ElementIsWhole(v.type_mark, v.text, out);
}

namespace {

// Runs a program's whole-number steps; false, having changed nothing, where a value is no
// whole number or a result would leave them (Execute then runs the program from the start).
bool ExecuteWhole(const NumericProgram& program, PreparedWords& words, const Num* left,
                  Num& result) {
  constexpr std::int64_t kWholeLimit = 1'000'000'000'000'000;
  std::int64_t stack[NumericProgram::kMaxStack];
  std::size_t top = 0;
  for (const NumericProgram::WholeStep& step : program.whole_steps) {
    switch (step.code) {
      case WholeCode::kConstant:
        stack[top++] = step.constant;
        continue;
      case WholeCode::kWord:
        if (!WholeWordValue(*step.token, words, stack[top])) return false;
        ++top;
        continue;
      case WholeCode::kElement:
        if (!words.WholeElement(*step.token, stack[top])) return false;
        ++top;
        continue;
      case WholeCode::kLeft:
        if (!left || !left->exact || !left->is_number) return false;
        stack[top++] = left->whole;
        continue;
      case WholeCode::kGroupEnd:
        if (stack[top - 1] <= -kWholeLimit || stack[top - 1] >= kWholeLimit) return false;
        continue;
      case WholeCode::kOperator: {
        const std::int64_t b = stack[--top];
        if (!WholeOperation(step.op, stack[top - 1], b, stack[top - 1])) return false;
        continue;
      }
    }
  }
  result = WholeNum(stack[0]);
  return true;
}

// ExecuteWhole where it is worth trying.
bool TryWhole(const NumericProgram& program, PreparedWords& words, const Num* left, Num& result) {
  constexpr std::uint32_t kMissesBeforeRarely = 8, kRarely = 64;
  std::uint32_t& misses = program.whole_misses;
  if (program.whole_steps.empty()) return false;
  if (misses >= kMissesBeforeRarely && ++misses % kRarely != 0) return false;
  if (ExecuteWhole(program, words, left, result)) {
    misses = 0;
    return true;
  }
  ++misses;
  return false;
}

// Runs a program; false where a value needs its text after all. Changes nothing either way.
bool Execute(const NumericProgram& program, PreparedWords& words, const Num* left, Num& result) {
  using Code = NumericProgram::Code;
  Num stack[NumericProgram::kMaxStack];
  std::size_t top = 0;
  for (const NumericProgram::Step& step : program.steps) {
    switch (step.code) {
      case Code::kConstant:
        stack[top++] = step.constant;
        break;
      case Code::kWord:
        stack[top++] = WordValue(*step.token, words);
        break;
      case Code::kLeft:
        if (!left) return false;
        stack[top++] = *left;
        break;
      case Code::kElement: {
        Value v = words.Element(*step.token);
        stack[top++] = InexactNum(ToNumber(v.text), IsNumberMark(v.type_mark));
        break;
      }
      case Code::kGroupEnd: {
        // A group's result goes on through its text: only a whole number is the same without it.
        Num& group = stack[top - 1];
        if (!group.is_number) return false;
        if (!ReadsBack(group))
          group = InexactNum(ToNumber(NumberToText(NumberOf(group))), true);
        else if (!group.exact)
          group.number = WithoutNegativeZero(group.number);
        break;
      }
      case Code::kOperator:
        --top;
        if (!Apply(step.op, step.level, stack[top - 1], stack[top])) return false;
        break;
    }
  }
  result = stack[0];
  return true;
}

// The number result of a group's tokens without texts, or nothing when a text is needed (or
// the tokens fail, which evaluating with texts reports).
std::optional<Num> NumericResult(const PreparedToken& group, PreparedWords& words, int depth,
                                 const Num* left) {
  const NumericProgram& program = group.numeric.For(group.inner);
  if (!program.usable || depth + program.nesting > kMaxNesting) return std::nullopt;
  Num result = WholeNum(0);
  try {
    if (!TryWhole(program, words, left, result) &&
        (!Execute(program, words, left, result) || !result.is_number))
      return std::nullopt;
  } catch (...) {
    return std::nullopt;  // a word giving up too: the texts say what it gives
  }
  return result;
}

NumberResult ResultOf(const Num& n) {
  if (n.exact && ReadsBack(n))
    return NumberResult{static_cast<long double>(n.whole), n.whole, true};
  return NumberResult{NumberOf(n), 0, false};
}

Value NumberValue(long double n, PreparedNumber* number) {
  if (!number) return Value{NumberToText(n), "e"};
  *number = PreparedNumber{true, n};
  return Value{{}, "e"};
}

// A number the reader takes back whole as a number: the value so far stands first in
// "(value rest)" as a number only then.
bool PlainDecimal(std::string_view s) {
  std::size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
  std::size_t digits = i;
  while (digits < s.size() && IsDigit(s[digits])) ++digits;
  if (digits == i) return false;
  if (digits == s.size()) return true;
  if (s[digits] != '.') return false;
  std::size_t fraction = digits + 1;
  while (fraction < s.size() && IsDigit(s[fraction])) ++fraction;
  return fraction > digits + 1 && fraction == s.size();
}

// The value so far of an argument with an expression after it, as "(value rest)" reads it.
// Throws to give up on a number the reader would not take back whole.
Operand LeftOperand(Value value) {
  if (value.type_mark != "e" || value.text.empty())
    return FromText(std::move(value.text), Kind::kText);
  if (!PlainDecimal(value.text)) throw InvalidResult();
  return FromText(std::move(value.text), Kind::kNumber);
}

// The first term of such an argument, without making texts of numbers that stay numbers.
// The first term as a number, where it stays one without a text: a group whose value is a
// whole number, or a variable holding a number.
std::optional<Num> FirstNumber(const PreparedToken& first, PreparedWords& words) {
  if (first.type == PreparedToken::Type::kGroup) {
    std::optional<Num> n = NumericResult(first, words, 0, nullptr);
    if (n && ReadsBack(*n)) return GroupResult(*n);
  } else if (first.type == PreparedToken::Type::kWord) {
    const words::THashNode* w = words.Variable(first);
    std::int64_t n = 0;
    if (w && IsNumberMark(w->TypeMark) && w->StoredWhole(n)) return WholeNum(n);
  }
  return std::nullopt;
}

// The number of "(" + the value so far + the rest + ")" without texts, where there is one.
std::optional<Num> ContinuedNumber(const PreparedArgument& argument, PreparedWords& words,
                                   const Num& left) {
  std::optional<Num> n = NumericResult(argument.continued.front(), words, 1, &left);
  if (!n) return n;
  if (ReadsBack(*n)) return GroupResult(*n);
  // As the group it is: a fraction goes on through its text.
  return InexactNum(ToNumber(NumberToText(NumberOf(*n))), true);
}

Operand FirstOperand(const PreparedToken& first, PreparedWords& words) {
  if (std::optional<Num> n = FirstNumber(first, words)) return FromNumber(NumberOf(*n));
  if (first.type == PreparedToken::Type::kGroup) {
    Operand group = PreparedGroupAt(first.inner, words, 0);
    if (group.kind == Kind::kNumber && group.text_pending) return group;  // whole: plain text
    if (group.kind == Kind::kNumber) return LeftOperand(Value{TextOf(group), "e"});
    return group;
  }
  return LeftOperand(PreparedTermValue(first, words));
}

Value ResultValue(Operand result, PreparedNumber* number) {
  if (!number || result.kind != Kind::kNumber) return ValueOf(result);
  *number = PreparedNumber{true, result.number};
  return Value{{}, "e"};
}

Value EvaluateAt(TermReader& terms, const char*& p, int depth) {
  const char* start = p;
  try {
    if (depth > kMaxNesting) throw TooDeeplyNested();
    const char* q = p;
    SkipBlanks(q);
    if (*q == '\0') throw InvalidResult();
    TextTokens source(terms, q, depth);
    Operand result = Parser<TextTokens>(source).Run();
    p = source.TokenStart();
    return ValueOf(result);
  } catch (const std::exception& e) {
    throw GeneralError(MessagePrefix() + e.what() + start);
  }
}

}  // namespace

Value Evaluate(TermReader& terms, const char*& p) {
  return EvaluateAt(terms, p, 0);
}

std::string OperandText(const Value& value) {
  if (value.type_mark == "e") return value.text.empty() ? "``" : value.text;
  return QuoteRaw(value.text);
}

std::optional<Value> EvaluateContinued(TermReader& terms, const Value& so_far, const char* rest) {
  const bool number = so_far.type_mark == "e" && !so_far.text.empty();
  if (number ? !PlainDecimal(so_far.text) : so_far.text.find('\0') != std::string::npos)
    return std::nullopt;
  if (!WholeInsideGroup(rest)) return std::nullopt;
  const Operand left = FromText(so_far.text, number ? Kind::kNumber : Kind::kText);
  // The text form fails twice over: inside the group, then as the whole expression.
  try {
    try {
      TextTokens source(terms, rest, 1, &left);
      // The whole is a group too: its result goes on through its text (INF reads back as 0).
      Operand result = FromGroupResult(Parser<TextTokens>(source).Run());
      return ValueOf(result);
    } catch (const std::exception& e) {
      throw GeneralError(MessagePrefix() + e.what() + OperandText(so_far) + rest);
    }
  } catch (const std::exception& e) {
    throw GeneralError(MessagePrefix() + e.what() + "(" + OperandText(so_far) + rest + ")");
  }
}

const NumericProgram& NumericCode::For(const std::vector<PreparedToken>& tokens) const {
  if (!program_) program_ = Compile(tokens);
  return *program_;
}

namespace {

// "(" + first + rest + ")" on whole numbers: the first term's steps (a group's ending as a
// group does), then the rest's steps after the value so far, which is then on the stack.
std::shared_ptr<const NumericProgram> CompileArgument(const PreparedArgument& argument) {
  auto program = std::make_shared<NumericProgram>();
  program->usable = false;
  if (!argument.has_continuation || !argument.joined.empty() || argument.continued.size() != 1)
    return program;
  const PreparedToken& rest_group = argument.continued.front();
  const NumericProgram& rest = rest_group.numeric.For(rest_group.inner);
  if (rest.whole_steps.empty() || rest.whole_steps.front().code != WholeCode::kLeft ||
      rest.nesting + 1 > kMaxNesting)
    return program;
  std::vector<NumericProgram::WholeStep> steps;
  if (argument.first.type == PreparedToken::Type::kGroup) {
    const NumericProgram& first = argument.first.numeric.For(argument.first.inner);
    if (first.whole_steps.empty() || first.nesting > kMaxNesting) return program;
    steps = first.whole_steps;
    steps.push_back({WholeCode::kGroupEnd, Op::kNone, 0, nullptr});
  } else if (argument.first.type == PreparedToken::Type::kWord) {
    steps.push_back({WholeCode::kWord, Op::kNone, 0, &argument.first});
  } else {
    return program;
  }
  steps.insert(steps.end(), rest.whole_steps.begin() + 1, rest.whole_steps.end());
  program->whole_steps = std::move(steps);
  program->usable = true;
  return program;
}

// A program's result where the whole-number steps give one that reads back as itself.
bool WholeResultOf(const NumericProgram& program, PreparedWords& words, std::int64_t& out) {
  if (!program.usable || program.nesting > kMaxNesting) return false;
  Num result = WholeNum(0);
  try {
    if (!TryWhole(program, words, nullptr, result) || !ReadsBack(result)) return false;
  } catch (...) {
    return false;  // a word giving up: the general way says what it gives
  }
  out = result.whole;
  return true;
}

}  // namespace

const NumericProgram& NumericCode::ForArgument(const PreparedArgument& argument) const {
  if (!program_) program_ = CompileArgument(argument);
  return *program_;
}

bool PreparedArgumentWhole(const PreparedArgument& argument, PreparedWords& words,
                           std::int64_t& out) {
  const bool group_alone = !argument.has_continuation && argument.joined.empty() &&
                           argument.first.type == PreparedToken::Type::kGroup;
  return WholeResultOf(group_alone ? argument.first.numeric.For(argument.first.inner)
                                   : argument.whole.ForArgument(argument),
                       words, out);
}

bool PreparedWholeResult(const PreparedToken& expression, PreparedWords& words, std::int64_t& out) {
  return WholeResultOf(expression.numeric.For(expression.inner), words, out);
}

std::optional<NumberResult> PreparedNumberResult(const PreparedToken& expression,
                                                 PreparedWords& words) {
  std::optional<Num> n = NumericResult(expression, words, 0, nullptr);
  if (!n) return std::nullopt;
  return ResultOf(*n);
}

Value EvaluatePrepared(const PreparedToken& expression, PreparedWords& words,
                       PreparedNumber* number) {
  if (std::optional<Num> n = NumericResult(expression, words, 0, nullptr))
    return NumberValue(NumberOf(*n), number);
  const std::vector<PreparedToken>& tokens = expression.inner;
  if (!number) return PreparedAt(tokens, words, 0);
  if (tokens.empty()) throw InvalidResult();
  ListTokens source(tokens, words, 0);
  return ResultValue(Parser<ListTokens>(source).Run(), number);
}

Op OperatorOf(std::string_view text) {
  static constexpr std::pair<std::string_view, Op> kOps[] = {
      {"&&", Op::kAnd},          {"||", Op::kOr},          {"=", Op::kEqual},
      {"<>", Op::kNotEqual},     {"><", Op::kNotEqual},    {"<", Op::kLess},
      {">", Op::kGreater},       {">=", Op::kAtLeast},     {"=>", Op::kAtLeast},
      {"<=", Op::kAtMost},       {"=<", Op::kAtMost},      {"=&", Op::kTextEqual},
      {"!&", Op::kTextNotEqual}, {"==", Op::kNumberEqual}, {"!=", Op::kNumberNotEqual},
      {"+", Op::kAdd},           {"-", Op::kSubtract},     {"&", Op::kJoin},
      {"*", Op::kMultiply},      {"/", Op::kDivide},       {"%", Op::kRemainder},
      {"^", Op::kPower}};
  for (const auto& [spelling, op] : kOps)
    if (spelling == text) return op;
  return Op::kOther;
}

std::uint8_t OperatorCode(std::string_view spelling) {
  return static_cast<std::uint8_t>(OperatorOf(spelling));
}

namespace {

// "(" + the value so far + the rest of the argument + ")" with the value so far in hand.
Value ContinuedValue(const PreparedArgument& argument, PreparedWords& words, const Operand& left,
                     PreparedNumber* number) {
  if (std::optional<Num> n =
          ContinuedNumber(argument, words, InexactNum(left.number, left.kind == Kind::kNumber)))
    return NumberValue(NumberOf(*n), number);
  ListTokens source(argument.continued.front().inner, words, 1, &left);
  return ResultValue(FromGroupResult(Parser<ListTokens>(source).Run()), number);
}

}  // namespace

std::optional<NumberResult> PreparedArgumentNumber(const PreparedArgument& argument,
                                                   PreparedWords& words) {
  if (!argument.joined.empty()) return std::nullopt;
  std::optional<Num> n;
  if (!argument.has_continuation) {
    if (argument.first.type == PreparedToken::Type::kGroup)
      n = NumericResult(argument.first, words, 0, nullptr);
  } else {
    // The value so far as FirstOperand takes it without a text; ContinuedValue's number after it.
    std::optional<Num> left;
    try {
      left = FirstNumber(argument.first, words);
    } catch (...) {
      return std::nullopt;
    }
    if (left) n = ContinuedNumber(argument, words, *left);
  }
  if (!n) return std::nullopt;
  return ResultOf(*n);
}

Value EvaluatePreparedArgument(const PreparedArgument& argument, PreparedWords& words,
                               PreparedNumber* number) {
  if (argument.has_continuation && argument.joined.empty())
    return ContinuedValue(argument, words, FirstOperand(argument.first, words), number);
  if (argument.first.type == PreparedToken::Type::kGroup && argument.joined.empty()) {
    if (argument.first.inner.empty()) throw InvalidResult();
    if (std::optional<Num> n = NumericResult(argument.first, words, 0, nullptr))
      return NumberValue(NumberOf(*n), number);
    ListTokens source(argument.first.inner, words, 0);
    return ResultValue(Parser<ListTokens>(source).Run(), number);
  }
  Value v = PreparedTermValue(argument.first, words);
  if (argument.joined.empty() && !argument.has_continuation) return v;
  for (const PreparedToken& term : argument.joined) v.text += PreparedTermValue(term, words).text;
  if (!argument.joined.empty()) v.type_mark = std::string(1, 's');
  if (!argument.has_continuation) return v;
  return ContinuedValue(argument, words, LeftOperand(std::move(v)), number);
}

Value PreparedTermValue(const PreparedToken& token, PreparedWords& words) {
  switch (token.type) {
    case PreparedToken::Type::kNumber:
      return Value{token.text, "e"};
    case PreparedToken::Type::kText:
      return Value{token.text, "s"};
    case PreparedToken::Type::kWord:
      if (const words::THashNode* w = words.Variable(token))
        return Value{w->GetValue(), w->TypeMark};
      return Value{token.text, "s"};
    case PreparedToken::Type::kElement:
      return words.Element(token);
    case PreparedToken::Type::kGroup:
      return PreparedAt(token.inner, words, 0);
    case PreparedToken::Type::kNegated: {
      Value inner = PreparedTermValue(token.inner.front(), words);
      return Value{"-" + inner.text, inner.type_mark.empty() ? "e" : inner.type_mark};
    }
    default:
      throw InvalidResult();
  }
}

}  // namespace morivel::expr
