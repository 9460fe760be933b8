// Commands: 起動, 起動して終了まで待機 and エクスプローラーで開く. Programs are started from
// argument vectors; documents, folders and URLs go to the desktop's opener.
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "automation/command_line.h"
#include "automation/families.h"
#include "automation/launch.h"
#include "automation/owned.h"
#include "automation/processes.h"
#include "commands/file_handles.h"
#include "commands/packing.h"
#include "engine/host.h"
#include "engine/interpreter.h"
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

// A new instance of the run-time for a script; in the console front end the child runs there too.
std::pair<fs::path, std::vector<std::string>> script_command(Interpreter& in,
                                                             const std::string& program,
                                                             const std::string& parameters) {
  std::error_code ec;
  fs::path script = fs::absolute(commands::native_path(Unquote(program)), ec);
  std::vector<std::string> args;
  if (!in.GetHost().Parts()) args.push_back("-console");
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

void wait_for(Interpreter& in, pid_t pid) {
  while (!PollExit(pid)) in.GetHost().Wait(kWaitPollSeconds);
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
  std::string line = unpacked(in, given);
  CommandLine parts = SplitCommandLine(line);
  if (LowerExtension(parts.program) == ".mrv") {
    auto [exe, args] = script_command(in, parts.program, parts.parameters);
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
