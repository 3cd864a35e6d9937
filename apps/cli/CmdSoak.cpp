// vanta-cli soak: one session kept busy for a long time (a live stream, and
// every few seconds a list download, a parameter read and a Lua statement)
// while the client samples its own memory, open files and threads. Ends
// with a verdict on their growth; bench/soak.sh runs it and draws the curves.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>

#include "CliSession.h"
#include "Language.h"

namespace vanta::cli {

namespace {

struct TSample {
  double Sec = 0;
  double RssMiB = 0;
  int Fds = 0;
  int Threads = 0;
  int64_t Records = 0;
};

TSample Measure(double sec, int64_t records) {
  TSample s{sec, 0, 0, 0, records};
  QFile f(QStringLiteral("/proc/self/status"));
  if (f.open(QIODevice::ReadOnly))
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (line.startsWith("VmRSS:")) s.RssMiB = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
      if (line.startsWith("Threads:")) s.Threads = line.mid(8).trimmed().toInt();
    }
  s.Fds = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
  return s;
}

int Run(TCliSession& s, const TCliArgs& a) {
  const int seconds = a.Value(QStringLiteral("seconds")).toInt();
  const int every = a.Has(QStringLiteral("sample-every")) ? a.Value(QStringLiteral("sample-every")).toInt() : 60;
  TComUnit& u = s.Unit();
  TCliOutput& out = s.Out();
  int64_t records = 0, cycles = 0, failures = 0;
  u.FOnStreamRecord = [&records](QObject*, const TStreamRecordView&) { ++records; };
  u.SendCommand(ccci::TCcci::STREAM_START, DataObjId(TDataObjKind(4)));
  QFile csv(a.Value(QStringLiteral("samples")));
  if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate)) return CannotWrite(s, csv.fileName());
  csv.write("time,RSS [MiB],FDs [n],Threads [n]\n");
  std::vector<TSample> samples;
  QElapsedTimer t;
  t.start();
  qint64 nextSample = 0;
  while (t.elapsed() < qint64(seconds) * 1000 && !s.ConnectionLost()) {
    if (t.elapsed() >= nextSample) {
      const TSample m = Measure(t.elapsed() / 1000.0, records);
      samples.push_back(m);
      csv.write(QStringLiteral("%1,%2,%3,%4\n").arg(m.Sec, 0, 'f', 1).arg(m.RssMiB, 0, 'f', 2).arg(m.Fds).arg(m.Threads).toUtf8());
      csv.flush();
      out.Diagnostic(TEn::tr("%1 s: %2 MiB, %3 files, %4 threads, %5 records, %6 cycles")
                         .arg(m.Sec, 0, 'f', 0).arg(m.RssMiB, 0, 'f', 1).arg(m.Fds).arg(m.Threads).arg(records).arg(cycles));
      nextSample += qint64(every) * 1000;
    }
    // One cycle of the periodic work beside the stream.
    QByteArray list;
    if (!FetchListText(s, true, list)) ++failures;
    QString got;
    u.FOnNewXMLFile = [&got](QObject*, const QString& f, int32_t) { got = f; };
    if (!s.Request(ccci::TCcci::SETUP_RD_ALL, [&] { u.SendCommand(ccci::TCcci::SETUP_RD_ALL); }) || got.isEmpty()) ++failures;
    u.FOnNewXMLFile = nullptr;
    QString text;
    bool failed = false;
    if (!s.Lua(QStringLiteral("print(uti.version())"), text, failed) || failed) ++failures;
    ++cycles;
    SpinUntil([] { return false; }, 3000);
  }
  u.FOnStreamRecord = nullptr;
  u.SendCommand(ccci::TCcci::STREAM_STOP);
  // Growth after the warm-up (the first fifth): the mean of the last three
  // samples against the mean of the first three after it.
  QJsonObject& r = out.Result();
  r.insert(QStringLiteral("cycles"), qint64(cycles));
  r.insert(QStringLiteral("records"), qint64(records));
  r.insert(QStringLiteral("failures"), qint64(failures));
  const size_t n = samples.size(), from = n / 5;
  if (n - from < 6) {
    out.Error(TTr::tr("zu wenige Messpunkte (%1) für ein Urteil").arg(n));
    return ecUsage;
  }
  auto mean = [&](size_t at, auto field) {
    double v = 0;
    for (size_t i = at; i < at + 3; ++i) v += field(samples[i]);
    return v / 3;
  };
  const double rss0 = mean(from, [](const TSample& x) { return x.RssMiB; }), rss1 = mean(n - 3, [](const TSample& x) { return x.RssMiB; });
  const double fd0 = mean(from, [](const TSample& x) { return double(x.Fds); }), fd1 = mean(n - 3, [](const TSample& x) { return double(x.Fds); });
  const double th0 = mean(from, [](const TSample& x) { return double(x.Threads); }), th1 = mean(n - 3, [](const TSample& x) { return double(x.Threads); });
  const bool ok = rss1 - rss0 <= std::max(8.0, 0.1 * rss0) && fd1 - fd0 <= 4 && th1 - th0 <= 2 && !s.ConnectionLost();
  r.insert(QStringLiteral("rssGrowthMiB"), rss1 - rss0);
  r.insert(QStringLiteral("fdGrowth"), fd1 - fd0);
  r.insert(QStringLiteral("threadGrowth"), th1 - th0);
  r.insert(QStringLiteral("flat"), ok);
  out.Line(TEn::tr("%1 cycles, %2 records, %3 failures; RSS %4 → %5 MiB, files %6 → %7, threads %8 → %9: %10")
               .arg(cycles).arg(records).arg(failures)
               .arg(rss0, 0, 'f', 1).arg(rss1, 0, 'f', 1).arg(fd0, 0, 'f', 0).arg(fd1, 0, 'f', 0).arg(th0, 0, 'f', 0).arg(th1, 0, 'f', 0)
               .arg(ok ? TTr::tr("flach") : TTr::tr("WÄCHST")));
  return ok && failures == 0 ? int(ecDone) : int(ecRefused);
}

}  // namespace

TCliCommand SoakCommand() {
  auto opt = [](const char* n, bool v) { return TOptionSpec{{QLatin1String(n)}, v}; };
  return TCliCommand{QStringLiteral("soak"),
                     QStringLiteral("soak --seconds N --samples FILE.csv [--sample-every S]"),
                     {opt("seconds", true), opt("samples", true), opt("sample-every", true)},
                     [](const TCliArgs& a) {
                       bool ok = false;
                       if (!a.Args.isEmpty()) return Unexpected(a.Args[0]);
                       if (a.Value(QStringLiteral("seconds")).toInt(&ok) < 10 || !ok)
                         return TArgProblem::Usage(TEn::tr("--seconds needs at least 10"));
                       if (!a.Has(QStringLiteral("samples"))) return Missing(TEn::tr("--samples FILE.csv"));
                       if (a.Has(QStringLiteral("sample-every")) && (a.Value(QStringLiteral("sample-every")).toInt(&ok) < 1 || !ok))
                         return TArgProblem::Usage(TEn::tr("--sample-every needs seconds, at least 1"));
                       return TArgProblem::None();
                     },
                     [](TCliSession& s, const TCliArgs& a) { return Run(s, a); }};
}

}  // namespace vanta::cli
