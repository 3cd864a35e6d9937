// The desktop host: its device store, the device dialog, what it hands to a
// device window, the device's web page, the password question, the
// command line without a display and the language of its windows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "DeviceDialog.h"
#include "DeviceStore.h"
#include "SecretStore.h"
#include "FormFlash.h"
#include "FormMassFlash.h"
#include "FrmCalib.h"
#include "FormOffline.h"
#include "FormPara.h"
#include "FormStatus.h"
#include "RecordFile.h"
#include "FrmNewPass.h"
#include "Language.h"
#include "MainWindow.h"
#include "Pcapng.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "VantaGrid.h"
#include "WindowSupport.h"

using namespace vanta;
using namespace vanta::host;
using vanta::test::ClosedPort;
using vanta::test::OpenBox;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {

THostDevice Network(const QString& ip, const QString& port = QStringLiteral("5040")) {
  THostDevice d;
  d.IP = ip;
  d.Port = port;
  d.Geraet = QStringLiteral("Gerät %1").arg(ip);
  return d;
}

// An entry reached over SSH that logs in as operator.
THostDevice SshDevice(const QString& ip, const QString& port = QStringLiteral("22")) {
  THostDevice d = Network(ip, port);
  d.ConType = TConType::ctSSH;
  d.SshUser = QStringLiteral("operator");
  return d;
}

THostDevice SerialDevice(const QString& path) {
  THostDevice d;
  d.IsSerial = true;
  d.Port = path;
  d.Geraet = QStringLiteral("Seriell");
  return d;
}

// A main window over a store in a temporary folder; opened device windows go
// before the main window they log to.
struct THost {
  QTemporaryDir Dir;
  TDeviceStore Store{Dir.filePath(QStringLiteral("devices.ini"))};
  std::unique_ptr<TMainWindow> Main;
  QList<QUrl> Opened;
  bool OpenerAnswer = true;

  explicit THost(std::vector<THostDevice> devices) {
    Store.Settings.DataFolder = Dir.filePath(QStringLiteral("data/"));
    Store.Settings.IniFolder = Dir.filePath(QStringLiteral("ini/"));
    Store.Settings.TmpFolder = Dir.filePath(QStringLiteral("tmp/"));
    Store.Devices = std::move(devices);
    Main = std::make_unique<TMainWindow>(Store);
    Main->FOpenUrl = [this](const QUrl& url) {
      Opened << url;
      return OpenerAnswer;
    };
  }
  ~THost() {
    for (const QPointer<TFormBasic>& w : Main->Windows()) delete w.data();
  }
  QString Log() const { return Main->LogPane()->toPlainText(); }
  QAction* WebAction(int index) {
    Menu = std::make_unique<QMenu>();
    Main->FillDeviceMenu(*Menu, index);
    for (QAction* a : Menu->actions())
      if (a->objectName() == QStringLiteral("OpenWebPage")) return a;
    return nullptr;
  }
  std::unique_ptr<QMenu> Menu;
};

// The mapping database version a device offers, from its scratchpad list.
uint32_t OfferedMappingDbVersion() {
  QFile f(QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/ccci/scratchpad/xml-versions.txt"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n')) {
    const QList<QByteArray> fields = line.trimmed().split(' ');
    if (fields.size() >= 3 && fields[1].compare("MappingDB.gz", Qt::CaseInsensitive) == 0) return fields[2].toUInt();
  }
  return 0;
}

// The simulator's SSH port as an entry that logs in as operator.
THostDevice SshToSim(const TSimProcess& sim) {
  THostDevice d = SshDevice(QStringLiteral("127.0.0.1"), QString::number(sim.SshPort));
  d.CheckXMLVersions = false;
  return d;
}

// The operator at the screen: trusts the device's host key and declines the
// password change a device asks for after a wrong password.
void ActAsOperator(QTimer& user) {
  QObject::connect(&user, &QTimer::timeout, [] {
    if (QMessageBox* box = OpenBox(QStringLiteral("HostKeyQuestion"))) box->button(QMessageBox::Ok)->click();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* renew = qobject_cast<TFrmNewPass*>(w); renew && renew->isVisible()) renew->reject();
  });
  user.start(50);
}

// A host with one SSH entry to a simulator, the operator at the screen, and
// every password question noted and answered from `Answers` (then "operator").
struct TSshHost {
  TSimProcess Sim;
  THostDevice Device;
  std::unique_ptr<THost> H;
  QStringList Prompts, Answers;
  QTimer User;
  bool Start() {
    if (!Sim.Start({QStringLiteral("--ssh-port"), QStringLiteral("0")})) return false;
    Device = SshToSim(Sim);
    H = std::make_unique<THost>(std::vector<THostDevice>{Device});
    H->Main->FAskPassword = [this](const QString& prompt, QString& password) {
      Prompts << prompt;
      password = Answers.isEmpty() ? QStringLiteral("operator") : Answers.takeFirst();
      return true;
    };
    ActAsOperator(User);
    return H->Store.Save();
  }
  // The device list as saved: never with a password.
  QByteArray Ini() const {
    QFile ini(H->Store.File());
    return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
  }
};

// Connects that ended, either way: whether the CCCI channel behind a passed
// login opens depends on the device's port, which is no matter here.
qsizetype Outcomes(const THost& h) {
  return h.Log().count(QStringLiteral("Verbunden mit ")) + h.Log().count(QStringLiteral("Keine Verbindung zu "));
}

bool WindowConnected(TFormBasic* w) {
  return w && SpinUntil([&] { return w->PanelBack->isEnabled(); }, 8000);
}

}  // namespace

// ---- device store ---------------------------------------------------------------------

