// The security policy for the settings stores: the registry file, INI files and the desktop's
// association files all count as lying outside the script's folder unless they really are there.
#pragma once

#include <filesystem>
#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::automation {

// True when the change is refused (the caller then does nothing).
bool SettingsChangeRefused(engine::Interpreter& in, const std::filesystem::path& file,
                           const std::string& message);

// The level, decided from the policy file when still open: 0 low, 1 middle, 2 high.
int SecurityLevel(engine::Interpreter& in);

std::string Quoted(const std::string& s);

}  // namespace morivel::automation
