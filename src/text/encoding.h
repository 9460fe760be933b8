// Conversion between Shift-JIS (CP932) and the encodings of the outside world, through iconv.
#pragma once

#include <string>
#include <string_view>

namespace morivel::text {

// CP932 -> UTF-8. A byte sequence that is not valid CP932 becomes U+FFFD.
std::string to_utf8(std::string_view sjis);

// UTF-8 -> CP932. A character without a CP932 form, or an invalid UTF-8 byte, becomes "?".
std::string from_utf8(std::string_view utf8);

// CP932 <-> UTF-16 (host byte order), with the same replacements.
std::u16string to_utf16(std::string_view sjis);
std::string from_utf16(std::u16string_view utf16);

// Any iconv encoding to any other; `replacement` (in the target encoding) stands for what
// cannot be converted. Returns false in `ok` when the encoding names are unknown.
std::string convert(std::string_view input, const char* from, const char* to,
                    std::string_view replacement, bool* ok = nullptr);

// True when the bytes are valid UTF-8.
bool is_valid_utf8(std::string_view s);

// Literal texts of the program are written in UTF-8; this gives their Shift-JIS form.
inline std::string sjis(std::string_view utf8_literal) {
  return from_utf8(utf8_literal);
}

}  // namespace morivel::text
