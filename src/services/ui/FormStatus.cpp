#include "FormStatus.h"

#include "Language.h"

#include <QButtonGroup>
#include <algorithm>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace vanta {

namespace {

constexpr int CTags[] = {0, 1, 2, 3, 4, 6, 7, 8};

QString Caption(int tag) {
  switch (tag) {
    case 0: return TTr::tr("Übersicht");
    case 1: return TTr::tr("CCCI-Schnittstelle");
    case 2: return TTr::tr("Speicher");
    case 3: return QStringLiteral("System");
    case 4: return QStringLiteral("SCADA");
    case 6: return TTr::tr("Zeitsynchronisation");
    case 7: return QStringLiteral("PCAP");
    case 8: return QStringLiteral("LUA");
    default: return {};
  }
}

// A page scrolls when its groups do not fit.
QWidget* Scrolled(QWidget* page) {
  auto* area = new QScrollArea;
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  area->setWidget(page);
  return area;
}

QProgressBar* Bar(QWidget* parent) {
  auto* b = new QProgressBar(parent);
  b->setRange(0, 100);
  b->setTextVisible(false);
  b->setMaximumHeight(14);
  return b;
}

}  // namespace

// ---- rows ----------------------------------------------------------------------------------

TStatusRows::TStatusRows(const QString& title, QWidget* parent) : QGroupBox(title, parent), FLayout(new QFormLayout(this)) {
  FLayout->setLabelAlignment(Qt::AlignLeft);
  FLayout->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
}

void TStatusRows::Clear() {
  while (FLayout->rowCount() > 0) FLayout->removeRow(0);
}

void TStatusRows::Add(const QString& name, const QString& value) {
  auto* edit = new QLineEdit(value, this);
  edit->setReadOnly(true);
  edit->setObjectName(QStringLiteral("transparentedit"));
  edit->setStyleSheet(QStringLiteral("QLineEdit#transparentedit { border: none; background: transparent; }"));
  edit->setCursorPosition(0);
  FLayout->addRow(name, edit);
}

void TStatusRows::AddLines(const QStringList& lines) {
  for (const QString& l : lines) {
    const qsizetype eq = l.indexOf(QLatin1Char('='));
    Add(eq < 0 ? l : l.left(eq), eq < 0 ? QString() : l.mid(eq + 1));
  }
}

QString TStatusRows::ValueOf(const QString& name) const {
  for (int r = 0; r < FLayout->rowCount(); ++r) {
    auto* label = qobject_cast<QLabel*>(FLayout->itemAt(r, QFormLayout::LabelRole) ? FLayout->itemAt(r, QFormLayout::LabelRole)->widget() : nullptr);
    auto* edit = qobject_cast<QLineEdit*>(FLayout->itemAt(r, QFormLayout::FieldRole) ? FLayout->itemAt(r, QFormLayout::FieldRole)->widget() : nullptr);
    if (label && edit && label->text() == name) return edit->text();
  }
  return {};
}

int TStatusRows::Count() const { return FLayout->rowCount(); }

TArcView::TArcView(QWidget* parent) : QWidget(parent) { setMinimumSize(80, 80); }

void TArcView::SetShares(qint64 used, qint64 free, qint64 bad) {
  FUsed = qMax<qint64>(0, used);
  FFree = qMax<qint64>(0, free);
  FBad = qMax<qint64>(0, bad);
  update();
}

void TArcView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const int side = qMin(width(), height()) - 4;
  const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
  const qint64 total = FUsed + FFree + FBad;
  if (total <= 0) {
    p.setPen(palette().mid().color());
    p.drawEllipse(r);
    return;
  }
  int start = 90 * 16;
  const struct {
    qint64 Share;
    QColor Colour;
  } parts[] = {{FUsed, QColor(40, 90, 170)}, {FBad, QColor(200, 40, 40)}, {FFree, QColor(200, 215, 230)}};
  p.setPen(Qt::white);
  for (const auto& part : parts) {
    const int span = int(-360.0 * 16 * double(part.Share) / double(total));
    p.setBrush(part.Colour);
    if (span != 0) p.drawPie(r, start, span);
    start += span;
  }
}

