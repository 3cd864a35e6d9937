#include "TcpComUnit.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "LogFormat.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

namespace {
constexpr int CConnectTimeoutMs = 10000;
constexpr int CKeepAliveIdleSec = 25;
constexpr int CKeepAliveIntervalSec = 2;
constexpr int64_t CServerAliveMs = 25000;
constexpr qsizetype CProgressFrom = 256 * 1024;  // frames above this report write progress
// Waits of the reader are cut into slices this long, each ending with a
// look at its stop flag.
constexpr int CSliceMs = 20;
constexpr int CAskSliceMs = 5;
}  // namespace

// ---- plain TCP backend ------------------------------------------------------------------

TTcpBackend::~TTcpBackend() { Close(); }

void TTcpBackend::SetConParams(const QString& host, uint16_t port, uint16_t localPort, TIpVer ipVer) {
  FHost = host;
  FPort = port;
  FLocalPort = localPort;
  FIpVer = ipVer;
}

TLinkBackend::TOpen TTcpBackend::Open(TLinkSink& sink, QString&, bool&, QString&) {
  FSink = &sink;
  if (!FTCPClient) {
    FTCPClient = new QTcpSocket();
    FConnectTimer = new QTimer();
    FConnectTimer->setSingleShot(true);
    QObject::connect(FConnectTimer, &QTimer::timeout, FTCPClient, [this] {
      if (!FConnecting) return;
      FConnecting = false;
      FTCPClient->abort();
      FSink->OpenFailed(TTr::tr("Zeitüberschreitung beim Verbinden"), false);
    });
    QObject::connect(FTCPClient, &QTcpSocket::connected, FTCPClient, [this] {
      FConnecting = false;
      FConnectTimer->stop();
      FTCPClient->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // Nagle off
      FTCPClient->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
      SetKeepAliveTiming(qintptr(FTCPClient->socketDescriptor()), CKeepAliveIdleSec, CKeepAliveIntervalSec);
      FSink->Log(QStringLiteral("DoConnect: True"), false);
      FSink->Opened(FTCPClient->localAddress().toString());
    });
    QObject::connect(FTCPClient, &QTcpSocket::readyRead, FTCPClient, [this] { FSink->Readable(); });
    QObject::connect(FTCPClient, &QTcpSocket::errorOccurred, FTCPClient, [this] {
      if (FConnecting) {
        FConnecting = false;
        FConnectTimer->stop();
        FSink->OpenFailed(FTCPClient->errorString(), false);
        return;
      }
      // A write waits in short slices; the end of one is no error of the link.
      if (FTCPClient->error() != QAbstractSocket::RemoteHostClosedError &&
          FTCPClient->error() != QAbstractSocket::SocketTimeoutError)
        FSink->Log(QStringLiteral("Socket: ") + FTCPClient->errorString(), true);
    });
    QObject::connect(FTCPClient, &QTcpSocket::disconnected, FTCPClient, [this] {
      // Bytes that came with the close are still evaluated, then the loss is told.
      FSink->Readable();
      FSink->Gone(TTr::tr("Verbindung vom Gerät geschlossen"));
    });
  }
  FSink->Log(QStringLiteral("Status: Resolving"), true);
  FSink->Log(QStringLiteral("Status: Connecting %1:%2").arg(FHost).arg(FPort), true);
  if (FLocalPort != 0) FTCPClient->bind(FLocalPort);
  FConnecting = true;
  FConnectTimer->start(CConnectTimeoutMs);
  // An IPv6 address (also written "[::1]") is reached over IPv6 whatever the
  // setting says; names follow the setting.
  QString host = FHost;
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
  const QHostAddress literal(host);
  const bool v6 = FIpVer == TIpVer::ipverV6 || literal.protocol() == QAbstractSocket::IPv6Protocol;
  FTCPClient->connectToHost(host, FPort, QIODevice::ReadWrite, v6 ? QAbstractSocket::IPv6Protocol : QAbstractSocket::IPv4Protocol);
  return TOpen::opPending;
}

