// Session start, identity, rights check and the Lua channel of the client,
// against the in-memory transport.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "ByteOrder.h"
#include "DeviceTime.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::Dev;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

namespace {
QByteArray Lua(TLuaOutputKind k, const QByteArray& text) { return BuildLuaOutput(Dev(), k, text); }

TIdentityFull SampleIdentity(uint32_t firmwareWord) {
  TIdentityFull id;
  id.SerNum = 815;
  id.ArtNum = 1197850;
  id.ProdDate = 1600000000;
  id.DevClock = 1768478400;
  id.TimeSet.tz = 2;
  id.TimeSet.dstmode = 1;
  id.TimeSet.ws = {3, 25, 1, 7};
  id.TimeSet.sw = {10, 25, 1, 7};
  id.FirmwareWord = firmwareWord;
  id.Plant = "Anlage A";
  id.Field = "Feld B";
  id.Device = "Geraet C";
  return id;
}
}  // namespace

TEST(ComUnitLua, ChunksAreLoggedLineWiseAndTheReceiverGetsEverythingOnce) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QStringList got;
  c.RunLua(QStringLiteral("x()"), [&](QObject* s, const QString& text) {
    EXPECT_EQ(s, &c);
    got << text;
  });
  c.Deliver(Lua(TLuaOutputKind::loChunk, "a\nb"));
  EXPECT_TRUE(c.LogHas(QStringLiteral("a")));
  EXPECT_FALSE(c.LogHas(QStringLiteral("b")));
  c.Deliver(Lua(TLuaOutputKind::loEnd, "c"));
  EXPECT_TRUE(c.LogHas(QStringLiteral("bc")));
  EXPECT_TRUE(got.isEmpty()) << "receivers run through the queue, never inside the evaluation";
  EXPECT_FALSE(c.FTmpLUACallBack) << "taken out of its field before the call";
  ASSERT_TRUE(test::SpinUntil([&] { return !got.isEmpty(); }));
  EXPECT_EQ(got, QStringList{QStringLiteral("a\nbc")});
  EXPECT_TRUE(c.FSuccess);
  EXPECT_FALSE(c.FWaitForAnswer) << "the end frame releases the queue";
}

TEST(ComUnitLua, ErrorOutputReachesReceiverAndFlashDoneReportsFailure) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QString got;
  std::vector<bool> flash;
  c.FFlashDone = [&](QObject*, bool ok) { flash.push_back(ok); };
  c.FCCCISratchpad = TCCCISratchpad::spStatus;
  c.RunLua(QStringLiteral("error()"), [&](QObject*, const QString& t) { got = t; });
  c.Deliver(Lua(TLuaOutputKind::loError, "boom"));
  c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
  EXPECT_FALSE(c.FSuccess);
  EXPECT_EQ(c.FCCCISratchpad, TCCCISratchpad::spNone) << "a pending scratchpad job is cancelled";
  EXPECT_EQ(flash, std::vector<bool>{false});
  ASSERT_TRUE(test::SpinUntil([&] { return !got.isEmpty(); }));
  EXPECT_EQ(got, QStringLiteral("boom"));
}

TEST(ComUnitLua, ScratchpadReceiverTakesChunksTheEndGoesToBoth) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QStringList proc;
  c.FCCCISratchpadProc = [&](const QString& t, bool last) { proc << (t + (last ? "|last" : "")); };
  QString got;
  c.RunLua(QStringLiteral("x"), [&](QObject*, const QString& t) { got = t; });
  c.Deliver(Lua(TLuaOutputKind::loChunk, "one"));
  c.Deliver(Lua(TLuaOutputKind::loEnd, "two"));
  EXPECT_EQ(proc, (QStringList{"one", "two|last"}));
  ASSERT_TRUE(test::SpinUntil([&] { return !got.isEmpty(); }));
  EXPECT_EQ(got, QStringLiteral("two"));
}

