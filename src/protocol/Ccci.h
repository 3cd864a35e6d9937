#pragma once
// CCCI frames: the 20-byte header, the command catalogue, builders for every
// request layout and decoders for every answer payload the client reads
// itself. Builders for the device's answers live here too, so that the
// simulator speaks through the same codec.
//
// All functions work on byte arrays, little-endian and packed whatever the
// host. A decoder never reads past the frame: a short payload is reported as
// an error text and the output is left untouched.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "Sammler.h"
#include "TimeStamps.h"

namespace vanta::ccci {

inline constexpr int CHeadSize = 20;
inline constexpr uint16_t CStopExtCmd = 0xFFFF;
// The device's CCCI port, also the client's default.
inline constexpr uint16_t CDefaultPort = 5040;
// Frames the device sends on its own: stream records (CMD 4) and the text of
// its log stream (CMD 10).
inline constexpr uint16_t CStreamDataExtCmd = 3;
inline constexpr uint16_t CDeviceTextExtCmd = 5;
// Bigger frames are treated as a corrupt header rather than awaited.
inline constexpr uint32_t CMaxFrameSize = 1024u * 1024u * 1024u;

struct ccc_head_t {
  uint8_t CMD = 0;
  uint8_t Priv = 0;
  uint16_t ExtCmd = 0;
  uint16_t Ver = 0;
  uint16_t FTPNAK = 0;
  uint32_t SN = 0;
  uint32_t Size = CHeadSize;
  uint32_t SeqCnt = 0;
  bool operator==(const ccc_head_t&) const = default;
};

// Flag word bits.
inline constexpr uint16_t CFlagFTP = 1u << 0;
inline constexpr uint16_t CFlagNAK = 1u << 1;
inline constexpr uint16_t CFlagGZ = 1u << 2;
inline constexpr uint16_t CFlagTGZ = 1u << 3;

uint16_t GenHeaderFTPNAK(bool ftp, bool gz, bool tgz);
// NAK bit set and no bit above bit 3.
bool CheckNAK(uint16_t flags);

void EncodeHead(QByteArray& out, const ccc_head_t& head);
// Reads the header at the start of `bytes`; false when fewer than 20 bytes.
bool DecodeHead(const QByteArray& bytes, ccc_head_t& head);

// ---- Command catalogue -------------------------------------------------------

enum class TPayloadLayout : uint8_t {
  plNone,
  plLuaText,
  plFileName,
  plObject,
  plFileUpload,
  plScratchpadUpload,
  plStartRecord,
  plNtpReply,
};

enum class TAnswerRoute : uint8_t {
  arNone,  // no answer awaited
  arSession,
  arIdentityBasic,
  arIdentityFull,
  arSetup,
  arStream,
  arReadout,
  arLua,
  arScratchpad,
  arNtp,
  arIsAnswer,  // the frame is itself an answer to a device request
};

struct TCommandDef {
  const char* Name;
  uint8_t Cmd;
  uint8_t Priv;
  uint16_t ExtCmd;
  TPayloadLayout Layout;
  TAnswerRoute Answer;
};

enum class TCcci : uint8_t {
  SESSION_STR_ADV,
  SESSION_STR_SUP,
  START_S,
  SESSION_STP,
  IDENTIFY_BASIC,
  IDENTIFY_ALL,
  SETUP_RD_ALL,
  SETUP_RD_ONE,
  SETUP_WR,
  STREAM_START,
  STREAM_GET_NXT,
  STREAM_STOP,
  READOUT_REC_LS,
  READOUT_REC_RD,
  READOUT_REC_RM,
  READOUT_REC_RMALL,
  READOUT_EVT_LS,
  READOUT_EVT_RD,
  READOUT_EVT_RM,
  READOUT_EVT_RMALL,
  READOUT_DISP_RD,
  READOUT_LOGD_RD,
  LUA_COMMAND,
  SCRATCH_PAD_RD,
  SCRATCH_PAD_WR,
  SCRATCH_PAD_RM,
  TUNNEL_NTP_OPEN,
  TUNNEL_NTP_CLOSE,
  TUNNEL_NTP_REPLY,
  Count
};

inline constexpr std::array<TCommandDef, size_t(TCcci::Count)> CCommandCatalogue = {{
    {"CCC_SESSION_STR_ADV", 1, 1, 2, TPayloadLayout::plNone, TAnswerRoute::arSession},
    {"CCC_SESSION_STR_SUP", 1, 2, 3, TPayloadLayout::plNone, TAnswerRoute::arSession},
    {"ccc_start_s", 1, 0, 0, TPayloadLayout::plStartRecord, TAnswerRoute::arSession},
    {"CCC_SESSION_STP", 1, 0, 65535, TPayloadLayout::plNone, TAnswerRoute::arNone},
    {"CCC_IDENTIFY_BASIC", 2, 0, 0, TPayloadLayout::plNone, TAnswerRoute::arIdentityBasic},
    {"CCC_IDENTIFY_ALL", 2, 0, 1, TPayloadLayout::plNone, TAnswerRoute::arIdentityFull},
    {"CCC_SETUP_RD_ALL", 3, 0, 1, TPayloadLayout::plNone, TAnswerRoute::arSetup},
    {"CCC_SETUP_RD_ONE", 3, 0, 2, TPayloadLayout::plFileName, TAnswerRoute::arSetup},
    {"CCC_SETUP_WR", 3, 1, 3, TPayloadLayout::plFileUpload, TAnswerRoute::arSetup},
    {"CCC_STREAM_START", 4, 0, 1, TPayloadLayout::plObject, TAnswerRoute::arStream},
    {"CCC_STREAM_GET_NXT", 4, 0, 2, TPayloadLayout::plObject, TAnswerRoute::arStream},
    {"CCC_STREAM_STOP", 4, 0, 65535, TPayloadLayout::plObject, TAnswerRoute::arNone},
    {"CCC_READOUT_REC_LS", 5, 0, 0, TPayloadLayout::plNone, TAnswerRoute::arReadout},
    {"CCC_READOUT_REC_RD", 5, 0, 1, TPayloadLayout::plFileName, TAnswerRoute::arReadout},
    {"CCC_READOUT_REC_RM", 5, 0, 2, TPayloadLayout::plFileName, TAnswerRoute::arReadout},
    {"CCC_READOUT_REC_RMALL", 5, 0, 3, TPayloadLayout::plNone, TAnswerRoute::arReadout},
    {"CCC_READOUT_EVT_LS", 5, 0, 16, TPayloadLayout::plNone, TAnswerRoute::arReadout},
    {"CCC_READOUT_EVT_RD", 5, 0, 17, TPayloadLayout::plFileName, TAnswerRoute::arReadout},
    {"CCC_READOUT_EVT_RM", 5, 0, 18, TPayloadLayout::plFileName, TAnswerRoute::arReadout},
    {"CCC_READOUT_EVT_RMALL", 5, 0, 19, TPayloadLayout::plNone, TAnswerRoute::arReadout},
    {"CCC_READOUT_DISP_RD", 5, 0, 33, TPayloadLayout::plNone, TAnswerRoute::arReadout},
    {"CCC_READOUT_LOGD_RD", 5, 0, 34, TPayloadLayout::plNone, TAnswerRoute::arReadout},
    {"CCC_LUA_COMMAND", 6, 1, 0, TPayloadLayout::plLuaText, TAnswerRoute::arLua},
    {"CCC_SCRATCH_PAD_RD", 7, 0, 1, TPayloadLayout::plFileName, TAnswerRoute::arScratchpad},
    {"CCC_SCRATCH_PAD_WR", 7, 0, 2, TPayloadLayout::plScratchpadUpload, TAnswerRoute::arScratchpad},
    {"CCC_SCRATCH_PAD_RM", 7, 0, 3, TPayloadLayout::plFileName, TAnswerRoute::arScratchpad},
    {"CCC_TUNNEL_NTP_OPEN", 9, 1, 0, TPayloadLayout::plNone, TAnswerRoute::arNtp},
    {"CCC_TUNNEL_NTP_CLOSE", 9, 1, 1, TPayloadLayout::plNone, TAnswerRoute::arNtp},
    {"CCC_TUNNEL_NTP_REPLY", 9, 1, 3, TPayloadLayout::plNtpReply, TAnswerRoute::arIsAnswer},
}};

constexpr const TCommandDef& Def(TCcci c) { return CCommandCatalogue[size_t(c)]; }
// Looks a command up by its label; nullptr when unknown.
const TCommandDef* FindCommand(const QString& name);
// Which request a device-side header asks for (the simulator's view); nullopt
// for unknown (CMD, Priv, ExtCmd) triples.
std::optional<TCcci> IdentifyRequest(uint8_t cmd, uint8_t priv, uint16_t extCmd);

// Answer groups routed by CMD on the client side.
enum class TAnswerGroup : uint8_t { agUnknown, agSession, agIdentity, agSetup, agStream, agReadout, agLua, agScratchpad, agNtp, agFileStream };
TAnswerGroup RouteByCmd(uint8_t cmd);

// ---- NAK codes -------------------------------------------------------------------
// The error codes of a NAK record that the client reacts to or the simulator
// sends. The device adds its own message text; these names say what a code
// means when the message is empty or in another language (trace decoders,
// logs).
enum TNakCode : uint32_t {
  nakNoFile = 2,
  nakCannotStore = 3,
  nakUnknownRequest = 4,
  nakNoAccess = 13,
  nakBadSetup = 30,
  nakBadStream = 40,
  nakNoSession = 100,
  nakSessionRefused = 111,  // the device's message is shown as it is
  nakTooManyConnections = 120,
  nakNoProtocol5 = 134,  // the client falls back to the protocol-4 start
};

struct TNakDef {
  uint32_t Code;
  const char* Text;
};

inline constexpr std::array<TNakDef, 10> CNakCatalogue = {{
    {nakNoFile, "file not found"},
    {nakCannotStore, "file cannot be stored"},
    {nakUnknownRequest, "unknown or malformed request"},
    {nakNoAccess, "user has no access to this function"},
    {nakBadSetup, "setup rejected"},
    {nakBadStream, "unknown stream"},
    {nakNoSession, "no session"},
    {nakSessionRefused, "session refused"},
    {nakTooManyConnections, "two connections already open"},
    {nakNoProtocol5, "protocol 5 not supported"},
}};

// The catalogue text of a NAK code; nullptr for codes it does not list.
const char* NakText(uint32_t code);

// ---- Request layouts -----------------------------------------------------------

inline constexpr int CFileNameLen = 64;
inline constexpr int CFileNameFrameSize = 88;
inline constexpr int CObjectFrameSize = 24;
inline constexpr int CScratchNameLen = 128;
inline constexpr int CScratchHeadSize = 148;
inline constexpr int CStartRecordSize = 160;
inline constexpr int CStartUserLen = 64;
inline constexpr int CStartSecretLen = 72;
inline constexpr int CNtpPacketSize = 48;
inline constexpr int CNtpReplyFrameSize = 68;

// What the sender puts in every header besides the command and the size.
struct THeaderContext {
  uint16_t Ver = 5;
  uint16_t FTPNAK = 0;
  uint32_t SN = 0;
  uint32_t SeqCnt = 0;
};

ccc_head_t MakeHead(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, uint32_t size);
QByteArray BuildHeaderOnly(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd);
QByteArray BuildLuaText(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& statement,
                        bool appendCrLf);
QByteArray BuildFileName(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& name,
                         uint32_t pos);
QByteArray BuildObject(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, uint32_t idOrHandle);
QByteArray BuildFileUpload(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& file);
QByteArray BuildScratchpadUpload(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd,
                                 const QByteArray& targetName, const QByteArray& file);
enum class TStartMethod : uint32_t { smPassword = 0, smTicket = 1 };
QByteArray BuildStartRecord(const THeaderContext& ctx, uint32_t method, const QByteArray& user, const QByteArray& secret);
// The packet is cut or zero-padded to 48 bytes.
QByteArray BuildNtpReply(const THeaderContext& ctx, const QByteArray& ntpPacket);

// ---- Requests as the device reads them ---------------------------------------------

struct TFileNameRequest {
  QByteArray Name;
  uint32_t Pos = 0;
};
struct TStartRecord {
  uint32_t Method = 0;
  QByteArray User;
  QByteArray Secret;
};
struct TScratchpadUpload {
  QByteArray TargetName;
  QByteArray File;
};

// Each takes a whole frame (header included) and returns an error text on
// failure (empty on success).
QString DecodeFileNameRequest(const QByteArray& frame, TFileNameRequest& out);
QString DecodeObjectRequest(const QByteArray& frame, uint32_t& idOrHandle);
QString DecodeStartRecord(const QByteArray& frame, TStartRecord& out);
QString DecodeScratchpadUpload(const QByteArray& frame, TScratchpadUpload& out);
// The Lua statement without a trailing CR LF.
QString DecodeLuaText(const QByteArray& frame, QByteArray& statement);

// ---- Answer payloads -------------------------------------------------------------------

struct TNakRecord {
  uint32_t ErrorCode = 0;
  QByteArray Message;
};

struct TSessionAnswer {
  uint16_t Ver = 0;
  bool HasCredentials = false;  // protocol 4 answers carry the FTP login
  QByteArray User;
  QByteArray Password;
};

struct TIdentityBasic {
  uint32_t SerNum = 0;
  uint32_t ArtNum = 0;
  uint32_t ProdDate = 0;
};

inline constexpr int CTimeSetSize = 180;
inline constexpr int CNamingBlockSize = 1372;
inline constexpr int CNamingPlantOffset = 256;
inline constexpr int CNamingFieldOffset = 824;
inline constexpr int CNamingDeviceOffset = 1160;
inline constexpr int CNamingTextLen = 128;
inline constexpr int CIdentityFullSize = CHeadSize + 16 + CTimeSetSize + 4 + CNamingBlockSize;  // 1592
inline constexpr int CIdentityBasicSize = CHeadSize + 12;

struct TIdentityFull {
  uint32_t SerNum = 0;
  uint32_t ArtNum = 0;
  uint32_t ProdDate = 0;
  uint32_t DevClock = 0;
  time_set_t TimeSet;
  uint32_t FirmwareWord = 0;
  QByteArray Plant;
  QByteArray Field;
  QByteArray Device;
};

struct TStreamDataHead {
  uint32_t ObjId = 0;
  tmStamp_t Stamp;
};

inline constexpr uint32_t CBinaryObjectId = 10000000;
struct TBinaryInputRecord {
  uint32_t Id = 0;
  uint32_t Sec = 0;
  uint32_t Frac = 0;
  uint8_t Ver = 0;
  uint8_t InputCnt = 0;
  QByteArray States;
};

enum class TLuaOutputKind : uint16_t { loChunk = 1, loError = 2, loEnd = 3 };

enum class TNtpTunnelKind : uint16_t { ntOpened = 0, ntClosed = 1, ntRequest = 2 };

QString DecodeNak(const QByteArray& frame, TNakRecord& out);
QString DecodeSessionAnswer(const QByteArray& frame, TSessionAnswer& out);
QString DecodeIdentityBasic(const QByteArray& frame, TIdentityBasic& out);
QString DecodeTimeSet(const QByteArray& bytes, qsizetype offset, time_set_t& out);
QString DecodeIdentityFull(const QByteArray& frame, TIdentityFull& out);
QString DecodeStreamStarted(const QByteArray& frame, uint32_t& handle);
QString DecodeStreamDataHead(const QByteArray& frame, TStreamDataHead& out);
QString DecodeBinaryInput(const QByteArray& frame, TBinaryInputRecord& out);
QByteArray LuaOutputText(const QByteArray& frame);
QString DecodeNtpRequest(const QByteArray& frame, QByteArray& packet);
// The 48-byte NTP packet of a client's reply frame.
QString DecodeNtpReply(const QByteArray& frame, QByteArray& packet);

// ---- Answers as the device builds them -----------------------------------------------

QByteArray BuildNak(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, uint32_t errorCode,
                    const QByteArray& message);
QByteArray BuildSessionAnswer(const THeaderContext& ctx, uint8_t priv, uint16_t extCmd, const QByteArray& ftpUser,
                              const QByteArray& ftpPassword);
QByteArray BuildIdentityBasic(const THeaderContext& ctx, const TIdentityBasic& id);
void EncodeTimeSet(QByteArray& out, const time_set_t& ts);
QByteArray BuildIdentityFull(const THeaderContext& ctx, const TIdentityFull& id);
QByteArray BuildStreamStarted(const THeaderContext& ctx, uint32_t handle);
// Data record: object id, stamp, then `body` (the bytes after the stamp).
QByteArray BuildStreamData(const THeaderContext& ctx, uint32_t objId, tmStamp_t stamp, const QByteArray& body);
QByteArray BuildStreamStopped(const THeaderContext& ctx);
QByteArray BuildBinaryInput(const THeaderContext& ctx, const TBinaryInputRecord& rec);
QByteArray BuildLuaOutput(const THeaderContext& ctx, TLuaOutputKind kind, const QByteArray& text);
QByteArray BuildNtpTunnel(const THeaderContext& ctx, TNtpTunnelKind kind, const QByteArray& packet = {});
// A file answer (setup, readout, scratchpad): header plus the file's bytes.
QByteArray BuildFileAnswer(const THeaderContext& ctx, uint8_t cmd, uint8_t priv, uint16_t extCmd, const QByteArray& bytes);

// ---- Device type ---------------------------------------------------------------------------

TDevType DevTypeFromArticle(uint32_t articleNumber);

}  // namespace vanta::ccci
