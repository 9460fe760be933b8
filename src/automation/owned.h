// Per-run objects of this library, kept in the interpreter state's owned list until the run ends.
#pragma once

#include <memory>

#include "words/state.h"

namespace morivel::automation {

template <class T>
T& OwnedOf(words::TMorvBase& state) {
  for (const auto& owned : state.OwnedObjects)
    if (auto* object = dynamic_cast<T*>(owned.get())) return *object;
  state.OwnedObjects.push_back(std::make_unique<T>());
  return static_cast<T&>(*state.OwnedObjects.back());
}

}  // namespace morivel::automation
