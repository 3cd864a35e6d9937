// `vanta-fleet serve` over HTTP on a database the test fills: the documents
// against their schemas, the filters and the keyset paging of events and
// runs, bad parameters, the token, the refusal to listen on other machines'
// reach without one, a clean stop, nothing written, and the dashboard as
// Chromium renders it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/types.h>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUrl>
#include <csignal>
#include <thread>

#include "CliSupport.h"
#include "FleetView.h"
#include "FleetWeb.h"
#include "FleetWebSupport.h"

namespace vanta::test::fleetweb {

using cli::MatchesSchema;
using cli::ReadAll;

namespace {

struct TReply {
  int Status = 0;
  QByteArray Body;
  QJsonObject Doc;
  std::string ContentType, Authenticate;
};

QString WriteSecret(const QString& path, const QByteArray& text, QFileDevice::Permissions mode) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
  f.close();
  EXPECT_TRUE(f.setPermissions(mode));
  return path;
}

const QFileDevice::Permissions COwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

}  // namespace

// One service in this process, on a free port, over the filled database.
class FleetWebTest : public TFilledFleetTest {
 protected:
  void TearDown() override { StopService(); }

  ::testing::AssertionResult StartService(const QString& tokenFile = QString()) {
    TWebOptions o;
    o.DbUrl = DbUrl();
    o.Listen = QStringLiteral("127.0.0.1:0");
    o.TokenFile = tokenFile;
    Web = std::make_unique<TFleetWeb>(o);
    QString error;
    if (!Web->Bind(error)) return ::testing::AssertionFailure() << error.toStdString();
    Stop = false;
    Server = std::thread([this] { Web->ServeUntil(Stop); });
    return ::testing::AssertionSuccess();
  }
  void StopService() {
    Stop = true;
    if (Server.joinable()) Server.join();
    Web.reset();
  }

  TReply Get(const std::string& path, const std::string& token = std::string()) {
    httplib::Client c("127.0.0.1", Web->Port());
    c.set_read_timeout(30);
    // The paths are written as a browser sends them; the client must not encode them again.
    c.set_url_encode(false);
    httplib::Headers headers;
    if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
    TReply r;
    const httplib::Result res = c.Get(path.c_str(), headers);
    if (!res) {
      ADD_FAILURE() << path << ": no answer (" << httplib::to_string(res.error()) << ")";
      return r;
    }
    r.Status = res->status;
    r.Body = QByteArray::fromStdString(res->body);
    r.ContentType = res->get_header_value("Content-Type");
    r.Authenticate = res->get_header_value("WWW-Authenticate");
    if (r.ContentType.rfind("application/json", 0) == 0) r.Doc = QJsonDocument::fromJson(r.Body).object();
    return r;
  }
  // A 400 with the error document and a message that names `what`.
  void ExpectBad(const std::string& path, const QString& what) {
    const TReply r = Get(path);
    EXPECT_EQ(r.Status, 400) << path;
    EXPECT_TRUE(MatchesSchema(QString::fromUtf8(r.Body), QStringLiteral("fleet-web-error"))) << path;
    EXPECT_EQ(r.Doc.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(), 400) << path;
    EXPECT_TRUE(
        r.Doc.value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString().contains(what))
        << path << ": " << r.Body.toStdString();
  }
  // Every page of `path` (a query without `after`), following `next`; the rows also into `all`.
  QList<qint64> AllPages(const std::string& path, const char* key, int& pages, QList<QJsonObject>* all = nullptr) {
    QList<qint64> ids;
    QJsonValue next;
    pages = 0;
    do {
      const std::string url =
          path + (next.isNull() || next.isUndefined() ? std::string() : "&after=" + std::to_string(next.toInteger()));
      const TReply r = Get(url);
      EXPECT_EQ(r.Status, 200) << url << r.Body.toStdString();
      if (r.Status != 200) break;
      EXPECT_TRUE(MatchesSchema(QString::fromUtf8(r.Body), key == std::string("events")
                                                               ? QStringLiteral("fleet-web-events")
                                                               : QStringLiteral("fleet-web-runs")));
      const QJsonArray rows = r.Doc.value(QLatin1String(key)).toArray();
      for (const QJsonValue& row : rows) {
        ids << row.toObject().value(QStringLiteral("id")).toInteger();
        if (all) *all << row.toObject();
      }
      next = r.Doc.value(QStringLiteral("next"));
      if (!next.isNull()) {
        EXPECT_EQ(next.toInteger(), ids.last()) << "next is the last id of the page";
      }
      ++pages;
    } while (!next.isNull() && pages < 1000);
    return ids;
  }

