#include "FormBasic.h"

#include <QDesktopServices>
#include <QUrl>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDate>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QThread>
#include <QToolButton>
#include <pugixml.hpp>

#include "BuildInfo.h"
#include "FrmNewPass.h"
#include "GuiHelpers.h"

// Resources of a static library are registered by hand.
static void InitWorkspaceResources() { Q_INIT_RESOURCE(workspace); }

namespace vanta {

namespace {
bool OnGuiThread() { return QThread::currentThread() == qApp->thread(); }

QMessageBox::Icon IconOf(TMsgDlgType t) {
  switch (t) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
    case TMsgDlgType::mtCustom: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

struct TButtonMap {
  TMsgDlgBtn Ours;
  QMessageBox::StandardButton Qt;
  TModalResult Result;
};
constexpr TButtonMap CButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},         {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},            {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},   {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore},
};
}  // namespace

TFormBasic::TFormBasic(QWidget* parent) : QMainWindow(parent) {
  InitWorkspaceResources();
  FVerInfo = GetAppVersionStr();
  FWorkCnt = 0;
  FWIP = 0;
  PanelBack = new QWidget(this);
  PanelBack->setObjectName(QStringLiteral("PanelBack"));
  DimPanel(true);
  PanelBack->setEnabled(false);
  setCentralWidget(PanelBack);
  BuildStatusBar();
  resize(900, 600);
}

TFormBasic::~TFormBasic() {
  LogCallBack(QStringLiteral("End: 0 "));
  if (FComUnit) {
    FComUnit->FOnLogCallBack = nullptr;
    FComUnit->FRequestClose = nullptr;
  }
  LogCallBack(QStringLiteral("End: 1 "));
  delete FTCPComUnit;
  FTCPComUnit = nullptr;
  delete FRSComUnit;
  FRSComUnit = nullptr;
  FComUnit = nullptr;
  for (int i = 2; i <= 7; ++i) LogCallBack(QStringLiteral("End: %1 ").arg(i));
  LogCallBack(QStringLiteral("End:") + windowTitle());
  FOnLogCallBack = nullptr;
}

namespace {
// A status-line text that gives way: the line has room for the step, the
// connection and the padlock only when a long text settles for less than
// its full width. The text is shortened with "…" and shown whole as the
// tool tip; text() keeps the full text.
class TElideLabel : public QLabel {
 public:
  TElideLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), FMode(mode) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  }
  QSize minimumSizeHint() const override { return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, QLabel::minimumSizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect r = contentsRect().adjusted(margin(), 0, -margin(), 0);
    const QString shown = fontMetrics().elidedText(text(), FMode, r.width());
    p.setPen(palette().color(foregroundRole()));
    p.drawText(r, int(alignment()), shown);
    UpdateTip(shown);
  }
  void resizeEvent(QResizeEvent* e) override {
    QLabel::resizeEvent(e);
    UpdateTip(fontMetrics().elidedText(text(), FMode, contentsRect().width() - 2 * margin()));
  }

 private:
  void UpdateTip(const QString& shown) {
    const QString tip = shown == text() ? QString() : text();
    if (toolTip() != tip) setToolTip(tip);
  }
  Qt::TextElideMode FMode;
};
}  // namespace

