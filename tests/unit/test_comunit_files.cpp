// File services and streams of the client against the in-memory transport.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "ArchiveSupport.h"
#include "ByteOrder.h"
#include "GZip.h"
#include "Tar.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::Dev;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

namespace {
QByteArray ReadAll(const QString& p) {
  QFile f(p);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void Write(const QString& p, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << p.toStdString();
  f.write(bytes);
}

struct TFilesFixture : ::testing::Test {
  TFakeClock Clock;
  TTestComUnit C{Clock};
  QTemporaryDir Dir;
  QStringList NewXml;
  void SetUp() override {
    C.FTmpDir = Dir.filePath("tmp/");
    C.FIniFolder = Dir.filePath("ini/");
    C.FSN = 4711;
    QDir().mkpath(C.FTmpDir);
    C.FOnNewXMLFile = [this](QObject*, const QString& f, int32_t t) { NewXml << QStringLiteral("%1|%2").arg(t).arg(f); };
  }
};

QByteArray HostileArchive() {
  return test::RawTarGz({{"../../escape.xml", AE_IFREG, "<bad/>"}, {"/tmp/absolute.xml", AE_IFREG, "<bad/>"}, {"link.xml", AE_IFLNK, {}}});
}
}  // namespace

TEST_F(TFilesFixture, SetupReadInAllThreePackings) {
  const QByteArray xml = "<setup><p/></setup>";
  // plain
  C.FGZ = false;
  C.Deliver(BuildFileAnswer(Dev(), 3, 0, 1, xml));
  ASSERT_EQ(NewXml.size(), 1);
  EXPECT_EQ(NewXml[0], QStringLiteral("1|") + C.FTmpDir + QStringLiteral("4711_Setup_RD_ALL.xml"));
  EXPECT_EQ(ReadAll(C.FTmpDir + "4711_Setup_RD_ALL.xml"), xml);
  // gzip
  C.FGZ = true;
  QByteArray gz;
  ASSERT_EQ(GzipBytes(xml + "gz", gz), QString());
  C.Deliver(BuildFileAnswer(Dev(), 3, 0, 2, gz));
  ASSERT_EQ(NewXml.size(), 2);
  EXPECT_TRUE(NewXml[1].endsWith(QStringLiteral("4711_SetupRDOne.xml")));
  EXPECT_EQ(ReadAll(NewXml[1].section('|', 1)), xml + "gz");
  EXPECT_TRUE(QFile::exists(C.FTmpDir + "4711_SetupRDOne.gz"));
  // tar+gzip wins over gzip
  C.FTGZ = true;
  QByteArray tgz;
  ASSERT_EQ(TarGzPack({{"setup.xml", xml + "tgz"}, {"station.icd", "<SCL/>"}, {"ssh_host_ecdsa_host_key", "k1"}}, tgz), QString());
  C.Deliver(BuildFileAnswer(Dev(), 3, 0, 0, tgz));
  ASSERT_EQ(NewXml.size(), 3);
  EXPECT_TRUE(NewXml[2].startsWith(QStringLiteral("0|")));
  EXPECT_EQ(ReadAll(NewXml[2].section('|', 1)), xml + "tgz");
  EXPECT_TRUE(C.FICDFile.endsWith(QStringLiteral("station.icd")));
  EXPECT_TRUE(C.FECDSAKeyFile.endsWith(QStringLiteral("ssh_host_ecdsa_host_key")));
}

TEST_F(TFilesFixture, HostileArchiveWritesNothingOutside) {
  C.FTGZ = true;
  C.Deliver(BuildFileAnswer(Dev(), 3, 0, 1, HostileArchive()));
  EXPECT_TRUE(NewXml.isEmpty());
  EXPECT_FALSE(QFile::exists(Dir.filePath("escape.xml")));
  EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/absolute.xml")) && ReadAll("/tmp/absolute.xml") == "<bad/>");
  EXPECT_FALSE(QFileInfo(C.FTmpDir + "link.xml").isSymLink());
  EXPECT_EQ(C.Log.filter(QStringLiteral("Archiv: Eintrag verworfen")).size(), 3);
  // A damaged archive is reported the same way, never taken for whole.
  QByteArray tgz;
  ASSERT_EQ(TarGzPack({{"setup.xml", QByteArray(50000, 'x')}}, tgz), QString());
  C.Deliver(BuildFileAnswer(Dev(), 3, 0, 1, tgz.left(tgz.size() / 2)));
  EXPECT_TRUE(NewXml.isEmpty());
  EXPECT_TRUE(C.LogStartsWith(QStringLiteral("Setup: Archiv")));
}

TEST_F(TFilesFixture, SetupWriteAcknowledged) {
  std::vector<bool> done;
  C.FSendParaDone = [&](QObject*, bool ok) { done.push_back(ok); };
  C.FRequestClose = [](QObject*) {};
  C.Deliver(BuildHeaderOnly(Dev(), 3, 1, 3));
  EXPECT_EQ(done, std::vector<bool>{true});
  EXPECT_FALSE(C.FRequestClose) << "a successful upload no longer closes the window";
}

// A readout request goes out the way the windows and the command line send it.
void AskForEvent(TTestComUnit& c, const QString& name, uint32_t pos, uint64_t deviceSize) {
  c.ExpectFileSize(name, deviceSize);
  c.SendCommand(TCcci::READOUT_EVT_RD, name, pos, false);
  c.SendNxtCommand();
}

struct TReadoutFixture : TFilesFixture {
  QStringList Shown, Failed;
  int Next = 0;
  QString Local;
  // An event file's part asked for, then the device's answer with `bytes`.
  void Fetch(const QString& name, uint32_t pos, uint64_t deviceSize, const QByteArray& bytes) {
    AskForEvent(C, name, pos, deviceSize);
    C.Deliver(BuildFileAnswer(Dev(), 5, 0, 17, bytes));
  }
  void SetUp() override {
    TFilesFixture::SetUp();
    C.FEvtDir = Dir.filePath("data/4711/Event/");
    C.FEvtToTable = [this](QObject*, const QString& p) { Shown << p; };
    C.FFileFailed = [this](QObject*, const QString& path, const QString&, const QString& why) { Failed << path + ": " + why; };
    Local = C.FEvtDir + "EVT-1-2.evt";
  }
};

TEST_F(TReadoutFixture, AnAnswerIsWrittenAtTheAskedPositionAndTheFileNamedWhenWhole) {
  Fetch(QStringLiteral("EVT-1-2.evt"), 0, 12, "first-");
  EXPECT_FALSE(QFile::exists(Local)) << "six of twelve bytes never carry the final name";
  EXPECT_EQ(ReadAll(Local + ".part"), QByteArray("first-"));
  ASSERT_EQ(Failed.size(), 1);
  EXPECT_TRUE(Failed[0].contains(QStringLiteral("unvollständig: 6 von 12 Bytes"))) << Failed[0].toStdString();
  Fetch(QStringLiteral("EVT-1-2.evt"), 6, 12, "second");
  EXPECT_EQ(ReadAll(Local), QByteArray("first-second"));
  EXPECT_FALSE(QFile::exists(Local + ".part"));
  EXPECT_EQ(Shown, QStringList{Local});
}

TEST_F(TReadoutFixture, AnAnswerForAPositionAlreadyWrittenReplacesInsteadOfDoubling) {
  ASSERT_NO_FATAL_FAILURE(Write(Local + ".part", "abcXYZ"));  // "XYZ": the rest of an answer the chain gave up on
  Fetch(QStringLiteral("EVT-1-2.evt"), 3, 6, "def");
  EXPECT_EQ(ReadAll(Local), QByteArray("abcdef"));
}

TEST_F(TReadoutFixture, ASecondRequestForAFileInFlightIsIgnored) {
  AskForEvent(C, QStringLiteral("EVT-1-2.evt"), 0, 3);
  const size_t sent = C.Sent.size();
  C.SendCommand(TCcci::READOUT_EVT_RD, QStringLiteral("EVT-1-2.evt"), 0, false);
  C.SendNxtCommand();
  EXPECT_EQ(C.CountSendLst(), 0);
  EXPECT_EQ(C.Sent.size(), sent) << "no second request went out";
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 17, "abc"));
  EXPECT_EQ(ReadAll(Local), QByteArray("abc"));
  // Asked for again once it has arrived, it goes out.
  C.SendCommand(TCcci::READOUT_EVT_RD, QStringLiteral("EVT-1-2.evt"), 0, false);
  EXPECT_EQ(C.CountSendLst(), 1);
}

