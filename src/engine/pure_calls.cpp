// Compiled runs of labels whose calls compute a whole number from whole numbers.
#include "engine/pure_calls.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "engine/lexer.h"
#include "expr/evaluator.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "source/labels.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/hash.h"

namespace morivel::engine {

namespace {

constexpr std::size_t kMaxSlots = 16;  // それ (slot 0) and the declared locals
constexpr std::size_t kMaxStack = 16;  // values an expression holds at once
constexpr std::size_t kMaxArguments = 8;
constexpr int kMaxGroupNesting = 4;
constexpr int kMaxCallNesting = 8;       // calls inside a call's arguments
constexpr int kMaxLabelsCompiling = 32;  // labels whose bodies are read at once, callee in callee
constexpr std::size_t kMaxWholeDigits = 15;
// Whole numbers below this have a text that reads back as exactly themselves.
constexpr std::int64_t kWholeLimit = 1'000'000'000'000'000;

using expr::Op;

bool IsComparison(Op op) {
  return op >= Op::kEqual && op <= Op::kNumberNotEqual;
}

// A value as the statements would hold it: a whole number whose text reads back as itself, and
// whether its type mark is "e" (number kind) or empty (a text, as 引数得る leaves it).
struct Value {
  std::int64_t whole = 0;
  bool number = false;
};

// A local as a fresh ローカル変数 has it: blank, with an empty type mark.
struct Slot {
  std::int64_t whole = 0;
  bool number = false;
  bool blank = true;
};

// The command words a body is read with, and the ids they must still have.
struct Keywords {
  std::string moshi = text::sjis("もし"), naraba = text::sjis("ならば"), nara = text::sjis("なら"),
              chigaeba = text::sjis("違えば"), denakereba = text::sjis("でなければ"),
              modoru = text::sjis("戻る"), wo = text::sjis("を"),
              local = text::sjis("ローカル変数"), ni = text::sjis("に"),
              banme = text::sjis("番目の"), take = text::sjis("引数得る"),
              sore = text::sjis("それ");
};

const Keywords& keywords() {
  static const Keywords k;
  return k;
}

bool at(const char* p, const std::string& word) {
  return std::strncmp(p, word.c_str(), word.size()) == 0;
}

void skip_blanks_only(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

bool at_line_end(const char* p) {
  return *p == '\0' || *p == '\r' || *p == '\n';
}

// Blanks up to the end of the line.
bool rest_is_blank(const char* p) {
  skip_blanks_only(p);
  return at_line_end(p);
}

// A character a compiled name may hold: ASCII letters, digits and "_", and double-byte
// characters past the hiragana row (katakana, kanji). Hiragana would meet particles and
// okurigana, symbols and half-width katakana the statement reader's separators.
std::size_t name_char_length(const char* p) {
  const unsigned char c = static_cast<unsigned char>(*p);
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
    return 1;
  if (c >= 0x83 && text::char_len(p) == 2) return 2;
  return 0;
}

std::string read_name(const char*& p) {
  const char* start = p;
  if (is_digit(*p)) return {};
  while (std::size_t n = name_char_length(p)) p += n;
  return std::string(start, p);
}

// Reads the operator at p as the expression reader pairs its characters; kOther for one the
// steps do not take (joining, division, powers, logic, text comparisons).
Op read_operator(const char*& p) {
  static constexpr std::string_view kPairable = "!&<=>|";
  std::string spelling(1, *p++);
  if (kPairable.find(spelling[0]) != std::string_view::npos && *p &&
      kPairable.find(*p) != std::string_view::npos)
    spelling.push_back(*p++);
  switch (const Op op = expr::OperatorOf(spelling)) {
    case Op::kAdd:
    case Op::kSubtract:
    case Op::kMultiply:
    case Op::kEqual:
    case Op::kNotEqual:
    case Op::kLess:
    case Op::kGreater:
    case Op::kAtLeast:
    case Op::kAtMost:
    case Op::kNumberEqual:
    case Op::kNumberNotEqual:
      return op;
    default:
      return Op::kOther;
  }
}

// The whole number a text is the plain reading of ("12", "-3"; not "012", "-0", "1.0").
bool canonical_whole(std::string_view text, std::int64_t& out) {
  std::size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
  if (digits == 0 || digits > kMaxWholeDigits) return false;
  std::string_view body = text.substr(text.size() - digits);
  if (body.size() > 1 && body[0] == '0') return false;
  std::int64_t value = 0;
  for (char c : body) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (text[0] == '-' && value == 0) return false;
  out = text[0] == '-' ? -value : value;
  return true;
}

std::string text_of(std::int64_t whole) {
  return expr::NumberToText(static_cast<long double>(whole));
}

// One operator as the expression reader applies it, or false where its result would be no
// whole number that reads back as itself (a negative zero, a number past 15 digits).
bool apply(Op op, Value& left, const Value& right) {
  std::int64_t r = 0;
  switch (op) {
    case Op::kAdd:
      if (__builtin_add_overflow(left.whole, right.whole, &r)) return false;
      break;
    case Op::kSubtract:
      if (__builtin_sub_overflow(left.whole, right.whole, &r)) return false;
      break;
    case Op::kMultiply:
      if (__builtin_mul_overflow(left.whole, right.whole, &r)) return false;
      if (r == 0 && (left.whole < 0 || right.whole < 0)) return false;
      break;
    case Op::kNumberEqual:
      r = left.whole == right.whole;
      break;
    case Op::kNumberNotEqual:
      r = left.whole != right.whole;
      break;
    default:
      // A text on the right makes it a comparison of the two texts.
      r = right.number ? expr::CompareOrdered(op, left.whole, right.whole)
                       : expr::CompareOrdered(op, text_of(left.whole), text_of(right.whole));
      break;
  }
  if (r <= -kWholeLimit || r >= kWholeLimit) return false;
  left = Value{r, true};
  return true;
}

}  // namespace

struct PureCalls::Body {
  struct Step {
    enum class Code : std::uint8_t { kConstant, kLocal, kCall, kOperator };
    Code code = Code::kConstant;
    Op op = Op::kOther;
    std::uint8_t slot = 0;
    std::uint8_t argc = 0;
    // Calls whose arguments this call is made in: the statements nest them natively.
    std::uint8_t enclosing_calls = 0;
    std::int64_t constant = 0;
    Body* callee = nullptr;
  };
  using Expression = std::vector<Step>;
  struct Assignment {
    std::uint8_t slot = 0;
    Expression value;
  };
  struct Statement {
    enum class Kind : std::uint8_t { kTake, kAssign, kIf };
    Kind kind = Kind::kAssign;
    std::uint8_t slot = 0;       // kTake: the local taking the argument
    std::uint8_t index = 0;      // kTake: the argument's number, from 1
    Expression condition;        // kIf
    Assignment assignment;       // kAssign, and kIf's then-block
    bool has_otherwise = false;  // kIf: with a 違えば block
    Assignment otherwise;
  };
  // A label named in a call, which must still be what the name finds when a run starts.
  struct CallSite {
    std::string name;
    words::THashNode* label = nullptr;
  };

