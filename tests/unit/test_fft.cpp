// The spectrum: RMS per line from a block of samples, zero padding, and the
// spectrum chart's model (zoom levels, range without the 50 Hz line, text).
#include <gtest/gtest.h>

#include <cmath>

#include "CrvFFTModel.h"
#include "FFT.h"

using namespace vanta;

namespace {
// 4096 samples at 40960/s: lines 10 Hz apart.
double Signal(int i, int channel) {
  const double t = i / 40960.0;
  return channel == 0 ? 3 + 10 * std::sqrt(2.0) * std::sin(2 * M_PI * 50 * t) + 2 * std::sqrt(2.0) * std::sin(2 * M_PI * 1000 * t + 1)
                      : 0.5 * std::sqrt(2.0) * std::sin(2 * M_PI * 150 * t);
}
}  // namespace

TEST(FFT, RmsPerLineForEveryChannelAtOnce) {
  TFFTClass f;
  f.SetPlanningFlags(64 /* FFTW_ESTIMATE */);
  f.SetSampleNum(4096, 2);
  f.SetSampleRate(40960);
  EXPECT_DOUBLE_EQ(f.FreqStep(), 10.0);
  EXPECT_EQ(f.GetSpecNum(), 2049);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 4096; ++i) f.Input(c)[i] = Signal(i, c);
  f.DoFFT();
  EXPECT_NEAR(f.GetTransformedData(0, 0), 3.0, 1e-9) << "DC as it is";
  EXPECT_NEAR(f.GetTransformedData(0, 5), 10.0, 1e-9) << "50 Hz, rms";
  EXPECT_NEAR(f.GetTransformedData(0, 100), 2.0, 1e-9) << "1 kHz, whatever its phase";
  EXPECT_NEAR(f.GetTransformedData(0, 6), 0.0, 1e-9);
  EXPECT_NEAR(f.GetTransformedData(1, 15), 0.5, 1e-9);
  EXPECT_NEAR(f.GetTransformedData(1, 5), 0.0, 1e-9) << "channels do not mix";
  // The same plan again on new input.
  for (int i = 0; i < 4096; ++i) f.Input(0)[i] = 1.0;
  f.DoFFT();
  EXPECT_NEAR(f.GetTransformedData(0, 0), 1.0, 1e-12);
  EXPECT_NEAR(f.GetTransformedData(0, 5), 0.0, 1e-12);
}

TEST(SpectrumModel, ShortBlockShowsTheSameFundamentalAsAFullOne) {
  // A 230 V mains sine, once as a full block and once as half a block: the
  // line at 50 Hz reads the sine's rms either way.
  const double rms = 230.0;
  double fundamental[2] = {0, 0};
  const int blocks[2] = {4096, 2048};
  for (int b = 0; b < 2; ++b) {
    TCrvFFTModel m;
    m.Transform().SetPlanningFlags(64);
    m.SetSampleRate(40960);
    m.SetCrvCnt(1);
    m.SetMaxRecs(blocks[b]);
    for (int i = 0; i < blocks[b]; ++i) m.NewValues(i, {float(rms * std::sqrt(2.0) * std::sin(2 * M_PI * 50 * i / 40960.0))});
    m.DoFFT();
    const int at = int(std::lround(50.0 / m.FreqStep()));
    ASSERT_LT(at, m.GetMessCnt());
    fundamental[b] = m.Store().Value(0, at);
    EXPECT_NEAR(fundamental[b], rms, rms * 1e-5) << blocks[b] << " samples";
  }
  EXPECT_NEAR(fundamental[1], fundamental[0], rms * 1e-5);
}

TEST(FFT, PaddedBlockMeasuredAgainstItsOwnSamples) {
  TFFTClass f;
  f.SetPlanningFlags(64 /* FFTW_ESTIMATE */);
  f.SetSampleNum(4096, 1);
  f.SetSampleRate(40960);
  f.ClearInput();
  // One whole 40 Hz period in the filled quarter of the block.
  for (int i = 0; i < 1024; ++i) f.Input(0)[i] = 3 + 10 * std::sqrt(2.0) * std::sin(2 * M_PI * 40 * i / 40960.0);
  f.DoFFT(1024);
  EXPECT_NEAR(f.GetTransformedData(0, 0), 3.0, 1e-9) << "DC of the filled part";
  EXPECT_NEAR(f.GetTransformedData(0, 4), 10.0, 1e-9);
}

