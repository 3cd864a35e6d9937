#include "FreqCharts.h"

#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "ChartPaint.h"
#include "Formatting.h"

namespace vanta {

namespace {
// "name [record time]"; the name alone before the first record.
QString Caption(const QString& name, const QString& time) { return time.isEmpty() ? name : QStringLiteral("%1 [%2]").arg(name, time); }
}  // namespace

// ---- spectrum -----------------------------------------------------------------------------

TPQPaintBoxCrvFFT::TPQPaintBoxCrvFFT(QWidget* parent) : TPQPaintBox(parent) { FVantaDisp = TVantaDisp::sdOsziFFT; }

bool TPQPaintBoxCrvFFT::ZoomFFT(int level) {
  if (!FModel.ZoomFFT(level)) return false;
  FForceRepaint = true;
  RequestRepaint();
  return true;
}

void TPQPaintBoxCrvFFT::wheelEvent(QWheelEvent* e) {
  ZoomFFT(e->angleDelta().y() < 1 ? FModel.ScaleVal() - 1 : FModel.ScaleVal() + 1);
  if (FUpdateTrackBar) FUpdateTrackBar(FModel.ScaleVal());
}

void TPQPaintBoxCrvFFT::PaintCurves(QImage& image) {
  QPainter p(&image);
  const QFontMetrics fm(p.font());
  const int cw = fm.horizontalAdvance(QLatin1Char('0')), ch = fm.height();
  p.drawText(QRect(0, 2, width(), ch), Qt::AlignHCenter,
             tr("Spektrum   %1 Hz Linienabstand   %2 %").arg(FModel.FreqStep()).arg(FModel.ScaleVal() * 10));
  const QRectF area(QPointF(cw * 10, ch + 6), QPointF(width() - cw - 1, height() - ch - 6));
  p.setPen(QPen(Qt::black, 0.3));
  p.drawRect(area);
  const TSeriesStore& s = FModel.Store();
  const int lines = s.Count();
  FDrawnRevision = s.Revision();
  if (lines == 0 || area.width() < 10) return;
  // Frequency axis: 0 .. n x the line step (the automatic range's end).
  TXLinNorm x;
  x.FSclMin = 0;
  x.FSclMax = FModel.FreqMax() > 0 ? FModel.FreqMax() : FModel.FreqStep() * lines;
  x.FBotLeft = area.left();
  x.FXorYBer = area.width();
  x.SetScaleIdx();
  for (const double v : x.Ticks()) {
    const double px = x.YNorm(v);
    p.setPen(QPen(QColor(190, 190, 190), 0.25));
    p.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
    p.setPen(Qt::black);
    p.drawText(QRectF(px - 40, area.bottom() + 2, 80, ch), Qt::AlignHCenter, FltToStrShrt(v, 0) + QStringLiteral(" Hz"));
  }
  const int regions = std::max(1, FModel.SubRegionNumber());
  for (int k = 0; k < regions && k < FModel.SubRegionNumber(); ++k) {
    const QList<int> curves = FModel.SubRegionSet(k);
    const QRectF r(area.left(), area.top() + area.height() * k / regions, area.width(), area.height() / regions);
    // The axis is labelled with the region's first curve; every curve is
    // drawn in its own range (the automatic range gives each its own top).
    TYLinNorm y;
    if (!curves.isEmpty()) {
      y.FSclMin = FModel.Curve(curves.first()).FSclMin;
      y.FSclMax = FModel.Curve(curves.first()).FSclMax;
    }
    PaintValueAxis(p, r, 0, y, fm, QStringLiteral("%1 [%2]").arg(FModel.SubRegionSym(k), FModel.SubRegionUnt(k)));
    p.save();
    p.setClipRect(r);
    for (int c : curves) {
      TYLinNorm cy = y;
      cy.FSclMin = FModel.Curve(c).FSclMin;
      cy.FSclMax = FModel.Curve(c).FSclMax;
      p.setPen(QPen(Opaque(FModel.GetLnColor(c)), 1.0));
      // One stem per line; a line below a pixel is not drawn.
      for (int j = 0; j < lines; ++j) {
        const double top = cy.YNorm(std::max<double>(cy.FSclMin, s.Value(c, j)));
        if (r.bottom() - top < 0.5) continue;
        const double px = x.YNorm(FModel.FreqStep() * j);
        p.drawLine(QPointF(px, r.bottom()), QPointF(px, top));
      }
    }
    p.restore();
  }
}

// ---- bars ---------------------------------------------------------------------------------

TPQPaintBoxHarm::TPQPaintBoxHarm(QWidget* parent) : TPQPaintBox(parent) {}

void TPQPaintBoxHarm::PaintCurves(QImage& image) {
  QPainter p(&image);
  PaintHarmBars(p, QRectF(image.rect()), FModel);
}

// ---- vectors ------------------------------------------------------------------------------

TPQPaintBoxVecDiag::TPQPaintBoxVecDiag(QWidget* parent) : TPQPaintBox(parent) {
  FVantaDisp = TVantaDisp::sdVecDiag;
  FFontCol = 0xFF000000;
}

void TPQPaintBoxVecDiag::PaintCurves(QImage& image) {
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(p.font());
  const double radius = std::min(width(), height()) / 2.0 - fm.height() * 2;
  const QPointF c(width() / 2.0 - width() / 6.0, height() / 2.0);
  p.setPen(Opaque(FFontCol));
  p.drawText(QRect(0, 2, width(), fm.height()), Qt::AlignHCenter, Caption(tr("Vektor-Diagramm"), RecordTime()));
  if (radius < 10) return;
  p.setPen(QPen(QColor(180, 180, 180), 0.5));
  p.drawEllipse(c, radius, radius);
  p.drawEllipse(c, radius / 2, radius / 2);
  p.drawLine(QPointF(c.x() - radius, c.y()), QPointF(c.x() + radius, c.y()));
  p.drawLine(QPointF(c.x(), c.y() - radius), QPointF(c.x(), c.y() + radius));
  const double fullU = FModel.FullScale(false), fullI = FModel.FullScale(true);
  static const char* const CNames[] = {"U1", "U2", "U3", "UN", "U12", "U23", "U31", "I1", "I2", "I3"};
  static const uint32_t CColors[] = {0xFF1F5FBF, 0xFF2E9E3E, 0xFFD03030, 0xFF808080, 0xFF6A3FA0, 0xFFE08020,
                                     0xFF20A0A0, 0xFF1F5FBF, 0xFF2E9E3E, 0xFFD03030};
  for (int k = 0; k < 10; ++k) {
    const TMagniAngle m = FModel.MagAngle(TVecPointer(k));
    const bool current = k >= 7;
    const double scale = m.Magn / (current ? fullI : fullU);
    const QPointF end = TVectorModel::PhasorEnd(c, radius, scale, m.Angle);
    p.setPen(QPen(Opaque(CColors[k]), current ? 1.5 : 2.5, current ? Qt::DashLine : Qt::SolidLine));
    p.drawLine(c, end);
    p.setPen(Opaque(CColors[k]));
    p.drawText(end + QPointF(4, -4), QLatin1String(CNames[k]));
  }
  // The legend with magnitude and angle of every phasor.
  double ly = fm.height() * 2;
  const double lx = width() * 2.0 / 3.0;
  for (int k = 0; k < 10; ++k) {
    const TMagniAngle m = FModel.MagAngle(TVecPointer(k));
    p.setPen(Opaque(CColors[k]));
    p.drawText(QPointF(lx, ly),
               QStringLiteral("%1=%2  <%3°").arg(QLatin1String(CNames[k])).arg(ValueText(m.Magn, k >= 7 ? 5 : 2)).arg(double(m.Angle), 0, 'f', 1));
    ly += fm.height() * 1.4;
  }
}

// ---- load flow ----------------------------------------------------------------------------

TPQPaintBoxLoadFlow::TPQPaintBoxLoadFlow(QWidget* parent) : TPQPaintBox(parent) { FVantaDisp = TVantaDisp::sdLoadFlow; }

void TPQPaintBoxLoadFlow::PaintCurves(QImage& image) {
  QPainter p(&image);
  const QFontMetrics fm(p.font());
  const int cw = fm.horizontalAdvance(QLatin1Char('0')), ch = fm.height();
  const TLoadFlowModel& m = FModel;
  const double half = (height() - ch * 4) / 2.0;
  const QRectF uArea(QPointF(cw * 10, ch * 3), QSizeF(width() - cw * 11, half - ch));
  const QRectF iArea(QPointF(cw * 10, ch * 3 + half), QSizeF(width() - cw * 11, half - ch));
  // The caption with the record time; beside it per phase the current's
  // fundamental and the displacement between voltage and current.
  p.drawText(QRect(0, 2, width(), ch), Qt::AlignHCenter, Caption(tr("Lastfluss"), RecordTime()));
  QString phases;
  for (int k = 0; k < 3; ++k)
    phases += QStringLiteral("I%1=%2 Phi_L%1=%3°   ").arg(k + 1).arg(ValueText(m.IMag(T4Leiter(k), 1), 5)).arg(double(m.BasicAngle()[size_t(k)]), 0, 'f', 1);
  p.drawText(QRect(0, 2 + ch, width(), ch), Qt::AlignHCenter, phases.trimmed());
  const int last = m.FHrmMaxIdx;
  for (int part = 0; part < 2; ++part) {
    const QRectF area = part == 0 ? uArea : iArea;
    p.setPen(QPen(Qt::black, 0.3));
    p.drawRect(area);
    TYLinNorm y;
    y.FSclMax = part == 0 ? (m.FHrmMaxU > 0 ? m.FHrmMaxU : 1) : (m.FHrmMaxI > 0 ? m.FHrmMaxI : 1);
    PaintValueAxis(p, area, 0, y, fm, part == 0 ? QStringLiteral("U [%]") : QStringLiteral("I [A]"));
    const double slot = area.width() / (last + 1);
    for (int h = 0; h <= last; ++h)
      for (int k = 0; k < 3; ++k) {
        const double v = part == 0 ? m.UMag(T4Leiter(k), h) : m.IMag(T4Leiter(k), h);
        const double top = y.YNorm(v);
        p.fillRect(QRectF(area.left() + slot * h + slot * (0.15 + 0.23 * k), top, slot * 0.22, area.bottom() - top), Opaque(CConductorColors[k]));
      }
    p.setPen(Qt::black);
    for (int h = 0; h <= last; h += 5) p.drawText(QRectF(area.left() + slot * h - 20 + slot / 2, area.bottom() + 1, 40, ch), Qt::AlignHCenter, QString::number(h));
  }
}

}  // namespace vanta
