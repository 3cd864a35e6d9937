#pragma once
// The network transports: TTCPComUnit over plain TCP or through an SSH
// connection. Both run on the shared reader (ReadThread.h); what is theirs
// is the backend that owns the socket or the SSH client, and the connection
// status handling on the GUI thread.
#include <QObject>
#include <atomic>

#include "ReadThread.h"
#include "SshUnit.h"

class QTcpSocket;
class QTimer;
class QSocketNotifier;

namespace vanta {

class TTCPComUnit;

// Plain TCP: a socket owned by the reader thread, connected in the background.
class TTcpBackend : public TLinkBackend {
 public:
  explicit TTcpBackend(const std::atomic<bool>* cancel) : FCancel(cancel) {}
  ~TTcpBackend() override;
  void SetConParams(const QString& host, uint16_t port, uint16_t localPort, TIpVer ipVer);
  TOpen Open(TLinkSink& sink, QString& error, bool& authError, QString& local) override;
  bool Read(QByteArray& into) override;
  bool MoreWaiting() const override { return FMoreWaiting; }
  bool Write(const QByteArray& frame, bool isLua, QString& error, qint64& sent) override;
  void Close() override;
  bool IsConnected() const override;
  // How long a write may make no progress before it is given up.
  int FWriteStallMs = 10000;

 private:
  const std::atomic<bool>* FCancel;
  QTcpSocket* FTCPClient = nullptr;
  QTimer* FConnectTimer = nullptr;
  TLinkSink* FSink = nullptr;
  QString FHost;
  uint16_t FPort = 5040;
  uint16_t FLocalPort = 0;
  TIpVer FIpVer = TIpVer::ipverV4;
  bool FConnecting = false;
  bool FMoreWaiting = false;
};

// CCCI through a direct channel of an SSH connection, Lua through its shell.
class TSshBackend : public TLinkBackend {
 public:
  explicit TSshBackend(const std::atomic<bool>* cancel) : FCancel(cancel) {}
  ~TSshBackend() override;
  TSshParams FParams;
  TSSHUnit FSSHClient;
  TOpen Open(TLinkSink& sink, QString& error, bool& authError, QString& local) override;
  bool Read(QByteArray& into) override;
  bool Write(const QByteArray& frame, bool isLua, QString& error, qint64& sent) override;
  void Close() override;
  bool IsConnected() const override { return FSSHClient.isConnected(); }
  int PollMs() const override { return 10; }
  void Tick() override;
  void ThreadEnds() override { TSSHUnit::ReleaseThreadState(); }

 private:
  const std::atomic<bool>* FCancel;
  TLinkSink* FSink = nullptr;
  QSocketNotifier* FNotifier = nullptr;
  int64_t FLastAlive = 0;
};

// The Part's network reader classes, thin over the shared reader.
class TIdReadThreadTCP : public TIdReadThread {
  Q_OBJECT
 public:
  using TIdReadThread::TIdReadThread;
};

class TIdReadThreadTCPTCP : public TIdReadThreadTCP {
  Q_OBJECT
 public:
  explicit TIdReadThreadTCPTCP(TTCPComUnit* client);
  TTcpBackend& Tcp() { return static_cast<TTcpBackend&>(Backend()); }
};

class TIdReadThreadTCPSSH : public TIdReadThreadTCP {
  Q_OBJECT
 public:
  explicit TIdReadThreadTCPSSH(TTCPComUnit* client);
  TSshBackend& Ssh() { return static_cast<TSshBackend&>(Backend()); }
  std::atomic<bool> FInvalidAuth{false};

 private:
  // Asks on the GUI thread and waits for the answer, or for the reader's
  // stop: a window that closes meanwhile must not wait for this thread.
  // Returns false when stopped (or when no client is left to ask).
  bool AskClient(const std::function<void(TTCPComUnit*)>& ask);
};

class TTCPComUnit : public TLinkComUnit {
  Q_OBJECT
 public:
  explicit TTCPComUnit(bool IsSSH = false, QObject* parent = nullptr, TNowFunc now = {},
                       const TDeviceDefaults& defaults = TDeviceDefaults::FromEnvironment());
  ~TTCPComUnit() override;

  void SetIPAndPort(const QString& address, int port, int localPort = 0);
  void DoConnect();

  void CreateThread(bool IsSSH) override;
  void DoDisconnect(bool notify) override;
  void ReConnect() override {}

  void OnLinkOpened(const QString& localAddress) override;
  void OnLinkOpenFailed(const QString& why, bool authError) override;
  void OnLinkLost(const QString& why) override;
  void OnShellText(const QByteArray& text) override { LUACommandSSH(text); }

  // Status reports of the connection, on the GUI thread.
  void OnStatusConnected(const QString& localAddress);
  void OnStatusDisconnected();
  void OnConnectFailed(const QString& why);
  void OnSshConnected(const QString& localAddress);

  bool FWantedDisco = false;
  bool FIsOffline = false;
  TIpVer FIPVersion = TIpVer::ipverV4;
  bool FAuthError = false;
  QString FLastConnectError;  // why the last connect failed, for callers that report it
  // Plain TCP opens the session with the protocol-4 start by itself; a caller
  // that wants to start it with credentials turns this off.
  bool FAutoSessionStart = true;
  TConnectThreadEnd FConnectThreadEnd;
  // SSH: the device-side CCCI port the tunnel leads to (0: 5040), and the
  // questions for the user, asked on the GUI thread.
  int FOutPort = 0;
  int FSshTimeoutSec = 60;
  std::function<TConnectHashAction(TFingerprintState state, const QString& question, const QString& fingerprint)> FOnFingerprint;
  std::function<bool(QString& newPassword)> FOnPasswordExpired;

 private:
  void SshDisconnected();
  uint16_t FLocalPort = 0;
  bool FConnectReported = false;
};

}  // namespace vanta
