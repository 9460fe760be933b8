// Labels called in function form whose bodies compute their result from their arguments alone,
// run as compiled steps on whole numbers instead of being read as statements.
//
// A body qualifies when every statement is one of: `Nをローカル変数`, `Nに1番目の引数得る`, an
// assignment of an arithmetic expression to それ or a declared local, a one-line もし/違えば
// whose blocks are such assignments, and a closing 戻る; the expressions use whole numbers,
// declared locals, + - *, comparisons, groups and calls of other qualifying labels. Such a
// call touches nothing but its own locals and それ (which the caller keeps anyway), so running
// it compiled is invisible to the script: the result, its type mark, the arguments 引数得る sees
// next and the name of the last command run come out as the statements leave them. Whatever
// the steps cannot reproduce exactly (a fraction, a text, an overflow, a depth near a limit)
// makes the whole call run as statements from the start, before anything was changed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace morivel::words {
class THashNode;
class TScopedHash;
}  // namespace morivel::words

namespace morivel::engine {

// What a compiled call leaves behind, as running the label's statements would have left it.
struct PureCallOutcome {
  std::string value;
  std::string type_mark;
  // The argument texts of the last call started of a label with a template (what 引数得る
  // would read next); none was started when `took_arguments` is false.
  bool took_arguments = false;
  std::vector<std::string> last_arguments;
  // The name the last command run (the closing 戻る) is known by.
  std::string last_command;
};

class PureCalls {
 public:
  PureCalls();
  ~PureCalls();
  PureCalls(const PureCalls&) = delete;
  PureCalls& operator=(const PureCalls&) = delete;

  // Runs `label` with the evaluated `arguments`; false, having changed nothing, where the body
  // does not qualify, an argument is no plain whole number, or a step needs the statements.
  // `depth_allowed`: how many call levels the statements could go deeper than here without
  // reaching a nesting or stack limit.
  bool Run(const words::TScopedHash& words, words::THashNode& label,
           const std::vector<std::string>& arguments, int depth_allowed, PureCallOutcome& out);

  // Calls run compiled so far.
  std::uint64_t Runs() const { return runs_; }

  // The compiled body is given up after this many runs that needed the statements.
  static constexpr int kMaxFallbacks = 8;

 private:
  struct Body;
  class Compiler;
  class Machine;

  Body* Prepare(const words::TScopedHash& words, words::THashNode& label);
  bool StillHolds(const words::TScopedHash& words, const Body& root) const;

  // By label word: a word that goes changes the names generation, which clears them all.
  std::unordered_map<const words::THashNode*, std::unique_ptr<Body>> bodies_;
  std::uint64_t names_generation_ = 0;
  std::uint64_t kind_changes_ = 0;
  std::uint64_t runs_ = 0;
};

}  // namespace morivel::engine
