// The fault matrix, continued: faults of the link itself. A write cut short
// leaves the device with part of a frame, a frame that stops half-way
// leaves the reader with part of one; either way the framing is out of
// step and only a new link helps, so the loss is told and nothing is read
// out of step. A reader is stopped within a second whatever it waits for,
// and the SSH shell's end marker is found however the output is cut.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "ByteOrder.h"
#include "FaultSupport.h"
#include "ScriptedDevice.h"
#include "SshUnit.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

namespace vanta::test {
namespace {

using namespace vanta::ccci;

// ---- a write that gives up half-way ----------------------------------------------------------

class LinkFaultTest : public cli::FaultTest {};

// The proxy stops taking the client's bytes part-way through a large
// upload and keeps the line open: the write stalls and is given up after
// part of the frame went out. The link is closed and the loss told well
// before the command's own time limit; the device keeps no half file, and
// the next upload goes through whole.
TEST_F(LinkFaultTest, AnUploadStuckHalfWayClosesTheLinkAndTellsTheLoss) {
  const QString local = Data.filePath(QStringLiteral("big.bin"));
  cli::WriteAll(local, Noise(9 * 1000 * 1000).toLatin1());  // 12 MB: more than every buffer on the way
  TFaultProxy proxy(Sim.Port, TFaults{.StallClientAfter = 1000000});
  const QStringList put{QStringLiteral("scratchpad"), QStringLiteral("put"), local, QStringLiteral("big.bin")};
  QElapsedTimer t;
  t.start();
  const cli::TRun stuck = Through(proxy, put, 40000, 30);
  EXPECT_TRUE(proxy.Stalled);
  EXPECT_NE(stuck.Exit, 0);
  EXPECT_TRUE(stuck.Err.contains(ConnectionLostText())) << stuck.Err.toStdString();
  EXPECT_LT(t.elapsed(), 25000) << "told by the link, not by the command's 30 s limit";
  EXPECT_FALSE(QFile::exists(Device(QStringLiteral("ccci/scratchpad/big.bin"))));
  const cli::TRun whole = Through(proxy, put, 60000, 30);  // later connections pass untouched
  ASSERT_EQ(whole.Exit, 0) << whole.Err.toStdString();
  EXPECT_EQ(cli::ReadAll(Device(QStringLiteral("ccci/scratchpad/big.bin"))), cli::ReadAll(local));
}

// Through SSH a frame larger than the device's window goes out as the
// window opens, and arrives whole.
class SshLinkTest : public cli::FaultTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--ssh-port"), QStringLiteral("0")}; }
};

TEST_F(SshLinkTest, AnUploadLargerThanTheWindowArrivesWhole) {
  const QString local = Data.filePath(QStringLiteral("big.bin"));
  cli::WriteAll(local, Noise(3 * 1000 * 1000).toLatin1());  // 4 MB, three windows and more
  const QStringList args = QStringLiteral("--ssh --user operator --password operator --trust-new-host-key --timeout 30").split(' ');
  const cli::TRun r = cli::RunCli(args + QStringList{QStringLiteral("--ssh-port"), QString::number(Sim.SshPort), QStringLiteral("--ccci-port"),
                                                     QString::number(Sim.Port), QStringLiteral("--data-dir"), Data.path(),
                                                     QStringLiteral("scratchpad"), QStringLiteral("put"), local, QStringLiteral("big.bin")},
                                  60000);
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(cli::ReadAll(Device(QStringLiteral("ccci/scratchpad/big.bin"))), cli::ReadAll(local));
}

// A peer that accepts nothing: the connection is taken by the kernel and
// never read, and its receive buffer is small.
struct TDeafPeer {
  int Fd = -1;
  uint16_t Port = 0;
  TDeafPeer() {
    Fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 64 * 1024;
    ::setsockopt(Fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&a), &len);
    Port = ntohs(a.sin_port);
    ::listen(Fd, 4);
  }
  ~TDeafPeer() { ::close(Fd); }
};

