// The all-values table on records built here from the structures' layouts.
#include <gtest/gtest.h>

#include <QtEndian>
#include <cstring>

#include "StructTable.h"

using namespace vanta;

namespace {
void Put(QByteArray& b, int offset, float v) {
  uint32_t bits = 0;
  std::memcpy(&bits, &v, 4);
  qToLittleEndian(bits, b.data() + offset);
}
}  // namespace

TEST(StructTable, SinglesBandsHarmonicsAndPhasors) {
  const QList<TStructDesc> all = KnownStructs(2);
  const TStructDesc* s = FindStruct(all, QStringLiteral("SSU_S_T"));
  ASSERT_NE(s, nullptr);
  QByteArray r4(2328, '\0');
  Put(r4, 16, 49.98f);
  Put(r4, 1332, 0.031f);                 // residual current, generation 2
  Put(r4, 192 + 140 * 4 + 4 * 3, 0.07f);  // U12, band 3
  TStructTable t;
  t.Select(*s, TVantaStrucTyp::stSingle);
  ASSERT_EQ(t.Columns().size(), 2);
  EXPECT_EQ(t.Columns()[1].Title, QStringLiteral("Value"));
  EXPECT_EQ(t.Cell(r4, 0, 0), QStringLiteral("f"));
  EXPECT_EQ(t.Cell(r4, 1, 0), QStringLiteral("49.98"));
  EXPECT_EQ(t.Cell(QByteArray(), 1, 0), QString()) << "no record yet: no values";
  int ircm = -1;
  for (int i = 0; i < t.Entries().size(); ++i)
    if (t.Entries()[i].Symb == QLatin1String("iRCM")) ircm = i;
  ASSERT_GE(ircm, 0);
  EXPECT_EQ(t.Cell(r4, 1, ircm), QStringLiteral("0.031"));
  t.Select(*s, TVantaStrucTyp::stTFrqBand);
  EXPECT_EQ(t.RowCount(), 35);
  ASSERT_EQ(t.Columns().size(), 12) << "FrqBand and eleven conductors";
  EXPECT_EQ(t.Columns()[5].Title, QStringLiteral("fb_u12"));
  EXPECT_EQ(t.Cell(r4, 5, 3), QStringLiteral("0.07"));
  EXPECT_EQ(t.Cell(r4, 0, 34), QStringLiteral("8900"));

  const TStructDesc* h = FindStruct(all, QStringLiteral("ssu_150t_t"));
  ASSERT_NE(h, nullptr);
  QByteArray r1(6264, '\0');
  Put(r1, 1860 + 4 * 5, 2.5f);   // U12 order 5
  Put(r1, 3712, 11.0f);          // I2 magnitude
  Put(r1, 3716, -150.0f);        // I2 angle
  t.Select(*h, TVantaStrucTyp::stTHrm);
  EXPECT_EQ(t.RowCount(), 51) << "orders 0 to 50";
  ASSERT_EQ(t.Columns().size(), 12);
  EXPECT_EQ(t.Columns()[0].Title, QStringLiteral("Harmonische"));
  EXPECT_EQ(t.Cell(r1, 5, 5), QStringLiteral("2.5"));
  t.Select(*h, TVantaStrucTyp::stPol_t);
  EXPECT_EQ(t.Columns()[1].Title, QStringLiteral("Betrag"));
  EXPECT_EQ(t.Cell(r1, 0, 8), QStringLiteral("pol_i2"));
  EXPECT_EQ(t.Cell(r1, 1, 8), QStringLiteral("11"));
  EXPECT_EQ(t.Cell(r1, 2, 8), QStringLiteral("-150"));
  t.Select(*h, TVantaStrucTyp::stTIHrm);
  EXPECT_EQ(t.RowCount(), 50);
  EXPECT_EQ(FindStruct(KnownStructs(1), QStringLiteral("ssu_s_t"))->Fields.size() + 1, s->Fields.size()) << "no residual current before generation 2";
}
