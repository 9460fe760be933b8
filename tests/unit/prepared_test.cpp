// Texts read once and kept must give exactly what reading them again gives: each script runs
// with the caches and without them, and both runs must print and fail alike. The scripts change
// the words (名義変更, new variables) and the program text (取り込む, もりべるする) inside loops.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <vector>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "expr/evaluator.h"
#include "text/encoding.h"
#include "text/sjis.h"

using namespace morivel;
using morivel::text::sjis;

namespace {

class RecordingHost : public engine::Host {
 public:
  void ShowText(const std::string& text) override { output += text::to_utf8(text) + "\n"; }
  void ShowMessage(const std::string& text) override {
    output += "[msg]" + text::to_utf8(text) + "\n";
  }
  engine::ErrorChoice ShowErrorDialog(const std::string& log) override {
    output += "[error]" + text::to_utf8(log) + "\n";
    return engine::ErrorChoice::Continue;
  }
  void CloseMainWindow() override {}
  void Wait(double) override {}
  void StartTimer(int, std::function<void()>) override {}
  void StopTimer() override {}
  std::string output;
};

// 七 gives 7 and takes nothing: a word that turns from unknown into a command when renamed.
void seven(engine::Interpreter& in) {
  in.SetResult("7", "e");
}

class TestVocabulary : public commands::BuiltinVocabulary {
 public:
  void Register(words::TMorvBase& state) const override {
    commands::BuiltinVocabulary::Register(state);
    state.Words.Add(std::make_unique<words::THashNode>(sjis("七"), false, nullptr, words::kCommand,
                                                       592, "", "", ""));
  }
  engine::Handler HandlerFor(int id) const override {
    if (id == 592) return seven;
    return commands::BuiltinVocabulary::HandlerFor(id);
  }
};

// `compiled_calls`, when given, learns how many calls ran as compiled steps.
std::string run(const std::string& utf8_script, bool preparing, int nesting_limit = 200,
                std::uint64_t* compiled_calls = nullptr) {
  RecordingHost host;
  TestVocabulary vocabulary;
  engine::Interpreter in{host, vocabulary};
  try {
    in.PrepareRun(sjis(utf8_script), "test.mrv");
    in.SetPreparing(preparing);
    in.SetNestingLimit(nesting_limit);
    in.StartAtBeginning();
    in.RunMainLoop();
  } catch (const engine::EMorv&) {
    host.output += "[stopped]" + text::to_utf8(in.ErrorLog());
  }
  if (compiled_calls) *compiled_calls = in.CompiledCallCount();
  return host.output;
}

// Runs the script both ways; both must print `expected`.
void expect_same(const std::string& script, const std::string& expected) {
  std::string read_again = run(script, false);
  std::string prepared = run(script, true);
  EXPECT_EQ(read_again, expected) << script;
  EXPECT_EQ(prepared, read_again) << script;
}

// Runs the script both ways; both must print alike, and what they print must hold each of
// `expected`.
void expect_same_holding(const std::string& script, std::initializer_list<const char*> expected) {
  std::string read_again = run(script, false);
  for (const char* part : expected)
    EXPECT_NE(read_again.find(part), std::string::npos) << part << "\n" << read_again;
  EXPECT_EQ(run(script, true), read_again) << script;
}

TEST(Prepared, ArithmeticMatchesReadingAgain) {
  expect_same(
      "S=0\nIを1から30まで繰り返す(\n  S=(S*31+I*I%7+I)%1000003\n)\nSを表示\n"
      "A=-5^2\nAを表示\nB=10/4\nBを表示\nC=2^0.5\nCを表示\nD=1E15+1\nDを表示\n"
      "E=0.1+0.2\nEを表示\nF=$FF+1\nFを表示\nG=999999999999999+0\nGを表示\n"
      "H=-0\nHを表示\nJ=7/3*3\nJを表示\n",
      "455425\n25\n2.5\n1.4142135623731\n1E15\n0.3\n256\n999999999999999\n-0\n7\n");
}

TEST(Prepared, TextsComparisonsAndJoinsMatchReadingAgain) {
  expect_same(
      "A=「ab」\nB=A&1&「c」\nBを表示\nC=A=「ab」\nCを表示\nD=「b」>「a」\nDを表示\n"
      "E=A&(1+2)\nEを表示\nF=1&2+3\nFを表示\nG=(1<2)&&(3>2)\nGを表示\nH=「」\n"
      "I=H&「x」\nIを表示\nJ=未知語\nJを表示\nK=-(2+3)*2\nKを表示\n",
      "ab1c\n1\n1\nab3\n15\n1\nx\n未知語\n-10\n");
}

TEST(Prepared, ErrorsMatchReadingAgain) {
  expect_same("A=7%0\n「次」を表示\nB=1+\nBを表示\nC=(1\n「終」を表示\n",
              run("A=7%0\n「次」を表示\nB=1+\nBを表示\nC=(1\n「終」を表示\n", false));
}

TEST(Prepared, ElementsMatchReadingAgain) {
  expect_same(
      "A=「」\nIを0から9まで繰り返す(\n  A#(I)=I*I\n)\nS=0\nJを1から25まで繰り返す(\n"
      "  S=S+A#(J%10)\n)\nSを表示\nB=「1,2\\n3,4」\nX=B#1#1\nXを表示\nY=A#(-1)&「.」\nYを表示\n"
      // Indexes that are no whole number's digits: a fraction, one past 10^15, a text.
      "Z=A#(5/2)&「,」&A#(10^15+3)&「,」&A#(「3」)&「,」&A#(0-0)\nZを表示\n",
      "625\n4\n.\n,,9,0\n");
}

// Element assignments taken the prepared way where value and index are whole numbers: an array
// made by the assignment itself, indexes out of range, values that are no whole number, a read
// only word, a command's name and a name ending the way a statement word does.
TEST(Prepared, ElementAssignmentsMatchReadingAgain) {
  expect_same_holding(
      "A=「」\nC=「」\n3回(\n  A#(回数)=回数*10\n  Z#(回数)=回数\n  A#(0-回数)=1\n  "
      "C#(回数*600000)=2\n"
      "  A#(回数+3)=回数/4\n  A#(回数+6)=「x」&回数\n  回数#(1)=2\n  表示#(1)=3\n  Bの#(1)=4\n"
      "  A# (9)=5\n  A#(1)は7\n)\nAを表示\nZを表示\n「{Bの}」を表示\n",
      {"読取専用", "1000000"});
}

// Blocks inside blocks run as stretches of one copy; a block entered again by recursion while it
// still runs, and jumps out of inner blocks, must read the same either way.
TEST(Prepared, NestedBlocksMatchReadingAgain) {
  expect_same(
      "深く(2)\n2回(\n  もし1=1ならば(もし回数=1ならば(次へ飛ぶ)\n    「来ない」を表示\n"
      "    *次\n    「次{回数}」を表示\n  )\n)\n終わる\n*深く(?を)\nNに1番目の引数得る\n"
      "2回(\n  もしN>0ならば(\n    深く(N-1)\n    「入{N}」を表示\n  )\n)\n戻る\n",
      "入0\n入0\n次1\n来ない\n次2\n");
}

// A word that is unknown in the first passes and a command after 名義変更: the kept reading
// of "X=八" must look the word up again on every pass.
TEST(Prepared, RenamedCommandInsideLoop) {
  std::string script = "3回(\n  X=八\n  Xを表示\n  もし回数=1ならば七を`八`に名義変更\n)\n";
  std::string read_again = run(script, false);
  EXPECT_EQ(read_again.substr(0, 4), "八\n");
  EXPECT_EQ(run(script, true), read_again);
}

// A variable made inside the loop changes how the same statement reads on the next pass.
TEST(Prepared, NewWordInsideLoop) {
  expect_same("3回(\n  X=Y&「!」\n  Xを表示\n  Y=回数\n)\n", "Y!\n1!\n2!\n");
}

// もりべるする runs a new text on each pass; its memory may be reused at the same address, so
// nothing may be kept by the position of a passing text.
TEST(Prepared, ProgramTextInsideLoop) {
  expect_same(
      "S=0\nIを1から40まで繰り返す(\n  (「X=」&I&「*2」)をもりべるする\n  S=S+X\n)\nSを表示\n",
      "1640\n");
}

// A file included on each pass, rewritten between passes, runs as it is at that moment.
TEST(Prepared, IncludedFileInsideLoop) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("morivel_prepared_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  fs::path saved = fs::current_path();
  fs::current_path(folder);
  auto write = [&](const std::string& utf8) {
    std::ofstream(folder / "part.mrv", std::ios::binary) << sjis(utf8);
  };
  std::string script =
      "3回(\n  「part.mrv」を取り込む\n  Vを表示\n  「V=回数*10\\n」を「part.mrv」に保存\n)\n";
  write("V=1\n");
  std::string read_again = run(script, false);
  write("V=1\n");
  std::string prepared = run(script, true);
  fs::current_path(saved);
  fs::remove_all(folder);
  EXPECT_EQ(read_again.substr(0, 2), "1\n");
  EXPECT_EQ(prepared, read_again);
}

// Numbers kept as numbers: a variable's text is made only when read as text, and a fraction
// is read back from its 15-digit text as before, never as the exact number it came from.
TEST(Prepared, NumbersKeptAsNumbersReadAsText) {
  expect_same(
      "N=0\n3回(N=N+1)\nNを表示\nT=N&「x」\nTを表示\nNの文字数を表示\n"
      "X=1/3\nY=X*3\nYを表示\nZ=(X)*3\nZを表示\nM=N*2\nもしM=&「6」ならば「文字も6」を表示\n"
      "K=999999999999999+1\nK=K+1\nKを表示\nC=(2+3)\nC#1=9\nCを表示\n",
      "3\n3x\n1\n0.999999999999999\n0.999999999999999\n文字も6\n1E15\n5\r\n9\r\n\n");
}

// A word found once is found again when a call brings a local of the same name, when the
// call returns, and when the word becomes a dictionary and a variable again.
TEST(Prepared, WordsFoundAgainAcrossScopes) {
  expect_same(
      "N=1\nIを1から3まで繰り返す(\n  S=N*10+I\n  Sを表示\n  局所(I)\n  S=N*10+I\n  Sを表示\n)\n"
      "終わる\n*局所(?を)\nNをローカル変数\nNに1番目の引数得る\nN=N+100\nS=N*10\nSを表示\n戻る\n",
      "11\n1010\n11\n12\n1020\n12\n13\n1030\n13\n");
}

// Loops go on in place: the counter and 回数 as the body sees them, the counter overwritten by
// the body, a break from an inner loop, and an error inside a loop that the run goes past.
TEST(Prepared, LoopsGoingOnInPlace) {
  expect_same(
      "Iを1から5まで繰り返す(\n  「{I}:{回数}」を表示\n  もしI=2ならばI=4\n)\n"
      "2回(\n  3回(\n    もし回数=2ならば抜ける\n    「内{回数}」を表示\n  )\n  "
      "「外{回数}」を表示\n)\n"
      "Jを1から2まで繰り返す(\n  A=7%0\n  「J{J}」を表示\n)\n",
      run("Iを1から5まで繰り返す(\n  「{I}:{回数}」を表示\n  もしI=2ならばI=4\n)\n"
          "2回(\n  3回(\n    もし回数=2ならば抜ける\n    「内{回数}」を表示\n  )\n  "
          "「外{回数}」を表示\n)\n"
          "Jを1から2まで繰り返す(\n  A=7%0\n  「J{J}」を表示\n)\n",
          false));
  // The loop counts by itself: the body overwriting the counter changes only that pass.
  EXPECT_EQ(run("Iを1から5まで繰り返す(\n  「{I}」を表示\n  もしI=2ならばI=4\n)\n", true),
            "1\n2\n3\n4\n5\n");
}

// A loop's counter is found again when another word takes its name between passes: a local made
// inside the loop's own function, and a callee's local of the same name that goes with its call.
TEST(Prepared, LoopCountersFoundAgainWhenTheirWordChanges) {
  expect_same(
      "I=0\n数える\n「後{I}」を表示\n終わる\n"
      "*数える\nIを1から4まで繰り返す(\n  もしI=2ならばIをローカル変数\n  「{I}」を表示\n  "
      "隠す\n)\n"
      "戻る\n*隠す\nIをローカル変数\nI=9\n戻る\n",
      "1\n\n3\n4\n後2\n");
}

// 反復 goes on in place too: それ and 回数 for each item, a break, the list changed inside the
// loop (the loop walks the list it started with), a loop inside another, an empty list.
TEST(Prepared, EachLoopsGoingOnInPlace) {
  expect_same(
      "L=「a\\nb\\nc」\nLを反復(\n  「{回数}:{それ}」を表示\n  もしそれ=「b」ならば抜ける\n"
      "  L=「x」\n)\n「後{それ}」を表示\nM=「1\\n2」\nMを反復(\n  「外{それ}」を表示\n"
      "  「p\\nq」を反復(\n    「{回数}{それ}」を表示\n  )\n  「外{回数}{それ}」を表示\n)\n"
      "「」を反復(\n  「空」を表示\n)\n",
      "1:a\n2:b\n後b\n外1\n1p\n2q\n外2q\n外2\n1p\n2q\n外2q\n");
}

// A loop's pass of plain assignments runs them one after another: a failing one (回数 is read
// only) reports its own line and the pass goes on, one the prepared way cannot take (a text, a
// dictionary) runs the general way from there, errors after the loop name their line, and a
// pass cut by ";" or written on the loop's line reads as before.
TEST(Prepared, PassesOfAssignmentsMatchReadingAgain) {
  expect_same_holding(
      "N=0\nS=0\nT=「」\n辞書の名前は「太郎」\n(N<4)でループ(\n  N=N+1\n  S=S+N*N\n  T=T&N\n"
      "  回数=N\n  U=N*「2」\n  V=S/N\n  "
      "W=辞書\n)\n「{S},{T},{U},{V}」を表示\nWの名前を表示\n回数=1\n"
      "3回(A=回数*2)\nAを表示\nIを1から3まで繰り返す(\n  B=I;C=B*I\n  E=C+I\n)\n"
      "「{B},{C},{E}」を表示\nM=0\n(M*1E18%7<9)でループ(\n  M=M+1\n  K=M\n\n)\nMを表示\n",
      {"30,1234,8,7.5\n太郎\n", "(9行目)", "(16行目)", "6\n", "3,9,12",
       "(28行目): 実行制御でエラー"});
}

// Values that are no whole numbers for many passes in a row, then whole again, then a fraction:
// the integer steps, tried only now and then after a run of misses, must never change a result.
TEST(Prepared, IntegerStepsAfterManyMissesMatchReadingAgain) {
  expect_same_holding(
      "S=0\nIを1から300まで繰り返す(\n  もしI<100ならばV=I/4\n  もしI>=100ならばV=I\n"
      "  もしI=250ならばV=「7」\n  W=(V*2+1)%1000\n  S=S+W\n)\nSを表示\nWを表示\n",
      {"\n601\n"});
}

// A kept pass finds its words as the statements would: a callee's local hiding a global of the
// same name, a word the first pass makes, the global again once the call is over.
TEST(Prepared, PassesFindTheirWordsAgain) {
  expect_same_holding(
      "N=0\nM=「外」\n集計\n集計\n「{N},{M}」を表示\n終わる\n*集計\nMをローカル変数\nM=0\n"
      "3回(\n  M=M+回数\n  N=N+M\n  新=M*2\n)\n「{M},{新}」を表示\n戻る\n",
      {"6,12\n6,12\n20,外\n"});
}

// A word splits at its particle by the names there are: once a variable named 「AとB」 exists,
// the same statement reads that name and を instead of A and と. The kept split must see it.
TEST(Prepared, WordSplitFollowsNewNames) {
  std::string script = "A=「甲」\nB=「乙」\n2回(\n  AとBを表示\n  AとB=「丙」\n)\n";
  std::string read_again = run(script, false);
  EXPECT_NE(read_again.find("丙\n"), std::string::npos) << read_again;
  EXPECT_EQ(run(script, true), read_again);
}

// Plain statements pushed again from what they read the first time: a statement whose word
// splits otherwise once a name exists, a statement continued over a line break by a comma (the
// lines after it must still count that break), and an unknown command failing on every pass.
TEST(Prepared, PlainStatementsReadAgainWhenTheirWordsChange) {
  std::string script =
      "A=1\nB=2\n2回(\n  AとBを表示\n  AとB=「丙」\n)\n"
      "2回(\n  Aに、\n  Bを足す\n  それを表示\n  Aを謎\n)\nAを謎めく\n";
  std::string read_again = run(script, false);
  EXPECT_NE(read_again.find("丙\n3\n"), std::string::npos) << read_again;
  EXPECT_NE(read_again.find("\n5\n"), std::string::npos) << read_again;
  EXPECT_NE(read_again.find("(11行目)"), std::string::npos) << read_again;  // Aを謎
  EXPECT_NE(read_again.find("(13行目)"), std::string::npos) << read_again;  // Aを謎めく
  EXPECT_EQ(run(script, true), read_again);
}

// "A の B" reads on by A's value (a variable naming a dictionary takes the key): a statement
// whose reading depended on a value is never pushed again from a recording.
TEST(Prepared, StatementsReadByAValueAreReadAgain) {
  std::string script =
      "辞書のキーは「値」\nP=「何も」\nIを1から3まで繰り返す(\n  Pのキーを表示\n  P=「辞書」\n)\n";
  std::string read_again = run(script, false);
  EXPECT_NE(read_again.find("値\n値\n"), std::string::npos) << read_again;
  EXPECT_EQ(run(script, true), read_again);
}

// 「XがY」 splits at が only when X is a known word: the kept reading of a condition must follow
// the names, and a condition running over a line break still counts that line.
TEST(Prepared, ConditionsReadAgainWhenTheirWordsChange) {
  std::string script =
      "Y=1\n3回(\n  もしXがYならば(「同じ」を表示)\n  違えば(「違う{回数}」を表示)\n  X=2\n)\n"
      "2回(\n  もしY=1\n  ならば(「一」を表示)\n  謎\n)\n2回(\n  もしY=七(1)\n  "
      "ならば(「一」を表示)\n)\n";
  expect_same_holding(script, {"同じ\n違う2\n違う3\n一\n", "(10行目)"});  // 10: 謎
}

// A もし chain read once is taken whole: the conditions, the blocks over several lines, where
// reading goes on and the line counted there, also when the chain follows a one-line block.
TEST(Prepared, IfChainsReadOnceCountTheirLines) {
  std::string script =
      "3回(\n  もし回数=1ならば(\n    「一」を表示\n  )\n  違えば もし回数=2ならば(\n"
      "    「二」を表示\n  )\n  違えば(\n    「他」を表示\n    謎\n  )謎4\n  謎2\n)\n"
      "2回(もし回数=1ならば「a」を表示)\n違えば「b」を表示\n謎3\n";
  expect_same_holding(script,
                      {"一\n", "二\n", "他\n", "(10行目)", "(11行目)", "(12行目)", "(16行目)"});
}

// The argument group of a call is read once where it lies, also inside a kept assignment's
// value: pieces read as statements, literals holding commas and parentheses, nested calls, and
// a group that does not close, which must fail alike every time.
TEST(Prepared, CallGroupsReadOnceMatchReadingAgain) {
  std::string script =
      "3回(\n  X=並べ(回数,「(a,b)」)&並べ(並べ(回数*2,「」),「c」)\n  Xを表示\n"
      "  Y=並べ(「と」と,回数を)\n  Yを表示\n  壊す\n)\n終わる\n"
      "*壊す\nZ=並べ(回数,(1\n「壊」を表示\n戻る\n"
      "*並べ(?と,?を)\nAに1番目の引数得る\nBに2番目の引数得る\nそれ=A&「/」&B\n戻る\n";
  expect_same_holding(script, {"1/(a,b)2//c\nと/1\n", "3/(a,b)6//c\nと/3\n", "(10行目)"});
}

// "A=A&..." grows A where it lies: a number kept as a number, a table view changed through an
// element, terms reading A itself, a local A beside a global one.
TEST(Prepared, TextGrownInPlaceMatchesReadingAgain) {
  expect_same(
      "S=「」\n3回(S=S&回数&「,」)\nSを表示\nK=10\nK=K+1\nK=K&K&(K*2)\nKを表示\n"
      "T=「1,2」\nX=T#0#1\nT#1=「3」\nT=T&「!」&T#0\nTを表示\n"
      "G=「g」\n伸ばす\nG=G&「!」\nGを表示\n終わる\n"
      "*伸ばす\nGをローカル変数\nG=「l」\n2回(G=G&G)\nGを表示\n戻る\n",
      "1,2,3,\n111122\n1,2\r\n3,\r\n!1,2\nllll\ng!\n");
}

// A statement's command word is kept while no name comes or goes; a local taking the name of a
// global label hides the label without that, and the statement must then find the local.
TEST(Prepared, CommandWordsFoundAgainWhenALocalHidesThem) {
  std::string script =
      "実行\n影\nおわり\n*影\n挨拶をローカル変数\n挨拶=「局所」\n実行\n戻る\n"
      "*実行\n2回(\n  挨拶\n)\n戻る\n*挨拶\n「やあ」を表示\n戻る\n";
  std::string read_again = run(script, false);
  EXPECT_NE(read_again.find("やあ\nやあ\n[error]"), std::string::npos) << read_again;
  EXPECT_NE(read_again.find("変数を実行することは出来ません"), std::string::npos) << read_again;
  EXPECT_EQ(run(script, true), read_again);
}

// A call in function form keeps the global word it names; a local of that name hides it inside
// one call, and the same statement must then find the local.
TEST(Prepared, CalleesFoundAgainWhenALocalHidesThem) {
  std::string script =
      "V=0\nA=0\n甲\n乙\n甲\nおわり\n*乙\n「倍」をローカル変数\n倍=「局所」\n甲\n戻る\n"
      "*甲\nV=倍(2)&「!」\nVを表示\n戻る\n*倍(?を)\nAに1番目の引数得る\nそれ=A*2\n戻る\n";
  expect_same_holding(script, {"4!\n局所\n4!\n"});
}

// A kept condition is judged by its number only when that number is its own text read back:
// a fraction rounding to 1 in its 15 digits is true, 0.4 false, a number past 64 bits false.
TEST(Prepared, KeptConditionsJudgedAsTheirText) {
  std::string script =
      "X=0.9999999999999999\nY=0.4\nZ=2^70\nT=「」\n2回(\n"
      "  もしXならば「X真」を表示\n  もしYならば「Y真」を表示\n  もしZならば「Z真」を表示\n"
      "  もしZ-Z+3ならば「3真」を表示\n  もしTならば「T真」を表示\n  T=「a」\n)\n";
  expect_same(script, "X真\n3真\nX真\n3真\nT真\n");
}

// A call whose local brings a new name gives the names back when it returns, and the next call
// brings the same names again: a statement read inside one call and outside the next must still
// follow them, also when a global of that name appears between calls.
TEST(Prepared, NamesOfLocalsComeAndGoWithEachCall) {
  expect_same(
      "A=1\nB=2\n3回(\n  見る\n  試す\n  もし回数=2ならばAにB=100\n)\nおわり\n"
      "*試す\n「AにB」をローカル変数\nAにB=5\n見る\n戻る\n"
      "*見る\nそれ=10\nAにBを足す\nそれを表示\n戻る\n",
      "3\n15\n5\n15\n110\n15\n");
  // A global name made inside the call stays when the call's local goes.
  expect_same(
      "C=1\nD=2\n2回(\n  見る\n  試す\n)\nおわり\n*試す\n「AにB」をローカル変数\n"
      "もし回数=1ならばCにD=50\n戻る\n*見る\nそれ=10\nCにDを足す\nそれを表示\n戻る\n",
      "3\n60\n");
}

// Random expressions over numbers, texts, variables of both kinds, groups, signs and every
// operator give the same values and failures kept as they do read again each time.
TEST(Prepared, RandomExpressionsMatchReadingAgain) {
  const std::vector<std::string> operands = {"0",  "1",    "7",    "2.5",  "1E3",    "300000",
                                             "N",  "T",    "E",    "「」", "「12」", "「ab」",
                                             "-N", "-(2)", "回数", "$1F"};
  const std::vector<std::string> operators = {"+", "-", "*",  "/",  "%",  "^",  "&",  "=",  "<>",
                                              "<", ">", "<=", ">=", "==", "!=", "&&", "||", "=&"};
  unsigned seed = 12345;
  auto next = [&seed](std::size_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::size_t>((seed >> 16) % n);
  };
  std::function<std::string(int)> expression;
  // Groups stand anywhere an operand does: one after an operator goes on through its text.
  auto operand = [&](int depth) {
    return next(5) == 0 && depth < 3 ? "(" + expression(depth + 1) + ")"
                                     : operands[next(operands.size())];
  };
  expression = [&](int depth) {
    std::string e = operand(depth);
    for (std::size_t k = next(4); k-- > 0;) e += operators[next(operators.size())] + operand(depth);
    return e;
  };
  std::string script = "N=3\nT=「x」\nE=「」\n2回(\n";
  // A fraction inside a group goes on rounded to the digits of its text.
  for (const char* rounded :
       {"1+(1/3)*3", "1+(N/7)*7-N", "1+((1/3)*3=1)", "0+(2^0.5)^2", "(1/3)*3", "(N/7)*7-N"})
    script += std::string("  V=") + rounded + "\n  Vを表示\n";
  for (int i = 0; i < 150; ++i) script += "  V=" + expression(0) + "\n  Vを表示\n";
  script += "  N=N*2+1\n)\n";
  std::string read_again = run(script, false);
  EXPECT_EQ(run(script, true), read_again);
}

// Whole numbers are computed as integers until a result leaves them: overflow past 64 bits,
// results at 10^15 and beyond, quotients with a fraction, negative zero, powers.
TEST(Prepared, WholeNumbersMatchReadingAgain) {
  const std::vector<std::string> operands = {"0",
                                             "1",
                                             "(0-1)",
                                             "(0-7)",
                                             "3",
                                             "999999999999999",
                                             "1000000000000000",
                                             "4611686018427387904",
                                             "9223372036854775807",
                                             "M",
                                             "W",
                                             "(0-W)",
                                             "(M*M)",
                                             "回数",
                                             "1.5",
                                             "(0-0)"};
  const std::vector<std::string> operators = {"+",  "-", "*", "/",  "%",  "^",  "=",
                                              "<>", "<", ">", "<=", ">=", "&&", "||"};
  unsigned seed = 777;
  auto next = [&seed](std::size_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::size_t>((seed >> 16) % n);
  };
  std::string script = "M=2\nW=3\n6回(\n";
  for (const char* fixed :
       {"(0*(0-5))^(0-1)", "((0*(0-5))^(0-1)<0)", "(0*(0-5)^(0-1)<0)", "(0/(0-5)^(0-1)<0)",
        "((W*0)^(0-1)<0)", "(999999999999999*5000+999999999999999*5000)",
        "((0-999999999999999*5000)-999999999999999*5000)",
        "((999999999999999*1000+7)-999999999999999*1000)",
        "(999999999999999*1000+7)-999999999999999*1000", "W*W*W*W*W-1", "(W*1000000)*W*W-1",
        "(9223372036854775807+1)-1", "((0-9223372036854775807)-2)/2",
        "(M*1000000000000000)/1000000000000000", "(7/2)*2", "(0-7)%(0-1)", "(0-7)%0", "(0-7)/0"})
    script += std::string("  V=") + fixed + "\n  Vを表示\n";
  // A result past 10^15 is kept as its text gives it, also for what is computed from it later.
  script += "  V=(M*100000000*10000000+7)\n  V=V-M*100000000*10000000\n  Vを表示\n";
  for (int i = 0; i < 120; ++i) {
    std::string e = operands[next(operands.size())];
    for (std::size_t k = 1 + next(3); k-- > 0;)
      e += operators[next(operators.size())] + operands[next(operands.size())];
    script += "  V=(" + e + ")\n  Vを表示\n";
    script += "  V=" + e + "\n  Vを表示\n";
  }
  script += "  M=M*M*M+1\n  W=W*(0-10)\n)\n";
  // Elements are whole numbers only when their text is digits alone.
  script +=
      "P=「-0\n007\n1E3\n12345678901234567\n "
      "5\n+5\n-5\n3.0\n999999999999999\n1.5\n123456789012345678901」\n"
      "Kを0から10まで繰り返す(\n  V=(P#(K)-1)\n  Vを表示\n  V=(0<(P#(K)*1)^(0-1))\n  Vを表示\n)\n";
  std::string read_again = run(script, false);
  EXPECT_EQ(run(script, true), read_again);
}

// Deep recursion still ends in the stack-full error at the same place.
TEST(Prepared, RecursionLimitMatchesReadingAgain) {
  std::string script = "X=深く(1)\nおわり\n*深く(?を)\nY=深く(1)+1\n戻る\n";
  std::string read_again = run(script, false);
  EXPECT_NE(read_again.find("スタック"), std::string::npos);
  EXPECT_EQ(run(script, true), read_again);
}

}  // namespace

