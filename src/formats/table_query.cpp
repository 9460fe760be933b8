// The condition language of 表条件抽出, parsed once into a flat tree and evaluated per row.
#include "formats/table_query.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "expr/number.h"
#include "formats/table_ops.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "text/wildcard.h"
#include "words/errors.h"

namespace morivel::formats {

namespace {

// Parentheses nest through recursion; deeper conditions are refused rather than risked.
constexpr int kMaxGroupDepth = 64;

enum class Op { Equal, NotEqual, Greater, GreaterEqual, Less, LessEqual };
enum class ValueKind { Text, Number, Date };

struct Comparison {
  std::size_t column = 0;
  Op op = Op::Equal;
  ValueKind kind = ValueKind::Number;
  std::string text;
  long double number = 0;
  double date = 0;
};

struct Sequence;

// One operand of an OR run: a comparison or a parenthesised group.
struct Item {
  std::optional<Comparison> comparison;
  std::unique_ptr<Sequence> group;
};

enum class Join { None, And, Or };

// Items OR-ed together, then joined to the next segment; evaluated right-nested.
struct Segment {
  std::vector<Item> items;
  Join join = Join::None;
};

struct Sequence {
  std::vector<Segment> segments;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsOperatorChar(char c) {
  return c == '<' || c == '=' || c == '>';
}

bool IsValueEnd(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

[[noreturn]] void Fail(const char* utf8_message) {
  throw GeneralError(text::sjis(utf8_message));
}

std::optional<Op> OperatorFrom(std::string_view op) {
  if (op == "=" || op == "==") return Op::Equal;
  if (op == "<>" || op == "><") return Op::NotEqual;
  if (op == ">") return Op::Greater;
  if (op == ">=" || op == "=>") return Op::GreaterEqual;
  if (op == "<") return Op::Less;
  if (op == "<=" || op == "=<") return Op::LessEqual;
  return std::nullopt;
}

template <class T>
bool Compare(const T& cell, Op op, const T& value) {
  switch (op) {
    case Op::Equal:
      return cell == value;
    case Op::NotEqual:
      return cell != value;
    case Op::Greater:
      return cell > value;
    case Op::GreaterEqual:
      return cell >= value;
    case Op::Less:
      return cell < value;
    case Op::LessEqual:
      return cell <= value;
  }
  return false;
}

// Drops the first and the last character of a quoted value.
std::string Unquote(std::string_view value) {
  const std::size_t first = text::char_len(value, 0);
  std::size_t last = 0;
  for (std::size_t i = first; i < value.size(); i += text::char_len(value, i)) last = i;
  if (last < first) return {};
  return std::string(value.substr(first, last - first));
}

class ConditionParser {
 public:
  explicit ConditionParser(const TCsvDb& table) : table_(table) {}

  std::unique_ptr<Sequence> Parse(std::string_view text, int depth) {
    if (depth > kMaxGroupDepth) Fail("条件式のカッコが深すぎます。");
    auto sequence = std::make_unique<Sequence>();
    sequence->segments.emplace_back();
    std::size_t pos = 0;
    while (true) {
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
      if (pos >= text.size()) break;
      const std::string_view rest = text.substr(pos);
      if (rest.front() == '(') {
        const std::size_t close = MatchingParen(text, pos);
        Item item;
        item.group = Parse(text.substr(pos + 1, close - pos - 1), depth + 1);
        sequence->segments.back().items.push_back(std::move(item));
        pos = close + 1;
      } else if (rest.starts_with("AND ") || rest.starts_with("and ")) {
        sequence->segments.back().join = Join::And;
        sequence->segments.emplace_back();
        pos += 4;
      } else if (rest.starts_with("OR ") || rest.starts_with("or ")) {
        sequence->segments.back().join = Join::Or;
        sequence->segments.emplace_back();
        pos += 3;
      } else {
        Item item;
        item.comparison = ReadComparison(text, pos);
        sequence->segments.back().items.push_back(std::move(item));
      }
    }
    return sequence;
  }

 private:
  std::size_t MatchingParen(std::string_view text, std::size_t open) const {
    int nesting = 0;
    for (std::size_t i = open; i < text.size(); i += text::char_len(text, i)) {
      if (text::char_len(text, i) != 1) continue;
      if (text[i] == '(') ++nesting;
      if (text[i] == ')' && --nesting == 0) return i;
    }
    Fail("\")\"が対応していません。");
  }

  Comparison ReadComparison(std::string_view text, std::size_t& pos) const {
    const std::size_t start = pos;
    while (pos < text.size() && !(text::char_len(text, pos) == 1 && IsOperatorChar(text[pos])))
      pos += text::char_len(text, pos);
    const std::string name = text::trim(text.substr(start, pos - start));
    const std::size_t op_start = pos;
    while (pos < text.size() && IsOperatorChar(text[pos])) ++pos;
    const auto op = OperatorFrom(text.substr(op_start, pos - op_start));
    while (pos < text.size() && IsValueEnd(text[pos])) ++pos;
    const std::size_t value_start = pos;
    while (pos < text.size() && !(text::char_len(text, pos) == 1 && IsValueEnd(text[pos])))
      pos += text::char_len(text, pos);
    if (!op) Fail("演算子の指定エラー。");
    Comparison comparison;
    comparison.op = *op;
    comparison.column = FieldColumn(name);
    SetValue(comparison, text.substr(value_start, pos - value_start));
    return comparison;
  }

  std::size_t FieldColumn(const std::string& name) const {
    const TCsvCells* header = table_.Row(0);
    for (std::size_t c = 0; header && c < header->Count(); ++c) {
      if (header->View(c) == name) return c;
    }
    throw GeneralError(text::sjis("フィールド名\"") + name + text::sjis("\"が見つかりません。"));
  }

  static void SetValue(Comparison& comparison, std::string_view value) {
    if (!value.empty() && (value.front() == '"' || value.front() == '`')) {
      comparison.kind = ValueKind::Text;
      comparison.text = Unquote(value);
    } else if (!value.empty() && value.front() == '#') {
      comparison.kind = ValueKind::Date;
      const auto date = ReadDateValue(value.substr(1));
      if (!date) {
        throw GeneralError(text::sjis("日付\"") + std::string(value.substr(1)) +
                           text::sjis("\"が読めません。"));
      }
      comparison.date = *date;
    } else {
      comparison.kind = ValueKind::Number;
      comparison.number = expr::ToNumber(value);
    }
  }

  const TCsvDb& table_;
};

bool Holds(const Comparison& comparison, const TCsvCells& row) {
  const std::string_view cell = row.View(comparison.column);
  switch (comparison.kind) {
    case ValueKind::Text:
      if (comparison.op == Op::Equal) return text::easy_match_no_case(cell, comparison.text);
      if (comparison.op == Op::NotEqual) return !text::easy_match_no_case(cell, comparison.text);
      return Compare<std::string_view>(cell, comparison.op, comparison.text);
    case ValueKind::Number:
      return Compare(expr::ToNumber(cell), comparison.op, comparison.number);
    case ValueKind::Date: {
      const auto date = ReadDateValue(cell);
      return date && Compare(*date, comparison.op, comparison.date);
    }
  }
  return false;
}

bool Evaluate(const Sequence& sequence, const TCsvCells& row);

bool EvaluateSegment(const Segment& segment, const TCsvCells& row) {
  bool result = false;
  for (const Item& item : segment.items) {
    const bool value = item.comparison ? Holds(*item.comparison, row) : Evaluate(*item.group, row);
    result = result || value;
  }
  return result;
}

// A AND B OR C reads A AND (B OR C): fold from the right.
bool Evaluate(const Sequence& sequence, const TCsvCells& row) {
  const auto& segments = sequence.segments;
  bool result = EvaluateSegment(segments.back(), row);
  for (std::size_t i = segments.size() - 1; i-- > 0;) {
    const bool left = EvaluateSegment(segments[i], row);
    result = segments[i].join == Join::And ? left && result : left || result;
  }
  return result;
}

// The Japanese spellings of the joins and "," as a separator become the plain forms.
std::string NormalizeCondition(std::string_view condition) {
  static const std::string kOr = text::sjis("または ");
  static const std::string kAnd = text::sjis("かつ ");
  const std::string half = text::to_half_width(condition);
  std::string out;
  for (std::size_t i = 0; i < half.size();) {
    const std::string_view rest = std::string_view(half).substr(i);
    if (rest.starts_with(kOr)) {
      out += "OR ";
      i += kOr.size();
    } else if (rest.starts_with(kAnd)) {
      out += "AND ";
      i += kAnd.size();
    } else if (rest.front() == ',') {
      out.push_back(' ');
      ++i;
    } else {
      const std::size_t len = text::char_len(half, i);
      out.append(half, i, len);
      i += len;
    }
  }
  return out;
}

}  // namespace

TCsvDb SelectRowsWhere(std::string_view table_text, std::string_view condition) {
  TCsvDb table;
  table.ReadCsv(text::to_half_width(table_text));
  table.HasHeader = true;
  const std::string normalized = NormalizeCondition(condition);
  const auto tree = ConditionParser(table).Parse(normalized, 0);
  TCsvDb result;
  result.HasHeader = true;
  for (std::size_t r = 0; r < table.RowCount(); ++r) {
    const TCsvCells* row = table.Row(r);
    const bool keep = r == 0 || (row && Evaluate(*tree, *row));
    if (keep) result.AddRow(row ? std::make_unique<TCsvCells>(*row) : nullptr);
  }
  return result;
}

}  // namespace morivel::formats
