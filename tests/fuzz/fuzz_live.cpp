#include "fuzz_live.h"

#include <QByteArray>
#include <algorithm>

#include "ByteOrder.h"
#include "CrvFFTModel.h"
#include "LiveRecords.h"

namespace vanta::fuzz {

int FuzzLiveOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int gen = data[0] % 4;
  const QByteArray r(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  const int fields = int(DecodePanel(r, gen).size());
  std::array<QList<float>, 4> a, b;
  QString log;
  for (TVantaDisp d : {TVantaDisp::sdFrqBandULE, TVantaDisp::sdFrqBandIL}) (void)DecodeBands(r, gen, d, a, log);
  for (TVantaDisp d : {TVantaDisp::sdHrmULL, TVantaDisp::sdIHrmIL}) (void)DecodeHarmonics(r, gen, d, a, b);
  std::array<TPhasor, 10> ph;
  (void)DecodePhasors(r, gen, ph);
  // The sample count as the header says it, however wrong.
  const uint32_t samples = r.size() >= 56 ? uint8_t(r[52]) | uint32_t(uint8_t(r[53])) << 8 : 0;
  QList<float> values;
  int calls = 0;
  const bool ok = DecodeOsc(r, gen, samples, 12800, 0, {0, 11, 3}, values, [&](int64_t, const QList<float>&) { ++calls; });
  if (ok != (calls == int(samples) && OscRecordValid(r.size(), gen, samples))) __builtin_trap();
  // The chart models' path, with the full 32-bit count where the header
  // keeps it: a count the record does not hold must not size the model.
  const int at = gen == 0 ? 32 : 52;
  const uint32_t claimed = r.size() >= at + 8 ? GetU32At(r, at) : samples;
  const uint32_t rate = r.size() >= at + 8 ? GetU32At(r, at + 4) : 0;
  TCrvFFTModel m;
  m.Transform().SetPlanningFlags(64 /* FFTW_ESTIMATE: one model per input */);
  m.SetSampleRate(rate);
  m.SetCrvCnt(2);
  const int before = m.MaxRecs();
  QString why;
  const bool fed = FillOscModel(m, r, gen, claimed, rate, 0, {0, 11}, values, why);
  if (fed != OscRecordValid(r.size(), gen, claimed) || fed == !why.isEmpty()) __builtin_trap();
  // Ignored: the capacity as it was. Taken: no more samples than the bytes hold.
  if (!fed && (m.MaxRecs() != before || m.GetMessCnt() != 0)) __builtin_trap();
  if (fed && (qsizetype(m.MaxRecs()) * OscSampleSize(gen) > std::max<qsizetype>(OscSampleSize(gen), r.size()) || m.GetMessCnt() != int(claimed)))
    __builtin_trap();
  m.DoFFT();
  return fields;
}

}  // namespace vanta::fuzz
