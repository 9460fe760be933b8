// The engine of one run: main loop, statements, terms, assignment, argument binding and errors.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/errors.h"
#include "engine/host.h"
#include "engine/vocabulary.h"
#include "expr/evaluator.h"
#include "words/state.h"

namespace morivel::source {
struct LabelInfo;
}

namespace morivel::engine {

struct PreparedTexts;
class PureCalls;
struct PreparedAssignment;
struct PreparedSplit;
struct PreparedCondition;
struct PreparedIf;
struct PreparedCallGroup;
struct PreparedStatement;
struct PreparedPass;
template <typename Prepared>
struct PreparedEntry;
using PreparedArgumentEntry = PreparedEntry<expr::PreparedArgument>;
using PreparedExpressionEntry = PreparedEntry<expr::PreparedToken>;

// How the main loop treats errors that reach it.
enum class ErrorMode { Ignore = 0, Warn = 1 };

// Blocks nested deeper than this inside one call (もし inside もし ...) end in the stack-full
// error: each level holds a copy of the text inside it.
inline constexpr std::size_t kMaxBlockNesting = 1000;

// Guards native recursion: nesting deeper than this, or closer than kStackReserveBytes to the end
// of the thread's stack, ends in the stack-full error. The program runs on a large stack of its
// own (startup/large_stack.h), where function-form recursion reaches tens of thousands of levels;
// on a smaller stack (tests, fuzzing) the reserve check ends it earlier, never in a crash.
inline constexpr int kMaxNativeNesting = 100000;
inline constexpr std::size_t kStackReserveBytes = std::size_t{1} << 20;

class Interpreter {
 public:
  // Counts native nesting (nested runs, evaluations, calls) so that runaway recursion ends in
  // the language's stack-full error, never a native stack overflow.
  class NestingGuard {
   public:
    explicit NestingGuard(Interpreter& in);
    ~NestingGuard() { --in_.nesting_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    Interpreter& in_;
  };

  Interpreter(Host& host, const Vocabulary& vocabulary);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  words::TMorvBase& State() { return *state_; }
  Host& GetHost() { return host_; }

  // ---- running -------------------------------------------------------------------------------
  // Resets the state, registers the vocabulary, preprocesses `source` into slot 0 and registers
  // its labels. Errors come out as EMorv (the error log holds them).
  void PrepareRun(std::string_view source, const std::string& file_name);
  // Points the program pointer at the start of the main text.
  void StartAtBeginning();
  // Runs until the pointer is none, the stop flag is set, or the text ends on an empty level.
  void RunMainLoop();
  // Asks the run to end (おわり, closing the window).
  void Stop();

  // ---- errors --------------------------------------------------------------------------------
  // Builds the error line of `message`, appends it to the error log and returns the exception.
  EMorv Error(const std::string& message);
  std::string ErrorLine(const std::string& message);
  std::string WarningLine(const std::string& message);
  // Appends a warning line to the error log; in debug mode the error dialog opens at once.
  void Warn(const std::string& message);
  const std::string& ErrorLog() const { return error_log_; }
  // The script line of the statement being run: what error lines name.
  int CurrentLine() const { return statement_line_; }
  // The error log keeps this many of its last lines, so that a run ignoring a failing
  // statement in a loop cannot fill the memory.
  static constexpr std::size_t kMaxErrorLogLines = 1000;

  // ---- values --------------------------------------------------------------------------------
  // Reads one term at p (literal, number, group, word, element, dictionary entry, call).
  expr::Value ReadTerm(const char*& p);
  // Expands a literal's raw text (escapes, embedded expressions).
  std::string ExpandString(std::string_view literal);
  // Evaluates an argument text; sets the current type mark.
  std::string EvalArgument(std::string_view text);
  // Evaluates an expression text.
  expr::Value EvaluateText(std::string_view text);
  // The literal / parenthesised group at p, with reading failures as the language's errors.
  std::string ReadLiteralAt(const char*& p);
  std::string ReadGroupAt(const char*& p);
  const std::string& CurrentType() const { return current_type_; }
  void SetCurrentType(std::string type) { current_type_ = std::move(type); }

