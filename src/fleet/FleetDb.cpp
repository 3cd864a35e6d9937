#include "FleetDb.h"
#include "Language.h"
#include "SyncSession.h"

#include <QAtomicInteger>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QMutex>
#include <QThread>
#include <QUrl>
#include <atomic>

namespace vanta::fleet {

namespace {

QAtomicInteger<int> GConnections{0};

// Time spent inside the calls that write, over all connections of the
// process: cheap enough to keep always on (two clock reads a call), and it
// tells whether the database is what holds a run up.
std::atomic<qint64> GWriteNs{0};

struct TWriteClock {
  QElapsedTimer Clock;
  TWriteClock() { Clock.start(); }
  ~TWriteClock() { GWriteNs.fetch_add(Clock.nsecsElapsed(), std::memory_order_relaxed); }
  TWriteClock(const TWriteClock&) = delete;
  TWriteClock& operator=(const TWriteClock&) = delete;
};

// The schema, one step per version; a step never changes once released, a
// change is a new step. ${...} are the dialect's spellings.
const char* const CMigrations[] = {
    // 1: the tables users query
    R"SQL(
CREATE TABLE devices (
  id ${ID},
  host TEXT NOT NULL,
  port INTEGER NOT NULL,
  name TEXT NOT NULL DEFAULT '',
  serial ${BIGINT},
  plant TEXT,
  field TEXT,
  device TEXT,
  firmware TEXT,
  every_seconds INTEGER NOT NULL DEFAULT 900,
  paused INTEGER NOT NULL DEFAULT 0,
  next_due ${TIME},
  last_contact ${TIME},
  last_success ${TIME},
  failures INTEGER NOT NULL DEFAULT 0,
  password_file TEXT,
  ssh INTEGER NOT NULL DEFAULT 0,
  ssh_user TEXT,
  trust_new_host_key INTEGER NOT NULL DEFAULT 0,
  replaced_by ${BIGINT},
  lease_owner TEXT,
  lease_until ${TIME}
);
CREATE INDEX devices_address ON devices (host, port);
CREATE INDEX devices_due ON devices (next_due);
CREATE TABLE files (
  id ${ID},
  device_id ${BIGINT} NOT NULL,
  serial ${BIGINT} NOT NULL,
  path TEXT NOT NULL,
  kind TEXT NOT NULL CHECK (kind IN ('event', 'recording')),
  class TEXT NOT NULL DEFAULT '',
  start_time ${TIME},
  end_time ${TIME},
  size ${BIGINT} NOT NULL,
  sha256 TEXT NOT NULL,
  downloaded_at ${TIME} NOT NULL,
  UNIQUE (serial, path)
);
CREATE INDEX files_downloaded ON files (downloaded_at);
CREATE TABLE events (
  id ${ID},
  file_id ${BIGINT} NOT NULL,
  serial ${BIGINT} NOT NULL,
  time ${TIME} NOT NULL,
  text TEXT NOT NULL,
  max_value DOUBLE PRECISION,
  unit TEXT NOT NULL DEFAULT '',
  harmonic INTEGER,
  duration_ms ${BIGINT}
);
CREATE INDEX events_serial_time ON events (serial, time);
CREATE INDEX events_file ON events (file_id);
CREATE TABLE runs (
  id ${ID},
  worker TEXT NOT NULL,
  device_id ${BIGINT} NOT NULL,
  serial ${BIGINT},
  started_at ${TIME} NOT NULL,
  ended_at ${TIME},
  result TEXT CHECK (result IN ('ok', 'failed', 'interrupted', 'lost')),
  files_new INTEGER NOT NULL DEFAULT 0,
  bytes ${BIGINT} NOT NULL DEFAULT 0,
  message TEXT NOT NULL DEFAULT ''
);
CREATE INDEX runs_device ON runs (device_id, started_at);
CREATE TABLE status (
  device_id ${BIGINT} NOT NULL,
  serial ${BIGINT} NOT NULL,
  taken_at ${TIME} NOT NULL,
  firmware TEXT,
  uptime_s ${BIGINT},
  device_time ${TIME},
  clock_offset_s ${BIGINT},
  flash_free_mb ${BIGINT},
  ram_free_mb ${BIGINT},
  sd_free_mb ${BIGINT},
  time_sync TEXT
);
CREATE INDEX status_device ON status (device_id, taken_at);
-- Files retention removed: the device may still list them, they are not fetched again.
CREATE TABLE purged (
  serial ${BIGINT} NOT NULL,
  path TEXT NOT NULL,
  purged_at ${TIME} NOT NULL,
  PRIMARY KEY (serial, path)
);
)SQL",
    // 2: the claim of due devices by a worker reads them in this order
    R"SQL(
${PG_ONLY}CREATE INDEX devices_claim ON devices (next_due NULLS FIRST, id) WHERE replaced_by IS NULL AND paused = 0;
-- the events of the whole fleet in the order they happened, page by page
CREATE INDEX events_time ON events (time, id);
)SQL",
};

