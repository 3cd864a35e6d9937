// Downloads through vanta-cli against the simulator when things go wrong:
// the disk fills up, the line is slow, the operator presses Ctrl-C, two
// runs share a data folder. Every case ends with the files either whole
// and byte-identical to the device's, or named as not stored.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QStorageInfo>
#include <unistd.h>

#include "CliSupport.h"
#include "FaultProxy.h"
#include "FtpClient.h"
#include "TestSupport.h"

using namespace vanta::test;
using namespace vanta::test::cli;

namespace {

QByteArray Sha(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha256); }

// Every downloaded file under the final name matches the device's copy;
// returns how many there are.
int CheckFinalFiles(const QString& localDir, const QString& deviceDir) {
  int n = 0;
  QDirIterator it(localDir, QDir::Files);
  while (it.hasNext()) {
    const QString local = it.next();
    if (local.endsWith(QLatin1String(".part"))) continue;
    const QString device = deviceDir + QLatin1Char('/') + QFileInfo(local).fileName();
    EXPECT_EQ(Sha(ReadAll(local)), Sha(ReadAll(device))) << local.toStdString();
    ++n;
  }
  return n;
}

class CliDownloadTest : public CliTest {
 protected:
  QString EventDir() const { return Data.filePath("12345678/Event"); }
  QString DeviceEvents() const { return Sim.Root() + "/mnt/flashdrive0/data/events"; }
  qint64 ListedBytes(const QString& kind) {
    QJsonObject o;
    const TRun r = Cli({"--json", kind, "list"});
    if (!OneDocument(r, o)) return -1;
    EXPECT_TRUE(MatchesSchema(r.Out, kind + "-list"));
    qint64 sum = 0;
    for (const QJsonValue& v : o.value(kind).toArray()) sum += v.toObject().value("size").toInteger();
    return sum;
  }
};

}  // namespace

TEST_F(CliDownloadTest, AFullDiskIsToldFileByFileAndTheNextRunResumesByteIdentical) {
  // A large event, so the disk fills up in the middle of a file.
  QByteArray big;
  for (int i = 0; i < 400000; ++i) big.append(char((i * 131) % 253));
  WriteAll(Device("events/EVT-1765000000-0.evt"), big);
  const qint64 total = ListedBytes("events");
  ASSERT_GT(total, 400000);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VANTA_FAULT_DISK_FULL_AFTER", QString::number(total / 2));
  const QStringList args{"--port", QString::number(Sim.Port), "--data-dir", Data.path(), "--json", "events", "get",
                         "--all"};
  TRun r = RunCli(args, 60000, env);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 5, "files-get", o));
  EXPECT_EQ(o.value("error").toObject().value("code").toInt(), 5);
  const QJsonArray failed = o.value("failed").toArray();
  ASSERT_FALSE(failed.isEmpty());
  int failedItems = 0;
  for (const QJsonValue& v : o.value("events").toArray())
    failedItems += v.toObject().value("result").toString() == QLatin1String("failed") ? 1 : 0;
  EXPECT_EQ(failedItems, failed.size()) << "each file not stored is marked in the list as well";
  for (const QJsonValue& f : failed) {
    const QString path = f.toObject().value("name").toString();
    EXPECT_TRUE(o.value("error").toObject().value("message").toString().contains(path))
        << "every file not stored is named";
    EXPECT_FALSE(QFile::exists(EventDir() + QLatin1Char('/') + path)) << "no file not stored carries its final name";
    EXPECT_EQ(f.toObject().value("reason").toString(), "Auf dem Datenträger ist kein Platz mehr");
  }
  const int stored = CheckFinalFiles(EventDir(), DeviceEvents());
  EXPECT_GT(stored, 0) << "the files that fitted are whole";
  // Room again: the next run fetches only what is missing, from where it stopped.
  r = Cli({"--json", "events", "get", "--all"});
  ASSERT_TRUE(Document(r, 0, "files-get", o));
  bool resumed = false;
  for (const QJsonValue& v : o.value("events").toArray()) resumed |= v.toObject().contains("resumedAt");
  EXPECT_TRUE(resumed) << "the file cut by the full disk continues from its part file";
  const int all = CheckFinalFiles(EventDir(), DeviceEvents());
  EXPECT_EQ(all, QDir(DeviceEvents()).entryList(QDir::Files).size());
  EXPECT_TRUE(QDir(EventDir()).entryList({"*.part"}).isEmpty());
}

