// Commands: Japanese text conversion: width, case, kana, encodings, BASE64, mail headers.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {

void register_kana(HandlerTable& table) {
  (void)table;
}

}  // namespace morivel::commands
