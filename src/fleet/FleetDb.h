#pragma once
// The fleet's database: the inventory of devices, the files and events
// indexed from the store, the runs and the status snapshots. One schema for
// SQLite (one service on one machine) and PostgreSQL (several workers on one
// database); what differs between the two stays in TSqlDialect, so the
// statements of the service are written once.
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <atomic>
#include <optional>

namespace vanta::fleet {

// What one engine spells differently from the other.
struct TSqlDialect {
  QString Driver;      // Qt's driver name
  QString IdColumn;    // an integer primary key the database counts up
  QString TimeType;    // a point in time (ISO 8601 text in SQLite, timestamptz in PostgreSQL)
  QString BigInt;
  bool Returning = false;  // inserts hand back their id with RETURNING (else lastInsertId)
  static TSqlDialect Sqlite();
  static TSqlDialect Postgres();
  // A statement with ${ID}, ${TIME} and ${BIGINT} filled in.
  QString Expand(QString sql) const;
  // Times go in as UTC: text "2026-12-07T15:47:25Z" in SQLite (compares
  // in time order as text), a time stamp in PostgreSQL.
  QVariant BindTime(const QDateTime& t) const;
  static QDateTime ReadTime(const QVariant& v);
};

// "sqlite:/path/file.sqlite" or "postgresql://USER@HOST:PORT/DB".
struct TDbUrl {
  bool Postgres = false;
  QString Path;  // SQLite file
  QString User, Host, Database;
  int Port = 5432;
};
bool ParseDbUrl(const QString& url, TDbUrl& out, QString& error);

// ISO 8601 UTC text with "Z" (milliseconds when asked).
QString IsoUtc(const QDateTime& t, bool millis = false);

struct TDeviceRow {
  qint64 Id = 0;
  QString Host;
  int Port = 5040;
  QString Name;
  qint64 Serial = 0;  // 0 until the device was reached
  QString Plant, Field, Device, Firmware;
  int EverySeconds = 900;
  bool Paused = false;
  QDateTime NextDue, LastContact, LastSuccess;
  int Failures = 0;
  QString PasswordFile;  // the path only: the password itself is never stored
  bool Ssh = false;
  QString SshUser;
  bool TrustNewHostKey = false;
  qint64 ReplacedBy = 0;  // a new row took over the address (its serial number changed)
  QString Address() const;
};

struct TFileRow {
  qint64 DeviceId = 0;
  qint64 Serial = 0;
  QString Path;  // relative to the store
  bool Recording = false;
  QString Class;
  QDateTime Start, End;
  qint64 Size = 0;
  QString Sha256;
};

struct TEventRow {
  qint64 Serial = 0;
  QDateTime Time;
  QString Text;
  std::optional<double> MaxValue;
  QString Unit;
  std::optional<int> Harmonic;
  std::optional<qint64> DurationMs;
};

struct TStatusRow {
  qint64 DeviceId = 0;
  qint64 Serial = 0;
  QDateTime TakenAt;
  QString Firmware;
  qint64 UptimeS = 0;
  QDateTime DeviceTime;
  std::optional<qint64> ClockOffsetS;
  std::optional<qint64> FlashFreeMb, RamFreeMb, SdFreeMb;
  QString TimeSync;
};

enum class TRunResult { rrOk, rrFailed, rrInterrupted, rrLost };
QString RunResultName(TRunResult r);

// One line of `status`.
struct TDeviceSummary {
  TDeviceRow Device;
  qint64 Files = 0, Bytes = 0;
  std::optional<qint64> ClockOffsetS;
};

class TFleetDb {
 public:
  TFleetDb();
  ~TFleetDb();
  TFleetDb(const TFleetDb&) = delete;
  TFleetDb& operator=(const TFleetDb&) = delete;

  // Opens (creating the file and its folder for SQLite) and brings the
  // schema up to date. Each object holds a connection of its own: a thread
  // opens its own TFleetDb.
  bool Open(const QString& url, QString& error);
  const TSqlDialect& Dialect() const { return FDialect; }
  int SchemaVersion();
  static int LatestSchemaVersion();
  QString LastError() const { return FError; }

  // ---- inventory ----
  std::optional<TDeviceRow> FindActive(const QString& host, int port);
  std::optional<TDeviceRow> Device(qint64 id);
  // Devices still in service (not replaced), by id.
  QList<TDeviceRow> Devices(bool withReplaced = false);
  bool AddDevice(TDeviceRow& d);
  bool UpdateInventory(const TDeviceRow& d);  // name, every, ssh, password file
  bool RemoveDevice(qint64 id);
  bool SetPaused(qint64 id, bool paused);