QByteArray LargeFrame(qsizetype payload) {
  QByteArray f;
  EncodeHead(f, MakeHead(THeaderContext{}, 7, 0, 2, uint32_t(CHeadSize + payload)));
  f.append(QByteArray(payload, 'p'));
  return f;
}

// The writes a client begins and how far the last one got.
struct TWriteWatch {
  int Begun = 0;
  int64_t Done = 0;
  void Attach(TTCPComUnit& u) {
    u.FOnWorkEvent = [this](TWorkMode m, int64_t n, TWorkStatus s) {
      if (m != TWorkMode::wmWrite) return;
      if (s == TWorkStatus::WorkBegin) ++Begun;
      if (s == TWorkStatus::WorkWorking) Done = n;
    };
  }
};

// A client connected to the deaf peer, its writes watched.
bool ConnectToDeaf(TTCPComUnit& u, const TDeafPeer& peer, TWriteWatch& w) {
  u.FAutoSessionStart = false;
  w.Attach(u);
  u.SetIPAndPort(QStringLiteral("127.0.0.1"), peer.Port);
  u.DoConnect();
  return SpinUntil([&] { return u.IsConnected(); });
}

TEST(LinkFaults, AWriteGivenUpAfterPartOfTheFrameEndsTheLink) {
  TDeafPeer peer;
  TFakeClock clock;
  auto u = std::make_unique<TTCPComUnit>(false, nullptr, clock.Func());
  QStringList log, messages;
  u->FOnLogCallBack = [&](QObject*, const QString& l, bool) { log << l; };
  u->FDisplayConnMessage = [&](const QString& t, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) {
    messages << t;
  };
  TWriteWatch w;
  ASSERT_TRUE(ConnectToDeaf(*u, peer, w));
  auto* r = static_cast<TIdReadThreadTCPTCP*>(u->Reader());
  QMetaObject::invokeMethod(r, [r] { r->Tcp().FWriteStallMs = 1000; }, Qt::BlockingQueuedConnection);
  const QByteArray frame = LargeFrame(16 * 1024 * 1024);
  u->SendCommandStream(frame, false);
  ASSERT_TRUE(SpinUntil([&] { return messages.contains(ConnectionLostText()); }, 15000)) << log.join('\n').toStdString();
  EXPECT_GT(w.Done, 0) << "part of the frame went out";
  EXPECT_LT(w.Done, frame.size());
  EXPECT_TRUE(SpinUntil([&] { return !u->IsConnected(); }));
  bool told = false;
  for (const QString& l : log) told = told || l.startsWith(QStringLiteral("Error While Sending Zeitüberschreitung beim Senden"));
  EXPECT_TRUE(told) << log.join('\n').toStdString();
  u->FOnLogCallBack = nullptr;
}

TEST(LinkFaults, AWriteThatFailsBeforeItsFirstByteOnlyDropsTheFrame) {
  // Nothing went out: the framing is intact, and the link stays.
  TScriptedDevice dev;
  TScriptedClient c(dev.Server.serverPort());
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected() && dev.Peer; }));
  bool failed = false;
  c.U->FThreadExceptCallBack = [&](QObject*) { failed = true; };
  // The socket is gone underneath the reader, but nobody told it yet.
  auto* r = static_cast<TIdReadThreadTCPTCP*>(c.U->Reader());
  QMetaObject::invokeMethod(r, [r] { r->Tcp().Close(); }, Qt::BlockingQueuedConnection);
  c.U->SendCommandStream(LargeFrame(1000), false);
  EXPECT_TRUE(SpinUntil([&] { return c.LoggedStart(QStringLiteral("Error Sending Data ")); }));
  SpinFor(200);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(c.Messages.isEmpty());
}

// ---- stopping the reader ---------------------------------------------------------------------

