#include <gtest/gtest.h>

#include "VantaFW.h"

using namespace vanta;

TEST(VantaFW, WordsUpToTheLegacyLimitAreOldFirmware) {
  const TVantaFW old(13685);
  EXPECT_TRUE(old.IsLegacy());
  EXPECT_EQ(old.Gen, 0);
  EXPECT_EQ(old.VerAsStr(), QStringLiteral("1.0.0 (Build 13685)"));
  EXPECT_FALSE(TVantaFW(13686).IsLegacy());
}

TEST(VantaFW, StructuredWordYieldsGenerationAndVersion) {
  const TVantaFW fw(TVantaFW::MakeRaw(2, 2, 10, 0));
  EXPECT_EQ(fw.Gen, 2);
  EXPECT_EQ(fw.Version, 0x020A0000u);
  EXPECT_EQ(fw.VerAsStr(), QStringLiteral("2.10.0"));
  EXPECT_TRUE(fw.IsAtLeastVer(2, 10, 0));
  EXPECT_TRUE(fw.IsAtLeastVer(2, 9, 255));
  EXPECT_FALSE(fw.IsAtLeastVer(2, 10, 1));
  EXPECT_FALSE(fw.IsAtLeastVer(3, 0, 0));
  EXPECT_GE(fw.Version, 0x02010200u);
}

TEST(VantaFW, VersionNumberComparesAgainstRawThresholds) {
  EXPECT_LT(TVantaFW(TVantaFW::MakeRaw(1, 2, 1, 1)).Version, 0x02010200u);
  EXPECT_EQ(TVantaFW(TVantaFW::MakeRaw(1, 2, 1, 2)).Version, 0x02010200u);
}

TEST(VantaFW, SetRawRecomputes) {
  TVantaFW fw;
  fw.SetRaw(TVantaFW::MakeRaw(1, 3, 4, 5));
  EXPECT_EQ(fw.Gen, 1);
  EXPECT_EQ(fw.VerAsStr(), QStringLiteral("3.4.5"));
  fw.SetRaw(100);
  EXPECT_EQ(fw.Gen, 0);
  EXPECT_TRUE(fw.IsLegacy());
}

TEST(VantaFW, ParseVersionText) {
  int a = 0, b = 0, c = 0;
  EXPECT_TRUE(TVantaFW::ParseVersionText(QStringLiteral(" 2.10.0 "), a, b, c));
  EXPECT_EQ(a * 10000 + b * 100 + c, 21000);
  EXPECT_FALSE(TVantaFW::ParseVersionText(QStringLiteral("2.10"), a, b, c));
  EXPECT_FALSE(TVantaFW::ParseVersionText(QStringLiteral("2.x.0"), a, b, c));
  EXPECT_FALSE(TVantaFW::ParseVersionText(QStringLiteral("2.256.0"), a, b, c));
}
