// The TCP client against the simulator process (and against hostile peers).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <atomic>
#include <random>

#include "ByteOrder.h"
#include "SimProcess.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {
// A client with every callback recorded.
struct TClient {
  explicit TClient(TNowFunc now = {}) : U(std::make_unique<TTCPComUnit>(false, nullptr, std::move(now))) {
    U->FOnLogCallBack = [this](QObject*, const QString& l, bool) { Log << l; };
    U->FOnConnDone = [this](QObject*, bool ok) { (ok ? Done : Failed) += 1; };
    U->FConnectThreadEnd = [this](QObject*, bool ok, bool) {
      if (ok) ++Connected;
    };
    U->FDisplayConnMessage = [this](const QString& t, TMsgDlgType, TThreadedMessageCallBack& cb, TMsgDlgButtons, TMsgDlgBtn) {
      Messages << t;
      LastCb = cb;
    };
    U->FNAKCB = [this](QObject*, uint32_t code) { Naks.push_back(code); };
    U->FClearWork = [this] { ++Cleared; };
  }
  bool Connect(uint16_t port, int timeoutMs = 5000) {
    U->SetIPAndPort("127.0.0.1", port);
    U->DoConnect();
    return SpinUntil([this] { return Done > 0 || Failed > 0 || !Messages.isEmpty(); }, timeoutMs) && Done > 0;
  }
  QString Lua(const QString& statement, bool* ok = nullptr) {
    QString out;
    bool got = false;
    U->RunLua(statement, [&](QObject*, const QString& t) {
      out = t;
      got = true;
    });
    const bool arrived = SpinUntil([&] { return got; }, 5000);
    if (ok) *ok = arrived && U->FSuccess;
    return out;
  }
  // The session is started by hand once connected: `method` 0 with a
  // password, 1 with a ticket.
  void StartWith(uint8_t method, const QByteArray& user, const QByteArray& secret) {
    U->FAutoSessionStart = false;
    U->FConnectThreadEnd = [this, method, user, secret](QObject*, bool ok, bool) {
      if (ok) U->SendStartCommand(method, user, secret);
    };
  }
  bool Shutdown(int timeoutMs = 6000) {
    bool closed = false;
    U->ShutDown(U.get(), [&](QObject*) { closed = true; });
    return SpinUntil([&] { return closed; }, timeoutMs);
  }
  bool LogHas(const QString& s) const { return Log.contains(s); }
  bool LogStarts(const QString& s) const {
    for (const QString& l : Log)
      if (l.startsWith(s)) return true;
    return false;
  }

  std::unique_ptr<TTCPComUnit> U;
  QStringList Log;
  QStringList Messages;
  TThreadedMessageCallBack LastCb;
  std::vector<uint32_t> Naks;
  int Done = 0, Failed = 0, Connected = 0, Cleared = 0;
};

QString SimLog(TSimProcess& sim) { return QString::fromUtf8(sim.Stderr()); }
}  // namespace

TEST(ClientSession, Protocol4StartByVisibility) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  for (int vis : {1, 2}) {
    TClient c;
    c.U->FVisibility = vis;
    ASSERT_TRUE(c.Connect(sim.Port));
    EXPECT_EQ(c.U->FVer, 4);
    EXPECT_EQ(c.U->FUser, "ccci") << "FTP login from the protocol-4 answer";
    EXPECT_TRUE(c.LogHas(vis >= 2 ? "Liste -> Kommando hinzugefügt: CCC_SESSION_STR_SUP CMD: 1 Priv: 2 ExtCmd: 3"
                                  : "Liste -> Kommando hinzugefügt: CCC_SESSION_STR_ADV CMD: 1 Priv: 1 ExtCmd: 2"));
    EXPECT_TRUE(c.Shutdown());
  }
  SpinFor(50);
  const QString log = SimLog(sim);
  EXPECT_TRUE(log.contains("level 1, protocol 4"));
  EXPECT_TRUE(log.contains("level 2, protocol 4"));
}

TEST(ClientSession, Protocol5WithPasswordThenWithTicket) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TClient a;
  a.StartWith(0, "operator", "operator");
  ASSERT_TRUE(a.Connect(sim.Port));
  EXPECT_EQ(a.U->FVer, 5);
  bool ok = false;
  const QString ticket = a.Lua("print(user.ticketGet())", &ok).trimmed();
  ASSERT_TRUE(ok);
  ASSERT_EQ(ticket.size(), 32);

  TClient b;
  b.StartWith(1, "operator", ticket.toLatin1());
  ASSERT_TRUE(b.Connect(sim.Port));
  EXPECT_EQ(b.U->FVer, 5);
  EXPECT_TRUE(b.LogHas(QStringLiteral("Sending Auth with User: operator and Ticket ") + ticket));
}

