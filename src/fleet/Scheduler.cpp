#include "Scheduler.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QEventLoop>
#include <QHash>
#include <QHostInfo>
#include <QThread>
#include <QTimer>
#include <memory>

namespace vanta::fleet {

int TRunReport::Failed() const {
  int n = 0;
  for (const TRunEntry& r : Runs) n += r.Outcome.Result == TRunResult::rrFailed ? 1 : 0;
  return n;
}

QString DefaultWorkerId() {
  return QStringLiteral("%1:%2").arg(QHostInfo::localHostName()).arg(QCoreApplication::applicationPid());
}

namespace {

struct TActive {
  QThread* Thread = nullptr;
  std::shared_ptr<TRunEntry> Entry;
  // Set on a stop of the service, or when another worker took the device.
  std::shared_ptr<std::atomic<bool>> Stop;
};

void Retain(TFleetDb& db, const TRunOptions& o, const std::function<void(const QString&)>& log, TRunReport& report) {
  if (o.KeepDays <= 0) return;
  QString error;
  const QStringList gone = db.Retain(o.Store, QDateTime::currentDateTimeUtc().addDays(-o.KeepDays), error);
  report.Retained << gone;
  if (log && !gone.isEmpty()) log(QStringLiteral("retention: %1 files older than %2 days removed").arg(gone.size()).arg(o.KeepDays));
  if (log && !error.isEmpty()) log(QStringLiteral("retention: %1").arg(error));
}

}  // namespace

bool RunFleet(const TRunOptions& o, const std::atomic<bool>& stop, const std::function<void(const QString&)>& log,
              TRunReport& report, QString& error) {
  TFleetDb::SetStopFlag(&stop);
  TFleetDb db;
  if (!db.Open(o.DbUrl, error)) return false;
  // With SQLite there is one service: the devices are all its own. On
  // PostgreSQL the workers share them through leases.
  const bool shared = db.Dialect().Driver == QLatin1String("QPSQL");
  const QDateTime passStart = QDateTime::currentDateTimeUtc();
  // Runs a killed service left open end as interrupted: with SQLite all of
  // them; a worker only its own (another worker's become `lost` when its
  // lease has run out and a device is claimed again).
  if (const int n = db.CloseOpenRuns(shared ? o.Worker : QString(), passStart); n > 0 && log)
    log(QStringLiteral("%1 runs of an earlier service marked interrupted").arg(n));
  Retain(db, o, log, report);
  // The store the database was filled into should be this one: else every
  // file would come again, into the other folder.
  if (const QStringList some = db.SomeIndexedPaths(20); !some.isEmpty() && log &&
      std::none_of(some.begin(), some.end(), [&](const QString& rel) { return QFileInfo::exists(QDir(o.Store).filePath(rel)); }))
    log(QStringLiteral("warning: none of the %1 files indexed last is in %2: was the database filled with another --data-dir? "
                       "Their devices' files will be fetched again into this one")
            .arg(some.size())
            .arg(o.Store));

  QHash<qint64, TActive> active;
  QList<TDeviceRow> pending;  // --once on SQLite: every device in service, once
  if (o.Once && !shared)
    for (const TDeviceRow& d : db.Devices())
      if (!d.Paused) pending << d;
  QElapsedTimer sinceRetention;
  sinceRetention.start();

  auto launch = [&](const TDeviceRow& d) {
    auto entry = std::make_shared<TRunEntry>();
    auto flag = std::make_shared<std::atomic<bool>>(false);
    entry->Device = d;
    TReadoutJob job{d, o.DbUrl, o.Store, o.Worker, o.Status, o.TimeoutSec};
    QThread* t = QThread::create([job, entry, flag, log] { entry->Outcome = ReadOutDevice(job, *flag, log); });
    active.insert(d.Id, {t, entry, flag});
    t->start();
  };

  // A database error is said once, not every second while it lasts.
  QString lastDbError;
  auto dbTrouble = [&](bool failed) {
    if (!failed) {
      lastDbError.clear();
      return;
    }
    if (db.LastError() != lastDbError && log) log(QStringLiteral("database: %1").arg(db.LastError()));
    lastDbError = db.LastError();
  };

  // Due devices are looked for once a second, and at once when a readout ended.
  QElapsedTimer sinceScan, sinceRenewal;
  sinceRenewal.start();
  const qint64 renewEveryMs = qMax<qint64>(500, qint64(o.LeaseSeconds) * 1000 / 4);
  QTimer tick;
  tick.start(50);
  for (;;) {
    bool ended = false;
    // Threads that ended: their runs are in the report.
    for (auto it = active.begin(); it != active.end();) {
      if (it->Thread->isFinished()) {
        it->Thread->wait();
        delete it->Thread;
        // Released only now: the device's next due time is written, so no
        // other worker takes it up again at once.
        if (shared && !db.ReleaseLease(it.key(), o.Worker)) dbTrouble(true);
        report.Runs << *it->Entry;
        // A service that runs for months keeps its history in `runs`, not here.
        if (!o.Once && report.Runs.size() > 1000) report.Runs.removeFirst();
        ended = true;
        it = active.erase(it);
      } else {
        ++it;
      }
    }
    if (stop)
      for (TActive& a : active) *a.Stop = true;
    if (shared && !active.isEmpty() && sinceRenewal.elapsed() >= renewEveryMs) {
      sinceRenewal.restart();
      bool ok = false;
      const QSet<qint64> held = db.RenewLeases(o.Worker, o.LeaseSeconds, ok);
      dbTrouble(!ok);
      // A lease that ran out while this worker could not renew it (the
      // database was away too long) may be another worker's now: that
      // device stops here at its next resume point, and its files are not
      // fetched twice.
      if (ok)
        for (auto it = active.begin(); it != active.end(); ++it)
          if (!held.contains(it.key()) && !*it->Stop) {
            *it->Stop = true;
            if (log) log(QStringLiteral("%1: lease lost, another worker has the device").arg(it->Entry->Device.Address()));
          }
    }
    if (stop) {
      report.Stopped = true;
      if (active.isEmpty()) break;
    } else if (o.Once && !shared) {
      while (active.size() < o.Parallel && !pending.isEmpty()) launch(pending.takeFirst());
      if (active.isEmpty() && pending.isEmpty()) break;
    } else if (active.size() < o.Parallel && (!sinceScan.isValid() || sinceScan.elapsed() >= 1000 || ended)) {
      sinceScan.restart();
      const QDateTime now = QDateTime::currentDateTimeUtc();
      if (shared) {
        const QList<TDeviceRow> claimed =
            db.ClaimDevices(o.Worker, o.Parallel - int(active.size()), o.LeaseSeconds, now, o.Once ? passStart : QDateTime());
        dbTrouble(claimed.isEmpty() && !db.LastError().isEmpty());
        for (const TDeviceRow& d : claimed)
          if (!active.contains(d.Id)) launch(d);
        // A pass ends when no device is left that it has not seen; one that
        // a dead worker still holds is waited for until its lease runs out.
        if (o.Once && active.isEmpty() && claimed.isEmpty()) {
          const int left = db.PendingForPass(passStart);
          if (left == 0) break;
          // The database stayed away longer than a connection waits for it:
          // a pass cannot know what is left, so it ends and says why.
          if (left < 0) {
            error = QStringLiteral("database: %1").arg(db.LastError());
            TFleetDb::SetStopFlag(nullptr);
            return false;
          }
        }
      } else {
        // Due devices, the longest waiting first; a device in flight is not started twice.
        QList<TDeviceRow> due;
        for (const TDeviceRow& d : db.Devices())
          if (!d.Paused && !active.contains(d.Id) && (!d.NextDue.isValid() || d.NextDue <= now)) due << d;
        // A strict order (never "before itself"): devices never read come first, then by due time.
        std::sort(due.begin(), due.end(), [](const TDeviceRow& a, const TDeviceRow& b) {
          if (!a.NextDue.isValid()) return b.NextDue.isValid();
          if (!b.NextDue.isValid()) return false;
          return a.NextDue < b.NextDue;
        });
        for (const TDeviceRow& d : due) {
          if (active.size() >= o.Parallel) break;
          launch(d);
        }
      }
      if (!o.Once && sinceRetention.elapsed() > 3600 * 1000) {
        Retain(db, o, log, report);
        sinceRetention.restart();
      }
    }
    // Sleeps until an event, at the latest the tick: the variant with a time
    // limit does not wait at all, and an idle service would spin a core.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (o.Once && !stop) Retain(db, o, log, report);
  TFleetDb::SetStopFlag(nullptr);
  return true;
}

}  // namespace vanta::fleet
