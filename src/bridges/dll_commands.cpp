// DLL宣言, 文字型DLL宣言, DLLを利用: functions of shared libraries declared as commands and called.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <tuple>

#include "bridges/families.h"
#include "bridges/shared_library.h"
#include "engine/external.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/paths.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::bridges {

namespace {

using engine::Interpreter;

constexpr std::size_t kMaxUntypedArguments = 5;

// Keeps a module loaded until the run ends, one hold per declaration.
class LibraryHold : public words::OwnedObject {
 public:
  explicit LibraryHold(std::shared_ptr<SharedLibrary> library) : library_(std::move(library)) {}

 private:
  std::shared_ptr<SharedLibrary> library_;
};

engine::EMorv definition_error(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("DLLからインポートした命令\"") + name +
                  text::sjis("\"の定義が間違っています。"));
}

engine::EMorv call_error(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("外部DLLからの関数\"") + name +
                  text::sjis("\"の呼び出しに失敗しました。"));
}

// A conversion that cannot give the callee a value of its type.
struct BadArgument {};

// One argument text of a call. A variable passes its own text, so that what the callee writes
// there becomes the variable's value.
struct CallArgument {
  std::string text;
  words::THashNode* variable = nullptr;
  std::string before;
};

std::vector<CallArgument> pop_call_arguments(Interpreter& in, std::size_t count) {
  std::vector<CallArgument> arguments(count);
  for (std::size_t k = count; k-- > 0;) {
    std::string raw = in.PopArgumentText();
    words::THashNode* word = in.FindWord(raw);
    if (word && word->Kind == words::kVariable) {
      arguments[k].text = word->GetValue();
      arguments[k].before = arguments[k].text;
      arguments[k].variable = word;
    } else {
      arguments[k].text = in.EvalArgument(raw);
    }
  }
  return arguments;
}

// A written buffer holds the callee's string up to its terminator.
void write_back(std::vector<CallArgument>& arguments) {
  for (CallArgument& argument : arguments) {
    if (!argument.variable || argument.text == argument.before) continue;
    argument.text.resize(std::strlen(argument.text.c_str()));
    argument.variable->SetValue(std::move(argument.text));
  }
}

std::size_t count_slots(const std::string& templ) {
  return static_cast<std::size_t>(std::count(templ.begin(), templ.end(), '?'));
}

// The nearest integer of an argument within [low, high].
std::int64_t integer_in(const std::string& text, std::int64_t low, std::int64_t high) {
  long double number = std::nearbyint(expr::ToNumber(text));
  if (!std::isfinite(number) || number < static_cast<long double>(low) ||
      number > static_cast<long double>(high))
    throw BadArgument{};
  return static_cast<std::int64_t>(number);
}

CType ctype_of(char letter) {
  switch (letter) {
    case 'p':
      return CType::Pointer;
    case 'w':
      return CType::UInt16;
    case 'd':
      return CType::UInt32;
    case 'b':
    case 'i':
      return CType::Int32;
    default:
      return CType::Void;
  }
}

ForeignSignature::Slot to_slot(char letter, CallArgument& argument) {
  ForeignSignature::Slot slot{};
  switch (letter) {
    case 'p':
      slot.pointer = argument.text.data();
      break;
    case 'w':
      slot.u16 = static_cast<std::uint16_t>(integer_in(argument.text, 0, 0xFFFF));
      break;
    case 'd':
      slot.u32 = static_cast<std::uint32_t>(integer_in(argument.text, 0, 0xFFFFFFFFLL));
      break;
    case 'b':
      slot.i32 = expr::ToNumber(argument.text) == 0 ? 0 : -1;
      break;
    case 'i':
      slot.i32 = static_cast<std::int32_t>(integer_in(argument.text, INT32_MIN, INT32_MAX));
      break;
    default:
      throw BadArgument{};
  }
  return slot;
}

