// vanta-cli flash against simulated devices: one device over TCP and SSH,
// the failure paths, and the mass update with its report.
#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpServer>

#include "CliSupport.h"
#include "FlashPackages.h"
#include "MassFlash.h"
#include "TestSupport.h"

namespace vanta::test::cli {
namespace {

QStringList FlashArgs(const QString& pkg, const QStringList& more = {}) {
  return QStringList{"--json", "flash", pkg} + more;
}

class CliFlashTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--reboot-ms", "300"}; }
  QString Scratch(const QString& name) const { return Device(QStringLiteral("ccci/scratchpad/") + name); }
  QString DeviceLog() const { return QString::fromUtf8(ReadAll(Device("logd.log"))); }
  QTemporaryDir Pkgs;
};

TEST_F(CliFlashTest, UpdatesBacksUpAndComesBackWithThePackagesVersion) {
  const QString pkg = GoodPackage(QDir(Pkgs.path()));
  ASSERT_TRUE(QDir(Pkgs.path()).mkdir("saved"));
  const QString backup = Pkgs.filePath("saved/para.xml");
  const TRun r = Cli(FlashArgs(pkg, {"--backup", backup}), 60000);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "flash", o));
  EXPECT_EQ(o["result"].toString(), "ok");
  EXPECT_EQ(o["firmwareBefore"].toString(), "2.10.0");
  EXPECT_EQ(o["firmwareAfter"].toString(), "2.11.0");
  EXPECT_EQ(o["packageVersion"].toString(), "2.11.0");
  EXPECT_EQ(o["backupFile"].toString(), backup);
  EXPECT_TRUE(o["serial"].isDouble()) << "a number, not a text";
  EXPECT_EQ(o["serial"].toInteger(), 12345678);
  // The run's times with their offset, and its length in seconds between them.
  const QDateTime start = QDateTime::fromString(o["start"].toString(), Qt::ISODate);
  const QDateTime end = QDateTime::fromString(o["end"].toString(), Qt::ISODate);
  ASSERT_TRUE(start.isValid() && end.isValid()) << r.Out.toStdString();
  EXPECT_NEAR(o["duration"].toDouble(-1), start.msecsTo(end) / 1000.0, 1.0);
  EXPECT_GT(o["duration"].toDouble(), 0.2) << "the restart alone takes 0.3 s";
  EXPECT_TRUE(ReadAll(backup).contains("<")) << "the backup is the device's parameter set";
  // Upload in archive order, the change log stays here.
  QStringList sent;
  for (const QJsonValue& v : o["log"].toArray())
    if (v.toString().startsWith(QLatin1String("SendTo="))) sent << QFileInfo(v.toString().mid(7)).fileName();
  EXPECT_EQ(sent, (QStringList{"fw.tgz", "extra.bin"}));
  EXPECT_TRUE(QFile::exists(Scratch("extra.bin")));
  EXPECT_FALSE(QFile::exists(Scratch("readme.txt")));
  EXPECT_TRUE(DeviceLog().contains(QLatin1String("fwUpdate ~/fw.tgz: No Error -> 2.11.0")));
  EXPECT_TRUE(DeviceLog().contains(QLatin1String("device restarted, firmware 2.11.0")));
}