  // ---- command invocation ---------------------------------------------------------------------
  std::string PopArgumentText();
  std::string PopArgumentValue();
  long double PopArgumentNumber();
  words::THashNode* PopArgumentVariable(bool create);
  void SetResult(std::string value, std::string type_mark);
  void PushValueArgument(std::string_view value);
  const std::string& CurrentCommandName() const { return current_command_; }
  bool ImplicitSore() const { return implicit_sore_; }
  // The message every handler gives for an unusable argument, optionally with a reason.
  EMorv ArgumentError(const std::string& reason = "");

  // Runs a word by its kind (command, label, ...), with its arguments on the stack.
  void RunWord(words::THashNode& word);
  void ExecuteCommand(words::THashNode& word);
  // ExecuteCommand once the arguments are bound to the command's template.
  void RunBoundCommand(words::THashNode& word);
  // Calls a declared shared-library function with its arguments on the stack.
  void RunExternal(words::THashNode& word);
  // Calls `word` with the arguments inside the parentheses at p, in function form.
  expr::Value CallFunctionForm(words::THashNode& word, const char*& p);

  // ---- control ---------------------------------------------------------------------------------
  // A block's text and where execution goes on after it. The text runs from `begin` to `end` in
  // `text`, a copy of the interpreter's own: the whole copy, or a stretch of an enclosing
  // block's copy (`view`), so that nesting costs no more copies than the outermost block.
  struct Block {
    std::shared_ptr<const std::string> text;
    const char* begin = nullptr;
    const char* end = nullptr;
    const char* resume = nullptr;
    int start_line = 0;  // the script line the block's text starts on
    bool view = false;
  };
  Block ReadBlock();
  void ProcessLineEnd();
  void StartCountLoop(std::int64_t count);
  void StartForLoop(words::THashNode& counter, std::int32_t from, std::int32_t to);
  void StartEachLoop(const std::string& items_text);
  void StartWhileLoop(std::string condition);
  void Break();
  void Continue();
  void BeginLocalBlock();
  void EndLocalBlock();
  void RunIf();
  void RunConditional(const std::string& subject);
  void RunCaseLine(const std::string& label);
  void JumpTo(const std::string& name);
  void CallLabel(words::THashNode& label);
  // CallLabel's two halves: binding and evaluating the arguments (FunctionArguments), then
  // entering the body as a subroutine.
  void TakeLabelArguments(words::THashNode& label);
  void EnterLabel(const source::LabelInfo& info);
  void Return();
  void WaitForEvents();
  // Runs a text in a nested run on a level of its own, then comes back.
  void RunNested(const char* start, int start_line);
  // RunNested with `file_name` as the script file name meanwhile.
  void RunNestedAs(const char* start, const std::string& file_name, int start_line = 1);
  void RunProgramText(const std::string& program);                            // もりべるする
  void IncludeFile(const std::string& path, const std::string& source_text);  // 取り込む
  std::string ConditionToExpression(const std::string& condition);

  // ---- events --------------------------------------------------------------------------------
  // タイマー設定: after `seconds`, the label runs (interrupting a running script). An empty
  // name stops the timer.
  void SetTimer(double seconds, const std::string& label_name);
  void OnTimer();
  // Runs a timer's label while a command waits (EventWait), then puts the run back as it was.
  void RunDuringWait(const char* start, int start_line);
  // Runs from `start` in a nested run, as events do when the script is idle.
  void RunFromEventLoop(const char* start, int start_line);
  // Runs event code from `entry` as a call that comes back to wherever the run was: at once in
  // a nested run when the script is idle, or, when a command is letting events through (a
  // modal dialog, 待つ), as an interrupt that the running loop takes next. `code` keeps program
  // text bound to an event alive while it runs; `source_name` names the file for error lines.
  void RunEvent(const char* entry, std::shared_ptr<const std::string> code,
                const std::string& source_name);
  bool IsRunning() const;
  // Held by a command that waits while events run (待つ, 起動して終了まで待機): a timer firing
  // meanwhile runs its label at once, in a run of its own, and the command goes on waiting when
  // the label returns. Events the waiting command lets through otherwise interrupt the script
  // only once the command is done.
  class EventWait {
   public:
    explicit EventWait(Interpreter& in) : in_(in), was_(in.in_event_wait_) {
      in.in_event_wait_ = true;
    }
    ~EventWait() { in_.in_event_wait_ = was_; }
    EventWait(const EventWait&) = delete;
    EventWait& operator=(const EventWait&) = delete;

