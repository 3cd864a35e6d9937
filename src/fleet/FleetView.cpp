#include "FleetView.h"

#include <QMap>

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>

namespace vanta::fleet {

namespace {

const QString CSchemaVersion = QStringLiteral("schemaVersion");

QJsonValue TimeJson(const QDateTime& t, bool millis = false) {
  return t.isValid() ? QJsonValue(IsoUtc(t, millis)) : QJsonValue(QJsonValue::Null);
}
QJsonValue OptJson(const std::optional<qint64>& v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }
QJsonValue SerialJson(qint64 v) { return v ? QJsonValue(v) : QJsonValue(QJsonValue::Null); }
QJsonValue TextOrNull(const QString& s) { return s.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s); }

std::optional<qint64> OptInt(const QVariant& v) {
  if (v.isNull()) return std::nullopt;
  return v.toLongLong();
}

// Seconds between two times, null when either is missing.
QJsonValue SecondsJson(const QDateTime& from, const QDateTime& to) {
  if (!from.isValid() || !to.isValid()) return QJsonValue(QJsonValue::Null);
  return double(from.msecsTo(to)) / 1000.0;
}

TWebAnswer Ok(QJsonObject body) {
  body.insert(CSchemaVersion, 1);
  return {200, body};
}

TWebAnswer DbError(const QSqlQuery& q) {
  return TWebAnswer::Error(500, QStringLiteral("database: %1").arg(q.lastError().text()));
}

// ---- query parameters: every value checked before it goes to a statement, as a bound value ----

class TParams {
 public:
  TParams(const TWebQuery& query, std::initializer_list<const char*> known) : FQuery(query) {
    QStringList names;
    for (const char* k : known) names << QLatin1String(k);
    // A misspelt filter would otherwise quietly show everything.
    for (auto it = query.begin(); it != query.end(); ++it)
      if (!names.contains(it.key()))
        Fail(QStringLiteral("unknown parameter '%1' (known: %2)")  // untranslated: the web interface answers in English
                 .arg(it.key().left(40), names.join(QStringLiteral(", "))));
  }
  bool Has(const char* name) const { return FQuery.contains(QLatin1String(name)); }
  QString Text(const char* name) const { return FQuery.value(QLatin1String(name)); }
  // A whole number from `min`, or nothing when the parameter is absent.
  std::optional<qint64> Number(const char* name, qint64 min, qint64 max) {
    if (!Has(name)) return std::nullopt;
    bool ok = false;
    const QString text = Text(name);
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < min || v > max || text.startsWith(QLatin1Char('+'))) {
      Fail(QStringLiteral("%1=%2: expected a whole number from %3 to %4")
               .arg(QLatin1String(name), Shown(text))
               .arg(min)
               .arg(max));
      return std::nullopt;
    }
    return v;
  }
  // ISO 8601; without an offset the time is taken as UTC, as the database keeps it.
  QDateTime Time(const char* name) {
    if (!Has(name)) return {};
    const QString text = Text(name);
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid()) {
      Fail(QStringLiteral("%1=%2: expected an ISO 8601 time such as 2026-12-07T15:00:00Z")
               .arg(QLatin1String(name), Shown(text)));
      return {};
    }
    if (t.timeSpec() == Qt::LocalTime) t = QDateTime(t.date(), t.time(), Qt::UTC);
    return t.toUTC();
  }
  int Limit() {
    if (!Has("limit")) return CWebDefaultLimit;
    bool ok = false;
    const QString text = Text("limit");
    const int v = text.toInt(&ok);
    // Refused rather than cut down: a script asking for 5000 rows must learn it gets pages.
    if (!ok || v < 1 || v > CWebMaxLimit)
      Fail(QStringLiteral("limit=%1: expected a number from 1 to %2; page with 'after' for more")
               .arg(Shown(text))
               .arg(CWebMaxLimit));
    return ok && v >= 1 && v <= CWebMaxLimit ? v : CWebDefaultLimit;
  }
  void Fail(const QString& message) {
    if (FError.isEmpty()) FError = message;
  }
  const QString& Error() const { return FError; }

 private:
  // A value as the message repeats it: short, and without line breaks.
  static QString Shown(const QString& v) {
    QString s = v.left(40);
    s.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return QLatin1Char('\'') + s + (v.size() > 40 ? QStringLiteral("…'") : QStringLiteral("'"));
  }
  const TWebQuery& FQuery;
  QString FError;
};

