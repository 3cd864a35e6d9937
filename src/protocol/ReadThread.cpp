#include "ReadThread.h"

#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <QTimer>

#include "LogFormat.h"
#include "Ntp.h"
#include "Language.h"

#ifdef Q_OS_UNIX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace vanta {

using namespace ccci;

namespace {
// A reader sees its stop within a few slices of waiting; a window that
// closes must not hang on a link that hangs.
constexpr int CStopWaitMs = 1000;
}

void SetKeepAliveTiming(qintptr fd, int idleSec, int intervalSec) {
#ifdef Q_OS_UNIX
  const int on = 1;
  ::setsockopt(int(fd), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idleSec, sizeof idleSec);
  ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &intervalSec, sizeof intervalSec);
#else
  Q_UNUSED(fd) Q_UNUSED(idleSec) Q_UNUSED(intervalSec)
#endif
}

// ---- reader ----------------------------------------------------------------------------

TIdReadThread::TIdReadThread(TLinkComUnit* client, std::unique_ptr<TLinkBackend> backend)
    : FBackend(std::move(backend)), FClient(client) {
  FSink.Readable = [this] { OnReadable(); };
  FSink.Gone = [this](const QString& why) { LinkGone(why); };
  FSink.Opened = [this](const QString& local) {
    FOpen = true;
    FGoneReported = false;
    FIsconnected = true;
    StartPolling();
    Flush();
    PostToClient([local](TLinkComUnit* c) { c->LinkOpened(local); });
  };
  FSink.OpenFailed = [this](const QString& why, bool auth) {
    Flush();
    PostToClient([why, auth](TLinkComUnit* c) { c->OnLinkOpenFailed(why, auth); });
  };
  FSink.Log = [this](const QString& line, bool toMemo) { Log(line, toMemo); };
  FSink.WriteProgress = [this](int64_t done) {
    FBatch.push_back({TReaderEvent::TKind::reWriteProgress, done, {}, {}, {}, false});
    Flush();
  };
  FreadStream.SetSink({[this](const ccc_head_t& h) {
                          if (CheckNAK(h.FTPNAK)) return false;
                          std::lock_guard<std::mutex> lock(FSinkLock);
                          if (FArmed.Path.isEmpty() || h.CMD != FArmed.Cmd || h.ExtCmd != FArmed.ExtCmd) return false;
                          FActive = std::exchange(FArmed, TFileSink{});
                          FActiveBytes = FActiveWritten = 0;
                          FActivePending.clear();
                          FActiveError.clear();
                          return true;
                        },
                        [this](QByteArrayView piece) {
                          FActiveBytes += piece.size();
                          if (FActive.Plain) {
                            WritePlain(piece);
                            return;
                          }
                          FActivePending.append(piece.data(), piece.size());
                          if (FActivePending.size() >= (1 << 20)) FlushFileSink();
                        }});
  FSink.ShellText = [this](const QByteArray& text) {
    FBatch.push_back({TReaderEvent::TKind::reShell, 0, text, {}, {}, false});
  };
}

TIdReadThread::~TIdReadThread() { ClearQueue(); }

void TIdReadThread::Log(const QString& line, bool toMemo) {
  if (FLogWanted || toMemo) FBatch.push_back({TReaderEvent::TKind::reLog, 0, {}, {}, line, toMemo});
}

void TIdReadThread::Flush() {
  if (FBatch.empty()) return;
  PostToClient([batch = std::move(FBatch)](TLinkComUnit* c) { c->Deliver(batch); });
  FBatch = TReaderBatch();
}

void TIdReadThread::DetachClient() {
  std::lock_guard<std::mutex> lock(FClientLock);
  FClient = nullptr;
}

void TIdReadThread::SetQueueActive(bool active) {
  std::lock_guard<std::mutex> lock(FClientLock);
  if (FClient) FClient->SendQueueActive = active;
}

void TIdReadThread::Enqueue(QByteArray frame, bool isLua) {
  {
    std::lock_guard<std::mutex> lock(FQueueLock);
    FSendQueue.push_back({std::move(frame), isLua});
    SetQueueActive(true);
  }
  // One wake-up call is enough for any number of frames queued meanwhile.
  if (!FWakePending.exchange(true)) QMetaObject::invokeMethod(this, [this] { SendCommandStream(); }, Qt::QueuedConnection);
}