bool TTcpBackend::Read(QByteArray& into) {
  FMoreWaiting = false;
  if (!FTCPClient) return false;
  // What the socket object already took from the line comes first.
  for (qint64 avail = FTCPClient->bytesAvailable(); avail > 0; avail = FTCPClient->bytesAvailable()) {
    const qsizetype old = into.size();
    into.resize(old + qsizetype(avail));
    const qint64 got = FTCPClient->read(into.data() + old, avail);
    into.resize(old + qsizetype(qMax<qint64>(0, got)));
    if (got <= 0) break;
  }
  const bool connected = FTCPClient->state() == QAbstractSocket::ConnectedState;
  // Then straight from the descriptor into the receive buffer, whose memory
  // is reused between pieces. Through the socket object every piece would
  // pass a buffer of its own, freshly allocated and copied once more; on a
  // large download that costs more than the disk. The end of the line and
  // its errors are left to the socket object, which sees them on its next
  // look at the descriptor.
  const qintptr fd = FTCPClient->socketDescriptor();
  if (!connected || fd < 0) return connected;
  constexpr qsizetype CPiece = qsizetype(1) << 20;
  constexpr qsizetype CPerCall = qsizetype(1) << 20;  // then the pieces are cut and stored
  for (qsizetype taken = 0; taken < CPerCall;) {
    const qsizetype old = into.size();
    into.resize(old + CPiece);
    const ssize_t got = ::recv(int(fd), into.data() + old, size_t(CPiece), MSG_DONTWAIT);
    into.resize(old + qsizetype(qMax<ssize_t>(0, got)));
    if (got <= 0) return connected;
    taken += got;
  }
  FMoreWaiting = true;
  return connected;
}

bool TTcpBackend::Write(const QByteArray& frame, bool, QString& error, qint64& sent) {
  sent = 0;
  if (!FTCPClient || FTCPClient->state() != QAbstractSocket::ConnectedState) {
    error = TTr::tr("nicht verbunden");
    return false;
  }
  // A large frame (a setup upload) goes out piece by piece with its
  // progress; the device answers only once it has all of it, so the reader
  // misses nothing while it waits here.
  const bool large = frame.size() > CProgressFrom;
  for (qsizetype at = 0; at < frame.size();) {
    const qsizetype n = large ? qMin<qsizetype>(CProgressFrom, frame.size() - at) : frame.size();
    const qint64 took = FTCPClient->write(frame.constData() + at, n);
    // What the socket took goes out even when the rest fails.
    sent += qMax<qint64>(0, took);
    if (took != n) {
      error = FTCPClient->errorString();
      return false;
    }
    FTCPClient->flush();
    at += n;
    if (!large) break;
    // Waited for in slices: a stop of the reader is seen within one, and a
    // peer that takes nothing for FWriteStallMs ends the write.
    QElapsedTimer quiet;
    quiet.start();
    for (qint64 left = FTCPClient->bytesToWrite(); left > 0; left = FTCPClient->bytesToWrite()) {
      if (FCancel && FCancel->load()) {
        error = TTr::tr("abgebrochen");
        return false;
      }
      if (FTCPClient->state() != QAbstractSocket::ConnectedState) {
        error = FTCPClient->errorString();
        return false;
      }
      if (quiet.elapsed() > FWriteStallMs) {
        error = TTr::tr("Zeitüberschreitung beim Senden");
        return false;
      }
      FTCPClient->waitForBytesWritten(CSliceMs);
      if (FTCPClient->bytesToWrite() < left) quiet.restart();
    }
    FSink->WriteProgress(at);
  }
  return true;
}

void TTcpBackend::Close() {
  FConnecting = false;
  if (FConnectTimer) FConnectTimer->stop();
  if (!FTCPClient) return;
  // The owner asked for it: no "disconnected" report from the socket itself.
  QObject::disconnect(FTCPClient, &QTcpSocket::disconnected, nullptr, nullptr);
  FTCPClient->abort();
  delete FTCPClient;
  FTCPClient = nullptr;
  delete FConnectTimer;
  FConnectTimer = nullptr;
}

bool TTcpBackend::IsConnected() const { return FTCPClient && FTCPClient->state() == QAbstractSocket::ConnectedState; }

// ---- SSH backend -------------------------------------------------------------------------

TSshBackend::~TSshBackend() { Close(); }

