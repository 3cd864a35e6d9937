// What the report charts show, checked on their data: the curves come from
// the evaluation's walk, line-to-line channels keep their own bars, and the
// compliance bars are the week table's quantities.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <functional>

#include "En50160.h"
#include "RecordFile.h"
#include "ReportCharts.h"

using namespace vanta;

namespace {

constexpr uint32_t CMonday = 1764547200;  // 2025-12-01 00:00 UTC, a Monday

// `rows` 10-minute rows of `names` (unit by name: "U …" V, "Frequenz" Hz,
// else %) from `start`; `value(row, channel)` gives the figures.
QString Recording(const QString& dir, const QStringList& names, int rows, const std::function<float(int, int)>& value,
                  uint32_t start = CMonday) {
  TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.IntervalMs = 600000;
  ctx.Start = {start, 0};
  for (int c = 0; c < names.size(); ++c) {
    const QString unit = names[c].startsWith(QLatin1String("U ")) ? QStringLiteral("V")
                         : names[c] == QLatin1String("Frequenz")  ? QStringLiteral("Hz")
                                                                  : QStringLiteral("%");
    ctx.Channels << TRecordChannel{uint32_t(c + 1), 0, unit, names[c]};
  }
  TRecordWriter w(TRecordKind::rkRecording, {4711, 0, false, QStringLiteral("Nord"), QStringLiteral("F"), QStringLiteral("Geraet")}, ctx);
  for (int i = 0; i < rows; ++i) {
    TRecRow r{{start + uint32_t(i) * 600, 0}, {}};
    for (int c = 0; c < names.size(); ++c) r.Values << value(i, c);
    w.Add(r);
  }
  const QString path = QDir(dir).filePath(QStringLiteral("10min-4711-%1-000.log").arg(start));
  QString error;
  EXPECT_TRUE(w.Save(path, error)) << error.toStdString();
  return path;
}

}  // namespace

// Voltages and frequency both come from the evaluation's one walk: the file
// is gone once its walk has begun, and still both curves are complete.
TEST(CliReportChartData, CurvesComeFromTheEvaluationsOneWalk) {
  QTemporaryDir tmp;
  const QStringList names{QStringLiteral("U L1"), QStringLiteral("Frequenz"), QStringLiteral("U L2"), QStringLiteral("THD U L1")};
  const QString path = Recording(tmp.path(), names, 300, [](int i, int c) {
    return c == 1 ? 50.0f + 0.001f * float(i) : c == 3 ? 2.0f : 230.0f + float(c) + 0.01f * float(i);
  });
  struct TVanishing : TEnCurveCollector {
    int Starts = 0;
    void FileStart(const QString& file, const TRecordFile& first) override {
      ++Starts;
      QFile::remove(file);  // a second walk would find nothing to read
      TEnCurveCollector::FileStart(file, first);
    }
  } curves;
  TEnResult en;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({path}, 230, en, error, &curves)) << error.toStdString();
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(curves.Starts, 1);
  EXPECT_EQ(curves.Volts.Names, (QStringList{QStringLiteral("U L1"), QStringLiteral("U L2")}));
  EXPECT_EQ(curves.Freq.Names, QStringList{QStringLiteral("Frequenz")});
  ASSERT_EQ(curves.Volts.Times.size(), 300u);
  ASSERT_EQ(curves.Freq.Times.size(), 300u);
  EXPECT_EQ(curves.Volts.IntervalNs, int64_t(600) * 1000000000);
  EXPECT_EQ(curves.Freq.Times[1] - curves.Freq.Times[0], int64_t(600) * 1000000000);
  ASSERT_EQ(curves.Volts.Values.size(), 2u);
  ASSERT_EQ(curves.Freq.Values.size(), 1u);
  EXPECT_FLOAT_EQ(curves.Volts.Values[0][299], 230.0f + 2.99f);
  EXPECT_FLOAT_EQ(curves.Volts.Values[1][0], 232.0f);
  EXPECT_FLOAT_EQ(curves.Freq.Values[0][100], 50.1f);
}

// Overlapping files: the curves hold each interval once, as the evaluation counts it.
TEST(CliReportChartData, CurvesTakeARepeatedIntervalOnce) {
  QTemporaryDir tmp;
  const QStringList names{QStringLiteral("U L1"), QStringLiteral("Frequenz")};
  const QString a = Recording(tmp.path(), names, 10, [](int, int c) { return c == 1 ? 50.0f : 230.0f; });
  const QString b = Recording(tmp.path(), names, 5, [](int, int c) { return c == 1 ? 50.2f : 231.0f; }, CMonday + 8 * 600);
  TEnCurveCollector curves;
  TEnResult en;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({b, a}, 230, en, error, &curves)) << error.toStdString();
  EXPECT_EQ(curves.Volts.Times.size(), 13u);
  EXPECT_EQ(curves.Freq.Times.size(), 13u);
  EXPECT_FLOAT_EQ(curves.Freq.Values[0][9], 50.0f) << "the first file's value of a repeated interval";
  EXPECT_FLOAT_EQ(curves.Freq.Values[0][10], 50.2f);
}