// ---- calls run as compiled steps ---------------------------------------------------------------

namespace {

// A nesting limit under which compiled calls may go a few dozen levels deep.
constexpr int kRoomyNesting = 5000;

// Runs the script both ways; both must print `expected`, and the kept run must have run
// `compiled` of its calls as compiled steps (at least one when -1).
void expect_compiled(const std::string& script, const std::string& expected, int compiled = -1) {
  std::uint64_t none = 0, count = 0;
  std::string read_again = run(script, false, kRoomyNesting, &none);
  EXPECT_EQ(read_again, expected) << script;
  EXPECT_EQ(run(script, true, kRoomyNesting, &count), read_again) << script;
  EXPECT_EQ(none, 0u);
  if (compiled < 0)
    EXPECT_GT(count, 0u) << script;
  else
    EXPECT_EQ(count, static_cast<std::uint64_t>(compiled)) << script;
}

const std::string kFibonacci =
    "*フィボ(?を)\nNをローカル変数\nNに1番目の引数得る\nもし N<2 ならば (それ=N)\n"
    "違えば (それ=フィボ(N-1)+フィボ(N-2))\n戻る\n";

}  // namespace

// The result keeps the kind its last assignment gave it: a text as 引数得る leaves it, or a
// number from arithmetic. Comparisons, conditions and joins see the difference.
TEST(CompiledCalls, ResultsKeepTheirKind) {
  expect_compiled(
      "フィボ(20)を表示\nX=フィボ(1)\nもし 「01」=X ならば「数」を表示\n違えば「文」を表示\n"
      "もし 「01」=フィボ(2) ならば「数」を表示\n違えば「文」を表示\n"
      "もし フィボ(0) ならば「真」を表示\n違えば「偽」を表示\n(フィボ(3)&「!」)を表示\n"
      "小さい(10,9)を表示\n小さい(10,11)を表示\n等しい(7,7)を表示\nおわり\n" +
          kFibonacci +
          "*小さい(?を,?と)\nAをローカル変数\nBをローカル変数\nAに1番目の引数得る\n"
          "Bに2番目の引数得る\nそれ=A<B\n戻る\n"
          "*等しい(?を,?と)\nAをローカル変数\nBをローカル変数\nAに1番目の引数得る\n"
          "Cをローカル変数\nBに2番目の引数得る\nC=A\nそれ=(A=B)+C*0\n戻る\n",
      "6765\n文\n数\n真\n2!\n1\n1\n1\n");
}

