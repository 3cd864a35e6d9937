#pragma once
// Device time stamps and the device's time-zone record.
//
// tmStamp_t is two u32 words on the wire: Unix seconds (UTC), then a fraction
// word. In the fraction word the low 30 bits are nanoseconds (0..999 999 999)
// and the top bit is the daylight-saving flag that local-time conversion sets;
// bit 30 is unused. Linear time is a signed 64-bit count of nanoseconds since
// 1970-01-01 00:00:00 (in whatever zone the stamp was normalised to).
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>

namespace vanta {

struct tmStamp_t {
  uint32_t Sec = 0;
  uint32_t Frac = 0;
  bool operator==(const tmStamp_t&) const = default;
};

inline constexpr uint32_t CTSDstMask = 0x80000000u;
inline constexpr uint32_t CTSNanoMask = 0x3FFFFFFFu;
inline constexpr int64_t CNanoPerSec = 1000000000LL;

// A packed stamp keeps the seconds in the low 32 bits and the fraction word in
// the high 32 bits, as the device lays the two words out in memory.
inline uint64_t PackTS(tmStamp_t ts) { return (uint64_t(ts.Frac) << 32) | ts.Sec; }
inline tmStamp_t UnpackTS(uint64_t v) { return {uint32_t(v & 0xFFFFFFFFu), uint32_t(v >> 32)}; }

// Time settings of the device as the full identity answer carries them
// (180 bytes on the wire). Std, bdnmea, rsnmea and rspcm are kept opaque.
struct time_set_t {
  uint32_t Std = 0;
  uint16_t Stdtz = 0;     // bit 0 sign, upper bits hours
  uint16_t StdtzMin = 0;
  uint16_t tz = 0;        // bit 0 sign, value >> 1 = hours
  uint16_t tzMin = 0;
  uint32_t dstmode = 0;
  std::array<uint8_t, 4> ws{};  // month, day, hour, day of week: start of DST
  std::array<uint8_t, 4> sw{};  // month, day, hour, day of week: end of DST
  std::array<uint8_t, 4> ls{};  // year, month, day, sign: leap second
  uint32_t ntpcycle = 0;
  std::array<QByteArray, 4> ntpip;
  std::array<uint16_t, 4> ntpport{};
  uint32_t bdnmea = 0;
  uint32_t rsnmea = 0;
  uint32_t rspcm = 0;
  bool operator==(const time_set_t&) const = default;
};

// The device's zone as the conversions need it.
struct time_tz_t {
  int32_t OffsetSec = 0;  // standard offset from UTC, east positive
  bool DstMode = false;   // the device observes daylight saving time
  bool operator==(const time_tz_t&) const = default;
};

// Signed offset of a "bit 0 sign, rest hours" pair: tz >> 1 hours plus minutes.
int32_t TzFieldToSeconds(uint16_t signHours, uint16_t minutes);
time_tz_t TimeTzFromSet(const time_set_t& set);
// "UTC+01:00, Sommerzeit: ja" style summary used in logs and the CLI.
QString TimeSetToText(const time_set_t& set);

class TPQTimeProgs {
 public:
  static int64_t TStoLinear(tmStamp_t ts);
  static tmStamp_t LinearToTS(int64_t linear);
  // Shifts a UTC stamp to the device's local time. The daylight-saving hour is
  // added only when the stamp carries the DST flag and the device observes
  // DST; the flag itself stays in the result.
  static tmStamp_t TSNormalizeLocal(tmStamp_t ts, const time_tz_t& tz);
  // Offset in seconds between UTC and the device's local time.
  static int32_t UTCTimeShiftSoc(const time_tz_t& tz, bool dst);
  // Wall-clock date-time of a linear time (time spec UTC: the value is shown
  // as it is, no further zone conversion).
  static QDateTime VantaTS_to_DT(int64_t linear);
  static QString VantaTS_to_StrMilSec(int64_t linear);   // dd.MM.yyyy HH:mm:ss.zzz
  static QString VantaTS_to_StrNanoSec(int64_t linear);  // dd.MM.yyyy HH:mm:ss.nnnnnnnnn
  static QString VantaTS_to_StrSec(int64_t linear);      // dd.MM.yyyy HH:mm:ss
  static int64_t MilliSecsBetween(int64_t a, int64_t b);
  static int64_t NanoSecsBetween(int64_t a, int64_t b);
};

// The device's UTC stamp in its local time: when the device observes daylight
// saving time and the stamp falls inside its window (computed from the ws/sw
// rules on day counts, the way the device firmware does), the DST flag is set;
// then the zone offset is applied.
tmStamp_t CorrectUTCtoLocal(tmStamp_t ts, const time_set_t& set);

// Date-times as a day count from 1899-12-30 (whole days plus fraction), the
// unit in which the daylight-saving window of the device is computed.
double DateTimeToDays(const QDateTime& dt);
QDateTime DaysToDateTime(double days);

}  // namespace vanta
