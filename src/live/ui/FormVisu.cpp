#include "FormVisu.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGridLayout>
#include <QSignalBlocker>
#include <QSlider>
#include <QKeyEvent>
#include <QPixmap>
#include <QTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "Constants.h"
#include "DevPicture.h"
#include "FreqCharts.h"
#include "PaintBox.h"

namespace vanta {

namespace {
QToolButton* StartButton(const QString& text, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setText(text);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  b->setMinimumSize(180, 48);
  return b;
}
QString Lamp(uint32_t argb) {
  return QStringLiteral("background: #%1; border-radius: 8px; border: 1px solid #555;").arg(argb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}
constexpr uint32_t CLampOn = 0xFFF28E00, CLampOff = 0xFF92959B;
}  // namespace

TFormVisu::TFormVisu(QWidget* parent) : TFormBasic(parent) {
  FOsziArr = QList<float>(11, 0.0f);
  SetCapt(tr("Online Messdaten Vanta"));
  auto* outer = new QVBoxLayout(PanelBack);
  outer->setContentsMargins(4, 4, 4, 4);
  auto* bar = new QToolBar(PanelBack);
  actMenuBack = bar->addAction(tr("Zurück"), this, &TFormVisu::actMenuBackExecute);
  actMenuBack->setVisible(false);
  // The title leads back to the start page too, but keeps the charts: the
  // view opened next from there finds its chart as it was left.
  txtTop = new QToolButton(bar);
  txtTop->setObjectName(QStringLiteral("txtTop"));
  txtTop->setText(windowTitle());
  txtTop->setToolTip(tr("Zur Startseite (die Diagramme bleiben)"));
  txtTop->setAutoRaise(true);
  connect(txtTop, &QToolButton::clicked, this, &TFormVisu::txtTopClick);
  bar->addWidget(txtTop);
  outer->addWidget(bar);
  TabCtrlStream = new QStackedWidget(PanelBack);
  outer->addWidget(TabCtrlStream, 1);

  // Start page.
  TabItmStart = new QWidget;
  auto* start = new QGridLayout(TabItmStart);
  ButPanel = StartButton(tr("Messwerte"), TabItmStart);
  BtnOsci = StartButton(tr("Oszilloskop-Bild"), TabItmStart);
  btnSoftTrigg = StartButton(QStringLiteral("Software Trigger"), TabItmStart);
  start->addWidget(ButPanel, 0, 0);
  start->addWidget(BtnOsci, 0, 1);
  start->addWidget(btnSoftTrigg, 1, 0);
  BtnFFT = StartButton(tr("Oszilloskop-Spektrum"), TabItmStart);
  start->addWidget(BtnFFT, 0, 2);
  BtnFFT->hide();
  connect(BtnFFT, &QToolButton::clicked, this, &TFormVisu::BtnFFTClick);
  BtnVecDiag = StartButton(tr("Vektor-Diagramm"), TabItmStart);
  start->addWidget(BtnVecDiag, 1, 2);
  connect(BtnVecDiag, &QToolButton::clicked, this, &TFormVisu::BtnVecDiagClick);
  const struct {
    const char* Group;
    TVantaDisp Views[3];
  } groups[] = {{QT_TR_NOOP("Harmonische 2 - 50"), {TVantaDisp::sdHrmULE, TVantaDisp::sdHrmULL, TVantaDisp::sdHrmIL}},
                {QT_TR_NOOP("Zwischenharmonische 2 - 50"), {TVantaDisp::sdIHrmULE, TVantaDisp::sdIHrmULL, TVantaDisp::sdIHrmIL}},
                {QT_TR_NOOP("Frequenzbänder 2 - 9 kHz"), {TVantaDisp::sdFrqBandULE, TVantaDisp::sdFrqBandULL, TVantaDisp::sdFrqBandIL}}};
  int groupRow = 2;
  for (const auto& g : groups) {
    auto* box = new QGroupBox(tr(g.Group), TabItmStart);
    auto* bl = new QHBoxLayout(box);
    const char* const captions[] = {QT_TR_NOOP("Spannung L-E"), QT_TR_NOOP("Spannung L-L"), QT_TR_NOOP("Strom")};
    for (int k = 0; k < 3; ++k) {
      auto* b = new QToolButton(box);
      b->setText(tr(captions[k]));
      b->setMinimumSize(120, 36);
      const TVantaDisp d = g.Views[k];
      const bool band = d == TVantaDisp::sdFrqBandULE || d == TVantaDisp::sdFrqBandULL || d == TVantaDisp::sdFrqBandIL;
      connect(b, &QToolButton::clicked, this, [this, d, band] { band ? GetFrqBand(d) : GetHarmonics(d); });
      bl->addWidget(b);
      FBarButtons.append({d, b});
    }
    start->addWidget(box, groupRow++, 0, 1, 3);
  }
  start->setRowStretch(groupRow, 1);
  btnDisplay = StartButton(tr("Gerätepanel"), TabItmStart);
  start->addWidget(btnDisplay, 1, 1);
  btnDisplay->hide();  // for the device types with a display
  connect(btnDisplay, &QToolButton::clicked, this, &TFormVisu::btnDisplayClick);
  BtnOsci->hide();  // offered once a network connection stands
  connect(ButPanel, &QToolButton::clicked, this, &TFormVisu::ButPanelClick);
  connect(BtnOsci, &QToolButton::clicked, this, &TFormVisu::BtnOsciClick);
  actSoftTrigg = new QAction(QStringLiteral("Software Trigger"), this);
  connect(actSoftTrigg, &QAction::triggered, this, &TFormVisu::actSoftTriggExecute);
  connect(btnSoftTrigg, &QToolButton::clicked, actSoftTrigg, &QAction::trigger);
  TabCtrlStream->addWidget(TabItmStart);

  // Value panel: the fields of record 4 in columns, the binary lamps below.
  TabItmPanel = new QWidget;
  auto* panel = new QVBoxLayout(TabItmPanel);
  auto* values = new QWidget(TabItmPanel);
  FPanelGrid = new QGridLayout(values);
  const QList<TPanelText> fields = DecodePanel(QByteArray(), 2);
  // Voltages and angles | THD and currents | P, Q, S | QV, D, PF, cos φ.
  int column = 0, row = 0;
  for (int i = 0; i < fields.size(); ++i) {
    if (i == 12 || i == 28 || i == 40) {
      column += 2;
      row = 0;
    }
    auto* label = new QLabel(fields[i].Label, values);
    auto* edit = new QLineEdit(tr("n.A."), values);
    edit->setObjectName(fields[i].Field);
    edit->setReadOnly(true);
    edit->setMinimumWidth(110);
    FPanelGrid->addWidget(label, row, column);
    FPanelGrid->addWidget(edit, row, column + 1);
    FFields.append({fields[i].Field, edit});
    ++row;
  }
  panel->addWidget(values);
  grpBoxBinary = new QGroupBox(tr("Binäreingänge"), TabItmPanel);
  auto* lamps = new QHBoxLayout(grpBoxBinary);
  for (int i = 0; i < 8; ++i) {
    auto* label = new QLabel(QStringLiteral("BI%1:").arg(i + 1), grpBoxBinary);
    auto* lamp = new QLabel(grpBoxBinary);
    lamp->setObjectName(QStringLiteral("cirBI%1").arg(i + 1));
    lamp->setFixedSize(16, 16);
    lamp->setStyleSheet(Lamp(CLampOff));
    lamps->addWidget(label);
    lamps->addWidget(lamp);
    FLampLabels << label;
    FLamps << lamp;
  }
  lamps->addStretch();
  panel->addWidget(grpBoxBinary);
  panel->addStretch();
  TabCtrlStream->addWidget(TabItmPanel);

  // Oscilloscope: channel buttons over the chart.
  TabItmOszi = new QWidget;
  auto* osz = new QVBoxLayout(TabItmOszi);
  LytColors = new QWidget(TabItmOszi);
  auto* colours = new QHBoxLayout(LytColors);
  colours->setContentsMargins(0, 0, 0, 0);
  for (const TOscChannel& c : COscChannels) {
    auto* b = new QToolButton(LytColors);
    b->setText(QLatin1String(c.Button));
    b->setObjectName(QStringLiteral("btn%1").arg(QLatin1String(c.Symbol)));
    b->setCheckable(true);
    b->setChecked(true);
    b->setProperty("tag", c.Channel);
    connect(b, &QToolButton::clicked, this, &TFormVisu::ColButtonClick);
    colours->addWidget(b);
    FChannelButtons << b;
  }
  colours->addStretch();
  osz->addWidget(LytColors);
  LytColors->hide();
  TabCtrlStream->addWidget(TabItmOszi);
  auto* slot = new QVBoxLayout;
  osz->addLayout(slot, 1);
  TabItmOszi->setProperty("chartSlot", QVariant::fromValue(static_cast<void*>(slot)));

  TabItmHrms = new QWidget;
  new QVBoxLayout(TabItmHrms);
  TabCtrlStream->addWidget(TabItmHrms);
  TabItmZeiger = new QWidget;
  new QVBoxLayout(TabItmZeiger);
  TabCtrlStream->addWidget(TabItmZeiger);

  // The device display: the device's front, its display image in the
  // picture's screen, its key cross pressing the device's keys.
  TabItmDisp = new QWidget;
  auto* disp = new QVBoxLayout(TabItmDisp);
  imgDev = new TDevPicture(TabItmDisp);
  imgDisp = new QLabel;
  imgDisp->setObjectName(QStringLiteral("imgDisp"));
  imgDisp->setScaledContents(true);  // the image fills the screen
  imgDev->SetScreen(imgDisp);
  connect(imgDev, &TDevPicture::KeyClicked, this, &TFormVisu::ControlDevice);
  disp->addWidget(imgDev);
  TabCtrlStream->addWidget(TabItmDisp);
  SetDevImage(TDevType::devtypNone);  // not identified yet

  ActLoadFlow = new QAction(tr("Lastfluss"), this);
  connect(ActLoadFlow, &QAction::triggered, this, &TFormVisu::ActLoadFlowExecute);
  actAutoScale = new QAction(tr("Autoskalierung"), this);
  actStack = new QAction(tr("Stapel-Darstellung"), this);
  actCopyData = new QAction(tr("Daten in Zwischenablage"), this);
  actCopyImage = new QAction(tr("Bild in Zwischenablage"), this);
  // Each acts on the oscilloscope chart if it exists, else on the spectrum chart.
  connect(actAutoScale, &QAction::triggered, this, [this] {
    if (FPQPaintBoxCrvOszi) {
      FPQPaintBoxCrvOszi->AutoScaleAll();
    } else if (FPQPaintBoxCrvFFT) {
      FPQPaintBoxCrvFFT->Model().AutoScaleAllFFT();
      FPQPaintBoxCrvFFT->FForceRepaint = true;
      FPQPaintBoxCrvFFT->RequestRepaint();
    }
  });
  connect(actStack, &QAction::triggered, this, [this] {
    if (FPQPaintBoxCrvOszi) {
      FPQPaintBoxCrvOszi->SetStack((FPQPaintBoxCrvOszi->Model().Stack() + 1) % 3);
    } else if (FPQPaintBoxCrvFFT) {
      FPQPaintBoxCrvFFT->Model().SetStack((FPQPaintBoxCrvFFT->Model().Stack() + 1) % 3);
      FPQPaintBoxCrvFFT->FForceRepaint = true;
      FPQPaintBoxCrvFFT->RequestRepaint();
    }
  });
  connect(actCopyData, &QAction::triggered, this, [this] {
    QStringList lines;
    const bool any = FPQPaintBoxCrvOszi ? FPQPaintBoxCrvOszi->CopyToClip(lines) : FPQPaintBoxCrvFFT && FPQPaintBoxCrvFFT->Model().CopyToClipFFT(lines);
    if (any) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  connect(actCopyImage, &QAction::triggered, this, [this] {
    if (FPQPaintBoxCrvOszi)
      CopyImgToClip(FPQPaintBoxCrvOszi);
    else if (FPQPaintBoxCrvFFT)
      CopyImgToClip(FPQPaintBoxCrvFFT);
  });
  resize(980, 680);
}

TFormVisu::~TFormVisu() {
  FDisplayActive = false;
  if (FComUnit) {
    FComUnit->FUpdateGrid = nullptr;
    FComUnit->FBinInCB = nullptr;
  }
  LogPrepare(this, QStringLiteral("Start:") + windowTitle(), false);
  FOsziArr.clear();
  FOsziArrNumbers.clear();
  LogPrepare(this, QStringLiteral("End:") + windowTitle(), false);
}

QLineEdit* TFormVisu::Field(const QString& name) const {
  for (const auto& [n, e] : FFields)
    if (n == name) return e;
  return nullptr;
}

bool TFormVisu::InView() const { return actMenuBack->isVisible(); }

void TFormVisu::ConnEst(QObject* Sender, bool connected) {
  TFormBasic::ConnEst(Sender, connected);
  if (!connected || !FComUnit) return;
  for (QToolButton* b : FChannelButtons) b->setChecked(true);
  // The oscilloscope's records are large: offered over the network only.
  BtnOsci->setVisible(FTCPComUnit != nullptr);
  BtnFFT->setVisible(FTCPComUnit != nullptr);
  btnDisplay->setVisible(FComUnit->FDevType == TDevType::devtypVanta || FComUnit->FDevType == TDevType::devtypVantaLorn);
  SetDevImage(FComUnit->FDevType);
  if (!FPendingView.isEmpty()) {
    const QString view = std::exchange(FPendingView, QString());
    if (view == QLatin1String("osc") && BtnOsci->isVisible())
      BtnOsciClick();
    else if (view == QLatin1String("spectrum") && BtnFFT->isVisible())
      BtnFFTClick();
    else if (view == QLatin1String("panel"))
      ButPanelClick();
    else if (view == QLatin1String("vectors"))
      BtnVecDiagClick();
    else if (view == QLatin1String("loadflow"))
      ActLoadFlowExecute();
    else if (view == QLatin1String("harmonics"))
      GetHarmonics(TVantaDisp::sdHrmULE);
    else if (view == QLatin1String("interharmonics"))
      GetHarmonics(TVantaDisp::sdIHrmULE);
    else if (view == QLatin1String("bands"))
      GetFrqBand(TVantaDisp::sdFrqBandULE);
  }
}

void TFormVisu::SetDevImage(TDevType type) { imgDev->SetKind(DevPictureFor(type)); }

void TFormVisu::SetDevImage(const QPixmap& bitmap) { imgDev->SetBitmap(bitmap); }

void TFormVisu::StartStreamProc() {
  const auto kind = TDataObjKind(FStrucInf.VantaDataObj);
  if (FStrucInf.VantaDataObj == 4 && FComUnit && FComUnit->FRev.Version >= 0x02010200)
    StartStreamWithBinary(kind);
  else
    StartStream(kind);
}

void TFormVisu::StopStreamProc() {
  if (FComUnit && FComUnit->FStreamRec.Active) StopStream();
}

void TFormVisu::OpenView(TVantaDisp disp) {
  FStrucInf.VantaDisp = disp;
  actMenuBack->setVisible(true);
  StartStreamProc();
}

void TFormVisu::ButPanelClick() {
  if (InView()) return;
  FStrucInf = {TVantaStruct::ssu_s_t, 4, TVantaDisp::sdPanel};
  TabCtrlStream->setCurrentWidget(TabItmPanel);
  // Lamps 1 and 2 always, 3 to 8 on the device type that has them; the
  // group from firmware 2.1.2 on.
  const bool eight = FComUnit && FComUnit->FDevType == TDevType::devtypVantaDE;
  for (int i = 2; i < 8; ++i) {
    FLamps[i]->setVisible(eight);
    FLampLabels[i]->setVisible(eight);
  }
  grpBoxBinary->setVisible(FComUnit && FComUnit->FRev.Version >= 0x02010200);
  if (FComUnit) FComUnit->FBinInCB = [this](QObject* s, uint32_t n, const QByteArray& states) { SetBinary(s, n, states); };
  OpenView(TVantaDisp::sdPanel);
}

void TFormVisu::BtnOsciClick() {
  if (InView()) return;
  const int gen = FComUnit ? FComUnit->FRev.Gen : 1;
  FStrucInf = {gen >= 2 ? TVantaStruct::ssosc_dta_t_V2_2 : TVantaStruct::ssosc_dta_t_V1_0, 8, TVantaDisp::sdOsziTime};
  if (!FPQPaintBoxCrvOszi) {
    FPQPaintBoxCrvOszi = new TPQPaintBoxCrvTime(TabItmOszi);
    FPQPaintBoxCrvOszi->setObjectName(QStringLiteral("FPQPaintBoxCrvOszi"));
    if (FComUnit) FPQPaintBoxCrvOszi->FFW = FComUnit->FRev;
    FPQPaintBoxCrvOszi->setContextMenuPolicy(Qt::ActionsContextMenu);
    FPQPaintBoxCrvOszi->addActions({actAutoScale, actStack, actCopyData, actCopyImage});
    static_cast<QVBoxLayout*>(TabItmOszi->property("chartSlot").value<void*>())->addWidget(FPQPaintBoxCrvOszi);
  }
  TabCtrlStream->setCurrentWidget(TabItmOszi);
  FAutoScl = true;
  SelectOsciValues();
  SetColumnColors();
  LytColors->show();
  OpenView(TVantaDisp::sdOsziTime);
}

TCrvTimeModel* TFormVisu::OscModel() {
  if (FPQPaintBoxCrvOszi) return &FPQPaintBoxCrvOszi->Model();
  return FPQPaintBoxCrvFFT ? &FPQPaintBoxCrvFFT->Model() : nullptr;
}

void TFormVisu::SelectOsciValues() {
  TCrvTimeModel* model = OscModel();
  if (!model) return;
  QList<TYBaseRec> selected;
  FOsziArrNumbers.clear();
  for (QToolButton* b : FChannelButtons) {
    if (!b->isChecked()) continue;
    const TOscChannel& c = COscChannels[size_t(b->property("tag").toInt())];
    selected << TYBaseRec::BaseRect(QLatin1String(c.Symbol), QLatin1String(c.Group), c.Volt ? QStringLiteral("V") : QStringLiteral("A"));
    FOsziArrNumbers << c.Channel;
  }
  TCrvTimeModel& m = *model;
  m.SetCrvCnt(int(selected.size()));
  FOsziArr = QList<float>(selected.size(), 0.0f);
  for (int i = 0; i < selected.size(); ++i) m.SetBaseRec(i, selected[i]);
  if (FPQPaintBoxCrvOszi) FPQPaintBoxCrvOszi->FForceRepaint = true;
  if (FPQPaintBoxCrvFFT) FPQPaintBoxCrvFFT->FForceRepaint = true;
}

void TFormVisu::SetColumnColors() {
  int k = 0;
  for (QToolButton* b : FChannelButtons) {
    const int tag = b->property("tag").toInt();
    const uint32_t colour = ColArr[size_t(tag) % ColArr.size()];
    // A pressed button wears its curve's colour; a released one is plain.
    b->setStyleSheet(QStringLiteral("QToolButton { padding: 3px 10px; border: 1px solid #888; border-radius: 3px; }"
                                    "QToolButton:checked { background: #%1; color: white; }")
                         .arg(colour & 0xFFFFFF, 6, 16, QLatin1Char('0')));
    if (b->isChecked() && OscModel()) OscModel()->SetLnColor(k++, colour);
  }
}

void TFormVisu::ColButtonClick() {
  SelectOsciValues();
  SetColumnColors();
  FAutoScl = true;
}

void TFormVisu::actMenuBackExecute() {
  if (TabCtrlStream->currentWidget() == TabItmStart) return;
  FDisplayActive = false;
  ++FDisplayLoop;
  if (FDisplayTimer) FDisplayTimer->stop();
  StopStreamProc();
  if (FComUnit) FComUnit->FBinInCB = nullptr;
  // Every view starts with a fresh chart.
  delete FPQPaintBoxCrvOszi;
  FPQPaintBoxCrvOszi = nullptr;
  delete FPQPaintBoxCrvFFT;
  FPQPaintBoxCrvFFT = nullptr;
  delete FPQPaintHrm;
  FPQPaintHrm = nullptr;
  delete FPQPaintVect;
  FPQPaintVect = nullptr;
  delete FPQPaintLoad;
  FPQPaintLoad = nullptr;
  lytTrackZoom->hide();
  TabCtrlStream->setCurrentWidget(TabItmStart);
  actMenuBack->setVisible(false);
  LytColors->hide();
}

void TFormVisu::txtTopClick() {
  if (TabCtrlStream->currentWidget() == TabItmStart) return;
  FDisplayActive = false;
  ++FDisplayLoop;
  if (FDisplayTimer) FDisplayTimer->stop();
  StopStreamProc();
  lytTrackZoom->hide();
  LytColors->hide();
  TabCtrlStream->setCurrentWidget(TabItmStart);
  actMenuBack->setVisible(false);
}

void TFormVisu::btnDisplayClick() {
  if (InView()) return;
  actMenuBack->setVisible(true);
  FDisplayActive = true;
  // A new loop: a pause still running from an earlier visit must not start
  // a second one. An image still on its way from then carries this loop on.
  ++FDisplayLoop;
  if (!FDisplayWaiting || FDisplayAsked.elapsed() > FDisplayAnswerMs) RequestDisplayImage();
  TabCtrlStream->setCurrentWidget(TabItmDisp);
  imgDev->setFocus();  // the arrow keys pass the picture on their way to the window
}

void TFormVisu::RequestDisplayImage() {
  FDisplayWaiting = true;
  FDisplayAsked.start();
  GetNewDisplayImage();
  // An answer refused or lost on the way must not end the loop: the same
  // timer asks again when none has come in time.
  DisplayTimer()->start(int(FDisplayAnswerMs));
}

QTimer* TFormVisu::DisplayTimer() {
  if (!FDisplayTimer) {
    // One timer for the loop: restarting it never leaves a second pause running.
    FDisplayTimer = new QTimer(this);
    FDisplayTimer->setSingleShot(true);
    connect(FDisplayTimer, &QTimer::timeout, this, [this] {
      if (FDisplayActive && TabCtrlStream->currentWidget() == TabItmDisp) RequestDisplayImage();
    });
  }
  return FDisplayTimer;
}

void TFormVisu::SetNewDisplayImage(QObject*, TMemoryStream& image) {
  FDisplayWaiting = false;
  QPixmap pm;
  if (pm.loadFromData(image.Bytes())) imgDisp->setPixmap(pm);
  ++FDisplayImages;
  if (!FDisplayActive) return;
  // The next image after a pause of 500 ms, while the view is open.
  DisplayTimer()->start(500);
}

void TFormVisu::NewOnKeyDown(int key) {
  if (TabCtrlStream->currentWidget() != TabItmDisp) return;
  switch (key) {
    case Qt::Key_Left: ControlDevice(TBtnControlDevice::BtnLeft); break;
    case Qt::Key_Right: ControlDevice(TBtnControlDevice::BtnRight); break;
    case Qt::Key_Up: ControlDevice(TBtnControlDevice::BtnTop); break;
    case Qt::Key_Down: ControlDevice(TBtnControlDevice::BtnDown); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: ControlDevice(TBtnControlDevice::BtnEnter); break;
    default: break;
  }
}

void TFormVisu::keyPressEvent(QKeyEvent* e) {
  NewOnKeyDown(e->key());
  TFormBasic::keyPressEvent(e);
}

void TFormVisu::UpdateMIColor() {
  TFormBasic::UpdateMIColor();
  SetColumnColors();  // buttons and curves follow the new colours
  if (FPQPaintBoxCrvOszi) {
    FPQPaintBoxCrvOszi->FForceRepaint = true;
    FPQPaintBoxCrvOszi->RequestRepaint();
  }
}

void TFormVisu::actSoftTriggExecute() { SendCommandToCom(ccci::TCcci::LUA_COMMAND, QStringLiteral("pq.triggerRec()"), true); }

void TFormVisu::SetBinary(QObject*, uint32_t count, const QByteArray& states) {
  for (int i = 0; i < int(count) && i < 8 && i < states.size(); ++i) FLamps[i]->setStyleSheet(Lamp(states[i] != 0 ? CLampOn : CLampOff));
}

void TFormVisu::PrepareShutdown() {
  TFormBasic::PrepareShutdown();
  FDisplayActive = false;
  StopStreamProc();
}

void TFormVisu::UpdateGrid() {
  if (!FComUnit) return;
  const QByteArray& record = FComUnit->FBytes.FBytes;
  const int gen = FComUnit->FRev.Gen;
  switch (FStrucInf.VantaDisp) {
    case TVantaDisp::sdPanel: UpdatePanel(record, gen); break;
    case TVantaDisp::sdOsziTime: UpdateOsc(record, gen); break;
    case TVantaDisp::sdOsziFFT: UpdateFFT(record, gen); break;
    case TVantaDisp::sdVecDiag: UpdateVectors(record, gen); break;
    case TVantaDisp::sdLoadFlow: UpdateLoadFlow(record, gen); break;
    default: UpdateBars(record, gen); break;
  }
}

void TFormVisu::UpdatePanel(const QByteArray& record, int generation) {
  for (const TPanelText& t : DecodePanel(record, generation))
    if (QLineEdit* e = Field(t.Field)) e->setText(t.Text);
}

void TFormVisu::UpdateOsc(const QByteArray& record, int generation) {
  if (!FPQPaintBoxCrvOszi || FOsziArrNumbers.isEmpty()) return;
  TCrvTimeModel& m = FPQPaintBoxCrvOszi->Model();
  // A record of another length stops here: the chart stays cleared and the
  // next good record still gets its rescale.
  if (!FillOscSamples(m, record, generation)) {
    FPQPaintBoxCrvOszi->ResetZoom();
    FPQPaintBoxCrvOszi->RequestRepaint();
    return;
  }
  FPQPaintBoxCrvOszi->FTSStart = FComUnit->FBytes.TS_Mess;
  if (FAutoScl) {
    m.AutoScaleAll();
    FAutoScl = false;
  }
  FPQPaintBoxCrvOszi->ResetZoom();
  FPQPaintBoxCrvOszi->RequestRepaint();
}

void TFormVisu::BtnFFTClick() {
  if (InView()) return;
  const int gen = FComUnit ? FComUnit->FRev.Gen : 1;
  FStrucInf = {gen >= 2 ? TVantaStruct::ssosc_dta_t_V2_2 : TVantaStruct::ssosc_dta_t_V1_0, 8, TVantaDisp::sdOsziFFT};
  if (!FPQPaintBoxCrvFFT) {
    FPQPaintBoxCrvFFT = new TPQPaintBoxCrvFFT(TabItmOszi);
    FPQPaintBoxCrvFFT->setObjectName(QStringLiteral("FPQPaintBoxCrvFFT"));
    if (FComUnit) FPQPaintBoxCrvFFT->FFW = FComUnit->FRev;
    FPQPaintBoxCrvFFT->setContextMenuPolicy(Qt::ActionsContextMenu);
    FPQPaintBoxCrvFFT->addActions({actAutoScale, actStack, actCopyData, actCopyImage});
    static_cast<QVBoxLayout*>(TabItmOszi->property("chartSlot").value<void*>())->addWidget(FPQPaintBoxCrvFFT);
    // The zoom bar: 1 .. 20, 10 = 100 %; the chart's wheel zoom moves it too.
    tbZoom->setRange(1, 20);
    tbZoom->setValue(10);
    txtZoomPerc->setText(QStringLiteral("100%"));
    lytTrackZoom->show();
    connect(tbZoom, &QSlider::valueChanged, FPQPaintBoxCrvFFT, [this](int v) {
      if (FPQPaintBoxCrvFFT) FPQPaintBoxCrvFFT->ZoomFFT(v);
    });
    FPQPaintBoxCrvFFT->FUpdateTrackBar = [this](int level) {
      const QSignalBlocker block(tbZoom);  // the bar is set from the chart
      tbZoom->setValue(level);
      txtZoomPerc->setText(QStringLiteral("%1%").arg(level * 10));
    };
  }
  TabCtrlStream->setCurrentWidget(TabItmOszi);
  FAutoScl = true;
  SelectOsciValues();
  SetColumnColors();
  LytColors->show();
  OpenView(TVantaDisp::sdOsziFFT);
}

void TFormVisu::BtnVecDiagClick() {
  if (InView()) return;
  ShowVecDiag();
  OpenView(TVantaDisp::sdVecDiag);
}

void TFormVisu::ShowVecDiag() {
  FStrucInf = {TVantaStruct::ssu_150t_t, 1, TVantaDisp::sdVecDiag};
  if (!FPQPaintVect) {
    FPQPaintVect = new TPQPaintBoxVecDiag(TabItmZeiger);
    FPQPaintVect->setContextMenuPolicy(Qt::ActionsContextMenu);
    FPQPaintVect->addAction(ActLoadFlow);
    auto* fixed = new QAction(tr("Referenzwerte als Vollausschlag"), FPQPaintVect);
    fixed->setCheckable(true);
    connect(fixed, &QAction::toggled, this, [this](bool on) {
      FPQPaintVect->Model().FFixedRef = on;
      FPQPaintVect->FForceRepaint = true;
      FPQPaintVect->update();
    });
    FPQPaintVect->addAction(fixed);
    // The diagram has no text export: its data action leaves the clipboard as it is.
    AddCopyActions(FPQPaintVect, [this](QStringList& lines) { return FPQPaintVect->Model().CopyToClip(lines); });
    if (FComUnit) FPQPaintVect->FFW = FComUnit->FRev;
    TabItmZeiger->layout()->addWidget(FPQPaintVect);
  }
  if (FPQPaintLoad) FPQPaintLoad->hide();
  FPQPaintVect->show();
  TabCtrlStream->setCurrentWidget(TabItmZeiger);
}

void TFormVisu::ActLoadFlowExecute() {
  // The same record as the vector diagram: the stream keeps running.
  const bool running = InView() && FStrucInf.VantaDataObj == 1;
  FStrucInf = {TVantaStruct::ssu_150t_t, 1, TVantaDisp::sdLoadFlow};
  if (!FPQPaintLoad) {
    FPQPaintLoad = new TPQPaintBoxLoadFlow(TabItmZeiger);
    if (FComUnit) FPQPaintLoad->FFW = FComUnit->FRev;
    // The phasor tab's menu: back to the diagram (the same record: the
    // stream goes on), the values, the picture.
    auto* vectors = new QAction(tr("Vektor-Diagramm"), FPQPaintLoad);
    connect(vectors, &QAction::triggered, this, [this] { ShowVecDiag(); });
    FPQPaintLoad->addAction(vectors);
    AddCopyActions(FPQPaintLoad, [this](QStringList& lines) { return FPQPaintLoad->Model().CopyToClip(lines); });
    TabItmZeiger->layout()->addWidget(FPQPaintLoad);
  }
  if (FPQPaintVect) FPQPaintVect->hide();
  FPQPaintLoad->show();
  TabCtrlStream->setCurrentWidget(TabItmZeiger);
  actMenuBack->setVisible(true);
  if (!running) StartStreamProc();
}

void TFormVisu::UpdateLoadFlow(const QByteArray& record, int generation) {
  if (!FPQPaintLoad || !FPQPaintLoad->Model().Feed(record, generation)) return;
  FPQPaintLoad->FTSStart = FComUnit->FBytes.TS_Mess;  // already in the device's local time
  FPQPaintLoad->Model().HrmRescale();
  FPQPaintLoad->FForceRepaint = true;
  FPQPaintLoad->RequestRepaint();
}

void TFormVisu::AddCopyActions(TPQPaintBox* chart, const std::function<bool(QStringList&)>& text) {
  chart->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* copyData = new QAction(tr("Daten in Zwischenablage"), chart);
  connect(copyData, &QAction::triggered, chart, [text] {
    QStringList lines;
    if (text(lines)) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
  });
  auto* copyImage = new QAction(tr("Bild in Zwischenablage"), chart);
  connect(copyImage, &QAction::triggered, this, [this, chart] { CopyImgToClip(chart); });
  chart->addActions({copyData, copyImage});
}

TPQPaintBoxHarm* TFormVisu::NewBarChart() {
  auto* chart = new TPQPaintBoxHarm(TabItmHrms);
  if (FComUnit) chart->FFW = FComUnit->FRev;
  // The bar chart's menu: its values as text, its picture.
  AddCopyActions(chart, [chart](QStringList& lines) { return chart->Model().CopyToClip(lines); });
  TabItmHrms->layout()->addWidget(chart);
  return chart;
}

void TFormVisu::GetHarmonics(TVantaDisp disp) {
  if (InView()) return;
  FStrucInf = {TVantaStruct::ssu_150t_t, 1, disp};
  if (!FPQPaintHrm) {
    FPQPaintHrm = NewBarChart();
    for (int h = 0; h <= 50; ++h) FPQPaintHrm->Model().SetHarmLim(h, float(CDefHrms[size_t(h)]));
  }
  FPQPaintHrm->Model().SetVantaDisp(disp);
  FPQPaintHrm->Model().ClearData();  // no bars of the last view under the new labels
  TabCtrlStream->setCurrentWidget(TabItmHrms);
  OpenView(disp);
}

void TFormVisu::GetFrqBand(TVantaDisp disp) {
  if (InView()) return;
  FStrucInf = {TVantaStruct::ssu_s_t, 4, disp};
  if (!FPQPaintHrm) FPQPaintHrm = NewBarChart();
  FPQPaintHrm->Model().SetVantaDisp(disp);
  FPQPaintHrm->Model().ClearData();  // no bars of the last view under the new labels
  TabCtrlStream->setCurrentWidget(TabItmHrms);
  OpenView(disp);
}

bool TFormVisu::FillOscSamples(TCrvTimeModel& m, const QByteArray& record, int generation) {
  const TByteTransport& b = FComUnit->FBytes;
  const int64_t t0 = TPQTimeProgs::TStoLinear(b.TS_Mess);
  QString log;
  const bool ok = FillOscModel(m, record, generation, b.SmplCnt, b.smplrte, t0, FOsziArrNumbers, FOsziArr, log);
  if (!log.isEmpty()) LogPrepare(this, log, false);
  return ok;
}

void TFormVisu::UpdateFFT(const QByteArray& record, int generation) {
  if (!FPQPaintBoxCrvFFT || FOsziArrNumbers.isEmpty()) return;
  TCrvFFTModel& m = FPQPaintBoxCrvFFT->Model();
  m.SetSampleRate(FComUnit->FBytes.smplrte > 0 ? FComUnit->FBytes.smplrte : 40960);
  FillOscSamples(m, record, generation);
  FPQPaintBoxCrvFFT->FTSStart = FComUnit->FBytes.TS_Mess;
  // The plan is measured once per size; its wisdom is kept in the ini folder
  // so the next start plans at once.
  const QString wisdom = FComUnit->FIniFolder.isEmpty() ? QString() : QDir(FComUnit->FIniFolder).filePath(QStringLiteral("fftw-wisdom"));
  const bool firstPlan = !FWisdomLoaded;
  if (firstPlan) {
    TFFTClass::ImportWisdom(wisdom);
    FWisdomLoaded = true;
  }
  m.DoFFT();  // also on an empty chart: no lines
  if (firstPlan && m.GetMessCnt() > 0) TFFTClass::ExportWisdom(wisdom);
  if (FAutoScl) {
    m.AutoScaleAllFFT();
    FAutoScl = false;
  }
  FPQPaintBoxCrvFFT->RequestRepaint();
}

void TFormVisu::UpdateBars(const QByteArray& record, int generation) {
  if (!FPQPaintHrm) return;
  THarmBarModel& m = FPQPaintHrm->Model();
  const TVantaDisp disp = FStrucInf.VantaDisp;
  const T4Leiter order[] = {T4Leiter::lt1, T4Leiter::lt2, T4Leiter::lt3, T4Leiter::lt0};
  std::array<QList<float>, 4> a, b;
  const bool band = disp == TVantaDisp::sdFrqBandULE || disp == TVantaDisp::sdFrqBandULL || disp == TVantaDisp::sdFrqBandIL;
  if (band) {
    QString log;
    if (!DecodeBands(record, generation, disp, a, log)) {
      LogPrepare(this, log, false);
      return;
    }
    for (int k = 0; k < 4; ++k) m.SetFrqBVal(order[k], a[size_t(k)]);
  } else {
    if (!DecodeHarmonics(record, generation, disp, a, b)) return;
    const bool inter = disp == TVantaDisp::sdIHrmULE || disp == TVantaDisp::sdIHrmULL || disp == TVantaDisp::sdIHrmIL;
    for (int k = 0; k < 4; ++k) inter ? m.SetIHrmVal(order[k], b[size_t(k)]) : m.SetHrmVal(order[k], a[size_t(k)]);
  }
  FPQPaintHrm->FTSStart = FComUnit->FBytes.TS_Mess;  // already in the device's local time
  m.FTSStop = TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(FPQPaintHrm->FTSStart));
  m.HrmRescale();
  FPQPaintHrm->FForceRepaint = true;
  FPQPaintHrm->RequestRepaint();
}

void TFormVisu::UpdateVectors(const QByteArray& record, int generation) {
  if (!FPQPaintVect || !FPQPaintVect->Model().Feed(record, generation)) return;
  FPQPaintVect->FTSStart = FComUnit->FBytes.TS_Mess;  // already in the device's local time
  FPQPaintVect->FForceRepaint = true;
  FPQPaintVect->RequestRepaint();
}

}  // namespace vanta
