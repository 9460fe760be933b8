// Creation and orderly destruction of the interpreter state.
#include "words/state.h"

#include <chrono>
#include <system_error>

#include "text/encoding.h"

namespace morivel::words {

TMorvBase::TMorvBase()
    : PendingSwitchValue(text::sjis("~未定義")),
      Random(static_cast<std::uint32_t>(
          std::chrono::high_resolution_clock::now().time_since_epoch().count())) {}

TMorvBase::~TMorvBase() {
  // そ shares the object of the last used part; it must let go before the parts go.
  if (Sys.So) Sys.So->Obj.reset();
  Words.Clear();
  Arguments.Clear();
  Parts.Clear();
  RunControl.ClearAll();
  OwnedObjects.clear();
  for (const auto& path : temporary_files_) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

}  // namespace morivel::words
