// The preprocessing pass: one walk over the source with six open/closed states.
#include "source/preprocess.h"

#include <string>

#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"

namespace morivel::source {
namespace {

constexpr std::size_t kQuoteLength = 20;  // bytes of source quoted by an unclosed-construct error

// One source character: its bytes as written and its normalised (ASCII) form.
struct Char {
  std::string_view written;
  std::string_view normal;

  bool IsLineBreak() const { return written[0] == '\r' || written[0] == '\n'; }
  bool Is(char ascii) const { return normal.size() == 1 && normal[0] == ascii; }
};

// Where a construct was opened: its line and the source offset just after its opening.
struct Opening {
  int line = 0;
  std::size_t after = 0;
};

class Preprocessor {
 public:
  explicit Preprocessor(std::string_view source) : src_(source.substr(0, source.find('\0'))) {
    out_.reserve(src_.size() + src_.size() / 4 + 16);
  }

  std::string Run() {
    while (pos_ < src_.size()) {
      const Char c = Take();
      if (heredoc_ && ClosesHeredoc(c)) {
        heredoc_ = false;
        if (!c.IsLineBreak()) {
          out_.append(c.written);
          continue;
        }
      }
      Handle(c);
    }
    ThrowIfUnclosed();
    return std::move(out_);
  }

 private:
  Char At(std::size_t pos) const {
    const std::string_view written = src_.substr(pos, text::char_len(src_, pos));
    const std::string_view entry = text::half_width_source_entry(written);
    return {written, entry.empty() ? written : entry};
  }

  Char Take() {
    const Char c = At(pos_);
    pos_ += c.written.size();
    return c;
  }

  bool NextIs(char ascii) const { return pos_ < src_.size() && At(pos_).Is(ascii); }

  bool InLiteral() const { return dq_ || bq_ || heredoc_; }
  bool InComment() const { return brace_ || line_comment_ || block_comment_; }

  bool ClosesHeredoc(const Char& c) const {
    return terminator_is_break_ ? c.IsLineBreak() : c.written == terminator_;
  }

  // Literals and brace comments keep characters as written; everything else is normalised.
  void Write(const Char& c) {
    if (InComment()) return;
    out_.append(InLiteral() ? c.written : c.normal);
  }

  void Handle(const Char& c) {
    if (c.IsLineBreak()) return LineBreak(c);
    if (c.Is('"')) return DoubleQuote(c);
    if (c.Is('\'')) return Apostrophe(c);
    if (c.Is('*')) return Star(c);
    if (c.Is('/')) return Slash(c);
    if (c.Is('@')) return AtSign(c);
    if (c.Is('\\')) return Backslash(c);
    if (c.Is('`')) return BackQuote(c);
    if (c.Is('{') || c.Is('}')) return Brace(c);
    Write(c);
  }

  // Files may end lines with CR LF, a lone LF or a lone CR; each is one line break, so that line
  // numbers stay true whatever system wrote the file, and the output always uses CR LF because
  // the executor and the line-number lookup read prefixes after CR LF.
  void LineBreak(const Char& c) {
    if (c.written[0] == '\r' && pos_ < src_.size() && src_[pos_] == '\n') ++pos_;
    out_.append("\r\n");
    if (!InLiteral()) {
      out_.append(std::to_string(line_));
      out_.push_back(':');
    }
    line_comment_ = false;
    ++line_;
  }

  void DoubleQuote(const Char& c) {
    if (InComment() || bq_ || heredoc_) return Write(c);
    dq_ = !dq_;
    if (dq_) dq_open_ = {line_, pos_};
    out_.push_back('"');
  }

  void Apostrophe(const Char& c) {
    if (InLiteral() || brace_) return Write(c);
    line_comment_ = true;
  }

  void Star(const Char& c) {
    if (InLiteral() || brace_) return Write(c);
    if (NextIs('/')) {
      Take();
      block_comment_ = false;
      return;
    }
    Write(c);
  }

