// The analysis window on a recording with voltages, a current and harmonic
// channels: the scaling page, the chart menu's scaling and marker entries,
// the harmonic bars and the quantity groups' captions.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "FormOffline.h"
#include "FreqCharts.h"
#include "PaintBox.h"
#include "RecordFile.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::Shot;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;

namespace {
constexpr uint32_t CStart = 1764892800;
constexpr int CRows = 12;
constexpr uint32_t CGrpU = 0x0100FFFF, CGrpI = 0x0101FFFF, CGrpHU = 0x0201FFFF, CGrpHI = 0x0202FFFF;

// Distinct per row, phase and order, so a wrong column or row shows.
float VoltageAt(int row, int phase) { return 230.0f + float(row) + 0.5f * float(phase); }
float HarmAt(int row, int order, int phase) { return 0.1f * float(order) + float(phase) + 0.01f * float(row); }

// A 10-minute recording: U L1-L3, I L1, the voltage harmonics 2-7 of L1-L3
// and the current's third harmonic (without harmonics when `harmonics` is false).
QString WriteRecording(const QString& dir, bool harmonics = true) {
  const QString path = dir + QStringLiteral("/10min-12345678-1764892800-000.log");
  TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.Start = {CStart, 0};
  ctx.End = {CStart + 600 * CRows, 0};
  for (int k = 1; k <= 3; ++k)
    ctx.Channels << TRecordChannel{0x01000000u + uint32_t(k), CGrpU, QStringLiteral("V"),
                                   QStringLiteral("U L%1").arg(k)};
  ctx.Channels << TRecordChannel{0x01010001u, CGrpI, QStringLiteral("A"), QStringLiteral("I L1")};
  if (harmonics) {
    for (int k = 1; k <= 3; ++k)
      for (int h = 2; h <= 7; ++h)
        ctx.Channels << TRecordChannel{0x02010000u + uint32_t(k << 8) + uint32_t(h), CGrpHU, QStringLiteral("%"),
                                       QStringLiteral("H%1 U L%2").arg(h).arg(k)};
    ctx.Channels << TRecordChannel{0x02020103u, CGrpHI, QStringLiteral("A"), QStringLiteral("H3 I L1")};
  }
  TRecordWriter w(TRecordKind::rkRecording,
                  {12345678, 3600, false, QStringLiteral("Umspannwerk Nord"), QStringLiteral("Feld 3"),
                   QStringLiteral("Vanta Sim")},
                  ctx);
  for (int i = 0; i < CRows; ++i) {
    TRecRow r{{CStart + uint32_t(i) * 600, 0}, {}};
    for (int k = 1; k <= 3; ++k) r.Values << VoltageAt(i, k);
    r.Values << 10.0f + float(i);
    if (harmonics) {
      for (int k = 1; k <= 3; ++k)
        for (int h = 2; h <= 7; ++h) r.Values << HarmAt(i, h, k);
      r.Values << 2.5f + float(i);
    }
    w.Add(r);
  }
  QString error;
  EXPECT_TRUE(w.Save(path, error)) << error.toStdString();
  return path;
}

void CloseBoxes(QWidget& w) {
  for (QMessageBox* box : w.findChildren<QMessageBox*>()) box->close();
}

// The offline window showing the recording, its first group (the voltages) drawn.
struct TShown {
  QTemporaryDir Dir;
  TFormOffline W;
  QString Path;
  explicit TShown(bool harmonics = true) {
    W.resize(1100, 650);
    Path = WriteRecording(Dir.path(), harmonics);
    W.RecToTable(Path);
  }
  TCrvTimeModel& M() { return W.FCrvChart->Model(); }
  QTreeWidgetItem* Group(int i) { return W.tvSelect->topLevelItem(i); }
  QString Cell(int r, int c) { return W.grdScale->item(r, c) ? W.grdScale->item(r, c)->text() : QString(); }
  void Type(int r, int c, const QString& text) { W.grdScale->item(r, c)->setText(text); }
};

QStringList Texts(const QList<QAction*>& actions) {
  QStringList out;
  for (QAction* a : actions)
    if (!a->isSeparator()) out << a->text();
  return out;
}
}  // namespace

// ---- the scaling page ----------------------------------------------------------------------

