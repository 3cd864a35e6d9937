#include <gtest/gtest.h>

#include <QStringList>
#include <archive.h>
#include <archive_entry.h>

#include "GZip.h"
#include "Tar.h"

using namespace vanta;

namespace {
// Builds an archive the way a hostile peer could, bypassing our packer's checks.
QByteArray RawArchive(const std::vector<std::tuple<QByteArray, int, QByteArray>>& items) {
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_add_filter_gzip(a);
  QByteArray buffer(1 << 20, '\0');
  size_t used = 0;
  archive_write_open_memory(a, buffer.data(), size_t(buffer.size()), &used);
  for (const auto& [name, type, data] : items) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.constData());
    archive_entry_set_filetype(e, unsigned(type));
    archive_entry_set_perm(e, 0644);
    if (type == AE_IFLNK) archive_entry_set_symlink(e, "/etc/passwd");
    archive_entry_set_size(e, type == AE_IFREG ? data.size() : 0);
    archive_write_header(a, e);
    if (type == AE_IFREG) archive_write_data(a, data.constData(), size_t(data.size()));
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.truncate(qsizetype(used));
  return buffer;
}
}  // namespace

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
  const QByteArray tgz = RawArchive({{"../../etc/evil", AE_IFREG, "x"},
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
  const QByteArray tgz = RawArchive({{"big.bin", AE_IFREG, QByteArray(5000, 'b')}});
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
