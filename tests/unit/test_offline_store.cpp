// The offline store in a temporary data folder: the name rule, the scan,
// a station's tree, import from a card, export and delete.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "OfflineStore.h"
#include "RecordFile.h"

using namespace vanta;

namespace {

// A record file as the device writes it, for station `sn` of `plant`.
void Put(const QString& path, uint32_t sn, const QString& plant, TRecordKind kind, const QString& cls, uint32_t start) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  TContextHeader ctx;
  ctx.Class = cls;
  ctx.Start = {start, 0};
  ctx.End = {start + 600, 0};
  TRecordWriter w(kind, {sn, 3600, false, plant, QStringLiteral("Feld"), QStringLiteral("Geraet %1").arg(sn)}, ctx);
  QString error;
  ASSERT_TRUE(w.Save(path, error)) << error.toStdString();
}

}  // namespace

TEST(OfflineStore, NameRuleAndClasses) {
  TStoreName n;
  ASSERT_TRUE(MatchStoreName(QStringLiteral("10T-12345678-1764892800-000.log"), n));
  EXPECT_EQ(n.Class, QStringLiteral("10T"));
  EXPECT_EQ(n.Serial, 12345678u);
  EXPECT_EQ(n.Start, 1764892800);
  EXPECT_TRUE(n.Recording);
  ASSERT_TRUE(MatchStoreName(QStringLiteral("12345678-1764892800-125.log"), n));
  EXPECT_FALSE(n.Recording) << "no prefix: an event";
  ASSERT_TRUE(MatchStoreName(QStringLiteral("Trg-12345678-1764892800-125.log"), n));
  EXPECT_FALSE(n.Recording) << "only the eleven classes, compared exactly, are recordings";
  EXPECT_FALSE(IsRecordingClass(QStringLiteral("10min ")));
  EXPECT_FALSE(MatchStoreName(QStringLiteral("10T-1234567-1764892800-000.log"), n)) << "seven serial digits";
  EXPECT_FALSE(MatchStoreName(QStringLiteral("10T-12345678-1764892800-000.log.part"), n));
  EXPECT_FALSE(MatchStoreName(QStringLiteral("a-b-12345678-1764892800-000.log"), n));
}

TEST(OfflineStore, ScanGroupsStationsByTheNewestHeader) {
  QTemporaryDir d;
  const QString data = d.path();
  Put(data + "/11111111/Recorder/10min-11111111-1764892800-000.log", 11111111, "Nord", TRecordKind::rkRecording, "10min", 1764892800);
  Put(data + "/11111111/Event/11111111-1764900000-000.log", 11111111, "Nord", TRecordKind::rkEvent, "", 1764900000);
  Put(data + "/22222222/Event/22222222-1764800000-000.log", 22222222, "Nord", TRecordKind::rkEvent, "", 1764800000);
  Put(data + "/tmp/Event/33333333-1764800000-000.log", 33333333, "Temp", TRecordKind::rkEvent, "", 1764800000);
  QDir().mkpath(data + "/44444444/Recorder");  // no files: no station
  QStringList log;
  const QList<TStation> s = ScanStore(data, [&log](const QString& l) { log << l; });
  ASSERT_EQ(s.size(), 2);
  EXPECT_EQ(s[0].Text, QStringLiteral("11111111: Geraet 11111111"));
  EXPECT_EQ(s[0].Plant, QStringLiteral("Nord"));
  EXPECT_EQ(QFileInfo(s[0].Newest).fileName(), QStringLiteral("11111111-1764900000-000.log")) << "newest by start time";
  EXPECT_EQ(s[1].Plant, s[0].Plant) << "one installation, one group";
  EXPECT_TRUE(log.contains(QStringLiteral("Found 1 rekords in %1/11111111/Recorder").arg(data)));
}

