#include "Ccci.h"
#include "Language.h"

#include "ByteOrder.h"

namespace vanta::ccci {

uint16_t GenHeaderFTPNAK(bool ftp, bool gz, bool tgz) {
  uint16_t f = 0;
  if (ftp) f |= CFlagFTP;
  if (gz) f |= CFlagGZ;
  if (tgz) f |= CFlagTGZ;
  return f;
}

bool CheckNAK(uint16_t flags) { return (flags & CFlagNAK) != 0 && flags < 16; }

void EncodeHead(QByteArray& out, const ccc_head_t& h) {
  TByteWriter w(out);
  w.U8(h.CMD);
  w.U8(h.Priv);
  w.U16(h.ExtCmd);
  w.U16(h.Ver);
  w.U16(h.FTPNAK);
  w.U32(h.SN);
  w.U32(h.Size);
  w.U32(h.SeqCnt);
}

bool DecodeHead(const QByteArray& bytes, ccc_head_t& h) {
  if (bytes.size() < CHeadSize) return false;
  TByteReader r(bytes);
  h.CMD = r.U8();
  h.Priv = r.U8();
  h.ExtCmd = r.U16();
  h.Ver = r.U16();
  h.FTPNAK = r.U16();
  h.SN = r.U32();
  h.Size = r.U32();
  h.SeqCnt = r.U32();
  return r.Ok();
}

const TCommandDef* FindCommand(const QString& name) {
  for (const TCommandDef& d : CCommandCatalogue) {
    if (name == QLatin1String(d.Name)) return &d;
  }
  return nullptr;
}

std::optional<TCcci> IdentifyRequest(uint8_t cmd, uint8_t priv, uint16_t extCmd) {
  for (size_t i = 0; i < CCommandCatalogue.size(); ++i) {
    const TCommandDef& d = CCommandCatalogue[i];
    if (d.Cmd == cmd && d.Priv == priv && d.ExtCmd == extCmd) return TCcci(i);
  }
  return std::nullopt;
}

const char* NakText(uint32_t code) {
  for (const TNakDef& d : CNakCatalogue)
    if (d.Code == code) return d.Text;
  return nullptr;
}

TAnswerGroup RouteByCmd(uint8_t cmd) {
  switch (cmd) {
    case 1: return TAnswerGroup::agSession;
    case 2: return TAnswerGroup::agIdentity;
    case 3: return TAnswerGroup::agSetup;
    case 4: return TAnswerGroup::agStream;
    case 5: return TAnswerGroup::agReadout;
    case 6: return TAnswerGroup::agLua;
    case 7: return TAnswerGroup::agScratchpad;
    case 9: return TAnswerGroup::agNtp;
    case 10: return TAnswerGroup::agFileStream;
    default: return TAnswerGroup::agUnknown;
  }
}

ccc_head_t MakeHead(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, uint32_t size) {
  ccc_head_t h;
  h.CMD = cmd;
  h.Priv = priv;
  h.ExtCmd = extCmd;
  h.Ver = ctx.Ver;
  h.FTPNAK = ctx.FTPNAK;
  h.SN = ctx.SN;
  h.Size = size;
  h.SeqCnt = ctx.SeqCnt;
  return h;
}

namespace {
QByteArray Frame(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, qsizetype payloadSize) {
  QByteArray out;
  out.reserve(CHeadSize + payloadSize);
  EncodeHead(out, MakeHead(ctx, cmd, priv, extCmd, uint32_t(CHeadSize + payloadSize)));
  return out;
}

QString Short(const char* what, const QByteArray& frame, qsizetype need) {
  return QStringLiteral("%1: frame of %2 bytes, %3 needed").arg(QLatin1String(what)).arg(frame.size()).arg(need);
}

// The frame's declared Size, limited to the bytes present: a decoder reads the
// payload of this frame only, never a following one.
qsizetype FrameEnd(const QByteArray& frame) {
  ccc_head_t h;
  if (!DecodeHead(frame, h)) return frame.size();
  return qMin<qsizetype>(frame.size(), qMax<qsizetype>(CHeadSize, h.Size));
}
}  // namespace

QByteArray BuildHeaderOnly(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd) {
  return Frame(ctx, cmd, priv, extCmd, 0);
}

QByteArray BuildLuaText(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& statement,
                        bool appendCrLf) {
  const qsizetype n = statement.size() + (appendCrLf ? 2 : 0);
  QByteArray out = Frame(ctx, cmd, priv, extCmd, n);
  out.append(statement);
  if (appendCrLf) out.append("\r\n", 2);
  return out;
}

QByteArray BuildFileName(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& name,
                         uint32_t pos) {
  QByteArray out = Frame(ctx, cmd, priv, extCmd, CFileNameFrameSize - CHeadSize);
  TByteWriter w(out);
  w.FixedText(name, CFileNameLen);
  w.U32(pos);
  return out;
}

QByteArray BuildObject(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, uint32_t idOrHandle) {
  QByteArray out = Frame(ctx, cmd, priv, extCmd, 4);
  TByteWriter(out).U32(idOrHandle);
  return out;
}

QByteArray BuildFileUpload(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& file) {
  QByteArray out = Frame(ctx, cmd, priv, extCmd, file.size());
  out.append(file);
  return out;
}

QByteArray BuildScratchpadUpload(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd,
                                 const QByteArray& targetName, const QByteArray& file) {
  QByteArray out = Frame(ctx, cmd, priv, extCmd, CScratchNameLen + file.size());
  TByteWriter w(out);
  w.FixedText(targetName, CScratchNameLen);
  w.Bytes(file);
  return out;
}

QByteArray BuildStartRecord(const THeaderContext& ctx, uint32_t method, const QByteArray& user, const QByteArray& secret) {
  QByteArray out = Frame(ctx, 1, 0, 0, CStartRecordSize - CHeadSize);
  TByteWriter w(out);
  w.U32(method);
  const bool known = method == uint32_t(TStartMethod::smPassword) || method == uint32_t(TStartMethod::smTicket);
  w.FixedText(known ? user : QByteArray(), CStartUserLen);
  w.FixedText(known ? secret : QByteArray(), CStartSecretLen);
  return out;
}

QByteArray BuildNtpReply(const THeaderContext& ctx, const QByteArray& ntpPacket) {
  const TCommandDef& d = Def(TCcci::TUNNEL_NTP_REPLY);
  QByteArray out = Frame(ctx, d.Cmd, d.Priv, d.ExtCmd, CNtpPacketSize);
  TByteWriter(out).FixedText(ntpPacket, CNtpPacketSize);
  return out;
}

QString DecodeFileNameRequest(const QByteArray& frame, TFileNameRequest& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TFileNameRequest v;
  v.Name = r.FixedText(CFileNameLen);
  v.Pos = r.U32();
  if (!r.Ok()) return Short("file name request", frame, CFileNameFrameSize);
  out = v;
  return {};
}

QString DecodeObjectRequest(const QByteArray& frame, uint32_t& idOrHandle) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  const uint32_t v = r.U32();
  if (!r.Ok()) return Short("object request", frame, CObjectFrameSize);
  idOrHandle = v;
  return {};
}

