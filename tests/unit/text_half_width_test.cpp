// Full-width to half-width mappings: the source normalisation table and the general mapping.
#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"

using namespace morivel::text;

namespace {

std::string source_form(const std::string& utf8_char) {
  return to_utf8(to_half_width_source(sjis(utf8_char)));
}

}  // namespace

TEST(HalfWidthSource, EverySymbolOfTheTableHasItsAsciiForm) {
  const std::string full = "！”＃＄％＆’（）＝－＾～｜｛｝＠；：＋＊／？＿＜＞，．";
  const std::string ascii = "!\"#$%&'()=-^~|{}@;:+*/?_<>,.";
  std::size_t i = 0;
  for (std::size_t k = 0; k < ascii.size(); ++k) {
    const std::size_t len = 3;  // each symbol above is three bytes of UTF-8
    EXPECT_EQ(source_form(full.substr(i, len)), ascii.substr(k, 1)) << full.substr(i, len);
    i += len;
  }
  EXPECT_EQ(source_form("￥"), "\\");
  EXPECT_EQ(source_form("‘"), "`");
  EXPECT_EQ(source_form("※"), "'");
  EXPECT_EQ(source_form("×"), "*");
  EXPECT_EQ(source_form("÷"), "/");
  EXPECT_EQ(source_form("≠"), "<>");
  EXPECT_EQ(source_form("≦"), "<=");
  EXPECT_EQ(source_form("≧"), ">=");
  EXPECT_EQ(source_form("　"), " ");
  EXPECT_EQ(source_form("、"), ",");
  EXPECT_EQ(source_form("。"), ";");
  for (const char* quote : {"「", "」", "｢", "｣"}) EXPECT_EQ(source_form(quote), "\"") << quote;
  EXPECT_EQ(source_form("『"), "`");
  EXPECT_EQ(source_form("』"), "`");
}

TEST(HalfWidthSource, LettersDigitsAndUnlistedCharacters) {
  EXPECT_EQ(to_utf8(normalize_half_width(sjis("ＡＺａｚ０９｛計算｝［］“ア"))),
            "AZaz09{計算}［］“ア");
  EXPECT_EQ(half_width_source_entry(sjis("表")), "");
  EXPECT_EQ(normalize_half_width(std::string("a\x82", 2)), std::string("a\x82", 2));
}

TEST(HalfWidthGeneral, PrintableFormsKatakanaAndVoicedMarks) {
  EXPECT_EQ(to_utf8(to_half_width(sjis("ＡＢＣ１２３　＄１Ｆ．５，－＋"))), "ABC123 $1F.5,-+");
  EXPECT_EQ(to_utf8(to_half_width(sjis("［＼］｀￥"))), "[\\]`\\");
  EXPECT_EQ(to_utf8(to_half_width(sjis("アガパヴッー。「」、・"))), "ｱｶﾞﾊﾟｳﾞｯｰ｡｢｣､･");
  EXPECT_EQ(to_utf8(to_half_width(sjis("ヂヅデドバビブベボポ"))), "ﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾎﾟ");
  EXPECT_EQ(to_utf8(to_half_width(sjis("ヵ漢字ひらがなabc"))), "ヵ漢字ひらがなabc");
}
