// vanta-fleet: many devices read out into one store and one database,
// unattended. The inventory commands, `run` and `status`.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>

#include "BuildInfo.h"
#include "FleetDb.h"
#include "FleetWeb.h"
#include "Inventory.h"
#include "Language.h"
#include "OfflineStore.h"
#include "PasswordFile.h"
#include "SaveWhole.h"
#include "Scheduler.h"

using namespace vanta;
using namespace vanta::fleet;

namespace {

enum TExit : int { ecDone = 0, ecUsage = 1, ecNoConnection = 2, ecFailed = 3, ecNotStored = 5 };

std::atomic<bool> GStop{false};

extern "C" void OnStop(int) {
  GStop = true;
  // A second signal ends the program at once.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

const char* const CUsage =
    "Usage: vanta-fleet [--db URL] [--data-dir DIR] [--json] [--lang de|en] COMMAND\n"
    "       vanta-fleet --help | --version\n"
    "  devices import FILE [--every DURATION]\n"
    "  devices add HOST[:PORT] [--name TEXT] [--every DURATION] [--ssh --user U --password-file F] [--trust-new-host-key]\n"
    "  devices list\n"
    "  devices rm|pause|resume|trust HOST[:PORT]\n"
    "  run [--once] [--parallel N] [--worker-id ID] [--keep-days N] [--no-status] [--timeout SECONDS] [--lease-seconds S]\n"
    "  status\n"
    "  serve [--listen HOST:PORT] [--token-file F]\n"
    "--lang de|en: language of messages for people (logs and documents stay as they are).\n"
    "DURATION: 30s, 15m, 2h or 1d. --db: sqlite:FILE (default sqlite:<data folder>/fleet.sqlite)\n"
    "or postgresql://USER@HOST:PORT/DB with --db-password-file F or PGPASSFILE (several workers).\n";

// Text for people on stdout as it comes; with --json one document at the end.
class TOut {
 public:
  explicit TOut(bool json) : FJson(json) {}
  bool Json() const { return FJson; }
  void Line(const QString& line) {
    if (FJson) return;
    std::lock_guard<std::mutex> lock(FMutex);
    const QByteArray b = (line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
  }
  // What the service does as it goes: beside a JSON document it goes to
  // stderr, so a log is not lost and the document stays parseable.
  void Log(const QString& line) {
    std::lock_guard<std::mutex> lock(FMutex);
    const QByteArray b = (line + QLatin1Char('\n')).toLocal8Bit();
    std::FILE* to = FJson ? stderr : stdout;
    std::fwrite(b.constData(), 1, size_t(b.size()), to);
    std::fflush(to);
  }
  void Note(const QString& line) {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FJson) {
      FWarnings << line;
      return;
    }
    const QByteArray b = (line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
  }
  QJsonObject& Result() { return FResult; }
  int Finish(int code = ecDone) {
    if (!FJson) return code;
    QJsonObject doc = FResult;
    doc.insert(QStringLiteral("schemaVersion"), 1);
    if (!FWarnings.isEmpty()) doc.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(FWarnings));
    const QByteArray b = QJsonDocument(doc).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    return code;
  }
  // A command that could not run: the error document, the message on stderr.
  int Fail(int code, const QString& message) {
    const QByteArray m = (QStringLiteral("vanta-fleet: ") + message + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(m.constData(), 1, size_t(m.size()), stderr);
    if (FJson) {
      QJsonObject doc{{QStringLiteral("schemaVersion"), 1},
                      {QStringLiteral("error"), QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}}}};
      if (!FWarnings.isEmpty()) doc.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(FWarnings));
      const QByteArray b = QJsonDocument(doc).toJson(QJsonDocument::Compact) + '\n';
      std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    }
    return code;
  }

 private:
  bool FJson;
  std::mutex FMutex;
  QJsonObject FResult;
  QStringList FWarnings;
};

struct TArgs {
  QStringList Words;
  QHash<QString, QString> Options;
  bool Has(const char* o) const { return Options.contains(QLatin1String(o)); }
  QString Value(const char* o) const { return Options.value(QLatin1String(o)); }
};

