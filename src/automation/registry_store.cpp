#include "automation/registry_store.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "text/sjis.h"

namespace morivel::automation {

namespace fs = std::filesystem;

namespace {

constexpr int kBusyTimeoutMs = 30000;

// Made under the write lock: two programs opening a new store at once would otherwise both read
// the schema as missing, and the second one's write would fail at once on its stale snapshot
// (the busy timeout does not cover that case).
const char* kSchema =
    "BEGIN IMMEDIATE;"
    "CREATE TABLE IF NOT EXISTS keys(root INTEGER NOT NULL, folded BLOB NOT NULL,"
    " parent BLOB NOT NULL, name BLOB NOT NULL, PRIMARY KEY(root, folded));"
    "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(root, parent);"
    "CREATE TABLE IF NOT EXISTS reg_values(root INTEGER NOT NULL, folded BLOB NOT NULL,"
    " value_folded BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(root, folded, value_folded));"
    "COMMIT;";

std::string fold_component(const std::string& s) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size(); i += text::char_len(out, i))
    if (text::char_len(out, i) == 1 && out[i] >= 'a' && out[i] <= 'z')
      out[i] = static_cast<char>(out[i] - 'a' + 'A');
  return out;
}

std::string join(const std::vector<std::string>& parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += (i ? "\\" : "") + fold_component(parts[i]);
  return out;
}

}  // namespace

class RegistryStore::Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int value) {
    sqlite3_bind_int(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, const std::string& value) {
    sqlite3_bind_blob(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  bool Run() { return Step() == SQLITE_DONE; }
  int Int(int column) { return sqlite3_column_int(stmt_, column); }
  std::string Blob(int column) {
    const void* data = sqlite3_column_blob(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE takes the write lock at once, so two writers wait for each other instead of
// failing half-way; anything not committed is rolled back.
class RegistryStore::Transaction {
 public:
  explicit Transaction(RegistryStore& store) : store_(store) {
    ok_ = store_.Exec("BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (ok_ && !done_) store_.Exec("ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool Ok() const { return ok_; }
  bool Commit() {
    done_ = store_.Exec("COMMIT");
    return done_;
  }

 private:
  RegistryStore& store_;
  bool ok_ = false, done_ = false;
};

fs::path RegistryStore::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  fs::path base =
      config && *config ? fs::path(config) : fs::path(home && *home ? home : ".") / ".config";
  return base / "morivel" / "registry.sqlite3";
}

std::unique_ptr<RegistryStore> RegistryStore::Open(const fs::path& file) {
  // A program setting up the same new store at the same moment can make the journal switch fail
  // at once, busy timeout or not: a few more tries take the store it has made.
  constexpr int kTries = 20;
  for (int attempt = 1;; ++attempt) {
    if (auto store = OpenOnce(file); store || attempt == kTries) return store;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::unique_ptr<RegistryStore> RegistryStore::OpenOnce(const fs::path& file) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<RegistryStore> store(new RegistryStore(db));
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (!store->Exec("PRAGMA journal_mode=WAL") || !store->Exec("PRAGMA synchronous=FULL") ||
      !store->Exec(kSchema))
    return nullptr;
  return store;
}

RegistryStore::RegistryStore(sqlite3* db) : db_(db) {}
RegistryStore::~RegistryStore() {
  sqlite3_close(db_);
}

bool RegistryStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::vector<std::string> RegistryStore::Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < path.size();) {
    std::size_t len = text::char_len(path, i);
    if (len == 1 && path[i] == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current.append(path, i, len);
    }
    i += len;
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

std::string RegistryStore::Folded(const std::string& path) {
  std::vector<std::string> parts = Components(path);
  return join(parts, parts.size());
}

bool RegistryStore::CreateKey(int root, const std::string& path) {
  Transaction tx(*this);
  if (!tx.Ok()) return false;
  std::vector<std::string> parts = Components(path);
  for (std::size_t n = 1; n <= parts.size(); ++n) {
    Statement insert(db_, "INSERT OR IGNORE INTO keys VALUES(?, ?, ?, ?)");
    if (!insert.Bind(1, root)
             .Bind(2, join(parts, n))
             .Bind(3, join(parts, n - 1))
             .Bind(4, parts[n - 1])
             .Run())
      return false;
  }
  return tx.Commit();
}

bool RegistryStore::KeyExists(int root, const std::string& path) {
  std::string folded = Folded(path);
  if (folded.empty()) return true;
  Statement query(db_, "SELECT 1 FROM keys WHERE root = ? AND folded = ?");
  return query.Bind(1, root).Bind(2, folded).Step() == SQLITE_ROW;
}

std::optional<RegistryValue> RegistryStore::Read(int root, const std::string& path,
                                                 const std::string& name) {
  Statement query(db_,
                  "SELECT type, data FROM reg_values WHERE root = ? AND folded = ? AND "
                  "value_folded = ?");
  if (query.Bind(1, root).Bind(2, Folded(path)).Bind(3, fold_component(name)).Step() != SQLITE_ROW)
    return std::nullopt;
  return RegistryValue{static_cast<ValueType>(query.Int(0)), query.Blob(1)};
}

bool RegistryStore::Write(int root, const std::string& path, const std::string& name,
                          const RegistryValue& value) {
  if (!CreateKey(root, path)) return false;
  Statement upsert(db_, "INSERT OR REPLACE INTO reg_values VALUES(?, ?, ?, ?, ?)");
  return upsert.Bind(1, root)
      .Bind(2, Folded(path))
      .Bind(3, fold_component(name))
      .Bind(4, static_cast<int>(value.type))
      .Bind(5, value.data)
      .Run();
}

bool RegistryStore::DeleteValue(int root, const std::string& path, const std::string& name) {
  Statement remove(db_,
                   "DELETE FROM reg_values WHERE root = ? AND folded = ? AND value_folded = ?");
  if (!remove.Bind(1, root).Bind(2, Folded(path)).Bind(3, fold_component(name)).Run()) return false;
  return sqlite3_changes(db_) > 0;
}

bool RegistryStore::DeleteKey(int root, const std::string& path) {
  std::string folded = Folded(path);
  if (folded.empty() || !KeyExists(root, path)) return false;
  Transaction tx(*this);
  if (!tx.Ok()) return false;
  // The key and everything below it: the folded path followed by the separator, compared as
  // bytes, selects exactly the subtree.
  std::string prefix = folded + "\\";
  for (const char* sql : {"DELETE FROM keys WHERE root = ?1 AND (folded = ?2 OR "
                          "substr(folded, 1, ?3) = ?4)",
                          "DELETE FROM reg_values WHERE root = ?1 AND (folded = ?2 OR "
                          "substr(folded, 1, ?3) = ?4)"}) {
    Statement remove(db_, sql);
    if (!remove.Bind(1, root)
             .Bind(2, folded)
             .Bind(3, static_cast<int>(prefix.size()))
             .Bind(4, prefix)
             .Run())
      return false;
  }
  return tx.Commit();
}

std::vector<std::string> RegistryStore::SubKeys(int root, const std::string& path) {
  Statement query(db_, "SELECT name FROM keys WHERE root = ? AND parent = ? ORDER BY folded");
  query.Bind(1, root).Bind(2, Folded(path));
  std::vector<std::string> names;
  while (query.Step() == SQLITE_ROW) names.push_back(query.Blob(0));
  return names;
}

}  // namespace morivel::automation
