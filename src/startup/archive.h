// The packed-file archive ("fMix"): its scrambler, writer, reader and the ELF end-of-image search.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::startup {

// Key of the entries stored with flag 1 (Shift-JIS, 16 bytes).
const std::string& ArchiveKey();
// Key used by TCipher::Scramble when it is given an empty key (Shift-JIS, 17 bytes).
const std::string& DefaultCipherKey();

constexpr std::size_t kArchiveHeaderSize = 11;
constexpr std::size_t kArchiveEntrySize = 265;
constexpr std::size_t kArchiveNameField = 256;

// Key-stream scrambler: XOR with the key and with the top byte of an MT19937 output. Each
// instance starts from the same fixed seed, so scrambling twice restores the data.
class TCipher {
 public:
  TCipher();
  explicit TCipher(std::string data) : TCipher() { Data = std::move(data); }

  void Scramble(std::string_view key);

  std::string Data;

 private:
  std::uint32_t NextOutput();
  void Regenerate();

  std::array<std::uint32_t, 624> state_{};
  std::size_t index_ = 624;
};

// An archive name as stored: ASCII letters upper-cased (trail bytes untouched), cut to 255 bytes.
std::string UpperArchiveName(std::string_view name);

// The file name (Shift-JIS) under which a packed entry is copied into the temporary folder: the
// upper-cased name with ":", "\" and "/" made "__", so that it never leaves that folder.
std::string PackedCopyName(std::string_view name);

// A Shift-JIS path text as a native path: "\" separators become "/", the text becomes UTF-8.
std::filesystem::path NativePath(const std::string& sjis);

// Builds an archive from pending lines "source path=name=flag" (Shift-JIS texts).
class TFileMixWriter {
 public:
  void AddFile(const std::string& source_path, const std::string& name, int flag);
  // False on any failure (unreadable source, bad flag, too many entries); a partly written file
  // may stay behind.
  bool SaveToFile(const std::filesystem::path& archive_path) const;

  std::vector<std::string> Lines;
};

// Reads an archive file. The constructor throws morivel::GeneralError when the file cannot be
// opened or its header or directory is not an archive's.
class TFileMixReader {
 public:
  struct Entry {
    std::string Name;  // upper-cased as stored
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
    std::uint8_t Flag = 0;
  };

  explicit TFileMixReader(const std::filesystem::path& archive_path);

  bool Contains(std::string_view name) const { return Find(UpperArchiveName(name)) != nullptr; }
  // The stored bytes, unscrambled; nothing when the name is missing or the data lies past the end.
  std::optional<std::string> Extract(std::string_view name);
  bool ExtractToFile(std::string_view name, const std::filesystem::path& file);
  // Copies the whole archive file.
  bool SaveArchive(const std::filesystem::path& file) const;
  const std::filesystem::path& FileName() const { return file_name_; }
  // Every indexed name, bucket by bucket.
  std::vector<std::string> Names() const;

 private:
  static constexpr std::size_t kBuckets = 1024;

  const Entry* Find(const std::string& upper_name) const;
  void Index(Entry entry);

  std::filesystem::path file_name_;
  std::ifstream file_;
  std::uint64_t file_size_ = 0;
  std::array<std::vector<Entry>, kBuckets> buckets_;
};

// The archive bytes appended after the ELF image of `executable`: from the end of the image to
// the end of the file, when that part holds an "f". Nothing for other files.
std::optional<std::string> FindAppendedArchive(const std::filesystem::path& executable);

// Where the ELF image read from `in` (of `file_size` bytes) ends, from its headers: the largest
// end of the section header table, a section's or a segment's file data. Nothing for non-ELF.
std::optional<std::uint64_t> ElfImageEnd(std::istream& in, std::uint64_t file_size);

// Writes `output` as the bytes of `base` followed by those of `archive`, executable like `base`.
bool MakeArchiveExecutable(const std::filesystem::path& output, const std::filesystem::path& base,
                           const std::filesystem::path& archive);

// What the package check found in a program file: the archive saved as a temporary file and
// opened, and the script stored in it as source text (when there is one).
struct AppendedPackage {
  std::shared_ptr<TFileMixReader> Archive;
  std::filesystem::path TemporaryFile;
  std::optional<std::string> Script;  // the bytes of "morivel.mrv"
};

// Nothing when `executable` carries no archive or an empty one. Throws morivel::GeneralError
// with "ファイルの展開に失敗しました。" and the reason when the archive cannot be saved or read.
std::optional<AppendedPackage> OpenAppendedPackage(const std::filesystem::path& executable,
                                                   const std::filesystem::path& temp_folder);

// Saves `bytes` as a new file "TMP" + n + ".TMP" in `folder`, n the smallest free number from 1
// (created exclusively, so two programs never share one). Throws morivel::GeneralError when no
// file can be written.
std::filesystem::path SaveTemporaryArchive(const std::string& bytes,
                                           const std::filesystem::path& folder);

// Whole-file helpers shared by the packing code.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);
// Replaces the file whole (a temporary file beside it renamed over it), so that a failure
// leaves the old content as it was.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace morivel::startup
