// Shift-JIS character stepping and the okurigana rule.
#include "text/sjis.h"

#include <algorithm>

namespace morivel::text {

std::size_t char_count(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i += char_len(s, i)) ++n;
  return n;
}

std::size_t byte_offset_of_char(std::string_view s, std::size_t index) {
  std::size_t i = 0;
  for (std::size_t k = 0; k < index && i < s.size(); ++k) i += char_len(s, i);
  return i;
}

std::size_t char_index_of_byte(std::string_view s, std::size_t offset) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i += char_len(s, i), ++n) {
    if (i + char_len(s, i) > offset) return n;
  }
  return n;
}

std::size_t char_start_at_or_after(std::string_view s, std::size_t from) {
  const std::size_t limit = std::min(from, s.size());
  // A byte that is no lead byte ends a character, alone or as its trail byte: the walk starts
  // right after the last such byte before the limit, not at the text's start.
  std::size_t i = limit;
  while (i > 0 && is_lead_byte(static_cast<unsigned char>(s[i - 1]))) --i;
  while (i < limit) i += char_len(s, i);
  return i;
}

bool is_char_start(std::string_view s, std::size_t offset) {
  return char_start_at_or_after(s, offset) == offset;
}

bool ends_with_chars(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail &&
         is_char_start(s, s.size() - tail.size());
}

std::size_t find_at_char_start(std::string_view s, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= s.size() ? from : std::string_view::npos;
  for (std::size_t i = char_start_at_or_after(s, from); i + needle.size() <= s.size();
       i += char_len(s, i)) {
    if (s[i] == needle[0] && s.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string_view::npos;
}

bool okurigana_changes(std::string_view name) {
  // A run of okurigana is dropped only after a kept non-hiragana double-byte character, so a
  // name that loses anything keeps something: the all-dropped case never arises here.
  // Stepping is char_len's, spelled out: this runs for nearly every word looked up.
  const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
  const std::size_t size = name.size();
  bool after_kanji = false;
  for (std::size_t i = 0; i < size;) {
    if (!is_lead_byte(bytes[i]) || i + 1 >= size || bytes[i + 1] == 0) {
      ++i;
      continue;
    }
    const bool hiragana = is_okurigana_hiragana(bytes[i] << 8 | bytes[i + 1]);
    if (hiragana && after_kanji) return true;
    after_kanji = !hiragana;
    i += 2;
  }
  return false;
}

std::string strip_okurigana(std::string_view name) {
  // Most names (N, 表示, カウンタ) keep every character; building a copy char by char is wasted.
  if (!okurigana_changes(name)) return std::string(name);
  std::string out;
  out.reserve(name.size());
  bool after_kanji = false;  // the last double-byte character was not hiragana
  bool dropping = false;     // inside a run of okurigana
  for (std::size_t i = 0; i < name.size();) {
    std::size_t len = char_len(name, i);
    if (len == 1) {
      // A single-byte character neither starts nor ends a run: 文字コードをEUCに変換 drops に too.
      out.push_back(name[i]);
    } else {
      unsigned code = code_at(name, i);
      if (!is_okurigana_hiragana(code)) {
        dropping = false;
        after_kanji = true;
        out.append(name.substr(i, 2));
      } else if (dropping || after_kanji) {
        dropping = true;
        after_kanji = false;
      } else {
        out.append(name.substr(i, 2));
      }
    }
    i += len;
  }
  if (out.empty()) return std::string(name);
  return out;
}

std::vector<std::string_view> split_lines(std::string_view s) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t end = s.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = s.size();
    lines.push_back(s.substr(pos, end - pos));
    if (end == s.size()) break;
    pos = end + 1;
    if (s[end] == '\r' && pos < s.size() && s[pos] == '\n') ++pos;
  }
  return lines;
}

std::string_view trim_view(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string trim(std::string_view s) {
  return std::string(trim_view(s));
}

}  // namespace morivel::text
