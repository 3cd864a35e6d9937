#include "DevPicture.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace vanta {

namespace {
// The key cross beside the screen, in the order the device names its keys.
struct TKeyText {
  TBtnControlDevice Key;
  const char* Name;
  const char* Text;
  const char* Glyph;
  int Col, Row;  // in the cross, the centre at (0, 0)
};
constexpr TKeyText CCrossKeys[] = {{TBtnControlDevice::BtnLeft, "rctnglLeft", QT_TRANSLATE_NOOP("vanta::TDevPicture", "Links"), "◀", -1, 0},
                                   {TBtnControlDevice::BtnRight, "rctnglRight", QT_TRANSLATE_NOOP("vanta::TDevPicture", "Rechts"), "▶", 1, 0},
                                   {TBtnControlDevice::BtnTop, "rctngltop", QT_TRANSLATE_NOOP("vanta::TDevPicture", "Auf"), "▲", 0, -1},
                                   {TBtnControlDevice::BtnDown, "rctnglbot", QT_TRANSLATE_NOOP("vanta::TDevPicture", "Ab"), "▼", 0, 1},
                                   {TBtnControlDevice::BtnEnter, "rctnglCenter", QT_TRANSLATE_NOOP("vanta::TDevPicture", "Enter"), "OK", 0, 0}};
const QColor CHover(0xF2, 0x8E, 0x00);  // the lamps' "on" colour: the key the mouse is on

struct TLook {
  QColor Housing, Edge, Key, KeyText, Label;
  const char* Name;
};
TLook LookOf(TDevPictureKind k) {
  switch (k) {
    case TDevPictureKind::dpVanta:
      return {QColor(0x3A, 0x3F, 0x44), QColor(0x22, 0x25, 0x28),
              QColor(0x5C, 0x63, 0x6A), Qt::white,
              QColor(0xD8, 0xDC, 0xE0), "VANTA"};
    case TDevPictureKind::dpVantaLorn:
      return {QColor(0x1F, 0x3A, 0x5A), QColor(0x10, 0x1E, 0x30),
              QColor(0x3D, 0x5F, 0x86), Qt::white,
              QColor(0xC8, 0xD8, 0xEA), "VANTA LORN"};
    case TDevPictureKind::dpVantaDE:
      return {QColor(0xD5, 0xD8, 0xDC), QColor(0x8A, 0x8F, 0x95), QColor(0xF4, 0xF5, 0xF6),
              QColor(0x22, 0x25, 0x28), QColor(0x33, 0x36, 0x3A), "VANTA DE"};
    case TDevPictureKind::dpGeneric: break;
  }
  return {QColor(0xB8, 0xBC, 0xC1), QColor(0x7A, 0x7F, 0x85), QColor(0xE6, 0xE8, 0xEA),
          QColor(0x22, 0x25, 0x28), QColor(0x44, 0x48, 0x4C), QT_TRANSLATE_NOOP("vanta::TDevPicture", "Messgerät")};
}
}  // namespace

TDevPictureKind DevPictureFor(TDevType type) {
  switch (type) {
    case TDevType::devtypVanta: return TDevPictureKind::dpVanta;
    case TDevType::devtypVantaDE: return TDevPictureKind::dpVantaDE;
    case TDevType::devtypVantaLorn: return TDevPictureKind::dpVantaLorn;
    default: return TDevPictureKind::dpGeneric;
  }
}

TDevPicture::TDevPicture(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("imgDev"));
  setMouseTracking(true);
  // The arrow keys reach the window through the picture: it takes the focus, the keys go on.
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  SetKind(TDevPictureKind::dpGeneric);
}

void TDevPicture::SetKind(TDevPictureKind kind) {
  FKind = kind;
  FKeys.clear();
  FScreenArea = QRectF();
  if (kind != TDevPictureKind::dpVantaDE) {
    // A panel meter: the display (4:3, as the device sends it) at the left, the key cross beside it.
    // The rail-mounted type has neither.
    FScreenArea = QRectF(28, 44, 272, 204);
    for (const TKeyText& k : CCrossKeys)
      FKeys.append({k.Key, QString::fromLatin1(k.Name), tr(k.Text),
                    QRectF(368 + 50 * k.Col, 124 + 50 * k.Row, 44, 44)});
  }
  FHover = FPressed = -1;
  setToolTip(QString());
  PlaceScreen();
  update();
}

void TDevPicture::SetBitmap(const QPixmap& bitmap) {
  FBitmap = bitmap;
  update();
}