// ---- pages ---------------------------------------------------------------------------------

TFrameMain::TFrameMain(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  Rows = new TStatusRows(tr("Übersicht"), this);
  l->addWidget(Rows);
  auto* flash = new QGroupBox(tr("Speicher"), this);
  auto* fl = new QHBoxLayout(flash);
  // The bar measures what is free, not what is used: its caption says so.
  FlashCaption = new QLabel(tr("frei"), flash);
  FlashBar = Bar(flash);
  FlashText = new QLabel(flash);
  fl->addWidget(FlashCaption);
  fl->addWidget(FlashBar, 1);
  fl->addWidget(FlashText);
  l->addWidget(flash);
  l->addStretch();
}

void TFrameMain::ClearForm() {
  Rows->Clear();
  FlashBar->setValue(0);
  FlashText->clear();
}

void TFrameMain::SetData(const TStatusRecord& r) {
  ClearForm();
  Rows->Add(tr("Betriebsname"), r.Plant);
  Rows->Add(tr("Messfeld"), r.Field);
  Rows->Add(tr("Gerätename"), r.Device);
  Rows->Add(tr("Firmwareversion"), r.Firmware);
  Rows->Add(tr("Releaseversion"), r.Release);
  Rows->Add(tr("Artikel Nummer"), r.Article);
  Rows->Add(tr("Seriennummer"), r.Serial);
  Rows->Add(tr("Gerätezeit"), r.DeviceTime);
  Rows->Add(tr("Laufzeit"), r.UpTimeText);
  // The bar shows what is free, as the text beside it says.
  FlashBar->setValue(qBound(0, r.Flash.Percent, 100));
  FlashText->setText(r.FlashPercentText);
}

TFrameCCCI::TFrameCCCI(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  Workers = new TStatusRows(QStringLiteral("CCCI-Worker"), this);
  Addresses = new TStatusRows(tr("IP-Adressen"), this);
  l->addWidget(Workers);
  l->addWidget(Addresses);
  l->addStretch();
}

void TFrameCCCI::ClearForm() {
  Workers->Clear();
  Addresses->Clear();
}

void TFrameCCCI::SetData(const TStatusRecord& r) {
  ClearForm();
  Workers->AddLines(r.CcciWorkers);
  Addresses->AddLines(r.Addresses);
}

TFrameDrives::TFrameDrives(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  auto make = [&](const QString& title) {
    auto* box = new QWidget(this);
    auto* h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    TDriveGroup g{new TStatusRows(title, box), nullptr, new TArcView(box)};
    auto* v = new QVBoxLayout;
    v->addWidget(g.Rows);
    g.Bar = Bar(box);
    v->addWidget(g.Bar);
    h->addLayout(v, 1);
    h->addWidget(g.Arc);
    l->addWidget(box);
    return g;
  };
  Flash = make(tr("Speicher (MB)"));
  Ram = make(tr("Arbeitsspeicher (MB)"));
  Sd = make(QStringLiteral("SD (MB)"));
  l->addStretch();
}

void TFrameDrives::ClearForm() {
  for (TDriveGroup* g : {&Flash, &Ram, &Sd}) {
    g->Rows->Clear();
    g->Bar->setValue(0);
    g->Arc->SetShares(0, 0, 0);
  }
}

void TFrameDrives::SetData(const TStatusRecord& r) {
  ClearForm();
  auto fill = [](TDriveGroup& g, const TDriveInfo& d) {
    g.Rows->Add(QStringLiteral("Used:"), QString::number(d.UsedMiB));
    g.Rows->Add(QStringLiteral("Free:"), QString::number(d.FreeMiB));
    g.Rows->Add(QStringLiteral("Bad:"), QString::number(d.BadMiB));
    g.Rows->Add(QStringLiteral("Total:"), QString::number(d.TotalMiB));
    g.Bar->setValue(d.TotalMiB > 0 ? int(100 * d.UsedMiB / d.TotalMiB) : 0);
    g.Arc->SetShares(d.UsedMiB, d.FreeMiB, d.BadMiB);
  };
  fill(Flash, r.Flash);
  fill(Ram, r.Ram);
  Sd.Rows->parentWidget()->setVisible(r.Sd.Present);
  if (r.Sd.Present) fill(Sd, r.Sd);
}

