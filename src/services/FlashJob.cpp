#include "FlashJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QDateTime>
#include <QTimer>
#include <limits>

#include "StatusFlow.h"
#include "Tar.h"
#include "VantaFW.h"
#include "Zip.h"
#include "Language.h"

namespace vanta {

QString FlashText(int id) {
  switch (id) {
    case msgFWUpdateSuccess: return TTr::tr(CFWUpdateSuccessText);
    case msgUpdateDone: return TTr::tr("Update abgeschlossen!");
    case msgUpdateFailed: return TTr::tr("ACHTUNG: Das Update war nicht erfolgreich!");
    case msgMassFailed: return TTr::tr("Update fehlgeschlagen");
    case msgConnLost: return TTr::tr("Verbindung während des Updates unterbrochen");
    case msgUploadFailed: return TTr::tr("Fehler beim Hochladen der Firmware");
    case msgInvalidPackage: return TTr::tr("Die Updatedatei scheint ungültig zu sein!");
    case msgBackupQuestion:
      return TTr::tr("Wir empfehlen Ihnen eine Parametersicherung vor dem Firmwareupdate. Wollen Sie diese jetzt durchführen?");
    default: return QString();
  }
}

QString ElapsedText(qint64 ms) {
  const qint64 sec = qMax<qint64>(0, ms) / 1000;
  if (sec >= 3600) return QStringLiteral("%1:%2:%3").arg(sec / 3600).arg(sec / 60 % 60, 2, 10, QLatin1Char('0')).arg(sec % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(sec / 60).arg(sec % 60, 2, 10, QLatin1Char('0'));
}

TFlashPackage UnpackFlashPackage(const QString& zipPath, const QString& folder, const TZipLimits* limits) {
  TFlashPackage p;
  std::vector<TZipFile> files;
  if (const QString e = ZipExtract(zipPath, folder, files, limits ? *limits : TZipLimits{}); !e.isEmpty()) {
    p.Error = e;
    return p;
  }
  for (const TZipFile& f : files) {
    const QString ext = QFileInfo(f.Name).suffix().toLower();
    // What goes to the device becomes a scratchpad file name and, for the
    // firmware, part of a Lua string: plain names only.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._+-]{1,120}$"));
    if (ext != QLatin1String("txt") && !plain.match(f.Name).hasMatch()) {
      for (const TZipFile& g : files) QFile::remove(g.Path);
      p = TFlashPackage{};
      p.Error = TTr::tr("Eintrag »%1«: Name nicht zulässig").arg(f.Name.left(140));
      return p;
    }
    if (ext == QLatin1String("tgz")) {
      p.UpdFN = f.Name;
      p.UpdPath = f.Path;
    }
    if (ext == QLatin1String("txt"))
      p.ReadmeFN = f.Path;  // a later change log replaces an earlier one
    else
      p.SL << f.Path;
  }
  return p;
}

QString FirmwareVersionOf(const QString& tgzPath, QString* error) {
  // Streamed: the archive may be large (or built to be large when unpacked);
  // only the short version entry is kept.
  QByteArray text;
  bool found = false;
  if (const QString e = TarGzReadEntry(tgzPath, QStringLiteral("version"), text, found, 64); !e.isEmpty()) {
    if (error) *error = e;
    return {};
  }
  if (!found) {
    if (error) *error = TEn::tr("no version entry");
    return {};
  }
  int a = 0, b = 0, c = 0;
  const QString v = QString::fromLatin1(text).trimmed();
  if (TVantaFW::ParseVersionText(v, a, b, c)) return QStringLiteral("%1.%2.%3").arg(a).arg(b).arg(c);
  if (error) *error = QStringLiteral("version \"%1\" is not major.minor.patch").arg(v.left(40));
  return {};
}

QString PackageVersion(const QString& zipPath, QString* error) {
  QDir tmp(QDir::tempPath());
  const QString folder = tmp.filePath(QStringLiteral("vanta-pkg-%1").arg(QString::number(quintptr(&tmp), 16)));
  const TFlashPackage p = UnpackFlashPackage(zipPath, folder);
  QString v;
  if (!p.Error.isEmpty()) {
    if (error) *error = p.Error;
  } else if (p.UpdFN.isEmpty()) {
    if (error) *error = FlashText(msgInvalidPackage);
  } else {
    v = FirmwareVersionOf(p.UpdPath, error);
  }
  QDir(folder).removeRecursively();
  return v;
}

QString FileNamePart(const QString& text) {
  QString s = text;
  s.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]")), QStringLiteral("_"));
  s = s.trimmed();
  while (s.startsWith(QLatin1Char('.'))) s.remove(0, 1);
  return s.left(80);
}

TFlashJob::TFlashJob(TComUnit& unit, QObject* parent) : QObject(parent), FUnit(unit) {
  // The client tells a lost line through its clear-work hook (and a box,
  // which a guarded step or a mass update does not show).
  FSavedClearWork = FUnit.FClearWork;
  FUnit.FClearWork = [this, chained = FSavedClearWork] {
    if (chained) chained();
    QTimer::singleShot(0, this, [this] { ConnectionLost(); });
  };
  FWatch = new QTimer(this);
  FWatch->setSingleShot(true);
  FTick = new QTimer(this);
  FTick->setInterval(1000);
  connect(FTick, &QTimer::timeout, this, [this] {
    if (OnWaiting) OnWaiting(QDateTime::currentMSecsSinceEpoch() - FUpdateStarted);
  });
  connect(FWatch, &QTimer::timeout, this, [this] {
    const QString step = FStep;
    if (step == QLatin1String("Update")) {
      UpdateUnknown(TTr::tr("Keine Antwort auf den Updateaufruf nach %1").arg(ElapsedText(FUpdateTimeoutMs)));
      return;
    }
    Log(QStringLiteral("Keine Antwort vom Gerät im Schritt \"%1\"").arg(step));  // untranslated
    FSL.clear();
    FUnit.FSendCCCIFileNext = nullptr;
    FUnit.FOnNewXMLFile = nullptr;
    FUnit.FTmpLUACallBack = nullptr;
    FUnit.FFlashDone = nullptr;
    FFlashDone = true;
    UnguardNak();
    FUnit.DoDisconnect(true);
    Fail((step == QLatin1String("Hochladen") ? FlashText(msgUploadFailed) : TTr::tr("Parametersicherung fehlgeschlagen")) +
         TTr::tr(" (keine Antwort vom Gerät)"));
  });
}

void TFlashJob::Arm(const QString& step, qint64 bytes) {
  FStep = step;
  if (step == QLatin1String("Update")) {
    FUpdateStarted = QDateTime::currentMSecsSinceEpoch();
    FTick->start();
    FWatch->start(qMax(1, FUpdateTimeoutMs));
    if (OnWaiting) OnWaiting(0);
    return;
  }
  const qint64 extra = FUploadFloorBytesPerSec > 0 ? bytes * 1000 / FUploadFloorBytesPerSec : 0;
  FWatch->start(int(qMin<qint64>(FStepTimeoutMs + extra, std::numeric_limits<int>::max())));
}

void TFlashJob::Disarm() {
  FWatch->stop();
  if (FTick->isActive()) {
    FTick->stop();
    if (OnWaiting) OnWaiting(-1);
  }
  FStep.clear();
}

void TFlashJob::StopWaiting() {
  if (!WaitingForUpdate()) return;
  UpdateUnknown(TTr::tr("Warten auf den Updateaufruf nach %1 abgebrochen")
                    .arg(ElapsedText(QDateTime::currentMSecsSinceEpoch() - FUpdateStarted)));
}

// The device may still be installing: the answer is no longer waited for,
// but the line is not cut and nothing is called a failure.
void TFlashJob::UpdateUnknown(const QString& why) {
  Disarm();
  Log(why);
  FUnit.FTmpLUACallBack = nullptr;
  FUnit.FFlashDone = nullptr;
  Busy(QString());
  if (Outcome == TOutcome::None) {
    Outcome = TOutcome::Unknown;
    ResultText = TTr::tr(CResultUnknownText);
  }
  switch (FKind) {
    case TFlashKind::KndFirmware:
      Message(TTr::tr(CResultUnknownText), TMsgDlgType::mtWarning, [this] { Shutdown(2); });
      break;
    case TFlashKind::KndMassFW:
      Log(SResultUnknown);
      if (!FMassFlashDone) {
        FMassFlashDone = true;
        if (FMassFlashSucc) FMassFlashSucc(false, TTr::tr(CResultUnknownText));
      }
      Ended();
      break;
    case TFlashKind::KndStatus:
      Ended();
      break;
  }
}

TFlashJob::~TFlashJob() {
  Log(QStringLiteral("Flash Begin Destroy"));
  FUnit.FClearWork = FSavedClearWork;
  UnguardNak();
  if (FUnit.FFlashDone) FUnit.FFlashDone = nullptr;
  FUnit.FSendCCCIFileNext = nullptr;
  if (FKind == TFlashKind::KndMassFW && !FMassFlashDone) {
    FMassFlashDone = true;
    if (Outcome == TOutcome::None) {
      Outcome = TOutcome::Failed;
      ResultText = FlashText(msgConnLost);
    }
    if (FMassFlashSucc) FMassFlashSucc(false, FlashText(msgConnLost));
  }
  Log(QStringLiteral("Flash End Destroy"));
}

void TFlashJob::Ended() {
  if (FEnded) return;
  FEnded = true;
  if (OnEnded) OnEnded();
}

void TFlashJob::ConnectionLost() {
  if (Outcome != TOutcome::None || FKind == TFlashKind::KndStatus) return;
  const bool boxWasHeld = FNakGuard;
  Disarm();
  UnguardNak();
  Outcome = TOutcome::Failed;
  ResultText = FlashText(msgConnLost);
  Log(ResultText);
  if (FKind == TFlashKind::KndMassFW) {
    if (!FMassFlashDone) {
      FMassFlashDone = true;
      if (FMassFlashSucc) FMassFlashSucc(false, ResultText);
    }
    Ended();
    return;
  }
  // The window saw "Verbindungsabbruch" unless a step held the box back.
  if (boxWasHeld)
    Message(ResultText, TMsgDlgType::mtError, [this] { Shutdown(0); });
  else
    Shutdown(0);
}

void TFlashJob::Log(const QString& line) {
  if (OnLog) OnLog(line);
}

QString TFlashJob::UnpackDir() const {
  const QString tmp = FUnit.FTmpDir.isEmpty() ? QDir::tempPath() : FUnit.FTmpDir;
  return QDir(tmp).filePath(QStringLiteral("fw-%1").arg(FUnit.FSN));
}

void TFlashJob::Message(const QString& text, TMsgDlgType type, std::function<void()> then) {
  Log(text);
  if (ShowMessage)
    ShowMessage(text, type, std::move(then));
  else if (then)
    then();
}

// A failure before the update call: the interactive update shows it, the
// mass update reports it without a box that would wait for a person.
void TFlashJob::Fail(const QString& text) {
  Disarm();
  UnguardNak();
  Busy(QString());
  if (Outcome == TOutcome::None) {
    Outcome = TOutcome::Failed;
    ResultText = text;
  }
  if (FKind == TFlashKind::KndMassFW) {
    Log(text);
    if (!FMassFlashDone) {
      FMassFlashDone = true;
      if (FMassFlashSucc) FMassFlashSucc(false, text);
      QTimer::singleShot(2000, this, [this] {
        if (OnCloseRequest) OnCloseRequest();
      });
    }
    Ended();
    return;
  }
  // Nothing was started: the window stays with its log.
  Message(text, TMsgDlgType::mtError);
  Ended();
}

void TFlashJob::ConnEst(bool connected) {
  if (!connected) return;
  FUnit.FFlashDone = [this](QObject*, bool ok) { FlashDone(ok); };
  switch (FKind) {
    case TFlashKind::KndFirmware:
      if (FUnit.FisSSHCon) {
        FUnit.FFlashDone = nullptr;
        FUnit.CheckSSHRight(QStringLiteral("lua.user.print"), [this] { DoAskBackup(); }, [this] { FlashDone(false); },
                            true);
      } else {
        DoAskBackup();
      }
      break;
    case TFlashKind::KndStatus: {
      FUnit.FFlashDone = nullptr;
      FStatus = std::make_unique<TStatusFlow>(FUnit);
      FStatus->OnLog = [this](const QString& l) { Log(l); };
      FStatus->OnStatusFile = [this](const QString& path) {
        Busy(QString());
        Outcome = TOutcome::Success;
        if (OnStatusFile) OnStatusFile(path);
        FUnit.DoDisconnect(true);
        Ended();
      };
      FStatus->OnFailed = [this](const QString& why) {
        Busy(QString());
        Outcome = TOutcome::Failed;
        ResultText = why;
        Ended();
      };
      FStatus->OnStatusMissing = [this](const QString& line) {
        Busy(QString());
        Outcome = TOutcome::Failed;
        ResultText = line;
        Log(line);
        Ended();
      };
      Busy(TTr::tr("Verbinden"));
      FStatus->Refresh();  // logs its own "SendTo=" line
      break;
    }
    case TFlashKind::KndMassFW: {
      FUnit.FSendCCCIFileNext = [this](QObject*, bool nak) { SendPerCCCI(nak); };
      FUnit.FNAKCB = [this](QObject*, uint32_t code) { MassNAKCB(code); };
      Busy(QStringLiteral("Update"));
      auto go = [this] {
        if (FDoMassBackup && GetPara)
          ReadBackup();
        else
          UpdateFirmware();
      };
      if (!FUnit.FisSSHCon) {
        go();
        break;
      }
      // Over SSH the update's answer is read from what the device prints:
      // without that right the device would update and look failed.
      FUnit.FFlashDone = nullptr;
      FUnit.CheckSSHRight(QStringLiteral("lua.user.print"), go, [this] {
        FFlashDone = true;
        Fail(TTr::tr("Der Benutzer \"%1\" hat nicht die nötigen Rechte für diesen Vorgang!").arg(FUnit.FSSHUser));
      }, false);
      break;
    }
  }
}

void TFlashJob::DoAskBackup() {
  FUnit.FFlashDone = [this](QObject*, bool ok) { FlashDone(ok); };
  FUnit.FSendCCCIFileNext = [this](QObject*, bool nak) { SendPerCCCI(nak); };
  Busy(TTr::tr("Verbinden"));
  if (!AskBackup) return;
  AskBackup(FlashText(msgBackupQuestion), [this](bool yes) { BackupDialogResult(yes); });
}

void TFlashJob::BackupDialogResult(bool yes) {
  if (yes && FUnit.IsConnected() && GetPara && !FFlashDone) {
    ReadBackup();
    return;
  }
  if (!FFlashDone) UpdateFirmware();
}

void TFlashJob::ParaToTable(const QString& xmlFile) {
  Disarm();
  UnguardNak();
  if (FKind == TFlashKind::KndFirmware) {
    const QString folder = FUnit.FOwnTemplateFolder.isEmpty() ? FUnit.FDatadir : FUnit.FOwnTemplateFolder;
    const QString proposed =
        QDir(folder).filePath(QStringLiteral("Para_%1_%2.xml").arg(FileNamePart(FUnit.FDevice)).arg(FUnit.FSN));
    const QString chosen = AskSaveFile ? AskSaveFile(proposed) : QString();
    if (!chosen.isEmpty()) {
      // Our own folder may be made; a folder the operator chose must be there.
      if (chosen == proposed) QDir().mkpath(QFileInfo(chosen).absolutePath());
      QFile::remove(chosen);
      if (!QFile::copy(xmlFile, chosen)) {
        // Updating without the backup that was asked for is not what the
        // operator chose: nothing goes to the device.
        BackupNotStored = true;
        FFlashDone = true;
        Fail(TTr::tr("Parametersicherung nicht gespeichert: %1 - kein Update").arg(chosen));
        return;
      }
      FUnit.FOwnTemplateFolder = QFileInfo(chosen).absolutePath() + QLatin1Char('/');
      BackupFile = chosen;
      Log(QStringLiteral("Save Backup %1").arg(chosen));
    }
  } else if (FKind == TFlashKind::KndMassFW) {
    QString dir = FMassBackupDir;
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    const QString target = QStringLiteral("%1%2_%3_%4_%5.xml")
                               .arg(dir)
                               .arg(FUnit.FSN)
                               .arg(FileNamePart(FUnit.FIP), FileNamePart(FPQStartID), FileNamePart(FUnit.FDevice));
    QDir().mkpath(dir);
    QFile::remove(target);
    if (!QFile::copy(xmlFile, target)) {
      // Flashing without the backup that was asked for is not what the
      // operator chose: this device stops here.
      BackupNotStored = true;
      Fail(TTr::tr("Parametersicherung fehlgeschlagen: %1").arg(target));
      FFlashDone = true;
      return;
    }
    BackupFile = target;
    Log(QStringLiteral("Save Backup %1").arg(target));
  }
  if (!FFlashDone) UpdateFirmware();
}

void TFlashJob::GuardNak(std::function<void(uint32_t code)> handler) {
  if (!FNakGuard) {
    FNakGuard = true;
    FSavedConnMessage = std::move(FUnit.FDisplayConnMessage);
    FSavedNak = std::move(FUnit.FNAKCB);
  }
  FUnit.FDisplayConnMessage = nullptr;
  FUnit.FNAKCB = [this, handler = std::move(handler)](QObject*, uint32_t code) { handler(code); };
}

void TFlashJob::UnguardNak() {
  if (!FNakGuard) return;
  FNakGuard = false;
  FUnit.FDisplayConnMessage = std::move(FSavedConnMessage);
  FUnit.FNAKCB = std::move(FSavedNak);
  FSavedConnMessage = nullptr;
  FSavedNak = nullptr;
}

void TFlashJob::ReadBackup() {
  GuardNak([this](uint32_t code) {
    UnguardNak();
    FUnit.FOnNewXMLFile = nullptr;
    FFlashDone = true;  // no update without the backup that was asked for
    Disarm();
    Fail(TTr::tr("Parametersicherung fehlgeschlagen: das Gerät lehnt das Lesen ab (NAK %1 %2)")
             .arg(code)
             .arg(FUnit.FLastNakText));
  });
  Arm(QStringLiteral("Parametersicherung"));
  GetPara();
}

void TFlashJob::UpdateFirmware() {
  if (FFlashDone) return;
  FFlashDone = true;
  const TFlashPackage p = UnpackFlashPackage(FFN, UnpackDir());
  if (!p.Error.isEmpty()) Log(QStringLiteral("Updatedatei %1: %2").arg(FFN, p.Error));  // untranslated
  FUpdFN = p.UpdFN;
  FReadmeFN = p.ReadmeFN;
  FSL = p.SL;
  FUploadTotal = int(FSL.size());
  if (FUpdFN.isEmpty() || !p.Error.isEmpty()) {
    FSL.clear();
    Fail(FlashText(msgInvalidPackage));
    return;
  }
  if (!FUnit.FFTP) {
    GuardNak([this](uint32_t code) {
      Log(QStringLiteral("Upload abgelehnt (NAK %1 %2)").arg(code).arg(FUnit.FLastNakText));  // untranslated
      SendPerCCCI(true);
    });
    SendPerCCCI(false);
    return;
  }
  if (!FUnit.SendFTPFiles(FSL, QStringLiteral("/flashdrive0/data/ccci/scratchpad"))) {
    Fail(FlashText(msgUploadFailed));
    return;
  }
  if (OnUpload) OnUpload(FUploadTotal, FUploadTotal, QString());
  FSL.clear();
  StartFlash();
}

void TFlashJob::SendPerCCCI(bool failed) {
  if (FKind == TFlashKind::KndStatus) return;  // the status flow runs its own chain
  Disarm();
  if (failed) {
    FSL.clear();
    FUnit.FSendCCCIFileNext = nullptr;
    UnguardNak();
    FUnit.DoDisconnect(true);
    Fail(FlashText(msgUploadFailed));
    return;
  }
  if (!FSL.isEmpty()) {
    const QString path = FSL.takeFirst();
    if (OnUpload) OnUpload(FUploadTotal - int(FSL.size()) - 1, FUploadTotal, QFileInfo(path).fileName());
    Arm(QStringLiteral("Hochladen"), QFileInfo(path).size());
    FUnit.SendCommandCCCIFile(ccci::TCcci::SCRATCH_PAD_WR, QFileInfo(path).fileName(), path);
    Log(QStringLiteral("SendTo=%1").arg(path));
    return;
  }
  if (OnUpload) OnUpload(FUploadTotal, FUploadTotal, QString());
  StartFlash();
}

void TFlashJob::StartFlash() {
  UnguardNak();
  FUnit.FSendCCCIFileNext = nullptr;
  if (FShuttingDown) {
    Busy(QString());
    return;
  }
  if (FKind == TFlashKind::KndMassFW) {
    RunUpdateCall();
    return;
  }
  Busy(QString());
  auto answer = [this](bool ok) {
    if (!ok) {
      FUnit.FRequestClose = nullptr;
      FlashDone(false);
      return;
    }
    Busy(QStringLiteral("Update"));
    RunUpdateCall();
  };
  if (ShowChangelog)
    ShowChangelog(FReadmeFN, answer);
  else
    answer(true);
}

void TFlashJob::RunUpdateCall() {
  Arm(QStringLiteral("Update"));
  // Over SSH the shell has no error channel: the plain call would always
  // look successful, so the device's own text decides, in every kind.
  if (FUnit.FisSSHCon) {
    FUnit.FFlashDone = nullptr;
    FUnit.RunLua(QStringLiteral("FW = print(uti.err2ascii(uti.fwUpdate(\"~/%1\")))").arg(FUpdFN),
                 [this](QObject*, const QString& text) {
                   DeviceText = text.trimmed();
                   FlashDone(text.contains(QLatin1String("No Error"), Qt::CaseInsensitive));
                 });
    return;
  }
  // The client's flash-done callback gives the verdict; the one-shot
  // receiver, called right after it for the same end, brings the device's
  // words for the report.
  FUnit.FFlashDone = [this](QObject*, bool ok) { FFlashOk = ok; };
  FUnit.RunLua(QStringLiteral("uti.fwUpdate(\"~/%1\")").arg(FUpdFN), [this](QObject*, const QString& text) {
    DeviceText = text.trimmed();
    FlashDone(FFlashOk);
  });
}

void TFlashJob::FlashDone(bool success) {
  Disarm();
  // May run inside the client's own flash-done call: the callback is
  // dropped once that call has returned.
  QTimer::singleShot(0, this, [this] { FUnit.FFlashDone = nullptr; });
  if (Outcome == TOutcome::None) {
    Outcome = success ? TOutcome::Success : TOutcome::Failed;
    if (!success && ResultText.isEmpty()) {
      ResultText = FlashText(FKind == TFlashKind::KndMassFW ? msgMassFailed : msgUpdateFailed);
      if (!DeviceText.isEmpty()) ResultText += QStringLiteral(" (%1)").arg(DeviceText.simplified());
    }
    if (success) ResultText = TTr::tr(CFWUpdateSuccessText);
  }
  switch (FKind) {
    case TFlashKind::KndFirmware:
      Log(QStringLiteral("Flash Succ: %1").arg(success ? QStringLiteral("True") : QStringLiteral("False")));
      Busy(QString());
      FUnit.DoDisconnect(true);
      Message(FlashText(success ? msgUpdateDone : msgUpdateFailed), success ? TMsgDlgType::mtInformation : TMsgDlgType::mtWarning,
              [this] { Shutdown(1); });
      Log(QStringLiteral("Flashdone After Message"));
      break;
    case TFlashKind::KndStatus:
      Ended();
      break;  // the status flow reads "stat.txt" itself
    case TFlashKind::KndMassFW:
      Busy(QString());
      if (FMassFlashDone) return;
      FMassFlashDone = true;
      if (FMassFlashSucc) FMassFlashSucc(success, success ? QString() : FlashText(msgMassFailed));
      Log(QStringLiteral("Flashdone After Message"));
      Ended();
      // The device closes its side when it restarts; the form goes after
      // the report has been read.
      QTimer::singleShot(2000, this, [this] {
        if (OnCloseRequest) OnCloseRequest();
      });
      break;
  }
}

void TFlashJob::Shutdown(int result) {
  Ended();
  if (!FClosed) {
    FClosed = true;
    if (FFlashClose) FFlashClose(this, result);
  }
  Log(QStringLiteral("Flashdone Before Disconnect"));
  Log(QStringLiteral("Flashdone After Disconnect"));
}

void TFlashJob::MassNAKCB(uint32_t code) {
  Log(QStringLiteral("NAK %1 %2").arg(code).arg(FUnit.FLastNakText));
  if (Outcome == TOutcome::None) {
    Outcome = TOutcome::Failed;
    ResultText = QStringLiteral("%1 (NAK %2 %3)").arg(FlashText(msgMassFailed)).arg(code).arg(FUnit.FLastNakText).trimmed();
  }
  FlashDone(false);
}

void TFlashJob::ThreadExceptCallBack() {
  Disarm();
  UnguardNak();
  if (FKind == TFlashKind::KndFirmware) {
    if (Outcome == TOutcome::None) {
      Outcome = TOutcome::Failed;
      ResultText = FlashText(msgConnLost);
    }
    Shutdown(0);
  } else if (FKind == TFlashKind::KndMassFW && !FMassFlashDone) {
    FMassFlashDone = true;
    if (Outcome == TOutcome::None) {
      Outcome = TOutcome::Failed;
      ResultText = FlashText(msgConnLost);
    }
    if (FMassFlashSucc) FMassFlashSucc(false, FlashText(msgConnLost));
  }
}

void TFlashJob::PrepareShutdown() { FShuttingDown = true; }

}  // namespace vanta
