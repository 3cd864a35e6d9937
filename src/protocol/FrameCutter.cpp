#include "FrameCutter.h"

#include <QIODevice>

#include "LogFormat.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

namespace {
constexpr qsizetype CReserveLimit = qsizetype(256) * 1024 * 1024;
// Below this much received data the buffer grows as data comes; the final
// size is reserved only once the answer has proven to be large.
constexpr qsizetype CReserveAfter = qsizetype(1) * 1024 * 1024;
}  // namespace

void TFrameCutter::Clear() {
  FBuf.clear();
  FStreaming = false;
  FStreamLeft = 0;
  FStreamHead.clear();
  FHeadRead = false;
  FHead = {};
}

void TFrameCutter::Append(const QByteArray& data, std::vector<TEvent>& events) {
  FBuf.append(data);
  Cut(events);
}

void TFrameCutter::ReadFrom(QIODevice& device, std::vector<TEvent>& events) {
  for (qint64 avail = device.bytesAvailable(); avail > 0; avail = device.bytesAvailable()) {
    const qsizetype old = FBuf.size();
    FBuf.resize(old + qsizetype(avail));
    const qint64 got = device.read(FBuf.data() + old, avail);
    FBuf.resize(old + qsizetype(qMax<qint64>(0, got)));
    if (got <= 0) break;
  }
  Cut(events);
}

void TFrameCutter::Cut(std::vector<TEvent>& events) {
  for (;;) {
    if (!FHeadRead) {
      if (FBuf.size() < CHeadSize) return;
      DecodeHead(FBuf, FHead);
      if (FHead.Size < uint32_t(CHeadSize) || FHead.Size > FMax) {
        // Never allocate or wait for what such a header claims.
        events.push_back(
            {TKind::fcFault, FHead, {}, 0, F("ComUnit: ungültige Rahmenlänge %u, Empfang verworfen", FHead.Size)});  // untranslated
        Clear();
        return;
      }
      FHeadRead = true;
      events.push_back({TKind::fcHead, FHead, {}, 0, {}});
      if (FSink.Wants && FSink.Write && FSink.Wants(FHead)) {
        FStreaming = true;
        FStreamHead = FBuf.left(CHeadSize);
        FBuf.remove(0, CHeadSize);
        FStreamLeft = qint64(FHead.Size) - CHeadSize;
      }
    }
    if (FStreaming) {
      const qsizetype n = qsizetype(qMin<qint64>(FStreamLeft, FBuf.size()));
      if (n > 0) {
        FSink.Write(QByteArrayView(FBuf.constData(), n));
        // resize(0) keeps the buffer's memory for the next piece: a fresh
        // allocation per read costs page faults on every byte of a stream.
        if (n == FBuf.size())
          FBuf.resize(0);
        else
          FBuf.remove(0, n);
        FStreamLeft -= n;
      }
      if (FStreamLeft > 0) {
        events.push_back({TKind::fcProgress, FHead, {}, qint64(FHead.Size) - FStreamLeft, {}});
        return;
      }
      TEvent done{TKind::fcFrame, FHead, FStreamHead, 0, {}};
      done.Streamed = true;
      events.push_back(std::move(done));
      FStreaming = false;
      FStreamHead.clear();
      FHeadRead = false;
      FHead = {};
      continue;
    }
    if (FBuf.size() < qsizetype(FHead.Size)) {
      // A large answer is read into one buffer of its final size instead of
      // growing by copies. Reserving when the header arrives would let every
      // lying header cost hundreds of megabytes of address space (and, under
      // a sanitizer, the time to poison them).
      if (FBuf.size() >= CReserveAfter && FBuf.capacity() < qsizetype(FHead.Size))
        FBuf.reserve(qMin<qsizetype>(FHead.Size, CReserveLimit));
      events.push_back({TKind::fcProgress, FHead, {}, FBuf.size(), {}});
      return;
    }
    if (FBuf.size() == qsizetype(FHead.Size)) {
      // Nothing follows the frame: hand the buffer over instead of copying it.
      events.push_back({TKind::fcFrame, FHead, std::move(FBuf), 0, {}});
      FBuf = QByteArray();
    } else {
      events.push_back({TKind::fcFrame, FHead, FBuf.left(FHead.Size), 0, {}});
      FBuf.remove(0, FHead.Size);
    }
    FHeadRead = false;
    FHead = {};
  }
}

}  // namespace vanta
