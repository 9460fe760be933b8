// 表示: text to the main window, through the host.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {
namespace {

void show(engine::Interpreter& in) {
  in.GetHost().ShowText(in.PopArgumentValue());
}

}  // namespace

void register_display(HandlerTable& table) {
  table.Set(0, show);
}

}  // namespace morivel::commands
