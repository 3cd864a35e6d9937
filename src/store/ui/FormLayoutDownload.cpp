// The readout window's list actions: the queued download with its resume
// points and free-space check, the deletes, the menus and the selection.
#include "FormLayout.h"

#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

namespace vanta {

// ---- queued download and deletes ------------------------------------------------------------

QList<TRecTreeViewItem*> TFormOnline::Checked(QTreeWidgetItem* root) const {
  QList<TRecTreeViewItem*> out;
  if (!root) return out;
  for (int i = 0; i < root->childCount(); ++i) {
    auto* c = dynamic_cast<TRecTreeViewItem*>(root->child(i));
    if (!c) continue;
    if (!c->Path.isEmpty() && c->checkState(0) == Qt::Checked) out << c;
    out << Checked(c);
  }
  return out;
}

namespace {
QStringList QueueOf(const QList<TRecTreeViewItem*>& items) {
  QStringList q;
  for (const TRecTreeViewItem* i : items) q << QStringLiteral("%1=%2").arg(i->Path).arg(i->FileSize);
  return q;
}
// The files directly in a group: a class action takes only these.
QList<TRecTreeViewItem*> DirectFiles(QTreeWidgetItem* group) {
  QList<TRecTreeViewItem*> out;
  for (int i = 0; group && i < group->childCount(); ++i)
    if (auto* c = dynamic_cast<TRecTreeViewItem*>(group->child(i)); c && !c->Path.isEmpty()) out << c;
  return out;
}
QList<TRecTreeViewItem*> AllFiles(QTreeWidgetItem* root) {
  QList<TRecTreeViewItem*> out;
  for (int i = 0; root && i < root->childCount(); ++i) {
    auto* c = dynamic_cast<TRecTreeViewItem*>(root->child(i));
    if (!c) continue;
    if (!c->Path.isEmpty()) out << c;
    out << AllFiles(c);
  }
  return out;
}
}  // namespace

void TFormOnline::RequestOne(TRecTreeViewItem* item, bool recording, uint64_t) {
  if (!FComUnit) return;
  // Clicked again while its answer is on the way: the request in flight counts.
  if (FComUnit->FileRequestPending(item->Path)) {
    EndWork();
    return;
  }
  const uint64_t from = PrepareResume(Place(), item->Path, item->FileSize, recording);
  FComUnit->ExpectFileSize(item->Path, item->FileSize);
  FComUnit->FFileFailed = [this](QObject*, const QString& path, const QString&, const QString& reason) {
    if (FChain && FChain->Active()) {
      FChain->NoteFailure(path, reason);
      return;
    }
    EndWork();
    const QString text = tr("%1 wurde nicht gespeichert: %2").arg(path, reason);
    LogPrepare(this, QStringLiteral("Vanta: ") + text, true);
    if (FOnDownloadReport) FOnDownloadReport(text);
  };
  if (recording)
    RecClick(item->Path, uint32_t(from));
  else
    EvtClick(item->Path, uint32_t(from));
}

TReadoutChain& TFormOnline::Chain() {
  if (!FChain) FChain = std::make_unique<TReadoutChain>(Place());
  FChain->SetPlace(Place());
  return *FChain;
}

void TFormOnline::SetDownloadActions(bool running) {
  // While a chain runs, a second download could only ask for the same
  // files again; deleting them under it would lose what it fetched.
  for (QAction* a : {actDownLoadAllEvent, actDownloadSelectedEvt, actDownloadAllRecorder, actDownloadSelectedRec,
                     actDownLoadClsRecorder, actDelEvent, actDelAllEvent, actDelSelectedEvt, actDelRecorder,
                     actDelAllRecorder, ActDelSelectedRecorder, actDelAllClsRecorder})
    if (a) a->setEnabled(!running);
  if (actCancelDownload) actCancelDownload->setEnabled(running);
}

void TFormOnline::StartChain(const std::function<void(TReadoutChain&)>& fill) {
  if (!FComUnit || Downloading()) return;
  TReadoutChain& chain = Chain();
  fill(chain);
  const uint64_t need = chain.BytesToFetch();
  const qint64 free = FreeBytes(Place().RecorderDir.isEmpty() ? Place().EventDir : Place().RecorderDir);
  if (free >= 0 && need > uint64_t(free)) {
    FChain.reset();
    const QString text = tr("Die ausgewählten Dateien brauchen %1, auf dem Datenträger sind nur %2 frei. Es wurde nichts heruntergeladen.")
                             .arg(SizeText(need), SizeText(uint64_t(free)));
    LogPrepare(this, QStringLiteral("Vanta: ") + text, true);
    if (FOnDownloadReport) FOnDownloadReport(text);
    DisplayMessage(text, TMsgDlgType::mtWarning, {}, mbOK, mbOK);
    return;
  }
  FComUnit->FFileFailed = [this](QObject*, const QString& path, const QString&, const QString& reason) {
    if (FChain) FChain->NoteFailure(path, reason);
    LogPrepare(this, QStringLiteral("Vanta: %1 nicht gespeichert: %2").arg(path, reason), true);  // untranslated
  };
  FOnTransferProgress = [this](int64_t position) {
    if (!Downloading()) return;
    FChain->NoteBytes(uint64_t(qMax<int64_t>(0, position)));
    const QString text = FChain->ProgressText(FChainClock.elapsed());
    LabSBar->setText(text);
    if (FSetGlobalProg) FSetGlobalProg(this, true, text);
  };
  FChainClock.start();
  SetDownloadActions(true);
  StartWork(tr("Herunterladen"));
  MassDownLoad();
}

void TFormOnline::DownloadAll(bool events) {
  // The lists as the device sent them: the last listed file comes first.
  StartChain([&](TReadoutChain& c) {
    c.Start(events ? TReadoutChain::TQueue::qEvents : TReadoutChain::TQueue::qRecordings, events ? FAllEvtLst : FAllRecLst);
  });
}

void TFormOnline::DownloadSelected(bool events) {
  StartChain([&](TReadoutChain& c) {
    c.Start(events ? TReadoutChain::TQueue::qEvents : TReadoutChain::TQueue::qRecordings,
            QueueOf(Checked(events ? FEvtTreeView : FRecTreeView)));
  });
}

void TFormOnline::DownloadClass(TRecTreeViewItem* item) {
  if (!item || !item->parent()) return;
  StartChain([&](TReadoutChain& c) { c.Start(TReadoutChain::TQueue::qClass, QueueOf(DirectFiles(item->parent()))); });
}

void TFormOnline::CancelDownload() {
  if (!Downloading()) return;
  FChain->Cancel();
  LabSBar->setText(tr("Wird nach der laufenden Datei abgebrochen …"));
}

void TFormOnline::EndChain(bool lost) {
  if (!FChain) return;
  // What the chain did not get to is not on disk either: told by name.
  const QString why = lost ? ConnectionLostText() : tr("abgebrochen");
  for (const QString& p : FChain->Remaining()) FChain->NoteFailure(p, why);
  const QList<TReadoutChain::TFailure> failures = FChain->Failures();
  const int done = FChain->FilesDone();
  const int total = FChain->FilesTotal();
  FChain.reset();
  FOnTransferProgress = nullptr;
  if (FComUnit) {
    FComUnit->FMassDLNext = nullptr;
    FComUnit->FFileFailed = nullptr;
  }
  SetDownloadActions(false);
  if (FSetGlobalProg) FSetGlobalProg(this, false, QString());
  if (failures.isEmpty()) return;
  QStringList lines;
  for (const TReadoutChain::TFailure& f : failures) lines << QStringLiteral("%1: %2").arg(f.Path, f.Reason);
  const QString text = tr("%1 von %2 Dateien wurden nicht gespeichert:\n%3")
                           .arg(failures.size())
                           .arg(qMax(total, done))
                           .arg(lines.join(QLatin1Char('\n')));
  LogPrepare(this, QStringLiteral("Vanta: ") + text, true);
  if (FOnDownloadReport) FOnDownloadReport(text);
  DisplayMessage(text, TMsgDlgType::mtWarning, {}, mbOK, mbOK);
}

void TFormOnline::ClearWork() {
  // The line is gone: the chain cannot go on; its files are told.
  if (Downloading()) EndChain(true);
  TFormLayout::ClearWork();
}

void TFormOnline::MassDownLoad() {
  if (!FChain || !FComUnit) return;
  const TReadoutChain::TStep s = FChain->Next();
  if (s.Done) {
    const bool cancelled = s.Cancelled;
    EndChain(false);
    LabSBar->clear();
    EndWork();
    if (cancelled) return;
    if (s.RelistEvents)
      ClickEvtOverview();
    else
      ClickRecOverview();
    return;
  }
  FComUnit->FMassDLNext = [this](QObject*) { MassDownLoad(); };
  const QString text = FChain->ProgressText(FChainClock.elapsed());
  if (FSetGlobalProg) FSetGlobalProg(this, true, text);
  LabSBar->setText(text);
  FComUnit->ExpectFileSize(s.Path, s.Size);
  const bool sent = s.Recording ? SendCommandToCom(ccci::TCcci::READOUT_REC_RD, s.Path, uint32_t(s.Position), false)
                                : SendCommandToCom(ccci::TCcci::READOUT_EVT_RD, s.Path, uint32_t(s.Position), false);
  if (sent) {
    // Out at once rather than on the next tick of the client's timer (after
    // the answer that called this step has been finished).
    QTimer::singleShot(0, this, [this] {
      if (FComUnit) FComUnit->ManualTimer(this);
    });
  } else {
    // No device to ask: the chain ends here instead of waiting for a file.
    LogPrepare(this, QStringLiteral("Herunterladen abgebrochen: keine Verbindung"), false);  // untranslated
    EndChain(true);
    EndWork();
  }
}

void TFormOnline::DeleteItem(TRecTreeViewItem* item) {
  if (!item || item->Path.isEmpty()) return;
  bool events = false;
  for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) events |= p == FEvtTreeView;
  TreeViewOpti->setUpdatesEnabled(false);
  if (events)
    EvtDel(item->Path);
  else
    RecDel(item->Path);
  if (FTVIEvt == item) FTVIEvt = nullptr;
  if (FTVIRec == item) FTVIRec = nullptr;
  if (FSelectedRec == item) FSelectedRec = nullptr;
  QTreeWidgetItem* parent = item->parent();
  delete item;
  if (parent) {
    parent->setExpanded(false);
    parent->setExpanded(true);
  }
  TreeViewOpti->setUpdatesEnabled(true);
  // What was selected is gone: nothing to download or delete until the next click.
  EnableListActions(true, false);
  EnableListActions(false, false);
}

