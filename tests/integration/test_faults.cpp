// The fault matrix between vanta-cli and the simulator through a proxy
// that cuts, delays, splits and corrupts: each case ends by its deadline
// with a clear message, and nothing is lost (a download resumed afterwards
// is byte-identical, an upload is either whole on the device or reported).
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <memory>
#include <vector>

#include "CliSupport.h"
#include "FaultProxy.h"
#include "TcpComUnit.h"
#include "TestSupport.h"
#include "FaultSupport.h"

namespace vanta::test::cli {
namespace {

TEST_F(FaultTest, ADownloadCutInItsPayloadIsReportedAndResumesByteIdentical) {
  const QByteArray file = Noise(200000).toLatin1();
  WriteAll(Device(QStringLiteral("events/EVT-1765000000-0.evt")), file);
  TFaultProxy proxy(Sim.Port, TFaults{.CutDeviceAfter = 120000});
  const QStringList get{QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("EVT-1765000000-0.evt")};
  const TRun cut = Through(proxy, get);
  EXPECT_TRUE(proxy.Cut);
  EXPECT_NE(cut.Exit, 0);
  EXPECT_FALSE(cut.Err.trimmed().isEmpty()) << "a message says why";
  EXPECT_FALSE(QFile::exists(Data.filePath(QStringLiteral("12345678/Event/EVT-1765000000-0.evt"))))
      << "an incomplete file never carries its final name";
  const TRun again = Through(proxy, get);  // the proxy passes later connections untouched
  ASSERT_EQ(again.Exit, 0) << again.Err.toStdString();
  EXPECT_EQ(ReadAll(Data.filePath(QStringLiteral("12345678/Event/EVT-1765000000-0.evt"))), file);
}

TEST_F(FaultTest, AnUploadCutOnTheWayLeavesNoHalfFileOnTheDevice) {
  const QString local = Data.filePath(QStringLiteral("up.bin"));
  WriteAll(local, Noise(300000).toLatin1());
  TFaultProxy proxy(Sim.Port, TFaults{.CutClientAfter = 150000});
  const TRun r = Through(proxy, {QStringLiteral("scratchpad"), QStringLiteral("put"), local, QStringLiteral("up.bin")});
  EXPECT_TRUE(proxy.Cut);
  EXPECT_NE(r.Exit, 0);
  EXPECT_FALSE(QFile::exists(Device(QStringLiteral("ccci/scratchpad/up.bin"))));
  const TRun whole =
      Through(proxy, {QStringLiteral("scratchpad"), QStringLiteral("put"), local, QStringLiteral("up.bin")});
  ASSERT_EQ(whole.Exit, 0) << whole.Err.toStdString();
  EXPECT_EQ(ReadAll(Device(QStringLiteral("ccci/scratchpad/up.bin"))), ReadAll(local));
}

TEST_F(FaultTest, LateAnswersAndOneBytePiecesStillWork) {
  TFaultProxy late(Sim.Port, TFaults{.DelayMs = 700});
  TRun r = Through(late, {QStringLiteral("lua"), QStringLiteral("print(6*7)")});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out, QStringLiteral("42\n"));
  TFaultProxy pieces(Sim.Port, TFaults{.OneByteWrites = true});
  r = Through(pieces, {QStringLiteral("lua"), QStringLiteral("print(string.rep('ab', 3000))")});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.trimmed().size(), 6000);
}

TEST_F(FaultTest, ALineCutInAHeaderEndsWithAMessage) {
  for (const int64_t at : {10, 160}) {
    TFaultProxy proxy(Sim.Port, TFaults{.CutDeviceAfter = at});
    const TRun r = Through(proxy, {QStringLiteral("identify")});
    EXPECT_NE(r.Exit, 0) << "cut after " << at << ": " << r.Out.toStdString();
    EXPECT_FALSE(r.Err.trimmed().isEmpty());
  }
}

