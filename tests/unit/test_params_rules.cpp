// The grid's value rules without a grid: CheckValue per kind, the format
// checks by id, what the cells show, filling a column and the clipboard.
#include <gtest/gtest.h>

#include <limits>

#include "Constants.h"
#include "GridRules.h"

using namespace vanta;

namespace {

TGridRow Row(TGridRowTyp kind, QVariant val, QVariant def, QVariant min, QVariant max) {
  TGridRow r;
  r.RowTyp = kind;
  r.RowVal = r.RowPar = val;
  r.RowDef = def;
  r.RowMin = min;
  r.RowMax = max;
  r.IDStr = QStringLiteral("42");
  r.ID = 42;
  r.RowCap = QStringLiteral("Nennfrequenz");
  r.Editable = true;
  return r;
}

struct TErrors {
  QStringList Calls;
  TCheckErrorCallBack Cb() {
    return [this](const QString& id, const QString& min, const QString& max, const QString& def, const QString& out,
                  const QString& in) { Calls << QStringList{id, min, max, def, out, in}.join(QLatin1Char('|')); };
  }
};

}  // namespace

TEST(CheckValue, FloatsClampAndNormalise) {
  TErrors e;
  bool corrected = false;
  TGridRow r = Row(TGridRowTyp::grtFloat, 5.0, 2.5, 0.0, 10.0);
  EXPECT_EQ(CheckValue(r, QStringLiteral("12,5"), e.Cb(), corrected), QStringLiteral("10"));
  EXPECT_TRUE(corrected);
  ASSERT_EQ(e.Calls.size(), 1);
  EXPECT_EQ(e.Calls[0], QStringLiteral("42|0|10|2.5|10|12,5")) << "limits and default as the grid shows them";
  EXPECT_FALSE(r.Equal);
  EXPECT_DOUBLE_EQ(r.RowVal.toDouble(), 10.0);

  EXPECT_EQ(CheckValue(r, QStringLiteral("3,25"), e.Cb(), corrected), QStringLiteral("3.25"));
  EXPECT_FALSE(corrected) << "a comma is normalised, not corrected";
  EXPECT_EQ(CheckValue(r, QStringLiteral("1.1234567"), e.Cb(), corrected), QStringLiteral("1.12346"));
  EXPECT_FALSE(corrected) << "rounding to five places is no correction";
  EXPECT_EQ(CheckValue(r, QStringLiteral("5.000001"), e.Cb(), corrected), QStringLiteral("5"));
  EXPECT_TRUE(r.Equal) << "equal to the initial value within 1e-5";
  EXPECT_EQ(CheckValue(r, QStringLiteral("zehn"), e.Cb(), corrected), QStringLiteral("2.5"));
  EXPECT_TRUE(corrected) << "unparsable: the default";
  EXPECT_EQ(CheckValue(r, QStringLiteral("1,000.5"), e.Cb(), corrected), QStringLiteral("2.5")) << "no group separators";
}

