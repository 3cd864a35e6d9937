#include "DeviceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vanta::host {

TDeviceDialog::TDeviceDialog(const THostDevice& rec, const QString& title, QWidget* parent)
    : QDialog(parent), FRec(rec) {
  setWindowTitle(title);
  setObjectName(QStringLiteral("DeviceDialog"));
  auto* root = new QVBoxLayout(this);

  auto* names = new QGroupBox(tr("Gerät"), this);
  auto* nf = new QFormLayout(names);
  Anlage = new QLineEdit(rec.Anlage, names);
  Feld = new QLineEdit(rec.Feld, names);
  Geraet = new QLineEdit(rec.Geraet, names);
  nf->addRow(tr("Anlage"), Anlage);
  nf->addRow(tr("Feld"), Feld);
  nf->addRow(tr("Gerät"), Geraet);
  root->addWidget(names);

  auto* conn = new QGroupBox(tr("Verbindung"), this);
  auto* cf = new QFormLayout(conn);
  Serial = new QCheckBox(tr("Serielle / USB-Verbindung"), conn);
  Serial->setChecked(rec.IsSerial);
  Address = new QLineEdit(rec.IP, conn);
  Address->setPlaceholderText(tr("leer: ohne Verbindung (gespeicherte Daten)"));
  Port = new QLineEdit(rec.Port, conn);
  IpVersion = new QComboBox(conn);
  IpVersion->addItems({QStringLiteral("IPv4"), QStringLiteral("IPv6")});
  IpVersion->setCurrentIndex(rec.IPver == TIpVer::ipverV6 ? 1 : 0);
  Connection = new QComboBox(conn);
  Connection->addItems({QStringLiteral("CCCI (TCP)"), tr("CCCI über SSH")});
  Connection->setCurrentIndex(rec.ConType == TConType::ctSSH ? 1 : 0);
  UseFTP = new QCheckBox(tr("Dateien über FTP übertragen"), conn);
  UseFTP->setChecked(rec.UseFTP);
  SerialLogin = new QCheckBox(tr("Seriell mit Anmeldung verbinden (Protokoll 5)"), conn);
  SerialLogin->setChecked(rec.SerialLogin);
  SerialLogin->setToolTip(tr("Aus: Sitzungsstart ohne Anmeldung (Protokoll 4)"));
  cf->addRow(Serial);
  cf->addRow(tr("Adresse"), Address);
  cf->addRow(tr("Port / serielle Schnittstelle"), Port);
  cf->addRow(tr("IP-Version"), IpVersion);
  cf->addRow(tr("Verbindungsart"), Connection);
  cf->addRow(UseFTP);
  cf->addRow(SerialLogin);
  root->addWidget(conn);

  auto* login = new QGroupBox(tr("Anmeldung (SSH / serielle Anmeldung)"), this);
  auto* lf = new QFormLayout(login);
  SshUser = new QLineEdit(rec.SshUser, login);
  SshUser->setPlaceholderText(tr("leer: Werkseinstellung des Geräts"));
  SshPassword = new QLineEdit(rec.SshPassword, login);
  SshPassword->setEchoMode(QLineEdit::Password);
  SshPassword->setPlaceholderText(tr("leer: gespeichertes behalten, sonst beim Verbinden abfragen"));
  SshPassword->setToolTip(tr("Wird im Schlüsselbund des Desktops gespeichert, nie in der Einstellungsdatei"));
  Forget = new QCheckBox(tr("Gespeichertes Passwort aus dem Schlüsselbund löschen"), login);
  KeychainNote = new QLabel(login);
  KeychainNote->setObjectName(QStringLiteral("KeychainNote"));
  KeychainNote->setWordWrap(true);
  KeychainNote->setVisible(false);
  lf->addRow(tr("Benutzer"), SshUser);
  lf->addRow(tr("Passwort"), SshPassword);
  lf->addRow(Forget);
  lf->addRow(KeychainNote);
  root->addWidget(login);

  CheckXMLVersions = new QCheckBox(tr("Sprachdateien beim Verbinden prüfen"), this);
  CheckXMLVersions->setChecked(rec.CheckXMLVersions);
  root->addWidget(CheckXMLVersions);

  Error = new QLabel(this);
  Error->setObjectName(QStringLiteral("DeviceDialogError"));
  Error->setStyleSheet(QStringLiteral("color: #b00020;"));
  Error->setWordWrap(true);
  Error->setVisible(false);
  root->addWidget(Error);

  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
  root->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &TDeviceDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &TDeviceDialog::reject);
  connect(Serial, &QCheckBox::toggled, this, &TDeviceDialog::UpdateEnabled);
  connect(SerialLogin, &QCheckBox::toggled, this, &TDeviceDialog::UpdateEnabled);
  connect(Connection, &QComboBox::currentIndexChanged, this, &TDeviceDialog::UpdateEnabled);
  // A new password replaces the stored one; forgetting it then says nothing.
  connect(SshPassword, &QLineEdit::textChanged, this, &TDeviceDialog::UpdateEnabled);
  UpdateEnabled();
}

