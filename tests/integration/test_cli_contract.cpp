// The command line's promises to scripts: each exit code for the failure it
// names, with the error document on stdout and the message on stderr, and
// passwords that come from a file only the user can read.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>

#include "CliSupport.h"
#include "FlashPackages.h"
#include "JsonOut.h"
#include "SimProcess.h"

using namespace vanta::test::cli;

namespace {

// The error document of a failed run: its schema, its code, and the same
// message on stderr for the person.
void ExpectErrorDocument(const TRun& r, int code, const QString& part) {
  QJsonObject o;
  ASSERT_TRUE(Document(r, code, "error", o));
  const QJsonObject error = o.value("error").toObject();
  EXPECT_EQ(error.value("code").toInt(), code);
  const QString message = error.value("message").toString();
  EXPECT_TRUE(message.contains(part)) << message.toStdString();
  EXPECT_TRUE(r.Err.contains(message)) << r.Err.toStdString();
}

void WriteMode(const QString& path, const QByteArray& bytes, QFileDevice::Permissions mode) {
  WriteAll(path, bytes);
  ASSERT_TRUE(QFile::setPermissions(path, mode));
}


constexpr QFileDevice::Permissions COwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

}  // namespace

TEST_F(CliTest, ExitOneForAnUnknownOption) {
  const TRun r = Cli({"--json", "identify", "--frobnicate"});
  ExpectErrorDocument(r, 1, "--frobnicate");
}

TEST(CliContract, ExitOneForABrokenRecordFile) {
  QTemporaryDir dir;
  const QString broken = dir.filePath("broken.log");
  WriteAll(broken, QByteArray("this is no record file\n").repeated(20));
  const TRun r = RunCli({"--json", "record", "info", broken});
  ExpectErrorDocument(r, 1, broken);
}

// An IPv6 address reaches the device over IPv6, bare or in brackets.
class CliIpv6Test : public CliTest {
 protected:
  void SetUp() override {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHostIPv6)) GTEST_SKIP() << "no IPv6 loopback here";
    probe.close();
    CliTest::SetUp();
  }
  QStringList SimArgs() override { return {"--bind", "::"}; }
};

TEST_F(CliIpv6Test, AnIpv6AddressIsReached) {
  for (const QString host : {"::1", "[::1]"}) {
    const TRun r = Cli({"--host", host, "--json", "identify"});
    EXPECT_EQ(r.Exit, 0) << host.toStdString() << ": " << r.Err.toStdString();
    EXPECT_TRUE(MatchesSchema(r.Out, "identify")) << host.toStdString();
  }
}

TEST(CliContract, ExitTwoWhenNothingListens) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
  const QString port = QString::number(probe.serverPort());
  probe.close();
  const TRun r = RunCli({"--port", port, "--timeout", "3", "--json", "identify"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 2, "error", o));
  EXPECT_EQ(o.value("error").toObject().value("code").toInt(), 2);
  EXPECT_TRUE(r.Err.contains(o.value("error").toObject().value("message").toString()));
}

TEST_F(CliTest, ExitFiveWhenADownloadCannotBeStored) {
  // A folder below a plain file can never be made, not even by root.
  const QString blocker = Data.filePath("blocker");
  WriteAll(blocker, "a file, not a folder");
  const TRun r = RunCli({"--port", QString::number(Sim.Port), "--data-dir", blocker + "/store", "--quiet", "--json",
                         "events", "get", "12345678-1764903600-375.log"});
  ExpectErrorDocument(r, 5, "12345678-1764903600-375.log");
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_TRUE(MatchesSchema(r.Out, "files-get"));
  const QJsonArray failed = o.value("failed").toArray();
  ASSERT_EQ(failed.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(failed[0].toObject().value("name").toString(), "12345678-1764903600-375.log");
  EXPECT_EQ(o.value("events").toArray()[0].toObject().value("result").toString(), "failed");
}

// ---- passwords from a file -------------------------------------------------------------------

TEST_F(CliTest, PasswordFileLogsInLikeThePassword) {
  const QString file = Data.filePath("pw");
  WriteMode(file, "operator\n", COwnerOnly);
  TRun r = Cli({"--json", "--user", "operator", "--password-file", file, "identify"});
  ASSERT_EQ(r.Exit, 0) << r.Out.toStdString() << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, "identify"));
  // The wrong one in the file is refused by the device, as on the command line.
  WriteMode(file, "nope\n", COwnerOnly);
  r = Cli({"--json", "--user", "operator", "--password-file", file, "identify"});
  ExpectErrorDocument(r, 3, "keinen Zugriff");
}

