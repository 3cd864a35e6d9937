// The live view's figures from the simulator, headless: the value panel's
// texts against the simulator's documented network, oscilloscope records in
// both sample layouts.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QMap>
#include <cmath>
#include <cstring>

#include "CliSupport.h"
#include "LiveRecords.h"

using namespace vanta::test::cli;

namespace {
class CliLiveGen2Test : public CliTest {
 protected:
  // Ten periods of 50 Hz: lines 5 Hz apart, so the interharmonics at
  // whole and a half orders fall on lines too.
  QStringList SimArgs() override {
    return {QStringLiteral("--generation"), QStringLiteral("2"), QStringLiteral("--osc-samples"), QStringLiteral("8192")};
  }
};
class CliLiveTenPeriodsTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--osc-samples"), QStringLiteral("8192")}; }
};
}  // namespace

TEST_F(CliTest, PanelTextsMatchTheDocumentedNetwork) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("panel")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(o["generation"].toInt(), 1);
  const QJsonObject f = o["records"].toArray()[0].toObject()["fields"].toObject();
  // 50 Hz, 230/231/229 V at 0/-120/+120 degrees, 10/11/12 A lagging 30 degrees.
  EXPECT_EQ(f["edtF"].toString(), QStringLiteral("50.00 Hz"));
  EXPECT_EQ(f["edtUL2"].toString(), QStringLiteral("231.00 V"));
  EXPECT_EQ(f["edtPHL2"].toString(), QStringLiteral("-120.00 °"));
  EXPECT_EQ(f["edtI3"].toString(), QStringLiteral("12.00 A"));
  EXPECT_EQ(f["edtS1"].toString(), QStringLiteral("2.30 kVA")) << "230 V x 10 A";
  EXPECT_EQ(f["edtP1"].toString(), QStringLiteral("1.99 kW")) << "2300 VA x cos 30 degrees";
  EXPECT_EQ(f["edtcosPHL1"].toString(), QStringLiteral("ind. 0.87 "));
  EXPECT_EQ(f["edtIR"].toString(), QStringLiteral("n.A.")) << "generation 1 has no residual current";
  EXPECT_EQ(f.size(), 56) << "every field of the panel";
}

