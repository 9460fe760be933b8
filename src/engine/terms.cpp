// Values: the term reader, string expansion, argument evaluation and dictionary/element access.
#include "engine/interpreter.h"
#include "engine/lexer.h"
#include "engine/parts.h"
#include "engine/prepared.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "expr/quote.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::engine {

namespace {

class EngineTerms : public expr::TermReader {
 public:
  explicit EngineTerms(Interpreter& in) : in_(in) {}
  expr::Value ReadTerm(const char*& p) override { return in_.ReadTerm(p); }

 private:
  Interpreter& in_;
};

std::string guess_type(std::string_view value) {
  if (value.empty()) return "";
  return value[0] == '$' || is_digit(value[0]) ? "e" : "s";
}

bool starts_literal(const char* p) {
  return *p == '"' || *p == '`' || (p[0] == '@' && p[1] == '@');
}

// The entry `key` of text read as name=value lines.
std::string entry_of_lines(const std::string& lines, const std::string& key) {
  for (std::string_view line : text::split_lines(lines)) {
    std::size_t eq = line.find('=');
    if (eq != std::string_view::npos && line.substr(0, eq) == key)
      return std::string(line.substr(eq + 1));
  }
  return {};
}

// Gives up when a word is anything but a variable or an unknown word: those are read without
// running anything, so giving up leaves no trace.
struct GiveUp {};

class PlainWords : public expr::PreparedWords {
 public:
  explicit PlainWords(Interpreter& in) : in_(in) {}

  const words::THashNode* Variable(const expr::PreparedToken& word) override {
    const words::THashNode* w = Find(word);
    if (w && w->Kind != words::kVariable) throw GiveUp{};
    return w;
  }

  expr::Value Element(const expr::PreparedToken& element) override {
    words::THashNode& w = ArrayOf(element);
    std::int64_t first = Index(element.inner[0]);
    std::string value =
        element.inner.size() > 1 ? w.GetCell(first, Index(element.inner[1])) : w.GetRow(first);
    std::string type = guess_type(value);
    return {std::move(value), std::move(type)};
  }

  bool WholeElement(const expr::PreparedToken& element, std::int64_t& out) override {
    if (element.inner.size() != 1) return PreparedWords::WholeElement(element, out);
    words::THashNode& w = ArrayOf(element);
    std::int64_t record = Index(element.inner[0]);
    if (std::optional<std::string_view> plain = w.PlainRow(record))
      return expr::GuessedElementIsWhole(*plain, out);
    return expr::GuessedElementIsWhole(w.GetRow(record), out);
  }

 private:
  // The variable an element token reads from; anything else is read from the text.
  words::THashNode& ArrayOf(const expr::PreparedToken& element) {
    words::THashNode* w = Find(element);
    if (!w || w->Kind != words::kVariable) throw GiveUp{};
    return *w;
  }

  words::THashNode* Find(const expr::PreparedToken& token) {
    return in_.State().Words.FindKept(token.text, token.found, token.found_generation,
                                      token.found_shadows);
  }

  std::int64_t Index(const expr::PreparedToken& term) {
    // A whole number's text is its digits, which read back as that number.
    if (term.type == expr::PreparedToken::Type::kGroup) {
      if (std::int64_t whole = 0; expr::PreparedWholeResult(term, *this, whole)) return whole;
      std::optional<expr::NumberResult> n = expr::PreparedNumberResult(term, *this);
      if (n && n->is_whole) return n->whole;
      if (n && expr::ReadsBackWhole(n->value)) return static_cast<std::int64_t>(n->value);
    }
    std::int64_t index = -1;
    if (!expr::ToInteger(expr::PreparedTermValue(term, *this).text, index)) index = -1;
    return index;
  }

  Interpreter& in_;
};

}  // namespace

bool Interpreter::PreparedNestingAllowed() const {
  // A prepared evaluation nests no deeper than the text would, and the text is read instead
  // near the limit, so that the stack-full error comes exactly where it always did.
  return preparing_ && nesting_ + 32 < nesting_limit_;
}

