// Device status, device logs, packet captures and the test certificate: the
// status window's device side, headless.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "Language.h"
#include "CliSession.h"
#include "JsonOut.h"
#include "StatusFlow.h"

namespace vanta::cli {

namespace {

int Lost(TCliSession& s, int since, const QString& what) {
  if (s.RefusalCount() > since || s.ConnectionLost()) return s.Fail(since, what);
  s.Out().Error(TTr::tr("%1: keine Antwort vom Gerät").arg(what));
  return ecNoConnection;
}

QJsonObject DriveJson(const TDriveInfo& d) {
  return {{QStringLiteral("usedMiB"), d.UsedMiB},     {QStringLiteral("freeMiB"), d.FreeMiB},
          {QStringLiteral("badMiB"), d.BadMiB},       {QStringLiteral("totalMiB"), d.TotalMiB},
          {QStringLiteral("freePercent"), d.Percent}};
}

// Unix seconds of the device as its time in the device's zone; other values typed.
QJsonValue NtpValue(const TNameValue& line, const time_tz_t& zone) {
  if (line.first == QLatin1String("lastsync") || line.first == QLatin1String("utc.soc")) {
    bool ok = false;
    const qint64 sec = line.second.toLongLong(&ok);
    if (ok && sec >= 0 && sec <= 0xFFFFFFFFLL) return IsoFlaggedTime({uint32_t(sec), 0}, zone, false);
  }
  return TypedValue(line.second);
}

// The status for a script: numbers as numbers, the device's time with its
// offset, every "name=value" line as a pair whose name is the device's own.
QJsonObject StatusDocument(const TStatusRecord& r, const time_tz_t& zone) {
  QJsonObject drives{{QStringLiteral("flash"), DriveJson(r.Flash)}, {QStringLiteral("ram"), DriveJson(r.Ram)}};
  if (r.Sd.Present) drives.insert(QStringLiteral("sd"), DriveJson(r.Sd));
  QJsonArray load;
  for (const TSysloadRec& l : r.SysLoad)
    load.append(QJsonObject{{QStringLiteral("part"), l.Syspart}, {QStringLiteral("load"), double(l.Load)}});
  QJsonArray ntp;
  for (int k = 0; k < 4; ++k) {
    QJsonArray entries;
    for (const TNameValue& l : r.Ntp[k])
      entries.append(QJsonObject{{QStringLiteral("name"), l.first}, {QStringLiteral("value"), NtpValue(l, zone)}});
    ntp.append(QJsonObject{{QStringLiteral("server"), k + 1}, {QStringLiteral("entries"), entries}});
  }
  QJsonArray time;
  for (const TNameValue& t : r.Time) {
    // The two the client adds are fields of their own below.
    if (t.first == QLatin1String("Zeitzone") || t.first == QLatin1String("Sommerzeit")) continue;  // untranslated
    // "utc.soc" is the device's clock in Unix seconds: a time like the NTP ones.
    time.append(QJsonObject{{QStringLiteral("name"), t.first}, {QStringLiteral("value"), NtpValue(t, zone)}});
  }
  QJsonObject timeSync{{QStringLiteral("entries"), time},
                       {QStringLiteral("utcOffset"), zone.OffsetSec},
                       {QStringLiteral("dstMode"), zone.DstMode}};
  if (!r.DcfQuality.isEmpty()) timeSync.insert(QStringLiteral("dcfQuality"), r.DcfQuality);
  QJsonObject doc{{QStringLiteral("plant"), r.Plant},
                  {QStringLiteral("field"), r.Field},
                  {QStringLiteral("device"), r.Device},
                  {QStringLiteral("firmware"), r.Firmware},
                  {QStringLiteral("release"), r.Release},
                  {QStringLiteral("article"), TypedValue(r.Article)},
                  {QStringLiteral("serial"), TypedValue(r.Serial)},
                  {QStringLiteral("upTime"), qint64(r.UpTimeSec)},
                  {QStringLiteral("texts"), QJsonObject{{QStringLiteral("upTime"), r.UpTimeText}}},
                  {QStringLiteral("drives"), drives},
                  {QStringLiteral("ccciWorkers"), NameValueArray(r.CcciWorkers)},
                  {QStringLiteral("addresses"), NameValueArray(r.Addresses)},
                  {QStringLiteral("sysLoad"), load},
                  {QStringLiteral("recordings"), NameValueArray(r.Recordings)},
                  {QStringLiteral("modbus"), NameValueArray(r.Modbus)},
                  {QStringLiteral("iec104"), NameValueArray(r.Iec104)},
                  {QStringLiteral("iec850"), NameValueArray(r.Iec850)},
                  {QStringLiteral("ntp"), ntp},
                  {QStringLiteral("timeSync"), timeSync}};
  // A file without the device's clock lines has no time to tell.
  if (r.DeviceStamp) {
    const int32_t offset = TPQTimeProgs::UTCTimeShiftSoc(zone, (r.DeviceStamp->Frac & CTSDstMask) != 0);
    tmStamp_t utc = *r.DeviceStamp;
    utc.Sec = uint32_t(int64_t(utc.Sec) - offset);
    doc.insert(QStringLiteral("deviceTime"), IsoTime(utc, *r.DeviceStamp));
  } else {
    doc.insert(QStringLiteral("deviceTime"), QJsonValue::Null);
  }
  return doc;
}

void Print(TCliOutput& out, const TStatusRecord& r, const time_tz_t& zone) {
  if (out.Json()) {
    out.Result() = StatusDocument(r, zone);
    return;
  }
  // Wide enough for the longest heading ("Arbeitsspeicher (MB)") in both languages.
  auto kv = [&out](const QString& k, const QString& v) { out.Line(QStringLiteral("%1: %2").arg(k, -21).arg(v)); };
  kv(TTr::tr("Gerätezeit"), r.DeviceTime);
  kv(TTr::tr("Betriebsname"), r.Plant);
  kv(TTr::tr("Messfeld"), r.Field);
  kv(TTr::tr("Gerätename"), r.Device);
  kv(TTr::tr("Firmwareversion"), r.Firmware);
  kv(TTr::tr("Releaseversion"), r.Release);
  kv(TTr::tr("Artikel Nummer"), r.Article);
  kv(TTr::tr("Seriennummer"), r.Serial);
  kv(TTr::tr("Laufzeit"), r.UpTimeText);
  auto drive = [&](const QString& name, const TDriveInfo& d) {
    kv(name, TTr::tr("Belegt: %1  Frei: %2  Defekt: %3  Gesamt: %4  (%5% frei)")
                 .arg(d.UsedMiB)
                 .arg(d.FreeMiB)
                 .arg(d.BadMiB)
                 .arg(d.TotalMiB)
                 .arg(d.Percent));
  };
  drive(TTr::tr("Speicher (MB)"), r.Flash);
  drive(TTr::tr("Arbeitsspeicher (MB)"), r.Ram);
  if (r.Sd.Present) drive(TTr::tr("SD (MB)"), r.Sd);
  auto list = [&](const QString& title, const QStringList& lines) {
    out.Line(title);
    for (const QString& l : lines) out.Line(QStringLiteral("  ") + l);
  };
  list(QStringLiteral("CCCI"), r.CcciWorkers + r.Addresses);
  QStringList load;
  for (const TSysloadRec& s : r.SysLoad) load << QStringLiteral("%1=%2%").arg(s.Syspart).arg(double(s.Load), 0, 'f', 1);
  list(TTr::tr("Systemlast"), load);
  list(TTr::tr("Aktuelle Aufzeichnungsdateien"), r.Recordings);
  list(QStringLiteral("Modbus"), r.Modbus);
  list(QStringLiteral("IEC 60870-5-104"), r.Iec104);
  list(QStringLiteral("IEC IEC61850 "), r.Iec850);
  for (int k = 0; k < 4; ++k) {
    QStringList lines;
    for (const TNameValue& l : r.Ntp[k]) lines << NtpLineText(l);
    list(TTr::tr("NTP %1").arg(k + 1), lines);
  }
  QStringList time;
  bool quality = false;
  for (const TNameValue& t : r.Time) {
    const bool q = t.first == QLatin1String("quality") && !r.DcfQuality.isEmpty();
    quality |= q;
    time << QStringLiteral("%1=%2").arg(TTr::tr(t.first.toUtf8().constData()), q ? TTr::tr(r.DcfQuality.toUtf8().constData()) : t.second);
  }
  if (!quality && !r.DcfQuality.isEmpty()) time << QStringLiteral("quality=") + TTr::tr(r.DcfQuality.toUtf8().constData());
  list(TTr::tr("Zeitsynchronisation"), time);
}

int ParseSaved(TCliOutput& out, const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    out.Error(QStringLiteral("%1: %2").arg(path, f.errorString()));
    return ecUsage;
  }
  const TStatusRecord r = RouteStatus(ParseStatText(f.readAll()), {});
  // Anything else (a log, a wrong file) lacks the device's numbers: printing
  // it would pass for a device without serial number.
  bool serial = false, article = false;
  r.Serial.trimmed().toLongLong(&serial);
  r.Article.trimmed().toLongLong(&article);
  if (!serial || !article) {
    out.Error(TTr::tr("%1: keine Statusdatei").arg(path));
    return ecUsage;
  }
  // A saved file carries no device zone: its time is shown as UTC.
  Print(out, r, {});
  return ecDone;
}

int Status(TCliSession& s) {
  TComUnit& u = s.Unit();
  if (u.FDevType == TDevType::devtypOmnivex) {
    s.Out().Error(TTr::tr("dieser Gerätetyp führt kein Statusskript aus"));
    return ecRefused;
  }
  TStatusFlow flow(u);
  QString path, failed, missing;
  flow.OnStatusFile = [&path](const QString& p) { path = p; };
  flow.OnFailed = [&failed](const QString& r) { failed = r; };
  flow.OnStatusMissing = [&missing, &u](const QString&) {
    missing = QStringLiteral("NAK %1 %2").arg(u.FLastNakCode).arg(u.FLastNakText).trimmed();
  };
  flow.OnLog = [&s](const QString& l) {
    if (s.Options().Log) s.Out().Note(l);
  };
  const int since = s.RefusalCount();
  if (!flow.Refresh()) {
    s.Out().Error(failed);
    return ecUsage;
  }
  s.WaitFor([&] { return !path.isEmpty() || !failed.isEmpty() || !missing.isEmpty() || s.ConnectionLost() || s.RefusalCount() > since; });
  u.FFlashDone = nullptr;
  u.FSendCCCIFileNext = nullptr;
  u.FScratchPadCallBack = nullptr;
  if (!failed.isEmpty()) {
    s.Out().Error(failed);
    return ecRefused;
  }
  if (path.isEmpty()) {
    // The script deletes stat.txt first: a refusal here means the script
    // wrote nothing (no uti.stat on this firmware, or it failed).
    if (!missing.isEmpty()) {
      s.Out().Error(TTr::tr("Gerät lieferte keine Statusdatei (%1)").arg(missing));
      return ecRefused;
    }
    if (s.RefusalCount() > since && !s.ConnectionLost())
      s.Out().Error(TTr::tr("Gerät lieferte keine Statusdatei (%1)").arg(s.Refusals().mid(since).join(QStringLiteral("; "))));
    else
      return Lost(s, since, QStringLiteral("status"));
    return ecRefused;
  }
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    s.Out().Error(TEn::tr("File not found: %1").arg(path));
    return ecRefused;
  }
  const time_tz_t zone = TimeTzFromSet(u.FtmeSet);
  Print(s.Out(), RouteStatus(ParseStatText(f.readAll()), zone), zone);
  return ecDone;
}

