// Firmware update of one device (the interactive job without a window) and
// the mass update over a list of devices.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <unistd.h>

#include "CliSession.h"
#include "FlashJob.h"
#include "MassFlash.h"
#include "PasswordFile.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta::cli {

namespace {

// A local time with its offset, as every time of the command line's JSON.
QString IsoTime(const QDateTime& t) { return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate); }

QString FwText(const TVantaFW& fw) { return QStringLiteral("%1.%2.%3").arg(fw.Major()).arg(fw.Minor()).arg(fw.Patch()); }

void Spin(const std::function<bool()>& done, qint64 limitMs) { SpinUntil(done, limitMs); }

// A device installs after its restart too: five minutes before its answer
// (or silence) counts.
int ComebackSec(const TCliArgs& a) {
  return a.Has(QStringLiteral("comeback-timeout")) ? a.Value(QStringLiteral("comeback-timeout")).toInt() : 300;
}
// An answer naming the old firmware is "still installing" for as long as
// the device is waited for, unless told otherwise.
int GraceSec(const TCliArgs& a) {
  return a.Has(QStringLiteral("comeback-grace")) ? a.Value(QStringLiteral("comeback-grace")).toInt() : ComebackSec(a);
}

// After a successful update call the device restarts: connect again until
// it answers and say which firmware it names now.
QString WaitForComeback(const TCliOptions& o, TCliOutput& out, int seconds, const QString& want, int graceSec) {
  QElapsedTimer t;
  t.start();
  TCliOptions quiet = o;
  quiet.Quiet = true;
  quiet.Log = false;
  quiet.TimeoutSec = 10;
  quiet.Trace.clear();  // the update's trace stays whole
  // The device first has to go away: an answer within its last moments
  // would still name the old firmware.
  Spin([] { return false; }, 1000);
  QString last;
  while (t.elapsed() < qint64(seconds) * 1000) {
    TCliOutput sink(true);
    TCliSession s(quiet, sink);
    QString error;
    if (s.Open(error)) {
      last = FwText(s.Unit().FRev);
      s.Close();
      // Still the old firmware: it may be installing yet.
      if (want.isEmpty() || last == want || t.elapsed() >= qint64(graceSec) * 1000) return last;
    } else {
      s.Close();
    }
    Spin([] { return false; }, 1000);
  }
  if (last.isEmpty()) out.Note(TTr::tr("Gerät meldet sich nach %1 s nicht zurück").arg(seconds));
  return last;
}

// Everything the job would find wrong with a package once connected, found
// here first: the archive, its entry names, a firmware archive, and the
// version it names (success is judged by the version the device names
// afterwards, so a package naming none cannot be judged). Empty when usable.
QString PackageProblem(const QString& pkg, QString& want) {
  QTemporaryDir probe;
  const TFlashPackage p = UnpackFlashPackage(pkg, probe.path());
  if (!p.Error.isEmpty()) return QStringLiteral("%1 (%2)").arg(FlashText(msgInvalidPackage), p.Error);
  if (p.UpdFN.isEmpty()) return TTr::tr("%1 (kein Firmwarearchiv .tgz im Paket)").arg(FlashText(msgInvalidPackage));
  QString why;
  want = FirmwareVersionOf(p.UpdPath, &why);
  if (!want.isEmpty()) return {};
  return why.startsWith(QLatin1String("no version"))
             ? TTr::tr("Das Updatepaket nennt keine Firmwareversion (%1)").arg(why)
             : TTr::tr("Das Firmwarearchiv %1 im Updatepaket ist nicht lesbar (%2)").arg(p.UpdFN, why);
}

