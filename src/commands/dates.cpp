// Commands: dates, times and waiting.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_dates(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
