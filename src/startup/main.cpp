// Program entry: picks the front end, finds the script, prepares and makes the first run.
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "gui/qt_text.h"
#include "gui/session.h"
#include "source/script_file.h"
#include "startup/archive.h"
#include "startup/font_teardown.h"
#include "startup/large_stack.h"
#include "startup/options.h"
#include "text/encoding.h"

namespace fs = std::filesystem;
using namespace morivel;

namespace {

std::string folder_with_slash(const fs::path& path) {
  std::string folder = path.parent_path().string();
  if (folder.empty()) folder = fs::current_path().string();
  if (folder.back() != '/') folder += '/';
  return text::from_utf8(folder);
}

fs::path own_executable(const char* argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::absolute(argv0) : self;
}

// The script beside the program: the program's own name with ".mrv".
std::string beside_program_script(const fs::path& exe) {
  fs::path candidate = exe;
  candidate.replace_extension(".mrv");
  std::error_code ec;
  return fs::is_regular_file(candidate, ec) ? candidate.string() : std::string();
}

bool is_program_file(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".exe" || ext == ".scr";
}

commands::PlatformInfo platform_info(const fs::path& exe, const fs::path& script,
                                     const std::vector<std::string>& params,
                                     const startup::Options& options, bool console) {
  commands::PlatformInfo info;
  info.runtime_folder = folder_with_slash(exe);
  info.script_folder =
      script.empty() ? info.runtime_folder : folder_with_slash(fs::absolute(script));
  std::size_t from = options.start_file.empty() ? 0 : options.script_args_from;
  info.command_line = text::from_utf8(startup::ScriptCommandLine(params, from));
  if (!console) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      info.desktop_width = screen->geometry().width();
      info.desktop_height = screen->geometry().height();
    }
  }
  return info;
}

// Qt wants a private runtime folder and complains on standard error without one; the console's
// standard error belongs to the script's error log.
void ensure_runtime_dir() {
  if (std::getenv("XDG_RUNTIME_DIR")) return;
  fs::path dir = fs::temp_directory_path() / ("morivel-runtime-" + std::to_string(::getuid()));
  std::error_code ec;
  fs::create_directories(dir, ec);
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
  if (!ec) qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.string()));
}

constexpr int kUsageStatus = 2;
constexpr const char* kVersion = "0.1.0";

std::string program_name(const char* argv0) {
  return fs::path(argv0).filename().string();
}

// --help, --version and unknown options end the program before anything starts.
std::optional<int> answer_without_running(const startup::Options& options, const char* argv0) {
  if (!options.unknown_option.empty()) {
    std::fprintf(stderr, "%s: unknown option '%s'\nTry '%s --help' for more information.\n",
                 program_name(argv0).c_str(), options.unknown_option.c_str(),
                 program_name(argv0).c_str());
    return kUsageStatus;
  }
  if (options.help) {
    std::fputs(startup::UsageText(program_name(argv0)).c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("morivel %s\n", kVersion);
    return 0;
  }
  return std::nullopt;
}

struct Run {
  std::string source;
  std::string file_name;  // Shift-JIS, as error lines show it
};

// A failure of the start-up: in the console on standard error, which makes the exit status 1;
// with a window as a message box.
void report_startup_failure(engine::Host& host, bool console, const std::string& sjis_message) {
  if (console)
    host.ShowErrorDialog(sjis_message);
  else
    host.ShowMessage(sjis_message);
}

// Reads the start file ("-": standard input); on failure shows the run-time's message, marks
// the start-up failed and gives nothing to run.
std::unique_ptr<Run> load_start_file(const std::string& path, engine::Host& host, bool console,
                                     bool& failed) {
  if (path.empty() || is_program_file(path)) return nullptr;
  if (path == startup::kStandardInputScript) {
    std::optional<std::string> source = source::ReadScriptStream(std::cin);
    if (source) return std::make_unique<Run>(Run{std::move(*source), "stdin"});
  }
  std::optional<std::string> source =
      path == startup::kStandardInputScript ? std::nullopt : source::ReadScriptFile(path);
  if (!source) {
    report_startup_failure(
        host, console,
        text::sjis("起動ファイル「") + text::from_utf8(path) + text::sjis("」が読込めません。"));
    failed = true;
    return nullptr;
  }
  fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty()) fs::current_path(folder, ec);
  return std::make_unique<Run>(Run{std::move(*source), text::from_utf8(path)});
}

// Prepares the run and makes the first one. False when the program should end at once.
bool first_run(engine::Interpreter& interpreter, engine::Host& host, const Run& run,
               const startup::Options& options,
               const std::shared_ptr<startup::TFileMixReader>& resource_archive,
               const std::function<void()>& show_window) {
  try {
    interpreter.PrepareRun(run.source, run.file_name);
  } catch (const std::exception&) {
    host.ShowErrorDialog(interpreter.ErrorLog());
    return false;
  }
  interpreter.State().SecurityLevel = options.security_level;
  interpreter.State().ResourceArchive = resource_archive;
  // A script that shows its window itself (母艦浮上) starts hidden; comments don't count.
  static const std::string kFloat = text::sjis("母艦浮上");
  if (interpreter.State().Sources[0]->find(kFloat) == std::string::npos) show_window();
  interpreter.StartAtBeginning();
  try {
    interpreter.RunMainLoop();
  } catch (const std::exception& e) {
    if (interpreter.ErrorLog().empty())
      host.ShowMessage(interpreter.ErrorLine(text::sjis("システムエラー:") + e.what()));
    return false;
  }
  return !interpreter.State().StopFlag;
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
std::unique_ptr<Run> package_script(const fs::path& program, Startup& start) {
  std::optional<startup::AppendedPackage> package =
      startup::OpenAppendedPackage(program, fs::temp_directory_path());
  if (!package) return nullptr;
  start.temporary.paths.push_back(package->TemporaryFile);
  start.resource_archive = package->Archive;
  if (!package->Script) return nullptr;
  return std::make_unique<Run>(Run{source::DecodeScriptBytes(*package->Script), "morivel.mrv"});
}

// The script named by the command line (after -runtime, a packed program) and the -resource
// archive; nothing to run when the program should end.
std::unique_ptr<Run> command_line_script(const startup::Options& options, Startup& start,
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
  if (!options.runtime) return load_start_file(options.start_file, host, console, start.failed);
  std::unique_ptr<Run> run;
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
  if (std::optional<int> status = answer_without_running(options, argv[0])) return *status;
  bool console = options.console || (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"));
  if (console) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ensure_runtime_dir();
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(gui::to_qstring(text::sjis("もりべる")));
  // Declared after the application and before the session: it acts once the session is gone.
  std::optional<startup::CheapFontTeardown> font_teardown;
  if (console) font_teardown.emplace();
  gui::install_qt_translations();

  fs::path exe = own_executable(argv[0]);
  if (options.start_file.empty()) {
    options.start_file = beside_program_script(exe);
    options.script_args_from = 0;
  }

  // Messages about the start file come before the run's vocabulary exists; the session's host
  // shows them the same way.
  auto session = std::make_unique<gui::Session>(
      console, platform_info(exe, options.start_file, params, options, console));
  engine::Host* host = &session->Host();

  Startup start;
  std::unique_ptr<Run> run;
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
    std::fputs(startup::UsageText(program_name(argv[0])).c_str(), stderr);
    return kUsageStatus;
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
      first_run(interpreter, *host, *run, options, start.resource_archive, [&window] {
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
