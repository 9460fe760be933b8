// Literal, group, statement-value and block readers over program text.
#include <gtest/gtest.h>

#include <string>

#include "expr/literal.h"
#include "text/encoding.h"
#include "words/errors.h"

using namespace morivel;
using morivel::text::sjis;

namespace {

// Runs `reader` over `program` and returns what it read and the text left after the pointer.
template <typename Reader>
std::pair<std::string, std::string> read(Reader reader, const std::string& program) {
  const char* p = program.c_str();
  std::string value = reader(p);
  return {value, std::string(p)};
}

std::string failure_of(std::string (*reader)(const char*&), const std::string& program) {
  const char* p = program.c_str();
  try {
    reader(p);
  } catch (const GeneralError& e) {
    EXPECT_EQ(p, program.c_str()) << "the pointer moved on failure";
    return text::to_utf8(e.what());
  }
  ADD_FAILURE() << "no failure for: " << program;
  return {};
}

using Pair = std::pair<std::string, std::string>;

}  // namespace

TEST(ReadStringToken, ReadsTheThreeLiteralFormsWithTheirEscapes) {
  auto token = expr::ReadStringToken;
  EXPECT_EQ(read(token, " \t\"a\\\"b\"rest"), Pair("\"a\\\"b\"", "rest"));
  EXPECT_EQ(read(token, "\"a\\\\\"b"), Pair("\"a\\\\\"", "b"));
  EXPECT_EQ(read(token, "`a``b`c"), Pair("`a``b`", "c"));
  EXPECT_EQ(read(token, "````c"), Pair("````", "c"));
  EXPECT_EQ(read(token, "@@/a\\/b/c"), Pair("@@/a\\/b/", "c"));
  EXPECT_EQ(read(token, sjis("@@/a￥/b/c")), Pair(sjis("@@/a￥/b/"), "c"));
  EXPECT_EQ(read(token, "@@\\a\\b"), Pair("@@\\a\\", "b"));
  EXPECT_EQ(read(token, "@@\r\nab\r\n1:c"), Pair("@@\r\nab\r", "\n1:c"));
}

TEST(ReadStringToken, AnythingElseReadsNothingAndLeavesThePointer) {
  auto token = expr::ReadStringToken;
  EXPECT_EQ(read(token, "  abc"), Pair("", "  abc"));
  EXPECT_EQ(read(token, "@a@"), Pair("", "@a@"));
  EXPECT_EQ(read(token, ""), Pair("", ""));
}

TEST(ReadStringToken, UnclosedLiteralsFailWithTheirMessages) {
  EXPECT_EQ(failure_of(expr::ReadStringToken, "\"abc"),
            "対応するカッコ \" または 」 がありません。");
  EXPECT_EQ(failure_of(expr::ReadStringToken, "\"abc\\\""),
            "対応するカッコ \" または 」 がありません。");
  EXPECT_EQ(failure_of(expr::ReadStringToken, "`a``"), "対応するカッコ ` または 』 がありません。");
  EXPECT_EQ(failure_of(expr::ReadStringToken, sjis("@@表abc")), "対応するカッコ表がありません。");
  EXPECT_EQ(failure_of(expr::ReadStringToken, "@@"), "対応するカッコがありません。");
}

TEST(ReadStringToken, TrailByteBackslashOrBackQuoteDoesNotBreakTheReader) {
  // 表, ソ and 十 end in 0x5C; Ａ (0x82 0x60) ends in a back quote.
  auto token = expr::ReadStringToken;
  EXPECT_EQ(read(token, sjis("\"表\"x")), Pair(sjis("\"表\""), "x"));
  EXPECT_EQ(read(token, sjis("\"ソ十\"x")), Pair(sjis("\"ソ十\""), "x"));
  EXPECT_EQ(read(token, sjis("`Ａ`x")), Pair(sjis("`Ａ`"), "x"));
  EXPECT_EQ(read(token, sjis("@@十a表十x")), Pair(sjis("@@十a表十"), "x"));
}