TFrameSystem::TFrameSystem(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  Load = new TStatusRows(tr("Systemlast"), this);
  Recordings = new TStatusRows(tr("Aktuelle Aufzeichnungsdateien"), this);
  l->addWidget(Load);
  l->addWidget(Recordings);
  l->addStretch();
}

void TFrameSystem::ClearForm() {
  Load->Clear();
  Recordings->Clear();
}

void TFrameSystem::SetSystemData(const QList<TSysloadRec>& load, const QStringList& recordings) {
  ClearForm();
  QLocale locale;
  for (const TSysloadRec& s : load) Load->Add(s.Syspart, locale.toString(double(s.Load), 'f', 1) + QLatin1Char('%'));
  Recordings->AddLines(recordings);
}

TFrameModBus::TFrameModBus(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  Modbus = new TStatusRows(QStringLiteral("Modbus"), this);
  Iec104 = new TStatusRows(QStringLiteral("IEC 60870-5-104"), this);
  Iec850 = new TStatusRows(QStringLiteral("IEC IEC61850 "), this);
  for (QWidget* w : {static_cast<QWidget*>(Modbus), static_cast<QWidget*>(Iec104), static_cast<QWidget*>(Iec850)}) l->addWidget(w);
  l->addStretch();
}

void TFrameModBus::ClearForm() {
  Modbus->Clear();
  Iec104->Clear();
  Iec850->Clear();
}

void TFrameModBus::SetModbusData(const QStringList& modbus, const QStringList& iec104, const QStringList& iec850) {
  ClearForm();
  Modbus->AddLines(modbus);
  Iec104->AddLines(iec104);
  Iec850->AddLines(iec850);
}

TFrameNTP::TFrameNTP(QWidget* parent) : QWidget(parent) {
  auto* l = new QGridLayout(this);
  for (int k = 0; k < 4; ++k) {
    Servers[k] = new TStatusRows(QStringLiteral("NTP %1").arg(k + 1), this);
    l->addWidget(Servers[k], k / 2, k % 2);
  }
  Time = new TStatusRows(tr("Zeit"), this);
  l->addWidget(Time, 2, 0, 1, 2);
  l->setRowStretch(3, 1);
}

void TFrameNTP::ClearForm() {
  for (TStatusRows* s : Servers) s->Clear();
  Time->Clear();
}

void TFrameNTP::SetNTPData(const TStatusRecord& r) {
  ClearForm();
  for (int k = 0; k < 4; ++k) {
    QStringList lines;
    for (const TNameValue& line : r.Ntp[k]) lines << NtpLineText(line);
    Servers[k]->AddLines(lines);
  }
  bool quality = false;
  for (const TNameValue& t : r.Time) {
    const bool q = t.first == QLatin1String("quality") && !r.DcfQuality.isEmpty();
    quality |= q;
    Time->Add(TTr::tr(t.first.toUtf8().constData()), q ? TTr::tr(r.DcfQuality.toUtf8().constData()) : t.second);
  }
  if (!quality && !r.DcfQuality.isEmpty()) Time->Add(QStringLiteral("quality"), TTr::tr(r.DcfQuality.toUtf8().constData()));  // no signal comes without a figure
}

