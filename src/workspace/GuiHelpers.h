#pragma once
// Small GUI pieces every window uses: the slide-out menu button, the
// password prompt, moving a control to a new parent, and images from the
// program's resources.
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <functional>

class QAction;
class QFrame;
class QPropertyAnimation;
class QWidget;

namespace vanta {

// A push button that owns a drop-down panel of buttons.
class TOruPopupMenu : public QPushButton {
  Q_OBJECT
 public:
  explicit TOruPopupMenu(QWidget* parent = nullptr);

  // Adds a button bound to `action`; returns the number of buttons.
  int AddButton(QAction* action);
  void PopUpClick();
  void Expand();
  void Contract();
  void PopUpResize();
  void PopUpSetParent(QWidget* parent, QObject* owner, int offset);
  void SwitchVisibility();
  bool IsOpen() const { return FOpen; }
  QFrame* Panel() const { return FPanel; }
  int ButtonCount() const { return FButtonCount; }

  std::function<void(QObject* Sender)> FOnExpand;  // raised before the panel opens

 private:
  QFrame* FPanel;
  QPropertyAnimation* FMove;
  QPropertyAnimation* FFade;
  int FButtonCount = 0;
  int FRestOffset = 0;
  bool FOpen = false;
};

// Masked password prompt. Synchronous: true only when the user confirmed and
// the text equals `expected` (ignoring case). Asynchronous: shows the box,
// hands the answer (accepted, text) to `closeQuery` and returns false at once.
bool showPasswortBox(bool synchronous, const QString& caption, const QString& prompt, const QString& expected,
                     std::function<void(bool accepted, const QString& text)> closeQuery = {}, QWidget* parent = nullptr);

// Moves `control` under `newParent` keeping the tab order of its children.
void SetNewParent(QWidget* control, QWidget* newParent);

// Loads the resource image `name` (":/vanta/<name>.png") into `bitmap`.
bool GetImageFromRessource(const QString& name, QPixmap& bitmap);

}  // namespace vanta
