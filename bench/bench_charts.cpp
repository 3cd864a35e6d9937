// The oscilloscope chart: 12 curves of 4096 samples at 1600 x 900, painted
// off screen, against drawing the same points as plain polylines onto an
// image of the same size (each without and with antialiasing); and the
// decoding of one panel and one oscilloscope record into the chart.
//
//   bench_charts
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>

#include "BenchSetup.h"
#include "ByteOrder.h"
#include "LiveRecords.h"
#include "PaintBox.h"

using namespace vanta;
using vanta::bench::TimeMs;

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  constexpr int CCurves = 12, CSamples = 4096;
  TPQPaintBoxCrvTime chart;
  chart.resize(1600, 900);
  TCrvTimeModel& m = chart.Model();
  m.SetMaxRecs(CSamples);
  m.SetCrvCnt(CCurves);
  for (int c = 0; c < CCurves; ++c) {
    const TOscChannel& ch = COscChannels[size_t(c)];
    m.SetBaseRec(c, TYBaseRec::BaseRect(QLatin1String(ch.Symbol), QLatin1String(ch.Group), ch.Volt ? QStringLiteral("V") : QStringLiteral("A")));
  }
  QList<float> v(CCurves);
  for (int i = 0; i < CSamples; ++i) {
    for (int c = 0; c < CCurves; ++c) v[c] = float(300 * std::sin(2 * M_PI * 5 * i / CSamples + c));
    m.NewValues(int64_t(i) * 24414, v);
  }
  m.AutoScaleAll();
  m.ResetZoom();
  // The baseline: the same points, already in pixels, as polylines.
  std::vector<QPolygonF> lines(CCurves);
  for (int c = 0; c < CCurves; ++c)
    for (int i = 0; i < CSamples; ++i) lines[size_t(c)] << QPointF(100 + 1480.0 * i / CSamples, 450 - m.Store().Value(c, i) / 2);
  QImage image(1600, 900, QImage::Format_ARGB32_Premultiplied);
  std::printf("oscilloscope chart, %d curves x %d samples at 1600x900\n", CCurves, CSamples);
  for (const bool aa : {false, true}) {
    const double base = TimeMs([&] {
      image.fill(Qt::white);
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing, aa);
      for (const QPolygonF& l : lines) p.drawPolyline(l);
    }, 20);
    chart.FAntialias = aa;
    const double paint = TimeMs([&] {
      chart.FForceRepaint = true;
      (void)chart.Image();
    }, 20);
    std::printf("  %-16s polylines %7.2f ms   chart %7.2f ms (%5.1f frames/s)   ratio %.2f (target <= 1.3%s)\n",
                aa ? "antialiased" : "plain", base, paint, 1000.0 / paint, paint / base, aa ? "" : ", >= 50 frames/s");
  }
  // Decoding: a panel record to texts, an oscilloscope record into the chart.
  QByteArray panel(2328, '\0');
  QByteArray osc(60 + CSamples * 48, '\0');
  for (int i = 0; i < CSamples * 12; ++i) {
    const float f = float(i % 977);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    PutU32At(osc, 60 + 4 * i, bits);
  }
  QList<int> channels;
  for (int c = 0; c < CCurves; ++c) channels << c;
  QList<float> values;
  const double panelMs = TimeMs([&] { (void)DecodePanel(panel, 2); }, 200);
  const double oscMs = TimeMs([&] {
    m.ClearData();
    DecodeOsc(osc, 2, CSamples, 40960, 0, channels, values, [&m](int64_t t, const QList<float>& vals) { m.NewValues(t, vals); });
    m.AutoScaleAll();
  }, 50);
  std::printf("  decode panel record %.3f ms; oscilloscope record into the chart with autoscale %.3f ms\n", panelMs, oscMs);
  return 0;
}
