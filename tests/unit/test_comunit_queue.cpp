// Queueing and sending: the six SendCommand forms and how each kind of entry
// becomes a frame.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ByteOrder.h"
#include "GZip.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

namespace {
void WriteFile(const QString& p, const QByteArray& b) {
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(b);
}
}  // namespace

TEST(ComUnitState, InitialValues) {
  TFakeClock clock;
  TTestComUnit c(clock);
  EXPECT_EQ(c.FVer, 5);
  EXPECT_TRUE(c.FGZ);
  EXPECT_FALSE(c.FFTP);
  EXPECT_TRUE(c.FHeartBeatDisabled);
  EXPECT_FALSE(c.FTHreadExcept);
  EXPECT_FALSE(c.FNTPTunnelActive);
  EXPECT_EQ(c.FSeqCnt, 0u);
  EXPECT_EQ(c.FLastCmd, clock.Now);
  EXPECT_FALSE(c.IsTimerActive());
  EXPECT_EQ(c.FTimer->interval(), 100);
  EXPECT_EQ(c.FStreamRec, TStreamRec{});
  EXPECT_EQ(c.FSSHUser, QStringLiteral("tester")) << "default login comes from configuration";
  EXPECT_EQ(c.FSSHPassword, QStringLiteral("secret"));
  EXPECT_EQ(c.CountSendLst(), 0);
}

TEST(ComUnitQueue, DefaultFormSendsAtOnceWithCurrentHeaderFields) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FSN = 777;
  c.FFTP = true;
  c.FSeqCnt = 41;
  c.SendCommand(QStringLiteral("CCC_IDENTIFY_ALL"), 2, 0, 1);
  ASSERT_EQ(c.Sent.size(), 1u);
  const ccc_head_t h = c.Last().Head();
  EXPECT_EQ(h.CMD, 2);
  EXPECT_EQ(h.ExtCmd, 1);
  EXPECT_EQ(h.Ver, 5);
  EXPECT_EQ(h.FTPNAK, 0x0005) << "FTP and gzip flags";
  EXPECT_EQ(h.SN, 777u);
  EXPECT_EQ(h.SeqCnt, 41u);
  EXPECT_EQ(h.Size, 20u);
  EXPECT_EQ(c.FSeqCnt, 42u) << "a non-Lua command advances the counter after sending";
  EXPECT_TRUE(c.FWaitForAnswer);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Liste -> Kommando hinzugefügt: CCC_IDENTIFY_ALL CMD: 2 Priv: 0 ExtCmd: 1")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("Sending CCC_IDENTIFY_ALL CMD: 2 Priv: 0 ExtCmd: 1 NAK: 5 Seq: 41")));
}

TEST(ComUnitQueue, OnlyOneAnswerIsAwaitedAtATime) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SendCommand(TCcci::IDENTIFY_BASIC);
  c.SendCommand(TCcci::IDENTIFY_ALL);
  EXPECT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.CountSendLst(), 1);
  c.Deliver(BuildIdentityBasic(test::Dev(), {1, 2, 3}));
  EXPECT_FALSE(c.FWaitForAnswer) << "the answer ends the wait";
  c.EnableTimer(true);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_EQ(c.Last().Head().ExtCmd, 1);
}

TEST(ComUnitQueue, NothingIsSentWhileDisconnected) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Connected = false;
  c.SendCommand(TCcci::IDENTIFY_BASIC);
  EXPECT_TRUE(c.Sent.empty());
  EXPECT_EQ(c.CountSendLst(), 1);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Before Next Command Not Connected")));
}

TEST(ComUnitQueue, StopCommandEmptiesTheListAndAwaitsNothing) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Connected = false;  // let entries pile up
  c.SendCommand(TCcci::IDENTIFY_BASIC);
  c.SendCommand(QStringLiteral("CCC_SESSION_STP"), 1, 0, 65535);
  c.SendCommand(TCcci::IDENTIFY_ALL);
  c.Connected = true;
  c.FWaitForAnswer = false;
  c.SendNxtCommand();  // sends IDENTIFY_BASIC, then waits
  c.Deliver(BuildIdentityBasic(test::Dev(), {}));
  c.SendNxtCommand();  // sends SESSION_STP
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_EQ(c.Last().Head().ExtCmd, 0xFFFF);
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_EQ(c.CountSendLst(), 0) << "the entry behind the stop is dropped";
  EXPECT_TRUE(c.LogHas(QStringLiteral("Liste gecleart 1")));
}

TEST(ComUnitQueue, LuaStatementGetsCrLfExceptOverSsh) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FSeqCnt = 5;
  c.SendCommand(QStringLiteral("CCC_LUA_COMMAND"), 6, 1, 0, QStringLiteral("print(uti.version())"), true);
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_TRUE(c.Last().IsLua);
  EXPECT_EQ(c.Last().Bytes.mid(20), QByteArray("print(uti.version())\r\n"));
  EXPECT_EQ(c.FSeqCnt, 5u) << "Lua statements do not advance the counter";
  EXPECT_TRUE(c.FSuccess);
  EXPECT_TRUE(c.LogStartsWith(QStringLiteral("Sending CCC_LUA_COMMAND CMD: 6 Priv: 1 ExtCmd: 0 FTPNACK: 4 Seq: 5 AddData: ###")));

  TTestComUnit ssh(clock);
  ssh.FisSSHCon = true;
  ssh.SendCommand(QStringLiteral("CCC_LUA_COMMAND"), 6, 1, 0, QStringLiteral("x()"), true);
  EXPECT_EQ(ssh.Last().Bytes.mid(20), QByteArray("x()"));
}

