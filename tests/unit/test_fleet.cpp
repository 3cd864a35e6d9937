// The fleet service's pieces without a device: durations, host lines, the
// schema and its migrations, the index and retention, the back-off.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include "DeviceReadout.h"
#include "FleetDb.h"
#include "Inventory.h"

using namespace vanta::fleet;

TEST(FleetDuration, TakesOneNumberAndOneUnit) {
  QString e;
  EXPECT_EQ(ParseDuration(QStringLiteral("30s"), e), 30);
  EXPECT_EQ(ParseDuration(QStringLiteral("15m"), e), 900);
  EXPECT_EQ(ParseDuration(QStringLiteral("2h"), e), 7200);
  EXPECT_EQ(ParseDuration(QStringLiteral("1d"), e), 86400);
  // Zero is a duration, only too short for one.
  EXPECT_EQ(ParseDuration(QStringLiteral("0s"), e), -1);
  EXPECT_TRUE(e.contains(QLatin1String("at least 1s"))) << e.toStdString();
  for (const char* bad : {"", "15", "m", "-5m", "1.5h", "2w", "15 m", "1h30m", "15M"}) {
    e.clear();
    EXPECT_EQ(ParseDuration(QString::fromLatin1(bad), e), -1) << bad;
    EXPECT_TRUE(e.contains(QLatin1String("30s, 15m, 2h or 1d"))) << bad << ": " << e.toStdString();
  }
  // A number of days that would not fit is refused, not wrapped round.
  EXPECT_EQ(ParseDuration(QStringLiteral("366d"), e), 366 * 86400);
  EXPECT_EQ(ParseDuration(QStringLiteral("999999999d"), e), -1);
  EXPECT_TRUE(e.contains(QLatin1String("longer than a year"))) << e.toStdString();
  EXPECT_EQ(DurationText(900), QStringLiteral("15m"));
  EXPECT_EQ(DurationText(86400), QStringLiteral("1d"));
  EXPECT_EQ(DurationText(45), QStringLiteral("45s"));
}

TEST(FleetHosts, LinesAsTheMassUpdateReadsThem) {
  THostLine h;
  QString e;
  ASSERT_TRUE(ParseHostLine(QStringLiteral("10.0.0.5"), h, e));
  EXPECT_EQ(h.Host, QStringLiteral("10.0.0.5"));
  EXPECT_EQ(h.Port, 5040);
  ASSERT_TRUE(ParseHostLine(QStringLiteral("  dev-7.example.org:6000   Umspannwerk Nord  # east"), h, e));
  EXPECT_EQ(h.Host, QStringLiteral("dev-7.example.org"));
  EXPECT_EQ(h.Port, 6000);
  EXPECT_EQ(h.Name, QStringLiteral("Umspannwerk Nord"));
  ASSERT_TRUE(ParseHostLine(QStringLiteral("[fe80::1]:5041 v6"), h, e));
  EXPECT_EQ(h.Host, QStringLiteral("fe80::1"));
  EXPECT_EQ(h.Port, 5041);
  EXPECT_EQ(h.Name, QStringLiteral("v6"));
  ASSERT_TRUE(ParseHostLine(QStringLiteral("fe80::2"), h, e));
  EXPECT_EQ(h.Host, QStringLiteral("fe80::2"));
  for (const char* bad : {"host:0", "host:70000", "host:abc", "under_score.example name", "1.2.3.4:5:6", "-lead.example"}) {
    e.clear();
    EXPECT_FALSE(ParseHostLine(QString::fromLatin1(bad), h, e)) << bad;
    EXPECT_FALSE(e.isEmpty());
  }
  // A line of a binary file: told without its control bytes, and short.
  EXPECT_FALSE(ParseHostLine(QString::fromLatin1("VREC\x01\x02\x1b[2J") + QString(200, QLatin1Char('x')), h, e));
  EXPECT_TRUE(e.startsWith(QStringLiteral("\"VREC???[2J"))) << e.toStdString();
  EXPECT_LT(e.size(), 120) << e.toStdString();
}

TEST(FleetHosts, AFileSkipsCommentsAndNamesItsBadLine) {
  QList<THostLine> hosts;
  QString e;
  ASSERT_TRUE(ParseHostsText(QStringLiteral("# fleet\n\n10.0.0.1 a\n10.0.0.2:5041  # b\n[::1]:5042 c\n"), QStringLiteral("h.txt"),
                             hosts, e));
  ASSERT_EQ(hosts.size(), 3);
  EXPECT_EQ(hosts[1].Port, 5041);
  EXPECT_TRUE(hosts[1].Name.isEmpty());
  EXPECT_EQ(hosts[2].Host, QStringLiteral("::1"));
  EXPECT_FALSE(ParseHostsText(QStringLiteral("10.0.0.1\nbad_host:5040 name\n"), QStringLiteral("h.txt"), hosts, e));
  EXPECT_TRUE(e.startsWith(QStringLiteral("h.txt:2: "))) << e.toStdString();
  EXPECT_FALSE(ParseHostsText(QStringLiteral("# nothing\n"), QStringLiteral("h.txt"), hosts, e));
}

