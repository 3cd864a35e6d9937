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
    // The SSH reader comes with the SSH client; until then this connection
    // has no reader and every send reports it.
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
  if (!FReadThread) {
    OnConnectFailed(QStringLiteral("Reathread not assigned"));
    return;
  }
  TIdReadThreadTCP* r = FReadThread;
  QMetaObject::invokeMethod(r, [r] { r->DoConnect(); }, Qt::QueuedConnection);
}

bool TTCPComUnit::IsConnected() const { return FReadThread && FReadThread->FIsconnected; }

bool TTCPComUnit::SendCommandStream(const QByteArray& frame, bool IsLua) {
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
  if (!Evaluate(frame) && FReadThread) {
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

void TTCPComUnit::OnConnectFailed(const QString& why) {
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
      SendCommand(QStringLiteral("CCC_SESSION_STR_SUP"), 1, 2, 3);
    else
      SendCommand(QStringLiteral("CCC_SESSION_STR_ADV"), 1, 1, 2);
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
