// Extraction of arbitrary bytes as an archive: any format libarchive knows, into a scratch folder
// that must be the only place written.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "archive/archive_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  static const fs::path scratch = [] {
    std::string pattern = (fs::temp_directory_path() / "morivel-extract-fuzz-XXXXXX").string();
    return fs::path(::mkdtemp(pattern.data()));
  }();
  morivel::archive::ExtractOptions options;
  options.max_total_bytes = 4u << 20;
  options.max_entries = 1000;
  try {
    morivel::archive::extract_memory(std::string_view(reinterpret_cast<const char*>(data), size),
                                     scratch / "t", options);
  } catch (const morivel::archive::ArchiveError&) {
  }
  std::error_code ec;
  fs::remove_all(scratch / "t", ec);
  return 0;
}
