// Perl-style match, split, substitution and transliteration on Shift-JIS text.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "text/encoding.h"
#include "text/perl_regex.h"

using namespace morivel::text;
using Lines = std::vector<std::string>;

namespace {

Lines utf8_lines(const Lines& sjis_lines) {
  Lines out;
  for (const std::string& line : sjis_lines) out.push_back(to_utf8(line));
  return out;
}

Lines match(const std::string& op, const std::string& text) {
  return utf8_lines(regex_match(sjis(op), sjis(text)));
}

std::string substitute(const std::string& op, const std::string& text) {
  return to_utf8(regex_substitute(sjis(op), sjis(text)).text);
}

}  // namespace

TEST(RegexMatch, WholeMatchThenGroupsAndEveryMatchWithG) {
  EXPECT_EQ(match("m/[0-9]+/", "abc123def456"), Lines({"123"}));
  EXPECT_EQ(match("m/[0-9]+/g", "abc123def456"), Lines({"123", "456"}));
  // Empty matches advance one character; the one at the end is the last.
  EXPECT_EQ(match("m//g", "aあ"), Lines({"", "", ""}));
  EXPECT_EQ(match("m/x*/g", "ax"), Lines({"", "x", ""}));
  EXPECT_EQ(match("m/([a-z]+)([0-9]+)/", "abc123"), Lines({"abc123", "abc", "123"}));
  EXPECT_EQ(match("m/(x)?y/", "y"), Lines({"y", ""}));
  EXPECT_TRUE(match("m/z/", "abc").empty());
  EXPECT_EQ(match("m/ABC/i", "xabcx"), Lines({"abc"}));
  EXPECT_EQ(match("m#a/b#", "a/b"), Lines({"a/b"}));
  EXPECT_EQ(match("m{a+}", "caab"), Lines({"aa"}));
  EXPECT_EQ(match("m/a\\/b/", "a/b"), Lines({"a/b"}));
}

TEST(RegexMatch, DoubleByteCharactersAreNeverSplit) {
  // 表 is 0x95 0x5C and ソ 0x83 0x5C: a pattern for the backslash must not hit their trail byte.
  EXPECT_TRUE(regex_match("m/\\\\/", sjis("表ソ")).empty());
  EXPECT_EQ(match("m/./g", "あa表"), Lines({"あ", "a", "表"}));
  EXPECT_EQ(match("m/表/", "一覧表示"), Lines({"表"}));
  EXPECT_EQ(match("m/[ぁ-ん]+/", "漢字ひらがなカナ"), Lines({"ひらがな"}));
  // A lead byte at the very end of a buffer without terminator is never read past: it is a
  // truncated character that nothing matches.
  const std::vector<char> unterminated = {'a', '\x82'};
  EXPECT_EQ(regex_match("m/./g", std::string_view(unterminated.data(), unterminated.size())),
            Lines({"a"}));
  // The delimiter as a trail byte (ソ ends in a backslash) does not end the pattern early.
  EXPECT_EQ(match("m/ソ/", "アソ"), Lines({"ソ"}));
}

TEST(RegexMatch, LineAnchorsFollowTheMAndSFlags) {
  EXPECT_TRUE(match("m/^b/", "a\nb").empty());
  EXPECT_EQ(match("m/^b/m", "a\nb"), Lines({"b"}));
  EXPECT_TRUE(match("m/a.b/", "a\nb").empty());
  EXPECT_EQ(match("m/a.b/s", "a\nb"), Lines({"a\nb"}));
  EXPECT_EQ(match("m/a b # comment\n/x", "ab"), Lines({"ab"}));
}

TEST(RegexErrors, MalformedOperationsAndPatternsThrow) {
  EXPECT_THROW(regex_match("m/(/", "x"), RegexError);
  EXPECT_THROW(regex_match("m/abc", "x"), RegexError);
  EXPECT_THROW(regex_match("m/a/q", "x"), RegexError);
  EXPECT_THROW(regex_match("max", "x"), RegexError);  // a letter is no delimiter
  EXPECT_THROW(regex_substitute("m/a/b/", "x"), RegexError);
  EXPECT_THROW(regex_substitute("s/a/b", "x"), RegexError);
  EXPECT_THROW(regex_translate("tr/z-a//", "x"), RegexError);
  EXPECT_THROW(regex_translate("s/a/b/", "x"), RegexError);
  EXPECT_THROW(regex_match("m/[/", "x"), RegexError);
}

