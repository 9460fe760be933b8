// Run preparation, the main loop, the run-control continuation and error handling.
#include "engine/interpreter.h"

#include <filesystem>

#include "engine/prepared.h"
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
      prepared_(std::make_unique<PreparedTexts>()) {}

Interpreter::~Interpreter() = default;

Interpreter::NestingGuard::NestingGuard(Interpreter& in) : in_(in) {
  if (++in_.nesting_ > kMaxNativeNesting) {
    --in_.nesting_;
    throw in_.Error(
        text::sjis("スタックが一杯になりました。ラベルなどに再帰呼び出しがないか確認！"));
  }
}

// ---- errors ------------------------------------------------------------------------------------

int Interpreter::CurrentLine() {
  if (state_->Position)
    state_->CurrentLine = source::LineNumberAt(state_->Position, state_->CurrentLine);
  return state_->CurrentLine;
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
  error_log_ += WarningLine(message) + "\r\n";
  if (DebugMode && host_.ShowErrorDialog(error_log_) == ErrorChoice::Quit) {
    Stop();
    host_.CloseMainWindow();
  }
}

EMorv Interpreter::Error(const std::string& message) {
  std::string line = ErrorLine(message);
  error_log_ += line + "\r\n";
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
    error_log_ += line + "\r\n";
    throw EMorv(line);
  }
}

void Interpreter::StartAtBeginning() {
  state_->Position = state_->Sources.empty() ? nullptr : state_->Sources[0]->c_str();
}

void Interpreter::Stop() {
  state_->StopFlag = true;
  state_->Position = nullptr;
}

void Interpreter::RunMainLoop() {
  words::TMorvBase& s = *state_;
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
      ExecuteToken();
    } catch (const std::exception& e) {
      HandleMainLoopError(e);
      previous = nullptr;
    }
  }
}

void Interpreter::HandleMainLoopError(const std::exception& error) {
  words::TMorvBase& s = *state_;
  s.Arguments.Clear();
  if (s.Sys.ErrorMessage) s.Sys.ErrorMessage->SetValue(error.what());
  if (!ErrorLabel.empty()) {
    if (words::THashNode* label = FindWord(ErrorLabel)) {
      if (auto info = std::dynamic_pointer_cast<source::LabelInfo>(label->Obj)) {
        ErrorPosition = s.Position;
        s.Position = info->position;
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
