// The record files: every kind written and read back, the header alone,
// files cut at every byte, and the inputs a reader must refuse.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "ByteOrder.h"
#include "RecordFile.h"

using namespace vanta;

namespace {

TSysEnvHeader Env() { return {12345678, 3600, true, QStringLiteral("Umspannwerk Nord"), QStringLiteral("Feld 3"), QStringLiteral("Vanta Sim")}; }

TContextHeader Context(const QString& cls, int channels) {
  TContextHeader c;
  c.Class = cls;
  c.IntervalMs = 600000;
  c.Start = {1764892800, 0};
  c.End = {1764896400, 500};
  c.SampleRate = 12800;
  c.Factors = {100.0f, 200.0f, 100.0f};
  for (int i = 0; i < channels; ++i)
    c.Channels << TRecordChannel{0x01000000u + uint32_t(i), 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L%1").arg(i + 1)};
  return c;
}

QByteArray EventFile(int events) {
  TRecordWriter w(TRecordKind::rkEvent, Env(), Context(QString(), 0));
  for (int i = 0; i < events; ++i)
    w.Add(TEventRecord{0x01040037u + uint32_t(i), {1764892800u + uint32_t(i), 250000000}, 1.0 + i, uint16_t(i), 0.02 * i,
                       i % 2 ? QStringLiteral("L%1").arg(i) : QString()});
  return w.Bytes();
}

}  // namespace

TEST(RecordFile, EveryKindComesBackAsWritten) {
  TRecordFile ev;
  QString error;
  ASSERT_TRUE(ParseRecordFile(EventFile(3), ev, error)) << error.toStdString();
  EXPECT_EQ(ev.Header.Kind, TRecordKind::rkEvent);
  EXPECT_EQ(ev.Header.Env, Env());
  ASSERT_EQ(ev.Events.size(), 3);
  EXPECT_EQ(ev.Events[1].Suffix, QStringLiteral("L1"));
  EXPECT_DOUBLE_EQ(ev.Events[2].Duration, 0.04);
  EXPECT_EQ(ev.Events[2].Start.Frac, 250000000u);
  EXPECT_TRUE(ev.Warning.isEmpty());

  TRecordWriter rec(TRecordKind::rkRecording, Env(), Context(QStringLiteral("10min"), 3));
  rec.Add(TRecRow{{1764892800, 0}, {230.1f, 229.9f, 231.0f}});
  rec.Add(TRecRow{{1764893400, 0}, {1.0f}});  // a short row is padded to the channels
  TRecordFile r;
  ASSERT_TRUE(ParseRecordFile(rec.Bytes(), r, error)) << error.toStdString();
  EXPECT_EQ(r.Header.Context, Context(QStringLiteral("10min"), 3));
  ASSERT_EQ(r.Rows.size(), 2);
  EXPECT_EQ(r.Rows[0].Values, (QList<float>{230.1f, 229.9f, 231.0f}));
  EXPECT_EQ(r.Rows[1].Values, (QList<float>{1.0f, 0.0f, 0.0f}));

  TRecordWriter bin(TRecordKind::rkBinaryInput, Env(), Context(QStringLiteral("BinIn"), 0));
  bin.Add(TAsyncRecord{{1764892801, 5}, 0x5, 0x4});
  TRecordFile b;
  ASSERT_TRUE(ParseRecordFile(bin.Bytes(), b, error));
  ASSERT_EQ(b.Async.size(), 1);
  EXPECT_EQ(b.Async[0], (TAsyncRecord{{1764892801, 5}, 0x5, 0x4}));

  TRecordWriter osc(TRecordKind::rkOsc, Env(), Context(QStringLiteral("Osc"), 2));
  osc.Add(TWaveRecord{{1764892802, 0}, 4, {{1, 2, 3, 4}, {-1, -2, -3, -4}}});
  TRecordFile o;
  ASSERT_TRUE(ParseRecordFile(osc.Bytes(), o, error));
  ASSERT_EQ(o.Waves.size(), 1);
  EXPECT_EQ(o.Waves[0].Channels[1], (QList<float>{-1, -2, -3, -4}));
}

TEST(RecordFile, HeaderAloneFromDiskAndAtItsExactLength) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("12345678-1764892800-000.log"));
  TRecordWriter w(TRecordKind::rkRecording, Env(), Context(QStringLiteral("1s"), 2));
  for (int i = 0; i < 5000; ++i) w.Add(TRecRow{{1764892800u + uint32_t(i), 0}, {float(i), float(-i)}});
  QString error;
  ASSERT_TRUE(w.Save(path, error)) << error.toStdString();
  TRecordHeader h;
  ASSERT_TRUE(ReadRecordHeader(path, h, error)) << error.toStdString();
  EXPECT_EQ(h.Context.Class, QStringLiteral("1s"));
  TSysEnvHeader env;
  ASSERT_TRUE(ReadOfflSysEnvHead(path, env, error));
  EXPECT_EQ(env.Serial, 12345678u);

  const QByteArray bytes = w.Bytes();
  EXPECT_TRUE(ParseRecordHeader(bytes.left(h.HeaderSize), h, error)) << "exactly the header is enough";
  EXPECT_FALSE(ParseRecordHeader(bytes.left(h.HeaderSize - 1), h, error)) << "one byte less is not";
  EXPECT_TRUE(error.contains(QStringLiteral("abgeschnitten"))) << error.toStdString();

  TRecordFile start;
  bool more = false;
  ASSERT_TRUE(ReadRecordStart(path, 100, start, more, error)) << error.toStdString();
  EXPECT_EQ(start.Rows.size(), 100);
  EXPECT_TRUE(more);
  EXPECT_EQ(start.Rows[99].Values[0], 99.0f);
  ASSERT_TRUE(ReadRecordStart(path, 10000, start, more, error));
  EXPECT_EQ(start.Rows.size(), 5000);
  EXPECT_FALSE(more);

  TContextHeader ctx;
  QList<TRecRow> rows;
  ASSERT_TRUE(AnalyseRecData(path, ctx, rows, error));
  EXPECT_EQ(rows.size(), 5000);
  QList<TEventRecord> events;
  EXPECT_FALSE(AnalyseEventData(path, events, error)) << "a recording is no event file";
  EXPECT_TRUE(error.endsWith(QStringLiteral("enthält Aufzeichnung"))) << error.toStdString();
}

