// Fuzz target: whole scripts through the engine. The input drives a generator of statements,
// blocks, labels, jumps, calls and literals, so that most runs get past the reader into the
// run-control stack, the error handling and the command handlers. Jumps and calls only go
// forward and loops count to small numbers, so every generated script ends.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "text/encoding.h"

namespace {

using namespace morivel;

class QuietHost : public engine::Host {
 public:
  void ShowText(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  engine::ErrorChoice ShowErrorDialog(const std::string&) override {
    // Going on after an error is the path that once looped for ever; take it now and then.
    return ++errors_ % 3 == 0 ? engine::ErrorChoice::Quit : engine::ErrorChoice::Continue;
  }
  void CloseMainWindow() override {}
  void Wait(double) override {}
  void StartTimer(int, std::function<void()>) override {}
  void StopTimer() override {}

 private:
  int errors_ = 0;
};

// Fixed words of the generator are written in UTF-8 here; random bytes go in unconverted.
std::string J(const char* utf8) {
  return text::sjis(utf8);
}

constexpr int kMaxStatements = 48;
constexpr int kMaxDepth = 4;
constexpr int kMaxCalls = 6;
// Splitting a text that holds a line break quotes it as a table cell, doubling every quote in it:
// それを「,」で区切る thirty times over builds a text of a gigabyte, correctly and slowly.
constexpr int kMaxSplits = 4;
constexpr int kMaxNesting = 5000;

class ScriptGenerator {
 public:
  explicit ScriptGenerator(FuzzedDataProvider& data) : data_(data) {}

  std::string Script() {
    std::string out;
    while (statements_ < kMaxStatements && data_.remaining_bytes() > 0) out += Line(0) + "\n";
    // Labels named by earlier jumps and calls, so that most of them exist. A jump written under
    // one of them must still go forward, past that label, or the script would never end.
    const int first = next_label_;
    for (int label = first; label < first + 3; ++label) {
      next_label_ = label + 1;
      out += "*L" + std::to_string(label) + "\n" + Line(0) + J("\n戻る\n");
    }
    return out + Functions();
  }

 private:
  std::string Line(int depth) {
    ++statements_;
    switch (data_.ConsumeIntegralInRange(0, 17)) {
      case 0:
        return Value() + J("を表示");
      case 1:
        return Variable() + "=" + Expression();
      case 2:
        return Variable() + J("は") + Value();
      case 3:
        return depth < kMaxDepth ? Count() + J("回(") + Body(depth) + ")" : J("続ける");
      case 4:
        return depth < kMaxDepth ? J("もし") + Expression() + J("ならば(") + Body(depth) +
                                       J(")違えば(") + Body(depth) + ")"
                                 : J("抜ける");
      case 5:
        return depth < kMaxDepth ? Literal("a\\nb\\nc") + J("を反復(") + Body(depth) + ")"
                                 : J("戻る");
      case 6:
        return "*L" + std::to_string(next_label_++);
      case 7:
        return "L" + std::to_string(next_label_ + data_.ConsumeIntegralInRange(0, 2)) + J("へ飛ぶ");
      case 8:
        if (calls_ >= kMaxCalls) return J("戻る");
        ++calls_;
        return "L" + std::to_string(next_label_ + data_.ConsumeIntegralInRange(0, 2)) + J("を呼ぶ");
      case 9:
        return data_.ConsumeBool() ? J("エラーを無視") : J("エラーを警告");
      case 10:
        return depth < kMaxDepth ? J("ここから\n") + Body(depth) + J("\nここまで") : J("ここまで");
      case 11:
        return Literal(Statementish()) + J("をもりべるする");
      case 12:
        return Variable() + "#" + std::to_string(data_.ConsumeIntegralInRange(-2, 40)) + J("は") +
               Value();
      case 13:
        return Value() + J("の文字数を表示");
      case 14:
        if (splits_ >= kMaxSplits) return Value() + J("を表示");
        ++splits_;
        return Value() + J("を") + Literal(",") + J("で区切る");
      case 15:
        return Value() + J("の") + Value() + J("を") + Value() + J("に置換");
      case 16:
        return Noise();
      default:
        return Value() + J("と") + Value() + J("を表示");
    }
  }

