// Runs the archive fuzz entry point over seeded mutations of update
// packages, firmware archives and device lists, and over hostile shapes.
#include <gtest/gtest.h>

#include <random>

#include "FlashPackages.h"
#include "fuzz_archives.h"

namespace {
int Feed(const QByteArray& b) { return vanta::fuzz::FuzzArchivesOneInput(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())); }

void Mutate(const QByteArray& seed, int rounds, uint32_t salt) {
  std::mt19937 rng(20261206 + salt);
  for (int i = 0; i < rounds; ++i) {
    QByteArray b = seed;
    for (int k = 0, n = 1 + int(rng() % 6); k < n; ++k) {
      const qsizetype at = qsizetype(rng() % uint32_t(b.size()));
      switch (rng() % 4) {
        case 0: b[at] = char(rng() % 256); break;
        case 1: b.truncate(at); break;
        case 2: b.insert(at, QByteArray(int(rng() % 16), char(rng() % 256))); break;
        default: b.remove(at, qsizetype(rng() % 24)); break;
      }
      if (b.isEmpty()) b = seed;
    }
    Feed(b);
  }
}
}  // namespace

TEST(FuzzArchivesReplay, MutatedPackagesArchivesAndLists) {
  using namespace vanta;
  QByteArray zip;
  ASSERT_TRUE(ZipPack({{QStringLiteral("fw.tgz"), test::FirmwareTgz(QStringLiteral("2.11.0"), 600)},
                       {QStringLiteral("readme.txt"), "log"},
                       {QStringLiteral("sub/extra.bin"), "x"}},
                      zip)
                  .isEmpty());
  EXPECT_EQ(Feed(zip), 3);
  Mutate(zip, 800, 1);
  QByteArray stored;
  ASSERT_TRUE(ZipPack({{QStringLiteral("fw.tgz"), "abc"}, {QStringLiteral("../x"), "y"}}, stored, false).isEmpty());
  EXPECT_EQ(Feed(stored), 0) << "a hostile name refuses the package";
  Mutate(stored, 400, 2);
  const QByteArray tgz = test::FirmwareTgz(QStringLiteral("3.1.4"), 800);
  Mutate(tgz, 600, 3);
  Mutate(QByteArray("127.0.0.1:5040 Nord\n[fe80::1]:5041 Sued # x\n10.0.0.1\n"), 300, 4);
  Mutate(QByteArray(R"({"devices":[{"device":"A","host":"h","port":5040,"result":"failed"}]})"), 300, 5);
  Mutate(QByteArray(R"([{"name":"A","host":"10.0.0.1","port":5040,"ssh":true}])"), 300, 6);
  Mutate(QByteArray("127.0.0.1:22=AB:CD:EF:01\n10.0.0.1:2222=00:11\n"), 300, 7);
}

TEST(FuzzArchivesReplay, HostileShapes) {
  EXPECT_EQ(Feed({}), 0);
  EXPECT_EQ(Feed(QByteArray("PK\x03\x04", 4)), 0);
  EXPECT_EQ(Feed(QByteArray(1 << 20, '\0')), 0);
  QByteArray deep;
  for (int i = 0; i < 2000; ++i) deep += '[';
  Feed(deep);
}
