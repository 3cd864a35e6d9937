#include "MainWindow.h"

#include "FormLayout.h"
#include "FormOffline.h"
#include "FormFlash.h"
#include "FormMassFlash.h"
#include "FormStatus.h"
#include "FrmCalib.h"
#include "FormComplete.h"
#include "FormVisu.h"
#include "FormPara.h"

#include <QComboBox>
#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <QToolBar>
#include <QTreeWidget>

#include "DeviceDialog.h"
#include "Language.h"

namespace vanta::host {

// German as written (made before the language is chosen); shown through TTr::tr.
const QString SNoSerialNumberYet =
    QString::fromUtf8(QT_TRANSLATE_NOOP("TTr", "Für dieses Gerät ist noch keine Seriennummer bekannt – bitte einmal verbinden."));

namespace {
constexpr int CIndexRole = Qt::UserRole + 1;
constexpr TDirectKind CKinds[] = {TDirectKind::dkpara,      TDirectKind::dkparaRefresh, TDirectKind::dkvisu,
                                  TDirectKind::dkdata,      TDirectKind::dkoffline,     TDirectKind::dkflash,
                                  TDirectKind::dkmassflash, TDirectKind::dkstatus,      TDirectKind::dkInitSSH,
                                  TDirectKind::dkUserSetup, TDirectKind::dkcalib};

QString DeviceLabel(const TDeviceRec& d) {
  const QString where = d.IsSerial ? d.Port
                     : d.IP.contains(QLatin1Char(':')) ? QStringLiteral("%1, Port %2").arg(d.IP, d.Port)
                                                      : QStringLiteral("%1:%2").arg(d.IP, d.Port);
  const QString name = d.Geraet.isEmpty() ? TTr::tr("(Gerät)") : d.Geraet;
  return d.SN ? QStringLiteral("%1  [%2, SN %3]").arg(name, where).arg(d.SN) : QStringLiteral("%1  [%2]").arg(name, where);
}

bool AskPasswordBox(QWidget* parent, const QString& prompt, QString& password) {
  QInputDialog box(parent);
  box.setObjectName(QStringLiteral("PasswordQuestion"));
  box.setWindowTitle(TTr::tr("Passwort"));
  box.setLabelText(prompt);
  box.setTextEchoMode(QLineEdit::Password);
  box.setCancelButtonText(TTr::tr("Abbrechen"));
  if (box.exec() != QDialog::Accepted) return false;
  password = box.textValue();
  return true;
}
}  // namespace

QUrl DeviceWebUrl(const TDeviceRec& d) {
  if (d.IsSerial) return QUrl();
  QString host = d.IP.trimmed();
  if (host.size() > 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
  if (host.isEmpty()) return QUrl();
  QUrl url;
  url.setScheme(d.useHTTPS ? QStringLiteral("https") : QStringLiteral("http"));
  // Puts an IPv6 address in brackets and refuses what is no host at all.
  url.setHost(host, QUrl::StrictMode);
  url.setPath(QStringLiteral("/"));
  return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

bool NeedsLogin(const THostDevice& d) { return d.IsSerial ? d.SerialLogin : d.ConType == TConType::ctSSH; }

// The key of FSessionPasswords: user@device.
static QString SessionKey(const THostDevice& d, const QString& user) {
  return d.IsSerial ? QStringLiteral("%1@%2").arg(user, d.Port) : QStringLiteral("%1@%2:%3").arg(user, d.IP, d.Port);
}

QString TMainWindow::StoredPassword(const THostDevice& d, const QString& user) {
  if (!Secrets || user.isEmpty()) return QString();
  const QString key = PasswordKey(d, user);
  if (FRejectedStored.contains(key)) return QString();
  QString password;
  const TSecretResult r = Secrets->Read(key, password);
  if (r.Ok()) return password;
  // Said once per run: without a secret store every connection would repeat it.
  if (r.Status != TSecretStatus::ssNotFound && !FKeychainProblemLogged) {
    FKeychainProblemLogged = true;
    AddLog(tr("Gespeicherte Passwörter nicht lesbar: %1; sie werden beim Verbinden abgefragt")
               .arg(SecretResultText(r)));
  }
  return QString();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  for (const QPointer<TFormBasic>& w : std::as_const(FWindows)) {
    if (w && w->isVisible() && !w->close()) {
      event->ignore();
      return;
    }
  }
  QMainWindow::closeEvent(event);
}

TMainWindow::TMainWindow(TDeviceStore& store, QWidget* parent) : QMainWindow(parent), FStore(store) {
  setWindowTitle(QStringLiteral("Vanta Workspace %1").arg(TFormBasic::GetAppVersionStr()));
  resize(1000, 650);
  FTree = new QTreeWidget(this);
  FTree->setObjectName(QStringLiteral("DeviceTree"));
  FTree->setHeaderLabels({tr("Anlage / Feld / Gerät")});
  FTree->header()->setStretchLastSection(true);
  FTree->setContextMenuPolicy(Qt::CustomContextMenu);
  setCentralWidget(FTree);

  FLog = new QPlainTextEdit(this);
  FLog->setReadOnly(true);
  FLog->setMaximumBlockCount(5000);
  FLog->setObjectName(QStringLiteral("LogPane"));
  auto* dock = new QDockWidget(tr("Protokoll"), this);
  dock->setWidget(FLog);
  addDockWidget(Qt::BottomDockWidgetArea, dock);

  FStatus = new QLabel(this);
  FBusy = new QProgressBar(this);
  FBusy->setRange(0, 0);
  FBusy->setFixedWidth(60);
  FBusy->setVisible(false);
  FGlobalProgress = new QProgressBar(this);
  FGlobalProgress->setFixedWidth(160);
  FGlobalProgress->setVisible(false);
  FBoxes = new QLabel(this);
  statusBar()->addWidget(FBusy);
  statusBar()->addWidget(FStatus, 1);
  statusBar()->addPermanentWidget(FGlobalProgress);
  statusBar()->addPermanentWidget(FBoxes);

  QToolBar* tb = addToolBar(tr("Geräte"));
  FToolBar = tb;
  tb->setObjectName(QStringLiteral("ToolBar"));
  QMenu* devMenu = menuBar()->addMenu(tr("&Gerät"));
  auto add = [&](const QString& text, auto slot, bool onBar = true) {
    QAction* a = devMenu->addAction(text, this, slot);
    if (onBar) tb->addAction(a);
    return a;
  };
  add(tr("Hinzufügen…"), &TMainWindow::AddDevice);
  add(tr("Bearbeiten…"), &TMainWindow::EditDevice);
  add(tr("Duplizieren"), &TMainWindow::DuplicateDevice);
  add(tr("Entfernen"), &TMainWindow::RemoveDevice);
  devMenu->addSeparator();
  FWebAction = devMenu->addAction(tr("Webseite öffnen"), this, [this] { OpenWebPage(SelectedDevice()); });
  tb->addSeparator();
  QMenu* open = menuBar()->addMenu(tr("&Öffnen"));
  for (TDirectKind k : CKinds) {
    QAction* a = open->addAction(DirectKindTitle(k), this, [this, k] {
      const int i = SelectedDevice();
      if (k == TDirectKind::dkmassflash)
        OpenMassFlash(i >= 0 ? QList<int>{i} : QList<int>{});
      else if (i >= 0)
        OpenDevice(i, k);
      else if (k == TDirectKind::dkoffline)
        OpenOffline(0, QString());  // no device chosen: every station
    });
    if (k == TDirectKind::dkpara || k == TDirectKind::dkvisu || k == TDirectKind::dkdata || k == TDirectKind::dkstatus)
      tb->addAction(a);
    if (k == TDirectKind::dkvisu)
      open->addAction(tr("Alle Messwerte"), this, [this] {
        if (const int i = SelectedDevice(); i >= 0) OpenDevice(i, TDirectKind::dkvisu, true);
      });
  }
  QMenu* extras = menuBar()->addMenu(tr("&Extras"));
  extras->addAction(tr("Einstellungen…"), this, &TMainWindow::EditSettings);
  extras->addAction(tr("Protokoll leeren"), FLog, &QPlainTextEdit::clear);

  connect(FTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    const QVariant v = item->data(0, CIndexRole);
    if (v.isValid()) OpenDevice(v.toInt(), TDirectKind::dkdata);
  });
  connect(FTree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    QTreeWidgetItem* item = FTree->itemAt(p);
    const QVariant v = item ? item->data(0, CIndexRole) : QVariant();
    if (!v.isValid()) return;
    QMenu menu(this);
    FillDeviceMenu(menu, v.toInt());
    menu.exec(FTree->viewport()->mapToGlobal(p));
  });
  connect(FTree, &QTreeWidget::currentItemChanged, this, &TMainWindow::UpdateActions);
  FAskPassword = [this](const QString& prompt, QString& password) { return AskPasswordBox(this, prompt, password); };
  FInform = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };
  FAskPackage = [this] {
    return QFileDialog::getOpenFileName(this, tr("Updatepaket wählen"), QString(), tr("Updatepaket (*.zip)"));
  };
  RebuildTree();
}

