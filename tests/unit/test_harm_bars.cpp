// The bar chart's model: labels, limits and units per view, the value axis
// rules, the clipboard text.
#include <gtest/gtest.h>

#include "HarmBarModel.h"

using namespace vanta;

namespace {
QList<float> Row(int n, float fill, int at = -1, float value = 0) {
  QList<float> r(n, fill);
  if (at >= 0) r[at] = value;
  return r;
}
}  // namespace

TEST(HarmBars, ViewsSetLabelsLimitsAndUnits) {
  THarmBarModel m;
  m.SetVantaDisp(TVantaDisp::sdFrqBandULL);
  EXPECT_EQ(m.FHrmMaxIdx, 34);
  EXPECT_EQ(m.FHrmTxt[0], QStringLiteral("2100 Hz"));
  EXPECT_EQ(m.FHrmTxt[34], QStringLiteral("8900 Hz"));
  EXPECT_FLOAT_EQ(m.HarmLim(7), 0.05f);
  EXPECT_EQ(m.FYUnit, QStringLiteral("V"));
  m.SetVantaDisp(TVantaDisp::sdFrqBandIL);
  EXPECT_EQ(m.FYUnit, QStringLiteral("A"));
  m.SetVantaDisp(TVantaDisp::sdHrmULE);
  EXPECT_EQ(m.FHrmStartIdx, 2);
  EXPECT_EQ(m.FYUnit, QStringLiteral("%"));
  EXPECT_FLOAT_EQ(m.HarmLim(5), 6.0f) << "the standard's 5th";
  m.SetHarmLim(1, 5.0f);
  EXPECT_FLOAT_EQ(m.HarmLim(1), 100.0f) << "the fundamental keeps its limit";
  m.SetHarmLim(7, 4.0f);
  EXPECT_FLOAT_EQ(m.HarmLim(7), 4.0f);
  m.SetNormalization(true);
  EXPECT_TRUE(m.Normalization());
  m.SetVantaDisp(TVantaDisp::sdIHrmIL);
  m.SetNormalization(true);
  EXPECT_FALSE(m.Normalization()) << "only voltage harmonics normalise";
  EXPECT_EQ(m.FHrmMaxIdx, 49);
  EXPECT_EQ(m.FHrmTxt[49], QStringLiteral("49.5"));
  EXPECT_FLOAT_EQ(m.HarmLim(3), 0.0f);
}

TEST(HarmBars, ValueAxisRules) {
  THarmBarModel m;
  m.SetVantaDisp(TVantaDisp::sdHrmULE);
  m.SetHrmVal(T4Leiter::lt1, Row(51, 0.2f, 1, 100.0f));
  m.SetHrmVal(T4Leiter::lt2, Row(51, 0.2f, 5, 3.0f));
  m.HrmRescale();
  EXPECT_FLOAT_EQ(m.FHrmMaxScl, 10.0f) << "3 % and the fundamental still scale to 10";
  m.SetHrmVal(T4Leiter::lt3, Row(51, 0.2f, 7, 12.0f));
  m.HrmRescale();
  EXPECT_FLOAT_EQ(m.FHrmMaxScl, 20.0f);
  m.SetVantaDisp(TVantaDisp::sdHrmULL);
  m.SetHrmVal(T4Leiter::lt3, Row(51, 0.2f));
  m.SetHrmVal(T4Leiter::lt0, Row(51, 0.2f, 9, 80.0f));
  m.HrmRescale();
  EXPECT_FLOAT_EQ(m.FHrmMaxScl, 10.0f) << "the fourth row does not scale the L-L view";
  m.SetVantaDisp(TVantaDisp::sdIHrmULE);
  for (T4Leiter l : {T4Leiter::lt1, T4Leiter::lt2, T4Leiter::lt3, T4Leiter::lt0}) m.SetIHrmVal(l, Row(50, 0.1f));
  m.HrmRescale();
  EXPECT_FLOAT_EQ(m.FHrmMaxScl, 0.5f) << "interharmonics start at 0.4, rounded up";
  m.SetVantaDisp(TVantaDisp::sdHrmIL);
  m.SetHrmVal(T4Leiter::lt1, Row(51, 0.0f, 1, 11.0f));
  m.SetHrmVal(T4Leiter::lt0, Row(51, 0.0f, 3, 1.5f));
  m.HrmRescale();
  EXPECT_EQ(m.FHrmStartIdx, 0);
  EXPECT_FLOAT_EQ(m.FHrmMaxScl, 20.0f) << "currents in ampere, the fundamental counts";
  EXPECT_FLOAT_EQ(m.CalcBarWidth(10), 4.0f) << "the neutral was shown last";
  m.SetHrmVal(T4Leiter::lt2, Row(51, 0.0f));
  EXPECT_FLOAT_EQ(m.CalcBarWidth(10), 5.0f);
}

