#pragma once
// TFrmCalib: the calibration wizard. Four pages (requirements, set-up, test
// conditions, calibration), seven progress marks, five step frames and the
// navigation; the steps themselves are TCalibMachine's.
#include <QPointer>
#include <array>
#include <memory>

#include "Calib.h"
#include "FormBasic.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;

namespace vanta {

class TFrmCalib : public TFormBasic {
  Q_OBJECT
 public:
  explicit TFrmCalib(QWidget* parent = nullptr);
  ~TFrmCalib() override;

  std::function<void(QObject* sender)> FClose;
  QString FSWVer;
  // How long one statement's answer is waited for (a setting of the host).
  int FStepTimeoutMs = 2 * 60 * 1000;
  TCalibMachine* Machine() const { return FMachine.get(); }
  // The certificate (the report plugin by default; tests replace it).
  std::function<QString(const QMap<QString, QString>& dict, const QString& pdf)> FMakeReport;

  // Pages and their fields.
  QStackedWidget* tbcCalib = nullptr;
  QWidget *tbtmStart = nullptr, *TbtmEinrichtung = nullptr, *tbtmBedingungen = nullptr, *tbtmKailb = nullptr;
  QLabel* txtError = nullptr;
  QPushButton *rctgnlStart = nullptr, *btnNext = nullptr, *rctgnlBack = nullptr, *rctnglRestartCalib = nullptr,
              *rctngSaveExit = nullptr, *rctglAbort = nullptr, *Standardwerte = nullptr;
  QLineEdit *edtDeviceType = nullptr, *edtSN = nullptr, *edtUser = nullptr, *edtDate = nullptr, *edtTime = nullptr, *edtSW = nullptr;
  QPlainTextEdit* mmoVorschrift = nullptr;
  QLineEdit *edtAirTemp = nullptr, *edtRelAirHum = nullptr, *edtPressure = nullptr, *edtannotation = nullptr;
  std::array<QLineEdit*, 5> Instrument1{}, Instrument2{};  // model, serial, check no., calibrated to, certificate
  QLineEdit *edtFrei1 = nullptr, *EdtFrei1Val = nullptr, *EdtFrei2 = nullptr, *EdtFrei2Val = nullptr;
  std::array<QLabel*, 7> Marks{};
  QStackedWidget* lytframe = nullptr;
  QRadioButton *rb50hz = nullptr, *rb60hz = nullptr;
  QLineEdit *edtRefU = nullptr, *edtRefI = nullptr;
  QListWidget* lstStatus = nullptr;
  QLabel* lblResult = nullptr;
  QProgressBar* barAni = nullptr;
  QLabel* lblWaiting = nullptr;  // how long the device has been waited for

  void ConnEst(QObject* Sender, bool connected) override;
  void StandardwerteClick();

 private:
  void Refresh();
  void FillReport(QMap<QString, QString>& dict) const;
  std::unique_ptr<TCalibMachine> FMachine;
  QTimer* FAni = nullptr;
  int FAniTotalMs = 0;
  qint64 FAniStart = 0;
  int FShownSetup = 0;
};

}  // namespace vanta
