#pragma once
// The one reader of every transport. A connection's reader lives on a thread
// of its own and alone touches the link: it writes the queued frames, reads
// what arrives, cuts it into frames, answers the device's NTP time requests
// itself and hands everything else to the GUI thread in order.
//
// What differs between TCP, SSH and the serial line is a small backend (open,
// read without waiting, write, close, is-connected); the reader, the send
// queue, the framing, the work events and the hand-over are shared.
//
// Hand-over: the reader collects what one pass produced (header seen,
// progress, whole frames, end of a frame, shell text, faults) into one batch
// and posts it to the client with a single queued call, so a small answer
// costs one thread hop; the client plays the batch back in order.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "ComUnit.h"
#include "FrameCutter.h"

class QTimer;

namespace vanta {

class TLinkComUnit;

// TCP keep-alive on a connected socket: first probe after `idleSec` quiet
// seconds, then every `intervalSec`.
void SetKeepAliveTiming(qintptr fd, int idleSec, int intervalSec);

// What the backend tells the reader while it runs.
struct TLinkSink {
  std::function<void()> Readable;                        // bytes (or the end) can be read
  std::function<void(const QString& why)> Gone;          // the link went away by itself
  std::function<void(const QString& local)> Opened;      // a pending open succeeded
  std::function<void(const QString& why, bool auth)> OpenFailed;
  std::function<void(const QString& line, bool toMemo)> Log;
  std::function<void(int64_t done)> WriteProgress;       // bytes of the frame written so far
  std::function<void(const QByteArray& text)> ShellText; // SSH: output of the Lua shell
};

class TLinkBackend {
 public:
  enum class TOpen : uint8_t { opOpened, opPending, opFailed };
  virtual ~TLinkBackend() = default;
  // Runs on the reader thread. May block (the SSH handshake does) or finish
  // later (TCP connects in the background and reports through the sink).
  virtual TOpen Open(TLinkSink& sink, QString& error, bool& authError, QString& local) = 0;
  // Appends what has arrived without waiting; false when the link is gone.
  virtual bool Read(QByteArray& into) = 0;
  // True when the last Read stopped at its limit with more still waiting:
  // the reader cuts what it has and reads again before it sleeps.
  virtual bool MoreWaiting() const { return false; }
  // Writes one whole frame; `error` says why it failed. `sent` counts the
  // bytes of the frame the link took, also when the write failed: after a
  // part, the device would read the next frame as the rest of this one.
  virtual bool Write(const QByteArray& frame, bool isLua, QString& error, qint64& sent) = 0;
  virtual void Close() = 0;
  virtual bool IsConnected() const = 0;
  // Discards what the link itself still buffers (the serial driver does).
  virtual void Purge() {}
  // Backends without a readiness signal are polled at this interval (ms).
  virtual int PollMs() const { return 0; }
  // Called at every poll (SSH keep-alive).
  virtual void Tick() {}
  // A failed write of which nothing went out may drop the frame and keep the
  // link; the serial line ends it all the same. A part written always ends it.
  virtual bool WriteFailureIsFatal() const { return false; }
  // Runs on the reader thread as it ends, before anyone waiting for it is woken.
  virtual void ThreadEnds() {}
  // Set when Read returned false because of a failure rather than a close.
  QString FFailure;
};

// One entry of a batch handed from the reader to the client.
struct TReaderEvent {
  enum class TKind : uint8_t {
    reHead,       // a header was read: Count = frame size
    reProgress,   // Count = bytes buffered of the frame so far
    reFrame,      // a whole frame (Frame)
    reFrameEnd,   // the frame in hand is finished (evaluated or answered on the reader)
    reWriteBegin, // Count = frame size
    reWriteProgress,
    reWriteEnd,
    reFault,      // Text: a header that cannot be right, everything dropped
    reShell,      // Frame: text from the Lua shell
    reLog,        // Text, ToMemo
    reFailure     // Text: the link failed (a write cut short, an SSH read): the client's ThreadException
  };
  TKind Kind;
  int64_t Count = 0;
  QByteArray Frame;
  ccci::ccc_head_t Head;
  QString Text;
  bool ToMemo = false;
  // reFrame of a file answer written to disk as it came: Frame is the
  // header, Count the payload bytes, Text why the writing failed (if it did).
  bool Streamed = false;
};
using TReaderBatch = std::vector<TReaderEvent>;

struct TSendQueueItem {
  QByteArray SendStream;
  bool IsLua = false;
};

// The reader: owns the backend, the send queue and the receive stream.
class TIdReadThread : public QObject {
  Q_OBJECT
 public:
  TIdReadThread(TLinkComUnit* client, std::unique_ptr<TLinkBackend> backend);
  ~TIdReadThread() override;

  // ---- any thread ----
  void Enqueue(QByteArray frame, bool isLua);  // the GUI thread appends
  void ClearQueue();
  int QueueSize();
  // The client is going away: from here on the reader leaves it alone, even
  // when it is still busy with the link and ends only later.
  void DetachClient();
  // Posts `call(client)` to the GUI thread; false once the client is detached.
  template <typename F>
  bool PostToClient(F call);
  std::atomic<bool> FIsconnected{false};
  std::atomic<bool> FDoClearBuffer{false};
  std::atomic<bool> FStop{false};
  std::atomic<bool> FLogWanted{true};  // the client has a log listener

