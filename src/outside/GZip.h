#pragma once
// gzip files through zlib. Input from a device is untrusted: decompression
// stops at a size limit and a damaged stream is an error, and the target file
// is written under a temporary name and renamed only when it is complete.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vanta {

inline constexpr int64_t CMaxUnpackedSize = 512ll * 1024 * 1024;

// Each returns an empty string on success, else the reason.
QString ZipFile(const QString& source, const QString& target);
QString UnZipFile(const QString& source, const QString& target, int64_t maxSize = CMaxUnpackedSize);
QString GzipBytes(const QByteArray& in, QByteArray& out);
QString GunzipBytes(const QByteArray& in, QByteArray& out, int64_t maxSize = CMaxUnpackedSize);

}  // namespace vanta