TEST_F(TReadoutFixture, ALateAnswerAfterTheGiveUpNeverLandsInTheNextFile) {
  C.FMassDLNext = [this](QObject*) { ++Next; };
  C.EnableTimer(true);
  AskForEvent(C, QStringLiteral("EVT-1-2.evt"), 0, 4);
  Clock.Advance(11'000);
  C.OnTimer();
  ASSERT_EQ(Failed.size(), 1);
  EXPECT_TRUE(Failed[0].startsWith(QStringLiteral("EVT-1-2.evt: keine Antwort")));
  EXPECT_EQ(Next, 1) << "the chain goes on with the next file";
  Fetch(QStringLiteral("EVT-3-4.evt"), 0, 4, "AAAA");  // the first file's answer, late
  EXPECT_FALSE(QFile::exists(C.FEvtDir + "EVT-3-4.evt"));
  EXPECT_FALSE(QFile::exists(C.FEvtDir + "EVT-3-4.evt.part"));
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 17, "BBBB"));
  EXPECT_EQ(ReadAll(C.FEvtDir + "EVT-3-4.evt"), QByteArray("BBBB"));
  EXPECT_FALSE(QFile::exists(Local)) << "the late answer was not stored under any name";
}

TEST_F(TReadoutFixture, AStoreFailureIsToldAndTheChainGoesOn) {
  C.FMassDLNext = [this](QObject*) { ++Next; };
  C.FFileWriter = [](const QString&, qint64, QByteArrayView) { return QStringLiteral("Auf dem Gerät ist kein Speicherplatz verfügbar"); };
  Fetch(QStringLiteral("EVT-1-2.evt"), 0, 3, "abc");
  ASSERT_EQ(Failed.size(), 1);
  EXPECT_EQ(Failed[0], QStringLiteral("EVT-1-2.evt: Auf dem Gerät ist kein Speicherplatz verfügbar"));
  EXPECT_EQ(Next, 1);
  EXPECT_FALSE(QFile::exists(Local)) << "no empty file under the final name";
  EXPECT_TRUE(C.LogStartsWith(QStringLiteral("Auslesen: EVT-1-2.evt nicht gespeichert")));
  // The disk has room again: the same request stores the file.
  C.FFileWriter = WriteAtOffset;
  Fetch(QStringLiteral("EVT-1-2.evt"), 0, 3, "abc");
  EXPECT_EQ(ReadAll(Local), QByteArray("abc"));
}

