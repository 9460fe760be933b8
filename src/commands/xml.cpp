// Commands: simple XML and HTML documents.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_xml(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
