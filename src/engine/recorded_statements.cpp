// Plain statements read once. A statement whose tokens come from its text and the names alone
// (words with their particles, bare numbers) pushes the same tokens every time it runs, so the
// tokens are recorded the first time and pushed again directly while the names stay the same.
#include <algorithm>
#include <cstring>

#include "engine/interpreter.h"
#include "engine/prepared.h"
#include "words/hash.h"

namespace morivel::engine {

namespace {

bool still_valid(const PreparedStatement& kept, const words::TScopedHash& table, const char* at) {
  if (kept.tokens.empty() || kept.names_generation != table.NamesGeneration() ||
      kept.kind_changes != words::KindChanges() || *kept.end != kept.end_char)
    return false;
  // A view's end cut off inside the statement would have ended it there.
  return std::memchr(at, '\0', static_cast<std::size_t>(kept.end - at)) == nullptr;
}

bool stack_holds(const words::TStack& stack, const std::vector<std::string>& tokens) {
  if (stack.Count() != tokens.size()) return false;
  for (std::size_t i = 0; i < tokens.size(); ++i)
    if (stack[i] != tokens[i]) return false;
  return true;
}

}  // namespace

bool Interpreter::ReplayStatement() {
  words::TMorvBase& s = *state_;
  StatementRecording& recording = prepared_->recording;
  if (!preparing_ || collecting_arguments_ || !s.Arguments.Empty()) return false;
  // A statement left unfinished (an error while reading it) is not kept.
  if (recording.entry) SpoilRecording();
  const char* at = s.Position;
  PreparedStatement* found = KeptAt(prepared_->statements, prepared_->pinned, at);
  if (!found) return false;
  PreparedStatement& kept = *found;
  if (still_valid(kept, s.Words, at)) {
    if (ReplayBound(kept)) return true;
    for (const std::string& token : kept.tokens) s.Arguments.Push(token);
    s.Position = kept.end;
    comma_before_break_ = kept.comma_at_end;
    FinishStatement(&kept);
    return true;
  }
  if (kept.failures >= PreparedStatement::kMaxFailures) return false;
  // Entries are never removed while the run lasts, so the pointer stays valid.
  recording.entry = &kept;
  recording.start = at;
  recording.nesting = nesting_;
  recording.tokens.clear();
  return false;
}

bool Interpreter::BindReplayed(words::THashNode& word, PreparedStatement& replayed) {
  if (word.Kind != words::kCommand || function_call_mode_) return false;
  replayed.bound_for = nullptr;
  BindArguments(word);
  const words::TStack& stack = state_->Arguments;
  replayed.bound.resize(stack.Count());
  for (std::size_t i = 0; i < stack.Count(); ++i) replayed.bound[i] = stack[i];
  replayed.bound_sore = implicit_sore_;
  replayed.bound_template = word.Extra;
  replayed.bound_for = &word;
  return true;
}

bool Interpreter::ReplayBound(PreparedStatement& kept) {
  words::THashNode* word = kept.bound_for;
  if (!word || function_call_mode_ || word != KeptCommand(kept) || word->Kind != words::kCommand ||
      word->Extra != kept.bound_template)
    return false;
  words::TMorvBase& s = *state_;
  for (const std::string& argument : kept.bound) s.Arguments.Push(argument);
  implicit_sore_ = kept.bound_sore;
  s.Position = kept.end;
  comma_before_break_ = kept.comma_at_end;
  RunBoundCommand(*word);
  RefuseArgumentsLeft(word->Name);
  return true;
}

void Interpreter::RecordToken(const std::string& token) {
  StatementRecording& recording = prepared_->recording;
  if (!recording.entry) return;
  if (recording.nesting != nesting_) return SpoilRecording();
  recording.tokens.push_back(token);
}

void Interpreter::SpoilRecording() {
  StatementRecording& recording = prepared_->recording;
  if (!recording.entry) return;
  ++recording.entry->failures;
  recording.entry = nullptr;
  recording.tokens.clear();
}

void Interpreter::EndRecording() {
  StatementRecording& recording = prepared_->recording;
  if (!recording.entry) return;
  words::TMorvBase& s = *state_;
  const char* end = s.Position;
  // Every push must have been recorded, and the statement read at the level it started on.
  if (recording.nesting != nesting_ || collecting_arguments_ || recording.tokens.empty() || !end ||
      end <= recording.start || !stack_holds(s.Arguments, recording.tokens))
    return SpoilRecording();
  PreparedStatement& kept = *recording.entry;
  kept.names_generation = s.Words.NamesGeneration();
  kept.kind_changes = words::KindChanges();
  kept.tokens = std::move(recording.tokens);
  kept.end = end;
  kept.end_char = *end;
  kept.comma_at_end = comma_before_break_;
  recording.entry = nullptr;
  recording.tokens.clear();
}

}  // namespace morivel::engine
