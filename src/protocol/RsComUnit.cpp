#include "RsComUnit.h"

#include <cerrno>
#include <cstring>

#include "LogFormat.h"

namespace vanta {

using namespace ccci;

// ---- reader thread -------------------------------------------------------------------------

TIdReadThreadRS::TIdReadThreadRS(TRSComUnit* client) : FClient(client) { setObjectName(QStringLiteral("vanta-serial")); }

TIdReadThreadRS::~TIdReadThreadRS() { Stop(); }

void TIdReadThreadRS::Log(const QString& line, bool toMemo) {
  TRSComUnit* c = FClient;
  QMetaObject::invokeMethod(c, [c, line, toMemo] { c->WriteLog(line, toMemo); }, Qt::QueuedConnection);
}

void TIdReadThreadRS::SetPort(const QString& path) { FPath = path; }

void TIdReadThreadRS::Begin() {
  if (isRunning()) return;
  FStop = false;
  FWasConnected = false;
  FreadStream.Clear();
  start();
}

void TIdReadThreadRS::Enqueue(QByteArray frame) {
  std::lock_guard<std::mutex> lock(FQueueLock);
  FSendQueue.push_back(std::move(frame));
  FClient->SendQueueActive = true;
}

void TIdReadThreadRS::ClearQueue() {
  std::lock_guard<std::mutex> lock(FQueueLock);
  FSendQueue.clear();
  FClient->SendQueueActive = false;
}

void TIdReadThreadRS::Stop() {
  FStop = true;
  if (isRunning() && !wait(3000)) qWarning("vanta: serial reader did not stop within 3 s");
}

void TIdReadThreadRS::Clearbuffer() {
  FDoClearBuffer = false;
  FreadStream.Clear();
  FRSClient.ClearBuffer();
  Log(QStringLiteral("ClearBuffer"));
}

void TIdReadThreadRS::run() {
  QString error;
  FRSClient.SetPort(FPath);
  if (!FRSClient.OpenPort(error)) Log(QStringLiteral("RS232: %1 nicht geöffnet: %2").arg(FPath, error), true);
  while (!FStop) {
    if (!FRSClient.IsOpen()) {
      msleep(10);
      continue;
    }
    FConnected = FRSClient.CheckConnection();
    if (FDoClearBuffer) Clearbuffer();
    if (!FConnected) {
      if (FWasConnected) {
        FWasConnected = false;
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        Log(why, true);
        TRSComUnit* c = FClient;
        QMetaObject::invokeMethod(c, [c] { c->OnError(c, CConnectionLostText); }, Qt::QueuedConnection);
        continue;
      }
      Log(QStringLiteral("Thread not Connected"), true);
      msleep(50);
      continue;
    }
    FWasConnected = true;
    bool queued = false;
    {
      std::lock_guard<std::mutex> lock(FQueueLock);
      queued = !FSendQueue.empty();
    }
    if (queued) {
      SendCommandStream();
      continue;
    }
    const QByteArray got = FRSClient.ReadData(error);
    if (!error.isEmpty()) {
      Log(QStringLiteral("Error reading USB: %1").arg(error));
      error.clear();
    }
    if (got.isEmpty()) continue;  // the read itself waited up to 100 ms
    Log(QStringLiteral("ReadCnt: %1").arg(got.size()));
    ReadData(got);
  }
  QString ignored;
  FRSClient.Disconnect(ignored);
  FConnected = false;
  Log(QStringLiteral("Thread stopped"), true);
}

void TIdReadThreadRS::ReadData(const QByteArray& first) {
  std::vector<TFrameCutter::TEvent> events;
  FreadStream.Append(first, events);
  // Keep reading while bytes come; one more try after a quiet 10 ms.
  QString error;
  for (int quiet = 0; quiet < 2 && !FStop;) {
    const QByteArray more = FRSClient.ReadData(error);
    if (!more.isEmpty()) {
      FreadStream.Append(more, events);
      quiet = 0;
      if (!FreadStream.HeadRead() && FreadStream.Buffered() == 0) break;  // nothing pending
      continue;
    }
    if (!FreadStream.HeadRead()) break;
    msleep(10);
    ++quiet;
  }
  TRSComUnit* c = FClient;
  for (TFrameCutter::TEvent& e : events) {
    if (e.Kind == TFrameCutter::TKind::fcFault) {
      const QString why = e.Fault;
      QMetaObject::invokeMethod(c, [c, why] { c->WriteLog(why, true); c->ClearStreamAndBuffer(); }, Qt::QueuedConnection);
    } else if (e.Kind == TFrameCutter::TKind::fcProgress) {
      const int64_t n = e.Count;
      QMetaObject::invokeMethod(c, [c, n] { c->WorkEvent(TWorkMode::wmRead, n, TWorkStatus::WorkWorking); }, Qt::QueuedConnection);
    } else if (e.Kind == TFrameCutter::TKind::fcFrame) {
      Log(QStringLiteral("MoreStreamData"));
      QMetaObject::invokeMethod(c, [c, frame = std::move(e.Frame)] { c->DeliverFrame(frame); }, Qt::QueuedConnection);
    }
  }
}

bool TIdReadThreadRS::SendCommandStream() {
  QByteArray frame;
  {
    std::lock_guard<std::mutex> lock(FQueueLock);
    if (FSendQueue.empty()) return false;
    frame = std::move(FSendQueue.front());
    FSendQueue.pop_front();
  }
  Log(QStringLiteral("Thread Before Send"));
  qint64 count = 0;
  QString error;
  TRSComUnit* c = FClient;
  const bool ok = FRSClient.WriteData(frame, count, [c](qint64 n) {
    QMetaObject::invokeMethod(c, [c, n] { c->UploadCallback(n); }, Qt::QueuedConnection);
  }, error);
  Log(F("Sending %d / %d Bytes - success: %s", int(count), int(frame.size()), ok ? "True" : "False"));
  if (!ok) Log(QStringLiteral("Error While Sending ") + error, true);
  Log(QStringLiteral("Thread After Send"));
  std::lock_guard<std::mutex> lock(FQueueLock);
  FClient->SendQueueActive = !FSendQueue.empty();
  return ok;
}

// ---- client --------------------------------------------------------------------------------------

TRSComUnit::TRSComUnit(QObject* parent, TNowFunc now, const TDeviceDefaults& defaults)
    : TComUnit(parent, std::move(now), defaults) {
  CreateThread(false);
}

TRSComUnit::~TRSComUnit() {
  FOnLogCallBack = nullptr;
  delete FReadThread;
}

void TRSComUnit::CreateThread(bool) {
  WriteLog(QStringLiteral("Create Thread"));
  FReadThread = new TIdReadThreadRS(this);
}

void TRSComUnit::SetComPort(int number) { SetPortPath(TRS232Unit::DevicePathForNumber(number)); }

void TRSComUnit::SetPortPath(const QString& path) {
  FRSPort = path;
  FIP.clear();
}

void TRSComUnit::DoConnect() {
  FErrorReported = false;
  FReadThread->SetPort(FRSPort);
  FReadThread->Begin();
}

void TRSComUnit::StartSession(bool withLogin) {
  if (withLogin) {
    SendStartCommand(0, FSSHUser.toLatin1(), FSSHPassword.toLatin1());
  } else {
    FVer = 4;
    SendCommand(ccci::TCcci::SESSION_STR_ADV);
  }
}

bool TRSComUnit::IsConnected() const { return FReadThread && FReadThread->FConnected; }

bool TRSComUnit::SendCommandStream(const QByteArray& frame, bool) {
  if (!FReadThread) {
    WriteLog(QStringLiteral("Reathread not assigned"));
    return false;
  }
  WriteLog(QStringLiteral("Check Before Send"));
  FReadThread->Enqueue(frame);
  WriteLog(QStringLiteral("After Send"));
  return true;
}

void TRSComUnit::ReadData(TMemoryStream& frame) {
  if (frame.Size() < CHeadSize) return;
  WorkEvent(TWorkMode::wmRead, frame.Size(), TWorkStatus::WorkWorking);
  if (!Evaluate(frame) && FReadThread) FReadThread->FDoClearBuffer = true;
  WorkEvent(TWorkMode::wmRead, frame.Size(), TWorkStatus::WorkWorking);
}

void TRSComUnit::DeliverFrame(const QByteArray& frame) {
  TMemoryStream s(frame);
  ReadData(s);
}

void TRSComUnit::DoDisconnect(bool) {
  WriteLog(QStringLiteral("Do Disconnect"));
  if (FReadThread) {
    FReadThread->ClearQueue();
    FReadThread->Stop();
    WriteLog(QStringLiteral("Thread Disconnect success: True Err: "));
  }
  if (FShutDownComplete) {
    TShutDownComplete done = std::move(FShutDownComplete);
    FShutDownComplete = nullptr;
    FOnLogCallBack = nullptr;
    done(this);
  }
}

void TRSComUnit::WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) {
  if (FOnWorkEvent) FOnWorkEvent(mode, count, status);
}

void TRSComUnit::UploadCallback(int64_t count) { WorkEvent(TWorkMode::wmWrite, count, TWorkStatus::WorkWorking); }

void TRSComUnit::OnError(QObject*, const QString& text) {
  WriteLog(QStringLiteral("RSUnit Error: ") + text, true);
  if (FErrorReported) return;  // the loss of the device is told once
  FErrorReported = true;
  ShowMessage(CUsbLostText, TMsgDlgType::mtError, {});
  if (FReadThread) {
    FReadThread->ClearQueue();
    FReadThread->Stop();
  }
  FTimer->stop();
  if (FClearWork) FClearWork();
  if (FRequestClose) FRequestClose(this);
}

}  // namespace vanta
