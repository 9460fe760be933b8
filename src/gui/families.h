// The command families that need the window system register their handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::gui {

void register_part_commands(commands::HandlerTable& table);
void register_drawing(commands::HandlerTable& table);
void register_images(commands::HandlerTable& table);
void register_image_effects(commands::HandlerTable& table);
void register_image_part_drawing(commands::HandlerTable& table);
void register_kind_commands(commands::HandlerTable& table);
void register_form_settings(commands::HandlerTable& table);
void register_printing(commands::HandlerTable& table);

}  // namespace morivel::gui
