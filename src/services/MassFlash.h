#pragma once
// The mass update: many devices, each connected with a client of its own
// and updated by a TFlashJob of the mass kind, a chosen number at a time.
// After a device reports success it restarts; the runner waits for it to
// answer again and compares the firmware it names with the package's. The
// rows are the report (CSV and JSON); failed rows can be run again.
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace vanta {

class TTCPComUnit;
class TFlashJob;

struct TMassTarget {
  QString Name;
  QString Plant;
  QString Field;
  QString Host;
  int Port = 5040;
  bool Ssh = false;
  int SshPort = 22;
  QString User;
  QString Password;
};

enum class TMassState : uint8_t { msWaiting, msConnecting, msBackup, msUpload, msUpdate, msRestart, msVerify, msDone, msFailed, msSkipped, msUnknown };
QString MassStateText(TMassState s);

struct TMassRow {
  TMassTarget Target;
  TMassState State = TMassState::msWaiting;
  int Percent = 0;
  QString Serial;
  QString Ip;
  QString FwBefore;
  QString FwAfter;
  QString BackupFile;
  QString Result;   // "ok", "failed", "skipped", "unknown" (empty while waiting or running)
  QString Message;
  qint64 WaitingMs = -1;  // how long the device has been waited for in this state (-1: not waiting)
  QDateTime Start;
  QDateTime End;
};

struct TMassOptions {
  QString Package;
  QString BackupDir;  // empty: no parameter backup
  QString RunId;
  QString DataDir;    // local folders of the clients (a sub-folder per device)
  int Parallel = 1;   // 1 .. 8
  bool StopOnFailure = false;
  int ConnectTimeoutMs = 30000;
  int JobTimeoutMs = 600000;      // backup and upload of one device
  int UpdateTimeoutMs = 20 * 60 * 1000;  // the update call: the device installs meanwhile
  int ComebackTimeoutMs = 300000; // restart until the device answers again
  int ComebackPollMs = 1000;
  int StepTimeoutMs = 60000;      // a step of one device the device does not answer
  bool TrustNewHostKey = false;
  QString IniFolder;   // where the SSH host keys are kept (empty: per device, so none known)
  // A device answering with its old firmware this soon after the update
  // call may still be installing: ask again until then.
  int ComebackGraceMs = 300000;
};

class TMassFlash : public QObject {
  Q_OBJECT
 public:
  explicit TMassFlash(QObject* parent = nullptr);
  ~TMassFlash() override;

  // Checks the package (unpackable, a ".tgz" naming its version) and the
  // folders, then starts. False with a reason; nothing runs then.
  bool Start(const TMassOptions& options, const QList<TMassTarget>& targets, QString& error);
  // No further device starts; running ones finish.
  void Stop();
  bool Running() const { return FRunning; }
  const QList<TMassRow>& Rows() const { return FRows; }
  const TMassOptions& Options() const { return FOptions; }
  QString PackageVersion() const { return FPackageVersion; }
  int Failed() const;
  // Rows whose result is `result` ("ok", "failed", "skipped", "unknown").
  int Count(const QString& result) const;
  // "N von M Geräten aktualisiert" and, for the rows that did not end "ok",
  // their number in the rows' own words ("1 fehlgeschlagen, 1 nicht
  // gestartet"). Only an "ok" row counts as updated.
  QString SummaryText() const;

  std::function<void(int row)> OnRow;
  std::function<void(int row, const QString& line)> OnLog;
  std::function<void()> OnFinished;

  // The report: the command line's JSON document (camelCase keys, ISO 8601
  // times, durations in seconds) and its CSV (RFC 4180, the JSON names as header).
  QJsonObject ReportJson() const;
  QString ReportCsv() const;
  bool WriteReport(const QString& jsonPath, const QString& csvPath, QString& error) const;

  // Device lists: "host[:port] [name]" lines ('#' comments), or a JSON
  // array of {name, host, port, ssh, ssh_port, user, password, plant, field}.
  static QList<TMassTarget> LoadHostsText(const QString& path, QString& error);
  // One line of such a file ("host[:port] [name]", "[v6]:port", a "#"
  // comment after it): false with the reason when it names no address.
  static bool ParseHostLine(const QString& line, TMassTarget& target, QString& error);
  static QList<TMassTarget> LoadHostsJson(const QString& path, QString& error);
  // The devices of a report that did not end with "ok"; reports written with
  // the older snake_case keys are read as well.
  static QList<TMassTarget> FailedFromReport(const QString& reportPath, QString& error);

 private:
  class TDevice;
  friend class TDevice;
  void Launch();
  void DeviceEnded(int row);
  void Changed(int row) {
    if (OnRow) OnRow(row);
  }

  TMassOptions FOptions;
  QString FPackageVersion;
  QList<TMassRow> FRows;
  QList<TDevice*> FActive;
  int FNext = 0;
  bool FRunning = false;
  bool FStopping = false;
  QDateTime FStarted, FEnded;
};

}  // namespace vanta