// `text` as a LIKE pattern that finds it anywhere: its own % _ and \ match only themselves.
QString ContainsPattern(const QString& text) {
  QString escaped;
  for (const QChar c : text.toLower()) {
    if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\')) escaped += QLatin1Char('\\');
    escaped += c;
  }
  return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// The WHERE clause is built from our own fragments only; what the request
// brought goes in as bound values in the same order.
struct TWhere {
  QStringList Clauses;
  QVariantList Values;
  void Add(const QString& clause, const QVariant& value) {
    Clauses << clause;
    Values << value;
  }
  QString Sql() const {
    return Clauses.isEmpty() ? QString() : QStringLiteral(" WHERE ") + Clauses.join(QStringLiteral(" AND "));
  }
  void Bind(QSqlQuery& q) const {
    for (const QVariant& v : Values) q.addBindValue(v);
  }
};

TStatusView ReadStatus(const QSqlQuery& q, int at) {
  TStatusView s;
  s.TakenAt = TSqlDialect::ReadTime(q.value(at));
  s.Firmware = q.value(at + 1).toString();
  s.UptimeS = OptInt(q.value(at + 2));
  s.DeviceTime = TSqlDialect::ReadTime(q.value(at + 3));
  s.ClockOffsetS = OptInt(q.value(at + 4));
  s.FlashFreeMb = OptInt(q.value(at + 5));
  s.RamFreeMb = OptInt(q.value(at + 6));
  s.SdFreeMb = OptInt(q.value(at + 7));
  s.TimeSync = q.value(at + 8).toString();
  return s;
}
const char* const CStatusColumns =
    "s.taken_at, s.firmware, s.uptime_s, s.device_time, s.clock_offset_s, s.flash_free_mb, s.ram_free_mb, "
    "s.sd_free_mb, "
    "s.time_sync";

TRunView ReadRun(const QSqlQuery& q, int at) {
  return {q.value(at).toLongLong(), q.value(at + 1).toString(), TSqlDialect::ReadTime(q.value(at + 2)),
          TSqlDialect::ReadTime(q.value(at + 3)), q.value(at + 4).toString()};
}
const char* const CRunColumns = "r.id, r.result, r.started_at, r.ended_at, r.message";

QJsonObject StatusJson(const TStatusView& s) {
  return {
      {QStringLiteral("takenAt"), TimeJson(s.TakenAt)},         {QStringLiteral("firmware"), TextOrNull(s.Firmware)},
      {QStringLiteral("uptime"), OptJson(s.UptimeS)},           {QStringLiteral("deviceTime"), TimeJson(s.DeviceTime)},
      {QStringLiteral("clockOffset"), OptJson(s.ClockOffsetS)}, {QStringLiteral("flashFreeMb"), OptJson(s.FlashFreeMb)},
      {QStringLiteral("ramFreeMb"), OptJson(s.RamFreeMb)},      {QStringLiteral("sdFreeMb"), OptJson(s.SdFreeMb)},
      {QStringLiteral("timeSync"), TextOrNull(s.TimeSync)}};
}

QJsonObject HealthJson(const TDeviceHealth& h, const QDateTime& now) {
  const TDeviceRow& d = h.Device;
  QJsonValue lastRun(QJsonValue::Null), storage(QJsonValue::Null);
  if (h.LastRun)
    lastRun = QJsonObject{{QStringLiteral("id"), h.LastRun->Id},
                          {QStringLiteral("result"), h.LastRun->Result},
                          {QStringLiteral("startedAt"), TimeJson(h.LastRun->Started)},
                          {QStringLiteral("endedAt"), TimeJson(h.LastRun->Ended)},
                          {QStringLiteral("message"), h.LastRun->Message}};
  if (h.Status)
    storage = QJsonObject{{QStringLiteral("takenAt"), TimeJson(h.Status->TakenAt)},
                          {QStringLiteral("flashMb"), OptJson(h.Status->FlashFreeMb)},
                          {QStringLiteral("sdMb"), OptJson(h.Status->SdFreeMb)},
                          {QStringLiteral("ramMb"), OptJson(h.Status->RamFreeMb)}};
  QString firmware = d.Firmware;
  if (firmware.isEmpty() && h.Status) firmware = h.Status->Firmware;
  return {{QStringLiteral("id"), d.Id},
          {QStringLiteral("host"), d.Host},
          {QStringLiteral("port"), d.Port},
          {QStringLiteral("address"), d.Address()},
          {QStringLiteral("name"), d.Name},
          {QStringLiteral("serial"), SerialJson(d.Serial)},
          {QStringLiteral("plant"), d.Plant},
          {QStringLiteral("field"), d.Field},
          {QStringLiteral("device"), d.Device},
          {QStringLiteral("firmware"), TextOrNull(firmware)},
          {QStringLiteral("every"), d.EverySeconds},
          {QStringLiteral("paused"), d.Paused},
          {QStringLiteral("state"), DeviceStateName(h.State)},
          {QStringLiteral("up"), h.State == TDeviceState::dsUp},
          {QStringLiteral("lastContact"), TimeJson(d.LastContact)},
          {QStringLiteral("lastSuccess"), TimeJson(d.LastSuccess)},
          {QStringLiteral("lastSuccessAge"),
           d.LastSuccess.isValid() ? QJsonValue(d.LastSuccess.secsTo(now)) : QJsonValue(QJsonValue::Null)},
          {QStringLiteral("failures"), d.Failures},
          {QStringLiteral("lastRun"), lastRun},
          {QStringLiteral("freeStorage"), storage},
          {QStringLiteral("clockOffset"), h.Status ? OptJson(h.Status->ClockOffsetS) : QJsonValue(QJsonValue::Null)},
          {QStringLiteral("nextDue"), d.Paused ? QJsonValue(QJsonValue::Null) : TimeJson(d.NextDue)},
          {QStringLiteral("replacedBy"), SerialJson(d.ReplacedBy)}};
}

QJsonObject RunJson(const QSqlQuery& q) {
  // id, worker, device_id, serial, started_at, ended_at, result, files_new, bytes, message
  const QDateTime started = TSqlDialect::ReadTime(q.value(4)), ended = TSqlDialect::ReadTime(q.value(5));
  return {{QStringLiteral("id"), q.value(0).toLongLong()},
          {QStringLiteral("worker"), q.value(1).toString()},
          {QStringLiteral("deviceId"), q.value(2).toLongLong()},
          {QStringLiteral("serial"), SerialJson(q.value(3).toLongLong())},
          {QStringLiteral("startedAt"), TimeJson(started)},
          {QStringLiteral("endedAt"), TimeJson(ended)},
          {QStringLiteral("result"),
           q.value(6).isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(q.value(6).toString())},
          {QStringLiteral("filesNew"), q.value(7).toInt()},
          {QStringLiteral("bytes"), q.value(8).toLongLong()},
          {QStringLiteral("message"), q.value(9).toString()},
          {QStringLiteral("duration"), SecondsJson(started, ended)}};
}
const char* const CRunsSelect =
    "SELECT id, worker, device_id, serial, started_at, ended_at, result, files_new, bytes, message FROM runs";

QJsonObject FileJson(const QSqlQuery& q) {
  // id, path, kind, class, start_time, end_time, size, sha256, downloaded_at
  return {{QStringLiteral("id"), q.value(0).toLongLong()},
          {QStringLiteral("path"), q.value(1).toString()},
          {QStringLiteral("kind"), q.value(2).toString()},
          {QStringLiteral("class"), q.value(3).toString()},
          {QStringLiteral("start"), TimeJson(TSqlDialect::ReadTime(q.value(4)))},
          {QStringLiteral("end"), TimeJson(TSqlDialect::ReadTime(q.value(5)))},
          {QStringLiteral("size"), q.value(6).toLongLong()},
          {QStringLiteral("sha256"), q.value(7).toString()},
          {QStringLiteral("downloadedAt"), TimeJson(TSqlDialect::ReadTime(q.value(8)))}};
}

// Runs `sql` with the bound values and one row more than a page, so that
// `next` is null exactly when nothing follows.
template <typename F>
TWebAnswer Page(TFleetDb& db, const QString& sql, const TWhere& where, int limit, const char* key, F toJson) {
  QSqlQuery q(db.Db());
  q.setForwardOnly(true);
  if (!q.prepare(sql)) return DbError(q);
  where.Bind(q);
  q.addBindValue(limit + 1);
  if (!q.exec()) return DbError(q);
  QJsonArray rows;
  qint64 lastId = 0;
  bool more = false;
  while (q.next()) {
    if (rows.size() == limit) {
      more = true;
      break;
    }
    lastId = q.value(0).toLongLong();
    rows.append(toJson(q));
  }
  return Ok(
      {{QLatin1String(key), rows}, {QStringLiteral("next"), more ? QJsonValue(lastId) : QJsonValue(QJsonValue::Null)}});
}

// The row of a serial number: the one in service, else the newest that had it.
std::optional<TDeviceRow> DeviceBySerial(TFleetDb& db, qint64 serial, QString& error) {
  QSqlQuery q(db.Db());
  q.prepare(QStringLiteral(
      "SELECT id FROM devices WHERE serial = ? ORDER BY CASE WHEN replaced_by IS NULL THEN 0 ELSE 1 END, id DESC"));
  q.addBindValue(serial);
  if (!q.exec()) {
    error = q.lastError().text();
    return std::nullopt;
  }
  if (!q.next()) return std::nullopt;
  return db.Device(q.value(0).toLongLong());
}

QByteArray PromNumber(double v) { return QByteArray::number(v, 'g', 15); }

// HELP text: backslash and line break escaped (quotes stay as they are there).
QByteArray PromHelp(const QString& text) {
  QString s = text;
  s.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
  return s.toUtf8();
}

}  // namespace

