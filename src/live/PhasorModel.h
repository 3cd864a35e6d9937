#pragma once
// The vector diagram and load-flow charts' models: the fundamental phasors
// of seven voltages and three currents, and per phase the harmonic
// magnitudes of voltage and current with the fundamental displacement.
#include <QPointF>
#include <QStringList>
#include <array>

#include "HarmBarModel.h"
#include "LiveRecords.h"

namespace vanta {

enum class TVecPointer : uint8_t { vpU1E, vpU2E, vpU3E, vpUNE, vpU12, vpU23, vpU31, vpI1, vpI2, vpI3, vpI0 };

struct TMagniAngle {
  float Magn = 0, Angle = 0;
};

class TVectorModel {
 public:
  void SetMagAngle(TVecPointer p, TMagniAngle v) { FVectDiag[size_t(p)] = v; }
  TMagniAngle MagAngle(TVecPointer p) const { return FVectDiag[size_t(p)]; }
  // From record 1: U1E .. U31 and I1 .. I3 (vpI0 is never fed).
  bool Feed(const QByteArray& record, int generation);
  // The arrow's end: counter-clockwise from the positive x axis, screen y downward; s clamped to 0 .. 2.
  static QPointF PhasorEnd(QPointF centre, double pixelsPerUnit, double scale, double angleDeg);
  // The vector diagram has no text export.
  bool CopyToClip(QStringList& list) const {
    list.clear();
    return false;
  }
  // The magnitude an arrow of full length stands for: the reference value;
  // when the reference is more than ten times the largest phasor of its kind
  // (a 230 V network against a 20 kV reference) and the reference is not
  // fixed, 105 % of that phasor, so the arrows stay readable.
  double FullScale(bool current) const;
  float FRefVol = 20000.0f, FRefCur = 100.0f;
  bool FFixedRef = false;  // "Referenzwerte als Vollausschlag"

 private:
  std::array<TMagniAngle, 11> FVectDiag{};
};

class TLoadFlowModel {
 public:
  void SetHarmUMag(T4Leiter l, const QList<float>& values);
  void SetHarmIMag(T4Leiter l, const QList<float>& values);
  void SetBasicAngle(float a1, float a2, float a3) { FBasicAngle = {a1, a2, a3}; }
  const std::array<float, 3>& BasicAngle() const { return FBasicAngle; }
  // From record 1: harmonics of U1E-U3E and I1-I3, per phase the voltage
  // angle minus the current angle of the fundamental.
  bool Feed(const QByteArray& record, int generation);
  void HrmRescale();
  // The clipboard text: the phase displacements, then per order the voltages
  // (% of the fundamental) and currents (A) of the three phases.
  bool CopyToClip(QStringList& list) const;
  float UMag(T4Leiter l, int order) const { return FHrmUMag[size_t(l)][size_t(order)]; }
  float IMag(T4Leiter l, int order) const { return FHrmIMag[size_t(l)][size_t(order)]; }
  float FHrmMaxU = 0, FHrmMaxI = 0;
  int FHrmMaxIdx = 50;

 private:
  std::array<std::array<float, 51>, 4> FHrmUMag{}, FHrmIMag{};
  std::array<float, 3> FBasicAngle{};
};

}  // namespace vanta
