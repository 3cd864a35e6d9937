// CCCI through SSH against the simulator's SSH server: host-key store,
// login, ticket and password session starts, expired passwords, Lua over the
// shell, and the protocol-4 fall-back.
#include <gtest/gtest.h>

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "SimProcess.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

using namespace vanta;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {
struct TSshClient {
  QTemporaryDir* Ini;
  std::unique_ptr<TTCPComUnit> U = std::make_unique<TTCPComUnit>(true);
  QStringList Log;
  QList<TFingerprintState> Asked;
  TConnectHashAction Answer = TConnectHashAction::chaSave;
  int Done = 0, Failed = 0, StopWork = 0;
  TSshClient(TSimProcess& sim, QTemporaryDir& ini, const QString& user, const QString& pw) : Ini(&ini) {
    U->FOnLogCallBack = [this](QObject*, const QString& l, bool) { Log << l; };
    U->FOnConnDone = [this](QObject*, bool ok) { (ok ? Done : Failed) += 1; };
    U->FStopWork = [this] { ++StopWork; };
    U->FOnFingerprint = [this](TFingerprintState s, const QString&, const QString&) {
      Asked << s;
      return Answer;
    };
    U->FIniFolder = ini.path() + QLatin1Char('/');
    U->SetSSHUserPass(user, pw);
    U->SetIPAndPort(QStringLiteral("127.0.0.1"), sim.SshPort);
    U->FOutPort = sim.Port;
  }
  ~TSshClient() { U->FOnLogCallBack = nullptr; }
  bool Connect() {
    U->DoConnect();
    const bool ok = SpinUntil([this] { return Done + Failed > 0; }, 15000) && Done > 0;
    if (!ok && qEnvironmentVariableIsSet("VANTA_TEST_VERBOSE")) qWarning("%s", qPrintable(Log.join('\n')));
    return ok;
  }
  bool Has(const QString& prefix) const {
    for (const QString& l : Log)
      if (l.startsWith(prefix)) return true;
    return false;
  }
};
}  // namespace

class SshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Sim.Start({QStringLiteral("--ssh-port"), QStringLiteral("0"), QStringLiteral("--expired-user"), QStringLiteral("guest")}));
    ASSERT_NE(Sim.SshPort, 0);
  }
  TSimProcess Sim;
  QTemporaryDir Ini;
};

TEST_F(SshTest, FirstConnectionStoresTheKeySecondDoesNotAsk) {
  {
    TSshClient c(Sim, Ini, QStringLiteral("operator"), QStringLiteral("operator"));
    ASSERT_TRUE(c.Connect());
    EXPECT_EQ(c.Asked, QList<TFingerprintState>{TFingerprintState::fsNew});
    EXPECT_EQ(c.U->FSN, 12345678u);
    EXPECT_EQ(c.U->FVer, 5);
    EXPECT_TRUE(c.Has(QStringLiteral("Sending Auth with User: operator and Ticket "))) << "the user may fetch a ticket";
  }
  QFile hash(Ini.filePath(QStringLiteral("Hash")));
  ASSERT_TRUE(hash.open(QIODevice::ReadOnly));
  const QByteArray stored = hash.readAll();
  EXPECT_TRUE(stored.startsWith(QStringLiteral("127.0.0.1:%1=").arg(Sim.SshPort).toLatin1()));
  hash.close();
  TSshClient again(Sim, Ini, QStringLiteral("operator"), QStringLiteral("operator"));
  ASSERT_TRUE(again.Connect());
  EXPECT_TRUE(again.Asked.isEmpty());
}

TEST_F(SshTest, ChangedKeyIsAskedAboutAndRefusalKeepsTheStore) {
  QFile hash(Ini.filePath(QStringLiteral("Hash")));
  ASSERT_TRUE(hash.open(QIODevice::WriteOnly));
  const QByteArray line = QStringLiteral("127.0.0.1:%1=01:02:03\n").arg(Sim.SshPort).toLatin1();
  hash.write(line);
  hash.close();
  TSshClient c(Sim, Ini, QStringLiteral("operator"), QStringLiteral("operator"));
  c.Answer = TConnectHashAction::chaCancel;
  EXPECT_FALSE(c.Connect());
  EXPECT_EQ(c.Asked, QList<TFingerprintState>{TFingerprintState::fsChanged});
  ASSERT_TRUE(hash.open(QIODevice::ReadOnly));
  EXPECT_EQ(hash.readAll(), line);
}

TEST_F(SshTest, WrongPasswordIsAnAuthenticationError) {
  TSshClient c(Sim, Ini, QStringLiteral("operator"), QStringLiteral("wrong"));
  int renewals = 0;
  c.U->FOnPasswordExpired = [&](QString&) {
    ++renewals;
    return false;
  };
  EXPECT_FALSE(c.Connect());
  EXPECT_EQ(renewals, 0) << "a wrong password is no expired one: no renewal dialog";
  EXPECT_TRUE(c.U->FAuthError);
  EXPECT_TRUE(c.Has(QStringLiteral("SSH Auth Error")));
  EXPECT_EQ(c.StopWork, 1);
}

