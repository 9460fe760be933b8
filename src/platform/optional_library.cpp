// Opening optional libraries by soname and resolving their functions, with a readable account of
// whatever is missing.
#include "platform/optional_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

namespace morivel::platform {

bool library_withheld(const std::string& soname) {
  const char* list = std::getenv("MORIVEL_WITHOUT_LIBRARIES");
  if (!list) return false;
  std::string_view rest(list);
  while (!rest.empty()) {
    std::size_t end = rest.find_first_of(" ,:");
    std::string_view name = rest.substr(0, end);
    if (!name.empty() && name == soname) return true;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return false;
}

void OptionalLibrary::Close::operator()(void* handle) const {
  // Opened with RTLD_NODELETE: this only gives back our reference, the code stays mapped.
  ::dlclose(handle);
}

OptionalLibrary::OptionalLibrary(std::string soname) : soname_(std::move(soname)) {
  if (library_withheld(soname_)) {
    open_error_ = soname_ + " is withheld by MORIVEL_WITHOUT_LIBRARIES";
    return;
  }
  handle_.reset(::dlopen(soname_.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE));
  if (!handle_) {
    const char* why = ::dlerror();
    open_error_ = why ? why : soname_ + " cannot be opened";
  }
}

void* OptionalLibrary::Symbol(const char* name) {
  void* address = handle_ ? ::dlsym(handle_.get(), name) : nullptr;
  if (!address && handle_) missing_.emplace_back(name);
  return address;
}

std::string OptionalLibrary::Problem() const {
  if (!handle_) return open_error_;
  if (missing_.empty()) return {};
  std::string text = soname_ + " lacks";
  for (const std::string& name : missing_) text += " " + name;
  return text;
}

}  // namespace morivel::platform