// A changed CMD or Size byte: the client either gets through with the right
// answer or says why not; it never reports a wrong identity.
TEST_F(FaultTest, ACorruptAnswerIsNeverTakenForAnother) {
  for (const int64_t at : {0, 12, 150}) {  // CMD, Size, payload of the session answer
    TFaultProxy proxy(Sim.Port, TFaults{.CorruptAt = at});
    const TRun r = Through(proxy, {QStringLiteral("identify")});
    if (r.Exit == 0)
      EXPECT_TRUE(r.Out.contains(QLatin1String("12345678"))) << "byte " << at << ": " << r.Out.toStdString();
    else
      EXPECT_FALSE(r.Err.trimmed().isEmpty()) << "byte " << at;
  }
}

}  // namespace
}  // namespace vanta::test::cli

namespace vanta::test::cli {
namespace {

// A device that takes a request and never answers it: the command ends by
// its time limit with a message, and the next command on a fresh line works.
class StallTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--fault"), QStringLiteral("stall=5")}; }
};

TEST_F(StallTest, AnUnansweredDownloadEndsByItsDeadline) {
  QElapsedTimer t;
  t.start();
  const TRun r =
      Cli({QStringLiteral("--timeout"), QStringLiteral("4"), QStringLiteral("events"), QStringLiteral("list")}, 30000);
  EXPECT_LT(t.elapsed(), 20000);
  EXPECT_NE(r.Exit, 0);
  EXPECT_NE(r.Exit, -1);
  EXPECT_FALSE(r.Err.trimmed().isEmpty());
  const TRun lua = Cli({QStringLiteral("lua"), QStringLiteral("print(1)")});
  EXPECT_EQ(lua.Exit, 0) << "other commands are answered";
}

}  // namespace
}  // namespace vanta::test::cli

namespace vanta::test::cli {
namespace {

// More sessions than the device takes: the one too many is told why and
// ends; the held sessions are not disturbed.
class ConnectionLimitTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--max-connections"), QStringLiteral("2")}; }
};

TEST_F(ConnectionLimitTest, AThirdConnectionIsRefusedWithTheDevicesReason) {
  std::vector<std::unique_ptr<QProcess>> held;
  for (int i = 0; i < 2; ++i) {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(VANTA_CLI_PATH),
             {QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"),
              Data.filePath(QString::number(i)), QStringLiteral("soak"), QStringLiteral("--seconds"),
              QStringLiteral("10"), QStringLiteral("--samples"), Data.filePath(QStringLiteral("s%1.csv").arg(i)),
              QStringLiteral("--sample-every"), QStringLiteral("2")});
    ASSERT_TRUE(p->waitForStarted());
    held.push_back(std::move(p));
  }
  QThread::msleep(1500);  // both sessions are up
  const TRun third = Cli({QStringLiteral("identify")}, 20000);
  EXPECT_NE(third.Exit, 0);
  EXPECT_NE(third.Exit, -1);
  EXPECT_TRUE(third.Err.contains(QStringLiteral("zwei aktive Verbindungen"))) << third.Err.toStdString();
  for (auto& p : held) {
    ASSERT_TRUE(p->waitForFinished(30000));
    // The soak's own verdict needs more samples; what counts here is that it worked on.
    const QString err = QString::fromUtf8(p->readAllStandardError());
    EXPECT_FALSE(err.contains(QStringLiteral("zwei aktive Verbindungen"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression(QStringLiteral("[1-9][0-9]* cycles")))) << err.toStdString();
  }
  EXPECT_EQ(Cli({QStringLiteral("identify")}).Exit, 0) << "a freed place is taken again";
}

// The line lost in the middle of a calibration: the run ends with a
// message, keeps no certificate, and the device calibrates on the next line.
class CalibFaultTest : public FaultTest {
 protected:
  QStringList SimArgs() override {
    return {QStringLiteral("--firmware"), QStringLiteral("2.9.3"), QStringLiteral("--reboot-ms"),
            QStringLiteral("200")};
  }
};

TEST_F(CalibFaultTest, ALineLostDuringACalibrationEndsItWithoutACertificate) {
  QTemporaryDir out;
  const QString pdf = out.filePath(QStringLiteral("cert.pdf"));
  const QStringList calibrate{QStringLiteral("calibrate"),
                              QStringLiteral("--assume-wired"),
                              QStringLiteral("--wait-scale"),
                              QStringLiteral("0"),
                              QStringLiteral("--freq"),
                              QStringLiteral("50"),
                              QStringLiteral("--u"),
                              QStringLiteral("230"),
                              QStringLiteral("--i"),
                              QStringLiteral("1"),
                              QStringLiteral("--report"),
                              pdf};
  // In the channel passes, and just after the device kept the calibration.
  for (const int64_t at : {900, 3000}) {
    TFaultProxy proxy(Sim.Port, TFaults{.CutDeviceAfter = at});
    const TRun cut = Through(proxy, calibrate, 40000);
    EXPECT_TRUE(proxy.Cut);
    EXPECT_NE(cut.Exit, 0) << "cut after " << at;
    EXPECT_TRUE(cut.Err.contains(QLatin1String("Verbindungsabbruch"))) << cut.Err.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));
  }
  TFaultProxy proxy(Sim.Port, TFaults{});
  const TRun again = Through(proxy, calibrate, 40000);
  EXPECT_EQ(again.Exit, 0) << again.Err.toStdString();
  EXPECT_TRUE(QFile::exists(pdf));
}

}  // namespace
}  // namespace vanta::test::cli