  // Held, so that a label defined anew (another object, maybe at the same address) tells apart.
  std::shared_ptr<words::WordObject> info;
  words::THashNode* label = nullptr;
  std::string extra;  // the argument template read
  std::size_t arity = 0;
  std::vector<Statement> statements;
  std::vector<CallSite> call_sites;
  std::vector<Body*> callees;
  bool compiled = false;  // the text is one the steps cover
  bool usable = false;    // and so is every body it may call
  int fallbacks = 0;
  std::vector<Body*> closure;  // itself and every body it may reach, once usable
};

// ---- reading a body -----------------------------------------------------------------------------

class PureCalls::Compiler {
 public:
  using Bodies = std::unordered_map<const words::THashNode*, std::unique_ptr<Body>>;
  Compiler(const words::TScopedHash& words, Bodies& bodies) : words_(words), bodies_(bodies) {}

  Body* Compile(words::THashNode& label);

  // A body is usable when it and every body it calls compiled; the bodies it reaches are listed
  // for the checks at the start of each run.
  void Settle() {
    for (auto& [key, body] : bodies_) body->usable = body->compiled;
    for (bool changed = true; changed;) {
      changed = false;
      for (auto& [key, body] : bodies_) {
        if (!body->usable) continue;
        for (Body* callee : body->callees) {
          if (callee->usable) continue;
          body->usable = false;
          changed = true;
          break;
        }
      }
    }
    for (auto& [key, body] : bodies_)
      if (body->usable && body->closure.empty()) body->closure = Reachable(body.get());
  }

