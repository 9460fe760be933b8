// Gathers the handlers of every command family into the handler table.
#include "commands/families.h"

namespace morivel::commands {

void register_all_handlers(HandlerTable& table) {
  register_display(table);
  register_program_flow(table);
}

}  // namespace morivel::commands
