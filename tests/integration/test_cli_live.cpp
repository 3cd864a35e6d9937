// The live view's figures from the simulator, headless: the value panel's
// figures against the simulator's documented network, oscilloscope records in
// both sample layouts, the tables as JSON and CSV, records followed line by line.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <cstring>

#include "CliSupport.h"
#include "LiveRecords.h"

using namespace vanta::test::cli;

namespace {
// Every line of an NDJSON output as an object; false when a line is no object.
bool Lines(const QString& out, QList<QJsonObject>& lines) {
  lines.clear();
  for (const QString& l : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QJsonDocument d = QJsonDocument::fromJson(l.toUtf8());
    if (!d.isObject()) return false;
    lines << d.object();
  }
  return true;
}

// A device time as ISO 8601 with an offset names the moment it was taken:
// a live record is seconds old at most, whatever zone the device is set to.
::testing::AssertionResult RecentIsoTime(const QJsonValue& v, qint64 maxAgeMs = 60000) {
  const QString text = v.toString();
  if (!QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$")
           .match(text)
           .hasMatch())
    return ::testing::AssertionFailure() << "not ISO 8601 with an offset: " << text.toStdString();
  const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
  const qint64 age = t.msecsTo(QDateTime::currentDateTimeUtc());
  if (!t.isValid() || age < -5000 || age > maxAgeMs) return ::testing::AssertionFailure() << text.toStdString() << " is " << age << " ms old";
  return ::testing::AssertionSuccess();
}

class CliLiveGen2Test : public CliTest {
 protected:
  // Ten periods of 50 Hz: lines 5 Hz apart, so the interharmonics at
  // whole and a half orders fall on lines too.
  QStringList SimArgs() override { return {"--generation", "2", "--osc-samples", "8192"}; }
};
class CliLiveTenPeriodsTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--osc-samples", "8192"}; }
};
}  // namespace

TEST_F(CliTest, PanelFiguresMatchTheDocumentedNetwork) {
  const TRun r = Cli({"--json", "live", "panel"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "live-panel", o));
  EXPECT_EQ(o["generation"].toInt(), 1);
  const QJsonObject rec = o["records"].toArray()[0].toObject();
  EXPECT_TRUE(RecentIsoTime(rec["time"]));
  const QJsonObject v = rec["values"].toObject(), units = rec["units"].toObject(), texts = rec["texts"].toObject();
  // 50 Hz, 230/231/229 V at 0/-120/+120 degrees, 10/11/12 A lagging 30 degrees.
  EXPECT_NEAR(v["f"].toDouble(), 50.0, 0.01);
  EXPECT_EQ(texts["f"].toString(), "50.00 Hz");
  EXPECT_EQ(units["f"].toString(), "Hz");
  ASSERT_TRUE(v["U2E"].isDouble()) << "a bare number, not a text";
  EXPECT_NEAR(v["U1E"].toDouble(), 230.0, 1e-3);
  EXPECT_NEAR(v["U2E"].toDouble(), 231.0, 1e-3);
  EXPECT_EQ(texts["U2E"].toString(), "231.00 V");
  EXPECT_EQ(units["U2E"].toString(), "V");
  EXPECT_NEAR(v["U12"].toDouble(), 399.24, 0.01);
  EXPECT_NEAR(v["phiU2E"].toDouble(), -120.0, 1e-3);
  EXPECT_EQ(units["phiU2E"].toString(), "°");
  EXPECT_NEAR(v["I3"].toDouble(), 12.0, 1e-4);
  EXPECT_EQ(units["I3"].toString(), "A");
  EXPECT_NEAR(v["S1"].toDouble(), 2300.0, 0.01) << "230 V x 10 A, in VA and not in kVA";
  EXPECT_EQ(texts["S1"].toString(), "2.30 kVA");
  EXPECT_NEAR(v["P1"].toDouble(), 2300.0 * std::cos(M_PI / 6), 0.01) << "2300 VA x cos 30 degrees";
  EXPECT_EQ(units["P1"].toString(), "W");
  EXPECT_NEAR(v["PSum"].toDouble(), v["P1"].toDouble() + v["P2"].toDouble() + v["P3"].toDouble(), 0.1);
  EXPECT_NEAR(v["cosPhi1"].toDouble(), std::cos(M_PI / 6), 1e-5);
  EXPECT_EQ(rec["cosPhiKind1"].toString(), "ind") << "lagging currents";
  EXPECT_EQ(rec["cosPhiKindSum"].toString(), "ind");
  EXPECT_EQ(texts["cosPhi1"].toString(), "ind. 0.87 ");
  EXPECT_TRUE(v["IRCM"].isNull()) << "generation 1 has no residual current";
  EXPECT_EQ(texts["IRCM"].toString(), "n.A.");
  EXPECT_EQ(v.size(), 56) << "every figure of the panel";
  EXPECT_EQ(units.size(), 56);
  EXPECT_EQ(texts.size(), 56);
}

