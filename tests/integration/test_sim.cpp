// The simulator as a peer: raw frames in, answers checked byte by byte.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <random>

#include "ByteOrder.h"
#include "Ccci.h"
#include "GZip.h"
#include "RecordFile.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "Tar.h"
#include "VantaFW.h"

using namespace vanta;
using namespace vanta::ccci;
using vanta::test::HeadOf;
using vanta::test::StartFleet;
using vanta::test::TFleetDevice;
using vanta::test::TRawClient;
using vanta::test::TSimProcess;

namespace {
THeaderContext C(uint16_t ver = 4, uint16_t flags = 0) {
  THeaderContext c;
  c.Ver = ver;
  c.FTPNAK = flags;
  return c;
}

// Opens a protocol-4 session and returns the connected client.
void OpenV4(TRawClient& c, uint16_t port) {
  ASSERT_TRUE(c.Connect(port));
  c.Send(BuildHeaderOnly(C(), 1, 1, 2));
  const QByteArray a = c.Recv();
  ASSERT_EQ(a.size(), 148);
}

uint32_t NakCode(const QByteArray& f) {
  TNakRecord nak;
  EXPECT_EQ(DecodeNak(f, nak), QString());
  return nak.ErrorCode;
}

QByteArray RunLua(TRawClient& c, const QByteArray& statement, bool* failed = nullptr, int* frames = nullptr) {
  c.Send(BuildLuaText(C(), 6, 1, 0, statement, true));
  const auto all = c.RecvUntil([](const ccc_head_t& h) { return h.CMD == 6 && h.ExtCmd == 3; });
  QByteArray out;
  if (failed) *failed = false;
  for (const QByteArray& f : all) {
    const ccc_head_t h = HeadOf(f);
    EXPECT_EQ(h.CMD, 6);
    if (h.ExtCmd == 2 && failed) *failed = true;
    out += LuaOutputText(f);
  }
  if (frames) *frames = int(all.size());
  return out;
}
}  // namespace

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Sim.Start(Args())); }
  virtual QStringList Args() { return {}; }
  TSimProcess Sim;
};

// Most cases talk over one protocol-4 session opened before they start.
class SimSessionTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    if (!HasFatalFailure()) OpenV4(c, Sim.Port);
  }
  TRawClient c;
};

TEST_F(SimTest, Protocol4SessionCarriesTheFtpLogin) {
  for (auto [priv, ext] : {std::pair<uint8_t, uint16_t>{1, 2}, {2, 3}}) {
    TRawClient c;
    ASSERT_TRUE(c.Connect(Sim.Port));
    c.Send(BuildHeaderOnly(C(), 1, priv, ext));
    const QByteArray a = c.Recv();
    ASSERT_EQ(a.size(), 148);
    const ccc_head_t h = HeadOf(a);
    EXPECT_EQ(h.CMD, 1);
    EXPECT_EQ(h.Priv, priv);
    EXPECT_EQ(h.ExtCmd, ext);
    EXPECT_EQ(h.Ver, 4);
    EXPECT_EQ(h.SN, 12345678u);
    EXPECT_FALSE(CheckNAK(h.FTPNAK));
    TSessionAnswer s;
    ASSERT_EQ(DecodeSessionAnswer(a, s), QString());
    EXPECT_EQ(s.User, QByteArray("ccci"));
    EXPECT_EQ(s.Password, QByteArray("ccci-ftp"));
  }
}

TEST_F(SimTest, TicketsOfALuaShellOnTheSameRootOpenASession) {
  // What an outside SSH server's ForceCommand runs: the shell alone, as its
  // own process on the running device's storage.
  QProcess shell;
  shell.start(QStringLiteral(VANTA_SIM_PATH), {"--lua-shell", "--root", Sim.Root(), "--lua-user", "operator"});
  ASSERT_TRUE(shell.waitForStarted(5000));
  shell.write("print(user.ticketGet())\nprint(user.ticketGet())\n");
  shell.closeWriteChannel();
  ASSERT_TRUE(shell.waitForFinished(10000));
  const QList<QByteArray> outputs = shell.readAllStandardOutput().split('\x1b');
  ASSERT_GE(outputs.size(), 2);
  const QByteArray first = QByteArray(outputs[0]).replace('\x1a', "").trimmed();
  const QByteArray second = QByteArray(outputs[1]).replace('\x1a', "").trimmed();
  ASSERT_EQ(second.size(), 32);
  ASSERT_NE(first, second);

  auto start = [&](const QByteArray& ticket) {
    TRawClient c;
    if (!c.Connect(Sim.Port)) return QByteArray("no connection");
    c.Send(BuildStartRecord(C(5), 1, "operator", ticket));
    return c.Recv();
  };
  const QByteArray ok = start(second);
  ASSERT_EQ(ok.size(), 20);
  EXPECT_FALSE(CheckNAK(HeadOf(ok).FTPNAK)) << "the device honours the shell's ticket";
  EXPECT_EQ(NakCode(start(first)), 13u) << "a newer ticket replaces the older one";
  QFile file(Sim.Root() + "/ramdrive0/tickets");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "operator=" + second + "\n");
}

