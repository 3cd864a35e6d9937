// Data streams and the NTP tunnel as the GUI thread sees them.
#include <QDateTime>

#include "ByteOrder.h"
#include "ComUnit.h"
#include "LogFormat.h"
#include "Ntp.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

void TComUnit::StreamCommand(TMemoryStream& stream) {
  const QByteArray frame = CurrentFrame(stream);
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
  TStreamRec& r = FStreamRec;
  switch (FHead.ExtCmd) {
    case 1: {
      uint32_t handle = 0;
      if (const QString e = DecodeStreamStarted(frame, handle); !e.isEmpty()) {
        WriteLog(QStringLiteral("ComUnit: ") + e, true);
        return;
      }
      const bool binaryPending = r.BinaryHdl == 1 && r.WithBinary;
      if (r.ObjHdl < 2 || !binaryPending) {
        r.Active = true;
        r.ObjHdl = handle;
        // The first record is asked for on the next tick; later ones a
        // second after the previous record.
        FNextStreamBool = true;
        FNextStreamDT = FNow();
      } else {
        r.BinaryHdl = handle;
        SendCommand(ccci::TCcci::STREAM_GET_NXT, r.BinaryHdl);
      }
      LOGF("IN: Stream_%x ObjHdl=%x", unsigned(FHead.ExtCmd), r.ObjHdl);
      if (r.WithBinary && r.BinaryHdl == 0) {
        SendCommand(ccci::TCcci::STREAM_START, CBinaryObjectId);
        r.BinaryHdl = 1;
      }
      return;
    }
    case 3:
      break;
    case CStopExtCmd:
      FBytes.FBytes.clear();
      r.ObjHdl = 0;
      r.Active = false;
      return;
    default:
      return;
  }
  if (r.ObjHdl < 2) return;  // a record for a stream without a handle yet

  LOGF("ComUnit Stream IN: Readout ExcCmd = %d: Stream_Size=%d Stream_Position=%d HeadSize=%d", int(FHead.ExtCmd),
             int(stream.Size()), CHeadSize, int(FHead.Size));
  TStreamDataHead head;
  if (const QString e = DecodeStreamDataHead(frame, head); !e.isEmpty()) {
    WriteLog(QStringLiteral("ComUnit: ") + e, true);
    return;
  }
  FBytes.TS_Mess = TPQTimeProgs::TSNormalizeLocal(head.Stamp, TimeTzFromSet(FtmeSet));
  LOGF("TS: %s:%u ", U8(TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(FBytes.TS_Mess))).constData(),
             FBytes.TS_Mess.Frac);
  auto keepRecord = [&] {
    const QByteArray record = frame.mid(CHeadSize);
    if (FBytes.FBytes.size() != record.size()) FBytes.FBytes.resize(record.size());
    std::copy(record.constBegin(), record.constEnd(), FBytes.FBytes.begin());
  };
  const uint32_t id = head.ObjId;
  TByteReader rd(frame);
  if (id == CBinaryObjectId) {
    WriteLog(QStringLiteral("BinInStream"));
    TBinaryInputRecord bin;
    const QString e = DecodeBinaryInput(frame, bin);
    SendCommand(ccci::TCcci::STREAM_GET_NXT, r.BinaryHdl);
    if (!e.isEmpty()) {
      WriteLog(QStringLiteral("ComUnit: ") + e, true);
      return;
    }
    if (FOnStreamRecord)
      FOnStreamRecord(this, {id, TStreamKind::skBinary, head.Stamp, QByteArrayView(frame).sliced(CHeadSize)});
    if (FBinInCB) FBinInCB(this, bin.InputCnt, bin.States);
    uint32_t sum = 0;
    for (int i = 0; i < bin.States.size(); ++i) sum += uint32_t(i) + uint8_t(bin.States[i]);
    LOGF("BinaryStream: id: %u | sec: %u | frac: %u | Ver: %u | inputCnt: %u | input: %u", bin.Id, bin.Sec, bin.Frac,
               unsigned(bin.Ver), unsigned(bin.InputCnt), sum);
  } else if (id == 0x00FFFFFF || id == 0x01FFFFFF) {
    rd.Seek(32);
    rd.U32();
    rd.U32();
    if (rd.Ok()) keepRecord();
  } else if (id >= 0x02FFFFFF && id <= 0x07FFFFFF && (id & 0x00FFFFFF) == 0x00FFFFFF) {
    rd.Seek(32);
    rd.U32();
    if (rd.Ok()) keepRecord();
  } else if (id == 0x08FFFFFF) {
    const int skip = FRev.Gen == 0 ? 20 : (FRev.Gen == 1 || FRev.Gen == 2) ? 40 : 0;
    rd.Seek(32 + skip);
    const uint32_t count = rd.U32();
    const uint32_t rate = rd.U32();
    if (rd.Ok()) {
      FBytes.SmplCnt = count;
      FBytes.smplrte = rate;
      keepRecord();
    }
  }
  if (!rd.Ok()) LOGFM(true, "ComUnit: Datensatz %x zu kurz (%d Bytes)", id, int(frame.size()));  // untranslated
  if (FOnStreamRecord && id != CBinaryObjectId && rd.Ok())
    FOnStreamRecord(this, {id, TStreamKind::skMeasurement, head.Stamp, QByteArrayView(frame).sliced(CHeadSize)});
  if (FUpdateGrid) FUpdateGrid(this);
  if (id != CBinaryObjectId && r.ObjHdl > 1) {
    FNextStreamBool = true;
    FNextStreamDT = FNow() + 1000;
    LOGF("GetNextStream @ %s",
               U8(QDateTime::fromMSecsSinceEpoch(FNextStreamDT).toString(QStringLiteral("hh:mm:ss:zzz"))).constData());
  }
}

void TComUnit::NTPCommand(TMemoryStream& stream) {
  const QByteArray frame = CurrentFrame(stream);
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
  switch (FHead.ExtCmd) {
    case 0:
      FNTPTunnelActive = true;
      WriteLog(QStringLiteral("NTP Tunnel Open"));
      return;
    case 1:
      FNTPTunnelActive = false;
      WriteLog(QStringLiteral("NTP TUNNEL Close"));
      return;
    case 2: {
      WriteLog(QStringLiteral("NTP Request"));
      const int64_t received = QDateTime::currentMSecsSinceEpoch();
      QByteArray packet;
      if (const QString e = DecodeNtpRequest(frame, packet); !e.isEmpty()) {
        WriteLog(QStringLiteral("ComUnit: ") + e, true);
        return;
      }
      FLastCmd = FNow();
      FWaitForAnswer = false;
      const THeaderContext ctx = HeaderContext();
      const QByteArray reply = BuildNtpReply(ctx, FillNTP(packet, received, QDateTime::currentMSecsSinceEpoch()));
      LOGF("Sending %s CMD: %x Priv: %x ExtCmd: %x NAK: %x", "CCC_TUNNEL_NTP_REPLY", 9, 1, 3, ctx.FTPNAK);
      SendCommandStream(reply, false);
      WriteLog(QStringLiteral("NTP Answer"));
      return;
    }
    default:
      return;
  }
}

}  // namespace vanta
