#pragma once
// The device-side steps of the status window on one client: write the status
// script to the scratchpad, run it, fetch "stat.txt"; the device logs; packet
// captures (list, start, fetch, remove); the test certificate. The window and
// the command line drive the same object; it binds the client's one-shot
// callbacks only while a step runs and reports through its own.
#include <QElapsedTimer>
#include <QString>
#include <deque>
#include <functional>

#include "ComUnit.h"
#include "StatusModel.h"

namespace vanta {

class TStatusFlow {
 public:
  explicit TStatusFlow(TComUnit& unit) : FUnit(unit) {}
  ~TStatusFlow() { UnguardStatusRead(); }

  std::function<void(const QString& line)> OnLog;
  // `CheckLUAData`: the local path of the fetched status file.
  std::function<void(const QString& path)> OnStatusFile;
  // The refresh cannot go on (script not writable, upload refused).
  std::function<void(const QString& reason)> OnFailed;
  // The device refused to hand out "stat.txt" (a firmware without
  // `uti.stat`, a script that failed): nothing new to show, and nothing
  // wrong with the connection either.
  std::function<void(const QString& line)> OnStatusMissing;

  // Status refresh: false when the script could not be written locally.
  bool Refresh();
  // The script's local path (`ScriptFN`).
  QString ScriptFN() const;

  // Device log: flush-and-fetch for CCCI version 3 and lower, else the
  // readout command; the client opens (or hands over) the saved file.
  void GetLog();
  void GetSecureLog();

  // fs.ls of the captures; `done` gets the parsed list and the raw text.
  void GetPCAPListing(std::function<void(const QList<TPcapEntry>& list)> done);
  // Starts a capture with the command text of GenText.
  void StartPCAP(const QString& command, std::function<void(bool ok, const QString& output)> done);
  // Delete: fs.rm. Download: copy into the scratchpad, then fetch it (the
  // client removes it from the scratchpad afterwards). `done` gets the local path.
  void PCAPFileInteract(TPCAPInteractType kind, const QString& name,
                        std::function<void(bool ok, const QString& localPathOrError)> done);
  // A free statement (the Lua page): queued behind the flow's own.
  void RunLua(const QString& statement, std::function<void(bool ok, const QString& output)> done);

  // Fetches "Testcertificate/<name>"; the certificate stays on the device.
  void DownloadTestCert(const QString& name, std::function<void(bool ok, const QString& localPath)> done);

 private:
  void Log(const QString& line) {
    if (OnLog) OnLog(line);
  }
  void SendPerCCCI(bool nakFailed);
  void PrepareDone(bool success);
  // While "stat.txt" is asked for, a refusal is this read's answer, not a
  // message box that closes the window.
  void GuardStatusRead();
  void UnguardStatusRead();
  bool FStatusReadGuarded = false;
  TDisplayConnMessage FSavedConnMessage;
  TNAKCB FSavedNak;
  // The client has one receiver for a statement's output: statements of
  // the flow go out one at a time, the next when the last one's end came.
  void Lua(const QString& statement, std::function<void(bool ok, const QString& output)> done);
  void NextLua();
  struct TLuaJob {
    QString Statement;
    std::function<void(bool, const QString&)> Done;
  };
  std::deque<TLuaJob> FLuaQueue;
  bool FLuaBusy = false;
  QElapsedTimer FLuaSince;

  void ReadScratchpadFile(const QString& devicePath, const QString& listName, bool keepOnDevice,
                          std::function<void(bool, const QString&)> done);

  TComUnit& FUnit;
};

}  // namespace vanta
