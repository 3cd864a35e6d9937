#include "MappingDb.h"
#include "Language.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QHash>
#include <QUuid>

namespace vanta {

namespace {

// The statements with their "%" placeholders, as the pickers run them.
const char* const CStatements[] = {
    R"(Select s.DATACLASS, dc.NAME FROM vanta s INNER JOIN data_class dc ON s.DATACLASS = dc.ID WHERE s.DATACLASS not null AND s.DATACLASS>0 AND s.DATATYPE ="float32" AND (s.DATACLASS<9 OR s.DATACLASS=18) GROUP BY s.DATACLASS ORDER BY s.DATACLASS)",
    R"(SELECT s.ID, s.vantaID, lang.text, lang.short, m.grouping, grp.MainGroup, m.number, maingrp.text as mngrp FROM vanta s INNER JOIN %s lang ON s.ID = lang.ID INNER JOIN %s maingrp ON grp.MainGroup = maingrp.short INNER JOIN pq_grouping grp on grp.grouping = m.grouping INNER JOIN main m ON s.ID = m.ID INNER JOIN main m2 ON m2.short = grp.MainGroup WHERE s.Dataclass = 3 AND s.DataType <> "extreme" AND grp.MainGroup in ("F_maingroup", "U_maingroup", "I_maingroup", "E_maingroup", "P_maingroup", "A_maingroup", "S_maingroup") ORDER BY s.ID;)",
    R"(SELECT s.ID, s.VantaID, lang.text, lang.short, m.grouping, grp.MainGroup, m.number, maingrp.text as mngrp FROM vanta s INNER JOIN %s lang ON s.ID = lang.ID INNER JOIN %s maingrp ON grp.MainGroup = maingrp.short INNER JOIN pq_grouping grp on grp.grouping = m.grouping INNER JOIN main m ON s.ID = m.ID INNER JOIN main m2 ON m2.short = grp.MainGroup WHERE s.DataClass<>3 AND s.DataType <> "extreme" AND grp.MainGroup in ("F_maingroup", "U_maingroup" , "I_maingroup", "E_maingroup", "P_maingroup", "A_maingroup", "S_maingroup") GROUP BY m.id ORDER BY m.ID ;)",
    R"(SELECT grp.Grouping, grp.MainGroup, g.text, m.number, m.short FROM main m INNER JOIN pq_grouping grp ON m.short = grp.Grouping INNER JOIN %s g ON m.id = g.id WHERE m.grouping = 'pq_grouping' AND m.Number not null ORDER BY maingroup, m.Number;)",
    R"(SELECT g.text, m.number, m.short FROM main m INNER JOIN %s g ON m.id = g.id WHERE m.grouping = 'pq_grouping' AND m.short like '%%_maingroup' AND m.Number not null ORDER BY m.Number;)",
    R"(SELECT s.ID, s.VantaID, lang.text, lang.short, m.grouping, grp.MainGroup, m.number, maingrp.text as mngrp FROM vanta s INNER JOIN %s lang ON s.ID = lang.ID INNER JOIN %s maingrp ON grp.MainGroup = maingrp.short INNER JOIN pq_grouping grp on grp.grouping = m.grouping INNER JOIN main m ON s.ID = m.ID INNER JOIN main m2 ON m2.short = grp.MainGroup WHERE s.DATATYPE = "float32" AND m.grouping <> "" AND m2.number not null AND  s.DATACLASS = %d ORDER BY m2.number, m.number;)",
    R"(Select dataclass from vanta where VantaID = %u;)",
};

// The standard "%" format: %s the language table, %d a class, %u an id, %% a percent sign.
QString Fill(const char* pattern, const QString& lang, int dataClass, uint32_t vantaId) {
  QString out;
  const QString p = QString::fromUtf8(pattern);
  for (qsizetype i = 0; i < p.size(); ++i) {
    if (p[i] != QLatin1Char('%') || i + 1 >= p.size()) {
      out += p[i];
      continue;
    }
    const QChar f = p[++i];
    if (f == QLatin1Char('s'))
      out += lang;
    else if (f == QLatin1Char('d'))
      out += QString::number(dataClass);
    else if (f == QLatin1Char('u'))
      out += QString::number(vantaId);
    else if (f == QLatin1Char('%'))
      out += QLatin1Char('%');
    else
      out += QLatin1Char('%') + f;
  }
  return out;
}

bool ValidTableName(const QString& name) {
  static const QStringList known{QStringLiteral("lang_de"), QStringLiteral("lang_en")};
  return known.contains(name);
}

}  // namespace

void TDictCollection::Add(qint64 id, const TDictItems& item) {
  if (Items.contains(id)) return;
  Items.insert(id, item);
  Order << id;
}

QString TMappingDb::Statement(int number, const QString& langTable, int dataClass, uint32_t vantaId) {
  if (number < 1 || number > 7) return {};
  return Fill(CStatements[number - 1], langTable, dataClass, vantaId);
}

TMappingDb::~TMappingDb() {
  if (FConnection.isEmpty()) return;
  QSqlDatabase::database(FConnection, false).close();
  QSqlDatabase::removeDatabase(FConnection);
}

bool TMappingDb::Open(const QString& path, const QString& langTable, QString& error) {
  if (!ValidTableName(langTable)) {
    error = TTr::tr("unbekannte Sprachtabelle \"%1\"").arg(langTable);
    return false;
  }
  if (!QFileInfo(path).isFile()) {
    error = TTr::tr("%1: Datei fehlt").arg(path);
    return false;
  }
  // SQLite opens any file and only then finds no tables in it: a file that
  // is no database at all is told as such, not as a missing table.
  if (QFile f(path); f.open(QIODevice::ReadOnly) && !f.read(16).startsWith("SQLite format 3")) {
    error = TTr::tr("%1: keine SQLite-Datenbank").arg(path);
    return false;
  }
  FConnection = QStringLiteral("mappingdb-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnection);
  db.setDatabaseName(path);
  db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
  if (!db.open()) {
    error = QStringLiteral("%1: %2").arg(path, db.lastError().text());
    return false;
  }
  const QStringList tables = db.tables();
  for (const QString& t : {QStringLiteral("vanta"), QStringLiteral("data_class"), QStringLiteral("main"),
                           QStringLiteral("pq_grouping"), langTable}) {
    if (!tables.contains(t, Qt::CaseInsensitive)) {
      error = TTr::tr("%1: Tabelle \"%2\" fehlt").arg(path, t);
      return false;
    }
  }
  FLang = langTable;
  return true;
}

namespace {
bool Run(const QString& connection, const QString& sql, QSqlQuery& q, QString& error) {
  q = QSqlQuery(QSqlDatabase::database(connection, false));
  if (!q.exec(sql)) {
    error = q.lastError().text();
    return false;
  }
  return true;
}
}  // namespace

bool TMappingDb::DataClasses(QList<TDataClass>& out, QString& error) {
  QSqlQuery q;
  if (!Run(FConnection, Statement(1, FLang), q, error)) return false;
  while (q.next()) out << TDataClass{q.value(QStringLiteral("DATACLASS")).toInt(), q.value(QStringLiteral("NAME")).toString()};
  return true;
}

bool TMappingDb::Values(const QString& sql, TDictCollection& out, QString& error) {
  QSqlQuery q;
  if (!Run(FConnection, sql, q, error)) return false;
  while (q.next()) {
    TDictItems d;
    d.grpMain = q.value(QStringLiteral("mngrp")).toString();
    d.grpSub = q.value(QStringLiteral("grouping")).toString();
    d.subNum = q.value(QStringLiteral("number")).toString();
    d.hasNum = !d.subNum.isEmpty();
    d.TagString = q.value(QStringLiteral("VantaID")).toString();
    d.text = q.value(QStringLiteral("text")).toString();
    d.shortText = q.value(QStringLiteral("short")).toString();
    d.vantaID = q.value(QStringLiteral("VantaID")).toUInt();
    out.Add(q.value(QStringLiteral("ID")).toLongLong(), d);
  }
  return true;
}

bool TMappingDb::ModbusValues(TDictCollection& out, QString& error) {
  return Values(Statement(2, FLang), out, error) && Values(Statement(3, FLang), out, error);
}

bool TMappingDb::SubGroups(QList<TSubGroup>& out, QString& error) {
  QSqlQuery q;
  if (!Run(FConnection, Statement(4, FLang), q, error)) return false;
  while (q.next())
    out << TSubGroup{q.value(QStringLiteral("Grouping")).toString(), q.value(QStringLiteral("MainGroup")).toString(),
                     q.value(QStringLiteral("text")).toString(), q.value(QStringLiteral("number")).toString(),
                     q.value(QStringLiteral("short")).toString()};
  return true;
}

bool TMappingDb::MainGroups(QList<TMainGroup>& out, QString& error) {
  QSqlQuery q;
  if (!Run(FConnection, Statement(5, FLang), q, error)) return false;
  while (q.next())
    out << TMainGroup{q.value(QStringLiteral("text")).toString(), q.value(QStringLiteral("number")).toString(),
                      q.value(QStringLiteral("short")).toString()};
  return true;
}

bool TMappingDb::ClassValues(int dataClass, TDictCollection& out, QString& error) {
  return Values(Statement(6, FLang, dataClass), out, error);
}

bool TMappingDb::DataClassOf(uint32_t vantaId, int& dataClass, bool& found, QString& error) {
  QSqlQuery q;
  found = false;
  if (!Run(FConnection, Statement(7, FLang, 0, vantaId), q, error)) return false;
  if (q.next()) {
    found = true;
    dataClass = q.value(QStringLiteral("dataclass")).toInt();
  }
  return true;
}

bool TMappingDb::BuildTree(const TDictCollection& values, const QString& startId, TPickerTree& tree, QString& error) {
  QList<TSubGroup> subs;
  QList<TMainGroup> mains;
  if (!SubGroups(subs, error) || !MainGroups(mains, error)) return false;
  tree = TPickerTree();
  // Path key -> index path of the node, as the picker finds a value's parent.
  QHash<QString, QList<int>> nodes;
  for (const TMainGroup& m : mains) {
    TPickerNode main{TPickerNode::TKind::pnMain, m.Text, {}, {}};
    const int mi = int(tree.Roots.size());
    for (const TSubGroup& sg : subs) {
      if (sg.MainGroup != m.Short) continue;
      nodes.insert(m.Text + QLatin1Char('_') + sg.Grouping, {mi, int(main.Children.size())});
      main.Children << TPickerNode{TPickerNode::TKind::pnSub, sg.Text, {}, {}};
    }
    nodes.insert(m.Text, {mi});
    tree.Roots << main;
  }
  auto at = [&](const QList<int>& path) -> TPickerNode& {
    TPickerNode* n = &tree.Roots[path[0]];
    for (int i = 1; i < path.size(); ++i) n = &n->Children[path[i]];
    return *n;
  };
  for (qint64 id : values.Order) {
    const TDictItems& d = values.Items[id];
    const QString subKey = d.grpMain + QLatin1Char('_') + d.grpSub;
    if (!nodes.contains(subKey)) continue;  // a value of a group the tree does not show
    QList<int> parent = nodes.value(subKey);
    if (d.hasNum) {
      const QString numKey = subKey + QLatin1Char('_') + d.subNum;
      if (!nodes.contains(numKey)) {
        TPickerNode& sub = at(parent);
        nodes.insert(numKey, parent + QList<int>{int(sub.Children.size())});
        sub.Children << TPickerNode{TPickerNode::TKind::pnNumber, d.subNum, {}, {}};
      }
      parent = nodes.value(numKey);
    }
    TPickerNode& p = at(parent);
    if (tree.Selected.isEmpty() && !startId.isEmpty() && d.TagString == startId) tree.Selected = parent + QList<int>{int(p.Children.size())};
    p.Children << TPickerNode{TPickerNode::TKind::pnValue, QStringLiteral("%1 [%2]").arg(d.text, d.shortText), d.TagString, {}};
  }
  return true;
}

namespace {
bool SearchNode(const TPickerNode& n, const QString& text, QList<int>& path) {
  if (n.Children.isEmpty()) return n.Text.contains(text, Qt::CaseInsensitive) || n.Tag.contains(text, Qt::CaseInsensitive);
  for (int i = 0; i < n.Children.size(); ++i) {
    path << i;
    if (SearchNode(n.Children[i], text, path)) return true;
    path.removeLast();
  }
  return false;
}
}  // namespace

QList<int> SearchPickerTree(const TPickerTree& tree, const QString& text) {
  QList<int> path;
  for (int i = 0; i < tree.Roots.size(); ++i) {
    path = {i};
    if (SearchNode(tree.Roots[i], text, path)) return path;
  }
  return {};
}

}  // namespace vanta
