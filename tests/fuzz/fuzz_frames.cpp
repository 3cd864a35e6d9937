#include "fuzz_frames.h"

#include <QByteArray>
#include <QCoreApplication>

#include "Ccci.h"
#include "FrameCutter.h"
#include "TestSupport.h"

namespace vanta::fuzz {

using namespace vanta::ccci;

void FuzzFramesOneInput(const uint8_t* data, size_t size) {
  const QByteArray frame(reinterpret_cast<const char*>(data), qsizetype(size));
  {
    ccc_head_t h;
    DecodeHead(frame, h);
    TNakRecord nak;
    DecodeNak(frame, nak);
    TSessionAnswer sa;
    DecodeSessionAnswer(frame, sa);
    TIdentityBasic ib;
    DecodeIdentityBasic(frame, ib);
    TIdentityFull ifull;
    DecodeIdentityFull(frame, ifull);
    uint32_t v = 0;
    DecodeStreamStarted(frame, v);
    DecodeObjectRequest(frame, v);
    TStreamDataHead sd;
    DecodeStreamDataHead(frame, sd);
    TBinaryInputRecord bin;
    DecodeBinaryInput(frame, bin);
    QByteArray out;
    DecodeNtpRequest(frame, out);
    DecodeLuaText(frame, out);
    LuaOutputText(frame);
    TFileNameRequest fn;
    DecodeFileNameRequest(frame, fn);
    TStartRecord sr;
    DecodeStartRecord(frame, sr);
    TScratchpadUpload up;
    DecodeScratchpadUpload(frame, up);
  }
  {
    test::TFakeClock clock;
    test::TTestComUnit unit(clock);
    unit.FOnLogCallBack = nullptr;  // logging every line would dominate the run
    unit.FNAKCB = [](QObject*, uint32_t) {};
    unit.FDisplayConnMessage = [](const QString&, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) {};
    // The first byte picks the chunk size, the rest is the byte stream, cut
    // by the reader's frame cutter and evaluated frame by frame.
    const qsizetype chunk = size > 0 ? 1 + data[0] % 64 : 1;
    for (qsizetype i = 1; i < frame.size(); i += chunk) unit.Deliver(frame.mid(i, chunk));
    // Direct evaluation of the whole buffer, as a transport might hand it over.
    TMemoryStream s(frame);
    unit.Evaluate(s);
  }
  {
    // The cutter with a payload sink armed for file answers: whatever the
    // bytes claim, every payload byte reaches the sink once, the sink never
    // gets more than the headers announced, and the buffer ends in step.
    TFrameCutter cut;
    qint64 sunk = 0, announced = 0;
    cut.SetSink({[&](const ccc_head_t& h) {
                   const bool take = h.CMD == 5 && (h.ExtCmd == 1 || h.ExtCmd == 17);
                   if (take) announced += qint64(h.Size) - CHeadSize;
                   return take;
                 },
                 [&](QByteArrayView piece) { sunk += piece.size(); }});
    std::vector<TFrameCutter::TEvent> ev;
    const qsizetype chunk = size > 0 ? 1 + data[0] % 200 : 1;
    for (qsizetype i = 1; i < frame.size(); i += chunk) cut.Append(frame.mid(i, chunk), ev);
    if (sunk > announced) __builtin_trap();
    for (const TFrameCutter::TEvent& e : ev)
      if (e.Kind == TFrameCutter::TKind::fcFrame && e.Streamed && e.Frame.size() != CHeadSize) __builtin_trap();
  }
  // Calls the client queued for the GUI thread run (or are dropped with the
  // client) here, so nothing piles up between inputs.
  QCoreApplication::sendPostedEvents();
}

}  // namespace vanta::fuzz
