// GUI helpers and the host's device store.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "DeviceStore.h"
#include "GuiHelpers.h"
#include "TestSupport.h"

using namespace vanta;

TEST(OruPopupMenu, ButtonsPanelHeightAndVisibility) {
  QWidget host;
  TOruPopupMenu menu(&host);
  menu.PopUpResize();
  EXPECT_TRUE(menu.isHidden()) << "no visible button: the menu button hides";
  QAction a(QStringLiteral("Eins")), b(QStringLiteral("Zwei"));
  EXPECT_EQ(menu.AddButton(&a), 1);
  EXPECT_EQ(menu.AddButton(&b), 2);
  EXPECT_EQ(menu.Panel()->height(), 30 + 40 * 2);
  EXPECT_FALSE(menu.isHidden());
  b.setVisible(false);
  EXPECT_EQ(menu.Panel()->height(), 30 + 40);
  int expanded = 0;
  menu.FOnExpand = [&](QObject*) { ++expanded; };
  menu.PopUpClick();
  EXPECT_TRUE(menu.IsOpen());
  EXPECT_EQ(expanded, 1);
  EXPECT_GE(menu.Panel()->x(), 0) << "never left of 0";
  menu.PopUpClick();
  EXPECT_FALSE(menu.IsOpen());
  int triggered = 0;
  QObject::connect(&a, &QAction::triggered, [&] { ++triggered; });
  menu.Panel()->findChildren<QPushButton*>().first()->click();
  EXPECT_EQ(triggered, 1);
}

TEST(GuiHelpers, ResourceImages) {
  QPixmap p;
  EXPECT_TRUE(GetImageFromRessource(QStringLiteral("secure"), p));
  EXPECT_EQ(p.size(), QSize(16, 16));
  EXPECT_FALSE(GetImageFromRessource(QStringLiteral("nope"), p));
}

TEST(GuiHelpers, SetNewParentKeepsTheTabOrder) {
  QWidget from, to;
  auto* box = new QWidget(&from);
  auto* layout = new QVBoxLayout(box);
  for (int i = 0; i < 4; ++i) layout->addWidget(new QLineEdit(box));
  auto chain = [box] {
    QList<QWidget*> order;
    for (QWidget* w = box->nextInFocusChain(); w && w != box; w = w->nextInFocusChain())
      if (box->isAncestorOf(w)) order << w;
    return order;
  };
  const QList<QWidget*> before = chain();
  ASSERT_EQ(before.size(), 4);
  SetNewParent(box, &to);
  EXPECT_EQ(box->parentWidget(), &to);
  EXPECT_EQ(chain(), before);
}

TEST(GuiHelpers, AsynchronousPasswordBoxAnswersItsHandler) {
  bool accepted = false;
  QString text;
  showPasswortBox(false, QStringLiteral("Kalibrierung"), QStringLiteral("Passwort"), QStringLiteral("x"),
                  [&](bool ok, const QString& t) {
                    accepted = ok;
                    text = t;
                  });
  QInputDialog* box = nullptr;
  ASSERT_TRUE(test::SpinUntil([&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if ((box = qobject_cast<QInputDialog*>(w))) return true;
    return false;
  }));
  EXPECT_EQ(box->textEchoMode(), QLineEdit::Password);
  box->setTextValue(QStringLiteral("Geheim"));
  box->accept();
  EXPECT_TRUE(test::SpinUntil([&] { return accepted; }));
  EXPECT_EQ(text, QStringLiteral("Geheim"));
}

TEST(DeviceStore, SurvivesARestartAndLearnsIdentities) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  {
    host::TDeviceStore s(file);
    TDeviceRec a;
    a.IP = QStringLiteral("10.0.0.5");
    a.Port = QStringLiteral("5040");
    a.Anlage = QStringLiteral("A");
    a.Feld = QStringLiteral("F");
    a.Geraet = QStringLiteral("G");
    a.ConType = TConType::ctSSH;
    TDeviceRec b;
    b.IsSerial = true;
    b.Port = QStringLiteral("/dev/ttyUSB0");
    s.Devices = {a, b};
    s.Settings.Visibility = 2;
    s.Settings.Para.ParaVal = 123;
    ASSERT_TRUE(s.Save());
  }
  host::TDeviceStore s(file);
  ASSERT_TRUE(s.Load());
  ASSERT_EQ(s.Devices.size(), 2u);
  EXPECT_EQ(s.Devices[0].ConType, TConType::ctSSH);
  EXPECT_TRUE(s.Devices[1].IsSerial);
  EXPECT_EQ(s.Settings.Visibility, 2);
  EXPECT_EQ(s.Settings.Para.ParaVal, 123);
  EXPECT_EQ(s.Find(QStringLiteral("10.0.0.5"), QStringLiteral("5040")), 0);
  EXPECT_TRUE(s.UpdateIdentity(QStringLiteral("10.0.0.5"), QStringLiteral("5040"), 99, TDevType::devtypVantaDE,
                               QStringLiteral("Werk"), QStringLiteral("Feld 1"), QStringLiteral("Vanta 1")));
  EXPECT_FALSE(s.UpdateIdentity(QStringLiteral("10.0.0.5"), QStringLiteral("5040"), 99, TDevType::devtypVantaDE,
                                QStringLiteral("Werk"), QStringLiteral("Feld 1"), QStringLiteral("Vanta 1")))
      << "nothing new the second time";
  EXPECT_EQ(s.Devices[0].Geraet, QStringLiteral("Vanta 1"));
  host::TDeviceStore missing(dir.filePath(QStringLiteral("none.ini")));
  EXPECT_FALSE(missing.Load());
}