 private:
  class BodyReader;
  class ExpressionReader;

  static std::vector<Body*> Reachable(Body* root) {
    std::vector<Body*> found{root};
    for (std::size_t i = 0; i < found.size(); ++i)
      for (Body* callee : found[i]->callees)
        if (std::find(found.begin(), found.end(), callee) == found.end()) found.push_back(callee);
    return found;
  }

  // The statements' words still name the commands the steps stand for (名義変更 may move them).
  bool CommandsAreTheirOwn() const {
    const Keywords& k = keywords();
    const std::pair<const std::string*, int> expected[] = {{&k.moshi, 102},   {&k.naraba, 19},
                                                           {&k.chigaeba, 20}, {&k.modoru, 3},
                                                           {&k.local, 518},   {&k.take, 519}};
    for (const auto& [name, id] : expected) {
      const words::THashNode* w = words_.FindScoped(*name, true);
      if (!w || w->Kind != words::kCommand || w->Tag != id) return false;
    }
    return true;
  }

  // "?を,?に": as many arguments as slots, each slot taking one.
  static bool ReadTemplate(std::string_view templ, std::size_t& arity) {
    if (text::trim_view(templ).empty()) {
      arity = 0;
      return true;
    }
    std::size_t slots = static_cast<std::size_t>(std::count(templ.begin(), templ.end(), ',')) + 1;
    arity = static_cast<std::size_t>(std::count(templ.begin(), templ.end(), '?'));
    return arity == slots && arity <= kMaxArguments;
  }

  // A local may take a name that only variables go by: a command, label or part of that name
  // would read otherwise in a statement.
  bool FreeName(const std::string& name) const {
    const words::THashNode* scoped = words_.FindScoped(name, true);
    const words::THashNode* global = words_.Find(name, true);
    return !name.empty() && (!scoped || scoped->Kind == words::kVariable) &&
           (!global || global->Kind == words::kVariable);
  }

  const words::TScopedHash& words_;
  Bodies& bodies_;
  int compiling_ = 0;
};

// Reads one expression into steps; false where it holds anything the steps do not cover.
class PureCalls::Compiler::ExpressionReader {
 public:
  ExpressionReader(Compiler& compiler, Body& body, const std::vector<std::string>& locals,
                   Body::Expression& out, int& height, int nesting, int enclosing_calls)
      : compiler_(compiler),
        body_(body),
        locals_(locals),
        out_(out),
        height_(height),
        nesting_(nesting),
        enclosing_calls_(enclosing_calls) {}

  // The whole text as one expression; `operators` tells whether one stands outside groups.
  bool ReadAll(const std::string& text, bool& operators) {
    p_ = text.c_str();
    operators_ = false;
    if (!Comparison()) return false;
    skip_blanks_only(p_);
    operators = operators_;
    return *p_ == '\0';
  }

  bool made_call() const { return made_call_; }

 private:
  Op PeekOperator() {
    skip_blanks_only(p_);
    if (!is_operator_char(*p_)) return Op::kOther;
    const char* q = p_;
    Op op = read_operator(q);
    // An operator the steps do not know ends nothing: the reading fails where it stands.
    if (op == Op::kOther) unknown_operator_ = true;
    return op;
  }

  void TakeOperator() {
    read_operator(p_);
    operators_ = true;
  }

