// The offline window on a store in a temporary folder: scan, station tree,
// showing files, deleting by class, importing from a card, and the window in
// English.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <functional>

#include "FormOffline.h"
#include "Language.h"
#include "PaintBox.h"
#include <QStackedWidget>
#include "RecordFile.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::Shot;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;

namespace {
// A record file of station 12345678 (or of `sn` at `plant`, named `device`).
void Put(const QString& path, TRecordKind kind, const QString& cls, uint32_t start, int rows = 0, uint32_t sn = 12345678,
         const QString& plant = QStringLiteral("Umspannwerk Nord"), const QString& device = QStringLiteral("Vanta Sim")) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  TContextHeader ctx;
  ctx.Class = cls;
  ctx.Start = {start, 0};
  ctx.End = {start + 600, 0};
  ctx.Channels << TRecordChannel{1, 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L1")};
  TRecordWriter w(kind, {sn, 3600, false, plant, QStringLiteral("Feld 3"), device}, ctx);
  for (int i = 0; i < rows; ++i) w.Add(TRecRow{{start + uint32_t(i) * 600, 0}, {230.0f + float(i)}});
  if (kind == TRecordKind::rkEvent) w.Add(TEventRecord{1, {start, 0}, 71.2, 0, 0.1, QStringLiteral("L1")});
  QString error;
  ASSERT_TRUE(w.Save(path, error));
}
// A 1 s recording of U L1 (and I L1 when `current` is given), one row per second.
void PutSeries(const QString& path, int rows, const std::function<float(int)>& u,
               const std::function<float(int)>& current = {}) {
  TContextHeader ctx;
  ctx.Class = QStringLiteral("1s");
  ctx.Start = {1764892800, 0};
  ctx.Channels << TRecordChannel{1, 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L1")};
  if (current) ctx.Channels << TRecordChannel{2, 0x0200FFFF, QStringLiteral("A"), QStringLiteral("I L1")};
  TRecordWriter w(TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx);
  for (int i = 0; i < rows; ++i) {
    TRecRow r{{1764892800u + uint32_t(i), 0}, {u(i)}};
    if (current) r.Values << current(i);
    w.Add(r);
  }
  QString error;
  ASSERT_TRUE(w.Save(path, error)) << error.toStdString();
}
// The store scanned until `stations` are listed and the selected one is open.
bool Scanned(TFormOffline& w, const QString& store, uint32_t sn, int stations, int opened) {
  w.SetStore(store, sn);
  w.CheckData();
  return SpinUntil([&] { return !w.Busy() && w.Stations().size() == stations && w.Stations()[0]->childCount() == opened; }, 5000);
}
QTreeWidgetItem* Find(QTreeWidgetItem* root, const QString& text) {
  if (root->text(0).startsWith(text)) return root;
  for (int i = 0; i < root->childCount(); ++i)
    if (QTreeWidgetItem* f = Find(root->child(i), text)) return f;
  return nullptr;
}
}  // namespace

TEST(OfflineWindow, ScanOpenShowDeleteImport) {
  QTemporaryDir store, card;
  const QString st = store.path() + "/12345678";
  Put(st + "/Recorder/10min-12345678-1764892800-000.log", TRecordKind::rkRecording, "10min", 1764892800, 6);
  Put(st + "/Recorder/10min-12345678-1764896400-000.log", TRecordKind::rkRecording, "10min", 1764896400, 6);
  Put(st + "/Event/12345678-1764900000-000.log", TRecordKind::rkEvent, "", 1764900000);
  TFormOffline w;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Messdaten Auswertung Offline"));
  // Until a file is shown the right side says what it is for.
  EXPECT_EQ(w.FRight->currentWidget(), w.PanHint);
  // An empty store is said so when the scan ends.
  QTemporaryDir empty;
  w.SetStore(empty.path(), 0);
  w.CheckData();
  ASSERT_TRUE(SpinUntil([&] { return !w.Busy(); }, 5000));
  EXPECT_EQ(w.LabSBar->text(), QStringLiteral("Keine Stationen in %1").arg(empty.path()));
  // The selected station opens by itself once the scan is done; the status
  // line tells the count, not a work that ended.
  ASSERT_TRUE(Scanned(w, store.path(), 12345678, 1, 2));
  EXPECT_EQ(w.LabSBar->text(), QStringLiteral("1 Station"));
  QTreeWidgetItem* group = w.TreeViewOpti->topLevelItem(0);
  EXPECT_EQ(group->text(0), QStringLiteral("Umspannwerk Nord"));
  EXPECT_EQ(w.Stations()[0]->text(0), QStringLiteral("12345678: Vanta Sim"));
  QTreeWidgetItem* tenMin = Find(group, QStringLiteral("10min TRMS"));
  ASSERT_NE(tenMin, nullptr);
  ASSERT_EQ(tenMin->childCount(), 2);

  w.OfflineFileClick(tenMin->child(0));
  ASSERT_NE(w.FRecModel, nullptr);
  EXPECT_EQ(w.FRecModel->rowCount(), 6);
  QTreeWidgetItem* evt = Find(group, QStringLiteral("PQ-Ereignisse"))->child(0);
  w.OfflineFileClick(evt);
  EXPECT_EQ(w.GridData->rowCount(), 1);
  EXPECT_EQ(w.GridData->item(0, 5)->text(), QStringLiteral("0.1000"));

  // The actions follow the tag of the clicked item.
  w.OfflineRecMouseDown(w.Stations()[0], Qt::LeftButton);
  EXPECT_TRUE(w.actDelOfflineAllFiles->isEnabled());
  EXPECT_FALSE(w.actDelClass->isEnabled());
  w.OfflineRecMouseDown(tenMin->child(1), Qt::LeftButton);
  EXPECT_TRUE(w.actDelOfflineRekorder->isEnabled());
  EXPECT_TRUE(w.actDelClass->isEnabled());
  EXPECT_FALSE(w.actDelOfflineEvent->isEnabled());
  w.actDelClass->trigger();  // both 10min files
  ASSERT_TRUE(SpinUntil([&] { return !w.Busy() && w.Stations().size() == 1 && w.Stations()[0]->childCount() == 2; }, 5000));
  EXPECT_TRUE(QDir(st + "/Recorder").entryList(QDir::Files).isEmpty());
  EXPECT_EQ(QDir(st + "/Event").entryList(QDir::Files).size(), 1) << "the event stays";

  // A card with a recording of another station and a folder to skip.
  Put(card.path() + "/DCIM/10s-87654321-1764892800-000.log", TRecordKind::rkRecording, "10s", 1764892800, 2);
  Put(card.path() + "/scratchpad/87654321-1764892800-000.log", TRecordKind::rkEvent, "", 1764892800);
  w.ImportFrom(card.path());
  ASSERT_TRUE(SpinUntil([&] { return !w.Busy() && w.Stations().size() == 2; }, 5000));
  EXPECT_TRUE(w.Messages.contains(QStringLiteral("Es wurden 1 Dateien importiert")));
  EXPECT_TRUE(QFile::exists(store.path() + "/87654321/Recorder/10s-87654321-1764892800-000.log"));
  // The scans replaced the tree: find the items again.
  QTreeWidgetItem* events = Find(w.TreeViewOpti->topLevelItem(0), QStringLiteral("PQ-Ereignisse"));
  ASSERT_NE(events, nullptr);
  w.OfflineFileClick(events->child(0));
  Shot(w, QStringLiteral("offline.png"));
}

TEST(OfflineWindow, InstallationsAndStationsBySortedNameAndAGroupIsNoStation) {
  QTemporaryDir store;
  const auto station = [&](uint32_t sn, const QString& plant, const QString& device) {
    Put(QStringLiteral("%1/%2/Event/%2-1764900000-000.log").arg(store.path()).arg(sn), TRecordKind::rkEvent, "", 1764900000, 0, sn,
        plant, device);
  };
  station(30000001, QStringLiteral("Zeche West"), QStringLiteral("Trafo 10"));
  station(10000001, QStringLiteral("Zeche West"), QStringLiteral("Trafo 9"));
  station(20000001, QStringLiteral("Anlage Ost"), QStringLiteral("Einspeisung"));
  TFormOffline w;
  ASSERT_TRUE(Scanned(w, store.path(), 0, 3, 0));
  ASSERT_EQ(w.TreeViewOpti->topLevelItemCount(), 2);
  QTreeWidgetItem* first = w.TreeViewOpti->topLevelItem(0);
  QTreeWidgetItem* second = w.TreeViewOpti->topLevelItem(1);
  EXPECT_EQ(first->text(0), QStringLiteral("Anlage Ost"));
  EXPECT_EQ(second->text(0), QStringLiteral("Zeche West"));
  ASSERT_EQ(second->childCount(), 2);
  EXPECT_EQ(second->child(0)->text(0), QStringLiteral("10000001: Trafo 9")) << "9 before 10, as a person counts";
  EXPECT_EQ(second->child(1)->text(0), QStringLiteral("30000001: Trafo 10"));

  // A click on an installation offers no station delete and opens nothing.
  w.OfflineRecMouseDown(second, Qt::LeftButton);
  EXPECT_FALSE(w.actDelOfflineAllFiles->isEnabled());
  EXPECT_FALSE(w.actDelClass->isEnabled());
  w.OfflineFileClick(second);
  SpinFor(200);
  EXPECT_EQ(second->childCount(), 2) << "the group keeps its stations, nothing was opened in their place";
  EXPECT_EQ(QDir(store.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 3);
}

TEST(OfflineWindow, WorkDuringAScanWaitsAndTicksOnlySelect) {
  QTemporaryDir store;
  Put(store.path() + "/12345678/Event/12345678-1764900000-000.log", TRecordKind::rkEvent, "", 1764900000);
  TFormOffline w;
  w.SetStore(store.path(), 0);
  w.CheckData();
  // The store changes while the scan runs: the second scan waits, it is not dropped.
  Put(store.path() + "/87654321/Event/87654321-1764900000-000.log", TRecordKind::rkEvent, "", 1764900000);
  w.CheckData();
  EXPECT_TRUE(w.FRescanPending);
  ASSERT_TRUE(SpinUntil([&] { return !w.Busy() && w.Stations().size() == 2; }, 5000));
  EXPECT_EQ(w.Stations()[0]->childCount() + w.Stations()[1]->childCount(), 0) << "no station chosen: nothing opens";
  // On the empty tree area only export and import are offered.
  w.OfflineRecMouseDown(nullptr, Qt::LeftButton);
  EXPECT_TRUE(w.actImportFromSD->isEnabled());
  EXPECT_FALSE(w.actDelClass->isEnabled());
  EXPECT_FALSE(w.actDelOfflineAllFiles->isEnabled());

  QTreeWidgetItem* station = w.Stations()[0];
  w.OpenStation(station);
  ASSERT_TRUE(SpinUntil([&] { return !w.Busy() && station->childCount() > 0; }, 5000));
  QTreeWidgetItem* file = Find(station, QStringLiteral("PQ-Ereignisse"))->child(0);
  ASSERT_NE(file, nullptr);
  file->setCheckState(0, Qt::Checked);
  emit w.TreeViewOpti->itemClicked(file, 0);
  EXPECT_EQ(w.GridData->rowCount(), 0) << "a tick selects, it does not open the file";
  emit w.TreeViewOpti->itemClicked(file, 0);
  EXPECT_EQ(w.GridData->rowCount(), 1);
}

TEST(OfflineWindow, RecordingAsCurvesWithMarkers) {
  QTemporaryDir store;
  const QString path = store.path() + "/12345678/Recorder/10min-12345678-1764892800-000.log";
  Put(path, TRecordKind::rkRecording, "10min", 1764892800, 12);
  TFormOffline w;
  w.resize(900, 600);
  ASSERT_TRUE(Scanned(w, store.path(), 12345678, 1, 2));
  QTreeWidgetItem* file = Find(w.TreeViewOpti->topLevelItem(0), QStringLiteral("10min TRMS"))->child(0);
  w.OfflineFileClick(file);
  // The first quantity group is checked: its curve is drawn and shown.
  TCrvTimeModel& m = w.FCrvChart->Model();
  ASSERT_EQ(m.GetCrvCnt(), 1);
  EXPECT_EQ(m.GetMessCnt(), 12);
  EXPECT_EQ(m.GetBaseRec(0).FUnt, QStringLiteral("V"));
  EXPECT_EQ(w.FRight->currentWidget(), w.PanPaintBox);
  EXPECT_LE(m.Curve(0).FSclMin, 230.0);
  EXPECT_GE(m.Curve(0).FSclMax, 241.0) << "230 + 11 V over the rows";
  // The markers' values go into the marker table, with their difference M1 - M2.
  const QStringList names{QStringLiteral("U L1 [V]")};
  const int64_t t1 = 1764892800LL * 1000000000LL;
  w.MarkerNotify(0, t1, names, {230.0f});
  EXPECT_TRUE(w.grdMarker->item(0, 3)->text().isEmpty()) << "one marker: no difference yet";
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(3)->text(), QStringLiteral("M1-M2")) << "one marker: no span yet";
  w.MarkerNotify(1, t1 + 90LL * 1000000000LL, names, {235.5f});
  EXPECT_EQ(w.grdMarker->item(0, 1)->text(), QStringLiteral("230"));
  EXPECT_EQ(w.grdMarker->item(0, 2)->text(), QStringLiteral("235.5"));
  EXPECT_EQ(w.grdMarker->item(0, 3)->text(), QStringLiteral("-5.5")) << "M1 - M2";
  // The difference column's header is the time between the markers.
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(3)->text(), NanoSecToDuration(90ull * 1000000000ull));
  const QString head1 = w.grdMarker->horizontalHeaderItem(1)->text(), head2 = w.grdMarker->horizontalHeaderItem(2)->text();
  EXPECT_TRUE(head1.startsWith(TPQTimeProgs::VantaTS_to_StrNanoSec(t1))) << head1.toStdString();
  EXPECT_TRUE(head2.startsWith(TPQTimeProgs::VantaTS_to_StrNanoSec(t1 + 90LL * 1000000000LL))) << head2.toStdString();
  // The marker times are kept: zooming the chart and redrawing the table leave them.
  EXPECT_EQ(w.FMarkerTime.StartTime, t1);
  EXPECT_EQ(w.FMarkerTime.EndTime, t1 + 90LL * 1000000000LL);
  w.FCrvChart->ResetZoom();
  w.grdMarkerRefresh();
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(1)->text(), head1);
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(2)->text(), head2);
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(3)->text(), NanoSecToDuration(90ull * 1000000000ull));
  // Moving marker 1 keeps marker 2's time; the span follows. The difference
  // comes from the values, not from their three-decimal text.
  w.MarkerNotify(0, t1 + 30LL * 1000000000LL, names, {236.0004f});
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(2)->text(), head2);
  EXPECT_EQ(w.grdMarker->horizontalHeaderItem(3)->text(), NanoSecToDuration(60ull * 1000000000ull));
  EXPECT_EQ(w.grdMarker->item(0, 1)->text(), QStringLiteral("236"));
  EXPECT_NEAR(w.FMarkerLst[0].Dif, 236.0004f - 235.5f, 1e-4);
  w.MarkerNotify(1, t1 + 90LL * 1000000000LL, names, {0.0006f});
  w.MarkerNotify(0, t1, names, {1.0004f});
  EXPECT_EQ(w.grdMarker->item(0, 2)->text(), QStringLiteral("0.001"));
  EXPECT_EQ(w.grdMarker->item(0, 3)->text(), QStringLiteral("1")) << "1.0004 - 0.0006, not 1 - 0.001";
  Shot(w, QStringLiteral("offline-curves.png"));
  // Nothing checked: the table again.
  w.tvSelect->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(m.GetCrvCnt(), 0);
  EXPECT_EQ(w.FRight->currentWidget(), w.PanRec);
}

