// 表示 and 言う: text to the main window and message boxes, through the host.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {
namespace {

void show(engine::Interpreter& in) {
  in.GetHost().ShowText(in.PopArgumentValue());
}

void say(engine::Interpreter& in) {
  in.GetHost().ShowMessage(in.PopArgumentValue());
}

}  // namespace

void register_display(HandlerTable& table) {
  table.Set(0, show);
  table.Set(12, say);
}

}  // namespace morivel::commands