// Every connection setting of an entry and the settings survive a restart
// (that no password reaches the file is NoSecretService.SaveNeverWritesAPassword's);
// identities learnt later reach their entries.
TEST(DeviceStore, SurvivesARestartAndLearnsIdentities) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  THostDevice a = Network(QStringLiteral("10.0.0.5"));
  a.Anlage = QStringLiteral("A");
  a.Feld = QStringLiteral("F");
  a.Geraet = QStringLiteral("G");
  THostDevice ssh = SshDevice(QStringLiteral("fd00::7"), QStringLiteral("5040"));
  ssh.IPver = TIpVer::ipverV6;
  ssh.UseFTP = true;
  ssh.CheckXMLVersions = false;
  ssh.SshPassword = QStringLiteral("Geh eim;=\"x\"");  // typed in the dialog: for the secret store only
  THostDevice serial = SerialDevice(QStringLiteral("/dev/ttyUSB0"));
  serial.SerialLogin = true;
  serial.SshUser = QStringLiteral("service");  // password left to the connect-time question
  {
    TDeviceStore s(file);
    s.Devices = {a, ssh, serial};
    s.Settings.Visibility = 2;
    s.Settings.Para.ParaVal = 123;
    s.Settings.MappingDbVersion = 17;
    ASSERT_TRUE(s.Save());
  }
  TDeviceStore s(file);
  ASSERT_TRUE(s.Load());
  ASSERT_EQ(s.Devices.size(), 3u);
  EXPECT_EQ(s.Devices[0], a);
  THostDevice sshWithoutPassword = ssh;
  sshWithoutPassword.SshPassword.clear();
  EXPECT_EQ(s.Devices[1], sshWithoutPassword) << "everything but the password survives";
  EXPECT_EQ(s.Devices[2], serial);
  EXPECT_EQ(s.Settings.Visibility, 2);
  EXPECT_EQ(s.Settings.Para.ParaVal, 123);
  EXPECT_EQ(s.Settings.MappingDbVersion, 17u);
  EXPECT_EQ(QFileInfo(file).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0)
      << "the device list is the owner's only";

  EXPECT_EQ(s.Find(QStringLiteral("10.0.0.5"), QStringLiteral("5040")), 0);
  EXPECT_TRUE(s.UpdateIdentity(QStringLiteral("10.0.0.5"), QStringLiteral("5040"), 99, TDevType::devtypVantaDE,
                               QStringLiteral("Werk"), QStringLiteral("Feld 1"), QStringLiteral("Vanta 1")));
  EXPECT_FALSE(s.UpdateIdentity(QStringLiteral("10.0.0.5"), QStringLiteral("5040"), 99, TDevType::devtypVantaDE,
                                QStringLiteral("Werk"), QStringLiteral("Feld 1"), QStringLiteral("Vanta 1")))
      << "nothing new the second time";
  EXPECT_EQ(s.Devices[0].Geraet, QStringLiteral("Vanta 1"));
  // A serial device is known by its port: its identity reaches its entry only.
  EXPECT_EQ(s.FindSerial(QStringLiteral("/dev/ttyUSB0")), 2);
  EXPECT_EQ(s.FindSerial(QStringLiteral("/dev/ttyUSB9")), -1);
  EXPECT_TRUE(s.UpdateIdentity(QString(), QStringLiteral("/dev/ttyUSB0"), 77, TDevType::devtypVanta, QStringLiteral("Werk"),
                               QStringLiteral("Feld 2"), QStringLiteral("Vanta 2"), true));
  EXPECT_EQ(s.Devices[2].SN, 77u);
  EXPECT_EQ(s.Devices[2].Geraet, QStringLiteral("Vanta 2"));
  EXPECT_EQ(s.Devices[0].SN, 99u) << "the network entry is not touched";
  EXPECT_FALSE(s.UpdateIdentity(QString(), QStringLiteral("5040"), 5, TDevType::devtypVanta, {}, {}, {}, true))
      << "a network entry's port is no serial line";
  TDeviceStore missing(dir.filePath(QStringLiteral("none.ini")));
  EXPECT_FALSE(missing.Load());
}

TEST(DeviceStore, OldFilesLoadWithDefaults) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(
      "[settings]\nvisibility=1\n\n[devices]\n1\\ip=10.1.1.1\n1\\port=5040\n1\\ssh=true\n1\\geraet=Alt\n"
      "2\\serial=true\n2\\port=/dev/ttyUSB1\nsize=2\n");
  f.close();
  TDeviceStore s(file);
  ASSERT_TRUE(s.Load());
  ASSERT_EQ(s.Devices.size(), 2u);
  for (const THostDevice& d : s.Devices) {
    EXPECT_FALSE(d.UseFTP);
    EXPECT_TRUE(d.CheckXMLVersions);
    EXPECT_FALSE(d.SerialLogin);
    EXPECT_TRUE(d.SshUser.isEmpty());
    EXPECT_TRUE(d.SshPassword.isEmpty());
  }
  EXPECT_EQ(s.Devices[0].Geraet, QStringLiteral("Alt"));
  EXPECT_EQ(s.Settings.MappingDbVersion, 0u);
}

// ---- device dialog ----------------------------------------------------------------------

TEST(DeviceDialog, ShowsTheEntryAndReturnsWhatWasEdited) {
  THostDevice rec = SshDevice(QStringLiteral("10.0.0.9"));
  rec.UseFTP = true;
  rec.CheckXMLVersions = false;
  rec.SshPassword = QStringLiteral("alt");
  rec.SN = 4711;
  rec.useHTTPS = true;
  rec.ParaPort = QStringLiteral("8080");
  TDeviceDialog d(rec, QStringLiteral("Gerät bearbeiten"));
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Gerät bearbeiten"));
  EXPECT_EQ(d.Address->text(), QStringLiteral("10.0.0.9"));
  EXPECT_EQ(d.Connection->currentIndex(), 1);
  EXPECT_TRUE(d.UseFTP->isChecked());
  EXPECT_FALSE(d.CheckXMLVersions->isChecked());
  EXPECT_EQ(d.SshUser->text(), QStringLiteral("operator"));
  EXPECT_EQ(d.SshPassword->echoMode(), QLineEdit::Password) << "the password is masked";
  EXPECT_EQ(d.Device(), rec) << "unchanged dialog, unchanged entry";

  d.Address->setText(QStringLiteral(" [fd00::1] "));
  d.IpVersion->setCurrentIndex(1);
  d.UseFTP->setChecked(false);
  d.CheckXMLVersions->setChecked(true);
  d.SshUser->setText(QStringLiteral(" service "));
  d.SshPassword->setText(QStringLiteral(" neu "));
  const THostDevice e = d.Device();
  EXPECT_EQ(e.IP, QStringLiteral("fd00::1")) << "brackets of a copied IPv6 address go";
  EXPECT_EQ(e.IPver, TIpVer::ipverV6);
  EXPECT_FALSE(e.UseFTP);
  EXPECT_TRUE(e.CheckXMLVersions);
  EXPECT_EQ(e.SshUser, QStringLiteral("service"));
  EXPECT_EQ(e.SshPassword, QStringLiteral(" neu ")) << "a password is taken as typed";
  EXPECT_EQ(e.SN, 4711u) << "what the dialog does not show is kept";
  EXPECT_TRUE(e.useHTTPS);
  EXPECT_EQ(e.ParaPort, QStringLiteral("8080"));

  d.Serial->setChecked(true);
  d.Port->setText(QStringLiteral("/dev/ttyUSB0"));
  d.SerialLogin->setChecked(true);
  const THostDevice s = d.Device();
  EXPECT_TRUE(s.IsSerial);
  EXPECT_TRUE(s.SerialLogin);
}

