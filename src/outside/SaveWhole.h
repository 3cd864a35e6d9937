#pragma once
// Writing a file whole or not at all.
//
// A file is written into a temporary file beside it and renamed over the old
// one only when every byte reached the disk. QSaveFile alone is not enough:
// when a buffered write runs into a full disk or a size limit after part of
// the data, its commit still renames the short file into place and reports
// success. Here the data goes out unbuffered and every short write is
// followed up, so the kernel's reason ("No space left on device") is what the
// operator reads, and the old file stays as it was.
#include <QByteArrayView>
#include <QString>

namespace vanta {

// True when `path` now holds exactly `bytes`; otherwise false, the file at
// `path` unchanged, and `error` = "PATH: REASON".
bool SaveWhole(const QString& path, QByteArrayView bytes, QString& error);

// Empty when a file can be created in `folder` now (tried with a temporary
// file that is removed again); otherwise "FOLDER: REASON". For work that
// cannot be undone once done, so it is checked before it starts.
QString FolderWriteProblem(const QString& folder);

}  // namespace vanta
