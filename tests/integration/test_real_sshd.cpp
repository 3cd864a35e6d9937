// The SSH client against Debian's OpenSSH server instead of our own: password
// login, a direct-tcpip channel forwarded to the simulator's CCCI port and a
// ForceCommand that runs the simulator's Lua shell. Needs root (to start sshd
// and for the account made by scripts/sshd-test-user.sh); where that is not
// available the test is reported as skipped with the reason.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include "SimProcess.h"

using vanta::test::TSimProcess;

namespace {

const QString CSshd = QStringLiteral("/usr/sbin/sshd");
const QString CKeygen = QStringLiteral("/usr/bin/ssh-keygen");

QString TestUser() { return qEnvironmentVariable("VANTA_SSHD_TEST_USER", QStringLiteral("vantassh")); }
QString TestPassword() { return qEnvironmentVariable("VANTA_SSHD_TEST_PASSWORD", QStringLiteral("Vanta-ssh-2026")); }

// Why the OpenSSH test cannot run here, or empty when it can.
QString WhyNot() {
  if (!QFileInfo(CSshd).isExecutable()) return QStringLiteral("%1 is not installed (package openssh-server)").arg(CSshd);
  if (!QFileInfo(CKeygen).isExecutable()) return QStringLiteral("%1 is not installed").arg(CKeygen);
  if (::geteuid() != 0) return QStringLiteral("sshd needs root to check passwords and change users");
  if (!::getpwnam(TestUser().toLocal8Bit().constData()))
    return QStringLiteral("account %1 is missing (run scripts/sshd-test-user.sh as root)").arg(TestUser());
  if (!QFileInfo(QStringLiteral("/run/sshd")).isDir()) return QStringLiteral("/run/sshd is missing (run scripts/sshd-test-user.sh)");
  return {};
}

uint16_t FreePort() {
  QTcpServer s;
  if (!s.listen(QHostAddress::LocalHost, 0)) return 0;
  return s.serverPort();
}

// Everything below the folder becomes readable and writable for the test
// account, which runs the Lua shell on the device root.
void OpenUp(const QString& path) {
  QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
  QDir d(path);
  for (const QFileInfo& fi : d.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
    if (fi.isSymLink()) continue;
    if (fi.isDir())
      OpenUp(fi.filePath());
    else
      QFile::setPermissions(fi.filePath(), QFileDevice::Permissions(0x6666));
  }
}

class TSshd {
 public:
  ~TSshd() { Stop(); }

  bool MakeHostKey(const QString& dir, QString& error, const QString& type = QStringLiteral("ecdsa")) {
    FKey = dir + QStringLiteral("/host_") + type;
    QFile::remove(FKey);
    QFile::remove(FKey + QStringLiteral(".pub"));
    QProcess k;
    k.start(CKeygen, {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"), QString(),
                      QStringLiteral("-f"), FKey});
    if (!k.waitForFinished(20000) || k.exitCode() != 0) {
      error = QStringLiteral("ssh-keygen failed: ") + QString::fromLocal8Bit(k.readAllStandardError());
      return false;
    }
    return true;
  }

  bool Start(const QString& dir, const QString& forceCommand, QString& error) {
    Port = FreePort();
    const QString config = dir + QStringLiteral("/sshd_config");
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      error = QStringLiteral("cannot write ") + config;
      return false;
    }
    const QString text = QStringLiteral(
                             "Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile %3/sshd.pid\n"
                             "UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                             "PubkeyAuthentication no\nPermitRootLogin no\nAllowUsers %4\nAllowTcpForwarding yes\n"
                             "PermitOpen any\nStrictModes no\nAuthorizedKeysFile none\nPrintMotd no\nPrintLastLog no\n"
                             "ClientAliveInterval 0\nMaxStartups 20\nLogLevel VERBOSE\nForceCommand %5\n")
                             .arg(Port)
                             .arg(FKey, dir, TestUser(), forceCommand);
    f.write(text.toUtf8());
    f.close();
    QProcess check;
    check.start(CSshd, {QStringLiteral("-t"), QStringLiteral("-f"), config});
    if (!check.waitForFinished(10000) || check.exitCode() != 0) {
      error = QStringLiteral("sshd -t refused the configuration: ") + QString::fromLocal8Bit(check.readAllStandardError());
      return false;
    }
    FProc.setProcessChannelMode(QProcess::MergedChannels);
    FProc.start(CSshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config});
    if (!FProc.waitForStarted(5000)) {
      error = QStringLiteral("sshd did not start");
      return false;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
      QTcpSocket probe;
      probe.connectToHost(QHostAddress::LocalHost, Port);
      if (probe.waitForConnected(200)) return true;
      if (FProc.state() != QProcess::Running) break;
      QThread::msleep(50);
    }
    error = QStringLiteral("sshd does not listen: ") + QString::fromLocal8Bit(FProc.readAll());
    return false;
  }

  void Stop() { vanta::test::StopProcess(FProc); }

  QString Output() { return QString::fromLocal8Bit(FProc.readAll()); }
  const QString& Key() const { return FKey; }
  uint16_t Port = 0;

 private:
  QString FKey;
  QProcess FProc;
};

