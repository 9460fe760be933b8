// Text <-> number conversions, the integer reading and raw quoting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "expr/number.h"
#include "expr/quote.h"
#include "text/encoding.h"

using morivel::expr::NumberToText;
using morivel::expr::ReadsBackWhole;
using morivel::expr::ToInteger;
using morivel::expr::ToNumber;
using morivel::expr::TruncateToInt64;
using morivel::text::sjis;

TEST(ToNumber, AcceptsBlanksCommasAndFullWidth) {
  EXPECT_EQ(ToNumber("1,234"), 1234);
  EXPECT_EQ(ToNumber("1,2,3.4,5"), 123.45L);
  EXPECT_EQ(ToNumber(" -3 "), -3);
  EXPECT_EQ(ToNumber("\t+7\r\n"), 7);
  EXPECT_EQ(ToNumber(sjis("１２")), 12);
  EXPECT_EQ(ToNumber(sjis("　－３．５　")), -3.5L);
  EXPECT_EQ(ToNumber(sjis("１，０００")), 1000);
  EXPECT_EQ(ToNumber(sjis("１．５ｅ２")), 150);
}

TEST(ToNumber, HexIsWholeText32Bit) {
  EXPECT_EQ(ToNumber("$1F"), 31);
  EXPECT_EQ(ToNumber(" $ff "), 255);
  EXPECT_EQ(ToNumber(sjis("＄１Ｆ")), 31);
  EXPECT_EQ(ToNumber("$FFFFFFFF"), -1);
  EXPECT_EQ(ToNumber("$000000010"), 16);
  EXPECT_EQ(ToNumber("$100000000"), 0);
  EXPECT_EQ(ToNumber("$"), 0);
  EXPECT_EQ(ToNumber("$zz"), 0);
  EXPECT_EQ(ToNumber("$1F zz"), 0);
  EXPECT_EQ(ToNumber("-$1F"), 0);
}

TEST(ToNumber, TakesLongestNumericPrefix) {
  EXPECT_EQ(ToNumber("12abc"), 12);
  EXPECT_EQ(ToNumber("1.5e3"), 1500);
  EXPECT_EQ(ToNumber("1.5E-1"), 0.15L);
  EXPECT_EQ(ToNumber("15e3"), 15);
  EXPECT_EQ(ToNumber("1.5e"), 1.5L);
  EXPECT_EQ(ToNumber("1.5e+x"), 1.5L);
  EXPECT_EQ(ToNumber("1.e2"), 100);
  EXPECT_EQ(ToNumber("1.2.3"), 1.2L);
  EXPECT_EQ(ToNumber(".5"), 0.5L);
  EXPECT_EQ(ToNumber("-.5"), -0.5L);
  EXPECT_EQ(ToNumber("5."), 5);
  EXPECT_EQ(ToNumber("0.1"), 0.1L);
}

TEST(ToNumber, NoDigitsGiveZero) {
  EXPECT_EQ(ToNumber(""), 0);
  EXPECT_EQ(ToNumber("   "), 0);
  EXPECT_EQ(ToNumber("abc"), 0);
  EXPECT_EQ(ToNumber("-"), 0);
  EXPECT_EQ(ToNumber("+"), 0);
  EXPECT_EQ(ToNumber("."), 0);
  EXPECT_EQ(ToNumber("--2"), 0);
  EXPECT_EQ(ToNumber("-.e5"), 0);
  EXPECT_EQ(ToNumber(sjis("十二")), 0);
}

TEST(ToNumber, OnlyFirst254BytesCount) {
  std::string cut = "1" + std::string(253, '0');
  std::string longer = "1" + std::string(400, '0');
  EXPECT_EQ(ToNumber(longer), ToNumber(cut));
  EXPECT_GT(ToNumber(cut), 1e252L);
}

TEST(ToNumber, ExponentsBeyondTheRangeSaturate) {
  EXPECT_EQ(ToNumber("1.0e99999"), std::numeric_limits<long double>::infinity());
  EXPECT_EQ(ToNumber("-1.0e99999"), -std::numeric_limits<long double>::infinity());
  EXPECT_EQ(ToNumber("1.0e-99999"), 0);
}