TEST(RegexErrors, CatastrophicBacktrackingStopsQuickly) {
  const std::string text = std::string(40, 'a') + "!";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(regex_match("m/^(a+)+$/", text), RegexError);
  EXPECT_THROW(regex_substitute("s/(a|aa)+$/x/g", text), RegexError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(RegexSplit, PiecesBetweenMatchesWithGroupsAndLimits) {
  EXPECT_EQ(utf8_lines(regex_split("m/,/", "a,b,,c", 1000)), Lines({"a", "b", "", "c"}));
  EXPECT_EQ(utf8_lines(regex_split("m/,/", ",a,b,,", 1000)), Lines({"", "a", "b"}));
  EXPECT_EQ(utf8_lines(regex_split("m/(-)/", "a-b", 1000)), Lines({"a", "-", "b"}));
  EXPECT_EQ(utf8_lines(regex_split(sjis("m//"), sjis("あい"), 1000)), Lines({"あ", "い"}));
  EXPECT_EQ(utf8_lines(regex_split("m/,/", "a,b,c,d", 2)), Lines({"a", "b,c,d"}));
  EXPECT_TRUE(regex_split("m/,/", "", 1000).empty());
  EXPECT_EQ(regex_split("m/x/", "abc", 1000), Lines({"abc"}));
  // 表 has a backslash as its trail byte; the split must not cut inside it.
  EXPECT_EQ(utf8_lines(regex_split("m/\\\\/", sjis("表\\ソ"), 1000)), Lines({"表", "ソ"}));
}

TEST(RegexSubstitute, FirstOrEveryMatchWithGroupReferences) {
  EXPECT_EQ(substitute("s/a/X/", "banana"), "bXnana");
  EXPECT_EQ(substitute("s/a/X/g", "banana"), "bXnXnX");
  EXPECT_EQ(regex_substitute("s/a/X/g", "banana").count, 3u);
  EXPECT_EQ(regex_substitute("s/q/X/g", "banana").count, 0u);
  EXPECT_EQ(substitute("s/(\\w+)@(\\w+)/$2 at $1/", "me@host"), "host at me");
  EXPECT_EQ(substitute("s/(\\w+)@(\\w+)/\\2.\\1/", "me@host"), "host.me");
  EXPECT_EQ(substitute("s/o+/[$&]/", "foo"), "f[oo]");
  EXPECT_EQ(substitute("s/b/${0}$`$'/", "abc"), "abacc");
  EXPECT_EQ(substitute("s/,/\\n/g", "a,b"), "a\nb");
  EXPECT_EQ(substitute("s/x/\\$1/", "x"), "$1");
  EXPECT_EQ(substitute("s/い/表/g", "あいい"), "あ表表");
  EXPECT_EQ(substitute("s/x*/-/g", "abc"), "-a-b-c-");
  EXPECT_EQ(substitute("s/b*/-/g", "abc"), "-a--c-");
  EXPECT_EQ(substitute("s/\\//|/g", "a/b/c"), "a|b|c");
  EXPECT_EQ(substitute("s{a}{b}g", "aaa"), "bbb");
}

TEST(RegexTranslate, CharacterListsRangesAndFlags) {
  auto tr = [](const std::string& op, const std::string& text) {
    return to_utf8(regex_translate(sjis(op), sjis(text)).text);
  };
  EXPECT_EQ(tr("tr/a-c/A-C/", "abcdcba"), "ABCdCBA");
  EXPECT_EQ(regex_translate("tr/a-c/A-C/", "abcdcba").count, 6u);
  EXPECT_EQ(regex_translate("tr/a//", "banana").count, 3u);
  EXPECT_EQ(tr("tr/a//", "banana"), "banana");
  EXPECT_EQ(tr("tr/abc/x/", "aabbcc"), "xxxxxx");
  EXPECT_EQ(tr("tr/abc/x/d", "aabbcc"), "xx");
  EXPECT_EQ(tr("tr/a-z//s", "aabbcc"), "abc");
  EXPECT_EQ(tr("tr/a-z/*/c", "ab1c2"), "ab*c*");
  EXPECT_EQ(tr("tr/ぁ-ん/ァ-ン/", "ひらがなと漢字"), "ヒラガナト漢字");
  EXPECT_EQ(tr("tr/表/X/", "表\\ソ"), "X\\ソ");
  EXPECT_EQ(tr("tr/\\-/_/", "a-b"), "a_b");
}