TEST_F(CliDownloadTest, ANameTheDeviceDoesNotHaveIsNotStoredAndSaysSo) {
  for (const QStringList& args :
       {QStringList{"events", "get", "nope.log"}, QStringList{"readout", "download", "sync/nope.log"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun r = Cli(QStringList{"--json"} + args);
    QJsonObject o;
    ASSERT_TRUE(Document(r, 3, "files-get", o)) << "a file the device does not have";
    const QJsonArray failed = o.value("failed").toArray();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].toObject().value("reason").toString(), "nicht auf dem Gerät");
  }
  const TRun empty = Cli({"--data-dir", QString(), "events", "list"});
  EXPECT_EQ(empty.Exit, 1) << "an empty data folder is a typo, not the default";
  EXPECT_TRUE(empty.Err.contains("--data-dir needs a folder"));
}

TEST_F(CliDownloadTest, ASmallFileSystemIsCheckedBeforeTheFirstByte) {
  if (::geteuid() != 0) GTEST_SKIP() << "skipped: needs root (mounts a 100 kB tmpfs)";
  QTemporaryDir mnt;
  if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=100k", "tmpfs", mnt.path()}) != 0)
    GTEST_SKIP() << "skipped: tmpfs cannot be mounted here";
  struct TUnmount {
    QString Path;
    ~TUnmount() { QProcess::execute("umount", {Path}); }
  } unmount{mnt.path()};
  WriteAll(Device("events/EVT-1765000000-0.evt"), QByteArray(300000, 'e'));
  const TRun r = RunCli({"--port", QString::number(Sim.Port), "--data-dir", mnt.path(), "events", "get", "--all"});
  EXPECT_EQ(r.Exit, 5) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("frei sind nur")) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("EVT-1765000000-0.evt"));
  QDirIterator it(mnt.path(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString f = it.next();
    EXPECT_FALSE(f.contains(QLatin1String("/Event/"))) << "nothing was fetched: " << f.toStdString();
  }
}

