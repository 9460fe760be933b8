// Operations behind the table and line-array commands; every one is linear or n log n in rows.
#include "formats/table_ops.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "expr/number.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/japanese.h"
#include "text/sjis.h"
#include "text/wildcard.h"
#include "words/errors.h"

namespace morivel::formats {

namespace {

std::size_t FirstDataRow(const TCsvDb& db) {
  return db.HasHeader ? 1 : 0;
}

std::string_view CellView(const TCsvDb& db, std::size_t row, std::int64_t column) {
  const TCsvCells* cells = db.Row(row);
  if (!cells || column < 0) return {};
  return cells->View(static_cast<std::size_t>(column));
}

bool ContainsAtCharStart(std::string_view text, std::string_view word) {
  return !word.empty() && text::find_at_char_start(text, word) != std::string_view::npos;
}

bool HasAnyOf(std::string_view text, std::initializer_list<const char*> marks) {
  for (const char* mark : marks) {
    if (text::find_at_char_start(text, mark) != std::string_view::npos) return true;
  }
  return false;
}

[[noreturn]] void ThrowTooLarge() {
  throw GeneralError(TooLargeMessage());
}

// ---- sorting ------------------------------------------------------------------------------

// A range of fewer than 20 rows is sorted by selection: one exchange per position with the
// last strictly smaller key found; so equal keys may change places there, as they always have.
template <class Less>
void SelectionSort(std::vector<std::size_t>& order, std::size_t start, std::size_t end,
                   const Less& less) {
  for (std::size_t i = start; i + 1 < end; ++i) {
    std::size_t smallest = i;
    for (std::size_t j = i + 1; j < end; ++j) {
      if (less(order[j], order[smallest])) smallest = j;
    }
    std::swap(order[i], order[smallest]);
  }
}

template <class TakeLeft, class Less>
void MergeSort(std::vector<std::size_t>& order, std::vector<std::size_t>& scratch,
               std::size_t start, std::size_t end, const TakeLeft& take_left, const Less& less) {
  if (end - start < 20) {
    SelectionSort(order, start, end, less);
    return;
  }
  const std::size_t mid = start / 2 + end / 2;
  MergeSort(order, scratch, start, mid, take_left, less);
  MergeSort(order, scratch, mid, end, take_left, less);
  std::size_t left = start;
  std::size_t right = mid;
  std::size_t out = start;
  while (left < mid && right < end) {
    scratch[out++] = take_left(order[left], order[right]) ? order[left++] : order[right++];
  }
  while (left < mid) scratch[out++] = order[left++];
  while (right < end) scratch[out++] = order[right++];
  std::copy(scratch.begin() + static_cast<std::ptrdiff_t>(start),
            scratch.begin() + static_cast<std::ptrdiff_t>(end),
            order.begin() + static_cast<std::ptrdiff_t>(start));
}

template <class Key, class TakeLeft>
void SortOrder(std::vector<std::size_t>& order, std::size_t first, const std::vector<Key>& keys,
               const TakeLeft& take_left) {
  std::vector<std::size_t> scratch(order.size());
  auto less = [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; };
  auto take = [&keys, &take_left](std::size_t a, std::size_t b) {
    return take_left(keys[a], keys[b]);
  };
  MergeSort(order, scratch, first, order.size(), take, less);
}

void ApplyOrder(TCsvDb& db, const std::vector<std::size_t>& order) {
  auto& rows = db.Rows();
  std::vector<std::unique_ptr<TCsvCells>> sorted;
  sorted.reserve(rows.size());
  for (std::size_t index : order) sorted.push_back(std::move(rows[index]));
  rows = std::move(sorted);
}

// Lower-cased UTF-16 forms of many texts, converted in one pass: iconv is slow to open, and
// texts never hold NUL, so NUL separates them.
std::vector<std::u16string> DictionaryKeys(const std::vector<std::string_view>& texts) {
  std::string joined;
  bool has_nul = false;
  for (std::string_view t : texts) {
    has_nul = has_nul || t.find('\0') != std::string_view::npos;
    joined.append(t);
    joined.push_back('\0');
  }
  std::vector<std::u16string> keys;
  if (!has_nul) {
    const std::u16string wide = text::to_utf16(text::to_lower_case(joined));
    std::size_t start = 0;
    for (std::size_t i = 0; i < wide.size(); ++i) {
      if (wide[i] != u'\0') continue;
      keys.push_back(wide.substr(start, i - start));
      start = i + 1;
    }
  }
  if (keys.size() != texts.size()) {
    keys.clear();
    for (std::string_view t : texts) keys.push_back(text::to_utf16(text::to_lower_case(t)));
  }
  return keys;
}

long double DateKey(std::string_view cell) {
  const auto value = ReadDateValue(cell);
  return value ? static_cast<long double>(*value) : -std::numeric_limits<long double>::infinity();
}

// ---- dates --------------------------------------------------------------------------------

class DateCursor {
 public:
  explicit DateCursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  std::size_t Pos() const { return pos_; }
  void Reset(std::size_t pos) { pos_ = pos; }
  bool Number(int& out, int max_digits, int* digits = nullptr) {
    int count = 0;
    long value = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9' && count < max_digits) {
      value = value * 10 + (text_[pos_++] - '0');
      ++count;
    }
    if (digits) *digits = count;
    out = static_cast<int>(value);
    return count > 0;
  }
  bool Eat(std::string_view token) {
    if (text_.substr(pos_, token.size()) != token) return false;
    pos_ += token.size();
    return true;
  }
  void SkipSpaces() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Two-digit years fall into 1930..2029, as the usual locale window has it.
int ExpandYear(int year, int digits) {
  if (digits > 2) return year;
  return year < 30 ? 2000 + year : 1900 + year;
}

std::optional<double> ReadDatePart(DateCursor& cur) {
  static const std::string kYear = text::sjis("年");
  static const std::string kMonth = text::sjis("月");
  static const std::string kDay = text::sjis("日");
  int year = 0, month = 0, day = 0, digits = 0;
  if (!cur.Number(year, 4, &digits)) return std::nullopt;
  if (cur.Eat(kYear)) {
    if (!cur.Number(month, 2) || !cur.Eat(kMonth) || !cur.Number(day, 2) || !cur.Eat(kDay))
      return std::nullopt;
  } else {
    const char sep = cur.Eat("/") ? '/' : cur.Eat("-") ? '-' : '\0';
    if (sep == '\0' || !cur.Number(month, 2) || !cur.Eat(std::string(1, sep)) ||
        !cur.Number(day, 2))
      return std::nullopt;
  }
  year = ExpandYear(year, digits);
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30));
}

