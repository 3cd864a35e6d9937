#pragma once
// The editor's work on a whole document, without the window: comparing an
// imported file with the device's set and applying the chosen values,
// resetting to defaults, preparing the document for sending (modules the
// user left out are pruned from a copy), the transformer section and the
// statements that set the device clock.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "ParaHelper.h"

namespace vanta {

// One imported value that differs from the device's.
struct TCompareRec {
  QString Key;        // the item's id and its two nearest ancestors' ids
  pugi::xml_node Item;
  QString ID;
  QString NodeName;   // caption
  QString Module;     // caption of the software module it lies in ("" outside modules)
  QString OriVal;     // device value
  QString ImportVal;  // value from the file
  QString Default;
  QString NewVal;     // what applying it writes: the imported value, or the default when invalid
  bool Valid = true;
  int Visibility = 0;
  bool IsFloatVal = false;
  bool Tickable() const { return Visibility < 2; }
  QString Line() const;  // as the change dialog lists it
};

struct TImportComparison {
  QList<TCompareRec> Candidates;  // in device-document order
  QStringList InvalidImportList;
  QString Error;                  // the import file could not be read
};

TImportComparison CompareImport(const TParaDocument& device, const QByteArray& importBytes, const TCaptionSource& captions);
// Writes the ticked candidates (by key) into the device document; returns the log lines.
QStringList ApplyImport(TParaDocument& device, const TImportComparison& comparison, const QStringList& tickedKeys);

// Every parameter and datapoint outside the excluded modules to its default.
// Returns the number of items that changed.
int ResetToDefaults(TParaDocument& doc, const QList<uint32_t>& excludedModules,
                    const std::function<void(int done, int total)>& progress = {});
// The module that is never reset (the network settings).
inline constexpr uint32_t CNetworkModuleId = 4278191104u;
// The group of the device's own address, mask, gateway, host name and DHCP switch.
inline constexpr uint32_t CNetworkGroupId = 0x02000000u;
// An item of the device's own network settings: in the network group
// (the same ids elsewhere, such as an NTP server's host name, are not).
inline bool IsDeviceNetworkItem(const pugi::xml_node& item) {
  return item && item.parent().attribute("id").as_uint() == CNetworkGroupId;
}

// "<folder><serial>_TempPara.XML"
QString TempParaFileName(const QString& setupPath, uint32_t serial);
// A copy of the document without the children of "sys" whose caption has
// the flag "0" in `moduleList` ("caption=1"/"caption=0").
QByteArray PrunedForSending(const TParaDocument& doc, const QStringList& moduleList, const TCaptionSource& captions);

// One entry of the change list as the operator sees it before sending.
struct TPendingChange {
  QString Key, ID, ParentID;
  QString Caption;
  QString Module;  // caption of the module or top folder it lies in
  QString OriVal;  // the value read from the device
  QString NewVal;  // the value in the document now
  bool Sent = true;  // false: its module is left out of this upload
};
// The change list against the module choice of a send ("caption=1"/"caption=0"),
// in document order; entries whose item is gone are left out.
QList<TPendingChange> ChangePreview(const TParaDocument& doc, const QStringList& moduleList, const TCaptionSource& captions);

// What sending `next` would change on a device holding `device`: every item
// of `next` whose value differs from the same item (id under the same
// parent) on the device; floats within 1e-5 count as equal. Items in
// modules the module list leaves out are listed as not sent.
QList<TPendingChange> DiffSets(const TParaDocument& device, const TParaDocument& next, const QStringList& moduleList,
                               const TCaptionSource& captions);

// Keeps a copy of the set a device holds before it gets a new one: a file
// "ParaBackup_<yyyyMMdd_HHmmss_zzz>.xml" in `folder`, of which the newest
// `keep` stay. The written path, or "" with `error`.
QString SaveSetBackup(const QString& folder, const QByteArray& bytes, const QDateTime& when, QString& error, int keep = 20);
inline constexpr int CParaBackupsKept = 20;

// ---- transformers ----------------------------------------------------------------------------

struct TWandlerIds {
  static constexpr uint32_t WLFU = 0x0E090000, WLKFU1 = 0x0E0B0000, WLFI = 0x0E0A0000, WLKFI1 = 0x0E0B0400,
                            SekNennSpannung = 0x0E0C0000, NormLLSp = 0x0D030000, Netzform = 0x0E040000;
};
// Reads the twelve fields (and the network form) and computes the channel factors.
TWandlerRec ReadWandler(const TParaDocument& doc);
// Writes the twelve fields back like typed values, all or nothing: false
// (and the document untouched) when one of them would be corrected; every
// field is logged as "Checking %s[%u] with val %f" either way. A side
// (voltage or current) whose fields equal the document's is left as stored;
// a changed side is scaled to its largest channel factor, and refused when
// all its channels are 0. Only fields whose value differs are written.
// `corrected` gets "name = value" (or the reason) for each field that failed.
bool WriteWandler(TParaDocument& doc, TWandlerRec rec, const std::function<void(const QString&)>& log,
                  QStringList* corrected = nullptr);
// One of the twelve ids above.
bool IsWandlerId(uint32_t id);
// The field of `rec` that stands for `id`, or null.
float* WandlerField(TWandlerRec& rec, uint32_t id);

// ---- time zones ------------------------------------------------------------------------------

// The zones offered to the device: the IANA zones this computer knows, with
// a display text and the standard and daylight offsets in minutes.
struct TTimeZoneSettings {
  QString Name;     // "Europe/Berlin"
  QString Display;  // "(UTC+01:00) Europe/Berlin"
  int Bias = 0;          // minutes west of UTC, as the device expects it
  int DaylightBias = 0;  // extra minutes during daylight saving time
};
QList<TTimeZoneSettings> TimeZoneList(int year);

// ---- the device clock ------------------------------------------------------------------------

struct TTimedStatement {
  QString Lua;
  int DelayMs = 0;
};
QList<TTimedStatement> ClockStatements(int firmwareMajor, const QDateTime& local);

}  // namespace vanta