TEST(ClientSession, FallsBackToProtocol4AfterNak134) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--protocol", "4"}));
  TClient c;
  c.StartWith(0, "operator", "operator");
  ASSERT_TRUE(c.Connect(sim.Port));
  EXPECT_TRUE(c.LogHas("FallBack CCCI V4"));
  EXPECT_EQ(c.U->FVer, 4);
  EXPECT_TRUE(c.Messages.isEmpty());
}

TEST(ClientSession, WrongCredentialsAreShownAsNoAccess) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TClient c;
  c.U->SetSSHUserPass("operator", "wrong");
  c.StartWith(0, "operator", "wrong");
  EXPECT_FALSE(c.Connect(sim.Port));
  ASSERT_EQ(c.Messages.size(), 1);
  EXPECT_EQ(c.Messages[0], "Der Nutzer operator hat keinen Zugriff auf diese Funktion");
}

TEST(ClientSession, ThirdConnectionIsToldOnce) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TClient a, b, c;
  ASSERT_TRUE(a.Connect(sim.Port));
  ASSERT_TRUE(b.Connect(sim.Port));
  EXPECT_FALSE(c.Connect(sim.Port));
  SpinFor(300);
  ASSERT_EQ(c.Messages.size(), 1);
  EXPECT_EQ(c.Messages[0], TwoConnectionsText());
  int closes = 0;
  c.U->FRequestClose = [&](QObject*) { ++closes; };
  ASSERT_TRUE(c.LastCb);
  c.LastCb(nullptr, mrOk);
  EXPECT_TRUE(SpinUntil([&] { return closes == 1; }));
}

class ClientDeviceType : public ::testing::TestWithParam<std::pair<int, TDevType>> {};

TEST_P(ClientDeviceType, IdentityDecodesTheType) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--article", QString::number(GetParam().first), "--serial-number", "123456"}));
  TClient c;
  std::vector<std::pair<uint32_t, TDevType>> reported;
  c.U->FOnComNewSNCallBack = [&](QObject*, uint32_t sn, TDevType t, const QString&, const QString&, const QString&) {
    reported.push_back({sn, t});
  };
  ASSERT_TRUE(c.Connect(sim.Port));
  EXPECT_EQ(c.U->FDevType, GetParam().second);
  EXPECT_EQ(c.U->FSN, 123456u);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].second, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Articles, ClientDeviceType,
                         ::testing::Values(std::pair{1197500, TDevType::devtypVanta},
                                           std::pair{1197650, TDevType::devtypVantaLorn},
                                           std::pair{1197850, TDevType::devtypVantaDE},
                                           std::pair{357000101, TDevType::devtypOmnivex}));

TEST(ClientSession, FramesCarryTheFieldsTheProtocolSets) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--serial-number", "4242"}));
  TClient c;
  ASSERT_TRUE(c.Connect(sim.Port));
  // After identification every frame carries the device's serial number,
  // the device's protocol version and the flag word of the settings.
  EXPECT_EQ(c.U->FSN, 4242u);
  const ccci::THeaderContext ctx = c.U->HeaderContext();
  EXPECT_EQ(ctx.SN, 4242u);
  EXPECT_EQ(ctx.Ver, 4);
  EXPECT_EQ(ctx.FTPNAK, CFlagGZ);
  EXPECT_TRUE(c.LogHas("Sending CCC_IDENTIFY_ALL CMD: 2 Priv: 0 ExtCmd: 1 NAK: 4 Seq: 1"))
      << "the session start was sequence 0, its answer's counter + 1 follows";
}

TEST(ClientHeartbeat, OldFirmwareGetsItNewFirmwareDoesNot) {
  for (bool old : {true, false}) {
    TSimProcess sim;
    ASSERT_TRUE(sim.Start(old ? QStringList{"--firmware-word", "13000"} : QStringList{}));
    std::atomic<int64_t> skew{0};
    TClient c([&skew] { return QDateTime::currentMSecsSinceEpoch() + skew.load(); });
    ASSERT_TRUE(c.Connect(sim.Port));
    EXPECT_EQ(c.U->FHeartBeatDisabled, !old);
    skew = 23000;  // the line has been idle for 23 s
    SpinFor(400);
    EXPECT_EQ(c.LogHas("Heartbeat"), old);
    if (old) {
      EXPECT_TRUE(SpinUntil([&] { return c.LogStarts("IN: Idendity: SerNum=12345678"); }));
    }
  }
}

