#include "CrvTimeModel.h"

#include <algorithm>

#include <QDateTime>
#include <QLocale>

#include "Formatting.h"
#include "TimeStamps.h"

namespace vanta {

TCrvTimeModel::TCrvTimeModel() { SetMaxRecs(1000); }

uint32_t TCrvTimeModel::DefaultColor(int position) {
  static const uint32_t CColors[] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF800000, 0xFF800080, 0xFFFF6347,
                                     0xFFFF8C00, 0x008000C0, 0x00004080, 0x00004040, 0x00008040, 0xFF808000};
  return CColors[size_t(position) % std::size(CColors)];
}

void TCrvTimeModel::SetCrvCnt(int n) {
  FMarkTS1 = FMarkTS2 = 0;
  FMarkIdx1 = FMarkIdx2 = -1;
  FYRecLst.clear();
  for (int i = 0; i < n; ++i) {
    TYRec r;
    r.FSclMin = -50.0;
    r.FSclMax = 100.0;
    r.FColor = DefaultColor(i);
    FYRecLst.push_back(r);
  }
  FStore.SetCurveCount(n);
  FXX.clear();
  ResetZoom();
}

void TCrvTimeModel::SetBaseRec(int i, const TYBaseRec& rec) {
  if (i < 0 || i >= GetCrvCnt()) return;
  if (i == 0) FGrpLst.clear();
  TYRec& r = FYRecLst[size_t(i)];
  r.FSym = rec.FSym;
  r.FGrpSym = rec.FGrpSym;
  r.FUnt = rec.FUnt;
  r.FBaseUnt = rec.FBaseUnt;
  const QString line = rec.FGrpSym + QLatin1Char('=') + rec.FUnt;
  if (!FGrpLst.contains(line, Qt::CaseInsensitive)) FGrpLst << line;  // a group is one line whatever its case
}

TYBaseRec TCrvTimeModel::GetBaseRec(int i) const {
  if (i < 0 || i >= GetCrvCnt()) return {};
  const TYRec& r = FYRecLst[size_t(i)];
  return {r.FSym, r.FGrpSym, r.FUnt, r.FBaseUnt};
}

void TCrvTimeModel::SetLnColor(int i, uint32_t argb) {
  if (i >= 0 && i < GetCrvCnt()) FYRecLst[size_t(i)].FColor = argb;
}

uint32_t TCrvTimeModel::GetLnColor(int i) const { return i >= 0 && i < GetCrvCnt() ? FYRecLst[size_t(i)].FColor : 0; }

void TCrvTimeModel::SetMaxRecs(int maxRecs) {
  const int curves = FStore.CurveCount();
  FStore.SetMaxRecs(maxRecs);
  FStore.SetCurveCount(curves);
  FXX.clear();
  ResetZoom();
}

void TCrvTimeModel::NewValues(int64_t ts, const QList<float>& values) { FStore.Add(ts, values); }

void TCrvTimeModel::ClearData() {
  FStore.Clear();
  FXX.clear();
  ResetZoom();
}

void TCrvTimeModel::SetStack(int mode) { FStack = qBound(0, mode, 2); }

int TCrvTimeModel::SubRegionNumber() const {
  switch (FStack) {
    case 0: return GetCrvCnt() > 0 ? 1 : 0;
    case 1: return int(FGrpLst.size());
    default: return GetCrvCnt();
  }
}

QList<int> TCrvTimeModel::SubRegionSet(int k) const {
  QList<int> out;
  for (int i = 0; i < GetCrvCnt(); ++i) {
    const TYRec& r = FYRecLst[size_t(i)];
    if (FStack == 0 || (FStack == 2 && i == k) ||
        (FStack == 1 && k < FGrpLst.size() && (r.FGrpSym + QLatin1Char('=') + r.FUnt).compare(FGrpLst[k], Qt::CaseInsensitive) == 0))
      out << i;
  }
  return out;
}

QString TCrvTimeModel::SubRegionSym(int k) const {
  if (FStack == 0) return QStringLiteral("ALL");
  if (FStack == 1) return FGrpLst.value(k).section(QLatin1Char('='), 0, 0);
  return k >= 0 && k < GetCrvCnt() ? FYRecLst[size_t(k)].FSym : QString();
}

QString TCrvTimeModel::SubRegionUnt(int k) const {
  if (FStack == 0) return QStringLiteral("%");
  if (FStack == 1) return FGrpLst.value(k).section(QLatin1Char('='), 1);
  return k >= 0 && k < GetCrvCnt() ? FYRecLst[size_t(k)].FUnt : QString();
}

std::pair<double, double> TCrvTimeModel::SubRegionRange(int k) const {
  if (FStack == 0) return {0.0, 100.0};
  const QList<int> curves = SubRegionSet(k);
  if (curves.isEmpty()) return {-50.0, 100.0};
  double lo = FYRecLst[size_t(curves.first())].FSclMin, hi = FYRecLst[size_t(curves.first())].FSclMax;
  for (int c : curves) {
    lo = std::min(lo, FYRecLst[size_t(c)].FSclMin);
    hi = std::max(hi, FYRecLst[size_t(c)].FSclMax);
  }
  return {lo, hi};
}

