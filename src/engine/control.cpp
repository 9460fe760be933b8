// Structured control: blocks, loops, conditions, case lines, jumps, calls and local blocks.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "engine/interpreter.h"
#include "engine/lexer.h"
#include "engine/prepared.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "expr/quote.h"
#include "source/labels.h"
#include "source/preprocess.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::engine {

namespace {

bool at(const char* p, const std::string& word) {
  return std::strncmp(p, word.c_str(), word.size()) == 0;
}

const std::string& kNaraba() {
  static const std::string s = text::sjis("ならば");
  return s;
}
const std::string& kNara() {
  static const std::string s = text::sjis("なら");
  return s;
}
const std::string& kChigaeba() {
  static const std::string s = text::sjis("違えば");
  return s;
}
const std::string& kDenakereba() {
  static const std::string s = text::sjis("でなければ");
  return s;
}
const std::string& kMoshi() {
  static const std::string s = text::sjis("もし");
  return s;
}

bool at_then_keyword(const char* p) {
  return at(p, kNaraba()) || at(p, kNara());
}
bool at_else_keyword(const char* p) {
  return at(p, kChigaeba()) || at(p, kDenakereba());
}
bool at_any_keyword(const char* p) {
  return at_then_keyword(p) || at_else_keyword(p);
}

void skip_literal_or_char(const char*& p) {
  if (*p == '"' || *p == '`' || (p[0] == '@' && p[1] == '@')) {
    const char* q = p;
    try {
      expr::ReadStringToken(q);
      p = q;
      return;
    } catch (const GeneralError&) {
    }
  }
  p += std::max<std::size_t>(1, text::char_len(p));
}

bool condition_is_true(const expr::Value& v) {
  if (v.type_mark == "s") return !v.text.empty();
  std::int64_t n = 0;
  return expr::TruncateToInt64(expr::ToNumber(v.text), n) && n != 0;
}

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

// ---- blocks ------------------------------------------------------------------------------------

void Interpreter::ProcessLineEnd() {
  const char*& p = state_->Position;
  // The prefix names the line that just ended.
  int line = skip_line_prefix(p);
  if (line >= 0) state_->CurrentLine = line + 1;
}

// A block read at a position of a pinned text is kept, pinned in turn: reading it again gives
// the same text, so loops and conditions inside loops share one copy.
Interpreter::Block Interpreter::ReadBlock() {
  const char*& p = state_->Position;
  auto& blocks = prepared_->blocks;
  if (auto found = blocks.find(p); preparing_ && found != blocks.end()) {
    const PreparedBlock& kept = found->second;
    if (kept.line >= 0) state_->CurrentLine = kept.line;
    Block block{kept.text, kept.begin, kept.end, kept.resume, state_->CurrentLine, kept.view};
    state_->CurrentLine += kept.breaks;
    p = kept.resume;
    return block;
  }
  const char* at = p;
  int line = -1;
  while (is_separator(*p)) ++p;
  if (*p == '\r' || *p == '\n') {
    const char* peek = p;
    bool prefixed = skip_line_prefix(peek) >= 0;
    ProcessLineEnd();
    if (prefixed) line = state_->CurrentLine;
    while (is_separator(*p)) ++p;
  }
  const int start_line = state_->CurrentLine;
  const char* start = p;
  Block block = ReadBlockText(p);
  block.start_line = start_line;
  AdvanceLine(start, p);
  if (preparing_ && prepared_->pinned.Holds(at)) {
    prepared_->pinned.Pin(block.text);
    int breaks = state_->CurrentLine - block.start_line;
    blocks.emplace(at, PreparedBlock{block.text, block.begin, block.end, block.view, block.resume,
                                     line, breaks});
  }
  return block;
}

// A block inside one of our copies is a stretch of it, as long as its text stands there as it
// is read: the inside of parentheses, or a statement that ends where the copy does.
Interpreter::Block Interpreter::ReadBlockText(const char*& p) {
  Block block;
  try {
    if (auto holder = CopyHolding(p)) {
      expr::BlockExtent extent = expr::FindBlockExtent(p);
      if (extent.exact && (extent.parenthesised || *extent.end == '\0')) {
        p = extent.resume;
        return Block{std::move(holder),   extent.begin, extent.end, extent.resume, 0,
                     extent.parenthesised};
      }
    }
    bool parenthesised = false;
    auto copy = std::make_shared<std::string>(expr::ReadBlockText(p, parenthesised));
    block.begin = copy->c_str();
    block.end = block.begin + copy->size();
    block.text = std::move(copy);
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
  block.resume = p;
  return block;
}

std::shared_ptr<const std::string> Interpreter::CopyHolding(const char* p) const {
  const words::TRunControlStack& stack = state_->RunControl;
  for (std::size_t i = stack.Count(); i > 0; --i) {
    const words::TRunControl& entry = stack.At(i - 1);
    if (!entry.BlockText) continue;
    const char* first = entry.BlockText->c_str();
    if (p < first || p > first + entry.BlockText->size()) continue;
    return entry.BlockIsCopy ? entry.BlockText : nullptr;
  }
  return nullptr;
}

namespace {

// Holds a view's end cut off with a NUL, and puts the character back when the last entry
// running the view lets go of it. The copy is the interpreter's own, made writable.
class ViewEnd {
 public:
  ViewEnd(std::shared_ptr<const std::string> copy, const char* end)
      : copy_(std::move(copy)), at_(const_cast<char*>(end)), saved_(*at_) {
    *at_ = '\0';
  }
  ~ViewEnd() { *at_ = saved_; }
  ViewEnd(const ViewEnd&) = delete;
  ViewEnd& operator=(const ViewEnd&) = delete;

 private:
  std::shared_ptr<const std::string> copy_;
  char* at_;
  char saved_;
};

}  // namespace

std::shared_ptr<void> Interpreter::TerminateView(const Block& block) {
  std::weak_ptr<void>& slot = view_ends_[block.end];
  if (auto held = slot.lock()) return held;
  auto end = std::make_shared<ViewEnd>(block.text, block.end);
  slot = end;
  if (view_ends_.size() >= view_ends_sweep_at_) {
    std::erase_if(view_ends_, [](const auto& kept) { return kept.second.expired(); });
    view_ends_sweep_at_ = std::max<std::size_t>(64, 2 * view_ends_.size());
  }
  return end;
}

std::shared_ptr<const std::string> Interpreter::SharedScriptName() {
  if (!shared_script_name_ || *shared_script_name_ != state_->ScriptFileName)
    shared_script_name_ = std::make_shared<const std::string>(state_->ScriptFileName);
  return shared_script_name_;
}

void Interpreter::EnterBlock(words::TRunControl&& entry, const Block& block) {
  words::TRunControlStack& stack = state_->RunControl;
  std::size_t nesting = 0;
  for (std::size_t i = stack.Count(); i > 0 && stack.At(i - 1).BlockText; --i)
    if (++nesting >= kMaxBlockNesting)
      throw Error(text::sjis("スタックが一杯になりました。ブロックの入れ子が深すぎます。(最大") +
                  std::to_string(kMaxBlockNesting) + text::sjis("段)"));
  entry.BlockText = block.text;
  entry.BlockEnd = block.end;
  entry.BlockIsCopy = true;
  if (block.view) entry.Terminator = TerminateView(block);
  entry.ResumeAt = block.resume;
  entry.SourceName = SharedScriptName();
  entry.Position = block.begin;
  entry.StartLine = block.start_line;
  entry.ReturnLine = state_->CurrentLine;
  state_->RunControl.Push(std::move(entry));
  state_->Position = block.begin;
  state_->CurrentLine = block.start_line;
}

void Interpreter::SetCount(std::int32_t n) {
  if (state_->Sys.Kaisu) {
    state_->Sys.Kaisu->SetWhole(n, &expr::NumberToText);
    mark_number_type(state_->Sys.Kaisu->TypeMark);
  }
}

// ---- loops -------------------------------------------------------------------------------------

void Interpreter::StartCountLoop(std::int64_t count) {
  Block block = ReadBlock();
  if (count <= 0) return;
  words::TRunControl entry;
  entry.EntryType = words::kCountLoop;
  entry.Counter = 1;
  entry.Limit = static_cast<std::int32_t>(std::min<std::int64_t>(count, INT32_MAX));
  SetCount(1);
  EnterBlock(std::move(entry), block);
}

void Interpreter::StartForLoop(words::THashNode& counter, std::int32_t from, std::int32_t to) {
  Block block = ReadBlock();
  if (to < from) return;
  counter.SetValue(std::to_string(from));
  counter.TypeMark = "e";
  words::TRunControl entry;
  entry.EntryType = words::kForLoop;
  entry.Counter = from;
  entry.Limit = to;
  entry.CounterName = counter.Name;
  EnterBlock(std::move(entry), block);
}

void Interpreter::StartEachLoop(const std::string& items_text) {
  Block block = ReadBlock();
  auto items = std::make_shared<std::vector<std::string>>();
  for (std::string_view line : text::split_lines(items_text)) items->emplace_back(line);
  if (items->empty()) return;
  SetResult(items->front(), "s");
  SetCount(1);
  words::TRunControl entry;
  entry.EntryType = words::kEachLoop;
  entry.Counter = 1;
  entry.Items = std::move(items);
  EnterBlock(std::move(entry), block);
}

void Interpreter::StartWhileLoop(std::string condition) {
  condition = text::normalize_half_width(condition);
  Block block = ReadBlock();
  condition = text::trim(condition);
  if (condition.empty() || condition == "``") return;
  if (condition[0] == '`' && condition.size() >= 2) {
    std::string inner = condition.substr(1, condition.size() - 2), unquoted;
    for (std::size_t i = 0; i < inner.size(); ++i) {
      unquoted += inner[i];
      if (inner[i] == '`' && i + 1 < inner.size() && inner[i + 1] == '`') ++i;
    }
    condition = unquoted;
  }
  if (!condition_is_true(EvaluateText(condition))) return;
  words::TRunControl entry;
  entry.EntryType = words::kWhileLoop;
  entry.Counter = 1;
  entry.Limit = -1;
  entry.Condition = condition;
  SetCount(1);
  EnterBlock(std::move(entry), block);
}

bool Interpreter::CheckRunControl() {
  words::TMorvBase& s = *state_;
  if (s.RunControl.Count() == 0) return false;
  bool taken = false;
  try {
    if (RepeatInPlace(s.RunControl.Top())) return true;
    words::TRunControl entry;  // only here: most passes go on in place
    taken = s.RunControl.Pop(entry);
    ContinueEntry(std::move(entry));
  } catch (const std::exception& e) {
    // A failing entry is gone, however far it got.
    if (!taken) {
      words::TRunControl failed;
      s.RunControl.Pop(failed);
    }
    throw Error(text::sjis("実行制御でエラー。") + e.what() + text::sjis(".制御スタック：") +
                std::to_string(s.RunControl.Count()));
  }
  return true;
}

std::optional<bool> Interpreter::KeptConditionHolds(const std::string& condition,
                                                    std::shared_ptr<void>& kept) {
  NestingGuard guard(*this);
  // A whole number is its own text read back; anything else is judged by its text as always.
  auto number_holds = [](long double n) {
    if (expr::ReadsBackWhole(n)) return n != 0;
    return condition_is_true(expr::Value{expr::NumberToText(n), "e"});
  };
  if (std::optional<expr::NumberResult> n = KeptExpressionNumber(condition, kept)) {
    mark_number_type(current_type_);
    return number_holds(n->value);
  }
  expr::PreparedNumber number;
  std::optional<expr::Value> v = EvaluateKeptExpression(condition, kept, &number);
  if (!v) return std::nullopt;
  current_type_ = v->type_mark;
  if (!number.known) return condition_is_true(*v);
  return number_holds(number.value);
}

// Starts the next pass of the loop `entry` stands for, leaving it where it is on the stack, or
// leaves a while loop whose prepared condition no longer holds. False when ContinueEntry must
// take the entry: it ends, or is no loop that can go on in place.
bool Interpreter::RepeatInPlace(words::TRunControl& entry) {
  switch (entry.EntryType) {
    case words::kForLoop: {
      if (entry.Counter >= entry.Limit) return false;
      words::THashNode* counter = state_->Words.FindKept(
          entry.CounterName, entry.CounterWord, entry.CounterGeneration, entry.CounterShadows);
      if (!counter) counter = &CreateVariable(entry.CounterName);
      ++entry.Counter;
      counter->SetWhole(entry.Counter, &expr::NumberToText);
      mark_number_type(counter->TypeMark);
      break;
    }
    case words::kCountLoop:
      if (entry.Counter >= entry.Limit) return false;
      ++entry.Counter;
      SetCount(entry.Counter);
      break;
    case words::kEachLoop:
      if (static_cast<std::size_t>(entry.Counter) >= entry.Items->size()) return false;
      SetResult((*entry.Items)[static_cast<std::size_t>(entry.Counter)], "s");
      ++entry.Counter;
      SetCount(entry.Counter);
      break;
    case words::kWhileLoop: {
      // A condition that may run code (a call) is left to ContinueEntry: it may move the stack.
      std::optional<bool> goes_on = KeptConditionHolds(entry.Condition, entry.ConditionTokens);
      if (!goes_on) return false;
      if (!*goes_on) {
        state_->Position = entry.ResumeAt;
        state_->CurrentLine = entry.ReturnLine;
        words::TRunControl ended;
        state_->RunControl.Pop(ended);
        return true;
      }
      ++entry.Counter;
      SetCount(entry.Counter);
      break;
    }
    default:
      return false;
  }
  state_->Position = pass_start_ = entry.Position;
  state_->CurrentLine = entry.StartLine;
  return true;
}

void Interpreter::ContinueEntry(words::TRunControl&& entry) {
  words::TMorvBase& s = *state_;
  auto again = [&](words::TRunControl&& e) {
    s.Position = e.Position;
    s.CurrentLine = e.StartLine;
    s.RunControl.Push(std::move(e));
  };
  // Every way out goes on at the entry's return position, on its line.
  s.CurrentLine = entry.ReturnLine;
  switch (entry.EntryType) {
    case words::kThenBlock:
    case words::kElseBlock:
    case words::kCaseBlock:
      s.Position = entry.ResumeAt;
      return;
    case words::kForLoop: {
      if (entry.Counter >= entry.Limit) {
        s.Position = entry.ResumeAt;
        return;
      }
      ++entry.Counter;
      words::THashNode* counter = FindWord(entry.CounterName);
      if (!counter) counter = &CreateVariable(entry.CounterName);
      counter->SetValue(std::to_string(entry.Counter));
      counter->TypeMark = "e";
      return again(std::move(entry));
    }
    case words::kCountLoop:
      if (entry.Counter >= entry.Limit) {
        s.Position = entry.ResumeAt;
        return;
      }
      ++entry.Counter;
      SetCount(entry.Counter);
      return again(std::move(entry));
    case words::kCall:
    case words::kInterrupt:
      s.Position = entry.Position;
      s.ScriptFileName = entry.Source();
      s.Words.PopScope();
      return;
    case words::kEachLoop:
      if (static_cast<std::size_t>(entry.Counter) >= entry.Items->size()) {
        s.Position = entry.ResumeAt;
        return;
      }
      SetResult((*entry.Items)[static_cast<std::size_t>(entry.Counter)], "s");
      ++entry.Counter;
      SetCount(entry.Counter);
      return again(std::move(entry));
    case words::kWhileLoop:
      if (!condition_is_true(EvaluateText(entry.Condition))) {
        s.Position = entry.ResumeAt;
        return;
      }
      ++entry.Counter;
      SetCount(entry.Counter);
      return again(std::move(entry));
    default:
      throw Error(text::sjis("特定できないシステムエラーです(ToT)") +
                  text::sjis("\"CheckRunControl\"で未定義の構文があります。"));
  }
}

namespace {

bool is_condition_block(const words::TRunControl& entry) {
  return entry.EntryType == words::kThenBlock || entry.EntryType == words::kElseBlock ||
         entry.EntryType == words::kCaseBlock;
}

}  // namespace

void Interpreter::Break() {
  words::TMorvBase& s = *state_;
  // With nothing but condition blocks to leave, the pointer stays where it is, and so must the
  // blocks: it runs inside their copies.
  std::size_t target = s.RunControl.Count();
  while (target > 0 && is_condition_block(s.RunControl.At(target - 1))) --target;
  if (target == 0) return;
  words::TRunControl entry;
  while (s.RunControl.Pop(entry)) {
    switch (entry.EntryType) {
      case words::kThenBlock:
      case words::kElseBlock:
      case words::kCaseBlock:
        continue;
      case words::kCall:
      case words::kInterrupt:
        s.Position = entry.Position;
        s.CurrentLine = entry.ReturnLine;
        s.Words.PopScope();
        return;
      case words::kLocalBlock:
        s.Position = entry.ResumeAt;
        s.CurrentLine = entry.ReturnLine;
        s.Words.PopScope();
        return;
      default:
        s.Position = entry.ResumeAt;
        s.CurrentLine = entry.ReturnLine;
        return;
    }
  }
}

void Interpreter::Continue() {
  words::TMorvBase& s = *state_;
  if (s.RunControl.Count() == 0) {
    s.Position = nullptr;
    return;
  }
  words::TRunControl entry;
  while (s.RunControl.Pop(entry)) {
    if (!is_condition_block(entry) || s.RunControl.Count() == 0) break;
  }
  s.ScriptFileName = entry.Source();
  s.RunControl.Push(std::move(entry));
  CheckRunControl();
}

void Interpreter::BeginLocalBlock() {
  static const std::string kFrom = text::sjis("ここから"), kTo = text::sjis("ここまで");
  const char* p = state_->Position;
  int depth = 1;
  while (*p) {
    while (is_separator(*p)) ++p;
    if (at(p, kTo)) {
      p += kTo.size();
      if (--depth == 0) break;
    } else if (at(p, kFrom)) {
      p += kFrom.size();
      ++depth;
    } else if (*p) {
      skip_literal_or_char(p);
    }
  }
  if (depth != 0)
    throw GeneralError(text::sjis("『ここまで』がないか、『ここから』と対応していません。"));
  words::TRunControl entry;
  entry.EntryType = words::kLocalBlock;
  entry.Position = state_->Position;
  entry.ResumeAt = p;
  entry.StartLine = state_->CurrentLine;
  entry.ReturnLine = state_->CurrentLine + static_cast<int>(std::count(state_->Position, p, '\n'));
  entry.SourceName = SharedScriptName();
  state_->RunControl.Push(std::move(entry));
  state_->Words.PushScope();
}

void Interpreter::EndLocalBlock() {
  words::TRunControlStack& stack = state_->RunControl;
  if (stack.Count() == 0) return;
  // A mismatched end leaves the entry in place: the pointer may run inside its block.
  if (stack.Top().EntryType != words::kLocalBlock)
    throw GeneralError(text::sjis("『ここから』と『ここまで』がうまく対応していません。"));
  words::TRunControl entry;
  stack.Pop(entry);
  state_->Words.PopScope();
}

// ---- conditions --------------------------------------------------------------------------------

namespace {

bool starts_value(const char* p) {
  unsigned char c = static_cast<unsigned char>(*p);
  return c == '"' || c == '`' || c == '(' || c == '$' || c == '-' || std::isdigit(c);
}

}  // namespace

std::string Interpreter::ConditionToExpression(const std::string& condition) {
  static const std::string kKatsu = text::sjis("かつ"), kMatawa = text::sjis("または"),
                           kGa = text::sjis("が"), kIjou = text::sjis("以上"),
                           kIka = text::sjis("以下"), kHitoshii = text::sjis("と等しい");
  std::vector<std::string> chunks;
  const char* p = condition.c_str();
  while (*p) {
    while (*p == ' ' || *p == ',' || *p == '\t' || static_cast<unsigned char>(*p) == 0xA4) ++p;
    if (!*p) break;
    const char* start = p;
    while (*p && *p != ' ' && *p != ',' && static_cast<unsigned char>(*p) != 0xA4) {
      if (*p == '"' || *p == '`' || (p[0] == '@' && p[1] == '@')) {
        try {
          expr::ReadStringToken(p);
        } catch (const GeneralError& e) {
          throw Error(text::sjis("条件分岐で文字列の取得に失敗。") + e.what());
        }
      } else if (*p == '(') {
        try {
          expr::ReadGroup(p);
        } catch (const GeneralError& e) {
          throw Error(text::sjis("条件分岐で括弧の取得に失敗。") + e.what());
        }
      } else {
        p += text::char_len(p);
        // "AがB" written without a space: が ends the left side when a value follows it
        // directly (a literal, a number, a group) or the left side names a word.
        if (std::string_view(start, p - start).size() > kGa.size() &&
            ends_with(std::string(start, p), kGa) &&
            (starts_value(p) || IsKnownWord(std::string(start, p - kGa.size()))))
          break;
      }
    }
    chunks.emplace_back(start, p);
  }
  std::string out;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const std::string& chunk = chunks[i];
    if (starts_with(chunk, kKatsu)) {
      out += " && " + chunk.substr(kKatsu.size());
    } else if (starts_with(chunk, kMatawa)) {
      out += " || " + chunk.substr(kMatawa.size());
    } else if (ends_with(chunk, kGa) && text::is_char_start(chunk, chunk.size() - kGa.size())) {
      std::string left = chunk.substr(0, chunk.size() - kGa.size());
      std::string right = i + 1 < chunks.size() ? chunks[++i] : std::string();
      if (ends_with(right, kIjou))
        out += left + ">=" + right.substr(0, right.size() - kIjou.size());
      else if (ends_with(right, kIka))
        out += left + "<=" + right.substr(0, right.size() - kIka.size());
      else if (ends_with(right, kHitoshii))
        out += left + "=" + right.substr(0, right.size() - kHitoshii.size());
      else
        out += left + "=" + right;
    } else {
      out += chunk;
    }
  }
  return out;
}

void Interpreter::SkipBlockEnd() {
  const char*& p = state_->Position;
  skip_blanks(p);
  if (*p == ';') {
    ++p;
    while (*p == '\r' || *p == '\n' || *p == ' ' || *p == '\t') ProcessLineEnd();
  }
}

// After a block: an else keyword on the same line, or at the start of the next one.
bool Interpreter::AtElseKeyword() {
  const char*& p = state_->Position;
  skip_blanks(p);
  if (at_else_keyword(p)) return true;
  if (*p != '\r' && *p != '\n') return false;
  const char* q = p;
  skip_line_prefix(q);
  while (is_separator(*q)) ++q;
  if (!at_else_keyword(q)) return false;
  ProcessLineEnd();
  while (is_separator(*p)) ++p;
  return true;
}

PreparedCondition* Interpreter::KeptCondition(const char* p) {
  return preparing_ ? KeptAt(prepared_->conditions, prepared_->pinned, p) : nullptr;
}

std::string Interpreter::ReadCondition(const char*& p, PreparedCondition** kept_out) {
  const char* start = p;
  const words::TScopedHash& table = state_->Words;
  PreparedCondition* kept = KeptCondition(start);
  if (kept_out) *kept_out = nullptr;
  if (kept && kept->end && kept->names_generation == table.NamesGeneration() &&
      kept->kind_changes == words::KindChanges() && *kept->end == kept->end_char &&
      std::memchr(start, '\0', static_cast<std::size_t>(kept->end - start)) == nullptr) {
    p = kept->end;
    if (kept_out) *kept_out = kept;
    return kept->expression;
  }
  std::string text;
  bool crossed_line = false;
  while (!at_any_keyword(p)) {
    if (!*p) throw Error(text::sjis("条件分岐の終端文字を認識できませんでした。"));
    if (*p == '\r' || *p == '\n') {
      ProcessLineEnd();
      crossed_line = true;
      while (is_separator(*p)) ++p;
      if (!at_any_keyword(p)) throw Error(text::sjis("条件分岐の終端文字を認識できませんでした。"));
      break;
    }
    const char* from = p;
    skip_literal_or_char(p);
    text.append(from, p);
  }
  std::string expression = ConditionToExpression(text);
  // A condition running over a line break counts that line each time: it is read again.
  if (kept && !crossed_line) {
    *kept = PreparedCondition{table.NamesGeneration(), words::KindChanges(), expression, p, *p, {}};
    if (kept_out) *kept_out = kept;
  }
  return expression;
}

// One condition of a もし chain with the blocks it decides between.
struct IfLink {
  std::string expression;
  // The prepared reading of the expression, found on its first evaluation (KeptConditionHolds);
  // null when the condition is read from its text each time.
  std::shared_ptr<void>* tokens = nullptr;
  bool then_when_true = true;
  std::optional<Interpreter::Block> then_block, else_block;
};

// A もし chain read at a position: reading it again gives the same links, the same end and the
// same line as long as it starts on the same line, the names and kinds are as they were, and no
// view's end cuts the text short.
struct PreparedIf {
  std::vector<IfLink> chain;
  std::vector<std::shared_ptr<void>> tokens;  // the links' own prepared readings, when kept
  int entry_line = 0;
  int line_after = 0;
  std::uint64_t names_generation = 0;
  std::uint64_t kind_changes = 0;
  const char* end = nullptr;
  char end_char = 0;
};

namespace {

// Keeps a chain read at `start`. It holds its own copies of the conditions' prepared readings:
// the condition entries it was read from are read anew when the names change.
void keep_if_chain(PreparedTexts& prepared, const char* start, std::shared_ptr<PreparedIf> read) {
  read->tokens.resize(read->chain.size());
  for (std::size_t i = 0; i < read->chain.size(); ++i) {
    read->tokens[i] = *read->chain[i].tokens;
    read->chain[i].tokens = &read->tokens[i];
  }
  prepared.ifs[start] = std::move(read);
}

}  // namespace

std::shared_ptr<PreparedIf> Interpreter::KeptIf() {
  const char* start = state_->Position;
  if (!preparing_) return nullptr;
  auto found = prepared_->ifs.find(start);
  if (found == prepared_->ifs.end()) return nullptr;
  const PreparedIf& kept = *found->second;
  if (kept.entry_line != state_->CurrentLine ||
      kept.names_generation != state_->Words.NamesGeneration() ||
      kept.kind_changes != words::KindChanges() || *kept.end != kept.end_char ||
      std::memchr(start, '\0', static_cast<std::size_t>(kept.end - start)) != nullptr)
    return nullptr;
  state_->Position = kept.end;
  state_->CurrentLine = kept.line_after;
  return found->second;
}

std::shared_ptr<PreparedIf> Interpreter::ReadIfChain() {
  const char*& p = state_->Position;
  auto read = std::make_shared<PreparedIf>();
  read->entry_line = state_->CurrentLine;
  read->names_generation = state_->Words.NamesGeneration();
  read->kind_changes = words::KindChanges();
  const char* start = p;
  bool keepable = preparing_ && prepared_->pinned.Holds(start);
  while (true) {
    if (read->chain.size() >= 64) throw GeneralError(text::sjis("もしの条件が長すぎます。"));
    IfLink c;
    PreparedCondition* kept = nullptr;
    c.expression = ReadCondition(p, &kept);
    if (kept) c.tokens = &kept->tokens;
    keepable = keepable && kept;
    if (at_then_keyword(p)) {
      p += at(p, kNaraba()) ? kNaraba().size() : kNara().size();
      c.then_block = ReadBlock();
      SkipBlockEnd();
    } else if (at(p, kDenakereba())) {
      p += kDenakereba().size();
      c.then_when_true = false;
      c.then_block = ReadBlock();
      SkipBlockEnd();
    }
    bool more = false;
    if (AtElseKeyword()) {
      p += at(p, kChigaeba()) ? kChigaeba().size() : kDenakereba().size();
      while (*p == '\t' || *p == '\r' || *p == '\n' || *p == ' ' || *p == ',') {
        if (*p == '\r' || *p == '\n')
          ProcessLineEnd();
        else
          ++p;
      }
      if (at(p, kMoshi())) {
        p += kMoshi().size();
        more = true;
      } else {
        c.else_block = ReadBlock();
        SkipBlockEnd();
      }
    }
    read->chain.push_back(std::move(c));
    if (!more) break;
  }
  read->end = p;
  read->end_char = *p;
  read->line_after = state_->CurrentLine;
  if (keepable) keep_if_chain(*prepared_, start, read);
  return read;
}

void Interpreter::RunIf() {
  std::shared_ptr<PreparedIf> read = KeptIf();
  if (!read) read = ReadIfChain();
  const Block* chosen = nullptr;
  bool decided = false;
  for (const IfLink& c : read->chain) {
    std::optional<bool> kept_value =
        c.tokens ? KeptConditionHolds(c.expression, *c.tokens) : std::nullopt;
    bool value = kept_value ? *kept_value : condition_is_true(EvaluateText(c.expression));
    if (value == c.then_when_true) {
      // A condition without a then-block (もし A 違えば B) decides too: nothing runs.
      if (c.then_block) chosen = &*c.then_block;
      decided = true;
      break;
    }
  }
  if (!decided && read->chain.back().else_block) chosen = &*read->chain.back().else_block;
  if (!chosen) return;
  words::TRunControl entry;
  entry.EntryType = words::kThenBlock;
  Block block = *chosen;
  block.resume = read->end;
  EnterBlock(std::move(entry), block);
}

void Interpreter::RunConditional(const std::string& subject) {
  const char*& p = state_->Position;
  std::int64_t number = 0;
  bool truth =
      expr::TruncateToInt64(expr::ToNumber(EvaluateText(subject).text), number) && number != 0;
  int pending = truth ? 1 : 0;
  while (is_separator(*p)) ++p;
  if (*p == '\r' || *p == '\n') {
    ProcessLineEnd();
    while (is_separator(*p)) ++p;
  }
  std::optional<Block> then_block, else_block;
  bool keyword_required = at_any_keyword(p);
  if (keyword_required) {
    if (at_then_keyword(p)) {
      p += at(p, kNaraba()) ? kNaraba().size() : kNara().size();
      then_block = ReadBlock();
      SkipBlockEnd();
    }
  } else {
    then_block = ReadBlock();
    SkipBlockEnd();
  }
  if (AtElseKeyword()) {
    p += at(p, kChigaeba()) ? kChigaeba().size() : kDenakereba().size();
    while (is_separator(*p)) ++p;
    if (at(p, kMoshi()))
      throw Error(kMoshi() + text::sjis("を多重構造にするときは、()で範囲を括ってください。"));
    else_block = ReadBlock();
    SkipBlockEnd();
  }
  const std::optional<Block>& chosen = pending == 1 ? then_block : else_block;
  if (!chosen) return;
  words::TRunControl entry;
  entry.EntryType = pending == 1 ? words::kThenBlock : words::kElseBlock;
  Block block = *chosen;
  block.resume = p;
  EnterBlock(std::move(entry), block);
}

void Interpreter::RunCaseLine(const std::string& label) {
  static const std::string kOther = text::sjis("その他"), kIjou = text::sjis("以上"),
                           kIka = text::sjis("以下"), kUndefined = text::sjis("~未定義");
  Block block = ReadBlock();
  std::string& pending = state_->PendingSwitchValue;
  bool matches = false;
  if (pending != kUndefined) {
    if (label == kOther) {
      matches = true;
    } else if (ends_with(label, kIjou)) {
      matches = expr::ToNumber(pending) >=
                expr::ToNumber(EvalArgument(label.substr(0, label.size() - kIjou.size())));
    } else if (ends_with(label, kIka)) {
      matches = expr::ToNumber(pending) <=
                expr::ToNumber(EvalArgument(label.substr(0, label.size() - kIka.size())));
    } else {
      matches = EvalArgument(label) == pending;
    }
  }
  if (!matches) return;
  pending = kUndefined;
  words::TRunControl entry;
  entry.EntryType = words::kCaseBlock;
  EnterBlock(std::move(entry), block);
}

// ---- labels and calls --------------------------------------------------------------------------

void Interpreter::JumpTo(const std::string& name) {
  words::TMorvBase& s = *state_;
  words::TRunControlStack& stack = s.RunControl;
  std::string needle = "*" + name + "\r";
  // The block copies are searched innermost first; entries are dropped only once the jump is
  // sure to happen, since the pointer may still run inside one of them.
  std::size_t searched = 0;
  for (std::size_t i = stack.Count(); i > 0; --i, ++searched) {
    const words::TRunControl& entry = stack.At(i - 1);
    if (!entry.BlockText) break;
    const char* text = entry.BlockEnd ? entry.Position : entry.BlockText->c_str();
    const char* text_end = entry.BlockEnd ? entry.BlockEnd : text + entry.BlockText->size();
    std::size_t at_label = text::find_at_char_start(
        std::string_view(text, static_cast<std::size_t>(text_end - text)), needle);
    if (at_label == std::string::npos) continue;
    s.Position = text + at_label;
    s.CurrentLine = entry.StartLine + static_cast<int>(std::count(text, text + at_label, '\n'));
    words::TRunControl dropped;
    for (std::size_t k = 0; k < searched; ++k) stack.Pop(dropped);
    return;
  }
  words::THashNode* label = FindWord(name);
  auto info = label && label->Kind == words::kLabel
                  ? std::dynamic_pointer_cast<source::LabelInfo>(label->Obj)
                  : nullptr;
  if (!info)
    throw Error(text::sjis("未定義のラベル\"") + name +
                text::sjis("\"に、ジャンプしようとしました。"));
  words::TRunControl dropped;
  for (std::size_t k = 0; k < searched; ++k) stack.Pop(dropped);
  s.Position = info->position;
  s.CurrentLine = info->line;
  s.ScriptFileName = info->file_name;
}

void Interpreter::CallLabel(words::THashNode& label) {
  // Held, not borrowed: evaluating the arguments may run code that defines the label anew.
  auto info = std::dynamic_pointer_cast<source::LabelInfo>(label.Obj);
  if (!info) return;
  TakeLabelArguments(label);
  EnterLabel(*info);
}

void Interpreter::TakeLabelArguments(words::THashNode& label) {
  words::TMorvBase& s = *state_;
  if (text::trim_view(label.Extra).empty()) return;
  BindArguments(label);
  std::size_t count =
      static_cast<std::size_t>(std::count(label.Extra.begin(), label.Extra.end(), '?'));
  count = std::min(count, s.Arguments.Count());
  std::vector<std::string> values(count);
  std::size_t base = s.Arguments.Count() - count;
  for (std::size_t i = 0; i < count; ++i) values[i] = std::move(s.Arguments[base + i]);
  for (std::size_t i = 0; i < count; ++i) s.Arguments.Pop();
  for (std::string& v : values) v = EvalArgument(v);
  FunctionArguments = std::move(values);
}

void Interpreter::EnterLabel(const source::LabelInfo& info) {
  words::TMorvBase& s = *state_;
  words::TRunControl call;
  call.EntryType = words::kCall;
  call.Position = s.Position;
  call.ResumeAt = info.position;
  call.SourceName = SharedScriptName();
  call.StartLine = info.line;
  call.ReturnLine = s.CurrentLine;
  s.ScriptFileName = info.file_name;
  s.Words.PushScope();
  s.RunControl.Push(std::move(call));
  s.Position = info.position;
  s.CurrentLine = info.line;
}

void Interpreter::Return() {
  words::TMorvBase& s = *state_;
  if (s.RunControl.Count() == 0) {
    s.Position = nullptr;
    s.ScriptFileName.clear();
    return;
  }
  // Without a call to return from, nothing is dropped: the pointer may run inside a block.
  std::size_t call = s.RunControl.Count();
  while (call > 0 && s.RunControl.At(call - 1).EntryType != words::kCall &&
         s.RunControl.At(call - 1).EntryType != words::kInterrupt)
    --call;
  if (call == 0) throw Error(text::sjis("「戻る」べき場所がありません。"));
  words::TRunControl entry;
  while (s.RunControl.Count() >= call) s.RunControl.Pop(entry);
  s.Position = entry.Position;
  s.CurrentLine = entry.ReturnLine;
  s.Words.PopScope();
  s.ScriptFileName = entry.Source();
}

void Interpreter::WaitForEvents() {
  state_->RunControl.ClearLevel();
  state_->Position = nullptr;
}

// ---- running other texts -----------------------------------------------------------------------

void Interpreter::RunNested(const char* start, int start_line) {
  NestingGuard guard(*this);
  words::TMorvBase& s = *state_;
  const char* saved_position = s.Position;
  const int saved_line = s.CurrentLine;
  s.RunControl.OpenLevel();
  s.Position = start;
  s.CurrentLine = start_line;
  try {
    RunMainLoop();
  } catch (...) {
    s.RunControl.CloseLevel();
    s.Position = saved_position;
    s.CurrentLine = saved_line;
    throw;
  }
  s.RunControl.CloseLevel();
  s.CurrentLine = saved_line;
  if (!s.StopFlag) s.Position = saved_position;
}

void Interpreter::RunProgramText(const std::string& program) {
  words::TMorvBase& s = *state_;
  std::shared_ptr<const std::string> text;
  try {
    text = std::make_shared<const std::string>(source::Preprocess(program + "\r\n"));
  } catch (const source::PreprocessError& e) {
    throw Error(e.message);
  }
  RunNestedAs(text->c_str(), s.ScriptFileName + text::sjis("の") + std::to_string(CurrentLine()) +
                                 text::sjis("行目のもりべる"));
}

void Interpreter::IncludeFile(const std::string& path, const std::string& source_text) {
  words::TMorvBase& s = *state_;
  if (s.Sources.size() >= words::TMorvBase::kMaxSources)
    throw Error(text::sjis("取り込めるファイルの数が多すぎます。(最大") +
                std::to_string(words::TMorvBase::kMaxSources) + text::sjis("個)"));
  std::shared_ptr<const std::string> text;
  try {
    text = std::make_shared<const std::string>(source::Preprocess(source_text));
    source::ScanLabels(*text, path, s.Words);
  } catch (const source::PreprocessError& e) {
    throw Error(e.message);
  }
  s.Sources.push_back(text);
  prepared_->pinned.Pin(text);
  RunNestedAs(text->c_str(), path);
}

void Interpreter::RunNestedAs(const char* start, const std::string& file_name, int start_line) {
  words::TMorvBase& s = *state_;
  std::string saved_name = s.ScriptFileName;
  s.ScriptFileName = file_name;
  try {
    RunNested(start, start_line);
  } catch (...) {
    s.ScriptFileName = saved_name;
    throw;
  }
  s.ScriptFileName = saved_name;
}

}  // namespace morivel::engine