TEST_F(SimTest, WrongCredentialsGetNak13) {
  TRawClient c;
  ASSERT_TRUE(c.Connect(Sim.Port));
  c.Send(BuildStartRecord(C(5), 0, "operator", "wrong"));
  const QByteArray n = c.Recv();
  ASSERT_TRUE(CheckNAK(HeadOf(n).FTPNAK));
  EXPECT_EQ(HeadOf(n).CMD, 1);
  EXPECT_EQ(NakCode(n), 13u);
  c.Send(BuildStartRecord(C(5), 1, "operator", "forged-ticket"));
  EXPECT_EQ(NakCode(c.Recv()), 13u);
  c.Send(BuildStartRecord(C(5), 7, "operator", "operator"));
  EXPECT_EQ(NakCode(c.Recv()), 13u) << "unknown method";
}

TEST_F(SimTest, NothingButASessionBeforeTheSession) {
  TRawClient c;
  ASSERT_TRUE(c.Connect(Sim.Port));
  c.Send(BuildHeaderOnly(C(), 2, 0, 1));
  const QByteArray n = c.Recv();
  EXPECT_TRUE(CheckNAK(HeadOf(n).FTPNAK));
}

TEST_F(SimTest, ThirdConcurrentSessionIsRefusedWith120) {
  TRawClient a, b, c;
  OpenV4(a, Sim.Port);
  OpenV4(b, Sim.Port);
  ASSERT_TRUE(c.Connect(Sim.Port));
  c.Send(BuildHeaderOnly(C(), 1, 1, 2));
  EXPECT_EQ(NakCode(c.Recv()), 120u);
  // When one closes, a new session fits again.
  a.Send(BuildHeaderOnly(C(), 1, 0, 0xFFFF));
  ASSERT_TRUE(a.WaitClosed());
  test::SpinFor(100);
  TRawClient d;
  OpenV4(d, Sim.Port);
}

TEST_F(SimSessionTest, SessionStopClosesQuietly) {
  c.Send(BuildHeaderOnly(C(), 1, 0, 0xFFFF));
  EXPECT_TRUE(c.WaitClosed());
  EXPECT_TRUE(c.Recv(300).isEmpty()) << "no answer to a stop";
}

TEST_F(SimSessionTest, IdentityFieldsAtTheirOffsets) {
  c.Send(BuildHeaderOnly(C(), 2, 0, 0));
  TIdentityBasic basic;
  ASSERT_EQ(DecodeIdentityBasic(c.Recv(), basic), QString());
  EXPECT_EQ(basic.SerNum, 12345678u);
  EXPECT_EQ(basic.ArtNum, 1197500u);
  c.Send(BuildHeaderOnly(C(), 2, 0, 1));
  const QByteArray f = c.Recv();
  ASSERT_EQ(f.size(), 1592);
  TIdentityFull id;
  ASSERT_EQ(DecodeIdentityFull(f, id), QString());
  EXPECT_EQ(id.FirmwareWord, TVantaFW::MakeRaw(1, 2, 10, 0));
  EXPECT_EQ(id.Plant, QByteArray("Umspannwerk Nord"));
  EXPECT_EQ(id.Field, QByteArray("Feld 3"));
  EXPECT_EQ(id.Device, QByteArray("Vanta Sim"));
  EXPECT_EQ(id.TimeSet.tz, 2);
  EXPECT_EQ(id.TimeSet.dstmode, 1u);
  EXPECT_EQ(id.TimeSet.ntpip[0], QByteArray("192.0.2.10"));
  EXPECT_NEAR(double(id.DevClock), double(QDateTime::currentSecsSinceEpoch()), 5.0);
}

