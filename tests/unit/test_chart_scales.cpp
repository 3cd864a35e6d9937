// The chart scales: value grids and their pixel mapping, the time grid from
// milliseconds to days, labels, and the automatic range of a time chart.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <cfloat>
#include <cmath>

#include "ChartScales.h"
#include "Formatting.h"

using namespace vanta;

namespace {
TYLinNorm Axis(double lo, double hi) {
  TYLinNorm a;
  a.FSclMin = lo;
  a.FSclMax = hi;
  a.SetScaleIdx();
  return a;
}
int64_t At(const char* utc, int ms = 0) {
  return QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate).toSecsSinceEpoch() * 1000000000LL + int64_t(ms) * 1000000;
}
}  // namespace

TEST(ValueScale, GridStepsCountsAndFirstLines) {
  struct {
    double Lo, Hi, Step;
    int Count;
    double First;
  } const cases[] = {{0, 100, 10, 9, 10},  // an exact multiple: no line on the maximum
                     {0, 2, 0.5, 3, 0.5},
                     {-3.2, 6.8, 1, 9, -2},
                     {0, 79, 8, 9, 8},  // 39 lines of 2, halved twice
                     {230, 232, 0.5, 3, 230.5}};
  for (const auto& c : cases) {
    const TYLinNorm a = Axis(c.Lo, c.Hi);
    SCOPED_TRACE(testing::Message() << c.Lo << " .. " << c.Hi);
    EXPECT_DOUBLE_EQ(a.FSclDiff, c.Step);
    EXPECT_EQ(a.FSclCnt, c.Count);
    EXPECT_NEAR(a.FSclStart, c.First, 1e-9);
    EXPECT_NEAR(a.ScaleAt(a.FSclCnt - 1), c.First + c.Step * (c.Count - 1), 1e-9);
  }
  TYLinNorm flat = Axis(5, 5);
  flat.FBotLeft = 200;
  EXPECT_EQ(flat.FSclCnt, 0);
  EXPECT_EQ(flat.FSclDiff, 0);
  EXPECT_EQ(flat.YNorm(7), 200) << "no range: the bottom edge";
  TXLinNorm flatX;
  flatX.FSclMin = flatX.FSclMax = 1;
  flatX.FBotLeft = 30;
  EXPECT_EQ(flatX.YNorm(1), 0);
}

// Every grid line reads differently, on a narrow range as on a wide one.
TEST(ValueScale, GridLabelsNeverRepeat) {
  for (const auto& [lo, hi] : {std::pair{49.99, 50.01}, std::pair{229.98, 230.02}, std::pair{0.0, 0.02}, std::pair{0.0, 100.0},
                               std::pair{-0.8, 0.8}}) {
    const TYLinNorm a = Axis(lo, hi);
    QStringList labels;
    for (const double v : a.Ticks()) labels << FltToStrShrt(v, a.TickDigits());
    ASSERT_GE(labels.size(), 2) << lo << " .. " << hi;
    EXPECT_EQ(labels.removeDuplicates(), 0) << lo << " .. " << hi << ": " << labels.join(QLatin1Char(' ')).toStdString();
  }
  EXPECT_EQ(Axis(0, 100).TickDigits(), 0) << "whole steps need no decimals";
}

TEST(ValueScale, OnlyLinesWithinTheRangeAreDrawn) {
  // Symmetric around zero: the grid raster would put a line on 1, above the top.
  const TYLinNorm a = Axis(-0.8, 0.8);
  const std::vector<double> ticks = a.Ticks();
  ASSERT_FALSE(ticks.empty());
  for (const double v : ticks) {
    EXPECT_GE(v, -0.8) << v;
    EXPECT_LE(v, 0.8) << v;
  }
  EXPECT_NEAR(ticks.front(), 0.0, 1e-12);
  EXPECT_NEAR(ticks.back(), 0.5, 1e-12);
  // Lines inside the range all stay, in raster order, also on a horizontal axis.
  TXLinNorm x;
  x.FSclMin = -3.2;
  x.FSclMax = 6.8;
  x.SetScaleIdx();
  const std::vector<double> xt = x.Ticks();
  ASSERT_EQ(int(xt.size()), x.FSclCnt);
  for (int i = 0; i < x.FSclCnt; ++i) EXPECT_DOUBLE_EQ(xt[size_t(i)], x.ScaleAt(i));
  // A line that lands on the top only up to the step's rounding is still drawn.
  const TYLinNorm tenths = Axis(-0.3, 0.3);
  ASSERT_FALSE(tenths.Ticks().empty());
  EXPECT_NEAR(tenths.Ticks().back(), 0.3, 1e-6);
  EXPECT_TRUE(Axis(5, 5).Ticks().empty());
}

