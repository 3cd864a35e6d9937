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

inline QByteArray FirmwareTgz(const QString& version, qsizetype payload = 4096) {
  QByteArray blob(payload, '\0');
  for (qsizetype i = 0; i < payload; ++i) blob[i] = char((i * 131 + 7) & 0xFF);
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
