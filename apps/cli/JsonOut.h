#pragma once
// Pieces every --json document shares: device times as ISO 8601 with the
// offset of the device's zone (a script compares them across devices and
// zones without knowing either), name/value pairs with their values typed,
// and CSV lines a spreadsheet or a script reads the same in every locale.
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include "DeviceTime.h"
#include "TimeStamps.h"

namespace vanta::cli {

// `local` is `utc` turned into the zone's wall time; their difference is the
// offset the time is written with. `millis`: with ".zzz".
QString IsoTime(tmStamp_t utc, tmStamp_t local, bool millis = false);
// A UTC stamp in the device's zone by its own rules (daylight saving window
// included), as the readout and the identity show it.
QString IsoDeviceTime(tmStamp_t utc, const time_set_t& set, bool millis = false);
// A stamp that carries the daylight-saving flag itself (stream records).
QString IsoFlaggedTime(tmStamp_t utc, const time_tz_t& zone, bool millis = true);
// A stored file's stamp by the rule the tables use for that file.
QString IsoFileTime(tmStamp_t utc, const TDeviceTime& rule, bool millis = true);
// "+01:00", "-03:30", "+00:00".
QString IsoOffset(int32_t seconds);

// A value as its JSON type: a whole or decimal number when the text is one,
// else the text.
QJsonValue TypedValue(const QString& text);
// {"name": …, "value": …} for each "name=value" line (split at the first '=').
QJsonArray NameValueArray(const QStringList& lines);

// One CSV line (RFC 4180): fields quoted when they hold a comma, a quote or a
// line break; ends with CR LF.
QString CsvLine(const QStringList& fields);
// A number with "." as the decimal point, whatever the locale; "" for a missing one.
QString CsvNumber(const QJsonValue& v);

}  // namespace vanta::cli