// 引数得る in the caller after a call reads the arguments of the last call started inside it.
TEST(CompiledCalls, CallersSeeTheLastArguments) {
  expect_compiled("見る(9)を表示\nおわり\n" + kFibonacci +
                      "*見る(?を)\nAをローカル変数\nBをローカル変数\nA=フィボ(5)\n"
                      "Bに1番目の引数得る\nそれ=A&「,」&B\n戻る\n",
                  "5,1\n");
}

// What the steps cannot give exactly runs as statements from the start of the call: numbers
// past 15 digits, texts that are no plain whole number, a blank local, a result never set, a
// negative zero.
TEST(CompiledCalls, StepsTheyCannotTakeRunAsStatements) {
  expect_compiled(
      "累乗(6)を表示\nフィボ(「007」)を表示\nフィボ(2.5)を表示\n空き(1)を表示\n無し(1)を表示\n"
      "零(0)を表示\nおわり\n" +
          kFibonacci +
          "*累乗(?を)\nNをローカル変数\nNに1番目の引数得る\nもし N<1 ならば (それ=1)\n"
          "違えば (それ=累乗(N-1)*1000)\n戻る\n"
          "*空き(?を)\nAをローカル変数\nそれ=A+1\n戻る\n"
          "*無し(?を)\nNをローカル変数\nNに1番目の引数得る\n戻る\n"
          "*零(?を)\nNをローカル変数\nNに1番目の引数得る\nそれ=N*(0-1)\n戻る\n",
      "1E18\n13\n2\n1\n\n0\n");
}