QString DecodeStartRecord(const QByteArray& frame, TStartRecord& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TStartRecord v;
  v.Method = r.U32();
  v.User = r.FixedText(CStartUserLen);
  v.Secret = r.FixedText(CStartSecretLen);
  if (!r.Ok()) return Short("session start record", frame, CStartRecordSize);
  out = v;
  return {};
}

QString DecodeScratchpadUpload(const QByteArray& frame, TScratchpadUpload& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TScratchpadUpload v;
  v.TargetName = r.FixedText(CScratchNameLen);
  if (!r.Ok()) return Short("scratchpad upload", frame, CScratchHeadSize);
  v.File = r.Rest();
  out = v;
  return {};
}

QString DecodeLuaText(const QByteArray& frame, QByteArray& statement) {
  if (frame.size() < CHeadSize) return Short("Lua statement", frame, CHeadSize);
  QByteArray text = frame.mid(CHeadSize, FrameEnd(frame) - CHeadSize);
  if (text.endsWith("\r\n")) text.chop(2);
  statement = text;
  return {};
}

QString DecodeNak(const QByteArray& frame, TNakRecord& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TNakRecord v;
  v.ErrorCode = r.U32();
  if (!r.Ok()) return Short("NAK record", frame, CHeadSize + 4);
  v.Message = r.Rest();
  // The device may zero-terminate its text; the terminator is not part of it.
  const qsizetype zero = v.Message.indexOf('\0');
  if (zero >= 0) v.Message.truncate(zero);
  out = v;
  return {};
}

