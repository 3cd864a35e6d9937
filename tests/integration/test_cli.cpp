// vanta-cli against the simulator: golden outputs, exit codes, file
// transfers in every packing, resume, FTP mode, streams and the NTP tunnel.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include "SimProcess.h"
#include "TestSupport.h"

using vanta::test::TSimProcess;

namespace {
struct TRun {
  int Exit = -1;
  QString Out;
  QString Err;
};

QByteArray ReadAll(const QString& p) {
  QFile f(p);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& p, const QByteArray& b) {
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(b);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Sim.Start(SimArgs())); }
  virtual QStringList SimArgs() { return {}; }

  TRun Cli(const QStringList& args, int timeoutMs = 30000) {
    QProcess p;
    QStringList all{QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"), Data.path()};
    all << args;
    p.start(QStringLiteral(VANTA_CLI_PATH), all);
    if (!p.waitForFinished(timeoutMs)) {
      p.kill();
      p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
  }
  QString Device(const QString& rel) const { return Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/") + rel; }

  TSimProcess Sim;
  QTemporaryDir Data;
};
}  // namespace

TEST_F(CliTest, IdentifyGoldenOutput) {
  const TRun r = Cli({QStringLiteral("identify")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QStringList lines = r.Out.split('\n', Qt::SkipEmptyParts);
  const QString clock = lines.filter(QStringLiteral("clock:")).value(0);
  lines.removeAll(clock);
  EXPECT_EQ(lines.join('\n') + '\n', QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/identify.txt"))));
  const QDateTime t = QDateTime::fromString(clock.section(' ', -1), Qt::ISODate);
  EXPECT_LT(qAbs(t.secsTo(QDateTime::currentDateTimeUtc())), 10);
}

TEST_F(CliTest, IdentifyJson) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("identify")});
  ASSERT_EQ(r.Exit, 0);
  const QJsonObject o = QJsonDocument::fromJson(r.Out.toUtf8()).object();
  for (const char* key : {"serial", "article", "deviceType", "plant", "field", "device", "firmware", "clock", "timeSettings"})
    EXPECT_TRUE(o.contains(QLatin1String(key))) << key;
  EXPECT_EQ(o.value("serial").toInteger(), 4711);
  EXPECT_EQ(o.value("deviceType").toString(), QStringLiteral("devtypVanta"));
  EXPECT_EQ(o.value("firmware").toString(), QStringLiteral("2.10.0"));
}

TEST_F(CliTest, LuaAndExitCodes) {
  TRun r = Cli({QStringLiteral("lua"), QStringLiteral("print(1+1)")});
  EXPECT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out, QStringLiteral("2\n"));
  r = Cli({QStringLiteral("lua"), QStringLiteral("error('kaputt')")});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("kaputt")));
  EXPECT_EQ(Cli({QStringLiteral("frobnicate")}).Exit, 1);
  EXPECT_EQ(Cli({QStringLiteral("lua")}).Exit, 1);
  r = Cli({QStringLiteral("--user"), QStringLiteral("operator"), QStringLiteral("--password"), QStringLiteral("nope"),
           QStringLiteral("identify")});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("keinen Zugriff")));
}

TEST(CliNoDevice, NoConnectionIsExitTwo) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
  const QString port = QString::number(probe.serverPort());
  probe.close();
  QProcess p;
  p.start(QStringLiteral(VANTA_CLI_PATH), {QStringLiteral("--port"), port, QStringLiteral("identify")});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 2);
}

TEST_F(CliTest, EventListGoldenOutput) {
  const TRun r = Cli({QStringLiteral("events"), QStringLiteral("list")});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out, QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/events-list.txt"))));
}

TEST_F(CliTest, SetupRoundTripInEveryPacking) {
  const QString mine = Data.filePath("mine.xml");
  for (const char* packing : {"--plain", "--gz", "--tgz"}) {
    SCOPED_TRACE(packing);
    const QByteArray xml = QByteArray("<?xml version=\"1.0\"?><setup packing=\"") + packing + "\"><p id=\"1\"/></setup>\n";
    WriteAll(mine, xml);
    TRun r = Cli({QLatin1String(packing), QStringLiteral("setup"), QStringLiteral("put"), mine});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(ReadAll(Device("setup/setup.xml")), xml);
    const QString back = Data.filePath("back.xml");
    r = Cli({QLatin1String(packing), QStringLiteral("setup"), QStringLiteral("get"), back});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(ReadAll(back), xml);
  }
  WriteAll(mine, "<setup><broken>");
  const TRun r = Cli({QStringLiteral("setup"), QStringLiteral("put"), mine});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("NAK 30")));
}

TEST_F(CliTest, InterruptedDownloadResumesToAnIdenticalFile) {
  QByteArray big;
  for (int i = 0; i < 300000; ++i) big.append(char((int64_t(i) * 7919) % 251));
  WriteAll(Device("recorder/10min/10min-0-1764999000-0002.rec"), big);
  const QString name = QStringLiteral("10min/10min-0-1764999000-0002.rec");
  // What an earlier, cut-off transfer left behind.
  const QString local = Data.filePath("4711/Recorder/10min-0-1764999000-0002.rec");
  WriteAll(local, big.left(123457));
  TRun r = Cli({QStringLiteral("recordings"), QStringLiteral("get"), name});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("resumed at 123457")));
  EXPECT_EQ(QCryptographicHash::hash(ReadAll(local), QCryptographicHash::Sha256),
            QCryptographicHash::hash(big, QCryptographicHash::Sha256));
  r = Cli({QStringLiteral("recordings"), QStringLiteral("get"), name});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("already complete")));
  // Fetching it twice appends only what is missing: nothing.
  EXPECT_EQ(ReadAll(local).size(), big.size());
}

class CliCutTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--fault"), QStringLiteral("close-after=60000")}; }
};

TEST_F(CliCutTest, DeviceClosingMidDownloadLeavesNoBrokenFile) {
  QByteArray big(500000, 'r');
  WriteAll(Device("events/EVT-1765000000-0.evt"), big);
  const TRun r = Cli({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("EVT-1765000000-0.evt")}, 20000);
  EXPECT_NE(r.Exit, 0);
  EXPECT_FALSE(QFile::exists(Data.filePath("4711/Event/EVT-1765000000-0.evt")))
      << "an incomplete frame is never written";
}

TEST_F(CliTest, ScratchpadDisplayAndDeviceLog) {
  const QString file = Data.filePath("note.txt");
  WriteAll(file, "hello scratchpad");
  ASSERT_EQ(Cli({QStringLiteral("scratchpad"), QStringLiteral("put"), file}).Exit, 0);
  EXPECT_EQ(ReadAll(Device("ccci/scratchpad/note.txt")), QByteArray("hello scratchpad"));
  const QString back = Data.filePath("back.txt");
  ASSERT_EQ(Cli({QStringLiteral("scratchpad"), QStringLiteral("get"), QStringLiteral("note.txt"), back}).Exit, 0);
  EXPECT_EQ(ReadAll(back), QByteArray("hello scratchpad"));
  EXPECT_EQ(Cli({QStringLiteral("scratchpad"), QStringLiteral("get"), QStringLiteral("missing.txt"), back}).Exit, 3);
  const QString png = Data.filePath("d.png");
  ASSERT_EQ(Cli({QStringLiteral("display"), png}).Exit, 0);
  EXPECT_TRUE(ReadAll(png).startsWith("\x89PNG"));
  const QString log = Data.filePath("dev.log");
  ASSERT_EQ(Cli({QStringLiteral("devlog"), log}).Exit, 0);
  EXPECT_TRUE(ReadAll(log).contains("device started"));
}

TEST_F(CliTest, StreamRecordsAndRemoval) {
  TRun r = Cli({QStringLiteral("stream"), QStringLiteral("panel"), QStringLiteral("--count"), QStringLiteral("2")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.count(QStringLiteral("0x04ffffff")), 2);
  EXPECT_EQ(r.Out.count(QStringLiteral("2320 bytes")), 2);
  r = Cli({QStringLiteral("--json"), QStringLiteral("stream"), QStringLiteral("harmonics"), QStringLiteral("--count"), QStringLiteral("1")});
  ASSERT_EQ(r.Exit, 0);
  const QJsonObject o = QJsonDocument::fromJson(r.Out.toUtf8()).object();
  EXPECT_EQ(o.value("length").toInt(), 6052);
  EXPECT_EQ(o.value("bytes").toString().size(), 6052 * 2);
  r = Cli({QStringLiteral("events"), QStringLiteral("rm"), QStringLiteral("--all")});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_TRUE(QDir(Device("events")).isEmpty());
}

TEST_F(CliTest, NtpTunnelAnswersAreAcceptedByTheDevice) {
  const TRun r = Cli({QStringLiteral("ntp"), QStringLiteral("--seconds"), QStringLiteral("4")});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_TRUE(r.Out.contains(QStringLiteral("answered a time request")));
  const TRun stat = Cli({QStringLiteral("lua"), QStringLiteral("local s = uti.stat().ntpTunnel print(s.good, s.bad)")});
  const QStringList counts = stat.Out.trimmed().split('\t');
  ASSERT_EQ(counts.size(), 2);
  EXPECT_GE(counts[0].toInt(), 1);
  EXPECT_EQ(counts[1].toInt(), 0);
}

// FTP mode against a real FTP server serving the simulator's storage.
class CliFtpTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    FtpPort = probe.serverPort();
    probe.close();
    Ftp.setProcessChannelMode(QProcess::MergedChannels);
    Ftp.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"),
                                                   QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(FtpPort),
                                                   QStringLiteral("-d"), Sim.Root(), QStringLiteral("-w")});
    ASSERT_TRUE(Ftp.waitForStarted(5000));
    const bool up = vanta::test::SpinUntil(
        [&] {
          QTcpSocket s;
          s.connectToHost(QHostAddress::LocalHost, FtpPort);
          return s.waitForConnected(100);
        },
        5000);
    if (!up) {
      Ftp.waitForFinished(1000);
      GTEST_SKIP() << "no FTP server (python3-pyftpdlib): " << Ftp.readAll().toStdString();
    }
  }
  void TearDown() override {
    Ftp.terminate();
    if (!Ftp.waitForFinished(3000)) Ftp.kill();
  }
  QStringList FtpArgs(const QStringList& more) {
    return QStringList{QStringLiteral("--ftp"), QStringLiteral("--ftp-port"), QString::number(FtpPort)} + more;
  }
  QProcess Ftp;
  uint16_t FtpPort = 0;
};

TEST_F(CliFtpTest, SetupAndEventsOverFtp) {
  const QString back = Data.filePath("ftp-setup.xml");
  TRun r = Cli(FtpArgs({QStringLiteral("setup"), QStringLiteral("get"), back}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(back), ReadAll(Device("setup/setup.xml")));
  const QString mine = Data.filePath("mine.xml");
  WriteAll(mine, "<setup><via-ftp/></setup>");
  r = Cli(FtpArgs({QStringLiteral("--tgz"), QStringLiteral("setup"), QStringLiteral("put"), mine}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Device("setup/setup.xml")), QByteArray("<setup><via-ftp/></setup>"));
  r = Cli(FtpArgs({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("EVT-1764903600-0.evt")}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Data.filePath("4711/Event/EVT-1764903600-0.evt")), ReadAll(Device("events/EVT-1764903600-0.evt")));
}