  std::unique_ptr<TFleetWeb> Web;
  std::atomic<bool> Stop{false};
  std::thread Server;
};

TEST_F(FleetWebTest, DevicesListEveryDeviceWithItsHealth) {
  ASSERT_TRUE(StartService());
  const TReply r = Get("/api/devices");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_EQ(r.ContentType, "application/json; charset=utf-8");
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(r.Body), QStringLiteral("fleet-web-devices")));
  const QJsonArray devices = r.Doc.value(QStringLiteral("devices")).toArray();
  ASSERT_EQ(devices.size(), 6);
  QMap<qint64, QJsonObject> bySerial;
  QJsonObject never;
  for (const QJsonValue& v : devices) {
    const QJsonObject d = v.toObject();
    if (d.value(QStringLiteral("serial")).isNull())
      never = d;
    else
      bySerial.insert(d.value(QStringLiteral("serial")).toInteger(), d);
  }
  for (auto it = Filled.States.begin(); it != Filled.States.end(); ++it) {
    EXPECT_EQ(bySerial.value(it.key()).value(QStringLiteral("state")).toString(), it.value()) << it.key();
    EXPECT_EQ(bySerial.value(it.key()).value(QStringLiteral("up")).toBool(), it.value() == QLatin1String("up"))
        << it.key();
  }
  EXPECT_EQ(never.value(QStringLiteral("state")).toString(), QStringLiteral("never"));
  EXPECT_EQ(never.value(QStringLiteral("name")).toString(), Filled.MarkupName);

  const QJsonObject a = bySerial.value(30001);
  EXPECT_EQ(a.value(QStringLiteral("name")).toString(), QStringLiteral("Abgang 1"));
  EXPECT_EQ(a.value(QStringLiteral("address")).toString(), QStringLiteral("10.20.0.11:5040"));
  EXPECT_EQ(a.value(QStringLiteral("firmware")).toString(), QStringLiteral("V2.1.0"));
  EXPECT_EQ(a.value(QStringLiteral("clockOffset")).toInteger(), -1) << "from the newest status, not the older one";
  EXPECT_EQ(a.value(QStringLiteral("freeStorage")).toObject().value(QStringLiteral("flashMb")).toInteger(), 812);
  EXPECT_EQ(a.value(QStringLiteral("freeStorage")).toObject().value(QStringLiteral("sdMb")).toInteger(), 3800);
  EXPECT_EQ(a.value(QStringLiteral("lastSuccess")).toString(), IsoUtc(Filled.LastSuccess30001));
  EXPECT_NEAR(a.value(QStringLiteral("lastSuccessAge")).toDouble(), 60, 30);
  EXPECT_EQ(a.value(QStringLiteral("failures")).toInt(), 0);
  const QJsonObject b = bySerial.value(30002);
  EXPECT_EQ(b.value(QStringLiteral("failures")).toInt(), 3);
  EXPECT_EQ(b.value(QStringLiteral("lastRun")).toObject().value(QStringLiteral("result")).toString(),
            QStringLiteral("failed"));
  EXPECT_TRUE(b.value(QStringLiteral("freeStorage")).isNull());
  EXPECT_TRUE(bySerial.value(30003).value(QStringLiteral("nextDue")).isNull()) << "a paused device is not due";
}

