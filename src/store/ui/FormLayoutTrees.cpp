// The readout window's file trees: the device's event and recording lists
// as trees, and a clicked file shown or asked for from where its part ends.
#include "FormLayout.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTreeWidget>
#include <utility>

#include "Language.h"

namespace vanta {

namespace {
constexpr int CItemRole = Qt::UserRole + 7;  // marks file items of the tree
}  // namespace

// ---- the readout of a connected device ------------------------------------------------------

TFormOnline::TFormOnline(QWidget* parent) : TFormLayout(parent) {
  SetCapt(tr("Datenauslese"));
  // A tick in a check box selects a file for the list actions; it fetches nothing.
  connect(TreeViewOpti, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int) { FCheckToggled = true; });
  connect(TreeViewOpti, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem*, int) { FCheckToggled = false; });
  connect(TreeViewOpti, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    if (std::exchange(FCheckToggled, false)) return;
    if (item == FRecTreeView) return ClickRecOverview();
    if (item == FEvtTreeView) return ClickEvtOverview();
    auto* file = dynamic_cast<TRecTreeViewItem*>(item);
    if (!file || file->Path.isEmpty()) {
      if (FStreamRunning) StopStream();
      item->setExpanded(!item->isExpanded());  // a group opens or closes
      return;
    }
    bool underEvents = false;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) underEvents |= p == FEvtTreeView;
    if (underEvents) {
      FTVIEvt = file;
      EventClick(file);
    } else {
      FTVIRec = file;
      RecordClick(file);
    }
  });
  connect(TreeViewOpti, &QTreeWidget::itemPressed, this,
          [this](QTreeWidgetItem* item, int) { ItemMouseDown(item, QApplication::mouseButtons()); });
  BuildActions();
}

void TFormOnline::ConnEst(QObject* Sender, bool connected) {
  TFormLayout::ConnEst(Sender, connected);
  if (!connected || FRecTreeView) return;
  FRecTreeView = new QTreeWidgetItem(TreeViewOpti, {tr("Rekorder Daten")});
  FEvtTreeView = new QTreeWidgetItem(TreeViewOpti, {tr("PQ-Ereignisse")});
  for (QTreeWidgetItem* r : {FRecTreeView, FEvtTreeView}) r->setIcon(0, ImageIcon(CImgGroup));
}

TReadoutPlace TFormOnline::Place() const {
  TReadoutPlace p;
  if (FComUnit) {
    p.EventDir = FComUnit->FEvtDir;
    p.RecorderDir = FComUnit->FRecDir;
    const time_set_t set = FComUnit->FtmeSet;
    p.ToLocal = [set](tmStamp_t t) { return CorrectUTCtoLocal(t, set); };
  }
  p.Log = [this](const QString& line) { const_cast<TFormOnline*>(this)->LogPrepare(nullptr, line, false); };
  return p;
}

void TFormOnline::ClickEvtOverview() {
  if (FInClick) return;
  FInClick = true;
  StartWork(tr("Anfordern"));
  if (FStreamRunning) StopStream();
  EvtUebClick();
  FInClick = false;
}

void TFormOnline::ClickRecOverview() {
  if (FInClick) return;
  FInClick = true;
  StartWork(tr("Anfordern"));
  if (FStreamRunning) StopStream();
  RecUebClick();
  FInClick = false;
}

void TFormOnline::BuildTree(QTreeWidgetItem* root, const QList<TReadoutNode>& nodes, bool recording) {
  for (const TReadoutNode& n : nodes) {
    // Group names are the tree's own German (marked in Readout.cpp), file
    // names are shown as built; the lookup leaves those unchanged.
    const QString text = n.IsGroup() ? QCoreApplication::translate("TReadoutTree", n.Text.toUtf8().constData()) : n.Text;
    auto* item = new TRecTreeViewItem(root, {text});
    item->Path = n.Path;
    item->FileSize = n.FileSize;
    item->isAsync = n.IsAsync;
    item->SetImage(n.Image);
    item->setData(0, CItemRole, !n.IsGroup());
    if (!n.IsGroup() && actMultiSelect && actMultiSelect->isChecked()) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);
    }
    BuildTree(item, n.Children, recording);
  }
}

void TFormOnline::EvtOverView(const QStringList& lines) {
  if (!FEvtTreeView) return;
  TreeViewOpti->setUpdatesEnabled(false);
  qDeleteAll(FEvtTreeView->takeChildren());
  FTVIEvt = nullptr;
  TReadoutPlace place = Place();
  TakeSnapshot(place);
  const TReadoutTree tree = BuildEventTree(place, ParseListText(lines.join(QLatin1Char('\n'))));
  BuildTree(FEvtTreeView, tree.Roots, false);
  FAllEvtLst = tree.Queue;
  FEvtTreeView->setExpanded(true);
  TreeViewOpti->setUpdatesEnabled(true);
  EndWork();
  LabSBar->setText(CountText(tree.Roots.size(), tr("1 Ereignis"), tr("%1 Ereignisse")));
}

void TFormOnline::RecOverView(const QStringList& lines) {
  if (!FRecTreeView) return;
  TreeViewOpti->setUpdatesEnabled(false);
  qDeleteAll(FRecTreeView->takeChildren());
  FTVIRec = nullptr;
  FSelectedRec = nullptr;
  SwitchGridPB(false);
  TReadoutPlace place = Place();
  TakeSnapshot(place);
  const TReadoutTree tree = BuildRecordingTree(place, ParseListText(lines.join(QLatin1Char('\n'))));
  BuildTree(FRecTreeView, tree.Roots, true);
  FAllRecLst = tree.Queue;
  // Classes no group takes are listed (and fetched by "all") but not shown.
  auto* hidden = new TRecTreeViewItem(FRecTreeView, {QString()});
  hidden->setHidden(true);
  BuildTree(hidden, tree.Hidden, true);
  FRecTreeView->setExpanded(true);
  TreeViewOpti->setUpdatesEnabled(true);
  EndWork();
  LabSBar->setText(tr("%1 Aufzeichnungen").arg(tree.Queue.size()));
}

void TFormOnline::EventClick(TRecTreeViewItem* item) {
  if (!item || FInClick) return;
  FInClick = true;
  StartWork(tr("Anfordern"));
  item->SetImage(CImgOnDisk);
  QString local;
  uint64_t size = item->FileSize;
  FLastUseEvtFile = GetFileNameOnDisk(Place(), item->Path, false);
  if (item->FileSize == 0 || DoesFileExist(Place(), item->Path, local, size, false, false))
    EvtToTable(FLastUseEvtFile);
  else
    RequestOne(item, false, size);
  FInClick = false;
}

void TFormOnline::RecordClick(TRecTreeViewItem* item) {
  if (!item || FInClick) return;
  FInClick = true;
  StartWork(tr("Anfordern"));
  FSelectedRec = item;
  item->SetImage(CImgOnDisk);
  // The arrived file goes to the binary-input table or the recording table.
  const bool async = item->isAsync;
  if (!FComUnit) {
    FInClick = false;
    return;
  }
  FComUnit->FRecToTable = [this, async](QObject*, const QString& path) {
    if (async)
      AsyncToTable(path);
    else
      RecToTable(path);
  };
  QString local;
  uint64_t size = item->FileSize;
  const QString onDisk = GetFileNameOnDisk(Place(), item->Path, true);
  if (item->FileSize == 0 || DoesFileExist(Place(), item->Path, local, size, true, true)) {
    if (async)
      AsyncToTable(onDisk);
    else
      RecToTable(onDisk);
  } else {
    RequestOne(item, true, size);
  }
  FInClick = false;
}

}  // namespace vanta
