// Command invocation: binding arguments to templates by particle, handlers, results, calls.
#include <algorithm>
#include <cstdint>
#include <map>

#include "engine/external.h"
#include "engine/interpreter.h"
#include "engine/lexer.h"
#include "engine/particles.h"
#include "engine/prepared.h"
#include "engine/pure_calls.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "expr/quote.h"
#include "source/labels.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::engine {

namespace {

constexpr std::size_t kMaxStackedArguments = 5000;

// The particles of a template's slots ("?を,?に" gives を and に), as views into the template.
// Every command binds its arguments through this, so it reuses one vector and copies nothing.
void read_template_particles(std::string_view templ, std::vector<std::string_view>& particles) {
  particles.clear();
  if (text::trim_view(templ).empty()) return;
  while (true) {
    std::size_t comma = templ.find(',');
    std::string_view slot = text::trim_view(templ.substr(0, comma));
    if (!slot.empty() && slot[0] == '?') slot.remove_prefix(1);
    particles.push_back(slot);
    if (comma == std::string_view::npos) break;
    templ.remove_prefix(comma + 1);
  }
}

// The two bytes of a particle's Shift-JIS code (every particle a template names is one character).
constexpr std::uint16_t code_of(char first, char second) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(first) << 8 |
                                    static_cast<unsigned char>(second));
}

bool particle_matches(std::string_view actual, std::string_view expected) {
  if (actual == expected) return true;
  if (actual.size() != 2 || expected.size() != 2) return false;
  // を stands for と and の, and に and へ for each other.
  constexpr std::uint16_t kWo = code_of('\x82', '\xf0'), kTo = code_of('\x82', '\xc6'),
                          kNo = code_of('\x82', '\xcc'), kNi = code_of('\x82', '\xc9'),
                          kHe = code_of('\x82', '\xd6');
  const std::uint16_t a = code_of(actual[0], actual[1]), e = code_of(expected[0], expected[1]);
  if ((e == kTo || e == kNo) && a == kWo) return true;
  if (e == kWo && (a == kTo || a == kNo)) return true;
  return (e == kNi && a == kHe) || (e == kHe && a == kNi);
}

// The ending of an entry that a particle of `expected`'s length would occupy.
std::string_view tail_for(std::string_view entry, std::string_view expected) {
  return entry.size() >= expected.size() ? entry.substr(entry.size() - expected.size())
                                         : std::string_view();
}

// The equivalent particles (を for と ...) all have the byte length of the one expected.
bool entry_carries(std::string_view entry, std::string_view particle) {
  return particle.empty() || particle_matches(tail_for(entry, particle), particle);
}

// A plain decimal whole number of at most 15 digits, which reads as a number term and nothing
// else, and is exact in a long double.
bool plain_decimal(std::string_view text, long double& out) {
  if (text.empty() || text.size() > 15) return false;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = static_cast<long double>(value);
  return true;
}

// The arguments of the statements around a call in function form (the pieces of an enclosing
// call read so far, the statement's own), set aside while the label's body runs: its statements
// start with none, and an error among them, which clears the arguments, leaves those alone.
class ArgumentsAside {
 public:
  explicit ArgumentsAside(words::TStack& stack) : stack_(stack) {
    while (!stack_.Empty()) kept_.push_back(stack_.Pop());
  }
  ~ArgumentsAside() {
    // What the body left stays on top, for the call to find (too many arguments).
    std::vector<std::string> left;
    while (!stack_.Empty()) left.push_back(stack_.Pop());
    for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) stack_.Push(std::move(*it));
    for (auto it = left.rbegin(); it != left.rend(); ++it) stack_.Push(std::move(*it));
  }
  ArgumentsAside(const ArgumentsAside&) = delete;
  ArgumentsAside& operator=(const ArgumentsAside&) = delete;

 private:
  words::TStack& stack_;
  std::vector<std::string> kept_;  // top first
};

}  // namespace