TFramePCAP::TFramePCAP(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  auto* gen = new QGroupBox(tr("Mitschnitt generieren"), this);
  auto* f = new QFormLayout(gen);
  edtInterface = new QLineEdit(QStringLiteral("emac"), gen);
  edtFileName = new QLineEdit(gen);
  cmbType = new QComboBox(gen);
  cmbType->addItems({tr("Zeit"), tr("Pakete")});
  auto spin = [gen](int lo, int hi, int value) {
    auto* s = new QSpinBox(gen);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
  };
  spnHours = spin(0, 23, 1);
  spnMinutes = spin(0, 59, 0);
  spnSeconds = spin(0, 59, 0);
  spnPackets = spin(1, 1000000, 100);
  auto* time = new QHBoxLayout;
  for (QSpinBox* s : {spnHours, spnMinutes, spnSeconds}) time->addWidget(s);
  time->addWidget(spnPackets);
  cmbDirection = new QComboBox(gen);
  cmbDirection->addItems({QString(), QStringLiteral("all"), QStringLiteral("src"), QStringLiteral("dst")});
  edtAddress = new QLineEdit(QStringLiteral("255.255.255.255"), gen);
  btnAdd = new QPushButton(QStringLiteral("+"), gen);
  btnRemove = new QPushButton(QStringLiteral("-"), gen);
  auto* filter = new QHBoxLayout;
  filter->addWidget(cmbDirection);
  filter->addWidget(edtAddress, 1);
  filter->addWidget(btnAdd);
  filter->addWidget(btnRemove);
  lstFilters = new QListWidget(gen);
  lstFilters->setMaximumHeight(70);
  edtCommand = new QLineEdit(gen);
  edtCommand->setReadOnly(true);
  btnStart = new QPushButton(tr("Starten"), gen);
  f->addRow(tr("Schnittstelle"), edtInterface);
  f->addRow(tr("Dateiname"), edtFileName);
  f->addRow(tr("Dauer"), cmbType);
  f->addRow(QString(), time);
  f->addRow(QStringLiteral("Filter"), filter);
  f->addRow(QString(), lstFilters);
  f->addRow(tr("Kommando"), edtCommand);
  f->addRow(QString(), btnStart);
  l->addWidget(gen);
  auto* dl = new QGroupBox(tr("Mittschnitt herunterladen"), this);
  auto* dll = new QVBoxLayout(dl);
  lstCaptures = new QTreeWidget(dl);
  lstCaptures->setColumnCount(3);
  lstCaptures->setHeaderLabels({tr("Datei"), tr("Details"), QString()});
  lstCaptures->header()->setStretchLastSection(false);
  lstCaptures->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  lstCaptures->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  lstCaptures->setRootIsDecorated(false);
  dll->addWidget(lstCaptures);
  l->addWidget(dl, 1);

  auto rebuild = [this] { GenText(); };
  auto typeChanged = [this] {
    const bool packets = cmbType->currentIndex() == 1;
    for (QSpinBox* s : {spnHours, spnMinutes, spnSeconds}) s->setVisible(!packets);
    spnPackets->setVisible(packets);
    GenText();
  };
  connect(cmbType, &QComboBox::currentIndexChanged, this, typeChanged);
  for (QSpinBox* s : {spnHours, spnMinutes, spnSeconds, spnPackets}) connect(s, &QSpinBox::valueChanged, this, rebuild);
  connect(edtInterface, &QLineEdit::textEdited, this, rebuild);
  connect(edtFileName, &QLineEdit::editingFinished, this, rebuild);
  connect(btnAdd, &QPushButton::clicked, this, [this] {
    if (edtAddress->text().trimmed().isEmpty()) return;
    lstFilters->addItem(PcapFilter(cmbDirection->currentText(), edtAddress->text().trimmed()));
    GenText();
  });
  connect(btnRemove, &QPushButton::clicked, this, [this] {
    delete lstFilters->currentItem();
    GenText();
  });
  connect(btnStart, &QPushButton::clicked, this, [this] {
    const QString command = GenText();
    if (OnStart) OnStart(command);
  });
  typeChanged();
}

