// The live window against the simulator: the value panel's texts, the
// oscilloscope's curves, its menu, the software trigger, the device's
// display with its keys, and "Zurück".
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QTest>

#include <QSlider>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>

#include "DevPicture.h"
#include "FormComplete.h"
#include "FormVisu.h"
#include "FreqCharts.h"
#include "PaintBox.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::Shot;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {
struct TVisu {
  TSimProcess Sim;
  QTemporaryDir Data;
  QStringList Log;  // outlives the window
  TFormVisu W;
  bool Start() {
    if (!Sim.Start({QStringLiteral("--generation"), QStringLiteral("2")})) return false;
    return vanta::test::ConnectToSim(W, Data.path(), Log, Sim.Port) &&
           SpinUntil([&] { return W.BtnOsci->isVisibleTo(&W); }, 10000);
  }
  void Shot(const QString& name) { vanta::test::Shot(W, name); }
};
}  // namespace

TEST(LiveWindow, PanelOscilloscopeCurvesAndTheTitleBackToTheStart) {
  TVisu t;
  ASSERT_TRUE(t.Start()) << t.Log.join('\n').toStdString();
  t.W.ButPanelClick();
  EXPECT_TRUE(t.W.InView());
  ASSERT_TRUE(SpinUntil([&] { return t.W.Field(QStringLiteral("edtF"))->text() == QStringLiteral("50.00 Hz"); }, 10000));
  EXPECT_EQ(t.W.Field(QStringLiteral("edtUL3"))->text(), QStringLiteral("229.00 V"));
  EXPECT_EQ(t.W.Field(QStringLiteral("edtIR"))->text(), QStringLiteral("0.03 A"));
  EXPECT_EQ(t.W.Field(QStringLiteral("edtcosPH"))->text(), QStringLiteral("ind. 0.87 "));
  EXPECT_TRUE(t.W.grpBoxBinary->isVisibleTo(&t.W)) << "firmware 2.10.0";
  t.W.BtnOsciClick();
  EXPECT_EQ(t.W.TabCtrlStream->currentWidget(), t.W.TabItmPanel) << "one view at a time";
  t.Shot(QStringLiteral("live-panel.png"));
  t.W.actMenuBackExecute();
  EXPECT_FALSE(t.W.InView());

  t.W.BtnOsciClick();
  ASSERT_NE(t.W.FPQPaintBoxCrvOszi, nullptr);
  TCrvTimeModel& m = t.W.FPQPaintBoxCrvOszi->Model();
  EXPECT_EQ(m.GetCrvCnt(), 12) << "every channel button pressed";
  ASSERT_TRUE(SpinUntil([&] { return m.GetMessCnt() == 4096; }, 10000));
  EXPECT_EQ(m.ZoomIdx2(), 4095);
  EXPECT_LT(m.Curve(0).FSclMin, -300) << "autoscaled to the 230 V sine";
  EXPECT_GT(m.Curve(0).FSclMax, 300);
  EXPECT_EQ(m.SubRegionNumber(), 3);
  {
    // The currents' region is numbered over all of its curves, not its first one's.
    m.SetRange(11, -50, 60);  // IR
    (void)t.W.FPQPaintBoxCrvOszi->grab();
    const std::vector<TYLinNorm>& axes = t.W.FPQPaintBoxCrvOszi->RegionAxes();
    ASSERT_EQ(axes.size(), 3u);
    EXPECT_LE(axes[2].FSclMin, -50.0);
    EXPECT_GE(axes[2].FSclMax, 60.0);
    t.W.FPQPaintBoxCrvOszi->AutoScaleAll();
  }
  t.W.actStack->trigger();
  EXPECT_EQ(m.Stack(), 2);
  t.W.actStack->trigger();
  t.W.actStack->trigger();
  EXPECT_EQ(m.Stack(), 1) << "1 -> 2 -> 0 -> 1";
  t.Shot(QStringLiteral("live-osc.png"));
  // Releasing buttons takes the curves away; the next record fills the rest.
  t.W.FChannelButtons[11]->click();
  t.W.FChannelButtons[0]->click();
  EXPECT_EQ(m.GetCrvCnt(), 10);
  EXPECT_EQ(t.W.FOsziArrNumbers.first(), 1);
  ASSERT_TRUE(SpinUntil([&] { return m.GetMessCnt() == 4096; }, 10000));
  const QImage image = t.W.FPQPaintBoxCrvOszi->Image();
  EXPECT_FALSE(image.isNull());
  const int paints = t.W.FPQPaintBoxCrvOszi->PaintCount();
  t.W.FPQPaintBoxCrvOszi->Image();
  EXPECT_EQ(t.W.FPQPaintBoxCrvOszi->PaintCount(), paints) << "nothing changed: not drawn again";
  t.W.actMenuBackExecute();
  EXPECT_EQ(t.W.FPQPaintBoxCrvOszi, nullptr) << "every view starts with a fresh chart";

  // The title leads to the start page: the stream stops, the chart stays.
  t.W.txtTopClick();
  EXPECT_EQ(t.W.TabCtrlStream->currentWidget(), t.W.TabItmStart) << "on the start page already: nothing to do";
  t.W.BtnOsciClick();
  ASSERT_NE(t.W.FPQPaintBoxCrvOszi, nullptr);
  TPQPaintBoxCrvTime* chart = t.W.FPQPaintBoxCrvOszi;
  ASSERT_TRUE(SpinUntil([&] { return chart->Model().GetMessCnt() == 4096; }, 10000));
  ASSERT_TRUE(t.W.FComUnit->FStreamRec.Active);
  ASSERT_NE(t.W.txtTop, nullptr);
  t.W.txtTop->click();
  EXPECT_EQ(t.W.TabCtrlStream->currentWidget(), t.W.TabItmStart);
  EXPECT_FALSE(t.W.InView());
  EXPECT_TRUE(SpinUntil([&] { return !t.W.FComUnit->FStreamRec.Active; }, 5000)) << "the stream stops";
  EXPECT_EQ(t.W.FPQPaintBoxCrvOszi, chart) << "the chart stays";
  EXPECT_EQ(chart->Model().GetMessCnt(), 4096) << "with what it showed";
  t.W.BtnOsciClick();
  EXPECT_EQ(t.W.FPQPaintBoxCrvOszi, chart) << "the view opens on its kept chart";
  EXPECT_TRUE(SpinUntil([&] { return t.W.FComUnit->FStreamRec.Active; }, 5000));
  // The software trigger stores a disturbance on the device.
  const QString dir = t.Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/recorder/rec");
  const int before = int(QDir(dir).entryList(QDir::Files).size());
  t.W.actSoftTriggExecute();
  ASSERT_TRUE(SpinUntil([&] { return int(QDir(dir).entryList(QDir::Files).size()) > before; }, 10000));
}

