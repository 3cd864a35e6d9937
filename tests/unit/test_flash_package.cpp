// Update packages as the firmware job sees them, the mass update's device
// lists and its report, and the firmware job itself over the in-memory
// client: the FTP upload, a line lost on the way, the device's verdict over
// SSH.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "FlashJob.h"
#include "FlashPackages.h"
#include "MassFlash.h"
#include "TestSupport.h"

using namespace vanta;
using vanta::test::FirmwareTgz;
using vanta::test::WritePackage;

namespace {

// The bytes as the whole file at `path` (replacing what was there); gives the path.
QString Write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(bytes);
  return path;
}

class FlashPackageTest : public ::testing::Test {
 protected:
  QString Pkg(const std::vector<TTarEntry>& entries, const char* name = "p.zip") {
    return WritePackage(Dir.filePath(QLatin1String(name)), entries);
  }
  QString Out() const { return Dir.filePath(QStringLiteral("out")); }
  QTemporaryDir Dir;
};

TEST_F(FlashPackageTest, EntriesKeepArchiveOrderAndTheChangeLogIsNotUploaded) {
  const TFlashPackage p = UnpackFlashPackage(
      Pkg({{"fw.tgz", FirmwareTgz("2.11.0")}, {"readme.txt", "log"}, {"extra.bin", "x"}}), Out());
  ASSERT_TRUE(p.Error.isEmpty()) << p.Error.toStdString();
  EXPECT_EQ(p.UpdFN, QStringLiteral("fw.tgz"));
  EXPECT_EQ(p.ReadmeFN, QDir(Out()).filePath(QStringLiteral("readme.txt")));
  ASSERT_EQ(p.SL.size(), 2);
  EXPECT_TRUE(p.SL[0].endsWith(QLatin1String("/fw.tgz")));
  EXPECT_TRUE(p.SL[1].endsWith(QLatin1String("/extra.bin")));
  EXPECT_EQ(FirmwareVersionOf(p.UpdPath), QStringLiteral("2.11.0"));
}

TEST_F(FlashPackageTest, SubFoldersGiveBaseNamesAndExtensionsIgnoreCase) {
  const TFlashPackage p = UnpackFlashPackage(
      Pkg({{"a/first.TXT", "1"}, {"fw/Update.TGZ", FirmwareTgz("3.0.1")}, {"b/second.txt", "2"}}), Out());
  ASSERT_TRUE(p.Error.isEmpty());
  EXPECT_EQ(p.UpdFN, QStringLiteral("Update.TGZ"));
  EXPECT_TRUE(p.ReadmeFN.endsWith(QLatin1String("/second.txt"))) << "the last change log wins";
  ASSERT_EQ(p.SL.size(), 1);
  EXPECT_TRUE(QFile::exists(QDir(Out()).filePath(QStringLiteral("Update.TGZ"))));
}

TEST_F(FlashPackageTest, ATextOnlyPackageHasNoFirmware) {
  const TFlashPackage p = UnpackFlashPackage(Pkg({{"readme.txt", "only"}}), Out());
  EXPECT_TRUE(p.Error.isEmpty());
  EXPECT_TRUE(p.UpdFN.isEmpty());
  EXPECT_TRUE(p.SL.isEmpty());
  QString why;
  EXPECT_TRUE(PackageVersion(Dir.filePath(QStringLiteral("p.zip")), &why).isEmpty());
  EXPECT_EQ(why, FlashText(msgInvalidPackage));
}

TEST_F(FlashPackageTest, HostileNamesRefuseTheWholePackageAndWriteNothing) {
  for (const char* bad : {"../escape.bin", "/etc/escape.bin", "a/../../escape.bin", "C:\\escape.bin"}) {
    QDir(Out()).removeRecursively();
    const TFlashPackage p = UnpackFlashPackage(Pkg({{"fw.tgz", FirmwareTgz("2.11.0")}, {bad, "x"}}), Out());
    EXPECT_FALSE(p.Error.isEmpty()) << bad;
    EXPECT_TRUE(QDir(Out()).entryList(QDir::Files).isEmpty()) << bad;
    EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("escape.bin"))));
  }
}

