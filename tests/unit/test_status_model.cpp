// The status file read into the status record, grouped by the page that
// shows each part; the capture command text and listing; the certificate
// name; a free Lua statement's answer as the flow hands it on.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QTimeZone>

#include "StatusFlow.h"
#include "StatusModel.h"
#include "TestSupport.h"

using namespace vanta;

namespace {
// A device line: key padded to 35, CR LF.
QByteArray L(const char* key, const char* value) {
  QByteArray k(key);
  return k.leftJustified(34, ' ') + ' ' + value + "\r\n";
}
TStatusRecord Route(const QByteArray& text, time_tz_t tz = {}) { return RouteStatus(ParseStatText(text), tz); }
}  // namespace

TEST(StatusParse, FirstBlankSeparatesAndValuesStayWhole) {
  const TValList v = ParseStatText(L("plant", "Umspannwerk  Nord ") + "garbage\r\n\r\n" +
                                   L("a.key.that.is.much.longer.than.thirty.five", "x y"));
  ASSERT_EQ(v.Items.size(), 3);
  EXPECT_EQ(v.Value("plant"), QStringLiteral("Umspannwerk  Nord")) << "trimmed, inner blanks kept";
  EXPECT_TRUE(v.Has("garbage"));
  EXPECT_EQ(v.Value("garbage"), QString());
  EXPECT_EQ(v.Value("a.key.that.is.much.longer.than.thirty.five"), QStringLiteral("x y"));
  EXPECT_TRUE(ParseStatText(QByteArray()).Items.isEmpty());
}

TEST(StatusParse, Latin1WhenTheBytesAreNotUtf8) {
  EXPECT_EQ(ParseStatText("plant S\xc3\xbc" "d\r\n").Value("plant"), QStringLiteral("Süd"));
  EXPECT_EQ(ParseStatText("plant S\xfc" "d\r\n").Value("plant"), QStringLiteral("Süd"));
}

TEST(StatusMainPage, IdentityVersionUptimeAndDeviceTime) {
  const QByteArray t = L("version.major", "2") + L("version.minor", "11") + L("version.patch", "3") + L("revision", "B") +
                       L("upTime", "90061") + L("time.utc.soc", "1764936000") + L("time.utc.fracsec.dst", "1");
  const TStatusRecord r = Route(t, {3600, true});
  EXPECT_EQ(r.Firmware, QStringLiteral("2.11.3"));
  EXPECT_EQ(r.Release, QStringLiteral("B"));
  EXPECT_EQ(r.UpTimeText, QStringLiteral("1 d 01:01:01.000"));
  // 2025-12-05 12:00 UTC, one hour zone plus the daylight-saving hour the stamp carries.
  EXPECT_EQ(r.DeviceTime, QStringLiteral("05.12.2025 14:00:00"));
  EXPECT_EQ(Route(t, {3600, false}).DeviceTime, QStringLiteral("05.12.2025 13:00:00")) << "a device without DST ignores the flag";
  EXPECT_EQ(Route(L("time.utc.soc", "1764936000")).DeviceTime, QString()) << "both keys or no time";
  EXPECT_EQ(Route(L("upTime", "-5")).UpTimeSec, 0u);
  EXPECT_EQ(Route(QByteArray()).Firmware, QString()) << "missing keys leave fields empty";
}

TEST(StatusDrivesPage, SizesPercentAndTheCard) {
  const QByteArray flash = L("flashdrive0.free", "3221225472") + L("flashdrive0.total", "4294967296") +
                           L("flashdrive0.used", "1073741824") + L("flashdrive0.bad", "524288");
  const TStatusRecord r = Route(flash);
  EXPECT_EQ(r.Flash.FreeMiB, 3072);
  EXPECT_EQ(r.Flash.UsedMiB, 1024);
  EXPECT_EQ(r.Flash.BadMiB, 1) << "half a MiB rounds up";
  EXPECT_EQ(r.FlashPercentText, QStringLiteral("75%"));
  EXPECT_EQ(Route(L("flashdrive0.free", "50")).Flash.Percent, 5000) << "a missing total counts as 1";
  EXPECT_EQ(Route(L("flashdrive0.total", "abc")).Flash.Percent, 100) << "non-numeric counts as 1 too";
  const QByteArray card = L("sd0.total", "2097152") + L("sd0.used", "1048576") + L("sd0.free", "1048576") + L("sd0.bad", "0");
  EXPECT_TRUE(Route(card).Sd.Present) << "no sd0 key is not N/A";
  EXPECT_FALSE(Route(L("sd0", "N/A") + card).Sd.Present);
  EXPECT_FALSE(Route(L("sd0.total", "2097152")).Sd.Present) << "all four sizes are needed";
}