TEST_F(TReadoutFixture, UnsafeNamesAndMissingFoldersStoreNothing) {
  Fetch(QStringLiteral(".."), 0, 4, "evil");
  ASSERT_EQ(Failed.size(), 1);
  EXPECT_TRUE(Failed[0].contains(QStringLiteral("unzulässiger Dateiname")));
  // Before the device's folder is known there is no place for a file: it is
  // refused, not written into the current directory.
  const QString here = QDir::currentPath();
  QTemporaryDir cwd;
  QDir::setCurrent(cwd.path());
  C.FEvtDir.clear();
  Fetch(QStringLiteral("EVT-5-6.evt"), 0, 4, "data");
  QDir::setCurrent(here);
  ASSERT_EQ(Failed.size(), 2);
  EXPECT_TRUE(Failed[1].endsWith(QStringLiteral("kein Datenordner gesetzt")));
  EXPECT_TRUE(QDir(cwd.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(TReadoutFixture, AnAnswerNobodyAskedForIsDropped) {
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 17, "stray"));
  EXPECT_TRUE(Shown.isEmpty());
  EXPECT_TRUE(QDir(C.FEvtDir).entryList(QDir::Files).isEmpty());
  EXPECT_TRUE(C.LogStartsWith(QStringLiteral("Auslesen: Antwort ohne Anfrage")));
}

TEST_F(TFilesFixture, WithoutATemporaryFolderTheClientUsesItsOwn) {
  const QString here = QDir::currentPath();
  QTemporaryDir cwd;
  QDir::setCurrent(cwd.path());
  C.FTmpDir.clear();
  C.FGZ = false;
  C.Deliver(BuildFileAnswer(Dev(), 3, 0, 1, "<setup/>"));
  QDir::setCurrent(here);
  ASSERT_EQ(NewXml.size(), 1);
  const QString stored = NewXml[0].section('|', 1);
  EXPECT_EQ(ReadAll(stored), QByteArray("<setup/>"));
  EXPECT_FALSE(stored.startsWith(cwd.path()));
  EXPECT_TRUE(QDir(cwd.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty())
      << "nothing lands in the current directory";
}

TEST_F(TFilesFixture, ListsAndDisplayImageGoToTheirCallbacks) {
  QByteArray evt, rec, img;
  C.FEvtOverview = [&](QObject*, TMemoryStream& s) { evt = s.Bytes(); };
  C.FRecOverview = [&](QObject*, TMemoryStream& s) { rec = s.Bytes(); };
  C.FSetNewDisplayImage = [&](QObject*, TMemoryStream& s) { img = s.Bytes(); };
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 16, "a;1;2\r\n"));
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 0, "b;3;x\r\n"));
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 33, "\x89PNG"));
  EXPECT_EQ(evt, QByteArray("a;1;2\r\n"));
  EXPECT_EQ(rec, QByteArray("b;3;x\r\n"));
  EXPECT_EQ(img, QByteArray("\x89PNG"));
}

