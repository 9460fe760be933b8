// Readers of literal text in the program: string literals, parenthesised groups, statement values.
#pragma once

#include <string>

namespace morivel::expr {

// All readers work on a NUL-terminated preprocessed program text. They move `p` past what they
// read and leave it unchanged when they throw. Double-byte Shift-JIS characters are stepped over
// whole, so a trail byte that looks like "\", "(" or a quote never counts as one.

// The string literal at `p` (after spaces and TABs), delimiters included: a double-quoted string
// with "\" escapes, a back-quoted string in which two back quotes stand for one, or a
// here-document "@@" + terminator + text + terminator with "\" and "￥" escapes. Anything else
// gives the empty text and leaves `p` where it was. An unclosed literal throws GeneralError.
std::string ReadStringToken(const char*& p);

// The text inside the balanced parentheses at `p` (after spaces and TABs), without them; string
// literals inside are stepped over whole. Without a "(" the result is empty and `p` stays. An
// unmatched group throws GeneralError.
std::string ReadGroup(const char*& p);

// Whether ReadGroup, given "(" + `text` + ")", would read exactly `text` as the inside: every
// group `text` opens it closes, it closes none it did not open, every literal in it ends in it,
// and it does not end in a lone lead byte (which would pair with the ")").
bool WholeInsideGroup(const char* text);

// The raw text up to the end of the statement (CR, LF or ";", where `p` then stays). String
// literals and parenthesised groups are copied whole even when they hold those characters; an
// "&" right before a line break joins the next line: the break and that line's "N:" prefix are
// skipped, the "&" kept.
std::string ReadStatementValue(const char*& p);

// The text of a block: when "(" follows (after spaces and TABs), the inside of the balanced
// group, which may span lines and keeps their prefixes, and `parenthesised` is set; otherwise the
// rest of the statement as ReadStatementValue reads it.
std::string ReadBlockText(const char*& p, bool& parenthesised);

// Where the block ReadBlockText would read at `p` lies in the text itself: its text is
// [begin, end) when `exact` (false when a continuation line was joined), and reading goes on at
// `resume`, after the closing ")" of a parenthesised block.
struct BlockExtent {
  const char* begin = nullptr;
  const char* end = nullptr;
  const char* resume = nullptr;
  bool parenthesised = false;
  bool exact = true;
};
BlockExtent FindBlockExtent(const char* p);

}  // namespace morivel::expr
