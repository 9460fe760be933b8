// The registry as a per-user store: one SQLite file under the XDG configuration folder, holding
// keys under the four roots and typed values. Every change is one transaction, so a crash loses
// at most the change under way, and several running scripts may share the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace morivel::automation {

enum class ValueType { String = 1, Binary = 3, Dword = 4 };

struct RegistryValue {
  ValueType type = ValueType::String;
  std::string data;  // the bytes; a DWORD as its decimal text
};

// Key paths are Shift-JIS, components separated by "\" (never a trail byte); names compare
// without regard to ASCII case, as the registry's do.
class RegistryStore {
 public:
  // The store of the current user: $XDG_CONFIG_HOME/morivel/registry.sqlite3.
  static std::filesystem::path DefaultPath();
  // nullopt when the file cannot be opened or set up.
  static std::unique_ptr<RegistryStore> Open(const std::filesystem::path& file);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool CreateKey(int root, const std::string& path);
  bool KeyExists(int root, const std::string& path);
  std::optional<RegistryValue> Read(int root, const std::string& path, const std::string& name);
  bool Write(int root, const std::string& path, const std::string& name,
             const RegistryValue& value);
  // False when there was nothing to delete.
  bool DeleteValue(int root, const std::string& path, const std::string& name);
  bool DeleteKey(int root, const std::string& path);
  std::vector<std::string> SubKeys(int root, const std::string& path);

  // The components of a path, empty ones dropped.
  static std::vector<std::string> Components(const std::string& path);
  // The comparison form: components joined by "\", ASCII letters upper-cased.
  static std::string Folded(const std::string& path);

 private:
  static std::unique_ptr<RegistryStore> OpenOnce(const std::filesystem::path& file);
  explicit RegistryStore(sqlite3* db);
  bool Exec(const char* sql);
  class Transaction;
  class Statement;
  sqlite3* db_;
};

}  // namespace morivel::automation
