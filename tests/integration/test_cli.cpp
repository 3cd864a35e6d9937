// vanta-cli against the simulator: golden outputs, exit codes, file
// transfers in every packing, resume, FTP mode, streams and the NTP tunnel;
// command-line habits (options anywhere, "--", one-line mistakes, help,
// version), one JSON document per run, and the progress bar.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <random>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "BuildInfo.h"
#include "Progress.h"
#include "RecordFile.h"
#include "CliSupport.h"
#include "SimProcess.h"
#include "TestSupport.h"

using vanta::cli::TProgress;
using vanta::test::TSimProcess;

using namespace vanta::test::cli;

namespace {
QString ErrorMessage(const QJsonObject& o) { return o.value("error").toObject().value("message").toString(); }
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
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("identify")));
  EXPECT_EQ(o.value("serial").toInteger(), 12345678);
  EXPECT_EQ(o.value("article").toInteger(), 1197500);
  // The device's clock in its own zone (UTC+1, with summer time): the same
  // instant as the computer's clock, with the device's offset.
  EXPECT_EQ(o.value("utcOffset").toInt(), 3600);
  const QString clock = o.value("clock").toString();
  EXPECT_TRUE(clock.endsWith(QStringLiteral("+01:00")) || clock.endsWith(QStringLiteral("+02:00"))) << clock.toStdString();
  EXPECT_LT(qAbs(QDateTime::fromString(clock, Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())), 10) << clock.toStdString();
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
  const QString local = Data.filePath("12345678/Recorder/10min-0-1764999000-0002.rec");
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

TEST_F(CliCutTest, DeviceClosingMidAnswerEndsTheWaitAtOnce) {
  // A long Lua output that the device cuts off half-way: the client must not
  // sit out its whole time-out.
  QElapsedTimer t;
  t.start();
  const TRun r = Cli({QStringLiteral("--timeout"), QStringLiteral("20"), QStringLiteral("lua"),
                      QStringLiteral("print(string.rep('x', 200000))")},
                     30000);
  EXPECT_LT(t.elapsed(), 8000) << "ended by the lost connection, not by the 20 s time-out";
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(r.Err.contains(vanta::ConnectionLostText())) << r.Err.toStdString();
}

TEST_F(CliCutTest, DeviceClosingMidDownloadLeavesNoBrokenFile) {
  QByteArray big(500000, 'r');
  WriteAll(Device("events/EVT-1765000000-0.evt"), big);
  const TRun r = Cli({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("EVT-1765000000-0.evt")}, 20000);
  EXPECT_NE(r.Exit, 0);
  EXPECT_FALSE(QFile::exists(Data.filePath("12345678/Event/EVT-1765000000-0.evt")))
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
  r = Cli({QStringLiteral("--json"), QStringLiteral("stream"), QStringLiteral("harmonics"), QStringLiteral("--count"),
           QStringLiteral("2")});
  ASSERT_EQ(r.Exit, 0);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  const QJsonArray records = o.value("records").toArray();
  ASSERT_EQ(records.size(), 2);
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("stream-document")));
  for (const QJsonValue& rec : records) {
    EXPECT_EQ(rec.toObject().value("object").toInteger(), 0x01ffffff);
    EXPECT_TRUE(rec.toObject().value("time").toString().contains(QLatin1Char('T')));
    EXPECT_EQ(rec.toObject().value("length").toInt(), 6052);
    EXPECT_EQ(rec.toObject().value("bytes").toString().size(), 6052 * 2);
  }
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

namespace {
// A client that only records its work events; FTP needs no CCCI link.
struct TWorkRecorder : vanta::TComUnit {
  std::vector<std::tuple<vanta::TWorkMode, int64_t, vanta::TWorkStatus>> Work;
  void WorkEvent(vanta::TWorkMode m, int64_t n, vanta::TWorkStatus st) override { Work.emplace_back(m, n, st); }
};
}  // namespace

TEST_F(CliFtpTest, TransfersReportSizeAndProgress) {
  using vanta::TWorkMode;
  using vanta::TWorkStatus;
  const qint64 size = 3 * 1024 * 1024;
  WriteAll(Device("events/EVT-1765000100-0.evt"), QByteArray(size, 'f'));
  TWorkRecorder u;
  u.FIP = QStringLiteral("127.0.0.1");
  u.FFtpPort = FtpPort;
  const QString local = Data.filePath("ftp-down.evt");
  ASSERT_TRUE(u.GetFTPFile(QStringLiteral("/mnt/flashdrive0/data/events/EVT-1765000100-0.evt"), local, false, false));
  EXPECT_EQ(QFileInfo(local).size(), size);
  ASSERT_FALSE(u.Work.empty());
  EXPECT_EQ(u.Work.front(), std::make_tuple(TWorkMode::wmRead, size, TWorkStatus::WorkBegin)) << "begins with the remote size";
  EXPECT_EQ(std::get<2>(u.Work.back()), TWorkStatus::WorkEnd);
  int64_t last = -1;
  int steps = 0;
  for (const auto& [m, n, st] : u.Work)
    if (st == TWorkStatus::WorkWorking) {
      EXPECT_GE(n, last) << "bytes done only grow";
      last = n;
      ++steps;
    }
  EXPECT_EQ(last, size);
  EXPECT_GE(steps, 1);

  u.Work.clear();
  ASSERT_TRUE(u.SendFTPFiles({local}, QStringLiteral("/ramdrive0")));
  ASSERT_FALSE(u.Work.empty());
  EXPECT_EQ(u.Work.front(), std::make_tuple(TWorkMode::wmWrite, size, TWorkStatus::WorkBegin));
  EXPECT_EQ(std::get<1>(u.Work[u.Work.size() - 2]), size) << "the last progress is the whole file";
  EXPECT_EQ(QFileInfo(Sim.Root() + QStringLiteral("/ramdrive0/ftp-down.evt")).size(), size);
}

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
  r = Cli(FtpArgs({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("12345678-1764903600-375.log")}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Data.filePath("12345678/Event/12345678-1764903600-375.log")), ReadAll(Device("events/12345678-1764903600-375.log")));
}

// ---- the progress bar, without a terminal ----------------------------------

TEST(CliProgress, SizesInBinaryUnitsWithOneDecimal) {
  EXPECT_EQ(TProgress::FormatSize(0), QStringLiteral("0 B"));
  EXPECT_EQ(TProgress::FormatSize(1023), QStringLiteral("1023 B"));
  EXPECT_EQ(TProgress::FormatSize(1024), QStringLiteral("1.0 KiB"));
  EXPECT_EQ(TProgress::FormatSize(1536), QStringLiteral("1.5 KiB"));
  EXPECT_EQ(TProgress::FormatSize(3565158), QStringLiteral("3.4 MiB"));
  EXPECT_EQ(TProgress::FormatSize(int64_t(5) << 30), QStringLiteral("5.0 GiB"));
  // Just below a unit it reads as the next unit, not as "1024.0 KiB".
  EXPECT_EQ(TProgress::FormatSize(1048575), QStringLiteral("1.0 MiB"));
  EXPECT_EQ(TProgress::FormatSize(-5), QStringLiteral("0 B"));
}

TEST(CliProgress, LineShowsDoneTotalAndPercent) {
  EXPECT_EQ(TProgress::FormatLine(QStringLiteral("events/x.log"), 1258291, 3565158),
            QStringLiteral("  events/x.log  1.2 MiB / 3.4 MiB  35%"));
  EXPECT_EQ(TProgress::FormatLine(QStringLiteral("setup"), 0, 2048), QStringLiteral("  setup  0 B / 2.0 KiB  0%"));
  // Not 100% before the last byte, and never more.
  EXPECT_TRUE(TProgress::FormatLine(QStringLiteral("d"), 999, 1000).endsWith(QStringLiteral("  99%")));
  EXPECT_TRUE(TProgress::FormatLine(QStringLiteral("d"), 1000, 1000).endsWith(QStringLiteral("  100%")));
  EXPECT_TRUE(TProgress::FormatLine(QStringLiteral("d"), 5000, 1000).endsWith(QStringLiteral("  100%")));
}

TEST(CliProgress, UnknownTotalShowsOnlyTheBytesSoFar) {
  EXPECT_EQ(TProgress::FormatLine(QStringLiteral("devlog"), 512, 0), QStringLiteral("  devlog  512 B"));
  EXPECT_EQ(TProgress::FormatLine(QStringLiteral("devlog"), 0, 0), QStringLiteral("  devlog  0 B"));
}

TEST(CliProgress, LongLabelLosesItsFrontToFitTheTerminal) {
  const QString label = QStringLiteral("recordings/10min/10min-0-1764999000-0002.rec");
  const QString line = TProgress::FormatLine(label, 1024, 2048, 40);
  EXPECT_LT(line.size(), 40) << "the last column stays free, else the terminal wraps";
  EXPECT_TRUE(line.endsWith(QStringLiteral("-0002.rec  1.0 KiB / 2.0 KiB  50%"))) << line.toStdString();
  EXPECT_TRUE(line.startsWith(QStringLiteral("  ..."))) << line.toStdString();
  // Wide enough: the label stays whole.
  EXPECT_EQ(TProgress::FormatLine(label, 1024, 2048, 200),
            QStringLiteral("  ") + label + QStringLiteral("  1.0 KiB / 2.0 KiB  50%"));
  // Too narrow for any label: the figures alone, still within the width.
  EXPECT_LT(TProgress::FormatLine(label, 1024, 2048, 12).size(), 12);
}

namespace {
QByteArray ReadBack(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  QByteArray all;
  char buf[512];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, qsizetype(n));
  return all;
}
}  // namespace

TEST(CliProgress, DrawsOnOneLineAndLeavesItClean) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    TProgress p(f, 0, 0);
    // Reports outside a transfer (session, Lua, lists) draw nothing.
    p.Begin(4096);
    p.Advance(10);
    p.End();
    p.Start(QStringLiteral("events/a.evt"));
    p.Begin(2048);
    p.Clear();  // as before a line of output: the next report draws again
    p.Advance(1024);
    p.End();
    // A transport that reports progress without a begin.
    p.Advance(512);
    p.Stop();
  }
  const QByteArray shown = ReadBack(f);
  std::fclose(f);
  EXPECT_FALSE(shown.contains('\n'));
  EXPECT_FALSE(shown.contains("4.0 KiB")) << "drawn outside a transfer";
  EXPECT_TRUE(shown.contains("\r  events/a.evt  0 B / 2.0 KiB  0%"));
  EXPECT_TRUE(shown.contains("\r  events/a.evt  1.0 KiB / 2.0 KiB  50%"));
  EXPECT_TRUE(shown.contains("\r  events/a.evt  512 B\r"));
  // Every bar is wiped with blanks as wide as itself.
  const QList<QByteArray> pieces = shown.split('\r');
  int wipes = 0;
  for (qsizetype i = 1; i + 1 < pieces.size(); ++i)
    if (pieces[i].startsWith("  events/")) {
      EXPECT_EQ(pieces[i + 1], QByteArray(pieces[i].size(), ' ')) << pieces[i].toStdString();
      ++wipes;
    }
  EXPECT_EQ(wipes, 3);
  EXPECT_TRUE(shown.endsWith('\r'));
}

TEST(CliProgress, ShortTransfersNeverFlashABar) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    TProgress p(f, 0, 60000);
    p.Start(QStringLiteral("display"));
    p.Begin(100);
    p.Advance(50);
    p.End();
    p.Stop();
  }
  EXPECT_TRUE(ReadBack(f).isEmpty());
  std::fclose(f);
}

// ---- the command line, without a device -----------------------------------