// A backup the operator named has to be storable before the device is
// touched. Its folder must exist already: nothing is created on a guess.
int BackupProblem(TCliOutput& out, const QString& path) {
  const QFileInfo file(path);
  const QFileInfo folder(file.absolutePath());
  if (!folder.isDir()) {
    out.Error(TTr::tr("Ordner für die Parametersicherung fehlt: %1 - kein Update").arg(folder.filePath()));
    return ecUsage;
  }
  if (file.isDir()) {
    out.Error(TTr::tr("Parametersicherung %1 ist ein Ordner - kein Update").arg(path));
    return ecUsage;
  }
  // Opened for appending, an existing file stays as it is; a new one goes again.
  QFile probe(file.absoluteFilePath());
  const bool existed = probe.exists();
  if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
    out.Error(TTr::tr("Parametersicherung kann nicht gespeichert werden: %1 (%2) - kein Update").arg(path, probe.errorString()));
    return ecNotStored;
  }
  probe.close();
  if (!existed) probe.remove();
  return -1;
}

// One device: the package and the backup target are checked before connecting.
int BeforeOne(TCliOutput& out, const TCliArgs& a) {
  QString want;
  if (const QString problem = PackageProblem(a.Args.value(0), want); !problem.isEmpty()) {
    out.Error(problem);
    return ecUsage;
  }
  return a.Has(QStringLiteral("backup")) ? BackupProblem(out, a.Value(QStringLiteral("backup"))) : -1;
}

