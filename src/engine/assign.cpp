// Assignment statements: variables, array elements, dictionary entries and parts.
#include "engine/interpreter.h"
#include "engine/lexer.h"
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

// name=value lines with the line for `key` set to `value` (removed when the value is empty).
std::string set_entry_in_lines(const std::string& lines, const std::string& key,
                               const std::string& value) {
  std::string out;
  bool done = false;
  for (std::string_view line : text::split_lines(lines)) {
    std::size_t eq = line.find('=');
    if (!done && eq != std::string_view::npos && line.substr(0, eq) == key) {
      done = true;
      if (!value.empty()) out += key + "=" + value + "\r\n";
      continue;
    }
    out.append(line);
    out += "\r\n";
  }
  if (!done && !value.empty()) out += key + "=" + value + "\r\n";
  return text::trim(out);
}

}  // namespace

void Interpreter::AssignHashFromText(words::THashNode& word, const std::string& value) {
  auto inner = std::make_shared<words::THash>();
  inner->SetFromText(value);
  word.SetKind(words::kHash);
  word.Obj = std::move(inner);
}

void Interpreter::AssignStatement(const std::string& target_text) {
  words::TMorvBase& s = *state_;
  if (!s.Arguments.Empty()) return AssignElementStatement(target_text);
  if (!target_text.empty() &&
      (target_text[0] == '"' || target_text[0] == '`' || target_text[0] == '@'))
    throw Error("\"" + target_text +
                text::sjis("の代入文\"は、文法が正しくないため、実行できません。") +
                text::sjis("『変数名は、「内容」』のように書いてください。"));

  std::string raw;
  try {
    raw = expr::ReadStatementValue(s.Position);
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }
  AssignValue(target_text, text::trim(raw));
}

PreparedSplit* Interpreter::KeptSplit(const char* p) {
  return preparing_ ? KeptAt(prepared_->splits, prepared_->pinned, p) : nullptr;
}

PreparedAssignment* Interpreter::KeptAssignment(const char* p) {
  auto& assignments = prepared_->assignments;
  auto it = assignments.find(p);
  if (it == assignments.end()) {
    if (!prepared_->pinned.Holds(p)) return nullptr;
    it = assignments.emplace(p, PrepareAssignment(p)).first;
    if (it->second.value) prepared_->pinned.Pin(it->second.value);
  }
  // Entries are never removed while the run lasts, so the pointer stays valid.
  PreparedAssignment& assignment = it->second;
  if (!assignment.is_assignment) return nullptr;
  const std::string& value = *assignment.value;
  if (!assignment.prepared_value && !value.empty())
    assignment.prepared_value = prepared_->arguments.Find(
        value, [this](std::string_view t) { return Preparer(*this).Argument(t); });
  return &assignment;
}

bool Interpreter::RunPreparedAssignment() {
  words::TMorvBase& s = *state_;
  if (!preparing_ || !s.Arguments.Empty()) return false;
  PreparedAssignment* assignment = KeptAssignment(s.Position);
  if (!assignment) return false;
  s.Position = assignment->end;
  if (AssignPreparedValue(*assignment)) return true;
  // The statement reader makes an element's array before it reads the rest of the statement.
  if (assignment->names_element && !FindWord(assignment->array)) CreateVariable(assignment->array);
  AssignValue(assignment->name, *assignment->value, assignment->prepared_value.get(), true);
  return true;
}

