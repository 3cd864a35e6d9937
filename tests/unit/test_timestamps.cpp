#include <gtest/gtest.h>

#include "TimeStamps.h"

using namespace vanta;

TEST(TimeStamps, LinearRoundTripKeepsNanoseconds) {
  const tmStamp_t ts{1700000000u, 123456789u};
  const int64_t lin = TPQTimeProgs::TStoLinear(ts);
  EXPECT_EQ(lin, 1700000000LL * 1000000000LL + 123456789LL);
  EXPECT_EQ(TPQTimeProgs::LinearToTS(lin), ts);
}

TEST(TimeStamps, DstFlagIsNotPartOfTheFraction) {
  const tmStamp_t plain{1000u, 5u};
  const tmStamp_t flagged{1000u, 5u | CTSDstMask};
  EXPECT_EQ(TPQTimeProgs::TStoLinear(plain), TPQTimeProgs::TStoLinear(flagged));
}

TEST(TimeStamps, OutOfRangeFractionIsClampedNotCarried) {
  const tmStamp_t bad{10u, 0x3FFFFFFFu};  // > 999 999 999 ns
  EXPECT_EQ(TPQTimeProgs::TStoLinear(bad), 10LL * CNanoPerSec + CNanoPerSec - 1);
}

TEST(TimeStamps, PackedStampHasSecondsInLowWord) {
  const tmStamp_t ts{0x11223344u, 0x80000001u};
  const uint64_t packed = PackTS(ts);
  EXPECT_EQ(uint32_t(packed & 0xFFFFFFFFu), 0x11223344u);
  EXPECT_EQ(UnpackTS(packed), ts);
}

TEST(TimeZone, SignBitAndHours) {
  EXPECT_EQ(TzFieldToSeconds(2, 0), 3600);          // +1 h
  EXPECT_EQ(TzFieldToSeconds(3, 0), -3600);         // -1 h
  EXPECT_EQ(TzFieldToSeconds(10, 30), 5 * 3600 + 1800);
  EXPECT_EQ(TzFieldToSeconds(11, 30), -(5 * 3600 + 1800));
  time_set_t set;
  set.tz = 2;
  set.dstmode = 1;
  EXPECT_EQ(TimeTzFromSet(set), (time_tz_t{3600, true}));
}

TEST(TimeZone, NormaliseAddsDstHourOnlyWhenFlaggedAndObserved) {
  const time_tz_t berlin{3600, true};
  const time_tz_t noDst{3600, false};
  const tmStamp_t winter{1000000u, 7u};
  const tmStamp_t summer{1000000u, 7u | CTSDstMask};
  EXPECT_EQ(TPQTimeProgs::TSNormalizeLocal(winter, berlin).Sec, 1000000u + 3600u);
  EXPECT_EQ(TPQTimeProgs::TSNormalizeLocal(summer, berlin).Sec, 1000000u + 7200u);
  EXPECT_EQ(TPQTimeProgs::TSNormalizeLocal(summer, noDst).Sec, 1000000u + 3600u);
  EXPECT_EQ(TPQTimeProgs::TSNormalizeLocal(summer, berlin).Frac, summer.Frac) << "fraction and flag stay";
  EXPECT_EQ(TPQTimeProgs::UTCTimeShiftSoc(time_tz_t{-18000, true}, true), -14400);
}

TEST(TimeZone, NormaliseDoesNotWrapAroundZero) {
  EXPECT_EQ(TPQTimeProgs::TSNormalizeLocal({100u, 0u}, {-3600, false}).Sec, 0u);
}

TEST(TimeStamps, TextForms) {
  const int64_t lin = TPQTimeProgs::TStoLinear({1704067200u + 3723u, 45678901u});  // 2024-01-01 01:02:03.045678901
  EXPECT_EQ(TPQTimeProgs::VantaTS_to_StrMilSec(lin), QStringLiteral("01.01.2024 01:02:03.045"));
  EXPECT_EQ(TPQTimeProgs::VantaTS_to_StrNanoSec(lin), QStringLiteral("01.01.2024 01:02:03.045678901"));
  EXPECT_EQ(TPQTimeProgs::VantaTS_to_DT(lin).date(), QDate(2024, 1, 1));
}

TEST(TimeStamps, DistancesAreAbsolute) {
  EXPECT_EQ(TPQTimeProgs::NanoSecsBetween(5, 2), 3);
  EXPECT_EQ(TPQTimeProgs::NanoSecsBetween(2, 5), 3);
  EXPECT_EQ(TPQTimeProgs::MilliSecsBetween(0, 2'500'000), 2);
}

TEST(TimeStamps, DayCountStartsAt18991230) {
  EXPECT_DOUBLE_EQ(DateTimeToDays(QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC)), 0.0);
  EXPECT_DOUBLE_EQ(DateTimeToDays(QDateTime(QDate(1900, 1, 1), QTime(12, 0), Qt::UTC)), 2.5);
  EXPECT_EQ(DaysToDateTime(2.5), QDateTime(QDate(1900, 1, 1), QTime(12, 0), Qt::UTC));
}

TEST(TimeSet, SummaryText) {
  time_set_t set;
  set.tz = 2;
  set.dstmode = 1;
  set.ntpip[0] = "192.0.2.1";
  EXPECT_EQ(TimeSetToText(set), QStringLiteral("UTC+01:00, Sommerzeit: ja, NTP: 192.0.2.1"));
}
