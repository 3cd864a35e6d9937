// The 100 ms timer rules, shutdown and reader-thread failures, driven by a
// hand-moved clock.
#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::Dev;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

TEST(ComUnitTimer, ManualTimerDoesNothingWhileTheTimerIsOff) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SendCommand(ccci::TCcci::STREAM_START, 1u);
  c.ManualTimer();
  EXPECT_TRUE(c.Sent.empty());
}

TEST(ComUnitTimer, UnansweredCommandIsGivenUpAfterTenWholeSeconds) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.SendCommand(TCcci::IDENTIFY_ALL);
  c.SendCommand(TCcci::IDENTIFY_BASIC);
  clock.Advance(10999);
  c.ManualTimer();
  EXPECT_EQ(c.Sent.size(), 1u) << "10.999 s are ten whole seconds, not more";
  clock.Advance(1);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_TRUE(c.LogHas(QStringLiteral("NextCmdTmout")));
  EXPECT_EQ(c.Last().Head().ExtCmd, 0);
}

TEST(ComUnitTimer, NoHeartbeatWhileDisabled) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  for (int i = 0; i < 10; ++i) {
    clock.Advance(30000);
    c.ManualTimer();
  }
  EXPECT_TRUE(c.Sent.empty());
  EXPECT_FALSE(c.LogHas(QStringLiteral("Heartbeat")));
}

TEST(ComUnitTimer, HeartbeatAfterMoreThan22IdleSeconds) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FHeartBeatDisabled = false;
  c.EnableTimer(true);
  clock.Advance(22999);
  c.ManualTimer();
  EXPECT_TRUE(c.Sent.empty());
  clock.Advance(1);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.Last().Head().CMD, 2);
  EXPECT_EQ(c.Last().Head().ExtCmd, 0);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Heartbeat")));
  // Not while shutting down.
  TTestComUnit d(clock);
  d.FHeartBeatDisabled = false;
  d.EnableTimer(true);
  d.FShutDown = true;
  d.FShutdownTime = clock.Now + 100000;
  clock.Advance(30000);
  d.ManualTimer();
  EXPECT_FALSE(d.LogHas(QStringLiteral("Heartbeat")));
}

TEST(ComUnitTimer, StalledTransferResetsTheLink) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.SendCommand(TCcci::SETUP_RD_ALL);
  const QByteArray big = BuildFileAnswer(Dev(), 3, 0, 1, QByteArray(5000, 'x'));
  c.Deliver(big.left(100));
  ASSERT_TRUE(c.FTransferInProgress) << "the header was seen";
  clock.Advance(10000);
  c.ManualTimer();
  EXPECT_TRUE(c.FTransferInProgress) << "10 s without progress is not yet a stall";
  EXPECT_EQ(c.Disconnects, 0);
  clock.Advance(1);
  c.ManualTimer();
  EXPECT_FALSE(c.FTransferInProgress);
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_TRUE(c.LogHas(QString::fromUtf8(CTransferStalledSource)));
  EXPECT_EQ(c.Disconnects, 1) << "the half frame goes with its link";
  EXPECT_EQ(c.PartialFramesDropped, 0) << "never dropped on its own, which would leave the framing out of step";
  EXPECT_TRUE(c.FTHreadExcept) << "told through the failure path";
  EXPECT_FALSE(c.IsTimerActive());
}

TEST(ComUnitTimer, AStallWithoutAHalfFrameOnlyResetsTheReceiveState) {
  // A NAK that leaves the receive state as it is: the frame was whole, the
  // transfer only never finished, and the link is in step.
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.SendCommand(TCcci::SESSION_STR_ADV);
  c.Deliver(BuildNak(Dev(), 1, 1, 2, 120, {}));
  ASSERT_TRUE(c.FTransferInProgress);
  clock.Advance(10001);
  c.ManualTimer();
  EXPECT_TRUE(c.LogHas(QStringLiteral("No Communication within Transfer time!")));
  EXPECT_FALSE(c.FTransferInProgress);
  EXPECT_EQ(c.Disconnects, 0);
  EXPECT_FALSE(c.FTHreadExcept);
}

