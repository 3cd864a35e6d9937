// Throughput of the fleet service against a simulated fleet: one
// `vanta-fleet run --once --parallel P` on a fresh store and database
// against `vanta-sim --devices N --rate R`, each device holding K recordings
// of M MB and E more event files besides its default set.
//
// Reported per device count, as ratios of one run:
//   * bytes moved / wall time against the ideal, sum of bytes / (P × R)
//     (P is the number of links the service may use at once; with fewer
//     devices than P, the devices);
//   * CPU of the service and the simulator (user + sys) beside it, as cores
//     and as a share of the machine;
//   * the service's peak resident memory; with two device counts the growth
//     from the first to the second;
//   * the service's time inside its database writes (its own counter,
//     "dbWriteSeconds" of `run --json`, summed over the readouts running
//     side by side) as a share of the readouts' time (P × wall) and of the
//     wall time.
//
//   bench_fleet [--devices 50[,200]] [--recordings 5] [--recording-mb 1] [--events 20]
//               [--rate 2000000] [--parallel 16]
//   bench_fleet --workers K [--devices 32] [--parallel 8] [--claim-devices 10000] ...
//
// With --workers the database is a throwaway PostgreSQL cluster
// (tests/tools/pg_cluster.sh): one worker with --parallel P against K worker
// processes with P each, on the same simulated fleet, as bytes per second of
// the one against the K; then the time of one claim of P devices from a
// table of --claim-devices devices (median of 50).
//
// Use the release build: sanitizers change every figure. Files go below
// TMPDIR (tmpfs, e.g. TMPDIR=/dev/shm, keeps the disk out of the figures);
// the simulator's roots and the store together take twice the bytes moved.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "FleetDb.h"

namespace {

struct TConfig {
  QList<int> Devices{50};
  int Recordings = 5;
  double RecordingMb = 1;
  int Events = 20;
  qint64 Rate = 2000000;
  int Parallel = 16;
  int Workers = 0;  // 0: one service on SQLite
  int ClaimDevices = 10000;
};

// The PostgreSQL cluster of a --workers run.
struct TPg {
  QString State, UrlBase, PasswordFile;
  bool Start(const QString& dir) {
    State = dir + QStringLiteral("/pg.state");
    QProcess p;
    p.start(QStringLiteral("bash"), {QStringLiteral(VANTA_SOURCE_DIR "/tests/tools/pg_cluster.sh"), QStringLiteral("start"), State});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
      std::fprintf(stderr, "PostgreSQL did not start: %s\n", p.readAllStandardError().constData());
      return false;
    }
    QFile f(State);
    if (!f.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& l : f.readAll().split('\n')) {
      if (l.startsWith("PG_URL_BASE=")) UrlBase = QString::fromUtf8(l.mid(12));
      if (l.startsWith("PG_PASSWORD_FILE=")) PasswordFile = QString::fromUtf8(l.mid(17));
    }
    return !UrlBase.isEmpty();
  }
  ~TPg() {
    if (State.isEmpty()) return;
    QProcess p;
    p.start(QStringLiteral("bash"), {QStringLiteral(VANTA_SOURCE_DIR "/tests/tools/pg_cluster.sh"), QStringLiteral("stop"), State});
    p.waitForFinished(60000);
  }
  // A fresh database for one run.
  QString NewDb(const QString& name) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), QString::fromUtf8(ReadFile(PasswordFile)).trimmed());
    p.setProcessEnvironment(env);
    const QUrl u(UrlBase);
    p.start(QStringLiteral("psql"), {QStringLiteral("-qAt"), QStringLiteral("-h"), u.host(), QStringLiteral("-p"), QString::number(u.port()),
                                     QStringLiteral("-U"), u.userName(), QStringLiteral("-d"), QStringLiteral("postgres"), QStringLiteral("-c"),
                                     QStringLiteral("CREATE DATABASE %1").arg(name)});
    p.waitForFinished(60000);
    return UrlBase + QLatin1Char('/') + name;
  }
  static QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};

struct TResult {
  int Devices = 0;
  qint64 Bytes = 0;
  int Files = 0, Failed = 0;
  double Wall = 0, FleetCpu = 0, SimCpu = 0, DbWrite = 0, Ideal = 0;
  long PeakRssKb = 0;
};

// User + system seconds of a running process, from /proc.
double ProcCpuSeconds(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QByteArray stat = f.readAll();
  // Fields after the command (which may hold blanks) in parentheses.
  const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
  if (fields.size() < 13) return 0;
  const double tick = double(sysconf(_SC_CLK_TCK));
  return (fields[11].toDouble() + fields[12].toDouble()) / tick;  // utime, stime
}

