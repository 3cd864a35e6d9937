// The editor's whole-document work: import comparison and apply, reset to
// defaults, the pruned copy for sending, the transformer section and the
// clock statements.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "Constants.h"
#include "ParaWorkflow.h"

using namespace vanta;

namespace {

TParaDocument Load(const QString& xml) {
  TParaDocument d;
  QString error;
  EXPECT_TRUE(d.LoadBytes(xml.toUtf8(), error)) << error.toStdString();
  return d;
}

TCaptionSource Captions() {
  TCaptionSource c;
  c.Caption = [](uint32_t id) { return QStringLiteral("C%1").arg(id); };
  return c;
}

// A device set; %1..%4 are the values an import file puts in.
const char* CSet = R"(<c><device name="d"/><system><group name="sys" id="1">
  <group id="2">
    <parameter id="10"><visibility>0</visibility><type>float</type><value>%1</value><default>5</default><low>0</low><high>100</high></parameter>
    <parameter id="11"><visibility>0</visibility><type>integer</type><value>%2</value><default>3</default><low>0</low><high>10</high></parameter>
    <datapoint id="12"><visibility>0</visibility><rec>%3</rec><default>1</default></datapoint>
    <parameter id="13"><visibility>2</visibility><type>integer</type><value>%4</value><default>0</default>
      <range list="true"><e>0</e><e>1</e></range></parameter>
    <parameter id="14"><visibility>3</visibility><type>integer</type><value>1</value><default>1</default></parameter>
  </group>
  <group id="3"><parameter id="10"><visibility>0</visibility><type>integer</type><value>7</value><default>7</default></parameter></group>
  <group id="4278190084"><swmodule id="50"><parameter id="51"><visibility>0</visibility><type>integer</type><value>1</value><default>0</default></parameter></swmodule>
    <swmodule id="4278191104"><parameter id="61"><visibility>0</visibility><type>text</type><value>wg</value><default>x</default></parameter></swmodule></group>
</group></system></c>)";

QString Set(const char* a, const char* b, const char* c, const char* d) {
  return QString::fromLatin1(CSet).arg(QLatin1String(a), QLatin1String(b), QLatin1String(c), QLatin1String(d));
}

}  // namespace

TEST(ImportCompare, OffersOnlyRealDifferencesAndChecksThem) {
  TParaDocument device = Load(Set("1", "4", "1", "0"));
  const QString file = Set("1,0", "12", "2", "5").replace(QLatin1String("<value>7</value>"), QLatin1String("<value>8</value>"));
  const TImportComparison c = CompareImport(device, file.toUtf8(), Captions());
  ASSERT_TRUE(c.Error.isEmpty()) << c.Error.toStdString();
  QStringList keys;
  for (const TCompareRec& r : c.Candidates) keys << r.Key;
  EXPECT_EQ(keys, (QStringList{QStringLiteral("1211"), QStringLiteral("1212"), QStringLiteral("1213"), QStringLiteral("1310")}))
      << "1,0 equals 1; the same id 10 under group 3 is its own item; visibility 3 takes no part";
  const TCompareRec& tooHigh = c.Candidates[0];
  EXPECT_FALSE(tooHigh.Valid) << "12 lies outside 0..10";
  EXPECT_EQ(tooHigh.NewVal, QStringLiteral("3")) << "replaced by the default";
  EXPECT_EQ(tooHigh.Line(), QStringLiteral("(Standard) - C11: 3  [4]"));
  const TCompareRec& dp = c.Candidates[1];
  EXPECT_FALSE(dp.Valid) << "a datapoint takes 0 or 1 only";
  EXPECT_EQ(dp.NewVal, QStringLiteral("1"));
  EXPECT_FALSE(c.Candidates[2].Valid) << "5 is no entry of the list";
  EXPECT_FALSE(c.Candidates[2].Tickable()) << "a service item (visibility 2) is shown, not offered";
  EXPECT_TRUE(c.Candidates[3].Valid);
  EXPECT_EQ(c.Candidates[3].Line(), QStringLiteral("C10: 8 [7]"));
  EXPECT_EQ(c.InvalidImportList,
            (QStringList{QStringLiteral("C11 = 12 [3 - min: 0 / max: 10]"), QStringLiteral("C13 = 5 [0 - min: 0 / max: 2147483647]")}));

  const TImportComparison bad = CompareImport(device, "<nope", Captions());
  EXPECT_FALSE(bad.Error.isEmpty());
  EXPECT_TRUE(CompareImport(device, Set("1", "4", "1", "0").toUtf8(), Captions()).Candidates.isEmpty()) << "nothing differs";
}

