// The command families of this library, each registering its handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::automation {

void RegisterLaunchCommands(commands::HandlerTable& table);
void RegisterWindowCommands(commands::HandlerTable& table);
void RegisterShutdownCommands(commands::HandlerTable& table);
void RegisterRegistryCommands(commands::HandlerTable& table);
void RegisterIniCommands(commands::HandlerTable& table);
void RegisterAssociationCommands(commands::HandlerTable& table);
void RegisterExchangeCommands(commands::HandlerTable& table);

}  // namespace morivel::automation
