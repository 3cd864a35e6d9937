#pragma once
// The desktop's secret store (GNOME Keyring, KWallet, … through QtKeychain)
// for the host's stored login passwords, with calls that return.
//
// QtKeychain only works asynchronously; the host needs the password before it
// can go on, so each call here waits for its job in a local event loop. The
// wait has a limit: a secret service that takes the call and never answers
// must not freeze the host. After such a timeout the store counts as
// unavailable until the late job has ended, because QtKeychain runs its jobs
// one after the other and every further job would wait behind it.
#include <QString>

namespace vanta::host {

enum class TSecretStatus {
  ssOk,
  ssNotFound,   // the service answered: no password under this key
  ssNoService,  // no secret service (no session bus, none running, or it did not answer in time)
  ssError,      // the service answered with an error (locked, access denied, …)
};

struct TSecretResult {
  TSecretStatus Status = TSecretStatus::ssOk;
  QString Error;  // why, in words, when not ssOk
  bool Ok() const { return Status == TSecretStatus::ssOk; }
};

class TSecretStore {
 public:
  // `service` names the host's entries in the secret store; `timeoutMs` is
  // the longest a single call waits for the service.
  explicit TSecretStore(QString service = QStringLiteral("vanta-host"), int timeoutMs = 5000);

  // ssOk when a secret service answers (reading a key that is never written).
  TSecretResult Available() const;
  TSecretResult Write(const QString& key, const QString& password) const;
  // `password` is only set on ssOk.
  TSecretResult Read(const QString& key, QString& password) const;
  // ssOk also when there was nothing to remove.
  TSecretResult Remove(const QString& key) const;

  const QString& Service() const { return FService; }
  int TimeoutMs() const { return FTimeoutMs; }

 private:
  QString FService;
  int FTimeoutMs;
};

// Words for a result, for the log and the dialogs (German UI).
QString SecretResultText(const TSecretResult& r);

}  // namespace vanta::host
