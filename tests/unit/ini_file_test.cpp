// INI documents rewritten byte for byte, and INI files updated under a lock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "formats/ini.h"
#include "text/encoding.h"

namespace morivel::formats {
namespace {

namespace fs = std::filesystem;
using text::sjis;

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(IniDocumentBytes, UnchangedLinesKeepTheirOwnLineEnds) {
  const std::string mixed = "; head\n[a]\r\nk = ' v ' \rx=1\n\n[b]\nk=2";
  EXPECT_EQ(IniDocument::Parse(mixed).Text(), mixed);
  EXPECT_EQ(IniDocument::Parse(mixed).Read("a", "k"), " v ");

  IniDocument doc = IniDocument::Parse(mixed);
  doc.Write("A", "x", "9");
  EXPECT_EQ(doc.Text(), "; head\n[a]\r\nk = ' v ' \rx=9\n\n[b]\nk=2");
  // New lines take the file's first line end; a last line without one gets it first.
  doc.Write("b", "new", "3");
  doc.Write("c", "k", "4");
  EXPECT_EQ(doc.Text(), "; head\n[a]\r\nk = ' v ' \rx=9\n\n[b]\nk=2\nnew=3\n[c]\nk=4\n");
}

TEST(IniDocumentBytes, CommentsAndKeysBeforeAnySectionAreNotEntries) {
  IniDocument doc = IniDocument::Parse("top=0\r\n[s]\r\n;k=comment\r\nk\r\n[t]\r\nk=1\r\n");
  EXPECT_EQ(doc.Read("", "top"), std::nullopt);
  EXPECT_EQ(doc.Read("s", "k"), std::nullopt);
  EXPECT_EQ(doc.Read("s", ";k"), std::nullopt);
  doc.Write("s", "k", "2");
  EXPECT_EQ(doc.Text(), "top=0\r\n[s]\r\n;k=comment\r\nk\r\nk=2\r\n[t]\r\nk=1\r\n");
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("morivel-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(IniFileTest, UpdatesCreateAndRewriteTheFile) {
  fs::path file = dir_ / sjis("設定ソ.ini");
  EXPECT_EQ(ReadIniFile(file)->Text(), "");
  ASSERT_TRUE(UpdateIniFile(file, [](IniDocument& d) { d.Write(sjis("表"), "k", "1"); }));
  ASSERT_TRUE(UpdateIniFile(file, [](IniDocument& d) { d.Write(sjis("表"), "K", "2"); }));
  EXPECT_EQ(read_all(file), sjis("[表]\r\nK=2\r\n"));
  EXPECT_EQ(ReadIniFile(file)->Read(sjis("表"), "k"), "2");
  // Nothing is left beside the file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IniFileTest, FailuresLeaveNoFileBehind) {
  EXPECT_FALSE(UpdateIniFile(dir_, [](IniDocument& d) { d.Write("s", "k", "v"); }));
  EXPECT_FALSE(
      UpdateIniFile(dir_ / "missing" / "x.ini", [](IniDocument& d) { d.Write("s", "k", "v"); }));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

// Writers that read, change and rename at once: without the lock one's rename throws the
// other's change away.
TEST_F(IniFileTest, ConcurrentWritersOfDifferentKeysLoseNothing) {
  fs::path file = dir_ / "shared.ini";
  constexpr int kWrites = 150;
  auto writer = [&](std::string section) {
    for (int i = 0; i < kWrites; ++i)
      UpdateIniFile(file, [&](IniDocument& d) { d.Write(section, "k" + std::to_string(i), "v"); });
  };
  std::thread a(writer, "a"), b(writer, "b");
  a.join();
  b.join();
  std::optional<IniDocument> doc = ReadIniFile(file);
  ASSERT_TRUE(doc);
  int missing = 0;
  for (const char* section : {"a", "b"})
    for (int i = 0; i < kWrites; ++i)
      if (doc->Read(section, "k" + std::to_string(i)) != "v") ++missing;
  EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace morivel::formats
