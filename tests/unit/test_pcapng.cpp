// Protocol traces: what is written reads back in order with direction,
// time and comment; damaged files keep what came before the damage.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "Pcapng.h"

using namespace vanta;

TEST(Pcapng, PacketsReadBackInOrderWithDirectionTimeAndComment) {
  QTemporaryDir d;
  const QString path = d.filePath(QStringLiteral("t.pcapng"));
  TPcapngWriter w;
  QString e;
  ASSERT_TRUE(w.Open(path, e)) << e.toStdString();
  w.Append(TTraceDir::tdOut, QByteArray("\x01\x01\x02\x00", 4), {}, 1000001);
  w.Append(TTraceDir::tdIn, QByteArray(21, 'a'), {}, 1000002);  // not a multiple of four
  w.Append(TTraceDir::tdIn, "print(1)\n", QStringLiteral("shell"), 1000003);
  w.Append(TTraceDir::tdOut, {}, {}, 1000004);
  w.Close();
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  std::vector<TTracePacket> p;
  ASSERT_EQ(ReadPcapng(bytes, p), QString());
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].Dir, TTraceDir::tdOut);
  EXPECT_EQ(p[0].Bytes, QByteArray("\x01\x01\x02\x00", 4));
  EXPECT_EQ(p[1].Dir, TTraceDir::tdIn);
  EXPECT_EQ(p[1].Bytes.size(), 21);
  EXPECT_EQ(p[1].TimeUs, 1000002);
  EXPECT_EQ(p[2].Comment, QStringLiteral("shell"));
  EXPECT_TRUE(p[3].Bytes.isEmpty());
  // Cut inside the third packet: the two before it stay, with an error.
  const qsizetype cut = bytes.indexOf("print(1)") + 3;
  EXPECT_FALSE(ReadPcapng(bytes.left(cut), p).isEmpty());
  EXPECT_EQ(p.size(), 2u);
  EXPECT_FALSE(ReadPcapng(QByteArray("not a trace at all"), p).isEmpty());
  EXPECT_TRUE(p.empty());
  // A block whose closing length does not match its opening one.
  QByteArray bad = bytes;
  bad[bad.size() - 1] = char(0x7F);  // the last block's closing length
  EXPECT_FALSE(ReadPcapng(bad, p).isEmpty());
}