TEST(ReadStringToken, LoneLeadByteAtTheEndNeverReadsPastTheText) {
  // Exact-size heap buffers, so that an over-read shows under the address sanitizer.
  for (const char* program : {"\"\x82", "`\x82", "@@\x82", "@@/\x82", "\"\\\x82"}) {
    const std::string text(program);
    const char* p = text.c_str();
    EXPECT_THROW(expr::ReadStringToken(p), GeneralError) << text;
  }
}

TEST(ReadGroup, NestedGroupsAndLiteralsInsideAreTakenWhole) {
  auto group = expr::ReadGroup;
  EXPECT_EQ(read(group, " (a(b)c)d"), Pair("a(b)c", "d"));
  EXPECT_EQ(read(group, "(\")\"`(`@@/)/)x"), Pair("\")\"`(`@@/)/", "x"));
  EXPECT_EQ(read(group, sjis("(表)x")), Pair(sjis("表"), "x"));
  EXPECT_EQ(read(group, "(a\r\n1:b)c"), Pair("a\r\n1:b", "c"));
  EXPECT_EQ(read(group, "abc"), Pair("", "abc"));
  EXPECT_EQ(failure_of(expr::ReadGroup, "(a(b)"), "\")\"が対応していません。");
  EXPECT_EQ(failure_of(expr::ReadGroup, "(a\")\""), "\")\"が対応していません。");
  EXPECT_EQ(failure_of(expr::ReadGroup, "(a\"b)"), "対応するカッコ \" または 」 がありません。");
}

TEST(ReadStatementValue, StopsAtLineEndOrSemicolonOutsideLiteralsAndGroups) {
  auto value = expr::ReadStatementValue;
  EXPECT_EQ(read(value, "a(b;c)\"x;y\";z"), Pair("a(b;c)\"x;y\"", ";z"));
  EXPECT_EQ(read(value, "`a\r\nb`c\r\n1:d"), Pair("`a\r\nb`c", "\r\n1:d"));
  EXPECT_EQ(read(value, "abc\ndef"), Pair("abc", "\ndef"));
  EXPECT_EQ(read(value, sjis("表;x")), Pair(sjis("表"), ";x"));
  EXPECT_EQ(failure_of(expr::ReadStatementValue, "a(b"), "\")\"が対応していません。");
}

TEST(ReadStatementValue, AmpersandBeforeALineBreakJoinsTheNextLine) {
  auto value = expr::ReadStatementValue;
  EXPECT_EQ(read(value, "\"a\"&\r\n12:\"b\"&\r\n13:c\r\n14:d"), Pair("\"a\"&\"b\"&c", "\r\n14:d"));
  EXPECT_EQ(read(value, "a&\nb"), Pair("a&b", ""));
  EXPECT_EQ(read(value, "a& \r\n1:b"), Pair("a& ", "\r\n1:b"));
  // Digits that are not followed by ":" are the next line's text, not its prefix.
  EXPECT_EQ(read(value, "a&\r\n12b"), Pair("a&12b", ""));
}

TEST(ReadBlockText, ParenthesisedBlockSpansLinesOtherwiseTheStatement) {
  bool parenthesised = false;
  auto block = [&parenthesised](const char*& p) { return expr::ReadBlockText(p, parenthesised); };
  EXPECT_EQ(read(block, " (x\r\n1:(y);z)\r\n2:w"), Pair("x\r\n1:(y);z", "\r\n2:w"));
  EXPECT_TRUE(parenthesised);
  EXPECT_EQ(read(block, " a;b"), Pair("a", ";b"));
  EXPECT_FALSE(parenthesised);
  EXPECT_EQ(read(block, "a(b\r\nc)&\r\n1:d\r\n2:e"), Pair("a(b\r\nc)&d", "\r\n2:e"));
  EXPECT_FALSE(parenthesised);
}