TEST(AnalysisScalePage, OneRowPerShownCurveFollowingTheChoice) {
  TShown t;
  ASSERT_EQ(t.M().GetCrvCnt(), 3) << "the voltages are drawn";
  ASSERT_EQ(t.W.grdScale->rowCount(), 3);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(t.Cell(r, 0), QStringLiteral("U L%1").arg(r + 1));
    EXPECT_EQ(t.Cell(r, 3), QStringLiteral("V"));
    // The rows show the chart's own ranges, which cover the data.
    EXPECT_DOUBLE_EQ(t.Cell(r, 1).toDouble(), t.M().Curve(r).FSclMin);
    EXPECT_DOUBLE_EQ(t.Cell(r, 2).toDouble(), t.M().Curve(r).FSclMax);
    EXPECT_LE(t.Cell(r, 1).toDouble(), VoltageAt(0, r + 1));
    EXPECT_GE(t.Cell(r, 2).toDouble(), VoltageAt(CRows - 1, r + 1));
  }
  EXPECT_FALSE(t.W.grdScale->item(0, 0)->flags() & Qt::ItemIsEditable) << "the name is no input";
  EXPECT_TRUE(t.W.grdScale->item(0, 1)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(t.W.btnScale->isEnabled());

  // Curves drawn anew without a click in the tree (the table's loading does so) bring their rows too.
  t.W.FInSelect = true;
  t.Group(1)->child(0)->setCheckState(0, Qt::Checked);
  t.W.FInSelect = false;
  t.W.PaintGraph();
  ASSERT_EQ(t.W.grdScale->rowCount(), 4);
  // Ticking a group adds its rows; unticking everything empties the page.
  t.Group(0)->setCheckState(0, Qt::Unchecked);
  ASSERT_EQ(t.W.grdScale->rowCount(), 1);
  t.Group(0)->setCheckState(0, Qt::Checked);
  ASSERT_EQ(t.W.grdScale->rowCount(), 4);
  EXPECT_EQ(t.Cell(3, 0), QStringLiteral("I L1"));
  EXPECT_EQ(t.Cell(3, 3), QStringLiteral("A"));
  for (int g = 0; g < t.W.tvSelect->topLevelItemCount(); ++g)
    for (int i = 0; i < t.Group(g)->childCount(); ++i) t.Group(g)->child(i)->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(t.M().GetCrvCnt(), 0);
  EXPECT_EQ(t.W.grdScale->rowCount(), 0);
  EXPECT_FALSE(t.W.btnScale->isEnabled());
  EXPECT_FALSE(t.W.btnAutoScale->isEnabled());
}

TEST(AnalysisScalePage, ScaleAppliesTypedRangesAndAutoScaleGoesBack) {
  TShown t;
  const std::pair<double, double> autoRange{t.M().Curve(1).FSclMin, t.M().Curve(1).FSclMax};
  for (int r = 0; r < 3; ++r) {
    t.Type(r, 1, QStringLiteral("200"));
    t.Type(r, 2, QStringLiteral("260,5"));  // a comma as the decimal separator
  }
  EXPECT_TRUE(t.W.ScaleApply());
  EXPECT_DOUBLE_EQ(t.M().Curve(0).FSclMin, 200.0);
  EXPECT_DOUBLE_EQ(t.M().Curve(2).FSclMax, 260.5);
  // The chart draws its voltage axis over the typed range.
  t.W.FCrvChart->Image();
  ASSERT_EQ(t.W.FCrvChart->RegionAxes().size(), 1u);
  EXPECT_DOUBLE_EQ(t.W.FCrvChart->RegionAxes()[0].FSclMin, 200.0);
  EXPECT_DOUBLE_EQ(t.W.FCrvChart->RegionAxes()[0].FSclMax, 260.5);
  EXPECT_EQ(t.Cell(0, 2), QStringLiteral("260.5")) << "the page shows what the chart took";

  t.W.btnAutoScale->click();
  EXPECT_DOUBLE_EQ(t.M().Curve(1).FSclMin, autoRange.first);
  EXPECT_DOUBLE_EQ(t.M().Curve(1).FSclMax, autoRange.second);
  EXPECT_DOUBLE_EQ(t.Cell(1, 2).toDouble(), autoRange.second);
}

