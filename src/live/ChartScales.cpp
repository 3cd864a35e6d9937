#include "ChartScales.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>

#include "Formatting.h"

namespace vanta {

void TYNorm::SetScaleIdx() {
  const double r = FSclMax - FSclMin;
  if (!(r > 0)) {
    FSclDiff = 0;
    FSclCnt = 0;
    return;
  }
  const int e = int(std::trunc(std::log10(r / 8.0)));
  float d = std::pow(10.0f, float(e));
  const double k = r / d;
  if (k < 5)
    d /= 2;
  else if (k > 10)
    d *= 2;
  FSclDiff = d;
  const double q = r / FSclDiff;
  FSclCnt = int(q);
  if (q == std::floor(q)) --FSclCnt;  // no line on the maximum
  while (FSclCnt > 12) {
    FSclCnt /= 2;
    FSclDiff *= 2;
  }
  FSclStart = std::trunc((FSclMin + FSclDiff) / FSclDiff) * FSclDiff;
}

int TYNorm::TickDigits() const {
  int digits = 2;
  if (FSclCnt > 1) {
    const double step = std::abs(ScaleAt(1) - ScaleAt(0));
    if (step > 0) {
      digits = std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
      if (std::abs(step * std::pow(10.0, digits) - std::round(step * std::pow(10.0, digits))) > 1e-6) ++digits;
      digits = std::min(digits, 6);
    }
  }
  return digits;
}

std::vector<double> TYNorm::Ticks() const {
  std::vector<double> ticks;
  // The step is held in single precision: a line that misses an end only by
  // that rounding (0.1f * 3 against 0.3) still lies on the axis.
  const double slack = std::abs(FSclDiff) * 1e-6;
  for (int i = 0; i < FSclCnt; ++i) {
    const double v = ScaleAt(i);
    if (v >= FSclMin - slack && v <= FSclMax + slack) ticks.push_back(v);
  }
  return ticks;
}

QString TYNorm::TextAt(double v) const { return FltToStrShrt(v, 2) + (FBaseRec.FUnt.isEmpty() ? QString() : QLatin1Char(' ') + FBaseRec.FUnt); }

double TYLinNorm::YNorm(double v) const {
  if (!(FSclMax > FSclMin)) return FBotLeft;
  v = std::clamp(v, FSclMin, FSclMax);
  return FBotLeft - (v - FSclMin) / (FSclMax - FSclMin) * FXorYBer;
}

double TYLinNorm::InversVal(double pixel) const {
  return FXorYBer == 0 ? FSclMin : FSclMin + (FBotLeft - pixel) / FXorYBer * (FSclMax - FSclMin);
}

double TXLinNorm::YNorm(double v) const {
  if (!(FSclMax > FSclMin)) return 0;
  v = std::clamp(v, FSclMin, FSclMax);
  return FBotLeft + std::round((v - FSclMin) / (FSclMax - FSclMin) * FXorYBer);
}

double TXLinNorm::InversVal(double pixel) const {
  return FXorYBer == 0 ? FSclMin : FSclMin + (pixel - FBotLeft) / FXorYBer * (FSclMax - FSclMin);
}

// ---- time axis ----------------------------------------------------------------------------

int64_t TimeGridStep(TTimeGrid g) {
  constexpr int64_t ms = 1000000, s = 1000 * ms, min = 60 * s, h = 60 * min, day = 24 * h;
  static const int64_t CSteps[] = {ms,      5 * ms,  10 * ms,  20 * ms,  50 * ms,  100 * ms, 200 * ms, 500 * ms, s,
                                   2 * s,   5 * s,   10 * s,   30 * s,   min,      2 * min,  5 * min,  10 * min, 30 * min,
                                   h,       6 * h,   12 * h,   24 * h,   48 * h,   7 * day,  20 * day};
  return CSteps[int(g)];
}

QString TimeGridFormat(TTimeGrid g) {
  if (g <= TTimeGrid::gr10Min) return QStringLiteral("HH:mm:ss");
  switch (g) {
    case TTimeGrid::gr30Min: return QStringLiteral("HH:mm");
    case TTimeGrid::gr1Hour:
    case TTimeGrid::gr6Hour: return QStringLiteral("dd.MM. HH:mm");
    case TTimeGrid::gr12Hour:
    case TTimeGrid::gr24Hour: return QStringLiteral("ddd dd.MM. HH:mm");
    case TTimeGrid::gr48Hour:
    case TTimeGrid::gr7day: return QStringLiteral("ddd dd.MM.yy");
    default: return QStringLiteral("dd.MM.yy");
  }
}

void TTimeNorm::SetSclMinMax(int64_t tsMin, int64_t tsMax, float xLeft, float xBer, int) {
  FTS_SclMin = tsMin;
  FTS_SclMax = tsMax;
  FXLeft = xLeft;
  FXBer = xBer;
  FTS_Diff = GetTimeRange();
  // Shifts that bring the highest set bit of the range to bit 62; none for
  // an empty or reversed range (TmNorm then maps everything to the left edge).
  FShiftNum = FTS_Diff > 0 ? uint8_t(std::countl_zero(uint64_t(FTS_Diff)) - 1) : 0;
  FTimeGrid = TTimeGrid::gr20day;
  for (int g = 0; g <= int(TTimeGrid::gr20day); ++g)
    if (FTS_Diff < 10 * TimeGridStep(TTimeGrid(g))) {
      FTimeGrid = TTimeGrid(g);
      break;
    }
  const int64_t s = TimeGridStep(FTimeGrid);
  // The raster counts from the midnight before the range start.
  const int64_t seconds = FTS_SclMin >= 0 ? FTS_SclMin / 1000000000 : -((-FTS_SclMin + 999999999) / 1000000000);
  const int64_t m = (seconds - ((seconds % 86400) + 86400) % 86400) * 1000000000;
  FTS_SclStart = m + int64_t((uint64_t(FTS_SclMin - m) / uint64_t(s) + 1) * uint64_t(s));
  FSclCount = FTS_Diff > 0 ? int(FTS_Diff / s) : 0;
  const int64_t last = FTS_SclStart + int64_t(FSclCount) * s;
  if (FTS_Diff > 0 && (last < 0 || last < FTS_SclMax)) ++FSclCount;
}

double TTimeNorm::TmNorm(int64_t ts) const {
  if (ts < FTS_SclMin || ts > FTS_SclMax || FTS_Diff <= 0) return FXLeft;
  const double num = double(uint64_t(ts - FTS_SclMin) << FShiftNum);
  const double den = double(uint64_t(FTS_Diff) << FShiftNum);
  return FXLeft + num / den * FXBer;
}

QString GermanTimeText(const QDateTime& t, QString format) {
  // The labels are German on screen and in the reports alike, whatever the
  // process locale (the command-line tool runs with C): the weekday as
  // German calendars abbreviate it, without the locale data's full stop.
  static const char* const CDays[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
  const int day = t.date().dayOfWeek();
  if (day >= 1 && day <= 7) format.replace(QLatin1String("ddd"), QStringLiteral("'%1'").arg(QLatin1String(CDays[day - 1])));
  return QLocale::c().toString(t, format);
}

QString TTimeNorm::TextAt(int64_t ts) const {
  const int64_t sec = ts >= 0 ? ts / 1000000000 : -((-ts + 999999999) / 1000000000);
  QString text = GermanTimeText(QDateTime::fromSecsSinceEpoch(sec, Qt::UTC), TimeGridFormat(FTimeGrid));
  if (FTimeGrid < TTimeGrid::gr1Sec) text = QString::asprintf("%s.%.3u", text.toUtf8().constData(), unsigned((ts - sec * 1000000000) / 1000000));
  return text;
}

double RoundToRange(double value, double range, bool up) {
  if (!std::isfinite(value)) return value;
  // A step of 1, 2 or 5 times a power of ten, about a tenth of the range
  // (of the value itself when the range is empty): the ends move outward
  // to a value with few significant digits, never by more than a step.
  double r = std::fabs(range);
  if (!(r > 0)) r = std::fabs(value) > 0 ? std::fabs(value) : 1.0;
  const double raw = r / 10.0;
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  const double step = raw / p <= 1 ? p : raw / p <= 2 ? 2 * p : raw / p <= 5 ? 5 * p : 10 * p;
  return up ? std::ceil(value / step - 1e-9) * step : std::floor(value / step + 1e-9) * step;
}

bool AutoScaleTime(const TSeriesStore& store, int curve, bool round, double& min, double& max) {
  if (store.Count() == 0 || curve < 0 || curve >= store.CurveCount()) return false;
  max = -FLT_MAX;
  min = FLT_MAX;
  for (int i = 0; i < store.Count(); ++i) {
    const float v = store.Value(curve, i);
    if (std::isnan(v)) continue;
    max = std::max(max, double(v));
    min = std::min(min, double(v));
  }
  if (round && max >= min) {
    const double r = max - min;
    max = RoundToRange(max, r, true);
    min = RoundToRange(min, r, false);
    // A flat curve on a raster value would get an empty range and vanish:
    // it is drawn in the middle of a tenth of its value either side.
    if (max <= min) {
      const double pad = std::fabs(min) > 0 ? std::fabs(min) / 10.0 : 1.0;
      max = min + pad;
      min -= pad;
    }
  }
  return true;
}

}  // namespace vanta