TEST(CliUsage, MistakeIsOneLineAndAHint) {
  QTemporaryDir data;
  struct TCase {
    QStringList Args;
    QString Line;  // the start of the first line
  };
  const QList<TCase> cases = {
      {{}, QStringLiteral("vanta-cli: no command given")},
      {{"bogus"}, QStringLiteral("vanta-cli: unknown command 'bogus'")},
      {{"--bogus", "identify"}, QStringLiteral("vanta-cli: unknown option '--bogus'")},
      {{"identify", "--bogus=1"}, QStringLiteral("vanta-cli: unknown option '--bogus'")},
      {{"identify", "-x"}, QStringLiteral("vanta-cli: unknown option '-x'")},
      {{"identify", "--json=yes"}, QStringLiteral("vanta-cli: option '--json' takes no value")},
      {{"identify", "--timeout"}, QStringLiteral("vanta-cli: option '--timeout' needs a value")},
      {{"identify", "now"},
       QStringLiteral("vanta-cli: identify: unexpected argument 'now' (usage: vanta-cli identify)")},
      {{"lua"}, QStringLiteral("vanta-cli: lua: missing STATEMENT (usage: vanta-cli lua STATEMENT)")},
      {{"lua", "print(1)", "print(2)"},
       QStringLiteral("vanta-cli: lua: unexpected argument 'print(2)' (usage: vanta-cli lua STATEMENT)")},
      {{"events"}, QStringLiteral("vanta-cli: events: missing list, get or rm (usage: vanta-cli events list [--csv] |")},
      {{"events", "list", "--all"}, QStringLiteral("vanta-cli: events: --all goes with get or rm")},
      {{"recordings", "get"}, QStringLiteral("vanta-cli: recordings: missing NAME or --all")},
      {{"events", "rm", "a.evt", "--all"}, QStringLiteral("vanta-cli: events: either NAME... or --all")},
      {{"setup", "fetch", "x.xml"}, QStringLiteral("vanta-cli: setup: 'fetch' is neither get nor put")},
      {{"setup", "get"}, QStringLiteral("vanta-cli: setup: missing FILE")},
      {{"scratchpad", "get", "a.txt"}, QStringLiteral("vanta-cli: scratchpad: missing FILE")},
      {{"display"}, QStringLiteral("vanta-cli: display: missing FILE.png")},
      {{"stream", "panel", "--count", "0"},
       QStringLiteral("vanta-cli: stream: --count needs a whole number of at least 1")},
      {{"stream", "nonsense"}, QStringLiteral("vanta-cli: stream: unknown OBJECT 'nonsense'")},
      // A command's own option means nothing before the command.
      {{"--count", "2", "stream", "panel"}, QStringLiteral("vanta-cli: unknown option '--count'")},
      {{"ntp", "--seconds", "soon"}, QStringLiteral("vanta-cli: ntp: --seconds needs a whole number of at least 1")},
      {{"--port", "70000", "identify"}, QStringLiteral("vanta-cli: --port needs a port number from 1 to 65535")},
      {{"identify", "--timeout", "0"}, QStringLiteral("vanta-cli: --timeout needs a whole number of seconds")},
      {{"--gz", "--tgz", "setup", "get", "x.xml"},
       QStringLiteral("vanta-cli: --gz, --tgz and --plain exclude each other")},
      {{"--ssh", "identify"}, QStringLiteral("vanta-cli: --ssh needs --user and --password")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args.join(' ').toStdString());
    const TRun r = RunCli(QStringList{QStringLiteral("--data-dir"), data.path()} + c.Args);
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    const QStringList lines = r.Err.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3) << r.Err.toStdString();  // two lines and the end of the last
    EXPECT_TRUE(lines[0].startsWith(c.Line)) << lines[0].toStdString();
    EXPECT_EQ(lines[1], CHint);
    EXPECT_TRUE(lines[2].isEmpty());
  }
}

TEST(CliUsage, HelpGoesToStdout) {
  for (const QStringList& args :
       QList<QStringList>{{"--help"}, {"-h"}, {"events", "list", "--help"}, {"bogus", "--help"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun r = RunCli(args);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.startsWith(QStringLiteral("Usage: "))) << r.Out.toStdString();
    for (const char* part : {"--quiet", "--version", "--json", "--timeout <S>", "scratchpad get NAME FILE",
                             "lua STATEMENT", "ntp --seconds N", "\"--\""})
      EXPECT_TRUE(r.Out.contains(QLatin1String(part))) << part;
  }
}

TEST(CliUsage, VersionComesFromTheBuild) {
  const QString version = QStringLiteral("%1.%2.%3")
                              .arg(vanta::build::CVersionMajor)
                              .arg(vanta::build::CVersionMinor)
                              .arg(vanta::build::CVersionPatch);
  for (const QStringList& args : QList<QStringList>{{"--version"}, {"lua", "print(1)", "--version"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun r = RunCli(args);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Out, QStringLiteral("vanta-cli ") + version + QLatin1Char('\n'));
    EXPECT_TRUE(r.Err.isEmpty());
  }
  const TRun r = RunCli({QStringLiteral("--json"), QStringLiteral("--version")});
  EXPECT_EQ(r.Exit, 0);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("version").toString(), version);
}

TEST(CliUsage, NothingConnectsForHelpVersionOrMistakes) {
  // A device that accepts and never answers: a connection would show here,
  // and a command waiting for an answer would take its whole time-out.
  QTcpServer device;
  ASSERT_TRUE(device.listen(QHostAddress::LocalHost));
  QTemporaryDir data;
  const QStringList at{QStringLiteral("--port"), QString::number(device.serverPort()), QStringLiteral("--data-dir"),
                       data.path()};
  const QList<QStringList> runs = {{"--version"},
                                   {"--help"},
                                   {"bogus"},
                                   {"identify", "--bogus"},
                                   {"lua"},
                                   {"--json", "events", "list", "extra"},
                                   {"setup", "put", data.filePath("missing.xml")}};
  for (const QStringList& args : runs) {
    SCOPED_TRACE(args.join(' ').toStdString());
    QElapsedTimer t;
    t.start();
    const TRun r = RunCli(at + args);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_TRUE(r.Exit == 0 || r.Exit == 1) << r.Exit;
    EXPECT_FALSE(r.Err.contains(QStringLiteral("Verbindung"))) << r.Err.toStdString();
    EXPECT_FALSE(device.waitForNewConnection(200)) << "connected";
  }
  // The local file is checked before connecting, and told without the hint.
  const TRun r = RunCli(at + QStringList{QStringLiteral("setup"), QStringLiteral("put"), data.filePath("missing.xml")});
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: no such file: %1\n").arg(data.filePath("missing.xml")));
  // The same listener does see a command that needs the device.
  const TRun needs =
      RunCli(at + QStringList{QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("identify")});
  EXPECT_EQ(needs.Exit, 2);
  EXPECT_TRUE(device.waitForNewConnection(1000));
}

// ---- the command line against the simulator ------------------------------

TEST_F(CliTest, OptionsMayFollowTheCommand) {
  for (const QStringList& args : QList<QStringList>{{"lua", "print(1+1)", "--timeout", "3"},
                                                    {"--timeout", "3", "lua", "print(1+1)"},
                                                    {"lua", "--timeout=3", "print(1+1)"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun r = Cli(args);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, QStringLiteral("2\n"));
  }
  // Options after the command take effect: output format, and a data folder
  // that overrides the one given before.
  TRun r = Cli({QStringLiteral("stream"), QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("panel"),
                QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("records").toArray().size(), 2);
  QTemporaryDir other;
  r = Cli({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("12345678-1764903600-375.log"),
           QStringLiteral("--data-dir"), other.path()});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(QFileInfo(other.filePath("12345678/Event/12345678-1764903600-375.log")).size(), 149);
  EXPECT_FALSE(QFile::exists(Data.filePath("12345678/Event/12345678-1764903600-375.log")));
}

TEST_F(CliTest, DoubleDashEndsTheOptions) {
  const QString dashed = QStringLiteral("--[[ starts with a dash ]] print(7)");
  TRun r = Cli({QStringLiteral("lua"), QStringLiteral("--"), dashed});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out, QStringLiteral("7\n"));
  // Without it the statement reads as an option, and the line says what to do.
  r = Cli({QStringLiteral("lua"), dashed});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.startsWith(
      QStringLiteral("vanta-cli: unknown option '--[[ starts with a dash ]] print(7)' (put -- before")))
      << r.Err.toStdString();
  // After it, an option is just another argument.
  r = Cli({QStringLiteral("lua"), QStringLiteral("--"), QStringLiteral("print(3)"), QStringLiteral("--json")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("unexpected argument '--json'"))) << r.Err.toStdString();
}

TEST_F(CliTest, JsonIsOneDocumentAndStderrStaysQuiet) {
  const QString note = Data.filePath("note.txt");
  WriteAll(note, "json scratchpad");
  const QList<QStringList> runs = {{"identify"},
                                   {"events", "list"},
                                   {"recordings", "list"},
                                   {"events", "get", "--all"},
                                   {"lua", "print(1) print(2)"},
                                   {"stream", "panel", "--count", "3"},
                                   {"scratchpad", "put", note},
                                   {"display", Data.filePath("d.png")},
                                   {"ntp", "--seconds", "1"}};
  QHash<QString, QJsonObject> docs;
  for (const QStringList& args : runs) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun r = Cli(QStringList{QStringLiteral("--json")} + args);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    QJsonObject o;
    EXPECT_TRUE(OneDocument(r, o));
    EXPECT_FALSE(o.contains("error"));
    EXPECT_FALSE(o.contains("warnings"));
    static const QHash<QString, QString> CSchemas = {{QStringLiteral("identify"), QStringLiteral("identify")},
                                                     {QStringLiteral("events list"), QStringLiteral("events-list")},
                                                     {QStringLiteral("recordings list"), QStringLiteral("recordings-list")},
                                                     {QStringLiteral("events get --all"), QStringLiteral("files-get")},
                                                     {QStringLiteral("stream panel --count 3"), QStringLiteral("stream-document")}};
    if (CSchemas.contains(args.join(' '))) {
      EXPECT_TRUE(MatchesSchema(r.Out, CSchemas.value(args.join(' '))));
    }
    docs.insert(args.join(' '), o);
  }
  // What used to be a line per item is one array now.
  const QJsonArray got = docs.value("events get --all").value("events").toArray();
  ASSERT_EQ(got.size(), 7);
  for (const QJsonValue& v : got) {
    const QJsonObject f = v.toObject();
    EXPECT_EQ(f.value("result").toString(), QStringLiteral("downloaded"));
    EXPECT_EQ(ReadAll(f.value("file").toString()), ReadAll(Device("events/" + f.value("name").toString())));
  }
  EXPECT_EQ(docs.value("stream panel --count 3").value("records").toArray().size(), 3);
  EXPECT_EQ(docs.value("lua print(1) print(2)").value("output").toString(), QStringLiteral("1\n2\n"));
  EXPECT_EQ(docs.value("identify").value("serial").toInteger(), 12345678);
  // The same entries as the text listing.
  const QStringList text =
      Cli({QStringLiteral("recordings"), QStringLiteral("list")}).Out.split('\n', Qt::SkipEmptyParts);
  const QJsonArray listed = docs.value("recordings list").value("recordings").toArray();
  ASSERT_EQ(listed.size(), text.size());
  for (qsizetype i = 0; i < text.size(); ++i)
    EXPECT_TRUE(text[i].startsWith(listed[i].toObject().value("path").toString())) << text[i].toStdString();
  // Sizes are numbers; the end is the device's time with its offset (the
  // text shows UTC): 1764896401 is 01:00:01 UTC, 02:00:01 in the device's winter.
  const QJsonObject first = docs.value("events list").value("events").toArray().first().toObject();
  EXPECT_EQ(first.value("path").toString(), QStringLiteral("12345678-1764896400-125.log"));
  EXPECT_EQ(first.value("size").toInteger(), 166);
  EXPECT_EQ(first.value("end").toString(), QStringLiteral("2025-12-05T02:00:01+01:00"));
}

TEST_F(CliTest, StreamFollowPrintsALinePerRecordUntilTheCount) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("stream"), QStringLiteral("panel"), QStringLiteral("--count"),
                      QStringLiteral("3"), QStringLiteral("--follow")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << r.Out.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("stream"), true));
  for (const QString& line : lines) {
    const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
    EXPECT_EQ(o.value("schemaVersion").toInt(), 1);
    EXPECT_EQ(o.value("object").toInteger(), 0x04ffffff);
    EXPECT_EQ(o.value("length").toInt(), 2320);
  }
}