// Waits for a one-shot result of the flow.
struct TWaitResult {
  bool Done = false, Ok = false;
  QString Text;
  std::function<void(bool, const QString&)> Bind() {
    return [this](bool ok, const QString& t) {
      Done = true;
      Ok = ok;
      Text = t;
    };
  }
};

bool Await(TCliSession& s, TWaitResult& r, int since) {
  s.WaitFor([&] { return r.Done || s.ConnectionLost() || s.RefusalCount() > since; });
  return r.Done;
}

int SaveFetched(TCliSession& s, const QString& local, const QString& out, const QString& key) {
  const QString target = out.isEmpty() ? QFileInfo(local).fileName() : out;
  if (!CopyOver(local, target)) return CannotWrite(s, target);
  s.Out().Result().insert(key, QFileInfo(target).absoluteFilePath());
  s.Out().Line(target);
  return ecDone;
}

int Pcap(TCliSession& s, const TCliArgs& a) {
  TStatusFlow flow(s.Unit());
  const QString op = a.Args[0];
  const int since = s.RefusalCount();
  if (op == QLatin1String("list")) {
    bool done = false;
    QList<TPcapEntry> list;
    flow.GetPCAPListing([&](const QList<TPcapEntry>& l) {
      list = l;
      done = true;
    });
    s.WaitFor([&] { return done || s.ConnectionLost() || s.RefusalCount() > since; });
    if (!done) return Lost(s, since, QStringLiteral("pcap list"));
    QJsonArray arr;
    for (const TPcapEntry& e : list) {
      arr.append(QJsonObject{{QStringLiteral("name"), e.Name}, {QStringLiteral("detail"), e.Detail}});
      s.Out().Line(QStringLiteral("%1  %2").arg(e.Name, e.Detail));
    }
    s.Out().Result().insert(QStringLiteral("captures"), arr);
    return ecDone;
  }
  TWaitResult r;
  if (op == QLatin1String("start")) {
    TPcapSettings p;
    if (a.Has(QStringLiteral("interface"))) p.Interface = a.Value(QStringLiteral("interface"));
    p.FileName = a.Value(QStringLiteral("file"));
    if (a.Has(QStringLiteral("packets"))) {
      p.ByPackets = true;
      p.Packets = a.Value(QStringLiteral("packets")).toInt();
    } else if (a.Has(QStringLiteral("time"))) {
      const QStringList t = a.Value(QStringLiteral("time")).split(QLatin1Char(':'));
      p.Hours = t.value(0).toInt();
      p.Minutes = t.value(1).toInt();
      p.Seconds = t.value(2).toInt();
    }
    for (const QString& f : a.Values(QStringLiteral("filter"))) p.Filters << f;
    const QString command = GenText(p, QDateTime::currentDateTime());
    flow.StartPCAP(command, r.Bind());
    if (!Await(s, r, since)) return Lost(s, since, QStringLiteral("pcap start"));
    s.Out().Result().insert(QStringLiteral("command"), command);
    s.Out().Result().insert(QStringLiteral("file"), p.FileName);
    if (!r.Ok) {
      s.Out().Error(r.Text.trimmed());
      return ecRefused;
    }
    s.Out().Line(r.Text.trimmed());
    return ecDone;
  }
  const QString name = a.Args[1];
  const bool get = op == QLatin1String("get");
  flow.PCAPFileInteract(get ? TPCAPInteractType::PCAPDownload : TPCAPInteractType::PCAPDelete, name, r.Bind());
  if (!Await(s, r, since)) return Lost(s, since, QStringLiteral("pcap ") + op);
  if (!r.Ok) {
    s.Out().Error(r.Text.isEmpty() ? TTr::tr("%1: abgelehnt").arg(name) : r.Text);
    return ecRefused;
  }
  if (get) {
    // The client removes the scratchpad copy after the fetch: let that go out before the session ends.
    s.WaitFor([&] { return s.Unit().CountSendLst() == 0 && !s.Unit().FWaitForAnswer; });
    return SaveFetched(s, r.Text, a.Value(QStringLiteral("out")), QStringLiteral("file"));
  }
  s.Out().Result().insert(QStringLiteral("removed"), name);
  s.Out().Line(TTr::tr("%1 gelöscht").arg(name));
  return ecDone;
}

