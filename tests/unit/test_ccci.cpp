#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "ByteOrder.h"
#include "Ccci.h"

using namespace vanta;
using namespace vanta::ccci;

namespace {
THeaderContext Ctx() {
  THeaderContext c;
  c.Ver = 5;
  c.FTPNAK = 0x0004;
  c.SN = 0x01020304;
  c.SeqCnt = 0x0A0B0C0D;
  return c;
}
}  // namespace

TEST(Header, ByteExactLayout) {
  const QByteArray f = BuildHeaderOnly(Ctx(), 2, 0, 1);
  const QByteArray want = QByteArray::fromHex("02 00 0100 0500 0400 04030201 14000000 0d0c0b0a");
  EXPECT_EQ(f.toHex(), want.toHex());
  ccc_head_t h;
  ASSERT_TRUE(DecodeHead(f, h));
  EXPECT_EQ(h, MakeHead(Ctx(), 2, 0, 1, 20));
  EXPECT_FALSE(DecodeHead(f.left(19), h));
}

TEST(Header, NakFlagCountsOnlyBelowSixteen) {
  EXPECT_TRUE(CheckNAK(0x0002));
  EXPECT_TRUE(CheckNAK(0x0006));
  EXPECT_TRUE(CheckNAK(0x000F));
  EXPECT_FALSE(CheckNAK(0x0012)) << "a bit above bit 3 makes it no NAK";
  EXPECT_FALSE(CheckNAK(0x0001));
  EXPECT_FALSE(CheckNAK(0x0000));
  EXPECT_EQ(GenHeaderFTPNAK(true, true, true), 0x000D);
  EXPECT_EQ(GenHeaderFTPNAK(false, true, false), 0x0004);
  EXPECT_EQ(GenHeaderFTPNAK(false, false, false), 0x0000);
}

// Walks the whole catalogue: every entry is unique, routes its answers by the
// right group, and its request layout builds a frame of the documented size.
TEST(Catalogue, EveryEntryIsConsistent) {
  std::set<QString> names;
  std::set<uint32_t> triples;
  for (size_t i = 0; i < CCommandCatalogue.size(); ++i) {
    const TCommandDef& d = CCommandCatalogue[i];
    SCOPED_TRACE(d.Name);
    EXPECT_TRUE(names.insert(QLatin1String(d.Name)).second) << "duplicate name";
    EXPECT_TRUE(triples.insert((uint32_t(d.Cmd) << 24) | (uint32_t(d.Priv) << 16) | d.ExtCmd).second);
    EXPECT_EQ(FindCommand(QLatin1String(d.Name)), &d);
    EXPECT_EQ(IdentifyRequest(d.Cmd, d.Priv, d.ExtCmd), TCcci(i));
    EXPECT_NE(RouteByCmd(d.Cmd), TAnswerGroup::agUnknown);
    if (d.ExtCmd == CStopExtCmd) {
      EXPECT_EQ(d.Answer, TAnswerRoute::arNone) << "stop commands await nothing";
    }

    QByteArray frame;
    qsizetype expected = 0;
    switch (d.Layout) {
      case TPayloadLayout::plNone: frame = BuildHeaderOnly(Ctx(), d.Cmd, d.Priv, d.ExtCmd); expected = 20; break;
      case TPayloadLayout::plLuaText: frame = BuildLuaText(Ctx(), d.Cmd, d.Priv, d.ExtCmd, "x", true); expected = 23; break;
      case TPayloadLayout::plFileName: frame = BuildFileName(Ctx(), d.Cmd, d.Priv, d.ExtCmd, "f", 0); expected = 88; break;
      case TPayloadLayout::plObject: frame = BuildObject(Ctx(), d.Cmd, d.Priv, d.ExtCmd, 7); expected = 24; break;
      case TPayloadLayout::plFileUpload: frame = BuildFileUpload(Ctx(), d.Cmd, d.Priv, d.ExtCmd, "12345"); expected = 25; break;
      case TPayloadLayout::plScratchpadUpload:
        frame = BuildScratchpadUpload(Ctx(), d.Cmd, d.Priv, d.ExtCmd, "t", "123");
        expected = 151;
        break;
      case TPayloadLayout::plStartRecord: frame = BuildStartRecord(Ctx(), 0, "u", "p"); expected = 160; break;
      case TPayloadLayout::plNtpReply: frame = BuildNtpReply(Ctx(), QByteArray(48, 'n')); expected = 68; break;
    }
    ASSERT_EQ(frame.size(), expected);
    ccc_head_t h;
    ASSERT_TRUE(DecodeHead(frame, h));
    EXPECT_EQ(h.Size, uint32_t(expected));
    EXPECT_EQ(h.CMD, d.Cmd);
    EXPECT_EQ(h.Priv, d.Priv);
    EXPECT_EQ(h.ExtCmd, d.ExtCmd);
  }
  EXPECT_EQ(names.size(), size_t(TCcci::Count));
}

