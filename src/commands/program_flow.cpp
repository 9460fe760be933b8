// Program flow: ending, jumps, calls, loops, conditions, local blocks, includes and errors.
#include <filesystem>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "source/labels.h"
#include "source/script_file.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

// A label or file name given as an argument: quoted names are expanded, plain words taken as
// written.
std::string pop_name(Interpreter& in) {
  std::string raw = in.PopArgumentText();
  if (!raw.empty() && (raw[0] == '`' || raw[0] == '"'))
    return text::normalize_half_width(in.EvalArgument(raw));
  return raw;
}

// The window's close query runs the end handler and, when the close is allowed, stops the run.
void end_program(Interpreter& in) {
  in.State().RunControl.ClearAll();
  in.State().Position = nullptr;
  in.GetHost().CloseMainWindow();
}

void go_back(Interpreter& in) {
  in.Return();
}

void jump(Interpreter& in) {
  in.JumpTo(pop_name(in));
}

void call(Interpreter& in) {
  std::string name = pop_name(in);
  words::THashNode* label = in.FindWord(name);
  if (!label) throw GeneralError(text::sjis("ラベル\"") + name + text::sjis("\"はありません。"));
  in.CallLabel(*label);
}

void wait_for_events(Interpreter& in) {
  in.WaitForEvents();
}

void here_from(Interpreter& in) {
  in.BeginLocalBlock();
}
void here_to(Interpreter& in) {
  in.EndLocalBlock();
}
void break_loop(Interpreter& in) {
  in.Break();
}
void continue_loop(Interpreter& in) {
  in.Continue();
}
void nothing(Interpreter&) {}
void if_statement(Interpreter& in) {
  in.RunIf();
}

void switch_statement(Interpreter& in) {
  in.State().PendingSwitchValue = in.PopArgumentValue();
}

std::int32_t pop_loop_bound(Interpreter& in) {
  std::int64_t n = 0;
  if (!expr::ToInteger(text::trim(in.PopArgumentValue()), n) || n < INT32_MIN || n > INT32_MAX)
    throw in.Error("\"" + in.CurrentCommandName() + text::sjis("\"には、数値を指定してください。"));
  return static_cast<std::int32_t>(n);
}

void for_loop(Interpreter& in) {
  std::int32_t to = pop_loop_bound(in);
  std::int32_t from = pop_loop_bound(in);
  std::string name = in.PopArgumentText();
  words::THashNode* counter = in.FindWord(name);
  if (!counter) {
    counter = &in.CreateVariable(name, "0");
    counter->TypeMark = "e";
  }
  if (counter->Kind != words::kVariable || counter->Reserved)
    throw in.Error("\"" + name +
                   text::sjis("\"の実行回数カウンターには、変数を指定してください。"));
  in.StartForLoop(*counter, from, to);
}

void each_loop(Interpreter& in) {
  std::string raw = in.PopArgumentText();
  std::string items;
  if (words::THashNode* w = in.FindWord(raw)) {
    if (w->Kind == words::kHash && w->InnerHash())
      items = w->InnerHash()->GetKeysText();
    else
      items = in.EvalArgument(raw);
  } else {
    items = in.EvalArgument(raw);
  }
  in.StartEachLoop(items);
}

void while_loop(Interpreter& in) {
  in.StartWhileLoop(in.PopArgumentText());
}

// ---- subroutines with arguments ----------------------------------------------------------------

void define_function(Interpreter& in) {
  std::string arguments = text::normalize_half_width(in.PopArgumentValue());
  std::string name = in.PopArgumentText();
  if (name.size() >= 2 && name.front() == '`' && name.back() == '`')
    name = name.substr(1, name.size() - 2);
  words::THashNode* label = in.FindWord(name);
  if (!label) throw in.ArgumentError(text::sjis("ラベルが定義されていません。"));
  label->Extra = arguments;
  std::string key = text::strip_okurigana(name);
  if (key != name && !in.FindWord(key)) {
    auto copy = std::make_unique<words::THashNode>(key, label->Reserved, label->Obj, label->Kind,
                                                   label->Tag, label->TypeMark, "", arguments);
    try {
      in.State().Words.Add(std::move(copy));
    } catch (const GeneralError& e) {
      throw in.Error(e.what());
    }
  }
}

void take_all_arguments(Interpreter& in) {
  words::THashNode* target = in.PopArgumentVariable(true);
  in.State().Sys.Sore->TypeMark = "s";
  if (in.FunctionArguments.empty()) return;
  std::string joined;
  for (std::size_t i = 0; i < in.FunctionArguments.size(); ++i) {
    if (i > 0) joined += "\r";
    joined += text::trim(in.FunctionArguments[i]);
  }
  target->SetValue(joined);
  in.FunctionArguments.clear();
}

void take_argument(Interpreter& in) {
  std::int64_t n = 0;
  bool ok = expr::TruncateToInt64(in.PopArgumentNumber(), n);
  words::THashNode* target = in.PopArgumentVariable(true);
  const auto& args = in.FunctionArguments;
  bool in_range = ok && n >= 1 && static_cast<std::uint64_t>(n) <= args.size();
  target->SetValue(in_range ? args[static_cast<std::size_t>(n - 1)] : std::string());
}

const std::string& sore_name() {
  static const std::string kSore = text::sjis("それ");
  return kSore;
}

[[noreturn]] void refuse_sore_as_local() {
  throw GeneralError(text::sjis("変数『それ』はローカル変数として使えません。"));
}