void TMainWindow::FillDeviceMenu(QMenu& menu, int index) {
  if (index < 0 || index >= int(FStore.Devices.size())) return;
  for (TDirectKind k : CKinds) menu.addAction(DirectKindTitle(k), this, [this, index, k] { OpenDevice(index, k); });
  menu.addAction(tr("Statusdatei lesen"), this, [this, index] { OpenStatusFile(index); })
      ->setObjectName(QStringLiteral("OpenStatusFile"));
  menu.addSeparator();
  QAction* web = menu.addAction(tr("Webseite öffnen"), this, [this, index] { OpenWebPage(index); });
  web->setObjectName(QStringLiteral("OpenWebPage"));
  web->setEnabled(!DeviceWebUrl(FStore.Devices[size_t(index)]).isEmpty());
  menu.addSeparator();
  menu.addAction(tr("Bearbeiten…"), this, [this, index] {
    SelectDevice(index);
    EditDevice();
  });
}

void TMainWindow::UpdateActions() {
  const int i = SelectedDevice();
  FWebAction->setEnabled(i >= 0 && i < int(FStore.Devices.size()) && !DeviceWebUrl(FStore.Devices[size_t(i)]).isEmpty());
}

void TMainWindow::OpenWebPage(int index) {
  if (index < 0 || index >= int(FStore.Devices.size())) return;
  const TDeviceRec& d = FStore.Devices[size_t(index)];
  const QUrl url = DeviceWebUrl(d);
  if (url.isEmpty()) {
    AddLog(d.IsSerial ? tr("%1 ist seriell angeschlossen und hat keine Webseite").arg(d.Geraet)
                      : tr("Keine gültige Adresse für die Webseite von %1: \"%2\"").arg(d.Geraet, d.IP));
    return;
  }
  if (FOpenUrl && FOpenUrl(url))
    AddLog(tr("Webseite %1 geöffnet").arg(url.toString()));
  else
    AddLog(tr("Webseite %1 konnte nicht geöffnet werden (kein Browser?)").arg(url.toString()));
}

