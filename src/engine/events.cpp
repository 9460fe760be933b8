// Re-entry from the event loop: the script timer, the end handler and the debug dialog.
#include <utility>

#include "engine/interpreter.h"
#include "source/labels.h"
#include "text/encoding.h"
#include "words/errors.h"

namespace morivel::engine {

namespace {

std::shared_ptr<source::LabelInfo> label_info(const words::THashNode* word) {
  if (!word || word->Kind != words::kLabel) return nullptr;
  return std::dynamic_pointer_cast<source::LabelInfo>(word->Obj);
}

}  // namespace

void Interpreter::SetTimer(double seconds, const std::string& label_name) {
  if (label_name.empty()) {
    timer_target_ = nullptr;
    host_.StopTimer();
    return;
  }
  auto info = label_info(FindWord(label_name));
  if (!info)
    throw Error(text::sjis("未定義のラベル\"") + label_name +
                text::sjis("\"に、ジャンプしようとしました。"));
  timer_target_ = info;
  double ms = seconds * 1000;
  int interval = !(ms > 0) ? 0 : ms > 2e9 ? 2000000000 : static_cast<int>(ms);
  host_.StartTimer(interval, [this] { OnTimer(); });
}

bool Interpreter::IsRunning() const {
  return state_->Position && *state_->Position;
}

void Interpreter::OnTimer() {
  auto target = timer_target_;
  if (!target || state_->StopFlag) return;
  words::TMorvBase& s = *state_;
  if (in_event_wait_) {
    RunDuringWait(target->position, target->line);
    return;
  }
  if (IsRunning()) {
    words::TRunControl entry;
    entry.EntryType = words::kInterrupt;
    entry.Position = s.Position;
    entry.ResumeAt = target->position;
    entry.SourceName = SharedScriptName();
    entry.StartLine = target->line;
    entry.ReturnLine = s.CurrentLine;
    s.Words.PushScope();
    s.RunControl.Push(std::move(entry));
    s.Position = target->position;
    s.CurrentLine = target->line;
    return;
  }
  RunFromEventLoop(target->position, target->line);
}

void Interpreter::RunDuringWait(const char* start, int start_line) {
  words::TMorvBase& s = *state_;
  const char* saved = s.Position;
  const int saved_line = s.CurrentLine;
  const std::string saved_name = s.ScriptFileName;
  const std::size_t saved_scopes = s.Words.ScopeCount();
  // The label's own waits and dialogs defer events as usual; only this command's wait is known.
  const bool was_waiting = std::exchange(in_event_wait_, false);
  s.RunControl.OpenLevel();
  RunOnOpenLevel(start, start_line);
  // 待機 or the end of the text inside the label leaves entries and scopes of its level.
  s.RunControl.ClearLevel();
  while (s.Words.ScopeCount() > saved_scopes) s.Words.PopScope();
  s.RunControl.CloseLevel();
  in_event_wait_ = was_waiting;
  if (s.StopFlag) return;
  s.Position = saved;
  s.CurrentLine = saved_line;
  s.ScriptFileName = saved_name;
}

void Interpreter::RunFromEventLoop(const char* start, int start_line) {
  words::TMorvBase& s = *state_;
  const char* saved = s.Position;
  s.RunControl.OpenLevel();
  RunOnOpenLevel(start, start_line);
  s.RunControl.CloseLevel();
  if (!s.StopFlag && s.Position == nullptr) s.Position = saved;
}

void Interpreter::RunOnOpenLevel(const char* start, int start_line) {
  state_->Position = start;
  state_->CurrentLine = start_line;
  try {
    RunMainLoop();
  } catch (const std::exception& e) {
    if (ErrorLog().empty()) host_.ShowMessage(ErrorLine(text::sjis("システムエラー:") + e.what()));
  }
}

void Interpreter::RunEvent(const char* entry, std::shared_ptr<const std::string> code,
                           const std::string& source_name) {
  words::TMorvBase& s = *state_;
  if (!entry || s.StopFlag) return;
  words::TRunControl call;
  call.EntryType = words::kInterrupt;
  call.SourceName = SharedScriptName();
  call.BlockText = std::move(code);
  if (IsRunning()) {
    call.Position = s.Position;
    call.ReturnLine = s.CurrentLine;
    s.Words.PushScope();
    s.RunControl.Push(std::move(call));
    s.Position = entry;
    s.ScriptFileName = source_name;
    return;
  }
  // Idle: the event's own level; returning from it leaves no position, which ends the loop.
  const char* saved = s.Position;
  const std::string saved_name = s.ScriptFileName;
  const std::size_t saved_scopes = s.Words.ScopeCount();
  s.RunControl.OpenLevel();
  s.Words.PushScope();
  s.RunControl.Push(std::move(call));
  s.Position = entry;
  s.ScriptFileName = source_name;
  try {
    RunMainLoop();
  } catch (const std::exception& e) {
    if (ErrorLog().empty()) host_.ShowMessage(ErrorLine(text::sjis("システムエラー:") + e.what()));
  }
  // Code that ended without returning (待機, an error) leaves its entries and local scopes.
  s.RunControl.ClearLevel();
  while (s.Words.ScopeCount() > saved_scopes) s.Words.PopScope();
  s.ScriptFileName = saved_name;
  s.RunControl.CloseLevel();
  if (!s.StopFlag && s.Position == nullptr) s.Position = saved;
}

Interpreter::Suspension Interpreter::Suspend() {
  words::TMorvBase& s = *state_;
  Suspension suspension{s.Position, s.CurrentLine, s.ScriptFileName, s.RunControl.TakeLevel()};
  s.Position = nullptr;
  return suspension;
}

void Interpreter::Resume(Suspension suspension) {
  words::TMorvBase& s = *state_;
  if (s.StopFlag || !suspension.position) return;
  const char* saved = s.Position;
  s.RunControl.OpenLevel();
  s.RunControl.RestoreLevel(std::move(suspension.entries));
  s.Position = suspension.position;
  s.CurrentLine = suspension.line;
  s.ScriptFileName = suspension.source_name;
  try {
    RunMainLoop();
  } catch (const std::exception& e) {
    if (ErrorLog().empty()) host_.ShowMessage(ErrorLine(text::sjis("システムエラー:") + e.what()));
  }
  s.RunControl.ClearLevel();
  s.RunControl.CloseLevel();
  if (!s.StopFlag && s.Position == nullptr) s.Position = saved;
}

void Interpreter::SetEndHandler(const std::string& name) {
  words::TMorvBase& s = *state_;
  if (words::THashNode* word = FindWord(name)) {
    end_handler_ = word->Name;
    if (s.Sys.EndRefused) s.Sys.EndRefused->SetValue("1");
    return;
  }
  if (EvalArgument(name).empty()) {
    end_handler_.clear();
    if (s.Sys.EndRefused) s.Sys.EndRefused->SetValue("0");
    return;
  }
  throw Error(text::sjis("未定義のラベル\"") + name +
              text::sjis("\"に、ジャンプしようとしました。"));
}

bool Interpreter::QueryClose() {
  words::TMorvBase& s = *state_;
  if (!end_handler_.empty()) {
    auto info = label_info(FindWord(end_handler_));
    end_handler_.clear();
    if (s.Sys.EndRefused) s.Sys.EndRefused->SetValue("0");
    if (info) {
      const char* saved = s.Position;
      s.RunControl.OpenLevel();
      s.Position = info->position;
      s.CurrentLine = info->line;
      try {
        RunMainLoop();
      } catch (const std::exception&) {
      }
      s.RunControl.CloseLevel();
      if (s.Sys.EndRefused && s.Sys.EndRefused->GetValue() == "1") {
        s.Position = saved;
        return false;
      }
    }
  }
  s.Position = nullptr;
  s.StopFlag = true;
  return true;
}

std::string Interpreter::VariablesText() const {
  std::string out;
  for (const words::THashNode* w : state_->Words.Enumerate()) {
    if (w->Kind != words::kVariable && w->Kind != words::kHash) continue;
    if (w->Tag < 0 && w->Reserved) continue;
    out += w->Name + "=" + w->GetValue() + "\r\n";
  }
  return out;
}

std::string Interpreter::RunControlText() const {
  std::string out;
  words::TRunControlStack& stack = state_->RunControl;
  for (std::size_t i = 0; i < stack.Count(); ++i) {
    const words::TRunControl& e = stack.At(i);
    out += std::to_string(i) + ": type " + std::to_string(e.EntryType) + " " +
           std::to_string(e.Counter) + "/" + std::to_string(e.Limit) + "\r\n";
  }
  return out;
}

void Interpreter::ShowDebugDialog(const std::string& search) {
  switch (host_.ShowDebugDialog(VariablesText(), RunControlText(), search)) {
    case DebugChoice::Continue:
      LineStop = false;
      return;
    case DebugChoice::LineStep:
      LineStop = true;
      return;
    case DebugChoice::Stop:
      Stop();
      host_.CloseMainWindow();
      return;
  }
}

}  // namespace morivel::engine
