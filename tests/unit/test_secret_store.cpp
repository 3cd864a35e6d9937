// The host's passwords in the desktop's secret store, and the device file
// that no longer keeps them. The ctest entries run these groups in their own
// D-Bus sessions (tests/tools/with_secret_service.sh):
//   SecretStore.*        a private gnome-keyring, unlocked for the test
//   NoSecretService.*    a session bus address where nothing listens
//   HungSecretService.*  a private bus where a stand-in takes the secret
//                        service's name and never answers
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "DeviceStore.h"
#include "SecretStore.h"

using namespace vanta;
using namespace vanta::host;

namespace {

QByteArray FileBytes(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& file, const QByteArray& bytes) {
  QFile f(file);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A device file as the versions before the secret store wrote it: two
// entries with clear-text passwords, one without.
const QByteArray SOldFile =
    "[settings]\n"
    "userName=tester\n"
    "\n"
    "[devices]\n"
    "1\\type=1\n1\\ip=192.0.2.10\n1\\port=22\n1\\ssh=true\n1\\geraet=Trafo 1\n1\\sshUser=service\n"
    "1\\sshPassword=alt-geheim-1\n"
    "2\\type=1\n2\\ip=192.0.2.11\n2\\port=5040\n2\\geraet=Trafo 2\n"
    "3\\type=1\n3\\serial=true\n3\\port=/dev/ttyUSB0\n3\\serialLogin=true\n3\\geraet=Seriell\n3\\sshUser=admin\n"
    "3\\sshPassword=alt-geheim-2\n"
    "size=3\n";

THostDevice SshDevice(const QString& ip, const QString& user) {
  THostDevice d;
  d.IP = ip;
  d.Port = QStringLiteral("22");
  d.ConType = TConType::ctSSH;
  d.SshUser = user;
  d.Geraet = QStringLiteral("Gerät ") + ip;
  return d;
}

// Whether any file below `dir` contains `needle`.
bool AnyFileContains(const QString& dir, const QByteArray& needle) {
  QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext())
    if (FileBytes(it.next()).contains(needle)) return true;
  return false;
}

}  // namespace

// ---- with a secret service ------------------------------------------------------------

class SecretStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const TSecretResult a = Store.Available();
    ASSERT_TRUE(a.Ok()) << "these cases need the unlocked keyring of with_secret_service.sh: "
                        << SecretResultText(a).toStdString();
  }
  TSecretStore Store;
};

TEST_F(SecretStore, WriteReadRemoveRoundTrip) {
  const QString key = QStringLiteral("ssh:service@192.0.2.1:22");
  QString pw = QStringLiteral("unverändert");
  EXPECT_EQ(Store.Read(key, pw).Status, TSecretStatus::ssNotFound);
  EXPECT_EQ(pw, QStringLiteral("unverändert"));  // untouched unless found

  ASSERT_TRUE(Store.Write(key, QStringLiteral("Pässwort €1")).Ok());
  ASSERT_TRUE(Store.Read(key, pw).Ok());
  EXPECT_EQ(pw, QStringLiteral("Pässwort €1"));

  // Another login on the same device is another entry.
  QString other;
  EXPECT_EQ(Store.Read(QStringLiteral("ssh:admin@192.0.2.1:22"), other).Status, TSecretStatus::ssNotFound);

  // Writing again replaces.
  ASSERT_TRUE(Store.Write(key, QStringLiteral("neu")).Ok());
  ASSERT_TRUE(Store.Read(key, pw).Ok());
  EXPECT_EQ(pw, QStringLiteral("neu"));

  ASSERT_TRUE(Store.Remove(key).Ok());
  EXPECT_EQ(Store.Read(key, pw).Status, TSecretStatus::ssNotFound);
  EXPECT_TRUE(Store.Remove(key).Ok());  // nothing left to remove is fine
}

