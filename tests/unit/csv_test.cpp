// Tests for the CSV table model: reading, writing, TSV/HTML forms, normalisation, cell access.
#include <gtest/gtest.h>

#include "formats/csv.h"
#include "text/encoding.h"

using morivel::formats::TCsvCells;
using morivel::formats::TCsvDb;
using morivel::text::sjis;

namespace {

TCsvDb Read(std::string_view csv) {
  TCsvDb db;
  db.ReadCsv(csv);
  return db;
}

std::vector<std::string> CellsOf(const TCsvDb& db, std::size_t row) {
  std::vector<std::string> cells;
  if (const TCsvCells* r = db.Row(row))
    for (std::size_t c = 0; c < r->Count(); ++c) cells.push_back(r->Get(c));
  return cells;
}

using Cells = std::vector<std::string>;

}  // namespace

TEST(CsvRead, DoubledQuotesInsideQuotedFieldRoundTrip) {
  TCsvDb db = Read("a,\"\"\"b\"\"\",c");
  ASSERT_EQ(db.RowCount(), 1u);
  EXPECT_EQ(CellsOf(db, 0), (Cells{"a", "\"b\"", "c"}));
  EXPECT_EQ(db.WriteCsv(), "a,\"\"\"b\"\"\",c\r\n");
}

TEST(CsvRead, QuotedFieldKeepsCommasAndLineBreaks) {
  TCsvDb db = Read("\"x,y\r\nz\",w\r\nnext");
  ASSERT_EQ(db.RowCount(), 2u);
  EXPECT_EQ(CellsOf(db, 0), (Cells{"x,y\r\nz", "w"}));
  EXPECT_EQ(CellsOf(db, 1), (Cells{"next"}));
  EXPECT_EQ(db.WriteCsv(), "\"x,y\r\nz\",w\r\nnext,\r\n");
}

TEST(CsvRead, QuoteClosesOnlyBeforeFieldEnd) {
  // A quote followed by text is an ordinary character; one followed by spaces and a comma closes.
  EXPECT_EQ(CellsOf(Read("ab\"cd,e"), 0), (Cells{"ab\"cd", "e"}));
  EXPECT_EQ(CellsOf(Read("\"x\" y\",z"), 0), (Cells{"x\" y", "z"}));
  EXPECT_EQ(CellsOf(Read("\"q\"\r\n"), 0), (Cells{"q"}));
  // Parsing resumes right after the closing quote, so the spaces open a further empty cell.
  EXPECT_EQ(CellsOf(Read("\"q\" ,r"), 0), (Cells{"q", "", "r"}));
}

TEST(CsvRead, CellsAreTrimmedAndEmptyFieldsKept) {
  TCsvDb db = Read("  a  ,\tb\t,\" c \"\r\na,,b\r\n\r\n,x");
  ASSERT_EQ(db.RowCount(), 4u);
  EXPECT_EQ(CellsOf(db, 0), (Cells{"a", "b", "c"}));
  EXPECT_EQ(CellsOf(db, 1), (Cells{"a", "", "b"}));
  EXPECT_EQ(CellsOf(db, 2), (Cells{""}));
  EXPECT_EQ(CellsOf(db, 3), (Cells{"", "x"}));
  EXPECT_EQ(db.GetCell(1, 1), "");
  EXPECT_EQ(db.GetCell(7, 0), "");
  EXPECT_EQ(db.GetCell(0, 9), "");
}

TEST(CsvRead, LineEndsAndTrailingComma) {
  TCsvDb db = Read("a\rb\nc\r\nd,e,\r\n");
  ASSERT_EQ(db.RowCount(), 4u);
  EXPECT_EQ(CellsOf(db, 1), (Cells{"b"}));
  EXPECT_EQ(CellsOf(db, 2), (Cells{"c"}));
  // The comma before the line end is consumed with its cell and opens no further one.
  EXPECT_EQ(CellsOf(db, 3), (Cells{"d", "e"}));
  EXPECT_EQ(Read("").RowCount(), 0u);
  // Values are byte strings: a NUL is an ordinary byte of its cell.
  EXPECT_EQ(CellsOf(Read(std::string("a,b\0c", 5)), 0), (Cells{"a", std::string("b\0c", 3)}));
  EXPECT_EQ(Read(std::string("a\0\r\nb\0\r\n", 8)).RowCount(), 2u);
}

