#include "En50160.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <map>

#include "Constants.h"
#include "Language.h"
#include "RecordFile.h"

namespace vanta {

namespace {

constexpr qint64 CDay = 86400;
constexpr qint64 CWeek = 7 * CDay;
// The epoch fell on a Thursday: shifting by three days makes weeks start on Monday.
qint64 WeekOf(qint64 sec) { return (sec + 3 * CDay) / CWeek; }

// A limit as the report's reader writes numbers: the decimal mark comes
// from the catalogue, since the report plugin keeps a language state of its
// own and only the installed translators are shared with the program.
QString Num(double v) { return QString::number(v, 'g', 4).replace(QLatin1Char('.'), TTr::tr(",", "decimal mark")); }

// Nearest-rank percentile of sorted values.
double Rank(const std::vector<float>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto k = size_t(std::max(1.0, std::ceil(p * double(sorted.size()))));
  return sorted[std::min(k, sorted.size()) - 1];
}

class TEvaluator {
 public:
  TEvaluator(TEnResult& r) : FR(r) {}

  // The criteria a file's channels bring; indexes into FR.Criteria per channel.
  std::vector<std::vector<int>> Map(const QList<TRecordChannel>& channels) {
    static const QRegularExpression CHarm(QStringLiteral("^H(\\d+) U"));
    std::vector<std::vector<int>> map(size_t(channels.size()));
    const double n = FR.Nominal;
    for (int c = 0; c < channels.size(); ++c) {
      const TRecordChannel& ch = channels[c];
      auto add = [&](TEnGroup g, double lo, double hi, double share, const QString& limit, int order = 0) {
        map[size_t(c)].push_back(Criterion(g, ch.Name, lo, hi, share, limit, order));
      };
      if (ch.Unit == QLatin1String("Hz")) {
        add(TEnGroup::egFreq995, 49.5, 50.5, 0.995, TTr::tr("49,5-50,5 Hz"));
        add(TEnGroup::egFreq100, 47, 52, 1.0, QStringLiteral("47-52 Hz"));
      } else if (ch.Unit == QLatin1String("V") && ch.Name.startsWith(QLatin1String("U "))) {
        add(TEnGroup::egVolt95, 0.9 * n, 1.1 * n, 0.95, QStringLiteral("±10 % Un"));
        add(TEnGroup::egVolt100, 0.85 * n, 1.1 * n, 1.0, QStringLiteral("-15/+10 % Un"));
      } else if (ch.Name.startsWith(QLatin1String("Plt"))) {
        add(TEnGroup::egFlicker, 0, 1, 0.95, QStringLiteral("Plt ≤ 1"));
      } else if (ch.Name.startsWith(QLatin1String("Unsymmetrie"))) {
        add(TEnGroup::egUnbalance, 0, 2, 0.95, QStringLiteral("≤ 2 %"));
      } else if (ch.Name.startsWith(QLatin1String("THD U"))) {
        add(TEnGroup::egThd, 0, 8, 0.95, QStringLiteral("≤ 8 %"));
      } else if (const auto m = CHarm.match(ch.Name); m.hasMatch()) {
        const int order = m.captured(1).toInt();
        if (const double limit = EnHarmonicLimit(order); limit > 0)
          add(TEnGroup::egHarmonics, 0, limit, 0.95, QStringLiteral("≤ %1 %").arg(Num(limit)), order);
      }
    }
    return map;
  }

  // False for an interval already counted.
  bool Row(qint64 sec, const QList<float>& values, const std::vector<std::vector<int>>& map) {
    // Overlapping files repeat intervals: each interval counts once.
    if (FAny && sec <= FLast) {
      ++FR.SkippedRows;
      return false;
    }
    FLast = sec;
    FAny = true;
    const qint64 week = WeekOf(sec);
    if (!FOpen || week > FWeek) {
      Close();
      FOpen = true;
      FWeek = week;
    }
    ++FRows;
    for (size_t c = 0; c < map.size() && c < size_t(values.size()); ++c) {
      const float v = values[qsizetype(c)];
      if (std::isnan(v)) continue;  // not measured in this interval
      for (int k : map[c]) FValues[size_t(k)].push_back(v);
    }
    return true;
  }

  void Close() {
    if (!FOpen) return;
    TEnWeek w;
    w.MondaySec = FWeek * CWeek - 3 * CDay;
    w.Rows = FRows;
    for (double& s : w.GroupShare) s = -1;
    for (bool& p : w.GroupPass) p = true;
    w.Criteria.resize(FR.Criteria.size());
    for (size_t k = 0; k < FR.Criteria.size(); ++k) {
      std::vector<float>& v = FValues[k];
      const TEnCriterion& c = FR.Criteria[k];
      TEnCriterionWeek& cw = w.Criteria[k];
      if (v.empty()) {
        cw.InShare = -1;
        cw.Pass = true;
        continue;
      }
      std::sort(v.begin(), v.end());
      const auto in = std::count_if(v.begin(), v.end(), [&c](float x) { return x >= c.Lo && x <= c.Hi; });
      cw.InShare = double(in) / double(v.size());
      // Whole counts: "all values" must not fail on a rounding of 1.0.
      cw.Pass = double(in) >= std::ceil(c.Share * double(v.size()) - 1e-9);
      cw.P05 = Rank(v, 0.05);
      cw.P95 = Rank(v, 0.95);
      cw.Min = v.front();
      cw.Max = v.back();
      const int g = int(c.Group);
      w.GroupShare[g] = w.GroupShare[g] < 0 ? cw.InShare : std::min(w.GroupShare[g], cw.InShare);
      w.GroupPass[g] = w.GroupPass[g] && cw.Pass;
      w.Pass = w.Pass && cw.Pass;
      v.clear();
    }
    FR.Weeks.push_back(std::move(w));
    FOpen = false;
    FRows = 0;
  }

