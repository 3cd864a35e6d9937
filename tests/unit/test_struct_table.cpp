// The all-values table on records built here from the structures' layouts.
#include <gtest/gtest.h>

#include <QSet>
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
void PutStamp(QByteArray& b, int offset, uint32_t sec) {
  qToLittleEndian(sec, b.data() + offset);
  qToLittleEndian(uint32_t(0), b.data() + offset + 4);
}

// Record lengths per data object as the device sends them.
int RecordLength(int obj, int g) {
  switch (obj) {
    case 0: return 1024;
    case 1: return g >= 2 ? 6264 : 6052;
    case 2: return 4096;
    case 3: return 8192;
    case 4: return g >= 2 ? 2328 : 2320;
    case 8: return (g >= 1 ? 60 : 40) + (g >= 2 ? 48 : 44);  // header and the first sample
    default: return 512;
  }
}

struct TCols {
  QStringList Titles;
  QList<int> Tags, Widths;
};
TCols Cols(const TStructTable& t) {
  TCols c;
  for (const TTableColumn& col : t.Columns()) {
    c.Titles << col.Title;
    c.Tags << col.Tag;
    c.Widths << col.Width;
  }
  return c;
}
const TStructDesc& Get(const QList<TStructDesc>& all, const char* name) {
  const TStructDesc* d = FindStruct(all, QLatin1String(name));
  if (!d) throw std::runtime_error(name);
  return *d;
}
}  // namespace

TEST(StructTable, EveryFieldLiesInsideItsRecordAndNoneOverlap) {
  for (int g = 0; g <= 2; ++g) {
    const QList<TStructDesc> all = KnownStructs(g);
    ASSERT_GE(all.size(), 16);
    for (const TStructDesc& d : all) {
      SCOPED_TRACE(d.Name.toStdString() + " generation " + std::to_string(g));
      EXPECT_EQ(d.Name, VantaStructName(d.Struct));
      EXPECT_EQ(d.Name.endsWith(QLatin1String("_V2_2")), g >= 2 && d.Name.contains(QLatin1String("_V"))) << "the generation's variant";
      QList<std::pair<int, int>> spans;
      QSet<QString> names;
      for (const TStructField& f : d.Fields) {
        EXPECT_GE(f.Offs, 12) << f.Symb.toStdString() << ": after the object id and time stamp";
        EXPECT_LE(f.Offs + StrucTypSize(f.Kind), RecordLength(d.DataObj, g)) << f.Symb.toStdString();
        EXPECT_FALSE(names.contains(f.Symb)) << f.Symb.toStdString();
        names << f.Symb;
        for (const auto& [a, b] : spans) EXPECT_TRUE(f.Offs >= b || f.Offs + StrucTypSize(f.Kind) <= a) << f.Symb.toStdString() << " overlaps";
        spans.append({f.Offs, f.Offs + StrucTypSize(f.Kind)});
      }
    }
  }
  EXPECT_EQ(FindStruct(KnownStructs(1), QStringLiteral("sstmp_t_V2_2")), nullptr) << "temperatures from generation 2";
}

TEST(StructTable, TagPacksObjectStructureAndKind) {
  const TVantaTag t{3, TVantaStruct::ssu_ext_t, TVantaStrucTyp::stTExtHarm};
  EXPECT_EQ(t.Pack(), 3 | 3 << 8 | 9 << 16);
  const TVantaTag back = TVantaTag::Unpack(t.Pack());
  EXPECT_EQ(back.VantaDataObj, 3);
  EXPECT_EQ(back.VantaStruc, TVantaStruct::ssu_ext_t);
  EXPECT_EQ(back.VantaStrucTyp, TVantaStrucTyp::stTExtHarm);
}

