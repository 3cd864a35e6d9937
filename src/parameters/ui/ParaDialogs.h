#pragma once
// The small dialogs of the parameter editor: which imported values to take
// over (TFrmParaChanged, with device, file and default side by side), which
// modules to send or export (TFrmParaSelect), and the comment that goes with
// an upload.
#include <QDialog>
#include <QStringList>

#include "ParaWorkflow.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vanta {

class TFrmParaChanged : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmParaChanged(QWidget* parent = nullptr);
  void SetText(const QString& device);
  // One module item per software module, its groups, the differing values
  // below them, all ticked; modules named in `untickedModules` start unticked.
  void InsertTV(const QList<TCompareRec>& candidates, const QStringList& untickedModules,
                const TCaptionSource& captions = {});
  QStringList TickedKeys() const;
  // Tick or untick an item as the user would (propagates like a click).
  void SetTicked(QTreeWidgetItem* item, bool on);
  QTreeWidgetItem* ModuleItem(const QString& caption) const;
  QTreeWidgetItem* ValueItem(const QString& key) const;

  QTreeWidget* TreeView1 = nullptr;
  QLabel* ParaChangedDesc = nullptr;
  QCheckBox* chkService = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnAbort = nullptr;

 private:
  void Propagate(QTreeWidgetItem* item);
  void ServiceChanged(bool on);
  bool FInClick = false;
};

class TFrmParaSelect : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmParaSelect(QWidget* parent = nullptr);
  // Sending: every module whose flag is "1", ticked; OK flags unticked ones "0".
  void CreateSelect(const QString& device, QStringList* moduleList);
  // CSV export: entries "id=caption"; OK removes the unticked ones.
  void CreateCopySelect(QStringList* entries);
  // A right click: only this item stays ticked.
  void TickOnly(int row);
  QListWidget* lstSel = nullptr;
  QLabel* TxtDescSelect = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnAbort = nullptr;

 private:
  void btnOkClick();
  void btnCopyOkClick();
  QStringList* FSL = nullptr;
  bool FCopy = false;
};

// What a send will change on the device, to be confirmed before anything
// leaves: each changed value with the device's value and the new one; those
// whose module stays behind are marked as not sent.
class TFrmSendPreview : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmSendPreview(QWidget* parent = nullptr);
  void SetChanges(const QString& device, const QList<TPendingChange>& changes);
  QTreeWidget* lstChanges = nullptr;
  QLabel* lblDesc = nullptr;
  QPushButton* btnSend = nullptr;
  QPushButton* btnAbort = nullptr;
};

// Who changes what and why: kept in the log with the upload.
class TFrmChangeComment : public QDialog {
  Q_OBJECT
 public:
  TFrmChangeComment(const QString& user, QWidget* parent = nullptr);
  QString User() const;
  QString Comment() const;
  QLineEdit* edtUser = nullptr;
  QPlainTextEdit* memComment = nullptr;
};

}  // namespace vanta
