// Perl-style regular-expression operations (m//, s///, tr///, split) on Shift-JIS text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::text {

// A malformed operation or pattern, or a search that ran over its work limit. The text is the
// library's own (ASCII) message.
class RegexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Results larger than this are refused with a RegexError.
inline constexpr std::size_t kMaxRegexResultBytes = std::size_t{64} << 20;

// "m/pattern/flags" (any punctuation as delimiter, or a bracket pair). Flags: g (every match),
// i, m (^ and $ at line ends), s (. matches line ends), x, and k, o (accepted, no effect).
// Gives the whole match followed by each group, for the first match or, with g, for every one.
std::vector<std::string> regex_match(std::string_view operation, std::string_view text);

// Splits at the matches of "m/pattern/flags", at most `max_pieces` pieces; the groups of each
// match come between the pieces, empty pieces at the end are dropped.
std::vector<std::string> regex_split(std::string_view operation, std::string_view text,
                                     std::size_t max_pieces);

struct RegexEdit {
  std::string text;
  std::size_t count = 0;
};

// "s/pattern/replacement/flags": the first match, or every one with g, replaced. The
// replacement knows $& $0 $1.. ${n} $` $' \1..\9 \n \r \t and backslash escapes. count is the
// number of replacements.
RegexEdit regex_substitute(std::string_view operation, std::string_view text);

// "tr/from/to/flags" over characters (double-byte ones included), with ranges a-z and the
// flags c (complement), d (delete), s (squeeze). count is the number of characters found.
RegexEdit regex_translate(std::string_view operation, std::string_view text);

}  // namespace morivel::text
