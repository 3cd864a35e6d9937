// The command line's promises to scripts: each exit code for the failure it
// names, with the error document on stdout and the message on stderr, and
// passwords that come from a file only the user can read.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QLocale>
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
