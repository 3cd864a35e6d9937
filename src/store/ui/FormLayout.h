#pragma once
// TFormLayout: the data window of one device: the file tree, scale and
// marker tabs on the left, the quantity tree, and the table (or the chart
// area) on the right; downloaded events, recordings and binary-input
// records are shown here. TFormOnline adds the readout of a connected
// device: the device's lists as a tree, fetching with resume, the queued
// download and the deletes.
#include <QIcon>
#include <QTreeWidgetItem>
#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "FormBasic.h"
#include "EventTable.h"
#include "GroupCaption.h"
#include "Readout.h"
#include "RecordFile.h"
#include "RecordPager.h"

class QAction;
class QMenu;
class QScrollBar;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTableWidget;
class QTabWidget;
class QTreeWidget;
class QLabel;
class QPushButton;
namespace vanta {
class TPQPaintBoxCrvTime;
class TPQPaintBoxHarm;
}

namespace vanta {

// A file of the tree: the device path, the size the device reported (raised
// to the local size once shown) and whether it is a binary-input record.
// The tree images by number (3 on disk, 4 group, 5 station, below 0 none).
QIcon ImageIcon(int image);

// One curve's values at the two chart markers; Dif = M1 - M2 once both are set.
struct TMarkerRecord {
  QString Name;
  float M1 = 0, M2 = 0, Dif = 0;
  bool HasM1 = false, HasM2 = false;
};

// When the two markers were set (device time, nanoseconds), as the chart
// reported them: the table's headers are drawn from here, never from pixels.
struct TMarkerTimeRecord {
  int64_t StartTime = 0, EndTime = 0;
  bool HasStart = false, HasEnd = false;
};

class TRecTreeViewItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  QString Path;
  uint64_t FileSize = 0;
  bool isAsync = false;
  int Image = CImgMissing;
  void SetImage(int image);
};

class TFormLayout : public TFormBasic {
  Q_OBJECT
 public:
  explicit TFormLayout(QWidget* parent = nullptr);
  ~TFormLayout() override;

  void EvtToTable(const QString& path) override;
  void RecToTable(const QString& path) override;
  void AsyncToTable(const QString& path) override;
  // True shows the table (of the shown kind of file), false the chart area.
  void SwitchGridPB(bool table);
  // Draws the checked quantities of the shown recording as curves (none: the table).
  void PaintGraph();
  // A marker of the chart: its values go into the marker table.
  void MarkerNotify(int mark, int64_t ts, const QStringList& names, const QList<float>& valuesDrawn);
  // Redraws the marker table from FMarkerLst and FMarkerTime.
  void grdMarkerRefresh();
  QList<TMarkerRecord> FMarkerLst;
  TMarkerTimeRecord FMarkerTime;
  // The event table as the clipboard gets it ("Kopieren").
  QString EventTableText() const;
  void SetNewSizeToTVI(const QString& local);
  // Folds the side panel away, or back to its stored width.
  void ToggleSidePanel();

  QTabWidget* tbcSettings = nullptr;
  QTreeWidget* TreeViewOpti = nullptr;
  QTreeWidget* tvSelect = nullptr;
  QTableWidget* GridData = nullptr;  // events and binary inputs
  QTableView* GridRec = nullptr;     // recordings, read page by page
  // The table holds a window of the file's rows; the bar beside it spans
  // the whole file and moves the window.
  QWidget* PanRec = nullptr;                     // GridRec and ScrRec
  QScrollBar* ScrRec = nullptr;                  // value: the file row at the top of the table
  int FRecWindow = TRecTableModel::CWindowRows;  // rows the table holds at a time
  // Brings file row `row` into view, moving the window when it lies outside.
  void ScrollRecTo(qint64 row);
  // File rows at the top and the bottom of the table's view (-1 without a table).
  qint64 FirstVisibleRecRow() const;
  qint64 LastVisibleRecRow() const;
  QTableWidget* grdMarker = nullptr;
  QStackedWidget* FRight = nullptr;
  QWidget* PanPaintBox = nullptr;
  QLabel* PanHint = nullptr;  // what the right side is for, until a file is shown
  TPQPaintBoxCrvTime* FCrvChart = nullptr;  // the recording's curves
  QAction *actStackRec = nullptr, *actCopyRecData = nullptr, *actCopyRecImage = nullptr, *actPrintRecImage = nullptr,
          *actShowTable = nullptr, *actShowCurves = nullptr;
  QSplitter* SplittOpti = nullptr;
  QAction* actCopyEvents = nullptr;
  QAction *actENReport = nullptr, *actRCMReport = nullptr, *actStatHarmU = nullptr, *actStatHarmI = nullptr,
          *actStatInter = nullptr, *actStatZwischen = nullptr, *actStatBandsU = nullptr, *actStatBandsI = nullptr;
  void Enable10MinReports(bool statistics, bool rcm);
  // Nothing is shown: the list and report actions are off.
  virtual void HideActions();
  void actReportExecute(const QString& kind);
  QString FRepFN;       // the recording the reports are made of
  QString FLastReport;  // the PDF made last