// Three texts of at most ten characters and a float from 0 to 10; %1..%4 are their values.
const char* CRangeSet = R"(<c><group name="sys" id="1"><group id="2">
    <parameter id="20"><visibility>0</visibility><type>text</type><value>%1</value><default>d</default><low>0</low><high>10</high></parameter>
    <parameter id="21"><visibility>0</visibility><type>text</type><value>%2</value><default>d</default><low>0</low><high>10</high></parameter>
    <parameter id="22"><visibility>0</visibility><type>secret</type><value>%3</value><default>d</default><low>0</low><high>10</high></parameter>
    <parameter id="23"><visibility>0</visibility><type>float</type><value>%4</value><default>2</default><low>0</low><high>10</high></parameter>
  </group></group></c>)";

TEST(ImportCompare, ValidityIsTheRangeNotTheTypingFilter) {
  const QString set = QString::fromUtf8(CRangeSet);
  TParaDocument device = Load(set.arg(QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("1")));
  const QString file = set.arg(QStringLiteral("Zähler 1/2"), QStringLiteral("12345678901"), QStringLiteral("p w/ä"),
                               QStringLiteral("10,5"));
  const TImportComparison c = CompareImport(device, file.toUtf8(), Captions());
  ASSERT_EQ(c.Candidates.size(), 4);
  EXPECT_TRUE(c.Candidates[0].Valid) << "blank, umlaut and slash are what a file may hold; ten characters fit";
  EXPECT_EQ(c.Candidates[0].NewVal, QStringLiteral("Zähler 1/2"));
  EXPECT_FALSE(c.Candidates[1].Valid) << "eleven characters where ten fit";
  EXPECT_TRUE(c.Candidates[2].Valid) << "a secret is checked by its length too";
  EXPECT_FALSE(c.Candidates[3].Valid) << "10.5 lies above 10";
  EXPECT_EQ(c.InvalidImportList.size(), 2);
}

TEST(ImportCompare, AnItemAboveTheLevelTakesNoPartEvenWhenItDiffers) {
  // Only the hidden item differs: nothing is offered.
  const TImportComparison c = CompareImport(Load(Set("1", "4", "1", "0")),
                                            Set("1", "4", "1", "0").replace(QLatin1String("<value>1</value><default>1</default></parameter>"),
                                                                            QLatin1String("<value>0</value><default>1</default></parameter>")).toUtf8(),
                                            Captions());
  EXPECT_TRUE(c.Candidates.isEmpty()) << "visibility 3 lies above every level of the editor";
}

TEST(ImportCompare, AnItemAtTheServiceLevelTakesPart) {
  const TImportComparison c = CompareImport(Load(Set("1", "4", "1", "0")), Set("1", "4", "1", "1").toUtf8(), Captions());
  ASSERT_EQ(c.Candidates.size(), 1);
  EXPECT_EQ(c.Candidates[0].ID, QStringLiteral("13"));
  EXPECT_FALSE(c.Candidates[0].Tickable()) << "offered as a service item";
}

TEST(ImportCompare, ApplyWritesTickedValuesAndKeepsTheDeviceValue) {
  TParaDocument device = Load(Set("1", "4", "1", "0"));
  const TImportComparison c = CompareImport(device, Set("2", "12", "1", "0").toUtf8(), Captions());
  ASSERT_EQ(c.Candidates.size(), 2);
  const QStringList log = ApplyImport(device, c, {QStringLiteral("1210"), QStringLiteral("999")});
  EXPECT_EQ(GetNodeValue(device.Find(10, 2), ".//value"), QStringLiteral("2"));
  EXPECT_EQ(GetNodeValue(device.Find(11, 2), ".//value"), QStringLiteral("4")) << "not ticked";
  EXPECT_EQ(device.Changes.value(QStringLiteral("102")).OriVal, QStringLiteral("1"));
  EXPECT_TRUE(log.contains(QStringLiteral("No Import: Key 1211 not checked!")));
  EXPECT_TRUE(log.contains(QStringLiteral("Import Error Key 999 Not found!")));
  EXPECT_TRUE(log.first().startsWith(QStringLiteral("Import Update Key 1210")));
}

