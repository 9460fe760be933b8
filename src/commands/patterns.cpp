// Commands: wildcard pattern commands.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_patterns(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