// A recording far longer than a screen: the table reaches its last row, the
// curves cover the whole file, markers read the rows as recorded and the
// copy takes what lies between them.
TEST(AnalysisWindow, WholeRecordingTableCurvesMarkersAndCopy) {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/1s-12345678-1764892800-000.log");
  const uint32_t start = 1764892800;
  const int rows = 30000, spike = 20000;
  auto u = [](int i) { return 230.0f + 0.25f * float(i % 40); };
  ASSERT_NO_FATAL_FAILURE(PutSeries(path, rows, [&](int i) { return i == spike ? 999.0f : u(i); }, [](int i) { return float(i % 9); }));
  TFormLayout w;
  w.resize(1000, 600);
  w.show();
  w.RecToTable(path);
  ASSERT_NE(w.FRecModel, nullptr);
  EXPECT_EQ(w.FRecModel->FileRows(), rows) << "every row of the file, not a first part";
  EXPECT_TRUE(w.LabSBar->text().contains(QStringLiteral("30000 Zeilen"))) << w.LabSBar->text().toStdString();
  // The table at its end.
  w.SwitchGridPB(true);
  w.ScrollRecTo(rows - 1);
  QApplication::processEvents();
  EXPECT_EQ(w.LastVisibleRecRow(), rows - 1);
  EXPECT_EQ(w.FRecModel->index(int(rows - 1 - w.FRecModel->Offset()), 1).data().toString(),
            QString::number(double(u(rows - 1)), 'g', 7));
  EXPECT_LE(w.FRecModel->Pager().PagesHeld(), TRecordPager::CPages);
  // The curves fill in once the file has been gone through: the one-row spike is in range.
  ASSERT_TRUE(SpinUntil([&] { return !w.CurvesPending(); }, 20000));
  const TCrvTimeModel& m = w.FCrvChart->Model();
  ASSERT_EQ(m.GetCrvCnt(), 1);
  EXPECT_GT(m.GetMessCnt(), 0);
  EXPECT_LE(m.GetMessCnt(), 2 * std::max(TFormLayout::CCurveColumns, w.FCrvChart->width()));
  EXPECT_GE(m.Curve(0).FSclMax, 999.0) << "the reduction keeps the spike of one row";
  // Eight hours on a narrow chart: the time labels stand apart.
  (void)w.FCrvChart->grab();
  const QList<QRectF> labels = w.FCrvChart->TimeLabels();
  EXPECT_GE(labels.size(), 2);
  for (qsizetype i = 1; i < labels.size(); ++i) EXPECT_FALSE(labels[i].intersects(labels[i - 1])) << "label " << i;
  // A zoom into the reduced curves reads that span again, row by row; a zoom back out shows the whole file.
  {
    TCrvTimeModel& zm = w.FCrvChart->Model();
    const int whole = zm.GetMessCnt();
    const double left = w.FCrvChart->CurveRect().left(), width = w.FCrvChart->CurveRect().width();
    ASSERT_TRUE(zm.ZoomDrag(left + width * 0.50, left + width * 0.58, width * 0.08));
    w.ZoomChanged();
    ASSERT_TRUE(SpinUntil([&] { return !w.CurvesPending(); }, 20000));
    EXPECT_EQ(w.FCurveSpan.second - w.FCurveSpan.first, zm.GetMessCnt()) << "every row of the span, no column extremes";
    EXPECT_LT(zm.GetMessCnt(), whole);
    zm.ResetZoom();
    w.ZoomChanged();
    ASSERT_TRUE(SpinUntil([&] { return !w.CurvesPending(); }, 20000));
    EXPECT_EQ(w.FCurveSpan, (std::pair<qint64, qint64>{0, rows}));
    EXPECT_EQ(zm.GetMessCnt(), whole);
  }
  // Markers anywhere: the values are the file's, not a column's extreme.
  const QStringList names{QStringLiteral("U L1 [V]")};
  const int64_t atSpike = w.CurveKey({start + spike, 0});
  w.MarkerNotify(0, atSpike, names, {0.0f});
  w.MarkerNotify(1, w.CurveKey({start + spike + 10, 0}), names, {0.0f});
  EXPECT_EQ(w.grdMarker->item(0, 1)->text(), QStringLiteral("999"));
  EXPECT_EQ(w.grdMarker->item(0, 2)->text(), QStringLiteral("232.5")) << "230 + 0.25 × (20010 mod 40)";
  // "Daten Kopieren": the rows from marker to marker.
  const auto [from, to] = w.CopyRange();
  EXPECT_EQ(from, spike);
  EXPECT_EQ(to, spike + 11);
  QApplication::clipboard()->clear();
  w.actCopyRecData->trigger();
  const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 12);
  EXPECT_EQ(lines[0], QStringLiteral("Zeit\tU L1 [V]\tI L1 [A]"));
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\t999\t") + QString::number(spike % 9))) << lines[1].toStdString();
  // More than the clipboard takes: a CSV file where the operator says.
  w.FMaxClipRows = 5;
  qint64 asked = 0;
  const QString csv = dir.path() + QStringLiteral("/span.csv");
  w.FAskCsvPath = [&](qint64 n) {
    asked = n;
    return csv;
  };
  w.actCopyRecData->trigger();
  EXPECT_EQ(asked, 11);
  QFile f(csv);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll().count('\n'), 12);
  w.SwitchGridPB(true);
  w.ScrollRecTo(rows - 1);
  Shot(w, QStringLiteral("analysis-whole-recording-end.png"));
  w.SwitchGridPB(false);
  Shot(w, QStringLiteral("analysis-whole-recording-curves.png"));
}

