// The statement reader: tokens with their particles are pushed, the command word ends the
// statement.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "engine/interpreter.h"
#include "engine/lexer.h"
#include "engine/particles.h"
#include "engine/parts.h"
#include "engine/prepared.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "expr/quote.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::engine {

namespace {

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// The last character of a Shift-JIS text.
std::string_view last_char(std::string_view s) {
  std::size_t last = 0;
  for (std::size_t i = 0; i < s.size(); i += text::char_len(s, i)) last = i;
  return s.empty() ? s : s.substr(last);
}

bool statement_ends_at(const char* p) {
  skip_blanks(p);
  return *p == '\0' || *p == '\r' || *p == '\n' || *p == ';';
}

// A result goes back into the statement as program text; only a number that the reader takes
// whole stays bare (HEX's "0A" would read as 0), anything else is quoted.
bool reads_back_as_number(const expr::Value& v) {
  if (v.type_mark != "e" || v.text.empty()) return false;
  const char* p = v.text.c_str();
  read_number(p);
  return *p == '\0';
}

// Whether the okurigana-free form of `token` is one of `words`. Stripping keeps the first
// character, so most tokens are ruled out without building that form.
bool starts_loop_word(std::string_view token, std::initializer_list<const std::string*> words) {
  bool may_match = std::any_of(words.begin(), words.end(), [&](const std::string* w) {
    return token.substr(0, 2) == std::string_view(*w).substr(0, 2);
  });
  if (!may_match) return false;
  std::string key = text::strip_okurigana(token);
  return std::any_of(words.begin(), words.end(), [&](const std::string* w) { return key == *w; });
}

bool names_command(const words::THashNode* w) {
  return w && (w->Kind == words::kCommand || w->Kind == words::kDllFunction);
}

}  // namespace

// Reads tokens of one statement; a friend of the interpreter so it can reach the run state.
class StatementReader {
 public:
  explicit StatementReader(Interpreter& in) : in_(in), p_(in.State().Position) {}

  void Step();
  // Continues a token with "&" pieces, then its particle.
  std::string AmpersandChain(std::string token);

 private:
  void StringToken();
  void NumberToken();
  void GroupToken();
  void ElementToken();
  void WordToken();
  std::size_t AccessKeyLength(const std::string& word) const;
  std::size_t assignment_key_length(const std::string& word) const;
  void QuestionMark();
  std::string ParticleAfterValue();
  std::size_t ParticleAtStartOf(std::string_view rest, const char* after_rest) const;
  bool LaterCommandTakes(const char* from, std::string_view particle) const;
  bool CommandTakes(std::string_view word, std::string_view particle) const;
  // Reads a word at p_ and splits it at its particle; p_ ends after the particle.
  std::pair<std::string, std::string> ReadSplitWord();
  std::string ReadElementKey(bool second);
  std::string ContinueExpression(std::string expression);
  std::string ExtendAccess(std::string token);
  bool IsLiteralStart() const { return *p_ == '"' || *p_ == '`' || (p_[0] == '@' && p_[1] == '@'); }

  Interpreter& in_;
  const char*& p_;
};

void StatementReader::Step() {
  // A "," (or 、) right before a line break continues the statement on the next line; the
  // token analysis may already have stepped over it.
  bool comma_before = in_.comma_before_break_;
  in_.comma_before_break_ = false;
  while (is_separator(*p_)) comma_before = *p_++ == ',';
  switch (*p_) {
    case '\0':
      in_.FinishStatement();
      return;
    case '\r':
    case '\n': {
      // The statement finishes while the pointer is still on its own line, so that its errors
      // name that line; a statement that moved the pointer (a jump, a call) keeps its place.
      const char* at_break = p_;
      if (comma_before)
        in_.SpoilRecording();  // the line-end handling in between is not recorded
      else
        in_.FinishStatement();
      if (p_ != at_break) return;
      in_.HandleLineEnd();
      in_.ProcessLineEnd();
      return;
    }
    case '#':
      in_.SpoilRecording();
      return ElementToken();
    case '(':
      in_.SpoilRecording();
      return GroupToken();
    case '*':
      while (*p_ && *p_ != '\r' && *p_ != '\n') p_ += text::char_len(p_);
      return;
    case ';':
      ++p_;
      in_.FinishStatement();
      return;
    case '?':
      in_.SpoilRecording();
      return QuestionMark();
    case '\\': {
      ++p_;
      std::string token = "\\" + read_number(p_);
      in_.RecordToken(token);
      in_.State().Arguments.Push(std::move(token));
      return;
    }
    default:
      break;
  }
  if (IsLiteralStart()) {
    in_.SpoilRecording();
    return StringToken();
  }
  bool sign = *p_ == '-' || *p_ == '+';
  bool number = *p_ == '$' || is_digit(*p_) || (sign && (is_digit(p_[1]) || p_[1] == '$'));
  if (!number && in_.RunPreparedAssignment()) return in_.SpoilRecording();
  // Assignments, the commonest statements in loops, are kept on their own: they come first.
  if (in_.ReplayStatement()) return;
  if (number) return NumberToken();
  WordToken();
}

