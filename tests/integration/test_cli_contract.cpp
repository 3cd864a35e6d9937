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
  EXPECT_EQ(r.Exit, code) << r.Out.toStdString() << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("error")));
  const QJsonObject error = o.value(QStringLiteral("error")).toObject();
  EXPECT_EQ(error.value(QStringLiteral("code")).toInt(), code);
  const QString message = error.value(QStringLiteral("message")).toString();
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
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("identify"), QStringLiteral("--frobnicate")});
  ExpectErrorDocument(r, 1, QStringLiteral("--frobnicate"));
}

TEST(CliContract, ExitOneForABrokenRecordFile) {
  QTemporaryDir dir;
  const QString broken = dir.filePath(QStringLiteral("broken.log"));
  WriteAll(broken, QByteArray("this is no record file\n").repeated(20));
  const TRun r = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("info"), broken});
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
  QStringList SimArgs() override { return {QStringLiteral("--bind"), QStringLiteral("::")}; }
};

TEST_F(CliIpv6Test, AnIpv6AddressIsReached) {
  for (const QString& host : {QStringLiteral("::1"), QStringLiteral("[::1]")}) {
    const TRun r = Cli({QStringLiteral("--host"), host, QStringLiteral("--json"), QStringLiteral("identify")});
    EXPECT_EQ(r.Exit, 0) << host.toStdString() << ": " << r.Err.toStdString();
    EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("identify"))) << host.toStdString();
  }
}

TEST(CliContract, ExitTwoWhenNothingListens) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
  const QString port = QString::number(probe.serverPort());
  probe.close();
  const TRun r = RunCli({QStringLiteral("--port"), port, QStringLiteral("--timeout"), QStringLiteral("3"), QStringLiteral("--json"),
                         QStringLiteral("identify")});
  EXPECT_EQ(r.Exit, 2);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("error")));
  EXPECT_EQ(o.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(), 2);
  EXPECT_TRUE(r.Err.contains(o.value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString()));
}

TEST_F(CliTest, ExitThreeForAFileTheDeviceDoesNotHave) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("scratchpad"), QStringLiteral("get"), QStringLiteral("missing.txt"),
                      Data.filePath(QStringLiteral("back.txt"))});
  ExpectErrorDocument(r, 3, QStringLiteral("scratchpad get missing.txt"));
  EXPECT_FALSE(QFile::exists(Data.filePath(QStringLiteral("back.txt"))));
}

TEST_F(CliTest, ExitThreeForAWrongPassword) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("--user"), QStringLiteral("operator"), QStringLiteral("--password"),
                      QStringLiteral("nope"), QStringLiteral("identify")});
  ExpectErrorDocument(r, 3, QStringLiteral("keinen Zugriff"));
}

TEST(CliContract, ExitFourForAValueTheEditorCorrected) {
  QTemporaryDir dir;
  const QString setup = dir.filePath(QStringLiteral("setup.xml"));
  // One float parameter from 45 to 65: 70 is stored as 65.
  WriteAll(setup, R"(<?xml version="1.0"?>
<config><device name="Sim"/><system><group name="sys" id="1">
  <group id="7">
    <parameter id="10"><visibility>0</visibility><editability>0</editability><type>float</type>
      <value>50</value><default>50</default><low>45</low><high>65</high></parameter>
  </group>
</group></system></config>)");
  const TRun r = RunCli({QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--json"), QStringLiteral("para"),
                         QStringLiteral("set"), setup, QStringLiteral("10@7=70"), QStringLiteral("--out"),
                         dir.filePath(QStringLiteral("out.xml"))});
  // A command that ran and did not do everything prints its normal
  // document with the item marked, not an error document.
  EXPECT_EQ(r.Exit, 4) << r.Out.toStdString() << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value(QStringLiteral("schemaVersion")).toInt(), 1);
  EXPECT_FALSE(MatchesSchema(r.Out, QStringLiteral("error"))) << "no error document for a corrected value";
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-set")));
  const QJsonArray inputs = o.value(QStringLiteral("inputs")).toArray();
  ASSERT_EQ(inputs.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(inputs[0].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("corrected"));
  EXPECT_EQ(inputs[0].toObject().value(QStringLiteral("stored")).toDouble(), 65.0) << r.Out.toStdString();
}