TEST_F(CliLiveGen2Test, ResidualCurrentAndTwelveChannels) {
  TRun r = Cli({"--json", "live", "panel"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "live-panel", o));
  const QJsonObject panel = o["records"].toArray()[0].toObject();
  EXPECT_NEAR(panel["values"].toObject()["IRCM"].toDouble(), 0.03, 1e-5);
  EXPECT_EQ(panel["texts"].toObject()["IRCM"].toString(), "0.03 A");
  r = Cli({"--json", "live", "osc", "--count", "2"});
  ASSERT_TRUE(Document(r, 0, "live-osc", o));
  const QJsonArray records = o["records"].toArray();
  ASSERT_EQ(records.size(), 2);
  const QJsonObject first = records[0].toObject();
  EXPECT_TRUE(RecentIsoTime(first["time"]));
  EXPECT_EQ(first["sampleCount"].toInt(), 8192) << "ten periods of 50 Hz";
  EXPECT_EQ(first["sampleRate"].toInt(), 40960);
  EXPECT_EQ(first["channels"].toArray().size(), 12);
  EXPECT_EQ(first["units"].toObject()["U1E"].toString(), "V");
  EXPECT_EQ(first["units"].toObject()["IR"].toString(), "A");
  const QJsonObject samples = first["samples"].toObject();
  ASSERT_EQ(samples.size(), 12);
  const QJsonArray u1 = samples["U1E"].toArray(), offsets = first["sampleOffsets"].toArray();
  ASSERT_EQ(u1.size(), 8192);
  ASSERT_EQ(offsets.size(), 8192);
  EXPECT_EQ(std::llround(offsets[1].toDouble() * 1e9), 24414) << "1e9 / 40960 ns after the first sample, rounded, in seconds";
  EXPECT_EQ(std::llround(offsets[3].toDouble() * 1e9), 73242) << "rounded per sample, not summed";
  // u1 at t = 0: 230 V rms, harmonics 3 (1 %), 5 (3 %), 7 (2 %), 11 (1 %), 13 (0.5 %) at angle 0: sin 0 = 0.
  EXPECT_NEAR(u1[0].toDouble(), 0.0, 1e-3);
  // A quarter period later (1024 samples / 5 = 204.8: sample 205 is 0.2 samples past): near the crest, with the harmonics' share.
  double crest = 0;
  for (const QJsonValue& x : u1) crest = std::max(crest, x.toDouble());
  EXPECT_GT(crest, 230 * std::sqrt(2.0) * 0.95);
  EXPECT_LT(crest, 230 * std::sqrt(2.0) * 1.1);
  // The spectrum of u1 is what the simulator documents: harmonic h at
  // 230 V x p(h) %, p(h) = base + 0.002 h (L1), interharmonic i at order
  // i + 0.5 with 0.05 + 0.001 i %. Ten whole periods: one DFT bin per 5 Hz, no leakage.
  auto amplitude = [&](const char* channel, double hz) {
    const QJsonArray x = samples[QLatin1String(channel)].toArray();
    double re = 0, im = 0;
    for (int n = 0; n < x.size(); ++n) {
      const double v = x[n].toDouble(), a = 2 * M_PI * hz * n / 40960.0;
      re += v * std::cos(a);
      im -= v * std::sin(a);
    }
    return 2 * std::hypot(re, im) / x.size() / std::sqrt(2.0);  // rms
  };
  EXPECT_NEAR(amplitude("U1E", 50), 230.0, 0.01);
  EXPECT_NEAR(amplitude("U1E", 250), 230.0 * (3.0 + 0.010) / 100, 0.002) << "fifth harmonic";
  EXPECT_NEAR(amplitude("U1E", 100), 230.0 * 0.004 / 100, 0.0005) << "second harmonic, no base";
  EXPECT_NEAR(amplitude("U1E", 75), 230.0 * 0.051 / 100, 0.0005) << "interharmonic 1, order 1.5";
  EXPECT_NEAR(amplitude("U1E", 25), 230.0 * 0.050 / 100, 0.0005) << "interharmonic 0, order 0.5";
  EXPECT_NEAR(amplitude("U1E", 60), 0.0, 0.0005) << "nothing at 60 Hz";
  EXPECT_NEAR(amplitude("I3", 150), 12.0 * (5.0 + 0.012 + 0.002) / 100, 0.002) << "i3, third harmonic";
  EXPECT_NEAR(amplitude("IN", 150), 1.5, 0.002) << "iN is a pure third harmonic";
  // Record 1 reports the same in % of the fundamental (voltages) and in ampere (currents).
  r = Cli({"--json", "stream", "harmonics"});
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QByteArray rec = QByteArray::fromHex(o["records"].toArray()[0].toObject()["bytes"].toString().toLatin1());
  auto f32 = [&rec](int offset) {
    float f = 0;
    std::memcpy(&f, rec.constData() + offset, 4);
    return double(f);
  };
  EXPECT_NEAR(f32(244 + 4 * 1), 100.0, 1e-4);
  EXPECT_NEAR(f32(244 + 4 * 5), 3.010, 1e-4) << "U1E order 5";
  EXPECT_NEAR(f32(648 + 4 * 5), 3.0105, 1e-4) << "U2E order 5: distinct per conductor";
  EXPECT_NEAR(f32(244 + 204 + 4 * 1), 0.051, 1e-5) << "U1E interharmonic 1";
  EXPECT_NEAR(f32(4656 + 4 * 3), 12.0 * 5.014 / 100, 1e-4) << "I3 order 3 in ampere";
  EXPECT_NEAR(f32(5060 + 4 * 3), 1.5, 1e-5) << "IN";
}

