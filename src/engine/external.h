// Words whose code lives outside the interpreter (functions of shared libraries) run through this.
#pragma once

#include "words/hash.h"

namespace morivel::engine {

class Interpreter;

class ExternalCall : public words::WordObject {
 public:
  // Runs with the word's arguments bound on the argument stack; leaves its result in それ.
  virtual void Call(Interpreter& in, words::THashNode& word) = 0;
};

}  // namespace morivel::engine