TEST_F(CliTest, StreamFollowWithoutACountEndsCleanlyOnCtrlC) {
  QProcess p;
  p.start(QStringLiteral(VANTA_CLI_PATH), {QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"), Data.path(),
                                           QStringLiteral("--json"), QStringLiteral("stream"), QStringLiteral("panel"),
                                           QStringLiteral("--follow")});
  ASSERT_TRUE(p.waitForStarted());
  // Lines come while the run goes on: two of them, then Ctrl-C.
  QByteArray out;
  QElapsedTimer t;
  t.start();
  while (out.count('\n') < 2 && t.elapsed() < 20000) {
    p.waitForReadyRead(500);
    out += p.readAllStandardOutput();
  }
  ASSERT_GE(out.count('\n'), 2) << out.toStdString();
  ::kill(pid_t(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(20000));
  out += p.readAllStandardOutput();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_TRUE(out.endsWith('\n'));
  EXPECT_TRUE(MatchesSchema(QString::fromUtf8(out), QStringLiteral("stream"), true));
  EXPECT_FALSE(out.contains("\"error\"")) << "Ctrl-C is how such a run ends";
}

TEST_F(CliTest, RecordFilesReadAsTypedDocumentsAndCsv) {
  TRun r = Cli({QStringLiteral("--quiet"), QStringLiteral("--json"), QStringLiteral("readout"), QStringLiteral("tree"),
                QStringLiteral("recordings")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("readout-tree")));
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  bool queued = false;
  for (const QJsonValue& v : o.value("queue").toArray())
    queued |= v.toObject().value("path").toString() == QLatin1String("sync/10min-12345678-1764892800-000.log") &&
              v.toObject().value("size").toInteger() == 20567;
  EXPECT_TRUE(queued) << r.Out.toStdString();
  ASSERT_EQ(Cli({QStringLiteral("--quiet"), QStringLiteral("readout"), QStringLiteral("download"), QStringLiteral("all")}).Exit, 0);

  r = Cli({QStringLiteral("--json"), QStringLiteral("offline"), QStringLiteral("scan")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("offline-scan")));
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("stations").toArray()[0].toObject().value("serial").toInteger(), 12345678);

  const QString file = Data.filePath("12345678/Recorder/10min-12345678-1764892800-000.log");
  r = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("info"), file});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("record-info")));
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("serial").toInteger(), 12345678);
  EXPECT_EQ(o.value("interval").toDouble(), 600.0) << "ten minutes, in seconds";
  EXPECT_EQ(o.value("start").toString(), QStringLiteral("2025-12-05T01:00:00.000+01:00")) << "the device's winter time";
  EXPECT_EQ(o.value("units").toObject().value("U1E").toString(), QStringLiteral("V")) << "keyed by the quantity's symbol, as live values are";
  EXPECT_EQ(o.value("units").toObject().value("H5U1E").toString(), QStringLiteral("%"));
  EXPECT_EQ(o.value("units").toObject().value("THDU1E").toString(), QStringLiteral("%"));
  EXPECT_EQ(o.value("units").toObject().value("I3").toString(), QStringLiteral("A"));

  r = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("table"), file});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("record-table")));
  ASSERT_TRUE(OneDocument(r, o));
  const QJsonArray rows = o.value("rows").toArray();
  ASSERT_EQ(rows.size(), 120);
  const QJsonObject row = rows[0].toObject();
  EXPECT_EQ(row.value("time").toString(), QStringLiteral("2025-12-05T01:00:00.000+01:00"));
  EXPECT_DOUBLE_EQ(row.value("U1E").toDouble(), 230.0);
  EXPECT_DOUBLE_EQ(row.value("f").toDouble(), 50.0);

  // The CSV: the same field names as the header, "." decimals, CR LF lines.
  r = RunCli({QStringLiteral("record"), QStringLiteral("table"), file, QStringLiteral("--csv")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QStringList lines = r.Out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 121);
  QStringList header{QStringLiteral("time")};
  for (const QJsonValue& c : o.value("columns").toArray()) header << c.toObject().value("key").toString();
  EXPECT_EQ(lines[0], header.join(QLatin1Char(',')));
  const QStringList cells = lines[2].split(QLatin1Char(','));
  ASSERT_EQ(cells.size(), header.size());
  EXPECT_EQ(cells[0], rows[1].toObject().value("time").toString()) << "the second row under the header";
  EXPECT_EQ(cells[1].toDouble(), rows[1].toObject().value("U1E").toDouble()) << cells[1].toStdString();
  EXPECT_TRUE(cells[1].contains(QLatin1Char('.'))) << "a decimal point whatever the locale: " << cells[1].toStdString();

  // German letters in a channel's name are spelt out in its key, not dropped.
  vanta::TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.Channels << vanta::TRecordChannel{1, 0x0100FFFF, QStringLiteral("V"), QStringLiteral("Spannungsüberhöhung")};
  vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 3600, false, {}, {}, {}}, ctx);
  w.Add(vanta::TRecRow{{1764892800, 0}, {231.0f}});
  const QString umlauts = Data.filePath(QStringLiteral("umlauts.log"));
  QString error;
  ASSERT_TRUE(w.Save(umlauts, error)) << error.toStdString();
  r = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("info"), umlauts});
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("units").toObject().value("Spannungsueberhoehung").toString(), QStringLiteral("V")) << r.Out.toStdString();
}

TEST_F(CliTest, EventListJsonGolden) {
  const TRun r = Cli({QStringLiteral("events"), QStringLiteral("list"), QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o, QJsonDocument::fromJson(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/events-list.json"))).object());
}

TEST_F(CliTest, JsonKeepsNonAsciiTextAsUtf8) {
  const QString text = QStringLiteral("Geräte: Verbindungsabbruch, Störung");
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("lua"), QStringLiteral("print('%1')").arg(text)});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("output").toString(), text + QLatin1Char('\n'));
  // Written as UTF-8 characters, not as \u escapes.
  EXPECT_TRUE(r.Out.contains(text)) << r.Out.toStdString();
  EXPECT_FALSE(r.Out.contains(QStringLiteral("\\u"))) << r.Out.toStdString();
}

TEST_F(CliTest, JsonCarriesRefusalsInsideTheDocument) {
  // A Lua error, with its non-ASCII text as it is.
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("lua"), QStringLiteral("error('Gerät meldet Störung')")});
  EXPECT_EQ(r.Exit, 3);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: ") + ErrorMessage(o) + QLatin1Char('\n')) << "the message for the person, once";
  EXPECT_TRUE(ErrorMessage(o).contains(QStringLiteral("Gerät meldet Störung"))) << r.Out.toStdString();
  EXPECT_FALSE(o.contains("output"));
  // A refused session start.
  r = Cli({QStringLiteral("--json"), QStringLiteral("--user"), QStringLiteral("operator"), QStringLiteral("--password"),
           QStringLiteral("nope"), QStringLiteral("identify")});
  EXPECT_EQ(r.Exit, 3);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: ") + ErrorMessage(o) + QLatin1Char('\n'));
  EXPECT_TRUE(ErrorMessage(o).contains(QStringLiteral("keinen Zugriff"))) << r.Out.toStdString();
  EXPECT_FALSE(o.contains("serial"));
  // A refused file.
  r = Cli({QStringLiteral("--json"), QStringLiteral("scratchpad"), QStringLiteral("get"), QStringLiteral("missing.txt"),
           Data.filePath("back.txt")});
  EXPECT_EQ(r.Exit, 3);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: ") + ErrorMessage(o) + QLatin1Char('\n'));
  EXPECT_TRUE(ErrorMessage(o).startsWith(QStringLiteral("scratchpad get missing.txt: ")))
      << r.Out.toStdString();
  // Removing several names stops at the first refusal; the document tells
  // what went before it.
  r = Cli({QStringLiteral("--json"), QStringLiteral("events"), QStringLiteral("rm"),
           QStringLiteral("12345678-1764903600-375.log"), QStringLiteral("no-such.evt"),
           QStringLiteral("12345678-1764900000-250.log")});
  EXPECT_EQ(r.Exit, 3);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("removed").toArray(), QJsonArray{QStringLiteral("12345678-1764903600-375.log")});
  EXPECT_TRUE(ErrorMessage(o).startsWith(QStringLiteral("rm no-such.evt: "))) << r.Out.toStdString();
  EXPECT_TRUE(QFile::exists(Device("events/12345678-1764900000-250.log")));
  // A mistake on the command line: the document for the program, the line
  // and the hint for the person.
  r = Cli({QStringLiteral("--json"), QStringLiteral("bogus")});
  EXPECT_EQ(r.Exit, 1);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(ErrorMessage(o), QStringLiteral("unknown command 'bogus'"));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("error")));
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: unknown command 'bogus'\n") + CHint + QLatin1Char('\n'));
}

// Through SSH the host-key question is a warning of the document.
class CliSshTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--ssh-port"), QStringLiteral("0")}; }
};

TEST_F(CliSshTest, JsonWarningsInsideTheDocument) {
  const TRun r = Cli({QStringLiteral("--json"), QStringLiteral("--ssh"), QStringLiteral("--ssh-port"),
                      QString::number(Sim.SshPort), QStringLiteral("--ccci-port"), QString::number(Sim.Port),
                      QStringLiteral("--user"), QStringLiteral("operator"), QStringLiteral("--password"),
                      QStringLiteral("operator"), QStringLiteral("--trust-new-host-key"), QStringLiteral("identify")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString() << r.Out.toStdString();
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("serial").toInteger(), 12345678);
  const QJsonArray warnings = o.value("warnings").toArray();
  ASSERT_EQ(warnings.size(), 1) << r.Out.toStdString();
  EXPECT_TRUE(warnings[0].toString().endsWith(QStringLiteral(" -> trusted"))) << r.Out.toStdString();
  EXPECT_FALSE(warnings[0].toString().contains(QLatin1Char('\n')));
}

// ---- the progress bar on a terminal ---------------------------------------

namespace {
// A pseudo-terminal as the CLI's stderr, so that it draws as for a person;
// what reaches the terminal is collected.
class TTerminal {
 public:
  TTerminal() {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) return;
    winsize w{};
    w.ws_col = 120;
    w.ws_row = 24;
    ::ioctl(FMaster, TIOCSWINSZ, &w);
    FSlave = ::open(::ptsname(FMaster), O_RDWR | O_NOCTTY);
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
  }
  ~TTerminal() {
    if (FSlave >= 0) ::close(FSlave);
    if (FMaster >= 0) ::close(FMaster);
  }
  bool Ok() const { return FMaster >= 0 && FSlave >= 0; }

  // Stdout stays a pipe; stderr is the terminal.
  QByteArray Run(const QStringList& args, TRun& run) {
    QProcess p;
    const int slave = FSlave;
    p.setChildProcessModifier([slave] { ::dup2(slave, 2); });
    p.start(QStringLiteral(VANTA_CLI_PATH), args);
    QByteArray shown;
    QElapsedTimer t;
    t.start();
    // Read along: a full terminal buffer would block the program.
    while (!p.waitForFinished(20) && t.elapsed() < 60000) Drain(shown);
    if (p.state() != QProcess::NotRunning) {
      p.kill();
      p.waitForFinished();
    }
    Drain(shown);
    run = {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
           QString()};
    return shown;
  }

 private:
  void Drain(QByteArray& into) {
    char buf[4096];
    for (ssize_t n; (n = ::read(FMaster, buf, sizeof buf)) > 0;) into.append(buf, n);
  }
  int FMaster = -1;
  int FSlave = -1;
};
}  // namespace

// The simulator sends byte by byte: a transfer lasts long enough for a bar.
class CliSlowTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--fault"), QStringLiteral("split")}; }
};

TEST_F(CliSlowTest, ProgressBarOnATerminalOnly) {
  TTerminal term;
  ASSERT_TRUE(term.Ok());
  const QByteArray big(512 * 1024, 'e');
  WriteAll(Device("events/EVT-1765000000-0.evt"), big);
  const QString local = Data.filePath("12345678/Event/EVT-1765000000-0.evt");
  const QStringList prefix{QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"),
                           Data.path()};
  const QStringList get{QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("EVT-1765000000-0.evt")};
  TRun r;
  const QByteArray shown = term.Run(prefix + get, r);
  ASSERT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out, local + QLatin1Char('\n')) << "stdout is untouched by the bar";
  EXPECT_EQ(ReadAll(local), big);
  EXPECT_TRUE(shown.contains("\r  events/EVT-1765000000-0.evt  ")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(" / 512.0 KiB  ")) << shown.toStdString();
  EXPECT_FALSE(shown.contains('\n')) << "one line, redrawn in place";
  // Wiped at the end: the last thing on the terminal is a line of blanks.
  const QList<QByteArray> pieces = shown.split('\r');
  ASSERT_GE(pieces.size(), 3);
  EXPECT_TRUE(pieces.last().isEmpty());
  const QByteArray wipe = pieces[pieces.size() - 2];
  EXPECT_FALSE(wipe.isEmpty());
  EXPECT_EQ(wipe, QByteArray(wipe.size(), ' '));

  // --quiet and --json keep the terminal clean.
  for (const char* option : {"--quiet", "--json"}) {
    SCOPED_TRACE(option);
    QFile::remove(local);
    const QByteArray quiet = term.Run(prefix + get + QStringList{QLatin1String(option)}, r);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(ReadAll(local), big);
    EXPECT_TRUE(quiet.isEmpty()) << quiet.toStdString();
  }
}

// ---- the parameter set without a device ---------------------------------------------------

namespace {
const char* CParaFixture = R"(<?xml version="1.0"?>
<config><device name="Sim"/><system><group name="sys" id="1">
  <group id="7">
    <parameter id="10"><visibility>0</visibility><editability>0</editability><type>float</type>
      <value>50</value><default>50</default><low>45</low><high>65</high></parameter>
    <parameter id="11"><visibility>0</visibility><editability>2</editability><type>integer</type><value>4</value></parameter>
    <parameter id="12"><visibility>3</visibility><editability>0</editability><type>text</type><value>geheim</value></parameter>
    <parameter id="4261413254"><visibility>0</visibility><editability>0</editability><type>text</type><value>N49.1E11.1</value></parameter>
  </group>
  <group id="8"><parameter id="10"><visibility>0</visibility><editability>0</editability><type>integer</type>
    <value>99</value><low>0</low><high>50</high></parameter></group>
  <group id="9">
    <parameter id="20"><visibility>0</visibility><editability>0</editability><type>integer</type><value>1</value>
      <range list="true"><entry>0</entry><entry>1</entry><entry>2</entry></range></parameter>
    <parameter id="21"><visibility>0</visibility><editability>0</editability><type>text</type><value>b</value>
      <range list="true"><entry>a</entry><entry>b</entry><entry>c</entry></range></parameter>
    <parameter id="4278190467"><visibility>0</visibility><editability>0</editability><type>text</type><value>IED1</value></parameter>
  </group>
</group></system></config>)";

struct TParaFiles {
  QTemporaryDir Dir;
  QString Setup = Dir.filePath(QStringLiteral("setup.xml"));
  TParaFiles() { WriteAll(Setup, CParaFixture); }
  TRun Cli(const QStringList& args) {
    // Nothing listens on port 1: a command that tried to connect would fail.
    return RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("1")} + args, 10000);
  }
};
}  // namespace