TEST(AnalysisScalePage, BadRangesAreNamedAndChangeNothing) {
  TShown t;
  std::vector<std::pair<double, double>> before;
  for (int r = 0; r < 3; ++r) before.emplace_back(t.M().Curve(r).FSclMin, t.M().Curve(r).FSclMax);
  auto unchanged = [&] {
    for (int r = 0; r < 3; ++r)
      if (t.M().Curve(r).FSclMin != before[size_t(r)].first || t.M().Curve(r).FSclMax != before[size_t(r)].second)
        return false;
    return true;
  };
  struct TCase {
    int Row;
    const char* Min;
    const char* Max;
    const char* Says;
  } cases[] = {{1, "250", "240", "U L2: Min (250) muss kleiner als Max (240) sein."},
               {2, "235", "235", "U L3: Min (235) muss kleiner als Max (235) sein."},
               {1, "abc", "240", "U L2: Min \"abc\" ist keine Zahl."},
               {2, "200", "", "U L3: Max \"\" ist keine Zahl."},
               {1, "200", "inf", "U L2: Max \"inf\" ist keine Zahl."}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Says);
    t.W.RefreshScalePage();
    const qsizetype shown = t.W.ShownMessages().size();
    // Row 0 is fine: it must not be taken alone either.
    t.Type(0, 1, QStringLiteral("100"));
    t.Type(c.Row, 1, QString::fromUtf8(c.Min));
    t.Type(c.Row, 2, QString::fromUtf8(c.Max));
    t.W.btnScale->click();
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(t.W.LabScaleProblem->text(), QString::fromUtf8(c.Says));
    EXPECT_FALSE(t.W.LabScaleProblem->isHidden());
    ASSERT_TRUE(SpinUntil([&] { return t.W.ShownMessages().size() > shown; }, 2000));
    EXPECT_TRUE(t.W.ShownMessages().last().contains(QString::fromUtf8(c.Says)))
        << t.W.ShownMessages().last().toStdString();
    if (&c == &std::end(cases)[-1]) {
      t.W.tbcSettings->setCurrentWidget(t.W.TabScale);
      Shot(t.W, QStringLiteral("analysis-scale.png"));
    }
    CloseBoxes(t.W);
  }
  // A good range afterwards is taken and the problem text goes.
  t.W.RefreshScalePage();
  t.Type(1, 1, QStringLiteral("1"));
  t.Type(1, 2, QStringLiteral("2"));
  EXPECT_TRUE(t.W.ScaleApply());
  EXPECT_TRUE(t.W.LabScaleProblem->isHidden());
  EXPECT_DOUBLE_EQ(t.M().Curve(1).FSclMax, 2.0);
}

TEST(AnalysisScalePage, EnterInAnEditedBoundScales) {
  TShown t;
  t.W.show();
  t.W.tbcSettings->setCurrentWidget(t.W.TabScale);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.W));
  t.W.activateWindow();
  QTableWidgetItem* min = t.W.grdScale->item(0, 1);
  t.W.grdScale->setCurrentItem(min);
  t.W.grdScale->editItem(min);
  QWidget* editor = t.W.grdScale->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  static_cast<QLineEdit*>(editor)->setText(QStringLiteral("150"));
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(SpinUntil([&] { return t.M().Curve(0).FSclMin == 150.0; }, 2000)) << t.M().Curve(0).FSclMin;
}

// ---- the chart's menu ----------------------------------------------------------------------