void TDevPicture::SetScreen(QWidget* screen) {
  FScreen = screen;
  if (!screen) return;
  screen->setParent(this);
  // The picture keeps the mouse: the screen is no key, and the hover must see the mouse leave a key for it.
  screen->setAttribute(Qt::WA_TransparentForMouseEvents);
  PlaceScreen();
}

void TDevPicture::PlaceScreen() {
  if (!FScreen) return;
  const QRect r = ScreenRect();
  FScreen->setGeometry(r);
  FScreen->setVisible(!r.isEmpty());
}

void TDevPicture::resizeEvent(QResizeEvent*) { PlaceScreen(); }

QRect TDevPicture::ScreenRect() const {
  // Inside the bezel.
  return FScreenArea.isEmpty() ? QRect() : ToWidget().mapRect(FScreenArea.adjusted(6, 6, -6, -6)).toRect();
}

QTransform TDevPicture::ToWidget() const {
  // Scaled to fit and centred: the picture keeps its proportions.
  const double s = std::min(width() / CWidth, height() / CHeight);
  QTransform t;
  t.translate((width() - CWidth * s) / 2, (height() - CHeight * s) / 2);
  t.scale(s, s);
  return t;
}

QRect TDevPicture::KeyRect(TBtnControlDevice key) const {
  for (const TDevKeyArea& k : FKeys)
    if (k.Key == key) return ToWidget().mapRect(k.Area).toRect();
  return {};
}

QRect TDevPicture::KeyRect(const QString& name) const {
  for (const TDevKeyArea& k : FKeys)
    if (k.Name == name) return KeyRect(k.Key);
  return {};
}

int TDevPicture::KeyAt(const QPointF& widgetPos) const {
  bool invertible = false;
  const QPointF at = ToWidget().inverted(&invertible).map(widgetPos);
  if (!invertible) return -1;
  for (int i = 0; i < FKeys.size(); ++i)
    if (FKeys[i].Area.contains(at)) return i;
  return -1;
}

void TDevPicture::SetHover(int index) {
  if (index == FHover) return;
  FHover = index;
  setCursor(index >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
  setToolTip(index >= 0 ? FKeys[index].Text : QString());
  update();
}

void TDevPicture::mouseMoveEvent(QMouseEvent* e) { SetHover(KeyAt(e->position())); }

void TDevPicture::leaveEvent(QEvent*) { SetHover(-1); }

void TDevPicture::mousePressEvent(QMouseEvent* e) {
  FPressed = e->button() == Qt::LeftButton ? KeyAt(e->position()) : -1;
}

void TDevPicture::mouseReleaseEvent(QMouseEvent* e) {
  // A key counts when the button goes up on the key it went down on.
  const int pressed = std::exchange(FPressed, -1);
  if (e->button() != Qt::LeftButton || pressed < 0 || KeyAt(e->position()) != pressed) return;
  emit KeyClicked(FKeys[pressed].Key);
}

void TDevPicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.setTransform(ToWidget());
  if (!FBitmap.isNull()) {
    // The real front brings its own keys: only the key under the mouse is marked on it.
    p.drawPixmap(QRectF(0, 0, CWidth, CHeight), FBitmap, QRectF(FBitmap.rect()));
    if (FHover >= 0) {
      QColor glow = CHover;
      glow.setAlpha(110);
      p.setPen(QPen(CHover, 2.5));
      p.setBrush(glow);
      p.drawRoundedRect(FKeys[FHover].Area, 6, 6);
    }
    return;
  }
  PaintHousing(p);
  if (!FScreenArea.isEmpty()) {
    // The screen's frame; the device's image goes inside, dark until the first one is there.
    const TLook look = LookOf(FKind);
    p.setPen(QPen(look.Edge, 2));
    p.setBrush(QColor(0x0E, 0x1A, 0x2B));
    p.drawRoundedRect(FScreenArea, 6, 6);
  }
  for (int i = 0; i < FKeys.size(); ++i) PaintKey(p, i);
}

