#pragma once
// A PDF page writer with a cursor: titles, text, tables and charts flow down
// the pages. Every line is as high as its font says (QFontMetrics on the
// writer), so a heading never runs into the text above or below it.
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QStringList>
#include <functional>
#include <vector>

namespace vanta {

class TPage {
 public:
  explicit TPage(QPdfWriter& w);
  bool Ok() const { return FPainter.isActive(); }
  void Title(const QString& text);
  // A smaller heading, kept on one page with the `keep` pixels that follow it.
  void Heading(const QString& text, int keep = 0);
  // Wrapped at the page width.
  void Text(const QString& text, bool bold = false);
  // The first column, the names, gets two shares of the width; a cell wider
  // than its column is cut with "…".
  void Table(const QStringList& head, const std::vector<QStringList>& rows);
  // A chart with its heading on one page: `paint` draws into `rect` in chart
  // units (about 1/96 inch, the units the screen charts are laid out in) with
  // the chart font set. `share` is the chart's height as a part of the page.
  void Chart(const QString& heading, double share, const std::function<void(QPainter&, const QRectF&)>& paint);
  void NewPage();
  int Pages() const { return FPages; }

 private:
  void Room(int height);
  QFont Font(double points, bool bold) const;
  QPdfWriter& FWriter;
  QPainter FPainter;
  int FWidth = 0, FHeight = 0, FY = 0, FPages = 1;
};

}  // namespace vanta
