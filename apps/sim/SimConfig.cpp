#include "SimConfig.h"

#include <QFile>
#include <QSettings>
#include <QTextStream>

#include "DeviceDefaults.h"
#include "VantaFW.h"

namespace vanta::sim {

uint32_t TSimConfig::RawFirmwareWord() const {
  if (FirmwareWord >= 0) return uint32_t(FirmwareWord);
  return TVantaFW::MakeRaw(Generation, FwMajor, FwMinor, FwPatch);
}

const TSimUser* TSimConfig::FindUser(const QString& name) const {
  for (const TSimUser& u : Users)
    if (u.Name == name) return &u;
  return nullptr;
}

bool ParseFault(const QString& spec, TSimFaults& f, QString& error) {
  const QString name = spec.section(QLatin1Char('='), 0, 0).trimmed();
  const QString value = spec.section(QLatin1Char('='), 1).trimmed();
  bool ok = true;
  if (name == QLatin1String("close-after")) {
    f.CloseAfterBytes = value.toLongLong(&ok);
    ok = ok && f.CloseAfterBytes >= 0;
  } else if (name == QLatin1String("stall")) {
    f.StallCmd = value.isEmpty() ? -2 : value.toInt(&ok);
  } else if (name == QLatin1String("nak-setup")) {
    f.NakSetup = true;
  } else if (name == QLatin1String("record-length")) {
    // OBJ:N, OBJ in hex (0x...) or decimal
    const QString obj = value.section(QLatin1Char(':'), 0, 0);
    bool okObj = false;
    f.RecordLengthObj = obj.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? obj.mid(2).toUInt(&okObj, 16) : obj.toUInt(&okObj);
    f.RecordLength = value.section(QLatin1Char(':'), 1).toInt(&ok);
    ok = ok && okObj && f.RecordLength >= 0;
  } else if (name == QLatin1String("nak-scratchpad")) {
    f.NakScratchpad = true;
  } else if (name == QLatin1String("scratchpad-quota")) {
    f.ScratchpadQuota = value.toLongLong(&ok);
    ok = ok && f.ScratchpadQuota >= 0;
  } else if (name == QLatin1String("fw-keep-version")) {
    f.FwKeepVersion = true;
  } else if (name == QLatin1String("split")) {
    f.SplitWrites = true;
  } else if (name == QLatin1String("coalesce")) {
    f.Coalesce = true;
  } else if (name == QLatin1String("unknown-cmd")) {
    f.UnknownCmdAfter = value.isEmpty() ? 1 : value.toInt(&ok);
    ok = ok && f.UnknownCmdAfter >= 1;
  } else {
    error = QStringLiteral("unknown fault \"%1\" (close-after=N, stall[=CMD], nak-setup, nak-scratchpad, scratchpad-quota=BYTES, fw-keep-version, record-length=OBJ:N, split, coalesce, unknown-cmd[=N])").arg(spec);
    return false;
  }
  if (!ok) error = QStringLiteral("bad value in fault \"%1\"").arg(spec);
  return ok;
}

bool LoadStatusExtra(const QString& path, QList<QPair<QString, QString>>& extra, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  int n = 0;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    ++n;
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || line.left(eq).split(QLatin1Char('.')).contains(QString())) {
      error = QStringLiteral("%1:%2: expected dotted.key=value").arg(path).arg(n);
      return false;
    }
    extra.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
  }
  return true;
}

bool LoadUsers(const QString& path, std::vector<TSimUser>& users, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
    error = QStringLiteral("cannot read users file %1: %2").arg(path, f.errorString());
    return false;
  }
  std::vector<TSimUser> result;
  QTextStream in(&f);
  int lineNo = 0;
  while (!in.atEnd()) {
    ++lineNo;
    const QString line = in.readLine().section(QLatin1Char('#'), 0, 0).trimmed();
    if (line.isEmpty()) continue;
    const QStringList parts = line.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts[0].isEmpty()) {
      error = QStringLiteral("%1:%2: expected name:password:rights").arg(path).arg(lineNo);
      return false;
    }
    TSimUser u;
    u.Name = parts[0];
    u.Password = parts[1];
    if (parts.size() > 2) u.Rights = parts.mid(2).join(QLatin1Char(':')).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& r : u.Rights) r = r.trimmed();
    result.push_back(u);
  }
  users = std::move(result);
  return true;
}

std::vector<TSimUser> DefaultUsers() {
  const TDeviceDefaults d = TDeviceDefaults::FromEnvironment();
  std::vector<TSimUser> users;
  users.push_back({d.User.isEmpty() ? QStringLiteral("service") : d.User, d.Password, {QStringLiteral("*")}});
  users.push_back({QStringLiteral("operator"), QStringLiteral("operator"),
                   {QStringLiteral("lua.user.ticketGet"), QStringLiteral("lua.user.print"), QStringLiteral("lua.log.print")}});
  users.push_back({QStringLiteral("guest"), QStringLiteral("guest"), {}});
  return users;
}

bool LoadConfigFile(const QString& path, TSimConfig& cfg, QString& error) {
  if (!QFile::exists(path)) {
    error = QStringLiteral("config file %1 does not exist").arg(path);
    return false;
  }
  QSettings ini(path, QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) {
    error = QStringLiteral("config file %1 cannot be parsed").arg(path);
    return false;
  }
  cfg.Plant = ini.value(QStringLiteral("device/plant"), cfg.Plant).toString();
  cfg.Field = ini.value(QStringLiteral("device/field"), cfg.Field).toString();
  cfg.Device = ini.value(QStringLiteral("device/device"), cfg.Device).toString();
  cfg.ProdDate = ini.value(QStringLiteral("device/productionDate"), cfg.ProdDate).toUInt();
  cfg.FtpUser = ini.value(QStringLiteral("device/ftpUser"), cfg.FtpUser).toString();
  cfg.FtpPassword = ini.value(QStringLiteral("device/ftpPassword"), cfg.FtpPassword).toString();
  cfg.CalState = ini.value(QStringLiteral("device/calState"), cfg.CalState).toString();
  // Time zone as signed minutes east of UTC, e.g. 60 for CET.
  const int tzMinutes = ini.value(QStringLiteral("time/offsetMinutes"), 60).toInt();
  const int absMin = qAbs(tzMinutes);
  cfg.TimeSet.tz = uint16_t(((absMin / 60) << 1) | (tzMinutes < 0 ? 1 : 0));
  cfg.TimeSet.tzMin = uint16_t(absMin % 60);
  cfg.TimeSet.Stdtz = cfg.TimeSet.tz;
  cfg.TimeSet.StdtzMin = cfg.TimeSet.tzMin;
  cfg.TimeSet.dstmode = ini.value(QStringLiteral("time/dst"), 1).toUInt();
  cfg.TimeSet.Std = ini.value(QStringLiteral("time/standard"), 1).toUInt();
  for (int i = 0; i < 4; ++i) {
    cfg.TimeSet.ntpip[size_t(i)] = ini.value(QStringLiteral("ntp/server%1").arg(i)).toString().toLatin1();
    cfg.TimeSet.ntpport[size_t(i)] = uint16_t(ini.value(QStringLiteral("ntp/port%1").arg(i), 123).toUInt());
  }
  cfg.TimeSet.ntpcycle = ini.value(QStringLiteral("ntp/cycle"), 64).toUInt();
  return true;
}

}  // namespace vanta::sim
