// CSV table model: the lenient Shift-JIS CSV reader, the writer, TSV and HTML forms.
#include "formats/csv.h"

#include <algorithm>
#include <utility>

#include "text/sjis.h"

namespace morivel::formats {

namespace {

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// Walks CSV text byte by byte; reading past the end yields NUL. Values are byte strings, so a
// NUL inside the text is an ordinary byte of its cell.
class CsvCursor {
 public:
  explicit CsvCursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  void SkipIf(char c) {
    if (!AtEnd() && Peek() == c) ++pos_;
  }

  // One record; stops in front of the CR or LF that ends it.
  std::unique_ptr<TCsvCells> ParseRow() {
    auto row = std::make_unique<TCsvCells>();
    do {
      row->Add(text::trim_view(ParseCell()));
      if (IsLineEnd(Peek())) break;
    } while (!AtEnd());
    return row;
  }

  // Steps over the line break after a record: one "," or CR, then one LF.
  void SkipRecordEnd() {
    if (Peek() == ',' || Peek() == '\r') ++pos_;
    SkipIf('\n');
  }

 private:
  std::string ParseCell() {
    while (Peek() == ' ') ++pos_;
    const bool quoted = Peek() == '"';
    if (quoted) ++pos_;
    std::string cell;
    while (!AtEnd()) {
      const char c = Peek();
      if (text::is_lead_byte(static_cast<unsigned char>(c))) {
        CopyDoubleByte(cell);
        continue;
      }
      if ((c == ',' || IsLineEnd(c)) && !quoted) break;
      if (c == '"' && Peek(1) == '"') {
        cell.push_back('"');
        pos_ += 2;
        continue;
      }
      if (c == '"' && QuoteClosesCell()) {
        ++pos_;
        break;
      }
      cell.push_back(c);
      ++pos_;
    }
    SkipIf(',');
    return cell;
  }

  // The trail byte goes along unexamined; a lead byte at the very end stands alone.
  void CopyDoubleByte(std::string& cell) {
    const std::size_t len = pos_ + 1 < text_.size() ? 2 : 1;
    cell.append(text_.substr(pos_, len));
    pos_ += len;
  }