TEST_F(FlashPackageTest, BrokenAndOversizedArchivesAreErrors) {
  const QString junk = Write(Dir.filePath(QStringLiteral("junk.zip")), "PK\x03\x04 this is no zip at all");
  EXPECT_FALSE(UnpackFlashPackage(junk, Out()).Error.isEmpty());
  EXPECT_FALSE(UnpackFlashPackage(Dir.filePath(QStringLiteral("missing.zip")), Out()).Error.isEmpty());
  // 40 MB of zeros pack into a few kB: far beyond what the archive's size allows.
  const QString bomb = Pkg({{"fw.tgz", FirmwareTgz("2.11.0")}, {"zeros.bin", QByteArray(40 * 1024 * 1024, '\0')}}, "bomb.zip");
  ASSERT_LT(QFileInfo(bomb).size(), 1024 * 1024);
  const TFlashPackage p = UnpackFlashPackage(bomb, Out());
  EXPECT_TRUE(p.Error.contains(QLatin1String("more than"))) << p.Error.toStdString();
  EXPECT_TRUE(QDir(Out()).entryList(QDir::Files).isEmpty());
}

TEST_F(FlashPackageTest, TwoEntriesOfOneNameLeaveTheLaterOne) {
  const TFlashPackage p = UnpackFlashPackage(Pkg({{"a/fw.tgz", "1"}, {"a/readme.txt", "old"}, {"b/fw.tgz", "2"}, {"b/readme.txt", "new"}}), Out());
  ASSERT_TRUE(p.Error.isEmpty()) << p.Error.toStdString();
  ASSERT_EQ(p.SL.size(), 1);
  QFile fw(p.SL[0]), log(p.ReadmeFN);
  ASSERT_TRUE(fw.open(QIODevice::ReadOnly) && log.open(QIODevice::ReadOnly));
  EXPECT_EQ(fw.readAll(), QByteArray("2"));
  EXPECT_EQ(log.readAll(), QByteArray("new"));
}

TEST_F(FlashPackageTest, NamesThatReachTheDeviceMustBePlain) {
  // The firmware's name ends up inside a Lua string on the device.
  for (const char* bad : {"fw\").tgz", "fw\nuti.x.tgz", "a b.bin"}) {
    const TFlashPackage p = UnpackFlashPackage(Pkg({{bad, FirmwareTgz("2.11.0")}}), Out());
    EXPECT_FALSE(p.Error.isEmpty()) << bad;
    EXPECT_TRUE(p.UpdFN.isEmpty());
  }
  EXPECT_TRUE(UnpackFlashPackage(Pkg({{"fw.tgz", FirmwareTgz("2.11.0")}, {"Änderungen 2.11.txt", "x"}}), Out()).Error.isEmpty());
  // The refusal names the entry in the operator's words; 120 characters pass, 121 do not.
  EXPECT_EQ(UnpackFlashPackage(Pkg({{"FW 2.11.tgz", FirmwareTgz("2.11.0")}}), Out()).Error,
            QStringLiteral("Eintrag »FW 2.11.tgz«: Name nicht zulässig"));
  const QByteArray longest = QByteArray(116, 'a') + ".tgz";
  EXPECT_TRUE(UnpackFlashPackage(Pkg({{longest.constData(), FirmwareTgz("2.11.0")}}), Out()).Error.isEmpty());
  const QByteArray tooLong = QByteArray(117, 'a') + ".tgz";
  EXPECT_EQ(UnpackFlashPackage(Pkg({{tooLong.constData(), FirmwareTgz("2.11.0")}}), Out()).Error,
            QStringLiteral("Eintrag »%1«: Name nicht zulässig").arg(QString::fromLatin1(tooLong)));
}

TEST_F(FlashPackageTest, FirmwareVersionNeedsAVersionEntry) {
  QByteArray tgz;
  ASSERT_TRUE(TarGzPack({{"rootfs.img", "x"}}, tgz).isEmpty());
  const QString file = Write(Dir.filePath(QStringLiteral("nov.tgz")), tgz);
  QString why;
  EXPECT_TRUE(FirmwareVersionOf(file, &why).isEmpty());
  EXPECT_FALSE(why.isEmpty());
  EXPECT_EQ(FirmwareVersionOf(Pkg({}, "x.zip")), QString());
  // Many entries before the version: read as they stream past.
  std::vector<TTarEntry> many;
  for (int i = 0; i < 300; ++i) many.push_back({QStringLiteral("part%1").arg(i), QByteArray(100, 'x')});
  many.push_back({QStringLiteral("version"), "4.1.2\n"});
  ASSERT_TRUE(TarGzPack(many, tgz).isEmpty());
  EXPECT_EQ(FirmwareVersionOf(Write(file, tgz)), QStringLiteral("4.1.2"));
}

