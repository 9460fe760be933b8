// Directive formatting of one value and grouped fixed-point numbers.
#include <gtest/gtest.h>

#include <string>

#include "text/formatted_output.h"

using namespace morivel::text;

namespace {

FormatArgument real(long double v) {
  FormatArgument a;
  a.kind = FormatArgument::Kind::Real;
  a.real = v;
  return a;
}

FormatArgument integer(std::int64_t v) {
  FormatArgument a;
  a.kind = FormatArgument::Kind::Integer;
  a.integer = v;
  return a;
}

FormatArgument text(const std::string& v) {
  FormatArgument a;
  a.text = v;
  return a;
}

}  // namespace

TEST(FormatGrouped, ThousandsAndHalfUpRounding) {
  EXPECT_EQ(format_grouped(1234567, 0), "1,234,567");
  EXPECT_EQ(format_grouped(1234.5L, 2), "1,234.50");
  EXPECT_EQ(format_grouped(-1234.5L, 0), "-1,235");
  EXPECT_EQ(format_grouped(0.125L, 2), "0.13");
  EXPECT_EQ(format_grouped(1.005L, 2), "1.01");
  EXPECT_EQ(format_grouped(999.995L, 2), "1,000.00");
  EXPECT_EQ(format_grouped(0.004L, 2), "0.00");
  EXPECT_EQ(format_grouped(-0.004L, 2), "0.00");
  EXPECT_EQ(format_grouped(0, 0), "0");
  EXPECT_EQ(format_grouped(100, 0), "100");
}

TEST(FormatValue, IntegerDirectives) {
  EXPECT_EQ(format_value("%d", integer(42)), "42");
  EXPECT_EQ(format_value("[%5d]", integer(42)), "[   42]");
  EXPECT_EQ(format_value("[%-5d]", integer(-42)), "[-42  ]");
  EXPECT_EQ(format_value("%.4d", integer(-42)), "-0042");
  EXPECT_EQ(format_value("%x", integer(255)), "FF");
  EXPECT_EQ(format_value("%.4x", integer(255)), "00FF");
  EXPECT_EQ(format_value("%d%%", integer(50)), "50%");
  EXPECT_EQ(format_value("%d", integer(INT64_MIN)), "-9223372036854775808");
}

TEST(FormatValue, RealDirectives) {
  EXPECT_EQ(format_value("%f", real(3.14159L)), "3.14");
  EXPECT_EQ(format_value("%.3f", real(2.0005L)), "2.001");
  EXPECT_EQ(format_value("%.0f", real(2.5L)), "3");
  EXPECT_EQ(format_value("%n", real(1234567.891L)), "1,234,567.89");
  EXPECT_EQ(format_value("%m", real(1234.5L)), "\\1,235");
  EXPECT_EQ(format_value("%m", real(-5)), "-\\5");
  EXPECT_EQ(format_value("%e", real(1234.5L)), "1.23450000000000E+003");
  EXPECT_EQ(format_value("%.3e", real(-0.000123L)), "-1.23E-004");
  EXPECT_EQ(format_value("%g", real(0.5L)), "0.5");
  EXPECT_EQ(format_value("%g", real(1e20L)), "1E20");
  EXPECT_EQ(format_value("%g", real(123456)), "123456");
  EXPECT_EQ(format_value("%g", real(0.00001L)), "1E-5");
  EXPECT_EQ(format_value("%8.2f|", real(-1.5L)), "   -1.50|");
}

TEST(FormatValue, TextDirectivesCutAtCharacterBoundaries) {
  EXPECT_EQ(format_value("<%s>", text("abc")), "<abc>");
  EXPECT_EQ(format_value("<%.2s>", text("abc")), "<ab>");
  // \x82\xA0 is one character: a precision of 3 keeps only "a" and that character.
  EXPECT_EQ(format_value("%.2s", text("a\x82\xA0")), "a");
  EXPECT_EQ(format_value("%.3s", text("a\x82\xA0")), "a\x82\xA0");
  EXPECT_EQ(format_value("%6s", text("ab")), "    ab");
  EXPECT_EQ(format_value("%0:s-%0:s", text("x")), "x-x");
}

TEST(FormatValue, MismatchedOrMalformedDirectivesFail) {
  EXPECT_THROW(format_value("%d", text("1")), FormatError);
  EXPECT_THROW(format_value("%s", real(1)), FormatError);
  EXPECT_THROW(format_value("%f", integer(1)), FormatError);
  EXPECT_THROW(format_value("%s %s", text("x")), FormatError);
  EXPECT_THROW(format_value("%", text("x")), FormatError);
  EXPECT_THROW(format_value("%q", text("x")), FormatError);
  EXPECT_THROW(format_value("%99999999d", integer(1)), FormatError);
  EXPECT_EQ(format_value("no directives", text("x")), "no directives");
}
