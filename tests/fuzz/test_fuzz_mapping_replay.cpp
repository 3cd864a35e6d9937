// Runs the mapping-database fuzz entry point over picker inputs (classes,
// ids, typed texts) and over damaged copies of the sample database.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "fuzz_mapping.h"

namespace {
const QString CDb = QStringLiteral(VANTA_MAPPINGDB);

struct FuzzMappingReplay : ::testing::Test {
  QTemporaryDir Scratch;
  int Feed(const QByteArray& b) {
    return vanta::fuzz::FuzzMappingOneInput(CDb, Scratch.path(), reinterpret_cast<const uint8_t*>(b.constData()),
                                            size_t(b.size()));
  }
  static QByteArray Input(uint32_t cls, uint32_t id, const QByteArray& text) {
    QByteArray b;
    for (const uint32_t v : {cls, id})
      for (int i = 0; i < 4; ++i) b += char((v >> (8 * i)) & 0xFF);
    return b + text;
  }
};
}  // namespace

TEST_F(FuzzMappingReplay, PickerInputsFromTheEdges) {
  EXPECT_GT(Feed(Input(18, 0, "Spannung")), 0) << "a class of the sample delivers values";
  for (const uint32_t cls : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    for (const uint32_t id : {0u, 0x01040037u, 0xFFFFFFFFu})
      for (const QByteArray& text :
           {QByteArray(), QByteArray("'; DROP TABLE vanta; --"), QByteArray("%_\\"), QByteArray("\xff\xfe\x00x", 4)})
        Feed(Input(cls, id, text));
  EXPECT_EQ(Feed(QByteArray("short")), 0);
}

TEST_F(FuzzMappingReplay, DamagedDatabasesAreRefusedOrRead) {
  QFile f(CDb);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray db = f.readAll();
  ASSERT_GT(Feed(db), 0) << "the undamaged copy reads";
  std::mt19937 rng(20261206);
  int read = 0;
  for (int i = 0; i < 150; ++i) {
    QByteArray b = db;
    switch (i % 3) {
      case 0: b.truncate(16 + qsizetype(rng() % uint32_t(b.size() - 16))); break;
      case 1:
        for (int k = 0; k < 8; ++k) b[16 + qsizetype(rng() % uint32_t(b.size() - 16))] = char(rng() % 256);
        break;
      default: b[16 + qsizetype(rng() % 84)] = char(rng() % 256); break;  // the file header
    }
    read += Feed(b) > 0 ? 1 : 0;
  }
  EXPECT_LT(read, 150) << "some damage is noticed";
}