QVariant Opt(const std::optional<qint64>& v) { return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::LongLong)); }
QVariant OptD(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Double)); }
// Qt binds a null QString as NULL: texts of NOT NULL columns go in as "".
QVariant Text(const QString& s) { return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s); }
QVariant OptText(const QString& s) { return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s); }

}  // namespace

TSqlDialect TSqlDialect::Sqlite() {
  return {QStringLiteral("QSQLITE"), QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"), QStringLiteral("TEXT"),
          QStringLiteral("INTEGER"), false};
}

TSqlDialect TSqlDialect::Postgres() {
  return {QStringLiteral("QPSQL"), QStringLiteral("BIGSERIAL PRIMARY KEY"), QStringLiteral("TIMESTAMPTZ"),
          QStringLiteral("BIGINT"), true};
}

QString TSqlDialect::Expand(QString sql) const {
  return sql.replace(QStringLiteral("${ID}"), IdColumn)
      .replace(QStringLiteral("${TIME}"), TimeType)
      .replace(QStringLiteral("${BIGINT}"), BigInt)
      // A statement (one line) only one engine needs; for the other a comment.
      .replace(QStringLiteral("${PG_ONLY}"), Driver == QLatin1String("QPSQL") ? QString() : QStringLiteral("-- "));
}

QVariant TSqlDialect::BindTime(const QDateTime& t) const {
  if (!t.isValid()) return QVariant(QMetaType(Driver == QLatin1String("QSQLITE") ? QMetaType::QString : QMetaType::QDateTime));
  // Always with milliseconds: as text, times sort right only when they have the same length.
  if (Driver == QLatin1String("QSQLITE")) return IsoUtc(t, true);
  return t.toUTC();
}

QDateTime TSqlDialect::ReadTime(const QVariant& v) {
  if (v.isNull()) return {};
  if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().toUTC();
  QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
  return t.isValid() ? t.toUTC() : QDateTime();
}

QString IsoUtc(const QDateTime& t, bool millis) {
  return t.toUTC().toString(millis ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz") : QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QLatin1Char('Z');
}

bool ParseDbUrl(const QString& url, TDbUrl& out, QString& error) {
  out = {};
  if (url.startsWith(QLatin1String("sqlite:"))) {
    out.Path = url.mid(7);
    if (out.Path.startsWith(QLatin1String("//"))) out.Path = out.Path.mid(2);  // sqlite:///abs/path
    if (out.Path.isEmpty()) {
      error = TEn::tr("--db %1: no file after \"sqlite:\"").arg(url);
      return false;
    }
    return true;
  }
  if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://"))) {
    const QUrl u(url);
    if (!u.isValid() || u.host().isEmpty() || u.path().size() < 2) {
      error = TEn::tr("--db %1: expected postgresql://USER@HOST:PORT/DB").arg(url);
      return false;
    }
    // A password in the address would show in every process list and log.
    if (!u.password().isEmpty()) {
      error = TEn::tr("--db: no password in the address; use --db-password-file or PGPASSFILE");
      return false;
    }
    out.Postgres = true;
    out.User = u.userName();
    out.Host = u.host();
    out.Port = u.port(5432);
    out.Database = u.path().mid(1);
    return true;
  }
  error = TEn::tr("--db %1: expected sqlite:FILE or postgresql://USER@HOST:PORT/DB").arg(url);
  return false;
}

QString TDeviceRow::Address() const { return HostPort(Host, Port); }

QString RunResultName(TRunResult r) {
  switch (r) {
    case TRunResult::rrOk: return QStringLiteral("ok");
    case TRunResult::rrFailed: return QStringLiteral("failed");
    case TRunResult::rrInterrupted: return QStringLiteral("interrupted");
    case TRunResult::rrLost: return QStringLiteral("lost");
  }
  return {};
}

namespace {
QMutex GPasswordMutex;
QString GPassword;
QString DbPassword() {
  QMutexLocker lock(&GPasswordMutex);
  return GPassword;
}
}  // namespace

void TFleetDb::SetPassword(const QString& password) {
  QMutexLocker lock(&GPasswordMutex);
  GPassword = password;
}

TFleetDb::TFleetDb() : FConnection(QStringLiteral("vanta-fleet-%1").arg(GConnections.fetchAndAddRelaxed(1))) {}

TFleetDb::~TFleetDb() {
  if (FDb.isValid()) {
    FDb.close();
    FDb = QSqlDatabase();
    QSqlDatabase::removeDatabase(FConnection);
  }
}

