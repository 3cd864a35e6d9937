#pragma once
// Where this installation keeps its data files (caption tables, the sample
// mapping database), and loading the caption tables from there.
#include <QString>
#include <QStringList>

#include "MessClass.h"

namespace vanta {

// The folders searched, nearest first: a build tree keeps its data one or two
// levels above the programs, an installation in ../share/vanta.
QStringList DataFolders();
// The first existing file of that name in DataFolders(), or "".
QString FindDataFile(const QString& name);
// Loads both caption tables that can be found; false (with the reasons) when
// none could. Ids without a caption read as "Parameter <id>".
bool LoadInstalledCaptions(TMessClass& classes, QString* error = nullptr);

}  // namespace vanta
