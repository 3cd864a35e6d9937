#pragma once
// Cuts a received byte stream into CCCI frames by the header's Size field.
// The reader threads feed it whatever the connection delivered; it reports,
// in order, each new header, progress on a frame still incomplete, each
// complete frame, and headers that cannot be right (Size below 20 or above
// the maximum), after which everything buffered is dropped.
#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "Ccci.h"

namespace vanta {

class TFrameCutter {
 public:
  enum class TKind : uint8_t { fcHead, fcProgress, fcFrame, fcFault };
  struct TEvent {
    TKind Kind;
    ccci::ccc_head_t Head;
    QByteArray Frame;   // fcFrame: exactly Head.Size bytes
    int64_t Count = 0;  // fcProgress: bytes buffered so far
    QString Fault;      // fcFault: what was wrong
    bool Streamed = false;  // fcFrame: Frame is the header only, the payload went to the sink
  };
  // A frame whose payload goes to a sink piece by piece as it arrives (a
  // large file answer): the receive buffer never holds it whole. `Wants` is
  // asked once per header; `Write` gets the payload in order.
  struct TPayloadSink {
    std::function<bool(const ccci::ccc_head_t& head)> Wants;
    std::function<void(QByteArrayView piece)> Write;
  };
  void SetSink(TPayloadSink sink) { FSink = std::move(sink); }

  explicit TFrameCutter(uint32_t maxFrameSize = ccci::CMaxFrameSize) : FMax(maxFrameSize) {}

  void Append(const QByteArray& data, std::vector<TEvent>& events);
  // Reads what `device` has straight into the receive buffer (no
  // intermediate copy), then cuts as Append does.
  void ReadFrom(class QIODevice& device, std::vector<TEvent>& events);
  // Lets `read` append straight to the receive buffer, then cuts; returns
  // what `read` returned.
  template <typename R>
  bool Fill(R&& read, std::vector<TEvent>& events) {
    const bool ok = read(FBuf);
    Cut(events);
    return ok;
  }
  void Clear();
  qsizetype Buffered() const { return FBuf.size(); }
  bool HeadRead() const { return FHeadRead; }

 private:
  void Cut(std::vector<TEvent>& events);
  QByteArray FBuf;
  TPayloadSink FSink;
  bool FStreaming = false;
  qint64 FStreamLeft = 0;
  QByteArray FStreamHead;
  bool FHeadRead = false;
  ccci::ccc_head_t FHead;
  uint32_t FMax;
};

}  // namespace vanta
