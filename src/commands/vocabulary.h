// The built-in vocabulary as static tables: command names and the system variables and constants.
#pragma once

#include <span>

namespace morivel::commands {

// One command name. Texts are UTF-8 and become Shift-JIS at registration; `templ` is the argument
// template ("?の,?を,?に"), empty for a command without arguments. Synonyms share `id`.
struct CommandEntry {
  const char* name;
  const char* templ;
  int id;
};

// Where the initial value of a system word comes from when it is not a fixed text.
enum class InitialValue {
  Literal,        // `value` as written
  SystemColor,    // the platform colour of index `detail`, as a decimal number
  ScriptFolder,   // folder of the running script or executable, with a trailing separator
  RuntimeFolder,  // folder of the run-time executable
  SpecialFolder,  // the user folder that the name stands for
  DesktopWidth,   // screen width in pixels
  DesktopHeight,  // screen height in pixels
  CommandLine,    // the command-line arguments, one per line
  OsName,         // the operating system's name
};

// One system variable or constant. `type_mark` is "s" (string), "e" (number) or "" (none);
// `number` is the management number, unique within 0..255. A read-only word is a constant.
struct SystemWordEntry {
  const char* name;
  const char* value;
  const char* type_mark;
  int number;
  bool read_only;
  InitialValue source;
  int detail;
};

// All command names in registration order (603 names leading to 571 ids).
std::span<const CommandEntry> command_entries();

// All system variables and constants, entry i having management number i.
std::span<const SystemWordEntry> system_word_entries();

}  // namespace morivel::commands