// The display follows the device; leaving and coming back quickly must not
// leave two loops asking for images, and once the view is left none come.
TEST(LiveWindow, DeviceDisplayFollowsInOneLoopUntilTheViewIsLeft) {
  TVisu t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(t.W.btnDisplay->isVisibleTo(&t.W)) << "the simulator is a device type with a display";
  t.W.btnDisplayClick();
  EXPECT_EQ(t.W.TabCtrlStream->currentWidget(), t.W.TabItmDisp);
  ASSERT_TRUE(SpinUntil([&] { return t.W.DisplayImages() >= 2; }, 10000)) << "the next image follows the last";
  EXPECT_FALSE(t.W.imgDisp->pixmap().isNull());
  t.W.NewOnKeyDown(Qt::Key_Left);  // pressed on the device, seen in its next image
  t.Shot(QStringLiteral("live-display.png"));
  for (int i = 0; i < 3; ++i) {
    vanta::test::SpinFor(150);  // the next pause is running
    t.W.actMenuBackExecute();
    t.W.btnDisplayClick();
  }
  vanta::test::SpinFor(1000);  // whatever was on its way has come
  const int from = t.W.DisplayImages();
  vanta::test::SpinFor(3000);
  const int seen = t.W.DisplayImages() - from;
  EXPECT_GE(seen, 3) << "the view still follows the device";
  EXPECT_LE(seen, 7) << "one image per half second, not one per loop started";
  t.W.actMenuBackExecute();
  EXPECT_FALSE(t.W.FDisplayActive);
  vanta::test::SpinFor(700);
  const int images = t.W.DisplayImages();
  vanta::test::SpinFor(1200);
  EXPECT_EQ(t.W.DisplayImages(), images) << "no more images once the view is left";
}

