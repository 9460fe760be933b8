// The label scan: a walk over preprocessed text that skips literals and defines "*name" lines.
#include "source/labels.h"

#include <memory>
#include <utility>

#include "expr/literal.h"
#include "source/preprocess.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::source {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsBreak(char c) {
  return c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool StartsLiteral(const char* p) {
  return *p == '"' || *p == '`' || (p[0] == '@' && p[1] == '@');
}

// The 1-based line of `p`, counted from the line breaks before it. Every source line break is
// one break in the preprocessed text, also inside literals, so the count is the script's line.
// Only errors need it, so its cost does not matter.
int LineAt(const char* text, const char* p) {
  int line = 1;
  for (const char* q = text; q < p && *q;) {
    if (IsBreak(*q)) {
      ++line;
      q += (q[0] == '\r' && q[1] == '\n') ? 2 : 1;
    } else {
      q += text::char_len(q);
    }
  }
  return line;
}

// A label's "*" stands at the start of its line: only blanks, and before them the line's "N:"
// prefix, may precede it.
bool StartsLine(const char* text, const char* star) {
  const char* q = star;
  while (q > text && IsBlank(q[-1])) --q;
  if (q == text) return true;
  if (q[-1] == ':') {
    --q;
    while (q > text && IsDigit(q[-1])) --q;
  }
  return q > text && IsBreak(q[-1]);
}

struct LabelLine {
  std::string name;
  std::string argument_template;
};

// "name" or "name(template)..."; what follows the closing parenthesis is dropped.
LabelLine SplitLabelLine(std::string_view line) {
  const std::size_t open = text::find_at_char_start(line, "(");
  if (open == std::string_view::npos) return {text::trim(line), {}};
  const std::string_view inside = line.substr(open + 1);
  const std::size_t close = text::find_at_char_start(inside, ")");
  return {text::trim(line.substr(0, open)), text::trim(inside.substr(0, close))};
}

// Where the body of a label whose line ends at `eol` starts: after the line break and the next
// line's "N:" prefix, which names the label's own line N; the body is on line N + 1.
const char* BodyStart(const char* eol, int& body_line) {
  const char* p = eol;
  while (IsBreak(*p)) ++p;
  const char* digits_end = p;
  long long number = 0;
  for (; IsDigit(*digits_end); ++digits_end)
    if (number < 100000000) number = number * 10 + (*digits_end - '0');
  if (digits_end != p && *digits_end == ':') {
    body_line = static_cast<int>(number) + 1;
    return digits_end + 1;
  }
  return p;
}

void DefineLabel(const char* text, const char* star, std::string_view file_name,
                 words::THash& words) {
  const char* eol = star + 1;
  while (*eol && !IsBreak(*eol)) ++eol;
  LabelLine label = SplitLabelLine(std::string_view(star + 1, eol - (star + 1)));
  // A bare "*" names nothing that could be called or jumped to.
  if (label.name.empty()) return;
  if (words.Find(label.name)) {
    throw PreprocessError(LineAt(text, star) + 1,
                          text::sjis("ラベル\"") + label.name +
                              text::sjis("\"の定義に失敗しました。既に単語として使われています。"));
  }
  int body_line = 1;
  const char* body = BodyStart(eol, body_line);
  auto info = std::make_shared<LabelInfo>(body, std::string(file_name), body_line);
  words.Add(std::make_unique<words::THashNode>(std::move(label.name), true, std::move(info),
                                               words::kLabel, 0, std::string(), std::string(),
                                               std::move(label.argument_template)));
}

// Steps over the literal at `p`; an unclosed one is reported at its line.
const char* SkipLiteral(const char* text, const char* p) {
  const char* q = p;
  try {
    expr::ReadStringToken(q);
  } catch (const GeneralError& e) {
    throw PreprocessError(LineAt(text, p), e.what());
  }
  return q;
}

}  // namespace

void ScanLabels(const std::string& preprocessed, std::string_view file_name, words::THash& words) {
  const char* text = preprocessed.c_str();
  for (const char* p = text; *p;) {
    if (StartsLiteral(p)) {
      p = SkipLiteral(text, p);
    } else if (*p == '*') {
      if (StartsLine(text, p)) DefineLabel(text, p, file_name, words);
      ++p;
    } else {
      p += text::char_len(p);
    }
  }
}

}  // namespace morivel::source
