// The run-control stack container: entries of the current level plus suspended levels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace morivel::words {

class THashNode;

enum RunControlType : std::uint8_t {
  kThenBlock = 0,
  kElseBlock = 1,
  kForLoop = 2,      // 繰り返す
  kCountLoop = 3,    // 回
  kCall = 4,         // subroutine call
  kInterrupt = 5,    // event or timer interrupt
  kEachLoop = 6,     // 反復
  kCaseBlock = 8,    // 条件分岐
  kWhileLoop = 9,    // ループ
  kLocalBlock = 10,  // ここから
};

struct TRunControl {
  const char* Position = nullptr;
  const char* ResumeAt = nullptr;
  std::int32_t Counter = 0;
  std::int32_t Limit = 0;
  std::uint8_t EntryType = 0;
  // Script lines of `Position`'s block start and of where execution goes on after the entry
  // (`ResumeAt`, or the return position of a call), so that errors name the right line
  // wherever the pointer is.
  int StartLine = 0;
  int ReturnLine = 0;
  // The text the block lies in; the program pointer runs inside it while the entry is live.
  // A block of the script is copied once; blocks inside that copy are stretches of it, from
  // `Position` to `BlockEnd`, whose end `Terminator` holds cut off (a NUL in place of the
  // closing character) while any entry for that block lives.
  std::shared_ptr<const std::string> BlockText;
  const char* BlockEnd = nullptr;
  bool BlockIsCopy = false;  // BlockText is a copy of the interpreter's own
  std::shared_ptr<void> Terminator;
  // The script file to go on in after the entry; shared, since every call and block entry names
  // one and nearly all name the same file.
  std::shared_ptr<const std::string> SourceName;
  const std::string& Source() const {
    static const std::string kNone;
    return SourceName ? *SourceName : kNone;
  }
  std::string Condition;
  std::shared_ptr<void> ConditionTokens;  // the engine's prepared reading of Condition, kept
  std::string CounterName;  // the counter variable of 繰り返す, found again by name
  // The counter's word as TScopedHash::FindKept last found it.
  THashNode* CounterWord = nullptr;
  std::uint64_t CounterGeneration = 0;
  std::uint64_t CounterShadows = ~std::uint64_t{0};
  std::shared_ptr<std::vector<std::string>> Items;  // the list of 反復
};

class TRunControlStack {
 public:
  void Push(TRunControl&& entry) { current_.push_back(std::move(entry)); }
  bool Pop(TRunControl& into);
  TRunControl& At(std::size_t index) { return current_[index]; }
  const TRunControl& At(std::size_t index) const { return current_[index]; }
  TRunControl& Top() { return current_.back(); }
  std::size_t Count() const { return current_.size(); }
  void ClearLevel() { current_.clear(); }
  // Hands the current level's entries over, leaving it empty; RestoreLevel puts them back.
  std::vector<TRunControl> TakeLevel() { return std::exchange(current_, {}); }
  void RestoreLevel(std::vector<TRunControl> entries) { current_ = std::move(entries); }
  void OpenLevel();
  void CloseLevel();
  void ClearAll();
  std::size_t LevelDepth() const { return suspended_.size(); }

 private:
  // Emptied levels kept with their room, so that a call in function form (a level of its own)
  // does not allocate its entries anew every time.
  static constexpr std::size_t kMaxSpareLevels = 64;

  std::vector<TRunControl> current_;
  std::vector<std::vector<TRunControl>> suspended_;
  std::vector<std::vector<TRunControl>> spare_;
};

inline bool TRunControlStack::Pop(TRunControl& into) {
  if (current_.empty()) return false;
  into = std::move(current_.back());
  current_.pop_back();
  return true;
}

inline void TRunControlStack::OpenLevel() {
  suspended_.push_back(std::move(current_));
  current_.clear();
  if (!spare_.empty()) {
    current_ = std::move(spare_.back());
    spare_.pop_back();
  }
}

inline void TRunControlStack::CloseLevel() {
  if (suspended_.empty()) return;
  current_.clear();
  if (spare_.size() < kMaxSpareLevels) spare_.push_back(std::move(current_));
  current_ = std::move(suspended_.back());
  suspended_.pop_back();
}

inline void TRunControlStack::ClearAll() {
  current_.clear();
  suspended_.clear();
}

}  // namespace morivel::words
