#pragma once
// The download loop shared by `events|recordings get` and `readout
// download`: one file at a time on the readout chain's rules (NAME.part,
// resume from its size, rename when whole), a file that cannot be stored
// noted and passed over, the free space checked before the first byte,
// Ctrl-C taken at a clean resume point, and an exit code that says whether
// everything asked for is on disk.
#include <QJsonArray>
#include <QString>

#include "CliSession.h"
#include "Readout.h"

namespace vanta::cli {

// Set by SIGINT; long waits end early and loops stop before the next file.
bool Interrupted();
void InstallInterruptHandler();

struct TDownloadResult {
  QJsonArray Files;  // one object per file requested: name, file, result, resumedAt, reason
  int ExitCode = ecDone;
};

// Works `chain` off; each file's "result" is "downloaded",
// "resumed" or "failed" (with its reason). With several files a line per
// file tells files, bytes and the time left; the terminal's bar is labelled
// `labelPrefix` + the device path.
TDownloadResult RunDownloadChain(TCliSession& s, TReadoutChain& chain, const TReadoutPlace& place,
                                 const QString& labelPrefix = QString());

// Writes the files and the failures into the JSON document and the error.
void ReportDownload(TCliSession& s, const QString& key, TDownloadResult& r);

}  // namespace vanta::cli
