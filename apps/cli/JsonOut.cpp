#include "JsonOut.h"

#include <QDateTime>
#include <QJsonObject>
#include <cmath>
#include <cstdlib>

namespace vanta::cli {

QString IsoOffset(int32_t seconds) {
  const int32_t a = std::abs(seconds);
  return QStringLiteral("%1%2:%3")
      .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
      .arg(a / 3600, 2, 10, QLatin1Char('0'))
      .arg((a % 3600) / 60, 2, 10, QLatin1Char('0'));
}

QString IsoTime(tmStamp_t utc, tmStamp_t local, bool millis) {
  // The wall time is read as it is (time spec UTC: no second conversion).
  const QDateTime wall = TPQTimeProgs::VantaTS_to_DT(TPQTimeProgs::TStoLinear(local));
  const QString text =
      wall.toString(millis ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz") : QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
  return text + IsoOffset(int32_t(int64_t(local.Sec) - int64_t(utc.Sec)));
}

QString IsoDeviceTime(tmStamp_t utc, const time_set_t& set, bool millis) {
  return IsoTime(utc, CorrectUTCtoLocal(utc, set), millis);
}

QString IsoFlaggedTime(tmStamp_t utc, const time_tz_t& zone, bool millis) {
  return IsoTime(utc, TPQTimeProgs::TSNormalizeLocal(utc, zone), millis);
}

QString IsoFileTime(tmStamp_t utc, const TDeviceTime& rule, bool millis) {
  return IsoTime(utc, rule.ToLocal(utc), millis);
}

QJsonValue TypedValue(const QString& text) {
  const QString t = text.trimmed();
  bool ok = false;
  const qlonglong whole = t.toLongLong(&ok);
  if (ok) return QJsonValue(qint64(whole));
  const double number = t.toDouble(&ok);
  // "nan" and "inf" stay text: JSON has no such numbers.
  if (ok && std::isfinite(number)) return number;
  return text;
}

QJsonArray NameValueArray(const QStringList& lines) {
  QJsonArray out;
  for (const QString& l : lines) {
    const qsizetype at = l.indexOf(QLatin1Char('='));
    out.append(QJsonObject{{QStringLiteral("name"), at < 0 ? l : l.left(at)},
                           {QStringLiteral("value"), at < 0 ? QJsonValue(QString()) : TypedValue(l.mid(at + 1))}});
  }
  return out;
}

QString CsvLine(const QStringList& fields) {
  QStringList quoted;
  for (const QString& f : fields) {
    if (f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"')) || f.contains(QLatin1Char('\n')) ||
        f.contains(QLatin1Char('\r')))
      quoted << QLatin1Char('"') + QString(f).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    else
      quoted << f;
  }
  return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString CsvNumber(const QJsonValue& v) {
  if (v.isDouble()) return QString::number(v.toDouble(), 'g', 10);  // QString::number never uses the locale
  if (v.isBool()) return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
  if (v.isString()) return v.toString();
  return {};
}

}  // namespace vanta::cli
