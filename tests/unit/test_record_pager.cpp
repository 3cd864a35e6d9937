// Recordings read page by page: rows anywhere in the file, the reduction of
// the whole file for the curves, the CSV export, and what a damaged file says.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "../support/FileSizeLimit.h"
#include "RecordPager.h"

using namespace vanta;

namespace {

constexpr uint32_t CStart = 1764892800;

// U rises by 0.5 per row and starts again every 100 rows.
float U(int row) { return 200.0f + 0.5f * float(row % 100); }

// `rows` rows of two channels: U as above, I is 10 + row % 7;
// row `spike` (if any) carries 999 V and row `gap` a missing U.
QString WriteRecording(const QString& dir, int rows, int spike = -1, int gap = -1, const QString& unit2 = QStringLiteral("A")) {
  TContextHeader ctx;
  ctx.Class = QStringLiteral("1s");
  ctx.Start = {CStart, 0};
  ctx.Channels << TRecordChannel{1, 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L1")}
               << TRecordChannel{2, 0x0200FFFF, unit2, QStringLiteral("I L1")};
  TRecordWriter w(TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx);
  for (int i = 0; i < rows; ++i) {
    const float u = i == spike ? 999.0f : i == gap ? std::nanf("") : U(i);
    w.Add(TRecRow{{CStart + uint32_t(i), 0}, {u, 10.0f + float(i % 7)}});
  }
  const QString path = dir + QStringLiteral("/rec.log");
  QString error;
  EXPECT_TRUE(w.Save(path, error)) << error.toStdString();
  return path;
}

int64_t Key(const tmStamp_t& t) { return int64_t(t.Sec); }

}  // namespace

TEST(RecordPager, AnyRowOfALargeFileWithAFewPagesHeld) {
  QTemporaryDir dir;
  const int rows = 20 * TRecordPager::CPageRows + 17;
  const QString path = WriteRecording(dir.path(), rows);
  TRecordPager p;
  QString error;
  ASSERT_TRUE(p.Open(path, error)) << error.toStdString();
  EXPECT_EQ(p.Count(), rows);
  EXPECT_TRUE(p.Warning().isEmpty());
  const TRecRow* last = p.Row(rows - 1);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->Time.Sec, CStart + uint32_t(rows - 1));
  EXPECT_FLOAT_EQ(last->Values[0], U(rows - 1));
  EXPECT_EQ(p.Row(rows), nullptr);
  EXPECT_EQ(p.Row(-1), nullptr);
  // Walking every row keeps the memory to the pages held.
  for (qint64 i = 0; i < rows; i += 100) ASSERT_NE(p.Row(i), nullptr);
  EXPECT_LE(p.PagesHeld(), TRecordPager::CPages);
  EXPECT_FLOAT_EQ(p.Row(5000)->Values[1], 10.0f + float(5000 % 7));
  // Rows are in time order: a time finds its row without reading the file.
  EXPECT_EQ(p.LowerBound(CStart + 12345, Key), 12345);
  EXPECT_EQ(p.LowerBound(0, Key), 0);
  EXPECT_EQ(p.LowerBound(CStart + rows + 5, Key), rows);
}