TArgProblem CheckPcap(const TCliArgs& a) {
  if (a.Args.isEmpty()) return Missing(TEn::tr("list, start, get or rm"));
  const QString op = a.Args[0];
  if (op == QLatin1String("list") || op == QLatin1String("start")) {
    if (a.Args.size() > 1) return Unexpected(a.Args[1]);
  } else if (op == QLatin1String("get") || op == QLatin1String("rm")) {
    if (const TArgProblem p = CheckCount(a.Args, 1, {QStringLiteral("NAME")}); !p.Text.isEmpty()) return p;
    // Names only: a path would leave the device's data folder.
    if (a.Args[1].contains(QLatin1Char('/')) || a.Args[1].contains(QLatin1Char('"')))
      return TArgProblem::Usage(TEn::tr("'%1' is not a capture name").arg(a.Args[1]));
  } else {
    return TArgProblem::Usage(TEn::tr("'%1' is not list, start, get or rm").arg(op));
  }
  if (a.Has(QStringLiteral("time")) && a.Has(QStringLiteral("packets")))
    return TArgProblem::Usage(TEn::tr("--time and --packets exclude each other"));
  if (a.Has(QStringLiteral("packets")) && a.Value(QStringLiteral("packets")).toInt() < 1)
    return TArgProblem::Usage(TEn::tr("--packets takes a count of at least 1"));
  if (a.Has(QStringLiteral("time"))) {
    const QStringList t = a.Value(QStringLiteral("time")).split(QLatin1Char(':'));
    bool ok = t.size() == 3;
    const int limits[3] = {23, 59, 59};
    for (int i = 0; ok && i < 3; ++i) ok = t[i].toInt(&ok) >= 0 && ok && t[i].toInt() <= limits[i];
    if (!ok) return TArgProblem::Usage(TEn::tr("--time takes H:M:S (hours 0-23, minutes and seconds 0-59)"));
  }
  return TArgProblem::None();
}

}  // namespace

