// The EN 50160 evaluation on generated weeks with known violations.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>

#include "En50160.h"
#include "RecordFile.h"

using namespace vanta;

namespace {

constexpr uint32_t CMonday = 1764547200;  // 2025-12-01 00:00 UTC, a Monday
constexpr int CWeekRows = 1008;

const QList<TRecordChannel> CChannels = {
    {1, 0, QStringLiteral("V"), QStringLiteral("U L1")},    {2, 0, QStringLiteral("V"), QStringLiteral("U L2")},
    {3, 0, QStringLiteral("Hz"), QStringLiteral("Frequenz")}, {4, 0, QString(), QStringLiteral("Plt L1")},
    {5, 0, QStringLiteral("%"), QStringLiteral("Unsymmetrie U")}, {6, 0, QStringLiteral("%"), QStringLiteral("H3 U L1")},
    {7, 0, QStringLiteral("%"), QStringLiteral("H5 U L1")},  {8, 0, QStringLiteral("%"), QStringLiteral("I L1")}};

// One week of 10-minute rows from `start`; `value(row, channel)` gives the figures.
QString Week(const QDir& dir, uint32_t sn, uint32_t start, const std::function<float(int, int)>& value, int rows = CWeekRows) {
  TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.IntervalMs = 600000;
  ctx.Start = {start, 0};
  ctx.Channels = CChannels;
  TRecordWriter w(TRecordKind::rkRecording, {sn, 0, false, QStringLiteral("Nord"), QStringLiteral("F"), QStringLiteral("Geraet %1").arg(sn)}, ctx);
  for (int i = 0; i < rows; ++i) {
    TRecRow r{{start + uint32_t(i) * 600, 0}, {}};
    for (int c = 0; c < CChannels.size(); ++c) r.Values << value(i, c);
    w.Add(r);
  }
  const QString path = dir.filePath(QStringLiteral("10min-%1-%2-000.log").arg(sn).arg(start));
  QString error;
  EXPECT_TRUE(w.Save(path, error)) << error.toStdString();
  return path;
}

float Clean(int, int c) {
  static const float CGood[] = {230, 231, 50, 0.4f, 0.5f, 1.0f, 2.0f, 40};
  return CGood[c];
}

int Index(const TEnResult& r, TEnGroup g, const QString& channel) {
  for (size_t k = 0; k < r.Criteria.size(); ++k)
    if (r.Criteria[k].Group == g && r.Criteria[k].Channel == channel) return int(k);
  return -1;
}

}  // namespace

TEST(En50160, HarmonicLimitsFollowTheStandardTable) {
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(2), 2.0);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(3), 5.0);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(5), 6.0);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(9), 1.5);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(15), 0.5);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(25), 1.5);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(1), 0.0);
  EXPECT_DOUBLE_EQ(EnHarmonicLimit(26), 0.0);
}

