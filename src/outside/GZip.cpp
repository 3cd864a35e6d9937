#include "GZip.h"
#include "Language.h"
#include "SaveWhole.h"

#include <QFile>
#include <zlib.h>

namespace vanta {

namespace {
constexpr int CGzipWindow = 15 + 16;  // zlib: gzip wrapper
constexpr qsizetype CChunk = 1 << 20;
}  // namespace

QString GzipBytes(const QByteArray& in, QByteArray& out) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, CGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return TEn::tr("gzip: zlib init failed");
  QByteArray result;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
  zs.avail_in = uInt(in.size());
  int rc = Z_OK;
  do {
    const qsizetype old = result.size();
    result.resize(old + CChunk);
    zs.next_out = reinterpret_cast<Bytef*>(result.data() + old);
    zs.avail_out = uInt(CChunk);
    rc = deflate(&zs, Z_FINISH);
    result.resize(old + CChunk - qsizetype(zs.avail_out));
  } while (rc == Z_OK || rc == Z_BUF_ERROR);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) return QStringLiteral("gzip: compression failed (%1)").arg(rc);
  out = result;
  return {};
}

QString GunzipBytes(const QByteArray& in, QByteArray& out, int64_t maxSize) {
  z_stream zs{};
  if (inflateInit2(&zs, CGzipWindow) != Z_OK) return TEn::tr("gunzip: zlib init failed");
  QByteArray result;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
  zs.avail_in = uInt(in.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    const qsizetype old = result.size();
    if (old >= maxSize) {
      inflateEnd(&zs);
      return TEn::tr("gunzip: data larger than %1 bytes").arg(maxSize);
    }
    result.resize(old + CChunk);
    zs.next_out = reinterpret_cast<Bytef*>(result.data() + old);
    zs.avail_out = uInt(CChunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    result.resize(old + CChunk - qsizetype(zs.avail_out));
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // input ended early
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return TEn::tr("gunzip: damaged or truncated data (%1)").arg(rc);
  if (int64_t(result.size()) > maxSize) return TEn::tr("gunzip: data larger than %1 bytes").arg(maxSize);
  out = result;
  return {};
}

namespace {
QString ReadAll(const QString& path, QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
  bytes = f.readAll();
  return {};
}

QString WriteAll(const QString& path, const QByteArray& bytes) {
  QString error;
  return SaveWhole(path, bytes, error) ? QString() : QStringLiteral("cannot write %1").arg(error);
}
}  // namespace

QString ZipFile(const QString& source, const QString& target) {
  QByteArray in, out;
  if (QString e = ReadAll(source, in); !e.isEmpty()) return e;
  if (QString e = GzipBytes(in, out); !e.isEmpty()) return e;
  return WriteAll(target, out);
}

QString UnZipFile(const QString& source, const QString& target, int64_t maxSize) {
  QByteArray in, out;
  if (QString e = ReadAll(source, in); !e.isEmpty()) return e;
  if (QString e = GunzipBytes(in, out, maxSize); !e.isEmpty()) return e;
  return WriteAll(target, out);
}

}  // namespace vanta
