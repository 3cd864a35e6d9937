#include "SaveWhole.h"
#include "Language.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace vanta {

bool SaveWhole(const QString& path, QByteArrayView bytes, QString& error) {
  QSaveFile f(path);
  auto fail = [&](const QString& reason) {
    f.cancelWriting();
    error = QStringLiteral("%1: %2").arg(path, reason);
    return false;
  };
  if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(f.errorString());
  for (qsizetype at = 0; at < bytes.size();) {
    // A short count means the kernel stopped part-way; asking for the rest
    // either goes on or brings its reason.
    const qint64 n = f.write(bytes.data() + at, bytes.size() - at);
    if (n <= 0)
      return fail(f.errorString().isEmpty() || f.error() == QFileDevice::NoError ? QStringLiteral("Schreibfehler")
                                                                                 : f.errorString());
    at += qsizetype(n);
  }
  if (!f.commit()) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  return true;
}

QString FolderWriteProblem(const QString& folder) {
  const QFileInfo info(folder);
  if (!info.exists()) return TTr::tr("%1: Ordner existiert nicht").arg(folder);
  if (!info.isDir()) return TTr::tr("%1: kein Ordner").arg(folder);
  QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vanta-probe-XXXXXX")));
  if (!probe.open()) return QStringLiteral("%1: %2").arg(folder, probe.errorString());
  return {};
}

}  // namespace vanta