double TCrvTimeModel::RegionValue(int i, double v) const {
  if (FStack != 0 || i < 0 || i >= GetCrvCnt()) return v;
  const TYRec& r = FYRecLst[size_t(i)];
  const double span = r.FSclMax - r.FSclMin;
  return span != 0 ? (v - r.FSclMin) / span * 100.0 : 50.0;
}

void TCrvTimeModel::AutoScale(int i) {
  double lo = 0, hi = 0;
  if (AutoScaleTime(FStore, i, FRoundAftScl, lo, hi)) {
    FYRecLst[size_t(i)].FSclMin = lo;
    FYRecLst[size_t(i)].FSclMax = hi;
  }
}

void TCrvTimeModel::AutoScaleAll() {
  for (int i = 0; i < GetCrvCnt(); ++i) AutoScale(i);
}

void TCrvTimeModel::ResetZoom() {
  const int n = FStore.Count();
  FXX.assign(size_t(n), 0.0);
  if (n == 0) {
    FZoomIdx1 = 0;
    FZoomIdx2 = -1;
    FZoomTS1 = FZoomTS2 = 0;
    return;
  }
  FZoomIdx1 = 0;
  FZoomIdx2 = n - 1;
  FZoomTS1 = FStore.Time(0);
  FZoomTS2 = FStore.Time(n - 1);
}

void TCrvTimeModel::SetColumn(int index, double x) {
  if (index < 0) return;
  if (size_t(index) >= FXX.size()) FXX.resize(size_t(index) + 1, 0.0);
  FXX[size_t(index)] = x;
}

bool TCrvTimeModel::ZoomDrag(double startX, double currentX, double dragWidth) {
  if (FStore.Count() < 3 || dragWidth < 20) return false;
  if (currentX > startX + 20) {
    int first = -1, last = -1;
    for (int i = FZoomIdx1; i <= FZoomIdx2; ++i)
      if (Column(i) > startX) {
        first = i;
        break;
      }
    for (int i = FZoomIdx2; i >= FZoomIdx1; --i)
      if (Column(i) < currentX) {
        last = i;
        break;
      }
    // Fewer than five records would remain: the zoom stays as it is.
    if (first < 0 || last < 0 || last - first < 5) return true;
    FZoomIdx1 = first;
    FZoomIdx2 = last;
    FZoomTS1 = FStore.Time(first);
    FZoomTS2 = FStore.Time(last);
    return true;
  }
  if (currentX < startX - 20) {
    ResetZoom();
    return true;
  }
  return false;
}

int TCrvTimeModel::SetMarker(int mark, double x) {
  const int n = FStore.Count();
  if (n == 0) return -1;
  int idx = -1;
  if (mark == 0) {
    for (int i = FZoomIdx1; i <= FZoomIdx2; ++i)
      if (Column(i) > x) {
        idx = i;
        break;
      }
  } else {
    idx = FZoomIdx1;
    for (int i = FZoomIdx2; i >= FZoomIdx1; --i)
      if (Column(i) < x) {
        idx = i;
        break;
      }
  }
  idx = qBound(0, idx, n - 1);
  if (mark == 0) {
    FMarkIdx1 = idx;
    FMarkTS1 = FStore.Time(idx);
  } else {
    FMarkIdx2 = idx;
    FMarkTS2 = FStore.Time(idx);
  }
  return idx;
}

QStringList TCrvTimeModel::CurveNames() const {
  QStringList out;
  for (const TYRec& r : FYRecLst) out << QStringLiteral("%1 [%2]").arg(r.FSym, r.FUnt);
  return out;
}

QString TCrvTimeModel::GetCaption() const { return MilliSecToDura((FZoomTS2 - FZoomTS1) / 1000000); }

bool TCrvTimeModel::CopyToClip(QStringList& list) const {
  QString head = QStringLiteral("TIME");
  for (const TYRec& r : FYRecLst) head += QStringLiteral("\t%1 [%2]").arg(r.FSym, r.FUnt);
  list << head;
  const QLocale locale;
  for (int i = 0; i < FStore.Count(); ++i) {
    const int64_t t = FStore.Time(i);
    const QDateTime dt = TPQTimeProgs::VantaTS_to_DT(t);
    // The time of day with microseconds.
    const int64_t micros = ((t % 1000000000) + 1000000000) % 1000000000 / 1000;
    QString line = locale.toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ') + dt.toString(QStringLiteral("HH:mm:ss")) +
                   QStringLiteral(".%1").arg(micros, 6, 10, QLatin1Char('0'));
    for (int c = 0; c < GetCrvCnt(); ++c) line += QLatin1Char('\t') + QString::number(double(FStore.Value(c, i)), 'g', 9);
    list << line;
  }
  return !list.isEmpty();
}

}  // namespace vanta
