// INI text edited in place.
#include <gtest/gtest.h>

#include "formats/ini.h"
#include "text/encoding.h"

namespace morivel::formats {
namespace {

using text::sjis;

TEST(IniDocument, ReadsWithoutCaseTrimmedAndUnquoted) {
  IniDocument doc = IniDocument::Parse("; note\r\n[Main]\r\n Name = \"a b\" \r\nx=1\n[other]\nx=2");
  EXPECT_EQ(doc.Read("MAIN", "name"), "a b");
  EXPECT_EQ(doc.Read("main", "X"), "1");
  EXPECT_EQ(doc.Read("Other", "x"), "2");
  EXPECT_EQ(doc.Read("main", "y"), std::nullopt);
  EXPECT_EQ(doc.Read("none", "x"), std::nullopt);
}

TEST(IniDocument, WritesReplaceInPlaceOrAppendToTheSection) {
  IniDocument doc = IniDocument::Parse("[a]\r\nk=1\r\n\r\n[b]\r\nk=2\r\n");
  doc.Write("A", "K", "10");
  doc.Write("a", "new", "3");
  doc.Write("c", "k", "4");
  EXPECT_EQ(doc.Text(), "[a]\r\nK=10\r\nnew=3\r\n\r\n[b]\r\nk=2\r\n[c]\r\nk=4\r\n");
}

TEST(IniDocument, JapaneseNamesWithTrailByte5CAndLetterTrailBytes) {
  // 表 ends in 0x5C; ア's trail byte is 0x41 ("A"), which must not be case-folded into "a".
  IniDocument doc;
  doc.Write(sjis("表ソ"), sjis("ア"), sjis("値=能"));
  EXPECT_EQ(doc.Read(sjis("表ソ"), sjis("ア")), sjis("値=能"));
  EXPECT_EQ(doc.Read(sjis("表ソ"), sjis("ぁ")), std::nullopt);
  EXPECT_EQ(IniDocument::Parse(doc.Text()).Read(sjis("表ソ"), sjis("ア")), sjis("値=能"));
}

}  // namespace
}  // namespace morivel::formats