TEST(HarmBars, ClipboardText) {
  THarmBarModel m;
  m.SetVantaDisp(TVantaDisp::sdHrmULL);
  m.SetHrmVal(T4Leiter::lt1, Row(51, 0.5f));
  QStringList lines;
  ASSERT_TRUE(m.CopyToClip(lines));
  ASSERT_EQ(lines.size(), 5) << "Info, Limit and the three L-L rows";
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Info\t0\t1\t2")));
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Limit\t0\t100\t2\t5")));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("U12 (Val)\t0.5\t0.5"))) << "line-to-line rows are named after the voltage";
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("U23 (Val)")));
  EXPECT_TRUE(lines[4].startsWith(QStringLiteral("U31 (Val)")));
  m.SetVantaDisp(TVantaDisp::sdFrqBandIL);
  m.FStatistic = true;
  lines.clear();
  ASSERT_TRUE(m.CopyToClip(lines));
  ASSERT_EQ(lines.size(), 9) << "no limit line; Max and 95 % for four conductors";
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("I1 (Max)"))) << "current rows are named after the current";
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("I1 (95%)")));
  EXPECT_TRUE(lines[7].startsWith(QStringLiteral("IN (Max)")));
  EXPECT_EQ(lines[0].count(QLatin1Char('\t')), 35);
}

TEST(HarmBars, ConductorNamesFollowTheView) {
  THarmBarModel m;
  m.SetVantaDisp(TVantaDisp::sdIHrmULL);
  QStringList lines;
  ASSERT_TRUE(m.CopyToClip(lines));
  ASSERT_EQ(lines.size(), 5) << "Info and four rows, no limits for interharmonics";
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("U12 (Val)")));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("U23 (Val)")));
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("U31 (Val)")));
  EXPECT_TRUE(lines[4].startsWith(QStringLiteral("N (Val)"))) << "the fourth row of L-L is the neutral's voltage";
  m.SetVantaDisp(TVantaDisp::sdHrmIL);
  EXPECT_EQ(m.FConductors[0], QStringLiteral("I1")) << "the legend draws these names";
  EXPECT_EQ(m.FConductors[3], QStringLiteral("IN"));
  // Back to the phase voltages: the names of the previous view do not linger.
  m.SetVantaDisp(TVantaDisp::sdFrqBandULE);
  lines.clear();
  ASSERT_TRUE(m.CopyToClip(lines));
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("L1 (Val)")));
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("L3 (Val)")));
  EXPECT_TRUE(lines[4].startsWith(QStringLiteral("N (Val)")));
}

TEST(HarmBars, StatisticRowsCaptionAndClearing) {
  THarmBarModel m;
  m.SetVantaDisp(TVantaDisp::sdIHrmIL);
  m.SetIHrmVal(T4Leiter::lt2, Row(50, 1.5f));
  m.SetIHrmVal95p(T4Leiter::lt2, Row(50, 0.7f));
  EXPECT_EQ(m.FHrmMaxIdx, 49);
  EXPECT_FLOAT_EQ(m.Value95p(T4Leiter::lt2, 49), 0.7f);
  m.FStatistic = true;
  QStringList lines;
  ASSERT_TRUE(m.CopyToClip(lines));
  EXPECT_TRUE(lines[4].startsWith(QStringLiteral("I2 (95%)\t0.7"))) << lines[4].toStdString();
  EXPECT_TRUE(lines[6].startsWith(QStringLiteral("I3 (95%)\t0\t0"))) << lines[6].toStdString();
  m.SetFrqBVal95p(T4Leiter::lt0, Row(35, 2.0f));
  EXPECT_EQ(m.FHrmMaxIdx, 34);
  m.SetHarmTxt(3, QStringLiteral("2700 Hz*"));
  EXPECT_EQ(m.FHrmTxt[3], QStringLiteral("2700 Hz*"));
  EXPECT_EQ(m.GetCaption(), QStringLiteral("Zwischenharmonische Strom [A]"));
  m.FTSStop = QStringLiteral("06.12.2026 10:00:00");
  EXPECT_EQ(m.GetCaption(), QStringLiteral("Zwischenharmonische Strom [A - 06.12.2026 10:00:00]"));
  m.ClearData();
  EXPECT_FLOAT_EQ(m.Value(T4Leiter::lt2, 10), 0.0f);
  EXPECT_FLOAT_EQ(m.Value95p(T4Leiter::lt0, 3), 0.0f);
  EXPECT_EQ(m.GetCaption(), QStringLiteral("Zwischenharmonische Strom [A]"));
  EXPECT_EQ(m.FHrmTxt[3], QStringLiteral("2700 Hz*")) << "labels stay";
}
