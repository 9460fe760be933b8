// Tests for the condition language of 表条件抽出: operators, value kinds, joins and errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/table_query.h"
#include "text/encoding.h"
#include "words/errors.h"

using morivel::GeneralError;
using morivel::formats::SelectRowsWhere;
using morivel::text::sjis;

namespace {

const std::string kTable = sjis(
    "名前,年齢,町,日付\r\n"
    "Alice,30,Tokyo,2004/01/05\r\n"
    "bob,25,Osaka,2003/12/31\r\n"
    "Carol,35,Tokyo,bad\r\n"
    "Dave,40,Kyoto,2004/02/01\r\n");

// The names (column 0) of the selected data rows, joined by "|".
std::string Names(std::string_view condition, const std::string& table = kTable) {
  const auto db = SelectRowsWhere(table, condition);
  std::string names;
  for (std::size_t r = 1; r < db.RowCount(); ++r) names += db.GetCell(0, r) + "|";
  return names;
}

std::string ErrorOf(std::string_view condition) {
  try {
    SelectRowsWhere(kTable, condition);
  } catch (const GeneralError& error) {
    return error.what();
  }
  return "(no error)";
}

}  // namespace

TEST(TableQuery, NumberOperatorsInEverySpelling) {
  EXPECT_EQ(Names(sjis("年齢=30")), "Alice|");
  EXPECT_EQ(Names(sjis("年齢==30")), "Alice|");
  EXPECT_EQ(Names(sjis("年齢 <> 30")), "bob|Carol|Dave|");
  EXPECT_EQ(Names(sjis("年齢><30")), "bob|Carol|Dave|");
  EXPECT_EQ(Names(sjis("年齢>30")), "Carol|Dave|");
  EXPECT_EQ(Names(sjis("年齢=>35")), "Carol|Dave|");
  EXPECT_EQ(Names(sjis("年齢>=35")), "Carol|Dave|");
  EXPECT_EQ(Names(sjis("年齢<30")), "bob|");
  EXPECT_EQ(Names(sjis("年齢=<30")), "Alice|bob|");
  EXPECT_EQ(Names(sjis("年齢<=３０")), "Alice|bob|");  // the condition is made half-width
}

TEST(TableQuery, HeaderAlwaysKeptAndBlankLinesAreRowsOfOneEmptyCell) {
  const auto db = SelectRowsWhere(kTable, sjis("年齢<>99"));
  EXPECT_EQ(db.GetCell(0, 0), sjis("名前"));
  EXPECT_EQ(db.RowCount(), 5u);
  EXPECT_EQ(SelectRowsWhere(kTable, sjis("年齢>99")).RowCount(), 1u);
  const std::string with_blank = kTable + "\r\nEve,20\r\n";
  EXPECT_EQ(Names(sjis("年齢<21"), with_blank), "|Eve|");
  EXPECT_EQ(Names(sjis("町=\"*\""), with_blank), "Alice|bob|Carol|Dave||Eve|");
}

TEST(TableQuery, TextValuesMatchByWildcardIgnoringCaseAndCompareByBytes) {
  EXPECT_EQ(Names(sjis("町=\"tokyo\"")), "Alice|Carol|");
  EXPECT_EQ(Names(sjis("名前=`*O*`")), "bob|Carol|");
  EXPECT_EQ(Names(sjis("町<>\"?????\"")), "");
  EXPECT_EQ(Names(sjis("名前>\"B\"")), "bob|Carol|Dave|");
  EXPECT_EQ(Names(sjis("名前<\"Bob\"")), "Alice|");
}

TEST(TableQuery, DatesCompareByValueAndUnreadableCellsAreFalse) {
  EXPECT_EQ(Names(sjis("日付>=#2004/1/1")), "Alice|Dave|");
  EXPECT_EQ(Names(sjis("日付<>#2004/01/05")), "bob|Dave|");
  EXPECT_EQ(ErrorOf(sjis("日付>#someday")), sjis("日付\"someday\"が読めません。"));
}

TEST(TableQuery, JoinsNestToTheRightWithoutPrecedence) {
  // A AND B OR C reads A AND (B OR C).
  EXPECT_EQ(Names(sjis("町=\"Tokyo\" AND 年齢=25 OR 年齢=35")), "Carol|");
  EXPECT_EQ(Names(sjis("(町=\"Tokyo\" AND 年齢=25) OR 年齢=35")), "Carol|");
  EXPECT_EQ(Names(sjis("年齢=25 OR 町=\"Tokyo\" AND 年齢=35")), "bob|Carol|");
  EXPECT_EQ(Names(sjis("町=\"Tokyo\" and 年齢>30")), "Carol|");
  EXPECT_EQ(Names(sjis("町=\"Tokyo\" かつ 年齢>30")), "Carol|");
  EXPECT_EQ(Names(sjis("年齢=25 または 年齢=40")), "bob|Dave|");
  EXPECT_EQ(Names(sjis("年齢=25,年齢=40")), "bob|Dave|");  // comparisons side by side are OR-ed
  EXPECT_EQ(Names(sjis("((年齢=25))")), "bob|");
}

TEST(TableQuery, ErrorsCarryTheirMessages) {
  EXPECT_EQ(ErrorOf(sjis("(年齢=25")), sjis("\")\"が対応していません。"));
  EXPECT_EQ(ErrorOf(sjis("年齢=<>25")), sjis("演算子の指定エラー。"));
  EXPECT_EQ(ErrorOf(sjis("年齢")), sjis("演算子の指定エラー。"));
  EXPECT_EQ(ErrorOf(sjis("身長>3")), sjis("フィールド名\"身長\"が見つかりません。"));
  EXPECT_EQ(ErrorOf(std::string(100, '(') + "a=1" + std::string(100, ')')),
            sjis("条件式のカッコが深すぎます。"));
}