// Options and whether they take a value.
const QHash<QString, bool> COptions = {
    {QStringLiteral("db"), true},        {QStringLiteral("data-dir"), true},   {QStringLiteral("json"), false},
    {QStringLiteral("every"), true},     {QStringLiteral("name"), true},       {QStringLiteral("ssh"), false},
    {QStringLiteral("user"), true},      {QStringLiteral("password-file"), true}, {QStringLiteral("trust-new-host-key"), false},
    {QStringLiteral("once"), false},     {QStringLiteral("parallel"), true},   {QStringLiteral("worker-id"), true},
    {QStringLiteral("keep-days"), true}, {QStringLiteral("no-status"), false}, {QStringLiteral("status"), false},
    {QStringLiteral("timeout"), true},   {QStringLiteral("help"), false},
    {QStringLiteral("db-password-file"), true}, {QStringLiteral("lease-seconds"), true},
    {QStringLiteral("lang"), true},
    {QStringLiteral("listen"), true},    {QStringLiteral("token-file"), true},
};

bool ParseArgs(const QStringList& in, TArgs& a, QString& error) {
  for (qsizetype i = 0; i < in.size(); ++i) {
    const QString& w = in[i];
    if (!w.startsWith(QLatin1String("--")) || w == QLatin1String("--")) {
      a.Words << w;
      continue;
    }
    QString name = w.mid(2), value;
    const qsizetype eq = name.indexOf(QLatin1Char('='));
    if (eq >= 0) {
      value = name.mid(eq + 1);
      name = name.left(eq);
    }
    if (!COptions.contains(name)) {
      error = TEn::tr("unknown option '--%1'").arg(name);
      return false;
    }
    if (COptions.value(name) && eq < 0) {
      if (i + 1 >= in.size()) {
        error = TEn::tr("--%1 needs a value").arg(name);
        return false;
      }
      value = in[++i];
    }
    a.Options.insert(name, value);
  }
  return true;
}

QJsonValue TimeJson(const QDateTime& t) { return t.isValid() ? QJsonValue(IsoUtc(t)) : QJsonValue(QJsonValue::Null); }
QJsonValue IdJson(qint64 v) { return v ? QJsonValue(v) : QJsonValue(QJsonValue::Null); }

QJsonObject DeviceJson(const TDeviceRow& d) {
  return {{QStringLiteral("id"), d.Id},
          {QStringLiteral("host"), d.Host},
          {QStringLiteral("port"), d.Port},
          {QStringLiteral("name"), d.Name},
          {QStringLiteral("serial"), IdJson(d.Serial)},
          {QStringLiteral("plant"), d.Plant},
          {QStringLiteral("field"), d.Field},
          {QStringLiteral("device"), d.Device},
          {QStringLiteral("firmware"), d.Firmware},
          {QStringLiteral("every"), d.EverySeconds},
          {QStringLiteral("paused"), d.Paused},
          {QStringLiteral("ssh"), d.Ssh},
          {QStringLiteral("passwordFile"), d.PasswordFile.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(d.PasswordFile)},
          {QStringLiteral("nextDue"), TimeJson(d.NextDue)},
          {QStringLiteral("lastContact"), TimeJson(d.LastContact)},
          {QStringLiteral("lastSuccess"), TimeJson(d.LastSuccess)},
          {QStringLiteral("failures"), d.Failures},
          {QStringLiteral("replacedBy"), IdJson(d.ReplacedBy)}};
}

QString Or(const QString& s, const char* dash = "-") { return s.isEmpty() ? QString::fromLatin1(dash) : s; }
QString TimeText(const QDateTime& t) { return t.isValid() ? IsoUtc(t) : QStringLiteral("-"); }

// An address as people write it: brackets around an IPv6 address.
QString AddressText(const QString& host, int port) {
  TDeviceRow d;
  d.Host = host;
  d.Port = port;
  return d.Address();
}

// A name is one line of text: a tab or line break would break the tables.
bool NameProblem(const QString& name, QString& error) {
  for (const QChar c : name)
    if (c.category() == QChar::Other_Control) {
      error = TEn::tr("the name '%1' holds a control character (tab, line break)").arg(name.simplified());
      return true;
    }
  return false;
}