// A package that cannot be an update (no firmware, a name leaving the data
// folder, no version, a cut firmware archive) is refused with its reason
// before anything is sent.
TEST_F(CliFlashTest, ABadPackageUploadsNothing) {
  QByteArray noVersion;
  ASSERT_TRUE(TarGzPack({{"rootfs.img", "x"}}, noVersion).isEmpty());
  const QByteArray whole = FirmwareTgz("2.11.0", 64 * 1024);
  const char* invalid = "Die Updatedatei scheint ungültig zu sein! (";
  const QList<std::pair<QString, const char*>> cases = {
      {WritePackage(Pkgs.filePath("t.zip"), {{"readme.txt", "nur Text"}}), invalid},
      {WritePackage(Pkgs.filePath("e.zip"), {{"fw.tgz", FirmwareTgz("2.11.0")}, {"../../evil.bin", "x"}}), invalid},
      {WritePackage(Pkgs.filePath("n.zip"), {{"fw.tgz", noVersion}}), "Das Updatepaket nennt keine Firmwareversion"},
      {WritePackage(Pkgs.filePath("c.zip"), {{"fw.tgz", whole.left(whole.size() / 2)}}),
       "Das Firmwarearchiv fw.tgz im Updatepaket ist nicht lesbar"}};
  for (const auto& [pkg, reason] : cases) {
    SCOPED_TRACE(pkg.toStdString());
    const TRun r = Cli(FlashArgs(pkg, {"--no-backup"}));
    QJsonObject o;
    ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
    EXPECT_EQ(r.Exit, 1) << "a bad package is the operator's to fix, not the device's refusal";
    const QString message = o["error"].toObject()["message"].toString();
    EXPECT_TRUE(message.startsWith(QString::fromUtf8(reason))) << message.toStdString();
  }
  EXPECT_FALSE(QFile::exists(Scratch("fw.tgz")));
  EXPECT_FALSE(QFile::exists(Scratch("readme.txt")));
  EXPECT_FALSE(QFile::exists(QDir(Data.path()).filePath("evil.bin")));
  EXPECT_FALSE(DeviceLog().contains(QLatin1String("fwUpdate")));
}

// A listener that only notes who knocks: what must be checked before any
// connection is seen to be checked before it.
struct TKnockCounter {
  QTcpServer Server;
  TKnockCounter() { Server.listen(QHostAddress::LocalHost); }
  QStringList Args() const { return {"--port", QString::number(Server.serverPort())}; }
  bool Knocked() { return Server.waitForNewConnection(300); }
};

// Every check of the package reader runs before the device is asked
// anything, and its reason reaches the operator in plain output too.
TEST(CliFlashLocal, ABadPackageIsRefusedWithItsReasonBeforeConnecting) {
  QTemporaryDir d;
  const QString spaced = WritePackage(d.filePath("badname.zip"), {{"FW 2.11.tgz", FirmwareTgz("2.11.0")}});
  const QString notZip = d.filePath("notzip.zip");
  WriteAll(notZip, "kein Archiv");
  const QString noFirmware = WritePackage(d.filePath("t.zip"), {{"readme.txt", "nur Text"}});
  for (const auto& [pkg, reason] : {std::pair{spaced, QStringLiteral("Eintrag »FW 2.11.tgz«: Name nicht zulässig")},
                                    std::pair{notZip, QString()}, std::pair{noFirmware, QStringLiteral(".tgz")}}) {
    SCOPED_TRACE(pkg.toStdString());
    TKnockCounter device;
    ASSERT_TRUE(device.Server.isListening());
    const TRun r = RunCli(device.Args() + QStringList{"--data-dir", d.path(), "flash", pkg, "--no-backup"});
    EXPECT_EQ(r.Exit, 1) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("Die Updatedatei scheint ungültig zu sein! ("))
        << "with its reason: " << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(reason)) << r.Err.toStdString();
    EXPECT_FALSE(device.Knocked()) << "the package was judged before the device was asked";
  }
}

// A backup the operator asked for is storable before the device is touched:
// a folder that is not there is not made, a folder that takes no file stops
// the update as "not stored".
TEST(CliFlashLocal, ABackupThatCannotBeStoredStopsTheUpdateBeforeConnecting) {
  QTemporaryDir d;
  const QString pkg = GoodPackage(QDir(d.path()));
  const QString missing = d.filePath("missing");
  TKnockCounter device;
  TRun r = RunCli(device.Args() +
                  QStringList{"--data-dir", d.filePath("data"), "flash", pkg, "--backup", missing + "/bk.xml"});
  EXPECT_EQ(r.Exit, 1) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains(missing)) << r.Err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(missing)) << "no folder the operator did not make";
  EXPECT_FALSE(device.Knocked());

  r = RunCli(device.Args() + QStringList{"--data-dir", d.filePath("data"), "flash", pkg, "--backup", "/proc/bk.xml"});
  EXPECT_EQ(r.Exit, 5) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("/proc/bk.xml")) << r.Err.toStdString();
  EXPECT_FALSE(device.Knocked());
}