TEST(ClientLua, LongOutputOverManyFramesAndErrors) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TClient c;
  ASSERT_TRUE(c.Connect(sim.Port));
  bool ok = false;
  const QString big = c.Lua("for i = 1, 400 do print(string.format('line %03d', i)) end", &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(big.count("\r\n"), 400);
  EXPECT_TRUE(big.startsWith("line 001\r\n"));
  EXPECT_TRUE(big.endsWith("line 400\r\n"));
  EXPECT_TRUE(c.LogHas("line 200")) << "logged line by line across frame borders";
  const QString err = c.Lua("error('kaputt')", &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(err.contains("kaputt"));
  EXPECT_EQ(c.Lua("print('again')", &ok), "again\r\n");
  EXPECT_TRUE(ok);
}

class ClientFaults : public ::testing::TestWithParam<const char*> {};

TEST_P(ClientFaults, SessionAndLuaSurviveOddWrites) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--fault", QString::fromLatin1(GetParam())}));
  TClient c;
  ASSERT_TRUE(c.Connect(sim.Port, 10000));
  bool ok = false;
  EXPECT_EQ(c.Lua("print(string.rep('y', 3000))", &ok).size(), 3002);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(c.Shutdown());
}

INSTANTIATE_TEST_SUITE_P(Writes, ClientFaults, ::testing::Values("split", "coalesce"));

TEST(ClientFailures, DeviceClosingMidFrameIsReportedOnceWithoutHanging) {
  TSimProcess sim;
  // The session answer (148) and half of the identity answer get through.
  ASSERT_TRUE(sim.Start({"--fault", "close-after=900"}));
  TClient c;
  EXPECT_FALSE(c.Connect(sim.Port, 3000));
  ASSERT_TRUE(SpinUntil([&] { return c.Messages.contains(ConnectionLostText()); }, 3000));
  SpinFor(700);
  EXPECT_EQ(c.Messages.count(ConnectionLostText()), 1);
  EXPECT_EQ(c.Cleared, 1);
  EXPECT_FALSE(c.U->IsConnected());
  EXPECT_FALSE(c.U->IsTimerActive());
}

TEST(ClientFailures, UnknownCmdDropsTheQueueButNotTheClient) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--fault", "unknown-cmd=3"}));
  TClient c;
  c.Connect(sim.Port, 2000);
  EXPECT_TRUE(c.LogStarts("ComUnit: unbekanntes Kommando CMD=8"));
  EXPECT_TRUE(c.U->IsConnected());
}

TEST(ClientFailures, NoPeerListening) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
  const uint16_t port = probe.serverPort();
  probe.close();
  TClient c;
  EXPECT_FALSE(c.Connect(port));
  EXPECT_EQ(c.Failed, 1);
  EXPECT_TRUE(c.LogStarts("DoConnectExcept: "));
}

TEST(ClientShutdown, OrderlyAndQuick) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TClient c;
  ASSERT_TRUE(c.Connect(sim.Port));
  c.U->SendCommand(TCcci::TUNNEL_NTP_OPEN);
  ASSERT_TRUE(SpinUntil([&] { return c.LogHas("NTP Begin"); }, 3000)) << "the device's time request";
  QElapsedTimer t;
  t.start();
  c.U->FNTPTunnelActive = true;
  ASSERT_TRUE(c.Shutdown());
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_TRUE(c.Log.contains("Liste -> Kommando hinzugefügt: CCC_TUNNEL_NTP_CLOSE CMD: 9 Priv: 1 ExtCmd: 1"));
  EXPECT_FALSE(c.U->IsConnected());
  SpinFor(100);
  const QString log = SimLog(sim);
  EXPECT_TRUE(log.contains("NTP reply: ok")) << "the reader thread's answer satisfied the device";
  EXPECT_TRUE(log.contains("session stopped by the client"));
}

