// Several fleet workers on one PostgreSQL database (a throwaway cluster the
// test run starts): the leases that share the devices out, a worker killed in
// the middle of a device, the server restarted under a run.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <csignal>
#include <sys/types.h>

#include "CliSupport.h"
#include "FleetDb.h"

namespace vanta::test::fleetpg {

using cli::OneDocument;
using cli::ReadAll;
using cli::RunCli;
using cli::TRun;
using namespace vanta::fleet;

// What the cluster's start wrote: the address without a database, the password file.
struct TCluster {
  QString UrlBase, PasswordFile, Password, Port;
  bool Load(QString& why) {
    QFile f(QStringLiteral(VANTA_PG_STATE));
    if (!f.open(QIODevice::ReadOnly)) {
      why = QStringLiteral("no PostgreSQL test cluster (%1 missing; the pg_cluster_start test makes it)").arg(f.fileName());
      return false;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
      const QString l = QString::fromUtf8(line);
      if (l.startsWith(QLatin1String("PG_URL_BASE="))) UrlBase = l.mid(12);
      if (l.startsWith(QLatin1String("PG_PASSWORD_FILE="))) PasswordFile = l.mid(17);
      if (l.startsWith(QLatin1String("PG_PORT="))) Port = l.mid(8);
    }
    Password = QString::fromUtf8(ReadAll(PasswordFile)).trimmed();
    return !UrlBase.isEmpty() && !Password.isEmpty();
  }
};

// Devices of one simulator process, one port each.
struct TSimFleet {
  bool Start(int devices, const QStringList& extra) { return StartFleet(FProc, devices, extra, Devices); }
  ~TSimFleet() { StopProcess(FProc); }
  std::vector<TFleetDevice> Devices;
  QProcess FProc;
};

class FleetPgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QString why;
    ASSERT_TRUE(Cluster.Load(why)) << why.toStdString();
    // A database of its own per test.
    DbName = QStringLiteral("t_%1").arg(QRandomGenerator::global()->generate64() & 0xffffffffffff, 0, 16);
    ASSERT_TRUE(Admin(QStringLiteral("CREATE DATABASE %1").arg(DbName)));
    Url = Cluster.UrlBase + QLatin1Char('/') + DbName;
  }
  void TearDown() override {
    QSqlDatabase::removeDatabase(QStringLiteral("pg-look"));
    if (!DbName.isEmpty()) Admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(DbName));
  }
  bool Admin(const QString& sql) {
    bool ok = false;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg-admin"));
      Connect(db, QStringLiteral("postgres"));
      QSqlQuery q(db);
      ok = db.isOpen() && q.exec(sql);
      EXPECT_TRUE(ok) << sql.toStdString() << ": " << q.lastError().text().toStdString() << db.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pg-admin"));
    return ok;
  }
  void Connect(QSqlDatabase& db, const QString& name) {
    const QUrl u(Cluster.UrlBase);
    db.setHostName(u.host());
    db.setPort(u.port());
    db.setUserName(u.userName());
    db.setPassword(Cluster.Password);
    db.setDatabaseName(name);
    db.open();
  }
  // Rows of the test's database, looked at from outside the service.
  QList<QVariantList> Rows(const QString& sql) {
    QSqlDatabase db = QSqlDatabase::contains(QStringLiteral("pg-look")) ? QSqlDatabase::database(QStringLiteral("pg-look"))
                                                                         : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg-look"));
    if (!db.isOpen()) Connect(db, DbName);
    QList<QVariantList> out;
    QSqlQuery q(db);
    if (!q.exec(sql)) {
      // The server may have been restarted under the connection.
      db.close();
      Connect(db, DbName);
      q = QSqlQuery(db);
      EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    while (q.next()) {
      QVariantList row;
      for (int i = 0; i < q.record().count(); ++i) row << q.value(i);
      out << row;
    }
    return out;
  }
  qint64 One(const QString& sql) { return Rows(sql).value(0).value(0).toLongLong(); }

  QStringList Common() const {
    return {QStringLiteral("--db"), Url, QStringLiteral("--db-password-file"), Cluster.PasswordFile, QStringLiteral("--data-dir"),
            Store.path()};
  }
  std::unique_ptr<QProcess> StartWorker(const QString& id, const QStringList& extra) {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(VANTA_FLEET_PATH),
             Common() + QStringList{QStringLiteral("--json"), QStringLiteral("run"), QStringLiteral("--once"), QStringLiteral("--worker-id"), id} + extra);
    EXPECT_TRUE(p->waitForStarted());
    return p;
  }
  // The worker's end: exit 0 and one JSON document, which is given.
  QJsonObject Finished(QProcess& p, TRun& r) {
    QJsonObject doc;
    EXPECT_TRUE(p.waitForFinished(180000));
    r = {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(OneDocument(r, doc));
    return doc;
  }
  void Import(const TSimFleet& sims) {
    const QString hosts = Work.path() + QStringLiteral("/hosts.txt");
    QByteArray lines;
    for (const auto& d : sims.Devices) lines += QStringLiteral("127.0.0.1:%1\n").arg(d.Port).toUtf8();
    ASSERT_NO_FATAL_FAILURE(cli::WriteAll(hosts, lines));
    QProcess p;
    p.start(QStringLiteral(VANTA_FLEET_PATH), Common() + QStringList{QStringLiteral("devices"), QStringLiteral("import"), hosts});
    ASSERT_TRUE(p.waitForFinished(180000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  }
  QStringList PartFiles() const { return cli::PartFiles(Store.path()); }
  // Every row's file is on disk with that hash; every complete file has one row.
  void ExpectStoreAndRowsAgree() {
    const QList<QVariantList> rows = Rows(QStringLiteral("SELECT path, sha256 FROM files"));
    QSet<QString> indexed;
    for (const QVariantList& r : rows) {
      EXPECT_FALSE(r[0].toString().endsWith(QLatin1String(".part")));
      EXPECT_FALSE(indexed.contains(r[0].toString())) << "indexed twice: " << r[0].toString().toStdString();
      indexed.insert(r[0].toString());
      const QByteArray bytes = ReadAll(Store.path() + QLatin1Char('/') + r[0].toString());
      EXPECT_EQ(r[1].toString(), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()))
          << r[0].toString().toStdString();
    }
    QDirIterator it(Store.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString rel = QDir(Store.path()).relativeFilePath(it.next());
      if (!rel.contains(QLatin1String("/Event/")) && !rel.contains(QLatin1String("/Recorder/"))) continue;
      EXPECT_TRUE(indexed.contains(rel)) << "not indexed: " << rel.toStdString();
    }
  }

  TCluster Cluster;
  QString DbName, Url;
  QTemporaryDir Store, Work;
};

TEST_F(FleetPgTest, TheSchemaIsTheSameWithTimesAsTimestamps) {
  TFleetDb::SetPassword(Cluster.Password);
  TFleetDb db;
  QString error;
  ASSERT_TRUE(db.Open(Url, error)) << error.toStdString();
  EXPECT_EQ(db.SchemaVersion(), TFleetDb::LatestSchemaVersion());
  for (const char* table : {"devices", "files", "events", "runs", "status"}) {
    EXPECT_GT(One(QStringLiteral("SELECT COUNT(*) FROM information_schema.columns WHERE table_name = '%1'").arg(QLatin1String(table))), 5)
        << table;
  }
  EXPECT_EQ(Rows(QStringLiteral("SELECT data_type FROM information_schema.columns WHERE table_name = 'runs' AND column_name = 'started_at'")),
            (QList<QVariantList>{{QStringLiteral("timestamp with time zone")}}));
  // A second connection finds the schema current and changes nothing.
  TFleetDb again;
  ASSERT_TRUE(again.Open(Url, error)) << error.toStdString();
  EXPECT_EQ(One(QStringLiteral("SELECT COUNT(*) FROM schema_version")), TFleetDb::LatestSchemaVersion());
}

TEST_F(FleetPgTest, LeasesShareTheDevicesAndARunOutLeaseMakesTheRunLost) {
  TFleetDb::SetPassword(Cluster.Password);
  TFleetDb a, b;
  QString error;
  ASSERT_TRUE(a.Open(Url, error)) << error.toStdString();
  ASSERT_TRUE(b.Open(Url, error)) << error.toStdString();
  for (int i = 0; i < 5; ++i) {
    TDeviceRow d;
    d.Host = QStringLiteral("10.0.0.%1").arg(i + 1);
    ASSERT_TRUE(a.AddDevice(d));
  }
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QList<TDeviceRow> mine = a.ClaimDevices(QStringLiteral("A"), 3, 1, now);
  ASSERT_EQ(mine.size(), 3);
  const QList<TDeviceRow> theirs = b.ClaimDevices(QStringLiteral("B"), 5, 60, now);
  ASSERT_EQ(theirs.size(), 2) << "only what A did not hold";
  QSet<qint64> ids;
  for (const TDeviceRow& d : mine + theirs) ids.insert(d.Id);
  EXPECT_EQ(ids.size(), 5);
  EXPECT_TRUE(b.ClaimDevices(QStringLiteral("B"), 5, 60, now).isEmpty());

  // A begins a run on its first device, then falls silent.
  const qint64 run = a.BeginRun(QStringLiteral("A"), mine[0].Id, 0, now);
  ASSERT_GT(run, 0);
  bool ok = false;
  EXPECT_EQ(a.RenewLeases(QStringLiteral("A"), 1, ok).size(), 3);
  EXPECT_TRUE(ok);
  QThread::msleep(1300);
  const QList<TDeviceRow> taken = b.ClaimDevices(QStringLiteral("B"), 5, 60, now);
  EXPECT_EQ(taken.size(), 3);
  EXPECT_EQ(Rows(QStringLiteral("SELECT result, worker FROM runs WHERE id = %1").arg(run)),
            (QList<QVariantList>{{QStringLiteral("lost"), QStringLiteral("A")}}));
  // A comes back: it holds nothing any more, and its late end does not undo the verdict.
  EXPECT_TRUE(a.RenewLeases(QStringLiteral("A"), 60, ok).isEmpty());
  EXPECT_TRUE(a.EndRun(run, TRunResult::rrOk, 3, 100, QString(), now));
  EXPECT_EQ(Rows(QStringLiteral("SELECT result FROM runs WHERE id = %1").arg(run)), (QList<QVariantList>{{QStringLiteral("lost")}}));

  // Released devices that are not due yet stay where they are; due ones are claimed again.
  ASSERT_TRUE(b.NoteSuccess(mine[0].Id, now, now.addSecs(600)));
  for (const TDeviceRow& d : mine + theirs) ASSERT_TRUE(b.ReleaseLease(d.Id, QStringLiteral("B")));
  EXPECT_EQ(One(QStringLiteral("SELECT COUNT(*) FROM devices WHERE lease_owner IS NOT NULL")), 0);
  EXPECT_EQ(a.ClaimDevices(QStringLiteral("A"), 10, 60, now).size(), 4);
  // A pass takes every device without an ended run since it began, due or not.
  ASSERT_TRUE(a.ReleaseLease(mine[1].Id, QStringLiteral("A")));
  const QList<TDeviceRow> pass = b.ClaimDevices(QStringLiteral("B"), 10, 60, now, now.addSecs(-5));
  ASSERT_EQ(pass.size(), 2) << "the free ones: one just released, one not due";
  EXPECT_EQ(QSet<qint64>({pass[0].Id, pass[1].Id}), QSet<qint64>({mine[0].Id, mine[1].Id}));
  EXPECT_EQ(a.PendingForPass(now.addSecs(-5)), 5);
  // A run that began before the pass and ended in it counts for the pass:
  // a worker that started a moment later does not read that device again.
  const qint64 early = b.BeginRun(QStringLiteral("B"), mine[2].Id, 0, now.addSecs(-10));
  ASSERT_TRUE(b.EndRun(early, TRunResult::rrOk, 0, 0, QString(), now));
  EXPECT_EQ(a.PendingForPass(now.addSecs(-5)), 4);
}

TEST_F(FleetPgTest, TwoAndThreeWorkersIndexEveryFileOnceAndEachDoesWork) {
  TSimFleet sims;
  // Paced, so that every worker is still claiming while the others read.
  ASSERT_TRUE(sims.Start(10, {QStringLiteral("--rate"), QStringLiteral("150000")}));
  Import(sims);
  for (int workers : {2, 3}) {
    SCOPED_TRACE(workers);
    if (workers == 3) {
      // A second pass over a store that has everything: nothing new is fetched or indexed.
      Rows(QStringLiteral("DELETE FROM runs"));
    }
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int w = 0; w < workers; ++w) procs.push_back(StartWorker(QStringLiteral("w%1").arg(w), {QStringLiteral("--parallel"), QStringLiteral("2")}));
    qint64 filesNew = 0;
    for (int w = 0; w < workers; ++w) {
      TRun r;
      const QJsonArray runs = Finished(*procs[w], r).value(QStringLiteral("runs")).toArray();
      EXPECT_FALSE(runs.isEmpty()) << "worker " << w << " did no work";
      for (const QJsonValue& v : runs) filesNew += v.toObject().value(QStringLiteral("filesNew")).toInt();
    }
    // Each device was read in this pass, every run ended ok.
    EXPECT_EQ(One(QStringLiteral("SELECT COUNT(DISTINCT device_id) FROM runs WHERE result = 'ok'")), 10);
    EXPECT_EQ(One(QStringLiteral("SELECT COUNT(*) FROM runs WHERE result IS DISTINCT FROM 'ok'")), 0);
    EXPECT_EQ(One(QStringLiteral("SELECT COUNT(DISTINCT worker) FROM runs")), workers);
    const qint64 files = One(QStringLiteral("SELECT COUNT(*) FROM files"));
    EXPECT_EQ(filesNew, workers == 2 ? files : 0);
    EXPECT_EQ(One(QStringLiteral("SELECT COUNT(DISTINCT serial) FROM files")), 10);
    EXPECT_EQ(One(QStringLiteral("SELECT COUNT(*) FROM devices WHERE lease_owner IS NOT NULL")), 0);
    ExpectStoreAndRowsAgree();
  }
}