TWebAnswer TWebAnswer::Error(int status, const QString& message) {
  return {status, QJsonObject{{CSchemaVersion, 1},
                              {QStringLiteral("error"),
                               QJsonObject{{QStringLiteral("code"), status}, {QStringLiteral("message"), message}}}}};
}

QByteArray TWebAnswer::Json() const { return QJsonDocument(Body).toJson(QJsonDocument::Compact) + '\n'; }

QString DeviceStateName(TDeviceState s) {
  switch (s) {
    case TDeviceState::dsUp: return QStringLiteral("up");
    case TDeviceState::dsDown: return QStringLiteral("down");
    case TDeviceState::dsPaused: return QStringLiteral("paused");
    case TDeviceState::dsNever: return QStringLiteral("never");
  }
  return {};
}

TDeviceState StateOf(const TDeviceRow& d, const std::optional<TRunView>& lastRun, const QDateTime& now) {
  if (d.Paused) return TDeviceState::dsPaused;
  if (!lastRun) return TDeviceState::dsNever;
  const bool recent = d.LastContact.isValid() && d.LastContact.secsTo(now) <= 2 * qint64(d.EverySeconds);
  return lastRun->Result == QLatin1String("ok") && recent ? TDeviceState::dsUp : TDeviceState::dsDown;
}

