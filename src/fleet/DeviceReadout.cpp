#include "DeviceReadout.h"
#include "Language.h"

#include <QMutex>
#include <QSet>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <cmath>
#include <memory>

#include "EventTable.h"
#include "OfflineStore.h"
#include "PasswordFile.h"
#include "Readout.h"
#include "RecordFile.h"
#include "StatusFlow.h"
#include "StatusModel.h"
#include "SyncSession.h"
#include "Tar.h"
#include "TcpComUnit.h"

namespace vanta::fleet {

namespace {

// The client of one device for one readout: connect, wait, ask, shut down.
// The waits spin this thread's events only: every device has its own thread.
class TFleetSession {
 public:
  TFleetSession(const TReadoutJob& job, const std::atomic<bool>& stop)
      : FJob(job), FStop(stop),
        FSync(std::make_unique<TTCPComUnit>(job.Device.Ssh), job.TimeoutSec, [&stop] { return bool(stop); }) {
    TTCPComUnit& u = Unit();
    u.FVisibility = 1;
    u.FProgUser = QStringLiteral("vanta-fleet");
    u.FConnectThreadEnd = [this](QObject*, bool ok, bool authError) {
      if (!ok) {
        if (authError) FSync.AddRefusal(TTr::tr("SSH-Anmeldung abgelehnt"));
        FSync.ConnectFailed();
        return;
      }
      if (!FUser.isEmpty() && !FJob.Device.Ssh) Unit().SendStartCommand(0, FUser.toLatin1(), FPassword.toLatin1());
    };
    FSync.UseDataFolder(job.Store, QStringLiteral("fleet-XXXXXX"));
    u.SetIPAndPort(job.Device.Host, job.Device.Port);
    if (job.Device.Ssh) {
      u.FOnFingerprint = [this](TFingerprintState state, const QString&, const QString& fp) {
        // Unattended, nobody can look at a key: a new one only when the
        // inventory says so, a changed one never.
        const bool yes = state == TFingerprintState::fsNew && FJob.Device.TrustNewHostKey;
        if (!yes)
          FSync.AddRefusal(QStringLiteral("host key %1 not trusted (%2)")
                               .arg(fp, state == TFingerprintState::fsNew ? QStringLiteral("new key: vanta-fleet devices trust %1").arg(FJob.Device.Address())
                                                                          : QStringLiteral("the key changed")));
        return yes ? TConnectHashAction::chaSave : TConnectHashAction::chaCancel;
      };
      u.FOnPasswordExpired = [](QString&) { return false; };
    }
  }

  bool Open(QString& error) {
    if (!FJob.Device.PasswordFile.isEmpty()) {
      if (!ReadPasswordFile(FJob.Device.PasswordFile, FPassword, error)) return false;
      FUser = FJob.Device.SshUser;
      if (!FJob.Device.Ssh) Unit().FAutoSessionStart = false;
      Unit().SetSSHUserPass(FUser, FPassword);
    }
    Unit().DoConnect();
    return FSync.AwaitConnected(FJob.Device.Address(), error);
  }

  bool WaitFor(const std::function<bool()>& done) { return FSync.WaitFor(done); }

  bool ListText(bool events, QByteArray& text) {
    bool got = false;
    auto take = [&](QObject*, TMemoryStream& st) {
      text = st.Bytes();
      got = true;
    };
    TTCPComUnit& u = Unit();
    (events ? u.FEvtOverview : u.FRecOverview) = take;
    const ccci::TCcci ls = events ? ccci::TCcci::READOUT_EVT_LS : ccci::TCcci::READOUT_REC_LS;
    FSync.Request(ls, [&] { u.SendCommand(ls); });
    u.FEvtOverview = nullptr;
    u.FRecOverview = nullptr;
    return got;
  }

  // What went wrong since `since`, for the run's message.
  QString Why(qsizetype since) const { return FStop ? QStringLiteral("stopped") : FSync.Why(int(since)); }