class CliFlashFaultTest : public CliFlashTest, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
 protected:
  QStringList SimArgs() override { return {"--reboot-ms", "300", QString::fromLatin1(GetParam().first)}; }
};

TEST_P(CliFlashFaultTest, EndsWithItsMessage) {
  const TRun r = Cli(FlashArgs(GoodPackage(QDir(Pkgs.path())), {"--no-backup", "--comeback-grace", "0"}), 60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(MatchesSchema(r.Out, "flash"));
  EXPECT_EQ(o["error"].toObject()["code"].toInt(), r.Exit);
  EXPECT_EQ(o["result"].toString(), "failed");
  EXPECT_TRUE(o["message"].toString().contains(QString::fromUtf8(GetParam().second))) << o["message"].toString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFlashFaultTest,
    ::testing::Values(std::pair{"--fault=nak-scratchpad", "Fehler beim Hochladen der Firmware"},
                      std::pair{"--fault=scratchpad-quota=2000", "Fehler beim Hochladen der Firmware"},
                      std::pair{"--fw-fail=4", "Not enough space for the update"},
                      std::pair{"--fault=fw-keep-version", "Firmware 2.10.0 statt 2.11.0"}),
    [](const auto& info) {
      QString n = QString::fromLatin1(info.param.first).mid(2);
      n.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
      return n.toStdString();
    });

class CliFlashLongInstallTest : public CliFlashTest {
 protected:
  QStringList SimArgs() override { return {"--fw-install-ms", "4000"}; }
};

// The device is still installing when the waiting ends: no verdict, and
// never the failure text.
TEST_F(CliFlashLongInstallTest, AnUpdateCallThatOutlastsTheWaitHasAnUnknownResult) {
  const TRun r = Cli(FlashArgs(GoodPackage(QDir(Pkgs.path())), {"--no-backup", "--step-timeout", "1"}), 60000);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 2, "flash", o));
  EXPECT_EQ(o["result"].toString(), "unknown");
  EXPECT_EQ(o["message"].toString(), "Ergebnis unbekannt – bitte Gerät prüfen");
  EXPECT_EQ(o["error"].toObject()["code"].toInt(), 2);
  EXPECT_TRUE(o["firmwareAfter"].isNull()) << "no version without a verdict";
  EXPECT_FALSE(r.Out.contains(QLatin1String("nicht erfolgreich")));
  EXPECT_TRUE(SpinUntil([&] { return DeviceLog().contains(QLatin1String("fwUpdate ~/fw.tgz: No Error -> 2.11.0")); }, 10000))
      << "the install ran to its end";
}

// The device takes its time to come back; the version check waits for it
// far beyond half a minute unless told otherwise.
TEST(MassFlashRunner, AnUpdateCallWithoutAnswerInTimeLeavesTheRowUnknown) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--fw-install-ms", "5000"}));
  QTemporaryDir d;
  TMassFlash run;
  TMassOptions o;
  o.Package = GoodPackage(QDir(d.path()));
  o.DataDir = d.filePath("data");
  o.UpdateTimeoutMs = 1500;
  TMassTarget t;
  t.Host = "127.0.0.1";
  t.Port = sim.Port;
  qint64 longestWait = -1;
  run.OnRow = [&](int i) {
    if (run.Rows()[i].State == TMassState::msUpdate) longestWait = qMax(longestWait, run.Rows()[i].WaitingMs);
  };
  QString e;
  ASSERT_TRUE(run.Start(o, {t}, e)) << e.toStdString();
  ASSERT_TRUE(SpinUntil([&] { return !run.Running(); }, 30000));
  EXPECT_EQ(run.Rows()[0].Result, "unknown");
  EXPECT_EQ(run.Rows()[0].State, TMassState::msUnknown);
  EXPECT_TRUE(run.Rows()[0].Message.startsWith("Ergebnis unbekannt – bitte Gerät prüfen"))
      << run.Rows()[0].Message.toStdString();
  EXPECT_GT(longestWait, 500) << "the row told how long it had waited";
  EXPECT_EQ(run.SummaryText(), "0 von 1 Geräten aktualisiert, 1 Ergebnis unbekannt");
  EXPECT_EQ(run.ReportJson()["summary"].toObject()["unknown"].toInt(), 1);
}

