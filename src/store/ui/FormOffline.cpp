#include "FormOffline.h"

#include <algorithm>

#include <utility>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTreeWidget>

#include "Language.h"

namespace vanta {

namespace {
constexpr int CTagRole = Qt::UserRole + 11;
constexpr int CPathRole = Qt::UserRole + 12;
constexpr int CAsyncRole = Qt::UserRole + 13;
constexpr int CStationRole = Qt::UserRole + 14;  // index into the last scan

// Names compared as a person reads them: case aside, and runs of digits by
// their value ("Trafo 9" before "Trafo 10"). Written out because the
// collator's numeric mode depends on the locale support Qt was built with.
int NaturalCompare(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      // Without leading zeros the longer run is the larger number.
      QStringView na = QStringView(a).mid(i, ei - i), nb = QStringView(b).mid(j, ej - j);
      while (na.size() > 1 && na.front() == QLatin1Char('0')) na = na.mid(1);
      while (nb.size() > 1 && nb.front() == QLatin1Char('0')) nb = nb.mid(1);
      if (na.size() != nb.size()) return na.size() < nb.size() ? -1 : 1;
      if (const int c = na.compare(nb); c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    const int c = QStringView(a).mid(i, 1).compare(QStringView(b).mid(j, 1), Qt::CaseInsensitive);
    if (c != 0) return c;
    ++i;
    ++j;
  }
  return (a.size() - i > 0) - (b.size() - j > 0);
}

// An item without a tag (an installation's group) is no station: a missing
// tag must not read as 0, which is the station's.
int TagOf(const QTreeWidgetItem* i) {
  const QVariant tag = i ? i->data(0, CTagRole) : QVariant();
  return tag.isValid() ? tag.toInt() : stNone;
}
}  // namespace

TFormOffline::TFormOffline(QWidget* parent) : TFormLayout(parent) {
  FFrmCapt = tr("Messdaten Auswertung Offline");
  setWindowTitle(FFrmCapt);
  PanelBack->setEnabled(true);  // no connection to wait for
  DimPanel(false);
  AniIndi->setVisible(false);
  TreeViewOpti->setSortingEnabled(false);
  auto act = [this](const QString& text, auto fn) {
    auto* a = new QAction(text, this);
    connect(a, &QAction::triggered, this, fn);
    return a;
  };
  actDelOfflineRekorder = act(tr("Rekorderdatei Löschen"), [this] {
    if (FClickedTVI) OfflineDelFile(FClickedTVI->data(0, CPathRole).toString(), [this](const QString& l) { LogPrepare(this, l, false); });
    CheckData();
  });
  actDelOfflineEvent = act(tr("Eventdatei Löschen"), [this] {
    if (FClickedTVI) OfflineDelFile(FClickedTVI->data(0, CPathRole).toString(), [this](const QString& l) { LogPrepare(this, l, false); });
    CheckData();
  });
  actDelClass = act(tr("Alle Dateien dieser Klasse löschen"), [this] { DeleteClass(); });
  actDelOfflineAllFiles = act(tr("Alle Dateien dieser Station löschen"), [this] {
    StartWork(tr("Löschen"));
    if (FClickedTVI && !FClickedTVI->text(0).isEmpty()) {
      DeleteStation(FDataDir, FClickedTVI->text(0).section(QLatin1Char(':'), 0, 0),
                    [this](const QString& l) { LogPrepare(this, l, false); });
      EndWork();
      CheckData();
    } else {
      EndWork();
    }
  });
  ActDeleteSelected = act(tr("Ausgewählte Dateien Löschen"), [this] {
    StartWork(tr("Löschen"));
    for (QTreeWidgetItem* i : CheckedFiles())
      OfflineDelFile(i->data(0, CPathRole).toString(), [this](const QString& l) { LogPrepare(this, l, false); });
    EndWork();
    CheckData();
  });
  actOfflineExport = act(tr("Ausgewählte Dateien Exportieren"), [this] {
    const QString dir = FAskFolder
                            ? FAskFolder(tr("Bitte wählen Sie den Ordner, in den die ausgewählten Dateien exportiert werden sollen:"))
                            : QFileDialog::getExistingDirectory(this, tr("Bitte wählen Sie den Ordner, in den die ausgewählten Dateien exportiert werden sollen:"));
    if (!dir.isEmpty()) ExportTo(dir);
  });
  actImportFromSD = act(tr("Dateien Import"), [this] {
    const QString dir = FAskFolder ? FAskFolder(tr("Bitte wählen Sie den zu importierenden Ordner aus:"))
                                   : QFileDialog::getExistingDirectory(this, tr("Bitte wählen Sie den zu importierenden Ordner aus:"));
    if (!dir.isEmpty()) ImportFrom(dir);
  });
  FMenu = new QMenu(this);
  FMenu->addActions({actDelOfflineRekorder, actDelOfflineEvent, actDelClass, actDelOfflineAllFiles, ActDeleteSelected});
  FMenu->addSeparator();
  FMenu->addActions({actOfflineExport, actImportFromSD});
  for (QAction* a : {actDelOfflineRekorder, actDelOfflineEvent, actDelClass, actDelOfflineAllFiles}) a->setEnabled(false);

  // The menu also opens on the empty tree: import is how an empty store is filled.
  TreeViewOpti->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(TreeViewOpti, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { OfflineRecMouseDown(TreeViewOpti->itemAt(at), Qt::RightButton); });
  connect(TreeViewOpti, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item, int) {
    FCheckToggled = false;
    if (!(QApplication::mouseButtons() & Qt::RightButton)) OfflineRecMouseDown(item, Qt::LeftButton);
  });
  // A tick in a check box selects a file for export or delete; it opens nothing.
  connect(TreeViewOpti, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int) { FCheckToggled = true; });
  connect(TreeViewOpti, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    if (std::exchange(FCheckToggled, false)) return;
    const int tag = TagOf(item);
    if (tag == stStation)
      OpenStation(item);
    else if (tag == stRecordingFile || tag == stEventFile)
      OfflineFileClick(item);
    else
      item->setExpanded(!item->isExpanded());
  });
}