TEST(DeviceDialog, EnablesWhatTheConnectionUses) {
  TDeviceDialog d(Network(QStringLiteral("10.0.0.9")), QStringLiteral("Gerät hinzufügen"));
  EXPECT_TRUE(d.Address->isEnabled());
  EXPECT_TRUE(d.UseFTP->isEnabled());
  EXPECT_FALSE(d.SerialLogin->isEnabled()) << "only for serial devices";
  EXPECT_FALSE(d.SshUser->isEnabled()) << "plain CCCI logs in with nobody";
  d.Connection->setCurrentIndex(1);
  EXPECT_TRUE(d.SshUser->isEnabled());
  EXPECT_TRUE(d.SshPassword->isEnabled());
  d.Serial->setChecked(true);
  EXPECT_FALSE(d.Address->isEnabled());
  EXPECT_FALSE(d.UseFTP->isEnabled()) << "no FTP over a serial line";
  EXPECT_TRUE(d.SerialLogin->isEnabled());
  EXPECT_FALSE(d.SshUser->isEnabled()) << "the protocol-4 start needs no login";
  d.SerialLogin->setChecked(true);
  EXPECT_TRUE(d.SshUser->isEnabled());
  EXPECT_TRUE(d.CheckXMLVersions->isEnabled());
}

TEST(DeviceDialog, TakesAPasswordOnlyWithAKeychain) {
  const THostDevice rec = SshDevice(QStringLiteral("10.0.0.9"));
  {
    TDeviceDialog d(rec, QStringLiteral("Gerät bearbeiten"));
    d.SetKeychain(TSecretResult{TSecretStatus::ssNoService, QStringLiteral("kein Bus")});
    EXPECT_FALSE(d.HasKeychain());
    EXPECT_FALSE(d.KeychainNote->isHidden());
    EXPECT_EQ(d.KeychainNote->text(),
              QStringLiteral("Kein Schlüsselbund verfügbar: das Passwort wird beim Verbinden abgefragt"));
    EXPECT_TRUE(d.SshUser->isEnabled());
    EXPECT_FALSE(d.SshPassword->isEnabled()) << "nowhere to keep it";
    d.SshPassword->setText(QStringLiteral("geheim"));
    EXPECT_TRUE(d.Device().SshPassword.isEmpty()) << "not kept anywhere, asked at connect time";
    EXPECT_EQ(d.Device().SshUser, QStringLiteral("operator"));
    EXPECT_FALSE(d.ForgetPassword());
  }
  TDeviceDialog d(rec, QStringLiteral("Gerät bearbeiten"));
  d.SetKeychain(TSecretResult{});
  EXPECT_TRUE(d.KeychainNote->isHidden());
  EXPECT_TRUE(d.SshPassword->isEnabled());
  d.Forget->setChecked(true);
  EXPECT_TRUE(d.ForgetPassword());
  d.SshPassword->setText(QStringLiteral("neu"));
  EXPECT_FALSE(d.ForgetPassword()) << "a new password replaces the stored one";
  EXPECT_EQ(d.Device().SshPassword, QStringLiteral("neu"));
}

TEST(DeviceDialog, RefusesBadInputWithAReason) {
  struct TCase {
    bool Serial;
    QString Address, Port, User, Password, Error;
  };
  const QString badPort = QStringLiteral("Der Port muss eine Zahl von 1 bis 65535 sein.");
  const QString ip = QStringLiteral("10.0.0.1"), port = QStringLiteral("5040");
  const TCase cases[] = {
      {false, ip, QStringLiteral("abc"), {}, {}, badPort},
      {false, ip, QStringLiteral("70000"), {}, {}, badPort},
      {false, QStringLiteral("10.0 .0.1"), port, {}, {},
       QStringLiteral("Die Adresse darf keine Leerzeichen enthalten.")},
      {true, {}, QStringLiteral("  "), {}, {},
       QStringLiteral("Bitte die serielle Schnittstelle angeben (z. B. /dev/ttyUSB0 oder 1).")},
      {false, ip, port, {}, QStringLiteral("x"), QStringLiteral("Zum Passwort fehlt der Benutzer.")},
  };
  for (const TCase& c : cases) {
    TDeviceDialog d(THostDevice{}, QStringLiteral("Gerät hinzufügen"));
    d.Serial->setChecked(c.Serial);
    d.Address->setText(c.Address);
    d.Port->setText(c.Port);
    d.SshUser->setText(c.User);
    d.SshPassword->setText(c.Password);
    d.show();
    d.accept();
    EXPECT_TRUE(d.isVisible()) << c.Error.toStdString() << " (" << c.Port.toStdString() << "): the dialog stays open";
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.Error->isHidden());
    EXPECT_EQ(d.Error->text(), c.Error);
    // Mended, the same dialog takes it.
    d.Port->setText(c.Serial ? QStringLiteral("/dev/ttyUSB0") : QStringLiteral("5040"));
    d.Address->setText(QStringLiteral("10.0.0.1"));
    d.SshUser->setText(QStringLiteral("operator"));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted) << c.Error.toStdString();
    EXPECT_TRUE(d.Error->isHidden());
  }
}

// ---- the device's web page ---------------------------------------------------------------

TEST(HostWebPage, OpensTheDevicesAddressInTheBrowser) {
  THostDevice v6 = Network(QStringLiteral("2001:db8::5"));
  v6.IPver = TIpVer::ipverV6;
  THostDevice secure = Network(QStringLiteral("10.0.0.8"));
  secure.useHTTPS = true;
  THostDevice ssh = Network(QStringLiteral("192.0.2.10"), QStringLiteral("22"));
  ssh.ConType = TConType::ctSSH;
  THost h({Network(QStringLiteral("192.0.2.10")), v6, Network(QStringLiteral("vanta-7.example")),
           Network(QStringLiteral("[fe80::1]")), secure, ssh});
  const QString expected[] = {QStringLiteral("http://192.0.2.10/"),      QStringLiteral("http://[2001:db8::5]/"),
                              QStringLiteral("http://vanta-7.example/"), QStringLiteral("http://[fe80::1]/"),
                              QStringLiteral("https://10.0.0.8/"),       QStringLiteral("http://192.0.2.10/")};
  for (int i = 0; i < 6; ++i) {
    QAction* web = h.WebAction(i);
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->text(), QStringLiteral("Webseite öffnen"));
    EXPECT_TRUE(web->isEnabled()) << i;
    web->trigger();
    ASSERT_EQ(h.Opened.size(), i + 1);
    EXPECT_EQ(h.Opened.last().toString(), expected[i]);
  }
  EXPECT_TRUE(h.Log().contains(QStringLiteral("Webseite http://[2001:db8::5]/ geöffnet")));
  EXPECT_TRUE(h.Main->Windows().isEmpty()) << "no device window for a web page";
}

