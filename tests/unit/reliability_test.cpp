// Hostile and large inputs: bounded error log, word tables with crowded buckets, whole-file
// writes that never lose the old content, and the start-up's command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "recording_host.h"
#include "startup/archive.h"
#include "startup/options.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/hash.h"

using namespace morivel;
using morivel::text::sjis;
namespace fs = std::filesystem;

namespace {

using QuietHost = morivel::testing::RecordingHost;

struct ScriptRun {
  QuietHost host;
  commands::BuiltinVocabulary vocabulary;
  engine::Interpreter in{host, vocabulary};

  explicit ScriptRun(const std::string& utf8_script) {
    try {
      in.PrepareRun(sjis(utf8_script), "test.mrv");
      in.StartAtBeginning();
      in.RunMainLoop();
    } catch (const engine::EMorv&) {
    }
  }
};

std::size_t lines_in(const std::string& s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

}  // namespace

TEST(ErrorLog, KeepsOnlyItsLastLinesWhileErrorsAreIgnored) {
  ScriptRun r("エラーを無視\n5000回(/)\n「済」を表示");
  EXPECT_EQ(r.host.output, "済\n");
  std::size_t lines = lines_in(r.in.ErrorLog());
  EXPECT_GE(lines, engine::Interpreter::kMaxErrorLogLines);
  EXPECT_LE(lines, 2 * engine::Interpreter::kMaxErrorLogLines);
  // Whole lines are dropped from the front: the log still starts with an error line.
  EXPECT_EQ(r.in.ErrorLog().rfind(sjis("[エラー]"), 0), 0u);
}

TEST(WordTable, NamesWithTheSameByteSumStayApart) {
  words::THash table;
  // "ab" and "ba" (and "`c") fall into one bucket; each must be found, replaced and deleted
  // on its own, and the listing keeps insertion order within the bucket.
  for (const char* name : {"ab", "ba", "`c"})
    table.Add(words::THashNode::CreateVariable(name, false, 0, std::string(name) + "!"));
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.GetValueOf("ba"), "ba!");
  table.Add(words::THashNode::CreateVariable("ab", false, 0, "new"));
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.GetValueOf("ab"), "new");
  std::vector<std::string> names;
  for (const words::THashNode* w : table.Enumerate()) names.push_back(w->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"ab", "ba", "`c"}));
  EXPECT_EQ(table.Delete("ba"), 2);
  EXPECT_EQ(table.Find("ba"), nullptr);
  EXPECT_EQ(table.GetValueOf("`c"), "`c!");
  EXPECT_EQ(table.Delete("ba"), -1);
  table.Add(words::THashNode::CreateVariable("ba", false, 0, "again"));
  EXPECT_EQ(table.GetValueOf("ba"), "again");
}

TEST(WordTable, ManyWordsAreAllFound) {
  words::THash table;
  constexpr int kWords = 200000;
  for (int i = 0; i < kWords; ++i)
    table.Add(
        words::THashNode::CreateVariable("k" + std::to_string(i), false, 0, std::to_string(i)));
  EXPECT_EQ(table.Count(), kWords);
  EXPECT_EQ(table.GetValueOf("k123456"), "123456");
  EXPECT_EQ(table.GetValueOf("k199999"), "199999");
  EXPECT_EQ(table.Find("k200000"), nullptr);
}

class WholeFileWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("morivel-write-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder_, ec);
  }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::path folder_;
};

TEST_F(WholeFileWrite, ReplacesTheFileKeepingItsModeAndLeavesNoTemporaryFile) {
  fs::path file = folder_ / "a.txt";
  ASSERT_TRUE(startup::WriteWholeFile(file, "old"));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(startup::WriteWholeFile(file, std::string("n\0w", 3)));
  EXPECT_EQ(read(file), std::string("n\0w", 3));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(WholeFileWrite, FailureLeavesTheOldContent) {
  fs::path file = folder_ / "keep.txt";
  ASSERT_TRUE(startup::WriteWholeFile(file, "precious"));
  // No temporary file can be made in a folder without write permission (as on a full disk,
  // the new bytes cannot be stored): the old content must survive.
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  EXPECT_FALSE(startup::WriteWholeFile(file, "lost?"));
  EXPECT_EQ(read(file), "precious");
}

TEST_F(WholeFileWrite, WritesThroughASymbolicLink) {
  fs::path real = folder_ / "real.txt", link = folder_ / "link.txt";
  ASSERT_TRUE(startup::WriteWholeFile(real, "1"));
  fs::create_symlink(real, link);
  ASSERT_TRUE(startup::WriteWholeFile(link, "2"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read(real), "2");
}

TEST(StartupOptions, HelpVersionStandardInputAndUnknownOptions) {
  EXPECT_TRUE(startup::ParseOptions({"--help"}).help);
  EXPECT_TRUE(startup::ParseOptions({"-h"}).help);
  EXPECT_TRUE(startup::ParseOptions({"--version"}).version);
  EXPECT_EQ(startup::ParseOptions({"-console", "-"}).start_file, "-");
  EXPECT_EQ(startup::ParseOptions({"-bogus", "a.mrv"}).unknown_option, "-bogus");
  // After the script, every parameter is the script's own.
  startup::Options o = startup::ParseOptions({"a.mrv", "-bogus", "--help", "-"});
  EXPECT_EQ(o.unknown_option, "");
  EXPECT_FALSE(o.help);
  EXPECT_EQ(o.start_file, "a.mrv");
  EXPECT_EQ(startup::ParseOptions({"-run", "a.mrv"}).unknown_option, "");
  EXPECT_NE(startup::UsageText("morivel").find("-security"), std::string::npos);
}
