// The status window against the simulator: every page filled from the
// device, the page menu, captures, the Lua page (also with an answer that
// comes in pieces), the certificate; the device type that only gets the Lua
// page.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "FaultProxy.h"
#include "FormStatus.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {

struct TStatusWindow {
  TSimProcess Sim;
  QTemporaryDir Data;
  QStringList Log;  // outlives the window, which logs its own end
  QStringList Shown;
  TFormStatus W;
  bool Start(const QStringList& simArgs = {}) {
    if (!Sim.Start(simArgs)) return false;
    W.FShowInFileManager = [this](const QString& p) { Shown << p; };
    return vanta::test::ConnectToSim(W, Data.path(), Log, Sim.Port);
  }
  void Shot(const QString& name) {
    if (const QString dir = qEnvironmentVariable("VANTA_SHOT_DIR"); !dir.isEmpty()) {
      W.show();
      SpinUntil([] { return false; }, 200);  // the fade between pages ends
      W.grab().save(QDir(dir).filePath(name));
    }
  }
};

bool HasItem(QTreeWidget* t, const QString& name) {
  for (int i = 0; i < t->topLevelItemCount(); ++i)
    if (t->topLevelItem(i)->text(0) == name) return true;
  return false;
}

}  // namespace

TEST(StatusWindow, EveryPageFilledFromTheDevice) {
  TStatusWindow t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(SpinUntil([&] { return t.W.MenuEnabled() && !t.W.FRecord.Plant.isEmpty(); }, 10000)) << t.Log.join('\n').toStdString();
  EXPECT_EQ(t.W.ActivePage(), 0);
  EXPECT_EQ(t.W.FFrameMain->Rows->ValueOf(QStringLiteral("Betriebsname")), QStringLiteral("Umspannwerk Nord"));
  EXPECT_EQ(t.W.FFrameMain->Rows->ValueOf(QStringLiteral("Firmwareversion")), QStringLiteral("2.10.0"));
  EXPECT_TRUE(t.W.FFrameMain->FlashText->text().endsWith(QLatin1Char('%')));
  EXPECT_TRUE(t.W.actSecureLog->isEnabled()) << "firmware 2.10.0";
  EXPECT_EQ(t.W.FFrameDrives->Sd.Rows->ValueOf(QStringLiteral("Total:")), QStringLiteral("8192"));
  EXPECT_TRUE(t.W.FFrameDrives->Sd.Rows->parentWidget()->isVisibleTo(t.W.FFrameDrives));
  EXPECT_EQ(t.W.FFrameCCCI->Workers->ValueOf(QStringLiteral("ccciWorker.active")), QStringLiteral("1"));
  EXPECT_EQ(t.W.FFrameSystem->Load->ValueOf(QStringLiteral("cpu")), QLocale().toString(12.5, 'f', 1) + QLatin1Char('%'));
  EXPECT_EQ(t.W.FFrameSystem->Recordings->Count(), 2);
  EXPECT_EQ(t.W.FFrameModbus->Iec104->ValueOf(QStringLiteral("iec104.Client1")), QStringLiteral("connected 10.0.0.20:2404"));
  for (TStatusRows* s : t.W.FFrameNTP->Servers) EXPECT_EQ(s->Count(), 4);
  EXPECT_EQ(t.W.FFrameNTP->Time->ValueOf(QStringLiteral("Sommerzeit")), QStringLiteral("True"));
  t.Shot(QStringLiteral("status-main.png"));
  const char* const names[] = {"", "ccci", "drives", "system", "scada", "", "ntp"};
  for (int tag : {1, 2, 3, 4, 6}) {
    t.W.MenuBtnClick(tag);
    EXPECT_EQ(t.W.ActivePage(), tag);
    t.Shot(QStringLiteral("status-%1.png").arg(QLatin1String(names[tag])));
  }

  // A refresh shows the page that was active before.
  t.W.MenuBtnClick(2);
  t.W.refreshView();
  EXPECT_FALSE(t.W.MenuEnabled()) << "the menu waits for the new values";
  ASSERT_TRUE(SpinUntil([&] { return t.W.MenuEnabled(); }, 10000));
  EXPECT_EQ(t.W.ActivePage(), 2);

  // Captures: start from the fields, list, fetch to a chosen name, delete.
  TFramePCAP* p = t.W.FFramePCAP;
  t.W.MenuBtnClick(7);
  p->edtFileName->setText(QStringLiteral("ui.pcap"));
  p->cmbType->setCurrentIndex(1);
  p->spnPackets->setValue(7);
  EXPECT_EQ(p->edtCommand->text(), QStringLiteral("ips.pcapStart(\"emac\", \"/mnt/flashdrive0/data/ui.pcap\", 7)"));
  p->btnStart->click();
  ASSERT_TRUE(SpinUntil([&] { return HasItem(p->lstCaptures, QStringLiteral("ui.pcap")); }, 10000));
  t.Shot(QStringLiteral("status-pcap.png"));
  const QString target = t.Data.filePath("saved.pcap");
  t.W.FAskSaveName = [&](const QString&) { return target; };
  t.W.PCAPFileInteract(TPCAPInteractType::PCAPDownload, QStringLiteral("ui.pcap"));
  ASSERT_TRUE(SpinUntil([&] { return !t.Shown.isEmpty(); }, 10000));
  EXPECT_EQ(t.Shown.last(), target);
  EXPECT_TRUE(QFile(target).size() > 24) << "global header and packets";
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: PCAP Saved to ") + target));
  t.W.PCAPFileInteract(TPCAPInteractType::PCAPDelete, QStringLiteral("ui.pcap"));
  ASSERT_TRUE(SpinUntil([&] { return !HasItem(p->lstCaptures, QStringLiteral("ui.pcap")) && !QFile::exists(t.Sim.Root() + "/mnt/flashdrive0/data/ui.pcap"); }, 10000));

  // The Lua page: the statement, then the device's answer on the memo.
  t.W.MenuBtnClick(8);
  TFrameLUA* lua = t.W.FFrameLUA;
  lua->cmbCommand->setCurrentIndex(0);
  lua->Send();
  EXPECT_FALSE(lua->btnSend->isEnabled());
  ASSERT_TRUE(SpinUntil([&] { return lua->btnSend->isEnabled(); }, 10000));
  EXPECT_TRUE(lua->mmoLog->toPlainText().contains(QStringLiteral("Send: pq.getEvtOscHpCnt()\n0\n"))) << lua->mmoLog->toPlainText().toStdString();
  t.Shot(QStringLiteral("status-lua.png"));
  // A refresh from the Lua page comes back to it.
  t.W.refreshView();
  EXPECT_FALSE(t.W.MenuEnabled());
  ASSERT_TRUE(SpinUntil([&] { return t.W.MenuEnabled(); }, 10000));
  EXPECT_EQ(t.W.ActivePage(), 8);

  // The certificate goes where the user says and stays on the device.
  const QString cert = t.Data.filePath("cert.pdf");
  t.W.FAskSaveName = [&](const QString&) { return cert; };
  t.W.GetTestCert();
  ASSERT_TRUE(SpinUntil([&] { return QFile::exists(cert); }, 10000));
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: Test Certifacte Saved to ") + cert));
}

