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
#include <cstdio>
#include <cstring>
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

TEST_F(CliTest, IdentifyGoldenOutputAndJson) {
  TRun r = Cli({"identify"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QStringList lines = r.Out.split('\n', Qt::SkipEmptyParts);
  const QString clock = lines.filter("clock:").value(0);
  lines.removeAll(clock);
  EXPECT_EQ(lines.join('\n') + '\n', QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/identify.txt"))));
  EXPECT_LT(qAbs(QDateTime::fromString(clock.section(' ', -1), Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())), 10);

  QJsonObject o;
  ASSERT_TRUE(Document(Cli({"--json", "identify"}), 0, "identify", o)) << "which also names every key it needs";
  EXPECT_EQ(o.value("serial").toInteger(), 12345678);
  EXPECT_EQ(o.value("article").toInteger(), 1197500);
  // The device's clock in its own zone (UTC+1, with summer time): the same
  // instant as the computer's clock, with the device's offset.
  EXPECT_EQ(o.value("utcOffset").toInt(), 3600);
  const QString zoned = o.value("clock").toString();
  EXPECT_TRUE(zoned.endsWith("+01:00") || zoned.endsWith("+02:00")) << zoned.toStdString();
  EXPECT_LT(qAbs(QDateTime::fromString(zoned, Qt::ISODate).secsTo(QDateTime::currentDateTimeUtc())), 10) << zoned.toStdString();
  EXPECT_EQ(o.value("deviceType").toString(), "devtypVanta");
  EXPECT_EQ(o.value("firmware").toString(), "2.10.0");
}

TEST_F(CliTest, EventListGoldenOutput) {
  TRun r = Cli({"events", "list"});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out, QString::fromUtf8(ReadAll(VANTA_GOLDEN_DIR "/events-list.txt")));
  r = Cli({"events", "list", "--json"});
  ASSERT_EQ(r.Exit, 0);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o, QJsonDocument::fromJson(ReadAll(VANTA_GOLDEN_DIR "/events-list.json")).object());
}

TEST_F(CliTest, SetupRoundTripInEveryPacking) {
  const QString mine = Data.filePath("mine.xml");
  for (const char* packing : {"--plain", "--gz", "--tgz"}) {
    SCOPED_TRACE(packing);
    const QByteArray xml = QByteArray("<?xml version=\"1.0\"?><setup packing=\"") + packing + "\"><p id=\"1\"/></setup>\n";
    WriteAll(mine, xml);
    TRun r = Cli({QLatin1String(packing), "setup", "put", mine});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(ReadAll(Device("setup/setup.xml")), xml);
    const QString back = Data.filePath("back.xml");
    r = Cli({QLatin1String(packing), "setup", "get", back});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(ReadAll(back), xml);
  }
  // A broken document is refused and the stored one stays.
  const QByteArray stored = ReadAll(Device("setup/setup.xml"));
  WriteAll(mine, "<setup><broken>");
  const TRun r = Cli({"setup", "put", mine});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains("NAK 30"));
  EXPECT_EQ(ReadAll(Device("setup/setup.xml")), stored);
}

TEST_F(CliTest, InterruptedDownloadResumesToAnIdenticalFile) {
  QByteArray big;
  for (int i = 0; i < 300000; ++i) big.append(char((int64_t(i) * 7919) % 251));
  WriteAll(Device("recorder/10min/10min-0-1764999000-0002.rec"), big);
  const QString name = "10min/10min-0-1764999000-0002.rec";
  // What an earlier, cut-off transfer left behind.
  const QString local = Data.filePath("12345678/Recorder/10min-0-1764999000-0002.rec");
  WriteAll(local, big.left(123457));
  TRun r = Cli({"recordings", "get", name});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("resumed at 123457"));
  EXPECT_EQ(QCryptographicHash::hash(ReadAll(local), QCryptographicHash::Sha256),
            QCryptographicHash::hash(big, QCryptographicHash::Sha256));
  r = Cli({"recordings", "get", name});
  EXPECT_TRUE(r.Out.contains("already complete"));
  // Fetching it twice appends only what is missing: nothing.
  EXPECT_EQ(ReadAll(local).size(), big.size());
}

class CliCutTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--fault", "close-after=60000"}; }
};

TEST_F(CliCutTest, DeviceClosingMidAnswerEndsTheWaitAtOnce) {
  // A long Lua output that the device cuts off half-way: the client must not
  // sit out its whole time-out.
  QElapsedTimer t;
  t.start();
  const TRun r = Cli({"--timeout", "20", "lua", "print(string.rep('x', 200000))"}, 30000);
  EXPECT_LT(t.elapsed(), 8000) << "ended by the lost connection, not by the 20 s time-out";
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(r.Err.contains(vanta::ConnectionLostText())) << r.Err.toStdString();
}

TEST_F(CliTest, StreamRecordsAndRemoval) {
  TRun r = Cli({"stream", "panel", "--count", "2"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.count("0x04ffffff"), 2);
  EXPECT_EQ(r.Out.count("2320 bytes"), 2);
  QJsonObject o;
  ASSERT_TRUE(Document(Cli({"--json", "stream", "harmonics", "--count", "2"}), 0, "stream-document", o));
  const QJsonArray records = o.value("records").toArray();
  ASSERT_EQ(records.size(), 2);
  for (const QJsonValue& rec : records) {
    EXPECT_EQ(rec.toObject().value("object").toInteger(), 0x01ffffff);
    EXPECT_TRUE(rec.toObject().value("time").toString().contains(QLatin1Char('T')));
    EXPECT_EQ(rec.toObject().value("length").toInt(), 6052);
    EXPECT_EQ(rec.toObject().value("bytes").toString().size(), 6052 * 2);
  }
  r = Cli({"events", "rm", "--all"});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_TRUE(QDir(Device("events")).isEmpty());
}

TEST_F(CliTest, NtpTunnelAnswersAreAcceptedByTheDevice) {
  const TRun r = Cli({"ntp", "--seconds", "4"});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_TRUE(r.Out.contains("answered a time request"));
  const TRun stat = Cli({"lua", "local s = uti.stat().ntpTunnel print(s.good, s.bad)"});
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
    if (HasFatalFailure()) return;
    FtpPort = StartFtp(Ftp, {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "{port}", "-d", Sim.Root(), "-w"});
    if (FtpPort == 0) GTEST_SKIP() << "no FTP server (python3-pyftpdlib): " << Ftp.readAll().toStdString();
  }
  void TearDown() override { vanta::test::StopProcess(Ftp); }
  QStringList FtpArgs(const QStringList& more) {
    return QStringList{"--ftp", "--ftp-port", QString::number(FtpPort)} + more;
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
  u.FIP = "127.0.0.1";
  u.FFtpPort = FtpPort;
  const QString local = Data.filePath("ftp-down.evt");
  ASSERT_TRUE(u.GetFTPFile("/mnt/flashdrive0/data/events/EVT-1765000100-0.evt", local, false, false));
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
  ASSERT_TRUE(u.SendFTPFiles({local}, "/ramdrive0"));
  ASSERT_FALSE(u.Work.empty());
  EXPECT_EQ(u.Work.front(), std::make_tuple(TWorkMode::wmWrite, size, TWorkStatus::WorkBegin));
  EXPECT_EQ(std::get<1>(u.Work[u.Work.size() - 2]), size) << "the last progress is the whole file";
  EXPECT_EQ(QFileInfo(Sim.Root() + "/ramdrive0/ftp-down.evt").size(), size);
}

TEST_F(CliFtpTest, SetupAndEventsOverFtp) {
  const QString back = Data.filePath("ftp-setup.xml");
  TRun r = Cli(FtpArgs({"setup", "get", back}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(back), ReadAll(Device("setup/setup.xml")));
  const QString mine = Data.filePath("mine.xml");
  WriteAll(mine, "<setup><via-ftp/></setup>");
  r = Cli(FtpArgs({"--tgz", "setup", "put", mine}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Device("setup/setup.xml")), QByteArray("<setup><via-ftp/></setup>"));
  r = Cli(FtpArgs({"events", "get", "12345678-1764903600-375.log"}));
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Data.filePath("12345678/Event/12345678-1764903600-375.log")), ReadAll(Device("events/12345678-1764903600-375.log")));
}

// ---- the progress bar, without a terminal ----------------------------------

TEST(CliProgress, SizesInBinaryUnitsWithOneDecimal) {
  EXPECT_EQ(TProgress::FormatSize(0), "0 B");
  EXPECT_EQ(TProgress::FormatSize(1023), "1023 B");
  EXPECT_EQ(TProgress::FormatSize(1024), "1.0 KiB");
  EXPECT_EQ(TProgress::FormatSize(1536), "1.5 KiB");
  EXPECT_EQ(TProgress::FormatSize(3565158), "3.4 MiB");
  EXPECT_EQ(TProgress::FormatSize(int64_t(5) << 30), "5.0 GiB");
  // Just below a unit it reads as the next unit, not as "1024.0 KiB".
  EXPECT_EQ(TProgress::FormatSize(1048575), "1.0 MiB");
  EXPECT_EQ(TProgress::FormatSize(-5), "0 B");
}

TEST(CliProgress, LineShowsDoneTotalAndPercent) {
  EXPECT_EQ(TProgress::FormatLine("events/x.log", 1258291, 3565158), "  events/x.log  1.2 MiB / 3.4 MiB  35%");
  EXPECT_EQ(TProgress::FormatLine("setup", 0, 2048), "  setup  0 B / 2.0 KiB  0%");
  // Not 100% before the last byte, and never more.
  EXPECT_TRUE(TProgress::FormatLine("d", 999, 1000).endsWith("  99%"));
  EXPECT_TRUE(TProgress::FormatLine("d", 1000, 1000).endsWith("  100%"));
  EXPECT_TRUE(TProgress::FormatLine("d", 5000, 1000).endsWith("  100%"));
}

TEST(CliProgress, UnknownTotalShowsOnlyTheBytesSoFar) {
  EXPECT_EQ(TProgress::FormatLine("devlog", 512, 0), "  devlog  512 B");
  EXPECT_EQ(TProgress::FormatLine("devlog", 0, 0), "  devlog  0 B");
}

