#include "automation/ini_document.h"

#include "text/sjis.h"

namespace morivel::automation {

namespace {

constexpr std::size_t npos = std::string::npos;

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    std::size_t len = text::char_len(a, i);
    if (len == 1) {
      auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
      if (fold(a[i]) != fold(b[i])) return false;
    } else if (a.substr(i, len) != b.substr(i, len)) {
      return false;
    }
    i += len;
  }
  return true;
}

// "[name]" gives the name; any other line nothing.
std::optional<std::string_view> header_name(std::string_view line) {
  std::string_view t = text::trim_view(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
  return text::trim_view(t.substr(1, t.size() - 2));
}

// The key of a "key=value" line, or nothing.
std::optional<std::string_view> key_of(std::string_view line, std::size_t& equals) {
  equals = text::find_at_char_start(line, "=");
  if (equals == npos) return std::nullopt;
  std::string_view key = text::trim_view(line.substr(0, equals));
  if (key.empty() || key.front() == ';') return std::nullopt;
  return key;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    doc.lines_.emplace_back(line);
    start = end + 1;
  }
  return doc;
}

std::size_t IniDocument::FindSection(std::string_view section) const {
  std::string_view wanted = text::trim_view(section);
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (auto name = header_name(lines_[i]); name && same_name(*name, wanted)) return i;
  return npos;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && !header_name(lines_[i])) ++i;
  return i;
}

std::optional<std::string> IniDocument::Read(std::string_view section, std::string_view key) const {
  std::size_t header = FindSection(section);
  if (header == npos) return std::nullopt;
  std::string_view wanted = text::trim_view(key);
  for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    std::size_t equals = 0;
    auto name = key_of(lines_[i], equals);
    if (!name || !same_name(*name, wanted)) continue;
    std::string_view value = text::trim_view(std::string_view(lines_[i]).substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  std::string line = std::string(text::trim_view(key)) + "=" + std::string(value);
  std::size_t header = FindSection(section);
  if (header == npos) {
    lines_.push_back("[" + std::string(text::trim_view(section)) + "]");
    lines_.push_back(line);
    return;
  }
  std::size_t end = SectionEnd(header);
  std::string_view wanted = text::trim_view(key);
  for (std::size_t i = header + 1; i < end; ++i) {
    std::size_t equals = 0;
    if (auto name = key_of(lines_[i], equals); name && same_name(*name, wanted)) {
      lines_[i] = line;
      return;
    }
  }
  // After the section's last entry, before the blank lines that part it from the next one.
  std::size_t at = end;
  while (at > header + 1 && text::trim_view(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
}

std::string IniDocument::Text() const {
  std::string out;
  for (const std::string& line : lines_) out += line + "\r\n";
  return out;
}

}  // namespace morivel::automation
