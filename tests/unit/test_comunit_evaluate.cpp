// Evaluating received frames: framing, dispatch, NAK handling.
#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::Dev;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

namespace {
struct TShown {
  QString Text;
  TMsgDlgType Type;
  TThreadedMessageCallBack Cb;
};

// Binds FDisplayConnMessage to a list so tests can see and answer messages.
void CaptureMessages(TTestComUnit& c, std::vector<TShown>& shown) {
  c.FDisplayConnMessage = [&shown](const QString& text, TMsgDlgType type, TThreadedMessageCallBack& cb, TMsgDlgButtons,
                                   TMsgDlgBtn) { shown.push_back({text, type, cb}); };
}
}  // namespace

TEST(ComUnitEvaluate, DispatchesByCmdAndAdoptsTheSequenceCounter) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Deliver(BuildIdentityBasic(Dev(99), {1, 2, 3}));
  ASSERT_EQ(c.Handled.size(), 1u);
  EXPECT_EQ(c.Handled[0].Cmd, 2);
  EXPECT_EQ(c.FSeqCnt, 100u);
  EXPECT_FALSE(c.FTransferInProgress);
  EXPECT_TRUE(c.LogHas(QStringLiteral("ComUnit: CMD=2 Priv=0 ExtCmd=0 ver=5 FTPNAK=0 SN=4711 Size=32 SeqCnt=99 StreamSize=32")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("ComUnit: EndWork 32/32")));
}

TEST(ComUnitEvaluate, TwoFramesInOneSegmentAndAPartialThird) {
  TFakeClock clock;
  TTestComUnit c(clock);
  const QByteArray a = BuildLuaOutput(Dev(1), TLuaOutputKind::loChunk, "one");
  const QByteArray b = BuildStreamStarted(Dev(2), 5);
  const QByteArray third = BuildIdentityBasic(Dev(3), {7, 8, 9});
  c.Deliver(a + b + third.left(25));
  ASSERT_EQ(c.Handled.size(), 2u);
  EXPECT_EQ(c.Handled[0].Cmd, 6);
  EXPECT_EQ(c.Handled[0].Frame, a);
  EXPECT_EQ(c.Handled[1].Cmd, 4);
  EXPECT_EQ(c.Handled[1].Frame, b);
  EXPECT_TRUE(c.FTransferInProgress) << "the third frame's header was seen";

  c.Deliver(third.mid(25));
  ASSERT_EQ(c.Handled.size(), 3u);
  EXPECT_EQ(c.Handled[2].Frame, third);
  EXPECT_FALSE(c.FTransferInProgress);
}

TEST(ComUnitEvaluate, TakesOneWholeFrameAndNeverFramesAgain) {
  TFakeClock clock;
  TTestComUnit c(clock);
  const QByteArray f = BuildIdentityBasic(Dev(3), {7, 8, 9});
  TMemoryStream cut(f.left(f.size() - 1));
  EXPECT_FALSE(c.Evaluate(cut)) << "a frame shorter than its Size is refused, not awaited";
  EXPECT_FALSE(c.FTransferInProgress);
  EXPECT_TRUE(c.Handled.empty());
  TMemoryStream whole(f);
  EXPECT_TRUE(c.Evaluate(whole));
  EXPECT_EQ(c.Handled.size(), 1u);
}

TEST(ComUnitEvaluate, FrameIsNotEvaluatedBeforeAllBytesArrive) {
  TFakeClock clock;
  TTestComUnit c(clock);
  const QByteArray f = BuildIdentityFull(Dev(), TIdentityFull{});
  for (qsizetype i = 0; i < f.size(); i += 100) c.Deliver(f.mid(i, 100));
  ASSERT_EQ(c.Handled.size(), 1u);
  EXPECT_EQ(c.Handled[0].Frame.size(), f.size());
}

TEST(ComUnitEvaluate, HeaderOnlyFrameHasNoPayload) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SendCommand(TCcci::TUNNEL_NTP_OPEN);
  c.Deliver(BuildNtpTunnel(Dev(), TNtpTunnelKind::ntOpened));
  ASSERT_EQ(c.Handled.size(), 1u);
  EXPECT_EQ(c.Handled[0].Frame.size(), 20);
  EXPECT_FALSE(c.FWaitForAnswer);
}

