#pragma once
// The report plugin is found by name at run time: beside the programs in a
// build tree (../../lib, ../lib) or in the installed library folder.
#include <QLibrary>
#include <QString>

namespace vanta {

// Loads "vanta_report" into `lib`; false with the loader's reason.
bool LoadReportPlugin(QLibrary& lib, QString& error);

}  // namespace vanta
