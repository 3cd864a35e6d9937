#pragma once
// The dialog that adds or edits one device entry of the host.
#include <QDialog>

#include "DeviceStore.h"
#include "SecretStore.h"

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

  // Whether a typed password can be kept (in the secret store). Without a
  // secret store the password field is off and says why: the password is
  // then asked at connect time, never kept in clear text.
  void SetKeychain(const TSecretResult& available);
  bool HasKeychain() const { return FKeychain; }

  // The entry as edited; fields the dialog does not show keep their values.
  // SshPassword is the newly typed password (empty: keep what is stored).
  THostDevice Device() const;
  // The user asked to drop the stored password of this login.
  bool ForgetPassword() const;
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
  QCheckBox* Forget = nullptr;
  QLabel* KeychainNote = nullptr;
  QLabel* Error = nullptr;
  QDialogButtonBox* Buttons = nullptr;

 private:
  void UpdateEnabled();
  THostDevice FRec;
  bool FKeychain = true;
};

}  // namespace vanta::host
