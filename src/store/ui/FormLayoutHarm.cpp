// The analysis window's harmonic bars: a recording whose channels carry
// harmonic orders ("H5 U L1": order 5 of the voltage on L1) shows the orders
// of one row, the row at marker 1, as the bar chart the live view uses, with
// a menu of its own.
#include "FormLayout.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTableWidget>
#include <array>
#include <cmath>

#include "FreqCharts.h"
#include "PaintBox.h"

namespace vanta {

namespace {
struct THarmColumn {
  int Column = 0;  // index into a row's values
  int Order = 0;
  T4Leiter Conductor = T4Leiter::lt1;
};

// The harmonic channels of voltage or current: "H<order> U|I" and then the
// conductor (L1, L2, L3, N; none named is L1). Orders above 50 have no bar,
// and a line-to-line channel ("L12") is no conductor's: neither is shown.
QList<THarmColumn> HarmonicColumns(const QList<TRecordChannel>& channels, bool current, QString* unit = nullptr) {
  static const QRegularExpression CHarm(QStringLiteral("^H(\\d{1,3})\\s+([UI])(?:\\s+(\\S+))?\\s*$"));
  QList<THarmColumn> out;
  for (int c = 0; c < channels.size(); ++c) {
    const QRegularExpressionMatch m = CHarm.match(channels[c].Name.trimmed());
    if (!m.hasMatch() || (m.captured(2) == QLatin1String("I")) != current) continue;
    const int order = m.captured(1).toInt();
    if (order > 50) continue;
    const QString who = m.captured(3).toUpper();
    T4Leiter l = T4Leiter::lt1;
    if (who == QLatin1String("L2"))
      l = T4Leiter::lt2;
    else if (who == QLatin1String("L3"))
      l = T4Leiter::lt3;
    else if (who == QLatin1String("N"))
      l = T4Leiter::lt0;
    else if (!who.isEmpty() && who != QLatin1String("L1"))
      continue;
    if (unit && unit->isEmpty()) *unit = channels[c].Unit;
    out << THarmColumn{c, order, l};
  }
  return out;
}

// Runs `before` when a context menu is about to open on the watched widget,
// so the menu's entries are checked against what is shown now.
class TMenuOpens : public QObject {
 public:
  TMenuOpens(QObject* parent, std::function<void()> before) : QObject(parent), FBefore(std::move(before)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::ContextMenu) FBefore();
    return false;
  }

 private:
  std::function<void()> FBefore;
};
}  // namespace

