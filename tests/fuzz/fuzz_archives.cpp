#include "fuzz_archives.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "FlashJob.h"
#include "HashManager.h"
#include "MassFlash.h"
#include "Pcapng.h"
#include "Tar.h"
#include "Zip.h"

namespace vanta::fuzz {

int FuzzArchivesOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  // One folder for the whole run (in memory where the system has one):
  // a fresh one per input would cost more than the parsing.
  static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/vanta-fuzz-XXXXXX")
                                                                      : QDir::temp().filePath(QStringLiteral("vanta-fuzz-XXXXXX")));
  if (!dir.isValid()) return 0;
  QDir(dir.filePath(QStringLiteral("out"))).removeRecursively();
  const QString file = dir.filePath(QStringLiteral("input.bin"));
  {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) return 0;
  }
  // Nothing may be written outside the unpack folder: it sits one level
  // down, so anything escaping would land beside input.bin.
  // The bomb bound itself is tested elsewhere; here it only costs time.
  TZipLimits limits;
  limits.Slack = 256 * 1024;
  limits.Ratio = 20;
  const TFlashPackage p = UnpackFlashPackage(file, dir.filePath(QStringLiteral("out")), &limits);
  const QStringList beside = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QString& n : beside)
    if (n != QLatin1String("input.bin") && n != QLatin1String("out")) std::abort();
  if (!p.Error.isEmpty() && !QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files).isEmpty()) std::abort();
  (void)FirmwareVersionOf(file);
  (void)TarGzVerify(file);
  std::vector<TTarEntry> entries;
  (void)TarGzUnpack(bytes, entries, nullptr, 1 << 20);
  // The host-key store file and its fingerprint comparison.
  THashManager keys;
  keys.SetHashStore(file);
  const QString known = keys.GetFingerprint(QStringLiteral("127.0.0.1"), 22);
  (void)THashManager::compareHash(known, QString::fromLatin1(bytes.left(200)));
  std::vector<TTracePacket> packets;
  (void)ReadPcapng(bytes, packets);
  QString error;
  (void)TMassFlash::LoadHostsText(file, error);
  (void)TMassFlash::LoadHostsJson(file, error);
  (void)TMassFlash::FailedFromReport(file, error);
  return int(p.SL.size()) + (p.ReadmeFN.isEmpty() ? 0 : 1);
}

}  // namespace vanta::fuzz
