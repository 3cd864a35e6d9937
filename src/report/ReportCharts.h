#pragma once
// The report's charts, drawn with the chart painters of the screen (time
// curves, bars with limit marks) onto the report's pages.
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "ChartPaint.h"
#include "DeviceTime.h"
#include "En50160.h"
#include "ReportPage.h"

namespace vanta {

// A series of curves over time (device wall clock, nanoseconds), in time order.
struct TSeries {
  QStringList Names;
  std::vector<int64_t> Times;
  std::vector<std::vector<float>> Values;  // per curve
  int64_t IntervalNs = 600 * int64_t(1000000000);
};

// Gathers the supply voltages and the frequency for the curves while the
// evaluation walks the files: both series in the evaluation's one walk.
class TEnCurveCollector : public TEnRowSink {
 public:
  void FileStart(const QString& path, const TRecordFile& first) override;
  void Row(const TRecRow& row) override;
  TSeries Volts, Freq;

 private:
  struct TTake {
    TSeries* Series;
    std::vector<std::pair<int, int>> Columns;  // file column -> curve
  };
  std::array<TTake, 2> FTake{{{&Volts, {}}, {&Freq, {}}}};
  TDeviceTime FClock;  // the open file's wall clock
};

// The week table: "Woche", "Werte", one column per group of the recording
// (TEnResult::Groups), "Ergebnis"; per week the lowest share in % of the
// group's conductors.
void EnWeekTable(const TEnResult& en, QStringList& head, std::vector<QStringList>& rows);

// The week table's groups as bars: per week and group the share of values
// within the limit (the worst conductor), against the share the group must
// keep (95 %, 99.5 %, 100 %). One chart per six weeks.
std::vector<TLimitBars> ComplianceBars(const TEnResult& en);
void ComplianceCharts(TPage& page, const TEnResult& en);

// The 10-minute values of the supply voltages and of the frequency over the
// whole period, with their limit lines.
void En50160Curves(TPage& page, const TEnCurveCollector& curves, double nominal);

// The bars of one harmonic chart: one view (phase or line-to-line
// voltages, currents), up to four conductor rows of it.
struct THarmRows {
  TVantaDisp View = TVantaDisp::sdHrmULE;
  std::array<QList<float>, 4> Rows;
  int LastRow = -1;            // the last conductor row with values
  int First = 0, Last = -1;    // the orders or bands with values
};

// The worst week's 95 % value of every voltage harmonic per conductor:
// the phase voltages in one chart, line-to-line voltages (names ending in
// L12, L23, L31) in another.
std::vector<THarmRows> EnHarmonicRows(const TEnResult& en);
// Their charts against the limits. Nothing when the recording has no harmonics.
void En50160HarmonicChart(TPage& page, const TEnResult& en);

// The rows of a statistics chart, as StatisticsChart takes them; empty when
// a channel has no place in a bar chart of the kind.
std::vector<THarmRows> StatisticsRows(const QString& kind, const QStringList& names, const QList<int>& indexes,
                                      const std::vector<double>& p95s, const QString& unit);

// The 95 % values of a statistics report per order or band and conductor;
// `kind` as the report kind, `names` the channels, `indexes` their order or
// band number (as in the channel name), `unit` their unit.
void StatisticsChart(TPage& page, const QString& kind, const QString& title, const QStringList& names, const QList<int>& indexes,
                     const std::vector<double>& p95s, const QString& unit);

// The residual current (largest channel per row) and its reference over the
// time of the rows (device wall clock, nanoseconds).
void RcmChart(TPage& page, const std::vector<int64_t>& times, const std::vector<double>& current, const std::vector<double>& reference);

}  // namespace vanta