TEST(StructTable, ColumnsFollowStructureAndKind) {
  const QList<TStructDesc> all = KnownStructs(2);
  TStructTable t;
  t.Select(Get(all, "ssu_std_t"), TVantaStrucTyp::stSingle);
  EXPECT_EQ(Cols(t).Titles, (QStringList{QStringLiteral("Bezeichner"), QStringLiteral("Value")}));
  EXPECT_EQ(Cols(t).Widths, (QList<int>{150, 150}));
  t.Select(Get(all, "ssu_std_t"), TVantaStrucTyp::stTHrm);
  EXPECT_EQ(t.RowCount(), 51) << "orders 0 to 50";
  EXPECT_EQ(Cols(t).Titles, (QStringList{QStringLiteral("Harmonische"), QStringLiteral("hrm_u1E"), QStringLiteral("hrm_u2E"), QStringLiteral("hrm_u3E")}));
  EXPECT_EQ(Cols(t).Widths.first(), 30);
  t.Select(Get(all, "ssi_std_t_V2_2"), TVantaStrucTyp::stTPhase);
  EXPECT_EQ(t.RowCount(), 49);
  EXPECT_EQ(Cols(t).Titles.first(), QStringLiteral("Phase"));
  t.Select(Get(all, "ssu_std_t"), TVantaStrucTyp::stTIHrm);
  EXPECT_EQ(t.RowCount(), 50);
  t.Select(Get(all, "ssu_150t_t"), TVantaStrucTyp::stTHrm);
  EXPECT_EQ(Cols(t).Titles, (QStringList{QStringLiteral("Bezeichner"), QStringLiteral("Value")})) << "any kind: one row per entry";
  EXPECT_EQ(t.RowCount(), 11);
  t.Select(Get(all, "ssi_fb_t"), TVantaStrucTyp::stTFrqBand);
  EXPECT_EQ(t.RowCount(), 35);
  EXPECT_EQ(Cols(t).Titles.first(), QStringLiteral("FrqBand"));
  EXPECT_EQ(Cols(t).Titles.size(), 5);
  t.Select(Get(all, "ssu_ext_t"), TVantaStrucTyp::stTExtHarm);
  EXPECT_EQ(t.RowCount(), 49);
  EXPECT_EQ(Cols(t).Titles, (QStringList{QString(), QStringLiteral("u1E / u1N"), QStringLiteral("u2E / u2N"), QStringLiteral("u3E / u3N"),
                                        QStringLiteral("u0E / uNE"), QStringLiteral("u12"), QStringLiteral("u23"), QStringLiteral("u31")}));
  EXPECT_EQ(Cols(t).Widths.last(), 200);
  t.Select(Get(all, "ssp_ext_t"), TVantaStrucTyp::stExt_t);
  EXPECT_EQ(Cols(t).Titles, (QStringList{QString(), QStringLiteral("Time"), QStringLiteral("Value")}));
  EXPECT_EQ(Cols(t).Tags, (QList<int>{0, 1, 1}));
  t.Select(Get(all, "ssw_t"), TVantaStrucTyp::stDouble);
  EXPECT_EQ(Cols(t).Titles, (QStringList{QString(), QStringLiteral("Time")}));
  t.Select(Get(all, "ssc_10s_f"), TVantaStrucTyp::stSingle);
  EXPECT_EQ(Cols(t).Titles, (QStringList{QString(), QStringLiteral("Value")}));
  t.Select(Get(all, "ssosc_dta_t_V2_2"), TVantaStrucTyp::stSingle);
  EXPECT_EQ(t.RowCount(), 12) << "one row per channel";
}

TEST(StructTable, SinglesBandsHarmonicsAndPhasors) {
  const QList<TStructDesc> all = KnownStructs(2);
  QByteArray r4(2328, '\0');
  Put(r4, 16, 49.98f);
  Put(r4, 1332, 0.031f);                 // residual current, generation 2
  Put(r4, 192 + 140 * 4 + 4 * 3, 0.07f);  // U12, band 3
  TStructTable t;
  t.Select(Get(all, "SSU_S_T"), TVantaStrucTyp::stSingle);
  EXPECT_EQ(t.Cell(r4, 0, 0), QStringLiteral("f"));
  EXPECT_EQ(t.Cell(r4, 1, 0), QStringLiteral("49.98"));
  EXPECT_EQ(t.Cell(QByteArray(), 1, 0), QString()) << "no record yet: no values";
  t.Select(Get(all, "ssi_s_t_V2_2"), TVantaStrucTyp::stSingle);
  ASSERT_EQ(t.Entries()[8].Symb, QStringLiteral("iRCM"));
  EXPECT_EQ(t.Cell(r4, 1, 8), QStringLiteral("0.031"));
  EXPECT_EQ(Get(KnownStructs(1), "ssi_s_t_V1_0").Fields.size() + 1, Get(all, "ssi_s_t_V2_2").Fields.size()) << "no residual current before generation 2";
  t.Select(Get(all, "ssu_fb_t"), TVantaStrucTyp::stTFrqBand);
  ASSERT_EQ(t.Columns().size(), 8) << "FrqBand and seven conductors";
  EXPECT_EQ(t.Columns()[5].Title, QStringLiteral("fb_u12"));
  EXPECT_EQ(t.Cell(r4, 5, 3), QStringLiteral("0.07"));
  EXPECT_EQ(t.Cell(r4, 0, 34), QStringLiteral("8900"));

  QByteArray r1(6264, '\0');
  Put(r1, 244 + 4 * 2, 0.5f);  // U1E order 2
  Put(r1, 3712, 11.0f);        // I2 magnitude
  Put(r1, 3716, -150.0f);      // I2 angle
  t.Select(Get(all, "ssu_150t_t"), TVantaStrucTyp::stPol_t);
  EXPECT_EQ(t.Cell(r1, 0, 8), QStringLiteral("pol_i2"));
  EXPECT_EQ(t.Cell(r1, 1, 8), QStringLiteral("11 - -150°"));
  t.Select(Get(all, "ssu_150t_t"), TVantaStrucTyp::stTHrm);
  EXPECT_TRUE(t.Cell(r1, 1, 0).startsWith(QStringLiteral("0: 0; 1: 0; 2: 0.5; 3: 0"))) << t.Cell(r1, 1, 0).toStdString();
}