// Recursion deeper than compiled calls go runs as statements, and still ends in the stack-full
// error where it did.
TEST(CompiledCalls, DepthLimitsMatchReadingAgain) {
  const std::string deep =
      "*深さ(?を)\nNをローカル変数\nNに1番目の引数得る\nもし N<1 ならば (それ=0)\n"
      "違えば (それ=深さ(N-1)+1)\n戻る\n";
  expect_compiled("深さ(20)を表示\n深さ(100)を表示\nおわり\n" + deep, "20\n100\n");
  const std::string too_deep = "深さ(100000)を表示\nおわり\n" + deep;
  // Under a low nesting limit, so that it ends there and not at the stack reserve, where the
  // frames of the two readings (and of the sanitizers) differ.
  std::string read_again = run(too_deep, false);
  EXPECT_NE(read_again.find("スタックが一杯"), std::string::npos) << read_again;
  EXPECT_EQ(run(too_deep, true), read_again);
}

// A label given another template (関数定義) and a caller's local hiding a label make the same
// calls read anew.
TEST(CompiledCalls, ChangedLabelsAndNamesReadAgain) {
  const std::string twice = "*二倍(?を)\nNをローカル変数\nNに1番目の引数得る\nそれ=N*2\n戻る\n";
  expect_compiled(
      "それ=50\n2回(\n  二倍(5)を表示\n  二倍を「?を,?に」で関数定義\n)\nおわり\n" + twice,
      "10\n0\n", 1);
  expect_compiled(
      "外(3)を表示\n隠す\nおわり\n*隠す\n「二倍」をローカル変数\n二倍=100\n外(3)を表示\n戻る\n"
      "*外(?を)\nNをローカル変数\nNに1番目の引数得る\nそれ=二倍(N)+1\n戻る\n" +
          twice,
      "7\n100\n", 1);
}