class RealSshd : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString why = WhyNot();
    if (!why.isEmpty()) GTEST_SKIP() << "OpenSSH interoperability not tested: " << why.toStdString();
    ASSERT_TRUE(FDir.isValid());
    OpenUp(FDir.path());
    // Both the CCCI service and the shell know the SSH account as a device user
    // allowed to fetch a ticket.
    const QString users = FDir.filePath(QStringLiteral("users"));
    QFile u(users);
    ASSERT_TRUE(u.open(QIODevice::WriteOnly));
    u.write(QStringLiteral("%1:%2:lua.user.ticketGet,lua.user.print,lua.log.print\n").arg(TestUser(), TestPassword()).toUtf8());
    u.close();
    QFile::setPermissions(users, QFileDevice::Permissions(0x6666));
    ASSERT_TRUE(FSim.Start({QStringLiteral("--users"), users}));
    // The temporary root's parent is private to root; the shell needs a way in.
    QFile::setPermissions(QFileInfo(FSim.Root()).path(), QFileDevice::Permissions(0x7755));
    OpenUp(FSim.Root());
    // Sanitizer leak reports of the shell would only end up on the client's
    // stderr channel; the shell's correctness is judged by its output here.
    FForce = QStringLiteral("env ASAN_OPTIONS=detect_leaks=0 %1 --lua-shell --root %2 --users %3 --lua-user %4")
                 .arg(QStringLiteral(VANTA_SIM_PATH), FSim.Root(), users, TestUser());
    QString error;
    if (!FSshd.MakeHostKey(FDir.path(), error) || !FSshd.Start(FDir.path(), FForce, error))
      GTEST_SKIP() << "OpenSSH interoperability not tested: " << error.toStdString();
  }

  std::pair<int, QString> Cli(const QStringList& extra, const QString& password = TestPassword()) {
    QProcess p;
    p.start(QStringLiteral(VANTA_CLI_PATH),
            QStringList{QStringLiteral("--ssh"), QStringLiteral("--ssh-port"), QString::number(FSshd.Port),
                        QStringLiteral("--ccci-port"), QString::number(FSim.Port), QStringLiteral("--user"), TestUser(),
                        QStringLiteral("--password"), password, QStringLiteral("--data-dir"), FData.path(),
                        QStringLiteral("--timeout"), QStringLiteral("20")} +
                extra);
    p.waitForFinished(60000);
    LastErr = QString::fromUtf8(p.readAllStandardError());
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
  }

  QString Hash() {
    QFile f(FData.filePath(QStringLiteral("ini/Hash")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }

  QTemporaryDir FDir, FData;
  TSimProcess FSim;
  TSshd FSshd;
  QString FForce;
  QString LastErr;
};

}  // namespace

TEST_F(RealSshd, KeyStoredOnFirstUseAndMatchedOnTheSecondConnection) {
  auto [rc, out] = Cli({QStringLiteral("identify")});
  EXPECT_EQ(rc, 3) << "an unknown key is refused without consent\n" << LastErr.toStdString();
  EXPECT_TRUE(Hash().isEmpty());

  std::tie(rc, out) = Cli({QStringLiteral("--trust-new-host-key"), QStringLiteral("lua"), QStringLiteral("print(6*7)")});
  ASSERT_EQ(rc, 0) << LastErr.toStdString() << FSshd.Output().toStdString();
  EXPECT_EQ(out, QStringLiteral("42\n")) << "Lua typed into sshd's ForceCommand shell";
  const QString stored = Hash();
  EXPECT_TRUE(stored.startsWith(QStringLiteral("127.0.0.1:%1=").arg(FSshd.Port))) << stored.toStdString();
  EXPECT_EQ(stored.count(QLatin1Char('\n')), 1);

  // No consent flag now: the stored key must match. The CCCI channel goes
  // through sshd's forwarding, the session starts with the shell's ticket.
  std::tie(rc, out) = Cli({QStringLiteral("identify")});
  ASSERT_EQ(rc, 0) << LastErr.toStdString();
  EXPECT_TRUE(out.contains(QStringLiteral("Umspannwerk Nord"))) << out.toStdString();
  EXPECT_FALSE(LastErr.contains(QStringLiteral("Dieses Gerät ist nicht bekannt")));
  QFile tickets(FSim.Root() + QStringLiteral("/ramdrive0/tickets"));
  ASSERT_TRUE(tickets.open(QIODevice::ReadOnly)) << "the shell behind sshd issued the session's ticket";
  EXPECT_TRUE(tickets.readAll().startsWith((TestUser() + QLatin1Char('=')).toUtf8()));

  std::tie(rc, out) = Cli({QStringLiteral("events"), QStringLiteral("get"), QStringLiteral("12345678-1764903600-375.log")});
  EXPECT_EQ(rc, 0) << LastErr.toStdString();
  EXPECT_EQ(QFileInfo(FData.filePath(QStringLiteral("12345678/Event/12345678-1764903600-375.log"))).size(), 149);
  EXPECT_EQ(Hash(), stored) << "a matching key is not written again";
}