  bool Comparison() {
    if (!Additive()) return false;
    Op op = PeekOperator();
    if (unknown_operator_) return false;
    if (!IsComparison(op)) return true;
    TakeOperator();
    if (!Additive()) return false;
    Emit({Body::Step::Code::kOperator, op}, -1);
    // A chain of comparisons reads the first one's text again: not covered.
    return PeekOperator() == Op::kOther && !unknown_operator_;
  }

  bool Additive() {
    if (!Multiplicative()) return false;
    for (Op op; (op = PeekOperator()) == Op::kAdd || op == Op::kSubtract;) {
      TakeOperator();
      if (!Multiplicative()) return false;
      Emit({Body::Step::Code::kOperator, op}, -1);
    }
    return !unknown_operator_;
  }

  bool Multiplicative() {
    if (!Primary()) return false;
    for (Op op; (op = PeekOperator()) == Op::kMultiply;) {
      TakeOperator();
      if (!Primary()) return false;
      Emit({Body::Step::Code::kOperator, op}, -1);
    }
    return !unknown_operator_;
  }

  bool Primary() {
    skip_blanks_only(p_);
    if (*p_ == '(') return Group();
    if (is_digit(*p_)) return Number();
    // A word as the term reader takes it: up to the next delimiter, a call when "(" follows.
    std::string name = read_word(p_);
    if (name.empty()) return false;
    if (*p_ == '(') return Call(name);
    auto found = std::find(locals_.begin(), locals_.end(), name);
    if (found == locals_.end()) return false;
    Body::Step step{Body::Step::Code::kLocal};
    step.slot = static_cast<std::uint8_t>(found - locals_.begin() + 1);
    return Emit(step, 1);
  }

  bool Number() {
    const char* start = p_;
    while (is_digit(*p_)) ++p_;
    std::int64_t value = 0;
    // Followed by anything but a blank or an operator, the digits read otherwise (1.5, 1E3).
    if (*p_ && *p_ != ' ' && *p_ != '\t' && !is_operator_char(*p_)) return false;
    if (!canonical_whole(std::string_view(start, p_ - start), value)) return false;
    Body::Step step{Body::Step::Code::kConstant};
    step.constant = value;
    return Emit(step, 1);
  }

  // A group with an operator inside: its result is of number kind, as the text of one read
  // back. A group around a single term would carry that term's text as "s".
  bool Group() {
    if (nesting_ >= kMaxGroupNesting) return false;
    std::string inside;
    try {
      inside = expr::ReadGroup(p_);
    } catch (const std::exception&) {
      return false;
    }
    ExpressionReader inner(compiler_, body_, locals_, out_, height_, nesting_ + 1,
                           enclosing_calls_);
    bool operators = false;
    if (!inner.ReadAll(inside, operators) || !operators) return false;
    made_call_ = made_call_ || inner.made_call_;
    return true;
  }

  bool Call(const std::string& name) {
    words::THashNode* callee = compiler_.words_.FindScoped(name, true);
    if (!callee || callee->Kind != words::kLabel || enclosing_calls_ >= kMaxCallNesting)
      return false;
    std::string inside;
    try {
      inside = expr::ReadGroup(p_);
    } catch (const std::exception&) {
      return false;
    }
    std::vector<std::string> pieces;
    if (!SplitPieces(inside, pieces)) return false;
    Body* target = compiler_.Compile(*callee);
    if (pieces.size() != target->arity) return false;
    for (const std::string& piece : pieces) {
      ExpressionReader argument(compiler_, body_, locals_, out_, height_, nesting_,
                                enclosing_calls_ + 1);
      bool operators = false;
      // A piece without an operator is read as statement tokens, where a group or a call reads
      // otherwise than in an expression: only a plain word or number is sure to read alike.
      if (!argument.ReadAll(piece, operators) ||
          (!operators && piece.find('(') != std::string::npos))
        return false;
    }
    Body::Step step{Body::Step::Code::kCall};
    step.argc = static_cast<std::uint8_t>(pieces.size());
    step.enclosing_calls = static_cast<std::uint8_t>(enclosing_calls_);
    step.callee = target;
    body_.call_sites.push_back({name, callee});
    if (std::find(body_.callees.begin(), body_.callees.end(), target) == body_.callees.end())
      body_.callees.push_back(target);
    made_call_ = true;
    return Emit(step, 1 - static_cast<int>(pieces.size()));
  }

