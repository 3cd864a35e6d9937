#include "SeriesStore.h"

#include <algorithm>
#include <cmath>

namespace vanta {

void TSeriesStore::SetMaxRecs(int maxRecs) {
  FMax = std::max(1, maxRecs);
  FTimes.assign(size_t(FMax), 0);
  for (std::vector<float>& v : FValues) v.assign(size_t(FMax), 0.0f);
  Clear();
}

void TSeriesStore::SetCurveCount(int curves) {
  FValues.assign(size_t(std::max(0, curves)), std::vector<float>(size_t(FMax), 0.0f));
  Clear();
}

void TSeriesStore::Clear() {
  FStart = 0;
  FCount = 0;
  ++FRevision;
}

void TSeriesStore::Add(int64_t timeNs, const QList<float>& values) {
  int slot;
  if (FCount < FMax) {
    slot = Slot(FCount);
    ++FCount;
  } else {
    slot = FStart;  // the oldest goes, in place
    FStart = (FStart + 1) % FMax;
  }
  FTimes[size_t(slot)] = timeNs;
  for (size_t c = 0; c < FValues.size(); ++c) FValues[c][size_t(slot)] = c < size_t(values.size()) ? values[qsizetype(c)] : 0.0f;
  ++FRevision;
}

bool TSeriesStore::Range(int curve, float& lo, float& hi) const {
  if (curve < 0 || curve >= CurveCount() || FCount == 0) return false;
  bool any = false;
  for (int i = 0; i < FCount; ++i) {
    const float v = Value(curve, i);
    if (!std::isfinite(v)) continue;
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
  }
  return any;
}

}  // namespace vanta