std::optional<double> ReadTimePart(DateCursor& cur) {
  int hour = 0, minute = 0, second = 0;
  if (!cur.Number(hour, 2) || !cur.Eat(":") || !cur.Number(minute, 2)) return std::nullopt;
  if (cur.Eat(":") && !cur.Number(second, 2)) return std::nullopt;
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

// ---- selection ----------------------------------------------------------------------------

// How one cell is tested against the word of a pickup or search.
class CellTest {
 public:
  enum class Kind { Substring, Equal, Wildcard };
  CellTest(std::string_view word, Kind kind) : word_(word), kind_(kind) {
    if (kind_ == Kind::Wildcard) pattern_.emplace(word);
  }
  bool operator()(std::string_view cell) const {
    switch (kind_) {
      case Kind::Equal:
        return cell == word_;
      case Kind::Wildcard:
        return pattern_->MatchWhole(cell);
      case Kind::Substring:
        break;
    }
    return ContainsAtCharStart(cell, word_);
  }

 private:
  std::string word_;
  Kind kind_;
  std::optional<text::WildcardPattern> pattern_;
};

bool AnyCell(const TCsvCells* row, const CellTest& test) {
  for (std::size_t c = 0; row && c < row->Count(); ++c) {
    if (test(row->View(c))) return true;
  }
  return false;
}

std::size_t CellCount(const TCsvDb& db) {
  std::size_t cells = 0;
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    if (const TCsvCells* row = db.Row(r)) cells += row->Count();
  }
  return cells;
}

std::size_t CellBytes(const TCsvDb& db) {
  std::size_t bytes = 0;
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    const TCsvCells* row = db.Row(r);
    for (std::size_t c = 0; row && c < row->Count(); ++c) bytes += row->View(c).size();
  }
  return bytes;
}

void CheckWrittenSize(const TCsvDb& db, std::size_t bytes_per_cell, std::size_t bytes_per_row) {
  const std::size_t width = db.Width();
  const std::size_t rows = db.RowCount();
  const std::size_t limit = kMaxTableResultBytes;
  if (rows > 0 && width > limit / rows) ThrowTooLarge();
  if (rows * (width * bytes_per_cell + bytes_per_row) + CellBytes(db) > limit) ThrowTooLarge();
}

