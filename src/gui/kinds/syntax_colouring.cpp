// Colouring of script text in the syntax-colouring editor: comments, literals, labels, numbers.
#include "gui/kinds/syntax_colouring.h"

#include <QColor>

#include <string>
#include <unordered_map>
#include <vector>

#include "gui/qt_text.h"
#include "text/half_width.h"

namespace morivel::gui {

namespace {

// The ASCII character a source character stands for outside literals ('"' for 「, '`' for 『,
// '\'' for ※ ...), as the preprocessor normalises it; 0 when it stands for no single one.
// Colouring runs on the GUI thread only, so the cache needs no lock.
char normal_of(QChar c) {
  const char16_t u = c.unicode();
  if (u < 0x80) return static_cast<char>(u);
  static std::unordered_map<char16_t, char> cache;
  if (auto found = cache.find(u); found != cache.end()) return found->second;
  const std::string sjis = from_qstring(QString(c));
  const std::string_view entry = text::half_width_source_entry(sjis);
  const char normal = entry.size() == 1 ? entry[0] : 0;
  cache.emplace(u, normal);
  return normal;
}

// What the preprocessor has open at a point of the text. A line comment never outlives its
// line; everything else is carried from line to line in the block state.
struct ScanState {
  bool brace = false, block = false, line = false;
  bool dq = false, bq = false, heredoc = false;
  bool heredoc_to_break = false;  // "@@" ended its line: the next line is the literal
  char16_t terminator = 0;

  bool InLiteral() const { return dq || bq || heredoc; }
  bool InComment() const { return brace || line || block; }

  int Encode() const {
    return (brace ? 1 : 0) | (block ? 2 : 0) | (dq ? 4 : 0) | (bq ? 8 : 0) | (heredoc ? 16 : 0) |
           (heredoc_to_break ? 32 : 0) | (static_cast<int>(terminator) << 8);
  }
  static ScanState Decode(int state) {
    ScanState s;
    if (state < 0) return s;
    s.brace = state & 1;
    s.block = state & 2;
    s.dq = state & 4;
    s.bq = state & 8;
    s.heredoc = state & 16;
    s.heredoc_to_break = state & 32;
    s.terminator = static_cast<char16_t>(state >> 8);
    return s;
  }
};

enum class Role : unsigned char { Code, Comment, String };

class LineScanner {
 public:
  LineScanner(const QString& line, ScanState state)
      : line_(line), s_(state), roles_(static_cast<std::size_t>(line.size()), Role::Code) {}

  void Run() {
    if (s_.heredoc && s_.heredoc_to_break) {
      Mark(0, static_cast<int>(line_.size()), Role::String);
      s_ = ScanState{};
      return;
    }
    bool opened_to_break = false;
    for (int i = 0; i < line_.size();) {
      const ScanState before = s_;
      int width = Step(i, opened_to_break);
      Role role = Role::Code;
      if (before.InComment() || s_.InComment())
        role = Role::Comment;
      else if (before.InLiteral() || s_.InLiteral() || doubled_back_quote_)
        role = Role::String;
      Mark(i, width, role);
      i += width;
    }
    s_.line = false;
    if (s_.heredoc && s_.heredoc_to_break && !opened_to_break) s_ = ScanState{};
  }

  const ScanState& State() const { return s_; }
  const std::vector<Role>& Roles() const { return roles_; }

 private:
  char NormalAt(int i) const { return i < line_.size() ? normal_of(line_[i]) : 0; }

  void Mark(int from, int width, Role role) {
    for (int k = from; k < from + width && k < line_.size(); ++k)
      roles_[static_cast<std::size_t>(k)] = role;
  }

