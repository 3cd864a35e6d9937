#include "FormLayout.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QVariantAnimation>

#include "EventTable.h"
#include "PaintBox.h"
#include "Plugins.h"

namespace vanta {

namespace {
constexpr qsizetype CFirstRows = 20000;  // rows a table shows at once
constexpr int CItemRole = Qt::UserRole + 7;  // marks file items of the tree

}  // namespace

QIcon ImageIcon(int image) {
  // 0: not (completely) on disk, 3: on disk, 4: a group, 5: a station or installation; below 0: none.
  if (image < 0) return {};
  static const QIcon missing = QApplication::style()->standardIcon(QStyle::SP_ArrowDown);
  static const QIcon onDisk = QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton);
  static const QIcon group = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  static const QIcon station = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
  return image == CImgOnDisk ? onDisk : image == CImgGroup ? group : image == 5 ? station : missing;
}

void TRecTreeViewItem::SetImage(int image) {
  Image = image;
  setIcon(0, ImageIcon(image));
}

// ---- the layout ------------------------------------------------------------------------------

TFormLayout::TFormLayout(QWidget* parent) : TFormBasic(parent) {
  FOnOfflineEinstellungen = {300, 300, 160, 140, 80, 80, 360};
  auto* outer = new QHBoxLayout(PanelBack);
  outer->setContentsMargins(4, 4, 4, 4);
  SplittOpti = new QSplitter(Qt::Horizontal, PanelBack);
  tbcSettings = new QTabWidget(SplittOpti);
  TreeViewOpti = new QTreeWidget(tbcSettings);
  TreeViewOpti->setHeaderHidden(true);
  TreeViewOpti->setContextMenuPolicy(Qt::NoContextMenu);
  tbcSettings->addTab(TreeViewOpti, QStringLiteral("Dateien"));
  auto* scale = new QLabel(QStringLiteral("Skalierung der Kurven: kommt mit der Zeitkurve."), tbcSettings);
  scale->setWordWrap(true);
  scale->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  tbcSettings->addTab(scale, QStringLiteral("Skalierung"));
  grdMarker = new QTableWidget(0, 4, tbcSettings);
  grdMarker->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Marker 1"), QStringLiteral("Marker 2"),
                                        QStringLiteral("M1-M2")});
  tbcSettings->addTab(grdMarker, QStringLiteral("Marker"));
  tvSelect = new QTreeWidget(SplittOpti);
  tvSelect->setHeaderHidden(true);
  tvSelect->hide();
  FRight = new QStackedWidget(SplittOpti);
  GridData = new QTableWidget(FRight);
  GridData->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridData->setContextMenuPolicy(Qt::ActionsContextMenu);
  GridData->verticalHeader()->setVisible(false);
  PanPaintBox = new QWidget(FRight);
  auto* chartBox = new QVBoxLayout(PanPaintBox);
  chartBox->setContentsMargins(0, 0, 0, 0);
  FCrvChart = new TPQPaintBoxCrvTime(PanPaintBox);
  FCrvChart->setObjectName(QStringLiteral("ScrollPaintBox"));
  FCrvChart->Model().SetStack(1);
  // Stored data may be zoomed and marked: the chart reports mouse releases.
  FCrvChart->FMouseNotify = [](TPQPaintBoxCrvTime*, QPoint, QPoint, Qt::MouseButton, Qt::KeyboardModifiers) {};
  FCrvChart->FOnMarkerNotify = [this](TPQPaintBoxCrvTime*, int mark, int64_t ts, const QStringList& names, const QList<float>& values) {
    MarkerNotify(mark, ts, names, values);
  };
  chartBox->addWidget(FCrvChart);
  FCrvChart->setContextMenuPolicy(Qt::ActionsContextMenu);
  actStackRec = new QAction(QStringLiteral("Stapeldarstellung"), this);
  connect(actStackRec, &QAction::triggered, this, [this] { FCrvChart->SetStack((FCrvChart->Model().Stack() + 1) % 3); });
  actCopyRecData = new QAction(QStringLiteral("Daten Kopieren"), this);
  connect(actCopyRecData, &QAction::triggered, this, [this] {
    QStringList lines;
    if (FCrvChart->CopyToClip(lines)) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  actCopyRecImage = new QAction(QStringLiteral("Bild Kopieren"), this);
  connect(actCopyRecImage, &QAction::triggered, this, [this] { CopyImgToClip(FCrvChart); });
  actPrintRecImage = new QAction(QStringLiteral("Bild Drucken"), this);
  connect(actPrintRecImage, &QAction::triggered, this, [this] { PrintImage(FCrvChart); });
  actShowTable = new QAction(QStringLiteral("Tabelle"), this);
  connect(actShowTable, &QAction::triggered, this, [this] { SwitchGridPB(true); });
  actShowCurves = new QAction(QStringLiteral("Kurven"), this);
  connect(actShowCurves, &QAction::triggered, this, [this] {
    if (FCrvChart->Model().GetCrvCnt() > 0) SwitchGridPB(false);
  });
  FCrvChart->addActions({actStackRec, actCopyRecData, actCopyRecImage, actPrintRecImage, actShowTable});
  FRight->addWidget(GridData);
  FRight->addWidget(PanPaintBox);
  SplittOpti->setStretchFactor(2, 1);
  outer->addWidget(SplittOpti);
  actCopyEvents = new QAction(QStringLiteral("Kopieren"), this);
  connect(actCopyEvents, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(EventTableText()); });
  GridData->addAction(actCopyEvents);
  GridData->addAction(actShowCurves);
  // Reports over the shown recording, through the report plugin.
  const std::pair<QAction**, std::pair<const char*, const char*>> reports[] = {
      {&actENReport, {"EN-Report", "en50160"}},
      {&actRCMReport, {"RCM Report", "rcm"}},
      {&actStatHarmU, {"Statistik Harmonische (Spannung)", "harmonics-u"}},
      {&actStatHarmI, {"Statistik Harmonische (Strom)", "harmonics-i"}},
      {&actStatInter, {"Statistik Interharmonische", "interharmonics"}},
      {&actStatZwischen, {"Statistik Zwischenharmonische", "intermediate"}},
      {&actStatBandsU, {"Statistik 2,0 - 9,0 kHz (Spannung)", "bands-u"}},
      {&actStatBandsI, {"Statistik 2,0 - 9,0 kHz (Strom)", "bands-i"}}};
  for (const auto& [field, texts] : reports) {
    *field = new QAction(QString::fromUtf8(texts.first), this);
    const QString kind = QString::fromLatin1(texts.second);
    connect(*field, &QAction::triggered, this, [this, kind] { actReportExecute(kind); });
    GridData->addAction(*field);
  }
  Enable10MinReports(false, false);
  tbcSettings->setCurrentIndex(0);
  ApplyLayout();
  // A group takes its children along; a leaf checks its group when all its
  // siblings are checked and unchecks it when it is unchecked.
  connect(tvSelect, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (FInSelect) return;
    FInSelect = true;
    const Qt::CheckState s = item->checkState(0);
    if (!item->parent()) {
      for (int i = 0; i < item->childCount(); ++i) item->child(i)->setCheckState(0, s);
    } else {
      QTreeWidgetItem* g = item->parent();
      bool all = true;
      for (int i = 0; i < g->childCount(); ++i) all &= g->child(i)->checkState(0) == Qt::Checked;
      if (s == Qt::Unchecked)
        g->setCheckState(0, Qt::Unchecked);
      else if (all)
        g->setCheckState(0, Qt::Checked);
    }
    FInSelect = false;
    PaintGraph();
  });
  // A double click on the splitter folds the side panel away and back, over 0.2 s.
  SplittOpti->handle(1)->installEventFilter(this);
}

