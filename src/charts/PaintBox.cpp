#include "PaintBox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRubberBand>
#include <cmath>
#include <tuple>

#include "Formatting.h"

namespace vanta {

namespace {
constexpr int CMinRepaintMs = 40;

// Stored colours may carry no alpha (0x00RRGGBB); they are drawn opaque.
QColor Opaque(uint32_t argb) { return QColor::fromRgb(argb | 0xFF000000u); }
}  // namespace

TPQPaintBox::TPQPaintBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 120);
  FThrottle.setSingleShot(true);
  connect(&FThrottle, &QTimer::timeout, this, [this] {
    FSinceLast.restart();
    update();
  });
}

void TPQPaintBox::RequestRepaint() {
  if (!FSinceLast.isValid() || FSinceLast.elapsed() >= CMinRepaintMs) {
    FSinceLast.restart();
    update();
  } else if (!FThrottle.isActive()) {
    FThrottle.start(int(CMinRepaintMs - FSinceLast.elapsed()));
  }
}

QString TPQPaintBox::RecordTime() const {
  if (FTSStart.Sec == 0) return {};
  const QString text = TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(FTSStart));
  return FZoneText.isEmpty() ? text : text + QLatin1Char(' ') + FZoneText;
}

QImage TPQPaintBox::Image() {
  if (FBMPMain.size() != size() || FForceRepaint || DataChanged()) {
    FBMPMain = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    FBMPMain.fill(QColor(0xF5, 0xF5, 0xF5));
    PaintCurves(FBMPMain);
    FForceRepaint = false;
    ++FPaintCnt;
    if (FPaintNotify) FPaintNotify(this, FPaintCnt);
  }
  return FBMPMain;
}

void TPQPaintBox::paintEvent(QPaintEvent*) {
  const QImage image = Image();
  QPainter p(this);
  p.drawImage(0, 0, image);
}

// ---- the time-curve chart -----------------------------------------------------------------

TPQPaintBoxCrvTime::TPQPaintBoxCrvTime(QWidget* parent) : TPQPaintBox(parent) {
  FVantaDisp = TVantaDisp::sdOsziTime;
  FZoomRect = new QRubberBand(QRubberBand::Rectangle, this);
  setMouseTracking(false);
}

void TPQPaintBoxCrvTime::SetStack(int mode) {
  FModel.SetStack(mode);
  FForceRepaint = true;
  RequestRepaint();
}

void TPQPaintBoxCrvTime::AutoScaleAll() {
  FModel.AutoScaleAll();
  FForceRepaint = true;
  RequestRepaint();
}

void TPQPaintBoxCrvTime::ResetZoom() {
  FModel.ResetZoom();
  FForceRepaint = true;
}

