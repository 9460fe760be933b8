// INI text: sections of key=value lines, looked up without regard to ASCII case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::formats {

class IniFile {
 public:
  // Any text reads: lines outside a section belong to the unnamed one, malformed lines are kept
  // out of the lookup.
  static IniFile Parse(std::string_view text);
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;

 private:
  struct Entry {
    std::string section, key, value;
  };
  std::vector<Entry> entries_;
};

}  // namespace morivel::formats