void TMainWindow::RebuildTree() {
  const int selected = SelectedDevice();
  FTree->clear();
  QHash<QString, QTreeWidgetItem*> anlagen, felder;
  for (int i = 0; i < int(FStore.Devices.size()); ++i) {
    const TDeviceRec& d = FStore.Devices[size_t(i)];
    const QString a = d.Anlage.isEmpty() ? tr("(ohne Anlage)") : d.Anlage;
    const QString f = d.Feld.isEmpty() ? tr("(ohne Feld)") : d.Feld;
    QTreeWidgetItem*& ai = anlagen[a];
    if (!ai) ai = new QTreeWidgetItem(FTree, {a});
    QTreeWidgetItem*& fi = felder[a + QChar(0) + f];
    if (!fi) fi = new QTreeWidgetItem(ai, {f});
    auto* item = new QTreeWidgetItem(fi, {DeviceLabel(d)});
    item->setData(0, CIndexRole, i);
  }
  FTree->expandAll();
  SelectDevice(selected >= 0 ? selected : 0);
  UpdateActions();
}

int TMainWindow::SelectedDevice() const {
  QTreeWidgetItem* item = FTree->currentItem();
  if (!item) return -1;
  const QVariant v = item->data(0, CIndexRole);
  return v.isValid() ? v.toInt() : -1;
}

