// Loading shared libraries by a script's name for them and guarded calls through libffi.
#include "bridges/shared_library.h"

#include <dlfcn.h>
#include <setjmp.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace morivel::bridges {

// ---- loading ----------------------------------------------------------------------------------

std::shared_ptr<SharedLibrary> SharedLibrary::Open(const std::string& native_name) {
  if (native_name.empty()) return nullptr;
  void* handle = ::dlopen(native_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::shared_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() {
  ::dlclose(handle_);
}

void (*SharedLibrary::Find(const std::string& symbol) const)() {
  void* address = ::dlsym(handle_, symbol.c_str());
  // dlsym hands out functions as data pointers; POSIX guarantees the round trip.
  return reinterpret_cast<void (*)()>(address);
}

namespace {

bool ends_with_dll(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == ".dll";
}

}  // namespace

std::vector<std::string> library_candidates(const std::string& native_name,
                                            const std::string& native_script_folder) {
  std::vector<std::string> names{native_name};
  const bool bare = native_name.find('/') == std::string::npos;
  if (bare && !native_script_folder.empty()) names.push_back(native_script_folder + native_name);
  if (!ends_with_dll(native_name)) return names;
  std::string stem = native_name.substr(0, native_name.size() - 4);
  std::string folder;
  if (std::size_t slash = stem.rfind('/'); slash != std::string::npos) {
    folder = stem.substr(0, slash + 1);
    stem.erase(0, slash + 1);
  }
  std::string lower = stem;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::vector<std::string> stems{stem};
  if (lower != stem) stems.push_back(lower);
  for (const std::string& s : stems) {
    for (const std::string& file : {"lib" + s + ".so", s + ".so"}) {
      if (!folder.empty()) {
        names.push_back(folder + file);
        continue;
      }
      if (!native_script_folder.empty()) names.push_back(native_script_folder + file);
      names.push_back(file);
    }
  }
  return names;
}

// ---- calling ----------------------------------------------------------------------------------

namespace {

ffi_type* ffi_type_of(CType type) {
  switch (type) {
    case CType::Void:
      return &ffi_type_void;
    case CType::Pointer:
      return &ffi_type_pointer;
    case CType::UInt16:
      return &ffi_type_uint16;
    case CType::UInt32:
      return &ffi_type_uint32;
    case CType::Int32:
      return &ffi_type_sint32;
  }
  return &ffi_type_void;
}

constexpr std::array<int, 3> kFaultSignals{SIGSEGV, SIGBUS, SIGFPE};

// The jump target of the call in progress on this thread. Volatile: around a call the compiler
// can see into (strlen), setting and clearing it would otherwise look like one dead store.
thread_local sigjmp_buf* volatile active_call = nullptr;

extern "C" void on_callee_fault(int signal_number) {
  if (active_call) siglongjmp(*active_call, signal_number);
  // A fault outside a guarded call is the program's own: let it end the program as usual.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Catches the fault signals for as long as it lives, then puts the earlier handlers back.
class FaultTrap {
 public:
  FaultTrap() {
    struct sigaction action {};
    action.sa_handler = on_callee_fault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    for (std::size_t k = 0; k < kFaultSignals.size(); ++k)
      ::sigaction(kFaultSignals[k], &action, &previous_[k]);
  }
  ~FaultTrap() {
    for (std::size_t k = 0; k < kFaultSignals.size(); ++k)
      ::sigaction(kFaultSignals[k], &previous_[k], nullptr);
  }
  FaultTrap(const FaultTrap&) = delete;
  FaultTrap& operator=(const FaultTrap&) = delete;

 private:
  std::array<struct sigaction, kFaultSignals.size()> previous_{};
};

// Kept apart so that nothing it touches changes between sigsetjmp and a jump back.
bool call_with_jump_back(ffi_cif* cif, void (*function)(), void* result, void** arguments) {
  sigjmp_buf target;
  if (sigsetjmp(target, 1) != 0) {
    active_call = nullptr;
    return false;
  }
  active_call = &target;
  ::ffi_call(cif, function, result, arguments);
  active_call = nullptr;
  return true;
}

bool length_with_jump_back(const char* text, std::size_t* length) {
  sigjmp_buf target;
  if (sigsetjmp(target, 1) != 0) {
    active_call = nullptr;
    return false;
  }
  active_call = &target;
  *length = std::strlen(text);
  active_call = nullptr;
  return true;
}

}  // namespace

std::optional<std::string> read_returned_text(const void* address) {
  if (!address) return std::string();
  const auto* text = static_cast<const char*>(address);
  std::size_t length = 0;
  {
    FaultTrap trap;
    if (!length_with_jump_back(text, &length)) return std::nullopt;
  }
  return std::string(text, length);
}

ForeignSignature::ForeignSignature(CType result, std::vector<CType> parameters)
    : result_type_(ffi_type_of(result)) {
  for (CType type : parameters) parameter_types_.push_back(ffi_type_of(type));
  if (::ffi_prep_cif(&cif_, FFI_DEFAULT_ABI, static_cast<unsigned>(parameter_types_.size()),
                     result_type_, parameter_types_.data()) != FFI_OK)
    throw std::runtime_error("ffi_prep_cif");
}

std::optional<ForeignSignature::Result> ForeignSignature::Call(void (*function)(),
                                                               std::vector<Slot>& arguments) const {
  std::vector<void*> addresses;
  addresses.reserve(arguments.size());
  for (Slot& slot : arguments) addresses.push_back(&slot);
  Result result{};
  FaultTrap trap;
  if (!call_with_jump_back(&cif_, function, &result, addresses.data())) return std::nullopt;
  return result;
}

}  // namespace morivel::bridges
