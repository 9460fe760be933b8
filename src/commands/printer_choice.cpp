// The run's printer choice, kept with the run's other long-lived objects.
#include "commands/printer_choice.h"

#include <memory>
#include <utility>

#include "engine/interpreter.h"

namespace morivel::commands {

namespace {

class PrinterChoice : public words::OwnedObject {
 public:
  std::string name;
};

PrinterChoice& choice_of(engine::Interpreter& in) {
  auto& owned = in.State().OwnedObjects;
  for (const auto& object : owned)
    if (auto* choice = dynamic_cast<PrinterChoice*>(object.get())) return *choice;
  owned.push_back(std::make_unique<PrinterChoice>());
  return static_cast<PrinterChoice&>(*owned.back());
}

}  // namespace

const std::string& ChosenPrinter(engine::Interpreter& in) {
  return choice_of(in).name;
}

void SetChosenPrinter(engine::Interpreter& in, std::string name) {
  choice_of(in).name = std::move(name);
}

}  // namespace morivel::commands
