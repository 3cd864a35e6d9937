#include "SecretStore.h"
#include "Language.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace vanta::host {

namespace {

// QtKeychain queues its jobs process-wide, so one job that never ends holds
// up every later one, whichever store object started it. True from the
// timeout of such a job until it has ended after all.
bool GLateJob = false;

// The key Available() reads: never written, so a working service answers
// "not found".
const QString SProbeKey = QStringLiteral("probe:never-written");

// Whether anything on the session bus could answer for the secret store. A
// backend reports a missing bus or service as a plain error with the D-Bus
// text; this tells "there is none" from "it refused".
bool SecretServiceOnBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  const QStringList names{QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
                          QStringLiteral("org.kde.kwalletd5"), QStringLiteral("org.kde.kwalletd")};
  const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
  for (const QString& n : names) {
    if (bus.interface()->isServiceRegistered(n).value()) return true;
    if (activatable.isValid() && activatable.value().contains(n)) return true;
  }
  return false;
}

TSecretResult Classify(QKeychain::Error error, const QString& text) {
  switch (error) {
    case QKeychain::NoError: return {};
    case QKeychain::EntryNotFound: return {TSecretStatus::ssNotFound, text};
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented: return {TSecretStatus::ssNoService, text};
    case QKeychain::OtherError:
      return {SecretServiceOnBus() ? TSecretStatus::ssError : TSecretStatus::ssNoService, text};
    default: return {TSecretStatus::ssError, text};
  }
}

// Starts `job` and waits for it at most `timeoutMs`. `onOk` reads the job's
// result while it still exists. The job is ours until it ends in time; a
// late one deletes itself whenever it ends.
TSecretResult RunJob(QKeychain::Job* job, int timeoutMs, const std::function<void(QKeychain::Job*)>& onOk = {}) {
  if (GLateJob) {
    delete job;  // not started: QtKeychain does not know it yet
    return {TSecretStatus::ssNoService,
            TTr::tr("Der Schlüsselbund hat auf eine frühere Anfrage nicht geantwortet")};
  }
  job->setAutoDelete(false);
  QEventLoop loop;
  bool finished = false;
  TSecretResult result;
  // The loop is the context: once it is gone, a late end no longer reaches
  // the locals captured here.
  QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* j) {
    finished = true;
    result = Classify(j->error(), j->errorString());
    if (result.Ok() && onOk) onOk(j);
    loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  job->start();  // a backend may finish at once, before the loop runs
  // No user input meanwhile: a click now would start something else in the
  // middle of the caller's work.
  if (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (finished) {
    delete job;
    return result;
  }
  GLateJob = true;
  job->setAutoDelete(true);
  QObject::connect(job, &QKeychain::Job::finished, [] { GLateJob = false; });
  return {TSecretStatus::ssNoService,
          TTr::tr("Der Schlüsselbund hat nicht innerhalb von %1 s geantwortet").arg(timeoutMs / 1000.0)};
}

}  // namespace

TSecretStore::TSecretStore(QString service, int timeoutMs)
    : FService(std::move(service)), FTimeoutMs(qMax(1, timeoutMs)) {}

TSecretResult TSecretStore::Available() const {
  auto* job = new QKeychain::ReadPasswordJob(FService);
  job->setKey(SProbeKey);
  const TSecretResult r = RunJob(job, FTimeoutMs);
  if (r.Status == TSecretStatus::ssNotFound) return {};
  return r;
}

TSecretResult TSecretStore::Write(const QString& key, const QString& password) const {
  auto* job = new QKeychain::WritePasswordJob(FService);
  // Never into a plain file when there is no secret service.
  job->setInsecureFallback(false);
  job->setKey(key);
  job->setTextData(password);
  return RunJob(job, FTimeoutMs);
}

TSecretResult TSecretStore::Read(const QString& key, QString& password) const {
  auto* job = new QKeychain::ReadPasswordJob(FService);
  job->setInsecureFallback(false);
  job->setKey(key);
  return RunJob(job, FTimeoutMs,
                [&password](QKeychain::Job* j) { password = static_cast<QKeychain::ReadPasswordJob*>(j)->textData(); });
}

TSecretResult TSecretStore::Remove(const QString& key) const {
  auto* job = new QKeychain::DeletePasswordJob(FService);
  job->setInsecureFallback(false);
  job->setKey(key);
  const TSecretResult r = RunJob(job, FTimeoutMs);
  if (r.Status == TSecretStatus::ssNotFound) return {};
  return r;
}

QString SecretResultText(const TSecretResult& r) {
  switch (r.Status) {
    case TSecretStatus::ssOk: return QStringLiteral("ok");
    case TSecretStatus::ssNotFound: return TTr::tr("kein Passwort gespeichert");
    case TSecretStatus::ssNoService:
      return TTr::tr("kein Schlüsselbund verfügbar") +
             (r.Error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.Error));
    case TSecretStatus::ssError:
      return TTr::tr("Fehler des Schlüsselbunds: %1")
          .arg(r.Error.isEmpty() ? TTr::tr("unbekannt") : r.Error);
  }
  return r.Error;
}

}  // namespace vanta::host