bool TFormLayout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched == SplittOpti->handle(1)) {
    ToggleSidePanel();
    return true;
  }
  return TFormBasic::eventFilter(watched, event);
}

void TFormLayout::ToggleSidePanel() {
  const QList<int> sizes = SplittOpti->sizes();
  const int from = sizes.value(0);
  if (from > 0) FOnOfflineEinstellungen.LytWth = from;
  const int to = from > 0 ? 0 : (FOnOfflineEinstellungen.LytWth > 0 ? FOnOfflineEinstellungen.LytWth : 300);
  auto* anim = new QVariantAnimation(this);
  anim->setDuration(200);
  anim->setStartValue(from);
  anim->setEndValue(to);
  connect(anim, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
    QList<int> now = SplittOpti->sizes();
    const int total = now.value(0) + now.value(2);
    now[0] = v.toInt();
    now[2] = qMax(0, total - now[0]);
    SplittOpti->setSizes(now);
  });
  anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void TFormLayout::ApplyLayout() {
  const TFrmOnOfflineSettings& s = FOnOfflineEinstellungen;
  SplittOpti->setSizes({s.LytWth > 0 ? s.LytWth : 300, 0, 800});
}

void TFormLayout::closeEvent(QCloseEvent* event) {
  FOnOfflineEinstellungen.LytWth = SplittOpti->sizes().value(0, FOnOfflineEinstellungen.LytWth);
  // The event table's widths are kept; other tables size themselves.
  int32_t* cols[] = {&FOnOfflineEinstellungen.Ereignis, &FOnOfflineEinstellungen.Zeit, &FOnOfflineEinstellungen.Max,
                     &FOnOfflineEinstellungen.Einheit, &FOnOfflineEinstellungen.Harm, &FOnOfflineEinstellungen.Dauer};
  if (!FEvents.isEmpty() && GridData->columnCount() == 6)
    for (int i = 0; i < 6; ++i) *cols[i] = GridData->columnWidth(i);
  TFormBasic::closeEvent(event);
}

