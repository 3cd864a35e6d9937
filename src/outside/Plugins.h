#pragma once
// The report plugin is found by name at run time: in the installed folder
// relative to the program (../lib/<multiarch>/vanta, set at configure time),
// beside the programs in a build tree (../../lib, ../lib) or in the system's
// library path.
#include <QLibrary>
#include <QMap>
#include <QString>

namespace vanta {

// Loads "vanta_report" into `lib`; false with the loader's reason.
bool LoadReportPlugin(QLibrary& lib, QString& error);
// The calibration certificate through the plugin's KalibratorReport (the
// fields as a JSON object). Empty on success, else why not.
QString RunKalibratorReport(const QMap<QString, QString>& dict, const QString& pdf, const QString& tmpDir);
// Before a program without a session (cron, a service, a bare shell) makes
// its GUI application for drawing: the runtime folder Qt asks for, made as Qt
// would make it (private to the user) but without Qt's warning on stderr,
// which scripts read as a failure. Nothing when XDG_RUNTIME_DIR is set.
void PrepareRuntimeFolder();

}  // namespace vanta