void TMainWindow::SelectDevice(int index) {
  for (QTreeWidgetItemIterator it(FTree); *it; ++it)
    if ((*it)->data(0, CIndexRole).toInt() == index && (*it)->data(0, CIndexRole).isValid()) FTree->setCurrentItem(*it);
}

void TMainWindow::AddLog(const QString& line) {
  FLog->appendPlainText(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line);
}

TFormBasic* TMainWindow::OpenOffline(uint32_t station, const QString& name) {
  // The store of earlier readouts, no connection: opened at the station, or
  // showing all stations when none is chosen.
  const THostSettings& s = FStore.Settings;
  auto* w = new TFormOffline;
  w->FMainForm = this;
  w->FOnLogCallBack = [this](QObject*, const QString& line) { AddLog(line); };
  w->FEnableDisableBar = [this](QObject*, bool enable) { FToolBar->setEnabled(enable); };
  w->SetSettings(s.Para, s.OnOffline);
  w->FOnOfflineSettingsCallback = [this](QObject*, TFrmOnOfflineSettings& o) {
    FStore.Settings.OnOffline = o;
    FStore.Save();
  };
  w->SetStore(s.DataFolder, station);
  w->show();
  w->CheckData();
  FWindows << w;
  FLastOpened = w;
  AddLog(name.isEmpty() ? tr("%1 geöffnet").arg(DirectKindTitle(TDirectKind::dkoffline))
                        : tr("%1 für %2 geöffnet").arg(DirectKindTitle(TDirectKind::dkoffline), name));
  return w;
}