TEST(ComUnitLua, FlushLogChainsIntoReadingTheLog) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.EnableTimer(true);
  c.FCCCISratchpad = TCCCISratchpad::spFlushLog;
  c.SendCommand(ccci::TCcci::LUA_COMMAND, QStringLiteral("uti.flushLog()"), true);
  c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
  EXPECT_EQ(c.FCCCISratchpad, TCCCISratchpad::spGetLog);
  EXPECT_EQ(c.CountSendLst(), 1) << "queued while the end frame was still being evaluated";
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_TRUE(c.Last().Bytes.mid(20).startsWith("fs.cp(\"//mnt/flashdrive0/data/logd.log\""));
  c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
  EXPECT_EQ(c.FCCCISratchpad, TCCCISratchpad::spGetLog) << "kept for the read's answer, which is the log";
  c.ManualTimer();
  ASSERT_EQ(c.Sent.size(), 3u);
  TFileNameRequest req;
  ASSERT_EQ(DecodeFileNameRequest(c.Last().Bytes, req), QString());
  EXPECT_EQ(req.Name, QByteArray("logd.log"));
  EXPECT_EQ(c.Last().Head().CMD, 7);
}

TEST(ComUnitLua, SshShellOutputEndsAtTheMarker) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QString got;
  c.FTmpLUACallBack = [&](QObject*, const QString& t) { got = t; };
  c.FWaitForAnswer = true;
  c.LUACommandSSH("first line\nsecond");
  EXPECT_TRUE(c.FWaitForAnswer);
  c.LUACommandSSH(" part\nprompt> \x1a\x1b\n");
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_TRUE(c.LogHas(QStringLiteral("done: True")));
  ASSERT_TRUE(test::SpinUntil([&] { return !got.isEmpty(); }));
  EXPECT_EQ(got, QStringLiteral("first line\nsecond part\n")) << "text before the marker on its line is dropped";
  // The log gets whole lines, as over CCCI: the piece "second" waited for " part".
  EXPECT_TRUE(c.LogHas(QStringLiteral("first line")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("second part")));
  EXPECT_FALSE(c.LogHas(QStringLiteral("second")));
}

TEST(ComUnitSession, Protocol4AnswerStoresTheFtpLoginAndIdentifies) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FVer = 4;
  c.SendCommand(TCcci::SESSION_STR_ADV);
  c.Deliver(BuildSessionAnswer(Dev(0, 4), 1, 2, "ftpu", "ftpp"));
  EXPECT_EQ(c.FVer, 4);
  EXPECT_EQ(c.FUser, QStringLiteral("ftpu"));
  EXPECT_EQ(c.FPAss, QStringLiteral("ftpp"));
  EXPECT_TRUE(c.LogHas(QStringLiteral("ComUnit User: ftpu Pass: ***")));
  for (const QString& line : c.Log) EXPECT_FALSE(line.contains(QLatin1String("ftpp"))) << "the password is never logged";
  EXPECT_TRUE(c.IsTimerActive());
  ASSERT_EQ(c.Sent.size(), 2u);
  EXPECT_EQ(c.Last().Head().CMD, 2);
  EXPECT_EQ(c.Last().Head().ExtCmd, 1);
  EXPECT_EQ(c.Last().Head().Ver, 4);
}

TEST(ComUnitSession, Protocol5AnswerHasNoCredentials) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FVer = 4;
  c.Deliver(BuildSessionAnswer(Dev(0, 5), 0, 0, {}, {}));
  EXPECT_EQ(c.FVer, 5) << "the client adopts the device's version";
  EXPECT_TRUE(c.FUser.isEmpty());
  EXPECT_EQ(c.Last().Head().Ver, 5);
}

TEST(ComUnitSession, StartRecordBypassesTheQueue) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FSeqCnt = 9;
  c.FSN = 12;
  c.SendStartCommand(1, "operator", "TICKET");
  ASSERT_EQ(c.Sent.size(), 1u);
  const QByteArray f = c.Last().Bytes;
  ASSERT_EQ(f.size(), 160);
  EXPECT_EQ(c.Last().Head().SeqCnt, 9u);
  EXPECT_EQ(c.Last().Head().SN, 12u);
  EXPECT_EQ(c.FSeqCnt, 9u);
  EXPECT_FALSE(c.FWaitForAnswer);
  EXPECT_EQ(c.CountSendLst(), 0);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Sending ccc_start_s CMD: 1 | Priv: 0 | ExtCmd: 0 | Method: 1 | NAK: 4 | Ver: 5 | Seq: 9 | Size: 160")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("Sending Auth with User: operator and Ticket TICKET")));
}

