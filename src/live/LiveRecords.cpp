#include "LiveRecords.h"
#include "Language.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ByteOrder.h"
#include "CrvTimeModel.h"
#include "StructTable.h"

namespace vanta {

namespace {

// A float at `offset`, or 0 past the end: records are read as if zero-filled.
float F32(const QByteArray& b, qsizetype offset) {
  if (offset < 0 || offset + 4 > b.size()) return 0.0f;
  const uint32_t bits = GetU32At(b, offset);
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

QList<float> Floats(const QByteArray& b, qsizetype offset, int count) {
  QList<float> out;
  out.reserve(count);
  for (int i = 0; i < count; ++i) out << F32(b, offset + 4 * i);
  return out;
}

int PowerBlock(int generation) { return generation >= 2 ? 1896 : 1892; }

}  // namespace

QString UnitText(int unitIndex) {
  static const char* const CUnits[] = {"", "%", "V", "Hz", "W", "A", "VA", "°", "VAR"};
  return unitIndex >= 0 && unitIndex < int(std::size(CUnits)) ? QString::fromUtf8(CUnits[unitIndex]) : QString();
}

QString ValueText(float value, int unitIndex) {
  float v = value;
  int n = 0;
  for (;;) {
    const float q = float(double(v) / 1000.0);
    if (std::fabs(q) > 1.0f) {
      v = q;
      ++n;
    }
    if (std::fabs(q) < 1000.0f || n == 3 || std::isnan(q)) break;
  }
  static const char* const CPrefix[] = {"", "k", "M", "G"};
  return QString::asprintf("%.2f %s", double(v), CPrefix[n]) + UnitText(unitIndex);
}

int PanelRecordLength(int generation) { return generation >= 2 ? 2328 : 2320; }
int HarmonicRecordLength(int generation) { return generation >= 2 ? 6264 : 6052; }
int OscHeaderSize(int generation) { return generation == 0 ? 40 : 60; }
int OscSampleSize(int generation) {
  if (generation == 0 || generation == 1) return 44;
  return generation == 2 ? 48 : 0;
}

QList<TPanelText> DecodePanel(const QByteArray& record, int generation) {
  QByteArray r = record.left(2328);
  r.append(QByteArray(2328 - r.size(), '\0'));
  QList<TPanelText> out;
  auto add = [&](const QString& field, const QString& label, qsizetype offset, int unit, const QString& symbol) {
    const float v = F32(r, offset);
    out.append({field, label, ValueText(v, unit), symbol, v, unit});
  };
  add(QStringLiteral("edtF"), QStringLiteral("F:"), 16, 3, QStringLiteral("f"));
  const char* const le[] = {"L1", "L2", "L3", "NE"};
  const char* const leSymb[] = {"U1E", "U2E", "U3E", "UNE"};
  for (int k = 0; k < 4; ++k)
    add(QStringLiteral("edtU%1").arg(QLatin1String(le[k])), QStringLiteral("U%1:").arg(QLatin1String(le[k])), 20 + 4 * k, 2, QLatin1String(leSymb[k]));
  const char* const ll[] = {"12", "23", "31"};
  for (int k = 0; k < 3; ++k)
    add(QStringLiteral("edtU%1").arg(QLatin1String(ll[k])), QStringLiteral("U%1:").arg(QLatin1String(ll[k])), 36 + 4 * k, 2,
        QStringLiteral("U%1").arg(QLatin1String(ll[k])));
  for (int k = 0; k < 3; ++k)
    add(QStringLiteral("edtPHL%1").arg(k + 1), QStringLiteral("PHL%1:").arg(k + 1), 52 + 8 * k, 7, QStringLiteral("phiU%1E").arg(k + 1));
  add(QStringLiteral("edtUU"), QStringLiteral("UU:"), 128, 1, QStringLiteral("uUnbal"));
  const char* const thdU[] = {"U1E", "U2E", "U3E", "UNE", "U12", "U23", "U31"};
  for (int k = 0; k < 7; ++k)
    add(QStringLiteral("edtTHD%1").arg(QLatin1String(thdU[k])), QStringLiteral("THD %1:").arg(QLatin1String(thdU[k])), 136 + 4 * k, 1,
        QStringLiteral("THD%1").arg(QLatin1String(thdU[k])));
  const char* const cur[] = {"1", "2", "3", "N"};
  for (int k = 0; k < 4; ++k)
    add(QStringLiteral("edtI%1").arg(QLatin1String(cur[k])), QStringLiteral("I%1:").arg(QLatin1String(cur[k])), 1172 + 4 * k, 5,
        QStringLiteral("I%1").arg(QLatin1String(cur[k])));
  for (int k = 0; k < 4; ++k)
    add(QStringLiteral("edtTHDI%1").arg(QLatin1String(cur[k])), QStringLiteral("THD I%1:").arg(QLatin1String(cur[k])), 1252 + 4 * k, 1,
        QStringLiteral("THDI%1").arg(QLatin1String(cur[k])));
  if (generation >= 2)
    add(QStringLiteral("edtIR"), QStringLiteral("IRCM:"), 1332, 5, QStringLiteral("IRCM"));
  else
    out.append({QStringLiteral("edtIR"), QStringLiteral("IRCM:"), TTr::tr("n.A."), QStringLiteral("IRCM"), 0.0f, 5, false});
  const int p = PowerBlock(generation);
  const char* const ph[] = {"1", "2", "3", "total"};
  const char* const phSymb[] = {"1", "2", "3", "Sum"};
  struct TPower {
    const char* Name;
    int First, Step, Unit;
  };
  const TPower powers[] = {{"P", 0, 12, 4}, {"Q", 4, 12, 8}, {"S", 8, 12, 6}, {"QV", 52, 16, 8}, {"D", 112, 4, 8}, {"PF", 128, 8, 0}};
  for (const TPower& pw : powers)
    for (int k = 0; k < 4; ++k)
      add(QStringLiteral("edt%1%2").arg(QLatin1String(pw.Name), QLatin1String(ph[k])),
          QStringLiteral("%1%2:").arg(QLatin1String(pw.Name), k < 3 ? QString::fromLatin1(ph[k]) : TTr::tr(" ges.")), p + pw.First + pw.Step * k,
          pw.Unit, QLatin1String(pw.Name) + QLatin1String(phSymb[k]));
  // cos φ with "kap." or "ind." from the sign source, empty when it is 0.
  const char* const cosNames[] = {"edtcosPHL1", "edtcosPHL2", "edtcosPHL3", "edtcosPH"};
  const char* const cosLabels[] = {"cos φ L1:", "cos φ L2:", "cos φ L3:", "cos φ:"};
  for (int k = 0; k < 4; ++k) {
    const float sign = F32(r, p + 208 + 4 * k);
    const QString prefix = sign < 0 ? TTr::tr("kap.") : sign > 0 ? TTr::tr("ind.") : QString();
    const float v = F32(r, p + 160 + 4 * k);
    out.append({QLatin1String(cosNames[k]), QString::fromUtf8(cosLabels[k]), QStringLiteral("%1 %2").arg(prefix, ValueText(v, 0)),
                QStringLiteral("cosPhi") + QLatin1String(phSymb[k]), v, 0, true, sign < 0 ? -1 : sign > 0 ? 1 : 0});
  }
  return out;
}

namespace {
// The structures' field tables decide where a block or phasor sits: the
// decoders and the all-values table read the same description.
int FieldOffs(int generation, const char* structName, const QString& field) {
  static const std::array<QList<TStructDesc>, 3> CStructs = {KnownStructs(0), KnownStructs(1), KnownStructs(2)};
  const QList<TStructDesc>& all = CStructs[size_t(std::clamp(generation, 0, 2))];
  if (const TStructDesc* d = FindStruct(all, QLatin1String(structName)))
    for (const TStructField& f : d->Fields)
      if (f.Symb == field) return f.Offs;
  return -1;  // reads as zeros
}
const char* const CVolt7[] = {"u1E", "u2E", "u3E", "uNE", "u12", "u23", "u31"};
const char* const CCur4[] = {"i1", "i2", "i3", "iN"};
}  // namespace

bool DecodeBands(const QByteArray& record, int generation, TVantaDisp disp, std::array<QList<float>, 4>& bands, QString& log) {
  const int expected = PanelRecordLength(generation);
  if (record.size() != expected) {
    log = QStringLiteral("PANEL: %1<>%2").arg(record.size()).arg(expected);
    return false;
  }
  auto block = [&](const char* name) {
    return Floats(record, FieldOffs(generation, name[0] == 'i' ? "ssi_fb_t" : "ssu_fb_t", QStringLiteral("fb_") + QLatin1String(name)), 35);
  };
  switch (disp) {
    case TVantaDisp::sdFrqBandULE: bands = {block("u1E"), block("u2E"), block("u3E"), block("uNE")}; return true;
    case TVantaDisp::sdFrqBandULL: bands = {block("u12"), block("u23"), block("u31"), block("uNE")}; return true;
    case TVantaDisp::sdFrqBandIL: bands = {block("i1"), block("i2"), block("i3"), block("iN")}; return true;
    default: return false;
  }
}

bool DecodeHarmonics(const QByteArray& record, int generation, TVantaDisp disp, std::array<QList<float>, 4>& harmonics,
                     std::array<QList<float>, 4>& interharmonics) {
  if (record.size() != HarmonicRecordLength(generation)) return false;
  const char* use[4];
  switch (disp) {
    case TVantaDisp::sdHrmULE:
    case TVantaDisp::sdIHrmULE: use[0] = "u1E", use[1] = "u2E", use[2] = "u3E", use[3] = "uNE"; break;
    case TVantaDisp::sdHrmULL:
    case TVantaDisp::sdIHrmULL: use[0] = "u12", use[1] = "u23", use[2] = "u31", use[3] = "uNE"; break;
    case TVantaDisp::sdHrmIL:
    case TVantaDisp::sdIHrmIL: use[0] = "i1", use[1] = "i2", use[2] = "i3", use[3] = "iN"; break;
    default: return false;
  }
  for (int k = 0; k < 4; ++k) {
    harmonics[size_t(k)] = Floats(record, FieldOffs(generation, "ssu_150t_t", QStringLiteral("hrm_") + QLatin1String(use[k])), 51);
    interharmonics[size_t(k)] = Floats(record, FieldOffs(generation, "ssu_150t_t", QStringLiteral("ihrm_") + QLatin1String(use[k])), 50);
  }
  return true;
}

bool DecodePhasors(const QByteArray& record, int generation, std::array<TPhasor, 10>& phasors) {
  if (record.size() != HarmonicRecordLength(generation)) return false;
  for (int k = 0; k < 10; ++k) {
    const int at = FieldOffs(generation, "ssu_150t_t", QStringLiteral("pol_") + QLatin1String(k < 7 ? CVolt7[k] : CCur4[k - 7]));
    phasors[size_t(k)] = {F32(record, at), F32(record, at + 4)};
  }
  return true;
}

const std::array<TOscChannel, 12> COscChannels = {{{"U1", 0, "u1", "ULE", true},
                                                   {"U2", 1, "u2", "ULE", true},
                                                   {"U3", 2, "u3", "ULE", true},
                                                   {"UN", 3, "uN", "ULE", true},
                                                   {"U12", 4, "u12", "ULL", true},
                                                   {"U23", 5, "u23", "ULL", true},
                                                   {"U31", 6, "u31", "ULL", true},
                                                   {"I1", 7, "i1", "IL", false},
                                                   {"I2", 8, "i2", "IL", false},
                                                   {"I3", 9, "i3", "IL", false},
                                                   {"IN", 10, "iN", "IL", false},
                                                   {"IR", 11, "iR", "IL", false}}};

bool OscRecordValid(qsizetype length, int generation, uint32_t sampleCount) {
  const int size = OscSampleSize(generation);
  return size > 0 && length == qsizetype(OscHeaderSize(generation)) + qsizetype(sampleCount) * size;
}

bool DecodeOsc(const QByteArray& record, int generation, uint32_t sampleCount, uint32_t rate, int64_t t0Ns,
               const QList<int>& channels, QList<float>& values, const std::function<void(int64_t, const QList<float>&)>& each) {
  if (channels.isEmpty() || !OscRecordValid(record.size(), generation, sampleCount)) return false;
  const int header = OscHeaderSize(generation);
  const int size = OscSampleSize(generation);
  const int carried = size / 4;
  values.resize(channels.size());
  const double step = rate > 0 ? 1e9 / double(rate) : 0.0;
  for (uint32_t i = 0; i < sampleCount; ++i) {
    const qsizetype at = header + qsizetype(i) * size;
    for (int k = 0; k < channels.size(); ++k)
      if (channels[k] >= 0 && channels[k] < carried) values[k] = F32(record, at + 4 * channels[k]);
    if (each) each(t0Ns + int64_t(std::llround(step * double(i))), values);
  }
  return true;
}

bool FillOscModel(TCrvTimeModel& model, const QByteArray& record, int generation, uint32_t sampleCount, uint32_t rate, int64_t t0Ns,
                  const QList<int>& channels, QList<float>& values, QString& log) {
  if (!OscRecordValid(record.size(), generation, sampleCount)) {
    model.ClearData();
    log = QStringLiteral("Oszilloskop: %1 Bytes passen nicht zu %2 Werten")  // untranslated
         .arg(record.size()).arg(sampleCount);
    return false;
  }
  // Valid: the count is bounded by the record's own length.
  model.SetMaxRecs(int(std::max<uint32_t>(1, sampleCount)));  // also clears the samples
  return DecodeOsc(record, generation, sampleCount, rate, t0Ns, channels, values,
                   [&model](int64_t t, const QList<float>& v) { model.NewValues(t, v); });
}

}  // namespace vanta
