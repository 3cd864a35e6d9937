// The mapping database's seven statements against the sample database,
// checked with simpler queries of the test's own.
#include <gtest/gtest.h>

#include <QFile>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include "MappingDb.h"

using namespace vanta;

namespace {

// A second, independent look at the same file.
struct TPeek {
  QString Name = QUuid::createUuid().toString();
  QSqlDatabase Db;
  explicit TPeek(const QString& path) {
    Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Name);
    Db.setDatabaseName(path);
    Db.open();
  }
  ~TPeek() {
    Db.close();
    Db = QSqlDatabase();
    QSqlDatabase::removeDatabase(Name);
  }
  QString One(const QString& sql) {
    QSqlQuery q(Db);
    q.exec(sql);
    return q.next() ? q.value(0).toString() : QString();
  }
};

const QString CDb = QStringLiteral(VANTA_MAPPINGDB);

}  // namespace

TEST(MappingDb, PlaceholdersAreFilledAsTheStandardFormatDoes) {
  const QString s5 = TMappingDb::Statement(5, QStringLiteral("lang_en"));
  EXPECT_TRUE(s5.contains(QStringLiteral("like '%_maingroup'"))) << s5.toStdString();
  EXPECT_TRUE(s5.contains(QStringLiteral("INNER JOIN lang_en g")));
  const QString s2 = TMappingDb::Statement(2, QStringLiteral("lang_de"));
  EXPECT_EQ(s2.count(QStringLiteral("lang_de")), 2);
  EXPECT_TRUE(TMappingDb::Statement(6, QStringLiteral("lang_de"), 18).contains(QStringLiteral("s.DATACLASS = 18 ORDER")));
  EXPECT_TRUE(TMappingDb::Statement(7, QStringLiteral("lang_de"), 0, 4294967295u).endsWith(QStringLiteral("VantaID = 4294967295;")));
}

TEST(MappingDb, DataClassesOfTheMonitoringPicker) {
  TMappingDb db;
  QString error;
  ASSERT_TRUE(db.Open(CDb, QStringLiteral("lang_de"), error)) << error.toStdString();
  QList<TDataClass> classes;
  ASSERT_TRUE(db.DataClasses(classes, error)) << error.toStdString();
  ASSERT_FALSE(classes.isEmpty());
  TPeek peek(CDb);
  int last = 0;
  for (const TDataClass& c : classes) {
    EXPECT_TRUE(c.Number < 9 || c.Number == 18) << c.Number;
    EXPECT_GT(c.Number, last) << "ordered, once each";
    last = c.Number;
    EXPECT_EQ(peek.One(QStringLiteral("SELECT NAME FROM data_class WHERE ID=%1").arg(c.Number)), c.Name);
    EXPECT_NE(peek.One(QStringLiteral("SELECT count(*) FROM vanta WHERE DATACLASS=%1 AND DATATYPE='float32'").arg(c.Number)),
              QStringLiteral("0"));
  }
}

TEST(MappingDb, ModbusValuesWithoutExtremesClassThreeFirst) {
  TMappingDb db;
  QString error;
  ASSERT_TRUE(db.Open(CDb, QStringLiteral("lang_de"), error)) << error.toStdString();
  TDictCollection values;
  ASSERT_TRUE(db.ModbusValues(values, error)) << error.toStdString();
  ASSERT_FALSE(values.Order.isEmpty());
  TPeek peek(CDb);
  bool otherSeen = false;
  for (qint64 id : values.Order) {
    const TDictItems& d = values.Items[id];
    EXPECT_NE(peek.One(QStringLiteral("SELECT DATATYPE FROM vanta WHERE ID=%1").arg(id)), QStringLiteral("extreme"));
    const bool three = peek.One(QStringLiteral("SELECT DATACLASS FROM vanta WHERE ID=%1").arg(id)) == QStringLiteral("3");
    if (!three) otherSeen = true;
    EXPECT_FALSE(three && otherSeen) << "class 3 values come first";
    EXPECT_EQ(d.TagString, QString::number(d.vantaID));
    EXPECT_EQ(d.hasNum, !d.subNum.isEmpty());
    EXPECT_EQ(d.text, peek.One(QStringLiteral("SELECT text FROM lang_de WHERE ID=%1").arg(id)));
  }
  EXPECT_EQ(values.Order.size(), values.Items.size()) << "an ID once";
}

