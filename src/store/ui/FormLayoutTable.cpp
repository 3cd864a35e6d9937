// The analysis window's table: events, recordings and binary-input records
// of a file as rows, and the event table as the clipboard gets it.
#include "FormLayout.h"

#include <QAction>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <utility>

#include "EventTable.h"

namespace vanta {

namespace {
constexpr qsizetype CFirstRows = 20000;  // rows a table shows at once
}  // namespace

void TFormLayout::SetNewSizeToTVI(const QString& local) {
  if (!FSelectedRec) return;
  const qint64 size = QFileInfo(local).size();
  if (uint64_t(size) > FSelectedRec->FileSize) {
    FSelectedRec->FileSize = uint64_t(size);
    LogPrepare(this, QStringLiteral("New Filesize: %1 Recsize: %2 FN: %3").arg(size).arg(FRecDataLst.size()).arg(local), false);
  }
}

void TFormLayout::EvtToTable(const QString& path) {
  EndWork();
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
  LabSBar->setText(QStringLiteral("%1 Ereignis(se): %2").arg(FEvents.size()).arg(QFileInfo(path).fileName()) + ZoneSuffix());
}

void TFormLayout::RecToTable(const QString& path) {
  EndWork();
  QString error;
  FRecDataLst.clear();
  FEvents.clear();  // "Kopieren" belongs to event tables only
  // A large recording shows its first rows without being read whole.
  TRecordFile file;
  bool more = false;
  if (!ReadRecordStart(path, CFirstRows, file, more, error) || file.Header.Kind != TRecordKind::rkRecording) {
    if (error.isEmpty()) error = QStringLiteral("%1: keine Aufzeichnung").arg(path);
    LogPrepare(this, error, false);
    LabSBar->setText(error);
    return;
  }
  if (!file.Warning.isEmpty()) LogPrepare(this, file.Warning, false);
  FShownHeader = file.Header;
  FShownTime = TimeRuleFor(path, file.Header.Env);
  for (QAction* a : {actStackRec, actCopyRecData, actCopyRecImage, actPrintRecImage, actShowCurves}) a->setEnabled(true);
  const TContextHeader& ctx = file.Header.Context;
  FRecDataLst = std::move(file.Rows);
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
      g = new QTreeWidgetItem(tvSelect, {c.Name.section(QLatin1Char(' '), 0, 0)});
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
  GridData->clear();
  GridData->setColumnCount(int(ctx.Channels.size()) + 1);
  GridData->setRowCount(int(FRecDataLst.size()));
  QStringList head{QStringLiteral("Zeit")};
  for (const TRecordChannel& c : ctx.Channels) head << QStringLiteral("%1 [%2]").arg(c.Name, c.Unit);
  GridData->setHorizontalHeaderLabels(head);
  for (int r = 0; r < FRecDataLst.size(); ++r) {
    const TRecRow& row = FRecDataLst[r];
    GridData->setItem(r, 0, new QTableWidgetItem(FShownTime.MilliText(row.Time)));
    for (int c = 0; c < row.Values.size(); ++c)
      GridData->setItem(r, c + 1, new QTableWidgetItem(QString::number(double(row.Values[c]), 'g', 7)));
  }
  GridData->resizeColumnsToContents();
  SwitchGridPB(true);
  // Checking the first group draws its curves (and shows them).
  if (tvSelect->topLevelItemCount() > 0) tvSelect->topLevelItem(0)->setCheckState(0, Qt::Checked);
  LabSBar->setText((more ? QStringLiteral("%1: die ersten %2 Zeilen").arg(QFileInfo(path).fileName()).arg(FRecDataLst.size())
                         : QStringLiteral("%1: %2 Zeilen").arg(QFileInfo(path).fileName()).arg(FRecDataLst.size())) +
                   ZoneSuffix());
}

void TFormLayout::AsyncToTable(const QString& path) {
  EndWork();
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
  QStringList head{QStringLiteral("Zeit")};
  for (int i = 0; i < inputs; ++i)
    head << (i < FShownHeader.Context.Channels.size() ? FShownHeader.Context.Channels[i].Name : QStringLiteral("Eingang %1").arg(i + 1));
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

}  // namespace vanta
