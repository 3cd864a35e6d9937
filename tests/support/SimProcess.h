#pragma once
// Starts `vanta-sim --port 0` for a test, reads its port from the first line
// and stops it again; and a blocking raw-socket client that speaks frames.
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "Ccci.h"

namespace vanta::test {

// A bounded stop: ask first, kill only a process that does not listen.
inline void StopProcess(QProcess& proc) {
  if (proc.state() == QProcess::NotRunning) return;
  proc.terminate();
  if (!proc.waitForFinished(5000)) {
    proc.kill();
    proc.waitForFinished(2000);
  }
}

// A port on this machine where nothing listens: taken and given back.
inline quint16 ClosedPort() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost, 0);
  return s.serverPort();
}

class TSimProcess {
 public:
  // Extra arguments follow "--port 0 --text-interval 0 --root <temp>".
  bool Start(const QStringList& args = {}, bool ownRoot = true) {
    QStringList all{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--text-interval"), QStringLiteral("0")};
    if (ownRoot) {
      FRootDir = std::make_unique<QTemporaryDir>();
      all << QStringLiteral("--root") << FRootDir->path();
      CopySample(FRootDir->path());
    }
    all << args;
    FProc.setProgram(QStringLiteral(VANTA_SIM_PATH));
    FProc.setArguments(all);
    FProc.setProcessChannelMode(QProcess::SeparateChannels);
    FProc.start();
    if (!FProc.waitForStarted(5000)) return false;
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 5000) {
      FProc.waitForReadyRead(100);
      out += FProc.readAllStandardOutput();
      const qsizetype at = out.indexOf("vanta-sim listening on ");
      const qsizetype nl = out.indexOf('\n', at);
      if (at >= 0 && nl > at) {
        const qsizetype ssh = out.indexOf("ssh listening on ");
        if (ssh >= 0) {
          const QByteArray line = out.mid(ssh, out.indexOf('\n', ssh) - ssh).trimmed();
          SshPort = uint16_t(line.mid(line.lastIndexOf(':') + 1).toUInt());
        }
        const qsizetype pty = out.indexOf("serial pty: ");
        if (pty >= 0) PtyPath = QString::fromLocal8Bit(out.mid(pty + 12, out.indexOf('\n', pty) - pty - 12).trimmed());
        const QByteArray addr = out.mid(at + 23, nl - at - 23).trimmed();
        Port = uint16_t(addr.mid(addr.lastIndexOf(':') + 1).toUInt());
        return Port != 0;
      }
      if (FProc.state() != QProcess::Running) return false;
    }
    return false;
  }

  void Stop() { StopProcess(FProc); }

  bool Running() const { return FProc.state() == QProcess::Running; }
  QString Root() const { return FRootDir ? FRootDir->path() : QString(); }
  QByteArray Stderr() { return FProc.readAllStandardError(); }
  int ExitCode() const { return FProc.exitCode(); }
  QProcess::ExitStatus ExitStatus() const { return FProc.exitStatus(); }
  ~TSimProcess() { Stop(); }

  uint16_t Port = 0;
  QString PtyPath;      // with --serial-pty
  uint16_t SshPort = 0;  // with --ssh-port

 private:
  static void CopySample(const QString& to);
  QProcess FProc;
  std::unique_ptr<QTemporaryDir> FRootDir;
};

inline void TSimProcess::CopySample(const QString& to) {
  QProcess cp;
  cp.start(QStringLiteral("cp"), {QStringLiteral("-r"), QStringLiteral(VANTA_SAMPLE_DIR "/."), to});
  cp.waitForFinished(10000);
}

// A device of `vanta-sim --devices N`, as its line tells it.
struct TFleetDevice {
  int Index = -1;
  uint32_t Serial = 0;
  uint16_t Port = 0;
};

