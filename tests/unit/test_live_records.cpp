// Live records decoded at the offsets the device structures define (the
// records are built here from those offsets, not from the decoder's
// tables), the panel's value texts at their thresholds, the series store.
#include <gtest/gtest.h>

#include <QHash>
#include <QtEndian>
#include <cmath>
#include <cstring>

#include "CrvTimeModel.h"
#include "LiveRecords.h"
#include "SeriesStore.h"

using namespace vanta;

namespace {

QByteArray Zeros(int n) { return QByteArray(n, '\0'); }
void Put(QByteArray& b, int offset, float v) {
  uint32_t bits = 0;
  std::memcpy(&bits, &v, 4);
  qToLittleEndian(bits, b.data() + offset);
}
QString TextOf(const QList<TPanelText>& panel, const char* field) {
  for (const TPanelText& t : panel)
    if (t.Field == QLatin1String(field)) return t.Text;
  return QStringLiteral("<missing>");
}

}  // namespace

TEST(LiveValueText, PrefixesAtTheirThresholds) {
  EXPECT_EQ(ValueText(999.0f, 2), QStringLiteral("999.00 V"));
  EXPECT_EQ(ValueText(1000.0f, 2), QStringLiteral("1000.00 V")) << "strictly above 1 after dividing";
  EXPECT_EQ(ValueText(1000.5f, 2), QStringLiteral("1.00 kV"));
  EXPECT_EQ(ValueText(1.5e6f, 2), QStringLiteral("1.50 MV"));
  EXPECT_EQ(ValueText(-2500.0f, 4), QStringLiteral("-2.50 kW"));
  EXPECT_EQ(ValueText(5e12f, 6), QStringLiteral("5000.00 GVA")) << "G is the last prefix";
  EXPECT_EQ(ValueText(0.95f, 0), QStringLiteral("0.95 ")) << "no unit leaves the blank";
  EXPECT_EQ(ValueText(50.0f, 3), QStringLiteral("50.00 Hz"));
  EXPECT_EQ(ValueText(-120.0f, 7), QStringLiteral("-120.00 °"));
  EXPECT_EQ(ValueText(1.0f, 8), QStringLiteral("1.00 VAR"));
  EXPECT_FALSE(ValueText(std::nanf(""), 2).isEmpty()) << "NaN is formatted, not looped over";
  EXPECT_FALSE(ValueText(INFINITY, 2).isEmpty());
}

TEST(LivePanel, FieldsAtTheirOffsetsForBothLayouts) {
  for (const int gen : {0, 1, 2}) {
    const int p = gen == 2 ? 1896 : 1892;  // power block
    QByteArray r = Zeros(gen == 2 ? 2328 : 2320);
    Put(r, 16, 49.98f);
    Put(r, 20, 230.5f);
    Put(r, 32, 0.5f);
    Put(r, 44, 398.7f);
    Put(r, 68, -120.0f);
    Put(r, 128, 0.25f);
    Put(r, 160, 3.1f);  // THD U31
    Put(r, 1184, 1.5f);
    Put(r, 1264, 12.0f);
    Put(r, 1332, 0.03f);
    Put(r, p + 0, 2300.0f);
    Put(r, p + 40, -450.0f);
    Put(r, p + 44, 7500.0f);
    Put(r, p + 100, 12.0f);
    Put(r, p + 124, 5.0f);
    Put(r, p + 152, 0.9f);
    Put(r, p + 160, 0.87f);
    Put(r, p + 208, 1.0f);
    Put(r, p + 164, 0.95f);
    Put(r, p + 212, -1.0f);
    Put(r, p + 168, 0.99f);
    const QList<TPanelText> panel = DecodePanel(r, gen);
    SCOPED_TRACE(gen);
    EXPECT_EQ(TextOf(panel, "edtF"), QStringLiteral("49.98 Hz"));
    EXPECT_EQ(TextOf(panel, "edtUL1"), QStringLiteral("230.50 V"));
    EXPECT_EQ(TextOf(panel, "edtUNE"), QStringLiteral("0.50 V"));
    EXPECT_EQ(TextOf(panel, "edtU31"), QStringLiteral("398.70 V"));
    EXPECT_EQ(TextOf(panel, "edtPHL3"), QStringLiteral("-120.00 °"));
    EXPECT_EQ(TextOf(panel, "edtUU"), QStringLiteral("0.25 %"));
    EXPECT_EQ(TextOf(panel, "edtTHDU31"), QStringLiteral("3.10 %"));
    EXPECT_EQ(TextOf(panel, "edtIN"), QStringLiteral("1.50 A"));
    EXPECT_EQ(TextOf(panel, "edtTHDIN"), QStringLiteral("12.00 %"));
    EXPECT_EQ(TextOf(panel, "edtIR"), gen == 2 ? QStringLiteral("0.03 A") : QStringLiteral("n.A."));
    EXPECT_EQ(TextOf(panel, "edtP1"), QStringLiteral("2.30 kW"));
    EXPECT_EQ(TextOf(panel, "edtQtotal"), QStringLiteral("-450.00 VAR"));
    EXPECT_EQ(TextOf(panel, "edtStotal"), QStringLiteral("7.50 kVA"));
    EXPECT_EQ(TextOf(panel, "edtQVtotal"), QStringLiteral("12.00 VAR"));
    EXPECT_EQ(TextOf(panel, "edtDtotal"), QStringLiteral("5.00 VAR"));
    EXPECT_EQ(TextOf(panel, "edtPFtotal"), QStringLiteral("0.90 "));
    EXPECT_EQ(TextOf(panel, "edtcosPHL1"), QStringLiteral("ind. 0.87 "));
    EXPECT_EQ(TextOf(panel, "edtcosPHL2"), QStringLiteral("kap. 0.95 "));
    EXPECT_EQ(TextOf(panel, "edtcosPHL3"), QStringLiteral(" 0.99 ")) << "a zero sign leaves the prefix empty";
  }
  // A short record reads as zeros from its end on, never past it.
  QByteArray shortRec = Zeros(20);
  Put(shortRec, 16, 50.0f);
  const QList<TPanelText> panel = DecodePanel(shortRec, 1);
  EXPECT_EQ(TextOf(panel, "edtF"), QStringLiteral("50.00 Hz"));
  EXPECT_EQ(TextOf(panel, "edtUL1"), QStringLiteral("0.00 V"));
  EXPECT_EQ(DecodePanel(shortRec.left(19), 1).first().Text, QStringLiteral("0.00 Hz")) << "a value cut by the end is not read";
}

