// The readout's tree, completeness test and queued download, on files in a
// temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "Readout.h"

using namespace vanta;

namespace {

struct TPlace {
  QTemporaryDir Dir;
  TReadoutPlace P;
  QStringList Log;
  TPlace() {
    P.EventDir = Dir.filePath(QStringLiteral("Event/"));
    P.RecorderDir = Dir.filePath(QStringLiteral("Recorder/"));
    QDir().mkpath(P.EventDir);
    QDir().mkpath(P.RecorderDir);
    P.ToLocal = [](tmStamp_t t) { return tmStamp_t{t.Sec + 3600, t.Frac}; };
    P.Log = [this](const QString& l) { Log << l; };
  }
  void Put(const QString& local, int size) {
    QFile f(local);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
  }
};

}  // namespace

TEST(Readout, ListLinesAndLocalNames) {
  const QList<TListLine> l = ParseListText(QStringLiteral("a/b-1-2-3.log;100;2048\r\nx.log;5;lots\r\n\r\n"));
  ASSERT_EQ(l.size(), 2);
  EXPECT_EQ(l[0].Size, 2048u);
  EXPECT_EQ(l[1].Size, 0u) << "a size that does not parse counts as 0";
  TPlace t;
  EXPECT_EQ(GetFileNameOnDisk(t.P, QStringLiteral("sync/10min-1-2-3.log"), true), t.P.RecorderDir + "10min-1-2-3.log");
  EXPECT_EQ(GetFileNameOnDisk(t.P, QStringLiteral("12345678-1-2.log"), false), t.P.EventDir + "12345678-1-2.log");
}

TEST(Readout, CompleteWhenAtLeastAsLargeResumeFromTheLocalSize) {
  TPlace t;
  QString local;
  uint64_t size = 100;
  EXPECT_FALSE(DoesFileExist(t.P, QStringLiteral("e.log"), local, size, false, true));
  EXPECT_EQ(size, 0u) << "a missing file is fetched from 0";
  EXPECT_EQ(t.Log.last(), QStringLiteral("File %1 does not exist - Downloading").arg(local));
  t.Put(local, 40);
  size = 100;
  EXPECT_FALSE(DoesFileExist(t.P, QStringLiteral("e.log"), local, size, false, true));
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(t.Log.last(), QStringLiteral("File %1 Exists 40/100 - Resuming").arg(local));
  size = 40;
  EXPECT_TRUE(DoesFileExist(t.P, QStringLiteral("e.log"), local, size, false, true)) << "exactly as large";
  size = 30;
  EXPECT_TRUE(DoesFileExist(t.P, QStringLiteral("e.log"), local, size, false, false)) << "larger counts as complete too";
  EXPECT_EQ(size, 40u);
  // The same answers from one listing of the folders.
  TakeSnapshot(t.P);
  QFile::remove(local);  // the snapshot was taken before
  size = 100;
  EXPECT_FALSE(DoesFileExist(t.P, QStringLiteral("e.log"), local, size, false, false));
  EXPECT_EQ(size, 40u);
  size = 0;
  EXPECT_FALSE(DoesFileExist(t.P, QStringLiteral("other.log"), local, size, false, false));
}

TEST(Readout, OnlyTheFinalNameIsACopyAndPartFilesAreResumed) {
  TPlace t;
  QString local;
  const QString name = QStringLiteral("e.log");
  t.Put(t.P.EventDir + "e.log.part", 40);
  uint64_t size = 100;
  EXPECT_FALSE(DoesFileExist(t.P, name, local, size, false, false));
  EXPECT_EQ(size, 40u) << "resumed from the part file";
  EXPECT_EQ(PrepareResume(t.P, name, 100, false), 40u);
  // As large as the device's file, it is still not a copy until renamed.
  QFile::remove(t.P.EventDir + "e.log.part");
  t.Put(t.P.EventDir + "e.log.part", 100);
  size = 100;
  EXPECT_FALSE(DoesFileExist(t.P, name, local, size, false, false));
  // A part larger than the device's file is another file's: start again.
  size = 30;
  EXPECT_FALSE(DoesFileExist(t.P, name, local, size, false, false));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(PrepareResume(t.P, name, 30, false), 0u);
  EXPECT_FALSE(QFile::exists(t.P.EventDir + "e.log.part"));
  // The same answers from one listing of the folder.
  t.Put(t.P.EventDir + "e.log.part", 25);
  TakeSnapshot(t.P);
  size = 30;
  EXPECT_FALSE(DoesFileExist(t.P, name, local, size, false, false));
  EXPECT_EQ(size, 25u);
}

