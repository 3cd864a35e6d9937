#pragma once
// The chart widgets. TPQPaintBox draws into an off-screen image and copies
// it to the screen; repaints are coalesced so a chart is redrawn at most
// every 40 ms, and only when something it shows changed.
// TPQPaintBoxCrvTime is the time-curve chart: it paints what its model
// (TCrvTimeModel) holds, stacked into regions, with drag zoom and markers.
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "ChartScales.h"
#include "CrvTimeModel.h"
#include "LiveRecords.h"
#include "TimeStamps.h"
#include "VantaFW.h"

class QRubberBand;

namespace vanta {

class TPQPaintBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPQPaintBox(QWidget* parent = nullptr);
  // Asks for a repaint: at once when the last one is 40 ms ago, else once
  // when that time is up.
  void RequestRepaint();
  void SetVantaDisp(TVantaDisp d) { FVantaDisp = d; }
  // The drawn image (what the screen shows), for copies and tests.
  QImage Image();
  int PaintCount() const { return FPaintCnt; }
  // FTSStart as the caption shows it (with FZoneText); empty before a record
  // time is known.
  QString RecordTime() const;

  tmStamp_t FTSStart;
  // Set when the times are not the device's own local time but only a
  // file's offset ("UTC+01:00"): the caption says which.
  QString FZoneText;
  TVantaFW FFW;  // the device's firmware, copied from the client when the chart is made
  uint32_t FFontCol = 0xFF202020;
  bool FAntialias = false;  // curves smoothed (slower)
  TVantaDisp FVantaDisp = TVantaDisp::sdOsziTime;
  bool FForceRepaint = true;
  // Told after every drawing of the chart (observers such as tests and
  // recorders of what was shown), with the drawing's count.
  std::function<void(TPQPaintBox* sender, int count)> FPaintNotify;

 protected:
  void paintEvent(QPaintEvent*) override;
  // Draws the whole chart into `image` (already sized and filled).
  virtual void PaintCurves(QImage& image) = 0;
  // True when the data changed since the last drawing.
  virtual bool DataChanged() const { return false; }

  QImage FBMPMain;
  int FPaintCnt = 0;

 private:
  QTimer FThrottle;
  QElapsedTimer FSinceLast;
};

class TPQPaintBoxCrvTime : public TPQPaintBox {
  Q_OBJECT
 public:
  explicit TPQPaintBoxCrvTime(QWidget* parent = nullptr);
  TCrvTimeModel& Model() { return FModel; }
  // Stack mode 0 -> 1 -> 2 -> 0 and repaint; autoscale all curves and repaint.
  void SetStack(int mode);
  void AutoScaleAll();
  void ResetZoom();
  bool CopyToClip(QStringList& list) const { return FModel.CopyToClip(list); }
  // What the last drawing used: the time axis, the curve area and each region's value axis.
  const TTimeNorm& TimeAxis() const { return FTmNorm; }
  QRect CurveRect() const { return FCrvRect; }
  const std::vector<TYLinNorm>& RegionAxes() const { return FRegionAxes; }
  // Where the time labels were written.
  const QList<QRectF>& TimeLabels() const { return FTimeLabels; }
  // Marker 1 (mark 0) or 2 (mark 1) at pixel column x of the last drawing, as
  // a Shift or Alt click sets it: the marker callback gets its values.
  // Returns the record index (-1 without records).
  int MarkAt(int mark, double x);
  // (chart, mark 0 or 1, time, curve names, the record's values)
  std::function<void(TPQPaintBoxCrvTime*, int, int64_t, const QStringList&, const QList<float>&)> FOnMarkerNotify;
  // The zoom was changed by a drag (in or back out).
  std::function<void()> FOnZoomChanged;
  // (chart, start point, end point, button, modifiers); without it the mouse neither zooms nor sets markers.
  std::function<void(TPQPaintBoxCrvTime*, QPoint, QPoint, Qt::MouseButton, Qt::KeyboardModifiers)> FMouseNotify;

 protected:
  void PaintCurves(QImage& image) override;
  bool DataChanged() const override { return FModel.Store().Revision() != FDrawnRevision; }
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  TCrvTimeModel FModel;
  TTimeNorm FTmNorm;
  std::vector<TYLinNorm> FRegionAxes;
  uint64_t FDrawnRevision = ~uint64_t(0);
  QRect FCrvRect;
  QList<QRectF> FTimeLabels;
  QPoint FMouseStart;
  bool FLeftMouse = false;
  QRubberBand* FZoomRect = nullptr;
};

}  // namespace vanta
