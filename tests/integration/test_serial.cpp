// The serial transport: the port class on a pseudo-terminal, and the whole
// client over the simulator's serial line.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <fcntl.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

#include "RsComUnit.h"
#include "SimProcess.h"
#include "TestSupport.h"

using namespace vanta;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {
// The controlling side of a fresh pseudo terminal; the unit opens its
// slave as if it were an adapter. -1 when the system has none to give.
int OpenPtyMaster() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return -1;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ::close(master);
    return -1;
  }
  return master;
}
}  // namespace

TEST(Rs232Unit, NumberedPortsAndMissingPorts) {
  EXPECT_EQ(TRS232Unit::DevicePathForNumber(3), QStringLiteral("/dev/ttyUSB3"));
  TRS232Unit u;
  u.SetPort(QStringLiteral("/dev/does-not-exist"));
  QString error;
  EXPECT_FALSE(u.OpenPort(error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(u.CheckConnection());
}

TEST(Rs232Unit, LargeWritesGoInPiecesWithProgress) {
  const int master = OpenPtyMaster();
  ASSERT_GE(master, 0);
  TRS232Unit u;
  u.SetPort(QString::fromLocal8Bit(::ptsname(master)));
  QString error;
  ASSERT_TRUE(u.OpenPort(error)) << error.toStdString();
  EXPECT_TRUE(u.CheckConnection());
  std::atomic<qint64> drained{0};
  std::thread reader([&] {
    char buf[65536];
    while (drained < 100000) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      drained += n;
    }
  });
  QList<qint64> progress;
  qint64 count = 0;
  ASSERT_TRUE(u.WriteData(QByteArray(100000, 'f'), count, [&](qint64 n) { progress << n; }, error));
  reader.join();
  EXPECT_EQ(count, 100000);
  EXPECT_EQ(progress, (QList<qint64>{40960, 81920, 100000}));
  EXPECT_EQ(drained.load(), 100000);
  // Pulling the line: the port notices.
  ::close(master);
  EXPECT_TRUE(SpinUntil([&] { return !u.CheckConnection(); }, 1000));
}

namespace {
struct TSerialClient {
  std::unique_ptr<TRSComUnit> U = std::make_unique<TRSComUnit>();
  QStringList Log, Messages;
  int Done = 0, Closes = 0;
  TSerialClient() {
    U->FOnLogCallBack = [this](QObject*, const QString& l, bool) { Log << l; };
    U->FOnConnDone = [this](QObject*, bool ok) { Done += ok; };
    U->FDisplayConnMessage = [this](const QString& t, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) {
      Messages << t;
    };
    U->FRequestClose = [this](QObject*) { ++Closes; };
  }
  ~TSerialClient() { U->FOnLogCallBack = nullptr; }
};
}  // namespace

TEST(SerialClient, SessionIdentityAndLuaOverTheLine) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  ASSERT_FALSE(sim.PtyPath.isEmpty());
  TSerialClient c;
  c.U->SetPortPath(sim.PtyPath);
  c.U->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected(); }));
  c.U->StartSession(false);
  ASSERT_TRUE(SpinUntil([&] { return c.Done > 0; }, 5000));
  EXPECT_EQ(c.U->FSN, 12345678u);
  EXPECT_EQ(c.U->FVer, 4);
  QString out;
  // Progress of the long answer reaches the client while the bytes still
  // come in, not once the line is quiet: that keeps the answer timer fed.
  std::vector<int64_t> progressBeforeEnd;
  c.U->FOnWorkEvent = [&](TWorkMode mode, int64_t count, TWorkStatus st) {
    if (mode == TWorkMode::wmRead && st == TWorkStatus::WorkWorking && out.isEmpty()) progressBeforeEnd.push_back(count);
  };
  c.U->RunLua(QStringLiteral("print(string.rep('s', 50000))"), [&](QObject*, const QString& t) { out = t; });
  ASSERT_TRUE(SpinUntil([&] { return !out.isEmpty(); }, 5000));
  EXPECT_EQ(out.size(), 50002);
  ASSERT_GE(progressBeforeEnd.size(), 2u);
  EXPECT_LT(*std::min_element(progressBeforeEnd.begin(), progressBeforeEnd.end()), 40000) << "told while still arriving";
  c.U->FOnWorkEvent = nullptr;
  bool closed = false;
  c.U->ShutDown(c.U.get(), [&](QObject*) { closed = true; });
  EXPECT_TRUE(SpinUntil([&] { return closed; }, 6000));
}

TEST(SerialClient, LoginOverTheLine) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  TSerialClient c;
  c.U->SetSSHUserPass(QStringLiteral("operator"), QStringLiteral("operator"));
  c.U->SetPortPath(sim.PtyPath);
  c.U->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected(); }));
  c.U->StartSession(true);
  ASSERT_TRUE(SpinUntil([&] { return c.Done > 0; }, 5000));
  EXPECT_EQ(c.U->FVer, 5);
}

