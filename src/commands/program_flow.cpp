// Ending the program.
#include "commands/families.h"
#include "engine/interpreter.h"

namespace morivel::commands {
namespace {

void end_program(engine::Interpreter& in) {
  in.State().RunControl.ClearAll();
  in.Stop();
  in.GetHost().CloseMainWindow();
}

}  // namespace

void register_program_flow(HandlerTable& table) { table.Set(2, end_program); }

}  // namespace morivel::commands