TEST(HostWebPage, NoPageForSerialDevicesOrWithoutAnAddress) {
  THost h({SerialDevice(QStringLiteral("/dev/ttyUSB0")), Network(QString()), Network(QStringLiteral("kein host"))});
  for (int i = 0; i < 3; ++i) {
    QAction* web = h.WebAction(i);
    ASSERT_NE(web, nullptr);
    EXPECT_FALSE(web->isEnabled()) << i;
    h.Main->OpenWebPage(i);  // as through a shortcut despite the disabled action
  }
  EXPECT_TRUE(h.Opened.isEmpty());
  EXPECT_TRUE(h.Log().contains(QStringLiteral("Seriell ist seriell angeschlossen und hat keine Webseite")));
  EXPECT_TRUE(
      h.Log().contains(QStringLiteral("Keine gültige Adresse für die Webseite von Gerät kein host: \"kein host\"")));
}

TEST(HostWebPage, ABrowserThatDoesNotStartIsReported) {
  THost h({Network(QStringLiteral("192.0.2.10"))});
  h.OpenerAnswer = false;
  h.Main->OpenWebPage(0);
  ASSERT_EQ(h.Opened.size(), 1);
  EXPECT_TRUE(h.Log().contains(QStringLiteral("Webseite http://192.0.2.10/ konnte nicht geöffnet werden")));
}

// ---- what a device window gets -----------------------------------------------------------

TEST(HostOpensDevice, TheEntrysSettingsReachTheWindow) {
  // Without an address the window works offline: the settings arrive, no
  // connection is made.
  THostDevice ftp = SshDevice(QString(), QStringLiteral("5040"));
  ftp.UseFTP = true;
  ftp.CheckXMLVersions = false;
  THostDevice plain = Network(QString());
  THost h({ftp, plain});
  int asked = 0;
  h.Main->FAskPassword = [&](const QString&, QString&) { return ++asked, false; };
  TFormBasic* a = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->FComUnit->FFTP);
  EXPECT_FALSE(a->FComUnit->FCheckXMLFileVersions);
  EXPECT_TRUE(a->FSecureConnection);
  EXPECT_EQ(a->FComUnit->FSSHUser, QStringLiteral("operator"));
  EXPECT_TRUE(a->FComUnit->FSSHPassword.isEmpty()) << "nothing to log in to: no password asked for or looked up";
  TFormBasic* b = h.Main->OpenDevice(1, TDirectKind::dkdata);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->FComUnit->FFTP);
  EXPECT_TRUE(b->FComUnit->FCheckXMLFileVersions);
  EXPECT_EQ(b->FComUnit->FSSHUser, CVantaDefUser()) << "no user in the entry: the factory login";
  // The command line's login is for this run and wins over the entry's.
  h.Main->SshUser = QStringLiteral("service");
  h.Main->SshPassword = QStringLiteral("von-der-kommandozeile");
  TFormBasic* c = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->FComUnit->FSSHUser, QStringLiteral("service"));
  EXPECT_EQ(c->FComUnit->FSSHPassword, QStringLiteral("von-der-kommandozeile"));
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(h.Main->OpenDevice(2, TDirectKind::dkdata), nullptr) << "no such entry";
}

// A connect that fails says why, in the main window's log as in the window.
TEST(HostOpensDevice, AFailedConnectNamesItsReason) {
  THost h({Network(QStringLiteral("127.0.0.1"), QString::number(ClosedPort()))});
  TFormBasic* w = h.Main->OpenDevice(0, TDirectKind::dkstatus);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(SpinUntil([&] { return h.Log().contains(QStringLiteral("Keine Verbindung zu ")); }, 15000)) << h.Log().toStdString();
  EXPECT_FALSE(w->ConnectFailure().isEmpty());
  EXPECT_TRUE(h.Log().contains(QStringLiteral(" (%1)").arg(w->ConnectFailure()))) << h.Log().toStdString();
}

TEST(HostOpensDevice, OfflineAtTheDevicesStationOrAllStationsAndTheStatusWindow) {
  THostDevice d = Network(QString());
  d.SN = 12345678;
  THost h({d});
  for (const uint32_t sn : {12345678u, 87654321u}) {
    const QString path = h.Dir.filePath(QStringLiteral("data/%1/Event/%1-1764900000-000.log").arg(sn));
    QDir().mkpath(QFileInfo(path).absolutePath());
    TRecordWriter w(TRecordKind::rkEvent, {sn, 0, false, QStringLiteral("Nord"), {}, QStringLiteral("Geraet")}, {});
    QString error;
    ASSERT_TRUE(w.Save(path, error));
  }
  auto* at = dynamic_cast<TFormOffline*>(h.Main->OpenDevice(0, TDirectKind::dkoffline));
  ASSERT_NE(at, nullptr);
  ASSERT_TRUE(vanta::test::SpinUntil([&] { return !at->Busy() && at->Stations().size() == 2 && at->FStartDevice && at->FStartDevice->childCount() > 0; }, 5000));
  EXPECT_TRUE(at->FStartDevice->text(0).startsWith(QStringLiteral("12345678")));
  auto* all = dynamic_cast<TFormOffline*>(h.Main->OpenOffline(0, QString()));
  ASSERT_NE(all, nullptr);
  ASSERT_TRUE(vanta::test::SpinUntil([&] { return !all->Busy() && all->Stations().size() == 2; }, 5000));
  EXPECT_EQ(all->FStartDevice, nullptr) << "no station chosen";
  EXPECT_NE(dynamic_cast<TFormStatus*>(h.Main->OpenDevice(0, TDirectKind::dkstatus)), nullptr);
}

