// Runs the frame fuzz entry point over a fixed, seeded set of mutations of
// valid frames, so every build (and the sanitizer build in CI) exercises the
// parsers with hostile input without needing a fuzzing engine.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ByteOrder.h"
#include "Ccci.h"
#include "TestSupport.h"
#include "fuzz_frames.h"

using namespace vanta;
using namespace vanta::ccci;

namespace {
std::vector<QByteArray> Seeds() {
  const THeaderContext c = test::Dev(3);
  TIdentityFull full;
  full.Plant = "P";
  TBinaryInputRecord bin;
  bin.Id = CBinaryObjectId;
  bin.States = "\x01\x00\x01";
  return {
      BuildNak(c, 1, 0, 0, 134, "x"),
      BuildNak(c, 1, 1, 2, 120, {}),
      BuildNak(c, 1, 2, 3, 111, "text"),
      BuildSessionAnswer(THeaderContext{4, 0, 0, 0}, 1, 2, "u", "p"),
      BuildIdentityBasic(c, {1, 2, 3}),
      BuildIdentityFull(c, full),
      BuildStreamStarted(c, 2),
      BuildStreamData(c, 0x08FFFFFF, {1, 2}, QByteArray(64, 'a')),
      BuildBinaryInput(c, bin),
      BuildLuaOutput(c, TLuaOutputKind::loEnd, "ok"),
      BuildNtpTunnel(c, TNtpTunnelKind::ntRequest, QByteArray(48, 'n')),
      BuildFileAnswer(c, 10, 0, 5, "log"),
      BuildFileAnswer(c, 3, 0, 1, QByteArray(300, 's')),
      BuildStartRecord(c, 1, "user", "ticket"),
      BuildScratchpadUpload(c, 7, 0, 2, "f", "data"),
  };
}

QByteArray Mutate(QByteArray b, std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 5);
  std::uniform_int_distribution<int> byte(0, 255);
  switch (pick(rng)) {
    case 0:  // flip some bytes
      for (int i = 0; i < 4 && !b.isEmpty(); ++i) b[int(rng() % uint32_t(b.size()))] = char(byte(rng));
      break;
    case 1:  // truncate
      b.truncate(int(rng() % uint32_t(b.size() + 1)));
      break;
    case 2:  // lie about the size
      PutU32At(b, 12, uint32_t(rng() % 4096));
      break;
    case 3:  // random flag word
      if (b.size() > 7) {
        b[6] = char(byte(rng));
        b[7] = char(rng() % 2 ? 0 : byte(rng));
      }
      break;
    case 4:  // random CMD
      if (!b.isEmpty()) b[0] = char(byte(rng));
      break;
    default:  // append junk
      for (int i = 0; i < 30; ++i) b.append(char(byte(rng)));
      break;
  }
  return b;
}
}  // namespace

TEST(FuzzReplay, MutatedFramesNeverCrashTheDecodersOrTheQueue) {
  std::mt19937 rng(20261205);
  const std::vector<QByteArray> seeds = Seeds();
  int runs = 0;
  for (int i = 0; i < 4000; ++i) {
    QByteArray input(1, char(rng() % 256));
    const int frames = 1 + int(rng() % 3);
    for (int k = 0; k < frames; ++k) input += Mutate(seeds[rng() % seeds.size()], rng);
    vanta::fuzz::FuzzFramesOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
    ++runs;
  }
  EXPECT_EQ(runs, 4000);
}

TEST(FuzzReplay, QueueRecoversAfterGarbage) {
  // Whatever junk arrived, once the receive state is reset the next valid
  // answer is handled normally.
  std::mt19937 rng(7);
  const std::vector<QByteArray> seeds = Seeds();
  for (int i = 0; i < 300; ++i) {
    test::TFakeClock clock;
    test::TTestComUnit unit(clock);
    unit.FOnLogCallBack = nullptr;
    TMemoryStream junk(Mutate(seeds[rng() % seeds.size()], rng));
    unit.Evaluate(junk);
    unit.ClearStreamAndBuffer();
    TMemoryStream good(BuildIdentityBasic(test::Dev(), {9, 9, 9}));
    EXPECT_TRUE(unit.Evaluate(good));
    ASSERT_FALSE(unit.Handled.empty());
    TIdentityBasic id;
    ASSERT_EQ(DecodeIdentityBasic(unit.Handled.back().Frame, id), QString());
    EXPECT_EQ(id.SerNum, 9u);
  }
}
