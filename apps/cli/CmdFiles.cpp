// File commands: setup, events, recordings, display, devlog, scratchpad.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "CliSession.h"

namespace vanta::cli {

namespace {
void Out(const QString& line) { std::printf("%s\n", line.toLocal8Bit().constData()); }
void Err(const QString& line) { std::fprintf(stderr, "vanta-cli: %s\n", line.toLocal8Bit().constData()); }

bool CopyOver(const QString& from, const QString& to) {
  if (QFileInfo(from).absoluteFilePath() == QFileInfo(to).absoluteFilePath()) return true;
  QFile::remove(to);
  return QFile::copy(from, to);
}

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
  TComUnit& u = s.Unit();
  QByteArray text;
  bool got = false;
  auto take = [&](QObject*, TMemoryStream& st) {
    text = st.Bytes();
    got = true;
  };
  if (k.Events)
    u.FEvtOverview = take;
  else
    u.FRecOverview = take;
  s.Request(k.Ls, [&] { u.SendCommand(k.Ls); });
  u.FEvtOverview = nullptr;
  u.FRecOverview = nullptr;
  out = ParseList(text);
  return got;
}

int Readout(TCliSession& s, const QStringList& args, const TReadoutKind& k) {
  TComUnit& u = s.Unit();
  if (args.isEmpty()) return ecUsage;
  const QString op = args[0];
  const int since = s.RefusalCount();
  if (op == QLatin1String("list") && args.size() == 1) {
    std::vector<TListEntry> list;
    if (!FetchList(s, k, list)) return s.Fail(since, k.Name + QStringLiteral(" list"));
    for (const TListEntry& e : list) {
      const QString end = QDateTime::fromSecsSinceEpoch(e.End, Qt::UTC).toString(Qt::ISODate);
      if (s.Options().Json)
        Out(QStringLiteral("{\"path\":\"%1\",\"end\":\"%2\",\"size\":%3}").arg(e.Path, end).arg(e.Size));
      else
        Out(QStringLiteral("%1  %2  %3").arg(e.Path, -60).arg(end).arg(e.Size, 12));
    }
    return ecDone;
  }
  if (args.size() < 2) return ecUsage;
  QStringList names = args.mid(1);
  const bool all = names == QStringList{QStringLiteral("--all")};
  if (op == QLatin1String("rm")) {
    if (all) {
      if (!s.Request(k.RmAll, [&] { u.SendCommand(k.RmAll); }))
        return s.Fail(since, k.Name + QStringLiteral(" rm --all"));
      Out(QStringLiteral("removed all %1").arg(k.Name));
      return ecDone;
    }
    for (const QString& n : names) {
      if (!s.Request(k.Rm, [&] { u.SendCommand(k.Rm, n, false); }))
        return s.Fail(since, QStringLiteral("rm %1").arg(n));
      Out(QStringLiteral("removed %1").arg(n));
    }
    return ecDone;
  }
  if (op == QLatin1String("get")) {
    std::vector<TListEntry> list;
    if (!FetchList(s, k, list)) return s.Fail(since, k.Name + QStringLiteral(" list"));
    if (all) {
      names.clear();
      for (const TListEntry& e : list) names << e.Path;
    }
    for (const QString& n : names) {
      quint64 size = 0;
      for (const TListEntry& e : list)
        if (e.Path == n) size = e.Size;
      const QString dir = k.Events ? u.FEvtDir : u.FRecDir;
      const QString local = dir + ExtractUnixFileName(n);
      const qint64 have = QFileInfo(local).isFile() ? QFileInfo(local).size() : 0;
      if (size > 0 && quint64(have) == size) {
        Out(QStringLiteral("%1 (already complete)").arg(local));
        continue;
      }
      if (size > 0 && quint64(have) > size) QFile::remove(local);  // not this file: start again
      const quint32 pos = quint32(QFileInfo(local).isFile() ? QFileInfo(local).size() : 0);
      if (!s.Request(k.Rd, [&] { u.SendCommand(k.Rd, n, pos, false); }))
        return s.Fail(since, QStringLiteral("get %1").arg(n));
      Out(pos > 0 ? QStringLiteral("%1 (resumed at %2)").arg(local).arg(pos) : local);
    }
    return ecDone;
  }
  return ecUsage;
}
}  // namespace

TCliCommand SetupCommand() {
  return {QStringLiteral("setup"), QStringLiteral("setup get FILE | setup put FILE"), [](TCliSession& s, const QStringList& a) {
            if (a.size() != 2) return int(ecUsage);
            TComUnit& u = s.Unit();
            const int since = s.RefusalCount();
            if (a[0] == QLatin1String("get")) {
              QString got;
              u.FOnNewXMLFile = [&](QObject*, const QString& f, int32_t) { got = f; };
              s.Request(ccci::TCcci::SETUP_RD_ALL, [&] { u.SendCommand(ccci::TCcci::SETUP_RD_ALL); });
              u.FOnNewXMLFile = nullptr;  // it refers to this command's locals
              if (got.isEmpty()) return s.Fail(since, QStringLiteral("setup get"));
              if (!CopyOver(got, a[1])) {
                Err(QStringLiteral("cannot write %1").arg(a[1]));
                return int(ecUsage);
              }
              Out(a[1]);
              return int(ecDone);
            }
            if (a[0] == QLatin1String("put")) {
              if (!QFileInfo(a[1]).isFile()) {
                Err(QStringLiteral("no such file: %1").arg(a[1]));
                return int(ecUsage);
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
                Err(QStringLiteral("setup put: NAK %1 %2").arg(u.FLastNakCode).arg(u.FLastNakText));
                return int(ecRefused);
              }
              if (result != 1) return s.Fail(since, QStringLiteral("setup put"));
              Out(QStringLiteral("setup written"));
              return int(ecDone);
            }
            return int(ecUsage);
          }};
}