TEST(SpectrumModel, TransformZoomRangeAndText) {
  TCrvFFTModel m;
  m.Transform().SetPlanningFlags(64);
  m.SetSampleRate(40960);
  m.SetCrvCnt(1);
  m.SetBaseRec(0, TYBaseRec::BaseRect(QStringLiteral("u1"), QStringLiteral("ULE"), QStringLiteral("V")));
  m.DoFFT();
  EXPECT_EQ(m.GetMessCnt(), 0) << "an empty chart: no lines, no failure";
  // 2048 samples are padded to 4096: the lines stay 10 Hz apart, and a sine
  // of whole periods in half the block still shows its own rms.
  m.SetMaxRecs(2048);
  for (int i = 0; i < 2048; ++i) m.NewValues(i, {float(10 * std::sqrt(2.0) * std::sin(2 * M_PI * 40 * i / 40960.0))});
  m.DoFFT();
  ASSERT_EQ(m.GetMessCnt(), 2049);
  EXPECT_NEAR(m.Store().Value(0, 4), 10.0, 1e-4);
  QStringList padded;
  ASSERT_TRUE(m.CopyToClipFFT(padded));
  EXPECT_TRUE(padded[5].startsWith(QStringLiteral("40\t10"))) << padded[5].toStdString();
  // A full block: the largest line is at 50 Hz, the range comes from the others.
  m.SetMaxRecs(4096);
  for (int i = 0; i < 4096; ++i) m.NewValues(i, {float(Signal(i, 0))});
  m.DoFFT();
  m.AutoScaleAllFFT();
  EXPECT_LT(m.Curve(0).FSclMax, 5.0) << "the 50 Hz line does not set the range";
  EXPECT_GE(m.Curve(0).FSclMax, m.Store().Value(0, 0));
  EXPECT_EQ(m.Curve(0).FSclMin, 0.0);
  EXPECT_DOUBLE_EQ(m.FreqMax(), 20490.0);
  {
    // A pure fundamental: its range stays well above the rounding noise beside the line.
    TCrvFFTModel pure;
    pure.Transform().SetPlanningFlags(64);
    pure.SetSampleRate(40960);
    pure.SetCrvCnt(1);
    pure.SetBaseRec(0, TYBaseRec::BaseRect(QStringLiteral("uN"), QStringLiteral("ULE"), QStringLiteral("V")));
    pure.SetMaxRecs(4096);
    for (int i = 0; i < 4096; ++i) pure.NewValues(i, {float(0.5 * std::sqrt(2.0) * std::sin(2 * M_PI * 50 * i / 40960.0))});
    pure.DoFFT();
    pure.AutoScaleAllFFT();
    EXPECT_GE(pure.Curve(0).FSclMax, 0.49e-4);
    EXPECT_LT(pure.Curve(0).FSclMax, 0.5e-3);
  }
  const double top = m.Curve(0).FSclMax;
  EXPECT_FALSE(m.ZoomFFT(10)) << "100 % already";
  EXPECT_TRUE(m.ZoomFFT(9));
  EXPECT_DOUBLE_EQ(m.Curve(0).FSclMax, 2 * top);
  EXPECT_TRUE(m.ZoomFFT(25));
  EXPECT_EQ(m.ScaleVal(), 20);
  EXPECT_DOUBLE_EQ(m.Curve(0).FSclMax, 2 * top / 2048);
  EXPECT_FALSE(m.ZoomFFT(30)) << "already at the top";
  QStringList lines;
  ASSERT_TRUE(m.CopyToClipFFT(lines));
  EXPECT_EQ(lines[0], QStringLiteral("FFT\tu1 [V]"));
  EXPECT_TRUE(lines[6].startsWith(QStringLiteral("50\t10"))) << lines[6].toStdString();
  EXPECT_EQ(lines.size(), 2050);
}
