// The database script of the SQLite script test, run against a PostgreSQL server this test starts
// on a free loopback port, and through ODBC with the SQLite ODBC driver.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "engine/interpreter.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;

namespace {

QString source_file(const char* relative) {
  return QStringLiteral(MORIVEL_SOURCE_DIR "/") + QString::fromUtf8(relative);
}

QString read_utf8(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// The SQLite script test with its first line (the connection text) replaced.
QString script_with_connection(const QString& connection) {
  QString script = read_utf8(source_file("tests/scripts/bridges/database_sqlite.mrv"));
  return QStringLiteral("接続文字列=『") + connection + QStringLiteral("』") +
         script.mid(script.indexOf(u'\n'));
}

QStringList expected_lines() {
  return read_utf8(source_file("tests/scripts/bridges/database_sqlite.out"))
      .split(u'\n', Qt::SkipEmptyParts);
}

QStringList shown_lines(GuiRun& run) {
  QStringList lines;
  for (QString line : run.ShownLines()) lines << line.remove(u'\r');
  return lines;
}

// A port nobody listens on right now.
int free_loopback_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

QString postgres_bin_dir() {
  QDir versions(QStringLiteral("/usr/lib/postgresql"));
  QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (qsizetype i = found.size(); i-- > 0;) {
    QString bin = versions.filePath(found[i] + QStringLiteral("/bin"));
    if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + "/pg_ctl"))
      return bin;
  }
  return {};
}

// A throw-away PostgreSQL cluster. The server refuses to run as root, so under root it runs as
// the "postgres" account. Stopped when the object goes, also when a test fails.
class PostgresServer {
 public:
  PostgresServer(const QString& bin, int port) : bin_(bin), port_(port) {
    if (!dir_.isValid()) return;
    if (::geteuid() == 0) {
      const passwd* account = ::getpwnam("postgres");
      if (!account ||
          ::chown(dir_.path().toLocal8Bit().constData(), account->pw_uid, account->pw_gid) != 0)
        return;
      as_postgres_ = true;
    }
    if (!Run(QStringLiteral("initdb"),
             {"-D", DataDir(), "-U", "morivel", "--auth=trust", "-E", "UTF8", "--no-locale"}))
      return;
    started_ = Run(
        QStringLiteral("pg_ctl"),
        {"-D", DataDir(), "-w", "-t", "60", "-l", dir_.filePath("server.log"), "-o",
         QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1").arg(port_).arg(dir_.path()),
         "start"});
  }
  ~PostgresServer() {
    if (started_) Run(QStringLiteral("pg_ctl"), {"-D", DataDir(), "-m", "fast", "-w", "stop"});
  }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool Started() const { return started_; }
  QString Log() const { return log_ + read_utf8(dir_.filePath("server.log")); }

 private:
  QString DataDir() const { return dir_.filePath("data"); }

  bool Run(const QString& tool, QStringList arguments) {
    QProcess process;
    QString program = bin_ + "/" + tool;
    if (as_postgres_) {
      arguments.prepend(program);
      arguments.prepend(QStringLiteral("--"));
      arguments.prepend(QStringLiteral("postgres"));
      arguments.prepend(QStringLiteral("-u"));
      program = QStringLiteral("runuser");
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    bool finished = process.waitForFinished(120000);
    log_ += QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  }

  QTemporaryDir dir_;
  QString bin_;
  int port_;
  bool as_postgres_ = false;
  bool started_ = false;
  QString log_;
};

}  // namespace

class DatabaseServersTest : public QObject {
  Q_OBJECT
 private slots:
  void sameScriptOnPostgreSql();
  void sameScriptThroughOdbc();
  void failuresCarryTheDriverMessage();
  void brokenFilesAndSettingsGiveTheFamilyMessage();
};

void DatabaseServersTest::sameScriptOnPostgreSql() {
  const QString bin = postgres_bin_dir();
  if (bin.isEmpty()) QSKIP("PostgreSQL server binaries are not installed: test skipped");
  const int port = free_loopback_port();
  QVERIFY(port > 0);
  PostgresServer server(bin, port);
  QVERIFY2(server.Started(), qPrintable(server.Log()));
  GuiRun run;
  run.Run(script_with_connection(
              QStringLiteral("Provider=PostgreSQL;Host=127.0.0.1;Port=%1;Database=postgres;"
                             "UID=morivel;PWD=unused")
                  .arg(port))
              .toUtf8()
              .constData());
  const std::string log = text::to_utf8(run.interpreter().ErrorLog());
  QVERIFY2(log.empty(), log.c_str());
  QCOMPARE(shown_lines(run), expected_lines());

  // The host/database form of Data Source reaches the same server.
  GuiRun again;
  again.Run(QStringLiteral("『Provider=PostgreSQL;Data Source=127.0.0.1:%1/postgres;UID=morivel』で"
                           "DB詳細接続\n『SELECT name FROM items WHERE id=1』とDBSQL\n"
                           "DB全部取得を表示\n")
                .arg(port)
                .toUtf8()
                .constData());
  QVERIFY2(again.interpreter().ErrorLog().empty(), again.interpreter().ErrorLog().c_str());
  QCOMPARE(shown_lines(again), QStringList{QStringLiteral("\"りんご\"")});
}