bool ReadHealth(TFleetDb& db, const QDateTime& now, QList<TDeviceHealth>& out, QString& error) {
  out.clear();
  const QList<TDeviceRow> devices = db.Devices();
  if (!db.LastError().isEmpty() && devices.isEmpty()) {
    QSqlQuery probe(db.Db());
    if (!probe.exec(QStringLiteral("SELECT 1 FROM devices LIMIT 1"))) {
      error = probe.lastError().text();
      return false;
    }
  }
  // The last finished run of each device: a run still going says nothing yet.
  QHash<qint64, TRunView> runs;
  QSqlQuery r(db.Db());
  r.setForwardOnly(true);
  if (!r.exec(QStringLiteral("SELECT r.device_id, %1 FROM runs r JOIN (SELECT device_id, MAX(id) AS id FROM runs "
                             "WHERE result IS NOT NULL GROUP BY device_id) m ON m.id = r.id")
                  .arg(QLatin1String(CRunColumns)))) {
    error = r.lastError().text();
    return false;
  }
  while (r.next()) runs.insert(r.value(0).toLongLong(), ReadRun(r, 1));
  // The newest status of each device.
  QHash<qint64, TStatusView> status;
  QSqlQuery s(db.Db());
  s.setForwardOnly(true);
  if (!s.exec(
          QStringLiteral("SELECT s.device_id, %1 FROM status s JOIN (SELECT device_id, MAX(taken_at) AS t FROM status "
                         "GROUP BY device_id) m ON m.device_id = s.device_id AND m.t = s.taken_at")
              .arg(QLatin1String(CStatusColumns)))) {
    error = s.lastError().text();
    return false;
  }
  while (s.next())
    if (!status.contains(s.value(0).toLongLong())) status.insert(s.value(0).toLongLong(), ReadStatus(s, 1));
  for (const TDeviceRow& d : devices) {
    TDeviceHealth h;
    h.Device = d;
    if (runs.contains(d.Id)) h.LastRun = runs.value(d.Id);
    if (status.contains(d.Id)) h.Status = status.value(d.Id);
    h.State = StateOf(d, h.LastRun, now);
    out << h;
  }
  return true;
}

