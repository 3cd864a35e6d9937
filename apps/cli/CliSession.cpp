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
  if (FOptions.Serial.isEmpty()) {
    auto tcp = std::make_unique<TTCPComUnit>(FOptions.Ssh);
    FTcp = tcp.get();
    FUnit = std::move(tcp);
  } else {
    auto serial = std::make_unique<TRSComUnit>();
    FSerial = serial.get();
    FSerial->SetPortPath(FOptions.Serial);
    FUnit = std::move(serial);
  }
  TComUnit& u = *FUnit;
  if (FOptions.Log)
    u.FOnLogCallBack = [this](QObject*, const QString& line, bool) { FOut.Diagnostic(QStringLiteral("log: ") + line); };
  u.FVisibility = FOptions.Visibility;
  u.FProgUser = qEnvironmentVariable("USER", QStringLiteral("vanta-cli"));
  u.FOnConnDone = [this](QObject*, bool ok) {
    if (ok)
      FConnDone = true;
    else
      FConnFailed = true;
  };
  if (FTcp) {
    FTcp->FConnectThreadEnd = [this](QObject*, bool ok, bool authError) {
      if (!ok) {
        if (authError) FRefusals << TTr::tr("SSH-Anmeldung abgelehnt");
        FConnFailed = true;
        return;
      }
      // With credentials the session is started with the protocol-5 record;
      // a protocol-4 device refuses it and the client falls back by itself.
      if (!FOptions.User.isEmpty() && !FOptions.Ssh)
        FUnit->SendStartCommand(0, FOptions.User.toLatin1(), FOptions.Password.toLatin1());
    };
  }
  u.FDisplayConnMessage = [this](const QString& text, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) {
    if (text == ConnectionLostText())
      FLost = true;
    else
      FRefusals << text;
  };
  u.FNAKCB = [this](QObject*, uint32_t code) {
    if (code != 0) FRefusals << QStringLiteral("NAK %1").arg(code);
  };
  u.FClearWork = [this] { FLost = true; };
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
      if (!yes) FRefusals << QStringLiteral("host key %1 not trusted (%2)").arg(fp, state == TFingerprintState::fsNew ? QStringLiteral("--trust-new-host-key") : QStringLiteral("--accept-changed-host-key"));
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
  data = QDir(data).absolutePath() + QLatin1Char('/');
  u.FDatadir = data;
  QDir().mkpath(data + QStringLiteral("tmp"));
  FRunTmp = std::make_unique<QTemporaryDir>(data + QStringLiteral("tmp/run-XXXXXX"));
  // Without a folder of its own the client makes a private one elsewhere.
  u.FTmpDir = FRunTmp->isValid() ? FRunTmp->path() + QLatin1Char('/') : QString();
  u.FIniFolder = data + QStringLiteral("ini/");
  QDir().mkpath(u.FIniFolder);
  u.FSetFolders = true;
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

bool TCliSession::WaitFor(const std::function<bool()>& done) {
  const qint64 limit = qint64(FOptions.TimeoutSec) * 1000;
  const int64_t start = FUnit->Now();
  QTimer tick;
  tick.start(20);
  while (!done()) {
    if (Interrupted()) return false;
    const int64_t quietSince = qMax(start, FUnit->FLastActivity);
    if (FUnit->Now() - quietSince > limit) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

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
  const bool finished = WaitFor([this] { return FConnDone || FConnFailed || FLost || !FRefusals.isEmpty(); });
  if (FConnDone) return true;
  if (!finished)
    error = TTr::tr("keine Verbindung innerhalb von %1 s").arg(FOptions.TimeoutSec);
  else if (!FRefusals.isEmpty())
    error = FRefusals.join(QStringLiteral("; "));
  else if (FLost)
    error = ConnectionLostText();
  else
    error = TTr::tr("keine Verbindung zu %1:%2").arg(FOptions.Host).arg(FOptions.Ssh ? FOptions.SshPort : FOptions.Port) +
            (FTcp && !FTcp->FLastConnectError.isEmpty() ? QStringLiteral(" (%1)").arg(FTcp->FLastConnectError) : QString());
  return false;
}

bool TCliSession::Lua(const QString& statement, QString& output, bool& failed) {
  bool got = false;
  FUnit->RunLua(statement, [&](QObject*, const QString& text) {
    output = text;
    got = true;
  });
  const int refusalsBefore = int(FRefusals.size());
  const bool ok = WaitFor([&] { return got || FLost || FRefusals.size() > refusalsBefore; });
  failed = !FUnit->FSuccess || FRefusals.size() > refusalsBefore;
  return ok && got;
}

bool TCliSession::Request(ccci::TCcci request, const std::function<void()>& send) {
  const ccci::TCommandDef& d = ccci::Def(request);
  bool seen = false;
  FUnit->FOnAnswerEvaluated = [&](const ccci::ccc_head_t& h) {
    if (h.CMD == d.Cmd && h.ExtCmd == d.ExtCmd) seen = true;
  };
  const int before = RefusalCount();
  send();
  // The queue goes out on the client's timer; one tick now spares the wait
  // for the next one (a run of requests would otherwise cost 100 ms each).
  QTimer::singleShot(0, FUnit.get(), [u = FUnit.get()] { u->ManualTimer(u); });
  WaitFor([&] { return seen || FLost || RefusalCount() > before; });
  FUnit->FOnAnswerEvaluated = nullptr;
  return seen;
}

int TCliSession::Fail(int since, const QString& what) {
  const QStringList fresh = FRefusals.mid(since);
  const QString text = fresh.isEmpty() ? (FLost ? ConnectionLostText() : TTr::tr("keine Antwort")) : fresh.join(QStringLiteral("; "));
  FOut.Error(QStringLiteral("%1: %2").arg(what, text));
  return fresh.isEmpty() ? ecNoConnection : ecRefused;
}

void TCliSession::Close() {
  bool closed = false;
  FUnit->ShutDown(FUnit.get(), [&closed](QObject*) { closed = true; });
  SpinUntil([&closed] { return closed; }, 6000);
}

TArgProblem Unexpected(const QString& arg) {
  return TArgProblem::Usage(QStringLiteral("unexpected argument '%1'").arg(arg));
}

TArgProblem Missing(const QString& what) { return TArgProblem::Usage(QStringLiteral("missing %1").arg(what)); }

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