TEST(ComUnitTimer, StalledStreamIsRestarted) {
  // The stream's last record was handed over whole (no half frame is held),
  // but its evaluation left the transfer open.
  TFakeClock clock;
  TTestComUnit c(clock);
  c.RealStreamErrorsSearch = true;
  c.EnableTimer(true);
  c.FStreamRec = {0x04FFFFFF, 6, true, false, 0};
  c.FTransferInProgress = true;
  c.FTransferInProgressTime = clock.Now - 1;
  QElapsedTimer waited;
  waited.start();
  c.ManualTimer();
  EXPECT_EQ(c.StreamErrorSearches, 1);
  EXPECT_EQ(c.Disconnects, 0);
  // The restart goes through the GUI thread's queue: stop now, start 2 s later.
  // The real timer stays off so the queued entries can be looked at.
  c.EnableTimer(false);
  c.FTransferInProgress = false;
  ASSERT_TRUE(test::SpinUntil([&] { return c.CountSendLst() >= 1; }));
  EXPECT_EQ(c.SendList()[0].ExtCmd, 0xFFFF);
  EXPECT_EQ(c.SendList()[0].ID, 6u);
  ASSERT_TRUE(test::SpinUntil([&] { return c.CountSendLst() >= 2; }, 4000));
  EXPECT_GE(waited.elapsed(), 2000);
  EXPECT_EQ(c.SendList()[1].ExtCmd, 1);
  EXPECT_EQ(c.SendList()[1].ID, 0x04FFFFFFu);
}

TEST(ComUnitTimer, AStreamRecordStalledHalfWayResetsTheLinkInsteadOfRestarting) {
  // Stop and start would be answered behind the missing rest of the record,
  // and read as that rest.
  TFakeClock clock;
  TTestComUnit c(clock);
  c.RealStreamErrorsSearch = true;
  c.EnableTimer(true);
  c.FStreamRec = {0x04FFFFFF, 6, true, false, 0};
  c.Deliver(BuildFileAnswer(Dev(), 4, 0, 2, QByteArray(3000, 'r')).left(500));
  ASSERT_TRUE(c.FTransferInProgress);
  clock.Advance(10001);
  c.ManualTimer();
  EXPECT_EQ(c.StreamErrorSearches, 0);
  EXPECT_EQ(c.Disconnects, 1);
  EXPECT_TRUE(c.LogHas(QString::fromUtf8(CTransferStalledSource)));
  test::SpinFor(100);
  EXPECT_EQ(c.CountSendLst(), 0) << "no stop or start queued for the dead link";
}

TEST(ComUnitTimer, StreamPollIsQueuedWhenDue) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.FStreamRec.ObjHdl = 0x33;
  c.FNextStreamBool = true;
  c.FNextStreamDT = clock.Now + 1000;
  c.ManualTimer();
  EXPECT_EQ(c.CountSendLst(), 0);
  clock.Advance(1001);
  c.ManualTimer();
  EXPECT_FALSE(c.FNextStreamBool);
  ASSERT_EQ(c.CountSendLst(), 1) << "queued by this tick";
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u) << "sent by the next";
  EXPECT_EQ(c.Last().Head().ExtCmd, 2);
  EXPECT_EQ(GetU32At(c.Last().Bytes, 20), 0x33u);
}

TEST(ComUnitTimer, ShutdownWithTimerFlagRunsOnTheNextTick) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.FShutDownWithTimer = true;
  c.ManualTimer();
  EXPECT_FALSE(c.FShutDownWithTimer);
  EXPECT_TRUE(c.FShutDown);
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.Last().Head().CMD, 1);
  EXPECT_EQ(c.Last().Head().ExtCmd, 0xFFFF);
}

