// File commands: setup, events, recordings, display, devlog, scratchpad.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "CliSession.h"
#include "Download.h"
#include "JsonOut.h"
#include "Readout.h"
#include "Language.h"

namespace vanta::cli {

bool FetchListText(TCliSession& s, bool events, QByteArray& text) {
  TComUnit& u = s.Unit();
  bool got = false;
  auto take = [&](QObject*, TMemoryStream& st) {
    text = st.Bytes();
    got = true;
  };
  if (events)
    u.FEvtOverview = take;
  else
    u.FRecOverview = take;
  const ccci::TCcci ls = events ? ccci::TCcci::READOUT_EVT_LS : ccci::TCcci::READOUT_REC_LS;
  s.Request(ls, [&] { u.SendCommand(ls); });
  u.FEvtOverview = nullptr;
  u.FRecOverview = nullptr;
  return got;
}

bool CopyOver(const QString& from, const QString& to) {
  if (QFileInfo(from).absoluteFilePath() == QFileInfo(to).absoluteFilePath()) return true;
  QFile::remove(to);
  return QFile::copy(from, to);
}

namespace {

struct TListEntry {
  QString Path;
  qint64 End = 0;
  quint64 Size = 0;
};

// "path;end;size" lines; a size that does not parse counts as 0.
std::vector<TListEntry> ParseList(const QByteArray& text) {
  std::vector<TListEntry> out;
  for (const QByteArray& raw : text.split('\n')) {
    const QString line = QString::fromLatin1(raw).trimmed();
    if (line.isEmpty()) continue;
    const QStringList f = line.split(QLatin1Char(';'));
    TListEntry e;
    e.Path = f.value(0);
    e.End = f.value(1).toLongLong();
    e.Size = f.value(2).toULongLong();
    out.push_back(e);
  }
  return out;
}

// The readout commands differ only in their codes and folders.
struct TReadoutKind {
  QString Name;  // "events" / "recordings"
  ccci::TCcci Ls, Rd, Rm, RmAll;
  bool Events;
};

bool FetchList(TCliSession& s, const TReadoutKind& k, std::vector<TListEntry>& out) {
  QByteArray text;
  const bool got = FetchListText(s, k.Events, text);
  out = ParseList(text);
  return got;
}

TArgProblem CheckReadout(const TCliArgs& a) {
  if (a.Args.isEmpty()) return Missing(TEn::tr("list, get or rm"));
  const QString op = a.Args[0];
  const bool all = a.Has(QStringLiteral("all"));
  if (op == QLatin1String("list")) {
    if (a.Args.size() > 1) return Unexpected(a.Args[1]);
    if (a.Has(QStringLiteral("csv")) && all) return TArgProblem::Usage(TEn::tr("--all goes with get or rm"));
    return all ? TArgProblem::Usage(TEn::tr("--all goes with get or rm")) : TArgProblem::None();
  }
  if (op != QLatin1String("get") && op != QLatin1String("rm"))
    return TArgProblem::Usage(TEn::tr("'%1' is none of list, get, rm").arg(op));
  if (a.Has(QStringLiteral("csv"))) return TArgProblem::Usage(TEn::tr("--csv goes with list"));
  if (all && a.Args.size() > 1) return TArgProblem::Usage(TEn::tr("either NAME... or --all"));
  if (!all && a.Args.size() < 2) return Missing(TEn::tr("NAME or --all"));
  return TArgProblem::None();
}

int Readout(TCliSession& s, const TCliArgs& a, const TReadoutKind& k) {
  TComUnit& u = s.Unit();
  TCliOutput& out = s.Out();
  const QString op = a.Args[0];
  const int since = s.RefusalCount();
  if (op == QLatin1String("list")) {
    std::vector<TListEntry> list;
    if (!FetchList(s, k, list)) return s.Fail(since, k.Name + QStringLiteral(" list"));
    // For a program: the document's field names, RFC 4180, "." decimals.
    const bool csv = a.Has(QStringLiteral("csv")) && !out.Json();
    if (csv) out.Text(CsvLine({QStringLiteral("path"), QStringLiteral("end"), QStringLiteral("size")}), false);
    QJsonArray items;
    for (const TListEntry& e : list) {
      const QString end = QDateTime::fromSecsSinceEpoch(e.End, Qt::UTC).toString(Qt::ISODate);
      // The device's own time, as its display and the readout tree show it.
      const QJsonValue endJson = e.End >= 0 && e.End <= 0xFFFFFFFFLL
                                     ? QJsonValue(IsoDeviceTime({uint32_t(e.End), 0}, u.FtmeSet))
                                     : QJsonValue(QJsonValue::Null);
      items.append(QJsonObject{
          {QStringLiteral("path"), e.Path}, {QStringLiteral("end"), endJson}, {QStringLiteral("size"), qint64(e.Size)}});
      if (csv)
        out.Text(CsvLine({e.Path, endJson.toString(), QString::number(qint64(e.Size))}), false);
      else
        out.Line(QStringLiteral("%1  %2  %3").arg(e.Path, -60).arg(end).arg(e.Size, 12));
    }
    out.Result().insert(k.Name, items);
    return ecDone;
  }
  QStringList names = a.Args.mid(1);
  const bool all = a.Has(QStringLiteral("all"));
  if (op == QLatin1String("rm")) {
    if (all) {
      if (!s.Request(k.RmAll, [&] { u.SendCommand(k.RmAll); }))
        return s.Fail(since, k.Name + QStringLiteral(" rm --all"));
      out.Result().insert(QStringLiteral("removedAll"), true);
      out.Line(TEn::tr("removed all %1").arg(k.Name));
      return ecDone;
    }
    // After a refusal the document still tells what is gone.
    QJsonArray removed;
    out.Result().insert(QStringLiteral("removed"), removed);
    for (const QString& n : names) {
      if (!s.Request(k.Rm, [&] { u.SendCommand(k.Rm, n, false); }))
        return s.Fail(since, QStringLiteral("rm %1").arg(n));
      removed.append(n);
      out.Result().insert(QStringLiteral("removed"), removed);
      out.Line(QStringLiteral("removed %1").arg(n));
    }
    return ecDone;
  }
  std::vector<TListEntry> list;
  if (!FetchList(s, k, list)) return s.Fail(since, k.Name + QStringLiteral(" list"));
  if (all) {
    names.clear();
    for (const TListEntry& e : list) names << e.Path;
  }
  TReadoutPlace place;
  place.EventDir = u.FEvtDir;
  place.RecorderDir = u.FRecDir;
  // Files already whole are told as such; the others go through the chain.
  QJsonArray complete, missing;
  QStringList queue;
  for (const QString& n : names) {
    quint64 size = 0;
    bool listed = false;
    for (const TListEntry& e : list)
      if (e.Path == n) {
        size = e.Size;
        listed = true;
      }
    if (!listed) {
      // Asked for by name and not there: nothing of it can be stored.
      out.Note(TEn::tr("%1: not on the device").arg(n));
      missing.append(QJsonObject{{QStringLiteral("name"), n}, {QStringLiteral("result"), QStringLiteral("failed")},
                                 {QStringLiteral("reason"), QStringLiteral("nicht auf dem Gerät")}});  // untranslated
      continue;
    }
    QString local;
    uint64_t have = size;
    if (listed && size > 0 && DoesFileExist(place, n, local, have, !k.Events, false)) {
      complete.append(QJsonObject{{QStringLiteral("name"), n}, {QStringLiteral("file"), local}, {QStringLiteral("result"), QStringLiteral("complete")}});
      out.Line(TEn::tr("%1 (already complete)").arg(local));
      continue;
    }
    if (size == 0) {
      out.Note(TEn::tr("%1: empty on the device, not fetched").arg(n));
      continue;
    }
    queue << QStringLiteral("%1=%2").arg(n).arg(size);
  }
  TReadoutChain chain(place);
  // The chain works its queues from the end; the command line keeps the
  // order the names were given in.
  QStringList reversed(queue.crbegin(), queue.crend());
  chain.Start(k.Events ? TReadoutChain::TQueue::qEvents : TReadoutChain::TQueue::qClass, reversed);
  TDownloadResult r = RunDownloadChain(s, chain, place, k.Name + QLatin1Char('/'));
  bool storeFailed = false;
  for (const QJsonValue& v : r.Files) {
    storeFailed |= v.toObject().value(QStringLiteral("result")).toString() == QLatin1String("failed");
    complete.append(v);
  }
  for (const QJsonValue& v : missing) complete.append(v);
  r.Files = complete;
  ReportDownload(s, k.Name, r);
  // Only names the device does not have: the device's answer (3), not a local failure (5).
  if (!missing.isEmpty() && !storeFailed && r.ExitCode == ecNotStored) r.ExitCode = ecRefused;
  return r.ExitCode;
}

}  // namespace

TArgProblem CheckCount(const QStringList& args, int from, const QStringList& needed, int optional) {
  const int given = int(args.size()) - from;
  if (given < needed.size()) return Missing(needed[given]);
  if (given > needed.size() + optional) return Unexpected(args[from + needed.size() + optional]);
  return TArgProblem::None();
}

TArgProblem MustExist(const QString& file) {
  return QFileInfo(file).isFile() ? TArgProblem::None()
                                  : TArgProblem::Fact(TEn::tr("no such file: %1").arg(file));
}

int CannotWrite(TCliSession& s, const QString& file) {
  // The device gave what was asked; only the local copy is missing.
  s.Out().Error(TEn::tr("cannot write %1").arg(file));
  return ecNotStored;
}

TCliCommand SetupCommand() {
  return {QStringLiteral("setup"),
          QStringLiteral("setup get FILE | setup put FILE"),
          {},
          [](const TCliArgs& a) {
            if (a.Args.isEmpty()) return Missing(TEn::tr("get or put"));
            if (a.Args[0] != QLatin1String("get") && a.Args[0] != QLatin1String("put"))
              return TArgProblem::Usage(TEn::tr("'%1' is neither get nor put").arg(a.Args[0]));
            if (const TArgProblem p = CheckCount(a.Args, 1, {QStringLiteral("FILE")}); !p.Text.isEmpty()) return p;
            return a.Args[0] == QLatin1String("put") ? MustExist(a.Args[1]) : TArgProblem::None();
          },
          [](TCliSession& s, const TCliArgs& args) {
            const QStringList& a = args.Args;
            TComUnit& u = s.Unit();
            const int since = s.RefusalCount();
            TProgressScope bar(s.Progress(), QStringLiteral("setup"));
            if (a[0] == QLatin1String("get")) {
              QString got;
              u.FOnNewXMLFile = [&](QObject*, const QString& f, int32_t) { got = f; };
              s.Request(ccci::TCcci::SETUP_RD_ALL, [&] { u.SendCommand(ccci::TCcci::SETUP_RD_ALL); });
              u.FOnNewXMLFile = nullptr;  // it refers to this command's locals
              if (got.isEmpty()) return s.Fail(since, QStringLiteral("setup get"));
              if (!CopyOver(got, a[1])) return CannotWrite(s, a[1]);
              s.Out().Result().insert(QStringLiteral("file"), a[1]);
              s.Out().Line(a[1]);
              return int(ecDone);
            }
            // Send a copy: packing writes next to the file.
            const QString copy = u.FTmpDir + QStringLiteral("upload-setup.xml");
            CopyOver(a[1], copy);
            int result = -1;
            u.FSendParaDone = [&](QObject*, bool ok) { result = ok ? 1 : 0; };
            u.SendCommandFile(ccci::TCcci::SETUP_WR, copy);
            s.WaitFor([&] { return result >= 0 || s.ConnectionLost(); });
            u.FSendParaDone = nullptr;
            if (result == 0) {
              s.Out().Error(TEn::tr("setup put: NAK %1 %2").arg(u.FLastNakCode).arg(u.FLastNakText));
              return int(ecRefused);
            }
            if (result != 1) return s.Fail(since, QStringLiteral("setup put"));
            s.Out().Result().insert(QStringLiteral("file"), a[1]);
            s.Out().Line(TEn::tr("setup written"));
            return int(ecDone);
          }};
}

TCliCommand EventsCommand() {
  return {QStringLiteral("events"),
          QStringLiteral("events list [--csv] | events get NAME...|--all | events rm NAME...|--all"),
          {{{QStringLiteral("all")}, false}, {{QStringLiteral("csv")}, false}},
          CheckReadout,
          [](TCliSession& s, const TCliArgs& a) {
            return Readout(s, a,
                           {QStringLiteral("events"), ccci::TCcci::READOUT_EVT_LS, ccci::TCcci::READOUT_EVT_RD,
                            ccci::TCcci::READOUT_EVT_RM, ccci::TCcci::READOUT_EVT_RMALL, true});
          }};
}

TCliCommand RecordingsCommand() {
  return {QStringLiteral("recordings"),
          QStringLiteral("recordings list [--csv] | recordings get NAME...|--all | recordings rm NAME...|--all"),
          {{{QStringLiteral("all")}, false}, {{QStringLiteral("csv")}, false}},
          CheckReadout,
          [](TCliSession& s, const TCliArgs& a) {
            return Readout(s, a,
                           {QStringLiteral("recordings"), ccci::TCcci::READOUT_REC_LS, ccci::TCcci::READOUT_REC_RD,
                            ccci::TCcci::READOUT_REC_RM, ccci::TCcci::READOUT_REC_RMALL, false});
          }};
}

TCliCommand DisplayCommand() {
  return {QStringLiteral("display"),
          QStringLiteral("display FILE.png"),
          {},
          [](const TCliArgs& a) { return CheckCount(a.Args, 0, {QStringLiteral("FILE.png")}); },
          [](TCliSession& s, const TCliArgs& args) {
            const QString file = args.Args[0];
            TComUnit& u = s.Unit();
            QByteArray png;
            u.FSetNewDisplayImage = [&](QObject*, TMemoryStream& img) { png = img.Bytes(); };
            const int since = s.RefusalCount();
            bool answered = false;
            {
              TProgressScope bar(s.Progress(), QStringLiteral("display"));
              answered = s.Request(ccci::TCcci::READOUT_DISP_RD, [&] { u.SendCommand(ccci::TCcci::READOUT_DISP_RD); });
            }
            u.FSetNewDisplayImage = nullptr;
            if (!answered) return s.Fail(since, QStringLiteral("display"));
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly) || f.write(png) != png.size()) return CannotWrite(s, file);
            s.Out().Result().insert(QStringLiteral("file"), file);
            s.Out().Result().insert(QStringLiteral("bytes"), qint64(png.size()));
            s.Out().Line(QStringLiteral("%1 (%2 bytes)").arg(file).arg(png.size()));
            return int(ecDone);
          }};
}

