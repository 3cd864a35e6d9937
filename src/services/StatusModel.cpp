#include "StatusModel.h"

#include <QDateTime>
#include <QJsonArray>
#include <QStringDecoder>
#include <cmath>

#include "Formatting.h"

namespace vanta {

// The old file goes first, so a run that fails leaves nothing to be read as
// current; a key of 35 characters or more still gets its blank.
const char* const CStatusScript = R"lua(-- Device status into stat.txt: one "key value" line per entry, CR LF,
-- the key padded to 35 characters, nested tables as dotted keys.
local outDir = ...
outDir = outDir or "/mnt/flashdrive0/data/ccci/scratchpad"
local path = outDir .. "/stat.txt"
os.remove(path)
if not (uti and uti.stat) then
  print("uti.stat is not available on this firmware")
  return
end
uti.mute()
local ok, err = pcall(function()
  local f = assert(io.open(path, "wb"))
  local function put(prefix, t)
    for k, v in pairs(t) do
      if k ~= "__name" then
        local key = prefix .. tostring(k)
        if type(v) == "table" then
          put(key .. ".", v)
        else
          f:write(string.format("%-34s %s\r\n", key, tostring(v)))
        end
      end
    end
  end
  put("", uti.stat())
  f:close()
end)
uti.unmute()
if not ok then error(err) end
)lua";

QString TValList::Value(const QString& name) const {
  for (const TNameValue& i : Items)
    if (i.first == name) return i.second;
  return {};
}

bool TValList::Has(const QString& name) const {
  for (const TNameValue& i : Items)
    if (i.first == name) return true;
  return false;
}

TValList ParseStatText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) text = QString::fromLatin1(bytes);
  TValList list;
  for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.trimmed().isEmpty()) continue;
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0)
      list.Items.append({line.toString(), QString()});
    else
      list.Items.append({line.left(blank).toString(), line.mid(blank + 1).trimmed().toString()});
  }
  return list;
}

namespace {

// The name without its first `parts` dotted parts.
QString DropParts(const QString& name, int parts) { return name.section(QLatin1Char('.'), parts); }

qint64 MiB(const QString& bytes) { return qRound64(bytes.toDouble() / 1048576.0); }

TDriveInfo Drive(const TValList& v, const QString& name) {
  TDriveInfo d;
  const QString p = name + QLatin1Char('.');
  d.Present = v.Has(p + QStringLiteral("total"));
  d.UsedMiB = MiB(v.Value(p + QStringLiteral("used")));
  d.FreeMiB = MiB(v.Value(p + QStringLiteral("free")));
  d.BadMiB = MiB(v.Value(p + QStringLiteral("bad")));
  d.TotalMiB = MiB(v.Value(p + QStringLiteral("total")));
  // A missing or unreadable free or total counts as 1: no division by zero.
  bool ok = false;
  double free = v.Value(p + QStringLiteral("free")).toDouble(&ok);
  if (!ok) free = 1;
  double total = v.Value(p + QStringLiteral("total")).toDouble(&ok);
  if (!ok || total == 0) total = 1;
  d.Percent = int(std::lround(free * 100.0 / total));
  return d;
}

QString Line(const QString& name, const QString& value) { return name + QLatin1Char('=') + value; }

}  // namespace