// Replaces every occurrence at character starts, refusing a cell that grows past the limit.
std::string ReplaceAll(std::string_view cell, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t i = 0;
  while (i < cell.size()) {
    if (cell.compare(i, from.size(), from) == 0) {
      out.append(to);
      i += from.size();
      if (out.size() > kMaxTableResultBytes) ThrowTooLarge();
      continue;
    }
    const std::size_t len = text::char_len(cell, i);
    out.append(cell.substr(i, len));
    i += len;
  }
  return out;
}

}  // namespace

// ---- line arrays --------------------------------------------------------------------------

std::vector<std::string> SplitLineArray(std::string_view text) {
  std::vector<std::string> lines;
  for (std::string_view line : text::split_lines(text)) lines.emplace_back(line);
  return lines;
}

std::string JoinLineArray(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void SortLinesDictionary(std::vector<std::string>& lines) {
  const std::vector<std::string_view> views(lines.begin(), lines.end());
  const auto keys = DictionaryKeys(views);
  std::vector<std::size_t> order(lines.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<std::string> sorted;
  sorted.reserve(lines.size());
  for (std::size_t index : order) sorted.push_back(std::move(lines[index]));
  lines = std::move(sorted);
}

void SortLinesByNumber(std::vector<std::string>& lines) {
  std::vector<std::pair<long double, std::size_t>> keys;
  keys.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) keys.emplace_back(expr::ToNumber(lines[i]), i);
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> sorted;
  sorted.reserve(lines.size());
  for (const auto& key : keys) sorted.push_back(std::move(lines[key.second]));
  lines = std::move(sorted);
}

// ---- dates --------------------------------------------------------------------------------

std::optional<double> ReadDateValue(std::string_view sjis_text) {
  const std::string text = text::trim(text::to_half_width(sjis_text));
  if (text.empty()) return std::nullopt;
  DateCursor cur(text);
  double value = 0;
  const std::size_t start = cur.Pos();
  const auto date = ReadDatePart(cur);
  if (date) {
    value = *date;
    cur.SkipSpaces();
    if (cur.AtEnd()) return value;
  } else {
    cur.Reset(start);
  }
  const auto time = ReadTimePart(cur);
  if (!time || !cur.AtEnd()) return std::nullopt;
  return value + *time;
}

// ---- sorting ------------------------------------------------------------------------------

void SortTable(TCsvDb& db, std::int64_t column, TableSortKind kind) {
  db.Normalize();
  const std::size_t first = FirstDataRow(db);
  const std::size_t rows = db.RowCount();
  if (rows <= first + 1) return;
  std::vector<std::size_t> order(rows);
  std::iota(order.begin(), order.end(), 0);
  switch (kind) {
    case TableSortKind::Text: {
      std::vector<std::string_view> keys(rows);
      for (std::size_t r = first; r < rows; ++r) keys[r] = CellView(db, r, column);
      SortOrder(order, first, keys, [](std::string_view l, std::string_view r) { return l <= r; });
      break;
    }
    case TableSortKind::Number: {
      std::vector<long double> keys(rows);
      for (std::size_t r = first; r < rows; ++r) keys[r] = expr::ToNumber(CellView(db, r, column));
      SortOrder(order, first, keys, [](long double l, long double r) { return !(l > r); });
      break;
    }
    case TableSortKind::Date: {
      std::vector<long double> keys(rows);
      for (std::size_t r = first; r < rows; ++r) keys[r] = DateKey(CellView(db, r, column));
      SortOrder(order, first, keys, [](long double l, long double r) { return r >= l; });
      break;
    }
    case TableSortKind::Dictionary: {
      std::vector<std::string_view> cells(rows);
      for (std::size_t r = first; r < rows; ++r) cells[r] = CellView(db, r, column);
      const auto keys = DictionaryKeys(cells);
      SortOrder(order, first, keys,
                [](const std::u16string& l, const std::u16string& r) { return l < r; });
      break;
    }
  }
  ApplyOrder(db, order);
}

// ---- selection and search -------------------------------------------------------------------

TCsvDb PickRows(const TCsvDb& db, std::int64_t column, std::string_view word, bool exact) {
  const bool wildcard = HasAnyOf(word, {"*", "?", "["});
  const CellTest test(word, wildcard ? CellTest::Kind::Wildcard
                            : exact  ? CellTest::Kind::Equal
                                     : CellTest::Kind::Substring);
  TCsvDb result;
  result.HasHeader = db.HasHeader;
  const std::size_t first = FirstDataRow(db);
  for (std::size_t r = 0; r < first && r < db.RowCount(); ++r) {
    const TCsvCells* row = db.Row(r);
    result.AddRow(row ? std::make_unique<TCsvCells>(*row) : nullptr);
  }
  for (std::size_t r = first; r < db.RowCount(); ++r) {
    const TCsvCells* row = db.Row(r);
    const bool hit = column < 0 ? AnyCell(row, test) : test(CellView(db, r, column));
    if (hit) result.AddRow(row ? std::make_unique<TCsvCells>(*row) : nullptr);
  }
  return result;
}

void RemoveDuplicateRows(TCsvDb& db, std::int64_t column) {
  auto& rows = db.Rows();
  const std::size_t first = std::min(FirstDataRow(db), rows.size());
  std::unordered_set<std::string> seen;
  std::vector<std::unique_ptr<TCsvCells>> kept;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (r >= first) {
      std::string key = column < 0 ? db.GetRowText(r) : std::string(CellView(db, r, column));
      if (!seen.insert(std::move(key)).second) continue;
    }
    kept.push_back(std::move(rows[r]));
  }
  rows = std::move(kept);
}