void TIdReadThread::WritePlain(QByteArrayView piece) {
  // The file stays open for the whole answer: one write per piece read, as
  // a plain copy loop does. Opened (and cut back to the asked position)
  // with the first piece.
  if (!FActiveError.isEmpty()) return;
  if (!FActiveFile) {
    if (const QString e = WriteAtOffset(FActive.Path, FActive.Pos, {}); !e.isEmpty()) {
      FActiveError = e;
      return;
    }
    FActiveFile = std::make_unique<QFile>(FActive.Path);
    if (!FActiveFile->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
      FActiveError = FActiveFile->errorString();
      FActiveFile.reset();
      return;
    }
  }
  for (qsizetype at = 0; at < piece.size();) {
    const qint64 n = FActiveFile->write(piece.data() + at, piece.size() - at);
    if (n <= 0) {
      FActiveError = FActiveFile->errorString().isEmpty() ? QStringLiteral("Schreibfehler") : FActiveFile->errorString();
      return;
    }
    at += qsizetype(n);
  }
  FActiveWritten += piece.size();
}

void TIdReadThread::FlushFileSink() {
  if (FActiveFile) {
    FActiveFile->close();
    if (FActiveError.isEmpty() && FActiveFile->error() != QFileDevice::NoError) FActiveError = FActiveFile->errorString();
    FActiveFile.reset();
  }
  // After a failure the rest is still read past (so the next frame starts
  // where it should), only no longer written.
  if (FActiveError.isEmpty() && !FActivePending.isEmpty())
    FActiveError = FActive.Writer(FActive.Path, FActive.Pos + FActiveWritten, FActivePending);
  FActiveWritten += FActivePending.size();
  FActivePending.clear();
}

void TIdReadThread::ArmFileSink(uint8_t cmd, uint16_t extCmd, const QString& path, qint64 pos, TFileWriter writer) {
  using TPlainWriter = QString (*)(const QString&, qint64, QByteArrayView);
  const TPlainWriter* fn = writer.target<TPlainWriter>();
  const bool plain = fn && *fn == &WriteAtOffset;
  std::lock_guard<std::mutex> lock(FSinkLock);
  FArmed = {cmd, extCmd, path, pos, std::move(writer), plain};
}

void TIdReadThread::ClearQueue() {
  std::lock_guard<std::mutex> lock(FQueueLock);
  FSendQueue.clear();
  SetQueueActive(false);
}

int TIdReadThread::QueueSize() {
  std::lock_guard<std::mutex> lock(FQueueLock);
  return int(FSendQueue.size());
}

void TIdReadThread::DoConnect() {
  if (FStop) return;
  ++FLinkGeneration;
  if (FOpen) FBackend->Close();
  FOpen = false;
  FreadStream.Clear();
  FDoClearBuffer = false;
  QString error, local;
  bool auth = false;
  switch (FBackend->Open(FSink, error, auth, local)) {
    case TLinkBackend::TOpen::opOpened: FSink.Opened(local); break;
    case TLinkBackend::TOpen::opPending: break;
    case TLinkBackend::TOpen::opFailed: FSink.OpenFailed(error, auth); break;
  }
}

void TIdReadThread::StartPolling() {
  const int ms = FBackend->PollMs();
  if (ms <= 0) return;
  if (!FPoll) {
    FPoll = new QTimer(this);
    connect(FPoll, &QTimer::timeout, this, [this] {
      if (!FOpen) return;
      FBackend->Tick();
      OnReadable();
    });
  }
  FPoll->start(ms);
}

void TIdReadThread::Clearbuffer() {
  FDoClearBuffer = false;
  Log(QStringLiteral("ClearBuffer"));
  FreadStream.Clear();
  FBackend->Purge();
}

