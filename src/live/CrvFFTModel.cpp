#include "CrvFFTModel.h"

#include <cfloat>
#include <cmath>

#include "Formatting.h"

namespace vanta {

TCrvFFTModel::TCrvFFTModel() { FFFTCls.SetSampleNum(4096, 1); }

void TCrvFFTModel::DoFFT() {
  const TSeriesStore& s = Store();
  const int n = s.Count(), curves = GetCrvCnt();
  if (n == 0 || curves == 0) {
    ClearData();
    return;
  }
  const int samples = std::max(4096, n);
  if (FFFTCls.SampleNum() != samples || FFFTCls.Channels() != curves) FFFTCls.SetSampleNum(samples, curves);
  FFFTCls.ClearInput();
  for (int c = 0; c < curves; ++c) {
    double* in = FFFTCls.Input(c);
    for (int i = 0; i < n; ++i) {
      const float v = s.Value(c, i);
      in[i] = std::isfinite(v) ? double(v) : 0.0;
    }
  }
  FFFTCls.DoFFT(n);  // a short block is measured against its own samples, not the padding
  const int lines = FFFTCls.GetSpecNum();
  SetMaxRecs(lines);  // clears the samples
  QList<float> values(curves);
  for (int j = 0; j < lines; ++j) {
    for (int c = 0; c < curves; ++c) values[c] = float(FFFTCls.GetTransformedData(c, j));
    NewValues(j, values);
  }
  ResetZoom();
}

bool TCrvFFTModel::ZoomFFT(int level) {
  level = std::clamp(level, 1, 20);
  if (level == FScaleVal) return false;
  const double factor = std::pow(2.0, FScaleVal - level);
  for (int i = 0; i < GetCrvCnt(); ++i) SetRange(i, Curve(i).FSclMin, Curve(i).FSclMax * factor);
  FScaleVal = level;
  return true;
}

void TCrvFFTModel::AutoScaleFFT(int i) {
  if (i < 0 || i >= GetCrvCnt()) return;
  const float step = float(FreqStep());
  const int lines = Store().Count();
  double max = -FLT_MAX, all = 0;
  for (int j = 0; j < lines; ++j) {
    const double v = Store().Value(i, j);
    all = std::max(all, v);
    if (float(j) * step != 50.0f) max = std::max(max, v);
  }
  // A pure fundamental leaves only the transform's rounding noise beside it
  // (about 1e-7 of the line): the range never goes below 1e-4 of the largest
  // line, so that noise is not blown up to fill the region.
  if (max > -FLT_MAX) max = std::max(max, all * 1e-4);
  if (FRoundAftScl && max > -FLT_MAX) max = RoundToRange(max, max, true);
  SetRange(i, 0.0, max);
  FFreqMax = double(lines) * double(step);
}

void TCrvFFTModel::AutoScaleAllFFT() {
  for (int i = 0; i < GetCrvCnt(); ++i) AutoScaleFFT(i);
}

bool TCrvFFTModel::CopyToClipFFT(QStringList& list) const {
  QString head = QStringLiteral("FFT");
  for (int c = 0; c < GetCrvCnt(); ++c) head += QStringLiteral("\t%1 [%2]").arg(Curve(c).FSym, Curve(c).FUnt);
  list << head;
  for (int j = 0; j < Store().Count(); ++j) {
    QString line = FltToStrShrt(j * FreqStep(), 3);
    for (int c = 0; c < GetCrvCnt(); ++c) line += QLatin1Char('\t') + QString::number(double(Store().Value(c, j)), 'g', 9);
    list << line;
  }
  return !list.isEmpty();
}

}  // namespace vanta
