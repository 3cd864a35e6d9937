// vanta-fleet against real simulators: the store filled byte for byte as a
// direct vanta-cli download fills it, nothing fetched twice, a dead device
// failing alone, paused devices left alone, the events table as `vanta-cli
// record events` reads the files, a changed serial number, a clean stop, a
// service killed in the middle of a download, retention.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QCryptographicHash>
#include <QTcpServer>
#include <QThread>
#include <csignal>
#include <sys/types.h>

#include "CliSupport.h"

namespace vanta::test::fleet {

using cli::MatchesSchema;
using cli::OneDocument;
using cli::ReadAll;
using cli::RunCli;
using cli::TRun;

class FleetTest : public ::testing::Test {
 protected:
  // Words of one line, none holding a space; paths and names come as `more`.
  static QStringList A(const char* line, const QStringList& more = {}) {
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts) + more;
  }
  static QString Addr(quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); }
  static QString Sha(const QByteArray& b) { return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex()); }
  TRun Fleet(const QStringList& args, int timeoutMs = 120000) {
    return RunFleetRaw(QStringList{QStringLiteral("--data-dir"), Store.path()} + args, timeoutMs);
  }
  TRun Fleet(const char* line, const QStringList& more = {}) { return Fleet(A(line, more)); }
  // Without the test's store: the arguments say where.
  TRun RunFleetRaw(const QStringList& args, int timeoutMs = 120000) {
    QProcess p;
    p.start(QStringLiteral(VANTA_FLEET_PATH), args);
    if (!p.waitForFinished(timeoutMs)) {
      p.kill();
      p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
  }
  // A simulator with this serial number in the inventory, read once.
  bool StartAndRead(TSimProcess& sim, const char* serial) {
    return sim.Start(A("--serial-number", {QString::fromLatin1(serial)})) && Fleet("devices add", {Addr(sim.Port)}).Exit == 0 &&
           Fleet("run --once").Exit == 0;
  }
  int Import(const QString& hosts) { return Fleet("devices import", {HostsFile(hosts)}).Exit; }
  QString HostsFile(const QString& text) {
    const QString path = Work.path() + QStringLiteral("/hosts.txt");
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
    return path;
  }
  QJsonObject Doc(const TRun& r) {
    QJsonObject o;
    EXPECT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
    return o;
  }
  QJsonObject FirstRun(const TRun& r) { return Doc(r).value(QStringLiteral("runs")).toArray().at(0).toObject(); }
  static QMap<int, QJsonObject> ByPort(const QJsonArray& a) {
    QMap<int, QJsonObject> out;
    for (const QJsonValue& v : a) out.insert(v.toObject().value(QStringLiteral("port")).toInt(), v.toObject());
    return out;
  }
  QMap<QString, QByteArray> ExpectAsDirectDownload(quint16 port, qint64 serial) {
    return cli::ExpectAsDirectDownload(port, serial, Store.path());
  }
  static QMap<QString, QByteArray> Files(const QString& root, qint64 serial) { return cli::StoreFiles(root, serial); }
  // A read-only look at the service's database.
  struct TDb {
    explicit TDb(const QString& file) : Name(QStringLiteral("test-%1").arg(quintptr(this))) {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Name);
      db.setDatabaseName(file);
      EXPECT_TRUE(db.open());
    }
    ~TDb() {
      QSqlDatabase::database(Name).close();
      QSqlDatabase::removeDatabase(Name);
    }
    QList<QVariantList> Rows(const QString& sql) {
      QList<QVariantList> out;
      QSqlQuery q(QSqlDatabase::database(Name));
      EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
      while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i) row << q.value(i);
        out << row;
      }
      return out;
    }
    int Int(const QString& sql) { return Rows(sql).value(0).value(0).toInt(); }
    QString Name;
  };
  QString DbFile() const { return Store.path() + QStringLiteral("/fleet.sqlite"); }

  QTemporaryDir Store, Work;
};