TEST_F(CliTest, ExitFiveWhenADownloadCannotBeStored) {
  // A folder below a plain file can never be made, not even by root.
  const QString blocker = Data.filePath(QStringLiteral("blocker"));
  WriteAll(blocker, "a file, not a folder");
  const TRun r = RunCli({QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"), blocker + QStringLiteral("/store"),
                         QStringLiteral("--quiet"), QStringLiteral("--json"), QStringLiteral("events"), QStringLiteral("get"),
                         QStringLiteral("12345678-1764903600-375.log")});
  ExpectErrorDocument(r, 5, QStringLiteral("12345678-1764903600-375.log"));
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("files-get")));
  const QJsonArray failed = o.value(QStringLiteral("failed")).toArray();
  ASSERT_EQ(failed.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(failed[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("12345678-1764903600-375.log"));
  EXPECT_EQ(o.value(QStringLiteral("events")).toArray()[0].toObject().value(QStringLiteral("result")).toString(),
            QStringLiteral("failed"));
}

// ---- passwords from a file -------------------------------------------------------------------

TEST_F(CliTest, PasswordFileLogsInLikeThePassword) {
  const QString file = Data.filePath(QStringLiteral("pw"));
  WriteMode(file, "operator\n", COwnerOnly);
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("--user"), QStringLiteral("operator"), QStringLiteral("--password-file"), file,
                QStringLiteral("identify")});
  ASSERT_EQ(r.Exit, 0) << r.Out.toStdString() << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("identify")));
  // The wrong one in the file is refused by the device, as on the command line.
  WriteMode(file, "nope\n", COwnerOnly);
  r = Cli({QStringLiteral("--json"), QStringLiteral("--user"), QStringLiteral("operator"), QStringLiteral("--password-file"), file,
           QStringLiteral("identify")});
  ExpectErrorDocument(r, 3, QStringLiteral("keinen Zugriff"));
}

TEST(CliContract, PasswordFileOthersCanReadIsRefused) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("pw"));
  WriteMode(file, "operator\n", COwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
  // Port 1: refused before any connection is tried.
  TRun r = RunCli({QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--json"), QStringLiteral("--user"),
                   QStringLiteral("operator"), QStringLiteral("--password-file"), file, QStringLiteral("identify")});
  ExpectErrorDocument(r, 1, QStringLiteral("chmod 600"));
  EXPECT_TRUE(r.Err.contains(QStringLiteral("644"))) << r.Err.toStdString();
  // Both ways at once is a mistake on the command line.
  ASSERT_TRUE(QFile::setPermissions(file, COwnerOnly));
  r = RunCli({QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--json"), QStringLiteral("--user"), QStringLiteral("operator"),
              QStringLiteral("--password"), QStringLiteral("operator"), QStringLiteral("--password-file"), file, QStringLiteral("identify")});
  ExpectErrorDocument(r, 1, QStringLiteral("--password and --password-file"));
  // A file that is not there.
  r = RunCli({QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--json"), QStringLiteral("--user"), QStringLiteral("operator"),
              QStringLiteral("--password-file"), dir.filePath(QStringLiteral("none")), QStringLiteral("identify")});
  ExpectErrorDocument(r, 1, QStringLiteral("no such file"));
}

TEST(CliContract, HostsJsonNamesPasswordFiles) {
  QTemporaryDir dir;
  const QString package = dir.filePath(QStringLiteral("fw.pkg"));
  WriteAll(package, "not read: the list is refused first");
  WriteMode(dir.filePath(QStringLiteral("open.pw")), "operator\n", COwnerOnly | QFileDevice::ReadOther);
  const QString hosts = dir.filePath(QStringLiteral("hosts.json"));
  const QStringList run{QStringLiteral("--json"), QStringLiteral("flash"), package, QStringLiteral("--hosts-json"), hosts,
                        QStringLiteral("--no-backup"), QStringLiteral("--run-id"), QStringLiteral("t1"),
                        QStringLiteral("--report"), dir.filePath(QStringLiteral("report.json"))};
  // A file others can read: the entry is refused, named by its place in the list.
  WriteAll(hosts, R"([{"host": "127.0.0.1", "port": 1, "user": "operator", "passwordFile": "open.pw"}])");
  TRun r = RunCli(run);
  ExpectErrorDocument(r, 1, QStringLiteral("Eintrag 1"));
  EXPECT_TRUE(r.Err.contains(QStringLiteral("chmod 600"))) << r.Err.toStdString();
  // Both a password and a file for one device.
  WriteAll(hosts, R"([{"host": "127.0.0.1", "port": 1, "user": "operator", "password": "x", "passwordFile": "open.pw"}])");
  r = RunCli(run);
  ExpectErrorDocument(r, 1, QStringLiteral("passwordFile"));
}

