// The readout's costs, each against a baseline in the same run:
//  - the tree of 10,000 device files with their on-disk state, against one
//    raw listing of the local folder;
//  - the first 100 rows of a large recording, against reading its header.
//
//   bench_readout [FILES=10000] [MB=200]
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "BenchSetup.h"
#include "Readout.h"
#include "RecordFile.h"

using namespace vanta;

using vanta::bench::TimeMs;

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
  const int mb = argc > 2 ? std::max(1, atoi(argv[2])) : 200;
  QTemporaryDir dir;
  TReadoutPlace place;
  place.EventDir = dir.filePath(QStringLiteral("Event/"));
  place.RecorderDir = dir.filePath(QStringLiteral("Recorder/"));
  QDir().mkpath(place.EventDir);
  QDir().mkpath(place.RecorderDir);
  // Half of the listed files are on disk already.
  QString list;
  for (int i = 0; i < files; ++i) {
    const QString name = QStringLiteral("10min-12345678-%1-000.log").arg(1700000000 + i * 600);
    list += QStringLiteral("sync/%1;%2;4096\n").arg(name).arg(1700000600 + i * 600);
    if (i % 2 == 0) {
      QFile f(place.RecorderDir + name);
      if (f.open(QIODevice::WriteOnly)) f.write(QByteArray(4096, 'x'));
    }
  }
  const QList<TListLine> lines = ParseListText(list);
  size_t seen = 0;
  // The baseline lists the folder with the sizes, as `ls -l` would: the
  // check needs nothing more than that.
  const double raw = TimeMs([&] {
    qint64 total = 0;
    for (const QFileInfo& fi : QDir(place.RecorderDir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort))
      total += fi.size();
    seen = size_t(total);
  });
  // The on-disk check of every listed file through one listing of the folder.
  const double check = TimeMs([&] {
    TReadoutPlace p = place;
    TakeSnapshot(p);
    QString local;
    seen = 0;
    for (const TListLine& l : lines) {
      uint64_t size = l.Size;
      seen += DoesFileExist(p, l.Path, local, size, true, false) ? 1 : 0;
    }
  });
  const double tree = TimeMs([&] {
    TReadoutPlace p = place;
    TakeSnapshot(p);
    seen = size_t(BuildRecordingTree(p, lines).Queue.size());
  });
  const double perFile = TimeMs([&] { seen = size_t(BuildRecordingTree(place, lines).Queue.size()); });
  std::printf("%d device files, half of them on disk\n", files);
  std::printf("  raw listing of the folder, sizes  %8.2f ms\n", raw);
  std::printf("  check through one folder listing  %8.2f ms   ratio %.2f (target <= 1.5)\n", check, check / raw);
  std::printf("  whole tree with its item texts    %8.2f ms   ratio %.2f\n", tree, tree / raw);
  std::printf("  tree with a look per file         %8.2f ms   ratio %.2f\n", perFile, perFile / raw);

  // A recording of about `mb` megabytes: 64 channels, rows of 264 bytes.
  TContextHeader ctx;
  ctx.Class = QStringLiteral("1s");
  ctx.IntervalMs = 1000;
  for (int c = 0; c < 64; ++c) ctx.Channels << TRecordChannel{uint32_t(c), 0, QStringLiteral("V"), QStringLiteral("c%1").arg(c)};
  const QString path = dir.filePath(QStringLiteral("big.log"));
  {
    TRecordWriter w(TRecordKind::rkRecording, {}, ctx);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    f.write(w.Bytes());
    QByteArray row;
    TRecordWriter one(TRecordKind::rkRecording, {}, ctx);
    one.Add(TRecRow{{1, 0}, QList<float>(64, 230.0f)});
    const QByteArray rec = one.Bytes().mid(w.Bytes().size());
    QByteArray block;
    for (int i = 0; i < 4096; ++i) block += rec;
    while (f.size() < qint64(mb) * 1000 * 1000) f.write(block);
  }
  TRecordHeader h;
  QString error;
  const double header = TimeMs([&] { ReadRecordHeader(path, h, error); });
  TRecordFile first;
  bool more = false;
  const double rows = TimeMs([&] { ReadRecordStart(path, 100, first, more, error); });
  std::printf("recording of %.0f MB\n", double(QFileInfo(path).size()) / 1e6);
  std::printf("  header read                        %8.3f ms\n", header);
  std::printf("  first 100 rows                     %8.3f ms   ratio %.2f (reads %s further)\n", rows, rows / header,
              more ? "no" : "everything");
  return 0;
}
