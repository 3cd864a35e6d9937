#pragma once
// One unattended readout of one device: connect, identity, the event and
// recording lists, the download of what is missing or partial (the readout
// chain's NAME.part rule, byte for byte what the readout window and
// `vanta-cli readout download all` fetch), every complete file hashed and
// indexed with its events, a status snapshot, disconnect. Runs on the thread
// that calls it (the scheduler gives each device a thread of its own) with a
// database connection of its own.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "FleetDb.h"

namespace vanta::fleet {

struct TReadoutJob {
  TDeviceRow Device;
  QString DbUrl;
  QString Store;  // the data folder: <store>/<SN>/Recorder, <SN>/Event
  QString Worker;
  bool Status = true;
  int TimeoutSec = 30;
};

struct TReadoutOutcome {
  qint64 DeviceId = 0;  // the row the run ended on (a new one when the serial number changed)
  qint64 Serial = 0;
  TRunResult Result = TRunResult::rrFailed;
  QString Message;
  int FilesNew = 0;
  qint64 Bytes = 0;
  int Failures = 0;  // consecutive failures after this run
  QDateTime NextDue;
};

// `stop` ends the readout at the next clean resume point (the file in
// flight stays a part file); the run is then `interrupted`.
TReadoutOutcome ReadOutDevice(const TReadoutJob& job, const std::atomic<bool>& stop,
                              const std::function<void(const QString&)>& log);

// When a device is due again: after a success its interval; after the
// n-th failure in a row 1, 2, 4 … minutes, at most an hour (and never later
// than its interval would be).
QDateTime NextDueAfter(const QDateTime& now, int everySeconds, int failures, qint64 deviceId);

// Where the files of a device lie in the store, relative to it.
QString StoreRelative(const QString& store, const QString& local);

}  // namespace vanta::fleet