TEST(StructTable, StandardValuesPerOrderAndPhase) {
  const QList<TStructDesc> all = KnownStructs(0);
  QByteArray r2(4096, '\0');
  Put(r2, 2032 + 204 + 4 * 5, 1.1f);   // I2 order 5
  Put(r2, 3244 + 4 * 0, -60.0f);       // I1 phase of order 2
  Put(r2, 3244 + 196 * 2 + 4 * 48, 12.5f);  // I3 phase of order 50
  TStructTable t;
  t.Select(Get(all, "ssi_std_t_V1_0"), TVantaStrucTyp::stTHrm);
  EXPECT_EQ(t.Cell(r2, 0, 5), QStringLiteral("5"));
  EXPECT_EQ(t.Cell(r2, 2, 5), QStringLiteral("1.1"));
  t.Select(Get(all, "ssi_std_t_V1_0"), TVantaStrucTyp::stTPhase);
  EXPECT_EQ(t.Cell(r2, 0, 0), QStringLiteral("2")) << "phases start at order 2";
  EXPECT_EQ(t.Cell(r2, 1, 0), QStringLiteral("-60"));
  EXPECT_EQ(t.Cell(r2, 0, 48), QStringLiteral("50"));
  EXPECT_EQ(t.Cell(r2, 3, 48), QStringLiteral("12.5"));
  // Interharmonics lie between the orders: 0.5, 1.5, ... 49.5, as in the bar chart.
  t.Select(Get(all, "ssu_std_t"), TVantaStrucTyp::stTIHrm);
  EXPECT_EQ(t.Cell(r2, 0, 0), QStringLiteral("0.5"));
  EXPECT_EQ(t.Cell(r2, 0, 49), QStringLiteral("49.5"));
}

TEST(StructTable, ExtremesCarryTheirTimesInTheDevicesZone) {
  const QList<TStructDesc> all = KnownStructs(2);
  QByteArray r3(8192, '\0');
  const uint32_t noon = 1765022400;  // 2025-12-06 12:00:00 UTC
  Put(r3, 4400 + 12, 12.25f);          // iMax_i2
  PutStamp(r3, 4400 + 12 + 4, noon);
  const int at = 208 + ((5 - 2) * 7 + 4) * 12;  // order 5, U12
  Put(r3, at, 3.3f);
  PutStamp(r3, at + 4, noon + 61);
  TStructTable t;
  t.SetZone(time_tz_t{3600, false});
  t.Select(Get(all, "ssi_ext_t"), TVantaStrucTyp::stExt_t);
  EXPECT_EQ(t.Cell(r3, 0, 1), QStringLiteral("iMax_i2"));
  EXPECT_EQ(t.Cell(r3, 1, 1), QStringLiteral("06.12.2025 13:00:00.000"));
  EXPECT_EQ(t.Cell(r3, 2, 1), QStringLiteral("12.25"));
  EXPECT_EQ(t.Cell(r3, 1, 0), QString()) << "a value never set has no time";
  t.Select(Get(all, "ssu_ext_t"), TVantaStrucTyp::stTExtHarm);
  EXPECT_EQ(t.Cell(r3, 0, 3), QStringLiteral("5"));
  EXPECT_EQ(t.Cell(r3, 5, 3), QStringLiteral("3.3 - 06.12.2025 13:01:01.000"));
  EXPECT_EQ(t.Cell(r3, 4, 3), QStringLiteral("0"));

  QByteArray r7(512, '\0');
  PutStamp(r7, 24, noon);
  t.Select(Get(all, "ssw_t"), TVantaStrucTyp::stDouble);
  EXPECT_EQ(t.Cell(r7, 0, 1), QStringLiteral("tReset"));
  EXPECT_EQ(t.Cell(r7, 1, 1), QStringLiteral("06.12.2025 13:00:00.000"));
}