  // Two labels called in function form, shaped like the arithmetic functions that run as
  // compiled steps, each line but the last kept, dropped or replaced. F0 calls itself once at
  // most per pass and F1 only calls F0, so every call ends, at worst in the stack-full error.
  std::string Functions() {
    static const char* const kF0[] = {"Nをローカル変数", "Nに1番目の引数得る",
                                      "もし N<1 ならば (それ=0)", "違えば (それ=F0(N-1)+N*2)",
                                      "戻る"};
    static const char* const kF1[] = {"Aをローカル変数",      "Bをローカル変数",
                                      "Aに1番目の引数得る",   "Bに2番目の引数得る",
                                      "それ=F0(A-B)*B-(A<B)", "戻る"};
    return J("*F0(?を)\n") + Mutated(kF0) + J("*F1(?を,?と)\n") + Mutated(kF1);
  }

  // The closing 戻る stays: a body running on into the next label would call F0 twice a pass.
  template <std::size_t N>
  std::string Mutated(const char* const (&lines)[N]) {
    std::string out;
    for (std::size_t i = 0; i + 1 < N; ++i) {
      const char* line = lines[i];
      switch (data_.ConsumeIntegralInRange(0, 7)) {
        case 0:
          break;
        case 1:
          // Arithmetic only: a text joined to itself at every level would double a thousand times.
          out += Variable() + "=" + Variable() + "+" + Count() + "\n";
          break;
        case 2:
          out += Noise() + J(line) + "\n";
          break;
        default:
          out += J(line) + "\n";
      }
    }
    return out + J(lines[N - 1]) + "\n";
  }

  std::string Body(int depth) {
    std::string body;
    int count = data_.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < count && statements_ < kMaxStatements; ++i)
      body += (i ? ";" : "") + Line(depth + 1);
    return body;
  }

  std::string Count() { return std::to_string(data_.ConsumeIntegralInRange(-1, 3)); }

  std::string Variable() {
    static const char* const kNames[] = {"A", "B", "C", "それ", "回数"};
    return J(kNames[data_.ConsumeIntegralInRange(0, 4)]);
  }

  std::string Value() {
    switch (data_.ConsumeIntegralInRange(0, 4)) {
      case 0:
        return Variable();
      case 1:
        return std::to_string(data_.ConsumeIntegral<std::int16_t>());
      case 2:
        return "(" + Expression() + ")";
      case 3:
        return data_.ConsumeBool() ? "F0(" + Value() + ")" : "F1(" + Value() + "," + Value() + ")";
      default:
        return Literal(data_.ConsumeRandomLengthString(12));
    }
  }

  std::string Expression() {
    static const char* const kOperators[] = {"+", "-", "*", "/", "%", "&", "=", "<>", ">", "<"};
    std::string e = Value();
    int terms = data_.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < terms; ++i) e += kOperators[data_.ConsumeIntegralInRange(0, 9)] + Value();
    return e;
  }

  // Literal text: raw bytes inside 『』 (a back quote inside is doubled), or expanded in 「」.
  static std::string Literal(const std::string& inside) {
    std::string clean;
    for (char c : inside) {
      if (c == '\0' || c == '\r' || c == '\n') continue;
      if (c == '`') clean += '`';
      clean += c;
    }
    return "`" + clean + "`";
  }

  std::string Statementish() {
    static const char* const kTexts[] = {"/",          "A=(1+", "「x」を表示", "1回(戻る)",
                                         "ナイへ飛ぶ", "A=A+1", "ここまで"};
    return J(kTexts[data_.ConsumeIntegralInRange(0, 6)]);
  }

  std::string Noise() {
    static const char kSymbols[] = "/()&#;?*=!<>^|,:@\\\"`{}";
    std::string noise;
    int length = data_.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < length; ++i)
      noise += kSymbols[data_.ConsumeIntegralInRange<std::size_t>(0, sizeof kSymbols - 2)];
    return noise;
  }

  FuzzedDataProvider& data_;
  int statements_ = 0;
  int calls_ = 0;
  int splits_ = 0;
  int next_label_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  std::string script = ScriptGenerator(provider).Script();
  // Reproducing a finding starts from reading the script it made.
  static const bool print = std::getenv("MORIVEL_FUZZ_PRINT") != nullptr;
  if (print) std::fwrite(script.data(), 1, script.size(), stderr);
  QuietHost host;
  commands::BuiltinVocabulary vocabulary;
  engine::Interpreter interpreter(host, vocabulary);
  try {
    interpreter.PrepareRun(script, "fuzz.mrv");
    // Recursion tens of thousands of levels deep (F0 of a five-digit number) takes seconds under
    // the sanitizers; the stack-full error comes as surely a few thousand levels earlier.
    interpreter.SetNestingLimit(kMaxNesting);
    interpreter.StartAtBeginning();
    interpreter.RunMainLoop();
  } catch (const std::exception&) {
    // Errors end the run as the error dialog's "終了" would; only crashes and hangs count.
  }
  return 0;
}