int RunOne(TCliSession& s, const TCliArgs& a) {
  TComUnit& u = s.Unit();
  TCliOutput& out = s.Out();
  const QString pkg = a.Args.value(0);
  QString want;
  if (const QString problem = PackageProblem(pkg, want); !problem.isEmpty()) {
    out.Error(problem);
    return ecUsage;
  }
  const QDateTime started = QDateTime::currentDateTime();
  const QString before = FwText(u.FRev);
  out.Line(TTr::tr("Gerät %1 (Seriennummer %2), Firmware %3").arg(u.FDevice).arg(u.FSN).arg(before));
  if (!want.isEmpty()) out.Line(TTr::tr("Paket %1, Firmware %2").arg(QFileInfo(pkg).fileName(), want));
  QJsonArray log;
  TFlashJob job(u);
  job.FKind = TFlashKind::KndFirmware;
  job.FFN = QFileInfo(pkg).absoluteFilePath();
  if (a.Has(QStringLiteral("step-timeout"))) {
    job.FStepTimeoutMs = a.Value(QStringLiteral("step-timeout")).toInt() * 1000;
    job.FUpdateTimeoutMs = job.FStepTimeoutMs;
  }
  // The update call takes minutes: say now and then that it still runs.
  job.OnWaiting = [&out, ticks = 0](qint64 ms) mutable {
    if (ms > 0 && ++ticks % 30 == 0) out.Note(TTr::tr("Update läuft seit %1").arg(ElapsedText(ms)));
  };
  const bool noBackup = a.Has(QStringLiteral("no-backup"));
  job.AskBackup = [&](const QString& q, std::function<void(bool)> answer) {
    out.Line(QStringLiteral("%1 -> %2").arg(q, noBackup ? TTr::tr("Nein") : TTr::tr("Ja")));
    answer(!noBackup);
  };
  job.AskSaveFile = [&](const QString& proposed) {
    return a.Has(QStringLiteral("backup")) ? QFileInfo(a.Value(QStringLiteral("backup"))).absoluteFilePath() : proposed;
  };
  job.GetPara = [&u, &job] {
    u.FOnNewXMLFile = [&u, &job](QObject*, const QString& file, int32_t) {
      u.FOnNewXMLFile = nullptr;
      job.ParaToTable(file);
    };
    u.SendCommand(ccci::TCcci::SETUP_RD_ALL);
  };
  const QString mode = a.Has(QStringLiteral("changelog")) ? a.Value(QStringLiteral("changelog"))
                       : ::isatty(0)                     ? QStringLiteral("ask")
                                                         : QStringLiteral("accept");
  job.ShowChangelog = [&](const QString& readme, std::function<void(bool)> answer) {
    QFile f(readme);
    const QString text = !readme.isEmpty() && f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    if (mode != QLatin1String("accept") && !text.isEmpty()) {
      out.Line(QStringLiteral("Changelog:"));
      for (const QString& l : text.split(QLatin1Char('\n'))) out.Line(QStringLiteral("  ") + l.trimmed());
    }
    if (mode == QLatin1String("ask")) {
      // "y" is taken as well, so the English prompt can offer it.
      std::fprintf(stderr, "%s", TTr::tr("Update Starten? [j/N] ").toLocal8Bit().constData());
      char line[16] = {};
      const bool yes = std::fgets(line, sizeof line, stdin) && (line[0] == 'j' || line[0] == 'J' || line[0] == 'y');
      out.Line(yes ? TTr::tr("Update Starten") : TTr::tr("Abbrechen"));
      answer(yes);
      return;
    }
    answer(true);
  };
  job.ShowMessage = [&](const QString& text, TMsgDlgType, std::function<void()> then) {
    out.Line(text);
    if (then) then();
  };
  job.OnLog = [&](const QString& line) { log.append(line); if (s.Options().Log) out.Diagnostic(line); };
  job.OnUpload = [&](int done, int total, const QString& name) {
    if (!name.isEmpty()) out.Line(TTr::tr("Hochladen %1/%2: %3").arg(done + 1).arg(total).arg(name));
  };
  bool closed = false;
  job.OnEnded = [&closed] { closed = true; };
  u.FThreadExceptCallBack = [&job](QObject*) { job.ThreadExceptCallBack(); };
  job.ConnEst(true);
  const qint64 limit = qMax<qint64>(qint64(s.Options().TimeoutSec) * 1000, 1800000);
  Spin([&] { return closed; }, limit);
  u.FThreadExceptCallBack = nullptr;
  QJsonObject& r = out.Result();
  r.insert(QStringLiteral("package"), job.FFN);
  r.insert(QStringLiteral("packageVersion"), want);
  r.insert(QStringLiteral("device"), u.FDevice);
  r.insert(QStringLiteral("serial"), qint64(u.FSN));
  r.insert(QStringLiteral("firmwareBefore"), before);
  r.insert(QStringLiteral("firmwareAfter"), QJsonValue(QJsonValue::Null));
  r.insert(QStringLiteral("backupFile"), job.BackupFile.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(job.BackupFile));
  r.insert(QStringLiteral("log"), log);
  r.insert(QStringLiteral("start"), IsoTime(started));
  // The run's end and length, stamped with its outcome.
  auto ended = [&](const QString& result, const QString& message) {
    const QDateTime now = QDateTime::currentDateTime();
    r.insert(QStringLiteral("end"), IsoTime(now));
    r.insert(QStringLiteral("duration"), double(started.msecsTo(now)) / 1000.0);
    r.insert(QStringLiteral("result"), result);
    r.insert(QStringLiteral("message"), message);
  };
  if (job.Outcome == TFlashJob::TOutcome::Unknown) {
    // The device may still be installing: no verdict, and no failure.
    ended(QStringLiteral("unknown"), SResultUnknown);
    out.Error(TTr::tr(CResultUnknownText));
    return ecNoConnection;
  }
  if (job.Outcome != TFlashJob::TOutcome::Success) {
    const QString text = job.ResultText.isEmpty() ? TTr::tr("Update ohne Ergebnis abgebrochen") : job.ResultText;
    ended(QStringLiteral("failed"), text);
    out.Error(text);
    return job.BackupNotStored ? ecNotStored : ecRefused;
  }
  if (!job.BackupFile.isEmpty()) out.Line(TTr::tr("Parametersicherung: %1").arg(job.BackupFile));
  out.Line(TTr::tr("Gerät startet neu ..."));
  const QString after = WaitForComeback(s.Options(), out, ComebackSec(a), want, GraceSec(a));
  r.insert(QStringLiteral("firmwareAfter"), after.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(after));
  out.Line(TTr::tr("Firmware nach dem Update: %1").arg(after.isEmpty() ? QStringLiteral("-") : after));
  QString message = TTr::tr(CFWUpdateSuccessText);
  int rc = ecDone;
  if (after.isEmpty()) {
    // Not back in time: perhaps still installing. No verdict.
    out.Note(TTr::tr("Gerät nach dem Neustart nicht erreichbar"));
    message = TTr::tr(CResultUnknownText);
    rc = ecNoConnection;
  } else if (after != want) {
    message = TTr::tr("Gerät meldet nach dem Update Firmware %1 statt %2").arg(after, want);
    rc = ecRefused;
  }
  ended(rc == ecDone ? QStringLiteral("ok") : after.isEmpty() ? QStringLiteral("unknown") : QStringLiteral("failed"), message);
  if (rc != ecDone) out.Error(message);
  else out.Line(message);
  return rc;
}