TEST_F(FleetTest, FilesAreThoseOfADirectDownloadAndASecondRunFetchesNothing) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(A("--serial-number 20001")));
  const TRun imp = Fleet("--json devices import", {HostsFile(QStringLiteral("# one device\n127.0.0.1:%1 Feld A\n").arg(sim.Port))});
  ASSERT_EQ(imp.Exit, 0) << imp.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(imp.Out, QStringLiteral("fleet-devices")));
  EXPECT_EQ(Doc(imp).value(QStringLiteral("added")).toInt(), 1);

  const TRun run = Fleet("--json run --once");
  ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
  // The log goes to stderr beside the document, not lost.
  EXPECT_TRUE(run.Err.contains(QStringLiteral("ok: serial 20001"))) << run.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(run.Out, QStringLiteral("fleet-run")));
  const QJsonArray runs = Doc(run).value(QStringLiteral("runs")).toArray();
  // The files and their events were written: the time that took is told.
  EXPECT_GT(Doc(run).value(QStringLiteral("dbWriteSeconds")).toDouble(), 0.0);
  ASSERT_EQ(runs.size(), 1);
  const QJsonObject first = runs[0].toObject();
  EXPECT_EQ(first.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_EQ(first.value(QStringLiteral("serial")).toInteger(), 20001);

  const QMap<QString, QByteArray> want = ExpectAsDirectDownload(sim.Port, 20001);
  EXPECT_EQ(first.value(QStringLiteral("filesNew")).toInt(), want.size());
  qint64 bytes = 0;
  for (const QByteArray& b : want) bytes += b.size();
  EXPECT_EQ(first.value(QStringLiteral("bytes")).toInteger(), bytes);

  {
    TDb db(DbFile());
    // One row per file, with the hash of what lies on disk and no part file.
    const QList<QVariantList> rows = db.Rows(QStringLiteral("SELECT path, sha256, size, kind FROM files ORDER BY path"));
    ASSERT_EQ(rows.size(), want.size());
    for (const QVariantList& r : rows) {
      const QString path = r[0].toString();
      EXPECT_FALSE(path.endsWith(QLatin1String(".part")));
      const QByteArray bytesOnDisk = ReadAll(Store.path() + QLatin1Char('/') + path);
      EXPECT_EQ(r[1].toString(), Sha(bytesOnDisk));
      EXPECT_EQ(r[2].toLongLong(), bytesOnDisk.size());
      EXPECT_EQ(r[3].toString(), path.contains(QLatin1String("/Event/")) ? QStringLiteral("event") : QStringLiteral("recording"));
    }
    const QList<QVariantList> status = db.Rows(QStringLiteral("SELECT serial, firmware, flash_free_mb, time_sync, clock_offset_s FROM status"));
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status[0][0].toLongLong(), 20001);
    EXPECT_FALSE(status[0][1].toString().isEmpty());
    EXPECT_GT(status[0][2].toLongLong(), 0);
    EXPECT_EQ(status[0][3].toString(), QStringLiteral("synchronised"));
    EXPECT_LE(std::abs(status[0][4].toLongLong()), 2);
  }

  // Again: everything is there, nothing is fetched, nothing indexed twice.
  const TRun again = Fleet("--json run --once");
  ASSERT_EQ(again.Exit, 0) << again.Err.toStdString();
  const QJsonObject second = FirstRun(again);
  EXPECT_EQ(second.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_EQ(second.value(QStringLiteral("filesNew")).toInt(), 0);
  EXPECT_EQ(second.value(QStringLiteral("bytes")).toInteger(), 0);
  TDb db(DbFile());
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM files")), want.size());
  EXPECT_EQ(db.Rows(QStringLiteral("SELECT result, files_new FROM runs ORDER BY id")),
            (QList<QVariantList>{{QStringLiteral("ok"), want.size()}, {QStringLiteral("ok"), 0}}));

  // The same database with another store: said before everything comes again.
  QTemporaryDir other;
  const TRun moved = RunFleetRaw(A("run --once", {QStringLiteral("--data-dir"), other.path(), QStringLiteral("--db"), QStringLiteral("sqlite:") + DbFile()}));
  EXPECT_EQ(moved.Exit, 0) << moved.Err.toStdString();
  EXPECT_TRUE(moved.Out.contains(QStringLiteral("was the database filled with another --data-dir"))) << moved.Out.toStdString();
  EXPECT_FALSE(again.Out.contains(QStringLiteral("another --data-dir")));
}

// What a killed service (or an older version appending in place) leaves: a
// file cut short in NAME.part or under its final name, its row gone with the
// transaction that never committed. Only the missing rest is fetched, and the
// file is indexed once, whole.
TEST_F(FleetTest, APartialFileOrAShortCopyIsResumedAndIndexedOnceWhole) {
  TSimProcess sim;
  ASSERT_TRUE(StartAndRead(sim, "20002"));
  const QString local = Store.path() + QStringLiteral("/20002/Recorder/");
  const QStringList logs = QDir(local).entryList({QStringLiteral("10min-*.log")}, QDir::Files);
  ASSERT_FALSE(logs.isEmpty());
  // One file cut twice: the pass after the first cut made it whole again.
  const struct {
    QString Victim;
    const char* Suffix;
    int Kept;  // 1/Kept of the file stays on disk
  } cases[] = {{logs.last(), ".part", 2}, {logs.last(), "", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Victim.toStdString() + c.Suffix);
    const QByteArray whole = ReadAll(local + c.Victim);
    ASSERT_GT(whole.size(), 1000);
    QFile::remove(local + c.Victim);
    cli::WriteAll(local + c.Victim + QLatin1String(c.Suffix), whole.left(whole.size() / c.Kept));
    const QString where = QStringLiteral(" FROM files WHERE path LIKE '%/") + c.Victim + QLatin1Char('\'');
    TDb(DbFile()).Rows(QStringLiteral("DELETE") + where);
    const TRun run = Fleet("--json run --once");
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    const QJsonObject r = FirstRun(run);
    EXPECT_EQ(r.value(QStringLiteral("filesNew")).toInt(), 1);
    EXPECT_EQ(r.value(QStringLiteral("bytes")).toInteger(), whole.size() - whole.size() / c.Kept) << "only the missing rest came";
    EXPECT_TRUE(ReadAll(local + c.Victim) == whole);
    EXPECT_FALSE(QFile::exists(local + c.Victim + QStringLiteral(".part")));
    const auto rows = TDb(DbFile()).Rows(QStringLiteral("SELECT size, sha256") + where);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toLongLong(), whole.size()) << "indexed once whole, not at its short length";
    EXPECT_EQ(rows[0][1].toString(), Sha(whole));
  }
}

