#pragma once
// Update packages built at test time: a zip holding a gzip tar ("version"
// plus a payload), change logs and other entries, in a chosen order.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <vector>

#include "Tar.h"
#include "Zip.h"

namespace vanta::test {

// Noise, so an archive keeps its size (as a real image does).
inline QByteArray Noise(qsizetype size) {
  QByteArray blob(size, '\0');
  uint32_t x = 2463534242u;
  for (qsizetype i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    blob[i] = char(x);
  }
  return blob;
}

inline QByteArray FirmwareTgz(const QString& version, qsizetype payload = 4096) {
  const QByteArray blob = Noise(payload);
  QByteArray out;
  std::vector<TTarEntry> e{{QStringLiteral("version"), version.toLatin1() + "\n"}, {QStringLiteral("rootfs.img"), blob}};
  TarGzPack(e, out);
  return out;
}

inline QString WritePackage(const QString& path, const std::vector<TTarEntry>& entries, bool compress = true) {
  QByteArray zip;
  if (!ZipPack(entries, zip, compress).isEmpty()) return {};
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(zip) != zip.size()) return {};
  return path;
}

// fw.tgz (2.11.0), readme.txt, extra.bin: the package of the usual case.
inline QString GoodPackage(const QDir& dir, const QString& version = QStringLiteral("2.11.0")) {
  return WritePackage(dir.filePath(QStringLiteral("good.zip")),
                      {{QStringLiteral("fw.tgz"), FirmwareTgz(version)},
                       {QStringLiteral("readme.txt"), "Neu in " + version.toLatin1() + ":\n- schneller\n"},
                       {QStringLiteral("extra.bin"), QByteArray("extra payload")}});
}

}  // namespace vanta::test
