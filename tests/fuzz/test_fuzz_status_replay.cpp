// Runs the status-file fuzz entry point over seeded mutations of the sample
// file, and over inputs a device should never send: a 10 MB file, a file
// without line ends, bytes that are not text.
#include <gtest/gtest.h>

#include <QFile>
#include <random>

#include "fuzz_status.h"

namespace {
int Feed(const QByteArray& b) { return vanta::fuzz::FuzzStatusOneInput(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())); }
}  // namespace

TEST(FuzzStatusReplay, MutatedSamples) {
  QFile f(QStringLiteral(VANTA_TEST_DATA_DIR "/status/stat-sample.txt"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray seed = f.readAll();
  EXPECT_GT(Feed(seed), 50);
  std::mt19937 rng(20261206);
  for (int i = 0; i < 3000; ++i) {
    QByteArray b = seed;
    for (int k = 0, n = 1 + int(rng() % 8); k < n; ++k) {
      const qsizetype at = qsizetype(rng() % uint32_t(b.size()));
      switch (rng() % 4) {
        case 0: b[at] = char(rng() % 256); break;
        case 1: b.truncate(at); break;
        case 2: b.insert(at, QByteArray(int(rng() % 40), " .=\r\n\xff"[rng() % 6])); break;
        default: b.remove(at, qsizetype(rng() % 30)); break;
      }
      if (b.isEmpty()) b = seed;
    }
    Feed(b);
  }
}

TEST(FuzzStatusReplay, HostileShapes) {
  EXPECT_EQ(Feed({}), 0);
  EXPECT_EQ(Feed(QByteArray(1 << 20, 'x')), 1) << "one line without a blank";
  EXPECT_EQ(Feed(QByteArray(4096, '\n')), 0);
  QByteArray binary;
  for (int i = 0; i < 70000; ++i) binary += char(i * 7919 % 256);
  Feed(binary);
  // About 10 MB of well-formed lines: read whole, nothing lost.
  QByteArray big;
  for (int i = 0; i < 240000; ++i) big += "sysLoad.part" + QByteArray::number(i) + QByteArray(20, ' ') + "12.5\r\n";
  EXPECT_GT(big.size(), 9 * 1000 * 1000);
  EXPECT_EQ(Feed(big), 240000);
}