TEST(CliPara, RowsOfAFolderAtALevel) {
  TParaFiles f;
  TRun r = f.Cli({QStringLiteral("para"), QStringLiteral("rows"), f.Setup, QStringLiteral("--folder"), QStringLiteral("7")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << "the text at visibility 3 is hidden at level 1";
  EXPECT_EQ(lines[0], QStringLiteral("10\t7\tgrtFloat\tParameter 10\t50\t50\t45\t65\teditable"));
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tread-only"))) << "editability 2 above level 1";

  r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("rows"), f.Setup, QStringLiteral("--level"),
             QStringLiteral("3")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-rows")));
  const QJsonArray rows = doc.value(QStringLiteral("rows")).toArray();
  ASSERT_EQ(rows.size(), 8) << "all of them at level 3, both id-10 items";
  EXPECT_EQ(rows[4].toObject().value(QStringLiteral("parent")).toInt(), 8);
  const QJsonObject first = rows[0].toObject();
  EXPECT_EQ(first.value(QStringLiteral("caption")).toString(), QStringLiteral("(10/0x0000000A) Parameter 10"));
  // Numbers as numbers, the shown texts beside them.
  EXPECT_EQ(first.value(QStringLiteral("id")).toInteger(), 10);
  EXPECT_EQ(first.value(QStringLiteral("idHex")).toString(), QStringLiteral("0x0000000A"));
  EXPECT_EQ(first.value(QStringLiteral("kind")).toString(), QStringLiteral("float"));
  EXPECT_TRUE(first.value(QStringLiteral("value")).isDouble());
  EXPECT_DOUBLE_EQ(first.value(QStringLiteral("value")).toDouble(), 50.0);
  EXPECT_DOUBLE_EQ(first.value(QStringLiteral("min")).toDouble(), 45.0);
  EXPECT_DOUBLE_EQ(first.value(QStringLiteral("max")).toDouble(), 65.0);
  EXPECT_EQ(first.value(QStringLiteral("texts")).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("50"));
  EXPECT_EQ(rows[2].toObject().value(QStringLiteral("value")).toString(), QStringLiteral("geheim")) << "a text stays a text";
  const QJsonObject gps = rows[3].toObject();
  EXPECT_EQ(gps.value(QStringLiteral("id")).toInteger(), 4261413254) << "ids above 2^31 stay whole";
  // A list: its entries typed like its value.
  QJsonObject list;
  for (const QJsonValue& v : rows)
    if (v.toObject().value(QStringLiteral("id")).toInteger() == 20) list = v.toObject();
  ASSERT_FALSE(list.isEmpty()) << r.Out.toStdString();
  EXPECT_EQ(list.value(QStringLiteral("value")).toInt(-1), 1);
  const QJsonArray entries = list.value(QStringLiteral("list")).toArray();
  ASSERT_EQ(entries.size(), 3);
  EXPECT_TRUE(entries[2].toObject().value(QStringLiteral("value")).isDouble());
  EXPECT_EQ(entries[2].toObject().value(QStringLiteral("value")).toInt(), 2);
}

TEST(CliPara, SetRunsTheEditorsAcceptPath) {
  TParaFiles f;
  const QString out = f.Dir.filePath(QStringLiteral("out.xml"));
  const QString changes = f.Dir.filePath(QStringLiteral("changes.json"));
  TRun r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("set"), f.Setup,
                  QStringLiteral("10@7=70"), QStringLiteral("10@8=7"), QStringLiteral("11=5"),
                  QStringLiteral("4261413254=N99E1"), QStringLiteral("--out"), out, QStringLiteral("--changes"), changes});
  EXPECT_EQ(r.Exit, 4) << "a value was corrected or rejected";
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-set")));
  const QJsonArray in = doc.value(QStringLiteral("inputs")).toArray();
  ASSERT_EQ(in.size(), 4);
  const QJsonObject clamped = in[0].toObject();
  EXPECT_EQ(clamped.value(QStringLiteral("result")).toString(), QStringLiteral("corrected"));
  EXPECT_TRUE(clamped.value(QStringLiteral("stored")).isDouble());
  EXPECT_DOUBLE_EQ(clamped.value(QStringLiteral("stored")).toDouble(), 65.0) << "the stored value, not the input";
  EXPECT_EQ(clamped.value(QStringLiteral("id")).toInteger(), 10);
  EXPECT_EQ(clamped.value(QStringLiteral("parent")).toInteger(), 7);
  EXPECT_TRUE(clamped.value(QStringLiteral("message")).toString().startsWith(
      QStringLiteral("Der eingegebene Wert für Parameter 10 liegt im ungültigen Bereich.")));
  EXPECT_EQ(in[1].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("stored"));
  EXPECT_DOUBLE_EQ(in[1].toObject().value(QStringLiteral("stored")).toDouble(), 7.0);
  EXPECT_EQ(in[1].toObject().value(QStringLiteral("parent")).toInteger(), 8);
  const QJsonObject locked = in[2].toObject();
  EXPECT_EQ(locked.value(QStringLiteral("result")).toString(), QStringLiteral("rejected")) << "not editable at level 1";
  EXPECT_TRUE(locked.value(QStringLiteral("reason")).toString().contains(QStringLiteral("nicht änderbar")));
  EXPECT_EQ(locked.value(QStringLiteral("current")).toInt(-1), 4) << "what the item keeps";
  EXPECT_FALSE(locked.contains(QStringLiteral("stored")));
  const QJsonObject gps = in[3].toObject();
  EXPECT_EQ(gps.value(QStringLiteral("result")).toString(), QStringLiteral("rejected"));
  EXPECT_TRUE(gps.value(QStringLiteral("reason")).toString().startsWith(QStringLiteral("Die Eingegebenen GPS Koordinaten \"N99E1\"")));
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  EXPECT_TRUE(doc.value(QStringLiteral("saved")).isNull()) << "two inputs were refused";
  EXPECT_FALSE(QFile::exists(out));
  EXPECT_FALSE(QFile::exists(changes));

  r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@7=70"),
             QStringLiteral("10@8=7"), QStringLiteral("--out"), out, QStringLiteral("--changes"), changes});
  EXPECT_EQ(r.Exit, 4) << "a value was corrected";
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-set")));
  EXPECT_EQ(doc.value(QStringLiteral("saved")).toString(), out);
  const QByteArray written = ReadAll(out);
  EXPECT_TRUE(written.contains("<value>65</value>"));
  EXPECT_TRUE(written.contains("<value>7</value>"));
  EXPECT_TRUE(written.contains("<value>4</value>")) << "a value not given stays";
  EXPECT_TRUE(written.contains("N49.1E11.1"));
  const QJsonArray list = QJsonDocument::fromJson(ReadAll(changes)).object().value(QStringLiteral("changes")).toArray();
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[0].toObject().value(QStringLiteral("key")).toString(), QStringLiteral("107"));
  EXPECT_EQ(list[0].toObject().value(QStringLiteral("original")).toString(), QStringLiteral("50"));

  r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@7=55,5")});
  EXPECT_EQ(r.Exit, 0) << "a comma is no correction";
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("10@7 = \"55.5\""));
}

TEST(CliPara, CheckAndBadInput) {
  TParaFiles f;
  TRun r = f.Cli({QStringLiteral("para"), QStringLiteral("check"), f.Setup});
  EXPECT_EQ(r.Exit, 4);
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("10@8: \"99\" -> \"50\"")) << "above its upper limit";

  const QString broken = f.Dir.filePath(QStringLiteral("broken.xml"));
  WriteAll(broken, "<config><group name=\"sys\" id=\"1\">");
  const QString out = f.Dir.filePath(QStringLiteral("never.xml"));
  r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), broken, QStringLiteral("10=1"), QStringLiteral("--out"), out});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("kein gültiges XML"))) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(out)) << "nothing written";
  r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("x=1")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("'x=1' is not ID[@PARENT]=TEXT"))) << r.Err.toStdString();
  r = f.Cli({QStringLiteral("para"), QStringLiteral("rows"), f.Dir.filePath(QStringLiteral("missing.xml"))});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("Datei fehlt")));
}

TEST(CliPara, SetRefusesAValueThatIsNoEntryOfItsList) {
  TParaFiles f;
  const QString out = f.Dir.filePath(QStringLiteral("out.xml"));
  const QByteArray before = ReadAll(f.Setup);
  WriteAll(out, before);  // an earlier result
  for (const auto& [input, old] : {std::pair{QStringLiteral("20=7"), QByteArray("<value>1</value>")},
                                   std::pair{QStringLiteral("20=zz"), QByteArray("<value>1</value>")},
                                   std::pair{QStringLiteral("20=1.5"), QByteArray("<value>1</value>")},
                                   std::pair{QStringLiteral("21=zz"), QByteArray("<value>b</value>")}}) {
    SCOPED_TRACE(input.toStdString());
    const TRun r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("set"), f.Setup, input, QStringLiteral("--out"), out});
    EXPECT_EQ(r.Exit, 4);
    QJsonObject doc;
    ASSERT_TRUE(OneDocument(r, doc));
    EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-set")));
    const QJsonObject in = doc.value(QStringLiteral("inputs")).toArray().at(0).toObject();
    EXPECT_EQ(in.value(QStringLiteral("result")).toString(), QStringLiteral("rejected"));
    EXPECT_FALSE(in.contains(QStringLiteral("stored"))) << "nothing was stored";
    EXPECT_TRUE(in.value(QStringLiteral("reason")).toString().contains(QStringLiteral("kein Eintrag der Liste")));
    EXPECT_TRUE(ReadAll(out).contains(old)) << "the written file keeps the old value";
    EXPECT_EQ(ReadAll(out), before);
  }
  const TRun ok = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("20=2"), QStringLiteral("21=c")});
  EXPECT_EQ(ok.Exit, 0) << ok.Out.toStdString();
}

TEST(CliPara, SetWithoutOutSaysThatNothingWasSaved) {
  TParaFiles f;
  const QByteArray before = ReadAll(f.Setup);
  TRun r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@7=60")});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("10@7 = \"60\""));
  EXPECT_TRUE(r.Err.contains(QStringLiteral("nicht gespeichert"))) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains(QStringLiteral("ohne --out"))) << "it says how to save";
  EXPECT_EQ(ReadAll(f.Setup), before);

  r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@7=60")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(r.Exit, 0);
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-set")));
  EXPECT_TRUE(doc.value(QStringLiteral("saved")).isNull());
  EXPECT_EQ(doc.value(QStringLiteral("inputs")).toArray().at(0).toObject().value(QStringLiteral("result")).toString(), QStringLiteral("stored"));
  EXPECT_TRUE(doc.value(QStringLiteral("warnings")).toArray().at(0).toString().contains(QStringLiteral("nicht gespeichert")))
      << r.Out.toStdString();
}

TEST(CliPara, SetWritesNothingWhenOneInputIsRefused) {
  TParaFiles f;
  const QString out = f.Dir.filePath(QStringLiteral("out.xml"));
  const QString changes = f.Dir.filePath(QStringLiteral("changes.json"));
  WriteAll(out, "earlier");
  const TRun r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@7=60"), QStringLiteral("20=zz"),
                        QStringLiteral("--out"), out, QStringLiteral("--changes"), changes});
  EXPECT_EQ(r.Exit, 4);
  EXPECT_EQ(ReadAll(out), QByteArray("earlier")) << "not the accepted half of the inputs";
  EXPECT_FALSE(QFile::exists(changes));
  EXPECT_TRUE(r.Err.contains(QStringLiteral("Nichts gespeichert"))) << r.Err.toStdString();
}

TEST(CliPara, CheckNamesAListValueThatIsNoEntry) {
  TParaFiles f;
  QByteArray set = ReadAll(f.Setup);
  set.replace("<value>1</value>\n      <range", "<value>7</value>\n      <range");
  WriteAll(f.Setup, set);
  const TRun r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("check"), f.Setup});
  EXPECT_EQ(r.Exit, 4);
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  bool found = false;
  for (const QJsonValue& v : doc.value(QStringLiteral("corrections")).toArray()) {
    const QJsonObject o = v.toObject();
    if (o.value(QStringLiteral("id")).toInteger() != 20) continue;
    found = true;
    EXPECT_EQ(o.value(QStringLiteral("parent")).toInteger(), 9);
    EXPECT_TRUE(o.value(QStringLiteral("value")).isDouble());
    EXPECT_EQ(o.value(QStringLiteral("value")).toInt(), 7);
    EXPECT_TRUE(o.value(QStringLiteral("notInList")).toBool());
  }
  EXPECT_TRUE(found) << r.Out.toStdString();
}

// Each kind of refusal alone makes the exit code 4, so that one cannot hide behind another.
TEST(CliPara, SetExitsFourForAnUnknownId) {
  TParaFiles f;
  EXPECT_EQ(f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("999=1")}).Exit, 4);
}

TEST(CliPara, SetExitsFourForAValueNotEditableAtTheLevel) {
  TParaFiles f;
  EXPECT_EQ(f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("11=5")}).Exit, 4);
  EXPECT_EQ(f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("11=5"), QStringLiteral("--level"),
                   QStringLiteral("2")}).Exit, 0) << "editable one level up";
}

TEST(CliPara, SetExitsFourForAFailedGpsCheck) {
  TParaFiles f;
  EXPECT_EQ(f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("4261413254=N99E1")}).Exit, 4);
}

TEST(CliPara, SetExitsFourForAFailedIedCheck) {
  TParaFiles f;
  const TRun r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("set"), f.Setup,
                        QStringLiteral("4278190467=9 Feld")});
  EXPECT_EQ(r.Exit, 4);
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(doc.value(QStringLiteral("inputs")).toArray().at(0).toObject().value(QStringLiteral("result")).toString(), QStringLiteral("rejected"));
  EXPECT_EQ(f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("4278190467=Feld_9")}).Exit, 0);
}

