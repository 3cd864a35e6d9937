// The device window base against the simulator, and the host program.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>

#include "FormBasic.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

using vanta::test::OpenBox;
using vanta::test::TWindow;

TEST(FormBasic, ConnectsAndShowsTheDevice) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TWindow t;
  EXPECT_FALSE(t.W->PanelBack->isEnabled()) << "disabled until connected";
  t.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return t.W->PanelBack->isEnabled(); }, 5000));
  EXPECT_TRUE(t.Connected);
  EXPECT_EQ(t.W->lblCon->text(),
            QStringLiteral("127.0.0.1:%1 - Umspannwerk Nord Feld 3 Vanta Sim (2.10.0)").arg(sim.Port));
  ASSERT_FALSE(t.W->imgSecure->pixmap().isNull()) << "the padlock shows";
  EXPECT_FALSE(t.W->AniIndi->isVisible());
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: Status: Connected1 ")));
  EXPECT_EQ(t.W->FSN, QStringLiteral("12345678"));
  t.W->SetCapt(QStringLiteral("Datenauslese"));
  EXPECT_TRUE(t.W->windowTitle().startsWith(QStringLiteral("Datenauslese - V0.1 ")));
}

TEST(FormBasic, ThirdConnectionMessageOnceThenTheWindowCloses) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--max-connections"), QStringLiteral("1")}));
  TWindow first, second;
  first.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return first.W->PanelBack->isEnabled(); }, 5000));
  second.W->show();
  second.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return OpenBox() != nullptr; }, 5000));
  SpinFor(300);
  EXPECT_EQ(second.Count(TwoConnectionsText()), 1);
  QMessageBox* box = OpenBox();
  ASSERT_NE(box, nullptr);
  box->button(QMessageBox::Ok)->click();
  EXPECT_TRUE(SpinUntil([&] { return !second.W->isVisible(); }, 3000)) << "asked to close after the message";
  EXPECT_FALSE(second.W->PanelBack->isEnabled());
}

TEST(FormBasic, ProgressRules) {
  TWindow t;
  QList<TProgressRecord> reports;
  t.W->FSetProg = [&](QObject*, TProgressRecord& r) { reports << r; };
  t.W->ComUnitOnWorkBegin(10000);
  EXPECT_EQ(t.W->ProgressBar1->maximum(), 10000);
  EXPECT_EQ(t.W->ProgressBar1->value(), 101);
  EXPECT_EQ(t.W->ProgressBar1->format(), QStringLiteral("0%"));
  t.W->ComUnitOnWork(5000);
  EXPECT_EQ(t.W->ProgressBar1->format(), QStringLiteral("50%"));
  t.W->ComUnitOnWorkBegin(20);  // a smaller nested transfer
  EXPECT_EQ(t.W->ProgressBar1->maximum(), 10000) << "does not reset the bar";
  t.W->ComUnitOnWork(20000);  // beyond 100 %
  EXPECT_EQ(t.W->ProgressBar1->format(), QStringLiteral("50%"));
  EXPECT_EQ(t.W->ProgressBar1->value(), 5000);
  t.W->ComUnitOnWorkEnd();
  EXPECT_EQ(t.W->ProgressBar1->value(), 0);
  EXPECT_TRUE(t.W->ProgressBar1->format().isEmpty());
  ASSERT_GE(reports.size(), 3);
  EXPECT_TRUE(reports.first().start);
  EXPECT_TRUE(reports.last().stop);
}

TEST(FormBasic, OfflineClientQueuesWithoutConnecting) {
  TWindow t;
  t.W->SetTCPCommUnit(QString(), 5040, false, true, false, true, false);
  EXPECT_TRUE(t.W->CheckConnection());
  EXPECT_FALSE(t.Log.contains(QStringLiteral("Vanta: Connecting")));
  t.W->EvtUebClick();
  EXPECT_EQ(t.W->FComUnit->CountSendLst(), 1) << "the command waits in the client's queue";
}

TEST(FormBasic, LayoutsComeFromTheHostAndGoBackOnClose) {
  TWindow t;
  TFrmParaSettings para;
  para.ParaVal = 210;
  TFrmOnOfflineSettings on;
  on.Zeit = 140;
  t.W->SetSettings(para, on);
  EXPECT_EQ(t.W->FParaEinstellungen, para);
  t.W->FParaEinstellungen.ParaVal = 250;  // the user widened a column
  TFrmParaSettings reportedPara;
  TFrmOnOfflineSettings reportedOn;
  t.W->FParaSettingsCallback = [&](QObject*, TFrmParaSettings& p) { reportedPara = p; };
  t.W->FOnOfflineSettingsCallback = [&](QObject*, TFrmOnOfflineSettings& o) { reportedOn = o; };
  t.W->show();
  t.W->close();
  EXPECT_EQ(reportedPara.ParaVal, 250);
  EXPECT_EQ(reportedOn.Zeit, 140);
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: PrepareShutdown")));
}