TEST(Readout, AShortCopyLeftByAnOlderVersionIsResumedIntoAPartFile) {
  TPlace t;
  t.Put(t.P.RecorderDir + "10min-1-2-3.log", 64);
  QString local;
  uint64_t size = 256;
  EXPECT_FALSE(DoesFileExist(t.P, QStringLiteral("sync/10min-1-2-3.log"), local, size, true, false));
  EXPECT_EQ(size, 64u);
  EXPECT_EQ(PrepareResume(t.P, QStringLiteral("sync/10min-1-2-3.log"), 256, true), 64u);
  EXPECT_FALSE(QFile::exists(local)) << "the short copy no longer carries the final name";
  EXPECT_EQ(QFileInfo(local + ".part").size(), 64);
}

TEST(Readout, AChainNotesFailuresCountsBytesAndStopsWhenCancelled) {
  TPlace t;
  t.Put(t.P.EventDir + "b.log.part", 20);
  TReadoutChain chain(t.P);
  chain.Start(TReadoutChain::TQueue::qEvents, {"a.log=100", "b.log=50", "c.log=2000"});
  EXPECT_EQ(chain.BytesToFetch(), 100u + 30u + 2000u);
  EXPECT_EQ(chain.FilesTotal(), 3);
  TReadoutChain::TStep s = chain.Next();
  EXPECT_EQ(s.Path, QStringLiteral("c.log"));
  EXPECT_EQ(s.Size, 2000u);
  chain.NoteBytes(1000);
  EXPECT_EQ(chain.BytesToFetch(), 1130u);
  EXPECT_EQ(chain.ProgressText(2000), QStringLiteral("0 / 3 Dateien – 1000 B / 2 KiB – noch 0:02"));
  chain.NoteFailure(QStringLiteral("c.log"), QStringLiteral("Platte voll"));
  s = chain.Next();
  EXPECT_EQ(s.Path, QStringLiteral("b.log"));
  EXPECT_EQ(s.Position, 20u);
  chain.Cancel();
  s = chain.Next();
  EXPECT_TRUE(s.Done);
  EXPECT_TRUE(s.Cancelled);
  EXPECT_EQ(chain.Remaining(), QStringList{QStringLiteral("a.log")}) << "b.log came, a.log was never asked for";
  ASSERT_EQ(chain.Failures().size(), 1);
  EXPECT_EQ(chain.Failures()[0].Path, QStringLiteral("c.log"));
}

TEST(Readout, RecordingTreeGroupsCaptionsAndHiddenClasses) {
  TPlace t;
  const QList<TListLine> lines = ParseListText(QStringLiteral(
      "sync/10min-12345678-1764892800-000.log;1764964800;6144\n"
      "sync/Slave1-12345678-1764892800-000.log;1764900000;100\n"
      "sync/slave2-12345678-1764892800-000.log;1764900000;100\n"
      "sync/Slave1-12345678-1764896400-000.log;1764900000;100\n"
      "sync/Xyz-12345678-1764892800-000.log;1764900000;100\n"
      "async/BinIn-12345678-1764892860-000.log;1764892880;300\n"
      "rec/Osc-12345678-1764896400-125.log;1764896401;12345\n"
      "rec/Hp-12345678-1764896400-125.log;1764896402;2000\n"
      "rec/Trg-12345678-1764896400-125.log;1764896401;150\n"
      "other/thing.log;1;1\n"
      "sync/10min-12345678-1764892800-000.log;1764964800;6144\n"));
  t.Put(t.P.RecorderDir + "Hp-12345678-1764896400-125.log", 2000);
  const TReadoutTree tree = BuildRecordingTree(t.P, lines);
  ASSERT_EQ(tree.Roots.size(), 11);
  EXPECT_EQ(tree.Roots[0].Text, QStringLiteral("200ms TRMS"));
  EXPECT_EQ(tree.Roots[6].Text, QStringLiteral("Variables Sekundenintervall TRMS"));
  const TReadoutNode& tenMin = tree.Roots[2];
  ASSERT_EQ(tenMin.Children.size(), 2) << "two lines with the same path are two items";
  EXPECT_EQ(tenMin.Children[0].Text, QStringLiteral("05.12.2025 01:00:00 - 05.12.2025 21:00:00 - 6Kb"));
  const TReadoutNode& modbus = tree.Roots[9];
  ASSERT_EQ(modbus.Children.size(), 2) << "one group per slave class";
  EXPECT_EQ(modbus.Children[0].Text, QStringLiteral("Slave1"));
  EXPECT_EQ(modbus.Children[0].Children.size(), 2);
  EXPECT_TRUE(tree.Roots[8].Children[0].IsAsync);
  const TReadoutNode& dist = tree.Roots[10];
  EXPECT_EQ(dist.Children[0].Children[0].Text, QStringLiteral("Osc 05.12.2025 02:00:00 12Kb"));
  EXPECT_EQ(dist.Children[1].Children[0].Image, CImgOnDisk) << "the Hp copy is complete";
  EXPECT_EQ(dist.Children[2].Text.left(3), QStringLiteral("Trg")) << "other disturbance classes under the group itself";
  ASSERT_EQ(tree.Hidden.size(), 1);
  EXPECT_TRUE(tree.Hidden[0].Path.contains(QStringLiteral("Xyz")));
  EXPECT_EQ(tree.Queue.size(), 10) << "every kept line is queued, the hidden one too, the foreign one not";
  EXPECT_TRUE(tree.Queue.contains(QStringLiteral("sync/Xyz-12345678-1764892800-000.log=100")));
}

