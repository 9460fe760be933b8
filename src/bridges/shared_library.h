// Shared libraries loaded by scripts and calls into them that survive a faulting callee.
#pragma once

#include <ffi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morivel::bridges {

// One loaded module; unloaded when the last holder lets go.
class SharedLibrary {
 public:
  // Opens `native_name` as the dynamic loader would; nullptr when it cannot be loaded.
  static std::shared_ptr<SharedLibrary> Open(const std::string& native_name);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The exported function of that exact name, or nullptr.
  void (*Find(const std::string& symbol) const)();

 private:
  explicit SharedLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The native file names tried for a library name a script gives, in order: the name as written
// (also beside the script when it has no folder), then for "x.dll" the Linux forms "libx.so" and
// "x.so" beside the script and on the library path.
std::vector<std::string> library_candidates(const std::string& native_name,
                                            const std::string& native_script_folder);

// How one argument or result travels in a foreign call.
enum class CType { Void, Pointer, UInt16, UInt32, Int32 };

// A prepared foreign call of one signature.
class ForeignSignature {
 public:
  ForeignSignature(CType result, std::vector<CType> parameters);
  ForeignSignature(const ForeignSignature&) = delete;
  ForeignSignature& operator=(const ForeignSignature&) = delete;

  // One argument's storage; the member that matches the parameter's type is read.
  union Slot {
    void* pointer;
    std::uint16_t u16;
    std::uint32_t u32;
    std::int32_t i32;
  };
  union Result {
    ffi_arg integer;
    void* pointer;
  };
  // Calls `function`; nullopt when the callee raised SIGSEGV, SIGBUS or SIGFPE (the run goes on).
  std::optional<Result> Call(void (*function)(), std::vector<Slot>& arguments) const;

 private:
  std::vector<ffi_type*> parameter_types_;
  ffi_type* result_type_;
  mutable ffi_cif cif_{};
};

// The zero-terminated string a callee returned; nullopt when reading it faults (a function
// declared with a text result that returns something else).
std::optional<std::string> read_returned_text(const void* address);

}  // namespace morivel::bridges