TEST(ResetDefaults, EverythingButTheNetworkSettings) {
  TParaDocument d = Load(Set("1", "4", "0", "0"));
  WriteBackValue(d.Find(11, 2), QStringLiteral("9"), false, TGridRowTyp::grtInteger, d.Changes);  // 4 -> 9, recorded
  const int changed = ResetToDefaults(d, {CNetworkModuleId});
  EXPECT_EQ(changed, 4) << "10, 11, the datapoint 12 and the module parameter 51";
  EXPECT_EQ(GetNodeValue(d.Find(10, 2), ".//value"), QStringLiteral("5"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(12), ".//rec"), QStringLiteral("1"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(61), ".//value"), QStringLiteral("wg")) << "the network module stays";
  EXPECT_EQ(d.Changes.value(QStringLiteral("112")).OriVal, QStringLiteral("4")) << "the first value read stays recorded";
  EXPECT_TRUE(d.Changes.contains(QStringLiteral("102")));
  EXPECT_EQ(ResetToDefaults(d, {CNetworkModuleId}), 0) << "nothing left to reset";
}

TEST(SendPreparation, LeftOutModulesArePrunedFromACopy) {
  TParaDocument d = Load(Set("1", "4", "0", "0"));
  const QByteArray pruned = PrunedForSending(d, {QStringLiteral("C4278190084=0")}, Captions());
  TParaDocument sent = Load(QString::fromUtf8(pruned));
  EXPECT_FALSE(sent.FindFirst(51)) << "the whole module folder is not sent";
  EXPECT_TRUE(sent.FindFirst(10));
  EXPECT_TRUE(d.FindFirst(51)) << "the editor keeps the complete document";
  const QByteArray oneModule = PrunedForSending(d, {QStringLiteral("C50=0"), QStringLiteral("C4278191104=1")}, Captions());
  TParaDocument sentOne = Load(QString::fromUtf8(oneModule));
  EXPECT_FALSE(sentOne.FindFirst(50)) << "a module inside the module group is left out by itself";
  EXPECT_TRUE(sentOne.FindFirst(61)) << "its sibling module goes";
  EXPECT_EQ(TempParaFileName(QStringLiteral("/data/4711/setup.xml"), 4711), QStringLiteral("/data/4711/4711_TempPara.XML"));
}