TEST_F(CliLiveGen2Test, ResidualCurrentAndTwelveChannels) {
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("panel")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(o["records"].toArray()[0].toObject()["fields"].toObject()["edtIR"].toString(), QStringLiteral("0.03 A"));
  r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("osc"), QStringLiteral("--count"), QStringLiteral("2")});
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonArray records = o["records"].toArray();
  ASSERT_EQ(records.size(), 2);
  const QJsonObject first = records[0].toObject();
  EXPECT_EQ(first["samples"].toInt(), 8192) << "ten periods of 50 Hz";
  EXPECT_EQ(first["rate"].toInt(), 40960);
  EXPECT_EQ(first["channels"].toArray().size(), 12);
  const QJsonArray rows = first["rows"].toArray();
  ASSERT_EQ(rows.size(), 8192);
  EXPECT_EQ(rows[1].toArray()[0].toString(), QStringLiteral("24414")) << "1e9 / 40960 ns after the first sample, rounded";
  EXPECT_EQ(rows[3].toArray()[0].toString(), QStringLiteral("73242")) << "rounded per sample, not summed";
  // u1 at t = 0: 230 V rms, harmonics 3 (1 %), 5 (3 %), 7 (2 %), 11 (1 %), 13 (0.5 %) at angle 0: sin 0 = 0.
  EXPECT_NEAR(rows[0].toArray()[1].toDouble(), 0.0, 1e-3);
  // A quarter period later (1024 samples / 5 = 204.8: sample 205 is 0.2 samples past): near the crest, with the harmonics' share.
  double crest = 0;
  for (const QJsonValue& row : rows) crest = std::max(crest, row.toArray()[1].toDouble());
  EXPECT_GT(crest, 230 * std::sqrt(2.0) * 0.95);
  EXPECT_LT(crest, 230 * std::sqrt(2.0) * 1.1);
  EXPECT_EQ(rows[0].toArray().size(), 13);
  // The spectrum of u1 is what the simulator documents: harmonic h at
  // 230 V x p(h) %, p(h) = base + 0.002 h (L1), interharmonic i at order
  // i + 0.5 with 0.05 + 0.001 i %. Ten whole periods: one DFT bin per 5 Hz, no leakage.
  auto amplitude = [&](int column, double hz) {  // column = channel + 1 (the time first)
    double re = 0, im = 0;
    for (int n = 0; n < rows.size(); ++n) {
      const double v = rows[n].toArray()[column].toDouble(), a = 2 * M_PI * hz * n / 40960.0;
      re += v * std::cos(a);
      im -= v * std::sin(a);
    }
    return 2 * std::hypot(re, im) / rows.size() / std::sqrt(2.0);  // rms
  };
  EXPECT_NEAR(amplitude(1, 50), 230.0, 0.01);
  EXPECT_NEAR(amplitude(1, 250), 230.0 * (3.0 + 0.010) / 100, 0.002) << "fifth harmonic";
  EXPECT_NEAR(amplitude(1, 100), 230.0 * 0.004 / 100, 0.0005) << "second harmonic, no base";
  EXPECT_NEAR(amplitude(1, 75), 230.0 * 0.051 / 100, 0.0005) << "interharmonic 1, order 1.5";
  EXPECT_NEAR(amplitude(1, 25), 230.0 * 0.050 / 100, 0.0005) << "interharmonic 0, order 0.5";
  EXPECT_NEAR(amplitude(1, 60), 0.0, 0.0005) << "nothing at 60 Hz";
  EXPECT_NEAR(amplitude(10, 150), 12.0 * (5.0 + 0.012 + 0.002) / 100, 0.002) << "i3, third harmonic";
  EXPECT_NEAR(amplitude(11, 150), 1.5, 0.002) << "iN is a pure third harmonic";
  // Record 1 reports the same in % of the fundamental (voltages) and in ampere (currents).
  r = Cli({QStringLiteral("--json"), QStringLiteral("stream"), QStringLiteral("harmonics")});
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
  const TRun r = Cli({QStringLiteral("live"), QStringLiteral("osc")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("4096 samples at 40960/s, 11 channels"))) << r.Out.toStdString();
  EXPECT_EQ(Cli({QStringLiteral("live"), QStringLiteral("loadflow")}).Exit, 1) << "not a view of the command line";
}

namespace {
class CliLiveProfileTest : public CliTest {
 protected:
  QStringList SimArgs() override {
    return {QStringLiteral("--network"), QStringLiteral(VANTA_SOURCE_DIR "/data/networks/mv-20kV.ini"), QStringLiteral("--fault"),
            QStringLiteral("record-length=0x08FFFFFF:1000"), QStringLiteral("--binary-inputs"), QStringLiteral("12")};
  }
};
class CliLiveEmptyOscTest : public CliTest {
 protected:
  QStringList SimArgs() override {
    return {QStringLiteral("--generation"), QStringLiteral("2"), QStringLiteral("--osc-samples"), QStringLiteral("0")};
  }
};
}  // namespace

TEST_F(CliLiveProfileTest, MediumVoltageProfileWrongLengthsAndTwelveInputs) {
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("panel")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonObject f = o["records"].toArray()[0].toObject()["fields"].toObject();
  EXPECT_EQ(f["edtUL1"].toString(), QStringLiteral("11.55 kV"));
  EXPECT_EQ(f["edtI3"].toString(), QStringLiteral("102.00 A"));
  EXPECT_EQ(f["edtS1"].toString(), QStringLiteral("1.15 MVA")) << "11547 V x 100 A";
  // The oscilloscope record cut to 1000 bytes fits no sample count: named, not shown.
  r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("osc")});
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(o["records"].toArray().isEmpty());
  EXPECT_TRUE(r.Out.contains(QStringLiteral("1000 Bytes passen nicht zu 4096 Werten"))) << r.Out.toStdString();
  r = Cli({QStringLiteral("stream"), QStringLiteral("binary"), QStringLiteral("--count"), QStringLiteral("1")});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("binary inputs (12)"))) << r.Out.toStdString();
}