TFormOffline::~TFormOffline() {
  if (QThread* t = FWorker.data()) {
    t->disconnect(this);
    t->wait();
    delete t;
  }
}

void TFormOffline::SetStore(const QString& dataDir, uint32_t selectedStation) {
  FDataDir = dataDir;
  FSelectedStation = selectedStation;
}

void TFormOffline::Tell(const QString& text) {
  Messages << text;
  DisplayMessage(text, TMsgDlgType::mtInformation, nullptr, mbOK, mbOK);
}

QList<QTreeWidgetItem*> TFormOffline::Stations() const {
  QList<QTreeWidgetItem*> out;
  for (int g = 0; g < TreeViewOpti->topLevelItemCount(); ++g)
    for (int i = 0; i < TreeViewOpti->topLevelItem(g)->childCount(); ++i) out << TreeViewOpti->topLevelItem(g)->child(i);
  return out;
}

void TFormOffline::CheckData() {
  if (FDataDir.isEmpty()) return;
  if (Busy()) {
    FRescanPending = true;  // the store changed under the running work: scan when it ends
    return;
  }
  StartWork(tr("Überprüfung"));
  HideActions();  // the tree is rebuilt: nothing is chosen
  LogPrepare(this, QStringLiteral("Offline: Check Data begin"), false);
  if (FEnableDisableBar) FEnableDisableBar(this, false);
  auto stations = std::make_shared<QList<TStation>>();
  auto lines = std::make_shared<QStringList>();
  const QString dir = FDataDir;
  // One progress step per station, reported on the GUI thread.
  auto progress = [this](int done, int total) {
    QMetaObject::invokeMethod(
        this,
        [this, done, total] {
          if (done == 0) {
            FGesamtCount = uint64_t(total);
            SynchStartProgress();
          } else {
            SynchSendProgress();
          }
        },
        Qt::QueuedConnection);
  };
  FWorker = QThread::create([stations, lines, dir, progress] {
    *stations = ScanStore(dir, [lines](const QString& l) { *lines << l; }, progress);
  });
  connect(FWorker, &QThread::finished, this, [this, stations, lines] {
    FWorker->deleteLater();
    FWorker = nullptr;
    for (const QString& l : *lines) LogPrepare(this, l, false);
    SynchStoppProgress();
    TreeViewOpti->clear();
    FClickedTVI = nullptr;
    FStartDevice = nullptr;
    QHash<QString, QTreeWidgetItem*> groups;
    // Installations and their stations by name, as an operator looks for them.
    auto deviceName = [](const TStation& s) { return s.Text.section(QStringLiteral(": "), 1); };
    std::stable_sort(stations->begin(), stations->end(), [&](const TStation& a, const TStation& b) {
      if (const int c = NaturalCompare(a.Plant, b.Plant); c != 0) return c < 0;
      if (const int c = NaturalCompare(deviceName(a), deviceName(b)); c != 0) return c < 0;
      return NaturalCompare(a.Folder, b.Folder) < 0;
    });
    for (int k = 0; k < stations->size(); ++k) {
      const TStation& s = (*stations)[k];
      QTreeWidgetItem*& g = groups[s.Plant];
      if (!g) {
        g = new QTreeWidgetItem(TreeViewOpti, {s.Plant});
        g->setIcon(0, ImageIcon(5));
      }
      auto* item = new QTreeWidgetItem(g, {s.Text});
      item->setIcon(0, ImageIcon(5));
      item->setData(0, CTagRole, int(stStation));
      item->setData(0, CPathRole, s.Path);
      item->setData(0, CStationRole, QVariant::fromValue(s.Folder));
      if (s.Folder.toUInt() == FSelectedStation && FSelectedStation != 0) FStartDevice = item;
      g->setExpanded(true);
    }
    ActDeleteSelected->setEnabled(true);
    EndWork();
    // How much the store holds, or where nothing was found.
    LabSBar->setText(stations->isEmpty() ? tr("Keine Stationen in %1").arg(QDir::toNativeSeparators(FDataDir))
                                         : CountText(stations->size(), tr("1 Station"), tr("%1 Stationen")));
    LogPrepare(this, QStringLiteral("Offline: Check Data end"), false);
    if (FStartDevice) {
      OpenStation(FStartDevice);
    } else {
      if (FEnableDisableBar) FEnableDisableBar(this, true);
      RunPending();
    }
  });
  FWorker->start();
}