TEST(ValueScale, PixelsBothWaysAndClamping) {
  TYLinNorm y = Axis(0, 100);
  y.FBotLeft = 200;
  y.FXorYBer = 100;
  EXPECT_DOUBLE_EQ(y.YNorm(50), 150);
  EXPECT_DOUBLE_EQ(y.YNorm(150), 100) << "clamped to the top";
  EXPECT_DOUBLE_EQ(y.YNorm(-10), 200);
  EXPECT_DOUBLE_EQ(y.InversVal(150), 50);
  EXPECT_DOUBLE_EQ(y.InversVal(90), 110) << "the inverse does not clamp";
  TXLinNorm x;
  x.FSclMin = 0;
  x.FSclMax = 100;
  x.FBotLeft = 10;
  x.FXorYBer = 100;
  EXPECT_DOUBLE_EQ(x.YNorm(33.3), 43) << "whole pixels";
  EXPECT_DOUBLE_EQ(x.InversVal(60), 50);
  y.FBaseRec = TYBaseRec::BaseRect(QStringLiteral("u1"), QStringLiteral("ULE"), QStringLiteral("V"));
  EXPECT_EQ(y.TextAt(230.456), QStringLiteral("230.46 V"));
}

TEST(TimeScale, GridChoiceLinesAndLabels) {
  TTimeNorm t;
  t.SetSclMinMax(0, 9900000, 0, 100);
  EXPECT_EQ(t.FTimeGrid, TTimeGrid::gr1ms) << "9.9 ms";
  t.SetSclMinMax(0, 10000000, 0, 100);
  EXPECT_EQ(t.FTimeGrid, TTimeGrid::gr5ms) << "10 ms is not below ten 1 ms steps";
  t.SetSclMinMax(0, int64_t(100) * 86400 * 1000000000, 0, 100);
  EXPECT_EQ(t.FTimeGrid, TTimeGrid::gr20day);

  // 300 ms from 12:00:00.250: a 50 ms grid, lines from .300 to .550.
  const int64_t start = At("2026-12-06T12:00:00Z", 250);
  t.SetSclMinMax(start, start + 300000000, 10, 600);
  EXPECT_EQ(t.FTimeGrid, TTimeGrid::gr50ms);
  EXPECT_EQ(t.FTS_SclStart, start + 50000000);
  EXPECT_EQ(t.FSclCount, 6);
  EXPECT_EQ(t.TextAt(start), QStringLiteral("12:00:00.250"));
  EXPECT_DOUBLE_EQ(t.TmNorm(start + 150000000), 10 + 300.0);
  EXPECT_FLOAT_EQ(float(t.TmNorm(start - 1)), 10.0f) << "before the range: the left edge";
  EXPECT_FLOAT_EQ(float(t.TmNorm(start + 300000001)), 10.0f) << "after it too";
  t.SetSclMinMax(start, start + int64_t(7) * 1000000000, 0, 100);
  EXPECT_EQ(t.FTimeGrid, TTimeGrid::gr1Sec);
  EXPECT_EQ(t.TextAt(start), QStringLiteral("12:00:00"));
  EXPECT_EQ(t.ScaleAt(0), At("2026-12-06T12:00:01Z"));
  // A day: hours raster counted from midnight.
  t.SetSclMinMax(At("2026-12-06T05:30:00Z"), At("2026-12-07T05:30:00Z"), 0, 100);
  EXPECT_EQ(t.FTimeGrid, TTimeGrid::gr6Hour);
  EXPECT_EQ(t.ScaleAt(0), At("2026-12-06T06:00:00Z"));
  EXPECT_EQ(t.TextAt(t.ScaleAt(0)), QStringLiteral("06.12. 06:00"));
  // No range at all: no lines, no division by zero.
  t.SetSclMinMax(start, start, 0, 100);
  EXPECT_EQ(t.FSclCount, 0);
  EXPECT_FLOAT_EQ(float(t.TmNorm(start)), 0.0f);
}

