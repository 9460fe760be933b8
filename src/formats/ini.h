// INI documents: sections of key=value lines. One type serves every command that reads or writes
// settings files, so all of them read alike and rewrite files byte for byte but for the one
// entry they change.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::formats {

// Sections and keys compare without regard to ASCII case (Shift-JIS trail bytes are never
// folded); values are read trimmed, with one enclosing pair of quotes removed. Lines starting with
// ";" are comments. Every line keeps its own line end, so Parse(x).Text() is x.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view bytes);
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  // Replaces the key's line in place, or adds it after the section's last entry, or adds the
  // section at the end.
  void Write(std::string_view section, std::string_view key, std::string_view value);
  std::string Text() const;

 private:
  struct Line {
    std::string text;
    std::string end;  // "\r\n", "\n", "\r", or "" for a last line without one
  };
  std::size_t FindSection(std::string_view section) const;
  std::size_t SectionEnd(std::size_t header) const;
  void Insert(std::size_t at, std::string text);
  // The line end new lines get: the first one the document uses, else CR LF.
  std::string NewLineEnd() const;
  std::vector<Line> lines_;
};

// The document in the file; a missing file reads as an empty one. Nothing when it cannot be read.
std::optional<IniDocument> ReadIniFile(const std::filesystem::path& path);

// Reads the file (missing: empty), lets `edit` change the document and replaces the file whole
// (written beside it, then renamed over it), holding an exclusive lock on the file the whole
// time, so that two programs editing different keys of one file at once both keep their change.
// False when the file cannot be read, locked or written; the file is then as it was.
bool UpdateIniFile(const std::filesystem::path& path,
                   const std::function<void(IniDocument&)>& edit);

}  // namespace morivel::formats