TEST_F(SshTest, WithoutTheTicketRightThePasswordStartsTheSession) {
  // guest's password has expired: it is renewed on the way in.
  TSshClient c(Sim, Ini, QStringLiteral("guest"), QStringLiteral("guest"));
  int asked = 0;
  c.U->FOnPasswordExpired = [&](QString& fresh) {
    ++asked;
    fresh = QStringLiteral("Neu-12345");
    return true;
  };
  ASSERT_TRUE(c.Connect());
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(c.Has(QStringLiteral("Sending ccc_start_s CMD: 1 | Priv: 0 | ExtCmd: 0 | Method: 0")));
  EXPECT_FALSE(c.Has(QStringLiteral("Sending Auth with User:")));
  TSshClient later(Sim, Ini, QStringLiteral("guest"), QStringLiteral("Neu-12345"));
  EXPECT_TRUE(later.Connect()) << "the new password counts from now on";
}

TEST_F(SshTest, LuaThroughTheShell) {
  TSshClient c(Sim, Ini, QStringLiteral("operator"), QStringLiteral("operator"));
  ASSERT_TRUE(c.Connect());
  QString out;
  c.U->RunLua(QStringLiteral("for i = 1, 200 do print(i) end"), [&](QObject*, const QString& t) { out = t; });
  ASSERT_TRUE(SpinUntil([&] { return !out.isEmpty(); }, 5000));
  EXPECT_TRUE(out.startsWith(QStringLiteral("1\r\n2\r\n")));
  EXPECT_TRUE(out.endsWith(QStringLiteral("200\r\n")));
  EXPECT_TRUE(c.U->FSuccess);
  bool closed = false;
  c.U->ShutDown(c.U.get(), [&](QObject*) { closed = true; });
  EXPECT_TRUE(SpinUntil([&] { return closed; }, 6000));
}

TEST_F(SshTest, DownloadReportsProgressWhileTheBytesArrive) {
  const qint64 size = 3 * 1024 * 1024;
  {
    QFile f(Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/recorder/sync/10min-12345678-1765000000-999.log"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'r'));
  }
  TSshClient c(Sim, Ini, QStringLiteral("operator"), QStringLiteral("operator"));
  ASSERT_TRUE(c.Connect());
  QTemporaryDir data;
  c.U->FRecDir = data.path() + QLatin1Char('/');
  c.U->FGZ = false;
  std::vector<std::pair<TWorkStatus, int64_t>> reads;
  c.U->FOnWorkEvent = [&](TWorkMode m, int64_t n, TWorkStatus st) {
    if (m == TWorkMode::wmRead) reads.push_back({st, n});
  };
  bool stored = false;
  c.U->FRecToTable = [&](QObject*, const QString&) { stored = true; };
  c.U->SendCommand(ccci::TCcci::READOUT_REC_RD, QStringLiteral("sync/10min-12345678-1765000000-999.log"), 0u, false);
  ASSERT_TRUE(SpinUntil([&] { return stored; }, 20000));
  EXPECT_EQ(QFileInfo(data.path() + QStringLiteral("/10min-12345678-1765000000-999.log")).size(), size);
  // The answer's header starts the work with the frame's size, progress
  // follows as the channel delivers, and the work ends with the frame.
  auto begin = std::find_if(reads.begin(), reads.end(), [&](const auto& r) { return r.second > size; });
  ASSERT_NE(begin, reads.end());
  EXPECT_EQ(begin->first, TWorkStatus::WorkBegin);
  int partial = 0;
  for (auto it = begin; it != reads.end(); ++it)
    if (it->first == TWorkStatus::WorkWorking && it->second < size) ++partial;
  EXPECT_GE(partial, 2) << "progress while the answer is still arriving";
  EXPECT_EQ(reads.back().first, TWorkStatus::WorkEnd);
}

TEST_F(SshTest, DeviceGoingAwayIsToldOnceWithTheStateLine) {
  TSshClient c(Sim, Ini, QStringLiteral("operator"), QStringLiteral("operator"));
  QStringList messages;
  c.U->FDisplayConnMessage = [&](const QString& t, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) {
    messages << t;
  };
  ASSERT_TRUE(c.Connect());
  c.U->EnableTimer(true);
  c.U->RunLua(QStringLiteral("print(1)"), [](QObject*, const QString&) {});
  Sim.Stop();
  EXPECT_TRUE(SpinUntil([&] { return messages.contains(ConnectionLostText()); }, 5000));
  SpinFor(500);
  EXPECT_EQ(messages.count(ConnectionLostText()), 1);
  EXPECT_TRUE(c.Has(QStringLiteral("Harddisc: False | ShutCompl: False | Wanted: False")));
  EXPECT_TRUE(c.Has(QStringLiteral("Terminating RedThread")));
  EXPECT_FALSE(c.U->IsConnected());
  EXPECT_FALSE(c.U->IsTimerActive());
  EXPECT_FALSE(c.U->FWaitForAnswer) << "no wait is left behind";
}

TEST(SshFallback, Protocol4DeviceThroughSsh) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--ssh-port"), QStringLiteral("0"), QStringLiteral("--protocol"), QStringLiteral("4")}));
  QTemporaryDir ini;
  TSshClient c(sim, ini, QStringLiteral("operator"), QStringLiteral("operator"));
  ASSERT_TRUE(c.Connect());
  EXPECT_TRUE(c.Has(QStringLiteral("FallBack CCCI V4")));
  EXPECT_EQ(c.U->FVer, 4);
}