QString TFramePCAP::GenText() {
  TPcapSettings s;
  s.Interface = edtInterface->text().trimmed();
  s.FileName = edtFileName->text().trimmed();
  s.ByPackets = cmbType->currentIndex() == 1;
  s.Hours = spnHours->value();
  s.Minutes = spnMinutes->value();
  s.Seconds = spnSeconds->value();
  s.Packets = spnPackets->value();
  for (int i = 0; i < lstFilters->count(); ++i) s.Filters << lstFilters->item(i)->text();
  const QString command = vanta::GenText(s, QDateTime::currentDateTime());
  edtFileName->setText(s.FileName);
  edtCommand->setText(command);
  edtCommand->setCursorPosition(0);
  return command;
}

void TFramePCAP::SetListing(const QList<TPcapEntry>& list) {
  lstCaptures->clear();
  for (const TPcapEntry& e : list) {
    auto* item = new QTreeWidgetItem(lstCaptures, {e.Name, e.Detail});
    // The accessory: download or delete this capture.
    auto* more = new QToolButton(lstCaptures);
    more->setText(QStringLiteral("…"));
    more->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(more);
    const QString name = e.Name;
    menu->addAction(tr("Herunterladen"), this, [this, name] {
      if (OnInteract) OnInteract(TPCAPInteractType::PCAPDownload, name);
    });
    menu->addAction(tr("Löschen"), this, [this, name] {
      if (OnInteract) OnInteract(TPCAPInteractType::PCAPDelete, name);
    });
    more->setMenu(menu);
    lstCaptures->setItemWidget(item, 2, more);
  }
}

TFrameLUA::TFrameLUA(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  cmbCommand = new QComboBox(this);
  cmbCommand->setEditable(true);
  cmbCommand->addItems({QStringLiteral("pq.getEvtOscHpCnt()"), QStringLiteral("log.output(\"file\")"), QStringLiteral("ips.ftpOpen()"),
                        QStringLiteral("ips.ftpClose()"), QStringLiteral("fs.du(\"/mnt/flashdrive0\")"),
                        QStringLiteral("fs.du(\"/mnt/flashdrive0/data/recorder\")"), QStringLiteral("fs.du(\"/mnt/flashdrive0/data/events\")"),
                        QStringLiteral("uti.softreset()"), QStringLiteral("omap.reset()")});
  cmbCommand->setCurrentText(QString());
  btnSend = new QPushButton(QStringLiteral("Send"), this);
  top->addWidget(cmbCommand, 1);
  top->addWidget(btnSend);
  l->addLayout(top);
  mmoLog = new QPlainTextEdit(this);
  mmoLog->setReadOnly(true);
  mmoLog->setFont(QFont(QStringLiteral("DejaVu Sans Mono")));
  l->addWidget(mmoLog, 1);
  connect(btnSend, &QPushButton::clicked, this, &TFrameLUA::Send);
  connect(cmbCommand->lineEdit(), &QLineEdit::returnPressed, this, &TFrameLUA::Send);
}

void TFrameLUA::WriteToMemo(const QString& text) {
  QTextCursor c = mmoLog->textCursor();
  c.movePosition(QTextCursor::End);
  c.insertText(text + QLatin1Char('\n'));
  mmoLog->setTextCursor(c);
  mmoLog->ensureCursorVisible();
}

void TFrameLUA::Send() {
  const QString statement = cmbCommand->currentText().trimmed();
  if (statement.isEmpty() || !btnSend->isEnabled()) return;
  btnSend->setEnabled(false);
  mmoLog->appendPlainText(QString());
  mmoLog->appendPlainText(QStringLiteral("Send: ") + statement);
  mmoLog->appendPlainText(QString());
  if (OnSend) OnSend(statement);
}

// ---- the window ----------------------------------------------------------------------------