TEST(ComUnitEvaluate, UnknownCmdDropsTheQueueAndFails) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Connected = false;
  c.SendCommand(TCcci::IDENTIFY_BASIC);
  c.SendCommand(TCcci::IDENTIFY_ALL);
  c.Connected = true;
  c.FWaitForAnswer = true;
  TMemoryStream s(BuildHeaderOnly(Dev(), 8, 0, 0));
  EXPECT_FALSE(c.Evaluate(s));
  EXPECT_EQ(c.CountSendLst(), 0);
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_FALSE(c.FTransferInProgress);
  EXPECT_TRUE(c.Handled.empty());
}

TEST(ComUnitEvaluate, ImpossibleFrameSizeIsRejected) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QByteArray junk = BuildHeaderOnly(Dev(), 2, 0, 0);
  PutU32At(junk, 12, 3);  // smaller than a header
  TMemoryStream s(junk + QByteArray(30, 'x'));
  EXPECT_FALSE(c.Evaluate(s));
  EXPECT_FALSE(c.FTransferInProgress);
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_TRUE(c.LogStartsWith(QStringLiteral("ComUnit: ungültige Rahmenlänge 3")));
}

TEST(ComUnitEvaluate, DeviceTextStreamGoesToTheLog) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Deliver(BuildFileAnswer(Dev(), 10, 0, 5, "device says hello"));
  c.Deliver(BuildFileAnswer(Dev(), 10, 0, 4, "not for the log"));
  EXPECT_TRUE(c.LogHas(QStringLiteral("device says hello")));
  EXPECT_FALSE(c.LogHas(QStringLiteral("not for the log")));
}

TEST(ComUnitNak, FlagWordAboveFifteenIsNoNak) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QByteArray f = BuildIdentityBasic(Dev(), {1, 2, 3});
  f[6] = char(0x12);
  c.Deliver(f);
  ASSERT_EQ(c.Handled.size(), 1u) << "dispatched as a normal answer";
  EXPECT_FALSE(c.FNAK);
}

TEST(ComUnitNak, NakIsRecognisedByItsFlagForAnyCmd) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<uint32_t> codes;
  c.FNAKCB = [&](QObject*, uint32_t code) { codes.push_back(code); };
  int stopWork = 0;
  c.FStopWork = [&] { ++stopWork; };
  c.SendCommand(ccci::TCcci::READOUT_EVT_RM, QStringLiteral("x"), false);
  TMemoryStream s(BuildNak(Dev(), 5, 0, 18, 42, "nope"));
  EXPECT_FALSE(c.Evaluate(s));
  EXPECT_TRUE(c.Handled.empty()) << "a NAK never reaches the answer handler";
  EXPECT_EQ(codes, std::vector<uint32_t>{42});
  EXPECT_EQ(stopWork, 1);
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_TRUE(c.LogHas(QStringLiteral("NAK True")));
  EXPECT_TRUE(c.LogHas(QStringLiteral(
      "ComUnit NAK Cmd=5 Priv=0 ExtCmd=18 Ver=5 FTPNAK=2 SN=4711 Size=28 SeqCnt=0 StreamSize=28 ErrorCode:42 ErrorMessage:nope")));
}

TEST(ComUnitNak, ReportedThroughAMessageOrTheCallbackNeverBoth) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<TShown> shown;
  CaptureMessages(c, shown);
  int cbCalls = 0;
  c.FNAKCB = [&](QObject*, uint32_t) { ++cbCalls; };
  c.FSSHUser = QStringLiteral("guest");
  c.Deliver(BuildNak(Dev(), 3, 0, 1, 13, "denied"));
  c.Deliver(BuildNak(Dev(), 5, 0, 2, 77, "disk full"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Text, QStringLiteral("Der Nutzer guest hat keinen Zugriff auf diese Funktion"));
  EXPECT_EQ(shown[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(shown[1].Text, GeneralErrorText() + QStringLiteral(" NAK: disk full"));
  EXPECT_EQ(cbCalls, 0);
}

TEST(ComUnitNak, ClosingTheMessageReportsZeroAndAsksToCloseLater) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<TShown> shown;
  CaptureMessages(c, shown);
  std::vector<uint32_t> codes;
  c.FNAKCB = [&](QObject*, uint32_t code) { codes.push_back(code); };
  int closes = 0;
  c.FRequestClose = [&](QObject*) { ++closes; };
  c.Deliver(BuildNak(Dev(), 3, 0, 1, 5, "x"));
  ASSERT_EQ(shown.size(), 1u);
  ASSERT_TRUE(shown[0].Cb);
  shown[0].Cb(nullptr, mrOk);
  EXPECT_EQ(codes, std::vector<uint32_t>{0});
  EXPECT_EQ(closes, 0) << "the close request is queued, not immediate";
  EXPECT_TRUE(test::SpinUntil([&] { return closes == 1; }));
  EXPECT_TRUE(c.LogHas(QStringLiteral("NAK RequestClose")));
}

TEST(ComUnitNak, ParameterUploadFailureGoesToSendParaDone) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<TShown> shown;
  CaptureMessages(c, shown);
  std::vector<bool> done;
  c.FSendParaDone = [&](QObject*, bool ok) { done.push_back(ok); };
  c.Deliver(BuildNak(Dev(), 3, 1, 3, 13, "x"));
  EXPECT_EQ(done, std::vector<bool>{false});
  EXPECT_TRUE(shown.empty());
}