TEST(HostOpensDevice, ASerialDeviceLearnsItsSerialNumberWhenItConnects) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  THostDevice d = SerialDevice(sim.PtyPath);
  d.CheckXMLVersions = false;
  THost h({d});
  QStringList told;
  h.Main->FInform = [&](const QString& text) { told << text; };
  // Never connected: which station is this device's is not known yet.
  EXPECT_EQ(h.Main->OpenDevice(0, TDirectKind::dkoffline), nullptr);
  ASSERT_EQ(told.size(), 1);
  EXPECT_EQ(told[0], QStringLiteral("Für dieses Gerät ist noch keine Seriennummer bekannt – bitte einmal verbinden."));
  EXPECT_TRUE(h.Log().contains(told[0]));
  TFormBasic* w = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(SpinUntil([&] { return w->PanelBack->isEnabled(); }, 10000));
  // The host hears of the connection when the window's poll sees the session.
  EXPECT_TRUE(SpinUntil([&] { return h.Log().contains(QStringLiteral("Verbunden mit Seriell")); }, 3000));
  EXPECT_TRUE(h.Log().contains(QStringLiteral("SESSION_STR_ADV"))) << "protocol-4 start without the login";
  EXPECT_FALSE(h.Log().contains(QStringLiteral("Sending ccc_start_s")));
  EXPECT_EQ(h.Store.Devices[0].SN, 12345678u);
  EXPECT_EQ(h.Store.Devices[0].Geraet, QStringLiteral("Vanta Sim")) << "the device's own name";
  TDeviceStore reread(h.Store.File());
  ASSERT_TRUE(reread.Load());
  EXPECT_EQ(reread.Devices[0].SN, 12345678u) << "kept for the next start";
  EXPECT_TRUE(h.Main->Tree()->topLevelItem(0)->child(0)->child(0)->text(0).contains(QStringLiteral("SN 12345678")));
  auto* off = dynamic_cast<TFormOffline*>(h.Main->OpenDevice(0, TDirectKind::dkoffline));
  ASSERT_NE(off, nullptr);
  EXPECT_EQ(off->FSelectedStation, 12345678u) << "opened at the device's own station";
  EXPECT_EQ(told.size(), 1);
}

// Without the language check nothing is offered, and a trace folder records
// the frames; with it the mapping database is offered once.
TEST(HostOpensDevice, LanguageCheckOffersTheMappingDatabaseOnceAndATraceFolderRecordsTheFrames) {
  const uint32_t offered = OfferedMappingDbVersion();
  ASSERT_GT(offered, 0u);
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--max-connections"), QStringLiteral("3")}));  // every window stays connected
  THostDevice unchecked = Network(QStringLiteral("127.0.0.1"), QString::number(sim.Port));
  unchecked.Geraet = QStringLiteral("Feld 3/Abgang");
  unchecked.CheckXMLVersions = false;
  THost h({unchecked, Network(QStringLiteral("127.0.0.1"), QString::number(sim.Port))});
  h.Store.Settings.TraceFolder = h.Dir.filePath(QStringLiteral("traces"));
  TFormBasic* w = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_TRUE(WindowConnected(w));
  EXPECT_TRUE(w->ShownMessages().isEmpty()) << "no language files offered";
  EXPECT_FALSE(QFileInfo::exists(h.Dir.filePath(QStringLiteral("ini/MappingDB.db"))));
  const QStringList files = QDir(h.Store.Settings.TraceFolder).entryList({QStringLiteral("*.pcapng")});
  ASSERT_EQ(files.size(), 1);
  EXPECT_TRUE(files[0].startsWith(QStringLiteral("Feld 3_Abgang_"))) << files[0].toStdString();
  QFile f(QDir(h.Store.Settings.TraceFolder).filePath(files[0]));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  std::vector<TTracePacket> p;
  EXPECT_EQ(ReadPcapng(f.readAll(), p), QString());
  ASSERT_GE(p.size(), 4u) << "session start, identity and their answers";
  EXPECT_EQ(p.front().Dir, TTraceDir::tdOut);
  EXPECT_TRUE(h.Log().contains(QStringLiteral("Mitschnitt: ")));

  TFormBasic* first = h.Main->OpenDevice(1, TDirectKind::dkdata);
  ASSERT_NE(first, nullptr);
  QMessageBox* box = nullptr;
  ASSERT_TRUE(SpinUntil([&] { return (box = OpenBox()) != nullptr; }, 8000));
  EXPECT_TRUE(box->text().contains(QStringLiteral("neue Sprachdateien")));
  box->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(WindowConnected(first));
  EXPECT_TRUE(QFileInfo::exists(h.Dir.filePath(QStringLiteral("ini/MappingDB.db"))));
  TDeviceStore reread(h.Store.File());
  ASSERT_TRUE(reread.Load());
  EXPECT_EQ(reread.Settings.MappingDbVersion, offered) << "the version of the file is kept";

  TFormBasic* second = h.Main->OpenDevice(1, TDirectKind::dkdata);
  ASSERT_TRUE(WindowConnected(second));
  EXPECT_TRUE(second->ShownMessages().isEmpty()) << "the same version is not offered again";
}

TEST(HostOpensDevice, ASerialLoginStartsTheSessionWithIt) {
  TSimProcess sim;
  ASSERT_TRUE(sim.Start({QStringLiteral("--serial-pty")}));
  THostDevice d = SerialDevice(sim.PtyPath);
  d.CheckXMLVersions = false;
  d.SerialLogin = true;
  d.SshUser = QStringLiteral("operator");
  THost h({d});
  h.Main->FAskPassword = [](const QString&, QString& password) {
    password = QStringLiteral("operator");
    return true;
  };
  TFormBasic* w = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(SpinUntil([&] { return w->PanelBack->isEnabled(); }, 10000));
  EXPECT_TRUE(SpinUntil([&] { return h.Log().contains(QStringLiteral("Verbunden mit Seriell")); }, 3000));
  EXPECT_TRUE(h.Log().contains(QStringLiteral("Sending ccc_start_s"))) << "protocol-5 start with the login";
  EXPECT_FALSE(h.Log().contains(QStringLiteral("SESSION_STR_ADV")));
}

// ---- the password question ---------------------------------------------------------------

