// GUI helpers.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
