// Runs the setup-document fuzz entry point over seeded mutations of the
// sample setup and of small documents that hit each rule, so every build
// (and the sanitizer build in CI) feeds the loader and the value rules
// hostile input without a fuzzing engine. Findings of fuzz campaigns are
// added to the seeds.
#include <gtest/gtest.h>

#include <QFile>
#include <cstdio>
#include <random>
#include <vector>

#include "fuzz_params.h"

namespace {

std::vector<QByteArray> Seeds() {
  std::vector<QByteArray> s{
      R"(<c><device name="d"/><system><group name="sys" id="1"><group id="2">
        <parameter id="3"><visibility>0</visibility><type>float</type><value>1,5</value><low>9</low><high>1</high>
        <range list="true"><e id="4278190084">1</e><e/></range></parameter>
        <datapoint id="5"><rec>1</rec><mandatory>6</mandatory><datapoint id="6"><rec>0</rec></datapoint></datapoint>
        <parameter id="4261413254"><type>text</type><value>N1E1</value></parameter>
        <parameter id="7"><type>exit-meas-id</type><value>-1</value></parameter>
      </group><group id="4278190084"><swmodule id="8"><parameter id="9"><type>secret</type><value>x</value></parameter>
      </swmodule></group></group></system></c>)",
      R"(<c><group name="sys" id="1"><datapoint id="1"><mandatory>1</mandatory><mandatory>1'] | //*[@id='</mandatory></datapoint></group></c>)",
      // campaign finding: a signed id in a mandatory list
      R"(<c><group name="sys" id="1"><datapoint id="5"><rec>1</rec><mandatory>+6</mandatory><mandatory>1e3</mandatory>
        <datapoint id="6"><rec>0</rec>devi</datapoint></datapoint></group></c>)",
      R"(<c><group name="sys" id="4294967295"><parameter id="4294967295"><type>uint32</type><value>4294967296</value></parameter></group></c>)",
  };
  QFile sample(QStringLiteral(VANTA_SAMPLE_SETUP));
  if (sample.open(QIODevice::ReadOnly)) s.push_back(sample.readAll());
  return s;
}

QByteArray Mutate(QByteArray b, std::mt19937& rng) {
  if (b.isEmpty()) return b;
  // A place right after a tag, where text or a new element may stand.
  auto afterTag = [&]() -> qsizetype {
    const qsizetype at = b.indexOf('>', qsizetype(rng() % uint32_t(b.size())));
    return at < 0 ? -1 : at + 1;
  };
  static const char* texts[] = {"-1", "4294967296", "1e400", "1,5", "abc", "", "N91E1", "2147483648", " 7 ", "&amp;"};
  static const char* names[] = {"group", "swmodule", "parameter", "datapoint", "property", "range", "mandatory", "rec",
                                "visibility", "editability", "type", "value", "low", "high", "default"};
  switch (rng() % 10) {
    case 0: {  // raw byte flips: mostly broken XML, which must be refused cleanly
      for (int i = 0; i < 3; ++i) b[int(rng() % uint32_t(b.size()))] = char(rng() % 256);
      break;
    }
    case 1:  // cut anywhere
      b.truncate(int(rng() % uint32_t(b.size())));
      break;
    case 2:
    case 3: {  // odd text after a tag
      const qsizetype at = afterTag();
      if (at >= 0) b.insert(at, texts[rng() % 10]);
      break;
    }
    case 4: {  // duplicate a whole element (same ids under other parents, deeper nesting)
      const qsizetype open = b.indexOf("<parameter", qsizetype(rng() % uint32_t(b.size())));
      const qsizetype close = open < 0 ? -1 : b.indexOf("</parameter>", open);
      const qsizetype at = afterTag();
      if (close >= 0 && at >= 0) b.insert(at, b.mid(open, close + 12 - open));
      break;
    }
    default: {  // a whole element with a role, anywhere between tags
      const qsizetype at = afterTag();
      const char* name = names[rng() % 15];
      if (at >= 0)
        b.insert(at, QByteArray("<") + name + " id=\"" + QByteArray::number(uint(rng() % 100)) + "\"" +
                         (rng() % 2 ? " list=\"true\"" : "") + ">" + texts[rng() % 10] + "</" + name + ">");
      break;
    }
  }
  return b;
}

}  // namespace

TEST(FuzzParamsReplay, SeededMutationsNeverCrash) {
  std::mt19937 rng(20261205);
  int runs = 0, loaded = 0;
  for (const QByteArray& seed : Seeds()) {
    vanta::fuzz::FuzzParamsOneInput(reinterpret_cast<const uint8_t*>(seed.constData()), size_t(seed.size()));
    QByteArray b = seed;
    for (int i = 0; i < (seed.size() > 10000 ? 40 : 400); ++i) {
      b = seed;
      for (uint32_t m = 1 + rng() % 3; m > 0; --m) b = Mutate(b, rng);
      loaded += vanta::fuzz::FuzzParamsOneInput(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size()));
      ++runs;
    }
  }
  EXPECT_GT(runs, 1000);
  EXPECT_GT(loaded, runs / 3) << "enough mutations still load and reach the rules";
  std::printf("%d inputs, %d loaded\n", runs, loaded);
}
