#pragma once
// TDevPicture: the device's front as a picture in the live window's remote
// display view. The device's own display image sits in the picture's screen
// (a widget placed there, kept over it as the picture scales), and the keys
// of the key cross beside it press the device's keys. The picture follows
// the device type; a type without a picture of its own gets a plain one with
// the same screen and keys. A bitmap of the real front can stand in for the
// drawn housing; screen and keys stay where the type puts them.
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QWidget>

#include "Sammler.h"

namespace vanta {

enum class TDevPictureKind : uint8_t { dpGeneric, dpVanta, dpVantaDE, dpVantaLorn };
// The picture a device type wears; anything without one of its own the generic one.
TDevPictureKind DevPictureFor(TDevType type);

struct TDevKeyArea {
  TBtnControlDevice Key;
  QString Name;  // "rctnglLeft": how the rest of the system calls the key
  QString Text;  // the tooltip, "Links"
  QRectF Area;   // in picture units (CWidth x CHeight)
};

class TDevPicture : public QWidget {
  Q_OBJECT
 public:
  static constexpr double CWidth = 480, CHeight = 320;
  explicit TDevPicture(QWidget* parent = nullptr);

  void SetKind(TDevPictureKind kind);
  TDevPictureKind Kind() const { return FKind; }
  // A picture of the front, stretched over the whole picture instead of the
  // drawn housing and keys; a null pixmap brings the drawn one back.
  void SetBitmap(const QPixmap& bitmap);
  const QPixmap& Bitmap() const { return FBitmap; }
  // The widget showing the device's display; hidden on a front without one.
  void SetScreen(QWidget* screen);
  // Where the screen is on the widget now; empty for a front without a display.
  QRect ScreenRect() const;
  const QList<TDevKeyArea>& Keys() const { return FKeys; }
  // Where a key is on the widget now; empty when the picture has no such key.
  QRect KeyRect(TBtnControlDevice key) const;
  QRect KeyRect(const QString& name) const;
  // The key under the mouse, -1 for none.
  int HoverIndex() const { return FHover; }

  QSize sizeHint() const override { return {int(CWidth), int(CHeight)}; }
  QSize minimumSizeHint() const override { return {int(CWidth / 2), int(CHeight / 2)}; }

 signals:
  void KeyClicked(vanta::TBtnControlDevice key);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent*) override;

 private:
  QTransform ToWidget() const;
  int KeyAt(const QPointF& widgetPos) const;
  void SetHover(int index);
  void PlaceScreen();
  void PaintHousing(QPainter& p) const;
  void PaintKey(QPainter& p, int index) const;
  TDevPictureKind FKind = TDevPictureKind::dpGeneric;
  QPixmap FBitmap;
  QRectF FScreenArea;  // empty: no display
  QPointer<QWidget> FScreen;
  QList<TDevKeyArea> FKeys;
  int FHover = -1;
  int FPressed = -1;
};

}  // namespace vanta
