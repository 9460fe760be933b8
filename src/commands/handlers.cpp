// Gathers the handlers of every command family into the handler table.
#include "commands/families.h"

namespace morivel::commands {

void register_all_handlers(HandlerTable& table) {
  register_display(table);
  register_program_flow(table);
  register_word_commands(table);
  register_numbers(table);
  register_dates(table);
  register_patterns(table);
  register_strings(table);
  register_regex(table);
  register_kana(table);
  register_tables(table);
  register_xml(table);
  register_packing(table);
  register_files(table);
  register_bytes(table);
  register_dialogs(table);
}

}  // namespace morivel::commands
