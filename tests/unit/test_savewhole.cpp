// Files written whole or not at all, also when the disk refuses part-way.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FileSizeLimit.h"
#include "SaveWhole.h"

using namespace vanta;

namespace {
QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
}  // namespace

TEST(SaveWhole, WritesAndReplacesTheWholeContent) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("a.txt"));
  QString error;
  ASSERT_TRUE(SaveWhole(path, QByteArray(5000, 'x'), error)) << error.toStdString();
  EXPECT_EQ(Read(path), QByteArray(5000, 'x'));
  ASSERT_TRUE(SaveWhole(path, "short", error));
  EXPECT_EQ(Read(path), QByteArray("short")) << "replaced, not overwritten in place";
  ASSERT_TRUE(SaveWhole(path, QByteArrayView(), error));
  EXPECT_EQ(Read(path), QByteArray()) << "an empty content is a content";
}

TEST(SaveWhole, AWriteRefusedPartWayKeepsTheOldFileAndSaysWhy) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("set.xml"));
  QString error;
  ASSERT_TRUE(SaveWhole(path, "older", error));
  bool saved = true;
  {
    // The first 1000 bytes go to disk, the rest is refused.
    const test::TFileSizeLimit limit(1000);
    saved = SaveWhole(path, QByteArray(5000, 'y'), error);
  }
  EXPECT_FALSE(saved) << "a short file must never be taken for the whole";
  EXPECT_EQ(Read(path), QByteArray("older"));
  EXPECT_TRUE(error.startsWith(path + QStringLiteral(": "))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("large"), Qt::CaseInsensitive)) << "the kernel's reason: " << error.toStdString();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("set.xml")}) << "no temporary file left";
}

TEST(SaveWhole, AFolderThatIsNotThereIsAnError) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("missing/a.txt"));
  QString error;
  EXPECT_FALSE(SaveWhole(path, "x", error));
  EXPECT_TRUE(error.startsWith(path)) << error.toStdString();
  EXPECT_FALSE(QFileInfo::exists(path));
}
