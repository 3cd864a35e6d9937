#pragma once
// The charts' drawing, apart from any widget: each function paints one chart
// into a rectangle of a QPainter, in the painter's coordinates and with its
// font. The chart widgets paint their off-screen image with them; the report
// plugin paints the same charts onto PDF pages (no widgets, no display).
#include <QColor>
#include <QFontMetrics>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "ChartScales.h"
#include "CrvTimeModel.h"
#include "HarmBarModel.h"

class QPainter;

namespace vanta {

// Stored colours may carry no alpha (0x00RRGGBB); they are drawn opaque.
inline QColor Opaque(uint32_t argb) { return QColor::fromRgb(argb | 0xFF000000u); }
// Bars and curves of L1, L2, L3 and N.
extern const uint32_t CConductorColors[4];
// Limit lines and marks.
extern const uint32_t CLimitColor;

// A value axis on the left of `area` with its grid and labels; the labels
// right-aligned between `labelLeft` and the area. `title` goes into the
// area's top left corner.
void PaintValueAxis(QPainter& p, const QRectF& area, double labelLeft, TYLinNorm& axis, const QFontMetrics& fm, const QString& title);

// One legend line: a colour sample (a filled square, or a line for `line`)
// and a name per entry, placed left to right from `origin` (the top left),
// each as wide as its text. Returns the height used.
struct TLegendEntry {
  QString Name;
  uint32_t Color = 0xFF000000;
  bool Line = false;
};
double PaintLegend(QPainter& p, const QPointF& origin, const std::vector<TLegendEntry>& entries, const QFontMetrics& fm);

// A horizontal limit line across `area` at `value` of `axis`, labelled at
// its right end (above the line). Nothing when the value is off the axis.
void PaintLimitLine(QPainter& p, const QRectF& area, const TYLinNorm& axis, double value, const QString& text, const QFontMetrics& fm);

// The time-curve chart: caption, time grid, one value axis per region and
// the curves. `scales` gets what the drawing used.
struct TTimeChartScales {
  QRect CrvRect;
  TTimeNorm Time;
  std::vector<TYLinNorm> Axes;
  QList<QRectF> TimeLabels;  // where the time labels were written
};
void PaintTimeChart(QPainter& p, const QRect& rect, TCrvTimeModel& model, const QString& caption, uint32_t fontCol, bool antialias,
                    TTimeChartScales& scales);

// The bar chart of harmonics, interharmonics or bands, with the limit marks
// of the harmonic views. `rows`: conductors drawn (0: as the view shows them).
void PaintHarmBars(QPainter& p, const QRectF& rect, const THarmBarModel& m, int rows = 0);

// Grouped bars against a limit per group: Values[series][group], one limit
// mark per group (0: none), the value axis from Min to Max.
struct TLimitBars {
  QString Caption, Unit;
  QStringList Groups;
  std::vector<TLegendEntry> Series;
  std::vector<std::vector<double>> Values;
  std::vector<double> Limits;
  QString LimitText;  // the limit marks' legend entry
  double Min = 0, Max = 100;
};
void PaintLimitBars(QPainter& p, const QRectF& rect, const TLimitBars& bars);

}  // namespace vanta