TEST_F(SimSessionTest, LuaOutputIsChunkedAndErrorsComeAsErrorOutput) {
  int frames = 0;
  bool failed = true;
  const QByteArray big = RunLua(c, "print(string.rep('x', 5000))", &failed, &frames);
  EXPECT_FALSE(failed);
  EXPECT_EQ(big, QByteArray(5000, 'x') + "\r\n");
  EXPECT_EQ(frames, 5 + 1) << "1024-byte chunks, then the end frame";

  const QByteArray err = RunLua(c, "print('before') error('boom')", &failed);
  EXPECT_TRUE(failed);
  EXPECT_TRUE(err.startsWith("before\r\n"));
  EXPECT_TRUE(err.contains("boom"));

  // Without CR LF, as over SSH, the statement runs the same.
  c.Send(BuildLuaText(C(), 6, 1, 0, "print(6*7)", false));
  const auto all = c.RecvUntil([](const ccc_head_t& h) { return h.ExtCmd == 3; });
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(LuaOutputText(all[0]), QByteArray("42\r\n"));
}

TEST_F(SimSessionTest, LuaCannotLeaveTheDeviceRoot) {
  bool failed = false;
  RunLua(c, "local f = io.open('/../../../../etc/passwd') print(f)", &failed);
  EXPECT_TRUE(failed);
  const QByteArray out = RunLua(c, "print(os.execute, io.popen, require)", &failed);
  EXPECT_EQ(out, QByteArray("nil\tnil\tnil\r\n"));
  RunLua(c, "while true do end", &failed);
  EXPECT_TRUE(failed) << "a runaway loop is stopped";
  EXPECT_EQ(RunLua(c, "print(1)"), QByteArray("1\r\n")) << "and the engine still works";
}

TEST_F(SimSessionTest, DeviceLibraryAnswers) {
  EXPECT_EQ(RunLua(c, "print(user.authorized('lua.user.ticketGet')['lua.user.ticketGet'])"), QByteArray("true\r\n"));
  EXPECT_EQ(RunLua(c, "print(uti.err2ascii(0))"), QByteArray("No Error\r\n"));
  EXPECT_EQ(RunLua(c, "print(pq.calState())"), QByteArray("Calibration ok\r\n"));
  // A failed update prints its code and also answers with error output.
  bool failed = false;
  EXPECT_EQ(RunLua(c, "print(uti.fwUpdate('/mnt/flashdrive0/data/missing.zip'))", &failed),
            QByteArray("1\r\nfwUpdate: Update package not found\r\n"));
  EXPECT_TRUE(failed);
  RunLua(c, "log.print('hello from the test')");
  QFile log(Sim.Root() + "/mnt/flashdrive0/data/logd.log");
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_TRUE(log.readAll().contains("hello from the test"));
  const QByteArray ls = RunLua(c, "fs.ls('/mnt/flashdrive0/data/events/*.log')");
  EXPECT_EQ(ls.count("file "), 7);
  EXPECT_EQ(RunLua(c, "local s = uti.stat() print(s.version.major, s.serial, s.time.utc.fracsec.dst)"),
            QByteArray("2\t12345678\t0\r\n"));
  RunLua(c, "fs.cp('//mnt/flashdrive0/data/logd.log', '//mnt/flashdrive0/data/ccci/scratchpad/logd.log')");
  EXPECT_TRUE(QFile::exists(Sim.Root() + "/mnt/flashdrive0/data/ccci/scratchpad/logd.log"));
}

TEST_F(SimSessionTest, ScratchpadRoundTrip) {
  c.Send(BuildScratchpadUpload(C(), 7, 0, 2, "status.lua", "print('s')"));
  const QByteArray ack = c.Recv();
  EXPECT_EQ(HeadOf(ack).ExtCmd, 2);
  EXPECT_FALSE(CheckNAK(HeadOf(ack).FTPNAK));
  c.Send(BuildFileName(C(), 7, 0, 1, "status.lua", 0));
  EXPECT_EQ(c.Recv().mid(20), QByteArray("print('s')"));
  c.Send(BuildFileName(C(), 7, 0, 3, "status.lua", 0));
  EXPECT_EQ(HeadOf(c.Recv()).ExtCmd, 3);
  c.Send(BuildFileName(C(), 7, 0, 1, "status.lua", 0));
  EXPECT_EQ(NakCode(c.Recv()), 2u);
  c.Send(BuildFileName(C(), 7, 0, 1, "../../../../../../etc/passwd", 0));
  EXPECT_EQ(NakCode(c.Recv()), 13u);
  c.Send(BuildScratchpadUpload(C(), 7, 0, 2, "../../../../../../tmp/escape", "x"));
  EXPECT_TRUE(CheckNAK(HeadOf(c.Recv()).FTPNAK));
}