TEST(FormBasic, StopStreamWithoutAStreamSendsNothing) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TWindow t;
  t.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return t.W->PanelBack->isEnabled(); }, 5000));
  const int before = t.Log.filter(QStringLiteral("CCC_STREAM_STOP")).size();
  t.W->StopStream();
  SpinFor(100);
  EXPECT_EQ(t.Log.filter(QStringLiteral("CCC_STREAM_STOP")).size(), before);
  t.W->StartStream(TDataObjKind::dokSecond);
  EXPECT_TRUE(t.W->FStreamRunning);
  ASSERT_TRUE(SpinUntil([&] { return t.W->FComUnit->FStreamRec.ObjHdl >= 2; }, 3000));
  t.W->StopStream();
  EXPECT_FALSE(t.W->FStreamRunning);
  EXPECT_GT(t.Log.filter(QStringLiteral("Liste -> Kommando hinzugefügt: CCC_STREAM_STOP")).size(), 0);
}

TEST(FormBasic, LostConnectionIsShownOnce) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--fault"), QStringLiteral("close-after=2600")}));
  TWindow t;
  t.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return t.W->PanelBack->isEnabled(); }, 5000));
  t.W->GetNewDisplayImage();  // the answer is cut off by the device
  ASSERT_TRUE(SpinUntil([&] { return t.Count(ConnectionLostText()) > 0; }, 5000));
  SpinFor(800);
  EXPECT_EQ(t.Count(ConnectionLostText()), 1);
  if (QMessageBox* box = OpenBox()) box->button(QMessageBox::Ok)->click();
}

TEST(FormBasic, SerialWindowConnectsAfterTheDevicesPause) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  TWindow t(true);
  TFormBasic& w = *t.W;
  ASSERT_TRUE(w.SetSerialComUnitPath(sim.PtyPath, true, false, true, false, false));
  ASSERT_TRUE(SpinUntil([&] { return t.Ended > 0; }, 8000));
  EXPECT_TRUE(t.Connected);
  EXPECT_TRUE(SpinUntil([&] { return w.PanelBack->isEnabled(); }, 3000));
  EXPECT_TRUE(w.CheckConnection());
  // A connection message for a serial device names no host or port.
  TThreadedMessageCallBack none;
  w.DisplayConnMessage(QStringLiteral("Hinweis"), TMsgDlgType::mtInformation, none, mbOK, mbOK);
  ASSERT_TRUE(SpinUntil([&] { return !w.ShownMessages().isEmpty(); }));
  EXPECT_EQ(w.ShownMessages().last(), QStringLiteral("Hinweis:\n\nUmspannwerk Nord Feld 3 Vanta Sim"));
  if (QMessageBox* box = OpenBox()) box->button(QMessageBox::Ok)->click();
}

namespace {
// vanta-host offscreen with its device list in `dir`.
void StartHost(QProcess& host, const QTemporaryDir& dir, const QStringList& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("VANTA_HOST_CONFIG"), dir.filePath(QStringLiteral("devices.ini")));
  host.setProcessEnvironment(env);
  host.start(QStringLiteral(VANTA_HOST_PATH), args);
}
}  // namespace

TEST(Host, ScreenshotOfTheMainWindowWithAConnectedDevice) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir dir;
  QProcess host;
  const QString png = dir.filePath(QStringLiteral("shot"));  // no ".png": the main shot must not replace it
  StartHost(host, dir, {QStringLiteral("--connect"), QStringLiteral("127.0.0.1:%1").arg(sim.Port), QStringLiteral("--screenshot"), png,
                        QStringLiteral("--after"), QStringLiteral("1.5")});
  ASSERT_TRUE(host.waitForFinished(30000));
  EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
  QImage shot(png, "PNG");
  ASSERT_FALSE(shot.isNull());
  EXPECT_GT(shot.width(), 300);
  QImage mainShot(dir.filePath(QStringLiteral("shot-main.png")));
  ASSERT_FALSE(mainShot.isNull());
  EXPECT_NE(shot.size(), mainShot.size()) << "two windows, two files: FILE is the device window";
  // The device list survived and learned the device's names.
  QFile ini(dir.filePath(QStringLiteral("devices.ini")));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QByteArray text = ini.readAll();
  EXPECT_TRUE(text.contains("geraet=Vanta Sim"));
  EXPECT_TRUE(text.contains("sn=12345678"));
}

