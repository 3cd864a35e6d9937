#pragma once
// The dialog that adds or edits one device entry of the host.
#include <QDialog>

#include "DeviceStore.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace vanta::host {

class TDeviceDialog : public QDialog {
  Q_OBJECT
 public:
  TDeviceDialog(const THostDevice& rec, const QString& title, QWidget* parent = nullptr);

  // The entry as edited; fields the dialog does not show keep their values.
  THostDevice Device() const;
  // Why the input cannot be taken, empty when it can.
  QString InputError() const;

  void accept() override;

  QLineEdit* Anlage = nullptr;
  QLineEdit* Feld = nullptr;
  QLineEdit* Geraet = nullptr;
  QCheckBox* Serial = nullptr;
  QLineEdit* Address = nullptr;
  QLineEdit* Port = nullptr;
  QComboBox* IpVersion = nullptr;
  QComboBox* Connection = nullptr;
  QCheckBox* UseFTP = nullptr;
  QCheckBox* CheckXMLVersions = nullptr;
  QCheckBox* SerialLogin = nullptr;
  QLineEdit* SshUser = nullptr;
  QLineEdit* SshPassword = nullptr;
  QLabel* Error = nullptr;
  QDialogButtonBox* Buttons = nullptr;

 private:
  void UpdateEnabled();
  THostDevice FRec;
};

}  // namespace vanta::host