void TFormBasic::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  AniIndi = new QProgressBar(bar);
  AniIndi->setObjectName(QStringLiteral("AniIndi"));
  AniIndi->setRange(0, 0);  // a running indicator
  AniIndi->setFixedWidth(60);
  AniIndi->setTextVisible(false);
  AniIndi->setVisible(false);
  ProgressBar1 = new QProgressBar(bar);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  // Narrows with the window rather than pushing the texts over each other.
  ProgressBar1->setMinimumWidth(60);
  ProgressBar1->setMaximumWidth(180);
  ProgressBar1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  ProgressBar1->setAlignment(Qt::AlignCenter);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setFormat(QString());
  LabSBar = new TElideLabel(Qt::ElideRight, bar);
  LabSBar->setObjectName(QStringLiteral("LabSBar"));
  lblCon = new TElideLabel(Qt::ElideMiddle, bar);
  lblCon->setObjectName(QStringLiteral("lblCon"));
  lblCon->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  imgSecure = new QLabel(bar);
  imgSecure->setObjectName(QStringLiteral("imgSecure"));
  imgSecure->setFixedSize(18, 18);
  lytTrackZoom = new QWidget(bar);
  lytTrackZoom->setObjectName(QStringLiteral("lytTrackZoom"));
  auto* zl = new QHBoxLayout(lytTrackZoom);
  zl->setContentsMargins(0, 0, 0, 0);
  auto* minus = new QToolButton(lytTrackZoom);
  minus->setText(QStringLiteral("-"));
  tbZoom = new QSlider(Qt::Horizontal, lytTrackZoom);
  tbZoom->setObjectName(QStringLiteral("tbZoom"));
  tbZoom->setRange(1, 30);
  tbZoom->setSingleStep(1);
  tbZoom->setValue(10);
  tbZoom->setFixedWidth(100);
  auto* plus = new QToolButton(lytTrackZoom);
  plus->setText(QStringLiteral("+"));
  txtZoomPerc = new QLabel(QStringLiteral("100%"), lytTrackZoom);
  txtZoomPerc->setObjectName(QStringLiteral("txtZoomPerc"));
  zl->addWidget(minus);
  zl->addWidget(tbZoom);
  zl->addWidget(plus);
  zl->addWidget(txtZoomPerc);
  connect(minus, &QToolButton::clicked, tbZoom, [this] { tbZoom->setValue(tbZoom->value() - 1); });
  connect(plus, &QToolButton::clicked, tbZoom, [this] { tbZoom->setValue(tbZoom->value() + 1); });
  connect(tbZoom, &QSlider::valueChanged, txtZoomPerc, [this](int v) { txtZoomPerc->setText(QStringLiteral("%1%").arg(v * 10)); });
  lytTrackZoom->setVisible(false);
  bar->addWidget(AniIndi);
  bar->addWidget(ProgressBar1);
  bar->addWidget(LabSBar, 1);
  bar->addPermanentWidget(lytTrackZoom);
  bar->addPermanentWidget(lblCon);
  bar->addPermanentWidget(imgSecure);
}

QString TFormBasic::GetAppVersionStr() {
  const QDate built = QDate::fromString(QString::fromLatin1(build::CBuildDate), Qt::ISODate);
  return QStringLiteral("V%1.%2 %3")
      .arg(build::CVersionMajor)
      .arg(build::CVersionMinor)
      .arg(QLocale().toString(built, QLocale::ShortFormat));
}

// ---- set-up ---------------------------------------------------------------------------

void TFormBasic::SetComUnit(bool isSerial, bool secure, TIpVer ipVersion) {
  FSecureConnection = secure;
  if (isSerial) {
    FRSComUnit = new TRSComUnit();
    FComUnit = FRSComUnit;
    FRSComUnit->FOnWorkEvent = [this](TWorkMode, int64_t count, TWorkStatus status) {
      if (status == TWorkStatus::WorkBegin) ComUnitOnWorkBegin(count);
      else if (status == TWorkStatus::WorkWorking) ComUnitOnWork(count);
      else ComUnitOnWorkEnd();
    };
  } else {
    FTCPComUnit = new TTCPComUnit(secure);
    FTCPComUnit->FIPVersion = ipVersion;
    FComUnit = FTCPComUnit;
    FTCPComUnit->FOnWorkEvent = [this](TWorkMode, int64_t count, TWorkStatus status) {
      if (status == TWorkStatus::WorkBegin) ComUnitOnWorkBegin(count);
      else if (status == TWorkStatus::WorkWorking) ComUnitOnWork(count);
      else ComUnitOnWorkEnd();
    };
    FTCPComUnit->FConnectThreadEnd = [this](QObject*, bool ok, bool authError) {
      FConnSucces = ok;
      FAuthError = authError;
      ConnEnd();
    };
    if (secure) {
      // The SSH reader asks these on the GUI thread and waits for the answer.
      FTCPComUnit->FOnFingerprint = [this](TFingerprintState, const QString& question, const QString&) {
        if (FCntDlgBoxes) FCntDlgBoxes(true);
        QMessageBox box(QMessageBox::Question, windowTitle(), question, QMessageBox::Ok | QMessageBox::Cancel, this);
        box.setObjectName(QStringLiteral("HostKeyQuestion"));
        const int r = box.exec();
        if (FCntDlgBoxes) FCntDlgBoxes(false);
        return r == QMessageBox::Ok ? TConnectHashAction::chaSave : TConnectHashAction::chaCancel;
      };
      FTCPComUnit->FOnPasswordExpired = [this](QString& fresh) {
        TFrmNewPass dialog(this);
        if (dialog.exec() != QDialog::Accepted) return false;
        fresh = dialog.NewPassword();
        return true;
      };
    }
  }
  BindClient();
}

