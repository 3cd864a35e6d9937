#include "ReportCharts.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "ChartPaint.h"
#include "DeviceTime.h"
#include "Language.h"
#include "RecordFile.h"

namespace vanta {

namespace {

constexpr double CNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int64_t CNanoPerSecond = 1000000000;
// More points than a page has columns only blacken the line: longer series
// are drawn as the smallest and the largest value of each stretch.
constexpr int CMaxPoints = 4000;
// Weeks side by side in one compliance chart.
constexpr int CWeeksPerChart = 6;
const uint32_t CWeekColors[CWeeksPerChart] = {0xFF1F5FBF, 0xFF2E9E3E, 0xFFE08020, 0xFF6A3FA0, 0xFF20A0A0, 0xFF808080};

// The conductor a channel name ends with: L1, L2, L3 or N (the first row
// otherwise), and whether it is a line-to-line voltage (L12, L23, L31: the
// rows U12, U23, U31 of the line-to-line view).
struct TConductor {
  T4Leiter Row = T4Leiter::lt1;
  bool LineToLine = false;
};
TConductor Conductor(const QString& name) {
  static const QRegularExpression CEnd(QStringLiteral("(?:^|\\s)(L12|L23|L31|L1|L2|L3|N)$"));
  const QString c = CEnd.match(name.trimmed()).captured(1);
  if (c.size() == 3) return {c == QLatin1String("L12") ? T4Leiter::lt1 : c == QLatin1String("L23") ? T4Leiter::lt2 : T4Leiter::lt3, true};
  return {c == QLatin1String("L2") ? T4Leiter::lt2 : c == QLatin1String("L3") ? T4Leiter::lt3 : c == QLatin1String("N") ? T4Leiter::lt0 : T4Leiter::lt1,
          false};
}

// Into the model: every row, or per stretch its smallest and largest values;
// a gap of more than one and a half intervals breaks the curves.
void Fill(TCrvTimeModel& m, const TSeries& s, const QString& group, const QString& unit) {
  const int curves = int(s.Names.size());
  const size_t n = s.Times.size();
  const size_t stretch = n > size_t(CMaxPoints) ? (n + CMaxPoints / 2 - 1) / (CMaxPoints / 2) : 1;
  m.SetMaxRecs(int(std::min<size_t>(n * 2, size_t(CMaxPoints) * 2)) + 2);
  m.SetCrvCnt(curves);
  m.SetStack(1);
  for (int c = 0; c < curves; ++c) {
    m.SetBaseRec(c, TYBaseRec::BaseRect(s.Names[c], group, unit));
    m.SetLnColor(c, CConductorColors[std::min(c, 3)]);
  }
  const QList<float> gap(curves, std::numeric_limits<float>::quiet_NaN());
  int64_t last = 0;
  for (size_t i = 0; i < n; i += stretch) {
    const size_t end = std::min(n, i + stretch);
    if (i > 0 && s.Times[i] - last > s.IntervalNs * 3 / 2) m.NewValues(last + s.IntervalNs, gap);
    QList<float> lo(curves, std::numeric_limits<float>::quiet_NaN()), hi = lo;
    for (int c = 0; c < curves; ++c)
      for (size_t k = i; k < end; ++k) {
        const float v = s.Values[size_t(c)][k];
        if (!std::isfinite(v)) continue;
        if (!std::isfinite(lo[c]) || v < lo[c]) lo[c] = v;
        if (!std::isfinite(hi[c]) || v > hi[c]) hi[c] = v;
      }
    m.NewValues(s.Times[i], lo);
    if (end - i > 1) m.NewValues(s.Times[(i + end - 1) / 2 + (end - i) % 2], hi);
    last = s.Times[end - 1];
  }
  m.ResetZoom();
}

// "dd.MM.yyyy hh:mm - dd.MM.yyyy hh:mm" of the device's wall clock.
QString Period(int64_t from, int64_t to) {
  auto text = [](int64_t ns) {
    return QDateTime::fromSecsSinceEpoch(ns / CNanoPerSecond, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy HH:mm"));
  };
  return QStringLiteral("%1 - %2").arg(text(from), text(to));
}

struct TLimit {
  double Value;
  QString Text;
};

// A time chart of the model with its limit lines and a legend of curves and limits.
void TimeChart(TPage& page, const QString& heading, TCrvTimeModel& m, const QString& caption, const std::vector<TLimit>& limits,
               const QString& note = QString()) {
  page.Chart(heading, 0.36, [&](QPainter& p, const QRectF& rect) {
    const QFontMetrics fm(p.font());
    const int legend = fm.height() * (note.isEmpty() ? 2 : 3);
    TTimeChartScales scales;
    PaintTimeChart(p, rect.adjusted(0, 0, 0, -legend).toRect(), m, caption, 0xFF202020, true, scales);
    std::vector<TLegendEntry> entries;
    for (int c = 0; c < m.GetCrvCnt(); ++c) entries.push_back({m.GetBaseRec(c).FSym, m.GetLnColor(c), true});
    if (!scales.Axes.empty()) {
      bool shown = false;
      for (const TLimit& l : limits) {
        PaintLimitLine(p, QRectF(scales.CrvRect), scales.Axes.front(), l.Value, l.Text, fm);
        shown |= l.Value >= scales.Axes.front().FSclMin && l.Value <= scales.Axes.front().FSclMax;
      }
      if (shown) entries.push_back({TTr::tr("Grenzen"), CLimitColor, true});
    }
    const double y = rect.bottom() - legend + fm.height() / 2.0;
    PaintLegend(p, QPointF(scales.CrvRect.left(), y), entries, fm);
    if (!note.isEmpty()) {
      p.setPen(Qt::black);
      p.drawText(QPointF(scales.CrvRect.left(), y + fm.height() + fm.ascent()), note);
    }
  });
}

// The axis range: the values and the limits that must show, rounded outward.
void Range(TCrvTimeModel& m, double lo, double hi) {
  for (int c = 0; c < m.GetCrvCnt(); ++c) {
    float a = 0, b = 0;
    if (!m.Store().Range(c, a, b)) continue;
    if (std::isfinite(a)) lo = std::min(lo, double(a));
    if (std::isfinite(b)) hi = std::max(hi, double(b));
  }
  const double span = hi - lo > 0 ? hi - lo : std::max(1.0, std::abs(hi));
  // Values that cannot be negative (currents, from a limit of 0) start at 0.
  lo = lo >= 0 && lo - span * 0.05 < 0 ? 0 : RoundToRange(lo - span * 0.05, span, false);
  hi = RoundToRange(hi + span * 0.05, span, true);
  for (int c = 0; c < m.GetCrvCnt(); ++c) m.SetRange(c, lo, hi);
}

// A row of harmonic bars per view: the phase view and its line-to-line
// counterpart (none for currents, whose line-to-line rows have no chart).
struct THarmSplit {
  std::vector<THarmRows> Views;
  THarmRows* Of(TVantaDisp view, int count) {
    for (THarmRows& r : Views)
      if (r.View == view) return &r;
    THarmRows r;
    r.View = view;
    r.First = count;
    for (auto& row : r.Rows) row = QList<float>(count, 0.0f);
    Views.push_back(r);
    return &Views.back();
  }
};

TVantaDisp LineToLineView(TVantaDisp v) {
  switch (v) {
    case TVantaDisp::sdHrmULE: return TVantaDisp::sdHrmULL;
    case TVantaDisp::sdIHrmULE: return TVantaDisp::sdIHrmULL;
    case TVantaDisp::sdFrqBandULE: return TVantaDisp::sdFrqBandULL;
    default: return v;  // currents: no line-to-line view
  }
}

}  // namespace

void TEnCurveCollector::FileStart(const QString& path, const TRecordFile& first) {
  FClock = DeviceTimeForFile(path, first.Header.Env);
  if (first.Header.Context.IntervalMs > 0)
    for (TTake& t : FTake) t.Series->IntervalNs = int64_t(first.Header.Context.IntervalMs) * 1000000;
  for (TTake& t : FTake) t.Columns.clear();
  for (int c = 0; c < first.Header.Context.Channels.size(); ++c) {
    const TRecordChannel& ch = first.Header.Context.Channels[c];
    // The channels the evaluation takes as supply voltages and frequency.
    const int which = ch.Unit == QLatin1String("V") && ch.Name.startsWith(QLatin1String("U ")) ? 0
                      : ch.Unit == QLatin1String("Hz")                                         ? 1
                                                                                               : -1;
    if (which < 0) continue;
    TSeries& s = *FTake[size_t(which)].Series;
    int k = int(s.Names.indexOf(ch.Name));
    if (k < 0) {
      k = int(s.Names.size());
      s.Names << ch.Name;
      s.Values.emplace_back(s.Times.size(), std::numeric_limits<float>::quiet_NaN());
    }
    FTake[size_t(which)].Columns.emplace_back(c, k);
  }
}

void TEnCurveCollector::Row(const TRecRow& row) {
  for (TTake& t : FTake) {
    // A series stays empty (no time axis) when no file has its channels.
    if (t.Series->Names.isEmpty()) continue;
    t.Series->Times.push_back(FClock.Linear(row.Time));
    for (auto& v : t.Series->Values) v.push_back(std::numeric_limits<float>::quiet_NaN());
    for (const auto& [c, k] : t.Columns)
      if (c < row.Values.size()) t.Series->Values[size_t(k)].back() = row.Values[c];
  }
}

void EnWeekTable(const TEnResult& en, QStringList& head, std::vector<QStringList>& rows) {
  const std::vector<TEnGroup> groups = en.Groups();
  head = QStringList{TTr::tr("Woche"), TTr::tr("Werte")};
  for (TEnGroup g : groups) head << EnGroupCaption(g);
  head << TTr::tr("Ergebnis");
  rows.clear();
  for (const TEnWeek& w : en.Weeks) {
    QStringList row{TTr::tr("Woche ab %1").arg(QDateTime::fromSecsSinceEpoch(w.MondaySec, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy"))),
                    QString::number(w.Rows)};
    for (TEnGroup g : groups)
      row << (w.GroupShare[int(g)] < 0 ? QStringLiteral("–") : QString::number(100.0 * w.GroupShare[int(g)], 'f', 2));
    row << (w.Pass ? TTr::tr("bestanden") : TTr::tr("nicht bestanden"));
    rows.push_back(row);
  }
}

std::vector<TLimitBars> ComplianceBars(const TEnResult& en) {
  // The groups of the week table, so chart and table show the same quantities.
  const std::vector<TEnGroup> groups = en.Groups();
  std::vector<TLimitBars> charts;
  if (groups.empty() || en.Weeks.empty()) return charts;
  std::vector<double> limits;
  for (TEnGroup g : groups) {
    const auto c = std::find_if(en.Criteria.begin(), en.Criteria.end(), [g](const TEnCriterion& x) { return x.Group == g; });
    limits.push_back(100.0 * c->Share);
  }
  // The axis starts a little below the lowest share or limit: the
  // differences that decide lie in the last few per cent.
  double lowest = *std::min_element(limits.begin(), limits.end());
  for (const TEnWeek& w : en.Weeks)
    for (TEnGroup g : groups)
      if (w.GroupShare[int(g)] >= 0) lowest = std::min(lowest, 100.0 * w.GroupShare[int(g)]);
  const double bottom = std::max(0.0, std::floor((lowest - 2) / 10) * 10);
  for (size_t from = 0; from < en.Weeks.size(); from += CWeeksPerChart) {
    TLimitBars b;
    b.Unit = QStringLiteral("%");
    b.Min = bottom;
    b.Max = 101;
    b.Limits = limits;
    b.LimitText = TTr::tr("geforderter Anteil");
    b.Caption = TTr::tr("Anteil der 10-Minuten-Werte innerhalb der Grenze [%], je Größe die schlechteste Phase");
    for (TEnGroup g : groups) b.Groups << EnGroupCaption(g);
    const size_t to = std::min(en.Weeks.size(), from + CWeeksPerChart);
    for (size_t k = from; k < to; ++k) {
      const TEnWeek& w = en.Weeks[k];
      b.Series.push_back({TTr::tr("Woche ab %1").arg(QDateTime::fromSecsSinceEpoch(w.MondaySec, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy"))),
                          CWeekColors[k - from], false});
      std::vector<double> row;
      for (TEnGroup g : groups) row.push_back(w.GroupShare[int(g)] >= 0 ? 100.0 * w.GroupShare[int(g)] : CNaN);
      b.Values.push_back(row);
    }
    charts.push_back(std::move(b));
  }
  return charts;
}

void ComplianceCharts(TPage& page, const TEnResult& en) {
  const std::vector<TLimitBars> charts = ComplianceBars(en);
  for (size_t part = 0; part < charts.size(); ++part) {
    const QString heading = charts.size() > 1
                                ? TTr::tr("Einhaltung je Woche und Größe (%1/%2)").arg(part + 1).arg(charts.size())
                                : TTr::tr("Einhaltung je Woche und Größe");
    const TLimitBars& b = charts[part];
    page.Chart(heading, 0.36, [&b](QPainter& p, const QRectF& rect) { PaintLimitBars(p, rect, b); });
  }
}

void En50160Curves(TPage& page, const TEnCurveCollector& curves, double nominal) {
  const TSeries& volts = curves.Volts;
  const TSeries& freq = curves.Freq;
  if (!volts.Names.isEmpty() && !volts.Times.empty()) {
    TCrvTimeModel m;
    Fill(m, volts, QStringLiteral("U"), QStringLiteral("V"));
    Range(m, 0.85 * nominal, 1.1 * nominal);
    TimeChart(page, TTr::tr("Spannung: 10-Minuten-Werte"), m, Period(volts.Times.front(), volts.Times.back()),
              {{0.9 * nominal, TTr::tr("-10 % Un (95 %)")},
               {1.1 * nominal, TTr::tr("+10 % Un (95 % und 100 %)")},
               {0.85 * nominal, TTr::tr("-15 % Un (100 %)")}});
  }
  if (!freq.Names.isEmpty() && !freq.Times.empty()) {
    TCrvTimeModel m;
    Fill(m, freq, QStringLiteral("f"), QStringLiteral("Hz"));
    // The 99.5 % band always shows; 47 and 52 Hz only when the values come
    // near them, else the curve would shrink to a line.
    Range(m, 49.5, 50.5);
    float lo = 50, hi = 50;
    m.Store().Range(0, lo, hi);
    const bool outer = lo < 49.0f || hi > 51.0f;
    if (outer) Range(m, 47, 52);
    TimeChart(page, TTr::tr("Frequenz: 10-Minuten-Werte"), m, Period(freq.Times.front(), freq.Times.back()),
              {{49.5, TTr::tr("49,5 Hz (99,5 %)")},
               {50.5, TTr::tr("50,5 Hz (99,5 %)")},
               {47, QStringLiteral("47 Hz (100 %)")},
               {52, QStringLiteral("52 Hz (100 %)")}},
              outer ? QString() : TTr::tr("Grenzen für 100 % der Werte (47 Hz und 52 Hz) liegen außerhalb des gezeigten Bereichs."));
  }
}

std::vector<THarmRows> EnHarmonicRows(const TEnResult& en) {
  THarmSplit split;
  for (size_t k = 0; k < en.Criteria.size(); ++k) {
    const TEnCriterion& c = en.Criteria[k];
    if (c.Group != TEnGroup::egHarmonics || c.Order < 0 || c.Order > 50) continue;
    double p95 = 0;
    bool seen = false;
    for (const TEnWeek& w : en.Weeks)
      if (k < w.Criteria.size() && w.Criteria[k].InShare >= 0) {
        p95 = std::max(p95, w.Criteria[k].P95);
        seen = true;
      }
    if (!seen) continue;
    const TConductor at = Conductor(c.Channel);
    THarmRows& r = *split.Of(at.LineToLine ? TVantaDisp::sdHrmULL : TVantaDisp::sdHrmULE, 51);
    const int row = int(at.Row);
    r.Rows[size_t(row)][c.Order] = std::max(r.Rows[size_t(row)][c.Order], float(p95));
    r.First = std::min(r.First, c.Order);
    r.Last = std::max(r.Last, c.Order);
    r.LastRow = std::max(r.LastRow, row);
  }
  return split.Views;
}

void En50160HarmonicChart(TPage& page, const TEnResult& en) {
  for (const THarmRows& r : EnHarmonicRows(en)) {
    THarmBarModel m;
    m.SetVantaDisp(r.View);
    for (int k = 0; k <= r.LastRow; ++k) m.SetHrmVal(T4Leiter(k), r.Rows[size_t(k)]);
    m.FHrmMaxIdx = r.Last;
    m.HrmRescale();
    const QString heading = r.View == TVantaDisp::sdHrmULL
                                ? TTr::tr("Harmonische Leiter-Leiter: 95 %-Werte (schlechteste Woche) gegen ihre Grenzen")
                                : TTr::tr("Harmonische: 95 %-Werte (schlechteste Woche) gegen ihre Grenzen");
    const int shown = r.LastRow + 1;
    page.Chart(heading, 0.4, [&m, shown](QPainter& p, const QRectF& rect) { PaintHarmBars(p, rect, m, shown); });
  }
}

std::vector<THarmRows> StatisticsRows(const QString& kind, const QStringList& names, const QList<int>& indexes,
                                      const std::vector<double>& p95s, const QString& unit) {
  const bool current = unit == QLatin1String("A");
  TVantaDisp view = current ? TVantaDisp::sdHrmIL : TVantaDisp::sdHrmULE;
  int offset = 0, step = 1, count = 51;
  if (kind == QLatin1String("interharmonics") || kind == QLatin1String("intermediate")) {
    view = current ? TVantaDisp::sdIHrmIL : TVantaDisp::sdIHrmULE;
    count = 50;
  } else if (kind.startsWith(QLatin1String("bands"))) {
    view = current ? TVantaDisp::sdFrqBandIL : TVantaDisp::sdFrqBandULE;
    offset = 2100;  // band k is named by its frequency 2100 + 200 k Hz
    step = 200;
    count = 35;
  }
  THarmSplit split;
  for (qsizetype i = 0; i < names.size(); ++i) {
    const int at = indexes.value(i) - offset;
    const TConductor c = Conductor(names[i]);
    const TVantaDisp v = c.LineToLine ? LineToLineView(view) : view;
    // No place for it: the caller draws one bar per channel instead.
    if (at < 0 || at % step != 0 || at / step >= count || (c.LineToLine && v == view)) return {};
    THarmRows& r = *split.Of(v, count);
    const int row = int(c.Row);
    r.Rows[size_t(row)][at / step] = float(p95s[size_t(i)]);
    r.First = std::min(r.First, at / step);
    r.Last = std::max(r.Last, at / step);
    r.LastRow = std::max(r.LastRow, row);
  }
  return split.Views;
}

void StatisticsChart(TPage& page, const QString& kind, const QString& title, const QStringList& names, const QList<int>& indexes,
                     const std::vector<double>& p95s, const QString& unit) {
  const std::vector<THarmRows> views = StatisticsRows(kind, names, indexes, p95s, unit);
  const QString heading = TTr::tr("%1: 95 %-Werte").arg(title);
  if (views.empty()) {
    // Channels the bar chart has no place for: one bar each, in the order read.
    TLimitBars b;
    b.Caption = title;
    b.Unit = unit;
    b.Series.push_back({TTr::tr("95 %-Wert"), CConductorColors[0], false});
    b.Values.emplace_back(p95s);
    double top = 0;
    for (double v : p95s) top = std::max(top, v);
    b.Max = top > 0 ? RoundToRange(top * 1.05, top, true) : 1;
    for (const QString& n : names) b.Groups << n;
    page.Chart(heading, 0.3, [&b](QPainter& p, const QRectF& rect) { PaintLimitBars(p, rect, b); });
    return;
  }
  for (const THarmRows& r : views) {
    THarmBarModel m;
    m.SetVantaDisp(r.View);
    if (!unit.isEmpty()) m.FYUnit = unit;
    const int count = int(r.Rows[0].size());
    for (int k = 0; k <= r.LastRow; ++k) {
      if (count == 51) m.SetHrmVal(T4Leiter(k), r.Rows[size_t(k)]);
      else if (count == 50) m.SetIHrmVal(T4Leiter(k), r.Rows[size_t(k)]);
      else m.SetFrqBVal(T4Leiter(k), r.Rows[size_t(k)]);
    }
    m.FHrmMaxIdx = r.Last;
    m.HrmRescale();
    // Only the orders recorded; the voltage harmonics start at 2 in any case.
    m.FHrmStartIdx = std::max(m.FHrmStartIdx, std::min(r.First, r.Last));
    const bool lineToLine = r.View == TVantaDisp::sdHrmULL || r.View == TVantaDisp::sdIHrmULL || r.View == TVantaDisp::sdFrqBandULL;
    const int shown = r.LastRow + 1;
    page.Chart(lineToLine ? TTr::tr("%1 Leiter-Leiter: 95 %-Werte").arg(title) : heading, 0.3,
               [&m, shown](QPainter& p, const QRectF& rect) { PaintHarmBars(p, rect, m, shown); });
  }
}

void RcmChart(TPage& page, const std::vector<int64_t>& times, const std::vector<double>& current, const std::vector<double>& reference) {
  if (times.empty()) return;
  TSeries s;
  s.Names = {TTr::tr("Differenzstrom (größter Kanal)"), TTr::tr("Bezug")};
  s.Times = times;
  s.Values.resize(2);
  for (size_t i = 0; i < times.size(); ++i) {
    s.Values[0].push_back(float(current[i]));
    s.Values[1].push_back(float(reference[i]));
  }
  if (times.size() > 1) s.IntervalNs = std::max<int64_t>(1, (times.back() - times.front()) / int64_t(times.size() - 1));
  TCrvTimeModel m;
  Fill(m, s, QStringLiteral("iR"), QStringLiteral("mA"));
  m.SetLnColor(1, CLimitColor);
  Range(m, 0, 0);
  TimeChart(page, TTr::tr("Differenzstrom und Bezug"), m, Period(times.front(), times.back()), {});
}

}  // namespace vanta