  // A quote ends the cell only when nothing but spaces stands between it and the field's end.
  bool QuoteClosesCell() const {
    std::size_t ahead = 1;
    while (Peek(ahead) == ' ') ++ahead;
    if (pos_ + ahead >= text_.size()) return true;
    const char next = Peek(ahead);
    return next == ',' || IsLineEnd(next);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool NeedsQuotes(std::string_view cell) {
  for (std::size_t i = 0; i < cell.size(); i += text::char_len(cell, i)) {
    if (text::char_len(cell, i) != 1) continue;
    const char c = cell[i];
    if (c == '"' || c == ',' || IsLineEnd(c)) return true;
    if (c == 'I' && i + 1 < cell.size() && cell[i + 1] == 'D') return true;
  }
  return false;
}

// Splits at CR LF, a lone LF or a lone CR; a break at the very end opens no further line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t len = text::char_len(text, i);
    if (len == 1 && IsLineEnd(text[i])) {
      lines.push_back(text.substr(start, i - start));
      i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
      continue;
    }
    i += len;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string_view> SplitAtTabs(std::string_view line) {
  std::vector<std::string_view> cells;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); i += text::char_len(line, i)) {
    if (line[i] != '\t') continue;
    cells.push_back(line.substr(start, i - start));
    start = i + 1;
  }
  cells.push_back(line.substr(start));
  return cells;
}

bool IsEmptyRow(const std::unique_ptr<TCsvCells>& row) {
  return !row || row->Count() == 0;
}

}  // namespace

// ---- TCsvCells ----

std::string TCsvCells::Get(std::size_t index) const {
  return std::string(View(index));
}

std::string_view TCsvCells::View(std::size_t index) const {
  return index < cells_.size() ? std::string_view(cells_[index]) : std::string_view();
}

void TCsvCells::Set(std::size_t index, std::string_view text) {
  std::string cell(text);  // copied first: `text` may view one of our own cells
  if (index >= cells_.size()) cells_.resize(index + 1);
  cells_[index] = std::move(cell);
}

void TCsvCells::Add(std::string_view text) {
  std::string cell(text);
  cells_.push_back(std::move(cell));
}

void TCsvCells::Insert(std::size_t index, std::string_view text) {
  std::string cell(text);
  if (index > cells_.size()) cells_.resize(index);
  cells_.insert(cells_.begin() + static_cast<std::ptrdiff_t>(index), std::move(cell));
}

void TCsvCells::Delete(std::size_t index) {
  if (index < cells_.size()) cells_.erase(cells_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TCsvCells::Move(std::size_t from, std::size_t to) {
  if (from == to) return;
  if (std::max(from, to) >= cells_.size()) cells_.resize(std::max(from, to) + 1);
  std::string cell = std::move(cells_[from]);
  cells_.erase(cells_.begin() + static_cast<std::ptrdiff_t>(from));
  cells_.insert(cells_.begin() + static_cast<std::ptrdiff_t>(to), std::move(cell));
}

void TCsvCells::TrimTrailingEmpty() {
  while (!cells_.empty() && text::trim_view(cells_.back()).empty()) cells_.pop_back();
}

// ---- TCsvDb: copying and text forms ----

TCsvDb::TCsvDb(const TCsvDb& other) : HasHeader(other.HasHeader) {
  rows_.reserve(other.rows_.size());
  for (const auto& row : other.rows_)
    rows_.push_back(row ? std::make_unique<TCsvCells>(*row) : nullptr);
}

TCsvDb& TCsvDb::operator=(const TCsvDb& other) {
  if (this != &other) *this = TCsvDb(other);
  return *this;
}

void TCsvDb::ReadCsv(std::string_view text) {
  rows_.clear();
  CsvCursor cursor(text);
  while (!cursor.AtEnd()) {
    rows_.push_back(cursor.ParseRow());
    cursor.SkipRecordEnd();
  }
}

std::string TCsvDb::WriteCsv() const {
  const std::size_t width = Width();
  std::string out;
  for (const auto& row : rows_) {
    for (std::size_t c = 0; row && c < width; ++c) {
      if (c > 0) out.push_back(',');
      out += QuoteCell(row->View(c));
    }
    out += "\r\n";
  }
  return out;
}

void TCsvDb::ReadTsv(std::string_view text) {
  rows_.clear();
  const auto lines = SplitLines(text);
  for (std::size_t r = 0; r < lines.size(); ++r) {
    const auto cells = SplitAtTabs(lines[r]);
    for (std::size_t c = 0; c < cells.size(); ++c) SetCell(c, r, cells[c]);
  }
}

std::string TCsvDb::WriteTsv() const {
  const std::size_t width = Width();
  std::string out;
  for (const auto& row : rows_) {
    for (std::size_t c = 0; c < width; ++c) {
      if (c > 0) out.push_back('\t');
      if (row) out += row->View(c);
    }
    out += "\r\n";
  }
  return out;
}

std::string TCsvDb::WriteHtml(std::string_view option) const {
  const std::size_t width = Width();
  std::string out = "<TABLE ";
  out += option;
  out += ">\r\n";
  for (const auto& row : rows_) {
    out += "<TR>";
    for (std::size_t c = 0; c < width; ++c) {
      out += "<TD>";
      if (row) out += row->View(c);
      out += "</TD>";
    }
    out += "</TR>\r\n";
  }
  out += "</TABLE>";
  return out;
}

std::string TCsvDb::QuoteCell(std::string_view cell) {
  if (!NeedsQuotes(cell)) return std::string(cell);
  std::string out = "\"";
  for (std::size_t i = 0; i < cell.size();) {
    const std::size_t len = text::char_len(cell, i);
    if (len == 1 && cell[i] == '"') out.push_back('"');
    out.append(cell.substr(i, len));
    i += len;
  }
  out.push_back('"');
  return out;
}

void TCsvDb::Normalize() {
  for (auto& row : rows_) {
    if (row) row->TrimTrailingEmpty();
  }
  const auto last = std::find_if_not(rows_.rbegin(), rows_.rend(), IsEmptyRow).base();
  rows_.erase(last, rows_.end());
  const auto first = std::find_if_not(rows_.begin(), rows_.end(), IsEmptyRow);
  rows_.erase(rows_.begin(), first);
}

// ---- TCsvDb: rows and cells ----

std::size_t TCsvDb::Width() const {
  std::size_t width = 0;
  for (const auto& row : rows_) {
    if (row) width = std::max(width, row->Count());
  }
  return width;
}

const TCsvCells* TCsvDb::Row(std::size_t index) const {
  return index < rows_.size() ? rows_[index].get() : nullptr;
}

TCsvCells& TCsvDb::RowForWrite(std::size_t index) {
  if (index >= rows_.size()) rows_.resize(index + 1);
  if (!rows_[index]) rows_[index] = std::make_unique<TCsvCells>();
  return *rows_[index];
}

std::string TCsvDb::GetCell(std::size_t column, std::size_t row) const {
  const TCsvCells* cells = Row(row);
  return cells ? cells->Get(column) : std::string();
}

void TCsvDb::SetCell(std::size_t column, std::size_t row, std::string_view text) {
  RowForWrite(row).Set(column, text);
}

std::optional<std::string_view> TCsvDb::PlainRowText(std::size_t row) const {
  const TCsvCells* cells = Row(row);
  if (cells && cells->Count() == 1 && !NeedsQuotes(cells->View(0))) return cells->View(0);
  return std::nullopt;
}

std::string TCsvDb::GetRowText(std::size_t row) const {
  // A row of one plain cell, as an array's element is, is that cell.
  if (std::optional<std::string_view> plain = PlainRowText(row)) return std::string(*plain);
  const TCsvCells* cells = Row(row);
  std::string out;
  for (std::size_t c = 0; cells && c < cells->Count(); ++c) {
    if (c > 0) out.push_back(',');
    out += QuoteCell(cells->View(c));
  }
  return out;
}

void TCsvDb::SetRowText(std::size_t row, std::string_view csv_record) {
  if (row >= rows_.size()) rows_.resize(row + 1);
  rows_[row] = CsvCursor(csv_record).ParseRow();
}

void TCsvDb::InsertRow(std::size_t index, std::unique_ptr<TCsvCells> row) {
  if (index > rows_.size()) rows_.resize(index);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
}

void TCsvDb::DeleteRow(std::size_t index) {
  if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TCsvDb::AddRow(std::unique_ptr<TCsvCells> row) {
  rows_.push_back(std::move(row));
}

void TCsvDb::SwapRows(std::size_t a, std::size_t b) {
  if (a < rows_.size() && b < rows_.size()) std::swap(rows_[a], rows_[b]);
}

void TCsvDb::ReverseRows(std::size_t first) {
  if (first < rows_.size())
    std::reverse(rows_.begin() + static_cast<std::ptrdiff_t>(first), rows_.end());
}

void TCsvDb::InsertColumn(std::size_t column) {
  for (auto& row : rows_) {
    if (row) row->Insert(column, "");
  }
}

void TCsvDb::DeleteColumn(std::size_t column) {
  for (auto& row : rows_) {
    if (row) row->Delete(column);
  }
}

TCsvDb TCsvDb::Transposed() const {
  TCsvDb result;
  result.HasHeader = HasHeader;
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    for (std::size_t c = 0; rows_[r] && c < rows_[r]->Count(); ++c)
      result.SetCell(r, c, rows_[r]->View(c));
  }
  return result;
}

}  // namespace morivel::formats
