#include "Download.h"
#include "Language.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <atomic>
#include <csignal>

namespace vanta::cli {

namespace {
std::atomic<bool> GInterrupted{false};

extern "C" void OnInterrupt(int) {
  GInterrupted = true;
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

// A file's reason stays German in the JSON document (scripts compare it);
// the message for people shows the known ones in the chosen language.
const char* const CReasons[] = {QT_TRANSLATE_NOOP("TTr", "nicht auf dem Gerät"), QT_TRANSLATE_NOOP("TTr", "kein Platz"),
                                QT_TRANSLATE_NOOP("TTr", "abgebrochen"), QT_TRANSLATE_NOOP("TTr", "keine Antwort"),
                                QT_TRANSLATE_NOOP("TTr", "Verbindungsabbruch"),
                                QT_TRANSLATE_NOOP("TTr", "Auf dem Datenträger ist kein Platz mehr")};

QString ReasonText(const QString& reason) {
  for (const char* known : CReasons)
    if (reason == QString::fromUtf8(known)) return TTr::tr(known);
  return reason;
}
}  // namespace

bool Interrupted() { return GInterrupted.load(); }

void InstallInterruptHandler() { std::signal(SIGINT, OnInterrupt); }

TDownloadResult RunDownloadChain(TCliSession& s, TReadoutChain& chain, const TReadoutPlace& place,
                                 const QString& labelPrefix) {
  TComUnit& u = s.Unit();
  TCliOutput& out = s.Out();
  TDownloadResult r;

  // Before the first byte: do the files fit at all?
  const uint64_t need = chain.BytesToFetch();
  const qint64 free = FreeBytes(place.RecorderDir.isEmpty() ? place.EventDir : place.RecorderDir);
  if (free >= 0 && need > uint64_t(free)) {
    chain.Cancel();
    for (const QString& p : chain.Remaining()) {
      r.Files.append(QJsonObject{{QStringLiteral("name"), p}, {QStringLiteral("result"), QStringLiteral("failed")},
                                 {QStringLiteral("reason"), QStringLiteral("kein Platz")}});  // untranslated
      chain.NoteFailure(p, QStringLiteral("kein Platz"));  // untranslated
    }
    out.Error(TTr::tr("Die Dateien brauchen %1, frei sind nur %2").arg(SizeText(need), SizeText(uint64_t(free))));
    r.ExitCode = ecNotStored;
    return r;
  }

  QString failedPath, failedReason;
  u.FFileFailed = [&](QObject*, const QString& path, const QString&, const QString& reason) {
    chain.NoteFailure(path, reason);
    failedPath = path;
    failedReason = reason;
  };
  QElapsedTimer clock;
  clock.start();
  bool lost = false;
  for (;;) {
    if (Interrupted()) chain.Cancel();
    const TReadoutChain::TStep step = chain.Next();
    if (step.Done) break;
    const ccci::TCcci rd = step.Recording ? ccci::TCcci::READOUT_REC_RD : ccci::TCcci::READOUT_EVT_RD;
    const ccci::TCommandDef& d = ccci::Def(rd);
    // Progress is for a person watching: on stderr, beside the bar, never
    // among the results on stdout, and not with --quiet.
    if (chain.FilesTotal() > 1 && !s.Options().Quiet)
      out.Text(TEn::tr("%1  %2 from byte %3\n").arg(chain.ProgressText(clock.elapsed()), step.Path).arg(step.Position), true);
    bool answered = false;
    failedPath.clear();
    u.FOnAnswerEvaluated = [&](const ccci::ccc_head_t& h) {
      if (h.CMD == d.Cmd && h.ExtCmd == d.ExtCmd) answered = true;
    };
    {
      TProgressScope bar(s.Progress(), labelPrefix + step.Path);
      u.ExpectFileSize(step.Path, step.Size);
      u.SendCommand(rd, step.Path, uint32_t(step.Position), false);
      QMetaObject::invokeMethod(&u, [&u] { u.ManualTimer(&u); }, Qt::QueuedConnection);
      s.WaitFor([&] { return answered || failedPath == step.Path || s.ConnectionLost() || Interrupted(); });
    }
    u.FOnAnswerEvaluated = nullptr;
    const QString local = GetFileNameOnDisk(place, step.Path, step.Recording);
    QJsonObject f{{QStringLiteral("name"), step.Path}, {QStringLiteral("file"), local}};
    if (step.Position > 0) f.insert(QStringLiteral("resumedAt"), qint64(step.Position));
    if (failedPath == step.Path) {
      f.insert(QStringLiteral("result"), QStringLiteral("failed"));
      f.insert(QStringLiteral("reason"), failedReason);
      out.Line(TTr::tr("%1: nicht gespeichert: %2").arg(step.Path, ReasonText(failedReason)));
    } else if (answered && QFileInfo(local).isFile()) {
      f.insert(QStringLiteral("result"), step.Position > 0 ? QStringLiteral("resumed") : QStringLiteral("downloaded"));
      out.Line(step.Position > 0 ? TEn::tr("%1 (resumed at %2)").arg(local).arg(step.Position) : local);
    } else {
      // Lost line, Ctrl-C or silence: what came so far waits in NAME.part.
      const QString why = s.ConnectionLost() ? ConnectionLostText()
                          : Interrupted()    ? QStringLiteral("abgebrochen")  // untranslated
                                             : QStringLiteral("keine Antwort");  // untranslated
      chain.NoteFailure(step.Path, why);
      f.insert(QStringLiteral("result"), QStringLiteral("failed"));
      f.insert(QStringLiteral("reason"), why);
      r.Files.append(f);
      if (s.ConnectionLost()) {
        lost = true;
        chain.Cancel();
        break;
      }
      if (Interrupted()) {
        chain.Cancel();
        continue;
      }
      continue;
    }
    r.Files.append(f);
  }
  u.FFileFailed = nullptr;
  // Files the chain never got to: cancelled, or the line went.
  for (const QString& p : chain.Remaining()) {
    bool listed = false;
    for (const QJsonValue& v : r.Files) listed |= v.toObject().value(QStringLiteral("name")).toString() == p;
    if (listed) continue;
    const QString why = lost ? ConnectionLostText() : TTr::tr("abgebrochen");
    chain.NoteFailure(p, why);
    r.Files.append(QJsonObject{{QStringLiteral("name"), p}, {QStringLiteral("result"), QStringLiteral("failed")},
                               {QStringLiteral("reason"), why}});
  }
  if (lost)
    r.ExitCode = ecNoConnection;
  else if (!chain.Failures().isEmpty())
    r.ExitCode = ecNotStored;
  return r;
}

void ReportDownload(TCliSession& s, const QString& key, TDownloadResult& r) {
  TCliOutput& out = s.Out();
  out.Result().insert(key, r.Files);
  QJsonArray failed;
  QStringList names;
  for (const QJsonValue& v : r.Files) {
    const QJsonObject f = v.toObject();
    if (f.value(QStringLiteral("result")).toString() != QLatin1String("failed")) continue;
    failed.append(QJsonObject{{QStringLiteral("name"), f.value(QStringLiteral("name"))},
                              {QStringLiteral("reason"), f.value(QStringLiteral("reason"))}});
    names << QStringLiteral("%1 (%2)").arg(f.value(QStringLiteral("name")).toString(),
                                           ReasonText(f.value(QStringLiteral("reason")).toString()));
  }
  out.Result().insert(QStringLiteral("failed"), failed);
  if (Interrupted()) out.Result().insert(QStringLiteral("cancelled"), true);
  if (!names.isEmpty())
    out.Error(TTr::tr("nicht alles lokal gespeichert: %1 von %2 Dateien fehlen: %3")
                  .arg(names.size())
                  .arg(r.Files.size())
                  .arg(names.join(QStringLiteral("; "))));
  if (r.ExitCode == ecDone && !names.isEmpty()) r.ExitCode = ecNotStored;
}

}  // namespace vanta::cli
