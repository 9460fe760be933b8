// Declared shared-library functions: libc and the tests' own callee library, through scripts.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cfenv>

#include "bridges/families.h"
#include "bridges/shared_library.h"
#include "commands/registry.h"
#include "engine/interpreter.h"
#include "recording_host.h"
#include "text/encoding.h"
#include "text/sjis.h"

using namespace morivel;

namespace {

using DllHost = morivel::testing::RecordingHost;

commands::PlatformInfo beside_callee() {
  commands::PlatformInfo info;
  info.script_folder = MORIVEL_DLL_CALLEE_DIR;
  return info;
}

// One run; with `keep_going` errors are skipped and the run goes on with the next statement.
struct DllRun {
  DllHost host;
  commands::BuiltinVocabulary vocabulary{beside_callee()};
  engine::Interpreter in{host, vocabulary};
  std::string errors;

  DllRun(const std::string& utf8_script, bool keep_going = false) {
    bridges::register_dll(vocabulary.Handlers());
    if (keep_going) in.SetErrorMode(engine::ErrorMode::Ignore);
    try {
      in.PrepareRun(text::sjis(utf8_script), "dll.mrv");
      in.StartAtBeginning();
      in.RunMainLoop();
    } catch (const engine::EMorv&) {
    }
    errors = text::to_utf8(in.ErrorLog());
  }
};

// The callee library declared under the .dll name a script would use.
const std::string kUse = "「dll_callee.dll」の";

std::string declare(const std::string& prototype, const std::string& templ,
                    const std::string& name) {
  return kUse + "「" + prototype + "」を「" + templ + "」の「" + name + "」としてDLLを利用\n";
}

TEST(DllImport, LibcFunctionsTakeAndReturnText) {
  DllRun run(
      "「libc.so.6」の「strlen(?の)」を「長さ」でDLL宣言\n"
      "「日本語abc」の長さ\nそれを表示\n"
      "「libc.so.6」の「getenv(?の)」を「環境」で文字型DLL宣言\n"
      "「MORIVEL_NO_SUCH_VARIABLE_X」の環境\nそれを表示\n"
      "「libc.so.6」の「int abs(int)」を「?の」の「絶対値取得」としてDLLを利用\n"
      "-42の絶対値取得\nそれを表示\n"
      "(絶対値取得(-7)+1)を表示\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output, "9\n\n42\n8\n");
}

// libm's rounding-mode calls take and return plain ints: a mode set through one declared
// function is what the other reads back, and a mode the library does not know is refused.
TEST(DllImport, LibmFunctionsSeeEachOthersState) {
  DllRun run(
      "「libm.so.6」の「int fegetround(void)」を「」の「丸め方」としてDLLを利用\n"
      "「libm.so.6」の「int fesetround(int)」を「?に」の「丸め設定」としてDLLを利用\n"
      "最初=丸め方\n"
      "下向き=丸め設定(1024)\n"
      "設定後=丸め方\n"
      "不明=丸め設定(12345)\n"
      "不明後=丸め方\n"
      "復元=丸め設定(最初)\n"
      "最初&「,」&下向き&「,」&設定後&「,」&(不明<>0)&「,」&不明後&「,」&復元&「,」&"
      "丸め方を表示\n");
  std::fesetround(FE_TONEAREST);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output, "0,0,1024,1,1024,0,0\n");
}

TEST(DllImport, DllNameFindsSharedObjectBesideScript) {
  DllRun run(declare("int callee_add(int,int)", "?と,?を", "足し算") +
             "3と4を足し算\nそれを表示\n足し算(10,-20)を表示\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output, "7\n-10\n");
}

TEST(DllImport, TypeLettersAtTheirLimits) {
  DllRun run(declare("word callee_word(word)", "?を", "語") +
             declare("dword callee_dword(dword)", "?を", "倍語") +
             declare("int callee_int(int)", "?を", "整数値") +
             declare("bool callee_int(bool)", "?を", "真偽") +
             declare("word callee_wide_word(void)", "", "広語") +
             "語(0)を表示\n語(65535)を表示\n倍語(4294967295)を表示\n倍語(0)を表示\n"
             "整数値(-2147483648)を表示\n整数値(2147483647)を表示\n整数値(2.5)を表示\n"
             "整数値(3.5)を表示\n真偽(5)を表示\n真偽(0)を表示\n広語を表示\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output,
            "0\n65535\n4294967295\n0\n-2147483648\n2147483647\n2\n4\n-1\n0\n22136\n");

  for (const char* call : {"語(65536)", "語(70000)", "語(-1)", "倍語(4294967296)", "倍語(-1)",
                           "整数値(2147483648)", "整数値(-2147483649)"}) {
    DllRun out_of_range(declare("word callee_word(word)", "?を", "語") +
                        declare("dword callee_dword(dword)", "?を", "倍語") +
                        declare("int callee_int(int)", "?を", "整数値") + call + "を表示\n");
    EXPECT_NE(out_of_range.errors.find("の呼び出しに失敗しました。"), std::string::npos)
        << call << ": " << out_of_range.errors;
    EXPECT_EQ(out_of_range.host.output, "") << call;
  }
}

TEST(DllImport, VoidParametersTakeNoArguments) {
  DllRun run(declare("void callee_set_flag(void)", "", "旗立て") +
             declare("int callee_flag(void)", "", "旗") + "旗立て\n旗を表示\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output, "7\n");
}

TEST(DllImport, TextsCrossBothWays) {
  DllRun run(declare("char* callee_greet(char*)", "?に", "挨拶文") +
             declare("char* callee_null_text(void)", "", "空文") +
             "「世界」に挨拶文\nそれを表示\n空文\n「[」&それ&「]」を表示\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output, "Hello, 世界\n[]\n");
}

TEST(DllImport, CalleeWritesIntoReservedBuffer) {
  DllRun run(declare("int callee_fill(char*,int)", "?に,?で", "書込") +
             "Bに64バイトを確保\nBに64で書込\nそれを表示\nBを表示\n"
             "Cに8バイトを確保\nCに8で書込\nCを表示\n"
             "「libc.so.6」の「strcpy(?に,?を)」を「写す」でDLL宣言\n"
             "Dに16バイトを確保\nDに「copied」を写す\nDを表示\n" +
             kUse +
             "「callee_upper(?を)」を「大文字化」で文字型DLL宣言\n"
             "E=「abc」\nEを大文字化\nそれを表示\nEを表示\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.host.output, "17\nwritten by callee\nwritten\ncopied\nABC\nABC\n");
}

TEST(DllImport, FaultingCalleeFailsTheCallAndTheRunGoesOn) {
  DllRun run(declare("int callee_segfault(void)", "", "落ちる") +
                 declare("int callee_divide(int,int)", "?を,?で", "割り算") +
                 declare("int callee_bus_error(void)", "", "バス") + kUse +
                 "「callee_segfault」を「型なし落ちる」でDLL宣言\n"
                 "落ちる\n「次」を表示\n10を0で割り算\n10を2で割り算\nそれを表示\nバス\n"
                 "型なし落ちる\n「最後」を表示\n",
             true);
  EXPECT_EQ(run.host.output, "次\n5\n最後\n");
  for (const char* name : {"落ちる", "割り算", "バス", "型なし落ちる"})
    EXPECT_NE(
        run.errors.find(std::string("外部DLLからの関数\"") + name + "\"の呼び出しに失敗しました。"),
        std::string::npos)
        << name << ": " << run.errors;
}

// A function declared with a text result that returns a small number: reading "its text" would
// fault in the interpreter itself, after the call, and must fail the call the same way.
TEST(DllImport, TextResultThatIsNoAddressFailsTheCall) {
  DllRun run(declare("char* callee_int(int)", "?を", "文字化") + kUse +
                 "「callee_join_length(?,?,?)」を「型なし文字化」で文字型DLL宣言\n"
                 "5を文字化\n「次」を表示\n型なし文字化(「a」,「b」,「c」)\n「最後」を表示\n",
             true);
  EXPECT_EQ(run.host.output, "次\n最後\n");
  for (const char* name : {"文字化", "型なし文字化"})
    EXPECT_NE(
        run.errors.find(std::string("外部DLLからの関数\"") + name + "\"の呼び出しに失敗しました。"),
        std::string::npos)
        << name << ": " << run.errors;
}

TEST(DllImport, DeclarationsAreChecked) {
  DllRun three_for_two(declare("int callee_add(int,int,int)", "?と,?を", "足す二"));
  EXPECT_NE(three_for_two.errors.find("\"DLLを利用\"命令の引数に誤りがあります。"),
            std::string::npos)
      << three_for_two.errors;
  DllRun unknown_type(declare("int callee_add(long,int)", "?と,?を", "足す三"));
  EXPECT_NE(unknown_type.errors.find("\"DLLを利用\"命令の引数に誤りがあります。"),
            std::string::npos)
      << unknown_type.errors;
  DllRun no_library("「no_such_library.dll」の「f」を「関数」でDLL宣言\n");
  EXPECT_NE(no_library.errors.find("DLL\"no_such_library.dll\"が見つかりません。"),
            std::string::npos)
      << no_library.errors;
  DllRun no_function(kUse + "「callee_missing」を「関数」でDLL宣言\n");
  EXPECT_NE(
      no_function.errors.find("DLL\"dll_callee.dll\"の関数\"callee_missing\"が見つかりません。"),
      std::string::npos)
      << no_function.errors;
  DllRun six(kUse +
             "「callee_add(?,?,?,?,?,?)」を「六個」でDLL宣言\n「宣言済」を表示\n"
             "六個(1,2,3,4,5,6)\n");
  EXPECT_EQ(six.host.output, "宣言済\n");
  EXPECT_NE(six.errors.find("DLLからインポートした命令\"六個\"の定義が間違っています。"),
            std::string::npos)
      << six.errors;
}

// Every declaration holds its module until the run ends; then none is left loaded.
TEST(DllImport, LibrariesAreReleasedWhenTheRunEnds) {
  const std::string path = std::string(MORIVEL_DLL_CALLEE_DIR) + "libdll_callee.so";
  auto loaded = [&path] {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle != nullptr;
  };
  ASSERT_FALSE(loaded());
  {
    DllRun run(declare("int callee_add(int,int)", "?と,?を", "足し算") +
               declare("int callee_int(int)", "?を", "整数値") + "1と2を足し算\nそれを表示\n");
    EXPECT_EQ(run.host.output, "3\n");
    EXPECT_TRUE(loaded());
  }
  EXPECT_FALSE(loaded());
}

TEST(DllImport, LibraryCandidatesForDllNames) {
  EXPECT_EQ(bridges::library_candidates("libc.so.6", "/s/"),
            (std::vector<std::string>{"libc.so.6", "/s/libc.so.6"}));
  EXPECT_EQ(bridges::library_candidates("User32.DLL", "/s/"),
            (std::vector<std::string>{
                "User32.DLL", "/s/User32.DLL", "/s/libUser32.so", "libUser32.so", "/s/User32.so",
                "User32.so", "/s/libuser32.so", "libuser32.so", "/s/user32.so", "user32.so"}));
  EXPECT_EQ(bridges::library_candidates("/opt/x.dll", "/s/"),
            (std::vector<std::string>{"/opt/x.dll", "/opt/libx.so", "/opt/x.so"}));
}

}  // namespace
