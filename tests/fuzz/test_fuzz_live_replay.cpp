// The live decoders over records of every length around the real ones and
// over seeded random bytes: bounds-checked reads, no crash, the panel
// always complete, no chart model sized by a count its record does not hold.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fuzz_live.h"

TEST(FuzzLiveReplay, LengthsAroundTheRealRecordsAndRandomBytes) {
  std::mt19937 rng(5101);
  for (int gen = 0; gen < 4; ++gen)
    for (int len : {0, 1, 19, 20, 1895, 1896, 2319, 2320, 2321, 2327, 2328, 2329, 6051, 6052, 6053, 6263, 6264, 6265, 60 + 44, 60 + 48}) {
      std::vector<uint8_t> b(size_t(len) + 1);
      b[0] = uint8_t(gen);
      for (size_t i = 1; i < b.size(); ++i) b[i] = uint8_t(rng());
      EXPECT_EQ(vanta::fuzz::FuzzLiveOneInput(b.data(), b.size()), 56) << gen << " " << len;
    }
  // Oscilloscope records whose header claims a count: the true one, one
  // more, and counts far beyond what the bytes hold.
  for (int gen = 0; gen < 3; ++gen) {
    const int at = gen == 0 ? 32 : 52, header = at + 8, size = gen == 2 ? 48 : 44;
    for (uint32_t claim : {3u, 4u, 0x10000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      std::vector<uint8_t> b(size_t(1 + header + 3 * size));
      b[0] = uint8_t(gen);
      for (size_t i = 1; i < b.size(); ++i) b[i] = uint8_t(rng());
      for (int k = 0; k < 4; ++k) b[size_t(1 + at + k)] = uint8_t(claim >> (8 * k));
      EXPECT_EQ(vanta::fuzz::FuzzLiveOneInput(b.data(), b.size()), 56) << gen << " " << claim;
    }
  }
  for (int i = 0; i < 500; ++i) {
    std::vector<uint8_t> b(1 + rng() % 7000);
    for (uint8_t& x : b) x = uint8_t(rng());
    vanta::fuzz::FuzzLiveOneInput(b.data(), b.size());
  }
}