TEST(StatusRouting, FirstPatternInTheOrderWins) {
  const QByteArray t = L("ccciWorker.active", "1") + L("NTP.1.ip.addr", "10.0.0.1") + L("recording.10min.state", "running") +
                       L("sysLoad.cpu", "12.5") + L("sysLoad.bad", "n/a") + L("modbus.slave1.state", "ok") +
                       L("IEC104.client1", "up") + L("iec104.Client1.x", "no") + L("iec850.Client1", "down") +
                       L("ip.eth0", "192.168.1.5") + L("NTP.2.lastsync", "1764936000") + L("NTP.4.offset", "0.2") +
                       L("time.syncSrc", "NTP") + L("time.recording.x", "r");
  const TStatusRecord r = Route(t, {-9000, false});
  EXPECT_EQ(r.CcciWorkers, QStringList{"ccciWorker.active=1"});
  EXPECT_EQ(r.Addresses, (QStringList{"1.ip.addr=10.0.0.1", "eth0=192.168.1.5"})) << "ip. before NTP.1";
  EXPECT_EQ(r.Recordings, (QStringList{"10min.state=running", "recording.x=r"})) << "recording. before time.";
  ASSERT_EQ(r.SysLoad.size(), 2);
  EXPECT_EQ(r.SysLoad[0].Syspart, QStringLiteral("cpu"));
  EXPECT_FLOAT_EQ(r.SysLoad[0].Load, 12.5f);
  EXPECT_FLOAT_EQ(r.SysLoad[1].Load, 0.0f);
  EXPECT_EQ(r.Modbus, QStringList{"slave1.state=ok"});
  EXPECT_EQ(r.Iec104, QStringList{"IEC104.client1=up"}) << "exact name, any case; the longer name goes nowhere";
  EXPECT_EQ(r.Iec850, QStringList{"iec850.Client1=down"});
  ASSERT_EQ(r.Ntp[1].size(), 1);
  EXPECT_EQ(r.Ntp[1][0], (TNameValue{"lastsync", "1764936000"}));
  EXPECT_EQ(r.Ntp[3][0], (TNameValue{"offset", "0.2"}));
  EXPECT_EQ(r.Time, (QList<TNameValue>{{"syncSrc", "NTP"}, {"Zeitzone", "-2.5"}, {"Sommerzeit", "False"}}));
  EXPECT_TRUE(r.DcfQuality.isEmpty());
}

TEST(StatusTimePage, Dcf77QualityThresholdsAndServerLines) {
  auto q = [](const char* signal, const char* quality) {
    return CheckDCF({{"syncSrc", "dcf77"}, {"signal", signal}, {"quality", quality}});
  };
  EXPECT_EQ(q("0", "1"), QStringLiteral("Kein Signal"));
  EXPECT_EQ(q("x", "1"), QStringLiteral("Kein Signal"));
  EXPECT_EQ(q("1", "0"), QStringLiteral("Ungültig"));
  EXPECT_EQ(q("1", "abc"), QStringLiteral("Ungültig"));
  EXPECT_EQ(q("1", "1"), QStringLiteral("Sehr gut"));
  EXPECT_EQ(q("1", "4000000"), QStringLiteral("Sehr gut"));
  EXPECT_EQ(q("1", "4000001"), QStringLiteral("Gut"));
  EXPECT_EQ(q("1", "7000000"), QStringLiteral("Gut"));
  EXPECT_EQ(q("1", "7000001"), QStringLiteral("Mittel"));
  EXPECT_EQ(q("1", "15000001"), QStringLiteral("Schlecht"));
  EXPECT_EQ(q("1", "25000000"), QStringLiteral("Schlecht"));
  EXPECT_EQ(q("1", "25000001"), QStringLiteral("Sehr schlecht"));
  EXPECT_EQ(CheckDCF({{"syncSrc", "NTP"}, {"signal", "0"}}), QString());

  const qint64 sec = 1764936000;
  const QString local = QDateTime::fromSecsSinceEpoch(sec).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
  EXPECT_EQ(NtpLineText({"utc.soc", QString::number(sec)}), QStringLiteral("utc.soc=") + local);
  EXPECT_EQ(NtpLineText({"lastsync", "never"}), QStringLiteral("lastsync=never"));
  EXPECT_EQ(NtpLineText({"stratum", "2"}), QStringLiteral("stratum=2"));
}

