#include "automation/register.h"

#include "automation/families.h"

namespace morivel::automation {

void register_automation_handlers(commands::HandlerTable& table) {
  RegisterLaunchCommands(table);
  RegisterWindowCommands(table);
  RegisterShutdownCommands(table);
  RegisterRegistryCommands(table);
  RegisterIniCommands(table);
  RegisterAssociationCommands(table);
  RegisterExchangeCommands(table);
}

}  // namespace morivel::automation
