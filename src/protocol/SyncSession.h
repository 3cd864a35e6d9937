#pragma once
// A device connection for code that waits for each answer: a command-line
// run, one readout of the fleet service. It owns the client, collects what
// the client tells about the connection (done, failed, lost, refused) and
// spins the calling thread's events until something it waits for happens.
// Every such connection lives on a thread of its own.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "Ccci.h"
#include "ComUnit.h"

namespace vanta {

// "host:port", an IPv6 address in brackets ("[::1]:5040").
QString HostPort(const QString& host, int port);

class TSyncSession {
 public:
  // `timeoutSec`: the longest silence a wait allows (any progress from the
  // device starts the count again). `stopped`: ends every wait at once
  // (Ctrl-C, a service stop); may be empty.
  TSyncSession(std::unique_ptr<TComUnit> unit, int timeoutSec, std::function<bool()> stopped = {});
  ~TSyncSession();

  // The client's folders below `dataDir`: downloads, its settings, and a
  // temporary folder of this connection alone (`tmpName` with XXXXXX), so
  // two connections at once never swap a file unpacked under one name.
  void UseDataFolder(const QString& dataDir, const QString& tmpName);

  // Until `done`, a stop, or the device silent for the time-out; true when done.
  bool WaitFor(const std::function<bool()>& done);
  // Waits for the connection started by the caller to be done; false with
  // the reason. `address` names the device in the message.
  bool AwaitConnected(const QString& address, QString& error);
  // Sends `request` with `send` and waits for its evaluated answer (same
  // command group and sub-command), a refusal, a lost line or the time-out.
  // True when the answer came.
  bool Request(ccci::TCcci request, const std::function<void()>& send);
  // Orderly shutdown (stream stop, NTP close, session stop), at most `limitMs`.
  void Close(int limitMs = 6000);

  // Device refusals (NAK texts, a refused login, an untrusted host key).
  void AddRefusal(const QString& text) { FRefusals << text; }
  const QStringList& Refusals() const { return FRefusals; }
  int RefusalCount() const { return int(FRefusals.size()); }
  // What went wrong since refusal `since`: the new refusals, else the lost
  // line, else no answer (a time-out, or a stop the caller tells itself).
  QString Why(int since) const;
  // Marks the connect as failed (an SSH connect that ended without a link).
  void ConnectFailed() { FConnFailed = true; }
  bool Lost() const { return FLost; }
  bool Stopped() const { return FStopped && FStopped(); }

  TComUnit& Unit() { return *FUnit; }

 private:
  std::unique_ptr<QTemporaryDir> FTmp;  // outlives the client, which uses it
  std::unique_ptr<TComUnit> FUnit;
  int FTimeoutSec;
  std::function<bool()> FStopped;
  bool FConnDone = false;
  bool FConnFailed = false;
  bool FLost = false;
  QStringList FRefusals;
};

}  // namespace vanta
