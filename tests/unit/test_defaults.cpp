#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "DeviceDefaults.h"

using namespace vanta;

TEST(DeviceDefaults, ReadFromIniFile) {
  QTemporaryDir dir;
  const QString p = dir.filePath("d.ini");
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("[device]\nuser=alice\npassword=pw\n");
  f.close();
  TDeviceDefaults d;
  ASSERT_TRUE(d.LoadFile(p));
  EXPECT_EQ(d.User, QStringLiteral("alice"));
  EXPECT_EQ(d.Password, QStringLiteral("pw"));
}

TEST(DeviceDefaults, EnvironmentOverridesBuiltInLookup) {
  QTemporaryDir dir;
  const QString p = dir.filePath("d.ini");
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("[device]\nuser=bob\npassword=x\n");
  f.close();
  qputenv("VANTA_DEVICE_DEFAULTS", p.toLocal8Bit());
  EXPECT_EQ(CVantaDefUser(), QStringLiteral("bob"));
  qunsetenv("VANTA_DEVICE_DEFAULTS");
  // Without the variable the shipped sample file of the source tree is found.
  EXPECT_FALSE(TDeviceDefaults::FromEnvironment().User.isEmpty());
}

TEST(DeviceDefaults, MissingOrIncompleteFileIsRejected) {
  QTemporaryDir dir;
  TDeviceDefaults d;
  d.User = QStringLiteral("keep");
  EXPECT_FALSE(d.LoadFile(dir.filePath("none.ini")));
  const QString p = dir.filePath("empty.ini");
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("[other]\nx=1\n");
  f.close();
  EXPECT_FALSE(d.LoadFile(p));
  EXPECT_EQ(d.User, QStringLiteral("keep"));
}