TCliCommand EventsCommand() {
  return {QStringLiteral("events"), QStringLiteral("events list | events get NAME...|--all | events rm NAME...|--all"),
          [](TCliSession& s, const QStringList& a) { return Readout(s, a, {QStringLiteral("events"), ccci::TCcci::READOUT_EVT_LS, ccci::TCcci::READOUT_EVT_RD, ccci::TCcci::READOUT_EVT_RM, ccci::TCcci::READOUT_EVT_RMALL, true}); }};
}

TCliCommand RecordingsCommand() {
  return {QStringLiteral("recordings"), QStringLiteral("recordings list | recordings get NAME...|--all | recordings rm NAME...|--all"),
          [](TCliSession& s, const QStringList& a) { return Readout(s, a, {QStringLiteral("recordings"), ccci::TCcci::READOUT_REC_LS, ccci::TCcci::READOUT_REC_RD, ccci::TCcci::READOUT_REC_RM, ccci::TCcci::READOUT_REC_RMALL, false}); }};
}

TCliCommand DisplayCommand() {
  return {QStringLiteral("display"), QStringLiteral("display FILE.png"), [](TCliSession& s, const QStringList& a) {
            if (a.size() != 1) return int(ecUsage);
            TComUnit& u = s.Unit();
            QByteArray png;
            u.FSetNewDisplayImage = [&](QObject*, TMemoryStream& img) { png = img.Bytes(); };
            const int since = s.RefusalCount();
            const bool answered = s.Request(ccci::TCcci::READOUT_DISP_RD, [&] { u.SendCommand(ccci::TCcci::READOUT_DISP_RD); });
            u.FSetNewDisplayImage = nullptr;
            if (!answered) return s.Fail(since, QStringLiteral("display"));
            QFile f(a[0]);
            if (!f.open(QIODevice::WriteOnly) || f.write(png) != png.size()) {
              Err(QStringLiteral("cannot write %1").arg(a[0]));
              return int(ecUsage);
            }
            Out(QStringLiteral("%1 (%2 bytes)").arg(a[0]).arg(png.size()));
            return int(ecDone);
          }};
}

TCliCommand DevlogCommand() {
  return {QStringLiteral("devlog"), QStringLiteral("devlog FILE"), [](TCliSession& s, const QStringList& a) {
            if (a.size() != 1) return int(ecUsage);
            TComUnit& u = s.Unit();
            QString saved;
            u.FOpenFile = [&](const QString& p) { saved = p; };
            const int since = s.RefusalCount();
            s.Request(ccci::TCcci::READOUT_LOGD_RD, [&] { u.SendCommand(ccci::TCcci::READOUT_LOGD_RD); });
            u.FOpenFile = nullptr;
            if (saved.isEmpty()) return s.Fail(since, QStringLiteral("devlog"));
            if (!CopyOver(saved, a[0])) {
              Err(QStringLiteral("cannot write %1").arg(a[0]));
              return int(ecUsage);
            }
            Out(a[0]);
            return int(ecDone);
          }};
}

TCliCommand ScratchpadCommand() {
  return {QStringLiteral("scratchpad"), QStringLiteral("scratchpad get NAME FILE | scratchpad put FILE [NAME]"),
          [](TCliSession& s, const QStringList& a) {
            TComUnit& u = s.Unit();
            const int since = s.RefusalCount();
            if (a.size() == 3 && a[0] == QLatin1String("get")) {
              QString saved;
              u.FCCCISratchpad = TCCCISratchpad::spPCAP;
              u.FScratchpadFleLst = QStringList{a[1]};
              u.FScratchPadCallBack = [&](const QString& p) {
                saved = p;
                return false;  // leave the file on the device
              };
              s.Request(ccci::TCcci::SCRATCH_PAD_RD, [&] { u.SendCommand(ccci::TCcci::SCRATCH_PAD_RD, a[1], false); });
              u.FScratchPadCallBack = nullptr;
              if (saved.isEmpty()) return s.Fail(since, QStringLiteral("scratchpad get %1").arg(a[1]));
              if (!CopyOver(saved, a[2])) {
                Err(QStringLiteral("cannot write %1").arg(a[2]));
                return int(ecUsage);
              }
              Out(a[2]);
              return int(ecDone);
            }
            if ((a.size() == 2 || a.size() == 3) && a[0] == QLatin1String("put")) {
              if (!QFileInfo(a[1]).isFile()) {
                Err(QStringLiteral("no such file: %1").arg(a[1]));
                return int(ecUsage);
              }
              const QString name = a.size() == 3 ? a[2] : QFileInfo(a[1]).fileName();
              int result = -1;
              u.FSendCCCIFileNext = [&](QObject*, bool nak) { result = nak ? 0 : 1; };
              u.SendCommandCCCIFile(ccci::TCcci::SCRATCH_PAD_WR, name, a[1]);
              s.WaitFor([&] { return result >= 0 || s.ConnectionLost() || s.RefusalCount() > since; });
              u.FSendCCCIFileNext = nullptr;
              if (result == 0) {
                Err(QStringLiteral("scratchpad put: NAK %1 %2").arg(u.FLastNakCode).arg(u.FLastNakText));
                return int(ecRefused);
              }
              if (result != 1) return s.Fail(since, QStringLiteral("scratchpad put"));
              Out(QStringLiteral("stored as %1").arg(name));
              return int(ecDone);
            }
            return int(ecUsage);
          }};
}

}  // namespace vanta::cli