TEST(FlashNames, FileNamePartsCannotLeaveTheFolder) {
  EXPECT_EQ(FileNamePart(QStringLiteral("Feld 3/Abgang")), QStringLiteral("Feld 3_Abgang"));
  EXPECT_EQ(FileNamePart(QStringLiteral("fe80::1")), QStringLiteral("fe80__1"));
  EXPECT_EQ(FileNamePart(QStringLiteral("../..")), QStringLiteral("_.."));
}

TEST(MassLists, HostsTextAcceptsPortsNamesAndCommentsAndRejectsJunk) {
  QTemporaryDir d;
  const QString hosts = d.filePath(QStringLiteral("hosts.txt"));
  QString e;
  const QList<TMassTarget> t =
      TMassFlash::LoadHostsText(Write(hosts, "# plant north\n10.0.0.5  Feld 1\n\n10.0.0.6:5041\n[fe80::2]:6000 Trafo # spare\n"), e);
  ASSERT_TRUE(e.isEmpty()) << e.toStdString();
  ASSERT_EQ(t.size(), 3);
  EXPECT_EQ(t[0].Host, QStringLiteral("10.0.0.5"));
  EXPECT_EQ(t[0].Port, 5040);
  EXPECT_EQ(t[0].Name, QStringLiteral("Feld 1"));
  EXPECT_EQ(t[1].Port, 5041);
  EXPECT_EQ(t[2].Host, QStringLiteral("fe80::2"));
  EXPECT_EQ(t[2].Port, 6000);
  EXPECT_EQ(t[2].Name, QStringLiteral("Trafo"));
  EXPECT_TRUE(TMassFlash::LoadHostsText(Write(hosts, "10.0.0.5:99999\n"), e).isEmpty());
  EXPECT_TRUE(e.contains(QLatin1String(":1:")));
  // Neither a broken address nor a stray word sequence becomes a device.
  for (const char* junk : {":::\n", "10.0.0.5\nhost_with_underscore name\n", "-leading-dash\n", "fe80::zz\n"}) {
    e.clear();
    EXPECT_TRUE(TMassFlash::LoadHostsText(Write(hosts, junk), e).isEmpty()) << junk;
    EXPECT_TRUE(e.contains(QLatin1String("ist keine Adresse"))) << junk << ": " << e.toStdString();
  }
  e.clear();
  const QList<TMassTarget> names = TMassFlash::LoadHostsText(Write(hosts, "pq-nord.example.net:5041 Nord\nfe80::1\n"), e);
  ASSERT_EQ(names.size(), 2) << e.toStdString();
  EXPECT_EQ(names[0].Host, QStringLiteral("pq-nord.example.net"));
  EXPECT_EQ(names[1].Host, QStringLiteral("fe80::1"));
}

TEST(MassLists, ReportRowsOfFailedDevicesCanBeRunAgain) {
  QTemporaryDir d;
  const QString report = d.filePath(QStringLiteral("report.json"));
  QString e;
  const QList<TMassTarget> t = TMassFlash::FailedFromReport(
      Write(report, R"({"devices":[{"device":"A","host":"10.0.0.1","port":5040,"result":"ok"},
                         {"device":"B","host":"10.0.0.2","port":5041,"ssh":true,"ssh_port":2222,"result":"failed"},
                         {"device":"C","host":"10.0.0.3","port":5040,"result":"skipped"}]})"),
      e);
  ASSERT_EQ(t.size(), 2) << e.toStdString();
  EXPECT_EQ(t[0].Name, QStringLiteral("B"));
  EXPECT_TRUE(t[0].Ssh);
  EXPECT_EQ(t[0].SshPort, 2222);
  EXPECT_EQ(t[1].Host, QStringLiteral("10.0.0.3"));
  EXPECT_TRUE(TMassFlash::FailedFromReport(Write(report, "{\"devices\": 5"), e).isEmpty());
  EXPECT_FALSE(e.isEmpty());
}