TFormStatus::TFormStatus(QWidget* parent) : TFormBasic(parent) {
  setWindowTitle(tr("Gerätestatus"));
  auto* outer = new QVBoxLayout(PanelBack);
  outer->setContentsMargins(4, 4, 4, 4);
  auto* bar = new QToolBar(PanelBack);
  actRefresh = bar->addAction(tr("Aktualisieren"), this, &TFormStatus::refreshView);
  actLog = bar->addAction(tr("Logdatei"), this, &TFormStatus::GetLog);
  actSecureLog = bar->addAction(QStringLiteral("Secure Logfile"), this, &TFormStatus::GetSecureLog);
  actTestCert = bar->addAction(tr("Prüfzertifikat"), this, &TFormStatus::GetTestCert);
  actSecureLog->setEnabled(false);
  outer->addWidget(bar);
  auto* body = new QHBoxLayout;
  auto* menu = new QVBoxLayout;
  FButtons = new QButtonGroup(this);
  FButtons->setExclusive(true);
  for (int tag : CTags) {
    auto* b = new QToolButton(PanelBack);
    b->setText(Caption(tag));
    b->setCheckable(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setMinimumWidth(150);
    b->setStyleSheet(QStringLiteral("QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); }"));
    FButtons->addButton(b, tag);
    menu->addWidget(b);
  }
  menu->addStretch();
  body->addLayout(menu);
  FPages = new QStackedWidget(PanelBack);
  FFrameMain = new TFrameMain;
  FFrameCCCI = new TFrameCCCI;
  FFrameDrives = new TFrameDrives;
  FFrameSystem = new TFrameSystem;
  FFrameModbus = new TFrameModBus;
  FFrameNTP = new TFrameNTP;
  FFramePCAP = new TFramePCAP;
  FFrameLUA = new TFrameLUA;
  for (QWidget* page : {static_cast<QWidget*>(FFrameMain), static_cast<QWidget*>(FFrameCCCI), static_cast<QWidget*>(FFrameDrives),
                        static_cast<QWidget*>(FFrameSystem), static_cast<QWidget*>(FFrameModbus), static_cast<QWidget*>(FFrameNTP)})
    FPages->addWidget(Scrolled(page));
  FPages->addWidget(FFramePCAP);
  FPages->addWidget(FFrameLUA);
  body->addWidget(FPages, 1);
  outer->addLayout(body, 1);
  connect(FButtons, &QButtonGroup::idClicked, this, &TFormStatus::MenuBtnClick);
  FButtons->button(0)->setChecked(true);
  EnableMenu(false);  // until the first values are shown

  FFramePCAP->OnStart = [this](const QString& command) {
    if (!FFlow || !CheckConnection()) return;
    FFlow->StartPCAP(command, [this](bool ok, const QString& out) {
      LogPrepare(this, ok ? tr("PCAP gestartet: %1").arg(out.trimmed()) : QStringLiteral("PCAP: %1").arg(out.trimmed()), true);
      GetPCAPListing();
    });
  };
  FFramePCAP->OnInteract = [this](TPCAPInteractType kind, const QString& name) { PCAPFileInteract(kind, name); };
  FFrameLUA->OnSend = [this](const QString& statement) {
    if (!FFlow || !CheckConnection()) {
      FFrameLUA->btnSend->setEnabled(true);
      return;
    }
    FFlow->RunLua(statement, [this](bool, const QString&) { FFrameLUA->btnSend->setEnabled(true); });
  };
  FAskSaveName = [this](const QString& suggested) {
    return QFileDialog::getSaveFileName(this, QString(), suggested);
  };
  FShowInFileManager = [this](const QString& path) { FOpenUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath())); };
  resize(900, 620);
}

TFormStatus::~TFormStatus() {
  if (FComUnit) {
    // The flow's one-shot bindings point into this window.
    FComUnit->FFlashDone = nullptr;
    FComUnit->FSendCCCIFileNext = nullptr;
    FComUnit->FScratchPadCallBack = nullptr;
    FComUnit->FTmpLUACallBack = nullptr;
  }
}

QWidget* TFormStatus::Page(int tag) const {
  int index = 0;
  for (int t : CTags) {
    if (t == tag) return FPages->widget(index);
    ++index;
  }
  return nullptr;
}

bool TFormStatus::MenuEnabled() const {
  const QList<QAbstractButton*> all = FButtons->buttons();
  return std::all_of(all.begin(), all.end(), [](const QAbstractButton* b) { return b->isEnabled(); });
}

