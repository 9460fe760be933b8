// Reading expression and argument texts into prepared tokens, by the rules of the term reader
// and the evaluator. Anything whose extent or meaning the run decides (calls, dictionary access,
// embedded expressions, stray characters) makes the whole text unpreparable.
#include "engine/prepared.h"

#include "engine/interpreter.h"
#include "engine/lexer.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::engine {

namespace {

using expr::PreparedToken;
using Type = expr::PreparedToken::Type;

// Deeper texts are rare and are left to the readers: this keeps a prepared evaluation's native
// nesting small and known.
constexpr int kMaxPreparedDepth = 8;

bool can_pair(char c) {
  return c == '!' || c == '&' || c == '<' || c == '=' || c == '>' || c == '|';
}

bool starts_literal(const char* p) {
  return *p == '"' || *p == '`' || (p[0] == '@' && p[1] == '@');
}

// An embedded expression ({...} or its full-width form) is evaluated at each expansion.
bool may_embed_expression(std::string_view raw) {
  static const std::string kWideOpen = text::sjis("｛");
  return raw.find('{') != std::string_view::npos || raw.find(kWideOpen) != std::string_view::npos;
}

PreparedToken number_token(std::string text) {
  PreparedToken t;
  t.type = Type::kNumber;
  t.number = expr::ToNumber(text);
  t.text = std::move(text);
  return t;
}

}  // namespace

bool Preparer::ReadLiteral(const char*& p, PreparedToken& out) {
  std::string raw;
  try {
    raw = expr::ReadStringToken(p);
  } catch (const std::exception&) {
    return false;
  }
  if (raw.empty() || may_embed_expression(raw)) return false;
  std::string saved_type = in_.CurrentType();
  try {
    out.text = in_.ExpandString(raw);
  } catch (const std::exception&) {
    in_.SetCurrentType(saved_type);
    return false;
  }
  in_.SetCurrentType(saved_type);
  out.type = Type::kText;
  out.number = expr::ToNumber(out.text);
  return true;
}

bool Preparer::ReadGroupTokens(const char*& p, int depth, PreparedToken& out) {
  std::string inside;
  try {
    inside = expr::ReadGroup(p);
  } catch (const std::exception&) {
    return false;
  }
  const char* q = inside.c_str();
  out.type = Type::kGroup;
  return ReadTokens(q, true, depth + 1, out.inner);
}

// A term as Interpreter::ReadTerm reads it.
bool Preparer::ReadTerm(const char*& p, int depth, PreparedToken& out) {
  if (depth > kMaxPreparedDepth) return false;
  skip_blanks(p);
  if (starts_literal(p)) return ReadLiteral(p, out);
  if (*p == '$' || is_digit(*p)) {
    out = number_token(read_number(p));
    return true;
  }
  if (*p == '(') return ReadGroupTokens(p, depth, out);
  if (*p == '-') {
    ++p;
    out.type = Type::kNegated;
    out.inner.emplace_back();
    return ReadTerm(p, depth + 1, out.inner.back());
  }
  return ReadWordTerm(p, depth, out);
}

bool Preparer::ReadWordTerm(const char*& p, int depth, PreparedToken& out) {
  static const std::string kNo = text::sjis("の");
  std::string word = read_word(p);
  if (word.empty()) return false;
  // "Aの..." may be a dictionary or property access, and "A(" a call: the run decides.
  for (std::size_t i = text::char_len(word, 0); i < word.size(); i += text::char_len(word, i))
    if (word.compare(i, kNo.size(), kNo) == 0) return false;
  if (*p == '(') return false;
  out.text = std::move(word);
  if (*p != '#') {
    out.type = Type::kWord;
    return true;
  }
  out.type = Type::kElement;
  if (!ReadElementIndex(p, depth, out)) return false;
  const char* q = p;
  skip_blanks(q);
  if (*q != '#') return true;
  p = q;
  return ReadElementIndex(p, depth, out);
}

// "#" and the index after it: a group is a whole expression, anything else a term.
bool Preparer::ReadElementIndex(const char*& p, int depth, PreparedToken& out) {
  ++p;
  out.inner.emplace_back();
  return ReadTerm(p, depth + 1, out.inner.back());
}