TEST_F(FleetWebTest, ADevicePageHasItsRunsFilesAndStatusAndUnknownSerialsAreTold) {
  ASSERT_TRUE(StartService());
  const TReply r = Get("/api/devices/30001");
  ASSERT_EQ(r.Status, 200) << r.Body.toStdString();
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(r.Body), QStringLiteral("fleet-web-device")));
  EXPECT_EQ(r.Doc.value(QStringLiteral("device")).toObject().value(QStringLiteral("serial")).toInteger(), 30001);
  const QJsonArray runs = r.Doc.value(QStringLiteral("runs")).toArray();
  ASSERT_EQ(runs.size(), 20) << "the newest 20 of 30";
  EXPECT_GT(runs[0].toObject().value(QStringLiteral("id")).toInteger(),
            runs[1].toObject().value(QStringLiteral("id")).toInteger());
  EXPECT_DOUBLE_EQ(runs[0].toObject().value(QStringLiteral("duration")).toDouble(), 3.0);
  EXPECT_EQ(runs[0].toObject().value(QStringLiteral("bytes")).toInteger(), 12345);
  EXPECT_EQ(r.Doc.value(QStringLiteral("files")).toArray().size(), 6);
  EXPECT_EQ(r.Doc.value(QStringLiteral("filesTotal")).toInteger(), 6);
  const QJsonObject status = r.Doc.value(QStringLiteral("status")).toObject();
  EXPECT_EQ(status.value(QStringLiteral("flashFreeMb")).toInteger(), 812);
  EXPECT_EQ(status.value(QStringLiteral("timeSync")).toString(), QStringLiteral("synchronised"));

  const TReply unknown = Get("/api/devices/99999");
  EXPECT_EQ(unknown.Status, 404);
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(unknown.Body), QStringLiteral("fleet-web-error")));
  EXPECT_TRUE(unknown.Doc.value(QStringLiteral("error"))
                  .toObject()
                  .value(QStringLiteral("message"))
                  .toString()
                  .contains(QLatin1String("99999")));
  ExpectBad("/api/devices/12ab", QStringLiteral("no serial number"));
  ExpectBad("/api/devices/-5", QStringLiteral("no serial number"));
  ExpectBad("/api/devices/30001?x=1", QStringLiteral("unknown parameter"));
  // Neither the document nor the page of an unknown path is a 200.
  EXPECT_EQ(Get("/api/nothing").Status, 404);
  EXPECT_EQ(Get("/etc/passwd").Status, 404);
}