TEST(Readout, ChainWorksTheQueuesFromTheEndAndSkipsWhatIsComplete) {
  TPlace t;
  t.Put(t.P.EventDir + "b.log", 50);
  t.Put(t.P.RecorderDir + "r2.log", 10);
  TReadoutChain chain(t.P);
  chain.Start(TReadoutChain::TQueue::qEvents, {"a.log=100", "b.log=50", "c.log=0", "d.log=70"});
  chain.Start(TReadoutChain::TQueue::qRecordings, {"sync/r1.log=10", "sync/r2.log=30"});
  QStringList order;
  TReadoutChain::TStep s = chain.Next();
  for (; !s.Done; s = chain.Next()) order << QStringLiteral("%1@%2 %3").arg(s.Path).arg(s.Position).arg(s.Progress);
  EXPECT_EQ(order, (QStringList{"sync/r2.log@10 1 / 2", "sync/r1.log@0 2 / 2", "d.log@0 1 / 4", "a.log@0 4 / 4"}))
      << "recordings first, each queue from its end; complete and zero-size files are passed over";
  EXPECT_FALSE(s.RelistEvents) << "a recording queue was part of it";
  EXPECT_FALSE(chain.Active());

  TReadoutChain events(t.P);
  events.Start(TReadoutChain::TQueue::qEvents, {"b.log=50"});
  const TReadoutChain::TStep only = events.Next();
  EXPECT_TRUE(only.Done);
  EXPECT_TRUE(only.RelistEvents);
}

TEST(Readout, EventTreeTextsAndState) {
  TPlace t;
  t.Put(t.P.EventDir + "12345678-1764900000-250.log", 170);
  const TReadoutTree tree = BuildEventTree(
      t.P, ParseListText(QStringLiteral("12345678-1764896400-125.log;1764896401;166\n12345678-1764900000-250.log;1764900001;170\n")));
  ASSERT_EQ(tree.Roots.size(), 2);
  EXPECT_EQ(tree.Roots[0].Text, QStringLiteral("05.12.2025 02:00:00 - 05.12.2025 02:00:01 - 0Kb"));
  EXPECT_EQ(tree.Roots[0].Image, CImgMissing);
  EXPECT_EQ(tree.Roots[1].Image, CImgOnDisk);
  EXPECT_EQ(tree.Queue, (QStringList{"12345678-1764896400-125.log=166", "12345678-1764900000-250.log=170"}));
}

// The tree of a list written from the readout rules alone (tests/data), in a
// plain text form: groups "+", files "-", hidden files, then the queue.
namespace {
void Print(const TReadoutNode& n, int depth, QString& out) {
  out += QString(depth * 2, QLatin1Char(' ')) +
         (n.IsGroup() ? QStringLiteral("+ ") + n.Text : QStringLiteral("- %1  [%2]").arg(n.Text, n.Path)) + QLatin1Char('\n');
  for (const TReadoutNode& c : n.Children) Print(c, depth + 1, out);
}
}  // namespace

TEST(Readout, RecordingTreeMatchesTheGoldenFile) {
  QFile list(QStringLiteral(VANTA_TEST_DATA_DIR "/readout-list.txt"));
  QFile golden(QStringLiteral(VANTA_TEST_DATA_DIR "/readout-tree.golden"));
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
  TReadoutPlace p;
  p.EventDir = QStringLiteral("/nonexistent/Event/");
  p.RecorderDir = QStringLiteral("/nonexistent/Recorder/");
  p.ToLocal = [](tmStamp_t t) { return tmStamp_t{t.Sec + 3600, t.Frac}; };
  const TReadoutTree tree = BuildRecordingTree(p, ParseListText(QString::fromUtf8(list.readAll())));
  QString out;
  for (const TReadoutNode& n : tree.Roots) Print(n, 0, out);
  for (const TReadoutNode& h : tree.Hidden) out += QStringLiteral("(hidden) %1  [%2]\n").arg(h.Text, h.Path);
  out += QStringLiteral("queue:\n");
  for (const QString& q : tree.Queue) out += q + QLatin1Char('\n');
  EXPECT_EQ(out.toStdString(), QString::fromUtf8(golden.readAll()).toStdString());
}
