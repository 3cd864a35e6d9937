// The readout window against the simulator: the device's lists as trees,
// the queued download, event and recording tables, deletes.
#include <gtest/gtest.h>

#include <QDir>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QLabel>
#include <QUrl>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "FormLayout.h"
#include "FormOffline.h"
#include "PaintBox.h"
#include "RecordFile.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {

QList<TRecTreeViewItem*> Files(QTreeWidgetItem* root) {
  QList<TRecTreeViewItem*> out;
  for (int i = 0; root && i < root->childCount(); ++i) {
    auto* c = dynamic_cast<TRecTreeViewItem*>(root->child(i));
    if (c && !c->Path.isEmpty()) out << c;
    out << Files(root->child(i));
  }
  return out;
}

TRecTreeViewItem* FileNamed(QTreeWidgetItem* root, const QString& part) {
  for (TRecTreeViewItem* f : Files(root))
    if (f->Path.contains(part)) return f;
  return nullptr;
}

struct TOnline {
  TSimProcess Sim;
  QTemporaryDir Data;
  QStringList Log;  // outlives the window, which logs its own end
  TFormOnline W;
  bool Start() {
    if (!Sim.Start()) return false;
    vanta::test::ConnectToSim(W, Data.path(), Log, Sim.Port);
    return SpinUntil([&] { return W.FRecTreeView != nullptr; }, 10000);
  }
};

}  // namespace

