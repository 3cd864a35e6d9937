#pragma once
// The host's main window: the device tree (Anlage / Feld / Geraet), the
// actions that open a device's windows, the log, the global progress and
// the settings.
#include <QDesktopServices>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <functional>

#include "DeviceStore.h"
#include "FormDevice.h"
#include "SecretStore.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace vanta::host {

// The device's own web page; empty for a serial device, one without an
// address and an address no URL can carry.
QUrl DeviceWebUrl(const TDeviceRec& d);

// What "Offline-Daten" of a device without a serial number says.
extern const QString SNoSerialNumberYet;

// Whether connecting to `d` starts with the login (SSH, serial login).
bool NeedsLogin(const THostDevice& d);

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWindow(TDeviceStore& store, QWidget* parent = nullptr);

  void RebuildTree();
  // Opens the window of `kind` for device `index`, set up and connected as
  // the device windows expect; nullptr when there is no such device or the
  // user cancelled the password question.
  // `allValues` with dkvisu: the all-values table instead of the live window.
  TFormBasic* OpenDevice(int index, TDirectKind kind, bool allValues = false);
  // The update window reading the device's status file (the raw text of
  // the status script), without a package.
  TFormBasic* OpenStatusFile(int index);
  // The offline window at `station` (0: all stations).
  TFormBasic* OpenOffline(uint32_t station, const QString& name);
  // Opens the device's web page in the system's browser.
  void OpenWebPage(int index);
  // The mass update over the devices of the store, `selected` ticked.
  QWidget* OpenMassFlash(const QList<int>& selected);
  // The window opened last (device, offline or mass update), for screenshots.
  QWidget* LastOpened() const { return FLastOpened; }
  // The context menu of device `index` in the tree.
  void FillDeviceMenu(QMenu& menu, int index);
  // The host's settings dialog (folders, access level, wait limits).
  void EditSettings();
  void AddLog(const QString& line);
  int SelectedDevice() const;
  void SelectDevice(int index);
  QTreeWidget* Tree() const { return FTree; }
  QPlainTextEdit* LogPane() const { return FLog; }
  const QList<QPointer<TFormBasic>>& Windows() const { return FWindows; }
  QString SshUser, SshPassword;  // from the command line; they win over the entry's
  // The desktop's secret store for the entries' login passwords; none: the
  // dialog keeps no password and every login is asked at connect time.
  const TSecretStore* Secrets = nullptr;

  // Replaceable for tests, which must not start a browser or wait for a
  // person to type a password.
  std::function<bool(const QUrl&)> FOpenUrl = &QDesktopServices::openUrl;
  // Asks for the password of `prompt`; false when the user cancels.
  std::function<bool(const QString& prompt, QString& password)> FAskPassword;
  // Tells the user something that needs no answer.
  std::function<void(const QString& text)> FInform;
  // The update package for a firmware update; empty: cancelled. Set from
  // the command line (--package) it is used without asking.
  QString PackageFile;
  std::function<QString()> FAskPackage;

 protected:
  // Every device window is asked to close first; one that keeps its unsent
  // values keeps the host open too.
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddDevice();
  void EditDevice();
  void RemoveDevice();
  void DuplicateDevice();
  bool EditRecord(THostDevice& rec, const QString& title);
  void UpdateActions();
  // The stored password of this login, empty when there is none (or no
  // secret store, or it was rejected in this run).
  QString StoredPassword(const THostDevice& d, const QString& user);

  TDeviceStore& FStore;
  QTreeWidget* FTree = nullptr;
  QPlainTextEdit* FLog = nullptr;
  QProgressBar* FGlobalProgress = nullptr;
  QProgressBar* FBusy = nullptr;
  QLabel* FStatus = nullptr;
  QLabel* FBoxes = nullptr;
  class QToolBar* FToolBar = nullptr;
  int FOpenBoxes = 0;
  QList<QPointer<TFormBasic>> FWindows;
  bool FNextFlashIsStatus = false;  // set by OpenStatusFile for the window it opens
  QPointer<QWidget> FLastOpened;
  QAction* FWebAction = nullptr;
  // Passwords typed at connect time, by user@device. They live for this run
  // only and are never written to the ini file: leaving the password out of
  // the entry is the user's choice not to keep it on disk. Other windows of
  // the same device do not ask again; a rejected login forgets it.
  QHash<QString, QString> FSessionPasswords;
  // Stored passwords a device rejected in this run: asked instead, so that a
  // changed password does not fail every connection (by PasswordKey).
  QSet<QString> FRejectedStored;
  bool FKeychainProblemLogged = false;
};

}  // namespace vanta::host