TWebAnswer DevicesAnswer(TFleetDb& db, const QDateTime& now) {
  QList<TDeviceHealth> health;
  QString error;
  if (!ReadHealth(db, now, health, error)) return TWebAnswer::Error(500, QStringLiteral("database: %1").arg(error));
  QJsonArray list;
  for (const TDeviceHealth& h : health) list.append(HealthJson(h, now));
  return Ok({{QStringLiteral("now"), TimeJson(now)}, {QStringLiteral("devices"), list}});
}

TWebAnswer DeviceAnswer(TFleetDb& db, const QString& serialText, const QDateTime& now) {
  bool ok = false;
  const qint64 serial = serialText.toLongLong(&ok);
  if (!ok || serial < 1 || serialText.startsWith(QLatin1Char('+')))
    return TWebAnswer::Error(
        400, QStringLiteral("'%1' is no serial number: expected a whole number from 1").arg(serialText.left(40)));
  QString error;
  const std::optional<TDeviceRow> found = DeviceBySerial(db, serial, error);
  if (!error.isEmpty()) return TWebAnswer::Error(500, QStringLiteral("database: %1").arg(error));
  if (!found) return TWebAnswer::Error(404, QStringLiteral("no device with serial number %1").arg(serial));
  TDeviceHealth h;
  h.Device = *found;

  QSqlQuery last(db.Db());
  last.prepare(
      QStringLiteral("SELECT %1 FROM runs r WHERE r.device_id = ? AND r.result IS NOT NULL ORDER BY r.id DESC LIMIT 1")
          .arg(QLatin1String(CRunColumns)));
  last.addBindValue(h.Device.Id);
  if (!last.exec()) return DbError(last);
  if (last.next()) h.LastRun = ReadRun(last, 0);

  QSqlQuery st(db.Db());
  st.prepare(QStringLiteral("SELECT %1 FROM status s WHERE s.device_id = ? ORDER BY s.taken_at DESC LIMIT 1")
                 .arg(QLatin1String(CStatusColumns)));
  st.addBindValue(h.Device.Id);
  if (!st.exec()) return DbError(st);
  if (st.next()) h.Status = ReadStatus(st, 0);
  h.State = StateOf(h.Device, h.LastRun, now);

  QJsonArray runs;
  QSqlQuery r(db.Db());
  r.setForwardOnly(true);
  r.prepare(QLatin1String(CRunsSelect) + QStringLiteral(" WHERE device_id = ? ORDER BY id DESC LIMIT 20"));
  r.addBindValue(h.Device.Id);
  if (!r.exec()) return DbError(r);
  while (r.next()) runs.append(RunJson(r));

  QJsonArray files;
  QSqlQuery f(db.Db());
  f.setForwardOnly(true);
  f.prepare(
      QStringLiteral("SELECT id, path, kind, class, start_time, end_time, size, sha256, downloaded_at FROM files "
                     "WHERE serial = ? ORDER BY id DESC LIMIT 50"));
  f.addBindValue(serial);
  if (!f.exec()) return DbError(f);
  while (f.next()) files.append(FileJson(f));

  QSqlQuery total(db.Db());
  total.prepare(QStringLiteral("SELECT COUNT(*), COALESCE(SUM(size), 0) FROM files WHERE serial = ?"));
  total.addBindValue(serial);
  if (!total.exec() || !total.next()) return DbError(total);

  return Ok({{QStringLiteral("now"), TimeJson(now)},
             {QStringLiteral("device"), HealthJson(h, now)},
             {QStringLiteral("status"), h.Status ? QJsonValue(StatusJson(*h.Status)) : QJsonValue(QJsonValue::Null)},
             {QStringLiteral("runs"), runs},
             {QStringLiteral("files"), files},
             {QStringLiteral("filesTotal"), total.value(0).toLongLong()},
             {QStringLiteral("bytesTotal"), total.value(1).toLongLong()}});
}

