// The security policy: silent inside the script's folder, questions elsewhere, levels, the policy
// file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "commands/registry.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::text::sjis;
namespace fs = std::filesystem;

namespace {

class AskingHost : public engine::Host {
 public:
  void ShowText(const std::string&) override {}
  void ShowMessage(const std::string& text) override { messages += text::to_utf8(text) + "\n"; }
  engine::ErrorChoice ShowErrorDialog(const std::string&) override {
    return engine::ErrorChoice::Quit;
  }
  void CloseMainWindow() override {}
  void Wait(double) override {}
  void StartTimer(int, std::function<void()>) override {}
  void StopTimer() override {}
  std::string ChooseButton(const std::string&, const std::string&) override {
    ++questions;
    return sjis(answer);
  }
  std::string answer = "いいえ";
  int questions = 0;
  std::string messages;
};

struct Policy : ::testing::Test {
  fs::path folder = fs::temp_directory_path() / ("morivel-security-" + std::to_string(::getpid()));
  AskingHost host;
  std::unique_ptr<commands::BuiltinVocabulary> vocabulary;
  std::unique_ptr<engine::Interpreter> in;

  void SetUp() override {
    fs::create_directories(folder);
    commands::PlatformInfo platform;
    platform.script_folder = text::from_utf8(folder.string() + "/");
    vocabulary = std::make_unique<commands::BuiltinVocabulary>(platform);
    in = std::make_unique<engine::Interpreter>(host, *vocabulary);
    in->PrepareRun("", text::from_utf8((folder / "script.mrv").string()));
  }
  void TearDown() override { fs::remove_all(folder); }
  bool refused(const std::string& target) {
    return commands::CheckFileOperation(*in, text::from_utf8(target), sjis("書きますか？"));
  }
};

}  // namespace

TEST_F(Policy, MiddleLevelAsksOnlyOutsideTheScriptFolder) {
  // A relative name is taken against the working folder, here the script's own.
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  EXPECT_FALSE(refused("data.txt"));
  std::filesystem::current_path(saved);
  EXPECT_FALSE(refused((folder / "sub" / "a.txt").string()));
  EXPECT_EQ(host.questions, 0);
  EXPECT_TRUE(refused("/tmp/elsewhere.txt"));
  EXPECT_EQ(host.questions, 1);
  host.answer = "はい";
  EXPECT_FALSE(refused("/tmp/elsewhere.txt"));
  EXPECT_FALSE(refused((folder / "x*.txt").string()));  // asked: a pattern always asks
  EXPECT_EQ(host.questions, 3);
}

TEST_F(Policy, AnswersForAllChangeTheLevelForTheRestOfTheRun) {
  host.answer = "全てはい";
  EXPECT_FALSE(refused("/tmp/a.txt"));
  EXPECT_FALSE(refused("/tmp/b.txt"));
  EXPECT_EQ(host.questions, 1);
  in->State().SecurityLevel = 1;
  host.answer = "全ていいえ";
  EXPECT_TRUE(refused("/tmp/c.txt"));
  EXPECT_TRUE(refused("inside.txt"));
  EXPECT_EQ(host.questions, 2);
}

TEST_F(Policy, HighRefusesSilentlyAndSecurityIniIsNeverTouched) {
  in->State().SecurityLevel = 2;
  EXPECT_TRUE(refused("inside.txt"));
  in->State().SecurityLevel = 0;
  EXPECT_FALSE(refused("/tmp/anything.txt"));
  EXPECT_TRUE(refused((folder / "SECURITY.INI").string()));
  EXPECT_NE(host.messages.find("security.ini"), std::string::npos);
  EXPECT_EQ(host.questions, 0);
}

TEST_F(Policy, PolicyFileInTheScriptFolderSetsTheLevel) {
  std::ofstream(folder / "security.ini") << "[script.mrv]\r\nsecurity=low\r\n";
  EXPECT_EQ(commands::LoadSecurityLevel(*in), 0);
  std::ofstream(folder / "security.ini") << "[other.mrv]\r\nsecurity=high\r\n";
  EXPECT_EQ(commands::LoadSecurityLevel(*in), 1);
  std::ofstream(folder / "security.ini") << "[SCRIPT.MRV]\r\nSecurity=High\r\n";
  EXPECT_EQ(commands::LoadSecurityLevel(*in), 2);
}