TEST(ClientFiles, LanguageFilesAreFetchedAfterConnecting) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir dir;
  TClient c;
  c.U->FSetFolders = true;
  c.U->FCheckXMLFileVersions = true;
  c.U->FDatadir = dir.filePath("data/");
  c.U->FIniFolder = dir.filePath("ini/");
  c.U->FTmpDir = dir.filePath("tmp/");
  QStringList files;
  c.U->FOnNewXMLFile = [&](QObject*, const QString& f, int32_t t) { files << QStringLiteral("%1|%2").arg(t).arg(f); };
  QStringList asked;
  c.U->FDisplayConnMessage = [&](const QString& text, TMsgDlgType, TThreadedMessageCallBack& cb, TMsgDlgButtons, TMsgDlgBtn) {
    asked << text;
    cb(nullptr, mrYes);  // the user agrees to the download
  };
  ASSERT_TRUE(c.Connect(sim.Port));
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(c.Done, 1) << "the connection is done once, after the download";
  EXPECT_EQ(c.U->FMessDBVer, 12u);
  ASSERT_EQ(files.size(), 1);
  EXPECT_EQ(files[0], QStringLiteral("2|") + dir.filePath("ini/MappingDB.db"));
  QFile db(dir.filePath("ini/MappingDB.db"));
  ASSERT_TRUE(db.open(QIODevice::ReadOnly));
  EXPECT_TRUE(db.read(16).startsWith("SQLite format 3"));
  EXPECT_TRUE(QDir(dir.filePath("data/12345678/Recorder")).exists());
}

TEST(ClientNtp, TimeRequestsAreAnsweredWhileTheGuiThreadIsBusy) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--ntp-interval", "300"}));
  TClient c;
  ASSERT_TRUE(c.Connect(sim.Port));
  c.U->SendCommand(TCcci::TUNNEL_NTP_OPEN);
  ASSERT_TRUE(SpinUntil([&] { return c.U->FNTPTunnelActive; }));
  // The GUI thread does nothing for two seconds: the reader thread answers.
  QThread::msleep(2000);
  bool ok = false;
  const QString counts = c.Lua("local s = uti.stat().ntpTunnel print(s.good, s.bad)", &ok);
  ASSERT_TRUE(ok);
  const QStringList parts = counts.trimmed().split('\t');
  ASSERT_EQ(parts.size(), 2);
  EXPECT_GE(parts[0].toInt(), 5) << "about one accepted answer per 300 ms";
  EXPECT_EQ(parts[1].toInt(), 0);
}

// A peer that sends whatever the test wants.
class THostilePeer {
 public:
  THostilePeer() {
    FServer.listen(QHostAddress::LocalHost);
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] { FSocket = FServer.nextPendingConnection(); });
  }
  uint16_t Port() const { return FServer.serverPort(); }
  bool WaitClient() { return SpinUntil([this] { return FSocket != nullptr; }); }
  void Send(const QByteArray& b) {
    FSocket->write(b);
    FSocket->flush();
  }

 private:
  QTcpServer FServer;
  QTcpSocket* FSocket = nullptr;
};

TEST(ClientBadInput, ImpossibleSizesAreDroppedNotAwaited) {
  THostilePeer peer;
  TClient c;
  c.U->SetIPAndPort("127.0.0.1", peer.Port());
  c.U->DoConnect();
  ASSERT_TRUE(peer.WaitClient());
  QByteArray huge = BuildHeaderOnly(test::Dev(), 2, 0, 0);
  PutU32At(huge, 12, 0x80000000u);
  peer.Send(huge + QByteArray(64, 'x'));
  ASSERT_TRUE(SpinUntil([&] { return c.LogStarts("ComUnit: ungültige Rahmenlänge 2147483648"); }));
  // The receive state is clean again: a proper frame is evaluated.
  peer.Send(BuildIdentityBasic(test::Dev(), {77, 1197500, 0}));
  EXPECT_TRUE(SpinUntil([&] { return c.LogStarts("IN: Idendity: SerNum=77"); }));
}

TEST(ClientBadInput, RandomBytesNeverCrashTheClient) {
  THostilePeer peer;
  TClient c;
  c.U->SetIPAndPort("127.0.0.1", peer.Port());
  c.U->DoConnect();
  ASSERT_TRUE(peer.WaitClient());
  std::mt19937 rng(99);
  for (int round = 0; round < 50; ++round) {
    QByteArray junk;
    const int n = 1 + int(rng() % 300);
    for (int i = 0; i < n; ++i) junk.append(char(rng() % 256));
    if (round % 5 == 0 && junk.size() > 16) PutU32At(junk, 12, 20 + rng() % 200);  // plausible sizes too
    peer.Send(junk);
    SpinFor(5);
  }
  SpinFor(200);
  EXPECT_TRUE(c.U->IsConnected());
}
