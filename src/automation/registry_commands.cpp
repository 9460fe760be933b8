// Commands: レジストリ開く, 閉じる, 読む, 書く, バイナリ and DWORD values, deletions and subkeys,
// on the per-user registry store.
#include <cstdint>

#include "automation/families.h"
#include "automation/owned.h"
#include "automation/registry_store.h"
#include "automation/settings_policy.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::automation {
namespace {

using engine::Interpreter;

constexpr int kRootCount = 4;
constexpr unsigned long long kBaseRoot = 0x80000000ULL;

// The one key a run may hold open.
class OpenKey : public words::OwnedObject {
 public:
  std::unique_ptr<RegistryStore> store;
  int root = 0;
  std::string path;
  void Close() { store.reset(); }
};

OpenKey& open_key(Interpreter& in) {
  return OwnedOf<OpenKey>(in.State());
}

OpenKey& require_open(Interpreter& in) {
  OpenKey& key = open_key(in);
  if (!key.store) throw in.Error(text::sjis("レジストリが開かれていません。"));
  return key;
}

// A root as the constants give it (0 to 3), or as the platform's root handle.
std::optional<int> parse_root(const std::string& written) {
  std::string t = text::trim(written);
  if (t.empty() || t.size() > 12) return std::nullopt;
  unsigned long long n = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (n >= kBaseRoot) n -= kBaseRoot;
  if (n >= kRootCount) return std::nullopt;
  return static_cast<int>(n);
}

void open_registry(Interpreter& in) {
  std::string path = in.PopArgumentValue();
  std::string root_text = in.PopArgumentValue();
  OpenKey& key = open_key(in);
  key.Close();
  std::optional<int> root = parse_root(root_text);
  if (!root) throw in.ArgumentError();
  std::unique_ptr<RegistryStore> store = RegistryStore::Open(RegistryStore::DefaultPath());
  if (!store || !store->CreateKey(*root, path)) throw in.ArgumentError();
  key.store = std::move(store);
  key.root = *root;
  key.path = path;
}

void close_registry(Interpreter& in) {
  open_key(in).Close();
}

std::string guessed_type(const std::string& value) {
  if (value.empty()) return "";
  return value[0] == '$' || (value[0] >= '0' && value[0] <= '9') ? "e" : "s";
}

std::string sore_value(Interpreter& in) {
  const words::THashNode* sore = in.State().Sys.Sore;
  return sore ? sore->GetValue() : std::string();
}

bool write_refused(Interpreter& in, OpenKey& key, const std::string& name,
                   const std::string& shown_value) {
  std::string message = text::sjis("レジストリ") + Quoted(key.path) + text::sjis("の,") +
                        Quoted(name) + text::sjis("に,") + "\r\n" + Quoted(shown_value) +
                        text::sjis("が書き込まれます。よろしいですか？");
  return SettingsChangeRefused(in, RegistryStore::DefaultPath(), message);
}

void write_value(Interpreter& in, OpenKey& key, const std::string& name,
                 const RegistryValue& value) {
  if (!key.store->Write(key.root, key.path, name, value))
    throw in.Error(text::sjis("レジストリ") + Quoted(key.path) + text::sjis("の,") + Quoted(name) +
                   text::sjis("に書き込めません。"));
}

// A string read gives any value as text: a DWORD as its number, binary data as its bytes.
void read_string(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  std::optional<RegistryValue> value = key.store->Read(key.root, key.path, name);
  std::string text = value ? value->data : std::string();
  in.SetResult(text, guessed_type(text));
}

void write_string(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  std::string value = sore_value(in);
  if (write_refused(in, key, name, value)) return;
  write_value(in, key, name, {ValueType::String, value});
}

std::size_t count_of(long double n) {
  return n > 0 ? static_cast<std::size_t>(std::min<long double>(n, 1e9)) : 0;
}

void read_binary(Interpreter& in) {
  in.PopArgumentNumber();  // the whole stored value is read, whatever the count
  std::string name = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  std::optional<RegistryValue> value = key.store->Read(key.root, key.path, name);
  in.SetResult(value ? value->data : std::string(), "s");
}

void write_binary(Interpreter& in) {
  std::size_t count = count_of(in.PopArgumentNumber());
  std::string name = in.PopArgumentValue();
  std::string data = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  data.resize(std::min(count, data.size()));
  if (write_refused(in, key, name, data)) return;
  write_value(in, key, name, {ValueType::Binary, data});
}

void read_dword(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  std::optional<RegistryValue> value = key.store->Read(key.root, key.path, name);
  std::string number = value && value->type == ValueType::Dword ? value->data : "0";
  in.SetResult(number, "e");
}

void write_dword(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  long double n = in.PopArgumentNumber();
  OpenKey& key = require_open(in);
  // A DWORD holds 32 bits; the number keeps its low 32 bits as a signed value, as the registry's
  // readers see it.
  auto bits = static_cast<std::uint32_t>(static_cast<long long>(n));
  std::string number = std::to_string(static_cast<std::int32_t>(bits));
  if (write_refused(in, key, name, number)) return;
  write_value(in, key, name, {ValueType::Dword, number});
}

engine::EMorv not_deleted(Interpreter& in, const std::string& name) {
  return in.Error(Quoted(name) + text::sjis("が削除できません。"));
}

void delete_value(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  std::string message = text::sjis("レジストリ") + Quoted(key.path) + text::sjis("の,") +
                        Quoted(name) + text::sjis("の値が,削除されます。よろしいですか？");
  if (SettingsChangeRefused(in, RegistryStore::DefaultPath(), message)) return;
  if (!key.store->DeleteValue(key.root, key.path, name)) throw not_deleted(in, name);
}

// A key with a leading "\" is taken from the root, any other below the open key.
std::string key_path_of(const OpenKey& key, const std::string& name) {
  if (!name.empty() && name[0] == '\\') return name;
  return key.path + "\\" + name;
}

void delete_key(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  OpenKey& key = require_open(in);
  std::string message = text::sjis("レジストリ") + Quoted(key.path) + text::sjis("の,") +
                        Quoted(name) + text::sjis("キーが,削除されます。よろしいですか？");
  if (SettingsChangeRefused(in, RegistryStore::DefaultPath(), message)) return;
  if (RegistryStore::Components(name).empty() ||
      !key.store->DeleteKey(key.root, key_path_of(key, name)))
    throw not_deleted(in, name);
}

void sub_keys(Interpreter& in) {
  OpenKey& key = require_open(in);
  std::string out;
  for (const std::string& name : key.store->SubKeys(key.root, key.path))
    out += text::trim(name) + "\r\n";
  in.SetResult(out, "s");
}

}  // namespace

void RegisterRegistryCommands(commands::HandlerTable& table) {
  table.Set(164, open_registry);
  table.Set(165, close_registry);
  table.Set(162, read_string);
  table.Set(163, write_string);
  table.Set(417, read_binary);
  table.Set(418, write_binary);
  table.Set(423, read_dword);
  table.Set(424, write_dword);
  table.Set(166, delete_value);
  table.Set(167, delete_key);
  table.Set(432, sub_keys);
}

}  // namespace morivel::automation