TEST(Catalogue, RoutingOfDeviceFrames) {
  EXPECT_EQ(RouteByCmd(1), TAnswerGroup::agSession);
  EXPECT_EQ(RouteByCmd(10), TAnswerGroup::agFileStream);
  for (int cmd : {0, 8, 11, 255}) EXPECT_EQ(RouteByCmd(uint8_t(cmd)), TAnswerGroup::agUnknown) << cmd;
  EXPECT_FALSE(IdentifyRequest(6, 0, 0).has_value());
}

TEST(RequestLayouts, SixtyFourCharacterFileNameHasNoTerminator) {
  const QByteArray name(64, 'N');
  const QByteArray f = BuildFileName(Ctx(), 5, 0, 17, name, 0x11223344);
  ASSERT_EQ(f.size(), 88);
  EXPECT_EQ(f.mid(20, 64), name);
  EXPECT_EQ(GetU32At(f, 84), 0x11223344u);
  TFileNameRequest req;
  ASSERT_EQ(DecodeFileNameRequest(f, req), QString());
  EXPECT_EQ(req.Name, name);
  EXPECT_EQ(req.Pos, 0x11223344u);
}

TEST(RequestLayouts, LongerFileNameIsCutShortOneIsZeroFilled) {
  const QByteArray f = BuildFileName(Ctx(), 7, 0, 1, QByteArray(70, 'x'), 0);
  EXPECT_EQ(f.size(), 88);
  EXPECT_EQ(f.mid(20, 64), QByteArray(64, 'x'));
  const QByteArray g = BuildFileName(Ctx(), 7, 0, 1, "a.txt", 0);
  EXPECT_EQ(g.mid(20, 5), QByteArray("a.txt"));
  EXPECT_EQ(g.mid(25, 59), QByteArray(59, '\0'));
}

TEST(RequestLayouts, LuaTextWithAndWithoutCrLf) {
  const QByteArray tcp = BuildLuaText(Ctx(), 6, 1, 0, "print(1)", true);
  EXPECT_EQ(tcp.mid(20), QByteArray("print(1)\r\n"));
  EXPECT_EQ(GetU32At(tcp, 12), 30u);
  const QByteArray ssh = BuildLuaText(Ctx(), 6, 1, 0, "print(1)", false);
  EXPECT_EQ(ssh.mid(20), QByteArray("print(1)"));
  QByteArray st;
  ASSERT_EQ(DecodeLuaText(tcp, st), QString());
  EXPECT_EQ(st, QByteArray("print(1)"));
}

TEST(RequestLayouts, StartRecordIs160Bytes) {
  const QByteArray f = BuildStartRecord(Ctx(), 1, "operator", QByteArray(72, 'T'));
  ASSERT_EQ(f.size(), 160);
  EXPECT_EQ(uint8_t(f[0]), 1);
  EXPECT_EQ(GetU32At(f, 12), 160u);
  EXPECT_EQ(GetU32At(f, 20), 1u);
  EXPECT_EQ(f.mid(24, 8), QByteArray("operator"));
  EXPECT_EQ(f.mid(32, 56), QByteArray(56, '\0'));
  EXPECT_EQ(f.mid(88, 72), QByteArray(72, 'T'));
  TStartRecord rec;
  ASSERT_EQ(DecodeStartRecord(f, rec), QString());
  EXPECT_EQ(rec.Method, 1u);
  EXPECT_EQ(rec.User, QByteArray("operator"));
  EXPECT_EQ(rec.Secret.size(), 72);
}

