#include "FormComplete.h"

#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QtEndian>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>

namespace vanta {

namespace {
constexpr int CTagRole = Qt::UserRole + 21;
// Shown through TFormComplete::tr when the tree is filled.
const char* const CDataObjNames[] = {
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "10/12 Perioden"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "150 Perioden"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Standardintervall"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Extremwerte"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Sekundenwerte"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Flicker"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Leistung"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Energie"),
    QT_TRANSLATE_NOOP("vanta::TFormComplete", "Oszilloskop")};
}  // namespace

QVariant TStreamGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  const bool label = FTable.Columns().value(index.column()).Tag == 0;
  const QByteArray* record = label || !FHasRecord ? nullptr : FRecord();
  if (!label && !record) return QString();
  return FTable.Cell(record ? *record : QByteArray(), index.column(), index.row());
}

QVariant TStreamGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  return FTable.Columns().value(section).Title;
}

void TStreamGridModel::Refresh() {
  if (rowCount() > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

TFormComplete::TFormComplete(QWidget* parent) : TFormLayout(parent) {
  SetCapt(tr("Alle Messwerte"));
  TreeViewOpti->setHeaderHidden(true);
  connect(TreeViewOpti, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { ClickTreeView(item); });
  GridStream = new QTableView(FRight);
  GridStream->setObjectName(QStringLiteral("grdStream"));
  GridStream->verticalHeader()->setVisible(false);
  GridStream->verticalHeader()->setDefaultSectionSize(GridStream->fontMetrics().height() + 6);
  GridStream->setWordWrap(false);
  GridStream->setAlternatingRowColors(true);
  GridStream->setEditTriggers(QAbstractItemView::NoEditTriggers);  // edits are ignored
  FModel = new TStreamGridModel(FTable, [this]() -> const QByteArray* { return FComUnit ? &FComUnit->FBytes.FBytes : nullptr; }, this);
  GridStream->setModel(FModel);
  FRight->addWidget(GridStream);
  FRight->setCurrentWidget(GridStream);
}

void TFormComplete::ConnEst(QObject* Sender, bool connected) {
  TFormLayout::ConnEst(Sender, connected);
  FTable.SetZone(FComUnit ? TimeTzFromSet(FComUnit->FtmeSet) : time_tz_t{});
  FillTreeView();
  if (connected && !FPendingEntry.isEmpty()) {
    const QString strukt = FPendingEntry.section(QLatin1Char('/'), 0, 0), kind = FPendingEntry.section(QLatin1Char('/'), 1, 1);
    FPendingEntry.clear();
    for (QTreeWidgetItem* item : TreeViewOpti->findItems(strukt, Qt::MatchFixedString | Qt::MatchRecursive)) {
      QTreeWidgetItem* pick = item;
      for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0).compare(kind, Qt::CaseInsensitive) == 0) pick = item->child(i);
      ClickTreeView(pick);
      break;
    }
  }
}

void TFormComplete::FillTreeView() {
  FStructs = KnownStructs(FComUnit ? FComUnit->FRev.Gen : 1);
  // The oscilloscope's records are large: offered over the network only, as in the live window.
  if (!FTCPComUnit) FStructs.removeIf([](const TStructDesc& d) { return d.DataObj == 8; });
  TreeViewOpti->clear();
  // Grouped by data object (one stream serves all its structures), in the
  // order the stream kinds are numbered.
  QMap<int, QTreeWidgetItem*> objects;
  for (const TStructDesc& d : FStructs)
    if (!objects.contains(d.DataObj)) objects.insert(d.DataObj, nullptr);
  for (auto it = objects.begin(); it != objects.end(); ++it) {
    const int obj = it.key();
    *it = new QTreeWidgetItem(TreeViewOpti, {obj < int(std::size(CDataObjNames)) ? tr(CDataObjNames[obj]) : QString::number(obj)});
    (*it)->setExpanded(true);
  }
  // Every item carries an entry: a value kind its own, a structure its first
  // kind, a data object its first structure's first kind.
  for (const TStructDesc& d : FStructs) {
    auto* group = new QTreeWidgetItem(objects.value(d.DataObj), {d.Name});
    QList<TVantaStrucTyp> kinds;
    for (const TStructField& f : d.Fields)
      if (!kinds.contains(f.Kind)) kinds << f.Kind;
    for (TVantaStrucTyp k : kinds) {
      auto* item = new QTreeWidgetItem(group, {StrucTypName(k)});
      item->setData(0, CTagRole, TVantaTag{d.DataObj, d.Struct, k}.Pack());
    }
    if (!kinds.isEmpty()) {
      group->setData(0, CTagRole, TVantaTag{d.DataObj, d.Struct, kinds.first()}.Pack());
      if (!group->parent()->data(0, CTagRole).isValid()) group->parent()->setData(0, CTagRole, group->data(0, CTagRole));
    }
  }
}

void TFormComplete::ClickTreeView(QTreeWidgetItem* item) {
  if (!item || !item->data(0, CTagRole).isValid()) return;
  // One entry at a time: the running stream stops before the next starts.
  if (FComUnit && FComUnit->FStreamRec.Active) StopStream();
  FVantaTag = TVantaTag::Unpack(item->data(0, CTagRole).toInt());
  TreeViewOpti->setCurrentItem(item);
  FHasEntry = true;
  CreateCols();
  StartStream(TDataObjKind(FVantaTag.VantaDataObj));
}

void TFormComplete::CreateCols() {
  const TStructDesc* d = FindStruct(FStructs, FVantaTag.VantaStruc);
  if (!d) return;
  FTable.Select(*d, FVantaTag.VantaStrucTyp);
  FModel->FHasRecord = false;  // the previous entry's record is not this one's
  FModel->Rebuild();
  for (int c = 0; c < FTable.Columns().size(); ++c) GridStream->setColumnWidth(c, FTable.Columns()[c].Width);
  FRight->setCurrentWidget(GridStream);
}

QString TFormComplete::CellText(int row, int column) const { return FModel->data(FModel->index(row, column), Qt::DisplayRole).toString(); }

void TFormComplete::UpdateGrid() {
  if (!FComUnit || !FHasEntry) return;
  // A record of another data object (the previous stream still ending) is not this entry's.
  const QByteArray& r = FComUnit->FBytes.FBytes;
  if (r.size() < 4 || qFromLittleEndian<uint32_t>(r.constData()) != DataObjId(TDataObjKind(FVantaTag.VantaDataObj))) return;
  FModel->FHasRecord = true;
  FModel->Refresh();
  LabSBar->setText(TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(FComUnit->FBytes.TS_Mess)));
}

}  // namespace vanta
