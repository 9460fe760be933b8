// The network command families register their handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::net {

void register_net_handlers(commands::HandlerTable& table);

void register_tcp_commands(commands::HandlerTable& table);
void register_host_info(commands::HandlerTable& table);
void register_http_commands(commands::HandlerTable& table);
void register_ftp_commands(commands::HandlerTable& table);
void register_mail_commands(commands::HandlerTable& table);

}  // namespace morivel::net
