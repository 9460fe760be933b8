// Commands: string commands and character tests.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_strings(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
