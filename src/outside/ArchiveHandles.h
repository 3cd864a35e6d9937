#pragma once
// Owning handles for libarchive objects and its error text, shared by the
// tar and zip helpers (internal to vanta_outside).
#include <QString>
#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <vector>

#include "Tar.h"

namespace vanta::archive_detail {

struct TWriteDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};
struct TReadDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct TEntryDeleter {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using TWriteHandle = std::unique_ptr<archive, TWriteDeleter>;
using TReadHandle = std::unique_ptr<archive, TReadDeleter>;
using TEntryHandle = std::unique_ptr<archive_entry, TEntryDeleter>;

inline QString ArchiveError(archive* a, const QString& what) {
  const char* msg = archive_error_string(a);
  return QStringLiteral("%1: %2").arg(what, msg ? QString::fromLocal8Bit(msg) : QStringLiteral("unknown error"));
}

// Writes every entry as a plain file (mode 0644) into an opened writer.
inline QString WriteEntries(archive* a, const std::vector<TTarEntry>& entries, const QString& what) {
  for (const TTarEntry& e : entries) {
    TEntryHandle entry(archive_entry_new());
    const QByteArray name = e.Name.toUtf8();
    archive_entry_set_pathname(entry.get(), name.constData());
    archive_entry_set_size(entry.get(), e.Data.size());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK) return ArchiveError(a, what + QStringLiteral(" header"));
    if (archive_write_data(a, e.Data.constData(), size_t(e.Data.size())) != e.Data.size())
      return ArchiveError(a, what + QStringLiteral(" data"));
  }
  return {};
}

}  // namespace vanta::archive_detail
