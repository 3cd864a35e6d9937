#pragma once
// `vanta-fleet run`: at most N devices at a time, each on a thread of its
// own with its own client and database connection; due devices by their
// interval, failed ones by their back-off, paused ones never. On PostgreSQL
// several such services (workers) share the devices: each claims the due
// ones it starts with a lease it renews while it reads them. A stop (the
// flag set by SIGINT or SIGTERM) lets every readout end at its next clean
// resume point; nothing new starts.
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "DeviceReadout.h"

namespace vanta::fleet {

struct TRunOptions {
  QString DbUrl;
  QString Store;
  QString Worker;
  int Parallel = 8;
  bool Once = false;
  bool Status = true;
  int TimeoutSec = 30;
  int KeepDays = 0;  // 0: no retention
  // PostgreSQL: how long a claimed device stays this worker's without a
  // renewal; a worker that dies gives its devices up after this.
  int LeaseSeconds = 60;
};

struct TRunEntry {
  TDeviceRow Device;  // as it was when the run started
  TReadoutOutcome Outcome;
};

struct TRunReport {
  QList<TRunEntry> Runs;
  QStringList Retained;  // files retention removed (relative to the store)
  bool Stopped = false;
  int Failed() const;
};

// Blocks until the pass is done (--once) or `stop` is set. False with the
// reason when the service cannot run at all (database).
bool RunFleet(const TRunOptions& options, const std::atomic<bool>& stop, const std::function<void(const QString&)>& log,
              TRunReport& report, QString& error);

// "host:pid": who a run row belongs to.
QString DefaultWorkerId();

}  // namespace vanta::fleet
