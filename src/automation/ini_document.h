// An INI file as lines, edited in place: sections and keys compare without regard to ASCII case,
// values are read trimmed with one enclosing pair of quotes removed, writes keep every other line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::automation {

class IniDocument {
 public:
  static IniDocument Parse(std::string_view bytes);
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  void Write(std::string_view section, std::string_view key, std::string_view value);
  // The lines joined by CR LF, the last one ended too.
  std::string Text() const;

 private:
  // The line of the section header, or npos.
  std::size_t FindSection(std::string_view section) const;
  // The end of the section starting at `header`: the next header or the end.
  std::size_t SectionEnd(std::size_t header) const;
  std::vector<std::string> lines_;
};

}  // namespace morivel::automation
