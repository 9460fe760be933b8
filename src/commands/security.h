// The security policy every writing, deleting or system-changing command consults first.
#pragma once

#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::commands {

// True when the operation on `target` (a Shift-JIS path, "\" or "/" separated) is refused; the
// caller then skips it silently. May ask the user with `message`.
bool CheckFileOperation(engine::Interpreter& in, const std::string& target,
                        const std::string& message);

// The level the policy file gives for the running script: 0 low, 1 middle, 2 high.
int LoadSecurityLevel(engine::Interpreter& in);

}  // namespace morivel::commands