TEST(MappingDb, ClassValuesGroupsAndSearch) {
  TMappingDb db;
  QString error;
  ASSERT_TRUE(db.Open(CDb, QStringLiteral("lang_en"), error)) << error.toStdString();
  QList<TDataClass> classes;
  ASSERT_TRUE(db.DataClasses(classes, error));
  ASSERT_FALSE(classes.isEmpty());
  TDictCollection values;
  ASSERT_TRUE(db.ClassValues(classes.first().Number, values, error)) << error.toStdString();
  ASSERT_FALSE(values.Order.isEmpty());
  TPeek peek(CDb);
  for (qint64 id : values.Order)
    EXPECT_EQ(peek.One(QStringLiteral("SELECT DATATYPE FROM vanta WHERE ID=%1").arg(id)), QStringLiteral("float32"));

  QList<TMainGroup> mains;
  ASSERT_TRUE(db.MainGroups(mains, error)) << error.toStdString();
  ASSERT_FALSE(mains.isEmpty());
  for (const TMainGroup& m : mains) EXPECT_TRUE(m.Short.endsWith(QStringLiteral("_maingroup"))) << m.Short.toStdString();
  QList<TSubGroup> subs;
  ASSERT_TRUE(db.SubGroups(subs, error)) << error.toStdString();
  for (const TSubGroup& s : subs) EXPECT_FALSE(s.Number.isEmpty());

  int dataClass = -1;
  bool found = false;
  const uint32_t vantaId = values.Items[values.Order.first()].vantaID;
  ASSERT_TRUE(db.DataClassOf(vantaId, dataClass, found, error));
  EXPECT_TRUE(found);
  EXPECT_EQ(dataClass, classes.first().Number);
  ASSERT_TRUE(db.DataClassOf(123, dataClass, found, error));
  EXPECT_FALSE(found) << "an id without a row finds nothing";
}

TEST(MappingDb, MissingFileOrTablesAreNamed) {
  TMappingDb db;
  QString error;
  EXPECT_FALSE(db.Open(QStringLiteral("/nonexistent/MappingDB.db"), QStringLiteral("lang_de"), error));
  EXPECT_TRUE(error.contains(QStringLiteral("Datei fehlt")));
  EXPECT_FALSE(db.Open(CDb, QStringLiteral("lang_xx; DROP TABLE vanta"), error)) << "no text into the statements";
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("partial.db"));
  {
    TPeek make(path);
    QSqlQuery q(make.Db);
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE vanta (ID INTEGER, VantaID INTEGER, DATACLASS INTEGER, DATATYPE TEXT)")));
  }
  TMappingDb partial;
  EXPECT_FALSE(partial.Open(path, QStringLiteral("lang_de"), error));
  EXPECT_TRUE(error.contains(QStringLiteral("Tabelle \"data_class\" fehlt"))) << error.toStdString();
  // Any other file is no database at all, and is called that.
  const QString junk = dir.filePath(QStringLiteral("junk.db"));
  {
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is a text file, not a database\n");
  }
  TMappingDb notDb;
  EXPECT_FALSE(notDb.Open(junk, QStringLiteral("lang_de"), error));
  EXPECT_TRUE(error.endsWith(QStringLiteral("keine SQLite-Datenbank"))) << error.toStdString();
}