// Whether a word of the statement after `from` is a command with `particle` in its template; a
// word may carry its arguments in front (「x」という DDEサーバー作成), so every ending is tried.
bool StatementReader::LaterCommandTakes(const char* from, std::string_view particle) const {
  // The rest of the statement may be cut off differently the next time (a view's end).
  in_.SpoilRecording();
  const char* q = from;
  bool comma = false;
  try {
    while (true) {
      while (is_separator(*q)) comma = *q++ == ',';
      if (*q == '\0' || *q == ';') return false;
      if (*q == '\r' || *q == '\n') {
        if (!comma) return false;
        skip_line_prefix(q);
        comma = false;
        continue;
      }
      comma = false;
      if (*q == '"' || *q == '`' || (q[0] == '@' && q[1] == '@')) {
        expr::ReadStringToken(q);
      } else if (*q == '(') {
        expr::ReadGroup(q);
      } else if (std::string word = read_word(q); word.empty()) {
        q += text::char_len(q);
      } else {
        for (std::size_t i = 0; i < word.size(); i += text::char_len(word, i))
          if (CommandTakes(std::string_view(word).substr(i), particle)) return true;
      }
    }
  } catch (const GeneralError&) {
    return false;  // an unclosed literal or group: the statement reader reports it itself
  }
}

bool StatementReader::CommandTakes(std::string_view word, std::string_view particle) const {
  const words::THashNode* w = in_.FindWord(word, true);
  if (!w || w->Kind != words::kCommand) return false;
  std::string_view slots = w->Extra;
  while (!slots.empty()) {
    std::size_t comma = slots.find(',');
    std::string_view slot = text::trim_view(slots.substr(0, comma));
    if (!slot.empty() && slot[0] == '?') slot.remove_prefix(1);
    if (slot == particle) return true;
    slots = comma == std::string_view::npos ? std::string_view() : slots.substr(comma + 1);
  }
  return false;
}

std::size_t StatementReader::ParticleAtStartOf(std::string_view rest,
                                               const char* after_rest) const {
  return particle_before_word(
      rest, [this](std::string_view w) { return in_.IsKnownWord(w); },
      [this, after_rest](std::string_view p) { return LaterCommandTakes(after_rest, p); });
}

std::pair<std::string, std::string> StatementReader::ReadSplitWord() {
  const char* start = p_;
  const words::TScopedHash& table = in_.State().Words;
  PreparedSplit* kept = in_.KeptSplit(start);
  if (kept && kept->names_generation == table.NamesGeneration() &&
      kept->kind_changes == words::KindChanges()) {
    const char* name = start + kept->blanks;
    p_ = name + kept->name + kept->particle;
    return {std::string(name, kept->name), std::string(name + kept->name, kept->particle)};
  }
  std::string word = read_word(p_);
  const char* after = p_;
  // A split that asked the rest of the statement is not kept: the end of a block cut off while
  // it runs may hide that rest.
  bool asked_later = false;
  WordSplit split = split_word_at_particle(
      word, [this](std::string_view w) { return in_.IsKnownWord(w); },
      [this, after, &asked_later](std::string_view p) {
        asked_later = true;
        return LaterCommandTakes(after, p);
      });
  p_ -= word.size() - split.taken();
  if (kept && !asked_later)
    *kept = PreparedSplit{table.NamesGeneration(), words::KindChanges(),
                          static_cast<std::uint32_t>(after - word.size() - start),
                          static_cast<std::uint32_t>(split.word),
                          static_cast<std::uint32_t>(split.particle)};
  return {word.substr(0, split.word), word.substr(split.word, split.particle)};
}