TEST(En50160, WeeksInTimeOrderWithPerPhaseAndPerLimitVerdicts) {
  QTemporaryDir tmp;
  const QDir dir(tmp.path());
  // Week two is named first: the walk sorts by start.
  const QString second = Week(dir, 12345678, CMonday + 7 * 86400, [](int i, int c) {
    if (c == 1 && i < 60) return 190.0f;   // L2 low in 60 of 1008 (5.95 %): fails U 95 %, L1 passes
    if (c == 3 && i < 51) return 1.3f;     // Plt over 1 in 51 values (5.06 %): fails
    if (c == 6 && i % 10 == 0) return 7.0f;  // H5 at 7 % in every tenth value: 95 % value 7 > 6
    return Clean(i, c);
  });
  const QString first = Week(dir, 12345678, CMonday, [](int i, int c) {
    if (c == 3 && i < 50) return 1.3f;  // 50 of 1008 (4.96 %): still passes
    if (c == 2 && i == 0) return std::nanf("");  // not measured: not counted
    return Clean(i, c);
  });
  TEnResult r;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({second, first}, 230, r, error)) << error.toStdString();
  ASSERT_EQ(r.Weeks.size(), 2u);
  EXPECT_EQ(r.Weeks[0].MondaySec, CMonday);
  EXPECT_EQ(r.Weeks[1].MondaySec, CMonday + 7 * 86400);
  EXPECT_EQ(r.Weeks[0].Rows, CWeekRows);
  EXPECT_EQ(r.Serial, 12345678u);
  EXPECT_TRUE(r.Weeks[0].Pass);
  EXPECT_FALSE(r.Weeks[1].Pass);
  EXPECT_FALSE(r.Pass());
  for (TEnGroup g : {TEnGroup::egFreq995, TEnGroup::egVolt95, TEnGroup::egFlicker, TEnGroup::egUnbalance, TEnGroup::egHarmonics})
    EXPECT_TRUE(r.HasGroup(g)) << EnGroupCaption(g).toStdString();
  EXPECT_FALSE(r.HasGroup(TEnGroup::egThd));
  EXPECT_EQ(Index(r, TEnGroup::egVolt95, QStringLiteral("I L1")), -1) << "currents are not assessed";

  const TEnWeek& w2 = r.Weeks[1];
  EXPECT_NEAR(w2.GroupShare[int(TEnGroup::egVolt95)], 948.0 / 1008, 1e-12) << "the worse phase stands for the group";
  EXPECT_FALSE(w2.GroupPass[int(TEnGroup::egVolt95)]);
  EXPECT_TRUE(w2.Criteria[size_t(Index(r, TEnGroup::egVolt95, QStringLiteral("U L1")))].Pass);
  EXPECT_FALSE(w2.GroupPass[int(TEnGroup::egVolt100)]) << "190 V is below -15 %";
  EXPECT_FALSE(w2.GroupPass[int(TEnGroup::egFlicker)]);
  EXPECT_TRUE(w2.GroupPass[int(TEnGroup::egUnbalance)]);
  const int h5 = Index(r, TEnGroup::egHarmonics, QStringLiteral("H5 U L1"));
  ASSERT_GE(h5, 0);
  EXPECT_EQ(r.Criteria[size_t(h5)].Order, 5);
  EXPECT_DOUBLE_EQ(r.Criteria[size_t(h5)].Hi, 6.0);
  EXPECT_FLOAT_EQ(float(w2.Criteria[size_t(h5)].P95), 7.0f);
  EXPECT_FLOAT_EQ(float(w2.Criteria[size_t(h5)].Max), 7.0f);
  EXPECT_FLOAT_EQ(float(w2.Criteria[size_t(h5)].P05), 2.0f);
  EXPECT_TRUE(w2.Criteria[size_t(Index(r, TEnGroup::egHarmonics, QStringLiteral("H3 U L1")))].Pass);

  const TEnWeek& w1 = r.Weeks[0];
  EXPECT_NEAR(w1.GroupShare[int(TEnGroup::egFlicker)], 958.0 / 1008, 1e-12);
  EXPECT_TRUE(w1.GroupPass[int(TEnGroup::egFlicker)]);
  EXPECT_NEAR(w1.GroupShare[int(TEnGroup::egFreq100)], 1.0, 1e-12) << "the NaN is left out, not counted as outside";
}

TEST(En50160, AllValuesLimitFailsOnASingleValue) {
  QTemporaryDir tmp;
  const QString f = Week(QDir(tmp.path()), 1, CMonday, [](int i, int c) { return c == 2 && i == 500 ? 52.5f : Clean(i, c); });
  TEnResult r;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({f}, 230, r, error));
  EXPECT_TRUE(r.Weeks[0].GroupPass[int(TEnGroup::egFreq995)]) << "1 of 1008 outside 49.5-50.5 Hz is within 0.5 %";
  EXPECT_FALSE(r.Weeks[0].GroupPass[int(TEnGroup::egFreq100)]);
}

TEST(En50160, OverlapsAndCutFilesAreNamedNotFatal) {
  QTemporaryDir tmp;
  const QDir dir(tmp.path());
  const QString a = Week(dir, 7, CMonday + 7 * 86400, Clean, 10);
  // b repeats a's last two intervals; its last row is cut off in the download.
  const QString b = Week(dir, 7, CMonday + 7 * 86400 + 4800, Clean, 5);
  QFile cut(b);
  ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
  ASSERT_TRUE(cut.resize(cut.size() - 7));
  cut.close();
  const QString old = Week(dir, 7, CMonday, Clean, 3);  // named last, first in time
  TEnResult r;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({a, b, old}, 230, r, error)) << error.toStdString();
  ASSERT_EQ(r.Weeks.size(), 2u);
  EXPECT_EQ(r.Weeks[0].Rows, 3);
  EXPECT_EQ(r.Weeks[1].Rows, 10 + 2) << "repeated intervals count once, the cut row not at all";
  EXPECT_EQ(r.SkippedRows, 2);
  ASSERT_EQ(r.Warnings.size(), 1);
  EXPECT_TRUE(r.Warnings[0].contains(QStringLiteral("unvollständig"))) << r.Warnings[0].toStdString();
}