TEST(FleetDbUrl, SqliteAndPostgres) {
  TDbUrl u;
  QString e;
  ASSERT_TRUE(ParseDbUrl(QStringLiteral("sqlite:/var/lib/f.sqlite"), u, e));
  EXPECT_FALSE(u.Postgres);
  EXPECT_EQ(u.Path, QStringLiteral("/var/lib/f.sqlite"));
  ASSERT_TRUE(ParseDbUrl(QStringLiteral("postgresql://fleet@db.example.org:5433/vanta"), u, e));
  EXPECT_TRUE(u.Postgres);
  EXPECT_EQ(u.User, QStringLiteral("fleet"));
  EXPECT_EQ(u.Port, 5433);
  EXPECT_EQ(u.Database, QStringLiteral("vanta"));
  EXPECT_FALSE(ParseDbUrl(QStringLiteral("postgresql://fleet:secret@db/vanta"), u, e));
  EXPECT_TRUE(e.contains(QLatin1String("no password"))) << e.toStdString();
  EXPECT_FALSE(ParseDbUrl(QStringLiteral("mysql://x/y"), u, e));
  EXPECT_FALSE(ParseDbUrl(QStringLiteral("sqlite:"), u, e));
}

TEST(FleetDialect, SpellsTheSchemaForEachEngine) {
  const QString ddl = QStringLiteral("id ${ID}, t ${TIME}, n ${BIGINT}");
  EXPECT_EQ(TSqlDialect::Sqlite().Expand(ddl), QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT, t TEXT, n INTEGER"));
  EXPECT_EQ(TSqlDialect::Postgres().Expand(ddl), QStringLiteral("id BIGSERIAL PRIMARY KEY, t TIMESTAMPTZ, n BIGINT"));
  const QDateTime t = QDateTime::fromString(QStringLiteral("2026-12-07T15:47:25+01:00"), Qt::ISODate);
  EXPECT_EQ(TSqlDialect::Sqlite().BindTime(t).toString(), QStringLiteral("2026-12-07T14:47:25.000Z"));
  // Stored times sort as text: a whole second never goes after its own half.
  EXPECT_LT(TSqlDialect::Sqlite().BindTime(t).toString(), TSqlDialect::Sqlite().BindTime(t.addMSecs(500)).toString());
  EXPECT_EQ(TSqlDialect::ReadTime(QStringLiteral("2026-12-07T14:47:25Z")), t);
}

namespace {
QStringList Columns(TFleetDb& db, const QString& table) {
  QStringList out;
  const QSqlRecord r = db.Db().record(table);
  for (int i = 0; i < r.count(); ++i) out << r.fieldName(i);
  return out;
}
}  // namespace

TEST(FleetSchema, MigratesAnEmptyDatabaseToTheLatestVersion) {
  QTemporaryDir dir;
  const QString url = QStringLiteral("sqlite:") + dir.path() + QStringLiteral("/sub/fleet.sqlite");
  {
    TFleetDb db;
    QString e;
    ASSERT_TRUE(db.Open(url, e)) << e.toStdString();
    EXPECT_EQ(db.SchemaVersion(), TFleetDb::LatestSchemaVersion());
    QSqlQuery q(db.Db());
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("wal"));
    const QStringList devices = Columns(db, QStringLiteral("devices"));
    for (const char* c : {"id", "host", "port", "name", "serial", "plant", "field", "device", "firmware", "every_seconds", "paused",
                          "next_due", "last_contact", "last_success", "failures", "password_file", "lease_owner", "lease_until"})
      EXPECT_TRUE(devices.contains(QLatin1String(c))) << "devices." << c;
    for (const char* c : {"id", "device_id", "serial", "path", "kind", "class", "start_time", "end_time", "size", "sha256", "downloaded_at"})
      EXPECT_TRUE(Columns(db, QStringLiteral("files")).contains(QLatin1String(c))) << "files." << c;
    for (const char* c : {"id", "file_id", "serial", "time", "text", "max_value", "unit", "harmonic", "duration_ms"})
      EXPECT_TRUE(Columns(db, QStringLiteral("events")).contains(QLatin1String(c))) << "events." << c;
    for (const char* c : {"id", "worker", "device_id", "serial", "started_at", "ended_at", "result", "files_new", "bytes", "message"})
      EXPECT_TRUE(Columns(db, QStringLiteral("runs")).contains(QLatin1String(c))) << "runs." << c;
    for (const char* c : {"device_id", "serial", "taken_at", "firmware", "uptime_s", "device_time", "clock_offset_s", "flash_free_mb",
                          "ram_free_mb", "sd_free_mb", "time_sync"})
      EXPECT_TRUE(Columns(db, QStringLiteral("status")).contains(QLatin1String(c))) << "status." << c;
    TDeviceRow d;
    d.Host = QStringLiteral("10.0.0.1");
    ASSERT_TRUE(db.AddDevice(d));
    // A result the schema does not know is refused by the database itself.
    EXPECT_FALSE(q.exec(QStringLiteral("INSERT INTO runs (worker, device_id, started_at, result) VALUES ('w', 1, 'x', 'maybe')")));
  }
  // Opening again applies nothing twice and keeps the rows.
  TFleetDb again;
  QString e;
  ASSERT_TRUE(again.Open(url, e)) << e.toStdString();
  QSqlQuery q(again.Db());
  ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM schema_version")) && q.next());
  EXPECT_EQ(q.value(0).toInt(), TFleetDb::LatestSchemaVersion());
  EXPECT_EQ(again.Devices().size(), 1);
}