void TFormOnline::DeleteAll(bool events) {
  if (events) {
    EvtDelAll();
    ClickEvtOverview();
  } else {
    RecDelAll();
    ClickRecOverview();
  }
}

void TFormOnline::DeleteSelected(bool events) {
  StartWork(tr("Löschen"));
  for (TRecTreeViewItem* i : Checked(events ? FEvtTreeView : FRecTreeView)) DeleteItem(i);
  EnableListActions(events, false);
  EndWork();
}

void TFormOnline::DeleteClass(TRecTreeViewItem* item) {
  if (!item || !item->parent()) return;
  for (TRecTreeViewItem* i : DirectFiles(item->parent())) RecDel(i->Path);
  ClickRecOverview();
}

void TFormOnline::BuildActions() {
  auto act = [this](const QString& text, auto fn) {
    auto* a = new QAction(text, this);
    connect(a, &QAction::triggered, this, fn);
    return a;
  };
  actDownLoadAllEvent = act(tr("Alle Ereignisse herunterladen"), [this] { DownloadAll(true); });
  actDownloadSelectedEvt = act(tr("Ausgewählte Ereignisse herunterladen"), [this] { DownloadSelected(true); });
  actDelEvent = act(tr("Ereignis löschen"), [this] { DeleteItem(FTVIEvt); });
  actDelAllEvent = act(tr("Alle Ereignisse löschen"), [this] { DeleteAll(true); });
  actDelSelectedEvt = act(tr("Ausgewählte Ereignisse löschen"), [this] { DeleteSelected(true); });
  actShowEvtInExplorer = act(tr("Im Explorer Anzeigen"), [this] { ShowInExplorer(FTVIEvt, false); });
  actDownloadAllRecorder = act(tr("Alle Aufzeichnungen herunterladen"), [this] { DownloadAll(false); });
  actDownloadSelectedRec = act(tr("Ausgewählte Aufzeichnungen herunterladen"), [this] { DownloadSelected(false); });
  actDownLoadClsRecorder = act(tr("Klasse herunterladen"), [this] { DownloadClass(FTVIRec); });
  actDelRecorder = act(tr("Aufzeichnung löschen"), [this] { DeleteItem(FTVIRec); });
  actDelAllRecorder = act(tr("Alle Aufzeichnungen löschen"), [this] { DeleteAll(false); });
  ActDelSelectedRecorder = act(tr("Ausgewählte Aufzeichnungen löschen"), [this] { DeleteSelected(false); });
  actDelAllClsRecorder = act(tr("Klasse löschen"), [this] { DeleteClass(FTVIRec); });
  actShowRecInExplorer = act(tr("Im Explorer Anzeigen"), [this] { ShowInExplorer(FTVIRec, true); });
  actMultiSelect = act(tr("Multiselect"), [this] { SetMultiSelect(actMultiSelect->isChecked()); });
  actCancelDownload = act(tr("Herunterladen abbrechen"), [this] { CancelDownload(); });
  actCancelDownload->setEnabled(false);
  actMultiSelect->setCheckable(true);
  FEvtMenu = new QMenu(this);
  FEvtMenu->addActions({actMultiSelect, actDownLoadAllEvent, actDownloadSelectedEvt, actCancelDownload});
  FEvtMenu->addSeparator();
  FEvtMenu->addActions({actDelEvent, actDelSelectedEvt, actDelAllEvent});
  FEvtMenu->addSeparator();
  FEvtMenu->addAction(actShowEvtInExplorer);
  FRecMenu = new QMenu(this);
  FRecMenu->addActions({actMultiSelect, actDownloadAllRecorder, actDownloadSelectedRec, actDownLoadClsRecorder, actCancelDownload});
  FRecMenu->addSeparator();
  FRecMenu->addActions({actDelRecorder, ActDelSelectedRecorder, actDelAllClsRecorder, actDelAllRecorder});
  FRecMenu->addSeparator();
  FRecMenu->addAction(actShowRecInExplorer);
  EnableListActions(false, false);
  EnableListActions(true, false);
}

