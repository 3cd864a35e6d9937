#pragma once
// A fleet database as a service leaves it after a while, written through the
// service's own TFleetDb: devices in every state the dashboard knows, runs of
// known durations, files, status snapshots and events to page through. The
// times are relative to `now`, so the states hold whenever the test runs.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include "FleetDb.h"

namespace vanta::test::fleetweb {

using namespace vanta::fleet;

struct TFilled {
  // serial -> the state the dashboard must show
  QMap<qint64, QString> States;
  QStringList Names;         // of every device in service
  qint64 EventsOf30001 = 0;  // events of serial 30001
  qint64 EventsTotal = 0;
  qint64 BytesTotal = 0;  // sum of runs.bytes
  qint64 FailedRuns = 0;
  QList<double> Durations;  // of the finished runs, seconds
  QDateTime LastSuccess30001;
  QString OddName;     // a name with a quote, a backslash and a line break
  QString MarkupName;  // a name that looks like HTML
};

// Event texts as the devices name them, and one with LIKE's wildcards in it.
inline const QStringList CEventTexts{QStringLiteral("Spannungseinbruch L1"), QStringLiteral("Spannungsüberhöhung L2"),
                                     QStringLiteral("Unterbrechung L3"), QStringLiteral("Oberschwingung U L1")};
inline const QString CWildcardText = QStringLiteral("Last 100% über_Grenze");

class TFleetFiller {
 public:
  TFleetFiller(const QString& file, const QDateTime& now) : FNow(now) {
    QString error;
    EXPECT_TRUE(FDb.Open(QStringLiteral("sqlite:") + file, error)) << error.toStdString();
  }

  TDeviceRow Device(const QString& name, const QString& host, int every, bool paused = false) {
    TDeviceRow d;
    d.Host = host;
    d.Port = 5040;
    d.Name = name;
    d.EverySeconds = every;
    d.Paused = paused;
    EXPECT_TRUE(FDb.AddDevice(d)) << FDb.LastError().toStdString();
    Filled.Names << name;
    return d;
  }
  // The device answered `ago` seconds before now.
  void Contact(TDeviceRow& d, qint64 serial, qint64 ago) {
    d.Serial = serial;
    d.Plant = QStringLiteral("Umspannwerk Nord");
    d.Field = QStringLiteral("Feld %1").arg(serial % 100);
    d.Device = QStringLiteral("VM-%1").arg(serial);
    d.Firmware = QStringLiteral("V2.%1.0").arg(serial % 10);
    EXPECT_TRUE(FDb.NoteIdentity(d, FNow.addSecs(-ago)));
  }
  // A finished run that started `ago` seconds before now and took `seconds`.
  void Run(const TDeviceRow& d, qint64 ago, double seconds, TRunResult result, qint64 bytes, int filesNew = 0) {
    const QDateTime start = FNow.addSecs(-ago);
    const qint64 id = FDb.BeginRun(QStringLiteral("test:1"), d.Id, d.Serial, start);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(FDb.EndRun(id, result, filesNew, bytes,
                           result == TRunResult::rrOk ? QString() : QStringLiteral("keine Verbindung"),
                           start.addMSecs(qint64(seconds * 1000))));
    Filled.Durations << seconds;
    Filled.BytesTotal += bytes;
    if (result == TRunResult::rrFailed) ++Filled.FailedRuns;
  }
  void Status(const TDeviceRow& d, qint64 ago, qint64 flashMb, qint64 sdMb, qint64 offset) {
    TStatusRow s;
    s.DeviceId = d.Id;
    s.Serial = d.Serial;
    s.TakenAt = FNow.addSecs(-ago);
    s.Firmware = d.Firmware;
    s.UptimeS = 86400;
    s.DeviceTime = s.TakenAt.addSecs(offset);
    s.ClockOffsetS = offset;
    s.FlashFreeMb = flashMb;
    s.RamFreeMb = 120;
    s.SdFreeMb = sdMb;
    s.TimeSync = QStringLiteral("synchronised");
    ASSERT_TRUE(FDb.AddStatus(s)) << FDb.LastError().toStdString();
  }
  // An event file with `count` events, a quarter of an hour apart from `first`.
  void EventFile(const TDeviceRow& d, int number, const QDateTime& first, int count,
                 const QString& oddText = QString()) {
    TFileRow f;
    f.DeviceId = d.Id;
    f.Serial = d.Serial;
    f.Path = QStringLiteral("%1/Event/ev-%1-%2.evt").arg(d.Serial).arg(number);
    f.Class = QStringLiteral("Ereignis");
    f.Start = first;
    f.End = first.addSecs(900 * count);
    f.Size = 4096 + number;
    f.Sha256 = QString::fromLatin1(QCryptographicHash::hash(f.Path.toUtf8(), QCryptographicHash::Sha256).toHex());
    QList<TEventRow> events;
    for (int i = 0; i < count; ++i) {
      TEventRow e;
      e.Serial = d.Serial;
      e.Time = first.addMSecs(qint64(i) * 900000 + 125);
      e.Text = (i == 0 && !oddText.isEmpty()) ? oddText : CEventTexts[i % CEventTexts.size()];
      e.MaxValue = 70.0 + i % 40;
      e.Unit = QStringLiteral("%");
      if (i % 4 == 3) e.Harmonic = 5;
      if (i % 3 != 0) e.DurationMs = 120 + i;
      events << e;
    }
    bool inserted = false;
    ASSERT_TRUE(FDb.IndexFile(f, events, inserted)) << FDb.LastError().toStdString();
    ASSERT_TRUE(inserted);
    Filled.EventsTotal += count;
    if (d.Serial == 30001) Filled.EventsOf30001 += count;
  }