std::int64_t FindRow(const TCsvDb& db, std::int64_t column, std::string_view word,
                     TableFindMode mode, std::size_t start) {
  CellTest::Kind kind = CellTest::Kind::Equal;
  if (mode == TableFindMode::Pattern)
    kind = HasAnyOf(word, {"*", "?"}) ? CellTest::Kind::Wildcard : CellTest::Kind::Substring;
  const CellTest test(word, kind);
  for (std::size_t r = start; r < db.RowCount(); ++r) {
    bool hit = false;
    if (column >= 0) {
      hit = test(CellView(db, r, column));
    } else if (kind == CellTest::Kind::Equal) {
      hit = AnyCell(db.Row(r), test);
    } else {
      hit = test(db.GetRowText(r));
    }
    if (hit) return static_cast<std::int64_t>(r);
  }
  return -1;
}

// ---- column editing -----------------------------------------------------------------------

void CheckColumnReach(const TCsvDb& db, std::size_t column) {
  if (column >= kMaxPaddingCells) ThrowTooLarge();
  std::size_t padding = 0;
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    const TCsvCells* row = db.Row(r);
    if (row && row->Count() <= column) padding += column + 1 - row->Count();
    if (padding > kMaxPaddingCells) ThrowTooLarge();
  }
}

std::string CopyColumn(const TCsvDb& db, std::size_t column) {
  std::string out;
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    out += CellView(db, r, static_cast<std::int64_t>(column));
    out += "\r\n";
  }
  return out;
}

void PasteColumn(TCsvDb& db, std::size_t column, std::string_view lines) {
  CheckColumnReach(db, column);
  const auto cells = SplitLineArray(lines);
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    if (!db.Row(r)) continue;
    db.RowForWrite(r).Insert(column, r < cells.size() ? std::string_view(cells[r]) : "");
  }
}

void ReplaceInColumn(TCsvDb& db, std::size_t column, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t total = 0;
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    const TCsvCells* row = db.Row(r);
    if (!row || row->Count() <= column) continue;
    std::string replaced = ReplaceAll(row->View(column), from, to);
    total += replaced.size();
    if (total > kMaxTableResultBytes) ThrowTooLarge();
    db.RowForWrite(r).Set(column, replaced);
  }
}

void MoveColumn(TCsvDb& db, std::size_t from, std::size_t to) {
  CheckColumnReach(db, std::max(from, to));
  for (std::size_t r = 0; r < db.RowCount(); ++r) {
    if (db.Row(r)) db.RowForWrite(r).Move(from, to);
  }
}

TCsvDb TransposeTable(const TCsvDb& db) {
  // Column c of the result is padded up to the last row that reaches column c; count those
  // cells before building anything.
  const std::size_t limit = 2 * CellCount(db) + kMaxPaddingCells;
  std::size_t covered = 0;
  std::size_t cells = 0;
  for (std::size_t r = db.RowCount(); r-- > 0;) {
    const TCsvCells* row = db.Row(r);
    const std::size_t count = row ? row->Count() : 0;
    if (count > covered) {
      cells += (count - covered) * (r + 1);
      covered = count;
    }
    if (cells > limit) ThrowTooLarge();
  }
  TCsvDb result = db.Transposed();
  result.Normalize();
  return result;
}

