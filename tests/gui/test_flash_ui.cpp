// The firmware window against the simulator (change log, backup, closing
// message) and the mass-update window over two devices, one of them failing
// or losing its line half-way through the upload.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QStatusBar>
#include <QDir>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "FaultProxy.h"
#include "FlashPackages.h"
#include "FormFlash.h"
#include "FormMassFlash.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::OpenBox;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {

void Shot(QWidget& w, const QString& name) {
  if (const QString dir = qEnvironmentVariable("VANTA_SHOT_DIR"); !dir.isEmpty()) w.grab().save(QDir(dir).filePath(name));
}

struct TFlashWindow {
  TSimProcess Sim;
  QTemporaryDir Data;
  QStringList Log;
  TFormFlash W;
  int Closed = -1;
  QString ChangelogText;
  bool Start(bool backup, const QString& saveAs, bool acceptChangelog, const QStringList& simArgs = {}) {
    if (!Sim.Start(QStringList{QStringLiteral("--reboot-ms"), QStringLiteral("300")} + simArgs)) return false;
    W.FFN = vanta::test::GoodPackage(QDir(Data.path()));
    W.FAskBackup = [backup](const QString&, std::function<void(bool)> answer) { answer(backup); };
    W.FAskSaveFile = [saveAs](const QString&) { return saveAs; };
    W.FShowChangelog = [this, acceptChangelog](TFrmChangelog& dlg, std::function<void(bool)> answer) {
      dlg.show();
      ChangelogText = dlg.mmoChangelog->toPlainText();
      Shot(dlg, QStringLiteral("flash-changelog.png"));
      answer(acceptChangelog);
    };
    W.FFlashClose = [this](QObject*, int result) { Closed = result; };
    W.resize(720, 420);
    W.show();
    return vanta::test::ConnectToSim(W, Data.path(), Log, Sim.Port);
  }
  int FwUpdateCalls() const {
    QFile f(Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/logd.log"));
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("fwUpdate ~/")) : -1;
  }
};

TEST(FlashWindow, UpdatesWithBackupAndChangeLogAndEndsWithItsMessage) {
  TFlashWindow t;
  ASSERT_TRUE(QDir(t.Data.path()).mkdir(QStringLiteral("backups")));  // as the save dialog only offers folders that exist
  const QString saveAs = t.Data.filePath(QStringLiteral("backups/para.xml"));
  ASSERT_TRUE(t.Start(true, saveAs, true));
  QMessageBox* box = nullptr;
  ASSERT_TRUE(SpinUntil([&] { return (box = OpenBox()) != nullptr; }, 20000)) << t.Log.join('\n').toStdString();
  EXPECT_EQ(box->text(), QStringLiteral("Update abgeschlossen!"));
  EXPECT_TRUE(t.ChangelogText.contains(QLatin1String("Neu in 2.11.0")));
  EXPECT_TRUE(QFile::exists(saveAs));
  EXPECT_TRUE(t.W.mmoLog->toPlainText().contains(QLatin1String("Flash Succ: True")));
  Shot(t.W, QStringLiteral("flash-done.png"));
  box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
  ASSERT_TRUE(SpinUntil([&] { return t.Closed >= 0; }, 5000));
  EXPECT_EQ(t.Closed, 1);
  EXPECT_EQ(t.FwUpdateCalls(), 1);
  // A late second answer to the backup question starts nothing again.
  t.W.Job()->BackupDialogResult(false);
  SpinUntil([] { return false; }, 300);
  EXPECT_EQ(t.FwUpdateCalls(), 1);
}

// The status script goes up once and is named once.
TEST(FlashWindow, TheStatusJobNamesItsUploadOnce) {
  TFlashWindow t;
  t.W.FKind = TFlashKind::KndStatus;
  ASSERT_TRUE(t.Start(false, QString(), true));
  ASSERT_TRUE(SpinUntil([&] { return t.W.Job() && t.W.Job()->Outcome != TFlashJob::TOutcome::None; }, 20000)) << t.Log.join('\n').toStdString();
  EXPECT_EQ(t.W.Job()->Outcome, TFlashJob::TOutcome::Success) << t.Log.join('\n').toStdString();
  EXPECT_EQ(t.Log.filter(QStringLiteral("SendTo=")).size(), 1) << t.Log.join('\n').toStdString();
  EXPECT_FALSE(t.W.mmoLog->toPlainText().isEmpty()) << "the status file is shown";
}