// A device list in JSON; an entry may name "passwordFile" instead of
// "password", so that the list itself holds no secret.
QList<TMassTarget> LoadHostsJson(const QString& path, QString& error) {
  QList<TMassTarget> targets = TMassFlash::LoadHostsJson(path, error);
  if (!error.isEmpty()) return targets;
  QFile f(path);
  const QJsonArray entries = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
  // Every entry became a target, in order, or the list was refused above.
  for (qsizetype i = 0; i < entries.size() && i < targets.size(); ++i) {
    const QJsonObject e = entries[i].toObject();
    if (!e.contains(QLatin1String("passwordFile"))) continue;
    if (e.contains(QLatin1String("password"))) {
      error = TTr::tr("%1: Eintrag %2 nennt password und passwordFile").arg(path).arg(i + 1);
      return {};
    }
    // A relative name is beside the list, wherever the command runs.
    const QString file = QFileInfo(path).absoluteDir().absoluteFilePath(e.value(QLatin1String("passwordFile")).toString());
    QString problem;
    if (!ReadPasswordFile(file, targets[i].Password, problem)) {
      error = QStringLiteral("%1: Eintrag %2: %3").arg(path).arg(i + 1).arg(problem);
      return {};
    }
  }
  return targets;
}

int RunMass(TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
  QString error;
  QList<TMassTarget> targets;
  if (a.Has(QStringLiteral("hosts"))) targets = TMassFlash::LoadHostsText(a.Value(QStringLiteral("hosts")), error);
  else if (a.Has(QStringLiteral("hosts-json"))) targets = LoadHostsJson(a.Value(QStringLiteral("hosts-json")), error);
  else targets = TMassFlash::FailedFromReport(a.Value(QStringLiteral("retry-from")), error);
  if (!error.isEmpty()) {
    out.Error(error);
    return ecUsage;
  }
  if (targets.isEmpty()) {
    out.Line(TTr::tr("Keine fehlgeschlagenen Geräte im Bericht"));
    return ecDone;
  }
  for (TMassTarget& t : targets) {
    if (a.Has(QStringLiteral("hosts"))) {
      t.Ssh = o.Ssh;
      t.SshPort = o.SshPort;
    }
    // Reports keep no passwords: the command line's login fills them in.
    if (t.User.isEmpty()) t.User = o.User;
    if (t.Password.isEmpty() && (o.User.isEmpty() || t.User == o.User)) t.Password = o.Password;
  }
  TMassOptions mo;
  mo.Package = QFileInfo(a.Args.value(0)).absoluteFilePath();
  mo.BackupDir = a.Has(QStringLiteral("no-backup")) ? QString() : a.Value(QStringLiteral("backup-dir"));
  mo.RunId = a.Value(QStringLiteral("run-id"));
  mo.Parallel = a.Has(QStringLiteral("parallel")) ? a.Value(QStringLiteral("parallel")).toInt() : 1;
  mo.StopOnFailure = a.Has(QStringLiteral("stop-on-failure"));
  mo.ComebackTimeoutMs = ComebackSec(a) * 1000;
  mo.ComebackGraceMs = GraceSec(a) * 1000;
  mo.ConnectTimeoutMs = o.TimeoutSec * 1000;
  if (a.Has(QStringLiteral("step-timeout"))) {
    mo.StepTimeoutMs = a.Value(QStringLiteral("step-timeout")).toInt() * 1000;
    mo.UpdateTimeoutMs = mo.StepTimeoutMs;
  }
  mo.TrustNewHostKey = o.TrustNewHostKey;
  QString data = o.DataDir.isEmpty() ? QDir::temp().filePath(QStringLiteral("vanta-mass-%1").arg(QCoreApplication::applicationPid())) : o.DataDir;
  mo.DataDir = data;
  TMassFlash run;
  QList<TMassState> seen;
  run.OnRow = [&](int i) {
    const TMassRow& r = run.Rows()[i];
    while (seen.size() <= i) seen << TMassState::msWaiting;
    if (seen[i] == r.State) return;
    seen[i] = r.State;
    const QString who = r.Target.Name.isEmpty() ? QStringLiteral("%1:%2").arg(r.Target.Host).arg(r.Target.Port) : r.Target.Name;
    out.Line(QStringLiteral("[%1/%2] %3: %4%5").arg(i + 1).arg(run.Rows().size()).arg(who, MassStateText(r.State),
                                                   r.Message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.Message)));
  };
  if (o.Log) run.OnLog = [&](int i, const QString& line) { out.Diagnostic(QStringLiteral("[%1] %2").arg(i + 1).arg(line)); };
  // The report is the run's only record of what each device got: it must
  // have a place before the first device is touched.
  const QString report = a.Value(QStringLiteral("report"));
  const QString csv = a.Has(QStringLiteral("csv")) ? a.Value(QStringLiteral("csv"))
                                                   : QFileInfo(report).dir().filePath(QFileInfo(report).completeBaseName() + QStringLiteral(".csv"));
  for (const QString& file : {report, csv})
    if (const QString problem = FolderWriteProblem(QFileInfo(file).absolutePath()); !problem.isEmpty()) {
      out.Error(TTr::tr("Bericht kann nicht geschrieben werden (%1): kein Gerät aktualisiert").arg(problem));
      return ecUsage;
    }
  if (!run.Start(mo, targets, error)) {
    out.Error(error);
    return ecUsage;
  }
  Spin([&] { return !run.Running(); }, std::numeric_limits<qint64>::max());
  // The rows are printed even when the file cannot take them: they are the
  // only record of what each device got.
  out.Result() = run.ReportJson();
  if (!run.WriteReport(report, csv, error)) {
    out.Error(error);
    return ecNotStored;  // the devices were updated; only the record is missing
  }
  out.Result().insert(QStringLiteral("report"), QFileInfo(report).absoluteFilePath());
  out.Result().insert(QStringLiteral("csv"), QFileInfo(csv).absoluteFilePath());
  out.Line(TTr::tr("%1; Bericht %2").arg(run.SummaryText(), report));
  if (o.DataDir.isEmpty()) QDir(data).removeRecursively();
  if (run.Count(QStringLiteral("ok")) == run.Rows().size()) return ecDone;
  // Only devices whose outcome nobody knows: no answer, no refusal.
  if (run.Count(QStringLiteral("ok")) + run.Count(QStringLiteral("unknown")) == run.Rows().size()) return ecNoConnection;
  return ecRefused;
}

