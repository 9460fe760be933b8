// Starting programs straight from an argument vector: never a shell, so script text is never
// interpreted as shell syntax.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "words/state.h"

namespace morivel::automation {

// The program a name stands for: a name with "/" as it is (relative to the working folder), a
// bare name in `first_folder` when it is there, else the first executable of that name on PATH.
std::optional<std::filesystem::path> FindProgram(const std::string& name,
                                                 const std::filesystem::path& first_folder);

bool IsExecutableFile(const std::filesystem::path& path);

// Starts `program` with `args` (argv[1..]); the child inherits the standard streams. Returns the
// process id, or nullopt with errno set.
std::optional<pid_t> Spawn(const std::filesystem::path& program,
                           const std::vector<std::string>& args);

// Children started without waiting: reaped as they end so that none lingers as a zombie.
class Children : public words::OwnedObject {
 public:
  Children() = default;
  Children(const Children&) = delete;
  Children& operator=(const Children&) = delete;
  ~Children() override;
  void Adopt(pid_t pid);
  void Reap();

 private:
  std::vector<pid_t> pids_;
};

// The result of waitpid without blocking: nullopt while the child runs, else its exit status.
std::optional<int> PollExit(pid_t pid);

}  // namespace morivel::automation