TLinkBackend::TOpen TSshBackend::Open(TLinkSink& sink, QString& error, bool& authError, QString& local) {
  FSink = &sink;
  FSSHClient.FLogCB = [this](const QString& l) { FSink->Log(l, false); };
  sink.Log(QStringLiteral("DoConnectSSH as ") + FParams.User, false);
  FParams.Cancel = FCancel;
  if (!FSSHClient.Connect(FParams, error, authError)) return TOpen::opFailed;
  local = FSSHClient.getLocalIP();
  FLastAlive = QDateTime::currentMSecsSinceEpoch();
  delete FNotifier;
  FNotifier = new QSocketNotifier(qintptr(FSSHClient.Fd()), QSocketNotifier::Read);
  QObject::connect(FNotifier, &QSocketNotifier::activated, FNotifier, [this] { FSink->Readable(); });
  return TOpen::opOpened;
}

bool TSshBackend::Read(QByteArray& into) {
  // Both channels are read before the end of the link is judged: the
  // device's last answer or output may have come with it. The end is then
  // told by the next read.
  const int got = FSSHClient.ReadCCCI(into);
  QByteArray shell;
  const int text = FSSHClient.ReadTerminal(shell);
  if (text > 0) FSink->ShellText(shell);
  if (got > 0 || text > 0) return true;
  if (got < 0 || text < 0 || !FSSHClient.isConnected()) {
    // An error of the link is a failure; a channel the device closed (after
    // the session stop, say) is an ordinary end of the connection.
    if (FSSHClient.ReadFailed()) FFailure = QStringLiteral("SSH: Lesefehler");
    return false;
  }
  return FSSHClient.isConnected();
}

bool TSshBackend::Write(const QByteArray& frame, bool isLua, QString& error, qint64& sent) {
  sent = 0;
  // A Lua statement is typed into the shell as it is, without a line end.
  if (isLua) {
    if (FSSHClient.WriteTerminal(frame.mid(CHeadSize))) return true;
    error = QStringLiteral("SSH-Schreibfehler");
    return false;
  }
  // Large frames go in pieces so that their progress can be shown.
  for (qsizetype at = 0; at < frame.size();) {
    const qsizetype n = qMin<qsizetype>(CProgressFrom, frame.size() - at);
    qint64 took = 0;
    const bool ok = FSSHClient.WriteChannelData(QByteArray::fromRawData(frame.constData() + at, n), &took);
    sent += took;
    if (!ok) {
      error = FCancel && FCancel->load() ? TTr::tr("abgebrochen") : TTr::tr("SSH-Schreibfehler");
      return false;
    }
    at += n;
    if (frame.size() > CProgressFrom) FSink->WriteProgress(at);
  }
  return true;
}

void TSshBackend::Tick() {
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (now - FLastAlive < CServerAliveMs) return;
  FLastAlive = now;
  FSSHClient.KeepAlive();
}

void TSshBackend::Close() {
  delete FNotifier;
  FNotifier = nullptr;
  FSSHClient.Disconnect();
}

// ---- readers --------------------------------------------------------------------------------

TIdReadThreadTCPTCP::TIdReadThreadTCPTCP(TTCPComUnit* client)
    : TIdReadThreadTCP(client, std::make_unique<TTcpBackend>(&FStop)) {}

TIdReadThreadTCPSSH::TIdReadThreadTCPSSH(TTCPComUnit* client)
    : TIdReadThreadTCP(client, std::make_unique<TSshBackend>(&FStop)) {
  TSSHUnit& ssh = Ssh().FSSHClient;
  ssh.FOnFingerprint = [this](TFingerprintState st, const QString& question, const QString& fp) {
    // The question belongs to the user; no answer (a stop) refuses the key.
    auto action = std::make_shared<std::atomic<TConnectHashAction>>(TConnectHashAction::chaCancel);
    const bool asked = AskClient([action, st, question, fp](TTCPComUnit* client) {
      // A copy: the dialog's own event loop may see the window, and with it
      // the client, go away.
      const auto ask = client->FOnFingerprint;
      action->store(ask ? ask(st, question, fp) : TConnectHashAction::chaIgnore);
    });
    return asked ? action->load() : TConnectHashAction::chaCancel;
  };
  ssh.FOnPasswordExpired = [this](QString& fresh) {
    struct TAnswer {
      std::mutex Lock;
      bool Ok = false;
      QString Password;
    };
    auto answer = std::make_shared<TAnswer>();
    const bool asked = AskClient([answer](TTCPComUnit* client) {
      QPointer<TTCPComUnit> alive(client);
      const auto ask = client->FOnPasswordExpired;
      QString pw;
      const bool ok = ask && ask(pw);
      if (ok && alive) client->FSSHPassword = pw;  // the session start uses the new one
      std::lock_guard<std::mutex> lock(answer->Lock);
      answer->Ok = ok;
      answer->Password = pw;
    });
    std::lock_guard<std::mutex> lock(answer->Lock);
    if (!asked || !answer->Ok) return false;
    fresh = answer->Password;
    return true;
  };
}

