// The local network's domains, computers and shares, as far as this machine can see them: mDNS
// through the Avahi daemon and SMB shares through Samba's client library. Every failure (no
// daemon, no network, no library) is an empty list, never an error.
#pragma once

#include <string>
#include <vector>

#include "commands/registry.h"

namespace morivel::archive {

// Browse domains ("local" first when the daemon answers). UTF-8.
std::vector<std::string> network_domains();
// Computer names announced in a domain. UTF-8.
std::vector<std::string> network_computers(const std::string& domain);
// The shares a computer offers, as "\\computer\share". UTF-8.
std::vector<std::string> network_shares(const std::string& computer);

// Why a listing cannot use one of its libraries, one line each; empty when every library it was
// built for is installed and complete.
std::string network_library_problems();

void register_network_commands(commands::HandlerTable& table);

}  // namespace morivel::archive
