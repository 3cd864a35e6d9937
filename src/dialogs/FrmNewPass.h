#pragma once
// "Renew Password": asked when the device says the login password expired.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vanta {

class TFrmNewPass : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmNewPass(QWidget* parent = nullptr);
  QString NewPassword() const { return FNewPassword; }

  QLineEdit* edtNew = nullptr;
  QLineEdit* edtConfirm = nullptr;
  QPushButton* btnApply = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* lblError = nullptr;

 private:
  void Apply();
  QString FNewPassword;
};

}  // namespace vanta