TEST_F(SimSessionTest, NtpTunnelRequestsAndRepliesAreChecked) {
  c.Send(BuildHeaderOnly(C(), 9, 1, 0));
  EXPECT_EQ(HeadOf(c.Recv()).ExtCmd, 0);
  const QByteArray req = c.Recv(3000);
  ASSERT_EQ(HeadOf(req).ExtCmd, 2);
  QByteArray packet;
  ASSERT_EQ(DecodeNtpRequest(req, packet), QString());
  EXPECT_EQ(uint8_t(packet[0]) & 7, 3) << "client mode";
  // Answer as a server would: mode 4, stratum 2, originate = their transmit.
  QByteArray reply(48, '\0');
  reply[0] = char(0x24);
  reply[1] = char(2);
  reply.replace(24, 8, packet.mid(40, 8));
  reply.replace(32, 8, packet.mid(40, 8));
  reply.replace(40, 8, packet.mid(40, 8));
  c.Send(BuildNtpReply(C(), reply));
  c.Send(BuildNtpReply(C(), QByteArray(48, '\0')));  // a broken one
  test::SpinFor(200);
  bool failed = false;
  const QByteArray stat = RunLua(c, "local s = uti.stat().ntpTunnel print(s.good, s.bad)", &failed);
  EXPECT_EQ(stat, QByteArray("1\t1\r\n"));
  c.Send(BuildHeaderOnly(C(), 9, 1, 1));
  const auto frames = c.RecvUntil([](const ccc_head_t& h) { return h.CMD == 9 && h.ExtCmd == 1; });
  ASSERT_FALSE(frames.empty());
}

TEST_F(SimTest, MalformedInputNeitherCrashesNorStopsTheSimulator) {
  {
    TRawClient c;
    ASSERT_TRUE(c.Connect(Sim.Port));
    QByteArray junk = BuildHeaderOnly(C(), 2, 0, 0);
    PutU32At(junk, 12, 5);
    c.SendRaw(junk + QByteArray(100, '\xff'));
    std::mt19937 rng(1);
    QByteArray noise;
    for (int i = 0; i < 4096; ++i) noise.append(char(rng() % 256));
    c.SendRaw(noise);
    test::SpinFor(100);
  }
  {
    TRawClient c;
    OpenV4(c, Sim.Port);
    c.Send(BuildHeaderOnly(C(), 77, 0, 0));
    EXPECT_TRUE(CheckNAK(HeadOf(c.Recv()).FTPNAK)) << "unknown command gets a NAK";
    c.Send(BuildObject(C(), 4, 0, 2, 999));
    EXPECT_EQ(NakCode(c.Recv()), 40u) << "unknown stream handle";
    c.Send(BuildHeaderOnly(C(), 2, 0, 0));
    EXPECT_EQ(c.Recv().size(), CIdentityBasicSize);
  }
  EXPECT_TRUE(Sim.Running());
}

// ---- per-generation record layouts -------------------------------------------------

class SimGenerationTest : public ::testing::TestWithParam<int> {};

