// Console front end: prints like the terminal host, with the window side still there.
#include "gui/console_host.h"

namespace morivel::gui {

void ConsoleHost::ShowText(const std::string& text) {
  engine::PrintLine(text);
}

void ConsoleHost::ShowMessage(const std::string& text) {
  engine::PrintLine(text);
}

engine::ErrorChoice ConsoleHost::ShowErrorDialog(const std::string& log) {
  engine::PrintErrorLog(log);
  ending_.Fail();
  return engine::ErrorChoice::Quit;
}

std::string ConsoleHost::ChooseButton(const std::string& message, const std::string& buttons) {
  return engine::ChooseButtonOnTerminal(message, buttons);
}

engine::DebugChoice ConsoleHost::ShowDebugDialog(const std::string& variables,
                                                 const std::string& stack,
                                                 const std::string& search) {
  engine::PrintDebugListing(variables, stack, search);
  return engine::DebugChoice::Continue;
}

}  // namespace morivel::gui