// Weekdays in the labels are German whatever locale the process runs in
// (the command-line tool writes its reports with C).
TEST(TimeScale, WeekdayLabelsAreGermanInAnyLocale) {
  const QLocale before;
  for (const QLocale& l : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany)}) {
    SCOPED_TRACE(l.name().toStdString());
    QLocale::setDefault(l);
    TTimeNorm t;
    // Two weeks: a 48-hour raster labelled with weekday and date.
    t.SetSclMinMax(At("2025-12-01T00:00:00Z"), At("2025-12-15T00:00:00Z"), 0, 100);
    ASSERT_EQ(t.FTimeGrid, TTimeGrid::gr48Hour);
    EXPECT_EQ(t.TextAt(At("2025-12-03T00:00:00Z")), QStringLiteral("Mi 03.12.25"));
    EXPECT_EQ(t.TextAt(At("2025-12-07T00:00:00Z")), QStringLiteral("So 07.12.25"));
    // A day's raster: weekday, date and time.
    t.SetSclMinMax(At("2025-12-01T00:00:00Z"), At("2025-12-08T00:00:00Z"), 0, 100);
    ASSERT_EQ(t.FTimeGrid, TTimeGrid::gr24Hour);
    EXPECT_EQ(t.TextAt(At("2025-12-04T12:00:00Z")), QStringLiteral("Do 04.12. 12:00"));
  }
  QLocale::setDefault(before);
}

TEST(TimeScale, AutomaticRangeSkipsNaN) {
  TSeriesStore s;
  s.SetMaxRecs(8);
  s.SetCurveCount(2);
  s.Add(0, {std::nanf(""), 1.0f});
  s.Add(1, {-3.2f, std::nanf("")});
  s.Add(2, {7.4f, std::nanf("")});
  double lo = 0, hi = 0;
  ASSERT_TRUE(AutoScaleTime(s, 0, false, lo, hi));
  EXPECT_FLOAT_EQ(float(lo), -3.2f);
  EXPECT_FLOAT_EQ(float(hi), 7.4f);
  ASSERT_TRUE(AutoScaleTime(s, 0, true, lo, hi));
  EXPECT_LE(lo, -3.2);
  EXPECT_GE(hi, 7.4);
  EXPECT_LT(hi - lo, 13) << "rounded outward, not blown up";
  // A narrow curve keeps a narrow range: 49.9 .. 50.1 does not become 25 .. 100.
  EXPECT_NEAR(RoundToRange(50.1, 0.2, true), 50.1, 1e-9) << "already on the 0.02 raster";
  EXPECT_NEAR(RoundToRange(50.11, 0.2, true), 50.12, 1e-9);
  EXPECT_NEAR(RoundToRange(49.89, 0.2, false), 49.88, 1e-9);
  EXPECT_DOUBLE_EQ(RoundToRange(241, 11, true), 242);
  EXPECT_DOUBLE_EQ(RoundToRange(230, 11, false), 230);
  EXPECT_DOUBLE_EQ(RoundToRange(-3.2, 10.6, false), -4);
  TSeriesStore nan;
  nan.SetMaxRecs(2);
  nan.SetCurveCount(1);
  nan.Add(0, {std::nanf("")});
  ASSERT_TRUE(AutoScaleTime(nan, 0, false, lo, hi));
  EXPECT_EQ(lo, double(FLT_MAX));
  EXPECT_EQ(hi, double(-FLT_MAX));
  EXPECT_FALSE(AutoScaleTime(s, 2, false, lo, hi)) << "no such curve";
  // Flat curves keep a range around their value, whether it lies on the raster or not.
  for (const float flat : {2.0f, 11.0f, 0.0f, -5.0f}) {
    TSeriesStore c;
    c.SetMaxRecs(3);
    c.SetCurveCount(1);
    for (int i = 0; i < 3; ++i) c.Add(i, {flat});
    ASSERT_TRUE(AutoScaleTime(c, 0, true, lo, hi));
    EXPECT_LT(lo, flat) << flat;
    EXPECT_GT(hi, flat) << flat;
  }
}