TEST_P(SimGenerationTest, StreamRecordLengths) {
  const int gen = GetParam();
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--generation", QString::number(gen)}));
  TRawClient c;
  OpenV4(c, sim.Port);
  struct Want {
    uint32_t Obj;
    int Length;
  };
  const int osc = (gen == 0 ? 40 : 60) + 4096 * (gen == 2 ? 48 : 44);
  for (const Want& w : {Want{0x04FFFFFF, gen == 2 ? 2328 : 2320}, Want{0x01FFFFFF, gen == 2 ? 6264 : 6052},
                        Want{0x08FFFFFF, osc}}) {
    c.Send(BuildObject(C(), 4, 0, 1, w.Obj));
    uint32_t hdl = 0;
    ASSERT_EQ(DecodeStreamStarted(c.Recv(), hdl), QString());
    EXPECT_GE(hdl, 2u);
    c.Send(BuildObject(C(), 4, 0, 2, hdl));
    const QByteArray rec = c.Recv();
    EXPECT_EQ(HeadOf(rec).ExtCmd, 3);
    EXPECT_EQ(rec.size() - 20, w.Length) << std::hex << w.Obj;
    EXPECT_EQ(GetU32At(rec, 20), w.Obj);
    if (w.Obj == 0x08FFFFFF) {
      const int head = gen == 0 ? 40 : 60;
      EXPECT_EQ(GetU32At(rec, 20 + head - 8), 4096u) << "sample count";
      EXPECT_EQ(GetU32At(rec, 20 + head - 4), 40960u) << "sample rate";
    }
    if (w.Obj == 0x04FFFFFF) {
      TByteReader r(rec);
      r.Seek(20 + 16);
      EXPECT_NEAR(r.F32(), 50.0f, 0.0041f) << "50 Hz with its slow drift";
      EXPECT_FLOAT_EQ(r.F32(), 230.0f);
    }
    c.Send(BuildObject(C(), 4, 0, 0xFFFF, hdl));
    EXPECT_EQ(HeadOf(c.Recv()).ExtCmd, 0xFFFF);
  }
  c.Send(BuildObject(C(), 4, 0, 1, CBinaryObjectId));
  uint32_t bin = 0;
  ASSERT_EQ(DecodeStreamStarted(c.Recv(), bin), QString());
  c.Send(BuildObject(C(), 4, 0, 2, bin));
  TBinaryInputRecord b;
  ASSERT_EQ(DecodeBinaryInput(c.Recv(), b), QString());
  EXPECT_EQ(b.InputCnt, 8);
}

INSTANTIATE_TEST_SUITE_P(Generations, SimGenerationTest, ::testing::Values(0, 1, 2));

TEST(SimStart, BadArgumentsAreReported) {
  TSimProcess sim;
  EXPECT_FALSE(sim.Start({"--fault", "explode"}));
  EXPECT_TRUE(sim.Stderr().contains("unknown fault"));
}

TEST(SimStart, StopsCleanlyOnTerminate) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start());
  sim.Stop();
  EXPECT_EQ(sim.ExitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.ExitCode(), 0);
}

TEST_F(SimSessionTest, SampleContentIsThere) {
  // The mapping database's gzip copy, listed in xml-versions.txt.
  c.Send(BuildFileName(C(), 7, 0, 1, "xml-versions.txt", 0));
  const QByteArray versions = c.Recv().mid(20);
  EXPECT_TRUE(versions.contains("MappingDB.gz 12\r\n"));
  c.Send(BuildFileName(C(), 7, 0, 1, "MappingDB.gz", 0));
  QByteArray db;
  ASSERT_EQ(GunzipBytes(c.Recv().mid(20), db), QString());
  EXPECT_TRUE(db.startsWith(QByteArray("SQLite format 3\0", 16)));
  // The setup document: hundreds of items, the module group, every kind.
  c.Send(BuildHeaderOnly(C(4, CFlagTGZ), 3, 0, 1));
  std::vector<TTarEntry> entries;
  ASSERT_EQ(TarGzUnpack(c.Recv().mid(20), entries), QString());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Name, "station.icd");
  const QByteArray& xml = entries[0].Data;
  EXPECT_GT(xml.count("<parameter ") + xml.count("<datapoint ") + xml.count("<property "), 250);
  EXPECT_GT(xml.count("<parameter "), 150);
  EXPECT_GT(xml.count("<datapoint "), 50);
  EXPECT_TRUE(xml.contains("name=\"sys\""));
  EXPECT_TRUE(xml.contains("id=\"4278190084\""));
  EXPECT_TRUE(xml.contains("<mandatory>"));
  for (const char* type : {"float", "integer", "boolean", "uint32", "secret", "measId", "exitmeasId", "ipaddress", "text"})
    EXPECT_TRUE(xml.contains(QByteArray("<type>") + type + "</type>")) << type;
}

// ---- stored records ----------------------------------------------------------------------

