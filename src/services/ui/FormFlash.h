#pragma once
// TFormFlash: a device window that runs one firmware job (update, status
// script, or one device of a mass update) and shows its log; TFrmChangelog
// shows the package's change log before the update starts.
#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>

#include "FlashJob.h"
#include "FormBasic.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vanta {

class TFrmChangelog : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmChangelog(QWidget* parent = nullptr);
  QString FFN;
  QPlainTextEdit* mmoChangelog = nullptr;
  QPushButton* btnAbort = nullptr;
  QPushButton* btnok = nullptr;
  void SetImages(const QIcon& ok, const QIcon& abort);

 protected:
  void showEvent(QShowEvent* e) override;
};

class TFormFlash : public TFormBasic {
  Q_OBJECT
 public:
  explicit TFormFlash(QWidget* parent = nullptr);
  ~TFormFlash() override;

  // Set by the host before connecting.
  TFlashKind FKind = TFlashKind::KndFirmware;
  QString FFN;
  QString FMassBackupDir;
  bool FDoMassBackup = false;
  QString FPQStartID;
  std::function<void(bool success, const QString& text)> FMassFlashSucc;
  std::function<void(QObject* sender, int result)> FFlashClose;

  // The questions, replaceable (tests, automation). Unset: dialogs.
  std::function<void(const QString& question, std::function<void(bool)> answer)> FAskBackup;
  std::function<QString(const QString& proposed)> FAskSaveFile;
  std::function<void(TFrmChangelog& dialog, std::function<void(bool)> answer)> FShowChangelog;

  // How long the update call is waited for (a setting of the host).
  int FUpdateTimeoutMs = 20 * 60 * 1000;

  QPlainTextEdit* mmoLog = nullptr;
  QLabel* lblStep = nullptr;
  // Shown while the update call runs: stops the waiting, not the update.
  QPushButton* btnStopWaiting = nullptr;
  TFlashJob* Job() const { return FJob.get(); }
  QPointer<TFrmChangelog> FCLfrm;

  void ConnEst(QObject* Sender, bool connected) override;
  void ParaToTable(const QString& fileName) override;
  void ThreadExceptCallBack(QObject* Sender) override;
  void LogPrepare(QObject* Sender, const QString& text, bool toMemo) override;
  void PrepareShutdown() override;

 private:
  void MakeJob();
  std::unique_ptr<TFlashJob> FJob;
};

}  // namespace vanta