  // What the shown file held.
  TRecordHeader FShownHeader;
  // How its stamps read as local time (tables, curves, markers, copies).
  TDeviceTime FShownTime;
  QList<TEventRecord> FEvents;
  // The shown recording: the table reads it page by page, the curves are
  // drawn from FRecDataLst, the whole file reduced to the minimum and maximum
  // of each of CCurveColumns columns (every row when there are fewer).
  std::shared_ptr<TRecordPager> FPager;
  TRecTableModel* FRecModel = nullptr;
  bool FRecSyncing = false;      // the two bars are being set to each other
  bool FRecShiftQueued = false;  // the window moves once the view is done scrolling
  int RecRowsInView() const;
  // Puts file row `top` at the top of the table: window, table and outer bar.
  void ShowRecTop(qint64 top);
  void RecInnerScrolled(int value);
  void UpdateRecScrollRange();
  bool FRecShown = false;
  QList<TRecRow> FRecDataLst;
  QList<int> FShownChannels;  // the channels of the drawn curves, in curve order
  static constexpr int CCurveColumns = 2048;
  // The reduction of a large file runs beside the window; the curves fill in when it is done.
  bool CurvesPending() const { return FCurveThread.joinable() && !FCurvesReady; }
  // The chart was zoomed: a zoom into reduced curves reads the span again in
  // detail, a zoom reset shows the whole file again.
  void ZoomChanged();
  std::pair<qint64, qint64> FCurveSpan{0, 0};  // the rows the curves are drawn from
  // "Daten Kopieren": the rows between the markers, else those in view; more
  // than FMaxClipRows are offered as a CSV file.
  qint64 FMaxClipRows = 100000;
  void CopyRecData();
  // The rows "Daten Kopieren" takes: [first, last).
  std::pair<qint64, qint64> CopyRange() const;
  // Asks where a CSV file of `rows` rows goes (empty: not at all); tests answer here.
  std::function<QString(qint64 rows)> FAskCsvPath;
  // The time key the curves and markers use for a row.
  int64_t CurveKey(const tmStamp_t& t) const { return FShownTime.Linear(t); }
  QList<TAsyncRecord> FAsync;
  TRecTreeViewItem* FSelectedRec = nullptr;
  QString FLastUseEvtFile;
  bool FInSelect = false;  // the quantity tree is being ticked by its own rules

 protected:
  bool FCheckToggled = false;  // the last click ticked a check box: it selects, it opens nothing
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void ApplyLayout();
  TMeasLookup MeasLookup() const;
  // The local-time rule for a file of `path`: online the identified
  // device's own settings, else those kept beside the file, else its header's.
  TDeviceTime TimeRuleFor(const QString& path, const TSysEnvHeader& env);
  // " (UTC+01:00)" for a status text when the times are only the file's offset.
  QString ZoneSuffix() const;
  bool FLayoutShown = false;
  void StopCurves();
  // Reduces rows [from, to) for the curves, at once when they are few, else beside the window.
  void StartCurvePass(qint64 from, qint64 to);
  QString AskCsvTarget(qint64 rows);
  std::thread FCurveThread;
  std::shared_ptr<std::atomic_bool> FCurveCancel;
  int FCurveGeneration = 0;
  bool FCurvesReady = false;

 public:
  // ---- The scaling page and the chart's own menu entries (FormLayoutScale.cpp).
  // One row per shown curve with its range; called whenever the shown curves
  // changed (a new recording, another choice of quantities).
  void RefreshScalePage();
  // "Alles Autoskalieren": every curve back to the range of its data.
  void ScaleAutoAll();
  // "Skalieren": the typed ranges onto the chart. A row that is no range
  // (no number, Min not below Max) is named in a message and nothing changes.
  bool ScaleApply();
  // Marker 1 (mark 0) or 2 (mark 1) at a point of the chart, as a Shift or
  // Alt click there sets it.
  void SetMarkerAt(int mark, QPoint pos);
  QWidget* TabScale = nullptr;
  QTableWidget* grdScale = nullptr;
  QLabel *LabScaleType = nullptr, *LabScaleProblem = nullptr;
  QPushButton *btnAutoScale = nullptr, *btnScale = nullptr;
  QAction *actScaleRec = nullptr, *actMarker1 = nullptr, *actMarker2 = nullptr;
  QPoint FChartMenuPos;  // where the chart's menu was opened last