TEST(FleetSchema, ANewerDatabaseIsRefused) {
  QTemporaryDir dir;
  const QString url = QStringLiteral("sqlite:") + dir.path() + QStringLiteral("/fleet.sqlite");
  {
    TFleetDb db;
    QString e;
    ASSERT_TRUE(db.Open(url, e));
    QSqlQuery q(db.Db());
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO schema_version VALUES (99, 'later')")));
  }
  TFleetDb db;
  QString e;
  EXPECT_FALSE(db.Open(url, e));
  EXPECT_TRUE(e.contains(QLatin1String("newer"))) << e.toStdString();
}

TEST(FleetIndex, AFileIsIndexedOnceWithItsEvents) {
  QTemporaryDir dir;
  TFleetDb db;
  QString e;
  ASSERT_TRUE(db.Open(QStringLiteral("sqlite:") + dir.path() + QStringLiteral("/f.sqlite"), e));
  TFileRow f;
  f.DeviceId = 1;
  f.Serial = 12345678;
  f.Path = QStringLiteral("12345678/Event/12345678-1764896400-125.log");
  f.Size = 10;
  f.Sha256 = QStringLiteral("ab");
  TEventRow ev;
  ev.Serial = f.Serial;
  ev.Time = QDateTime::currentDateTimeUtc();
  ev.Text = QStringLiteral("Spannungseinbruch L1");
  bool inserted = false;
  ASSERT_TRUE(db.IndexFile(f, {ev, ev}, inserted));
  EXPECT_TRUE(inserted);
  ASSERT_TRUE(db.IndexFile(f, {ev, ev}, inserted));
  EXPECT_FALSE(inserted) << "the same file again writes nothing";
  QSqlQuery q(db.Db());
  ASSERT_TRUE(q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM files), (SELECT COUNT(*) FROM events)")) && q.next());
  EXPECT_EQ(q.value(0).toInt(), 1);
  EXPECT_EQ(q.value(1).toInt(), 2);
  EXPECT_EQ(db.IndexedPaths(12345678), QSet<QString>{f.Path});
}

TEST(FleetRetention, RemovesOnlyFilesIndexedBeforeTheLimit) {
  QTemporaryDir dir;
  TFleetDb db;
  QString e;
  ASSERT_TRUE(db.Open(QStringLiteral("sqlite:") + dir.path() + QStringLiteral("/f.sqlite"), e));
  const QString store = dir.path() + QLatin1Char('/');
  for (const char* name : {"old.log", "new.log"}) {
    QDir().mkpath(store + QStringLiteral("1/Event"));
    QFile out(store + QStringLiteral("1/Event/") + QLatin1String(name));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("x");
    out.close();
    TFileRow f;
    f.DeviceId = 1;
    f.Serial = 1;
    f.Path = QStringLiteral("1/Event/") + QLatin1String(name);
    f.Size = 1;
    f.Sha256 = QStringLiteral("00");
    bool inserted = false;
    ASSERT_TRUE(db.IndexFile(f, {TEventRow{1, QDateTime::currentDateTimeUtc(), QStringLiteral("e"), {}, {}, {}, {}}}, inserted));
  }
  QSqlQuery q(db.Db());
  ASSERT_TRUE(q.exec(QStringLiteral("UPDATE files SET downloaded_at = '2020-01-01T00:00:00Z' WHERE path LIKE '%old.log'")));
  const QStringList gone = db.Retain(store, QDateTime::currentDateTimeUtc().addDays(-30), e);
  EXPECT_EQ(gone, QStringList{QStringLiteral("1/Event/old.log")});
  EXPECT_FALSE(QFile::exists(store + QStringLiteral("1/Event/old.log")));
  EXPECT_TRUE(QFile::exists(store + QStringLiteral("1/Event/new.log")));
  ASSERT_TRUE(q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM files), (SELECT COUNT(*) FROM events)")) && q.next());
  EXPECT_EQ(q.value(0).toInt(), 1);
  EXPECT_EQ(q.value(1).toInt(), 1);
  // Not fetched again while the device still lists it.
  EXPECT_EQ(db.PurgedPaths(1), QSet<QString>{QStringLiteral("1/Event/old.log")});
}

