#include "TimeStamps.h"

#include <cmath>
#include <cstdlib>

namespace vanta {

namespace {
const QDateTime& DayZero() {
  static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
  return zero;
}
}  // namespace

int32_t TzFieldToSeconds(uint16_t signHours, uint16_t minutes) {
  const int32_t hours = signHours >> 1;
  const int32_t secs = hours * 3600 + int32_t(minutes) * 60;
  return (signHours & 1) ? -secs : secs;
}

time_tz_t TimeTzFromSet(const time_set_t& set) {
  return {TzFieldToSeconds(set.tz, set.tzMin), set.dstmode != 0};
}

QString TimeSetToText(const time_set_t& set) {
  const time_tz_t tz = TimeTzFromSet(set);
  const int32_t off = std::abs(tz.OffsetSec);
  QString servers;
  for (const QByteArray& ip : set.ntpip) {
    if (ip.isEmpty()) continue;
    if (!servers.isEmpty()) servers += ", ";
    servers += QString::fromLatin1(ip);
  }
  // For the device-time file and the identity document: the same words in every language.
  return QStringLiteral("UTC%1%2:%3, Sommerzeit: %4, NTP: %5")  // untranslated
      .arg(tz.OffsetSec < 0 ? '-' : '+')
      .arg(off / 3600, 2, 10, QLatin1Char('0'))
      .arg((off % 3600) / 60, 2, 10, QLatin1Char('0'))
      .arg(tz.DstMode ? QStringLiteral("ja") : QStringLiteral("nein"))
      .arg(servers.isEmpty() ? QStringLiteral("-") : servers);
}

int64_t TPQTimeProgs::TStoLinear(tmStamp_t ts) {
  int64_t nanos = ts.Frac & CTSNanoMask;
  if (nanos >= CNanoPerSec) nanos = CNanoPerSec - 1;  // out-of-range fraction: clamp, never carry
  return int64_t(ts.Sec) * CNanoPerSec + nanos;
}

tmStamp_t TPQTimeProgs::LinearToTS(int64_t linear) {
  if (linear < 0) return {};
  const int64_t secs = linear / CNanoPerSec;
  if (secs > 0xFFFFFFFFLL) return {0xFFFFFFFFu, uint32_t(CNanoPerSec - 1)};
  return {uint32_t(secs), uint32_t(linear % CNanoPerSec)};
}

int32_t TPQTimeProgs::UTCTimeShiftSoc(const time_tz_t& tz, bool dst) {
  return tz.OffsetSec + ((dst && tz.DstMode) ? 3600 : 0);
}

tmStamp_t TPQTimeProgs::TSNormalizeLocal(tmStamp_t ts, const time_tz_t& tz) {
  const int64_t shifted = int64_t(ts.Sec) + UTCTimeShiftSoc(tz, (ts.Frac & CTSDstMask) != 0);
  tmStamp_t out = ts;
  out.Sec = uint32_t(qBound<int64_t>(int64_t(0), shifted, int64_t(0xFFFFFFFFLL)));
  return out;
}

QDateTime TPQTimeProgs::VantaTS_to_DT(int64_t linear) {
  // Floor division so that times before 1970 still land on the right second.
  int64_t ms = linear / 1000000;
  if (linear % 1000000 < 0) --ms;
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString TPQTimeProgs::VantaTS_to_StrSec(int64_t linear) {
  return VantaTS_to_DT(linear).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString TPQTimeProgs::VantaTS_to_StrMilSec(int64_t linear) {
  return VantaTS_to_DT(linear).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz"));
}

QString TPQTimeProgs::VantaTS_to_StrNanoSec(int64_t linear) {
  int64_t nanos = linear % CNanoPerSec;
  if (nanos < 0) nanos += CNanoPerSec;
  return VantaTS_to_StrSec(linear) + QStringLiteral(".%1").arg(nanos, 9, 10, QLatin1Char('0'));
}

int64_t TPQTimeProgs::MilliSecsBetween(int64_t a, int64_t b) { return NanoSecsBetween(a, b) / 1000000; }

int64_t TPQTimeProgs::NanoSecsBetween(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

double DateTimeToDays(const QDateTime& dt) {
  return double(DayZero().msecsTo(dt.toUTC())) / 86400000.0;
}

QDateTime DaysToDateTime(double days) {
  return DayZero().addMSecs(qint64(std::llround(days * 86400000.0)));
}

namespace {
// Day 0 shifted by whole years or months; the day of month (30) is clamped
// to the length of the target month.
double ShiftedDayZero(int years, int months) {
  const QDate d = QDate(1899, 12, 30).addYears(years).addMonths(months);
  return double(QDate(1899, 12, 30).daysTo(d));
}

double WindowEdge(int years, const std::array<uint8_t, 4>& rule) {
  double edge = ShiftedDayZero(years, 0) + ShiftedDayZero(0, int(rule[0]) - 1) + double(rule[1]) + double(rule[2]) / 24.0;
  if (rule[3] != 0) {
    const int64_t whole = int64_t(std::floor(edge));
    const int weekday = int((((whole - 1) % 7) + 7) % 7);
    edge += double((int(rule[3]) + 7 - weekday) % 7);
  }
  return edge;
}
}  // namespace

tmStamp_t CorrectUTCtoLocal(tmStamp_t ts, const time_set_t& set) {
  tmStamp_t out = ts;
  if (set.dstmode != 0) {
    const QDateTime dt = TPQTimeProgs::VantaTS_to_DT(TPQTimeProgs::TStoLinear(ts));
    const double days = DateTimeToDays(dt);
    const int n = dt.date().year() - 1900;
    const double start = WindowEdge(n, set.ws);
    const double end = WindowEdge(n, set.sw);
    if (start <= days && days <= end) out.Frac |= CTSDstMask;
  }
  return TPQTimeProgs::TSNormalizeLocal(out, TimeTzFromSet(set));
}

}  // namespace vanta
