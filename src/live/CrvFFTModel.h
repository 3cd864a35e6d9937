#pragma once
// The spectrum chart's model: the time chart's curves and store, turned into
// spectral lines by DoFFT (record j is then line j), the value axis zoomed in
// powers of two, the range chosen without the 50 Hz line, the "FFT" text.
#include "CrvTimeModel.h"
#include "FFT.h"

namespace vanta {

class TCrvFFTModel : public TCrvTimeModel {
 public:
  TCrvFFTModel();
  // The samples' rate, for the frequency step (40960/s: 10 Hz with 4096 samples).
  void SetSampleRate(double rate) { FFFTCls.SetSampleRate(rate); }
  double FreqStep() const { return FFFTCls.FreqStep(); }
  // Replaces the held samples by their spectrum, every curve at once; a
  // block shorter than 4096 samples is zero-padded (lines stay rate / 4096
  // apart) and its lines are RMS values of its own samples, as a full
  // block's are. An empty store stays empty.
  void DoFFT();
  // Zoom level 1 .. 20 (10 = 100 %): each step halves or doubles the curves'
  // maxima. False when the level does not change.
  bool ZoomFFT(int level);
  int ScaleVal() const { return FScaleVal; }
  // Range 0 .. largest line that is not exactly at 50 Hz; the frequency axis 0 .. lines x step.
  void AutoScaleFFT(int i);
  void AutoScaleAllFFT();
  double FreqMax() const { return FFreqMax; }
  bool CopyToClipFFT(QStringList& list) const;
  TFFTClass& Transform() { return FFFTCls; }

 private:
  TFFTClass FFFTCls;
  int FScaleVal = 10;
  double FFreqMax = 0;
};

}  // namespace vanta