void Interpreter::AssignValue(const std::string& target_text, std::string_view value_text,
                              PreparedArgumentEntry* prepared, bool pinned_value) {
  words::TMorvBase& s = *state_;
  std::string value = EvalArgumentWith(value_text, prepared, pinned_value);
  std::string type = current_type_;

  // Keys of an element target A#i or A#i#j.
  std::string name = target_text;
  std::vector<std::string> keys;
  std::size_t hash = name.find('#');
  if (hash != std::string::npos) {
    std::string rest = name.substr(hash + 1);
    name.resize(hash);
    std::size_t second = rest.find('#');
    keys.push_back(rest.substr(0, second));
    if (second != std::string::npos) keys.push_back(rest.substr(second + 1));
  }
  std::vector<std::int64_t> indexes;
  static const std::string kHa = text::sjis("は");
  for (std::string& key : keys) {
    if (ends_with(key, kHa)) key.resize(key.size() - kHa.size());
    std::int64_t index = -1;
    if (!key.empty() && expr::ToInteger(EvalArgument(key), index))
      indexes.push_back(index);
    else
      indexes.push_back(-1);
  }

  words::THashNode* word = FindWord(name);
  // A conjugated command name (言う=1) is the command, which takes no value.
  if (!word && IsKnownWord(name)) word = FindWord(name, true);
  if (!word) word = &CreateVariable(name, value);

  if (!indexes.empty()) {
    if (word->Kind != words::kVariable)
      throw Error("\"" + name + text::sjis("\"は、文法が正しくないため、実行できません。") +
                  text::sjis("代入出来ません。"));
    if (word->Reserved) throw Error("\"" + name + text::sjis("\"は、読取専用です。"));
    for (std::int64_t index : indexes)
      if (index > words::kMaxElementIndex)
        throw Error("\"" + name + "#" + std::to_string(index) +
                    text::sjis("\"の代入で引数に誤りがあります。要素番号は") +
                    std::to_string(words::kMaxElementIndex) + text::sjis("までです。"));
    if (indexes.size() == 1 && indexes[0] >= 0) word->SetRow(indexes[0], value);
    if (indexes.size() == 2 && indexes[0] >= 0 && indexes[1] >= 0)
      word->SetCell(indexes[0], indexes[1], value);
    return;
  }

  switch (word->Kind) {
    case words::kCommand: {
      static const std::string kFolder = text::sjis("作業フォルダ");
      if (word->Name != kFolder)
        throw Error("\"" + name + "\"" +
                    text::sjis("は\"システム命令\"で予約語なので代入できません。"));
      PushValueArgument(value);
      bool saved = function_call_mode_;
      function_call_mode_ = true;
      try {
        ExecuteCommand(*word);
      } catch (...) {
        function_call_mode_ = saved;
        throw;
      }
      function_call_mode_ = saved;
      return;
    }
    case words::kVariable:
      if (word->Reserved) throw Error("\"" + word->Name + text::sjis("\"は、読取専用です。"));
      if (type == "hs") {
        word->SetValue("");
        AssignHashFromText(*word, value);
        return;
      }
      word->SetValue(std::move(value));
      word->TypeMark = std::move(type);
      return;
    case words::kPart:
      if (PartAccess* parts = host_.Parts())
        parts->WriteMainValue(*this, *word, value);
      else
        word->SetValue(value);
      if (s.Sys.So) s.Sys.So->Assign(*word);
      return;
    case words::kHash:
      if (type == "hs") {
        AssignHashFromText(*word, value);
      } else {
        word->Obj.reset();
        word->SetKind(words::kVariable);
        word->SetValue(value);
      }
      return;
    default:
      throw Error("\"" + word->Name + text::sjis("\"は、文法が正しくないため、実行できません。") +
                  text::sjis("代入出来ません。"));
  }
}

void Interpreter::AssignElementStatement(const std::string& target) {
  words::TMorvBase& s = *state_;
  static const std::string kNo = text::sjis("の");
  std::string owner_entry = s.Arguments.Pop();
  if (!ends_with(owner_entry, kNo))
    throw Error(text::sjis("部品への不正な代入(") + owner_entry + "," + target +
                text::sjis(")。『部品の、項目名は、値』の形式で指定してください。"));
  std::string owner = owner_entry.substr(0, owner_entry.size() - kNo.size());

  words::THashNode* word = FindWord(owner);
  if (!word) {
    std::string expanded = EvalArgument(owner);
    word = FindWord(expanded);
    if (!word) {
      RefuseCommandName(expanded);
      auto hash = std::make_unique<words::THashNode>(
          expanded, false, std::make_shared<words::THash>(), words::kHash, s.CurrentLevel(),
          text::sjis("ハッシュ"), text::sjis("ハッシュ"), "");
      word = hash.get();
      try {
        s.Words.Add(std::move(hash));
      } catch (const GeneralError& e) {
        throw Error(e.what());
      }
    }
  } else if (word->Kind == words::kVariable) {
    if (words::THashNode* named = FindWord(EvalArgument(owner))) {
      if (named->Kind == words::kHash || named->Kind == words::kPart) word = named;
    }
  }

  std::string raw;
  try {
    raw = text::trim(expr::ReadStatementValue(s.Position));
  } catch (const GeneralError& e) {
    throw Error(e.what());
  }

  switch (word->Kind) {
    case words::kVariable: {
      if (word->Reserved) throw Error("\"" + word->Name + text::sjis("\"は、読取専用です。"));
      std::string key = EvalArgument(target);
      std::string value = EvalArgument(raw);
      word->SetValue(set_entry_in_lines(word->GetValue(), key, value));
      return;
    }
    case words::kHash: {
      std::string key = EvalArgument(target);
      std::string value = EvalArgument(raw);
      std::string type = current_type_;
      if (!word->InnerHash()) word->Obj = std::make_shared<words::THash>();
      words::THash& inner = *word->InnerHash();
      if (words::THashNode* entry = inner.Find(key)) {
        entry->TypeMark = type;
        entry->SetValue(value);
      } else {
        auto entry_word = words::THashNode::CreateVariable(key, false, s.CurrentLevel(), value);
        entry_word->TypeMark = type;
        inner.Add(std::move(entry_word));
      }
      return;
    }
    case words::kPart: {
      PartAccess* parts = host_.Parts();
      if (!parts)
        throw Error("\"" + word->Name +
                    text::sjis("\"の項目は、このランタイムではまだ設定できません。"));
      parts->WriteProperty(*this, *word, target, raw);
      return;
    }
    default:
      throw Error("\"" + word->Name + text::sjis("\"には代入できません！"));
  }
}

}  // namespace morivel::engine