TEST(CliPara, ExportsMandatoryAndIcd) {
  TParaFiles f;
  const QString changes = f.Dir.filePath(QStringLiteral("changes.json"));
  TRun r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@8=20"), QStringLiteral("--changes"), changes});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString exported = f.Dir.filePath(QStringLiteral("export.xml"));
  r = f.Cli({QStringLiteral("para"), QStringLiteral("export"), f.Setup, QStringLiteral("--format"), QStringLiteral("changes"),
             QStringLiteral("--changes"), changes, QStringLiteral("--out"), exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QByteArray x = ReadAll(exported);
  EXPECT_TRUE(x.contains("name=\"anyDevice\""));
  EXPECT_TRUE(x.contains("<group id=\"8\">"));
  EXPECT_FALSE(x.contains("<group id=\"7\">")) << "nothing changed there";
  r = f.Cli({QStringLiteral("para"), QStringLiteral("export"), f.Setup, QStringLiteral("--format"), QStringLiteral("changes"),
             QStringLiteral("--out"), exported});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("Keine Änderungen")));
  r = f.Cli({QStringLiteral("para"), QStringLiteral("export"), f.Setup, QStringLiteral("--format"), QStringLiteral("pdf")});
  EXPECT_EQ(r.Exit, 1);

  const QString icd = f.Dir.filePath(QStringLiteral("station.icd"));
  WriteAll(icd, R"(<SCL><Header id="H" version="1" revision="A"/><Communication><SubNetwork><ConnectedAP iedName="A"/>
    </SubNetwork></Communication><IED name="A" originalSclVersion="2007" originalSclRevision="B"/></SCL>)");
  r = f.Cli({QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("rename"), QStringLiteral("B2"), icd});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("show"), icd});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(doc.value(QStringLiteral("icd")).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("B2"));
  WriteAll(icd, "<SCL/>");
  r = f.Cli({QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("show"), icd});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("Ungülige ICD Datei"))) << r.Err.toStdString();
}

TEST(CliMdb, PickerStatementsWithoutADevice) {
  auto cli = [](const QStringList& args) { return RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("1")} + args, 10000); };
  TRun r = cli({QStringLiteral("--json"), QStringLiteral("mdb"), QStringLiteral("classes")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  const QJsonArray classes = doc.value(QStringLiteral("classes")).toArray();
  ASSERT_FALSE(classes.isEmpty());
  for (const QJsonValue& c : classes) {
    const int n = c.toObject().value(QStringLiteral("class")).toInt();
    EXPECT_TRUE(n < 9 || n == 18) << n;
  }
  r = cli({QStringLiteral("mdb"), QStringLiteral("--lang"), QStringLiteral("lang_en"), QStringLiteral("values"), QStringLiteral("--class"),
           QString::number(classes[0].toObject().value(QStringLiteral("class")).toInt())});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString firstId = r.Out.section(QLatin1Char('\t'), 0, 0);
  ASSERT_FALSE(firstId.isEmpty());
  r = cli({QStringLiteral("--json"), QStringLiteral("mdb"), QStringLiteral("search"), firstId});
  ASSERT_TRUE(OneDocument(r, doc));
  bool hit = false;
  for (const QJsonValue& v : doc.value(QStringLiteral("values")).toArray())
    hit = hit || QString::number(v.toObject().value(QStringLiteral("vantaId")).toInteger()) == firstId;
  EXPECT_TRUE(hit) << "a device id is found through its class";
  r = cli({QStringLiteral("mdb"), QStringLiteral("tree"), QStringLiteral("--modbus"), QStringLiteral("--start"), firstId});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.count(QStringLiteral("> ")), 1) << "the start id's value is the one selected";
  EXPECT_TRUE(r.Out.contains(QStringLiteral("(%1)").arg(firstId)));
  r = cli({QStringLiteral("mdb"), QStringLiteral("values")});
  EXPECT_EQ(r.Exit, 1) << "needs --class or --modbus";
  r = cli({QStringLiteral("mdb"), QStringLiteral("--db"), QStringLiteral("/nonexistent.db"), QStringLiteral("tree")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("Datei fehlt")));
}

TEST(CliPara, DiffImportAndReset) {
  TParaFiles f;
  const QString other = f.Dir.filePath(QStringLiteral("other.xml"));
  TRun r = f.Cli({QStringLiteral("para"), QStringLiteral("set"), f.Setup, QStringLiteral("10@7=55"), QStringLiteral("--out"), other});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = f.Cli({QStringLiteral("para"), QStringLiteral("diff"), f.Setup, f.Setup});
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("Keine geänderten Daten gefunden"));
  r = f.Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("diff"), f.Setup, other});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-diff")));
  const QJsonArray changes = doc.value(QStringLiteral("changes")).toArray();
  ASSERT_EQ(changes.size(), 1);
  const QJsonObject c = changes[0].toObject();
  EXPECT_EQ(c.value(QStringLiteral("key")).toString(), QStringLiteral("1710"));
  EXPECT_EQ(c.value(QStringLiteral("id")).toInteger(), 10);
  EXPECT_EQ(c.value(QStringLiteral("parent")).toInteger(), 7);
  EXPECT_TRUE(c.value(QStringLiteral("device")).isDouble());
  EXPECT_DOUBLE_EQ(c.value(QStringLiteral("device")).toDouble(), 50.0);
  EXPECT_DOUBLE_EQ(c.value(QStringLiteral("file")).toDouble(), 55.0);
  EXPECT_TRUE(c.value(QStringLiteral("valid")).toBool());
  EXPECT_EQ(c.value(QStringLiteral("line")).toString(), QStringLiteral("Parameter 10: 55 [50]"));

  const QString merged = f.Dir.filePath(QStringLiteral("merged.xml"));
  r = f.Cli({QStringLiteral("para"), QStringLiteral("import"), f.Setup, other, QStringLiteral("--out"), merged, QStringLiteral("--tick"),
             QStringLiteral("1710"), QStringLiteral("999")});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Import Error Key 999 Not found!"))) << "keys after --tick count too";
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = f.Cli({QStringLiteral("para"), QStringLiteral("diff"), merged, other});
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("Keine geänderten Daten gefunden")) << "the imported value is in";
  r = f.Cli({QStringLiteral("para"), QStringLiteral("import"), f.Setup, other, QStringLiteral("--out"), merged});
  EXPECT_EQ(r.Exit, 1) << "needs --all or --tick";

  const QString reset = f.Dir.filePath(QStringLiteral("reset.xml"));
  r = f.Cli({QStringLiteral("para"), QStringLiteral("reset"), merged, QStringLiteral("--out"), reset});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(ReadAll(reset).contains("<value>50</value>")) << "back to its default";
}

TEST_F(CliTest, ParaPushSendsThePrunedSetAndTheDeviceKeepsTheRest) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  const QString edited = Data.filePath("edited.xml");
  // One value outside the modules and one in the Modbus module, which is then left out of the upload.
  TRun r = Cli({QStringLiteral("para"), QStringLiteral("set"), got, QStringLiteral("218103808=55"), QStringLiteral("4278190338=503"),
                QStringLiteral("--out"), edited});
  ASSERT_TRUE(r.Exit == 0 || r.Exit == 4) << r.Err.toStdString();
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("push"), edited, QStringLiteral("--untick"),
           QStringLiteral("4278190336")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-push")));
  EXPECT_TRUE(doc.value(QStringLiteral("modules")).toArray().contains(
      QJsonObject{{QStringLiteral("name"), QStringLiteral("Modbus")}, {QStringLiteral("included"), false}}))
      << r.Out.toStdString();
  EXPECT_TRUE(doc.value(QStringLiteral("sent")).toBool());
  for (const QJsonValue& v : doc.value(QStringLiteral("changes")).toArray())
    EXPECT_EQ(v.toObject().value(QStringLiteral("sent")).toBool(), v.toObject().value(QStringLiteral("module")).toString() != QLatin1String("Modbus"))
        << "only what went out counts as sent: " << r.Out.toStdString();
  const QString back = Data.filePath("back.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), back}).Exit, 0);
  const QByteArray device = ReadAll(back);
  EXPECT_TRUE(device.contains("<value>55</value>")) << "the edited value arrived";
  EXPECT_TRUE(device.contains("swmodule id=\"4278190336\"")) << "a module left out of the upload stays on the device";
  r = Cli({QStringLiteral("para"), QStringLiteral("diff"), back, got});
  EXPECT_EQ(r.Out.trimmed().section(QLatin1Char('\t'), 1), QStringLiteral("Nennfrequenz: 50 [55]"))
      << "the round trip keeps every untouched value, and the module left out kept its 502: " << r.Out.toStdString();
}

TEST_F(CliTest, ParaPushDryRunListsTheChangesAndSendsNothing) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  const QString edited = Data.filePath("edited.xml");
  TRun r = Cli({QStringLiteral("para"), QStringLiteral("set"), got, QStringLiteral("218103808=55"), QStringLiteral("--out"), edited});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("push"), edited, QStringLiteral("--dry-run")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-push")));
  const QJsonArray changes = doc.value(QStringLiteral("changes")).toArray();
  ASSERT_EQ(changes.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(changes[0].toObject().value(QStringLiteral("id")).toInteger(), 218103808);
  EXPECT_DOUBLE_EQ(changes[0].toObject().value(QStringLiteral("device")).toDouble(), 50.0);
  EXPECT_DOUBLE_EQ(changes[0].toObject().value(QStringLiteral("new")).toDouble(), 55.0);
  EXPECT_TRUE(changes[0].toObject().value(QStringLiteral("included")).toBool());
  EXPECT_FALSE(changes[0].toObject().value(QStringLiteral("sent")).toBool()) << "a dry run sends nothing";
  EXPECT_FALSE(doc.value(QStringLiteral("sent")).toBool());
  EXPECT_TRUE(doc.value(QStringLiteral("dryRun")).toBool());
  const QString back = Data.filePath("back.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), back}).Exit, 0);
  EXPECT_FALSE(ReadAll(back).contains("<value>55</value>")) << "nothing was sent";

  // A real push keeps the device's set first, in the device's data folder.
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("push"), edited});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-push")));
  EXPECT_FALSE(doc.value(QStringLiteral("dryRun")).toBool());
  EXPECT_TRUE(doc.value(QStringLiteral("sent")).toBool());
  EXPECT_TRUE(doc.value(QStringLiteral("changes")).toArray().at(0).toObject().value(QStringLiteral("sent")).toBool());
  const QString backup = doc.value(QStringLiteral("backup")).toString();
  ASSERT_FALSE(backup.isEmpty());
  EXPECT_TRUE(QFileInfo(backup).fileName().startsWith(QStringLiteral("ParaBackup_")));
  EXPECT_TRUE(ReadAll(backup).contains("<value>50</value>")) << "the set before the push";
}