TEST_F(FleetTest, AnUnreachableDeviceFailsAloneAndAPausedOneIsSkipped) {
  TSimProcess a, b;
  ASSERT_TRUE(a.Start(A("--serial-number 30001")));
  ASSERT_TRUE(b.Start(A("--serial-number 30002")));
  const quint16 dead = ClosedPort();
  ASSERT_EQ(Import(QStringLiteral("127.0.0.1:%1 a\n127.0.0.1:%2 dead\n127.0.0.1:%3 b\n").arg(a.Port).arg(dead).arg(b.Port)), 0);
  const TRun pause = Fleet("--json devices pause", {Addr(b.Port)});
  ASSERT_EQ(pause.Exit, 0) << pause.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(pause.Out, QStringLiteral("fleet-devices")));

  const TRun run = Fleet("--json run --once --parallel 3");
  EXPECT_EQ(run.Exit, 3) << run.Out.toStdString();
  EXPECT_TRUE(MatchesSchema(run.Out, QStringLiteral("fleet-run")));
  QMap<int, QJsonObject> byPort = ByPort(Doc(run).value(QStringLiteral("runs")).toArray());
  ASSERT_EQ(byPort.size(), 2) << "the paused device is not read";
  EXPECT_EQ(byPort[a.Port].value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_GT(byPort[a.Port].value(QStringLiteral("filesNew")).toInt(), 10);
  EXPECT_EQ(byPort[dead].value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
  EXPECT_FALSE(byPort[dead].value(QStringLiteral("message")).toString().isEmpty());
  EXPECT_EQ(byPort[dead].value(QStringLiteral("failures")).toInt(), 1);
  EXPECT_FALSE(QDir(Store.path() + QStringLiteral("/30002")).exists()) << "nothing of the paused device";

  // status tells who answered and who did not.
  const TRun status = Fleet("--json status");
  ASSERT_EQ(status.Exit, 0) << status.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(status.Out, QStringLiteral("fleet-status")));
  QMap<int, QJsonObject> st = ByPort(Doc(status).value(QStringLiteral("devices")).toArray());
  ASSERT_EQ(st.size(), 3);
  EXPECT_EQ(st[a.Port].value(QStringLiteral("failures")).toInt(), 0);
  EXPECT_TRUE(st[a.Port].value(QStringLiteral("lastSuccess")).isString());
  EXPECT_GT(st[a.Port].value(QStringLiteral("files")).toInt(), 10);
  EXPECT_GT(st[a.Port].value(QStringLiteral("bytes")).toInteger(), 10000);
  EXPECT_EQ(st[dead].value(QStringLiteral("failures")).toInt(), 1);
  EXPECT_TRUE(st[dead].value(QStringLiteral("lastSuccess")).isNull());
  EXPECT_TRUE(st[b.Port].value(QStringLiteral("paused")).toBool());
  EXPECT_TRUE(st[b.Port].value(QStringLiteral("lastContact")).isNull());

  // Resumed, it is read with the others.
  ASSERT_EQ(Fleet("devices resume", {Addr(b.Port)}).Exit, 0);
  const TRun next = Fleet("--json run --once");
  EXPECT_EQ(next.Exit, 3);
  EXPECT_EQ(Doc(next).value(QStringLiteral("runs")).toArray().size(), 3);
  EXPECT_TRUE(QDir(Store.path() + QStringLiteral("/30002/Event")).exists());
  TDb db(DbFile());
  EXPECT_EQ(db.Int(QStringLiteral("SELECT failures FROM devices WHERE name = 'dead'")), 2);
}