TCliCommand StatusCommand() {
  TCliCommand c{QStringLiteral("status"),
                QStringLiteral("status [--parse STAT.TXT]"),
                {{{QStringLiteral("parse")}, true}},
                [](const TCliArgs& a) { return a.Args.isEmpty() ? TArgProblem::None() : Unexpected(a.Args[0]); },
                [](TCliSession& s, const TCliArgs&) { return Status(s); }};
  c.Online = [](const TCliArgs& a) { return !a.Has(QStringLiteral("parse")); };
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions&) {
    return ParseSaved(out, a.Value(QStringLiteral("parse")));
  };
  return c;
}

TCliCommand PcapCommand() {
  return {QStringLiteral("pcap"),
          QStringLiteral("pcap list | start [--interface I] [--file NAME] [--time H:M:S | --packets N] [--filter [DIR@]ADDR]... | "
                         "get NAME [--out FILE] | rm NAME"),
          {{{QStringLiteral("interface")}, true},
           {{QStringLiteral("file")}, true},
           {{QStringLiteral("time")}, true},
           {{QStringLiteral("packets")}, true},
           {{QStringLiteral("filter")}, true},
           {{QStringLiteral("out")}, true}},
          CheckPcap,
          Pcap};
}

TCliCommand CertCommand() {
  return {QStringLiteral("cert"),
          QStringLiteral("cert get [--out FILE]"),
          {{{QStringLiteral("out")}, true}},
          [](const TCliArgs& a) {
            if (a.Args.value(0) != QLatin1String("get")) return TArgProblem::Usage(TEn::tr("cert takes 'get'"));
            return a.Args.size() > 1 ? Unexpected(a.Args[1]) : TArgProblem::None();
          },
          [](TCliSession& s, const TCliArgs& a) {
            TComUnit& u = s.Unit();
            const QString name = TestCertName(u.FSN, QString::number(u.FArtNum));
            TStatusFlow flow(u);
            TWaitResult r;
            const int since = s.RefusalCount();
            flow.DownloadTestCert(name, r.Bind());
            if (!Await(s, r, since)) {
              u.FScratchPadCallBack = nullptr;
              return Lost(s, since, QStringLiteral("cert ") + name);
            }
            return SaveFetched(s, r.Text, a.Value(QStringLiteral("out")), QStringLiteral("file"));
          }};
}