  // The pieces between commas outside groups, as the call reader splits them; an empty piece
  // (which the reader drops) is not covered.
  static bool SplitPieces(const std::string& inside, std::vector<std::string>& pieces) {
    if (text::trim_view(inside).empty()) return true;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= inside.size(); ++i) {
      const char c = i < inside.size() ? inside[i] : ',';
      if (c == '"' || c == '`' || c == '@') return false;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (c != ',' || depth > 0) continue;
      std::string piece = text::trim(std::string_view(inside).substr(start, i - start));
      if (piece.empty()) return false;
      pieces.push_back(std::move(piece));
      start = i + 1;
    }
    return pieces.size() <= kMaxArguments;
  }

  bool Emit(const Body::Step& step, int stack_change) {
    out_.push_back(step);
    height_ += stack_change;
    if (stack_change > 0 && static_cast<std::size_t>(height_) > kMaxStack) return false;
    return true;
  }

  Compiler& compiler_;
  Body& body_;
  const std::vector<std::string>& locals_;
  Body::Expression& out_;
  int& height_;
  const int nesting_;
  const int enclosing_calls_;
  const char* p_ = nullptr;
  bool operators_ = false;
  bool unknown_operator_ = false;
  bool made_call_ = false;
};

// Reads a body's statements from the line after its label up to its closing 戻る.
class PureCalls::Compiler::BodyReader {
 public:
  BodyReader(Compiler& compiler, Body& body) : compiler_(compiler), body_(body) {}

  bool Read(const char* p) {
    const Keywords& k = keywords();
    p_ = p;
    while (true) {
      // Each line of the text as prepared starts with its number ("7:").
      while (skip_line_prefix(p_) >= 0 || *p_ == ' ' || *p_ == '\t') skip_blanks_only(p_);
      if (*p_ == '\0' || *p_ == '*' || is_digit(*p_)) return false;
      if (at(p_, k.modoru)) return rest_is_blank(p_ + k.modoru.size());
      if (!Statement()) return false;
      if (!rest_is_blank(p_)) return false;
      while (!at_line_end(p_)) ++p_;
    }
  }

 private:
  std::string_view Line() const {
    const char* end = p_;
    while (!at_line_end(end)) ++end;
    while (end > p_ && (end[-1] == ' ' || end[-1] == '\t')) --end;
    return std::string_view(p_, static_cast<std::size_t>(end - p_));
  }

  static bool EndsWith(std::string_view line, const std::string& word) {
    return line.size() > word.size() && line.substr(line.size() - word.size()) == word;
  }

  bool Statement() {
    const Keywords& k = keywords();
    if (at(p_, k.moshi)) return If();
    std::string_view line = Line();
    if (EndsWith(line, k.local)) return Declare(line);
    if (EndsWith(line, k.take)) return Take();
    Body::Assignment assignment;
    if (!Assignment(line, assignment)) return false;
    p_ += line.size();
    Body::Statement statement;
    statement.assignment = std::move(assignment);
    body_.statements.push_back(std::move(statement));
    return true;
  }

  // Nをローカル変数
  bool Declare(std::string_view line) {
    const Keywords& k = keywords();
    std::string_view head = line.substr(0, line.size() - k.local.size());
    if (!EndsWith(head, k.wo)) return false;
    std::string name(head.substr(0, head.size() - k.wo.size()));
    const char* q = name.c_str();
    // "Nを" known as a word of its own would split the statement elsewhere.
    if (read_name(q) != name || !compiler_.FreeName(name) || compiler_.words_.FindScoped(head) ||
        locals_.size() + 1 >= kMaxSlots ||
        std::find(locals_.begin(), locals_.end(), name) != locals_.end())
      return false;
    locals_.push_back(std::move(name));
    p_ += line.size();
    return true;
  }