void TFormOffline::HideActions() {
  TFormLayout::HideActions();
  for (QAction* a : {actDelOfflineRekorder, actDelOfflineEvent, actDelClass, actDelOfflineAllFiles, ActDeleteSelected}) a->setEnabled(false);
}

void TFormOffline::RunPending() {
  if (Busy()) return;
  if (!FPendingImport.isEmpty()) {
    ImportFrom(std::exchange(FPendingImport, QString()));
  } else if (std::exchange(FRescanPending, false)) {
    CheckData();
  }
}

void TFormOffline::AddNodes(QTreeWidgetItem* parent, const TStoreNode& node) {
  for (const TStoreNode& c : node.Children) {
    // A group's name is the store's German, shown in the chosen language.
    const bool file = c.Tag == stRecordingFile || c.Tag == stEventFile;
    auto* item = new QTreeWidgetItem(parent, {file ? c.Text : QCoreApplication::translate("TReadoutTree", c.Text.toUtf8().constData())});
    item->setIcon(0, ImageIcon(c.Image));
    item->setData(0, CTagRole, c.Tag);
    item->setData(0, CPathRole, c.Path);
    item->setData(0, CAsyncRole, c.IsAsync);
    if (c.Tag == stRecordingFile || c.Tag == stEventFile) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);
    }
    AddNodes(item, c);
  }
}

void TFormOffline::OpenStation(QTreeWidgetItem* station) {
  if (!station || Busy()) return;
  LogPrepare(this, QStringLiteral("OfflineClick: %1").arg(station->text(0)), false);
  if (station->childCount() > 0) {
    station->setExpanded(!station->isExpanded());
    return;
  }
  const QString told = LabSBar->text();  // the scan's count comes back when the station is open
  StartWork(tr("Analysieren"));
  if (FEnableDisableBar) FEnableDisableBar(this, false);
  TStation s;
  s.Path = station->data(0, CPathRole).toString();
  s.Text = station->text(0);
  auto tree = std::make_shared<TStoreNode>();
  FWorker = QThread::create([tree, s] { *tree = BuildStationTree(s); });
  connect(FWorker, &QThread::finished, this, [this, tree, station, told] {
    FWorker->deleteLater();
    FWorker = nullptr;
    // A scan may have replaced the tree meanwhile.
    if (Stations().contains(station)) {
      AddNodes(station, *tree);
      station->setExpanded(true);
      for (int i = 0; i < station->childCount(); ++i) station->child(i)->setExpanded(true);  // recordings and events
    }
    EndWork();
    if (LabSBar->text().isEmpty()) LabSBar->setText(told);
    if (FEnableDisableBar) FEnableDisableBar(this, true);
    RunPending();
  });
  FWorker->start();
}

void TFormOffline::OfflineFileClick(QTreeWidgetItem* item) {
  if (FInClick || !item) return;
  FInClick = true;
  const QString path = item->data(0, CPathRole).toString();
  StartWork(tr("Analysieren"));
  if (TagOf(item) == stEventFile) {
    EvtToTable(path);
    FLastUseEvtFile = path;
  } else if (item->data(0, CAsyncRole).toBool()) {
    AsyncToTable(path);
  } else {
    RecToTable(path);  // shows the curves of the first quantity group
  }
  FInClick = false;
}

