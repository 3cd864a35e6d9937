#pragma once
// One firmware job on one connected client: the interactive update, the
// status script, or one device of a mass update. The window, the mass update
// and the command line drive the same object; the questions (backup, where
// to save it, the change log) and the final message are injected, so nothing
// here waits for a person unless the caller makes it.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "ComUnit.h"

namespace vanta {

class TStatusFlow;

enum class TFlashKind : uint8_t { KndFirmware, KndStatus, KndMassFW };

// Resource texts of the update.
enum TFlashMsg : int {
  msgFWUpdateSuccess = 65433,
  msgUpdateDone = 65434,
  msgUpdateFailed = 65435,
  msgMassFailed = 65436,
  msgConnLost = 65437,
  msgUploadFailed = 65438,
  msgInvalidPackage = 65439,
  msgBackupQuestion = 65408,
};
QString FlashText(int id);
// These exist before a language is chosen: the German text for comparing
// and logging, the catalogue's key (shown through TTr::tr) for people.
inline const char* const CFWUpdateSuccessText = QT_TRANSLATE_NOOP("TTr", "Firmwareupdate erfolgreich!");
inline const QString SFWUpdateSuccess = QString::fromUtf8(CFWUpdateSuccessText);
// A wait that ran out (or was stopped) while the device may still be
// installing: neither success nor failure can be said.
inline const char* const CResultUnknownText = QT_TRANSLATE_NOOP("TTr", "Ergebnis unbekannt – bitte Gerät prüfen");
inline const QString SResultUnknown = QString::fromUtf8(CResultUnknownText);
// "m:ss" (or "h:mm:ss") for how long a wait has lasted.
QString ElapsedText(qint64 ms);

// What a package holds once unpacked (`UpdateFirmware` steps 1 and 2).
struct TFlashPackage {
  QString UpdFN;     // base name of the ".tgz" entry
  QString UpdPath;   // its extracted path
  QString ReadmeFN;  // extracted path of the last ".txt" entry
  QStringList SL;    // every other entry, ".tgz" included, in archive order
  QString Error;     // why the package was refused (empty: usable)
};
// Unpacks `zipPath` into `folder`. A package without a ".tgz" entry has an
// empty UpdFN and no Error; a broken or hostile one has Error set.
TFlashPackage UnpackFlashPackage(const QString& zipPath, const QString& folder, const struct TZipLimits* limits = nullptr);
// The firmware version a ".tgz" names in its "version" entry
// ("major.minor.patch"), empty when it names none.
QString FirmwareVersionOf(const QString& tgzPath, QString* error = nullptr);
// Same for a package: unpacks the ".tgz" in memory.
QString PackageVersion(const QString& zipPath, QString* error = nullptr);

// A file name part from a device's text (name, address): nothing that
// would change the folder or confuse a file system.
QString FileNamePart(const QString& text);

class TFlashJob : public QObject {
  Q_OBJECT
 public:
  explicit TFlashJob(TComUnit& unit, QObject* parent = nullptr);
  ~TFlashJob() override;

  // ---- Set by the host before the connection is established ----
  TFlashKind FKind = TFlashKind::KndFirmware;
  QString FFN;
  QString FMassBackupDir;  // with its trailing separator
  bool FDoMassBackup = false;
  QString FPQStartID;
  std::function<void(bool success, const QString& text)> FMassFlashSucc;
  std::function<void(QObject* sender, int result)> FFlashClose;

  // A step the device does not answer (the client gives an unanswered
  // request up silently) ends the job after this long; an upload gets one
  // more second per `FUploadFloorBytesPerSec` bytes of its file.
  int FStepTimeoutMs = 60000;
  qint64 FUploadFloorBytesPerSec = 100 * 1024;
  // The update call: the device answers when its installer is done, which
  // takes minutes. Running out only ends the waiting (result unknown); the
  // line stays, the install goes on.
  int FUpdateTimeoutMs = 20 * 60 * 1000;