  // Nに1番目の引数得る, before any call: a call replaces the arguments it reads.
  bool Take() {
    const Keywords& k = keywords();
    std::string name = read_name(p_);
    auto found = std::find(locals_.begin(), locals_.end(), name);
    if (found == locals_.end() || made_call_ || !at(p_, k.ni)) return false;
    p_ += k.ni.size();
    skip_blanks_only(p_);
    if (*p_ < '1' || *p_ > '9' || is_digit(p_[1])) return false;
    std::size_t index = static_cast<std::size_t>(*p_++ - '0');
    if (index > body_.arity || !at(p_, k.banme)) return false;
    p_ += k.banme.size();
    skip_blanks_only(p_);
    if (!at(p_, k.take)) return false;
    p_ += k.take.size();
    Body::Statement statement;
    statement.kind = Body::Statement::Kind::kTake;
    statement.slot = static_cast<std::uint8_t>(found - locals_.begin() + 1);
    statement.index = static_cast<std::uint8_t>(index);
    body_.statements.push_back(std::move(statement));
    return true;
  }

  // それ=… or N=…, the value running to the end of `text`.
  bool Assignment(std::string_view text, Body::Assignment& out) {
    const Keywords& k = keywords();
    std::string target;
    std::size_t at_equals = text.find('=');
    if (at_equals == std::string_view::npos) return false;
    target = text::trim(text.substr(0, at_equals));
    if (target == k.sore) {
      out.slot = 0;
    } else {
      auto found = std::find(locals_.begin(), locals_.end(), target);
      if (found == locals_.end()) return false;
      out.slot = static_cast<std::uint8_t>(found - locals_.begin() + 1);
    }
    std::string value(text.substr(at_equals + 1));
    if (value.empty() || value[0] == '=') return false;
    return ReadExpression(value, out.value, nullptr);
  }

  bool ReadExpression(const std::string& text, Body::Expression& out, bool* operators) {
    int height = 0;
    ExpressionReader reader(compiler_, body_, locals_, out, height, 0, 0);
    bool has_operators = false;
    if (!reader.ReadAll(text, has_operators)) return false;
    made_call_ = made_call_ || reader.made_call();
    if (operators) *operators = has_operators;
    return true;
  }

  // もし C ならば (A) with an optional 違えば (B) on the same line or the next.
  bool If() {
    const Keywords& k = keywords();
    p_ += k.moshi.size();
    const char* start = p_;
    while (!at_line_end(p_) && !at(p_, k.naraba) && !at(p_, k.nara) && !at(p_, k.chigaeba) &&
           !at(p_, k.denakereba))
      p_ += text::char_len(p_);
    if (!at(p_, k.nara)) return false;
    std::string condition = text::trim(std::string_view(start, p_ - start));
    if (!PlainCondition(condition)) return false;
    Body::Statement statement;
    statement.kind = Body::Statement::Kind::kIf;
    bool operators = false;
    if (!ReadExpression(condition, statement.condition, &operators) || !operators) return false;
    p_ += at(p_, k.naraba) ? k.naraba.size() : k.nara.size();
    while (is_separator(*p_)) ++p_;
    if (!Block(statement.assignment)) return false;
    skip_blanks_only(p_);
    const char* otherwise = p_;
    if (at_line_end(p_)) {
      skip_line_prefix(otherwise);
      while (is_separator(*otherwise)) ++otherwise;
    }
    if (at(otherwise, k.denakereba)) return false;
    if (at(otherwise, k.chigaeba)) {
      p_ = otherwise + k.chigaeba.size();
      while (*p_ == ' ' || *p_ == '\t' || *p_ == ',') ++p_;
      statement.has_otherwise = true;
      if (!Block(statement.otherwise)) return false;
    }
    body_.statements.push_back(std::move(statement));
    return true;
  }