  // ---- The harmonic chart of a recording with harmonic channels (FormLayoutHarm.cpp).
  // Shows the voltage (false) or current (true) harmonics of the row at
  // marker 1 (the first row without one); false with a message when the
  // shown recording has none.
  bool ShowHarmonics(bool current);
  // Which harmonics the shown recording has (the actions follow, checked
  // again whenever a menu opens), and the bars when they are showing.
  void RefreshHarmonics();
  // The row of the file the bars show.
  qint64 HarmonicRow() const;
  TPQPaintBoxHarm* FHrmChart = nullptr;
  bool FHrmCurrent = false;  // the bars show current harmonics
  QAction *actShowHarmU = nullptr, *actShowHarmI = nullptr, *actCopyHrmData = nullptr, *actCopyHrmImage = nullptr,
          *actPrintHrmImage = nullptr;

 private:
  QWidget* BuildScalePage();
  void BuildChartMenu();
  void BuildHarmChart();
  void FillHarmChart();
};

class TFormOnline : public TFormLayout {
  Q_OBJECT
 public:
  explicit TFormOnline(QWidget* parent = nullptr);

  void ConnEst(QObject* Sender, bool connected) override;
  void EvtOverView(const QStringList& lines) override;
  void RecOverView(const QStringList& lines) override;
  void ClickEvtOverview();
  void ClickRecOverview();
  void EventClick(TRecTreeViewItem* item);
  void RecordClick(TRecTreeViewItem* item);
  // One step of the queued download; called again when a file has arrived.
  void MassDownLoad();
  void DownloadAll(bool events);
  void DownloadSelected(bool events);
  void DownloadClass(TRecTreeViewItem* item);
  // Stops the running download before its next file (a clean resume point).
  void CancelDownload();
  bool Downloading() const { return FChain && FChain->Active(); }
  void ClearWork() override;
  // Tells the operator; a test sees what was said.
  std::function<void(const QString& text)> FOnDownloadReport;
  void DeleteItem(TRecTreeViewItem* item);
  void DeleteAll(bool events);
  void DeleteSelected(bool events);
  void DeleteClass(TRecTreeViewItem* item);
  TReadoutPlace Place() const;
  void EnableListActions(bool events, bool on);
  void SetMultiSelect(bool on);
  void ShowInExplorer(TRecTreeViewItem* item, bool recording);

  QAction *actDownLoadAllEvent = nullptr, *actDownloadSelectedEvt = nullptr, *actDelEvent = nullptr,
          *actDelAllEvent = nullptr, *actDelSelectedEvt = nullptr, *actShowEvtInExplorer = nullptr,
          *actDownloadAllRecorder = nullptr, *actDownloadSelectedRec = nullptr, *actDownLoadClsRecorder = nullptr,
          *actDelRecorder = nullptr, *actDelAllRecorder = nullptr, *ActDelSelectedRecorder = nullptr,
          *actDelAllClsRecorder = nullptr, *actShowRecInExplorer = nullptr, *actMultiSelect = nullptr,
          *actCancelDownload = nullptr;
  QMenu* FEvtMenu = nullptr;
  QMenu* FRecMenu = nullptr;

  QTreeWidgetItem* FRecTreeView = nullptr;  // "Rekorder Daten"
  QTreeWidgetItem* FEvtTreeView = nullptr;  // the events branch
  TRecTreeViewItem* FTVIRec = nullptr;
  TRecTreeViewItem* FTVIEvt = nullptr;
  bool FInClick = false;
  QStringList FAllRecLst, FAllEvtLst;  // "path=size" in list order
  // Where the file-arrived callback of the client goes for the shown file.
  std::function<void(const QString&)> FShowArrived;

 private:
  void BuildTree(QTreeWidgetItem* root, const QList<TReadoutNode>& nodes, bool recording);

  QList<TRecTreeViewItem*> Checked(QTreeWidgetItem* root) const;
  void BuildActions();
  void ItemMouseDown(QTreeWidgetItem* item, Qt::MouseButtons buttons);
  TReadoutChain& Chain();
  // Starts the chain filled by `fill` when its files fit on the disk.
  void StartChain(const std::function<void(TReadoutChain&)>& fill);
  void EndChain(bool lost);
  void SetDownloadActions(bool running);
  // A single file clicked: asked for from where its part file ends.
  void RequestOne(TRecTreeViewItem* item, bool recording, uint64_t position);
  std::unique_ptr<TReadoutChain> FChain;
  QElapsedTimer FChainClock;
};

}  // namespace vanta