TEST(RequestLayouts, UnknownStartMethodLeavesBothTextsZero) {
  const QByteArray f = BuildStartRecord(Ctx(), 7, "user", "pw");
  EXPECT_EQ(GetU32At(f, 20), 7u);
  EXPECT_EQ(f.mid(24), QByteArray(136, '\0'));
}

TEST(RequestLayouts, ScratchpadUploadAndNtpReply) {
  const QByteArray f = BuildScratchpadUpload(Ctx(), 7, 0, 2, "status.lua", "abc");
  ASSERT_EQ(f.size(), 151);
  TScratchpadUpload up;
  ASSERT_EQ(DecodeScratchpadUpload(f, up), QString());
  EXPECT_EQ(up.TargetName, QByteArray("status.lua"));
  EXPECT_EQ(up.File, QByteArray("abc"));
  const QByteArray n = BuildNtpReply(Ctx(), QByteArray(10, 'p'));
  ASSERT_EQ(n.size(), 68);
  EXPECT_EQ(n.mid(30), QByteArray(38, '\0')) << "a short packet is zero-padded";
  QByteArray packet;
  ASSERT_EQ(DecodeNtpReply(n, packet), QString());
  EXPECT_EQ(packet.size(), 48);
}

TEST(RequestLayouts, ObjectRequestAtLengthAndOneShort) {
  const QByteArray f = BuildObject(Ctx(), 4, 0, 1, 0x08FFFFFF);
  uint32_t id = 0;
  ASSERT_EQ(DecodeObjectRequest(f, id), QString());
  EXPECT_EQ(id, 0x08FFFFFFu);
  QByteArray cut = f.left(23);
  PutU32At(cut, 12, 23);
  uint32_t untouched = 99;
  EXPECT_FALSE(DecodeObjectRequest(cut, untouched).isEmpty());
  EXPECT_EQ(untouched, 99u);
}

TEST(Answers, NakRecord) {
  const QByteArray f = BuildNak(Ctx(), 3, 1, 3, 13, "no right");
  ccc_head_t h;
  DecodeHead(f, h);
  EXPECT_TRUE(CheckNAK(h.FTPNAK));
  TNakRecord nak;
  ASSERT_EQ(DecodeNak(f, nak), QString());
  EXPECT_EQ(nak.ErrorCode, 13u);
  EXPECT_EQ(nak.Message, QByteArray("no right"));
  const QByteArray bare = BuildNak(Ctx(), 1, 0, 0, 134, {});
  ASSERT_EQ(bare.size(), 24);
  ASSERT_EQ(DecodeNak(bare, nak), QString());
  EXPECT_TRUE(nak.Message.isEmpty());
  QByteArray cut = bare.left(23);
  PutU32At(cut, 12, 23);
  EXPECT_FALSE(DecodeNak(cut, nak).isEmpty());
}

TEST(Answers, SessionAnswerCarriesCredentialsOnlyBelowVersion5) {
  THeaderContext v4 = Ctx();
  v4.Ver = 4;
  const QByteArray f4 = BuildSessionAnswer(v4, 1, 2, "ftpuser", "ftppass");
  ASSERT_EQ(f4.size(), 148);
  TSessionAnswer a;
  ASSERT_EQ(DecodeSessionAnswer(f4, a), QString());
  EXPECT_EQ(a.Ver, 4);
  EXPECT_TRUE(a.HasCredentials);
  EXPECT_EQ(a.User, QByteArray("ftpuser"));
  EXPECT_EQ(a.Password, QByteArray("ftppass"));
  QByteArray cut = f4.left(147);
  PutU32At(cut, 12, 147);
  EXPECT_FALSE(DecodeSessionAnswer(cut, a).isEmpty());

  const QByteArray f5 = BuildSessionAnswer(Ctx(), 0, 0, "ignored", "ignored");
  ASSERT_EQ(f5.size(), 20);
  TSessionAnswer b;
  ASSERT_EQ(DecodeSessionAnswer(f5, b), QString());
  EXPECT_EQ(b.Ver, 5);
  EXPECT_FALSE(b.HasCredentials);
}

