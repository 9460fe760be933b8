// Each command family registers its handlers by command id.
#pragma once

#include "commands/registry.h"

namespace morivel::commands {

void register_display(HandlerTable& table);
void register_program_flow(HandlerTable& table);
void register_word_commands(HandlerTable& table);
void register_numbers(HandlerTable& table);
void register_dates(HandlerTable& table);
void register_patterns(HandlerTable& table);
void register_strings(HandlerTable& table);
void register_regex(HandlerTable& table);
void register_kana(HandlerTable& table);
void register_tables(HandlerTable& table);
void register_xml(HandlerTable& table);
void register_packing(HandlerTable& table);
void register_files(HandlerTable& table);
void register_bytes(HandlerTable& table);
void register_dialogs(HandlerTable& table);

}  // namespace morivel::commands