TEST_F(RealSshd, ChangedHostKeyIsAskedAbout) {
  auto [rc, out] = Cli({QStringLiteral("--trust-new-host-key"), QStringLiteral("identify")});
  ASSERT_EQ(rc, 0) << LastErr.toStdString();
  const QString first = Hash();

  FSshd.Stop();
  QString error;
  ASSERT_TRUE(FSshd.MakeHostKey(FDir.path(), error)) << error.toStdString();
  const uint16_t port = FSshd.Port;
  ASSERT_TRUE(FSshd.Start(FDir.path(), FForce, error)) << error.toStdString();
  // The store is per host and port: keep the port the key was stored for.
  if (FSshd.Port != port) {
    QFile f(FData.filePath(QStringLiteral("ini/Hash")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(first.toUtf8().replace(QByteArray(":") + QByteArray::number(port) + "=",
                                   QByteArray(":") + QByteArray::number(FSshd.Port) + "="));
  }
  const QString before = Hash();

  std::tie(rc, out) = Cli({QStringLiteral("--trust-new-host-key"), QStringLiteral("identify")});
  EXPECT_EQ(rc, 3) << "trusting new keys does not cover changed ones";
  EXPECT_TRUE(LastErr.contains(QStringLiteral("--accept-changed-host-key"))) << LastErr.toStdString();
  EXPECT_EQ(Hash(), before) << "refusal keeps the stored key";

  std::tie(rc, out) = Cli({QStringLiteral("--accept-changed-host-key"), QStringLiteral("identify")});
  EXPECT_EQ(rc, 0) << LastErr.toStdString();
  EXPECT_NE(Hash(), before);
  EXPECT_EQ(Hash().count(QLatin1Char('\n')), 1) << "the changed key replaces the old line";
}

TEST_F(RealSshd, WrongPasswordIsRefused) {
  auto [rc, out] = Cli({QStringLiteral("--trust-new-host-key"), QStringLiteral("identify")}, QStringLiteral("not-the-password"));
  EXPECT_NE(rc, 0);
  EXPECT_TRUE(out.isEmpty());
  EXPECT_TRUE(LastErr.contains(QStringLiteral("SSH-Anmeldung abgelehnt"))) << LastErr.toStdString();
}

// The fingerprint the user compares with the test certificate is that of the
// device's ECDSA key, as OpenSSH's own tool prints it.
TEST_F(RealSshd, StoredFingerprintIsThatOfTheEcdsaKey) {
  auto [rc, out] = Cli({QStringLiteral("--trust-new-host-key"), QStringLiteral("identify")});
  ASSERT_EQ(rc, 0) << LastErr.toStdString();
  const QString stored = Hash().trimmed().section(QLatin1Char('='), 1);
  QProcess k;
  k.start(CKeygen, {QStringLiteral("-l"), QStringLiteral("-E"), QStringLiteral("sha256"), QStringLiteral("-f"),
                    FSshd.Key() + QStringLiteral(".pub")});
  ASSERT_TRUE(k.waitForFinished(10000));
  const QString line = QString::fromLatin1(k.readAllStandardOutput());
  ASSERT_TRUE(line.contains(QStringLiteral("(ECDSA)"))) << line.toStdString();
  QByteArray b64 = line.section(QStringLiteral("SHA256:"), 1).section(QLatin1Char(' '), 0, 0).toLatin1();
  while (b64.size() % 4) b64.append('=');
  const QByteArray digest = QByteArray::fromBase64(b64);
  ASSERT_EQ(digest.size(), 32);
  EXPECT_EQ(stored, QString::fromLatin1(digest.toHex(':').toUpper()));
}

TEST_F(RealSshd, ADeviceWithoutAnEcdsaKeyIsNotTrustedBlindly) {
  FSshd.Stop();
  QString error;
  ASSERT_TRUE(FSshd.MakeHostKey(FDir.path(), error, QStringLiteral("ed25519"))) << error.toStdString();
  ASSERT_TRUE(FSshd.Start(FDir.path(), FForce, error)) << error.toStdString();
  auto [rc, out] = Cli({QStringLiteral("--trust-new-host-key"), QStringLiteral("identify")});
  EXPECT_NE(rc, 0) << "only the ECDSA key may be negotiated";
  EXPECT_TRUE(LastErr.contains(QStringLiteral("SSH Connect Exception"))) << LastErr.toStdString();
  EXPECT_TRUE(Hash().isEmpty()) << "nothing stored";
}