TEST(CliContract, PasswordFileOthersCanReadIsRefused) {
  QTemporaryDir dir;
  const QString file = dir.filePath("pw");
  WriteMode(file, "operator\n", COwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
  // Port 1: refused before any connection is tried.
  TRun r = RunCli({"--port", "1", "--json", "--user", "operator", "--password-file", file, "identify"});
  ExpectErrorDocument(r, 1, "chmod 600");
  EXPECT_TRUE(r.Err.contains("644")) << r.Err.toStdString();
  // Both ways at once is a mistake on the command line.
  ASSERT_TRUE(QFile::setPermissions(file, COwnerOnly));
  r = RunCli(
      {"--port", "1", "--json", "--user", "operator", "--password", "operator", "--password-file", file, "identify"});
  ExpectErrorDocument(r, 1, "--password and --password-file");
  // A file that is not there.
  r = RunCli({"--port", "1", "--json", "--user", "operator", "--password-file", dir.filePath("none"), "identify"});
  ExpectErrorDocument(r, 1, "no such file");
}

TEST(CliContract, HostsJsonNamesPasswordFiles) {
  QTemporaryDir dir;
  const QString package = dir.filePath("fw.pkg");
  WriteAll(package, "not read: the list is refused first");
  WriteMode(dir.filePath("open.pw"), "operator\n", COwnerOnly | QFileDevice::ReadOther);
  const QString hosts = dir.filePath("hosts.json");
  const QStringList run{"--json",      "flash",    package, "--hosts-json", hosts,
                        "--no-backup", "--run-id", "t1",    "--report",     dir.filePath("report.json")};
  // A file others can read: the entry is refused, named by its place in the list.
  WriteAll(hosts, R"([{"host": "127.0.0.1", "port": 1, "user": "operator", "passwordFile": "open.pw"}])");
  TRun r = RunCli(run);
  ExpectErrorDocument(r, 1, "Eintrag 1");
  EXPECT_TRUE(r.Err.contains("chmod 600")) << r.Err.toStdString();
  // Both a password and a file for one device.
  WriteAll(hosts, R"([{"host": "127.0.0.1", "port": 1, "user": "operator", "password": "x", "passwordFile": "open.pw"}])");
  r = RunCli(run);
  ExpectErrorDocument(r, 1, "passwordFile");
}

TEST(CliContract, HostsJsonPasswordFileLogsEachDeviceIn) {
  vanta::test::TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--reboot-ms", "300"}));
  QTemporaryDir dir;
  WriteMode(dir.filePath("right.pw"), "operator\n", COwnerOnly);
  WriteMode(dir.filePath("wrong.pw"), "nope\n", COwnerOnly);
  const QString hosts = dir.filePath("hosts.json");
  // Relative names are found beside the list, wherever the command runs.
  WriteAll(hosts, QStringLiteral(R"([{"device": "Right", "host": "127.0.0.1", "port": %1, "user": "operator", "passwordFile": "right.pw"},
                                     {"device": "Wrong", "host": "127.0.0.1", "port": %1, "user": "operator", "passwordFile": "wrong.pw"}])")
                      .arg(sim.Port)
                      .toUtf8());
  const TRun r = RunCli({"--data-dir", dir.filePath("data"), "--timeout", "5", "--json", "flash",
                         vanta::test::GoodPackage(QDir(dir.path())), "--hosts-json", hosts, "--no-backup", "--run-id",
                         "P1", "--report", dir.filePath("report.json")},
                        90000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonArray rows = o.value("devices").toArray();
  ASSERT_EQ(rows.size(), 2) << r.Out.toStdString();
  EXPECT_EQ(rows[0].toObject().value("result").toString(), "ok") << r.Out.toStdString();
  EXPECT_EQ(rows[1].toObject().value("result").toString(), "failed") << r.Out.toStdString();
  EXPECT_TRUE(rows[1].toObject().value("message").toString().contains("Anmeldung fehlgeschlagen"))
      << r.Out.toStdString();
}

// ---- the shared pieces, on their own -----------------------------------------------------------

TEST(CliJsonPieces, TimesCarryTheOffsetOfTheirZone) {
  using namespace vanta;
  // 2001-09-09 01:46:40 UTC, in a zone 3.5 hours west: the evening before.
  const tmStamp_t utc{1000000000u, 250000000u};
  const time_tz_t west{-(3 * 3600 + 1800), false};
  EXPECT_EQ(cli::IsoFlaggedTime(utc, west), "2001-09-08T22:16:40.250-03:30");
  EXPECT_EQ(cli::IsoFlaggedTime(utc, west, false), "2001-09-08T22:16:40-03:30");
  // A stamp flagged as summer time in a zone that observes it: one hour more.
  const time_tz_t cet{3600, true};
  EXPECT_EQ(cli::IsoFlaggedTime({utc.Sec, CTSDstMask}, cet, false), "2001-09-09T03:46:40+02:00");
  EXPECT_EQ(cli::IsoFlaggedTime(utc, {}, false), "2001-09-09T01:46:40+00:00");
}

TEST(CliJsonPieces, CsvQuotesAsRfc4180AndKeepsThePoint) {
  EXPECT_EQ(vanta::cli::CsvLine({"plain", "a,b", "say \"hi\"", "x\ny"}),
            "plain,\"a,b\",\"say \"\"hi\"\"\",\"x\ny\"\r\n");
  // A comma locale changes nothing.
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(vanta::cli::CsvNumber(QJsonValue(1234.5)), "1234.5");
  EXPECT_EQ(vanta::cli::CsvNumber(QJsonValue(QJsonValue::Null)), QString());
  QLocale::setDefault(before);
}

TEST(CliJsonPieces, DeviceValuesGetTheirType) {
  using vanta::cli::TypedValue;
  EXPECT_EQ(TypedValue("4711"), QJsonValue(4711));
  EXPECT_TRUE(TypedValue("4711").isDouble());
  EXPECT_EQ(TypedValue("0.25"), QJsonValue(0.25));
  EXPECT_EQ(TypedValue("10.0.0.20"), QJsonValue("10.0.0.20"));
  EXPECT_EQ(TypedValue("nan"), QJsonValue("nan")) << "JSON has no NaN";
  const QJsonArray pairs = vanta::cli::NameValueArray({"slave1.requests=12", "eth0=127.0.0.1"});
  EXPECT_EQ(pairs[0].toObject().value("name").toString(), "slave1.requests");
  EXPECT_EQ(pairs[0].toObject().value("value").toInt(), 12);
  EXPECT_EQ(pairs[1].toObject().value("value").toString(), "127.0.0.1");
}

namespace {

// One command's document: exit 0, its schema, nothing on stderr, and the
// parsed object for a look at its values.
QJsonObject Documented(const TRun& r, const char* schema) {
  QJsonObject o;
  EXPECT_TRUE(Document(r, 0, QLatin1String(schema), o));
  EXPECT_TRUE(r.Err.isEmpty()) << schema << ": " << r.Err.toStdString();
  return o;
}

}  // namespace

// The smaller commands keep the same promises as the big ones: every
// document matches its schema, with numbers as numbers and times with the
// device's offset.
TEST_F(CliTest, SmallerCommandsMatchTheirSchemas) {
  const QRegularExpression deviceZone("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\+0[12]:00$");
  auto json = [this](QStringList args) { return Cli(QStringList{QStringLiteral("--json")} + args); };
  QJsonObject o = Documented(json({"clock"}), "clock");
  EXPECT_TRUE(deviceZone.match(o.value("deviceTime").toString()).hasMatch()) << "not UTC: the device's zone";
  o = Documented(json({"lua", "print(20+22)"}), "lua");
  EXPECT_EQ(o.value("output").toString().trimmed(), "42");
  o = Documented(json({"ntp", "--seconds", "1"}), "ntp");
  EXPECT_EQ(o.value("seconds").toInt(), 1);
  Documented(json({"pcap", "list"}), "pcap-list");
  for (const QStringList& args :
       {QStringList{"cert", "get", "--out", Data.filePath("cert.pem")}, QStringList{"devlog", Data.filePath("dev.log")},
        QStringList{"setup", "get", Data.filePath("setup.xml")},
        QStringList{"setup", "put", Data.filePath("setup.xml")}}) {
    SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
    o = Documented(json(args), "saved-file");
    EXPECT_TRUE(QFileInfo(o.value("file").toString()).isFile());
  }
  EXPECT_TRUE(ReadAll(Data.filePath("dev.log")).contains("device started"));
  WriteAll(Data.filePath("note.txt"), "hello");
  o = Documented(json({"scratchpad", "put", Data.filePath("note.txt")}), "scratchpad");
  EXPECT_EQ(o.value("name").toString(), "note.txt");
  EXPECT_EQ(ReadAll(Device("ccci/scratchpad/note.txt")), QByteArray("hello"));
  o = Documented(json({"scratchpad", "get", "note.txt", Data.filePath("back.txt")}), "scratchpad");
  EXPECT_EQ(ReadAll(o.value("file").toString()), QByteArray("hello"));
  o = Documented(json({"display", Data.filePath("d.png")}), "display");
  EXPECT_EQ(o.value("bytes").toInteger(), QFileInfo(Data.filePath("d.png")).size());
  EXPECT_TRUE(ReadAll(Data.filePath("d.png")).startsWith("\x89PNG"));

  // The store: downloaded, then browsed, exported and removed on the device.
  ASSERT_EQ(Cli({"--quiet", "readout", "download", "all"}).Exit, 0);
  o = Documented(json({"offline", "tree", "12345678"}), "offline-tree");
  EXPECT_FALSE(o.value("tree").toObject().value("children").toArray().isEmpty());
  const QString record = Data.filePath("12345678/Recorder/10T-12345678-1764892800-000.log");
  ASSERT_TRUE(QFile::exists(record));
  o = Documented(json({"record", "export", record, "--csv", Data.filePath("r.csv")}), "record-export");
  EXPECT_TRUE(QFile::exists(o.value("csv").toString()));
  const QString event = "12345678-1764896400-125.log";
  ASSERT_TRUE(QFile::exists(Device(QStringLiteral("events/") + event)));
  o = Documented(json({"readout", "rm", event}), "readout-rm");
  EXPECT_EQ(o.value("removed").toArray(), QJsonArray{event});
  EXPECT_FALSE(QFile::exists(Device(QStringLiteral("events/") + event)));

  // The mapping database: ids as numbers, a missing sub number as null.
  o = Documented(json({"mdb", "classes"}), "mdb-classes");
  ASSERT_FALSE(o.value("classes").toArray().isEmpty());
  const TRun r = json({"mdb", "values", "--modbus"});
  o = Documented(r, "mdb-values");
  const QJsonObject first = o.value("values").toArray().at(0).toObject();
  ASSERT_TRUE(first.value("vantaId").isDouble()) << r.Out.toStdString();
  const QString id = QString::number(first.value("vantaId").toInteger());
  o = Documented(json({"mdb", "search", id}), "mdb-values");
  EXPECT_FALSE(o.value("values").toArray().isEmpty());
  const TRun tree = json({"mdb", "tree", "--modbus", "--start", id});
  Documented(tree, "mdb-tree");
  EXPECT_TRUE(tree.Out.contains(QStringLiteral("\"id\":%1,").arg(id)) || tree.Out.contains(QStringLiteral("\"id\":%1}").arg(id)))
      << "the start id as a number";

  // The setup file's commands, offline.
  const QString setup = Data.filePath("s.xml");
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml"), setup));
  const QString icd = Data.filePath("st.icd");
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/station.icd"), icd));
  const TRun check = RunCli({"--json", "para", "check", setup});
  EXPECT_TRUE(MatchesSchema(check.Out, "para-check"));
  o = Documented(RunCli({"--json", "para", "mandatory", setup, "--out", Data.filePath("m.xml")}), "para-mandatory");
  EXPECT_EQ(o.value("saved").toString(), Data.filePath("m.xml"));
  o = Documented(RunCli({"--json", "para", "export", setup, "--format", "full", "--out", Data.filePath("e.xml")}),
                 "saved-file");
  EXPECT_TRUE(QFile::exists(Data.filePath("e.xml")));
  o = Documented(RunCli({"--json", "para", "icd", "rename", "B2", icd}), "para-icd");
  o = Documented(RunCli({"--json", "para", "icd", "show", icd}), "para-icd");
  EXPECT_EQ(o.value("icd").toObject().value("name").toString(), "B2");
  o = Documented(RunCli({"--json", "para", "icd", "apply", icd, setup, "--out", Data.filePath("ia.xml")}), "para-icd");
  EXPECT_FALSE(o.value("changed").toArray().isEmpty());
  EXPECT_TRUE(o.value("changed").toArray().at(0).isDouble());
  o = Documented(
      RunCli({"--json", "para", "import", setup, Data.filePath("ia.xml"), "--all", "--out", Data.filePath("mm.xml")}),
      "para-import");
  o = Documented(RunCli({"--json", "para", "reset", setup, "--out", Data.filePath("r.xml")}), "para-reset");
  EXPECT_GT(o.value("reset").toInt(), 0);
  o = Documented(RunCli({"--json", "para", "transformer", setup}), "para-transformer");
  const QJsonObject t = o.value("transformer").toObject();
  EXPECT_DOUBLE_EQ(t.value("voltageRatio").toDouble(), 100.0);
  EXPECT_EQ(t.value("currentFactors").toArray().size(), 4);
  EXPECT_EQ(t.value("networkForm").toString(), "fourWireThreePhase");
  // Its text stays as the device's names for people.
  EXPECT_TRUE(RunCli({"para", "transformer", setup}).Out.contains("NennSpannungLL\t"));
}

// --csv: the JSON document's rows for a spreadsheet; the header is the field
// names, every number with "." whatever the locale.
TEST_F(CliTest, CsvListsAreTheJsonRows) {
  for (const QString kind : {"events", "recordings"}) {
    SCOPED_TRACE(kind.toStdString());
    const TRun json = Cli({"--json", kind, "list"});
    QJsonObject o;
    ASSERT_TRUE(OneDocument(json, o));
    const QJsonArray items = o.value(kind).toArray();
    ASSERT_FALSE(items.isEmpty());
    const TRun csv = Cli({kind, "list", "--csv"});
    ASSERT_EQ(csv.Exit, 0) << csv.Err.toStdString();
    QString expected = "path,end,size\r\n";
    for (const QJsonValue& v : items) {
      const QJsonObject i = v.toObject();
      expected += i.value("path").toString() + QLatin1Char(',') + i.value("end").toString() + QLatin1Char(',') +
                  QString::number(i.value("size").toInteger()) + "\r\n";
    }
    EXPECT_EQ(csv.Out, expected);
    EXPECT_EQ(Cli({kind, "get", "--all", "--csv"}).Exit, 1) << "--csv only lists";
  }
  const QString file = Device("events/12345678-1764903600-375.log");
  const TRun json = RunCli({"--json", "record", "events", file});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(json, o));
  const QJsonArray events = o.value("events").toArray();
  ASSERT_FALSE(events.isEmpty());
  QProcessEnvironment german = QProcessEnvironment::systemEnvironment();
  german.insert("LC_ALL", "de_DE.UTF-8");
  german.insert("LANG", "de_DE.UTF-8");
  const TRun csv = RunCli({"record", "events", file, "--csv"}, 30000, german);
  ASSERT_EQ(csv.Exit, 0) << csv.Err.toStdString();
  const QStringList lines = csv.Out.split("\r\n");
  ASSERT_EQ(lines.size(), events.size() + 2) << csv.Out.toStdString();  // header, rows, "" after the last CR LF
  EXPECT_EQ(lines[0], "id,event,time,value,unit,harmonic,duration");
  const QJsonObject first = events[0].toObject();
  EXPECT_TRUE(lines[1].startsWith(QString::number(first.value("id").toInteger()) + QLatin1Char(',')))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(first.value("time").toString())) << lines[1].toStdString();
  if (first.value("value").isDouble()) {
    EXPECT_TRUE(lines[1].contains(QString::number(first.value("value").toDouble(), 'g', 10))) << lines[1].toStdString();
  }
}