TEST(AnalysisChartMenu, ScalingAndMarkerEntriesWhereTheMenuOpened) {
  TShown t;
  const QStringList entries = Texts(t.W.FCrvChart->actions());
  for (const char* e :
       {"Skalierung", "Stapeldarstellung", "Daten Kopieren", "Bild Kopieren", "Bild Drucken", "Marker 1", "Marker 2"})
    EXPECT_TRUE(entries.contains(QString::fromUtf8(e))) << e;
  EXPECT_LT(entries.indexOf(QStringLiteral("Bild Drucken")), entries.indexOf(QStringLiteral("Marker 1")));

  // "Skalierung" brings the scaling page to the front.
  t.W.tbcSettings->setCurrentIndex(0);
  t.W.actScaleRec->trigger();
  EXPECT_EQ(t.W.tbcSettings->currentWidget(), t.W.TabScale);

  // The menu opened at a point: marker 1 lands on the first record right of it, as a Shift click there.
  t.W.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.W));
  t.W.FCrvChart->Image();
  const QRect area = t.W.FCrvChart->CurveRect();
  const QPoint at1(area.left() + area.width() * 3 / 10, area.center().y());
  emit t.W.FCrvChart->customContextMenuRequested(at1);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr) << "the chart's menu is shown";
  EXPECT_EQ(Texts(menu->actions()), entries);
  menu->close();
  t.W.actMarker1->trigger();
  int idx1 = -1;
  for (int i = 0; i < t.M().GetMessCnt() && idx1 < 0; ++i)
    if (t.M().Column(i) > at1.x()) idx1 = i;
  ASSERT_GT(idx1, 0);
  EXPECT_EQ(t.M().MarkIdx(0), idx1);
  ASSERT_EQ(t.W.FMarkerLst.size(), 3);
  EXPECT_FLOAT_EQ(t.W.FMarkerLst[1].M1, VoltageAt(idx1, 2));
  EXPECT_EQ(t.W.grdMarker->item(1, 1)->text(),
            QString::number(double(VoltageAt(idx1, 2)), 'f', 3).remove(QRegularExpression("\\.?0+$")));
  EXPECT_EQ(t.W.tbcSettings->currentWidget(), t.W.grdMarker) << "the marker table comes to the front as after a click";

  // Marker 2: the last record left of the point.
  const QPoint at2(area.left() + area.width() * 8 / 10, area.center().y());
  emit t.W.FCrvChart->customContextMenuRequested(at2);
  if (auto* m2 = qobject_cast<QMenu*>(QApplication::activePopupWidget())) m2->close();
  t.W.actMarker2->trigger();
  int idx2 = -1;
  for (int i = t.M().GetMessCnt() - 1; i >= 0 && idx2 < 0; --i)
    if (t.M().Column(i) < at2.x()) idx2 = i;
  ASSERT_GT(idx2, idx1);
  EXPECT_EQ(t.M().MarkIdx(1), idx2);
  EXPECT_FLOAT_EQ(t.W.FMarkerLst[0].M2, VoltageAt(idx2, 1));
  EXPECT_FLOAT_EQ(t.W.FMarkerLst[0].Dif, VoltageAt(idx1, 1) - VoltageAt(idx2, 1));
  EXPECT_EQ(t.W.grdMarker->horizontalHeaderItem(3)->text(),
            NanoSecToDuration(uint64_t(idx2 - idx1) * 600ull * 1000000000ull));
}

// ---- the harmonic bars ---------------------------------------------------------------------

