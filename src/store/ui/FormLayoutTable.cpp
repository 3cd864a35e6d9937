// The analysis window's table: events, recordings and binary-input records
// of a file as rows, and the event table as the clipboard gets it.
#include "FormLayout.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <climits>
#include <utility>

#include "PaintBox.h"

#include "EventTable.h"

namespace vanta {

void TFormLayout::SetNewSizeToTVI(const QString& local) {
  if (!FSelectedRec) return;
  const qint64 size = QFileInfo(local).size();
  if (uint64_t(size) > FSelectedRec->FileSize) {
    FSelectedRec->FileSize = uint64_t(size);
    LogPrepare(this, QStringLiteral("New Filesize: %1 Recsize: %2 FN: %3").arg(size).arg(FPager ? FPager->Count() : 0).arg(local), false);
  }
}

void TFormLayout::EvtToTable(const QString& path) {
  EndWork();
  StopCurves();
  FPager.reset();
  FRecShown = false;
  Enable10MinReports(false, false);
  QString error, warning;
  TRecordHeader header;
  FEvents.clear();
  if (!ReadRecordHeader(path, header, error) || !AnalyseEventData(path, FEvents, error, &warning)) {
    LogPrepare(this, error, false);
    LabSBar->setText(error);
    return;
  }
  actCopyEvents->setEnabled(true);
  if (!warning.isEmpty()) LogPrepare(this, warning, false);
  FShownHeader = header;
  FShownTime = TimeRuleFor(path, header.Env);
  const TMeasLookup lookup = EventLookupFor(header, MeasLookup());
  GridData->clear();
  GridData->setColumnCount(6);
  GridData->setRowCount(int(FEvents.size()));
  GridData->setHorizontalHeaderLabels(EventTableHeaders());
  for (int r = 0; r < FEvents.size(); ++r)
    for (int c = 0; c < 6; ++c) GridData->setItem(r, c, new QTableWidgetItem(EventCellText(FEvents[r], c, header, FShownTime, lookup)));
  const TFrmOnOfflineSettings& s = FOnOfflineEinstellungen;
  const int widths[] = {s.Ereignis, s.Zeit, s.Max, s.Einheit, s.Harm, s.Dauer};
  for (int c = 0; c < 6; ++c) GridData->setColumnWidth(c, widths[c] > 0 ? widths[c] : 100);
  tvSelect->hide();
  SwitchGridPB(true);
  LabSBar->setText(tr("%1 Ereignis(se): %2").arg(FEvents.size()).arg(QFileInfo(path).fileName()) + ZoneSuffix());
}

void TFormLayout::RecToTable(const QString& path) {
  EndWork();
  StopCurves();
  QString error;
  FRecDataLst.clear();
  FEvents.clear();  // "Kopieren" belongs to event tables only
  // A recording of any size: the table reads the rows it shows, page by page.
  auto pager = std::make_shared<TRecordPager>();
  if (!pager->Open(path, error)) {
    LogPrepare(this, error, false);
    LabSBar->setText(error);
    return;
  }
  if (!pager->Warning().isEmpty()) LogPrepare(this, pager->Warning(), false);
  FPager = pager;
  FShownHeader = pager->Header();
  FShownTime = TimeRuleFor(path, FShownHeader.Env);
  // Markers belong to the file they were set in.
  FMarkerLst.clear();
  FMarkerTime = {};
  grdMarkerRefresh();
  for (QAction* a : {actStackRec, actCopyRecData, actCopyRecImage, actPrintRecImage, actShowCurves}) a->setEnabled(true);
  const TContextHeader& ctx = FShownHeader.Context;
  SetNewSizeToTVI(path);
  // Reports: the statistics for 10-minute recordings, RCM when residual currents are recorded.
  int rcmColumns = 0;
  for (const TRecordChannel& c : ctx.Channels)
    rcmColumns += (c.Unit == QLatin1String("iR") || c.Unit == QLatin1String("iRR")) ? 1 : 0;
  Enable10MinReports(ctx.Class.compare(QLatin1String("10min"), Qt::CaseInsensitive) == 0, rcmColumns >= 2);
  if (actENReport->isEnabled() || actRCMReport->isEnabled()) FRepFN = path.left(255);
  // Quantity groups by their group id, the curves below them.
  tvSelect->setUpdatesEnabled(false);
  tvSelect->clear();
  QHash<uint32_t, QTreeWidgetItem*> groups;
  for (const TRecordChannel& c : ctx.Channels) {
    QTreeWidgetItem*& g = groups[c.Group];
    if (!g) {
      g = new QTreeWidgetItem(tvSelect, {GroupCaption(c.Group, c, MeasLookup())});
      g->setFlags(g->flags() | Qt::ItemIsUserCheckable);
      g->setCheckState(0, Qt::Unchecked);
    }
    auto* leaf = new QTreeWidgetItem(g, {QStringLiteral("%1 [%2]").arg(c.Name, c.Unit)});
    leaf->setData(0, Qt::UserRole, int(&c - ctx.Channels.constData()));
    leaf->setFlags(leaf->flags() | Qt::ItemIsUserCheckable);
    leaf->setCheckState(0, Qt::Unchecked);
  }
  if (tvSelect->topLevelItemCount() > 0) tvSelect->topLevelItem(0)->setExpanded(true);
  tvSelect->setUpdatesEnabled(true);
  tvSelect->show();
  if (QList<int> sizes = SplittOpti->sizes(); sizes.value(1) == 0 && sizes.size() == 3) {
    sizes[1] = 220;  // the quantity tree gets room when it first appears
    sizes[2] = qMax(200, sizes[2] - 220);
    SplittOpti->setSizes(sizes);
  }
  auto* model = new TRecTableModel(
      pager, [t = FShownTime](const tmStamp_t& s) { return t.MilliText(s); }, GridRec, FRecWindow);
  QItemSelectionModel* oldSelection = GridRec->selectionModel();
  GridRec->setModel(model);
  delete oldSelection;
  delete std::exchange(FRecModel, model);
  UpdateRecScrollRange();
  ShowRecTop(0);
  // The widths come from the rows in view: the first page only.
  GridRec->resizeColumnsToContents();
  FRecShown = true;
  SwitchGridPB(true);
  const qint64 count = pager->Count();
  StartCurvePass(0, count);
  // Checking the first group draws its curves (and shows them).
  if (tvSelect->topLevelItemCount() > 0) tvSelect->topLevelItem(0)->setCheckState(0, Qt::Checked);
  LabSBar->setText(tr("%1: %2 Zeilen").arg(QFileInfo(path).fileName()).arg(count) + ZoneSuffix());
  if (!pager->Error().isEmpty()) LogPrepare(this, pager->Error(), false);
}

void TFormLayout::StartCurvePass(qint64 from, qint64 to) {
  StopCurves();
  const int generation = ++FCurveGeneration;
  const TRecordGeometry geo = FPager->Geometry();
  const int columns = std::max(CCurveColumns, FCrvChart->width());
  FCurveSpan = {from, to};
  FCurvesReady = false;
  if (to - from <= 2 * qint64(columns)) {
    // Few rows: the curves are the rows themselves, at once.
    QString error;
    if (!DecimateRecRows(geo, from, to, columns, FRecDataLst, error)) LogPrepare(this, error, false);
    FCurvesReady = true;
    return;
  }
  // Many rows: one pass over the file beside the window, the table is usable meanwhile.
  auto cancel = std::make_shared<std::atomic_bool>(false);
  FCurveCancel = cancel;
  FCurveThread = std::thread([this, geo, from, to, columns, cancel, generation] {
    auto rows = std::make_shared<QList<TRecRow>>();
    QString why;
    const bool ok = DecimateRecRows(geo, from, to, columns, *rows, why, cancel.get());
    if (cancel->load()) return;
    QMetaObject::invokeMethod(
        this,
        [this, rows, ok, why, generation] {
          if (generation != FCurveGeneration) return;
          FCurvesReady = true;
          if (!ok) {
            LogPrepare(this, why, false);
            LabSBar->setText(why);
            return;
          }
          FRecDataLst = std::move(*rows);
          // Curves already asked for are drawn now; the view the operator chose stays.
          const bool onTable = FRight->currentWidget() != PanPaintBox;
          PaintGraph();
          if (onTable) SwitchGridPB(true);
        },
        Qt::QueuedConnection);
  });
}

void TFormLayout::ZoomChanged() {
  if (!FPager || FCrvChart->Model().GetMessCnt() == 0) return;
  const TCrvTimeModel& m = FCrvChart->Model();
  const qint64 count = FPager->Count();
  const bool reset = m.ZoomIdx1() == 0 && m.ZoomIdx2() == m.GetMessCnt() - 1;
  if (reset) {
    // Back out of a zoom: the whole file again.
    if (FCurveSpan != std::pair<qint64, qint64>{0, count}) StartCurvePass(0, count);
    return;
  }
  // The shown span holds every row already: the chart zooms on its own.
  if (FCurveSpan.second - FCurveSpan.first <= FRecDataLst.size()) return;
  // A zoom into reduced curves: the span is read again, in finer columns.
  auto key = [this](const tmStamp_t& t) { return CurveKey(t); };
  const qint64 from = FPager->LowerBound(m.ZoomTS1(), key), to = FPager->LowerBound(m.ZoomTS2() + 1, key);
  if (to > from) StartCurvePass(from, to);
  if (!CurvesPending()) PaintGraph();
}

void TFormLayout::StopCurves() {
  if (FCurveCancel) FCurveCancel->store(true);
  if (FCurveThread.joinable()) FCurveThread.join();
  FCurveCancel.reset();
  ++FCurveGeneration;
}

std::pair<qint64, qint64> TFormLayout::CopyRange() const {
  if (!FPager) return {0, 0};
  const qint64 count = FPager->Count();
  auto key = [this](const tmStamp_t& t) { return CurveKey(t); };
  if (FMarkerTime.HasStart && FMarkerTime.HasEnd) {
    const int64_t a = std::min(FMarkerTime.StartTime, FMarkerTime.EndTime);
    const int64_t b = std::max(FMarkerTime.StartTime, FMarkerTime.EndTime);
    return {FPager->LowerBound(a, key), FPager->LowerBound(b + 1, key)};
  }
  if (FRight->currentWidget() == PanRec) {
    // The rows in view of the table.
    const qint64 first = FirstVisibleRecRow();
    qint64 last = LastVisibleRecRow();
    if (last < 0) last = count - 1;
    return {std::max<qint64>(0, first), std::min<qint64>(count, last + 1)};
  }
  // The span the chart shows.
  const TCrvTimeModel& m = FCrvChart->Model();
  if (m.GetMessCnt() == 0) return {0, count};
  return {FPager->LowerBound(m.ZoomTS1(), key), FPager->LowerBound(m.ZoomTS2() + 1, key)};
}

void TFormLayout::CopyRecData() {
  if (!FPager) return;
  const auto [from, to] = CopyRange();
  const TRecordGeometry& geo = FPager->Geometry();
  QStringList names;
  for (const TRecordChannel& c : FShownHeader.Context.Channels) names << QStringLiteral("%1 [%2]").arg(c.Name, c.Unit);
  auto timeText = [t = FShownTime](const tmStamp_t& s) { return t.MilliText(s); };
  QString error;
  if (to - from > FMaxClipRows) {
    // Too many for the clipboard: a file, where the operator wants it.
    const QString target = FAskCsvPath ? FAskCsvPath(to - from) : AskCsvTarget(to - from);
    if (target.isEmpty()) return;
    StartWork(QStringLiteral("CSV"));
    const bool ok = ExportRecRowsCsv(geo, from, to, names, timeText, target, error);
    EndWork();
    const QString said = ok ? tr("%1 Zeilen gespeichert: %2").arg(to - from).arg(target)
                            : tr("CSV nicht gespeichert: ") + error;
    LogPrepare(this, said, false);
    LabSBar->setText(said);
    return;
  }
  QList<TRecRow> rows;
  if (!ReadRecRows(geo, from, to - from, rows, error)) {
    LogPrepare(this, error, false);
    LabSBar->setText(error);
    return;
  }
  QStringList lines{QStringLiteral("Zeit\t") + names.join(QLatin1Char('\t'))};  // untranslated: a heading like the CSV file's
  for (const TRecRow& r : rows) {
    QString line = timeText(r.Time);
    for (float v : r.Values) line += QLatin1Char('\t') + TRecTableModel::ValueText(v);
    lines << line;
  }
  QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  LabSBar->setText(tr("%1 Zeilen kopiert").arg(rows.size()));
}

QString TFormLayout::AskCsvTarget(qint64 rows) {
  const auto answer = QMessageBox::question(
      this, windowTitle(),
      tr("%1 Zeilen sind zu viele für die Zwischenablage (höchstens %2). Als CSV-Datei speichern?").arg(rows).arg(FMaxClipRows));
  if (answer != QMessageBox::Yes) return {};
  const QString suggested = QFileInfo(FPager->Geometry().Path).completeBaseName() + QStringLiteral(".csv");
  return QFileDialog::getSaveFileName(this, tr("Daten als CSV speichern"), suggested, QStringLiteral("CSV (*.csv)"));
}

void TFormLayout::AsyncToTable(const QString& path) {
  EndWork();
  StopCurves();
  FPager.reset();
  FRecShown = false;
  QString error, warning;
  FAsync.clear();
  FEvents.clear();
  Enable10MinReports(false, false);  // reports are made of periodic recordings
  if (!AnalyseAsyncData(path, FAsync, error, &warning)) {
    LogPrepare(this, error, false);
    LabSBar->setText(error);
    return;
  }
  ReadRecordHeader(path, FShownHeader, error);
  FShownTime = TimeRuleFor(path, FShownHeader.Env);
  SetNewSizeToTVI(path);
  const int inputs = qMax(1, int(FShownHeader.Context.Channels.size()));
  GridData->clear();
  GridData->setColumnCount(inputs + 1);
  GridData->setRowCount(int(FAsync.size()));
  QStringList head{tr("Zeit")};
  for (int i = 0; i < inputs; ++i)
    head << (i < FShownHeader.Context.Channels.size() ? FShownHeader.Context.Channels[i].Name : tr("Eingang %1").arg(i + 1));
  GridData->setHorizontalHeaderLabels(head);
  for (int r = 0; r < FAsync.size(); ++r) {
    const TAsyncRecord& a = FAsync[r];
    GridData->setItem(r, 0, new QTableWidgetItem(FShownTime.MilliText(a.Time)));
    for (int i = 0; i < inputs; ++i) {
      auto* cell = new QTableWidgetItem(((a.State >> i) & 1) ? QStringLiteral("1") : QStringLiteral("0"));
      if ((a.Changed >> i) & 1) cell->setBackground(QColor(255, 220, 120));  // this input changed here
      GridData->setItem(r, i + 1, cell);
    }
  }
  tvSelect->hide();
  SwitchGridPB(true);
}

QString TFormLayout::EventTableText() const {
  return EventTableClipboard(FEvents, FShownHeader, FShownTime, EventLookupFor(FShownHeader, MeasLookup()));
}

// ---- the window of the table over the file ----------------------------------------------------

namespace {
// The window moves once the rows in view come within a quarter of its free
// rows of an edge it can move past: the operator scrolls on without meeting
// the window's end, and a move is rare (half a window of rows apart).
bool RecWindowNearEdge(qint64 top, qint64 offset, int window, int page, qint64 rows) {
  const qint64 margin = std::max<qint64>(1, (window - page) / 4);
  const bool low = offset > 0 && top < offset + margin;
  const bool high = offset + window < rows && top + page > offset + window - margin;
  return top < offset || top + page > offset + window || low || high;
}
}  // namespace

int TFormLayout::RecRowsInView() const {
  const int rowHeight = std::max(1, GridRec->verticalHeader()->defaultSectionSize());
  return std::max(1, GridRec->viewport()->height() / rowHeight);
}

void TFormLayout::UpdateRecScrollRange() {
  const qint64 rows = FRecModel ? FRecModel->FileRows() : 0;
  const int page = RecRowsInView();
  const bool was = std::exchange(FRecSyncing, true);
  ScrRec->setRange(0, int(std::clamp<qint64>(rows - page, 0, INT_MAX)));
  ScrRec->setPageStep(page);
  ScrRec->setSingleStep(1);
  FRecSyncing = was;
}

void TFormLayout::ShowRecTop(qint64 top) {
  if (!FRecModel) return;
  const qint64 rows = FRecModel->FileRows();
  const int page = RecRowsInView();
  top = std::clamp<qint64>(top, 0, std::max<qint64>(0, rows - page));
  const bool was = std::exchange(FRecSyncing, true);
  const int window = FRecModel->rowCount();
  qint64 offset = FRecModel->Offset();
  if (RecWindowNearEdge(top, offset, window, page, rows)) {
    // A reset forgets the current cell: it is put back when still held.
    const QModelIndex current = GridRec->currentIndex();
    const qint64 currentRow = current.isValid() ? offset + current.row() : -1;
    FRecModel->SetOffset(top - (window - page) / 2);
    offset = FRecModel->Offset();
    if (currentRow >= offset && currentRow < offset + FRecModel->rowCount())
      GridRec->selectionModel()->setCurrentIndex(FRecModel->index(int(currentRow - offset), current.column()),
                                                 QItemSelectionModel::NoUpdate);
  }
  GridRec->verticalScrollBar()->setValue(int(top - offset));
  ScrRec->setValue(int(top));
  FRecSyncing = was;
}

void TFormLayout::RecInnerScrolled(int value) {
  if (FRecSyncing || !FRecModel) return;
  const qint64 offset = FRecModel->Offset();
  const qint64 top = offset + value;
  FRecSyncing = true;
  ScrRec->setValue(int(top));
  FRecSyncing = false;
  if (FRecShiftQueued || !RecWindowNearEdge(top, offset, FRecModel->rowCount(), RecRowsInView(), FRecModel->FileRows()))
    return;
  // The view may be inside a key or a scroll of its own: the window moves after it.
  FRecShiftQueued = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        FRecShiftQueued = false;
        if (FRecModel) ShowRecTop(FRecModel->Offset() + GridRec->verticalScrollBar()->value());
      },
      Qt::QueuedConnection);
}

void TFormLayout::ScrollRecTo(qint64 row) {
  if (!FRecModel) return;
  const qint64 top = FRecModel->Offset() + GridRec->verticalScrollBar()->value();
  const int page = RecRowsInView();
  if (row < top)
    ShowRecTop(row);
  else if (row >= top + page)
    ShowRecTop(row - page + 1);
}

qint64 TFormLayout::FirstVisibleRecRow() const {
  if (!FRecModel) return -1;
  const int r = GridRec->rowAt(0);
  return r < 0 ? -1 : FRecModel->Offset() + r;
}

qint64 TFormLayout::LastVisibleRecRow() const {
  if (!FRecModel || FRecModel->rowCount() == 0) return -1;
  int r = GridRec->rowAt(GridRec->viewport()->height() - 1);
  if (r < 0) r = FRecModel->rowCount() - 1;
  return FRecModel->Offset() + r;
}

}  // namespace vanta