TEST(CliProgress, LongLabelLosesItsFrontToFitTheTerminal) {
  const QString label = "recordings/10min/10min-0-1764999000-0002.rec";
  const QString line = TProgress::FormatLine(label, 1024, 2048, 40);
  EXPECT_LT(line.size(), 40) << "the last column stays free, else the terminal wraps";
  EXPECT_TRUE(line.endsWith("-0002.rec  1.0 KiB / 2.0 KiB  50%")) << line.toStdString();
  EXPECT_TRUE(line.startsWith("  ...")) << line.toStdString();
  // Wide enough: the label stays whole.
  EXPECT_EQ(TProgress::FormatLine(label, 1024, 2048, 200), QStringLiteral("  ") + label + "  1.0 KiB / 2.0 KiB  50%");
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
    p.Start("events/a.evt");
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
    p.Start("display");
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
      {{}, "vanta-cli: no command given"},
      {{"bogus"}, "vanta-cli: unknown command 'bogus'"},
      {{"--bogus", "identify"}, "vanta-cli: unknown option '--bogus'"},
      {{"identify", "--bogus=1"}, "vanta-cli: unknown option '--bogus'"},
      {{"identify", "-x"}, "vanta-cli: unknown option '-x'"},
      {{"identify", "--json=yes"}, "vanta-cli: option '--json' takes no value"},
      {{"identify", "--timeout"}, "vanta-cli: option '--timeout' needs a value"},
      {{"identify", "now"}, "vanta-cli: identify: unexpected argument 'now' (usage: vanta-cli identify)"},
      {{"lua"}, "vanta-cli: lua: missing STATEMENT (usage: vanta-cli lua STATEMENT)"},
      {{"lua", "print(1)", "print(2)"},
       "vanta-cli: lua: unexpected argument 'print(2)' (usage: vanta-cli lua STATEMENT)"},
      {{"events"}, "vanta-cli: events: missing list, get or rm (usage: vanta-cli events list [--csv] |"},
      {{"events", "list", "--all"}, "vanta-cli: events: --all goes with get or rm"},
      {{"recordings", "get"}, "vanta-cli: recordings: missing NAME or --all"},
      {{"events", "rm", "a.evt", "--all"}, "vanta-cli: events: either NAME... or --all"},
      {{"setup", "fetch", "x.xml"}, "vanta-cli: setup: 'fetch' is neither get nor put"},
      {{"setup", "get"}, "vanta-cli: setup: missing FILE"},
      {{"scratchpad", "get", "a.txt"}, "vanta-cli: scratchpad: missing FILE"},
      {{"display"}, "vanta-cli: display: missing FILE.png"},
      {{"stream", "panel", "--count", "0"}, "vanta-cli: stream: --count needs a whole number of at least 1"},
      {{"stream", "nonsense"}, "vanta-cli: stream: unknown OBJECT 'nonsense'"},
      // A command's own option means nothing before the command.
      {{"--count", "2", "stream", "panel"}, "vanta-cli: unknown option '--count'"},
      {{"ntp", "--seconds", "soon"}, "vanta-cli: ntp: --seconds needs a whole number of at least 1"},
      {{"--port", "70000", "identify"}, "vanta-cli: --port needs a port number from 1 to 65535"},
      {{"identify", "--timeout", "0"}, "vanta-cli: --timeout needs a whole number of seconds"},
      {{"--gz", "--tgz", "setup", "get", "x.xml"}, "vanta-cli: --gz, --tgz and --plain exclude each other"},
      {{"--ssh", "identify"}, "vanta-cli: --ssh needs --user and --password"},
      {{"--password", "x", "identify"}, "vanta-cli: --password needs --user"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args.join(' ').toStdString());
    const TRun r = RunCli(QStringList{"--data-dir", data.path()} + c.Args);
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
    EXPECT_TRUE(r.Out.startsWith("Usage: ")) << r.Out.toStdString();
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
  const TRun r = RunCli({"--json", "--version"});
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
  const QStringList at{"--port", QString::number(device.serverPort()), "--data-dir", data.path()};
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
    EXPECT_FALSE(r.Err.contains("Verbindung")) << r.Err.toStdString();
    EXPECT_FALSE(device.waitForNewConnection(200)) << "connected";
  }
  // The local file is checked before connecting, and told without the hint.
  const TRun r = RunCli(at + QStringList{"setup", "put", data.filePath("missing.xml")});
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: no such file: %1\n").arg(data.filePath("missing.xml")));
  // The same listener does see a command that needs the device.
  const TRun needs = RunCli(at + QStringList{"--timeout", "1", "identify"});
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
    EXPECT_EQ(r.Out, "2\n");
  }
  // Options after the command take effect: output format, and a data folder
  // that overrides the one given before.
  TRun r = Cli({"stream", "--count", "2", "panel", "--json"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("records").toArray().size(), 2);
  QTemporaryDir other;
  r = Cli({"events", "get", "12345678-1764903600-375.log", "--data-dir", other.path()});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(QFileInfo(other.filePath("12345678/Event/12345678-1764903600-375.log")).size(), 149);
  EXPECT_FALSE(QFile::exists(Data.filePath("12345678/Event/12345678-1764903600-375.log")));
}

TEST_F(CliTest, DoubleDashEndsTheOptions) {
  const QString dashed = "--[[ starts with a dash ]] print(7)";
  TRun r = Cli({"lua", "--", dashed});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out, "7\n");
  // Without it the statement reads as an option, and the line says what to do.
  r = Cli({"lua", dashed});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.startsWith("vanta-cli: unknown option '--[[ starts with a dash ]] print(7)' (put -- before"))
      << r.Err.toStdString();
  // After it, an option is just another argument.
  r = Cli({"lua", "--", "print(3)", "--json"});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("unexpected argument '--json'")) << r.Err.toStdString();
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
    const TRun r = Cli(QStringList{"--json"} + args);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    QJsonObject o;
    EXPECT_TRUE(OneDocument(r, o));
    EXPECT_FALSE(o.contains("error"));
    EXPECT_FALSE(o.contains("warnings"));
    // The other documents' schemas are checked where their values are.
    if (args.join(' ') == "recordings list") {
      EXPECT_TRUE(MatchesSchema(r.Out, "recordings-list"));
    }
    docs.insert(args.join(' '), o);
  }
  // What used to be a line per item is one array now.
  const QJsonArray got = docs.value("events get --all").value("events").toArray();
  ASSERT_EQ(got.size(), 7);
  for (const QJsonValue& v : got) {
    const QJsonObject f = v.toObject();
    EXPECT_EQ(f.value("result").toString(), "downloaded");
    EXPECT_EQ(ReadAll(f.value("file").toString()), ReadAll(Device("events/" + f.value("name").toString())));
  }
  EXPECT_EQ(docs.value("stream panel --count 3").value("records").toArray().size(), 3);
  EXPECT_EQ(docs.value("lua print(1) print(2)").value("output").toString(), "1\n2\n");
  // The same entries as the text listing.
  const QStringList text = Cli({"recordings", "list"}).Out.split('\n', Qt::SkipEmptyParts);
  const QJsonArray listed = docs.value("recordings list").value("recordings").toArray();
  ASSERT_EQ(listed.size(), text.size());
  for (qsizetype i = 0; i < text.size(); ++i)
    EXPECT_TRUE(text[i].startsWith(listed[i].toObject().value("path").toString())) << text[i].toStdString();
}

TEST_F(CliTest, StreamFollowPrintsALinePerRecordUntilTheCount) {
  const TRun r = Cli({"--json", "stream", "panel", "--count", "3", "--follow"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << r.Out.toStdString();
  EXPECT_TRUE(MatchesSchema(r.Out, "stream", true));
  for (const QString& line : lines) {
    const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
    EXPECT_EQ(o.value("schemaVersion").toInt(), 1);
    EXPECT_EQ(o.value("object").toInteger(), 0x04ffffff);
    EXPECT_EQ(o.value("length").toInt(), 2320);
  }
}

TEST_F(CliTest, StreamFollowWithoutACountEndsCleanlyOnCtrlC) {
  // Lines come while the run goes on: two of them, then Ctrl-C.
  bool twoLines = false;
  const TRun r = InterruptWhen(At() + QStringList{"--json", "stream", "panel", "--follow"},
                               [](const QByteArray& out) { return out.count('\n') >= 2; }, twoLines);
  ASSERT_TRUE(twoLines) << r.Out.toStdString();
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.endsWith('\n'));
  EXPECT_TRUE(MatchesSchema(r.Out, "stream", true));
  EXPECT_FALSE(r.Out.contains("\"error\"")) << "Ctrl-C is how such a run ends";
}

// A recording of gigabytes is read where it is asked for: its header and row
// count without the rows, the last rows without the ones before. The file is
// sparse, so the rows between are not even there to be read.
TEST(CliRecord, AHugeRecordingIsReadWhereAsked) {
  QTemporaryDir dir;
  const QString path = dir.filePath("1s-12345678-1764892800-000.log");
  vanta::TContextHeader ctx;
  ctx.Class = QStringLiteral("1s");
  ctx.Start = {1764892800, 0};
  ctx.Channels = {{1, 0, QStringLiteral("V"), QStringLiteral("U L1")}, {2, 0, QStringLiteral("A"), QStringLiteral("I L1")}};
  const QByteArray header = vanta::TRecordWriter(vanta::TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx).Bytes();
  constexpr qint64 CStride = 12 + 4 * 2, CRows = qint64(3) << 27;  // 400 million rows, 8 GB
  const auto row = [](qint64 i) {
    QByteArray b(CStride, '\0');
    const float values[2] = {float(230 + i % 7), float(i % 5)};
    const uint32_t words[3] = {uint32_t(CStride - 4), uint32_t(1764892800 + i), 0};
    std::memcpy(b.data(), words, sizeof words);
    std::memcpy(b.data() + 12, values, sizeof values);
    return b;
  };
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(header);
    // The first and the last page of rows (the reader takes rows a page at a time).
    for (qint64 i = 0; i < 1024; ++i) f.write(row(i));
    ASSERT_TRUE(f.seek(header.size() + (CRows - 1024) * CStride));
    for (qint64 i = CRows - 1024; i < CRows; ++i) f.write(row(i));
  }
  QElapsedTimer t;
  t.start();
  TRun r = RunCli({"--json", "record", "info", path});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "record-info", o));
  EXPECT_EQ(o.value("records").toInteger(), CRows);
  r = RunCli({"--json", "record", "table", path, "--from", "-2"});
  ASSERT_TRUE(Document(r, 0, "record-table", o));
  const QJsonArray rows = o.value("rows").toArray();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_DOUBLE_EQ(rows[1].toObject().value("U1E").toDouble(), 230 + (CRows - 1) % 7);
  EXPECT_DOUBLE_EQ(rows[0].toObject().value("I1").toDouble(), double((CRows - 2) % 5));
  r = RunCli({"record", "table", path, "--from", "1", "--count", "1", "--csv"});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 2) << "the heading and row 1: " << r.Out.toStdString();
  EXPECT_TRUE(r.Out.contains(",231,1")) << r.Out.toStdString();
  EXPECT_LT(t.elapsed(), 30000) << "nothing read the rows in between";
  // The rows between are a hole of zeros: told, not taken as rows.
  r = RunCli({"record", "table", path, "--from", "5000", "--count", "1"});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("Offset")) << r.Err.toStdString();
  r = RunCli({"record", "table", path, "--from", "end"});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("--from needs a row number")) << r.Err.toStdString();
}

