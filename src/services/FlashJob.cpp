#include "FlashJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "StatusFlow.h"
#include "Tar.h"
#include "VantaFW.h"
#include "Zip.h"

namespace vanta {

QString FlashText(int id) {
  switch (id) {
    case msgFWUpdateSuccess: return SFWUpdateSuccess;
    case msgUpdateDone: return QStringLiteral("Update abgeschlossen!");
    case msgUpdateFailed: return QStringLiteral("ACHTUNG: Das Update war nicht erfolgreich!");
    case msgMassFailed: return QStringLiteral("Update fehlgeschlagen");
    case msgConnLost: return QStringLiteral("Verbindung während des Updates unterbrochen");
    case msgUploadFailed: return QStringLiteral("Fehler beim Hochladen der Firmware");
    case msgInvalidPackage: return QStringLiteral("Die Updatedatei scheint ungültig zu sein!");
    case msgBackupQuestion:
      return QStringLiteral(
          "Wir empfehlen Ihnen eine Parametersicherung vor dem Firmwareupdate. Wollen Sie diese jetzt durchführen?");
    default: return QString();
  }
}

TFlashPackage UnpackFlashPackage(const QString& zipPath, const QString& folder) {
  TFlashPackage p;
  std::vector<TZipFile> files;
  if (const QString e = ZipExtract(zipPath, folder, files); !e.isEmpty()) {
    p.Error = e;
    return p;
  }
  for (const TZipFile& f : files) {
    const QString ext = QFileInfo(f.Name).suffix().toLower();
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
  QFile f(tgzPath);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = f.errorString();
    return {};
  }
  std::vector<TTarEntry> entries;
  if (const QString e = TarGzUnpack(f.readAll(), entries); !e.isEmpty()) {
    if (error) *error = e;
    return {};
  }
  for (const TTarEntry& e : entries) {
    if (e.Name != QLatin1String("version")) continue;
    const QString text = QString::fromLatin1(e.Data).trimmed();
    int a = 0, b = 0, c = 0;
    if (TVantaFW::ParseVersionText(text, a, b, c)) return QStringLiteral("%1.%2.%3").arg(a).arg(b).arg(c);
    if (error) *error = QStringLiteral("version \"%1\" is not major.minor.patch").arg(text.left(40));
    return {};
  }
  if (error) *error = QStringLiteral("no version entry");
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

TFlashJob::TFlashJob(TComUnit& unit, QObject* parent) : QObject(parent), FUnit(unit) {}

TFlashJob::~TFlashJob() {
  Log(QStringLiteral("Flash Begin Destroy"));
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
    return;
  }
  Message(text, TMsgDlgType::mtError, [this] { Shutdown(0); });
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
      };
      FStatus->OnFailed = [this](const QString& why) {
        Busy(QString());
        Outcome = TOutcome::Failed;
        ResultText = why;
      };
      Busy(QStringLiteral("Verbinden"));
      if (FStatus->Refresh()) Log(QStringLiteral("SendTo=%1").arg(FStatus->ScriptFN()));
      break;
    }
    case TFlashKind::KndMassFW:
      FUnit.FSendCCCIFileNext = [this](QObject*, bool nak) { SendPerCCCI(nak); };
      FUnit.FNAKCB = [this](QObject*, uint32_t code) { MassNAKCB(code); };
      Busy(QStringLiteral("Update"));
      if (FDoMassBackup && GetPara)
        ReadBackup();
      else
        UpdateFirmware();
      break;
  }
}