void StatementReader::StringToken() {
  std::string token = expr::QuoteRaw(in_.ExpandString(in_.ReadLiteralAt(p_)));
  in_.AnalyseToken(AmpersandChain(std::move(token)), false);
}

std::string StatementReader::ParticleAfterValue() {
  skip_blanks(p_);
  // Case lines compare with 以上 and 以下 (5以上の時): those stay with the label.
  static const std::string kAtLeast = text::sjis("以上の時"), kAtMost = text::sjis("以下の時");
  for (const std::string* form : {&kAtLeast, &kAtMost}) {
    if (std::strncmp(p_, form->c_str(), form->size()) == 0) {
      p_ += form->size();
      return *form;
    }
  }
  const char* after = p_;
  std::string rest = read_word(after);
  std::size_t n = ParticleAtStartOf(rest, after);
  std::string particle(p_, n);
  p_ += n;
  return particle;
}

std::string StatementReader::AmpersandChain(std::string token) {
  while (true) {
    skip_blanks(p_);
    if (*p_ != '&' || p_[1] == '&') return token + ParticleAfterValue();
    ++p_;
    while (is_separator(*p_)) ++p_;
    if (*p_ == '\r' || *p_ == '\n') in_.ProcessLineEnd();
    while (is_separator(*p_)) ++p_;
    if (IsLiteralStart()) {
      token += "&" + expr::QuoteRaw(in_.ExpandString(in_.ReadLiteralAt(p_)));
      continue;
    }
    if (*p_ == '(') {
      token += "&(" + in_.ReadGroupAt(p_) + ")";
      continue;
    }
    auto [word, particle] = ReadSplitWord();
    token += "&" + word;
    if (!particle.empty()) return token + particle;
  }
}

// Operators after a number or a group continue it as an expression: 1+2*3を表示, (1+2)*3を表示.
// The expression ends at a word, whose particle then ends the token.
std::string StatementReader::ContinueExpression(std::string expression) {
  bool is_expression = false;
  std::string particle;
  while (particle.empty()) {
    const char* q = p_;
    skip_blanks(q);
    if (!is_operator_char(*q)) break;
    while (is_operator_char(*q)) expression += *q++;
    skip_blanks(q);
    p_ = q;
    is_expression = true;
    if (*p_ == '$' || is_digit(*p_) || *p_ == '-' || *p_ == '+') {
      expression += read_number(p_);
    } else if (*p_ == '(') {
      expression += "(" + in_.ReadGroupAt(p_) + ")";
    } else if (IsLiteralStart()) {
      expression += in_.ReadLiteralAt(p_);
    } else {
      auto [word, word_particle] = ReadSplitWord();
      expression += word;
      particle = word_particle;
    }
  }
  std::string token = expression;
  if (is_expression) {
    in_.SpoilRecording();
    // A computed value goes back as program text: a text result must not be read as code.
    expr::Value v = in_.EvaluateText(expression);
    token = reads_back_as_number(v) ? v.text : expr::QuoteRaw(v.text);
  }
  if (particle.empty()) {
    const char* q = p_;
    skip_blanks(q);
    bool ends = *q == '\r' || *q == '\n' || *q == ',' || *q == ';' ||
                static_cast<unsigned char>(*q) == 0xA4;
    if (!ends) particle = ParticleAfterValue();
  }
  return token + particle;
}

void StatementReader::NumberToken() {
  in_.AnalyseToken(ContinueExpression(read_number(p_)), false);
}

void StatementReader::GroupToken() {
  in_.AnalyseToken(ContinueExpression("(" + in_.ReadGroupAt(p_) + ")"), false);
}

std::string StatementReader::ReadElementKey(bool second) {
  if (*p_ == '(') return "(" + in_.ReadGroupAt(p_) + ")";
  if (*p_ == '$' || is_digit(*p_)) return read_number(p_);
  auto [key, particle] = ReadSplitWord();
  // The statement needs the particle; the second key keeps は, と or を in its text, as the
  // element form is analysed by that ending.
  static const std::string kHa = text::sjis("は"), kTo = text::sjis("と"), kWo = text::sjis("を");
  if (second && (particle == kHa || particle == kTo || particle == kWo)) return key + particle;
  p_ -= particle.size();
  return key;
}