TEST(RecordPager, ACutOffOrDamagedFileSaysWhatAndWhere) {
  QTemporaryDir dir;
  const QString path = WriteRecording(dir.path(), 3000);
  // A partial download: the last row is cut.
  QFile f(path);
  ASSERT_TRUE(f.resize(f.size() - 5));
  TRecordPager p;
  QString error;
  ASSERT_TRUE(p.Open(path, error));
  EXPECT_EQ(p.Count(), 2999);
  EXPECT_TRUE(p.Warning().contains(QStringLiteral("2999 Datensätze gelesen"))) << p.Warning().toStdString();
  // A row whose length word does not fit the channels is named, nothing is made up.
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  ASSERT_TRUE(f.seek(p.Geometry().Offset(2500)));
  f.write(QByteArray("\x07\x00\x00\x00", 4));
  f.close();
  EXPECT_EQ(p.Row(2500), nullptr);
  EXPECT_TRUE(p.Error().contains(QStringLiteral("Zeile 2501 passt nicht"))) << p.Error().toStdString();
  EXPECT_NE(p.Row(10), nullptr) << "the rest of the file still reads";
  // Not a recording at all.
  QFile junk(dir.path() + QStringLiteral("/junk.log"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a record file");
  junk.close();
  EXPECT_FALSE(p.Open(junk.fileName(), error));
  EXPECT_FALSE(error.isEmpty());
}

TEST(RecordPager, ReducedCurvesKeepEveryExtremeAndLeaveGapsOut) {
  QTemporaryDir dir;
  const int rows = 100000, spike = 77777, gap = 12345;
  const QString path = WriteRecording(dir.path(), rows, spike, gap);
  TRecordPager p;
  QString error;
  ASSERT_TRUE(p.Open(path, error));
  QList<TRecRow> out;
  ASSERT_TRUE(DecimateRecRows(p.Geometry(), 0, rows, 500, out, error)) << error.toStdString();
  ASSERT_EQ(out.size(), 1000);
  float top = 0, bottom = 1e9f;
  for (const TRecRow& r : out) {
    ASSERT_FALSE(std::isnan(r.Values[0])) << "a missing value is left out of its column";
    top = std::max(top, r.Values[0]);
    bottom = std::min(bottom, r.Values[0]);
  }
  EXPECT_FLOAT_EQ(top, 999.0f) << "one row's spike survives the reduction";
  EXPECT_FLOAT_EQ(bottom, 200.0f);
  EXPECT_EQ(out.first().Time.Sec, CStart);
  EXPECT_EQ(out.last().Time.Sec, CStart + rows - 1) << "the columns reach the file's last row";
  // A short span is drawn from its rows themselves.
  ASSERT_TRUE(DecimateRecRows(p.Geometry(), 10, 20, 500, out, error));
  ASSERT_EQ(out.size(), 10);
  EXPECT_EQ(out[3].Time.Sec, CStart + 13);
  // Stopped early: nothing half-done is handed out.
  std::atomic_bool stop{true};
  EXPECT_FALSE(DecimateRecRows(p.Geometry(), 0, rows, 500, out, error, &stop));
  EXPECT_TRUE(out.isEmpty());
}

TEST(RecordPager, CsvExportIsCompleteOrLeavesTheOldFile) {
  QTemporaryDir dir;
  const QString path = WriteRecording(dir.path(), 5000);
  TRecordPager p;
  QString error;
  ASSERT_TRUE(p.Open(path, error));
  const QString csv = dir.path() + QStringLiteral("/out.csv");
  auto time = [](const tmStamp_t& t) { return QString::number(t.Sec); };
  ASSERT_TRUE(ExportRecRowsCsv(p.Geometry(), 100, 4100, {QStringLiteral("U L1 [V]"), QStringLiteral("I, \"L1\"")}, time, csv, error))
      << error.toStdString();
  QFile f(csv);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = f.readAll().split('\n');
  f.close();
  ASSERT_EQ(lines.size(), 4002) << "header, 4000 rows, the empty rest after the last line break";
  EXPECT_EQ(lines[0], QByteArray("Zeit,U L1 [V],\"I, \"\"L1\"\"\"\r"));
  EXPECT_EQ(lines[1], QByteArray::number(CStart + 100) + ",200," + QByteArray::number(10 + 100 % 7) + "\r");
  EXPECT_FALSE(QFile::exists(csv + QStringLiteral(".part")));
  // The disk refuses part-way: the old file stays and the reason is given.
  const QByteArray before = QFile(csv).exists() ? [&] {
    QFile g(csv);
    g.open(QIODevice::ReadOnly);
    return g.readAll();
  }() : QByteArray();
  {
    test::TFileSizeLimit limit(4096);
    EXPECT_FALSE(ExportRecRowsCsv(p.Geometry(), 0, 5000, {QStringLiteral("U"), QStringLiteral("I")}, time, csv, error));
  }
  EXPECT_FALSE(error.isEmpty());
  QFile g(csv);
  ASSERT_TRUE(g.open(QIODevice::ReadOnly));
  EXPECT_EQ(g.readAll(), before);
  EXPECT_FALSE(QFile::exists(csv + QStringLiteral(".part")));
}