// A first connection asks about the device's host key. The device answers a
// wrong password with the prompts of a password change, which the user declines.
TEST(HostPassword, AskedAtConnectRememberedForTheSessionForgottenWhenRejected) {
  TSshHost s;
  s.Answers = {QStringLiteral("falsch"), QStringLiteral("operator")};
  ASSERT_TRUE(s.Start());
  THost& h = *s.H;
  TFormBasic* rejected = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(rejected, nullptr);
  ASSERT_EQ(s.Prompts, QStringList{QStringLiteral("Passwort für operator@127.0.0.1:")});
  EXPECT_EQ(rejected->FComUnit->FSSHPassword, QStringLiteral("falsch"));
  ASSERT_TRUE(SpinUntil([&] { return h.Log().contains(QStringLiteral("(Anmeldung abgelehnt)")); }, 15000))
      << h.Log().toStdString();

  TFormBasic* accepted = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(accepted, nullptr);
  EXPECT_EQ(s.Prompts.size(), 2) << "a rejected password is asked again";
  ASSERT_TRUE(SpinUntil([&] { return Outcomes(h) == 2; }, 15000)) << h.Log().toStdString();
  EXPECT_EQ(h.Log().count(QStringLiteral("(Anmeldung abgelehnt)")), 1) << h.Log().toStdString();

  TFormBasic* again = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(s.Prompts.size(), 2) << "remembered for this session";
  EXPECT_EQ(again->FComUnit->FSSHPassword, QStringLiteral("operator"));
  EXPECT_TRUE(h.Store.Devices[0].SshPassword.isEmpty());
  EXPECT_TRUE(s.Ini().contains("sshUser=operator"));
  EXPECT_FALSE(s.Ini().contains("sshPassword")) << "never written to the ini file";

  THost restarted({s.Device});  // a new run asks again
  restarted.Main->FAskPassword = [&](const QString& prompt, QString&) {
    s.Prompts << prompt;
    return false;
  };
  EXPECT_EQ(restarted.Main->OpenDevice(0, TDirectKind::dkdata), nullptr);
  EXPECT_EQ(s.Prompts.size(), 3);
}

// Runs for real as the ctest entry secret_store_host, in a private unlocked
// keyring (tests/tools/with_secret_service.sh); elsewhere there is no keyring
// of the test's own to write to.
TEST(HostKeychain, StoredPasswordLogsInWithoutAskingUntilRejected) {
  if (qEnvironmentVariable("VANTA_TEST_SECRET_SERVICE") != QLatin1String("keyring"))
    GTEST_SKIP() << "needs the private keyring of tests/tools/with_secret_service.sh (ctest -R secret_store_host)";
  const TSecretStore secrets;
  ASSERT_TRUE(secrets.Available().Ok());
  TSshHost s;
  ASSERT_TRUE(s.Start());
  THost& h = *s.H;
  ASSERT_TRUE(secrets.Write(PasswordKey(s.Device), QStringLiteral("operator")).Ok());
  h.Main->Secrets = &secrets;

  TFormBasic* stored = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(stored, nullptr);
  EXPECT_TRUE(s.Prompts.isEmpty()) << "the stored password is used without asking";
  EXPECT_EQ(stored->FComUnit->FSSHPassword, QStringLiteral("operator"));
  ASSERT_TRUE(SpinUntil([&] { return Outcomes(h) == 1; }, 15000)) << h.Log().toStdString();
  EXPECT_FALSE(h.Log().contains(QStringLiteral("(Anmeldung abgelehnt)"))) << h.Log().toStdString();

  // The device's password changed: the stored one is rejected once, then
  // asked for in this run instead of failing every time.
  ASSERT_TRUE(secrets.Write(PasswordKey(s.Device), QStringLiteral("veraltet")).Ok());
  TFormBasic* rejected = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(rejected, nullptr);
  EXPECT_TRUE(s.Prompts.isEmpty());
  EXPECT_EQ(rejected->FComUnit->FSSHPassword, QStringLiteral("veraltet"));
  ASSERT_TRUE(SpinUntil([&] { return h.Log().contains(QStringLiteral("gespeicherte Passwort")); }, 15000))
      << h.Log().toStdString();
  TFormBasic* asked = h.Main->OpenDevice(0, TDirectKind::dkdata);
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(s.Prompts, QStringList{QStringLiteral("Passwort für operator@127.0.0.1:")});
  EXPECT_EQ(asked->FComUnit->FSSHPassword, QStringLiteral("operator"));
  ASSERT_TRUE(SpinUntil([&] { return Outcomes(h) == 3; }, 15000)) << h.Log().toStdString();

  // None of it went into the file.
  ASSERT_TRUE(h.Store.Save());
  EXPECT_FALSE(s.Ini().contains("sshPassword"));
  EXPECT_TRUE(secrets.Remove(PasswordKey(s.Device)).Ok());
}

TEST(HostPassword, CancellingAbortsTheConnect) {
  THostDevice ssh = SshDevice(QStringLiteral("127.0.0.1"), QString::number(ClosedPort()));
  ssh.Geraet = QStringLiteral("Schaltanlage");
  THostDevice serial = SerialDevice(QStringLiteral("/dev/ttyUSB7"));
  serial.SerialLogin = true;
  serial.SshUser = QStringLiteral("service");
  THostDevice v6 = SshDevice(QStringLiteral("fd00::2"));
  v6.IPver = TIpVer::ipverV6;
  THost h({ssh, serial, v6});
  QStringList prompts;
  h.Main->FAskPassword = [&](const QString& prompt, QString&) {
    prompts << prompt;
    return false;
  };
  EXPECT_EQ(h.Main->OpenDevice(0, TDirectKind::dkdata), nullptr);
  EXPECT_EQ(h.Main->OpenDevice(1, TDirectKind::dkdata), nullptr);
  EXPECT_EQ(h.Main->OpenDevice(2, TDirectKind::dkdata), nullptr);
  EXPECT_EQ(prompts, (QStringList{QStringLiteral("Passwort für operator@127.0.0.1:"),
                                  QStringLiteral("Passwort für service@/dev/ttyUSB7:"),
                                  QStringLiteral("Passwort für operator@[fd00::2]:")}));
  EXPECT_TRUE(h.Main->Windows().isEmpty()) << "no window, no connection";
  EXPECT_TRUE(h.Log().contains(QStringLiteral("Verbindung zu Schaltanlage abgebrochen: kein Passwort eingegeben")));
  EXPECT_FALSE(h.Log().contains(QStringLiteral("geöffnet")));
}

TEST(HostPassword, TheQuestionIsAMaskedBox) {
  THost h({SshDevice(QStringLiteral("192.0.2.1"))});
  h.Main->show();
  QString title, label;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QInputDialog*>(w); box && box->isVisible()) {
        title = box->windowTitle();
        label = box->labelText();
        echo = box->textEchoMode();
        box->reject();
      }
  });
  answer.start(50);
  EXPECT_EQ(h.Main->OpenDevice(0, TDirectKind::dkdata), nullptr);
  EXPECT_EQ(title, QStringLiteral("Passwort"));
  EXPECT_EQ(label, QStringLiteral("Passwort für operator@192.0.2.1:"));
  EXPECT_EQ(echo, QLineEdit::Password);
}

// ---- the command line without a display ---------------------------------------------------

