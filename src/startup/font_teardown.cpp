#include "startup/font_teardown.h"

#include <dlfcn.h>

namespace morivel::startup {

namespace {

using ConfigCreate = void* (*)();
using ConfigSetCurrent = int (*)(void*);
using ConfigDestroy = void (*)(void*);

}  // namespace

CheapFontTeardown::~CheapFontTeardown() {
  // Only the copy the toolkit already loaded: this must never be what brings fontconfig in.
  void* library = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
  if (!library) return;
  auto create = reinterpret_cast<ConfigCreate>(dlsym(library, "FcConfigCreate"));
  auto set_current = reinterpret_cast<ConfigSetCurrent>(dlsym(library, "FcConfigSetCurrent"));
  auto destroy = reinterpret_cast<ConfigDestroy>(dlsym(library, "FcConfigDestroy"));
  if (create && set_current && destroy) {
    if (void* empty = create()) {
      // The current configuration holds its own reference from here; ours goes.
      set_current(empty);
      destroy(empty);
    }
  }
  dlclose(library);
}

}  // namespace morivel::startup
