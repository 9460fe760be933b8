// Commands: 起動, 起動して終了まで待機 and エクスプローラーで開く. Programs are started from
// argument vectors; documents, folders and URLs go to the desktop's opener.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "automation/command_line.h"
#include "automation/families.h"
#include "automation/launch.h"
#include "automation/owned.h"
#include "automation/processes.h"
#include "commands/file_handles.h"
#include "commands/packing.h"
#include "engine/host.h"
#include "engine/interpreter.h"
#include "startup/archive.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::automation {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

constexpr double kWaitPollSeconds = 0.1;

std::string quoted(const std::string& s) {
  return "\"" + s + "\"";
}

engine::EMorv start_failure(Interpreter& in, const std::string& what) {
  return in.ArgumentError(":" + quoted(what) + text::sjis("を起動できません。"));
}

fs::path script_folder(Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? commands::native_path(folder->GetValue()) : fs::path();
}

fs::path own_executable() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path("morivel") : exe;
}

pid_t start_or_fail(Interpreter& in, const fs::path& program, const std::vector<std::string>& args,
                    const std::string& shown_name) {
  std::optional<pid_t> pid = Spawn(program, args);
  if (!pid) throw start_failure(in, shown_name);
  return *pid;
}

void start_detached(Interpreter& in, const fs::path& program, const std::vector<std::string>& args,
                    const std::string& shown_name) {
  OwnedOf<Children>(in.State()).Adopt(start_or_fail(in, program, args, shown_name));
}

// Documents, folders and URLs: whatever the desktop opens them with.
void open_with_desktop(Interpreter& in, const std::string& target_native,
                       const std::string& shown_name) {
  std::optional<fs::path> opener = FindProgram("xdg-open", {});
  if (!opener) throw start_failure(in, shown_name);
  start_detached(in, *opener, {target_native}, shown_name);
}

std::vector<std::string> native_arguments(const std::string& parameters) {
  std::vector<std::string> args;
  for (const std::string& arg : SplitArguments(parameters)) args.push_back(text::to_utf8(arg));
  return args;
}

// A copy of the run's packed archive for a script started out of it, so that the new instance
// finds the same packed files; the copy outlives this run, as the child may still be reading it.
std::optional<fs::path> resource_copy(Interpreter& in) {
  const std::shared_ptr<startup::TFileMixReader>& archive = in.State().ResourceArchive;
  if (!archive) return std::nullopt;
  std::optional<std::string> bytes = startup::ReadWholeFile(archive->FileName());
  if (!bytes) throw in.Error(text::sjis("一時ファイルを作成できません。"));
  try {
    return startup::SaveTemporaryArchive(*bytes, fs::temp_directory_path());
  } catch (const std::exception& e) {
    throw in.Error(e.what());
  }
}

// A new instance of the run-time for a script; in the console front end the child runs there too.
// `resource` is handed over as the child's packed archive.
std::pair<fs::path, std::vector<std::string>> script_command(
    Interpreter& in, const std::string& program, const std::string& parameters,
    const std::optional<fs::path>& resource = std::nullopt) {
  std::error_code ec;
  fs::path script = fs::absolute(commands::native_path(Unquote(program)), ec);
  // "-run" first: a stand-alone program would otherwise run its own packed script again, and
  // that one would start the next, without end.
  std::vector<std::string> args = {"-run"};
  if (!in.GetHost().Parts()) args.push_back("-console");
  // Before the script, so that the script's own arguments stay as they were given.
  if (resource) {
    args.push_back("-resource");
    args.push_back(resource->string());
  }
  args.push_back(script.string());
  for (std::string& arg : native_arguments(parameters)) args.push_back(std::move(arg));
  return {own_executable(), args};
}

bool exists(const std::string& sjis_path) {
  std::error_code ec;
  return !sjis_path.empty() && fs::exists(commands::native_path(sjis_path), ec);
}

