// The bridge command families register their handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::bridges {

void register_dll(commands::HandlerTable& table);
void register_database(commands::HandlerTable& table);
void register_browser(commands::HandlerTable& table);
void register_agent(commands::HandlerTable& table);

// Every bridge family: shared libraries, databases, the browser part's commands and the agent.
void register_bridge_handlers(commands::HandlerTable& table);

}  // namespace morivel::bridges
