// Wildcard patterns: the rich matcher (classes, repetition, alternatives, pick-ups) and the plain
// "*"/"?" matcher, both over Shift-JIS text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::text {

// What a pattern matched at the start of a text.
struct WildcardPrefixMatch {
  std::size_t end = 0;               // byte offset just past the matched part
  std::vector<std::string> pickups;  // the texts between "(" and ")", in order
};

// A compiled pattern. The language:
//   ?        any one character          #       one character starting with a digit
//   *        any run, shortest first    ( )     pick up the text in between
//   \n \t    CR LF, TAB                 \c      the character c itself
//   [abc] [a-z] [!a-z]       one character in (or, with "!", outside) the class
//   [*a-z] [+a-z]            zero / one or more characters of the class; the run stops before
//                            the character that follows the class in the pattern
//   [=ab|abc]                the first alternative that follows (no retrying of the others)
// Double-byte characters are single characters everywhere; class ranges compare character
// codes (lead byte * 256 + trail byte). Characters in the text are never special.
// Errors (a bad escape inside [ ], a wildcard right after [* ] or [+ ], a search that grows
// beyond its step budget) are thrown as morivel::GeneralError with a Shift-JIS message.
class WildcardPattern {
 public:
  explicit WildcardPattern(std::string_view pattern);

  // True when the pattern matches the whole text.
  bool MatchWhole(std::string_view text) const;
  // The match at the start of the text, or nothing when the pattern does not match there.
  std::optional<WildcardPrefixMatch> MatchPrefix(std::string_view text) const;

  bool Empty() const { return elements_.empty(); }

  struct Range {
    unsigned low;
    unsigned high;
  };
  enum class Kind { Char, Question, Asterisk, Digit, Class, PickupFrom, PickupTo };
  enum class Repeat { One, ZeroOrMore, OneOrMore, Alternatives };
  struct Element {
    Kind kind = Kind::Char;
    std::string text;  // Char: the character's bytes
    bool negated = false;
    Repeat repeat = Repeat::One;
    std::vector<Range> ranges;
    std::vector<std::string> alternatives;
  };

 private:
  std::vector<Element> elements_;
};

// Shorthand for WildcardPattern(pattern).MatchWhole(text).
bool wildcard_match_whole(std::string_view text, std::string_view pattern);

// The plain matcher: "*" any run (also empty), "?" any one character, everything else itself;
// the whole text must match. Case-sensitive; never throws and runs in O(text * mask).
bool easy_match(std::string_view text, std::string_view mask);
// The same after upper-casing the ASCII letters of both.
bool easy_match_no_case(std::string_view text, std::string_view mask);

}  // namespace morivel::text