TEST(NumberToText, FixedNotationWithoutTrailingZeros) {
  EXPECT_EQ(NumberToText(3), "3");
  EXPECT_EQ(NumberToText(0.5L), "0.5");
  EXPECT_EQ(NumberToText(-2.25L), "-2.25");
  EXPECT_EQ(NumberToText(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(NumberToText(2.0L / 3), "0.666666666666667");
  EXPECT_EQ(NumberToText(0.1L + 0.2L), "0.3");
  EXPECT_EQ(NumberToText(100), "100");
  EXPECT_EQ(NumberToText(0.0001L), "0.0001");
  EXPECT_EQ(NumberToText(0.00012345L), "0.00012345");
  EXPECT_EQ(NumberToText(123456789012345.0L), "123456789012345");
  EXPECT_EQ(NumberToText(0), "0");
  EXPECT_EQ(NumberToText(-0.0L), "0");
}

TEST(NumberToText, ScientificBeyond15DigitsOrBelow00001) {
  EXPECT_EQ(NumberToText(1e-5L), "1E-5");
  EXPECT_EQ(NumberToText(0.0000999999999999999L), "9.99999999999999E-5");
  EXPECT_EQ(NumberToText(-1e-5L), "-1E-5");
  EXPECT_EQ(NumberToText(1e15L), "1E15");
  EXPECT_EQ(NumberToText(1.5e20L), "1.5E20");
  EXPECT_EQ(NumberToText(1234567890123456.0L), "1.23456789012346E15");
  EXPECT_EQ(NumberToText(1.25e-300L), "1.25E-300");
  // Rounding to 15 digits decides the notation: these round up across the limits.
  EXPECT_EQ(NumberToText(999999999999999.9L), "1E15");
  EXPECT_EQ(NumberToText(0.00009999999999999999L), "0.0001");
}

TEST(NumberToText, NonFiniteValuesHaveNames) {
  EXPECT_EQ(NumberToText(std::numeric_limits<long double>::quiet_NaN()), "NAN");
  EXPECT_EQ(NumberToText(std::numeric_limits<long double>::infinity()), "INF");
  EXPECT_EQ(NumberToText(-std::numeric_limits<long double>::infinity()), "-INF");
}

TEST(NumberToText, RoundTripsThroughToNumber) {
  // The run-time's own scientific forms read back, also without a decimal point.
  const std::pair<const char*, const char*> cases[] = {
      {"0.1", "0.1"},     {"-2.25", "-2.25"},   {"123456789012345", "123456789012345"},
      {"1.0E-5", "1E-5"}, {"1.5E20", "1.5E20"}, {"0.0001", "0.0001"}};
  for (const auto& [input, output] : cases) EXPECT_EQ(NumberToText(ToNumber(input)), output);
  EXPECT_EQ(NumberToText(ToNumber("1E-5")), "1E-5");
  EXPECT_EQ(NumberToText(ToNumber("1E15")), "1E15");
  EXPECT_EQ(ToNumber("15e3"), 15);  // lower case after whole digits stays a plain 15
}

TEST(ToInteger, AcceptsOnlyWholeIntegers) {
  std::int64_t n = 99;
  EXPECT_TRUE(ToInteger("42", n));
  EXPECT_EQ(n, 42);
  EXPECT_TRUE(ToInteger(" -7 ", n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(ToInteger("+5", n));
  EXPECT_EQ(n, 5);
  EXPECT_TRUE(ToInteger("$10", n));
  EXPECT_EQ(n, 16);
  EXPECT_TRUE(ToInteger("9223372036854775807", n));
  EXPECT_EQ(n, INT64_MAX);
  n = 99;
  for (const char* bad :
       {"", "-", "+", "+-5", "1.0", "12abc", "1,000", "9223372036854775808", "$", "$zz"}) {
    EXPECT_FALSE(ToInteger(bad, n)) << bad;
  }
  EXPECT_FALSE(ToInteger(sjis("１２"), n));
  EXPECT_EQ(n, 99);
}

TEST(TruncateToInt64, RefusesWhatDoesNotFit) {
  std::int64_t n = 0;
  EXPECT_TRUE(TruncateToInt64(7.9L, n));
  EXPECT_EQ(n, 7);
  EXPECT_TRUE(TruncateToInt64(-7.9L, n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(TruncateToInt64(-9223372036854775808.0L, n));
  EXPECT_EQ(n, INT64_MIN);
  EXPECT_FALSE(TruncateToInt64(9223372036854775808.0L, n));
  EXPECT_FALSE(TruncateToInt64(1e30L, n));
  EXPECT_FALSE(TruncateToInt64(std::numeric_limits<long double>::quiet_NaN(), n));
  EXPECT_FALSE(TruncateToInt64(-std::numeric_limits<long double>::infinity(), n));
}

TEST(QuoteRaw, DoublesBackQuoteCharactersOnly) {
  using morivel::expr::QuoteRaw;
  EXPECT_EQ(QuoteRaw(""), "``");
  EXPECT_EQ(QuoteRaw("a`b"), "`a``b`");
  EXPECT_EQ(QuoteRaw("``"), "``````");
  // The trail byte of this character is 0x60, the same byte as a back quote.
  std::string wave = sjis("～");
  ASSERT_EQ(wave, "\x81\x60");
  EXPECT_EQ(QuoteRaw(wave), "`" + wave + "`");
}

// Whole numbers are told from fractions by their bits; the borders are where that could slip.
TEST(ReadsBackWhole, WholeBelowTenToTheFifteenOnly) {
  EXPECT_TRUE(ReadsBackWhole(0.0L));
  EXPECT_TRUE(ReadsBackWhole(-0.0L));
  EXPECT_TRUE(ReadsBackWhole(1.0L));
  EXPECT_TRUE(ReadsBackWhole(-123456789.0L));
  EXPECT_TRUE(ReadsBackWhole(999999999999999.0L));
  EXPECT_FALSE(ReadsBackWhole(1e15L));
  EXPECT_FALSE(ReadsBackWhole(0.5L));
  EXPECT_FALSE(ReadsBackWhole(-0.5L));
  EXPECT_FALSE(ReadsBackWhole(1e-4000L));
  EXPECT_FALSE(ReadsBackWhole(4503599627370496.5L));  // beyond the limit anyway
  EXPECT_FALSE(ReadsBackWhole(999999999999998.5L));
  EXPECT_FALSE(ReadsBackWhole(1.0L + std::numeric_limits<long double>::epsilon()));
  EXPECT_FALSE(ReadsBackWhole(std::numeric_limits<long double>::quiet_NaN()));
  EXPECT_FALSE(ReadsBackWhole(std::numeric_limits<long double>::infinity()));
  std::int64_t n = 0;
  EXPECT_TRUE(TruncateToInt64(4611686018427387904.0L, n));  // 2^62, whole
  EXPECT_EQ(n, INT64_C(4611686018427387904));
  EXPECT_TRUE(TruncateToInt64(-2.5L, n));
  EXPECT_EQ(n, -2);
  EXPECT_EQ(NumberToText(-42.0L), "-42");
  EXPECT_EQ(NumberToText(2.5L), "2.5");
}
