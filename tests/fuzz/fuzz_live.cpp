#include "fuzz_live.h"

#include <QByteArray>

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
  return fields;
}

}  // namespace vanta::fuzz
