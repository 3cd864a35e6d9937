#include "Plugins.h"

#include <QCoreApplication>
#include <QDir>

namespace vanta {

bool LoadReportPlugin(QLibrary& lib, QString& error) {
  const QDir bin(QCoreApplication::applicationDirPath());
  for (const QString& dir : {bin.filePath(QStringLiteral("../../lib")), bin.filePath(QStringLiteral("../lib")),
                             bin.filePath(QStringLiteral("../lib/vanta"))}) {
    lib.setFileName(QDir(dir).filePath(QStringLiteral("vanta_report")));
    if (lib.load()) return true;
  }
  lib.setFileName(QStringLiteral("vanta_report"));  // the system's library path
  if (lib.load()) return true;
  error = QStringLiteral("Berichtsmodul nicht gefunden: %1").arg(lib.errorString());
  return false;
}

}  // namespace vanta