// The device an address names (HOST or HOST:PORT, the default port 5040).
bool FindDevice(TFleetDb& db, const QString& address, TDeviceRow& d, QString& error) {
  THostLine h;
  if (!ParseHostLine(address, h, error)) return false;
  const auto found = db.FindActive(h.Host, h.Port);
  if (!found) {
    error = TEn::tr("no device %1 in the inventory").arg(AddressText(h.Host, h.Port));
    return false;
  }
  d = *found;
  return true;
}

int Devices(TOut& out, TFleetDb& db, const TArgs& a) {
  const QString op = a.Words.value(1);
  int every = 900;
  if (a.Has("every")) {
    QString error;
    const qint64 s = ParseDuration(a.Value("every"), error);
    if (s < 0) return out.Fail(ecUsage, QStringLiteral("--every: ") + error);
    every = int(s);
  }
  if (op == QLatin1String("import")) {
    if (a.Words.size() != 3) return out.Fail(ecUsage, TEn::tr("devices import takes one FILE"));
    QFile f(a.Words[2]);
    if (!f.open(QIODevice::ReadOnly)) return out.Fail(ecUsage, QStringLiteral("%1: %2").arg(a.Words[2], f.errorString()));
    QList<THostLine> hosts;
    QString error;
    if (!ParseHostsText(QString::fromUtf8(f.readAll()), a.Words[2], hosts, error)) return out.Fail(ecUsage, error);
    for (const THostLine& h : hosts)
      if (NameProblem(h.Name, error)) return out.Fail(ecUsage, QStringLiteral("%1: %2").arg(a.Words[2], error));
    QJsonArray list;
    int added = 0;
    for (const THostLine& h : hosts) {
      TDeviceRow d;
      QString result = QStringLiteral("exists");
      if (const auto found = db.FindActive(h.Host, h.Port)) {
        d = *found;
        // The file names the device: a new name in it is taken over.
        if (!h.Name.isEmpty() && h.Name != d.Name) {
          d.Name = h.Name;
          db.UpdateInventory(d);
          result = QStringLiteral("renamed");
        }
      } else {
        d.Host = h.Host;
        d.Port = h.Port;
        d.Name = h.Name;
        d.EverySeconds = every;
        if (!db.AddDevice(d)) return out.Fail(ecUsage, QStringLiteral("database: %1").arg(db.LastError()));
        result = QStringLiteral("added");
        ++added;
      }
      QJsonObject o = DeviceJson(d);
      o.insert(QStringLiteral("result"), result);
      list.append(o);
      // The JSON keeps the word; the line says it in the program's language.
      const QString said = result == QLatin1String("added")     ? TEn::tr("added")
                           : result == QLatin1String("renamed") ? TEn::tr("renamed")
                                                                : TEn::tr("exists");
      out.Line(QStringLiteral("%1 %2 %3").arg(said, d.Address(), d.Name).trimmed());
    }
    out.Line(TEn::tr("%1 devices added, %2 already known").arg(added).arg(hosts.size() - added));
    out.Result().insert(QStringLiteral("devices"), list);
    out.Result().insert(QStringLiteral("added"), added);
    return out.Finish();
  }
  if (op == QLatin1String("add")) {
    if (a.Words.size() != 3) return out.Fail(ecUsage, TEn::tr("devices add takes one HOST[:PORT]"));
    THostLine h;
    QString error;
    if (!ParseHostLine(a.Words[2], h, error)) return out.Fail(ecUsage, error);
    if (!h.Name.isEmpty()) return out.Fail(ecUsage, TEn::tr("the name goes with --name"));
    if (a.Has("ssh") != a.Has("user") || (a.Has("password-file") && !a.Has("user")) || (a.Has("ssh") && !a.Has("password-file")))
      return out.Fail(ecUsage, TEn::tr("--ssh goes with --user U --password-file F"));
    if (NameProblem(a.Value("name"), error)) return out.Fail(ecUsage, QStringLiteral("--name: ") + error);
    if (a.Has("password-file")) {
      // Checked now, as every run will: a file others may read is refused here, not at 3 a.m.
      QString password, why;
      if (!ReadPasswordFile(a.Value("password-file"), password, why)) return out.Fail(ecUsage, why);
    }
    if (db.FindActive(h.Host, h.Port))
      return out.Fail(ecUsage, TEn::tr("%1 is in the inventory already").arg(AddressText(h.Host, h.Port)));
    TDeviceRow d;
    d.Host = h.Host;
    d.Port = h.Port;
    d.Name = a.Value("name");
    d.EverySeconds = every;
    d.Ssh = a.Has("ssh");
    d.SshUser = a.Value("user");
    // The path only: the password is read from it at each connection.
    d.PasswordFile = a.Has("password-file") ? QFileInfo(a.Value("password-file")).absoluteFilePath() : QString();
    d.TrustNewHostKey = a.Has("trust-new-host-key");
    if (!db.AddDevice(d)) return out.Fail(ecUsage, QStringLiteral("database: %1").arg(db.LastError()));
    out.Line(TEn::tr("added %1 (id %2)").arg(d.Address()).arg(d.Id));
    out.Result().insert(QStringLiteral("device"), DeviceJson(d));
    return out.Finish();
  }
  if (op == QLatin1String("list")) {
    if (a.Words.size() != 2) return out.Fail(ecUsage, TEn::tr("unexpected argument '%1'").arg(a.Words[2]));
    QJsonArray list;
    for (const TDeviceRow& d : db.Devices(true)) {
      list.append(DeviceJson(d));
      out.Line(TEn::tr("%1\t%2\t%3\t%4\tevery %5%6%7")
                   .arg(d.Id)
                   .arg(d.Address(), Or(d.Name), d.Serial ? QString::number(d.Serial) : QStringLiteral("-"),
                        DurationText(d.EverySeconds), d.Paused ? TEn::tr("\tpaused") : QString(),
                        d.ReplacedBy ? TEn::tr("\treplaced by %1").arg(d.ReplacedBy) : QString()));
    }
    if (list.isEmpty() && !out.Json()) out.Note(TEn::tr("no devices yet (vanta-fleet devices add HOST[:PORT])"));
    out.Result().insert(QStringLiteral("devices"), list);
    return out.Finish();
  }
  if (op == QLatin1String("trust")) {
    // A device's new SSH host key is taken at its next run (a changed key never is).
    if (a.Words.size() != 3) return out.Fail(ecUsage, TEn::tr("devices trust takes one HOST[:PORT]"));
    TDeviceRow d;
    QString error;
    if (!FindDevice(db, a.Words[2], d, error)) return out.Fail(ecUsage, error);
    if (!d.Ssh) return out.Fail(ecUsage, TEn::tr("%1 is not reached through SSH").arg(d.Address()));
    d.TrustNewHostKey = true;
    if (!db.UpdateInventory(d)) return out.Fail(ecUsage, QStringLiteral("database: %1").arg(db.LastError()));
    out.Line(TEn::tr("%1: a new host key is taken at the next run").arg(d.Address()));
    out.Result().insert(QStringLiteral("device"), DeviceJson(d));
    return out.Finish();
  }
  if (op == QLatin1String("rm") || op == QLatin1String("pause") || op == QLatin1String("resume")) {
    if (a.Words.size() != 3) return out.Fail(ecUsage, TEn::tr("devices %1 takes one HOST[:PORT]").arg(op));
    TDeviceRow d;
    QString error;
    if (!FindDevice(db, a.Words[2], d, error)) return out.Fail(ecUsage, error);
    const bool ok = op == QLatin1String("rm") ? db.RemoveDevice(d.Id) : db.SetPaused(d.Id, op == QLatin1String("pause"));
    if (!ok) return out.Fail(ecUsage, QStringLiteral("database: %1").arg(db.LastError()));
    if (op != QLatin1String("rm")) d.Paused = op == QLatin1String("pause");
    out.Line((op == QLatin1String("rm")      ? TEn::tr("removed %1")
              : op == QLatin1String("pause") ? TEn::tr("paused %1")
                                             : TEn::tr("resumed %1"))
                 .arg(d.Address()));
    out.Result().insert(QStringLiteral("device"), DeviceJson(d));
    out.Result().insert(QStringLiteral("removed"), op == QLatin1String("rm"));
    return out.Finish();
  }
  return out.Fail(ecUsage, op.isEmpty() ? TEn::tr("devices: missing import, add, list, rm, pause, resume or trust")
                                        : TEn::tr("devices: unknown operation '%1'").arg(op));
}