TEST_F(CliTest, OscilloscopeOfGenerationOneHasElevenChannels) {
  const TRun r = Cli({"live", "osc"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("4096 samples at 40960/s, 11 channels")) << r.Out.toStdString();
  EXPECT_EQ(Cli({"live", "loadflow"}).Exit, 1) << "not a view of the command line";
}

namespace {
class CliLiveProfileTest : public CliTest {
 protected:
  QStringList SimArgs() override {
    return {"--network",       QStringLiteral(VANTA_SOURCE_DIR "/data/networks/mv-20kV.ini"),
            "--fault",         "record-length=0x08FFFFFF:1000",
            "--binary-inputs", "12"};
  }
};
class CliLiveEmptyOscTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--generation", "2", "--osc-samples", "0"}; }
};
}  // namespace

TEST_F(CliLiveProfileTest, MediumVoltageProfileWrongLengthsAndTwelveInputs) {
  TRun r = Cli({"--json", "live", "panel"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "live-panel", o));
  const QJsonObject rec = o["records"].toArray()[0].toObject();
  const QJsonObject v = rec["values"].toObject(), texts = rec["texts"].toObject();
  EXPECT_NEAR(v["U1E"].toDouble(), 20000.0 / std::sqrt(3.0), 0.5) << "in V, not in kV";
  EXPECT_EQ(texts["U1E"].toString(), "11.55 kV");
  EXPECT_NEAR(v["I3"].toDouble(), 102.0, 1e-3);
  EXPECT_EQ(texts["S1"].toString(), "1.15 MVA") << "11547 V x 100 A";
  EXPECT_NEAR(v["S1"].toDouble(), v["U1E"].toDouble() * v["I1"].toDouble(), 1.0);
  // The oscilloscope record cut to 1000 bytes fits no sample count: named, not shown.
  r = Cli({"--json", "live", "osc"});
  ASSERT_TRUE(Document(r, 3, "live-osc", o));
  EXPECT_TRUE(o["records"].toArray().isEmpty());
  EXPECT_TRUE(o["error"].toObject()["message"].toString().contains("1000 Bytes passen nicht zu 4096 Werten"))
      << r.Out.toStdString();
  EXPECT_EQ(o["error"].toObject()["code"].toInt(), 3);
  // Followed, the same ends in an error line.
  r = Cli({"--json", "live", "osc", "--follow"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(MatchesSchema(r.Out, "live-osc-line", true));
  EXPECT_TRUE(r.Out.contains("1000 Bytes passen nicht zu 4096 Werten")) << r.Out.toStdString();
  r = Cli({"stream", "binary", "--count", "1"});
  EXPECT_TRUE(r.Out.contains("binary inputs (12)")) << r.Out.toStdString();
}

TEST_F(CliLiveEmptyOscTest, NoSamplesIsAValidEmptyRecord) {
  const TRun r = Cli({"--json", "live", "osc"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "live-osc", o));
  const QJsonObject rec = o["records"].toArray()[0].toObject();
  EXPECT_EQ(rec["sampleCount"].toInt(), 0);
  EXPECT_TRUE(rec["sampleOffsets"].toArray().isEmpty());
  const QJsonObject samples = rec["samples"].toObject();
  EXPECT_EQ(samples.size(), 12) << "every channel, with no samples";
  for (const QJsonValue& c : samples) EXPECT_TRUE(c.toArray().isEmpty());
}

TEST_F(CliLiveTenPeriodsTest, SpectrumOfTheDocumentedSignal) {
  const TRun r = Cli({"--json", "live", "spectrum", "--channel", "i2"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "live-spectrum", o));
  const QJsonObject rec = o["records"].toArray()[0].toObject();
  EXPECT_TRUE(RecentIsoTime(rec["time"]));
  EXPECT_EQ(rec["frequencyStep"].toDouble(), 5.0);
  EXPECT_EQ(rec["channels"].toArray(), QJsonArray{"I2"});
  EXPECT_EQ(rec["units"].toObject()["I2"].toString(), "A");
  const QJsonArray frequencies = rec["frequencies"].toArray(), lines = rec["magnitudes"].toObject()["I2"].toArray();
  ASSERT_EQ(lines.size(), 4097);
  ASSERT_EQ(frequencies.size(), 4097);
  EXPECT_EQ(frequencies[10].toDouble(), 50.0);
  EXPECT_EQ(frequencies[4096].toDouble(), 20480.0) << "up to half the sample rate";
  auto at = [&](int hz) { return lines[hz / 5].toDouble(); };
  // i2: 11 A; harmonic h at 11 x pI(h,1) %, pI = base + 0.004 h + 0.001; interharmonic i at order i + 0.5.
  EXPECT_NEAR(at(50), 11.0, 11.0 * 1e-3);
  for (int h : {2, 3, 5, 7, 13, 49}) {
    const double base = h == 3 ? 5 : h == 5 ? 10 : h == 7 ? 6 : h == 13 ? 2 : 0;
    const double want = 11.0 * (base + 0.004 * h + 0.001) / 100;
    EXPECT_NEAR(at(50 * h), want, want * 1e-3) << "order " << h;
  }
  EXPECT_NEAR(at(125), 11.0 * (0.1 + 0.004 + 0.0005) / 100, 1e-4) << "interharmonic 2, order 2.5";
  EXPECT_LT(at(60), 1e-4) << "nothing between the documented lines";
  EXPECT_LT(at(2600), 1e-4);
}

TEST_F(CliTest, HarmonicsAndBandsAsTheBarChartHoldsThem) {
  auto bars = [&](const char* view, const char* group, QJsonObject& o) {
    const TRun r = Cli({"--json", "live", QLatin1String(view), "--group", QLatin1String(group)});
    if (!OneDocument(r, o)) return ::testing::AssertionFailure() << r.Err.toStdString() << r.Out.toStdString();
    return MatchesSchema(r.Out, "live-harmonics");
  };
  QJsonObject o;
  ASSERT_TRUE(bars("harmonics", "IL", o));
  EXPECT_EQ(o["group"].toString(), "IL");
  EXPECT_TRUE(RecentIsoTime(o["time"]));
  EXPECT_EQ(o["fields"].toArray(), (QJsonArray{"order", "I1", "I2", "I3", "IN"}))
      << "current columns are named after the current, no limits for currents";
  EXPECT_EQ(o["units"].toObject()["I2"].toString(), "A");
  QJsonArray rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 51) << "orders 0 to 50";
  EXPECT_EQ(rows[3].toObject()["order"].toInt(), 3);
  EXPECT_NEAR(rows[3].toObject()["I2"].toDouble(), 11.0 * 5.013 / 100, 1e-4) << "I2, order 3, in ampere";
  EXPECT_NEAR(rows[3].toObject()["IN"].toDouble(), 1.5, 1e-5) << "IN";
  ASSERT_TRUE(bars("harmonics", "ULE", o));
  EXPECT_EQ(o["units"].toObject()["U1E"].toString(), "%");
  rows = o["rows"].toArray();
  const QJsonObject fifth = rows[5].toObject();
  EXPECT_EQ(fifth["order"].toInt(), 5);
  EXPECT_NEAR(fifth["U1E"].toDouble(), 3.01, 1e-4);
  EXPECT_NEAR(fifth["U2E"].toDouble(), 3.0105, 1e-4) << "distinct per conductor";
  EXPECT_NEAR(fifth["U3E"].toDouble(), 3.011, 1e-4);
  EXPECT_EQ(fifth["limit"].toDouble(), 6.0) << "the fifth order's limit, as the chart draws it";
  ASSERT_TRUE(bars("harmonics", "ULL", o));
  EXPECT_EQ(o["fields"].toArray().size(), 5) << "order, U12, U23, U31, limit: no fourth conductor";
  EXPECT_TRUE(o["rows"].toArray()[5].toObject().contains("U31"));
  ASSERT_TRUE(bars("interharmonics", "ULE", o));
  rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 50);
  EXPECT_EQ(rows[1].toObject()["order"].toDouble(), 1.5) << "between orders 1 and 2";
  EXPECT_NEAR(rows[1].toObject()["U1E"].toDouble(), 0.051, 1e-5);
  ASSERT_TRUE(bars("bands", "ULL", o));
  rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 35);
  EXPECT_EQ(rows[34].toObject()["band"].toInt(), 8900) << "the band's centre in Hz";
  EXPECT_EQ(o["units"].toObject()["band"].toString(), "Hz");
  EXPECT_EQ(o["units"].toObject()["U12"].toString(), "V");
  EXPECT_NEAR(rows[0].toObject()["U12"].toDouble(), 0.05 + 0.0003 * 4, 1e-6) << "U12 is voltage block 4";
  EXPECT_NEAR(rows[34].toObject()["UNE"].toDouble(), 0.05 + 0.034 + 0.0003 * 3, 1e-6) << "the fourth row of L-L is UNE";
  EXPECT_EQ(Cli({"live", "bands", "--group", "XY"}).Exit, 1);
}