  void Slash(const Char& c) {
    if (InLiteral() || brace_) return Write(c);
    if (NextIs('*')) {
      Take();
      block_comment_ = true;
    } else if (NextIs('/')) {
      Take();
      line_comment_ = true;
    } else {
      Write(c);
    }
  }

  void AtSign(const Char& c) {
    if (InLiteral() || InComment() || !NextIs('@')) return Write(c);
    Take();
    OpenHeredoc();
  }

  // The character after "@@" ends the here-document. A line break there makes the next line
  // break the end; it is still handled as a line break so that the count stays true.
  void OpenHeredoc() {
    heredoc_ = true;
    heredoc_open_ = {line_, pos_};
    terminator_ = {};
    terminator_is_break_ = false;
    out_.append("@@");
    if (pos_ >= src_.size()) return;
    const Char t = Take();
    if (t.IsLineBreak()) {
      terminator_is_break_ = true;
      LineBreak(t);
    } else {
      terminator_ = t.written;
      out_.append(t.written);
    }
    heredoc_open_.after = pos_;
  }

  void Backslash(const Char& c) {
    if (InComment()) return;
    Write(c);
    // An escaped character never ends a double-quoted string; a line break is not escaped so
    // that it is still counted.
    if (dq_ && pos_ < src_.size() && !At(pos_).IsLineBreak()) out_.append(Take().written);
  }

  void BackQuote(const Char& c) {
    if (dq_ || heredoc_ || InComment()) return Write(c);
    // A doubled back quote stands for one inside a raw string and is written in ASCII, so that
    // the literal reader pairs it the same way.
    if (NextIs('`')) {
      Take();
      out_.append("``");
      return;
    }
    bq_ = !bq_;
    if (bq_) bq_open_ = {line_, pos_};
    out_.push_back('`');
  }

  void Brace(const Char& c) {
    if (InLiteral() || line_comment_) return Write(c);
    if (c.Is('}')) {
      brace_ = false;
    } else if (!brace_) {
      brace_ = true;
      brace_open_ = {line_, pos_};
    }
  }

  std::string Near(const Opening& o) const {
    return std::string(src_.substr(o.after, kQuoteLength)) + text::sjis("』の近く");
  }

  void ThrowIfUnclosed() const {
    if (brace_)
      throw PreprocessError(brace_open_.line,
                            text::sjis("{ }が対応していません。『") + Near(brace_open_));
    if (dq_)
      throw PreprocessError(dq_open_.line,
                            text::sjis("「」または\"\"が対応していません。『") + Near(dq_open_));
    if (bq_)
      throw PreprocessError(bq_open_.line,
                            text::sjis("『』または''''が対応していません。『") + Near(bq_open_));
    if (heredoc_) {
      const std::string x(terminator_);
      throw PreprocessError(
          heredoc_open_.line,
          "@@" + x + "..." + x + text::sjis("が対応していません。『") + Near(heredoc_open_));
    }
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  std::string out_;
  int line_ = 1;

  bool brace_ = false;
  bool line_comment_ = false;
  bool block_comment_ = false;
  bool dq_ = false;
  bool bq_ = false;
  bool heredoc_ = false;
  std::string_view terminator_;
  bool terminator_is_break_ = false;

  Opening brace_open_, dq_open_, bq_open_, heredoc_open_;
};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string Preprocess(std::string_view source) {
  return Preprocessor(source).Run();
}

int LineNumberAt(const char* p, int current_line) {
  if (!p) return current_line;
  while (*p && *p != '\r' && *p != '\n') ++p;
  while (*p == '\r' || *p == '\n') ++p;
  constexpr int kMaxDigits = 9;  // more would not fit an int; such a prefix is not a line number
  int number = 0;
  int digits = 0;
  for (; is_digit(*p); ++p) {
    if (++digits > kMaxDigits) return current_line;
    number = number * 10 + (*p - '0');
  }
  if (digits == 0 || *p != ':') return current_line;
  return number;
}

}  // namespace morivel::source