std::optional<expr::Value> Interpreter::EvaluatePreparedText(std::string_view text,
                                                             expr::PreparedNumber* number) {
  if (!PreparedNestingAllowed()) return std::nullopt;
  return EvaluatePreparedEntry(PreparedExpression(text).get(), number);
}

std::optional<expr::Value> Interpreter::EvaluateKeptExpression(const std::string& text,
                                                               std::shared_ptr<void>& kept,
                                                               expr::PreparedNumber* number) {
  if (!PreparedNestingAllowed()) return std::nullopt;
  if (!kept) kept = PreparedExpression(text);
  return EvaluatePreparedEntry(static_cast<PreparedExpressionEntry*>(kept.get()), number);
}

std::optional<expr::NumberResult> Interpreter::KeptExpressionNumber(const std::string& text,
                                                                    std::shared_ptr<void>& kept) {
  if (!PreparedNestingAllowed()) return std::nullopt;
  if (!kept) kept = PreparedExpression(text);
  auto* entry = static_cast<PreparedExpressionEntry*>(kept.get());
  if (!entry || !entry->Usable()) return std::nullopt;
  PlainWords words(*this);
  if (std::int64_t whole = 0; expr::PreparedWholeResult(*entry->prepared, words, whole))
    return expr::NumberResult{static_cast<long double>(whole), whole, true};
  return expr::PreparedNumberResult(*entry->prepared, words);
}

std::shared_ptr<PreparedExpressionEntry> Interpreter::PreparedExpression(std::string_view text) {
  return prepared_->expressions.Find(
      text, [this](std::string_view t) { return Preparer(*this).Expression(t); });
}

std::optional<expr::Value> Interpreter::EvaluatePreparedEntry(PreparedExpressionEntry* entry,
                                                              expr::PreparedNumber* number) {
  if (!entry || !entry->Usable()) return std::nullopt;
  try {
    PlainWords words(*this);
    return expr::EvaluatePrepared(*entry->prepared, words, number);
  } catch (...) {
    ++entry->failures;
    if (number) *number = {};
    return std::nullopt;
  }
}

std::string Interpreter::RunPreparedArgument(const expr::PreparedArgument& argument) {
  PlainWords words(*this);
  expr::Value v = expr::EvaluatePreparedArgument(argument, words);
  current_type_ = std::move(v.type_mark);
  return std::move(v.text);
}

namespace {

// "A=A&..." grows A where it lies instead of copying it twice per step: a prepared term only
// reads values, so the value of the joined terms is the same whether A is read before or after
// them.
bool AppendInPlace(const PreparedArgument& argument, words::THashNode& target, PlainWords& words) {
  if (argument.joined.empty() || argument.has_continuation ||
      argument.first.type != expr::PreparedToken::Type::kWord)
    return false;
  if (words.Variable(argument.first) != &target) return false;
  std::string tail;
  for (const expr::PreparedToken& term : argument.joined)
    tail += expr::PreparedTermValue(term, words).text;
  target.AppendValue(tail);
  return true;
}

}  // namespace

bool Interpreter::AssignPreparedValue(PreparedAssignment& assignment) {
  PreparedArgumentEntry* entry = assignment.prepared_value.get();
  if (!entry || !entry->Usable()) return false;
  NestingGuard guard(*this);
  if (!PreparedNestingAllowed()) return false;
  if (assignment.names_element) return AssignPreparedElement(assignment, *entry->prepared);
  if (AppendToTarget(assignment, *entry->prepared)) return true;
  PlainWords words(*this);
  if (std::int64_t whole = 0; expr::PreparedArgumentWhole(*entry->prepared, words, whole)) {
    words::THashNode* word = AssignableTarget(assignment);
    if (!word) return false;
    word->SetWhole(whole, &expr::NumberToText);
    mark_number_type(word->TypeMark);
    mark_number_type(current_type_);
    return true;
  }
  if (std::optional<expr::NumberResult> n = expr::PreparedArgumentNumber(*entry->prepared, words)) {
    words::THashNode* word = AssignableTarget(assignment);
    if (!word) return false;
    if (n->is_whole)
      word->SetWhole(n->whole, &expr::NumberToText);
    else if (expr::ReadsBackWhole(n->value))
      word->SetNumber(n->value, &expr::NumberToText);
    else
      word->SetValue(expr::NumberToText(n->value));
    mark_number_type(word->TypeMark);
    mark_number_type(current_type_);
    return true;
  }
  expr::PreparedNumber number;
  expr::Value v;
  try {
    v = expr::EvaluatePreparedArgument(*entry->prepared, words, &number);
  } catch (...) {
    return false;  // the general way evaluates it again and counts the failure
  }
  words::THashNode* word = AssignableTarget(assignment);
  if (!word || v.type_mark == "hs") return false;
  if (number.known && expr::ReadsBackWhole(number.value))
    word->SetNumber(number.value, &expr::NumberToText);
  else if (number.known)
    word->SetValue(expr::NumberToText(number.value));
  else
    word->SetValue(std::move(v.text));
  if (word->TypeMark != v.type_mark) word->TypeMark = v.type_mark;
  current_type_ = std::move(v.type_mark);
  return true;
}