  // ---- Injected questions and views ----
  // The backup question; calls `answer(yes)` some time later. Unset: nothing
  // further happens (a platform without asynchronous questions).
  std::function<void(const QString& question, std::function<void(bool yes)> answer)> AskBackup;
  // Where to keep the backup: gets the proposed full path, returns the
  // chosen one or an empty text (cancelled).
  std::function<QString(const QString& proposed)> AskSaveFile;
  // The change log; calls `answer(ok)`. Unset: accepted.
  std::function<void(const QString& readmePath, std::function<void(bool ok)> answer)> ShowChangelog;
  // The closing message of an interactive update; `then` when acknowledged.
  std::function<void(const QString& text, TMsgDlgType type, std::function<void()> then)> ShowMessage;
  // Reads the parameter set; the caller hands the saved file to ParaToTable.
  std::function<void()> GetPara;
  std::function<void(const QString& line)> OnLog;
  // Busy text ("Verbinden", "Update"); empty: hide the indicator.
  std::function<void(const QString& text)> OnBusy;
  // Files uploaded so far of all (the upload chain's progress).
  std::function<void(int done, int total, const QString& name)> OnUpload;
  // The status job: the path of the fetched status file.
  std::function<void(const QString& path)> OnStatusFile;
  // The job is over, whichever way (once).
  std::function<void()> OnEnded;
  // A mass update asks to be closed 2000 ms after its report.
  std::function<void()> OnCloseRequest;
  // Once a second while the update call waits for the device: how long so
  // far; -1 when the wait is over.
  std::function<void(qint64 elapsedMs)> OnWaiting;

  // ---- Steps (the connection callbacks drive them) ----
  void ConnEst(bool connected);
  void DoAskBackup();
  void BackupDialogResult(bool yes);
  void ParaToTable(const QString& xmlFile);
  void UpdateFirmware();
  void SendPerCCCI(bool failed);
  void StartFlash();
  void FlashDone(bool success);
  void Shutdown(int result);
  void MassNAKCB(uint32_t code);
  void ThreadExceptCallBack();
  void PrepareShutdown();
  // The line went down while the job ran.
  void ConnectionLost();
  // "Abbrechen" while the update call runs: stop waiting for its answer
  // (result unknown); nothing is sent, the line stays.
  void StopWaiting();
  bool WaitingForUpdate() const { return FStep == QLatin1String("Update"); }

  // ---- State ----
  bool FShuttingDown = false;
  bool FFlashDone = false;
  bool FMassFlashDone = false;
  QString FReadmeFN;
  QStringList FSL;
  QString FUpdFN;
  int FUploadTotal = 0;
  // Outcome for callers that report it (CLI, mass update).
  enum class TOutcome : uint8_t { None, Success, Failed, Unknown };
  TOutcome Outcome = TOutcome::None;
  QString ResultText;
  QString DeviceText;  // what the device printed for the update call
  QString BackupFile;
  // The backup that was asked for could not be stored (the job stopped there).
  bool BackupNotStored = false;
  // Folder the package is unpacked into (default: the client's temporary
  // folder + "fw-<serial>").
  QString UnpackDir() const;

 private:
  void Log(const QString& line);
  void Busy(const QString& text) {
    if (OnBusy) OnBusy(text);
  }
  void Fail(const QString& text);
  void Message(const QString& text, TMsgDlgType type, std::function<void()> then = {});
  // While a step of the job waits for the device, a refusal belongs to the
  // job (an upload failure, a backup that could not be read), not to a
  // general refusal box.
  void GuardNak(std::function<void(uint32_t code)> handler);
  void UnguardNak();
  void ReadBackup();
  void Arm(const QString& step, qint64 bytes = 0);
  void Disarm();
  QTimer* FWatch = nullptr;
  QTimer* FTick = nullptr;  // the waiting time while the update call runs
  qint64 FUpdateStarted = 0;
  QString FStep;
  void UpdateUnknown(const QString& why);
  void RunUpdateCall();

  TComUnit& FUnit;
  std::unique_ptr<TStatusFlow> FStatus;
  bool FClosed = false;  // FFlashClose given
  bool FNakGuard = false;
  bool FFlashOk = false;
  bool FEnded = false;
  TProc FSavedClearWork;
  void Ended();
  TDisplayConnMessage FSavedConnMessage;
  TNAKCB FSavedNak;
};

}  // namespace vanta
