#pragma once
// One rule for turning a device's stamps into its local time, wherever they
// are shown: event and recording tables, curves and markers, captions,
// exports and reports, online and offline alike.
//
// Record stamps never carry the daylight-saving flag, and a record file's
// header holds only the zone offset and whether the device observes DST: a
// summer stamp cannot be told from a winter one by the file alone. The
// device's own time settings (zone and DST window, from its identity) can,
// and they are what the readout tree uses. Online they come from the client;
// for offline use the readout keeps them beside the station's files
// (CDeviceTimeFile in <store>/<serial>/). A file without them reads as it
// always did, by its header's offset, and its captions say which offset
// that is (ZoneText).
#include <QString>

#include "RecordFile.h"
#include "TimeStamps.h"

namespace vanta {

inline constexpr const char* CDeviceTimeFile = "device-time.ini";

class TDeviceTime {
 public:
  // UTC, nothing known.
  TDeviceTime() = default;
  // The device's own rules (CorrectUTCtoLocal).
  static TDeviceTime FromSettings(const time_set_t& set);
  // Only what a record file's header says: its offset, DST only for stamps
  // that carry the flag.
  static TDeviceTime FromHeader(const TSysEnvHeader& env);

  bool HasSettings() const { return FHasSettings; }
  tmStamp_t ToLocal(tmStamp_t utc) const;
  int64_t Linear(tmStamp_t utc) const { return TPQTimeProgs::TStoLinear(ToLocal(utc)); }
  QString MilliText(tmStamp_t utc) const;  // dd.MM.yyyy HH:mm:ss.zzz
  QString SecText(tmStamp_t utc) const;    // dd.MM.yyyy HH:mm:ss
  // Empty under the device's rules; "UTC+01:00" when only a file's offset is
  // known, so that a caption says what its times are.
  QString ZoneText() const;
  const time_set_t& Settings() const { return FSet; }

 private:
  bool FHasSettings = false;
  time_set_t FSet;
  time_tz_t FZone;
};

// "UTC+01:00", "UTC-03:30".
QString UtcOffsetText(int32_t offsetSec);

// The device's time settings as the readout keeps them in a station folder:
// written through a temporary file, so a reader sees the old file or the new
// one, never half of one.
bool SaveDeviceTime(const QString& stationDir, uint32_t serial, const time_set_t& set, QString& error);
// False with a reason when the file is missing or not what SaveDeviceTime writes.
bool LoadDeviceTime(const QString& stationDir, uint32_t& serial, time_set_t& set, QString& error);

// The settings file of one station folder, read once for all its files.
struct TStationTime {
  bool Loaded = false;
  uint32_t Serial = 0;
  time_set_t Set;
  QString Problem;  // why a file that is there could not be read
  static TStationTime Load(const QString& stationDir);
  // The device's rules for a file whose header names this serial number;
  // the header's own rule for any other.
  TDeviceTime For(const TSysEnvHeader& env) const;
};

// The rule for a stored record file: the settings of its station when the
// file lies in <station>/Event/ or <station>/Recorder/ beside a settings file
// of the same serial number as its header; else its header's. `problem`
// (optional) gets why a settings file there could not be used.
TDeviceTime DeviceTimeForFile(const QString& recordPath, const TSysEnvHeader& env, QString* problem = nullptr);

}  // namespace vanta