TEST(FlashWindow, ACancelledSaveStillUpdatesAndACancelledChangeLogDoesNot) {
  TFlashWindow t;
  ASSERT_TRUE(t.Start(true, QString(), false));
  QMessageBox* box = nullptr;
  ASSERT_TRUE(SpinUntil([&] { return (box = OpenBox()) != nullptr; }, 20000)) << t.Log.join('\n').toStdString();
  EXPECT_EQ(box->text(), QStringLiteral("ACHTUNG: Das Update war nicht erfolgreich!"));
  EXPECT_TRUE(t.W.Job()->BackupFile.isEmpty());
  EXPECT_TRUE(QFile::exists(t.Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/ccci/scratchpad/fw.tgz"))) << "uploaded before the change log";
  EXPECT_EQ(t.FwUpdateCalls(), 0);
  box->accept();
}

// The device installs for minutes: the window shows how long it has been
// waiting, and "Abbrechen" ends only the waiting: no failure, no cut line.
TEST(FlashWindow, StoppingTheWaitForTheUpdateCallLeavesTheResultOpen) {
  TFlashWindow t;
  ASSERT_TRUE(t.Start(false, QString(), true, {QStringLiteral("--fw-install-ms"), QStringLiteral("15000")}));
  // The time waited is shown once a second has passed (a loaded machine may skip a tick).
  ASSERT_TRUE(SpinUntil([&] {
    const QString step = t.W.lblStep->text();
    return t.W.btnStopWaiting->isVisible() && step.startsWith(QStringLiteral("Update läuft seit 0:")) &&
           !step.startsWith(QStringLiteral("Update läuft seit 0:00"));
  }, 20000))
      << t.W.lblStep->text().toStdString() << t.Log.join('\n').toStdString();
  Shot(t.W, QStringLiteral("flash-waiting.png"));
  t.W.btnStopWaiting->click();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(SpinUntil([&] { return (box = OpenBox()) != nullptr; }, 5000));
  EXPECT_EQ(box->text(), QStringLiteral("Ergebnis unbekannt – bitte Gerät prüfen"));
  EXPECT_TRUE(t.W.FComUnit->IsConnected()) << "the install goes on over an open line";
  EXPECT_EQ(t.W.Job()->Outcome, TFlashJob::TOutcome::Unknown);
  EXPECT_FALSE(t.W.mmoLog->toPlainText().contains(QLatin1String("nicht erfolgreich")));
  EXPECT_FALSE(t.W.btnStopWaiting->isVisible());
  box->accept();
  ASSERT_TRUE(SpinUntil([&] { return t.Closed >= 0; }, 5000));
}

// The watch of the update call runs out: the same open result.
TEST(FlashWindow, AnUpdateCallWithoutAnswerInTimeHasAnUnknownResult) {
  TFlashWindow t;
  t.W.FUpdateTimeoutMs = 1500;
  ASSERT_TRUE(t.Start(false, QString(), true, {QStringLiteral("--fw-install-ms"), QStringLiteral("5000")}));
  QMessageBox* box = nullptr;
  ASSERT_TRUE(SpinUntil([&] { return (box = OpenBox()) != nullptr; }, 20000)) << t.Log.join('\n').toStdString();
  EXPECT_EQ(box->text(), QStringLiteral("Ergebnis unbekannt – bitte Gerät prüfen"));
  EXPECT_TRUE(t.W.FComUnit->IsConnected());
  EXPECT_TRUE(t.W.mmoLog->toPlainText().contains(QLatin1String("Keine Antwort auf den Updateaufruf nach 0:01")));
  box->accept();
}

TEST(MassFlashWindow, RunsTheTickedDevicesAndWritesTheReport) {
  TSimProcess good, bad;
  ASSERT_TRUE(good.Start({QStringLiteral("--reboot-ms"), QStringLiteral("300"), QStringLiteral("--serial-number"), QStringLiteral("501")}));
  ASSERT_TRUE(bad.Start({QStringLiteral("--fw-fail"), QStringLiteral("5"), QStringLiteral("--serial-number"), QStringLiteral("502")}));
  QTemporaryDir d;
  QList<TMassTarget> devices;
  for (auto [name, port] : {std::pair{"Nord", good.Port}, std::pair{"Sued", bad.Port}, std::pair{"Reserve", quint16(1)}}) {
    TMassTarget t;
    t.Name = QString::fromLatin1(name);
    t.Plant = QStringLiteral("Umspannwerk");
    t.Field = QStringLiteral("Feld 1");
    t.Host = QStringLiteral("127.0.0.1");
    t.Port = port;
    devices << t;
  }
  TFormMassFlash w(devices, d.path());
  w.Select({0, 1});
  EXPECT_EQ(w.Selected().size(), 2);
  w.edPackage->setText(vanta::test::GoodPackage(QDir(d.path())));
  w.edBackupDir->setText(d.filePath(QStringLiteral("bk")));
  w.edRunId->setText(QStringLiteral("T1"));
  w.spParallel->setValue(2);
  w.show();
  QString e;
  ASSERT_TRUE(w.StartRun(e)) << e.toStdString();
  ASSERT_TRUE(SpinUntil([&] { return !w.Run().Running(); }, 30000));
  ASSERT_EQ(w.tblRows->rowCount(), 2);
  EXPECT_EQ(w.tblRows->item(0, 1)->text(), QStringLiteral("Fertig"));
  EXPECT_EQ(w.tblRows->item(0, 5)->text(), QStringLiteral("2.11.0"));
  EXPECT_EQ(w.tblRows->item(1, 1)->text(), QStringLiteral("Fehlgeschlagen"));
  EXPECT_TRUE(w.tblRows->item(1, 6)->text().contains(QLatin1String("does not fit this device")));
  EXPECT_TRUE(QFile::exists(w.ReportPath()));
  EXPECT_TRUE(w.btnRetry->isEnabled());
  Shot(w, QStringLiteral("flash-mass.png"));
}

namespace {
// Two devices on this machine, "Sued" and "Nord", as the mass window lists them.
QList<TMassTarget> SuedAndNord(quint16 sued, quint16 nord) {
  QList<TMassTarget> out;
  for (auto [name, port] : {std::pair{"Sued", sued}, std::pair{"Nord", nord}}) {
    TMassTarget t;
    t.Name = QString::fromLatin1(name);
    t.Host = QStringLiteral("127.0.0.1");
    t.Port = port;
    out << t;
  }
  return out;
}
}  // namespace

// After the first failure nothing else starts: the summary counts only the
// updated devices and names the others in the rows' own words.
TEST(MassFlashWindow, TheSummaryCountsOnlyUpdatedDevices) {
  TSimProcess bad, good;
  ASSERT_TRUE(bad.Start({QStringLiteral("--fault"), QStringLiteral("nak-scratchpad")}));
  ASSERT_TRUE(good.Start());
  QTemporaryDir d;
  const QList<TMassTarget> devices = SuedAndNord(bad.Port, good.Port);
  TFormMassFlash w(devices, d.path());
  w.Select({0, 1});
  w.edPackage->setText(vanta::test::GoodPackage(QDir(d.path())));
  w.cbNoBackup->setChecked(true);
  w.edRunId->setText(QStringLiteral("T2"));
  w.cbStopOnFailure->setChecked(true);
  QString e;
  ASSERT_TRUE(w.StartRun(e)) << e.toStdString();
  ASSERT_TRUE(SpinUntil([&] { return !w.Run().Running(); }, 30000));
  EXPECT_EQ(w.tblRows->item(0, 1)->text(), QStringLiteral("Fehlgeschlagen"));
  EXPECT_EQ(w.tblRows->item(1, 1)->text(), QStringLiteral("Nicht gestartet"));
  EXPECT_TRUE(w.lblReport->text().startsWith(QStringLiteral("0 von 2 Geräten aktualisiert, 1 fehlgeschlagen, 1 nicht gestartet. Bericht: ")))
      << w.lblReport->text().toStdString();
}

// One device's line is cut half-way through its upload: that row ends
// failed in the connection's words, the other device is still updated, and
// the summary counts only the one that was.
TEST(MassFlashWindow, ADeviceWhoseLineIsCutDuringTheUploadIsNotCountedAsUpdated) {
  TSimProcess cut, good;
  ASSERT_TRUE(cut.Start({QStringLiteral("--serial-number"), QStringLiteral("601")}));
  ASSERT_TRUE(good.Start({QStringLiteral("--reboot-ms"), QStringLiteral("300"), QStringLiteral("--serial-number"), QStringLiteral("602")}));
  vanta::test::TFaults faults;
  faults.CutClientAfter = 256 * 1024;  // far into the firmware, long after the handshake
  vanta::test::TFaultProxy proxy(cut.Port, faults);
  QTemporaryDir d;
  const QList<TMassTarget> devices = SuedAndNord(proxy.Port, good.Port);
  TFormMassFlash w(devices, d.path());
  w.Select({0, 1});
  w.edPackage->setText(vanta::test::WritePackage(d.filePath(QStringLiteral("big.zip")),
                                                 {{QStringLiteral("fw.tgz"), vanta::test::FirmwareTgz(QStringLiteral("2.11.0"), 1 << 20)}}, false));
  w.cbNoBackup->setChecked(true);
  w.edRunId->setText(QStringLiteral("T3"));
  w.spParallel->setValue(1);
  QString e;
  ASSERT_TRUE(w.StartRun(e)) << e.toStdString();
  ASSERT_TRUE(SpinUntil([&] { return !w.Run().Running(); }, 60000));
  EXPECT_TRUE(proxy.Cut) << "the line was cut where planned";
  EXPECT_EQ(w.tblRows->item(0, 1)->text(), QStringLiteral("Fehlgeschlagen"));
  EXPECT_EQ(w.Run().Rows()[0].Message, QStringLiteral("Verbindung während des Updates unterbrochen"));
  EXPECT_EQ(w.tblRows->item(1, 1)->text(), QStringLiteral("Fertig"));
  EXPECT_TRUE(w.lblReport->text().startsWith(QStringLiteral("1 von 2 Geräten aktualisiert, 1 fehlgeschlagen. Bericht: ")))
      << w.lblReport->text().toStdString();
  Shot(w, QStringLiteral("flash-mass-cut.png"));
}

}  // namespace

namespace {
// The window with the connection text and padlock as a connected session
// shows them, without a device behind it.
class TStatusLineFlash : public TFormFlash {
 public:
  using TFormFlash::SetLabConText;
};
}  // namespace

// The status line's widgets share the line: at the window's own width and
// narrower nothing is drawn over anything else (the padlock over the step
// text was), and the window keeps the width it was given.
TEST(FlashWindow, TheStatusLineFitsEveryWidthWithoutOverlap) {
  TStatusLineFlash w;
  w.show();
  w.SetLabConText(&w, QStringLiteral("Verbunden mit 192.168.178.220:5040 Gerät Umspannwerk Nord Feld 12 (SSH operator)"));
  QPixmap lock(16, 16);
  lock.fill(Qt::darkGreen);
  w.imgSecure->setPixmap(lock);
  w.StartWork(QStringLiteral("Update"));
  w.LabSBar->setText(QStringLiteral("Update läuft seit 12:34 – Hochladen 2/3: firmware-2.11.0-release.tgz"));
  QStatusBar* bar = w.statusBar();
  for (const int width : {720, 600, 480, 360}) {
    w.resize(width, 420);
    SpinUntil([&] { return w.width() == width; }, 500);
    QApplication::processEvents();
    EXPECT_EQ(w.width(), width) << "the status line does not force the window wider";
    QList<QWidget*> shown;
    for (QWidget* c : bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      if (c->isVisible() && c->width() > 0) shown << c;
    ASSERT_GE(shown.size(), 4) << width;
    EXPECT_TRUE(shown.contains(w.imgSecure));
    EXPECT_TRUE(shown.contains(w.lblCon));
    for (QWidget* c : shown) {
      EXPECT_TRUE(bar->rect().contains(c->geometry())) << c->objectName().toStdString() << " leaves the line at " << width;
      for (QWidget* d : shown) {
        if (c >= d) continue;
        EXPECT_FALSE(c->geometry().intersects(d->geometry()))
            << c->objectName().toStdString() << " and " << d->objectName().toStdString() << " overlap at " << width;
      }
    }
  }
  // What does not fit is shortened; the full text stays at hand.
  EXPECT_EQ(w.lblCon->toolTip(), w.lblCon->text());
}