bool TFleetDb::Open(const QString& url, QString& error) {
  TDbUrl u;
  if (!ParseDbUrl(url, u, error)) return false;
  FDialect = u.Postgres ? TSqlDialect::Postgres() : TSqlDialect::Sqlite();
  if (!QSqlDatabase::isDriverAvailable(FDialect.Driver)) {
    error = TEn::tr("the Qt SQL driver %1 is not installed").arg(FDialect.Driver);
    return false;
  }
  FDb = QSqlDatabase::addDatabase(FDialect.Driver, FConnection);
  if (u.Postgres) {
    FDb.setHostName(u.Host);
    FDb.setPort(u.Port);
    FDb.setUserName(u.User);
    FDb.setDatabaseName(u.Database);
    if (const QString pw = DbPassword(); !pw.isEmpty()) FDb.setPassword(pw);
    // A server that does not answer is a failed open, not a hang.
    FDb.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=vanta-fleet;options='-c client_min_messages=warning'"));
  } else {
    const QFileInfo fi(u.Path);
    if (!QDir().mkpath(fi.absolutePath())) {
      error = TEn::tr("%1: folder cannot be made").arg(fi.absolutePath());
      return false;
    }
    FDb.setDatabaseName(fi.absoluteFilePath());
    // Several threads of the service write one after the other: a writer
    // waits for the lock instead of failing.
    FDb.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000"));
  }
  if (!FDb.open()) {
    error = QStringLiteral("database %1: %2").arg(url, FDb.lastError().text());
    return false;
  }
  if (!u.Postgres) {
    // WAL: readers (status, devices list) never wait for the writer, and a
    // killed writer leaves a database that opens as it was at the last commit.
    QSqlQuery q(FDb);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next() ||
        q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
      error = TEn::tr("database %1: WAL mode not available (%2)").arg(url, q.lastError().text());
      return false;
    }
    Exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
  }
  if (!Migrate()) {
    error = QStringLiteral("database %1: %2").arg(url, FError);
    return false;
  }
  return true;
}

bool TFleetDb::Exec(const QString& sql) {
  QSqlQuery q(FDb);
  if (q.exec(sql) || (!FInTransaction && Reconnected() && q.exec(sql))) return true;
  FError = q.lastError().text() + QStringLiteral(" (") + sql.simplified().left(120) + QLatin1Char(')');
  return false;
}

bool TFleetDb::Run(QSqlQuery& q) {
  if (q.exec()) return true;
  FError = q.lastError().text();
  // Inside a transaction the statements before this one went with the old
  // connection: only the caller can start over, so nothing is repeated here.
  if (FInTransaction || !Reconnected()) return false;
  QSqlQuery again(FDb);
  again.setForwardOnly(q.isForwardOnly());
  again.prepare(q.lastQuery());
  for (const QVariant& v : q.boundValues()) again.addBindValue(v);
  const bool ok = again.exec();
  if (!ok) FError = again.lastError().text();
  q = std::move(again);
  return ok;
}

bool TFleetDb::Begin() {
  if (FDb.transaction() || (Reconnected() && FDb.transaction())) {
    FInTransaction = true;
    return true;
  }
  FError = FDb.lastError().text();
  return false;
}

bool TFleetDb::Commit() {
  FInTransaction = false;
  if (FDb.commit()) return true;
  FError = FDb.lastError().text();
  return false;
}

void TFleetDb::Rollback() {
  FInTransaction = false;
  FDb.rollback();
}

namespace {
std::atomic<const std::atomic<bool>*> GStopFlag{nullptr};
std::atomic<int> GReconnects{0};
}  // namespace

void TFleetDb::SetStopFlag(const std::atomic<bool>* stop) { GStopFlag = stop; }

int TFleetDb::Reconnects() { return GReconnects.load(); }

bool TFleetDb::Reconnected() {
  // SQLite has no link to lose; a failed statement there is the statement's fault.
  if (!FDb.isValid() || FDialect.Driver != QLatin1String("QPSQL")) return false;
  {
    QSqlQuery probe(FDb);
    if (FDb.isOpen() && probe.exec(QStringLiteral("SELECT 1"))) return false;
  }
  // The server went away (restart, network): wait for it rather than fail
  // every device, until it is back, the service stops, or the wait is over.
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < qint64(FReconnectSeconds) * 1000) {
    FDb.close();
    if (FDb.open()) {
      GReconnects.fetch_add(1);
      return true;
    }
    for (int i = 0; i < 10; ++i) {
      const std::atomic<bool>* stop = GStopFlag.load();
      if (stop && stop->load()) return false;
      QThread::msleep(100);
    }
  }
  FError = QStringLiteral("database unreachable for %1 s: %2").arg(FReconnectSeconds).arg(FDb.lastError().text());
  return false;
}

double TFleetDb::WriteSeconds() { return double(GWriteNs.load(std::memory_order_relaxed)) / 1e9; }

int TFleetDb::LatestSchemaVersion() { return int(std::size(CMigrations)); }

