// Preprocessing, line numbers and the label scan.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "source/labels.h"
#include "source/preprocess.h"
#include "text/encoding.h"
#include "words/hash.h"

using namespace morivel;
using morivel::text::sjis;
using source::LabelInfo;
using source::LineNumberAt;
using source::Preprocess;
using source::PreprocessError;

namespace {

// Preprocesses a UTF-8 written script and gives the result back in UTF-8.
std::string pre(const std::string& utf8) {
  return text::to_utf8(Preprocess(sjis(utf8)));
}

PreprocessError error_of(const std::string& utf8) {
  try {
    Preprocess(sjis(utf8));
  } catch (const PreprocessError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for: " << utf8;
  return PreprocessError(0, "");
}

std::string message_of(const PreprocessError& e) {
  return text::to_utf8(e.message);
}

const LabelInfo* label_info(const words::THash& words, const std::string& utf8_name) {
  const words::THashNode* word = words.Find(sjis(utf8_name));
  if (!word) return nullptr;
  EXPECT_EQ(word->Kind, words::kLabel);
  EXPECT_TRUE(word->Reserved);
  return dynamic_cast<const LabelInfo*>(word->Obj.get());
}

}  // namespace

TEST(Preprocess, QuoteFormsBecomeAsciiDelimitersAndKeepTheirContent) {
  EXPECT_EQ(pre("「ａ、」と表示"), "\"ａ、\"と表示");
  EXPECT_EQ(pre("”ａ”"), "\"ａ\"");
  EXPECT_EQ(pre("\"ａ\""), "\"ａ\"");
  EXPECT_EQ(pre("｢ａ｣"), "\"ａ\"");
  EXPECT_EQ(pre("『ａ{x}』"), "`ａ{x}`");
  EXPECT_EQ(pre("‘ａ‘"), "`ａ`");
  // A doubled back quote inside a raw string stays a pair the literal reader understands.
  EXPECT_EQ(pre("『a』』b』"), "`a``b`");
  EXPECT_EQ(pre("`a``b`"), "`a``b`");
}

TEST(Preprocess, FullWidthSymbolsOutsideLiteralsBecomeAscii) {
  EXPECT_EQ(pre("Ａ＝（１＋２）×３÷４"), "A=(1+2)*3/4");
  EXPECT_EQ(pre("Ａ≠Ｂ、Ａ≦Ｂ。Ａ≧Ｂ"), "A<>B,A<=B;A>=B");
  EXPECT_EQ(pre("ａ　ｂ￥ｎ"), "a b\\n");
}

TEST(Preprocess, EveryCommentFormIsRemovedKeepingLineBreaks) {
  EXPECT_EQ(pre("a'x\r\nb"), "a\r\n1:b");
  EXPECT_EQ(pre("a※x\r\nb"), "a\r\n1:b");
  EXPECT_EQ(pre("a’x\r\nb"), "a\r\n1:b");
  EXPECT_EQ(pre("a//x\r\nb"), "a\r\n1:b");
  EXPECT_EQ(pre("a／／x\r\nb"), "a\r\n1:b");
  EXPECT_EQ(pre("a/*x\r\ny*/b"), "a\r\n1:b");
  EXPECT_EQ(pre("a／＊x\r\ny＊／b"), "a\r\n1:b");
  EXPECT_EQ(pre("a{x\r\n\r\ny}b"), "a\r\n1:\r\n2:b");
  EXPECT_EQ(pre("a｛x｝b"), "ab");
  EXPECT_EQ(pre("a/b*c"), "a/b*c");
}

TEST(Preprocess, QuotesAndBracesInsideALineCommentOpenNothing) {
  EXPECT_EQ(pre("a'「{『\r\nb"), "a\r\n1:b");
  EXPECT_EQ(pre("a//\"@@/\r\nb"), "a\r\n1:b");
}

TEST(Preprocess, CommentMarksInsideLiteralsAreText) {
  EXPECT_EQ(pre("「a'b//c{d}」"), "\"a'b//c{d}\"");
  EXPECT_EQ(pre("`a'b/*c`"), "`a'b/*c`");
  EXPECT_EQ(pre("@@/a'b{c}/"), "@@/a'b{c}/");
}

TEST(Preprocess, UnterminatedBlockCommentDropsTheRestSilently) {
  EXPECT_EQ(pre("a/*b\r\n「c\r\nd"), "a\r\n1:\r\n2:");
}

TEST(Preprocess, EscapedQuoteDoesNotEndADoubleQuotedString) {
  EXPECT_EQ(pre("「a\\」b」c"), "\"a\\」b\"c");
  EXPECT_EQ(pre("\"a\\\"b\"c"), "\"a\\\"b\"c");
}

TEST(Preprocess, MultiLineLiteralsLeaveContinuationLinesUnprefixedButCounted) {
  EXPECT_EQ(pre("x=@@/a\r\nb/\r\ny"), "x=@@/a\r\nb/\r\n2:y");
  EXPECT_EQ(pre("「a\r\nb\r\nc」\r\nd"), "\"a\r\nb\r\nc\"\r\n3:d");
  EXPECT_EQ(pre("`a\r\nb`\r\nd"), "`a\r\nb`\r\n2:d");
  // A here-document whose terminator is the line break ends at the next line break.
  EXPECT_EQ(pre("@@\r\nabc\r\nd"), "@@\r\nabc\r\n2:d");
}

TEST(Preprocess, LoneLfAndLoneCrAreLineBreaks) {
  EXPECT_EQ(pre("a\nb\rc\r\nd\n\ne"), "a\r\n1:b\r\n2:c\r\n3:d\r\n4:\r\n5:e");
  EXPECT_EQ(pre("a'x\nb"), "a\r\n1:b");
}

TEST(Preprocess, UnclosedConstructsReportTheirOpeningLineAndTwentyBytes) {
  PreprocessError brace = error_of("x\r\na{bcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(brace.line, 2);
  EXPECT_EQ(message_of(brace), "{ }が対応していません。『bcdefghijklmnopqrstu』の近く");

  PreprocessError dq = error_of("x\r\n\r\n表示「abc\r\ndef");
  EXPECT_EQ(dq.line, 3);
  EXPECT_EQ(message_of(dq), "「」または\"\"が対応していません。『abc\r\ndef』の近く");

  PreprocessError bq = error_of("『abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(bq.line, 1);
  EXPECT_EQ(message_of(bq), "『』または''''が対応していません。『abcdefghijklmnopqrst』の近く");

  PreprocessError here = error_of("a\r\nb=@@/xyz\r\nw");
  EXPECT_EQ(here.line, 2);
  EXPECT_EQ(message_of(here), "@@/.../が対応していません。『xyz\r\nw』の近く");

  // A brace inside a raw string opens no comment, so the string is what is reported.
  EXPECT_NE(message_of(error_of("『{abc")).find("『』または"), std::string::npos);
}

TEST(Preprocess, TrailByteBackslashNeverEscapesOrEndsAString) {
  // 表, ソ and 十 have 0x5C as their second byte.
  EXPECT_EQ(pre("「表」と表示"), "\"表\"と表示");
  EXPECT_EQ(pre("\"ソ\"\r\nx"), "\"ソ\"\r\n1:x");
  EXPECT_EQ(pre("@@十a十"), "@@十a十");
  EXPECT_EQ(pre("表示//十"), "表示");
}

TEST(Preprocess, LoneLeadByteAtTheEndStaysOneByte) {
  const std::string source("ab\x82", 3);
  EXPECT_EQ(Preprocess(source), source);
  EXPECT_THROW(Preprocess(std::string("\"\x82", 2)), PreprocessError);
  EXPECT_EQ(Preprocess(std::string("a\0b", 3)), "a");
}

TEST(LineNumber, ReadsTheNextLinesPrefixOrKeepsTheCurrentLine) {
  const std::string text = Preprocess("a\r\nb\r\n\r\nc");
  ASSERT_EQ(text, "a\r\n1:b\r\n2:\r\n3:c");
  const char* p = text.c_str();
  EXPECT_EQ(LineNumberAt(p, 0), 1);
  EXPECT_EQ(LineNumberAt(p + text.find('b'), 0), 2);
  EXPECT_EQ(LineNumberAt(p + text.find('c'), 7), 7);
  EXPECT_EQ(LineNumberAt("x\r\n\r\n12:y", 0), 12);
  EXPECT_EQ(LineNumberAt("x\r\n12y", 5), 5);
  EXPECT_EQ(LineNumberAt("x\r\n99999999999:y", 5), 5);
}

TEST(Labels, OnlyAStarAtLineStartDefinesALabel) {
  const std::string text =
      Preprocess(sjis("*始め\r\n  *二番\r\nA=1 *三番\r\n\t*四番\r\n「\r\n*文字」\r\n表示"));
  words::THash words;
  source::ScanLabels(text, "main.mrv", words);
  const LabelInfo* first = label_info(words, "始め");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->file_name, "main.mrv");
  EXPECT_EQ(std::string(first->position, 2), "  ");
  EXPECT_NE(label_info(words, "二番"), nullptr);
  EXPECT_NE(label_info(words, "四番"), nullptr);
  EXPECT_EQ(words.Find(sjis("三番")), nullptr);
  EXPECT_EQ(words.Find(sjis("文字」")), nullptr);
  EXPECT_EQ(words.Count(), 3);
}

TEST(Labels, TemplateInParenthesesAndPositionAfterNextPrefix) {
  const std::string text = Preprocess(sjis("x\r\n*足す （Ａと, Ｂを） 捨てる\r\n表示\r\n*終わり"));
  words::THash words;
  source::ScanLabels(text, "f.mrv", words);
  const words::THashNode* add = words.Find(sjis("足す"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(text::to_utf8(add->Extra), "Aと, Bを");
  const LabelInfo* info = dynamic_cast<const LabelInfo*>(add->Obj.get());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(std::string(info->position, 4), sjis("表示"));
  EXPECT_EQ(LineNumberAt(info->position, 0), 3);
  const LabelInfo* last = label_info(words, "終わり");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(*last->position, '\0');
}

TEST(Labels, NameOfAnExistingWordFailsAtTheLineAfterTheLabel) {
  words::THash words;
  words.Add(std::make_unique<words::THashNode>(sjis("表示"), true, nullptr, words::kCommand, 0, "",
                                               "", "?を"));
  const std::string text = Preprocess(sjis("a\r\n*表示\r\nb"));
  try {
    source::ScanLabels(text, "m.mrv", words);
    FAIL() << "expected a label definition error";
  } catch (const PreprocessError& e) {
    EXPECT_EQ(e.line, 3);
    EXPECT_EQ(message_of(e), "ラベル\"表示\"の定義に失敗しました。既に単語として使われています。");
  }
  // A second label of the same name fails the same way.
  words::THash fresh;
  EXPECT_THROW(source::ScanLabels(Preprocess("*a\r\n*a"), "m.mrv", fresh), PreprocessError);
}

TEST(Labels, LiteralsAreSkippedWholeAndUnreadableOnesReported) {
  words::THash words;
  // Preprocessing closes this here-document at "/", the literal reader takes "\/" as an escape.
  const std::string text = Preprocess(sjis("x\r\ny=@@/a\\/b"));
  try {
    source::ScanLabels(text, "m.mrv", words);
    FAIL() << "expected an unclosed-literal error";
  } catch (const PreprocessError& e) {
    EXPECT_EQ(e.line, 2);
    EXPECT_EQ(message_of(e), "対応するカッコ/がありません。");
  }
  source::ScanLabels(Preprocess(sjis("@@*a\r\n*b*\r\n*c")), "m.mrv", words);
  EXPECT_EQ(words.Find("b"), nullptr);
  EXPECT_NE(words.Find("c"), nullptr);
}