// A recording far longer than the table's window: the table holds a window
// of rows (its header never counts more), and the bar beside it, the keys and
// ScrollRecTo still reach every row of the file.
TEST(AnalysisWindow, TableHoldsAWindowOfALongRecordingAndReachesEveryRow) {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/1s-12345678-1764892800-000.log");
  const int rows = 100000, window = 20000;
  ASSERT_NO_FATAL_FAILURE(PutSeries(path, rows, [](int i) { return float(i); }));
  TFormLayout w;
  w.FRecWindow = window;
  w.resize(1000, 600);
  w.show();
  w.RecToTable(path);
  ASSERT_NE(w.FRecModel, nullptr);
  // As in the offline window: no connection to wait for, the table takes keys.
  w.PanelBack->setEnabled(true);
  w.SwitchGridPB(true);
  QApplication::processEvents();
  EXPECT_EQ(w.FRecModel->FileRows(), rows);
  EXPECT_EQ(w.FRecModel->rowCount(), window);
  QHeaderView* header = w.GridRec->verticalHeader();
  EXPECT_LE(header->count(), window);
  EXPECT_EQ(w.FirstVisibleRecRow(), 0);
  // The file row shown where the table says: the window's offset is added.
  auto shown = [&](qint64 fileRow) {
    return w.FRecModel->index(int(fileRow - w.FRecModel->Offset()), 1).data().toString();
  };
  w.ScrollRecTo(rows - 1);
  QApplication::processEvents();
  EXPECT_EQ(w.LastVisibleRecRow(), rows - 1);
  EXPECT_EQ(shown(rows - 1), QStringLiteral("99999"));
  EXPECT_EQ(w.FRecModel->headerData(int(rows - 1 - w.FRecModel->Offset()), Qt::Vertical).toInt(), rows);
  EXPECT_EQ(w.ScrRec->value(), w.ScrRec->maximum());
  EXPECT_LE(header->count(), window);
  // Ctrl+Home and Ctrl+End go to the ends of the file.
  QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
  QApplication::sendEvent(w.GridRec, &home);
  QApplication::processEvents();
  EXPECT_EQ(w.FirstVisibleRecRow(), 0);
  EXPECT_EQ(w.FRecModel->Offset(), 0);
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(w.GridRec, &end);
  QApplication::processEvents();
  EXPECT_EQ(w.LastVisibleRecRow(), rows - 1);
  EXPECT_EQ(w.FRecModel->Offset() + w.GridRec->currentIndex().row(), rows - 1);
  // The outer bar spans the file: its ends and its middle.
  w.ScrRec->setValue(0);
  QApplication::processEvents();
  EXPECT_EQ(w.FirstVisibleRecRow(), 0);
  w.ScrRec->setValue(w.ScrRec->maximum());
  QApplication::processEvents();
  EXPECT_EQ(w.LastVisibleRecRow(), rows - 1);
  w.ScrRec->setValue(50000);
  QApplication::processEvents();
  EXPECT_EQ(w.FirstVisibleRecRow(), 50000);
  EXPECT_EQ(shown(50000), QStringLiteral("50000"));
  // Scrolling the table itself to its window's last rows moves the window;
  // the rows in view stay in view (at the window's very end the top row is
  // cut, afterwards the next one is the first whole row).
  QScrollBar* inner = w.GridRec->verticalScrollBar();
  const qint64 offsetBefore = w.FRecModel->Offset();
  inner->setValue(inner->maximum());
  const qint64 top = w.ScrRec->value();
  EXPECT_EQ(top, offsetBefore + inner->maximum()) << "the outer bar follows the table";
  const qint64 firstBefore = w.FirstVisibleRecRow();
  EXPECT_GE(firstBefore, top - 1);
  EXPECT_LE(firstBefore, top);
  QApplication::processEvents();
  EXPECT_GT(w.FRecModel->Offset(), offsetBefore);
  EXPECT_EQ(w.FirstVisibleRecRow(), top);
  EXPECT_EQ(w.ScrRec->value(), top);
  EXPECT_LE(header->count(), window);
  // Page Down goes on past where the first window ended.
  for (int i = 0; i < 20; ++i) {
    QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(w.GridRec, &down);
    QApplication::processEvents();
  }
  EXPECT_GT(w.FirstVisibleRecRow(), top);
  EXPECT_EQ(shown(w.FirstVisibleRecRow()), QString::number(w.FirstVisibleRecRow()));
  EXPECT_LE(header->count(), window);
}

