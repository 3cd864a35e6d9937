#include "StructTable.h"

#include <QtEndian>
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
QString Num(double v) {
  // "0.###": up to three decimals, no trailing zeros.
  QString s = QString::number(v, 'f', 3);
  if (s.contains(QLatin1Char('.'))) {
    while (s.endsWith(QLatin1Char('0'))) s.chop(1);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
  }
  return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}
}  // namespace

QString StrucTypName(TVantaStrucTyp t) {
  static const char* const CNames[] = {"stSingle", "stDouble", "stExt_t", "stPol_t", "stCmpx_t", "stTPhase", "stTHrm", "stTIHrm", "stTFrqBand", "stTExtHarm"};
  return QLatin1String(CNames[int(t)]);
}

QList<TStructDesc> KnownStructs(int generation) {
  // Record 4 (one-second values): the panel's fields and the band blocks.
  TStructDesc s{QStringLiteral("ssu_s_t"), 4, {}};
  auto single = [&s](const QString& name, int offs) { s.Fields.append({name, TVantaStrucTyp::stSingle, offs}); };
  single(QStringLiteral("f"), 16);
  const char* const le[] = {"u1E", "u2E", "u3E", "uNE"};
  for (int k = 0; k < 4; ++k) single(QLatin1String(le[k]), 20 + 4 * k);
  const char* const ll[] = {"u12", "u23", "u31"};
  for (int k = 0; k < 3; ++k) single(QLatin1String(ll[k]), 36 + 4 * k);
  for (int k = 0; k < 3; ++k) single(QStringLiteral("phi%1").arg(k + 1), 52 + 8 * k);
  single(QStringLiteral("uUnbal"), 128);
  const char* const all7[] = {"u1E", "u2E", "u3E", "uNE", "u12", "u23", "u31"};
  for (int k = 0; k < 7; ++k) single(QStringLiteral("thd_%1").arg(QLatin1String(all7[k])), 136 + 4 * k);
  for (int k = 0; k < 7; ++k) s.Fields.append({QStringLiteral("fb_%1").arg(QLatin1String(all7[k])), TVantaStrucTyp::stTFrqBand, 192 + 140 * k});
  const char* const cur[] = {"i1", "i2", "i3", "iN"};
  for (int k = 0; k < 4; ++k) single(QLatin1String(cur[k]), 1172 + 4 * k);
  for (int k = 0; k < 4; ++k) single(QStringLiteral("thd_%1").arg(QLatin1String(cur[k])), 1252 + 4 * k);
  if (generation >= 2) single(QStringLiteral("iRCM"), 1332);
  const int fb = generation >= 2 ? 1336 : 1332;
  for (int k = 0; k < 4; ++k) s.Fields.append({QStringLiteral("fb_%1").arg(QLatin1String(cur[k])), TVantaStrucTyp::stTFrqBand, fb + 140 * k});
  const int p = generation >= 2 ? 1896 : 1892;
  const char* const ph[] = {"1", "2", "3", "Sum"};
  for (int k = 0; k < 4; ++k) {
    single(QStringLiteral("p%1").arg(QLatin1String(ph[k])), p + 12 * k);
    single(QStringLiteral("q%1").arg(QLatin1String(ph[k])), p + 4 + 12 * k);
    single(QStringLiteral("s%1").arg(QLatin1String(ph[k])), p + 8 + 12 * k);
  }
  for (int k = 0; k < 4; ++k) single(QStringLiteral("cosPhi%1").arg(QLatin1String(ph[k])), p + 160 + 4 * k);

  // Record 1 (harmonics and phasors).
  TStructDesc h{QStringLiteral("ssu_150t_t"), 1, {}};
  for (int k = 0; k < 7; ++k) h.Fields.append({QStringLiteral("pol_%1").arg(QLatin1String(all7[k])), TVantaStrucTyp::stPol_t, 52 + 8 * k});
  static const int CBlocks[] = {244, 648, 1052, 1456, 1860, 2264, 2668};
  for (int k = 0; k < 7; ++k) {
    h.Fields.append({QStringLiteral("hrm_%1").arg(QLatin1String(all7[k])), TVantaStrucTyp::stTHrm, CBlocks[k]});
    h.Fields.append({QStringLiteral("ihrm_%1").arg(QLatin1String(all7[k])), TVantaStrucTyp::stTIHrm, CBlocks[k] + 204});
  }
  for (int k = 0; k < 3; ++k) h.Fields.append({QStringLiteral("pol_%1").arg(QLatin1String(cur[k])), TVantaStrucTyp::stPol_t, 3704 + 8 * k});
  for (int k = 0; k < 4; ++k) {
    h.Fields.append({QStringLiteral("hrm_%1").arg(QLatin1String(cur[k])), TVantaStrucTyp::stTHrm, 3848 + 404 * k});
    h.Fields.append({QStringLiteral("ihrm_%1").arg(QLatin1String(cur[k])), TVantaStrucTyp::stTIHrm, 3848 + 404 * k + 204});
  }
  return {s, h};
}

