#include "Language.h"
#include "CliSession.h"
#include "Download.h"

#include "OfflineStore.h"

#include <QTimer>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QEventLoop>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vanta::cli {

namespace {
int TerminalColumns(int fd) {
  winsize w{};
  return ::ioctl(fd, TIOCGWINSZ, &w) == 0 ? int(w.ws_col) : 0;
}
}  // namespace

TCliSession::TCliSession(const TCliOptions& options, TCliOutput& output) : FOptions(options), FOut(output) {
  // Carriage returns belong on a terminal; in a log file or a pipe, and in
  // a JSON run, they would be noise.
  const bool bar = ::isatty(2) && !FOptions.Quiet && !FOptions.Json;
  FProgress = std::make_unique<TProgress>(bar ? stderr : nullptr, bar ? TerminalColumns(2) : 0);
  FOut.SetProgress(FProgress.get());
  std::unique_ptr<TComUnit> unit;
  if (FOptions.Serial.isEmpty()) {
    auto tcp = std::make_unique<TTCPComUnit>(FOptions.Ssh);
    FTcp = tcp.get();
    unit = std::move(tcp);
  } else {
    auto serial = std::make_unique<TRSComUnit>();
    FSerial = serial.get();
    FSerial->SetPortPath(FOptions.Serial);
    unit = std::move(serial);
  }
  FSync = std::make_unique<TSyncSession>(std::move(unit), FOptions.TimeoutSec, [] { return Interrupted(); });
  TComUnit& u = FSync->Unit();
  if (FOptions.Log)
    u.FOnLogCallBack = [this](QObject*, const QString& line, bool) { FOut.Diagnostic(QStringLiteral("log: ") + line); };
  u.FVisibility = FOptions.Visibility;
  u.FProgUser = qEnvironmentVariable("USER", QStringLiteral("vanta-cli"));
  if (FTcp) {
    FTcp->FConnectThreadEnd = [this](QObject*, bool ok, bool authError) {
      if (!ok) {
        if (authError) FSync->AddRefusal(TTr::tr("SSH-Anmeldung abgelehnt"));
        FSync->ConnectFailed();
        return;
      }
      // With credentials the session is started with the protocol-5 record;
      // a protocol-4 device refuses it and the client falls back by itself.
      if (!FOptions.User.isEmpty() && !FOptions.Ssh)
        FSync->Unit().SendStartCommand(0, FOptions.User.toLatin1(), FOptions.Password.toLatin1());
    };
  }
  if (!FOptions.User.isEmpty()) {
    if (FTcp) FTcp->FAutoSessionStart = false;
    u.SetSSHUserPass(FOptions.User, FOptions.Password);
  }
  if (FTcp) FTcp->SetIPAndPort(FOptions.Host, FOptions.Ssh ? FOptions.SshPort : FOptions.Port);
  if (FTcp && FOptions.Ssh) {
    FTcp->FOutPort = FOptions.CcciPort;
    FTcp->FOnFingerprint = [this](TFingerprintState state, const QString& question, const QString& fp) {
      const bool yes = state == TFingerprintState::fsNew ? FOptions.TrustNewHostKey : FOptions.AcceptChangedHostKey;
      const QString answer = yes ? QStringLiteral("trusted") : QStringLiteral("refused");
      if (FOut.Json())
        FOut.Note(QStringLiteral("%1 -> %2").arg(question.simplified(), answer));
      else
        FOut.Note(QStringLiteral("%1\n-> %2").arg(question, answer));
      if (!yes) FSync->AddRefusal(TEn::tr("host key %1 not trusted (%2)").arg(fp, state == TFingerprintState::fsNew ? QStringLiteral("--trust-new-host-key") : QStringLiteral("--accept-changed-host-key")));
      return yes ? TConnectHashAction::chaSave : TConnectHashAction::chaCancel;
    };
    FTcp->FOnPasswordExpired = [this](QString& fresh) {
      fresh = FOptions.NewPassword;
      if (fresh.isEmpty() && ::isatty(0)) {
        FProgress->Clear();
        std::fprintf(stderr, "%s", TTr::tr("Das bisherige Passwort ist abgelaufen. Neues Passwort: ").toLocal8Bit().constData());
        char line[256] = {};
        if (std::fgets(line, sizeof line, stdin)) fresh = QString::fromLocal8Bit(line).trimmed();
      }
      return !fresh.isEmpty();
    };
  }

  if (!FOptions.Trace.isEmpty()) {
    auto trace = std::make_shared<TPcapngWriter>();
    QString error;
    if (trace->Open(FOptions.Trace, error))
      u.FTrace = trace;
    else
      FOut.Note(TTr::tr("Mitschnitt nicht möglich: %1").arg(error));
  }
  // A test hook for a disk that fills up: the client's file writer stores
  // this many bytes in all and then fails the way a full disk does, so the
  // failure path runs without a small file system (and without mount rights).
  if (const QByteArray budget = qgetenv("VANTA_FAULT_DISK_FULL_AFTER"); !budget.isEmpty()) {
    auto left = std::make_shared<qint64>(budget.toLongLong());
    u.FFileWriter = [left](const QString& path, qint64 pos, QByteArrayView data) -> QString {
      const qsizetype fits = qsizetype(qBound<qint64>(0, *left, data.size()));
      if (const QString e = WriteAtOffset(path, pos, data.first(fits)); !e.isEmpty()) return e;
      *left -= fits;
      return fits < data.size() ? QStringLiteral("Auf dem Datenträger ist kein Platz mehr") : QString();  // untranslated
    };
  }
  u.FFTP = FOptions.Ftp;
  u.FFtpPort = uint16_t(FOptions.FtpPort);
  u.FGZ = FOptions.Packing != QLatin1String("plain");
  u.FTGZ = FOptions.Packing == QLatin1String("tgz");
  QString data = FOptions.DataDir;
  // By default the same store the desktop host reads: what the command line
  // downloads shows in the host's offline window.
  if (data.isEmpty()) data = DefaultDataFolder();
  FSync->UseDataFolder(data, QStringLiteral("run-XXXXXX"));
  if (bar) {
    auto progress = [this](TWorkMode, int64_t count, TWorkStatus status) {
      if (status == TWorkStatus::WorkBegin)
        FProgress->Begin(count);
      else if (status == TWorkStatus::WorkWorking)
        FProgress->Advance(count);
      else
        FProgress->End();
    };
    if (FTcp) FTcp->FOnWorkEvent = progress;
    if (FSerial) FSerial->FOnWorkEvent = progress;
  }
}