TEST_F(CliTest, RecordFilesReadAsTypedDocumentsAndCsv) {
  TRun r = Cli({"--quiet", "--json", "readout", "tree", "recordings"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "readout-tree", o));
  bool queued = false;
  for (const QJsonValue& v : o.value("queue").toArray())
    queued |= v.toObject().value("path").toString() == QLatin1String("sync/10min-12345678-1764892800-000.log") &&
              v.toObject().value("size").toInteger() == 20567;
  EXPECT_TRUE(queued) << r.Out.toStdString();
  ASSERT_EQ(Cli({"--quiet", "readout", "download", "all"}).Exit, 0);

  const QString file = Data.filePath("12345678/Recorder/10min-12345678-1764892800-000.log");
  r = RunCli({"--json", "record", "info", file});
  ASSERT_TRUE(Document(r, 0, "record-info", o));
  EXPECT_EQ(o.value("serial").toInteger(), 12345678);
  EXPECT_EQ(o.value("interval").toDouble(), 600.0) << "ten minutes, in seconds";
  EXPECT_EQ(o.value("start").toString(), "2025-12-05T01:00:00.000+01:00") << "the device's winter time";
  EXPECT_EQ(o.value("units").toObject().value("U1E").toString(), "V")
      << "keyed by the quantity's symbol, as live values are";
  EXPECT_EQ(o.value("units").toObject().value("H5U1E").toString(), "%");
  EXPECT_EQ(o.value("units").toObject().value("THDU1E").toString(), "%");
  EXPECT_EQ(o.value("units").toObject().value("I3").toString(), "A");

  r = RunCli({"--json", "record", "table", file});
  ASSERT_TRUE(Document(r, 0, "record-table", o));
  const QJsonArray rows = o.value("rows").toArray();
  ASSERT_EQ(rows.size(), 120);
  const QJsonObject row = rows[0].toObject();
  EXPECT_EQ(row.value("time").toString(), "2025-12-05T01:00:00.000+01:00");
  EXPECT_DOUBLE_EQ(row.value("U1E").toDouble(), 230.0);
  EXPECT_DOUBLE_EQ(row.value("f").toDouble(), 50.0);

  // The CSV: the same field names as the header, "." decimals, CR LF lines.
  r = RunCli({"record", "table", file, "--csv"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QStringList lines = r.Out.split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 121);
  QStringList header{"time"};
  for (const QJsonValue& c : o.value("columns").toArray()) header << c.toObject().value("key").toString();
  EXPECT_EQ(lines[0], header.join(QLatin1Char(',')));
  const QStringList cells = lines[2].split(QLatin1Char(','));
  ASSERT_EQ(cells.size(), header.size());
  EXPECT_EQ(cells[0], rows[1].toObject().value("time").toString()) << "the second row under the header";
  EXPECT_EQ(cells[1].toDouble(), rows[1].toObject().value("U1E").toDouble()) << cells[1].toStdString();
  EXPECT_TRUE(cells[1].contains(QLatin1Char('.'))) << "a decimal point whatever the locale: " << cells[1].toStdString();

  // German letters in a channel's name are spelt out in its key, not dropped.
  vanta::TContextHeader ctx;
  ctx.Class = "10min";
  ctx.Channels << vanta::TRecordChannel{1, 0x0100FFFF, "V", "Spannungsüberhöhung"};
  vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 3600, false, {}, {}, {}}, ctx);
  w.Add(vanta::TRecRow{{1764892800, 0}, {231.0f}});
  const QString umlauts = Data.filePath("umlauts.log");
  QString error;
  ASSERT_TRUE(w.Save(umlauts, error)) << error.toStdString();
  r = RunCli({"--json", "record", "info", umlauts});
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("units").toObject().value("Spannungsueberhoehung").toString(), "V") << r.Out.toStdString();
}

TEST_F(CliTest, JsonKeepsNonAsciiTextAsUtf8) {
  const QString text = "Geräte: Verbindungsabbruch, Störung";
  const TRun r = Cli({"--json", "lua", QStringLiteral("print('%1')").arg(text)});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("output").toString(), text + QLatin1Char('\n'));
  // Written as UTF-8 characters, not as \u escapes.
  EXPECT_TRUE(r.Out.contains(text)) << r.Out.toStdString();
  EXPECT_FALSE(r.Out.contains("\\u")) << r.Out.toStdString();
}

TEST_F(CliTest, JsonCarriesRefusalsInsideTheDocument) {
  // A Lua error (its non-ASCII text as it is), a refused session start, a
  // refused file: the document for the program, the message once on stderr
  // for the person, as it is without --json.
  struct TCase {
    QStringList Args;
    QString Message;  // a pattern of the error message
    const char* Absent;
  };
  const QList<TCase> cases = {
      {{"lua", "error('Gerät meldet Störung')"}, "Gerät meldet Störung", "output"},
      {{"--user", "operator", "--password", "nope", "identify"}, "keinen Zugriff", "serial"},
      {{"scratchpad", "get", "missing.txt", Data.filePath("back.txt")}, "^scratchpad get missing\\.txt: ", "file"}};
  TRun r;
  QJsonObject o;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args.join(' ').toStdString());
    r = Cli(QStringList{"--json"} + c.Args);
    ASSERT_TRUE(Document(r, 3, "error", o));
    EXPECT_EQ(r.Err, "vanta-cli: " + ErrorMessage(o) + '\n') << "the message for the person, once";
    EXPECT_EQ(o.value("error").toObject().value("code").toInt(), 3);
    EXPECT_TRUE(QRegularExpression(c.Message).match(ErrorMessage(o)).hasMatch()) << r.Out.toStdString();
    EXPECT_FALSE(o.contains(QLatin1String(c.Absent))) << r.Out.toStdString();
    const TRun text = Cli(c.Args);
    EXPECT_EQ(text.Exit, 3);
    EXPECT_TRUE(text.Err.contains(ErrorMessage(o))) << "the same message without --json: " << text.Err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(Data.filePath("back.txt"))) << "a file the device does not have leaves nothing behind";
  // Removing several names stops at the first refusal; the document tells
  // what went before it.
  r = Cli({"--json", "events", "rm", "12345678-1764903600-375.log", "no-such.evt", "12345678-1764900000-250.log"});
  EXPECT_EQ(r.Exit, 3);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("removed").toArray(), QJsonArray{"12345678-1764903600-375.log"});
  EXPECT_TRUE(ErrorMessage(o).startsWith("rm no-such.evt: ")) << r.Out.toStdString();
  EXPECT_TRUE(QFile::exists(Device("events/12345678-1764900000-250.log")));
  // A mistake on the command line: the document for the program, the line
  // and the hint for the person.
  r = Cli({"--json", "bogus"});
  ASSERT_TRUE(Document(r, 1, "error", o));
  EXPECT_EQ(ErrorMessage(o), "unknown command 'bogus'");
  EXPECT_EQ(r.Err, QStringLiteral("vanta-cli: unknown command 'bogus'\n") + CHint + QLatin1Char('\n'));
}

// Through SSH the host-key question is a warning of the document.
class CliSshTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--ssh-port", "0"}; }
};

TEST_F(CliSshTest, JsonWarningsInsideTheDocument) {
  const TRun r = Cli(QStringList{"--json"} + Ssh("operator", "operator") + QStringList{"identify"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString() << r.Out.toStdString();
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("serial").toInteger(), 12345678);
  const QJsonArray warnings = o.value("warnings").toArray();
  ASSERT_EQ(warnings.size(), 1) << r.Out.toStdString();
  EXPECT_TRUE(warnings[0].toString().endsWith(" -> trusted")) << r.Out.toStdString();
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
  QStringList SimArgs() override { return {"--fault", "split"}; }
};

TEST_F(CliSlowTest, ProgressBarOnATerminalOnly) {
  TTerminal term;
  ASSERT_TRUE(term.Ok());
  const QByteArray big(512 * 1024, 'e');
  WriteAll(Device("events/EVT-1765000000-0.evt"), big);
  const QString local = Data.filePath("12345678/Event/EVT-1765000000-0.evt");
  const QStringList prefix = At();
  const QStringList get{"events", "get", "EVT-1765000000-0.evt"};
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
  QString Setup = Dir.filePath("setup.xml");
  TParaFiles() { WriteAll(Setup, CParaFixture); }
  TRun Cli(const QStringList& args) {
    // Nothing listens on port 1: a command that tried to connect would fail.
    return RunCli(QStringList{"--port", "1"} + args, 10000);
  }
};
}  // namespace

TEST(CliPara, RowsOfAFolderAtALevel) {
  TParaFiles f;
  TRun r = f.Cli({"para", "rows", f.Setup, "--folder", "7"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << "the text at visibility 3 is hidden at level 1";
  EXPECT_EQ(lines[0], "10\t7\tgrtFloat\tParameter 10\t50\t50\t45\t65\teditable");
  EXPECT_TRUE(lines[1].endsWith("\tread-only")) << "editability 2 above level 1";

  r = f.Cli({"--json", "para", "rows", f.Setup, "--level", "3"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 0, "para-rows", doc));
  const QJsonArray rows = doc.value("rows").toArray();
  ASSERT_EQ(rows.size(), 8) << "all of them at level 3, both id-10 items";
  EXPECT_EQ(rows[4].toObject().value("parent").toInt(), 8);
  const QJsonObject first = rows[0].toObject();
  EXPECT_EQ(first.value("caption").toString(), "(10/0x0000000A) Parameter 10");
  // Numbers as numbers, the shown texts beside them.
  EXPECT_EQ(first.value("id").toInteger(), 10);
  EXPECT_EQ(first.value("idHex").toString(), "0x0000000A");
  EXPECT_EQ(first.value("kind").toString(), "float");
  EXPECT_TRUE(first.value("value").isDouble());
  EXPECT_DOUBLE_EQ(first.value("value").toDouble(), 50.0);
  EXPECT_DOUBLE_EQ(first.value("min").toDouble(), 45.0);
  EXPECT_DOUBLE_EQ(first.value("max").toDouble(), 65.0);
  EXPECT_EQ(first.value("texts").toObject().value("value").toString(), "50");
  EXPECT_EQ(rows[2].toObject().value("value").toString(), "geheim") << "a text stays a text";
  const QJsonObject gps = rows[3].toObject();
  EXPECT_EQ(gps.value("id").toInteger(), 4261413254) << "ids above 2^31 stay whole";
  // A list: its entries typed like its value.
  QJsonObject list;
  for (const QJsonValue& v : rows)
    if (v.toObject().value("id").toInteger() == 20) list = v.toObject();
  ASSERT_FALSE(list.isEmpty()) << r.Out.toStdString();
  EXPECT_EQ(list.value("value").toInt(-1), 1);
  const QJsonArray entries = list.value("list").toArray();
  ASSERT_EQ(entries.size(), 3);
  EXPECT_TRUE(entries[2].toObject().value("value").isDouble());
  EXPECT_EQ(entries[2].toObject().value("value").toInt(), 2);
}

TEST(CliPara, SetRunsTheEditorsAcceptPath) {
  TParaFiles f;
  const QString out = f.Dir.filePath("out.xml");
  const QString changes = f.Dir.filePath("changes.json");
  TRun r = f.Cli({"--json", "para", "set", f.Setup, "10@7=70", "10@8=7", "11=5", "4261413254=N99E1", "--out", out,
                  "--changes", changes});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 4, "para-set", doc)) << "a value was corrected or rejected";
  const QJsonArray in = doc.value("inputs").toArray();
  ASSERT_EQ(in.size(), 4);
  const QJsonObject clamped = in[0].toObject();
  EXPECT_EQ(clamped.value("result").toString(), "corrected");
  EXPECT_TRUE(clamped.value("stored").isDouble());
  EXPECT_DOUBLE_EQ(clamped.value("stored").toDouble(), 65.0) << "the stored value, not the input";
  EXPECT_EQ(clamped.value("id").toInteger(), 10);
  EXPECT_EQ(clamped.value("parent").toInteger(), 7);
  EXPECT_TRUE(clamped.value("message").toString().startsWith(
      "Der eingegebene Wert für Parameter 10 liegt im ungültigen Bereich."));
  EXPECT_EQ(in[1].toObject().value("result").toString(), "stored");
  EXPECT_DOUBLE_EQ(in[1].toObject().value("stored").toDouble(), 7.0);
  EXPECT_EQ(in[1].toObject().value("parent").toInteger(), 8);
  const QJsonObject locked = in[2].toObject();
  EXPECT_EQ(locked.value("result").toString(), "rejected") << "not editable at level 1";
  EXPECT_TRUE(locked.value("reason").toString().contains("nicht änderbar"));
  EXPECT_EQ(locked.value("current").toInt(-1), 4) << "what the item keeps";
  EXPECT_FALSE(locked.contains("stored"));
  const QJsonObject gps = in[3].toObject();
  EXPECT_EQ(gps.value("result").toString(), "rejected");
  EXPECT_TRUE(gps.value("reason").toString().startsWith("Die Eingegebenen GPS Koordinaten \"N99E1\""));
  EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
  EXPECT_TRUE(doc.value("saved").isNull()) << "two inputs were refused";
  EXPECT_FALSE(QFile::exists(out));
  EXPECT_FALSE(QFile::exists(changes));

  r = f.Cli({"--json", "para", "set", f.Setup, "10@7=70", "10@8=7", "--out", out, "--changes", changes});
  ASSERT_TRUE(Document(r, 4, "para-set", doc)) << "a value was corrected";
  EXPECT_FALSE(MatchesSchema(r.Out, "error")) << "the normal document with the item marked, no error document";
  EXPECT_EQ(doc.value("saved").toString(), out);
  const QByteArray written = ReadAll(out);
  EXPECT_TRUE(written.contains("<value>65</value>"));
  EXPECT_TRUE(written.contains("<value>7</value>"));
  EXPECT_TRUE(written.contains("<value>4</value>")) << "a value not given stays";
  EXPECT_TRUE(written.contains("N49.1E11.1"));
  const QJsonArray list = QJsonDocument::fromJson(ReadAll(changes)).object().value("changes").toArray();
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[0].toObject().value("key").toString(), "107");
  EXPECT_EQ(list[0].toObject().value("original").toString(), "50");

  r = f.Cli({"para", "set", f.Setup, "10@7=55,5"});
  EXPECT_EQ(r.Exit, 0) << "a comma is no correction";
  EXPECT_EQ(r.Out.trimmed(), "10@7 = \"55.5\"");
}