bool IsMass(const TCliArgs& a) {
  return a.Has(QStringLiteral("hosts")) || a.Has(QStringLiteral("hosts-json")) || a.Has(QStringLiteral("retry-from"));
}

}  // namespace

TCliCommand FlashCommand() {
  auto opt = [](const char* n, bool v) { return TOptionSpec{{QLatin1String(n)}, v}; };
  TCliCommand c{
      QStringLiteral("flash"),
      QStringLiteral("flash PKG [--backup FILE | --no-backup] [--changelog show|accept] [--comeback-timeout S (300)] [--comeback-grace S] [--step-timeout S] | flash PKG "
                     "--hosts FILE|--hosts-json FILE|--retry-from REPORT --backup-dir DIR|--no-backup --run-id ID [--parallel N] "
                     "[--stop-on-failure] --report OUT.json [--csv OUT.csv]"),
      {opt("backup", true), opt("no-backup", false), opt("changelog", true), opt("comeback-timeout", true), opt("step-timeout", true), opt("comeback-grace", true), opt("hosts", true),
       opt("hosts-json", true), opt("retry-from", true), opt("backup-dir", true), opt("run-id", true), opt("parallel", true),
       opt("stop-on-failure", false), opt("report", true), opt("csv", true)},
      [](const TCliArgs& a) {
        if (a.Args.isEmpty()) return Missing(TEn::tr("PKG"));
        if (a.Args.size() > 1) return Unexpected(a.Args[1]);
        if (const TArgProblem p = MustExist(a.Args[0]); !p.Text.isEmpty()) return p;
        if (a.Has(QStringLiteral("backup")) && a.Has(QStringLiteral("no-backup")))
          return TArgProblem::Usage(TEn::tr("--backup and --no-backup exclude each other"));
        if (a.Has(QStringLiteral("changelog")) && a.Value(QStringLiteral("changelog")) != QLatin1String("show") &&
            a.Value(QStringLiteral("changelog")) != QLatin1String("accept"))
          return TArgProblem::Usage(TEn::tr("--changelog takes show or accept"));
        bool ok = true;
        if (a.Has(QStringLiteral("comeback-timeout")) && (a.Value(QStringLiteral("comeback-timeout")).toInt(&ok) < 1 || !ok))
          return TArgProblem::Usage(TEn::tr("--comeback-timeout needs seconds, at least 1"));
        if (a.Has(QStringLiteral("step-timeout")) && (a.Value(QStringLiteral("step-timeout")).toInt(&ok) < 1 || !ok))
          return TArgProblem::Usage(TEn::tr("--step-timeout needs seconds, at least 1"));
        if (!IsMass(a)) return TArgProblem::None();
        if (int(a.Has(QStringLiteral("hosts"))) + int(a.Has(QStringLiteral("hosts-json"))) + int(a.Has(QStringLiteral("retry-from"))) > 1)
          return TArgProblem::Usage(TEn::tr("--hosts, --hosts-json and --retry-from exclude each other"));
        if (!a.Has(QStringLiteral("backup-dir")) && !a.Has(QStringLiteral("no-backup")))
          return Missing(TEn::tr("--backup-dir DIR (or --no-backup)"));
        if (!a.Has(QStringLiteral("run-id"))) return Missing(TEn::tr("--run-id ID"));
        if (!a.Has(QStringLiteral("report"))) return Missing(TEn::tr("--report OUT.json"));
        const int n = a.Has(QStringLiteral("parallel")) ? a.Value(QStringLiteral("parallel")).toInt(&ok) : 1;
        if (!ok || n < 1 || n > 8) return TArgProblem::Usage(TEn::tr("--parallel takes 1 to 8"));
        for (const char* f : {"hosts", "hosts-json", "retry-from"})
          if (a.Has(QLatin1String(f)))
            if (const TArgProblem p = MustExist(a.Value(QLatin1String(f))); !p.Text.isEmpty()) return p;
        return TArgProblem::None();
      },
      [](TCliSession& s, const TCliArgs& a) { return RunOne(s, a); }};
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions& o) { return RunMass(out, a, o); };
  c.Online = [](const TCliArgs& a) { return !IsMass(a); };
  c.BeforeConnect = [](TCliOutput& out, const TCliArgs& a) { return BeforeOne(out, a); };
  return c;
}

}  // namespace vanta::cli