void TIdReadThread::OnReadable() {
  if (!FOpen) return;
  if (FDoClearBuffer) Clearbuffer();
  std::vector<TFrameCutter::TEvent> events;
  bool alive = true;
  // A link with more waiting than one read takes is read again after each
  // cut, so the buffer stays small; a bounded number of rounds keeps the
  // thread's other work (sending, stopping) waiting no longer than that.
  for (int round = 0; round < 32; ++round) {
    events.clear();
    alive = FreadStream.Fill([this](QByteArray& into) { return FBackend->Read(into); }, events);
    for (TFrameCutter::TEvent& e : events) {
      switch (e.Kind) {
        case TFrameCutter::TKind::fcHead:
          FBatch.push_back({TReaderEvent::TKind::reHead, int64_t(e.Head.Size), {}, e.Head, {}, false});
          break;
        case TFrameCutter::TKind::fcProgress:
          // Only the newest count matters to whoever shows it.
          if (!FBatch.empty() && FBatch.back().Kind == TReaderEvent::TKind::reProgress)
            FBatch.back().Count = e.Count;
          else
            FBatch.push_back({TReaderEvent::TKind::reProgress, e.Count, {}, e.Head, {}, false});
          break;
        case TFrameCutter::TKind::fcFault:
          FBatch.push_back({TReaderEvent::TKind::reFault, 0, {}, e.Head, e.Fault, true});
          break;
        case TFrameCutter::TKind::fcFrame:
          if (e.Head.CMD == 9 && e.Head.ExtCmd == 2) {
            // Answered here so that GUI delays never age the time answer.
            Log(QStringLiteral("NTP Begin"));
            HandleNTP(e.Frame);
            Log(QStringLiteral("NTP End"));
            FBatch.push_back({TReaderEvent::TKind::reFrameEnd, 0, {}, e.Head, {}, false});
          } else if (e.Streamed) {
            FlushFileSink();
            TReaderEvent done{
                TReaderEvent::TKind::reFrame, FActiveBytes, std::move(e.Frame), e.Head, FActiveError, false};
            done.Streamed = true;
            FBatch.push_back(std::move(done));
            FActive = {};
          } else {
            FBatch.push_back({TReaderEvent::TKind::reFrame, 0, std::move(e.Frame), e.Head, {}, false});
          }
          break;
      }
    }
    if (!alive || !FBackend->MoreWaiting() || FStop) break;
  }
  if (alive) {
    Flush();
    return;
  }
  if (!FBackend->FFailure.isEmpty()) {
    FBatch.push_back({TReaderEvent::TKind::reFailure, 0, {}, {}, FBackend->FFailure, true});
    FBackend->FFailure.clear();
    if (FPoll) FPoll->stop();
    FOpen = false;
    Flush();
    return;
  }
  Flush();
  LinkGone(TTr::tr("Verbindung geschlossen"));
}

void TIdReadThread::SendCommandStream() {
  FWakePending = false;
  // What was received before the next request goes out is stale.
  if (FDoClearBuffer) Clearbuffer();
  for (;;) {
    TSendQueueItem item;
    {
      std::lock_guard<std::mutex> lock(FQueueLock);
      if (FStop || FSendQueue.empty()) {
        SetQueueActive(false);
        break;
      }
      item = std::move(FSendQueue.front());
      FSendQueue.pop_front();
    }
    Log(QStringLiteral("Thread Before Send"));
    FBatch.push_back({TReaderEvent::TKind::reWriteBegin, int64_t(item.SendStream.size()), {}, {}, {}, false});
    bool failed = false;
    if (!FIsconnected) Log(QStringLiteral("Thread not Connected"), true);
    if (FIsconnected) {
      QString error;
      qint64 sent = 0;
      if (!FBackend->Write(item.SendStream, item.IsLua, error, sent)) {
        if (FStop) {
          // The owner is going away and closes the link itself.
          FBatch.clear();
          return;
        }
        if (sent > 0) {
          // The device holds the first part of the frame and would take the
          // next frame for its rest: nothing on this link can be trusted now.
          Log(QStringLiteral("Error While Sending %1 (%2 von %3 Bytes gesendet)")  // untranslated
                  .arg(error)
                  .arg(sent)
                  .arg(item.SendStream.size()),
              true);
          failed = true;
        } else if (FBackend->WriteFailureIsFatal()) {
          Log(QStringLiteral("Error While Sending ") + error, true);
          failed = true;
        } else {
          // Nothing of it went out: the framing is intact, the frame is dropped
          // and its command runs into the answer time-out.
          Log(QStringLiteral("Error Sending Data ") + error, true);
        }
        // A link that ended during the write has been reported already.
        if (failed && FGoneReported) failed = false;
        if (failed) FBatch.push_back({TReaderEvent::TKind::reFailure, 0, {}, {}, error, true});
      }
    }
    FBatch.push_back({TReaderEvent::TKind::reWriteEnd, 0, {}, {}, {}, false});
    Log(QStringLiteral("Thread After Send"));
    if (failed) {
      FailLink();
      break;
    }
  }
  Flush();
}

void TIdReadThread::FailLink() {
  ClearQueue();
  FOpen = false;
  FIsconnected = false;
  if (FPoll) FPoll->stop();
  // Closed at once, so that no further byte reaches the device; the client's
  // failure path disconnects through DoDisconnect, which then reports the end.
  FBackend->Close();
  FreadStream.Clear();
}