void StatementReader::ElementToken() {
  std::string name = in_.State().Arguments.Pop();
  if (!in_.FindWord(name)) in_.CreateVariable(name);
  ++p_;
  std::string token = name + "#" + ReadElementKey(false);
  if (*p_ == '#') {
    ++p_;
    token += "#" + ReadElementKey(true);
  }
  if (*p_ && !is_word_delimiter(*p_)) token += ParticleAfterValue();
  in_.AnalyseToken(std::move(token), false);
}

void StatementReader::QuestionMark() {
  ++p_;
  skip_blanks(p_);
  if (IsLiteralStart()) {
    in_.GetHost().ShowMessage(in_.ExpandString(in_.ReadLiteralAt(p_)));
    return;
  }
  if (in_.State().Arguments.Empty())
    throw in_.Error(text::sjis("\"?\"は、文法が正しくないため、実行できません。"));
  in_.RunConditional(in_.State().Arguments.Pop());
}

// "A の B" is one argument when A is a dictionary or a part (or a variable naming one), so
// that 辞書の名前を表示 shows the entry. Before は it stays "A の" for the element assignment.
std::string StatementReader::ExtendAccess(std::string token) {
  static const std::string kNo = text::sjis("の"), kHa = text::sjis("は");
  words::THashNode* w = in_.FindWord(token.substr(0, token.size() - kNo.size()));
  if (!w) return token;
  if (w->Kind == words::kVariable || w->Kind == words::kHash || w->Kind == words::kPart)
    in_.SpoilRecording();  // what follows is read by the value
  if (w->Kind == words::kVariable) {
    words::THashNode* named = in_.FindWord(w->GetValue());
    if (!named || (named->Kind != words::kHash && named->Kind != words::kPart)) return token;
  } else if (w->Kind != words::kHash && w->Kind != words::kPart) {
    return token;
  }
  const char* saved = p_;
  skip_blanks(p_);
  if (IsLiteralStart() || *p_ == '(' || *p_ == '\0') {
    p_ = saved;
    return token;
  }
  const char* q = p_;
  if (assignment_key_length(read_word(q)) > 0) {
    p_ = saved;
    return token;
  }
  auto [key, particle] = ReadSplitWord();
  // 回 ends a count only after a number; inside a key (繰り返し回数) it is part of the name.
  static const std::string kKai = text::sjis("回");
  while (particle == kKai && !key.empty() && *p_ && !is_separator(*p_) && *p_ != '\r' &&
         *p_ != '\n') {
    auto [more, next] = ReadSplitWord();
    if (more.empty() && next.empty()) break;
    key += particle + more;
    particle = next;
  }
  if (key.empty() || particle == kHa || particle.empty()) {
    p_ = saved;
    return token;
  }
  return token + key + particle;
}

// "A の B は C": after an owner ending in の, the word up to its first は is the whole key B,
// even when it contains a known word (a property such as 繰り返し回数 must not split at 回).
// The length of the key with its は, or 0 when the word is no such key.
std::size_t StatementReader::AccessKeyLength(const std::string& word) const {
  static const std::string kNo = text::sjis("の");
  const words::TStack& args = in_.State().Arguments;
  if (args.Empty() || !ends_with(args[args.Count() - 1], kNo)) return 0;
  return assignment_key_length(word);
}

std::size_t StatementReader::assignment_key_length(const std::string& word) const {
  static const std::string kHa = text::sjis("は");
  std::size_t at = text::find_at_char_start(word, kHa);
  if (at == std::string::npos || at == 0 || in_.IsKnownWord(word.substr(0, at))) return 0;
  return at + kHa.size();
}

