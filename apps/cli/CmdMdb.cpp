// vanta-cli mdb: the mapping database's picker statements, without a device.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <functional>

#include "CliSession.h"
#include "Language.h"
#include "MappingDb.h"

namespace vanta::cli {

namespace {

QString DefaultDb() {
  // Next to the program in a build tree, else in the installed data folder.
  const QDir bin(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {bin.filePath(QStringLiteral("../../data/MappingDB.db")),
                                   bin.filePath(QStringLiteral("../share/vanta/MappingDB.db"))})
    if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).canonicalFilePath();
  return QStringLiteral("MappingDB.db");
}

// The database keeps numbers as text; a script compares them as numbers.
QJsonValue WholeOrNull(const QString& text) {
  bool ok = false;
  const qint64 n = text.trimmed().toLongLong(&ok);
  return ok ? QJsonValue(n) : QJsonValue(QJsonValue::Null);
}

QJsonObject ItemJson(qint64 id, const TDictItems& d) {
  return {{QStringLiteral("id"), id},           {QStringLiteral("vantaId"), qint64(d.vantaID)},
          {QStringLiteral("text"), d.text},     {QStringLiteral("short"), d.shortText},
          {QStringLiteral("main"), d.grpMain},  {QStringLiteral("sub"), d.grpSub},
          {QStringLiteral("number"), WholeOrNull(d.subNum)}};
}

void PrintItems(TCliOutput& out, const TDictCollection& c, const QString& filter = {}) {
  QJsonArray list;
  for (qint64 id : c.Order) {
    const TDictItems& d = c.Items[id];
    if (!filter.isEmpty() && !d.text.contains(filter, Qt::CaseInsensitive) && !d.TagString.contains(filter)) continue;
    list.append(ItemJson(id, d));
    out.Line(QStringLiteral("%1\t%2\t%3\t%4\t%5").arg(d.TagString, d.text, d.grpMain, d.grpSub, d.subNum));
  }
  out.Result().insert(QStringLiteral("values"), list);
}

int Run(TCliOutput& out, const TCliArgs& a) {
  TMappingDb db;
  QString error;
  const QString path = a.Has(QStringLiteral("db")) ? a.Value(QStringLiteral("db")) : DefaultDb();
  // The database's texts follow the program's language unless asked otherwise;
  // "de"/"en" name the same columns as the database's own "lang_de"/"lang_en".
  QString lang = a.Has(QStringLiteral("lang")) ? a.Value(QStringLiteral("lang")) : CurrentLanguage();
  if (!lang.startsWith(QLatin1String("lang_"))) lang.prepend(QLatin1String("lang_"));
  if (!db.Open(path, lang, error)) {
    out.Error(error);
    return ecUsage;
  }
  const QString op = a.Args[0];
  bool ok = true;
  if (op == QLatin1String("classes")) {
    QList<TDataClass> classes;
    ok = db.DataClasses(classes, error);
    QJsonArray list;
    for (const TDataClass& c : classes) {
      list.append(QJsonObject{{QStringLiteral("class"), c.Number}, {QStringLiteral("name"), c.Name}});
      out.Line(QStringLiteral("%1\t%2").arg(c.Number).arg(c.Name));
    }
    out.Result().insert(QStringLiteral("classes"), list);
  } else if (op == QLatin1String("values") || op == QLatin1String("search")) {
    TDictCollection c;
    const bool modbus = a.Has(QStringLiteral("modbus"));
    const QString term = op == QLatin1String("search") ? a.Args.value(1) : QString();
    if (modbus) {
      ok = db.ModbusValues(c, error);
    } else if (op == QLatin1String("search")) {
      // The monitoring picker searches a device id through its class.
      bool isId = false;
      const uint32_t id = term.toUInt(&isId);
      int dataClass = 0;
      bool found = false;
      if (isId && (ok = db.DataClassOf(id, dataClass, found, error)) && found) ok = db.ClassValues(dataClass, c, error);
      if (!isId) {
        QList<TDataClass> classes;
        ok = db.DataClasses(classes, error);
        for (const TDataClass& k : classes)
          if (ok) ok = db.ClassValues(k.Number, c, error);
      }
    } else {
      ok = db.ClassValues(a.Value(QStringLiteral("class")).toInt(), c, error);
    }
    if (ok) PrintItems(out, c, term);
  } else {  // tree: the picker's tree, for a class, for Modbus, or the groups alone
    TDictCollection c;
    if (a.Has(QStringLiteral("modbus")))
      ok = db.ModbusValues(c, error);
    else if (a.Has(QStringLiteral("class")))
      ok = db.ClassValues(a.Value(QStringLiteral("class")).toInt(), c, error);
    TPickerTree tree;
    if (ok) ok = db.BuildTree(c, a.Value(QStringLiteral("start")), tree, error);
    if (ok) {
      std::function<QJsonObject(const TPickerNode&, QList<int>, int)> walk = [&](const TPickerNode& n, QList<int> path, int depth) {
        const bool selected = !tree.Selected.isEmpty() && path == tree.Selected;
        out.Line(QString(depth * 2, QLatin1Char(' ')) + (selected ? QStringLiteral("> ") : QString()) + n.Text +
                 (n.Tag.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(n.Tag)));
        QJsonObject o{{QStringLiteral("text"), n.Text}};
        if (!n.Tag.isEmpty()) o.insert(QStringLiteral("id"), WholeOrNull(n.Tag));
        if (selected) o.insert(QStringLiteral("selected"), true);
        QJsonArray children;
        for (int i = 0; i < n.Children.size(); ++i) children.append(walk(n.Children[i], path + QList<int>{i}, depth + 1));
        if (!children.isEmpty()) o.insert(QStringLiteral("children"), children);
        return o;
      };
      QJsonArray roots;
      for (int i = 0; i < tree.Roots.size(); ++i) roots.append(walk(tree.Roots[i], {i}, 0));
      out.Result().insert(QStringLiteral("tree"), roots);
    }
  }
  if (!ok) {
    out.Error(QStringLiteral("%1: %2").arg(path, error));
    return ecUsage;
  }
  return ecDone;
}

}  // namespace

