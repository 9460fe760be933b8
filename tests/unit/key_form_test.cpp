// Key forms of command names: a run of okurigana goes on across single-byte characters.
#include <gtest/gtest.h>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::text {
namespace {

TEST(KeyForm, SingleByteCharactersNeitherStartNorEndARun) {
  EXPECT_EQ(strip_okurigana(sjis("文字コードをEUCに変換")), sjis("文字コードEUC変換"));
  EXPECT_EQ(strip_okurigana(sjis("文字コードをJISに変換")), sjis("文字コードJIS変換"));
  EXPECT_EQ(strip_okurigana(sjis("文字コードをSJISに変換")), sjis("文字コードSJIS変換"));
  EXPECT_EQ(strip_okurigana(sjis("レジストリのDWORDを読む")), sjis("レジストリDWORD読"));
  EXPECT_EQ(strip_okurigana(sjis("レジストリにDWORDを書く")), sjis("レジストリDWORD書"));
  // Hiragana after single-byte characters alone (nothing double-byte before) stays.
  EXPECT_EQ(strip_okurigana(sjis("DLLを利用")), sjis("DLLを利用"));
}

}  // namespace
}  // namespace morivel::text
