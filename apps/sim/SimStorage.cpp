#include "SimStorage.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace vanta::sim {

bool CopyTree(const QString& from, const QString& to, QString& error) {
  QDir src(from);
  if (!src.exists()) {
    error = QStringLiteral("sample folder %1 does not exist").arg(from);
    return false;
  }
  QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  QDir().mkpath(to);
  while (it.hasNext()) {
    const QString path = it.next();
    const QFileInfo info = it.fileInfo();
    if (info.isSymLink()) continue;
    const QString target = to + QLatin1Char('/') + src.relativeFilePath(path);
    if (info.isDir()) {
      QDir().mkpath(target);
    } else if (!QFile::copy(path, target)) {
      error = QStringLiteral("cannot copy %1 to %2").arg(path, target);
      return false;
    }
  }
  return true;
}

bool TSimStorage::Open(const QString& root, const QString& sampleDir, QString& error) {
  QString base = root;
  if (base.isEmpty()) {
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/vanta-sim-XXXXXX"));
    tmp.setAutoRemove(false);
    if (!tmp.isValid()) {
      error = QStringLiteral("cannot create a temporary device root");
      return false;
    }
    base = tmp.path();
    FTempRoot = base;
    if (!sampleDir.isEmpty() && !CopyTree(sampleDir, base, error)) return false;
  }
  if (!QDir().mkpath(base)) {
    error = QStringLiteral("cannot create device root %1").arg(base);
    return false;
  }
  FRoot = QFileInfo(base).canonicalFilePath();
  for (const QString& d : {ScratchpadDir(), EventDir(), RecorderDir(), SetupDir(), FtpDir()}) QDir().mkpath(d);
  // The device's FTP server shows the flash drive at the top level too
  // ("flashdrive0/data/..." relative to its root).
  const QString alias = FRoot + QStringLiteral("/flashdrive0");
  if (!QFileInfo::exists(alias)) QFile::link(QStringLiteral("mnt/flashdrive0"), alias);
  return true;
}

TSimStorage::~TSimStorage() {
  if (!FTempRoot.isEmpty()) QDir(FTempRoot).removeRecursively();
}

QString TSimStorage::Map(const QString& devicePath, const QString& base) const {
  QString p = devicePath.trimmed();
  p.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (p.contains(QChar(0))) return {};
  QString local;
  if (p.startsWith(QLatin1String("~/"))) {
    local = ScratchpadDir() + QLatin1Char('/') + p.mid(2);
  } else {
    const bool absolute = p.startsWith(QLatin1Char('/'));
    while (p.startsWith(QLatin1Char('/'))) p.remove(0, 1);
    if (p.startsWith(QLatin1String("mnt/"))) {
      local = FRoot + QLatin1Char('/') + p;
    } else if (p.startsWith(QLatin1String("flashdrive0")) || p.startsWith(QLatin1String("sd0"))) {
      local = FRoot + QStringLiteral("/mnt/") + p;
    } else if (p.startsWith(QLatin1String("ramdrive0"))) {
      local = FRoot + QLatin1Char('/') + p;
    } else if (absolute) {
      local = FRoot + QLatin1Char('/') + p;
    } else {
      local = base + QLatin1Char('/') + p;
    }
  }
  local = QDir::cleanPath(local);
  if (local != FRoot && !local.startsWith(FRoot + QLatin1Char('/'))) return {};
  // A link inside the root must not lead outside either: check the deepest
  // part of the path that exists.
  QFileInfo probe(local);
  while (!probe.exists() && probe.absoluteFilePath() != FRoot) probe = QFileInfo(probe.absolutePath());
  const QString real = probe.canonicalFilePath();
  if (!real.isEmpty() && real != FRoot && !real.startsWith(FRoot + QLatin1Char('/'))) return {};
  return local;
}

QString TSimStorage::DevicePath(const QString& local) const {
  const QString clean = QDir::cleanPath(local);
  if (!clean.startsWith(FRoot)) return {};
  return clean.mid(FRoot.size());
}

}  // namespace vanta::sim
