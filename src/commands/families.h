// Each command family registers its handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::commands {

void register_display(HandlerTable& table);
void register_program_flow(HandlerTable& table);

}  // namespace morivel::commands