TEST(LinkFaults, AClientDestroyedDuringALargeWriteIsGoneWithinASecond) {
  TDeafPeer peer;
  auto u = std::make_unique<TTCPComUnit>(false);
  TWriteWatch w;
  ASSERT_TRUE(ConnectToDeaf(*u, peer, w));
  u->SendCommandStream(LargeFrame(32 * 1024 * 1024), false);
  // The write is under way and then stuck: the peer takes nothing more.
  ASSERT_TRUE(SpinUntil([&] { return w.Begun == 1 && w.Done > 0; }, 10000));
  int64_t seen = -1;
  ASSERT_TRUE(SpinUntil([&] {
    const bool still = seen == w.Done;
    seen = w.Done;
    SpinFor(200);
    return still;
  }, 10000));
  QElapsedTimer t;
  t.start();
  u.reset();
  EXPECT_LT(t.elapsed(), 1000) << "the reader's wait for the peer sees the stop";
  SpinFor(300);  // anything the reader still did would show here
}

TEST(LinkFaults, AClientDestroyedWhileItsHostKeyQuestionIsOpenIsGoneWithinASecond) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--ssh-port"), QStringLiteral("0")}));
  QTemporaryDir ini;
  auto u = std::make_unique<TTCPComUnit>(true);
  u->FIniFolder = ini.path() + QLatin1Char('/');
  u->SetSSHUserPass(QStringLiteral("operator"), QStringLiteral("operator"));
  u->SetIPAndPort(QStringLiteral("127.0.0.1"), sim.SshPort);
  u->FOutPort = sim.Port;
  int asked = 0;
  qint64 stopMs = -1;
  // The user closes the window while the question waits for an answer: the
  // window goes, with its client, from inside the question's own loop.
  u->FOnFingerprint = [&](TFingerprintState, const QString&, const QString&) {
    ++asked;
    QEventLoop dialog;
    QTimer::singleShot(50, &dialog, [&] {
      QElapsedTimer t;
      t.start();
      u.reset();
      stopMs = t.elapsed();
      dialog.quit();
    });
    dialog.exec();
    return TConnectHashAction::chaCancel;
  };
  u->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return stopMs >= 0; }, 15000));
  EXPECT_EQ(asked, 1);
  EXPECT_LT(stopMs, 1000) << "the reader does not wait for an answer that cannot come";
  SpinFor(300);
  EXPECT_TRUE(QFile(ini.filePath(QStringLiteral("Hash"))).size() <= 0) << "nothing is stored without an answer";
}

TEST(LinkFaults, AClientDestroyedDuringAnSshConnectIsGoneWithinASecond) {
  QTcpServer silent;  // accepts, then says nothing
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  auto u = std::make_unique<TTCPComUnit>(true);
  u->SetSSHUserPass(QStringLiteral("operator"), QStringLiteral("operator"));
  u->SetIPAndPort(QStringLiteral("127.0.0.1"), silent.serverPort());
  u->DoConnect();
  SpinFor(300);
  QElapsedTimer t;
  t.start();
  u.reset();
  EXPECT_LT(t.elapsed(), 1000);
}

// ---- a frame that stops half-way -------------------------------------------------------------

// The rest of a stalled answer comes after the stall limit, and its bytes
// look like a whole answer of their own: they must never be read as one.
TEST(LinkFaults, TheRestOfAStalledFrameIsNeverReadAsTheNextFrame) {
  TScriptedDevice dev;
  TScriptedClient c(dev.Server.serverPort());
  SendAndAwait(dev, c, TCcci::SETUP_RD_ALL);
  if (HasFatalFailure()) return;
  THeaderContext ctx;
  ctx.SN = 777;
  const QByteArray rest = BuildIdentityBasic(ctx, {1, 1197500, 0});
  dev.Peer->write(BigAnswerHead(uint32_t(CHeadSize + 5000 + rest.size())) + QByteArray(5000, 'x'));
  ASSERT_TRUE(SpinUntil([&] { return c.U->FTransferInProgress && !c.Reads.empty() && c.Reads.back().second == 5020; }));
  int evaluated = 0;
  c.U->FOnAnswerEvaluated = [&](const ccc_head_t&) { ++evaluated; };

  c.Clock.Advance(10001);
  ASSERT_TRUE(SpinUntil([&] { return !c.U->FTransferInProgress; })) << "the stall was noticed";
  EXPECT_TRUE(c.Logged(QString::fromUtf8(CTransferStalledSource)));
  EXPECT_TRUE(SpinUntil([&] { return c.Messages.contains(ConnectionLostText()); }, 2000)) << "the reset is told";
  if (dev.Peer->state() == QAbstractSocket::ConnectedState) {
    dev.Peer->write(rest);  // too late
    dev.Peer->flush();
  }
  SpinFor(500);
  EXPECT_EQ(evaluated, 0) << "neither as the rest of the old frame nor as a frame of its own";
  EXPECT_FALSE(c.U->IsConnected());
  EXPECT_EQ(c.Messages.count(ConnectionLostText()), 1) << "told once";
  c.U->FOnAnswerEvaluated = nullptr;
}

