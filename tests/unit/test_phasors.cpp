// The vector diagram's end points and the load flow's scale.
#include <gtest/gtest.h>

#include "PhasorModel.h"

using namespace vanta;

TEST(Phasors, EndPointsCountCounterClockwiseWithYDown) {
  const QPointF c(100, 100);
  const QPointF right = TVectorModel::PhasorEnd(c, 50, 1, 0);
  EXPECT_NEAR(right.x(), 150, 1e-9);
  EXPECT_NEAR(right.y(), 100, 1e-9);
  const QPointF up = TVectorModel::PhasorEnd(c, 50, 1, 90);
  EXPECT_NEAR(up.x(), 100, 1e-9);
  EXPECT_NEAR(up.y(), 50, 1e-9) << "90 degrees points straight up";
  EXPECT_NEAR(TVectorModel::PhasorEnd(c, 50, 5, 0).x(), 200, 1e-9) << "the scale stops at 2";
  EXPECT_NEAR(TVectorModel::PhasorEnd(c, 50, -1, 0).x(), 100, 1e-9);
  TVectorModel v;
  QStringList list{QStringLiteral("old")};
  EXPECT_FALSE(v.CopyToClip(list));
  EXPECT_TRUE(list.isEmpty());
  QByteArray record(6052, '\0');
  ASSERT_TRUE(v.Feed(record, 1));
  EXPECT_EQ(v.MagAngle(TVecPointer::vpI0).Magn, 0.0f) << "never fed";
  EXPECT_FALSE(v.Feed(record, 2)) << "a generation-1 length";
}

TEST(Phasors, FullScaleIsTheReferenceUnlessFarAboveEveryPhasor) {
  TVectorModel v;
  EXPECT_DOUBLE_EQ(v.FullScale(false), 20000.0) << "nothing fed: the reference";
  v.SetMagAngle(TVecPointer::vpU2E, {230.0f, -120.0f});
  v.SetMagAngle(TVecPointer::vpI3, {12.0f, 90.0f});
  v.SetMagAngle(TVecPointer::vpI0, {5000.0f, 0.0f});  // never drawn, never scales
  EXPECT_DOUBLE_EQ(v.FullScale(false), 230.0 * 1.05);
  EXPECT_DOUBLE_EQ(v.FullScale(true), 100.0) << "12 A is within a tenth of 100 A";
  v.SetMagAngle(TVecPointer::vpI1, {9.0f, 0.0f});
  v.SetMagAngle(TVecPointer::vpI3, {9.5f, 90.0f});
  EXPECT_NEAR(v.FullScale(true), 9.5 * 1.05, 1e-6);
  v.FFixedRef = true;
  EXPECT_DOUBLE_EQ(v.FullScale(false), 20000.0);
  EXPECT_DOUBLE_EQ(v.FullScale(true), 100.0);
  v.FFixedRef = false;
  v.SetMagAngle(TVecPointer::vpU12, {20500.0f, 30.0f});
  EXPECT_DOUBLE_EQ(v.FullScale(false), 20000.0) << "a medium-voltage network: the reference, arrows up to twice its length";
}

TEST(Phasors, LoadFlowScalesOverThreePhases) {
  TLoadFlowModel lf;
  QList<float> u(51, 0.5f), i(51, 0.2f);
  u[1] = 230;
  i[1] = 11;
  lf.SetHarmUMag(T4Leiter::lt1, u);
  lf.SetHarmIMag(T4Leiter::lt2, i);
  lf.SetHarmUMag(T4Leiter::lt0, QList<float>(51, 9000.0f));  // not one of the three phases
  lf.HrmRescale();
  EXPECT_FLOAT_EQ(lf.FHrmMaxU, 500.0f);
  EXPECT_FLOAT_EQ(lf.FHrmMaxI, 20.0f);
}