TEST_F(CliTest, PhasorsAndLoadFlowAngles) {
  const TRun r = Cli({"--json", "live", "vectors"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "live-vectors", o));
  EXPECT_TRUE(RecentIsoTime(o["time"]));
  EXPECT_EQ(o["units"].toObject()["U2E"].toString(), "V");
  EXPECT_EQ(o["units"].toObject()["I3"].toString(), "A");
  const QJsonObject p = o["phasors"].toObject();
  EXPECT_NEAR(p["U2E"].toObject()["magnitude"].toDouble(), 231.0, 1e-4);
  EXPECT_NEAR(p["U2E"].toObject()["angle"].toDouble(), -120.0, 1e-4);
  EXPECT_NEAR(p["I3"].toObject()["angle"].toDouble(), 90.0, 1e-4) << "120 degrees minus the 30 degree lag";
  EXPECT_NEAR(p["U12"].toObject()["magnitude"].toDouble(), 399.24, 0.01);
  ASSERT_EQ(o["loadFlowAngles"].toArray().size(), 3);
  for (const QJsonValue& a : o["loadFlowAngles"].toArray()) EXPECT_NEAR(a.toDouble(), 30.0, 1e-4);
}

TEST_F(CliTest, AllValuesOfAStructure) {
  auto values = [&](const char* strukt, const char* kind, QJsonObject& o) {
    const TRun r = Cli({"--json", "live", "values", "--struct", QLatin1String(strukt), "--kind", QLatin1String(kind)});
    if (!OneDocument(r, o)) return ::testing::AssertionFailure() << r.Err.toStdString() << r.Out.toStdString();
    return MatchesSchema(r.Out, "live-values");
  };
  QJsonObject o;
  ASSERT_TRUE(values("ssu_std_t", "stTHrm", o));
  EXPECT_EQ(o["struct"].toString(), "ssu_std_t");
  EXPECT_EQ(o["kind"].toString(), "stTHrm");
  EXPECT_TRUE(RecentIsoTime(o["time"]));
  QJsonArray rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 51);
  EXPECT_EQ(o["fields"].toArray()[0].toString(), "order");
  EXPECT_EQ(o["units"].toObject()["hrmU1E"].toString(), "%");
  EXPECT_EQ(rows[5].toObject()["order"].toInt(), 5);
  EXPECT_NEAR(rows[5].toObject()["hrmU1E"].toDouble(), 3.01, 1e-5) << "U1E order 5 in %";
  ASSERT_TRUE(values("ssi_std_t_V1_0", "stTPhase", o));
  rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 49);
  EXPECT_EQ(rows[1].toObject()["order"].toInt(), 3);
  EXPECT_NEAR(rows[1].toObject()["hphI2"].toDouble(), -90.0, 1e-3) << "I2 order 3: 3 x (-120 - 30) degrees, wrapped";
  EXPECT_EQ(o["units"].toObject()["hphI2"].toString(), "°");
  ASSERT_TRUE(values("ssu_ext_t", "stTExtHarm", o));
  rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 49);
  EXPECT_EQ(rows[3].toObject()["order"].toInt(), 5);
  EXPECT_NEAR(rows[3].toObject()["u1E"].toDouble(), 3.311, 1e-4) << "U1E order 5: 110 % of 3.01 %";
  EXPECT_TRUE(RecentIsoTime(rows[3].toObject()["u1ETime"])) << "with the time of the maximum";
  EXPECT_EQ(rows[3].toObject()["uNE"].toDouble(), 0.0) << "UNE is never set";
  EXPECT_TRUE(rows[3].toObject()["uNETime"].isNull());
  ASSERT_TRUE(values("ssp_ext_t", "stExt_t", o));
  EXPECT_EQ(o["fields"].toArray(), (QJsonArray{"name", "value", "time", "unit"}));
  const QJsonObject pMaxSum = o["rows"].toArray()[3].toObject();
  EXPECT_EQ(pMaxSum["name"].toString(), "pMaxSum");
  EXPECT_EQ(pMaxSum["unit"].toString(), "W");
  EXPECT_GT(pMaxSum["value"].toDouble(), 6000.0) << "at least the three phases' 6.57 kW";
  EXPECT_TRUE(RecentIsoTime(pMaxSum["time"], 24 * 3600 * 1000)) << "the time of the maximum, in the device's zone";
  ASSERT_TRUE(values("ssu_150t_t", "stPol_t", o));
  const QJsonObject u2 = o["rows"].toArray()[1].toObject();
  EXPECT_EQ(u2["name"].toString(), "pol_u2E");
  EXPECT_NEAR(u2["magnitude"].toDouble(), 231.0, 1e-3);
  EXPECT_NEAR(u2["angle"].toDouble(), -120.0, 1e-3);
  EXPECT_EQ(u2["unit"].toString(), "V");
  EXPECT_EQ(Cli({"live", "values", "--struct", "nothing"}).Exit, 1);
}