TEST(AnalysisHarmonics, BarsOfTheRowAtMarker1WithTheirOwnMenu) {
  TShown t;
  // The entries are offered when the chart's menu opens.
  emit t.W.FCrvChart->customContextMenuRequested(QPoint(5, 5));
  if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) menu->close();
  EXPECT_TRUE(t.W.actShowHarmU->isVisible());
  EXPECT_TRUE(t.W.actShowHarmI->isVisible());
  EXPECT_TRUE(Texts(t.W.FCrvChart->actions()).contains(QStringLiteral("Harmonische Spannung")));
  EXPECT_TRUE(Texts(t.W.GridRec->actions()).contains(QStringLiteral("Harmonische Spannung")));

  // Without a marker: the first row, per conductor and order.
  t.W.actShowHarmU->trigger();
  ASSERT_EQ(t.W.FRight->currentWidget(), t.W.FHrmChart);
  const THarmBarModel& m = t.W.FHrmChart->Model();
  EXPECT_EQ(m.VantaDisp(), TVantaDisp::sdHrmULE);
  EXPECT_FLOAT_EQ(m.Value(T4Leiter::lt1, 5), HarmAt(0, 5, 1));
  EXPECT_FLOAT_EQ(m.Value(T4Leiter::lt2, 3), HarmAt(0, 3, 2));
  EXPECT_FLOAT_EQ(m.Value(T4Leiter::lt3, 7), HarmAt(0, 7, 3));
  EXPECT_FLOAT_EQ(m.Value(T4Leiter::lt1, 8), 0.0f) << "no channel, no bar";
  EXPECT_FLOAT_EQ(m.Value(T4Leiter::lt0, 3), 0.0f);
  EXPECT_EQ(m.FTSStop, t.W.FShownTime.MilliText({CStart, 0}));
  EXPECT_EQ(m.FYUnit, QStringLiteral("%"));

  // Its own menu, and the clipboard gets the bars as text.
  const QStringList entries = Texts(t.W.FHrmChart->actions());
  for (const char* e : {"Daten Kopieren", "Bild Kopieren", "Bild Drucken", "Kurven", "Tabelle"})
    EXPECT_TRUE(entries.contains(QString::fromUtf8(e))) << e;
  t.W.actCopyHrmData->trigger();
  const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Info\t0\t1\t2")));
  const QString l2 = lines.filter(QRegularExpression(QStringLiteral("^L2 \\(Val\\)"))).value(0);
  EXPECT_EQ(l2.split(QLatin1Char('\t')).value(1 + 4), QString::number(double(HarmAt(0, 4, 2)), 'g', 6))
      << l2.toStdString();
  t.W.actCopyHrmImage->trigger();
  EXPECT_FALSE(QApplication::clipboard()->pixmap().isNull());
  Shot(t.W, QStringLiteral("analysis-harmonics.png"));

  // Marker 1 set on the curves moves the bars to its row.
  t.W.SwitchGridPB(false);
  t.W.show();
  t.W.FCrvChart->Image();
  const QRect area = t.W.FCrvChart->CurveRect();
  t.W.SetMarkerAt(0, QPoint(area.left() + area.width() / 2, area.center().y()));
  const int row = t.M().MarkIdx(0);
  ASSERT_GT(row, 0);
  t.W.actShowHarmU->trigger();
  EXPECT_FLOAT_EQ(t.W.FHrmChart->Model().Value(T4Leiter::lt1, 5), HarmAt(row, 5, 1));
  EXPECT_EQ(t.W.FHrmChart->Model().FTSStop, t.W.FShownTime.MilliText({CStart + uint32_t(row) * 600, 0}));
  // While the bars show, moving marker 1 moves them along.
  t.W.SwitchGridPB(false);
  t.W.SetMarkerAt(0, QPoint(area.left() + 2, area.center().y()));
  const int first = t.M().MarkIdx(0);
  t.W.FRight->setCurrentWidget(t.W.FHrmChart);
  t.W.SetMarkerAt(0, QPoint(area.left() + area.width() * 9 / 10, area.center().y()));
  const int late = t.M().MarkIdx(0);
  ASSERT_NE(late, first);
  EXPECT_FLOAT_EQ(t.W.FHrmChart->Model().Value(T4Leiter::lt3, 2), HarmAt(late, 2, 3));

  // The current's harmonics in their own unit; back to the curves and the table.
  t.W.actShowHarmI->trigger();
  EXPECT_EQ(t.W.FHrmChart->Model().VantaDisp(), TVantaDisp::sdHrmIL);
  EXPECT_EQ(t.W.FHrmChart->Model().FYUnit, QStringLiteral("A"));
  EXPECT_FLOAT_EQ(t.W.FHrmChart->Model().Value(T4Leiter::lt1, 3), 2.5f + float(late));
  EXPECT_FLOAT_EQ(t.W.FHrmChart->Model().Value(T4Leiter::lt1, 5), 0.0f) << "the voltage's bars are gone";
  t.W.actShowCurves->trigger();
  EXPECT_EQ(t.W.FRight->currentWidget(), t.W.PanPaintBox);
  t.W.FRight->setCurrentWidget(t.W.FHrmChart);
  t.W.actShowTable->trigger();
  EXPECT_EQ(t.W.FRight->currentWidget(), t.W.PanRec);
}

TEST(AnalysisHarmonics, ARecordingWithoutHarmonicsOffersNone) {
  TShown t(false);
  EXPECT_FALSE(t.W.actShowHarmU->isVisible());
  EXPECT_FALSE(t.W.actShowHarmI->isVisible());
  EXPECT_FALSE(t.W.ShowHarmonics(false));
  EXPECT_NE(t.W.FRight->currentWidget(), t.W.FHrmChart);
  ASSERT_TRUE(SpinUntil([&] { return !t.W.ShownMessages().isEmpty(); }, 2000));
  EXPECT_EQ(t.W.ShownMessages().last(),
            QStringLiteral("Die angezeigte Datei enthält keine Harmonischen der Spannung."));
  CloseBoxes(t.W);
}

