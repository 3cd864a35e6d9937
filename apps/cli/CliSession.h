#pragma once
// One device connection for a command-line run: connect, wait until the
// connection is done, run a command, shut down in order.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "CmdLine.h"
#include "Output.h"
#include "Progress.h"
#include "RsComUnit.h"
#include "SyncSession.h"
#include "TcpComUnit.h"

namespace vanta::cli {

// 5: a command ran but not everything it fetched reached the disk (full
// disk, no permission, a refused file, Ctrl-C): the files are named.
enum TExitCode : int { ecDone = 0, ecUsage = 1, ecNoConnection = 2, ecRefused = 3, ecCorrected = 4, ecNotStored = 5 };

struct TCliOptions {
  QString Host = QStringLiteral("127.0.0.1");
  int Port = 5040;
  int Visibility = 1;
  QString User;
  QString Password;
  int TimeoutSec = 30;
  bool Json = false;
  bool Quiet = false;  // no progress bar
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
  QString Trace;                           // pcapng file of every frame
};

class TCliSession {
 public:
  TCliSession(const TCliOptions& options, TCliOutput& output);
  ~TCliSession();

  // Connects and waits for the connection to be done; false with a reason.
  bool Open(QString& error);
  // Orderly shutdown (stream stop, NTP close, session stop), at most ~6 s.
  void Close();

  // Spins the event loop until `done`, or until the device has been silent
  // for the command time-out: any progress (a header, a piece of an
  // answer, shell text, an FTP block) starts the count again.
  bool WaitFor(const std::function<bool()>& done);
  // Runs one Lua statement; false on time-out.
  bool Lua(const QString& statement, QString& output, bool& failed);
  // Sends `request` with `send` and waits for its evaluated answer (same
  // command group and sub-command), a refusal, a lost line or the time-out.
  // True when the answer came.
  bool Request(ccci::TCcci request, const std::function<void()>& send);
  // Number of refusals so far, to tell new ones from old.
  int RefusalCount() const { return FSync->RefusalCount(); }
  // Reports the refusals after `since` as the error; returns ecRefused, or
  // ecNoConnection when there were none (time-out).
  int Fail(int since, const QString& what);

  TComUnit& Unit() { return FSync->Unit(); }
  TCliOutput& Out() { return FOut; }
  TProgress& Progress() { return *FProgress; }
  const TCliOptions& Options() const { return FOptions; }
  // Device refusals (NAK texts) seen so far.
  const QStringList& Refusals() const { return FSync->Refusals(); }
  bool ConnectionLost() const { return FSync->Lost(); }

 private:
  TCliOptions FOptions;
  TCliOutput& FOut;
  std::unique_ptr<TProgress> FProgress;
  std::unique_ptr<TSyncSession> FSync;
  TTCPComUnit* FTcp = nullptr;  // the client in FSync, by its kind
  TRSComUnit* FSerial = nullptr;
};

// A command's arguments and its own options.
struct TCliArgs {
  QStringList Args;
  QHash<QString, QString> Options;  // "" for a flag
  bool Has(const QString& option) const { return Options.contains(option); }
  QString Value(const QString& option) const { return Options.value(option).section(QLatin1Char('\n'), -1); }  // the last one
  // Every value of a repeated option, in command-line order.
  QStringList Values(const QString& option) const {
    return Has(option) ? Options.value(option).split(QLatin1Char('\n')) : QStringList();
  }
};

// What is wrong with a command line, found before connecting: a device is
// never bothered with a command that cannot run.
struct TArgProblem {
  QString Text;           // empty: nothing wrong
  bool ShowUsage = true;  // false: a fact about a local file, not a typo
  static TArgProblem None() { return {QString(), false}; }
  static TArgProblem Usage(const QString& text) { return {text, true}; }
  static TArgProblem Fact(const QString& text) { return {text, false}; }
};

// A command: name, usage line, its own options, the check of its arguments,
// and what it does on an open session with checked arguments.
struct TCliCommand {
  QString Name;
  QString Usage;
  QList<TOptionSpec> Options;
  std::function<TArgProblem(const TCliArgs& args)> Check;
  std::function<int(TCliSession& session, const TCliArgs& args)> Run;
  // Set for commands that need no device: run without opening a session.
  std::function<int(TCliOutput& out, const TCliArgs& args, const TCliOptions& options)> RunOffline;
  // With RunOffline set: the argument forms that still need the device.
  std::function<bool(const TCliArgs& args)> Online;
  // Local checks that need more than the arguments (a package's contents, a
  // target that must be writable), run before any connection: an exit code
  // ends the run there, -1 goes on.
  std::function<int(TCliOutput& out, const TCliArgs& args)> BeforeConnect;
};

// Problems shared by the commands' checks.
TArgProblem Unexpected(const QString& arg);
TArgProblem Missing(const QString& what);
// A sub-command with its arguments: the expected words, checked in order.
TArgProblem CheckCount(const QStringList& args, int from, const QStringList& needed, int optional = 0);
TArgProblem MustExist(const QString& file);
// Copies over an existing file (a copy onto itself is a success).
bool CopyOver(const QString& from, const QString& to);
int CannotWrite(TCliSession& s, const QString& file);

std::vector<TCliCommand> AllCommands();
// Runs the event loop until `done` or `limitMs`; false on the time limit.
bool SpinUntil(const std::function<bool()>& done, qint64 limitMs);

// Command pieces (one file each).
TCliCommand IdentifyCommand();
TCliCommand LuaCommand();
TCliCommand SetupCommand();
TCliCommand EventsCommand();
TCliCommand RecordingsCommand();
TCliCommand DisplayCommand();
TCliCommand DevlogCommand();
TCliCommand StatusCommand();
TCliCommand PcapCommand();
TCliCommand CertCommand();
TCliCommand LiveCommand();
TCliCommand ScratchpadCommand();
TCliCommand StreamCommand();
TCliCommand NtpCommand();
TCliCommand ParaCommand();
TCliCommand MdbCommand();
TCliCommand ClockCommand();
TCliCommand RecordCommand();
TCliCommand ReadoutCommand();
TCliCommand OfflineCommand();
TCliCommand ReportCommand();
TCliCommand FlashCommand();
TCliCommand CalibrateCommand();
TCliCommand SoakCommand();

// The device's event or recording list as it arrives ("path;end;size" lines).
bool FetchListText(TCliSession& s, bool events, QByteArray& text);

}  // namespace vanta::cli
