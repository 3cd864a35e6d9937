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
}

void TFormLayout::MarkerNotify(int mark, int64_t ts, const QStringList& names, const QList<float>& values) {
  if (grdMarker->rowCount() != names.size()) {
    grdMarker->setRowCount(int(names.size()));
    for (int r = 0; r < names.size(); ++r)
      for (int c = 0; c < 4; ++c) grdMarker->setItem(r, c, new QTableWidgetItem);
  }
  auto text = [](float v) { return QString::number(double(v), 'f', 3).remove(QRegularExpression(QStringLiteral("\\.?0+$"))); };
  for (int r = 0; r < names.size(); ++r) {
    grdMarker->item(r, 0)->setText(names[r]);
    grdMarker->item(r, mark == 0 ? 1 : 2)->setText(text(values.value(r)));
    bool ok1 = false, ok2 = false;
    const double m1 = grdMarker->item(r, 1)->text().toDouble(&ok1), m2 = grdMarker->item(r, 2)->text().toDouble(&ok2);
    grdMarker->item(r, 3)->setText(ok1 && ok2 ? text(float(m2 - m1)) : QString());
  }
  // The curves run in the shown file's local time; by its offset alone, the header says which.
  const QString zone = FShownTime.ZoneText();
  grdMarker->setHorizontalHeaderItem(
      mark == 0 ? 1 : 2, new QTableWidgetItem(TPQTimeProgs::VantaTS_to_StrNanoSec(ts) + (zone.isEmpty() ? QString() : QLatin1Char(' ') + zone)));
  tbcSettings->setCurrentWidget(grdMarker);
}

}  // namespace vanta
