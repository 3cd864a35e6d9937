#include "DevPicture.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <utility>

namespace vanta {

namespace {
// The view keys every picture has, in the order the start page offers them.
struct TKeyText {
  TDevKey Key;
  const char* Text;
};
constexpr TKeyText CViewKeys[] = {{TDevKey::dkPanel, "Messwerte"},  {TDevKey::dkOsci, "Oszilloskop"},
                                  {TDevKey::dkFFT, "Spektrum"},     {TDevKey::dkVecDiag, "Vektoren"},
                                  {TDevKey::dkHarm, "Harmonische"}, {TDevKey::dkIHarm, "Zw.-Harm."},
                                  {TDevKey::dkBands, "2-9 kHz"}};
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
          QColor(0x22, 0x25, 0x28), QColor(0x44, 0x48, 0x4C), "Messgerät"};
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
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  SetKind(TDevPictureKind::dpGeneric);
}

void TDevPicture::SetKind(TDevPictureKind kind) {
  // The enablement belongs to the connection, not to the picture: it survives a new picture.
  QList<std::pair<TDevKey, bool>> enabled;
  for (const TDevKeyArea& k : FKeys) enabled.append({k.Key, k.Enabled});
  FKind = kind;
  FKeys.clear();
  auto view = [this](int i, const QRectF& r) {
    FKeys.append({CViewKeys[i].Key, QString::fromUtf8(CViewKeys[i].Text), r});
  };
  switch (kind) {
    case TDevPictureKind::dpVanta:
    case TDevPictureKind::dpVantaLorn:
      // A panel meter: the display at the left, a row of keys under it, a column beside it.
      FKeys.append({TDevKey::dkDisplay, QStringLiteral("Gerätepanel"), QRectF(28, 44, 272, 168)});
      for (int i = 0; i < 4; ++i) view(i, QRectF(28 + 70 * i, 232, 62, 48));
      for (int i = 4; i < 7; ++i) view(i, QRectF(324, 44 + 60 * (i - 4), 128, 48));
      break;
    case TDevPictureKind::dpVantaDE:
      // A rail-mounted device without a display: terminals, input lamps, two rows of keys.
      for (int i = 0; i < 4; ++i) view(i, QRectF(28 + 108 * i, 124, 100, 52));
      for (int i = 4; i < 7; ++i) view(i, QRectF(28 + 108 * (i - 4), 188, 100, 52));
      break;
    case TDevPictureKind::dpGeneric:
      for (int i = 0; i < 4; ++i) view(i, QRectF(28 + 108 * i, 176, 100, 48));
      for (int i = 4; i < 7; ++i) view(i, QRectF(28 + 108 * (i - 4), 236, 100, 48));
      break;
  }
  for (const auto& [key, on] : enabled) SetKeyEnabled(key, on);
  FHover = FPressed = -1;
  setToolTip(QString());
  update();
}

bool TDevPicture::HasKey(TDevKey key) const {
  for (const TDevKeyArea& k : FKeys)
    if (k.Key == key) return true;
  return false;
}

void TDevPicture::SetKeyEnabled(TDevKey key, bool enabled) {
  for (TDevKeyArea& k : FKeys)
    if (k.Key == key && k.Enabled != enabled) {
      k.Enabled = enabled;
      update();
    }
}

QTransform TDevPicture::ToWidget() const {
  // Scaled to fit and centred: the picture keeps its proportions.
  const double s = std::min(width() / CWidth, height() / CHeight);
  QTransform t;
  t.translate((width() - CWidth * s) / 2, (height() - CHeight * s) / 2);
  t.scale(s, s);
  return t;
}

QRect TDevPicture::KeyRect(TDevKey key) const {
  for (const TDevKeyArea& k : FKeys)
    if (k.Key == key) return ToWidget().mapRect(k.Area).toRect();
  return {};
}

int TDevPicture::KeyAt(const QPointF& widgetPos) const {
  bool invertible = false;
  const QPointF at = ToWidget().inverted(&invertible).map(widgetPos);
  if (!invertible) return -1;
  for (int i = 0; i < FKeys.size(); ++i)
    if (FKeys[i].Enabled && FKeys[i].Area.contains(at)) return i;
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
  p.setTransform(ToWidget());
  PaintHousing(p);
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
  p.drawText(QRectF(28, 14, 260, 24), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(look.Name));

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
      // No picture of this type: a blank front that says so.
      const QRectF screen(28, 44, CWidth - 56, 112);
      p.setPen(QPen(look.Edge, 1.5, Qt::DashLine));
      p.setBrush(look.Housing.lighter(112));
      p.drawRoundedRect(screen, 6, 6);
      f.setPixelSize(13);
      f.setBold(false);
      p.setFont(f);
      p.setPen(look.Label);
      p.drawText(screen, Qt::AlignCenter, QStringLiteral("Gerätetyp ohne eigenes Bild"));
      break;
    }
  }
}

void TDevPicture::PaintKey(QPainter& p, int index) const {
  const TDevKeyArea& k = FKeys[index];
  const TLook look = LookOf(FKind);
  const bool hover = index == FHover;
  if (k.Key == TDevKey::dkDisplay) {
    // The display: a dark screen with a curve and a few bars, framed in the hover colour when pointed at.
    p.setPen(QPen(hover ? CHover : look.Edge, hover ? 4 : 2));
    p.setBrush(QColor(0x0E, 0x1A, 0x2B));
    p.drawRoundedRect(k.Area, 6, 6);
    const QRectF in = k.Area.adjusted(14, 14, -14, -14);
    QPainterPath wave;
    for (int i = 0; i <= 120; ++i) {
      const double x = in.left() + in.width() * i / 120.0;
      const double y = in.top() + in.height() * 0.3 - in.height() * 0.22 * std::sin(i / 120.0 * 4 * M_PI);
      i == 0 ? wave.moveTo(x, y) : wave.lineTo(x, y);
    }
    p.setPen(QPen(QColor(0x4F, 0xC3, 0xF7), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9C, 0xCC, 0x65));
    const double heights[] = {0.9, 0.15, 0.35, 0.1, 0.25, 0.08, 0.18, 0.05, 0.12};
    const double w = in.width() / 9;
    for (int i = 0; i < 9; ++i) {
      const double h = in.height() * 0.38 * heights[i];
      p.drawRect(QRectF(in.left() + w * i + 3, in.bottom() - h, w - 6, h));
    }
    if (!k.Enabled) {
      p.setBrush(QColor(0, 0, 0, 110));
      p.drawRoundedRect(k.Area, 6, 6);
    }
    return;
  }
  QColor fill = hover ? CHover : look.Key;
  if (!k.Enabled) fill.setAlpha(90);
  QLinearGradient g(k.Area.topLeft(), k.Area.bottomLeft());
  g.setColorAt(0, fill.lighter(hover ? 110 : 120));
  g.setColorAt(1, fill.darker(108));
  p.setPen(QPen(hover ? CHover.darker(130) : look.Edge, hover ? 2.5 : 1.2));
  p.setBrush(g);
  p.drawRoundedRect(k.Area, 6, 6);
  QFont f = font();
  f.setPixelSize(k.Area.width() < 80 ? 10 : 12);
  p.setFont(f);
  QColor text = hover ? QColor(Qt::white) : look.KeyText;
  if (!k.Enabled) text.setAlpha(110);
  p.setPen(text);
  p.drawText(k.Area.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, k.Text);
}

}  // namespace vanta
