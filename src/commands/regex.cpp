// Commands: regular-expression commands.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_regex(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
