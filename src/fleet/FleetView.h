#pragma once
// What `vanta-fleet serve` shows, read from the fleet's database and never
// written to it: the JSON documents of the web API and the Prometheus text of
// /metrics. Apart from the HTTP server, so that both are tested on a database
// alone and the server only routes, checks the token and sends.
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

#include "FleetDb.h"

namespace vanta::fleet {

// A request's query parameters, each name once (the server refuses a name
// given twice before it gets here).
using TWebQuery = QMap<QString, QString>;

// One answer of the API: the HTTP status and its document. Errors carry the
// CLI's error document with the HTTP status as the code.
struct TWebAnswer {
  int Status = 200;
  QJsonObject Body;
  static TWebAnswer Error(int status, const QString& message);
  QByteArray Json() const;
};

// A device's state on the dashboard and in vanta_fleet_device_up.
// up: its last finished run succeeded and its last contact is no older than
// twice its interval. paused: not read at all. never: no run has finished
// yet. down: everything else.
enum class TDeviceState { dsUp, dsDown, dsPaused, dsNever };
QString DeviceStateName(TDeviceState s);

// The newest status snapshot of a device.
struct TStatusView {
  QDateTime TakenAt;
  QString Firmware;
  std::optional<qint64> UptimeS, ClockOffsetS, FlashFreeMb, RamFreeMb, SdFreeMb;
  QDateTime DeviceTime;
  QString TimeSync;
};

// The last finished run of a device.
struct TRunView {
  qint64 Id = 0;
  QString Result;
  QDateTime Started, Ended;
  QString Message;
};

struct TDeviceHealth {
  TDeviceRow Device;
  TDeviceState State = TDeviceState::dsNever;
  std::optional<TRunView> LastRun;
  std::optional<TStatusView> Status;
};

// The rule above, on its own so that the dashboard, the API and the metrics
// cannot disagree.
TDeviceState StateOf(const TDeviceRow& d, const std::optional<TRunView>& lastRun, const QDateTime& now);

// The devices in service with their last run and newest status: three
// queries however many devices there are. False with the reason on a
// database error.
bool ReadHealth(TFleetDb& db, const QDateTime& now, QList<TDeviceHealth>& out, QString& error);

// GET /api/devices
TWebAnswer DevicesAnswer(TFleetDb& db, const QDateTime& now);
// GET /api/devices/{serial}: the device with its recent runs, files and last status.
TWebAnswer DeviceAnswer(TFleetDb& db, const QString& serial, const QDateTime& now);
// GET /api/events?serial=&from=&to=&text=&limit=&after=
TWebAnswer EventsAnswer(TFleetDb& db, const TWebQuery& query);
// GET /api/runs?serial=&result=&limit=&after=
TWebAnswer RunsAnswer(TFleetDb& db, const TWebQuery& query);

// GET /metrics: the Prometheus text exposition format 0.0.4. Empty with the
// reason on a database error.
QByteArray MetricsText(TFleetDb& db, const QDateTime& now, QString& error);
// A label value as the format quotes it: backslash, double quote and line
// break escaped.
QString PromLabelValue(const QString& value);

// The upper bounds of vanta_fleet_run_duration_seconds (seconds; +Inf follows).
const QList<double>& RunDurationBuckets();

// Paging: `limit` rows at most (default 100, 1000 at most).
constexpr int CWebDefaultLimit = 100;
constexpr int CWebMaxLimit = 1000;

}  // namespace vanta::fleet
