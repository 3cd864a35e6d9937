// Runs the record-file fuzz entry point over seeded mutations of one file of
// every kind, so every build (and the sanitizer build) feeds the readers
// hostile input without a fuzzing engine.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <random>
#include <vector>

#include "ByteOrder.h"
#include "RecordFile.h"
#include "fuzz_records.h"

using namespace vanta;

namespace {

std::vector<QByteArray> Seeds() {
  const TSysEnvHeader env{12345678, 3600, true, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
  TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.Channels = {{1, 2, QStringLiteral("V"), QStringLiteral("U1")}, {3, 4, QStringLiteral("A"), QStringLiteral("I1")}};
  std::vector<QByteArray> s;
  TRecordWriter e(TRecordKind::rkEvent, env, {});
  e.Add(TEventRecord{0x01040037, {1, 2}, 3.5, 5, 0.1, QStringLiteral("L1")});
  s.push_back(e.Bytes());
  TRecordWriter r(TRecordKind::rkRecording, env, ctx);
  r.Add(TRecRow{{1, 0}, {1, 2}});
  r.Add(TRecRow{{2, 0}, {3, 4}});
  s.push_back(r.Bytes());
  TRecordWriter a(TRecordKind::rkBinaryInput, env, ctx);
  a.Add(TAsyncRecord{{1, 0}, 1, 1});
  s.push_back(a.Bytes());
  TRecordWriter w(TRecordKind::rkHp, env, ctx);
  w.Add(TWaveRecord{{1, 0}, 3, {{1, 2, 3}, {4, 5, 6}}});
  s.push_back(w.Bytes());
  return s;
}

QByteArray Mutate(QByteArray b, std::mt19937& rng) {
  if (b.isEmpty()) return b;
  const auto at = [&] { return qsizetype(rng() % uint32_t(b.size())); };
  switch (rng() % 5) {
    case 0:
      for (int i = 0; i < 3; ++i) b[at()] = char(rng() % 256);
      break;
    case 1:
      b.truncate(at());
      break;
    case 2:  // a length or count field set to an extreme
      if (b.size() >= 4) PutU32At(b, at() & ~qsizetype(3), rng() % 2 ? 0xFFFFFFFFu : uint32_t(rng() % 64));
      break;
    case 3:
      b.insert(at(), QByteArray(int(rng() % 16), char(rng() % 256)));
      break;
    default:
      b.remove(at(), qsizetype(rng() % 8));
      break;
  }
  return b;
}

}  // namespace

TEST(FuzzRecordsReplay, SeededMutationsOfEveryKindAreReadOrRefused) {
  std::mt19937 rng(20261205);
  int read = 0, runs = 0;
  for (const QByteArray& seed : Seeds()) {
    EXPECT_TRUE(fuzz::FuzzRecordsOneInput(reinterpret_cast<const uint8_t*>(seed.constData()), size_t(seed.size())));
    QByteArray b = seed;
    for (int i = 0; i < 3000; ++i, ++runs) {
      b = (i % 7 == 0) ? seed : Mutate(b, rng);
      read += fuzz::FuzzRecordsOneInput(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())) ? 1 : 0;
    }
  }
  // Both outcomes occur: the mutations reach the record readers, not only the magic check.
  EXPECT_GT(read, runs / 10);
  EXPECT_LT(read, runs);
}

// Inputs the fuzz campaign found, kept so every build replays them.
TEST(FuzzRecordsReplay, CampaignFindings) {
  const QDir dir(QStringLiteral(VANTA_TEST_DATA_DIR "/fuzz-findings/records"));
  const QStringList files = dir.entryList(QDir::Files);
  ASSERT_FALSE(files.isEmpty());
  for (const QString& name : files) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    const QByteArray b = f.readAll();
    fuzz::FuzzRecordsOneInput(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size()));
  }
  // A waveform file without channels but with a sample count: refused, not exported as billions of rows.
  QFile f(dir.filePath(QStringLiteral("csv-export-zero-channels-huge-sample-count")));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  TRecordFile file;
  QString error;
  EXPECT_FALSE(ParseRecordFile(f.readAll(), file, error));
  EXPECT_TRUE(error.contains(QStringLiteral("ohne Kanäle"))) << error.toStdString();
}