TEST(CliContract, HostsJsonPasswordFileLogsEachDeviceIn) {
  vanta::test::TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--reboot-ms"), QStringLiteral("300")}));
  QTemporaryDir dir;
  WriteMode(dir.filePath(QStringLiteral("right.pw")), "operator\n", COwnerOnly);
  WriteMode(dir.filePath(QStringLiteral("wrong.pw")), "nope\n", COwnerOnly);
  const QString hosts = dir.filePath(QStringLiteral("hosts.json"));
  // Relative names are found beside the list, wherever the command runs.
  WriteAll(hosts, QStringLiteral(R"([{"device": "Right", "host": "127.0.0.1", "port": %1, "user": "operator", "passwordFile": "right.pw"},
                                     {"device": "Wrong", "host": "127.0.0.1", "port": %1, "user": "operator", "passwordFile": "wrong.pw"}])")
                      .arg(sim.Port)
                      .toUtf8());
  const TRun r = RunCli({QStringLiteral("--data-dir"), dir.filePath(QStringLiteral("data")), QStringLiteral("--timeout"), QStringLiteral("5"),
                         QStringLiteral("--json"), QStringLiteral("flash"), vanta::test::GoodPackage(QDir(dir.path())),
                         QStringLiteral("--hosts-json"), hosts, QStringLiteral("--no-backup"), QStringLiteral("--run-id"),
                         QStringLiteral("P1"), QStringLiteral("--report"), dir.filePath(QStringLiteral("report.json"))},
                        90000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonArray rows = o.value(QStringLiteral("devices")).toArray();
  ASSERT_EQ(rows.size(), 2) << r.Out.toStdString();
  EXPECT_EQ(rows[0].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("ok")) << r.Out.toStdString();
  EXPECT_EQ(rows[1].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("failed")) << r.Out.toStdString();
  EXPECT_TRUE(rows[1].toObject().value(QStringLiteral("message")).toString().contains(QStringLiteral("Anmeldung fehlgeschlagen")))
      << r.Out.toStdString();
}

// ---- the shared pieces, on their own -----------------------------------------------------------

TEST(CliJsonPieces, TimesCarryTheOffsetOfTheirZone) {
  using namespace vanta;
  // 2001-09-09 01:46:40 UTC, in a zone 3.5 hours west: the evening before.
  const tmStamp_t utc{1000000000u, 250000000u};
  const time_tz_t west{-(3 * 3600 + 1800), false};
  EXPECT_EQ(cli::IsoFlaggedTime(utc, west), QStringLiteral("2001-09-08T22:16:40.250-03:30"));
  EXPECT_EQ(cli::IsoFlaggedTime(utc, west, false), QStringLiteral("2001-09-08T22:16:40-03:30"));
  // A stamp flagged as summer time in a zone that observes it: one hour more.
  const time_tz_t cet{3600, true};
  EXPECT_EQ(cli::IsoFlaggedTime({utc.Sec, CTSDstMask}, cet, false), QStringLiteral("2001-09-09T03:46:40+02:00"));
  EXPECT_EQ(cli::IsoFlaggedTime(utc, {}, false), QStringLiteral("2001-09-09T01:46:40+00:00"));
}

TEST(CliJsonPieces, CsvQuotesAsRfc4180AndKeepsThePoint) {
  EXPECT_EQ(vanta::cli::CsvLine({QStringLiteral("plain"), QStringLiteral("a,b"), QStringLiteral("say \"hi\""), QStringLiteral("x\ny")}),
            QStringLiteral("plain,\"a,b\",\"say \"\"hi\"\"\",\"x\ny\"\r\n"));
  // A comma locale changes nothing.
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(vanta::cli::CsvNumber(QJsonValue(1234.5)), QStringLiteral("1234.5"));
  EXPECT_EQ(vanta::cli::CsvNumber(QJsonValue(QJsonValue::Null)), QString());
  QLocale::setDefault(before);
}