namespace {
// The device's set read, `sets` applied at level 2 and exported as a change
// export, as one device would hand its changes to another.
void ExportChanges(const std::function<TRun(const QStringList&)>& cli, const QDir& data, const QStringList& sets, QString& exported) {
  const QString got = data.filePath("got.xml");
  ASSERT_EQ(cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  const QString changes = data.filePath("changes.json");
  const QString edited = data.filePath("edited.xml");
  TRun r = cli(QStringList{QStringLiteral("para"), QStringLiteral("set"), got} + sets +
                 QStringList{QStringLiteral("--level"), QStringLiteral("2"), QStringLiteral("--changes"), changes, QStringLiteral("--out"), edited});
  ASSERT_EQ(r.Exit, 0) << r.Out.toStdString() << r.Err.toStdString();
  exported = data.filePath("ChangeExport.xml");
  r = cli({QStringLiteral("para"), QStringLiteral("export"), edited, QStringLiteral("--format"), QStringLiteral("changes"),
             QStringLiteral("--changes"), changes, QStringLiteral("--out"), exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
}
}  // namespace

TEST_F(CliTest, ParaApplyLeavesNetworkServiceAndDefaultValuesOutUnlessAsked) {
  QString exported;
  // A frequency, an address of the network module and a service value (visibility 2).
  ASSERT_NO_FATAL_FAILURE(ExportChanges([this](const QStringList& a) { return Cli(a); }, QDir(Data.path()), {QStringLiteral("218103808=61"), QStringLiteral("4278191105=192.0.2.99"), QStringLiteral("50331660=124")},
                                        exported));
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), exported, QStringLiteral("--dry-run")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-apply")));
  EXPECT_TRUE(doc.value(QStringLiteral("dryRun")).toBool());
  EXPECT_FALSE(doc.value(QStringLiteral("sent")).toBool());
  ASSERT_EQ(doc.value(QStringLiteral("applied")).toArray().size(), 1);
  // Typed values, not the dialog's line alone.
  const QJsonObject frequency = doc.value(QStringLiteral("applied")).toArray().at(0).toObject();
  EXPECT_EQ(frequency.value(QStringLiteral("id")).toInteger(), 218103808);
  EXPECT_TRUE(frequency.value(QStringLiteral("value")).isDouble());
  EXPECT_DOUBLE_EQ(frequency.value(QStringLiteral("value")).toDouble(), 61.0);
  EXPECT_DOUBLE_EQ(frequency.value(QStringLiteral("device")).toDouble(), 50.0);
  QStringList reasons;
  for (const QJsonValue& v : doc.value(QStringLiteral("leftOut")).toArray())
    reasons << v.toObject().value(QStringLiteral("reason")).toString();
  EXPECT_EQ(reasons.size(), 2) << reasons.join('|').toStdString();
  EXPECT_TRUE(reasons.join('|').contains(QStringLiteral("--network")));
  EXPECT_TRUE(reasons.join('|').contains(QStringLiteral("--service")));

  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), exported, QStringLiteral("--dry-run"),
           QStringLiteral("--network"), QStringLiteral("--service")});
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(doc.value(QStringLiteral("applied")).toArray().size(), 3) << "each option brings its own";

  r = Cli({QStringLiteral("para"), QStringLiteral("apply"), exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Ausgelassen: "))) << r.Out.toStdString();
  const QString back = Data.filePath("back.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), back}).Exit, 0);
  const QByteArray device = ReadAll(back);
  EXPECT_TRUE(device.contains("<value>61</value>"));
  EXPECT_FALSE(device.contains("192.0.2.99")) << "the other device's address stays where it came from";

  // The service value, asked for now, goes out; the frequency is there already.
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), exported, QStringLiteral("--service")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-apply")));
  EXPECT_FALSE(doc.value(QStringLiteral("dryRun")).toBool());
  EXPECT_TRUE(doc.value(QStringLiteral("sent")).toBool()) << r.Out.toStdString();
  ASSERT_EQ(doc.value(QStringLiteral("applied")).toArray().size(), 1) << r.Out.toStdString();
  EXPECT_EQ(doc.value(QStringLiteral("applied")).toArray().at(0).toObject().value(QStringLiteral("id")).toInteger(), 50331660);
  EXPECT_EQ(doc.value(QStringLiteral("leftOut")).toArray().size(), 1) << "the address still needs --network";
}

TEST_F(CliTest, ParaApplyTakesADefaultForAnInvalidValueOnlyWhenAsked) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  // A change export whose frequency lies outside the device's limits.
  QByteArray x = ReadAll(got);
  const qsizetype at = x.indexOf("<parameter id=\"218103808\">");
  ASSERT_GE(at, 0);
  const qsizetype v = x.indexOf("<value>50</value>", at);
  x.replace(v, 17, "<value>999</value>");
  const QString file = Data.filePath("invalid.xml");
  WriteAll(file, x);
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), file, QStringLiteral("--dry-run")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  EXPECT_TRUE(doc.value(QStringLiteral("applied")).toArray().isEmpty());
  ASSERT_EQ(doc.value(QStringLiteral("leftOut")).toArray().size(), 1);
  EXPECT_TRUE(doc.value(QStringLiteral("leftOut")).toArray()[0].toObject().value(QStringLiteral("reason")).toString().contains(
      QStringLiteral("--defaults")));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-apply")));
  EXPECT_DOUBLE_EQ(doc.value(QStringLiteral("leftOut")).toArray()[0].toObject().value(QStringLiteral("value")).toDouble(), 999.0)
      << "the file's value, as a number";
  r = Cli({QStringLiteral("para"), QStringLiteral("apply"), file, QStringLiteral("--dry-run")});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Ausgelassen: Nennfrequenz: 999 [50]"))) << "the file's value, not the default: " << r.Out.toStdString();
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), file, QStringLiteral("--dry-run"),
           QStringLiteral("--defaults")});
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(doc.value(QStringLiteral("applied")).toArray().size(), 1);
}

namespace {
// `value` put in place of the first "<value>" of item `id` in `set`.
QByteArray WithValue(QByteArray set, const QByteArray& id, const QByteArray& value) {
  const qsizetype at = set.indexOf("<parameter id=\"" + id + "\">");
  if (at < 0) return {};
  const qsizetype from = set.indexOf("<value>", at) + 7;
  return set.replace(from, set.indexOf("</value>", from) - from, value);
}
}  // namespace

// A hand-edited set goes through no editor: a value outside its row's
// limits or list is named, and nothing is sent.
TEST_F(CliTest, ParaPushRefusesValuesOutsideTheSetsOwnRules) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  const QByteArray edited = WithValue(WithValue(ReadAll(got), "218103808", "70"), "251658245", "z");
  ASSERT_FALSE(edited.isEmpty());
  const QString file = Data.filePath("edited.xml");
  WriteAll(file, edited);

  TRun r = Cli({QStringLiteral("para"), QStringLiteral("push"), file});
  EXPECT_EQ(r.Exit, 4) << r.Out.toStdString() << r.Err.toStdString();
  EXPECT_FALSE(r.Out.contains(QStringLiteral("Übertragung abgeschlossen")));
  EXPECT_TRUE(r.Err.contains(QStringLiteral("218103808@218169343 (Nennfrequenz) = \"70\", erlaubt: 45 – 65"))) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains(QStringLiteral("251658245@251658240 (Parameter 251658245) = \"z\", erlaubt: a, b, c"))) << r.Err.toStdString();

  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("push"), file, QStringLiteral("--dry-run")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 4);
  QStringList refused;
  for (const QJsonValue& v : doc.value(QStringLiteral("refused")).toArray())
    refused << QString::number(v.toObject().value(QStringLiteral("id")).toInteger()) + QLatin1Char('=') +
                   v.toObject().value(QStringLiteral("value")).toVariant().toString();
  EXPECT_EQ(refused, (QStringList{QStringLiteral("218103808=70"), QStringLiteral("251658245=z")}));
  EXPECT_TRUE(doc.value(QStringLiteral("refused")).toArray().at(0).toObject().value(QStringLiteral("value")).isDouble());
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-push")));
  EXPECT_FALSE(doc.value(QStringLiteral("sent")).toBool());
  for (const QJsonValue& v : doc.value(QStringLiteral("changes")).toArray())
    EXPECT_FALSE(v.toObject().value(QStringLiteral("sent")).toBool()) << "a refused set sends nothing";

  const QString back = Data.filePath("back.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), back}).Exit, 0);
  r = Cli({QStringLiteral("para"), QStringLiteral("diff"), back, got});
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("Keine geänderten Daten gefunden")) << "the device kept its set";

  // Within the rules the same set goes out.
  WriteAll(file, WithValue(WithValue(ReadAll(got), "218103808", "60"), "251658245", "c"));
  r = Cli({QStringLiteral("para"), QStringLiteral("push"), file});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Übertragung abgeschlossen")));
}

// A module to leave out that the set does not have would send what the
// operator meant to keep back.
TEST_F(CliTest, ParaPushRefusesModulesToLeaveOutThatTheSetDoesNotHave) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  TRun r = Cli({QStringLiteral("para"), QStringLiteral("push"), got, QStringLiteral("--untick"), QStringLiteral("foo,12345")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("foo, 12345"))) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains(QStringLiteral("4278190336 (Modbus)"))) << "the valid names are listed: " << r.Err.toStdString();
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("push"), got, QStringLiteral("--untick"),
           QStringLiteral("Modbus"), QStringLiteral("--dry-run")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 0);
  EXPECT_TRUE(doc.value(QStringLiteral("modules")).toArray().contains(
      QJsonObject{{QStringLiteral("name"), QStringLiteral("Modbus")}, {QStringLiteral("included"), false}}))
      << "a module by its caption";
}

// A change export from another device must not carry that device's own
// address, host name or DHCP switch over: they are network settings too.
TEST_F(CliTest, ParaApplyKeepsTheDevicesOwnNetworkSettingsUnlessAsked) {
  QString exported;
  ASSERT_NO_FATAL_FAILURE(ExportChanges([this](const QStringList& a) { return Cli(a); }, QDir(Data.path()),
                                        {QStringLiteral("218103808=61"), QStringLiteral("33554433@33554432=192.0.2.99"),
                                         QStringLiteral("33554436@33554432=anderes-geraet")},
                                        exported));
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), exported, QStringLiteral("--dry-run")});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  ASSERT_EQ(doc.value(QStringLiteral("applied")).toArray().size(), 1);
  EXPECT_EQ(doc.value(QStringLiteral("applied")).toArray().at(0).toObject().value(QStringLiteral("line")).toString(),
            QStringLiteral("Nennfrequenz: 61 [50]"));
  QStringList leftOut;
  for (const QJsonValue& v : doc.value(QStringLiteral("leftOut")).toArray()) {
    leftOut << QString::number(v.toObject().value(QStringLiteral("id")).toInteger());
    EXPECT_TRUE(v.toObject().value(QStringLiteral("reason")).toString().contains(QStringLiteral("--network")));
  }
  EXPECT_EQ(leftOut, (QStringList{QStringLiteral("33554433"), QStringLiteral("33554436")}));
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("apply"), exported, QStringLiteral("--dry-run"),
           QStringLiteral("--network")});
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(doc.value(QStringLiteral("applied")).toArray().size(), 3) << "asked for, they come along";

  r = Cli({QStringLiteral("para"), QStringLiteral("apply"), exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Ausgelassen: IP-Adresse: 192.0.2.99 [192.0.2.20] (Netzwerkeinstellungen, nur mit --network)")))
      << r.Out.toStdString();
  const QString back = Data.filePath("back.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), back}).Exit, 0);
  const QByteArray device = ReadAll(back);
  EXPECT_TRUE(device.contains("<value>61</value>"));
  EXPECT_FALSE(device.contains("192.0.2.99")) << "the other device's address stays where it came from";
  EXPECT_FALSE(device.contains("anderes-geraet"));
}

TEST_F(CliTest, ClockIsSetWithTheFirmwaresStatement) {
  TRun r = Cli({QStringLiteral("clock"), QStringLiteral("--set"), QStringLiteral("05.12.2026 10:11:12")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("uti.setDateTime(\"05.12.2026 10:11:12\")"));
  r = Cli({QStringLiteral("clock")});
  EXPECT_TRUE(r.Out.startsWith(QStringLiteral("2026-12-05T10:11:1"))) << r.Out.toStdString();
  r = Cli({QStringLiteral("clock"), QStringLiteral("--set"), QStringLiteral("morgen")});
  EXPECT_EQ(r.Exit, 1);
}

class CliNakSetupTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {QStringLiteral("--fault"), QStringLiteral("nak-setup")}; }
};

TEST_F(CliNakSetupTest, RefusedUploadIsReported) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  TRun r = Cli({QStringLiteral("para"), QStringLiteral("push"), got});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("ACHTUNG: Parametrierung nicht erfolgreich!"))) << r.Err.toStdString();
  // The edited value was meant to go out; the device refused it, so nothing counts as sent.
  const QString edited = Data.filePath("edited.xml");
  ASSERT_EQ(Cli({QStringLiteral("para"), QStringLiteral("set"), got, QStringLiteral("218103808=55"), QStringLiteral("--out"), edited}).Exit, 0);
  r = Cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("push"), edited});
  EXPECT_EQ(r.Exit, 3);
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-push")));
  EXPECT_EQ(doc.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(), 3);
  EXPECT_FALSE(doc.value(QStringLiteral("sent")).toBool());
  ASSERT_EQ(doc.value(QStringLiteral("changes")).toArray().size(), 1) << r.Out.toStdString();
  EXPECT_TRUE(doc.value(QStringLiteral("changes")).toArray().at(0).toObject().value(QStringLiteral("included")).toBool());
  EXPECT_FALSE(doc.value(QStringLiteral("changes")).toArray().at(0).toObject().value(QStringLiteral("sent")).toBool());
}

// Every offline command on the sample set and on a generated set of about
// 20 MB (made at test time, never stored).
TEST(CliPara, SampleAndLargeSets) {
  const QString sample = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml");
  const QString icd = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/station.icd");
  QTemporaryDir dir;
  const QString big = dir.filePath(QStringLiteral("big.xml"));
  QProcess gen;
  gen.start(QStringLiteral("python3"), {QStringLiteral(VANTA_SOURCE_DIR "/scripts/gen_sample_setup.py"), big, QStringLiteral("--scale=2000")});
  ASSERT_TRUE(gen.waitForFinished(120000));
  ASSERT_EQ(gen.exitCode(), 0) << gen.readAllStandardError().toStdString();
  ASSERT_GT(QFileInfo(big).size(), 15 * 1000 * 1000);
  auto cli = [](const QStringList& args) { return RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("1")} + args, 120000); };
  for (const QString& set : {sample, big}) {
    SCOPED_TRACE(set.toStdString());
    TRun r = cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("rows"), set, QStringLiteral("--folder"),
                  QStringLiteral("234881023"), QStringLiteral("--level"), QStringLiteral("3")});
    QJsonObject doc;
    ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
    EXPECT_EQ(doc.value(QStringLiteral("rows")).toArray().size(), 13) << "the transformer folder";
    r = cli({QStringLiteral("--json"), QStringLiteral("para"), QStringLiteral("transformer"), set});
    ASSERT_TRUE(OneDocument(r, doc));
    EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("para-transformer")));
    EXPECT_DOUBLE_EQ(doc.value(QStringLiteral("transformer")).toObject().value(QStringLiteral("voltageRatio")).toDouble(), 100.0);
    r = cli({QStringLiteral("para"), QStringLiteral("check"), set});
    EXPECT_TRUE(r.Exit == 0 || r.Exit == 4) << r.Err.toStdString();
    const QString out = dir.filePath(QStringLiteral("out.xml"));
    r = cli({QStringLiteral("para"), QStringLiteral("set"), set, QStringLiteral("33554436@50331648=ntp2"), QStringLiteral("--out"), out});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    r = cli({QStringLiteral("para"), QStringLiteral("diff"), set, out});
    EXPECT_EQ(r.Out.count(QLatin1Char('\n')), 1) << "one item differs: the id under the time group, not its twin";
    r = cli({QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("apply"), icd, set, QStringLiteral("--out"), out});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    r = cli({QStringLiteral("para"), QStringLiteral("export"), set, QStringLiteral("--format"), QStringLiteral("csv"),
             QStringLiteral("--out"), dir.filePath(QStringLiteral("p.csv"))});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  }
  TRun r = cli({QStringLiteral("para"), QStringLiteral("icd"), QStringLiteral("show"), QStringLiteral(VANTA_TEST_DATA_DIR "/station-broken.icd")});
  EXPECT_EQ(r.Exit, 1);
}

