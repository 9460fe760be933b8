// The archive commands and the other peripheral commands register their handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::archive {

// 圧縮, 解凍, 自己解凍書庫作成.
void register_archive_commands(commands::HandlerTable& table);
// Network listings, ログる, メニューパス作成, 名義変更.
void register_peripheral_commands(commands::HandlerTable& table);

}  // namespace morivel::archive