namespace {
struct TRun {
  int Code = -1;
  QProcess::ExitStatus Status = QProcess::CrashExit;
  QString Out, Err;
};

TRun RunHostWithoutDisplay(const QStringList& args, const QString& config = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(QString::fromLatin1(name));
  if (!config.isEmpty()) env.insert(QStringLiteral("VANTA_HOST_CONFIG"), config);
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(VANTA_HOST_PATH), args);
  TRun r;
  if (!p.waitForFinished(20000)) {
    vanta::test::StopProcess(p);
    return r;
  }
  r.Code = p.exitCode();
  r.Status = p.exitStatus();
  r.Out = QString::fromLocal8Bit(p.readAllStandardOutput());
  r.Err = QString::fromLocal8Bit(p.readAllStandardError());
  return r;
}
}  // namespace

TEST(HostCommandLine, HelpAndVersionWorkWithoutADisplay) {
  for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
    const TRun r = RunHostWithoutDisplay({option});
    EXPECT_EQ(r.Status, QProcess::NormalExit);
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.startsWith(QStringLiteral("Usage: "))) << r.Out.toStdString();
    for (const char* o : {"--connect <HOST:PORT>", "--serial <PATH>", "--screenshot <FILE>", "--version"})
      EXPECT_TRUE(r.Out.contains(QLatin1String(o))) << o;
  }
  for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-v")}) {
    const TRun r = RunHostWithoutDisplay({option});
    EXPECT_EQ(r.Status, QProcess::NormalExit);
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, QStringLiteral("vanta-host " VANTA_VERSION "\n"));
  }
  const TRun late =
      RunHostWithoutDisplay({QStringLiteral("--connect"), QStringLiteral("127.0.0.1:5040"), QStringLiteral("--help")});
  EXPECT_EQ(late.Code, 0) << "help wins wherever it stands";
}

TEST(HostCommandLine, BadInputIsRefusedWithAReasonNotACrash) {
  struct TCase {
    QStringList Args;
    QString Error;
  };
  const TCase cases[] = {
      {{QStringLiteral("--connect"), QStringLiteral("nur-ein-host")}, QStringLiteral("--connect takes HOST:PORT")},
      {{QStringLiteral("--connect"), QStringLiteral("127.0.0.1:99999")}, QStringLiteral("--connect takes HOST:PORT")},
      {{QStringLiteral("--connect")}, QStringLiteral("Missing value after '--connect'")},
      {{QStringLiteral("--open"), QStringLiteral("alles")},
       QStringLiteral("--open takes one of: para, paraRefresh, visu")},
      {{QStringLiteral("--visibility"), QStringLiteral("9")},
       QStringLiteral("--visibility takes a number from 0 to 3")},
      {{QStringLiteral("--after"), QStringLiteral("bald")}, QStringLiteral("--after takes seconds")},
      {{QStringLiteral("--password"), QStringLiteral("x")}, QStringLiteral("--password needs --user")},
      {{QStringLiteral("--frobnicate")}, QStringLiteral("unknown option: frobnicate (see --help)")},
      {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--frobnicate"), QStringLiteral("-x")},
       QStringLiteral("unknown options: frobnicate, x (see --help)")},
      {{}, QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset)")},
  };
  for (const TCase& c : cases) {
    const TRun r = RunHostWithoutDisplay(c.Args);
    EXPECT_EQ(r.Status, QProcess::NormalExit) << c.Args.join(' ').toStdString();
    EXPECT_EQ(r.Code, 1) << c.Args.join(' ').toStdString();
    EXPECT_TRUE(r.Err.startsWith(QStringLiteral("vanta-host: ") + c.Error)) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.isEmpty());
  }
}

// Qt's own -platform option works without a display. Without --package the
// firmware window first asks for the package: the screenshot shows that
// question, the main window is kept beside it, and the program still ends on
// its own.
TEST(HostCommandLine, AScreenshotEndsEvenWhileAQuestionIsOpen) {
  QTemporaryDir dir;
  const QString png = dir.filePath(QStringLiteral("flash.png"));
  QElapsedTimer took;
  took.start();
  const TRun r = RunHostWithoutDisplay({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--connect"),
                                        QStringLiteral("127.0.0.1:%1").arg(ClosedPort()), QStringLiteral("--open"), QStringLiteral("flash"),
                                        QStringLiteral("--screenshot"), png, QStringLiteral("--after"), QStringLiteral("0.5")},
                                       dir.filePath(QStringLiteral("devices.ini")));
  EXPECT_LT(took.elapsed(), 15000) << "ends by itself";
  EXPECT_EQ(r.Status, QProcess::NormalExit);
  EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out, QStringLiteral("screenshot %1\nquestion: Updatepaket wählen\n").arg(png));
  const QImage question(png);
  const QImage mainWindow(dir.filePath(QStringLiteral("flash-main.png")));
  ASSERT_FALSE(question.isNull());
  ASSERT_FALSE(mainWindow.isNull());
  EXPECT_NE(question.size(), mainWindow.size()) << "the picture is the question, not the main window";
}

TEST(HostClose, UnsentParameterEditsHoldTheHostUntilTheOperatorLetsThemGo) {
  THost h({Network(QString())});
  auto* para = dynamic_cast<TFormPara*>(h.Main->OpenDevice(0, TDirectKind::dkpara));
  ASSERT_NE(para, nullptr);
  const QString setup = h.Dir.filePath(QStringLiteral("setup.xml"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml"), setup));
  QFile::setPermissions(setup, QFile::ReadOwner | QFile::WriteOwner);
  para->FVisibility = 0;
  ASSERT_TRUE(para->OpenOffline(setup));
  auto* freq = para->FEasyPage->findChild<QLineEdit*>(QStringLiteral("edt_%1").arg(0x0D000000));
  ASSERT_NE(freq, nullptr);
  freq->setText(QStringLiteral("60"));
  emit freq->editingFinished();
  ASSERT_TRUE(para->HasUnsentChanges());

  QStringList asked;
  bool discard = false;
  para->FRunQuestion = [&](QMessageBox& box) {
    asked << box.text();
    return discard;
  };
  h.Main->show();
  para->show();
  EXPECT_FALSE(h.Main->close()) << "Abbrechen keeps the host open";
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0], QStringLiteral("Ungesendete Änderungen verwerfen?"));
  EXPECT_TRUE(para->isVisible());
  EXPECT_TRUE(h.Main->isVisible());
  EXPECT_EQ(GetNodeValue(para->Fxf.FindFirst(0x0D000000), ".//value"), QStringLiteral("60"));

  discard = true;
  EXPECT_TRUE(h.Main->close());
  EXPECT_EQ(asked.size(), 2);
  EXPECT_FALSE(para->isVisible());
}