QString DecodeSessionAnswer(const QByteArray& frame, TSessionAnswer& out) {
  ccc_head_t h;
  if (!DecodeHead(frame, h)) return Short("session answer", frame, CHeadSize);
  TSessionAnswer v;
  v.Ver = h.Ver;
  if (h.Ver < 5) {
    TByteReader r(frame.constData(), FrameEnd(frame));
    r.Seek(CHeadSize);
    v.User = r.FixedText(64);
    v.Password = r.FixedText(64);
    if (!r.Ok()) return Short("protocol 4 session answer", frame, CHeadSize + 128);
    v.HasCredentials = true;
  }
  out = v;
  return {};
}

QString DecodeIdentityBasic(const QByteArray& frame, TIdentityBasic& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TIdentityBasic v;
  v.SerNum = r.U32();
  v.ArtNum = r.U32();
  v.ProdDate = r.U32();
  if (!r.Ok()) return Short("basic identity", frame, CIdentityBasicSize);
  out = v;
  return {};
}

QString DecodeTimeSet(const QByteArray& bytes, qsizetype offset, time_set_t& out) {
  TByteReader r(bytes);
  r.Seek(offset);
  time_set_t v;
  v.Std = r.U32();
  v.Stdtz = r.U16();
  v.StdtzMin = r.U16();
  v.tz = r.U16();
  v.tzMin = r.U16();
  v.dstmode = r.U32();
  for (auto& b : v.ws) b = r.U8();
  for (auto& b : v.sw) b = r.U8();
  for (auto& b : v.ls) b = r.U8();
  v.ntpcycle = r.U32();
  for (auto& ip : v.ntpip) ip = r.FixedText(32);
  for (auto& p : v.ntpport) p = r.U16();
  v.bdnmea = r.U32();
  v.rsnmea = r.U32();
  v.rspcm = r.U32();
  if (!r.Ok()) return TEn::tr("time settings: %1 bytes from offset %2, 180 needed").arg(bytes.size() - offset).arg(offset);
  out = v;
  return {};
}

void EncodeTimeSet(QByteArray& out, const time_set_t& ts) {
  TByteWriter w(out);
  w.U32(ts.Std);
  w.U16(ts.Stdtz);
  w.U16(ts.StdtzMin);
  w.U16(ts.tz);
  w.U16(ts.tzMin);
  w.U32(ts.dstmode);
  for (auto b : ts.ws) w.U8(b);
  for (auto b : ts.sw) w.U8(b);
  for (auto b : ts.ls) w.U8(b);
  w.U32(ts.ntpcycle);
  for (const auto& ip : ts.ntpip) w.FixedText(ip, 32);
  for (auto p : ts.ntpport) w.U16(p);
  w.U32(ts.bdnmea);
  w.U32(ts.rsnmea);
  w.U32(ts.rspcm);
}