TEST_F(SecretStore, OldPasswordsMoveOutOfTheFile) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  ASSERT_TRUE(WriteFile(file, SOldFile));
  {
    TDeviceStore s(file);
    ASSERT_TRUE(s.Load());
    ASSERT_EQ(s.OldPasswordCount(), 2);
    // An old password is not taken as the login password.
    EXPECT_TRUE(s.Devices[0].SshPassword.isEmpty());
    const TPasswordMove m = s.MovePasswordsTo(Store);
    EXPECT_EQ(m.Moved, 2) << m.Message.toStdString();
    EXPECT_EQ(m.Kept, 0);
    EXPECT_EQ(s.OldPasswordCount(), 0);
  }
  const QByteArray bytes = FileBytes(file);
  EXPECT_FALSE(bytes.contains("alt-geheim")) << bytes.toStdString();
  EXPECT_FALSE(bytes.contains("sshPassword"));

  QString pw;
  ASSERT_TRUE(Store.Read(QStringLiteral("ssh:service@192.0.2.10:22"), pw).Ok());
  EXPECT_EQ(pw, QStringLiteral("alt-geheim-1"));
  ASSERT_TRUE(Store.Read(QStringLiteral("serial:admin@/dev/ttyUSB0"), pw).Ok());
  EXPECT_EQ(pw, QStringLiteral("alt-geheim-2"));

  // The rest of the entries is as it was, and a second start moves nothing.
  TDeviceStore again(file);
  ASSERT_TRUE(again.Load());
  ASSERT_EQ(again.Devices.size(), 3u);
  EXPECT_EQ(again.Devices[0].SshUser, QStringLiteral("service"));
  EXPECT_EQ(again.Devices[2].Port, QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(again.Settings.UserName, QStringLiteral("tester"));
  EXPECT_EQ(again.OldPasswordCount(), 0);
  EXPECT_EQ(again.MovePasswordsTo(Store).Moved, 0);
  EXPECT_TRUE(Store.Remove(QStringLiteral("ssh:service@192.0.2.10:22")).Ok());
  EXPECT_TRUE(Store.Remove(QStringLiteral("serial:admin@/dev/ttyUSB0")).Ok());
}

TEST_F(SecretStore, TwoPasswordsForOneLoginStayInTheFile) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  {
    // Two entries of the same login with different old passwords: moving
    // both under one key would lose one of them.
    TDeviceStore s(file);
    s.Devices = {SshDevice(QStringLiteral("192.0.2.20"), QStringLiteral("service")),
                 SshDevice(QStringLiteral("192.0.2.20"), QStringLiteral("service")),
                 SshDevice(QStringLiteral("192.0.2.21"), QStringLiteral("service"))};
    s.Devices[0].OldPassword = QStringLiteral("erstes-alt");
    s.Devices[1].OldPassword = QStringLiteral("zweites-alt");
    s.Devices[2].OldPassword = QStringLiteral("drittes-alt");
    ASSERT_TRUE(s.Save());
  }
  TDeviceStore s(file);
  ASSERT_TRUE(s.Load());
  const TPasswordMove m = s.MovePasswordsTo(Store);
  EXPECT_EQ(m.Moved, 1);
  EXPECT_EQ(m.Kept, 2);
  EXPECT_TRUE(m.Message.contains(QStringLiteral("ssh:service@192.0.2.20:22"))) << m.Message.toStdString();
  const QByteArray bytes = FileBytes(file);
  EXPECT_TRUE(bytes.contains("erstes-alt"));
  EXPECT_TRUE(bytes.contains("zweites-alt"));
  EXPECT_FALSE(bytes.contains("drittes-alt"));
  QString pw;
  EXPECT_EQ(Store.Read(QStringLiteral("ssh:service@192.0.2.20:22"), pw).Status, TSecretStatus::ssNotFound);
  EXPECT_TRUE(Store.Remove(QStringLiteral("ssh:service@192.0.2.21:22")).Ok());
}

// ---- without a secret service ------------------------------------------------------------

TEST(NoSecretService, IsReportedWithinTheTimeLimit) {
  const TSecretStore store(QStringLiteral("vanta-host"), 3000);
  QElapsedTimer t;
  t.start();
  const TSecretResult a = store.Available();
  EXPECT_EQ(a.Status, TSecretStatus::ssNoService) << a.Error.toStdString();
  EXPECT_LT(t.elapsed(), 3000 + 1000);
  EXPECT_FALSE(SecretResultText(a).isEmpty());

  QString pw = QStringLiteral("vorher");
  EXPECT_EQ(store.Write(QStringLiteral("ssh:service@192.0.2.1:22"), QStringLiteral("nirgends-im-klartext")).Status,
            TSecretStatus::ssNoService);
  EXPECT_EQ(store.Read(QStringLiteral("ssh:service@192.0.2.1:22"), pw).Status, TSecretStatus::ssNoService);
  EXPECT_EQ(pw, QStringLiteral("vorher"));
  EXPECT_LT(t.elapsed(), 3 * (3000 + 1000));

  // No plain-text stand-in anywhere in the (temporary) home of this run.
  for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
    const QString dir = qEnvironmentVariable(var);
    ASSERT_TRUE(dir.startsWith(QDir::tempPath())) << var << " should be the script's temporary folder";
    EXPECT_FALSE(AnyFileContains(dir, "nirgends-im-klartext")) << var;
  }
}