TEST(CliPara, CheckAndBadInput) {
  TParaFiles f;
  TRun r = f.Cli({"para", "check", f.Setup});
  EXPECT_EQ(r.Exit, 4);
  EXPECT_EQ(r.Out.trimmed(), "10@8: \"99\" -> \"50\"") << "above its upper limit";

  const QString broken = f.Dir.filePath("broken.xml");
  WriteAll(broken, "<config><group name=\"sys\" id=\"1\">");
  const QString out = f.Dir.filePath("never.xml");
  r = f.Cli({"para", "set", broken, "10=1", "--out", out});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("kein gültiges XML")) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(out)) << "nothing written";
  r = f.Cli({"para", "set", f.Setup, "x=1"});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("'x=1' is not ID[@PARENT]=TEXT")) << r.Err.toStdString();
  r = f.Cli({"para", "rows", f.Dir.filePath("missing.xml")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("Datei fehlt"));
}

TEST(CliPara, SetRefusesAValueThatIsNoEntryOfItsList) {
  TParaFiles f;
  const QString out = f.Dir.filePath("out.xml");
  const QByteArray before = ReadAll(f.Setup);
  WriteAll(out, before);  // an earlier result
  for (const auto& [input, old] : {std::pair{QStringLiteral("20=7"), QByteArray("<value>1</value>")},
                                   std::pair{QStringLiteral("20=zz"), QByteArray("<value>1</value>")},
                                   std::pair{QStringLiteral("20=1.5"), QByteArray("<value>1</value>")},
                                   std::pair{QStringLiteral("21=zz"), QByteArray("<value>b</value>")}}) {
    SCOPED_TRACE(input.toStdString());
    const TRun r = f.Cli({"--json", "para", "set", f.Setup, input, "--out", out});
    QJsonObject doc;
    ASSERT_TRUE(Document(r, 4, "para-set", doc));
    const QJsonObject in = doc.value("inputs").toArray().at(0).toObject();
    EXPECT_EQ(in.value("result").toString(), "rejected");
    EXPECT_FALSE(in.contains("stored")) << "nothing was stored";
    EXPECT_TRUE(in.value("reason").toString().contains("kein Eintrag der Liste"));
    EXPECT_TRUE(ReadAll(out).contains(old)) << "the written file keeps the old value";
    EXPECT_EQ(ReadAll(out), before);
  }
  const TRun ok = f.Cli({"para", "set", f.Setup, "20=2", "21=c"});
  EXPECT_EQ(ok.Exit, 0) << ok.Out.toStdString();
}

TEST(CliPara, SetWithoutOutSaysThatNothingWasSaved) {
  TParaFiles f;
  const QByteArray before = ReadAll(f.Setup);
  TRun r = f.Cli({"para", "set", f.Setup, "10@7=60"});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.trimmed(), "10@7 = \"60\"");
  EXPECT_TRUE(r.Err.contains("nicht gespeichert")) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("ohne --out")) << "it says how to save";
  EXPECT_EQ(ReadAll(f.Setup), before);

  r = f.Cli({"--json", "para", "set", f.Setup, "10@7=60"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 0, "para-set", doc));
  EXPECT_TRUE(doc.value("saved").isNull());
  EXPECT_EQ(doc.value("inputs").toArray().at(0).toObject().value("result").toString(), "stored");
  EXPECT_TRUE(doc.value("warnings").toArray().at(0).toString().contains("nicht gespeichert")) << r.Out.toStdString();
}

TEST(CliPara, SetWritesNothingWhenOneInputIsRefused) {
  TParaFiles f;
  const QString out = f.Dir.filePath("out.xml");
  const QString changes = f.Dir.filePath("changes.json");
  WriteAll(out, "earlier");
  const TRun r = f.Cli({"para", "set", f.Setup, "10@7=60", "20=zz", "--out", out, "--changes", changes});
  EXPECT_EQ(r.Exit, 4);
  EXPECT_EQ(ReadAll(out), QByteArray("earlier")) << "not the accepted half of the inputs";
  EXPECT_FALSE(QFile::exists(changes));
  EXPECT_TRUE(r.Err.contains("Nichts gespeichert")) << r.Err.toStdString();
}

TEST(CliPara, CheckNamesAListValueThatIsNoEntry) {
  TParaFiles f;
  QByteArray set = ReadAll(f.Setup);
  set.replace("<value>1</value>\n      <range", "<value>7</value>\n      <range");
  WriteAll(f.Setup, set);
  const TRun r = f.Cli({"--json", "para", "check", f.Setup});
  EXPECT_EQ(r.Exit, 4);
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc));
  bool found = false;
  for (const QJsonValue& v : doc.value("corrections").toArray()) {
    const QJsonObject o = v.toObject();
    if (o.value("id").toInteger() != 20) continue;
    found = true;
    EXPECT_EQ(o.value("parent").toInteger(), 9);
    EXPECT_TRUE(o.value("value").isDouble());
    EXPECT_EQ(o.value("value").toInt(), 7);
    EXPECT_TRUE(o.value("notInList").toBool());
  }
  EXPECT_TRUE(found) << r.Out.toStdString();
}

// Each kind of refusal alone makes the exit code 4, so that one cannot hide
// behind another; the same item within its rules goes through.
TEST(CliPara, SetExitsFourForEachKindOfRefusalAlone) {
  TParaFiles f;
  const QList<std::pair<QStringList, int>> cases = {{{"999=1"}, 4},                 // an unknown id
                                                    {{"11=5"}, 4},                  // not editable at level 1
                                                    {{"11=5", "--level", "2"}, 0},  // editable one level up
                                                    {{"4261413254=N99E1"}, 4},      // a failed GPS check
                                                    {{"4278190467=9 Feld"}, 4},     // a failed IED name check
                                                    {{"4278190467=Feld_9"}, 0}};
  for (const auto& [args, code] : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun r = f.Cli(QStringList{"--json", "para", "set", f.Setup} + args);
    EXPECT_EQ(r.Exit, code) << r.Err.toStdString();
    QJsonObject doc;
    ASSERT_TRUE(OneDocument(r, doc));
    EXPECT_EQ(doc.value("inputs").toArray().at(0).toObject().value("result").toString(), code ? "rejected" : "stored");
  }
}

TEST(CliPara, ExportsMandatoryAndIcd) {
  TParaFiles f;
  const QString changes = f.Dir.filePath("changes.json");
  TRun r = f.Cli({"para", "set", f.Setup, "10@8=20", "--changes", changes});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString exported = f.Dir.filePath("export.xml");
  r = f.Cli({"para", "export", f.Setup, "--format", "changes", "--changes", changes, "--out", exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QByteArray x = ReadAll(exported);
  EXPECT_TRUE(x.contains("name=\"anyDevice\""));
  EXPECT_TRUE(x.contains("<group id=\"8\">"));
  EXPECT_FALSE(x.contains("<group id=\"7\">")) << "nothing changed there";
  r = f.Cli({"para", "export", f.Setup, "--format", "changes", "--out", exported});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("Keine Änderungen"));
  r = f.Cli({"para", "export", f.Setup, "--format", "pdf"});
  EXPECT_EQ(r.Exit, 1);

  const QString icd = f.Dir.filePath("station.icd");
  WriteAll(icd, "<SCL/>");
  r = f.Cli({"para", "icd", "show", icd});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("Ungülige ICD Datei")) << r.Err.toStdString();
}

// offline rm deletes the store's files only: by name or by their path in the
// store; a file elsewhere stays, whatever it is called, and is named as refused.
TEST(CliOffline, RmTakesOnlyTheStoresFiles) {
  QTemporaryDir store, elsewhere;
  const QString event = store.filePath("12345678/Event/12345678-1764892800-000.log");
  const QString recording = store.filePath("12345678/Recorder/10min-12345678-1764892800-000.log");
  const QString kept = store.filePath("12345678/Recorder/1s-12345678-1764892800-000.log");
  const QString victim = elsewhere.filePath("victim.txt"), lookalike = elsewhere.filePath("12345678-1764892800-001.log");
  for (const QString& f : {event, recording, kept, victim, lookalike}) {
    QDir().mkpath(QFileInfo(f).path());
    WriteAll(f, "bytes");
  }
  // A link in the store to a file elsewhere is not the store's file either.
  const QString link = store.filePath("12345678/Event/12345678-1764892801-000.log");
  ASSERT_TRUE(QFile::link(lookalike, link));
  const TRun r = RunCli({"--json", "--data-dir", store.path(), "offline", "rm", QFileInfo(event).fileName(), recording, victim,
                         lookalike, link, "12345678-1764899999-000.log"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 1, "offline-rm", o));
  EXPECT_EQ(o.value("removed").toInt(), 2);
  const QJsonArray failed = o.value("failed").toArray();
  ASSERT_EQ(failed.size(), 4) << r.Out.toStdString();
  EXPECT_TRUE(failed[0].toString().startsWith(victim + ": ")) << failed[0].toString().toStdString();
  EXPECT_TRUE(failed[3].toString().startsWith("12345678-1764899999-000.log: ")) << failed[3].toString().toStdString();
  EXPECT_FALSE(QFile::exists(event));
  EXPECT_FALSE(QFile::exists(recording));
  for (const QString& f : {kept, victim, lookalike}) EXPECT_TRUE(QFile::exists(f)) << f.toStdString();
  // A person reads each refusal on stderr.
  const TRun text = RunCli({"--lang", "en", "--data-dir", store.path(), "offline", "rm", victim});
  EXPECT_EQ(text.Exit, 1);
  EXPECT_EQ(text.Err.trimmed(), victim + ": not a stored file's name");
  EXPECT_TRUE(QFile::exists(victim));
}