void TDeviceDialog::UpdateEnabled() {
  const bool serial = Serial->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{Address, IpVersion, Connection, UseFTP}) w->setEnabled(!serial);
  SerialLogin->setEnabled(serial);
  // The login is used by SSH and by the serial session start with login only.
  const bool login = serial ? SerialLogin->isChecked() : Connection->currentIndex() == 1;
  SshUser->setEnabled(login);
  SshPassword->setEnabled(login && FKeychain);
  Forget->setEnabled(login && FKeychain && SshPassword->text().isEmpty());
}

void TDeviceDialog::SetKeychain(const TSecretResult& available) {
  FKeychain = available.Ok();
  if (!FKeychain) {
    SshPassword->clear();
    Forget->setChecked(false);
    KeychainNote->setText(tr("Kein Schlüsselbund verfügbar: das Passwort wird beim Verbinden abgefragt"));
    KeychainNote->setToolTip(SecretResultText(available));
  }
  KeychainNote->setVisible(!FKeychain);
  Forget->setVisible(FKeychain);
  UpdateEnabled();
}

bool TDeviceDialog::ForgetPassword() const { return FKeychain && Forget->isEnabled() && Forget->isChecked(); }

QString TDeviceDialog::InputError() const {
  const QString port = Port->text().trimmed();
  if (Serial->isChecked()) {
    if (port.isEmpty()) return tr("Bitte die serielle Schnittstelle angeben (z. B. /dev/ttyUSB0 oder 1).");
  } else {
    bool number = false;
    const int p = port.toInt(&number);
    if (!number || p < 1 || p > 65535) return tr("Der Port muss eine Zahl von 1 bis 65535 sein.");
    if (Address->text().trimmed().contains(QLatin1Char(' ')))
      return tr("Die Adresse darf keine Leerzeichen enthalten.");
  }
  if (SshUser->text().trimmed().isEmpty() && !SshPassword->text().isEmpty())
    return tr("Zum Passwort fehlt der Benutzer.");
  return QString();
}

void TDeviceDialog::accept() {
  const QString error = InputError();
  Error->setText(error);
  Error->setVisible(!error.isEmpty());
  if (error.isEmpty()) QDialog::accept();
}

THostDevice TDeviceDialog::Device() const {
  THostDevice d = FRec;
  d.Anlage = Anlage->text().trimmed();
  d.Feld = Feld->text().trimmed();
  d.Geraet = Geraet->text().trimmed();
  d.IsSerial = Serial->isChecked();
  d.IP = Address->text().trimmed();
  // An IPv6 address is often copied from a URL, brackets and all.
  if (d.IP.size() > 2 && d.IP.startsWith(QLatin1Char('[')) && d.IP.endsWith(QLatin1Char(']')))
    d.IP = d.IP.mid(1, d.IP.size() - 2);
  d.Port = Port->text().trimmed();
  d.IPver = IpVersion->currentIndex() == 1 ? TIpVer::ipverV6 : TIpVer::ipverV4;
  d.ConType = Connection->currentIndex() == 1 ? TConType::ctSSH : TConType::ctCCCI;
  d.UseFTP = UseFTP->isChecked();
  d.CheckXMLVersions = CheckXMLVersions->isChecked();
  d.SerialLogin = SerialLogin->isChecked();
  d.SshUser = SshUser->text().trimmed();
  d.SshPassword = FKeychain ? SshPassword->text() : QString();
  return d;
}

}  // namespace vanta::host