void MergeByKey(TCsvDb& a, std::size_t key_a, const TCsvDb& b, std::size_t key_b) {
  const std::size_t width_a = a.Width();
  std::unordered_map<std::string_view, std::size_t> first_row_of;
  for (std::size_t r = FirstDataRow(b); r < b.RowCount(); ++r)
    first_row_of.emplace(CellView(b, r, static_cast<std::int64_t>(key_b)), r);
  // Ragged or wide inputs could make every matched row very long: count before growing.
  std::size_t added_cells = 0;
  std::size_t added_bytes = 0;
  auto append_cells = [&](std::size_t row_a, const TCsvCells* row_b) {
    if (!row_b) return;
    TCsvCells& target = a.RowForWrite(row_a);
    added_cells += width_a > target.Count() ? width_a - target.Count() : 0;
    std::size_t column = width_a;
    for (std::size_t c = 0; c < row_b->Count(); ++c) {
      if (c == key_b) continue;
      ++added_cells;
      added_bytes += row_b->View(c).size();
      if (added_cells > kMaxPaddingCells || added_bytes > kMaxTableResultBytes) ThrowTooLarge();
      target.Set(column++, row_b->View(c));
    }
  };
  if (a.HasHeader && a.RowCount() > 0) append_cells(0, b.Row(0));
  for (std::size_t r = FirstDataRow(a); r < a.RowCount(); ++r) {
    if (!a.Row(r)) continue;
    const auto found = first_row_of.find(CellView(a, r, static_cast<std::int64_t>(key_a)));
    if (found != first_row_of.end()) append_cells(r, b.Row(found->second));
  }
}

// ---- aggregation --------------------------------------------------------------------------

ColumnSummary SummarizeColumn(const TCsvDb& db, std::int64_t column) {
  ColumnSummary summary;
  const std::size_t first = FirstDataRow(db);
  if (db.RowCount() <= first) return summary;
  summary.maximum = summary.minimum = expr::ToNumber(CellView(db, first, column));
  for (std::size_t r = first; r < db.RowCount(); ++r) {
    const long double value = expr::ToNumber(CellView(db, r, column));
    summary.maximum = std::max(summary.maximum, value);
    summary.minimum = std::min(summary.minimum, value);
    summary.sum += value;
  }
  summary.average = summary.sum / static_cast<long double>(db.RowCount() - first);
  return summary;
}

ArrayStatistics ComputeArrayStatistics(std::string_view lines) {
  std::vector<long double> values;
  for (const std::string& line : SplitLineArray(lines)) {
    const std::string cleaned = text::trim(text::to_half_width(line));
    if (!cleaned.empty()) values.push_back(expr::ToNumber(cleaned));
  }
  if (values.empty()) values.push_back(0);
  ArrayStatistics stats;
  long double squares = 0;
  stats.maximum = stats.minimum = values.front();
  for (long double v : values) {
    stats.sum += v;
    squares += v * v;
    stats.maximum = std::max(stats.maximum, v);
    stats.minimum = std::min(stats.minimum, v);
  }
  const auto n = static_cast<long double>(values.size());
  const long double spread = std::max<long double>(squares - stats.sum * stats.sum / n, 0);
  stats.mean = stats.sum / n;
  stats.variance = spread / n;
  stats.deviation = values.size() > 1 ? std::sqrt(spread / (n - 1)) : 0;
  return stats;
}

// ---- writing --------------------------------------------------------------------------------

std::string WriteCsvLimited(const TCsvDb& db) {
  CheckWrittenSize(db, 1, 2);
  std::string out = db.WriteCsv();
  if (out.size() > kMaxTableResultBytes) ThrowTooLarge();
  return out;
}

std::string WriteTsvLimited(const TCsvDb& db) {
  CheckWrittenSize(db, 1, 2);
  return db.WriteTsv();
}

std::string WriteHtmlLimited(const TCsvDb& db, std::string_view option) {
  CheckWrittenSize(db, 9, 11);
  return db.WriteHtml(option);
}

std::string TooLargeMessage() {
  static const std::string kMessage = text::sjis("結果が大きすぎます(64MBまで)。");
  return kMessage;
}

}  // namespace morivel::formats
