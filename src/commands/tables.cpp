// Commands: line arrays, tables (CSV text) and their statistics, sorting, searching and editing.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "formats/csv.h"
#include "formats/table_ops.h"
#include "formats/table_query.h"
#include "text/encoding.h"
#include "words/errors.h"

namespace morivel::commands {
namespace {

using formats::TCsvDb;

// ---- arguments and results ----------------------------------------------------------------

// Row 0 holds field names when the script says so through 表フィールド名.
bool HeaderFlag(engine::Interpreter& in) {
  static const std::string kName = text::sjis("表フィールド名");
  const words::THashNode* word = in.FindWord(kName);
  return word && word->GetValue() == "1";
}

TCsvDb ReadTable(std::string_view csv, bool header) {
  TCsvDb db;
  db.ReadCsv(csv);
  db.HasHeader = header;
  return db;
}

TCsvDb PopTable(engine::Interpreter& in) {
  return ReadTable(in.PopArgumentValue(), HeaderFlag(in));
}

std::optional<std::int64_t> PopInteger(engine::Interpreter& in) {
  std::int64_t value = 0;
  if (!expr::ToInteger(in.PopArgumentValue(), value)) return std::nullopt;
  return value;
}

// A column that must be a number: anything else is an argument error.
std::int64_t PopColumn(engine::Interpreter& in) {
  const auto column = PopInteger(in);
  if (!column) throw in.ArgumentError();
  return *column;
}

// A column that also has to exist as a position (column editing).
std::size_t PopColumnIndex(engine::Interpreter& in) {
  const std::int64_t column = PopColumn(in);
  if (column < 0) throw in.ArgumentError();
  return static_cast<std::size_t>(column);
}

// Not a number means every column, as -1 does.
std::int64_t PopColumnOrAll(engine::Interpreter& in) {
  return PopInteger(in).value_or(-1);
}

void SetTableResult(engine::Interpreter& in, const TCsvDb& db) {
  in.SetResult(formats::WriteCsvLimited(db), "s");
}

void SetNumberResult(engine::Interpreter& in, long double value) {
  in.SetResult(expr::NumberToText(value), "e");
}

void SetCountResult(engine::Interpreter& in, std::size_t count) {
  in.SetResult(std::to_string(count), "e");
}

// ---- line arrays ----------------------------------------------------------------------------

void sort_lines(engine::Interpreter& in) {
  auto lines = formats::SplitLineArray(in.PopArgumentValue());
  formats::SortLinesDictionary(lines);
  in.SetResult(formats::JoinLineArray(lines), "s");
}

void sort_lines_by_number(engine::Interpreter& in) {
  auto lines = formats::SplitLineArray(in.PopArgumentValue());
  formats::SortLinesByNumber(lines);
  in.SetResult(formats::JoinLineArray(lines), "s");
}

void reverse_rows(engine::Interpreter& in) {
  TCsvDb db = ReadTable(in.PopArgumentValue(), false);
  db.ReverseRows();
  SetTableResult(in, db);
}

void shuffle_lines(engine::Interpreter& in) {
  auto lines = formats::SplitLineArray(in.PopArgumentValue());
  if (!lines.empty()) {
    auto& random = in.State().Random;
    const auto n = static_cast<std::uint32_t>(lines.size());
    for (std::size_t i = 0; i <= lines.size(); ++i) {
      std::uint32_t a = random.Below(n);
      std::swap(lines[a], lines[random.Below(n)]);
    }
  }
  in.SetResult(formats::JoinLineArray(lines), "s");
}

void insert_line(engine::Interpreter& in) {
  const std::string line = in.PopArgumentValue();
  const auto index = PopInteger(in);
  auto lines = formats::SplitLineArray(in.PopArgumentValue());
  if (!index || *index < 0 || static_cast<std::uint64_t>(*index) > lines.size())
    throw in.ArgumentError();
  lines.insert(lines.begin() + *index, line);
  in.SetResult(formats::JoinLineArray(lines), "s");
}

void delete_line(engine::Interpreter& in) {
  const auto index = PopInteger(in);
  auto lines = formats::SplitLineArray(in.PopArgumentValue());
  if (!index || *index < 0 || static_cast<std::uint64_t>(*index) >= lines.size())
    throw in.ArgumentError();
  lines.erase(lines.begin() + *index);
  in.SetResult(formats::JoinLineArray(lines), "s");
}

void count_rows(engine::Interpreter& in) {
  const TCsvDb db = PopTable(in);
  const std::size_t header = db.HasHeader && db.RowCount() > 0 ? 1 : 0;
  SetCountResult(in, db.RowCount() - header);
}

void count_columns(engine::Interpreter& in) {
  SetCountResult(in, PopTable(in).Width());
}

// ---- array statistics -----------------------------------------------------------------------

formats::ArrayStatistics PopStatistics(engine::Interpreter& in) {
  return formats::ComputeArrayStatistics(in.PopArgumentValue());
}

void array_sum(engine::Interpreter& in) {
  SetNumberResult(in, PopStatistics(in).sum);
}
void array_mean(engine::Interpreter& in) {
  SetNumberResult(in, PopStatistics(in).mean);
}
void array_variance(engine::Interpreter& in) {
  SetNumberResult(in, PopStatistics(in).variance);
}
void array_deviation(engine::Interpreter& in) {
  SetNumberResult(in, PopStatistics(in).deviation);
}
void array_maximum(engine::Interpreter& in) {
  SetNumberResult(in, PopStatistics(in).maximum);
}
void array_minimum(engine::Interpreter& in) {
  SetNumberResult(in, PopStatistics(in).minimum);
}

// ---- table aggregation ----------------------------------------------------------------------

formats::ColumnSummary PopSummary(engine::Interpreter& in) {
  const std::int64_t column = PopColumn(in);
  return formats::SummarizeColumn(PopTable(in), column);
}

void table_maximum(engine::Interpreter& in) {
  SetNumberResult(in, PopSummary(in).maximum);
}
void table_minimum(engine::Interpreter& in) {
  SetNumberResult(in, PopSummary(in).minimum);
}
void table_average(engine::Interpreter& in) {
  SetNumberResult(in, PopSummary(in).average);
}
void table_sum(engine::Interpreter& in) {
  SetNumberResult(in, PopSummary(in).sum);
}

// ---- sorting and reordering -----------------------------------------------------------------

void SortBy(engine::Interpreter& in, formats::TableSortKind kind) {
  const std::int64_t column = PopColumn(in);
  TCsvDb db = PopTable(in);
  formats::SortTable(db, column, kind);
  SetTableResult(in, db);
}

void table_sort(engine::Interpreter& in) {
  SortBy(in, formats::TableSortKind::Text);
}
void table_sort_numbers(engine::Interpreter& in) {
  SortBy(in, formats::TableSortKind::Number);
}
void table_sort_dates(engine::Interpreter& in) {
  SortBy(in, formats::TableSortKind::Date);
}
void table_sort_dictionary(engine::Interpreter& in) {
  SortBy(in, formats::TableSortKind::Dictionary);
}

void table_reverse(engine::Interpreter& in) {
  TCsvDb db = PopTable(in);
  db.ReverseRows(db.HasHeader ? 1 : 0);
  SetTableResult(in, db);
}

void table_transpose(engine::Interpreter& in) {
  SetTableResult(in, formats::TransposeTable(PopTable(in)));
}

// ---- selection --------------------------------------------------------------------------------

void table_pickup(engine::Interpreter& in) {
  const std::string word = in.PopArgumentValue();
  const std::int64_t column = PopColumnOrAll(in);
  SetTableResult(in, formats::PickRows(PopTable(in), column, word, false));
}

void table_pickup_exact(engine::Interpreter& in) {
  static const std::string kReason = text::sjis("列の指定は、0以上を指定する必要があります。");
  const std::string word = in.PopArgumentValue();
  const auto column = PopInteger(in);
  if (!column || *column < 0) throw in.ArgumentError(kReason);
  SetTableResult(in, formats::PickRows(PopTable(in), *column, word, true));
}

void table_remove_duplicates(engine::Interpreter& in) {
  const std::int64_t column = PopColumn(in);
  TCsvDb db = PopTable(in);
  formats::RemoveDuplicateRows(db, column);
  SetTableResult(in, db);
}

void table_select_where(engine::Interpreter& in) {
  static const std::string kPrefix = text::sjis("CSVデータベースの解析エラー。");
  const std::string condition = in.PopArgumentValue();
  const std::string table = in.PopArgumentValue();
  TCsvDb result;
  try {
    result = formats::SelectRowsWhere(table, condition);
  } catch (const GeneralError& error) {
    throw in.Error(kPrefix + error.what());
  }
  SetTableResult(in, result);
}

// ---- incremental search ---------------------------------------------------------------------

// The search state has no field for its mode, so the mode is kept as an object the run owns.
class FindCsvMode : public words::OwnedObject {
 public:
  formats::TableFindMode mode = formats::TableFindMode::Exact;
};

FindCsvMode& SearchMode(words::TMorvBase& state) {
  for (const auto& object : state.OwnedObjects) {
    if (auto* mode = dynamic_cast<FindCsvMode*>(object.get())) return *mode;
  }
  state.OwnedObjects.push_back(std::make_unique<FindCsvMode>());
  return static_cast<FindCsvMode&>(*state.OwnedObjects.back());
}

void find_next(engine::Interpreter& in) {
  in.SetResult("-1", "e");
  words::TFindCsv& find = in.State().FindCsv;
  if (find.Table.RowCount() == 0) return;
  const std::size_t start = static_cast<std::size_t>(std::max<std::int64_t>(find.Row, 0));
  const std::int64_t row =
      formats::FindRow(find.Table, find.Column, find.Key, SearchMode(in.State()).mode, start);
  if (row < 0) {
    find.Row = static_cast<std::int64_t>(find.Table.RowCount());
    return;
  }
  find.Row = row + 1;
  in.SetResult(std::to_string(row), "e");
}

void StartSearch(engine::Interpreter& in, formats::TableFindMode mode) {
  std::string word = in.PopArgumentValue();
  const std::int64_t column = PopColumnOrAll(in);
  TCsvDb db = PopTable(in);
  words::TFindCsv& find = in.State().FindCsv;
  find.Row = db.HasHeader ? 1 : 0;
  find.Table = std::move(db);
  find.Key = std::move(word);
  find.Column = column < 0 ? -1 : column;
  SearchMode(in.State()).mode = mode;
  find_next(in);
}

void find_exact(engine::Interpreter& in) {
  StartSearch(in, formats::TableFindMode::Exact);
}
void find_pattern(engine::Interpreter& in) {
  StartSearch(in, formats::TableFindMode::Pattern);
}

void find_clear(engine::Interpreter& in) {
  words::TFindCsv& find = in.State().FindCsv;
  find.Table.Clear();
  find.Key.clear();
  find.Column = -1;
  find.Row = 0;
}

// ---- column editing ---------------------------------------------------------------------------

void column_insert(engine::Interpreter& in) {
  const std::size_t column = PopColumnIndex(in);
  TCsvDb db = PopTable(in);
  formats::CheckColumnReach(db, column);
  db.InsertColumn(column);
  SetTableResult(in, db);
}

void column_delete(engine::Interpreter& in) {
  const std::size_t column = PopColumnIndex(in);
  TCsvDb db = PopTable(in);
  db.DeleteColumn(column);
  SetTableResult(in, db);
}

void column_copy(engine::Interpreter& in) {
  const std::size_t column = PopColumnIndex(in);
  in.SetResult(formats::CopyColumn(PopTable(in), column), "s");
}

void column_paste(engine::Interpreter& in) {
  const std::string lines = in.PopArgumentValue();
  const std::size_t column = PopColumnIndex(in);
  TCsvDb db = PopTable(in);
  formats::PasteColumn(db, column, lines);
  SetTableResult(in, db);
}

void column_replace(engine::Interpreter& in) {
  const std::string to = in.PopArgumentValue();
  const std::string from = in.PopArgumentValue();
  const std::size_t column = PopColumnIndex(in);
  TCsvDb db = PopTable(in);
  formats::ReplaceInColumn(db, column, from, to);
  SetTableResult(in, db);
}

void column_move(engine::Interpreter& in) {
  const std::size_t to = PopColumnIndex(in);
  const std::size_t from = PopColumnIndex(in);
  TCsvDb db = PopTable(in);
  formats::MoveColumn(db, from, to);
  SetTableResult(in, db);
}

void merge_by_key(engine::Interpreter& in) {
  const bool header = HeaderFlag(in);
  const std::size_t key_b = PopColumnIndex(in);
  const TCsvDb b = ReadTable(in.PopArgumentValue(), header);
  const std::size_t key_a = PopColumnIndex(in);
  TCsvDb a = ReadTable(in.PopArgumentValue(), header);
  formats::MergeByKey(a, key_a, b, key_b);
  SetTableResult(in, a);
}

// ---- conversions ----------------------------------------------------------------------------

void to_tab_separated(engine::Interpreter& in) {
  in.SetResult(formats::WriteTsvLimited(ReadTable(in.PopArgumentValue(), false)), "s");
}

void to_comma_separated(engine::Interpreter& in) {
  TCsvDb db;
  db.ReadTsv(in.PopArgumentValue());
  SetTableResult(in, db);
}

}  // namespace

void register_tables(HandlerTable& table) {
  table.Set(317, count_rows);  // 要素数; 表行数 (350) shares it
  table.Set(350, count_rows);
  table.Set(351, count_columns);
  table.Set(77, sort_lines);
  table.Set(78, sort_lines_by_number);
  table.Set(79, reverse_rows);
  table.Set(330, shuffle_lines);
  table.Set(105, insert_line);
  table.Set(106, delete_line);
  table.Set(226, array_sum);
  table.Set(227, array_mean);
  table.Set(228, array_variance);
  table.Set(229, array_deviation);
  table.Set(239, array_maximum);
  table.Set(240, array_minimum);
  table.Set(310, table_select_where);
  table.Set(82, table_pickup);
  table.Set(500, table_pickup_exact);
  table.Set(83, find_exact);
  table.Set(86, find_pattern);
  table.Set(84, find_next);
  table.Set(85, find_clear);
  table.Set(93, table_maximum);
  table.Set(94, table_minimum);
  table.Set(95, table_average);
  table.Set(98, table_sum);
  table.Set(96, table_sort);
  table.Set(97, table_sort_numbers);
  table.Set(298, table_sort_dates);
  table.Set(522, table_sort_dictionary);
  table.Set(514, table_reverse);
  table.Set(107, column_insert);
  table.Set(108, column_delete);
  table.Set(196, table_remove_duplicates);
  table.Set(237, column_copy);
  table.Set(238, column_paste);
  table.Set(311, merge_by_key);
  table.Set(349, table_transpose);
  table.Set(391, column_replace);
  table.Set(392, column_move);
  table.Set(501, to_tab_separated);
  table.Set(502, to_comma_separated);
}

}  // namespace morivel::commands