   private:
    Interpreter& in_;
    bool was_;
  };
  // Where a script stopped to let a form act as a dialog (ダイアログ表示).
  struct Suspension {
    const char* position = nullptr;
    int line = 0;
    std::string source_name;
    std::vector<words::TRunControl> entries;
  };
  // Stops the run after the current command, as if it waited, keeping what Resume needs to go
  // on from there.
  Suspension Suspend();
  // Goes on after a Suspend in a run of its own; the caller makes sure the script is idle.
  void Resume(Suspension suspension);
  // 終了処理設定, and the close query that runs the end handler: false refuses the close.
  void SetEndHandler(const std::string& name);
  bool QueryClose();
  void ShowDebugDialog(const std::string& search = {});
  std::string VariablesText() const;
  std::string RunControlText() const;
  void SetErrorMode(ErrorMode mode) { error_mode_ = mode; }
  // Whether texts are read once and kept (the default) or read again each time they run. Both
  // give the same results; reading again is there to compare with and to rule the caches out.
  void SetPreparing(bool on) { preparing_ = on; }
  // Lowers the native nesting limit (kMaxNativeNesting), so that tests reach it by depth alone,
  // before the stack reserve, at the same statement however large each level's frames are.
  void SetNestingLimit(int limit) { nesting_limit_ = limit; }
  // Calls in function form that ran as compiled steps (PureCalls) rather than statements.
  std::uint64_t CompiledCallCount() const;

  // The arguments of the label last called with a template (引数取得, 引数得る).
  std::vector<std::string> FunctionArguments;
  // The label errors jump to (エラー処理設定), and where the last error happened.
  std::string ErrorLabel;
  const char* ErrorPosition = nullptr;
  int ErrorPositionLine = 0;
  bool LineStop = false;
  bool DebugMode = false;

  // ---- words ---------------------------------------------------------------------------------
  words::THashNode* FindWord(std::string_view name, bool okurigana = false) const;
  // A new global variable at the current level.
  words::THashNode& CreateVariable(const std::string& name, std::string value = {});
  // Refuses a new word named by a conjugated command name (言う), which a statement would run.
  void RefuseCommandName(const std::string& name);
  // True when the whole word names something the script can refer to (see the reader notes).
  bool IsKnownWord(std::string_view word) const;

 private:
  friend class StatementReader;
  friend class TermAccess;

  // Statement engine.
  void ExecuteToken();
  // `replayed`: the kept statement whose tokens were pushed, which may know its command word.
  void FinishStatement(PreparedStatement* replayed = nullptr);
  words::THashNode* FindCommandWord(const std::string& name, PreparedStatement* replayed) const;
  words::THashNode* KeptCommand(const PreparedStatement& replayed) const;
  bool ReadPropertyStatement(const std::string& property);
  // The word `name`, read at `at`, names when a group follows it (a call in function form).
  words::THashNode* FindCallee(const std::string& name, const char* at);
  // The argument group of a call in function form at p, read into its pieces; p moves past it.
  std::shared_ptr<const PreparedCallGroup> ReadCallGroup(const char*& p);
  void PushCallArguments(const std::vector<std::pair<std::string, bool>>& pieces);
  void AnalyseToken(std::string token, bool read_as_word);
  void HandleLineEnd();
  void HandleMainLoopError(const std::exception& error);
  // Runs from `start` on the level just opened; an error no handler took is shown.
  void RunOnOpenLevel(const char* start, int start_line);
  void AppendToErrorLog(const std::string& line);
  // Steps over the rest of the line at the pointer: a statement that failed without moving the
  // pointer would otherwise fail again at once, for ever.
  void SkipFailedStatement();
  // Moves the current line over the line breaks from `from` up to `to` in one text.
  void AdvanceLine(const char* from, const char* to);
  bool CheckRunControl();
  bool RepeatInPlace(words::TRunControl& entry);
  // Whether a condition holds, when it can be evaluated prepared (which runs no code).
  void ContinueEntry(words::TRunControl&& entry);
  void EnterBlock(words::TRunControl&& entry, const Block& block);
  // The block copy of the interpreter's own that `p` lies in, or null.
  std::shared_ptr<const std::string> CopyHolding(const char* p) const;
  // The script file name as a shared text, made again only when the name has changed.
  std::shared_ptr<const std::string> SharedScriptName();
  Block ReadBlockText(const char*& p);
  // Cuts a view's text off at its end while the returned handle (shared by every entry running
  // that block) lives.
  std::shared_ptr<void> TerminateView(const Block& block);
  void SetCount(std::int32_t n);
  void SkipBlockEnd();
  bool AtElseKeyword();