TEST(CliJsonPieces, DeviceValuesGetTheirType) {
  using vanta::cli::TypedValue;
  EXPECT_EQ(TypedValue(QStringLiteral("4711")), QJsonValue(4711));
  EXPECT_TRUE(TypedValue(QStringLiteral("4711")).isDouble());
  EXPECT_EQ(TypedValue(QStringLiteral("0.25")), QJsonValue(0.25));
  EXPECT_EQ(TypedValue(QStringLiteral("10.0.0.20")), QJsonValue(QStringLiteral("10.0.0.20")));
  EXPECT_EQ(TypedValue(QStringLiteral("nan")), QJsonValue(QStringLiteral("nan"))) << "JSON has no NaN";
  const QJsonArray pairs = vanta::cli::NameValueArray({QStringLiteral("slave1.requests=12"), QStringLiteral("eth0=127.0.0.1")});
  EXPECT_EQ(pairs[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("slave1.requests"));
  EXPECT_EQ(pairs[0].toObject().value(QStringLiteral("value")).toInt(), 12);
  EXPECT_EQ(pairs[1].toObject().value(QStringLiteral("value")).toString(), QStringLiteral("127.0.0.1"));
}

namespace {

// One command's document: exit 0, its schema, and the parsed object for a
// look at its values.
QJsonObject Documented(const TRun& r, const char* schema) {
  EXPECT_EQ(r.Exit, 0) << schema << ": " << r.Out.toStdString() << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QLatin1String(schema)));
  QJsonObject o;
  EXPECT_TRUE(OneDocument(r, o)) << schema;
  return o;
}

}  // namespace

