// The calibration's own rules that need no device: reference entry, mark
// colours, channel names and the device texts' messages.
#include <gtest/gtest.h>

#include "Calib.h"

using namespace vanta;

TEST(CalibRules, ReferenceValuesTakeACommaAndRefuseText) {
  QString u, i;
  ASSERT_TRUE(ConvertReferenz(QStringLiteral("100,5"), QStringLiteral("5"), u, i));
  EXPECT_EQ(u, QStringLiteral("100.500"));
  EXPECT_EQ(i, QStringLiteral("5.000"));
  ASSERT_TRUE(ConvertReferenz(QStringLiteral(" 230.1234 "), QStringLiteral("0,0005"), u, i));
  EXPECT_EQ(u, QStringLiteral("230.123"));
  EXPECT_EQ(i, QStringLiteral("0.001"));
  EXPECT_FALSE(ConvertReferenz(QStringLiteral("1.000,5"), QStringLiteral("5"), u, i)) << "two separators";
  EXPECT_FALSE(ConvertReferenz(QStringLiteral("100"), QStringLiteral(""), u, i));
  EXPECT_FALSE(ConvertReferenz(QStringLiteral("1e"), QStringLiteral("5"), u, i));
}

TEST(CalibRules, MarksAndChannels) {
  EXPECT_EQ(CalibMarkColour(0), 0xFFE0E0E0u);
  EXPECT_EQ(CalibMarkColour(1), 0xFFFFFF00u);
  EXPECT_EQ(CalibMarkColour(2), 0xFF32CD32u);
  EXPECT_EQ(CalibMarkColour(7), 0xFFFF0000u);
  EXPECT_EQ(CalibChannelName(0), QStringLiteral("U1"));
  EXPECT_EQ(CalibChannelName(4), QStringLiteral("I1"));
  EXPECT_EQ(CalibChannelName(15), QStringLiteral("I4"));
  EXPECT_EQ(CCalibReportKeys.size(), 25u);
  EXPECT_STREQ(CCalibReportKeys[7], "AitHum");
}

TEST(CalibRules, DeviceTextsKeepTheirMessagesVerbatim) {
  EXPECT_STREQ(CCalibStatusTexts.front().Message, "Kaliebrierung noch nicht gestartet");
  EXPECT_STREQ(CCalibStatusTexts[3].Message, "Amplitudenberechsverletzung");
  EXPECT_STREQ(CCalibStatusTexts[8].Device, "Device or resource busy");
  EXPECT_STREQ(CCalibStatusTexts.back().Message, "Timeout, Kalibrierung fehlgeschlagen");
}
