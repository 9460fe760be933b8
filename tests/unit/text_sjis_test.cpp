#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"

using namespace morivel::text;

TEST(Sjis, OkuriganaRuleDropsRunsAfterKanji) {
  EXPECT_EQ(strip_okurigana(sjis("読み込む")), sjis("読込"));
  EXPECT_EQ(strip_okurigana(sjis("おわり")), sjis("おわり"));
  EXPECT_EQ(strip_okurigana(sjis("言う")), sjis("言"));
  EXPECT_EQ(strip_okurigana(sjis("文字列として扱う")), sjis("文字列扱"));
  EXPECT_EQ(strip_okurigana(sjis("終わり")), sjis("終"));
  EXPECT_EQ(strip_okurigana(sjis("もりべるする")), sjis("もりべるする"));
}

TEST(Sjis, LoneLeadByteAtEndIsOneCharacter) {
  std::string s = "a\x82";
  EXPECT_EQ(char_count(s), 2u);
  EXPECT_EQ(char_len(s, 1), 1u);
  EXPECT_EQ(strip_okurigana(s), s);
  std::string with_nul("\x82\0", 2);
  EXPECT_EQ(char_len(with_nul, 0), 1u);
}

TEST(Sjis, SearchMatchesOnlyAtCharacterStarts) {
  // 表 is 0x95 0x5C: its trail byte is a backslash.
  std::string s = sjis("表\\");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(find_at_char_start(s, "\\"), 2u);
  EXPECT_FALSE(is_char_start(s, 1));
  EXPECT_EQ(char_index_of_byte(s, 1), 0u);
  EXPECT_EQ(byte_offset_of_char(s, 1), 2u);
}

// Character starts are found from the nearest byte that is no lead byte, not from the text's
// start: on random bytes (lead bytes in runs, NULs, backslash trail bytes) every offset must
// give what walking the whole text from its start gives.
TEST(Sjis, CharacterStartsMatchAWalkFromTheStart) {
  const unsigned char alphabet[] = {0x81, 0x82, 0x95, 0xE0, 0xFC, 0x5C, 0x41, 0xA0, 0x00, 0x40};
  unsigned seed = 7;
  for (int round = 0; round < 300; ++round) {
    std::string s;
    for (int k = 0; k < 24; ++k) {
      seed = seed * 1103515245u + 12345u;
      s.push_back(static_cast<char>(alphabet[(seed >> 16) % sizeof alphabet]));
    }
    std::vector<bool> starts(s.size() + 1, false);
    for (std::size_t i = 0; i < s.size(); i += char_len(s, i)) starts[i] = true;
    starts[s.size()] = true;
    for (std::size_t offset = 0; offset <= s.size() + 1; ++offset) {
      std::size_t expected = std::min(offset, s.size());
      while (!starts[expected]) ++expected;
      EXPECT_EQ(char_start_at_or_after(s, offset), expected) << round << " " << offset;
      EXPECT_EQ(is_char_start(s, offset), offset <= s.size() && starts[offset]);
      std::size_t found = find_at_char_start(s, "\\", offset);
      std::size_t first = expected;
      while (first < s.size() && !(starts[first] && s[first] == '\\')) ++first;
      EXPECT_EQ(found, first < s.size() ? first : std::string_view::npos) << round << " " << offset;
    }
  }
}

TEST(Encoding, RoundTripsAndReplacesBrokenInput) {
  std::string sj = sjis("こんにちは、表示");
  EXPECT_EQ(to_utf8(sj), "こんにちは、表示");
  EXPECT_EQ(from_utf16(to_utf16(sj)), sj);
  EXPECT_EQ(to_utf8("a\x82"), "a\xEF\xBF\xBD");
  EXPECT_EQ(to_utf8("\x82\x20z"), "\xEF\xBF\xBD z");
  EXPECT_EQ(from_utf8("\xFF"
                      "a"),
            "?a");
  EXPECT_TRUE(is_valid_utf8("日本"));
  EXPECT_FALSE(is_valid_utf8(sj));
}

TEST(Sjis, SplitLinesAtEveryKindOfBreak) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(split_lines(""), V{});
  EXPECT_EQ(split_lines("a\r\n"), V{"a"});
  EXPECT_EQ(split_lines("a\r\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(split_lines("a\rb\nc"), (V{"a", "b", "c"}));
  EXPECT_EQ(split_lines("\n"), V{""});
}