TEST_F(FleetPgTest, AWorkerKilledInADeviceLosesItAndAnotherFinishesItByteForByte) {
  TSimFleet sims;
  ASSERT_TRUE(sims.Start(1, {QStringLiteral("--rate"), QStringLiteral("20000")}));
  Import(sims);
  const qint64 serial = sims.Devices[0].Serial;
  auto a = StartWorker(QStringLiteral("A"), {QStringLiteral("--lease-seconds"), QStringLiteral("3")});
  QElapsedTimer t;
  t.start();
  // A has told of some files in its run's row before it dies.
  while (t.elapsed() < 60000 && a->state() == QProcess::Running &&
         One(QStringLiteral("SELECT COALESCE(MAX(files_new), 0) FROM runs WHERE worker = 'A'")) == 0)
    QThread::msleep(20);
  QStringList parts;
  while (t.elapsed() < 60000 && a->state() == QProcess::Running) {
    parts = PartFiles();
    if (!parts.isEmpty() && QFileInfo(parts.front()).size() > 0) break;
    QThread::msleep(5);
  }
  ASSERT_FALSE(parts.isEmpty()) << "no download was in flight";
  // B is already at work (it waits: the device is A's) when A dies; it takes
  // the device once A's lease has run out and resumes A's part file.
  auto b = StartWorker(QStringLiteral("B"), {QStringLiteral("--lease-seconds"), QStringLiteral("3")});
  QThread::msleep(1500);
  ASSERT_EQ(b->state(), QProcess::Running) << "B did not wait for the device A holds";
  ::kill(pid_t(a->processId()), SIGKILL);
  ASSERT_TRUE(a->waitForFinished(10000));
  qint64 onDisk = 0;
  for (const QByteArray& b : cli::StoreFiles(Store.path(), serial)) onDisk += b.size();

  TRun r;
  const QJsonObject run = Finished(*b, r).value(QStringLiteral("runs")).toArray().at(0).toObject();
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(run.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
  EXPECT_TRUE(PartFiles().isEmpty());
  EXPECT_EQ(Rows(QStringLiteral("SELECT worker, result FROM runs ORDER BY id")),
            (QList<QVariantList>{{QStringLiteral("A"), QStringLiteral("lost")}, {QStringLiteral("B"), QStringLiteral("ok")}}));
  // The lost run keeps what it had told: the fleet's byte count misses only
  // what came after its last word.
  EXPECT_GT(One(QStringLiteral("SELECT files_new FROM runs WHERE worker = 'A'")), 0);
  EXPECT_GT(One(QStringLiteral("SELECT bytes FROM runs WHERE worker = 'A'")), 0);

  // What a direct download of the device gives, byte for byte; only what A
  // had not stored came over the link again.
  const QMap<QString, QByteArray> want = cli::ExpectAsDirectDownload(sims.Devices[0].Port, serial, Store.path());
  ASSERT_GT(want.size(), 10);
  qint64 total = 0;
  for (const QByteArray& b : want) total += b.size();
  EXPECT_EQ(run.value(QStringLiteral("bytes")).toInteger(), total - onDisk);
  EXPECT_EQ(One(QStringLiteral("SELECT COUNT(*) FROM files")), want.size());
  ExpectStoreAndRowsAgree();
}

TEST_F(FleetPgTest, AServerRestartUnderARunIsWaitedForAndNothingIsLost) {
  TSimFleet sims;
  ASSERT_TRUE(sims.Start(2, {QStringLiteral("--rate"), QStringLiteral("40000")}));
  Import(sims);
  // Two workers, a device each.
  auto w = StartWorker(QStringLiteral("W"), {QStringLiteral("--lease-seconds"), QStringLiteral("20"), QStringLiteral("--parallel"), QStringLiteral("1")});
  auto v = StartWorker(QStringLiteral("V"), {QStringLiteral("--lease-seconds"), QStringLiteral("20"), QStringLiteral("--parallel"), QStringLiteral("1")});
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 60000 && One(QStringLiteral("SELECT COUNT(*) FROM files")) < 2) QThread::msleep(50);
  ASSERT_GE(One(QStringLiteral("SELECT COUNT(*) FROM files")), 2) << "the run did not get going";
  ASSERT_EQ(w->state(), QProcess::Running) << "the run ended before the restart";
  ASSERT_EQ(v->state(), QProcess::Running) << "the run ended before the restart";
  QProcess restart;
  restart.start(QStringLiteral("bash"), {QStringLiteral(VANTA_SOURCE_DIR "/tests/tools/pg_cluster.sh"), QStringLiteral("restart"),
                                         QStringLiteral(VANTA_PG_STATE)});
  ASSERT_TRUE(restart.waitForFinished(60000));
  ASSERT_EQ(restart.exitCode(), 0) << restart.readAllStandardError().toStdString();
  QString errors;
  for (QProcess* p : {w.get(), v.get()}) {
    TRun r;
    const QJsonObject doc = Finished(*p, r);
    errors += r.Err;
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(cli::MatchesSchema(r.Out, QStringLiteral("fleet-run")));
    EXPECT_GE(doc.value(QStringLiteral("dbReconnects")).toInt(), 1) << "the restart was not noticed";
    EXPECT_EQ(doc.value(QStringLiteral("runs")).toArray().size(), 1) << "each worker read one device";
  }
  EXPECT_EQ(Rows(QStringLiteral("SELECT result FROM runs ORDER BY id")), (QList<QVariantList>{{QStringLiteral("ok")}, {QStringLiteral("ok")}}))
      << errors.toStdString();
  EXPECT_EQ(One(QStringLiteral("SELECT COUNT(DISTINCT serial) FROM files")), 2);
  ExpectStoreAndRowsAgree();
}

