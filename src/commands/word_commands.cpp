// Commands on words themselves: type changes, copying and listing.
#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

std::string unquoted(std::string name) {
  if (name.size() >= 2 && name.front() == '`' && name.back() == '`')
    return name.substr(1, name.size() - 2);
  return name;
}

engine::EMorv already_exists(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("部品\"") + name +
                  text::sjis("\"は、既に存在するので、作成できません。"));
}

engine::EMorv not_created(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("部品\"") + name + text::sjis("\"は、作成されていません。"));
}

// The word a word command works on; created as a variable with `initial` when missing.
words::THashNode& word_for_type_change(Interpreter& in, const std::string& name,
                                       const std::string& initial) {
  words::THashNode* w = in.FindWord(name);
  if (!w) return in.CreateVariable(name, initial);
  if (w->Reserved) throw already_exists(in, name);
  return *w;
}

void treat_as_number(Interpreter& in) {
  std::string name = unquoted(in.PopArgumentText());
  words::THashNode& w = word_for_type_change(in, name, "0");
  if (w.Kind == words::kHash) {
    w.Obj.reset();
    w.SetValue("0");
  }
  w.SetKind(words::kVariable);
  w.TypeMark = "e";
  if (w.GetValue().empty()) w.SetValue("0");
}

void treat_as_string(Interpreter& in) {
  std::string name = unquoted(in.PopArgumentText());
  words::THashNode& w = word_for_type_change(in, name, "");
  if (w.Kind == words::kHash) {
    words::THash* inner = w.InnerHash();
    w.SetValue(inner ? inner->GetAsText() : std::string());
    w.Obj.reset();
  }
  w.SetKind(words::kVariable);
  w.TypeMark = "s";
}

void treat_as_dictionary(Interpreter& in) {
  std::string name = unquoted(in.PopArgumentText());
  words::THashNode& w = word_for_type_change(in, name, "");
  if (w.Kind == words::kVariable) {
    auto inner = std::make_shared<words::THash>();
    inner->SetFromText(w.GetValue());
    w.Obj = std::move(inner);
  } else if (w.Kind == words::kHash) {
    w.SetValue("");
    if (!w.InnerHash()) w.Obj = std::make_shared<words::THash>();
  } else {
    throw in.Error("\"" + name + text::sjis("\"は、文法が正しくないため、実行できません。") +
                   text::sjis("変更できません！"));
  }
  w.SetKind(words::kHash);
  w.TypeMark = "hs";
}

void copy_word(Interpreter& in) {
  std::string target_name = unquoted(in.PopArgumentText());
  std::string source_name = unquoted(in.PopArgumentText());
  words::THashNode* source = in.FindWord(source_name);
  if (!source) throw not_created(in, source_name);
  words::THashNode* target = in.FindWord(target_name);
  if (!target) target = &in.CreateVariable(target_name);
  if (target->Reserved) throw in.Error("\"" + target_name + text::sjis("\"は、読取専用です。"));
  target->Assign(*source);
}

void list_variable_names(Interpreter& in) {
  std::string level_text = in.ImplicitSore() ? std::string() : in.PopArgumentValue();
  if (in.ImplicitSore()) in.PopArgumentText();
  std::int64_t level = 0;
  if (!expr::TruncateToInt64(expr::ToNumber(level_text), level)) level = 0;
  std::string out;
  for (const words::THashNode* w : in.State().Words.Enumerate()) {
    if ((w->Kind != words::kVariable && w->Kind != words::kHash) || w->Reserved) continue;
    if (w->Tag < level) continue;
    out += w->Name + "\r\n";
  }
  in.SetResult(out, "s");
}

void list_keys(Interpreter& in) {
  std::string name = unquoted(in.PopArgumentText());
  words::THashNode* w = in.FindWord(name);
  if (!w) throw not_created(in, name);
  std::string out;
  if (w->Kind == words::kHash && w->InnerHash()) {
    for (const words::THashNode* entry : w->InnerHash()->Enumerate()) out += entry->Name + "\r\n";
  } else {
    words::THash lines;
    lines.SetFromText(w->GetValue());
    for (const words::THashNode* entry : lines.Enumerate()) out += entry->Name + "\r\n";
  }
  in.SetResult(out, "s");
}

}  // namespace

void register_word_commands(HandlerTable& table) {
  table.Set(194, treat_as_number);
  table.Set(195, treat_as_string);
  table.Set(213, treat_as_dictionary);
  table.Set(294, copy_word);
  table.Set(393, list_variable_names);
  table.Set(211, list_keys);
  table.Set(212, list_keys);
}

}  // namespace morivel::commands