TEST(FormBasic, CommandAfterALostLinkWaitsForTheReconnectAndGoesOut) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TWindow t;
  t.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return t.W->PanelBack->isEnabled(); }, 5000));
  t.W->FTCPComUnit->FRequestClose = nullptr;  // keep the window when the link goes
  t.W->FTCPComUnit->DoDisconnect(false);
  ASSERT_TRUE(SpinUntil([&] { return !t.W->FTCPComUnit->IsConnected(); }, 3000));
  // The command comes at once, while the report of the old link's end may
  // still be on its way: it must not spoil the reconnect.
  bool listed = false;
  t.W->FTCPComUnit->FOnAnswerEvaluated = [&](const vanta::ccci::ccc_head_t& h) {
    if (h.CMD == 5 && h.ExtCmd == 16) listed = true;
  };
  t.W->EvtUebClick();  // the list request triggers the reconnect and waits for it
  EXPECT_TRUE(SpinUntil([&] { return listed; }, 8000))
      << "sent once the new session was done\n" << t.Log.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(t.W->FTCPComUnit->IsConnected());
  EXPECT_FALSE(t.W->FTCPComUnit->FWaitForAnswer);
  t.W->FTCPComUnit->FOnAnswerEvaluated = nullptr;
}

TEST(FormBasic, FetchedFilesOpenInTheSystemViewer) {
  TWindow t;
  QUrl opened;
  t.W->FOpenUrl = [&](const QUrl& u) {
    opened = u;
    return true;
  };
  ASSERT_TRUE(t.W->FComUnit->FOpenFile);
  t.W->FComUnit->FOpenFile(QStringLiteral("/tmp/Dlog.log"));
  EXPECT_EQ(opened, QUrl::fromLocalFile(QStringLiteral("/tmp/Dlog.log")));
}

TEST(FormBasic, AReconnectThatNeverFinishesIsGivenUp) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  TWindow t;
  t.Connect(sim.Port);
  ASSERT_TRUE(SpinUntil([&] { return t.W->PanelBack->isEnabled(); }, 5000));
  t.W->FTCPComUnit->FRequestClose = nullptr;
  // The next link reaches something that accepts but never starts a session.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  t.W->FTCPComUnit->SetIPAndPort(QStringLiteral("127.0.0.1"), silent.serverPort());
  t.W->FTCPComUnit->DoDisconnect(false);
  ASSERT_TRUE(SpinUntil([&] { return !t.W->FTCPComUnit->IsConnected(); }, 3000));
  // Long enough for the link to come up under a loaded machine, short
  // enough for the test: the session never starts either way.
  t.W->FReconnectWaitMs = 2000;
  t.W->EvtUebClick();
  ASSERT_TRUE(SpinUntil([&] { return t.W->FTCPComUnit->IsConnected(); }, 10000)) << "the link itself comes up";
  SpinFor(2100);
  const QString queued = QStringLiteral("Vanta: Liste -> Kommando hinzugefügt: CCC_READOUT_EVT_LS CMD: 5 Priv: 0 ExtCmd: 10");
  EXPECT_FALSE(t.Log.contains(queued)) << "held back while the session was awaited";
  t.W->EvtUebClick();  // the window must not stay dead
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: Reconnect failed: 1 command(s) dropped")));
  EXPECT_TRUE(t.Log.contains(queued)) << "the next command goes to the client again";
}

TEST(Host, ScreenshotsOfTheLiveViews) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir dir;
  // Each view draws the device's data in colour inside its chart (below the
  // channel buttons, above the status bar); the text views have none.
  const struct {
    const char* View;
    int MinColoured;
  } views[] = {{"osc", 300}, {"spectrum", 300}, {"harmonics", 600}, {"vectors", 300}, {"loadflow", 500}};  // above what labels and limit marks alone give
  for (const auto& v : views) {
    SCOPED_TRACE(v.View);
    QProcess host;
    const QString png = dir.filePath(QStringLiteral("%1.png").arg(QLatin1String(v.View)));
    StartHost(host, dir,
              {QStringLiteral("--connect"), QStringLiteral("127.0.0.1:%1").arg(sim.Port), QStringLiteral("--no-xml-check"), QStringLiteral("--open"),
               QStringLiteral("live"), QStringLiteral("--view"), QLatin1String(v.View), QStringLiteral("--screenshot"), png, QStringLiteral("--after"),
               QStringLiteral("3")});
    ASSERT_TRUE(host.waitForFinished(30000));
    EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    const QImage shot(png, "PNG");
    ASSERT_FALSE(shot.isNull());
    int coloured = 0;
    for (int y = 120; y < shot.height() - 60; y += 2)
      for (int x = 0; x < shot.width(); x += 2) {
        const QColor c = shot.pixelColor(x, y);
        coloured += (c.saturation() > 120 && c.value() > 80) ? 1 : 0;
      }
    EXPECT_GT(coloured, v.MinColoured) << "drawn data in the device window";
    EXPECT_EQ(host.readAllStandardOutput().trimmed(), QByteArray("screenshot ") + png.toLocal8Bit());
  }
}
