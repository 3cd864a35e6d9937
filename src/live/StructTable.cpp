#include "StructTable.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace vanta {

namespace {
float F32(const QByteArray& b, qsizetype at) {
  if (at < 0 || at + 4 > b.size()) return 0.0f;
  const uint32_t bits = qFromLittleEndian<uint32_t>(b.constData() + at);
  float f = 0;
  std::memcpy(&f, &bits, 4);
  return f;
}
uint32_t U32(const QByteArray& b, qsizetype at) {
  return at < 0 || at + 4 > b.size() ? 0u : qFromLittleEndian<uint32_t>(b.constData() + at);
}
QString Num(double v) {
  // "0.###": up to three decimals, no trailing zeros.
  QString s = QString::number(v, 'f', 3);
  if (s.contains(QLatin1Char('.'))) {
    while (s.endsWith(QLatin1Char('0'))) s.chop(1);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
  }
  return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

const char* const CVolt7[] = {"u1E", "u2E", "u3E", "uNE", "u12", "u23", "u31"};
const char* const CCur4[] = {"i1", "i2", "i3", "iN"};
const char* const CPhase4[] = {"1", "2", "3", "Sum"};

// Builds one structure's field list in declaration order.
class TBuild {
 public:
  TBuild(TVantaStruct s, uint8_t obj) : FDesc{s, VantaStructName(s), obj, {}} {}
  TBuild& Add(const QString& name, TVantaStrucTyp kind, int offs) {
    // Arrays hold floats, the harmonic maxima values with their times.
    const bool array = kind >= TVantaStrucTyp::stTPhase;
    const int count = array ? StrucTypSize(kind) / (kind == TVantaStrucTyp::stTExtHarm ? 12 : 4) : 1;
    FDesc.Fields.append({name, kind, offs, count});
    return *this;
  }
  // One field per name, `step` bytes apart: prefix + name.
  template <size_t N>
  TBuild& Run(const char* prefix, const char* const (&names)[N], int count, TVantaStrucTyp kind, int offs, int step) {
    for (int k = 0; k < count && k < int(N); ++k) Add(QLatin1String(prefix) + QLatin1String(names[k]), kind, offs + step * k);
    return *this;
  }
  TStructDesc Done() { return FDesc; }

 private:
  TStructDesc FDesc;
};

using K = TVantaStrucTyp;
using S = TVantaStruct;
}  // namespace

QString VantaStructName(TVantaStruct s) {
  static const char* const CNames[] = {"ssc_10t_t_V1_0", "ssc_10t_t_V2_2", "ssu_std_t", "ssu_ext_t", "ssu_stat_t", "ssu_10t_t",
                                       "ssu_150t_t", "ssu_2h_t", "ssu_s_t", "ssu_fb_t", "ssi_std_t_V1_0", "ssi_std_t_V2_2",
                                       "ssi_ext_t", "ssi_s_t_V1_0", "ssi_s_t_V2_2", "ssi_fb_t", "ssp_std_t", "ssp_ext_t", "ssw_t",
                                       "sstmp_t_V2_2", "ssosc_dta_t_V1_0", "ssosc_dta_t_V2_2", "ssosc_t", "sshp_dta_t", "sshp_t",
                                       "ssc_10s_f", "ssc_osc_dta_t"};
  const int i = int(s);
  return i < int(std::size(CNames)) ? QLatin1String(CNames[i]) : QString();
}

QString StrucTypName(TVantaStrucTyp t) {
  static const char* const CNames[] = {"stSingle", "stDouble", "stExt_t", "stPol_t", "stCmpx_t", "stTPhase", "stTHrm", "stTIHrm", "stTFrqBand", "stTExtHarm"};
  const int i = int(t);
  return i < int(std::size(CNames)) ? QLatin1String(CNames[i]) : QString();
}

int StrucTypSize(TVantaStrucTyp t) {
  switch (t) {
    case K::stSingle: return 4;
    case K::stDouble: return 8;
    case K::stExt_t: return 12;
    case K::stPol_t:
    case K::stCmpx_t: return 8;
    case K::stTPhase: return 49 * 4;
    case K::stTHrm: return 51 * 4;
    case K::stTIHrm: return 50 * 4;
    case K::stTFrqBand: return 35 * 4;
    case K::stTExtHarm: return 49 * 7 * 12;
  }
  return 0;
}

QList<TStructDesc> KnownStructs(int g) {
  const bool v22 = g >= 2;
  QList<TStructDesc> all;

  // Data object 0: 10/12-cycle values.
  TBuild c10(v22 ? S::ssc_10t_t_V2_2 : S::ssc_10t_t_V1_0, 0);
  c10.Add(QStringLiteral("f"), K::stSingle, 16).Run("", CVolt7, 7, K::stSingle, 20, 4).Run("", CCur4, 4, K::stSingle, 48, 4);
  if (v22) c10.Add(QStringLiteral("iRCM"), K::stSingle, 64);
  all << c10.Done();
  all << TBuild(S::ssu_10t_t, 0)
             .Run("uMin_", CVolt7, 3, K::stSingle, 100, 4)
             .Run("uMax_", CVolt7, 3, K::stSingle, 112, 4)
             .Add(QStringLiteral("pol_u1E"), K::stPol_t, 124)
             .Add(QStringLiteral("hrm_u1E"), K::stTHrm, 132)
             .Done();
  all << TBuild(S::ssc_10s_f, 0)
             .Add(QStringLiteral("f10s"), K::stSingle, 400)
             .Add(QStringLiteral("f10sMin"), K::stSingle, 404)
             .Add(QStringLiteral("f10sMax"), K::stSingle, 408)
             .Done();

  // Data object 1: 150-cycle values (harmonics and phasors).
  TBuild h(S::ssu_150t_t, 1);
  h.Run("pol_", CVolt7, 7, K::stPol_t, 52, 8);
  static const int CBlocks[] = {244, 648, 1052, 1456, 1860, 2264, 2668};
  for (int k = 0; k < 7; ++k)
    h.Add(QStringLiteral("hrm_%1").arg(QLatin1String(CVolt7[k])), K::stTHrm, CBlocks[k])
        .Add(QStringLiteral("ihrm_%1").arg(QLatin1String(CVolt7[k])), K::stTIHrm, CBlocks[k] + 204);
  h.Run("pol_", CCur4, 3, K::stPol_t, 3704, 8);
  for (int k = 0; k < 4; ++k)
    h.Add(QStringLiteral("hrm_%1").arg(QLatin1String(CCur4[k])), K::stTHrm, 3848 + 404 * k)
        .Add(QStringLiteral("ihrm_%1").arg(QLatin1String(CCur4[k])), K::stTIHrm, 3848 + 404 * k + 204);
  all << h.Done();

  // Data object 2: standard interval values.
  all << TBuild(S::ssu_std_t, 2)
             .Add(QStringLiteral("f"), K::stSingle, 16)
             .Run("", CVolt7, 7, K::stSingle, 20, 4)
             .Run("thd_", CVolt7, 7, K::stSingle, 48, 4)
             .Add(QStringLiteral("uUnbal"), K::stSingle, 76)
             .Run("hrm_", CVolt7, 3, K::stTHrm, 100, 204)
             .Run("ihrm_", CVolt7, 3, K::stTIHrm, 712, 200)
             .Run("hph_", CVolt7, 3, K::stTPhase, 1312, 196)
             .Run("pol_", CVolt7, 3, K::stPol_t, 1900, 8)
             .Done();
  TBuild istd(v22 ? S::ssi_std_t_V2_2 : S::ssi_std_t_V1_0, 2);
  istd.Run("", CCur4, 4, K::stSingle, 2000, 4)
      .Run("thd_", CCur4, 4, K::stSingle, 2016, 4)
      .Run("hrm_", CCur4, 3, K::stTHrm, 2032, 204)
      .Run("ihrm_", CCur4, 3, K::stTIHrm, 2644, 200)
      .Run("hph_", CCur4, 3, K::stTPhase, 3244, 196)
      .Run("pol_", CCur4, 3, K::stPol_t, 3832, 8);
  if (v22) istd.Add(QStringLiteral("iRCM"), K::stSingle, 3856);
  all << istd.Done();
  all << TBuild(S::ssp_std_t, 2)
             .Run("p", CPhase4, 4, K::stSingle, 3900, 4)
             .Run("q", CPhase4, 4, K::stSingle, 3916, 4)
             .Run("s", CPhase4, 4, K::stSingle, 3932, 4)
             .Run("pf", CPhase4, 4, K::stSingle, 3948, 4)
             .Run("cosPhi", CPhase4, 4, K::stSingle, 3964, 4)
             .Done();
  if (v22) {
    static const char* const CTemps[] = {"tInt", "tExt1", "tExt2"};
    all << TBuild(S::sstmp_t_V2_2, 2).Run("", CTemps, 3, K::stSingle, 4000, 4).Done();
  }
  all << TBuild(S::ssu_stat_t, 2)
             .Run("u95_", CVolt7, 3, K::stSingle, 4020, 4)
             .Add(QStringLiteral("f95Min"), K::stSingle, 4032)
             .Add(QStringLiteral("f95Max"), K::stSingle, 4036)
             .Done();

  // Data object 3: extreme values with their times.
  all << TBuild(S::ssu_ext_t, 3)
             .Run("uMax_", CVolt7, 7, K::stExt_t, 16, 12)
             .Run("uMin_", CVolt7, 7, K::stExt_t, 100, 12)
             .Add(QStringLiteral("fMax"), K::stExt_t, 184)
             .Add(QStringLiteral("fMin"), K::stExt_t, 196)
             .Add(QStringLiteral("hrmMax"), K::stTExtHarm, 208)
             .Done();
  all << TBuild(S::ssi_ext_t, 3).Run("iMax_", CCur4, 4, K::stExt_t, 4400, 12).Done();
  all << TBuild(S::ssp_ext_t, 3).Run("pMax", CPhase4, 4, K::stExt_t, 4500, 12).Run("sMax", CPhase4, 4, K::stExt_t, 4548, 12).Done();

  // Data object 4: one-second values (the panel) and the 2-9 kHz bands.
  all << TBuild(S::ssu_s_t, 4)
             .Add(QStringLiteral("f"), K::stSingle, 16)
             .Run("", CVolt7, 7, K::stSingle, 20, 4)
             .Add(QStringLiteral("phi1"), K::stSingle, 52)
             .Add(QStringLiteral("phi2"), K::stSingle, 60)
             .Add(QStringLiteral("phi3"), K::stSingle, 68)
             .Add(QStringLiteral("uUnbal"), K::stSingle, 128)
             .Run("thd_", CVolt7, 7, K::stSingle, 136, 4)
             .Done();
  all << TBuild(S::ssu_fb_t, 4).Run("fb_", CVolt7, 7, K::stTFrqBand, 192, 140).Done();
  TBuild is(v22 ? S::ssi_s_t_V2_2 : S::ssi_s_t_V1_0, 4);
  is.Run("", CCur4, 4, K::stSingle, 1172, 4).Run("thd_", CCur4, 4, K::stSingle, 1252, 4);
  if (v22) is.Add(QStringLiteral("iRCM"), K::stSingle, 1332);
  // The power block: everything the value panel shows of it, so the table
  // and the panel agree on one record. The fundamental reactive powers and
  // the power factors do not lie next to each other: other values of the
  // phase sit between them.
  const int p = v22 ? 1896 : 1892;
  is.Run("p", CPhase4, 4, K::stSingle, p, 12).Run("q", CPhase4, 4, K::stSingle, p + 4, 12).Run("s", CPhase4, 4, K::stSingle, p + 8, 12);
  is.Run("qv", CPhase4, 4, K::stSingle, p + 52, 16)
      .Run("d", CPhase4, 4, K::stSingle, p + 112, 4)
      .Run("pf", CPhase4, 4, K::stSingle, p + 128, 8)
      .Run("cosPhi", CPhase4, 4, K::stSingle, p + 160, 4)
      // Below 0 capacitive ("kap."), above 0 inductive ("ind."), 0 neither.
      .Run("cosPhiSign", CPhase4, 4, K::stSingle, p + 208, 4);
  all << is.Done();
  all << TBuild(S::ssi_fb_t, 4).Run("fb_", CCur4, 4, K::stTFrqBand, v22 ? 1336 : 1332, 140).Done();

  // Data object 5: flicker.
  all << TBuild(S::ssu_2h_t, 5).Run("pst_", CVolt7, 3, K::stSingle, 16, 4).Run("plt_", CVolt7, 3, K::stSingle, 28, 4).Done();

  // Data object 7: energy counting (its times).
  static const char* const CTimes[] = {"tStart", "tReset", "tSync"};
  all << TBuild(S::ssw_t, 7).Run("", CTimes, 3, K::stDouble, 16, 8).Done();

  // Data object 8: the oscilloscope record's first sample, one value per channel.
  static const char* const CChannels[] = {"u1", "u2", "u3", "uN", "u12", "u23", "u31", "i1", "i2", "i3", "iN", "iR"};
  const int head = g >= 1 ? 60 : 40;
  all << TBuild(v22 ? S::ssosc_dta_t_V2_2 : S::ssosc_dta_t_V1_0, 8).Run("", CChannels, v22 ? 12 : 11, K::stSingle, head, 4).Done();

  std::stable_sort(all.begin(), all.end(), [](const TStructDesc& a, const TStructDesc& b) { return a.Struct < b.Struct; });
  return all;
}

const TStructDesc* FindStruct(const QList<TStructDesc>& all, const QString& name) {
  for (const TStructDesc& d : all)
    if (d.Name.compare(name, Qt::CaseInsensitive) == 0) return &d;
  // The base name ("ssi_s_t") stands for the device's own variant: a list
  // built for one firmware generation holds only one of them.
  for (const TStructDesc& d : all)
    if (d.Name.startsWith(name + QStringLiteral("_V"), Qt::CaseInsensitive)) return &d;
  return nullptr;
}

const TStructDesc* FindStruct(const QList<TStructDesc>& all, TVantaStruct s) {
  for (const TStructDesc& d : all)
    if (d.Struct == s) return &d;
  return nullptr;
}

void TStructTable::Select(const TStructDesc& desc, TVantaStrucTyp kind) {
  FKind = kind;
  FGridLst.clear();
  for (const TStructField& f : desc.Fields)
    if (f.Kind == kind) FGridLst << f;
  FColumns.clear();
  auto perEntry = [this](int width) {
    for (const TStructField& f : FGridLst) FColumns << TTableColumn{f.Symb, 1, width};
  };
  switch (desc.Struct) {
    case S::ssu_10t_t:
    case S::ssu_150t_t:
      FLayout = TLayout::lyEntries;
      break;
    case S::ssu_fb_t:
    case S::ssi_fb_t:
      FLayout = TLayout::lyPerOrder;
      FColumns << TTableColumn{QStringLiteral("FrqBand"), 0, 30};
      perEntry(150);
      return;
    case S::ssu_ext_t:
    case S::ssi_ext_t:
    case S::ssp_ext_t:
      if (desc.Struct == S::ssu_ext_t && kind == K::stTExtHarm) {
        FLayout = TLayout::lyExtHarm;
        FColumns << TTableColumn{QString(), 0, 150};
        for (const char* t : {"u1E / u1N", "u2E / u2N", "u3E / u3N", "u0E / uNE", "u12", "u23", "u31"})
          FColumns << TTableColumn{QLatin1String(t), 1, 200};
        return;
      }
      FLayout = TLayout::lyTimeValue;
      FColumns << TTableColumn{QString(), 0, 150} << TTableColumn{QStringLiteral("Time"), 1, 150} << TTableColumn{QStringLiteral("Value"), 1, 150};
      return;
    case S::ssw_t:
      FLayout = TLayout::lyTime;
      FColumns << TTableColumn{QString(), 0, 150} << TTableColumn{QStringLiteral("Time"), 1, 150};
      return;
    case S::ssc_10s_f:
    case S::ssosc_dta_t_V1_0:
    case S::ssosc_dta_t_V2_2:
      FLayout = TLayout::lyValue;
      FColumns << TTableColumn{QString(), 0, 150} << TTableColumn{QStringLiteral("Value"), 1, 150};
      return;
    default:
      switch (kind) {
        case K::stTHrm:
        case K::stTIHrm:
        case K::stTPhase:
          FLayout = TLayout::lyPerOrder;
          FColumns << TTableColumn{kind == K::stTPhase ? QStringLiteral("Phase") : QStringLiteral("Harmonische"), 0, 30};
          perEntry(150);
          return;
        case K::stPol_t:
          FLayout = TLayout::lyPolar;
          FColumns << TTableColumn{QStringLiteral("Bezeichner"), 0, 150} << TTableColumn{QStringLiteral("Betrag"), 1, 150}
                   << TTableColumn{QStringLiteral("Phase"), 1, 150};
          return;
        default:
          FLayout = TLayout::lyEntries;
          break;
      }
  }
  FColumns << TTableColumn{QStringLiteral("Bezeichner"), 0, 150} << TTableColumn{QStringLiteral("Value"), 1, 150};
}

int TStructTable::RowCount() const {
  switch (FLayout) {
    case TLayout::lyPerOrder: return FKind == K::stTHrm ? 51 : FKind == K::stTIHrm ? 50 : FKind == K::stTPhase ? 49 : 35;
    case TLayout::lyExtHarm: return FGridLst.isEmpty() ? 0 : 49;
    default: return int(FGridLst.size());
  }
}

QString TStructTable::Time(const QByteArray& record, int at) const {
  const tmStamp_t stamp{U32(record, at), U32(record, at + 4)};
  if (stamp.Sec == 0 && stamp.Frac == 0) return {};  // never set
  return TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(TPQTimeProgs::TSNormalizeLocal(stamp, FZone)));
}