QString DecodeIdentityFull(const QByteArray& frame, TIdentityFull& out) {
  const qsizetype end = FrameEnd(frame);
  if (end < CIdentityFullSize) return Short("full identity", frame, CIdentityFullSize);
  const QByteArray bytes = frame.left(end);
  TByteReader r(bytes);
  r.Seek(CHeadSize);
  TIdentityFull v;
  v.SerNum = r.U32();
  v.ArtNum = r.U32();
  v.ProdDate = r.U32();
  v.DevClock = r.U32();
  if (QString e = DecodeTimeSet(bytes, 36, v.TimeSet); !e.isEmpty()) return e;
  r.Seek(216);
  v.FirmwareWord = r.U32();
  const qsizetype block = 220;
  r.Seek(block + CNamingPlantOffset);
  v.Plant = r.FixedText(CNamingTextLen);
  r.Seek(block + CNamingFieldOffset);
  v.Field = r.FixedText(CNamingTextLen);
  r.Seek(block + CNamingDeviceOffset);
  v.Device = r.FixedText(CNamingTextLen);
  if (!r.Ok()) return Short("full identity", frame, CIdentityFullSize);
  out = v;
  return {};
}

QString DecodeStreamStarted(const QByteArray& frame, uint32_t& handle) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  const uint32_t v = r.U32();
  if (!r.Ok()) return Short("stream start answer", frame, CHeadSize + 4);
  handle = v;
  return {};
}

QString DecodeStreamDataHead(const QByteArray& frame, TStreamDataHead& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TStreamDataHead v;
  v.ObjId = r.U32();
  v.Stamp.Sec = r.U32();
  v.Stamp.Frac = r.U32();
  if (!r.Ok()) return Short("stream record", frame, CHeadSize + 12);
  out = v;
  return {};
}

QString DecodeBinaryInput(const QByteArray& frame, TBinaryInputRecord& out) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  TBinaryInputRecord v;
  v.Id = r.U32();
  v.Sec = r.U32();
  v.Frac = r.U32();
  v.Ver = r.U8();
  v.InputCnt = r.U8();
  if (!r.Ok()) return Short("binary input record", frame, CHeadSize + 14);
  v.States = r.Bytes(v.InputCnt);
  if (!r.Ok()) return Short("binary input record", frame, CHeadSize + 14 + v.InputCnt);
  out = v;
  return {};
}

QByteArray LuaOutputText(const QByteArray& frame) {
  if (frame.size() <= CHeadSize) return {};
  return frame.mid(CHeadSize, FrameEnd(frame) - CHeadSize);
}

QString DecodeNtpRequest(const QByteArray& frame, QByteArray& packet) {
  TByteReader r(frame.constData(), FrameEnd(frame));
  r.Seek(CHeadSize);
  const QByteArray p = r.Bytes(CNtpPacketSize);
  if (!r.Ok()) return Short("NTP request", frame, CHeadSize + CNtpPacketSize);
  packet = p;
  return {};
}

QString DecodeNtpReply(const QByteArray& frame, QByteArray& packet) { return DecodeNtpRequest(frame, packet); }

QByteArray BuildNak(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, uint32_t errorCode,
                    const QByteArray& message) {
  THeaderContext c = ctx;
  c.FTPNAK = uint16_t((ctx.FTPNAK & 0x0D) | CFlagNAK);
  QByteArray out = Frame(c, cmd, priv, extCmd, 4 + message.size());
  TByteWriter w(out);
  w.U32(errorCode);
  w.Bytes(message);
  return out;
}

QByteArray BuildSessionAnswer(const THeaderContext& ctx, uint8_t priv, uint16_t extCmd, const QByteArray& ftpUser,
                              const QByteArray& ftpPassword) {
  if (ctx.Ver >= 5) return Frame(ctx, 1, priv, extCmd, 0);
  QByteArray out = Frame(ctx, 1, priv, extCmd, 128);
  TByteWriter w(out);
  w.FixedText(ftpUser, 64);
  w.FixedText(ftpPassword, 64);
  return out;
}

