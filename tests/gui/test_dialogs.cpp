// The password renewal dialog and the SSH questions of a device window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "FormBasic.h"
#include "FrmNewPass.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"

using namespace vanta;
using vanta::test::SpinUntil;

TEST(FrmNewPass, AcceptsOnlyTwoEqualNonEmptyEntries) {
  TFrmNewPass d;
  d.show();
  d.btnApply->click();
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(d.lblError->text(), QStringLiteral("Bitte Überprüfen Sie Ihre Eingabe!"));
  d.edtNew->setText(QStringLiteral("Abc-123456"));
  d.edtConfirm->setText(QStringLiteral("abc-123456"));
  d.btnApply->click();
  EXPECT_TRUE(d.isVisible()) << "case counts";
  d.edtConfirm->setText(QStringLiteral("Abc-123456"));
  QTest::keyClick(d.edtConfirm, Qt::Key_Return);  // Enter in the confirmation acts as "Übernehmen"
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.NewPassword(), QStringLiteral("Abc-123456"));
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Renew Password"));
}

TEST(FrmNewPass, CancelGivesNoPassword) {
  TFrmNewPass d;
  d.show();
  d.edtNew->setText(QStringLiteral("x"));
  d.btnCancel->click();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_TRUE(d.NewPassword().isEmpty());
}

TEST(FormBasicSsh, HostKeyQuestionThenTheSecureConnection) {
  vanta::test::TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--ssh-port"), QStringLiteral("0")}));
  QTemporaryDir dir;
  vanta::test::TWindow t(false, true);
  TFormBasic& w = *t.W;
  w.SetSSHLogin(QStringLiteral("operator"), QStringLiteral("operator"));
  w.SetFolders(dir.filePath("data"), dir.filePath("ini"), dir.filePath("tmp"));
  // The question is modal: answer it from a timer as a user would.
  QString asked;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (QMessageBox* box = vanta::test::OpenBox(QStringLiteral("HostKeyQuestion"))) {
      asked = box->text();
      box->button(QMessageBox::Ok)->click();
    }
  });
  answer.start(50);
  w.FTCPComUnit->FOutPort = sim.Port;
  w.SetTCPCommUnit(QStringLiteral("127.0.0.1"), sim.SshPort, false, true, false, true, false);
  ASSERT_TRUE(SpinUntil([&] { return w.PanelBack->isEnabled(); }, 15000));
  EXPECT_EQ(t.Ended, 1);
  EXPECT_TRUE(t.Connected);
  EXPECT_TRUE(asked.startsWith(QStringLiteral("Dieses Gerät ist nicht bekannt")));
  EXPECT_EQ(w.imgSecure->toolTip(), QStringLiteral("Verschlüsselte Verbindung (SSH)"));
  EXPECT_TRUE(QFile::exists(dir.filePath("ini/Hash")));
}