class CliFlashNoComebackTest : public CliFlashTest {
 protected:
  QStringList SimArgs() override { return {"--reboot-ms", "60000"}; }
};

TEST_F(CliFlashNoComebackTest, ADeviceThatStaysAwayIsReportedNotWaitedForForever) {
  const TRun r = Cli(FlashArgs(GoodPackage(QDir(Pkgs.path())), {"--no-backup", "--comeback-timeout", "2"}), 30000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 2);
  EXPECT_EQ(o["result"].toString(), "unknown");
  EXPECT_EQ(o["message"].toString(), "Ergebnis unbekannt – bitte Gerät prüfen");
  EXPECT_TRUE(o["warnings"].toArray().contains("Gerät nach dem Neustart nicht erreichbar"));
}

class CliFlashStallTest : public CliFlashTest {
 protected:
  QStringList SimArgs() override { return {"--fault", "stall=7"}; }
};

TEST_F(CliFlashStallTest, AnUploadTheDeviceNeverAcknowledgesEndsTheJob) {
  const TRun r = Cli(FlashArgs(GoodPackage(QDir(Pkgs.path())), {"--no-backup", "--step-timeout", "2"}), 60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 3);
  EXPECT_EQ(o["message"].toString(), "Fehler beim Hochladen der Firmware (keine Antwort vom Gerät)");
}

class CliFlashSshTest : public CliFlashTest {
 protected:
  QStringList SimArgs() override { return {"--ssh-port", "0", "--reboot-ms", "300"}; }
};

TEST_F(CliFlashSshTest, TheDevicesNoErrorTextDecidesOverSsh) {
  const QString pkg = GoodPackage(QDir(Pkgs.path()));
  const TRun r = Cli(Ssh("operator", "operator") + FlashArgs(pkg, {"--no-backup"}), 60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(o["result"].toString(), "ok") << o["message"].toString().toStdString();
  EXPECT_EQ(o["firmwareAfter"].toString(), "2.11.0");
  EXPECT_TRUE(o["backupFile"].isNull()) << "--no-backup";
}

TEST_F(CliFlashSshTest, AUserWithoutThePrintRightIsStoppedBeforeTheUpload) {
  const TRun r = Cli(Ssh("guest", "guest") + FlashArgs(GoodPackage(QDir(Pkgs.path())), {"--no-backup"}));
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 3);
  EXPECT_EQ(o["result"].toString(), "failed");
  EXPECT_FALSE(QFile::exists(Scratch("fw.tgz")));
}