TEST_F(CliLiveEmptyOscTest, NoSamplesIsAValidEmptyRecord) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("osc")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonObject rec = o["records"].toArray()[0].toObject();
  EXPECT_EQ(rec["samples"].toInt(), 0);
  EXPECT_TRUE(rec["rows"].toArray().isEmpty());
}

TEST_F(CliLiveTenPeriodsTest, SpectrumOfTheDocumentedSignal) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("spectrum"), QStringLiteral("--channel"), QStringLiteral("i2")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonObject rec = o["records"].toArray()[0].toObject();
  EXPECT_EQ(rec["step"].toDouble(), 5.0);
  EXPECT_EQ(rec["channels"].toArray(), QJsonArray{QStringLiteral("i2")});
  const QJsonArray lines = rec["lines"].toArray();
  ASSERT_EQ(lines.size(), 4097);
  auto at = [&](int hz) { return lines[hz / 5].toArray()[1].toDouble(); };
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
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("harmonics"), QStringLiteral("--group"), QStringLiteral("IL")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(o["unit"].toString(), QStringLiteral("A"));
  QJsonArray rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 5) << "Info and four conductors, no limits for currents";
  EXPECT_EQ(rows[1].toArray()[0].toString(), QStringLiteral("I1 (Val)")) << "current rows are named after the current";
  EXPECT_EQ(rows[2].toArray()[0].toString(), QStringLiteral("I2 (Val)"));
  EXPECT_EQ(rows[4].toArray()[0].toString(), QStringLiteral("IN (Val)"));
  EXPECT_NEAR(rows[2].toArray()[1 + 3].toString().toDouble(), 11.0 * 5.013 / 100, 1e-4) << "I2, order 3, in ampere";
  EXPECT_NEAR(rows[4].toArray()[1 + 3].toString().toDouble(), 1.5, 1e-5) << "IN";
  r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("bands"), QStringLiteral("--group"), QStringLiteral("ULL")});
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  rows = o["rows"].toArray();
  EXPECT_EQ(rows[0].toArray()[35].toString(), QStringLiteral("8900 Hz"));
  EXPECT_EQ(rows[1].toArray()[0].toString(), QStringLiteral("U12 (Val)")) << "line-to-line rows are named after the voltage";
  EXPECT_EQ(rows[3].toArray()[0].toString(), QStringLiteral("U31 (Val)"));
  EXPECT_NEAR(rows[1].toArray()[1].toString().toDouble(), 0.05 + 0.0003 * 4, 1e-6) << "U12 is voltage block 4";
  EXPECT_NEAR(rows[4].toArray()[35].toString().toDouble(), 0.05 + 0.034 + 0.0003 * 3, 1e-6) << "the fourth row of L-L is UNE";
  EXPECT_EQ(Cli({QStringLiteral("live"), QStringLiteral("bands"), QStringLiteral("--group"), QStringLiteral("XY")}).Exit, 1);
}

TEST_F(CliTest, PhasorsAndLoadFlowAngles) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("vectors")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonObject p = o["phasors"].toObject();
  EXPECT_NEAR(p["U2E"].toObject()["magnitude"].toDouble(), 231.0, 1e-4);
  EXPECT_NEAR(p["U2E"].toObject()["angle"].toDouble(), -120.0, 1e-4);
  EXPECT_NEAR(p["I3"].toObject()["angle"].toDouble(), 90.0, 1e-4) << "120 degrees minus the 30 degree lag";
  EXPECT_NEAR(p["U12"].toObject()["magnitude"].toDouble(), 399.24, 0.01);
  for (const QJsonValue& a : o["loadFlowAngles"].toArray()) EXPECT_NEAR(a.toDouble(), 30.0, 1e-4);
}

