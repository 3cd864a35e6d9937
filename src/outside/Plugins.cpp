#include "Plugins.h"
#include "Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <sys/stat.h>
#include <unistd.h>

#include "BuildInfo.h"

namespace vanta {

bool LoadReportPlugin(QLibrary& lib, QString& error) {
  const QDir bin(QCoreApplication::applicationDirPath());
  // The installed place first: an installed program must not pick up a
  // stray module from a neighbouring folder. Then the build tree's lib.
  const QString installed = bin.filePath(QString::fromUtf8(build::CPluginDirFromBin));
  for (const QString& dir : {installed, bin.filePath(QStringLiteral("../../lib")),
                             bin.filePath(QStringLiteral("../lib"))}) {
    lib.setFileName(QDir(dir).filePath(QStringLiteral("vanta_report")));
    if (lib.load()) return true;
  }
  lib.setFileName(QStringLiteral("vanta_report"));  // the system's library path
  if (lib.load()) return true;
  error = TTr::tr("Berichtsmodul nicht gefunden: %1").arg(lib.errorString());
  return false;
}

void PrepareRuntimeFolder() {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
  const QByteArray dir = QStringLiteral("%1/runtime-vanta-%2").arg(QDir::tempPath()).arg(getuid()).toLocal8Bit();
  // Made private, or taken when it is ours and private already; else Qt says why.
  struct stat st {};
  if (::mkdir(dir.constData(), 0700) != 0 && (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
                                              st.st_uid != getuid() || (st.st_mode & 077) != 0))
    return;
  qputenv("XDG_RUNTIME_DIR", dir);
}

QString RunKalibratorReport(const QMap<QString, QString>& dict, const QString& pdf, const QString& tmpDir) {
  QLibrary lib;
  QString error;
  if (!LoadReportPlugin(lib, error)) return error;
  using TKalibratorReport = int (*)(void*, const char*, const char*, const char*, char*, int);
  auto fn = reinterpret_cast<TKalibratorReport>(lib.resolve("KalibratorReport"));
  if (!fn) return TTr::tr("KalibratorReport fehlt im Berichtsmodul");
  QJsonObject o;
  for (auto it = dict.cbegin(); it != dict.cend(); ++it) o.insert(it.key(), it.value());
  char text[1024] = {0};
  const int rc = fn(nullptr, QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), pdf.toUtf8().constData(),
                    tmpDir.toUtf8().constData(), text, int(sizeof text));
  lib.unload();
  if (rc == 0) return {};
  const QString why = QString::fromUtf8(text);
  return why.isEmpty() ? TTr::tr("Bericht nicht geschrieben") : why;
}

}  // namespace vanta
