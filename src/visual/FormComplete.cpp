#include "FormComplete.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTreeWidget>

namespace vanta {

namespace {
constexpr int CTagRole = Qt::UserRole + 21;
}

TFormComplete::TFormComplete(QWidget* parent) : TFormLayout(parent) {
  SetCapt(QStringLiteral("Alle Messwerte"));
  TreeViewOpti->setHeaderHidden(true);
  connect(TreeViewOpti, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { ClickTreeView(item); });
  SwitchGridPB(true);
}

void TFormComplete::ConnEst(QObject* Sender, bool connected) {
  TFormLayout::ConnEst(Sender, connected);
  if (connected) FillTreeView();
}

void TFormComplete::FillTreeView() {
  FStructs = KnownStructs(FComUnit ? FComUnit->FRev.Gen : 1);
  TreeViewOpti->clear();
  for (int s = 0; s < FStructs.size(); ++s) {
    const TStructDesc& d = FStructs[s];
    auto* group = new QTreeWidgetItem(TreeViewOpti, {d.Name});
    QList<TVantaStrucTyp> kinds;
    for (const TStructField& f : d.Fields)
      if (!kinds.contains(f.Kind)) kinds << f.Kind;
    for (TVantaStrucTyp k : kinds) {
      auto* item = new QTreeWidgetItem(group, {StrucTypName(k)});
      item->setData(0, CTagRole, int(d.DataObj) | (s << 8) | (int(k) << 16));
    }
    group->setExpanded(true);
  }
}

void TFormComplete::ClickTreeView(QTreeWidgetItem* item) {
  if (!item || !item->data(0, CTagRole).isValid()) return;
  // One entry at a time: the running stream stops before the next starts.
  if (FComUnit && FComUnit->FStreamRec.Active) StopStream();
  FVantaTag = item->data(0, CTagRole).toInt();
  CreateCols();
  StartStream(TDataObjKind(FVantaTag & 0xFF));
}

void TFormComplete::CreateCols() {
  const int s = (FVantaTag >> 8) & 0xFF, k = (FVantaTag >> 16) & 0xFF;
  if (s >= FStructs.size()) return;
  FTable.Select(FStructs[s], TVantaStrucTyp(k));
  GridData->clear();
  GridData->setColumnCount(int(FTable.Columns().size()));
  GridData->setRowCount(FTable.RowCount());
  QStringList head;
  for (const TTableColumn& c : FTable.Columns()) head << c.Title;
  GridData->setHorizontalHeaderLabels(head);
  for (int c = 0; c < FTable.Columns().size(); ++c) GridData->setColumnWidth(c, FTable.Columns()[c].Width);
  // The labels now; the values with the first record.
  for (int r = 0; r < FTable.RowCount(); ++r)
    for (int c = 0; c < FTable.Columns().size(); ++c) GridData->setItem(r, c, new QTableWidgetItem(FTable.Cell(QByteArray(), c, r)));
  SwitchGridPB(true);
}

void TFormComplete::UpdateGrid() {
  if (!FComUnit || FVantaTag < 0) return;
  const QByteArray& record = FComUnit->FBytes.FBytes;
  GridData->setUpdatesEnabled(false);
  for (int r = 0; r < FTable.RowCount() && r < GridData->rowCount(); ++r)
    for (int c = 0; c < FTable.Columns().size() && c < GridData->columnCount(); ++c)
      if (QTableWidgetItem* item = GridData->item(r, c)) item->setText(FTable.Cell(record, c, r));
  GridData->setUpdatesEnabled(true);
  LabSBar->setText(TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(FComUnit->FBytes.TS_Mess)));
}

}  // namespace vanta
