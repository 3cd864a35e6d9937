// Frames checked against hex written down from the protocol description by
// hand, independently of the catalogue table: a mistyped code in the table,
// two swapped fields or a wrong offset fails here even when an encode/decode
// round trip agrees with itself.
#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include "ByteOrder.h"
#include "Ccci.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using namespace vanta::test;

namespace {

QStringList GoldenLines(const QString& name) {
  QFile f(QStringLiteral(VANTA_TEST_DATA_DIR "/") + name);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList out;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) out << line;
  }
  return out;
}

QMap<QString, QByteArray> GoldenFrames() {
  QMap<QString, QByteArray> m;
  for (const QString& l : GoldenLines(QStringLiteral("ccci_frames.golden"))) {
    const QStringList p = l.split(QLatin1Char('\t'));
    if (p.size() == 2) m.insert(p[0], QByteArray::fromHex(p[1].toLatin1()));
  }
  return m;
}

// The client with the header context the golden frames were written for.
struct TGoldenClient {
  TFakeClock Clock;
  TTestComUnit U{Clock};
  TGoldenClient() {
    U.FVer = 5;
    U.FGZ = true;
    U.FSN = 0x12345678;
    U.FSeqCnt = 7;
  }
};

QString Hex(const QByteArray& b) { return QString::fromLatin1(b.toHex()); }

}  // namespace

TEST(GoldenFrames, EveryCatalogueCommandHasAGoldenFrame) {
  const auto golden = GoldenFrames();
  ASSERT_EQ(golden.size(), int(TCcci::Count));
  for (const TCommandDef& d : CCommandCatalogue) EXPECT_TRUE(golden.contains(QString::fromLatin1(d.Name))) << d.Name;
}

// Each command sent the way the windows send it, through the catalogue form
// of SendCommand, comes out byte for byte as written down.
TEST(GoldenFrames, QueuedCommandsMatchByteForByte) {
  const auto golden = GoldenFrames();
  QTemporaryDir dir;
  const QString upload = dir.filePath(QStringLiteral("setup.bin"));
  const QString scratch = dir.filePath(QStringLiteral("x.txt"));
  {
    QFile f(upload);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromHex("1f8b08"));
    QFile g(scratch);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("hi");
  }
  int checked = 0;
  for (int i = 0; i < int(TCcci::Count); ++i) {
    const TCcci c = TCcci(i);
    const QString name = QString::fromLatin1(Def(c).Name);
    TGoldenClient g;
    g.U.FGZ = true;
    switch (Def(c).Layout) {
      case TPayloadLayout::plNone: g.U.SendCommand(c); break;
      case TPayloadLayout::plLuaText: g.U.SendCommand(c, QStringLiteral("print(1)"), true); break;
      case TPayloadLayout::plFileName:
        if (c == TCcci::READOUT_REC_RD || c == TCcci::READOUT_EVT_RD) {
          g.U.SendCommand(c, QStringLiteral("a.log"), 4096u, false);
          g.U.EnableTimer(true);
          g.U.ManualTimer();
        } else {
          g.U.SendCommand(c, QStringLiteral("a.log"), false);
        }
        break;
      case TPayloadLayout::plObject:
        g.U.SendCommand(c, c == TCcci::STREAM_START ? 1000u : 2u);
        g.U.EnableTimer(true);
        g.U.ManualTimer();
        break;
      case TPayloadLayout::plFileUpload:
        // The file goes as it is on disk: no gzip step for this comparison.
        g.U.FGZ = false;
        g.U.SendCommandFile(c, upload);
        g.U.EnableTimer(true);
        g.U.ManualTimer();
        break;
      case TPayloadLayout::plScratchpadUpload:
        g.U.SendCommandCCCIFile(c, QStringLiteral("x.txt"), scratch);
        g.U.EnableTimer(true);
        g.U.ManualTimer();
        break;
      case TPayloadLayout::plStartRecord:
        g.U.SendStartCommand(0, "admin", "secret");
        break;
      case TPayloadLayout::plNtpReply: {
        QByteArray packet(48, '\0');
        packet[0] = 0x24;
        g.U.Sent.push_back({BuildNtpReply(g.U.HeaderContext(), packet), false});
        break;
      }
    }
    ASSERT_FALSE(g.U.Sent.empty()) << name.toStdString();
    QByteArray sent = g.U.Sent.front().Bytes;
    // The upload went without the gzip step; its flag word is that of the golden context.
    if (Def(c).Layout == TPayloadLayout::plFileUpload) { sent[6] = 0x04; sent[7] = 0x00; }
    EXPECT_EQ(Hex(sent), Hex(golden.value(name))) << name.toStdString();
    ++checked;
  }
  EXPECT_EQ(checked, int(TCcci::Count));
}

TEST(GoldenFrames, LuaOverSshCarriesNoLineEnd) {
  const auto golden = GoldenFrames();
  TGoldenClient g;
  g.U.FisSSHCon = true;
  g.U.SendCommand(TCcci::LUA_COMMAND, QStringLiteral("print(1)"), true);
  ASSERT_EQ(g.U.Sent.size(), 1u);
  QByteArray expected = golden.value(QStringLiteral("CCC_LUA_COMMAND"));
  expected.chop(2);              // no CR LF
  PutU32At(expected, 12, 28);    // and the size says so
  EXPECT_EQ(Hex(g.U.Sent[0].Bytes), Hex(expected));
}