void DatabaseServersTest::sameScriptThroughOdbc() {
  // The SQLite ODBC driver cannot open a file whose path is not ASCII, and the default temporary
  // folder carries the program's Japanese name.
  QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/odbc-XXXXXX"));
  QVERIFY(dir.isValid());
  GuiRun run;
  run.Run(
      script_with_connection(QStringLiteral("Driver=SQLite3;Database=") + dir.filePath("odbc.db"))
          .toUtf8()
          .constData());
  const std::string log = text::to_utf8(run.interpreter().ErrorLog());
  QVERIFY2(log.empty(), log.c_str());
  QCOMPARE(shown_lines(run), expected_lines());
}

void DatabaseServersTest::failuresCarryTheDriverMessage() {
  QTemporaryDir dir;
  // Each failing run shows the error dialog once; Escape closes it.
  testing::ModalDriver driver({QString(), QString(), QString(), QString()});
  GuiRun run;
  run.Run(QStringLiteral("『Provider=SQLite;Data Source=%1』でDB詳細接続\n"
                         "『SELECT * FROM no_such_table』とDBSQL\n")
              .arg(dir.filePath("e.db"))
              .toUtf8()
              .constData());
  const QString log = QString::fromStdString(text::to_utf8(run.interpreter().ErrorLog()));
  QVERIFY2(log.contains(QStringLiteral("ADOデータベースのエラー。")) &&
               log.contains(QStringLiteral("no_such_table")),
           qPrintable(log));

  GuiRun unconnected;
  unconnected.Run("DB全部取得\n");
  const QString none = QString::fromStdString(text::to_utf8(unconnected.interpreter().ErrorLog()));
  QVERIFY2(none.contains(QStringLiteral("ADOデータベースのエラー。")), qPrintable(none));

  GuiRun closed_port;
  closed_port.Run(QStringLiteral("『Provider=PostgreSQL;Host=127.0.0.1;Port=%1;Database=x;UID=u』"
                                 "でDB詳細接続\n")
                      .arg(free_loopback_port())
                      .toUtf8()
                      .constData());
  const QString refused =
      QString::fromStdString(text::to_utf8(closed_port.interpreter().ErrorLog()));
  QVERIFY2(refused.contains(QStringLiteral("ADOデータベースのエラー。")), qPrintable(refused));

  GuiRun unknown;
  unknown.Run("「Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb」でDB詳細接続\n");
  const QString jet = QString::fromStdString(text::to_utf8(unknown.interpreter().ErrorLog()));
  QVERIFY2(jet.contains(
               QStringLiteral("ADOデータベースのエラー。プロバイダ\"Microsoft.Jet.OLEDB.4.0\"")),
           qPrintable(jet));
}

// DB接続 reads the DB variables; a file that is no database, a folder that is not there and a
// provider without a driver each end in the family's message with the driver's reason.
void DatabaseServersTest::brokenFilesAndSettingsGiveTheFamilyMessage() {
  QTemporaryDir dir;
  QFile broken(dir.filePath("broken.db"));
  QVERIFY(broken.open(QIODevice::WriteOnly));
  broken.write(QByteArray(4096, 'x'));
  broken.close();
  testing::ModalDriver driver({QString(), QString(), QString()});
  struct Case {
    QString script;
    QString expected;
  };
  const QList<Case> cases{
      {QStringLiteral("DBプロバイダは「SQLite」\nDBデータソースは『%1』\nDB接続\n"
                      "『SELECT * FROM t』とDB問い合わせ\n")
           .arg(dir.filePath("broken.db")),
       QStringLiteral("ADOデータベースのエラー。file is not a database")},
      {QStringLiteral("DBデータソースは『%1』\nDB接続\n").arg(dir.filePath("no/such/x.db")),
       QStringLiteral("ADOデータベースのエラー。")},
      {QStringLiteral("DBプロバイダは「MSDAORA」\nDBデータソースは「x」\nDB接続\n"),
       QStringLiteral("ADOデータベースのエラー。プロバイダ\"MSDAORA\"には接続できません。")},
  };
  for (const Case& c : cases) {
    GuiRun run;
    run.Run(c.script.toUtf8().constData());
    const QString log = QString::fromStdString(text::to_utf8(run.interpreter().ErrorLog()));
    QVERIFY2(log.contains(c.expected), qPrintable(log));
    QVERIFY2(run.ShownLines().isEmpty(), qPrintable(c.script));
  }
}

QTEST_MAIN(DatabaseServersTest)
#include "database_servers_test.moc"
