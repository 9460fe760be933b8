// Every bridge family in one call, for the front ends' registration.
#include "bridges/families.h"

namespace morivel::bridges {

void register_bridge_handlers(commands::HandlerTable& table) {
  register_dll(table);
  register_database(table);
  register_browser(table);
  register_agent(table);
}

}  // namespace morivel::bridges