// The waits for a device that works without answering are the operator's
// settings: set in the dialog, kept across a restart, handed to every window
// that waits.
TEST(HostSettings, WaitLimitsComeFromTheDialogSurviveARestartAndReachTheWindows) {
  THost h({Network(QString())});
  QTimer::singleShot(0, [] {
    QWidget* dlg = QApplication::activeModalWidget();
    ASSERT_NE(dlg, nullptr);
    dlg->findChild<QSpinBox*>(QStringLiteral("spnUpdateWait"))->setValue(45);
    dlg->findChild<QSpinBox*>(QStringLiteral("spnCalibStepWait"))->setValue(7);
    dlg->findChild<QSpinBox*>(QStringLiteral("spnComebackWait"))->setValue(12);
    auto* lang = dlg->findChild<QComboBox*>(QStringLiteral("cmbLanguage"));
    lang->setCurrentIndex(lang->findData(QStringLiteral("en")));
    QMetaObject::invokeMethod(dlg, "accept", Qt::QueuedConnection);
  });
  h.Main->EditSettings();
  EXPECT_EQ(h.Store.Settings.UpdateWaitMin, 45);

  TDeviceStore again(h.Store.File());
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.Settings.Language, QStringLiteral("en")) << "the language is chosen in the dialog too";
  EXPECT_EQ(again.Settings.UpdateWaitMin, 45);
  EXPECT_EQ(again.Settings.CalibStepWaitMin, 7);
  EXPECT_EQ(again.Settings.ComebackWaitMin, 12);

  auto* calib = dynamic_cast<TFrmCalib*>(h.Main->OpenDevice(0, TDirectKind::dkcalib));
  ASSERT_NE(calib, nullptr);
  EXPECT_EQ(calib->FStepTimeoutMs, 7 * 60 * 1000);
  h.Main->PackageFile = QStringLiteral("/nowhere/fw.zip");
  auto* flash = dynamic_cast<TFormFlash*>(h.Main->OpenDevice(0, TDirectKind::dkflash));
  ASSERT_NE(flash, nullptr);
  EXPECT_EQ(flash->FUpdateTimeoutMs, 45 * 60 * 1000);
  auto* mass = dynamic_cast<TFormMassFlash*>(h.Main->OpenMassFlash({0}));
  ASSERT_NE(mass, nullptr);
  EXPECT_EQ(mass->Tuning.UpdateTimeoutMs, 45 * 60 * 1000);
  EXPECT_EQ(mass->Tuning.ComebackTimeoutMs, 12 * 60 * 1000);
  delete mass;
}

TEST(HostSettings, AWaitBelowAMinuteInTheFileIsRaisedToOne) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("devices.ini"));
  {
    QSettings raw(file, QSettings::IniFormat);
    raw.setValue(QStringLiteral("settings/calibStepWaitMin"), 0);
    raw.setValue(QStringLiteral("settings/updateWaitMin"), QStringLiteral("lang"));
  }
  TDeviceStore s(file);
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(s.Settings.CalibStepWaitMin, 1) << "zero would give up at once";
  EXPECT_EQ(s.Settings.UpdateWaitMin, 1) << "no number: the shortest wait, not none";
}

TEST(HostOpensDevice, TheStatusFileWindowIsTheUpdateWindowWithoutAPackage) {
  THost h({Network(QString())});
  int asked = 0;
  h.Main->FAskPackage = [&] { return ++asked, QString(); };
  QMenu menu;
  h.Main->FillDeviceMenu(menu, 0);
  QAction* action = menu.findChild<QAction*>(QStringLiteral("OpenStatusFile"));
  ASSERT_NE(action, nullptr);
  action->trigger();
  auto* w = dynamic_cast<TFormFlash*>(h.Main->LastOpened());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->FKind, TFlashKind::KndStatus);
  EXPECT_EQ(asked, 0) << "no package is asked for";
  // The next update window is an update again.
  h.Main->PackageFile = QStringLiteral("/nowhere/fw.zip");
  auto* update = dynamic_cast<TFormFlash*>(h.Main->OpenDevice(0, TDirectKind::dkflash));
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(update->FKind, TFlashKind::KndFirmware);
}


// ---- language ------------------------------------------------------------------------

namespace {
QStringList MenuTitles(const TMainWindow& main) {
  QStringList titles;
  for (QAction* a : main.menuBar()->actions()) titles << a->text();
  return titles;
}
}  // namespace

TEST(HostLanguage, EnglishReachesTheMainWindowItsQuestionsAndTheDeviceWindowsAndGermanComesBack) {
  vanta::test::TGermanAfterwards german;
  ASSERT_TRUE(InstallLanguage(QStringLiteral("en")));
  THost h({Network(QString())});
  EXPECT_EQ(MenuTitles(*h.Main), (QStringList{QStringLiteral("&Device"), QStringLiteral("&Open"), QStringLiteral("&Tools")}));
  EXPECT_EQ(h.Main->findChild<QTreeWidget*>(QStringLiteral("DeviceTree"))->headerItem()->text(0),
            QStringLiteral("Plant / Field / Device"));
  // A text made before the language was chosen is still shown in it.
  QStringList told;
  h.Main->FInform = [&](const QString& text) { told << text; };
  EXPECT_EQ(h.Main->OpenDevice(0, TDirectKind::dkoffline), nullptr);
  ASSERT_EQ(told.size(), 1);
  EXPECT_EQ(told[0], QStringLiteral("No serial number is known for this device yet – please connect once."));
  // The main window's messages are the operator's, in the operator's language.
  EXPECT_TRUE(h.Log().contains(QStringLiteral(": No serial number is known for this device yet"))) << h.Log().toStdString();
  auto* status = dynamic_cast<TFormStatus*>(h.Main->OpenDevice(0, TDirectKind::dkstatus));
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->windowTitle(), QStringLiteral("Device status"));
  // Texts kept in tables outside the classes: the parameter editor's
  // caption and the grid's column headings.
  TFormPara para;
  EXPECT_EQ(para.windowTitle(), QStringLiteral("Device parameters"));
  TVantaGrid grid;
  EXPECT_EQ(grid.model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Factory setting"));

  // Back in German the source texts show as written (the other windows' German
  // texts are checked by their own tests).
  InstallLanguage(QStringLiteral("de"), false);
  THost back({Network(QString())});
  EXPECT_EQ(MenuTitles(*back.Main), (QStringList{QStringLiteral("&Gerät"), QStringLiteral("&Öffnen"), QStringLiteral("&Extras")}));
}
