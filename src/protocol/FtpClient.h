#pragma once
// FTP to the device through libcurl: passive, binary, anonymous login,
// resume, and a size check after each download.
#include <QByteArray>
#include <QString>
#include <functional>

namespace vanta {

class TFtpClient {
 public:
  QString Host;
  uint16_t Port = 21;
  QString User = QStringLiteral("anonymous");
  QString Password = QStringLiteral("vanta-workspace@");
  // A transfer gives up when no byte moved for this long; a large file on
  // a slow line may take as long as it needs.
  int StallSec = 10;
  QString LastError;  // why the last call failed
  std::function<void(int64_t done, int64_t total)> OnProgress;

  // Logs in and lists the root: true when the server answered.
  bool Connect(QString& error);
  // Size of a remote file, -1 when unknown.
  int64_t RemoteSize(const QString& remotePath, QString& error);
  // Fetches `remotePath` into `localPath`; with `resume` an existing local
  // file is continued from its end. True when the local size equals the
  // remote size afterwards.
  bool Get(const QString& remotePath, const QString& localPath, bool resume, QString& error);
  bool GetToBuffer(const QString& remotePath, QByteArray& out, QString& error);
  // Stores a local file into `remoteFolder` under its own name.
  bool Put(const QString& localPath, const QString& remoteFolder, QString& error);

 private:
  QByteArray Url(const QString& remotePath) const;
};

}  // namespace vanta