TWebAnswer EventsAnswer(TFleetDb& db, const TWebQuery& query) {
  TParams p(query, {"serial", "from", "to", "text", "limit", "after"});
  const std::optional<qint64> serial = p.Number("serial", 1, std::numeric_limits<qint64>::max());
  const std::optional<qint64> after = p.Number("after", 0, std::numeric_limits<qint64>::max());
  const QDateTime from = p.Time("from"), to = p.Time("to");
  const int limit = p.Limit();
  const QString text = p.Text("text");
  if (text.size() > 200) p.Fail(QStringLiteral("text: at most 200 characters"));
  if (from.isValid() && to.isValid() && to < from) p.Fail(QStringLiteral("to lies before from"));
  if (!p.Error().isEmpty()) return TWebAnswer::Error(400, p.Error());

  TWhere w;
  // In the order they happened (id among equal times); a page goes on after
  // the row `after` names, wherever that row's time puts it.
  if (after) {
    w.Add(QStringLiteral("(e.time > (SELECT time FROM events WHERE id = ?) OR (e.time = (SELECT time FROM events WHERE id = ?) "
                         "AND e.id > ?))"),
          *after);
    w.Values << *after << *after;
  }
  if (serial) w.Add(QStringLiteral("e.serial = ?"), *serial);
  if (from.isValid()) w.Add(QStringLiteral("e.time >= ?"), db.Dialect().BindTime(from));
  if (to.isValid()) w.Add(QStringLiteral("e.time < ?"), db.Dialect().BindTime(to));
  if (!text.isEmpty()) w.Add(QStringLiteral("LOWER(e.text) LIKE ? ESCAPE '\\'"), ContainsPattern(text));
  const QString sql = QStringLiteral(
                          "SELECT e.id, e.file_id, f.path, e.serial, e.time, e.text, e.max_value, e.unit, e.harmonic, "
                          "e.duration_ms FROM events e LEFT JOIN files f ON f.id = e.file_id") +
                      w.Sql() + QStringLiteral(" ORDER BY e.time, e.id LIMIT ?");
  return Page(db, sql, w, limit, "events", [](const QSqlQuery& q) {
    return QJsonObject{
        {QStringLiteral("id"), q.value(0).toLongLong()},
        {QStringLiteral("fileId"), q.value(1).toLongLong()},
        {QStringLiteral("file"),
         q.value(2).isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(q.value(2).toString())},
        {QStringLiteral("serial"), q.value(3).toLongLong()},
        {QStringLiteral("time"), TimeJson(TSqlDialect::ReadTime(q.value(4)), true)},
        {QStringLiteral("text"), q.value(5).toString()},
        {QStringLiteral("maxValue"),
         q.value(6).isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(q.value(6).toDouble())},
        {QStringLiteral("unit"), q.value(7).toString()},
        {QStringLiteral("harmonic"),
         q.value(8).isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(q.value(8).toInt())},
        {QStringLiteral("duration"),
         q.value(9).isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(double(q.value(9).toLongLong()) / 1000.0)}};
  });
}