namespace {
struct TGoldenIdentity {
  QMap<QString, QStringList> Fields;  // name -> offset, width, value
  QByteArray Full, Basic;
};

TGoldenIdentity LoadIdentity() {
  TGoldenIdentity g;
  for (const QString& l : GoldenLines(QStringLiteral("identity_full.golden"))) {
    const QStringList p = l.split(QLatin1Char('\t'));
    if (p[0] == QLatin1String("HEX"))
      g.Full = QByteArray::fromHex(p.value(1).toLatin1());
    else if (p[0] == QLatin1String("BASIC_HEX"))
      g.Basic = QByteArray::fromHex(p.value(1).toLatin1());
    else if (p.size() == 4)
      g.Fields.insert(p[0], p.mid(1));
  }
  return g;
}

uint64_t Num(const TGoldenIdentity& g, const char* name) {
  const QString v = g.Fields.value(QString::fromLatin1(name)).value(2);
  bool ok = false;
  const uint64_t n = v.startsWith(QLatin1String("0x")) ? v.mid(2).toULongLong(&ok, 16) : v.toULongLong(&ok);
  EXPECT_TRUE(ok) << name;
  return n;
}

QByteArray Text(const TGoldenIdentity& g, const char* name) {
  return g.Fields.value(QString::fromLatin1(name)).value(2).toLatin1();
}
}  // namespace

TEST(GoldenIdentity, FullAnswerDecodesEveryFieldFromItsOffset) {
  const TGoldenIdentity g = LoadIdentity();
  ASSERT_EQ(g.Full.size(), 1592);
  TIdentityFull id;
  ASSERT_EQ(DecodeIdentityFull(g.Full, id), QString());
  EXPECT_EQ(id.SerNum, Num(g, "SerNum"));
  EXPECT_EQ(id.ArtNum, Num(g, "ArtNum"));
  EXPECT_EQ(id.ProdDate, Num(g, "ProdDate"));
  EXPECT_EQ(id.DevClock, Num(g, "clock"));
  const time_set_t& t = id.TimeSet;
  EXPECT_EQ(t.Std, Num(g, "Std"));
  EXPECT_EQ(t.Stdtz, Num(g, "Stdtz"));
  EXPECT_EQ(t.StdtzMin, Num(g, "Stdtz_minutes"));
  EXPECT_EQ(t.tz, Num(g, "tz"));
  EXPECT_EQ(t.tzMin, Num(g, "tz_minutes"));
  EXPECT_EQ(t.dstmode, Num(g, "dstmode"));
  const char* part[] = {"month", "day", "hour", "dow"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.ws[i], Num(g, QStringLiteral("ws.%1").arg(QLatin1String(part[i])).toLatin1().constData())) << i;
    EXPECT_EQ(t.sw[i], Num(g, QStringLiteral("sw.%1").arg(QLatin1String(part[i])).toLatin1().constData())) << i;
  }
  const char* leap[] = {"ls.year", "ls.month", "ls.day", "ls.sign"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t.ls[i], Num(g, leap[i])) << leap[i];
  EXPECT_EQ(t.ntpcycle, Num(g, "ntpcycle"));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.ntpip[i], Text(g, QStringLiteral("ntpip%1").arg(i).toLatin1().constData())) << i;
    EXPECT_EQ(t.ntpport[i], Num(g, QStringLiteral("ntpport%1").arg(i).toLatin1().constData())) << i;
  }
  EXPECT_EQ(t.bdnmea, Num(g, "bdnmea"));
  EXPECT_EQ(t.rsnmea, Num(g, "rsnmea"));
  EXPECT_EQ(t.rspcm, Num(g, "rspcm"));
  EXPECT_EQ(id.FirmwareWord, Num(g, "firmware"));
  EXPECT_EQ(id.Plant, Text(g, "plant"));
  EXPECT_EQ(id.Field, Text(g, "field"));
  EXPECT_EQ(id.Device, Text(g, "device"));
}

// The simulator answers through the same codec: building the golden values
// must give the golden bytes, so the device side cannot drift either.
TEST(GoldenIdentity, BuilderWritesTheGoldenBytes) {
  const TGoldenIdentity g = LoadIdentity();
  TIdentityFull id;
  ASSERT_EQ(DecodeIdentityFull(g.Full, id), QString());
  THeaderContext ctx;
  ctx.Ver = 5;
  ctx.SeqCnt = 3;
  EXPECT_EQ(Hex(BuildIdentityFull(ctx, id)), Hex(g.Full));
}

TEST(GoldenIdentity, BasicAnswer) {
  const TGoldenIdentity g = LoadIdentity();
  ASSERT_EQ(g.Basic.size(), 32);
  TIdentityBasic b;
  ASSERT_EQ(DecodeIdentityBasic(g.Basic, b), QString());
  EXPECT_EQ(b.SerNum, 12345678u);
  EXPECT_EQ(b.ArtNum, 1197654u);
  EXPECT_EQ(b.ProdDate, 1600000000u);
}