TEST(ComUnitShutdown, OrderlySequenceThenDisconnectThenCompletionOnce) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.FNTPTunnelActive = true;
  c.FStreamRec.ObjHdl = 8;
  c.Connected = false;
  c.SendCommand(TCcci::IDENTIFY_ALL);  // stale entry, dropped by the shutdown
  c.Connected = true;
  int completions = 0;
  c.ShutDown(&c, [&](QObject* s) {
    EXPECT_EQ(s, &c);
    ++completions;
  });
  EXPECT_TRUE(c.LogHas(QStringLiteral("ComUnit: ShutDown Start - Connected: True")));
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.Last().Head().CMD, 9);
  EXPECT_EQ(c.Last().Head().ExtCmd, 1);
  c.Deliver(BuildNtpTunnel(Dev(), TNtpTunnelKind::ntClosed));
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_EQ(c.Last().Head().CMD, 4);
  EXPECT_EQ(GetU32At(c.Last().Bytes, 20), 8u);
  c.Deliver(BuildStreamStopped(Dev()));
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 3u);
  EXPECT_EQ(c.Last().Head().CMD, 1);
  EXPECT_EQ(c.Last().Head().ExtCmd, 0xFFFF);
  EXPECT_EQ(completions, 0);
  c.ManualTimer();
  EXPECT_TRUE(c.LogHas(QStringLiteral("ShutdownHandling")));
  EXPECT_FALSE(c.IsTimerActive());
  EXPECT_EQ(c.Disconnects, 1);
  EXPECT_EQ(completions, 1);
  c.ManualTimer();
  test::SpinFor(20);
  EXPECT_EQ(completions, 1);
}

TEST(ComUnitShutdown, WaitsForTheSendQueueAtMostFiveSeconds) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.ShutDown(&c);
  c.SendQueueActive = true;  // the reader thread has not written everything yet
  clock.Advance(4000);
  c.ManualTimer();
  EXPECT_EQ(c.Disconnects, 0);
  clock.Advance(1001);
  c.ManualTimer();
  EXPECT_EQ(c.Disconnects, 1);
}

TEST(ComUnitShutdown, UnconnectedClientCompletesOnceThroughTheQueue) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Connected = false;
  int completions = 0;
  c.ShutDown(&c, [&](QObject*) { ++completions; });
  EXPECT_EQ(completions, 0) << "never synchronously";
  EXPECT_TRUE(c.Sent.empty());
  EXPECT_FALSE(c.FOnLogCallBack) << "the log callback is detached";
  ASSERT_TRUE(test::SpinUntil([&] { return completions == 1; }));
  c.ShutDown(&c);
  test::SpinFor(20);
  EXPECT_EQ(completions, 1);
}

TEST(ComUnitShutdown, WithoutCompletionTheFlagIsClearedOnceDisconnected) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.Connected = false;
  c.FShutDown = true;
  c.FShutdownTime = clock.Now;
  clock.Advance(1);
  c.ManualTimer();
  EXPECT_FALSE(c.FShutDown);
}

TEST(ComUnitFailure, ThreadExceptionWithoutMessageBoxAsksToClose) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  QStringList events;
  c.FThreadExceptCallBack = [&](QObject*) { events << "except"; };
  c.FRequestClose = [&](QObject*) { events << "close"; };
  c.ThreadException(nullptr, QStringLiteral("socket died"));
  EXPECT_TRUE(c.LogHas(QStringLiteral("ThreadExcept socket died")));
  EXPECT_FALSE(c.IsTimerActive());
  EXPECT_FALSE(c.Connected);
  EXPECT_TRUE(c.FTHreadExcept);
  EXPECT_EQ(events, (QStringList{"except", "close"}));
  EXPECT_TRUE(c.LogHas(QStringLiteral("Request Close")));
}

TEST(ComUnitFailure, ThreadExceptionWithMessageBoxWaitsForTheUser) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QString shownText;
  TThreadedMessageCallBack answer;
  c.FDisplayConnMessage = [&](const QString& text, TMsgDlgType, TThreadedMessageCallBack& cb, TMsgDlgButtons, TMsgDlgBtn) {
    shownText = text;
    answer = cb;
  };
  int cleared = 0, closes = 0;
  c.FClearWork = [&] { ++cleared; };
  c.FRequestClose = [&](QObject*) { ++closes; };
  c.ThreadException(nullptr, QStringLiteral("x"));
  EXPECT_EQ(shownText, QStringLiteral("Verbindungsabbruch"));
  EXPECT_EQ(cleared, 1);
  EXPECT_EQ(closes, 0);
  ASSERT_TRUE(answer);
  answer(nullptr, mrOk);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(c.FTHreadExcept);
}