TEST(FleetRetention, AFileWhoseRowsCannotGoStaysAndAFileThatCannotGoKeepsItsRows) {
  QTemporaryDir dir;
  TFleetDb db;
  QString e;
  ASSERT_TRUE(db.Open(QStringLiteral("sqlite:") + dir.path() + QStringLiteral("/f.sqlite"), e));
  const QString store = dir.path() + QLatin1Char('/');
  QDir().mkpath(store + QStringLiteral("1/Event"));
  for (const char* name : {"rows-stuck.log", "file-stuck.log"}) {
    TFileRow f;
    f.DeviceId = 1;
    f.Serial = 1;
    f.Path = QStringLiteral("1/Event/") + QLatin1String(name);
    f.Size = 1;
    f.Sha256 = QStringLiteral("00");
    bool inserted = false;
    ASSERT_TRUE(db.IndexFile(f, {TEventRow{1, QDateTime::currentDateTimeUtc(), QStringLiteral("e"), {}, {}, {}, {}}}, inserted));
  }
  QFile rows(store + QStringLiteral("1/Event/rows-stuck.log"));
  ASSERT_TRUE(rows.open(QIODevice::WriteOnly));
  rows.write("x");
  rows.close();
  // A directory in the file's place cannot be removed like a file (also not by root).
  ASSERT_TRUE(QDir().mkpath(store + QStringLiteral("1/Event/file-stuck.log/inside")));
  QSqlQuery q(db.Db());
  ASSERT_TRUE(q.exec(QStringLiteral("UPDATE files SET downloaded_at = '2020-01-01T00:00:00Z'")));
  ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON files WHEN old.path LIKE '%rows-stuck.log' "
                                    "BEGIN SELECT RAISE(ABORT, 'rows kept'); END")));
  e.clear();
  const QStringList gone = db.Retain(store, QDateTime::currentDateTimeUtc().addDays(-30), e);
  EXPECT_TRUE(gone.isEmpty());
  EXPECT_FALSE(e.isEmpty());
  // Neither lost its file while keeping its rows, nor its rows while keeping its file.
  EXPECT_TRUE(QFile::exists(store + QStringLiteral("1/Event/rows-stuck.log")));
  ASSERT_TRUE(q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM files), (SELECT COUNT(*) FROM events), (SELECT COUNT(*) FROM purged)")) && q.next());
  EXPECT_EQ(q.value(0).toInt(), 2);
  EXPECT_EQ(q.value(1).toInt(), 2);
  EXPECT_EQ(q.value(2).toInt(), 0);
}

TEST(FleetSchedule, BackOffDoublesUpToAnHour) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  const int day = 86400;
  EXPECT_EQ(now.secsTo(NextDueAfter(now, day, 1, 1)), 60);
  EXPECT_EQ(now.secsTo(NextDueAfter(now, day, 2, 1)), 120);
  EXPECT_EQ(now.secsTo(NextDueAfter(now, day, 3, 1)), 240);
  EXPECT_EQ(now.secsTo(NextDueAfter(now, day, 7, 1)), 3600);
  EXPECT_EQ(now.secsTo(NextDueAfter(now, day, 40, 1)), 3600);
  // Never later than the device's own interval.
  EXPECT_EQ(now.secsTo(NextDueAfter(now, 300, 6, 1)), 300);
  // After a success: the interval and at most a tenth more, the same for a device each time.
  const qint64 a = now.secsTo(NextDueAfter(now, 900, 0, 1)), b = now.secsTo(NextDueAfter(now, 900, 0, 2));
  EXPECT_GE(a, 900);
  EXPECT_LT(a, 990);
  EXPECT_NE(a, b) << "two devices do not fall due together";
  EXPECT_EQ(a, now.secsTo(NextDueAfter(now, 900, 0, 1)));
}