// An image the window never gets (refused, lost on the way) does not end the
// loop: the view asks again once the answer is overdue.
TEST(LiveWindow, ALostDisplayImageIsAskedForAgain) {
  TVisu t;
  ASSERT_TRUE(t.Start());
  t.W.FDisplayAnswerMs = 400;
  // The next answer goes astray.
  auto deliver = t.W.FComUnit->FSetNewDisplayImage;
  int dropped = 0;
  t.W.FComUnit->FSetNewDisplayImage = [&](QObject* s, TMemoryStream& img) {
    if (dropped++ == 0) return;
    deliver(s, img);
  };
  t.W.btnDisplayClick();
  ASSERT_TRUE(SpinUntil([&] { return t.W.DisplayImages() >= 2; }, 10000)) << "the loop went on after the lost image";
  EXPECT_EQ(dropped - t.W.DisplayImages(), 1);
  t.W.actMenuBackExecute();
  const int images = t.W.DisplayImages();
  vanta::test::SpinFor(1200);
  EXPECT_LE(t.W.DisplayImages(), images + 1) << "the view left: no more asking";
  t.W.FComUnit->FSetNewDisplayImage = deliver;
}

TEST(LiveWindow, SpectrumBarsBandsAndPhasorsFromTheDevice) {
  TVisu t;
  ASSERT_TRUE(t.Start());
  t.W.BtnFFTClick();
  ASSERT_NE(t.W.FPQPaintBoxCrvFFT, nullptr);
  TCrvFFTModel& f = t.W.FPQPaintBoxCrvFFT->Model();
  ASSERT_TRUE(SpinUntil([&] { return f.GetMessCnt() == 2049; }, 10000));
  EXPECT_NEAR(f.Store().Value(0, 5), 230.0, 0.3) << "u1 at 50 Hz";
  EXPECT_GT(f.Curve(0).FSclMax, 0) << "scaled at the first record";
  const double top = f.Curve(0).FSclMax;
  t.W.tbZoom->setValue(9);  // the zoom bar drives the chart
  EXPECT_EQ(f.ScaleVal(), 9);
  EXPECT_DOUBLE_EQ(f.Curve(0).FSclMax, 2 * top);
  EXPECT_EQ(t.W.txtZoomPerc->text(), QStringLiteral("90%"));
  t.W.FPQPaintBoxCrvFFT->FUpdateTrackBar(12);  // the chart's wheel zoom reports back
  EXPECT_EQ(t.W.tbZoom->value(), 12);
  EXPECT_EQ(t.W.txtZoomPerc->text(), QStringLiteral("120%"));
  t.Shot(QStringLiteral("live-spectrum.png"));
  t.W.actMenuBackExecute();
  EXPECT_EQ(t.W.FPQPaintBoxCrvFFT, nullptr);

  t.W.GetHarmonics(TVantaDisp::sdHrmIL);
  ASSERT_NE(t.W.FPQPaintHrm, nullptr);
  THarmBarModel& b = t.W.FPQPaintHrm->Model();
  ASSERT_TRUE(SpinUntil([&] { return b.Value(T4Leiter::lt0, 3) > 0; }, 10000));
  EXPECT_NEAR(b.Value(T4Leiter::lt0, 3), 1.5, 1e-5) << "IN, order 3, in ampere";
  EXPECT_EQ(b.FYUnit, QStringLiteral("A"));
  ASSERT_EQ(t.W.FPQPaintHrm->actions().size(), 2);
  t.W.FPQPaintHrm->actions()[0]->trigger();  // the values as text
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("Info\t0\t1"))) << QApplication::clipboard()->text().left(40).toStdString();
  t.Shot(QStringLiteral("live-harmonics.png"));
  // The line-to-line view names its bars by the conductor pairs.
  t.W.actMenuBackExecute();
  t.W.GetHarmonics(TVantaDisp::sdHrmULL);
  ASSERT_NE(t.W.FPQPaintHrm, nullptr);
  THarmBarModel& ll = t.W.FPQPaintHrm->Model();
  ASSERT_TRUE(SpinUntil([&] { return ll.Value(T4Leiter::lt1, 5) > 0; }, 10000));
  EXPECT_EQ(ll.FConductors[0], QStringLiteral("U12"));
  EXPECT_EQ(ll.FConductors[2], QStringLiteral("U31"));
  t.Shot(QStringLiteral("live-harmonics-ll.png"));
  t.W.actMenuBackExecute();

  t.W.BtnVecDiagClick();
  ASSERT_NE(t.W.FPQPaintVect, nullptr);
  int painted = 0;
  t.W.FPQPaintVect->FPaintNotify = [&](TPQPaintBox* sender, int count) {
    EXPECT_EQ(sender, t.W.FPQPaintVect);
    painted = count;
  };
  ASSERT_TRUE(SpinUntil([&] { return t.W.FPQPaintVect->Model().MagAngle(TVecPointer::vpU2E).Magn > 0; }, 10000));
  EXPECT_NEAR(t.W.FPQPaintVect->Model().MagAngle(TVecPointer::vpU2E).Angle, -120.0, 1e-4);
  t.W.FPQPaintVect->Image();  // draws what is due, as a paint event would
  EXPECT_GT(painted, 0) << "every drawing is told";
  // The menu entry by its text, triggered; false when there is none.
  auto trigger = [](QWidget* w, const QString& text) {
    for (QAction* a : w->actions())
      if (a->text() == text) return a->trigger(), true;
    return false;
  };
  QApplication::clipboard()->setText(QStringLiteral("kept"));
  ASSERT_TRUE(trigger(t.W.FPQPaintVect, QStringLiteral("Daten in Zwischenablage")));
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept")) << "the diagram has no text export";
  t.Shot(QStringLiteral("live-vectors.png"));
  // The load flow from the vector view's menu, on the running stream.
  t.W.ActLoadFlow->trigger();
  ASSERT_NE(t.W.FPQPaintLoad, nullptr);
  ASSERT_TRUE(SpinUntil([&] { return t.W.FPQPaintLoad->Model().BasicAngle()[0] != 0; }, 10000));
  for (float a : t.W.FPQPaintLoad->Model().BasicAngle()) EXPECT_NEAR(a, 30.0f, 1e-4) << "the currents lag by 30 degrees";
  EXPECT_GT(t.W.FPQPaintLoad->Model().FHrmMaxU, 0.0f);
  EXPECT_EQ(t.W.FPQPaintLoad->FFW.Gen, t.W.FComUnit->FRev.Gen);
  ASSERT_TRUE(trigger(t.W.FPQPaintLoad, QStringLiteral("Daten in Zwischenablage")));
  const QStringList clip = QApplication::clipboard()->text().split(QLatin1Char('\n'));
  ASSERT_EQ(clip.size(), 53) << "angles, head, orders 0 to 50";
  EXPECT_TRUE(clip[0].startsWith(QStringLiteral("Phi_L1=30.00\t"))) << clip[0].toStdString();
  EXPECT_TRUE(clip[3].startsWith(QStringLiteral("1\t100\t100\t100\t10\t11\t12"))) << clip[3].toStdString();
  t.Shot(QStringLiteral("live-loadflow.png"));
  // Back to the diagram from the load flow's menu: the stream goes on.
  const int streams = int(t.Log.filter(QStringLiteral("CCC_STREAM_START")).size());
  ASSERT_TRUE(trigger(t.W.FPQPaintLoad, QStringLiteral("Vektor-Diagramm")));
  EXPECT_TRUE(t.W.FPQPaintVect->isVisibleTo(&t.W));
  EXPECT_FALSE(t.W.FPQPaintLoad->isVisibleTo(&t.W));
  EXPECT_EQ(t.W.FStrucInf.VantaDisp, TVantaDisp::sdVecDiag);
  vanta::test::SpinFor(300);
  EXPECT_EQ(t.Log.filter(QStringLiteral("CCC_STREAM_START")).size(), streams);
  t.W.actMenuBackExecute();
  EXPECT_EQ(t.W.FPQPaintLoad, nullptr);
  // The interharmonics and the frequency bands carry their captions.
  t.W.GetHarmonics(TVantaDisp::sdIHrmULE);
  THarmBarModel& ih = t.W.FPQPaintHrm->Model();
  ASSERT_TRUE(SpinUntil([&] { return !ih.FTSStop.isEmpty(); }, 10000));
  EXPECT_EQ(ih.FHrmMaxIdx, 49);
  // The record time once in the device's zone, as the status line shows it.
  EXPECT_EQ(ih.FTSStop, TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(t.W.FComUnit->FBytes.TS_Mess)));
  EXPECT_TRUE(ih.GetCaption().startsWith(QStringLiteral("Zwischenharmonische Spannung L-N [% - "))) << ih.GetCaption().toStdString();
  t.Shot(QStringLiteral("live-interharmonics.png"));
  t.W.actMenuBackExecute();
  t.W.GetFrqBand(TVantaDisp::sdFrqBandIL);  // a new chart: leaving the view dropped the old one
  THarmBarModel& c = t.W.FPQPaintHrm->Model();
  ASSERT_TRUE(c.FTSStop.isEmpty()) << "a new view starts without the last one's record";
  ASSERT_TRUE(SpinUntil([&] { return !c.FTSStop.isEmpty(); }, 10000));
  EXPECT_EQ(c.FHrmMaxIdx, 34);
  EXPECT_EQ(c.FHrmTxt[34], QStringLiteral("8900 Hz"));
  EXPECT_TRUE(c.GetCaption().startsWith(QStringLiteral("Frequenzbänder 2-9 kHz Strom [A - ")));
  t.Shot(QStringLiteral("live-bands.png"));
}