// The all-values table of the one-second currents shows what the value
// panel shows: fundamental reactive power, distortion power, power factor
// and the cos φ with its sign, the same numbers in the panel's form.
TEST_F(CliTest, OneSecondCurrentsShowThePanelsPowers) {
  TRun r = Cli({"--json", "live", "panel"});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonObject panel = o["records"].toArray()[0].toObject();
  const QJsonObject texts = panel["texts"].toObject(), figures = panel["values"].toObject();
  r = Cli({"--json", "live", "values", "--struct", "ssi_s_t"});
  ASSERT_TRUE(Document(r, 0, "live-values", o));
  QMap<QString, double> table;
  QMap<QString, QString> units;
  for (const QJsonValue& row : o["rows"].toArray()) {
    ASSERT_TRUE(row.toObject()["value"].isDouble()) << row.toObject()["name"].toString().toStdString();
    table[row.toObject()["name"].toString()] = row.toObject()["value"].toDouble();
    units[row.toObject()["name"].toString()] = row.toObject()["unit"].toString();
  }
  const char* const rows[] = {"1", "2", "3", "Sum"};
  const struct {
    const char* Panel;
    const char* Row;
    int Unit;
  } powers[] = {{"QV", "qv", 8}, {"D", "d", 8}, {"PF", "pf", 0}};
  for (const auto& pw : powers)
    for (int k = 0; k < 4; ++k) {
      const QString row = QLatin1String(pw.Row) + QLatin1String(rows[k]);
      const QString symbol = QLatin1String(pw.Panel) + QLatin1String(rows[k]);
      ASSERT_TRUE(table.contains(row)) << row.toStdString();
      EXPECT_EQ(vanta::ValueText(float(table[row]), pw.Unit), texts[symbol].toString()) << row.toStdString();
      EXPECT_EQ(units[row], panel["units"].toObject()[symbol].toString()) << row.toStdString();
      EXPECT_NEAR(table[row], figures[symbol].toDouble(), std::fabs(figures[symbol].toDouble()) * 0.01 + 1e-6) << row.toStdString();
    }
  EXPECT_GT(table["d1"], 0.0) << "the harmonic currents give a distortion power";
  EXPECT_NE(table["d1"], table["d2"]) << "one per phase";
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(table[QStringLiteral("cosPhiSign") + QLatin1String(rows[k])], 1.0) << "inductive";
    EXPECT_EQ(panel[QStringLiteral("cosPhiKind") + QLatin1String(rows[k])].toString(), "ind");
    EXPECT_EQ(QStringLiteral("ind. ") + vanta::ValueText(float(table[QStringLiteral("cosPhi") + QLatin1String(rows[k])]), 0),
              texts[QStringLiteral("cosPhi") + QLatin1String(rows[k])].toString());
  }
}