void TFormLayout::BuildHarmChart() {
  FHrmChart = new TPQPaintBoxHarm(FRight);
  FHrmChart->setObjectName(QStringLiteral("HarmPaintBox"));
  FRight->addWidget(FHrmChart);
  actShowHarmU = new QAction(tr("Harmonische Spannung"), this);
  connect(actShowHarmU, &QAction::triggered, this, [this] { ShowHarmonics(false); });
  actShowHarmI = new QAction(tr("Harmonische Strom"), this);
  connect(actShowHarmI, &QAction::triggered, this, [this] { ShowHarmonics(true); });
  actCopyHrmData = new QAction(tr("Daten Kopieren"), this);
  connect(actCopyHrmData, &QAction::triggered, this, [this] {
    QStringList lines;
    if (FHrmChart->Model().CopyToClip(lines)) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  actCopyHrmImage = new QAction(tr("Bild Kopieren"), this);
  connect(actCopyHrmImage, &QAction::triggered, this, [this] { CopyImgToClip(FHrmChart); });
  actPrintHrmImage = new QAction(tr("Bild Drucken"), this);
  connect(actPrintHrmImage, &QAction::triggered, this, [this] { PrintImage(FHrmChart); });
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  // Its own menu as the live view's bar chart has, and the way back to the curves and the table.
  FHrmChart->setContextMenuPolicy(Qt::ActionsContextMenu);
  FHrmChart->addActions({actCopyHrmData, actCopyHrmImage, actPrintHrmImage, separator, actShowHarmU, actShowHarmI,
                         actShowCurves, actShowTable});
  FCrvChart->addActions({actShowHarmU, actShowHarmI});
  GridData->addActions({actShowHarmU, actShowHarmI});
  GridRec->addActions({actShowHarmU, actShowHarmI});
  for (QWidget* w : {static_cast<QWidget*>(GridData), static_cast<QWidget*>(GridRec), static_cast<QWidget*>(FHrmChart)})
    w->installEventFilter(new TMenuOpens(w, [this] { RefreshHarmonics(); }));
  // Moving marker 1 moves the row the bars show.
  auto marked = std::move(FCrvChart->FOnMarkerNotify);
  FCrvChart->FOnMarkerNotify = [this, marked](TPQPaintBoxCrvTime* chart, int mark, int64_t ts, const QStringList& names,
                                              const QList<float>& values) {
    if (marked) marked(chart, mark, ts, names, values);
    if (mark == 0 && FRight->currentWidget() == FHrmChart) FillHarmChart();
  };
  RefreshHarmonics();
}

void TFormLayout::RefreshHarmonics() {
  const bool recording = FRecShown && FPager && FPager->Count() > 0;
  const QList<TRecordChannel>& channels = FShownHeader.Context.Channels;
  const bool u = recording && !HarmonicColumns(channels, false).isEmpty();
  const bool i = recording && !HarmonicColumns(channels, true).isEmpty();
  // Offered only where there is something to show.
  actShowHarmU->setVisible(u);
  actShowHarmU->setEnabled(u);
  actShowHarmI->setVisible(i);
  actShowHarmI->setEnabled(i);
  if (FRight->currentWidget() != FHrmChart) return;
  if (FHrmCurrent ? i : u)
    FillHarmChart();
  else
    SwitchGridPB(true);  // the file shown now has none of them
}

bool TFormLayout::ShowHarmonics(bool current) {
  const bool recording = FRecShown && FPager && FPager->Count() > 0;
  if (!recording || HarmonicColumns(FShownHeader.Context.Channels, current).isEmpty()) {
    const QString text = current ? tr("Die angezeigte Datei enthält keine Harmonischen des Stroms.")
                                 : tr("Die angezeigte Datei enthält keine Harmonischen der Spannung.");
    LabSBar->setText(text);
    DisplayMessage(text, TMsgDlgType::mtInformation, nullptr, mbOK, mbOK);
    RefreshHarmonics();
    return false;
  }
  FHrmCurrent = current;
  FillHarmChart();
  FRight->setCurrentWidget(FHrmChart);
  RefreshHarmonics();
  return true;
}

qint64 TFormLayout::HarmonicRow() const {
  if (!FPager || FPager->Count() == 0) return -1;
  if (!FMarkerTime.HasStart) return 0;
  // By the marker's time in the file, not a row of the curves: those may be column extremes.
  const qint64 r = FPager->LowerBound(FMarkerTime.StartTime, [this](const tmStamp_t& t) { return CurveKey(t); });
  return std::min(r, FPager->Count() - 1);
}

void TFormLayout::FillHarmChart() {
  THarmBarModel& m = FHrmChart->Model();
  QString unit;
  const QList<THarmColumn> columns = HarmonicColumns(FShownHeader.Context.Channels, FHrmCurrent, &unit);
  m.SetVantaDisp(FHrmCurrent ? TVantaDisp::sdHrmIL : TVantaDisp::sdHrmULE);
  if (!unit.isEmpty()) m.FYUnit = unit;  // a file's current harmonics may be in % of the fundamental
  m.ClearData();
  if (const TRecRow* found = FPager ? FPager->Row(HarmonicRow()) : nullptr) {
    const TRecRow row = *found;
    std::array<QList<float>, 4> rows;
    for (QList<float>& l : rows) l = QList<float>(51, 0.0f);
    for (const THarmColumn& c : columns) {
      const float v = row.Values.value(c.Column, std::nanf(""));
      rows[size_t(c.Conductor)][c.Order] = std::isfinite(v) ? v : 0.0f;  // a gap is no bar
    }
    for (const T4Leiter l : {T4Leiter::lt1, T4Leiter::lt2, T4Leiter::lt3, T4Leiter::lt0})
      m.SetHrmVal(l, rows[size_t(l)]);
    m.FTSStop = FShownTime.MilliText(row.Time);
  }
  m.HrmRescale();
  FHrmChart->FForceRepaint = true;
  FHrmChart->RequestRepaint();
}

}  // namespace vanta
