// Tests for the table and line-array operations: sorting, selection, search, column editing,
// key merging, aggregation, statistics, dates and the result-size guards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "formats/table_ops.h"
#include "text/encoding.h"
#include "words/errors.h"

using namespace morivel::formats;
using morivel::GeneralError;
using morivel::text::sjis;

namespace {

TCsvDb Read(std::string_view csv, bool header = false) {
  TCsvDb db;
  db.ReadCsv(csv);
  db.HasHeader = header;
  return db;
}

std::vector<std::string> Column(const TCsvDb& db, std::size_t column) {
  std::vector<std::string> cells;
  for (std::size_t r = 0; r < db.RowCount(); ++r) cells.push_back(db.GetCell(column, r));
  return cells;
}

using Cells = std::vector<std::string>;

// "key,index" rows for the given keys.
std::string KeyedRows(const std::vector<std::string>& keys) {
  std::string csv;
  for (std::size_t i = 0; i < keys.size(); ++i) csv += keys[i] + "," + std::to_string(i) + "\r\n";
  return csv;
}

}  // namespace

TEST(TableSort, SelectionBelowTwentyRowsAndMergeFromTwentyAgreeOnDistinctKeys) {
  for (int rows : {19, 20, 45}) {
    std::vector<std::string> keys;
    for (int i = 0; i < rows; ++i) keys.push_back(std::to_string((i * 7919) % 1000 + 1000));
    TCsvDb db = Read(KeyedRows(keys));
    SortTable(db, 0, TableSortKind::Text);
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Column(db, 0), sorted) << rows << " rows";
  }
}

TEST(TableSort, SelectionStepMayReorderEqualKeysButMergeKeepsThem) {
  // Three rows: the single exchange puts the last b ahead of the first.
  TCsvDb small = Read("b,0\r\nb,1\r\na,2\r\n");
  SortTable(small, 0, TableSortKind::Text);
  EXPECT_EQ(Column(small, 1), (Cells{"2", "1", "0"}));
  // Forty rows: each half is sorted by selection without equal keys inside, then merged
  // stably, so equal keys across the halves keep their order.
  std::vector<std::string> keys;
  for (int i = 0; i < 40; ++i) keys.push_back(i < 20 ? std::to_string(100 + i) : "110");
  TCsvDb big = Read(KeyedRows(keys));
  SortTable(big, 0, TableSortKind::Text);
  EXPECT_EQ(big.GetCell(1, 10), "10");
  for (std::size_t r = 11; r < 31; ++r) EXPECT_EQ(big.GetCell(0, r), "110");
  EXPECT_EQ(big.GetCell(1, 11), "20");
  EXPECT_EQ(big.GetCell(1, 30), "39");
}

TEST(TableSort, NumbersHeaderNormalisationAndMissingCells) {
  TCsvDb db = Read("\r\nname,n\r\nx,10\r\ny,9\r\nz\r\nw,1e1\r\nv,$10\r\n\r\n", true);
  SortTable(db, 1, TableSortKind::Number);
  EXPECT_EQ(Column(db, 0), (Cells{"name", "z", "w", "y", "x", "v"}));  // 1e1 reads as 1
}

TEST(TableSort, DatesSortByValueAndUnreadableDatesComeFirst) {
  TCsvDb db = Read(sjis("2004/1/10\r\n2004年1月2日\r\n2003-12-31 23:59\r\n\r\nbad\r\n12:00\r\n"));
  SortTable(db, 0, TableSortKind::Date);
  EXPECT_EQ(Column(db, 0),
            (Cells{"", "bad", "12:00", "2003-12-31 23:59", sjis("2004年1月2日"), "2004/1/10"}));
}

TEST(TableSort, DictionaryOrderIgnoresCaseAndPutsRightHalfFirstOnTies) {
  TCsvDb small = Read("b\r\nA\r\nc\r\na\r\n");
  SortTable(small, 0, TableSortKind::Dictionary);
  EXPECT_EQ(Column(small, 0), (Cells{"A", "a", "b", "c"}));
  TCsvDb text = Read("b\r\nA\r\nc\r\na\r\n");
  SortTable(text, 0, TableSortKind::Text);
  EXPECT_EQ(Column(text, 0), (Cells{"A", "a", "b", "c"}));
  std::vector<std::string> keys(40, "k");
  keys[5] = "K";
  TCsvDb ties = Read(KeyedRows(keys));
  SortTable(ties, 0, TableSortKind::Dictionary);
  EXPECT_EQ(ties.GetCell(1, 0), "30");  // every merge took its right half first
  EXPECT_EQ(ties.GetCell(1, 39), "9");
}

