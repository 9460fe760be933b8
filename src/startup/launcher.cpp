// Program entry of `morivel`: a console run whose script needs nothing of the window side runs
// here, on the terminal host, without loading Qt at all (most of a short run's time went into
// loading and binding the Qt libraries). Everything else goes on in `morivel-qt` beside it,
// started in this process's place with the same command line.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "engine/terminal_host.h"
#include "startup/entry.h"
#include "startup/large_stack.h"
#include "startup/options.h"
#include "startup/window_side.h"

namespace fs = std::filesystem;
using namespace morivel;

namespace {

constexpr const char* kWindowSideProgram = "morivel-qt";

// Replaces this process by the run-time with its window side; returns only on failure.
int start_window_side(char** argv) {
  fs::path program = startup::OwnExecutable(argv[0]).parent_path() / kWindowSideProgram;
  ::execv(program.c_str(), argv);
  std::fprintf(stderr, "%s: cannot start %s: %s\n", startup::ProgramName(argv[0]).c_str(),
               program.c_str(), std::strerror(errno));
  return 1;
}

bool is_display_present() {
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// Runs the terminal host takes at all: a console run of a script file, no packed program and no
// resource archive (those start on the window side, which knows them).
bool may_run_plain(const startup::Options& options) {
  return (options.console || !is_display_present()) && !options.runtime &&
         options.resource_file.empty() && !options.start_file.empty() &&
         options.start_file != startup::kStandardInputScript &&
         !startup::IsProgramFile(options.start_file);
}

// The run on the terminal host, or the window side's when the prepared script may need it.
int run_plain_or_window_side(const startup::Options& options,
                             const std::vector<std::string>& params, char** argv) {
  std::error_code ec;
  const fs::path started_in = fs::current_path(ec);
  startup::PrepareConsoleEnvironment();
  startup::UseUserLocale();
  fs::path exe = startup::OwnExecutable(argv[0]);
  commands::BuiltinVocabulary vocabulary(
      startup::BasicPlatformInfo(exe, options.start_file, params, options));
  engine::TerminalHost host;
  engine::Interpreter interpreter(host, vocabulary);
  host.Ending().SetCloseQuery([&interpreter] { return interpreter.QueryClose(); });

  bool failed = false;
  std::unique_ptr<startup::Run> run =
      startup::LoadStartFile(options.start_file, host, true, failed);
  if (!run) return failed ? 1 : 0;
  interpreter.DebugMode = options.debug;
  interpreter.LineStop = options.line_stop;
  if (startup::PrepareFirstRun(interpreter, host, *run)) {
    if (startup::NeedsWindowSide(interpreter.State().Sources,
                                 startup::WindowSideTexts(vocabulary.Handlers()))) {
      fs::current_path(started_in, ec);
      return start_window_side(argv);
    }
    startup::MakeFirstRun(interpreter, host, options, nullptr, [] {});
  }
  host.CloseMainWindow();
  return host.Ending().ExitStatus();
}

int run_program(int argc, char** argv) {
  std::vector<std::string> params(argv + 1, argv + argc);
  startup::Options options = startup::ParseOptions(params);
  if (std::optional<int> status = startup::AnswerWithoutRunning(options, argv[0])) return *status;
  if (!may_run_plain(options)) return start_window_side(argv);
  return run_plain_or_window_side(options, params, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // Deep script recursion must end in the language's stack-full error, as on the window side.
  return startup::RunOnLargeStack([argc, argv] { return run_program(argc, argv); });
}