TEST(RecordFile, ACutFileKeepsItsWholeRecordsAtEveryLength) {
  const QByteArray full = EventFile(4);
  TRecordHeader h;
  QString error;
  ASSERT_TRUE(ParseRecordHeader(full, h, error));
  // Where each record ends: a cut there loses nothing of what came before.
  QList<qsizetype> ends;
  for (qsizetype at = h.HeaderSize; at < full.size();) {
    at += 4 + qsizetype(GetU32At(full, at));
    ends << at;
  }
  ASSERT_EQ(ends.size(), 4);
  for (qsizetype cut = 0; cut <= full.size(); ++cut) {
    TRecordFile f;
    QString e;
    const bool ok = ParseRecordFile(full.left(cut), f, e);
    if (cut < qsizetype(h.HeaderSize)) {
      EXPECT_FALSE(ok) << cut;
      EXPECT_FALSE(e.isEmpty()) << cut;
      continue;
    }
    ASSERT_TRUE(ok) << cut << " " << e.toStdString();
    const auto whole = std::count_if(ends.cbegin(), ends.cend(), [cut](qsizetype end) { return end <= cut; });
    EXPECT_EQ(f.Events.size(), whole) << cut;
    EXPECT_EQ(f.Warning.isEmpty(), cut == qsizetype(h.HeaderSize) || ends.contains(cut)) << cut;
  }
}

TEST(RecordFile, RefusesWhatIsNotARecordFile) {
  const QByteArray good = EventFile(1);
  auto refused = [](const QByteArray& b, const char* expected) {
    TRecordFile f;
    QString e;
    const bool ok = ParseRecordFile(b, f, e, QStringLiteral("x.log"));
    EXPECT_FALSE(ok) << expected;
    EXPECT_TRUE(e.contains(QString::fromUtf8(expected))) << e.toStdString();
    EXPECT_TRUE(e.startsWith(QStringLiteral("x.log: "))) << e.toStdString();
  };
  refused(QByteArray(), "zu kurz");
  refused(QByteArray("<xml/>      "), "keine Aufzeichnungsdatei");
  QByteArray b = good;
  b[4] = 2;
  refused(b, "unbekannte Version 2");
  b = good;
  b[6] = 9;
  refused(b, "unbekannte Art 9");
  b = good;
  PutU32At(b, 8, 3);
  refused(b, "Kopfgröße 3");
  // A channel count beyond the limit.
  TRecordWriter w(TRecordKind::rkRecording, Env(), Context(QStringLiteral("1s"), 1));
  b = w.Bytes();
  // The u16 count stands before the one entry: id, group, "V", "U L1".
  const qsizetype count = b.size() - (4 + 4 + (2 + 1) + (2 + 4)) - 2;
  b[count] = char(0x10);
  b[count + 1] = char(0x20);
  refused(b, "Kanäle sind zu viele");
  // A record that claims more than a reader accepts.
  b = good;
  PutU32At(b, GetU32At(good, 8), CMaxRecordBytes + 1);
  refused(b, "zu groß");
  // A row that does not fit the channel table.
  TRecordWriter rec(TRecordKind::rkRecording, Env(), Context(QStringLiteral("1s"), 2));
  rec.Add(TRecRow{{1, 0}, {1, 2}});
  b = rec.Bytes();
  PutU32At(b, GetU32At(b, 8), 12);
  b.chop(4);
  refused(b, "passt nicht zu 2 Kanälen");
}

