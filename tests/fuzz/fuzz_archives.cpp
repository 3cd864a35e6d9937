#include "fuzz_archives.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "FlashJob.h"
#include "MassFlash.h"
#include "Tar.h"

namespace vanta::fuzz {

int FuzzArchivesOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  QTemporaryDir dir;
  if (!dir.isValid()) return 0;
  const QString file = dir.filePath(QStringLiteral("input.bin"));
  {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return 0;
  }
  // Nothing may be written outside the unpack folder: it sits one level
  // down, so anything escaping would land beside input.bin.
  const TFlashPackage p = UnpackFlashPackage(file, dir.filePath(QStringLiteral("out")));
  const QStringList beside = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QString& n : beside)
    if (n != QLatin1String("input.bin") && n != QLatin1String("out")) std::abort();
  if (!p.Error.isEmpty() && !QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files).isEmpty()) std::abort();
  (void)FirmwareVersionOf(file);
  (void)TarGzVerify(file);
  std::vector<TTarEntry> entries;
  (void)TarGzUnpack(bytes, entries, nullptr, 1 << 20);
  QString error;
  (void)TMassFlash::LoadHostsText(file, error);
  (void)TMassFlash::LoadHostsJson(file, error);
  (void)TMassFlash::FailedFromReport(file, error);
  return int(p.SL.size()) + (p.ReadmeFN.isEmpty() ? 0 : 1);
}

}  // namespace vanta::fuzz