  // Assignment.
  void AssignStatement(const std::string& target);
  // `pinned_value`: the value text is a whole pinned text, read where it lies.
  void AssignValue(const std::string& target, std::string_view value_text,
                   PreparedArgumentEntry* prepared = nullptr, bool pinned_value = false);
  // Runs the statement at the pointer when it is a prepared plain assignment.
  bool RunPreparedAssignment();
  // The plain assignment at p as kept, or null when the statement is none (or p lies in no
  // pinned text).
  PreparedAssignment* KeptAssignment(const char* p);
  // Runs a loop's pass at the pointer as kept (see PreparedPass), as far as it goes without the
  // statement reader; false, having done nothing, when it cannot start that way. `previous` is
  // the main loop's last statement start.
  bool RunKeptPass(const char*& previous);
  // Runs a label called in function form as compiled steps (PureCalls), its arguments taken,
  // leaving それ, FunctionArguments and the command name as its statements would; false,
  // having changed nothing, where its statements must run.
  bool RunCompiledCall(words::THashNode& label);
  // How many call levels the statements could go deeper than here before a nesting, stack or
  // run-control limit: compiled calls stop short of them, so that the statements reach them.
  int CompiledDepthAllowed() const;
  PreparedPass ReadPass(const char* start);
  // Where the statement reader keeps how it split the word at p, or null when p lies in no
  // pinned text (or texts are read again each time).
  PreparedSplit* KeptSplit(const char* p);
  // Where RunIf keeps how it read the condition at p, or null (see KeptSplit).
  PreparedCondition* KeptCondition(const char* p);
  // Reads the condition text at p up to its keyword, as an expression.
  // With `kept`, it learns the kept reading the condition came from (null when there is none).
  std::string ReadCondition(const char*& p, PreparedCondition** kept = nullptr);
  // The もし chain at the pointer as read before, when that reading still holds; the pointer
  // and the line then stand where reading it left them.
  std::shared_ptr<PreparedIf> KeptIf();
  // Reads the もし chain at the pointer (kept for next time when its reading can be).
  std::shared_ptr<PreparedIf> ReadIfChain();
  // Whether a condition holds by its prepared reading, found once and kept in `kept`; nothing
  // when the condition must be evaluated from its text.
  std::optional<bool> KeptConditionHolds(const std::string& condition, std::shared_ptr<void>& kept);
  // Plain statements read once: at the start of a statement whose tokens were recorded (and
  // are still valid), pushes them and finishes the statement; otherwise starts recording.
  bool ReplayStatement();
  // A token the statement reader pushed on a path that depends on the text and names alone.
  void RecordToken(const std::string& token);
  // The statement being read depends on more (a value, code run while reading): not kept.
  void SpoilRecording();
  // Keeps what was recorded when the statement is finished here.
  void EndRecording();
  // The common case of one: a variable takes a prepared value, a number staying a number.
  // False, having changed nothing, when the assignment must take the general way.
  bool AssignPreparedValue(PreparedAssignment& assignment);
  bool AssignPreparedElement(PreparedAssignment& assignment, const expr::PreparedArgument& value);
  bool AppendToTarget(PreparedAssignment& assignment, const expr::PreparedArgument& argument);
  // The assignment's variable as last found, or null when it must take the general way.
  words::THashNode* AssignableTarget(PreparedAssignment& assignment);
  void AssignElementStatement(const std::string& target);
  void AssignHashFromText(words::THashNode& word, const std::string& value);

