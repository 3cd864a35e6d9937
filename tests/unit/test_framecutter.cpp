#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "FrameCutter.h"
#include "TestSupport.h"

using namespace vanta;
using namespace vanta::ccci;
using TKind = TFrameCutter::TKind;

namespace {
std::vector<TKind> Kinds(const std::vector<TFrameCutter::TEvent>& ev) {
  std::vector<TKind> k;
  for (const auto& e : ev) k.push_back(e.Kind);
  return k;
}
}  // namespace

TEST(FrameCutter, TwoFramesInOneSegment) {
  TFrameCutter cut;
  const QByteArray a = BuildIdentityBasic(test::Dev(), {1, 2, 3});
  const QByteArray b = BuildHeaderOnly(test::Dev(), 9, 1, 0);
  std::vector<TFrameCutter::TEvent> ev;
  cut.Append(a + b, ev);
  EXPECT_EQ(Kinds(ev), (std::vector<TKind>{TKind::fcHead, TKind::fcFrame, TKind::fcHead, TKind::fcFrame}));
  EXPECT_EQ(ev[1].Frame, a);
  EXPECT_EQ(ev[3].Frame, b);
  EXPECT_EQ(cut.Buffered(), 0);
}

TEST(FrameCutter, FrameSplitIntoSingleBytes) {
  TFrameCutter cut;
  const QByteArray f = BuildLuaOutput(test::Dev(), TLuaOutputKind::loChunk, QByteArray(100, 'z'));
  std::vector<TFrameCutter::TEvent> ev;
  int heads = 0, frames = 0;
  int64_t lastProgress = 0;
  for (char ch : f) {
    ev.clear();
    cut.Append(QByteArray(1, ch), ev);
    for (const auto& e : ev) {
      if (e.Kind == TKind::fcHead) ++heads;
      if (e.Kind == TKind::fcFrame) {
        ++frames;
        EXPECT_EQ(e.Frame, f);
      }
      if (e.Kind == TKind::fcProgress) {
        EXPECT_GT(e.Count, lastProgress) << "progress reports the growing buffer";
        lastProgress = e.Count;
      }
    }
  }
  EXPECT_EQ(heads, 1) << "the header is parsed once 20 bytes are there";
  EXPECT_EQ(frames, 1);
}

TEST(FrameCutter, ImpossibleSizesDropEverything) {
  for (uint32_t size : {0u, 19u, CMaxFrameSize + 1}) {
    TFrameCutter cut;
    QByteArray h = BuildHeaderOnly(test::Dev(), 2, 0, 0);
    PutU32At(h, 12, size);
    std::vector<TFrameCutter::TEvent> ev;
    cut.Append(h + QByteArray(40, 'x'), ev);
    ASSERT_EQ(ev.size(), 1u) << size;
    EXPECT_EQ(ev[0].Kind, TKind::fcFault);
    EXPECT_TRUE(ev[0].Fault.contains(QString::number(size)));
    EXPECT_EQ(cut.Buffered(), 0);
    ev.clear();
    cut.Append(BuildHeaderOnly(test::Dev(), 9, 1, 1), ev);
    EXPECT_EQ(Kinds(ev), (std::vector<TKind>{TKind::fcHead, TKind::fcFrame})) << "clean again afterwards";
  }
}

TEST(FrameCutter, MaximumIsConfigurable) {
  TFrameCutter cut(100);
  std::vector<TFrameCutter::TEvent> ev;
  cut.Append(BuildFileAnswer(test::Dev(), 3, 0, 1, QByteArray(81, 's')), ev);
  ASSERT_FALSE(ev.empty());
  EXPECT_EQ(ev[0].Kind, TKind::fcFault);
  ev.clear();
  cut.Append(BuildFileAnswer(test::Dev(), 3, 0, 1, QByteArray(80, 's')), ev);
  EXPECT_EQ(ev.back().Kind, TKind::fcFrame) << "exactly the maximum is fine";
}

TEST(FrameCutter, AFileAnswerGoesToItsSinkPieceByPieceAndTheNextFrameStaysInStep) {
  TFrameCutter cut;
  QByteArray sunk;
  int asked = 0;
  cut.SetSink({[&](const ccc_head_t& h) {
                 ++asked;
                 return h.CMD == 5 && h.ExtCmd == 17;
               },
               [&](QByteArrayView piece) { sunk.append(piece.data(), piece.size()); }});
  QByteArray payload;
  for (int i = 0; i < 300000; ++i) payload.append(char(i % 241));
  const QByteArray file = BuildFileAnswer(test::Dev(), 5, 0, 17, payload);
  const QByteArray next = BuildHeaderOnly(test::Dev(), 9, 1, 0);
  const QByteArray all = file + next;
  std::vector<TFrameCutter::TEvent> ev;
  // In pieces that cut the header of the next frame in two.
  for (qsizetype at = 0; at < all.size(); at += 7777) cut.Append(all.mid(at, 7777), ev);
  EXPECT_EQ(sunk, payload) << "every payload byte, in order, once";
  std::vector<TFrameCutter::TEvent> frames;
  int64_t lastProgress = 0;
  for (auto& e : ev) {
    if (e.Kind == TFrameCutter::TKind::fcFrame) frames.push_back(e);
    if (e.Kind == TFrameCutter::TKind::fcProgress) {
      EXPECT_GT(e.Count, lastProgress) << "progress grows";
      lastProgress = e.Count;
    }
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(frames[0].Streamed);
  EXPECT_EQ(frames[0].Frame, file.left(CHeadSize)) << "the header alone is handed over";
  EXPECT_FALSE(frames[1].Streamed);
  EXPECT_EQ(frames[1].Frame, next) << "the frame behind it is cut as usual";
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(cut.Buffered(), 0);
}