bool TIdReadThreadTCPSSH::AskClient(const std::function<void(TTCPComUnit*)>& ask) {
  struct TState {
    std::mutex Lock;
    std::condition_variable Answered;
    bool Done = false;
  };
  auto state = std::make_shared<TState>();
  // Queued, not blocking: the GUI thread may be waiting in StopReader for
  // this very thread, and would only see the question after its time-out.
  const bool posted = PostToClient([state, ask](TLinkComUnit* c) {
    ask(static_cast<TTCPComUnit*>(c));
    std::lock_guard<std::mutex> lock(state->Lock);
    state->Done = true;
    state->Answered.notify_all();
  });
  if (!posted) return false;
  std::unique_lock<std::mutex> lock(state->Lock);
  while (!state->Done) {
    if (FStop) return false;  // answered as refused; the late answer goes nowhere
    state->Answered.wait_for(lock, std::chrono::milliseconds(CAskSliceMs));
  }
  return true;
}

// ---- client ----------------------------------------------------------------------------------

TTCPComUnit::TTCPComUnit(bool IsSSH, QObject* parent, TNowFunc now, const TDeviceDefaults& defaults)
    : TLinkComUnit(parent, std::move(now), defaults) {
  FisSSHCon = IsSSH;
  CreateThread(IsSSH);
}

TTCPComUnit::~TTCPComUnit() {
  FOnLogCallBack = nullptr;
  StopReader();
}

void TTCPComUnit::CreateThread(bool IsSSH) {
  WriteLog(QStringLiteral("Create Thread"));
  if (IsSSH)
    StartReader(new TIdReadThreadTCPSSH(this));
  else
    StartReader(new TIdReadThreadTCPTCP(this));
}

void TTCPComUnit::SetIPAndPort(const QString& address, int port, int localPort) {
  FIP = address;
  FPort = uint16_t(qBound(1, port, 65535));
  FLocalPort = uint16_t(qBound(0, localPort, 65535));
}

void TTCPComUnit::DoConnect() {
  WriteLog(QStringLiteral("DoConnect"));
  FConnectReported = false;
  // FWantedDisco stays until the new link is up: the report of the old
  // link's end may still be on its way and must read as wanted.
  FAuthError = false;
  if (!FReadThread) {
    OnConnectFailed(QStringLiteral("Reathread not assigned"));
    return;
  }
  if (auto* ssh = qobject_cast<TIdReadThreadTCPSSH*>(FReadThread)) {
    TSshParams p;
    p.Host = FIP;
    p.Port = FPort;
    p.User = FSSHUser;
    p.Password = FSSHPassword;
    p.ChannelPort = FOutPort > 0 ? FOutPort : 5040;
    p.WithCCCI = !FConWithoutCCCI;
    p.TimeoutSec = FSshTimeoutSec;
    QString ini = FIniFolder;
    if (!ini.isEmpty() && !ini.endsWith(QLatin1Char('/'))) ini += QLatin1Char('/');
    QMetaObject::invokeMethod(ssh, [ssh, p, ini] {
      ssh->Ssh().FParams = p;
      if (!ini.isEmpty()) ssh->Ssh().FSSHClient.FHashManager.SetHashStore(ini + QStringLiteral("Hash"));
      ssh->FInvalidAuth = false;
    }, Qt::QueuedConnection);
  } else if (auto* tcp = qobject_cast<TIdReadThreadTCPTCP*>(FReadThread)) {
    const QString host = FIP;
    const uint16_t port = FPort, local = FLocalPort;
    const TIpVer v = FIPVersion;
    QMetaObject::invokeMethod(tcp, [tcp, host, port, local, v] { tcp->Tcp().SetConParams(host, port, local, v); },
                              Qt::QueuedConnection);
  }
  ConnectReader();
}