  // Orderly shutdown; on a stop it may take only part of the 5 s the
  // service has to end in.
  void Close() { FSync.Close(FStop ? 2000 : 6000); }

  TTCPComUnit& Unit() { return static_cast<TTCPComUnit&>(FSync.Unit()); }
  qsizetype RefusalCount() const { return FSync.RefusalCount(); }
  bool Lost() const { return FSync.Lost(); }

 private:
  const TReadoutJob& FJob;
  const std::atomic<bool>& FStop;
  TSyncSession FSync;
  QString FUser, FPassword;
};

QString Sha256(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash h(QCryptographicHash::Sha256);
  if (!h.addData(&f)) return {};
  return QString::fromLatin1(h.result().toHex());
}

QDateTime FromStamp(tmStamp_t t) {
  return QDateTime::fromMSecsSinceEpoch(TPQTimeProgs::TStoLinear(t) / 1000000, Qt::UTC);
}

// The rows of an event file, as `vanta-cli record events` reads them (the
// table's texts and values), the times in UTC.
QList<TEventRow> DecodeEvents(const QString& local, qint64 serial, QString& warning) {
  QList<TEventRow> rows;
  TRecordFile f;
  QString error;
  if (!ReadRecordFile(local, f, error)) {
    warning = QStringLiteral("%1: %2").arg(QFileInfo(local).fileName(), error);
    return rows;
  }
  if (f.Header.Kind != TRecordKind::rkEvent && f.Header.Kind != TRecordKind::rkTrigger) return rows;
  const TMeasLookup lookup = EventLookupFor(f.Header);
  for (const TEventRecord& e : f.Events) {
    TEventRow r;
    r.Serial = serial;
    r.Time = FromStamp(e.Start);
    r.Text = EventCellText(e, 0, f.Header, lookup);
    bool ok = false;
    const double v = EventCellText(e, 2, f.Header, lookup).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (ok && std::isfinite(v)) r.MaxValue = v;
    QString unit = EventCellText(e, 3, f.Header, lookup);
    if (unit.startsWith(QLatin1Char('[')) && unit.endsWith(QLatin1Char(']'))) unit = unit.mid(1, unit.size() - 2);
    r.Unit = unit;
    if (e.Harmonic != 0) r.Harmonic = int(e.Harmonic);
    if (e.Duration != 0) r.DurationMs = qint64(std::llround(e.Duration * 1000.0));
    rows << r;
  }
  return rows;
}

struct TListed {
  TListLine Line;
  bool Recording = false;
};

}  // namespace

QString StoreRelative(const QString& store, const QString& local) {
  return QDir(QDir(store).absolutePath()).relativeFilePath(QFileInfo(local).absoluteFilePath());
}

QDateTime NextDueAfter(const QDateTime& now, int everySeconds, int failures, qint64 deviceId) {
  if (failures <= 0) {
    // Up to a tenth of the interval later, the same for a device every time:
    // devices added together drift apart instead of starting together.
    const qint64 spread = qMax<qint64>(1, everySeconds / 10);
    return now.addSecs(everySeconds + (deviceId * 7919) % spread);
  }
  const qint64 backoff = qMin<qint64>(3600, 60LL << qMin(failures - 1, 6));
  return now.addSecs(qMin<qint64>(backoff, qMax(everySeconds, 60)));
}

namespace {
// The serial numbers this process reads right now.
QMutex GSerialsMutex;
QSet<qint64> GSerials;

class TSerialGuard {
 public:
  explicit TSerialGuard(qint64 serial) : FSerial(serial) {
    QMutexLocker lock(&GSerialsMutex);
    if (GSerials.contains(serial)) return;
    GSerials.insert(serial);
    FHeld = true;
  }
  ~TSerialGuard() {
    if (!FHeld) return;
    QMutexLocker lock(&GSerialsMutex);
    GSerials.remove(FSerial);
  }
  TSerialGuard(const TSerialGuard&) = delete;
  TSerialGuard& operator=(const TSerialGuard&) = delete;
  bool Held() const { return FHeld; }

