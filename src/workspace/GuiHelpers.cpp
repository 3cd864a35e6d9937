#include "GuiHelpers.h"

#include <QAction>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QHash>
#include <QInputDialog>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace vanta {

TOruPopupMenu::TOruPopupMenu(QWidget* parent) : QPushButton(parent) {
  FPanel = new QFrame(parent ? parent : this);
  FPanel->setObjectName(QStringLiteral("OruPopupPanel"));
  FPanel->setStyleSheet(QStringLiteral(
      "#OruPopupPanel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #606060, stop:1 #404040);"
      " border-radius: 6px; }"));
  auto* shadow = new QGraphicsDropShadowEffect(FPanel);
  shadow->setBlurRadius(12);
  FPanel->setGraphicsEffect(shadow);
  FPanel->hide();
  FPanel->resize(160, 30);
  FMove = new QPropertyAnimation(FPanel, "pos", this);
  FMove->setDuration(150);
  FFade = new QPropertyAnimation(this);
  connect(FMove, &QPropertyAnimation::finished, this, &TOruPopupMenu::SwitchVisibility);
  connect(this, &QPushButton::clicked, this, &TOruPopupMenu::PopUpClick);
}

int TOruPopupMenu::AddButton(QAction* action) {
  auto* b = new QPushButton(action->text(), FPanel);
  b->setObjectName(QStringLiteral("btnmenustyle"));
  b->setFixedHeight(30);
  b->setGeometry(5, 5 + 40 * FButtonCount, FPanel->width() - 10, 30);
  // The colour inversion while the mouse is over the button.
  b->setStyleSheet(QStringLiteral("QPushButton { color: white; background: transparent; border: none; }"
                                  "QPushButton:hover { color: #404040; background: white; }"));
  connect(b, &QPushButton::clicked, action, &QAction::trigger);
  connect(b, &QPushButton::clicked, this, &TOruPopupMenu::Contract);
  connect(action, &QAction::changed, this, [b, action, this] {
    b->setVisible(action->isVisible());
    b->setEnabled(action->isEnabled());
    PopUpResize();
  });
  ++FButtonCount;
  PopUpResize();
  return FButtonCount;
}

void TOruPopupMenu::PopUpClick() {
  QWidget* host = FPanel->parentWidget();
  const QPoint below = host ? mapTo(host, QPoint(0, height())) : QPoint(0, height());
  const int x = qMax(0, below.x() + (width() - FPanel->width()) / 2);
  FPanel->move(x, FPanel->y());
  if (FOpen)
    Contract();
  else
    Expand();
}

void TOruPopupMenu::Expand() {
  if (FOnExpand) FOnExpand(this);
  FOpen = true;
  FPanel->show();
  FPanel->raise();
  auto* fade = new QGraphicsOpacityEffect(FPanel);
  fade->setOpacity(0.0);
  FPanel->setGraphicsEffect(fade);
  FFade->stop();
  FFade->setTargetObject(fade);
  FFade->setPropertyName("opacity");
  FFade->setStartValue(0.0);
  FFade->setEndValue(1.0);
  FFade->setDuration(150);
  FFade->start();
  FMove->stop();
  FMove->setStartValue(QPoint(FPanel->x(), FRestOffset - FPanel->height()));
  FMove->setEndValue(QPoint(FPanel->x(), FRestOffset));
  FMove->start();
}

void TOruPopupMenu::Contract() {
  FOpen = false;
  FMove->stop();
  FMove->setStartValue(FPanel->pos());
  FMove->setEndValue(QPoint(FPanel->x(), FPanel->y() - FPanel->height()));
  FMove->start();
}

void TOruPopupMenu::PopUpResize() {
  FOpen = false;
  FPanel->hide();
  int visible = 0;
  for (QPushButton* b : FPanel->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (b->isVisibleTo(FPanel) || !b->isHidden()) {
      b->move(5, 5 + 40 * visible);
      ++visible;
    }
  }
  const int h = 30 + 40 * visible;
  FPanel->resize(FPanel->width(), h);
  setVisible(h != 30);
}

void TOruPopupMenu::PopUpSetParent(QWidget* parent, QObject*, int offset) {
  FPanel->setParent(parent);
  FRestOffset = offset;
  FPanel->hide();
}

void TOruPopupMenu::SwitchVisibility() {
  if (!FOpen) FPanel->hide();
}

bool showPasswortBox(bool synchronous, const QString& caption, const QString& prompt, const QString& expected,
                     std::function<void(bool, const QString&)> closeQuery, QWidget* parent) {
  auto* box = new QInputDialog(parent);
  box->setWindowTitle(caption);
  box->setLabelText(prompt);
  box->setTextEchoMode(QLineEdit::Password);
  if (synchronous) {
    const bool ok = box->exec() == QDialog::Accepted;
    const QString text = box->textValue();
    delete box;
    return ok && text.compare(expected, Qt::CaseInsensitive) == 0;
  }
  box->setAttribute(Qt::WA_DeleteOnClose);
  if (closeQuery) {
    QObject::connect(box, &QInputDialog::finished, box,
                     [box, closeQuery](int result) { closeQuery(result == QDialog::Accepted, box->textValue()); });
  }
  box->open();
  return false;
}

void SetNewParent(QWidget* control, QWidget* newParent) {
  // Qt keeps one tab chain per window: record the order of the control's
  // children, move, and chain them again in that order.
  QList<QWidget*> order;
  for (QWidget* w = control->nextInFocusChain(); w && w != control; w = w->nextInFocusChain())
    if (control->isAncestorOf(w)) order << w;
  control->setUpdatesEnabled(false);
  control->setParent(newParent);
  for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
  control->setUpdatesEnabled(true);
  control->show();
}

bool GetImageFromRessource(const QString& name, QPixmap& bitmap) {
  return bitmap.load(QStringLiteral(":/vanta/%1.png").arg(name));
}

}  // namespace vanta
