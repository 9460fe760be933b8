// What the engine asks of the part layer: reading and writing part properties.
#pragma once

#include <string>

#include "expr/evaluator.h"
#include "words/hash.h"

namespace morivel::engine {

class Interpreter;

class PartAccess {
 public:
  virtual ~PartAccess() = default;
  // part の property, read inside an expression; `property` as the script wrote it (a literal
  // already expanded).
  virtual expr::Value ReadProperty(Interpreter& in, words::THashNode& part,
                                   const std::string& property) = 0;
  // part の property は value; both as written, the value not yet evaluated.
  virtual void WriteProperty(Interpreter& in, words::THashNode& part, const std::string& property,
                             const std::string& raw_value) = 0;
  // The part's own value, read as a plain term or assigned with part は value.
  virtual expr::Value ReadMainValue(Interpreter& in, words::THashNode& part) = 0;
  virtual void WriteMainValue(Interpreter& in, words::THashNode& part,
                              const std::string& value) = 0;
};

}  // namespace morivel::engine