TEST_F(FleetTest, ABusyDeviceFailsAloneWithTheDevicesReason) {
  TSimProcess busy, fine;
  ASSERT_TRUE(busy.Start(A("--serial-number 31001 --max-connections 1")));
  ASSERT_TRUE(fine.Start(A("--serial-number 31002")));
  // Someone else holds the device's only connection.
  QProcess holder;
  holder.start(QStringLiteral(VANTA_CLI_PATH), A("soak --seconds 10 --sample-every 2", {QStringLiteral("--port"), QString::number(busy.Port),
                QStringLiteral("--data-dir"), Work.filePath(QStringLiteral("holder")), QStringLiteral("--samples"), Work.filePath(QStringLiteral("s.csv"))}));
  ASSERT_TRUE(holder.waitForStarted());
  QThread::msleep(1500);
  ASSERT_EQ(holder.state(), QProcess::Running) << holder.readAllStandardError().toStdString();
  ASSERT_EQ(Import(QStringLiteral("127.0.0.1:%1 busy\n127.0.0.1:%2 fine\n").arg(busy.Port).arg(fine.Port)), 0);
  const TRun run = Fleet("--json run --once");
  EXPECT_EQ(run.Exit, 3) << run.Out.toStdString();
  QMap<int, QJsonObject> byPort = ByPort(Doc(run).value(QStringLiteral("runs")).toArray());
  EXPECT_EQ(byPort[fine.Port].value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_EQ(byPort[busy.Port].value(QStringLiteral("result")).toString(), QStringLiteral("failed")) << busy.Stderr().toStdString();
  EXPECT_TRUE(byPort[busy.Port].value(QStringLiteral("message")).toString().contains(QStringLiteral("zwei aktive Verbindungen")))
      << byPort[busy.Port].value(QStringLiteral("message")).toString().toStdString();
  holder.waitForFinished(30000);
  // Free again: the next pass reads it.
  const TRun again = Fleet("--json run --once");
  EXPECT_EQ(again.Exit, 0) << again.Out.toStdString();
}

TEST_F(FleetTest, EventRowsAreWhatRecordEventsReads) {
  TSimProcess sim;
  ASSERT_TRUE(StartAndRead(sim, "40001"));
  TDb db(DbFile());
  const QList<QVariantList> files = db.Rows(QStringLiteral("SELECT id, path FROM files WHERE kind = 'event' ORDER BY path"));
  ASSERT_EQ(files.size(), 7);
  int compared = 0;
  for (const QVariantList& f : files) {
    const TRun r = RunCli(A("--json record events", {Store.path() + QLatin1Char('/') + f[1].toString()}));
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QJsonArray want = Doc(r).value(QStringLiteral("events")).toArray();
    const QList<QVariantList> got = db.Rows(
        QStringLiteral("SELECT time, text, max_value, unit, harmonic, duration_ms, serial FROM events WHERE file_id = %1 ORDER BY id").arg(f[0].toLongLong()));
    ASSERT_EQ(got.size(), want.size()) << f[1].toString().toStdString();
    for (qsizetype i = 0; i < want.size(); ++i) {
      const QJsonObject w = want[i].toObject();
      const QVariantList& g = got[i];
      const QDateTime dbTime = QDateTime::fromString(g[0].toString(), Qt::ISODateWithMs);
      const QDateTime cliTime = QDateTime::fromString(w.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
      ASSERT_TRUE(dbTime.isValid() && cliTime.isValid()) << g[0].toString().toStdString();
      EXPECT_TRUE(g[0].toString().endsWith(QLatin1Char('Z'))) << "UTC in the database";
      EXPECT_EQ(dbTime.toMSecsSinceEpoch(), cliTime.toMSecsSinceEpoch())
          << g[0].toString().toStdString() << " vs " << w.value(QStringLiteral("time")).toString().toStdString();
      EXPECT_EQ(g[1].toString(), w.value(QStringLiteral("event")).toString());
      // Null where the command line has null, the same value otherwise (a null reads as 0 on both sides).
      EXPECT_EQ(g[2].isNull(), w.value(QStringLiteral("value")).isNull());
      EXPECT_DOUBLE_EQ(g[2].toDouble(), w.value(QStringLiteral("value")).toDouble());
      EXPECT_EQ(g[3].toString(), w.value(QStringLiteral("unit")).toString());
      EXPECT_EQ(g[4].isNull(), w.value(QStringLiteral("harmonic")).isNull());
      EXPECT_EQ(g[4].toInt(), w.value(QStringLiteral("harmonic")).toInt());
      EXPECT_EQ(g[5].isNull(), w.value(QStringLiteral("duration")).isNull());
      EXPECT_EQ(g[5].toLongLong(), qRound64(w.value(QStringLiteral("duration")).toDouble() * 1000));
      EXPECT_EQ(g[6].toLongLong(), 40001);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 7);
  // The query docs/fleet.md shows: the dips of a device, newest first.
  const QList<QVariantList> dips = db.Rows(QStringLiteral(
      "SELECT time, text, max_value, unit FROM events WHERE serial = 40001 AND text LIKE 'Spannungseinbruch%' ORDER BY time DESC"));
  ASSERT_EQ(dips.size(), 1);
  EXPECT_DOUBLE_EQ(dips[0][2].toDouble(), 71.2);
}

TEST_F(FleetTest, ADeviceWhoseSerialChangedBecomesANewRow) {
  quint16 port = 0;
  {
    TSimProcess first;
    ASSERT_TRUE(first.Start(A("--serial-number 50001")));
    port = first.Port;
    ASSERT_EQ(Fleet("devices add", {Addr(port), QStringLiteral("--name"), QStringLiteral("Abgang 3")}).Exit, 0);
    ASSERT_EQ(Fleet("run --once").Exit, 0);
  }
  // Another device behind the same address.
  TSimProcess second;
  ASSERT_TRUE(second.Start(A("--serial-number 50002 --port", {QString::number(port)})));
  ASSERT_EQ(second.Port, port);
  const TRun run = Fleet("run --once");
  ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
  EXPECT_TRUE(run.Out.contains(QStringLiteral("serial number changed from 50001 to 50002"))) << run.Out.toStdString();
  const TRun list = Fleet("--json devices list");
  ASSERT_EQ(list.Exit, 0);
  EXPECT_TRUE(MatchesSchema(list.Out, QStringLiteral("fleet-devices")));
  const QJsonArray devices = Doc(list).value(QStringLiteral("devices")).toArray();
  ASSERT_EQ(devices.size(), 2);
  const QJsonObject old = devices[0].toObject(), fresh = devices[1].toObject();
  EXPECT_EQ(old.value(QStringLiteral("serial")).toInteger(), 50001);
  EXPECT_EQ(old.value(QStringLiteral("replacedBy")).toInteger(), fresh.value(QStringLiteral("id")).toInteger());
  EXPECT_EQ(fresh.value(QStringLiteral("serial")).toInteger(), 50002);
  EXPECT_TRUE(fresh.value(QStringLiteral("replacedBy")).isNull());
  EXPECT_EQ(fresh.value(QStringLiteral("name")).toString(), QStringLiteral("Abgang 3"));
  TDb db(DbFile());
  // Each device's files under its own serial number and row; the old ones stay.
  EXPECT_GT(db.Int(QStringLiteral("SELECT COUNT(*) FROM files WHERE serial = 50001 AND device_id = %1").arg(old.value(QStringLiteral("id")).toInteger())), 10);
  EXPECT_GT(db.Int(QStringLiteral("SELECT COUNT(*) FROM files WHERE serial = 50002 AND device_id = %1").arg(fresh.value(QStringLiteral("id")).toInteger())), 10);
  EXPECT_TRUE(QDir(Store.path() + QStringLiteral("/50001/Event")).exists());
  EXPECT_TRUE(QDir(Store.path() + QStringLiteral("/50002/Event")).exists());
  // The next pass reads the address once, as the new device.
  const QJsonArray runs = Doc(Fleet("--json run --once")).value(QStringLiteral("runs")).toArray();
  ASSERT_EQ(runs.size(), 1);
  EXPECT_EQ(runs[0].toObject().value(QStringLiteral("serial")).toInteger(), 50002);
}

TEST_F(FleetTest, SigtermStopsWithinFiveSecondsAndMarksTheRunInterrupted) {
  // A device that takes the connection and never answers: the readout
  // waits for it when the stop comes.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(A("--serial-number 60001")));
  ASSERT_EQ(Import(QStringLiteral("127.0.0.1:%1 silent\n127.0.0.1:%2 sim\n").arg(silent.serverPort()).arg(sim.Port)), 0);
  QProcess p;
  p.start(QStringLiteral(VANTA_FLEET_PATH), A("--json run --timeout 60", {QStringLiteral("--data-dir"), Store.path()}));
  ASSERT_TRUE(p.waitForStarted());
  // Until the simulator's files are in and the silent device is waited for.
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 30000 && !QFile::exists(Store.path() + QStringLiteral("/60001/Event"))) QThread::msleep(50);
  QThread::msleep(1500);
  ASSERT_EQ(p.state(), QProcess::Running);
  // Beside a running service: a second run on the same SQLite file is refused
  // and names the way to several workers; the status is still there.
  const TRun second = Fleet("--json run --once");
  EXPECT_EQ(second.Exit, 1) << second.Out.toStdString();
  EXPECT_TRUE(second.Err.contains(QLatin1String("PostgreSQL"))) << second.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(second.Out, QStringLiteral("error")));
  EXPECT_EQ(Fleet("status").Exit, 0);
  QElapsedTimer stop;
  stop.start();
  ::kill(pid_t(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_LT(stop.elapsed(), 5000);
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
  const TRun r{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("fleet-run")));
  EXPECT_TRUE(Doc(r).value(QStringLiteral("stopped")).toBool());
  TDb db(DbFile());
  const QList<QVariantList> runs = db.Rows(QStringLiteral("SELECT d.name, r.result FROM runs r JOIN devices d ON d.id = r.device_id ORDER BY r.id"));
  ASSERT_GE(runs.size(), 2);
  QMap<QString, QString> result;
  for (const QVariantList& row : runs) result.insert(row[0].toString(), row[1].toString());
  EXPECT_EQ(result.value(QStringLiteral("silent")), QStringLiteral("interrupted"));
  EXPECT_EQ(result.value(QStringLiteral("sim")), QStringLiteral("ok"));
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM runs WHERE result IS NULL")), 0);
}

TEST_F(FleetTest, AServiceKilledInADownloadResumesWithNothingLostOrDoubled) {
  // A slow link, so that a file is still arriving when the kill comes.
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(A("--serial-number 70001 --rate 20000")));
  ASSERT_EQ(Fleet("devices add", {Addr(sim.Port)}).Exit, 0);
  QProcess p;
  p.start(QStringLiteral(VANTA_FLEET_PATH), A("run --once", {QStringLiteral("--data-dir"), Store.path()}));
  ASSERT_TRUE(p.waitForStarted());
  // Until a part file with some bytes in it is there, then no chance to clean up.
  QElapsedTimer t;
  t.start();
  QStringList parts;
  while (t.elapsed() < 60000 && p.state() == QProcess::Running) {
    parts = cli::PartFiles(Store.path());
    if (!parts.isEmpty() && QFileInfo(parts.front()).size() > 0) break;
    QThread::msleep(5);
  }
  ASSERT_FALSE(parts.isEmpty()) << "no download was in flight: " << p.readAllStandardError().toStdString();
  ::kill(pid_t(p.processId()), SIGKILL);
  ASSERT_TRUE(p.waitForFinished(10000));
  ASSERT_EQ(p.exitStatus(), QProcess::CrashExit);

  // What the kill left: complete files (some perhaps without a row yet),
  // the part file, and a run without an end.
  qint64 onDisk = 0;
  int complete = 0;
  for (const QByteArray& b : Files(Store.path(), 70001)) onDisk += b.size();
  for (const QString& name : Files(Store.path(), 70001).keys()) complete += name.endsWith(QLatin1String(".part")) ? 0 : 1;
  int rowsBefore = 0;
  {
    TDb db(DbFile());
    const QList<QVariantList> runs = db.Rows(QStringLiteral("SELECT result, ended_at FROM runs"));
    ASSERT_EQ(runs.size(), 1);
    EXPECT_TRUE(runs[0][0].isNull()) << "the killed run is left open";
    EXPECT_TRUE(runs[0][1].isNull());
    rowsBefore = db.Int(QStringLiteral("SELECT COUNT(*) FROM files"));
    EXPECT_LE(rowsBefore, complete);
    EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM files WHERE path LIKE '%.part'")), 0);
  }

  const TRun run = Fleet("--json run --once");
  ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
  const QJsonObject r = FirstRun(run);
  EXPECT_EQ(r.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_TRUE(cli::PartFiles(Store.path()).isEmpty());

  // Byte for byte what a direct download gives.
  const QMap<QString, QByteArray> want = ExpectAsDirectDownload(sim.Port, 70001);
  qint64 total = 0;
  for (const QByteArray& b : want) total += b.size();
  // Resumed: only what was not on disk came over the link, and every file
  // without a row got one.
  EXPECT_EQ(r.value(QStringLiteral("bytes")).toInteger(), total - onDisk);
  EXPECT_EQ(r.value(QStringLiteral("filesNew")).toInt(), want.size() - rowsBefore);

  TDb db(DbFile());
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM files")), want.size());
  for (const QVariantList& row : db.Rows(QStringLiteral("SELECT path, sha256 FROM files"))) {
    const QString rel = row[0].toString().section(QLatin1Char('/'), 1);
    EXPECT_EQ(row[1].toString(), Sha(want.value(rel))) << rel.toStdString();
  }
  // Each event file holds one event: one row each, none twice, none without its file.
  const int eventFiles = db.Int(QStringLiteral("SELECT COUNT(*) FROM files WHERE kind = 'event'"));
  EXPECT_EQ(eventFiles, int(std::count_if(want.keyBegin(), want.keyEnd(), [](const QString& k) { return k.startsWith(QLatin1String("Event/")); })));
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM events")), eventFiles);
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(DISTINCT file_id) FROM events")), eventFiles);
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM events WHERE file_id NOT IN (SELECT id FROM files)")), 0);
  // The killed run ends as interrupted with what it had told of its files
  // (never more than it indexed); the new one brought the rest.
  const QList<QVariantList> runs = db.Rows(QStringLiteral("SELECT result, files_new FROM runs ORDER BY id"));
  ASSERT_EQ(runs.size(), 2);
  EXPECT_EQ(runs[0][0].toString(), QStringLiteral("interrupted"));
  EXPECT_LE(runs[0][1].toInt(), rowsBefore);
  EXPECT_EQ(runs[1], (QVariantList{QStringLiteral("ok"), want.size() - rowsBefore}));
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM runs WHERE ended_at IS NULL")), 0);
}

TEST_F(FleetTest, RetentionRemovesOnlyFilesIndexedLongerAgoAndTheirRows) {
  TSimProcess sim;
  ASSERT_TRUE(StartAndRead(sim, "71001"));
  // Indexed, as if, ten days ago: three event files and two recordings; four
  // days ago: one more recording. Kept for five days, only the first go.
  // How the rows and events of removed files go is FleetRetention's (unit)
  // concern; here: the service's --keep-days, its report and the store.
  QStringList old, young, rest;
  {
    TDb db(DbFile());
    const QList<QVariantList> events = db.Rows(QStringLiteral("SELECT path FROM files WHERE kind = 'event' ORDER BY path"));
    const QList<QVariantList> recordings = db.Rows(QStringLiteral("SELECT path FROM files WHERE kind = 'recording' ORDER BY path"));
    ASSERT_GE(events.size(), 5);
    ASSERT_GE(recordings.size(), 5);
    for (int i = 0; i < 3; ++i) old << events[i][0].toString();
    for (int i = 0; i < 2; ++i) old << recordings[i][0].toString();
    young << recordings[2][0].toString();
    for (const QVariantList& row : db.Rows(QStringLiteral("SELECT path FROM files")))
      if (!old.contains(row[0].toString())) rest << row[0].toString();
    const auto backdate = [&](const QString& path, int days) {
      db.Rows(QStringLiteral("UPDATE files SET downloaded_at = '%1' WHERE path = '%2'")
                  .arg(QDateTime::currentDateTimeUtc().addDays(-days).toString(Qt::ISODate), path));
    };
    for (const QString& path : old) backdate(path, 10);
    for (const QString& path : young) backdate(path, 4);
  }
  for (const QString& path : old) ASSERT_TRUE(QFile::exists(Store.path() + QLatin1Char('/') + path)) << path.toStdString();

  const TRun run = Fleet("--json run --once --keep-days 5");
  ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(run.Out, QStringLiteral("fleet-run")));
  const QJsonObject doc = Doc(run);
  QStringList retained;
  for (const QJsonValue& v : doc.value(QStringLiteral("retained")).toArray()) retained << v.toString();
  retained.sort();
  old.sort();
  EXPECT_EQ(retained, old);
  // The device still lists them: they are not fetched again.
  const QJsonObject r = FirstRun(run);
  EXPECT_EQ(r.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_EQ(r.value(QStringLiteral("filesNew")).toInt(), 0);
  EXPECT_EQ(r.value(QStringLiteral("bytes")).toInteger(), 0);

  for (const QString& path : old) EXPECT_FALSE(QFile::exists(Store.path() + QLatin1Char('/') + path)) << path.toStdString();
  for (const QString& path : rest) EXPECT_TRUE(QFile::exists(Store.path() + QLatin1Char('/') + path)) << path.toStdString();
  TDb db(DbFile());
  QStringList rows;
  for (const QVariantList& row : db.Rows(QStringLiteral("SELECT path FROM files"))) rows << row[0].toString();
  rows.sort();
  rest.sort();
  EXPECT_EQ(rows, rest);
}

// A service with nothing due sleeps: it must not keep a core busy around the clock.
TEST_F(FleetTest, AnIdleServiceSleeps) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(A("--serial-number 61001")));
  ASSERT_EQ(Fleet("devices add --every 1h", {Addr(sim.Port)}).Exit, 0);
  ASSERT_EQ(Fleet("run --once").Exit, 0);  // now due again in an hour
  QProcess p;
  p.start(QStringLiteral(VANTA_FLEET_PATH), A("run", {QStringLiteral("--data-dir"), Store.path()}));
  ASSERT_TRUE(p.waitForStarted());
  QThread::msleep(1000);  // started up
  auto cpuTicks = [&] {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(p.processId()));
    if (!stat.open(QIODevice::ReadOnly)) return -1LL;
    // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
    const QList<QByteArray> f = stat.readAll().split(')').last().trimmed().split(' ');
    return f.value(11).toLongLong() + f.value(12).toLongLong();
  };
  const long long before = cpuTicks();
  QThread::msleep(3000);
  const long long used = cpuTicks() - before;
  ::kill(pid_t(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(10000));
  ASSERT_GE(before, 0);
  EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 2) << "CPU ticks used in 3 s of nothing due: " << used;
}

