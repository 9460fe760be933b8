// Connection texts as scripts write them, read into driver settings.
#include <gtest/gtest.h>

#include "bridges/connection_text.h"
#include "text/encoding.h"

using namespace morivel::bridges;
using morivel::text::sjis;

TEST(ConnectionText, PairsKeepQuotedAndBracedSemicolons) {
  std::vector<ConnectionPair> pairs = parse_connection_pairs(
      " Provider = SQLite ;Data Source=\"a;b.db\";;junk;Driver={x;y}; Empty=");
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[0].key, "Provider");
  EXPECT_EQ(pairs[0].value, "SQLite");
  EXPECT_EQ(pairs[1].value, "a;b.db");
  EXPECT_EQ(pairs[2].value, "x;y");
  EXPECT_EQ(pairs[2].raw_value, "{x;y}");
  EXPECT_EQ(pairs[3].value, "");
  // A trail byte that looks like "}" does not end a braced value: マ is 0x83 0x7D.
  std::vector<ConnectionPair> japanese = parse_connection_pairs(sjis("Data Source={マソ;x};UID=u"));
  ASSERT_EQ(japanese.size(), 2u);
  EXPECT_EQ(japanese[0].value, sjis("マソ;x"));
}

TEST(ConnectionText, ProviderChoosesTheDriver) {
  ConnectionSettings sqlite = read_connection_text(sjis("Data Source=C:\\データ\\a.db"));
  EXPECT_EQ(sqlite.driver, DatabaseDriver::SQLite);
  EXPECT_EQ(sqlite.file, sjis("C:\\データ\\a.db"));
  EXPECT_EQ(read_connection_text("provider=sqlite;data source=b.db").file, "b.db");

  ConnectionSettings pg = read_connection_text(
      "Provider=PostgreSQL;Host=db.local;Port=5433;Database=shop;UID=ann;PWD=p;w");
  EXPECT_EQ(pg.driver, DatabaseDriver::PostgreSQL);
  EXPECT_EQ(pg.host, "db.local");
  EXPECT_EQ(pg.port, 5433);
  EXPECT_EQ(pg.database, "shop");
  EXPECT_EQ(pg.user, "ann");
  EXPECT_EQ(pg.password, "p");
  ConnectionSettings source =
      read_connection_text("Provider=PostgreSQL;Data Source=127.0.0.1:6000/sales;User ID=bob");
  EXPECT_EQ(source.host, "127.0.0.1");
  EXPECT_EQ(source.port, 6000);
  EXPECT_EQ(source.database, "sales");
  EXPECT_EQ(source.user, "bob");
  EXPECT_EQ(read_connection_text("Provider=PostgreSQL;Port=99999").port, 0);

  ConnectionSettings odbc = read_connection_text("Provider=MSDASQL;DSN=shop;UID=u");
  EXPECT_EQ(odbc.driver, DatabaseDriver::Odbc);
  EXPECT_EQ(odbc.odbc_text, "DSN=shop;UID=u;");
  EXPECT_EQ(read_connection_text("Driver={SQLite3};Database=/tmp/x.db").odbc_text,
            "Driver={SQLite3};Database=/tmp/x.db;");

  EXPECT_EQ(read_connection_text("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb").driver,
            DatabaseDriver::Unsupported);
}