TStatusRecord RouteStatus(const TValList& v, const time_tz_t& tz) {
  TStatusRecord r;
  if (v.Has(QStringLiteral("time.utc.soc")) && v.Has(QStringLiteral("time.utc.fracsec.dst"))) {
    tmStamp_t ts;
    ts.Sec = uint32_t(v.Value(QStringLiteral("time.utc.soc")).toULongLong());
    ts.Frac = v.Value(QStringLiteral("time.utc.fracsec.dst")).toInt() == 1 ? CTSDstMask : 0;
    const tmStamp_t local = TPQTimeProgs::TSNormalizeLocal(ts, tz);
    r.DeviceStamp = local;
    r.DeviceTime = TPQTimeProgs::VantaTS_to_StrSec(TPQTimeProgs::TStoLinear(local));
  }
  r.Plant = v.Value(QStringLiteral("plant"));
  r.Field = v.Value(QStringLiteral("fieldName"));
  r.Device = v.Value(QStringLiteral("deviceName"));
  if (v.Has(QStringLiteral("version.major")) || v.Has(QStringLiteral("version.minor")) || v.Has(QStringLiteral("version.patch")))
    r.Firmware = QStringLiteral("%1.%2.%3").arg(v.Value(QStringLiteral("version.major")), v.Value(QStringLiteral("version.minor")),
                                                 v.Value(QStringLiteral("version.patch")));
  r.Release = v.Value(QStringLiteral("revision"));
  r.Article = v.Value(QStringLiteral("article"));
  r.Serial = v.Value(QStringLiteral("serial"));
  bool ok = false;
  r.UpTimeSec = v.Value(QStringLiteral("upTime")).toULongLong(&ok);
  if (!ok) r.UpTimeSec = 0;
  r.UpTimeText = MilliSecToDura(int64_t(std::min<quint64>(r.UpTimeSec, quint64(INT64_MAX / 1000)) * 1000));
  r.Flash = Drive(v, QStringLiteral("flashdrive0"));
  r.FlashPercentText = QStringLiteral("%1%").arg(r.Flash.Percent);
  r.Ram = Drive(v, QStringLiteral("ramdrive0"));
  r.Sd = Drive(v, QStringLiteral("sd0"));
  // The card shows only with all four sizes, and not when the device says "N/A".
  r.Sd.Present = v.Value(QStringLiteral("sd0")) != QLatin1String("N/A") && v.Has(QStringLiteral("sd0.total")) &&
                 v.Has(QStringLiteral("sd0.used")) && v.Has(QStringLiteral("sd0.free")) && v.Has(QStringLiteral("sd0.bad"));

  for (const TNameValue& item : v.Items) {
    const QString& n = item.first;
    const QString& val = item.second;
    if (n.contains(QLatin1String("ccciWorker"))) {
      r.CcciWorkers << Line(n, val);
    } else if (n.contains(QLatin1String("recording."))) {
      r.Recordings << Line(DropParts(n, 1), val);
    } else if (n.contains(QLatin1String("sysLoad."))) {
      TSysloadRec s;
      s.Syspart = QString(n).remove(QStringLiteral("sysLoad."));
      double load = 0;
      s.Load = ParseFloat(val, load) ? float(load) : 0.0f;
      r.SysLoad << s;
    } else if (n.contains(QLatin1String("modbus."))) {
      r.Modbus << Line(DropParts(n, 1), val);
    } else if (n.compare(QLatin1String("iec104.Client1"), Qt::CaseInsensitive) == 0) {
      r.Iec104 << Line(n, val);
    } else if (n.compare(QLatin1String("iec850.Client1"), Qt::CaseInsensitive) == 0) {
      r.Iec850 << Line(n, val);
    } else if (n.contains(QLatin1String("ip."))) {
      r.Addresses << Line(DropParts(n, 1), val);
    } else {
      bool routed = false;
      for (int k = 0; k < 4 && !routed; ++k) {
        if (n.contains(QStringLiteral("NTP.%1").arg(k + 1))) {
          r.Ntp[k].append({DropParts(n, 2), val});
          routed = true;
        }
      }
      if (!routed && n.contains(QLatin1String("time."))) r.Time.append({DropParts(n, 1), val});
    }
  }
  // Entry names as scripts read them (German); the views show them through TTr::tr.
  r.Time.append({QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Zeitzone")), QString::number(double(tz.OffsetSec) / 3600.0)});
  r.Time.append({QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Sommerzeit")), tz.DstMode ? QStringLiteral("True") : QStringLiteral("False")});
  r.DcfQuality = CheckDCF(r.Time);
  return r;
}

QString CheckDCF(const QList<TNameValue>& time) {
  QString src, signal, quality;
  for (const TNameValue& t : time) {
    if (t.first == QLatin1String("syncSrc")) src = t.second;
    if (t.first == QLatin1String("signal")) signal = t.second;
    if (t.first == QLatin1String("quality")) quality = t.second;
  }
  if (src.compare(QLatin1String("DCF77"), Qt::CaseInsensitive) != 0) return {};
  bool ok = false;
  if (signal.toLongLong(&ok) == 0 || !ok) return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Kein Signal"));
  const qint64 q = quality.toLongLong(&ok);
  if (!ok || q <= 0) return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Ungültig"));
  if (q <= 4000000) return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Sehr gut"));
  if (q <= 7000000) return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Gut"));
  if (q <= 15000000) return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Mittel"));
  if (q <= 25000000) return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Schlecht"));
  return QStringLiteral(QT_TRANSLATE_NOOP("TTr", "Sehr schlecht"));
}

QString NtpLineText(const TNameValue& line) {
  if (line.first == QLatin1String("lastsync") || line.first == QLatin1String("utc.soc")) {
    bool ok = false;
    const qint64 sec = line.second.toLongLong(&ok);
    if (ok)
      return QStringLiteral("%1=%2").arg(line.first,
                                         QDateTime::fromSecsSinceEpoch(sec).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
  }
  return QStringLiteral("%1=%2").arg(line.first, line.second);
}

namespace {
QJsonObject DriveJson(const TDriveInfo& d) {
  return {{QStringLiteral("used"), d.UsedMiB},
          {QStringLiteral("free"), d.FreeMiB},
          {QStringLiteral("bad"), d.BadMiB},
          {QStringLiteral("total"), d.TotalMiB},
          {QStringLiteral("percent"), QStringLiteral("%1%").arg(d.Percent)}};
}
QJsonArray Lines(const QStringList& l) { return QJsonArray::fromStringList(l); }
QJsonObject Pairs(const QList<TNameValue>& l) {
  QJsonObject o;
  for (const TNameValue& p : l) o.insert(p.first, p.second);
  return o;
}
}  // namespace

QJsonObject StatusToJson(const TStatusRecord& r) {
  QJsonObject drives{{QStringLiteral("flash"), DriveJson(r.Flash)}, {QStringLiteral("ram"), DriveJson(r.Ram)}};
  if (r.Sd.Present) drives.insert(QStringLiteral("sd"), DriveJson(r.Sd));
  QJsonArray load;
  for (const TSysloadRec& s : r.SysLoad) load.append(QJsonObject{{QStringLiteral("part"), s.Syspart}, {QStringLiteral("load"), s.Load}});
  QJsonObject ntp;
  for (int k = 0; k < 4; ++k) {
    QJsonArray lines;
    for (const TNameValue& l : r.Ntp[k]) lines.append(NtpLineText(l));
    ntp.insert(QStringLiteral("NTP %1").arg(k + 1), lines);
  }
  QJsonObject time = Pairs(r.Time);
  if (!r.DcfQuality.isEmpty()) time.insert(QStringLiteral("quality"), r.DcfQuality);
  return {{QStringLiteral("deviceTime"), r.DeviceTime},
          {QStringLiteral("plant"), r.Plant},
          {QStringLiteral("field"), r.Field},
          {QStringLiteral("device"), r.Device},
          {QStringLiteral("firmware"), r.Firmware},
          {QStringLiteral("release"), r.Release},
          {QStringLiteral("article"), r.Article},
          {QStringLiteral("serial"), r.Serial},
          {QStringLiteral("upTime"), QString::number(r.UpTimeSec)},
          {QStringLiteral("upTimeText"), r.UpTimeText},
          {QStringLiteral("drives"), drives},
          {QStringLiteral("ccciWorkers"), Lines(r.CcciWorkers)},
          {QStringLiteral("addresses"), Lines(r.Addresses)},
          {QStringLiteral("sysLoad"), load},
          {QStringLiteral("recordings"), Lines(r.Recordings)},
          {QStringLiteral("modbus"), Lines(r.Modbus)},
          {QStringLiteral("iec104"), Lines(r.Iec104)},
          {QStringLiteral("iec850"), Lines(r.Iec850)},
          {QStringLiteral("ntp"), ntp},
          {QStringLiteral("time"), time}};
}

// ---- packet captures ----------------------------------------------------------------------

QString PcapFilter(const QString& direction, const QString& address) {
  return direction.isEmpty() ? address : direction + QLatin1Char('@') + address;
}

QString GenText(TPcapSettings& s, const QDateTime& now) {
  if (s.FileName.trimmed().isEmpty()) s.FileName = QStringLiteral("%1.pcap").arg(now.toString(QStringLiteral("yyMMdd_HHmmss")));
  QString limit;
  if (s.ByPackets) {
    limit = QString::number(s.Packets);
  } else {
    QString t;
    if (s.Hours > 0) t += QStringLiteral("%1h").arg(s.Hours);
    if (s.Minutes > 0) t += QStringLiteral("%1m").arg(s.Minutes);
    if (s.Seconds > 0) t += QStringLiteral("%1s").arg(s.Seconds);
    limit = QLatin1Char('"') + t + QLatin1Char('"');
  }
  QString cmd = QStringLiteral("ips.pcapStart(\"%1\", \"%2%3\", %4").arg(s.Interface, QLatin1String(CDeviceDataDir), s.FileName, limit);
  for (const QString& f : s.Filters) cmd += QStringLiteral(", \"%1\"").arg(f);
  return cmd.trimmed() + QLatin1Char(')');
}

QList<TPcapEntry> ParsePcapListing(const QString& text) {
  QList<TPcapEntry> out;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    if (!line.contains(QLatin1String("file"))) continue;
    const QStringList f = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (f.size() < 5) continue;
    out.append({f[4], QStringLiteral("%1%2 - %3 %4").arg(f[0], f[1], f[2], f[3])});
  }
  return out;
}

QString TestCertName(uint32_t serial, const QString& article) {
  return QStringLiteral("%1-%2.%3.pdf").arg(serial).arg(article.left(3), article.mid(3));
}

}  // namespace vanta