// --follow: a line per record as it comes, each a document of its own.
TEST_F(CliTest, FollowGivesALinePerRecord) {
  TRun r = Cli({"--json", "live", "panel", "--count", "3", "--follow"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, "live-panel-line", true));
  QList<QJsonObject> lines;
  ASSERT_TRUE(Lines(r.Out, lines)) << r.Out.toStdString();
  ASSERT_EQ(lines.size(), 3) << "three records, nothing after them";
  QString before;
  for (const QJsonObject& l : lines) {
    EXPECT_EQ(l["schemaVersion"].toInt(), 1);
    EXPECT_EQ(l["generation"].toInt(), 1);
    EXPECT_NEAR(l["values"].toObject()["U1E"].toDouble(), 230.0, 1e-3);
    EXPECT_TRUE(RecentIsoTime(l["time"]));
    EXPECT_GT(l["time"].toString(), before) << "one record after the other";
    before = l["time"].toString();
  }
  r = Cli({"--json", "live", "osc", "--count", "2", "--follow", "--channel", "i1"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, "live-osc-line", true));
  ASSERT_TRUE(Lines(r.Out, lines));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[1]["samples"].toObject()["I1"].toArray().size(), 4096);
  r = Cli({"--json", "live", "spectrum", "--count", "2", "--follow", "--channel", "u1"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, "live-spectrum-line", true));
  ASSERT_TRUE(Lines(r.Out, lines));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_NEAR(lines[0]["magnitudes"].toObject()["U1E"].toArray()[5].toDouble(), 230.0, 0.5) << "50 Hz, 10 Hz apart";
  // Text as before, a block per record.
  r = Cli({"live", "panel", "--count", "2", "--follow"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.count("  UL1:"), 2) << r.Out.toStdString();
  // Only the streams follow; only the tables are CSV.
  EXPECT_EQ(Cli({"live", "vectors", "--follow"}).Exit, 1);
  EXPECT_EQ(Cli({"live", "panel", "--csv"}).Exit, 1);
}

