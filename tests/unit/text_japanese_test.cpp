// Width, case and kana conversions and the Shift-JIS / EUC-JP / JIS detection and conversion.
#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"
#include "text/japanese.h"

using namespace morivel::text;

namespace {

// Applies a Shift-JIS conversion to UTF-8 text and gives UTF-8 back.
template <typename F>
std::string via_sjis(F convert, const std::string& utf8) {
  return to_utf8(convert(sjis(utf8)));
}

const std::string kSjisA = "\x82\xA0";             // あ
const std::string kJisA = "\x1B$B\x24\x22\x1B(J";  // あ in ISO-2022-JP
const std::string kEucA = "\xA4\xA2";              // あ in EUC-JP

}  // namespace

TEST(FullWidth, AsciiAndHalfKanaBecomeFullWidthButTheYenSignStays) {
  EXPECT_EQ(via_sjis(to_full_width, "Ab1 !~"), "Ａｂ１　！～");
  EXPECT_EQ(via_sjis(to_full_width, "ｱｲｳ｡｢｣ｰ"), "アイウ。「」ー");
  EXPECT_EQ(to_full_width("C:\\"), sjis("Ｃ：") + "\\");
  EXPECT_EQ(via_sjis(to_full_width, "漢字とかな"), "漢字とかな");
}

TEST(FullWidth, VoicedMarksCombineOnlyWithKanaThatTakeThem) {
  EXPECT_EQ(via_sjis(to_full_width, "ｶﾞｷﾞﾄﾞﾊﾞﾋﾟﾎﾟｳﾞ"), "ガギドバピポヴ");
  // ｱ takes no mark, ｶ no semi-voiced mark: the marks stay separate characters.
  EXPECT_EQ(via_sjis(to_full_width, "ｱﾞｶﾟﾞ"), "ア゛カ゜゛");
  // A half-width kana at the very end has no following byte to look at.
  EXPECT_EQ(via_sjis(to_full_width, "ﾊ"), "ハ");
}

TEST(AlnumHalfWidth, ListedFullWidthToAsciiAndHalfKanaToFullWidthMarkByMark) {
  EXPECT_EQ(via_sjis(alnum_to_half_width, "ＡＢＣ１２３ｱｲｳ"), "ABC123アイウ");
  EXPECT_EQ(via_sjis(alnum_to_half_width, "！”＃＄％＆’（）＝－￥［］｛｝＿／＞＜，．＠‘　"),
            "!\"#$%&'()=-\\[]{}_/><,.@` ");
  EXPECT_EQ(via_sjis(alnum_to_half_width, "ｶﾞ"), "カ゛");
  // Not in the list: copied as they are.
  EXPECT_EQ(via_sjis(alnum_to_half_width, "＊～漢ア"), "＊～漢ア");
  // ソ (0x83 0x5C) must not be taken for a full-width character plus a backslash.
  EXPECT_EQ(via_sjis(alnum_to_half_width, "ソ表"), "ソ表");
}

TEST(CaseMapping, LatinGreekCyrillicAndFullWidthLettersKeepTheirLength) {
  EXPECT_EQ(via_sjis(to_upper_case, "abcＡｂｃαβжё"), "ABCＡＢＣΑΒЖЁ");
  EXPECT_EQ(via_sjis(to_lower_case, "ABCＡｂｃΑΒЖЁ"), "abcａｂｃαβжё");
  const std::string mixed = sjis("xｙ漢かソ表");
  EXPECT_EQ(to_upper_case(mixed).size(), mixed.size());
  EXPECT_EQ(to_utf8(to_upper_case(mixed)), "XＹ漢かソ表");
  EXPECT_EQ(via_sjis(to_upper_case, "ⅰⅱ"), "ⅠⅡ");
}

TEST(KanaMapping, KatakanaAndHiraganaBothWays) {
  EXPECT_EQ(via_sjis(to_hiragana, "カタカナ・ァヶヴヽヾ漢ｶ"), "かたかな・ぁヶヴゝゞ漢ｶ");
  EXPECT_EQ(via_sjis(to_katakana, "ひらがなぁんゝゞ漢"), "ヒラガナァンヽヾ漢");
  EXPECT_EQ(via_sjis(to_hiragana, "ガパ"), "がぱ");
}

