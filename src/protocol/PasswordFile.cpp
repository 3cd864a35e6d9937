#include "PasswordFile.h"
#include "Language.h"

#include <QFile>
#include <QFileInfo>

namespace vanta {

bool ReadPasswordFile(const QString& path, QString& password, QString& error) {
  return ReadSecretFile(path, TEn::tr("password file"), password, error);
}

bool ReadSecretFile(const QString& path, const QString& what, QString& secret, QString& error) {
  const QFileInfo info(path);
  if (!info.isFile()) {
    error = TEn::tr("%1 %2: no such file").arg(what, path);
    return false;
  }
  const QFileDevice::Permissions open = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
  if (info.permissions() & open) {
    // Qt keeps rwx in one hex digit per class: owner, (user,) group, other.
    const int p = int(info.permissions());
    const QString mode = QStringLiteral("%1%2%3").arg((p >> 12) & 7).arg((p >> 4) & 7).arg(p & 7);
    error = TEn::tr("%1 %2 may be read by group or others (mode %3, needs 600 or stricter): chmod 600 %2")
                .arg(what, path, mode);
    return false;
  }
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1 %2: %3").arg(what, path, f.errorString());
    return false;
  }
  QByteArray bytes = f.readAll();
  // An editor's or `echo`'s line break ends the secret; it does not belong to it.
  if (bytes.endsWith('\n')) bytes.chop(1);
  if (bytes.endsWith('\r')) bytes.chop(1);
  if (bytes.isEmpty()) {
    error = TEn::tr("%1 %2 is empty").arg(what, path);
    return false;
  }
  secret = QString::fromUtf8(bytes);
  return true;
}

}  // namespace vanta
