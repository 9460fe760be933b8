// Operations behind the table and line-array commands: sorting, selection, searching, column
// editing, key merging, aggregation and statistics, with guards against runaway result sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/csv.h"

namespace morivel::formats {

// Results and padding beyond these are refused with a GeneralError instead of being built.
inline constexpr std::size_t kMaxTableResultBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxPaddingCells = 4'000'000;

// ---- line arrays --------------------------------------------------------------------------

// Splits at CR LF, lone CR or lone LF; a break at the very end opens no further line.
std::vector<std::string> SplitLineArray(std::string_view text);
// Every line followed by CR LF.
std::string JoinLineArray(const std::vector<std::string>& lines);

// Case-insensitive dictionary order (lower-cased, compared as UTF-16), stable.
void SortLinesDictionary(std::vector<std::string>& lines);
// By the number each line reads as, stable.
void SortLinesByNumber(std::vector<std::string>& lines);

// ---- dates --------------------------------------------------------------------------------

// Reads a date and/or time ("2004/01/02", "2004-1-2 12:34:56", "2004年1月2日", "12:34") as days
// since 1899-12-30 with the time of day as fraction. Full-width digits are accepted.
std::optional<double> ReadDateValue(std::string_view sjis_text);

// ---- sorting ------------------------------------------------------------------------------

enum class TableSortKind { Text, Number, Date, Dictionary };

// Normalises the table, then sorts its data rows (all rows, or all but row 0 with the header
// flag) ascending by the cell in `column` (a negative column gives every row an empty key).
void SortTable(TCsvDb& db, std::int64_t column, TableSortKind kind);

// ---- selection and search -------------------------------------------------------------------

// A negative column stands for "every column of the row".
// Substring match, or a whole-cell wildcard match when the word holds "*", "?" or "["; with
// `exact`, equality instead of the substring test. The header row is kept first.
TCsvDb PickRows(const TCsvDb& db, std::int64_t column, std::string_view word, bool exact);

// Keeps the first data row of each key (column < 0: the whole row as CSV).
void RemoveDuplicateRows(TCsvDb& db, std::int64_t column);

enum class TableFindMode { Exact, Pattern };
// The first row from `start` that matches, or -1.
std::int64_t FindRow(const TCsvDb& db, std::int64_t column, std::string_view word,
                     TableFindMode mode, std::size_t start);

// ---- column editing -----------------------------------------------------------------------

// Throws GeneralError when making every row reach `column` would add too many cells.
void CheckColumnReach(const TCsvDb& db, std::size_t column);

// The column's cells, each followed by CR LF.
std::string CopyColumn(const TCsvDb& db, std::size_t column);
// Line i of `lines` becomes a new cell at `column` of row i; empty row slots are skipped.
void PasteColumn(TCsvDb& db, std::size_t column, std::string_view lines);
// Replaces every occurrence of `from` in the column's existing cells.
void ReplaceInColumn(TCsvDb& db, std::size_t column, std::string_view from, std::string_view to);
void MoveColumn(TCsvDb& db, std::size_t from, std::size_t to);
// Transposed and normalised; refuses results that padding would blow up.
TCsvDb TransposeTable(const TCsvDb& db);

// Appends to each data row of `a` the cells (except `key_b`) of the first data row of `b` whose
// key cell equals its own; with the header flag, b's header cells go onto a's header first.
void MergeByKey(TCsvDb& a, std::size_t key_a, const TCsvDb& b, std::size_t key_b);

// ---- aggregation --------------------------------------------------------------------------

struct ColumnSummary {
  long double maximum = 0;
  long double minimum = 0;
  long double sum = 0;
  long double average = 0;
};
// Over the data rows; missing cells count as 0; no data rows give all zeros.
ColumnSummary SummarizeColumn(const TCsvDb& db, std::int64_t column);

struct ArrayStatistics {
  long double sum = 0;
  long double mean = 0;
  long double variance = 0;   // population variance
  long double deviation = 0;  // square root of the sample variance (0 for a single value)
  long double maximum = 0;
  long double minimum = 0;
};
// Lines are made half-width and trimmed, empty ones dropped; no line left counts as one 0.
ArrayStatistics ComputeArrayStatistics(std::string_view lines);

// ---- writing --------------------------------------------------------------------------------

// The writers of TCsvDb, refusing (GeneralError) results above kMaxTableResultBytes.
std::string WriteCsvLimited(const TCsvDb& db);
std::string WriteTsvLimited(const TCsvDb& db);
std::string WriteHtmlLimited(const TCsvDb& db, std::string_view option);

// The GeneralError text for an over-large result.
std::string TooLargeMessage();

}  // namespace morivel::formats