void TFormBasic::BindClient() {
  TComUnit& u = *FComUnit;
  u.FOnLogCallBack = [this](QObject* s, const QString& t, bool memo) { LogPrepare(s, t, memo); };
  u.FOnNewXMLFile = [this](QObject* s, const QString& f, int32_t t) { CallBackXML(s, f, t); };
  u.FOnConnDone = [this](QObject* s, bool ok) { ConnEst(s, ok); };
  // Device logs and other fetched files open in the system's viewer.
  u.FOpenFile = [this](const QString& path) {
    if (!FOpenUrl(QUrl::fromLocalFile(path))) LogCallBack(QStringLiteral("Datei kann nicht geöffnet werden: ") + path);  // untranslated
  };
  u.FUpdateGrid = [this](QObject*) {
    if (FComUnit) UpdateGrid();
  };
  u.FStopWork = [this] { StopWork(); };
  u.FClearWork = [this] { ClearWork(); };
  u.FRecOverview = [this](QObject*, TMemoryStream& s) {
    RecOverView(QString::fromLatin1(s.Bytes()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
  };
  u.FEvtOverview = [this](QObject*, TMemoryStream& s) {
    EvtOverView(QString::fromLatin1(s.Bytes()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
  };
  u.FRecToTable = [this](QObject*, const QString& f) { RecToTable(f); };
  u.FEvtToTable = [this](QObject*, const QString& f) { EvtToTable(f); };
  u.FSetNewDisplayImage = [this](QObject* s, TMemoryStream& img) { SetNewDisplayImage(s, img); };
  u.FOnConCallack = [this](QObject* s, const QString& t) { SetLabConText(s, t); };
  u.FDisplayConnMessage = [this](const QString& t, TMsgDlgType k, TThreadedMessageCallBack& cb, TMsgDlgButtons b,
                                 TMsgDlgBtn d) { DisplayConnMessage(t, k, cb, b, d); };
  u.FThreadExceptCallBack = [this](QObject* s) { ThreadExceptCallBack(s); };
  u.FNAKCB = [this](QObject*, uint32_t) { EndWork(); };
  u.FOnComNewSNCallBack = [this](QObject* s, uint32_t sn, TDevType t, const QString& a, const QString& f, const QString& g) {
    FSN = QString::number(sn);
    if (FOnNewSN) FOnNewSN(s, sn, t, a, f, g);
  };
  u.FRequestClose = [this](QObject*) { close(); };
  u.FProgUser = FUserVer;
}

void TFormBasic::SetFolders(const QString& data, const QString& ini, const QString& tmp) {
  if (!FComUnit) return;
  auto folder = [](QString f) { return f.isEmpty() || f.endsWith(QLatin1Char('/')) ? f : f + QLatin1Char('/'); };
  FComUnit->FDatadir = folder(data);
  FComUnit->FDataRoot = folder(data);
  FComUnit->FIniFolder = folder(ini);
  FComUnit->FTmpDir = folder(tmp);
}

bool TFormBasic::SetTCPCommUnit(const QString& host, int port, bool useFTP, bool connectNow, bool setFolder, bool zip,
                                bool checkXMLVersions, int outPort) {
  if (!FTCPComUnit) return false;
  FConnSucces = true;
  FIP = host;
  FPort = QString::number(port);
  TTCPComUnit& u = *FTCPComUnit;
  u.SetIPAndPort(host, port, outPort);
  u.FIsOffline = host.isEmpty();
  u.FFTP = useFTP;
  u.FGZ = zip;
  u.FSetFolders = setFolder;
  u.FVisibility = FVisibility;
  u.FCheckXMLFileVersions = checkXMLVersions;
  if (connectNow && !u.FIsOffline) {
    StartWork(tr("Verbinde mit %1:%2").arg(host).arg(port));
    u.DoConnect();
  } else {
    EndWork();
  }
  return true;
}

bool TFormBasic::SetSerialComUnit(int comPort, bool connectNow, bool setFolder, bool zip, bool checkXMLVersions,
                                  bool withLogin) {
  return SetSerialComUnitPath(TRS232Unit::DevicePathForNumber(comPort), connectNow, setFolder, zip, checkXMLVersions,
                              withLogin);
}

bool TFormBasic::SetSerialComUnitPath(const QString& path, bool connectNow, bool setFolder, bool zip,
                                      bool checkXMLVersions, bool withLogin) {
  if (!FRSComUnit) return false;
  TRSComUnit& u = *FRSComUnit;
  FConnSucces = false;
  u.FFTP = false;
  u.FGZ = zip;
  u.FSetFolders = setFolder;
  u.FCheckXMLFileVersions = checkXMLVersions;
  u.FVisibility = FVisibility;
  if (!connectNow) {
    EndWork();
    return true;
  }
  StartWork(tr("Verbinde über %1").arg(path));
  u.SetPortPath(path);
  u.DoConnect();
  // The device gets two seconds after the port opens, then half a second
  // more before the session start; the session must be up within 3 s.
  Postpone(this, [this, withLogin] {
    FConnSucces = FRSComUnit->IsConnected();
    Postpone(this, [this, withLogin] {
      if (FConnSucces) FRSComUnit->StartSession(withLogin);
      auto polls = std::make_shared<int>(0);
      auto poll = std::make_shared<std::function<void()>>();
      *poll = [this, polls, poll] {
        if (FRSComUnit->IsTimerActive() || ++*polls >= 30) {
          FConnSucces = FRSComUnit->IsTimerActive();
          if (!FConnSucces) FRSComUnit->DoDisconnect(false);
          ConnEnd();
          return;
        }
        Postpone(this, *poll, 100);
      };
      (*poll)();
    }, 500);
  }, 2000);
  return true;
}

void TFormBasic::ConnEnd() {
  if (FConnectThreadEnd) FConnectThreadEnd(this, FConnSucces, FAuthError);
  if (!FConnSucces) {
    AniIndi->setVisible(false);
    const QString why = ConnectFailure();
    LabSBar->setText(why.isEmpty() ? tr("Keine Verbindung") : tr("Keine Verbindung: %1").arg(why));
  }
}

// ---- callbacks from the client -------------------------------------------------------

void TFormBasic::ConnEst(QObject*, bool connected) {
  if (connected) {
    QPixmap lock;
    GetImageFromRessource(FSecureConnection ? QStringLiteral("secure") : QStringLiteral("unsecure"), lock);
    imgSecure->setPixmap(lock);
    imgSecure->setToolTip(FSecureConnection ? tr("Verschlüsselte Verbindung (SSH)")
                                            : tr("Unverschlüsselte Verbindung"));
    if (FComUnit) Ftme = TimeTzFromSet(FComUnit->FtmeSet);
    PanelBack->setEnabled(true);
    DimPanel(false);
    LabSBar->setText(tr("Verbunden"));
  } else {
    PanelBack->setEnabled(false);
    DimPanel(true);
  }
  EndWork();  // stops the activity indicator and tells the host
  if (FXMLVersionCallback && FComUnit) FXMLVersionCallback(this, FComUnit->FMessDBVer);
  if (FConnestCB) FConnestCB(connected);
  FReconnecting = false;
  std::vector<std::function<void()>> waiting;
  waiting.swap(FAfterReconnect);
  if (!connected) {
    if (!waiting.empty()) LogCallBack(QStringLiteral("Reconnect failed: %1 command(s) dropped").arg(waiting.size()));
    return;
  }
  for (auto& send : waiting) send();
}

void TFormBasic::SetLabConText(QObject*, const QString& text) {
  // Wide enough for the whole text when the window has room; otherwise the
  // label shortens it (a fixed minimum pushed the padlock over other texts).
  lblCon->setText(text);
  lblCon->setToolTip(QString());
  lblCon->updateGeometry();
}

void TFormBasic::LogPrepare(QObject*, const QString& text, bool) { LogCallBack(text); }

void TFormBasic::DimPanel(bool dim) {
  // The dimming is for the window without a connection only: an opacity
  // effect renders the whole panel through a pixmap, and lists and text
  // areas inside it then repaint slowly and, off screen, incompletely.
  if (!dim) {
    PanelBack->setGraphicsEffect(nullptr);
    return;
  }
  if (PanelBack->graphicsEffect()) return;
  auto* opacity = new QGraphicsOpacityEffect(PanelBack);
  opacity->setOpacity(0.8);
  PanelBack->setGraphicsEffect(opacity);
}

void TFormBasic::LogCallBack(const QString& text) {
  if (FOnLogCallBack) FOnLogCallBack(this, QStringLiteral("Vanta: ") + text);
}

void TFormBasic::CallBackXML(QObject*, const QString& fileName, int32_t xmlType) {
  if (xmlType == 0) {
    pugi::xml_document doc;
    if (!doc.load_file(fileName.toLocal8Bit().constData())) {
      LogCallBack(QStringLiteral("Setup-Datei nicht lesbar: ") + fileName);  // untranslated
      return;
    }
    pugi::xml_node node = doc.select_node("//*[@name='pqAppl']").node();
    if (!node) return;
    QString path = QStringLiteral("usrMan");
    for (pugi::xml_node n = node; n && QLatin1String(n.name()) == QLatin1String("system"); n = n.parent())
      path = QString::fromUtf8(n.attribute("name").value()) + QLatin1Char('/') + path;
    SendCommandToCom(ccci::TCcci::SETUP_RD_ONE, path, false);
  } else if (xmlType == 1) {
    ParaToTable(fileName);
  } else if (xmlType == 2) {
    LogCallBack(QStringLiteral("New XML %1").arg(fileName));
    if (FXMLVersionCallback && FComUnit) FXMLVersionCallback(this, FComUnit->FMessDBVer);
  }
}

// ---- connection check and commands --------------------------------------------------------

bool TFormBasic::CheckConnection() {
  if (FTCPComUnit) {
    if (FTCPComUnit->FIsOffline) return true;
    if (FReconnecting) {
      // The link may be up before the new session is: commands wait for the
      // session (ConnEst). A reconnect that never finishes is given up.
      if (FReconnectStarted.elapsed() < FReconnectWaitMs) return false;
      FReconnecting = false;
      if (!FAfterReconnect.empty())
        LogCallBack(QStringLiteral("Reconnect failed: %1 command(s) dropped").arg(FAfterReconnect.size()));
      FAfterReconnect.clear();
    }
    if (FTCPComUnit->IsConnected()) return true;
    LogCallBack(QStringLiteral("Connecting"));
    try {
      FReconnecting = true;
      FReconnectStarted.start();
      FTCPComUnit->DoConnect();
    } catch (const std::exception& e) {
      LogCallBack(QStringLiteral("%1_%2").arg(QStringLiteral("EXCEPT"), QString::fromUtf8(e.what())));
      FReconnecting = false;
      FTCPComUnit->DoDisconnect(false);
    }
    return false;
  }
  return FRSComUnit != nullptr;
}

bool TFormBasic::SendWhenConnected(std::function<void()> send) {
  if (!FComUnit) return false;
  if (CheckConnection()) {
    send();
    return true;
  }
  if (!FReconnecting) return false;
  // The reconnect runs in the background: the command waits for the new
  // session and goes out then (ConnEst), or is dropped if it fails.
  FAfterReconnect.push_back(std::move(send));
  return true;
}

bool TFormBasic::SendCommandToCom(ccci::TCcci c) {
  return SendWhenConnected([this, c] { FComUnit->SendCommand(c); });
}
bool TFormBasic::SendCommandToCom(ccci::TCcci c, uint32_t id) {
  return SendWhenConnected([this, c, id] { FComUnit->SendCommand(c, id); });
}
bool TFormBasic::SendCommandToCom(ccci::TCcci c, const QString& localFile) {
  return SendWhenConnected([this, c, localFile] { FComUnit->SendCommandFile(c, localFile); });
}
bool TFormBasic::SendCommandToCom(ccci::TCcci c, const QString& txt, bool lua) {
  return SendWhenConnected([this, c, txt, lua] { FComUnit->SendCommand(c, txt, lua); });
}
bool TFormBasic::SendCommandToCom(ccci::TCcci c, const QString& ccciName, const QString& localFile) {
  return SendWhenConnected([this, c, ccciName, localFile] { FComUnit->SendCommandCCCIFile(c, ccciName, localFile); });
}
bool TFormBasic::SendCommandToCom(ccci::TCcci c, const QString& txt, uint32_t pos, bool lua) {
  return SendWhenConnected([this, c, txt, pos, lua] { FComUnit->SendCommand(c, txt, pos, lua); });
}

void TFormBasic::EvtUebClick() { SendCommandToCom(ccci::TCcci::READOUT_EVT_LS); }
void TFormBasic::EvtClick(const QString& name) { SendCommandToCom(ccci::TCcci::READOUT_EVT_RD, name, false); }
void TFormBasic::EvtClick(const QString& name, uint32_t position) {
  SendCommandToCom(ccci::TCcci::READOUT_EVT_RD, name, position, false);
}
void TFormBasic::EvtDel(const QString& name) { SendCommandToCom(ccci::TCcci::READOUT_EVT_RM, name, false); }
void TFormBasic::EvtDelAll() { SendCommandToCom(ccci::TCcci::READOUT_EVT_RMALL); }
void TFormBasic::RecUebClick() { SendCommandToCom(ccci::TCcci::READOUT_REC_LS); }
void TFormBasic::RecClick(const QString& name) { SendCommandToCom(ccci::TCcci::READOUT_REC_RD, name, false); }
void TFormBasic::RecClick(const QString& name, uint32_t position) {
  SendCommandToCom(ccci::TCcci::READOUT_REC_RD, name, position, false);
}
void TFormBasic::RecDel(const QString& name) { SendCommandToCom(ccci::TCcci::READOUT_REC_RM, name, false); }
void TFormBasic::RecDelAll() { SendCommandToCom(ccci::TCcci::READOUT_REC_RMALL); }
void TFormBasic::GetPara() { SendCommandToCom(ccci::TCcci::SETUP_RD_ALL); }
void TFormBasic::GetNewDisplayImage() { SendCommandToCom(ccci::TCcci::READOUT_DISP_RD); }

void TFormBasic::ControlDevice(TBtnControlDevice key) {
  static const char* const CKeys[] = {"gpio.keyLeft()", "gpio.keyRight()", "gpio.keyUp()", "gpio.keyDown()", "gpio.keyEnter()"};
  SendCommandToCom(ccci::TCcci::LUA_COMMAND, QString::fromLatin1(CKeys[int(key)]), true);
}

void TFormBasic::StartStream(TDataObjKind kind) {
  if (SendCommandToCom(ccci::TCcci::STREAM_START, DataObjId(kind))) FStreamRunning = true;
}

void TFormBasic::StartStreamWithBinary(TDataObjKind kind) {
  if (FComUnit) FComUnit->FStreamRec.WithBinary = true;
  StartStream(kind);
}

void TFormBasic::StopStream() {
  if (!FStreamRunning || !FComUnit || !FComUnit->IsConnected()) return;
  FStreamRunning = false;
  FComUnit->SendCommand(ccci::TCcci::STREAM_STOP, FComUnit->FStreamRec.ObjHdl);
}

bool TFormBasic::GetMGVantaPtr(QObject*, uint32_t srcId, TMGVantaRec& rec) {
  rec = TMGVantaRec{};
  rec.SrcID = srcId;
  TMGVantaRec found;
  if (!FOnGetMessPtr || !FOnGetMessPtr(srcId, found)) return false;
  found.SrcID = srcId;
  rec = found;
  return true;
}

// ---- progress ------------------------------------------------------------------------------

void TFormBasic::ComUnitOnWorkBegin(int64_t total) {
  if ((FComUnit && FComUnit->FShutDown) || !ProgressBar1) return;
  if (FWorkCnt > 0 && total < ProgressBar1->value()) return;  // a smaller nested transfer
  ++FWorkCnt;
  ProgressBar1->setFormat(QStringLiteral("0%"));
  const int max = int(qBound<int64_t>(int64_t(1), total, int64_t(INT32_MAX)));
  ProgressBar1->setRange(0, max);
  ProgressBar1->setValue(int(qMin<int64_t>(max, total / 100 + 1)));
  TProgressRecord rec{true, false, 0, uint64_t(qMax<int64_t>(0, total))};
  if (FSetProg) FSetProg(this, rec);
}

void TFormBasic::ComUnitOnWork(int64_t position) {
  if (FComUnit) FComUnit->NoteTransferProgress();
  if (FOnTransferProgress) FOnTransferProgress(position);
  if ((FComUnit && FComUnit->FShutDown) || FWorkCnt <= 0) return;
  const int64_t max = qMax(1, ProgressBar1->maximum());
  const int64_t percent = (position * 100 + max / 2) / max;
  if (percent > 100) return;
  ProgressBar1->setFormat(QStringLiteral("%1%").arg(percent));
  ProgressBar1->setValue(int(position));
  TProgressRecord rec{false, false, uint64_t(qMax<int64_t>(0, position)), uint64_t(max)};
  if (FSetProg) FSetProg(this, rec);
}

void TFormBasic::ComUnitOnWorkEnd() {
  if (FComUnit && FComUnit->FShutDown) return;
  FWorkCnt = qMax(0, FWorkCnt - 1);
  ProgressBar1->setFormat(QString());
  ProgressBar1->setValue(0);
  TProgressRecord rec{false, true, 0, 0};
  if (FSetProg) FSetProg(this, rec);
}

void TFormBasic::SynchStartProgress() {
  FCnt = 0;
  TProgressRecord rec{true, false, 0, FGesamtCount};
  if (FSetProg) FSetProg(this, rec);
  if (FSetGlobalProg) FSetGlobalProg(this, true, QString());
}

void TFormBasic::SynchSendProgress() {
  ++FCnt;
  TProgressRecord rec{false, false, FCnt, FGesamtCount};
  if (FSetProg) FSetProg(this, rec);
  if (FSetGlobalProg) FSetGlobalProg(this, true, QStringLiteral("%1 / %2").arg(FCnt).arg(FGesamtCount));
}

void TFormBasic::SynchStoppProgress() {
  TProgressRecord rec{false, true, FCnt, FGesamtCount};
  if (FSetProg) FSetProg(this, rec);
  FCnt = 0;
  if (FSetGlobalProg) FSetGlobalProg(this, false, QString());
}

void TFormBasic::StartWork(const QString& text) {
  AniIndi->setVisible(true);
  FWorkText = text;
  LabSBar->setText(text);
  if (FWorkCallback) FWorkCallback(this, text, true, false);
}
void TFormBasic::EndWork() {
  AniIndi->setVisible(false);
  // "Analysieren" would stay as if the work went on; what the work told since stays.
  if (!FWorkText.isEmpty() && LabSBar->text() == FWorkText) LabSBar->clear();
  FWorkText.clear();
  if (FWorkCallback) FWorkCallback(this, QString(), false, false);
}
void TFormBasic::StopWork() { EndWork(); }
void TFormBasic::ClearWork() {
  AniIndi->setVisible(false);
  if (FWorkCallback) FWorkCallback(this, QString(), false, true);
}
void TFormBasic::EndWork(QObject*) { EndWork(); }

// ---- messages ---------------------------------------------------------------------------------

void TFormBasic::DisplayMessage(const QString& text, TMsgDlgType type, TThreadedMessageCallBack cb, TMsgDlgButtons buttons,
                                TMsgDlgBtn defButton) {
  if (FCntDlgBoxes) FCntDlgBoxes(true);
  if (FMainForm) FMainForm->raise();
  if (OnGuiThread()) {
    LogCallBack(QStringLiteral("Show Message: ") + text);
    Postpone(this, [this, text, type, cb, buttons, defButton] { ShowBox(text, type, cb, buttons, defButton); });
    return;
  }
  const QString marked = text + QLatin1Char('*');
  QMetaObject::invokeMethod(
      this, [this, marked, type, cb, buttons, defButton] {
        LogCallBack(QStringLiteral("Show Message*: ") + marked);
        ShowBox(marked, type, cb, buttons, defButton);
      },
      Qt::BlockingQueuedConnection);
}

void TFormBasic::ShowBox(const QString& text, TMsgDlgType type, TThreadedMessageCallBack cb, TMsgDlgButtons buttons,
                         TMsgDlgBtn defButton) {
  FShownMessages << text;
  auto* box = new QMessageBox(IconOf(type), windowTitle().isEmpty() ? QStringLiteral("Vanta") : windowTitle(), text,
                              QMessageBox::NoButton, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  for (const TButtonMap& b : CButtons)
    if (buttons & b.Ours) box->addButton(b.Qt);
  if (box->buttons().isEmpty()) box->addButton(QMessageBox::Ok);
  for (const TButtonMap& b : CButtons)
    if (b.Ours == defButton) box->setDefaultButton(b.Qt);
  connect(box, &QMessageBox::finished, this, [this, box, cb] {
    TModalResult result = mrNone;
    const QMessageBox::StandardButton clicked = box->standardButton(box->clickedButton());
    for (const TButtonMap& b : CButtons)
      if (b.Qt == clicked) result = b.Result;
    if (FCntDlgBoxes) FCntDlgBoxes(false);
    if (cb) cb(this, result);
  });
  box->open();
}

void TFormBasic::DisplayConnMessage(const QString& text, TMsgDlgType type, TThreadedMessageCallBack& cb,
                                    TMsgDlgButtons buttons, TMsgDlgBtn defButton) {
  if (FMainForm) FMainForm->show();
  if (text.isEmpty()) return;
  QString full;
  if (FTCPComUnit) {
    full = QStringLiteral("%1:\n\n%2 %3 - %4 %5 %6")
               .arg(text, FTCPComUnit->FIP)
               .arg(FTCPComUnit->FPort)
               .arg(FTCPComUnit->FPlant, FTCPComUnit->FField, FTCPComUnit->FDevice);
  } else if (FComUnit) {
    // A serial device has no host or port to name.
    full = QStringLiteral("%1:\n\n%2 %3 %4").arg(text, FComUnit->FPlant, FComUnit->FField, FComUnit->FDevice);
  } else {
    full = text;
  }
  DisplayMessage(full, type, cb, buttons, defButton);
}

// ---- other operations -------------------------------------------------------------------------

void TFormBasic::SetCapt(const QString& text) {
  FFrmCapt = text;
  setWindowTitle(QStringLiteral("%1 - %2").arg(FFrmCapt, FVerInfo));
}

void TFormBasic::PrintImage(QWidget* chart) {
  if (!chart) return;
  const QPixmap shot = chart->grab();
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  LogCallBack(QStringLiteral("Print Before Canvas"));
  QPainter painter(&printer);
  LogCallBack(QStringLiteral("Print Before Print"));
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  LogCallBack(QStringLiteral("Print Before Rect"));
  const QSize scaled = shot.size().scaled(page.width(), page.height(), Qt::KeepAspectRatio);
  LogCallBack(QStringLiteral("Print Before Draw"));
  painter.drawPixmap(QRect(QPoint(0, 0), scaled), shot);
  LogCallBack(QStringLiteral("Print Before End"));
  painter.end();
}

void TFormBasic::CopyImgToClip(QWidget* chart) {
  if (chart) QApplication::clipboard()->setPixmap(chart->grab());
}

void TFormBasic::SelectColor(int index) {
  if (index < 0 || index >= int(ColArr.size())) return;
  const QColor chosen = QColorDialog::getColor(QColor::fromRgba(ColArr[size_t(index)]), this);
  if (!chosen.isValid()) return;
  ColArr[size_t(index)] = chosen.rgba();
  UpdateMIColor();
}

void TFormBasic::MenuItemResetColsClick() {
  DisplayMessage(tr("Wollen sie die Farben wirklich auf die Standardwerte zurücksetzen?"),
                 TMsgDlgType::mtConfirmation,
                 [this](QObject*, int r) {
                   if (r != mrYes) return;
                   ColArr = TColArr;
                   UpdateMIColor();
                 },
                 mbYes | mbNo, mbNo);
}

QString TFormBasic::CheckEmpty(const QString& text) const {
  return text.compare(CEmpty, Qt::CaseInsensitive) == 0 ? QString() : text;
}

void TFormBasic::SetSettings(const TFrmParaSettings& para, const TFrmOnOfflineSettings& onOffline) {
  FParaEinstellungen = para;
  FOnOfflineEinstellungen = onOffline;
}

void TFormBasic::PrepareShutdown() {
  LogCallBack(QStringLiteral("PrepareShutdown"));
  // The host keeps the layouts for the next window of this kind.
  if (FParaSettingsCallback) FParaSettingsCallback(this, FParaEinstellungen);
  if (FOnOfflineSettingsCallback) FOnOfflineSettingsCallback(this, FOnOfflineEinstellungen);
  if (FComUnit) FComUnit->FRequestClose = nullptr;
}

void TFormBasic::closeEvent(QCloseEvent* event) {
  if (FShutdownDone || !FComUnit || !FComUnit->IsConnected()) {
    if (!FShutdownDone) PrepareShutdown();
    event->accept();
    return;
  }
  // Stream stop, tunnel close and session stop first (at most about 5 s),
  // then the window really closes.
  event->ignore();
  if (FShuttingDown) return;
  FShuttingDown = true;
  PrepareShutdown();
  StartWork(tr("Verbindung wird beendet"));
  FComUnit->ShutDown(this, [this](QObject*) {
    FShutdownDone = true;
    Postpone(this, [this] { close(); });
  });
}

void TFormBasic::ParaToTable(const QString&) {}
void TFormBasic::EvtOverView(const QStringList&) {}
void TFormBasic::EvtToTable(const QString&) {}
void TFormBasic::RecOverView(const QStringList&) {}
void TFormBasic::RecToTable(const QString&) {}
void TFormBasic::AsyncToTable(const QString&) {}
void TFormBasic::ThreadExceptCallBack(QObject*) {}
void TFormBasic::UpdateMIColor() {}
void TFormBasic::UpdateGrid() {}
void TFormBasic::SetNewDisplayImage(QObject*, TMemoryStream&) {}
void TFormBasic::CheckData() {}
void TFormBasic::NewOnKeyDown(int) {}

}  // namespace vanta