  // Binding.
  void BindArguments(const words::THashNode& word);
  // Binds a replayed statement's arguments, the first time by BindArguments, later from what
  // that gave; false when the statement's word is no command bound this way.
  bool BindReplayed(words::THashNode& word, PreparedStatement& replayed);
  bool ReplayBound(PreparedStatement& kept);
  void RefuseArgumentsLeft(const std::string& command);

  // Prepared evaluation: the value, or nothing when the text must be read instead.
  // With `number`, a number result comes as a number (see expr::EvaluatePreparedArgument).
  std::optional<expr::Value> EvaluatePreparedText(std::string_view text,
                                                  expr::PreparedNumber* number = nullptr);
  // EvaluatePreparedText with the text's prepared entry found once and kept in `kept`.
  std::optional<expr::Value> EvaluateKeptExpression(const std::string& text,
                                                    std::shared_ptr<void>& kept,
                                                    expr::PreparedNumber* number);
  // The number EvaluateKeptExpression would give, when its values are numbers throughout;
  // nothing otherwise, having changed nothing.
  std::optional<expr::NumberResult> KeptExpressionNumber(const std::string& text,
                                                         std::shared_ptr<void>& kept);
  std::shared_ptr<PreparedExpressionEntry> PreparedExpression(std::string_view text);
  std::optional<expr::Value> EvaluatePreparedEntry(PreparedExpressionEntry* entry,
                                                   expr::PreparedNumber* number);
  std::optional<std::string> EvalPreparedArgument(std::string_view text,
                                                  PreparedArgumentEntry* entry);
  // EvalArgument with the text's prepared entry at hand (null: looked up by the text).
  // `pinned_text`: the text is a whole pinned text, read where it lies instead of a copy.
  std::string EvalArgumentWith(std::string_view text, PreparedArgumentEntry* entry,
                               bool pinned_text = false);
  std::string RunPreparedArgument(const expr::PreparedArgument& argument);
  bool PreparedNestingAllowed() const;
  expr::Value EvaluateTextAsRead(std::string_view text);
  expr::Value EvaluateContinuation(const expr::Value& so_far, const char* rest);

  // Dictionary and property access: the word at hand ends in の.
  expr::Value ReadAccess(words::THashNode* owner, const std::string& owner_name, const char*& p);
  expr::Value ReadElement(words::THashNode& word, const char*& p);
  std::string ReadAccessKey(const char*& p, bool expand_words);

  Host& host_;
  const Vocabulary& vocabulary_;
  std::unique_ptr<words::TMorvBase> state_;
  std::unique_ptr<PreparedTexts> prepared_;
  std::unique_ptr<PureCalls> pure_calls_;
  // The cut-off ends of views in use, by position; expired handles are swept now and then.
  std::unordered_map<const char*, std::weak_ptr<void>> view_ends_;
  std::size_t view_ends_sweep_at_ = 64;

  std::string error_log_;
  ErrorMode error_mode_ = ErrorMode::Warn;
  std::string current_type_;
  std::string result_type_;
  std::string current_command_;
  bool function_call_mode_ = false;
  bool implicit_sore_ = false;
  std::shared_ptr<const std::string> shared_script_name_;
  bool comma_before_break_ = false;
  // Set while the tokens inside a function call's parentheses are pushed: nothing runs then.
  bool collecting_arguments_ = false;
  int nesting_ = 0;  // native depth of nested runs and evaluations
  int nesting_limit_ = kMaxNativeNesting;
  bool preparing_ = true;
  bool in_event_wait_ = false;
  int statement_line_ = 1;  // the line the current statement started on
  // Where the loop that went on last started its pass: only there is a kept pass looked for.
  const char* pass_start_ = nullptr;
  std::shared_ptr<source::LabelInfo> timer_target_;
  std::string end_handler_;
};

}  // namespace morivel::engine