namespace {
// Every stored file as the offline store sees it: name rule and readable header.
QStringList StoredRecords(const QString& root) {
  QStringList out;
  QDirIterator it(root + "/mnt/flashdrive0/data", {"*.log"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (path.endsWith(QLatin1String("/logd.log"))) continue;
    out << QDir(root + "/mnt/flashdrive0/data").relativeFilePath(path);
  }
  out.sort();
  return out;
}
}  // namespace

TEST_F(SimTest, DefaultRecordsFollowTheNameRuleAndReadBack) {
  static const QRegularExpression rule(QStringLiteral("^([0-9a-zA-Z]*-{1})?([0-9]{8})-([0-9]{10})-([0-9]{3}).log$"));
  const QStringList files = StoredRecords(Sim.Root());
  QStringList classes;
  for (const QString& f : files) {
    const QString name = f.section(QLatin1Char('/'), -1);
    EXPECT_TRUE(rule.match(name).hasMatch()) << f.toStdString();
    EXPECT_EQ(rule.match(name).captured(2), "12345678");
    TRecordFile rec;
    QString error;
    ASSERT_TRUE(ReadRecordFile(Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/") + f, rec, error)) << error.toStdString();
    EXPECT_TRUE(rec.Warning.isEmpty());
    EXPECT_GT(rec.Records, 0) << f.toStdString();
    if (f.startsWith(QLatin1String("recorder/"))) classes << f.section(QLatin1Char('/'), 1, 1) + QLatin1Char('/') + rec.Header.Context.Class;
  }
  classes.sort();
  EXPECT_EQ(classes, (QStringList{"async/BinIn", "rec/Hp", "rec/Osc", "rec/Trg", "sync/10T", "sync/10min", "sync/10s",
                                  "sync/150T", "sync/1s", "sync/2h", "sync/Mmin", "sync/Ns", "sync/Slave1", "sync/Xyz"}));
  EXPECT_EQ(files.filter("events/").size(), 7);

  // A triggered disturbance is one more Osc, Hp and Trg triple.
  TRawClient c;
  OpenV4(c, Sim.Port);
  RunLua(c, "pq.triggerRec()");
  const QStringList after = StoredRecords(Sim.Root());
  EXPECT_EQ(after.size(), files.size() + 3);
  EXPECT_EQ(after.filter("rec/Osc-").size(), 2);
}

TEST(SimPopulate, MoreFilesOnRequestSpreadOverClassesAndEvents) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--populate", "40"}));
  const QStringList files = StoredRecords(sim.Root());
  EXPECT_EQ(files.size(), 7 + 14 + 40);
  EXPECT_GT(files.filter("events/").size(), 7) << "some of them events";
  EXPECT_GT(files.filter("sync/2h-").size(), 1) << "and the classes";
}

// ---- several devices in one process, paced links -------------------------------------

namespace {
QByteArray Cli(uint16_t port, const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(VANTA_CLI_PATH), QStringList{"--port", QString::number(port)} + args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    ADD_FAILURE() << "vanta-cli " << args.join(QLatin1Char(' ')).toStdString() << ": " << p.readAllStandardError().toStdString();
    return {};
  }
  return p.readAllStandardOutput();
}

// Stores `size` bytes on the scratchpad and times reading them back.
qint64 TimedScratchpadDownload(uint16_t port, qsizetype size) {
  TRawClient c;
  OpenV4(c, port);
  QByteArray payload(size, '\0');
  std::mt19937 rng(7);
  for (char& b : payload) b = char(rng());
  c.Send(BuildScratchpadUpload(C(), 7, 0, 2, "big.bin", payload));
  if (HeadOf(c.Recv(20000)).ExtCmd != 2) {
    ADD_FAILURE() << "upload not acknowledged";
    return -1;
  }
  QElapsedTimer t;
  t.start();
  c.Send(BuildFileName(C(), 7, 0, 1, "big.bin", 0));
  const QByteArray answer = c.Recv(20000);
  const qint64 ms = t.elapsed();
  EXPECT_EQ(answer.mid(20), payload) << "the paced answer arrives whole and unchanged";
  return ms;
}

// Stops the simulator however the test ends.
struct TStopAtEnd {
  QProcess& Proc;
  ~TStopAtEnd() { vanta::test::StopProcess(Proc); }
};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool CSanitized = true;
#else
constexpr bool CSanitized = false;
#endif
}  // namespace

TEST(SimFleet, ThreeDevicesEachWithSerialPortAndContentOfTheirOwn) {
  QProcess proc;
  TStopAtEnd stop{proc};
  std::vector<TFleetDevice> devs;
  ASSERT_TRUE(StartFleet(proc, 3, {"--serial-number", "40000000"}, devs));
  QSet<uint32_t> serials;
  QSet<uint16_t> ports;
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(devs[size_t(k)].Index, k);
    EXPECT_EQ(devs[size_t(k)].Serial, 40000000u + uint32_t(k));
    serials.insert(devs[size_t(k)].Serial);
    ports.insert(devs[size_t(k)].Port);
  }
  EXPECT_EQ(serials.size(), 3);
  EXPECT_EQ(ports.size(), 3);
  EXPECT_FALSE(ports.contains(0));