TEST_F(TFilesFixture, DeviceLogIsSavedAndOpened) {
  QString opened;
  C.FOpenFile = [&](const QString& p) { opened = p; };
  C.Deliver(BuildFileAnswer(Dev(), 5, 0, 34, "log line"));
  EXPECT_EQ(opened, C.FTmpDir + "Dlog.log");
  EXPECT_EQ(ReadAll(opened), QByteArray("log line"));
}

TEST_F(TFilesFixture, ScratchpadJobs) {
  // Status file: saved under the serial number, callback once.
  int calls = 0;
  C.FCCCISratchpad = TCCCISratchpad::spStatus;
  C.FScratchPadCallBack = [&](const QString& p) {
    ++calls;
    EXPECT_EQ(ReadAll(p), QByteArray("version.major  2\r\n"));
    return true;
  };
  C.Deliver(BuildFileAnswer(Dev(), 7, 0, 1, "version.major  2\r\n"));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(C.FScratchPadCallBack);
  EXPECT_EQ(C.FCCCISratchpad, TCCCISratchpad::spNone);
  // Capture: removed from the device only when the callback agrees.
  for (bool keep : {false, true}) {
    C.ClearStreamAndBuffer();
    const size_t sent = C.Sent.size();
    C.FCCCISratchpad = TCCCISratchpad::spPCAP;
    C.FScratchpadFleLst = QStringList{QStringLiteral("capture_1.pcap")};
    C.FScratchPadCallBack = [keep](const QString&) { return keep; };
    C.Deliver(BuildFileAnswer(Dev(), 7, 0, 1, "pcap"));
    EXPECT_TRUE(QFile::exists(C.FTmpDir + "capture_1.pcap"));
    EXPECT_EQ(C.Sent.size(), sent + (keep ? 1 : 0));
    if (keep) {
      EXPECT_EQ(C.Last().Head().CMD, 7);
      EXPECT_EQ(C.Last().Head().ExtCmd, 3);
    }
  }
  // Write acknowledged: the caller sends its next file.
  std::vector<bool> next;
  C.FSendCCCIFileNext = [&](QObject*, bool nak) { next.push_back(nak); };
  C.Deliver(BuildHeaderOnly(Dev(), 7, 0, 2));
  EXPECT_EQ(next, std::vector<bool>{false});
}

TEST_F(TFilesFixture, LanguageFileCheck) {
  int done = 0;
  C.FOnConnDone = [&](QObject*, bool ok) { done += ok ? 1 : 100; };
  // No line for the database: nothing to fetch.
  C.CheckFileVersions();
  EXPECT_EQ(C.FCCCISratchpad, TCCCISratchpad::spLangTXT);
  C.Deliver(BuildFileAnswer(Dev(), 7, 0, 1, "lang lang_de.gz 3\r\n"));
  EXPECT_EQ(done, 1);
  // The same version as present: nothing either.
  C.ClearStreamAndBuffer();
  C.FMessDBVer = 12;
  C.CheckFileVersions();
  C.Deliver(BuildFileAnswer(Dev(), 7, 0, 1, "db MappingDB.gz 12\r\n"));
  EXPECT_EQ(done, 2);
  // A newer one: asked, fetched, unpacked, reported.
  C.ClearStreamAndBuffer();
  TThreadedMessageCallBack answer;
  C.FDisplayConnMessage = [&](const QString&, TMsgDlgType t, TThreadedMessageCallBack& cb, TMsgDlgButtons b, TMsgDlgBtn d) {
    EXPECT_EQ(t, TMsgDlgType::mtInformation);
    EXPECT_EQ(b, TMsgDlgButtons(mbYes | mbNo));
    EXPECT_EQ(d, mbYes);
    answer = cb;
  };
  C.CheckFileVersions();
  C.Deliver(BuildFileAnswer(Dev(), 7, 0, 1, "x y 1\r\ndb MAPPINGDB.GZ 13\r\n"));
  EXPECT_EQ(C.FMessDBVer, 13u);
  ASSERT_TRUE(answer);
  answer(nullptr, mrYes);
  TFileNameRequest req;
  ASSERT_EQ(DecodeFileNameRequest(C.Last().Bytes, req), QString());
  EXPECT_EQ(req.Name, QByteArray("MappingDB.gz"));
  QByteArray gz;
  ASSERT_EQ(GzipBytes("SQLite format 3", gz), QString());
  C.Deliver(BuildFileAnswer(Dev(), 7, 0, 1, gz));
  EXPECT_EQ(ReadAll(C.FIniFolder + "MappingDB.db"), QByteArray("SQLite format 3"));
  EXPECT_TRUE(NewXml.contains(QStringLiteral("2|") + C.FIniFolder + "MappingDB.db"));
  EXPECT_EQ(done, 3);
}