// A new file while the last one is still being gone through: the old pass
// stops and never draws into the new file's curves; closing waits for it.
TEST(AnalysisWindow, ANewFileOrClosingStopsTheCurvePassOfTheLastOne) {
  QTemporaryDir dir;
  const QString big = dir.path() + QStringLiteral("/big.log");
  const QString small = dir.path() + QStringLiteral("/small.log");
  ASSERT_NO_FATAL_FAILURE(PutSeries(big, 200000, [](int) { return 500.0f; }));
  ASSERT_NO_FATAL_FAILURE(PutSeries(small, 10, [](int) { return 100.0f; }));
  {
    auto w = std::make_unique<TFormLayout>();
    w->RecToTable(big);
    EXPECT_TRUE(w->CurvesPending());
    w->RecToTable(small);
    EXPECT_FALSE(w->CurvesPending()) << "a short file is drawn at once";
    SpinFor(300);
    EXPECT_EQ(w->FCrvChart->Model().GetMessCnt(), 10) << "the big file's curves never arrive here";
    EXPECT_LE(w->FCrvChart->Model().Curve(0).FSclMax, 200.0);
    w->RecToTable(big);
  }  // destroyed while its pass runs: no report reaches a window that is gone
  SpinFor(200);
}

// ---- language ------------------------------------------------------------------------

