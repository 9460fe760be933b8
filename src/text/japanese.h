// Width, case and kana conversions of Shift-JIS text, and the encodings Shift-JIS, EUC-JP, JIS.
#pragma once

#include <string>
#include <string_view>

namespace morivel::text {

// ---- width, case and kana -------------------------------------------------------------------

// Printable ASCII and half-width katakana to their full-width forms. A half-width katakana
// followed by a voiced or semi-voiced mark that it takes becomes one character (ｶﾞ -> ガ,
// ﾊﾟ -> パ, ｳﾞ -> ヴ). The backslash is left alone: it is the yen sign of the code page.
std::string to_full_width(std::string_view sjis_text);

// Full-width Latin letters, digits and the common ASCII symbols to ASCII, and half-width katakana
// to full width, each mark by itself (ｶﾞ -> カ゛). Everything else is copied.
std::string alnum_to_half_width(std::string_view sjis_text);

// Upper and lower case of ASCII and of the double-byte Latin, Greek, Cyrillic letters and Roman
// numerals. The byte length never changes.
std::string to_upper_case(std::string_view sjis_text);
std::string to_lower_case(std::string_view sjis_text);

// Katakana to hiragana and back (ァ..ン, ヽヾ); kana without a counterpart in the code page
// (ヴヵヶ) and half-width katakana are copied.
std::string to_hiragana(std::string_view sjis_text);
std::string to_katakana(std::string_view sjis_text);

// ---- Japanese encodings --------------------------------------------------------------------

// What detect_japanese_code finds; the numbers are visible to scripts.
enum JapaneseCode : int {
  kCodeAscii = 0,
  kCodeBinary = 1,
  kCodeJis = 2,
  kCodeOldJis = 3,
  kCodeEuc = 4,
  kCodeSjis = 5,
  kCodeEucOrSjis = 6,
};

// Guesses the encoding of a text from its escapes and high bytes.
JapaneseCode detect_japanese_code(std::string_view text);

// "EUC" and "JIS" (any case) name those codes, any other name Shift-JIS.
JapaneseCode japanese_code_from_name(std::string_view name);

// Converts between the codes; a source that is ASCII, binary, undecided or equal to the target
// gives the text unchanged. JIS output enters double-byte mode with ESC $ B and leaves it with
// ESC ( J.
std::string convert_japanese_code(std::string_view text, JapaneseCode from, JapaneseCode to);

// The single steps, for callers that know the source code.
std::string sjis_to_jis(std::string_view sjis_text);
std::string sjis_to_euc(std::string_view sjis_text);
std::string jis_to_sjis(std::string_view jis_text);
std::string euc_to_sjis(std::string_view euc_text);

}  // namespace morivel::text