  // ---- what a readout writes ----
  qint64 BeginRun(const QString& worker, qint64 deviceId, qint64 serial, const QDateTime& now);
  bool EndRun(qint64 runId, TRunResult result, int filesNew, qint64 bytes, const QString& message, const QDateTime& now);
  // The counts of a run still under way (its end writes them again).
  bool NoteRunProgress(qint64 runId, int filesNew, qint64 bytes);
  // Runs without an end (a killed service) become `interrupted` at the next
  // start: those of `worker`, or all of them when it is empty.
  int CloseOpenRuns(const QString& worker, const QDateTime& now);
  bool NoteIdentity(const TDeviceRow& d, const QDateTime& now);
  // The device answered with another serial number than its row knows: a
  // new row takes over the address; the old one stays with its files.
  qint64 ReplaceDevice(const TDeviceRow& old, qint64 newSerial);
  bool MoveRun(qint64 runId, qint64 deviceId, qint64 serial);
  bool NoteSuccess(qint64 id, const QDateTime& now, const QDateTime& nextDue);
  bool NoteFailure(qint64 id, int failures, const QDateTime& nextDue);
  QSet<QString> IndexedPaths(qint64 serial);
  // Up to `n` indexed paths (relative to the store), the newest first.
  QStringList SomeIndexedPaths(int n);
  QSet<QString> PurgedPaths(qint64 serial);
  // The file row and its events in one transaction: both or neither. False
  // when the row existed already (nothing written) or on an error (LastError).
  bool IndexFile(const TFileRow& f, const QList<TEventRow>& events, bool& inserted);
  bool AddStatus(const TStatusRow& s);

  // ---- workers sharing one PostgreSQL database ----
  // Claims up to `n` devices for `worker` for `leaseSeconds`: those due at
  // `now`, or, for a pass (`passStart` valid), those without an ok or failed
  // run that ended since it began. Open runs of a claimed device by another worker
  // become `lost`. PostgreSQL only.
  QList<TDeviceRow> ClaimDevices(const QString& worker, int n, int leaseSeconds, const QDateTime& now,
                                 const QDateTime& passStart = {});
  // Extends every lease `worker` holds; the ids it still holds.
  QSet<qint64> RenewLeases(const QString& worker, int leaseSeconds, bool& ok);
  bool ReleaseLease(qint64 id, const QString& worker);
  // PostgreSQL: the device `serial` for this connection alone while it
  // lives (a worker that dies lets go with its connection); false when
  // another connection has it. SQLite: always true (one service).
  bool TryLockSerial(qint64 serial);
  // Devices a pass begun at `passStart` has still to see (-1 on an error).
  int PendingForPass(const QDateTime& passStart);

  // The password of a PostgreSQL database, for every connection opened after
  // this (the address never carries one); empty: libpq's PGPASSFILE.
  static void SetPassword(const QString& password);
  // While the server is away, calls wait for it up to this long (default
  // five minutes), less when the service is stopping.
  void SetReconnectSeconds(int s) { FReconnectSeconds = s; }
  static void SetStopFlag(const std::atomic<bool>* stop);
  // Connections this process opened again after losing them.
  static int Reconnects();

  // ---- reading ----
  QList<TDeviceSummary> Summaries();

  // Files indexed before `before`: removed from disk and from the tables.
  // Returns the paths (relative to the store) that went.
  QStringList Retain(const QString& store, const QDateTime& before, QString& error);

  QSqlDatabase& Db() { return FDb; }

  // Seconds all connections of this process spent so far in the calls that
  // write (runs, identity, files with their events, status, retention),
  // waiting for another writer included; summed over threads.
  static double WriteSeconds();

 private:
  QSet<QString> PathsOf(const QString& table, qint64 serial);
  bool Exec(const QString& sql);
  // Runs a prepared statement; when the link to the server broke outside a
  // transaction, waits for a new connection and runs it once more there.
  bool Run(QSqlQuery& q);
  bool Begin();
  bool Commit();
  void Rollback();
  // True when the connection was lost and is open again.
  bool Reconnected();
  bool Migrate();
  TDeviceRow ReadDevice(const class QSqlQuery& q);
  QString FConnection;
  QSqlDatabase FDb;
  TSqlDialect FDialect;
  QString FError;
  bool FInTransaction = false;
  int FReconnectSeconds = 300;
};

}  // namespace vanta::fleet