TEST(CsvRead, TrailBytesAreNeverTakenForSyntax) {
  const std::string hyo = sjis("表");  // 0x95 0x5C
  const std::string so = sjis("ソ");   // 0x83 0x5C
  ASSERT_EQ(hyo, "\x95\x5C");
  ASSERT_EQ(so, "\x83\x5C");
  EXPECT_EQ(CellsOf(Read(hyo + "," + so), 0), (Cells{hyo, so}));
  EXPECT_EQ(CellsOf(Read("\"" + hyo + "\"\"" + so + "\""), 0), (Cells{hyo + "\"" + so}));
  // A lead byte swallows whatever follows, even a quote or a comma.
  EXPECT_EQ(CellsOf(Read("\x81\",x"), 0), (Cells{"\x81\"", "x"}));
  EXPECT_EQ(CellsOf(Read("\"\x81\",z"), 0), (Cells{"\x81\",z"}));
  EXPECT_EQ(CellsOf(Read("\x82,b"), 0), (Cells{"\x82,b"}));
  // The writer does not double a quote that is a trail byte, so the reader gets it back.
  TCsvDb db = Read("\x81\",x");
  EXPECT_EQ(db.WriteCsv(), "\x81\",x\r\n");
  EXPECT_EQ(TCsvDb::QuoteCell("\x81\"a\""), "\"\x81\"a\"\"\"");
}

TEST(CsvRead, LoneLeadByteAtEndStandsAlone) {
  EXPECT_EQ(CellsOf(Read("a,\x82"), 0), (Cells{"a", "\x82"}));
  EXPECT_EQ(CellsOf(Read("\x82"), 0), (Cells{"\x82"}));
  EXPECT_EQ(CellsOf(Read("\"\x82"), 0), (Cells{"\x82"}));
  TCsvDb db;
  db.SetRowText(0, "x,\x9F");
  EXPECT_EQ(db.GetRowText(0), "x,\x9F");
}

TEST(CsvWrite, UpperCaseIdIsQuotedLowerCaseIsNot) {
  TCsvDb db = Read("IDX,id,xID,Id,a b");
  EXPECT_EQ(db.WriteCsv(), "\"IDX\",id,\"xID\",Id,a b\r\n");
  EXPECT_EQ(TCsvDb::QuoteCell(""), "");
}

TEST(CsvWrite, RaggedRowsArePaddedAndEmptySlotsAreBare) {
  TCsvDb db = Read("a\r\nb,c");
  EXPECT_EQ(db.WriteCsv(), "a,\r\nb,c\r\n");
  db.AddRow(nullptr);
  db.SetCell(0, 3, "z");
  EXPECT_EQ(db.WriteCsv(), "a,\r\nb,c\r\n\r\nz,\r\n");
  EXPECT_EQ(TCsvDb().WriteCsv(), "");
}

TEST(CsvCells, SetCellAndSetRowTextPad) {
  TCsvDb db;
  db.SetCell(2, 1, "x");
  ASSERT_EQ(db.RowCount(), 2u);
  EXPECT_EQ(db.Row(0), nullptr);
  EXPECT_EQ(db.Row(1)->Count(), 3u);
  EXPECT_EQ(db.WriteCsv(), "\r\n,,x\r\n");

  db.SetRowText(4, "p, \"q,r\"\r\nignored,line");
  ASSERT_EQ(db.RowCount(), 5u);
  EXPECT_EQ(db.Row(3), nullptr);
  EXPECT_EQ(CellsOf(db, 4), (Cells{"p", "q,r"}));
  db.SetRowText(1, "");
  EXPECT_EQ(CellsOf(db, 1), (Cells{""}));

  TCsvCells row;
  row.Set(3, "d");
  EXPECT_EQ(row.Count(), 4u);
  EXPECT_EQ(row.Get(0), "");
  EXPECT_EQ(row.Get(10), "");
  row.Set(5, row.View(3));
  EXPECT_EQ(row.Get(5), "d");
}

