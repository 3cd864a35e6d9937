// The export files: the change export keeps only changed items and their
// path, the CSV list with its sections, the ICD facts and IED name.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "Constants.h"
#include "ParaExport.h"

using namespace vanta;

namespace {

const char* CDoc = R"(<?xml version="1.0"?>
<config><device name="Vanta Sim"/><system><group name="sys" id="1">
  <group id="7">
    <parameter id="10"><visibility>0</visibility><type>float</type><value>1,5</value></parameter>
    <parameter id="11"><visibility>0</visibility><type>integer</type><value>4</value></parameter>
  </group>
  <group id="4278190084">
    <swmodule id="50"><group id="51">
      <parameter id="10"><visibility>0</visibility><type>integer</type><value>5</value></parameter>
      <parameter id="53"><visibility>0</visibility><type>integer</type><value>6</value></parameter></group>
      <datapoint id="54"><visibility>0</visibility><rec>1</rec></datapoint></swmodule>
    <swmodule id="60"><parameter id="61"><visibility>0</visibility><type>text</type><value>x</value></parameter></swmodule>
  </group>
</group></system></config>)";

TParaDocument Load() {
  TParaDocument d;
  QString error;
  EXPECT_TRUE(d.LoadBytes(CDoc, error)) << error.toStdString();
  return d;
}

TCaptionSource Captions() {
  TCaptionSource c;
  c.Caption = [](uint32_t id) { return QStringLiteral("C%1").arg(id); };
  return c;
}

}  // namespace

TEST(ChangeExport, KeepsChangedItemsWithTheirPathForAnyDevice) {
  TParaDocument d = Load();
  EXPECT_TRUE(ChangeExport(d, d.Changes).isEmpty()) << "no changes, no file";
  WriteBackValue(d.Find(10, 51), QStringLiteral("9"), false, TGridRowTyp::grtInteger, d.Changes);
  WriteBackValue(d.Find(10, 7), QStringLiteral("2"), false, TGridRowTyp::grtFloat, d.Changes);
  const QByteArray out = ChangeExport(d, d.Changes);
  TParaDocument back;
  QString error;
  ASSERT_TRUE(back.LoadBytes(out, error)) << error.toStdString();
  EXPECT_EQ(QString::fromUtf8(back.Doc().select_node("//device").node().attribute("name").value()), QStringLiteral("anyDevice"));
  EXPECT_TRUE(back.Find(10, 51)) << "the change inside a group inside a module";
  EXPECT_TRUE(back.Find(10, 7)) << "the same id under another parent is its own change";
  EXPECT_FALSE(back.FindFirst(11)) << "unchanged siblings go";
  EXPECT_FALSE(back.FindFirst(53));
  EXPECT_FALSE(back.FindFirst(54));
  EXPECT_FALSE(back.FindFirst(60)) << "a module without changes goes";
  EXPECT_TRUE(back.FindFirst(50)) << "the path stays";
  EXPECT_EQ(GetNodeValue(back.Find(10, 51), ".//value"), QStringLiteral("9")) << "the changed item whole";
  EXPECT_EQ(QString::fromUtf8(d.Doc().select_node("//device").node().attribute("name").value()), QStringLiteral("Vanta Sim"))
      << "the loaded document is untouched";
}

TEST(CsvExport, SectionsAndChosenModulesOnly) {
  TParaDocument d = Load();
  EXPECT_EQ(ModuleEntries(d, Captions()), (QStringList{QStringLiteral("50=C50"), QStringLiteral("60=C60")}));
  const QString csv = QString::fromUtf8(CsvExport(d, 1, Captions(), {QStringLiteral("50")}));
  EXPECT_EQ(csv, QStringLiteral("\r\nC4278190084\r\n\r\n"
                                "\r\nC50\r\n\r\n"
                                "C54;1\r\n")) << "groups inside a module are not walked; the top group 7 neither";
  const QString none = QString::fromUtf8(CsvExport(d, 1, Captions(), {}));
  EXPECT_FALSE(none.contains(QStringLiteral("C50"))) << "an unticked module is left out";
  EXPECT_EQ(CsvExportPath(QStringLiteral("/tmp/"), 4711), QStringLiteral("/tmp/para_4711.csv"));
  EXPECT_EQ(FullExportName(QStringLiteral("Dev"), QStringLiteral("Werk"), QStringLiteral("Feld"), QDate(2026, 12, 5)),
            QStringLiteral("Vanta_Dev_Werk_Feld_261205.xml"));
  EXPECT_EQ(ChangeExportName(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))), QStringLiteral("ChangeExport_260102_030405.xml"));
}