TEST_F(CliTest, ParaApplyBringsAChangeExportToTheDevice) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), got}).Exit, 0);
  const QString changes = Data.filePath("changes.json");
  const QString edited = Data.filePath("edited.xml");
  TRun r = Cli({QStringLiteral("para"), QStringLiteral("set"), got, QStringLiteral("218103808=61"), QStringLiteral("--changes"), changes,
                QStringLiteral("--out"), edited});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString exported = Data.filePath("ChangeExport.xml");
  r = Cli({QStringLiteral("para"), QStringLiteral("export"), edited, QStringLiteral("--format"), QStringLiteral("changes"),
           QStringLiteral("--changes"), changes, QStringLiteral("--out"), exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(exported).count("<parameter "), 1) << "the export holds the one change";
  r = Cli({QStringLiteral("para"), QStringLiteral("apply"), exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Nennfrequenz: 61 [50]"))) << r.Out.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Übertragung abgeschlossen")));
  const QString back = Data.filePath("back.xml");
  ASSERT_EQ(Cli({QStringLiteral("setup"), QStringLiteral("get"), back}).Exit, 0);
  EXPECT_TRUE(ReadAll(back).contains("<value>61</value>"));
  r = Cli({QStringLiteral("para"), QStringLiteral("apply"), exported});
  EXPECT_EQ(r.Out.trimmed(), QStringLiteral("Keine geänderten Daten gefunden")) << "applied already";
}

// The rows of two folders of the sample setup, checked by hand against the
// generator's tables: kinds from odd type spellings, lists and ranges that are
// no lists, limits that fall back to the kind's, a value shown with five
// decimals next to its default as stored, the level-3 caption prefix.
TEST(CliPara, RowsGoldenOutput) {
  const QString sample = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml");
  auto rows = [&](const QString& folder, const QString& level, const QString& lang) {
    return RunCli({QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("para"), QStringLiteral("rows"), sample,
                   QStringLiteral("--folder"), folder, QStringLiteral("--level"), level, QStringLiteral("--lang"), lang},
                  20000)
        .Out;
  };
  EXPECT_EQ(rows(QStringLiteral("234881023"), QStringLiteral("3"), QStringLiteral("de")),
            QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/para-rows-transformer.txt"))));
  EXPECT_EQ(rows(QStringLiteral("251658240"), QStringLiteral("1"), QStringLiteral("en")),
            QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/para-rows-odd.txt"))));
}

// ---- readout and record files ------------------------------------------------------------

TEST_F(CliTest, ReadoutFetchesEverythingResumesACutCopyAndReadsTheRecords) {
  TRun r = Cli({QStringLiteral("--json"), QStringLiteral("readout"), QStringLiteral("download"), QStringLiteral("all")}, 60000);
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("fetched").toArray().size(), 21);
  EXPECT_EQ(o.value("onDisk").toInt(), 21);
  const QString local = Data.filePath("12345678/Recorder/10min-12345678-1764892800-000.log");
  const QByteArray device = ReadAll(Device("recorder/sync/10min-12345678-1764892800-000.log"));
  ASSERT_EQ(ReadAll(local), device);

  // A copy cut in the middle is fetched from where it ends and comes out whole.
  // The edges and a hundred seeded points between them.
  QList<qsizetype> cuts{1, device.size() - 1};
  std::mt19937 rng(1205);
  for (int i = 0; i < 100; ++i) cuts << qsizetype(1 + rng() % uint32_t(device.size() - 2));
  for (qsizetype cut : cuts) {
    WriteAll(local, device.left(cut));
    r = Cli({QStringLiteral("readout"), QStringLiteral("download"), QStringLiteral("sync/10min-12345678-1764892800-000.log")});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Exists %1/%2 - Resuming").arg(cut).arg(device.size()))) << r.Out.toStdString();
    EXPECT_EQ(QCryptographicHash::hash(ReadAll(local), QCryptographicHash::Sha256),
              QCryptographicHash::hash(device, QCryptographicHash::Sha256))
        << cut;
  }
  r = Cli({QStringLiteral("readout"), QStringLiteral("download"), QStringLiteral("class"), QStringLiteral("10min")});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Exists %1/%1\n").arg(device.size()))) << "complete: nothing requested";
  EXPECT_FALSE(r.Out.contains(QStringLiteral(" from ")));

  r = Cli({QStringLiteral("readout"), QStringLiteral("tree"), QStringLiteral("recordings")});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("+ Variables Minutenintervall TRMS\n")));
  EXPECT_TRUE(r.Out.contains(QStringLiteral("(hidden) ")));
  EXPECT_FALSE(r.Out.contains(QStringLiteral("\n  - "))) << "every copy on disk: " << r.Out.toStdString();

  // The downloaded files read as records, locally, without a session.
  r = RunCli({QStringLiteral("record"), QStringLiteral("events"), Data.filePath("12345678/Event/12345678-1764903600-375.log")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Verletzung RCM Alarmschwelle\t05.12.2025 04:00:00.375\t--\t[]\t--\t--")))
      << r.Out.toStdString();
  r = RunCli({QStringLiteral("record"), QStringLiteral("table"), QStringLiteral("--csv"), local});
  EXPECT_EQ(r.Out.count(QLatin1Char('\n')), 121) << "a header and 120 rows";
  WriteAll(local, device.left(device.size() - 10));
  r = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("info"), local});
  ASSERT_EQ(r.Exit, 0);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("records").toInt(), 119) << "a cut file keeps its whole records";
  EXPECT_TRUE(o.value("warnings").toArray().first().toString().contains(QStringLiteral("Datei unvollständig")));
  r = RunCli({QStringLiteral("record"), QStringLiteral("info"), Data.filePath("12345678/Event")});
  EXPECT_NE(r.Exit, 0) << "a folder is no record file";
}

// ---- one store, one local time ---------------------------------------------------------------

namespace {
TRun RunCliIn(const QProcessEnvironment& env, const QStringList& args) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(VANTA_CLI_PATH), args);
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
  }
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// 2026-07-15 10:00:00.250 UTC: summer time on the simulated device (UTC+1
// with daylight saving from the last Sunday of March to that of October).
constexpr uint32_t CJulyEvent = 1784109600;

void PutJulyEvent(const QString& path, uint32_t serial = 12345678) {
  vanta::TContextHeader ctx;
  ctx.Start = {CJulyEvent, 250000000};
  ctx.End = {CJulyEvent + 1, 0};
  ctx.Channels << vanta::TRecordChannel{0x01040010u, 0, QStringLiteral("%"), QStringLiteral("Spannungseinbruch")};
  vanta::TRecordWriter w(vanta::TRecordKind::rkEvent, {serial, 3600, true, QStringLiteral("Umspannwerk Nord"), QStringLiteral("Feld 3"), QStringLiteral("Vanta Sim")}, ctx);
  w.Add(vanta::TEventRecord{0x01040010u, ctx.Start, 70.5, 0, 0.1, QStringLiteral("L1")});
  QString error;
  ASSERT_TRUE(w.Save(path, error)) << error.toStdString();
}
}  // namespace