TEST_F(TFilesFixture, DataFoldersPerSerialNumber) {
  C.FDatadir = Dir.filePath("data");
  int done = 0;
  C.FOnConnDone = [&](QObject*, bool) { ++done; };
  C.SetDataFolders();
  EXPECT_EQ(C.FRecDir, Dir.filePath("data/4711/Recorder/"));
  EXPECT_TRUE(QDir(C.FRecDir).exists());
  EXPECT_TRUE(QDir(C.FEvtDir).exists());
  EXPECT_EQ(done, 1);
  // Every session start after a reconnect sets the folders again: they stay.
  C.SetDataFolders();
  C.SetDataFolders();
  EXPECT_EQ(C.FRecDir, Dir.filePath("data/4711/Recorder/"));
  EXPECT_EQ(C.FDatadir, Dir.filePath("data/4711/"));
  EXPECT_FALSE(QDir(Dir.filePath("data/4711/4711")).exists());
  // Another device behind the same address gets its own folder beside.
  C.FSN = 815;
  C.SetDataFolders();
  EXPECT_EQ(C.FEvtDir, Dir.filePath("data/815/Event/"));
}

TEST(DevicePaths, SplitAtSlash) {
  EXPECT_EQ(ExtractUnixFileName(QStringLiteral("/mnt/flashdrive0/a.evt")), QStringLiteral("a.evt"));
  EXPECT_EQ(ExtractUnixFilePath(QStringLiteral("/mnt/flashdrive0/a.evt")), QStringLiteral("/mnt/flashdrive0/"));
  EXPECT_EQ(ExtractUnixFileName(QStringLiteral("plain")), QStringLiteral("plain"));
  EXPECT_EQ(ExtractUnixFilePath(QStringLiteral("plain")), QString());
}

TEST_F(TFilesFixture, GnuTarJudgesOurArchives) {
  if (QProcess::execute(QStringLiteral("tar"), {QStringLiteral("--version")}) != 0) GTEST_SKIP() << "GNU tar missing";
  const QString xml = Dir.filePath("tmp/params.xml");
  ASSERT_NO_FATAL_FAILURE(Write(xml, "<setup/>"));
  C.FICDFile = Dir.filePath("tmp/station.icd");
  ASSERT_NO_FATAL_FAILURE(Write(C.FICDFile, "<SCL/>"));
  QString error;
  const QString tgz = C.TarFile(xml, error);
  ASSERT_FALSE(tgz.isEmpty()) << error.toStdString();
  QProcess tar;
  tar.start(QStringLiteral("tar"), {QStringLiteral("-tzf"), tgz});
  ASSERT_TRUE(tar.waitForFinished());
  EXPECT_EQ(tar.readAllStandardOutput(), QByteArray("setup.xml\nstation.icd\n"));
  // gzip itself reads what we pack.
  const QString gz = Dir.filePath("tmp/params.xml.gz");
  ASSERT_EQ(ZipFile(xml, gz), QString());
  QProcess gunzip;
  gunzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), gz});
  ASSERT_TRUE(gunzip.waitForFinished());
  EXPECT_EQ(gunzip.readAllStandardOutput(), QByteArray("<setup/>"));
  // And an archive GNU tar made unpacks with ours.
  const QString src = Dir.filePath("gnu");
  ASSERT_NO_FATAL_FAILURE(Write(src + "/setup.xml", "<from-gnu/>"));
  const QString gnu = Dir.filePath("gnu.tgz");
  ASSERT_EQ(QProcess::execute(QStringLiteral("tar"), {QStringLiteral("-czf"), gnu, QStringLiteral("-C"), src, QStringLiteral("setup.xml")}), 0);
  QString i, e1, r, x;
  ASSERT_TRUE(C.UnTarFile(ReadAll(gnu), Dir.filePath("out"), i, e1, r, x, error)) << error.toStdString();
  EXPECT_EQ(ReadAll(x), QByteArray("<from-gnu/>"));
}

