#include "Tar.h"
#include "Language.h"

#include <QFile>
#include <QStringList>
#include <functional>

#include "ArchiveHandles.h"

namespace vanta {

using namespace archive_detail;
namespace {
QString ArchiveError(archive* a, const char* what) { return archive_detail::ArchiveError(a, QLatin1String(what)); }
}  // namespace

bool IsSafeEntryName(const QString& name) {
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
  if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) return false;
  if (name.contains(QChar(0))) return false;
  return true;
}

QString TarGzPack(const std::vector<TTarEntry>& entries, QByteArray& out) {
  for (const TTarEntry& e : entries) {
    if (!IsSafeEntryName(e.Name)) return TEn::tr("tar: refused entry name \"%1\"").arg(e.Name);
  }
  // libarchive writes into a fixed buffer sized from the content plus room
  // for headers. The buffer must outlive the archive object, whose release
  // still flushes into it.
  qsizetype total = 4096;
  for (const TTarEntry& e : entries) total += e.Data.size() + 1024;
  QByteArray buffer(total + total / 10, '\0');
  size_t used = 0;
  TWriteHandle a(archive_write_new());
  archive_write_set_format_ustar(a.get());
  archive_write_add_filter_gzip(a.get());
  if (archive_write_open_memory(a.get(), buffer.data(), size_t(buffer.size()), &used) != ARCHIVE_OK)
    return ArchiveError(a.get(), "tar open");
  if (const QString e = WriteEntries(a.get(), entries, QStringLiteral("tar")); !e.isEmpty()) return e;
  if (archive_write_close(a.get()) != ARCHIVE_OK) return ArchiveError(a.get(), "tar close");
  a.reset();
  buffer.truncate(qsizetype(used));
  out = buffer;
  return {};
}

QString TarGzUnpack(const QByteArray& archiveBytes, std::vector<TTarEntry>& out, QStringList* skipped,
                    qsizetype maxEntrySize) {
  TReadHandle a(archive_read_new());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_format_tar(a.get());
  if (archive_read_open_memory(a.get(), archiveBytes.constData(), size_t(archiveBytes.size())) != ARCHIVE_OK)
    return ArchiveError(a.get(), "tar open");
  std::vector<TTarEntry> result;
  qsizetype total = 0;
  archive_entry* entry = nullptr;
  for (;;) {
    const int rc = archive_read_next_header(a.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) return ArchiveError(a.get(), "tar read");
    if (qsizetype(result.size()) >= CMaxTarEntries) return QStringLiteral("tar: more than %1 entries").arg(CMaxTarEntries);
    const char* rawName = archive_entry_pathname(entry);
    QString name = rawName ? QString::fromUtf8(rawName) : QString();
    if (name.startsWith(QLatin1String("./"))) name.remove(0, 2);
    const bool regular = archive_entry_filetype(entry) == AE_IFREG;
    const la_int64_t size = archive_entry_size(entry);
    QString why;
    if (!regular) why = QStringLiteral("not a plain file");
    else if (!IsSafeEntryName(name)) why = QStringLiteral("name with a folder part");
    else if (size < 0 || size > maxEntrySize) why = QStringLiteral("size %1").arg(size);
    if (!why.isEmpty()) {
      if (skipped) *skipped << QStringLiteral("%1 (%2)").arg(name, why);
      archive_read_data_skip(a.get());
      continue;
    }
    // Grown as the bytes come, not sized from the header: a header may
    // claim what the archive does not hold.
    QByteArray data;
    char chunk[1 << 16];
    for (;;) {
      const la_ssize_t n = archive_read_data(a.get(), chunk, sizeof chunk);
      if (n < 0) return ArchiveError(a.get(), "tar data");
      if (n == 0) break;
      if (data.size() + n > size) return TEn::tr("tar: entry %1 is longer than its header says").arg(name);
      data.append(chunk, qsizetype(n));
    }
    if (data.size() != size) return QStringLiteral("tar: entry %1 is truncated").arg(name);
    total += data.size();
    if (total > CMaxTarTotal) return QStringLiteral("tar: more than %1 bytes unpacked").arg(CMaxTarTotal);
    result.push_back({name, data});
  }
  out = std::move(result);
  return {};
}

namespace {
QString OpenTarGzFile(const QString& path, TReadHandle& a) {
  a.reset(archive_read_new());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_format_tar(a.get());
  const QByteArray local = QFile::encodeName(path);
  if (archive_read_open_filename(a.get(), local.constData(), 1 << 16) != ARCHIVE_OK) return ArchiveError(a.get(), "tar open");
  return {};
}
}  // namespace

namespace {
// Walks the entries of a tar+gzip file; `take` gets each plain entry's
// name with the reader positioned at its data and says whether the walk is
// done. Entries not taken are skipped as they stream past.
QString WalkTarGz(const QString& path, const std::function<bool(const QString& name, archive* a, QString& error)>& take) {
  TReadHandle a;
  if (const QString e = OpenTarGzFile(path, a); !e.isEmpty()) return e;
  archive_entry* entry = nullptr;
  for (;;) {
    const int rc = archive_read_next_header(a.get(), &entry);
    if (rc == ARCHIVE_EOF) return {};
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) return ArchiveError(a.get(), "tar read");
    const char* raw = archive_entry_pathname(entry);
    QString n = raw ? QString::fromUtf8(raw) : QString();
    if (n.startsWith(QLatin1String("./"))) n.remove(0, 2);
    QString error;
    if (archive_entry_filetype(entry) == AE_IFREG && take && take(n, a.get(), error)) return error;
    if (archive_read_data_skip(a.get()) != ARCHIVE_OK) return ArchiveError(a.get(), "tar data");
  }
}
}  // namespace

QString TarGzReadEntry(const QString& path, const QString& name, QByteArray& out, bool& found, qsizetype maxSize) {
  found = false;
  out.clear();
  return WalkTarGz(path, [&](const QString& n, archive* a, QString& error) {
    if (n != name) return false;
    QByteArray data(maxSize, '\0');
    qsizetype got = 0;
    while (got < maxSize) {
      const la_ssize_t r = archive_read_data(a, data.data() + got, size_t(maxSize - got));
      if (r < 0) {
        error = ArchiveError(a, "tar data");
        return true;
      }
      if (r == 0) break;
      got += r;
    }
    data.truncate(got);
    out = data;
    found = true;
    return true;
  });
}

QString TarGzVerify(const QString& path) { return WalkTarGz(path, nullptr); }

}  // namespace vanta