bool TFormStatus::PageButtonVisible(int tag) const { return FButtons->button(tag) && !FButtons->button(tag)->isHidden(); }

void TFormStatus::EnableMenu(bool on) {
  for (QAbstractButton* b : FButtons->buttons()) b->setEnabled(on);
}

void TFormStatus::ConnEst(QObject* Sender, bool connected) {
  TFormBasic::ConnEst(Sender, connected);
  if (!connected || !FComUnit) return;
  if (!FFlow) {
    FFlow = std::make_unique<TStatusFlow>(*FComUnit);
    FFlow->OnLog = [this](const QString& line) { LogPrepare(this, line, false); };
    FFlow->OnStatusFile = [this](const QString& path) { CheckLUAData(path); };
    FFlow->OnFailed = [this](const QString& reason) {
      LogPrepare(this, reason, true);
      RefreshEnded();  // nothing more comes: the pages stay usable with what they show
    };
    // A firmware without `uti.stat` (or a script that failed) leaves no
    // status file: the device refuses the read. That is an answer about the
    // values, not about the connection: the window stays, with its pages,
    // the Lua page, the logs, the captures and the certificate.
    FFlow->OnStatusMissing = [this](const QString& line) {
      LogPrepare(this, line, true);
      // Values shown before stay; an empty overview says why it is empty.
      if (FFrameMain->Rows->Count() == 0)
        FFrameMain->Rows->Add(QStringLiteral("Status"), tr("Das Gerät liefert keine Statuswerte (%1)").arg(line));
      RefreshEnded();
    };
  }
  actSecureLog->setEnabled(FComUnit->FRev.IsAtLeastVer(2, 10, 0));
  if (FComUnit->FDevType == TDevType::devtypOmnivex) {
    // This device type runs no status script: only the Lua page.
    for (QAbstractButton* b : FButtons->buttons()) b->setVisible(FButtons->id(b) == 8);
    actRefresh->setEnabled(false);
    EnableMenu(true);
    MenuBtnClick(8);
    return;
  }
  StartRefresh();
}

void TFormStatus::StartRefresh() {
  EnableMenu(false);
  StartWork(tr("Verbinden"));
  if (!FFlow->Refresh()) RefreshEnded();
}

void TFormStatus::RefreshEnded() {
  EndWork();
  if (FComUnit && FComUnit->IsConnected()) LabSBar->setText(tr("Verbunden"));
  if (QAbstractButton* b = FButtons->button(FLastTag)) b->setChecked(true);
  EnableMenu(true);
}

void TFormStatus::refreshView() {
  if (!FFlow || !FComUnit || FComUnit->FDevType == TDevType::devtypOmnivex || !QFileInfo::exists(FFlow->ScriptFN())) return;
  if (!CheckConnection()) return;
  StartRefresh();
}

void TFormStatus::CheckLUAData(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    LogPrepare(this, QStringLiteral("File not found: ") + path, true);
    RefreshEnded();  // the pages keep what they showed, and stay reachable
    return;
  }
  FValList = ParseStatText(f.readAll());
  PrepareFrames();
  SetActiveFrame(FLastTag);
  RefreshEnded();
}

void TFormStatus::PrepareFrames() {
  FFrameCCCI->ClearForm();
  FFrameSystem->ClearForm();
  FFrameModbus->ClearForm();
  FFrameNTP->ClearForm();
  FRecord = RouteStatus(FValList, FComUnit ? TimeTzFromSet(FComUnit->FtmeSet) : time_tz_t{});
  FFrameMain->SetData(FRecord);
  FFrameDrives->SetData(FRecord);
  FFrameCCCI->SetData(FRecord);
  FFrameSystem->SetSystemData(FRecord.SysLoad, FRecord.Recordings);
  FFrameModbus->SetModbusData(FRecord.Modbus, FRecord.Iec104, FRecord.Iec850);
  FFrameNTP->SetNTPData(FRecord);
}

