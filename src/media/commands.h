// The sound commands register their handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::media {

// 演奏, 繰り返し演奏, 演奏停止, 演奏状態, MCI送信, BEEP, MML演奏.
void register_media_commands(commands::HandlerTable& table);

}  // namespace morivel::media