namespace {
// A key's colour away from its glyph: the upper left inside its frame.
QColor KeyFill(TDevPicture& pic, const QString& key) {
  const QRect r = pic.KeyRect(key);
  return pic.grab().toImage().pixelColor(r.topLeft() + QPoint(r.width() / 5, r.height() / 5));
}
void MoveTo(QWidget* w, const QPoint& at) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &move);
}
bool Near(const QColor& a, const QColor& b) {
  return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}
// The simulator's display shows its last key lit (0xFFD000) at the key's
// place in a cross, and one white dot per key pressed so far.
struct TSimKey {
  QString Name;
  Qt::Key Key;
  QPoint Lit;
};
const TSimKey CSimKeys[] = {{QStringLiteral("rctnglLeft"), Qt::Key_Left, {230, 195}},
                            {QStringLiteral("rctnglRight"), Qt::Key_Right, {290, 195}},
                            {QStringLiteral("rctngltop"), Qt::Key_Up, {260, 170}},
                            {QStringLiteral("rctnglbot"), Qt::Key_Down, {260, 220}},
                            {QStringLiteral("rctnglCenter"), Qt::Key_Return, {260, 195}}};
bool DisplayShowsKey(TFormVisu& w, const QPoint& lit, int presses) {
  return SpinUntil([&] {
    const QImage img = w.imgDisp->pixmap().toImage();
    if (img.width() != 320 || img.height() != 240) return false;
    int dots = 0;
    while (dots < 20 && img.pixelColor(23 + 10 * dots, 203) == QColor(Qt::white)) ++dots;
    return dots == presses && img.pixelColor(lit) == QColor(0xFF, 0xD0, 0x00);
  }, 10000);
}
int LuaCommands(const QStringList& log) { return int(log.filter(QStringLiteral("Sending CCC_LUA_COMMAND")).size()); }
}  // namespace