void TFormLayout::SwitchGridPB(bool table) { FRight->setCurrentIndex(table ? 0 : 1); }

void TFormLayout::PaintGraph() {
  // Colouring the tree's items changes them: that is no new choice.
  const bool wasInSelect = std::exchange(FInSelect, true);
  struct TRestore {
    bool& Flag;
    bool Old;
    ~TRestore() { Flag = Old; }
  } restore{FInSelect, wasInSelect};
  TCrvTimeModel& m = FCrvChart->Model();
  const QList<TRecordChannel>& channels = FShownHeader.Context.Channels;
  // The checked leaves, in tree order, each naming its channel.
  QList<int> shown;
  for (int g = 0; g < tvSelect->topLevelItemCount(); ++g)
    for (int i = 0; i < tvSelect->topLevelItem(g)->childCount(); ++i) {
      QTreeWidgetItem* leaf = tvSelect->topLevelItem(g)->child(i);
      const int channel = leaf->data(0, Qt::UserRole).toInt();
      if (leaf->checkState(0) == Qt::Checked && channel >= 0 && channel < channels.size()) shown << channel;
      leaf->setForeground(0, QBrush());
    }
  m.SetMaxRecs(std::max<int>(1, int(FRecDataLst.size())));
  m.SetCrvCnt(int(shown.size()));
  for (int k = 0; k < shown.size(); ++k) {
    const TRecordChannel& c = channels[shown[k]];
    m.SetBaseRec(k, TYBaseRec::BaseRect(c.Name, c.Name.section(QLatin1Char(' '), 0, 0), c.Unit));
    m.SetLnColor(k, ColArr[size_t(k) % ColArr.size()]);
  }
  if (shown.isEmpty()) {
    SwitchGridPB(true);
    return;
  }
  // Each painted quantity wears its colour in the tree.
  for (int g = 0, k = 0; g < tvSelect->topLevelItemCount(); ++g)
    for (int i = 0; i < tvSelect->topLevelItem(g)->childCount(); ++i) {
      QTreeWidgetItem* leaf = tvSelect->topLevelItem(g)->child(i);
      if (k < shown.size() && leaf->data(0, Qt::UserRole).toInt() == shown[k])
        leaf->setForeground(0, QColor::fromRgb(ColArr[size_t(k++) % ColArr.size()] | 0xFF000000u));
    }
  QList<float> values(shown.size());
  for (const TRecRow& row : FRecDataLst) {
    for (int k = 0; k < shown.size(); ++k) values[k] = row.Values.value(shown[k], std::nanf(""));
    m.NewValues(FShownTime.Linear(row.Time), values);
  }
  if (!FRecDataLst.isEmpty()) FCrvChart->FTSStart = FShownTime.ToLocal(FRecDataLst.first().Time);
  FCrvChart->FZoneText = FShownTime.ZoneText();
  m.AutoScaleAll();
  FCrvChart->ResetZoom();
  FCrvChart->FForceRepaint = true;
  FCrvChart->RequestRepaint();
  SwitchGridPB(false);
}

