#include "ChartPaint.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "Formatting.h"
#include "Language.h"

namespace vanta {

const uint32_t CConductorColors[4] = {0xFF1F5FBF, 0xFF2E9E3E, 0xFFD03030, 0xFF808080};
const uint32_t CLimitColor = 0xFFC81E1E;


void PaintValueAxis(QPainter& p, const QRectF& area, double labelLeft, TYLinNorm& axis, const QFontMetrics& fm, const QString& title) {
  axis.FBotLeft = area.bottom();
  axis.FXorYBer = area.height();
  axis.SetScaleIdx();
  const int digits = axis.TickDigits();
  const std::vector<double> ticks = axis.Ticks();
  // An end's label stays within the area's height, clear of the texts under it.
  auto label = [&](double v, bool inside = false) {
    double top = axis.YNorm(v) - fm.height() / 2.0;
    if (inside) top = std::clamp(top, area.top(), area.bottom() - fm.height());
    p.setPen(Qt::black);
    p.drawText(QRectF(labelLeft, top, area.left() - 3 - labelLeft, fm.height()), Qt::AlignRight | Qt::AlignVCenter, FltToStrShrt(v, digits));
  };
  for (const double v : ticks) {
    const double y = axis.YNorm(v);
    p.setPen(QPen(QColor(190, 190, 190), 0.25));
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    label(v);
  }
  // The ends too, where no grid label is near: a scale with one grid line
  // still reads from where to where it goes.
  for (const double end : {axis.FSclMin, axis.FSclMax}) {
    const bool near = std::any_of(ticks.begin(), ticks.end(), [&](double t) { return std::abs(axis.YNorm(t) - axis.YNorm(end)) < fm.height(); });
    if (!near && axis.FSclMax > axis.FSclMin) label(end, true);
  }
  p.setPen(Qt::black);
  p.drawText(QPointF(area.left() + 4, area.top() + fm.ascent() + 2), title);
}

double PaintLegend(QPainter& p, const QPointF& origin, const std::vector<TLegendEntry>& entries, const QFontMetrics& fm) {
  const double box = fm.ascent() * 0.8;
  const double gap = fm.horizontalAdvance(QLatin1Char('0')) * 2.0;
  double x = origin.x();
  for (const TLegendEntry& e : entries) {
    const double mid = origin.y() + fm.height() / 2.0;
    if (e.Line) {
      p.setPen(QPen(Opaque(e.Color), 1.5));
      p.drawLine(QPointF(x, mid), QPointF(x + box * 2, mid));
      x += box * 2 + 4;
    } else {
      p.fillRect(QRectF(x, mid - box / 2, box, box), Opaque(e.Color));
      x += box + 4;
    }
    p.setPen(Qt::black);
    p.drawText(QPointF(x, origin.y() + fm.ascent()), e.Name);
    x += fm.horizontalAdvance(e.Name) + gap;
  }
  return fm.height();
}

void PaintLimitLine(QPainter& p, const QRectF& area, const TYLinNorm& axis, double value, const QString& text, const QFontMetrics& fm) {
  if (!(axis.FSclMax > axis.FSclMin) || value < axis.FSclMin || value > axis.FSclMax) return;
  const double y = axis.YNorm(value);
  p.setPen(QPen(Opaque(CLimitColor), 1.0, Qt::DashLine));
  p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
  if (text.isEmpty()) return;
  p.setPen(Opaque(CLimitColor));
  // Above the line, or below it when the line runs along the top edge.
  const double w = fm.horizontalAdvance(text);
  const double base = y - fm.ascent() - 1 < area.top() ? y + fm.ascent() + 1 : y - fm.descent() - 1;
  p.drawText(QPointF(area.right() - w - 3, base), text);
}

// ---- time curves --------------------------------------------------------------------------

void PaintTimeChart(QPainter& p, const QRect& rect, TCrvTimeModel& model, const QString& caption, uint32_t fontCol, bool antialias,
                    TTimeChartScales& scales) {
  const QFontMetrics fm(p.font());
  const int cw = fm.horizontalAdvance(QLatin1Char('0'));
  const int ch = fm.height();
  const QColor ink = Opaque(fontCol);
  p.setPen(ink);
  p.drawText(QRect(rect.left(), rect.top() + 2, rect.width(), ch), Qt::AlignHCenter, caption);
  QRect& crv = scales.CrvRect;
  crv = QRect(QPoint(rect.left() + cw * 10, rect.top() + ch + 6), QPoint(rect.right() - cw, rect.bottom() - ch - 5));
  p.setPen(QPen(ink, 0.3));
  p.drawRect(crv);
  if (crv.width() < 10 || crv.height() < 10) return;

  const int z1 = model.ZoomIdx1(), z2 = model.ZoomIdx2();
  const TSeriesStore& s = model.Store();
  TTimeNorm& tm = scales.Time;
  if (z1 < z2 && z2 < s.Count()) {
    tm.SetSclMinMax(model.ZoomTS1(), model.ZoomTS2(), float(crv.left()), float(crv.width()));
    for (int i = z1; i <= z2; ++i) model.SetColumn(i, tm.TmNorm(s.Time(i)));
    p.setPen(QPen(QColor(150, 150, 150), 0.25));
    scales.TimeLabels.clear();
    // Long labels on a narrow chart: a label that would touch the one before it is left out.
    double freeFrom = crv.left();
    for (int i = 0; i < tm.FSclCount; ++i) {
      const double x = tm.TmNorm(tm.ScaleAt(i));
      if (tm.ScaleAt(i) > model.ZoomTS2()) break;
      p.drawLine(QPointF(x, crv.top()), QPointF(x, crv.bottom()));
      const QString label = tm.TextAt(tm.ScaleAt(i));
      const int w = fm.horizontalAdvance(label);
      if (x - w / 2.0 >= freeFrom && x + w / 2.0 <= crv.right()) {
        p.setPen(ink);
        p.drawText(QPointF(x - w / 2.0, crv.bottom() + 2 + fm.ascent()), label);
        scales.TimeLabels << QRectF(x - w / 2.0, crv.bottom() + 2, w, fm.height());
        freeFrom = x + w / 2.0 + fm.horizontalAdvance(QLatin1Char(' '));
        p.setPen(QPen(QColor(150, 150, 150), 0.25));
      }
    }
  }

  const int regions = model.SubRegionNumber();
  scales.Axes.assign(size_t(regions), TYLinNorm());
  for (int k = 0; k < regions; ++k) {
    const QList<int> curves = model.SubRegionSet(k);
    const double top = crv.top() + double(crv.height()) * k / regions;
    const double bottom = crv.top() + double(crv.height()) * (k + 1) / regions;
    TYLinNorm axis;
    axis.FBaseRec.FUnt = model.SubRegionUnt(k);
    std::tie(axis.FSclMin, axis.FSclMax) = model.SubRegionRange(k);
    axis.FBotLeft = bottom;
    axis.FXorYBer = bottom - top;
    axis.SetScaleIdx();
    axis.FBaseRec.FSym = model.SubRegionSym(k);
    scales.Axes[size_t(k)] = axis;
    p.setPen(QPen(QColor(190, 190, 190), 0.25));
    for (const double v : axis.Ticks()) {
      const double y = axis.YNorm(v);
      p.drawLine(QPointF(crv.left(), y), QPointF(crv.right(), y));
      p.setPen(ink);
      p.drawText(QRectF(rect.left(), y - ch / 2.0, crv.left() - 3 - rect.left(), ch), Qt::AlignRight | Qt::AlignVCenter, FltToStrShrt(v, axis.TickDigits()));
      p.setPen(QPen(QColor(190, 190, 190), 0.25));
    }
    if (k > 0) {
      p.setPen(QPen(ink, 0.3));
      p.drawLine(QPointF(crv.left(), top), QPointF(crv.right(), top));
    }
    p.setPen(ink);
    p.drawText(QPointF(crv.left() + 4, top + fm.ascent() + 2), QStringLiteral("%1 [%2]").arg(model.SubRegionSym(k), model.SubRegionUnt(k)));
    if (!(z1 < z2) || z2 >= s.Count()) continue;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, antialias);
    p.setClipRect(QRectF(crv.left(), top, crv.width(), bottom - top));
    for (int c : curves) {
      // Against the region's axis, never a range of its own the axis does not show.
      TYLinNorm y;
      y.FSclMin = axis.FSclMin;
      y.FSclMax = axis.FSclMax;
      y.FBotLeft = bottom;
      y.FXorYBer = bottom - top;
      p.setPen(QPen(Opaque(model.GetLnColor(c)), 1.0));
      // Polylines between gaps: a NaN breaks the curve instead of drawing to zero.
      QPolygonF line;
      line.reserve(z2 - z1 + 1);
      for (int i = z1; i <= z2; ++i) {
        const float v = s.Value(c, i);
        if (!std::isfinite(v)) {
          if (line.size() > 1) p.drawPolyline(line);
          line.clear();
          continue;
        }
        line << QPointF(model.Column(i), y.YNorm(model.RegionValue(c, v)));
      }
      if (line.size() > 1) p.drawPolyline(line);
    }
    p.restore();
  }
  // Markers.
  p.setPen(QPen(ink, 0.7));
  for (int m = 0; m < 2; ++m) {
    const int idx = model.MarkIdx(m);
    if (idx < z1 || idx > z2 || idx < 0) continue;
    const double x = model.Column(idx);
    p.drawLine(QPointF(x, crv.top()), QPointF(x, crv.bottom()));
    p.drawText(QPointF(x + 2, crv.top() + fm.ascent()), m == 0 ? QStringLiteral("M1") : QStringLiteral("M2"));
  }
}