TWebAnswer RunsAnswer(TFleetDb& db, const TWebQuery& query) {
  TParams p(query, {"serial", "result", "limit", "after"});
  const std::optional<qint64> serial = p.Number("serial", 1, std::numeric_limits<qint64>::max());
  const std::optional<qint64> after = p.Number("after", 0, std::numeric_limits<qint64>::max());
  const int limit = p.Limit();
  const QString result = p.Text("result");
  const QStringList results{QStringLiteral("ok"), QStringLiteral("failed"), QStringLiteral("interrupted"),
                            QStringLiteral("lost"), QStringLiteral("running")};
  if (p.Has("result") && !results.contains(result))
    p.Fail(QStringLiteral("result='%1': expected one of %2").arg(result.left(40), results.join(QStringLiteral(", "))));
  if (!p.Error().isEmpty()) return TWebAnswer::Error(400, p.Error());

  TWhere w;
  if (after) w.Add(QStringLiteral("id > ?"), *after);
  if (serial) w.Add(QStringLiteral("serial = ?"), *serial);
  if (result == QLatin1String("running"))
    w.Clauses << QStringLiteral("result IS NULL");
  else if (!result.isEmpty())
    w.Add(QStringLiteral("result = ?"), result);
  const QString sql = QLatin1String(CRunsSelect) + w.Sql() + QStringLiteral(" ORDER BY id LIMIT ?");
  return Page(db, sql, w, limit, "runs", [](const QSqlQuery& q) { return RunJson(q); });
}

const QList<double>& RunDurationBuckets() {
  // A readout takes seconds when nothing is new and minutes after a long
  // silence; beyond an hour something is wrong.
  static const QList<double> buckets{1, 5, 10, 30, 60, 120, 300, 600, 1800, 3600};
  return buckets;
}

QString PromLabelValue(const QString& value) {
  QString s;
  s.reserve(value.size());
  for (const QChar c : value) {
    if (c == QLatin1Char('\\'))
      s += QStringLiteral("\\\\");
    else if (c == QLatin1Char('"'))
      s += QStringLiteral("\\\"");
    else if (c == QLatin1Char('\n'))
      s += QStringLiteral("\\n");
    else
      s += c;
  }
  return s;
}

