#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "MemoryStream.h"

using namespace vanta;

namespace {
QByteArray Bytes(std::initializer_list<int> v) {
  QByteArray b;
  for (int x : v) b.append(char(x));
  return b;
}
}  // namespace

TEST(ByteReader, ReadsLittleEndianFields) {
  const QByteArray b = Bytes({0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01});
  TByteReader r(b);
  EXPECT_EQ(r.U8(), 0x01);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.U32(), 0x12345678u);
  EXPECT_EQ(r.U64(), 0x0123456789ABCDEFull);
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.Remaining(), 0);
}

TEST(ByteReader, ReadExactlyToTheEndSucceedsOneMoreFails) {
  const QByteArray b = Bytes({1, 2, 3, 4});
  TByteReader exact(b);
  EXPECT_EQ(exact.U32(), 0x04030201u);
  EXPECT_TRUE(exact.Ok());

  TByteReader over(b);
  over.U8();
  EXPECT_EQ(over.U32(), 0u) << "a read crossing the end yields 0";
  EXPECT_FALSE(over.Ok());
  EXPECT_EQ(over.FailedAt(), 5);
  // Once failed, the reader stays failed and keeps returning zeros.
  EXPECT_EQ(over.U8(), 0);
  EXPECT_FALSE(over.Ok());
}

TEST(ByteReader, FixedTextStopsAtZeroOrFieldEnd) {
  QByteArray b("abc\0\0xyz", 8);
  TByteReader r(b);
  EXPECT_EQ(r.FixedText(5), QByteArray("abc"));
  EXPECT_EQ(r.Pos(), 5) << "the whole field is consumed";
  EXPECT_EQ(r.FixedText(3), QByteArray("xyz")) << "a full field has no terminator";
  EXPECT_TRUE(r.Ok());
  EXPECT_TRUE(r.FixedText(1).isEmpty());
  EXPECT_FALSE(r.Ok());
}

TEST(ByteReader, SeekOutsideFails) {
  const QByteArray b(10, 'x');
  TByteReader r(b);
  EXPECT_TRUE(r.Seek(10));
  EXPECT_TRUE(r.Ok());
  EXPECT_FALSE(r.Seek(11));
  EXPECT_FALSE(r.Ok());
  TByteReader neg(b);
  EXPECT_FALSE(neg.Seek(-1));
}

TEST(ByteWriter, WritesLittleEndianAndZeroFilledText) {
  QByteArray out;
  TByteWriter w(out);
  w.U16(0xBEEF);
  w.U32(0x01020304);
  w.FixedText("hi", 4);
  w.FixedText("toolong", 3);
  EXPECT_EQ(out, Bytes({0xEF, 0xBE, 0x04, 0x03, 0x02, 0x01, 'h', 'i', 0, 0, 't', 'o', 'o'}));
}

TEST(ByteWriter, PutU32AtChecksBounds) {
  QByteArray b(8, '\0');
  EXPECT_TRUE(PutU32At(b, 4, 0xA1B2C3D4));
  EXPECT_EQ(GetU32At(b, 4), 0xA1B2C3D4u);
  EXPECT_FALSE(PutU32At(b, 5, 1));
  bool ok = true;
  GetU32At(b, 6, &ok);
  EXPECT_FALSE(ok);
}

TEST(MemoryStream, DiscardBeforePositionKeepsTheRest) {
  TMemoryStream s(QByteArray("0123456789"));
  s.SetPosition(4);
  s.DiscardBeforePosition();
  EXPECT_EQ(s.Bytes(), QByteArray("456789"));
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Read(100), QByteArray("456789"));
  EXPECT_TRUE(s.AtEnd());
  s.SetPosition(-5);
  EXPECT_EQ(s.Position(), 0);
}
