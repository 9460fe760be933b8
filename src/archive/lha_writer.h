// LHA archives written by ourselves: level-2 headers, -lh5- (LZSS over an 8 KiB window with
// static Huffman blocks) and -lh0- for data that does not shrink. No library writes this format.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::archive {

// CRC-16 as LHA uses it (reflected polynomial 0xA001, initial value 0).
std::uint16_t lha_crc16(std::uint16_t crc, std::string_view bytes);

// The -lh5- bit stream for `data`: blocks of Huffman-coded literals, match lengths and offsets.
std::string lh5_compress(std::string_view data);

// One archive being written. Names are stored as given (Shift-JIS bytes, "/" between folders).
class LhaWriter {
 public:
  // Throws std::runtime_error when the file cannot be created.
  explicit LhaWriter(const std::filesystem::path& archive_path);

  // Adds a file's bytes under `name`; `mtime` is a Unix time. Throws std::runtime_error when the
  // data is too large for the format's 32-bit sizes or the write fails.
  void AddFile(const std::string& name, std::string_view data, std::int64_t mtime);
  void AddFolder(const std::string& name, std::int64_t mtime);
  // Writes the end mark and closes the file; throws when that fails.
  void Finish();

 private:
  void WriteEntry(const std::string& method, const std::string& name, std::string_view stored,
                  std::uint32_t original_size, std::uint16_t crc, std::int64_t mtime,
                  bool is_folder);

  std::ofstream out_;
  bool finished_ = false;
};

}  // namespace morivel::archive