TEST(Readout, ListsDownloadsShowsAndDeletes) {
  TOnline t;
  ASSERT_TRUE(t.Start()) << t.Log.join('\n').toStdString();
  EXPECT_EQ(t.W.FRecTreeView->text(0), QStringLiteral("Rekorder Daten"));
  t.W.ClickRecOverview();
  ASSERT_TRUE(SpinUntil([&] { return Files(t.W.FRecTreeView).size() == 14; }, 5000)) << "13 shown, one hidden class";
  EXPECT_EQ(t.W.FRecTreeView->child(2)->text(0), QStringLiteral("10min TRMS"));
  t.W.ClickEvtOverview();
  ASSERT_TRUE(SpinUntil([&] { return Files(t.W.FEvtTreeView).size() == 7; }, 5000));
  EXPECT_EQ(t.W.LabSBar->text(), QStringLiteral("7 Ereignisse"));
  for (TRecTreeViewItem* f : Files(t.W.FRecTreeView)) EXPECT_EQ(f->Image, CImgMissing) << f->Path.toStdString();

  // Ticking a file selects it for the list actions; it fetches nothing.
  TRecTreeViewItem* last = Files(t.W.FEvtTreeView).last();
  last->setCheckState(0, Qt::Checked);
  emit t.W.TreeViewOpti->itemClicked(last, 0);
  vanta::test::SpinFor(300);
  EXPECT_FALSE(QFile::exists(t.W.FComUnit->FEvtDir + last->Path));

  // Everything recorded, as the chain works it off; the re-list shows it on disk.
  t.W.DownloadAll(false);
  ASSERT_TRUE(SpinUntil([&] {
    const auto files = Files(t.W.FRecTreeView);
    return files.size() == 14 && std::all_of(files.cbegin(), files.cend(), [](auto* f) { return f->Image == CImgOnDisk; });
  }, 20000)) << t.Log.join('\n').toStdString();
  EXPECT_FALSE(t.W.FComUnit->FMassDLNext) << "the chain let go of the client's callback";
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: File %1 does not exist - Downloading")
                                 .arg(t.W.FComUnit->FRecDir + QStringLiteral("Xyz-12345678-1764892800-000.log"))))
      << "the hidden class is fetched too";

  // A recording already on disk shows at once: rows and quantity groups.
  TRecTreeViewItem* tenMin = FileNamed(t.W.FRecTreeView, QStringLiteral("sync/10min-"));
  ASSERT_NE(tenMin, nullptr);
  t.W.RecordClick(tenMin);
  ASSERT_NE(t.W.FRecModel, nullptr);
  EXPECT_EQ(t.W.FRecModel->rowCount(), 120);
  EXPECT_EQ(t.W.FRecModel->headerData(t.W.FRecModel->columnCount() - 1, Qt::Horizontal).toString(),
            QStringLiteral("Differenzstrom Bezug [iRR]"));
  EXPECT_TRUE(t.W.tvSelect->isVisibleTo(&t.W));
  EXPECT_GE(t.W.tvSelect->topLevelItemCount(), 4);
  // A 10-minute recording with residual currents offers every report; the EN report comes out as a PDF.
  EXPECT_TRUE(t.W.actENReport->isEnabled());
  EXPECT_TRUE(t.W.actRCMReport->isEnabled());
  QUrl opened;
  t.W.FOpenUrl = [&](const QUrl& u) {
    opened = u;
    return true;
  };
  t.W.actENReport->trigger();
  EXPECT_TRUE(opened.toLocalFile().endsWith(QStringLiteral("-en50160.pdf"))) << t.Log.join('\n').toStdString();
  EXPECT_GT(QFileInfo(opened.toLocalFile()).size(), 1000);

  // An event is fetched on its click and shown when it has arrived.
  TRecTreeViewItem* dip = FileNamed(t.W.FEvtTreeView, QStringLiteral("-1764896400-125"));
  ASSERT_NE(dip, nullptr);
  t.W.EventClick(dip);
  ASSERT_TRUE(SpinUntil([&] { return t.W.GridData->rowCount() == 1 && t.W.GridData->columnCount() == 6; }, 5000));
  EXPECT_EQ(t.W.GridData->item(0, 0)->text(), QStringLiteral("Spannungseinbruch L1"));
  EXPECT_EQ(t.W.GridData->item(0, 5)->text(), QStringLiteral("0.1200"));
  EXPECT_TRUE(t.W.EventTableText().startsWith(QStringLiteral("Ereignis\tZeit\tMaximum")));

  // The binary inputs go to their own table.
  TRecTreeViewItem* bin = FileNamed(t.W.FRecTreeView, QStringLiteral("async/BinIn-"));
  ASSERT_NE(bin, nullptr);
  EXPECT_TRUE(bin->isAsync);
  t.W.RecordClick(bin);
  EXPECT_FALSE(t.W.actENReport->isEnabled()) << "binary inputs have no reports";
  EXPECT_EQ(t.W.GridData->columnCount(), 9);
  EXPECT_GT(t.W.GridData->rowCount(), 5);

  // Deleting one event removes it on the device and in the tree.
  const QString device = t.Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/events/") + dip->Path;
  t.W.actMultiSelect->setChecked(true);
  t.W.actMultiSelect->trigger();  // toggles back: check boxes go
  EXPECT_FALSE(dip->flags() & Qt::ItemIsUserCheckable);
  ASSERT_TRUE(QFile::exists(device));
  emit t.W.TreeViewOpti->itemPressed(dip, 0);  // selected with the mouse
  EXPECT_EQ(t.W.FTVIEvt, dip);
  EXPECT_TRUE(t.W.actDelEvent->isEnabled());
  EXPECT_FALSE(t.W.actDelRecorder->isEnabled()) << "the other list's actions are not offered";
  EXPECT_TRUE(t.W.actShowEvtInExplorer->isEnabled()) << "the copy is on disk";
  t.W.actDelEvent->trigger();
  EXPECT_EQ(t.W.FTVIEvt, nullptr);
  EXPECT_FALSE(t.W.actDelEvent->isEnabled()) << "nothing selected after a delete";
  EXPECT_EQ(Files(t.W.FEvtTreeView).size(), 6);
  EXPECT_TRUE(SpinUntil([&] { return !QFile::exists(device); }, 5000));
  const QString dir = qEnvironmentVariable("VANTA_SHOT_DIR");
  if (!dir.isEmpty()) {
    t.W.RecordClick(tenMin);
    t.W.show();
    t.W.grab().save(QDir(dir).filePath(QStringLiteral("readout.png")));
  }
  // One event is one "Ereignis" in the status line.
  t.W.EvtOverView({QStringLiteral("E-1764896400-125.evt;1764896401;100")});
  EXPECT_EQ(t.W.LabSBar->text(), QStringLiteral("1 Ereignis"));
}