// Three devices, the second refuses the update, one address answers nothing.
TEST(CliMassFlash, ReportsEveryDeviceAndRetriesTheFailedOnes) {
  TSimProcess good1, bad, good2;
  ASSERT_TRUE(good1.Start({"--serial-number", "1001", "--reboot-ms", "300"}));
  ASSERT_TRUE(bad.Start({"--serial-number", "1002", "--fw-fail", "3"}));
  ASSERT_TRUE(good2.Start({"--serial-number", "1003", "--reboot-ms", "300"}));
  QTemporaryDir d;
  QTcpServer closed;  // a port nobody answers on once it is closed again
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const quint16 deadPort = closed.serverPort();
  closed.close();
  const QString hosts = QStringLiteral("127.0.0.1:%1 Nord\n127.0.0.1:%2 Mitte\n127.0.0.1:%3 Sued\n127.0.0.1:%4 Weg\n");
  WriteAll(d.filePath("hosts.txt"), hosts.arg(good1.Port).arg(bad.Port).arg(good2.Port).arg(deadPort).toUtf8());
  const QString pkg = GoodPackage(QDir(d.path()));
  const QString report = d.filePath("out/report.json");
  ASSERT_TRUE(QDir(d.path()).mkpath("out"));
  const QStringList common{"--data-dir",   d.filePath("data"), "--timeout", "5",  "--json",     "flash", pkg,
                           "--backup-dir", d.filePath("bk"),   "--run-id",  "R7", "--parallel", "2",     "--report",
                           report};
  const TRun r = RunCli(common + QStringList{"--hosts", d.filePath("hosts.txt")}, 90000);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 3, "flash-run", o));
  EXPECT_EQ(o["runId"].toString(), "R7");
  EXPECT_EQ(o["packageVersion"].toString(), "2.11.0");
  EXPECT_EQ(o["parallel"].toInt(), 2);
  EXPECT_EQ(o["summary"].toObject()["total"].toInt(), 4);
  EXPECT_EQ(o["summary"].toObject()["updated"].toInt(), 2);
  const QJsonArray rows = o["devices"].toArray();
  ASSERT_EQ(rows.size(), 4);
  auto row = [&](int i) { return rows[i].toObject(); };
  EXPECT_EQ(row(0)["result"].toString(), "ok");
  EXPECT_EQ(row(0)["firmwareAfter"].toString(), "2.11.0");
  EXPECT_TRUE(row(0)["serial"].isDouble()) << "a number, not a text";
  EXPECT_EQ(row(0)["serial"].toInteger(), 1001);
  EXPECT_EQ(row(0)["port"].toInt(), good1.Port);
  EXPECT_GT(row(0)["duration"].toDouble(), 0.0);
  EXPECT_TRUE(QDateTime::fromString(row(0)["start"].toString(), Qt::ISODate).isValid());
  EXPECT_EQ(QFileInfo(row(0)["backupFile"].toString()).fileName(), "1001_127.0.0.1_R7_Vanta Sim.xml");
  EXPECT_TRUE(QFile::exists(row(0)["backupFile"].toString()));
  EXPECT_EQ(row(1)["result"].toString(), "failed");
  EXPECT_TRUE(row(1)["message"].toString().startsWith(QLatin1String("Update fehlgeschlagen"))) << row(1)["message"].toString().toStdString();
  EXPECT_EQ(row(1)["firmwareBefore"].toString(), "2.10.0");
  EXPECT_TRUE(row(1)["firmwareAfter"].isNull());
  EXPECT_EQ(row(2)["result"].toString(), "ok");
  EXPECT_EQ(row(3)["result"].toString(), "failed");
  EXPECT_TRUE(row(3)["message"].toString().startsWith(QLatin1String("Keine Verbindung")));
  EXPECT_TRUE(row(3)["serial"].isNull()) << "the device never identified";
  // The same rows on disk, in the same shape, and the CSV beside them.
  EXPECT_EQ(QJsonDocument::fromJson(ReadAll(report)).object()["devices"].toArray(), rows);
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(ReadAll(report)), "flash-run"));
  const QString csvText = QString::fromUtf8(ReadAll(d.filePath("out/report.csv")));
  const QStringList csv = csvText.split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(csv.size(), 5) << csvText.toStdString();
  EXPECT_EQ(csv[0], "device,serial,ip,firmwareBefore,firmwareAfter,backupFile,result,message,start,end,duration")
      << "the JSON names as the header";
  EXPECT_TRUE(csv[2].startsWith(QLatin1String("Mitte,1002,127.0.0.1,2.10.0,,"))) << csv[2].toStdString();
  EXPECT_TRUE(csv[2].contains(QLatin1String(",failed,"))) << csv[2].toStdString();

  // Only the two failed devices run again.
  const TRun again = RunCli(common + QStringList{"--retry-from", report}, 90000);
  ASSERT_TRUE(OneDocument(again, o)) << again.Err.toStdString();
  const QJsonArray second = o["devices"].toArray();
  ASSERT_EQ(second.size(), 2);
  EXPECT_EQ(second[0].toObject()["device"].toString(), "Mitte");
  EXPECT_EQ(second[1].toObject()["device"].toString(), "Weg");
}