void TDevPicture::PaintHousing(QPainter& p) const {
  const TLook look = LookOf(FKind);
  const QRectF body(8, 8, CWidth - 16, CHeight - 16);
  QLinearGradient g(body.topLeft(), body.bottomLeft());
  g.setColorAt(0, look.Housing.lighter(115));
  g.setColorAt(1, look.Housing.darker(110));
  p.setPen(QPen(look.Edge, 2));
  p.setBrush(g);
  p.drawRoundedRect(body, 14, 14);
  QFont f = font();
  f.setPixelSize(14);
  f.setBold(true);
  p.setFont(f);
  p.setPen(look.Label);
  p.drawText(QRectF(28, 14, 260, 24), Qt::AlignLeft | Qt::AlignVCenter, tr(look.Name));

  switch (FKind) {
    case TDevPictureKind::dpVanta:
    case TDevPictureKind::dpVantaLorn: {
      // Two status lamps at the lower right: running and time synchronised.
      f.setPixelSize(10);
      f.setBold(false);
      p.setFont(f);
      const char* const lamps[] = {"RUN", "SYNC"};
      for (int i = 0; i < 2; ++i) {
        const QPointF c(340 + 56 * i, 248);
        p.setPen(QPen(look.Edge, 1));
        p.setBrush(i == 0 ? QColor(0x3C, 0xC8, 0x50) : QColor(0xF2, 0x8E, 0x00));
        p.drawEllipse(c, 6, 6);
        p.setPen(look.Label);
        p.drawText(QRectF(c.x() - 24, c.y() + 10, 48, 14), Qt::AlignCenter, QLatin1String(lamps[i]));
      }
      if (FKind == TDevPictureKind::dpVantaLorn) {
        // Rack ears with their mounting holes.
        p.setPen(QPen(look.Edge, 1));
        p.setBrush(look.Housing.darker(125));
        for (double x : {0.0, CWidth - 14}) {
          p.drawRect(QRectF(x, 30, 14, CHeight - 60));
          p.setBrush(look.Edge);
          p.drawEllipse(QPointF(x + 7, 52), 3.5, 3.5);
          p.drawEllipse(QPointF(x + 7, CHeight - 52), 3.5, 3.5);
          p.setBrush(look.Housing.darker(125));
        }
      }
      break;
    }
    case TDevPictureKind::dpVantaDE: {
      // Screw terminals along the top and bottom, the eight binary-input lamps between.
      p.setPen(QPen(look.Edge, 1));
      for (double y : {44.0, 252.0}) {
        p.setBrush(QColor(0x6E, 0x73, 0x79));
        p.drawRoundedRect(QRectF(28, y, CWidth - 56, 28), 4, 4);
        p.setBrush(QColor(0xC0, 0xC4, 0xC8));
        for (int i = 0; i < 14; ++i) {
          const QPointF c(46 + 29.5 * i, y + 14);
          p.drawEllipse(c, 8, 8);
          p.drawLine(c + QPointF(-5, 0), c + QPointF(5, 0));
        }
      }
      f.setPixelSize(10);
      f.setBold(false);
      p.setFont(f);
      for (int i = 0; i < 8; ++i) {
        const QPointF c(48 + 54 * i, 94);
        p.setPen(QPen(look.Edge, 1));
        p.setBrush(QColor(0x92, 0x95, 0x9B));
        p.drawEllipse(c, 6, 6);
        p.setPen(look.Label);
        p.drawText(QRectF(c.x() + 8, c.y() - 7, 36, 14), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("BI%1").arg(i + 1));
      }
      break;
    }
    case TDevPictureKind::dpGeneric: {
      // No picture of this type: a plain front that says so.
      f.setPixelSize(12);
      f.setBold(false);
      p.setFont(f);
      p.setPen(look.Label);
      p.drawText(QRectF(28, 256, 272, 24), Qt::AlignLeft | Qt::AlignVCenter, tr("Gerätetyp ohne eigenes Bild"));
      break;
    }
  }
}

void TDevPicture::PaintKey(QPainter& p, int index) const {
  const TDevKeyArea& k = FKeys[index];
  const TLook look = LookOf(FKind);
  const bool hover = index == FHover;
  const QColor fill = hover ? CHover : look.Key;
  QLinearGradient g(k.Area.topLeft(), k.Area.bottomLeft());
  g.setColorAt(0, fill.lighter(hover ? 110 : 120));
  g.setColorAt(1, fill.darker(108));
  p.setPen(QPen(hover ? CHover.darker(130) : look.Edge, hover ? 2.5 : 1.2));
  p.setBrush(g);
  p.drawRoundedRect(k.Area, k.Key == TBtnControlDevice::BtnEnter ? 22 : 6, k.Key == TBtnControlDevice::BtnEnter ? 22 : 6);
  QFont f = font();
  f.setPixelSize(k.Key == TBtnControlDevice::BtnEnter ? 13 : 16);
  f.setBold(true);
  p.setFont(f);
  p.setPen(hover ? QColor(Qt::white) : look.KeyText);
  for (const TKeyText& c : CCrossKeys)
    if (c.Key == k.Key) p.drawText(k.Area, Qt::AlignCenter, QString::fromUtf8(c.Glyph));
}

}  // namespace vanta