  // ---- reader thread ----
  void DoConnect();
  void DoDisconnect(bool wanted);
  void Shutdown();  // closes the link and ends the thread's loop
  void Clearbuffer();  // drops what was received (and what the link buffers)
  // Any thread: the next answer with this CMD and ExtCmd (not a refusal) is
  // written with `writer` into `path` from `pos` as it arrives; empty path:
  // nothing armed.
  void ArmFileSink(uint8_t cmd, uint16_t extCmd, const QString& path, qint64 pos, TFileWriter writer);
  TLinkBackend& Backend() { return *FBackend; }

 protected:
  void Log(const QString& line, bool toMemo = false);
  void OnReadable();
  void SendCommandStream();
  void HandleNTP(const QByteArray& frame);
  void LinkGone(const QString& why);
  // A write that cannot be taken back failed: the link is closed now and the
  // client told through its failure path.
  void FailLink();
  void Flush();  // posts the collected batch to the client
  void SetQueueActive(bool active);

  std::unique_ptr<TLinkBackend> FBackend;
  TFrameCutter FreadStream;
  TLinkSink FSink;
  uint32_t FSeqCnt = 0;

 private:
  void StartPolling();
  // The owning client; cleared by its StopReader. Read under the lock, and
  // posted to while the lock is held, so it cannot go away in between.
  std::mutex FClientLock;
  TLinkComUnit* FClient;
  std::mutex FQueueLock;  // a pthread mutex, so ThreadSanitizer sees it
  struct TFileSink {
    uint8_t Cmd = 0;
    uint16_t ExtCmd = 0;
    QString Path;
    qint64 Pos = 0;
    TFileWriter Writer;
    bool Plain = false;  // the writer is WriteAtOffset: the reader keeps the file open itself
  };
  std::mutex FSinkLock;
  std::unique_ptr<class QFile> FActiveFile;
  TFileSink FArmed;      // under FSinkLock
  TFileSink FActive;     // the reader's own: the answer being written
  qint64 FActiveBytes = 0;    // payload bytes of the answer so far
  qint64 FActiveWritten = 0;  // of those, handed to the writer
  QByteArray FActivePending;  // gathered up to 1 MiB: one writer call per piece, not per read
  QString FActiveError;
  void FlushFileSink();
  void WritePlain(QByteArrayView piece);
  std::deque<TSendQueueItem> FSendQueue;
  std::atomic<bool> FWakePending{false};
  TReaderBatch FBatch;
  QByteArray FIn;
  QTimer* FPoll = nullptr;
  bool FOpen = false;
  // Counts the connects: a close meant for one link must not hit the next,
  // which may be opening already when the close comes round.
  uint64_t FLinkGeneration = 0;
  bool FGoneReported = true;
};

// The client side shared by the transports: the reader thread, the queue
// hand-off and the play-back of the reader's batches on the GUI thread.
class TLinkComUnit : public TComUnit {
  Q_OBJECT
 public:
  using TComUnit::TComUnit;
  ~TLinkComUnit() override;

  bool IsConnected() const override;
  bool SendCommandStream(const QByteArray& frame, bool IsLua) override;
  void ReadData(TMemoryStream& frame) override;
  void WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) override;
  void DiscardPartialFrame() override;
  void ArmFileSink(const QString& path, qint64 pos) override;
  bool PartialFrameHeld() const override { return FPartialFrame; }

  // GUI thread: the reader's batch, played back in order.
  void Deliver(const TReaderBatch& batch);
  void LinkOpened(const QString& localAddress);
  void LinkLost(const QString& why);
  // The link came up / could not be opened / went away by itself.
  virtual void OnLinkOpened(const QString& localAddress) = 0;
  virtual void OnLinkOpenFailed(const QString& why, bool authError) = 0;
  virtual void OnLinkLost(const QString& why) = 0;
  virtual void OnShellText(const QByteArray&) {}

  std::function<void(TWorkMode mode, int64_t count, TWorkStatus status)> FOnWorkEvent;
  TIdReadThread* Reader() const { return FReadThread; }

 protected:
  // Creates the reader for `backend` and starts its thread.
  void StartReader(TIdReadThread* reader);
  // Bounded stop: the reader closes the link, its thread ends; never terminated.
  void StopReader();
  void ConnectReader();
  void DisconnectReader(bool wanted);
  TIdReadThread* FReadThread = nullptr;

 private:
  QThread* FThread = nullptr;
  // The reader has shown a header whose frame it has not handed over yet.
  bool FPartialFrame = false;
};

template <typename F>
bool TIdReadThread::PostToClient(F call) {
  std::lock_guard<std::mutex> lock(FClientLock);
  if (!FClient) return false;
  TLinkComUnit* c = FClient;
  QMetaObject::invokeMethod(c, [c, call = std::move(call)]() mutable { call(c); }, Qt::QueuedConnection);
  return true;
}

}  // namespace vanta
