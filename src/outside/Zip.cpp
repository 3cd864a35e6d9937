#include "Zip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "ArchiveHandles.h"

namespace vanta {

using namespace archive_detail;
namespace {
QString Err(archive* a, const char* what) { return ArchiveError(a, QStringLiteral("zip %1").arg(QLatin1String(what))); }

// A name that stays inside the target once the folder part is dropped is
// not enough: a package naming "../x" or "/x" was built to escape, and the
// rest of it is not trusted either.
bool Hostile(const QString& raw) {
  QString n = raw;
  n.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (n.startsWith(QLatin1Char('/')) || (n.size() > 1 && n.at(1) == QLatin1Char(':'))) return true;
  for (const QString& part : n.split(QLatin1Char('/')))
    if (part == QLatin1String("..")) return true;
  return n.contains(QChar(0));
}
}  // namespace

QString ZipExtract(const QString& zipPath, const QString& folder, std::vector<TZipFile>& out, const TZipLimits& limits) {
  out.clear();
  const qint64 archiveSize = QFileInfo(zipPath).size();
  const qint64 budget = qMin(limits.MaxTotal, archiveSize * limits.Ratio + limits.Slack);
  TReadHandle a(archive_read_new());
  archive_read_support_format_zip(a.get());
  const QByteArray local = QFile::encodeName(zipPath);
  if (archive_read_open_filename(a.get(), local.constData(), 1 << 16) != ARCHIVE_OK) return Err(a.get(), "open");
  if (!QDir().mkpath(folder)) return QStringLiteral("zip: cannot create %1").arg(folder);
  std::vector<TZipFile> files;
  auto fail = [&files](const QString& e) {
    for (const TZipFile& f : files) QFile::remove(f.Path);
    return e;
  };
  qint64 total = 0;
  archive_entry* entry = nullptr;
  QByteArray buf(1 << 16, Qt::Uninitialized);
  for (;;) {
    const int rc = archive_read_next_header(a.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) return fail(Err(a.get(), "read"));
    const char* rawName = archive_entry_pathname_utf8(entry);
    if (!rawName) rawName = archive_entry_pathname(entry);
    const QString name = rawName ? QString::fromUtf8(rawName) : QString();
    if (Hostile(name)) return fail(QStringLiteral("zip: refused entry name \"%1\"").arg(name));
    const auto type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) continue;
    if (type != AE_IFREG) return fail(QStringLiteral("zip: entry \"%1\" is not a plain file").arg(name));
    QString base = name;
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    base = base.section(QLatin1Char('/'), -1);
    if (!IsSafeEntryName(base)) return fail(QStringLiteral("zip: refused entry name \"%1\"").arg(name));
    // Two entries landing on one file: the later one replaces the earlier.
    for (size_t i = 0; i < files.size(); ++i)
      if (files[i].Name.compare(base, Qt::CaseInsensitive) == 0) {
        QFile::remove(files[i].Path);
        files.erase(files.begin() + qsizetype(i));
        break;
      }
    if (int(files.size()) >= limits.MaxEntries) return fail(QStringLiteral("zip: more than %1 entries").arg(limits.MaxEntries));
    TZipFile f{base, QDir(folder).filePath(base), 0};
    QFile o(f.Path);
    if (!o.open(QIODevice::WriteOnly | QIODevice::Truncate))
      return fail(QStringLiteral("zip: cannot write %1: %2").arg(f.Path, o.errorString()));
    files.push_back(f);
    // The sizes in the entry headers are the packer's word; count what
    // actually comes out.
    for (;;) {
      const la_ssize_t n = archive_read_data(a.get(), buf.data(), size_t(buf.size()));
      if (n < 0) return fail(Err(a.get(), "data"));
      if (n == 0) break;
      total += n;
      files.back().Size += n;
      if (total > budget)
        return fail(QStringLiteral("zip: unpacks to more than %1 bytes from %2 (refused)").arg(budget).arg(archiveSize));
      if (o.write(buf.constData(), n) != n) return fail(QStringLiteral("zip: cannot write %1: %2").arg(f.Path, o.errorString()));
    }
    if (!o.flush()) return fail(QStringLiteral("zip: cannot write %1: %2").arg(f.Path, o.errorString()));
  }
  out = std::move(files);
  return {};
}

QString ZipPack(const std::vector<TTarEntry>& entries, QByteArray& out, bool compress) {
  qsizetype total = 4096;
  for (const TTarEntry& e : entries) total += e.Data.size() + 512 + e.Name.size() * 2;
  QByteArray buffer(total + total / 8, '\0');
  size_t used = 0;
  TWriteHandle a(archive_write_new());
  archive_write_set_format_zip(a.get());
  if (!compress) archive_write_set_format_option(a.get(), "zip", "compression", "store");
  if (archive_write_open_memory(a.get(), buffer.data(), size_t(buffer.size()), &used) != ARCHIVE_OK) return Err(a.get(), "open");
  if (const QString e = WriteEntries(a.get(), entries, QStringLiteral("zip")); !e.isEmpty()) return e;
  if (archive_write_close(a.get()) != ARCHIVE_OK) return Err(a.get(), "close");
  a.reset();
  buffer.truncate(qsizetype(used));
  out = buffer;
  return {};
}

}  // namespace vanta
