// The device's local-time rule: its own zone and daylight-saving window
// where they are known (online, or kept beside the station's files), the
// file's offset otherwise; the settings file of a station.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Comtrade.h"
#include "DeviceTime.h"
#include "EventTable.h"

using namespace vanta;

namespace {

// Central European time: UTC+1, summer from the last Sunday of March to the
// last Sunday of October.
time_set_t Cet() {
  time_set_t t;
  t.tz = 2;
  t.Stdtz = 2;
  t.dstmode = 1;
  t.ws = {3, 25, 1, 7};
  t.sw = {10, 25, 1, 7};
  return t;
}

constexpr uint32_t CJuly = 1784109600;    // 2026-07-15 10:00:00 UTC
constexpr uint32_t CJanuary = 1768471200;  // 2026-01-15 10:00:00 UTC

TSysEnvHeader Env(uint32_t serial = 12345678) { return {serial, 3600, true, QStringLiteral("Nord"), {}, QStringLiteral("Sim")}; }

void Write(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

TEST(DeviceTime, TheDevicesRulesKnowSummerTheFilesOffsetDoesNot) {
  const TDeviceTime device = TDeviceTime::FromSettings(Cet());
  EXPECT_EQ(device.MilliText({CJuly, 250000000}), QStringLiteral("15.07.2026 12:00:00.250"));
  EXPECT_EQ(device.SecText({CJanuary, 0}), QStringLiteral("15.01.2026 11:00:00"));
  EXPECT_EQ(device.ZoneText(), QString()) << "the device's own local time needs no note";
  // A record stamp never carries the DST flag: by the header alone summer is
  // an hour behind, and the caption says by which offset it was read.
  const TDeviceTime file = TDeviceTime::FromHeader(Env());
  EXPECT_EQ(file.SecText({CJuly, 0}), QStringLiteral("15.07.2026 11:00:00"));
  EXPECT_EQ(file.ZoneText(), QStringLiteral("UTC+01:00"));
  EXPECT_EQ(UtcOffsetText(-(3 * 3600 + 1800)), QStringLiteral("UTC-03:30"));
  EXPECT_EQ(TDeviceTime().SecText({CJuly, 0}), QStringLiteral("15.07.2026 10:00:00"));
}

TEST(DeviceTime, EventTableAndCsvFollowTheRule) {
  TRecordHeader h;
  h.Env = Env();
  const TEventRecord e{0x01040010, {CJuly, 125000000}, 71.2, 0, 0.12, QStringLiteral("L1")};
  EXPECT_EQ(EventCellText(e, 1, h, TDeviceTime::FromSettings(Cet()), {}), QStringLiteral("15.07.2026 12:00:00.125"));
  EXPECT_EQ(EventCellText(e, 1, h, {}), QStringLiteral("15.07.2026 11:00:00.125")) << "the header's rule as before";
  EXPECT_TRUE(EventTableClipboard({e}, h, TDeviceTime::FromSettings(Cet()), {}).contains(QStringLiteral("\t15.07.2026 12:00:00.125\t")));
  TRecordFile rec;
  rec.Header.Kind = TRecordKind::rkRecording;
  rec.Header.Env = Env();
  rec.Header.Context.Channels << TRecordChannel{1, 0, QStringLiteral("V"), QStringLiteral("U L1")};
  rec.Rows << TRecRow{{CJuly, 0}, {230.0f}};
  QByteArray csv;
  QString error;
  ASSERT_TRUE(BuildCsv(rec, TDeviceTime::FromSettings(Cet()), csv, error)) << error.toStdString();
  EXPECT_TRUE(csv.contains("\r\n15.07.2026 12:00:00.000;230\r\n")) << csv.constData();
}

TEST(DeviceTime, SettingsFileRoundTripsAndTellsWhatIsWrong) {
  QTemporaryDir dir;
  time_set_t set = Cet();
  set.tzMin = 30;
  QString error;
  ASSERT_TRUE(SaveDeviceTime(dir.path(), 12345678, set, error)) << error.toStdString();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QString::fromLatin1(CDeviceTimeFile)})
      << "no temporary file left behind";
  uint32_t serial = 0;
  time_set_t back;
  ASSERT_TRUE(LoadDeviceTime(dir.path(), serial, back, error)) << error.toStdString();
  EXPECT_EQ(serial, 12345678u);
  EXPECT_EQ(back.tz, set.tz);
  EXPECT_EQ(back.tzMin, 30);
  EXPECT_EQ(back.dstmode, 1u);
  EXPECT_EQ(back.ws, set.ws);
  EXPECT_EQ(back.sw, set.sw);

  const QString file = QDir(dir.path()).filePath(QString::fromLatin1(CDeviceTimeFile));
  Write(file, "[device-time]\nserial=12345678\ntz=2\ntzMin=0\ndstmode=1\ndstStart=3,25,1\ndstEnd=10,25,1,7\n");
  EXPECT_FALSE(LoadDeviceTime(dir.path(), serial, back, error));
  EXPECT_TRUE(error.contains(QStringLiteral("dstStart"))) << error.toStdString();
  Write(file, "[device-time]\nserial=0\ntz=2\ntzMin=0\ndstmode=1\ndstStart=3,25,1,7\ndstEnd=10,25,1,7\n");
  EXPECT_FALSE(LoadDeviceTime(dir.path(), serial, back, error));
  EXPECT_TRUE(error.contains(QStringLiteral("serial"))) << error.toStdString();
  Write(file, "not an ini file at all");
  EXPECT_FALSE(LoadDeviceTime(dir.path(), serial, back, error));
  EXPECT_TRUE(error.contains(QStringLiteral("unlesbare Zeile"))) << error.toStdString();
  QFile::remove(file);
  EXPECT_FALSE(LoadDeviceTime(dir.path(), serial, back, error));
  EXPECT_TRUE(error.contains(file)) << error.toStdString();
}

TEST(DeviceTime, AStoredFileReadsByItsStationsSettings) {
  QTemporaryDir store;
  const QString station = store.filePath(QStringLiteral("12345678"));
  const QString event = station + QStringLiteral("/Event/12345678-1784109600-000.log");
  const QString recording = station + QStringLiteral("/Recorder/10min-12345678-1784109600-000.log");
  QString error, problem;
  // Nothing kept yet: the header's rule, no problem to report.
  EXPECT_FALSE(DeviceTimeForFile(event, Env(), &problem).HasSettings());
  EXPECT_TRUE(problem.isEmpty());
  QDir().mkpath(station);
  ASSERT_TRUE(SaveDeviceTime(station, 12345678, Cet(), error)) << error.toStdString();
  for (const QString& f : {event, recording}) {
    const TDeviceTime t = DeviceTimeForFile(f, Env(), &problem);
    EXPECT_TRUE(t.HasSettings()) << f.toStdString();
    EXPECT_EQ(t.SecText({CJuly, 0}), QStringLiteral("15.07.2026 12:00:00"));
  }
  EXPECT_FALSE(DeviceTimeForFile(event, Env(87654321)).HasSettings()) << "another device's file keeps its own rule";
  EXPECT_FALSE(DeviceTimeForFile(store.filePath(QStringLiteral("12345678-1784109600-000.log")), Env()).HasSettings())
      << "a file outside a station's folders";
  // A damaged settings file: the header's rule, and why.
  Write(station + QLatin1Char('/') + QString::fromLatin1(CDeviceTimeFile), "serial=12345678\n");
  EXPECT_FALSE(DeviceTimeForFile(event, Env(), &problem).HasSettings());
  EXPECT_FALSE(problem.isEmpty());
}
