// The analysis window's curves: the checked quantities of the shown
// recording drawn and scaled, and the chart's markers in the marker table.
#include "FormLayout.h"

#include <QBrush>
#include <QColor>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "PaintBox.h"

namespace vanta {

void TFormLayout::PaintGraph() {
  // Colouring the tree's items changes them: that is no new choice.
  const bool wasInSelect = std::exchange(FInSelect, true);
  struct TRestore {
    bool& Flag;
    bool Old;
    ~TRestore() { Flag = Old; }
  } restore{FInSelect, wasInSelect};
  TCrvTimeModel& m = FCrvChart->Model();
  const QList<TRecordChannel>& channels = FShownHeader.Context.Channels;
  // The checked leaves, in tree order, each naming its channel.
  QList<int> shown;
  for (int g = 0; g < tvSelect->topLevelItemCount(); ++g)
    for (int i = 0; i < tvSelect->topLevelItem(g)->childCount(); ++i) {
      QTreeWidgetItem* leaf = tvSelect->topLevelItem(g)->child(i);
      const int channel = leaf->data(0, Qt::UserRole).toInt();
      if (leaf->checkState(0) == Qt::Checked && channel >= 0 && channel < channels.size()) shown << channel;
      leaf->setForeground(0, QBrush());
    }
  FShownChannels = shown;
  m.SetMaxRecs(std::max<int>(1, int(FRecDataLst.size())));
  m.SetCrvCnt(int(shown.size()));
  for (int k = 0; k < shown.size(); ++k) {
    const TRecordChannel& c = channels[shown[k]];
    m.SetBaseRec(k, TYBaseRec::BaseRect(c.Name, c.Name.section(QLatin1Char(' '), 0, 0), c.Unit));
    m.SetLnColor(k, ColArr[size_t(k) % ColArr.size()]);
  }
  if (shown.isEmpty()) {
    SwitchGridPB(true);
    return;
  }
  // Each painted quantity wears its colour in the tree.
  for (int g = 0, k = 0; g < tvSelect->topLevelItemCount(); ++g)
    for (int i = 0; i < tvSelect->topLevelItem(g)->childCount(); ++i) {
      QTreeWidgetItem* leaf = tvSelect->topLevelItem(g)->child(i);
      if (k < shown.size() && leaf->data(0, Qt::UserRole).toInt() == shown[k])
        leaf->setForeground(0, QColor::fromRgb(ColArr[size_t(k++) % ColArr.size()] | 0xFF000000u));
    }
  QList<float> values(shown.size());
  for (const TRecRow& row : FRecDataLst) {
    for (int k = 0; k < shown.size(); ++k) values[k] = row.Values.value(shown[k], std::nanf(""));
    m.NewValues(FShownTime.Linear(row.Time), values);
  }
  if (!FRecDataLst.isEmpty()) FCrvChart->FTSStart = FShownTime.ToLocal(FRecDataLst.first().Time);
  FCrvChart->FZoneText = FShownTime.ZoneText();
  m.AutoScaleAll();
  FCrvChart->ResetZoom();
  FCrvChart->FForceRepaint = true;
  FCrvChart->RequestRepaint();
  SwitchGridPB(false);
  RefreshScalePage();
}

void TFormLayout::MarkerNotify(int mark, int64_t ts, const QStringList& names, const QList<float>& valuesDrawn) {
  QList<float> values = valuesDrawn;
  // Reduced curves show each column's extremes: the marker takes the row of
  // the file nearest its time, with the values as recorded.
  if (FPager && FPager->Count() > FRecDataLst.size() && FShownChannels.size() == names.size()) {
    auto key = [this](const tmStamp_t& t) { return CurveKey(t); };
    qint64 at = FPager->LowerBound(ts, key);
    QList<TRecRow> near;
    QString error;
    if (ReadRecRows(FPager->Geometry(), std::max<qint64>(0, at - 1), 2, near, error) && !near.isEmpty()) {
      const TRecRow* best = &near.first();
      for (const TRecRow& r : near)
        if (std::llabs(key(r.Time) - ts) < std::llabs(key(best->Time) - ts)) best = &r;
      ts = key(best->Time);
      for (qsizetype k = 0; k < values.size(); ++k) values[k] = best->Values.value(FShownChannels[k], std::nanf(""));
    }
  }
  if (FMarkerLst.size() != names.size()) FMarkerLst = QList<TMarkerRecord>(names.size());
  for (qsizetype r = 0; r < names.size(); ++r) {
    TMarkerRecord& rec = FMarkerLst[r];
    rec.Name = names[r];
    const float v = values.value(r);
    if (mark == 0) {
      rec.M1 = v;
      rec.HasM1 = true;
    } else {
      rec.M2 = v;
      rec.HasM2 = true;
    }
    // From the values as measured, not from the rounded table text.
    rec.Dif = rec.M1 - rec.M2;
  }
  if (mark == 0) {
    FMarkerTime.StartTime = ts;
    FMarkerTime.HasStart = true;
  } else {
    FMarkerTime.EndTime = ts;
    FMarkerTime.HasEnd = true;
  }
  grdMarkerRefresh();
  tbcSettings->setCurrentWidget(grdMarker);
}

void TFormLayout::grdMarkerRefresh() {
  if (grdMarker->rowCount() != FMarkerLst.size()) {
    grdMarker->setRowCount(int(FMarkerLst.size()));
    for (int r = 0; r < grdMarker->rowCount(); ++r)
      for (int c = 0; c < 4; ++c)
        if (!grdMarker->item(r, c)) grdMarker->setItem(r, c, new QTableWidgetItem);
  }
  auto text = [](float v) { return QString::number(double(v), 'f', 3).remove(QRegularExpression(QStringLiteral("\\.?0+$"))); };
  for (int r = 0; r < grdMarker->rowCount(); ++r) {
    const TMarkerRecord& rec = FMarkerLst[r];
    grdMarker->item(r, 0)->setText(rec.Name);
    grdMarker->item(r, 1)->setText(rec.HasM1 ? text(rec.M1) : QString());
    grdMarker->item(r, 2)->setText(rec.HasM2 ? text(rec.M2) : QString());
    grdMarker->item(r, 3)->setText(rec.HasM1 && rec.HasM2 ? text(rec.Dif) : QString());
  }
  // The curves run in the shown file's local time; by its offset alone, the header says which.
  const QString zone = FShownTime.ZoneText();
  auto stamp = [&](int64_t ts) {
    return TPQTimeProgs::VantaTS_to_StrNanoSec(ts) + (zone.isEmpty() ? QString() : QLatin1Char(' ') + zone);
  };
  grdMarker->setHorizontalHeaderItem(1, new QTableWidgetItem(FMarkerTime.HasStart ? stamp(FMarkerTime.StartTime) : tr("Marker 1")));
  grdMarker->setHorizontalHeaderItem(2, new QTableWidgetItem(FMarkerTime.HasEnd ? stamp(FMarkerTime.EndTime) : tr("Marker 2")));
  // Until both markers are set there is no span to show.
  QString span = QStringLiteral("M1-M2");
  if (FMarkerTime.HasStart && FMarkerTime.HasEnd) {
    const int64_t d = FMarkerTime.EndTime - FMarkerTime.StartTime;
    span = NanoSecToDuration(uint64_t(d < 0 ? -d : d));
  }
  grdMarker->setHorizontalHeaderItem(3, new QTableWidgetItem(span));
}

}  // namespace vanta
