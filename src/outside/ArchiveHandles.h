#pragma once
// Owning handles for libarchive objects and its error text, shared by the
// tar and zip helpers (internal to vanta_outside).
#include <QString>
#include <archive.h>
#include <archive_entry.h>
#include <memory>

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

}  // namespace vanta::archive_detail