// The report as written now (camelCase keys) is read back with the same targets.
TEST(MassLists, ReportRowsWithTheCurrentKeysCanBeRunAgain) {
  QTemporaryDir d;
  QString e;
  const QList<TMassTarget> t = TMassFlash::FailedFromReport(
      Write(d.filePath(QStringLiteral("report.json")), R"({"schemaVersion":1,"runId":"R","devices":[
                         {"device":"B","host":"10.0.0.2","port":5041,"ssh":true,"sshPort":2222,"user":"op","result":"unknown"},
                         {"device":"C","host":"10.0.0.3","port":5040,"ssh":false,"sshPort":22,"result":"ok"}]})"),
      e);
  ASSERT_EQ(t.size(), 1) << e.toStdString();
  EXPECT_EQ(t[0].Name, QStringLiteral("B"));
  EXPECT_EQ(t[0].Port, 5041);
  EXPECT_TRUE(t[0].Ssh);
  EXPECT_EQ(t[0].SshPort, 2222);
  EXPECT_EQ(t[0].User, QStringLiteral("op"));
}

TEST(MassLists, StartRefusesWhatCannotUpdateAnything) {
  QTemporaryDir d;
  TMassFlash run;
  QString e;
  TMassOptions o;
  o.Package = WritePackage(d.filePath(QStringLiteral("t.zip")), {{"readme.txt", "only"}});
  EXPECT_FALSE(run.Start(o, {TMassTarget{}}, e));
  EXPECT_TRUE(e.startsWith(FlashText(msgInvalidPackage))) << e.toStdString();
  o.Package = vanta::test::GoodPackage(QDir(d.path()));
  o.Parallel = 9;
  EXPECT_FALSE(run.Start(o, {TMassTarget{}}, e));
  o.Parallel = 1;
  EXPECT_FALSE(run.Start(o, {}, e));
  EXPECT_FALSE(run.Running());
}

}  // namespace

namespace {

using vanta::test::Dev;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

// One firmware job over the in-memory client, the test playing the device.
// The operator declines the backup and accepts the change log; messages are
// acknowledged at once.
struct TFlashRun {
  TFakeClock Clock;
  TTestComUnit Unit{Clock};
  QTemporaryDir Dir;
  QStringList Log, Messages;
  std::vector<std::pair<bool, QString>> MassResults;
  int Ended = 0;
  int Closed = -1;
  std::unique_ptr<TFlashJob> Job;  // last: it reports into the fields above while it goes

  explicit TFlashRun(TFlashKind kind) {
    Unit.FSN = 4711;
    Unit.FTmpDir = Dir.filePath(QStringLiteral("tmp"));
    Unit.EnableTimer(true);  // queued uploads go out on its ticks
    Job = std::make_unique<TFlashJob>(Unit);
    TFlashJob& j = *Job;
    j.FKind = kind;
    j.FFN = vanta::test::GoodPackage(QDir(Dir.path()));
    j.OnLog = [this](const QString& l) { Log << l; };
    j.AskBackup = [](const QString&, std::function<void(bool)> answer) { answer(false); };
    j.ShowMessage = [this](const QString& text, TMsgDlgType, std::function<void()> then) {
      Messages << text;
      if (then) then();
    };
    j.FMassFlashSucc = [this](bool ok, const QString& text) { MassResults.push_back({ok, text}); };
    j.OnEnded = [this] { ++Ended; };
    j.FFlashClose = [this](QObject*, int result) { Closed = result; };
  }
  // Lua statements the device received, in order.
  QStringList Received() const {
    QStringList out;
    for (const test::TSentFrame& f : Unit.Sent) {
      QByteArray s;
      if (f.IsLua && ccci::DecodeLuaText(f.Bytes, s).isEmpty()) out << QString::fromLatin1(s);
    }
    return out;
  }
  bool UpdateCalled() const { return !Received().filter(QStringLiteral("uti.fwUpdate(")).isEmpty(); }
  // Files sent as scratchpad writes over the device link.
  int LinkUploads() const {
    int n = 0;
    for (const test::TSentFrame& f : Unit.Sent) n += !f.IsLua && f.Head().CMD == 7 && f.Head().ExtCmd == 2;
    return n;
  }
  // The n-th scratchpad write reached the device.
  bool Uploaded(int n) {
    return SpinUntil([&] { return LinkUploads() == n; });
  }
  // The device confirms the scratchpad write in flight.
  void AckUpload() { Unit.Deliver(ccci::BuildHeaderOnly(Dev(), 7, 0, 2)); }
  // The shell's answer over SSH, closed by its end marker.
  void ShellAnswer(const QByteArray& text) { Unit.LUACommandSSH(text + "\r\n\x1a\x1b\n"); }
  void LoseLine() {
    Unit.Connected = false;
    if (Unit.FClearWork) Unit.FClearWork();
  }
};

}  // namespace

