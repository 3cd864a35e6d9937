#include "FrmCalib.h"

#include "Language.h"

#include <QDateTime>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "FlashJob.h"
#include "Plugins.h"

namespace vanta {

namespace {
QString Rgb(uint32_t argb) { return QColor::fromRgba(argb).name(); }

QLabel* Text(const QString& t, QWidget* parent, bool bold = false) {
  auto* l = new QLabel(t, parent);
  l->setWordWrap(true);
  if (bold) {
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
  }
  return l;
}

// The wiring as a small picture: calibrator outputs to the device's inputs.
QPixmap WiringPicture() {
  QPixmap pm(420, 180);
  pm.fill(Qt::white);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.drawRoundedRect(10, 20, 130, 140, 8, 8);
  p.drawText(QRect(10, 24, 130, 20), Qt::AlignCenter, TTr::tr("Kalibrator"));
  p.drawRoundedRect(280, 20, 130, 140, 8, 8);
  p.drawText(QRect(280, 24, 130, 20), Qt::AlignCenter, TTr::tr("Gerät"));
  for (int k = 0; k < 4; ++k) {
    const int y = 55 + k * 14;
    p.setPen(QPen(QColor(0xc0, 0x30, 0x30), 2));
    p.drawLine(140, y, 280, y);
    p.drawText(285, y + 4, QStringLiteral("U%1").arg(k + 1));
    p.setPen(QPen(QColor(0x30, 0x50, 0xc0), 2));
    p.drawLine(140, y + 60, 280, y + 60);
    p.drawText(285, y + 64, QStringLiteral("I%1").arg(k + 1));
  }
  return pm;
}

class THoverPicture : public QLabel {
 public:
  explicit THoverPicture(QWidget* parent) : QLabel(TTr::tr("Anschluss zeigen"), parent) {
    setFrameShape(QFrame::StyledPanel);
    FPicture = new QLabel(parent->window(), Qt::ToolTip);
    FPicture->setPixmap(WiringPicture());
  }
 protected:
  void enterEvent(QEnterEvent*) override {
    FPicture->move(mapToGlobal(QPoint(0, height())));
    FPicture->show();
  }
  void leaveEvent(QEvent*) override { FPicture->hide(); }

