// Writes the tables of the Wireshark dissector (tools/wireshark/ccci.lua) from
// the client's own command catalogue, NAK codes and header constants, so the
// dissector names frames exactly as the client does. The tables sit in the
// Lua file between two marker lines; everything outside them is hand-written.
//
//   gen_ccci_table                 print the table block
//   gen_ccci_table --update FILE   replace the block in FILE
//   gen_ccci_table --check FILE    exit 1 when FILE's block is not current
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>

#include "Ccci.h"

using namespace vanta::ccci;

namespace {

const char* CBegin = "-- BEGIN GENERATED TABLES (gen_ccci_table; edit the C++ catalogue, not these lines)\n";
const char* CEnd = "-- END GENERATED TABLES\n";

const char* LayoutName(TPayloadLayout l) {
  switch (l) {
    case TPayloadLayout::plNone: return "none";
    case TPayloadLayout::plLuaText: return "lua_text";
    case TPayloadLayout::plFileName: return "file_name";
    case TPayloadLayout::plObject: return "object";
    case TPayloadLayout::plFileUpload: return "file_upload";
    case TPayloadLayout::plScratchpadUpload: return "scratchpad_upload";
    case TPayloadLayout::plStartRecord: return "start_record";
    case TPayloadLayout::plNtpReply: return "ntp_reply";
  }
  return "?";
}

const char* AnswerName(TAnswerRoute a) {
  switch (a) {
    case TAnswerRoute::arNone: return "none";
    case TAnswerRoute::arSession: return "session";
    case TAnswerRoute::arIdentityBasic: return "identity_basic";
    case TAnswerRoute::arIdentityFull: return "identity_full";
    case TAnswerRoute::arSetup: return "setup";
    case TAnswerRoute::arStream: return "stream";
    case TAnswerRoute::arReadout: return "readout";
    case TAnswerRoute::arLua: return "lua";
    case TAnswerRoute::arScratchpad: return "scratchpad";
    case TAnswerRoute::arNtp: return "ntp";
    case TAnswerRoute::arIsAnswer: return "is_answer";
  }
  return "?";
}

// nullptr for the CMD values the client treats as a protocol fault.
const char* GroupName(TAnswerGroup g) {
  switch (g) {
    case TAnswerGroup::agUnknown: return nullptr;
    case TAnswerGroup::agSession: return "session";
    case TAnswerGroup::agIdentity: return "identity";
    case TAnswerGroup::agSetup: return "setup";
    case TAnswerGroup::agStream: return "stream";
    case TAnswerGroup::agReadout: return "readout";
    case TAnswerGroup::agLua: return "Lua output";
    case TAnswerGroup::agScratchpad: return "scratchpad";
    case TAnswerGroup::agNtp: return "NTP tunnel";
    case TAnswerGroup::agFileStream: return "device text stream";
  }
  return nullptr;
}

const char* LuaOutputName(TLuaOutputKind k) {
  switch (k) {
    case TLuaOutputKind::loChunk: return "Lua output";
    case TLuaOutputKind::loError: return "Lua error output";
    case TLuaOutputKind::loEnd: return "Lua end of output";
  }
  return "?";
}

QByteArray Quoted(const char* text) {
  QByteArray out = "\"";
  for (const char* p = text; *p; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    out += *p;
  }
  return out + '"';
}

QByteArray Block() {
  QByteArray b = CBegin;
  b += "local CATALOGUE = {\n";
  b += "  head_size = " + QByteArray::number(CHeadSize) + ",\n";
  b += "  stop_extcmd = " + QByteArray::number(CStopExtCmd) + ",\n";
  b += "  default_port = " + QByteArray::number(CDefaultPort) + ",\n";
  b += "  max_frame_size = " + QByteArray::number(CMaxFrameSize) + ",\n";
  b += "  flags = { ftp = " + QByteArray::number(CFlagFTP) + ", nak = " + QByteArray::number(CFlagNAK) +
       ", gz = " + QByteArray::number(CFlagGZ) + ", tgz = " + QByteArray::number(CFlagTGZ) + " },\n";
  b += "  text_len = { file_name = " + QByteArray::number(CFileNameLen) +
       ", scratch_name = " + QByteArray::number(CScratchNameLen) + ", start_user = " + QByteArray::number(CStartUserLen) +
       ", start_secret = " + QByteArray::number(CStartSecretLen) + " },\n";
  b += "  -- requests: name, CMD, Priv, ExtCmd, request layout, answer route\n";
  b += "  commands = {\n";
  for (const TCommandDef& d : CCommandCatalogue) {
    b += "    { name = " + Quoted(d.Name) + ", cmd = " + QByteArray::number(d.Cmd) +
         ", priv = " + QByteArray::number(d.Priv) + ", extcmd = " + QByteArray::number(d.ExtCmd) + ", layout = \"" +
         LayoutName(d.Layout) + "\", answer = \"" + AnswerName(d.Answer) + "\" },\n";
  }
  b += "  },\n";
  b += "  -- CMD groups a received frame is routed to\n";
  b += "  groups = {\n";
  for (int cmd = 0; cmd < 256; ++cmd) {
    if (const char* g = GroupName(RouteByCmd(uint8_t(cmd))))
      b += "    [" + QByteArray::number(cmd) + "] = " + Quoted(g) + ",\n";
  }
  b += "  },\n";
  b += "  -- frames the device sends that answer no request of the same header\n";
  b += "  device_frames = {\n";
  const auto deviceFrame = [&b](int cmd, int ext, const char* name) {
    b += "    [\"" + QByteArray::number(cmd) + ":" + QByteArray::number(ext) + "\"] = " + Quoted(name) + ",\n";
  };
  const uint8_t luaCmd = Def(TCcci::LUA_COMMAND).Cmd;
  for (TLuaOutputKind k : {TLuaOutputKind::loChunk, TLuaOutputKind::loError, TLuaOutputKind::loEnd})
    deviceFrame(luaCmd, int(k), LuaOutputName(k));
  deviceFrame(Def(TCcci::STREAM_START).Cmd, CStreamDataExtCmd, "stream data");
  deviceFrame(Def(TCcci::TUNNEL_NTP_OPEN).Cmd, int(TNtpTunnelKind::ntRequest), "NTP time request");
  for (int cmd = 0; cmd < 256; ++cmd) {
    if (RouteByCmd(uint8_t(cmd)) == TAnswerGroup::agFileStream) deviceFrame(cmd, CDeviceTextExtCmd, "device text");
  }
  b += "  },\n";
  b += "  naks = {\n";
  for (const TNakDef& n : CNakCatalogue) b += "    [" + QByteArray::number(n.Code) + "] = " + Quoted(n.Text) + ",\n";
  b += "  },\n";
  b += "}\n";
  b += CEnd;
  return b;
}

// The file with its generated block replaced; empty when a marker is missing.
QByteArray Replace(const QByteArray& file, const QByteArray& block) {
  const qsizetype begin = file.indexOf(CBegin);
  const qsizetype end = file.indexOf(CEnd, begin < 0 ? 0 : begin);
  if (begin < 0 || end < 0) return {};
  return file.left(begin) + block + file.mid(end + qsizetype(qstrlen(CEnd)));
}

int Usage() {
  std::fprintf(stderr, "usage: gen_ccci_table [--check FILE | --update FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const QByteArray block = Block();
  if (argc == 1) {
    std::fwrite(block.constData(), 1, size_t(block.size()), stdout);
    return 0;
  }
  if (argc != 3) return Usage();
  const QByteArray mode = argv[1];
  if (mode != "--check" && mode != "--update") return Usage();
  QFile f(QString::fromLocal8Bit(argv[2]));
  if (!f.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "gen_ccci_table: %s: %s\n", argv[2], qPrintable(f.errorString()));
    return 2;
  }
  const QByteArray old = f.readAll();
  f.close();
  const QByteArray now = Replace(old, block);
  if (now.isEmpty()) {
    std::fprintf(stderr, "gen_ccci_table: %s: no generated block (marker lines missing)\n", argv[2]);
    return 2;
  }
  if (mode == "--check") {
    if (now == old) return 0;
    std::fprintf(stderr,
                 "gen_ccci_table: the tables in %s do not match the command catalogue; run\n"
                 "  gen_ccci_table --update %s\n",
                 argv[2], argv[2]);
    return 1;
  }
  if (now == old) return 0;
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(now) != now.size()) {
    std::fprintf(stderr, "gen_ccci_table: cannot write %s\n", argv[2]);
    return 2;
  }
  return 0;
}
