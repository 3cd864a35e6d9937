#pragma once
// What a device says about itself: the status script it runs, the text file
// the script writes ("stat.txt"), and that file read into one plain record
// for the status pages, the command line and the tests. No device, no
// drawing.
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

#include "TimeStamps.h"

namespace vanta {

// The Lua text written to the scratchpad as "status.lua" and run with dofile.
extern const char* const CStatusScript;
inline constexpr const char* CStatusScriptName = "status.lua";
inline constexpr const char* CStatusFileName = "stat.txt";
inline constexpr const char* CDeviceDataDir = "/mnt/flashdrive0/data/";

// `FValList`: the file's lines as name/value pairs in file order.
using TNameValue = QPair<QString, QString>;
struct TValList {
  QList<TNameValue> Items;
  QString Value(const QString& name) const;  // "" when missing
  bool Has(const QString& name) const;
};

// Splits each line at its first blank; the rest, trimmed, is the value.
// UTF-8, or Latin-1 when the bytes are not UTF-8.
TValList ParseStatText(const QByteArray& bytes);

struct TSysloadRec {
  QString Syspart;
  float Load = 0;
};

struct TDriveInfo {
  bool Present = false;
  qint64 UsedMiB = 0, FreeMiB = 0, BadMiB = 0, TotalMiB = 0;
  int Percent = 0;  // round(free * 100 / total)
};

struct TStatusRecord {
  QString DeviceTime;  // local device time "dd.MM.yyyy HH:mm:ss", empty when not sent
  std::optional<tmStamp_t> DeviceStamp;
  QString Plant, Field, Device, Firmware, Release, Article, Serial;
  quint64 UpTimeSec = 0;
  QString UpTimeText;
  TDriveInfo Flash, Ram, Sd;
  QString FlashPercentText;  // "%d%%"
  QStringList CcciWorkers;   // whole lines "name=value"
  QStringList Addresses;     // lines without the first name part
  QStringList Recordings;
  QList<TSysloadRec> SysLoad;
  QStringList Modbus, Iec104, Iec850;
  QList<TNameValue> Ntp[4];  // per server: name without "NTP.n.", value
  QList<TNameValue> Time;    // "time." entries, then the zone and the daylight-saving entries
  QString DcfQuality;        // empty unless the time source is DCF77; German, as scripts read it (shown through TTr::tr)
};

// `PrepareFrames` without the frames: the fixed keys, then every line routed
// to the first pattern it matches. `tz` is the device's zone.
TStatusRecord RouteStatus(const TValList& values, const time_tz_t& tz);

// DCF77 quality text for a time dictionary whose "syncSrc" is DCF77; empty otherwise.
QString CheckDCF(const QList<TNameValue>& time);

// A server line of the time page: "lastsync" and "utc.soc" are Unix seconds
// shown as local date and time, the rest as "%s=%s".
QString NtpLineText(const TNameValue& line);

// One line per routed list entry, for the command line and the window.
QJsonObject StatusToJson(const TStatusRecord& r);

// ---- packet captures ----------------------------------------------------------------------

enum class TPCAPInteractType { PCAPDelete, PCAPDownload };

struct TPcapSettings {
  QString Interface = QStringLiteral("emac");
  QString FileName;       // filled with "yymmdd_hhmmss.pcap" when empty
  bool ByPackets = false;  // by packet count instead of by time
  int Hours = 1, Minutes = 0, Seconds = 0;
  int Packets = 100;
  QStringList Filters;  // "src@1.2.3.4" or "1.2.3.4"
};

// "dir@address" (dir one of all, src, dst) or the bare address.
QString PcapFilter(const QString& direction, const QString& address);
// The ips.pcapStart call; fills `s.FileName` from `now` when it is empty.
QString GenText(TPcapSettings& s, const QDateTime& now);

struct TPcapEntry {
  QString Name, Detail;
};
// fs.ls output: every line with "file" split at blanks, field 5 the name,
// fields 1-4 the detail "%s%s - %s %s".
QList<TPcapEntry> ParsePcapListing(const QString& text);

// "%u-%s.%s.pdf": serial, the first three characters of the article number, the rest.
QString TestCertName(uint32_t serial, const QString& article);

}  // namespace vanta
