// Reading ADO-style connection texts into what the SQL drivers need.
#include "bridges/connection_text.h"

#include <algorithm>
#include <cctype>

#include "text/sjis.h"

namespace morivel::bridges {

namespace {

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The end of a value that starts at `pos`: its closing quote or brace, else the next ";".
std::size_t value_end(std::string_view text, std::size_t pos) {
  std::size_t i = pos;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
    const char close = text[i] == '{' ? '}' : text[i];
    for (++i; i < text.size(); i += text::char_len(text, i))
      if (text[i] == close) break;
  }
  while (i < text.size() && text[i] != ';') i += text::char_len(text, i);
  return i;
}

std::string unquoted(std::string_view raw) {
  std::string v = text::trim(raw);
  if (v.size() >= 2 &&
      ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'') ||
       (v.front() == '{' && v.back() == '}')))
    return v.substr(1, v.size() - 2);
  return v;
}

int port_number(const std::string& text) {
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || port > 65535) return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

// "host[:port]/database" or "host[:port]".
void read_data_source(const std::string& source, ConnectionSettings& settings) {
  std::string address = source;
  if (std::size_t slash = source.find('/'); slash != std::string::npos) {
    address = source.substr(0, slash);
    settings.database = source.substr(slash + 1);
  }
  if (std::size_t colon = address.rfind(':'); colon != std::string::npos) {
    settings.port = port_number(address.substr(colon + 1));
    address.resize(colon);
  }
  settings.host = address;
}

void read_postgresql(const std::vector<ConnectionPair>& pairs, ConnectionSettings& settings) {
  for (const ConnectionPair& pair : pairs) {
    const std::string key = lower_ascii(pair.key);
    if (key == "data source") read_data_source(pair.value, settings);
  }
  for (const ConnectionPair& pair : pairs) {
    const std::string key = lower_ascii(pair.key);
    if (key == "host" || key == "server") settings.host = pair.value;
    if (key == "port") settings.port = port_number(pair.value);
    if (key == "database" || key == "initial catalog") settings.database = pair.value;
    if (key == "uid" || key == "user id" || key == "user") settings.user = pair.value;
    if (key == "pwd" || key == "password") settings.password = pair.value;
  }
}

}  // namespace

std::vector<ConnectionPair> parse_connection_pairs(std::string_view text) {
  std::vector<ConnectionPair> pairs;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t equals = pos;
    while (equals < text.size() && text[equals] != '=' && text[equals] != ';')
      equals += text::char_len(text, equals);
    if (equals >= text.size() || text[equals] == ';') {
      pos = equals + 1;
      continue;
    }
    std::size_t end = value_end(text, equals + 1);
    std::string key = text::trim(text.substr(pos, equals - pos));
    std::string_view raw = text.substr(equals + 1, end - equals - 1);
    if (!key.empty()) pairs.push_back({key, unquoted(raw), text::trim(raw)});
    pos = end + 1;
  }
  return pairs;
}

ConnectionSettings read_connection_text(std::string_view text) {
  std::vector<ConnectionPair> pairs = parse_connection_pairs(text);
  ConnectionSettings settings;
  bool odbc_keys = false;
  for (const ConnectionPair& pair : pairs) {
    const std::string key = lower_ascii(pair.key);
    if (key == "provider") settings.provider = pair.value;
    if (key == "data source") settings.file = pair.value;
    if (key == "dsn" || key == "driver") odbc_keys = true;
  }
  const std::string provider = lower_ascii(settings.provider);
  if (provider == "msdasql" || odbc_keys) {
    settings.driver = DatabaseDriver::Odbc;
    for (const ConnectionPair& pair : pairs) {
      if (lower_ascii(pair.key) == "provider") continue;
      settings.odbc_text += pair.key + "=" + pair.raw_value + ";";
    }
  } else if (provider.empty() || provider == "sqlite") {
    settings.driver = DatabaseDriver::SQLite;
  } else if (provider == "postgresql") {
    settings.driver = DatabaseDriver::PostgreSQL;
    settings.file.clear();
    read_postgresql(pairs, settings);
  } else {
    settings.driver = DatabaseDriver::Unsupported;
  }
  return settings;
}

}  // namespace morivel::bridges