TEST(ComUnitQueue, FileNameRequestsCarryNameAndResumePosition) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.Connected = false;
  c.SendCommand(QStringLiteral("CCC_READOUT_EVT_RD"), 5, 0, 17, QStringLiteral("evt-1.dat"), 4096u, false);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Liste -> Kommando hinzugefügt: CCC_READOUT_EVT_RD CMD: 5 Priv: 0 ExtCmd: 11 Pos: 4096")));
  EXPECT_EQ(c.CountSendLst(), 1) << "the resume form waits for the timer";
  c.Connected = true;
  c.EnableTimer(true);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  TFileNameRequest req;
  ASSERT_EQ(DecodeFileNameRequest(c.Last().Bytes, req), QString());
  EXPECT_EQ(req.Name, QByteArray("evt-1.dat"));
  EXPECT_EQ(req.Pos, 4096u);
  EXPECT_EQ(c.FFileName, QStringLiteral("evt-1.dat"));
  EXPECT_TRUE(c.FWaitForAnswer);

  c.ClearStreamAndBuffer();
  c.SendCommand(QStringLiteral("CCC_SCRATCH_PAD_RD"), 7, 0, 1, QStringLiteral("stat.txt"), false);
  ASSERT_EQ(DecodeFileNameRequest(c.Last().Bytes, req), QString());
  EXPECT_EQ(req.Pos, 0u);
}

TEST(ComUnitQueue, StreamFormWaitsForTheNextTick) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.SendCommand(QStringLiteral("CCC_STREAM_START"), 4, 0, 1, 0x04FFFFFFu);
  EXPECT_TRUE(c.Sent.empty()) << "nothing else is pending, still it waits";
  EXPECT_EQ(c.FStreamRec.ObjID, 0x04FFFFFFu);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Liste -> Kommando hinzugefügt: CCC_STREAM_START CMD: 4 Priv: 0 ExtCmd: 1 ID: 83886079")));
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.Last().Bytes.size(), 24);
  EXPECT_EQ(GetU32At(c.Last().Bytes, 20), 0x04FFFFFFu);
  EXPECT_TRUE(c.LogHas(QStringLiteral("tmr: Send Next / 1")));
}

TEST(ComUnitQueue, BinaryStreamStartDoesNotReplaceTheMeasurementObject) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SendCommand(QStringLiteral("CCC_STREAM_START"), 4, 0, 1, 0x01FFFFFFu);
  c.SendCommand(QStringLiteral("CCC_STREAM_START"), 4, 0, 1, CBinaryObjectId);
  EXPECT_EQ(c.FStreamRec.ObjID, 0x01FFFFFFu);
}

TEST(ComUnitQueue, StreamStopResetsStateAndStopsTheBinaryStreamToo) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FStreamRec = {0x04FFFFFF, 7, true, true, 9};
  c.FNextStreamBool = true;
  c.SendCommand(QStringLiteral("CCC_STREAM_STOP"), 4, 0, 65535, 7u);
  EXPECT_FALSE(c.FNextStreamBool);
  EXPECT_EQ(c.FStreamRec.ObjHdl, 0u);
  EXPECT_FALSE(c.FStreamRec.WithBinary);
  EXPECT_EQ(c.FStreamRec.BinaryHdl, 0u);
  ASSERT_EQ(c.CountSendLst(), 2);
  EXPECT_EQ(c.SendList()[0].ID, 7u);
  EXPECT_EQ(c.SendList()[1].ID, 9u) << "the binary stream's handle";
  EXPECT_TRUE(c.LogHas(QStringLiteral("ObjectHandle auf 0 gesetzt")));
}

TEST(ComUnitQueue, StreamStopAwaitsTheDevicesStoppedAnswer) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.SendCommand(QStringLiteral("CCC_STREAM_STOP"), 4, 0, 65535, 7u);
  c.SendCommand(QStringLiteral("CCC_SESSION_STP"), 1, 0, 65535);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_TRUE(c.FWaitForAnswer);
  EXPECT_EQ(c.CountSendLst(), 1) << "the session stop queued behind it survives";
  c.Deliver(BuildStreamStopped(test::Dev()));
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_EQ(c.Last().Head().CMD, 1);
}

