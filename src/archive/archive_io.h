// Reading and writing archives: formats by name, packing through libarchive or our LHA writer,
// and extraction that never writes outside its target folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::archive {

// The archive kinds a name can stand for, in the order the archiver interface knows them.
enum class Format { Lha, Zip, Cab, Arj, Tar, Tgz, Bz2, Rar, Bga, Yz1, Gca, Bel, SevenZip, None };

// The kind an archive's name gives, by its extension in any case. ".exe" and unknown
// extensions give None (their content decides, when anything does).
Format format_from_name(std::string_view name);

// The description text and the component an archiver of that kind needs, as the messages about
// missing components name them (Shift-JIS).
std::string format_description(Format format);
std::string format_component(Format format);

// A failure of the archive layer; the text is Shift-JIS and ready for the user.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- packing ----------------------------------------------------------------------------------

struct PackItem {
  std::filesystem::path source;  // a file or folder on disk
  std::string stored_name;       // Shift-JIS, "/" between folders, never absolute
  bool is_folder = false;
};

// Writes `items` into a new archive of `format` (Lha, Zip, Tar, Tgz, Bz2 or SevenZip). Throws
// ArchiveError for other formats or any failure; a partly written archive is removed.
void pack(const std::filesystem::path& archive_path, Format format,
          const std::vector<PackItem>& items);

// ---- extraction -------------------------------------------------------------------------------

struct ExtractOptions {
  bool keep_paths = true;        // false: every file lands in the target folder itself
  bool always_overwrite = true;  // false: an existing newer file is kept
  std::uint64_t max_total_bytes = std::uint64_t{16} << 30;  // what all entries may unpack to
  std::uint64_t max_entries = 1000000;
};

struct ExtractReport {
  std::size_t files_written = 0;
  std::vector<std::string> refused;  // entries not written: names leaving the target, links...
};

// Extracts every entry of the archive file (any format libarchive reads) into `target`, which
// is created when missing. Entries whose names are absolute, climb with "..", pass through a
// link, or are links or devices themselves are refused and listed in the report. Throws
// ArchiveError when the archive cannot be read or the size limits are passed; what was written
// before stays.
ExtractReport extract(const std::filesystem::path& archive_path,
                      const std::filesystem::path& target, const ExtractOptions& options);
// The same for archive bytes held in memory.
ExtractReport extract_memory(std::string_view archive_bytes, const std::filesystem::path& target,
                             const ExtractOptions& options);

// The Shift-JIS name of an entry as an archive gave it: UTF-8 names are converted, anything else
// is taken as Shift-JIS bytes.
std::string entry_name_as_sjis(std::string_view raw);

}  // namespace morivel::archive
