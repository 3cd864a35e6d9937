#include "Formatting.h"

#include <QFileInfo>
#include <cmath>

namespace vanta {

QString FltToStrShrt(double value, int decimals) {
  if (std::isnan(value)) return QStringLiteral("NaN");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  QString text = QString::number(value, 'f', qBound(0, decimals, 15));
  if (text.contains(QLatin1Char('.'))) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  }
  if (text == QLatin1String("-0")) text = QStringLiteral("0");
  return text;
}

TBaseUnit AutoBaseUnit(double value) {
  static const struct {
    int Power;
    const char16_t* Prefix;
  } CPrefixes[] = {{12, u"T"}, {9, u"G"}, {6, u"M"}, {3, u"k"}, {0, u""}, {-3, u"m"}, {-6, u"µ"}, {-9, u"n"}, {-12, u"p"}};
  if (value == 0 || !std::isfinite(value)) return {1.0, QString()};
  const int p = DecimalPower(value);
  for (const auto& e : CPrefixes) {
    if (p >= e.Power) return {std::pow(10.0, e.Power), QString::fromUtf16(e.Prefix)};
  }
  return {1e-12, QStringLiteral("p")};
}

int DecimalPower(double value) {
  if (value == 0 || !std::isfinite(value)) return 0;
  int p = int(std::floor(std::log10(std::fabs(value))));
  // log10 can land just below an exact power of ten.
  if (std::fabs(value) >= std::pow(10.0, p + 1)) ++p;
  return p;
}

namespace {
constexpr double CAxisSteps[] = {1.0, 2.0, 2.5, 5.0, 10.0};

double NiceAtLeast(double v) {  // v > 0
  const double base = std::pow(10.0, DecimalPower(v));
  for (double s : CAxisSteps) {
    if (s * base >= v * (1 - 1e-12)) return s * base;
  }
  return 10 * base;
}

double NiceAtMost(double v) {  // v > 0
  const double base = std::pow(10.0, DecimalPower(v));
  double best = base;
  for (double s : CAxisSteps) {
    if (s * base <= v * (1 + 1e-12)) best = s * base;
  }
  return best;
}
}  // namespace

double RoundMaxValue(double value) {
  if (value == 0 || !std::isfinite(value)) return value;
  return value > 0 ? NiceAtLeast(value) : -NiceAtMost(-value);
}

double RoundMinValue(double value) {
  if (value == 0 || !std::isfinite(value)) return value;
  return value > 0 ? NiceAtMost(value) : -NiceAtLeast(-value);
}

double RoundUp(double value) {
  if (value <= 0 || !std::isfinite(value)) return value;
  const double base = std::pow(10.0, DecimalPower(value));
  for (double s : {1.0, 2.0, 5.0, 10.0}) {
    if (s * base >= value * (1 - 1e-12)) return s * base;
  }
  return 10 * base;
}

double Correct180(double degrees) {
  if (!std::isfinite(degrees)) return degrees;
  double a = std::fmod(degrees, 360.0);
  if (a > 180.0) a -= 360.0;
  if (a <= -180.0) a += 360.0;
  return a;
}

QString MilliSecToDura(int64_t ms) {
  const bool negative = ms < 0;
  uint64_t v = negative ? uint64_t(-(ms + 1)) + 1 : uint64_t(ms);
  const uint64_t days = v / 86400000u;
  v %= 86400000u;
  QString text = QStringLiteral("%1:%2:%3.%4")
                     .arg(v / 3600000u, 2, 10, QLatin1Char('0'))
                     .arg((v / 60000u) % 60, 2, 10, QLatin1Char('0'))
                     .arg((v / 1000u) % 60, 2, 10, QLatin1Char('0'))
                     .arg(v % 1000u, 3, 10, QLatin1Char('0'));
  if (days > 0) text = QStringLiteral("%1 d ").arg(days) + text;
  return negative ? QLatin1Char('-') + text : text;
}

QString ExtractToChar(QString& text, QChar delimiter) {
  const qsizetype at = text.indexOf(delimiter);
  if (at < 0) {
    QString all = text;
    text.clear();
    return all;
  }
  QString head = text.left(at);
  text.remove(0, at + 1);
  return head;
}

int64_t GetFileSize(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile()) return -1;
  return info.size();
}

bool ParseFloat(const QString& text, double& value) {
  QString t = text.trimmed();
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (ok) value = v;
  return ok;
}

}  // namespace vanta
