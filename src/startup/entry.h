// What both program entries share: answering the command line, finding and reading the start
// file, the facts the run's vocabulary starts with.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/registry.h"
#include "engine/host.h"
#include "startup/options.h"

namespace morivel::engine {
class Interpreter;
}

namespace morivel::startup {

inline constexpr int kUsageStatus = 2;

std::string ProgramName(const char* argv0);
std::filesystem::path OwnExecutable(const char* argv0);
// The script beside the program: the program's own name with ".mrv"; "" when there is none.
std::string BesideProgramScript(const std::filesystem::path& exe);
// A packed program named as the start file (".exe", ".scr").
bool IsProgramFile(const std::string& path);

// --help, --version and unknown options end the program before anything starts.
std::optional<int> AnswerWithoutRunning(const Options& options, const char* argv0);

// The console runs Qt on its offscreen platform, which wants a private runtime folder and
// complains on standard error without one; standard error belongs to the script's error log.
void PrepareConsoleEnvironment();

// Qt takes the user's locale for everything when the application starts; numbers are formatted
// and read with the C library, whose decimal point must stay ".". The terminal host takes the same
// locale itself (UseUserLocale).
void KeepNumbersInCLocale();
void UseUserLocale();

// The run's folders and command line; the desktop size is the front end's to fill in.
commands::PlatformInfo BasicPlatformInfo(const std::filesystem::path& exe,
                                         const std::filesystem::path& script,
                                         const std::vector<std::string>& params,
                                         const Options& options);

struct Run {
  std::string source;
  std::string file_name;  // Shift-JIS, as error lines show it
};

// A failure of the start-up: in the console on standard error, which makes the exit status 1;
// with a window as a message box.
void ReportStartupFailure(engine::Host& host, bool console, const std::string& sjis_message);

// Reads the start file ("-": standard input) and makes its folder the current one; on failure
// shows the run-time's message, marks the start-up failed and gives nothing to run.
std::unique_ptr<Run> LoadStartFile(const std::string& path, engine::Host& host, bool console,
                                   bool& failed);

class TFileMixReader;

// Prepares the run of the start file; on a failure shows the error log and gives false.
bool PrepareFirstRun(engine::Interpreter& interpreter, engine::Host& host, const Run& run);

// Makes the first run of a prepared script; `show_window` shows the main window unless the script
// shows it itself. False when the program should end at once.
bool MakeFirstRun(engine::Interpreter& interpreter, engine::Host& host, const Options& options,
                  const std::shared_ptr<TFileMixReader>& resource_archive,
                  const std::function<void()>& show_window);

}  // namespace morivel::startup
