// What the engine needs from the command library: registration, handlers and command names.
#pragma once

#include <string>
#include <vector>

#include "words/state.h"

namespace morivel::engine {

class Interpreter;

// A command handler pops its arguments from the interpreter, does the work, sets それ.
using Handler = void (*)(Interpreter&);

class Vocabulary {
 public:
  virtual ~Vocabulary() = default;
  // Registers every command, system variable and constant and the main window word.
  virtual void Register(words::TMorvBase& state) const = 0;
  // The handler of a command id; nullptr for an empty slot. Throws std::out_of_range beyond
  // the table.
  virtual Handler HandlerFor(int id) const = 0;
  // The full (unstripped) names registered under a command key, or nullptr.
  virtual const std::vector<std::string>* FullNames(const std::string& key) const = 0;
};

}  // namespace morivel::engine