// ---- bars ---------------------------------------------------------------------------------

void PaintHarmBars(QPainter& p, const QRectF& rect, const THarmBarModel& m, int rows) {
  const QFontMetrics fm(p.font());
  const int cw = fm.horizontalAdvance(QLatin1Char('0')), ch = fm.height();
  const QRectF area(QPointF(rect.left() + cw * 10, rect.top() + ch + 6), QPointF(rect.right() - cw - 1, rect.bottom() - ch * 2 - 6));
  p.setPen(Qt::black);
  p.drawText(QRectF(rect.left(), rect.top() + 2, rect.width(), ch), Qt::AlignHCenter, m.GetCaption());
  p.setPen(QPen(Qt::black, 0.3));
  p.drawRect(area);
  const int first = m.FHrmStartIdx, last = m.FHrmMaxIdx;
  if (last < first || area.width() < 10) return;
  TYLinNorm y;
  y.FSclMin = 0;
  y.FSclMax = m.FHrmMaxScl > 0 ? m.FHrmMaxScl : 1;
  // The unit beside the axis, where no bar can cover it.
  PaintValueAxis(p, area, rect.left(), y, fm, QString());
  p.drawText(QRectF(rect.left(), rect.top() + 2, area.left() - rect.left() - 3, ch), Qt::AlignRight, QStringLiteral("[%1]").arg(m.FYUnit));
  // As the scale and the text: the L-L harmonics without their fourth row.
  if (rows <= 0 || rows > 4) rows = m.VantaDisp() == TVantaDisp::sdHrmULL ? 3 : 4;
  const double slot = area.width() / (last - first + 1);
  const double bar = m.CalcBarWidth(float(slot)) / rows * 2;
  const bool harm = m.VantaDisp() == TVantaDisp::sdHrmULE || m.VantaDisp() == TVantaDisp::sdHrmULL;
  int widest = 0;
  for (int i = first; i <= last; ++i) widest = std::max(widest, fm.horizontalAdvance(m.FHrmTxt[size_t(i)]));
  const int every = std::max(1, int(std::ceil(widest * 1.5 / slot)));
  bool anyLimit = false;
  for (int i = first; i <= last; ++i) {
    const double x0 = area.left() + slot * (i - first) + (slot - bar * rows / 2) / 2;
    for (int r = 0; r < rows; ++r) {
      const double v = m.Value(T4Leiter(r), i);
      const double top = y.YNorm(v);
      p.fillRect(QRectF(x0 + r * bar / 2, top, bar / 2, area.bottom() - top), Opaque(CConductorColors[r]));
    }
    if (harm && m.HarmLim(i) > 0 && m.HarmLim(i) <= y.FSclMax) {
      anyLimit = true;
      p.setPen(QPen(Opaque(CLimitColor), 1.5));
      const double ly = y.YNorm(m.HarmLim(i));
      p.drawLine(QPointF(area.left() + slot * (i - first) + 1, ly), QPointF(area.left() + slot * (i - first + 1) - 1, ly));
    }
    if ((i - first) % every == 0) {
      p.setPen(Qt::black);
      const double w = std::max(60.0, fm.horizontalAdvance(m.FHrmTxt[size_t(i)]) + 4.0);
      p.drawText(QRectF(area.left() + slot * (i - first) - w / 2 + slot / 2, area.bottom() + 2, w, ch), Qt::AlignHCenter,
                 m.FHrmTxt[size_t(i)]);
    }
  }
  std::vector<TLegendEntry> legend;
  for (int r = 0; r < rows; ++r) legend.push_back({m.FConductors[size_t(r)], CConductorColors[r], false});
  if (anyLimit) legend.push_back({TTr::tr("Grenze"), CLimitColor, true});
  PaintLegend(p, QPointF(area.left(), rect.bottom() - ch - 1), legend, fm);
  // What the horizontal axis counts, at its right end.
  const TVantaDisp d = m.VantaDisp();
  const QString across = d == TVantaDisp::sdFrqBandULE || d == TVantaDisp::sdFrqBandULL || d == TVantaDisp::sdFrqBandIL
                             ? TTr::tr("Frequenzband")
                             : TTr::tr("Ordnung");
  p.setPen(Qt::black);
  p.drawText(QRectF(area.left(), rect.bottom() - ch - 1, area.width(), ch), Qt::AlignRight | Qt::AlignVCenter, across);
}

