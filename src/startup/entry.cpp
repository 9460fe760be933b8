// The start-up both program entries share.
#include "startup/entry.h"

#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "engine/interpreter.h"
#include "source/script_file.h"
#include "startup/archive.h"
#include "text/encoding.h"

namespace fs = std::filesystem;

namespace morivel::startup {

namespace {

constexpr const char* kVersion = "0.1.0";

std::string folder_with_slash(const fs::path& path) {
  std::string folder = path.parent_path().string();
  if (folder.empty()) folder = fs::current_path().string();
  if (folder.back() != '/') folder += '/';
  return text::from_utf8(folder);
}

}  // namespace

std::string ProgramName(const char* argv0) {
  return fs::path(argv0).filename().string();
}

fs::path OwnExecutable(const char* argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::absolute(argv0) : self;
}

std::string BesideProgramScript(const fs::path& exe) {
  fs::path candidate = exe;
  candidate.replace_extension(".mrv");
  std::error_code ec;
  return fs::is_regular_file(candidate, ec) ? candidate.string() : std::string();
}

bool IsProgramFile(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".exe" || ext == ".scr";
}

std::optional<int> AnswerWithoutRunning(const Options& options, const char* argv0) {
  if (!options.unknown_option.empty()) {
    std::fprintf(stderr, "%s: unknown option '%s'\nTry '%s --help' for more information.\n",
                 ProgramName(argv0).c_str(), options.unknown_option.c_str(),
                 ProgramName(argv0).c_str());
    return kUsageStatus;
  }
  if (options.help) {
    std::fputs(UsageText(ProgramName(argv0)).c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("morivel %s\n", kVersion);
    return 0;
  }
  return std::nullopt;
}

void PrepareConsoleEnvironment() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (std::getenv("XDG_RUNTIME_DIR")) return;
  fs::path dir = fs::temp_directory_path() / ("morivel-runtime-" + std::to_string(::getuid()));
  std::error_code ec;
  fs::create_directories(dir, ec);
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
  if (!ec) ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

void KeepNumbersInCLocale() {
  std::setlocale(LC_NUMERIC, "C");
}

void UseUserLocale() {
  std::setlocale(LC_ALL, "");
  KeepNumbersInCLocale();
}

commands::PlatformInfo BasicPlatformInfo(const fs::path& exe, const fs::path& script,
                                         const std::vector<std::string>& params,
                                         const Options& options) {
  commands::PlatformInfo info;
  info.runtime_folder = folder_with_slash(exe);
  info.script_folder =
      script.empty() ? info.runtime_folder : folder_with_slash(fs::absolute(script));
  std::size_t from = options.start_file.empty() ? 0 : options.script_args_from;
  info.command_line = text::from_utf8(ScriptCommandLine(params, from));
  return info;
}

void ReportStartupFailure(engine::Host& host, bool console, const std::string& sjis_message) {
  if (console)
    host.ShowErrorDialog(sjis_message);
  else
    host.ShowMessage(sjis_message);
}

std::unique_ptr<Run> LoadStartFile(const std::string& path, engine::Host& host, bool console,
                                   bool& failed) {
  if (path.empty() || IsProgramFile(path)) return nullptr;
  if (path == kStandardInputScript) {
    std::optional<std::string> source = source::ReadScriptStream(std::cin);
    if (source) return std::make_unique<Run>(Run{std::move(*source), "stdin"});
  }
  std::optional<std::string> source =
      path == kStandardInputScript ? std::nullopt : source::ReadScriptFile(path);
  if (!source) {
    ReportStartupFailure(
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

bool PrepareFirstRun(engine::Interpreter& interpreter, engine::Host& host, const Run& run) {
  try {
    interpreter.PrepareRun(run.source, run.file_name);
  } catch (const std::exception&) {
    host.ShowErrorDialog(interpreter.ErrorLog());
    return false;
  }
  return true;
}

bool MakeFirstRun(engine::Interpreter& interpreter, engine::Host& host, const Options& options,
                  const std::shared_ptr<TFileMixReader>& resource_archive,
                  const std::function<void()>& show_window) {
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

}  // namespace morivel::startup