  QList<QStringList> lists;
  for (const TFleetDevice& d : devs) {
    const QJsonObject id = QJsonDocument::fromJson(Cli(d.Port, {"identify", "--json"})).object();
    EXPECT_EQ(id.value("serial").toInteger(), qint64(d.Serial)) << "device " << d.Index;
    const QJsonArray events =
        QJsonDocument::fromJson(Cli(d.Port, {"events", "list", "--json"})).object().value("events").toArray();
    EXPECT_GE(events.size(), 5) << "device " << d.Index;
    // Without the serial number in front the names are the events' times:
    // the devices must differ in those too, not only in the serial number.
    QStringList times;
    for (const QJsonValue& e : events) {
      const QString path = e.toObject().value("path").toString();
      EXPECT_TRUE(path.startsWith(QString::number(d.Serial))) << path.toStdString();
      times << path.section(QLatin1Char('-'), 1) + QLatin1Char(' ') + e.toObject().value("end").toString();
    }
    lists << times;
  }
  EXPECT_NE(lists[0], lists[1]);
  EXPECT_NE(lists[1], lists[2]);
  EXPECT_NE(lists[0], lists[2]);
  vanta::test::StopProcess(proc);
  EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(proc.exitCode(), 0);
}

TEST(SimFleet, PortsFollowTheGivenOne) {
  // Find three free consecutive ports (another process may still take one
  // in between; then the start fails loudly rather than passing).
  uint16_t base = 0;
  for (uint16_t candidate = 47100; candidate < 48900 && base == 0; candidate += 7) {
    QTcpServer a, b, c;
    if (a.listen(QHostAddress::LocalHost, candidate) && b.listen(QHostAddress::LocalHost, uint16_t(candidate + 1)) &&
        c.listen(QHostAddress::LocalHost, uint16_t(candidate + 2)))
      base = candidate;
  }
  ASSERT_NE(base, 0);
  QProcess proc;
  TStopAtEnd stop{proc};
  std::vector<TFleetDevice> devs;
  ASSERT_TRUE(StartFleet(proc, 3, {"--port", QString::number(base)}, devs));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(devs[size_t(k)].Port, base + k);
    EXPECT_EQ(devs[size_t(k)].Serial, 12345678u + uint32_t(k));
  }
  TRawClient c;
  OpenV4(c, uint16_t(base + 2));
  c.Send(BuildHeaderOnly(C(), 2, 0, 0));
  TIdentityBasic basic;
  ASSERT_EQ(DecodeIdentityBasic(c.Recv(), basic), QString());
  EXPECT_EQ(basic.SerNum, 12345680u);
}

TEST(SimFleet, OptionsOfASingleDeviceAreRefused) {
  QProcess proc;
  proc.start(QStringLiteral(VANTA_SIM_PATH), {"--devices", "2", "--port", "0", "--ssh-port", "0"});
  ASSERT_TRUE(proc.waitForFinished(20000));
  EXPECT_EQ(proc.exitCode(), 1);
  EXPECT_TRUE(proc.readAllStandardError().contains("--ssh-port serves one device only"));
}