TEST(TableDates, AcceptedAndRefusedForms) {
  EXPECT_DOUBLE_EQ(*ReadDateValue("1899/12/30"), 0.0);
  EXPECT_DOUBLE_EQ(*ReadDateValue("2004/01/26"), 38012.0);
  EXPECT_DOUBLE_EQ(*ReadDateValue(sjis("２００４／１／２６")), 38012.0);
  EXPECT_DOUBLE_EQ(*ReadDateValue("2004-01-26 12:00"), 38012.5);
  EXPECT_DOUBLE_EQ(*ReadDateValue("06:00:00"), 0.25);
  EXPECT_DOUBLE_EQ(*ReadDateValue("04/01/26"), 38012.0);
  EXPECT_FALSE(ReadDateValue("2004/02/30"));
  EXPECT_FALSE(ReadDateValue("2004/1"));
  EXPECT_FALSE(ReadDateValue("25:00"));
  EXPECT_FALSE(ReadDateValue("2004/1/2x"));
  EXPECT_FALSE(ReadDateValue(""));
}

TEST(TablePick, SubstringWildcardExactAndAllColumns) {
  const TCsvDb db = Read(sjis("名前,町\r\n山田,東京都\r\n田中,京都\r\n中山,大阪\r\n,\r\n"), true);
  EXPECT_EQ(Column(PickRows(db, 1, sjis("京都"), false), 0),
            (Cells{sjis("名前"), sjis("山田"), sjis("田中")}));
  EXPECT_EQ(Column(PickRows(db, 1, sjis("京都"), true), 0), (Cells{sjis("名前"), sjis("田中")}));
  EXPECT_EQ(Column(PickRows(db, 1, sjis("*都"), true), 0),
            (Cells{sjis("名前"), sjis("山田"), sjis("田中")}));
  EXPECT_EQ(Column(PickRows(db, -1, sjis("中"), false), 0),
            (Cells{sjis("名前"), sjis("田中"), sjis("中山")}));
  EXPECT_EQ(PickRows(db, 0, "", false).RowCount(), 1u);  // an empty word is never a substring
  EXPECT_EQ(PickRows(db, 0, "", true).RowCount(), 2u);   // but equals an empty cell
}

TEST(TablePick, RemoveDuplicatesKeepsFirstOfEachKey) {
  TCsvDb db = Read("k,v\r\na,1\r\nb,2\r\na,3\r\nb,2\r\nk,v\r\n", true);
  RemoveDuplicateRows(db, 0);
  EXPECT_EQ(Column(db, 1), (Cells{"v", "1", "2", "v"}));
  TCsvDb whole = Read("k,v\r\na,1\r\nb,2\r\na,3\r\nb,2\r\n", false);
  RemoveDuplicateRows(whole, -1);
  EXPECT_EQ(Column(whole, 1), (Cells{"v", "1", "2", "3"}));
}

TEST(TableFind, ExactPatternAndWholeRowModes) {
  const TCsvDb db = Read("ab,x\r\nabc,y\r\nzab,\"q,r\"\r\n");
  EXPECT_EQ(FindRow(db, 0, "abc", TableFindMode::Exact, 0), 1);
  EXPECT_EQ(FindRow(db, 0, "ab", TableFindMode::Exact, 1), -1);
  EXPECT_EQ(FindRow(db, -1, "y", TableFindMode::Exact, 0), 1);
  EXPECT_EQ(FindRow(db, 0, "ab", TableFindMode::Pattern, 1), 1);
  EXPECT_EQ(FindRow(db, 0, "z*", TableFindMode::Pattern, 0), 2);
  EXPECT_EQ(FindRow(db, -1, "*\"q,r\"", TableFindMode::Pattern, 0), 2);
  EXPECT_EQ(FindRow(db, -1, "b,x", TableFindMode::Pattern, 0), 0);
}

TEST(TableColumns, CopyPasteMoveReplace) {
  TCsvDb db = Read(sjis("a,b,c\r\n表,\r\n\r\nd\r\n"));
  EXPECT_EQ(CopyColumn(db, 0), sjis("a\r\n表\r\n\r\nd\r\n"));
  PasteColumn(db, 1, "1\r\n2\r\n3");
  EXPECT_EQ(db.WriteCsv(), sjis("a,1,b,c\r\n表,2,,\r\n,3,,\r\nd,,,\r\n"));
  MoveColumn(db, 0, 2);
  EXPECT_EQ(db.GetRowText(0), "1,b,a,c");
  ReplaceInColumn(db, 2, sjis("表"), "<>");
  EXPECT_EQ(db.GetCell(2, 1), "<>");
  ReplaceInColumn(db, 2, "", "x");
  EXPECT_EQ(db.GetCell(2, 1), "<>");
}