QByteArray BuildIdentityBasic(const THeaderContext& ctx, const TIdentityBasic& id) {
  QByteArray out = Frame(ctx, 2, 0, 0, 12);
  TByteWriter w(out);
  w.U32(id.SerNum);
  w.U32(id.ArtNum);
  w.U32(id.ProdDate);
  return out;
}

QByteArray BuildIdentityFull(const THeaderContext& ctx, const TIdentityFull& id) {
  QByteArray out = Frame(ctx, 2, 0, 1, CIdentityFullSize - CHeadSize);
  TByteWriter w(out);
  w.U32(id.SerNum);
  w.U32(id.ArtNum);
  w.U32(id.ProdDate);
  w.U32(id.DevClock);
  EncodeTimeSet(out, id.TimeSet);
  w.U32(id.FirmwareWord);
  QByteArray block(CNamingBlockSize, '\0');
  auto put = [&block](qsizetype at, const QByteArray& text) {
    const qsizetype n = qMin<qsizetype>(text.size(), CNamingTextLen);
    std::copy(text.constBegin(), text.constBegin() + n, block.begin() + at);
  };
  put(CNamingPlantOffset, id.Plant);
  put(CNamingFieldOffset, id.Field);
  put(CNamingDeviceOffset, id.Device);
  w.Bytes(block);
  return out;
}

QByteArray BuildStreamStarted(const THeaderContext& ctx, uint32_t handle) {
  QByteArray out = Frame(ctx, 4, 0, 1, 4);
  TByteWriter(out).U32(handle);
  return out;
}

QByteArray BuildStreamData(const THeaderContext& ctx, uint32_t objId, tmStamp_t stamp, const QByteArray& body) {
  QByteArray out = Frame(ctx, 4, 0, CStreamDataExtCmd, 12 + body.size());
  TByteWriter w(out);
  w.U32(objId);
  w.U32(stamp.Sec);
  w.U32(stamp.Frac);
  w.Bytes(body);
  return out;
}

QByteArray BuildStreamStopped(const THeaderContext& ctx) { return Frame(ctx, 4, 0, CStopExtCmd, 0); }

QByteArray BuildBinaryInput(const THeaderContext& ctx, const TBinaryInputRecord& rec) {
  QByteArray out = Frame(ctx, 4, 0, CStreamDataExtCmd, 14 + rec.States.size());
  TByteWriter w(out);
  w.U32(rec.Id);
  w.U32(rec.Sec);
  w.U32(rec.Frac);
  w.U8(rec.Ver);
  w.U8(uint8_t(rec.States.size()));
  w.Bytes(rec.States);
  return out;
}

QByteArray BuildLuaOutput(const THeaderContext& ctx, TLuaOutputKind kind, const QByteArray& text) {
  QByteArray out = Frame(ctx, 6, 0, uint16_t(kind), text.size());
  out.append(text);
  return out;
}

QByteArray BuildNtpTunnel(const THeaderContext& ctx, TNtpTunnelKind kind, const QByteArray& packet) {
  if (kind != TNtpTunnelKind::ntRequest) return Frame(ctx, 9, 1, uint16_t(kind), 0);
  QByteArray out = Frame(ctx, 9, 1, uint16_t(kind), CNtpPacketSize);
  TByteWriter(out).FixedText(packet, CNtpPacketSize);
  return out;
}

QByteArray BuildFileAnswer(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& bytes) {
  QByteArray out = Frame(ctx, cmd, priv, extCmd, bytes.size());
  out.append(bytes);
  return out;
}

TDevType DevTypeFromArticle(uint32_t a) {
  if (a >= 1197600 && a < 1197700) return TDevType::devtypVantaLorn;
  if (a >= 1197800 && a < 1197900) return TDevType::devtypVantaDE;
  if (a == 357000101) return TDevType::devtypOmnivex;
  return TDevType::devtypVanta;
}

}  // namespace vanta::ccci