int TFleetDb::SchemaVersion() {
  QSqlQuery q(FDb);
  if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !q.next()) return 0;
  return q.value(0).toInt();
}

bool TFleetDb::Migrate() {
  // Workers that start together on a new PostgreSQL database: one of them
  // migrates under the lock, the others wait and find the schema current.
  // (PostgreSQL changes tables inside a transaction; SQLite has one service.)
  const bool whole = FDialect.Driver == QLatin1String("QPSQL");
  if (whole) {
    if (!Begin()) return false;
    if (!Exec(QStringLiteral("SELECT pg_advisory_xact_lock(7262101)"))) {
      Rollback();
      return false;
    }
  }
  auto failed = [&] {
    Rollback();
    return false;
  };
  if (!Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER PRIMARY KEY, applied_at TEXT NOT NULL)")))
    return whole ? failed() : false;
  const int have = SchemaVersion();
  if (have > LatestSchemaVersion()) {
    FError = QStringLiteral("schema version %1 is newer than this program knows (%2)").arg(have).arg(LatestSchemaVersion());
    return whole ? failed() : false;
  }
  for (int v = have + 1; v <= LatestSchemaVersion(); ++v) {
    // A step is applied whole or not at all.
    if (!whole && !Begin()) return false;
    const QString sql = FDialect.Expand(QString::fromUtf8(CMigrations[v - 1]));
    bool ok = true;
    for (QString statement : sql.split(QLatin1Char(';'))) {
      QStringList lines;
      for (const QString& l : statement.split(QLatin1Char('\n')))
        if (!l.trimmed().startsWith(QLatin1String("--"))) lines << l;
      statement = lines.join(QLatin1Char('\n')).trimmed();
      if (statement.isEmpty()) continue;
      if (!(ok = Exec(statement))) break;
    }
    QSqlQuery q(FDb);
    q.prepare(QStringLiteral("INSERT INTO schema_version (version, applied_at) VALUES (?, ?)"));
    q.addBindValue(v);
    q.addBindValue(IsoUtc(QDateTime::currentDateTimeUtc()));
    if (ok && !q.exec()) {
      ok = false;
      FError = q.lastError().text();
    }
    if (!ok) return failed();
    if (!whole && !Commit()) return false;
  }
  return !whole || Commit();
}

namespace {
const char* const CDeviceColumns =
    "id, host, port, name, serial, plant, field, device, firmware, every_seconds, paused, next_due, last_contact, "
    "last_success, failures, password_file, ssh, ssh_user, trust_new_host_key, replaced_by";
}

TDeviceRow TFleetDb::ReadDevice(const QSqlQuery& q) {
  TDeviceRow d;
  d.Id = q.value(0).toLongLong();
  d.Host = q.value(1).toString();
  d.Port = q.value(2).toInt();
  d.Name = q.value(3).toString();
  d.Serial = q.value(4).toLongLong();
  d.Plant = q.value(5).toString();
  d.Field = q.value(6).toString();
  d.Device = q.value(7).toString();
  d.Firmware = q.value(8).toString();
  d.EverySeconds = q.value(9).toInt();
  d.Paused = q.value(10).toInt() != 0;
  d.NextDue = TSqlDialect::ReadTime(q.value(11));
  d.LastContact = TSqlDialect::ReadTime(q.value(12));
  d.LastSuccess = TSqlDialect::ReadTime(q.value(13));
  d.Failures = q.value(14).toInt();
  d.PasswordFile = q.value(15).toString();
  d.Ssh = q.value(16).toInt() != 0;
  d.SshUser = q.value(17).toString();
  d.TrustNewHostKey = q.value(18).toInt() != 0;
  d.ReplacedBy = q.value(19).toLongLong();
  return d;
}

std::optional<TDeviceRow> TFleetDb::FindActive(const QString& host, int port) {
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("SELECT %1 FROM devices WHERE host = ? AND port = ? AND replaced_by IS NULL ORDER BY id")
                .arg(QLatin1String(CDeviceColumns)));
  q.addBindValue(host);
  q.addBindValue(port);
  if (!Run(q) || !q.next()) return std::nullopt;
  return ReadDevice(q);
}

std::optional<TDeviceRow> TFleetDb::Device(qint64 id) {
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("SELECT %1 FROM devices WHERE id = ?").arg(QLatin1String(CDeviceColumns)));
  q.addBindValue(id);
  if (!Run(q) || !q.next()) return std::nullopt;
  return ReadDevice(q);
}

QList<TDeviceRow> TFleetDb::Devices(bool withReplaced) {
  QList<TDeviceRow> out;
  QSqlQuery q(FDb);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT %1 FROM devices %2 ORDER BY id")
                .arg(QLatin1String(CDeviceColumns), withReplaced ? QString() : QStringLiteral("WHERE replaced_by IS NULL")));
  if (!Run(q)) return out;
  while (q.next()) out << ReadDevice(q);
  return out;
}

