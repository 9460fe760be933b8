// Coordinates "(x,y)" and rectangles "(left,top,right,bottom)" as scripts write them.
#include "gui/coordinates.h"

#include <cmath>

#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// Splits at commas outside parentheses and quotes; Shift-JIS trail bytes never split.
std::vector<std::string> split_top_level(const std::string& s) {
  std::vector<std::string> parts;
  std::string current;
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = text::char_len(s, i);
    char c = s[i];
    if (n == 1) {
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '`') {
        quote = c;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      } else if (c == ',' && depth == 0) {
        parts.push_back(current);
        current.clear();
        ++i;
        continue;
      }
    }
    current.append(s, i, n);
    i += n;
  }
  parts.push_back(current);
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

}  // namespace

std::vector<long long> coordinate_values(engine::Interpreter& in, const std::string& raw) {
  std::string t = text::trim(raw);
  if (t.size() >= 2 && t.front() == '`' && t.back() == '`') t = text::trim(t.substr(1, t.size() - 2));
  if (one_group(t)) t = t.substr(1, t.size() - 2);
  std::vector<long long> values;
  if (text::trim(t).empty()) return values;
  for (const std::string& piece : split_top_level(t)) {
    long double v = expr::ToNumber(in.EvaluateText(text::trim(piece)).text);
    double d = static_cast<double>(v);
    if (!std::isfinite(d) || std::fabs(d) > 2e9) d = 0;
    values.push_back(static_cast<long long>(std::nearbyint(d)));
  }
  return values;
}

QPoint parse_point(engine::Interpreter& in, const std::string& text) {
  std::vector<long long> v = coordinate_values(in, text);
  if (v.size() != 2) throw in.Error(text::sjis("座標の指定エラー"));
  return QPoint(static_cast<int>(v[0]), static_cast<int>(v[1]));
}

std::array<int, 4> parse_rect(engine::Interpreter& in, const std::string& text) {
  std::vector<long long> v = coordinate_values(in, text);
  if (v.size() > 4) {
    std::string listed;
    for (long long n : v) listed += std::to_string(n) + "\r\n";
    throw in.Error(text::sjis("座標の指定エラー。引数が多すぎます。\"") + listed + "\"");
  }
  std::array<int, 4> r{};
  for (std::size_t i = 0; i < v.size(); ++i) r[i] = static_cast<int>(v[i]);
  return r;
}

std::string point_text(int x, int y) {
  return "(" + std::to_string(x) + "," + std::to_string(y) + ")";
}

std::string rect_text(int left, int top, int right, int bottom) {
  return "(" + std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(right) +
         "," + std::to_string(bottom) + ")";
}

}  // namespace morivel::gui
