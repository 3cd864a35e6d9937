#include "PasswordFile.h"

#include <QFile>
#include <QFileInfo>

namespace vanta {

bool ReadPasswordFile(const QString& path, QString& password, QString& error) {
  const QFileInfo info(path);
  if (!info.isFile()) {
    error = QStringLiteral("password file %1: no such file").arg(path);
    return false;
  }
  const QFileDevice::Permissions open = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
  if (info.permissions() & open) {
    // Qt keeps rwx in one hex digit per class: owner, (user,) group, other.
    const int p = int(info.permissions());
    const QString mode = QStringLiteral("%1%2%3").arg((p >> 12) & 7).arg((p >> 4) & 7).arg(p & 7);
    error = QStringLiteral("password file %1 may be read by group or others (mode %2, needs 600 or stricter): chmod 600 %1")
                .arg(path, mode);
    return false;
  }
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("password file %1: %2").arg(path, f.errorString());
    return false;
  }
  QByteArray bytes = f.readAll();
  // An editor's or `echo`'s line break ends the password, it is no part of it.
  if (bytes.endsWith('\n')) bytes.chop(1);
  if (bytes.endsWith('\r')) bytes.chop(1);
  if (bytes.isEmpty()) {
    error = QStringLiteral("password file %1 is empty").arg(path);
    return false;
  }
  password = QString::fromUtf8(bytes);
  return true;
}

}  // namespace vanta