void TFormLayout::MarkerNotify(int mark, int64_t ts, const QStringList& names, const QList<float>& values) {
  if (grdMarker->rowCount() != names.size()) {
    grdMarker->setRowCount(int(names.size()));
    for (int r = 0; r < names.size(); ++r)
      for (int c = 0; c < 4; ++c) grdMarker->setItem(r, c, new QTableWidgetItem);
  }
  auto text = [](float v) { return QString::number(double(v), 'f', 3).remove(QRegularExpression(QStringLiteral("\\.?0+$"))); };
  for (int r = 0; r < names.size(); ++r) {
    grdMarker->item(r, 0)->setText(names[r]);
    grdMarker->item(r, mark == 0 ? 1 : 2)->setText(text(values.value(r)));
    bool ok1 = false, ok2 = false;
    const double m1 = grdMarker->item(r, 1)->text().toDouble(&ok1), m2 = grdMarker->item(r, 2)->text().toDouble(&ok2);
    grdMarker->item(r, 3)->setText(ok1 && ok2 ? text(float(m2 - m1)) : QString());
  }
  // The curves run in the shown file's local time; by its offset alone, the header says which.
  const QString zone = FShownTime.ZoneText();
  grdMarker->setHorizontalHeaderItem(
      mark == 0 ? 1 : 2, new QTableWidgetItem(TPQTimeProgs::VantaTS_to_StrNanoSec(ts) + (zone.isEmpty() ? QString() : QLatin1Char(' ') + zone)));
  tbcSettings->setCurrentWidget(grdMarker);
}

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

void TFormLayout::HideActions() {
  Enable10MinReports(false, false);
  for (QAction* a : {actCopyEvents, actStackRec, actCopyRecData, actCopyRecImage, actPrintRecImage, actShowCurves}) a->setEnabled(false);
}

void TFormLayout::Enable10MinReports(bool statistics, bool rcm) {
  for (QAction* a : {actENReport, actStatHarmU, actStatHarmI, actStatInter, actStatZwischen, actStatBandsU, actStatBandsI})
    a->setEnabled(statistics);
  actRCMReport->setEnabled(rcm);
}

// The report plugin is loaded by name for each report and unloaded after;
// without it nothing happens but a log line.
void TFormLayout::actReportExecute(const QString& kind) {
  QLibrary lib;
  QString why;
  using TVantaReport = int (*)(void*, const char*, const char*, char*, int);
  auto fn = LoadReportPlugin(lib, why) ? reinterpret_cast<TVantaReport>(lib.resolve("VantaReport")) : nullptr;
  if (!fn || FRepFN.isEmpty()) {
    LogPrepare(this, QStringLiteral("Report: %1").arg(fn ? QStringLiteral("keine Aufzeichnung") : why), false);
    return;
  }
  const QString tmp = FComUnit && !FComUnit->FTmpDir.isEmpty() ? FComUnit->FTmpDir : QDir::tempPath() + QLatin1Char('/');
  QDir().mkpath(tmp);
  const QString pdf = tmp + QFileInfo(FRepFN).completeBaseName() + QLatin1Char('-') + kind + QStringLiteral(".pdf");
  // The nominal voltage the recording was made with: secondary nominal times the transformer factor.
  TContextHeader context;
  QString headerError;
  double nominal = 230;
  if (ReadOfflineContextHeader(FRepFN, context, headerError) && context.Factors[0] > 0)
    nominal = double(context.Factors[0]) * (context.Factors[1] > 0 ? double(context.Factors[1]) : 1.0);
  // A job file of its own for each report: two windows never share one.
  QTemporaryFile f(tmp + QStringLiteral("report-XXXXXX.json"));
  if (!f.open() ||
      f.write(QJsonDocument(QJsonObject{{QStringLiteral("kind"), kind},
                                        {QStringLiteral("files"), QJsonArray{FRepFN}},
                                        {QStringLiteral("pdf"), pdf},
                                        {QStringLiteral("nominal"), nominal}})
                  .toJson()) < 0 ||
      !f.flush()) {
    LogPrepare(this, QStringLiteral("Report: %1 %2").arg(f.fileName(), f.errorString()), false);
    return;
  }
  const QString job = f.fileName();
  char out[1024] = {0};
  StartWork(QStringLiteral("Bericht"));
  const int rc = fn(this, job.toUtf8().constData(), tmp.toUtf8().constData(), out, int(sizeof out));
  EndWork();
  lib.unload();
  if (rc != 0) {
    DisplayMessage(QStringLiteral("Bericht nicht erstellt: ") + QString::fromUtf8(out), TMsgDlgType::mtError, nullptr, mbOK, mbOK);
    return;
  }
  LogPrepare(this, QStringLiteral("Report: %1").arg(pdf), false);
  FLastReport = pdf;
  FOpenUrl(QUrl::fromLocalFile(pdf));
}