TEST(Transformer, ReadAndWriteBack) {
  TParaDocument d = Load(QStringLiteral(R"(<c><group name="sys" id="1"><group id="2">
    <parameter id="235470848"><type>float</type><value>100</value><low>1</low><high>1000000</high></parameter>
    <parameter id="235601920"><type>float</type><value>1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602176"><type>float</type><value>-0.5</value><low>-2</low><high>2</high></parameter>
    <parameter id="235667456"><type>float</type><value>100</value><low>1</low><high>1000</high></parameter>
    <parameter id="218300416"><type>float</type><value>110</value><low>1</low><high>200</high></parameter>
  </group></group></c>)"));
  TWandlerRec w = ReadWandler(d);
  EXPECT_FLOAT_EQ(w.WLFU, 100);
  EXPECT_FLOAT_EQ(w.WFU1, 100);
  EXPECT_FLOAT_EQ(w.WFU2, -50);
  EXPECT_FLOAT_EQ(w.NennSpannungLL, float(100.0 * 110 * 100 * std::sqrt(3.0) / 100));
  w.WFU1 = 200;  // the user changes the first channel's absolute factor
  QStringList log;
  ASSERT_TRUE(WriteWandler(d, w, [&](const QString& l) { log << l; }));
  EXPECT_EQ(GetNodeValue(d.FindFirst(0x0E090000), ".//value"), QStringLiteral("200")) << "the largest factor is the common one";
  EXPECT_EQ(GetNodeValue(d.FindFirst(0x0E0B0100), ".//value"), QStringLiteral("-0.25"));
  EXPECT_TRUE(log.contains(QStringLiteral("Checking WLFU[235470848] with val 200.000000")));
  w.WFU1 = 5000000;  // the common factor would leave its range
  QStringList corrected;
  EXPECT_FALSE(WriteWandler(d, w, {}, &corrected));
  EXPECT_EQ(corrected.size(), 1);
}

TEST(DeviceClock, StatementsByFirmware) {
  const QDateTime t(QDate(2026, 12, 5), QTime(8, 9, 10));
  const QList<TTimedStatement> old = ClockStatements(1, t);
  ASSERT_EQ(old.size(), 2);
  EXPECT_EQ(old[0].Lua, QStringLiteral("uti.setTime(\"08:09:10\")"));
  EXPECT_EQ(old[1].Lua, QStringLiteral("uti.setDate(\"05.12.2026\")"));
  EXPECT_EQ(old[1].DelayMs, 5000);
  const QList<TTimedStatement> now = ClockStatements(2, t);
  ASSERT_EQ(now.size(), 1);
  EXPECT_EQ(now[0].Lua, QStringLiteral("uti.setDateTime(\"05.12.2026 08:09:10\")"));
}

TEST(TimeZones, IanaZonesWithTheirOffsets) {
  const QList<TTimeZoneSettings> zones = TimeZoneList(2026);
  ASSERT_GT(zones.size(), 100);
  bool berlin = false, utc = false;
  for (const TTimeZoneSettings& z : zones) {
    if (z.Name == QLatin1String("Europe/Berlin")) {
      berlin = true;
      EXPECT_EQ(z.Bias, -60);
      EXPECT_EQ(z.DaylightBias, -60);
      EXPECT_EQ(z.Display, QStringLiteral("(UTC+01:00) Europe/Berlin"));
    }
    if (z.Name == QLatin1String("UTC")) {
      utc = true;
      EXPECT_EQ(z.Bias, 0);
      EXPECT_EQ(z.DaylightBias, 0);
    }
  }
  EXPECT_TRUE(berlin);
  EXPECT_TRUE(utc);
  for (int i = 1; i < zones.size(); ++i) EXPECT_GE(zones[i - 1].Bias, zones[i].Bias) << "west to east";
}

TEST(ReviewCases, PruningAModuleDirectlyBelowSysOnce) {
  TParaDocument d = Load(QStringLiteral(R"(<c><group name="sys" id="1">
    <swmodule id="70"><swmodule id="71"><parameter id="72"><value>1</value></parameter></swmodule></swmodule>
    <parameter id="73"><value>2</value></parameter></group></c>)"));
  const QByteArray out = PrunedForSending(d, {QStringLiteral("C70=0"), QStringLiteral("C71=0")}, Captions());
  TParaDocument sent = Load(QString::fromUtf8(out));
  EXPECT_FALSE(sent.FindFirst(70));
  EXPECT_FALSE(sent.FindFirst(72));
  EXPECT_TRUE(sent.FindFirst(73));
}

// The common voltage factor may go up to 150; the four relative factors
// stand at 1. Raising the first relative factor to 1.6 makes the channel
// 160, which the common factor cannot follow.
const char* CTransformerSet = R"(<c><group name="sys" id="1"><group id="2">
    <parameter id="235470848"><type>float</type><value>100</value><low>1</low><high>150</high></parameter>
    <parameter id="235601920"><type>float</type><value>1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602176"><type>float</type><value>1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602432"><type>float</type><value>1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602688"><type>float</type><value>1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235667456"><type>float</type><value>100</value><low>1</low><high>1000</high></parameter></group></group></c>)";

TEST(Transformer, ARejectedFieldLeavesTheWholeSetAsItWas) {
  TParaDocument d = Load(QString::fromLatin1(CTransformerSet));
  TWandlerRec w = ReadWandler(d);
  w.WLKFU1 = 1.6f;
  w.SekNennSpannung = 230;  // valid on its own
  w.CalcOutputs();
  QStringList log, corrected;
  EXPECT_FALSE(WriteWandler(d, w, [&](const QString& l) { log << l; }, &corrected));
  EXPECT_EQ(log.size(), 6) << "every field present is checked, also after the rejected one";
  EXPECT_EQ(corrected, QStringList{QStringLiteral("WLFU = 160")});
  for (uint32_t id : {235601920u, 235602176u, 235602432u, 235602688u})
    EXPECT_EQ(GetNodeValue(d.FindFirst(id), ".//value"), QStringLiteral("1")) << id << ": not rescaled to a factor never written";
  EXPECT_EQ(GetNodeValue(d.FindFirst(235470848), ".//value"), QStringLiteral("100"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(235667456), ".//value"), QStringLiteral("100")) << "an accepted field waits for the others";
  EXPECT_TRUE(d.Changes.isEmpty());
}

TEST(Transformer, ASetThatPassesIsWrittenWhole) {
  TParaDocument d = Load(QString::fromLatin1(CTransformerSet));
  TWandlerRec w = ReadWandler(d);
  w.WLKFU1 = 1.5f;  // the channel at 150, the common factor's maximum
  w.CalcOutputs();
  ASSERT_TRUE(WriteWandler(d, w, {}));
  EXPECT_EQ(GetNodeValue(d.FindFirst(235470848), ".//value"), QStringLiteral("150"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(235601920), ".//value"), QStringLiteral("1"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(235602176), ".//value"), QStringLiteral("0.66667"));
  EXPECT_EQ(d.Changes.size(), 4) << "the common factor and three relative ones changed";
}

// Both sides of a transformer set: the voltage side with relative factors
// not scaled to 1 (%1), the current side's relative factors (%2).
QString BothSides(const char* voltageRelative, const char* currentRelative) {
  QString xml = QStringLiteral(R"(<c><group name="sys" id="1"><group id="2">
    <parameter id="235470848"><type>float</type><value>100</value><low>1</low><high>1000</high></parameter>
    <parameter id="235601920"><type>float</type><value>%1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602176"><type>float</type><value>%1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602432"><type>float</type><value>%1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235602688"><type>float</type><value>%1</value><low>-2</low><high>2</high></parameter>
    <parameter id="235536384"><type>float</type><value>50</value><low>1</low><high>1000</high></parameter>
    <parameter id="235602944"><type>float</type><value>%2</value><low>-2</low><high>2</high></parameter>
    <parameter id="235603200"><type>float</type><value>%2</value><low>-2</low><high>2</high></parameter>
    <parameter id="235603456"><type>float</type><value>%2</value><low>-2</low><high>2</high></parameter>
    <parameter id="235603712"><type>float</type><value>%2</value><low>-2</low><high>2</high></parameter>
    <parameter id="235667456"><type>float</type><value>100</value><low>1</low><high>1000</high></parameter></group></group></c>)");
  return xml.arg(QLatin1String(voltageRelative), QLatin1String(currentRelative));
}

TEST(Transformer, ASideNobodyChangedKeepsItsStoredValues) {
  TParaDocument d = Load(BothSides("0.5", "1"));
  TWandlerRec w = ReadWandler(d);
  w.WLFI = 80;  // only the current side's common factor
  w.CalcOutputs();
  ASSERT_TRUE(WriteWandler(d, w, {}));
  EXPECT_EQ(GetNodeValue(d.FindFirst(0x0E0A0000), ".//value"), QStringLiteral("80"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(0x0E090000), ".//value"), QStringLiteral("100")) << "the voltage side is not rescaled";
  for (uint32_t id : {235601920u, 235602176u, 235602432u, 235602688u})
    EXPECT_EQ(GetNodeValue(d.FindFirst(id), ".//value"), QStringLiteral("0.5")) << id;
  EXPECT_EQ(d.Changes.keys().size(), 1) << "only the typed field is a change";
  EXPECT_TRUE(d.Changes.contains(ChangeKey(QStringLiteral("235536384"), QStringLiteral("2"))));
}

TEST(Transformer, ASideWithoutChannelsDoesNotBlockTheOther) {
  TParaDocument d = Load(BothSides("1", "0"));
  TWandlerRec w = ReadWandler(d);
  w.WLFU = 120;
  w.CalcOutputs();
  QStringList corrected;
  ASSERT_TRUE(WriteWandler(d, w, {}, &corrected)) << corrected.join(QLatin1Char(',')).toStdString();
  EXPECT_EQ(GetNodeValue(d.FindFirst(0x0E090000), ".//value"), QStringLiteral("120"));
  EXPECT_EQ(GetNodeValue(d.FindFirst(0x0E0A0000), ".//value"), QStringLiteral("50"));
  for (uint32_t id : {235602944u, 235603200u, 235603456u, 235603712u})
    EXPECT_EQ(GetNodeValue(d.FindFirst(id), ".//value"), QStringLiteral("0")) << id;
  EXPECT_EQ(d.Changes.size(), 1);
}

TEST(Transformer, AChangedSideWithEveryChannelAtZeroIsRefusedByName) {
  TParaDocument d = Load(BothSides("1", "1"));
  TWandlerRec w = ReadWandler(d);
  w.WLKFI1 = w.WLKFI2 = w.WLKFI3 = w.WLKFI4 = 0;
  w.CalcOutputs();
  QStringList corrected;
  EXPECT_FALSE(WriteWandler(d, w, {}, &corrected));
  ASSERT_EQ(corrected.size(), 1);
  EXPECT_TRUE(corrected[0].startsWith(QStringLiteral("WLKFI1-4 = 0"))) << corrected[0].toStdString();
  EXPECT_TRUE(d.Changes.isEmpty());
  for (uint32_t id : {235602944u, 235603200u, 235603456u, 235603712u})
    EXPECT_EQ(GetNodeValue(d.FindFirst(id), ".//value"), QStringLiteral("1")) << id << ": no NaN written";

  w = ReadWandler(d);
  w.WLFU = 0;
  w.CalcOutputs();
  corrected.clear();
  EXPECT_FALSE(WriteWandler(d, w, {}, &corrected));
  ASSERT_EQ(corrected.size(), 1);
  EXPECT_TRUE(corrected[0].startsWith(QStringLiteral("WLFU = 0"))) << corrected[0].toStdString();
  EXPECT_TRUE(d.Changes.isEmpty());
}

TEST(SendPreparation, ChangeListPreviewMarksValuesLeftBehind) {
  TParaDocument d = Load(Set("1", "4", "0", "0"));
  WriteBackValue(d.Find(11, 2), QStringLiteral("9"), false, TGridRowTyp::grtInteger, d.Changes);
  WriteBackValue(d.FindFirst(51), QStringLiteral("7"), false, TGridRowTyp::grtInteger, d.Changes);
  const QList<TPendingChange> p = ChangePreview(d, {QStringLiteral("C50=0"), QStringLiteral("C4278191104=1")}, Captions());
  ASSERT_EQ(p.size(), 2);
  EXPECT_EQ(p[0].Caption, QStringLiteral("C11"));
  EXPECT_EQ(p[0].OriVal, QStringLiteral("4"));
  EXPECT_EQ(p[0].NewVal, QStringLiteral("9"));
  EXPECT_TRUE(p[0].Sent);
  EXPECT_EQ(p[1].Module, QStringLiteral("C50"));
  EXPECT_FALSE(p[1].Sent) << "its module is left out";
  EXPECT_TRUE(ChangePreview(d, {}, Captions())[1].Sent);
}

TEST(SendPreparation, DiffAgainstTheDeviceSet) {
  TParaDocument device = Load(Set("1", "4", "0", "0"));
  TParaDocument next = Load(Set("1,000001", "5", "1", "0"));
  const QList<TPendingChange> p = DiffSets(device, next, {}, Captions());
  QStringList keys;
  for (const TPendingChange& c : p) keys << QStringLiteral("%1:%2>%3").arg(c.Key, c.OriVal, c.NewVal);
  EXPECT_EQ(keys, (QStringList{QStringLiteral("112:4>5"), QStringLiteral("122:0>1")})) << "a float within 1e-5 is no change";
}

TEST(SendPreparation, BackupsKeepTheNewestTwenty) {
  QTemporaryDir dir;
  QString error;
  const QDateTime t0(QDate(2026, 3, 1), QTime(10, 0));
  QString first;
  for (int i = 0; i < 23; ++i) {
    const QString path = SaveSetBackup(dir.filePath(QStringLiteral("4711")), QByteArray::number(i), t0.addSecs(i), error);
    ASSERT_FALSE(path.isEmpty()) << error.toStdString();
    if (i == 0) first = path;
  }
  const QStringList kept = QDir(dir.filePath(QStringLiteral("4711"))).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(kept.size(), 20);
  EXPECT_EQ(kept.first(), QStringLiteral("ParaBackup_20260301_100003_000.xml")) << "the three oldest went";
  EXPECT_FALSE(QFile::exists(first));
  const QString again = SaveSetBackup(dir.filePath(QStringLiteral("4711")), "x", t0.addSecs(22), error);
  EXPECT_TRUE(again.endsWith(QStringLiteral("_2.xml"))) << "a second send in the same millisecond gets its own file";
  EXPECT_TRUE(SaveSetBackup(QString(), "x", t0, error).isEmpty());
  EXPECT_FALSE(error.isEmpty());
}

TEST(ReviewCases, ResetWithoutADefaultEmptiesTheValue) {
  TParaDocument d = Load(QStringLiteral(R"(<c><group name="sys" id="1"><group id="2">
    <parameter id="3"><value>x</value></parameter></group></group></c>)"));
  EXPECT_EQ(ResetToDefaults(d, {}), 1);
  EXPECT_EQ(GetNodeValue(d.FindFirst(3), ".//value"), QString());
  EXPECT_EQ(d.Changes.value(QStringLiteral("32")).OriVal, QStringLiteral("x"));
}