TFormBasic* TMainWindow::OpenDevice(int index, TDirectKind kind, bool allValues) {
  if (index < 0 || index >= int(FStore.Devices.size())) return nullptr;
  const THostDevice d = FStore.Devices[size_t(index)];
  const THostSettings& s = FStore.Settings;
  if (kind == TDirectKind::dkoffline) {
    // Without a serial number the device's station is unknown; opening every
    // station instead would show other devices' data as if it were this one's.
    if (d.SN == 0) {
      AddLog(tr("%1 für %2: %3").arg(DirectKindTitle(kind), d.Geraet, TTr::tr(SNoSerialNumberYet.toUtf8().constData())));
      if (FInform) FInform(TTr::tr(SNoSerialNumberYet.toUtf8().constData()));
      return nullptr;
    }
    return OpenOffline(d.SN, d.Geraet);
  }
  if (kind == TDirectKind::dkmassflash) {
    OpenMassFlash({index});
    return nullptr;
  }
  const bool loginFromCommandLine = !SshUser.isEmpty();
  const QString user = loginFromCommandLine ? SshUser : d.SshUser;
  QString password = loginFromCommandLine ? SshPassword : QString();
  const QString where = d.IsSerial ? d.Port : d.IP;
  const QString sessionKey = SessionKey(d, user);
  // Without a user the client keeps the device's factory login, and a
  // network entry without an address is not connected: nothing to ask.
  const bool connects = d.IsSerial || !d.IP.isEmpty();
  bool fromStore = false;
  if (connects && NeedsLogin(d) && !user.isEmpty() && password.isEmpty()) {
    password = FSessionPasswords.value(sessionKey);
    if (password.isEmpty()) {
      password = StoredPassword(d, user);
      fromStore = !password.isEmpty();
    }
    if (password.isEmpty()) {
      const QString at = d.IP.contains(QLatin1Char(':')) && !d.IsSerial ? QLatin1Char('[') + where + QLatin1Char(']') : where;
      if (!FAskPassword || !FAskPassword(tr("Passwort für %1@%2:").arg(user, at), password)) {
        AddLog(tr("Verbindung zu %1 abgebrochen: kein Passwort eingegeben").arg(d.Geraet.isEmpty() ? where : d.Geraet));
        return nullptr;
      }
      if (!password.isEmpty()) FSessionPasswords.insert(sessionKey, password);
    }
  }
  TFormBasic* w = nullptr;
  if (kind == TDirectKind::dkpara || kind == TDirectKind::dkparaRefresh) {
    auto* para = new TFormPara;
    // A failed upload offers to read the set again in a fresh window.
    para->ReloadPara = [this, index, para] {
      para->close();
      OpenDevice(index, TDirectKind::dkpara);
    };
    w = para;
  } else if (kind == TDirectKind::dkdata) {
    w = new TFormOnline;
  } else if (kind == TDirectKind::dkstatus) {
    w = new TFormStatus;
  } else if (kind == TDirectKind::dkcalib) {
    auto* calib = new TFrmCalib;
    calib->FClose = [calib](QObject*) { QTimer::singleShot(0, calib, &QWidget::close); };
    calib->FStepTimeoutMs = s.CalibStepWaitMin * 60 * 1000;
    w = calib;
  } else if (kind == TDirectKind::dkflash && std::exchange(FNextFlashIsStatus, false)) {
    auto* flash = new TFormFlash;
    flash->FKind = TFlashKind::KndStatus;
    flash->setWindowTitle(tr("Statusdatei – %1").arg(d.Geraet));
    w = flash;
  } else if (kind == TDirectKind::dkflash) {
    const QString pkg = !PackageFile.isEmpty() ? PackageFile : FAskPackage ? FAskPackage() : QString();
    if (pkg.isEmpty()) {
      AddLog(tr("Firmware-Update für %1 abgebrochen: kein Updatepaket gewählt").arg(d.Geraet));
      return nullptr;
    }
    auto* flash = new TFormFlash;
    flash->FKind = TFlashKind::KndFirmware;
    flash->FFN = pkg;
    flash->FUpdateTimeoutMs = s.UpdateWaitMin * 60 * 1000;
    // The update ends with its message; the window goes with it.
    flash->FFlashClose = [this, flash, name = d.Geraet](QObject*, int result) {
      const bool ok = flash->Job() && flash->Job()->Outcome == TFlashJob::TOutcome::Success;
      AddLog(tr("Firmware-Update für %1 beendet: %2").arg(name, ok ? TTr::tr(CFWUpdateSuccessText) : flash->Job() ? flash->Job()->ResultText : QString()));
      (void)result;
      QTimer::singleShot(0, flash, &QWidget::close);
    };
    w = flash;
  } else if (kind == TDirectKind::dkvisu && allValues) {
    w = new TFormComplete;
  } else if (kind == TDirectKind::dkvisu) {
    w = new TFormVisu;
  } else {
    w = new TFormDevice(kind);
  }
  // Host callbacks first, then the client, then how to reach the device.
  w->FMainForm = this;
  w->FUserVer = s.UserName;
  w->FVisibility = s.Visibility;
  w->FOnLogCallBack = [this](QObject*, const QString& line) { AddLog(line); };
  w->FWorkCallback = [this](QObject*, const QString& text, bool start, bool clear) {
    FBusy->setVisible(start);
    FStatus->setText(clear ? QString() : text);
  };
  w->FSetGlobalProg = [this](QObject*, bool on, const QString& text) {
    FGlobalProgress->setVisible(on);
    FGlobalProgress->setFormat(text);
  };
  w->FCntDlgBoxes = [this](bool open) {
    FOpenBoxes = qMax(0, FOpenBoxes + (open ? 1 : -1));
    FBoxes->setText(FOpenBoxes ? tr("%1 Meldung(en) offen").arg(FOpenBoxes) : QString());
  };
  w->FOnNewSN = [this, ip = d.IP, port = d.Port, serial = d.IsSerial](QObject*, uint32_t sn, TDevType t, const QString& a,
                                                                      const QString& f, const QString& g) {
    if (FStore.UpdateIdentity(ip, port, sn, t, a, f, g, serial)) {
      FStore.Save();
      RebuildTree();
    }
  };
  w->FConnectThreadEnd = [this, w, name = d.Geraet, sessionKey, fromStore, storeKey = PasswordKey(d, user)](
                             QObject*, bool ok, bool authError) {
    if (authError) FSessionPasswords.remove(sessionKey);
    if (authError && fromStore && !FRejectedStored.contains(storeKey)) {
      FRejectedStored.insert(storeKey);
      AddLog(tr(
                 "Das gespeicherte Passwort für %1 wurde abgelehnt; bis zum Neustart wird beim Verbinden gefragt "
                 "(ändern: Gerät bearbeiten)")
                 .arg(name));
    }
    AddLog(ok ? tr("Verbunden mit %1").arg(name)
              : tr("Keine Verbindung zu %1%2")
                    .arg(name, authError                       ? tr(" (Anmeldung abgelehnt)")
                               : w->ConnectFailure().isEmpty() ? QString()
                                                               : QStringLiteral(" (%1)").arg(w->ConnectFailure())));
  };
  w->FEnableDisableBar = [this](QObject*, bool enable) { FToolBar->setEnabled(enable); };
  w->SetSettings(s.Para, s.OnOffline);
  w->FParaSettingsCallback = [this](QObject*, TFrmParaSettings& p) {
    FStore.Settings.Para = p;
    FStore.Save();
  };
  w->FOnOfflineSettingsCallback = [this](QObject*, TFrmOnOfflineSettings& o) {
    FStore.Settings.OnOffline = o;
    FStore.Save();
  };
  w->SetComUnit(d.IsSerial, d.ConType == TConType::ctSSH, d.IPver);
  if (!user.isEmpty()) w->SetSSHLogin(user, password);
  QDir().mkpath(s.DataFolder);
  QDir().mkpath(s.IniFolder);
  QDir().mkpath(s.TmpFolder);
  w->SetFolders(s.DataFolder, s.IniFolder, s.TmpFolder);
  if (!s.TraceFolder.isEmpty() && QDir().mkpath(s.TraceFolder)) {
    // One file per window, named after the device and the time it opened.
    auto trace = std::make_shared<TPcapngWriter>();
    const QString file = QDir(s.TraceFolder).filePath(QStringLiteral("%1_%2.pcapng")
                                                          .arg(FileNamePart(d.Geraet.isEmpty() ? where : d.Geraet),
                                                               QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"))));
    QString error;
    if (trace->Open(file, error)) {
      w->FComUnit->FTrace = trace;
      AddLog(QStringLiteral("Mitschnitt: %1").arg(file));
    } else {
      AddLog(tr("Mitschnitt nicht möglich: %1").arg(error));
    }
  }
  // The mapping database is kept once for all devices; its version keeps the
  // language check from offering the same file at every connection.
  const QString ini = s.IniFolder.endsWith(QLatin1Char('/')) ? s.IniFolder : s.IniFolder + QLatin1Char('/');
  if (QFileInfo::exists(ini + CMappingDB)) w->FComUnit->FMessDBVer = s.MappingDbVersion;
  w->FComUnit->FOnNewXMLFile = [this, unit = w->FComUnit, inner = std::move(w->FComUnit->FOnNewXMLFile)](
                                   QObject* sender, const QString& file, int32_t type) {
    if (type == 2 && FStore.Settings.MappingDbVersion != unit->FMessDBVer) {
      FStore.Settings.MappingDbVersion = unit->FMessDBVer;
      FStore.Save();
    }
    if (inner) inner(sender, file, type);
  };
  if (d.IsSerial) {
    bool number = false;
    const int com = d.Port.toInt(&number);
    if (number)
      w->SetSerialComUnit(com, true, true, true, d.CheckXMLVersions, d.SerialLogin);
    else
      w->SetSerialComUnitPath(d.Port, true, true, true, d.CheckXMLVersions, d.SerialLogin);
  } else {
    w->SetTCPCommUnit(d.IP, d.Port.toInt(), d.UseFTP, true, true, true, d.CheckXMLVersions, 0);
  }
  w->show();
  FWindows << w;
  FLastOpened = w;
  AddLog(tr("%1 für %2 geöffnet").arg(DirectKindTitle(kind), d.Geraet));
  return w;
}

QWidget* TMainWindow::OpenMassFlash(const QList<int>& selected) {
  QList<TMassTarget> targets;
  for (const THostDevice& d : FStore.Devices) {
    TMassTarget t;
    t.Name = d.Geraet;
    t.Plant = d.Anlage;
    t.Field = d.Feld;
    t.Host = d.IP;
    t.Port = d.Port.toInt();
    t.Ssh = d.ConType == TConType::ctSSH;
    if (t.Ssh) {
      t.SshPort = t.Port;
      t.Port = 5040;
    }
    t.User = SshUser.isEmpty() ? d.SshUser : SshUser;
    t.Password = SshUser.isEmpty() ? QString() : SshPassword;
    if (t.Password.isEmpty()) t.Password = FSessionPasswords.value(SessionKey(d, t.User));
    if (t.Password.isEmpty() && t.Ssh && !d.IsSerial) t.Password = StoredPassword(d, t.User);
    targets << t;  // serial devices keep their place but cannot be ticked usefully: no address
  }
  auto* w = new TFormMassFlash(targets, FStore.Settings.DataFolder);
  w->Tuning.IniFolder = FStore.Settings.IniFolder;  // the host keys the device windows trusted
  w->Tuning.UpdateTimeoutMs = FStore.Settings.UpdateWaitMin * 60 * 1000;
  w->Tuning.ComebackTimeoutMs = FStore.Settings.ComebackWaitMin * 60 * 1000;
  w->Tuning.ComebackGraceMs = w->Tuning.ComebackTimeoutMs;
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->Select(selected);
  if (!PackageFile.isEmpty()) w->edPackage->setText(PackageFile);
  w->OnLog = [this](const QString& line) { AddLog(line); };
  w->show();
  FLastOpened = w;
  AddLog(tr("%1 geöffnet").arg(DirectKindTitle(TDirectKind::dkmassflash)));
  return w;
}

bool TMainWindow::EditRecord(THostDevice& rec, const QString& title) {
  TDeviceDialog dlg(rec, title, this);
  dlg.SetKeychain(Secrets ? Secrets->Available() : TSecretResult{TSecretStatus::ssNoService, QString()});
  if (dlg.exec() != QDialog::Accepted) return false;
  rec = dlg.Device();
  const QString key = PasswordKey(rec);
  if (!rec.SshPassword.isEmpty()) {
    // The dialog only takes a password when the secret store answered; it
    // can still fail now (locked, refused): then it is asked at connect
    // time, never kept anywhere else.
    const TSecretResult r =
        Secrets ? Secrets->Write(key, rec.SshPassword) : TSecretResult{TSecretStatus::ssNoService, QString()};
    if (r.Ok()) {
      rec.OldPassword.clear();  // superseded: must not overwrite the new one at the next start
      FRejectedStored.remove(key);
      FSessionPasswords.remove(SessionKey(rec, rec.SshUser));
      AddLog(tr("Passwort für %1 im Schlüsselbund gespeichert").arg(rec.Geraet));
    } else {
      const QString text =
          tr("Passwort nicht gespeichert (%1); es wird beim Verbinden abgefragt").arg(SecretResultText(r));
      AddLog(text);
      if (FInform) FInform(text);
    }
    rec.SshPassword.clear();
  } else if (dlg.ForgetPassword()) {
    rec.OldPassword.clear();
    const TSecretResult r = Secrets->Remove(key);
    AddLog(
        r.Ok()
            ? tr("Gespeichertes Passwort für %1 gelöscht").arg(rec.Geraet)
            : tr("Gespeichertes Passwort für %1 nicht gelöscht: %2").arg(rec.Geraet, SecretResultText(r)));
  }
  return true;
}

void TMainWindow::AddDevice() {
  THostDevice d;
  d.Port = QStringLiteral("5040");
  if (!EditRecord(d, tr("Gerät hinzufügen"))) return;
  FStore.Devices.push_back(d);
  FStore.Save();
  RebuildTree();
  SelectDevice(int(FStore.Devices.size()) - 1);
}

void TMainWindow::EditDevice() {
  const int i = SelectedDevice();
  if (i < 0) return;
  if (!EditRecord(FStore.Devices[size_t(i)], tr("Gerät bearbeiten"))) return;
  FStore.Save();
  RebuildTree();
}

void TMainWindow::DuplicateDevice() {
  const int i = SelectedDevice();
  if (i < 0) return;
  THostDevice copy = FStore.Devices[size_t(i)];
  copy.Geraet += tr(" (Kopie)");
  copy.SN = 0;
  FStore.Devices.push_back(copy);
  FStore.Save();
  RebuildTree();
}

void TMainWindow::RemoveDevice() {
  const int i = SelectedDevice();
  if (i < 0) return;
  if (QMessageBox::question(this, windowTitle(), tr("Gerät \"%1\" entfernen?").arg(FStore.Devices[size_t(i)].Geraet)) !=
      QMessageBox::Yes)
    return;
  const THostDevice gone = FStore.Devices[size_t(i)];
  FStore.Devices.erase(FStore.Devices.begin() + i);
  FStore.Save();
  RebuildTree();
  // Its stored password goes with the last entry of that login (a copy of
  // the entry still uses it).
  const QString key = PasswordKey(gone);
  const bool used = std::any_of(FStore.Devices.begin(), FStore.Devices.end(),
                                [&key](const THostDevice& d) { return PasswordKey(d) == key; });
  if (Secrets && !gone.SshUser.isEmpty() && NeedsLogin(gone) && !used) {
    const TSecretResult r = Secrets->Remove(key);
    if (!r.Ok())
      AddLog(tr("Gespeichertes Passwort für %1 nicht gelöscht: %2").arg(gone.Geraet, SecretResultText(r)));
  }
}

TFormBasic* TMainWindow::OpenStatusFile(int index) {
  FNextFlashIsStatus = true;
  TFormBasic* w = OpenDevice(index, TDirectKind::dkflash);
  FNextFlashIsStatus = false;
  return w;
}

void TMainWindow::EditSettings() {
  THostSettings& s = FStore.Settings;
  QDialog dlg(this);
  dlg.setWindowTitle(tr("Einstellungen"));
  auto* form = new QFormLayout(&dlg);
  auto* data = new QLineEdit(s.DataFolder);
  auto* ini = new QLineEdit(s.IniFolder);
  auto* tpl = new QLineEdit(s.TemplateFolder);
  auto* tmp = new QLineEdit(s.TmpFolder);
  auto* trace = new QLineEdit(s.TraceFolder);
  trace->setPlaceholderText(tr("leer: keine Mitschnitte"));
  auto* user = new QLineEdit(s.UserName);
  auto* vis = new QSpinBox();
  vis->setRange(0, 3);
  vis->setValue(s.Visibility);
  form->addRow(tr("Datenordner"), data);
  form->addRow(tr("Ini-Ordner"), ini);
  form->addRow(tr("Vorlagen"), tpl);
  form->addRow(tr("Temporäre Dateien"), tmp);
  form->addRow(tr("Protokoll-Mitschnitte"), trace);
  form->addRow(tr("Benutzername"), user);
  form->addRow(tr("Zugriffsebene"), vis);
  // Windows take their texts when they are made: a new language shows from
  // the next start on.
  auto* lang = new QComboBox();
  lang->setObjectName(QStringLiteral("cmbLanguage"));
  lang->addItem(tr("Wie das System"), QString());
  lang->addItem(QStringLiteral("Deutsch"), QStringLiteral("de"));
  lang->addItem(QStringLiteral("English"), QStringLiteral("en"));
  lang->setCurrentIndex(qMax(0, lang->findData(s.Language)));
  form->addRow(tr("Sprache (ab dem nächsten Start)"), lang);
  auto wait = [&form](const QString& name, const QString& label, int value) {
    auto* spin = new QSpinBox();
    spin->setObjectName(name);
    spin->setRange(1, 24 * 60);
    spin->setSuffix(QStringLiteral(" min"));
    spin->setValue(value);
    form->addRow(label, spin);
    return spin;
  };
  QSpinBox* updateWait = wait(QStringLiteral("spnUpdateWait"), tr("Warten auf das Update"), s.UpdateWaitMin);
  QSpinBox* stepWait = wait(QStringLiteral("spnCalibStepWait"), tr("Warten je Kalibrierschritt"), s.CalibStepWaitMin);
  QSpinBox* comebackWait =
      wait(QStringLiteral("spnComebackWait"), tr("Warten auf den Neustart nach dem Update"), s.ComebackWaitMin);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(box);
  connect(box, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  if (dlg.exec() != QDialog::Accepted) return;
  s.DataFolder = data->text();
  s.IniFolder = ini->text();
  s.TemplateFolder = tpl->text();
  s.TmpFolder = tmp->text();
  s.TraceFolder = trace->text().trimmed();
  s.UserName = user->text();
  s.Visibility = vis->value();
  s.Language = lang->currentData().toString();
  s.UpdateWaitMin = updateWait->value();
  s.CalibStepWaitMin = stepWait->value();
  s.ComebackWaitMin = comebackWait->value();
  FStore.Save();
}

}  // namespace vanta::host