// The display view: the device's image inside the screen of a picture of
// its front, whose key cross presses the device's keys; the keyboard's
// arrows and Enter press them too.
TEST(LiveWindow, DevicePictureKeysPressTheDeviceKeys) {
  TVisu t;
  ASSERT_TRUE(t.Start());
  t.W.resize(1180, 760);
  t.W.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.W));
  t.W.btnDisplayClick();
  ASSERT_EQ(t.W.TabCtrlStream->currentWidget(), t.W.TabItmDisp);
  TDevPicture& pic = *t.W.imgDev;
  ASSERT_TRUE(pic.isVisibleTo(&t.W));
  ASSERT_EQ(pic.Kind(), TDevPictureKind::dpVanta) << "the simulator identifies as a device with a display";
  ASSERT_TRUE(SpinUntil([&] { return !t.W.imgDisp->pixmap().isNull(); }, 10000));

  // The image fills the picture's screen.
  const QRect screen = pic.ScreenRect();
  ASSERT_FALSE(screen.isEmpty());
  EXPECT_EQ(t.W.imgDisp->parentWidget(), &pic);
  EXPECT_TRUE(t.W.imgDisp->isVisibleTo(&t.W));
  EXPECT_EQ(t.W.imgDisp->geometry(), screen);
  EXPECT_TRUE(QRect(QPoint(0, 0), pic.size()).contains(screen));
  for (const TDevKeyArea& k : pic.Keys()) EXPECT_FALSE(screen.intersects(pic.KeyRect(k.Key))) << k.Name.toStdString();
  {
    // The first voltage's bar (red, from (20, 30) in the device's 320 x 240 image) is seen where the screen puts it.
    const QImage seen = pic.grab().toImage();
    auto at = [&](int x, int y) { return seen.pixelColor(screen.x() + x * screen.width() / 320, screen.y() + y * screen.height() / 240); };
    EXPECT_TRUE(Near(at(60, 42), QColor(0xE0, 0x40, 0x40))) << at(60, 42).name().toStdString();
    EXPECT_TRUE(Near(at(60, 122), QColor(0x40, 0x80, 0xF0))) << "the third voltage's bar: " << at(60, 122).name().toStdString();
  }
  t.Shot(QStringLiteral("live-display-device.png"));

  // The key under the mouse lights up; the screen and the housing are no keys.
  const QColor plain = KeyFill(pic, QStringLiteral("rctngltop"));
  MoveTo(&pic, pic.KeyRect(QStringLiteral("rctngltop")).center());
  ASSERT_GE(pic.HoverIndex(), 0);
  EXPECT_EQ(pic.Keys()[pic.HoverIndex()].Name, QStringLiteral("rctngltop"));
  EXPECT_EQ(pic.toolTip(), QStringLiteral("Auf"));
  const QColor lit = KeyFill(pic, QStringLiteral("rctngltop"));
  EXPECT_GT(lit.red(), lit.blue() + 80) << "in the lamps' orange, was " << plain.name().toStdString();
  t.Shot(QStringLiteral("live-display-hover.png"));
  MoveTo(&pic, screen.center());
  EXPECT_EQ(pic.HoverIndex(), -1);
  EXPECT_EQ(KeyFill(pic, QStringLiteral("rctngltop")), plain);
  const int before = LuaCommands(t.Log);
  QTest::mouseClick(&pic, Qt::LeftButton, {}, screen.center());
  QTest::mouseClick(&pic, Qt::LeftButton, {}, pic.KeyRect(QStringLiteral("rctnglCenter")).bottomRight() + QPoint(4, 4));
  vanta::test::SpinFor(300);
  EXPECT_EQ(LuaCommands(t.Log), before) << "beside the keys: nothing pressed";

  int presses = 0;
  for (const TSimKey& k : CSimKeys) {
    SCOPED_TRACE(k.Name.toStdString());
    const QRect r = pic.KeyRect(k.Name);
    ASSERT_FALSE(r.isEmpty());
    QTest::mouseClick(&pic, Qt::LeftButton, {}, r.center());
    EXPECT_TRUE(DisplayShowsKey(t.W, k.Lit, ++presses)) << "the device's display shows the key pressed";
  }
  EXPECT_EQ(t.W.focusWidget(), &pic) << "the keyboard goes to the picture";
  for (const TSimKey& k : CSimKeys) {
    SCOPED_TRACE(int(k.Key));
    QTest::keyClick(&pic, k.Key);
    EXPECT_TRUE(DisplayShowsKey(t.W, k.Lit, ++presses)) << "the keyboard presses the same keys";
  }
  QTest::keyClick(&pic, Qt::Key_Enter);  // the keypad's Enter as well
  EXPECT_TRUE(DisplayShowsKey(t.W, CSimKeys[4].Lit, ++presses));

  t.W.actMenuBackExecute();
  const int left = LuaCommands(t.Log);
  QTest::keyClick(&t.W, Qt::Key_Left);
  vanta::test::SpinFor(300);
  EXPECT_EQ(LuaCommands(t.Log), left) << "off the display view the arrows press nothing";
}