void TTCPComUnit::OnLinkOpened(const QString& localAddress) {
  FWantedDisco = false;
  if (FisSSHCon)
    OnSshConnected(localAddress);
  else
    OnStatusConnected(localAddress);
}

void TTCPComUnit::OnLinkOpenFailed(const QString& why, bool authError) {
  FAuthError = authError;
  if (auto* ssh = qobject_cast<TIdReadThreadTCPSSH*>(FReadThread)) ssh->FInvalidAuth = authError;
  OnConnectFailed(why);
}

void TTCPComUnit::OnLinkLost(const QString& why) {
  // Whatever was awaited will not come over this link: end the waits now.
  EndShellText();
  ClearStreamAndBuffer();
  FailFileRequest(ConnectionLostText(), false);
  if (!why.isEmpty()) WriteLog(QStringLiteral("Link: ") + why);
  if (FisSSHCon)
    SshDisconnected();
  else
    OnStatusDisconnected();
}

void TTCPComUnit::DoDisconnect(bool notify) {
  WriteLog(QStringLiteral("ComUnit Call Disconnect"));
  if (!FReadThread) return;
  WriteLog(QStringLiteral("Status: Disconnecting"));
  FWantedDisco = true;
  DisconnectReader(notify);
}

void TTCPComUnit::OnSshConnected(const QString& localAddress) {
  FLocalIP = localAddress;
  FShellTail.clear();
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
  FLastConnectError = why;
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
      SendCommand(TCcci::SESSION_STR_SUP);
    else
      SendCommand(TCcci::SESSION_STR_ADV);
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
        ShowMessage(ConnectionLostText(), TMsgDlgType::mtError, {});
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

void TTCPComUnit::SshDisconnected() {
  auto* ssh = qobject_cast<TIdReadThreadTCPSSH*>(FReadThread);
  if (ssh) FAuthError = ssh->FInvalidAuth;
  WriteLog(QStringLiteral("Status: Disconnected"));
  if (ssh)
    WriteLog(F("Harddisc: %s | ShutCompl: %s | Wanted: %s | Request:%s | ReadThr: %s | ReadThrTer: %s | NAK: %s | "
               "Connected: %s | Canceled: %s",
               U8(BoolText(FHardDisconnect)).constData(), U8(BoolText(bool(FShutDownComplete))).constData(),
               U8(BoolText(FWantedDisco)).constData(), U8(BoolText(bool(FRequestClose))).constData(),
               U8(BoolText(true)).constData(), U8(BoolText(bool(ssh->FStop))).constData(),
               U8(BoolText(FNAK)).constData(), U8(BoolText(IsConnected())).constData(),
               U8(BoolText(bool(ssh->FStop))).constData()));
  else
    WriteLog(QStringLiteral("Disc no Read Thread"));
  if (FHardDisconnect) {
    ReConnect();
    return;
  }
  if (FShutDownComplete) {
    WriteLog(QStringLiteral("Begin ShutdownComplete"));
    TShutDownComplete done = std::move(FShutDownComplete);
    FShutDownComplete = nullptr;
    FOnLogCallBack = nullptr;
    Postpone(this, [this, done] { done(this); });
    return;
  }
  if (FWantedDisco && FRequestClose) {
    Postpone(this, [this] {
      if (FRequestClose) FRequestClose(this);
    });
    return;
  }
  FTimer->stop();
  // The link is closed already; the reader stays for a later reconnect.
  WriteLog(QStringLiteral("Terminating RedThread"));
  if (!FWantedDisco && !FNAK) {
    ShowMessage(ConnectionLostText(), TMsgDlgType::mtError, {});
    if (FClearWork) FClearWork();
  }
}

}  // namespace vanta