// ---- downloads that must never be doubled, misfiled or lost ------------------------------

namespace vanta::test::cli {
namespace {

// One client in this process, connected through the proxy, with the
// readout callbacks recorded.
struct TDownloader {
  std::unique_ptr<TTCPComUnit> U = std::make_unique<TTCPComUnit>(false);
  QStringList Stored, Failed;
  bool Done = false;
  bool Connect(uint16_t port, const QString& data) {
    U->FDatadir = data + QLatin1Char('/');
    U->FTmpDir = data + QStringLiteral("/tmp/");
    U->FSetFolders = true;
    U->FOnConnDone = [this](QObject*, bool ok) { Done = ok; };
    U->FEvtToTable = [this](QObject*, const QString& p) { Stored << p; };
    U->FFileFailed = [this](QObject*, const QString& path, const QString&, const QString& why) { Failed << path + ": " + why; };
    U->SetIPAndPort(QStringLiteral("127.0.0.1"), port);
    U->DoConnect();
    return SpinUntil([this] { return Done; }, 8000);
  }
  void Ask(const QString& name, uint64_t size) {
    U->ExpectFileSize(name, size);
    U->SendCommand(ccci::TCcci::READOUT_EVT_RD, name, 0, false);
    U->ManualTimer();
  }
  ~TDownloader() {
    bool closed = false;
    U->ShutDown(U.get(), [&](QObject*) { closed = true; });
    SpinUntil([&] { return closed; }, 6000);
  }
};

TEST_F(FaultTest, ALineLostAndConnectedAgainKeepsTheDataFolder) {
  TFaultProxy proxy(Sim.Port, TFaults{});
  TDownloader d;
  ASSERT_TRUE(d.Connect(proxy.Port, Data.path()));
  const QString rec = d.U->FRecDir, evt = d.U->FEvtDir;
  EXPECT_EQ(rec, Data.filePath(QStringLiteral("12345678/Recorder/")));
  for (int i = 0; i < 2; ++i) {
    d.Done = false;
    d.U->DoDisconnect(false);
    ASSERT_TRUE(SpinUntil([&] { return !d.U->IsConnected(); }, 5000));
    d.U->DoConnect();
    ASSERT_TRUE(SpinUntil([&] { return d.Done; }, 8000)) << "connected again";
  }
  EXPECT_EQ(d.U->FRecDir, rec) << "a session start after a reconnect does not nest the serial number";
  EXPECT_EQ(d.U->FEvtDir, evt);
  EXPECT_FALSE(QDir(Data.filePath(QStringLiteral("12345678/12345678"))).exists());
}

TEST_F(FaultTest, ADiskThatFillsUpMidFileIsToldAndTheFileResumesByteIdentical) {
  const QByteArray file = Noise(300000).toLatin1();
  WriteAll(Device(QStringLiteral("events/EVT-1765000000-0.evt")), file);
  TFaultProxy proxy(Sim.Port, TFaults{});
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("VANTA_FAULT_DISK_FULL_AFTER"), QStringLiteral("100000"));
  const QStringList get{QStringLiteral("--port"), QString::number(proxy.Port), QStringLiteral("--data-dir"), Data.path(),
                        QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("EVT-1765000000-0.evt")};
  const TRun full = RunCli(get, 30000, env);
  EXPECT_EQ(full.Exit, 5) << full.Err.toStdString();
  EXPECT_TRUE(full.Err.contains(QStringLiteral("EVT-1765000000-0.evt (Auf dem Datenträger ist kein Platz mehr)")))
      << full.Err.toStdString();
  const QString local = Data.filePath(QStringLiteral("12345678/Event/EVT-1765000000-0.evt"));
  EXPECT_FALSE(QFile::exists(local));
  EXPECT_EQ(QFileInfo(local + QStringLiteral(".part")).size(), 100000) << "what fitted is kept for the resume";
  const TRun again = RunCli(get);
  ASSERT_EQ(again.Exit, 0) << again.Err.toStdString();
  EXPECT_TRUE(again.Out.contains(QStringLiteral("resumed at 100000"))) << again.Out.toStdString();
  EXPECT_EQ(ReadAll(local), file);
}

TEST_F(FaultTest, TwoRequestsForOnePositionStoreTheFileOnce) {
  const QByteArray file = Noise(50000).toLatin1();
  WriteAll(Device(QStringLiteral("events/EVT-1765000000-0.evt")), file);
  TFaultProxy proxy(Sim.Port, TFaults{.DelayMs = 200});
  TDownloader d;
  ASSERT_TRUE(d.Connect(proxy.Port, Data.path()));
  d.Ask(QStringLiteral("EVT-1765000000-0.evt"), uint64_t(file.size()));
  d.Ask(QStringLiteral("EVT-1765000000-0.evt"), uint64_t(file.size()));  // a double click
  ASSERT_TRUE(SpinUntil([&] { return !d.Stored.isEmpty(); }, 10000));
  SpinFor(1500);
  EXPECT_EQ(d.Stored.size(), 1) << "one answer, one file";
  EXPECT_EQ(ReadAll(d.Stored[0]), file) << "not doubled";
  EXPECT_TRUE(d.Failed.isEmpty()) << d.Failed.join('\n').toStdString();
}

TEST_F(FaultTest, AnAnswerThatComesAfterTheGiveUpNeverLandsInTheNextFile) {
  const QByteArray first(30000, '1'), second(20000, '2');
  WriteAll(Device(QStringLiteral("events/EVT-1765000000-0.evt")), first);
  WriteAll(Device(QStringLiteral("events/EVT-1765000100-0.evt")), second);
  TFaultProxy proxy(Sim.Port, TFaults{});
  TDownloader d;
  ASSERT_TRUE(d.Connect(proxy.Port, Data.path()));
  SpinFor(300);
  // The first answer is held back past the client's give-up (over 10 s of
  // silence); the line keeps its order, as a device's does.
  proxy.HoldNextMs = 12500;
  d.Ask(QStringLiteral("EVT-1765000000-0.evt"), uint64_t(first.size()));
  ASSERT_TRUE(SpinUntil([&] { return !d.Failed.isEmpty(); }, 15000)) << "the unanswered file is given up and told";
  EXPECT_TRUE(d.Failed[0].startsWith(QStringLiteral("EVT-1765000000-0.evt: keine Antwort")));
  d.Ask(QStringLiteral("EVT-1765000100-0.evt"), uint64_t(second.size()));
  ASSERT_TRUE(SpinUntil([&] { return !d.Stored.isEmpty(); }, 20000)) << d.Failed.join('\n').toStdString();
  EXPECT_EQ(ReadAll(d.Stored[0]), second) << "the second file holds its own answer";
  EXPECT_FALSE(QFile::exists(Data.filePath(QStringLiteral("12345678/Event/EVT-1765000000-0.evt"))));
}

}  // namespace
}  // namespace vanta::test::cli