TEST_F(FleetPgTest, TheWebServiceShowsWhatTheWorkersWrote) {
  TSimFleet sims;
  ASSERT_TRUE(sims.Start(3, {}));
  Import(sims);
  auto w = StartWorker(QStringLiteral("W"), {});
  ASSERT_TRUE(w->waitForFinished(120000));
  ASSERT_EQ(w->exitCode(), 0) << w->readAllStandardError().toStdString();

  QProcess serve;
  serve.start(QStringLiteral(VANTA_FLEET_PATH), Common() + QStringList{QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
  QByteArray out;
  QElapsedTimer t;
  t.start();
  while (!out.contains("listening on ") && t.elapsed() < 20000 && serve.state() != QProcess::NotRunning) {
    serve.waitForReadyRead(100);
    out += serve.readAllStandardOutput();
  }
  const int at = int(out.indexOf("listening on "));
  ASSERT_GE(at, 0) << out.toStdString() << serve.readAllStandardError().toStdString();
  const QUrl url(QString::fromUtf8(out.mid(at + 13, out.indexOf('\n', at) - at - 13).trimmed()));
  httplib::Client c("127.0.0.1", url.port());
  c.set_read_timeout(30);
  auto get = [&](const char* path) {
    const httplib::Result r = c.Get(path);
    EXPECT_TRUE(r) << path;
    EXPECT_EQ(r ? r->status : 0, 200) << path;
    return r ? QByteArray::fromStdString(r->body) : QByteArray();
  };
  const QByteArray devices = get("/api/devices");
  EXPECT_TRUE(cli::MatchesSchema(QString::fromUtf8(devices), QStringLiteral("fleet-web-devices")));
  const QJsonArray list = QJsonDocument::fromJson(devices).object().value(QStringLiteral("devices")).toArray();
  ASSERT_EQ(list.size(), 3);
  for (const QJsonValue& d : list) EXPECT_EQ(d.toObject().value(QStringLiteral("state")).toString(), QStringLiteral("up")) << devices.toStdString();
  const QByteArray device = get(QStringLiteral("/api/devices/%1").arg(sims.Devices[0].Serial).toLatin1().constData());
  EXPECT_TRUE(cli::MatchesSchema(QString::fromUtf8(device), QStringLiteral("fleet-web-device")));
  const QByteArray events = get("/api/events?limit=1000");
  EXPECT_TRUE(cli::MatchesSchema(QString::fromUtf8(events), QStringLiteral("fleet-web-events")));
  EXPECT_EQ(QJsonDocument::fromJson(events).object().value(QStringLiteral("events")).toArray().size(), One(QStringLiteral("SELECT COUNT(*) FROM events")));
  const QByteArray runs = get("/api/runs?result=ok");
  EXPECT_EQ(QJsonDocument::fromJson(runs).object().value(QStringLiteral("runs")).toArray().size(), 3);
  // The run durations come from timestamps here, not from text.
  const QString metrics = QString::fromUtf8(get("/metrics"));
  EXPECT_TRUE(metrics.contains(QStringLiteral("\nvanta_fleet_devices 3\n"))) << metrics.toStdString();
  EXPECT_TRUE(metrics.contains(QStringLiteral("vanta_fleet_run_duration_seconds_count 3\n"))) << metrics.toStdString();
  EXPECT_TRUE(metrics.contains(QStringLiteral("vanta_fleet_readout_bytes_total %1\n").arg(One(QStringLiteral("SELECT SUM(bytes) FROM runs")))))
      << metrics.toStdString();
  serve.terminate();
  EXPECT_TRUE(serve.waitForFinished(10000));
}

}  // namespace vanta::test::fleetpg
