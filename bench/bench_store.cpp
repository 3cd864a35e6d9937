// The offline store's scan over many files, against a raw walk of the same
// folders that looks at each file once.
//
//   bench_store [FILES=100000] [STATIONS=20]
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "BenchSetup.h"
#include "OfflineStore.h"
#include "RecordFile.h"

using namespace vanta;
using vanta::bench::TimeMs;

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
  const int stations = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
  QTemporaryDir dir;
  TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  for (int s = 0; s < stations; ++s) {
    const uint32_t sn = 10000000u + uint32_t(s);
    TRecordWriter w(TRecordKind::rkRecording, {sn, 3600, false, QStringLiteral("Anlage %1").arg(s % 4), QStringLiteral("Feld"),
                                               QStringLiteral("Geraet %1").arg(sn)},
                    ctx);
    const QString rec = dir.filePath(QStringLiteral("%1/Recorder").arg(sn));
    QDir().mkpath(rec);
    QDir().mkpath(dir.filePath(QStringLiteral("%1/Event").arg(sn)));
    for (int i = 0; i < files / stations; ++i) {
      QFile f(QStringLiteral("%1/10min-%2-%3-000.log").arg(rec).arg(sn).arg(1700000000 + i * 600));
      if (f.open(QIODevice::WriteOnly)) f.write(w.Bytes());
    }
  }
  qint64 seen = 0;
  const double raw = TimeMs([&] {
    seen = 0;
    QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      it.next();
      seen += it.fileInfo().size() > 0 ? 1 : 0;
    }
  }, 3);
  int found = 0;
  const double scan = TimeMs([&] { found = int(ScanStore(dir.path()).size()); }, 3);
  std::printf("store of %lld files in %d stations (%d found)\n", seen, stations, found);
  std::printf("  raw walk, each file looked at once %8.1f ms\n", raw);
  std::printf("  scan of the store                  %8.1f ms   ratio %.2f (target <= 1.5)\n", scan, scan / raw);
  return 0;
}