// Reports written before the keys became camelCase still name the devices
// to run again.
TEST(CliMassFlash, RetriesFromAReportWithTheOlderKeys) {
  TSimProcess again, done;
  ASSERT_TRUE(again.Start({"--serial-number", "2002", "--reboot-ms", "300"}));
  ASSERT_TRUE(done.Start({"--serial-number", "2001"}));
  QTemporaryDir d;
  const QString old = d.filePath("old.json");
  WriteAll(old, QStringLiteral(R"({"run_id": "R1", "package_version": "2.11.0", "stop_on_failure": false, "backup_dir": "",
    "summary": {"total": 2, "updated": 1, "failed": 1, "skipped": 0, "unknown": 0, "text": ""},
    "devices": [
      {"device": "Fertig", "host": "127.0.0.1", "port": %1, "ssh": false, "ssh_port": 22, "user": "", "serial": "2001",
       "firmware_before": "2.10.0", "firmware_after": "2.11.0", "backup_file": "", "result": "ok", "message": "", "start": "", "end": ""},
      {"device": "Nochmal", "host": "127.0.0.1", "port": %2, "ssh": false, "ssh_port": 22, "user": "", "serial": "2002",
       "firmware_before": "2.10.0", "firmware_after": "", "backup_file": "", "result": "failed", "message": "x", "start": "", "end": ""}]})")
                    .arg(done.Port)
                    .arg(again.Port)
                    .toUtf8());
  const QString report = d.filePath("r.json");
  const TRun r = RunCli({"--data-dir", d.filePath("data"), "--json", "flash", GoodPackage(QDir(d.path())),
                         "--retry-from", old, "--no-backup", "--run-id", "R2", "--report", report},
                        60000);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "flash-run", o));
  const QJsonArray rows = o["devices"].toArray();
  ASSERT_EQ(rows.size(), 1) << "only the device that did not end ok";
  EXPECT_EQ(rows[0].toObject()["device"].toString(), "Nochmal");
  EXPECT_EQ(rows[0].toObject()["port"].toInt(), again.Port);
  EXPECT_EQ(rows[0].toObject()["serial"].toInteger(), 2002);
  EXPECT_EQ(rows[0].toObject()["result"].toString(), "ok");
  EXPECT_TRUE(rows[0].toObject()["backupFile"].isNull()) << "--no-backup";
  EXPECT_TRUE(o["backupDir"].isNull());
  // The new report is written in the new keys and is read back the same way.
  const QJsonObject written = QJsonDocument::fromJson(ReadAll(report)).object();
  EXPECT_EQ(written["runId"].toString(), "R2");
  EXPECT_FALSE(written.contains("run_id"));
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(ReadAll(report)), "flash-run"));
}

