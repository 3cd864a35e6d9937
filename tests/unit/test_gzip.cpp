#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "GZip.h"

using namespace vanta;

namespace {
void WriteFile(const QString& p, const QByteArray& b) {
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(b);
}
QByteArray ReadFile(const QString& p) {
  QFile f(p);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST(GZip, FileRoundTrip) {
  QTemporaryDir dir;
  const QString src = dir.filePath("setup.xml"), gz = dir.filePath("setup.xml.gz"), back = dir.filePath("back.xml");
  QByteArray content;
  for (int i = 0; i < 5000; ++i) content += "<parameter id=\"" + QByteArray::number(i) + "\"/>\n";
  WriteFile(src, content);
  ASSERT_EQ(ZipFile(src, gz), QString());
  const QByteArray packed = ReadFile(gz);
  ASSERT_GE(packed.size(), 2);
  EXPECT_EQ(uint8_t(packed[0]), 0x1F);
  EXPECT_EQ(uint8_t(packed[1]), 0x8B);
  EXPECT_LT(packed.size(), content.size());
  ASSERT_EQ(UnZipFile(gz, back), QString());
  EXPECT_EQ(ReadFile(back), content);
}

TEST(GZip, TruncatedArchiveIsAnErrorAndWritesNothing) {
  QByteArray packed;
  ASSERT_EQ(GzipBytes(QByteArray(100000, 'a'), packed), QString());
  QTemporaryDir dir;
  const QString gz = dir.filePath("cut.gz"), out = dir.filePath("out");
  WriteFile(gz, packed.left(packed.size() / 2));
  EXPECT_FALSE(UnZipFile(gz, out).isEmpty());
  EXPECT_FALSE(QFile::exists(out)) << "no half-written file is left behind";
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(GZip, GarbageIsAnError) {
  QByteArray out;
  EXPECT_FALSE(GunzipBytes(QByteArray("not gzip at all"), out).isEmpty());
  EXPECT_TRUE(out.isEmpty());
}

TEST(GZip, SizeLimitStopsABomb) {
  QByteArray packed, out;
  ASSERT_EQ(GzipBytes(QByteArray(4 * 1024 * 1024, '\0'), packed), QString());
  EXPECT_FALSE(GunzipBytes(packed, out, 1024 * 1024).isEmpty());
  EXPECT_EQ(GunzipBytes(packed, out, 8 * 1024 * 1024), QString());
  EXPECT_EQ(out.size(), 4 * 1024 * 1024);
}

TEST(GZip, MissingSourceIsReported) {
  QTemporaryDir dir;
  const QString e = ZipFile(dir.filePath("nope"), dir.filePath("nope.gz"));
  EXPECT_TRUE(e.contains(QStringLiteral("cannot read")));
}