TEST_F(FleetWebTest, EventsFilterAndPageWithoutLosingOrDoublingARow) {
  ASSERT_TRUE(StartService());
  int pages = 0;
  const QList<qint64> ids = AllPages("/api/events?serial=30001&limit=37", "events", pages);
  EXPECT_EQ(ids.size(), Filled.EventsOf30001);
  EXPECT_EQ(pages, int((Filled.EventsOf30001 + 36) / 37));
  EXPECT_EQ(QSet<qint64>(ids.begin(), ids.end()).size(), ids.size()) << "an event twice";
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
  // Across devices the pages follow the time the events happened, not the
  // order their files were indexed in.
  QList<QJsonObject> rows7;
  AllPages("/api/events?limit=7", "events", pages, &rows7);
  QStringList times;
  for (const QJsonObject& e : rows7) times << e.value(QStringLiteral("time")).toString();
  EXPECT_EQ(times.size(), Filled.EventsTotal);
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  // A page that ends exactly with the last row says so: no empty page after it.
  const QList<qint64> exact = AllPages("/api/events?serial=30002&limit=30", "events", pages);
  EXPECT_EQ(exact.size(), 30);
  EXPECT_EQ(pages, 1);
  // Default page and all devices.
  const TReply all = Get("/api/events");
  EXPECT_EQ(all.Doc.value(QStringLiteral("events")).toArray().size(), CWebDefaultLimit);
  EXPECT_FALSE(all.Doc.value(QStringLiteral("next")).isNull());
  EXPECT_EQ(AllPages("/api/events?limit=1000", "events", pages).size(), Filled.EventsTotal);

  // from inclusive, to exclusive; each event a quarter of an hour apart from 2025-12-05T00:00:00.125Z.
  TReply day = Get("/api/events?serial=30001&from=2025-12-05T00:00:00Z&to=2025-12-05T02:00:00.125Z");
  ASSERT_EQ(day.Status, 200) << day.Body.toStdString();
  QJsonArray rows = day.Doc.value(QStringLiteral("events")).toArray();
  ASSERT_EQ(rows.size(), 8);
  EXPECT_EQ(rows[0].toObject().value(QStringLiteral("time")).toString(), QStringLiteral("2025-12-05T00:00:00.125Z"));
  EXPECT_EQ(rows[7].toObject().value(QStringLiteral("time")).toString(), QStringLiteral("2025-12-05T01:45:00.125Z"));
  // An offset is a time like any other: 01:00+01:00 is midnight UTC.
  day = Get("/api/events?serial=30001&from=2025-12-05T01:00:00%2B01:00&to=2025-12-05T02:00:00.125Z");
  EXPECT_EQ(day.Doc.value(QStringLiteral("events")).toArray().size(), 8);

  // Text: anywhere in the name, any case.
  const TReply text = Get("/api/events?serial=30002&text=EINBRUCH&limit=1000");
  rows = text.Doc.value(QStringLiteral("events")).toArray();
  EXPECT_EQ(rows.size(), 8);
  for (const QJsonValue& v : rows)
    EXPECT_EQ(v.toObject().value(QStringLiteral("text")).toString(), QStringLiteral("Spannungseinbruch L1"));
  // LIKE's wildcards in the text match only themselves.
  for (const char* wild : {"%25", "_", "100%25%20%C3%BCber_"}) {
    const TReply w = Get(std::string("/api/events?limit=1000&text=") + wild);
    rows = w.Doc.value(QStringLiteral("events")).toArray();
    ASSERT_EQ(rows.size(), 1) << wild;
    EXPECT_EQ(rows[0].toObject().value(QStringLiteral("text")).toString(), CWildcardText);
  }
  // Text that looks like SQL is text: no rows, no error, the tables as they were.
  for (const char* sql : {"'%20OR%201=1%20--", "'%20OR%201%3D1%20--", "x');%20DROP%20TABLE%20events;%20--",
                          "%22%20OR%20%22%22=%22", "1'+OR+'1'='1"}) {
    const TReply inj = Get(std::string("/api/events?text=") + sql);
    EXPECT_EQ(inj.Status, 200) << sql;
    EXPECT_EQ(inj.Doc.value(QStringLiteral("events")).toArray().size(), 0) << sql;
    EXPECT_TRUE(inj.Doc.value(QStringLiteral("next")).isNull());
  }
  EXPECT_EQ(Get("/api/events?serial=1%20OR%201=1").Status, 400);
  EXPECT_EQ(Get("/api/events?serial=1%20OR%201%3D1").Status, 400);
  EXPECT_EQ(Get("/api/events?serial=30001;").Status, 400);
  // A "=" or "+" inside a value belongs to the value.
  const TReply eq = Get("/api/events?limit=1000&text=100%25+%C3%BCber_Grenze");
  EXPECT_EQ(eq.Doc.value(QStringLiteral("events")).toArray().size(), 1);
  EXPECT_EQ(Get("/api/events?text=zzz=einbruch").Doc.value(QStringLiteral("events")).toArray().size(), 0);
  EXPECT_EQ(AllPages("/api/events?limit=1000", "events", pages).size(), Filled.EventsTotal);
}

