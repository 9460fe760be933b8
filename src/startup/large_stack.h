// Running the program on a native stack large enough for deep script recursion.
#pragma once

#include <cstddef>
#include <functional>

namespace morivel::startup {

// The stack the program runs on: deep recursion of scripts (function-form calls thousands of
// levels deep) needs far more than the 8 MB a process starts with. Only touched pages use memory.
inline constexpr std::size_t kProgramStackBytes = std::size_t{1} << 30;

// Runs `body` on a thread of its own with a stack of `stack_bytes` and returns its result; the
// calling thread only waits. Runs `body` directly when no such thread can be made.
int RunOnLargeStack(const std::function<int()>& body, std::size_t stack_bytes = kProgramStackBytes);

}  // namespace morivel::startup