void StatementReader::WordToken() {
  const char* word_start = p_;
  std::string word = read_word(p_);
  if (word.empty()) {
    std::string c(p_, std::max<std::size_t>(1, text::char_len(p_)));
    std::string message = "\"" + c + text::sjis("\"は、文法が正しくないため、実行できません。");
    if (c == "&")
      message += text::sjis("\"&\"は、文字列との連結に使います。");
    else if (is_operator_char(c[0]))
      message += "\"" + c + text::sjis("\"は、計算式で使います。");
    throw in_.Error(message);
  }
  // もし starts a condition even when the condition is written right after it (もしA=1ならば).
  static const std::string kMoshi = text::sjis("もし");
  if (word.size() > kMoshi.size() && word.compare(0, kMoshi.size(), kMoshi) == 0 &&
      !in_.IsKnownWord(word)) {
    p_ = word_start;
    skip_blanks(p_);
    p_ += kMoshi.size();
    in_.AnalyseToken(kMoshi, true);
    return;
  }
  std::string token = word;
  const char* after = p_;
  skip_blanks(after);
  static const std::string kNoToki = text::sjis("の時");
  bool case_label = ends_with(word, kNoToki) && word.size() > kNoToki.size();
  if (std::size_t key = AccessKeyLength(word); key > 0 && *after != '=') {
    p_ = word_start;
    skip_blanks(p_);
    token = std::string(p_, key);
    p_ += key;
  } else if (*after != '=' && !case_label) {
    p_ = word_start;
    auto [name, particle] = ReadSplitWord();
    token = name + particle;
    static const std::string kNo = text::sjis("の");
    if (particle == kNo) {
      token = ExtendAccess(std::move(token));
    } else if (particle.empty() && !names_command(in_.FindWord(name, true))) {
      // "A を 表示", "挨拶 を呼ぶ": a particle written apart from its word (a label's too, which
      // is then what the command acts on) still belongs to it.
      const char* q = p_;
      skip_blanks(q);
      const char* r = q;
      std::string rest = read_word(r);
      std::size_t n = ParticleAtStartOf(rest, r);
      if (n > 0 && !in_.IsKnownWord(rest)) {
        token.append(q, n);
        p_ = q + n;
      }
    }
  }
  static const std::string kSoshite = text::sjis("そして");
  if (token == kSoshite) {
    in_.FinishStatement();
    return;
  }
  in_.AnalyseToken(std::move(token), true);
}

// ---- Interpreter members that belong to statements ----------------------------------------------

void Interpreter::ExecuteToken() {
  StatementReader(*this).Step();
}

void Interpreter::HandleLineEnd() {
  if (LineStop) ShowDebugDialog();
}

void Interpreter::AnalyseToken(std::string token, bool read_as_word) {
  words::TMorvBase& s = *state_;
  const char*& p = s.Position;
  while (is_separator(*p)) comma_before_break_ = *p++ == ',';

  if ((*p == '=' && p[1] != '=') || (*p == '&' && p[1] != '&')) SpoilRecording();
  if (*p == '=' && p[1] != '=') {
    ++p;
    AssignStatement(token);
    return;
  }
  if (*p == '&' && p[1] != '&') {
    if (read_as_word && FindWord(token)) token = expr::QuoteRaw(EvalArgument(token));
    s.Arguments.Push(StatementReader(*this).AmpersandChain(std::move(token)));
    if (*p == '\0') FinishStatement();
    return;
  }

  static const std::string kNo = text::sjis("の"), kHa = text::sjis("は"), kKai = text::sjis("回"),
                           kNoToki = text::sjis("の時"), kTe = text::sjis("て"),
                           kMoshi = text::sjis("もし");
  std::string_view last = last_char(token);
  if (last == kNo && token.size() > kNo.size()) {
    RecordToken(token);
    s.Arguments.Push(std::move(token));
    ExecuteToken();
    return;
  }
  if (last == kHa && token.size() > kHa.size()) {
    SpoilRecording();
    token.resize(token.size() - kHa.size());
    AssignStatement(token);
    return;
  }
  if (last == kKai && token.size() > kKai.size()) {
    SpoilRecording();
    std::int64_t count = -1;
    if (!expr::ToInteger(EvalArgument(token.substr(0, token.size() - kKai.size())), count))
      count = -1;
    StartCountLoop(count);
    return;
  }
  if (ends_with(token, kNoToki) && token.size() > kNoToki.size()) {
    SpoilRecording();
    RunCaseLine(token.substr(0, token.size() - kNoToki.size()));
    return;
  }
  if (last == kTe && read_as_word) {
    words::THashNode* w = FindWord(token, true);
    if (w && (w->Kind == words::kCommand || w->Kind == words::kLabel ||
              w->Kind == words::kDllFunction)) {
      SpoilRecording();
      if (*p == '(') {
        expr::Value v = CallFunctionForm(*w, p);
        SetResult(v.text, v.type_mark);
      } else {
        RunWord(*w);
        if (!s.Arguments.Empty())
          throw Error("\"" + w->Name +
                      text::sjis("\"命令の引数に誤りがあります。引数が多いです。\""));
      }
      return;
    }
  }
  if (token == kMoshi) {
    RecordToken(token);
    s.Arguments.Push(std::move(token));
    FinishStatement();
    return;
  }
  static const std::string kRepeat = text::sjis("繰返"), kEach = text::sjis("反復"),
                           kLoop = text::sjis("ループ");
  if (read_as_word && starts_loop_word(token, {&kRepeat, &kEach, &kLoop})) {
    RecordToken(token);
    s.Arguments.Push(std::move(token));
    FinishStatement();
    return;
  }
  if (read_as_word && *p == '(') {
    words::THashNode* w = FindWord(token, true);
    if (w && (w->Kind == words::kCommand || w->Kind == words::kLabel ||
              w->Kind == words::kDllFunction)) {
      SpoilRecording();
      expr::Value v = CallFunctionForm(*w, p);
      // A call ending a statement leaves its value in それ; one ending a piece of another call's
      // arguments (合計(二倍(3),1)) is that argument.
      if (statement_ends_at(p) && !collecting_arguments_) {
        SetResult(v.text, v.type_mark);
        return;
      }
      token = reads_back_as_number(v) ? v.text : expr::QuoteRaw(v.text);
      // The result continues like a literal: an "&" chain, then its particle.
      token = StatementReader(*this).AmpersandChain(std::move(token));
    }
  }
  RecordToken(token);
  s.Arguments.Push(std::move(token));
  if (*p == '\0') FinishStatement();
}

