// Gathers the handlers of every command family into the handler table.
#include "commands/registry.h"

namespace morivel::commands {

void register_all_handlers(HandlerTable& table) {
  (void)table;  // command families add their registration calls here
}

}  // namespace morivel::commands