void TIdReadThread::HandleNTP(const QByteArray& frame) {
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
  QString error;
  qint64 sent = 0;
  if (!FIsconnected || FBackend->Write(BuildNtpReply(ctx, answer), false, error, sent)) return;
  Log(QStringLiteral("NTP: ") + error);
  if (sent > 0 && !FGoneReported) {
    FBatch.push_back({TReaderEvent::TKind::reFailure, 0, {}, {}, error, true});
    FailLink();
  }
}

void TIdReadThread::LinkGone(const QString& why) {
  if (FGoneReported) return;
  FGoneReported = true;
  FOpen = false;
  FIsconnected = false;
  if (FPoll) FPoll->stop();
  ClearQueue();
  FreadStream.Clear();
  Flush();
  // The socket, session or port goes now, not at the next connect; later,
  // because we may be inside one of its own signals.
  QMetaObject::invokeMethod(this, [this, generation = FLinkGeneration] {
    if (!FOpen && generation == FLinkGeneration) FBackend->Close();
  }, Qt::QueuedConnection);
  PostToClient([why](TLinkComUnit* c) { c->LinkLost(why); });
}

void TIdReadThread::DoDisconnect(bool) {
  ClearQueue();
  Log(QStringLiteral("Thread Disconnect"));
  const bool was = !FGoneReported;  // opened and not yet reported gone
  FBackend->Close();
  if (was) {
    LinkGone(QString());
  } else {
    FIsconnected = false;
    FreadStream.Clear();
    Flush();
  }
}

void TIdReadThread::Shutdown() {
  FStop = true;
  ClearQueue();
  FGoneReported = true;  // the owner is going away: nobody to tell
  FOpen = false;
  FIsconnected = false;
  if (FPoll) FPoll->stop();
  FBackend->Close();
  FreadStream.Clear();
  FBatch.clear();
  QThread::currentThread()->quit();
}

// ---- client side -------------------------------------------------------------------------

TLinkComUnit::~TLinkComUnit() { StopReader(); }

void TLinkComUnit::StartReader(TIdReadThread* reader) {
  FReadThread = reader;
  FThread = new QThread();
  FThread->setObjectName(QStringLiteral("vanta-reader"));
  reader->moveToThread(FThread);
  // Qt's threads are never joined: what the thread still does after its
  // waiter was woken may race with the process's exit. The backend drops its
  // per-thread library state here, while the thread still counts as running.
  connect(FThread, &QThread::finished, reader, [reader] { reader->Backend().ThreadEnds(); }, Qt::DirectConnection);
  FThread->start();
}

void TLinkComUnit::ConnectReader() {
  if (!FReadThread) return;
  FReadThread->FLogWanted = bool(FOnLogCallBack);
  TIdReadThread* r = FReadThread;
  QMetaObject::invokeMethod(r, [r] { r->DoConnect(); }, Qt::QueuedConnection);
}

void TLinkComUnit::DisconnectReader(bool wanted) {
  if (!FReadThread) return;
  FReadThread->ClearQueue();
  TIdReadThread* r = FReadThread;
  QMetaObject::invokeMethod(r, [r, wanted] { r->DoDisconnect(wanted); }, Qt::QueuedConnection);
}

void TLinkComUnit::StopReader() {
  if (!FThread) return;
  TIdReadThread* r = FReadThread;
  QThread* t = FThread;
  FReadThread = nullptr;
  FThread = nullptr;
  r->FStop = true;
  // Whatever the reader is still busy with, it never reaches this client again.
  r->DetachClient();
  if (t->isRunning()) {
    QMetaObject::invokeMethod(r, [r] { r->Shutdown(); }, Qt::QueuedConnection);
    if (!t->wait(CStopWaitMs)) {
      // Never terminate a thread: it is left to end by itself (every wait of
      // a reader looks at FStop) and then cleans up after itself.
      qWarning("vanta: reader thread did not stop within %d ms", CStopWaitMs);
      auto once = std::make_shared<std::atomic<bool>>(false);
      auto cleanup = [r, t, once] {
        if (once->exchange(true)) return;
        delete r;
        t->deleteLater();
      };
      connect(t, &QThread::finished, t, cleanup, Qt::DirectConnection);
      if (t->isFinished()) cleanup();
      return;
    }
  }
  delete r;
  delete t;
}

void TLinkComUnit::LinkOpened(const QString& localAddress) {
  FPartialFrame = false;
  OnLinkOpened(localAddress);
}

void TLinkComUnit::LinkLost(const QString& why) {
  FPartialFrame = false;  // the reader dropped it with the link
  OnLinkLost(why);
}

