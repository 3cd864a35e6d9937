#include "DeviceStore.h"
#include "Language.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

#include "OfflineStore.h"
#include "SecretStore.h"

namespace vanta::host {

TDeviceStore::TDeviceStore(QString file) : FFile(std::move(file)) {
  // The store the command line downloads into by default, too.
  const QString base = DefaultWorkspaceFolder();
  Settings.DataFolder = DefaultDataFolder();
  Settings.IniFolder = base + QStringLiteral("ini/");
  Settings.TemplateFolder = base + QStringLiteral("templates/");
  Settings.TmpFolder = QDir::tempPath() + QStringLiteral("/vanta-host/");
  Settings.UserName = qEnvironmentVariable("USER", QStringLiteral("vanta"));
}

QString TDeviceStore::DefaultFile() {
  const QString env = qEnvironmentVariable("VANTA_HOST_CONFIG");
  if (!env.isEmpty()) return env;
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/devices.ini");
}

bool TDeviceStore::Load() {
  if (!QFileInfo::exists(FFile)) return false;
  QSettings ini(FFile, QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) return false;
  ini.beginGroup(QStringLiteral("settings"));
  Settings.DataFolder = ini.value(QStringLiteral("dataFolder"), Settings.DataFolder).toString();
  Settings.IniFolder = ini.value(QStringLiteral("iniFolder"), Settings.IniFolder).toString();
  Settings.TemplateFolder = ini.value(QStringLiteral("templateFolder"), Settings.TemplateFolder).toString();
  Settings.TmpFolder = ini.value(QStringLiteral("tmpFolder"), Settings.TmpFolder).toString();
  Settings.TraceFolder = ini.value(QStringLiteral("traceFolder")).toString();
  Settings.UserName = ini.value(QStringLiteral("userName"), Settings.UserName).toString();
  Settings.Visibility = ini.value(QStringLiteral("visibility"), Settings.Visibility).toInt();
  // A wait of less than a minute would give up on a device that is working.
  auto minutes = [&ini](const char* key, int def) { return qBound(1, ini.value(QLatin1String(key), def).toInt(), 24 * 60); };
  Settings.UpdateWaitMin = minutes("updateWaitMin", Settings.UpdateWaitMin);
  Settings.CalibStepWaitMin = minutes("calibStepWaitMin", Settings.CalibStepWaitMin);
  Settings.ComebackWaitMin = minutes("comebackWaitMin", Settings.ComebackWaitMin);
  Settings.MappingDbVersion = ini.value(QStringLiteral("mappingDbVersion"), 0).toUInt();
  Settings.Language = ini.value(QStringLiteral("language")).toString();
  const QStringList p = ini.value(QStringLiteral("paraLayout")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (p.size() == 8) {
    int32_t* f[] = {&Settings.Para.LytWth, &Settings.Para.ParaInfo, &Settings.Para.ParaVal, &Settings.Para.ParaDef,
                    &Settings.Para.ParaMin, &Settings.Para.ParaMax, &Settings.Para.SelInfo, &Settings.Para.SelCheck};
    for (int i = 0; i < 8; ++i) *f[i] = p[i].toInt();
  }
  const QStringList o = ini.value(QStringLiteral("onOfflineLayout")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (o.size() == 7) {
    int32_t* f[] = {&Settings.OnOffline.LytWth, &Settings.OnOffline.Ereignis, &Settings.OnOffline.Zeit, &Settings.OnOffline.Max,
                    &Settings.OnOffline.Einheit, &Settings.OnOffline.Harm, &Settings.OnOffline.Dauer};
    for (int i = 0; i < 7; ++i) *f[i] = o[i].toInt();
  }
  ini.endGroup();
  Devices.clear();
  const int n = ini.beginReadArray(QStringLiteral("devices"));
  for (int i = 0; i < n; ++i) {
    ini.setArrayIndex(i);
    THostDevice d;
    d.DevType = TDevType(qBound(0, ini.value(QStringLiteral("type")).toInt(), 4));
    d.IP = ini.value(QStringLiteral("ip")).toString();
    d.IPver = ini.value(QStringLiteral("ipv6")).toBool() ? TIpVer::ipverV6 : TIpVer::ipverV4;
    d.ConType = ini.value(QStringLiteral("ssh")).toBool() ? TConType::ctSSH : TConType::ctCCCI;
    d.Port = ini.value(QStringLiteral("port"), QStringLiteral("5040")).toString();
    d.ParaPort = ini.value(QStringLiteral("paraPort")).toString();
    d.useHTTPS = ini.value(QStringLiteral("https")).toBool();
    d.IsSerial = ini.value(QStringLiteral("serial")).toBool();
    d.Anlage = ini.value(QStringLiteral("anlage")).toString();
    d.Feld = ini.value(QStringLiteral("feld")).toString();
    d.Geraet = ini.value(QStringLiteral("geraet")).toString();
    d.SN = ini.value(QStringLiteral("sn")).toUInt();
    d.UseFTP = ini.value(QStringLiteral("ftp"), d.UseFTP).toBool();
    d.CheckXMLVersions = ini.value(QStringLiteral("checkXmlVersions"), d.CheckXMLVersions).toBool();
    d.SerialLogin = ini.value(QStringLiteral("serialLogin"), d.SerialLogin).toBool();
    d.SshUser = ini.value(QStringLiteral("sshUser")).toString();
    // Written by older versions; kept aside for MovePasswordsTo, never used to log in.
    d.OldPassword = ini.value(QStringLiteral("sshPassword")).toString();
    Devices.push_back(d);
  }
  ini.endArray();
  return true;
}

bool TDeviceStore::Save() const {
  QDir().mkpath(QFileInfo(FFile).absolutePath());
  QSettings ini(FFile, QSettings::IniFormat);
  ini.clear();
  ini.beginGroup(QStringLiteral("settings"));
  ini.setValue(QStringLiteral("dataFolder"), Settings.DataFolder);
  ini.setValue(QStringLiteral("iniFolder"), Settings.IniFolder);
  ini.setValue(QStringLiteral("templateFolder"), Settings.TemplateFolder);
  ini.setValue(QStringLiteral("tmpFolder"), Settings.TmpFolder);
  ini.setValue(QStringLiteral("traceFolder"), Settings.TraceFolder);
  ini.setValue(QStringLiteral("userName"), Settings.UserName);
  ini.setValue(QStringLiteral("visibility"), Settings.Visibility);
  ini.setValue(QStringLiteral("updateWaitMin"), Settings.UpdateWaitMin);
  ini.setValue(QStringLiteral("calibStepWaitMin"), Settings.CalibStepWaitMin);
  ini.setValue(QStringLiteral("comebackWaitMin"), Settings.ComebackWaitMin);
  ini.setValue(QStringLiteral("mappingDbVersion"), Settings.MappingDbVersion);
  if (!Settings.Language.isEmpty()) ini.setValue(QStringLiteral("language"), Settings.Language);
  const TFrmParaSettings& p = Settings.Para;
  ini.setValue(QStringLiteral("paraLayout"), QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8")
                                                 .arg(p.LytWth).arg(p.ParaInfo).arg(p.ParaVal).arg(p.ParaDef)
                                                 .arg(p.ParaMin).arg(p.ParaMax).arg(p.SelInfo).arg(p.SelCheck));
  const TFrmOnOfflineSettings& o = Settings.OnOffline;
  ini.setValue(QStringLiteral("onOfflineLayout"), QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                                                      .arg(o.LytWth).arg(o.Ereignis).arg(o.Zeit).arg(o.Max)
                                                      .arg(o.Einheit).arg(o.Harm).arg(o.Dauer));
  ini.endGroup();
  ini.beginWriteArray(QStringLiteral("devices"), int(Devices.size()));
  for (int i = 0; i < int(Devices.size()); ++i) {
    const THostDevice& d = Devices[size_t(i)];
    ini.setArrayIndex(i);
    ini.setValue(QStringLiteral("type"), int(d.DevType));
    ini.setValue(QStringLiteral("ip"), d.IP);
    ini.setValue(QStringLiteral("ipv6"), d.IPver == TIpVer::ipverV6);
    ini.setValue(QStringLiteral("ssh"), d.ConType == TConType::ctSSH);
    ini.setValue(QStringLiteral("port"), d.Port);
    ini.setValue(QStringLiteral("paraPort"), d.ParaPort);
    ini.setValue(QStringLiteral("https"), d.useHTTPS);
    ini.setValue(QStringLiteral("serial"), d.IsSerial);
    ini.setValue(QStringLiteral("anlage"), d.Anlage);
    ini.setValue(QStringLiteral("feld"), d.Feld);
    ini.setValue(QStringLiteral("geraet"), d.Geraet);
    ini.setValue(QStringLiteral("sn"), d.SN);
    ini.setValue(QStringLiteral("ftp"), d.UseFTP);
    ini.setValue(QStringLiteral("checkXmlVersions"), d.CheckXMLVersions);
    ini.setValue(QStringLiteral("serialLogin"), d.SerialLogin);
    ini.setValue(QStringLiteral("sshUser"), d.SshUser);
    // Passwords belong in the secret store. An old clear-text one stays where
    // it was until it could be moved there: dropping it here would lose it
    // whenever the host saves before a secret store is available.
    if (!d.OldPassword.isEmpty()) ini.setValue(QStringLiteral("sshPassword"), d.OldPassword);
  }
  ini.endArray();
  ini.sync();
  if (ini.status() != QSettings::NoError) return false;
  // Readable by its owner only: it names the devices and their users, and an
  // old file may still hold passwords waiting to be moved.
  return QFile::setPermissions(FFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString PasswordKey(const THostDevice& d, const QString& user) {
  if (d.IsSerial) return QStringLiteral("serial:%1@%2").arg(user, d.Port);
  return QStringLiteral("ssh:%1@%2:%3").arg(user, d.IP, d.Port);
}

int TDeviceStore::OldPasswordCount() const {
  return int(
      std::count_if(Devices.begin(), Devices.end(), [](const THostDevice& d) { return !d.OldPassword.isEmpty(); }));
}

TPasswordMove TDeviceStore::MovePasswordsTo(const TSecretStore& secrets) {
  // Data first: a password leaves the file only once the secret store has
  // given it back unchanged. Without a secret store the file is not touched
  // at all; the passwords wait there (owner-readable only, as they always
  // were) for a start with one, and meanwhile the host asks at connect time
  // rather than using them behind the user's back.
  TPasswordMove m;
  const int old = OldPasswordCount();
  if (old == 0) return m;
  if (const TSecretResult a = secrets.Available(); !a.Ok()) {
    m.Kept = old;
    m.Message = TTr::tr(
                    "%1 alte(s) Passwort/Passwörter bleiben in %2, bis ein Schlüsselbund verfügbar ist (%3); "
                    "bis dahin wird beim Verbinden gefragt")
                    .arg(old)
                    .arg(FFile, SecretResultText(a));
    return m;
  }
  // Two entries of the same login with different passwords would overwrite
  // each other under one key: those stay in the file for the user to sort out.
  QHash<QString, QString> byKey;
  QSet<QString> clash;
  for (const THostDevice& d : Devices) {
    if (d.OldPassword.isEmpty()) continue;
    const QString key = PasswordKey(d);
    if (byKey.contains(key) && byKey.value(key) != d.OldPassword) clash.insert(key);
    byKey.insert(key, d.OldPassword);
  }
  QSet<QString> moved;
  QStringList problems;
  for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
    if (clash.contains(it.key())) {
      problems << TTr::tr("%1: verschiedene Passwörter für dieselbe Anmeldung").arg(it.key());
      continue;
    }
    QString back;
    TSecretResult r = secrets.Write(it.key(), it.value());
    if (r.Ok()) r = secrets.Read(it.key(), back);
    if (r.Ok() && back != it.value()) r = {TSecretStatus::ssError, TTr::tr("gelesen nicht wie geschrieben")};
    if (r.Ok())
      moved.insert(it.key());
    else
      problems << QStringLiteral("%1: %2").arg(it.key(), SecretResultText(r));
  }
  for (THostDevice& d : Devices) {
    if (d.OldPassword.isEmpty() || !moved.contains(PasswordKey(d))) continue;
    d.OldPassword.clear();
    ++m.Moved;
  }
  m.Kept = old - m.Moved;
  QString saved;
  if (m.Moved > 0 && !Save())
    saved = TTr::tr("; %1 konnte nicht neu geschrieben werden, sie stehen dort noch").arg(FFile);
  m.Message =
      TTr::tr("%1 Passwort/Passwörter aus %2 in den Schlüsselbund verschoben%3").arg(m.Moved).arg(FFile, saved);
  if (!problems.isEmpty())
    m.Message += TTr::tr("; %1 bleiben in der Datei: %2").arg(m.Kept).arg(problems.join(QStringLiteral(", ")));
  return m;
}

int TDeviceStore::Find(const QString& ip, const QString& port) const {
  for (int i = 0; i < int(Devices.size()); ++i)
    if (!Devices[size_t(i)].IsSerial && Devices[size_t(i)].IP == ip && Devices[size_t(i)].Port == port) return i;
  return -1;
}

int TDeviceStore::FindSerial(const QString& port) const {
  for (int i = 0; i < int(Devices.size()); ++i)
    if (Devices[size_t(i)].IsSerial && Devices[size_t(i)].Port == port) return i;
  return -1;
}

bool TDeviceStore::UpdateIdentity(const QString& ip, const QString& port, uint32_t sn, TDevType type, const QString& anlage,
                                  const QString& feld, const QString& geraet, bool serial) {
  bool changed = false;
  for (TDeviceRec& d : Devices) {
    // A serial line has no address: its port names it.
    if (d.IsSerial != serial || d.Port != port || (!serial && d.IP != ip)) continue;
    const TDeviceRec before = d;
    d.SN = sn;
    d.DevType = type;
    if (!anlage.isEmpty()) d.Anlage = anlage;
    if (!feld.isEmpty()) d.Feld = feld;
    if (!geraet.isEmpty()) d.Geraet = geraet;
    changed = changed || !(before == d);
  }
  return changed;
}

}  // namespace vanta::host