void TFormOffline::OfflineRecMouseDown(QTreeWidgetItem* item, Qt::MouseButtons buttons) {
  FClickedTVI = item;
  for (QAction* a : {actDelOfflineRekorder, actDelOfflineEvent, actDelClass, actDelOfflineAllFiles}) a->setEnabled(false);
  switch (TagOf(item)) {
    case stStation: actDelOfflineAllFiles->setEnabled(true); break;
    case stEvents:
    case stGroup:
    case stOsc:
    case stHp: actDelClass->setEnabled(true); break;
    case stRecordingFile:
      actDelOfflineRekorder->setEnabled(true);
      actDelClass->setEnabled(true);
      break;
    case stEventFile:
      actDelOfflineEvent->setEnabled(true);
      actDelClass->setEnabled(true);
      break;
    default: break;
  }
  if (buttons & Qt::RightButton) {
    if (item) TreeViewOpti->setCurrentItem(item);
    FMenu->popup(QCursor::pos());
  }
}

void TFormOffline::DeleteClass() {
  if (!FClickedTVI) return;
  StartWork(tr("Löschen"));
  const int tag = TagOf(FClickedTVI);
  QTreeWidgetItem* group = (tag == stRecordingFile || tag == stEventFile) ? FClickedTVI->parent() : FClickedTVI;
  for (int i = group ? group->childCount() - 1 : -1; i >= 0; --i) {
    const QString path = group->child(i)->data(0, CPathRole).toString();
    if (!path.isEmpty()) OfflineDelFile(path, [this](const QString& l) { LogPrepare(this, l, false); });
  }
  EndWork();
  CheckData();
}

QList<QTreeWidgetItem*> TFormOffline::CheckedFiles() const {
  QList<QTreeWidgetItem*> out;
  std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* i) {
    for (int k = i->childCount() - 1; k >= 0; --k) walk(i->child(k));
    const int tag = TagOf(i);
    if ((tag == stRecordingFile || tag == stEventFile) && i->checkState(0) == Qt::Checked &&
        !i->data(0, CPathRole).toString().isEmpty())
      out << i;
  };
  for (int g = TreeViewOpti->topLevelItemCount() - 1; g >= 0; --g) walk(TreeViewOpti->topLevelItem(g));
  return out;
}

int TFormOffline::ExportTo(const QString& folder) {
  StartWork(tr("Exportieren"));
  QStringList files, failed;
  for (QTreeWidgetItem* i : CheckedFiles()) files << i->data(0, CPathRole).toString();
  const int n = ExportFiles(files, folder, failed);
  for (const QString& f : failed) LogPrepare(this, QStringLiteral("Export: %1").arg(f), false);
  Tell(tr("Es wurden %1 Dateien nach %2 exportiert.").arg(files.size()).arg(folder));
  if (!failed.isEmpty()) Tell(tr("%1 Dateien konnten nicht nach %2 geschrieben werden (siehe Protokoll)").arg(failed.size()).arg(folder));
  EndWork();
  return n;
}

void TFormOffline::ImportFrom(const QString& folder) {
  if (Busy()) {
    FPendingImport = folder;
    return;
  }
  StartWork(tr("Importieren"));
  auto result = std::make_shared<TImportResult>();
  const QString dir = FDataDir;
  // The total is the progress maximum, one step per file copied.
  auto progress = [this](int done, int total) {
    QMetaObject::invokeMethod(
        this,
        [this, done, total] {
          if (done <= 1) {
            FGesamtCount = uint64_t(total);
            SynchStartProgress();
          }
          SynchSendProgress();
        },
        Qt::QueuedConnection);
  };
  FWorker = QThread::create([result, folder, dir, progress] { *result = ImportFolder(folder, dir, progress); });
  connect(FWorker, &QThread::finished, this, [this, result] {
    FWorker->deleteLater();
    FWorker = nullptr;
    SynchStoppProgress();
    for (const QString& f : result->Failed) LogPrepare(this, QStringLiteral("Import: %1").arg(f), false);
    for (const QString& f : result->Ignored) LogPrepare(this, QStringLiteral("Import: %1 passt zu keinem Dateinamen").arg(f), false);  // untranslated
    TreeViewOpti->clear();
    EndWork();
    // Every copy attempted counts; what failed or matched no name is said too.
    Tell(tr("Es wurden %1 Dateien importiert").arg(result->Total() + int(result->Failed.size())));
    if (!result->Failed.isEmpty() || !result->Ignored.isEmpty())
      Tell(tr("%1 Dateien nicht kopiert, %2 Dateien ohne passenden Namen übergangen (siehe Protokoll)")
               .arg(result->Failed.size())
               .arg(result->Ignored.size()));
    FRescanPending = false;
    CheckData();
  });
  FWorker->start();
}

}  // namespace vanta