TEST(StatusGolden, SampleFileGivesTheDerivedRecord) {
  QFile in(QStringLiteral(VANTA_TEST_DATA_DIR "/status/stat-sample.txt"));
  QFile want(QStringLiteral(VANTA_TEST_DATA_DIR "/status/stat-sample.expected.json"));
  if (!in.exists()) GTEST_SKIP() << "no sample";
  ASSERT_TRUE(in.open(QIODevice::ReadOnly) && want.open(QIODevice::ReadOnly));
  qputenv("TZ", "UTC");
  const QJsonObject got = StatusToJson(RouteStatus(ParseStatText(in.readAll()), {3600, true}));
  const QJsonObject expected = QJsonDocument::fromJson(want.readAll()).object();
  ASSERT_GE(expected.size(), 19) << "the expected record is missing or incomplete";
  for (auto it = expected.begin(); it != expected.end(); ++it)
    EXPECT_EQ(got.value(it.key()), it.value()) << it.key().toStdString() << ": got "
                                               << QJsonDocument(QJsonObject{{it.key(), got.value(it.key())}}).toJson().toStdString();
}

TEST(StatusCapture, CommandTextFromTheFields) {
  TPcapSettings s;
  s.FileName = QStringLiteral("a.pcap");
  EXPECT_EQ(GenText(s, {}), QStringLiteral("ips.pcapStart(\"emac\", \"/mnt/flashdrive0/data/a.pcap\", \"1h\")"));
  s.Hours = 0;
  EXPECT_EQ(GenText(s, {}), QStringLiteral("ips.pcapStart(\"emac\", \"/mnt/flashdrive0/data/a.pcap\", \"\")")) << "all zero: empty limit";
  s.Hours = 2;
  s.Seconds = 5;
  s.Filters = {PcapFilter(QStringLiteral("src"), QStringLiteral("10.0.0.1")), PcapFilter(QString(), QStringLiteral("255.255.255.255"))};
  EXPECT_EQ(GenText(s, {}), QStringLiteral("ips.pcapStart(\"emac\", \"/mnt/flashdrive0/data/a.pcap\", \"2h5s\", \"src@10.0.0.1\", "
                                           "\"255.255.255.255\")"));
  s.ByPackets = true;
  s.Packets = 250;
  s.Filters.clear();
  s.FileName.clear();
  const QDateTime now(QDate(2026, 3, 4), QTime(5, 6, 7));
  EXPECT_EQ(GenText(s, now), QStringLiteral("ips.pcapStart(\"emac\", \"/mnt/flashdrive0/data/260304_050607.pcap\", 250)"));
  EXPECT_EQ(s.FileName, QStringLiteral("260304_050607.pcap")) << "written back into the field";
}

TEST(StatusCapture, ListingAndCertificateName) {
  const QList<TPcapEntry> l = ParsePcapListing(QStringLiteral("file 1234 2026-12-05 10:00:00 a.pcap\r\ndir 0 2026-12-05 10:00:00 sub\r\n"
                                                              "file short\r\n  file  99  2026-12-06  11:00:00  b.pcap\r\n"));
  ASSERT_EQ(l.size(), 2);
  EXPECT_EQ(l[0].Name, QStringLiteral("a.pcap"));
  EXPECT_EQ(l[0].Detail, QStringLiteral("file1234 - 2026-12-05 10:00:00"));
  EXPECT_EQ(l[1].Name, QStringLiteral("b.pcap"));
  EXPECT_EQ(TestCertName(12345678, QStringLiteral("1197500")), QStringLiteral("12345678-119.7500.pdf"));
}

// The device sends a long answer in several output frames, one of them
// ending between CR and LF: the statement's receiver gets the whole text,
// and the memo gets it as one line, not one line per piece.
TEST(StatusLua, AnAnswerInPiecesIsOneLine) {
  test::TFakeClock clock;
  test::TTestComUnit unit(clock);
  QStringList memo;
  unit.FOnLogCallBack = [&](QObject*, const QString& line, bool toMemo) {
    if (toMemo) memo << line;
  };
  TStatusFlow flow(unit);
  bool answered = false, ok = false;
  QString output;
  flow.RunLua(QStringLiteral("print(string.rep(\"x\", 2047))"), [&](bool success, const QString& text) {
    answered = true;
    ok = success;
    output = text;
  });
  const QByteArray line(2047, 'x');
  const QByteArray all = line + "\r\n";
  for (const QByteArray& piece : {all.left(1024), all.mid(1024, 1024), all.mid(2048)})
    unit.Deliver(ccci::BuildLuaOutput(test::Dev(), ccci::TLuaOutputKind::loChunk, piece));
  unit.Deliver(ccci::BuildLuaOutput(test::Dev(), ccci::TLuaOutputKind::loEnd, {}));
  ASSERT_TRUE(test::SpinUntil([&] { return answered; }));
  EXPECT_TRUE(ok);
  EXPECT_EQ(output, QString::fromLatin1(all));
  EXPECT_EQ(memo, QStringList{QString::fromLatin1(line)}) << memo.size() << " memo lines";
}