namespace {

// The top-level pieces of a call's argument list, split at commas; literals and groups stay
// whole. `has_operator` tells, per piece, whether an operator stands outside them.
std::vector<std::pair<std::string, bool>> split_call_pieces(const std::string& inside) {
  std::vector<std::pair<std::string, bool>> pieces;
  const char* p = inside.c_str();
  const char* start = p;
  bool has_operator = false;
  auto flush = [&](const char* end) {
    std::string piece = text::trim(std::string_view(start, end - start));
    if (!piece.empty()) pieces.emplace_back(std::move(piece), has_operator);
    has_operator = false;
  };
  while (*p) {
    if (*p == '"' || *p == '`' || (p[0] == '@' && p[1] == '@')) {
      expr::ReadStringToken(p);
    } else if (*p == '(') {
      expr::ReadGroup(p);
    } else if (*p == ',') {
      flush(p);
      start = ++p;
    } else {
      if (is_operator_char(*p)) has_operator = true;
      p += text::char_len(p);
    }
  }
  flush(p);
  return pieces;
}

}  // namespace

// A group in a pinned text is read once: its text never changes.
std::shared_ptr<const PreparedCallGroup> Interpreter::ReadCallGroup(const char*& p) {
  const char* start = p;
  std::shared_ptr<const PreparedCallGroup>* kept =
      preparing_ ? KeptAt(prepared_->call_groups, prepared_->pinned, start) : nullptr;
  if (kept && *kept) {
    p = (*kept)->end;
    return *kept;
  }
  auto group = std::make_shared<PreparedCallGroup>();
  std::string inside = ReadGroupAt(p);
  try {
    group->pieces = split_call_pieces(inside);
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
  group->end = p;
  if (kept) *kept = group;
  return group;
}

// Arguments of a call in function form: a piece with operators is an expression, pushed as it
// stands and evaluated when the command takes it; any other piece is read as statement tokens,
// so particles, elements and nested calls work as in a statement.
void Interpreter::PushCallArguments(const std::vector<std::pair<std::string, bool>>& pieces) {
  words::TMorvBase& s = *state_;
  for (const auto& [piece, has_operator] : pieces) {
    if (has_operator) {
      s.Arguments.Push(piece);
      continue;
    }
    const char* saved = s.Position;
    bool saved_collecting = collecting_arguments_;
    collecting_arguments_ = true;
    s.Position = piece.c_str();
    try {
      while (*s.Position) {
        const char* before = s.Position;
        ExecuteToken();
        if (s.Position == before) break;
      }
    } catch (...) {
      s.Position = saved;
      collecting_arguments_ = saved_collecting;
      throw;
    }
    s.Position = saved;
    collecting_arguments_ = saved_collecting;
  }
}

// 甲ボタンのイベント as a statement reads the property as the expression would (firing the
// event); the value goes to それ. False when the word is no such property.
bool Interpreter::ReadPropertyStatement(const std::string& property) {
  static const std::vector<std::string> kPropertyWords = [] {
    std::vector<std::string> v;
    for (const char* p : {"最大値", "最小値", "タイトル", "イベント", "クリックした時",
                          "ダブルクリックした時", "マウス押した時", "マウス離した時",
                          "キー押した時", "キー離した時", "変更した時", "マウス動かした時"})
      v.push_back(text::strip_okurigana(text::sjis(p)));
    return v;
  }();
  static const std::string kNo = text::sjis("の");
  words::TMorvBase& s = *state_;
  std::string key = text::strip_okurigana(property);
  if (s.Arguments.Empty() || !ends_with(s.Arguments[s.Arguments.Count() - 1], kNo) ||
      std::find(kPropertyWords.begin(), kPropertyWords.end(), key) == kPropertyWords.end())
    return false;
  std::string owner = s.Arguments.Pop();
  owner.resize(owner.size() - kNo.size());
  words::THashNode* part = FindWord(owner);
  if (!part) throw Error(text::sjis("単語\"") + owner + text::sjis("\"は、定義されていません。"));
  PartAccess* parts = host_.Parts();
  if (part->Kind != words::kPart || !parts)
    throw Error("\"" + owner + text::sjis("\"は、部品ではありません。"));
  expr::Value v = parts->ReadProperty(*this, *part, property);
  SetResult(v.text, v.type_mark);
  return true;
}

words::THashNode* Interpreter::KeptCommand(const PreparedStatement& replayed) const {
  const words::TScopedHash& table = state_->Words;
  if (replayed.command && replayed.command_names == table.NamesGeneration() &&
      replayed.command_shadows == table.ShadowsGeneration())
    return replayed.command;
  return nullptr;
}

words::THashNode* Interpreter::FindCommandWord(const std::string& name,
                                               PreparedStatement* replayed) const {
  if (!replayed) return FindWord(name, true);
  if (words::THashNode* kept = KeptCommand(*replayed)) return kept;
  const words::TScopedHash& table = state_->Words;
  bool global = false;
  words::THashNode* word = table.FindScoped(name, true, &global);
  replayed->command = global ? word : nullptr;
  replayed->command_names = table.NamesGeneration();
  replayed->command_shadows = table.ShadowsGeneration();
  return word;
}

void Interpreter::FinishStatement(PreparedStatement* replayed) {
  EndRecording();
  words::TMorvBase& s = *state_;
  if (collecting_arguments_ || s.Arguments.Empty()) return;
  std::string item = s.Arguments.Pop();
  if (!item.empty() && item[0] == '\\') {
    std::int64_t id = -1;
    if (!expr::ToInteger(item.substr(1), id)) id = -1;
    words::THashNode transient("\\", false, nullptr, words::kCommand,
                               static_cast<std::int32_t>(std::clamp<std::int64_t>(id, -1, 1 << 20)),
                               "", "", "");
    ExecuteCommand(transient);
  } else if (words::THashNode* word = FindCommandWord(item, replayed)) {
    if (replayed && BindReplayed(*word, *replayed))
      RunBoundCommand(*word);
    else
      RunWord(*word);
    item = word->Name;
  } else if (!ReadPropertyStatement(item)) {
    std::string statement = item;
    while (!s.Arguments.Empty()) statement = s.Arguments.Pop() + "," + statement;
    throw Error("\"" + CutForMessage(text::trim(statement)) +
                text::sjis("\"は未定義の命令です。(;o;)<綴りミスか、命令の引数に注意！"));
  }
  RefuseArgumentsLeft(item);
}

void Interpreter::RefuseArgumentsLeft(const std::string& command) {
  words::TMorvBase& s = *state_;
  if (!s.Arguments.Empty()) {
    std::string message =
        "\"" + command + text::sjis("\"命令の引数に誤りがあります。引数が多いです。\"");
    bool first = true;
    while (!s.Arguments.Empty()) {
      message += (first ? "" : "\r\n") + CutForMessage(s.Arguments.Shift());
      first = false;
    }
    s.Arguments.Clear();
    throw Error(message + "\"");
  }
}

}  // namespace morivel::engine
