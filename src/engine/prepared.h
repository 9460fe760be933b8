// Expressions and arguments read once. Re-reading a text gives the same tokens as long as its
// reading does not depend on the run, so such texts are read into prepared tokens once and kept
// by their text; everything that does depend on the run is left to the readers of the text.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/evaluator.h"

namespace morivel::engine {

class Interpreter;

using expr::PreparedArgument;

// Reads texts into prepared tokens. Literals are expanded once, through the interpreter's own
// expansion, when they hold no embedded expression.
class Preparer {
 public:
  explicit Preparer(Interpreter& in) : in_(in) {}
  std::optional<expr::PreparedToken> Expression(std::string_view text);
  std::optional<PreparedArgument> Argument(std::string_view text);

 private:
  bool ReadTokens(const char*& p, bool operand_expected, int depth,
                  std::vector<expr::PreparedToken>& out);
  bool ReadTerm(const char*& p, int depth, expr::PreparedToken& out);
  bool ReadWordTerm(const char*& p, int depth, expr::PreparedToken& out);
  bool ReadElementIndex(const char*& p, int depth, expr::PreparedToken& out);
  bool ReadLiteral(const char*& p, expr::PreparedToken& out);
  bool ReadGroupTokens(const char*& p, int depth, expr::PreparedToken& out);

  Interpreter& in_;
};

// A prepared text, or none when the text cannot be prepared (so it is not read twice).
template <typename Prepared>
struct PreparedEntry {
  static constexpr int kMaxFailures = 8;
  std::optional<Prepared> prepared;
  int failures = 0;  // evaluations that gave up; past a few the entry stops being tried
  bool Usable() const { return prepared && failures < kMaxFailures; }
};

// Prepared texts by their text. The cache forgets everything when it grows past its bound,
// which keeps memory flat however many different texts a run evaluates; whoever holds an entry
// keeps it.
template <typename Prepared>
class PreparedCache {
 public:
  using Entry = PreparedEntry<Prepared>;
  static constexpr std::size_t kMaxEntries = 4096;
  static constexpr std::size_t kMaxTextBytes = 256;

  // The entry of `text`, made with `make(text)` when new; null for a text too long to keep.
  template <typename Make>
  std::shared_ptr<Entry> Find(std::string_view text, Make make) {
    if (text.size() > kMaxTextBytes) return nullptr;
    auto it = entries_.find(text);
    if (it != entries_.end()) return it->second;
    if (entries_.size() >= kMaxEntries) entries_.clear();
    auto entry = std::make_shared<Entry>(Entry{make(text), 0});
    entries_.emplace(std::string(text), entry);
    return entry;
  }
  std::size_t Size() const { return entries_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::shared_ptr<Entry>, Hash, std::equal_to<>> entries_;
};

// Program texts that stay alive and unchanged as long as the cache that pins them: the sources
// of the run and the block texts made from them. A position inside one is a key that can never
// come back meaning another text, which a position in a passing text (もりべるする, a call's
// argument copy) could, once its memory is reused.
class PinnedTexts {
 public:
  void Pin(std::shared_ptr<const std::string> text);
  // True for a position in a pinned text, its final NUL included.
  bool Holds(const char* p) const;