const TStructDesc* FindStruct(const QList<TStructDesc>& all, const QString& name) {
  for (const TStructDesc& d : all)
    if (d.Name.compare(name, Qt::CaseInsensitive) == 0) return &d;
  return nullptr;
}

void TStructTable::Select(const TStructDesc& desc, TVantaStrucTyp kind) {
  FKind = kind;
  FGridLst.clear();
  for (const TStructField& f : desc.Fields)
    if (f.Kind == kind) FGridLst << f;
  FColumns.clear();
  switch (kind) {
    case TVantaStrucTyp::stTHrm:
    case TVantaStrucTyp::stTIHrm:
    case TVantaStrucTyp::stTFrqBand:
      FColumns << TTableColumn{kind == TVantaStrucTyp::stTFrqBand ? QStringLiteral("FrqBand") : QStringLiteral("Harmonische"), 0, 30};
      for (const TStructField& f : FGridLst) FColumns << TTableColumn{f.Symb, 1, 150};
      break;
    case TVantaStrucTyp::stPol_t:
      FColumns << TTableColumn{QStringLiteral("Bezeichner"), 0, 150} << TTableColumn{QStringLiteral("Betrag"), 1, 150}
               << TTableColumn{QStringLiteral("Phase"), 1, 150};
      break;
    default:
      FColumns << TTableColumn{QStringLiteral("Bezeichner"), 0, 150} << TTableColumn{QStringLiteral("Value"), 1, 150};
      break;
  }
}

int TStructTable::RowCount() const {
  switch (FKind) {
    case TVantaStrucTyp::stTHrm: return 51;
    case TVantaStrucTyp::stTIHrm: return 50;
    case TVantaStrucTyp::stTFrqBand: return 35;
    default: return int(FGridLst.size());
  }
}

QString TStructTable::Cell(const QByteArray& record, int column, int row) const {
  if (column < 0 || column >= FColumns.size() || row < 0 || row >= RowCount()) return {};
  const bool perOrder = FKind == TVantaStrucTyp::stTHrm || FKind == TVantaStrucTyp::stTIHrm || FKind == TVantaStrucTyp::stTFrqBand;
  if (FColumns[column].Tag == 0) return perOrder ? (FKind == TVantaStrucTyp::stTFrqBand ? QString::number(2100 + 200 * row) : QString::number(row))
                                                 : FGridLst[row].Symb;
  if (record.isEmpty()) return {};  // no record yet: no values
  if (perOrder) return Num(F32(record, FGridLst[column - 1].Offs + 4 * row));
  const TStructField& f = FGridLst[row];
  if (FKind == TVantaStrucTyp::stPol_t) return Num(F32(record, f.Offs + (column == 1 ? 0 : 4)));
  return Num(F32(record, f.Offs));
}

}  // namespace vanta