void TFormStatus::MenuBtnClick(int tag) {
  if (FInClick || !Page(tag)) return;
  FInClick = true;
  FButtons->button(tag)->setChecked(true);
  SetActiveFrame(tag);
  FLastTag = tag;
  if (tag == 7 && FFlow && FComUnit && FComUnit->IsConnected()) GetPCAPListing();
  FInClick = false;
}

void TFormStatus::SetActiveFrame(int tag) {
  QWidget* page = Page(tag);
  if (!page) return;
  FActiveTag = tag;
  QWidget* old = FPages->currentWidget();
  if (old == page || !isVisible()) {
    FPages->setCurrentWidget(page);
    return;
  }
  // The fade runs on a picture of the old page laid over the new one: an
  // opacity effect on the live page would slow and garble its painting.
  auto* cover = new QLabel(FPages);
  cover->setPixmap(old->grab());
  cover->setGeometry(old->geometry());
  FPages->setCurrentWidget(page);
  cover->show();
  cover->raise();
  auto* effect = new QGraphicsOpacityEffect(cover);
  cover->setGraphicsEffect(effect);
  auto* fade = new QPropertyAnimation(effect, "opacity", cover);
  fade->setDuration(150);
  fade->setStartValue(1.0);
  fade->setEndValue(0.0);
  connect(fade, &QPropertyAnimation::finished, cover, &QObject::deleteLater);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void TFormStatus::LogPrepare(QObject* Sender, const QString& text, bool toMemo) {
  TFormBasic::LogPrepare(Sender, text, toMemo);
  if (toMemo && FActiveTag == 8) FFrameLUA->WriteToMemo(text);
}

void TFormStatus::GetLog() {
  if (FFlow && CheckConnection()) FFlow->GetLog();
}

void TFormStatus::GetSecureLog() {
  if (FFlow && CheckConnection()) FFlow->GetSecureLog();
}

void TFormStatus::GetPCAPListing() {
  if (!FFlow) return;
  FFramePCAP->lstCaptures->clear();
  FFlow->GetPCAPListing([this](const QList<TPcapEntry>& list) { FFramePCAP->SetListing(list); });
}

void TFormStatus::PCAPFileInteract(TPCAPInteractType kind, const QString& name) {
  if (!FFlow || !CheckConnection()) return;
  FFlow->PCAPFileInteract(kind, name, [this, kind, name](bool ok, const QString& result) {
    if (!ok) {
      LogPrepare(this, QStringLiteral("PCAP %1: %2").arg(name, result), true);
      return;
    }
    if (kind == TPCAPInteractType::PCAPDownload)
      SaveFetched(result, QStringLiteral("PCAP Saved to "));
    else
      GetPCAPListing();
  });
}

void TFormStatus::GetTestCert() {
  if (!FFlow || !FComUnit || !CheckConnection()) return;
  const QString name = TestCertName(FComUnit->FSN, QString::number(FComUnit->FArtNum));
  FFlow->DownloadTestCert(name, [this](bool ok, const QString& path) {
    if (ok) SaveFetched(path, QStringLiteral("Test Certifacte Saved to "));
  });
}

void TFormStatus::SaveFetched(const QString& local, const QString& savedLog) {
  LogPrepare(this, QStringLiteral("Before Safe"), false);
  QString shown = local;
  if (QFileInfo::exists(local)) {
    const QString target = FAskSaveName ? FAskSaveName(local) : QString();
    if (!target.isEmpty() && QFileInfo(target).absoluteFilePath() != QFileInfo(local).absoluteFilePath()) {
      QFile::remove(target);
      if (QFile::copy(local, target)) {
        LogPrepare(this, savedLog + target, false);
        shown = target;
      } else {
        LogPrepare(this, QStringLiteral("%1 nicht schreibbar").arg(target), true);  // untranslated
      }
    }
  }
  LogPrepare(this, QStringLiteral("After Safe"), false);
  if (FShowInFileManager) FShowInFileManager(shown);
}

}  // namespace vanta