void TFlashJob::DoAskBackup() {
  FUnit.FFlashDone = [this](QObject*, bool ok) { FlashDone(ok); };
  FUnit.FSendCCCIFileNext = [this](QObject*, bool nak) { SendPerCCCI(nak); };
  Busy(QStringLiteral("Verbinden"));
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
  UnguardNak();
  if (FKind == TFlashKind::KndFirmware) {
    const QString folder = FUnit.FOwnTemplateFolder.isEmpty() ? FUnit.FDatadir : FUnit.FOwnTemplateFolder;
    const QString proposed =
        QDir(folder).filePath(QStringLiteral("Para_%1_%2.xml").arg(FileNamePart(FUnit.FDevice)).arg(FUnit.FSN));
    const QString chosen = AskSaveFile ? AskSaveFile(proposed) : QString();
    if (!chosen.isEmpty()) {
      FUnit.FOwnTemplateFolder = QFileInfo(chosen).absolutePath() + QLatin1Char('/');
      QDir().mkpath(FUnit.FOwnTemplateFolder);
      QFile::remove(chosen);
      if (QFile::copy(xmlFile, chosen)) {
        BackupFile = chosen;
        Log(QStringLiteral("Save Backup %1").arg(chosen));
      } else {
        Log(QStringLiteral("Parametersicherung nicht gespeichert: %1 (die gelesene Datei liegt unter %2)").arg(chosen, xmlFile));
      }
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
      Fail(QStringLiteral("Parametersicherung fehlgeschlagen: %1").arg(target));
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
    Fail(QStringLiteral("Parametersicherung fehlgeschlagen: das Gerät lehnt das Lesen ab (NAK %1 %2)")
             .arg(code)
             .arg(FUnit.FLastNakText));
  });
  GetPara();
}

void TFlashJob::UpdateFirmware() {
  if (FFlashDone) return;
  FFlashDone = true;
  const TFlashPackage p = UnpackFlashPackage(FFN, UnpackDir());
  if (!p.Error.isEmpty()) Log(QStringLiteral("Updatedatei %1: %2").arg(FFN, p.Error));
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
      Log(QStringLiteral("Upload abgelehnt (NAK %1 %2)").arg(code).arg(FUnit.FLastNakText));
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
  FUnit.FFlashDone = [this](QObject*, bool ok) {
    FUnit.FFlashDone = nullptr;
    FFlashOk = ok;
  };
  FUnit.RunLua(QStringLiteral("uti.fwUpdate(\"~/%1\")").arg(FUpdFN), [this](QObject*, const QString& text) {
    DeviceText = text.trimmed();
    FlashDone(FFlashOk);
  });
}

void TFlashJob::FlashDone(bool success) {
  FUnit.FFlashDone = nullptr;
  if (Outcome == TOutcome::None) {
    Outcome = success ? TOutcome::Success : TOutcome::Failed;
    if (!success && ResultText.isEmpty()) {
      ResultText = FlashText(FKind == TFlashKind::KndMassFW ? msgMassFailed : msgUpdateFailed);
      if (!DeviceText.isEmpty()) ResultText += QStringLiteral(" (%1)").arg(DeviceText.simplified());
    }
    if (success) ResultText = SFWUpdateSuccess;
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
      break;  // the status flow reads "stat.txt" itself
    case TFlashKind::KndMassFW:
      Busy(QString());
      if (FMassFlashDone) return;
      FMassFlashDone = true;
      if (FMassFlashSucc) FMassFlashSucc(success, success ? QString() : FlashText(msgMassFailed));
      Log(QStringLiteral("Flashdone After Message"));
      // The device closes its side when it restarts; the form goes after
      // the report has been read.
      QTimer::singleShot(2000, this, [this] {
        if (OnCloseRequest) OnCloseRequest();
      });
      break;
  }
}

void TFlashJob::Shutdown(int result) {
  if (!FClosed) {
    FClosed = true;
    if (FFlashClose) FFlashClose(this, result);
  }
  Log(QStringLiteral("Flashdone Before Disconnect"));
  Log(QStringLiteral("Flashdone After Disconnect"));
}

void TFlashJob::MassNAKCB(uint32_t code) {
  Log(QStringLiteral("NAK %1").arg(code));
  FlashDone(false);
}

void TFlashJob::ThreadExceptCallBack() {
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