// A call alone in another call's arguments is read there as statement tokens (no operator stands
// outside its group), which the compiled steps leave to the statements; with an operator beside
// it, it is an expression and runs compiled. Both give the same value.
TEST(CompiledCalls, CallsInsideArguments) {
  const std::string labels =
      "*合計(?を,?と)\nAをローカル変数\nBをローカル変数\nAに1番目の引数得る\n"
      "Bに2番目の引数得る\nそれ=A+B\n戻る\n"
      "*二倍(?を)\nNをローカル変数\nNに1番目の引数得る\nそれ=N*2\n戻る\n";
  // The calls of 合計 and 二倍 run compiled; 入れ子 itself as statements.
  expect_compiled(
      "入れ子(3)を表示\nおわり\n*入れ子(?を)\nNをローカル変数\nNに1番目の引数得る\n"
      "それ=合計(二倍(N),合計(N,1))\n戻る\n" +
          labels,
      "10\n", 3);
  expect_compiled(
      "入れ子(3)を表示\nおわり\n*入れ子(?を)\nNをローカル変数\nNに1番目の引数得る\n"
      "それ=合計(二倍(N)+0,合計(N,1)*1)\n戻る\n" +
          labels,
      "10\n", 1);
}

// Bodies written in the other ways the steps take (an else on the same line, なら, every
// comparison spelling, texts compared, a local copied) and near them (引数得る
// after a call, それ left unset on a path, products past 15 digits, groups nested deeper than
// the steps go) give what the statements give, over a range of arguments.
TEST(CompiledCalls, BodyShapesMatchReadingAgain) {
  const std::string script =
      "Iを-2から12まで繰り返す(\n"
      "  (甲(I)&\",\"&乙(I)&\",\"&丙(I)&\",\"&丁(I)&\",\"&戊(I)&\",\"&己(I*1000))を表示\n"
      ")\nおわり\n"
      "*甲(?を)\nNをローカル変数\nNに1番目の引数得る\n"
      "もし N<2 ならば (それ=N) 違えば (それ=甲(N-1)+甲(N-2))\n戻る\n"
      "*乙(?を)\nNをローカル変数\nNに1番目の引数得る\nもし N=<3 なら (それ=N==3)\n"
      "違えば (それ=(N<>4)*10+(N!=5)+(N=>6)*100+(N=7))\n戻る\n"
      "*丙(?を)\nNをローカル変数\nCをローカル変数\nNに1番目の引数得る\nC=N\n"
      "それ=(10<C)*10+(C<10)\n戻る\n"
      "*丁(?を)\nNをローカル変数\nAをローカル変数\nBをローカル変数\nNに1番目の引数得る\n"
      "A=甲(N+1)\nBに1番目の引数得る\nそれ=A*100+B\n戻る\n"
      "*戊(?を)\nNをローカル変数\nNに1番目の引数得る\nもし N>3 ならば (それ=((((N+1)))))\n"
      "戻る\n"
      "*己(?を)\nNをローカル変数\nNに1番目の引数得る\nそれ=N*N*N*N\n戻る\n";
  std::uint64_t compiled = 0;
  std::string read_again = run(script, false, kRoomyNesting);
  EXPECT_EQ(read_again.substr(0, 28), "-2,0,1,-101,,16000000000000\n") << read_again;
  EXPECT_EQ(run(script, true, kRoomyNesting, &compiled), read_again);
  EXPECT_GT(compiled, 0u);
}

// A label's body called in function form starts with no arguments, whatever the statement or
// the enclosing call has pushed so far (Xに, a piece with an operator before it).
TEST(CompiledCalls, BodiesStartWithNoArguments) {
  const std::string labels =
      "*合計(?を,?と)\n「A\nB」をローカル変数\nAに1番目の引数得る\nBに2番目の引数得る\n"
      "それ=A&\"+\"&B\n戻る\n"
      "*二倍(?を)\n「N」をローカル変数\nNに1番目の引数得る\nそれ=N*2\n戻る\n";
  expect_same(
      "X=1\nXに二倍(3)を足す\nそれを表示\n合計(1+1,二倍(3))を表示\n合計(二倍(3),1)を表示\n"
      "おわり\n" +
          labels,
      "7\n2+6\n6+1\n");
}
