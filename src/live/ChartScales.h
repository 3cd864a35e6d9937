#pragma once
// The scales the chart painters share: value axes (vertical and horizontal),
// the time axis with its grid steps from 1 ms to 20 days, the curve records
// and the automatic range of a time-curve chart. Computation only.
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

#include "SeriesStore.h"

namespace vanta {

struct TYBaseRec {
  QString FSym, FGrpSym, FUnt;
  uint8_t FBaseUnt = 1;
  static TYBaseRec BaseRect(const QString& sym, const QString& grpSym, const QString& unt, uint8_t baseUnt = 1) {
    return {sym, grpSym, unt, baseUnt};
  }
};

struct TYRec {
  double FSclMin = 0, FSclMax = 0;
  uint32_t FColor = 0xFF000000;
  uint8_t FBaseUnt = 1;
  QString FSym, FUnt, FGrpSym;
};

// One value axis: the painter sets the range and the pixel geometry, then
// calls SetScaleIdx for the grid.
class TYNorm {
 public:
  virtual ~TYNorm() = default;
  virtual void SetScaleIdx();
  virtual double YNorm(double v) const = 0;
  virtual double InversVal(double pixel) const = 0;
  virtual double ScaleAt(int i) const = 0;
  // The grid lines to draw: ScaleAt(0 .. FSclCnt - 1) that lie on the axis.
  // The first line is truncated toward zero, so a range that is not anchored
  // at zero (-0.8 .. 0.8) can yield lines beyond its maximum; those are left out.
  std::vector<double> Ticks() const;
  // As many decimals as the step between grid lines needs: on a narrow range
  // (49.99 .. 50.01 in steps of 0.005) two decimals would print 50 twice.
  int TickDigits() const;
  // The grid line's label: two decimals at most, the unit text after it.
  QString TextAt(double v) const;

  TYBaseRec FBaseRec;
  double FSclMin = 0, FSclMax = 0;
  double FSclDiff = 0, FSclStart = 0;
  double FBotLeft = 0, FXorYBer = 0;
  int FSclCnt = 0;
  uint32_t FColor = 0xFF000000;
};

// Vertical: pixels grow downward from the bottom edge FBotLeft.
class TYLinNorm : public TYNorm {
 public:
  double YNorm(double v) const override;
  double InversVal(double pixel) const override;
  double ScaleAt(int i) const override { return FSclStart + FSclDiff * i; }
};

// Horizontal: whole pixels from the left edge FBotLeft.
class TXLinNorm : public TYLinNorm {
 public:
  double YNorm(double v) const override;
  double InversVal(double pixel) const override;
};

enum class TTimeGrid : uint8_t {
  gr1ms, gr5ms, gr10ms, gr20ms, gr50ms, gr100ms, gr200ms, gr500ms, gr1Sec, gr2Sec, gr5Sec, gr10Sec, gr30Sec,
  gr1Min, gr2Min, gr5Min, gr10Min, gr30Min, gr1Hour, gr6Hour, gr12Hour, gr24Hour, gr48Hour, gr7day, gr20day
};
int64_t TimeGridStep(TTimeGrid g);      // nanoseconds
QString TimeGridFormat(TTimeGrid g);    // Qt date-time format of the labels
// `t` in `format` with German weekday names ("Mi 03.12.25"), in any locale.
QString GermanTimeText(const QDateTime& t, QString format);

// The time axis; times are nanoseconds since 1970 in the device's wall clock.
class TTimeNorm {
 public:
  void SetSclMinMax(int64_t tsMin, int64_t tsMax, float xLeft, float xBer, int unused = 0);
  int64_t GetTimeRange() const { return FTS_SclMax - FTS_SclMin; }
  double TmNorm(int64_t ts) const;
  int64_t ScaleAt(int i) const { return FTS_SclStart + TimeGridStep(FTimeGrid) * i; }
  QString TextAt(int64_t ts) const;

  int64_t FTS_SclMin = 0, FTS_SclMax = 0, FTS_SclStart = 0, FTS_Diff = 0;
  float FXBer = 0, FXLeft = 0;
  TTimeGrid FTimeGrid = TTimeGrid::gr1ms;
  int FSclCount = 0;
  uint8_t FShiftNum = 0;
};

// `value` moved outward (up for a maximum) to a multiple of a 1-2-5 step of
// about a tenth of `range`.
double RoundToRange(double value, double range, bool up);

// The range of curve `curve` over the held samples (NaN skipped), rounded
// outward when `round` is set; false for no samples or no such curve.
bool AutoScaleTime(const TSeriesStore& store, int curve, bool round, double& min, double& max);

}  // namespace vanta
