// Download throughput of a large recording from vanta-sim over loopback
// (frame mode) through the whole client, next to a raw socket copy of the
// same bytes in the same run; peak memory of the client; and the time to
// write and read a 5 MB setup document.
//
//   bench_transfer [MiB=256]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "SimProcess.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;

namespace {
long PeakRssKiB() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

double RawDownloadSec(uint16_t port, const QByteArray& name, qint64 expected) {
  test::TRawClient c;
  c.Connect(port);
  c.Send(BuildHeaderOnly(THeaderContext{4, 0, 0, 0}, 1, 1, 2));
  c.Recv();
  QElapsedTimer t;
  t.start();
  c.Send(BuildFileName(THeaderContext{4, 0, 4711, 1}, 5, 0, 1, name, 0));
  const QByteArray f = c.Recv(600000);
  const double sec = double(t.nsecsElapsed()) / 1e9;
  if (f.size() - CHeadSize != expected) std::fprintf(stderr, "raw: got %lld bytes\n", static_cast<long long>(f.size()));
  c.Send(BuildHeaderOnly(THeaderContext{4, 0, 0, 0}, 1, 0, 0xFFFF));
  return sec;
}

struct TClientRun {
  TTCPComUnit Unit{false};
  bool Done = false;
  explicit TClientRun(uint16_t port, const QString& data) {
    Unit.FGZ = false;
    Unit.FTmpDir = data + QStringLiteral("/tmp/");
    Unit.FRecDir = data + QStringLiteral("/rec/");
    QDir().mkpath(Unit.FTmpDir);
    Unit.FOnConnDone = [this](QObject*, bool ok) { Done = ok; };
    Unit.SetIPAndPort(QStringLiteral("127.0.0.1"), port);
    Unit.DoConnect();
    test::SpinUntil([this] { return Done; }, 5000);
  }
  ~TClientRun() {
    bool closed = false;
    Unit.ShutDown(&Unit, [&](QObject*) { closed = true; });
    test::SpinUntil([&] { return closed; }, 6000);
  }
};
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const qint64 mib = argc > 1 ? qMax(1, atoi(argv[1])) : 256;
  const qint64 size = mib * 1024 * 1024;
  test::TSimProcess sim;
  if (!sim.Start()) {
    std::fprintf(stderr, "bench: vanta-sim did not start\n");
    return 1;
  }
  const QString rec = sim.Root() + QStringLiteral("/mnt/flashdrive0/data/recorder/10min/10min-0-1765000000-big.rec");
  {
    QFile f(rec);
    f.open(QIODevice::WriteOnly);
    QByteArray block(1024 * 1024, '\0');
    for (int i = 0; i < block.size(); ++i) block[i] = char(i * 31);
    for (qint64 i = 0; i < mib; ++i) f.write(block);
  }
  QTemporaryDir data;
  const long rssBefore = PeakRssKiB();
  double clientSec = 0;
  {
    TClientRun c(sim.Port, data.path());
    bool got = false;
    c.Unit.FRecToTable = [&](QObject*, const QString&) { got = true; };
    QElapsedTimer t;
    t.start();
    c.Unit.SendCommand(ccci::TCcci::READOUT_REC_RD, QStringLiteral("10min/10min-0-1765000000-big.rec"), 0u, false);
    c.Unit.ManualTimer();
    test::SpinUntil([&] { return got; }, 600000);
    clientSec = double(t.nsecsElapsed()) / 1e9;
    if (QFileInfo(data.path() + QStringLiteral("/rec/10min-0-1765000000-big.rec")).size() != size)
      std::fprintf(stderr, "client: size mismatch\n");
  }
  const long rssClient = PeakRssKiB();
  const double rawSec = RawDownloadSec(sim.Port, "10min/10min-0-1765000000-big.rec", size);
  std::printf("download of %lld MiB over loopback (frame mode)\n", static_cast<long long>(mib));
  std::printf("  raw socket     %8.1f MiB/s\n", double(mib) / rawSec);
  std::printf("  client         %8.1f MiB/s   ratio client/raw %.2f (target >= 0.7)\n", double(mib) / clientSec,
              rawSec / clientSec);
  std::printf("  client peak memory %.0f MiB above start (file: %lld MiB)\n", double(rssClient - rssBefore) / 1024.0,
              static_cast<long long>(mib));

  // A 5 MB setup document, written and read back (gzip packing).
  QByteArray xml = "<?xml version=\"1.0\"?><setup>";
  for (int i = 0; xml.size() < 5 * 1000 * 1000; ++i)
    xml += "<parameter id=\"" + QByteArray::number(i) + "\"><type>float</type><value>" + QByteArray::number(i * 0.5) +
           "</value></parameter>\n";
  xml += "</setup>";
  const QString local = data.path() + QStringLiteral("/big-setup.xml");
  QFile f(local);
  f.open(QIODevice::WriteOnly);
  f.write(xml);
  f.close();
  TClientRun c(sim.Port, data.path());
  c.Unit.FGZ = true;
  int written = -1;
  c.Unit.FSendParaDone = [&](QObject*, bool ok) { written = ok; };
  QElapsedTimer t;
  t.start();
  c.Unit.SendCommandFile(ccci::TCcci::SETUP_WR, local);
  c.Unit.ManualTimer();
  test::SpinUntil([&] { return written >= 0; }, 60000);
  const double writeSec = double(t.nsecsElapsed()) / 1e9;
  QString read;
  c.Unit.FOnNewXMLFile = [&](QObject*, const QString& p, int32_t) { read = p; };
  t.restart();
  c.Unit.SendCommand(ccci::TCcci::SETUP_RD_ALL);
  test::SpinUntil([&] { return !read.isEmpty(); }, 60000);
  const double readSec = double(t.nsecsElapsed()) / 1e9;
  std::printf("setup document of %.1f MB: write %.0f ms (%s), read %.0f ms (%s)\n", double(xml.size()) / 1e6, writeSec * 1000,
              written == 1 ? "ok" : "failed", readSec * 1000, QFileInfo(read).size() == xml.size() ? "ok" : "failed");
  return 0;
}