TEST_F(FleetTest, BadInputIsToldAndChangesNothing) {
  struct TBad {
    QStringList Args;
    QString Told;  // a part of stderr, empty: the exit code alone
  };
  const auto refused = [&](const QList<TBad>& table) {
    for (const TBad& b : table) {
      const TRun r = Fleet(b.Args);
      EXPECT_EQ(r.Exit, 1) << b.Args.join(QLatin1Char(' ')).toStdString();
      EXPECT_TRUE(r.Err.contains(b.Told)) << b.Args.join(QLatin1Char(' ')).toStdString() << ": " << r.Err.toStdString();
    }
  };
  const TRun every = Fleet("--json devices add 10.0.0.1 --every 10x");
  EXPECT_EQ(every.Exit, 1);
  EXPECT_TRUE(MatchesSchema(every.Out, QStringLiteral("error")));
  EXPECT_TRUE(every.Err.contains(QStringLiteral("30s, 15m, 2h or 1d"))) << every.Err.toStdString();
  // Where German was chosen the service's messages are German from the first one on, the option scan's too.
  const TRun german = Fleet("--lang de devices add 10.0.0.1 --every 10x");
  EXPECT_TRUE(german.Err.contains(QStringLiteral("ist keine Dauer"))) << german.Err.toStdString();
  const TRun noValue = Fleet("--lang de devices add 10.0.0.1 --name");
  EXPECT_TRUE(noValue.Err.contains(QStringLiteral("--name braucht einen Wert"))) << noValue.Err.toStdString();
  EXPECT_TRUE(noValue.Err.contains(QStringLiteral("Mehr mit 'vanta-fleet --help'"))) << noValue.Err.toStdString();
  // None of these makes a database; the service does not make one either (a
  // mistyped --data-dir would read nothing and call it done).
  refused({{A("devices import", {HostsFile(QStringLiteral("10.0.0.1\nkein_gerät hier\n"))}), QStringLiteral("hosts.txt:2:")},
           {A("devices rm 10.0.0.9"), QStringLiteral("no fleet database")},
           {A("--db mysql://x/y status"), {}},
           {A("--json devices list"), {}},
           {A("run --once"), QStringLiteral("no fleet database")}});
  EXPECT_FALSE(QFileInfo::exists(DbFile()));
  // A name is one line: a tab would shift every column of the tables.
  refused({{A("devices add 10.0.0.2 --name Feld\tA"), QStringLiteral("control character")},
           {A("devices import", {HostsFile(QStringLiteral("10.0.0.3 Feld\tB\n"))}), QStringLiteral("control character")}});
  // A password file is kept by its path; its contents never reach the database.
  const QString secret = Work.path() + QStringLiteral("/pw");
  cli::WriteAll(secret, "geheim-4711\n");
  QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const TRun add = Fleet("--json devices add [::1]:5041 --ssh --user admin --every 2h", {QStringLiteral("--password-file"), secret});
  ASSERT_EQ(add.Exit, 0) << add.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(add.Out, QStringLiteral("fleet-devices")));
  const QJsonObject d = Doc(add).value(QStringLiteral("device")).toObject();
  EXPECT_EQ(d.value(QStringLiteral("host")).toString(), QStringLiteral("::1"));
  EXPECT_EQ(d.value(QStringLiteral("every")).toInt(), 7200);
  EXPECT_EQ(d.value(QStringLiteral("passwordFile")).toString(), secret);
  EXPECT_FALSE((ReadAll(DbFile()) + ReadAll(DbFile() + QStringLiteral("-wal"))).contains("geheim-4711"));
  const QString open = Work.path() + QStringLiteral("/pw-open");
  cli::WriteAll(open, "geheim\n");
  QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  const QString typo = Work.path() + QStringLiteral("/no/such/fleet.sqlite");
  const QString blocker = Work.path() + QStringLiteral("/blocker");
  cli::WriteAll(blocker, "a file, not a folder");
  refused({{A("devices rm 10.0.0.9"), QStringLiteral("no device 10.0.0.9:5040")},
           {A("devices add [::1]:5041"), QStringLiteral("[::1]:5041 is in the inventory already")},
           // SSH without a password file could never log in.
           {A("devices add 10.0.0.8 --ssh --user admin"), QStringLiteral("--password-file")},
           // A password file others may read is refused when the device is added, not at each run.
           {A("devices add 10.0.0.7 --ssh --user admin --password-file", {open}), QStringLiteral("mode")},
           // Looking at a database that is not there makes none.
           {A("--db", {QStringLiteral("sqlite:") + typo, QStringLiteral("devices"), QStringLiteral("list")}), typo}});
  EXPECT_FALSE(QFileInfo::exists(typo));
  // A store that cannot take files is told once, before any device is read or blamed.
  const TRun stuck = RunFleetRaw(A("run --once", {QStringLiteral("--data-dir"), blocker + QStringLiteral("/store"), QStringLiteral("--db"),
                                                  QStringLiteral("sqlite:") + DbFile()}));
  EXPECT_EQ(stuck.Exit, 1);
  EXPECT_TRUE(stuck.Err.contains(QStringLiteral("cannot take files"))) << stuck.Err.toStdString();
  // An inventory emptied again is said so, not an empty terminal.
  ASSERT_EQ(Fleet("devices rm [::1]:5041").Exit, 0);
  const TRun none = Fleet("devices list");
  EXPECT_EQ(none.Exit, 0);
  EXPECT_TRUE(none.Out.isEmpty()) << none.Out.toStdString();
  EXPECT_TRUE(none.Err.startsWith(QStringLiteral("no devices yet"))) << none.Err.toStdString();
}