void TPQPaintBoxCrvTime::PaintCurves(QImage& image) {
  QPainter p(&image);
  const QFontMetrics fm(p.font());
  const int cw = fm.horizontalAdvance(QLatin1Char('0'));
  const int ch = fm.height();
  const QColor ink = Opaque(FFontCol);
  // Caption: the duration shown and the record time.
  p.setPen(ink);
  // Curves without a record time (samples of a run, a table read in) show the duration alone.
  p.drawText(QRect(0, 2, width(), ch), Qt::AlignHCenter, QStringLiteral("%1   %2").arg(FModel.GetCaption(), RecordTime()).trimmed());
  FCrvRect = QRect(QPoint(cw * 10, ch + 6), QPoint(width() - cw - 1, height() - ch - 6));
  p.setPen(QPen(ink, 0.3));
  p.drawRect(FCrvRect);
  if (FCrvRect.width() < 10 || FCrvRect.height() < 10) return;

  const int z1 = FModel.ZoomIdx1(), z2 = FModel.ZoomIdx2();
  const TSeriesStore& s = FModel.Store();
  if (z1 < z2 && z2 < s.Count()) {
    FTmNorm.SetSclMinMax(FModel.ZoomTS1(), FModel.ZoomTS2(), float(FCrvRect.left()), float(FCrvRect.width()));
    for (int i = z1; i <= z2; ++i) FModel.SetColumn(i, FTmNorm.TmNorm(s.Time(i)));
    p.setPen(QPen(QColor(150, 150, 150), 0.25));
    FTimeLabels.clear();
    // Long labels on a narrow chart: a label that would touch the one before it is left out.
    double freeFrom = FCrvRect.left();
    for (int i = 0; i < FTmNorm.FSclCount; ++i) {
      const double x = FTmNorm.TmNorm(FTmNorm.ScaleAt(i));
      if (FTmNorm.ScaleAt(i) > FModel.ZoomTS2()) break;
      p.drawLine(QPointF(x, FCrvRect.top()), QPointF(x, FCrvRect.bottom()));
      const QString label = FTmNorm.TextAt(FTmNorm.ScaleAt(i));
      const int w = fm.horizontalAdvance(label);
      if (x - w / 2.0 >= freeFrom && x + w / 2.0 <= FCrvRect.right()) {
        p.setPen(ink);
        p.drawText(QPointF(x - w / 2.0, FCrvRect.bottom() + 2 + fm.ascent()), label);
        FTimeLabels << QRectF(x - w / 2.0, FCrvRect.bottom() + 2, w, fm.height());
        freeFrom = x + w / 2.0 + fm.horizontalAdvance(QLatin1Char(' '));
        p.setPen(QPen(QColor(150, 150, 150), 0.25));
      }
    }
  }

  const int regions = FModel.SubRegionNumber();
  FRegionAxes.assign(size_t(regions), TYLinNorm());
  for (int k = 0; k < regions; ++k) {
    const QList<int> curves = FModel.SubRegionSet(k);
    const double top = FCrvRect.top() + double(FCrvRect.height()) * k / regions;
    const double bottom = FCrvRect.top() + double(FCrvRect.height()) * (k + 1) / regions;
    TYLinNorm axis;
    axis.FBaseRec.FUnt = FModel.SubRegionUnt(k);
    std::tie(axis.FSclMin, axis.FSclMax) = FModel.SubRegionRange(k);
    axis.FBotLeft = bottom;
    axis.FXorYBer = bottom - top;
    axis.SetScaleIdx();
    axis.FBaseRec.FSym = FModel.SubRegionSym(k);
    FRegionAxes[size_t(k)] = axis;
    p.setPen(QPen(QColor(190, 190, 190), 0.25));
    for (const double v : axis.Ticks()) {
      const double y = axis.YNorm(v);
      p.drawLine(QPointF(FCrvRect.left(), y), QPointF(FCrvRect.right(), y));
      p.setPen(ink);
      p.drawText(QRectF(0, y - ch / 2.0, FCrvRect.left() - 3, ch), Qt::AlignRight | Qt::AlignVCenter, FltToStrShrt(v, 2));
      p.setPen(QPen(QColor(190, 190, 190), 0.25));
    }
    if (k > 0) {
      p.setPen(QPen(ink, 0.3));
      p.drawLine(QPointF(FCrvRect.left(), top), QPointF(FCrvRect.right(), top));
    }
    p.setPen(ink);
    p.drawText(QPointF(FCrvRect.left() + 4, top + fm.ascent() + 2),
               QStringLiteral("%1 [%2]").arg(FModel.SubRegionSym(k), FModel.SubRegionUnt(k)));
    if (!(z1 < z2) || z2 >= s.Count()) continue;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, FAntialias);
    p.setClipRect(QRectF(FCrvRect.left(), top, FCrvRect.width(), bottom - top));
    for (int c : curves) {
      // Against the region's axis, never a range of its own the axis does not show.
      TYLinNorm y;
      y.FSclMin = axis.FSclMin;
      y.FSclMax = axis.FSclMax;
      y.FBotLeft = bottom;
      y.FXorYBer = bottom - top;
      p.setPen(QPen(Opaque(FModel.GetLnColor(c)), 1.0));
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
        line << QPointF(FModel.Column(i), y.YNorm(FModel.RegionValue(c, v)));
      }
      if (line.size() > 1) p.drawPolyline(line);
    }
    p.restore();
  }
  // Markers.
  p.setPen(QPen(ink, 0.7));
  for (int m = 0; m < 2; ++m) {
    const int idx = FModel.MarkIdx(m);
    if (idx < z1 || idx > z2 || idx < 0) continue;
    const double x = FModel.Column(idx);
    p.drawLine(QPointF(x, FCrvRect.top()), QPointF(x, FCrvRect.bottom()));
    p.drawText(QPointF(x + 2, FCrvRect.top() + fm.ascent()), m == 0 ? QStringLiteral("M1") : QStringLiteral("M2"));
  }
  FDrawnRevision = s.Revision();
}

void TPQPaintBoxCrvTime::mousePressEvent(QMouseEvent* e) {
  // A chart whose owner takes no mouse reports keeps no start point: its
  // drags do not zoom (the live oscilloscope redraws every record anyway).
  if (!FMouseNotify) return;
  FMouseStart = e->position().toPoint();
  if (e->button() == Qt::RightButton) {
    FMouseNotify(this, FMouseStart, QPoint(), e->button(), e->modifiers());
  } else if (e->button() == Qt::LeftButton) {
    FLeftMouse = true;
    FZoomRect->setGeometry(QRect(FMouseStart, QSize(5, 5)));
    FZoomRect->show();
  }
}

void TPQPaintBoxCrvTime::mouseMoveEvent(QMouseEvent* e) {
  if (FLeftMouse) FZoomRect->setGeometry(QRect(FMouseStart, e->position().toPoint()).normalized());
}

void TPQPaintBoxCrvTime::mouseReleaseEvent(QMouseEvent* e) {
  const double x = e->position().x();
  auto notify = [this](int mark, int idx) {
    if (!FOnMarkerNotify || idx < 0) return;
    QList<float> values;
    for (int c = 0; c < FModel.GetCrvCnt(); ++c) values << FModel.Store().Value(c, idx);
    FOnMarkerNotify(this, mark, FModel.MarkTS(mark), FModel.CurveNames(), values);
  };
  if (e->modifiers() & Qt::ShiftModifier) {
    notify(0, FModel.SetMarker(0, FMouseStart.x()));
  } else if (e->modifiers() & Qt::AltModifier) {
    notify(1, FModel.SetMarker(1, FMouseStart.x()));
  } else if (FLeftMouse && !FMouseStart.isNull() && FModel.ZoomDrag(FMouseStart.x(), x, FZoomRect->width())) {
    if (FOnZoomChanged) FOnZoomChanged();
  } else if (FMouseNotify && FModel.Stack() != 0) {
    FMouseNotify(this, FMouseStart, QPoint(), e->button(), e->modifiers());
  }
  FMouseStart = QPoint();
  FZoomRect->hide();
  FLeftMouse = false;
  FForceRepaint = true;
  RequestRepaint();
}

}  // namespace vanta
