// Database connections and recordsets on Qt SQL, with the cursor rules scripts expect: a query
// starts on its first record, Bof and Eof mark the positions before the first and after the last.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridges/connection_text.h"

namespace morivel::bridges {

// A failure of the driver or the server; the message is Shift-JIS.
class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& sjis_message) : std::runtime_error(sjis_message) {}
};

// The rows of one executed statement. Rows are fetched as the cursor moves.
class Recordset {
 public:
  explicit Recordset(QSqlQuery query);

  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();

  int FieldCount() const { return field_count_; }
  // The current record's field as Shift-JIS (NULL reads as ""); nullopt without a current record
  // or for a field number out of range.
  std::optional<std::string> Field(int index) const;
  // Every field of the current record; empty without a current record.
  std::vector<std::string> Record() const;

 private:
  QSqlQuery query_;
  int field_count_ = 0;
  bool bof_ = true;
  bool eof_ = true;
};

class Connection {
 public:
  explicit Connection(const ConnectionSettings& settings);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs one statement (Shift-JIS text); its rows, if any, make the recordset.
  std::unique_ptr<Recordset> Execute(const std::string& sjis_sql);

 private:
  QString name_;
};

}  // namespace morivel::bridges
