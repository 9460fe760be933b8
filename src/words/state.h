// The interpreter state of one run: words, stacks, parts, sources, temporary files and settings.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "formats/csv.h"
#include "words/hash.h"
#include "words/run_control.h"
#include "words/stack.h"

namespace morivel::startup {
class TFileMixReader;
}

namespace morivel::words {

// The run's random numbers: a 32-bit linear congruential generator, so that a script that sets
// the seed sees the same numbers on every run and every machine.
class TRandom {
 public:
  using result_type = std::uint32_t;  // usable with the standard distributions too

  explicit TRandom(std::uint32_t seed) : seed_(seed) {}
  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return 0xFFFFFFFFu; }
  result_type operator()() { return Next(); }
  void Seed(std::uint32_t seed) { seed_ = seed; }
  std::uint32_t Next() {
    seed_ = seed_ * 134775813u + 1u;
    return seed_;
  }
  // One step, then a value from 0 to n - 1 (0 when n is 0): the high half of seed × n.
  std::uint32_t Below(std::uint32_t n) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(Next()) * n) >> 32);
  }

 private:
  std::uint32_t seed_;
};

// State of the CSV search commands (表検索 and its followers).
struct TFindCsv {
  formats::TCsvDb Table;
  std::string Key;
  std::int64_t Column = 0;
  std::int64_t Row = 0;
};

// A resource a command made that lives until the end of the run.
class OwnedObject {
 public:
  virtual ~OwnedObject() = default;
};

// The system words the run-time reads or writes itself, kept at hand after registration.
struct SystemWordRefs {
  THashNode* Sore = nullptr;     // それ
  THashNode* So = nullptr;       // そ
  THashNode* Soshite = nullptr;  // そして
  THashNode* Kaisu = nullptr;    // 回数
  THashNode* ErrorMessage = nullptr;
  THashNode* ErrorLine = nullptr;
  THashNode* ScriptFolder = nullptr;  // 母艦のパス
  THashNode* MatchCount = nullptr;
  THashNode* EndRefused = nullptr;  // 終了不可能
};

// Where 表示 and the drawing commands work on the main window's picture, and how.
struct DrawingState {
  int X = 10;
  int Y = 10;
  bool Centering = false;  // センタリング: 表示 centres lines, parts are centred on creation
  int PenStyle = 0;        // index into the pen style words
  int BrushStyle = 0;      // index into the brush style words
};

class TMorvBase {
 public:
  static constexpr std::size_t kMaxSources = 50;

  TMorvBase();
  ~TMorvBase();
  TMorvBase(const TMorvBase&) = delete;
  TMorvBase& operator=(const TMorvBase&) = delete;

  // Level of a new user variable: the depth of the current run-control level.
  std::int32_t CurrentLevel() const { return static_cast<std::int32_t>(RunControl.Count()); }

  // Registers a file to delete when the run ends.
  void AddTemporaryFile(std::filesystem::path path) { temporary_files_.push_back(std::move(path)); }

  std::string ScriptFileName;
  // Preprocessed texts: slot 0 the main script, then included files. Shared so that positions
  // into them stay valid while anything still refers to them.
  std::vector<std::shared_ptr<const std::string>> Sources;
  const char* Position = nullptr;  // the program pointer; nullptr when nothing runs
  int CurrentLine = 0;
  bool StopFlag = false;

  TScopedHash Words;
  TStack Arguments;
  TRunControlStack RunControl;
  TObjList Parts;
  TFindCsv FindCsv;
  std::vector<std::unique_ptr<OwnedObject>> OwnedObjects;

  int SecurityLevel = -1;
  std::string PendingSwitchValue;  // "~未定義" when no 条件分岐 is pending
  SystemWordRefs Sys;
  DrawingState Drawing;
  // ダイアログサイズ設定: left, top, right, bottom; all zero lets dialogs centre themselves.
  std::array<int, 4> DialogRect{};

  TRandom Random;

  // The packed-file archive the script's file commands read from (appended to the program or
  // given with -resource); none when the run has no archive.
  std::shared_ptr<startup::TFileMixReader> ResourceArchive;

 private:
  std::vector<std::filesystem::path> temporary_files_;
};

}  // namespace morivel::words