TEST_F(FleetWebTest, BadParametersAreRefusedWithTheReason) {
  ASSERT_TRUE(StartService());
  ExpectBad("/api/events?limit=1001", QStringLiteral("1 to 1000"));
  ExpectBad("/api/events?limit=0", QStringLiteral("1 to 1000"));
  ExpectBad("/api/events?limit=ten", QStringLiteral("limit"));
  ExpectBad("/api/events?after=-1", QStringLiteral("after"));
  ExpectBad("/api/events?after=1.5", QStringLiteral("after"));
  ExpectBad("/api/events?serial=abc", QStringLiteral("serial"));
  ExpectBad("/api/events?from=yesterday", QStringLiteral("ISO 8601"));
  ExpectBad("/api/events?to=2025-13-45T00:00:00Z", QStringLiteral("ISO 8601"));
  ExpectBad("/api/events?from=2025-12-06T00:00:00Z&to=2025-12-05T00:00:00Z", QStringLiteral("before"));
  ExpectBad("/api/events?serail=30001", QStringLiteral("unknown parameter 'serail'"));
  ExpectBad("/api/events?serial=30001&serial=30002", QStringLiteral("twice"));
  ExpectBad("/api/events?text=" + std::string(201, 'x'), QStringLiteral("200 characters"));
  ExpectBad("/api/runs?result=maybe", QStringLiteral("ok, failed"));
  ExpectBad("/api/runs?limit=5000", QStringLiteral("1 to 1000"));
  ExpectBad("/api/devices?all=1", QStringLiteral("unknown parameter"));
  // The service only reads.
  httplib::Client c("127.0.0.1", Web->Port());
  const httplib::Result post = c.Post("/api/devices", "{}", "application/json");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
  EXPECT_EQ(post->get_header_value("Allow"), "GET, HEAD");
  const httplib::Result del = c.Delete("/api/devices/30001");
  ASSERT_TRUE(del);
  EXPECT_EQ(del->status, 405);
}

TEST_F(FleetWebTest, RunsFilterByResultAndPage) {
  ASSERT_TRUE(StartService());
  int pages = 0;
  const QList<qint64> failed = AllPages("/api/runs?result=failed&limit=2", "runs", pages);
  EXPECT_EQ(failed.size(), Filled.FailedRuns);
  EXPECT_EQ(pages, 2);
  const TReply one = Get("/api/runs?serial=30002&result=failed");
  for (const QJsonValue& v : one.Doc.value(QStringLiteral("runs")).toArray()) {
    EXPECT_EQ(v.toObject().value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(v.toObject().value(QStringLiteral("serial")).toInteger(), 30002);
    EXPECT_EQ(v.toObject().value(QStringLiteral("message")).toString(), QStringLiteral("keine Verbindung"));
  }
  const TReply running = Get("/api/runs?result=running");
  ASSERT_EQ(running.Doc.value(QStringLiteral("runs")).toArray().size(), 1);
  EXPECT_TRUE(
      running.Doc.value(QStringLiteral("runs")).toArray()[0].toObject().value(QStringLiteral("endedAt")).isNull());
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(running.Body), QStringLiteral("fleet-web-runs")));
  const QList<qint64> all = AllPages("/api/runs?limit=7", "runs", pages);
  EXPECT_EQ(all.size(), Filled.Durations.size() + 1);
  EXPECT_EQ(QSet<qint64>(all.begin(), all.end()).size(), all.size());
}