TEST_F(FleetTest, OneDeviceUnderTwoAddressesIsReadOnceAtATime) {
  // A slow link, so that both rows are due and started together.
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(A("--serial-number 80001 --rate 60000")));
  ASSERT_EQ(Import(QStringLiteral("127.0.0.1:%1 Abgang\nlocalhost:%1 Abgang\n").arg(sim.Port)), 0);
  const TRun run = Fleet("--json run --once --parallel 2");
  EXPECT_EQ(run.Exit, 3) << run.Err.toStdString();
  QStringList results, messages;
  for (const QJsonValue& v : Doc(run).value(QStringLiteral("runs")).toArray()) {
    results << v.toObject().value(QStringLiteral("result")).toString();
    messages << v.toObject().value(QStringLiteral("message")).toString();
  }
  results.sort();
  EXPECT_EQ(results, (QStringList{QStringLiteral("failed"), QStringLiteral("ok")}));
  EXPECT_TRUE(messages.join(QLatin1Char('|')).contains(QStringLiteral("serial number 80001 is being read already"))) << messages.join(QLatin1Char('|')).toStdString();
  // Every file once, complete, with its row.
  TDb db(DbFile());
  const QMap<QString, QByteArray> got = Files(Store.path(), 80001);
  EXPECT_EQ(db.Int(QStringLiteral("SELECT COUNT(*) FROM files")), got.size());
  for (const QString& name : got.keys()) EXPECT_FALSE(name.endsWith(QLatin1String(".part"))) << name.toStdString();
}

