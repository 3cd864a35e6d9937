// The simulator's conductor signals: harmonics at whole orders of the
// network frequency, interharmonics midway between them, where the
// interharmonic views label them (order 0.5, 1.5, ... 49.5).
#include <gtest/gtest.h>

#include <cmath>

#include "SimSignals.h"

using namespace vanta::sim;

namespace {
// Every component of `channel` that is not at a whole order must be
// interharmonic i at order i + 0.5 with that interharmonic's rms; returns
// how many there were.
int CheckInterharmonics(const TSimNetwork& n, int channel) {
  const bool volt = channel < 3;
  const int k = volt ? channel : channel - 7;
  int seen = 0;
  for (const TSimComponent& c : Components(n, channel)) {
    const double order = c.Freq / n.Freq;
    if (std::fabs(order - std::round(order)) < 1e-9) continue;  // a harmonic
    const double i = order - 0.5;
    EXPECT_NEAR(i, std::round(i), 1e-9) << "channel " << channel << ": a component at order " << order;
    const int at = int(std::lround(i));
    EXPECT_TRUE(at >= 0 && at < 50) << order;
    const double rms = volt ? n.U[k] * n.UIHarmPct(at, k) / 100 : n.I[k] * n.IIHarmPct(at, k) / 100;
    EXPECT_NEAR(c.Rms, rms, 1e-12) << "channel " << channel << " order " << order;
    ++seen;
  }
  return seen;
}
}  // namespace

TEST(SimSignals, InterharmonicsSitMidwayBetweenHarmonics) {
  TSimNetwork n;
  for (int channel : {0, 1, 2, 7, 8, 9}) EXPECT_EQ(CheckInterharmonics(n, channel), 50) << channel;
  // At 50 Hz the first two lie at 25 and 75 Hz.
  const QList<TSimComponent> u1 = Components(n, 0);
  int near25 = 0, near75 = 0;
  for (const TSimComponent& c : u1) {
    near25 += std::fabs(c.Freq - 25.0) < 1e-9;
    near75 += std::fabs(c.Freq - 75.0) < 1e-9;
  }
  EXPECT_EQ(near25, 1);
  EXPECT_EQ(near75, 1);
}

TEST(SimSignals, InterharmonicsFollowTheNetworkFrequency) {
  TSimNetwork n;
  n.Freq = 60.0;
  for (int channel : {0, 8}) EXPECT_EQ(CheckInterharmonics(n, channel), 50) << channel;
}
