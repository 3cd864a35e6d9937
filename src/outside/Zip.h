#pragma once
// Zip archives through libarchive. Update packages come from outside: every
// entry is written under its base name into one folder, names that try to
// leave it (absolute, "..", links) refuse the whole archive, and the bytes
// written are bounded by the archive's own size so a bomb stops early.
#include <QByteArray>
#include <QString>
#include <vector>

#include "Tar.h"

namespace vanta {

struct TZipFile {
  QString Name;  // base name of the entry
  QString Path;  // where it was written
  qint64 Size = 0;
};

struct TZipLimits {
  int MaxEntries = 256;
  qint64 MaxTotal = 4ll * 1024 * 1024 * 1024;  // never more than this in all
  qint64 Ratio = 100;                          // ... nor more than Ratio x the archive
  qint64 Slack = 16ll * 1024 * 1024;           // plus this (small packages of text)
};

// Extracts every plain file into `folder`, in archive order. Folder entries
// are skipped; of two entries with one base name the later one stays. On an error nothing extracted stays behind and `out` is empty.
QString ZipExtract(const QString& zipPath, const QString& folder, std::vector<TZipFile>& out,
                   const TZipLimits& limits = {});
// Writes the entries as a zip (names as given, folders included: tests build
// hostile packages with it). Empty on success.
QString ZipPack(const std::vector<TTarEntry>& entries, QByteArray& out, bool compress = true);

}  // namespace vanta
