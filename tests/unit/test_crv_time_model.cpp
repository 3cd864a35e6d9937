// The time-curve chart's decisions without a window: the record window,
// curves and stacking, zoom and marker rules, the clipboard text.
#include <gtest/gtest.h>

#include "CrvTimeModel.h"
#include "LiveRecords.h"

using namespace vanta;

namespace {
// The twelve oscilloscope channels as the live view hands them over.
void OscCurves(TCrvTimeModel& m) {
  m.SetCrvCnt(12);
  for (int i = 0; i < 12; ++i) {
    const TOscChannel& c = COscChannels[size_t(i)];
    m.SetBaseRec(i, TYBaseRec::BaseRect(QLatin1String(c.Symbol), QLatin1String(c.Group), c.Volt ? QStringLiteral("V") : QStringLiteral("A")));
  }
}
// n records one apart, shown at pixel columns 10 * i.
void Records(TCrvTimeModel& m, int n) {
  for (int i = 0; i < n; ++i) m.NewValues(1000 * i, {float(i), float(-i)});
  m.ResetZoom();
  for (int i = 0; i < n; ++i) m.SetColumn(i, 10.0 * i);
}
}  // namespace

TEST(CrvTimeModel, RecordWindowAndCurves) {
  TCrvTimeModel m;
  m.SetCrvCnt(2);
  EXPECT_EQ(m.Curve(0).FSclMin, -50.0);
  EXPECT_EQ(m.Curve(1).FSclMax, 100.0);
  EXPECT_EQ(m.GetLnColor(0), 0xFF0000FFu);
  EXPECT_EQ(m.MaxRecs(), 1000);
  for (int i = 0; i < 1001; ++i) m.NewValues(i, {float(i), 0});
  EXPECT_EQ(m.GetMessCnt(), 1000) << "exactly the oldest dropped";
  EXPECT_EQ(m.Store().Time(0), 1);
  m.ResetZoom();
  EXPECT_EQ(m.ZoomIdx2(), 999);
  EXPECT_EQ(m.GetCaption(), QStringLiteral("00:00:00.000")) << "999 ns shown";
  m.AutoScaleAll();
  EXPECT_LE(m.Curve(0).FSclMin, 1.0);
  EXPECT_GE(m.Curve(0).FSclMax, 1000.0);
  m.ClearData();
  EXPECT_EQ(m.GetMessCnt(), 0);
  EXPECT_EQ(m.ZoomIdx2(), -1) << "no records: an empty zoom";
}

TEST(CrvTimeModel, StackModesAndRegions) {
  TCrvTimeModel m;
  OscCurves(m);
  EXPECT_EQ(m.GroupList(), (QStringList{"ULE=V", "ULL=V", "IL=A"}));
  m.SetStack(1);
  ASSERT_EQ(m.SubRegionNumber(), 3) << "voltages to earth, line to line, currents";
  EXPECT_EQ(m.SubRegionSet(2), (QList<int>{7, 8, 9, 10, 11}));
  EXPECT_EQ(m.SubRegionSym(1), QStringLiteral("ULL"));
  EXPECT_EQ(m.SubRegionUnt(2), QStringLiteral("A"));
  m.SetStack(2);
  EXPECT_EQ(m.SubRegionNumber(), 12);
  EXPECT_EQ(m.SubRegionSym(3), QStringLiteral("uN"));
  m.SetStack(0);
  EXPECT_EQ(m.SubRegionNumber(), 1);
  EXPECT_EQ(m.SubRegionSet(0).size(), 12);
  EXPECT_EQ(m.SubRegionSym(0), QStringLiteral("ALL"));
  EXPECT_EQ(m.SubRegionUnt(0), QStringLiteral("%"));
  // Group lines that differ only in case are one region.
  TCrvTimeModel c;
  c.SetCrvCnt(2);
  c.SetBaseRec(0, TYBaseRec::BaseRect(QStringLiteral("a"), QStringLiteral("ULE"), QStringLiteral("V")));
  c.SetBaseRec(1, TYBaseRec::BaseRect(QStringLiteral("b"), QStringLiteral("ule"), QStringLiteral("v")));
  c.SetStack(1);
  ASSERT_EQ(c.SubRegionNumber(), 1);
  EXPECT_EQ(c.SubRegionSet(0), (QList<int>{0, 1}));
}