// Every device type gets a picture: its own, or the generic one with the
// same screen and keys; a given picture of the front stands in for the drawn one.
TEST(LiveWindow, APictureForEveryDeviceType) {
  TFormVisu w;
  w.resize(980, 680);
  w.TabCtrlStream->setCurrentWidget(w.TabItmDisp);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  TDevPicture& pic = *w.imgDev;
  const QStringList names = {QStringLiteral("rctnglLeft"), QStringLiteral("rctnglRight"), QStringLiteral("rctngltop"),
                             QStringLiteral("rctnglbot"), QStringLiteral("rctnglCenter")};
  auto allKeys = [&] {
    for (const QString& n : names)
      if (pic.KeyRect(n).isEmpty()) return false;
    return pic.Keys().size() == 5;
  };
  EXPECT_EQ(pic.Kind(), TDevPictureKind::dpGeneric) << "not identified yet";
  EXPECT_TRUE(allKeys());
  EXPECT_FALSE(pic.ScreenRect().isEmpty());
  Shot(w, QStringLiteral("live-display-generic.png"));

  w.SetDevImage(TDevType::devtypVantaDE);
  EXPECT_EQ(pic.Kind(), TDevPictureKind::dpVantaDE);
  EXPECT_TRUE(pic.ScreenRect().isEmpty()) << "this type has no display";
  EXPECT_TRUE(pic.Keys().isEmpty()) << "and no keys for one";
  EXPECT_FALSE(w.imgDisp->isVisibleTo(&w));
  w.SetDevImage(TDevType::devtypVantaLorn);
  EXPECT_EQ(pic.Kind(), TDevPictureKind::dpVantaLorn);
  EXPECT_TRUE(allKeys());
  EXPECT_TRUE(w.imgDisp->isVisibleTo(&w));
  EXPECT_EQ(w.imgDisp->geometry(), pic.ScreenRect());
  Shot(w, QStringLiteral("live-display-lorn.png"));
  for (TDevType unknown : {TDevType::devtypOmnivex, TDevType(77)}) {
    w.SetDevImage(unknown);
    EXPECT_EQ(pic.Kind(), TDevPictureKind::dpGeneric) << int(unknown);
    EXPECT_TRUE(allKeys()) << "the generic picture still has every key";
  }

  // A picture of the front instead of the drawn housing, the screen and keys where they were.
  w.SetDevImage(TDevType::devtypVanta);
  const QRect key = pic.KeyRect(QStringLiteral("rctnglRight"));
  const QPoint housing = pic.KeyRect(QStringLiteral("rctnglbot")).bottomLeft() + QPoint(0, 20);
  const QColor drawn = pic.grab().toImage().pixelColor(housing);
  QPixmap front(960, 640);
  front.fill(QColor(0x20, 0xA0, 0x60));
  w.SetDevImage(front);
  EXPECT_EQ(pic.Bitmap().size(), front.size());
  EXPECT_EQ(pic.grab().toImage().pixelColor(housing), QColor(0x20, 0xA0, 0x60));
  EXPECT_EQ(pic.grab().toImage().pixelColor(key.center()), QColor(0x20, 0xA0, 0x60)) << "the keys are the picture's own";
  EXPECT_EQ(pic.KeyRect(QStringLiteral("rctnglRight")), key);
  w.SetDevImage(TDevType::devtypVantaLorn);
  EXPECT_FALSE(pic.Bitmap().isNull()) << "the given picture stays for the type's areas";
  w.SetDevImage(TDevType::devtypVanta);
  Shot(w, QStringLiteral("live-display-bitmap.png"));
  w.SetDevImage(QPixmap());
  EXPECT_TRUE(pic.Bitmap().isNull());
  MoveTo(&pic, QPoint(1, 1));
  EXPECT_EQ(pic.grab().toImage().pixelColor(housing), drawn) << "the drawn housing again";
}

