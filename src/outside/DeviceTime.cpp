#include "DeviceTime.h"
#include "Language.h"
#include "SaveWhole.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <cstdlib>

namespace vanta {

TDeviceTime TDeviceTime::FromSettings(const time_set_t& set) {
  TDeviceTime t;
  t.FHasSettings = true;
  t.FSet = set;
  t.FZone = TimeTzFromSet(set);
  return t;
}

TDeviceTime TDeviceTime::FromHeader(const TSysEnvHeader& env) {
  TDeviceTime t;
  t.FZone = {env.TzOffsetSec, env.Dst};
  return t;
}

tmStamp_t TDeviceTime::ToLocal(tmStamp_t utc) const {
  return FHasSettings ? CorrectUTCtoLocal(utc, FSet) : TPQTimeProgs::TSNormalizeLocal(utc, FZone);
}

QString TDeviceTime::MilliText(tmStamp_t utc) const { return TPQTimeProgs::VantaTS_to_StrMilSec(Linear(utc)); }

QString TDeviceTime::SecText(tmStamp_t utc) const { return TPQTimeProgs::VantaTS_to_StrSec(Linear(utc)); }

QString TDeviceTime::ZoneText() const { return FHasSettings ? QString() : UtcOffsetText(FZone.OffsetSec); }

QString UtcOffsetText(int32_t offsetSec) {
  const int32_t off = std::abs(offsetSec);
  return QStringLiteral("UTC%1%2:%3")
      .arg(offsetSec < 0 ? QLatin1Char('-') : QLatin1Char('+'))
      .arg(off / 3600, 2, 10, QLatin1Char('0'))
      .arg((off % 3600) / 60, 2, 10, QLatin1Char('0'));
}

namespace {

QString Rule(const std::array<uint8_t, 4>& r) {
  return QStringLiteral("%1,%2,%3,%4").arg(r[0]).arg(r[1]).arg(r[2]).arg(r[3]);
}

bool ParseRule(const QString& text, std::array<uint8_t, 4>& r) {
  const QStringList f = text.split(QLatin1Char(','));
  if (f.size() != 4) return false;
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    const uint v = f[i].trimmed().toUInt(&ok);
    if (!ok || v > 255) return false;
    r[size_t(i)] = uint8_t(v);
  }
  return true;
}

bool ParseNumber(const QString& text, uint64_t max, uint64_t& v) {
  bool ok = false;
  v = text.trimmed().toULongLong(&ok);
  return ok && v <= max;
}

QString FilePath(const QString& stationDir) { return QDir(stationDir).filePath(QString::fromLatin1(CDeviceTimeFile)); }

}  // namespace

bool SaveDeviceTime(const QString& stationDir, uint32_t serial, const time_set_t& set, QString& error) {
  QByteArray text;
  // The file is read by programs in either language; its comment stays as written.
  text += QStringLiteral("; Zeiteinstellungen des Geräts aus seiner Identität: Zone und Sommerzeitregel,\n"  // untranslated
                         "; nach denen seine Dateien auch ohne Verbindung in seiner Ortszeit gezeigt werden.\n")  // untranslated
              .toUtf8();
  text += "; " + TimeSetToText(set).toUtf8() + "\n";
  text += "[device-time]\n";
  text += "serial=" + QByteArray::number(serial) + "\n";
  text += "tz=" + QByteArray::number(set.tz) + "\n";
  text += "tzMin=" + QByteArray::number(set.tzMin) + "\n";
  text += "stdtz=" + QByteArray::number(set.Stdtz) + "\n";
  text += "stdtzMin=" + QByteArray::number(set.StdtzMin) + "\n";
  text += "std=" + QByteArray::number(set.Std) + "\n";
  text += "dstmode=" + QByteArray::number(set.dstmode) + "\n";
  text += "dstStart=" + Rule(set.ws).toLatin1() + "\n";
  text += "dstEnd=" + Rule(set.sw).toLatin1() + "\n";
  const QString path = FilePath(stationDir);
  return SaveWhole(path, text, error);
}

bool LoadDeviceTime(const QString& stationDir, uint32_t& serial, time_set_t& set, QString& error) {
  const QString path = FilePath(stationDir);
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  // A few short lines; anything much larger is not this file.
  const QByteArray bytes = f.read(64 * 1024);
  QHash<QString, QString> values;
  for (const QByteArray& raw : bytes.split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('[')))
      continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) {
      error = QStringLiteral("%1: unlesbare Zeile \"%2\"").arg(path, line.left(60));
      return false;
    }
    values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
  }
  auto bad = [&](const char* key) {
    error = TTr::tr("%1: \"%2\" fehlt oder ist ungültig").arg(path, QLatin1String(key));
    return false;
  };
  time_set_t t;
  uint64_t v = 0;
  if (!ParseNumber(values.value(QStringLiteral("serial")), 0xFFFFFFFFu, v) || v == 0) return bad("serial");
  const uint32_t sn = uint32_t(v);
  if (!ParseNumber(values.value(QStringLiteral("tz")), 0xFFFF, v)) return bad("tz");
  t.tz = uint16_t(v);
  if (!ParseNumber(values.value(QStringLiteral("tzMin")), 59, v)) return bad("tzMin");
  t.tzMin = uint16_t(v);
  if (!ParseNumber(values.value(QStringLiteral("dstmode")), 0xFFFFFFFFu, v)) return bad("dstmode");
  t.dstmode = uint32_t(v);
  if (!ParseRule(values.value(QStringLiteral("dstStart")), t.ws)) return bad("dstStart");
  if (!ParseRule(values.value(QStringLiteral("dstEnd")), t.sw)) return bad("dstEnd");
  // Kept for completeness; the conversion does not need them.
  if (ParseNumber(values.value(QStringLiteral("stdtz")), 0xFFFF, v)) t.Stdtz = uint16_t(v);
  if (ParseNumber(values.value(QStringLiteral("stdtzMin")), 59, v)) t.StdtzMin = uint16_t(v);
  if (ParseNumber(values.value(QStringLiteral("std")), 0xFFFFFFFFu, v)) t.Std = uint32_t(v);
  serial = sn;
  set = t;
  return true;
}

TStationTime TStationTime::Load(const QString& stationDir) {
  TStationTime s;
  if (!QFileInfo::exists(FilePath(stationDir))) return s;  // nothing kept: no problem either
  s.Loaded = LoadDeviceTime(stationDir, s.Serial, s.Set, s.Problem);
  return s;
}

TDeviceTime TStationTime::For(const TSysEnvHeader& env) const {
  return Loaded && env.Serial == Serial ? TDeviceTime::FromSettings(Set) : TDeviceTime::FromHeader(env);
}

TDeviceTime DeviceTimeForFile(const QString& recordPath, const TSysEnvHeader& env, QString* problem) {
  const QDir folder = QFileInfo(recordPath).absoluteDir();
  const QString name = folder.dirName();
  if (name != QLatin1String("Event") && name != QLatin1String("Recorder")) return TDeviceTime::FromHeader(env);
  const TStationTime station = TStationTime::Load(QFileInfo(folder.absolutePath()).absolutePath());
  if (problem) *problem = station.Problem;
  return station.For(env);
}

}  // namespace vanta
