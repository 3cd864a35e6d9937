// The simplified page's unit conversions and id remapping.
#include <gtest/gtest.h>

#include "SimplePage.h"

using namespace vanta;

namespace {
TGridRow Float(double v) {
  TGridRow r;
  r.RowTyp = TGridRowTyp::grtFloat;
  r.RowVal = v;
  return r;
}
TGridRow Int(int v) {
  TGridRow r;
  r.RowTyp = TGridRowTyp::grtInteger;
  r.RowVal = v;
  return r;
}
}  // namespace

TEST(SimplePage, IdsOfNewerFirmware) {
  EXPECT_EQ(RemapSimplePageId(0x10030059, 0), 0x10030059u) << "generation 0 keeps its ids";
  EXPECT_EQ(RemapSimplePageId(0x10030059, 1), 0x10030061u);
  EXPECT_EQ(RemapSimplePageId(0x1103005E, 2), 0x11030072u);
  EXPECT_EQ(RemapSimplePageId(0x0D000000, 1), 0x0D000000u) << "every other id stays";
}

TEST(SimplePage, CurrentTriggersInPercentOrAmpere) {
  TSimplePageContext page;
  EXPECT_EQ(GetSpecialVal(0x0F170000, Float(120), page), QStringLiteral("120"));
  EXPECT_EQ(SetSpecialVal(QStringLiteral("80"), 0x0F170000, page), QStringLiteral("80"));
  page.AmpOszi = true;
  page.NennStrom = 5;
  EXPECT_EQ(GetSpecialVal(0x0F1B0000, Float(120), page), QStringLiteral("6")) << "5 A × 120 %";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("6"), 0x0F1B0000, page), QStringLiteral("120"));
  EXPECT_EQ(GetSpecialVal(0x0F180001, Float(120), page), QStringLiteral("120")) << "not a trigger id: shown as stored";
}

TEST(SimplePage, AmpereTriggersWithoutANominalCurrentTakeNoInput) {
  TSimplePageContext page;
  page.AmpOszi = true;  // the switch alone, nominal current not entered
  EXPECT_FALSE(CanEnterSpecialVal(0x0F190000, page));
  EXPECT_EQ(SetSpecialVal(QStringLiteral("6"), 0x0F190000, page), std::nullopt) << "ampere cannot become percent without it";
  EXPECT_EQ(GetSpecialVal(0x0F190000, Float(120), page), QStringLiteral("120")) << "shown as stored meanwhile";
}

TEST(SimplePage, TimesFromSamplesAndPeriods) {
  TSimplePageContext page;
  page.SampleRate = 12800;
  EXPECT_EQ(GetSpecialVal(0x10000000, Int(1280), page), QStringLiteral("100")) << "1280 samples at 12800/s are 100 ms";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("100"), 0x10010000, page), QStringLiteral("1280"));
  page.NominalFreq = 50;
  EXPECT_EQ(GetSpecialVal(0x11000000, Int(10), page), QStringLiteral("100")) << "10 half periods at 50 Hz are 100 ms";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("100"), 0x11020000, page), QStringLiteral("10"));
}

TEST(SimplePage, TimesWithoutTheirBasisShowCheckMeAndRefuseInput) {
  TSimplePageContext page;
  EXPECT_EQ(GetSpecialVal(0x10000000, Int(100), page), QStringLiteral("Check ME")) << "no sample rate on the page";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("100"), 0x10000000, page), std::nullopt) << "never stored as 0 samples";
  EXPECT_EQ(GetSpecialVal(0x11010000, Int(10), page), QStringLiteral("Check ME")) << "no nominal frequency";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("100"), 0x11010000, page), std::nullopt);
  page.SampleRate = 0;
  page.NominalFreq = 0;
  EXPECT_FALSE(CanEnterSpecialVal(0x10020000, page)) << "a zero basis is no basis";
  EXPECT_FALSE(CanEnterSpecialVal(0x11020000, page));
  EXPECT_TRUE(CanEnterSpecialVal(0x0D010000, page));
}

TEST(SimplePage, ResidualCurrentValues) {
  TSimplePageContext page;
  EXPECT_EQ(GetSpecialVal(0x14030000, Float(0.03), page), QStringLiteral("30")) << "A shown as mA";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("30"), 0x14030000, page), QStringLiteral("0.03"));
  EXPECT_EQ(SetSpecialVal(QStringLiteral("x"), 0x14030000, page), std::nullopt) << "no number, nothing to store";
  page.BadPri = QStringLiteral("200");
  EXPECT_TRUE(HasRcmPrimary(page));
  EXPECT_EQ(GetSpecialVal(0x14040000, Float(50), page), QStringLiteral("100"));
  EXPECT_EQ(SetSpecialVal(QStringLiteral("100"), 0x140A0000, page), QStringLiteral("50"));
  EXPECT_EQ(GetSpecialVal(0x0D140000, Float(110.123456), page), QStringLiteral("110.12346")) << "limit values as they are";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("120.5"), 0x0D143000, page), QStringLiteral("120.5"));
  EXPECT_EQ(GetSpecialVal(0x01000000, Int(3), page), QStringLiteral("3"));
  EXPECT_EQ(SetSpecialVal(QStringLiteral("abc"), 0x01000000, page), QStringLiteral("abc"));
}

TEST(SimplePage, RcmThresholdsStayInPercentUntilThePrimaryIsEntered) {
  TSimplePageContext page;
  for (const QString& b : {QString(), QStringLiteral("  "), QStringLiteral("abc"), QStringLiteral("0"), QStringLiteral("-5")}) {
    page.BadPri = b;
    EXPECT_FALSE(HasRcmPrimary(page)) << b.toStdString();
    EXPECT_EQ(GetSpecialVal(0x14050000, Float(50), page), QStringLiteral("50")) << b.toStdString() << ": percent as stored";
    EXPECT_EQ(SetSpecialVal(QStringLiteral("40"), 0x14050000, page), QStringLiteral("40")) << b.toStdString();
  }
  page.BadPri = QStringLiteral("0,5");
  EXPECT_TRUE(HasRcmPrimary(page)) << "a decimal comma is a number too";
  EXPECT_EQ(GetSpecialVal(0x14040000, Float(50), page), QStringLiteral("0.25"));
}

TEST(SimplePage, ConvertedInputThatIsNoNumberIsRefused) {
  TSimplePageContext page;
  page.SampleRate = 12800;
  page.NominalFreq = 50;
  page.AmpOszi = true;
  page.NennStrom = 5;
  page.BadPri = QStringLiteral("200");
  for (uint32_t id : {0x0F170000u, 0x10000000u, 0x11010000u, 0x14030000u, 0x14040000u}) {
    ASSERT_TRUE(CanEnterSpecialVal(id, page)) << std::hex << id;
    for (const QString& typed : {QStringLiteral("x"), QString(), QStringLiteral("1.2.3")})
      EXPECT_EQ(SetSpecialVal(typed, id, page), std::nullopt) << std::hex << id << " " << typed.toStdString();
  }
  EXPECT_EQ(SetSpecialVal(QStringLiteral("7,5"), 0x0F170000, page), QStringLiteral("150")) << "a decimal comma is a number";
  EXPECT_EQ(SetSpecialVal(QStringLiteral("8"), 0x10000000, page), QStringLiteral("102"));
}