TEST(ComUnitNak, TwoConnectionsAlreadyOpen) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<TShown> shown;
  CaptureMessages(c, shown);
  c.SendCommand(TCcci::SESSION_STR_ADV);
  TMemoryStream s(BuildNak(Dev(), 1, 1, 2, 120, {}));
  EXPECT_TRUE(c.Evaluate(s));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, TwoConnectionsText());
  EXPECT_TRUE(c.FTransferInProgress) << "the receive state is not reset";
  EXPECT_TRUE(c.FWaitForAnswer) << "the next command waits for the answer timeout";

  TTestComUnit quiet(clock);
  std::vector<uint32_t> codes;
  quiet.FNAKCB = [&](QObject*, uint32_t code) { codes.push_back(code); };
  TMemoryStream t(BuildNak(Dev(), 1, 1, 2, 120, {}));
  quiet.Evaluate(t);
  EXPECT_EQ(codes, std::vector<uint32_t>{120});
}

TEST(ComUnitNak, RefusedProtocol5StartFallsBackToProtocol4) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SendCommand(ccci::TCcci::START_S);
  c.Deliver(BuildNak(Dev(), 1, 0, 0, 134, {}));
  EXPECT_EQ(c.FVer, 4);
  EXPECT_TRUE(c.LogHas(QStringLiteral("FallBack CCCI V4")));
  ASSERT_EQ(c.Sent.size(), 2u);
  const ccc_head_t h = c.Last().Head();
  EXPECT_EQ(h.CMD, 1);
  EXPECT_EQ(h.Priv, 1);
  EXPECT_EQ(h.ExtCmd, 2);
  EXPECT_EQ(h.Ver, 4);
}

TEST(ComUnitNak, Code134OnAnotherCommandIsAnOrdinaryNak) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<uint32_t> codes;
  c.FNAKCB = [&](QObject*, uint32_t code) { codes.push_back(code); };
  c.Deliver(BuildNak(Dev(), 1, 1, 2, 134, {}));
  EXPECT_EQ(c.FVer, 5);
  EXPECT_EQ(codes, std::vector<uint32_t>{134});
}

TEST(ComUnitNak, Code111OnTheSessionShowsTheDevicesTextAndKeepsState) {
  TFakeClock clock;
  TTestComUnit c(clock);
  std::vector<TShown> shown;
  CaptureMessages(c, shown);
  TMemoryStream s(BuildNak(Dev(), 1, 2, 3, 111, "Lizenz abgelaufen"));
  EXPECT_TRUE(c.Evaluate(s));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, QStringLiteral("Lizenz abgelaufen"));
  EXPECT_TRUE(c.FTransferInProgress);
}

TEST(ComUnitNak, FollowingBytesAreDiscardedAfterANak) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Deliver(BuildNak(Dev(), 5, 0, 0, 9, {}) + BuildIdentityBasic(Dev(), {1, 1, 1}).left(10));
  c.Deliver(BuildIdentityBasic(Dev(), {2, 2, 2}));
  ASSERT_EQ(c.Handled.size(), 1u);
  TIdentityBasic id;
  ASSERT_EQ(DecodeIdentityBasic(c.Handled[0].Frame, id), QString());
  EXPECT_EQ(id.SerNum, 2u) << "the stale partial frame did not poison the next one";
}
