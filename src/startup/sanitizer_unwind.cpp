// Under AddressSanitizer only: the frames an exception unwinds keep their poisoned redzones when
// the stack in use is deeper than the sanitizer is willing to clean (64 MB; deep recursion of
// scripts reaches far more on the program's large stack). Uninstrumented code that later puts
// its locals there (the sanitizer's own runtime among it) then reports overflows that never
// happened. The build wraps the C++ runtime's throw and catch entry points and the sanitizer's
// own hook that instrumented code calls before leaving a frame for good (see src/CMakeLists.txt):
// a throw notes how deep the stack was, and each step of the unwinding, up to the catch, clears
// the shadow of the frames unwound so far, so that the sanitizer's hook itself finds them clean.
#if defined(MORIVEL_WRAP_UNWIND)

#include <sanitizer/asan_interface.h>

#include <cstddef>

extern "C" {
void* __real___cxa_allocate_exception(std::size_t size) noexcept;
void* __real___cxa_begin_catch(void* exception) noexcept;
[[noreturn]] void __real___cxa_rethrow();
void __real___asan_handle_no_return();
}

namespace {

// The deepest stack address a throw started from since the last catch; null when none.
thread_local char* deepest_throw = nullptr;

[[gnu::always_inline]] inline void note_throw_depth() {
  char* here = static_cast<char*>(__builtin_frame_address(0));
  if (!deepest_throw || here < deepest_throw) deepest_throw = here;
}

// Clears the frames between the deepest throw and `here`, which the unwinding has left.
[[gnu::always_inline]] inline void clear_unwound_frames(char* here) {
  if (deepest_throw && deepest_throw < here)
    __asan_unpoison_memory_region(deepest_throw, static_cast<std::size_t>(here - deepest_throw));
}

}  // namespace

extern "C" {

void* __wrap___cxa_allocate_exception(std::size_t size) noexcept {
  note_throw_depth();
  return __real___cxa_allocate_exception(size);
}

[[noreturn]] void __wrap___cxa_rethrow() {
  note_throw_depth();
  __real___cxa_rethrow();
}

[[gnu::noinline]] void __wrap___asan_handle_no_return() {
  char* here = static_cast<char*>(__builtin_frame_address(0));
  clear_unwound_frames(here);
  if (deepest_throw) deepest_throw = here;
  __real___asan_handle_no_return();
}

[[gnu::noinline]] void* __wrap___cxa_begin_catch(void* exception) noexcept {
  clear_unwound_frames(static_cast<char*>(__builtin_frame_address(0)));
  deepest_throw = nullptr;
  return __real___cxa_begin_catch(exception);
}

}  // extern "C"

#endif