// Runs a program to its end with its own resource use (wait4), stdout into `out`.
int RunMeasured(const QStringList& argv, QByteArray& out, rusage& use, double& wall) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return -1;
  std::vector<QByteArray> args;
  for (const QString& a : argv) args.push_back(a.toLocal8Bit());
  std::vector<char*> raw;
  for (QByteArray& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);
  QElapsedTimer clock;
  clock.start();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], STDOUT_FILENO);
    close(pipeFd[0]);
    close(pipeFd[1]);
    execv(raw[0], raw.data());
    _exit(127);
  }
  close(pipeFd[1]);
  char buf[65536];
  for (ssize_t n; (n = read(pipeFd[0], buf, sizeof buf)) > 0;) out.append(buf, n);
  close(pipeFd[0]);
  int status = 0;
  wait4(pid, &status, 0, &use);
  wall = double(clock.nsecsElapsed()) / 1e9;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunOnce(const TConfig& c, int devices, TResult& r, TPg* pg = nullptr, int workers = 1, const QString& dbName = {}) {
  r.Devices = devices;
  QTemporaryDir work;
  if (!work.isValid()) return false;
  const QString simRoot = work.filePath(QStringLiteral("sim")), store = work.filePath(QStringLiteral("store"));
  QProcess sim;
  sim.setProgram(QStringLiteral(VANTA_SIM_PATH));
  sim.setArguments({QStringLiteral("--devices"), QString::number(devices), QStringLiteral("--port"), QStringLiteral("0"),
                    QStringLiteral("--text-interval"), QStringLiteral("0"), QStringLiteral("--rate"), QString::number(c.Rate),
                    QStringLiteral("--root"), simRoot, QStringLiteral("--recordings"), QString::number(c.Recordings),
                    QStringLiteral("--recording-mb"), QString::number(c.RecordingMb), QStringLiteral("--events"), QString::number(c.Events)});
  sim.start();
  if (!sim.waitForStarted(5000)) return false;
  // Every device line, then every root filled: the fill is not what is measured.
  const QRegularExpression line(QStringLiteral("^device (\\d+) serial (\\d+) port (\\d+)$"), QRegularExpression::MultilineOption);
  QByteArray out, err;
  QElapsedTimer wait;
  wait.start();
  while (wait.elapsed() < 1800 * 1000 && !err.contains("device roots filled")) {
    sim.waitForReadyRead(200);
    out += sim.readAllStandardOutput();
    err += sim.readAllStandardError();
    if (sim.state() != QProcess::Running) {
      std::fprintf(stderr, "vanta-sim ended: %s\n", err.constData());
      return false;
    }
  }
  QByteArray hosts;
  for (auto it = line.globalMatch(QString::fromLatin1(out)); it.hasNext();) hosts += "127.0.0.1:" + it.next().captured(3).toLatin1() + '\n';
  if (hosts.count('\n') != devices) {
    std::fprintf(stderr, "expected %d device lines, got %lld\n", devices, static_cast<long long>(hosts.count('\n')));
    return false;
  }
  QFile hostsFile(work.filePath(QStringLiteral("hosts.txt")));
  if (!hostsFile.open(QIODevice::WriteOnly) || hostsFile.write(hosts) != hosts.size()) return false;
  hostsFile.close();
  QStringList common{QStringLiteral("--data-dir"), store};
  if (pg) common << QStringLiteral("--db") << pg->NewDb(dbName) << QStringLiteral("--db-password-file") << pg->PasswordFile;
  QProcess import;
  import.start(QStringLiteral(VANTA_FLEET_PATH), common + QStringList{QStringLiteral("devices"), QStringLiteral("import"), hostsFile.fileName()});
  if (!import.waitForFinished(60000) || import.exitCode() != 0) return false;

  const double simBefore = ProcCpuSeconds(sim.processId());
  // The workers side by side, each measured on its own thread; the wall
  // time is the last one's end.
  struct TWorker {
    QByteArray Doc;
    rusage Use{};
    double Wall = 0;
    int Exit = 0;
  };
  std::vector<TWorker> w(size_t(std::max(1, workers)));
  std::vector<QThread*> threads;
  QElapsedTimer wall;
  wall.start();
  for (size_t i = 0; i < w.size(); ++i) {
    const QStringList argv = QStringList{QStringLiteral(VANTA_FLEET_PATH)} + common +
                             QStringList{QStringLiteral("--json"), QStringLiteral("run"), QStringLiteral("--once"), QStringLiteral("--parallel"),
                                         QString::number(c.Parallel), QStringLiteral("--worker-id"), QStringLiteral("bench-%1").arg(i)};
    threads.push_back(QThread::create([argv, &w, i] { w[i].Exit = RunMeasured(argv, w[i].Doc, w[i].Use, w[i].Wall); }));
    threads.back()->start();
  }
  for (QThread* t : threads) {
    t->wait();
    delete t;
  }
  r.Wall = double(wall.nsecsElapsed()) / 1e9;
  r.SimCpu = ProcCpuSeconds(sim.processId()) - simBefore;
  sim.terminate();
  sim.waitForFinished(10000);
  for (const TWorker& k : w) {
    r.FleetCpu += double(k.Use.ru_utime.tv_sec + k.Use.ru_stime.tv_sec) + double(k.Use.ru_utime.tv_usec + k.Use.ru_stime.tv_usec) / 1e6;
    r.PeakRssKb = std::max(r.PeakRssKb, k.Use.ru_maxrss);
    const QJsonObject o = QJsonDocument::fromJson(k.Doc).object();
    for (const QJsonValue& v : o.value(QStringLiteral("runs")).toArray()) {
      const QJsonObject run = v.toObject();
      r.Bytes += run.value(QStringLiteral("bytes")).toInteger();
      r.Files += run.value(QStringLiteral("filesNew")).toInt();
      r.Failed += run.value(QStringLiteral("result")).toString() == QLatin1String("ok") ? 0 : 1;
    }
    r.DbWrite += o.value(QStringLiteral("dbWriteSeconds")).toDouble();
    if (k.Exit != 0) std::fprintf(stderr, "vanta-fleet exit %d\n", k.Exit);
  }
  r.Ideal = double(r.Bytes) / (double(std::min(c.Parallel * int(w.size()), devices)) * double(c.Rate));
  return true;
}