// An import names every file it leaves on the card; an export makes its folder.
TEST(CliOffline, ImportNamesWhatItLeavesAndExportMakesItsFolder) {
  QTemporaryDir card, store, out;
  vanta::TContextHeader ctx;
  ctx.Start = {1764892800, 0};
  ctx.Channels << vanta::TRecordChannel{0x01040010u, 0, "%", "Spannungseinbruch"};
  vanta::TRecordWriter w(vanta::TRecordKind::rkEvent, {12345678, 3600, true, "Nord", "F", "Sim"}, ctx);
  w.Add(vanta::TEventRecord{0x01040010u, ctx.Start, 70.5, 0, 0.1, "L1"});
  QString error;
  ASSERT_TRUE(w.Save(card.filePath("12345678-1764892800-000.log"), error)) << error.toStdString();
  WriteAll(card.filePath("12345678-1764892801-000.log"), "");
  WriteAll(card.filePath("Mess datei.log"), "x");
  TRun r = RunCli({"--lang", "en", "--data-dir", store.path(), "offline", "import", card.path()});
  EXPECT_EQ(r.Exit, 5) << "one file not stored";
  EXPECT_TRUE(r.Err.contains(card.filePath("12345678-1764892801-000.log"))) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains(card.filePath("Mess datei.log") + ": not imported")) << r.Err.toStdString();
  const QString stored = store.filePath("12345678/Event/12345678-1764892800-000.log");
  ASSERT_TRUE(QFile::exists(stored));
  r = RunCli({"--data-dir", store.path(), "offline", "export", out.filePath("new/sub"), stored});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(QFile::exists(out.filePath("new/sub/12345678-1764892800-000.log")));
}

TEST(CliMdb, PickerStatementsWithoutADevice) {
  auto cli = [](const QStringList& args) { return RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("1")} + args, 10000); };
  TRun r = cli({"--json", "mdb", "classes"});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  const QJsonArray classes = doc.value("classes").toArray();
  ASSERT_FALSE(classes.isEmpty());
  // The database's texts follow the program's language; the command's own --lang names the table.
  const QString cls = QString::number(classes[0].toObject().value("class").toInt());
  r = cli({"--lang", "en", "mdb", "values", "--class", cls});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out, cli({"mdb", "--lang", "lang_en", "values", "--class", cls}).Out);
  EXPECT_NE(r.Out, cli({"--lang", "en", "mdb", "--lang", "de", "values", "--class", cls}).Out);
  const QString firstId = r.Out.section(QLatin1Char('\t'), 0, 0);
  ASSERT_FALSE(firstId.isEmpty());
  r = cli({"--json", "mdb", "search", firstId});
  ASSERT_TRUE(OneDocument(r, doc));
  bool hit = false;
  for (const QJsonValue& v : doc.value("values").toArray())
    hit = hit || QString::number(v.toObject().value("vantaId").toInteger()) == firstId;
  EXPECT_TRUE(hit) << "a device id is found through its class";
  r = cli({"mdb", "tree", "--modbus", "--start", firstId});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.count("> "), 1) << "the start id's value is the one selected";
  EXPECT_TRUE(r.Out.contains(QStringLiteral("(%1)").arg(firstId)));
  r = cli({"mdb", "values"});
  EXPECT_EQ(r.Exit, 1) << "needs --class or --modbus";
  r = cli({"mdb", "--db", "/nonexistent.db", "tree"});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("Datei fehlt"));
}

TEST(CliPara, DiffImportAndReset) {
  TParaFiles f;
  const QString other = f.Dir.filePath("other.xml");
  TRun r = f.Cli({"para", "set", f.Setup, "10@7=55", "--out", other});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = f.Cli({"para", "diff", f.Setup, f.Setup});
  EXPECT_EQ(r.Out.trimmed(), "Keine geänderten Daten gefunden");
  QJsonObject doc;
  ASSERT_TRUE(Document(f.Cli({"--json", "para", "diff", f.Setup, other}), 0, "para-diff", doc));
  const QJsonArray changes = doc.value("changes").toArray();
  ASSERT_EQ(changes.size(), 1);
  const QJsonObject c = changes[0].toObject();
  EXPECT_EQ(c.value("key").toString(), "1710");
  EXPECT_EQ(c.value("id").toInteger(), 10);
  EXPECT_EQ(c.value("parent").toInteger(), 7);
  EXPECT_TRUE(c.value("device").isDouble());
  EXPECT_DOUBLE_EQ(c.value("device").toDouble(), 50.0);
  EXPECT_DOUBLE_EQ(c.value("file").toDouble(), 55.0);
  EXPECT_TRUE(c.value("valid").toBool());
  EXPECT_EQ(c.value("line").toString(), "Parameter 10: 55 [50]");

  const QString merged = f.Dir.filePath("merged.xml");
  r = f.Cli({"para", "import", f.Setup, other, "--out", merged, "--tick", "1710", "999"});
  EXPECT_TRUE(r.Out.contains("Import Error Key 999 Not found!")) << "keys after --tick count too";
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = f.Cli({"para", "diff", merged, other});
  EXPECT_EQ(r.Out.trimmed(), "Keine geänderten Daten gefunden") << "the imported value is in";
  r = f.Cli({"para", "import", f.Setup, other, "--out", merged});
  EXPECT_EQ(r.Exit, 1) << "needs --all or --tick";

  const QString reset = f.Dir.filePath("reset.xml");
  r = f.Cli({"para", "reset", merged, "--out", reset});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(ReadAll(reset).contains("<value>50</value>")) << "back to its default";
}

TEST_F(CliTest, ParaPushSendsThePrunedSetAndTheDeviceKeepsTheRest) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({"setup", "get", got}).Exit, 0);
  const QString edited = Data.filePath("edited.xml");
  // One value outside the modules and one in the Modbus module, which is then left out of the upload.
  TRun r = Cli({"para", "set", got, "218103808=55", "4278190338=503", "--out", edited});
  ASSERT_TRUE(r.Exit == 0 || r.Exit == 4) << r.Err.toStdString();
  r = Cli({"--json", "para", "push", edited, "--untick", "4278190336"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 0, "para-push", doc));
  EXPECT_TRUE(doc.value("modules").toArray().contains(QJsonObject{{"name", "Modbus"}, {"included", false}}))
      << r.Out.toStdString();
  EXPECT_TRUE(doc.value("sent").toBool());
  for (const QJsonValue& v : doc.value("changes").toArray())
    EXPECT_EQ(v.toObject().value("sent").toBool(), v.toObject().value("module").toString() != QLatin1String("Modbus"))
        << "only what went out counts as sent: " << r.Out.toStdString();
  const QString back = Device("setup/setup.xml");
  const QByteArray device = ReadAll(back);
  EXPECT_TRUE(device.contains("<value>55</value>")) << "the edited value arrived";
  EXPECT_TRUE(device.contains("swmodule id=\"4278190336\"")) << "a module left out of the upload stays on the device";
  r = Cli({"para", "diff", back, got});
  EXPECT_EQ(r.Out.trimmed().section(QLatin1Char('\t'), 1), "Nennfrequenz: 50 [55]")
      << "the round trip keeps every untouched value, and the module left out kept its 502: " << r.Out.toStdString();
}

TEST_F(CliTest, ParaPushDryRunListsTheChangesAndSendsNothing) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({"setup", "get", got}).Exit, 0);
  const QString edited = Data.filePath("edited.xml");
  TRun r = Cli({"para", "set", got, "218103808=55", "--out", edited});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  r = Cli({"--json", "para", "push", edited, "--dry-run"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 0, "para-push", doc));
  const QJsonArray changes = doc.value("changes").toArray();
  ASSERT_EQ(changes.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(changes[0].toObject().value("id").toInteger(), 218103808);
  EXPECT_DOUBLE_EQ(changes[0].toObject().value("device").toDouble(), 50.0);
  EXPECT_DOUBLE_EQ(changes[0].toObject().value("new").toDouble(), 55.0);
  EXPECT_TRUE(changes[0].toObject().value("included").toBool());
  EXPECT_FALSE(changes[0].toObject().value("sent").toBool()) << "a dry run sends nothing";
  EXPECT_FALSE(doc.value("sent").toBool());
  EXPECT_TRUE(doc.value("dryRun").toBool());
  const QString back = Device("setup/setup.xml");
  EXPECT_FALSE(ReadAll(back).contains("<value>55</value>")) << "nothing was sent";

  // A real push keeps the device's set first, in the device's data folder.
  r = Cli({"--json", "para", "push", edited});
  ASSERT_TRUE(Document(r, 0, "para-push", doc));
  EXPECT_FALSE(doc.value("dryRun").toBool());
  EXPECT_TRUE(doc.value("sent").toBool());
  EXPECT_TRUE(doc.value("changes").toArray().at(0).toObject().value("sent").toBool());
  const QString backup = doc.value("backup").toString();
  ASSERT_FALSE(backup.isEmpty());
  EXPECT_TRUE(QFileInfo(backup).fileName().startsWith("ParaBackup_"));
  EXPECT_TRUE(ReadAll(backup).contains("<value>50</value>")) << "the set before the push";
}

