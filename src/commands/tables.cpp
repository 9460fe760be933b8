// Commands: array and table commands.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_tables(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
