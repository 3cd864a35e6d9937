#include <gtest/gtest.h>

#include <QStringList>
#include "ArchiveSupport.h"

#include "GZip.h"
#include "Tar.h"

using namespace vanta;

using vanta::test::RawTarGz;

TEST(Tar, PackAndUnpackRoundTrip) {
  QByteArray tgz;
  ASSERT_EQ(TarGzPack({{"setup.xml", "<setup/>"}, {"device.icd", QByteArray(70000, 'i')}, {"empty", {}}}, tgz), QString());
  EXPECT_EQ(uint8_t(tgz[0]), 0x1F) << "gzip framing";
  std::vector<TTarEntry> out;
  ASSERT_EQ(TarGzUnpack(tgz, out), QString());
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].Name, QStringLiteral("setup.xml"));
  EXPECT_EQ(out[0].Data, QByteArray("<setup/>"));
  EXPECT_EQ(out[1].Data.size(), 70000);
  EXPECT_TRUE(out[2].Data.isEmpty());
}

TEST(Tar, PackerRefusesNamesWithFolders) {
  QByteArray tgz;
  EXPECT_FALSE(TarGzPack({{"../x", "a"}}, tgz).isEmpty());
  EXPECT_FALSE(TarGzPack({{"dir/x", "a"}}, tgz).isEmpty());
}

TEST(Tar, HostileEntriesAreSkippedAndNamed) {
  const QByteArray tgz = RawTarGz({{"../../etc/evil", AE_IFREG, "x"},
                                     {"sub/inner.xml", AE_IFREG, "y"},
                                     {"link", AE_IFLNK, {}},
                                     {"folder", AE_IFDIR, {}},
                                     {"setup.xml", AE_IFREG, "<ok/>"}});
  std::vector<TTarEntry> out;
  QStringList skipped;
  ASSERT_EQ(TarGzUnpack(tgz, out, &skipped), QString());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Name, QStringLiteral("setup.xml"));
  EXPECT_EQ(skipped.size(), 4);
  EXPECT_TRUE(skipped.join('\n').contains(QStringLiteral("../../etc/evil")));
}

TEST(Tar, OversizedEntryIsSkipped) {
  const QByteArray tgz = RawTarGz({{"big.bin", AE_IFREG, QByteArray(5000, 'b')}});
  std::vector<TTarEntry> out;
  QStringList skipped;
  ASSERT_EQ(TarGzUnpack(tgz, out, &skipped, 4096), QString());
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(skipped.size(), 1);
}

TEST(Tar, DamagedArchiveIsAnErrorAndYieldsNothing) {
  QByteArray tgz;
  ASSERT_EQ(TarGzPack({{"setup.xml", QByteArray(20000, 'z')}}, tgz), QString());
  std::vector<TTarEntry> out{{"keep", "me"}};
  EXPECT_FALSE(TarGzUnpack(tgz.left(tgz.size() / 2), out).isEmpty());
  ASSERT_EQ(out.size(), 1u) << "the caller's list is untouched";
  EXPECT_FALSE(TarGzUnpack(QByteArray("plain text, not an archive"), out).isEmpty());
}

// A header may claim far more than the archive holds: the entry is an
// error, found without setting aside what the header claims.
TEST(Tar, HeaderClaimingMoreThanTheArchiveHoldsIsTruncated) {
  QByteArray tgz, tar;
  ASSERT_TRUE(TarGzPack({{QStringLiteral("setup.xml"), "<a/>"}}, tgz).isEmpty());
  ASSERT_TRUE(GunzipBytes(tgz, tar).isEmpty());
  // Size field (octal, offset 124) to 200 MB, checksum (offset 148) redone.
  const QByteArray size = QByteArray::number(200ll * 1024 * 1024, 8).rightJustified(11, '0') + '\0';
  tar.replace(124, 12, size);
  tar.replace(148, 8, QByteArray(8, ' '));
  unsigned sum = 0;
  for (int i = 0; i < 512; ++i) sum += uint8_t(tar[i]);
  tar.replace(148, 8, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
  ASSERT_TRUE(GzipBytes(tar, tgz).isEmpty());
  std::vector<TTarEntry> out;
  const QString e = TarGzUnpack(tgz, out);
  EXPECT_FALSE(e.isEmpty());
  EXPECT_TRUE(out.empty());
}
