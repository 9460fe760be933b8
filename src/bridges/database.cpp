// Qt SQL behind the database commands: opening by driver, statements and cursor movement.
#include "bridges/database.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>
#include <QTime>
#include <QVariant>

#include <atomic>

#include "text/encoding.h"
#include "text/paths.h"

namespace morivel::bridges {

namespace {

QString to_qstring(const std::string& sjis) {
  std::u16string utf16 = text::to_utf16(sjis);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

std::string from_qstring(const QString& text) {
  return text::from_utf16(text.toStdU16String());
}

std::string error_text(const QSqlError& error) {
  QString message = error.databaseText().isEmpty() ? error.text() : error.databaseText();
  return from_qstring(message.trimmed());
}

// Values read as scripts expect them: NULL empty, dates with "/", booleans as True and False.
std::string value_text(const QVariant& value) {
  if (value.isNull()) return {};
  switch (value.metaType().id()) {
    case QMetaType::QByteArray: {
      QByteArray bytes = value.toByteArray();
      return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    case QMetaType::QDate:
      return from_qstring(value.toDate().toString(QStringLiteral("yyyy/MM/dd")));
    case QMetaType::QTime:
      return from_qstring(value.toTime().toString(QStringLiteral("hh:mm:ss")));
    case QMetaType::QDateTime:
      return from_qstring(value.toDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")));
    case QMetaType::Bool:
      return value.toBool() ? "True" : "False";
    default:
      return from_qstring(value.toString());
  }
}

QString driver_name(DatabaseDriver driver) {
  switch (driver) {
    case DatabaseDriver::SQLite:
      return QStringLiteral("QSQLITE");
    case DatabaseDriver::PostgreSQL:
      return QStringLiteral("QPSQL");
    case DatabaseDriver::Odbc:
      return QStringLiteral("QODBC");
    case DatabaseDriver::Unsupported:
      break;
  }
  return {};
}

void configure(QSqlDatabase& db, const ConnectionSettings& settings) {
  switch (settings.driver) {
    case DatabaseDriver::SQLite:
      db.setDatabaseName(to_qstring(text::to_slash_separators(settings.file)));
      return;
    case DatabaseDriver::PostgreSQL:
      db.setHostName(to_qstring(settings.host));
      if (settings.port > 0) db.setPort(settings.port);
      db.setDatabaseName(to_qstring(settings.database));
      db.setUserName(to_qstring(settings.user));
      db.setPassword(to_qstring(settings.password));
      return;
    case DatabaseDriver::Odbc:
      db.setDatabaseName(to_qstring(settings.odbc_text));
      return;
    case DatabaseDriver::Unsupported:
      return;
  }
}

QString next_connection_name() {
  static std::atomic<int> counter{0};
  return QStringLiteral("morivel-db-%1").arg(++counter);
}

}  // namespace

// ---- connection -------------------------------------------------------------------------------

Connection::Connection(const ConnectionSettings& settings) : name_(next_connection_name()) {
  const QString driver = driver_name(settings.driver);
  if (driver.isEmpty())
    throw DatabaseError(text::from_utf8("プロバイダ\"") + settings.provider +
                        text::from_utf8("\"には接続できません。"));
  if (!QSqlDatabase::isDriverAvailable(driver))
    throw DatabaseError(text::from_utf8("データベースのドライバ") + from_qstring(driver) +
                        text::from_utf8("がありません。"));
  bool opened = false;
  std::string message;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
    configure(db, settings);
    opened = db.open();
    if (!opened) message = error_text(db.lastError());
  }
  if (!opened) {
    QSqlDatabase::removeDatabase(name_);
    throw DatabaseError(message);
  }
}

Connection::~Connection() {
  {
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(name_);
}

std::unique_ptr<Recordset> Connection::Execute(const std::string& sjis_sql) {
  QSqlQuery query(QSqlDatabase::database(name_, false));
  if (!query.exec(to_qstring(sjis_sql))) throw DatabaseError(error_text(query.lastError()));
  return std::make_unique<Recordset>(std::move(query));
}

// ---- recordset --------------------------------------------------------------------------------

Recordset::Recordset(QSqlQuery query) : query_(std::move(query)) {
  if (!query_.isSelect()) return;
  field_count_ = query_.record().count();
  MoveFirst();
}

void Recordset::MoveFirst() {
  bof_ = eof_ = !query_.first();
}

void Recordset::MoveLast() {
  bof_ = eof_ = !query_.last();
}

void Recordset::MoveNext() {
  if (eof_) throw DatabaseError(text::from_utf8("レコードの終わりより後へは移動できません。"));
  bof_ = false;
  eof_ = !query_.next();
}

void Recordset::MovePrevious() {
  if (bof_) throw DatabaseError(text::from_utf8("レコードの先頭より前へは移動できません。"));
  eof_ = false;
  bof_ = !query_.previous();
}

std::optional<std::string> Recordset::Field(int index) const {
  if (bof_ || eof_ || index < 0 || index >= field_count_) return std::nullopt;
  return value_text(query_.value(index));
}

std::vector<std::string> Recordset::Record() const {
  std::vector<std::string> fields;
  if (bof_ || eof_) return fields;
  fields.reserve(static_cast<std::size_t>(field_count_));
  for (int i = 0; i < field_count_; ++i) fields.push_back(value_text(query_.value(i)));
  return fields;
}

}  // namespace morivel::bridges
