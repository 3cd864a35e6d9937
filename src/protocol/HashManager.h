#pragma once
// The store of SSH host-key fingerprints: file "Hash" in the ini folder, one
// line "host:port=FINGERPRINT" per device, the fingerprint in upper case with
// ":" between its bytes. We use SHA-256 fingerprints.
#include <QString>
#include <QStringList>
#include <functional>

namespace vanta {

enum class TFingerprintState : uint8_t { fsNew, fsChanged };
enum class TConnectHashAction : uint8_t { chaCancel, chaIgnore, chaSave };
enum class THashMode : uint8_t { hmMD5, hmSHA1, hmSHA256 };

class THashManager {
 public:
  void SetHashStore(const QString& path);  // loads it when it exists
  QString GetFingerprint(const QString& host, int port) const;
  bool StoreFingerprint(const QString& host, int port, const QString& fingerprint);
  void RemoveFingerprint(const QString& host, int port);
  bool SaveHashStore() const;
  static bool compareHash(const QString& a, const QString& b);
  static bool CompareFingerprints(const QString& a, const QString& b);
  static THashMode GetHashMode() { return THashMode::hmSHA256; }
  const QString& File() const { return FHashStoreFile; }

  // The decision for a key the server presented: accept silently when it
  // matches, otherwise ask `ask` (state, text of the question).
  TConnectHashAction Check(const QString& host, int port, const QString& fingerprint,
                           const std::function<TConnectHashAction(TFingerprintState, const QString& question)>& ask);
  static QString QuestionText(TFingerprintState state, const QString& fingerprint);

 private:
  static QString Key(const QString& host, int port) { return QStringLiteral("%1:%2").arg(host).arg(port); }
  QString FHashStoreFile;
  QStringList FHashStore;  // name=value lines
};

}  // namespace vanta