int Status(TOut& out, TFleetDb& db) {
  QJsonArray list;
  out.Line(TEn::tr("address\tname\tserial\tlast contact\tlast success\tfiles\tbytes\tfailures\tclock offset\tnext due"));
  for (const TDeviceSummary& s : db.Summaries()) {
    const TDeviceRow& d = s.Device;
    list.append(QJsonObject{{QStringLiteral("id"), d.Id},
                            {QStringLiteral("host"), d.Host},
                            {QStringLiteral("port"), d.Port},
                            {QStringLiteral("name"), d.Name},
                            {QStringLiteral("serial"), IdJson(d.Serial)},
                            {QStringLiteral("paused"), d.Paused},
                            {QStringLiteral("lastContact"), TimeJson(d.LastContact)},
                            {QStringLiteral("lastSuccess"), TimeJson(d.LastSuccess)},
                            {QStringLiteral("files"), s.Files},
                            {QStringLiteral("bytes"), s.Bytes},
                            {QStringLiteral("failures"), d.Failures},
                            {QStringLiteral("clockOffset"), s.ClockOffsetS ? QJsonValue(*s.ClockOffsetS) : QJsonValue(QJsonValue::Null)},
                            {QStringLiteral("nextDue"), d.Paused ? QJsonValue(QJsonValue::Null) : TimeJson(d.NextDue)}});
    out.Line(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\t%10")
                 .arg(d.Address(), Or(d.Name), d.Serial ? QString::number(d.Serial) : QStringLiteral("-"),
                      TimeText(d.LastContact), TimeText(d.LastSuccess))
                 .arg(s.Files)
                 .arg(s.Bytes)
                 .arg(d.Failures)
                 .arg(s.ClockOffsetS ? QStringLiteral("%1 s").arg(*s.ClockOffsetS) : QStringLiteral("-"),
                      d.Paused ? TEn::tr("paused") : d.NextDue.isValid() ? IsoUtc(d.NextDue) : TEn::tr("now")));
  }
  out.Result().insert(QStringLiteral("devices"), list);
  return out.Finish();
}

