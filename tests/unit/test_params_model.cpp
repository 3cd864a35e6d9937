// The setup document as the editor holds it: rows, kinds and limits, the
// change list, the mandatory rule, the tree walk and the transformer
// arithmetic, on small documents written for each rule.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "Constants.h"
#include "GridRules.h"
#include "ParaHelper.h"

using namespace vanta;

namespace {

TCaptionSource Captions() {
  TCaptionSource c;
  c.Caption = [](uint32_t id) { return id == CModuleGroupId ? QStringLiteral("Module") : QStringLiteral("Text %1").arg(id); };
  c.Hex = [](uint32_t id) { return QStringLiteral("%1h").arg(id, 0, 16); };
  return c;
}

TParaDocument Load(const char* xml) {
  TParaDocument d;
  QString error;
  EXPECT_TRUE(d.LoadBytes(QByteArray(xml), error)) << error.toStdString();
  return d;
}

const char* CDoc = R"(<?xml version="1.0"?>
<config><device name="Sim"/><system>
<group name="sys" id="1">
  <group id="7">
    <parameter id="10"><visibility>0</visibility><editability>1</editability><type>float</type>
      <value>1,5</value><default>2</default></parameter>
    <parameter id="11"><visibility>0</visibility><editability>0</editability><type>integer</type><value>4</value></parameter>
    <parameter id="12"><visibility>0</visibility><type>text</type><value>abc</value></parameter>
    <parameter id="13"><visibility>0</visibility><type>exit-meas-id</type><value>4294967295</value></parameter>
    <parameter id="14"><visibility>3</visibility><type>Float</type><value>1</value></parameter>
    <parameter id="15"><visibility>0</visibility><type>unknown-kind</type><value>x</value></parameter>
    <parameter id="16"><visibility>0</visibility><type>integer</type><value>2</value>
      <range list="true">
        <entry id="4278190084">3</entry>
        <entry></entry>
        <entry>9</entry>
      </range></parameter>
    <property id="20"><visibility>0</visibility><value>2.10.0</value></property>
    <datapoint id="30"><visibility>0</visibility><editability>0</editability><rec>1</rec><default>0</default></datapoint>
  </group>
  <group id="8">
    <parameter id="10"><visibility>0</visibility><type>integer</type><value>99</value></parameter>
  </group>
</group></system></config>)";

TGridRow Row(TParaDocument& d, uint32_t id, uint32_t parent, int level = 1) {
  TGridRow row;
  const pugi::xml_node n = d.Find(id, parent);
  EXPECT_TRUE(n) << id;
  GetGridRow(level, QString::number(parent), n, row, Captions(), d.Changes);
  return row;
}

}  // namespace

TEST(ParaDocument, IndexFindsEveryIdUnderEveryParent) {
  TParaDocument d = Load(CDoc);
  ASSERT_EQ(d.Find(10).size(), 2u) << "the same id under two parents";
  EXPECT_EQ(QString::fromUtf8(d.Find(10, 8).child_value("value")), QStringLiteral("99"));
  EXPECT_EQ(QString::fromUtf8(d.Find(10, 7).child_value("value")), QStringLiteral("1,5"));
  EXPECT_EQ(d.FindFirst(10), d.Find(10, 7)) << "document order";
  EXPECT_FALSE(d.Find(10, 9));
  EXPECT_TRUE(d.Find(4242).empty());
  EXPECT_EQ(QString::fromUtf8(d.Sys().attribute("id").value()), QStringLiteral("1"));
}

TEST(ParaDocument, BadDocumentsAreRefusedWithAReason) {
  TParaDocument d;
  QString error;
  EXPECT_FALSE(d.LoadBytes("", error));
  EXPECT_TRUE(error.contains(QStringLiteral("kein gültiges XML"))) << error.toStdString();
  EXPECT_FALSE(d.LoadBytes("<config>\n<a>\n</config>", error));
  EXPECT_TRUE(error.contains(QStringLiteral("Zeile 3"))) << error.toStdString();
  EXPECT_FALSE(d.LoadBytes("<config><group id=\"1\"/></config>", error));
  EXPECT_TRUE(error.contains(QStringLiteral("sys"))) << error.toStdString();
  EXPECT_FALSE(d.LoadBytes("<c><group name=\"sys\" id=\"1\"><parameter id=\"x7\"/></group></c>", error));
  EXPECT_TRUE(error.contains(QStringLiteral("x7"))) << error.toStdString();
  EXPECT_FALSE(d.Sys()) << "nothing half-loaded stays behind";
}