// ---- the SSH shell's end marker --------------------------------------------------------------

TEST(LinkFaults, TheShellEndMarkerIsFoundWhereverTheOutputIsCut) {
  const QByteArray output("out\n\x1a\x1b\n");
  for (qsizetype cut = 0; cut <= output.size(); ++cut) {
    TFakeClock clock;
    TTestComUnit c(clock);
    QStringList got;
    c.FTmpLUACallBack = [&](QObject*, const QString& t) { got << t; };
    c.FWaitForAnswer = true;
    c.LUACommandSSH(output.left(cut));
    c.LUACommandSSH(output.mid(cut));
    EXPECT_FALSE(c.FWaitForAnswer) << "cut at " << cut;
    EXPECT_EQ(c.Log.count(QStringLiteral("done: True")), 1) << "cut at " << cut;
    ASSERT_TRUE(SpinUntil([&] { return !got.isEmpty(); }, 1000)) << "cut at " << cut;
    EXPECT_EQ(got, QStringList{QStringLiteral("out\n")}) << "cut at " << cut;
  }
}

TEST(LinkFaults, TheMarkerSplitBetweenItsTwoBytesEndsTheStatement) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QString got;
  bool called = false;
  c.RunLua(QStringLiteral("print('out')"), [&](QObject*, const QString& t) {
    got = t;
    called = true;
  });
  ASSERT_TRUE(c.FWaitForAnswer);
  c.LUACommandSSH("out\n\x1A");
  EXPECT_TRUE(c.FWaitForAnswer) << "half a marker is no end";
  c.LUACommandSSH("\x1B\n");
  EXPECT_FALSE(c.FWaitForAnswer);
  ASSERT_TRUE(SpinUntil([&] { return called; }));
  EXPECT_EQ(got, QStringLiteral("out\n"));
  // The next statement's output is its own.
  QString next;
  c.RunLua(QStringLiteral("print(2)"), [&](QObject*, const QString& t) { next = t; });
  c.LUACommandSSH("2\n\x1a\x1b\n");
  ASSERT_TRUE(SpinUntil([&] { return !next.isEmpty(); }));
  EXPECT_EQ(next, QStringLiteral("2\n"));
}

// Output the shell sent without its line end when the link ended is not
// swallowed: it reaches the receivers and the log before the end is told.
TEST(LinkFaults, ShellTextHeldForItsLineEndIsPassedOnWhenTheLinkEnds) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QStringList chunks;
  c.FCCCISratchpadProc = [&](const QString& t, bool) { chunks << t; };
  c.LUACommandSSH("whole\nhalf a li");
  EXPECT_EQ(chunks, QStringList{QStringLiteral("whole\n")});
  c.LUACommandSSH("ne");
  c.EndShellText();
  EXPECT_EQ(chunks, (QStringList{QStringLiteral("whole\n"), QStringLiteral("half a line")}));
  EXPECT_TRUE(c.LogHas(QStringLiteral("half a line")));
  c.EndShellText();
  EXPECT_EQ(chunks.size(), 2) << "passed on once";
}