// With FTP chosen for the connection, every file of the package but the
// change log goes up by FTP into the scratchpad, none over the device link,
// and the update call names the firmware.
TEST(FlashJobFtp, UploadsThePackageByFtpThenCallsTheUpdate) {
  TFlashRun r(TFlashKind::KndFirmware);
  r.Unit.FFTP = true;
  r.Job->ConnEst(true);
  ASSERT_EQ(r.Unit.FtpUploads.size(), 2) << r.Unit.FtpUploads.join('\n').toStdString();
  EXPECT_TRUE(r.Unit.FtpUploads[0].endsWith(QLatin1String("/fw.tgz -> /flashdrive0/data/ccci/scratchpad")))
      << r.Unit.FtpUploads[0].toStdString();
  EXPECT_TRUE(r.Unit.FtpUploads[1].endsWith(QLatin1String("/extra.bin -> /flashdrive0/data/ccci/scratchpad")));
  EXPECT_EQ(r.LinkUploads(), 0);
  ASSERT_EQ(r.Received(), QStringList{QStringLiteral("uti.fwUpdate(\"~/fw.tgz\")")});
  r.Unit.Deliver(ccci::BuildLuaOutput(Dev(), ccci::TLuaOutputKind::loEnd, {}));
  ASSERT_TRUE(SpinUntil([&] { return r.Closed >= 0; }));
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Success);
  EXPECT_EQ(r.Messages, QStringList{QStringLiteral("Update abgeschlossen!")});
  EXPECT_EQ(r.Closed, 1);
}

// An FTP upload that fails ends the job before the device is told to update.
TEST(FlashJobFtp, AFailedFtpUploadNeverReachesTheUpdateCall) {
  TFlashRun r(TFlashKind::KndFirmware);
  r.Unit.FFTP = true;
  r.Unit.FtpResult = false;
  r.Job->ConnEst(true);
  SpinFor(50);
  EXPECT_EQ(r.Unit.FtpUploads.size(), 1) << "no file after the failed one";
  EXPECT_FALSE(r.UpdateCalled()) << r.Received().join('\n').toStdString();
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Failed);
  EXPECT_EQ(r.Messages, QStringList{FlashText(msgUploadFailed)});
  EXPECT_EQ(r.Ended, 1);
}

// The line goes during the upload of one device of a mass update: the run
// hears of it once, as a failure in the connection's words, and no update
// call is made.
TEST(FlashJobLineLost, DuringAMassUploadTheDeviceIsReportedFailedOnce) {
  TFlashRun r(TFlashKind::KndMassFW);
  r.Job->ConnEst(true);
  ASSERT_TRUE(r.Uploaded(1));
  r.LoseLine();
  ASSERT_TRUE(SpinUntil([&] { return !r.MassResults.empty(); }));
  EXPECT_EQ(r.MassResults[0], (std::pair<bool, QString>{false, QStringLiteral("Verbindung während des Updates unterbrochen")}));
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Failed);
  EXPECT_EQ(r.Ended, 1);
  SpinFor(50);
  r.Job.reset();
  EXPECT_EQ(r.MassResults.size(), 1u) << "told once, also when the job goes";
  EXPECT_FALSE(r.UpdateCalled());
}

// The same in the update window: the operator is told why, and the window
// closes with the failure's result.
TEST(FlashJobLineLost, DuringAnUploadTheWindowSaysSoAndClosesAsFailed) {
  TFlashRun r(TFlashKind::KndFirmware);
  r.Job->ConnEst(true);
  ASSERT_TRUE(r.Uploaded(1));
  r.AckUpload();
  ASSERT_TRUE(r.Uploaded(2));
  r.LoseLine();
  ASSERT_TRUE(SpinUntil([&] { return r.Closed >= 0; }));
  EXPECT_EQ(r.Closed, 0);
  EXPECT_EQ(r.Messages, QStringList{QStringLiteral("Verbindung während des Updates unterbrochen")});
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Failed);
  EXPECT_FALSE(r.UpdateCalled());
}

