#pragma once
// One device connection for a command-line run: connect, wait until the
// connection is done, run a command, shut down in order.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "RsComUnit.h"
#include "TcpComUnit.h"

namespace vanta::cli {

enum TExitCode : int { ecDone = 0, ecUsage = 1, ecNoConnection = 2, ecRefused = 3 };

struct TCliOptions {
  QString Host = QStringLiteral("127.0.0.1");
  int Port = 5040;
  int Visibility = 1;
  QString User;
  QString Password;
  int TimeoutSec = 30;
  bool Json = false;
  bool Log = false;
  bool Ftp = false;
  int FtpPort = 21;
  QString Packing = QStringLiteral("gz");  // gz, tgz or plain
  QString DataDir;                         // local folders (default: per-user data folder)
  QString Serial;                          // a serial line instead of the network
  bool Ssh = false;                        // CCCI through SSH
  int SshPort = 22;
  int CcciPort = 0;                        // device-side CCCI port behind SSH (0: 5040)
  bool TrustNewHostKey = false;
  bool AcceptChangedHostKey = false;
  QString NewPassword;                     // for an expired password (else asked on the terminal)
};

class TCliSession {
 public:
  explicit TCliSession(const TCliOptions& options);
  ~TCliSession();

  // Connects and waits for the connection to be done; false with a reason.
  bool Open(QString& error);
  // Orderly shutdown (stream stop, NTP close, session stop), at most ~6 s.
  void Close();

  // Spins the event loop until `done` or the command time-out.
  bool WaitFor(const std::function<bool()>& done);
  // Runs one Lua statement; false on time-out.
  bool Lua(const QString& statement, QString& output, bool& failed);
  // Sends `request` with `send` and waits for its evaluated answer (same
  // command group and sub-command), a refusal, a lost line or the time-out.
  // True when the answer came.
  bool Request(ccci::TCcci request, const std::function<void()>& send);
  // Number of refusals so far, to tell new ones from old.
  int RefusalCount() const { return int(FRefusals.size()); }
  // Prints the refusals after `since` to stderr; returns ecRefused, or
  // ecNoConnection when there were none (time-out).
  int Fail(int since, const QString& what);

  TComUnit& Unit() { return *FUnit; }
  const TCliOptions& Options() const { return FOptions; }
  // Device refusals (NAK texts) seen so far.
  const QStringList& Refusals() const { return FRefusals; }
  bool ConnectionLost() const { return FLost; }

 private:
  TCliOptions FOptions;
  std::unique_ptr<TComUnit> FUnit;
  TTCPComUnit* FTcp = nullptr;
  TRSComUnit* FSerial = nullptr;
  bool FConnDone = false;
  bool FConnFailed = false;
  bool FLost = false;
  QString FFailure;
  QStringList FRefusals;
  int64_t FTotal = 0;
};

// A command: name, usage line, and what it does on an open session.
struct TCliCommand {
  QString Name;
  QString Usage;
  std::function<int(TCliSession& session, const QStringList& args)> Run;
};

std::vector<TCliCommand> AllCommands();

// Command pieces (one file each).
TCliCommand IdentifyCommand();
TCliCommand LuaCommand();
TCliCommand SetupCommand();
TCliCommand EventsCommand();
TCliCommand RecordingsCommand();
TCliCommand DisplayCommand();
TCliCommand DevlogCommand();
TCliCommand ScratchpadCommand();
TCliCommand StreamCommand();
TCliCommand NtpCommand();

}  // namespace vanta::cli