// A program part with its parameters: an executable runs with them, any other existing file or
// folder is opened as a document.
void open_program(Interpreter& in, const std::string& program, const std::string& parameters) {
  std::string name = Unquote(program);
  fs::path native = commands::native_path(name);
  std::error_code ec;
  if (fs::exists(native, ec) && !IsExecutableFile(native)) {
    open_with_desktop(in, native.string(), name);
    return;
  }
  std::optional<fs::path> found = FindProgram(native.string(), {});
  if (!found || !IsExecutableFile(*found)) throw start_failure(in, name);
  start_detached(in, *found, native_arguments(parameters), name);
}

void open_whole(Interpreter& in, const std::string& whole) {
  if (IsUrl(whole)) {
    open_with_desktop(in, text::to_utf8(whole), whole);
    return;
  }
  fs::path native = commands::native_path(whole);
  if (IsExecutableFile(native))
    start_detached(in, native, {}, whole);
  else
    open_with_desktop(in, native.string(), whole);
}

std::string unpacked(Interpreter& in, const std::string& line) {
  std::string packed = commands::ResolvePackedFile(in, text::trim(line));
  return packed.empty() ? line : packed;
}

void launch(Interpreter& in) {
  LaunchCommandLine(in, in.PopArgumentValue());
}

// The program part of a command line that is started and waited for.
CommandLine waited_command(const std::string& line) {
  std::string trimmed = text::trim(line);
  if (!trimmed.empty() && trimmed[0] == '"') return SplitCommandLine(trimmed);
  if (exists(trimmed)) return {trimmed, {}};
  return SplitCommandLine(trimmed);
}

// A timer that fires meanwhile runs its label during the wait, as it does during 待つ; the child
// is still waited for afterwards. An ended run stops waiting (the child goes on alone).
void wait_for(Interpreter& in, pid_t pid) {
  Interpreter::EventWait waiting(in);
  while (!PollExit(pid)) {
    if (in.State().StopFlag) {
      OwnedOf<Children>(in.State()).Adopt(pid);
      return;
    }
    in.GetHost().Wait(kWaitPollSeconds);
  }
}

void launch_and_wait(Interpreter& in) {
  std::string line = unpacked(in, in.PopArgumentValue());
  if (text::trim(line).empty()) return;
  CommandLine parts = waited_command(line);
  if (LowerExtension(parts.program) == ".mrv") {
    auto [exe, args] = script_command(in, parts.program, parts.parameters);
    wait_for(in, start_or_fail(in, exe, args, Unquote(parts.program)));
    return;
  }
  std::string name = Unquote(parts.program);
  std::optional<fs::path> found =
      FindProgram(commands::native_path(name).string(), script_folder(in));
  if (!found || !IsExecutableFile(*found)) throw start_failure(in, name);
  wait_for(in, start_or_fail(in, *found, native_arguments(parts.parameters), name));
}

void open_in_file_manager(Interpreter& in) {
  std::string target = text::trim(in.PopArgumentValue());
  if (target.empty()) return;
  if (IsUrl(target) || target.find("mailto:") != std::string::npos)
    open_with_desktop(in, text::to_utf8(target), target);
  else
    open_with_desktop(in, commands::native_path(target).string(), target);
}

}  // namespace

void LaunchCommandLine(Interpreter& in, const std::string& given) {
  if (given.empty()) return;
  std::string packed = commands::ResolvePackedFile(in, text::trim(given));
  std::string line = packed.empty() ? given : packed;
  CommandLine parts = SplitCommandLine(line);
  if (LowerExtension(parts.program) == ".mrv") {
    std::optional<fs::path> resource = packed.empty() ? std::nullopt : resource_copy(in);
    auto [exe, args] = script_command(in, parts.program, parts.parameters, resource);
    start_detached(in, exe, args, Unquote(parts.program));
    return;
  }
  std::string whole = text::trim(parts.program + " " + parts.parameters);
  if (!exists(whole) && !IsUrl(whole))
    open_program(in, parts.program, parts.parameters);
  else
    open_whole(in, whole);
}

void RegisterLaunchCommands(commands::HandlerTable& table) {
  table.Set(24, launch);
  table.Set(104, launch_and_wait);
  table.Set(184, open_in_file_manager);
}

}  // namespace morivel::automation