// The device answers and closes the channel at once: by the time the client
// looks, the channel has both the answer and its end. The answer is read.
TEST(LinkFaults, WhatArrivedWithTheEndOfAnSshChannelIsStillRead) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--ssh-port"), QStringLiteral("0"), QStringLiteral("--fault"),
                         QStringLiteral("close-after=20")}));
  TSSHUnit ssh;
  TSshParams p;
  p.Host = QStringLiteral("127.0.0.1");
  p.Port = sim.SshPort;
  p.User = p.Password = QStringLiteral("operator");
  p.ChannelPort = sim.Port;
  QString error;
  bool auth = false;
  ASSERT_TRUE(ssh.Connect(p, error, auth)) << error.toStdString();
  QByteArray request;
  EncodeHead(request, MakeHead(THeaderContext{}, 2, 0, 0, uint32_t(CHeadSize)));
  ASSERT_TRUE(ssh.WriteChannelData(request));
  QThread::msleep(500);  // answer and end are both on their way in
  ssh.WaitForData(200);
  QByteArray got;
  int n = 0;
  QElapsedTimer t;
  t.start();
  while ((n = ssh.ReadCCCI(got)) >= 0 && got.size() < CHeadSize && t.elapsed() < 3000) ssh.WaitForData(50);
  EXPECT_EQ(got.size(), CHeadSize) << "the 20 bytes the device sent before it closed";
  EXPECT_EQ(HeadOf(got).CMD, 2);
  QByteArray more;
  EXPECT_EQ(ssh.ReadCCCI(more), -1) << "then the end";
}

// ---- the parameter upload's watch ------------------------------------------------------------

class ParaWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    C.FSendParaDone = [this](QObject*, bool ok) { Done.push_back(ok); };
    C.FGZ = false;
    const QString path = Dir.filePath(QStringLiteral("setup.xml"));
    ASSERT_NO_FATAL_FAILURE(cli::WriteAll(path, "<setup/>"));
    C.EnableTimer(true);
    C.SendCommandFile(TCcci::SETUP_WR, path);
    C.ManualTimer();
    ASSERT_EQ(C.Sent.size(), 1u);
  }
  TFakeClock Clock;
  TTestComUnit C{Clock};
  QTemporaryDir Dir;
  std::vector<bool> Done;
};

TEST_F(ParaWatch, AnUploadTheDeviceNeverAnswersFailsAfterAMinuteOfSilence) {
  Clock.Advance(60000);
  C.ManualTimer();
  EXPECT_TRUE(Done.empty()) << "a minute is not yet more than a minute";
  Clock.Advance(1);
  C.ManualTimer();
  EXPECT_EQ(Done, std::vector<bool>{false});
  EXPECT_TRUE(C.LogHas(CParaUploadSilentText));
  Clock.Advance(120000);
  C.ManualTimer();
  EXPECT_EQ(Done.size(), 1u) << "told once";
}

TEST_F(ParaWatch, ProgressKeepsItAlive) {
  Clock.Advance(50000);
  C.NoteTransferProgress();
  Clock.Advance(50000);
  C.ManualTimer();
  EXPECT_TRUE(Done.empty());
  Clock.Advance(10001);
  C.ManualTimer();
  EXPECT_EQ(Done, std::vector<bool>{false});
}

TEST_F(ParaWatch, TheAnswerEndsTheWatch) {
  C.Deliver(BuildHeaderOnly(Dev(), 3, 1, 3));
  EXPECT_EQ(Done, std::vector<bool>{true});
  Clock.Advance(120000);
  C.ManualTimer();
  EXPECT_EQ(Done, std::vector<bool>{true}) << "no failure after the answer";
}

TEST_F(ParaWatch, ItAlsoEndsTheWaitWhileTheClientsTimerIsOff) {
  // The link went away and took the timer with it; the watch goes on.
  C.EnableTimer(false);
  Clock.Advance(60001);
  EXPECT_TRUE(SpinUntil([&] { return !Done.empty(); }, 3000));
  EXPECT_EQ(Done, std::vector<bool>{false});
}

}  // namespace
}  // namespace vanta::test
