// The database commands (DB接続 ... DBフィールド数取得): one connection and its last recordset.
#include <memory>

#include "bridges/connection_text.h"
#include "bridges/database.h"
#include "bridges/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::bridges {

namespace {

using engine::Interpreter;

// The run's connection and the recordset of its last statement. The recordset goes first: its
// query must not outlive the connection.
class DatabaseSession : public words::OwnedObject {
 public:
  void Connect(const std::string& connection_text) {
    Disconnect();
    connection_ = std::make_unique<Connection>(read_connection_text(connection_text));
  }
  void Disconnect() {
    recordset_.reset();
    connection_.reset();
  }
  void Execute(const std::string& sql) {
    recordset_.reset();
    recordset_ = Open().Execute(sql);
  }
  Connection& Open() {
    if (!connection_) throw DatabaseError(text::sjis("データベースに接続していません。"));
    return *connection_;
  }
  Recordset& Rows() {
    if (!recordset_) throw DatabaseError(text::sjis("レコードセットがありません。"));
    return *recordset_;
  }

 private:
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Recordset> recordset_;
};

DatabaseSession& session_of(Interpreter& in) {
  auto& owned = in.State().OwnedObjects;
  for (const auto& object : owned)
    if (auto* session = dynamic_cast<DatabaseSession*>(object.get())) return *session;
  owned.push_back(std::make_unique<DatabaseSession>());
  return static_cast<DatabaseSession&>(*owned.back());
}

// Runs a command's work with every driver failure reported in the family's words.
template <class Work>
void guarded(Interpreter& in, Work work) {
  try {
    work(session_of(in));
  } catch (const DatabaseError& e) {
    throw in.Error(text::sjis("ADOデータベースのエラー。") + e.what());
  }
}

std::string system_text(Interpreter& in, const char* utf8_name) {
  const words::THashNode* word = in.FindWord(text::sjis(utf8_name));
  return word ? word->GetValue() : std::string();
}

std::string quoted_field(const std::string& field) {
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string record_line(const std::vector<std::string>& fields, bool tab_separated) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += tab_separated ? '\t' : ',';
    line += tab_separated ? fields[i] : quoted_field(fields[i]);
  }
  return line;
}

// ---- connecting -------------------------------------------------------------------------------

void connect_with_text(Interpreter& in) {
  const std::string connection_text = in.PopArgumentValue();
  guarded(in, [&](DatabaseSession& db) { db.Connect(connection_text); });
}

void connect_with_settings(Interpreter& in) {
  std::string text = "Provider=" + system_text(in, "DBプロバイダ") + ";" +
                     "Data Source=" + system_text(in, "DBデータソース") + ";";
  if (std::string user = system_text(in, "DBユーザーID"); !user.empty())
    text += "UID=" + user + ";";
  if (std::string password = system_text(in, "DBパスワード"); !password.empty())
    text += "PWD=" + password + ";";
  guarded(in, [&](DatabaseSession& db) { db.Connect(text); });
}

void disconnect(Interpreter& in) {
  guarded(in, [](DatabaseSession& db) {
    db.Open();
    db.Disconnect();
  });
}

// ---- statements -------------------------------------------------------------------------------

void execute_sql(Interpreter& in) {
  const std::string sql = in.PopArgumentValue();
  guarded(in, [&](DatabaseSession& db) { db.Execute(sql); });
}

void search(Interpreter& in) {
  const std::string condition = text::trim(in.PopArgumentValue());
  const std::string columns = in.PopArgumentValue();
  const std::string table = in.PopArgumentValue();
  std::string sql = "SELECT " + columns + " FROM " + table;
  if (!condition.empty() && condition != "*") sql += " WHERE " + condition;
  sql += ";";
  guarded(in, [&](DatabaseSession& db) { db.Execute(sql); });
}

// ---- reading ----------------------------------------------------------------------------------

void all_records(Interpreter& in, bool tab_separated) {
  std::string out;
  guarded(in, [&](DatabaseSession& db) {
    Recordset& rows = db.Rows();
    bool first = true;
    for (rows.MoveFirst(); !rows.Eof(); rows.MoveNext()) {
      if (!first) out += "\r\n";
      out += record_line(rows.Record(), tab_separated);
      first = false;
    }
  });
  in.SetResult(std::move(out), "s");
}

void all_records_csv(Interpreter& in) {
  all_records(in, false);
}

void all_records_tabbed(Interpreter& in) {
  all_records(in, true);
}

void current_record(Interpreter& in, bool tab_separated) {
  std::string line;
  guarded(in, [&](DatabaseSession& db) { line = record_line(db.Rows().Record(), tab_separated); });
  in.SetResult(std::move(line), "s");
}

void current_record_csv(Interpreter& in) {
  current_record(in, false);
}

void current_record_tabbed(Interpreter& in) {
  current_record(in, true);
}

void field_value(Interpreter& in) {
  std::int64_t index = -1;
  if (!expr::ToInteger(in.PopArgumentValue(), index)) index = -1;
  std::string value;
  guarded(in, [&](DatabaseSession& db) {
    if (index < 0 || index > INT32_MAX) return;
    value = db.Rows().Field(static_cast<int>(index)).value_or("");
  });
  in.SetResult(std::move(value), "s");
}

void field_count(Interpreter& in) {
  int count = 0;
  guarded(in, [&](DatabaseSession& db) { count = db.Rows().FieldCount(); });
  in.SetResult(std::to_string(count), "e");
}

// ---- moving -----------------------------------------------------------------------------------

void move_first(Interpreter& in) {
  guarded(in, [](DatabaseSession& db) { db.Rows().MoveFirst(); });
}

void move_last(Interpreter& in) {
  guarded(in, [](DatabaseSession& db) { db.Rows().MoveLast(); });
}

void move_next(Interpreter& in) {
  guarded(in, [](DatabaseSession& db) { db.Rows().MoveNext(); });
}

void move_previous(Interpreter& in) {
  guarded(in, [](DatabaseSession& db) { db.Rows().MovePrevious(); });
}

void at_end(Interpreter& in) {
  bool eof = false;
  guarded(in, [&](DatabaseSession& db) { eof = db.Rows().Eof(); });
  in.SetResult(eof ? "1" : "0", "e");
}

void at_start(Interpreter& in) {
  bool bof = false;
  guarded(in, [&](DatabaseSession& db) { bof = db.Rows().Bof(); });
  in.SetResult(bof ? "1" : "0", "e");
}

}  // namespace

void register_database(commands::HandlerTable& table) {
  table.Set(464, connect_with_text);
  table.Set(478, connect_with_settings);
  table.Set(465, disconnect);
  table.Set(466, execute_sql);
  table.Set(479, search);
  table.Set(467, all_records_csv);
  table.Set(474, all_records_tabbed);
  table.Set(475, current_record_csv);
  table.Set(476, current_record_tabbed);
  table.Set(477, field_value);
  table.Set(481, field_count);
  table.Set(468, move_first);
  table.Set(469, move_last);
  table.Set(470, move_next);
  table.Set(471, move_previous);
  table.Set(472, at_end);
  table.Set(473, at_start);
}

}  // namespace morivel::bridges
