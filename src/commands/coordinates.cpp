// Coordinate texts "(x,y)" and rectangles "(left,top,right,bottom)" as scripts write them.
#include "commands/coordinates.h"

#include <cmath>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/sjis.h"

namespace morivel::commands {

namespace {

// Splits at commas outside parentheses and quotes; Shift-JIS trail bytes never split.
std::vector<std::string> split_top_level(const std::string& s) {
  std::vector<std::string> parts(1);
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = text::char_len(s, i);
    char c = s[i];
    if (n == 1 && quote) {
      if (c == quote) quote = 0;
    } else if (n == 1 && (c == '"' || c == '`')) {
      quote = c;
    } else if (n == 1 && c == '(') {
      ++depth;
    } else if (n == 1 && c == ')') {
      --depth;
    } else if (n == 1 && c == ',' && depth == 0) {
      parts.emplace_back();
      ++i;
      continue;
    }
    parts.back().append(s, i, n);
    i += n;
  }
  return parts;
}

// Whether the text is one parenthesised group from its first to its last byte.
bool one_group(const std::string& s) {
  if (s.size() < 2 || s.front() != '(' || s.back() != ')') return false;
  int depth = 0;
  for (std::size_t i = 0; i < s.size(); i += text::char_len(s, i)) {
    if (s[i] == '(') ++depth;
    if (s[i] == ')' && --depth == 0 && i + 1 < s.size()) return false;
  }
  return true;
}

std::string without_backquotes(std::string t) {
  t = text::trim(t);
  if (t.size() >= 2 && t.front() == '`' && t.back() == '`')
    t = text::trim(t.substr(1, t.size() - 2));
  return t;
}

long long nearest(long double v) {
  double d = static_cast<double>(v);
  if (!std::isfinite(d) || std::fabs(d) > 2e9) return 0;
  return static_cast<long long>(std::nearbyint(d));
}

}  // namespace

std::vector<long long> CoordinateValues(engine::Interpreter& in, const std::string& raw) {
  std::string t = without_backquotes(raw);
  bool written_out = one_group(t) || split_top_level(t).size() > 1;
  if (!written_out) t = without_backquotes(in.EvalArgument(t));
  if (one_group(t)) t = t.substr(1, t.size() - 2);
  std::vector<long long> values;
  if (text::trim(t).empty()) return values;
  for (const std::string& piece : split_top_level(t))
    values.push_back(nearest(expr::ToNumber(in.EvaluateText(text::trim(piece)).text)));
  return values;
}

}  // namespace morivel::commands