TEST_F(SshTest, CliThroughSsh) {
  QTemporaryDir data;
  auto run = [&](const QStringList& extra) {
    QProcess p;
    p.start(QStringLiteral(VANTA_CLI_PATH),
            QStringList{QStringLiteral("--ssh"), QStringLiteral("--ssh-port"), QString::number(Sim.SshPort),
                        QStringLiteral("--ccci-port"), QString::number(Sim.Port), QStringLiteral("--user"),
                        QStringLiteral("operator"), QStringLiteral("--password"), QStringLiteral("operator"),
                        QStringLiteral("--data-dir"), data.path()} +
                extra);
    p.waitForFinished(30000);
    return std::pair<int, QString>(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
  };
  auto [rc, out] = run({QStringLiteral("identify")});
  EXPECT_EQ(rc, 3) << "an unknown host key is refused without --trust-new-host-key";
  std::tie(rc, out) = run({QStringLiteral("--trust-new-host-key"), QStringLiteral("lua"), QStringLiteral("print(2*21)")});
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, QStringLiteral("42\n"));
  std::tie(rc, out) = run({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("12345678-1764903600-375.log")});
  EXPECT_EQ(rc, 0) << "the stored key is known now";
  EXPECT_EQ(QFileInfo(data.filePath(QStringLiteral("12345678/Event/12345678-1764903600-375.log"))).size(), 149);
  std::tie(rc, out) = run({QStringLiteral("setup"), QStringLiteral("get"), data.filePath(QStringLiteral("s.xml"))});
  EXPECT_EQ(rc, 0);
}

TEST(SshConnect, AServerThatNeverAnswersIsGivenUpOrStoppedAtOnce) {
  QTcpServer silent;  // accepts, then says nothing: not even a banner
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  QTemporaryDir ini;
  {
    auto u = std::make_unique<TTCPComUnit>(true);
    u->FSshTimeoutSec = 1;
    u->FIniFolder = ini.path();
    QString failed;
    u->FConnectThreadEnd = [&](QObject*, bool ok, bool) { failed = ok ? QString() : u->FLastConnectError; };
    u->SetSSHUserPass(QStringLiteral("operator"), QStringLiteral("operator"));
    u->SetIPAndPort(QStringLiteral("127.0.0.1"), silent.serverPort());
    u->DoConnect();
    EXPECT_TRUE(SpinUntil([&] { return !failed.isEmpty(); }, 5000));
    EXPECT_TRUE(failed.contains(QStringLiteral("Zeitüberschreitung"))) << failed.toStdString();
  }
  // A window closed while the connect still waits does not wait for its time-out.
  auto u = std::make_unique<TTCPComUnit>(true);
  u->FIniFolder = ini.path();
  u->SetSSHUserPass(QStringLiteral("operator"), QStringLiteral("operator"));
  u->SetIPAndPort(QStringLiteral("127.0.0.1"), silent.serverPort());
  u->DoConnect();
  SpinFor(200);
  QElapsedTimer t;
  t.start();
  u.reset();
  EXPECT_LT(t.elapsed(), 2000) << "the 60 s connect stops with its client";
}

TEST_F(SshTest, SocketIsKeptAlive) {
  TSSHUnit ssh;
  TSshParams p;
  p.Host = QStringLiteral("127.0.0.1");
  p.Port = Sim.SshPort;
  p.User = p.Password = QStringLiteral("operator");
  p.ChannelPort = Sim.Port;
  EXPECT_EQ(p.TimeoutSec, 60);
  QString error;
  bool auth = false;
  ASSERT_TRUE(ssh.Connect(p, error, auth)) << error.toStdString();
  int on = 0, idle = 0, interval = 0;
  socklen_t len = sizeof on;
  ASSERT_EQ(::getsockopt(ssh.Fd(), SOL_SOCKET, SO_KEEPALIVE, &on, &len), 0);
  len = sizeof idle;
  ::getsockopt(ssh.Fd(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, &len);
  len = sizeof interval;
  ::getsockopt(ssh.Fd(), IPPROTO_TCP, TCP_KEEPINTVL, &interval, &len);
  EXPECT_EQ(on, 1);
  EXPECT_EQ(idle, 25);
  EXPECT_EQ(interval, 2);
}