TEST(Readout, AFileThatCannotBeStoredIsToldAndTheOthersStillCome) {
  TOnline t;
  ASSERT_TRUE(t.Start()) << t.Log.join('\n').toStdString();
  t.W.ClickEvtOverview();
  ASSERT_TRUE(SpinUntil([&] { return Files(t.W.FEvtTreeView).size() == 7; }, 5000));
  QStringList reports;
  t.W.FOnDownloadReport = [&](const QString& text) { reports << text; };
  // One file meets a full disk; the writer of every other works.
  t.W.FComUnit->FFileWriter = [](const QString& path, qint64 pos, QByteArrayView data) {
    if (path.contains(QLatin1String("-1764896400-125"))) return QStringLiteral("Auf dem Datenträger ist kein Platz mehr");
    return WriteAtOffset(path, pos, data);
  };
  t.W.DownloadAll(true);
  EXPECT_FALSE(t.W.actDownLoadAllEvent->isEnabled()) << "no second download while one runs";
  EXPECT_FALSE(t.W.actDelAllEvent->isEnabled());
  EXPECT_TRUE(t.W.actCancelDownload->isEnabled());
  ASSERT_TRUE(SpinUntil([&] { return !t.W.Downloading(); }, 20000)) << t.Log.join('\n').toStdString();
  ASSERT_EQ(reports.size(), 1);
  EXPECT_TRUE(reports[0].startsWith(QStringLiteral("1 von 7 Dateien wurden nicht gespeichert:"))) << reports[0].toStdString();
  EXPECT_TRUE(reports[0].contains(QStringLiteral("-1764896400-125.log: Auf dem Datenträger ist kein Platz mehr")));
  int stored = 0;
  for (TRecTreeViewItem* f : Files(t.W.FEvtTreeView)) stored += QFile::exists(t.W.FComUnit->FEvtDir + f->Path) ? 1 : 0;
  EXPECT_EQ(stored, 6) << "the chain went on after the failure";
  EXPECT_TRUE(t.W.actCancelDownload->isEnabled() == false);
  if (const QString dir = qEnvironmentVariable("VANTA_SHOT_DIR"); !dir.isEmpty()) {
    t.W.show();
    vanta::test::SpinFor(200);
    for (QMessageBox* box : t.W.findChildren<QMessageBox*>())
      if (box->isVisible()) box->grab().save(QDir(dir).filePath(QStringLiteral("readout-not-stored.png")));
    t.W.grab().save(QDir(dir).filePath(QStringLiteral("readout-after-failure.png")));
  }
  for (QMessageBox* box : t.W.findChildren<QMessageBox*>()) box->close();
  // Room again: the same action fetches the one left.
  t.W.FComUnit->FFileWriter = WriteAtOffset;
  reports.clear();
  t.W.DownloadAll(true);
  ASSERT_TRUE(SpinUntil([&] { return !t.W.Downloading(); }, 20000));
  EXPECT_TRUE(reports.isEmpty()) << reports.join('\n').toStdString();
  ASSERT_TRUE(SpinUntil([&] {
    const auto files = Files(t.W.FEvtTreeView);
    return files.size() == 7 && std::all_of(files.cbegin(), files.cend(), [](auto* f) { return f->Image == CImgOnDisk; });
  }, 10000));
}

TEST(Readout, CancelStopsBeforeTheNextFileAndAFileClickedTwiceIsAskedForOnce) {
  TOnline t;
  ASSERT_TRUE(t.Start()) << t.Log.join('\n').toStdString();
  t.W.ClickRecOverview();
  ASSERT_TRUE(SpinUntil([&] { return Files(t.W.FRecTreeView).size() == 14; }, 5000));
  QStringList reports;
  t.W.FOnDownloadReport = [&](const QString& text) { reports << text; };
  t.W.DownloadAll(false);
  t.W.CancelDownload();
  ASSERT_TRUE(SpinUntil([&] { return !t.W.Downloading(); }, 20000));
  ASSERT_EQ(reports.size(), 1);
  EXPECT_TRUE(reports[0].contains(QStringLiteral(": abgebrochen"))) << reports[0].toStdString();
  int whole = 0;
  for (TRecTreeViewItem* f : Files(t.W.FRecTreeView)) {
    const QString local = GetFileNameOnDisk(t.W.Place(), f->Path, true);
    if (!QFile::exists(local)) continue;
    ++whole;
    EXPECT_EQ(QFileInfo(local).size(), qint64(f->FileSize)) << "a file under its final name is whole";
  }
  EXPECT_EQ(whole, 1) << "the file in flight came, no other was asked for";
  EXPECT_TRUE(t.W.actDownloadAllRecorder->isEnabled() || !t.W.FTVIRec) << "the actions are back";

  // Two clicks on a file while its answer is on the way: one request.
  TRecTreeViewItem* osc = FileNamed(t.W.FRecTreeView, QStringLiteral("rec/Osc-"));
  ASSERT_NE(osc, nullptr);
  const qsizetype before = t.Log.filter(QStringLiteral("Sending CCC_READOUT_REC_RD")).size();
  t.W.RecordClick(osc);
  t.W.FInClick = false;
  t.W.RecordClick(osc);
  ASSERT_TRUE(SpinUntil([&] { return QFile::exists(GetFileNameOnDisk(t.W.Place(), osc->Path, true)); }, 10000));
  vanta::test::SpinFor(300);
  EXPECT_EQ(t.Log.filter(QStringLiteral("Sending CCC_READOUT_REC_RD")).size() - before, 1) << t.Log.join('\n').toStdString();
  EXPECT_EQ(QFileInfo(GetFileNameOnDisk(t.W.Place(), osc->Path, true)).size(), qint64(osc->FileSize)) << "not doubled";
}