  // A condition the condition reader takes as it stands: blanks inside would be cut out, and
  // "が", "かつ" and "または" (a label's name may hold them) read as comparisons and logic.
  static bool PlainCondition(std::string_view condition) {
    static const std::string kGa = text::sjis("が"), kKatsu = text::sjis("かつ"),
                             kMatawa = text::sjis("または");
    for (std::size_t i = 0; i < condition.size(); i += text::char_len(condition, i)) {
      std::string_view rest = condition.substr(i);
      if (is_separator(condition[i]) || rest.starts_with(kGa) || rest.starts_with(kKatsu) ||
          rest.starts_with(kMatawa))
        return false;
    }
    return true;
  }

  // "(…)" on the line holding one assignment.
  bool Block(Body::Assignment& out) {
    if (*p_ != '(') return false;
    bool parenthesised = false;
    std::string inside;
    try {
      inside = expr::ReadBlockText(p_, parenthesised);
    } catch (const std::exception&) {
      return false;
    }
    if (!parenthesised || inside.find_first_of("\r\n;") != std::string::npos) return false;
    return Assignment(text::trim(inside), out);
  }

  Compiler& compiler_;
  Body& body_;
  const char* p_ = nullptr;
  std::vector<std::string> locals_;  // slot i + 1
  bool made_call_ = false;
};

PureCalls::Body* PureCalls::Compiler::Compile(words::THashNode& label) {
  std::unique_ptr<Body>& entry = bodies_[&label];
  if (entry) return entry.get();
  entry = std::make_unique<Body>();
  Body* body = entry.get();
  body->info = label.Obj;
  body->label = &label;
  body->extra = label.Extra;
  auto* info = dynamic_cast<const source::LabelInfo*>(label.Obj.get());
  // A chain of labels each calling the next is read one inside the other: past a bound, the
  // rest count as not covered rather than go deeper.
  if (info && info->position && compiling_ < kMaxLabelsCompiling && CommandsAreTheirOwn() &&
      ReadTemplate(label.Extra, body->arity)) {
    ++compiling_;
    body->compiled = BodyReader(*this, *body).Read(info->position);
    --compiling_;
  }
  return body;
}

// ---- running ------------------------------------------------------------------------------------

class PureCalls::Machine {
 public:
  explicit Machine(int depth_allowed) : depth_allowed_(depth_allowed) {}

  bool Call(const Body& body, const Value* arguments, int enclosing_calls, Value& result) {
    if (depth_ + 1 + enclosing_calls > depth_allowed_) return false;
    // Only a label with a template takes arguments (and replaces the ones 引数得る reads).
    if (body.arity > 0) {
      std::copy(arguments, arguments + body.arity, last_arguments_.begin());
      last_count_ = body.arity;
      took_arguments_ = true;
    }
    ++depth_;
    std::array<Slot, kMaxSlots> slots{};
    const bool ran = RunStatements(body, arguments, slots.data());
    --depth_;
    if (!ran || slots[0].blank) return false;
    result = Value{slots[0].whole, slots[0].number};
    return true;
  }

  bool TookArguments() const { return took_arguments_; }
  std::vector<std::string> LastArguments() const {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < last_count_; ++i)
      texts.push_back(text_of(last_arguments_[i].whole));
    return texts;
  }

 private:
  bool RunStatements(const Body& body, const Value* arguments, Slot* slots) {
    for (const Body::Statement& statement : body.statements) {
      switch (statement.kind) {
        case Body::Statement::Kind::kTake: {
          // 引数得る sets the text and leaves the type mark as it was.
          Slot& slot = slots[statement.slot];
          slot.number = !slot.blank && slot.number;
          slot.whole = arguments[statement.index - 1].whole;
          slot.blank = false;
          break;
        }
        case Body::Statement::Kind::kAssign:
          if (!Assign(statement.assignment, slots)) return false;
          break;
        case Body::Statement::Kind::kIf: {
          Value condition;
          if (!Evaluate(statement.condition, slots, condition) || !condition.number) return false;
          if (condition.whole != 0) {
            if (!Assign(statement.assignment, slots)) return false;
          } else if (statement.has_otherwise && !Assign(statement.otherwise, slots)) {
            return false;
          }
          break;
        }
      }
    }
    return true;
  }

