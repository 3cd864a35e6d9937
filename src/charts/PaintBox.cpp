#include "PaintBox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRubberBand>
#include <cmath>
#include <tuple>

#include "ChartPaint.h"

namespace vanta {

namespace {
constexpr int CMinRepaintMs = 40;
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
  // Curves without a record time (samples of a run, a table read in) show the duration alone.
  TTimeChartScales scales;
  scales.Time = FTmNorm;
  PaintTimeChart(p, image.rect(), FModel, QStringLiteral("%1   %2").arg(FModel.GetCaption(), RecordTime()).trimmed(), FFontCol, FAntialias,
                 scales);
  FCrvRect = scales.CrvRect;
  FTmNorm = scales.Time;
  FRegionAxes = std::move(scales.Axes);
  FTimeLabels = std::move(scales.TimeLabels);
  FDrawnRevision = FModel.Store().Revision();
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

int TPQPaintBoxCrvTime::MarkAt(int mark, double x) {
  const int idx = FModel.SetMarker(mark, x);
  if (FOnMarkerNotify && idx >= 0) {
    QList<float> values;
    for (int c = 0; c < FModel.GetCrvCnt(); ++c) values << FModel.Store().Value(c, idx);
    FOnMarkerNotify(this, mark, FModel.MarkTS(mark), FModel.CurveNames(), values);
  }
  FForceRepaint = true;
  RequestRepaint();
  return idx;
}

void TPQPaintBoxCrvTime::mouseReleaseEvent(QMouseEvent* e) {
  const double x = e->position().x();
  if (e->modifiers() & Qt::ShiftModifier) {
    MarkAt(0, FMouseStart.x());
  } else if (e->modifiers() & Qt::AltModifier) {
    MarkAt(1, FMouseStart.x());
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