 private:
  std::map<const char*, std::shared_ptr<const std::string>> texts_;  // by first byte
};

// A block as ReadBlock reads it at a position: its text, where the run goes on after it, the
// line a line break before it set (-1 when none) and the line breaks inside it.
struct PreparedBlock {
  std::shared_ptr<const std::string> text;
  const char* begin = nullptr;
  const char* end = nullptr;
  bool view = false;
  const char* resume = nullptr;
  int line = -1;
  int breaks = 0;
};

// Sets a type mark to number. Kept values are numbers pass after pass, so the mark is written
// only when it changed.
[[gnu::always_inline]] inline void mark_number_type(std::string& type_mark) {
  if (type_mark.size() != 1 || type_mark[0] != 'e') [[unlikely]]
    type_mark.assign(1, 'e');
}

// The statement at a position when it is a plain assignment "name = value": what the statement
// reader would take from it, and where it ends.
struct PreparedAssignment {
  bool is_assignment = false;
  std::string name;  // the target as the statement reader takes it ("A#(i)" for an element)
  bool names_element = false;
  // "A#(i) = …": the array's name and the index's text, prepared on first use.
  std::string array;
  std::string index;
  std::shared_ptr<PreparedEntry<PreparedArgument>> prepared_index;
  // Pinned once the statement is kept, so that positions in it can be keys too.
  std::shared_ptr<const std::string> value;
  const char* end = nullptr;
  std::shared_ptr<PreparedEntry<PreparedArgument>> prepared_value;  // found on first use
  // The word the name was last found as, valid while the word table keeps that generation.
  words::THashNode* target = nullptr;
  std::uint64_t target_generation = 0;
  std::uint64_t target_shadows = ~std::uint64_t{0};
};

// A loop's pass whose statements are all plain assignments, one to a line: the main loop's
// steps over it, worked out once, so that a pass runs them one after another without reading
// the line ends again. Valid as long as its text: assignments are kept by position anyway, and
// each line break is checked to be still there (a view's end could cut the text off).
struct PreparedPass {
  struct Item {
    const char* start = nullptr;               // where the main loop stands before it
    PreparedAssignment* assignment = nullptr;  // null for a line end
    const char* at = nullptr;                  // the assignment, or the line break
    char break_char = 0;                       // a line end's break
    const char* next = nullptr;                // where the item leaves the pointer
    int line = -1;                             // a line end's prefix, -1 when none
  };
  static constexpr std::size_t kMaxItems = 64;
  bool usable = false;
  std::vector<Item> items;
};

// The argument group of a call in function form at a position: where it ends, and its pieces
// split at commas with whether an operator stands outside their literals and groups.
struct PreparedCallGroup {
  const char* end = nullptr;
  std::vector<std::pair<std::string, bool>> pieces;
};

// The global word a call in function form at a position named (or none), valid while the names
// and the locals hiding globals are as they were.
struct PreparedCallee {
  words::THashNode* word = nullptr;
  std::uint64_t names_generation = ~std::uint64_t{0};  // none yet
  std::uint64_t shadows_generation = 0;
};

// Reads the statement at p as the statement reader would when it is "word = value".
PreparedAssignment PrepareAssignment(const char* p);

// How ReadSplitWord split the word at a position: the bytes of blanks before it, of its name and
// of its particle; valid while the word table's names and the words' kinds are as they were.
struct PreparedSplit {
  std::uint64_t names_generation = 0;
  std::uint64_t kind_changes = 0;
  std::uint32_t blanks = 0;
  std::uint32_t name = 0;
  std::uint32_t particle = 0;
};

// A condition of もし as RunIf reads it at a position: its expression and where its text ends;
// valid while the names and kinds are as they were (が may split at a known word) and while no
// view's end cuts the text short.
struct PreparedCondition {
  std::uint64_t names_generation = 0;
  std::uint64_t kind_changes = 0;
  std::string expression;
  const char* end = nullptr;
  char end_char = 0;
  // The expression's prepared entry, found on its first evaluation (see KeptConditionHolds).
  std::shared_ptr<void> tokens;
};

// The argument tokens a plain statement at a position pushes before its command runs, and where
// the reader then stands; valid while the word table's names and the words' kinds are as they
// were, and while no view's end cuts the statement short.
struct PreparedStatement {
  static constexpr int kMaxFailures = 8;
  std::uint64_t names_generation = 0;
  std::uint64_t kind_changes = 0;
  std::vector<std::string> tokens;
  const char* end = nullptr;
  char end_char = 0;
  bool comma_at_end = false;
  int failures = 0;  // readings that could not be kept (a value or the run was involved)
  // The global word the statement's command name was found as, while the names and the
  // shadows of global words are as they were then.
  words::THashNode* command = nullptr;
  std::uint64_t command_names = 0;
  std::uint64_t command_shadows = 0;
  // The argument stack as binding the tokens to `bound_for`'s template left it (binding depends
  // on the tokens and the template alone), and whether binding put それ in.
  words::THashNode* bound_for = nullptr;
  std::string bound_template;
  std::vector<std::string> bound;
  bool bound_sore = false;
};

// The statement being read while its tokens are recorded: the entry to fill, the reading state
// it started from, and whether everything read so far depended on the text and the names alone.
struct StatementRecording {
  PreparedStatement* entry = nullptr;  // null when nothing is recorded
  const char* start = nullptr;
  int nesting = 0;
  std::vector<std::string> tokens;
};

// The entry kept at `p`, made empty when p lies in a pinned text (a new entry matches no
// generation until it is filled); null for a position in a passing text.
template <typename Entry>
Entry* KeptAt(std::unordered_map<const char*, Entry>& kept, const PinnedTexts& pinned,
              const char* p) {
  if (auto it = kept.find(p); it != kept.end()) return &it->second;
  if (!pinned.Holds(p)) return nullptr;
  return &kept[p];
}

// A もし chain as RunIf read it at a position (its conditions, blocks and end), defined where it
// is read.
struct PreparedIf;

// What a run has prepared: expressions (EvaluateText) and arguments (EvalArgument) by their
// text; blocks and assignments by their position in pinned texts.
struct PreparedTexts {
  PreparedCache<expr::PreparedToken> expressions;
  PreparedCache<PreparedArgument> arguments;
  PinnedTexts pinned;
  std::unordered_map<const char*, PreparedBlock> blocks;
  std::unordered_map<const char*, PreparedAssignment> assignments;
  std::unordered_map<const char*, PreparedPass> passes;
  // The pass last run, found again without the lookup while one loop goes on.
  const char* last_pass_at = nullptr;
  const PreparedPass* last_pass = nullptr;
  std::unordered_map<const char*, PreparedSplit> splits;
  std::unordered_map<const char*, PreparedStatement> statements;
  std::unordered_map<const char*, PreparedCondition> conditions;
  std::unordered_map<const char*, std::shared_ptr<PreparedIf>> ifs;
  std::unordered_map<const char*, std::shared_ptr<const PreparedCallGroup>> call_groups;
  std::unordered_map<const char*, PreparedCallee> callees;
  StatementRecording recording;
};

}  // namespace morivel::engine
