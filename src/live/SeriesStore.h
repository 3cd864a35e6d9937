#pragma once
// A bounded store of time curves: one time array and one flat value array
// per curve, used as a ring. Adding to a full store overwrites the oldest
// sample in place; nothing is ever removed from the front of a list, so
// adding costs the same at every fill level.
#include <QList>
#include <cstdint>
#include <vector>

namespace vanta {

class TSeriesStore {
 public:
  // Capacity and curve count; both clear the store.
  void SetMaxRecs(int maxRecs);
  void SetCurveCount(int curves);
  void Clear();

  // One sample: the time (ns) and one value per curve (missing values read 0).
  void Add(int64_t timeNs, const QList<float>& values);

  int MaxRecs() const { return FMax; }
  int CurveCount() const { return int(FValues.size()); }
  int Count() const { return FCount; }
  // Oldest first: 0 is the oldest sample still held.
  int64_t Time(int index) const { return FTimes[size_t(Slot(index))]; }
  float Value(int curve, int index) const { return FValues[size_t(curve)][size_t(Slot(index))]; }
  // Smallest and largest value of a curve over the held samples; false when empty.
  bool Range(int curve, float& lo, float& hi) const;
  // Counts every Add, so a painter can tell whether anything changed.
  uint64_t Revision() const { return FRevision; }

 private:
  int Slot(int index) const { return (FStart + index) % FMax; }
  int FMax = 1;
  int FStart = 0, FCount = 0;
  uint64_t FRevision = 0;
  std::vector<int64_t> FTimes = std::vector<int64_t>(1);
  std::vector<std::vector<float>> FValues;
};

}  // namespace vanta