TEST(MappingDb, NullNumbersOrphansAndDuplicateIds) {
  TMappingDb db;
  QString error;
  ASSERT_TRUE(db.Open(CDb, QStringLiteral("lang_de"), error)) << error.toStdString();
  TDictCollection values;
  ASSERT_TRUE(db.ClassValues(3, values, error)) << error.toStdString();
  ASSERT_TRUE(values.Items.contains(60)) << "a value without a number is listed";
  EXPECT_FALSE(values.Items[60].hasNum);
  EXPECT_FALSE(values.Items.contains(61)) << "a sub-group without a shown main group is not";
  TDictCollection modbus;
  ASSERT_TRUE(db.ModbusValues(modbus, error));
  EXPECT_FALSE(modbus.Items.contains(61));

  // A database in which one ID comes twice: the first row wins.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("dup.db"));
  {
    TPeek make(path);
    QSqlQuery q(make.Db);
    for (const char* sql : {"CREATE TABLE data_class (ID INTEGER, NAME TEXT)",
                            "CREATE TABLE vanta (ID INTEGER, VantaID INTEGER, DATACLASS INTEGER, DATATYPE TEXT)",
                            "CREATE TABLE main (ID INTEGER, short TEXT, grouping TEXT, number TEXT)",
                            "CREATE TABLE pq_grouping (Grouping TEXT, MainGroup TEXT)",
                            "CREATE TABLE lang_de (ID INTEGER, text TEXT, short TEXT)",
                            "INSERT INTO data_class VALUES (3, 'x')",
                            "INSERT INTO vanta VALUES (1, 100, 3, 'float32')",
                            "INSERT INTO main VALUES (1, 'a', 'G', '1')",
                            "INSERT INTO main VALUES (2, 'U_maingroup', 'pq_grouping', '1')",
                            "INSERT INTO pq_grouping VALUES ('G', 'U_maingroup')",
                            "INSERT INTO lang_de VALUES (1, 'erste', 'e')",
                            "INSERT INTO lang_de VALUES (1, 'zweite', 'z')",
                            "INSERT INTO lang_de VALUES (2, 'Spannung', 'U_maingroup')"})
      ASSERT_TRUE(q.exec(QString::fromLatin1(sql))) << sql;
  }
  TMappingDb dup;
  ASSERT_TRUE(dup.Open(path, QStringLiteral("lang_de"), error)) << error.toStdString();
  TDictCollection d;
  ASSERT_TRUE(dup.ClassValues(3, d, error)) << error.toStdString();
  ASSERT_EQ(d.Order.size(), 1);
  EXPECT_EQ(d.Items[1].text, QStringLiteral("erste"));
}

TEST(MappingDb, PickerTreeAndSearch) {
  TMappingDb db;
  QString error;
  ASSERT_TRUE(db.Open(CDb, QStringLiteral("lang_de"), error)) << error.toStdString();
  TDictCollection values;
  ASSERT_TRUE(db.ClassValues(3, values, error));
  TPickerTree tree;
  ASSERT_TRUE(db.BuildTree(values, QStringLiteral("16843012"), tree, error)) << error.toStdString();
  QList<TMainGroup> mains;
  ASSERT_TRUE(db.MainGroups(mains, error));
  ASSERT_EQ(tree.Roots.size(), mains.size()) << "one node per main group, in number order";
  EXPECT_EQ(tree.Roots[0].Text, mains[0].Text);
  // The selected node is the start id's value, below its number node.
  ASSERT_EQ(tree.Selected.size(), 4);
  const TPickerNode& sub = tree.Roots[tree.Selected[0]].Children[tree.Selected[1]];
  const TPickerNode& number = sub.Children[tree.Selected[2]];
  EXPECT_EQ(number.Kind, TPickerNode::TKind::pnNumber);
  const TPickerNode& value = number.Children[tree.Selected[3]];
  EXPECT_EQ(value.Tag, QStringLiteral("16843012"));
  EXPECT_TRUE(value.Text.endsWith(QLatin1Char(']'))) << "text [short]";
  // A value without a number hangs directly below its sub-group.
  bool direct = false;
  for (const TPickerNode& c : sub.Children) direct = direct || (c.Kind == TPickerNode::TKind::pnValue && c.Tag == QStringLiteral("16843070"));
  EXPECT_TRUE(direct);
  // Search by text or id, any case; the first leaf depth-first.
  EXPECT_EQ(SearchPickerTree(tree, QStringLiteral("16843012")), tree.Selected);
  const QList<int> hit = SearchPickerTree(tree, QStringLiteral("spannung l1"));
  ASSERT_FALSE(hit.isEmpty());
  EXPECT_TRUE(SearchPickerTree(tree, QStringLiteral("gibt es nicht")).isEmpty());
}