 private:
  qint64 FSerial;
  bool FHeld = false;
};
}  // namespace

TReadoutOutcome ReadOutDevice(const TReadoutJob& job, const std::atomic<bool>& stop,
                              const std::function<void(const QString&)>& log) {
  TReadoutOutcome out;
  out.DeviceId = job.Device.Id;
  out.Serial = job.Device.Serial;
  auto say = [&](const QString& line) {
    if (log) log(QStringLiteral("%1 %2").arg(job.Device.Address(), line));
  };
  TFleetDb db;
  QString error;
  if (!db.Open(job.DbUrl, error)) {
    out.Message = error;
    return out;
  }
  const qint64 runId = db.BeginRun(job.Worker, job.Device.Id, job.Device.Serial, QDateTime::currentDateTimeUtc());
  if (runId == 0) say(QStringLiteral("database: run not recorded: %1").arg(db.LastError()));
  TDeviceRow dev = job.Device;
  QStringList notes;

  auto finish = [&](TRunResult result, const QString& message) {
    out.Result = result;
    out.Message = message;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (runId && !db.EndRun(runId, result, out.FilesNew, out.Bytes, message, now))
      say(QStringLiteral("database: run not recorded: %1").arg(db.LastError()));
    if (result == TRunResult::rrOk) {
      out.Failures = 0;
      out.NextDue = NextDueAfter(now, dev.EverySeconds, 0, dev.Id);
      db.NoteSuccess(dev.Id, now, out.NextDue);
    } else if (result == TRunResult::rrFailed) {
      out.Failures = dev.Failures + 1;
      out.NextDue = NextDueAfter(now, dev.EverySeconds, out.Failures, dev.Id);
      db.NoteFailure(dev.Id, out.Failures, out.NextDue);
    } else {
      // A stop is nobody's failure: the device is due again as it was.
      out.Failures = dev.Failures;
    }
    out.DeviceId = dev.Id;
    out.Serial = dev.Serial;
    return out;
  };

  TFleetSession s(job, stop);
  if (!s.Open(error)) {
    s.Close();
    say(QStringLiteral("failed: %1").arg(error));
    return finish(stop ? TRunResult::rrInterrupted : TRunResult::rrFailed, error);
  }
  TTCPComUnit& u = s.Unit();
  const QDateTime contact = QDateTime::currentDateTimeUtc();
  const qint64 serial = qint64(u.FSN);
  if (serial == 0) {
    // Without its serial number a device's files have no place in the store.
    s.Close();
    say(QStringLiteral("failed: the device did not tell its serial number"));
    return finish(TRunResult::rrFailed, QStringLiteral("the device did not tell its serial number"));
  }
  // One readout of a device at a time, whatever address or row it came
  // through (the same device entered twice, a worker elsewhere): two would
  // write the same part files.
  TSerialGuard busy(serial);
  if (!busy.Held() || !db.TryLockSerial(serial)) {
    s.Close();
    const QString why = QStringLiteral("serial number %1 is being read already (the same device under another address, "
                                       "or another worker)")
                            .arg(serial);
    say(QStringLiteral("failed: %1").arg(why));
    return finish(TRunResult::rrFailed, why);
  }
  if (dev.Serial != 0 && serial != dev.Serial) {
    // Another device behind the same address: its files are another
    // device's files. The old row keeps its history; a new row goes on.
    const qint64 fresh = db.ReplaceDevice(dev, serial);
    if (fresh == 0) {
      s.Close();
      return finish(TRunResult::rrFailed, QStringLiteral("database: %1").arg(db.LastError()));
    }
    say(QStringLiteral("serial number changed from %1 to %2: new device row %3 (row %4 stays)")
            .arg(dev.Serial)
            .arg(serial)
            .arg(fresh)
            .arg(dev.Id));
    notes << QStringLiteral("serial number changed from %1 to %2").arg(dev.Serial).arg(serial);
    dev.Id = fresh;
    dev.Failures = 0;
  }
  dev.Serial = serial;
  if (runId) db.MoveRun(runId, dev.Id, serial);
  dev.Plant = u.FPlant;
  dev.Field = u.FField;
  dev.Device = u.FDevice;
  dev.Firmware = u.FRev.VerAsStr();
  db.NoteIdentity(dev, contact);

  // The lists and the trees the readout window would show.
  TReadoutPlace place;
  place.EventDir = u.FEvtDir;
  place.RecorderDir = u.FRecDir;
  place.ToLocal = [&u](tmStamp_t t) { return CorrectUTCtoLocal(t, u.FtmeSet); };
  const qsizetype since = s.RefusalCount();
  QByteArray evtText, recText;
  if (!s.ListText(true, evtText) || !s.ListText(false, recText)) {
    const QString why = s.Why(since);
    s.Close();
    say(QStringLiteral("failed: list: %1").arg(why));
    return finish(stop ? TRunResult::rrInterrupted : TRunResult::rrFailed, QStringLiteral("list: %1").arg(why));
  }
  // A name the device lists is a file name in its folder, nothing more: one
  // that would lead elsewhere ("..", a slash) is left out and told.
  auto safeOnly = [&](const QList<TListLine>& lines, bool recording) {
    QList<TListLine> kept;
    for (const TListLine& l : lines) {
      const QString name = recording ? l.Path.section(QLatin1Char('/'), -1) : l.Path;
      const QString folder = recording ? l.Path.section(QLatin1Char('/'), 0, -2) : QString();
      if (IsSafeEntryName(name) && !folder.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QStringLiteral(".."))) {
        kept << l;
      } else {
        notes << QStringLiteral("%1: not a file name of the device's folder, left out").arg(l.Path);
        say(QStringLiteral("left out: %1").arg(l.Path));
      }
    }
    return kept;
  };
  const QList<TListLine> evtLines = safeOnly(ParseListText(QString::fromLatin1(evtText)), false);
  const QList<TListLine> recLines = safeOnly(ParseListText(QString::fromLatin1(recText)), true);
  QList<TListed> listed;
  for (const TListLine& l : evtLines) listed << TListed{l, false};
  for (const TListLine& l : recLines) listed << TListed{l, true};

