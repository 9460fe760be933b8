// Optional libraries opened at their first use instead of with the program: a run that never
// plays music or browses the network does not pay for relocating their dependency trees.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace morivel::platform {

// One shared library opened by its versioned soname. The library stays mapped for the rest of the
// process even after this object is gone: code of it may still run on its own threads, or be
// reached through callbacks and handlers it installed, so unmapping it is never safe.
class OptionalLibrary {
 public:
  explicit OptionalLibrary(std::string soname);

  // Looks `name` up as a function of the library. A name that is not there leaves `function`
  // null and is kept for Problem().
  template <typename Function>
  void Resolve(const char* name, Function& function) {
    function = reinterpret_cast<Function>(Symbol(name));
  }

  // Empty when the library opened and every name asked for was found; otherwise a line saying
  // which library could not be opened, or which of its functions are missing.
  std::string Problem() const;
  bool Usable() const { return handle_ && missing_.empty(); }

 private:
  struct Close {
    void operator()(void* handle) const;
  };

  void* Symbol(const char* name);

  std::string soname_;
  std::unique_ptr<void, Close> handle_;
  std::string open_error_;
  std::vector<std::string> missing_;
};

// Whether `soname` is listed in MORIVEL_WITHOUT_LIBRARIES (sonames separated by spaces, commas
// or colons): such a library counts as not installed, so that a run can be checked as it
// behaves on a machine that lacks it.
bool library_withheld(const std::string& soname);

// The function table of one library, loaded once for the run on the first call of Get().
// `Api` is a struct of function pointers with `static constexpr const char* kSoname` and
// `void Resolve(OptionalLibrary&)` that resolves each of its members.
template <typename Api>
class LazyLibrary {
 public:
  // The table, or null when the library or one of its functions is missing.
  static const Api* Get() {
    const Loaded& loaded = Once();
    return loaded.usable ? &loaded.api : nullptr;
  }
  // Why Get() is null; empty when it is not.
  static std::string Problem() { return Once().library.Problem(); }

 private:
  struct Loaded {
    OptionalLibrary library{Api::kSoname};
    Api api{};
    bool usable = false;
    Loaded() {
      if (library.Usable()) api.Resolve(library);
      usable = library.Usable();
    }
  };
  static const Loaded& Once() {
    static const Loaded loaded;
    return loaded;
  }
};

}  // namespace morivel::platform
