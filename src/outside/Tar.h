#pragma once
// tar+gzip archives through libarchive, in memory. Archives from a device are
// untrusted: only plain files with a bare name are accepted (no folder part,
// no "..", no links), sizes are limited, and a damaged archive is an error.
#include <QByteArray>
#include <QString>
#include <vector>

namespace vanta {

struct TTarEntry {
  QString Name;
  QByteArray Data;
};

inline constexpr qsizetype CMaxTarEntries = 64;
inline constexpr qsizetype CMaxTarEntrySize = 256ll * 1024 * 1024;
inline constexpr qsizetype CMaxTarTotal = 512ll * 1024 * 1024;  // all entries together

// Packs the entries as a gzip-compressed ustar archive. Empty on success.
QString TarGzPack(const std::vector<TTarEntry>& entries, QByteArray& out);
// Unpacks a tar+gzip archive. Unsafe entries are skipped and named in
// `skipped` (one line each); anything that makes the archive unreadable is an
// error and `out` stays untouched.
QString TarGzUnpack(const QByteArray& archive, std::vector<TTarEntry>& out, QStringList* skipped = nullptr,
                    qsizetype maxEntrySize = CMaxTarEntrySize);
// Reads one entry of a tar+gzip file by name ("name" or "./name") without
// holding the rest: the other entries are skipped as they stream past. At
// most `maxSize` bytes of it; `found` false when there is no such entry.
QString TarGzReadEntry(const QString& path, const QString& name, QByteArray& out, bool& found, qsizetype maxSize = 4096);
// Walks every entry of a tar+gzip file to its end without keeping any:
// empty when the whole archive reads cleanly.
QString TarGzVerify(const QString& path);
// True for a name that may be written into a target folder as it is.
bool IsSafeEntryName(const QString& name);

}  // namespace vanta