TEST(Answers, IdentityBasicAtLengthAndOneShort) {
  const QByteArray f = BuildIdentityBasic(Ctx(), {123456, 1197800, 1600000000});
  ASSERT_EQ(f.size(), CIdentityBasicSize);
  TIdentityBasic id;
  ASSERT_EQ(DecodeIdentityBasic(f, id), QString());
  EXPECT_EQ(id.SerNum, 123456u);
  EXPECT_EQ(id.ArtNum, 1197800u);
  EXPECT_EQ(id.ProdDate, 1600000000u);
  QByteArray cut = f.left(31);
  PutU32At(cut, 12, 31);
  EXPECT_FALSE(DecodeIdentityBasic(cut, id).isEmpty());
}

TEST(Answers, IdentityFullFieldsAtTheirOffsets) {
  TIdentityFull in;
  in.SerNum = 42;
  in.ArtNum = 1197650;
  in.ProdDate = 1500000000;
  in.DevClock = 1700000000;
  in.TimeSet.Std = 9;
  in.TimeSet.tz = 2;
  in.TimeSet.tzMin = 30;
  in.TimeSet.dstmode = 1;
  in.TimeSet.ws = {3, 31, 2, 0};
  in.TimeSet.sw = {10, 31, 3, 0};
  in.TimeSet.ntpip[1] = "ntp.example";
  in.TimeSet.ntpport[1] = 123;
  in.TimeSet.rspcm = 0xDEADBEEF;
  in.FirmwareWord = 0x01020A00;
  in.Plant = "Werk Nord";
  in.Field = "Feld 7";
  in.Device = QByteArray(128, 'D');
  const QByteArray f = BuildIdentityFull(Ctx(), in);
  ASSERT_EQ(f.size(), 1592);
  EXPECT_EQ(GetU32At(f, 32), 1700000000u);
  EXPECT_EQ(GetU32At(f, 216), 0x01020A00u);
  EXPECT_EQ(f.mid(220 + 256, 9), QByteArray("Werk Nord"));
  EXPECT_EQ(f.mid(220 + 824, 6), QByteArray("Feld 7"));
  EXPECT_EQ(GetU32At(f, 36 + 176), 0xDEADBEEFu) << "rspcm is the last word of the time settings";

  TIdentityFull out;
  ASSERT_EQ(DecodeIdentityFull(f, out), QString());
  EXPECT_EQ(out.SerNum, 42u);
  EXPECT_EQ(out.TimeSet, in.TimeSet);
  EXPECT_EQ(out.Plant, in.Plant);
  EXPECT_EQ(out.Field, in.Field);
  EXPECT_EQ(out.Device, in.Device) << "a 128-character name has no terminator";
  EXPECT_EQ(out.FirmwareWord, in.FirmwareWord);

  QByteArray cut = f.left(1591);
  PutU32At(cut, 12, 1591);
  TIdentityFull untouched;
  EXPECT_FALSE(DecodeIdentityFull(cut, untouched).isEmpty());
  EXPECT_EQ(untouched.SerNum, 0u);
}

TEST(Answers, DecoderNeverReadsIntoTheNextFrame) {
  // A basic identity whose Size says 28 (one field short), followed by bytes
  // of another frame: the decoder must not borrow them.
  QByteArray f = BuildIdentityBasic(Ctx(), {1, 2, 3}).left(28);
  PutU32At(f, 12, 28);
  f += BuildHeaderOnly(Ctx(), 9, 9, 9);
  TIdentityBasic id;
  EXPECT_FALSE(DecodeIdentityBasic(f, id).isEmpty());
}

TEST(Answers, StreamRecords) {
  uint32_t hdl = 0;
  ASSERT_EQ(DecodeStreamStarted(BuildStreamStarted(Ctx(), 0x55), hdl), QString());
  EXPECT_EQ(hdl, 0x55u);
  const QByteArray data = BuildStreamData(Ctx(), 0x04FFFFFF, {1700000000u, 500u | CTSDstMask}, QByteArray(16, 'v'));
  TStreamDataHead head;
  ASSERT_EQ(DecodeStreamDataHead(data, head), QString());
  EXPECT_EQ(head.ObjId, 0x04FFFFFFu);
  EXPECT_EQ(head.Stamp.Sec, 1700000000u);
  EXPECT_EQ(head.Stamp.Frac, 500u | CTSDstMask);
  const QByteArray stopped = BuildStreamStopped(Ctx());
  EXPECT_EQ(GetU32At(stopped, 12), 20u);
  EXPECT_EQ(uint16_t(uint8_t(stopped[2]) | (uint8_t(stopped[3]) << 8)), 0xFFFF);
}