// Every curve reads right against the axis its region draws: currents of
// very different size share one range, and "ALL [%]" is numbered in percent.
TEST(CrvTimeModel, RegionAxesHoldEveryCurveOfTheirRegion) {
  TCrvTimeModel m;
  OscCurves(m);
  m.SetRange(7, -20, 20);     // I1
  m.SetRange(8, -18, 18);     // I2
  m.SetRange(9, -15, 15);     // I3
  m.SetRange(10, 0, 1.5);     // IN
  m.SetRange(11, -0.05, 0.03);  // IR
  m.SetStack(1);
  EXPECT_EQ(m.SubRegionRange(2), std::make_pair(-20.0, 20.0)) << "the union of the currents' ranges";
  EXPECT_EQ(m.RegionValue(10, 1.5), 1.5) << "IN at 1.5 A is drawn at 1.5 on the region's ampere axis";
  m.SetStack(2);
  EXPECT_EQ(m.SubRegionRange(11), std::make_pair(-0.05, 0.03)) << "one curve per region: its own range";
  m.SetStack(0);
  EXPECT_EQ(m.SubRegionRange(0), std::make_pair(0.0, 100.0));
  EXPECT_DOUBLE_EQ(m.RegionValue(7, -20), 0.0);
  EXPECT_DOUBLE_EQ(m.RegionValue(7, 20), 100.0);
  EXPECT_DOUBLE_EQ(m.RegionValue(10, 0.75), 50.0) << "each curve as a share of its own range";
  EXPECT_DOUBLE_EQ(m.RegionValue(11, -0.01), 50.0);
  m.SetRange(3, 5, 5);  // a curve without a span sits in the middle rather than dividing by zero
  EXPECT_DOUBLE_EQ(m.RegionValue(3, 5), 50.0);
}

TEST(CrvTimeModel, ZoomDragRules) {
  TCrvTimeModel m;
  m.SetCrvCnt(2);
  Records(m, 30);
  EXPECT_FALSE(m.ZoomDrag(15, 35, 20)) << "20 pixels: neither zoom nor reset";
  EXPECT_FALSE(m.ZoomDrag(15, 35, 19));
  EXPECT_TRUE(m.ZoomDrag(15, 100, 85));
  EXPECT_EQ(m.ZoomIdx1(), 2) << "first record right of the start";
  EXPECT_EQ(m.ZoomIdx2(), 9) << "last record left of the end";
  EXPECT_EQ(m.ZoomTS1(), 2000);
  m.ZoomDrag(15, 60, 45);  // would leave 3..5: fewer than five
  EXPECT_EQ(m.ZoomIdx1(), 2);
  EXPECT_EQ(m.ZoomIdx2(), 9);
  EXPECT_TRUE(m.ZoomDrag(100, 50, 50)) << "to the left: reset";
  EXPECT_EQ(m.ZoomIdx1(), 0);
  EXPECT_EQ(m.ZoomIdx2(), 29);
  TCrvTimeModel few;
  few.SetCrvCnt(1);
  Records(few, 2);
  EXPECT_FALSE(few.ZoomDrag(0, 100, 100)) << "fewer than three records";
}

TEST(CrvTimeModel, MarkersAndClipboard) {
  TCrvTimeModel m;
  m.SetCrvCnt(2);
  m.SetBaseRec(0, TYBaseRec::BaseRect(QStringLiteral("u1"), QStringLiteral("ULE"), QStringLiteral("V")));
  m.SetBaseRec(1, TYBaseRec::BaseRect(QStringLiteral("i1"), QStringLiteral("IL"), QStringLiteral("A")));
  QStringList empty;
  EXPECT_TRUE(m.CopyToClip(empty));
  EXPECT_EQ(empty, QStringList{QStringLiteral("TIME\tu1 [V]\ti1 [A]")});
  Records(m, 10);
  EXPECT_EQ(m.SetMarker(0, 35), 4) << "M1: first record right of x";
  EXPECT_EQ(m.SetMarker(1, 35), 3) << "M2: last record left of x";
  EXPECT_EQ(m.MarkTS(0), 4000);
  EXPECT_EQ(m.SetMarker(0, 1000), 0) << "none right of x: clamped to the first";
  EXPECT_EQ(m.CurveNames(), (QStringList{"u1 [V]", "i1 [A]"}));
  QStringList lines;
  ASSERT_TRUE(m.CopyToClip(lines));
  ASSERT_EQ(lines.size(), 11);
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" 00:00:00.000000\t0\t0"))) << lines[1].toStdString();
  EXPECT_TRUE(lines[10].contains(QStringLiteral("00:00:00.000009\t9\t-9"))) << "microseconds of 9000 ns";
  m.SetCrvCnt(2);
  EXPECT_EQ(m.MarkIdx(0), -1) << "markers last until the curves are set again";
}
