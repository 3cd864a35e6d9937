#pragma once
// What a time-curve chart holds and decides, apart from drawing: the curves
// with their ranges and colours, the newest sample records, the stacking of
// curves into regions, zoom and marker rules, the clipboard text. The chart
// widget paints from it; tests drive it without a window.
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "ChartScales.h"
#include "SeriesStore.h"

namespace vanta {

class TCrvTimeModel {
 public:
  TCrvTimeModel();

  // Curves: n curves, range -50 .. 100, default colours; clears records and markers.
  void SetCrvCnt(int n);
  int GetCrvCnt() const { return int(FYRecLst.size()); }
  void SetBaseRec(int i, const TYBaseRec& rec);
  TYBaseRec GetBaseRec(int i) const;
  void SetLnColor(int i, uint32_t argb);
  uint32_t GetLnColor(int i) const;
  const TYRec& Curve(int i) const { return FYRecLst[i]; }
  void SetRange(int i, double lo, double hi) {
    if (i >= 0 && i < GetCrvCnt()) FYRecLst[size_t(i)].FSclMin = lo, FYRecLst[size_t(i)].FSclMax = hi;
  }
  const QStringList& GroupList() const { return FGrpLst; }
  static uint32_t DefaultColor(int position);

  // Records: a window of the newest FMaxRecs.
  void SetMaxRecs(int maxRecs);
  int MaxRecs() const { return FStore.MaxRecs(); }
  void NewValues(int64_t ts, const QList<float>& values);
  void ClearData();
  int GetMessCnt() const { return FStore.Count(); }
  const TSeriesStore& Store() const { return FStore; }

  // Stacking: 0 all curves in one region, 1 one region per group line, 2 one per curve.
  void SetStack(int mode);
  int Stack() const { return FStack; }
  int SubRegionNumber() const;
  QList<int> SubRegionSet(int k) const;
  QString SubRegionSym(int k) const;
  QString SubRegionUnt(int k) const;
  // The range region k's axis is numbered in. Every curve of the region is
  // drawn against it, so each reads right against the axis drawn: mode 0
  // numbers 0-100 % (each curve as a share of its own range), the others
  // the union of their curves' ranges.
  std::pair<double, double> SubRegionRange(int k) const;
  // The value curve i's sample v is drawn at in its region's units.
  double RegionValue(int i, double v) const;

  // Ranges: each curve's automatic range (rounded when FRoundAftScl).
  void AutoScale(int i);
  void AutoScaleAll();
  bool FRoundAftScl = true;

  // Zoom: the shown record indexes and their times.
  void ResetZoom();
  int ZoomIdx1() const { return FZoomIdx1; }
  int ZoomIdx2() const { return FZoomIdx2; }
  int64_t ZoomTS1() const { return FZoomTS1; }
  int64_t ZoomTS2() const { return FZoomTS2; }
  // The painter stores each shown record's pixel column (XX) here.
  void SetColumn(int index, double x);
  double Column(int index) const { return index >= 0 && size_t(index) < FXX.size() ? FXX[size_t(index)] : 0; }
  // A left-button release after a drag from startX to currentX (dragWidth the
  // rectangle's width): zooms in, resets, or keeps the zoom; true when it
  // was a zoom drag at all.
  bool ZoomDrag(double startX, double currentX, double dragWidth);
  // Shift: marker 1 at the first shown record right of x; Alt: marker 2 at
  // the last shown record left of x. Returns the record index.
  int SetMarker(int mark, double x);
  int MarkIdx(int mark) const { return mark == 0 ? FMarkIdx1 : FMarkIdx2; }
  int64_t MarkTS(int mark) const { return mark == 0 ? FMarkTS1 : FMarkTS2; }
  // "%s [%s]" of every curve (the marker callback's list).
  QStringList CurveNames() const;

  // The duration shown, for the caption.
  QString GetCaption() const;
  // "TIME" and the curves, then one line per record (date, time with
  // microseconds, values); false when nothing was written.
  bool CopyToClip(QStringList& list) const;

 private:
  std::vector<TYRec> FYRecLst;
  QStringList FGrpLst;
  TSeriesStore FStore;
  std::vector<double> FXX;
  int FStack = 1;
  int FZoomIdx1 = 0, FZoomIdx2 = -1;
  int64_t FZoomTS1 = 0, FZoomTS2 = 0;
  int FMarkIdx1 = -1, FMarkIdx2 = -1;
  int64_t FMarkTS1 = 0, FMarkTS2 = 0;
};

}  // namespace vanta