TEST(ComUnitQueue, SetupUploadIsGzippedAndNeedsNoAnswer) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QTemporaryDir dir;
  const QString path = dir.filePath("setup.xml");
  const QByteArray xml = "<setup>" + QByteArray(5000, 'a') + "</setup>";
  WriteFile(path, xml);
  c.EnableTimer(true);
  c.SendCommandFile(QStringLiteral("CCC_SETUP_WR"), 3, 1, 3, path);
  EXPECT_TRUE(c.Sent.empty());
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  const QByteArray frame = c.Last().Bytes;
  EXPECT_EQ(GetU32At(frame, 12), uint32_t(frame.size()));
  QByteArray unpacked;
  ASSERT_EQ(GunzipBytes(frame.mid(20), unpacked), QString());
  EXPECT_EQ(unpacked, xml);
  EXPECT_FALSE(c.FWaitForAnswer);
  ASSERT_EQ(c.Work.size(), 2u);
  EXPECT_EQ(c.Work[0].Status, TWorkStatus::WorkBegin);
  EXPECT_EQ(c.Work[0].Count, frame.size());
  EXPECT_EQ(c.Work[1].Status, TWorkStatus::WorkEnd);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Before Zip")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("After Zip ") + path + QStringLiteral(".gz")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("After Send")));
}

TEST(ComUnitQueue, PlainUploadWhenGzipIsOff) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FGZ = false;
  QTemporaryDir dir;
  const QString path = dir.filePath("setup.xml");
  WriteFile(path, "<setup/>");
  c.EnableTimer(true);
  c.SendCommandFile(QStringLiteral("CCC_SETUP_WR"), 3, 1, 3, path);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.Last().Bytes.mid(20), QByteArray("<setup/>"));
  EXPECT_EQ(c.Last().Head().FTPNAK, 0);
}

TEST(ComUnitQueue, MissingUploadFileIsReportedAndTheQueueGoesOn) {
  TFakeClock clock;
  TTestComUnit c(clock);
  int failures = 0;
  c.FSendParaDone = [&](QObject*, bool ok) { failures += ok ? 0 : 1; };
  c.EnableTimer(true);
  c.SendCommandFile(QStringLiteral("CCC_SETUP_WR"), 3, 1, 3, QStringLiteral("/nonexistent/setup.xml"));
  c.SendCommand(QStringLiteral("CCC_STREAM_START"), 4, 0, 1, 5u);
  c.ManualTimer();
  EXPECT_EQ(failures, 1);
  ASSERT_EQ(c.Sent.size(), 1u) << "the next entry still goes out";
  EXPECT_EQ(c.Last().Head().CMD, 4);
  EXPECT_TRUE(c.IsTimerActive());
}

TEST(ComUnitQueue, FtpModeUploadsThenNamesTheFile) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FFTP = true;
  c.FGZ = false;
  QTemporaryDir dir;
  const QString path = dir.filePath("setup.xml");
  WriteFile(path, "<setup/>");
  c.EnableTimer(true);
  c.SendCommandFile(QStringLiteral("CCC_SETUP_WR"), 3, 1, 3, path);
  c.ManualTimer();
  ASSERT_EQ(c.FtpUploads.size(), 1);
  EXPECT_EQ(c.FtpUploads[0], path + QStringLiteral(" -> /ramdrive0/ccci"));
  ASSERT_EQ(c.Sent.size(), 1u);
  TFileNameRequest req;
  ASSERT_EQ(DecodeFileNameRequest(c.Last().Bytes, req), QString());
  EXPECT_EQ(req.Name, QByteArray("setup.xml"));
  EXPECT_TRUE(c.FWaitForAnswer);
}

TEST(ComUnitQueue, ScratchpadUploadLayout) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QTemporaryDir dir;
  const QString path = dir.filePath("status.lua");
  WriteFile(path, "print('x')");
  c.EnableTimer(true);
  c.SendCommandCCCIFile(QStringLiteral("CCC_SCRATCH_PAD_WR"), 7, 0, 2, QStringLiteral("status.lua"), path);
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 1u);
  TScratchpadUpload up;
  ASSERT_EQ(DecodeScratchpadUpload(c.Last().Bytes, up), QString());
  EXPECT_EQ(c.Last().Bytes.size(), 148 + 10);
  EXPECT_EQ(up.TargetName, QByteArray("status.lua"));
  EXPECT_EQ(up.File, QByteArray("print('x')"));
  EXPECT_FALSE(c.FWaitForAnswer);
}

TEST(ComUnitQueue, FailedSendStopsTheLoop) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FGZ = false;
  QTemporaryDir dir;
  const QString a = dir.filePath("a.lua"), b = dir.filePath("b.lua");
  WriteFile(a, "a");
  WriteFile(b, "b");
  c.SendCommandCCCIFile(QStringLiteral("CCC_SCRATCH_PAD_WR"), 7, 0, 2, QStringLiteral("a.lua"), a);
  c.SendCommandCCCIFile(QStringLiteral("CCC_SCRATCH_PAD_WR"), 7, 0, 2, QStringLiteral("b.lua"), b);
  c.SendResult = false;
  c.SendNxtCommand();
  EXPECT_EQ(c.CountSendLst(), 1) << "after the failed send the loop ends";
  c.SendResult = true;
  c.SendNxtCommand();
  EXPECT_EQ(c.CountSendLst(), 0) << "uploads await no answer, so the next goes at once";
  ASSERT_EQ(c.Sent.size(), 1u);
}