bool TLinkComUnit::IsConnected() const { return FReadThread && FReadThread->FIsconnected; }

bool TLinkComUnit::SendCommandStream(const QByteArray& frame, bool IsLua) {
  if (!FReadThread) {
    WriteLog(QStringLiteral("Reathread not assigned"));
    return false;
  }
  WriteLog(QStringLiteral("Check Before Send"));
  if (FTrace) FTrace->Append(TTraceDir::tdOut, frame, IsLua && FisSSHCon ? QStringLiteral("shell") : QString());
  FReadThread->FLogWanted = bool(FOnLogCallBack);
  FReadThread->Enqueue(frame, IsLua);
  WriteLog(QStringLiteral("After Send"));
  return true;
}

void TLinkComUnit::ReadData(TMemoryStream& frame) {
  if (frame.Size() < CHeadSize) return;
  if (!Evaluate(frame)) DiscardPartialFrame();
}

void TLinkComUnit::DiscardPartialFrame() {
  if (!FReadThread) return;
  // Dropped on the reader's next turn, before the answer to whatever is
  // sent next can arrive (the serial driver would otherwise purge that one).
  FReadThread->FDoClearBuffer = true;
  TIdReadThread* r = FReadThread;
  QMetaObject::invokeMethod(r, [r] {
    if (r->FDoClearBuffer) r->Clearbuffer();
  }, Qt::QueuedConnection);
}

void TLinkComUnit::ArmFileSink(const QString& path, qint64 pos) {
  if (!FReadThread) return;
  FReadThread->ArmFileSink(FFileRequest.Cmd, FFileRequest.ExtCmd, path, pos, FFileWriter);
}

void TLinkComUnit::WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) {
  if (FOnWorkEvent) FOnWorkEvent(mode, count, status);
}

void TLinkComUnit::Deliver(const TReaderBatch& batch) {
  QPointer<TLinkComUnit> alive(this);
  using K = TReaderEvent::TKind;
  for (const TReaderEvent& e : batch) {
    if (!alive) return;  // a callback closed the window that owns this client
    switch (e.Kind) {
      case K::reHead:
        // "Transfer in progress" means: a header was seen and its frame is not evaluated yet.
        FTransferInProgress = true;
        FPartialFrame = true;
        NoteTransferProgress();
        WorkEvent(TWorkMode::wmRead, e.Count, TWorkStatus::WorkBegin);
        LOGF("ComUnit: BeginWork 0/%d - %x %x %x", int(e.Head.Size), e.Head.CMD, e.Head.Priv, e.Head.ExtCmd);
        break;
      case K::reProgress:
        NoteTransferProgress();
        WorkEvent(TWorkMode::wmRead, e.Count, TWorkStatus::WorkWorking);
        break;
      case K::reFrame: {
        NoteActivity();
        FPartialFrame = false;
        if (FTrace) FTrace->Append(TTraceDir::tdIn, e.Frame);
        TMemoryStream s(e.Frame);
        FStreamed = {e.Streamed, e.Count, e.Text};
        ReadData(s);
        if (alive) FStreamed = {};
        if (alive) {
          LOGF("ReadEnd");
          LOGF("EvalEnd");
        }
        break;
      }
      case K::reFrameEnd:
        FPartialFrame = false;
        FTransferInProgress = false;
        WorkEvent(TWorkMode::wmRead, 0, TWorkStatus::WorkEnd);
        LOGF("ReadEnd");
        break;
      case K::reWriteBegin:
        NoteParaProgress();
        WorkEvent(TWorkMode::wmWrite, e.Count, TWorkStatus::WorkBegin);
        break;
      case K::reWriteProgress:
        NoteParaProgress();
        WorkEvent(TWorkMode::wmWrite, e.Count, TWorkStatus::WorkWorking);
        break;
      case K::reWriteEnd:
        NoteParaProgress();
        WorkEvent(TWorkMode::wmWrite, 0, TWorkStatus::WorkEnd);
        break;
      case K::reFault:
        FPartialFrame = false;
        WriteLog(e.Text, true);
        ClearStreamAndBuffer();
        break;
      case K::reShell:
        NoteActivity();
        if (FTrace) FTrace->Append(TTraceDir::tdIn, e.Frame, QStringLiteral("shell"));
        OnShellText(e.Frame);
        break;
      case K::reLog: WriteLog(e.Text, e.ToMemo); break;
      case K::reFailure: ThreadException(FReadThread, e.Text); break;
    }
  }
}

}  // namespace vanta
