// Full-width to half-width mappings: the source normalisation table and the general width mapping.
#pragma once

#include <string>
#include <string_view>

namespace morivel::text {

// The ASCII form that source normalisation gives one Shift-JIS character (one or two bytes), or
// an empty view when the character has no entry and stands for itself. The view refers to static
// data. Besides the full-width Latin letters, digits and symbols, the table turns the Japanese
// punctuation that scripts use as syntax into its ASCII meaning: 、 is ",", 。 is ";", the corner
// brackets 「」｢｣ are double quotes, 『』 and ‘ are back quotes, ※ starts a comment like "'",
// × ÷ ≠ ≦ ≧ are the operators * / <> <= >=.
std::string_view half_width_source_entry(std::string_view sjis_char);

// The normalised form of one character: its table entry, or the character itself.
std::string to_half_width_source(std::string_view sjis_char);

// Applies the source normalisation to every character of a text.
std::string normalize_half_width(std::string_view sjis_text);

// The general full-width to half-width mapping that text commands and the number reader use.
// Coverage: the full-width forms of printable ASCII (U+FF01..U+FF5E, as far as code page 932 has
// them) become ASCII, ￥ becomes "\", the ideographic space a space; full-width katakana and the
// kana punctuation 。「」、・ー゛゜ become their half-width forms, a voiced or semi-voiced katakana
// splitting into the base letter and ﾞ or ﾟ (ガ -> ｶﾞ, パ -> ﾊﾟ, ヴ -> ｳﾞ). Katakana without a
// half-width form (ヮヰヱヵヶ), hiragana, kanji and everything else are copied unchanged.
std::string to_half_width(std::string_view sjis_text);

}  // namespace morivel::text
