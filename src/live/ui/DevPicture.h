#pragma once
// TDevPicture: the device's front as a picture on the live window's start
// page. Its keys are the ways into the views: a click on a key opens the
// view it names, the device's display leads to the remote display. The
// picture follows the device type; a type without a picture of its own gets
// a plain one with the same keys, so the start page works for every device.
#include <QList>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QWidget>

#include "Sammler.h"

namespace vanta {

// What a key leads to.
enum class TDevKey : uint8_t { dkDisplay, dkPanel, dkOsci, dkFFT, dkVecDiag, dkHarm, dkIHarm, dkBands };

enum class TDevPictureKind : uint8_t { dpGeneric, dpVanta, dpVantaDE, dpVantaLorn };
// The picture a device type wears; anything without one of its own the generic one.
TDevPictureKind DevPictureFor(TDevType type);

struct TDevKeyArea {
  TDevKey Key;
  QString Text;  // the caption on the key, "Messwerte"
  QRectF Area;   // in picture units (CWidth x CHeight)
  bool Enabled = true;
};

class TDevPicture : public QWidget {
  Q_OBJECT
 public:
  static constexpr double CWidth = 480, CHeight = 320;
  explicit TDevPicture(QWidget* parent = nullptr);

  void SetKind(TDevPictureKind kind);
  TDevPictureKind Kind() const { return FKind; }
  const QList<TDevKeyArea>& Keys() const { return FKeys; }
  bool HasKey(TDevKey key) const;
  // A key that is not offered (the view is not there for this connection)
  // stays in the picture, greyed, and does nothing.
  void SetKeyEnabled(TDevKey key, bool enabled);
  // Where a key is on the widget now; empty when the picture has no such key.
  QRect KeyRect(TDevKey key) const;
  // The key under the mouse, -1 for none.
  int HoverIndex() const { return FHover; }

  QSize sizeHint() const override { return {int(CWidth), int(CHeight)}; }
  QSize minimumSizeHint() const override { return {int(CWidth / 2), int(CHeight / 2)}; }

 signals:
  void KeyClicked(vanta::TDevKey key);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent*) override;

 private:
  QTransform ToWidget() const;
  int KeyAt(const QPointF& widgetPos) const;
  void SetHover(int index);
  void PaintHousing(QPainter& p) const;
  void PaintKey(QPainter& p, int index) const;
  TDevPictureKind FKind = TDevPictureKind::dpGeneric;
  QList<TDevKeyArea> FKeys;
  int FHover = -1;
  int FPressed = -1;
};

}  // namespace vanta