  // Files retention took away are not fetched again while the device still lists them.
  const QSet<QString> purged = db.PurgedPaths(serial);
  auto notPurged = [&](const QStringList& queue, bool recording) {
    if (purged.isEmpty()) return queue;
    QStringList keep;
    for (const QString& entry : queue) {
      const QString path = entry.left(entry.lastIndexOf(QLatin1Char('=')));
      if (!purged.contains(StoreRelative(job.Store, GetFileNameOnDisk(place, path, recording)))) keep << entry;
    }
    return keep;
  };
  TReadoutPlace snap = place;
  TakeSnapshot(snap);
  const TReadoutTree evtTree = BuildEventTree(snap, evtLines);
  const TReadoutTree recTree = BuildRecordingTree(snap, recLines);

  const QSet<QString> indexedBefore = db.IndexedPaths(serial);
  QSet<QString> indexed = indexedBefore;
  QStringList problems;
  // A file is indexed once it is complete under its final name: hashed,
  // its events decoded, file row and event rows in one transaction.
  auto index = [&](const TListed& f) {
    QString local;
    // Complete means as long as the device lists it: a shorter copy under the
    // final name (left by an older version, or grown on the device since) is not.
    uint64_t have = f.Line.Size;
    if (!DoesFileExist(place, f.Line.Path, local, have, f.Recording, false)) return;
    const QString rel = StoreRelative(job.Store, local);
    if (indexed.contains(rel)) return;
    TFileRow row;
    row.DeviceId = dev.Id;
    row.Serial = serial;
    row.Path = rel;
    row.Recording = f.Recording;
    TStoreName name;
    if (MatchStoreName(QFileInfo(local).fileName(), name)) {
      row.Class = name.Class;
      row.Start = QDateTime::fromSecsSinceEpoch(name.Start, Qt::UTC);
    }
    if (f.Line.End > 0) row.End = QDateTime::fromSecsSinceEpoch(f.Line.End, Qt::UTC);
    row.Size = QFileInfo(local).size();
    row.Sha256 = Sha256(local);
    if (row.Sha256.isEmpty()) {
      problems << QStringLiteral("%1: cannot be read for its hash").arg(rel);
      return;
    }
    QString warning;
    const QList<TEventRow> events = f.Recording ? QList<TEventRow>() : DecodeEvents(local, serial, warning);
    if (!warning.isEmpty()) notes << warning;
    bool inserted = false;
    if (!db.IndexFile(row, events, inserted)) {
      problems << QStringLiteral("%1: database: %2").arg(rel, db.LastError());
      return;
    }
    indexed.insert(rel);
    if (inserted) ++out.FilesNew;
  };
  auto findListed = [&](const QString& path, bool recording) -> const TListed* {
    for (const TListed& l : listed)
      if (l.Recording == recording && l.Line.Path == path) return &l;
    return nullptr;
  };