QString TFormLayout::EventTableText() const {
  return EventTableClipboard(FEvents, FShownHeader, FShownTime, EventLookupFor(FShownHeader, MeasLookup()));
}

TDeviceTime TFormLayout::TimeRuleFor(const QString& path, const TSysEnvHeader& env) {
  if (FComUnit && FComUnit->FTimeSetKnown && env.Serial == FComUnit->FSN) return TDeviceTime::FromSettings(FComUnit->FtmeSet);
  QString problem;
  const TDeviceTime t = DeviceTimeForFile(path, env, &problem);
  if (!problem.isEmpty()) LogPrepare(this, problem, false);
  return t;
}

QString TFormLayout::ZoneSuffix() const {
  const QString zone = FShownTime.ZoneText();
  return zone.isEmpty() ? QString() : QStringLiteral(" (Zeiten in %1)").arg(zone);
}

// Names and units the file does not carry come from the host's measurement descriptions.
TMeasLookup TFormLayout::MeasLookup() const {
  if (!FOnGetMessPtr) return {};
  return [cb = FOnGetMessPtr](uint32_t id, TMeasInfo& info) {
    TMGVantaRec rec;
    if (!cb(id, rec)) return false;
    info = {rec.Short, rec.Unt};
    return true;
  };
}

void TFormLayout::showEvent(QShowEvent* event) {
  TFormBasic::showEvent(event);
  // The host hands its stored layout over after creation: apply it when shown.
  if (!std::exchange(FLayoutShown, true)) ApplyLayout();
}

// ---- the readout of a connected device ------------------------------------------------------

TFormOnline::TFormOnline(QWidget* parent) : TFormLayout(parent) {
  SetCapt(QStringLiteral("Datenauslese"));
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
  FRecTreeView = new QTreeWidgetItem(TreeViewOpti, {QStringLiteral("Rekorder Daten")});
  FEvtTreeView = new QTreeWidgetItem(TreeViewOpti, {QStringLiteral("PQ-Ereignisse")});
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
  StartWork(QStringLiteral("Anfordern"));
  if (FStreamRunning) StopStream();
  EvtUebClick();
  FInClick = false;
}

void TFormOnline::ClickRecOverview() {
  if (FInClick) return;
  FInClick = true;
  StartWork(QStringLiteral("Anfordern"));
  if (FStreamRunning) StopStream();
  RecUebClick();
  FInClick = false;
}

