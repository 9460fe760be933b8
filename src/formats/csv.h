// CSV table model: rows of cells (TCsvCells), tables (TCsvDb), CSV/TSV/HTML text forms.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::formats {

// One row. Reading past the end gives the empty text; setting past the end pads with empty cells.
class TCsvCells {
 public:
  std::size_t Count() const { return cells_.size(); }
  std::string Get(std::size_t index) const;
  // Like Get, without a copy; valid until the row changes.
  std::string_view View(std::size_t index) const;
  void Set(std::size_t index, std::string_view text);
  void Add(std::string_view text);
  void Insert(std::size_t index, std::string_view text);
  void Delete(std::size_t index);
  // Takes the cell out of `from` and puts it at `to`, padding first when either is past the end.
  void Move(std::size_t from, std::size_t to);
  void Clear() { cells_.clear(); }
  // Drops trailing cells that are empty after trimming.
  void TrimTrailingEmpty();

 private:
  std::vector<std::string> cells_;
};

// A table of rows; a row slot may be empty (nullptr), which reads as a row without cells.
class TCsvDb {
 public:
  TCsvDb() = default;
  TCsvDb(const TCsvDb& other);
  TCsvDb& operator=(const TCsvDb& other);
  TCsvDb(TCsvDb&&) noexcept = default;
  TCsvDb& operator=(TCsvDb&&) noexcept = default;

  bool HasHeader = false;

  // Replaces the contents by the CSV text (never fails: any text is a table).
  void ReadCsv(std::string_view text);
  // Every row as Width() fields joined by ",", each line ended by CR LF.
  std::string WriteCsv() const;
  void ReadTsv(std::string_view text);
  std::string WriteTsv() const;
  std::string WriteHtml(std::string_view option) const;
  // Trailing empty cells of each row, then leading and trailing empty rows, are removed.
  void Normalize();

  std::size_t RowCount() const { return rows_.size(); }
  // The largest cell count of any row.
  std::size_t Width() const;
  // nullptr for an empty slot or an index past the end.
  const TCsvCells* Row(std::size_t index) const;
  // Creates empty slots up to `index` and the row itself when missing.
  TCsvCells& RowForWrite(std::size_t index);

  std::string GetCell(std::size_t column, std::size_t row) const;
  void SetCell(std::size_t column, std::size_t row, std::string_view text);
  // One record as a CSV line of its own cells (quoted by the writer's rule), without CR LF.
  std::string GetRowText(std::size_t row) const;
  // The record's text in place when it is one cell that needs no quotes (an array's element).
  std::optional<std::string_view> PlainRowText(std::size_t row) const;
  // Parses `csv_record` as one record and stores it at `row`, adding empty slots first.
  void SetRowText(std::size_t row, std::string_view csv_record);

  void InsertRow(std::size_t index, std::unique_ptr<TCsvCells> row);
  void DeleteRow(std::size_t index);
  void AddRow(std::unique_ptr<TCsvCells> row);
  void Clear() { rows_.clear(); }
  void SwapRows(std::size_t a, std::size_t b);
  // Reverses the order of the rows from `first` to the end.
  void ReverseRows(std::size_t first = 0);
  // The row slots themselves, for commands that reorder whole rows (sorting).
  std::vector<std::unique_ptr<TCsvCells>>& Rows() { return rows_; }

  // Inserts an empty cell at `column` in every row object, padding shorter rows first.
  void InsertColumn(std::size_t column);
  // Deletes the cell at `column` from every row that has it.
  void DeleteColumn(std::size_t column);
  // Cell (column c, row r) becomes cell (column r, row c).
  TCsvDb Transposed() const;

  // The writer's quoting of one cell: in double quotes when it holds ", comma, CR, LF or "ID".
  static std::string QuoteCell(std::string_view cell);

 private:
  std::vector<std::unique_ptr<TCsvCells>> rows_;
};

}  // namespace morivel::formats
