#pragma once
// The TCP transport: TTCPComUnit on the GUI thread and its reader, which
// lives on a thread of its own and alone touches the socket.
//
// The reader is event-driven (Qt Network inside the reader thread): bytes are
// cut into frames as they arrive, each complete frame is handed to the GUI
// thread with a queued call, and a frame queued by the GUI thread wakes the
// reader at once instead of waiting for a poll. Time requests of the
// device's NTP tunnel are answered on the reader thread itself.
#include <mutex>
#include <QObject>
#include <QThread>
#include <atomic>
#include <deque>

#include "ComUnit.h"
#include "FrameCutter.h"
#include "SshUnit.h"

class QTcpSocket;
class QTimer;

namespace vanta {

class TTCPComUnit;

struct TSendQueueItem {
  QByteArray SendStream;
  bool IsLua = false;
};

// Framing and the send queue, shared by the network readers.
class TIdReadThreadTCP : public QObject {
  Q_OBJECT
 public:
  explicit TIdReadThreadTCP(TTCPComUnit* client);
  ~TIdReadThreadTCP() override;

  // GUI thread: append a frame and wake the reader.
  void Enqueue(QByteArray frame, bool isLua);
  // Any thread: drop every waiting frame.
  void ClearQueue();
  int QueueSize();

  std::atomic<bool> FIsconnected{false};
  std::atomic<bool> FDoClearBuffer{false};

  // Reader thread.
  virtual void DoConnect() = 0;
  virtual void DoDisconnect(bool notifyPeer) = 0;
  virtual void Shutdown() = 0;
  void Clearbuffer();

 protected:
  void OnBytes(const QByteArray& data);
  void OnReadable(QIODevice& device);
  void HandleEvents(std::vector<TFrameCutter::TEvent>& events);
  void SendCommandStream();
  virtual bool WriteData(const QByteArray& frame, bool isLua) = 0;
  void HandleNTP(const QByteArray& frame);
  void Log(const QString& line, bool toMemo = false);
  void ReportDisconnected();

  TTCPComUnit* FClient;
  TFrameCutter FreadStream;
  uint32_t FSeqCnt = 0;
  bool FDiscoReported = true;

 private:
  std::mutex FQueueLock;  // a pthread mutex, so ThreadSanitizer sees it
  std::deque<TSendQueueItem> FSendQueue;
  std::atomic<bool> FWakePending{false};
};

class TIdReadThreadTCPTCP : public TIdReadThreadTCP {
  Q_OBJECT
 public:
  explicit TIdReadThreadTCPTCP(TTCPComUnit* client);
  void SetConParams(const QString& host, uint16_t port, uint16_t localPort, TIpVer ipVer);
  void DoConnect() override;
  void DoDisconnect(bool notifyPeer) override;
  void Shutdown() override;

 protected:
  bool WriteData(const QByteArray& frame, bool isLua) override;

 private:
  void OnConnected();
  void OnSocketError();
  QTcpSocket* FTCPClient = nullptr;
  QTimer* FConnectTimer = nullptr;
  QString FHost;
  uint16_t FPort = 5040;
  uint16_t FLocalPort = 0;
  TIpVer FIpVer = TIpVer::ipverV4;
  bool FConnecting = false;
};

// The reader of a connection through SSH: owns the SSH client, reads the
// CCCI channel and the shell without blocking, writes queued frames (Lua
// statements are typed into the shell), keeps the connection alive.
class TIdReadThreadTCPSSH : public QThread {
 public:
  explicit TIdReadThreadTCPSSH(TTCPComUnit* client);
  ~TIdReadThreadTCPSSH() override;
  void Begin(const TSshParams& params);
  void SetHashFile(const QString& path) { FSSHClient.FHashManager.SetHashStore(path); }
  void Enqueue(QByteArray frame, bool isLua);
  void ClearQueue();
  void Stop();  // bounded: asks the loop to end and waits
  std::atomic<bool> FIsconnected{false};
  std::atomic<bool> FDoClearBuffer{false};
  std::atomic<bool> FInvalidAuth{false};

 protected:
  void run() override;

 private:
  void Log(const QString& line, bool toMemo = false);
  TTCPComUnit* FClient;
  TSSHUnit FSSHClient;
  TSshParams FParams;
  TFrameCutter FreadStream;
  std::mutex FQueueLock;
  std::deque<TSendQueueItem> FSendQueue;
  std::atomic<bool> FStop{false};
};

class TTCPComUnit : public TComUnit {
  Q_OBJECT
 public:
  explicit TTCPComUnit(bool IsSSH = false, QObject* parent = nullptr, TNowFunc now = {},
                       const TDeviceDefaults& defaults = TDeviceDefaults::FromEnvironment());
  ~TTCPComUnit() override;

  void SetIPAndPort(const QString& address, int port, int localPort = 0);
  void DoConnect();

  void CreateThread(bool IsSSH) override;
  bool IsConnected() const override;
  bool SendCommandStream(const QByteArray& frame, bool IsLua) override;
  void ReadData(TMemoryStream& frame) override;
  void DoDisconnect(bool notify) override;
  void ReConnect() override {}
  void WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) override;

  // Reader-thread reports, run on the GUI thread.
  void OnStatusConnected(const QString& localAddress);
  void OnStatusDisconnected();
  void OnConnectFailed(const QString& why);
  void DeliverFrame(const QByteArray& frame);
  void OnReceiveFault(const QString& why);

  bool FWantedDisco = false;
  bool FIsOffline = false;
  TIpVer FIPVersion = TIpVer::ipverV4;
  bool FAuthError = false;
  // Plain TCP opens the session with the protocol-4 start by itself; a caller
  // that wants to start it with credentials turns this off.
  bool FAutoSessionStart = true;
  TConnectThreadEnd FConnectThreadEnd;
  std::function<void(TWorkMode mode, int64_t count, TWorkStatus status)> FOnWorkEvent;
  // SSH: the device-side CCCI port the tunnel leads to (0: 5040), and the
  // questions for the user, asked on the GUI thread.
  int FOutPort = 0;
  std::function<TConnectHashAction(TFingerprintState state, const QString& question, const QString& fingerprint)> FOnFingerprint;
  std::function<bool(QString& newPassword)> FOnPasswordExpired;
  void OnSshConnected(const QString& localAddress);

 private:
  void StopReader();
  QThread* FThread = nullptr;
  TIdReadThreadTCP* FReadThread = nullptr;
  TIdReadThreadTCPSSH* FSshThread = nullptr;
  bool FConnectReported = false;
};

}  // namespace vanta
