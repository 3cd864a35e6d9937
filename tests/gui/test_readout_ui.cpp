// The readout window against the simulator: the device's lists as trees,
// the queued download, event and recording tables, deletes.
#include <gtest/gtest.h>

#include <QDir>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "FormLayout.h"
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
  EXPECT_EQ(t.W.GridData->rowCount(), 120);
  EXPECT_EQ(t.W.GridData->horizontalHeaderItem(t.W.GridData->columnCount() - 1)->text(), QStringLiteral("Differenzstrom Bezug [iRR]"));
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
