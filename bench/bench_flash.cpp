// Firmware update figures, each against a baseline of the same run:
//
// - Upload: a package file through the client's scratchpad write (read the
//   file, frame it, send, wait for the device's acknowledgement) next to a
//   raw socket sending the same frame to the same simulator.
// - Mass update: N simulated devices, each restarting for a while after the
//   update, run one at a time and eight at a time.
//
//   bench_flash [upload MiB=64] [devices=20] [package MiB=16] [restart ms=5000]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

#include "FlashPackages.h"
#include "MassFlash.h"
#include "SimProcess.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::SpinUntil;

namespace {

using test::Noise;

double RawUpload(uint16_t port, const QByteArray& file) {
  test::TRawClient c;
  if (!c.Connect(port)) return -1;
  THeaderContext ctx;
  ctx.Ver = 4;
  c.Send(BuildHeaderOnly(ctx, 1, 1, 2));
  if (c.Recv().isEmpty()) return -1;
  QElapsedTimer t;
  t.start();
  const QByteArray frame = BuildScratchpadUpload(ctx, 7, 0, 2, "raw.bin", file);
  c.Send(frame);
  const QByteArray ack = c.Recv(120000);
  const double s = t.nsecsElapsed() / 1e9;
  return ack.size() >= CHeadSize ? s : -1;
}

double ClientUpload(uint16_t port, const QString& path) {
  TTCPComUnit u;
  bool connected = false, sent = false, failed = false;
  u.FOnConnDone = [&](QObject*, bool ok) { connected = ok; };
  u.SetIPAndPort(QStringLiteral("127.0.0.1"), port);
  u.DoConnect();
  if (!SpinUntil([&] { return connected; }, 10000)) return -1;
  u.FSendCCCIFileNext = [&](QObject*, bool nak) {
    sent = true;
    failed = nak;
  };
  QElapsedTimer t;
  t.start();
  u.SendCommandCCCIFile(TCcci::SCRATCH_PAD_WR, QStringLiteral("client.bin"), path);
  u.ManualTimer(&u);
  if (!SpinUntil([&] { return sent; }, 120000) || failed) return -1;
  const double s = t.nsecsElapsed() / 1e9;
  bool closed = false;
  u.ShutDown(&u, [&](QObject*) { closed = true; });
  SpinUntil([&] { return closed; }, 5000);
  return s;
}

double MassRun(const QList<TMassTarget>& targets, const QString& pkg, int parallel, const QString& data, int& failed) {
  TMassFlash run;
  TMassOptions o;
  o.Package = pkg;
  o.RunId = QStringLiteral("bench");
  o.DataDir = data;
  o.Parallel = parallel;
  o.ComebackPollMs = 250;
  QString e;
  QElapsedTimer t;
  t.start();
  if (!run.Start(o, targets, e)) {
    std::fprintf(stderr, "mass update refused: %s\n", qPrintable(e));
    return -1;
  }
  SpinUntil([&] { return !run.Running(); }, 3600000);
  failed = run.Failed();
  return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const qint64 uploadMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 64;
  const int devices = argc > 2 ? QByteArray(argv[2]).toInt() : 20;
  const qint64 packageMiB = argc > 3 ? QByteArray(argv[3]).toLongLong() : 16;
  const int restartMs = argc > 4 ? QByteArray(argv[4]).toInt() : 5000;
  QTemporaryDir dir;

  // ---- upload ------------------------------------------------------------------------
  {
    test::TSimProcess sim;
    if (!sim.Start()) return 1;
    const QByteArray file = Noise(uploadMiB << 20);
    const QString path = dir.filePath(QStringLiteral("upload.bin"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size()) return 1;
    f.close();
    double raw = 1e9, client = 1e9;
    for (int i = 0; i < 3; ++i) {
      const double r = RawUpload(sim.Port, file);
      const double c = ClientUpload(sim.Port, path);
      if (r < 0 || c < 0) {
        std::fprintf(stderr, "upload failed (raw %.3f, client %.3f)\n", r, c);
        return 1;
      }
      raw = qMin(raw, r);
      client = qMin(client, c);
    }
    std::printf("upload %lld MiB: raw socket %.3f s (%.0f MiB/s), client %.3f s (%.0f MiB/s), ratio raw/client %.2f (goal >= 0.7)\n",
                uploadMiB, raw, uploadMiB / raw, client, uploadMiB / client, raw / client);
  }

  // ---- mass update -------------------------------------------------------------------
  std::vector<std::unique_ptr<test::TSimProcess>> sims;
  QList<TMassTarget> targets;
  for (int i = 0; i < devices; ++i) {
    auto s = std::make_unique<test::TSimProcess>();
    if (!s->Start({QStringLiteral("--reboot-ms"), QString::number(restartMs), QStringLiteral("--serial-number"),
                   QString::number(7000 + i)}))
      return 1;
    TMassTarget t;
    t.Name = QStringLiteral("Sim %1").arg(i + 1);
    t.Host = QStringLiteral("127.0.0.1");
    t.Port = s->Port;
    targets << t;
    sims.push_back(std::move(s));
  }
  const QString pkg = test::WritePackage(dir.filePath(QStringLiteral("big.zip")),
                                         {{QStringLiteral("fw.tgz"), test::FirmwareTgz(QStringLiteral("2.11.0"), packageMiB << 20)},
                                          {QStringLiteral("readme.txt"), "bench"}},
                                         false);
  int failed1 = 0, failed8 = 0;
  const double one = MassRun(targets, pkg, 1, dir.filePath(QStringLiteral("m1")), failed1);
  const double eight = MassRun(targets, pkg, 8, dir.filePath(QStringLiteral("m8")), failed8);
  std::printf("mass update of %d devices, %lld MiB package, restart %d ms: parallel 1 %.1f s (%d failed), parallel 8 %.1f s "
              "(%d failed), ratio %.2f (goal >= 5)\n",
              devices, packageMiB, restartMs, one, failed1, eight, failed8, one / eight);
  return failed1 + failed8 == 0 && one > 0 && eight > 0 ? 0 : 1;
}