// ---- words
// ---------------------------------------------------------------------------------------

words::THashNode* Interpreter::FindWord(std::string_view name, bool okurigana) const {
  return state_->Words.FindScoped(name, okurigana);
}

void Interpreter::RefuseCommandName(const std::string& name) {
  const words::THashNode* w = FindWord(name, true);
  if (w && w->Kind == words::kCommand && IsKnownWord(name))
    throw Error("\"" + name + text::sjis("\"は予約語なので、登録できません。"));
}

words::THashNode& Interpreter::CreateVariable(const std::string& name, std::string value) {
  RefuseCommandName(name);
  auto word =
      words::THashNode::CreateVariable(name, false, state_->CurrentLevel(), std::move(value));
  words::THashNode& ref = *word;
  try {
    state_->Words.Add(std::move(word));
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
  return ref;
}

bool Interpreter::IsKnownWord(std::string_view word) const {
  if (word.empty()) return false;
  if (FindWord(word)) return true;
  std::string key = text::strip_okurigana(word);
  if (key == word) return false;
  const words::THashNode* w = FindWord(key);
  if (!w) return false;
  // Only code conjugates: a variable or part name with hiragana after it (エディタ1をその) is
  // that name and its particle, never one word.
  if (w->Kind == words::kLabel || w->Kind == words::kDllFunction) return conjugates(word, w->Name);
  if (w->Kind != words::kCommand) return false;
  const std::vector<std::string>* names = vocabulary_.FullNames(key);
  if (!names) return false;
  return std::any_of(names->begin(), names->end(),
                     [&](const std::string& full) { return conjugates(word, full); });
}

// ---- arguments
// -----------------------------------------------------------------------------------

std::string Interpreter::PopArgumentText() {
  return state_->Arguments.Pop();
}

std::string Interpreter::PopArgumentValue() {
  return EvalArgument(state_->Arguments.Pop());
}

long double Interpreter::PopArgumentNumber() {
  std::string text = state_->Arguments.Pop();
  // Counts such as 1番目 are mostly written as digits: no evaluation is needed to read them, but
  // the nesting limit holds as it would for an evaluation.
  if (long double number; plain_decimal(text, number)) {
    NestingGuard guard(*this);
    static const std::string kNumberType = "e";
    current_type_ = kNumberType;
    return number;
  }
  return expr::ToNumber(EvalArgument(text));
}

words::THashNode* Interpreter::PopArgumentVariable(bool create) {
  std::string name = state_->Arguments.Pop();
  if (name.size() >= 2 && name.front() == '`' && name.back() == '`')
    name = name.substr(1, name.size() - 2);
  if (words::THashNode* w = FindWord(name)) return w;
  if (create) return &CreateVariable(name);
  throw Error(text::sjis("部品\"") + name + text::sjis("\"が特定できません。"));
}

void Interpreter::SetResult(std::string value, std::string type_mark) {
  state_->Sys.Sore->SetValue(std::move(value));
  state_->Sys.Sore->TypeMark = type_mark;
  result_type_ = std::move(type_mark);
}

void Interpreter::PushValueArgument(std::string_view value) {
  state_->Arguments.Push(expr::QuoteRaw(value));
}

EMorv Interpreter::ArgumentError(const std::string& reason) {
  return Error("\"" + current_command_ + text::sjis("\"命令の引数に誤りがあります。") + reason);
}

// ---- binding and running
// -------------------------------------------------------------------------

void Interpreter::BindArguments(const words::THashNode& word) {
  words::TStack& stack = state_->Arguments;
  // Binding runs no script code, so one set of scratch vectors serves every call.
  static thread_local std::vector<std::string_view> slots;
  static thread_local std::vector<std::string> bound;
  read_template_particles(word.Extra, slots);
  std::size_t s = slots.size();
  implicit_sore_ = false;
  if (s == stack.Count() + 1) {
    static const std::string kSore = text::sjis("それ");
    stack.Insert(0, kSore + (function_call_mode_ ? std::string() : std::string(slots[0])));
    implicit_sore_ = true;
  }
  auto form = [&] {
    return "\"" + word.Name + text::sjis("\"命令の引数に誤りがあります。") + "\"" + word.Extra +
           "\"" + text::sjis("の形式で指定してください。");
  };
  if (s > stack.Count()) throw Error(form() + text::sjis("引数が少ないです。"));

  bound.resize(s);
  for (std::size_t k = s; k-- > 0;) {
    std::string_view particle = slots[k];
    if (function_call_mode_) {
      std::string entry = stack.Pop();
      if (!particle.empty() && entry.size() > particle.size() &&
          particle_matches(tail_for(entry, particle), particle))
        entry.resize(entry.size() - particle.size());
      bound[k] = std::move(entry);
      continue;
    }
    bool found = false;
    for (std::size_t i = stack.Count(); i-- > 0;) {
      if (!entry_carries(stack[i], particle)) continue;
      std::string entry = stack.RemoveAt(i);
      entry.resize(entry.size() - particle.size());
      bound[k] = std::move(entry);
      found = true;
      break;
    }
    if (!found) throw Error(form() + "\"" + std::string(particle) + "\"");
  }
  for (std::string& entry : bound) stack.Push(std::move(entry));
  if (stack.Count() > kMaxStackedArguments)
    throw Error(text::sjis("スタックが一杯になりました。ラベルなどに再帰呼び出しがないか確認！"));
}

void Interpreter::ExecuteCommand(words::THashNode& word) {
  BindArguments(word);
  RunBoundCommand(word);
}

void Interpreter::RunBoundCommand(words::THashNode& word) {
  current_command_ = word.Name;
  if (word.Name == "\\") return;
  Handler handler = nullptr;
  try {
    handler = vocabulary_.HandlerFor(word.Tag);
  } catch (const std::out_of_range&) {
    throw Error("\"" + word.Name + text::sjis("\"命令の番号が範囲外です。"));
  }
  if (!handler)
    throw Error("\"" + word.Name + text::sjis("\"命令は、このランタイムではまだ実行できません。"));
  // Built only when a handler fails: commands are the hottest path of the interpreter.
  auto prefix = [&] {
    return text::sjis("『") + word.Name + text::sjis("』命令の実行中にエラー。");
  };
  try {
    handler(*this);
  } catch (const EMorv& e) {
    static const std::string kMark = text::sjis("[エラー]");
    if (std::string(e.what()).find(kMark) != std::string::npos) throw Error(prefix());
    throw Error(prefix() + text::sjis("理由は、") + e.what());
  } catch (const std::exception& e) {
    throw Error(prefix() + text::sjis("理由は、") + e.what());
  }
}

void Interpreter::RunWord(words::THashNode& word) {
  switch (word.Kind) {
    case words::kCommand:
      ExecuteCommand(word);
      return;
    case words::kLabel:
      CallLabel(word);
      return;
    case words::kDllFunction:
      RunExternal(word);
      return;
    case words::kVariable:
    case words::kPart:
      throw Error("\"" + word.Name + text::sjis("\"は、文法が正しくないため、実行できません。") +
                  text::sjis("変数を実行することは出来ません。"));
    default:
      return;
  }
}

void Interpreter::RunExternal(words::THashNode& word) {
  auto* external = dynamic_cast<ExternalCall*>(word.Obj.get());
  if (!external)
    throw Error(text::sjis("DLLからインポートした命令\"") + word.Name +
                text::sjis("\"の定義が間違っています。"));
  BindArguments(word);
  current_command_ = word.Name;
  try {
    external->Call(*this, word);
  } catch (const EMorv&) {
    throw;
  } catch (const std::exception&) {
    throw Error(text::sjis("特定できないシステムエラーです(ToT)DLLの命令\"") + word.Name +
                text::sjis("\"実行中にエラー。"));
  }
}

expr::Value Interpreter::CallFunctionForm(words::THashNode& word, const char*& p) {
  NestingGuard guard(*this);
  // Held: the pieces are read as statements where they lie.
  std::shared_ptr<const PreparedCallGroup> group = ReadCallGroup(p);
  words::TStack& stack = state_->Arguments;
  std::size_t base = stack.Count();
  PushCallArguments(group->pieces);
  bool saved_collecting = collecting_arguments_;
  collecting_arguments_ = false;
  words::THashNode* sore = state_->Sys.Sore;
  words::THashNode::KeptValue saved_value = sore->KeepValue();
  std::string saved_type = sore->TypeMark;
  bool saved_mode = function_call_mode_;
  function_call_mode_ = true;
  expr::Value result;
  try {
    if (word.Kind == words::kLabel) {
      // The label runs as a subroutine whose return position is none, so the nested main
      // loop ends at its 戻る or at the end of its text.
      const char* return_to = state_->Position;
      const int return_line = state_->CurrentLine;
      std::shared_ptr<const std::string> file = SharedScriptName();
      sore->SetValue("");
      state_->RunControl.OpenLevel();
      try {
        // Held, not borrowed: evaluating the arguments may run code that defines it anew.
        if (auto info = std::dynamic_pointer_cast<source::LabelInfo>(word.Obj)) {
          // The arguments are evaluated where the call stands: a command among them that reads
          // the text after it (a loop's block) must find one, never no position at all.
          TakeLabelArguments(word);
          if (!RunCompiledCall(word)) {
            state_->Position = nullptr;
            EnterLabel(*info);
            function_call_mode_ = false;
            ArgumentsAside aside(stack);
            RunMainLoop();
          }
        }
      } catch (...) {
        state_->RunControl.CloseLevel();
        state_->Position = return_to;
        state_->CurrentLine = return_line;
        state_->ScriptFileName = *file;
        throw;
      }
      state_->RunControl.CloseLevel();
      state_->Position = return_to;
      state_->CurrentLine = return_line;
      state_->ScriptFileName = *file;
    } else if (word.Kind == words::kDllFunction) {
      RunExternal(word);
    } else {
      ExecuteCommand(word);
    }
  } catch (...) {
    function_call_mode_ = saved_mode;
    collecting_arguments_ = saved_collecting;
    throw;
  }
  function_call_mode_ = saved_mode;
  collecting_arguments_ = saved_collecting;
  result = {sore->GetValue(), sore->TypeMark};
  sore->RestoreValue(std::move(saved_value));
  sore->TypeMark = std::move(saved_type);
  current_type_ = result.type_mark;
  if (stack.Count() > base) {
    std::string message =
        "\"" + word.Name + text::sjis("\"命令の引数に誤りがあります。引数が多いです。\"");
    while (stack.Count() > base) message += CutForMessage(stack.Pop());
    throw Error(message + "\"");
  }
  return result;
}

std::uint64_t Interpreter::CompiledCallCount() const {
  return pure_calls_->Runs();
}

bool Interpreter::RunCompiledCall(words::THashNode& label) {
  // Reading statements again (to compare with) and stopping at lines must see every statement.
  if (!preparing_ || LineStop || DebugMode) return false;
  PureCallOutcome outcome;
  if (!pure_calls_->Run(state_->Words, label, FunctionArguments, CompiledDepthAllowed(), outcome))
    return false;
  words::THashNode* sore = state_->Sys.Sore;
  sore->SetValue(std::move(outcome.value));
  sore->TypeMark = std::move(outcome.type_mark);
  if (outcome.took_arguments) FunctionArguments = std::move(outcome.last_arguments);
  current_command_ = std::move(outcome.last_command);
  return true;
}

}  // namespace morivel::engine
