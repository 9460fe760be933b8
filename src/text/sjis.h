// Shift-JIS (code page 932) character handling: lead bytes, stepping, positions, okurigana.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::text {

// True for the first byte of a double-byte character in code page 932.
constexpr bool is_lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Byte length (1 or 2) of the character starting at pos. A lead byte at the very end, or one
// followed by NUL, counts as a single byte so that callers never step past the end.
inline std::size_t char_len(std::string_view s, std::size_t pos) {
  if (pos >= s.size()) return 0;
  if (is_lead_byte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size() && s[pos + 1] != '\0')
    return 2;
  return 1;
}

// Same as char_len for a NUL-terminated buffer.
inline std::size_t char_len(const char* p) {
  if (*p == '\0') return 0;
  if (is_lead_byte(static_cast<unsigned char>(*p)) && p[1] != '\0') return 2;
  return 1;
}

// The double-byte code (lead << 8 | trail) of the character at pos, or the single byte.
inline unsigned code_at(std::string_view s, std::size_t pos) {
  if (char_len(s, pos) == 2)
    return (static_cast<unsigned char>(s[pos]) << 8) | static_cast<unsigned char>(s[pos + 1]);
  return pos < s.size() ? static_cast<unsigned char>(s[pos]) : 0;
}

// Hiragana あ..ん as the okurigana rule sees them (the small ぁ below does not count).
constexpr bool is_okurigana_hiragana(unsigned code) {
  return code >= 0x82A0 && code <= 0x833E;
}

// Number of characters in s.
std::size_t char_count(std::string_view s);

// Byte offset of the character with 0-based index `index`; s.size() when past the end.
std::size_t byte_offset_of_char(std::string_view s, std::size_t index);

// 0-based character index of the character containing byte offset `offset`.
std::size_t char_index_of_byte(std::string_view s, std::size_t offset);

// The first character start at or after byte offset `from` (the text's size past its end).
std::size_t char_start_at_or_after(std::string_view s, std::size_t from);

// True when byte offset `offset` is the start of a character (not a trail byte).
bool is_char_start(std::string_view s, std::size_t offset);

// Finds `needle` in `s` from byte offset `from`, matching only at character starts.
std::size_t find_at_char_start(std::string_view s, std::string_view needle, std::size_t from = 0);

// Whether `s` ends with `tail` and the tail starts at a character start (never inside a
// double-byte character).
bool ends_with_chars(std::string_view s, std::string_view tail);

// Drops runs of hiragana that follow a non-hiragana double-byte character: 読み込む -> 読込.
// A name that would become empty is returned unchanged.
std::string strip_okurigana(std::string_view name);

// Whether strip_okurigana(name) differs from name, found without building the stripped form.
bool okurigana_changes(std::string_view name);

// The lines of a text, split at CR LF, CR or LF (never trail bytes). A break at the very end adds
// no empty line; the empty text has no lines.
std::vector<std::string_view> split_lines(std::string_view s);

// Removes leading and trailing bytes <= ' ' (blanks and control characters).
std::string_view trim_view(std::string_view s);
std::string trim(std::string_view s);

}  // namespace morivel::text