namespace {
// An update over SSH whose update call the device answers with `answer`.
void UpdateOverSsh(TFlashRun& r, const QByteArray& answer) {
  r.Unit.FisSSHCon = true;
  r.Job->ConnEst(true);
  ASSERT_EQ(r.Received().size(), 1) << "the right to print is asked first";
  r.ShellAnswer("true");
  ASSERT_TRUE(r.Uploaded(1));
  r.AckUpload();
  ASSERT_TRUE(r.Uploaded(2));
  r.AckUpload();
  ASSERT_TRUE(SpinUntil([&] { return r.UpdateCalled(); }));
  EXPECT_EQ(r.Received().last(), QStringLiteral("FW = print(uti.err2ascii(uti.fwUpdate(\"~/fw.tgz\")))"));
  r.ShellAnswer(answer);
  ASSERT_TRUE(SpinUntil([&] { return r.Closed >= 0; }));
}
}  // namespace

// Over SSH the device's text is the verdict: its "no error" counts in
// whatever case the firmware writes it.
TEST(FlashJobSsh, ALowerCaseNoErrorIsASuccess) {
  TFlashRun r(TFlashKind::KndFirmware);
  ASSERT_NO_FATAL_FAILURE(UpdateOverSsh(r, "no error"));
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Success);
  EXPECT_EQ(r.Job->ResultText, SFWUpdateSuccess);
  EXPECT_EQ(r.Messages, QStringList{QStringLiteral("Update abgeschlossen!")});
  EXPECT_EQ(r.Closed, 1);
}

TEST(FlashJobSsh, AnyOtherDeviceTextIsAFailureThatNamesIt) {
  TFlashRun r(TFlashKind::KndFirmware);
  ASSERT_NO_FATAL_FAILURE(UpdateOverSsh(r, "Operation not permitted"));
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Failed);
  EXPECT_TRUE(r.Job->ResultText.endsWith(QLatin1String("(Operation not permitted)"))) << r.Job->ResultText.toStdString();
  EXPECT_EQ(r.Messages, QStringList{QStringLiteral("ACHTUNG: Das Update war nicht erfolgreich!")});
}

// The operator asked for a backup and named where: when it cannot be stored
// there, nothing goes to the device, and no folder is made on the way.
namespace {
// The operator says yes to the backup and names `target`; the set read from
// the device is a small file.
void StartWithBackupTo(TFlashRun& r, const QString& target) {
  const QString read = Write(r.Dir.filePath(QStringLiteral("read.xml")), "<setup/>");
  r.Job->AskBackup = [](const QString&, std::function<void(bool)> answer) { answer(true); };
  r.Job->AskSaveFile = [target](const QString&) { return target; };
  r.Job->GetPara = [&r, read] { r.Job->ParaToTable(read); };
  r.Job->ConnEst(true);
}
}  // namespace

TEST(FlashJobBackup, ABackupThatCannotBeStoredStopsTheJobBeforeTheUpload) {
  TFlashRun r(TFlashKind::KndFirmware);
  const QString missing = r.Dir.filePath(QStringLiteral("missing"));
  ASSERT_NO_FATAL_FAILURE(StartWithBackupTo(r, missing + QStringLiteral("/para.xml")));
  SpinFor(50);
  EXPECT_EQ(r.Job->Outcome, TFlashJob::TOutcome::Failed);
  EXPECT_TRUE(r.Job->BackupNotStored);
  EXPECT_TRUE(r.Job->ResultText.contains(missing)) << r.Job->ResultText.toStdString();
  EXPECT_TRUE(r.Job->BackupFile.isEmpty());
  EXPECT_EQ(r.LinkUploads(), 0) << "nothing was sent";
  EXPECT_FALSE(r.UpdateCalled());
  EXPECT_FALSE(QFileInfo::exists(missing)) << "no folder the operator did not make";
  EXPECT_EQ(r.Ended, 1);
}

// Stored where asked, the update goes on.
TEST(FlashJobBackup, AStoredBackupLetsTheUploadStart) {
  TFlashRun r(TFlashKind::KndFirmware);
  const QString target = r.Dir.filePath(QStringLiteral("para.xml"));
  ASSERT_NO_FATAL_FAILURE(StartWithBackupTo(r, target));
  ASSERT_TRUE(r.Uploaded(1));
  EXPECT_EQ(r.Job->BackupFile, target);
  EXPECT_FALSE(r.Job->BackupNotStored);
  QFile f(target);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("<setup/>"));
}