// ---- streams ------------------------------------------------------------------------------

struct TStreamFixture : ::testing::Test {
  TFakeClock Clock;
  TTestComUnit C{Clock};
  int Updates = 0;
  void SetUp() override {
    C.FUpdateGrid = [this](QObject*) { ++Updates; };
    C.EnableTimer(true);
  }
  QByteArray Record(uint32_t obj, const QByteArray& body) { return BuildStreamData(Dev(), obj, {1700000000u, 5u}, body); }
};

TEST_F(TStreamFixture, BinaryStreamStartsBehindTheMeasurementStream) {
  C.FStreamRec.WithBinary = true;
  C.SendCommand(ccci::TCcci::STREAM_START, 0x04FFFFFFu);
  C.ManualTimer();
  C.Deliver(BuildStreamStarted(Dev(), 5));
  EXPECT_EQ(C.FStreamRec.ObjHdl, 5u);
  EXPECT_TRUE(C.FStreamRec.Active);
  EXPECT_EQ(C.FStreamRec.BinaryHdl, 1u) << "binary start requested";
  ASSERT_EQ(C.CountSendLst(), 1);
  EXPECT_EQ(C.SendList()[0].ID, CBinaryObjectId);
  C.ManualTimer();
  C.Deliver(BuildStreamStarted(Dev(), 6));
  EXPECT_EQ(C.FStreamRec.ObjHdl, 5u) << "the second handle is the binary stream's";
  EXPECT_EQ(C.FStreamRec.BinaryHdl, 6u);
}

TEST_F(TStreamFixture, RecordsAreStoredAndPolledAboutOnceASecond) {
  C.FtmeSet.tz = 2;  // +1 h
  C.FStreamRec.ObjHdl = 7;
  const QByteArray body(2320 - 12, '\x42');
  C.Deliver(Record(0x04FFFFFF, body));
  EXPECT_EQ(Updates, 1);
  EXPECT_EQ(C.FBytes.FBytes.size(), 2320);
  EXPECT_EQ(GetU32At(C.FBytes.FBytes, 0), 0x04FFFFFFu);
  EXPECT_EQ(C.FBytes.TS_Mess.Sec, 1700000000u + 3600u) << "stamp in the device's local time";
  EXPECT_TRUE(C.FNextStreamBool);
  EXPECT_EQ(C.FNextStreamDT, Clock.Now + 1000);
  // No handle, no record.
  C.FStreamRec.ObjHdl = 0;
  C.Deliver(Record(0x04FFFFFF, body));
  EXPECT_EQ(Updates, 1);
}

