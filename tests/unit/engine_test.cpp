// Runs small scripts through the engine with a recording host and a few test commands.
#include <gtest/gtest.h>

#include "commands/registry.h"
#include "engine/interpreter.h"
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
    errors += text::to_utf8(log);
    return engine::ErrorChoice::Quit;
  }
  void CloseMainWindow() override {}
  void Wait(double) override {}
  void StartTimer(int, std::function<void()> fire) override { timer = std::move(fire); }
  void StopTimer() override { timer = nullptr; }
  std::function<void()> timer;
  std::string output, errors;
};

// Test commands in the unused id range: they show how their arguments were bound.
void join3(engine::Interpreter& in) {
  std::string c = in.PopArgumentValue(), b = in.PopArgumentValue(), a = in.PopArgumentValue();
  in.SetResult(a + "|" + b + "|" + c, "s");
}

void bracket(engine::Interpreter& in) {
  in.SetResult("[" + in.PopArgumentValue() + "]", "s");
}

class TestVocabulary : public commands::BuiltinVocabulary {
 public:
  void Register(words::TMorvBase& state) const override {
    commands::BuiltinVocabulary::Register(state);
    add(state, "三連", "?の,?を,?に", 590);
    add(state, "括る", "?を", 591);
  }
  engine::Handler HandlerFor(int id) const override {
    if (id == 590) return join3;
    if (id == 591) return bracket;
    return commands::BuiltinVocabulary::HandlerFor(id);
  }

 private:
  static void add(words::TMorvBase& state, const char* name, const char* templ, int id) {
    state.Words.Add(std::make_unique<words::THashNode>(text::strip_okurigana(sjis(name)), true,
                                                       nullptr, words::kCommand, id, "", "",
                                                       sjis(templ)));
  }
};

struct ScriptRun {
  RecordingHost host;
  TestVocabulary vocabulary;
  engine::Interpreter in{host, vocabulary};

  explicit ScriptRun(const std::string& utf8_script) {
    try {
      in.PrepareRun(sjis(utf8_script), "test.mrv");
      in.StartAtBeginning();
      in.RunMainLoop();
    } catch (const engine::EMorv&) {
      host.errors += text::to_utf8(in.ErrorLog());
    }
  }
};

std::string output_of(const std::string& script) {
  return ScriptRun(script).host.output;
}

}  // namespace

TEST(EngineBinding, ArgumentsBindByParticleInAnyOrder) {
  EXPECT_EQ(output_of("三連(「a」の「b」を「c」に)\nそれを表示"), "a|b|c\n");
  EXPECT_EQ(output_of("「c」に「a」の「b」を三連\nそれを表示"), "a|b|c\n");
  EXPECT_EQ(output_of("「a」の「c」へ「b」を三連\nそれを表示"), "a|b|c\n");
  // Slots take the topmost entry that carries their particle; を also takes の.
  EXPECT_EQ(output_of("「c」に「b」を「a」の三連\nそれを表示"), "b|a|c\n");
}

TEST(EngineBinding, OmittedFirstArgumentIsSore) {
  EXPECT_EQ(output_of("「x」を括る\n「b」を「c」に三連\nそれを表示"), "[x]|b|c\n");
  ScriptRun r("「b」の「c」を三連");
  EXPECT_NE(
      r.host.errors.find(
          "\"三連\"命令の引数に誤りがあります。\"?の,?を,?に\"の形式で指定してください。\"に\""),
      std::string::npos)
      << r.host.errors;
}

TEST(EngineBinding, FunctionFormLeavesSoreAlone) {
  EXPECT_EQ(output_of("「x」を括る\n括る(「y」)を表示\nそれを表示"), "[y]\n[x]\n");
  EXPECT_EQ(output_of("A=括る(「z」)&「!」\nAを表示"), "[z]!\n");
}

TEST(EngineBinding, TooManyAndTooFewArguments) {
  ScriptRun many("「a」を「b」を括る");
  EXPECT_NE(many.host.errors.find("引数が多いです。"), std::string::npos) << many.host.errors;
  ScriptRun few("「a」を三連");
  EXPECT_NE(few.host.errors.find("引数が少ないです。"), std::string::npos) << few.host.errors;
}

TEST(EngineStatements, ParticlesEndWords) {
  EXPECT_EQ(output_of("Aは5\nAを表示"), "5\n");
  EXPECT_EQ(output_of("Aは「x」\nA を 表示"), "x\n");
  EXPECT_EQ(output_of("AのBをCに三連\nそれを表示"), "A|B|C\n");
  EXPECT_EQ(output_of("三連(1,「二」,3)\nそれを表示"), "1|二|3\n");
}

TEST(EngineStatements, TeFormRunsAtOnce) {
  EXPECT_EQ(output_of("「a」を表示して、「b」を表示"), "a\nb\n");
  EXPECT_EQ(output_of("「a」を表示;「b」を表示"), "a\nb\n");
  EXPECT_EQ(output_of("「a」を表示そして「b」を表示"), "a\nb\n");
}

TEST(EngineStatements, CommaContinuesTheStatement) {
  EXPECT_EQ(output_of("「a」を、\n表示"), "a\n");
}

TEST(EngineStatements, QuestionMarkShowsAMessage) {
  EXPECT_EQ(output_of("?「こんにちは」"), "[msg]こんにちは\n");
}

TEST(EngineStatements, UndefinedCommandQuotesTheStatement) {
  ScriptRun r("「a」と「b」にほげる");
  EXPECT_NE(
      r.host.errors.find("[エラー] test.mrv(1行目): \"`a`と,`b`に,ほげる\"は未定義の命令です。"),
      std::string::npos)
      << r.host.errors;
}

TEST(EngineStatements, ErrorLinesNameTheLine) {
  ScriptRun r("「a」を表示\n\n\nほげ");
  EXPECT_EQ(r.host.output, "a\n");
  EXPECT_NE(r.host.errors.find("test.mrv(4行目)"), std::string::npos) << r.host.errors;
}