// ---- the event table's cells ----------------------------------------------------------------

#include "EventTable.h"

TEST(EventTable, StateTextsValuesUnitsAndDashes) {
  TRecordHeader h;
  h.Env.TzOffsetSec = 3600;
  h.Context.Channels = {{0x01040010, 0, QStringLiteral("%"), QStringLiteral("Spannungseinbruch")},
                        {CEvtPrimaryVoltage, 0, QStringLiteral("%"), QStringLiteral("Spannung")}};
  const TMeasLookup lookup = EventLookupFor(h);
  auto cell = [&](const TEventRecord& e, int c) { return EventCellText(e, c, h, lookup); };

  EXPECT_EQ(cell({CEvtRcmState, {}, 3.6, 0, 0, {}}, 0), QStringLiteral("RCM Value Error")) << "rounds to 4";
  EXPECT_EQ(cell({CEvtRcmState, {}, 10.2, 0, 0, {}}, 0), QStringLiteral("Verletzung RCM Alarmschwelle")) << "low three bits";
  EXPECT_EQ(cell({CEvtTemperatureState, {}, 2.9, 0, 0, {}}, 0), QStringLiteral("Fehler Temperatursensor"));
  EXPECT_EQ(cell({CEvtTemperatureState, {}, -1, 0, 0, {}}, 0), QStringLiteral("RTD Value Error"));
  EXPECT_EQ(cell({CEvtRcmState, {}, 2, 0, 0, {}}, 2), QStringLiteral("--")) << "states have no maximum";

  const TEventRecord dip{0x01040010, {1764892800, 125000000}, 71.23456, 0, 0, QStringLiteral("L2")};
  EXPECT_EQ(cell(dip, 0), QStringLiteral("Spannungseinbruch L2"));
  EXPECT_EQ(cell(dip, 1), QStringLiteral("05.12.2025 01:00:00.125")) << "local time of the device";
  EXPECT_EQ(cell(dip, 2), QStringLiteral("71.2346"));
  EXPECT_EQ(cell(dip, 3), QStringLiteral("[%]"));
  EXPECT_EQ(cell(dip, 4), QStringLiteral("--"));
  EXPECT_EQ(cell(dip, 5), QStringLiteral("--")) << "no duration";
  EXPECT_EQ(cell({0x0BADF00D, {}, 1, 5, 0.25, {}}, 0), QStringLiteral("0x0BADF00D"));
  EXPECT_EQ(cell({0x0BADF00D, {}, 1, 5, 0.25, {}}, 1), QStringLiteral("--"));
  EXPECT_EQ(cell({0x0BADF00D, {}, 1, 5, 0.25, {}}, 4), QStringLiteral("5"));

  // The primary voltage is scaled by the file's measurement context.
  const TEventRecord u{CEvtPrimaryVoltage, {}, 110, 0, 0, {}};
  EXPECT_EQ(cell(u, 2), QStringLiteral("110.0000"));
  h.Context.Factors = {100.0f, 200.0f, 100.0f};
  EXPECT_EQ(EventCellText(u, 2, h, lookup), QStringLiteral("22000.0000"));
  EXPECT_EQ(EventCellText(u, 3, h, lookup), QStringLiteral("[V]"));

  EXPECT_EQ(EventTableClipboard({}, h, lookup), QStringLiteral("Ereignis\tZeit\tMaximum\tEinheit\tHarmonische\tDauer\r\n"));
  EXPECT_FALSE(EventTableClipboard({dip}, h, lookup).endsWith(QStringLiteral("\r\n"))) << "no break after the last row";
}