TEST(En50160, RefusesWhatCannotBeAssessed) {
  QTemporaryDir tmp;
  const QDir dir(tmp.path());
  TEnResult r;
  QString error;
  EXPECT_FALSE(EvaluateEn50160({}, 230, r, error));
  EXPECT_FALSE(error.isEmpty());
  const QString a = Week(dir, 1, CMonday, Clean, 2);
  const QString b = Week(dir, 2, CMonday, Clean, 2);
  EXPECT_FALSE(EvaluateEn50160({a, b}, 230, r, error));
  EXPECT_TRUE(error.contains(QStringLiteral("verschiedener Stationen"))) << error.toStdString();
  EXPECT_FALSE(EvaluateEn50160({a}, 0, r, error));
  TRecordWriter ev(TRecordKind::rkEvent, {1, 0, false, {}, {}, QStringLiteral("Geraet 1")}, {});
  ASSERT_TRUE(ev.Save(dir.filePath(QStringLiteral("ev.log")), error));
  EXPECT_FALSE(EvaluateEn50160({a, dir.filePath(QStringLiteral("ev.log"))}, 230, r, error));
  EXPECT_TRUE(error.contains(QStringLiteral("keine Aufzeichnung")));
  QFile junk(dir.filePath(QStringLiteral("junk.log")));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a record file at all");
  junk.close();
  EXPECT_FALSE(EvaluateEn50160({junk.fileName()}, 230, r, error));
  EXPECT_TRUE(error.contains(QStringLiteral("keine Aufzeichnungsdatei"))) << error.toStdString();
  const QString empty = Week(dir, 3, CMonday, Clean, 0);
  EXPECT_FALSE(EvaluateEn50160({empty}, 230, r, error));
  EXPECT_TRUE(error.contains(QStringLiteral("keine 10-Minuten-Werte")));
}

// A reader riding on the evaluation sees each file once, in time order, and
// exactly the rows the evaluation counts.
TEST(En50160, RowSinkSeesTheEvaluationsOneWalk) {
  QTemporaryDir tmp;
  const QDir dir(tmp.path());
  const QString a = Week(dir, 7, CMonday + 7 * 86400, Clean, 10);
  const QString b = Week(dir, 7, CMonday + 7 * 86400 + 4800, Clean, 5);  // repeats a's last two intervals
  const QString old = Week(dir, 7, CMonday, Clean, 3);
  struct TCount : TEnRowSink {
    QStringList Files;
    std::vector<uint32_t> Secs;
    int Channels = 0;
    void FileStart(const QString& path, const TRecordFile& first) override {
      Files << path;
      Channels = int(first.Header.Context.Channels.size());
    }
    void Row(const TRecRow& row) override { Secs.push_back(row.Time.Sec); }
  } sink;
  TEnResult r;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({a, b, old}, 230, r, error, &sink)) << error.toStdString();
  EXPECT_EQ(sink.Files, (QStringList{old, a, b})) << "one start per file, in time order";
  EXPECT_EQ(sink.Channels, int(CChannels.size()));
  ASSERT_EQ(sink.Secs.size(), size_t(3 + 10 + 3)) << "the repeated intervals are left out";
  EXPECT_EQ(r.SkippedRows, 2);
  EXPECT_TRUE(std::is_sorted(sink.Secs.begin(), sink.Secs.end()));
  EXPECT_EQ(std::adjacent_find(sink.Secs.begin(), sink.Secs.end()), sink.Secs.end()) << "no interval twice";
  EXPECT_EQ(sink.Secs.front(), CMonday);
  EXPECT_EQ(sink.Secs.back(), CMonday + 7 * 86400 + 4800 + 4 * 600);
}

TEST(En50160, GroupsAreThoseRecordedInTheirOrder) {
  QTemporaryDir tmp;
  const QString f = Week(QDir(tmp.path()), 7, CMonday, Clean, 3);
  TEnResult r;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({f}, 230, r, error)) << error.toStdString();
  // No THD channel in the recording: no THD group.
  EXPECT_EQ(r.Groups(), (std::vector<TEnGroup>{TEnGroup::egFreq995, TEnGroup::egFreq100, TEnGroup::egVolt95, TEnGroup::egVolt100,
                                               TEnGroup::egFlicker, TEnGroup::egUnbalance, TEnGroup::egHarmonics}));
}
