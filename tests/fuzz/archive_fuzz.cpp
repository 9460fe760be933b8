// Fuzz target: arbitrary bytes as a packed-file archive and as a program image with data appended.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "startup/archive.h"
#include "words/errors.h"

namespace {

namespace fs = std::filesystem;
using morivel::startup::TFileMixReader;

const fs::path& scratch_file() {
  static const fs::path path =
      fs::temp_directory_path() / ("archive_fuzz_" + std::to_string(::getpid()) + ".dat");
  return path;
}

void read_as_archive(const std::string& bytes) {
  if (!morivel::startup::WriteWholeFile(scratch_file(), bytes)) return;
  try {
    TFileMixReader reader(scratch_file());
    for (const std::string& name : reader.Names()) {
      std::optional<std::string> data = reader.Extract(name);
      // Whatever an entry says, it never yields more than the file holds.
      if (data && data->size() > bytes.size()) __builtin_trap();
    }
    (void)reader.Extract("MORIVEL.MRV");
  } catch (const morivel::GeneralError&) {
    // A malformed archive is refused with its message.
  }
}

void read_as_program(const std::string& bytes) {
  std::istringstream in(bytes);
  (void)morivel::startup::ElfImageEnd(in, bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  read_as_archive(bytes);
  read_as_program(bytes);
  // Inputs starting like an ELF header reach the section and segment tables more often.
  read_as_program(
      "\x7F"
      "ELF" +
      bytes);
  return 0;
}