namespace {
// The device's set read, `sets` applied at level 2 and exported as a change
// export, as one device would hand its changes to another.
void ExportChanges(const std::function<TRun(const QStringList&)>& cli, const QDir& data, const QStringList& sets, QString& exported) {
  const QString got = data.filePath("got.xml");
  ASSERT_EQ(cli({"setup", "get", got}).Exit, 0);
  const QString changes = data.filePath("changes.json");
  const QString edited = data.filePath("edited.xml");
  TRun r =
      cli(QStringList{"para", "set", got} + sets + QStringList{"--level", "2", "--changes", changes, "--out", edited});
  ASSERT_EQ(r.Exit, 0) << r.Out.toStdString() << r.Err.toStdString();
  exported = data.filePath("ChangeExport.xml");
  r = cli({"para", "export", edited, "--format", "changes", "--changes", changes, "--out", exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
}
}  // namespace

// A change export from another device: a frequency, an address of the
// network module, the device's own address and host name (network settings
// too) and a service value (visibility 2). Only the frequency goes out unless
// the others are asked for.
TEST_F(CliTest, ParaApplyLeavesNetworkServiceAndDefaultValuesOutUnlessAsked) {
  QString exported;
  ASSERT_NO_FATAL_FAILURE(ExportChanges([this](const QStringList& a) { return Cli(a); }, QDir(Data.path()),
                                        {"218103808=61", "4278191105=192.0.2.98", "50331660=124",
                                         "33554433@33554432=192.0.2.99", "33554436@33554432=anderes-geraet"},
                                        exported));
  TRun r = Cli({"--json", "para", "apply", exported, "--dry-run"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 0, "para-apply", doc));
  EXPECT_TRUE(doc.value("dryRun").toBool());
  EXPECT_FALSE(doc.value("sent").toBool());
  ASSERT_EQ(doc.value("applied").toArray().size(), 1);
  // Typed values beside the dialog's line.
  const QJsonObject frequency = doc.value("applied").toArray().at(0).toObject();
  EXPECT_EQ(frequency.value("line").toString(), "Nennfrequenz: 61 [50]");
  EXPECT_EQ(frequency.value("id").toInteger(), 218103808);
  EXPECT_TRUE(frequency.value("value").isDouble());
  EXPECT_DOUBLE_EQ(frequency.value("value").toDouble(), 61.0);
  EXPECT_DOUBLE_EQ(frequency.value("device").toDouble(), 50.0);
  QStringList leftOut;
  for (const QJsonValue& v : doc.value("leftOut").toArray())
    leftOut << QString::number(v.toObject().value("id").toInteger()) + ' ' + v.toObject().value("reason").toString();
  ASSERT_EQ(leftOut.size(), 4) << leftOut.join('|').toStdString();
  EXPECT_EQ(leftOut.filter("--service").size(), 1) << leftOut.join('|').toStdString();
  for (const char* id : {"4278191105 ", "33554433 ", "33554436 "})
    EXPECT_TRUE(leftOut.filter(QLatin1String(id)).value(0).contains("--network")) << id;
  for (const auto& [options, applied] :
       {std::pair{QStringList{"--network"}, 4}, std::pair{QStringList{"--network", "--service"}, 5}}) {
    r = Cli(QStringList{"--json", "para", "apply", exported, "--dry-run"} + options);
    ASSERT_TRUE(OneDocument(r, doc));
    EXPECT_EQ(doc.value("applied").toArray().size(), applied) << "each option brings its own";
  }

  r = Cli({"para", "apply", exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(
      r.Out.contains("Ausgelassen: IP-Adresse: 192.0.2.99 [192.0.2.20] (Netzwerkeinstellungen, nur mit --network)"))
      << r.Out.toStdString();
  const QByteArray device = ReadAll(Device("setup/setup.xml"));
  EXPECT_TRUE(device.contains("<value>61</value>"));
  for (const char* own : {"192.0.2.98", "192.0.2.99", "anderes-geraet"})
    EXPECT_FALSE(device.contains(own)) << own << ": the other device's settings stay where they came from";

  // The service value, asked for now, goes out; the frequency is there already.
  r = Cli({"--json", "para", "apply", exported, "--service"});
  ASSERT_TRUE(Document(r, 0, "para-apply", doc));
  EXPECT_FALSE(doc.value("dryRun").toBool());
  EXPECT_TRUE(doc.value("sent").toBool()) << r.Out.toStdString();
  ASSERT_EQ(doc.value("applied").toArray().size(), 1) << r.Out.toStdString();
  EXPECT_EQ(doc.value("applied").toArray().at(0).toObject().value("id").toInteger(), 50331660);
  EXPECT_EQ(doc.value("leftOut").toArray().size(), 3) << "the addresses and the name still need --network";
}

TEST_F(CliTest, ParaApplyTakesADefaultForAnInvalidValueOnlyWhenAsked) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({"setup", "get", got}).Exit, 0);
  // A change export whose frequency lies outside the device's limits.
  QByteArray x = ReadAll(got);
  const qsizetype at = x.indexOf("<parameter id=\"218103808\">");
  ASSERT_GE(at, 0);
  const qsizetype v = x.indexOf("<value>50</value>", at);
  x.replace(v, 17, "<value>999</value>");
  const QString file = Data.filePath("invalid.xml");
  WriteAll(file, x);
  TRun r = Cli({"--json", "para", "apply", file, "--dry-run"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 0, "para-apply", doc));
  EXPECT_TRUE(doc.value("applied").toArray().isEmpty());
  ASSERT_EQ(doc.value("leftOut").toArray().size(), 1);
  EXPECT_TRUE(doc.value("leftOut").toArray()[0].toObject().value("reason").toString().contains("--defaults"));
  EXPECT_DOUBLE_EQ(doc.value("leftOut").toArray()[0].toObject().value("value").toDouble(), 999.0)
      << "the file's value, as a number";
  r = Cli({"para", "apply", file, "--dry-run"});
  EXPECT_TRUE(r.Out.contains("Ausgelassen: Nennfrequenz: 999 [50]"))
      << "the file's value, not the default: " << r.Out.toStdString();
  r = Cli({"--json", "para", "apply", file, "--dry-run", "--defaults"});
  ASSERT_TRUE(OneDocument(r, doc));
  EXPECT_EQ(doc.value("applied").toArray().size(), 1);
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
  ASSERT_EQ(Cli({"setup", "get", got}).Exit, 0);
  const QByteArray edited = WithValue(WithValue(ReadAll(got), "218103808", "70"), "251658245", "z");
  ASSERT_FALSE(edited.isEmpty());
  const QString file = Data.filePath("edited.xml");
  WriteAll(file, edited);

  TRun r = Cli({"para", "push", file});
  EXPECT_EQ(r.Exit, 4) << r.Out.toStdString() << r.Err.toStdString();
  EXPECT_FALSE(r.Out.contains("Übertragung abgeschlossen"));
  EXPECT_TRUE(r.Err.contains("218103808@218169343 (Nennfrequenz) = \"70\", erlaubt: 45 – 65")) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("251658245@251658240 (Parameter 251658245) = \"z\", erlaubt: a, b, c"))
      << r.Err.toStdString();

  r = Cli({"--json", "para", "push", file, "--dry-run"});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 4, "para-push", doc));
  QStringList refused;
  for (const QJsonValue& v : doc.value("refused").toArray())
    refused << QString::number(v.toObject().value("id").toInteger()) + QLatin1Char('=') +
                   v.toObject().value("value").toVariant().toString();
  EXPECT_EQ(refused, (QStringList{"218103808=70", "251658245=z"}));
  EXPECT_TRUE(doc.value("refused").toArray().at(0).toObject().value("value").isDouble());
  EXPECT_FALSE(doc.value("sent").toBool());
  for (const QJsonValue& v : doc.value("changes").toArray())
    EXPECT_FALSE(v.toObject().value("sent").toBool()) << "a refused set sends nothing";

  const QString back = Device("setup/setup.xml");
  r = Cli({"para", "diff", back, got});
  EXPECT_EQ(r.Out.trimmed(), "Keine geänderten Daten gefunden") << "the device kept its set";

  // Within the rules the same set goes out.
  WriteAll(file, WithValue(WithValue(ReadAll(got), "218103808", "60"), "251658245", "c"));
  r = Cli({"para", "push", file});
  EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("Übertragung abgeschlossen"));
}

// A module to leave out that the set does not have would send what the
// operator meant to keep back.
TEST_F(CliTest, ParaPushRefusesModulesToLeaveOutThatTheSetDoesNotHave) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({"setup", "get", got}).Exit, 0);
  TRun r = Cli({"para", "push", got, "--untick", "foo,12345"});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("foo, 12345")) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("4278190336 (Modbus)")) << "the valid names are listed: " << r.Err.toStdString();
  r = Cli({"--json", "para", "push", got, "--untick", "Modbus", "--dry-run"});
  QJsonObject doc;
  ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 0);
  EXPECT_TRUE(doc.value("modules").toArray().contains(QJsonObject{{"name", "Modbus"}, {"included", false}}))
      << "a module by its caption";
}

TEST_F(CliTest, ClockIsSetWithTheFirmwaresStatement) {
  TRun r = Cli({"clock", "--set", "05.12.2026 10:11:12"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out.trimmed(), "uti.setDateTime(\"05.12.2026 10:11:12\")");
  r = Cli({"clock"});
  EXPECT_TRUE(r.Out.startsWith("2026-12-05T10:11:1")) << r.Out.toStdString();
  r = Cli({"clock", "--set", "morgen"});
  EXPECT_EQ(r.Exit, 1);
}

class CliNakSetupTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--fault", "nak-setup"}; }
};

TEST_F(CliNakSetupTest, RefusedUploadIsReported) {
  const QString got = Data.filePath("got.xml");
  ASSERT_EQ(Cli({"setup", "get", got}).Exit, 0);
  TRun r = Cli({"para", "push", got});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains("ACHTUNG: Parametrierung nicht erfolgreich!")) << r.Err.toStdString();
  // The edited value was meant to go out; the device refused it, so nothing counts as sent.
  const QString edited = Data.filePath("edited.xml");
  ASSERT_EQ(Cli({"para", "set", got, "218103808=55", "--out", edited}).Exit, 0);
  r = Cli({"--json", "para", "push", edited});
  QJsonObject doc;
  ASSERT_TRUE(Document(r, 3, "para-push", doc));
  EXPECT_EQ(doc.value("error").toObject().value("code").toInt(), 3);
  EXPECT_FALSE(doc.value("sent").toBool());
  ASSERT_EQ(doc.value("changes").toArray().size(), 1) << r.Out.toStdString();
  EXPECT_TRUE(doc.value("changes").toArray().at(0).toObject().value("included").toBool());
  EXPECT_FALSE(doc.value("changes").toArray().at(0).toObject().value("sent").toBool());
}

// Every offline command on the sample set and on a generated set of about
// 20 MB (made at test time, never stored).
TEST(CliPara, SampleAndLargeSets) {
  const QString sample = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml");
  const QString icd = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/station.icd");
  QTemporaryDir dir;
  const QString big = dir.filePath("big.xml");
  QProcess gen;
  gen.start("python3", {QStringLiteral(VANTA_SOURCE_DIR "/scripts/gen_sample_setup.py"), big, "--scale=2000"});
  ASSERT_TRUE(gen.waitForFinished(120000));
  ASSERT_EQ(gen.exitCode(), 0) << gen.readAllStandardError().toStdString();
  ASSERT_GT(QFileInfo(big).size(), 15 * 1000 * 1000);
  auto cli = [](const QStringList& args) { return RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("1")} + args, 120000); };
  for (const QString& set : {sample, big}) {
    SCOPED_TRACE(set.toStdString());
    TRun r = cli({"--json", "para", "rows", set, "--folder", "234881023", "--level", "3"});
    QJsonObject doc;
    ASSERT_TRUE(OneDocument(r, doc)) << r.Err.toStdString();
    EXPECT_EQ(doc.value("rows").toArray().size(), 13) << "the transformer folder";
    ASSERT_TRUE(Document(cli({"--json", "para", "transformer", set}), 0, "para-transformer", doc));
    EXPECT_DOUBLE_EQ(doc.value("transformer").toObject().value("voltageRatio").toDouble(), 100.0);
    r = cli({"para", "check", set});
    EXPECT_TRUE(r.Exit == 0 || r.Exit == 4) << r.Err.toStdString();
    const QString out = dir.filePath("out.xml");
    r = cli({"para", "set", set, "33554436@50331648=ntp2", "--out", out});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    r = cli({"para", "diff", set, out});
    EXPECT_EQ(r.Out.count(QLatin1Char('\n')), 1) << "one item differs: the id under the time group, not its twin";
    r = cli({"para", "icd", "apply", icd, set, "--out", out});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    r = cli({"para", "export", set, "--format", "csv", "--out", dir.filePath("p.csv")});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
  }
  TRun r = cli({"para", "icd", "show", QStringLiteral(VANTA_TEST_DATA_DIR "/station-broken.icd")});
  EXPECT_EQ(r.Exit, 1);
}