bool TFleetDb::AddDevice(TDeviceRow& d) {
  QSqlQuery q(FDb);
  QString sql = QStringLiteral(
      "INSERT INTO devices (host, port, name, serial, every_seconds, paused, password_file, ssh, ssh_user, "
      "trust_new_host_key, next_due) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  if (FDialect.Returning) sql += QStringLiteral(" RETURNING id");
  q.prepare(sql);
  q.addBindValue(d.Host);
  q.addBindValue(d.Port);
  q.addBindValue(Text(d.Name));
  q.addBindValue(d.Serial ? QVariant(d.Serial) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(d.EverySeconds);
  q.addBindValue(d.Paused ? 1 : 0);
  q.addBindValue(OptText(d.PasswordFile));
  q.addBindValue(d.Ssh ? 1 : 0);
  q.addBindValue(OptText(d.SshUser));
  q.addBindValue(d.TrustNewHostKey ? 1 : 0);
  q.addBindValue(FDialect.BindTime(d.NextDue));
  if (!Run(q)) return false;
  d.Id = FDialect.Returning && q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
  return true;
}

bool TFleetDb::UpdateInventory(const TDeviceRow& d) {
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE devices SET name = ?, every_seconds = ?, password_file = ?, ssh = ?, ssh_user = ?, "
                           "trust_new_host_key = ? WHERE id = ?"));
  q.addBindValue(Text(d.Name));
  q.addBindValue(d.EverySeconds);
  q.addBindValue(OptText(d.PasswordFile));
  q.addBindValue(d.Ssh ? 1 : 0);
  q.addBindValue(OptText(d.SshUser));
  q.addBindValue(d.TrustNewHostKey ? 1 : 0);
  q.addBindValue(d.Id);
  return Run(q);
}

bool TFleetDb::RemoveDevice(qint64 id) {
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("DELETE FROM devices WHERE id = ?"));
  q.addBindValue(id);
  return Run(q);
}

bool TFleetDb::SetPaused(qint64 id, bool paused) {
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE devices SET paused = ? WHERE id = ?"));
  q.addBindValue(paused ? 1 : 0);
  q.addBindValue(id);
  return Run(q);
}

qint64 TFleetDb::BeginRun(const QString& worker, qint64 deviceId, qint64 serial, const QDateTime& now) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  QString sql = QStringLiteral("INSERT INTO runs (worker, device_id, serial, started_at) VALUES (?, ?, ?, ?)");
  if (FDialect.Returning) sql += QStringLiteral(" RETURNING id");
  q.prepare(sql);
  q.addBindValue(Text(worker));
  q.addBindValue(deviceId);
  q.addBindValue(serial ? QVariant(serial) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(FDialect.BindTime(now));
  if (!Run(q)) return 0;
  return FDialect.Returning && q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
}

bool TFleetDb::EndRun(qint64 runId, TRunResult result, int filesNew, qint64 bytes, const QString& message,
                      const QDateTime& now) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE runs SET ended_at = ?, result = ?, files_new = ?, bytes = ?, message = ? "
                           "WHERE id = ? AND result IS NULL"));
  q.addBindValue(FDialect.BindTime(now));
  q.addBindValue(RunResultName(result));
  q.addBindValue(filesNew);
  q.addBindValue(bytes);
  q.addBindValue(Text(message));
  q.addBindValue(runId);
  return Run(q);
}

bool TFleetDb::NoteRunProgress(qint64 runId, int filesNew, qint64 bytes) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE runs SET files_new = ?, bytes = ? WHERE id = ? AND result IS NULL"));
  q.addBindValue(filesNew);
  q.addBindValue(bytes);
  q.addBindValue(runId);
  return Run(q);
}

int TFleetDb::CloseOpenRuns(const QString& worker, const QDateTime& now) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE runs SET ended_at = ?, result = 'interrupted', message = ? WHERE result IS NULL") +
            (worker.isEmpty() ? QString() : QStringLiteral(" AND worker = ?")));
  q.addBindValue(FDialect.BindTime(now));
  q.addBindValue(QStringLiteral("service ended during the run"));
  if (!worker.isEmpty()) q.addBindValue(worker);
  return Run(q) ? q.numRowsAffected() : 0;
}

bool TFleetDb::NoteIdentity(const TDeviceRow& d, const QDateTime& now) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE devices SET serial = ?, plant = ?, field = ?, device = ?, firmware = ?, last_contact = ? "
                           "WHERE id = ?"));
  q.addBindValue(d.Serial);
  q.addBindValue(d.Plant);
  q.addBindValue(d.Field);
  q.addBindValue(d.Device);
  q.addBindValue(d.Firmware);
  q.addBindValue(FDialect.BindTime(now));
  q.addBindValue(d.Id);
  return Run(q);
}

