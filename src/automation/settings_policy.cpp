#include "automation/settings_policy.h"

#include "commands/file_handles.h"
#include "commands/security.h"
#include "engine/interpreter.h"

namespace morivel::automation {

bool SettingsChangeRefused(engine::Interpreter& in, const std::filesystem::path& file,
                           const std::string& message) {
  std::error_code ec;
  return commands::CheckFileOperation(
      in, commands::script_path_of(std::filesystem::absolute(file, ec)), message);
}

int SecurityLevel(engine::Interpreter& in) {
  int& level = in.State().SecurityLevel;
  if (level == -1) level = commands::LoadSecurityLevel(in);
  return level;
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

}  // namespace morivel::automation