QString TStructTable::Value(const QByteArray& record, const TStructField& f) const {
  switch (f.Kind) {
    case K::stSingle:
    case K::stExt_t: return Num(F32(record, f.Offs));
    case K::stDouble: return Time(record, f.Offs);
    case K::stPol_t: return QStringLiteral("%1 - %2°").arg(Num(F32(record, f.Offs)), Num(F32(record, f.Offs + 4)));
    case K::stCmpx_t: return QStringLiteral("%1 %2j").arg(Num(F32(record, f.Offs)), Num(F32(record, f.Offs + 4)));
    case K::stTExtHarm: return Num(F32(record, f.Offs));
    default: {
      // An array in a one-row layout: every element with its order.
      const int first = f.Kind == K::stTPhase ? 2 : 0;
      const int base = f.Kind == K::stTFrqBand ? 2100 : 0;
      QStringList parts;
      for (int i = 0; i < f.Count; ++i) {
        const QString order = f.Kind == K::stTIHrm ? QStringLiteral("%1.5").arg(i) : QString::number(base ? base + 200 * i : first + i);
        parts << QStringLiteral("%1: %2").arg(order, Num(F32(record, f.Offs + 4 * i)));
      }
      return parts.join(QStringLiteral("; "));
    }
  }
}

QString TStructTable::Cell(const QByteArray& record, int column, int row) const {
  if (column < 0 || column >= FColumns.size() || row < 0 || row >= RowCount()) return {};
  if (FColumns[column].Tag == 0) {
    switch (FLayout) {
      case TLayout::lyPerOrder:
        if (FKind == K::stTFrqBand) return QString::number(2100 + 200 * row);
        // Interharmonics sit between the orders, and are named as the bar chart names them.
        if (FKind == K::stTIHrm) return QStringLiteral("%1.5").arg(row);
        return QString::number(FKind == K::stTPhase ? row + 2 : row);
      case TLayout::lyExtHarm: return QString::number(row + 2);
      default: return FGridLst[row].Symb;
    }
  }
  if (record.isEmpty()) return {};  // no record yet: no values
  switch (FLayout) {
    case TLayout::lyPerOrder: return Num(F32(record, FGridLst[column - 1].Offs + 4 * row));
    case TLayout::lyExtHarm: {
      // Order-major: the seven conductors of order 2, then of order 3, ...
      const int at = FGridLst.first().Offs + (row * 7 + (column - 1)) * 12;
      const QString time = Time(record, at + 4);
      return time.isEmpty() ? Num(F32(record, at)) : QStringLiteral("%1 - %2").arg(Num(F32(record, at)), time);
    }
    case TLayout::lyPolar: return Num(F32(record, FGridLst[row].Offs + (column == 1 ? 0 : 4)));
    case TLayout::lyTimeValue:
      if (FColumns[column].Title == QLatin1String("Time"))
        return FGridLst[row].Kind == K::stExt_t ? Time(record, FGridLst[row].Offs + 4) : QString();
      return Value(record, FGridLst[row]);
    case TLayout::lyTime: return FGridLst[row].Kind == K::stDouble ? Time(record, FGridLst[row].Offs) : Value(record, FGridLst[row]);
    default: return Value(record, FGridLst[row]);
  }
}

}  // namespace vanta