// The smaller commands keep the same promises as the big ones: every
// document matches its schema, with numbers as numbers and times with the
// device's offset.
TEST_F(CliTest, SmallerCommandsMatchTheirSchemas) {
  const QRegularExpression deviceZone(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\+0[12]:00$"));
  auto json = [this](QStringList args) { return Cli(QStringList{QStringLiteral("--json")} + args); };
  QJsonObject o = Documented(json({QStringLiteral("clock")}), "clock");
  EXPECT_TRUE(deviceZone.match(o.value(QStringLiteral("deviceTime")).toString()).hasMatch()) << "not UTC: the device's zone";
  o = Documented(json({QStringLiteral("lua"), QStringLiteral("print(20+22)")}), "lua");
  EXPECT_EQ(o.value(QStringLiteral("output")).toString().trimmed(), QStringLiteral("42"));
  o = Documented(json({QStringLiteral("ntp"), QStringLiteral("--seconds"), QStringLiteral("1")}), "ntp");
  EXPECT_EQ(o.value(QStringLiteral("seconds")).toInt(), 1);
  Documented(json({QStringLiteral("pcap"), QStringLiteral("list")}), "pcap-list");
  for (const QStringList& args : {QStringList{QStringLiteral("cert"), QStringLiteral("get"), QStringLiteral("--out"), Data.filePath(QStringLiteral("cert.pem"))},
                                  QStringList{QStringLiteral("devlog"), Data.filePath(QStringLiteral("dev.log"))},
                                  QStringList{QStringLiteral("setup"), QStringLiteral("get"), Data.filePath(QStringLiteral("setup.xml"))},
                                  QStringList{QStringLiteral("setup"), QStringLiteral("put"), Data.filePath(QStringLiteral("setup.xml"))}}) {
    SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
    o = Documented(json(args), "saved-file");
    EXPECT_TRUE(QFileInfo(o.value(QStringLiteral("file")).toString()).isFile());
  }
  WriteAll(Data.filePath(QStringLiteral("note.txt")), "hello");
  o = Documented(json({QStringLiteral("scratchpad"), QStringLiteral("put"), Data.filePath(QStringLiteral("note.txt"))}), "scratchpad");
  EXPECT_EQ(o.value(QStringLiteral("name")).toString(), QStringLiteral("note.txt"));
  o = Documented(json({QStringLiteral("scratchpad"), QStringLiteral("get"), QStringLiteral("note.txt"), Data.filePath(QStringLiteral("back.txt"))}),
                 "scratchpad");
  EXPECT_EQ(ReadAll(o.value(QStringLiteral("file")).toString()), QByteArray("hello"));
  o = Documented(json({QStringLiteral("display"), Data.filePath(QStringLiteral("d.png"))}), "display");
  EXPECT_EQ(o.value(QStringLiteral("bytes")).toInteger(), QFileInfo(Data.filePath(QStringLiteral("d.png"))).size());

  // The store: downloaded, then browsed, exported and removed on the device.
  ASSERT_EQ(Cli({QStringLiteral("--quiet"), QStringLiteral("readout"), QStringLiteral("download"), QStringLiteral("all")}).Exit, 0);
  o = Documented(json({QStringLiteral("offline"), QStringLiteral("tree"), QStringLiteral("12345678")}), "offline-tree");
  EXPECT_FALSE(o.value(QStringLiteral("tree")).toObject().value(QStringLiteral("children")).toArray().isEmpty());
  const QString record = Data.filePath(QStringLiteral("12345678/Recorder/10T-12345678-1764892800-000.log"));
  ASSERT_TRUE(QFile::exists(record));
  o = Documented(json({QStringLiteral("record"), QStringLiteral("export"), record, QStringLiteral("--csv"), Data.filePath(QStringLiteral("r.csv"))}),
                 "record-export");
  EXPECT_TRUE(QFile::exists(o.value(QStringLiteral("csv")).toString()));
  const QString event = QStringLiteral("12345678-1764896400-125.log");
  ASSERT_TRUE(QFile::exists(Device(QStringLiteral("events/") + event)));
  o = Documented(json({QStringLiteral("readout"), QStringLiteral("rm"), event}), "readout-rm");
  EXPECT_EQ(o.value(QStringLiteral("removed")).toArray(), QJsonArray{event});
  EXPECT_FALSE(QFile::exists(Device(QStringLiteral("events/") + event)));

  // The mapping database: ids as numbers, a missing sub number as null.
  o = Documented(json({QStringLiteral("mdb"), QStringLiteral("classes")}), "mdb-classes");
  ASSERT_FALSE(o.value(QStringLiteral("classes")).toArray().isEmpty());
  const TRun r = json({QStringLiteral("mdb"), QStringLiteral("values"), QStringLiteral("--modbus")});
  o = Documented(r, "mdb-values");
  const QJsonObject first = o.value(QStringLiteral("values")).toArray().at(0).toObject();
  ASSERT_TRUE(first.value(QStringLiteral("vantaId")).isDouble()) << r.Out.toStdString();
  const QString id = QString::number(first.value(QStringLiteral("vantaId")).toInteger());
  o = Documented(json({QStringLiteral("mdb"), QStringLiteral("search"), id}), "mdb-values");
  EXPECT_FALSE(o.value(QStringLiteral("values")).toArray().isEmpty());
  const TRun tree = json({QStringLiteral("mdb"), QStringLiteral("tree"), QStringLiteral("--modbus"), QStringLiteral("--start"), id});
  Documented(tree, "mdb-tree");
  EXPECT_TRUE(tree.Out.contains(QStringLiteral("\"id\":%1,").arg(id)) || tree.Out.contains(QStringLiteral("\"id\":%1}").arg(id)))
      << "the start id as a number";

  // The setup file's commands, offline.
  const QString setup = Data.filePath(QStringLiteral("s.xml"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml"), setup));
  const QString icd = Data.filePath(QStringLiteral("st.icd"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/station.icd"), icd));
  const TRun check = RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("check"), setup});
  EXPECT_TRUE(MatchesSchema(check.Out, QStringLiteral("para-check")));
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("mandatory"), setup, QStringLiteral("--out"),
                         Data.filePath(QStringLiteral("m.xml"))}),
                 "para-mandatory");
  EXPECT_EQ(o.value(QStringLiteral("saved")).toString(), Data.filePath(QStringLiteral("m.xml")));
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("export"), setup, QStringLiteral("--format"),
                         QStringLiteral("full"), QStringLiteral("--out"), Data.filePath(QStringLiteral("e.xml"))}),
                 "saved-file");
  EXPECT_TRUE(QFile::exists(Data.filePath(QStringLiteral("e.xml"))));
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("rename"), QStringLiteral("B2"), icd}),
                 "para-icd");
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("show"), icd}), "para-icd");
  EXPECT_EQ(o.value(QStringLiteral("icd")).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("B2"));
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("apply"), icd, setup,
                         QStringLiteral("--out"), Data.filePath(QStringLiteral("ia.xml"))}),
                 "para-icd");
  EXPECT_FALSE(o.value(QStringLiteral("changed")).toArray().isEmpty());
  EXPECT_TRUE(o.value(QStringLiteral("changed")).toArray().at(0).isDouble());
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("import"), setup, Data.filePath(QStringLiteral("ia.xml")),
                         QStringLiteral("--all"), QStringLiteral("--out"), Data.filePath(QStringLiteral("mm.xml"))}),
                 "para-import");
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("reset"), setup, QStringLiteral("--out"),
                         Data.filePath(QStringLiteral("r.xml"))}),
                 "para-reset");
  EXPECT_GT(o.value(QStringLiteral("reset")).toInt(), 0);
  o = Documented(RunCli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("transformer"), setup}), "para-transformer");
  const QJsonObject t = o.value(QStringLiteral("transformer")).toObject();
  EXPECT_DOUBLE_EQ(t.value(QStringLiteral("voltageRatio")).toDouble(), 100.0);
  EXPECT_EQ(t.value(QStringLiteral("currentFactors")).toArray().size(), 4);
  EXPECT_EQ(t.value(QStringLiteral("networkForm")).toString(), QStringLiteral("fourWireThreePhase"));
  // Its text stays as the device's names for people.
  EXPECT_TRUE(RunCli({QStringLiteral("para"), QStringLiteral("transformer"), setup}).Out.contains(QStringLiteral("NennSpannungLL\t")));
}