TEST_F(FleetWebTest, ATokenGuardsEverythingButMetrics) {
  const QByteArray token = "3f9c1d7e5b2a48c6a1e0f7d9b3c5e2a4";
  const QString file = WriteSecret(Dir.path() + QStringLiteral("/token"), token + '\n', COwnerOnly);
  ASSERT_TRUE(StartService(file));
  for (const char* path : {"/api/devices", "/api/devices/30001", "/api/events", "/", "/fleet.js", "/api/nothing"}) {
    const TReply none = Get(path);
    EXPECT_EQ(none.Status, 401) << path;
    EXPECT_EQ(none.Authenticate, "Bearer") << path;
    EXPECT_TRUE(MatchesSchema(QString::fromUtf8(none.Body), QStringLiteral("fleet-web-error"))) << path;
    EXPECT_EQ(Get(path, "3f9c1d7e5b2a48c6a1e0f7d9b3c5e2a5").Status, 401) << path << ": a wrong last character";
    EXPECT_EQ(Get(path, token.left(31).toStdString()).Status, 401) << path << ": the token cut short";
    EXPECT_EQ(Get(path, token.toStdString() + "0").Status, 401) << path << ": the token made longer";
  }
  EXPECT_EQ(Get("/api/devices", token.toStdString()).Status, 200);
  EXPECT_EQ(Get("/", token.toStdString()).Status, 200);
  EXPECT_EQ(Get("/api/nothing", token.toStdString()).Status, 404);
  const TReply metrics = Get("/metrics");
  EXPECT_EQ(metrics.Status, 200);
  EXPECT_EQ(metrics.ContentType, "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_TRUE(metrics.Body.contains("vanta_fleet_devices 6\n"));
  EXPECT_TRUE(SameSecret("abc", "abc"));
  EXPECT_FALSE(SameSecret("abc", "abd"));
  EXPECT_FALSE(SameSecret("abc", "abcd"));
  EXPECT_FALSE(SameSecret("", "a"));
}

TEST_F(FleetWebTest, WhatIsRefusedBeforeListening) {
  auto refused = [this](const QString& listen, const QString& tokenFile, const QString& dbUrl) {
    TWebOptions o;
    o.DbUrl = dbUrl;
    o.Listen = listen;
    o.TokenFile = tokenFile;
    TFleetWeb web(o);
    QString error;
    EXPECT_FALSE(web.Bind(error)) << listen.toStdString();
    return error;
  };
  EXPECT_TRUE(refused(QStringLiteral("0.0.0.0:0"), QString(), DbUrl()).contains(QLatin1String("--token-file")));
  EXPECT_TRUE(refused(QStringLiteral("[::]:0"), QString(), DbUrl()).contains(QLatin1String("--token-file")));
  EXPECT_TRUE(refused(QStringLiteral("192.168.1.1:8080"), QString(), DbUrl()).contains(QLatin1String("--token-file")));
  const QString open = WriteSecret(Dir.path() + QStringLiteral("/open-token"), "3f9c1d7e5b2a48c6a1e0f7d9b3c5e2a4\n",
                                   COwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
  EXPECT_TRUE(
      refused(QStringLiteral("127.0.0.1:0"), open, DbUrl()).contains(QLatin1String("may be read by group or others")));
  const QString shortToken = WriteSecret(Dir.path() + QStringLiteral("/short-token"), "secret\n", COwnerOnly);
  EXPECT_TRUE(refused(QStringLiteral("127.0.0.1:0"), shortToken, DbUrl()).contains(QLatin1String("at least 16")));
  const QString twoLines =
      WriteSecret(Dir.path() + QStringLiteral("/two-lines"), "3f9c1d7e5b2a48c6\na1e0f7d9b3c5e2a4\n", COwnerOnly);
  EXPECT_TRUE(refused(QStringLiteral("127.0.0.1:0"), twoLines, DbUrl()).contains(QLatin1String("one line")));
  EXPECT_TRUE(refused(QStringLiteral("127.0.0.1:0"), Dir.path() + QStringLiteral("/none"), DbUrl())
                  .contains(QLatin1String("no such file")));
  for (const char* bad : {"127.0.0.1", "127.0.0.1:65536", "127.0.0.1:http", ":8080", "::1:8080", "[::1]8080"})
    EXPECT_TRUE(refused(QLatin1String(bad), QString(), DbUrl()).contains(QLatin1String("--listen"))) << bad;
  // A mistyped database is not made.
  const QString missing = Dir.path() + QStringLiteral("/typo.sqlite");
  EXPECT_TRUE(refused(QStringLiteral("127.0.0.1:0"), QString(), QStringLiteral("sqlite:") + missing)
                  .contains(QLatin1String("no fleet database")));
  EXPECT_FALSE(QFile::exists(missing));
  EXPECT_TRUE(IsLoopbackHost(QStringLiteral("127.0.0.1")));
  EXPECT_TRUE(IsLoopbackHost(QStringLiteral("::1")));
  EXPECT_TRUE(IsLoopbackHost(QStringLiteral("localhost")));
  EXPECT_FALSE(IsLoopbackHost(QStringLiteral("0.0.0.0")));
  EXPECT_FALSE(IsLoopbackHost(QStringLiteral("127.example.org")));
}

TEST_F(FleetWebTest, ServingWritesNothing) {
  const QByteArray before = ReadAll(DbFile()), walBefore = ReadAll(DbFile() + QStringLiteral("-wal"));
  ASSERT_TRUE(StartService());
  for (const char* path : {"/api/devices", "/api/devices/30001", "/api/events?text=x", "/api/runs", "/metrics", "/"})
    EXPECT_EQ(Get(path).Status, 200) << path;
  StopService();
  EXPECT_TRUE(ReadAll(DbFile()) == before);
  EXPECT_TRUE(ReadAll(DbFile() + QStringLiteral("-wal")) == walBefore);
}

// ---- the program ----

class FleetServeTest : public FleetWebTest {
 protected:
  // Starts `vanta-fleet serve` and waits for the line with its address.
  bool Start(QProcess& p, const QStringList& extra = {}) {
    p.start(QStringLiteral(VANTA_FLEET_PATH), QStringList{QStringLiteral("--db"), DbUrl(), QStringLiteral("serve"),
                                                          QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} +
                                                  extra);
    if (!p.waitForStarted(10000)) return false;
    QByteArray out;
    while (!out.contains('\n') && p.waitForReadyRead(20000)) out += p.readAllStandardOutput();
    const QString line = QString::fromUtf8(out).trimmed();
    if (!line.startsWith(QLatin1String("listening on http://127.0.0.1:"))) {
      ADD_FAILURE() << "no address: " << line.toStdString() << p.readAllStandardError().toStdString();
      return false;
    }
    Url = line.mid(13);
    return true;
  }
  void Finish(QProcess& p) {
    ::kill(pid_t(p.processId()), SIGTERM);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  }
  // Chromium's DOM of a page after its scripts ran; empty when there is no Chromium.
  QString Dom(const QString& url) {
    QProcess c;
    c.start(Chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                       QStringLiteral("--user-data-dir=") + Profile.path(),
                       QStringLiteral("--virtual-time-budget=5000"), QStringLiteral("--dump-dom"), url});
    if (!c.waitForFinished(90000)) {
      c.kill();
      c.waitForFinished();
      ADD_FAILURE() << "chromium did not finish";
    }
    return QString::fromUtf8(c.readAllStandardOutput());
  }
  QString Url;
  QString Chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  QTemporaryDir Profile;
};

TEST_F(FleetServeTest, ListensOnAFreePortAndStopsCleanlyOnSigterm) {
  QProcess p;
  ASSERT_TRUE(Start(p));
  httplib::Client c("127.0.0.1", QUrl(Url).port());
  const httplib::Result r = c.Get("/api/devices");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  Finish(p);
  EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).contains(QLatin1String("stopped")));
}

