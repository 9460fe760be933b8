// Registration of the built-in vocabulary and the handler table keyed by command id.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "words/state.h"

#include "engine/vocabulary.h"

namespace morivel::commands {

using engine::Handler;

constexpr int kHandlerSlots = 601;

class HandlerTable {
 public:
  void Set(int id, Handler handler);
  // nullptr for an empty slot; throws std::out_of_range above the last slot.
  Handler Get(int id) const;

 private:
  std::array<Handler, kHandlerSlots> slots_{};
};

// The table every run uses: each command family registers its handlers into it once.
const HandlerTable& handler_table();

// What the host tells the registration about the machine and the run.
struct PlatformInfo {
  std::string script_folder;   // Shift-JIS, native, ends with "/"
  std::string runtime_folder;  // Shift-JIS, native, ends with "/"
  std::string command_line;    // the script's arguments, one per line (CR LF between)
  int desktop_width = 1024;
  int desktop_height = 768;
  // The platform's colours for the indexes the system colour words use (COLORREF-style numbers).
  std::array<long, 32> system_colors{};
  PlatformInfo();
};

// The 256 management numbers of the system words; each may be given once.
class ManagementNumbers {
 public:
  // Throws GeneralError naming the word and the number when the number is taken already,
  // std::out_of_range above 255.
  void Claim(const std::string& sjis_name, int number);

 private:
  std::array<bool, 256> used_{};
};

// The names and templates of command_entries() in Shift-JIS, in the same order, converted once.
struct SjisCommandEntry {
  std::string name;
  std::string templ;
};
const std::vector<SjisCommandEntry>& sjis_command_entries();

// Registers every command, system variable and constant, then the main window word 母艦.
// Throws GeneralError on a duplicate management number or a clashing key form.
void RegisterVocabulary(words::TMorvBase& state, const PlatformInfo& platform);

// The built-in vocabulary as the engine sees it.
class BuiltinVocabulary : public engine::Vocabulary {
 public:
  explicit BuiltinVocabulary(PlatformInfo platform = PlatformInfo());
  void Register(words::TMorvBase& state) const override;
  Handler HandlerFor(int id) const override;
  const std::vector<std::string>* FullNames(const std::string& key) const override;
  PlatformInfo& Platform() { return platform_; }
  // The handlers of this vocabulary, starting as the plain command families' table; a front
  // end adds (or replaces) the handlers that need its windows.
  HandlerTable& Handlers() { return handlers_; }

 private:
  PlatformInfo platform_;
  HandlerTable handlers_;
};

// The folder a special-folder name stands for on this machine (Shift-JIS, ends with "/"), or ""
// when the name is unknown. Names are the Shift-JIS system word names such as デスクトップのパス.
std::string special_folder_path(const std::string& sjis_name);

}  // namespace morivel::commands
