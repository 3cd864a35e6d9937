#pragma once
// Helpers shared by the unit tests: a hand-driven clock, an in-memory
// transport for TComUnit that cuts frames the way a reader thread does, and a
// log collector.
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <functional>
#include <vector>

#include "Ccci.h"
#include "ComUnit.h"
#include "FrameCutter.h"

namespace vanta::test {

struct TFakeClock {
  int64_t Now = 1'700'000'000'000;  // some fixed wall-clock instant
  void Advance(int64_t ms) { Now += ms; }
  TNowFunc Func() {
    return [this] { return Now; };
  }
};

// Spins the Qt event loop until `done` is true or `timeoutMs` passed.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline void SpinFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct TSentFrame {
  QByteArray Bytes;
  bool IsLua = false;
  ccci::ccc_head_t Head() const {
    ccci::ccc_head_t h;
    ccci::DecodeHead(Bytes, h);
    return h;
  }
};

struct THandled {
  uint8_t Cmd;
  uint16_t ExtCmd;
  QByteArray Frame;
};

// A TComUnit whose "connection" is a list of sent frames and a Deliver()
// that plays the reader thread: it accumulates bytes, cuts complete frames by
// their Size field and hands each one to ReadData.
class TTestComUnit : public TComUnit {
 public:
  explicit TTestComUnit(TFakeClock& clock, const TDeviceDefaults& defaults = TestDefaults())
      : TComUnit(nullptr, clock.Func(), defaults) {
    FOnLogCallBack = [this](QObject*, const QString& line, bool) { Log << line; };
  }

  static TDeviceDefaults TestDefaults() {
    TDeviceDefaults d;
    d.User = QStringLiteral("tester");
    d.Password = QStringLiteral("secret");
    return d;
  }

  // Feeds bytes as if they had arrived on the connection; frames are cut by
  // the same cutter the reader threads use.
  void Deliver(const QByteArray& bytes) {
    std::vector<TFrameCutter::TEvent> events;
    FCutter.Append(bytes, events);
    for (TFrameCutter::TEvent& e : events) {
      if (e.Kind == TFrameCutter::TKind::fcFault) Faults << e.Fault;
      // What the client does with the reader's header and progress events.
      if (e.Kind == TFrameCutter::TKind::fcHead) {
        FTransferInProgress = true;
        NoteTransferProgress();
      }
      if (e.Kind == TFrameCutter::TKind::fcProgress) NoteTransferProgress();
      if (e.Kind != TFrameCutter::TKind::fcFrame) continue;
      TMemoryStream frame(e.Frame);
      ReadData(frame);
      if (FClearRequested) {
        FCutter.Clear();
        FClearRequested = false;
        return;  // the reader drops what was received after a failed evaluation
      }
    }
  }

  void ReadData(TMemoryStream& frame) override {
    if (frame.Size() < ccci::CHeadSize) return;
    if (!Evaluate(frame)) FClearRequested = true;
  }

  bool IsConnected() const override { return Connected; }

  bool SendCommandStream(const QByteArray& frame, bool IsLua) override {
    if (!SendResult) return false;
    Sent.push_back({frame, IsLua});
    return true;
  }

  void DoDisconnect(bool notify) override {
    TComUnit::DoDisconnect(notify);
    Connected = false;
    ++Disconnects;
    FCutter.Clear();  // what was received goes with the link
    // What a transport does when its connection reports "disconnected".
    if (FShutDownComplete) {
      TShutDownComplete done = std::move(FShutDownComplete);
      FShutDownComplete = nullptr;
      FOnLogCallBack = nullptr;
      done(this);
    }
  }

  void WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) override {
    Work.push_back({mode, count, status});
  }

  bool SendFTPFile(const QString& localPath, const QString& remoteFolder) override {
    FtpUploads << (localPath + QStringLiteral(" -> ") + remoteFolder);
    return FtpResult;
  }

  void DiscardPartialFrame() override {
    ++PartialFramesDropped;
    FCutter.Clear();
  }
  bool PartialFrameHeld() const override { return FCutter.HeadRead(); }

  void StreamErrorsSearch() override {
    ++StreamErrorSearches;
    if (RealStreamErrorsSearch) TComUnit::StreamErrorsSearch();
  }

  bool LogHas(const QString& line) const { return Log.contains(line); }
  bool LogStartsWith(const QString& prefix) const {
    for (const QString& l : Log)
      if (l.startsWith(prefix)) return true;
    return false;
  }
  const TSentFrame& Last() const { return Sent.back(); }

  struct TWork {
    TWorkMode Mode;
    int64_t Count;
    TWorkStatus Status;
  };

  bool Connected = true;
  bool SendResult = true;
  bool FtpResult = true;
  bool RealStreamErrorsSearch = false;
  int Disconnects = 0;
  int StreamErrorSearches = 0;
  int PartialFramesDropped = 0;
  std::vector<TSentFrame> Sent;
  std::vector<TWork> Work;
  std::vector<THandled> Handled;
  QStringList Log;
  QStringList FtpUploads;
  QStringList Faults;

 protected:
  void Record(TMemoryStream& s) { Handled.push_back({FHead.CMD, FHead.ExtCmd, CurrentFrame(s)}); }
  void SessionCommand(TMemoryStream& s) override { Record(s); TComUnit::SessionCommand(s); }
  void IdentityCommand(TMemoryStream& s) override { Record(s); TComUnit::IdentityCommand(s); }
  void SetupCommand(TMemoryStream& s) override { Record(s); TComUnit::SetupCommand(s); }
  void StreamCommand(TMemoryStream& s) override { Record(s); TComUnit::StreamCommand(s); }
  void ReadoutCommand(TMemoryStream& s) override { Record(s); TComUnit::ReadoutCommand(s); }
  void LUACommand(TMemoryStream& s) override { Record(s); TComUnit::LUACommand(s); }
  void ScratchPadCommand(TMemoryStream& s) override { Record(s); TComUnit::ScratchPadCommand(s); }
  void NTPCommand(TMemoryStream& s) override { Record(s); TComUnit::NTPCommand(s); }

 private:
  TFrameCutter FCutter;
  bool FClearRequested = false;
};

// A device-side header context for building answers in tests.
inline ccci::THeaderContext Dev(uint32_t seq = 0, uint16_t ver = 5) {
  ccci::THeaderContext c;
  c.Ver = ver;
  c.SeqCnt = seq;
  c.SN = 4711;
  return c;
}

}  // namespace vanta::test