 private:
  QLabel* FPicture;
};
}  // namespace

TFrmCalib::TFrmCalib(QWidget* parent) : TFormBasic(parent) {
  setWindowTitle(tr("Kalibrierung"));
  auto* outer = new QVBoxLayout(PanelBack);
  tbcCalib = new QStackedWidget(PanelBack);
  outer->addWidget(tbcCalib, 1);

  // ---- Anforderungen ----
  tbtmStart = new QWidget;
  {
    auto* l = new QVBoxLayout(tbtmStart);
    l->addWidget(Text(tr("Anforderungen"), tbtmStart, true));
    l->addWidget(Text(tr("Für die Kalibrierung werden ein Kalibrator (Spannung, Strom, Frequenz 50/60 Hz) und ein Referenzmessgerät benötigt.") +
                          QLatin1Char(' ') + tr("Alle acht Messkanäle werden nacheinander geprüft."),
                      tbtmStart));
    l->addStretch();
    rctgnlStart = new QPushButton(tr("Kalibration starten"), tbtmStart);
    l->addWidget(rctgnlStart, 0, Qt::AlignCenter);
    l->addStretch();
  }
  tbcCalib->addWidget(tbtmStart);

  // ---- Einrichtung ----
  TbtmEinrichtung = new QWidget;
  {
    auto* f = new QFormLayout(TbtmEinrichtung);
    edtDeviceType = new QLineEdit(TbtmEinrichtung);
    edtSN = new QLineEdit(TbtmEinrichtung);
    edtUser = new QLineEdit(qEnvironmentVariable("USER"), TbtmEinrichtung);
    edtDate = new QLineEdit(TbtmEinrichtung);
    edtTime = new QLineEdit(TbtmEinrichtung);
    edtSW = new QLineEdit(TbtmEinrichtung);
    edtSW->setReadOnly(true);
    mmoVorschrift = new QPlainTextEdit(TbtmEinrichtung);
    mmoVorschrift->setMaximumHeight(90);
    f->addRow(Text(tr("Identifikation und Prüfer"), TbtmEinrichtung, true));
    f->addRow(tr("Gerätetyp"), edtDeviceType);
    f->addRow(tr("Seriennummer"), edtSN);
    f->addRow(tr("Prüfer"), edtUser);
    f->addRow(tr("Prüfdatum"), edtDate);
    f->addRow(tr("Prüfzeit"), edtTime);
    f->addRow(tr("Kalibrierprogramm"), edtSW);
    f->addRow(tr("Prüfvorschrift"), mmoVorschrift);
  }
  tbcCalib->addWidget(TbtmEinrichtung);

  // ---- Testbedingungen ----
  tbtmBedingungen = new QWidget;
  {
    auto* g = new QGridLayout(tbtmBedingungen);
    auto* env = new QGroupBox(tr("Umgebungsbedingungen"), tbtmBedingungen);
    auto* ef = new QFormLayout(env);
    edtAirTemp = new QLineEdit(env);
    edtRelAirHum = new QLineEdit(env);
    edtPressure = new QLineEdit(env);
    ef->addRow(tr("Lufttemperatur"), edtAirTemp);
    ef->addRow(tr("Rel. Luftfeuchte"), edtRelAirHum);
    ef->addRow(tr("Luftdruck"), edtPressure);
    Standardwerte = new QPushButton(tr("Standardwerte wiederherstellen"), env);
    ef->addRow(Standardwerte);
    g->addWidget(env, 0, 0);
    auto instrument = [&](const QString& title, std::array<QLineEdit*, 5>& edits) {
      auto* box = new QGroupBox(title, tbtmBedingungen);
      auto* f = new QFormLayout(box);
      const char* names[] = {QT_TR_NOOP("Modell"), QT_TR_NOOP("Seriennummer"), QT_TR_NOOP("Prüfnummer"),
                             QT_TR_NOOP("Kalibriert bis"), QT_TR_NOOP("Zertifikat")};
      for (int i = 0; i < 5; ++i) {
        edits[size_t(i)] = new QLineEdit(box);
        f->addRow(tr(names[i]), edits[size_t(i)]);
      }
      return box;
    };
    g->addWidget(instrument(tr("Referenzgerät 1"), Instrument1), 0, 1);
    g->addWidget(instrument(tr("Referenzgerät 2"), Instrument2), 0, 2);
    auto* aids = new QGroupBox(tr("Hilfsmittel und Anmerkung"), tbtmBedingungen);
    auto* af = new QGridLayout(aids);
    edtFrei1 = new QLineEdit(aids);
    EdtFrei1Val = new QLineEdit(aids);
    EdtFrei2 = new QLineEdit(aids);
    EdtFrei2Val = new QLineEdit(aids);
    edtannotation = new QLineEdit(aids);
    af->addWidget(edtFrei1, 0, 0);
    af->addWidget(EdtFrei1Val, 0, 1);
    af->addWidget(EdtFrei2, 1, 0);
    af->addWidget(EdtFrei2Val, 1, 1);
    af->addWidget(new QLabel(tr("Anmerkung"), aids), 2, 0);
    af->addWidget(edtannotation, 2, 1);
    g->addWidget(aids, 1, 0, 1, 3);
  }
  tbcCalib->addWidget(tbtmBedingungen);

  // ---- Kalibration ----
  tbtmKailb = new QWidget;
  {
    auto* l = new QVBoxLayout(tbtmKailb);
    auto* marks = new QHBoxLayout;
    const char* captions[] = {QT_TR_NOOP("Quelle trennen"),       QT_TR_NOOP("Frequenz wählen"), QT_TR_NOOP("Nullpunkt messen"),
                              QT_TR_NOOP("Quelle verbinden"),     QT_TR_NOOP("Referenz vergleichen"),
                              QT_TR_NOOP("Status prüfen"),        QT_TR_NOOP("Kalibration abschließen")};
    for (int i = 0; i < 7; ++i) {
      Marks[size_t(i)] = new QLabel(tr(captions[i]), tbtmKailb);
      Marks[size_t(i)]->setAlignment(Qt::AlignCenter);
      Marks[size_t(i)]->setMinimumHeight(34);
      Marks[size_t(i)]->setWordWrap(true);
      marks->addWidget(Marks[size_t(i)]);
    }
    l->addLayout(marks);
    lytframe = new QStackedWidget(tbtmKailb);
    lytframe->addWidget(new QWidget);  // no frame
    auto frame = [&](std::initializer_list<QWidget*> ws) {
      auto* w = new QWidget;
      auto* fl = new QVBoxLayout(w);
      for (QWidget* x : ws) fl->addWidget(x);
      fl->addStretch();
      lytframe->addWidget(w);
      return w;
    };
    frame({Text(tr("Alle Spannungsmesseingänge auf Erdpotential legen und alle Strommesseingänge von der Quelle trennen."), nullptr),
           Text(tr("Spannung = 0 V"), nullptr, true), Text(tr("Strom = 0 A"), nullptr, true)});
    rb50hz = new QRadioButton(QStringLiteral("50 Hz"));
    rb60hz = new QRadioButton(QStringLiteral("60 Hz"));
    rb50hz->setChecked(true);
    frame({Text(tr("Bitte wählen Sie die Referenzfrequenz für die Kalibrierung:"), nullptr), rb50hz, rb60hz});
    auto* f3 = frame({Text(tr("Spannungs- und Strompfade des Kalibrators an alle Messeingänge anschließen (Spannungen parallel, Ströme in Reihe), das Referenzmessgerät dazu."),
                           nullptr),
                      Text(tr("Am Kalibrator folgende Werte einstellen:"), nullptr),
                      Text(tr("Spannung = 100.00 V"), nullptr, true), Text(tr("Strom = 5.000 A"), nullptr, true)});
    auto* freqLine = Text(tr("Frequenz = 50.000 Hz"), f3, true);
    freqLine->setObjectName(QStringLiteral("lblFrequency"));
    static_cast<QVBoxLayout*>(f3->layout())->insertWidget(4, freqLine);
    static_cast<QVBoxLayout*>(f3->layout())->insertWidget(5, new THoverPicture(f3));
    edtRefU = new QLineEdit(QStringLiteral("100.000"));
    edtRefI = new QLineEdit(QStringLiteral("5.000"));
    auto* refs = new QWidget;
    auto* rf = new QFormLayout(refs);
    rf->addRow(tr("Spannung (V):"), edtRefU);
    rf->addRow(tr("Strom (A):"), edtRefI);
    frame({Text(tr("Werte der Kontrollmessung eingeben:"), nullptr), refs});
    lstStatus = new QListWidget;
    lstStatus->setFlow(QListView::TopToBottom);
    lstStatus->setWrapping(true);
    lstStatus->setGridSize(QSize(300, 22));
    lstStatus->setFixedHeight(8 * 22 + 24);  // two columns of eight: one per pass
    for (int i = 0; i < 16; ++i) lstStatus->addItem(QStringLiteral("%1  –").arg(CalibChannelName(i)));
    lblResult = Text(QString(), nullptr, true);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    auto* res = new QWidget;
    auto* rl = new QHBoxLayout(res);
    rl->addWidget(new QLabel(tr("Ergebnis:")));
    rl->addWidget(lblResult, 1);
    frame({Text(tr("Kalibrationsstatus überprüfen:"), nullptr), lstStatus, res});
    l->addWidget(lytframe, 1);
  }
  tbcCalib->addWidget(tbtmKailb);

  // The error line sits under every page: a wrong reference entry is shown
  // on the calibration page, a device's refusal on the start page.
  txtError = Text(QString(), PanelBack, true);
  txtError->setObjectName(QStringLiteral("txtError"));
  txtError->setStyleSheet(QStringLiteral("color: #c00000;"));
  outer->addWidget(txtError);
  barAni = new QProgressBar(PanelBack);
  barAni->setTextVisible(false);
  barAni->setMaximumHeight(10);
  barAni->hide();
  outer->addWidget(barAni);
  lblWaiting = new QLabel(PanelBack);
  lblWaiting->setObjectName(QStringLiteral("lblWaiting"));
  lblWaiting->hide();
  outer->addWidget(lblWaiting);
  auto* nav = new QHBoxLayout;
  rctglAbort = new QPushButton(tr("Abbrechen"), PanelBack);
  rctgnlBack = new QPushButton(tr("Zurück"), PanelBack);
  btnNext = new QPushButton(tr("Weiter"), PanelBack);
  rctnglRestartCalib = new QPushButton(tr("Kalibration wiederholen"), PanelBack);
  rctngSaveExit = new QPushButton(tr("Speichern und Beenden"), PanelBack);
  nav->addWidget(rctglAbort);
  nav->addStretch();
  for (QPushButton* b : {rctnglRestartCalib, rctgnlBack, btnNext, rctngSaveExit}) nav->addWidget(b);
  outer->addLayout(nav);
  FAni = new QTimer(this);
  FAni->setInterval(100);
  connect(FAni, &QTimer::timeout, this, [this] {
    if (FAniTotalMs > 0) barAni->setValue(int(qMin<qint64>(1000, (QDateTime::currentMSecsSinceEpoch() - FAniStart) * 1000 / FAniTotalMs)));
  });
  resize(900, 560);
  Refresh();
}

TFrmCalib::~TFrmCalib() {
  mmoVorschrift->clear();
  FMachine.reset();
}

void TFrmCalib::StandardwerteClick() {
  edtAirTemp->setText(QStringLiteral("15 °C ... 35 °C"));
  edtRelAirHum->setText(QStringLiteral("25 % ... 75 %"));
  edtPressure->setText(QStringLiteral("86 kPa ... 106 kPa"));
  for (QLineEdit* e : Instrument1) e->clear();
  for (QLineEdit* e : Instrument2) e->clear();
  edtannotation->clear();
}

void TFrmCalib::FillReport(QMap<QString, QString>& d) const {
  d[QStringLiteral("DeviceType")] = edtDeviceType->text();
  d[QStringLiteral("DeviceNumber")] = edtSN->text();
  d[QStringLiteral("UserName")] = edtUser->text();
  d[QStringLiteral("CheckDate")] = edtDate->text();
  d[QStringLiteral("CheckTime")] = edtTime->text();
  d[QStringLiteral("Prescription")] = mmoVorschrift->toPlainText();
  d[QStringLiteral("AirTemp")] = edtAirTemp->text();
  d[QStringLiteral("AitHum")] = edtRelAirHum->text();
  d[QStringLiteral("Pressure")] = edtPressure->text();
  d[QStringLiteral("Programm")] = edtSW->text();
  d[QStringLiteral("Annotation")] = edtannotation->text();
  const char* keys[] = {"Model", "Serial", "CheckNr", "CalTo", "CertNr"};
  for (int i = 0; i < 5; ++i) {
    d[QStringLiteral("%1%2").arg(QLatin1String(keys[i])).arg(1)] = Instrument1[size_t(i)]->text();
    d[QStringLiteral("%1%2").arg(QLatin1String(keys[i])).arg(2)] = Instrument2[size_t(i)]->text();
  }
  // The report reads the dictionary by these keys, in every language.
  d[QStringLiteral("Frei1")] = edtFrei1->text();  // untranslated
  d[QStringLiteral("Frei1Val")] = EdtFrei1Val->text();  // untranslated
  d[QStringLiteral("Frei2")] = EdtFrei2->text();  // untranslated
  d[QStringLiteral("Frei2Val")] = EdtFrei2Val->text();  // untranslated
  for (int i = 0; i < 16; ++i)
    d[QStringLiteral("Result%1 %2").arg(i + 1, 2, 10, QLatin1Char('0')).arg(CalibChannelName(i))] = FMachine->ChannelText[size_t(i)];
}

void TFrmCalib::ConnEst(QObject* Sender, bool connected) {
  TFormBasic::ConnEst(Sender, connected);
  if (FMachine) {  // the line went or came back: the start follows it
    FMachine->ConnEst(connected);
    Refresh();
    return;
  }
  if (!connected || !FComUnit) return;
  FMachine = std::make_unique<TCalibMachine>(*FComUnit);
  TCalibMachine& m = *FMachine;
  m.FSWVer = FSWVer.isEmpty() ? QStringLiteral("vanta-host %1").arg(GetAppVersionStr()) : FSWVer;
  m.ReportFolder = FComUnit->FDatadir;
  m.AnswerTimeoutMs = FStepTimeoutMs;
  m.OnWaitingFor = [this](qint64 ms) {
    lblWaiting->setText(tr("Warte auf das Gerät seit %1").arg(ElapsedText(ms)));
    lblWaiting->show();
    // The device may take minutes: the operator may stop waiting (not the device).
    rctglAbort->show();
  };
  m.OnLog = [this](const QString& l) { LogPrepare(this, l, false); };
  m.OnChanged = [this] { Refresh(); };
  m.OnInfo = [this](const QString& text) { DisplayMessage(text, TMsgDlgType::mtInformation, {}, mbOK, mbOK); };
  m.OnClose = [this] {
    if (FClose) FClose(this);
  };
  m.FillReport = [this](QMap<QString, QString>& d) { FillReport(d); };
  m.MakeReport = [this](const QMap<QString, QString>& d, const QString& pdf) {
    const QString e = FMakeReport ? FMakeReport(d, pdf) : RunKalibratorReport(d, pdf, FComUnit ? FComUnit->FTmpDir : QString());
    if (e.isEmpty()) LogPrepare(this, QStringLiteral("Kalibrierzertifikat: %1").arg(pdf), true);
    return e;
  };
  m.OnWait = [this](int seconds) {
    const bool busy = seconds >= 0;
    tbcCalib->setEnabled(!busy);
    // The navigation and abort bars go away while the device works.
    if (busy)
      for (QPushButton* b : {btnNext, rctgnlBack, rctnglRestartCalib, rctngSaveExit, rctglAbort}) b->hide();
    else
      rctglAbort->show();
    barAni->setVisible(busy);
    if (seconds == 0) {
      barAni->setRange(0, 0);
      barAni->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: %1; }").arg(Rgb(0xFFFF4500)));
    } else if (seconds > 0) {
      barAni->setRange(0, 1000);
      barAni->setValue(0);
      barAni->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: %1; }").arg(Rgb(0xFF006400)));
      FAniTotalMs = int(seconds * 1000 * Machine()->WaitScale);
      FAniStart = QDateTime::currentMSecsSinceEpoch();
      FAni->start();
    } else {
      FAni->stop();
      lblWaiting->hide();
      Refresh();
    }
  };
  connect(rctgnlStart, &QPushButton::clicked, this, [this] {
    edtSW->setText(FMachine->FSWVer);
    FMachine->Start();
  });
  connect(btnNext, &QPushButton::clicked, this, [this] {
    FMachine->Freq60 = rb60hz->isChecked();
    FMachine->RefUText = edtRefU->text();
    FMachine->RefIText = edtRefI->text();
    FMachine->Next();
  });
  connect(rctgnlBack, &QPushButton::clicked, this, [this] { FMachine->Back(); });
  connect(rctnglRestartCalib, &QPushButton::clicked, this, [this] { FMachine->Restart(); });
  connect(rctngSaveExit, &QPushButton::clicked, this, [this] { FMachine->SaveAndExit(); });
  connect(rctglAbort, &QPushButton::clicked, this, [this] {
    // While the device works, "Abbrechen" ends the waiting only.
    if (FMachine->WaitingForDevice())
      FMachine->StopWaiting();
    else
      FMachine->Abort();
  });
  connect(Standardwerte, &QPushButton::clicked, this, &TFrmCalib::StandardwerteClick);
  edtDeviceType->setText(FComUnit->FDevice);
  m.ConnEst(true);
  Refresh();
}

