// Database connection texts in the key=value form scripts write ("Provider=...;Data Source=...").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morivel::bridges {

// One key=value pair: the key trimmed, the value with its quotes or braces removed, and the value
// as written (for passing the text on to ODBC unchanged).
struct ConnectionPair {
  std::string key;
  std::string value;
  std::string raw_value;
};

// Splits at ";" outside quoted ("..." or '...') and braced ({...}) values; pieces without "=" and
// empty pieces are skipped. Shift-JIS aware.
std::vector<ConnectionPair> parse_connection_pairs(std::string_view text);

enum class DatabaseDriver { SQLite, PostgreSQL, Odbc, Unsupported };

// Where and how to connect; texts are Shift-JIS as the script wrote them.
struct ConnectionSettings {
  DatabaseDriver driver = DatabaseDriver::SQLite;
  std::string provider;
  std::string file;  // SQLite: the database file
  std::string host;  // PostgreSQL
  int port = 0;      // PostgreSQL; 0 for the driver's default
  std::string database;
  std::string user;
  std::string password;
  std::string odbc_text;  // ODBC: the connection text without its Provider pair
};

// Provider "SQLite" or none with "Data Source=FILE" is an SQLite file; "PostgreSQL" takes
// Host/Server, Port, Database/Initial Catalog, UID/User ID, PWD/Password, or "Data
// Source=host[:port]/database"; "MSDASQL" or a text with DSN= or Driver= goes through ODBC.
// Keys are compared ignoring ASCII case.
ConnectionSettings read_connection_text(std::string_view text);

}  // namespace morivel::bridges