TEST(NoSecretService, OldFileStaysAsItWas) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  ASSERT_TRUE(WriteFile(file, SOldFile));
  TDeviceStore s(file);
  ASSERT_TRUE(s.Load());
  const TPasswordMove m = s.MovePasswordsTo(TSecretStore(QStringLiteral("vanta-host"), 2000));
  EXPECT_EQ(m.Moved, 0);
  EXPECT_EQ(m.Kept, 2);
  EXPECT_TRUE(m.Message.contains(QStringLiteral("kein Schlüsselbund verfügbar"))) << m.Message.toStdString();
  EXPECT_EQ(FileBytes(file), SOldFile);
  EXPECT_EQ(s.OldPasswordCount(), 2);

  // The host saves meanwhile (a new serial number, an added entry): the old
  // passwords are still there afterwards, for a start with a secret store.
  s.Devices.push_back(SshDevice(QStringLiteral("192.0.2.30"), QStringLiteral("neu")));
  ASSERT_TRUE(s.Save());
  TDeviceStore again(file);
  ASSERT_TRUE(again.Load());
  ASSERT_EQ(again.Devices.size(), 4u);
  EXPECT_EQ(again.Devices[0].OldPassword, QStringLiteral("alt-geheim-1"));
  EXPECT_EQ(again.Devices[2].OldPassword, QStringLiteral("alt-geheim-2"));
  EXPECT_TRUE(again.Devices[3].OldPassword.isEmpty());
}

// Needs no secret service: the file never gets a password typed in the
// dialog, whether or not it could be stored.
TEST(NoSecretService, SaveNeverWritesAPassword) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  TDeviceStore s(file);
  s.Devices = {SshDevice(QStringLiteral("192.0.2.40"), QStringLiteral("service"))};
  s.Devices[0].SshPassword = QStringLiteral("frisch-getippt");
  ASSERT_TRUE(s.Save());
  const QByteArray bytes = FileBytes(file);
  EXPECT_TRUE(bytes.contains("192.0.2.40"));
  EXPECT_FALSE(bytes.contains("frisch-getippt")) << bytes.toStdString();
  EXPECT_FALSE(bytes.contains("sshPassword"));
  TDeviceStore again(file);
  ASSERT_TRUE(again.Load());
  ASSERT_EQ(again.Devices.size(), 1u);
  EXPECT_EQ(again.Devices[0].SshUser, QStringLiteral("service"));
  EXPECT_TRUE(again.Devices[0].SshPassword.isEmpty());
  EXPECT_TRUE(again.Devices[0].OldPassword.isEmpty());
}

// ---- a secret service that never answers -------------------------------------------------------

namespace {

// Takes every call and answers none, like a service stuck behind a prompt.
class TSilentService : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return QString(); }
  bool handleMessage(const QDBusMessage&, const QDBusConnection&) override {
    ++Calls;
    return true;
  }
  std::atomic<int> Calls{0};
};

}  // namespace

TEST(HungSecretService, DoesNotHoldTheCallerLongerThanTheLimit) {
  const QString name = QStringLiteral("silent-secrets");
  TSilentService silent;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    ASSERT_TRUE(bus.isConnected()) << "needs the private session bus of with_secret_service.sh";
    ASSERT_TRUE(
        bus.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), &silent, QDBusConnection::SubPath));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.secrets")));
  }
  const TSecretStore store(QStringLiteral("vanta-host"), 1000);
  QElapsedTimer t;
  t.start();
  const TSecretResult a = store.Available();
  EXPECT_EQ(a.Status, TSecretStatus::ssNoService) << a.Error.toStdString();
  EXPECT_GE(t.elapsed(), 900);
  EXPECT_LT(t.elapsed(), 1000 + 1500);
  EXPECT_GT(silent.Calls.load(), 0);  // it was asked, and kept quiet

  // The late job still blocks QtKeychain's queue: further calls give up at
  // once instead of waiting behind it.
  t.restart();
  QString pw = QStringLiteral("vorher");
  EXPECT_EQ(store.Read(QStringLiteral("ssh:service@192.0.2.1:22"), pw).Status, TSecretStatus::ssNoService);
  EXPECT_EQ(store.Write(QStringLiteral("ssh:service@192.0.2.1:22"), QStringLiteral("x")).Status,
            TSecretStatus::ssNoService);
  EXPECT_LT(t.elapsed(), 500);
  EXPECT_EQ(pw, QStringLiteral("vorher"));

  // Once the silent service is gone the bus fails the waiting call, the late
  // job ends, and the store asks the bus again (where nobody is now).
  QDBusConnection::disconnectFromBus(name);
  TSecretResult later = a;
  QElapsedTimer w;
  w.start();
  while (w.elapsed() < 30000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    later = store.Available();
    if (!later.Error.contains(QStringLiteral("frühere Anfrage"))) break;
  }
  EXPECT_EQ(later.Status, TSecretStatus::ssNoService);
  EXPECT_FALSE(later.Error.contains(QStringLiteral("frühere Anfrage"))) << later.Error.toStdString();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
