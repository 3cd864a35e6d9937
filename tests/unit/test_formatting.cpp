#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "Formatting.h"

using namespace vanta;

TEST(Formatting, FltToStrShrtDropsTrailingZeros) {
  EXPECT_EQ(FltToStrShrt(1.5), QStringLiteral("1.5"));
  EXPECT_EQ(FltToStrShrt(2.0), QStringLiteral("2"));
  EXPECT_EQ(FltToStrShrt(-0.25, 3), QStringLiteral("-0.25"));
  EXPECT_EQ(FltToStrShrt(1.23456, 2), QStringLiteral("1.23"));
  EXPECT_EQ(FltToStrShrt(-0.0001, 2), QStringLiteral("0"));
  EXPECT_EQ(FltToStrShrt(std::nan("")), QStringLiteral("NaN"));
  EXPECT_EQ(FltToStrShrt(230.0, 0), QStringLiteral("230"));
}

TEST(Formatting, DecimalPowerAtBoundaries) {
  EXPECT_EQ(DecimalPower(1000.0), 3);
  EXPECT_EQ(DecimalPower(999.9), 2);
  EXPECT_EQ(DecimalPower(0.001), -3);
  EXPECT_EQ(DecimalPower(-52.0), 1);
  EXPECT_EQ(DecimalPower(0.0), 0);
}

TEST(Formatting, AutoBaseUnitPicksPrefix) {
  EXPECT_EQ(AutoBaseUnit(12345.0).Prefix, QStringLiteral("k"));
  EXPECT_DOUBLE_EQ(AutoBaseUnit(12345.0).Factor, 1000.0);
  EXPECT_EQ(AutoBaseUnit(230.0).Prefix, QString());
  EXPECT_EQ(AutoBaseUnit(0.002).Prefix, QStringLiteral("m"));
  EXPECT_EQ(AutoBaseUnit(-3.0e6).Prefix, QStringLiteral("M"));
  EXPECT_EQ(AutoBaseUnit(4.0e-6).Prefix, QStringLiteral("µ"));
  EXPECT_EQ(AutoBaseUnit(0.0).Prefix, QString());
}

TEST(Formatting, AxisRounding) {
  EXPECT_DOUBLE_EQ(RoundMaxValue(3.2), 5.0);
  EXPECT_DOUBLE_EQ(RoundMaxValue(2.1), 2.5);
  EXPECT_DOUBLE_EQ(RoundMaxValue(2.0), 2.0);
  EXPECT_DOUBLE_EQ(RoundMaxValue(240.0), 250.0);
  EXPECT_DOUBLE_EQ(RoundMaxValue(-3.2), -2.5) << "a maximum rounds towards +inf";
  EXPECT_DOUBLE_EQ(RoundMinValue(3.2), 2.5);
  EXPECT_DOUBLE_EQ(RoundMinValue(-3.2), -5.0) << "a minimum rounds towards -inf";
  EXPECT_DOUBLE_EQ(RoundMinValue(0.0), 0.0);
  EXPECT_DOUBLE_EQ(RoundUp(3.2), 5.0);
  EXPECT_DOUBLE_EQ(RoundUp(5.0), 5.0);
  EXPECT_DOUBLE_EQ(RoundUp(5.1), 10.0);
  EXPECT_DOUBLE_EQ(RoundUp(0.013), 0.02);
}

TEST(Formatting, Correct180FoldsIntoHalfOpenRange) {
  EXPECT_DOUBLE_EQ(Correct180(190.0), -170.0);
  EXPECT_DOUBLE_EQ(Correct180(-180.0), 180.0);
  EXPECT_DOUBLE_EQ(Correct180(180.0), 180.0);
  EXPECT_DOUBLE_EQ(Correct180(540.0), 180.0);
  EXPECT_DOUBLE_EQ(Correct180(-190.0), 170.0);
  EXPECT_DOUBLE_EQ(Correct180(45.0), 45.0);
}

TEST(Formatting, MilliSecToDura) {
  EXPECT_EQ(MilliSecToDura(0), QStringLiteral("00:00:00.000"));
  EXPECT_EQ(MilliSecToDura(3723004), QStringLiteral("01:02:03.004"));
  EXPECT_EQ(MilliSecToDura(86400000LL + 1000), QStringLiteral("1 d 00:00:01.000"));
  EXPECT_EQ(MilliSecToDura(-1500), QStringLiteral("-00:00:01.500"));
}

TEST(Formatting, ExtractToCharDoesNotTrim) {
  QString t = QStringLiteral(" a ; b ");
  EXPECT_EQ(ExtractToChar(t, QLatin1Char(';')), QStringLiteral(" a "));
  EXPECT_EQ(t, QStringLiteral(" b "));
  EXPECT_EQ(ExtractToChar(t, QLatin1Char(';')), QStringLiteral(" b "));
  EXPECT_TRUE(t.isEmpty());
}

TEST(Formatting, GetFileSize) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString p = dir.filePath(QStringLiteral("f.bin"));
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(1234, 'x'));
  f.close();
  EXPECT_EQ(GetFileSize(p), 1234);
  EXPECT_EQ(GetFileSize(dir.filePath(QStringLiteral("missing"))), -1);
  EXPECT_EQ(GetFileSize(dir.path()), -1) << "a folder is not a file";
}

TEST(Formatting, ParseFloatAcceptsCommaAndDot) {
  double v = 0;
  EXPECT_TRUE(ParseFloat(QStringLiteral("1,5"), v));
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_TRUE(ParseFloat(QStringLiteral(" -2.25 "), v));
  EXPECT_DOUBLE_EQ(v, -2.25);
  EXPECT_FALSE(ParseFloat(QStringLiteral("abc"), v));
  EXPECT_DOUBLE_EQ(v, -2.25) << "a failed parse leaves the value";
}