qint64 TFleetDb::ReplaceDevice(const TDeviceRow& old, qint64 newSerial) {
  const TWriteClock clock;
  if (!Begin()) return 0;
  TDeviceRow fresh = old;
  fresh.Serial = newSerial;
  fresh.Failures = 0;
  fresh.NextDue = {};
  if (!AddDevice(fresh)) {
    Rollback();
    return 0;
  }
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE devices SET replaced_by = ? WHERE id = ?"));
  q.addBindValue(fresh.Id);
  q.addBindValue(old.Id);
  // The worker reading the old row goes on with the new one: the lease goes
  // with it, so no other worker starts on the same device meanwhile.
  QSqlQuery l(FDb);
  l.prepare(QStringLiteral("UPDATE devices SET lease_owner = (SELECT lease_owner FROM devices WHERE id = ?), "
                           "lease_until = (SELECT lease_until FROM devices WHERE id = ?) WHERE id = ?"));
  l.addBindValue(old.Id);
  l.addBindValue(old.Id);
  l.addBindValue(fresh.Id);
  // Run and Commit say what failed; the rollback keeps that.
  if (!Run(q) || !Run(l) || !Commit()) {
    Rollback();
    return 0;
  }
  return fresh.Id;
}

bool TFleetDb::MoveRun(qint64 runId, qint64 deviceId, qint64 serial) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE runs SET device_id = ?, serial = ? WHERE id = ?"));
  q.addBindValue(deviceId);
  q.addBindValue(serial);
  q.addBindValue(runId);
  return Run(q);
}

bool TFleetDb::NoteSuccess(qint64 id, const QDateTime& now, const QDateTime& nextDue) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE devices SET last_success = ?, failures = 0, next_due = ? WHERE id = ?"));
  q.addBindValue(FDialect.BindTime(now));
  q.addBindValue(FDialect.BindTime(nextDue));
  q.addBindValue(id);
  return Run(q);
}

bool TFleetDb::NoteFailure(qint64 id, int failures, const QDateTime& nextDue) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("UPDATE devices SET failures = ?, next_due = ? WHERE id = ?"));
  q.addBindValue(failures);
  q.addBindValue(FDialect.BindTime(nextDue));
  q.addBindValue(id);
  return Run(q);
}

QSet<QString> TFleetDb::PathsOf(const QString& table, qint64 serial) {
  QSet<QString> out;
  QSqlQuery q(FDb);
  q.setForwardOnly(true);
  // `table` is one of ours, never the caller's text: only the serial is a value.
  q.prepare(QStringLiteral("SELECT path FROM %1 WHERE serial = ?").arg(table));
  q.addBindValue(serial);
  if (Run(q))
    while (q.next()) out.insert(q.value(0).toString());
  return out;
}

QSet<QString> TFleetDb::IndexedPaths(qint64 serial) { return PathsOf(QStringLiteral("files"), serial); }

QStringList TFleetDb::SomeIndexedPaths(int n) {
  QStringList out;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("SELECT path FROM files ORDER BY id DESC LIMIT ?"));
  q.addBindValue(n);
  if (Run(q))
    while (q.next()) out << q.value(0).toString();
  return out;
}

QSet<QString> TFleetDb::PurgedPaths(qint64 serial) { return PathsOf(QStringLiteral("purged"), serial); }