void TFormOnline::BuildTree(QTreeWidgetItem* root, const QList<TReadoutNode>& nodes, bool recording) {
  for (const TReadoutNode& n : nodes) {
    auto* item = new TRecTreeViewItem(root, {n.Text});
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
  LabSBar->setText(QStringLiteral("%1 Ereignisse").arg(tree.Roots.size()));
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
  LabSBar->setText(QStringLiteral("%1 Aufzeichnungen").arg(tree.Queue.size()));
}

void TFormOnline::EventClick(TRecTreeViewItem* item) {
  if (!item || FInClick) return;
  FInClick = true;
  StartWork(QStringLiteral("Anfordern"));
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
  StartWork(QStringLiteral("Anfordern"));
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
    const QString text = QStringLiteral("%1 wurde nicht gespeichert: %2").arg(path, reason);
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
    const QString text = QStringLiteral("Die ausgewählten Dateien brauchen %1, auf dem Datenträger sind nur %2 frei. "
                                        "Es wurde nichts heruntergeladen.")
                             .arg(SizeText(need), SizeText(uint64_t(free)));
    LogPrepare(this, QStringLiteral("Vanta: ") + text, true);
    if (FOnDownloadReport) FOnDownloadReport(text);
    DisplayMessage(text, TMsgDlgType::mtWarning, {}, mbOK, mbOK);
    return;
  }
  FComUnit->FFileFailed = [this](QObject*, const QString& path, const QString&, const QString& reason) {
    if (FChain) FChain->NoteFailure(path, reason);
    LogPrepare(this, QStringLiteral("Vanta: %1 nicht gespeichert: %2").arg(path, reason), true);
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
  StartWork(QStringLiteral("Herunterladen"));
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
  LabSBar->setText(QStringLiteral("Wird nach der laufenden Datei abgebrochen …"));
}

void TFormOnline::EndChain(bool lost) {
  if (!FChain) return;
  // What the chain did not get to is not on disk either: told by name.
  const QString why = lost ? CConnectionLostText : QStringLiteral("abgebrochen");
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
  const QString text = QStringLiteral("%1 von %2 Dateien wurden nicht gespeichert:\n%3")
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
    LogPrepare(this, QStringLiteral("Herunterladen abgebrochen: keine Verbindung"), false);
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
  StartWork(QStringLiteral("Löschen"));
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
  actDownLoadAllEvent = act(QStringLiteral("Alle Ereignisse herunterladen"), [this] { DownloadAll(true); });
  actDownloadSelectedEvt = act(QStringLiteral("Ausgewählte Ereignisse herunterladen"), [this] { DownloadSelected(true); });
  actDelEvent = act(QStringLiteral("Ereignis löschen"), [this] { DeleteItem(FTVIEvt); });
  actDelAllEvent = act(QStringLiteral("Alle Ereignisse löschen"), [this] { DeleteAll(true); });
  actDelSelectedEvt = act(QStringLiteral("Ausgewählte Ereignisse löschen"), [this] { DeleteSelected(true); });
  actShowEvtInExplorer = act(QStringLiteral("Im Explorer Anzeigen"), [this] { ShowInExplorer(FTVIEvt, false); });
  actDownloadAllRecorder = act(QStringLiteral("Alle Aufzeichnungen herunterladen"), [this] { DownloadAll(false); });
  actDownloadSelectedRec = act(QStringLiteral("Ausgewählte Aufzeichnungen herunterladen"), [this] { DownloadSelected(false); });
  actDownLoadClsRecorder = act(QStringLiteral("Klasse herunterladen"), [this] { DownloadClass(FTVIRec); });
  actDelRecorder = act(QStringLiteral("Aufzeichnung löschen"), [this] { DeleteItem(FTVIRec); });
  actDelAllRecorder = act(QStringLiteral("Alle Aufzeichnungen löschen"), [this] { DeleteAll(false); });
  ActDelSelectedRecorder = act(QStringLiteral("Ausgewählte Aufzeichnungen löschen"), [this] { DeleteSelected(false); });
  actDelAllClsRecorder = act(QStringLiteral("Klasse löschen"), [this] { DeleteClass(FTVIRec); });
  actShowRecInExplorer = act(QStringLiteral("Im Explorer Anzeigen"), [this] { ShowInExplorer(FTVIRec, true); });
  actMultiSelect = act(QStringLiteral("Multiselect"), [this] { SetMultiSelect(actMultiSelect->isChecked()); });
  actCancelDownload = act(QStringLiteral("Herunterladen abbrechen"), [this] { CancelDownload(); });
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