TEST_F(CliTest, ParaApplyBringsAChangeExportToTheDevice) {
  QString exported;
  ASSERT_NO_FATAL_FAILURE(
      ExportChanges([this](const QStringList& a) { return Cli(a); }, QDir(Data.path()), {"218103808=61"}, exported));
  EXPECT_EQ(ReadAll(exported).count("<parameter "), 1) << "the export holds the one change";
  TRun r = Cli({"para", "apply", exported});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("Nennfrequenz: 61 [50]")) << r.Out.toStdString();
  EXPECT_TRUE(r.Out.contains("Übertragung abgeschlossen"));
  EXPECT_TRUE(ReadAll(Device("setup/setup.xml")).contains("<value>61</value>"));
  r = Cli({"para", "apply", exported});
  EXPECT_EQ(r.Out.trimmed(), "Keine geänderten Daten gefunden") << "applied already";
}

// The rows of two folders of the sample setup, checked by hand against the
// generator's tables: kinds from odd type spellings, lists and ranges that are
// no lists, limits that fall back to the kind's, a value shown with five
// decimals next to its default as stored, the level-3 caption prefix.
TEST(CliPara, RowsGoldenOutput) {
  const QString sample = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml");
  auto rows = [&](const QString& folder, const QString& level, const QString& lang) {
    return RunCli({"--port", "1", "para", "rows", sample, "--folder", folder, "--level", level, "--lang", lang}, 20000)
        .Out;
  };
  EXPECT_EQ(rows("234881023", "3", "de"),
            QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/para-rows-transformer.txt"))));
  EXPECT_EQ(rows("251658240", "1", "en"),
            QString::fromUtf8(ReadAll(QStringLiteral(VANTA_GOLDEN_DIR "/para-rows-odd.txt"))));
}

// ---- readout and record files ------------------------------------------------------------

TEST_F(CliTest, ReadoutFetchesEverythingResumesACutCopyAndReadsTheRecords) {
  TRun r = Cli({"--json", "readout", "download", "all"}, 60000);
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
    r = Cli({"readout", "download", "sync/10min-12345678-1764892800-000.log"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Exists %1/%2 - Resuming").arg(cut).arg(device.size()))) << r.Out.toStdString();
    EXPECT_EQ(QCryptographicHash::hash(ReadAll(local), QCryptographicHash::Sha256),
              QCryptographicHash::hash(device, QCryptographicHash::Sha256))
        << cut;
  }
  r = Cli({"readout", "download", "class", "10min"});
  EXPECT_TRUE(r.Out.contains(QStringLiteral("Exists %1/%1\n").arg(device.size()))) << "complete: nothing requested";
  EXPECT_FALSE(r.Out.contains(" from "));

  r = Cli({"readout", "tree", "recordings"});
  EXPECT_TRUE(r.Out.contains("+ Variables Minutenintervall TRMS\n"));
  EXPECT_TRUE(r.Out.contains("(hidden) "));
  EXPECT_FALSE(r.Out.contains("\n  - ")) << "every copy on disk: " << r.Out.toStdString();

  // The downloaded files read as records, locally, without a session.
  r = RunCli({"record", "events", Data.filePath("12345678/Event/12345678-1764903600-375.log")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("Verletzung RCM Alarmschwelle\t05.12.2025 04:00:00.375\t--\t[]\t--\t--"))
      << r.Out.toStdString();
  WriteAll(local, device.left(device.size() - 10));
  r = RunCli({"--json", "record", "info", local});
  ASSERT_EQ(r.Exit, 0);
  ASSERT_TRUE(OneDocument(r, o));
  EXPECT_EQ(o.value("records").toInt(), 119) << "a cut file keeps its whole records";
  EXPECT_TRUE(o.value("warnings").toArray().first().toString().contains("Datei unvollständig"));
  r = RunCli({"record", "info", Data.filePath("12345678/Event")});
  EXPECT_NE(r.Exit, 0) << "a folder is no record file";
}

// ---- one store, one local time ---------------------------------------------------------------

namespace {
// 2026-07-15 10:00:00.250 UTC: summer time on the simulated device (UTC+1
// with daylight saving from the last Sunday of March to that of October).
constexpr uint32_t CJulyEvent = 1784109600;

void PutJulyEvent(const QString& path, uint32_t serial = 12345678) {
  vanta::TContextHeader ctx;
  ctx.Start = {CJulyEvent, 250000000};
  ctx.End = {CJulyEvent + 1, 0};
  ctx.Channels << vanta::TRecordChannel{0x01040010u, 0, "%", "Spannungseinbruch"};
  vanta::TRecordWriter w(vanta::TRecordKind::rkEvent, {serial, 3600, true, "Umspannwerk Nord", "Feld 3", "Vanta Sim"},
                         ctx);
  w.Add(vanta::TEventRecord{0x01040010u, ctx.Start, 70.5, 0, 0.1, "L1"});
  QString error;
  ASSERT_TRUE(w.Save(path, error)) << error.toStdString();
}
}  // namespace

TEST_F(CliTest, ReadoutAndOfflineShareTheDefaultStore) {
  // Neither run names a folder: both use the per-user store, which the
  // desktop host reads too.
  QTemporaryDir home;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", home.path());
  env.insert("XDG_DATA_HOME", home.filePath("share"));
  // Nothing read yet: said in words, not an empty terminal.
  TRun r = RunCli({"offline", "scan"}, 60000, env);
  EXPECT_EQ(r.Exit, 0);
  EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
  EXPECT_TRUE(r.Err.startsWith("no stations in " + home.filePath("share/vanta-host/data"))) << r.Err.toStdString();
  r = RunCli({"--port", QString::number(Sim.Port), "--quiet", "readout", "download", "all"}, 60000, env);
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(QDir(home.filePath("share/vanta-host/data/12345678/Event")).exists());
  r = RunCli({"--json", "offline", "scan"}, 60000, env);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "offline-scan", o));
  const QJsonArray stations = o.value("stations").toArray();
  ASSERT_EQ(stations.size(), 1) << r.Out.toStdString();
  EXPECT_EQ(stations[0].toObject().value("serial").toInteger(), 12345678);
  EXPECT_EQ(stations[0].toObject().value("station").toString(), "12345678");
  EXPECT_EQ(stations[0].toObject().value("events").toInt(), 7);
}

TEST_F(CliTest, ASummerEventShowsTheTreesTimeOnlineAndOffline) {
  const QString name = QStringLiteral("12345678-%1-250.log").arg(CJulyEvent);
  PutJulyEvent(Device(QStringLiteral("events/") + name));
  // The readout tree: the device's own rules put the event at 12:00 local time.
  TRun r = Cli({"readout", "tree", "events"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString treeLine = r.Out.split(QLatin1Char('\n')).filter(name).value(0);
  EXPECT_TRUE(treeLine.contains("- 15.07.2026 12:00:00 - ")) << r.Out.toStdString();
  r = Cli({"readout", "download", name});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QString local = Data.filePath(QStringLiteral("12345678/Event/") + name);
  ASSERT_TRUE(QFileInfo::exists(local));
  EXPECT_TRUE(QFileInfo::exists(Data.filePath("12345678/device-time.ini")))
      << "the device's time settings are kept beside its files";
  // Offline, without the device: the event table and the store's tree say the same.
  r = RunCli({"--json", "record", "events", local});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "record-events", o));
  const QJsonObject event = o.value("events").toArray()[0].toObject();
  EXPECT_EQ(event.value("time").toString(), "2026-07-15T12:00:00.250+02:00") << "summer: UTC+2";
  EXPECT_EQ(event.value("texts").toObject().value("time").toString(), "15.07.2026 12:00:00.250");
  EXPECT_DOUBLE_EQ(event.value("value").toDouble(), 70.5);
  EXPECT_DOUBLE_EQ(event.value("duration").toDouble(), 0.1);
  EXPECT_EQ(event.value("unit").toString(), "%");
  EXPECT_EQ(o.value("zone").toString(), "device");
  EXPECT_FALSE(o.contains("warnings")) << r.Out.toStdString();
  r = RunCli({"--data-dir", Data.path(), "offline", "tree", "12345678"});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("15.07.2026 12:00:00 - 15.07.2026 12:00:01 - 0Kb")) << r.Out.toStdString();
  // The same file away from its station knows only its offset, and says so.
  const QString loose = Data.filePath(QStringLiteral("loose/") + name);
  QDir().mkpath(QFileInfo(loose).absolutePath());
  ASSERT_TRUE(QFile::copy(local, loose));
  r = RunCli({"record", "events", loose});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.contains("\t15.07.2026 11:00:00.250\t")) << r.Out.toStdString();
  EXPECT_TRUE(r.Err.contains("UTC+01:00")) << r.Err.toStdString();
}

namespace {
// The COMTRADE files of `record` as the independent reader sees them; the
// reader itself refuses a row whose sample number or time stamp is wrong.
::testing::AssertionResult ReadComtrade(const QString& record, const QString& dir, bool binary, QJsonObject& doc) {
  QStringList args{"record", "export", record, "--comtrade", dir};
  if (binary) args << "--binary";
  const TRun r = RunCli(args);
  if (r.Exit != 0) return ::testing::AssertionFailure() << "export: " << r.Err.toStdString();
  QProcess py;
  py.start("python3", {QStringLiteral(VANTA_SOURCE_DIR "/tests/tools/comtrade_read.py"),
                       QDir(dir).filePath(QFileInfo(record).completeBaseName() + ".cfg")});
  if (!py.waitForFinished(60000)) return ::testing::AssertionFailure() << "the reader did not finish";
  if (py.exitCode() != 0) return ::testing::AssertionFailure() << "reader: " << py.readAllStandardError().toStdString();
  doc = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
  return ::testing::AssertionSuccess();
}
}  // namespace

