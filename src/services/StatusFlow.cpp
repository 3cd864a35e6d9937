#include "StatusFlow.h"
#include "SaveWhole.h"
#include "Language.h"

#include <QDir>
#include <QFile>

namespace vanta {

QString TStatusFlow::ScriptFN() const {
  return QDir(FUnit.FTmpDir.isEmpty() ? QDir::tempPath() : FUnit.FTmpDir).filePath(QLatin1String(CStatusScriptName));
}

bool TStatusFlow::Refresh() {
  const QString script = ScriptFN();
  QDir().mkpath(QFileInfo(script).absolutePath());
  if (QString why; !SaveWhole(script, CStatusScript, why)) {
    const QString reason = TTr::tr("Statusskript nicht schreibbar: %1").arg(why);
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
    const QString reason = TTr::tr("Statusskript vom Gerät abgelehnt");
    Log(reason);
    if (OnFailed) OnFailed(reason);
    FUnit.DoDisconnect(true);
    return;
  }
  // PrepareDone runs when the statement's end arrives, like a done callback,
  // but through the flow's queue so no other statement takes its output.
  Lua(QStringLiteral("dofile\"/mnt/flashdrive0/data/ccci/scratchpad/%1\" ").arg(QLatin1String(CStatusScriptName)),
      [this](bool success, const QString&) { PrepareDone(success); });
}

void TStatusFlow::PrepareDone(bool success) {
  // The script removed the old file first: after a failed run the read
  // below is refused rather than showing stale values.
  if (!success) Log(QStringLiteral("Statusskript meldet einen Fehler"));  // untranslated
  FUnit.FCCCISratchpad = TCCCISratchpad::spStatus;
  FUnit.FScratchPadCallBack = [this](const QString& path) {
    UnguardStatusRead();
    if (OnStatusFile) OnStatusFile(path);
    return true;
  };
  GuardStatusRead();
  FUnit.SendCommand(ccci::TCcci::SCRATCH_PAD_RD, QLatin1String(CStatusFileName), false);
}

void TStatusFlow::GuardStatusRead() {
  if (FStatusReadGuarded) return;
  FStatusReadGuarded = true;
  FSavedConnMessage = std::move(FUnit.FDisplayConnMessage);
  FSavedNak = std::move(FUnit.FNAKCB);
  FUnit.FDisplayConnMessage = nullptr;
  FUnit.FNAKCB = [this](QObject*, uint32_t code) {
    // This callback is replaced by the one it saved: keep it alive and use
    // nothing of it after that.
    TStatusFlow* flow = this;
    const TNAKCB running = std::move(flow->FUnit.FNAKCB);
    flow->UnguardStatusRead();
    flow->FUnit.FScratchPadCallBack = nullptr;
    const QString line = QStringLiteral("File not found: %1").arg(QLatin1String(CStatusFileName));
    flow->Log(QStringLiteral("%1 (NAK %2 %3)").arg(line).arg(code).arg(flow->FUnit.FLastNakText).trimmed());
    if (flow->OnStatusMissing) flow->OnStatusMissing(line);
  };
}

void TStatusFlow::UnguardStatusRead() {
  if (!FStatusReadGuarded) return;
  FStatusReadGuarded = false;
  FUnit.FDisplayConnMessage = std::move(FSavedConnMessage);
  FUnit.FNAKCB = std::move(FSavedNak);
  FSavedConnMessage = nullptr;
  FSavedNak = nullptr;
}

void TStatusFlow::Lua(const QString& statement, std::function<void(bool, const QString&)> done) {
  FLuaQueue.push_back({statement, std::move(done)});
  if (FLuaBusy && FLuaSince.elapsed() > 15000) {
    // The client gave the statement up after its answer time-out: so does the queue.
    Log(QStringLiteral("Lua-Anweisung ohne Antwort aufgegeben"));
    FUnit.FTmpLUACallBack = nullptr;
    FLuaBusy = false;
  }
  if (!FLuaBusy) NextLua();
}

void TStatusFlow::NextLua() {
  if (FLuaQueue.empty()) return;
  TLuaJob job = std::move(FLuaQueue.front());
  FLuaQueue.pop_front();
  FLuaBusy = true;
  FLuaSince.start();
  FUnit.RunLua(job.Statement, [this, done = std::move(job.Done)](QObject*, const QString& text) {
    FLuaBusy = false;
    if (done) done(FUnit.FSuccess, text);
    if (!FLuaBusy) NextLua();  // unless `done` queued and started one itself
  });
}

void TStatusFlow::RunLua(const QString& statement, std::function<void(bool, const QString&)> done) { Lua(statement, std::move(done)); }

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
  Lua(QStringLiteral("fs.ls(\"/mnt/flashdrive0/data/*.pcap\")"),
      [done = std::move(done)](bool, const QString& text) { done(ParsePcapListing(text)); });
}

void TStatusFlow::StartPCAP(const QString& command, std::function<void(bool, const QString&)> done) {
  Lua(command, std::move(done));
}

void TStatusFlow::PCAPFileInteract(TPCAPInteractType kind, const QString& name, std::function<void(bool, const QString&)> done) {
  if (kind == TPCAPInteractType::PCAPDelete) {
    Lua(QStringLiteral("fs.rm(\"/mnt/flashdrive0/data/%1\")").arg(name),
        [done = std::move(done)](bool ok, const QString& text) { done(ok, text.trimmed()); });
    return;
  }
  Lua(QStringLiteral("fs.cp(\"//mnt/flashdrive0/data/%1\",\"//mnt/flashdrive0/data/ccci/scratchpad/%1\")").arg(name),
      [this, name, done = std::move(done)](bool ok, const QString& text) {
        if (!ok) {
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
