// The analysis window's scaling page ("Skalierung"): one row per shown curve
// with its range, typed ranges onto the chart and every curve back to the
// range of its data; and the curve chart's own menu, whose marker entries
// set a marker where the menu was opened.
#include "FormLayout.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <vector>

#include "Language.h"
#include "PaintBox.h"

namespace vanta {

namespace {
enum TScaleCol : int { scName, scMin, scMax, scUnit };

QString BoundText(double v) { return QString::number(v, 'g', 7); }

// A typed bound: "." or "," before the decimals, and a finite number only
// (an axis from "inf" would divide by infinity).
bool ParseBound(const QString& text, double& v) {
  QString t = text.trimmed();
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  bool ok = false;
  v = t.toDouble(&ok);
  return ok && std::isfinite(v);
}

// How the ranges show in the chart's present stacking.
QString StackText(int mode) {
  switch (mode) {
    case 0: return TTr::tr("Alle Kurven in einem Bereich: jede Kurve in % ihres Bereichs");
    case 1: return TTr::tr("Ein Bereich je Größe: seine Achse umfasst die Bereiche seiner Kurven");
    default: return TTr::tr("Ein Bereich je Kurve");
  }
}
}  // namespace

QWidget* TFormLayout::BuildScalePage() {
  TabScale = new QWidget(tbcSettings);
  auto* box = new QVBoxLayout(TabScale);
  box->setContentsMargins(2, 2, 2, 2);
  LabScaleType = new QLabel(TabScale);
  LabScaleType->setWordWrap(true);
  box->addWidget(LabScaleType);
  grdScale = new QTableWidget(0, 4, TabScale);
  grdScale->setHorizontalHeaderLabels(
      {tr("Größe"), tr("Min"), tr("Max"), tr("Einheit")});
  grdScale->verticalHeader()->setVisible(false);
  grdScale->horizontalHeader()->setSectionResizeMode(scName, QHeaderView::Stretch);
  grdScale->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  box->addWidget(grdScale, 1);
  auto* buttons = new QHBoxLayout;
  btnAutoScale = new QPushButton(tr("Alles Autoskalieren"), TabScale);
  btnScale = new QPushButton(tr("Skalieren"), TabScale);
  buttons->addWidget(btnAutoScale);
  buttons->addWidget(btnScale);
  box->addLayout(buttons);
  LabScaleProblem = new QLabel(TabScale);
  LabScaleProblem->setWordWrap(true);
  LabScaleProblem->setStyleSheet(QStringLiteral("color: #B00000"));
  LabScaleProblem->hide();
  box->addWidget(LabScaleProblem);
  connect(btnAutoScale, &QPushButton::clicked, this, [this] { ScaleAutoAll(); });
  connect(btnScale, &QPushButton::clicked, this, [this] { ScaleApply(); });
  // Enter in an edited bound acts like "Skalieren"; leaving the cell otherwise only keeps the text.
  connect(grdScale->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
          [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
            if (hint == QAbstractItemDelegate::SubmitModelCache) QTimer::singleShot(0, this, [this] { ScaleApply(); });
          });
  return TabScale;
}

void TFormLayout::RefreshScalePage() {
  // The page is built before the chart it describes.
  if (!grdScale || !FCrvChart) return;
  const TCrvTimeModel& m = FCrvChart->Model();
  const int n = m.GetCrvCnt();
  grdScale->setRowCount(n);
  for (int r = 0; r < n; ++r) {
    const TYRec& c = m.Curve(r);
    const QString texts[] = {c.FSym, BoundText(c.FSclMin), BoundText(c.FSclMax), c.FUnt};
    for (int col = scName; col <= scUnit; ++col) {
      auto* item = new QTableWidgetItem(texts[col]);
      if (col == scName || col == scUnit) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      if (col == scMin || col == scMax) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grdScale->setItem(r, col, item);
    }
    // The name in the curve's colour: the row is found by its line.
    grdScale->item(r, scName)->setForeground(QColor::fromRgb(m.GetLnColor(r) | 0xFF000000u));
  }
  grdScale->resizeColumnToContents(scUnit);
  LabScaleType->setText(n > 0 ? StackText(m.Stack())
                              : tr("Keine Kurven angezeigt: Größen im Auswahlbaum ankreuzen."));
  btnAutoScale->setEnabled(n > 0);
  btnScale->setEnabled(n > 0);
  LabScaleProblem->clear();
  LabScaleProblem->hide();
}

void TFormLayout::ScaleAutoAll() {
  FCrvChart->AutoScaleAll();
  RefreshScalePage();
}

bool TFormLayout::ScaleApply() {
  TCrvTimeModel& m = FCrvChart->Model();
  const int n = std::min(m.GetCrvCnt(), grdScale->rowCount());
  QString problem;
  std::vector<std::pair<double, double>> ranges;
  if (n == 0) problem = tr("Keine Kurven angezeigt: nichts zu skalieren.");
  // Every row is checked before any is applied: one bad row changes nothing.
  for (int r = 0; r < n && problem.isEmpty(); ++r) {
    const QString name = m.Curve(r).FSym;
    const QString lo = grdScale->item(r, scMin) ? grdScale->item(r, scMin)->text() : QString();
    const QString hi = grdScale->item(r, scMax) ? grdScale->item(r, scMax)->text() : QString();
    double vLo = 0, vHi = 0;
    if (!ParseBound(lo, vLo))
      problem = tr("%1: Min \"%2\" ist keine Zahl.").arg(name, lo.trimmed());
    else if (!ParseBound(hi, vHi))
      problem = tr("%1: Max \"%2\" ist keine Zahl.").arg(name, hi.trimmed());
    else if (vLo >= vHi)
      problem = tr("%1: Min (%2) muss kleiner als Max (%3) sein.").arg(name, lo.trimmed(), hi.trimmed());
    else
      ranges.emplace_back(vLo, vHi);
  }
  if (!problem.isEmpty()) {
    LabScaleProblem->setText(problem);
    LabScaleProblem->show();
    DisplayMessage(tr("Skalierung nicht übernommen. ") + problem, TMsgDlgType::mtWarning, nullptr, mbOK,
                   mbOK);
    return false;
  }
  for (int r = 0; r < n; ++r) m.SetRange(r, ranges[size_t(r)].first, ranges[size_t(r)].second);
  FCrvChart->FForceRepaint = true;
  FCrvChart->RequestRepaint();
  RefreshScalePage();
  return true;
}

// ---- the curve chart's menu -----------------------------------------------------------------

void TFormLayout::BuildChartMenu() {
  actScaleRec = new QAction(tr("Skalierung"), this);
  connect(actScaleRec, &QAction::triggered, this, [this] {
    RefreshScalePage();
    tbcSettings->setCurrentWidget(TabScale);
  });
  actMarker1 = new QAction(tr("Marker 1"), this);
  connect(actMarker1, &QAction::triggered, this, [this] { SetMarkerAt(0, FChartMenuPos); });
  actMarker2 = new QAction(tr("Marker 2"), this);
  connect(actMarker2, &QAction::triggered, this, [this] { SetMarkerAt(1, FChartMenuPos); });
  FCrvChart->insertAction(actStackRec, actScaleRec);
  FCrvChart->insertActions(actShowTable, {actMarker1, actMarker2});
  // The menu is opened by hand: its marker entries need the point it was opened at.
  FCrvChart->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(FCrvChart, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    FChartMenuPos = pos;
    RefreshHarmonics();
    auto* menu = new QMenu(FCrvChart);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(FCrvChart->actions());
    menu->popup(FCrvChart->mapToGlobal(pos));
  });
  // Another stacking shows the same ranges on other axes.
  connect(actStackRec, &QAction::triggered, this, [this] { RefreshScalePage(); });
  // Unticking the last quantity draws nothing: the page empties too.
  connect(tvSelect, &QTreeWidget::itemChanged, this, [this] {
    if (!FInSelect) RefreshScalePage();
  });
  RefreshScalePage();
}

void TFormLayout::SetMarkerAt(int mark, QPoint pos) {
  if (FCrvChart->Model().GetMessCnt() == 0) return;
  // The records' columns as drawn at the chart's present size (it may not have been drawn yet).
  FCrvChart->Image();
  FCrvChart->MarkAt(mark, pos.x());
}

}  // namespace vanta