TEST(CsvCells, GetRowTextUsesOwnCellsQuoted) {
  TCsvDb db = Read("a\r\n\"x\"\"y\",IDa,\"1,2\"");
  EXPECT_EQ(db.GetRowText(0), "a");
  EXPECT_EQ(db.GetRowText(1), "\"x\"\"y\",\"IDa\",\"1,2\"");
  EXPECT_EQ(db.GetRowText(2), "");
  db.AddRow(nullptr);
  EXPECT_EQ(db.GetRowText(2), "");
}

TEST(CsvTsv, RoundTripWithoutQuoting) {
  TCsvDb db;
  db.ReadTsv("a\tb\r\n\t\"c\"\r\n" + sjis("表") + "\r\n");
  ASSERT_EQ(db.RowCount(), 3u);
  EXPECT_EQ(CellsOf(db, 1), (Cells{"", "\"c\""}));
  EXPECT_EQ(CellsOf(db, 2), (Cells{sjis("表")}));
  const std::string tsv = db.WriteTsv();
  EXPECT_EQ(tsv, "a\tb\r\n\t\"c\"\r\n" + sjis("表") + "\t\r\n");
  TCsvDb again;
  again.ReadTsv(tsv);
  EXPECT_EQ(again.WriteTsv(), tsv);
  EXPECT_EQ(again.WriteCsv(), "a,b\r\n,\"\"\"c\"\"\"\r\n" + sjis("表") + ",\r\n");
}

TEST(CsvHtml, TableShape) {
  TCsvDb db = Read("a,b\r\nc");
  EXPECT_EQ(db.WriteHtml("border=1"),
            "<TABLE border=1>\r\n<TR><TD>a</TD><TD>b</TD></TR>\r\n"
            "<TR><TD>c</TD><TD></TD></TR>\r\n</TABLE>");
  EXPECT_EQ(TCsvDb().WriteHtml(""), "<TABLE >\r\n</TABLE>");
}

TEST(CsvNormalize, DropsTrailingEmptyCellsAndOuterEmptyRows) {
  TCsvDb db;
  db.AddRow(nullptr);
  db.SetRowText(1, ", ");
  db.SetRowText(2, "a,,\" \"");
  db.AddRow(nullptr);
  db.SetRowText(4, ",b");
  db.SetRowText(5, " ");
  db.AddRow(nullptr);
  db.Normalize();
  ASSERT_EQ(db.RowCount(), 3u);
  EXPECT_EQ(CellsOf(db, 0), (Cells{"a"}));
  EXPECT_EQ(db.Row(1), nullptr);
  EXPECT_EQ(CellsOf(db, 2), (Cells{"", "b"}));
}

TEST(CsvDb, CopiesAreDeepAndColumnEditsKeepRowsRagged) {
  TCsvDb db = Read("a,b,c\r\nd");
  db.HasHeader = true;
  TCsvDb copy = db;
  copy.SetCell(0, 0, "changed");
  EXPECT_EQ(db.GetCell(0, 0), "a");
  EXPECT_TRUE(copy.HasHeader);

  db.InsertColumn(2);
  EXPECT_EQ(db.WriteCsv(), "a,b,,c\r\nd,,,\r\n");
  EXPECT_EQ(db.Row(1)->Count(), 3u);
  db.DeleteColumn(0);
  EXPECT_EQ(CellsOf(db, 0), (Cells{"b", "", "c"}));
  EXPECT_EQ(CellsOf(db, 1), (Cells{"", ""}));

  TCsvDb t = Read("a,b\r\nc").Transposed();
  EXPECT_EQ(t.WriteCsv(), "a,c\r\nb,\r\n");

  TCsvCells row;
  row.Add("x");
  row.Add("y");
  row.Add("z");
  row.Move(0, 2);
  EXPECT_EQ(row.Get(0) + row.Get(1) + row.Get(2), "yzx");
}
