#include "StatusFlow.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace vanta {

QString TStatusFlow::ScriptFN() const {
  return QDir(FUnit.FTmpDir.isEmpty() ? QDir::tempPath() : FUnit.FTmpDir).filePath(QLatin1String(CStatusScriptName));
}

bool TStatusFlow::Refresh() {
  FUnit.FFlashDone = [this](QObject*, bool success) { PrepareDone(success); };
  const QString script = ScriptFN();
  QDir().mkpath(QFileInfo(script).absolutePath());
  QSaveFile f(script);
  if (!f.open(QIODevice::WriteOnly) || f.write(CStatusScript) < 0 || !f.commit()) {
    FUnit.FFlashDone = nullptr;
    const QString reason = QStringLiteral("Statusskript nicht schreibbar: %1 (%2)").arg(script, f.errorString());
    Log(reason);
    if (OnFailed) OnFailed(reason);
    return false;
  }
  FUnit.FSendCCCIFileNext = [this](QObject*, bool nak) { SendPerCCCI(nak); };
  FUnit.SendCommandCCCIFile(ccci::TCcci::SCRATCH_PAD_WR, QLatin1String(CStatusScriptName), script);
  Log(QStringLiteral("SendTo=%1").arg(script));
  return true;
}

void TStatusFlow::SendPerCCCI(bool nakFailed) {
  FUnit.FSendCCCIFileNext = nullptr;
  if (nakFailed) {
    // Without the script on the device there is nothing to run.
    FUnit.FFlashDone = nullptr;
    const QString reason = QStringLiteral("Statusskript vom Gerät abgelehnt");
    Log(reason);
    if (OnFailed) OnFailed(reason);
    FUnit.DoDisconnect(true);
    return;
  }
  FUnit.FFlashDone = [this](QObject*, bool success) { PrepareDone(success); };
  FUnit.SendLua(QStringLiteral("dofile\"/mnt/flashdrive0/data/ccci/scratchpad/%1\" ").arg(QLatin1String(CStatusScriptName)));
}

void TStatusFlow::PrepareDone(bool success) {
  FUnit.FFlashDone = nullptr;
  // The script removed the old file first: after a failed run the read
  // below is refused rather than showing stale values.
  if (!success) Log(QStringLiteral("Statusskript meldet einen Fehler"));
  FUnit.FCCCISratchpad = TCCCISratchpad::spStatus;
  FUnit.FScratchPadCallBack = [this](const QString& path) {
    if (OnStatusFile) OnStatusFile(path);
    return true;
  };
  FUnit.SendCommand(ccci::TCcci::SCRATCH_PAD_RD, QLatin1String(CStatusFileName), false);
}

void TStatusFlow::GetLog() {
  if (FUnit.FHead.Ver <= 3) {
    FUnit.FCCCISratchpad = TCCCISratchpad::spFlushLog;
    FUnit.SendLua(QStringLiteral("uti.flushLog()"));
  } else {
    FUnit.SendCommand(ccci::TCcci::READOUT_LOGD_RD);
  }
}

void TStatusFlow::GetSecureLog() {
  const ccci::TCommandDef& d = ccci::Def(ccci::TCcci::READOUT_LOGD_RD);
  FUnit.SendCommand(QStringLiteral("CCC_READOUT_LOGD_RD"), d.Cmd, d.Priv, 35);
}

void TStatusFlow::GetPCAPListing(std::function<void(const QList<TPcapEntry>&)> done) {
  FUnit.RunLua(QStringLiteral("fs.ls(\"/mnt/flashdrive0/data/*.pcap\")"),
               [done = std::move(done)](QObject*, const QString& text) { done(ParsePcapListing(text)); });
}

void TStatusFlow::StartPCAP(const QString& command, std::function<void(bool, const QString&)> done) {
  FUnit.RunLua(command, [this, done = std::move(done)](QObject*, const QString& text) { done(FUnit.FSuccess, text); });
}

void TStatusFlow::PCAPFileInteract(TPCAPInteractType kind, const QString& name, std::function<void(bool, const QString&)> done) {
  if (kind == TPCAPInteractType::PCAPDelete) {
    FUnit.RunLua(QStringLiteral("fs.rm(\"/mnt/flashdrive0/data/%1\")").arg(name),
                 [this, done = std::move(done)](QObject*, const QString& text) { done(FUnit.FSuccess, text.trimmed()); });
    return;
  }
  FUnit.RunLua(QStringLiteral("fs.cp(\"//mnt/flashdrive0/data/%1\",\"//mnt/flashdrive0/data/ccci/scratchpad/%1\")").arg(name),
               [this, name, done = std::move(done)](QObject*, const QString& text) {
                 if (!FUnit.FSuccess) {
                   done(false, text.trimmed());
                   return;
                 }
                 ReadScratchpadFile(name, name, false, done);
               });
}

void TStatusFlow::DownloadTestCert(const QString& name, std::function<void(bool, const QString&)> done) {
  ReadScratchpadFile(QStringLiteral("Testcertificate/") + name, name, true, std::move(done));
}

void TStatusFlow::ReadScratchpadFile(const QString& devicePath, const QString& listName, bool keepOnDevice,
                                     std::function<void(bool, const QString&)> done) {
  FUnit.FCCCISratchpad = TCCCISratchpad::spPCAP;
  FUnit.FScratchpadFleLst = QStringList{listName};
  FUnit.FScratchPadCallBack = [done = std::move(done), keepOnDevice](const QString& path) {
    done(true, path);
    return !keepOnDevice;
  };
  FUnit.SendCommand(ccci::TCcci::SCRATCH_PAD_RD, devicePath, false);
}

}  // namespace vanta
