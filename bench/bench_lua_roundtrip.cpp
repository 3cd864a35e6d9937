// Lua round trips through the whole client (queue, reader thread, GUI-thread
// evaluation, one-shot receiver) against vanta-sim, next to a minimal
// raw-socket client sending the same frames to the same simulator in the same
// run. Prints both rates, the client's added time per request (mean and 99th
// percentile), and the connect-to-connection-done time (median of 20).
//
//   bench_lua_roundtrip [requests=2000]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

#include "SimProcess.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;

namespace {
struct TStats {
  double MeanUs = 0, P50Us = 0, P99Us = 0, PerSecond = 0;
};

TStats Summarise(std::vector<double> us, double totalSec) {
  std::sort(us.begin(), us.end());
  TStats s;
  s.MeanUs = std::accumulate(us.begin(), us.end(), 0.0) / double(us.size());
  s.P50Us = us[us.size() / 2];
  s.P99Us = us[std::min(us.size() - 1, size_t(double(us.size()) * 0.99))];
  s.PerSecond = double(us.size()) / totalSec;
  return s;
}

// The baseline: a blocking POSIX socket with Nagle off, no event loop, no
// threads; it reads frames until the end of the Lua output.
struct TPosixClient {
  int Fd = -1;
  QByteArray In;
  explicit TPosixClient(uint16_t port) {
    Fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  ~TPosixClient() { ::close(Fd); }
  void Send(const QByteArray& f) { (void)!::write(Fd, f.constData(), size_t(f.size())); }
  // Reads whole frames until one matches `last`.
  bool RecvUntil(uint8_t cmd, uint16_t ext) {
    char buf[65536];
    for (;;) {
      while (In.size() >= CHeadSize) {
        ccc_head_t h;
        DecodeHead(In, h);
        if (h.Size < uint32_t(CHeadSize) || In.size() < qsizetype(h.Size)) break;
        In.remove(0, h.Size);
        if (h.CMD == cmd && (ext == 0xFFFF || h.ExtCmd == ext)) return true;
      }
      const ssize_t n = ::read(Fd, buf, sizeof buf);
      if (n <= 0) return false;
      In.append(buf, n);
    }
  }
};

TStats RawClient(uint16_t port, int n) {
  TPosixClient c(port);
  c.Send(BuildHeaderOnly(THeaderContext{4, 4, 0, 0}, 1, 1, 2));
  c.RecvUntil(1, 0xFFFF);
  std::vector<double> us;
  QElapsedTimer total;
  total.start();
  for (int i = 0; i < n; ++i) {
    QElapsedTimer t;
    t.start();
    c.Send(BuildLuaText(THeaderContext{4, 4, 4711, uint32_t(i)}, 6, 1, 0, "print(1)", true));
    c.RecvUntil(6, 3);
    us.push_back(double(t.nsecsElapsed()) / 1000.0);
  }
  const TStats s = Summarise(us, double(total.nsecsElapsed()) / 1e9);
  c.Send(BuildHeaderOnly(THeaderContext{4, 4, 0, 0}, 1, 0, 0xFFFF));
  return s;
}

TStats WholeClient(uint16_t port, int n) {
  TTCPComUnit unit(false);
  bool done = false;
  unit.FOnConnDone = [&](QObject*, bool ok) { done = ok; };
  unit.SetIPAndPort(QStringLiteral("127.0.0.1"), port);
  unit.DoConnect();
  test::SpinUntil([&] { return done; }, 5000);
  std::vector<double> us;
  us.reserve(size_t(n));
  QElapsedTimer total, one;
  int finished = 0;
  std::function<void()> next = [&] {
    one.start();
    unit.RunLua(QStringLiteral("print(1)"), [&](QObject*, const QString&) {
      us.push_back(double(one.nsecsElapsed()) / 1000.0);
      if (++finished < n) next();
    });
  };
  total.start();
  next();
  test::SpinUntil([&] { return finished >= n; }, 120000);
  const TStats s = Summarise(us, double(total.nsecsElapsed()) / 1e9);
  bool closed = false;
  unit.ShutDown(&unit, [&](QObject*) { closed = true; });
  test::SpinUntil([&] { return closed; }, 6000);
  return s;
}

double ConnectMedianMs(uint16_t port, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    TTCPComUnit unit(false);
    bool done = false;
    unit.FOnConnDone = [&](QObject*, bool ok) { done = ok; };
    unit.SetIPAndPort(QStringLiteral("127.0.0.1"), port);
    QElapsedTimer t;
    t.start();
    unit.DoConnect();
    test::SpinUntil([&] { return done; }, 5000);
    ms.push_back(double(t.nsecsElapsed()) / 1e6);
    bool closed = false;
    unit.ShutDown(&unit, [&](QObject*) { closed = true; });
    test::SpinUntil([&] { return closed; }, 6000);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int n = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
  test::TSimProcess sim;
  if (!sim.Start()) {
    std::fprintf(stderr, "bench: vanta-sim did not start\n");
    return 1;
  }
  // Warm both paths once, then measure them alternately.
  RawClient(sim.Port, 50);
  WholeClient(sim.Port, 50);
  const TStats raw = RawClient(sim.Port, n);
  const TStats cli = WholeClient(sim.Port, n);
  std::printf("requests                 %d\n", n);
  std::printf("raw socket client        %9.0f /s   mean %7.1f us   p50 %7.1f us   p99 %7.1f us\n", raw.PerSecond,
              raw.MeanUs, raw.P50Us, raw.P99Us);
  std::printf("workspace client         %9.0f /s   mean %7.1f us   p50 %7.1f us   p99 %7.1f us\n", cli.PerSecond,
              cli.MeanUs, cli.P50Us, cli.P99Us);
  std::printf("added by the client      mean %7.1f us   p99 %7.1f us   (target: mean < 50 us)\n", cli.MeanUs - raw.MeanUs,
              cli.P99Us - raw.P99Us);
  std::printf("rate ratio client / raw  %.2f\n", cli.PerSecond / raw.PerSecond);
  std::printf("connect to connection done, median of 20: %.1f ms\n", ConnectMedianMs(sim.Port, 20));
  return 0;
}
