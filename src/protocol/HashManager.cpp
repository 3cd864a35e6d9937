#include "HashManager.h"
#include "Language.h"
#include "SaveWhole.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>

namespace vanta {

namespace {
QStringList ReadStore(const QString& path) {
  QStringList lines;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return lines;
  for (const QByteArray& line : f.readAll().split('\n')) {
    const QString l = QString::fromUtf8(line).trimmed();
    if (l.contains(QLatin1Char('='))) lines << l;
  }
  return lines;
}
}  // namespace

void THashManager::SetHashStore(const QString& path) {
  FHashStoreFile = path;
  FHashStore = ReadStore(path);
}

QString THashManager::GetFingerprint(const QString& host, int port) const {
  const QString prefix = Key(host, port) + QLatin1Char('=');
  for (const QString& l : FHashStore)
    if (l.startsWith(prefix)) return l.mid(prefix.size());
  return {};
}

bool THashManager::StoreFingerprint(const QString& host, int port, const QString& fingerprint) {
  if (FHashStoreFile.isEmpty()) return false;
  // Several connections (the fleet service's threads, a second program) may
  // each take a new key at the same time: the file is read again under a
  // lock and only this device's line changes, so no key another one stored
  // meanwhile is lost.
  QDir().mkpath(QFileInfo(FHashStoreFile).absolutePath());
  static QMutex inProcess;
  const QMutexLocker threads(&inProcess);
  QLockFile processes(FHashStoreFile + QStringLiteral(".lock"));
  if (!processes.tryLock(10000)) return false;
  FHashStore = ReadStore(FHashStoreFile);
  RemoveFingerprint(host, port);
  FHashStore << QStringLiteral("%1=%2").arg(Key(host, port), fingerprint.toUpper());
  return SaveHashStore();
}

void THashManager::RemoveFingerprint(const QString& host, int port) {
  const QString prefix = Key(host, port) + QLatin1Char('=');
  FHashStore.erase(std::remove_if(FHashStore.begin(), FHashStore.end(), [&](const QString& l) { return l.startsWith(prefix); }),
                   FHashStore.end());
}

bool THashManager::SaveHashStore() const {
  if (FHashStoreFile.isEmpty()) return false;
  QDir().mkpath(QFileInfo(FHashStoreFile).absolutePath());
  QByteArray bytes;
  for (const QString& l : FHashStore) bytes += (l + QLatin1Char('\n')).toUtf8();
  QString error;
  return SaveWhole(FHashStoreFile, bytes, error);
}

bool THashManager::compareHash(const QString& a, const QString& b) {
  const QStringList pa = a.split(QLatin1Char(':')), pb = b.split(QLatin1Char(':'));
  if (pa.size() != pb.size()) return false;
  for (qsizetype i = 0; i < pa.size(); ++i) {
    bool oka = false, okb = false;
    const qulonglong va = pa[i].toULongLong(&oka, 16), vb = pb[i].toULongLong(&okb, 16);
    if (!oka || !okb || va != vb) return false;
  }
  return true;
}

bool THashManager::CompareFingerprints(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString THashManager::QuestionText(TFingerprintState state, const QString& fingerprint) {
  const QString head =
      state == TFingerprintState::fsNew
          ? TTr::tr("Dieses Gerät ist nicht bekannt und dessen Identität ist anhand des folgenden RSA-Schlüssels zu überprüfen:")
          : TTr::tr("Der RSA Schlüssel dieses Gerätes hat sich geändert. Bitte Verifizieren Sie die Integrität des Gerätes anhand des folgenden RSA-Schlüssels:");
  return head + QStringLiteral("\r\n\r\n") + fingerprint + QStringLiteral("\r\n\r\n") +
         TTr::tr("Dieser ist auf dem Prüfzertifikat oder direkt am Gerät hinterlegt. Ohne eine Überprüfung sollte dem Gerät nicht vertraut werden und die Verbindung abgebrochen werden!") +
         QStringLiteral("\r\n\r\n") + TTr::tr("Wollen Sie dem Gerät vertrauen und eine Verbindung herstellen?");
}

TConnectHashAction THashManager::Check(
    const QString& host, int port, const QString& fingerprint,
    const std::function<TConnectHashAction(TFingerprintState, const QString&)>& ask) {
  const QString fp = fingerprint.toUpper();
  const QString stored = GetFingerprint(host, port);
  if (!stored.isEmpty() && compareHash(stored, fp)) return TConnectHashAction::chaIgnore;
  const TFingerprintState state = stored.isEmpty() ? TFingerprintState::fsNew : TFingerprintState::fsChanged;
  const TConnectHashAction action = ask ? ask(state, QuestionText(state, fp)) : TConnectHashAction::chaCancel;
  if (action == TConnectHashAction::chaSave) StoreFingerprint(host, port, fp);
  return action;
}

}  // namespace vanta