TEST_F(CliTest, DisturbanceRecordsOpenInAnIndependentComtradeReader) {
  const QString osc = QDir(Device("recorder/rec")).entryInfoList({"Osc-*.log"}).value(0).filePath();
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
    EXPECT_EQ(doc.value("format").toString(), binary ? "BINARY" : "ASCII");
    const QJsonArray channels = doc.value("channels").toArray();
    ASSERT_EQ(channels.size(), 6);
    EXPECT_EQ(channels[3].toArray()[0].toString(), "i L1");
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
  ctx.Class = "Hp";
  ctx.SampleRate = 1;
  ctx.Start = {1764896400, 0};
  ctx.Channels << vanta::TRecordChannel{0x05000000u, 0, "V", "u L1"};
  vanta::TRecordWriter slow(vanta::TRecordKind::rkHp, {12345678, 3600, true, "Nord", {}, "Sim"}, ctx);
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
  TRun r = RunCli({"record", "export", osc, "--csv", Data.filePath("osc.csv")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(Data.filePath("osc.csv")).count('\n'), 513);
  r = RunCli({"record", "export", Device("events/12345678-1764903600-375.log"), "--comtrade", Data.filePath("no")});
  EXPECT_EQ(r.Exit, 1) << "an event file has no waveform";
  EXPECT_TRUE(r.Err.contains("COMTRADE only for")) << r.Err.toStdString();
  // A waveform that cannot be put where asked is not stored (5), not bad input.
  WriteAll(Data.filePath("plain"), "a file, not a folder");
  r = RunCli({"record", "export", osc, "--comtrade", Data.filePath("plain/ct")});
  EXPECT_EQ(r.Exit, 5) << r.Err.toStdString();
  EXPECT_TRUE(r.Err.contains("cannot create the folder")) << r.Err.toStdString();
}

// ---- reports -------------------------------------------------------------------------------

namespace {
QString PdfText(const QString& pdf) {
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  if (!p.waitForFinished(30000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}
// A calendar week of 10-minute values: the voltage below 90 % in `low` rows,
// the frequency at 53 Hz in `offFreq` rows; `rows` of them, of class `cls`.
QString Week(const QString& dir, uint32_t sn, int low, int offFreq, int rows = 1008, const char* cls = "10min") {
  vanta::TContextHeader ctx;
  ctx.Class = cls;
  ctx.IntervalMs = 600000;
  ctx.Channels = {{1, 0x0100FFFF, "V", "U L1"}, {2, 0x0000FFFF, "Hz", "Frequenz"}, {3, 0x0200FFFF, "%", "THD U L1"}};
  vanta::TRecordWriter w(vanta::TRecordKind::rkRecording,
                         {sn, 3600, false, "Nord", "F", QStringLiteral("Geraet %1").arg(sn)}, ctx);
  const uint32_t monday = 1764547200;  // Monday 2025-12-01 00:00 UTC
  for (int i = 0; i < rows; ++i)
    w.Add(vanta::TRecRow{{monday + uint32_t(i) * 600, 0},
                         {i < low ? 200.0f : 230.0f, i >= rows - offFreq ? 53.0f : 50.0f, 3.0f}});
  const QString path = QDir(dir).filePath(QStringLiteral("%1-%2-%3-000.log").arg(QLatin1String(cls)).arg(sn).arg(monday));
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
  const QString pdf = dir.filePath("mixed.pdf");
  const TRun r = RunCli({"report", QString::fromLatin1(GetParam()), a, b, "--pdf", pdf});
  EXPECT_EQ(r.Exit, 1) << "the input, not the device";
  EXPECT_TRUE(r.Err.contains("Dateien verschiedener Stationen: 12345678 und 87654321")) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_FALSE(QFile::exists(pdf + ".part"));
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
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "pdftotext missing";
  QTemporaryDir dir;
  // 101 of 1008 values low: 89.98 % within ±10 % (fails 95 %); 3 at 53 Hz: 99.70 % within 49.5-50.5 Hz
  // (passes 99.5 %) and 99.70 % within 47-52 Hz (fails 100 %).
  const QString bad = Week(dir.path(), 12345678, 101, 3);
  TRun r = RunCli({"report", "en50160", bad, "--pdf", dir.filePath("bad.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QString text = PdfText(dir.filePath("bad.pdf"));
  EXPECT_TRUE(text.contains("1008")) << text.toStdString();
  EXPECT_TRUE(text.contains("89.98")) << text.toStdString();
  EXPECT_TRUE(QRegularExpression(
                  "Woche ab 01.12.2025\\s+1008\\s+99.70\\s+99.70\\s+89.98\\s+100.00\\s+100.00\\s+nicht bestanden")
                  .match(text)
                  .hasMatch())
      << text.toStdString();
  EXPECT_TRUE(text.contains("Gesamtergebnis: nicht bestanden"));
  // The percentile table: 5 % and 95 % values, extremes and the weeks within the limit.
  EXPECT_TRUE(QRegularExpression("U L1\\s+±10 % Un\\s+200.00\\s+230.00\\s+200.00\\s+230.00\\s+0/1\\s+nicht bestanden")
                  .match(text)
                  .hasMatch())
      << text.toStdString();
  const QString good = Week(dir.path(), 12345678 + 1, 0, 0);
  r = RunCli({"report", "en50160", good, "--pdf", dir.filePath("good.pdf")});
  text = PdfText(dir.filePath("good.pdf"));
  EXPECT_TRUE(text.contains("Gesamtergebnis: bestanden"));
  EXPECT_FALSE(text.contains("unvollständig")) << "a whole week";
  // A week judged on part of its values says so.
  r = RunCli({"report", "en50160", Week(dir.path(), 12345678 + 2, 0, 0, 120), "--pdf", dir.filePath("part.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(PdfText(dir.filePath("part.pdf")).contains("Woche ab 01.12.2025 unvollständig: 120 von 1008 10-Minuten-Werten"));
  // Input it cannot judge is the input's fault (1); a PDF it cannot put where asked is not stored (5).
  struct TRefusal {
    QStringList Args;
    int Exit;
    const char* Told;
  };
  WriteAll(dir.filePath("file"), "a file, not a folder");
  for (const TRefusal& c : {TRefusal{{Week(dir.path(), 12345678 + 3, 0, 0, 120, "1s"), "--pdf", dir.filePath("s.pdf")}, 1,
                                     "EN 50160 bewertet 10-Minuten-Werte, die Datei hat 1s"},
                            TRefusal{{good, "--nominal", "abc", "--pdf", dir.filePath("n.pdf")}, 1, "--nominal needs a voltage"},
                            TRefusal{{good, "--pdf", dir.filePath("file/x.pdf")}, 5, "nicht schreibbar"}}) {
    r = RunCli(QStringList{"report", "en50160"} + c.Args);
    EXPECT_EQ(r.Exit, c.Exit) << c.Told;
    EXPECT_TRUE(r.Err.contains(QLatin1String(c.Told))) << r.Err.toStdString();
    EXPECT_FALSE(r.Err.contains("QPainter")) << r.Err.toStdString();
  }

  // Statistics take only the channels of their kind: voltage harmonics here.
  {
    vanta::TContextHeader ctx;
    ctx.Class = "10min";
    ctx.Channels = {{1, 0, "V", "U L1"}, {2, 0, "%", "H3 U L1"}, {3, 0, "%", "H5 U L1"}, {4, 0, "%", "H5 I L1"}};
    vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx);
    // H5: 1..20 %: maximum 20, 95 % value (nearest rank of 20) 19, mean 10.5.
    for (int i = 1; i <= 20; ++i) w.Add(vanta::TRecRow{{1764547200u + uint32_t(i) * 600, 0}, {230.0f, 1.0f, float(i), 50.0f}});
    QString error;
    ASSERT_TRUE(w.Save(dir.filePath("harm.log"), error));
  }
  r = RunCli({"report", "harmonics-u", dir.filePath("harm.log"), "--pdf", dir.filePath("h.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  text = PdfText(dir.filePath("h.pdf"));
  EXPECT_TRUE(text.contains("Statistik Harmonische Spannung"));
  EXPECT_TRUE(QRegularExpression("H5 U L1\\s+20.00\\s+19.00\\s+10.50").match(text).hasMatch()) << text.toStdString();
  EXPECT_TRUE(text.contains("H3 U L1"));
  EXPECT_FALSE(text.contains("H5 I L1")) << "a current is no voltage harmonic";
  r = RunCli({"report", "bands-i", dir.filePath("harm.log"), "--pdf", dir.filePath("b.pdf")});
  EXPECT_NE(r.Exit, 0);
  EXPECT_TRUE(r.Err.contains("keine passenden Kanäle")) << r.Err.toStdString();

  // Residual current over its reference in two rows.
  {
    vanta::TContextHeader ctx;
    ctx.Class = "10min";
    ctx.Channels = {{1, 0x1400FFFF, "iR", "Differenzstrom"}, {2, 0x1400FFFF, "iRR", "Bezug"}};
    vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 0, false, {}, {}, {}}, ctx);
    for (int i = 0; i < 10; ++i) w.Add(vanta::TRecRow{{1764547200u + uint32_t(i) * 600, 0}, {i == 3 || i == 7 ? 45.0f : 20.0f, 30.0f}});
    QString error;
    ASSERT_TRUE(w.Save(dir.filePath("rcm.log"), error));
  }
  r = RunCli({"report", "rcm", dir.filePath("rcm.log"), "--pdf", dir.filePath("rcm.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  text = PdfText(dir.filePath("rcm.pdf"));
  EXPECT_TRUE(text.contains("Maximum: 45.00 mA")) << text.toStdString();
  EXPECT_TRUE(text.contains("Überschreitungen: 2"));
  r = RunCli({"report", "rcm", bad, "--pdf", dir.filePath("none.pdf")});
  EXPECT_NE(r.Exit, 0) << "a file without residual currents";

  QFile dict(dir.filePath("dict.json"));
  ASSERT_TRUE(dict.open(QIODevice::WriteOnly));
  dict.write(R"({"Seriennummer": "12345678", "Prüfer": "anna", "Abweichung U1": "0.02 %"})");
  dict.close();
  r = RunCli({"report", "calibration", "--dict", dict.fileName(), "--pdf", dir.filePath("cal.pdf")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  text = PdfText(dir.filePath("cal.pdf"));
  EXPECT_TRUE(text.contains("Kalibrierzerti")) << "(the fi may come out as a ligature)";
  EXPECT_TRUE(text.contains("Prüfer") && text.contains("anna"));
}

namespace vanta::test::cli {
// A session recorded with --trace plays back from the simulator's replay
// mode: the same command gets the same answers without the device.
TEST_F(CliTest, ATracedSessionReplaysWithoutTheDevice) {
  const QString trace = Data.filePath("session.pcapng");
  const TRun live = Cli({"--trace", trace, "--json", "status"});
  ASSERT_EQ(live.Exit, 0) << live.Err.toStdString();
  Sim.Stop();
  TSimProcess replay;
  ASSERT_TRUE(replay.Start({"--replay", trace}));
  QTemporaryDir other;
  const TRun again = RunCli({"--port", QString::number(replay.Port), "--data-dir", other.path(), "--json", "status"});
  EXPECT_EQ(again.Exit, 0) << again.Err.toStdString();
  EXPECT_EQ(again.Out, live.Out);
  EXPECT_FALSE(QString::fromUtf8(replay.Stderr()).contains(QLatin1String("the trace has")));
  // A trace that is no trace is refused at start.
  WriteAll(Data.filePath("junk.pcapng"), "junk");
  TSimProcess refused;
  EXPECT_FALSE(refused.Start({"--replay", Data.filePath("junk.pcapng")}));
}
}  // namespace vanta::test::cli