TEST_F(FleetServeTest, RefusesOtherMachinesWithoutAToken) {
  QProcess p;
  p.start(QStringLiteral(VANTA_FLEET_PATH), {QStringLiteral("--db"), DbUrl(), QStringLiteral("serve"),
                                             QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QLatin1String("--token-file")))
      << "the way out is named";
  EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
  QProcess j;
  j.start(QStringLiteral(VANTA_FLEET_PATH),
          {QStringLiteral("--json"), QStringLiteral("--db"), DbUrl(), QStringLiteral("serve"),
           QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")});
  ASSERT_TRUE(j.waitForFinished(20000));
  EXPECT_EQ(j.exitCode(), 1);
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(j.readAllStandardOutput()), QStringLiteral("error")));
}

TEST_F(FleetServeTest, ChromiumShowsEveryDeviceWithItsState) {
  if (Chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed: the dashboard is not rendered";
  QProcess p;
  ASSERT_TRUE(Start(p));
  const QString dom = Dom(Url);
  ASSERT_TRUE(dom.contains(QLatin1String("<tbody>"))) << dom.left(400).toStdString();
  for (auto it = Filled.States.begin(); it != Filled.States.end(); ++it)
    EXPECT_TRUE(dom.contains(QStringLiteral("<tr data-serial=\"%1\" data-state=\"%2\">").arg(it.key()).arg(it.value())))
        << it.key() << " " << it.value().toStdString();
  EXPECT_TRUE(dom.contains(QLatin1String("<tr data-state=\"never\">")));
  EXPECT_TRUE(dom.contains(QLatin1String("Abgang 1")));
  EXPECT_TRUE(dom.contains(QStringLiteral("in Betrieb")));
  EXPECT_TRUE(dom.contains(QStringLiteral("gestört")));
  EXPECT_TRUE(dom.contains(QStringLiteral("pausiert")));
  EXPECT_TRUE(dom.contains(QStringLiteral("nie gelesen")));
  EXPECT_TRUE(dom.contains(QLatin1String("Flash 812 MB")));
  // The name that looks like markup is shown as text: no element came of it.
  EXPECT_TRUE(dom.contains(QLatin1String("Neu &lt;b&gt;fett&lt;/b&gt; &amp; &lt;script&gt;x&lt;/script&gt;")))
      << dom.toStdString();
  EXPECT_FALSE(dom.contains(QLatin1String("<b>fett</b>")));

  // A heading sorts; the order chosen stays in the address.
  auto order = [](const QString& page, const QList<qint64>& serials) {
    qsizetype last = -1;
    for (const qint64 serial : serials) {
      const qsizetype at = page.indexOf(QStringLiteral("<tr data-serial=\"%1\"").arg(serial));
      if (at <= last) return false;
      last = at;
    }
    return true;
  };
  const QString byName = Dom(Url + QStringLiteral("#sort=name"));
  EXPECT_TRUE(order(byName, {30001, 30002, 30005, 30003, 30004})) << byName.toStdString();
  const QString byFailures = Dom(Url + QStringLiteral("#sort=failures-desc"));
  EXPECT_TRUE(order(byFailures, {30002, 30001})) << "most failures first";
  EXPECT_TRUE(byFailures.contains(QLatin1String("<th data-key=\"failures\" class=\"num sorted-desc\"")));
  EXPECT_FALSE(order(byName, {30002, 30001})) << "the check itself tells a wrong order";

  const QString device = Dom(Url + QStringLiteral("device.html?serial=30002"));
  EXPECT_TRUE(device.contains(QLatin1String("Abgang 2")));
  EXPECT_TRUE(device.contains(QLatin1String("keine Verbindung"))) << "the failed runs' reason";
  EXPECT_TRUE(device.contains(QLatin1String("30002/Event/ev-30002-0.evt"))) << "its file";
  EXPECT_TRUE(device.contains(QLatin1String("Spannungseinbruch L1"))) << "its events";
  const QString events = Dom(Url + QStringLiteral("events.html?serial=30001&text=%C3%BCber_&limit=50"));
  EXPECT_TRUE(events.contains(CWildcardText.toHtmlEscaped())) << events.toStdString();
  EXPECT_FALSE(events.contains(QLatin1String("Spannungseinbruch L1")));
  Finish(p);
}

}  // namespace vanta::test::fleetweb