void TFrmCalib::Refresh() {
  const TCalibMachine* m = FMachine.get();
  const TCalibPage page = m ? m->Page : TCalibPage::cpStart;
  tbcCalib->setCurrentIndex(int(page));
  rctgnlStart->setEnabled(m && m->Ready() && !m->Busy());
  txtError->setText(m ? m->ErrorText : QString());
  const uint32_t b = m && !m->Busy() ? m->Buttons : 0;
  btnNext->setVisible(b & cbNext);
  rctgnlBack->setVisible(b & cbBack);
  rctnglRestartCalib->setVisible(b & cbRestart);
  rctngSaveExit->setVisible(b & cbSaveExit);
  rctngSaveExit->setEnabled(m && m->Step == 31 && m->FStatus && !m->Busy());
  if (!m) return;
  for (int i = 0; i < 7; ++i)
    Marks[size_t(i)]->setStyleSheet(QStringLiteral("background: %1; border-radius: 8px; padding: 4px;").arg(Rgb(CalibMarkColour(m->Marks[size_t(i)]))));
  lytframe->setCurrentIndex(m->Frame);
  if (auto* f = findChild<QLabel*>(QStringLiteral("lblFrequency")))
    f->setText(rb60hz->isChecked() ? tr("Frequenz = 60.000 Hz") : tr("Frequenz = 50.000 Hz"));
  // Filled when step 0 runs; what the operator types afterwards stays.
  if (m->SetupGeneration != FShownSetup) {
    FShownSetup = m->SetupGeneration;
    edtSN->setText(m->DeviceSN);
    edtDate->setText(m->CheckDate);
    edtTime->setText(m->CheckTime);
  }
  for (int i = 0; i < 16; ++i) {
    QListWidgetItem* it = lstStatus->item(i);
    const int state = m->Channel[size_t(i)];
    const QString text = m->ChannelText[size_t(i)].isEmpty() ? QStringLiteral("–") : m->ChannelText[size_t(i)];
    it->setText(QStringLiteral("%1 %2  %3").arg(state == 1 ? QStringLiteral("✔") : state == 0 ? QStringLiteral("✘") : QStringLiteral("  "),
                                                 CalibChannelName(i), text));
    if (state >= 0 && m->Step == i + 16) lstStatus->scrollToItem(it);
  }
  lblResult->setText(m->ResultText);
  lblResult->setStyleSheet(QStringLiteral("color: %1;").arg(Rgb(m->ResultOk ? 0xFF008000 : 0xFFFF0000)));
}

}  // namespace vanta
