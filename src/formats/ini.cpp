// INI reading.
#include "formats/ini.h"

#include "text/sjis.h"

namespace morivel::formats {

namespace {

// ASCII letters only: Shift-JIS trail bytes must never be folded.
bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); i += text::char_len(a, i)) {
    std::size_t len = text::char_len(a, i);
    if (len == 2) {
      if (a.substr(i, 2) != b.substr(i, 2)) return false;
      continue;
    }
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  std::string section;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line = text::trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = text::trim(std::string_view(line).substr(1, line.size() - 2));
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    ini.entries_.push_back({section, text::trim(std::string_view(line).substr(0, eq)),
                            text::trim(std::string_view(line).substr(eq + 1))});
  }
  return ini;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  for (const Entry& e : entries_)
    if (equal_ignoring_case(e.section, section) && equal_ignoring_case(e.key, key)) return e.value;
  return std::nullopt;
}

}  // namespace morivel::formats
