#include "SyncSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "Language.h"
#include "TcpComUnit.h"

namespace vanta {

QString HostPort(const QString& host, int port) {
  return (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host) + QStringLiteral(":%1").arg(port);
}

TSyncSession::TSyncSession(std::unique_ptr<TComUnit> unit, int timeoutSec, std::function<bool()> stopped)
    : FUnit(std::move(unit)), FTimeoutSec(timeoutSec), FStopped(std::move(stopped)) {
  TComUnit& u = *FUnit;
  u.FOnConnDone = [this](QObject*, bool ok) { (ok ? FConnDone : FConnFailed) = true; };
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
}

TSyncSession::~TSyncSession() = default;

void TSyncSession::UseDataFolder(const QString& dataDir, const QString& tmpName) {
  TComUnit& u = *FUnit;
  const QString data = QDir(dataDir).absolutePath() + QLatin1Char('/');
  u.FDatadir = data;
  QDir().mkpath(data + QStringLiteral("tmp"));
  FTmp = std::make_unique<QTemporaryDir>(data + QStringLiteral("tmp/") + tmpName);
  // Without a folder of its own the client makes a private one elsewhere.
  u.FTmpDir = FTmp->isValid() ? FTmp->path() + QLatin1Char('/') : QString();
  u.FIniFolder = data + QStringLiteral("ini/");
  QDir().mkpath(u.FIniFolder);
  // The client makes <data>/<SN>/Recorder and Event/ and puts the device's
  // time settings beside them, as the readout window does.
  u.FSetFolders = true;
}

bool TSyncSession::WaitFor(const std::function<bool()>& done) {
  const qint64 limit = qint64(FTimeoutSec) * 1000;
  const int64_t start = FUnit->Now();
  QTimer tick;
  tick.start(20);
  while (!done()) {
    if (Stopped()) return false;
    if (FUnit->Now() - qMax(start, FUnit->FLastActivity) > limit) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool TSyncSession::AwaitConnected(const QString& address, QString& error) {
  const bool finished = WaitFor([this] { return FConnDone || FConnFailed || FLost || !FRefusals.isEmpty(); });
  if (FConnDone) return true;
  if (Stopped())
    error = QStringLiteral("stopped");
  else if (!finished)
    error = TTr::tr("keine Verbindung innerhalb von %1 s").arg(FTimeoutSec);
  else if (!FRefusals.isEmpty())
    error = FRefusals.join(QStringLiteral("; "));
  else if (FLost)
    error = ConnectionLostText();
  else {
    const auto* tcp = qobject_cast<const TTCPComUnit*>(FUnit.get());
    error = TTr::tr("keine Verbindung zu %1").arg(address) +
            (tcp && !tcp->FLastConnectError.isEmpty() ? QStringLiteral(" (%1)").arg(tcp->FLastConnectError) : QString());
  }
  return false;
}

bool TSyncSession::Request(ccci::TCcci request, const std::function<void()>& send) {
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

QString TSyncSession::Why(int since) const {
  if (FRefusals.size() > since) return FRefusals.mid(since).join(QStringLiteral("; "));
  return FLost ? ConnectionLostText() : TTr::tr("keine Antwort");
}

void TSyncSession::Close(int limitMs) {
  bool closed = false;
  FUnit->ShutDown(FUnit.get(), [&closed](QObject*) { closed = true; });
  QElapsedTimer t;
  t.start();
  QTimer tick;
  tick.start(20);
  while (!closed && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace vanta
