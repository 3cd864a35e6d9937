#pragma once
// A TCP proxy between a client and the simulator that misbehaves on
// purpose: it cuts the line after so many bytes in one direction, stops
// taking the client's bytes while the line stays open, holds the device's
// bytes back for a while, hands them on one byte at a time, or changes one
// byte. It runs on threads of its own (poll on plain
// sockets), so tests may block on the client process meanwhile.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace vanta::test {

struct TFaults {
  int64_t CutDeviceAfter = -1;  // close both sides after this many device-to-client bytes
  int64_t CutClientAfter = -1;  // ... or client-to-device bytes
  int64_t StallClientAfter = -1;  // take no more client bytes after this many; the line stays open
  int DelayMs = 0;              // hold each device chunk back this long
  bool OneByteWrites = false;   // device bytes one per write
  int64_t CorruptAt = -1;       // flip the bits of the device byte at this offset
  int TrickleBytes = 0;         // device bytes handed on in pieces of this size ...
  int TrickleMs = 0;            // ... one piece every so many milliseconds
};

class TFaultProxy {
 public:
  TFaultProxy(uint16_t target, TFaults faults) : FTarget(target), FFaults(faults) {
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (faults.StallClientAfter >= 0) {
      // A small, fixed receive buffer (inherited by the accepted socket), so
      // that a proxy that stops reading soon stops the client's writes too.
      const int small = 64 * 1024;
      ::setsockopt(FListen, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
    Port = ntohs(a.sin_port);
    ::listen(FListen, 4);
    FThread = std::thread([this] { Run(); });
  }
  ~TFaultProxy() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    ::close(FListen);
  }
  uint16_t Port = 0;
  std::atomic<int64_t> DeviceBytes{0}, ClientBytes{0};
  std::atomic<bool> Cut{false};
  // Set at any time: the next bytes from the device are held back this long
  // (in order: what comes behind them waits too), once.
  std::atomic<int> HoldNextMs{0};
  std::atomic<bool> Stalled{false};  // StallClientAfter reached: the client's bytes are left lying
  // Faults apply to the first connection only; later ones pass untouched.
  std::atomic<int> Connections{0};

 private:
  void Run() {
    std::vector<std::thread> pumps;
    while (!FStop) {
      pollfd p{FListen, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(FListen, nullptr, nullptr);
      if (client < 0) continue;
      const int device = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(FTarget);
      if (::connect(device, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(client);
        ::close(device);
        continue;
      }
      const bool faulty = Connections++ == 0;
      // Each connection on a thread of its own: a stalled one, which never
      // learns that its client has gone, must not hold up the next.
      pumps.emplace_back([this, client, device, f = faulty ? FFaults : TFaults{}] {
        Pump(client, device, f);
        ::close(client);
        ::close(device);
      });
    }
    for (std::thread& t : pumps) t.join();
  }
  static bool WriteAll(int fd, const char* p, ssize_t n, bool oneByte) {
    while (n > 0) {
      const ssize_t w = ::send(fd, p, size_t(oneByte ? 1 : n), MSG_NOSIGNAL);
      if (w <= 0) return false;
      p += w;
      n -= w;
    }
    return true;
  }
  void Pump(int client, int device, const TFaults f) {
    char buf[65536];
    int64_t down = 0, up = 0;
    while (!FStop) {
      const bool takeClient = f.StallClientAfter < 0 || up < f.StallClientAfter;
      pollfd p[2] = {{client, short(takeClient ? POLLIN : 0), 0}, {device, POLLIN, 0}};
      if (::poll(p, 2, 50) < 0) return;
      if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        const size_t want = takeClient && f.StallClientAfter >= 0 ? size_t(std::min<int64_t>(int64_t(sizeof buf), f.StallClientAfter - up))
                                                                   : sizeof buf;
        ssize_t n = ::recv(client, buf, want, 0);
        if (n <= 0) return;
        if (f.StallClientAfter >= 0 && up + n >= f.StallClientAfter) Stalled = true;
        if (f.CutClientAfter >= 0 && up + n > f.CutClientAfter) {
          WriteAll(device, buf, f.CutClientAfter - up, false);
          Cut = true;
          return;
        }
        up += n;
        ClientBytes = up;
        if (!WriteAll(device, buf, n, false)) return;
      }
      if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
        ssize_t n = ::recv(device, buf, sizeof buf, 0);
        if (n <= 0) return;
        if (f.DelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(f.DelayMs));
        if (const int hold = HoldNextMs.exchange(0); hold > 0) std::this_thread::sleep_for(std::chrono::milliseconds(hold));
        if (f.CorruptAt >= down && f.CorruptAt < down + n) buf[f.CorruptAt - down] = char(~buf[f.CorruptAt - down]);
        if (f.CutDeviceAfter >= 0 && down + n > f.CutDeviceAfter) {
          WriteAll(client, buf, f.CutDeviceAfter - down, f.OneByteWrites);
          Cut = true;
          return;
        }
        down += n;
        DeviceBytes = down;
        if (f.TrickleBytes > 0) {
          for (ssize_t at = 0; at < n; at += f.TrickleBytes) {
            if (FStop) return;
            if (!WriteAll(client, buf + at, std::min<ssize_t>(f.TrickleBytes, n - at), false)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(f.TrickleMs));
          }
          continue;
        }
        if (!WriteAll(client, buf, n, f.OneByteWrites)) return;
      }
    }
  }
  uint16_t FTarget;
  TFaults FFaults;
  int FListen = -1;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

}  // namespace vanta::test