TEST(CodeDetection, DecidesFromEscapesAndHighBytes) {
  EXPECT_EQ(detect_japanese_code(""), kCodeAscii);
  EXPECT_EQ(detect_japanese_code("plain text\r\n"), kCodeAscii);
  EXPECT_EQ(detect_japanese_code(std::string("ab\x01"
                                             "cd")),
            kCodeBinary);
  // The last byte is not looked at by the control test.
  EXPECT_EQ(detect_japanese_code(std::string("abc\x01")), kCodeAscii);
  EXPECT_EQ(detect_japanese_code(sjis("日本語のテキスト")), kCodeSjis);
  EXPECT_EQ(detect_japanese_code(sjis_to_euc(sjis("日本語のテキスト"))), kCodeEuc);
  EXPECT_EQ(detect_japanese_code(sjis_to_jis(sjis("日本語"))), kCodeJis);
  EXPECT_EQ(detect_japanese_code("\x1B$@\x24\x22"), kCodeOldJis);
  // ESC $ B wins even when 8-bit bytes follow.
  EXPECT_EQ(detect_japanese_code("x\x1B$B\x24\x22\x1B(J\x82\xA0"), kCodeJis);
  // Two bytes that are hiragana in EUC and half-width kana in Shift-JIS stay undecided.
  EXPECT_EQ(detect_japanese_code("\xA4\xA2"), kCodeEucOrSjis);
  EXPECT_EQ(detect_japanese_code("\xA4\xF0"), kCodeEuc);
}

TEST(CodeConversion, ShiftJisToJisAndEucAndBack) {
  EXPECT_EQ(sjis_to_jis(kSjisA), kJisA);
  EXPECT_EQ(sjis_to_euc(kSjisA), kEucA);
  EXPECT_EQ(jis_to_sjis(kJisA), kSjisA);
  EXPECT_EQ(euc_to_sjis(kEucA), kSjisA);
  // Line ends leave double-byte mode first; the mode is closed at the end.
  EXPECT_EQ(sjis_to_jis(kSjisA + "\r\n" + kSjisA + "x"),
            "\x1B$B\x24\x22\x1B(J\r\n\x1B$B\x24\x22\x1B(Jx");
  const std::string text = sjis("表示ソ漢字、ＡＢＣ abc ー〜");
  EXPECT_EQ(jis_to_sjis(sjis_to_jis(text)), text);
  EXPECT_EQ(euc_to_sjis(sjis_to_euc(text)), text);
  // Half-width kana: full width in JIS (marks combined), 0x8E-prefixed in EUC.
  EXPECT_EQ(to_utf8(jis_to_sjis(sjis_to_jis(sjis("ｶﾞｱ")))), "ガア");
  EXPECT_EQ(sjis_to_euc(sjis("ｱ")), "\x8E\xB1");
  EXPECT_EQ(euc_to_sjis("\x8E\xB1"), sjis("ｱ"));
  // A lone lead byte at the end is copied, not read past.
  EXPECT_EQ(sjis_to_euc("a\x82"), "a\x82");
}

TEST(CodeConversion, UnchangedForAsciiUndecidedAndSameCode) {
  EXPECT_EQ(convert_japanese_code("abc", kCodeAscii, kCodeJis), "abc");
  EXPECT_EQ(convert_japanese_code("\xA4\xA2", kCodeEucOrSjis, kCodeSjis), "\xA4\xA2");
  EXPECT_EQ(convert_japanese_code(kSjisA, kCodeSjis, kCodeSjis), kSjisA);
  EXPECT_EQ(convert_japanese_code(kEucA, kCodeEuc, kCodeJis), kJisA);
  EXPECT_EQ(convert_japanese_code(kJisA, kCodeJis, kCodeEuc), kEucA);
  EXPECT_EQ(japanese_code_from_name("euc"), kCodeEuc);
  EXPECT_EQ(japanese_code_from_name("Jis"), kCodeJis);
  EXPECT_EQ(japanese_code_from_name("SJIS"), kCodeSjis);
  EXPECT_EQ(japanese_code_from_name("UTF-8"), kCodeSjis);
}
