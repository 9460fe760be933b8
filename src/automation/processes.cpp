#include "automation/processes.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace morivel::automation {

namespace fs = std::filesystem;

bool IsExecutableFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<fs::path> FindProgram(const std::string& name, const fs::path& first_folder) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) return fs::path(name);
  if (!first_folder.empty() && IsExecutableFile(first_folder / name)) return first_folder / name;
  const char* path_env = std::getenv("PATH");
  std::string search = path_env ? path_env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= search.size()) {
    std::size_t end = search.find(':', start);
    if (end == std::string::npos) end = search.size();
    fs::path folder = search.substr(start, end - start);
    if (folder.empty()) folder = ".";
    if (IsExecutableFile(folder / name)) return folder / name;
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<pid_t> Spawn(const fs::path& program, const std::vector<std::string>& args) {
  std::vector<std::string> owned;
  owned.reserve(args.size() + 1);
  owned.push_back(program.string());
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : owned) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    errno = rc;
    return std::nullopt;
  }
  return pid;
}

std::optional<int> PollExit(pid_t pid) {
  int status = 0;
  pid_t done = ::waitpid(pid, &status, WNOHANG);
  if (done == 0) return std::nullopt;
  if (done < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Children::~Children() {
  Reap();
}

void Children::Adopt(pid_t pid) {
  Reap();
  pids_.push_back(pid);
}

void Children::Reap() {
  std::erase_if(pids_, [](pid_t pid) { return PollExit(pid).has_value(); });
}

}  // namespace morivel::automation