// Tokens as the evaluator reads them, up to the end of the text.
bool Preparer::ReadTokens(const char*& p, bool operand_expected, int depth,
                          std::vector<PreparedToken>& out) {
  if (depth > kMaxPreparedDepth) return false;
  while (true) {
    skip_blanks(p);
    if (*p == '\0') return true;
    out.emplace_back();
    PreparedToken& token = out.back();
    if (*p == '(') {
      if (!ReadGroupTokens(p, depth, token)) return false;
      operand_expected = false;
      continue;
    }
    if (is_operator_char(*p)) {
      std::string op(1, *p++);
      if (can_pair(op[0]) && can_pair(*p)) op.push_back(*p++);
      if (operand_expected && op == "-") {
        token.type = Type::kNegated;
        token.inner.emplace_back();
        if (!ReadTerm(p, depth + 1, token.inner.back())) return false;
        operand_expected = false;
      } else if (operand_expected && op == "+" && (*p == '$' || is_digit(*p))) {
        token = number_token(read_number(p));
        operand_expected = false;
      } else {
        token.type = Type::kOperator;
        token.op = expr::OperatorCode(op);
        token.text = std::move(op);
        operand_expected = true;
      }
      continue;
    }
    if (!ReadTerm(p, depth, token)) return false;
    operand_expected = false;
  }
}

std::optional<PreparedToken> Preparer::Expression(std::string_view text) {
  std::string copy(text);
  const char* p = copy.c_str();
  PreparedToken expression;
  expression.type = PreparedToken::Type::kGroup;
  if (!ReadTokens(p, true, 0, expression.inner)) return std::nullopt;
  return expression;
}

// As EvalArgument reads: a term, "&" and a term any number of times, then an operator goes on
// as an expression over the value so far; anything else ends the argument.
std::optional<PreparedArgument> Preparer::Argument(std::string_view text) {
  std::string copy(text);
  const char* p = copy.c_str();
  PreparedArgument argument;
  if (!ReadTerm(p, 0, argument.first)) return std::nullopt;
  while (*p) {
    skip_blanks(p);
    if (*p == '&' && p[1] != '&') {
      ++p;
      skip_blanks(p);
      if (*p == '\r' || *p == '\n') skip_line_prefix(p);
      skip_blanks(p);
      argument.joined.emplace_back();
      if (!ReadTerm(p, 0, argument.joined.back())) return std::nullopt;
      continue;
    }
    if (is_operator_char(*p)) {
      PreparedToken group;
      group.type = Type::kGroup;
      group.inner.emplace_back();
      group.inner.back().type = Type::kLeft;
      if (!ReadTokens(p, false, 1, group.inner)) return std::nullopt;
      argument.continued.push_back(std::move(group));
      argument.has_continuation = true;
      return argument;
    }
    break;
  }
  return argument;
}

void PinnedTexts::Pin(std::shared_ptr<const std::string> text) {
  const char* first = text->c_str();
  texts_.emplace(first, std::move(text));
}

bool PinnedTexts::Holds(const char* p) const {
  auto it = texts_.upper_bound(p);
  if (it == texts_.begin()) return false;
  --it;
  return p <= it->first + it->second->size();
}

namespace {

// "A#(i)": an element the statement reader reads as the array A and the group's text (its name
// is no statement word of its own, with no ending the reader takes apart), with p after it.
bool ElementReadAsWritten(const std::string& name, const char*& p, std::string& index) {
  static const std::vector<std::string> kEndings = {
      text::sjis("の"), text::sjis("は"), text::sjis("回"), text::sjis("て"), text::sjis("時")};
  static const std::vector<std::string> kStarts = {text::sjis("もし"), text::sjis("繰返"),
                                                   text::sjis("繰り返"), text::sjis("反復"),
                                                   text::sjis("ループ")};
  for (const std::string& ending : kEndings)
    if (name.size() >= ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
      return false;
  for (const std::string& start : kStarts)
    if (name.compare(0, start.size(), start) == 0) return false;
  if (p[1] != '(') return false;
  const char* q = p + 1;
  std::string inside;
  try {
    inside = expr::ReadGroup(q);
  } catch (const std::exception&) {
    return false;
  }
  if (inside.find_first_of("\r\n") != std::string::npos) return false;
  index = "(" + inside + ")";
  p = q;
  return true;
}

}  // namespace

PreparedAssignment PrepareAssignment(const char* p) {
  static const std::string kMoshi = text::sjis("もし"), kSoshite = text::sjis("そして");
  PreparedAssignment a;
  const char* q = p;
  std::string word = read_word(q);
  // もし… starts a condition, そして ends a statement, and a name never starts a literal.
  if (word.empty() || word.compare(0, kMoshi.size(), kMoshi) == 0 || word == kSoshite ||
      word[0] == '@')
    return a;
  std::string index;
  if (q[0] == '#' && !ElementReadAsWritten(word, q, index)) return a;
  skip_blanks(q);
  if (q[0] != '=' || q[1] == '=') return a;
  ++q;
  try {
    a.value = std::make_shared<const std::string>(text::trim(expr::ReadStatementValue(q)));
  } catch (const std::exception&) {
    return a;
  }
  a.is_assignment = true;
  a.names_element = !index.empty();
  a.name = a.names_element ? word + "#" + index : word;
  if (a.names_element) {
    a.array = std::move(word);
    a.index = std::move(index);
  }
  a.end = q;
  return a;
}

}  // namespace morivel::engine