TEST(StatusWindow, DeviceTypeWithoutTheScriptOffersOnlyLua) {
  TStatusWindow t;
  ASSERT_TRUE(t.Start({QStringLiteral("--article"), QStringLiteral("357000101")}));
  ASSERT_TRUE(SpinUntil([&] { return t.W.ActivePage() == 8; }, 10000)) << t.Log.join('\n').toStdString();
  for (int tag : {0, 1, 2, 3, 4, 6, 7}) EXPECT_FALSE(t.W.PageButtonVisible(tag)) << tag;
  EXPECT_TRUE(t.W.PageButtonVisible(8));
  SpinUntil([] { return false; }, 300);
  EXPECT_FALSE(QFile::exists(t.Sim.Root() + "/mnt/flashdrive0/data/ccci/scratchpad/status.lua")) << "no script sent";
}

TEST(StatusWindow, MissingStatusFileKeepsThePages) {
  TStatusWindow t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(SpinUntil([&] { return t.W.MenuEnabled(); }, 10000));
  t.W.CheckLUAData(t.Data.filePath("nothing.txt"));
  EXPECT_TRUE(t.Log.contains(QStringLiteral("Vanta: File not found: ") + t.Data.filePath("nothing.txt")));
  EXPECT_EQ(t.W.FFrameMain->Rows->ValueOf(QStringLiteral("Betriebsname")), QStringLiteral("Umspannwerk Nord"));
}