bool TFleetDb::IndexFile(const TFileRow& f, const QList<TEventRow>& events, bool& inserted) {
  const TWriteClock clock;
  inserted = false;
  if (!Begin()) return false;
  // Run says what failed; the rollback keeps it.
  auto fail = [this] {
    Rollback();
    return false;
  };
  QSqlQuery q(FDb);
  // A row that is there already (another run got there first) is left as it is.
  QString sql = QStringLiteral(
      "INSERT INTO files (device_id, serial, path, kind, class, start_time, end_time, size, sha256, downloaded_at) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (serial, path) DO NOTHING");
  if (FDialect.Returning) sql += QStringLiteral(" RETURNING id");
  q.prepare(sql);
  q.addBindValue(f.DeviceId);
  q.addBindValue(f.Serial);
  q.addBindValue(f.Path);
  q.addBindValue(f.Recording ? QStringLiteral("recording") : QStringLiteral("event"));
  q.addBindValue(Text(f.Class));
  q.addBindValue(FDialect.BindTime(f.Start));
  q.addBindValue(FDialect.BindTime(f.End));
  q.addBindValue(f.Size);
  q.addBindValue(f.Sha256);
  q.addBindValue(FDialect.BindTime(QDateTime::currentDateTimeUtc()));
  if (!Run(q)) return fail();
  qint64 fileId = 0;
  if (FDialect.Returning) {
    if (q.next()) fileId = q.value(0).toLongLong();
  } else if (q.numRowsAffected() > 0) {
    fileId = q.lastInsertId().toLongLong();
  }
  if (fileId == 0) {
    Rollback();
    return true;
  }
  QSqlQuery e(FDb);
  e.prepare(QStringLiteral("INSERT INTO events (file_id, serial, time, text, max_value, unit, harmonic, duration_ms) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
  for (const TEventRow& r : events) {
    e.addBindValue(fileId);
    e.addBindValue(r.Serial);
    e.addBindValue(FDialect.BindTime(r.Time));
    e.addBindValue(Text(r.Text));
    e.addBindValue(OptD(r.MaxValue));
    e.addBindValue(Text(r.Unit));
    e.addBindValue(r.Harmonic ? QVariant(*r.Harmonic) : QVariant(QMetaType(QMetaType::Int)));
    e.addBindValue(Opt(r.DurationMs));
    if (!Run(e)) return fail();
  }
  if (!Commit()) return fail();
  inserted = true;
  return true;
}

bool TFleetDb::AddStatus(const TStatusRow& s) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("INSERT INTO status (device_id, serial, taken_at, firmware, uptime_s, device_time, clock_offset_s, "
                           "flash_free_mb, ram_free_mb, sd_free_mb, time_sync) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  q.addBindValue(s.DeviceId);
  q.addBindValue(s.Serial);
  q.addBindValue(FDialect.BindTime(s.TakenAt));
  q.addBindValue(s.Firmware);
  q.addBindValue(s.UptimeS);
  q.addBindValue(FDialect.BindTime(s.DeviceTime));
  q.addBindValue(Opt(s.ClockOffsetS));
  q.addBindValue(Opt(s.FlashFreeMb));
  q.addBindValue(Opt(s.RamFreeMb));
  q.addBindValue(Opt(s.SdFreeMb));
  q.addBindValue(OptText(s.TimeSync));
  return Run(q);
}

QList<TDeviceSummary> TFleetDb::Summaries() {
  QList<TDeviceSummary> out;
  for (const TDeviceRow& d : Devices()) {
    TDeviceSummary s;
    s.Device = d;
    QSqlQuery q(FDb);
    q.prepare(QStringLiteral("SELECT COUNT(*), COALESCE(SUM(size), 0) FROM files WHERE serial = ?"));
    q.addBindValue(d.Serial);
    if (d.Serial && Run(q) && q.next()) {
      s.Files = q.value(0).toLongLong();
      s.Bytes = q.value(1).toLongLong();
    }
    QSqlQuery st(FDb);
    st.prepare(QStringLiteral("SELECT clock_offset_s FROM status WHERE device_id = ? ORDER BY taken_at DESC LIMIT 1"));
    st.addBindValue(d.Id);
    if (Run(st) && st.next() && !st.value(0).isNull()) s.ClockOffsetS = st.value(0).toLongLong();
    out << s;
  }
  return out;
}

QStringList TFleetDb::Retain(const QString& store, const QDateTime& before, QString& error) {
  const TWriteClock clock;
  QStringList gone;
  QSqlQuery q(FDb);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT id, serial, path FROM files WHERE downloaded_at < ? ORDER BY id"));
  q.addBindValue(FDialect.BindTime(before));
  if (!Run(q)) {
    error = q.lastError().text();
    return gone;
  }
  struct TOld {
    qint64 Id, Serial;
    QString Path;
  };
  QList<TOld> old;
  while (q.next()) old << TOld{q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toString()};
  q.finish();
  const QString root = QDir(store).absolutePath() + QLatin1Char('/');
  for (const TOld& o : old) {
    const QString local = root + o.Path;
    // Rows out, file gone, then commit: a file that cannot be removed keeps
    // its rows (rolled back); a crash after the removal leaves rows without
    // a file, which the next pass removes, since they are still old.
    if (!Begin()) continue;
    QSqlQuery d(FDb);
    bool ok = true;
    d.prepare(QStringLiteral("DELETE FROM events WHERE file_id = ?"));
    d.addBindValue(o.Id);
    ok = ok && Run(d);
    d.prepare(QStringLiteral("DELETE FROM files WHERE id = ?"));
    d.addBindValue(o.Id);
    ok = ok && Run(d);
    d.prepare(QStringLiteral("INSERT INTO purged (serial, path, purged_at) VALUES (?, ?, ?) ON CONFLICT (serial, path) DO NOTHING"));
    d.addBindValue(o.Serial);
    d.addBindValue(o.Path);
    d.addBindValue(FDialect.BindTime(QDateTime::currentDateTimeUtc()));
    ok = ok && Run(d);
    if (!ok) {
      error = d.lastError().text();
      Rollback();
      continue;
    }
    if (QFileInfo::exists(local) && !QFile::remove(local)) {
      error = TEn::tr("%1: cannot be removed").arg(local);
      Rollback();
      continue;
    }
    if (Commit())
      gone << o.Path;
    else
      error = FError;
  }
  return gone;
}

QList<TDeviceRow> TFleetDb::ClaimDevices(const QString& worker, int n, int leaseSeconds, const QDateTime& now,
                                         const QDateTime& passStart) {
  const TWriteClock clock;
  QList<TDeviceRow> out;
  if (FDialect.Driver != QLatin1String("QPSQL")) {
    FError = QStringLiteral("leases need PostgreSQL");
    return out;
  }
  FError.clear();
  if (n <= 0 || !Begin()) return out;
  // Row locks are the queue: a device another worker is claiming in this
  // moment is skipped, not waited for. Lease times are the server's clock,
  // so workers on machines whose clocks differ still agree on them.
  const QString which = passStart.isValid()
                            ? QStringLiteral("NOT EXISTS (SELECT 1 FROM runs r WHERE r.device_id = devices.id AND "
                                             "r.ended_at >= ? AND r.result IN ('ok', 'failed'))")
                            : QStringLiteral("(next_due IS NULL OR next_due <= ?)");
  QSqlQuery q(FDb);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("WITH c AS (SELECT id FROM devices WHERE replaced_by IS NULL AND paused = 0 "
                           "AND (lease_until IS NULL OR lease_until < now()) AND %1 "
                           "ORDER BY next_due NULLS FIRST, id LIMIT ? FOR UPDATE SKIP LOCKED) "
                           "UPDATE devices SET lease_owner = ?, lease_until = now() + make_interval(secs => ?) "
                           "FROM c WHERE devices.id = c.id RETURNING %2")
                .arg(which, QStringLiteral("devices.") + QString::fromLatin1(CDeviceColumns).replace(QStringLiteral(", "),
                                                                                                   QStringLiteral(", devices."))));
  q.addBindValue(FDialect.BindTime(passStart.isValid() ? passStart : now));
  q.addBindValue(n);
  q.addBindValue(Text(worker));
  q.addBindValue(leaseSeconds);
  if (!Run(q)) {
    Rollback();
    return out;
  }
  while (q.next()) out << ReadDevice(q);
  // Whoever held one of these before let its lease run out: its open run
  // will never end on its own.
  QSqlQuery lost(FDb);
  lost.prepare(QStringLiteral("UPDATE runs SET result = 'lost', ended_at = ?, message = ? "
                              "WHERE device_id = ? AND result IS NULL AND worker <> ?"));
  for (const TDeviceRow& d : out) {
    lost.addBindValue(FDialect.BindTime(now));
    lost.addBindValue(QStringLiteral("worker lost its lease; the device went to %1").arg(worker));
    lost.addBindValue(d.Id);
    lost.addBindValue(Text(worker));
    if (!Run(lost)) {
      Rollback();
      return {};
    }
  }
  if (!Commit()) return {};
  return out;
}

QSet<qint64> TFleetDb::RenewLeases(const QString& worker, int leaseSeconds, bool& ok) {
  const TWriteClock clock;
  QSet<qint64> held;
  QSqlQuery q(FDb);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("UPDATE devices SET lease_until = now() + make_interval(secs => ?) WHERE lease_owner = ? "
                           "RETURNING id"));
  q.addBindValue(leaseSeconds);
  q.addBindValue(Text(worker));
  ok = Run(q);
  while (ok && q.next()) held.insert(q.value(0).toLongLong());
  return held;
}