// The same figures for programs: a symbol per quantity, the number as the
// record holds it (no prefix, no rounding), its unit and the cos φ's sign apart.
TEST(LivePanel, FiguresBySymbolBesideTheTexts) {
  for (const int gen : {1, 2}) {
    const int p = gen == 2 ? 1896 : 1892;
    QByteArray r = Zeros(gen == 2 ? 2328 : 2320);
    Put(r, 20, 230.5f);
    Put(r, 68, -120.0f);
    Put(r, 1332, 0.03f);
    Put(r, p + 44, 7512.25f);
    Put(r, p + 160, 0.87f);
    Put(r, p + 208, 1.0f);
    Put(r, p + 164, 0.95f);
    Put(r, p + 212, -1.0f);
    Put(r, p + 168, 0.99f);
    QHash<QString, TPanelText> by;
    for (const TPanelText& t : DecodePanel(r, gen)) by.insert(t.Symbol, t);
    SCOPED_TRACE(gen);
    EXPECT_EQ(by.size(), 56) << "a symbol of its own for every field";
    EXPECT_EQ(by[QStringLiteral("U1E")].Value, 230.5f);
    EXPECT_EQ(UnitText(by[QStringLiteral("U1E")].Unit), QStringLiteral("V"));
    EXPECT_EQ(by[QStringLiteral("U1E")].Field, QStringLiteral("edtUL1"));
    EXPECT_EQ(by[QStringLiteral("phiU3E")].Value, -120.0f);
    EXPECT_EQ(by[QStringLiteral("SSum")].Value, 7512.25f) << "in VA, where the text says 7.51 kVA";
    EXPECT_EQ(by[QStringLiteral("SSum")].Text, QStringLiteral("7.51 kVA"));
    EXPECT_EQ(by[QStringLiteral("IRCM")].Given, gen == 2);
    EXPECT_EQ(by[QStringLiteral("cosPhi1")].Value, 0.87f);
    EXPECT_EQ(by[QStringLiteral("cosPhi1")].Sign, 1) << "inductive";
    EXPECT_EQ(by[QStringLiteral("cosPhi2")].Sign, -1) << "capacitive";
    EXPECT_EQ(by[QStringLiteral("cosPhi3")].Sign, 0) << "neither";
    EXPECT_EQ(by[QStringLiteral("cosPhi2")].Value, 0.95f) << "the sign stays out of the number";
  }
}

