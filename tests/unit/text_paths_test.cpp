// Tests for the Shift-JIS path texts.
#include "text/paths.h"

#include <gtest/gtest.h>

#include <string>

#include "text/encoding.h"

namespace morivel::text {
namespace {

std::string u(const std::string& s) {
  return to_utf8(s);
}

TEST(Paths, TrailByte5CIsNeverASeparator) {
  // 表 and ソ end in 0x5C; only the real "\" bytes split.
  EXPECT_EQ(u(extract_path(sjis("C:\\表\\ソ"))), "C:\\表\\");
  EXPECT_EQ(u(extract_file_name(sjis("C:\\表\\ソ"))), "ソ");
  EXPECT_EQ(extract_path(sjis("表ソ")), "");
  EXPECT_EQ(u(to_slash_separators(sjis("表\\ソ\\"))), "表/ソ/");
  EXPECT_TRUE(ends_with_separator(sjis("表\\")));
  EXPECT_FALSE(ends_with_separator(sjis("表")));
  ASSERT_EQ(split_path(sjis("表\\ソ/x")).size(), 3u);
  EXPECT_EQ(u(split_path(sjis("表\\ソ/x"))[1]), "ソ");
  // A lone lead byte at the end is one byte, never a reason to read on.
  EXPECT_EQ(extract_path("a\\\x95"), "a\\");
  EXPECT_EQ(extract_file_name("a\\\x95"), "\x95");
}

TEST(Paths, ExtensionsLookOnlyAtTheFileName) {
  EXPECT_EQ(extract_extension("dir.d/name"), "");
  EXPECT_EQ(extract_extension("a.b.c"), ".c");
  EXPECT_EQ(change_extension("dir.d/name", ".txt"), "dir.d/name.txt");
  EXPECT_EQ(change_extension("C:a.lnk", ".desktop"), "C:a.desktop");
  EXPECT_EQ(extract_file_name("C:name"), "name");
  EXPECT_EQ(extract_path("C:name"), "C:");
}

TEST(Paths, AbsolutePathExpansion) {
  EXPECT_EQ(expand_absolute_path("..\\b\\c.txt", "C:\\x\\y"), "C:\\x\\b\\c.txt");
  EXPECT_EQ(expand_absolute_path(".\\..\\.\\..\\z", "C:\\x\\y\\"), "C:\\z");
  EXPECT_EQ(expand_absolute_path("D:\\a", "C:\\x"), "D:\\a");
  EXPECT_EQ(expand_absolute_path("/a", "/b"), "/a");
  EXPECT_EQ(expand_absolute_path("c/d", "/a/b/"), "/a/b/c/d");
  EXPECT_EQ(expand_absolute_path("../../../../x", "/a"), "x");
  EXPECT_EQ(u(expand_absolute_path(sjis("..\\ソ"), sjis("C:\\表\\ソ"))), "C:\\表\\ソ");
}

TEST(Paths, WildcardDetection) {
  EXPECT_TRUE(has_wildcard("a*.txt"));
  EXPECT_TRUE(has_wildcard("a?.txt"));
  EXPECT_FALSE(has_wildcard(sjis("表ソ.txt")));
}

}  // namespace
}  // namespace morivel::text