void add_local(Interpreter& in, std::string name) {
  if (name == sore_name()) refuse_sore_as_local();
  in.RefuseCommandName(name);
  words::TMorvBase& s = in.State();
  try {
    s.Words.AddLocalVariable(std::move(name), s.CurrentLevel() - 1);
  } catch (const GeneralError& e) {
    throw in.Error(e.what());
  }
}

void local_variable(Interpreter& in) {
  std::string raw = in.PopArgumentText();
  if (raw == sore_name() || in.ImplicitSore()) refuse_sore_as_local();
  // Most calls declare one plain name: it goes in as it is, without a list of names.
  if (raw.empty() || (raw[0] != '`' && raw[0] != '"')) {
    add_local(in, std::move(raw));
    return;
  }
  std::string lines = in.EvalArgument(raw);
  std::size_t pos = 0;
  while (pos <= lines.size()) {
    std::size_t end = lines.find('\n', pos);
    std::string line =
        text::trim(lines.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (!line.empty()) add_local(in, std::move(line));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
}

// ---- other program texts -----------------------------------------------------------------------

std::string resolve_include(Interpreter& in, const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (name.find(':') != std::string::npos) return name;
  std::string native = text::to_utf8(name);
  for (char& c : native)
    if (c == '\\') c = '/';
  std::vector<fs::path> candidates = {fs::current_path(ec) / native};
  if (const words::THashNode* folder = in.State().Sys.ScriptFolder)
    candidates.push_back(fs::path(text::to_utf8(folder->GetValue())) / native);
  fs::path script = text::to_utf8(in.State().ScriptFileName);
  candidates.push_back(script.parent_path() / native);
  for (const fs::path& candidate : candidates)
    if (fs::is_regular_file(candidate, ec)) return text::from_utf8(candidate.string());
  return name;
}

void include_file(Interpreter& in) {
  std::string path = text::trim(resolve_include(in, in.PopArgumentValue()));
  std::optional<std::string> source = source::ReadScriptFile(text::to_utf8(path));
  if (!source) throw in.Error(text::sjis("ファイル\"") + path + text::sjis("\"が、ありません。"));
  in.IncludeFile(path, *source);
}

void run_program_text(Interpreter& in) {
  in.RunProgramText(in.PopArgumentValue());
}

// ---- errors ------------------------------------------------------------------------------------

void ignore_errors(Interpreter& in) {
  in.SetErrorMode(engine::ErrorMode::Ignore);
  in.ErrorLabel.clear();
}

void warn_errors(Interpreter& in) {
  in.SetErrorMode(engine::ErrorMode::Warn);
  in.ErrorLabel.clear();
}

void error_label(Interpreter& in) {
  std::string name = in.PopArgumentText();
  words::THashNode* label = in.FindWord(name);
  if (!label || label->Kind != words::kLabel)
    throw in.Error(text::sjis("未定義のラベル\"") + name +
                   text::sjis("\"に、ジャンプしようとしました。"));
  in.ErrorLabel = name;
}

void resume_after_error(Interpreter& in) {
  if (in.ErrorPosition) {
    in.State().Position = in.ErrorPosition;
    in.State().CurrentLine = in.ErrorPositionLine;
  }
}

// ---- events and debugging ----------------------------------------------------------------------

void set_end_handler(Interpreter& in) {
  in.SetEndHandler(in.PopArgumentText());
}

void set_timer(Interpreter& in) {
  std::string label = pop_name(in);
  double seconds = static_cast<double>(in.PopArgumentNumber());
  in.SetTimer(seconds, text::trim(label));
}

void clear_timer(Interpreter& in) {
  in.SetTimer(0, "");
}

void debug(Interpreter& in) {
  in.ShowDebugDialog();
}

void stop_at_line_ends(Interpreter& in) {
  in.LineStop = true;
}

void show_contents(Interpreter& in) {
  std::string raw = in.PopArgumentText();
  if (in.FindWord(raw)) {
    in.ShowDebugDialog(raw);
    return;
  }
  in.GetHost().ShowMessage(text::sjis("「") + raw + text::sjis("」の内容は、") +
                           in.EvalArgument(raw));
}

}  // namespace

void register_program_flow(HandlerTable& table) {
  table.Set(2, end_program);
  table.Set(3, go_back);
  table.Set(5, jump);
  table.Set(6, call);
  table.Set(13, wait_for_events);
  table.Set(516, here_from);
  table.Set(517, here_to);
  table.Set(215, break_loop);
  table.Set(398, continue_loop);
  table.Set(74, run_program_text);
  table.Set(55, include_file);
  table.Set(102, if_statement);
  for (int id : {19, 20, 200, 43, 199, 201, 204, 205, 316, 447, 480}) table.Set(id, nothing);
  table.Set(369, switch_statement);
  table.Set(56, for_loop);
  table.Set(71, each_loop);
  table.Set(414, while_loop);
  table.Set(399, define_function);
  table.Set(400, take_all_arguments);
  table.Set(519, take_argument);
  table.Set(518, local_variable);
  table.Set(118, ignore_errors);
  table.Set(120, warn_errors);
  table.Set(119, error_label);
  table.Set(121, resume_after_error);
  table.Set(161, set_end_handler);
  table.Set(263, set_timer);
  table.Set(313, clear_timer);
  table.Set(57, debug);
  table.Set(270, stop_at_line_ends);
  table.Set(193, show_contents);
}

}  // namespace morivel::commands