TEST(LiveBands, BlocksPerViewAndTheLengthCheck) {
  QByteArray r = Zeros(2328);
  Put(r, 192 + 140 * 3 + 4 * 34, 7.0f);  // UNE, band 34
  Put(r, 192 + 140 * 4, 4.0f);           // U12, band 0
  Put(r, 1336 + 140 * 3 + 8, 2.0f);      // IN band 2, generation 2
  std::array<QList<float>, 4> b;
  QString log;
  ASSERT_TRUE(DecodeBands(r, 2, TVantaDisp::sdFrqBandULL, b, log));
  EXPECT_FLOAT_EQ(b[0][0], 4.0f);
  EXPECT_FLOAT_EQ(b[3][34], 7.0f) << "the fourth conductor of the L-L view is UNE";
  ASSERT_TRUE(DecodeBands(r, 2, TVantaDisp::sdFrqBandIL, b, log));
  EXPECT_FLOAT_EQ(b[3][2], 2.0f);
  EXPECT_EQ(b[0].size(), 35);
  EXPECT_FALSE(DecodeBands(r, 1, TVantaDisp::sdFrqBandULE, b, log));
  EXPECT_EQ(log, QStringLiteral("PANEL: 2328<>2320"));
}

TEST(LiveHarmonics, BlocksAndPhasors) {
  QByteArray r = Zeros(6052);
  Put(r, 1860 + 4 * 5, 3.5f);         // U12, order 5
  Put(r, 1860 + 204 + 4 * 49, 0.2f);  // U12, last interharmonic
  Put(r, 1456 + 4 * 1, 1.0f);         // UNE, order 1
  Put(r, 5060 + 4 * 50, 0.7f);        // IN, order 50
  Put(r, 3712, 11.0f);                // I2 magnitude (pairs from 3704)
  Put(r, 3716, -150.0f);              // I2 angle
  Put(r, 100, 399.0f);                // U31 magnitude (seventh pair from 52)
  std::array<QList<float>, 4> h, ih;
  ASSERT_TRUE(DecodeHarmonics(r, 1, TVantaDisp::sdHrmULL, h, ih));
  EXPECT_FLOAT_EQ(h[0][5], 3.5f);
  EXPECT_FLOAT_EQ(ih[0][49], 0.2f);
  EXPECT_FLOAT_EQ(h[3][1], 1.0f) << "UNE fourth";
  EXPECT_EQ(h[0].size(), 51);
  EXPECT_EQ(ih[0].size(), 50);
  ASSERT_TRUE(DecodeHarmonics(r, 1, TVantaDisp::sdIHrmIL, h, ih));
  EXPECT_FLOAT_EQ(h[3][50], 0.7f);
  std::array<TPhasor, 10> ph;
  ASSERT_TRUE(DecodePhasors(r, 1, ph));
  EXPECT_FLOAT_EQ(ph[8].Magnitude, 11.0f);
  EXPECT_FLOAT_EQ(ph[8].Angle, -150.0f);
  EXPECT_FLOAT_EQ(ph[6].Magnitude, 399.0f);
  EXPECT_FALSE(DecodeHarmonics(r, 2, TVantaDisp::sdHrmULE, h, ih)) << "generation 2 records are 6264 bytes";
  EXPECT_FALSE(DecodePhasors(r.left(6051), 1, ph));
}