void PaintLimitBars(QPainter& p, const QRectF& rect, const TLimitBars& b) {
  const QFontMetrics fm(p.font());
  const int cw = fm.horizontalAdvance(QLatin1Char('0')), ch = fm.height();
  const QRectF area(QPointF(rect.left() + cw * 10, rect.top() + ch + 6), QPointF(rect.right() - cw - 1, rect.bottom() - ch * 2 - 8));
  p.setPen(Qt::black);
  p.drawText(QRectF(rect.left(), rect.top() + 2, rect.width(), ch), Qt::AlignHCenter, b.Caption);
  p.setPen(QPen(Qt::black, 0.3));
  p.drawRect(area);
  const int groups = int(b.Groups.size());
  const int series = int(b.Series.size());
  if (groups == 0 || series == 0 || area.width() < 10 || !(b.Max > b.Min)) return;
  TYLinNorm y;
  y.FSclMin = b.Min;
  y.FSclMax = b.Max;
  PaintValueAxis(p, area, rect.left(), y, fm, QString());
  p.drawText(QRectF(rect.left(), rect.top() + 2, area.left() - rect.left() - 3, ch), Qt::AlignRight, QStringLiteral("[%1]").arg(b.Unit));
  const double slot = area.width() / groups;
  const double bar = slot * 0.7 / series;
  QFont small = p.font();
  small.setPixelSize(std::max(6, int(std::lround(small.pixelSize() > 0 ? small.pixelSize() * 0.8 : 8))));
  const QFontMetrics sm(small);
  bool anyLimit = false;
  for (int g = 0; g < groups; ++g) {
    const double x0 = area.left() + slot * g + slot * 0.15;
    for (int s = 0; s < series; ++s) {
      const double v = g < int(b.Values[size_t(s)].size()) ? b.Values[size_t(s)][size_t(g)] : std::nan("");
      if (!std::isfinite(v)) continue;  // not recorded
      const double top = y.YNorm(v);
      const QRectF r(x0 + bar * s, top, bar * 0.9, area.bottom() - top);
      p.fillRect(r, Opaque(b.Series[size_t(s)].Color));
      // The figure on its bar where it fits (inside a tall bar, over a short
      // one): the shares that decide differ in tenths.
      const QString text = QString::number(v, 'f', 1);
      if (sm.horizontalAdvance(text) <= r.width()) {
        const bool inside = r.height() > sm.height() * 2;
        p.save();
        p.setFont(small);
        p.setPen(inside ? QColor(Qt::white) : QColor(Qt::black));
        p.drawText(QRectF(r.left(), inside ? top + 2 : top - sm.height() - 1, r.width(), sm.height()), Qt::AlignHCenter, text);
        p.restore();
      }
    }
    const double limit = g < int(b.Limits.size()) ? b.Limits[size_t(g)] : 0;
    if (limit > 0 && limit >= b.Min && limit <= b.Max) {
      anyLimit = true;
      p.setPen(QPen(Opaque(CLimitColor), 2.0));
      const double ly = y.YNorm(limit);
      p.drawLine(QPointF(area.left() + slot * g + 2, ly), QPointF(area.left() + slot * (g + 1) - 2, ly));
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left() + slot * g, area.bottom() + 2, slot, ch), Qt::AlignHCenter, fm.elidedText(b.Groups[g], Qt::ElideRight, int(slot)));
  }
  std::vector<TLegendEntry> legend = b.Series;
  if (anyLimit) legend.push_back({b.LimitText.isEmpty() ? TTr::tr("Grenze") : b.LimitText, CLimitColor, true});
  PaintLegend(p, QPointF(area.left(), rect.bottom() - ch - 1), legend, fm);
}

}  // namespace vanta
