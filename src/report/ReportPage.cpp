#include "ReportPage.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace vanta {

namespace {
constexpr double CChartDpi = 96.0;
constexpr int CChartFontPx = 11;  // about 8 pt
}  // namespace

TPage::TPage(QPdfWriter& w) : FWriter(w), FPainter(&w) {
  FWidth = w.width();
  FHeight = w.height();
}

QFont TPage::Font(double points, bool bold) const {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

void TPage::Room(int height) {
  if (FY > 0 && FY + height > FHeight) NewPage();
}

void TPage::NewPage() {
  FWriter.newPage();
  FY = 0;
  ++FPages;
}

void TPage::Title(const QString& text) {
  const QFont f = Font(14, true);
  const QFontMetrics fm(f, &FWriter);
  // Half a line of air above a title that does not start the page.
  const int above = FY > 0 ? fm.height() / 2 : 0;
  Room(above + fm.height() * 2);
  FY += above;
  FPainter.setFont(f);
  FPainter.setPen(Qt::black);
  FPainter.drawText(QPointF(0, FY + fm.ascent()), text);
  FY += fm.height() + fm.height() / 3;
}

void TPage::Heading(const QString& text, int keep) {
  const QFont f = Font(11, true);
  const QFontMetrics fm(f, &FWriter);
  const int above = FY > 0 ? fm.height() / 2 : 0;
  Room(above + fm.height() + keep);
  FY += above;
  FPainter.setFont(f);
  FPainter.setPen(Qt::black);
  FPainter.drawText(QPointF(0, FY + fm.ascent()), text);
  FY += fm.lineSpacing() + fm.height() / 4;
}

void TPage::Text(const QString& text, bool bold) {
  const QFont f = Font(9, bold);
  const QFontMetrics fm(f, &FWriter);
  const QRect box = fm.boundingRect(QRect(0, 0, FWidth, 1 << 20), Qt::TextWordWrap, text);
  const int h = std::max(box.height(), fm.height());
  Room(h);
  FPainter.setFont(f);
  FPainter.setPen(Qt::black);
  FPainter.drawText(QRect(0, FY, FWidth, h), Qt::TextWordWrap, text);
  FY += h + (fm.lineSpacing() - fm.height());
}

void TPage::Table(const QStringList& head, const std::vector<QStringList>& rows) {
  const int cols = int(head.size());
  if (cols == 0) return;
  // Each column as wide as its widest cell; room left over is shared out,
  // too little room taken from every column alike (cells are then cut).
  const QFontMetrics bold(Font(8, true), &FWriter), plain(Font(8, false), &FWriter);
  const int gap = plain.horizontalAdvance(QStringLiteral("   "));
  std::vector<double> widths(size_t(cols), 0);
  for (int c = 0; c < cols; ++c) {
    widths[size_t(c)] = bold.horizontalAdvance(head[c]) + gap;
    for (const QStringList& r : rows) widths[size_t(c)] = std::max<double>(widths[size_t(c)], plain.horizontalAdvance(r.value(c)) + gap);
  }
  double total = 0;
  for (double w : widths) total += w;
  const double extra = (FWidth - total) / cols;
  const double shrink = total > FWidth ? FWidth / total : 1;
  std::vector<int> x(size_t(cols) + 1, 0);
  for (int c = 0; c < cols; ++c) x[size_t(c) + 1] = x[size_t(c)] + int(shrink < 1 ? widths[size_t(c)] * shrink : widths[size_t(c)] + extra);
  auto line = [&](const QStringList& cells, bool isHead) {
    const QFont f = Font(8, isHead);
    const QFontMetrics& fm = isHead ? bold : plain;
    const int h = fm.lineSpacing() + fm.height() / 5;
    Room(h);
    FPainter.setFont(f);
    FPainter.setPen(Qt::black);
    for (int c = 0; c < cols; ++c) {
      const int room = x[size_t(c) + 1] - x[size_t(c)] - gap / 3;
      FPainter.drawText(QPointF(x[size_t(c)], FY + fm.ascent()), fm.elidedText(cells.value(c), Qt::ElideRight, room));
    }
    FY += h;
  };
  line(head, true);
  for (const QStringList& r : rows) line(r, false);
  FY += plain.height() / 2;
}

void TPage::Chart(const QString& heading, double share, const std::function<void(QPainter&, const QRectF&)>& paint) {
  const int h = int(std::lround(FHeight * std::clamp(share, 0.1, 0.9)));
  Heading(heading, h);
  const double k = FWriter.resolution() / CChartDpi;
  FPainter.save();
  FPainter.translate(0, FY);
  FPainter.scale(k, k);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(CChartFontPx);
  FPainter.setFont(f);
  paint(FPainter, QRectF(0, 0, FWidth / k, h / k));
  FPainter.restore();
  FY += h + QFontMetrics(Font(9, false), &FWriter).height();
}

}  // namespace vanta
