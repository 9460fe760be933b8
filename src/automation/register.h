// Programs, other windows, settings stores and inter-program exchange.
#pragma once

#include "commands/registry.h"

namespace morivel::automation {

void register_automation_handlers(commands::HandlerTable& table);

}  // namespace morivel::automation
