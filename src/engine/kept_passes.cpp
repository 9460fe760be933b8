// Loop passes of plain assignments run as kept: the statement reader would find the same kept
// assignments and the same line ends every pass, so the pass goes from one to the next directly.
#include "engine/interpreter.h"
#include "engine/lexer.h"
#include "engine/prepared.h"

namespace morivel::engine {

namespace {

// A statement starting with one of these is read by the statement reader as something other
// than a plain assignment, whatever follows.
bool may_start_assignment(char c) {
  static constexpr std::string_view kOther = "#(*;?\\\"`@$+-,";
  return !is_digit(c) && kOther.find(c) == std::string_view::npos &&
         static_cast<unsigned char>(c) != 0xA4;
}

}  // namespace

PreparedPass Interpreter::ReadPass(const char* start) {
  PreparedPass pass;
  const char* p = start;
  while (pass.items.size() < PreparedPass::kMaxItems) {
    const char* item_start = p;
    skip_blanks(p);
    if (*p == '\0') {
      pass.usable = !pass.items.empty();
      return pass;
    }
    if (*p == '\r' || *p == '\n') {
      const char* next = p;
      int line = skip_line_prefix(next);
      pass.items.push_back({item_start, nullptr, p, *p, next, line});
      p = next;
      continue;
    }
    if (!may_start_assignment(*p)) break;
    PreparedAssignment* assignment = KeptAssignment(p);
    if (!assignment) break;
    pass.items.push_back({item_start, assignment, p, 0, assignment->end, -1});
    p = assignment->end;
  }
  return PreparedPass{};
}

bool Interpreter::RunKeptPass(const char*& previous) {
  words::TMorvBase& s = *state_;
  if (!preparing_ || !s.Arguments.Empty() || prepared_->recording.entry) return false;
  if (prepared_->last_pass_at != s.Position) {
    auto [found, added] = prepared_->passes.try_emplace(s.Position);
    if (added) found->second = ReadPass(s.Position);
    prepared_->last_pass_at = s.Position;
    prepared_->last_pass = &found->second;  // entries stay where they are while the run lasts
  }
  const PreparedPass& pass = *prepared_->last_pass;
  if (!pass.usable) return false;
  bool moved = false;
  // Each item is what one turn of the main loop would do; whatever those turns would do beyond
  // that (a line stop, a failing prepared value) is left to them from the item on.
  for (const PreparedPass::Item& item : pass.items) {
    if (s.StopFlag) break;
    statement_line_ = s.CurrentLine;
    comma_before_break_ = false;
    if (!item.assignment) {
      if (LineStop || *item.at != item.break_char) break;
      s.Position = item.next;
      if (item.line >= 0) s.CurrentLine = item.line + 1;
    } else {
      previous = item.start;
      s.Position = item.assignment->end;
      if (!AssignPreparedValue(*item.assignment)) {
        s.Position = item.start;
        previous = moved ? nullptr : item.start;
        break;
      }
    }
    moved = true;
  }
  return moved;
}

}  // namespace morivel::engine
