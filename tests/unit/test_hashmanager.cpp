#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "HashManager.h"

using namespace vanta;

TEST(HashManager, FingerprintPartsCompareAsHexNumbers) {
  EXPECT_TRUE(THashManager::compareHash(QStringLiteral("AB:0C"), QStringLiteral("ab:c")));
  EXPECT_FALSE(THashManager::compareHash(QStringLiteral("AB:0C"), QStringLiteral("AB:0C:00")));
  EXPECT_FALSE(THashManager::compareHash(QStringLiteral("AB:ZZ"), QStringLiteral("AB:ZZ"))) << "not hexadecimal: never equal";
  EXPECT_FALSE(THashManager::compareHash(QStringLiteral("AB:0C"), QStringLiteral("AB:0D")));
  EXPECT_TRUE(THashManager::CompareFingerprints(QStringLiteral("ab:cd"), QStringLiteral("AB:CD")));
}

TEST(HashManager, StoreFileFormatAndOneLinePerDevice) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("ini/Hash"));
  THashManager m;
  m.SetHashStore(file);
  EXPECT_TRUE(m.GetFingerprint(QStringLiteral("10.0.0.1"), 22).isEmpty());
  ASSERT_TRUE(m.StoreFingerprint(QStringLiteral("10.0.0.1"), 22, QStringLiteral("aa:bb")));
  ASSERT_TRUE(m.StoreFingerprint(QStringLiteral("10.0.0.1"), 22, QStringLiteral("cc:dd")));
  ASSERT_TRUE(m.StoreFingerprint(QStringLiteral("10.0.0.2"), 2222, QStringLiteral("ee:ff")));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("10.0.0.1:22=CC:DD\n10.0.0.2:2222=EE:FF\n"));
  THashManager again;
  again.SetHashStore(file);
  EXPECT_EQ(again.GetFingerprint(QStringLiteral("10.0.0.2"), 2222), QStringLiteral("EE:FF"));
}

TEST(HashManager, CheckAsksOnlyWhenNewOrChanged) {
  QTemporaryDir dir;
  THashManager m;
  m.SetHashStore(dir.filePath(QStringLiteral("Hash")));
  QList<TFingerprintState> asked;
  QString lastQuestion;
  auto answer = [&](TConnectHashAction a) {
    return [&, a](TFingerprintState s, const QString& q) {
      asked << s;
      lastQuestion = q;
      return a;
    };
  };
  EXPECT_EQ(m.Check(QStringLiteral("h"), 22, QStringLiteral("01:02"), answer(TConnectHashAction::chaCancel)),
            TConnectHashAction::chaCancel);
  EXPECT_TRUE(m.GetFingerprint(QStringLiteral("h"), 22).isEmpty()) << "a refused key is not stored";
  EXPECT_TRUE(lastQuestion.startsWith(QStringLiteral("Dieses Gerät ist nicht bekannt")));
  EXPECT_TRUE(lastQuestion.contains(QStringLiteral("\r\n\r\n01:02\r\n\r\n")));
  EXPECT_TRUE(lastQuestion.endsWith(QStringLiteral("Wollen Sie dem Gerät vertrauen und eine Verbindung herstellen?")));
  m.Check(QStringLiteral("h"), 22, QStringLiteral("01:02"), answer(TConnectHashAction::chaSave));
  EXPECT_EQ(m.GetFingerprint(QStringLiteral("h"), 22), QStringLiteral("01:02"));
  asked.clear();
  EXPECT_EQ(m.Check(QStringLiteral("h"), 22, QStringLiteral("1:2"), answer(TConnectHashAction::chaCancel)),
            TConnectHashAction::chaIgnore);
  EXPECT_TRUE(asked.isEmpty()) << "a matching key connects without asking";
  m.Check(QStringLiteral("h"), 22, QStringLiteral("09:09"), answer(TConnectHashAction::chaIgnore));
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0], TFingerprintState::fsChanged);
  EXPECT_TRUE(lastQuestion.startsWith(QStringLiteral("Der RSA Schlüssel dieses Gerätes hat sich geändert.")));
  EXPECT_EQ(m.GetFingerprint(QStringLiteral("h"), 22), QStringLiteral("01:02")) << "ignored: not stored";
}

TEST(HashManager, KeysStoredSideBySideAreAllKept) {
  // Two connections load the store, then each takes a new key: the second
  // save must not drop the first one's line.
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("ini/Hash"));
  THashManager a, b;
  a.SetHashStore(file);
  b.SetHashStore(file);
  ASSERT_TRUE(a.StoreFingerprint(QStringLiteral("10.0.0.1"), 22, QStringLiteral("aa:01")));
  ASSERT_TRUE(b.StoreFingerprint(QStringLiteral("10.0.0.2"), 22, QStringLiteral("bb:02")));
  THashManager fresh;
  fresh.SetHashStore(file);
  EXPECT_EQ(fresh.GetFingerprint(QStringLiteral("10.0.0.1"), 22), QStringLiteral("AA:01"));
  EXPECT_EQ(fresh.GetFingerprint(QStringLiteral("10.0.0.2"), 22), QStringLiteral("BB:02"));

  // Many threads at once, one host each.
  std::vector<std::thread> threads;
  for (int i = 0; i < 16; ++i)
    threads.emplace_back([&file, i] {
      THashManager m;
      m.SetHashStore(file);
      EXPECT_TRUE(m.StoreFingerprint(QStringLiteral("10.1.0.%1").arg(i), 22, QStringLiteral("CC:%1").arg(i, 2, 16, QLatin1Char('0'))));
    });
  for (std::thread& t : threads) t.join();
  fresh.SetHashStore(file);
  for (int i = 0; i < 16; ++i) EXPECT_FALSE(fresh.GetFingerprint(QStringLiteral("10.1.0.%1").arg(i), 22).isEmpty()) << i;
  EXPECT_EQ(fresh.GetFingerprint(QStringLiteral("10.0.0.1"), 22), QStringLiteral("AA:01"));
}
