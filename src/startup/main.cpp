// Program entry of morivel-qt, the run-time with its window side: picks the front end, finds the
// script, prepares and makes the first run.
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "gui/qt_text.h"
#include "gui/session.h"
#include "source/script_file.h"
#include "startup/archive.h"
#include "startup/entry.h"
#include "startup/font_teardown.h"
#include "startup/large_stack.h"
#include "startup/options.h"
#include "text/encoding.h"

namespace fs = std::filesystem;
using namespace morivel;

namespace {

commands::PlatformInfo platform_info(const fs::path& exe, const fs::path& script,
                                     const std::vector<std::string>& params,
                                     const startup::Options& options, bool console) {
  commands::PlatformInfo info = startup::BasicPlatformInfo(exe, script, params, options);
  if (!console) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      info.desktop_width = screen->geometry().width();
      info.desktop_height = screen->geometry().height();
    }
  }
  return info;
}

// Files the start-up saved for the run, removed when the program ends.
struct TemporaryFiles {
  std::vector<fs::path> paths;
  ~TemporaryFiles() {
    for (const fs::path& path : paths) {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  }
};

// What the start-up hands to the run besides its script.
struct Startup {
  std::shared_ptr<startup::TFileMixReader> resource_archive;
  TemporaryFiles temporary;
  bool failed = false;  // the program ends with status 1
};

// The package check: the archive appended to `program`, opened as the run's resource archive;
// its "morivel.mrv" is the script. Throws GeneralError with the extraction message.
std::unique_ptr<startup::Run> package_script(const fs::path& program, Startup& start) {
  std::optional<startup::AppendedPackage> package =
      startup::OpenAppendedPackage(program, fs::temp_directory_path());
  if (!package) return nullptr;
  start.temporary.paths.push_back(package->TemporaryFile);
  start.resource_archive = package->Archive;
  if (!package->Script) return nullptr;
  return std::make_unique<startup::Run>(
      startup::Run{source::DecodeScriptBytes(*package->Script), "morivel.mrv"});
}

// The script named by the command line (after -runtime, a packed program) and the -resource
// archive; nothing to run when the program should end.
std::unique_ptr<startup::Run> command_line_script(const startup::Options& options, Startup& start,
                                                  engine::Host& host, bool console) {
  if (!options.resource_file.empty()) {
    try {
      start.resource_archive = std::make_shared<startup::TFileMixReader>(options.resource_file);
    } catch (const std::exception&) {
      host.ShowErrorDialog(text::sjis("リソースファイルの取り込みに失敗しました。"));
      start.failed = true;
      return nullptr;
    }
  }
  if (!options.runtime)
    return startup::LoadStartFile(options.start_file, host, console, start.failed);
  std::unique_ptr<startup::Run> run;
  if (!options.start_file.empty()) run = package_script(options.start_file, start);
  if (!run) {
    host.ShowMessage(text::sjis("指定されたプログラムファイルは壊れています。"));
    start.failed = true;
  }
  return run;
}

}  // namespace

namespace {

int run_program(int argc, char** argv) {
  std::vector<std::string> params(argv + 1, argv + argc);
  startup::Options options = startup::ParseOptions(params);
  if (std::optional<int> status = startup::AnswerWithoutRunning(options, argv[0])) return *status;
  bool console = options.console || (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"));
  if (console) {
    startup::PrepareConsoleEnvironment();
  }

  QApplication app(argc, argv);
  startup::KeepNumbersInCLocale();
  QApplication::setApplicationName(gui::to_qstring(text::sjis("もりべる")));
  // Declared after the application and before the session: it acts once the session is gone.
  std::optional<startup::CheapFontTeardown> font_teardown;
  if (console) font_teardown.emplace();
  gui::install_qt_translations();

  fs::path exe = startup::OwnExecutable(argv[0]);
  if (options.start_file.empty()) {
    options.start_file = startup::BesideProgramScript(exe);
    options.script_args_from = 0;
  }

  // Messages about the start file come before the run's vocabulary exists; the session's host
  // shows them the same way.
  auto session = std::make_unique<gui::Session>(
      console, platform_info(exe, options.start_file, params, options, console));
  engine::Host* host = &session->Host();

  Startup start;
  std::unique_ptr<startup::Run> run;
  bool own_package = false;
  try {
    if (!options.skip_package) run = package_script(exe, start);
    own_package = run != nullptr;
    if (!run) run = command_line_script(options, start, *host, console);
  } catch (const std::exception& e) {
    host->ShowMessage(e.what());
    return 1;
  }
  if (!run && params.empty() && options.start_file.empty()) {
    std::fputs(startup::UsageText(startup::ProgramName(argv[0])).c_str(), stderr);
    return startup::kUsageStatus;
  }
  if (!run) return start.failed ? 1 : 0;
  if (own_package) {
    // A packed program takes no options but the front end; its script sits beside the program.
    startup::Options packaged;
    packaged.console = options.console;
    options = packaged;
    session->Vocabulary().Platform() =
        platform_info(exe, options.start_file, params, options, console);
  }

  engine::Interpreter& interpreter = session->Interpreter();
  interpreter.DebugMode = options.debug;
  interpreter.LineStop = options.line_stop;
  gui::ConsoleHost* console_host = session->Console();
  gui::WindowHost* window_host = session->Windowed();
  if (window_host) window_host->SetDebugMode(options.debug);
  gui::MainWindow& window = session->Window();
  session->ServeExternalControl(run->file_name);
  bool keep_running =
      startup::PrepareFirstRun(interpreter, *host, *run) &&
      startup::MakeFirstRun(interpreter, *host, options, start.resource_archive, [&window] {
        window.show();
        QCoreApplication::processEvents();
      });
  if (console) {
    if (keep_running) session->RunConsoleEvents();
    console_host->CloseMainWindow();
    return console_host->ExitStatus();
  }
  if (!keep_running || window_host->Closed()) return 0;
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  // Qt takes the thread that first uses it as its main thread: everything runs on the large
  // stack, so deep script recursion ends in the language's stack-full error.
  return startup::RunOnLargeStack([argc, argv] { return run_program(argc, argv); });
}