TEST(LiveOsc, SamplesChannelsAndTimes) {
  // Generation 2: 60-byte header, 48-byte samples, channel 11 is the residual current.
  QByteArray r = Zeros(60 + 3 * 48);
  for (int i = 0; i < 3; ++i) {
    Put(r, 60 + 48 * i + 4 * 0, 100.0f + float(i));
    Put(r, 60 + 48 * i + 4 * 11, 0.5f * float(i));
  }
  QList<float> values;
  QList<int64_t> times;
  QList<QList<float>> got;
  ASSERT_TRUE(DecodeOsc(r, 2, 3, 40960, 1000, {11, 0}, values, [&](int64_t t, const QList<float>& v) {
    times << t;
    got << v;
  }));
  EXPECT_EQ(times, (QList<int64_t>{1000, 1000 + 24414, 1000 + 48828})) << "1e9 / 40960 = 24414.0625 ns, rounded per sample";
  EXPECT_EQ(got[2], (QList<float>{1.0f, 102.0f})) << "in the order of the selection";
  // Generation 1 carries no channel 11: the value stays what it was.
  QByteArray g1 = Zeros(60 + 2 * 44);
  Put(g1, 60, 7.0f);
  values = {9.0f, 0.0f};
  got.clear();
  ASSERT_TRUE(DecodeOsc(g1, 1, 2, 12800, 0, {11, 0}, values, [&](int64_t, const QList<float>& v) { got << v; }));
  EXPECT_EQ(got[0], (QList<float>{9.0f, 7.0f}));
  // Lengths: exact or nothing; zero samples are a valid, empty record.
  EXPECT_FALSE(DecodeOsc(r.left(r.size() - 1), 2, 3, 40960, 0, {0}, values, {}));
  EXPECT_FALSE(DecodeOsc(r + QByteArray(1, '\0'), 2, 3, 40960, 0, {0}, values, {}));
  EXPECT_FALSE(DecodeOsc(r, 2, 3, 40960, 0, {}, values, {})) << "no channel selected: nothing";
  int calls = 0;
  EXPECT_TRUE(DecodeOsc(Zeros(60), 2, 0, 40960, 0, {0}, values, [&](int64_t, const QList<float>&) { ++calls; }));
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(OscRecordValid(40 + 44, 0, 1));
  EXPECT_FALSE(OscRecordValid(60 + 44, 0, 1)) << "generation 0 has a 40-byte header";
  EXPECT_FALSE(OscRecordValid(60, 3, 0)) << "an unknown generation has no samples";
  EXPECT_EQ(COscChannels[11].Channel, 11);
  EXPECT_STREQ(COscChannels[10].Symbol, "iN");
}

TEST(LiveOsc, ModelSizedOnlyByACountTheRecordHolds) {
  // Generation 2, two real samples; the chart already shows a record.
  QByteArray r = Zeros(60 + 2 * 48);
  Put(r, 60, 230.0f);
  Put(r, 60 + 48, -230.0f);
  TCrvTimeModel m;
  m.SetCrvCnt(1);
  QList<float> values;
  QString log;
  ASSERT_TRUE(FillOscModel(m, r, 2, 2, 40960, 0, {0}, values, log));
  EXPECT_TRUE(log.isEmpty());
  ASSERT_EQ(m.GetMessCnt(), 2);
  EXPECT_FLOAT_EQ(m.Store().Value(0, 1), -230.0f);
  const int capacity = m.MaxRecs();
  // The same bytes under counts they cannot hold, a moderate one first.
  for (uint32_t count : {1000000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    log.clear();
    EXPECT_FALSE(FillOscModel(m, r, 2, count, 40960, 0, {0}, values, log)) << count;
    ASSERT_LE(m.MaxRecs(), r.size()) << "a count of " << count << " sized the model beyond its record";
    EXPECT_EQ(m.MaxRecs(), capacity) << "ignored: the capacity stays";
    EXPECT_EQ(m.GetMessCnt(), 0) << "ignored: no samples of it are shown";
    EXPECT_TRUE(log.contains(QString::number(count))) << log.toStdString();
    EXPECT_TRUE(log.contains(QString::number(r.size()))) << log.toStdString();
  }
  // A good record after them is shown again.
  log.clear();
  EXPECT_TRUE(FillOscModel(m, r, 2, 2, 40960, 0, {0}, values, log));
  EXPECT_EQ(m.GetMessCnt(), 2);
}

TEST(LiveSeriesStore, RingKeepsTheNewestInOrder) {
  TSeriesStore s;
  s.SetMaxRecs(3);
  s.SetCurveCount(2);
  for (int i = 0; i < 5; ++i) s.Add(i * 10, {float(i), float(-i)});
  ASSERT_EQ(s.Count(), 3);
  EXPECT_EQ(s.Time(0), 20) << "the two oldest were overwritten";
  EXPECT_EQ(s.Time(2), 40);
  EXPECT_FLOAT_EQ(s.Value(1, 0), -2.0f);
  float lo = 0, hi = 0;
  ASSERT_TRUE(s.Range(1, lo, hi));
  EXPECT_FLOAT_EQ(lo, -4.0f);
  EXPECT_FLOAT_EQ(hi, -2.0f);
  const uint64_t rev = s.Revision();
  s.Add(50, {1.0f});
  EXPECT_GT(s.Revision(), rev);
  EXPECT_FLOAT_EQ(s.Value(1, 2), 0.0f) << "a missing value reads 0";
  s.SetCurveCount(1);
  EXPECT_EQ(s.Count(), 0);
  EXPECT_FALSE(s.Range(0, lo, hi));
  EXPECT_FALSE(s.Range(5, lo, hi));
}
