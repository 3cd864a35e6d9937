#include "DeviceDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "BuildInfo.h"

namespace vanta {

bool TDeviceDefaults::LoadFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || !info.isReadable()) return false;
  QSettings ini(path, QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) return false;
  ini.beginGroup(QStringLiteral("device"));
  if (!ini.contains(QStringLiteral("user"))) return false;
  User = ini.value(QStringLiteral("user")).toString();
  Password = ini.value(QStringLiteral("password")).toString();
  SourceFile = info.absoluteFilePath();
  return true;
}

TDeviceDefaults TDeviceDefaults::FromEnvironment() {
  TDeviceDefaults d;
  const QByteArray env = qgetenv("VANTA_DEVICE_DEFAULTS");
  if (!env.isEmpty() && d.LoadFile(QString::fromLocal8Bit(env))) return d;
  QStringList candidates;
  if (QCoreApplication::instance()) {
    const QString app = QCoreApplication::applicationDirPath();
    candidates << app + QStringLiteral("/device-defaults.ini")
               << app + QStringLiteral("/../share/vanta/device-defaults.ini");
  }
  candidates << QString::fromUtf8(build::CSourceDir) + QStringLiteral("/data/device-defaults.ini");
  for (const QString& c : candidates) {
    if (d.LoadFile(QDir::cleanPath(c))) return d;
  }
  return d;
}

QString CVantaDefUser() { return TDeviceDefaults::FromEnvironment().User; }
QString CVantaDefPassword() { return TDeviceDefaults::FromEnvironment().Password; }

}  // namespace vanta