  // One source character (two or three for the paired openers and closers); returns how many
  // characters it took.
  int Step(int i, bool& opened_to_break) {
    doubled_back_quote_ = false;
    if (s_.heredoc && !s_.heredoc_to_break) {
      if (line_[i].unicode() == s_.terminator) s_.heredoc = false;
      return 1;
    }
    const char c = normal_of(line_[i]);
    const bool free = !s_.InLiteral() && !s_.brace;  // where comment openers count
    switch (c) {
      case '"':
        if (!s_.InComment() && !s_.bq && !s_.heredoc) s_.dq = !s_.dq;
        return 1;
      case '\'':
        if (free) s_.line = true;
        return 1;
      case '*':
        if (free && NormalAt(i + 1) == '/') {
          s_.block = false;
          return 2;
        }
        return 1;
      case '/':
        if (free && NormalAt(i + 1) == '*') {
          s_.block = true;
          return 2;
        }
        if (free && NormalAt(i + 1) == '/') {
          s_.line = true;
          return 2;
        }
        return 1;
      case '@':
        if (s_.InLiteral() || s_.InComment() || NormalAt(i + 1) != '@') return 1;
        s_.heredoc = true;
        if (i + 2 >= line_.size()) {
          s_.heredoc_to_break = true;
          opened_to_break = true;
          return 2;
        }
        s_.terminator = line_[i + 2].unicode();
        return 3;
      case '\\':
        return s_.dq && i + 1 < line_.size() ? 2 : 1;
      case '`':
        if (s_.dq || s_.heredoc || s_.InComment()) return 1;
        if (NormalAt(i + 1) == '`') {
          doubled_back_quote_ = true;
          return 2;
        }
        s_.bq = !s_.bq;
        return 1;
      case '{':
      case '}':
        if (s_.InLiteral() || s_.line) return 1;
        s_.brace = c == '{';
        return 1;
      default:
        return 1;
    }
  }

  const QString& line_;
  ScanState s_;
  std::vector<Role> roles_;
  bool doubled_back_quote_ = false;
};

bool is_blank(QChar c) {
  return normal_of(c) == ' ' || c == QLatin1Char('\t');
}

// Where a label line's "*" stands (only blanks before it), or -1.
int label_star(const QString& line, const std::vector<Role>& roles) {
  for (int i = 0; i < line.size(); ++i) {
    if (roles[static_cast<std::size_t>(i)] != Role::Code) return -1;
    if (is_blank(line[i])) continue;
    return normal_of(line[i]) == '*' ? i : -1;
  }
  return -1;
}

bool is_hex_digit(QChar c) {
  const char a = normal_of(c);
  return (a >= '0' && a <= '9') || (a >= 'a' && a <= 'f') || (a >= 'A' && a <= 'F');
}

bool is_digit(QChar c) {
  const char a = normal_of(c);
  return a >= '0' && a <= '9';
}

}  // namespace

ScriptHighlighter::ScriptHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  comment_.setForeground(QColor(0, 128, 0));
  string_.setForeground(QColor(160, 0, 0));
  label_.setForeground(QColor(0, 0, 192));
  label_.setFontWeight(QFont::Bold);
  number_.setForeground(QColor(128, 0, 128));
}

void ScriptHighlighter::highlightBlock(const QString& line) {
  LineScanner scanner(line, ScanState::Decode(previousBlockState()));
  scanner.Run();
  setCurrentBlockState(scanner.State().Encode());
  const std::vector<Role>& roles = scanner.Roles();
  auto role_at = [&roles](int i) { return roles[static_cast<std::size_t>(i)]; };
  const int size = static_cast<int>(line.size());

  for (int i = 0; i < size;) {
    int end = i;
    while (end < size && role_at(end) == role_at(i)) ++end;
    if (role_at(i) == Role::Comment) setFormat(i, end - i, comment_);
    if (role_at(i) == Role::String) setFormat(i, end - i, string_);
    i = end;
  }

  if (int star = label_star(line, roles); star >= 0) {
    for (int i = star; i < size; ++i)
      if (role_at(i) == Role::Code) setFormat(i, 1, label_);
    return;
  }
  for (int i = 0; i < size;) {
    const bool hex = normal_of(line[i]) == '$' && i + 1 < size && is_hex_digit(line[i + 1]);
    const bool starts = role_at(i) == Role::Code && (hex || is_digit(line[i])) &&
                        (i == 0 || (!line[i - 1].isLetterOrNumber() && line[i - 1] != u'_'));
    if (!starts) {
      ++i;
      continue;
    }
    int end = i + 1;
    while (end < size && role_at(end) == Role::Code &&
           (hex ? is_hex_digit(line[end])
                : is_digit(line[end]) ||
                      (normal_of(line[end]) == '.' && end + 1 < size && is_digit(line[end + 1]))))
      ++end;
    setFormat(i, end - i, number_);
    i = end;
  }
}

}  // namespace morivel::gui
