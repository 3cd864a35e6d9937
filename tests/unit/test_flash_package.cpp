// Update packages as the firmware job sees them, the mass update's device
// lists and its report.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "FlashJob.h"
#include "FlashPackages.h"
#include "MassFlash.h"

using namespace vanta;
using vanta::test::FirmwareTgz;
using vanta::test::WritePackage;

namespace {

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
  QFile junk(Dir.filePath(QStringLiteral("junk.zip")));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("PK\x03\x04 this is no zip at all");
  junk.close();
  EXPECT_FALSE(UnpackFlashPackage(junk.fileName(), Out()).Error.isEmpty());
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
  QFile f(Dir.filePath(QStringLiteral("nov.tgz")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(tgz);
  f.close();
  QString why;
  EXPECT_TRUE(FirmwareVersionOf(f.fileName(), &why).isEmpty());
  EXPECT_FALSE(why.isEmpty());
  EXPECT_EQ(FirmwareVersionOf(Pkg({}, "x.zip")), QString());
  // Many entries before the version: read as they stream past.
  std::vector<TTarEntry> many;
  for (int i = 0; i < 300; ++i) many.push_back({QStringLiteral("part%1").arg(i), QByteArray(100, 'x')});
  many.push_back({QStringLiteral("version"), "4.1.2\n"});
  ASSERT_TRUE(TarGzPack(many, tgz).isEmpty());
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(tgz);
  f.close();
  EXPECT_EQ(FirmwareVersionOf(f.fileName()), QStringLiteral("4.1.2"));
}

TEST(FlashNames, FileNamePartsCannotLeaveTheFolder) {
  EXPECT_EQ(FileNamePart(QStringLiteral("Feld 3/Abgang")), QStringLiteral("Feld 3_Abgang"));
  EXPECT_EQ(FileNamePart(QStringLiteral("fe80::1")), QStringLiteral("fe80__1"));
  EXPECT_EQ(FileNamePart(QStringLiteral("../..")), QStringLiteral("_.."));
  EXPECT_EQ(FlashText(msgUploadFailed), QStringLiteral("Fehler beim Hochladen der Firmware"));
}

TEST(MassLists, HostsTextAcceptsPortsNamesAndCommentsAndRejectsJunk) {
  QTemporaryDir d;
  QFile f(d.filePath(QStringLiteral("hosts.txt")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("# plant north\n10.0.0.5  Feld 1\n\n10.0.0.6:5041\n[fe80::2]:6000 Trafo # spare\n");
  f.close();
  QString e;
  const QList<TMassTarget> t = TMassFlash::LoadHostsText(f.fileName(), e);
  ASSERT_TRUE(e.isEmpty()) << e.toStdString();
  ASSERT_EQ(t.size(), 3);
  EXPECT_EQ(t[0].Host, QStringLiteral("10.0.0.5"));
  EXPECT_EQ(t[0].Port, 5040);
  EXPECT_EQ(t[0].Name, QStringLiteral("Feld 1"));
  EXPECT_EQ(t[1].Port, 5041);
  EXPECT_EQ(t[2].Host, QStringLiteral("fe80::2"));
  EXPECT_EQ(t[2].Port, 6000);
  EXPECT_EQ(t[2].Name, QStringLiteral("Trafo"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write("10.0.0.5:99999\n");
  f.close();
  EXPECT_TRUE(TMassFlash::LoadHostsText(f.fileName(), e).isEmpty());
  EXPECT_TRUE(e.contains(QLatin1String(":1:")));
}

TEST(MassLists, ReportRowsOfFailedDevicesCanBeRunAgain) {
  QTemporaryDir d;
  QFile f(d.filePath(QStringLiteral("report.json")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(R"({"devices":[{"device":"A","host":"10.0.0.1","port":5040,"result":"ok"},
                         {"device":"B","host":"10.0.0.2","port":5041,"ssh":true,"ssh_port":2222,"result":"failed"},
                         {"device":"C","host":"10.0.0.3","port":5040,"result":"skipped"}]})");
  f.close();
  QString e;
  const QList<TMassTarget> t = TMassFlash::FailedFromReport(f.fileName(), e);
  ASSERT_EQ(t.size(), 2) << e.toStdString();
  EXPECT_EQ(t[0].Name, QStringLiteral("B"));
  EXPECT_TRUE(t[0].Ssh);
  EXPECT_EQ(t[0].SshPort, 2222);
  EXPECT_EQ(t[1].Host, QStringLiteral("10.0.0.3"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write("{\"devices\": 5");
  f.close();
  EXPECT_TRUE(TMassFlash::FailedFromReport(f.fileName(), e).isEmpty());
  EXPECT_FALSE(e.isEmpty());
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