namespace {
// 2026-07-15 10:00:00 UTC: summer time on the simulated device (UTC+1 with
// daylight saving from the last Sunday of March to that of October).
constexpr uint32_t CJuly = 1784109600;

void PutJuly(const QString& path, TRecordKind kind) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  TContextHeader ctx;
  ctx.Class = kind == TRecordKind::rkEvent ? QString() : QStringLiteral("10min");
  ctx.IntervalMs = 600000;
  ctx.Start = {CJuly, 250000000};
  ctx.End = {CJuly + 1800, 0};
  if (kind == TRecordKind::rkEvent)
    ctx.Channels << TRecordChannel{0x01040010u, 0, QStringLiteral("%"), QStringLiteral("Spannungseinbruch")};
  else
    ctx.Channels << TRecordChannel{0x01000000u, 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L1")};
  TRecordWriter w(kind, {12345678, 3600, true, QStringLiteral("Umspannwerk Nord"), QStringLiteral("Feld 3"), QStringLiteral("Vanta Sim")}, ctx);
  if (kind == TRecordKind::rkEvent)
    w.Add(TEventRecord{0x01040010u, ctx.Start, 70.5, 0, 0.1, QStringLiteral("L1")});
  else
    for (uint32_t i = 0; i < 3; ++i) w.Add(TRecRow{{CJuly + 600 * i, 0}, {230.0f + float(i)}});
  QString error;
  ASSERT_TRUE(w.Save(path, error)) << error.toStdString();
}

QTreeWidgetItem* FindText(QTreeWidgetItem* root, const QString& part) {
  if (root->text(0).contains(part)) return root;
  for (int i = 0; i < root->childCount(); ++i)
    if (QTreeWidgetItem* f = FindText(root->child(i), part)) return f;
  return nullptr;
}
}  // namespace

