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
#include <fftw3.h>

#include "ByteOrder.h"
#include "FFT.h"
#include "LiveRecords.h"
#include "FreqCharts.h"
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
  // The spectrum and the bar chart at the same size.
  {
    TPQPaintBoxCrvFFT spectrum;
    spectrum.resize(1600, 900);
    TCrvFFTModel& f = spectrum.Model();
    f.SetMaxRecs(CSamples);
    f.SetCrvCnt(CCurves);
    for (int c = 0; c < CCurves; ++c) {
      const TOscChannel& ch = COscChannels[size_t(c)];
      f.SetBaseRec(c, TYBaseRec::BaseRect(QLatin1String(ch.Symbol), QLatin1String(ch.Group), ch.Volt ? QStringLiteral("V") : QStringLiteral("A")));
    }
    for (int i = 0; i < CSamples; ++i) f.NewValues(i, m.Store().Count() > i ? QList<float>(CCurves, m.Store().Value(0, i)) : v);
    f.DoFFT();
    f.AutoScaleAllFFT();
    const double sp = TimeMs([&] {
      spectrum.FForceRepaint = true;
      (void)spectrum.Image();
    }, 20);
    TPQPaintBoxHarm bars;
    bars.resize(1600, 900);
    bars.Model().SetVantaDisp(TVantaDisp::sdHrmULE);
    for (T4Leiter l : {T4Leiter::lt1, T4Leiter::lt2, T4Leiter::lt3, T4Leiter::lt0}) bars.Model().SetHrmVal(l, QList<float>(51, 2.5f));
    bars.Model().HrmRescale();
    const double bp = TimeMs([&] {
      bars.FForceRepaint = true;
      (void)bars.Image();
    }, 20);
    std::printf("  spectrum chart %.2f ms (%.0f frames/s), bar chart %.2f ms (%.0f frames/s) (target >= 50 frames/s)\n", sp, 1000 / sp, bp, 1000 / bp);
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

  // The spectrum of 12 channels x 4096 samples, magnitudes included, against
  // the bare FFTW plan of the same shape with a plain magnitude loop.
  TFFTClass fft;
  fft.SetSampleNum(CSamples, CCurves);
  for (int c = 0; c < CCurves; ++c)
    for (int i = 0; i < CSamples; ++i) fft.Input(c)[i] = std::sin(0.01 * i + c);
  fft.DoFFT();  // the plan is made once
  const double ours = TimeMs([&] { fft.DoFFT(); }, 200);
  std::vector<double> in(size_t(CSamples) * CCurves, 1.0), mag(size_t(CSamples / 2 + 1) * CCurves);
  std::vector<fftw_complex> out(size_t(CSamples / 2 + 1) * CCurves);
  const int n[] = {CSamples};
  fftw_plan plan = fftw_plan_many_dft_r2c(1, n, CCurves, in.data(), nullptr, 1, CSamples, out.data(), nullptr, 1, CSamples / 2 + 1, FFTW_MEASURE);
  for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.01 * double(i));
  const double bare = TimeMs([&] {
    fftw_execute(plan);
    for (size_t k = 0; k < out.size(); ++k) mag[k] = std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]) * (1.0 / CSamples);
  }, 200);
  fftw_destroy_plan(plan);
  std::printf("  FFT of %d x %d samples with magnitudes %.3f ms (target < 0.1 ms); bare plan and loop %.3f ms, ratio %.2f (target <= 1.5)\n",
              CCurves, CSamples, ours, bare, ours / bare);
  return 0;
}