void TFormOnline::EnableListActions(bool events, bool on) {
  if (Downloading()) on = false;  // nothing to start while a chain runs
  const QList<QAction*> evt{actDownLoadAllEvent, actDownloadSelectedEvt, actDelEvent, actDelAllEvent, actDelSelectedEvt,
                            actShowEvtInExplorer};
  const QList<QAction*> rec{actDownloadAllRecorder, actDownloadSelectedRec, actDownLoadClsRecorder, actDelRecorder,
                            actDelAllRecorder, ActDelSelectedRecorder, actDelAllClsRecorder, actShowRecInExplorer};
  for (QAction* a : events ? evt : rec) a->setEnabled(on);
}

// Selection by the mouse: the item is remembered, its own list's actions are
// offered and the other list's are not; a right click opens the list's menu.
void TFormOnline::ItemMouseDown(QTreeWidgetItem* item, Qt::MouseButtons buttons) {
  bool events = false;
  for (QTreeWidgetItem* p = item; p; p = p->parent()) events |= p == FEvtTreeView;
  auto* file = dynamic_cast<TRecTreeViewItem*>(item);
  const bool isFile = file && !file->Path.isEmpty();
  if (events)
    FTVIEvt = isFile ? file : nullptr;
  else
    FTVIRec = isFile ? file : nullptr;
  TreeViewOpti->setCurrentItem(item);
  EnableListActions(events, true);
  EnableListActions(!events, false);
  (events ? actDelEvent : actDelRecorder)->setEnabled(isFile);
  if (!events) {
    actDownLoadClsRecorder->setEnabled(isFile);
    actDelAllClsRecorder->setEnabled(isFile);
  }
  (events ? actShowEvtInExplorer : actShowRecInExplorer)->setEnabled(isFile && file->Image == CImgOnDisk);
  if (buttons & Qt::RightButton) (events ? FEvtMenu : FRecMenu)->popup(QCursor::pos());
}

void TFormOnline::SetMultiSelect(bool on) {
  for (QTreeWidgetItem* root : {FRecTreeView, FEvtTreeView})
    for (TRecTreeViewItem* i : AllFiles(root)) {
      if (on) {
        i->setFlags(i->flags() | Qt::ItemIsUserCheckable);
        i->setCheckState(0, Qt::Unchecked);
      } else {
        i->setFlags(i->flags() & ~Qt::ItemIsUserCheckable);
        i->setData(0, Qt::CheckStateRole, QVariant());
      }
    }
}

void TFormOnline::ShowInExplorer(TRecTreeViewItem* item, bool recording) {
  if (!item || item->Path.isEmpty()) return;
  FOpenUrl(QUrl::fromLocalFile(QFileInfo(GetFileNameOnDisk(Place(), item->Path, recording)).absolutePath()));
}

}  // namespace vanta