  // The download, on the readout chain's rules: events first, then the recordings.
  TReadoutChain chain(place);
  chain.Start(TReadoutChain::TQueue::qEvents, notPurged(evtTree.Queue, false));
  chain.Start(TReadoutChain::TQueue::qRecordings, notPurged(recTree.Queue, true));
  QString failedPath, failedReason;
  u.FFileFailed = [&](QObject*, const QString& path, const QString&, const QString& reason) {
    chain.NoteFailure(path, reason);
    failedPath = path;
    failedReason = reason;
  };
  bool lost = false;
  QElapsedTimer sinceProgress;
  sinceProgress.start();
  for (;;) {
    if (stop) chain.Cancel();
    const TReadoutChain::TStep step = chain.Next();
    if (step.Done) break;
    const ccci::TCcci rd = step.Recording ? ccci::TCcci::READOUT_REC_RD : ccci::TCcci::READOUT_EVT_RD;
    const ccci::TCommandDef& d = ccci::Def(rd);
    bool answered = false;
    failedPath.clear();
    u.FOnAnswerEvaluated = [&](const ccci::ccc_head_t& h) {
      if (h.CMD == d.Cmd && h.ExtCmd == d.ExtCmd) answered = true;
    };
    u.ExpectFileSize(step.Path, step.Size);
    u.SendCommand(rd, step.Path, uint32_t(step.Position), false);
    QMetaObject::invokeMethod(&u, [&u] { u.ManualTimer(&u); }, Qt::QueuedConnection);
    s.WaitFor([&] { return answered || failedPath == step.Path || s.Lost(); });
    u.FOnAnswerEvaluated = nullptr;
    const QString local = GetFileNameOnDisk(place, step.Path, step.Recording);
    if (failedPath == step.Path) {
      problems << TTr::tr("%1: nicht gespeichert: %2").arg(step.Path, failedReason);
      continue;
    }
    if (answered && QFileInfo(local).isFile()) {
      out.Bytes += qint64(step.Size - step.Position);
      if (const TListed* l = findListed(step.Path, step.Recording)) index(*l);
      // What came so far stands in the run's row now and then: a run that
      // never ends (a killed worker's) still tells what it brought.
      if (runId && sinceProgress.elapsed() >= 2000) {
        db.NoteRunProgress(runId, out.FilesNew, out.Bytes);
        sinceProgress.restart();
      }
      continue;
    }
    // Lost line, stop or silence: what came so far waits in NAME.part.
    chain.NoteFailure(step.Path, s.Lost() ? ConnectionLostText() : stop ? QStringLiteral("stopped") : TTr::tr("keine Antwort"));
    if (s.Lost()) {
      lost = true;
      break;
    }
    if (stop) continue;
    problems << TTr::tr("%1: keine Antwort").arg(step.Path);
  }
  u.FFileFailed = nullptr;
  // Files complete on disk but not yet indexed (fetched by an earlier run
  // that was killed before its row, or by the desktop host) get their rows now.
  for (const TListed& l : listed) {
    if (stop) break;
    index(l);
  }

