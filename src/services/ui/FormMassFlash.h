#pragma once
// TFormMassFlash: the mass update. The operator ticks devices (or a whole
// plant or field), picks a package and a backup folder, and runs them a
// chosen number at a time; each row shows its state, progress, result and
// backup file; the report (JSON and CSV) is written at the end, and the
// failed devices can be run again.
#include <QWidget>

#include "MassFlash.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTreeWidget;

namespace vanta {

class TFormMassFlash : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMassFlash(const QList<TMassTarget>& devices, const QString& dataDir, QWidget* parent = nullptr);

  // Ticks the devices whose index is listed (the host's selection).
  void Select(const QList<int>& indexes);
  QList<TMassTarget> Selected() const;
  bool StartRun(QString& error);
  bool RetryFailed(QString& error);

  QTreeWidget* tvDevices = nullptr;
  QLineEdit* edPackage = nullptr;
  QLineEdit* edBackupDir = nullptr;
  QCheckBox* cbNoBackup = nullptr;
  QLineEdit* edRunId = nullptr;
  QSpinBox* spParallel = nullptr;
  QCheckBox* cbStopOnFailure = nullptr;
  QCheckBox* cbTrustNewKeys = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStop = nullptr;
  QPushButton* btnRetry = nullptr;
  QTableWidget* tblRows = nullptr;
  QLabel* lblReport = nullptr;
  TMassFlash& Run() { return FRun; }
  QString ReportPath() const { return FReportPath; }
  std::function<void(const QString& line)> OnLog;
  // Test hook: the run's timing (restart wait, poll).
  TMassOptions Tuning;

 private:
  bool Launch(const QList<TMassTarget>& targets, QString& error);
  void ShowRow(int row);
  void Finished();
  QList<TMassTarget> FDevices;
  QString FDataDir;
  QString FReportPath;
  TMassFlash FRun;
};

}  // namespace vanta
