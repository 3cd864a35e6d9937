// The analysis window: its construction and side panel, the reports over the
// shown recording and the local-time rule of a shown file.
#include "FormLayout.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLibrary>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <utility>

#include "PaintBox.h"
#include "Plugins.h"

namespace vanta {

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
  tbcSettings->addTab(TreeViewOpti, tr("Dateien"));
  tbcSettings->addTab(BuildScalePage(), tr("Skalierung"));
  grdMarker = new QTableWidget(0, 4, tbcSettings);
  grdMarker->setHorizontalHeaderLabels({tr("Name"), tr("Marker 1"), tr("Marker 2"),
                                        QStringLiteral("M1-M2")});
  tbcSettings->addTab(grdMarker, tr("Marker"));
  tvSelect = new QTreeWidget(SplittOpti);
  tvSelect->setHeaderHidden(true);
  tvSelect->hide();
  FRight = new QStackedWidget(SplittOpti);
  GridData = new QTableWidget(FRight);
  GridData->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridData->setContextMenuPolicy(Qt::ActionsContextMenu);
  GridData->verticalHeader()->setVisible(false);
  PanRec = new QWidget(FRight);
  GridRec = new QTableView(PanRec);
  GridRec->setObjectName(QStringLiteral("GridRec"));
  GridRec->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridRec->setContextMenuPolicy(Qt::ActionsContextMenu);
  GridRec->verticalHeader()->setVisible(false);
  // Every row is one line high: the view never measures a million rows.
  GridRec->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  GridRec->verticalHeader()->setDefaultSectionSize(GridRec->fontMetrics().height() + 6);
  GridRec->setWordWrap(false);
  // Column widths from about a screen of rows: Qt would otherwise measure a
  // thousand rows of every column, most of the time it takes to show a file.
  GridRec->horizontalHeader()->setResizeContentsPrecision(64);
  // The view scrolls by rows within its window; the outer bar spans the file.
  GridRec->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  GridRec->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ScrRec = new QScrollBar(Qt::Vertical, PanRec);
  ScrRec->setObjectName(QStringLiteral("ScrRec"));
  ScrRec->setRange(0, 0);
  auto* recBox = new QHBoxLayout(PanRec);
  recBox->setContentsMargins(0, 0, 0, 0);
  recBox->setSpacing(0);
  recBox->addWidget(GridRec, 1);
  recBox->addWidget(ScrRec);
  connect(ScrRec, &QScrollBar::valueChanged, this, [this](int v) {
    if (!FRecSyncing) ShowRecTop(v);
  });
  connect(GridRec->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) { RecInnerScrolled(v); });
  connect(GridRec->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { UpdateRecScrollRange(); });
  GridRec->installEventFilter(this);
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
  FCrvChart->FOnZoomChanged = [this] { ZoomChanged(); };
  chartBox->addWidget(FCrvChart);
  FCrvChart->setContextMenuPolicy(Qt::ActionsContextMenu);
  actStackRec = new QAction(tr("Stapeldarstellung"), this);
  connect(actStackRec, &QAction::triggered, this, [this] { FCrvChart->SetStack((FCrvChart->Model().Stack() + 1) % 3); });
  actCopyRecData = new QAction(tr("Daten Kopieren"), this);
  connect(actCopyRecData, &QAction::triggered, this, [this] {
    if (FPager) return CopyRecData();
    QStringList lines;
    if (FCrvChart->CopyToClip(lines)) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  actCopyRecImage = new QAction(tr("Bild Kopieren"), this);
  connect(actCopyRecImage, &QAction::triggered, this, [this] { CopyImgToClip(FCrvChart); });
  actPrintRecImage = new QAction(tr("Bild Drucken"), this);
  connect(actPrintRecImage, &QAction::triggered, this, [this] { PrintImage(FCrvChart); });
  actShowTable = new QAction(tr("Tabelle"), this);
  connect(actShowTable, &QAction::triggered, this, [this] { SwitchGridPB(true); });
  actShowCurves = new QAction(tr("Kurven"), this);
  connect(actShowCurves, &QAction::triggered, this, [this] {
    if (FCrvChart->Model().GetCrvCnt() > 0) SwitchGridPB(false);
  });
  FCrvChart->addActions({actStackRec, actCopyRecData, actCopyRecImage, actPrintRecImage, actShowTable});
  PanHint = new QLabel(tr("Eine Datei links anklicken: ein Ereignis erscheint als Tabelle, "
                          "eine Aufzeichnung als Tabelle und Kurven."),
                       FRight);
  PanHint->setObjectName(QStringLiteral("PanHint"));
  PanHint->setAlignment(Qt::AlignCenter);
  PanHint->setWordWrap(true);
  PanHint->setEnabled(false);  // drawn as a hint, not as content
  FRight->addWidget(PanHint);
  FRight->addWidget(GridData);
  FRight->addWidget(PanPaintBox);
  FRight->addWidget(PanRec);
  SplittOpti->setStretchFactor(2, 1);
  outer->addWidget(SplittOpti);
  actCopyEvents = new QAction(tr("Kopieren"), this);
  connect(actCopyEvents, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(EventTableText()); });
  GridData->addAction(actCopyEvents);
  GridData->addAction(actShowCurves);
  GridRec->addActions({actCopyRecData, actShowCurves});
  // Reports over the shown recording, through the report plugin.
  const std::pair<QAction**, std::pair<const char*, const char*>> reports[] = {
      {&actENReport, {QT_TR_NOOP("EN-Report"), "en50160"}},
      {&actRCMReport, {QT_TR_NOOP("RCM Report"), "rcm"}},
      {&actStatHarmU, {QT_TR_NOOP("Statistik Harmonische (Spannung)"), "harmonics-u"}},
      {&actStatHarmI, {QT_TR_NOOP("Statistik Harmonische (Strom)"), "harmonics-i"}},
      {&actStatInter, {QT_TR_NOOP("Statistik Interharmonische"), "interharmonics"}},
      {&actStatZwischen, {QT_TR_NOOP("Statistik Zwischenharmonische"), "intermediate"}},
      {&actStatBandsU, {QT_TR_NOOP("Statistik 2,0 - 9,0 kHz (Spannung)"), "bands-u"}},
      {&actStatBandsI, {QT_TR_NOOP("Statistik 2,0 - 9,0 kHz (Strom)"), "bands-i"}}};
  for (const auto& [field, texts] : reports) {
    *field = new QAction(tr(texts.first), this);
    const QString kind = QString::fromLatin1(texts.second);
    connect(*field, &QAction::triggered, this, [this, kind] { actReportExecute(kind); });
    GridData->addAction(*field);
    GridRec->addAction(*field);
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
  BuildChartMenu();
  BuildHarmChart();
}

bool TFormLayout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched == SplittOpti->handle(1)) {
    ToggleSidePanel();
    return true;
  }
  // Ctrl+Home and Ctrl+End go to the ends of the file, not of the window.
  if (event->type() == QEvent::KeyPress && watched == GridRec && FRecModel) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers().testFlag(Qt::ControlModifier) && (key->key() == Qt::Key_Home || key->key() == Qt::Key_End)) {
      const qint64 row = key->key() == Qt::Key_Home ? 0 : FRecModel->FileRows() - 1;
      if (row < 0) return true;
      ScrollRecTo(row);
      const int column = std::max(0, GridRec->currentIndex().column());
      GridRec->selectionModel()->setCurrentIndex(FRecModel->index(int(row - FRecModel->Offset()), column),
                                                 QItemSelectionModel::ClearAndSelect);
      return true;
    }
    // A moved window forgets the current cell: the keys go on from the rows
    // in view, not from the window's first row.
    if (!GridRec->currentIndex().isValid()) {
      const qint64 first = FirstVisibleRecRow();
      if (first >= 0)
        GridRec->selectionModel()->setCurrentIndex(FRecModel->index(int(first - FRecModel->Offset()), 0),
                                                   QItemSelectionModel::NoUpdate);
    }
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

void TFormLayout::SwitchGridPB(bool table) {
  FRight->setCurrentWidget(table ? (FRecShown ? PanRec : static_cast<QWidget*>(GridData)) : PanPaintBox);
}

// The reduction of a large file may still run: it is stopped and waited for
// before the window goes, it never reports to a window that is gone.
TFormLayout::~TFormLayout() { StopCurves(); }

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
    LogPrepare(this, QStringLiteral("Report: %1").arg(fn ? QStringLiteral("keine Aufzeichnung") : why), false);  // untranslated
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
  StartWork(tr("Bericht"));
  const int rc = fn(this, job.toUtf8().constData(), tmp.toUtf8().constData(), out, int(sizeof out));
  EndWork();
  lib.unload();
  if (rc != 0) {
    DisplayMessage(tr("Bericht nicht erstellt: ") + QString::fromUtf8(out), TMsgDlgType::mtError, nullptr, mbOK, mbOK);
    return;
  }
  LogPrepare(this, QStringLiteral("Report: %1").arg(pdf), false);
  FLastReport = pdf;
  FOpenUrl(QUrl::fromLocalFile(pdf));
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
  return zone.isEmpty() ? QString() : tr(" (Zeiten in %1)").arg(zone);
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

}  // namespace vanta
