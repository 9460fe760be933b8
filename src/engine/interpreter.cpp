// Run preparation, the main loop, the run-control continuation and error handling.
#include "engine/interpreter.h"

#include <pthread.h>

#include <algorithm>
#include <filesystem>

#include "engine/prepared.h"
#include "engine/pure_calls.h"
#include "source/labels.h"
#include "source/preprocess.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::engine {

namespace {

constexpr std::size_t kMaxRunControlEntries = 65535;

std::string file_name_part(const std::string& path) {
  std::size_t cut = std::string::npos;
  for (std::size_t i = 0; i < path.size(); i += text::char_len(path, i))
    if (path[i] == '/' || path[i] == '\\') cut = i;
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

Interpreter::Interpreter(Host& host, const Vocabulary& vocabulary)
    : host_(host),
      vocabulary_(vocabulary),
      state_(std::make_unique<words::TMorvBase>()),
      prepared_(std::make_unique<PreparedTexts>()),
      pure_calls_(std::make_unique<PureCalls>()) {}

Interpreter::~Interpreter() = default;

namespace {

// Where the running thread's stack (stacks grow down here) is too nearly full to go deeper,
// found once per thread. Constant-initialised, so that reading it costs no initialisation check:
// every call and nested evaluation asks.
struct StackBounds {
  const char* low = nullptr;
  const char* reserve_end = nullptr;
  bool known = false;
};
thread_local StackBounds stack_bounds;

const StackBounds& running_stack() {
  StackBounds& bounds = stack_bounds;
  if (bounds.known) return bounds;
  pthread_attr_t attributes;
  void* address = nullptr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    pthread_attr_getstack(&attributes, &address, &size);
    pthread_attr_destroy(&attributes);
  }
  bounds.low = static_cast<const char*>(address);
  bounds.reserve_end = bounds.low ? bounds.low + kStackReserveBytes : nullptr;
  bounds.known = true;
  return bounds;
}

bool stack_nearly_full() {
  const StackBounds& bounds = running_stack();
  const char* here = static_cast<const char*>(__builtin_frame_address(0));
  return here > bounds.low && here < bounds.reserve_end;
}

}  // namespace

int Interpreter::CompiledDepthAllowed() const {
  // Generous bounds of what one level of a compiled body costs the statements: the guards of
  // the call, its statement, condition and groups, the frames under them, and the run-control
  // entries of the call, its level and its block.
  constexpr int kMaxDepth = 1000;
  constexpr int kGuardsPerLevel = 64;
  constexpr std::size_t kStackPerLevel = std::size_t{256} << 10;
  constexpr std::size_t kEntriesPerLevel = 16;
  const StackBounds& bounds = running_stack();
  const char* here = static_cast<const char*>(__builtin_frame_address(0));
  if (!bounds.low || here <= bounds.reserve_end) return 0;
  const std::size_t stack_left = static_cast<std::size_t>(here - bounds.reserve_end);
  const std::size_t entries = state_->RunControl.Count();
  const std::size_t entries_left =
      entries < kMaxRunControlEntries ? kMaxRunControlEntries - entries : 0;
  std::size_t levels = std::min<std::size_t>(kMaxDepth, stack_left / kStackPerLevel);
  levels = std::min(levels, entries_left / kEntriesPerLevel);
  return std::min(static_cast<int>(levels),
                  std::max(0, nesting_limit_ - nesting_) / kGuardsPerLevel);
}

Interpreter::NestingGuard::NestingGuard(Interpreter& in) : in_(in) {
  if (++in_.nesting_ > in_.nesting_limit_ || stack_nearly_full()) {
    --in_.nesting_;
    throw in_.Error(
        text::sjis("スタックが一杯になりました。ラベルなどに再帰呼び出しがないか確認！"));
  }
}

// ---- errors ------------------------------------------------------------------------------------

std::string CutForMessage(std::string_view quoted) {
  if (quoted.size() <= kMaxQuotedBytes) return std::string(quoted);
  std::size_t cut = 0;
  while (cut < quoted.size()) {
    std::size_t next = cut + text::char_len(quoted, cut);
    if (next > kMaxQuotedBytes) break;
    cut = next;
  }
  return std::string(quoted.substr(0, cut)) + "...";
}

void Interpreter::AppendToErrorLog(const std::string& line) {
  error_log_ += line + "\r\n";
  // Trimmed in batches, so that a long run of errors costs linear time.
  std::size_t lines =
      static_cast<std::size_t>(std::count(error_log_.begin(), error_log_.end(), '\n'));
  if (lines <= 2 * kMaxErrorLogLines) return;
  std::size_t cut = 0;
  for (std::size_t dropped = 0; dropped < lines - kMaxErrorLogLines; ++dropped)
    cut = error_log_.find('\n', cut) + 1;
  error_log_.erase(0, cut);
}

void Interpreter::AdvanceLine(const char* from, const char* to) {
  state_->CurrentLine += static_cast<int>(std::count(from, to, '\n'));
}

std::string Interpreter::ErrorLine(const std::string& message) {
  int line = CurrentLine();
  if (state_->Sys.ErrorLine) state_->Sys.ErrorLine->SetValue(std::to_string(line));
  return text::sjis("[エラー] ") + file_name_part(state_->ScriptFileName) + "(" +
         std::to_string(line) + text::sjis("行目): ") + message;
}

std::string Interpreter::WarningLine(const std::string& message) {
  int line = CurrentLine();
  return text::sjis("[注　意] ") + file_name_part(state_->ScriptFileName) + "(" +
         std::to_string(line) + text::sjis("行目): ") + message;
}

void Interpreter::Warn(const std::string& message) {
  AppendToErrorLog(WarningLine(message));
  if (DebugMode && host_.ShowErrorDialog(error_log_) == ErrorChoice::Quit) {
    Stop();
    host_.CloseMainWindow();
  }
}

EMorv Interpreter::Error(const std::string& message) {
  std::string line = ErrorLine(message);
  AppendToErrorLog(line);
  return EMorv(line);
}

// ---- preparing and running ---------------------------------------------------------------------

void Interpreter::PrepareRun(std::string_view source, const std::string& file_name) {
  error_log_.clear();
  state_ = std::make_unique<words::TMorvBase>();
  prepared_ = std::make_unique<PreparedTexts>();
  state_->ScriptFileName = file_name;
  vocabulary_.Register(*state_);
  try {
    // Line numbers are read from the prefix after a line, so the last line needs a break too.
    std::string whole(source);
    if (whole.empty() || (whole.back() != '\n' && whole.back() != '\r')) whole += "\r\n";
    auto text = std::make_shared<const std::string>(source::Preprocess(whole));
    state_->Sources.push_back(text);
    prepared_->pinned.Pin(text);
    source::ScanLabels(*text, file_name, state_->Words);
  } catch (const source::PreprocessError& e) {
    state_->CurrentLine = e.line;
    std::string line = text::sjis("[エラー] ") + file_name_part(file_name) + "(" +
                       std::to_string(e.line) + text::sjis("行目): ") + e.message;
    if (state_->Sys.ErrorLine) state_->Sys.ErrorLine->SetValue(std::to_string(e.line));
    AppendToErrorLog(line);
    throw EMorv(line);
  }
}

void Interpreter::StartAtBeginning() {
  state_->Position = state_->Sources.empty() ? nullptr : state_->Sources[0]->c_str();
  state_->CurrentLine = 1;
  statement_line_ = 1;
}

void Interpreter::Stop() {
  state_->StopFlag = true;
  state_->Position = nullptr;
}

namespace {

// A nested run leaves the lines of the run it interrupted as they were.
class LinesKept {
 public:
  LinesKept(int& current, int& statement)
      : current_(current),
        statement_(statement),
        saved_current_(current),
        saved_statement_(statement) {}
  ~LinesKept() {
    current_ = saved_current_;
    statement_ = saved_statement_;
  }
  LinesKept(const LinesKept&) = delete;
  LinesKept& operator=(const LinesKept&) = delete;

