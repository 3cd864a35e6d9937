#include "PhasorModel.h"

#include <algorithm>
#include <cmath>

#include "Formatting.h"

namespace vanta {

bool TVectorModel::Feed(const QByteArray& record, int generation) {
  std::array<TPhasor, 10> p;
  if (!DecodePhasors(record, generation, p)) return false;
  for (int k = 0; k < 10; ++k) SetMagAngle(TVecPointer(k), {p[size_t(k)].Magnitude, p[size_t(k)].Angle});
  return true;
}

double TVectorModel::FullScale(bool current) const {
  float largest = 0;
  for (int k = current ? 7 : 0; k < (current ? 10 : 7); ++k) largest = std::max(largest, FVectDiag[size_t(k)].Magn);
  const double ref = current ? FRefCur : FRefVol;
  if (FFixedRef || largest <= 0 || ref <= 10.0 * largest) return ref;
  return largest * 1.05;
}

QPointF TVectorModel::PhasorEnd(QPointF centre, double pixelsPerUnit, double scale, double angleDeg) {
  const double s = std::clamp(scale, 0.0, 2.0);
  const double a = angleDeg * M_PI / 180.0;
  return {centre.x() + pixelsPerUnit * s * std::cos(a), centre.y() - pixelsPerUnit * s * std::sin(a)};
}

void TLoadFlowModel::SetHarmUMag(T4Leiter l, const QList<float>& values) {
  for (int h = 0; h < 51; ++h) FHrmUMag[size_t(l)][size_t(h)] = values.value(h);
}

void TLoadFlowModel::SetHarmIMag(T4Leiter l, const QList<float>& values) {
  for (int h = 0; h < 51; ++h) FHrmIMag[size_t(l)][size_t(h)] = values.value(h);
}

bool TLoadFlowModel::Feed(const QByteArray& record, int generation) {
  std::array<QList<float>, 4> u, ui, i, ii;
  std::array<TPhasor, 10> p;
  if (!DecodeHarmonics(record, generation, TVantaDisp::sdHrmULE, u, ui) || !DecodeHarmonics(record, generation, TVantaDisp::sdHrmIL, i, ii) ||
      !DecodePhasors(record, generation, p))
    return false;
  for (int k = 0; k < 3; ++k) {
    SetHarmUMag(T4Leiter(k), u[size_t(k)]);
    SetHarmIMag(T4Leiter(k), i[size_t(k)]);
  }
  SetBasicAngle(p[0].Angle - p[7].Angle, p[1].Angle - p[8].Angle, p[2].Angle - p[9].Angle);
  return true;
}

void TLoadFlowModel::HrmRescale() {
  FHrmMaxU = FHrmMaxI = 0;
  for (int l = 0; l < 3; ++l)
    for (int h = 0; h <= FHrmMaxIdx; ++h) {
      FHrmMaxU = std::max(FHrmMaxU, FHrmUMag[size_t(l)][size_t(h)]);
      FHrmMaxI = std::max(FHrmMaxI, FHrmIMag[size_t(l)][size_t(h)]);
    }
  FHrmMaxU = float(RoundUp(FHrmMaxU));
  FHrmMaxI = float(RoundUp(FHrmMaxI));
}

bool TLoadFlowModel::CopyToClip(QStringList& list) const {
  list.clear();
  QStringList angles;
  for (int k = 0; k < 3; ++k) angles << QStringLiteral("Phi_L%1=%2").arg(k + 1).arg(double(FBasicAngle[size_t(k)]), 0, 'f', 2);
  list << angles.join(QLatin1Char('\t'));
  list << QStringLiteral("Harmonische\tU1 [%]\tU2 [%]\tU3 [%]\tI1 [A]\tI2 [A]\tI3 [A]");
  for (int h = 0; h <= FHrmMaxIdx && h <= 50; ++h) {
    QString line = QString::number(h);
    for (int k = 0; k < 3; ++k) line += QLatin1Char('\t') + QString::number(double(FHrmUMag[size_t(k)][size_t(h)]), 'g', 7);
    for (int k = 0; k < 3; ++k) line += QLatin1Char('\t') + QString::number(double(FHrmIMag[size_t(k)][size_t(h)]), 'g', 7);
    list << line;
  }
  return true;
}

}  // namespace vanta