TEST(LiveWindow, ADeviceKeyCountsWhereItWasPressed) {
  TDevPicture pic;
  pic.resize(480, 320);
  pic.SetKind(TDevPictureKind::dpVanta);
  QList<TBtnControlDevice> clicked;
  QObject::connect(&pic, &TDevPicture::KeyClicked, [&](TBtnControlDevice k) { clicked << k; });
  pic.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&pic));
  QTest::mouseClick(&pic, Qt::LeftButton, {}, pic.ScreenRect().center());
  QTest::mouseClick(&pic, Qt::RightButton, {}, pic.KeyRect(TBtnControlDevice::BtnLeft).center());
  EXPECT_TRUE(clicked.isEmpty()) << "neither the screen nor the right button press a key";
  QTest::mouseClick(&pic, Qt::LeftButton, {}, pic.KeyRect(TBtnControlDevice::BtnLeft).center());
  EXPECT_EQ(clicked, (QList<TBtnControlDevice>{TBtnControlDevice::BtnLeft}));
  // Pressed on one key and let go on another: neither counts.
  QTest::mousePress(&pic, Qt::LeftButton, {}, pic.KeyRect(TBtnControlDevice::BtnLeft).center());
  QTest::mouseRelease(&pic, Qt::LeftButton, {}, pic.KeyRect(TBtnControlDevice::BtnEnter).center());
  EXPECT_EQ(clicked.size(), 1);

  // On a picture of the real front the key under the mouse is marked as well.
  QPixmap front(480, 320);
  front.fill(QColor(0x20, 0xA0, 0x60));
  pic.SetBitmap(front);
  const QPoint key = pic.KeyRect(TBtnControlDevice::BtnRight).center();
  EXPECT_EQ(pic.grab().toImage().pixelColor(key), QColor(0x20, 0xA0, 0x60));
  MoveTo(&pic, key);
  const QColor lit = pic.grab().toImage().pixelColor(key);
  EXPECT_GT(lit.red(), 0x60) << lit.name().toStdString();
  MoveTo(&pic, pic.ScreenRect().center());
  EXPECT_EQ(pic.grab().toImage().pixelColor(key), QColor(0x20, 0xA0, 0x60));
}

