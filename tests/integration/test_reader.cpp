// The shared reader over a real socket, with a scripted device on the other
// end: a link that stops in the middle of a large answer, and a device that
// closes the connection half-way through one.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>

#include "ByteOrder.h"
#include "Ccci.h"
#include "ScriptedDevice.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::BigAnswerHead;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TScriptedDevice;
using TClient = vanta::test::TScriptedClient;

using vanta::test::SendAndAwait;

TEST(Reader, StalledAnswerResetsTheLinkAndTheWaitingCommandGoesOutOnTheNextOne) {
  TScriptedDevice dev;
  TClient c(dev.Server.serverPort());
  SendAndAwait(dev, c, TCcci::SETUP_RD_ALL);
  if (HasFatalFailure()) return;
  // A 1 MB answer of which 5000 bytes come, then nothing.
  dev.Peer->write(BigAnswerHead(1000000) + QByteArray(5000, 'x'));
  ASSERT_TRUE(SpinUntil([&] { return c.U->FTransferInProgress && !c.Reads.empty() && c.Reads.back().second == 5020; }));
  EXPECT_EQ(c.Reads.front(), std::make_pair(TWorkStatus::WorkBegin, int64_t(1000000))) << "work begins at the header";
  c.U->SendCommand(TCcci::IDENTIFY_BASIC);  // waits behind the stalled answer
  SpinFor(300);
  EXPECT_EQ(dev.Requests(), 1);
  EXPECT_FALSE(c.Logged(QString::fromUtf8(CTransferStalledSource)));

  c.Clock.Advance(10001);
  ASSERT_TRUE(SpinUntil([&] { return c.Logged(QString::fromUtf8(CTransferStalledSource)); }));
  EXPECT_TRUE(SpinUntil([&] { return c.Messages.contains(ConnectionLostText()) && !c.U->IsConnected(); }))
      << "the half answer goes with its link, and the loss is told";
  EXPECT_FALSE(c.U->FTransferInProgress);
  EXPECT_EQ(dev.Requests(), 1) << "nothing more is sent on a link that is out of step";

  // On a new link the waiting command goes out, and its answer is read as
  // the frame it is.
  QTcpSocket* old = dev.Peer;
  c.U->DoConnect();
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected() && dev.Peer != old; }));
  c.U->EnableTimer(true);
  ASSERT_TRUE(SpinUntil([&] { return dev.Requests() == 2; }));
  uint32_t sn = 0;
  c.U->FOnAnswerEvaluated = [&](const ccc_head_t& h) {
    if (h.CMD == 2) sn = h.SN;
  };
  THeaderContext ctx;
  ctx.SN = 777;
  dev.Peer->write(BuildIdentityBasic(ctx, {1, 1197500, 0}));
  EXPECT_TRUE(SpinUntil([&] { return sn == 777; }));
  c.U->FOnAnswerEvaluated = nullptr;
}

TEST(Reader, DeviceClosingMidAnswerEndsTheWaitAtOnce) {
  TScriptedDevice dev;
  TClient c(dev.Server.serverPort());
  SendAndAwait(dev, c, TCcci::SETUP_RD_ALL);
  if (HasFatalFailure()) return;
  dev.Peer->write(BigAnswerHead(100000) + QByteArray(3000, 'x'));
  dev.Peer->flush();
  ASSERT_TRUE(SpinUntil([&] { return c.U->FTransferInProgress; }));
  dev.Peer->close();
  EXPECT_TRUE(SpinUntil([&] { return !c.U->FWaitForAnswer && !c.U->IsConnected(); }, 1000));
  EXPECT_FALSE(c.U->FTransferInProgress);
  EXPECT_TRUE(SpinUntil([&] { return c.Messages.contains(ConnectionLostText()); }, 2000));
  SpinFor(600);
  EXPECT_EQ(c.Messages.count(ConnectionLostText()), 1) << "told once";
}

TEST(Reader, HeaderThatCannotBeRightDropsTheReceiveState) {
  TScriptedDevice dev;
  TClient c(dev.Server.serverPort());
  SendAndAwait(dev, c, TCcci::IDENTIFY_BASIC);
  if (HasFatalFailure()) return;
  QByteArray bad = BigAnswerHead(20);
  PutU32At(bad, 12, 7);  // smaller than a header
  dev.Peer->write(bad);
  EXPECT_TRUE(SpinUntil([&] { return !c.U->FWaitForAnswer; }));
  EXPECT_TRUE(SpinUntil([&] {
    for (const QString& l : c.Log)
      if (l.startsWith(QStringLiteral("ComUnit: ungültige Rahmenlänge 7"))) return true;
    return false;
  }));
  EXPECT_TRUE(c.U->IsConnected()) << "the link itself stays";
}

TEST(Reader, LargeUploadReportsWriteProgress) {
  TScriptedDevice dev;
  TClient c(dev.Server.serverPort());
  std::vector<std::pair<TWorkStatus, int64_t>> writes;
  c.U->FOnWorkEvent = [&](TWorkMode m, int64_t n, TWorkStatus s) {
    if (m == TWorkMode::wmWrite) writes.push_back({s, n});
  };
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected() && dev.Peer; }));
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("setup.xml"));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4 * 1024 * 1024, 's'));
  }
  c.U->FGZ = false;
  c.U->EnableTimer(true);
  c.U->SendCommandFile(TCcci::SETUP_WR, file);
  const int64_t frame = 4 * 1024 * 1024 + CHeadSize;
  ASSERT_TRUE(SpinUntil([&] { return dev.Received.size() == frame; }, 10000));
  ASSERT_TRUE(SpinUntil([&] { return !writes.empty() && writes.back().first == TWorkStatus::WorkEnd; }));
  int64_t last = 0;
  int steps = 0;
  for (const auto& [st, n] : writes)
    if (st == TWorkStatus::WorkWorking) {
      EXPECT_GE(n, last);
      last = n;
      ++steps;
    }
  EXPECT_GE(steps, 2) << "the upload's progress is shown while it goes out";
  EXPECT_EQ(last, frame);
}