// The common case of an element assignment: a whole number into an array's row by a whole
// index, both reached on whole numbers alone; the value first, then the index, as the general
// way evaluates them.
bool Interpreter::AssignPreparedElement(PreparedAssignment& assignment,
                                        const expr::PreparedArgument& value) {
  if (!assignment.prepared_index)
    assignment.prepared_index = prepared_->arguments.Find(
        assignment.index, [this](std::string_view t) { return Preparer(*this).Argument(t); });
  PreparedArgumentEntry* index_entry = assignment.prepared_index.get();
  if (!index_entry || !index_entry->Usable()) return false;
  words::THashNode* word = state_->Words.FindKept(
      assignment.array, assignment.target, assignment.target_generation, assignment.target_shadows);
  if (!word || word->Kind != words::kVariable || word->Reserved) return false;
  PlainWords words(*this);
  std::int64_t number = 0, index = -1;
  if (!expr::PreparedArgumentWhole(value, words, number) ||
      !expr::PreparedArgumentWhole(*index_entry->prepared, words, index) || index < 0 ||
      index > words::kMaxElementIndex)
    return false;
  word->SetRow(index, expr::NumberToText(static_cast<long double>(number)));
  mark_number_type(current_type_);
  return true;
}

words::THashNode* Interpreter::AssignableTarget(PreparedAssignment& assignment) {
  words::THashNode* word = state_->Words.FindKept(
      assignment.name, assignment.target, assignment.target_generation, assignment.target_shadows);
  if (!word || word->Kind != words::kVariable || word->Reserved) return nullptr;
  return word;
}

bool Interpreter::AppendToTarget(PreparedAssignment& assignment,
                                 const expr::PreparedArgument& argument) {
  if (argument.joined.empty()) return false;
  words::THashNode* word = AssignableTarget(assignment);
  if (!word) return false;
  try {
    PlainWords words(*this);
    if (!AppendInPlace(argument, *word, words)) return false;
  } catch (...) {
    return false;  // nothing was changed; the general way evaluates it again
  }
  static const std::string kText = "s";
  if (word->TypeMark != kText) word->TypeMark = kText;
  current_type_ = kText;
  return true;
}

std::optional<std::string> Interpreter::EvalPreparedArgument(std::string_view text,
                                                             PreparedArgumentEntry* entry) {
  if (!PreparedNestingAllowed()) return std::nullopt;
  std::shared_ptr<PreparedArgumentEntry> found;
  if (!entry) {
    found = prepared_->arguments.Find(
        text, [this](std::string_view t) { return Preparer(*this).Argument(t); });
    entry = found.get();
  }
  if (!entry || !entry->Usable()) return std::nullopt;
  try {
    return RunPreparedArgument(*entry->prepared);
  } catch (...) {
    ++entry->failures;
    return std::nullopt;
  }
}