TEST(ComUnitSession, FullIdentityFillsTheClientAndWritesTheDeviceLog) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FIP = QStringLiteral("10.1.2.3");
  c.FPort = 5040;
  c.FProgUser = QStringLiteral("Anna \"A\"");
  c.FLocalIP = QStringLiteral("10.1.2.99");
  std::vector<QString> sn;
  c.FOnComNewSNCallBack = [&](QObject*, uint32_t n, TDevType t, const QString& a, const QString& f, const QString& g) {
    sn.push_back(QStringLiteral("%1 %2 %3/%4/%5").arg(n).arg(DevTypeName(t), a, f, g));
  };
  QString label;
  c.FOnConCallack = [&](QObject*, const QString& t) { label = t; };
  int done = 0;
  c.FOnConnDone = [&](QObject*, bool ok) { done += ok ? 1 : 100; };
  c.Deliver(BuildIdentityFull(Dev(), SampleIdentity(TVantaFW::MakeRaw(1, 2, 10, 0))));
  EXPECT_EQ(c.FSN, 815u);
  EXPECT_EQ(c.FArtNum, 1197850u);
  EXPECT_EQ(c.FDevType, TDevType::devtypVantaDE);
  EXPECT_EQ(c.FPlant, QStringLiteral("Anlage A"));
  EXPECT_EQ(c.FConTime, 1768478400u);
  EXPECT_EQ(c.FtmeSet.tz, 2);
  EXPECT_TRUE(c.FHeartBeatDisabled);
  ASSERT_EQ(sn.size(), 1u);
  EXPECT_EQ(sn[0], QStringLiteral("815 devtypVantaDE Anlage A/Feld B/Geraet C"));
  EXPECT_EQ(label, QStringLiteral("10.1.2.3:5040 - Anlage A Feld B Geraet C (2.10.0)"));
  EXPECT_TRUE(c.LogHas(QStringLiteral("IN: IdendityAll: Time=15.01.2026 13:00:00"))) << "device time in its own zone";
  EXPECT_TRUE(c.LogHas(QStringLiteral("IN: IdendityAll tmeSet.tz Vorzeichen=0 Hour=1 Min=0")));
  EXPECT_TRUE(c.LogHas(QStringLiteral("IN: IdendityAll tmeSet.ws mon=3 day=25 hour=1 dow=7")));
  ASSERT_EQ(c.Sent.size(), 1u);
  EXPECT_EQ(c.Last().Bytes.mid(20), QByteArray("log.print(\"Anna \\\"A\\\", 10.1.2.99\");\r\n"));
  EXPECT_EQ(done, 0);
  c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
  ASSERT_TRUE(test::SpinUntil([&] { return done > 0; }));
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(c.LogHas(QStringLiteral("Connection Done Assigned without Folder")));
}

TEST(ComUnitSession, TheDevicesTimeSettingsGoBesideItsFiles) {
  TFakeClock clock;
  TTestComUnit c(clock);
  QTemporaryDir dir;
  c.FDatadir = dir.filePath(QStringLiteral("data/"));
  c.FSetFolders = true;
  c.FCheckXMLFileVersions = false;
  int done = 0;
  c.FOnConnDone = [&](QObject*, bool ok) { done += ok ? 1 : 100; };
  c.Deliver(BuildIdentityFull(Dev(), SampleIdentity(TVantaFW::MakeRaw(1, 2, 10, 0))));
  c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
  ASSERT_TRUE(test::SpinUntil([&] { return done > 0; }));
  EXPECT_EQ(c.FEvtDir, dir.filePath(QStringLiteral("data/815/Event/")));
  uint32_t serial = 0;
  time_set_t set;
  QString error;
  ASSERT_TRUE(LoadDeviceTime(dir.filePath(QStringLiteral("data/815")), serial, set, error)) << error.toStdString();
  EXPECT_EQ(serial, 815u);
  // A July event stored there reads as the device shows it: summer time.
  TSysEnvHeader env;
  env.Serial = 815;
  env.TzOffsetSec = 3600;
  env.Dst = true;
  const TDeviceTime t = DeviceTimeForFile(c.FEvtDir + QStringLiteral("00000815-1784109600-000.log"), env);
  EXPECT_EQ(t.SecText({1784109600, 0}), QStringLiteral("15.07.2026 12:00:00"));
}