QByteArray MetricsText(TFleetDb& db, const QDateTime& now, QString& error) {
  QList<TDeviceHealth> health;
  if (!ReadHealth(db, now, health, error)) return {};
  QByteArray out;
  auto family = [&out](const char* name, const char* type, const QString& help) {
    out += QByteArray("# HELP ") + name + ' ' + PromHelp(help) + "\n# TYPE " + name + ' ' + type + '\n';
  };

  family("vanta_fleet_devices", "gauge",
         QStringLiteral("Devices in service (rows replaced by a new serial number left out)."));
  out += "vanta_fleet_devices " + QByteArray::number(health.size()) + '\n';

  family(
      "vanta_fleet_device_up", "gauge",
      QStringLiteral("1 when the device's last finished run succeeded and its last contact is no older than twice its "
                     "interval, else 0 (paused and never read devices are 0)."));
  // One series per label set, as the format demands: a device never reached
  // is told apart by its address, and one entered under two addresses (one
  // serial number, one name) is one series, up when either row is.
  QMap<QString, int> up;
  QHash<QString, int> unreachedNames;
  for (const TDeviceHealth& h : health)
    if (!h.Device.Serial && !h.Device.Name.isEmpty()) ++unreachedNames[h.Device.Name];
  for (const TDeviceHealth& h : health) {
    const QString name = h.Device.Name.isEmpty() ? h.Device.Address()
                         : !h.Device.Serial && unreachedNames.value(h.Device.Name) > 1
                             ? QStringLiteral("%1 (%2)").arg(h.Device.Name, h.Device.Address())
                             : h.Device.Name;
    const QString labels = QStringLiteral("serial=\"%1\",name=\"%2\"")
                               .arg(h.Device.Serial ? QString::number(h.Device.Serial) : QString(), PromLabelValue(name));
    up[labels] = std::max(up.value(labels, 0), h.State == TDeviceState::dsUp ? 1 : 0);
  }
  for (auto it = up.cbegin(); it != up.cend(); ++it)
    out += QStringLiteral("vanta_fleet_device_up{%1} %2\n").arg(it.key()).arg(it.value()).toUtf8();

  QSqlQuery totals(db.Db());
  if (!totals.exec(QStringLiteral(
          "SELECT COALESCE(SUM(bytes), 0), COALESCE(SUM(CASE WHEN result = 'failed' THEN 1 ELSE 0 END), 0) "
          "FROM runs")) ||
      !totals.next()) {
    error = totals.lastError().text();
    return {};
  }
  family("vanta_fleet_readout_bytes_total", "counter", QStringLiteral("Bytes the readouts downloaded, over all runs."));
  out += "vanta_fleet_readout_bytes_total " + QByteArray::number(totals.value(0).toLongLong()) + '\n';
  family("vanta_fleet_readout_failures_total", "counter", QStringLiteral("Readouts that failed."));
  out += "vanta_fleet_readout_failures_total " + QByteArray::number(totals.value(1).toLongLong()) + '\n';

  family("vanta_fleet_last_success_timestamp_seconds", "gauge",
         QStringLiteral("When the device was last read out completely, in seconds since 1970 (UTC)."));
  QMap<qint64, qint64> lastSuccess;  // serial: the latest of its rows, in ms
  for (const TDeviceHealth& h : health)
    if (h.Device.Serial && h.Device.LastSuccess.isValid())
      lastSuccess[h.Device.Serial] = std::max(lastSuccess.value(h.Device.Serial, 0), h.Device.LastSuccess.toMSecsSinceEpoch());
  for (auto it = lastSuccess.cbegin(); it != lastSuccess.cend(); ++it)
    out += QStringLiteral("vanta_fleet_last_success_timestamp_seconds{serial=\"%1\"} ").arg(it.key()).toUtf8() +
           PromNumber(double(it.value()) / 1000.0) + '\n';

  // The histogram is counted by the database: the runs table grows with every
  // readout and need not cross the connection for one scrape.
  const QString seconds =
      db.Dialect().Driver == QLatin1String("QPSQL")
          ? QStringLiteral("EXTRACT(EPOCH FROM (ended_at - started_at))")
          : QStringLiteral("ROUND((julianday(ended_at) - julianday(started_at)) * 86400000.0) / 1000.0");
  QString sql = QStringLiteral("SELECT COUNT(*), COALESCE(SUM(d), 0)");
  for (qsizetype i = 0; i < RunDurationBuckets().size(); ++i)
    sql += QStringLiteral(", COALESCE(SUM(CASE WHEN d <= ? THEN 1 ELSE 0 END), 0)");
  sql += QStringLiteral(" FROM (SELECT %1 AS d FROM runs WHERE ended_at IS NOT NULL AND started_at IS NOT NULL) t")
             .arg(seconds);
  QSqlQuery hist(db.Db());
  hist.prepare(sql);
  for (const double b : RunDurationBuckets()) hist.addBindValue(b);
  if (!hist.exec() || !hist.next()) {
    error = hist.lastError().text();
    return {};
  }
  family("vanta_fleet_run_duration_seconds", "histogram", QStringLiteral("How long the finished readouts took."));
  for (qsizetype i = 0; i < RunDurationBuckets().size(); ++i)
    out += "vanta_fleet_run_duration_seconds_bucket{le=\"" + PromNumber(RunDurationBuckets()[i]) + "\"} " +
           QByteArray::number(hist.value(int(i) + 2).toLongLong()) + '\n';
  const QByteArray count = QByteArray::number(hist.value(0).toLongLong());
  out += "vanta_fleet_run_duration_seconds_bucket{le=\"+Inf\"} " + count + '\n';
  out += "vanta_fleet_run_duration_seconds_sum " + PromNumber(hist.value(1).toDouble()) + '\n';
  out += "vanta_fleet_run_duration_seconds_count " + count + '\n';
  return out;
}

}  // namespace vanta::fleet
