#include "Inventory.h"
#include "Language.h"

#include <QRegularExpression>

#include "MassFlash.h"

namespace vanta::fleet {

qint64 ParseDuration(const QString& text, QString& error) {
  static const QRegularExpression rule(QStringLiteral("^([0-9]{1,9})([smhd])$"));
  const QRegularExpressionMatch m = rule.match(text.trimmed());
  const qint64 n = m.hasMatch() ? m.captured(1).toLongLong() : 0;
  if (!m.hasMatch()) {
    error = TEn::tr("\"%1\" is not a duration (30s, 15m, 2h or 1d)").arg(text);
    return -1;
  }
  if (n <= 0) {
    error = TEn::tr("\"%1\": a duration of at least 1s is needed").arg(text);
    return -1;
  }
  qint64 seconds = n;
  switch (m.captured(2).at(0).toLatin1()) {
    case 'm': seconds = n * 60; break;
    case 'h': seconds = n * 3600; break;
    case 'd': seconds = n * 86400; break;
    default: break;
  }
  // Longer than a year is a typing error, and the seconds must fit the database's integer.
  if (seconds > 366LL * 86400) {
    error = TEn::tr("\"%1\" is longer than a year").arg(text);
    return -1;
  }
  return seconds;
}

QString DurationText(qint64 s) {
  if (s > 0 && s % 86400 == 0) return QStringLiteral("%1d").arg(s / 86400);
  if (s > 0 && s % 3600 == 0) return QStringLiteral("%1h").arg(s / 3600);
  if (s > 0 && s % 60 == 0) return QStringLiteral("%1m").arg(s / 60);
  return QStringLiteral("%1s").arg(s);
}

bool ParseHostLine(const QString& line, THostLine& out, QString& error) {
  TMassTarget t;
  if (!TMassFlash::ParseHostLine(line, t, error)) return false;
  out = {t.Host, t.Port, t.Name};
  return true;
}

bool ParseHostsText(const QString& text, const QString& fileName, QList<THostLine>& out, QString& error) {
  out.clear();
  int n = 0;
  for (const QString& raw : text.split(QLatin1Char('\n'))) {
    ++n;
    const QString line = raw.section(QLatin1Char('#'), 0, 0).trimmed();
    if (line.isEmpty()) continue;
    THostLine h;
    QString problem;
    if (!ParseHostLine(line, h, problem)) {
      error = QStringLiteral("%1:%2: %3").arg(fileName).arg(n).arg(problem);
      return false;
    }
    out << h;
  }
  if (out.isEmpty()) {
    error = QStringLiteral("%1: no devices").arg(fileName);
    return false;
  }
  return true;
}

}  // namespace vanta::fleet
