#include "TcpComUnit.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include "ByteOrder.h"
#include "LogFormat.h"
#include "Ntp.h"
#include <QElapsedTimer>

namespace vanta {

using namespace ccci;

namespace {
constexpr int CConnectTimeoutMs = 10000;
constexpr int CKeepAliveIdleSec = 25;
constexpr int CKeepAliveIntervalSec = 2;
constexpr int CStopWaitMs = 3000;
}  // namespace

// ---- reader: framing and send queue ------------------------------------------------

TIdReadThreadTCP::TIdReadThreadTCP(TTCPComUnit* client) : FClient(client) {}

TIdReadThreadTCP::~TIdReadThreadTCP() { ClearQueue(); }

void TIdReadThreadTCP::Log(const QString& line, bool toMemo) {
  TTCPComUnit* c = FClient;
  QMetaObject::invokeMethod(c, [c, line, toMemo] { c->WriteLog(line, toMemo); }, Qt::QueuedConnection);
}

void TIdReadThreadTCP::Enqueue(QByteArray frame, bool isLua) {
  {
    std::lock_guard<std::mutex> lock(FQueueLock);
    FSendQueue.push_back({std::move(frame), isLua});
    FClient->SendQueueActive = true;
  }
  // One wake-up call is enough for any number of frames queued meanwhile.
  if (!FWakePending.exchange(true))
    QMetaObject::invokeMethod(this, [this] { SendCommandStream(); }, Qt::QueuedConnection);
}

void TIdReadThreadTCP::ClearQueue() {
  std::lock_guard<std::mutex> lock(FQueueLock);
  FSendQueue.clear();
  FClient->SendQueueActive = false;
}

int TIdReadThreadTCP::QueueSize() {
  std::lock_guard<std::mutex> lock(FQueueLock);
  return int(FSendQueue.size());
}

void TIdReadThreadTCP::SendCommandStream() {
  FWakePending = false;
  for (;;) {
    TSendQueueItem item;
    {
      std::lock_guard<std::mutex> lock(FQueueLock);
      if (FSendQueue.empty()) {
        FClient->SendQueueActive = false;
        return;
      }
      item = std::move(FSendQueue.front());
      FSendQueue.pop_front();
    }
    Log(QStringLiteral("Thread Before Send"));
    TTCPComUnit* c = FClient;
    const int64_t len = item.SendStream.size();
    QMetaObject::invokeMethod(c, [c, len] { c->WorkEvent(TWorkMode::wmWrite, len, TWorkStatus::WorkBegin); },
                              Qt::QueuedConnection);
    if (FIsconnected && !WriteData(item.SendStream, item.IsLua)) Log(QStringLiteral("Error Sending Data"), true);
    QMetaObject::invokeMethod(c, [c] { c->WorkEvent(TWorkMode::wmWrite, 0, TWorkStatus::WorkEnd); },
                              Qt::QueuedConnection);
    Log(QStringLiteral("Thread After Send"));
    std::lock_guard<std::mutex> lock(FQueueLock);
    FClient->SendQueueActive = !FSendQueue.empty();
  }
}

void TIdReadThreadTCP::Clearbuffer() {
  FDoClearBuffer = false;
  Log(QStringLiteral("ClearBuffer"));
  FreadStream.Clear();
}

void TIdReadThreadTCP::OnBytes(const QByteArray& data) {
  if (FDoClearBuffer) Clearbuffer();
  std::vector<TFrameCutter::TEvent> events;
  FreadStream.Append(data, events);
  HandleEvents(events);
}

void TIdReadThreadTCP::OnReadable(QIODevice& device) {
  if (FDoClearBuffer) Clearbuffer();
  std::vector<TFrameCutter::TEvent> events;
  FreadStream.ReadFrom(device, events);
  HandleEvents(events);
}

void TIdReadThreadTCP::HandleEvents(std::vector<TFrameCutter::TEvent>& events) {
  TTCPComUnit* c = FClient;
  for (TFrameCutter::TEvent& e : events) {
    switch (e.Kind) {
      case TFrameCutter::TKind::fcHead: {
        const int64_t size = e.Head.Size;
        QMetaObject::invokeMethod(c, [c, size] { c->WorkEvent(TWorkMode::wmRead, size, TWorkStatus::WorkBegin); },
                                  Qt::QueuedConnection);
        Log(F("ComUnit: BeginWork 0/%d - %x %x %x", int(e.Head.Size), e.Head.CMD, e.Head.Priv, e.Head.ExtCmd));
        break;
      }
      case TFrameCutter::TKind::fcProgress: {
        const int64_t have = e.Count;
        QMetaObject::invokeMethod(c, [c, have] { c->WorkEvent(TWorkMode::wmRead, have, TWorkStatus::WorkWorking); },
                                  Qt::QueuedConnection);
        break;
      }
      case TFrameCutter::TKind::fcFault: {
        const QString why = e.Fault;
        QMetaObject::invokeMethod(c, [c, why] { c->OnReceiveFault(why); }, Qt::QueuedConnection);
        break;
      }
      case TFrameCutter::TKind::fcFrame: {
        if (e.Head.CMD == 9 && e.Head.ExtCmd == 2) {
          Log(QStringLiteral("NTP Begin"));
          HandleNTP(e.Frame);
          Log(QStringLiteral("NTP End"));
        } else {
          QMetaObject::invokeMethod(c, [c, frame = std::move(e.Frame)] { c->DeliverFrame(frame); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(c, [c] { c->WorkEvent(TWorkMode::wmRead, 0, TWorkStatus::WorkEnd); },
                                  Qt::QueuedConnection);
        Log(QStringLiteral("ReadEnd"));
        break;
      }
    }
  }
}

void TIdReadThreadTCP::HandleNTP(const QByteArray& frame) {
  const int64_t received = QDateTime::currentMSecsSinceEpoch();
  ccc_head_t req;
  DecodeHead(frame, req);
  QByteArray packet;
  if (const QString e = DecodeNtpRequest(frame, packet); !e.isEmpty()) {
    Log(QStringLiteral("NTP: ") + e);
    return;
  }
  const QByteArray answer = FillNTP(packet, received, QDateTime::currentMSecsSinceEpoch());
  THeaderContext ctx;
  ctx.Ver = req.Ver;
  ctx.FTPNAK = CFlagGZ;
  ctx.SN = req.SN;
  ctx.SeqCnt = FSeqCnt++;
  // Written directly, past the send queue, so the time answer waits for nothing.
  if (FIsconnected) WriteData(BuildNtpReply(ctx, answer), false);
}

void TIdReadThreadTCP::ReportDisconnected() {
  if (FDiscoReported) return;
  FDiscoReported = true;
  FIsconnected = false;
  TTCPComUnit* c = FClient;
  QMetaObject::invokeMethod(c, [c] { c->OnStatusDisconnected(); }, Qt::QueuedConnection);
}

// ---- reader: plain TCP socket ------------------------------------------------------------

TIdReadThreadTCPTCP::TIdReadThreadTCPTCP(TTCPComUnit* client) : TIdReadThreadTCP(client) {}

void TIdReadThreadTCPTCP::SetConParams(const QString& host, uint16_t port, uint16_t localPort, TIpVer ipVer) {
  FHost = host;
  FPort = port;
  FLocalPort = localPort;
  FIpVer = ipVer;
}

void TIdReadThreadTCPTCP::DoConnect() {
  if (!FTCPClient) {
    FTCPClient = new QTcpSocket(this);
    FConnectTimer = new QTimer(this);
    FConnectTimer->setSingleShot(true);
    connect(FConnectTimer, &QTimer::timeout, this, [this] {
      if (!FConnecting) return;
      FConnecting = false;
      FTCPClient->abort();
      TTCPComUnit* c = FClient;
      QMetaObject::invokeMethod(c, [c] { c->OnConnectFailed(QStringLiteral("Zeitüberschreitung beim Verbinden")); },
                                Qt::QueuedConnection);
    });
    connect(FTCPClient, &QTcpSocket::connected, this, &TIdReadThreadTCPTCP::OnConnected);
    connect(FTCPClient, &QTcpSocket::readyRead, this, [this] { OnReadable(*FTCPClient); });
    connect(FTCPClient, &QTcpSocket::errorOccurred, this, &TIdReadThreadTCPTCP::OnSocketError);
    connect(FTCPClient, &QTcpSocket::disconnected, this, [this] {
      // Bytes that came with the close are still evaluated.
      if (FTCPClient->bytesAvailable() > 0) OnReadable(*FTCPClient);
      ReportDisconnected();
    });
  }
  Log(QStringLiteral("Status: Resolving"), true);
  Log(QStringLiteral("Status: Connecting %1:%2").arg(FHost).arg(FPort), true);
  if (FLocalPort != 0) FTCPClient->bind(FLocalPort);
  FConnecting = true;
  FConnectTimer->start(CConnectTimeoutMs);
  FTCPClient->connectToHost(FHost, FPort, QIODevice::ReadWrite,
                            FIpVer == TIpVer::ipverV6 ? QAbstractSocket::IPv6Protocol : QAbstractSocket::IPv4Protocol);
}

void TIdReadThreadTCPTCP::OnConnected() {
  FConnecting = false;
  FConnectTimer->stop();
  FTCPClient->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // Nagle off
  FTCPClient->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_UNIX
  const int fd = int(FTCPClient->socketDescriptor());
  const int idle = CKeepAliveIdleSec, interval = CKeepAliveIntervalSec;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
#endif
  FDiscoReported = false;
  FIsconnected = true;
  Log(QStringLiteral("DoConnect: True"));
  const QString local = FTCPClient->localAddress().toString();
  TTCPComUnit* c = FClient;
  QMetaObject::invokeMethod(c, [c, local] { c->OnStatusConnected(local); }, Qt::QueuedConnection);
}

void TIdReadThreadTCPTCP::OnSocketError() {
  if (FConnecting) {
    FConnecting = false;
    FConnectTimer->stop();
    const QString why = FTCPClient->errorString();
    TTCPComUnit* c = FClient;
    QMetaObject::invokeMethod(c, [c, why] { c->OnConnectFailed(why); }, Qt::QueuedConnection);
    return;
  }
  if (FTCPClient->error() != QAbstractSocket::RemoteHostClosedError)
    Log(QStringLiteral("Socket: ") + FTCPClient->errorString(), true);
}

bool TIdReadThreadTCPTCP::WriteData(const QByteArray& frame, bool) {
  if (!FTCPClient || FTCPClient->state() != QAbstractSocket::ConnectedState) return false;
  const qint64 n = FTCPClient->write(frame);
  FTCPClient->flush();
  return n == frame.size();
}

void TIdReadThreadTCPTCP::DoDisconnect(bool) {
  ClearQueue();
  Log(QStringLiteral("Thread Disconnect"));
  if (!FTCPClient) return;
  FConnecting = false;
  if (FConnectTimer) FConnectTimer->stop();
  const bool wasConnected = FIsconnected;
  FTCPClient->abort();
  FreadStream.Clear();
  FIsconnected = false;
  if (wasConnected) ReportDisconnected();
}

void TIdReadThreadTCPTCP::Shutdown() {
  ClearQueue();
  FIsconnected = false;
  FDiscoReported = true;  // the owner is going away: nobody to tell
  if (FTCPClient) {
    FTCPClient->disconnect(this);
    FTCPClient->abort();
    delete FTCPClient;
    FTCPClient = nullptr;
  }
  delete FConnectTimer;
  FConnectTimer = nullptr;
  FreadStream.Clear();
  Log(QStringLiteral("AFTER CLEAR BUFFER"));
}

// ---- reader: SSH --------------------------------------------------------------------------

TIdReadThreadTCPSSH::TIdReadThreadTCPSSH(TTCPComUnit* client) : FClient(client) {
  setObjectName(QStringLiteral("vanta-ssh"));
  FSSHClient.FLogCB = [this](const QString& l) { Log(l); };
  FSSHClient.FOnFingerprint = [this](TFingerprintState st, const QString& question, const QString& fp) {
    // The question belongs to the user: asked on the GUI thread, waiting.
    TConnectHashAction action = TConnectHashAction::chaCancel;
    TTCPComUnit* c = FClient;
    QMetaObject::invokeMethod(
        c, [&] { action = c->FOnFingerprint ? c->FOnFingerprint(st, question, fp) : TConnectHashAction::chaIgnore; },
        Qt::BlockingQueuedConnection);
    return action;
  };
  FSSHClient.FOnPasswordExpired = [this](QString& fresh) {
    bool ok = false;
    TTCPComUnit* c = FClient;
    QMetaObject::invokeMethod(
        c, [&] {
          ok = c->FOnPasswordExpired && c->FOnPasswordExpired(fresh);
          if (ok) c->FSSHPassword = fresh;  // the session start uses the new one
        },
        Qt::BlockingQueuedConnection);
    return ok;
  };
}

TIdReadThreadTCPSSH::~TIdReadThreadTCPSSH() { Stop(); }

void TIdReadThreadTCPSSH::Log(const QString& line, bool toMemo) {
  TTCPComUnit* c = FClient;
  QMetaObject::invokeMethod(c, [c, line, toMemo] { c->WriteLog(line, toMemo); }, Qt::QueuedConnection);
}

void TIdReadThreadTCPSSH::Begin(const TSshParams& params) {
  if (isRunning()) return;
  FParams = params;
  FStop = false;
  FInvalidAuth = false;
  FreadStream.Clear();
  start();
}

void TIdReadThreadTCPSSH::Enqueue(QByteArray frame, bool isLua) {
  std::lock_guard<std::mutex> lock(FQueueLock);
  FSendQueue.push_back({std::move(frame), isLua});
  FClient->SendQueueActive = true;
}

void TIdReadThreadTCPSSH::ClearQueue() {
  std::lock_guard<std::mutex> lock(FQueueLock);
  FSendQueue.clear();
  FClient->SendQueueActive = false;
}

void TIdReadThreadTCPSSH::Stop() {
  FStop = true;
  if (isRunning() && !wait(5000)) qWarning("vanta: SSH reader did not stop within 5 s");
}

void TIdReadThreadTCPSSH::run() {
  TTCPComUnit* c = FClient;
  QString error;
  bool authError = false;
  Log(QStringLiteral("DoConnectSSH as ") + FParams.User);
  if (!FSSHClient.Connect(FParams, error, authError)) {
    FInvalidAuth = authError;
    QMetaObject::invokeMethod(c, [c, error, authError] {
      c->FAuthError = authError;
      c->OnConnectFailed(error);
    }, Qt::QueuedConnection);
    return;
  }
  FIsconnected = true;
  const QString local = FSSHClient.getLocalIP();
  QMetaObject::invokeMethod(c, [c, local] { c->OnSshConnected(local); }, Qt::QueuedConnection);
  QElapsedTimer alive;
  alive.start();
  while (!FStop) {
    if (!FSSHClient.isConnected()) break;
    if (FDoClearBuffer) {
      FDoClearBuffer = false;
      FreadStream.Clear();
      Log(QStringLiteral("ClearBuffer"));
    }
    bool busy = false;
    QByteArray ccci;
    const int got = FSSHClient.ReadCCCI(ccci);
    if (got < 0) break;
    if (got > 0) {
      busy = true;
      std::vector<TFrameCutter::TEvent> events;
      FreadStream.Append(ccci, events);
      for (TFrameCutter::TEvent& e : events) {
        if (e.Kind == TFrameCutter::TKind::fcFrame)
          QMetaObject::invokeMethod(c, [c, frame = std::move(e.Frame)] { c->DeliverFrame(frame); }, Qt::QueuedConnection);
        else if (e.Kind == TFrameCutter::TKind::fcFault)
          QMetaObject::invokeMethod(c, [c, why = e.Fault] { c->OnReceiveFault(why); }, Qt::QueuedConnection);
      }
    }
    QByteArray shell;
    const int text = FSSHClient.ReadTerminal(shell);
    if (text < 0) break;
    if (text > 0) {
      busy = true;
      QMetaObject::invokeMethod(c, [c, shell] { c->LUACommandSSH(shell); }, Qt::QueuedConnection);
    }
    TSendQueueItem item;
    bool have = false;
    {
      std::lock_guard<std::mutex> lock(FQueueLock);
      if (!FSendQueue.empty()) {
        item = std::move(FSendQueue.front());
        FSendQueue.pop_front();
        have = true;
      }
      c->SendQueueActive = !FSendQueue.empty();
    }
    if (have) {
      busy = true;
      // A Lua statement is typed into the shell and ended with the Enter key.
      const bool ok = item.IsLua ? FSSHClient.WriteTerminal(item.SendStream.mid(ccci::CHeadSize) + '\n')
                                 : FSSHClient.WriteChannelData(item.SendStream);
      if (!ok) Log(QStringLiteral("Error Sending Data"), true);
    }
    if (alive.elapsed() > 25000) {
      FSSHClient.KeepAlive();
      alive.restart();
    }
    if (!busy) FSSHClient.WaitForData(5);
  }
  const bool wanted = FStop;
  FSSHClient.Disconnect();
  FIsconnected = false;
  if (!wanted) QMetaObject::invokeMethod(c, [c] { c->OnStatusDisconnected(); }, Qt::QueuedConnection);
}

// ---- client --------------------------------------------------------------------------------

TTCPComUnit::TTCPComUnit(bool IsSSH, QObject* parent, TNowFunc now, const TDeviceDefaults& defaults)
    : TComUnit(parent, std::move(now), defaults) {
  FisSSHCon = IsSSH;
  CreateThread(IsSSH);
}

TTCPComUnit::~TTCPComUnit() {
  FOnLogCallBack = nullptr;
  StopReader();
}

void TTCPComUnit::StopReader() {
  delete FSshThread;  // its destructor stops the loop, bounded
  FSshThread = nullptr;
  if (!FThread) return;
  if (FThread->isRunning()) {
    TIdReadThreadTCP* r = FReadThread;
    QMetaObject::invokeMethod(r, [r] { r->Shutdown(); }, Qt::BlockingQueuedConnection);
    FThread->quit();
    if (!FThread->wait(CStopWaitMs)) {
      // Never terminate a thread: leave it and its reader rather than risk
      // corrupting state; this is logged so it does not go unnoticed.
      qWarning("vanta: reader thread did not stop within %d ms", CStopWaitMs);
      FThread = nullptr;
      FReadThread = nullptr;
      return;
    }
  }
  delete FReadThread;
  FReadThread = nullptr;
  delete FThread;
  FThread = nullptr;
}

void TTCPComUnit::CreateThread(bool IsSSH) {
  WriteLog(QStringLiteral("Create Thread"));
  if (IsSSH) {
    FSshThread = new TIdReadThreadTCPSSH(this);
    return;
  }
  FThread = new QThread();
  FThread->setObjectName(QStringLiteral("vanta-reader"));
  FReadThread = new TIdReadThreadTCPTCP(this);
  FReadThread->moveToThread(FThread);
  FThread->start();
}

void TTCPComUnit::SetIPAndPort(const QString& address, int port, int localPort) {
  FIP = address;
  FPort = uint16_t(qBound(1, port, 65535));
  if (auto* tcp = qobject_cast<TIdReadThreadTCPTCP*>(FReadThread)) {
    const QString host = FIP;
    const uint16_t p = FPort;
    const uint16_t lp = uint16_t(qBound(0, localPort, 65535));
    const TIpVer v = FIPVersion;
    QMetaObject::invokeMethod(tcp, [tcp, host, p, lp, v] { tcp->SetConParams(host, p, lp, v); }, Qt::QueuedConnection);
  }
}

void TTCPComUnit::DoConnect() {
  WriteLog(QStringLiteral("DoConnect"));
  FConnectReported = false;
  FWantedDisco = false;
  if (FSshThread) {
    TSshParams p;
    p.Host = FIP;
    p.Port = FPort;
    p.User = FSSHUser;
    p.Password = FSSHPassword;
    p.ChannelPort = FOutPort > 0 ? FOutPort : 5040;
    p.WithCCCI = !FConWithoutCCCI;
    QString ini = FIniFolder;
    if (!ini.isEmpty() && !ini.endsWith(QLatin1Char('/'))) ini += QLatin1Char('/');
    if (!ini.isEmpty()) FSshThread->SetHashFile(ini + QStringLiteral("Hash"));
    FSshThread->Begin(p);
    return;
  }
  if (!FReadThread) {
    OnConnectFailed(QStringLiteral("Reathread not assigned"));
    return;
  }
  TIdReadThreadTCP* r = FReadThread;
  QMetaObject::invokeMethod(r, [r] { r->DoConnect(); }, Qt::QueuedConnection);
}

bool TTCPComUnit::IsConnected() const {
  if (FSshThread) return FSshThread->FIsconnected;
  return FReadThread && FReadThread->FIsconnected;
}

bool TTCPComUnit::SendCommandStream(const QByteArray& frame, bool IsLua) {
  if (FSshThread) {
    WriteLog(QStringLiteral("Check Before Send"));
    FSshThread->Enqueue(frame, IsLua);
    WriteLog(QStringLiteral("After Send"));
    return true;
  }
  if (!FReadThread) {
    WriteLog(QStringLiteral("Reathread not assigned"));
    return false;
  }
  WriteLog(QStringLiteral("Check Before Send"));
  FReadThread->Enqueue(frame, IsLua);
  WriteLog(QStringLiteral("After Send"));
  return true;
}

void TTCPComUnit::ReadData(TMemoryStream& frame) {
  if (frame.Size() < CHeadSize) return;
  const bool ok = Evaluate(frame);
  if (!ok && FSshThread) FSshThread->FDoClearBuffer = true;
  if (!ok && FReadThread) {
    FReadThread->FDoClearBuffer = true;
    TIdReadThreadTCP* r = FReadThread;
    QMetaObject::invokeMethod(r, [r] { if (r->FDoClearBuffer) r->Clearbuffer(); }, Qt::QueuedConnection);
  }
}

void TTCPComUnit::DeliverFrame(const QByteArray& frame) {
  TMemoryStream s(frame);
  ReadData(s);
  WriteLog(QStringLiteral("EvalEnd"));
}

void TTCPComUnit::OnReceiveFault(const QString& why) {
  WriteLog(why, true);
  ClearStreamAndBuffer();
}

void TTCPComUnit::DoDisconnect(bool notify) {
  WriteLog(QStringLiteral("ComUnit Call Disconnect"));
  if (FSshThread) {
    WriteLog(QStringLiteral("Status: Disconnecting"));
    FWantedDisco = true;
    FSshThread->ClearQueue();
    const bool was = FSshThread->FIsconnected;
    FSshThread->Stop();
    if (was) OnStatusDisconnected();
    return;
  }
  if (!FReadThread) return;
  WriteLog(QStringLiteral("Status: Disconnecting"));
  FWantedDisco = true;
  FReadThread->ClearQueue();
  TIdReadThreadTCP* r = FReadThread;
  QMetaObject::invokeMethod(r, [r, notify] { r->DoDisconnect(notify); }, Qt::QueuedConnection);
}

void TTCPComUnit::WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) {
  if (FOnWorkEvent) FOnWorkEvent(mode, count, status);
}

void TTCPComUnit::OnSshConnected(const QString& localAddress) {
  FLocalIP = localAddress;
  FHardDisconnect = false;
  WriteLog(QStringLiteral("Status: Connected"));
  WriteLog(F("Connected: %s:%d", U8(FIP).constData(), int(FPort)), true);
  if (FConnectThreadEnd && !FConnectReported) {
    FConnectReported = true;
    FConnectThreadEnd(this, true, false);
  }
  if (FConWithoutCCCI) {
    if (FOnConnDone) FOnConnDone(this, true);
    return;
  }
  // Rights check through the shell, then the protocol-5 start with a ticket
  // or the password; a protocol-4 device answers NAK 134 and the client falls
  // back by itself.
  FVer = 5;
  StartCredentialSession();
}

void TTCPComUnit::OnConnectFailed(const QString& why) {
  if (FAuthError) {
    WriteLog(QStringLiteral("SSH Auth Error"), true);
    if (FStopWork) FStopWork();
  }
  WriteLog(QStringLiteral("DoConnectExcept: ") + why, true);
  if (FConnectReported) return;
  FConnectReported = true;
  if (FConnectThreadEnd) FConnectThreadEnd(this, false, FAuthError);
  if (FOnConnDone) FOnConnDone(this, false);
}

void TTCPComUnit::OnStatusConnected(const QString& localAddress) {
  WriteLog(QStringLiteral("Status: Connected1 "));
  FLocalIP = localAddress;
  Postpone(this, [this] {
    FHardDisconnect = false;
    WriteLog(QStringLiteral("Status: Connected2 "));
    WriteLog(F("Connected: %s:%d", U8(FIP).constData(), int(FPort)), true);
    if (FConnectThreadEnd && !FConnectReported) {
      FConnectReported = true;
      FConnectThreadEnd(this, true, false);
    }
    if (!FAutoSessionStart) return;
    FVer = 4;
    if (FVisibility >= 2)
      SendCommand(ccci::TCcci::SESSION_STR_SUP);
    else
      SendCommand(ccci::TCcci::SESSION_STR_ADV);
  }, 100);
}

void TTCPComUnit::OnStatusDisconnected() {
  WriteLog(QStringLiteral("Status: Disconnected "));
  if (FHardDisconnect) {
    ReConnect();
    return;
  }
  if (FShutDownComplete) {
    TShutDownComplete done = std::move(FShutDownComplete);
    FShutDownComplete = nullptr;
    FOnLogCallBack = nullptr;
    done(this);
    return;
  }
  if (!FWantedDisco || !FRequestClose) {
    FTimer->stop();
    if (!FWantedDisco) {
      // Reported once, a moment later, and not when a NAK message already
      // told the user what went wrong.
      Postpone(this, [this] {
        if (FNAK) return;
        FWantedDisco = false;
        ShowMessage(CConnectionLostText, TMsgDlgType::mtError, {});
        if (FClearWork) FClearWork();
      }, 500);
    }
    return;
  }
  WriteLog(QStringLiteral("RequestClose "));
  Postpone(this, [this] {
    if (FRequestClose) FRequestClose(this);
  });
}

}  // namespace vanta