// The claim of `parallel` devices from a table of `n`, as a worker does it
// once a second: median and worst of 50, each claim released again.
void TimeClaims(TPg& pg, int n, int parallel) {
  using namespace vanta::fleet;
  TFleetDb::SetPassword(QString::fromUtf8(TPg::ReadFile(pg.PasswordFile)).trimmed());
  TFleetDb db;
  QString error;
  if (!db.Open(pg.NewDb(QStringLiteral("claims")), error)) {
    std::fprintf(stderr, "claims: %s\n", qPrintable(error));
    return;
  }
  // Half of them due, half read a while ago and due later, as in a running fleet.
  QSqlQuery q(db.Db());
  if (!q.exec(QStringLiteral("INSERT INTO devices (host, port, every_seconds, next_due) SELECT '10.1.' || (i / 250) || '.' || (i % 250), 5040, "
                             "900, CASE WHEN i % 2 = 0 THEN now() - interval '1 minute' ELSE now() + interval '10 minutes' END "
                             "FROM generate_series(1, %1) AS i").arg(n)) ||
      !q.exec(QStringLiteral("ANALYZE devices"))) {
    std::fprintf(stderr, "claims: %s\n", qPrintable(q.lastError().text()));
    return;
  }
  std::vector<double> ms;
  // The first claim of a fresh connection plans the statement; a worker
  // claims once a second on the same connection, so that one is not counted.
  for (int i = -1; i < 50; ++i) {
    QElapsedTimer t;
    t.start();
    const QList<TDeviceRow> got = db.ClaimDevices(QStringLiteral("bench"), parallel, 60, QDateTime::currentDateTimeUtc());
    if (i >= 0) ms.push_back(double(t.nsecsElapsed()) / 1e6);
    if (got.size() != parallel) std::fprintf(stderr, "claims: %lld devices instead of %d\n", static_cast<long long>(got.size()), parallel);
    // Read and released: not due again for a while, like after a readout.
    for (const TDeviceRow& d : got) {
      db.NoteSuccess(d.Id, QDateTime::currentDateTimeUtc(), QDateTime::currentDateTimeUtc().addSecs(900));
      db.ReleaseLease(d.Id, QStringLiteral("bench"));
    }
  }
  std::sort(ms.begin(), ms.end());
  std::printf("claim of %d devices from %d: median %.2f ms, 95th percentile %.2f ms, worst %.2f ms (target < 5 ms)\n", parallel, n,
              ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
}

bool ParseArgs(const QStringList& args, TConfig& c) {
  for (int i = 1; i + 1 < args.size(); i += 2) {
    const QString& k = args[i];
    const QString& v = args[i + 1];
    bool ok = true;
    if (k == QLatin1String("--devices")) {
      c.Devices.clear();
      for (const QString& n : v.split(QLatin1Char(','))) c.Devices << n.toInt(&ok);
    } else if (k == QLatin1String("--recordings")) {
      c.Recordings = v.toInt(&ok);
    } else if (k == QLatin1String("--recording-mb")) {
      c.RecordingMb = v.toDouble(&ok);
    } else if (k == QLatin1String("--events")) {
      c.Events = v.toInt(&ok);
    } else if (k == QLatin1String("--rate")) {
      c.Rate = v.toLongLong(&ok);
    } else if (k == QLatin1String("--parallel")) {
      c.Parallel = v.toInt(&ok);
    } else if (k == QLatin1String("--workers")) {
      c.Workers = v.toInt(&ok);
      ok = ok && c.Workers >= 1;
    } else if (k == QLatin1String("--claim-devices")) {
      c.ClaimDevices = v.toInt(&ok);
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return args.size() % 2 == 1;
}

void PrintCpu(const TResult& r, long cores) {
  const double cpu = r.FleetCpu + r.SimCpu;
  std::printf("              CPU: fleet %.2f s + sim %.2f s = %.2f cores = %.0f %% of the machine\n", r.FleetCpu, r.SimCpu, cpu / r.Wall,
              100.0 * cpu / r.Wall / double(cores));
}

// One worker against K on PostgreSQL, then the claim query.
int RunWorkers(TConfig c, long cores) {
  if (c.Devices == QList<int>{50}) c.Devices = {64};
  if (c.Parallel == 16) c.Parallel = 8;
  const int n = c.Devices.front();
  std::printf("bench_fleet: %d devices with %d recordings of %.2f MB and %d more event files, --rate %lld, --parallel %d per worker, %ld cores\n",
              n, c.Recordings, c.RecordingMb, c.Events, static_cast<long long>(c.Rate), c.Parallel, cores);
  QTemporaryDir dir;
  TPg pg;
  if (!pg.Start(dir.path())) return 1;
  TResult one, many;
  if (!RunOnce(c, n, one, &pg, 1, QStringLiteral("one")) || !RunOnce(c, n, many, &pg, c.Workers, QStringLiteral("many"))) {
    std::fprintf(stderr, "bench_fleet: a run could not be made\n");
    return 1;
  }
  for (const auto& [r, k] : {std::pair<const TResult&, int>(one, 1), std::pair<const TResult&, int>(many, c.Workers)}) {
    std::printf("%d worker(s): %d files, %.1f MB in %.2f s = %.2f MB/s; achieved/ideal %.2f%s\n", k, r.Files, double(r.Bytes) / 1048576.0, r.Wall,
                double(r.Bytes) / 1048576.0 / r.Wall, r.Ideal / r.Wall, r.Failed ? " [runs failed]" : "");
    PrintCpu(r, cores);
  }
  std::printf("%d workers / 1 worker: %.2f x the bytes per second (target >= 1.6)\n", c.Workers,
              (double(many.Bytes) / many.Wall) / (double(one.Bytes) / one.Wall));
  TimeClaims(pg, c.ClaimDevices, c.Parallel);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  TConfig c;
  if (!ParseArgs(app.arguments(), c)) {
    std::fputs("usage: bench_fleet [--devices 50[,200]] [--recordings 5] [--recording-mb 1] [--events 20] [--rate 2000000] [--parallel 16]\n"
               "       bench_fleet --workers K [--claim-devices 10000] [same options]\n", stderr);
    return 2;
  }
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  if (c.Workers > 0) return RunWorkers(c, cores);
  std::printf("bench_fleet: %d recordings of %.2f MB and %d more event files a device, --rate %lld, --parallel %d, %ld cores\n",
              c.Recordings, c.RecordingMb, c.Events, static_cast<long long>(c.Rate), c.Parallel, cores);
  QList<TResult> results;
  for (int n : c.Devices) {
    TResult r;
    if (!RunOnce(c, n, r)) {
      std::fprintf(stderr, "bench_fleet: the run with %d devices could not be made\n", n);
      return 1;
    }
    std::printf("%4d devices: %d files, %.1f MB in %.2f s = %.2f MB/s; ideal %.2f s; achieved/ideal %.2f (target >= 0.70)%s\n", n, r.Files,
                double(r.Bytes) / 1048576.0, r.Wall, double(r.Bytes) / 1048576.0 / r.Wall, r.Ideal, r.Ideal / r.Wall,
                r.Failed ? " [runs failed]" : "");
    PrintCpu(r, cores);
    std::printf("              fleet peak RSS %.1f MB; db writes %.2f s = %.1f %% of the readouts' time (%d x wall), %.1f %% of wall (target <= 10 %%)\n",
                double(r.PeakRssKb) / 1024.0, r.DbWrite, 100.0 * r.DbWrite / (r.Wall * std::min(c.Parallel, n)), std::min(c.Parallel, n),
                100.0 * r.DbWrite / r.Wall);
    std::fflush(stdout);
    results << r;
  }
  if (results.size() >= 2)
    std::printf("fleet peak RSS %d -> %d devices: %.1f -> %.1f MB, %+.1f %% (target within 10 %%)\n", results.front().Devices, results.back().Devices,
                double(results.front().PeakRssKb) / 1024.0, double(results.back().PeakRssKb) / 1024.0,
                100.0 * (double(results.back().PeakRssKb) / double(results.front().PeakRssKb) - 1.0));
  return 0;
}
