// The EN 50160 report over generated 10-minute data of 200 quantities: a
// month in daily files, a year in daily files and a year in one file, each
// run as its own `vanta-cli report` process so its peak memory can be read.
// The report streams when the year needs no more memory than the month.
//
//   bench_report [QUANTITIES=200]
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <fcntl.h>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "RecordFile.h"

extern char** environ;

using namespace vanta;

namespace {

constexpr uint32_t CStart = 1735516800;  // Monday 2024-12-30
constexpr int CDayRows = 144;

QList<TRecordChannel> Channels(int quantities) {
  QList<TRecordChannel> c;
  for (int k = 0; k < 3; ++k) c << TRecordChannel{uint32_t(k), 0, QStringLiteral("V"), QStringLiteral("U L%1").arg(k + 1)};
  c << TRecordChannel{3, 0, QStringLiteral("Hz"), QStringLiteral("Frequenz")};
  for (int k = 0; k < 3; ++k) c << TRecordChannel{uint32_t(4 + k), 0, QString(), QStringLiteral("Plt L%1").arg(k + 1)};
  c << TRecordChannel{7, 0, QStringLiteral("%"), QStringLiteral("Unsymmetrie U")};
  for (int k = 0; k < 3; ++k) c << TRecordChannel{uint32_t(8 + k), 0, QStringLiteral("%"), QStringLiteral("THD U L%1").arg(k + 1)};
  for (int k = 0; k < 3; ++k)
    for (int h = 2; h <= 25 && c.size() < quantities; ++h)
      c << TRecordChannel{uint32_t(c.size()), 0, QStringLiteral("%"), QStringLiteral("H%1 U L%2").arg(h).arg(k + 1)};
  while (c.size() < quantities) c << TRecordChannel{uint32_t(c.size()), 0, QStringLiteral("A"), QStringLiteral("I %1").arg(c.size())};
  return c;
}

// `days` days of rows from CStart, `perFile` days in each file.
QStringList Generate(const QString& dir, int days, int perFile, int quantities) {
  QDir().mkpath(dir);
  const QList<TRecordChannel> channels = Channels(quantities);
  QStringList files;
  for (int d0 = 0; d0 < days; d0 += perFile) {
    TContextHeader ctx;
    ctx.Class = QStringLiteral("10min");
    ctx.IntervalMs = 600000;
    ctx.Start = {CStart + uint32_t(d0) * 86400, 0};
    ctx.Channels = channels;
    TRecordWriter w(TRecordKind::rkRecording, {4711, 3600, false, QStringLiteral("Bench"), QStringLiteral("F"), QStringLiteral("Geraet")}, ctx);
    for (int i = 0; i < std::min(perFile, days - d0) * CDayRows; ++i) {
      const int row = d0 * CDayRows + i;
      TRecRow r{{CStart + uint32_t(row) * 600, 0}, {}};
      r.Values.reserve(quantities);
      for (int c = 0; c < quantities; ++c) r.Values << float(1.0 + 0.1 * std::sin(row * 0.01 + c));
      for (int k = 0; k < 3; ++k) r.Values[k] = float(230 + 5 * std::sin(row * 0.003 + k));
      r.Values[3] = float(50 + 0.05 * std::sin(row * 0.07));
      w.Add(r);
    }
    files << QStringLiteral("%1/10min-4711-%2-000.log").arg(dir).arg(ctx.Start.Sec);
    QString error;
    if (!w.Save(files.last(), error)) std::fprintf(stderr, "%s\n", qPrintable(error));
  }
  return files;
}

struct TRun {
  double Ms = 0;
  long PeakKb = 0;
  int Exit = -1;
};

TRun Report(const QStringList& files, const QString& pdf) {
  std::vector<QByteArray> args{QByteArray(VANTA_CLI_PATH), "report", "en50160"};
  for (const QString& f : files) args.push_back(f.toUtf8());
  args.push_back("--pdf");
  args.push_back(pdf.toUtf8());
  std::vector<char*> argv;
  for (QByteArray& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  QElapsedTimer t;
  t.start();
  pid_t pid = 0;
  TRun r;
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return r;
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  r.Ms = double(t.nsecsElapsed()) / 1e6;
  r.PeakKb = ru.ru_maxrss;
  r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

qint64 Bytes(const QStringList& files) {
  qint64 n = 0;
  for (const QString& f : files) n += QFileInfo(f).size();
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int quantities = argc > 1 ? std::max(20, atoi(argv[1])) : 200;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dir;
  const QStringList month = Generate(dir.filePath(QStringLiteral("month")), 31, 1, quantities);
  const QStringList year = Generate(dir.filePath(QStringLiteral("year")), 365, 1, quantities);
  const QStringList single = Generate(dir.filePath(QStringLiteral("single")), 365, 365, quantities);
  std::printf("EN 50160 report, %d quantities, 10-minute rows\n", quantities);
  const struct {
    const char* Name;
    const QStringList& Files;
  } cases[] = {{"month, 31 daily files  ", month}, {"year, 365 daily files  ", year}, {"year, one file         ", single}};
  long monthKb = 0;
  for (const auto& c : cases) {
    const TRun r = Report(c.Files, dir.filePath(QStringLiteral("out.pdf")));
    if (monthKb == 0) monthKb = r.PeakKb;
    std::printf("  %s %6lld rows %7.1f MB  %8.1f ms  peak %7.1f MB  ratio to month %.2f%s\n", c.Name,
                qlonglong(c.Files.size() == 1 ? 365 * CDayRows : c.Files.size() * CDayRows), double(Bytes(c.Files)) / 1e6, r.Ms,
                double(r.PeakKb) / 1024, double(r.PeakKb) / double(std::max(1L, monthKb)), r.Exit == 0 ? "" : "  FAILED");
  }
  std::printf("  target: the year's peak within 1.2x of the month's (the report streams; holding the year's values\n"
              "  would add about %.0f MB)\n", double(Bytes(single)) / 1e6);
  return 0;
}