TEST(AnalysisHarmonics, AnotherFileWithoutThemTakesTheBarsAway) {
  TShown t;
  ASSERT_TRUE(t.W.ShowHarmonics(false));
  QTemporaryDir other;
  t.W.RecToTable(WriteRecording(other.path(), false));
  // The menus are checked again when they open.
  QContextMenuEvent open(QContextMenuEvent::Mouse, QPoint(5, 5), t.W.GridRec->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(t.W.GridRec, &open);
  EXPECT_FALSE(t.W.actShowHarmU->isVisible());
  EXPECT_NE(t.W.FRight->currentWidget(), t.W.FHrmChart);
}

// ---- the quantity groups' captions ---------------------------------------------------------

TEST(AnalysisGroupCaption, TheMeasurementsNameFromTheDescriptions) {
  TShown plain;
  ASSERT_GE(plain.W.tvSelect->topLevelItemCount(), 4);
  EXPECT_EQ(plain.Group(0)->text(0), QStringLiteral("U"))
      << "without descriptions: the first word of the first channel";

  QTemporaryDir dir;
  const QString path = WriteRecording(dir.path());
  TFormOffline w;
  w.resize(1100, 650);
  w.FOnGetMessPtr = [](uint32_t id, TMGVantaRec& rec) {
    switch (id) {
      case CGrpU: rec.Short = QStringLiteral("Spannung"); return true;
      case CGrpI: rec.Short = QStringLiteral("Strom"); return true;
      case CGrpHU: rec.Short = QStringLiteral("Harmonische Spannung"); return true;
      case CGrpHI: rec.Short = QString(); return true;  // known, but no text
      default: return false;
    }
  };
  if (!qEnvironmentVariable("VANTA_SHOT_DIR").isEmpty()) w.show();  // laid out first: the tree keeps its width
  w.RecToTable(path);
  ASSERT_EQ(w.tvSelect->topLevelItemCount(), 4);
  EXPECT_EQ(w.tvSelect->topLevelItem(0)->text(0), QStringLiteral("Spannung"));
  EXPECT_EQ(w.tvSelect->topLevelItem(1)->text(0), QStringLiteral("Strom"));
  EXPECT_EQ(w.tvSelect->topLevelItem(2)->text(0), QStringLiteral("Harmonische Spannung"));
  EXPECT_EQ(w.tvSelect->topLevelItem(3)->text(0), QStringLiteral("H3")) << "an empty description is none";
  EXPECT_EQ(w.tvSelect->topLevelItem(2)->childCount(), 18);
  Shot(w, QStringLiteral("analysis-groups.png"));
}

TEST(AnalysisGroupCaption, FallbacksOfTheFreeFunction) {
  const TMeasLookup none;
  EXPECT_EQ(GroupCaption(CGrpU, {1, CGrpU, QStringLiteral("V"), QStringLiteral("  Plt L1")}, none),
            QStringLiteral("Plt"));
  EXPECT_EQ(GroupCaption(CGrpU, {1, CGrpU, QStringLiteral("V"), QString()}, none), QStringLiteral("Gruppe 0x0100FFFF"));
  const TMeasLookup byGroup = [](uint32_t id, TMeasInfo& info) {
    if (id != CGrpU) return false;
    info.Name = QStringLiteral(" Spannung ");
    return true;
  };
  EXPECT_EQ(GroupCaption(CGrpU, {1, CGrpU, QStringLiteral("V"), QStringLiteral("U L1")}, byGroup),
            QStringLiteral("Spannung"));
  EXPECT_EQ(GroupCaption(CGrpI, {1, CGrpI, QStringLiteral("A"), QStringLiteral("I L1")}, byGroup), QStringLiteral("I"))
      << "neither the measurement nor the group described: the channel's first word";
  // The measurement's own description comes first.
  const TMeasLookup both = [](uint32_t id, TMeasInfo& info) {
    if (id == 0x01000100u) info.Name = QStringLiteral("Spannung L-N");
    else if (id == CGrpU) info.Name = QStringLiteral("Gruppe Spannung");
    else return false;
    return true;
  };
  EXPECT_EQ(GroupCaption(CGrpU, {0x01000100u, CGrpU, QStringLiteral("V"), QStringLiteral("U L1")}, both),
            QStringLiteral("Spannung L-N"));
}
