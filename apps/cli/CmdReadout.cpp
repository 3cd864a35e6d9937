// vanta-cli readout: the readout window's tree, queued download and deletes
// on the same rules, headless.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <functional>

#include "CliSession.h"
#include "Download.h"
#include "Readout.h"
#include "Language.h"

namespace vanta::cli {

namespace {

TReadoutPlace Place(TCliSession& s) {
  TComUnit& u = s.Unit();
  TReadoutPlace p;
  p.EventDir = u.FEvtDir;
  p.RecorderDir = u.FRecDir;
  p.ToLocal = [&u](tmStamp_t t) { return CorrectUTCtoLocal(t, u.FtmeSet); };
  p.Log = [&s](const QString& line) { s.Out().Line(line); };
  return p;
}

QJsonObject NodeJson(const TReadoutNode& n) {
  QJsonObject o{{QStringLiteral("text"), n.Text}, {QStringLiteral("image"), n.Image}};
  if (!n.IsGroup()) {
    o.insert(QStringLiteral("path"), n.Path);
    o.insert(QStringLiteral("size"), qint64(n.FileSize));
    o.insert(QStringLiteral("onDisk"), n.Image == CImgOnDisk);
    if (n.IsAsync) o.insert(QStringLiteral("async"), true);
  }
  QJsonArray children;
  for (const TReadoutNode& c : n.Children) children.append(NodeJson(c));
  if (n.IsGroup()) o.insert(QStringLiteral("children"), children);
  return o;
}

void PrintNode(TCliOutput& out, const TReadoutNode& n, int depth) {
  const QString mark = n.IsGroup() ? QStringLiteral("+") : n.Image == CImgOnDisk ? QStringLiteral("*") : QStringLiteral("-");
  // Group names are kept German in the data and shown in the program's language.
  const QString text = n.IsGroup() ? QCoreApplication::translate("TReadoutTree", n.Text.toUtf8().constData()) : n.Text;
  out.Line(QString(depth * 2, QLatin1Char(' ')) + mark + QLatin1Char(' ') + text +
           (n.IsGroup() ? QString() : QStringLiteral("  [%1]").arg(n.Path)));
  for (const TReadoutNode& c : n.Children) PrintNode(out, c, depth + 1);
}

bool Tree(TCliSession& s, bool events, TReadoutTree& tree) {
  QByteArray text;
  if (!FetchListText(s, events, text)) return false;
  const QList<TListLine> lines = ParseListText(QString::fromLatin1(text));
  TReadoutPlace place = Place(s);
  TakeSnapshot(place);
  tree = events ? BuildEventTree(place, lines) : BuildRecordingTree(place, lines);
  return true;
}

int ShowTree(TCliSession& s, bool events) {
  const int since = s.RefusalCount();
  TReadoutTree tree;
  if (!Tree(s, events, tree)) return s.Fail(since, QStringLiteral("readout tree"));
  QJsonArray roots, hidden;
  for (const TReadoutNode& n : tree.Roots) {
    roots.append(NodeJson(n));
    PrintNode(s.Out(), n, 0);
  }
  for (const TReadoutNode& n : tree.Hidden) {
    hidden.append(NodeJson(n));
    s.Out().Line(QStringLiteral("(hidden) %1  [%2]").arg(n.Text, n.Path));
  }
  s.Out().Result().insert(QStringLiteral("tree"), roots);
  s.Out().Result().insert(QStringLiteral("hidden"), hidden);
  // The queue's "path=size" lines as fields.
  QJsonArray queue;
  for (const QString& line : tree.Queue) {
    const qsizetype at = line.lastIndexOf(QLatin1Char('='));
    queue.append(QJsonObject{{QStringLiteral("path"), line.left(at)}, {QStringLiteral("size"), line.mid(at + 1).toLongLong()}});
  }
  s.Out().Result().insert(QStringLiteral("queue"), queue);
  return ecDone;
}

// The queue line ("path=size") of a device path, or "".
QString QueueEntry(const QStringList& queue, const QString& path) {
  for (const QString& line : queue)
    if (line.startsWith(path + QLatin1Char('=')) && line.lastIndexOf(QLatin1Char('=')) == path.size()) return line;
  return {};
}

QStringList QueueOf(const QList<const TReadoutNode*>& leaves) {
  QStringList q;
  for (const TReadoutNode* n : leaves) q << QStringLiteral("%1=%2").arg(n->Path).arg(n->FileSize);
  return q;
}

const TReadoutNode* FindGroup(const TReadoutTree& t, const QString& cls) {
  std::function<const TReadoutNode*(const TReadoutNode&)> find = [&](const TReadoutNode& g) -> const TReadoutNode* {
    if (g.IsGroup() && g.Text == cls) return &g;
    for (const TReadoutNode& c : g.Children)
      if (const TReadoutNode* r = find(c)) return r;
    return nullptr;
  };
  for (const TRecordingClass& c : CRecordingClasses)
    if (cls == QLatin1String(c.Prefix)) return FindGroup(t, QString::fromUtf8(c.Caption));
  for (const TReadoutNode& r : t.Roots)
    if (const TReadoutNode* g = find(r)) return g;
  return nullptr;
}

int Download(TCliSession& s, const TCliArgs& a) {
  const int since = s.RefusalCount();
  TReadoutTree events, recordings;
  if (!Tree(s, true, events) || !Tree(s, false, recordings)) return s.Fail(since, QStringLiteral("readout list"));
  TReadoutChain chain(Place(s));
  const QString what = a.Args.value(1);
  if (what == QLatin1String("all")) {
    chain.Start(TReadoutChain::TQueue::qEvents, events.Queue);
    chain.Start(TReadoutChain::TQueue::qRecordings, recordings.Queue);
  } else if (what == QLatin1String("class")) {
    const TReadoutNode* g = FindGroup(recordings, a.Args.value(2));
    if (!g) {
      s.Out().Error(TEn::tr("no recording class '%1'").arg(a.Args.value(2)));
      return ecUsage;
    }
    chain.Start(TReadoutChain::TQueue::qClass, QueueOf(Files(*g)));
  }
  QJsonArray missing;
  if (what != QLatin1String("all") && what != QLatin1String("class")) {
    QStringList evt, rec;
    for (const QString& p : a.Args.mid(1)) {
      if (const QString e = QueueEntry(events.Queue, p); !e.isEmpty()) {
        evt << e;
      } else if (const QString r = QueueEntry(recordings.Queue, p); !r.isEmpty()) {
        rec << r;
      } else {
        s.Out().Note(TEn::tr("%1: not on the device").arg(p));
        missing.append(QJsonObject{{QStringLiteral("name"), p}, {QStringLiteral("result"), QStringLiteral("failed")},
                                   {QStringLiteral("reason"), QStringLiteral("nicht auf dem Gerät")}});  // untranslated
      }
    }
    if (!evt.isEmpty()) chain.Start(TReadoutChain::TQueue::qEvents, evt);
    if (!rec.isEmpty()) chain.Start(TReadoutChain::TQueue::qClass, rec);
  }
  TReadoutPlace place = Place(s);
  TDownloadResult r = RunDownloadChain(s, chain, place);
  bool storeFailed = false;
  for (const QJsonValue& v : r.Files)
    storeFailed |= v.toObject().value(QStringLiteral("result")).toString() == QLatin1String("failed");
  for (const QJsonValue& v : missing) r.Files.append(v);
  QJsonArray fetched;
  for (const QJsonValue& v : r.Files) {
    const QJsonObject f = v.toObject();
    if (f.value(QStringLiteral("result")).toString() == QLatin1String("failed")) continue;
    fetched.append(QJsonObject{{QStringLiteral("path"), f.value(QStringLiteral("name"))},
                               {QStringLiteral("from"), f.value(QStringLiteral("resumedAt")).toInteger(0)}});
  }
  s.Out().Result().insert(QStringLiteral("fetched"), fetched);
  ReportDownload(s, QStringLiteral("files"), r);
  // Only names the device does not have: the device's answer (3), not a local failure (5).
  if (!missing.isEmpty() && !storeFailed && r.ExitCode == ecNotStored) r.ExitCode = ecRefused;
  if (r.ExitCode == ecNoConnection) return r.ExitCode;
  // The lists again, as the window re-lists when the chain ends.
  TReadoutTree after;
  int onDisk = 0, total = 0;
  for (bool ev : {true, false}) {
    if (!Tree(s, ev, after)) return s.Fail(since, QStringLiteral("readout list"));
    QList<const TReadoutNode*> leaves;
    for (const TReadoutNode& r : after.Roots) leaves << (r.IsGroup() ? Leaves(r) : QList<const TReadoutNode*>{&r});
    for (const TReadoutNode& h : after.Hidden) leaves << &h;
    total += int(leaves.size());
    for (const TReadoutNode* n : leaves) onDisk += n->Image == CImgOnDisk ? 1 : 0;
  }
  s.Out().Line(TEn::tr("re-listed: %1 of %2 files on disk").arg(onDisk).arg(total));
  s.Out().Result().insert(QStringLiteral("onDisk"), onDisk);
  s.Out().Result().insert(QStringLiteral("listed"), total);
  return r.ExitCode;
}

int Remove(TCliSession& s, const TCliArgs& a) {
  const int since = s.RefusalCount();
  TReadoutTree events, recordings;
  if (!Tree(s, true, events) || !Tree(s, false, recordings)) return s.Fail(since, QStringLiteral("readout list"));
  QStringList evt, rec;
  if (a.Has(QStringLiteral("class"))) {
    const TReadoutNode* g = FindGroup(recordings, a.Value(QStringLiteral("class")));
    if (!g) {
      s.Out().Error(TEn::tr("no recording class '%1'").arg(a.Value(QStringLiteral("class"))));
      return ecUsage;
    }
    for (const TReadoutNode* n : Files(*g)) rec << n->Path;
  } else {
    for (const QString& p : a.Args.mid(1)) {
      if (!QueueEntry(events.Queue, p).isEmpty())
        evt << p;
      else if (!QueueEntry(recordings.Queue, p).isEmpty())
        rec << p;
      else
        s.Out().Note(TEn::tr("%1: not on the device").arg(p));
    }
  }
  TComUnit& u = s.Unit();
  QJsonArray removed;
  for (const auto& [list, cmd] : {std::pair{evt, ccci::TCcci::READOUT_EVT_RM}, std::pair{rec, ccci::TCcci::READOUT_REC_RM}})
    for (const QString& p : list) {
      if (!s.Request(cmd, [&] { u.SendCommand(cmd, p, false); })) return s.Fail(since, QStringLiteral("rm %1").arg(p));
      removed.append(p);
      s.Out().Line(QStringLiteral("removed %1").arg(p));
    }
  s.Out().Result().insert(QStringLiteral("removed"), removed);
  return ecDone;
}

}  // namespace

TCliCommand ReadoutCommand() {
  return {QStringLiteral("readout"),
          QStringLiteral("readout tree events|recordings | readout download all|class CLASS|PATH... | "
                         "readout rm PATH...|--class CLASS"),
          {{{QStringLiteral("class")}, true}},
          [](const TCliArgs& a) {
            const QString op = a.Args.value(0);
            if (op.isEmpty()) return Missing(TEn::tr("tree, download or rm"));
            if (op == QLatin1String("tree")) {
              if (a.Args.size() != 2 || (a.Args[1] != QLatin1String("events") && a.Args[1] != QLatin1String("recordings")))
                return TArgProblem::Usage(TEn::tr("tree takes events or recordings"));
              return TArgProblem::None();
            }
            if (op == QLatin1String("download")) {
              if (a.Args.size() < 2) return Missing(TEn::tr("all, class CLASS or PATH"));
              if (a.Args[1] == QLatin1String("class") && a.Args.size() != 3) return Missing(TEn::tr("CLASS"));
              if (a.Args[1] == QLatin1String("all") && a.Args.size() != 2) return Unexpected(a.Args.last());
              return TArgProblem::None();
            }
            if (op == QLatin1String("rm")) {
              if (a.Has(QStringLiteral("class")) == (a.Args.size() > 1))
                return TArgProblem::Usage(TEn::tr("rm takes PATH... or --class CLASS"));
              return TArgProblem::None();
            }
            return TArgProblem::Usage(TEn::tr("unknown operation '%1'").arg(op));
          },
          [](TCliSession& s, const TCliArgs& a) {
            const QString op = a.Args[0];
            if (op == QLatin1String("tree")) return ShowTree(s, a.Args[1] == QLatin1String("events"));
            if (op == QLatin1String("download")) return Download(s, a);
            return Remove(s, a);
          }};
}

}  // namespace vanta::cli
