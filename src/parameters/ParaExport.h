#pragma once
// The files the editor writes besides sending: the complete document, the
// change export (only changed items and their path, for any device), the
// CSV list and the device's ICD file with its IED name.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "ParaHelper.h"

namespace vanta {

// "Vanta_<device>_<plant>_<field>_<yymmdd>.xml"
QString FullExportName(const QString& device, const QString& plant, const QString& field, const QDate& date);
// "ChangeExport_<yymmdd_hhnnss>.xml"
QString ChangeExportName(const QDateTime& when);
// "<tmp>para_<serial>.csv"
QString CsvExportPath(const QString& tmpDir, uint32_t serial);

// A copy of the document for any device ("anyDevice") holding below
// "system" only the changed items with the elements on their path. Empty
// when there are no changes.
QByteArray ChangeExport(TParaDocument& doc, const TChangeList& changes);

// The software modules below "sys" as "id=caption".
QStringList ModuleEntries(const TParaDocument& doc, const TCaptionSource& captions);
// CSV lines (caption, separator, value); the module group and the chosen
// modules get a section header. Joined with CR LF, UTF-8.
QByteArray CsvExport(const TParaDocument& doc, int level, const TCaptionSource& captions, const QStringList& chosenModuleIds);

// ---- ICD files ------------------------------------------------------------------------------

struct TIcdInfo {
  QString Version, Revision, HeaderId;      // Header
  QString Name, SclVersion, SclRevision;    // first IED
};
// Reads and checks an ICD file; false with the reason.
bool ReadIcd(const QString& path, TIcdInfo& info, QString& error);
// Sets the IED name in the ICD file (ConnectedAP's iedName and the IED's name).
bool RenameIcd(const QString& path, const QString& name, QString& error);
// Puts the ICD's facts into the seven ICD parameters of the setup (changes
// recorded like edits); returns the ids that changed.
QStringList ApplyIcdToSetup(TParaDocument& doc, const QString& icdFileName, const TIcdInfo& info);

}  // namespace vanta