TEST(OfflineStore, StationTreeTagsAndOrder) {
  QTemporaryDir d;
  const QString st = d.path() + "/12345678";
  Put(st + "/Recorder/10min-12345678-1764896400-000.log", 12345678, "P", TRecordKind::rkRecording, "10min", 1764896400);
  Put(st + "/Recorder/10min-12345678-1764892800-000.log", 12345678, "P", TRecordKind::rkRecording, "10min", 1764892800);
  Put(st + "/Recorder/Osc-12345678-1764892800-125.log", 12345678, "P", TRecordKind::rkOsc, "Osc", 1764892800);
  Put(st + "/Recorder/BinIn-12345678-1764892800-000.log", 12345678, "P", TRecordKind::rkBinaryInput, "BinIn", 1764892800);
  Put(st + "/Recorder/Slave1-12345678-1764892800-000.log", 12345678, "P", TRecordKind::rkRecording, "Slave1", 1764892800);
  Put(st + "/Event/12345678-1764892800-000.log", 12345678, "P", TRecordKind::rkEvent, "", 1764892800);
  const QList<TStation> s = ScanStore(d.path());
  ASSERT_EQ(s.size(), 1);
  const TStoreNode t = BuildStationTree(s[0]);
  EXPECT_EQ(t.Tag, stStation);
  ASSERT_EQ(t.Children.size(), 2);
  const TStoreNode& rec = t.Children[0];
  EXPECT_EQ(rec.Tag, stRecordings);
  EXPECT_EQ(t.Children[1].Tag, stEvents);
  const TStoreNode& tenMin = rec.Children[2];
  EXPECT_EQ(tenMin.Tag, stGroup) << "class groups carry the tag delete-class looks for";
  ASSERT_EQ(tenMin.Children.size(), 2);
  EXPECT_LT(tenMin.Children[0].Start, tenMin.Children[1].Start) << "sorted by start time";
  EXPECT_EQ(tenMin.Children[0].Tag, stRecordingFile);
  EXPECT_TRUE(rec.Children[8].Children[0].IsAsync);
  EXPECT_EQ(rec.Children[9].Children[0].Text, QStringLiteral("Slave1"));
  EXPECT_EQ(rec.Children[10].Tag, stDisturbance);
  EXPECT_EQ(rec.Children[10].Children[0].Tag, stOsc);
  EXPECT_TRUE(rec.Children[10].Children[0].Children[0].Text.startsWith(QStringLiteral("Osc 05.12.2025 01:00:00")));
  EXPECT_EQ(t.Children[1].Children[0].Tag, stEventFile);
  EXPECT_EQ(FilesBelow(t).size(), 6);
}

TEST(OfflineStore, ImportExportAndDelete) {
  QTemporaryDir card, store, out;
  Put(card.path() + "/10T-12345678-1764892800-000.log", 12345678, "P", TRecordKind::rkRecording, "10T", 1764892800);
  Put(card.path() + "/sub/12345678-1764892800-000.log", 12345678, "P", TRecordKind::rkEvent, "", 1764892800);
  Put(card.path() + "/sub/scratchpad/12345678-1764999999-000.log", 12345678, "P", TRecordKind::rkEvent, "", 1764999999);
  Put(card.path() + "/10T-1234567-1764892800-000.log", 1234567, "P", TRecordKind::rkRecording, "10T", 1764892800);
  // A store name on a file without a readable head: named and left on the card.
  QFile(card.path() + "/12345678-1764892801-000.log").open(QIODevice::WriteOnly);
  const TImportResult r = ImportFolder(card.path(), store.path());
  EXPECT_EQ(r.Recordings, 1);
  EXPECT_EQ(r.Events, 1) << "the event; not the scratchpad, not the empty file";
  ASSERT_EQ(r.Failed.size(), 1);
  EXPECT_TRUE(r.Failed[0].contains(card.path() + "/12345678-1764892801-000.log")) << r.Failed[0].toStdString();
  EXPECT_FALSE(QFile::exists(store.path() + "/12345678/Event/12345678-1764892801-000.log"));
  EXPECT_TRUE(QFile::exists(store.path() + "/12345678/Recorder/10T-12345678-1764892800-000.log"));
  EXPECT_TRUE(QFile::exists(store.path() + "/12345678/Event/12345678-1764892800-000.log"));
  EXPECT_FALSE(QFile::exists(store.path() + "/12345678/Event/12345678-1764999999-000.log"));
  EXPECT_EQ(r.Ignored.size(), 1) << "seven serial digits";
  // Importing again overwrites.
  EXPECT_EQ(ImportFolder(card.path(), store.path()).Total(), 2);

  QStringList failed;
  const QStringList files{store.path() + "/12345678/Recorder/10T-12345678-1764892800-000.log"};
  // A folder not there yet is made.
  EXPECT_EQ(ExportFiles(files, out.path() + "/new/sub", failed), 1);
  EXPECT_TRUE(QFile::exists(out.path() + "/new/sub/10T-12345678-1764892800-000.log"));
  EXPECT_TRUE(failed.isEmpty());
  QDir().mkpath(out.path() + "/ro");
  QFile::setPermissions(out.path() + "/ro", QFile::ReadOwner | QFile::ExeOwner);
  if (QFile f(out.path() + "/ro/probe"); !f.open(QIODevice::WriteOnly)) {  // not as root
    EXPECT_EQ(ExportFiles(files, out.path() + "/ro", failed), 0);
    EXPECT_EQ(failed.size(), 1);
    EXPECT_TRUE(QDir(out.path() + "/ro").entryList(QDir::Files).isEmpty()) << "nothing half-written";
  }

  QStringList log;
  EXPECT_TRUE(OfflineDelFile(files[0], [&log](const QString& l) { log << l; }));
  EXPECT_EQ(log.last(), QStringLiteral("Deleting %1").arg(files[0]));
  EXPECT_FALSE(OfflineDelFile(files[0], [&log](const QString& l) { log << l; })) << "gone: nothing, no log";
  EXPECT_EQ(log.size(), 1);
  EXPECT_FALSE(DeleteStation(store.path(), QStringLiteral("../x")));
  EXPECT_TRUE(DeleteStation(store.path(), QStringLiteral("12345678")));
  EXPECT_FALSE(QFileInfo::exists(store.path() + "/12345678"));
}
