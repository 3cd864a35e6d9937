#include "Scheduler.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
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
  TFleetDb db;
  if (!db.Open(o.DbUrl, error)) return false;
  // Runs a killed service left open end as interrupted; with SQLite there
  // is only ever one service, so they are all its own.
  const bool single = db.Dialect().Driver == QLatin1String("QSQLITE");
  if (const int n = db.CloseOpenRuns(single ? QString() : o.Worker, QDateTime::currentDateTimeUtc()); n > 0 && log)
    log(QStringLiteral("%1 runs of an earlier service marked interrupted").arg(n));
  Retain(db, o, log, report);

  QHash<qint64, TActive> active;
  QList<TDeviceRow> pending;  // --once: every device in service, once
  if (o.Once)
    for (const TDeviceRow& d : db.Devices())
      if (!d.Paused) pending << d;
  QElapsedTimer sinceRetention;
  sinceRetention.start();

  auto launch = [&](const TDeviceRow& d) {
    auto entry = std::make_shared<TRunEntry>();
    entry->Device = d;
    TReadoutJob job{d, o.DbUrl, o.Store, o.Worker, o.Status, o.TimeoutSec};
    QThread* t = QThread::create([job, entry, &stop, log] { entry->Outcome = ReadOutDevice(job, stop, log); });
    active.insert(d.Id, {t, entry});
    t->start();
  };

  // Due devices are looked for once a second, and at once when a readout ended.
  QElapsedTimer sinceScan;
  QTimer tick;
  tick.start(50);
  for (;;) {
    bool ended = false;
    // Threads that ended: their runs are in the report.
    for (auto it = active.begin(); it != active.end();) {
      if (it->Thread->isFinished()) {
        it->Thread->wait();
        delete it->Thread;
        report.Runs << *it->Entry;
        // A service that runs for months keeps its history in `runs`, not here.
        if (!o.Once && report.Runs.size() > 1000) report.Runs.removeFirst();
        ended = true;
        it = active.erase(it);
      } else {
        ++it;
      }
    }
    if (stop) {
      report.Stopped = true;
      if (active.isEmpty()) break;
    } else if (o.Once) {
      while (active.size() < o.Parallel && !pending.isEmpty()) launch(pending.takeFirst());
      if (active.isEmpty() && pending.isEmpty()) break;
    } else if (active.size() < o.Parallel && (!sinceScan.isValid() || sinceScan.elapsed() >= 1000 || ended)) {
      sinceScan.restart();
      // Due devices, the longest waiting first; a device in flight is not started twice.
      const QDateTime now = QDateTime::currentDateTimeUtc();
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
      if (sinceRetention.elapsed() > 3600 * 1000) {
        Retain(db, o, log, report);
        sinceRetention.restart();
      }
    }
    // Sleeps until an event, at the latest the tick: the variant with a time
    // limit does not wait at all, and an idle service would spin a core.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (o.Once && !stop) Retain(db, o, log, report);
  return true;
}

}  // namespace vanta::fleet