TEST_F(FleetTest, AnSshDeviceTakesANewHostKeyOnlyWhenTrusted) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(A("--serial-number 90001 --ssh-port 0")));
  ASSERT_NE(sim.SshPort, 0);
  const QString secret = Work.path() + QStringLiteral("/operator.pw");
  cli::WriteAll(secret, "operator\n");
  QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const QString address = Addr(sim.SshPort);
  ASSERT_EQ(Fleet("devices add --ssh --user operator --password-file", {secret, address}).Exit, 0);
  // Nobody looks at the key of an unattended readout: refused, and the message says what to do.
  const TRun refused = Fleet("--json run --once");
  EXPECT_EQ(refused.Exit, 3);
  const QString why = FirstRun(refused).value(QStringLiteral("message")).toString();
  EXPECT_TRUE(why.contains(QStringLiteral("vanta-fleet devices trust ") + address)) << why.toStdString();
  EXPECT_TRUE(Files(Store.path(), 90001).isEmpty());
  const TRun trust = Fleet("--json devices trust", {address});
  ASSERT_EQ(trust.Exit, 0) << trust.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(trust.Out, QStringLiteral("fleet-devices")));
  const TRun run = Fleet("--json run --once");
  ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
  EXPECT_GT(Files(Store.path(), 90001).size(), 10);
  // The key is kept: a later run takes it as known.
  EXPECT_EQ(Fleet("run --once").Exit, 0);
  // A device reached without SSH has no key to trust.
  EXPECT_EQ(Fleet("devices add 10.0.0.5").Exit, 0);
  EXPECT_EQ(Fleet("devices trust 10.0.0.5").Exit, 1);
}

}  // namespace vanta::test::fleet