TEST(SerialClient, PulledLineIsReportedOnceAndNothingHangs) {
  TSimProcess sim;
  // The device "pulls the line" once it has sent this many bytes.
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty"), QStringLiteral("--fault"), QStringLiteral("close-after=1000")}));
  TSerialClient c;
  c.U->SetPortPath(sim.PtyPath);
  c.U->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected(); }));
  c.U->StartSession(false);
  ASSERT_TRUE(SpinUntil([&] { return c.Messages.contains(UsbLostText()); }, 5000));
  SpinFor(500);
  EXPECT_EQ(c.Messages.count(UsbLostText()), 1);
  EXPECT_EQ(c.Closes, 1) << "the window is asked to close";
  EXPECT_FALSE(c.U->IsConnected());
  EXPECT_FALSE(c.U->IsTimerActive());
}

TEST(SerialCli, CommandsOverTheSerialLine) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  QTemporaryDir dir;
  auto run = [&](const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VANTA_CLI_PATH), QStringList{QStringLiteral("--serial"), sim.PtyPath, QStringLiteral("--data-dir"), dir.path()} + args);
    p.waitForFinished(30000);
    return std::pair<int, QString>(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
  };
  auto [rc, out] = run({QStringLiteral("identify")});
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(out.contains(QStringLiteral("serial:       12345678")));
  std::tie(rc, out) = run({QStringLiteral("lua"), QStringLiteral("print(6*7)")});
  EXPECT_EQ(out, QStringLiteral("42\n"));
  std::tie(rc, out) = run({QStringLiteral("setup"), QStringLiteral("get"), dir.filePath(QStringLiteral("s.xml"))});
  EXPECT_EQ(rc, 0);
  EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("s.xml"))).size(), 10000);
  std::tie(rc, out) = run({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("12345678-1764903600-375.log")});
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(QFileInfo(dir.filePath(QStringLiteral("12345678/Event/12345678-1764903600-375.log"))).size(), 149);
}

TEST(SerialClient, PortIsOpenedExclusively) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  TSerialClient first;
  first.U->SetPortPath(sim.PtyPath);
  first.U->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return first.U->IsConnected(); }));
  TRS232Unit second;
  second.SetPort(sim.PtyPath);
  QString error;
  EXPECT_FALSE(second.OpenPort(error)) << "a second window must not share the line";
  EXPECT_FALSE(error.isEmpty());
  TSerialClient third;
  third.U->SetPortPath(sim.PtyPath);
  third.U->DoConnect();
  EXPECT_TRUE(SpinUntil([&] { return third.Log.join(QLatin1Char('\n')).contains(QStringLiteral("nicht geöffnet")); }, 3000));
  EXPECT_FALSE(third.U->IsConnected());
}

TEST(SerialClient, WriteFailureReachesThreadException) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  TSerialClient c;
  bool except = false;
  c.U->FThreadExceptCallBack = [&](QObject*) { except = true; };
  c.U->SetPortPath(sim.PtyPath);
  c.U->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected(); }));
  sim.Stop();  // the device side of the line is gone
  c.U->SendCommandStream(QByteArray(100000, 'x'), false);
  // Whichever the reader notices first, the write failing or the line
  // closing, the loss is told, and told once.
  auto messages = [&] { return int(c.Messages.count(ConnectionLostText()) + c.Messages.count(UsbLostText())); };
  const bool told = SpinUntil([&] { return except || messages() > 0; }, 5000);
  EXPECT_TRUE(told) << c.Log.join(QLatin1Char('\n')).toStdString();
  SpinFor(500);
  EXPECT_LE(messages(), 1) << c.Messages.join(QLatin1Char('\n')).toStdString();
  // The reader drops its connected state on its own turn, which may come
  // just after the report under load.
  EXPECT_TRUE(SpinUntil([&] { return !c.U->IsConnected(); }, 2000));
}

TEST(Rs232Unit, PortListHasNoNonsense) {
  for (const QString& p : TRS232Unit::AvailablePorts()) EXPECT_TRUE(p.startsWith(QStringLiteral("/dev/"))) << p.toStdString();
}

TEST(Rs232Unit, WriteToADeviceThatTakesNothingTimesOut) {
  const int master = OpenPtyMaster();
  ASSERT_GE(master, 0);
  TRS232Unit u;
  u.SetPort(QString::fromLocal8Bit(::ptsname(master)));
  QString error;
  ASSERT_TRUE(u.OpenPort(error)) << error.toStdString();
  u.FWriteMsPerByte = 0;  // 100 ms per piece instead of minutes
  qint64 count = 0;
  QElapsedTimer t;
  t.start();
  // Nobody reads the other end: the line's buffer fills and the write stalls.
  EXPECT_FALSE(u.WriteData(QByteArray(4 * 1024 * 1024, 'w'), count, {}, error));
  EXPECT_EQ(error, QStringLiteral("Zeitüberschreitung beim Schreiben"));
  EXPECT_LT(t.elapsed(), 5000);
  ::close(master);
}