int Run(TOut& out, const TArgs& a, const QString& dbUrl, const QString& store) {
  if (a.Words.size() > 1) return out.Fail(ecUsage, TEn::tr("unexpected argument '%1'").arg(a.Words[1]));
  TRunOptions o;
  o.DbUrl = dbUrl;
  o.Store = store;
  o.Once = a.Has("once");
  o.Status = !a.Has("no-status");
  o.Worker = a.Has("worker-id") ? a.Value("worker-id") : DefaultWorkerId();
  bool ok = true;
  if (a.Has("parallel") && ((o.Parallel = a.Value("parallel").toInt(&ok)) < 1 || !ok))
    return out.Fail(ecUsage, TEn::tr("--parallel takes a number from 1"));
  if (a.Has("timeout") && ((o.TimeoutSec = a.Value("timeout").toInt(&ok)) < 1 || !ok))
    return out.Fail(ecUsage, TEn::tr("--timeout takes seconds from 1"));
  if (a.Has("keep-days") && ((o.KeepDays = a.Value("keep-days").toInt(&ok)) < 1 || !ok))
    return out.Fail(ecUsage, TEn::tr("--keep-days takes a number of days from 1"));
  if (a.Has("lease-seconds") && ((o.LeaseSeconds = a.Value("lease-seconds").toInt(&ok)) < 2 || !ok))
    return out.Fail(ecUsage, TEn::tr("--lease-seconds takes seconds from 2"));
  // SQLite serves one service: a second run on the same file would write the
  // same part files at the same time. Several workers need PostgreSQL.
  std::unique_ptr<QLockFile> runLock;
  TDbUrl url;
  QString urlError;  // told by the run itself, which opens the database
  if (ParseDbUrl(dbUrl, url, urlError) && !url.Postgres) {
    runLock = std::make_unique<QLockFile>(url.Path + QStringLiteral(".run-lock"));
    runLock->setStaleLockTime(0);  // a lock whose process is gone is taken over, however old
    if (!runLock->tryLock(0))
      return out.Fail(ecUsage, QStringLiteral("another 'vanta-fleet run' works on %1; SQLite serves one service at a time, "
                                              "several workers share a PostgreSQL database (--db postgresql://USER@HOST:PORT/DB)")
                                   .arg(url.Path));
  }
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);
  TRunReport report;
  QString error;
  if (!RunFleet(o, GStop, [&out](const QString& line) { out.Log(line); }, report, error))
    return out.Fail(ecUsage, error);
  QJsonArray runs;
  for (const TRunEntry& r : report.Runs)
    runs.append(QJsonObject{{QStringLiteral("deviceId"), r.Outcome.DeviceId},
                            {QStringLiteral("host"), r.Device.Host},
                            {QStringLiteral("port"), r.Device.Port},
                            {QStringLiteral("serial"), IdJson(r.Outcome.Serial)},
                            {QStringLiteral("result"), RunResultName(r.Outcome.Result)},
                            {QStringLiteral("filesNew"), r.Outcome.FilesNew},
                            {QStringLiteral("bytes"), r.Outcome.Bytes},
                            {QStringLiteral("message"), r.Outcome.Message},
                            {QStringLiteral("failures"), r.Outcome.Failures},
                            {QStringLiteral("nextDue"), TimeJson(r.Outcome.NextDue)}});
  out.Result().insert(QStringLiteral("worker"), o.Worker);
  out.Result().insert(QStringLiteral("runs"), runs);
  out.Result().insert(QStringLiteral("stopped"), report.Stopped);
  out.Result().insert(QStringLiteral("retained"), QJsonArray::fromStringList(report.Retained));
  out.Result().insert(QStringLiteral("dbWriteSeconds"), TFleetDb::WriteSeconds());
  out.Result().insert(QStringLiteral("dbReconnects"), TFleetDb::Reconnects());
  const int failed = report.Failed();
  int interrupted = 0;
  for (const TRunEntry& r : report.Runs) interrupted += r.Outcome.Result == TRunResult::rrInterrupted ? 1 : 0;
  const qsizetype read = report.Runs.size() - failed - interrupted;
  out.Line(TEn::tr("%1 read, %2 failed%3%4")
               .arg(read == 1 ? TEn::tr("1 device") : TEn::tr("%1 devices").arg(read))
               .arg(failed)
               .arg(interrupted ? TEn::tr(", %1 interrupted").arg(interrupted) : QString(),
                    report.Stopped ? TEn::tr(", stopped") : QString()));
  // A stop is what the operator asked for: exit 0. A pass that could not
  // read every device says so.
  return out.Finish(!report.Stopped && o.Once && failed > 0 ? ecFailed : ecDone);
}

