#pragma once
// The report's charts, drawn with the chart painters of the screen (time
// curves, bars with limit marks) onto the report's pages.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "En50160.h"
#include "ReportPage.h"

namespace vanta {

// Per week and group the share of values within the limit, as bars against
// the share the group must keep (95 %, 99.5 %, 100 %).
void ComplianceCharts(TPage& page, const TEnResult& en);

// The 10-minute values of the supply voltages and of the frequency over the
// whole period, with their limit lines. False with a reason for a file that
// cannot be read.
bool En50160Curves(TPage& page, const QStringList& files, double nominal, QString& error);

// The worst week's 95 % value of every voltage harmonic per conductor
// against its limit. Nothing when the recording has no harmonics.
void En50160HarmonicChart(TPage& page, const TEnResult& en);

// The 95 % values of a statistics report per order or band and conductor;
// `kind` as the report kind, `names` the channels, `indexes` their order or
// band number (as in the channel name), `unit` their unit.
void StatisticsChart(TPage& page, const QString& kind, const QString& title, const QStringList& names, const QList<int>& indexes,
                     const std::vector<double>& p95s, const QString& unit);

// The residual current (largest channel per row) and its reference over the
// time of the rows (device wall clock, nanoseconds).
void RcmChart(TPage& page, const std::vector<int64_t>& times, const std::vector<double>& current, const std::vector<double>& reference);

}  // namespace vanta