TEST(CliMassFlash, StopOnFailureLeavesTheRestUntouched) {
  TSimProcess bad, good;
  ASSERT_TRUE(bad.Start({"--fault", "nak-scratchpad"}));
  ASSERT_TRUE(good.Start());
  QTemporaryDir d;
  WriteAll(d.filePath("h.txt"), QStringLiteral("127.0.0.1:%1\n127.0.0.1:%2\n").arg(bad.Port).arg(good.Port).toUtf8());
  const TRun r = RunCli(
      {"--data-dir", d.filePath("data"), "--json", "flash", GoodPackage(QDir(d.path())), "--hosts", d.filePath("h.txt"),
       "--no-backup", "--run-id", "S", "--stop-on-failure", "--report", d.filePath("r.json")},
      60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonArray rows = o["devices"].toArray();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toObject()["message"].toString(), "Fehler beim Hochladen der Firmware");
  EXPECT_EQ(rows[1].toObject()["result"].toString(), "skipped");
  EXPECT_EQ(rows[1].toObject()["message"].toString(), "Lauf angehalten") << "why, once";
  EXPECT_FALSE(QFile::exists(good.Root() + "/mnt/flashdrive0/data/ccci/scratchpad/fw.tgz"));
  // Neither the failed nor the device never started counts as updated.
  const QJsonObject sum = o["summary"].toObject();
  EXPECT_EQ(sum["updated"].toInt(-1), 0);
  EXPECT_EQ(sum["failed"].toInt(-1), 1);
  EXPECT_EQ(sum["skipped"].toInt(-1), 1);
  EXPECT_EQ(sum["text"].toString(), "0 von 2 Geräten aktualisiert, 1 fehlgeschlagen, 1 nicht gestartet");
  EXPECT_TRUE(MatchesSchema(r.Out, "flash-run"));
  EXPECT_TRUE(o["stopOnFailure"].toBool());
  EXPECT_TRUE(rows[1].toObject()["start"].isNull()) << "a device never started has no times";
  EXPECT_TRUE(rows[1].toObject()["duration"].isNull());
  EXPECT_EQ(QJsonDocument::fromJson(ReadAll(d.filePath("r.json"))).object()["summary"].toObject(), sum);
  // The same words on the terminal.
  const TRun text =
      RunCli({"--data-dir", d.filePath("data"), "flash", GoodPackage(QDir(d.path())), "--hosts", d.filePath("h.txt"),
              "--no-backup", "--run-id", "S2", "--stop-on-failure", "--report", d.filePath("r2.json")},
             60000);
  EXPECT_EQ(text.Exit, 3);
  EXPECT_TRUE(text.Out.contains("0 von 2 Geräten aktualisiert, 1 fehlgeschlagen, 1 nicht gestartet; Bericht "))
      << text.Out.toStdString();
}

// The report is the only record of a mass run: without a place for it no
// device is touched.
TEST_F(CliFlashTest, AMassRunWithoutAPlaceForItsReportTouchesNoDevice) {
  QTemporaryDir d;
  WriteAll(d.filePath("h.txt"), QStringLiteral("127.0.0.1:%1\n").arg(Sim.Port).toUtf8());
  const TRun r = RunCli({"--data-dir", d.filePath("data"), "flash", GoodPackage(QDir(d.path())), "--hosts",
                         d.filePath("h.txt"), "--no-backup", "--run-id", "R", "--report", d.filePath("missing/r.json")},
                        60000);
  EXPECT_EQ(r.Exit, 1) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("Bericht kann nicht geschrieben werden")) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains(d.filePath("missing"))) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(Scratch("fw.tgz"))) << "nothing was uploaded";
  EXPECT_FALSE(DeviceLog().contains(QLatin1String("fwUpdate"))) << DeviceLog().toStdString();
}

}  // namespace
}  // namespace vanta::test::cli

namespace vanta::test::cli {
namespace {

// The device goes away in the middle of the upload: the row says so at once
// instead of waiting for a step's time limit.
TEST(MassFlashRunner, ALinkLostDuringTheUploadEndsThatDeviceWithItsMessage) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir d;
  const QString pkg = WritePackage(d.filePath("big.zip"), {{"fw.tgz", FirmwareTgz("2.11.0", 48 << 20)}}, false);
  TMassFlash run;
  TMassOptions o;
  o.Package = pkg;
  o.DataDir = d.filePath("data");
  o.StepTimeoutMs = 120000;
  TMassTarget t;
  t.Host = "127.0.0.1";
  t.Port = sim.Port;
  bool killed = false;
  run.OnRow = [&](int i) {
    if (!killed && run.Rows()[i].State == TMassState::msUpload) {
      killed = true;
      sim.Stop();
    }
  };
  QString e;
  ASSERT_TRUE(run.Start(o, {t}, e)) << e.toStdString();
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(SpinUntil([&] { return !run.Running(); }, 30000));
  EXPECT_TRUE(killed);
  EXPECT_LT(clock.elapsed(), 20000);
  EXPECT_EQ(run.Rows()[0].Result, "failed");
  EXPECT_EQ(run.Rows()[0].Message, "Verbindung während des Updates unterbrochen");
}

}  // namespace
}  // namespace vanta::test::cli
