#pragma once
// The host's main window: the device tree (Anlage / Feld / Geraet), the
// actions that open a device's windows, the log, the global progress and
// the settings.
#include <QMainWindow>
#include <QPointer>

#include "DeviceStore.h"
#include "FormDevice.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace vanta::host {

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWindow(TDeviceStore& store, QWidget* parent = nullptr);

  void RebuildTree();
  // Opens the window of `kind` for device `index`, set up and connected as
  // the device windows expect.
  TFormDevice* OpenDevice(int index, TDirectKind kind);
  void AddLog(const QString& line);
  int SelectedDevice() const;
  void SelectDevice(int index);
  QTreeWidget* Tree() const { return FTree; }
  QPlainTextEdit* LogPane() const { return FLog; }
  const QList<QPointer<TFormDevice>>& Windows() const { return FWindows; }
  QString SshUser, SshPassword;  // from the command line

 private:
  void AddDevice();
  void EditDevice();
  void RemoveDevice();
  void DuplicateDevice();
  void EditSettings();
  bool EditRecord(TDeviceRec& rec, const QString& title);

  TDeviceStore& FStore;
  QTreeWidget* FTree = nullptr;
  QPlainTextEdit* FLog = nullptr;
  QProgressBar* FGlobalProgress = nullptr;
  QProgressBar* FBusy = nullptr;
  QLabel* FStatus = nullptr;
  QLabel* FBoxes = nullptr;
  class QToolBar* FToolBar = nullptr;
  int FOpenBoxes = 0;
  QList<QPointer<TFormDevice>> FWindows;
};

}  // namespace vanta::host