TEST(AllValues, EntriesColumnsAndLiveCells) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir data;
  QStringList log;
  TFormComplete w;
  w.resize(1200, 800);
  ASSERT_TRUE(vanta::test::ConnectToSim(w, data.path(), log, sim.Port));
  ASSERT_TRUE(SpinUntil([&] { return w.TreeViewOpti->topLevelItemCount() == 8; }, 10000)) << "one branch per data object";
  auto entry = [&](const QString& strukt, const QString& kind) -> QTreeWidgetItem* {
    for (QTreeWidgetItem* item : w.TreeViewOpti->findItems(kind, Qt::MatchExactly | Qt::MatchRecursive))
      if (item->parent()->text(0) == strukt) return item;
    return nullptr;
  };
  QTreeWidgetItem* hrm = entry(QStringLiteral("ssu_std_t"), QStringLiteral("stTHrm"));
  ASSERT_NE(hrm, nullptr);
  EXPECT_EQ(hrm->parent()->parent()->text(0), QStringLiteral("Standardintervall"));
  w.ClickTreeView(hrm);
  EXPECT_EQ(w.FVantaTag.Pack(), 2 | int(TVantaStruct::ssu_std_t) << 8 | int(TVantaStrucTyp::stTHrm) << 16);
  EXPECT_EQ(w.GridStream->model()->rowCount(), 51);
  EXPECT_EQ(w.GridStream->model()->columnCount(), 4);
  EXPECT_EQ(w.CellText(5, 0), QStringLiteral("5"));
  EXPECT_TRUE(w.CellText(5, 1).isEmpty()) << "no values before the first record";
  ASSERT_TRUE(SpinUntil([&] { return w.CellText(5, 1) == QStringLiteral("3.01"); }, 10000)) << "U1E order 5 in %";
  EXPECT_FALSE(w.LabSBar->text().isEmpty()) << "the record's time";

  // Another entry while the stream runs: the old stream stops, the new one fills the table.
  QTreeWidgetItem* ext = entry(QStringLiteral("ssi_ext_t"), QStringLiteral("stExt_t"));
  ASSERT_NE(ext, nullptr);
  const qsizetype before = log.size();
  w.ClickTreeView(ext);
  const QStringList since = log.mid(before);
  const qsizetype stop = since.indexOf(QRegularExpression(QStringLiteral(".*CCC_STREAM_STOP.*")));
  const qsizetype start = since.indexOf(QRegularExpression(QStringLiteral(".*CCC_STREAM_START.*")));
  EXPECT_GE(stop, 0) << since.join(QLatin1Char('\n')).toStdString();
  EXPECT_GT(start, stop) << "the running stream stops before the next starts";
  EXPECT_EQ(w.GridStream->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Time"));
  EXPECT_TRUE(w.CellText(1, 2).isEmpty()) << "the previous record is not shown under the new entry";
  ASSERT_TRUE(SpinUntil([&] { return w.CellText(1, 2) == QStringLiteral("11.55"); }, 10000)) << "I2 maximum: 105 % of 11 A";
  EXPECT_TRUE(w.CellText(1, 1).contains(QLatin1Char(':'))) << w.CellText(1, 1).toStdString();
  Shot(w, QStringLiteral("live-values.png"));
}