TEST(ComUnitSession, HeartbeatOnlyForOldFirmware) {
  struct Case {
    uint32_t Word;
    bool Disabled;
  };
  for (const Case k : {Case{13685, false}, Case{13686, true}, Case{100, false}, Case{TVantaFW::MakeRaw(0, 2, 0, 0), true},
                       Case{TVantaFW::MakeRaw(2, 2, 10, 0), true}}) {
    TFakeClock clock;
    TTestComUnit c(clock);
    c.Deliver(BuildIdentityFull(Dev(), SampleIdentity(k.Word)));
    EXPECT_EQ(c.FHeartBeatDisabled, k.Disabled) << k.Word;
  }
}

TEST(ComUnitSession, BasicIdentityOnlyLogsAndTypes) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FSN = 1;
  c.Deliver(BuildIdentityBasic(Dev(), {999, 357000101, 1600000000}));
  EXPECT_EQ(c.FDevType, TDevType::devtypOmnivex);
  EXPECT_EQ(c.FSN, 1u);
  EXPECT_TRUE(c.LogStartsWith(QStringLiteral("IN: Idendity: SerNum=999 ArtNum=357000101 ProdDate=")));
}

TEST(ComUnitSession, RightsCheck) {
  TFakeClock clock;
  for (const char* answer : {"TRUE\r\n", "true", "false", ""}) {
    TTestComUnit c(clock);
    int granted = 0, denied = 0;
    c.CheckSSHRight(QStringLiteral("pq.calClose(0)"), [&] { ++granted; }, [&] { ++denied; }, false);
    EXPECT_EQ(c.Last().Bytes.mid(20), QByteArray("print(user.authorized(\"pq.calClose(0)\")[\"pq.calClose(0)\"]);\r\n"));
    if (*answer) c.Deliver(Lua(TLuaOutputKind::loChunk, answer));
    c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
    ASSERT_TRUE(test::SpinUntil([&] { return granted + denied == 1; })) << answer;
    EXPECT_EQ(granted, QByteArray(answer).toLower().contains("true") ? 1 : 0) << answer;
  }
}

TEST(ComUnitSession, DeniedRightWithMessage) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.FSSHUser = QStringLiteral("guest");
  QString shown;
  c.FDisplayConnMessage = [&](const QString& t, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) { shown = t; };
  int denied = 0;
  c.CheckSSHRight(QStringLiteral("x"), {}, [&] { ++denied; }, true);
  c.Deliver(Lua(TLuaOutputKind::loEnd, "false"));
  ASSERT_TRUE(test::SpinUntil([&] { return denied == 1; }));
  EXPECT_EQ(shown, QStringLiteral("Der Benutzer \"guest\" hat nicht die nötigen Rechte für diesen Vorgang!"));
}

TEST(ComUnitSession, TicketPathStartsWithTheFirstLineOfTheTicket) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SetSSHUserPass(QStringLiteral("operator"), QStringLiteral("pw"));
  c.StartCredentialSession();
  c.Deliver(Lua(TLuaOutputKind::loEnd, "true"));
  ASSERT_TRUE(test::SpinUntil([&] { return c.Sent.size() == 2; }));
  EXPECT_EQ(c.Last().Bytes.mid(20), QByteArray("print(user.ticketGet())\r\n"));
  c.Deliver(Lua(TLuaOutputKind::loChunk, "abc\r\nmore text"));
  c.Deliver(Lua(TLuaOutputKind::loEnd, {}));
  ASSERT_TRUE(test::SpinUntil([&] { return c.Sent.size() == 3; }));
  TStartRecord rec;
  ASSERT_EQ(DecodeStartRecord(c.Last().Bytes, rec), QString());
  EXPECT_EQ(rec.Method, 1u);
  EXPECT_EQ(rec.User, QByteArray("operator"));
  EXPECT_EQ(rec.Secret, QByteArray("abc"));
}

TEST(ComUnitSession, PasswordPathWhenTheTicketRightIsMissing) {
  TFakeClock clock;
  TTestComUnit c(clock);
  c.SetSSHUserPass(QStringLiteral("guest"), QStringLiteral("guestpw"));
  c.StartCredentialSession();
  c.Deliver(Lua(TLuaOutputKind::loEnd, "false"));
  ASSERT_TRUE(test::SpinUntil([&] { return c.Sent.size() == 2; }));
  TStartRecord rec;
  ASSERT_EQ(DecodeStartRecord(c.Last().Bytes, rec), QString());
  EXPECT_EQ(rec.Method, 0u);
  EXPECT_EQ(rec.Secret, QByteArray("guestpw"));
}