TCliSession::~TCliSession() { FOut.SetProgress(nullptr); }

bool TCliSession::WaitFor(const std::function<bool()>& done) { return FSync->WaitFor(done); }

bool TCliSession::Open(QString& error) {
  if (FSerial) {
    FSerial->DoConnect();
    if (!WaitFor([this] { return FSerial->IsConnected(); })) {
      error = TTr::tr("serielle Schnittstelle %1 nicht verfügbar").arg(FOptions.Serial);
      return false;
    }
    FSerial->StartSession(!FOptions.User.isEmpty());
  } else {
    FTcp->DoConnect();
  }
  const QString address = FSerial ? FOptions.Serial : HostPort(FOptions.Host, FOptions.Ssh ? FOptions.SshPort : FOptions.Port);
  return FSync->AwaitConnected(address, error);
}

bool TCliSession::Lua(const QString& statement, QString& output, bool& failed) {
  bool got = false;
  TComUnit& u = FSync->Unit();
  u.RunLua(statement, [&](QObject*, const QString& text) {
    output = text;
    got = true;
  });
  const int refusalsBefore = RefusalCount();
  const bool ok = WaitFor([&] { return got || FSync->Lost() || RefusalCount() > refusalsBefore; });
  failed = !u.FSuccess || RefusalCount() > refusalsBefore;
  return ok && got;
}

bool TCliSession::Request(ccci::TCcci request, const std::function<void()>& send) { return FSync->Request(request, send); }

int TCliSession::Fail(int since, const QString& what) {
  FOut.Error(QStringLiteral("%1: %2").arg(what, FSync->Why(since)));
  return RefusalCount() > since ? ecRefused : ecNoConnection;
}

void TCliSession::Close() { FSync->Close(6000); }

TArgProblem Unexpected(const QString& arg) {
  return TArgProblem::Usage(TEn::tr("unexpected argument '%1'").arg(arg));
}

TArgProblem Missing(const QString& what) { return TArgProblem::Usage(TEn::tr("missing %1").arg(what)); }

bool SpinUntil(const std::function<bool()>& done, qint64 limitMs) {
  // processEvents with a time limit returns at once when nothing is
  // pending, which would spin the processor: a ticking timer gives the
  // blocking wait an event to wake up for.
  QElapsedTimer t;
  t.start();
  QTimer tick;
  tick.start(20);
  while (!done()) {
    if (t.elapsed() > limitMs || Interrupted()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

std::vector<TCliCommand> AllCommands() {
  return {IdentifyCommand(), LuaCommand(),   SetupCommand(),      EventsCommand(), RecordingsCommand(),
          DisplayCommand(),  DevlogCommand(), ScratchpadCommand(), StreamCommand(), NtpCommand(),
          ParaCommand(), MdbCommand(), ClockCommand(), RecordCommand(), ReadoutCommand(), OfflineCommand(), ReportCommand(),
          StatusCommand(), PcapCommand(), CertCommand(), LiveCommand(), FlashCommand(), CalibrateCommand(), SoakCommand()};
}

}  // namespace vanta::cli
