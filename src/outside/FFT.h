#pragma once
// The spectrum of blocks of samples on FFTW3: real-to-complex transforms of
// every channel of a block in one batched plan, one plan per block size and
// channel count (made once, on the thread that owns the object), and the
// magnitudes as RMS values per line so they agree with the panel and the
// harmonic records: DC |X|/N, every other line sqrt(2)·|X|/N.
#include <QString>
#include <vector>

struct fftw_plan_s;

namespace vanta {

class TFFTClass {
 public:
  TFFTClass();
  ~TFFTClass();
  TFFTClass(const TFFTClass&) = delete;
  TFFTClass& operator=(const TFFTClass&) = delete;

  // Samples per channel (blocks shorter than this are zero-padded) and the
  // channel count; a change makes a new plan at the next transform.
  void SetSampleNum(int samples, int channels = 1);
  int SampleNum() const { return FSamples; }
  int Channels() const { return FChannels; }
  // The frequency step between lines: sample rate / samples.
  void SetSampleRate(double rate) { FRate = rate; }
  double FreqStep() const { return FSamples > 0 && FRate > 0 ? FRate / FSamples : 10.0; }
  // Lines 0 .. samples/2.
  int GetSpecNum() const { return FSamples > 0 ? FSamples / 2 + 1 : 0; }

  // The input block: channel c, sample i (channel-major).
  double* Input(int channel) { return FIn.data() + size_t(channel) * size_t(FSamples); }
  void ClearInput();
  // Transforms every channel and computes the magnitudes. `filled` is the
  // number of samples the block really holds (the rest zero padding): the
  // magnitudes are relative to it, so a short block shows a sine at its own
  // RMS. 0 or SampleNum(): the whole block.
  void DoFFT(int filled = 0);
  // RMS magnitude of line j of channel c after DoFFT.
  double GetTransformedData(int channel, int line) const { return FMag[size_t(channel) * size_t(GetSpecNum()) + size_t(line)]; }

  // FFTW planning effort (FFTW_MEASURE unless set) and the wisdom file kept
  // between runs (empty: none).
  void SetPlanningFlags(unsigned flags) { FFlags = flags; }
  static bool ImportWisdom(const QString& path);
  static bool ExportWisdom(const QString& path);

 private:
  void Plan();
  int FSamples = 0, FChannels = 0;
  double FRate = 40960;
  unsigned FFlags;
  std::vector<double> FIn;
  std::vector<double> FOut;  // interleaved complex, channel-major
  std::vector<double> FMag;
  fftw_plan_s* FPlan = nullptr;
  int FPlanSamples = 0, FPlanChannels = 0;
};

}  // namespace vanta