  if (lost || stop) {
    s.Close();
    const QString why = stop ? QStringLiteral("stopped") : ConnectionLostText();
    say(QStringLiteral("%1 after %2 new files").arg(why).arg(out.FilesNew));
    return finish(stop ? TRunResult::rrInterrupted : TRunResult::rrFailed, why);
  }

  if (job.Status && u.FDevType != TDevType::devtypOmnivex) {
    TStatusFlow flow(u);
    QString path, failed, missing;
    flow.OnStatusFile = [&path](const QString& p) { path = p; };
    flow.OnFailed = [&failed](const QString& r) { failed = r; };
    flow.OnStatusMissing = [&missing](const QString& l) { missing = l.isEmpty() ? QStringLiteral("no status file") : l; };
    const qsizetype before = s.RefusalCount();
    if (flow.Refresh())
      s.WaitFor([&] { return !path.isEmpty() || !failed.isEmpty() || !missing.isEmpty() || s.Lost() || s.RefusalCount() > before; });
    u.FFlashDone = nullptr;
    u.FSendCCCIFileNext = nullptr;
    u.FScratchPadCallBack = nullptr;
    QFile f(path);
    if (!path.isEmpty() && f.open(QIODevice::ReadOnly)) {
      const time_tz_t zone = TimeTzFromSet(u.FtmeSet);
      const TStatusRecord r = RouteStatus(ParseStatText(f.readAll()), zone);
      TStatusRow row;
      row.DeviceId = dev.Id;
      row.Serial = serial;
      row.TakenAt = QDateTime::currentDateTimeUtc();
      row.Firmware = r.Firmware.isEmpty() ? dev.Firmware : r.Firmware;
      row.UptimeS = qint64(r.UpTimeSec);
      if (r.DeviceStamp) {
        const int32_t offset = TPQTimeProgs::UTCTimeShiftSoc(zone, (r.DeviceStamp->Frac & CTSDstMask) != 0);
        tmStamp_t utc = *r.DeviceStamp;
        utc.Sec = uint32_t(int64_t(utc.Sec) - offset);
        row.DeviceTime = FromStamp(utc);
        // Device clock minus ours, at the moment the file was read.
        row.ClockOffsetS = qint64(std::llround(double(row.DeviceTime.msecsTo(row.TakenAt)) / -1000.0));
      }
      if (r.Flash.Present) row.FlashFreeMb = r.Flash.FreeMiB;
      if (r.Ram.Present) row.RamFreeMb = r.Ram.FreeMiB;
      if (r.Sd.Present) row.SdFreeMb = r.Sd.FreeMiB;
      for (const TNameValue& t : r.Time)
        if (t.first == QLatin1String("sync")) row.TimeSync = t.second;
      if (!db.AddStatus(row)) problems << QStringLiteral("status: database: %1").arg(db.LastError());
    } else if (!stop) {
      // The files are what the run is for: a device without a status is noted, not failed.
      notes << QStringLiteral("status: %1").arg(!failed.isEmpty() ? failed : !missing.isEmpty() ? missing : s.Why(before));
    }
  }
  s.Close();
  if (stop) return finish(TRunResult::rrInterrupted, QStringLiteral("stopped"));
  if (!problems.isEmpty()) {
    say(QStringLiteral("failed: %1").arg(problems.join(QStringLiteral("; "))));
    return finish(TRunResult::rrFailed, problems.join(QStringLiteral("; ")));
  }
  say(QStringLiteral("ok: serial %1, %2 new files, %3 bytes").arg(serial).arg(out.FilesNew).arg(out.Bytes));
  return finish(TRunResult::rrOk, notes.join(QStringLiteral("; ")));
}

}  // namespace vanta::fleet