bool TFleetDb::ReleaseLease(qint64 id, const QString& worker) {
  const TWriteClock clock;
  QSqlQuery q(FDb);
  // The row a changed serial number made is released with the old one.
  q.prepare(QStringLiteral("UPDATE devices SET lease_owner = NULL, lease_until = NULL "
                           "WHERE (id = ? OR id = (SELECT replaced_by FROM devices WHERE id = ?)) AND lease_owner = ?"));
  q.addBindValue(id);
  q.addBindValue(id);
  q.addBindValue(Text(worker));
  return Run(q);
}

bool TFleetDb::TryLockSerial(qint64 serial) {
  if (FDialect.Driver != QLatin1String("QPSQL")) return true;
  QSqlQuery q(FDb);
  // The two-key form: the first key keeps these apart from other locks.
  q.prepare(QStringLiteral("SELECT pg_try_advisory_lock(7262102, ?)"));
  q.addBindValue(int(serial % 2147483647));
  return Run(q) && q.next() && q.value(0).toBool();
}

int TFleetDb::PendingForPass(const QDateTime& passStart) {
  QSqlQuery q(FDb);
  q.prepare(QStringLiteral("SELECT COUNT(*) FROM devices WHERE replaced_by IS NULL AND paused = 0 AND NOT EXISTS "
                           "(SELECT 1 FROM runs r WHERE r.device_id = devices.id AND r.ended_at >= ? "
                           "AND r.result IN ('ok', 'failed'))"));
  q.addBindValue(FDialect.BindTime(passStart));
  if (!Run(q) || !q.next()) return -1;
  return q.value(0).toInt();
}

}  // namespace vanta::fleet
