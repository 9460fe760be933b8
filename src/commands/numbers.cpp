// Commands: arithmetic, mathematical functions and random numbers.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_numbers(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