  bool Assign(const Body::Assignment& assignment, Slot* slots) {
    Value value;
    if (!Evaluate(assignment.value, slots, value)) return false;
    slots[assignment.slot] = Slot{value.whole, value.number, false};
    return true;
  }

  bool Evaluate(const Body::Expression& expression, const Slot* slots, Value& out) {
    std::array<Value, kMaxStack> stack;
    std::size_t top = 0;
    for (const Body::Step& step : expression) {
      switch (step.code) {
        case Body::Step::Code::kConstant:
          stack[top++] = Value{step.constant, true};
          break;
        case Body::Step::Code::kLocal: {
          const Slot& slot = slots[step.slot];
          if (slot.blank) return false;
          stack[top++] = Value{slot.whole, slot.number};
          break;
        }
        case Body::Step::Code::kCall: {
          top -= step.argc;
          Value result;
          if (!Call(*step.callee, &stack[top], step.enclosing_calls, result)) return false;
          stack[top++] = result;
          break;
        }
        case Body::Step::Code::kOperator:
          --top;
          if (!apply(step.op, stack[top - 1], stack[top])) return false;
          break;
      }
    }
    out = stack[0];
    return true;
  }

  const int depth_allowed_;
  int depth_ = 0;
  std::array<Value, kMaxArguments> last_arguments_{};
  std::size_t last_count_ = 0;
  bool took_arguments_ = false;
};

// ---- the cache ----------------------------------------------------------------------------------

PureCalls::PureCalls() = default;
PureCalls::~PureCalls() = default;

PureCalls::Body* PureCalls::Prepare(const words::TScopedHash& words, words::THashNode& label) {
  auto found = bodies_.find(&label);
  if (found != bodies_.end()) return found->second.get();
  Compiler compiler(words, bodies_);
  Body* body = compiler.Compile(label);
  compiler.Settle();
  return body;
}

bool PureCalls::StillHolds(const words::TScopedHash& words, const Body& root) const {
  for (const Body* body : root.closure) {
    if (body->label->Obj != body->info || body->label->Extra != body->extra) return false;
    for (const Body::CallSite& site : body->call_sites)
      if (words.FindScoped(site.name, true) != site.label) return false;
  }
  return true;
}

bool PureCalls::Run(const words::TScopedHash& words, words::THashNode& label,
                    const std::vector<std::string>& arguments, int depth_allowed,
                    PureCallOutcome& out) {
  if (depth_allowed < 1 || !label.Obj) return false;
  // Whatever the names or kinds of words changed may read differently now.
  if (names_generation_ != words.NamesGeneration() || kind_changes_ != words::KindChanges()) {
    bodies_.clear();
    names_generation_ = words.NamesGeneration();
    kind_changes_ = words::KindChanges();
  }
  Body* root = Prepare(words, label);
  if (!root->usable || root->fallbacks >= kMaxFallbacks) return false;
  if (!StillHolds(words, *root)) {
    bodies_.clear();
    root = Prepare(words, label);
    if (!root->usable || !StillHolds(words, *root)) return false;
  }
  if (arguments.size() != root->arity) return false;
  std::array<Value, kMaxArguments> values{};
  for (std::size_t i = 0; i < arguments.size(); ++i)
    if (!canonical_whole(arguments[i], values[i].whole)) return false;

  Machine machine(depth_allowed);
  Value result;
  if (!machine.Call(*root, values.data(), 0, result)) {
    ++root->fallbacks;
    return false;
  }
  ++runs_;
  out.value = text_of(result.whole);
  out.type_mark.assign(result.number ? 1 : 0, 'e');  // not a literal: GCC 12 warns wrongly
  out.took_arguments = machine.TookArguments();
  if (out.took_arguments) out.last_arguments = machine.LastArguments();
  out.last_command = words.FindScoped(keywords().modoru, true)->Name;
  return true;
}

}  // namespace morivel::engine