void set_result(Interpreter& in, const std::string& name, char letter,
                const ForeignSignature::Result& result) {
  const auto low32 = static_cast<std::uint32_t>(result.integer);
  switch (letter) {
    case 'p': {
      std::optional<std::string> text = read_returned_text(result.pointer);
      if (!text) throw call_error(in, name);
      in.SetResult(std::move(*text), "s");
      return;
    }
    case 'w':
      in.SetResult(std::to_string(low32 & 0xFFFFu), "e");
      return;
    case 'd':
      in.SetResult(std::to_string(low32), "e");
      return;
    case 'b':
    case 'i':
      in.SetResult(std::to_string(static_cast<std::int32_t>(low32)), "e");
      return;
    default:
      return;  // void: nothing is stored
  }
}

// The call record a declared word carries; the module stays loaded while the word exists.
class DllFunction : public engine::ExternalCall {
 public:
  DllFunction(std::shared_ptr<SharedLibrary> library, void (*function)())
      : library_(std::move(library)), function_(function) {}

  void Call(Interpreter& in, words::THashNode& word) override {
    const std::string style = word.GetValue();
    std::vector<CallArgument> arguments = pop_call_arguments(in, count_slots(word.Extra));
    if (!style.empty() && style[0] == '=')
      CallTyped(in, word.Name, style.substr(1), arguments);
    else
      CallUntyped(in, word.Name, style, arguments);
  }

 private:
  void CallUntyped(Interpreter& in, const std::string& name, const std::string& style,
                   std::vector<CallArgument>& arguments) const {
    if (arguments.size() > kMaxUntypedArguments || (style != "" && style != "P"))
      throw definition_error(in, name);
    const bool text_result = style == "P";
    ForeignSignature signature(text_result ? CType::Pointer : CType::Int32,
                               std::vector<CType>(arguments.size(), CType::Pointer));
    std::vector<ForeignSignature::Slot> slots(arguments.size());
    for (std::size_t k = 0; k < arguments.size(); ++k) slots[k].pointer = arguments[k].text.data();
    std::optional<ForeignSignature::Result> result = signature.Call(function_, slots);
    if (!result) throw call_error(in, name);
    set_result(in, name, text_result ? 'p' : 'i', *result);
    write_back(arguments);
  }

  // `letters`: the result letter, then one letter per parameter in prototype order.
  void CallTyped(Interpreter& in, const std::string& name, const std::string& letters,
                 std::vector<CallArgument>& arguments) const {
    if (letters.empty()) throw definition_error(in, name);
    std::string parameters = letters.substr(1);
    std::erase(parameters, 'v');
    if (parameters.size() != arguments.size()) throw definition_error(in, name);
    std::vector<CType> types;
    std::vector<ForeignSignature::Slot> slots;
    try {
      for (std::size_t k = 0; k < parameters.size(); ++k) {
        types.push_back(ctype_of(parameters[k]));
        slots.push_back(to_slot(parameters[k], arguments[k]));
      }
    } catch (const BadArgument&) {
      throw call_error(in, name);
    }
    ForeignSignature signature(ctype_of(letters[0]), std::move(types));
    std::optional<ForeignSignature::Result> result = signature.Call(function_, slots);
    if (!result) throw call_error(in, name);
    set_result(in, name, letters[0], *result);
    write_back(arguments);
  }

  std::shared_ptr<SharedLibrary> library_;
  void (*function_)();
};

// ---- declarations -----------------------------------------------------------------------------

std::string normalized(const std::string& text) {
  return text::trim(text::normalize_half_width(text));
}

struct LoadedFunction {
  std::shared_ptr<SharedLibrary> library;
  void (*function)();
};

LoadedFunction load_function(Interpreter& in, const std::string& dll, const std::string& name) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  std::string native_folder = folder ? text::to_utf8(folder->GetValue()) : std::string();
  std::shared_ptr<SharedLibrary> library;
  for (const std::string& candidate :
       library_candidates(text::to_utf8(text::to_slash_separators(dll)), native_folder)) {
    if ((library = SharedLibrary::Open(candidate))) break;
  }
  if (!library) throw in.Error(text::sjis("DLL\"") + dll + text::sjis("\"が見つかりません。"));
  void (*function)() = library->Find(text::to_utf8(name));
  if (!function)
    throw in.Error(text::sjis("DLL\"") + dll + text::sjis("\"の関数\"") + name +
                   text::sjis("\"が見つかりません。"));
  return {std::move(library), function};
}