TEST_F(CliDownloadTest, TheTimeoutIsTheLongestSilenceNotTheWholeTransfer) {
  WriteAll(Device("events/EVT-1765000000-0.evt"), QByteArray(12000, 's'));
  TFaults slow;
  slow.TrickleBytes = 1000;
  slow.TrickleMs = 400;  // an answer of 12 kB takes about five seconds, never silent for long
  TFaultProxy proxy(Sim.Port, slow);
  QElapsedTimer t;
  t.start();
  const TRun r = RunCli({"--port", QString::number(proxy.Port), "--data-dir", Data.path(), "--timeout", "2", "events",
                         "get", "EVT-1765000000-0.evt"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_GT(t.elapsed(), 2500) << "the transfer took longer than the time-out";
  EXPECT_EQ(ReadAll(EventDir() + "/EVT-1765000000-0.evt"), QByteArray(12000, 's'));
}

TEST_F(CliDownloadTest, CtrlCStopsAtACleanPointAndTheRestComesNextTime) {
  for (int i = 0; i < 6; ++i)
    WriteAll(Device(QStringLiteral("events/EVT-17650000%1-0.evt").arg(i * 10 + 10)), QByteArray(20000 + i, char('a' + i)));
  TFaults slow;
  slow.DelayMs = 150;
  TFaultProxy proxy(Sim.Port, slow);
  // Once the first file is on disk, the operator has seen enough.
  bool oneStored = false;
  const TRun r = InterruptWhen(
      {"--port", QString::number(proxy.Port), "--data-dir", Data.path(), "--json", "events", "get", "--all"},
      [&](const QByteArray&) { return CheckFinalFiles(EventDir(), DeviceEvents()) > 0; }, oneStored);
  EXPECT_TRUE(oneStored) << "interrupted while it ran, after the first file";
  EXPECT_EQ(r.Exit, 5) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_TRUE(o.value("cancelled").toBool());
  EXPECT_FALSE(o.value("failed").toArray().isEmpty()) << "what did not come is named";
  const int before = CheckFinalFiles(EventDir(), DeviceEvents());
  const int onDevice = int(QDir(DeviceEvents()).entryList(QDir::Files).size());
  EXPECT_LT(before, onDevice);
  const TRun again = Cli({"events", "get", "--all"});
  ASSERT_EQ(again.Exit, 0) << again.Err.toStdString();
  EXPECT_EQ(CheckFinalFiles(EventDir(), DeviceEvents()), onDevice);
}

TEST_F(CliDownloadTest, EachRunUnpacksIntoAFolderOfItsOwn) {
  const QString out = Data.filePath("got.xml");
  const TRun r = Cli({"--tgz", "setup", "get", out});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(ReadAll(out).contains("<"));
  // Nothing of the run stays in the shared temporary folder, where a
  // second run could have taken it for its own.
  QDirIterator it(Data.filePath("tmp"), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  QStringList left;
  while (it.hasNext()) left << it.next();
  EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
}

TEST_F(CliDownloadTest, TwoRunsAtOnceKeepTheirOwnSetups) {
  TSimProcess other;
  ASSERT_TRUE(other.Start({"--serial-number", "87654321"}));
  // Two different setups, told apart by a marker.
  const QString setup = "/mnt/flashdrive0/data/setup/setup.xml";
  QByteArray a = ReadAll(Sim.Root() + setup), b = ReadAll(other.Root() + setup);
  ASSERT_FALSE(a.isEmpty());
  const qsizetype at = a.lastIndexOf("</"), bt = b.lastIndexOf("</");
  ASSERT_GT(at, 0);
  WriteAll(Sim.Root() + setup, a.insert(at, "<!--device-A-->"));
  WriteAll(other.Root() + setup, b.insert(bt, "<!--device-B-->"));
  QList<QProcess*> runs;
  for (int i = 0; i < 4; ++i) {
    auto* p = new QProcess;
    const quint16 port = i % 2 ? other.Port : Sim.Port;
    p->start(QStringLiteral(VANTA_CLI_PATH), {"--port", QString::number(port), "--data-dir", Data.path(), "--tgz",
                                              "setup", "get", Data.filePath(QStringLiteral("out%1.xml").arg(i))});
    runs << p;
  }
  for (int i = 0; i < runs.size(); ++i) {
    ASSERT_TRUE(runs[i]->waitForFinished(30000));
    EXPECT_EQ(runs[i]->exitCode(), 0) << runs[i]->readAllStandardError().toStdString();
    const QByteArray got = ReadAll(Data.filePath(QStringLiteral("out%1.xml").arg(i)));
    EXPECT_TRUE(got.contains(i % 2 ? "device-B" : "device-A")) << "run " << i << " got another device's setup";
    delete runs[i];
  }
}

// A slow FTP line: the transfer may take longer than the stall limit as long
// as bytes keep coming.
TEST_F(CliDownloadTest, AnFtpTransferMayTakeLongerThanItsStallLimit) {
  const QString script = QStringLiteral(
      "import sys\n"
      "from pyftpdlib.authorizers import DummyAuthorizer\n"
      "from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler\n"
      "from pyftpdlib.servers import FTPServer\n"
      "ThrottledDTPHandler.read_limit = 16384\n"
      "ThrottledDTPHandler.write_limit = 16384\n"
      "a = DummyAuthorizer()\n"
      "a.add_anonymous(sys.argv[2])\n"
      "FTPHandler.authorizer = a\n"
      "FTPHandler.dtp_handler = ThrottledDTPHandler\n"
      "FTPServer(('127.0.0.1', int(sys.argv[1])), FTPHandler).serve_forever()\n");
  QProcess ftp;
  const uint16_t port = StartFtp(ftp, {"-c", script, "{port}", Sim.Root()});
  if (port == 0) GTEST_SKIP() << "no FTP server (python3-pyftpdlib): " << ftp.readAll().toStdString();
  const QByteArray content(64 * 1024, 'q');
  WriteAll(Device("events/EVT-1765000200-0.evt"), content);
  vanta::TFtpClient c;
  c.Host = "127.0.0.1";
  c.Port = port;
  c.StallSec = 2;
  QElapsedTimer t;
  t.start();
  QString error;
  const QString local = Data.filePath("slow.evt");
  EXPECT_TRUE(c.Get("/mnt/flashdrive0/data/events/EVT-1765000200-0.evt", local, false, error)) << error.toStdString();
  EXPECT_GT(t.elapsed(), 2500) << "slower than the stall limit in all, never silent for that long";
  EXPECT_EQ(ReadAll(local), content);
  StopProcess(ftp);
}