TEST(CheckValue, IntegersAndUnsigned) {
  TErrors e;
  bool corrected = false;
  TGridRow i = Row(TGridRowTyp::grtInteger, 3, 7, -5, 100);
  EXPECT_EQ(CheckValue(i, QStringLiteral("abc"), e.Cb(), corrected), QStringLiteral("7"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(CheckValue(i, QStringLiteral("-9"), e.Cb(), corrected), QStringLiteral("-5"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(CheckValue(i, QStringLiteral("3"), e.Cb(), corrected), QStringLiteral("3"));
  EXPECT_FALSE(corrected);
  EXPECT_TRUE(i.Equal);
  EXPECT_EQ(CheckValue(i, QStringLiteral("4294967296"), e.Cb(), corrected), QStringLiteral("7")) << "outside 32 bits";

  TGridRow u = Row(TGridRowTyp::grtmeasId, 10u, 0u, 0u, std::numeric_limits<uint32_t>::max());
  EXPECT_EQ(CheckValue(u, QStringLiteral("4294967295"), e.Cb(), corrected), QStringLiteral("4294967295"));
  EXPECT_FALSE(corrected);
  EXPECT_EQ(CheckValue(u, QStringLiteral("-1"), e.Cb(), corrected), QStringLiteral("0"));
  EXPECT_TRUE(corrected);

  TGridRow list = Row(TGridRowTyp::grtInteger, 1, 0, 0, 2);
  list.IsList = true;
  e.Calls.clear();
  EXPECT_EQ(CheckValue(list, QStringLiteral("9"), e.Cb(), corrected), QStringLiteral("9")) << "a list is not clamped";
  EXPECT_TRUE(e.Calls.isEmpty());
}

TEST(CheckValue, TextsSecretsAndAddresses) {
  TErrors e;
  bool corrected = false;
  TGridRow t = Row(TGridRowTyp::grtText, QStringLiteral("abc"), QString(), 0, 100);
  EXPECT_EQ(CheckValue(t, QStringLiteral("Feld 7/ä"), e.Cb(), corrected), QStringLiteral("Feld7"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(e.Calls.last(), QStringLiteral("42|0|100|-|Feld7|Feld 7/ä"));
  EXPECT_EQ(CheckValue(t, QStringLiteral("ABC"), e.Cb(), corrected), QStringLiteral("ABC"));
  EXPECT_TRUE(t.Equal) << "texts compare without regard to case";
  t.IsList = true;
  EXPECT_EQ(CheckValue(t, QStringLiteral("a b"), e.Cb(), corrected), QStringLiteral("a b")) << "a text list keeps all characters";

  TGridRow s = Row(TGridRowTyp::grtsecret, QString(), QString(), 0, 8);
  EXPECT_EQ(CheckValue(s, QStringLiteral("0123456789"), e.Cb(), corrected), QStringLiteral("01234567"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(DisplayText(s, 1), QStringLiteral("********"));
  EXPECT_EQ(CheckValue(s, QStringLiteral("a<b"), e.Cb(), corrected), QStringLiteral("a&lt;b"));

  TGridRow ip = Row(TGridRowTyp::grtipaddress, QStringLiteral("10.0.0.1"), QStringLiteral("192.168.0.1"), QString(), QString());
  EXPECT_EQ(CheckValue(ip, QStringLiteral("NON"), e.Cb(), corrected), QStringLiteral("192.168.0.1"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(CheckValue(ip, QStringLiteral("10.0.0.2"), e.Cb(), corrected), QStringLiteral("10.0.0.2"));
  EXPECT_FALSE(corrected);

  TGridRow p = Row(TGridRowTyp::grtProperty, QStringLiteral("2.10"), QString(), QString(), QString());
  EXPECT_EQ(CheckValue(p, QStringLiteral("x"), e.Cb(), corrected), QString());
  EXPECT_EQ(p.RowVal.toString(), QStringLiteral("2.10")) << "a property never changes";
  EXPECT_EQ(CheckValue(t, QVariant(5), e.Cb(), corrected), QString()) << "only text inputs";
}

TEST(AcceptValue, GpsPositionAndIedName) {
  TErrors e;
  TGridRow gps = Row(TGridRowTyp::grtText, QStringLiteral("N49.1E11.1"), QString(), 0, 100);
  gps.ID = CGpsPositionId;
  TAcceptResult r = AcceptValue(gps, QStringLiteral("N91.1E11.1"), e.Cb());
  EXPECT_FALSE(r.Accepted);
  EXPECT_EQ(gps.RowVal.toString(), QStringLiteral("N49.1E11.1")) << "the old value stays";
  r = AcceptValue(gps, QStringLiteral("S49.12345678W180"), e.Cb());
  EXPECT_TRUE(r.Accepted);
  EXPECT_EQ(gps.RowVal.toString(), QStringLiteral("S49.12345678W180"));
  EXPECT_TRUE(IsValidGpsPosition(QStringLiteral("N0E0")));
  EXPECT_FALSE(IsValidGpsPosition(QStringLiteral("N49.123456789E11")));
  EXPECT_FALSE(IsValidGpsPosition(QStringLiteral("N49,1E11")));

  TGridRow ied = Row(TGridRowTyp::grtText, QStringLiteral("IED1"), QString(), 0, 100);
  ied.ID = CIedNameId;
  QString told;
  r = AcceptValue(ied, QStringLiteral("Station_2"), e.Cb(), [&](const QString& n) { told = n; });
  EXPECT_TRUE(r.Accepted);
  EXPECT_EQ(told, QStringLiteral("Station_2"));
}

TEST(GridTexts, WhatTheCellsShow) {
  TGridRow f = Row(TGridRowTyp::grtFloat, 1.234567, 2.0, 0.0, 10.0);
  EXPECT_EQ(DisplayText(f, 0), QStringLiteral("Nennfrequenz"));
  EXPECT_EQ(DisplayText(f, 1), QStringLiteral("1.23457"));
  EXPECT_EQ(DisplayText(f, 7), QStringLiteral("NaN"));
  TGridRow b = Row(TGridRowTyp::grtBoolean, 1, 0, 0, 1);
  EXPECT_EQ(DisplayText(b, 1), QString()) << "a check image instead";
  TGridRow l = Row(TGridRowTyp::grtInteger, 3, QString(), 0, 1);
  l.IsList = true;
  l.List = {QStringLiteral("3=Drei"), CEmpty + QStringLiteral("=(keiner)")};
  EXPECT_EQ(DisplayText(l, 1), QStringLiteral("Drei"));
  l.RowDef = QString();
  EXPECT_EQ(DisplayText(l, 2), QStringLiteral("(keiner)")) << "the empty marker stands for an empty text";
  TGridRow m = Row(TGridRowTyp::grtmeasId, 77u, 0u, 0u, 100u);
  EXPECT_EQ(DisplayText(m, 1, [](const QString& id) { return QStringLiteral("U L1 (%1)").arg(id); }),
            QStringLiteral("U L1 (77) (77)"));
  m.RowVal = 0u;
  EXPECT_EQ(DisplayText(m, 1, [](const QString&) { return QStringLiteral("x"); }), QStringLiteral("0"));
}

TEST(GridTexts, FillColumnAndClipboard) {
  std::vector<TGridRow> rows{Row(TGridRowTyp::grtDatapoint, 1, 0, 0, 1), Row(TGridRowTyp::grtDatapoint, 0, 0, 0, 1),
                             Row(TGridRowTyp::grtDatapoint, 0, 0, 0, 1)};
  rows[0].RowCap = QStringLiteral("A");
  QStringList accepted;
  FillColumn(rows, 0, [&](TGridRow& r, const QString& text) {
    bool corrected = false;
    accepted << CheckValue(r, text, {}, corrected);
  });
  EXPECT_EQ(accepted, (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
  EXPECT_EQ(rows[2].RowVal.toInt(), 1);
  FillColumn(rows, 5, [&](TGridRow&, const QString&) { ADD_FAILURE() << "no row past the end"; });

  std::vector<TGridRow> clip{Row(TGridRowTyp::grtFloat, 0.1, 2.0, 0.0, 1e10), Row(TGridRowTyp::grtmeasId, 5u, 0u, 0u, 4294967295u),
                             Row(TGridRowTyp::grtsecret, QStringLiteral("pw"), QString(), 0, 8),
                             Row(TGridRowTyp::grtipaddress, QStringLiteral("10.0.0.1"), QStringLiteral("192.168.0.1"), QString(), QString())};
  EXPECT_EQ(ClipboardText(clip), QStringLiteral("Nennfrequenz\t0.1\t2\t0\t10000000000\r\n"
                                                "Nennfrequenz\t5\t0\t0\t4294967295\r\n"
                                                "\r\n"
                                                "\r\n")) << "a secret and an address are no text rows: empty lines";
}

// ---- at the boundaries, one case each -----------------------------------------------------

TEST(TextLength, ATextOfExactlyItsMaximumIsStoredAsIs) {
  TErrors e;
  bool corrected = true;
  TGridRow t = Row(TGridRowTyp::grtText, QString(), QString(), 0, 8);
  EXPECT_EQ(CheckValue(t, QStringLiteral("abcdefgh"), e.Cb(), corrected), QStringLiteral("abcdefgh"));
  EXPECT_FALSE(corrected);
  EXPECT_TRUE(e.Calls.isEmpty());
}

TEST(TextLength, OneCharacterMoreIsCutAndFlagged) {
  TErrors e;
  bool corrected = false;
  TGridRow t = Row(TGridRowTyp::grtText, QString(), QString(), 0, 8);
  EXPECT_EQ(CheckValue(t, QStringLiteral("abcdefghi"), e.Cb(), corrected), QStringLiteral("abcdefgh"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(e.Calls.size(), 1);
}

TEST(TextLength, ASecretOfExactlyItsMaximumIsStoredAsIs) {
  TErrors e;
  bool corrected = true;
  TGridRow s = Row(TGridRowTyp::grtsecret, QString(), QString(), 0, 8);
  EXPECT_EQ(CheckValue(s, QStringLiteral("12345678"), e.Cb(), corrected), QStringLiteral("12345678"));
  EXPECT_FALSE(corrected);
  EXPECT_TRUE(e.Calls.isEmpty());
}

TEST(TextLength, ASecretOneCharacterLongerIsCutAndFlagged) {
  TErrors e;
  bool corrected = false;
  TGridRow s = Row(TGridRowTyp::grtsecret, QString(), QString(), 0, 8);
  EXPECT_EQ(CheckValue(s, QStringLiteral("123456789"), e.Cb(), corrected), QStringLiteral("12345678"));
  EXPECT_TRUE(corrected);
  EXPECT_EQ(e.Calls.size(), 1);
}

TEST(AcceptValue, AListTakesOnlyItsEntries) {
  TGridRow n = Row(TGridRowTyp::grtInteger, 1, 0, 0, 2147483647);
  n.IsList = true;
  n.List = {QStringLiteral("0=Aus"), QStringLiteral("1=Ein"), QStringLiteral("2=Auto")};
  TAcceptResult r = AcceptValue(n, QStringLiteral("7"), {});
  EXPECT_FALSE(r.Accepted) << "7 is no entry";
  EXPECT_EQ(n.RowVal.toInt(), 1) << "the old value stays";
  EXPECT_TRUE(AcceptValue(n, QStringLiteral("2"), {}).Accepted);
  EXPECT_EQ(n.RowVal.toInt(), 2);

  TGridRow t = Row(TGridRowTyp::grtText, QStringLiteral("a"), QStringLiteral("a"), 0, 100);
  t.IsList = true;
  t.List = {QStringLiteral("a=a"), QStringLiteral("b=b"), QStringLiteral("c=c"), CEmpty + QLatin1Char('=') + CEmpty};
  EXPECT_FALSE(AcceptValue(t, QStringLiteral("zz"), {}).Accepted);
  EXPECT_EQ(t.RowVal.toString(), QStringLiteral("a"));
  EXPECT_TRUE(AcceptValue(t, QString(), {}).Accepted) << "the empty entry is an entry";
  EXPECT_TRUE(IsListEntry(t, QStringLiteral("c")));
}

TEST(AcceptValue, AListRefusesWhatDoesNotReadAsANumber) {
  TGridRow n = Row(TGridRowTyp::grtInteger, 1, 0, 0, 2147483647);
  n.IsList = true;
  n.List = {QStringLiteral("0=Aus"), QStringLiteral("1=Ein"), QStringLiteral("2=Auto")};
  for (const QString& typed : {QStringLiteral("zz"), QStringLiteral("1.5"), QString()}) {
    EXPECT_FALSE(AcceptValue(n, typed, {}).Accepted) << typed.toStdString() << ": not the default in its place";
    EXPECT_EQ(n.RowVal.toInt(), 1) << typed.toStdString();
  }
  TGridRow f = Row(TGridRowTyp::grtFloat, 2.5, 0.5, 0, 10);
  f.IsList = true;
  f.List = {QStringLiteral("0.5=klein"), QStringLiteral("2.5=groß")};
  EXPECT_FALSE(AcceptValue(f, QStringLiteral("abc"), {}).Accepted);
  EXPECT_DOUBLE_EQ(f.RowVal.toDouble(), 2.5);
  EXPECT_TRUE(AcceptValue(f, QStringLiteral("0,5"), {}).Accepted) << "a decimal comma still reads";
}

TEST(AcceptValue, AnInvalidIedNameIsRefusedNotCut) {
  TGridRow ied = Row(TGridRowTyp::grtText, QStringLiteral("IED1"), QString(), 0, 100);
  ied.ID = CIedNameId;
  QString told;
  const TAcceptResult r = AcceptValue(ied, QStringLiteral("1 Station"), {}, [&](const QString& n) { told = n; });
  EXPECT_FALSE(r.Accepted);
  EXPECT_TRUE(told.isEmpty()) << "the ICD file keeps its name";
  EXPECT_EQ(ied.RowVal.toString(), QStringLiteral("IED1"));
  EXPECT_FALSE(IsValidIedName(QString(65, QLatin1Char('a'))));
  EXPECT_TRUE(IsValidIedName(QString(64, QLatin1Char('a'))));
}