TCliCommand DevlogCommand() {
  return {QStringLiteral("devlog"),
          QStringLiteral("devlog FILE [--secure]"),
          {{{QStringLiteral("secure")}, false}},
          [](const TCliArgs& a) { return CheckCount(a.Args, 0, {QStringLiteral("FILE")}); },
          [](TCliSession& s, const TCliArgs& args) {
            const QString file = args.Args[0];
            TComUnit& u = s.Unit();
            TStatusFlow flow(u);
            QString saved;
            u.FOpenFile = [&](const QString& p) { saved = p; };
            const int since = s.RefusalCount();
            {
              TProgressScope bar(s.Progress(), QStringLiteral("devlog"));
              if (args.Has(QStringLiteral("secure")) && !u.FRev.IsAtLeastVer(2, 10, 0)) {
                s.Out().Error(TTr::tr("Secure Logfile erst ab Firmware 2.10.0 (Gerät: %1)").arg(u.FRev.VerAsStr()));
                return int(ecRefused);
              }
              if (args.Has(QStringLiteral("secure")))
                flow.GetSecureLog();
              else
                flow.GetLog();
              s.WaitFor([&] { return !saved.isEmpty() || s.ConnectionLost() || s.RefusalCount() > since; });
            }
            u.FOpenFile = nullptr;
            if (saved.isEmpty()) return Lost(s, since, QStringLiteral("devlog"));
            if (!CopyOver(saved, file)) return CannotWrite(s, file);
            s.Out().Result().insert(QStringLiteral("file"), file);
            s.Out().Line(file);
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