TCliCommand ScratchpadCommand() {
  return {QStringLiteral("scratchpad"),
          QStringLiteral("scratchpad get NAME FILE | scratchpad put FILE [NAME]"),
          {},
          [](const TCliArgs& a) {
            if (a.Args.isEmpty()) return Missing(TEn::tr("get or put"));
            if (a.Args[0] == QLatin1String("get"))
              return CheckCount(a.Args, 1, {QStringLiteral("NAME"), QStringLiteral("FILE")});
            if (a.Args[0] != QLatin1String("put"))
              return TArgProblem::Usage(TEn::tr("'%1' is neither get nor put").arg(a.Args[0]));
            if (const TArgProblem p = CheckCount(a.Args, 1, {QStringLiteral("FILE")}, 1); !p.Text.isEmpty()) return p;
            return MustExist(a.Args[1]);
          },
          [](TCliSession& s, const TCliArgs& args) {
            const QStringList& a = args.Args;
            TComUnit& u = s.Unit();
            const int since = s.RefusalCount();
            if (a[0] == QLatin1String("get")) {
              QString saved;
              u.FCCCISratchpad = TCCCISratchpad::spPCAP;
              u.FScratchpadFleLst = QStringList{a[1]};
              u.FScratchPadCallBack = [&](const QString& p) {
                saved = p;
                return false;  // leave the file on the device
              };
              {
                TProgressScope bar(s.Progress(), QStringLiteral("scratchpad/") + a[1]);
                s.Request(ccci::TCcci::SCRATCH_PAD_RD,
                          [&] { u.SendCommand(ccci::TCcci::SCRATCH_PAD_RD, a[1], false); });
              }
              u.FScratchPadCallBack = nullptr;
              if (saved.isEmpty()) return s.Fail(since, QStringLiteral("scratchpad get %1").arg(a[1]));
              if (!CopyOver(saved, a[2])) return CannotWrite(s, a[2]);
              s.Out().Result().insert(QStringLiteral("name"), a[1]);
              s.Out().Result().insert(QStringLiteral("file"), a[2]);
              s.Out().Line(a[2]);
              return int(ecDone);
            }
            const QString name = a.size() == 3 ? a[2] : QFileInfo(a[1]).fileName();
            int result = -1;
            u.FSendCCCIFileNext = [&](QObject*, bool nak) { result = nak ? 0 : 1; };
            {
              TProgressScope bar(s.Progress(), QStringLiteral("scratchpad/") + name);
              u.SendCommandCCCIFile(ccci::TCcci::SCRATCH_PAD_WR, name, a[1]);
              s.WaitFor([&] { return result >= 0 || s.ConnectionLost() || s.RefusalCount() > since; });
            }
            u.FSendCCCIFileNext = nullptr;
            if (result == 0) {
              s.Out().Error(TEn::tr("scratchpad put: NAK %1 %2").arg(u.FLastNakCode).arg(u.FLastNakText));
              return int(ecRefused);
            }
            if (result != 1) return s.Fail(since, QStringLiteral("scratchpad put"));
            s.Out().Result().insert(QStringLiteral("name"), name);
            s.Out().Result().insert(QStringLiteral("file"), a[1]);
            s.Out().Line(TEn::tr("stored as %1").arg(name));
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