TEST(Icd, ReadRenameAndApply) {
  QTemporaryDir dir;
  const QString icd = dir.filePath(QStringLiteral("station.icd"));
  {
    QFile f(icd);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"(<SCL><Header id="H1" version="2007" revision="B"/>
      <Communication><SubNetwork><ConnectedAP iedName="OLD" apName="P1"/></SubNetwork></Communication>
      <IED name="OLD" originalSclVersion="2007" originalSclRevision="B"/></SCL>)");
  }
  TIcdInfo info;
  QString error;
  ASSERT_TRUE(ReadIcd(icd, info, error)) << error.toStdString();
  EXPECT_EQ(info.HeaderId, QStringLiteral("H1"));
  EXPECT_EQ(info.Name, QStringLiteral("OLD"));
  ASSERT_TRUE(RenameIcd(icd, QStringLiteral("NEU"), error)) << error.toStdString();
  ASSERT_TRUE(ReadIcd(icd, info, error));
  EXPECT_EQ(info.Name, QStringLiteral("NEU"));
  QFile f(icd);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains("iedName=\"NEU\""));

  TParaDocument d;
  ASSERT_TRUE(d.LoadBytes(R"(<c><group name="sys" id="1">
    <parameter id="4278190467"><type>text</type><value>neu</value></parameter>
    <parameter id="4278190468"><type>text</type><value>a.icd</value></parameter>
    <parameter id="4278190473"><type>text</type><value/></parameter></group></c>)", error));
  const QStringList changed = ApplyIcdToSetup(d, QStringLiteral("station.icd"), info);
  EXPECT_EQ(changed, QStringList{QStringLiteral("4278190468")})
      << "same text without regard to case stays; a value without text is not filled";
  EXPECT_EQ(d.Changes.value(QStringLiteral("42781904681")).OriVal, QStringLiteral("a.icd"));

  const QString broken = dir.filePath(QStringLiteral("broken.icd"));
  QFile b(broken);
  ASSERT_TRUE(b.open(QIODevice::WriteOnly));
  b.write("<SCL><Header/></SCL>");
  b.close();
  EXPECT_FALSE(ReadIcd(broken, info, error));
  EXPECT_TRUE(error.contains(QStringLiteral("IED fehlt"))) << error.toStdString();
}

TEST(Icd, AllSixFactsRequiredAndAnEditBackLeavesTheChangeList) {
  QTemporaryDir dir;
  const QString icd = dir.filePath(QStringLiteral("s.icd"));
  QFile f(icd);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(R"(<SCL><Header id="H" revision="A"/><IED name="N" originalSclVersion="1" originalSclRevision="A"/></SCL>)");
  f.close();
  TIcdInfo info;
  QString error;
  EXPECT_FALSE(ReadIcd(icd, info, error)) << "the header's version is missing";
  EXPECT_TRUE(error.contains(QStringLiteral("version")));

  TParaDocument d;
  ASSERT_TRUE(d.LoadBytes(R"(<c><group name="sys" id="1">
    <parameter id="4278190467"><type>text</type><value>A</value></parameter>
    <parameter id="4278190469"><type>text</type><value/></parameter>
    <group id="2"><parameter id="4278190469"><type>text</type><value>later</value></parameter></group></group></c>)", error));
  WriteBackValue(d.FindFirst(4278190467u), QStringLiteral("B"), false, TGridRowTyp::grtText, d.Changes);
  info.Name = QStringLiteral("A");
  info.Version = QStringLiteral("9");
  const QStringList changed = ApplyIcdToSetup(d, QStringLiteral("s.icd"), info);
  EXPECT_TRUE(changed.contains(QStringLiteral("4278190467")));
  EXPECT_FALSE(d.Changes.contains(QStringLiteral("42781904671"))) << "back at the value first read: no longer a change";
  EXPECT_EQ(GetNodeValue(d.Find(4278190469u, 2), ".//value"), QStringLiteral("later"))
      << "the first element's empty value stops it; a later twin is not written";
}

TEST(CsvExport, ItemsAtExactlyTheLevelStayThoseAboveGo) {
  TParaDocument d;
  QString error;
  ASSERT_TRUE(d.LoadBytes(R"(<c><group name="sys" id="1"><group id="4278190084"><swmodule id="50">
    <parameter id="71"><visibility>1</visibility><type>integer</type><value>1</value></parameter>
    <parameter id="72"><visibility>2</visibility><type>integer</type><value>2</value></parameter>
    <datapoint id="73"><visibility>1</visibility><rec>1</rec></datapoint>
    <datapoint id="74"><visibility>2</visibility><rec>0</rec></datapoint>
  </swmodule></group></group></c>)", error)) << error.toStdString();
  const QString csv = QString::fromUtf8(CsvExport(d, 1, Captions(), {QStringLiteral("50")}));
  EXPECT_TRUE(csv.contains(QStringLiteral("C71;1\r\n"))) << "a parameter at exactly the level";
  EXPECT_TRUE(csv.contains(QStringLiteral("C73;1\r\n"))) << "a datapoint at exactly the level";
  EXPECT_FALSE(csv.contains(QStringLiteral("C72"))) << "a parameter above it";
  EXPECT_FALSE(csv.contains(QStringLiteral("C74"))) << "a datapoint above it";
}