  // The whole fleet: six devices, one in each corner of the rule.
  TFilled Fill() {
    // Read a minute ago, last run fine: up.
    TDeviceRow a = Device(QStringLiteral("Abgang 1"), QStringLiteral("10.20.0.11"), 900);
    Contact(a, 30001, 60);
    for (int i = 0; i < 25; ++i) Run(a, 3600 + 900 * (25 - i), 2.0, TRunResult::rrOk, 1000);
    Run(a, 7200, 0.5, TRunResult::rrOk, 0);
    Run(a, 5400, 45, TRunResult::rrOk, 50000, 3);
    Run(a, 3600, 200, TRunResult::rrOk, 250000, 7);
    Run(a, 600, 4000, TRunResult::rrOk, 800000, 12);
    Run(a, 120, 3.0, TRunResult::rrOk, 12345, 1);
    EXPECT_TRUE(FDb.NoteSuccess(a.Id, FNow.addSecs(-60), FNow.addSecs(840)));
    Filled.LastSuccess30001 = FNow.addSecs(-60);
    Status(a, 7200, 900, 3900, 3);
    Status(a, 60, 812, 3800, -1);
    const QDateTime base(QDate(2025, 12, 5), QTime(0, 0), Qt::UTC);
    for (int file = 0; file < 6; ++file)
      EventFile(a, file, base.addDays(file), 40, file == 2 ? CWildcardText : QString());
    Filled.States.insert(30001, QStringLiteral("up"));

    // Answered three hours ago, failing since: down.
    TDeviceRow b = Device(QStringLiteral("Abgang 2"), QStringLiteral("10.20.0.12"), 900);
    Contact(b, 30002, 3 * 3600);
    Run(b, 3 * 3600, 12, TRunResult::rrOk, 4000, 2);
    EXPECT_TRUE(FDb.NoteSuccess(b.Id, FNow.addSecs(-3 * 3600), FNow.addSecs(-2 * 3600)));
    for (int i = 3; i > 0; --i) Run(b, 1800 * i, 30, TRunResult::rrFailed, 0);
    EXPECT_TRUE(FDb.NoteFailure(b.Id, 3, FNow.addSecs(60)));
    EventFile(b, 0, base, 30);
    Filled.States.insert(30002, QStringLiteral("down"));

    // Paused: never read, whatever its history.
    TDeviceRow c = Device(QStringLiteral("Reserve"), QStringLiteral("10.20.0.13"), 900, true);
    Contact(c, 30003, 86400);
    Run(c, 86400, 5, TRunResult::rrOk, 100);
    Filled.States.insert(30003, QStringLiteral("paused"));

    // Hourly, answered 90 minutes ago: inside twice its interval, still up.
    TDeviceRow e = Device(QStringLiteral("Stündlich"), QStringLiteral("10.20.0.14"), 3600);
    Contact(e, 30004, 90 * 60);
    Run(e, 90 * 60, 8, TRunResult::rrOk, 700, 1);
    Filled.States.insert(30004, QStringLiteral("up"));

    // Hourly, last run fine but 2 h 5 min ago: past twice its interval, down.
    Filled.OddName = QStringLiteral("Feld \"Nord\"\\Süd\nReihe 2");
    TDeviceRow g = Device(Filled.OddName, QStringLiteral("10.20.0.15"), 3600);
    Contact(g, 30005, 125 * 60);
    Run(g, 125 * 60, 9, TRunResult::rrOk, 900, 1);
    Filled.States.insert(30005, QStringLiteral("down"));

    // Never reached (no serial yet), a run under way: never.
    Filled.MarkupName = QStringLiteral("Neu <b>fett</b> & <script>x</script>");
    TDeviceRow n = Device(Filled.MarkupName, QStringLiteral("10.20.0.16"), 900);
    EXPECT_GT(FDb.BeginRun(QStringLiteral("test:1"), n.Id, 0, FNow.addSecs(-5)), 0);
    return Filled;
  }

  TFleetDb& Db() { return FDb; }
  TFilled Filled;

 private:
  QDateTime FNow;
  TFleetDb FDb;
};

// A test over the whole fleet in a database of its own, its times relative to `Now`.
class TFilledFleetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Now = QDateTime::currentDateTimeUtc();
    TFleetFiller filler(DbFile(), Now);
    Filled = filler.Fill();
  }
  QString DbFile() const { return Dir.path() + QStringLiteral("/fleet.sqlite"); }
  QString DbUrl() const { return QStringLiteral("sqlite:") + DbFile(); }

  QTemporaryDir Dir;
  QDateTime Now;
  TFilled Filled;
};

}  // namespace vanta::test::fleetweb
