#include "FFT.h"

#include <fftw3.h>

#include <QFile>
#include <algorithm>
#include <cmath>

namespace vanta {

TFFTClass::TFFTClass() : FFlags(FFTW_MEASURE) { SetSampleNum(4096, 1); }

TFFTClass::~TFFTClass() {
  if (FPlan) fftw_destroy_plan(FPlan);
}

void TFFTClass::SetSampleNum(int samples, int channels) {
  FSamples = std::max(0, samples);
  FChannels = std::max(1, channels);
  FIn.assign(size_t(FSamples) * size_t(FChannels), 0.0);
  FOut.assign(size_t(GetSpecNum()) * 2 * size_t(FChannels), 0.0);
  FMag.assign(size_t(GetSpecNum()) * size_t(FChannels), 0.0);
}

void TFFTClass::ClearInput() { std::fill(FIn.begin(), FIn.end(), 0.0); }

void TFFTClass::Plan() {
  if (FPlan && FPlanSamples == FSamples && FPlanChannels == FChannels) return;
  if (FPlan) fftw_destroy_plan(FPlan);
  FPlan = nullptr;
  if (FSamples == 0) return;
  // FFTW_MEASURE overwrites the arrays while planning: keep the input.
  std::vector<double> keep = FIn;
  const int n[] = {FSamples};
  const int lines = GetSpecNum();
  FPlan = fftw_plan_many_dft_r2c(1, n, FChannels, FIn.data(), nullptr, 1, FSamples, reinterpret_cast<fftw_complex*>(FOut.data()),
                                 nullptr, 1, lines, FFlags);
  std::copy(keep.begin(), keep.end(), FIn.begin());  // the plan holds FIn's buffer: copy, never reassign
  FPlanSamples = FSamples;
  FPlanChannels = FChannels;
}

void TFFTClass::DoFFT(int filled) {
  Plan();
  if (!FPlan) return;
  fftw_execute(FPlan);
  const int lines = GetSpecNum();
  // The padding adds nothing to |X|: dividing by the padded length would
  // scale a short block's lines down by filled / FSamples.
  const int n = filled > 0 && filled < FSamples ? filled : FSamples;
  const double dc = 1.0 / n, ac = std::sqrt(2.0) / n;
  for (int c = 0; c < FChannels; ++c) {
    const double* x = FOut.data() + size_t(c) * size_t(lines) * 2;
    double* m = FMag.data() + size_t(c) * size_t(lines);
    m[0] = std::sqrt(x[0] * x[0] + x[1] * x[1]) * dc;
    // No hypot: its overflow care costs more than the transform's magnitudes need.
    for (int j = 1; j < lines; ++j) m[j] = std::sqrt(x[2 * j] * x[2 * j] + x[2 * j + 1] * x[2 * j + 1]) * ac;
    // The Nyquist line is real and appears once, like DC.
    if (FSamples % 2 == 0 && lines > 1) m[lines - 1] /= std::sqrt(2.0);
  }
}

bool TFFTClass::ImportWisdom(const QString& path) {
  return !path.isEmpty() && QFile::exists(path) && fftw_import_wisdom_from_filename(QFile::encodeName(path).constData()) != 0;
}

bool TFFTClass::ExportWisdom(const QString& path) {
  return !path.isEmpty() && fftw_export_wisdom_to_filename(QFile::encodeName(path).constData()) != 0;
}

}  // namespace vanta