// The store's group names are German in the tree the store builds; the
// window shows them in English, the names of plants, stations and files as
// they are, and its menu, status line and table headings in English.
TEST(OfflineWindowLanguage, EnglishGroupsMenuAndStatusKeepTheStoredNames) {
  vanta::test::TGermanAfterwards german;
  ASSERT_TRUE(InstallLanguage(QStringLiteral("en")));
  QTemporaryDir store;
  const QString st = store.path() + "/12345678";
  Put(st + "/Recorder/10min-12345678-1764892800-000.log", TRecordKind::rkRecording, "10min", 1764892800, 6);
  Put(st + "/Recorder/Osc-12345678-1764892800-000.log", TRecordKind::rkOsc, "Osc", 1764892800);
  Put(st + "/Event/12345678-1764900000-000.log", TRecordKind::rkEvent, "", 1764900000);
  TFormOffline w;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Offline measured data analysis"));
  EXPECT_EQ(w.actDelClass->text(), QStringLiteral("Delete all files of this class"));
  EXPECT_EQ(w.actImportFromSD->text(), QStringLiteral("Import files"));
  EXPECT_EQ(w.actStatHarmU->text(), QStringLiteral("Harmonics statistics (voltage)"));
  ASSERT_TRUE(Scanned(w, store.path(), 12345678, 1, 2));
  QTreeWidgetItem* plant = w.TreeViewOpti->topLevelItem(0);
  EXPECT_EQ(plant->text(0), QStringLiteral("Umspannwerk Nord"));
  EXPECT_EQ(w.Stations()[0]->text(0), QStringLiteral("12345678: Vanta Sim"));
  EXPECT_EQ(w.Stations()[0]->child(0)->text(0), QStringLiteral("Recorder data"));
  EXPECT_EQ(w.Stations()[0]->child(1)->text(0), QStringLiteral("PQ events"));
  QTreeWidgetItem* disturbance = Find(plant, QStringLiteral("Disturbance recorder"));
  ASSERT_NE(disturbance, nullptr);
  QTreeWidgetItem* osc = Find(disturbance, QStringLiteral("Oscilloscope recorder"));
  ASSERT_NE(osc, nullptr);
  ASSERT_EQ(osc->childCount(), 1);
  EXPECT_TRUE(osc->child(0)->text(0).startsWith(QStringLiteral("Osc "))) << osc->child(0)->text(0).toStdString();
  EXPECT_EQ(Find(plant, QStringLiteral("Rekorder Daten")), nullptr);
  EXPECT_EQ(Find(plant, QStringLiteral("PQ-Ereignisse")), nullptr);
  // A class name the catalogue does not know stays as it is.
  ASSERT_NE(Find(plant, QStringLiteral("10min TRMS")), nullptr);

  w.OfflineFileClick(Find(plant, QStringLiteral("10min TRMS"))->child(0));
  ASSERT_NE(w.FRecModel, nullptr);
  EXPECT_EQ(w.FRecModel->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Time"));
  EXPECT_TRUE(w.LabSBar->text().contains(QStringLiteral(": 6 rows"))) << w.LabSBar->text().toStdString();
}