 private:
  int& current_;
  int& statement_;
  int saved_current_;
  int saved_statement_;
};

}  // namespace

void Interpreter::RunMainLoop() {
  words::TMorvBase& s = *state_;
  LinesKept lines(s.CurrentLine, statement_line_);
  const char* previous = nullptr;
  while (s.Position) {
    if (*s.Position == '\0') {
      if (!CheckRunControl()) return;
      previous = nullptr;
      continue;
    }
    try {
      if (s.RunControl.Count() > kMaxRunControlEntries)
        throw Error(text::sjis("実行が無限ループしている可能性があるので終了します。"));
      if (s.StopFlag) return;
      if (s.Position == previous) throw Error(text::sjis("特定できないシステムエラーです(ToT)"));
      previous = s.Position;
      if (s.Arguments.Empty()) statement_line_ = s.CurrentLine;
      if (s.Position != pass_start_ || !RunKeptPass(previous)) ExecuteToken();
    } catch (const std::exception& e) {
      const char* failed_at = previous;
      HandleMainLoopError(e);
      if (s.Position && s.Position == failed_at) SkipFailedStatement();
      previous = nullptr;
    }
  }
}

void Interpreter::SkipFailedStatement() {
  const char*& p = state_->Position;
  while (*p && *p != '\r' && *p != '\n') p += text::char_len(p);
}

void Interpreter::HandleMainLoopError(const std::exception& error) {
  words::TMorvBase& s = *state_;
  s.Arguments.Clear();
  if (s.Sys.ErrorMessage) s.Sys.ErrorMessage->SetValue(error.what());
  if (!ErrorLabel.empty()) {
    if (words::THashNode* label = FindWord(ErrorLabel)) {
      if (auto info = std::dynamic_pointer_cast<source::LabelInfo>(label->Obj)) {
        ErrorPosition = s.Position;
        ErrorPositionLine = statement_line_;
        s.Position = info->position;
        s.CurrentLine = info->line;
        return;
      }
    }
  }
  if (error_mode_ == ErrorMode::Ignore) return;
  if (text::trim_view(error_log_).empty())
    error_log_ =
        ErrorLine(error.what()) + "\r\n" + text::sjis("特定できないシステムエラーです(ToT)");
  switch (host_.ShowErrorDialog(error_log_)) {
    case ErrorChoice::Continue:
      return;
    case ErrorChoice::Debug:
      ShowDebugDialog();
      return;
    case ErrorChoice::Quit:
      Stop();
      host_.CloseMainWindow();
      return;
  }
}

}  // namespace morivel::engine