TEST(StructTable, ABaseNameFindsTheVariantOfTheDevicesGeneration) {
  const QList<TStructDesc> older = KnownStructs(1), newer = KnownStructs(2);
  const TStructDesc* a = FindStruct(older, QStringLiteral("ssi_s_t"));
  const TStructDesc* b = FindStruct(newer, QStringLiteral("SSI_S_T"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Struct, TVantaStruct::ssi_s_t_V1_0);
  EXPECT_EQ(b->Struct, TVantaStruct::ssi_s_t_V2_2);
  EXPECT_EQ(FindStruct(newer, QStringLiteral("ssi_s")), nullptr) << "a base name is a whole name, not any prefix";
  EXPECT_EQ(FindStruct(newer, QStringLiteral("ssu_s_t"))->Struct, TVantaStruct::ssu_s_t) << "exact names still win";
}


// The one-second currents hold every power value the value panel shows of
// the same record: a value read from the table and written as the panel
// writes it gives the panel's text, and the sign row gives its cos φ prefix.
TEST(StructTable, OneSecondCurrentsCarryEveryPanelPower) {
  for (int g = 1; g <= 2; ++g) {
    SCOPED_TRACE(g);
    const int p = g >= 2 ? 1896 : 1892;
    QByteArray r4(RecordLength(4, g), '\0');
    // Every float of the power block distinct, some large enough for a prefix.
    for (int i = 0; i < 56; ++i) Put(r4, p + 4 * i, float((i + 1) * 125.5 * (i % 3 == 1 ? -1 : 1)));
    for (int k = 0; k < 4; ++k) Put(r4, p + 160 + 4 * k, 0.5f + 0.125f * float(k));  // cos φ
    const float signs[] = {1.0f, -1.0f, 0.0f, 2.5f};
    for (int k = 0; k < 4; ++k) Put(r4, p + 208 + 4 * k, signs[k]);

    TStructTable t;
    t.Select(Get(KnownStructs(g), "ssi_s_t"), TVantaStrucTyp::stSingle);
    auto row = [&](const QString& name) -> QString {
      for (int i = 0; i < t.RowCount(); ++i)
        if (t.Cell(r4, 0, i) == name) return t.Cell(r4, 1, i);
      ADD_FAILURE() << "no row " << name.toStdString();
      return {};
    };
    const char* const phases[] = {"1", "2", "3", "total"};
    const char* const rows[] = {"1", "2", "3", "Sum"};
    const struct {
      const char* Panel;
      const char* Row;
      int Unit;
    } powers[] = {{"P", "p", 4}, {"Q", "q", 8}, {"S", "s", 6}, {"QV", "qv", 8}, {"D", "d", 8}, {"PF", "pf", 0}};
    const QList<TPanelText> panel = DecodePanel(r4, g);
    auto panelText = [&](const QString& field) {
      for (const TPanelText& f : panel)
        if (f.Field == field) return f.Text;
      return QString();
    };
    for (const auto& pw : powers)
      for (int k = 0; k < 4; ++k) {
        const QString field = QStringLiteral("edt%1%2").arg(QLatin1String(pw.Panel), QLatin1String(phases[k]));
        const QString cell = row(QLatin1String(pw.Row) + QLatin1String(rows[k]));
        EXPECT_EQ(ValueText(cell.toFloat(), pw.Unit).toStdString(), panelText(field).toStdString()) << field.toStdString() << " / table " << cell.toStdString();
      }
    const char* const cosFields[] = {"edtcosPHL1", "edtcosPHL2", "edtcosPHL3", "edtcosPH"};
    for (int k = 0; k < 4; ++k) {
      const float sign = row(QStringLiteral("cosPhiSign") + QLatin1String(rows[k])).toFloat();
      const QString prefix = sign < 0 ? QStringLiteral("kap.") : sign > 0 ? QStringLiteral("ind.") : QString();
      const QString value = ValueText(row(QStringLiteral("cosPhi") + QLatin1String(rows[k])).toFloat(), 0);
      EXPECT_EQ((prefix + QLatin1Char(' ') + value).toStdString(), panelText(QLatin1String(cosFields[k])).toStdString()) << cosFields[k];
    }
    EXPECT_EQ(row(QStringLiteral("cosPhiSign2")), QStringLiteral("-1")) << "capacitive";
  }
}