// A firmware without `uti.stat` writes no status file and refuses its read:
// the window stays open without a box, the pages keep what they showed and
// every tool of the window stays reachable.
TEST(StatusWindow, AFirmwareWithoutTheStatusFunctionKeepsTheWindowUsable) {
  TStatusWindow t;
  t.W.resize(900, 620);
  t.W.show();
  ASSERT_TRUE(t.Start({QStringLiteral("--no-stat")}));
  ASSERT_TRUE(SpinUntil([&] { return t.Log.contains(QStringLiteral("Vanta: File not found: stat.txt")); }, 10000))
      << t.Log.join('\n').toStdString();
  SpinUntil([] { return false; }, 500);  // a box and a close would come now
  EXPECT_TRUE(t.W.isVisible()) << "the refusal closes nothing";
  EXPECT_EQ(vanta::test::OpenBox(), nullptr);
  EXPECT_TRUE(t.W.ShownMessages().isEmpty()) << t.W.ShownMessages().join('\n').toStdString();
  EXPECT_TRUE(t.W.MenuEnabled());
  EXPECT_EQ(t.W.ActivePage(), 0);
  EXPECT_EQ(t.W.LabSBar->text(), QStringLiteral("Verbunden"));
  EXPECT_EQ(t.W.FFrameMain->Rows->ValueOf(QStringLiteral("Status")),
            QStringLiteral("Das Gerät liefert keine Statuswerte (File not found: stat.txt)"))
      << "the empty overview says why";
  EXPECT_TRUE(t.W.actLog->isEnabled());
  EXPECT_TRUE(t.W.actTestCert->isEnabled());
  t.Shot(QStringLiteral("status-no-stat.png"));

  // The Lua page answers.
  t.W.MenuBtnClick(8);
  EXPECT_EQ(t.W.ActivePage(), 8);
  TFrameLUA* lua = t.W.FFrameLUA;
  lua->cmbCommand->setCurrentIndex(0);
  lua->Send();
  ASSERT_TRUE(SpinUntil([&] { return lua->btnSend->isEnabled(); }, 10000));
  EXPECT_TRUE(lua->mmoLog->toPlainText().contains(QStringLiteral("Send: pq.getEvtOscHpCnt()\n0\n"))) << lua->mmoLog->toPlainText().toStdString();
  // A refresh on this page ends the same way, and the memo says why.
  t.W.refreshView();
  ASSERT_TRUE(SpinUntil([&] { return t.W.MenuEnabled(); }, 10000));
  EXPECT_EQ(t.W.ActivePage(), 8);
  EXPECT_TRUE(lua->mmoLog->toPlainText().contains(QStringLiteral("File not found: stat.txt")));
  // The captures and the certificate still come from the device.
  t.W.MenuBtnClick(7);
  EXPECT_EQ(t.W.ActivePage(), 7);
  const QString cert = t.Data.filePath("cert.pdf");
  t.W.FAskSaveName = [&](const QString&) { return cert; };
  t.W.GetTestCert();
  ASSERT_TRUE(SpinUntil([&] { return QFile::exists(cert); }, 10000)) << t.Log.join('\n').toStdString();
  EXPECT_TRUE(t.W.isVisible());
  EXPECT_EQ(vanta::test::OpenBox(), nullptr);
}

// An answer longer than one output frame of the device, handed on by the
// line in small pieces besides: on the Lua page it is one line, as printed.
TEST(StatusWindow, ALuaAnswerInPiecesIsOneLineOnTheLuaPage) {
  TStatusWindow t;
  ASSERT_TRUE(t.Sim.Start());
  vanta::test::TFaults faults;
  faults.TrickleBytes = 700;
  faults.TrickleMs = 1;
  vanta::test::TFaultProxy proxy(t.Sim.Port, faults);
  ASSERT_TRUE(vanta::test::ConnectToSim(t.W, t.Data.path(), t.Log, proxy.Port));
  ASSERT_TRUE(SpinUntil([&] { return t.W.MenuEnabled(); }, 20000)) << t.Log.join('\n').toStdString();
  t.W.MenuBtnClick(8);
  TFrameLUA* lua = t.W.FFrameLUA;
  // 2047 characters and CR LF: the device's frames of 1024 bytes end in the
  // middle of the line and between CR and LF.
  lua->cmbCommand->setCurrentText(QStringLiteral("print(string.rep(\"x\", 2047))"));
  lua->Send();
  ASSERT_TRUE(SpinUntil([&] { return lua->btnSend->isEnabled(); }, 10000));
  QStringList xs;
  for (const QString& line : lua->mmoLog->toPlainText().split(QLatin1Char('\n')))
    if (line.startsWith(QLatin1Char('x'))) xs << line;
  ASSERT_EQ(xs.size(), 1) << lua->mmoLog->toPlainText().toStdString();
  EXPECT_EQ(xs[0], QString(2047, QLatin1Char('x')));
}