// Ctrl-C ends a follower cleanly: every line printed is whole, exit 0.
TEST_F(CliTest, FollowEndsCleanlyOnCtrlC) {
  bool twoLines = false;
  const TRun r = InterruptWhen(At() + QStringList{"--json", "live", "panel", "--follow", "--count", "1000"},
                               [](const QByteArray& out) { return out.count('\n') >= 2; }, twoLines);
  ASSERT_TRUE(twoLines) << "records come while the command runs: " << r.Out.toStdString();
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, "live-panel-line", true));
  QList<QJsonObject> lines;
  ASSERT_TRUE(Lines(r.Out, lines)) << r.Out.toStdString();
  EXPECT_LT(lines.size(), 1000);
  for (const QJsonObject& l : lines) EXPECT_TRUE(l.contains("values")) << "records only, no closing document";
}

// --csv: the table's JSON fields as the header, "." decimals, a line per row.
TEST_F(CliTest, TablesAsCsv) {
  auto check = [&](const QStringList& args) {
    QJsonObject o;
    const TRun j = Cli(QStringList{"--json", "live"} + args);
    EXPECT_TRUE(OneDocument(j, o)) << j.Err.toStdString();
    const TRun c = Cli(QStringList{"live"} + args + QStringList{"--csv"});
    EXPECT_EQ(c.Exit, 0) << c.Err.toStdString();
    const QStringList lines = c.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QJsonArray rows = o["rows"].toArray();
    EXPECT_EQ(lines.size(), rows.size() + 1) << c.Out.toStdString();
    if (lines.size() != rows.size() + 1) return QList<QStringList>();
    const QStringList head = lines[0].split(QLatin1Char(','));
    QStringList fields;
    for (const QJsonValue& f : o["fields"].toArray()) fields << f.toString();
    EXPECT_EQ(head, fields);
    // Every field of the JSON rows has its column.
    QSet<QString> keys;
    for (const QJsonValue& row : rows)
      for (const QString& k : row.toObject().keys()) keys << k;
    EXPECT_EQ(keys, QSet<QString>(head.begin(), head.end()));
    QList<QStringList> cells;
    for (int i = 1; i < lines.size(); ++i) {
      cells << lines[i].split(QLatin1Char(','));
      EXPECT_EQ(cells.last().size(), head.size()) << lines[i].toStdString();
      // The numbers read back as the JSON has them.
      for (int c = 0; c < head.size() && c < cells.last().size(); ++c) {
        const QJsonValue v = rows[i - 1].toObject()[head[c]];
        if (!v.isDouble()) continue;
        bool ok = false;
        EXPECT_EQ(cells.last()[c].toDouble(&ok), v.toDouble()) << head[c].toStdString() << " row " << i;
        EXPECT_TRUE(ok) << cells.last()[c].toStdString();
      }
    }
    return cells;
  };
  QList<QStringList> cells = check({"harmonics"});
  ASSERT_EQ(cells.size(), 51);
  EXPECT_EQ(cells[5][0], "5");
  EXPECT_EQ(cells[5][1], "3.01") << "U1E order 5, with a decimal point";
  cells = check({"interharmonics", "--group", "IL"});
  ASSERT_EQ(cells.size(), 50);
  EXPECT_EQ(cells[4][0], "4.5");
  cells = check({"bands"});
  ASSERT_EQ(cells.size(), 35);
  EXPECT_EQ(cells[0][0], "2100");
  cells = check({"values", "--struct", "ssp_ext_t", "--kind", "stExt_t"});
  ASSERT_EQ(cells.size(), 8);
  EXPECT_EQ(cells[3][0], "pMaxSum");
  EXPECT_EQ(cells[3][3], "W");
  cells = check({"values", "--struct", "ssu_std_t", "--kind", "stTHrm"});
  ASSERT_EQ(cells.size(), 51);
  const TRun both = Cli({"--json", "live", "harmonics", "--csv"});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(both, o));
  EXPECT_EQ(both.Exit, 1);
  EXPECT_EQ(o["error"].toObject()["code"].toInt(), 1) << "one output at a time";
}