TEST_F(CliTest, AllValuesOfAStructure) {
  auto values = [&](const char* strukt, const char* kind, QJsonObject& o) {
    const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("values"), QStringLiteral("--struct"),
                        QLatin1String(strukt), QStringLiteral("--kind"), QLatin1String(kind)});
    return OneDocument(r, o) ? QString() : r.Err;
  };
  QJsonObject o;
  ASSERT_EQ(values("ssu_std_t", "stTHrm", o), QString());
  QJsonArray rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 51);
  EXPECT_EQ(o["columns"].toArray()[0].toString(), QStringLiteral("Harmonische"));
  EXPECT_EQ(rows[5].toArray()[1].toString(), QStringLiteral("3.01")) << "U1E order 5 in %";
  ASSERT_EQ(values("ssi_std_t_V1_0", "stTPhase", o), QString());
  rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 49);
  EXPECT_EQ(rows[1].toArray()[0].toString(), QStringLiteral("3"));
  EXPECT_EQ(rows[1].toArray()[2].toString(), QStringLiteral("-90")) << "I2 order 3: 3 x (-120 - 30) degrees, wrapped";
  ASSERT_EQ(values("ssu_ext_t", "stTExtHarm", o), QString());
  rows = o["rows"].toArray();
  ASSERT_EQ(rows.size(), 49);
  EXPECT_TRUE(rows[3].toArray()[1].toString().startsWith(QStringLiteral("3.311 - "))) << "U1E order 5: 110 % of 3.01 %";
  EXPECT_EQ(rows[3].toArray()[4].toString(), QStringLiteral("0")) << "UNE is never set";
  ASSERT_EQ(values("ssp_ext_t", "stExt_t", o), QString());
  EXPECT_EQ(o["columns"].toArray()[1].toString(), QStringLiteral("Time"));
  EXPECT_EQ(o["rows"].toArray()[3].toArray()[0].toString(), QStringLiteral("pMaxSum"));
  EXPECT_EQ(Cli({QStringLiteral("live"), QStringLiteral("values"), QStringLiteral("--struct"), QStringLiteral("nothing")}).Exit, 1);
}

// The all-values table of the one-second currents shows what the value
// panel shows: fundamental reactive power, distortion power, power factor
// and the cos φ with its sign, the same numbers in the panel's form.
TEST_F(CliTest, OneSecondCurrentsShowThePanelsPowers) {
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("panel")});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QJsonObject panel = o["records"].toArray()[0].toObject()["fields"].toObject();
  r = Cli({QStringLiteral("--json"), QStringLiteral("live"), QStringLiteral("values"), QStringLiteral("--struct"), QStringLiteral("ssi_s_t")});
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  QMap<QString, QString> table;
  for (const QJsonValue& row : o["rows"].toArray()) table[row.toArray()[0].toString()] = row.toArray()[1].toString();
  const char* const phases[] = {"1", "2", "3", "total"};
  const char* const rows[] = {"1", "2", "3", "Sum"};
  const struct {
    const char* Panel;
    const char* Row;
    int Unit;
  } powers[] = {{"QV", "qv", 8}, {"D", "d", 8}, {"PF", "pf", 0}};
  for (const auto& pw : powers)
    for (int k = 0; k < 4; ++k) {
      const QString row = QLatin1String(pw.Row) + QLatin1String(rows[k]);
      ASSERT_TRUE(table.contains(row)) << row.toStdString();
      EXPECT_EQ(vanta::ValueText(table[row].toFloat(), pw.Unit), panel[QStringLiteral("edt%1%2").arg(QLatin1String(pw.Panel), QLatin1String(phases[k]))].toString())
          << row.toStdString();
    }
  EXPECT_GT(table[QStringLiteral("d1")].toDouble(), 0.0) << "the harmonic currents give a distortion power";
  EXPECT_NE(table[QStringLiteral("d1")], table[QStringLiteral("d2")]) << "one per phase";
  const char* const cosFields[] = {"edtcosPHL1", "edtcosPHL2", "edtcosPHL3", "edtcosPH"};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(table[QStringLiteral("cosPhiSign") + QLatin1String(rows[k])], QStringLiteral("1")) << "inductive";
    EXPECT_EQ(QStringLiteral("ind. ") + vanta::ValueText(table[QStringLiteral("cosPhi") + QLatin1String(rows[k])].toFloat(), 0),
              panel[QLatin1String(cosFields[k])].toString());
  }
}