struct Declaration {
  std::string command;
  std::string dll;
  std::string function;
  std::string style;
  std::string templ;
};

void add_declared_word(Interpreter& in, const Declaration& d) {
  LoadedFunction loaded = load_function(in, d.dll, d.function);
  words::TMorvBase& state = in.State();
  auto word = std::make_unique<words::THashNode>(
      d.command, false, std::make_shared<DllFunction>(loaded.library, loaded.function),
      words::kDllFunction, 0, "\"" + d.dll + "\"" + d.function, d.style, d.templ);
  try {
    state.Words.Add(std::move(word));
  } catch (const GeneralError& e) {
    throw in.Error(e.what());
  }
  state.OwnedObjects.push_back(std::make_unique<LibraryHold>(std::move(loaded.library)));
}

// "name(template)" gives the function name and its particle template.
std::pair<std::string, std::string> split_function_signature(const std::string& signature) {
  std::size_t open = signature.find('(');
  if (open == std::string::npos) return {text::trim(signature), ""};
  std::string inside = text::trim(signature.substr(open + 1));
  if (!inside.empty() && inside.back() == ')') inside.pop_back();
  return {text::trim(signature.substr(0, open)), inside};
}

void declare_untyped(Interpreter& in, const char* style) {
  Declaration d;
  d.command = normalized(in.PopArgumentValue());
  std::string signature = normalized(in.PopArgumentValue());
  d.dll = in.PopArgumentValue();
  std::tie(d.function, d.templ) = split_function_signature(signature);
  d.style = style;
  add_declared_word(in, d);
}

void declare_dll(Interpreter& in) {
  declare_untyped(in, "");
}

void declare_text_dll(Interpreter& in) {
  declare_untyped(in, "P");
}

// The letter of a C type written in a prototype; "" for a type calls cannot carry.
std::string type_letter(std::string type) {
  std::erase(type, ' ');
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const std::pair<const char*, const char*> kLetters[] = {
      {"void", "v"}, {"char*", "p"}, {"word", "w"}, {"dword", "d"}, {"bool", "b"}, {"int", "i"}};
  for (const auto& [name, letter] : kLetters)
    if (type == name) return letter;
  return "";
}

struct Prototype {
  std::string result;      // one letter, "" for a type calls cannot return
  std::string parameters;  // one letter per parameter of a known type
  std::string name;
};

// "dword Name(dword,char*)": the result type, the function name and the parameter types.
Prototype parse_prototype(const std::string& prototype) {
  Prototype parsed{"v", "", prototype};
  std::string head = prototype;
  if (std::size_t open = prototype.find('('); open != std::string::npos) {
    head = text::trim(prototype.substr(0, open));
    std::string inside = text::trim(prototype.substr(open + 1));
    if (!inside.empty() && inside.back() == ')') inside.pop_back();
    std::size_t from = 0;
    while (true) {
      std::size_t comma = inside.find(',', from);
      parsed.parameters += type_letter(inside.substr(from, comma - from));
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
  }
  parsed.name = head;
  if (std::size_t space = head.find(' '); space != std::string::npos) {
    parsed.result = type_letter(head.substr(0, space));
    parsed.name = text::trim(head.substr(space + 1));
  }
  return parsed;
}

void use_dll(Interpreter& in) {
  Declaration d;
  d.command = normalized(in.PopArgumentValue());
  d.templ = normalized(in.PopArgumentValue());
  Prototype prototype = parse_prototype(normalized(in.PopArgumentValue()));
  d.dll = in.PopArgumentValue();
  const auto arguments = static_cast<std::size_t>(std::count_if(
      prototype.parameters.begin(), prototype.parameters.end(), [](char c) { return c != 'v'; }));
  // An unknown result type would leave no way to read what the function returns.
  if (prototype.result.empty() || arguments != count_slots(d.templ)) throw in.ArgumentError();
  d.function = prototype.name;
  d.style = "=" + prototype.result + prototype.parameters;
  add_declared_word(in, d);
}

}  // namespace

void register_dll(commands::HandlerTable& table) {
  table.Set(49, declare_dll);
  table.Set(380, declare_text_dll);
  table.Set(390, use_dll);
}

}  // namespace morivel::bridges