std::string Interpreter::ReadLiteralAt(const char*& p) {
  try {
    return expr::ReadStringToken(p);
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
}

std::string Interpreter::ReadGroupAt(const char*& p) {
  try {
    return expr::ReadGroup(p);
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
}

// ---- evaluation entry points -------------------------------------------------------------------

expr::Value Interpreter::EvaluateText(std::string_view text) {
  NestingGuard guard(*this);
  if (std::optional<expr::Value> prepared = EvaluatePreparedText(text)) {
    current_type_ = prepared->type_mark;
    return std::move(*prepared);
  }
  return EvaluateTextAsRead(text);
}

expr::Value Interpreter::EvaluateTextAsRead(std::string_view text) {
  std::string copy(text);
  const char* p = copy.c_str();
  EngineTerms terms(*this);
  try {
    expr::Value v = expr::Evaluate(terms, p);
    current_type_ = v.type_mark;
    return v;
  } catch (const EMorv&) {
    throw;
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
}

// "(" + the value so far + rest + ")", read as that text reads.
expr::Value Interpreter::EvaluateContinuation(const expr::Value& so_far, const char* rest) {
  EngineTerms terms(*this);
  std::optional<expr::Value> result;
  try {
    result = expr::EvaluateContinued(terms, so_far, rest);
  } catch (const EMorv&) {
    throw;
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
  if (!result) {
    // Built from a value, this text is new each time: preparing it would only cost.
    return EvaluateTextAsRead("(" + expr::OperandText(so_far) + rest + ")");
  }
  current_type_ = result->type_mark;
  return std::move(*result);
}

std::string Interpreter::EvalArgument(std::string_view text) {
  return EvalArgumentWith(text, nullptr);
}

std::string Interpreter::EvalArgumentWith(std::string_view text, PreparedArgumentEntry* entry,
                                          bool pinned_text) {
  if (text.empty()) {
    current_type_ = "s";
    return {};
  }
  NestingGuard guard(*this);
  if (std::optional<std::string> prepared = EvalPreparedArgument(text, entry))
    return std::move(*prepared);
  // A pinned text stays as it is, and positions in it are keys of what was read there.
  std::string copy;
  if (!pinned_text) copy.assign(text);
  const char* p = pinned_text ? text.data() : copy.c_str();
  expr::Value v = ReadTerm(p);
  std::string type = current_type_ = v.type_mark;
  while (*p) {
    skip_blanks(p);
    if (*p == '&' && p[1] != '&') {
      ++p;
      skip_blanks(p);
      if (*p == '\r' || *p == '\n') skip_line_prefix(p);
      skip_blanks(p);
      v.text += ReadTerm(p).text;
      type = "s";
      continue;
    }
    if (is_operator_char(*p)) {
      NestingGuard inner(*this);
      v.type_mark = type;
      expr::Value result = EvaluateContinuation(v, p);
      current_type_ = result.type_mark;
      return result.text;
    }
    break;
  }
  current_type_ = type;
  return v.text;
}

// ---- string expansion
// ----------------------------------------------------------------------------

std::string Interpreter::ExpandString(std::string_view literal) {
  static const std::string kYen = text::sjis("￥"), kWideN = text::sjis("ｎ"),
                           kWideT = text::sjis("ｔ"), kWideOpen = text::sjis("｛"),
                           kWideClose = text::sjis("｝");
  std::string source(literal);
  const char* p = source.c_str();
  std::string out;
  bool open = false;
  while (*p) {
    skip_blanks(p);
    if (!*p) break;
    bool here = p[0] == '@' && p[1] == '@';
    if (*p == '"' || here) {
      std::string terminator = "\"";
      if (here) {
        p += 2;
        terminator.assign(p, text::char_len(p));
        p += terminator.size();
      } else {
        ++p;
      }
      open = true;
      bool in_expr = false;
      std::string expression;
      while (*p) {
        std::size_t len = text::char_len(p);
        std::string ch(p, len);
        std::string& sink = in_expr ? expression : out;
        if ((*p == '\\' && len == 1) || ch == kYen) {
          p += len;
          if (!*p) break;
          std::size_t n = text::char_len(p);
          std::string next(p, n);
          if (next == "n" || next == kWideN)
            out += "\r\n";
          else if (next == "t" || next == kWideT)
            out += "\t";
          else
            out += next;
          p += n;
          continue;
        }
        if (ch == terminator) {
          p += len;
          open = false;
          break;
        }
        bool opening = ch == "{" || ch == kWideOpen;
        bool closing = ch == "}" || ch == kWideClose;
        if (opening && !(here && in_expr)) {
          in_expr = true;
        } else if (closing && !(here && !in_expr)) {
          if (in_expr) out += EvalArgument(text::normalize_half_width(expression));
          expression.clear();
          in_expr = false;
        } else {
          sink += ch;
        }
        p += len;
      }
      if (!open && !here) {
        skip_blanks(p);
        if (*p == '&') ++p;
      }
      continue;
    }
    if (*p == '`') {
      ++p;
      while (*p) {
        if (*p == '`') {
          if (p[1] == '`') {
            out += '`';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        std::size_t len = text::char_len(p);
        out.append(p, len);
        p += len;
      }
      skip_blanks(p);
      if (*p == '&') ++p;
      continue;
    }
    if (*p == '&') {
      ++p;
      continue;
    }
    const char* before = p;
    out += ReadTerm(p).text;
    if (p == before && *p) p += text::char_len(p);
  }
  if (open) throw Error(text::sjis("文字列\"") + out + text::sjis("\"の最後に」がありません。"));
  current_type_ = "s";
  return out;
}

// ---- the term reader
// -------------------------------------------------------------------------------

expr::Value Interpreter::ReadTerm(const char*& p) {
  NestingGuard guard(*this);
  skip_blanks(p);
  if (starts_literal(p)) return {ExpandString(ReadLiteralAt(p)), current_type_ = "s"};
  if (*p == '$' || is_digit(*p)) return {read_number(p), current_type_ = "e"};
  if (*p == '(') return EvaluateText(ReadGroupAt(p));
  if (*p == '-') {
    ++p;
    expr::Value inner = ReadTerm(p);
    return {"-" + inner.text, current_type_ = inner.type_mark.empty() ? "e" : inner.type_mark};
  }
  const char* word_start = p;
  std::string word = read_word(p);
  if (word.empty()) return {"", current_type_ = "s"};

  if (*p == '(') {
    if (words::THashNode* fn = FindCallee(word, word_start)) {
      if (fn->Kind == words::kCommand || fn->Kind == words::kLabel ||
          fn->Kind == words::kDllFunction)
        return CallFunctionForm(*fn, p);
    }
  }
  // A の B: the dictionary or property access, also in the middle of a word (Vのk).
  static const std::string kNo = text::sjis("の");
  if (!FindWord(word)) {
    for (std::size_t i = 0; i < word.size(); i += text::char_len(word, i)) {
      if (i == 0 || word.compare(i, kNo.size(), kNo) != 0) continue;
      std::string owner = word.substr(0, i);
      words::THashNode* w = FindWord(owner);
      if (!w) continue;
      p -= word.size() - (i + kNo.size());
      return ReadAccess(w, owner, p);
    }
  }
  words::THashNode* w = FindWord(word);
  if (!w) return {word, current_type_ = "s"};
  switch (w->Kind) {
    case words::kCommand:
    case words::kDllFunction: {
      words::THashNode* sore = state_->Sys.Sore;
      words::THashNode::KeptValue saved_value = sore->KeepValue();
      std::string saved_type = sore->TypeMark;
      RunWord(*w);
      expr::Value v{sore->GetValue(), sore->TypeMark};
      sore->RestoreValue(std::move(saved_value));
      sore->TypeMark = std::move(saved_type);
      current_type_ = v.type_mark;
      return v;
    }
    case words::kVariable:
      current_type_ = w->TypeMark;
      if (*p == '#') return ReadElement(*w, p);
      return {w->GetValue(), w->TypeMark};
    case words::kHash: {
      words::THash* inner = w->InnerHash();
      return {inner ? inner->GetAsText() : std::string(), current_type_ = "hs"};
    }
    case words::kPart:
      if (PartAccess* parts = host_.Parts()) {
        expr::Value v = parts->ReadMainValue(*this, *w);
        current_type_ = v.type_mark;
        return v;
      }
      current_type_ = "s";
      return {w->GetValue(), "s"};
    default:
      throw Error("\"" + w->Name + text::sjis("\"は、このランタイムではまだ値として読めません。"));
  }
}

// A call in a pinned text names the same global word as long as the names and the locals hiding
// globals stay as they were; a local word is looked up each time.
words::THashNode* Interpreter::FindCallee(const std::string& name, const char* at) {
  const words::TScopedHash& table = state_->Words;
  PreparedCallee* kept = preparing_ ? KeptAt(prepared_->callees, prepared_->pinned, at) : nullptr;
  if (kept && kept->names_generation == table.NamesGeneration() &&
      kept->shadows_generation == table.ShadowsGeneration())
    return kept->word;
  bool global = true;
  words::THashNode* found = table.FindScoped(name, true, &global);
  if (kept && global) *kept = {found, table.NamesGeneration(), table.ShadowsGeneration()};
  return found;
}

expr::Value Interpreter::ReadElement(words::THashNode& word, const char*& p) {
  auto read_index = [&]() -> std::int64_t {
    ++p;  // '#'
    std::string key;
    if (*p == '(') {
      key = EvaluateText(ReadGroupAt(p)).text;
    } else {
      key = ReadTerm(p).text;
    }
    std::int64_t index = -1;
    if (!expr::ToInteger(key, index)) index = -1;
    return index;
  };
  std::int64_t first = read_index();
  skip_blanks(p);
  std::string value;
  if (*p == '#') {
    std::int64_t second = read_index();
    value = word.GetCell(first, second);
  } else {
    value = word.GetRow(first);
  }
  current_type_ = guess_type(value);
  return {value, current_type_};
}

std::string Interpreter::ReadAccessKey(const char*& p, bool expand_words) {
  skip_blanks(p);
  if (starts_literal(p)) return ExpandString(ReadLiteralAt(p));
  if (*p == '(') return ReadGroupAt(p);
  std::string word = read_word(p);
  return expand_words ? EvalArgument(word) : word;
}

expr::Value Interpreter::ReadAccess(words::THashNode* owner, const std::string& owner_name,
                                    const char*& p) {
  static const std::string kNo = text::sjis("の");
  for (int hops = 0; owner; ++hops) {
    switch (owner->Kind) {
      case words::kVariable: {
        std::string key = ReadAccessKey(p, true);
        std::string lines = owner->GetValue();
        words::THashNode* named = FindWord(lines);
        if (hops < 8 && named && (named->Kind == words::kPart || named->Kind == words::kHash)) {
          // The variable names a part or dictionary: it stands for that word.
          owner = named;
          std::string rest = key;
          const char* q = rest.c_str();
          return ReadAccess(owner, owner->Name, q);
        }
        std::string value = entry_of_lines(lines, key);
        current_type_ = guess_type(value).empty() ? "s" : guess_type(value);
        return {value, current_type_};
      }
      case words::kHash: {
        words::THash* inner = owner->InnerHash();
        if (!inner)
          throw Error(
              text::sjis("作成されていないハッシュ\"") + owner_name +
              text::sjis("\"が、見つかりました。メモリが足りないか、バグの可能性があります。"));
        std::string key = ReadAccessKey(p, true);
        words::THashNode* entry = inner->Find(key);
        if (!entry) return {"", current_type_ = "s"};
        if (p[0] && std::string_view(p, kNo.size()) == kNo &&
            (entry->Kind == words::kHash || entry->Kind == words::kPart)) {
          p += kNo.size();
          owner = entry;
          continue;
        }
        std::string mark =
            entry->TypeMark.empty() ? "s" : entry->TypeMark.substr(entry->TypeMark.size() - 1);
        current_type_ = mark;
        return {entry->GetValue(), mark};
      }
      case words::kPart: {
        PartAccess* parts = host_.Parts();
        if (!parts)
          throw Error("\"" + owner_name +
                      text::sjis("\"の項目は、このランタイムではまだ読めません。"));
        std::string property = ReadAccessKey(p, false);
        expr::Value v = parts->ReadProperty(*this, *owner, property);
        current_type_ = v.type_mark;
        return v;
      }
      default:
        throw Error(text::sjis("部品\"") + owner_name +
                    text::sjis("\"から、直接値を得ることは出来ません。"));
    }
  }
  return {"", current_type_ = "s"};
}

}  // namespace morivel::engine