// A recording with phase and line-to-line harmonics: both keep their bars,
// the line-to-line ones in the rows U12, U23, U31 of their own view.
TEST(CliReportChartData, LineToLineHarmonicsKeepTheirOwnBars) {
  QTemporaryDir tmp;
  const QStringList names{QStringLiteral("U L1"), QStringLiteral("H5 U L1"), QStringLiteral("H5 U L12"), QStringLiteral("H5 U L23"),
                          QStringLiteral("H5 U L31"), QStringLiteral("H3 U L2")};
  static const float CValues[] = {230, 2.0f, 4.0f, 3.0f, 3.5f, 1.5f};
  const QString path = Recording(tmp.path(), names, 20, [](int, int c) { return CValues[c]; });
  TEnResult en;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({path}, 230, en, error)) << error.toStdString();
  const std::vector<THarmRows> views = EnHarmonicRows(en);
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[0].View, TVantaDisp::sdHrmULE);
  EXPECT_FLOAT_EQ(views[0].Rows[size_t(T4Leiter::lt1)][5], 2.0f) << "L1 not overwritten by a line-to-line channel";
  EXPECT_FLOAT_EQ(views[0].Rows[size_t(T4Leiter::lt2)][3], 1.5f);
  EXPECT_EQ(views[0].LastRow, int(T4Leiter::lt2));
  EXPECT_EQ(views[1].View, TVantaDisp::sdHrmULL);
  EXPECT_FLOAT_EQ(views[1].Rows[size_t(T4Leiter::lt1)][5], 4.0f);
  EXPECT_FLOAT_EQ(views[1].Rows[size_t(T4Leiter::lt2)][5], 3.0f);
  EXPECT_FLOAT_EQ(views[1].Rows[size_t(T4Leiter::lt3)][5], 3.5f);
  EXPECT_EQ(views[1].LastRow, int(T4Leiter::lt3));
  EXPECT_EQ(views[1].First, 5);
  EXPECT_EQ(views[1].Last, 5);

  // The statistics report takes the same rows.
  const std::vector<THarmRows> stat = StatisticsRows(QStringLiteral("harmonics-u"), names.mid(1), {5, 5, 5, 5, 3}, {2.0, 4.0, 3.0, 3.5, 1.5},
                                                     QStringLiteral("%"));
  ASSERT_EQ(stat.size(), 2u);
  EXPECT_FLOAT_EQ(stat[0].Rows[size_t(T4Leiter::lt1)][5], 2.0f);
  EXPECT_FLOAT_EQ(stat[0].Rows[size_t(T4Leiter::lt2)][3], 1.5f);
  EXPECT_EQ(stat[1].View, TVantaDisp::sdHrmULL);
  EXPECT_FLOAT_EQ(stat[1].Rows[size_t(T4Leiter::lt1)][5], 4.0f);
  EXPECT_FLOAT_EQ(stat[1].Rows[size_t(T4Leiter::lt2)][5], 3.0f);
  EXPECT_FLOAT_EQ(stat[1].Rows[size_t(T4Leiter::lt3)][5], 3.5f);
  // Bands of line-to-line voltages have their view too.
  const std::vector<THarmRows> bands = StatisticsRows(QStringLiteral("bands-u"), {QStringLiteral("B2100 U L1"), QStringLiteral("B2100 U L12")},
                                                      {2100, 2100}, {0.1, 0.2}, QStringLiteral("V"));
  ASSERT_EQ(bands.size(), 2u);
  EXPECT_EQ(bands[1].View, TVantaDisp::sdFrqBandULL);
  EXPECT_FLOAT_EQ(bands[1].Rows[0][0], 0.2f);
}

// The compliance chart shows what the week table lists: its quantities as
// bar groups, its shares as bars, the required share of each as the limit.
TEST(CliReportChartData, ComplianceBarsAreTheWeekTablesQuantities) {
  QTemporaryDir tmp;
  const QStringList names{QStringLiteral("U L1"), QStringLiteral("U L2"), QStringLiteral("Frequenz"), QStringLiteral("Plt L1"),
                          QStringLiteral("THD U L1"), QStringLiteral("H5 U L1")};
  // Eight days: two weeks; L2 dips in a tenth of the first week's values.
  const QString path = Recording(tmp.path(), names, 8 * 144, [](int i, int c) {
    static const float CGood[] = {230, 231, 50, 0.4f, 3, 2};
    return c == 1 && i < 1008 && i % 10 == 0 ? 200.0f : CGood[c];
  });
  TEnResult en;
  QString error;
  ASSERT_TRUE(EvaluateEn50160({path}, 230, en, error)) << error.toStdString();
  QStringList head;
  std::vector<QStringList> table;
  EnWeekTable(en, head, table);
  ASSERT_EQ(table.size(), 2u);
  const QStringList quantities = head.mid(2, head.size() - 3);
  EXPECT_EQ(quantities, (QStringList{QStringLiteral("f 99,5 %"), QStringLiteral("f 100 %"), QStringLiteral("U 95 %"), QStringLiteral("U 100 %"),
                                     QStringLiteral("Plt 95 %"), QStringLiteral("THD 95 %"), QStringLiteral("Harm. 95 %")}));
  const std::vector<TLimitBars> charts = ComplianceBars(en);
  ASSERT_EQ(charts.size(), 1u);
  const TLimitBars& b = charts[0];
  EXPECT_EQ(b.Groups, quantities);
  EXPECT_EQ(b.Limits, (std::vector<double>{99.5, 100, 95, 100, 95, 95, 95}));
  ASSERT_EQ(b.Values.size(), table.size());
  for (size_t w = 0; w < table.size(); ++w) {
    EXPECT_EQ(b.Series[w].Name, table[w][0]);
    ASSERT_EQ(b.Values[w].size(), size_t(quantities.size()));
    for (qsizetype g = 0; g < quantities.size(); ++g)
      EXPECT_EQ(QString::number(b.Values[w][size_t(g)], 'f', 2), table[w][2 + g]) << "week " << w << ", " << quantities[g].toStdString();
  }
  EXPECT_EQ(table[0][4], QStringLiteral("89.98")) << "the worst phase of the first week: 907 of 1008 within";
}