TCliCommand MdbCommand() {
  TCliCommand c{QStringLiteral("mdb"),
                QStringLiteral("mdb [--db FILE] [--lang de|en] classes | values --class N | values --modbus | "
                               "tree [--class N | --modbus] [--start ID] | search [--modbus] TEXT|ID"),
                {{{QStringLiteral("db")}, true},
                 {{QStringLiteral("lang")}, true},
                 {{QStringLiteral("class")}, true},
                 {{QStringLiteral("modbus")}, false},
                 {{QStringLiteral("start")}, true}},
                [](const TCliArgs& a) {
                  static const QStringList ops{QStringLiteral("classes"), QStringLiteral("values"), QStringLiteral("tree"),
                                               QStringLiteral("search")};
                  if (a.Args.isEmpty()) return Missing(TEn::tr("classes, values, tree or search"));
                  if (!ops.contains(a.Args[0])) return TArgProblem::Usage(TEn::tr("unknown operation '%1'").arg(a.Args[0]));
                  if (a.Args[0] == QLatin1String("values") && !a.Has(QStringLiteral("modbus"))) {
                    bool ok = false;
                    a.Value(QStringLiteral("class")).toInt(&ok);
                    if (!ok) return TArgProblem::Usage(TEn::tr("values needs --class N or --modbus"));
                  }
                  if (a.Args[0] == QLatin1String("search") && a.Args.size() < 2) return Missing(TEn::tr("TEXT or ID"));
                  if (a.Args.size() > (a.Args[0] == QLatin1String("search") ? 2 : 1)) return Unexpected(a.Args.last());
                  return TArgProblem::None();
                },
                nullptr};
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions&) { return Run(out, a); };
  return c;
}

}  // namespace vanta::cli