TEST(ParaDocument, ValuesThatDoNotReadAsTheirKindAreWarnings) {
  TParaDocument d = Load(R"(<c><group name="sys" id="1">
    <parameter id="5"><type>integer</type><value>zwölf</value><low>10</low><high>2</high></parameter>
    <parameter id="6"><type>float</type><value>1.5</value></parameter></group></c>)");
  ASSERT_EQ(d.Warnings().size(), 2);
  EXPECT_TRUE(d.Warnings()[0].startsWith(QStringLiteral("5: Wert \"zwölf\"")));
  EXPECT_TRUE(d.Warnings()[1].startsWith(QStringLiteral("5: untere Grenze")));
  TGridRow row;
  GetGridRow(1, QStringLiteral("1"), d.FindFirst(5), row, Captions(), d.Changes);
  EXPECT_EQ(row.RowVal.toInt(), 0) << "the kind's fallback";
}

TEST(ParaRows, KindsValuesAndLimits) {
  TParaDocument d = Load(CDoc);
  TGridRow f = Row(d, 10, 7);
  EXPECT_EQ(f.RowTyp, TGridRowTyp::grtFloat);
  EXPECT_DOUBLE_EQ(f.RowVal.toDouble(), 1.5) << "a comma reads too";
  EXPECT_DOUBLE_EQ(f.RowDef.toDouble(), 2.0);
  EXPECT_DOUBLE_EQ(f.RowMin.toDouble(), double(std::numeric_limits<float>::min())) << "smallest positive normal float";
  EXPECT_DOUBLE_EQ(f.RowMax.toDouble(), double(std::numeric_limits<float>::max()));
  EXPECT_TRUE(f.Editable);
  EXPECT_TRUE(f.Equal);

  TGridRow i = Row(d, 11, 7);
  EXPECT_EQ(i.RowTyp, TGridRowTyp::grtInteger);
  EXPECT_EQ(i.RowMin.toInt(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(i.RowMax.toInt(), std::numeric_limits<int32_t>::max());

  TGridRow t = Row(d, 12, 7);
  EXPECT_EQ(t.RowTyp, TGridRowTyp::grtText);
  EXPECT_EQ(t.RowMin.toInt(), 0);
  EXPECT_EQ(t.RowMax.toInt(), 100) << "maximum length";

  TGridRow m = Row(d, 13, 7);
  EXPECT_EQ(m.RowTyp, TGridRowTyp::grtexitmeasId) << "dashes are dropped from the type";
  EXPECT_EQ(m.RowVal.toUInt(), 4294967295u);

  EXPECT_EQ(Row(d, 15, 7).RowTyp, TGridRowTyp::grtText) << "an unknown type is text";
  EXPECT_EQ(GetXTRecTyp(QStringLiteral("Float")), TGridRowTyp::grtFloat);
  EXPECT_EQ(GetXTRecTyp(QStringLiteral("ip-address")), TGridRowTyp::grtipaddress);

  TGridRow p = Row(d, 20, 7);
  EXPECT_EQ(p.RowTyp, TGridRowTyp::grtProperty);
  EXPECT_FALSE(p.Editable);
  EXPECT_EQ(p.RowVal.toString(), QStringLiteral("2.10.0"));

  TGridRow dp = Row(d, 30, 7);
  EXPECT_EQ(dp.RowTyp, TGridRowTyp::grtDatapoint);
  EXPECT_EQ(dp.RowVal.toInt(), 1);
  EXPECT_EQ(dp.RowMax.toInt(), 1);
}

TEST(ParaRows, VisibilityEditabilityAndCaptions) {
  TParaDocument d = Load(CDoc);
  TGridRow row;
  EXPECT_FALSE(GetGridRow(1, QStringLiteral("7"), d.Find(14, 7), row, Captions(), d.Changes));
  EXPECT_TRUE(row.IDStr.isEmpty()) << "an invisible item gives a cleared row";
  EXPECT_FALSE(row.Node);
  EXPECT_TRUE(GetGridRow(3, QStringLiteral("7"), d.Find(14, 7), row, Captions(), d.Changes));

  EXPECT_FALSE(Row(d, 10, 7, 0).Editable) << "editability 1 above level 0";
  EXPECT_EQ(Row(d, 11, 7, 1).RowCap, QStringLiteral("Text 11"));
  EXPECT_EQ(Row(d, 11, 7, 2).RowCap, QStringLiteral("(11/bh) Text 11")) << "decimal and hexadecimal id from level 2";
  TGridRow group;
  EXPECT_FALSE(GetGridRow(3, QStringLiteral("1"), d.Find(7).front(), group, Captions(), d.Changes)) << "a folder is no row";
}

TEST(ParaRows, ListEntries) {
  TParaDocument d = Load(CDoc);
  TGridRow l = Row(d, 16, 7);
  ASSERT_TRUE(l.IsList);
  EXPECT_EQ(l.List, (QStringList{QStringLiteral("3=Module"), CEmpty + QLatin1Char('=') + CEmpty, QStringLiteral("9=9")}));
  EXPECT_EQ(l.RowMin.toInt(), 0);
  EXPECT_EQ(l.RowMax.toInt(), std::numeric_limits<int32_t>::max());
}

TEST(ParaChanges, FirstChangeKeepsTheDeviceValueAndChangingBackForgetsIt) {
  TParaDocument d = Load(CDoc);
  const pugi::xml_node n = d.Find(11, 7);
  WriteBackValue(n, QStringLiteral("5"), false, TGridRowTyp::grtInteger, d.Changes);
  ASSERT_EQ(d.Changes.size(), 1);
  EXPECT_EQ(d.Changes.value(QStringLiteral("117")), (TChangeListRec{QStringLiteral("11"), QStringLiteral("7"), QStringLiteral("4")}))
      << "keyed by id and parent id without a separator";
  WriteBackValue(n, QStringLiteral("6"), false, TGridRowTyp::grtInteger, d.Changes);
  EXPECT_EQ(d.Changes.value(QStringLiteral("117")).OriVal, QStringLiteral("4")) << "the value read from the device stays";
  EXPECT_EQ(GetNodeValue(n, ".//value"), QStringLiteral("6"));
  TGridRow row = Row(d, 11, 7);
  EXPECT_FALSE(row.Equal);
  EXPECT_EQ(row.RowPar.toInt(), 4) << "the initial value comes from the change record";
  EXPECT_EQ(row.RowVal.toInt(), 6);
  WriteBackValue(n, QStringLiteral("4"), true, TGridRowTyp::grtInteger, d.Changes);
  EXPECT_TRUE(d.Changes.isEmpty());
  // The same id under the other parent is another item.
  WriteBackValue(d.Find(10, 8), QStringLiteral("1"), false, TGridRowTyp::grtInteger, d.Changes);
  EXPECT_TRUE(d.Changes.contains(QStringLiteral("108")));
  EXPECT_TRUE(Row(d, 10, 7).Equal);
}

TEST(ParaChanges, ValueElementWithoutTextGetsOne) {
  TParaDocument d = Load(R"(<c><group name="sys" id="1"><datapoint id="3"><rec/></datapoint></group></c>)");
  WriteBackValue(d.FindFirst(3), QStringLiteral("1"), false, TGridRowTyp::grtDatapoint, d.Changes);
  EXPECT_EQ(GetNodeValue(d.FindFirst(3), ".//rec"), QStringLiteral("1"));
  EXPECT_EQ(d.Changes.value(QStringLiteral("31")).OriVal, QString());
  EXPECT_FALSE(SetNodeValue(d.FindFirst(3), ".//missing", QStringLiteral("x")));
}

TEST(ParaHelpers, FloatsPointFirstThenComma) {
  EXPECT_DOUBLE_EQ(MyStrToFloatDef(QStringLiteral("1.25"), -1), 1.25);
  EXPECT_DOUBLE_EQ(MyStrToFloatDef(QStringLiteral("1,0"), -1), 1.0);
  EXPECT_DOUBLE_EQ(MyStrToFloatDef(QStringLiteral(" 7 "), -1), 7.0);
  EXPECT_DOUBLE_EQ(MyStrToFloatDef(QStringLiteral("1,000.5"), -1), -1) << "neither form";
  EXPECT_DOUBLE_EQ(MyStrToFloatDef(QStringLiteral("abc"), -1), -1);
  EXPECT_DOUBLE_EQ(MyStrToFloatDef(QString(), 3), 3);
}

namespace {
const char* CMandatory = R"(<c><group name="sys" id="1">
  <datapoint id="100"><rec>0</rec><mandatory>101</mandatory><mandatory>110</mandatory>
    <datapoint id="101"><rec>1</rec></datapoint>
    <datapoint id="102"><rec>%1</rec></datapoint>
    <group id="110"><datapoint id="111"><rec>0</rec></datapoint>
      <group id="112"><datapoint id="113"><rec>1</rec></datapoint></group></group>
  </datapoint></group></c>)";

QString RecOf(TParaDocument& d, uint32_t id) { return GetNodeValue(d.FindFirst(id), ".//rec"); }
}  // namespace

TEST(ParaMandatory, FollowsTheOtherRecordings) {
  {
    TParaDocument d = Load(QString::fromLatin1(CMandatory).arg(0).toLatin1().constData());
    CheckAllMandatoryNodes(d.Doc());
    EXPECT_EQ(RecOf(d, 101), QStringLiteral("0")) << "nothing else recorded: mandatory ones off";
    EXPECT_EQ(RecOf(d, 111), QStringLiteral("0"));
    EXPECT_EQ(RecOf(d, 113), QStringLiteral("0")) << "nested groups too";
  }
  {
    TParaDocument d = Load(QString::fromLatin1(CMandatory).arg(1).toLatin1().constData());
    CheckAllMandatoryNodes(d.Doc());
    EXPECT_EQ(RecOf(d, 101), QStringLiteral("1"));
    EXPECT_EQ(RecOf(d, 111), QStringLiteral("1"));
    EXPECT_EQ(RecOf(d, 113), QStringLiteral("1"));
    EXPECT_EQ(RecOf(d, 102), QStringLiteral("1")) << "the deciding datapoint is not touched";
  }
}

TEST(ParaMandatory, ListedIdsInOtherSpellingsNameTheSameDatapoints) {
  // A fuzz finding: "+101" parsed as a number and went into a query that
  // could not compile.
  QString text = QString::fromLatin1(CMandatory).arg(1);
  text.replace(QStringLiteral("<mandatory>101</mandatory>"), QStringLiteral("<mandatory>+101</mandatory>"));
  text.replace(QStringLiteral("<mandatory>110</mandatory>"), QStringLiteral("<mandatory> 0110 </mandatory>"));
  TParaDocument d = Load(text.toLatin1().constData());
  EXPECT_NO_THROW(CheckAllMandatoryNodes(d.Doc()));
  EXPECT_EQ(RecOf(d, 101), QStringLiteral("1"));
  EXPECT_EQ(RecOf(d, 111), QStringLiteral("1"));
  EXPECT_EQ(RecOf(d, 113), QStringLiteral("1"));
  EXPECT_EQ(RecOf(d, 102), QStringLiteral("1"));

  TParaDocument off = Load(QString::fromLatin1(CMandatory).arg(0).replace(QStringLiteral(">101<"), QStringLiteral(">+101<")).toLatin1().constData());
  CheckAllMandatoryNodes(off.Doc());
  EXPECT_EQ(RecOf(off, 101), QStringLiteral("0")) << "the listed one itself does not count as another recording";
}

TEST(ParaTree, FoldersModulesAndTheModuleList) {
  TParaDocument d = Load(R"(<c><group name="sys" id="1">
    <group id="2"><parameter id="3"><visibility>0</visibility></parameter></group>
    <group id="4"><parameter id="5"><visibility>3</visibility></parameter></group>
    <group id="4278190084">
      <swmodule id="50"><parameter id="51"><visibility>0</visibility></parameter></swmodule>
      <swmodule id="60"><parameter id="61"><visibility>3</visibility></parameter></swmodule>
      <group id="70"><datapoint id="71"><visibility>0</visibility></datapoint></group>
    </group>
    <group id="80"><property id="81"><visibility>0</visibility></property>
      <group id="90"><property id="91"><visibility>0</visibility></property></group></group>
  </group></c>)");
  const TParaTree t = WalkParaTree(d.Sys(), 1, Captions());
  ASSERT_TRUE(t.Root->Visible);
  ASSERT_EQ(t.Root->Children.size(), 3u) << "the group without a visible item is gone";
  EXPECT_EQ(t.Root->Children[0]->ID, 2u);
  EXPECT_FALSE(t.Root->Children[0]->IsModule);
  const TParaTreeItem& modules = *t.Root->Children[1];
  EXPECT_EQ(modules.ID, CModuleGroupId);
  ASSERT_EQ(modules.Children.size(), 2u) << "the module without visible items has no tree item";
  EXPECT_TRUE(modules.Children[0]->IsModule);
  EXPECT_TRUE(modules.Children[1]->IsModule) << "groups below the module group are module folders";
  EXPECT_EQ(modules.Children[1]->LastKind, 2);
  EXPECT_FALSE(t.Root->Children[2]->IsModule) << "a later sibling of the module group is no module itself";
  ASSERT_EQ(t.Root->Children[2]->Children.size(), 1u);
  EXPECT_TRUE(t.Root->Children[2]->Children[0]->IsModule) << "but the groups below it are";
  EXPECT_EQ(t.ModuleList, (QStringList{QStringLiteral("Text 50=1"), QStringLiteral("Text 60=0")}));
}

TEST(ParaTransformer, InputsAndOutputs) {
  TWandlerRec w;
  w.WFU1 = 100;
  w.WFU2 = -200;
  w.WFU3 = 50;
  w.WFU4 = 0;
  w.WFI1 = 5;
  w.WFI2 = 5;
  w.WFI3 = 5;
  w.WFI4 = 1;
  w.CalcInputs();
  EXPECT_FLOAT_EQ(w.WLFU, 200) << "the largest absolute channel factor";
  EXPECT_FLOAT_EQ(w.WLKFU1, 0.5f);
  EXPECT_FLOAT_EQ(w.WLKFU2, -1.0f);
  EXPECT_FLOAT_EQ(w.WLKFU4, 0.0f);
  EXPECT_FLOAT_EQ(w.WLFI, 5);
  EXPECT_FLOAT_EQ(w.WLKFI4, 0.2f);
  w.WLFU = 400;
  w.SekNennSpannung = 100;
  w.NormLLSp = 110;
  w.CalcOutputs();
  EXPECT_FLOAT_EQ(w.WFU1, 200);
  EXPECT_FLOAT_EQ(w.WFU2, -400);
  EXPECT_FLOAT_EQ(w.NennSpannungLL, float(100.0 * 110 * 400 * std::sqrt(3.0) / 100));
  w.Netzform = TNetzForm::nf3L;
  w.CalcOutputs();
  EXPECT_FLOAT_EQ(w.NennSpannungLL, 100.0f * 110 * 400 / 100);

  TWandlerRec zero;
  zero.CalcInputs();
  EXPECT_TRUE(std::isnan(zero.WLKFU1)) << "0/0 gives NaN, no error";
}

TEST(ParaDocument, SavesWhatItHoldsAndLoadsItAgain) {
  TParaDocument d = Load(CDoc);
  WriteBackValue(d.Find(11, 7), QStringLiteral("8"), false, TGridRowTyp::grtInteger, d.Changes);
  QTemporaryDir dir;
  QString error;
  const QString path = dir.filePath(QStringLiteral("out.xml"));
  ASSERT_TRUE(d.SaveFile(path, error)) << error.toStdString();
  TParaDocument back;
  ASSERT_TRUE(back.LoadFile(path, error)) << error.toStdString();
  EXPECT_EQ(GetNodeValue(back.Find(11, 7), ".//value"), QStringLiteral("8"));
  EXPECT_EQ(GetNodeValue(back.Find(10, 8), ".//value"), QStringLiteral("99"));
  EXPECT_FALSE(back.LoadFile(dir.filePath(QStringLiteral("missing.xml")), error));
  EXPECT_TRUE(error.contains(QStringLiteral("missing.xml")));
}

TEST(ParaReviewCases, OddLimitsLevelsAndNestedMandatoryGroups) {
  TParaDocument d = Load(R"(<c><group name="sys" id="1">
    <parameter id="5"><visibility>1x</visibility><type>integer</type><value>4</value><low>10</low><high>2</high></parameter>
    <datapoint id="100"><rec>0</rec><mandatory>112</mandatory>
      <group id="110"><group id="112"><datapoint id="113"><rec>1</rec></datapoint></group></group>
      <datapoint id="114"><rec>0</rec></datapoint></datapoint></group></c>)");
  TGridRow row;
  ASSERT_TRUE(GetGridRow(0, QStringLiteral("1"), d.FindFirst(5), row, Captions(), d.Changes))
      << "an unreadable visibility counts as 0";
  bool corrected = false;
  EXPECT_EQ(CheckValue(row, QStringLiteral("7"), {}, corrected), QStringLiteral("10")) << "low above high: the low one, no crash";
  CheckAllMandatoryNodes(d.Doc());
  EXPECT_EQ(GetNodeValue(d.FindFirst(113), ".//rec"), QStringLiteral("1"))
      << "a datapoint inside a listed group below an unlisted one counts as recorded";
}