TEST(Answers, BinaryInputRecord) {
  TBinaryInputRecord rec;
  rec.Id = CBinaryObjectId;
  rec.Sec = 10;
  rec.Frac = 20;
  rec.Ver = 1;
  rec.States = QByteArray::fromHex("00010100");
  const QByteArray f = BuildBinaryInput(Ctx(), rec);
  ASSERT_EQ(f.size(), 20 + 14 + 4);
  TBinaryInputRecord out;
  ASSERT_EQ(DecodeBinaryInput(f, out), QString());
  EXPECT_EQ(out.InputCnt, 4);
  EXPECT_EQ(out.States, rec.States);
  // A count that claims more inputs than the frame holds is an error.
  QByteArray lying = f;
  lying[33] = char(40);
  EXPECT_FALSE(DecodeBinaryInput(lying, out).isEmpty());
}

TEST(Answers, LuaOutputAndNtpTunnel) {
  const QByteArray chunk = BuildLuaOutput(Ctx(), TLuaOutputKind::loEnd, "done\n");
  EXPECT_EQ(uint8_t(chunk[2]), 3);
  EXPECT_EQ(LuaOutputText(chunk), QByteArray("done\n"));
  EXPECT_TRUE(LuaOutputText(BuildLuaOutput(Ctx(), TLuaOutputKind::loChunk, {})).isEmpty());
  const QByteArray req = BuildNtpTunnel(Ctx(), TNtpTunnelKind::ntRequest, QByteArray(48, '\x23'));
  QByteArray packet;
  ASSERT_EQ(DecodeNtpRequest(req, packet), QString());
  EXPECT_EQ(packet, QByteArray(48, '\x23'));
  EXPECT_FALSE(DecodeNtpRequest(BuildNtpTunnel(Ctx(), TNtpTunnelKind::ntOpened), packet).isEmpty());
}

TEST(DeviceType, ArticleNumberBoundaries) {
  EXPECT_EQ(DevTypeFromArticle(1197500), TDevType::devtypVanta);
  EXPECT_EQ(DevTypeFromArticle(1197599), TDevType::devtypVanta);
  EXPECT_EQ(DevTypeFromArticle(1197600), TDevType::devtypVantaLorn);
  EXPECT_EQ(DevTypeFromArticle(1197699), TDevType::devtypVantaLorn);
  EXPECT_EQ(DevTypeFromArticle(1197700), TDevType::devtypVanta);
  EXPECT_EQ(DevTypeFromArticle(1197799), TDevType::devtypVanta);
  EXPECT_EQ(DevTypeFromArticle(1197800), TDevType::devtypVantaDE);
  EXPECT_EQ(DevTypeFromArticle(1197899), TDevType::devtypVantaDE);
  EXPECT_EQ(DevTypeFromArticle(1197900), TDevType::devtypVanta);
  EXPECT_EQ(DevTypeFromArticle(357000101), TDevType::devtypOmnivex);
  EXPECT_EQ(DevTypeFromArticle(357000100), TDevType::devtypVanta);
  EXPECT_EQ(DevTypeFromArticle(0), TDevType::devtypVanta);
}

TEST(NakCatalogue, EveryCodeOnceWithItsText) {
  std::set<uint32_t> codes;
  for (const TNakDef& d : CNakCatalogue) {
    EXPECT_TRUE(codes.insert(d.Code).second) << "code " << d.Code << " listed twice";
    ASSERT_NE(d.Text, nullptr);
    EXPECT_GT(std::strlen(d.Text), 0u) << "code " << d.Code;
    EXPECT_STREQ(NakText(d.Code), d.Text);
  }
  // The codes the client reacts to by number must be named.
  for (uint32_t code : {13u, 111u, 120u, 134u}) EXPECT_NE(NakText(code), nullptr) << code;
  EXPECT_STREQ(NakText(nakNoFile), "file not found");
  EXPECT_EQ(NakText(5), nullptr);
  EXPECT_EQ(NakText(0), nullptr);
}