// Starts `vanta-sim --devices N` (from port 0 unless `extra` names one) and
// reads its N device lines, printed once their roots are filled; how long that
// took goes to `elapsedMs`. Any other line fails the start.
inline bool StartFleet(QProcess& proc, int n, const QStringList& extra, std::vector<TFleetDevice>& out,
                       qint64* elapsedMs = nullptr) {
  QStringList args{QStringLiteral("--devices"), QString::number(n), QStringLiteral("--text-interval"), QStringLiteral("0")};
  args << extra;
  if (!args.contains(QStringLiteral("--port"))) args << QStringLiteral("--port") << QStringLiteral("0");
  QElapsedTimer t;
  t.start();
  proc.setProgram(QStringLiteral(VANTA_SIM_PATH));
  proc.setArguments(args);
  proc.start();
  if (!proc.waitForStarted(5000)) return false;
  static const QRegularExpression line(QStringLiteral("^device (\\d+) serial (\\d+) port (\\d+)$"));
  while (int(out.size()) < n && t.elapsed() < 60000) {
    if (!proc.canReadLine() && !proc.waitForReadyRead(200)) {
      if (proc.state() != QProcess::Running) return false;
      continue;
    }
    while (proc.canReadLine()) {
      const QString l = QString::fromUtf8(proc.readLine()).trimmed();
      const QRegularExpressionMatch m = line.match(l);
      if (!m.hasMatch()) {
        qWarning("unexpected line: %s", qPrintable(l));
        return false;
      }
      out.push_back({m.captured(1).toInt(), m.captured(2).toUInt(), uint16_t(m.captured(3).toUInt())});
    }
  }
  if (elapsedMs) *elapsedMs = t.elapsed();
  return int(out.size()) == n;
}

// Blocking frame client for byte-level tests.
class TRawClient {
 public:
  bool Connect(uint16_t port) {
    FSocket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return FSocket.waitForConnected(3000);
  }
  void Send(const QByteArray& frame) {
    FSocket.write(frame);
    FSocket.waitForBytesWritten(3000);
  }
  void SendRaw(const QByteArray& bytes) { Send(bytes); }
  // Next whole frame, or empty after `timeoutMs` or when the peer closed.
  QByteArray Recv(int timeoutMs = 3000) {
    QElapsedTimer t;
    t.start();
    for (;;) {
      if (FBuf.size() >= ccci::CHeadSize) {
        ccci::ccc_head_t h;
        ccci::DecodeHead(FBuf, h);
        if (FBuf.size() >= qsizetype(h.Size)) {
          QByteArray f = FBuf.left(h.Size);
          FBuf.remove(0, h.Size);
          return f;
        }
      }
      const qint64 left = timeoutMs - t.elapsed();
      if (left <= 0) return {};
      if (FSocket.bytesAvailable() == 0 && !FSocket.waitForReadyRead(int(left))) {
        FBuf += FSocket.readAll();
        if (FSocket.state() != QAbstractSocket::ConnectedState && FBuf.size() < ccci::CHeadSize) return {};
        continue;
      }
      FBuf += FSocket.readAll();
    }
  }
  // Collects frames until one matches `done` (inclusive).
  std::vector<QByteArray> RecvUntil(const std::function<bool(const ccci::ccc_head_t&)>& done, int timeoutMs = 3000) {
    std::vector<QByteArray> frames;
    for (;;) {
      QByteArray f = Recv(timeoutMs);
      if (f.isEmpty()) return frames;
      frames.push_back(f);
      ccci::ccc_head_t h;
      ccci::DecodeHead(f, h);
      if (done(h)) return frames;
    }
  }
  bool WaitClosed(int timeoutMs = 3000) {
    if (FSocket.state() == QAbstractSocket::UnconnectedState) return true;
    return FSocket.waitForDisconnected(timeoutMs) || FSocket.state() == QAbstractSocket::UnconnectedState;
  }
  QTcpSocket& Socket() { return FSocket; }

 private:
  QTcpSocket FSocket;
  QByteArray FBuf;
};

inline ccci::ccc_head_t HeadOf(const QByteArray& frame) {
  ccci::ccc_head_t h;
  ccci::DecodeHead(frame, h);
  return h;
}

}  // namespace vanta::test