TEST(TableColumns, ReplaceMatchesOnlyAtCharacterStarts) {
  // The trail byte of ソ is the backslash byte; "\" must not match inside it.
  TCsvDb db = Read(sjis("ソ\\"));
  ReplaceInColumn(db, 0, "\\", "/");
  EXPECT_EQ(db.GetCell(0, 0), sjis("ソ/"));
}

TEST(TableColumns, TransposeNormalisesAndRefusesExplodingPadding) {
  TCsvDb db = Read("a,b\r\nc\r\n,\r\n");
  EXPECT_EQ(TransposeTable(db).WriteCsv(), "a,c\r\nb,\r\n");
  std::string ragged;
  for (int i = 0; i < 3000; ++i) ragged += "x\r\n";
  ragged += std::string(6000, ',') + "y\r\n";
  EXPECT_THROW(TransposeTable(Read(ragged)), GeneralError);
  EXPECT_THROW(CheckColumnReach(Read(ragged), 5000), GeneralError);
}

TEST(TableMerge, AppendsFirstMatchingRowWithoutItsKeyColumn) {
  TCsvDb a = Read("id,name\r\n1,x\r\n2,y\r\n3,z\r\n", true);
  const TCsvDb b = Read("price,id,stock\r\n100,2,5\r\n200,1,6\r\n300,2,7\r\n", true);
  MergeByKey(a, 0, b, 1);
  EXPECT_EQ(a.WriteCsv(), "id,name,price,stock\r\n1,x,200,6\r\n2,y,100,5\r\n3,z,,\r\n");
}

TEST(TableAggregate, SummaryOverDataRowsWithMissingCellsAsZero) {
  const auto summary = SummarizeColumn(Read("h,v\r\na,4\r\nb\r\nc,-2\r\nd,1,000\r\n", true), 1);
  EXPECT_EQ(summary.maximum, 4);
  EXPECT_EQ(summary.minimum, -2);
  EXPECT_EQ(summary.sum, 3);
  EXPECT_EQ(summary.average, 0.75L);
  const auto empty = SummarizeColumn(Read("h\r\n", true), 0);
  EXPECT_EQ(empty.average, 0);
}

TEST(ArrayStats, VarianceIsPopulationDeviationIsSample) {
  const auto stats = ComputeArrayStatistics(sjis("2\r\n４\r\n\r\n  4 \r\n4\r\n5\r\n5\r\n7\r\n9"));
  EXPECT_EQ(stats.sum, 40);
  EXPECT_EQ(stats.mean, 5);
  EXPECT_NEAR(static_cast<double>(stats.variance), 4.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(stats.deviation), std::sqrt(32.0 / 7.0), 1e-12);
  EXPECT_EQ(stats.maximum, 9);
  EXPECT_EQ(stats.minimum, 2);
  const auto none = ComputeArrayStatistics("\r\n \r\n");
  EXPECT_EQ(none.sum, 0);
  EXPECT_EQ(none.deviation, 0);
}

TEST(LineArrays, SplitJoinAndSorts) {
  EXPECT_EQ(SplitLineArray("a\r\nb\rc\n\nd\r\n"), (Cells{"a", "b", "c", "", "d"}));
  EXPECT_TRUE(SplitLineArray("").empty());
  EXPECT_EQ(JoinLineArray({"x", ""}), "x\r\n\r\n");
  std::vector<std::string> words{"b", "B", "a", "C"};
  SortLinesDictionary(words);
  EXPECT_EQ(words, (Cells{"a", "b", "B", "C"}));
  std::vector<std::string> numbers{"10", "9", "x", "-1", "9.0"};
  SortLinesByNumber(numbers);
  EXPECT_EQ(numbers, (Cells{"-1", "x", "9", "9.0", "10"}));
}

TEST(TableWrite, WritersRefusePaddedResultsAbove64MiB) {
  std::string csv = std::string(9000, ',') + "\r\n";
  for (int i = 0; i < 8000; ++i) csv += "b\r\n";
  const TCsvDb db = Read(csv);
  EXPECT_THROW(WriteCsvLimited(db), GeneralError);
  EXPECT_THROW(WriteTsvLimited(db), GeneralError);
  EXPECT_THROW(WriteHtmlLimited(db, ""), GeneralError);
  EXPECT_EQ(WriteCsvLimited(Read("a,\"b\"\"\"\r\n")), "a,\"b\"\"\"\r\n");
}