// The web service: it reads the database only, so it runs beside `run`.
int Serve(TOut& out, const TArgs& a, const QString& dbUrl) {
  if (a.Words.size() > 1) return out.Fail(ecUsage, TEn::tr("unexpected argument '%1'").arg(a.Words[1]));
  TWebOptions o;
  o.DbUrl = dbUrl;
  if (a.Has("listen")) o.Listen = a.Value("listen");
  o.TokenFile = a.Value("token-file");
  TFleetWeb web(o);
  QString error;
  if (!web.Bind(error)) return out.Fail(ecUsage, error);
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);
  // Told at once (with the port a :0 got): scripts and tests wait for this line.
  out.Line(TEn::tr("listening on %1").arg(web.Url()));
  out.Result().insert(QStringLiteral("url"), web.Url());
  if (out.Json()) {
    out.Finish();
    std::fflush(stdout);
  }
  web.ServeUntil(GStop);
  out.Line(QStringLiteral("stopped"));
  return ecDone;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vanta-fleet"));
  TArgs a;
  QString error;
  const QStringList raw = app.arguments().mid(1);
  const bool json = raw.contains(QStringLiteral("--json"));
  if (raw.contains(QStringLiteral("--version"))) {
    std::printf("vanta-fleet %s\n", build::CVersion);
    return ecDone;
  }
  TOut out(json);
  // The service's log lines and documents are never translated; messages for
  // people follow the language, from the first one on.
  QString langError;
  const bool langOk = SetupLanguage(app.arguments(), QString(), langError);
  const QString tryHelp = TEn::tr("Try 'vanta-fleet --help' for more information.") + QLatin1Char('\n');
  if (!ParseArgs(raw, a, error)) {
    const int rc = out.Fail(ecUsage, error);
    std::fputs(tryHelp.toLocal8Bit().constData(), stderr);
    return rc;
  }
  if (a.Has("help")) {
    std::fputs(CUsage, stdout);
    return ecDone;
  }
  if (!langOk) return out.Fail(ecUsage, langError);
  const QString command = a.Words.value(0);
  if (command.isEmpty()) {
    std::fputs(CUsage, stderr);
    return out.Fail(ecUsage, TEn::tr("missing command"));
  }
  if (command != QLatin1String("devices") && command != QLatin1String("run") && command != QLatin1String("status") &&
      command != QLatin1String("serve")) {
    const int rc = out.Fail(ecUsage, TEn::tr("unknown command '%1'").arg(command));
    std::fputs(tryHelp.toLocal8Bit().constData(), stderr);
    return rc;
  }
  // By default the host's data folder: the host's offline window and
  // `vanta-cli offline` see what the service fetched.
  const QString store = QDir(a.Has("data-dir") ? a.Value("data-dir") : DefaultDataFolder()).absolutePath() + QLatin1Char('/');
  const QString dbUrl = a.Has("db") ? a.Value("db") : QStringLiteral("sqlite:") + store + QStringLiteral("fleet.sqlite");
  if (a.Has("db-password-file")) {
    QString password, why;
    if (!ReadPasswordFile(a.Value("db-password-file"), password, why)) return out.Fail(ecUsage, QStringLiteral("--db-password-file: ") + why);
    TFleetDb::SetPassword(password);
  }
  // Looking needs a database that is there: a mistyped path must not quietly make a new, empty one.
  // So does the service: a mistyped --data-dir would otherwise read nothing into a new database and call it done.
  static const QStringList CNeedsDevices{QStringLiteral("list"), QStringLiteral("rm"), QStringLiteral("pause"), QStringLiteral("resume"),
                                         QStringLiteral("trust")};
  const bool looking = command == QLatin1String("status") || command == QLatin1String("run") ||
                       (command == QLatin1String("devices") && CNeedsDevices.contains(a.Words.value(1)));
  if (TDbUrl url; looking && ParseDbUrl(dbUrl, url, error) && !url.Postgres && !QFileInfo::exists(url.Path))
    return out.Fail(ecUsage, TEn::tr("no fleet database at %1 ('devices add' or 'devices import' makes it)").arg(url.Path));
  // A store that cannot take files is told once, before any device is bothered or blamed.
  if (command == QLatin1String("run"))
    if (const QString problem = QDir().mkpath(store) ? FolderWriteProblem(store) : TEn::tr("the folder cannot be made");
        !problem.isEmpty())
      return out.Fail(ecUsage, TEn::tr("the store %1 cannot take files: %2").arg(store, problem));
  if (command == QLatin1String("run")) return Run(out, a, dbUrl, store);
  if (command == QLatin1String("serve")) return Serve(out, a, dbUrl);
  // Bad input leaves no new, empty database behind: a bad interval, a file that cannot be imported.
  if (a.Has("every")) {
    const qint64 seconds = ParseDuration(a.Value("every"), error);
    if (seconds < 0) return out.Fail(ecUsage, QStringLiteral("--every: ") + error);
  }
  if (command == QLatin1String("devices") && a.Words.value(1) == QLatin1String("import") && a.Words.size() == 3) {
    QFile f(a.Words[2]);
    QList<THostLine> hosts;
    if (!f.open(QIODevice::ReadOnly)) return out.Fail(ecUsage, QStringLiteral("%1: %2").arg(a.Words[2], f.errorString()));
    if (!ParseHostsText(QString::fromUtf8(f.readAll()), a.Words[2], hosts, error)) return out.Fail(ecUsage, error);
  }
  TFleetDb db;
  if (!db.Open(dbUrl, error)) return out.Fail(ecUsage, error);
  if (command == QLatin1String("devices")) return Devices(out, db, a);
  if (a.Words.size() > 1) return out.Fail(ecUsage, TEn::tr("unexpected argument '%1'").arg(a.Words[1]));
  return Status(out, db);
}