// --csv: the JSON document's rows for a spreadsheet; the header is the field
// names, every number with "." whatever the locale.
TEST_F(CliTest, CsvListsAreTheJsonRows) {
  for (const QString& kind : {QStringLiteral("events"), QStringLiteral("recordings")}) {
    SCOPED_TRACE(kind.toStdString());
    const TRun json = Cli({QStringLiteral("--json"), kind, QStringLiteral("list")});
    QJsonObject o;
    ASSERT_TRUE(OneDocument(json, o));
    const QJsonArray items = o.value(kind).toArray();
    ASSERT_FALSE(items.isEmpty());
    const TRun csv = Cli({kind, QStringLiteral("list"), QStringLiteral("--csv")});
    ASSERT_EQ(csv.Exit, 0) << csv.Err.toStdString();
    QString expected = QStringLiteral("path,end,size\r\n");
    for (const QJsonValue& v : items) {
      const QJsonObject i = v.toObject();
      expected += i.value(QStringLiteral("path")).toString() + QLatin1Char(',') + i.value(QStringLiteral("end")).toString() + QLatin1Char(',') +
                  QString::number(i.value(QStringLiteral("size")).toInteger()) + QStringLiteral("\r\n");
    }
    EXPECT_EQ(csv.Out, expected);
    EXPECT_EQ(Cli({kind, QStringLiteral("get"), QStringLiteral("--all"), QStringLiteral("--csv")}).Exit, 1) << "--csv only lists";
  }
  const QString file = Device(QStringLiteral("events/12345678-1764903600-375.log"));
  const TRun json = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("events"), file});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(json, o));
  const QJsonArray events = o.value(QStringLiteral("events")).toArray();
  ASSERT_FALSE(events.isEmpty());
  QProcessEnvironment german = QProcessEnvironment::systemEnvironment();
  german.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
  german.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
  const TRun csv = RunCli({QStringLiteral("record"), QStringLiteral("events"), file, QStringLiteral("--csv")}, 30000, german);
  ASSERT_EQ(csv.Exit, 0) << csv.Err.toStdString();
  const QStringList lines = csv.Out.split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), events.size() + 2) << csv.Out.toStdString();  // header, rows, "" after the last CR LF
  EXPECT_EQ(lines[0], QStringLiteral("id,event,time,value,unit,harmonic,duration"));
  const QJsonObject first = events[0].toObject();
  EXPECT_TRUE(lines[1].startsWith(QString::number(first.value(QStringLiteral("id")).toInteger()) + QLatin1Char(','))) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(first.value(QStringLiteral("time")).toString())) << lines[1].toStdString();
  if (first.value(QStringLiteral("value")).isDouble()) {
    EXPECT_TRUE(lines[1].contains(QString::number(first.value(QStringLiteral("value")).toDouble(), 'g', 10))) << lines[1].toStdString();
  }
}