 private:
  int Criterion(TEnGroup g, const QString& channel, double lo, double hi, double share, const QString& limit, int order) {
    const auto key = std::make_pair(int(g), channel);
    if (const auto it = FIndex.find(key); it != FIndex.end()) return it->second;
    FR.Criteria.push_back({g, channel, order, lo, hi, share, limit});
    FValues.emplace_back();
    const int k = int(FR.Criteria.size()) - 1;
    FIndex[key] = k;
    return k;
  }

  TEnResult& FR;
  std::map<std::pair<int, QString>, int> FIndex;
  std::vector<std::vector<float>> FValues;  // the open week, per criterion
  bool FOpen = false, FAny = false;
  qint64 FWeek = 0, FRows = 0, FLast = 0;
};

}  // namespace

QString EnGroupCaption(TEnGroup g) {
  switch (g) {
    case TEnGroup::egFreq995: return TTr::tr("f 99,5 %");
    case TEnGroup::egFreq100: return QStringLiteral("f 100 %");
    case TEnGroup::egVolt95: return QStringLiteral("U 95 %");
    case TEnGroup::egVolt100: return QStringLiteral("U 100 %");
    case TEnGroup::egFlicker: return QStringLiteral("Plt 95 %");
    case TEnGroup::egUnbalance: return TTr::tr("Unsym. 95 %");
    case TEnGroup::egThd: return QStringLiteral("THD 95 %");
    case TEnGroup::egHarmonics: return QStringLiteral("Harm. 95 %");
    case TEnGroup::egCount: break;
  }
  return {};
}

double EnHarmonicLimit(int order) { return order >= 2 && order <= 25 ? CDefHrms[size_t(order)] : 0; }

bool TEnResult::Pass() const {
  return !Weeks.empty() && std::all_of(Weeks.begin(), Weeks.end(), [](const TEnWeek& w) { return w.Pass; });
}

bool TEnResult::HasGroup(TEnGroup g) const {
  return std::any_of(Criteria.begin(), Criteria.end(), [g](const TEnCriterion& c) { return c.Group == g; });
}

std::vector<TEnGroup> TEnResult::Groups() const {
  std::vector<TEnGroup> groups;
  for (int g = 0; g < int(TEnGroup::egCount); ++g)
    if (HasGroup(TEnGroup(g))) groups.push_back(TEnGroup(g));
  return groups;
}

bool EvaluateEn50160(const QStringList& files, double nominal, TEnResult& result, QString& error, TEnRowSink* sink) {
  TEnResult r;
  r.Nominal = nominal;
  if (files.isEmpty()) {
    error = TTr::tr("keine Dateien für den Bericht");
    return false;
  }
  if (!(nominal > 0)) {
    error = TTr::tr("Nennspannung %1 V ungültig").arg(nominal);
    return false;
  }
  // Headers first: a wrong file is refused before any work, and the walk
  // goes in time order so one open week suffices.
  std::vector<std::pair<qint64, QString>> order;
  for (const QString& path : files) {
    TRecordHeader h;
    if (!ReadRecordHeader(path, h, error)) return false;
    if (h.Kind != TRecordKind::rkRecording) {
      error = TTr::tr("%1: keine Aufzeichnung").arg(path);
      return false;
    }
    // The limits are shares of 10-minute values: other intervals would be judged by the wrong yardstick.
    if (h.Context.Class.compare(QLatin1String("10min"), Qt::CaseInsensitive) != 0) {
      error = TTr::tr("%1: EN 50160 bewertet 10-Minuten-Werte, die Datei hat %2").arg(path, h.Context.Class);
      return false;
    }
    if (order.empty()) {
      r.Plant = h.Env.Plant;
      r.Device = h.Env.Device;
      r.Serial = h.Env.Serial;
    } else if (h.Env.Serial != r.Serial || h.Env.Device != r.Device) {
      // Named as the other reports name them: by serial number, by device
      // name where only that differs.
      const bool bySerial = h.Env.Serial != r.Serial;
      error = TTr::tr("Dateien verschiedener Stationen: %1 und %2")
                  .arg(bySerial ? QString::number(r.Serial) : r.Device, bySerial ? QString::number(h.Env.Serial) : h.Env.Device);
      return false;
    }
    order.emplace_back(qint64(h.Context.Start.Sec), path);
  }
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  TEvaluator eval(r);
  for (const auto& [start, path] : order) {
    std::vector<std::vector<int>> map;
    bool first = true;
    QString warning;
    const bool ok = StreamRecordFile(
        path,
        [&](const TRecordFile& f) {
          if (first) {
            first = false;
            map = eval.Map(f.Header.Context.Channels);
            if (sink) sink->FileStart(path, f);
          }
          for (const TRecRow& row : f.Rows)
            if (eval.Row(qint64(row.Time.Sec), row.Values, map) && sink) sink->Row(row);
          return true;
        },
        error, &warning);
    if (!ok) return false;
    if (!warning.isEmpty()) r.Warnings << QStringLiteral("%1: %2").arg(path, warning);
  }
  eval.Close();
  if (r.Weeks.empty()) {
    error = TTr::tr("keine 10-Minuten-Werte");
    return false;
  }
  result = std::move(r);
  return true;
}

}  // namespace vanta