TEST(Readout, ASummerEventShowsTheTreesTimeOnlineAndOffline) {
  TOnline t;
  ASSERT_TRUE(t.Sim.Start());
  const QString device = t.Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/");
  const QString eventName = QStringLiteral("12345678-%1-250.log").arg(CJuly);
  PutJuly(device + QStringLiteral("events/") + eventName, TRecordKind::rkEvent);
  PutJuly(device + QStringLiteral("recorder/sync/10min-12345678-%1-000.log").arg(CJuly), TRecordKind::rkRecording);
  vanta::test::ConnectToSim(t.W, t.Data.path(), t.Log, t.Sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return t.W.FRecTreeView != nullptr; }, 10000)) << t.Log.join('\n').toStdString();

  // Online: the tree's time (the device's rules) is the event table's time.
  t.W.ClickEvtOverview();
  ASSERT_TRUE(SpinUntil([&] { return Files(t.W.FEvtTreeView).size() == 8; }, 5000));
  TRecTreeViewItem* july = FileNamed(t.W.FEvtTreeView, eventName);
  ASSERT_NE(july, nullptr);
  const QString treeTime = july->text(0).left(19);
  EXPECT_EQ(treeTime, QStringLiteral("15.07.2026 12:00:00"));
  t.W.EventClick(july);
  ASSERT_TRUE(SpinUntil([&] { return t.W.GridData->rowCount() == 1 && t.W.GridData->columnCount() == 6; }, 5000));
  EXPECT_EQ(t.W.GridData->item(0, 1)->text(), treeTime + QStringLiteral(".250"));
  EXPECT_TRUE(t.W.EventTableText().contains(QStringLiteral("\t15.07.2026 12:00:00.250\t")));
  EXPECT_TRUE(QFileInfo::exists(t.Data.filePath(QStringLiteral("data/12345678/device-time.ini"))));

  // The recording: table, curves and the chart's caption in the same time,
  // online from the client's settings even when the store keeps none.
  const QString kept = t.Data.filePath(QStringLiteral("data/12345678/device-time.ini"));
  ASSERT_TRUE(QFile::rename(kept, kept + QStringLiteral(".away")));
  t.W.ClickRecOverview();
  ASSERT_TRUE(SpinUntil([&] { return FileNamed(t.W.FRecTreeView, QString::number(CJuly)) != nullptr; }, 5000));
  TRecTreeViewItem* rec = FileNamed(t.W.FRecTreeView, QString::number(CJuly));
  EXPECT_TRUE(rec->text(0).startsWith(QStringLiteral("15.07.2026 12:00:00 - "))) << rec->text(0).toStdString();
  t.W.RecordClick(rec);
  ASSERT_TRUE(SpinUntil([&] { return t.W.FRecModel && t.W.FRecModel->rowCount() == 3; }, 5000));
  EXPECT_EQ(t.W.FRecModel->index(0, 0).data().toString(), QStringLiteral("15.07.2026 12:00:00.000"));
  EXPECT_EQ(t.W.FCrvChart->RecordTime(), QStringLiteral("15.07.2026 12:00:00.000"));
  QStringList copied;
  ASSERT_TRUE(t.W.FCrvChart->CopyToClip(copied));
  ASSERT_EQ(copied.size(), 4);
  EXPECT_TRUE(copied[1].contains(QStringLiteral(" 12:00:00.000000"))) << copied[1].toStdString();
  ASSERT_TRUE(QFile::rename(kept + QStringLiteral(".away"), kept));

  // Offline, from the store the readout filled: the same times, by the
  // settings kept beside the files.
  TFormOffline off;
  off.SetStore(t.Data.filePath(QStringLiteral("data")), 12345678);
  off.CheckData();
  ASSERT_TRUE(SpinUntil([&] { return !off.Busy() && off.FStartDevice && off.FStartDevice->childCount() == 2; }, 5000));
  QTreeWidgetItem* leaf = FindText(off.FStartDevice, treeTime + QStringLiteral(" - "));
  ASSERT_NE(leaf, nullptr) << "the offline tree's caption shows the device's time";
  EXPECT_FALSE(leaf->text(0).contains(QStringLiteral("UTC"))) << leaf->text(0).toStdString();
  QTreeWidgetItem* evt = FindText(off.FStartDevice, QStringLiteral("PQ-Ereignisse"));
  ASSERT_NE(evt, nullptr);
  QTreeWidgetItem* offEvent = FindText(evt, treeTime);
  ASSERT_NE(offEvent, nullptr);
  off.OfflineFileClick(offEvent);
  ASSERT_EQ(off.GridData->rowCount(), 1);
  EXPECT_EQ(off.GridData->item(0, 1)->text(), treeTime + QStringLiteral(".250"));
  const QString shots = qEnvironmentVariable("VANTA_SHOT_DIR");
  if (!shots.isEmpty()) {
    off.resize(1000, 600);
    off.show();
    off.OfflineFileClick(FindText(off.FStartDevice, treeTime + QStringLiteral(" - ")));
    SpinUntil([] { return false; }, 300);
    off.grab().save(QDir(shots).filePath(QStringLiteral("offline-summer.png")));
  }

  // Without the kept settings the file knows only its offset: the caption says which.
  ASSERT_TRUE(QFile::remove(t.Data.filePath(QStringLiteral("data/12345678/device-time.ini"))));
  TFormOffline bare;
  bare.SetStore(t.Data.filePath(QStringLiteral("data")), 12345678);
  bare.CheckData();
  ASSERT_TRUE(SpinUntil([&] { return !bare.Busy() && bare.FStartDevice && bare.FStartDevice->childCount() == 2; }, 5000));
  QTreeWidgetItem* bareRec = FindText(bare.FStartDevice, QStringLiteral("15.07.2026 11:00:00 - "));
  ASSERT_NE(bareRec, nullptr);
  EXPECT_TRUE(bareRec->text(0).contains(QStringLiteral("UTC+01:00"))) << bareRec->text(0).toStdString();
  bare.OfflineFileClick(bareRec);
  EXPECT_EQ(bare.FCrvChart->RecordTime(), QStringLiteral("15.07.2026 11:00:00.000 UTC+01:00"));
  EXPECT_TRUE(bare.LabSBar->text().contains(QStringLiteral("UTC+01:00"))) << bare.LabSBar->text().toStdString();
  if (!shots.isEmpty()) {
    const QString dir = shots;
    bare.resize(1000, 600);
    bare.show();
    SpinUntil([] { return false; }, 300);
    bare.grab().save(QDir(dir).filePath(QStringLiteral("offline-offset.png")));
    t.W.resize(1000, 600);
    t.W.show();
    t.W.EventClick(july);
    SpinUntil([] { return false; }, 300);
    t.W.grab().save(QDir(dir).filePath(QStringLiteral("readout-summer.png")));
  }
}
