// Literal readers over the program text: each finds where a literal or group ends, then copies it.
#include "expr/literal.h"

#include <string_view>

#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::expr {
namespace {

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

bool IsYenSign(const char* p) {
  return static_cast<unsigned char>(p[0]) == 0x81 && static_cast<unsigned char>(p[1]) == 0x8F;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

const char* EndOfDoubleQuoted(const char* p) {
  for (const char* q = p + 1; *q;) {
    if (*q == '"') return q + 1;
    if (*q == '\\') ++q;  // the escaped character, whole, is stepped over below
    q += text::char_len(q);
  }
  throw GeneralError(text::sjis("対応するカッコ \" または 」 がありません。"));
}

const char* EndOfBackQuoted(const char* p) {
  for (const char* q = p + 1; *q;) {
    if (*q == '`') {
      if (q[1] != '`') return q + 1;
      q += 2;
      continue;
    }
    q += text::char_len(q);
  }
  throw GeneralError(text::sjis("対応するカッコ ` または 』 がありません。"));
}

// The terminator is compared before escapes, so "\" can itself be a terminator.
const char* EndOfHereDocument(const char* p) {
  const char* q = p + 2;
  const std::string_view terminator(q, text::char_len(q));
  q += terminator.size();
  while (!terminator.empty() && *q) {
    const std::size_t len = text::char_len(q);
    if (std::string_view(q, len) == terminator) return q + len;
    const bool escape = *q == '\\' || (len == 2 && IsYenSign(q));
    q += len;
    if (escape) q += text::char_len(q);
  }
  throw GeneralError(text::sjis("対応するカッコ") + std::string(terminator) +
                     text::sjis("がありません。"));
}

// The end of the literal starting exactly at `p`, or nullptr when none starts there.
const char* EndOfLiteral(const char* p) {
  if (*p == '"') return EndOfDoubleQuoted(p);
  if (*p == '`') return EndOfBackQuoted(p);
  if (p[0] == '@' && p[1] == '@') return EndOfHereDocument(p);
  return nullptr;
}

// `p` is at "("; returns the position after the matching ")".
const char* EndOfGroup(const char* p) {
  int depth = 0;
  for (const char* q = p; *q;) {
    if (const char* end = EndOfLiteral(q)) {
      q = end;
      continue;
    }
    if (*q == '(') {
      ++depth;
    } else if (*q == ')' && --depth == 0) {
      return q + 1;
    }
    q += text::char_len(q);
  }
  throw GeneralError(text::sjis("\")\"が対応していません。"));
}

// `p` is at the line break after a continuation "&": skips it and the next line's prefix.
const char* SkipLineBreakAndPrefix(const char* p) {
  p += (p[0] == '\r' && p[1] == '\n') ? 2 : 1;
  const char* digits_end = p;
  while (IsDigit(*digits_end)) ++digits_end;
  if (digits_end != p && *digits_end == ':') return digits_end + 1;
  return p;
}

bool EndsStatement(char c) {
  return c == '\0' || c == '\r' || c == '\n' || c == ';';
}

// Walks the statement value at `q` to its end: `piece` gets each stretch of text as it stands,
// `join` each continuation "&" whose line break and prefix are stepped over.
template <typename Piece, typename Join>
const char* WalkStatementValue(const char* q, Piece piece, Join join) {
  while (!EndsStatement(*q)) {
    const char* end = EndOfLiteral(q);
    if (!end && *q == '(') end = EndOfGroup(q);
    if (end) {
      piece(q, end);
      q = end;
    } else if (*q == '&' && (q[1] == '\r' || q[1] == '\n')) {
      join();
      q = SkipLineBreakAndPrefix(q + 1);
    } else {
      const char* next = q + text::char_len(q);
      piece(q, next);
      q = next;
    }
  }
  return q;
}

}  // namespace

std::string ReadStringToken(const char*& p) {
  const char* start = SkipBlanks(p);
  const char* end = EndOfLiteral(start);
  if (!end) return {};
  p = end;
  return std::string(start, end);
}

std::string ReadGroup(const char*& p) {
  const char* start = SkipBlanks(p);
  if (*start != '(') return {};
  const char* end = EndOfGroup(start);
  p = end;
  return std::string(start + 1, end - 1);
}

bool WholeInsideGroup(const char* text) {
  int depth = 0;
  for (const char* q = text; *q;) {
    const char* end = nullptr;
    try {
      end = EndOfLiteral(q);
    } catch (const GeneralError&) {
      return false;  // a literal open to the end could end at the ")" after it
    }
    if (end) {
      q = end;
      continue;
    }
    if (*q == '(') {
      ++depth;
    } else if (*q == ')' && --depth < 0) {
      return false;
    }
    if (q[1] == '\0' && text::is_lead_byte(static_cast<unsigned char>(*q))) return false;
    q += text::char_len(q);
  }
  return depth == 0;
}

std::string ReadStatementValue(const char*& p) {
  std::string value;
  p = WalkStatementValue(
      p, [&](const char* from, const char* to) { value.append(from, to); },
      [&] { value.push_back('&'); });
  return value;
}

std::string ReadBlockText(const char*& p, bool& parenthesised) {
  const char* start = SkipBlanks(p);
  parenthesised = *start == '(';
  if (parenthesised) return ReadGroup(p);
  p = start;
  return ReadStatementValue(p);
}

BlockExtent FindBlockExtent(const char* p) {
  BlockExtent extent;
  const char* start = SkipBlanks(p);
  extent.parenthesised = *start == '(';
  if (extent.parenthesised) {
    extent.resume = EndOfGroup(start);
    extent.begin = start + 1;
    extent.end = extent.resume - 1;
    return extent;
  }
  extent.begin = start;
  extent.end = extent.resume = WalkStatementValue(
      start, [](const char*, const char*) {}, [&] { extent.exact = false; });
  return extent;
}

}  // namespace morivel::expr
