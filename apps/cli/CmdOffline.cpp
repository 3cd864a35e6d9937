// vanta-cli offline: the store of downloaded and imported files, no device.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "CliSession.h"
#include "OfflineStore.h"
#include "Language.h"

namespace vanta::cli {

namespace {

QString StoreDir(const TCliOptions& o) {
  if (!o.DataDir.isEmpty()) return o.DataDir;
  return DefaultDataFolder();  // where "readout download" and the host put their files
}

QJsonObject NodeJson(const TStoreNode& n) {
  QJsonObject o{{QStringLiteral("text"), n.Text}, {QStringLiteral("tag"), n.Tag}};
  if (!n.Path.isEmpty() && n.Tag >= stRecordingFile) o.insert(QStringLiteral("path"), n.Path);
  QJsonArray children;
  for (const TStoreNode& c : n.Children) children.append(NodeJson(c));
  if (!n.Children.isEmpty() || n.Tag < stRecordingFile) o.insert(QStringLiteral("children"), children);
  return o;
}

void PrintNode(TCliOutput& out, const TStoreNode& n, int depth) {
  const bool file = n.Tag == stRecordingFile || n.Tag == stEventFile;
  out.Line(QString(depth * 2, QLatin1Char(' ')) + (file ? QStringLiteral("- ") : QStringLiteral("+ ")) +
           // group names are kept German in the data and shown in the program's language
           (file ? n.Text : QCoreApplication::translate("TReadoutTree", n.Text.toUtf8().constData())) +
           (file ? QStringLiteral("  [%1]").arg(QFileInfo(n.Path).fileName()) : QString()));
  for (const TStoreNode& c : n.Children) PrintNode(out, c, depth + 1);
}

const TStation* Station(const QList<TStation>& all, const QString& sn) {
  for (const TStation& s : all)
    if (s.Folder == sn) return &s;
  return nullptr;
}

int Run(TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
  const QString store = StoreDir(o);
  const QString op = a.Args[0];
  if (op == QLatin1String("scan")) {
    QJsonArray list;
    for (const TStation& s : ScanStore(store)) {
      // The folder is the device's serial number: a number for a script, the folder as it is beside it.
      bool numeric = false;
      const qint64 serial = s.Folder.toLongLong(&numeric);
      list.append(QJsonObject{{QStringLiteral("station"), s.Folder},
                              {QStringLiteral("serial"), numeric ? QJsonValue(serial) : QJsonValue(QJsonValue::Null)},
                              {QStringLiteral("text"), s.Text},
                              {QStringLiteral("plant"), s.Plant},
                              {QStringLiteral("recordings"), s.Recordings},
                              {QStringLiteral("events"), s.Events},
                              {QStringLiteral("newest"), QFileInfo(s.Newest).fileName()}});
      out.Line(TEn::tr("%1\t%2\t%3 recordings\t%4 events\tnewest %5")
                   .arg(s.Plant, s.Text)
                   .arg(s.Recordings)
                   .arg(s.Events)
                   .arg(QFileInfo(s.Newest).fileName()));
    }
    // An empty store said in words: a silent terminal reads like a hang or a wrong folder.
    if (list.isEmpty() && !out.Json()) out.Note(TEn::tr("no stations in %1").arg(QDir::toNativeSeparators(store)));
    out.Result().insert(QStringLiteral("stations"), list);
    return ecDone;
  }
  const QList<TStation> stations = ScanStore(store);
  if (op == QLatin1String("tree")) {
    const TStation* s = Station(stations, a.Args.value(1));
    if (!s) {
      out.Error(TEn::tr("no station %1 in %2").arg(a.Args.value(1), store));
      return ecUsage;
    }
    const TStoreNode tree = BuildStationTree(*s);
    PrintNode(out, tree, 0);
    out.Result().insert(QStringLiteral("tree"), NodeJson(tree));
    return ecDone;
  }
  if (op == QLatin1String("import")) {
    const TImportResult r = ImportFolder(a.Args.value(1), store);
    for (const QString& f : r.Failed) out.Note(f);
    // Files named by no rule stay where they are: said, so none goes missing unseen.
    for (const QString& f : r.Ignored) out.Note(TEn::tr("%1: not imported, the name is no record file's name").arg(f));
    out.Line(TTr::tr("Es wurden %1 Dateien importiert").arg(r.Total()));
    out.Result() = QJsonObject{{QStringLiteral("events"), r.Events},
                               {QStringLiteral("recordings"), r.Recordings},
                               {QStringLiteral("failed"), QJsonArray::fromStringList(r.Failed)},
                               {QStringLiteral("ignored"), QJsonArray::fromStringList(r.Ignored)}};
    return r.Failed.isEmpty() ? ecDone : ecNotStored;
  }
  if (op == QLatin1String("export")) {
    const QString target = a.Args.value(1);
    QStringList failed;
    const int n = ExportFiles(a.Args.mid(2), target, failed);
    for (const QString& f : failed) out.Note(f);
    out.Line(TTr::tr("Es wurden %1 Dateien nach %2 exportiert.").arg(n).arg(target));
    out.Result() = QJsonObject{{QStringLiteral("exported"), n}, {QStringLiteral("failed"), QJsonArray::fromStringList(failed)}};
    return failed.isEmpty() ? ecDone : ecNotStored;
  }
  // rm
  QStringList files;
  if (a.Has(QStringLiteral("station"))) {
    const QString sn = a.Value(QStringLiteral("station"));
    const TStation* s = Station(stations, sn);
    const qsizetype count = s ? FilesBelow(BuildStationTree(*s)).size() : 0;
    if (!DeleteStation(store, sn, [&out](const QString& l) { out.Line(l); })) {
      out.Error(TEn::tr("no station %1 in %2").arg(sn, store));
      return ecUsage;
    }
    out.Result().insert(QStringLiteral("removed"), count);
    out.Result().insert(QStringLiteral("failed"), QJsonArray());
    return ecDone;
  }
  if (a.Has(QStringLiteral("class"))) {
    const TStation* s = Station(stations, a.Value(QStringLiteral("class")));
    const QString cls = a.Args.value(1);
    if (!s) {
      out.Error(TEn::tr("no station %1 in %2").arg(a.Value(QStringLiteral("class")), store));
      return ecUsage;
    }
    for (const QString& f : FilesBelow(BuildStationTree(*s))) {
      TStoreName n;
      const bool events = cls == QLatin1String("events");
      if (MatchStoreName(QFileInfo(f).fileName(), n) && (events ? !n.Recording : n.Class == cls)) files << f;
    }
  }
  // Named files: only what is in the store, found by its name or its path there.
  QStringList failed;
  for (const QString& name : a.Has(QStringLiteral("class")) ? QStringList() : a.Args.mid(1)) {
    QString why;
    const QString path = StoredFile(store, name, why);
    if (path.isEmpty())
      failed << why;
    else
      files << path;
  }
  int removed = 0;
  for (const QString& f : files) {
    if (OfflineDelFile(f, [&out](const QString& l) { out.Line(l); }))
      ++removed;
    else
      failed << TTr::tr("%1: nicht gelöscht").arg(f);
  }
  // The document names them in "failed"; people read them on stderr.
  if (!out.Json())
    for (const QString& f : failed) out.Note(f);
  out.Result().insert(QStringLiteral("removed"), removed);
  out.Result().insert(QStringLiteral("failed"), QJsonArray::fromStringList(failed));
  return failed.isEmpty() ? ecDone : ecUsage;
}

}  // namespace

TCliCommand OfflineCommand() {
  TCliCommand c{QStringLiteral("offline"),
                QStringLiteral("offline scan | offline tree SN | offline import SRC | offline export DEST FILE... | "
                               "offline rm FILE... | offline rm --class SN CLASS|events | offline rm --station SN"),
                {{{QStringLiteral("class")}, true}, {{QStringLiteral("station")}, true}},
                [](const TCliArgs& a) {
                  const QString op = a.Args.value(0);
                  const qsizetype n = a.Args.size();
                  if (op == QLatin1String("scan")) return n == 1 ? TArgProblem::None() : Unexpected(a.Args.last());
                  if (op == QLatin1String("tree") || op == QLatin1String("import"))
                    return n == 2 ? TArgProblem::None() : Missing(op == QLatin1String("tree") ? QStringLiteral("SN") : QStringLiteral("SRC"));
                  if (op == QLatin1String("export")) return n >= 3 ? TArgProblem::None() : Missing(TEn::tr("DEST and FILE"));
                  if (op == QLatin1String("rm")) {
                    if (a.Has(QStringLiteral("station"))) return n == 1 ? TArgProblem::None() : Unexpected(a.Args.last());
                    if (a.Has(QStringLiteral("class"))) return n == 2 ? TArgProblem::None() : Missing(TEn::tr("CLASS"));
                    return n >= 2 ? TArgProblem::None() : Missing(TEn::tr("FILE"));
                  }
                  if (op.isEmpty()) return Missing(TEn::tr("scan, tree, import, export or rm"));
                  return TArgProblem::Usage(TEn::tr("unknown operation '%1'").arg(op));
                },
                nullptr};
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions& o) { return Run(out, a, o); };
  return c;
}

}  // namespace vanta::cli