TEST(SimFleet, FiftyDevicesStartQuickly) {
  QProcess proc;
  TStopAtEnd stop{proc};
  std::vector<TFleetDevice> devs;
  qint64 ms = -1;
  ASSERT_TRUE(StartFleet(proc, 50, {}, devs, &ms));
  // The sanitizers slow every file written at start several times over;
  // the release figure for 200 devices is in bench/fleet_start.sh.
  EXPECT_LT(ms, CSanitized ? 15000 : 2000);
  EXPECT_EQ(devs.back().Serial, 12345678u + 49u);
  // Listening is not all: the last device answers with records of its own
  // at once, whether or not the others' roots are filled yet.
  const QJsonArray events =
      QJsonDocument::fromJson(Cli(devs.back().Port, {"events", "list", "--json"})).object().value("events").toArray();
  ASSERT_GE(events.size(), 5);
  EXPECT_TRUE(events.first().toObject().value("path").toString().startsWith("12345727-"));
  vanta::test::StopProcess(proc);
  EXPECT_EQ(proc.exitCode(), 0);
}

TEST(SimRate, PacesALargeDownloadLikeASlowLinkOnlyWhenAsked) {
  // 1 MB at 0.5 MB/s: about two seconds (the first 25 kB leave at once).
  for (const auto& [args, least, most] :
       {std::tuple{QStringList{"--rate", "500000"}, 1600, 4000}, std::tuple{QStringList{}, 0, 1499}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    TSimProcess sim;
    ASSERT_TRUE(sim.Start(args));
    const qint64 ms = TimedScratchpadDownload(sim.Port, 1000000);
    EXPECT_GE(ms, least);
    EXPECT_LE(ms, most) << "only --rate slows the answers";
  }
}

TEST(SimRate, EveryDeviceOfAFleetIsPaced) {
  QProcess proc;
  TStopAtEnd stop{proc};
  std::vector<TFleetDevice> devs;
  ASSERT_TRUE(StartFleet(proc, 2, {"--rate", "250000"}, devs));
  const qint64 ms = TimedScratchpadDownload(devs[1].Port, 500000);
  EXPECT_GE(ms, 1600);
  EXPECT_LE(ms, 4000);
}

TEST(SimRate, CloseAfterFaultStillCutsAPacedAnswer) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({"--rate", "100000", "--fault", "close-after=30000"}));
  TRawClient c;
  ASSERT_TRUE(c.Connect(sim.Port));
  c.Send(BuildHeaderOnly(C(), 1, 1, 2));
  ASSERT_EQ(c.Recv().size(), 148);
  c.Send(BuildScratchpadUpload(C(), 7, 0, 2, "big.bin", QByteArray(60000, 'x')));
  ASSERT_EQ(HeadOf(c.Recv()).ExtCmd, 2);
  c.Send(BuildFileName(C(), 7, 0, 1, "big.bin", 0));
  EXPECT_TRUE(c.Recv(3000).isEmpty()) << "the answer is cut";
  EXPECT_TRUE(c.WaitClosed(5000));
}

// Throughput benchmarks ask the device for recordings of a given size and
// more event files: readable files of that size, the defaults still there.
TEST(SimSizedContent, RecordingsOfTheAskedSizeAndMoreEvents) {
  TSimProcess plain, sized;
  ASSERT_TRUE(plain.Start());
  ASSERT_TRUE(sized.Start({"--recordings", "2", "--recording-mb", "0.25", "--events", "3"}));
  const auto count = [](const QString& root, const QString& pattern) {
    QStringList found;
    QDirIterator it(root, {pattern}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) found << it.next();
    return found;
  };
  const QStringList big = count(sized.Root(), "1s-*.log");
  const QStringList small = count(plain.Root(), "1s-*.log");
  ASSERT_EQ(big.size(), small.size() + 2);
  int sizedFiles = 0;
  for (const QString& path : big) {
    const qint64 size = QFileInfo(path).size();
    if (size < 256 * 1024) continue;
    ++sizedFiles;
    EXPECT_LT(size, 256 * 1024 + 256) << "one row more than asked at most";
    TContextHeader ctx;
    QList<TRecRow> rows;
    QString error;
    ASSERT_TRUE(AnalyseRecData(path, ctx, rows, error)) << error.toStdString();
    EXPECT_GT(rows.size(), 1000);
    EXPECT_EQ(ctx.Class, "1s");
  }
  EXPECT_EQ(sizedFiles, 2);
  const auto events = [&](const TSimProcess& s) {
    int n = 0;
    for (const QString& p : count(s.Root(), "*.log")) n += p.contains(QLatin1String("/events/")) ? 1 : 0;
    return n;
  };
  EXPECT_EQ(events(sized), events(plain) + 3);
}