TEST_F(CliTest, ReadoutAndOfflineShareTheDefaultStore) {
  // Neither run names a folder: both use the per-user store, which the
  // desktop host reads too.
  QTemporaryDir home;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HOME"), home.path());
  env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("share")));
  TRun r = RunCliIn(env, {QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--quiet"), QStringLiteral("readout"),
                          QStringLiteral("download"), QStringLiteral("all")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(QDir(home.filePath(QStringLiteral("share/vanta-host/data/12345678/Event"))).exists());
  r = RunCliIn(env, {QStringLiteral("--json"), QStringLiteral("offline"), QStringLiteral("scan")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  const QJsonArray stations = o.value("stations").toArray();
  ASSERT_EQ(stations.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(stations[0].toObject().value("station").toString(), QStringLiteral("12345678"));
  EXPECT_EQ(stations[0].toObject().value("events").toInt(), 7);
}

TEST_F(CliTest, ASummerEventShowsTheTreesTimeOnlineAndOffline) {
  const QString name = QStringLiteral("12345678-%1-250.log").arg(CJulyEvent);
  PutJulyEvent(Device(QStringLiteral("events/") + name));
  // The readout tree: the device's own rules put the event at 12:00 local time.
  TRun r = Cli({QStringLiteral("readout"), QStringLiteral("tree"), QStringLiteral("events")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString treeLine = r.Out.split(QLatin1Char('\n')).filter(name).value(0);
  EXPECT_TRUE(treeLine.contains(QStringLiteral("- 15.07.2026 12:00:00 - "))) << r.Out.toStdString();
  r = Cli({QStringLiteral("readout"), QStringLiteral("download"), name});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString local = Data.filePath(QStringLiteral("12345678/Event/") + name);
  ASSERT_TRUE(QFileInfo::exists(local));
  EXPECT_TRUE(QFileInfo::exists(Data.filePath(QStringLiteral("12345678/device-time.ini"))))
      << "the device's time settings are kept beside its files";
  // Offline, without the device: the event table and the store's tree say the same.
  r = RunCli({QStringLiteral("--json"), QStringLiteral("record"), QStringLiteral("events"), local});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_TRUE(MatchesSchema(r.Out, QStringLiteral("record-events")));
  const QJsonObject event = o.value("events").toArray()[0].toObject();
  EXPECT_EQ(event.value("time").toString(), QStringLiteral("2026-07-15T12:00:00.250+02:00")) << "summer: UTC+2";
  EXPECT_EQ(event.value("texts").toObject().value("time").toString(), QStringLiteral("15.07.2026 12:00:00.250"));
  EXPECT_DOUBLE_EQ(event.value("value").toDouble(), 70.5);
  EXPECT_DOUBLE_EQ(event.value("duration").toDouble(), 0.1);
  EXPECT_EQ(event.value("unit").toString(), QStringLiteral("%"));
  EXPECT_EQ(o.value("zone").toString(), QStringLiteral("device"));
  EXPECT_FALSE(o.contains("warnings")) << r.Out.toStdString();
  r = RunCli({QStringLiteral("--data-dir"), Data.path(), QStringLiteral("offline"), QStringLiteral("tree"), QStringLiteral("12345678")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("15.07.2026 12:00:00 - 15.07.2026 12:00:01 - 0Kb"))) << r.Out.toStdString();
  // The same file away from its station knows only its offset, and says so.
  const QString loose = Data.filePath(QStringLiteral("loose/") + name);
  QDir().mkpath(QFileInfo(loose).absolutePath());
  ASSERT_TRUE(QFile::copy(local, loose));
  r = RunCli({QStringLiteral("record"), QStringLiteral("events"), loose});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains(QStringLiteral("\t15.07.2026 11:00:00.250\t"))) << r.Out.toStdString();
  EXPECT_TRUE(r.Err.contains(QStringLiteral("UTC+01:00"))) << r.Err.toStdString();
}

namespace {
// The COMTRADE files of `record` as the independent reader sees them; the
// reader itself refuses a row whose sample number or time stamp is wrong.
::testing::AssertionResult ReadComtrade(const QString& record, const QString& dir, bool binary, QJsonObject& doc) {
  QStringList args{QStringLiteral("record"), QStringLiteral("export"), record, QStringLiteral("--comtrade"), dir};
  if (binary) args << QStringLiteral("--binary");
  const TRun r = RunCli(args);
  if (r.Exit != 0) return ::testing::AssertionFailure() << "export: " << r.Err.toStdString();
  QProcess py;
  py.start(QStringLiteral("python3"), {QStringLiteral(VANTA_SOURCE_DIR "/tests/tools/comtrade_read.py"),
                                       QDir(dir).filePath(QFileInfo(record).completeBaseName() + QStringLiteral(".cfg"))});
  if (!py.waitForFinished(60000)) return ::testing::AssertionFailure() << "the reader did not finish";
  if (py.exitCode() != 0) return ::testing::AssertionFailure() << "reader: " << py.readAllStandardError().toStdString();
  doc = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
  return ::testing::AssertionSuccess();
}
}  // namespace

TEST_F(CliTest, DisturbanceRecordsOpenInAnIndependentComtradeReader) {
  const QString osc = QDir(Device("recorder/rec")).entryInfoList({QStringLiteral("Osc-*.log")}).value(0).filePath();
  ASSERT_FALSE(osc.isEmpty());
  vanta::TRecordFile rec;
  QString error;
  ASSERT_TRUE(vanta::ReadRecordFile(osc, rec, error)) << error.toStdString();
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "ascii");
    QJsonObject doc;
    ASSERT_TRUE(ReadComtrade(osc, Data.filePath(binary ? "ct-bin" : "ct-ascii"), binary, doc));
    EXPECT_EQ(doc.value("rate").toDouble(), 12800.0);
    // Sample 512 at 511 / 12800 s, to the microsecond.
    EXPECT_EQ(doc.value("lastStampUs").toDouble(), 39922.0);
    EXPECT_EQ(doc.value("format").toString(), binary ? QStringLiteral("BINARY") : QStringLiteral("ASCII"));
    const QJsonArray channels = doc.value("channels").toArray();
    ASSERT_EQ(channels.size(), 6);
    EXPECT_EQ(channels[3].toArray()[0].toString(), QStringLiteral("i L1"));
    const QJsonArray samples = doc.value("samples").toArray();
    ASSERT_EQ(samples.size(), 512);
    // Every sample within half a step of the 16-bit scaling of its channel.
    double worst = 0;
    for (int s = 0; s < 512; ++s)
      for (int c = 0; c < 6; ++c) {
        const double peak = 340.0;  // above the largest magnitude of any channel
        const double got = samples[s].toArray()[c].toDouble();
        worst = std::max(worst, std::fabs(got - double(rec.Waves[0].Channels[c][s])) / peak);
      }
    EXPECT_LT(worst, 1.0 / 32767) << "relative to the range";
  }
  // A record longer than the 32-bit microsecond stamps reach (71 minutes)
  // keeps its times: 5000 samples at one per second.
  vanta::TContextHeader ctx;
  ctx.Class = QStringLiteral("Hp");
  ctx.SampleRate = 1;
  ctx.Start = {1764896400, 0};
  ctx.Channels << vanta::TRecordChannel{0x05000000u, 0, QStringLiteral("V"), QStringLiteral("u L1")};
  vanta::TRecordWriter slow(vanta::TRecordKind::rkHp, {12345678, 3600, true, QStringLiteral("Nord"), {}, QStringLiteral("Sim")}, ctx);
  vanta::TWaveRecord wave{ctx.Start, 5000, {QList<float>(5000)}};
  for (int i = 0; i < 5000; ++i) wave.Channels[0][i] = float(230.0 * std::sin(i / 10.0));
  slow.Add(wave);
  const QString longRecord = Data.filePath("Hp-12345678-1764896400-000.log");
  ASSERT_TRUE(slow.Save(longRecord, error)) << error.toStdString();
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "long, binary" : "long, ascii");
    QJsonObject doc;
    ASSERT_TRUE(ReadComtrade(longRecord, Data.filePath(binary ? "ct-long-bin" : "ct-long-ascii"), binary, doc));
    EXPECT_EQ(doc.value("samples").toArray().size(), 5000);
    EXPECT_EQ(doc.value("lastStampUs").toDouble(), 4999e6);
  }
  // The CSV has a header and one line per sample.
  TRun r = RunCli({QStringLiteral("record"), QStringLiteral("export"), osc, QStringLiteral("--csv"), Data.filePath("osc.csv")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Data.filePath("osc.csv")).count('\n'), 513);
  r = RunCli({QStringLiteral("record"), QStringLiteral("export"), Device("events/12345678-1764903600-375.log"),
              QStringLiteral("--comtrade"), Data.filePath("no")});
  EXPECT_NE(r.Exit, 0) << "an event file has no waveform";
  EXPECT_TRUE(r.Err.contains(QStringLiteral("COMTRADE only for"))) << r.Err.toStdString();
}

// ---- reports -------------------------------------------------------------------------------

namespace {
QString PdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!p.waitForFinished(30000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}
// A calendar week of 10-minute values: the voltage below 90 % in `low` rows,
// the frequency at 53 Hz in `offFreq` rows.
QString Week(const QString& dir, uint32_t sn, int low, int offFreq) {
  vanta::TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.IntervalMs = 600000;
  ctx.Channels = {{1, 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L1")},
                  {2, 0x0000FFFF, QStringLiteral("Hz"), QStringLiteral("Frequenz")},
                  {3, 0x0200FFFF, QStringLiteral("%"), QStringLiteral("THD U L1")}};
  vanta::TRecordWriter w(vanta::TRecordKind::rkRecording,
                         {sn, 3600, false, QStringLiteral("Nord"), QStringLiteral("F"), QStringLiteral("Geraet %1").arg(sn)}, ctx);
  const uint32_t monday = 1764547200;  // Monday 2025-12-01 00:00 UTC
  for (int i = 0; i < 1008; ++i)
    w.Add(vanta::TRecRow{{monday + uint32_t(i) * 600, 0},
                         {i < low ? 200.0f : 230.0f, i >= 1008 - offFreq ? 53.0f : 50.0f, 3.0f}});
  const QString path = QDir(dir).filePath(QStringLiteral("10min-%1-%2-000.log").arg(sn).arg(monday));
  QString error;
  w.Save(path, error);
  return path;
}
}  // namespace

// Every kind of report refuses files of two stations: a report over both
// would mix their figures. Nothing is left behind.
class CliReportTwoStations : public ::testing::TestWithParam<const char*> {};

TEST_P(CliReportTwoStations, AreRefusedWithoutALeftover) {
  QTemporaryDir dir;
  const QString a = Week(dir.path(), 12345678, 0, 0);
  const QString b = Week(dir.path(), 87654321, 0, 0);
  const QString pdf = dir.filePath(QStringLiteral("mixed.pdf"));
  const TRun r = RunCli({QStringLiteral("report"), QString::fromLatin1(GetParam()), a, b, QStringLiteral("--pdf"), pdf});
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("Dateien verschiedener Stationen: 12345678 und 87654321"))) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_FALSE(QFile::exists(pdf + QStringLiteral(".part")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "only the two inputs";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CliReportTwoStations,
                         ::testing::Values("en50160", "rcm", "harmonics-u", "harmonics-i", "interharmonics", "intermediate",
                                           "bands-u", "bands-i"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           std::string n = i.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

TEST(CliReport, En50160VerdictsAndStatisticsFromKnownViolations) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) GTEST_SKIP() << "pdftotext missing";
  QTemporaryDir dir;
  // 101 of 1008 values low: 89.98 % within ±10 % (fails 95 %); 3 at 53 Hz: 99.70 % within 49.5-50.5 Hz
  // (passes 99.5 %) and 99.70 % within 47-52 Hz (fails 100 %).
  const QString bad = Week(dir.path(), 12345678, 101, 3);
  TRun r = RunCli({QStringLiteral("report"), QStringLiteral("en50160"), bad, QStringLiteral("--pdf"), dir.filePath("bad.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QString text = PdfText(dir.filePath("bad.pdf"));
  EXPECT_TRUE(text.contains(QStringLiteral("1008"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("89.98"))) << text.toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("Woche ab 01.12.2025\\s+1008\\s+99.70\\s+99.70\\s+89.98\\s+100.00\\s+100.00\\s+nicht bestanden"))
                  .match(text)
                  .hasMatch())
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Gesamtergebnis: nicht bestanden")));
  // The percentile table: 5 % and 95 % values, extremes and the weeks within the limit.
  EXPECT_TRUE(QRegularExpression(QStringLiteral("U L1\\s+±10 % Un\\s+200.00\\s+230.00\\s+200.00\\s+230.00\\s+0/1\\s+nicht bestanden"))
                  .match(text)
                  .hasMatch())
      << text.toStdString();
  const QString good = Week(dir.path(), 12345678 + 1, 0, 0);
  r = RunCli({QStringLiteral("report"), QStringLiteral("en50160"), good, QStringLiteral("--pdf"), dir.filePath("good.pdf")});
  EXPECT_TRUE(PdfText(dir.filePath("good.pdf")).contains(QStringLiteral("Gesamtergebnis: bestanden")));
  // Two stations in one report are refused; nothing is left behind.
  r = RunCli({QStringLiteral("report"), QStringLiteral("en50160"), bad, good, QStringLiteral("--pdf"), dir.filePath("mixed.pdf")});
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("verschiedener Stationen"))) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("mixed.pdf")));
  EXPECT_FALSE(QFile::exists(dir.filePath("mixed.pdf.part")));

  // Statistics take only the channels of their kind: voltage harmonics here.
  {
    vanta::TContextHeader ctx;
    ctx.Class = QStringLiteral("10min");
    ctx.Channels = {{1, 0, QStringLiteral("V"), QStringLiteral("U L1")},
                    {2, 0, QStringLiteral("%"), QStringLiteral("H3 U L1")},
                    {3, 0, QStringLiteral("%"), QStringLiteral("H5 U L1")},
                    {4, 0, QStringLiteral("%"), QStringLiteral("H5 I L1")}};
    vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx);
    // H5: 1..20 %: maximum 20, 95 % value (nearest rank of 20) 19, mean 10.5.
    for (int i = 1; i <= 20; ++i) w.Add(vanta::TRecRow{{1764547200u + uint32_t(i) * 600, 0}, {230.0f, 1.0f, float(i), 50.0f}});
    QString error;
    ASSERT_TRUE(w.Save(dir.filePath("harm.log"), error));
  }
  r = RunCli({QStringLiteral("report"), QStringLiteral("harmonics-u"), dir.filePath("harm.log"), QStringLiteral("--pdf"), dir.filePath("h.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  text = PdfText(dir.filePath("h.pdf"));
  EXPECT_TRUE(text.contains(QStringLiteral("Statistik Harmonische Spannung")));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("H5 U L1\\s+20.00\\s+19.00\\s+10.50")).match(text).hasMatch()) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("H3 U L1")));
  EXPECT_FALSE(text.contains(QStringLiteral("H5 I L1"))) << "a current is no voltage harmonic";
  r = RunCli({QStringLiteral("report"), QStringLiteral("bands-i"), dir.filePath("harm.log"), QStringLiteral("--pdf"), dir.filePath("b.pdf")});
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(r.Err.contains(QStringLiteral("keine passenden Kanäle"))) << r.Err.toStdString();

  // Residual current over its reference in two rows.
  {
    vanta::TContextHeader ctx;
    ctx.Class = QStringLiteral("10min");
    ctx.Channels = {{1, 0x1400FFFF, QStringLiteral("iR"), QStringLiteral("Differenzstrom")},
                    {2, 0x1400FFFF, QStringLiteral("iRR"), QStringLiteral("Bezug")}};
    vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx);
    for (int i = 0; i < 10; ++i) w.Add(vanta::TRecRow{{1764547200u + uint32_t(i) * 600, 0}, {i == 3 || i == 7 ? 45.0f : 20.0f, 30.0f}});
    QString error;
    ASSERT_TRUE(w.Save(dir.filePath("rcm.log"), error));
  }
  r = RunCli({QStringLiteral("report"), QStringLiteral("rcm"), dir.filePath("rcm.log"), QStringLiteral("--pdf"), dir.filePath("rcm.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  text = PdfText(dir.filePath("rcm.pdf"));
  EXPECT_TRUE(text.contains(QStringLiteral("Maximum: 45.00 mA"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Überschreitungen: 2")));
  r = RunCli({QStringLiteral("report"), QStringLiteral("rcm"), bad, QStringLiteral("--pdf"), dir.filePath("none.pdf")});
  EXPECT_NE(r.Exit, 0) << "a file without residual currents";

  QFile dict(dir.filePath("dict.json"));
  ASSERT_TRUE(dict.open(QIODevice::WriteOnly));
  dict.write(R"({"Seriennummer": "12345678", "Prüfer": "anna", "Abweichung U1": "0.02 %"})");
  dict.close();
  r = RunCli({QStringLiteral("report"), QStringLiteral("calibration"), QStringLiteral("--dict"), dict.fileName(),
              QStringLiteral("--pdf"), dir.filePath("cal.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  text = PdfText(dir.filePath("cal.pdf"));
  EXPECT_TRUE(text.contains(QStringLiteral("Kalibrierzerti"))) << "(the fi may come out as a ligature)";
  EXPECT_TRUE(text.contains(QStringLiteral("Prüfer")) && text.contains(QStringLiteral("anna")));
}

namespace vanta::test::cli {
// A session recorded with --trace plays back from the simulator's replay
// mode: the same command gets the same answers without the device.
TEST_F(CliTest, ATracedSessionReplaysWithoutTheDevice) {
  const QString trace = Data.filePath(QStringLiteral("session.pcapng"));
  const TRun live = Cli({QStringLiteral("--trace"), trace, QStringLiteral("--json"), QStringLiteral("status")});
  ASSERT_EQ(live.Exit, 0) << live.Err.toStdString();
  Sim.Stop();
  TSimProcess replay;
  ASSERT_TRUE(replay.Start({QStringLiteral("--replay"), trace}));
  QTemporaryDir other;
  const TRun again = RunCli({QStringLiteral("--port"), QString::number(replay.Port), QStringLiteral("--data-dir"), other.path(),
                             QStringLiteral("--json"), QStringLiteral("status")});
  EXPECT_EQ(again.Exit, 0) << again.Err.toStdString();
  EXPECT_EQ(again.Out, live.Out);
  EXPECT_FALSE(QString::fromUtf8(replay.Stderr()).contains(QLatin1String("the trace has")));
  // A trace that is no trace is refused at start.
  WriteAll(Data.filePath(QStringLiteral("junk.pcapng")), "junk");
  TSimProcess refused;
  EXPECT_FALSE(refused.Start({QStringLiteral("--replay"), Data.filePath(QStringLiteral("junk.pcapng"))}));
}
}  // namespace vanta::test::cli