TEST_F(TStreamFixture, ConsumersGetTheRecordTypedWithoutGuessing) {
  C.FStreamRec = {0x04FFFFFF, 5, true, true, 6};
  std::vector<std::tuple<uint32_t, TStreamKind, uint32_t, QByteArray>> seen;
  C.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    seen.emplace_back(r.ObjId, r.Kind, r.Stamp.Sec, r.Record.toByteArray());
  };
  const QByteArray body(2320 - 12, '\x42');
  C.Deliver(Record(0x04FFFFFF, body));
  TBinaryInputRecord bin;
  bin.Id = CBinaryObjectId;
  bin.States = QByteArray::fromHex("01");
  C.ClearStreamAndBuffer();
  C.Deliver(BuildBinaryInput(Dev(), bin));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(std::get<0>(seen[0]), 0x04FFFFFFu);
  EXPECT_EQ(std::get<1>(seen[0]), TStreamKind::skMeasurement);
  EXPECT_EQ(std::get<2>(seen[0]), 1700000000u) << "the device's own UTC stamp";
  EXPECT_EQ(std::get<3>(seen[0]).size(), 2320);
  EXPECT_EQ(GetU32At(std::get<3>(seen[0]), 0), 0x04FFFFFFu) << "the record starts with its object id";
  EXPECT_EQ(std::get<0>(seen[1]), CBinaryObjectId);
  EXPECT_EQ(std::get<1>(seen[1]), TStreamKind::skBinary);
  // A record too short for its kind is not handed on.
  C.ClearStreamAndBuffer();
  C.Deliver(Record(0x04FFFFFF, QByteArray(3, '\0')));
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(TStreamFixture, OscilloscopeHeaderDependsOnTheGeneration) {
  struct Case {
    uint8_t Gen;
    int Skip;
  };
  for (const Case k : {Case{0, 20}, Case{1, 40}, Case{2, 40}, Case{3, 0}}) {
    TTestComUnit c(Clock);
    c.FRev.SetRaw(TVantaFW::MakeRaw(k.Gen, 2, 10, 0));
    c.FStreamRec.ObjHdl = 3;
    QByteArray body(k.Skip, '\0');
    TByteWriter w(body);
    w.U32(512);
    w.U32(12800);
    body.append(64, 's');
    c.Deliver(Record(0x08FFFFFF, body));
    EXPECT_EQ(c.FBytes.SmplCnt, 512u) << int(k.Gen);
    EXPECT_EQ(c.FBytes.smplrte, 12800u) << int(k.Gen);
  }
}

TEST_F(TStreamFixture, BinaryRecordsGoToTheirCallbackAndAreRequestedAgain) {
  C.FStreamRec = {0x04FFFFFF, 5, true, true, 6};
  std::vector<QByteArray> got;
  C.FBinInCB = [&](QObject*, uint32_t n, const QByteArray& states) {
    EXPECT_EQ(n, uint32_t(states.size()));
    got.push_back(states);
  };
  TBinaryInputRecord rec;
  rec.Id = CBinaryObjectId;
  rec.States = QByteArray::fromHex("0100");
  C.Deliver(BuildBinaryInput(Dev(), rec));
  rec.States.clear();
  C.ClearStreamAndBuffer();
  C.Deliver(BuildBinaryInput(Dev(), rec));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], QByteArray::fromHex("0100"));
  EXPECT_TRUE(got[1].isEmpty()) << "inputCnt 0 gives an empty array";
  EXPECT_TRUE(C.LogHas(QStringLiteral("BinaryStream: id: 10000000 | sec: 0 | frac: 0 | Ver: 0 | inputCnt: 2 | input: 2")));
  EXPECT_FALSE(C.FNextStreamBool) << "binary records do not schedule the measurement poll";
  EXPECT_EQ(C.SendList().back().ID, 6u);
}

TEST_F(TStreamFixture, StoppedAnswerClearsTheStream) {
  C.FStreamRec = {0x04FFFFFF, 5, true, false, 0};
  C.FBytes.FBytes = "old";
  C.Deliver(BuildStreamStopped(Dev()));
  EXPECT_TRUE(C.FBytes.FBytes.isEmpty());
  EXPECT_EQ(C.FStreamRec.ObjHdl, 0u);
  EXPECT_FALSE(C.FStreamRec.Active);
}

TEST_F(TStreamFixture, NtpRequestAnsweredOnTheGuiPath) {
  C.FSN = 9;
  C.FWaitForAnswer = true;
  QByteArray packet(48, '\0');
  packet[0] = char(0x23);
  C.Deliver(BuildNtpTunnel(Dev(), TNtpTunnelKind::ntOpened));
  EXPECT_TRUE(C.FNTPTunnelActive);
  C.Deliver(BuildNtpTunnel(Dev(), TNtpTunnelKind::ntRequest, packet));
  ASSERT_FALSE(C.Sent.empty());
  const ccc_head_t h = C.Last().Head();
  EXPECT_EQ(h.CMD, 9);
  EXPECT_EQ(h.ExtCmd, 3);
  EXPECT_EQ(h.Size, 68u);
  EXPECT_EQ(h.SN, 9u);
  EXPECT_EQ(uint8_t(C.Last().Bytes[20]) & 7, 4) << "server mode";
  EXPECT_TRUE(C.LogHas(QStringLiteral("NTP Answer")));
  C.Deliver(BuildNtpTunnel(Dev(), TNtpTunnelKind::ntClosed));
  EXPECT_FALSE(C.FNTPTunnelActive);
}
