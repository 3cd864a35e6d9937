#include "FormPara.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleValidator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Captions.h"

#include "GridRules.h"
#include "MessValSetup.h"
#include "ParaExport.h"

namespace vanta {

namespace {

const QString CCaption = QStringLiteral("Geräte-Parametrierung");
const QString CRangeText = QStringLiteral(
    "Der eingegebene Wert für %1 liegt im ungültigen Bereich.\r\nBitte die Bereichsgrenzen beachten:\r\n"
    "Minimaler Wert: %2\r\nMaximaler Wert: %3\r\nStandard Wert: %4\r\n\r\nDer Parameter wird auf den Wert %5 gesetzt!");
const QString CEasyRangeText = QStringLiteral(
    "Der eingegebene Wert liegt im ungültigen Bereich.\r\nBitte die Bereichsgrenzen beachten:\r\n"
    "Minimaler Wert: %1\r\nMaximaler Wert: %2\r\nStandard Wert: %3\r\n\r\nDer Parameter wird auf den Wert %4 gesetzt!");
const QString CGpsText = QStringLiteral(
    "Die Eingegebenen GPS Koordinaten \"%1\" sind ungültig. Bitte geben Sie diese im Format \"N49.12345678E11.12345678\" "
    "ein.");
const QString CServiceQuestion = QStringLiteral(
    "Achtung: Einstellungen im Servicemodus können u.U. zu Fehlfunktionen im Gerät führen!\r\n\r\nWollen Sie den "
    "Servicemodus wirklich aktivieren?");
const QString COverwrite = QStringLiteral("Die Datei %1 existstiert bereits - soll diese überschrieben werden?");

// Rows of the simplified page that have no control but feed its conversions.
QList<uint32_t> HiddenEasyIds() {
  QList<uint32_t> ids{0x10040000, 0x0D000000, 0x0E0C0000, 0x0D030000, 0x0E090000};
  for (uint32_t id = 0x0E0B0000; id <= 0x0E0B0300; id += 0x100) ids << id;
  ids << 0x0E0A0000;
  for (uint32_t id = 0x0E0B0400; id <= 0x0E0B0700; id += 0x100) ids << id;
  ids << 0x0E040000 << 0x0E0D0000 << 0xFE000306 << 0xFE000307 << 0xFE000308 << 0xFE00030A << 0xFE00030B << 0xFE00030C;
  for (uint32_t id = 0xFE00030D; id <= 0xFE000311; ++id) ids << id;
  ids << 0x14030000 << 0x14010000;
  return ids;
}

QString ParentIdText(const pugi::xml_node& n) { return QString::fromUtf8(n.parent().attribute("id").value()); }

// The id a page control stands for: the decimal after the first "_" of its name.
std::optional<uint32_t> IdOfName(const QString& name) {
  const qsizetype us = name.indexOf(QLatin1Char('_'));
  if (us < 0) return std::nullopt;
  bool ok = false;
  const uint32_t id = name.mid(us + 1).toUInt(&ok);
  return ok ? std::optional<uint32_t>(id) : std::nullopt;
}

// One accepted value as the undo stack keeps it: the document text and the
// change-list entry before and after.
struct TValueState {
  QString Text;
  std::optional<TChangeListRec> Entry;
};

class TValueEdit : public QUndoCommand {
 public:
  TValueEdit(TFormPara* form, pugi::xml_node target, QString key, TValueState before, TValueState after, QString text)
      : QUndoCommand(text), FForm(form), FTarget(target), FKey(std::move(key)), FBefore(std::move(before)),
        FAfter(std::move(after)) {}
  void undo() override { Apply(FBefore); }
  void redo() override {
    if (FFirst) {  // the edit is already in the document
      FFirst = false;
      return;
    }
    Apply(FAfter);
  }
  std::function<void()> Refresh;

 private:
  void Apply(const TValueState& s) {
    const QByteArray bytes = s.Text.toUtf8();
    if (FTarget.first_child())
      FTarget.first_child().set_value(bytes.constData());
    else
      FTarget.append_child(pugi::node_pcdata).set_value(bytes.constData());
    if (s.Entry)
      FForm->Fxf.Changes.insert(FKey, *s.Entry);
    else
      FForm->Fxf.Changes.remove(FKey);
    // The ICD file follows the IED name, also backwards.
    if (FTarget.parent().attribute("id").as_uint() == CIedNameId) FForm->ICDNameChange(s.Text);
    if (Refresh) Refresh();
  }
  TFormPara* FForm;
  pugi::xml_node FTarget;
  QString FKey;
  TValueState FBefore, FAfter;
  bool FFirst = true;
};

pugi::xml_node ValueElement(const pugi::xml_node& item, TGridRowTyp kind) {
  const char* path = kind == TGridRowTyp::grtDatapoint ? "rec" : "value";
  pugi::xml_node n = item.child(path);
  if (!n) n = item.select_node((std::string(".//") + path).c_str()).node();
  return n;
}

}  // namespace

// ---- construction -----------------------------------------------------------------------------

TFormPara::TFormPara(QWidget* parent) : TFormBasic(parent) {
  FFrmCapt = CCaption;
  setWindowTitle(CCaption);
  setObjectName(QStringLiteral("FormPara"));
  QString why;
  if (!LoadInstalledCaptions(FMessClass, &why)) LogPrepare(this, QStringLiteral("Captions: ") + why, true);
  FCaptions = CaptionsFrom(FMessClass);
  FUndo = new QUndoStack(this);
  FParaEinstellungen = {400, 300, 300, 300, 300, 300, 0, 0};
  BuildUi();
  resize(1180, 760);
  ReloadPara = [this] {
    LogPrepare(this, QStringLiteral("Reload Para"), true);
    StartWork(QStringLiteral("Anfordern"));
    GetPara();
  };
}

TFormPara::~TFormPara() {
  // Workers still running finish first; their results have nobody to go to.
  for (QThread* t : {FWorker.data(), FCheckWorker.data()}) {
    if (!t) continue;
    t->disconnect(this);
    t->wait();
    delete t;
  }
}

void TFormPara::BuildUi() {
  auto* outer = new QVBoxLayout(PanelBack);
  outer->setContentsMargins(4, 4, 4, 4);

  auto* bar = new QToolBar(PanelBack);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto add = [&](const QString& text, const QString& tip, auto fn) {
    QAction* a = bar->addAction(text);
    a->setToolTip(tip);
    connect(a, &QAction::triggered, this, fn);
    return a;
  };
  bar->addWidget(new QLabel(QStringLiteral("Ebene "), bar));
  cmbLevel = new QComboBox(bar);
  cmbLevel->addItems({QStringLiteral("Basis"), QStringLiteral("Erweitert"), QStringLiteral("Service")});
  bar->addWidget(cmbLevel);
  connect(cmbLevel, &QComboBox::activated, this, [this](int i) { SetLevel(i); });
  bar->addSeparator();
  actSend = add(QStringLiteral("Senden"), QStringLiteral("Parametrierung an das Gerät senden"), [this] { actSendExecute(); });
  actReload = add(QStringLiteral("Neu lesen"), QStringLiteral("Parametrierung erneut vom Gerät lesen"), [this] {
    if (ReloadPara) ReloadPara();
  });
  bar->addSeparator();
  actImport = add(QStringLiteral("Importieren…"), QStringLiteral("Werte aus einer gespeicherten Datei übernehmen"),
                  [this] { ImportData(FComUnit ? FComUnit->FOwnTemplateFolder : QString()); });
  actReset = add(QStringLiteral("Werkseinstellungen"), QStringLiteral("Alle Werte auf Werkseinstellung setzen"),
                 [this] { ResetToDefault(); });
  bar->addSeparator();
  actExport = add(QStringLiteral("Exportieren…"), QStringLiteral("Vollständige Parametrierung speichern"), [this] { ExportFull(); });
  actExportChanged = add(QStringLiteral("Änderungen exportieren…"), QStringLiteral("Nur geänderte Werte speichern"),
                         [this] { ExportChanged(); });
  ActExportPara = add(QStringLiteral("CSV"), QStringLiteral("Parameterliste als CSV"), [this] { ExportCsv(); });
  actICDLoad = add(QStringLiteral("ICD laden…"), QStringLiteral("IEC 61850 ICD-Datei laden"), [this] { LoadIcd(); });
  actICDSave = add(QStringLiteral("ICD speichern…"), QStringLiteral("IEC 61850 ICD-Datei speichern"), [this] { SaveIcd(); });
  bar->addSeparator();
  actUndo = FUndo->createUndoAction(this, QStringLiteral("Rückgängig"));
  actUndo->setShortcut(QKeySequence::Undo);
  actRedo = FUndo->createRedoAction(this, QStringLiteral("Wiederholen"));
  actRedo->setShortcut(QKeySequence::Redo);
  bar->addAction(actUndo);
  bar->addAction(actRedo);
  actOpen = new QAction(QStringLiteral("Datei öffnen…"), this);
  connect(actOpen, &QAction::triggered, this, [this] {
    const QString f = AskFile(false, QStringLiteral("Parametrierung öffnen"), {}, QStringLiteral("XML (*.xml *.XML)"));
    if (!f.isEmpty()) OpenOffline(f);
  });
  outer->addWidget(bar);

  FTabs = new QTabWidget(PanelBack);
  FStack = new QStackedWidget(FTabs);
  FStack->addWidget(BuildEasyPage());

  FSplit = new QSplitter(Qt::Horizontal, FStack);
  auto* left = new QWidget(FSplit);
  auto* lv = new QVBoxLayout(left);
  lv->setContentsMargins(0, 0, 0, 0);
  edtSearch = new QLineEdit(left);
  edtSearch->setPlaceholderText(QStringLiteral("Suchen: Name oder ID"));
  edtSearch->setClearButtonEnabled(true);
  chkOnlyChanged = new QCheckBox(QStringLiteral("nur geänderte"), left);
  chkOnlyNonDefault = new QCheckBox(QStringLiteral("nur abweichend von Werkseinstellung"), left);
  tvPara = new QTreeWidget(left);
  tvPara->setHeaderHidden(true);
  tvPara->setContextMenuPolicy(Qt::CustomContextMenu);
  lv->addWidget(edtSearch);
  lv->addWidget(chkOnlyChanged);
  lv->addWidget(chkOnlyNonDefault);
  lv->addWidget(tvPara, 1);
  FGrd = new TVantaGrid(FSplit);
  FGrd->setContextMenuPolicy(Qt::NoContextMenu);
  FSplit->addWidget(left);
  FSplit->addWidget(FGrd);
  FSplit->setStretchFactor(1, 1);
  FStack->addWidget(FSplit);
  FTabs->addTab(FStack, QStringLiteral("Parameter"));
  FTabs->addTab(BuildTimePage(), QStringLiteral("Uhrzeit"));
  memLog = new QPlainTextEdit(FTabs);
  memLog->setReadOnly(true);
  memLog->setMaximumBlockCount(5000);
  FTabs->addTab(memLog, QStringLiteral("Protokoll"));
  outer->addWidget(FTabs, 1);

  auto* foot = new QHBoxLayout;
  lblFile = new QLabel(PanelBack);
  lblItems = new QLabel(PanelBack);
  foot->addWidget(lblFile, 1);
  foot->addWidget(lblItems);
  outer->addLayout(foot);

  // Grid wiring.
  FGrd->OnGridRowChange = [this](TVantaGrid*, const pugi::xml_node& node, const QString& val, bool equal, TGridRowTyp t) {
    ChangeCell(node, val, equal, t);
  };
  FGrd->CheckErrorCallBack = [this](const QString& id, const QString& mn, const QString& mx, const QString& df,
                                    const QString& out, const QString& in) { RangeMessage(id, mn, mx, df, out, in); };
  FGrd->MessWatchCB = [this](uint32_t id) { return MessWatch(id); };
  FGrd->ModBusCB = [this](uint32_t id) { return ModBus(id); };
  FGrd->GetStringFromIDCB = [this](const QString& id) { return MeasName(id.toUInt()); };
  FGrd->CopyClip = [this](const QString& caption) {
    if (FVisibility >= 2) QApplication::clipboard()->setText(caption);
  };
  FGrd->InvalidMaskCB = [this](const QString& typed, uint32_t id) {
    if (id == CGpsPositionId) Tell(CGpsText.arg(typed), TMsgDlgType::mtError);
  };
  FGrd->ICDCallBack = [this](const QString& name) { ICDNameChange(name); };
  FGrd->WireguardCB = [this](const QString&) {
    LogPrepare(this, QStringLiteral("Tunnel-Konfiguration gewählt"), true);
  };
  FGrd->RMBDataPointCB = [this](int row) {
    FFillRow = row;
    QMenu menu(this);
    menu.addAction(actFill);
    menu.exec(QCursor::pos());
  };
  actFill = new QAction(QStringLiteral("Wert für alle folgenden übernehmen"), this);
  connect(actFill, &QAction::triggered, this, [this] {
    if (FFillRow >= 0) FGrd->FillColumn(FFillRow);
  });
  actCount = new QAction(QStringLiteral("Aufgezeichnete Werte zählen"), this);
  connect(actCount, &QAction::triggered, this, [this] {
    if (FCountFolder) Tell(QStringLiteral("Items: %1").arg(CountItems(FCountFolder)));
  });

  // Tree wiring.
  connect(tvPara, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    if (FFolderOf.contains(item)) {
      FSelectedFolder = item;
      ShowFolder(FFolderOf.value(item));
    } else {
      item->setExpanded(!item->isExpanded());
    }
  });
  connect(tvPara, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && FFolderOf.contains(item) && item != FSelectedFolder) {
      FSelectedFolder = item;
      ShowFolder(FFolderOf.value(item));
    }
  });
  connect(tvPara, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QTreeWidgetItem* item = tvPara->itemAt(at);
    if (!item || !item->data(0, Qt::UserRole).toBool()) return;  // module folders only
    FCountFolder = FFolderOf.value(item);
    QMenu menu(this);
    menu.addAction(actCount);
    menu.exec(tvPara->viewport()->mapToGlobal(at));
  });
  // A search walks the whole set: it runs once typing pauses.
  auto* searchDelay = new QTimer(this);
  searchDelay->setSingleShot(true);
  searchDelay->setInterval(250);
  connect(searchDelay, &QTimer::timeout, this, [this] { ShowRows(); });
  connect(edtSearch, &QLineEdit::textChanged, searchDelay, qOverload<>(&QTimer::start));
  connect(edtSearch, &QLineEdit::returnPressed, this, [this, searchDelay] {
    searchDelay->stop();
    ShowRows();
  });
  connect(chkOnlyChanged, &QCheckBox::toggled, this, [this] { ShowRows(); });
  connect(chkOnlyNonDefault, &QCheckBox::toggled, this, [this] { ShowRows(); });

  EnableDocumentActions(false);
  actSend->setEnabled(false);
  actReload->setEnabled(false);
  cmbLevel->setCurrentIndex(qBound(0, FVisibility, 2));
  FStack->setCurrentIndex(FVisibility == 0 ? 0 : 1);
}

// The simplified page: controls named "<kind>_<decimal id>" bind themselves.
QWidget* TFormPara::BuildEasyPage() {
  FEasyPage = new QTabWidget;
  auto tab = [this](const QString& title) {
    auto* w = new QWidget;
    auto* form = new QFormLayout(w);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    FEasyPage->addTab(w, title);
    return form;
  };
  auto edit = [](const QString& name) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    return e;
  };
  auto combo = [](const QString& name) {
    auto* c = new QComboBox;
    c->setObjectName(name);
    return c;
  };
  auto check = [](const QString& name, const QString& text) {
    auto* c = new QCheckBox(text);
    c->setObjectName(name);
    return c;
  };
  const auto id = [](uint32_t v) { return QString::number(v); };

  QFormLayout* net = tab(QStringLiteral("Netz"));
  net->addRow(QStringLiteral("Netzform"), combo(QStringLiteral("cmb_") + id(0x0E040000)));
  net->addRow(QStringLiteral("Nennfrequenz [Hz]"), edit(QStringLiteral("edt_") + id(0x0D000000)));
  net->addRow(QStringLiteral("Sekundäre Nennspannung [V]"), edit(QStringLiteral("edt_") + id(0x0D010000)));
  net->addRow(QStringLiteral("Nennspannung L-L [%]"), edit(QStringLiteral("edt_") + id(0x0D030000)));

  QFormLayout* trafo = tab(QStringLiteral("Wandler"));
  trafo->addRow(QStringLiteral("Spannungswandlerfaktor"), edit(QStringLiteral("edt_") + id(0x0E090000)));
  for (int i = 0; i < 4; ++i)
    trafo->addRow(QStringLiteral("Korrektur U%1").arg(i + 1), edit(QStringLiteral("edt_") + id(0x0E0B0000 + 0x100 * i)));
  trafo->addRow(QStringLiteral("Stromwandlerfaktor"), edit(QStringLiteral("edt_") + id(0x0E0A0000)));
  for (int i = 0; i < 4; ++i)
    trafo->addRow(QStringLiteral("Korrektur I%1").arg(i + 1), edit(QStringLiteral("edt_") + id(0x0E0B0400 + 0x100 * i)));
  trafo->addRow(QStringLiteral("Sekundärspannung [V]"), edit(QStringLiteral("edt_") + id(0x0E0C0000)));
  auto* factors = new QLabel;
  factors->setObjectName(QStringLiteral("lblWandler"));
  factors->setTextInteractionFlags(Qt::TextSelectableByMouse);
  trafo->addRow(QStringLiteral("Ergebnis"), factors);

  QFormLayout* rec = tab(QStringLiteral("Rekorder"));
  auto* rate = new QSpinBox;
  rate->setObjectName(QStringLiteral("spn_") + id(0x10040000));
  rate->setRange(0, 1000000);
  rec->addRow(QStringLiteral("Abtastrate [Hz]"), rate);
  for (int i = 0; i < 3; ++i)
    rec->addRow(QStringLiteral("Oszilloskop Zeit %1 [ms]").arg(i + 1), edit(QStringLiteral("edt_") + id(0x10000000 + 0x10000 * i)));
  for (int i = 0; i < 3; ++i)
    rec->addRow(QStringLiteral("Effektivwert Zeit %1 [ms]").arg(i + 1), edit(QStringLiteral("edt_") + id(0x11000000 + 0x10000 * i)));
  for (uint32_t v : {0x10030059u, 0x1003005Au, 0x1003005Du, 0x1003005Eu})
    rec->addRow(QString(), check(QStringLiteral("chk_") + id(v), FCaptions.CaptionOf(v)));

  QFormLayout* rcm = tab(QStringLiteral("RCM"));
  rcm->addRow(QStringLiteral("Bemessungsdifferenzstrom [mA]"), edit(QStringLiteral("edt_") + id(0x14030000)));
  auto* bad = new QLineEdit;
  bad->setObjectName(QStringLiteral("edtBADPri"));
  bad->setText(QStringLiteral("1"));
  rcm->addRow(QStringLiteral("Primärwert"), bad);
  rcm->addRow(QStringLiteral("Schwelle 1 [A]"), edit(QStringLiteral("edt_") + id(0x14040000)));
  rcm->addRow(QStringLiteral("Schwelle 2 [A]"), edit(QStringLiteral("edt_") + id(0x14050000)));
  rcm->addRow(QStringLiteral("Schwelle 3 [A]"), edit(QStringLiteral("edt_") + id(0x140A0000)));
  connect(bad, &QLineEdit::editingFinished, this, [this] {
    for (uint32_t v : {0x14040000u, 0x14050000u, 0x140A0000u}) ShowEasyValue(v);
  });
  return FEasyPage;
}

QWidget* TFormPara::BuildTimePage() {
  auto* page = new QWidget;
  auto* v = new QVBoxLayout(page);
  auto* form = new QFormLayout;
  cmbTimeSource = new QComboBox(page);
  cmbTimeSource->setObjectName(QStringLiteral("cmb_") + QString::number(0x03000001));
  cmbTimeZone = new QComboBox(page);
  form->addRow(QStringLiteral("Zeitquelle"), cmbTimeSource);
  form->addRow(QStringLiteral("Zeitzone"), cmbTimeZone);
  v->addLayout(form);
  FTimeFrames = new QStackedWidget(page);
  for (int i = 0; i < 8; ++i) {
    FTimeFrames->addWidget(new QWidget);  // placeholders, the frame is made on first use
    FTimeFrameList << nullptr;
  }
  v->addWidget(FTimeFrames, 1);
  connect(cmbTimeSource, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (i < 0 || i >= 8) return;
    TimeFrame(i);
    FTimeFrames->setCurrentIndex(i);
  });
  connect(cmbTimeZone, &QComboBox::activated, this, [this](int i) { ApplyTimeZone(i); });
  FTimeZonesList = TimeZoneList(QDate::currentDate().year());
  for (const TTimeZoneSettings& z : FTimeZonesList) cmbTimeZone->addItem(z.Display);
  return page;
}

QWidget* TFormPara::TimeFrame(int index) {
  if (FTimeFrameList[index]) return FTimeFrameList[index];
  static const char* const CNames[] = {"Manuell", "DCF77", "IEEE 1344", "IRIG-B 0..3", "IRIG-B 4..7", "NMEA RMC", "NMEA ZDA", "NTP"};
  auto* frame = new QGroupBox(QString::fromUtf8(CNames[index]));
  auto* form = new QFormLayout(frame);
  if (index == 0) {
    btnSetTime = new QPushButton(QStringLiteral("Gerätezeit auf PC-Zeit setzen"), frame);
    connect(btnSetTime, &QPushButton::clicked, this, [this] { SendTimeToDevice(); });
    form->addRow(QStringLiteral("Uhrzeit"), btnSetTime);
  } else if (index == 7) {
    for (int i = 0; i < 4; ++i) {
      auto* server = new QLineEdit(QStringLiteral("255.255.255.255"), frame);
      server->setObjectName(QStringLiteral("edt_") + QString::number(0x03000002 + i));
      auto* port = new QLineEdit(QStringLiteral("123"), frame);
      port->setObjectName(QStringLiteral("edt_") + QString::number(0x0300000C + i));
      form->addRow(QStringLiteral("NTP-Server %1").arg(i + 1), server);
      form->addRow(QStringLiteral("Port %1").arg(i + 1), port);
    }
  } else {
    auto* note = new QLabel(QStringLiteral("Das Gerät übernimmt die Zeit vom Empfänger am Zeiteingang (%1).")
                                .arg(QString::fromUtf8(CNames[index])),
                            frame);
    note->setWordWrap(true);
    form->addRow(note);
  }
  QWidget* old = FTimeFrames->widget(index);
  FTimeFrames->removeWidget(old);
  old->deleteLater();
  FTimeFrames->insertWidget(index, frame);
  FTimeFrameList[index] = frame;
  if (Fxf.Sys()) {
    const bool was = FFilling;
    FFilling = true;
    BindControls(frame);
    FFilling = was;
  }
  return frame;
}

void TFormPara::EnableDocumentActions(bool on) {
  for (QAction* a : {actExport, actExportChanged, ActExportPara, actImport, actReset, actICDLoad, actICDSave}) a->setEnabled(on);
  if (on && FImportsLocked) {
    actImport->setEnabled(false);
    actReset->setEnabled(false);
  }
  if (on) {
    actExportChanged->setEnabled(FVisibility >= 2);
    actICDLoad->setEnabled(FVisibility >= 1);
    actICDSave->setEnabled(FVisibility >= 1 && QFileInfo::exists(IcdPath()));
  }
}

// ---- connection and reading -------------------------------------------------------------------

void TFormPara::ConnEst(QObject* Sender, bool connected) {
  TFormBasic::ConnEst(Sender, connected);
  const QString first = windowTitle().section(QLatin1Char(' '), 0, 0);
  const QString ip = FComUnit ? FComUnit->FIP : FIP;
  const int port = FComUnit ? FComUnit->FPort : FPort.toInt();
  setWindowTitle(connected ? QStringLiteral("%1 @ %2:%3").arg(first, ip).arg(port)
                           : QStringLiteral("%1 @ %2:%3 - DISCONNECTED").arg(first, ip).arg(port));
  LogPrepare(this, QStringLiteral("Connection Done From Para"), false);
  if (!connected) {
    ConnLost();
    return;
  }
  // A worker owns the document until it is done: the panel stays locked.
  if (Busy()) PanelBack->setEnabled(false);
  actReload->setEnabled(!FOffline);
  if (FFirstStart) {
    FFirstStart = false;
    StartWork(QStringLiteral("Anfordern"));
    GetPara();
  } else {
    actSend->setEnabled(Fxf.Sys() && !OfflineMode && !FOffline && !FUploading);
    FImportsLocked = true;
    actImport->setEnabled(false);
    actReset->setEnabled(false);
  }
}

void TFormPara::ConnLost() {
  actSend->setEnabled(false);
  actReload->setEnabled(false);
  // An upload cut off by the loss has failed; the wait for it ends here.
  if (FUploading) UploadDone(false);
  // The document stays editable offline; what was changed can still be saved.
  if (Fxf.Sys() && !Busy()) PanelBack->setEnabled(true);
}

bool TFormPara::OpenOffline(const QString& fileName) {
  FOffline = true;
  PanelBack->setEnabled(true);
  ParaToTable(fileName);
  return Fxf.Sys();
}

void TFormPara::ParaToTable(const QString& fileName) {
  if (Busy()) {
    // The worker still reads or changes the current set: take the new one after it.
    FPendingFile = fileName;
    return;
  }
  EndWork();
  QString error;
  TParaDocument fresh;
  if (!fresh.LoadFile(fileName, error)) {
    LogPrepare(this, QStringLiteral("XML read error: ") + error, true);
    Tell(QStringLiteral("Die Parametrierung kann nicht gelesen werden:\r\n") + error, TMsgDlgType::mtError);
    return;
  }
  // Everything that points into the old set goes before the set does.
  FSettingsDict.clear();
  FImportsLocked = false;
  FGrd->ClearList();
  FUndo->clear();
  FXnode = {};
  Fxffn = fileName;
  Fxf = std::move(fresh);
  actSend->setEnabled(!OfflineMode && !FOffline && FComUnit && FComUnit->IsConnected() && !FUploading);
  EnableDocumentActions(true);
  lblFile->setText(QDir::toNativeSeparators(fileName));
  ReadXMLPara();
  // The checks start once the set is on screen: they are not worth a slower first picture.
  QTimer::singleShot(0, this, [this, fileName] { CheckInBackground(fileName); });
  LabSBar->setText(QStringLiteral("Parametrierung gelesen"));
}

// The value checks of a large set take longer than drawing it: they run on
// their own copy in a worker, and the log gets them when they are done. A
// damaged set can carry thousands of odd values: the log names the first
// ones and counts the rest.
void TFormPara::CheckInBackground(const QString& fileName) {
  if (FCheckWorker) FCheckWorker->wait();
  auto warnings = std::make_shared<QStringList>();
  FCheckWorker = QThread::create([fileName, warnings] {
    TParaDocument copy;
    QString error;
    if (copy.LoadFile(fileName, error)) *warnings = copy.Warnings();
  });
  connect(FCheckWorker, &QThread::finished, this, [this, warnings, worker = FCheckWorker.data()] {
    worker->deleteLater();
    for (qsizetype i = 0; i < qMin<qsizetype>(warnings->size(), 20); ++i) LogPrepare(this, (*warnings)[i], true);
    if (warnings->size() > 20)
      LogPrepare(this, QStringLiteral("... und %1 weitere Auffälligkeiten").arg(warnings->size() - 20), true);
  });
  FCheckWorker->start();
}

void TFormPara::ReadXMLPara() {
  const pugi::xml_node previous = FXnode;
  tvPara->setUpdatesEnabled(false);
  tvPara->clear();
  FFolderOf.clear();
  FSelectedFolder = nullptr;
  FModulList.clear();
  QTreeWidgetItem* reselect = nullptr;
  if (Fxf.Sys()) {
    const TParaTree tree = WalkParaTree(Fxf.Sys(), FVisibility, FCaptions);
    FModulList = tree.ModuleList;
    std::function<void(QTreeWidgetItem*, const TParaTreeItem&)> add = [&](QTreeWidgetItem* parent, const TParaTreeItem& t) {
      for (const auto& c : t.Children) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvPara);
        item->setText(0, FCaptions.CaptionOf(c->ID));
        item->setToolTip(0, QStringLiteral("%1 (%2)").arg(c->ID).arg(FCaptions.HexOf(c->ID)));
        item->setData(0, Qt::UserRole, c->IsModule);
        if (c->IsModule) {
          QFont f = item->font(0);
          f.setItalic(true);
          item->setFont(0, f);
        }
        FFolderOf.insert(item, c->Node);
        if (c->Node == previous) reselect = item;
        add(item, *c);
      }
    };
      add(nullptr, *tree.Root);
      tvPara->expandToDepth(0);
  }
  tvPara->setUpdatesEnabled(true);
  FGrd->SetVisibility(FVisibility);
  FGrd->HideColumns(FVisibility);
  // The page and the time tab are bound at every level: the time tab is used at all of them.
  ReadEasyPara();
  if (!reselect && tvPara->topLevelItemCount() > 0) reselect = tvPara->topLevelItem(0);
  if (reselect) {
    FSelectedFolder = reselect;
    tvPara->setCurrentItem(reselect);
    ShowFolder(FFolderOf.value(reselect));
  } else {
    FGrd->ClearList();
  }
}

void TFormPara::ShowFolder(const pugi::xml_node& folder) {
  FXnode = folder;
  ShowRows();
}

// The rows of the selected folder, or with a search text the matching rows
// of the whole set; both through the filters.
void TFormPara::ShowRows() {
  FGrd->setUpdatesEnabled(false);
  FGrd->ClearList();
  const QString search = edtSearch->text().trimmed();
  const bool onlyChanged = chkOnlyChanged->isChecked(), onlyNonDefault = chkOnlyNonDefault->isChecked();
  int shown = 0;
  auto consider = [&](const pugi::xml_node& parent, const pugi::xml_node& child) {
    TGridRow r;
    if (!GetGridRow(FVisibility, QString::fromUtf8(parent.attribute("id").value()), child, r, FCaptions, Fxf.Changes)) return;
    if (!search.isEmpty() && !r.RowCap.contains(search, Qt::CaseInsensitive) && !r.IDStr.contains(search) &&
        !FCaptions.HexOf(r.ID).contains(search, Qt::CaseInsensitive))
      return;
    if (onlyChanged && r.Equal) return;
    if (onlyNonDefault) {
      const bool differs = r.RowTyp == TGridRowTyp::grtFloat ? std::fabs(r.RowVal.toDouble() - r.RowDef.toDouble()) > 1e-5
                                                             : r.RowVal.toString() != r.RowDef.toString();
      if (!differs || r.RowTyp == TGridRowTyp::grtProperty) return;
    }
    FGrd->AddRowVal(r);
    ++shown;
  };
  if (search.isEmpty() && !onlyChanged && !onlyNonDefault) {
    if (FXnode)
      for (pugi::xml_node c = FXnode.first_child(); c; c = c.next_sibling()) consider(FXnode, c);
  } else if (Fxf.Sys()) {
    // Filters look through the whole set: what changed is rarely in one folder.
    const pugi::xml_node root = Fxf.Sys();
    std::function<void(const pugi::xml_node&)> walk = [&](const pugi::xml_node& n) {
      for (pugi::xml_node c = n.first_child(); c && shown < 20000; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const char* name = c.name();
        if (!std::strcmp(name, "group") || !std::strcmp(name, "swmodule"))
          walk(c);
        else
          consider(n, c);
      }
    };
    walk(root);
  }
  FGrd->SetRowCnt();
  FGrd->setUpdatesEnabled(true);
  FGrd->setVisible(true);
  if (!FGrd->Rows().empty()) FGrd->setCurrentIndex(FGrd->model()->index(0, 1));
  lblItems->setText(QStringLiteral("%1 Einträge").arg(shown));
}

// ---- accepted values ----------------------------------------------------------------------------

void TFormPara::ChangeCell(const pugi::xml_node& node, const QString& value, bool equal, TGridRowTyp kind) {
  const pugi::xml_node target = ValueElement(node, kind);
  if (!target) return;
  const QString key = ChangeKey(QString::fromUtf8(node.attribute("id").value()), ParentIdText(node));
  TValueState before{GetNodeValue(target), Fxf.Changes.contains(key) ? std::optional(Fxf.Changes.value(key)) : std::nullopt};
  WriteBackValue(node, value, equal, kind, Fxf.Changes);
  TValueState after{GetNodeValue(target), Fxf.Changes.contains(key) ? std::optional(Fxf.Changes.value(key)) : std::nullopt};
  if (before.Text == after.Text && before.Entry == after.Entry) return;
  auto* cmd = new TValueEdit(this, target, key, before, after,
                             QStringLiteral("%1 = %2").arg(FCaptions.CaptionOf(node.attribute("id").as_uint()), value));
  cmd->Refresh = [this] { RefreshAfterWrite(); };
  FUndo->push(cmd);
}

void TFormPara::RefreshAfterWrite() {
  if (FVisibility == 0)
    ReadEasyPara();
  else
    ShowRows();
}

void TFormPara::RangeMessage(const QString& id, const QString& min, const QString& max, const QString& def,
                             const QString& out, const QString&) {
  Tell(CRangeText.arg(FCaptions.CaptionOf(id.toUInt()), min, max, def, out));
  if (FSettingsDict.contains(id.toUInt())) ShowEasyValue(id.toUInt());
}

// ---- level ------------------------------------------------------------------------------------

bool TFormPara::SetLevel(int level) {
  level = qBound(0, level, 2);
  if (level == FVisibility) {
    cmbLevel->setCurrentIndex(level);
    return true;
  }
  if (FVisibility == 0 && Fxf.Sys() && !WriteTransformers()) {
    cmbLevel->setCurrentIndex(FVisibility);
    return false;
  }
  if (level == 2 && !Confirm(CServiceQuestion)) {
    const QSignalBlocker block(cmbLevel);
    cmbLevel->setCurrentIndex(FVisibility);
    return false;
  }
  FVisibility = level;
  if (FComUnit) FComUnit->FVisibility = level;
  {
    const QSignalBlocker block(cmbLevel);
    cmbLevel->setCurrentIndex(level);
  }
  FGrd->SetVisibility(level);
  if (Fxf.Sys()) {
    ReadXMLPara();
    EnableDocumentActions(true);
  } else {
    FGrd->HideColumns(level);
  }
  FStack->setCurrentIndex(level == 0 ? 0 : 1);
  return true;
}

// ---- simplified page --------------------------------------------------------------------------

uint8_t TFormPara::FirmwareGeneration() const { return FComUnit ? FComUnit->FRev.Major() : 0; }

void TFormPara::ReadEasyPara() {
  if (!Fxf.Sys()) return;
  FFilling = true;
  FSettingsDict.clear();
  FWandlerRec = TWandlerRec();
  for (uint32_t id : HiddenEasyIds()) RegisterRow(id, nullptr);
  BindControls(FEasyPage);
  for (QWidget* f : FTimeFrameList)
    if (f) BindControls(f);
  BindControls(cmbTimeSource);
  RegisterRow(0xFE000704, nullptr);
  FWandlerRec = ReadWandler(Fxf);
  for (auto it = FSettingsDict.cbegin(); it != FSettingsDict.cend(); ++it) ShowEasyValue(it.key());
  FillTransformerInfo();
  FFilling = false;
}

void TFormPara::BindControls(QWidget* root) {
  QList<QWidget*> all = root->findChildren<QWidget*>();
  all.prepend(root);
  for (QWidget* w : all) {
    const auto id = IdOfName(w->objectName());
    if (!id) continue;
    Bind(w, RemapSimplePageId(*id, FirmwareGeneration()));
  }
}

void TFormPara::Bind(QWidget* control, uint32_t id) {
  control->setProperty("paraId", id);
  RegisterRow(id, control);
  if (control->property("paraWired").toBool()) return;
  control->setProperty("paraWired", true);
  if (auto* e = qobject_cast<QLineEdit*>(control))
    connect(e, &QLineEdit::editingFinished, this, [this, e] { EasyValueChanged(e); });
  else if (auto* s = qobject_cast<QSpinBox*>(control))
    connect(s, &QSpinBox::editingFinished, this, [this, s] { EasyValueChanged(s); });
  else if (auto* c = qobject_cast<QCheckBox*>(control))
    connect(c, &QCheckBox::toggled, this, [this, c] { EasyValueChanged(c); });
  else if (auto* b = qobject_cast<QComboBox*>(control))
    connect(b, &QComboBox::activated, this, [this, b] { EasyValueChanged(b); });
}

void TFormPara::RegisterRow(uint32_t id, QWidget* control) {
  auto it = FSettingsDict.find(id);
  if (it == FSettingsDict.end()) {
    TSettingsDict entry;
    const pugi::xml_node n = Fxf.FindFirst(id);
    if (n) GetGridRow(2, ParentIdText(n), n, entry.GR, FCaptions, Fxf.Changes);
    it = FSettingsDict.insert(id, entry);
  }
  if (control && !it->ObjLst.contains(control)) it->ObjLst << control;
}

TSimplePageContext TFormPara::PageContext() const {
  TSimplePageContext c;
  auto value = [this](uint32_t id) -> std::optional<QVariant> {
    const auto it = FSettingsDict.constFind(id);
    if (it == FSettingsDict.cend() || !it->GR.Node) return std::nullopt;
    return it->GR.RowVal;
  };
  if (auto v = value(0x10040000)) c.SampleRate = v->toInt();
  if (auto v = value(0x0D000000)) c.NominalFreq = v->toDouble();
  if (auto* bad = FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtBADPri"))) c.BadPri = bad->text();
  return c;
}

void TFormPara::ShowEasyValue(uint32_t id) {
  const auto it = FSettingsDict.constFind(id);
  if (it == FSettingsDict.cend()) return;
  const TGridRow& row = it->GR;
  const bool was = FFilling;
  FFilling = true;
  for (QWidget* w : it->ObjLst) {
    w->setEnabled(row.Node && row.Editable);
    if (!row.Node) {
      w->setToolTip(QStringLiteral("Nicht in dieser Parametrierung"));
      continue;
    }
    w->setToolTip(QStringLiteral("%1 (%2)").arg(row.RowCap, FCaptions.HexOf(id)));
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setText(GetSpecialVal(id, row, PageContext()));
    } else if (auto* s = qobject_cast<QSpinBox*>(w)) {
      s->setRange(row.RowMin.toInt(), row.RowMax.toInt() > row.RowMin.toInt() ? row.RowMax.toInt() : 1000000);
      s->setValue(row.RowVal.toInt());
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
      c->setChecked(row.RowVal.toString().trimmed() == QLatin1String("1"));
    } else if (auto* b = qobject_cast<QComboBox*>(w)) {
      // The page's choosers stand for the item index, as the device counts its lists.
      b->clear();
      for (const QString& entry : row.List) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        b->addItem(entry.mid(eq + 1), entry.left(eq));
      }
      bool number = false;
      const int index = row.RowVal.toString().toInt(&number);
      b->setCurrentIndex(number && index < b->count() ? index : -1);
    }
  }
  FFilling = was;
}

void TFormPara::EasyValueChanged(QWidget* control) {
  if (FFilling || !control) return;
  const uint32_t id = control->property("paraId").toUInt();
  auto it = FSettingsDict.find(id);
  if (it == FSettingsDict.end() || !it->GR.Node) return;
  QString input;
  if (auto* e = qobject_cast<QLineEdit*>(control))
    input = SetSpecialVal(e->text(), id, PageContext());
  else if (auto* s = qobject_cast<QSpinBox*>(control))
    input = QString::number(s->value());
  else if (auto* c = qobject_cast<QCheckBox*>(control))
    input = c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
  else if (auto* b = qobject_cast<QComboBox*>(control))
    input = QString::number(b->currentIndex());
  TGridRow& row = it->GR;
  TCheckErrorCallBack onError = [this, id](const QString&, const QString& mn, const QString& mx, const QString& df,
                                           const QString& out, const QString&) { EasyRangeMessage(id, mn, mx, df, out); };
  const TAcceptResult r = AcceptValue(row, input, onError, [this](const QString& n) { ICDNameChange(n); });
  if (!r.Accepted) return;
  ChangeCell(row.Node, r.Stored, row.Equal, row.RowTyp);
  // Conversions of other fields may depend on this one.
  ReadEasyPara();
}

// The range message in the unit the page shows: the limits go through the
// same conversion as the value.
void TFormPara::EasyRangeMessage(uint32_t id, const QString& min, const QString& max, const QString& def, const QString& out) {
  const TSimplePageContext ctx = PageContext();
  // The conversion into the unit the page shows, or none for ids shown as stored.
  std::function<double(double)> conv;
  bool timeGroup = false;
  if ((id & 0xFFFF) == 0 && id >= 0x0F170000 && id <= 0x0F1B0000) {
    conv = [ctx](double v) { return ctx.AmpOszi ? ctx.NennStrom * v / 100.0 : v; };
  } else if (id == 0x10000000 || id == 0x10010000 || id == 0x10020000) {
    if (ctx.SampleRate && *ctx.SampleRate != 0) conv = [r = double(*ctx.SampleRate)](double v) { return v * 1000.0 / r; };
    timeGroup = true;
  } else if (id == 0x11000000 || id == 0x11010000 || id == 0x11020000) {
    const double f = ctx.NominalFreq ? std::round(*ctx.NominalFreq) : 0.0;
    if (f != 0) conv = [f](double v) { return v / 2.0 / f * 1000.0; };
    timeGroup = true;
  } else if (id == 0x14030000) {
    conv = [](double v) { return v * 1000.0; };
  } else if (id == 0x14040000 || id == 0x14050000 || id == 0x140A0000) {
    const double b = MyStrToFloatDef(ctx.BadPri, 1.0);
    conv = [b](double v) { return b * v / 100.0; };
  } else if (!(id >= 0x0D140000 && id <= 0x0D143000)) {
    Tell(CRangeText.arg(FCaptions.CaptionOf(id), min, max, def, out));
    ShowEasyValue(id);
    return;
  }
  if (!conv) {  // limits as stored: the limit-value group, or a conversion that lacks its basis
    Tell(CEasyRangeText.arg(min, max, def, out));
  } else {
    double lo = conv(MyStrToFloatDef(min, 0)), hi = conv(MyStrToFloatDef(max, 0)), df = conv(MyStrToFloatDef(def, 0)),
           v = conv(MyStrToFloatDef(out, 0));
    // The time groups count whole milliseconds: the lowest allowed one is rounded up, the rest down.
    if (timeGroup) {
      lo = std::ceil(lo);
      hi = std::floor(hi);
      df = std::floor(df);
      v = std::floor(v);
    }
    v = std::clamp(v, std::min(lo, hi), std::max(lo, hi));
    auto text = [timeGroup](double x) { return timeGroup ? QString::number(qint64(x)) : FormatFloat5(x); };
    Tell(CEasyRangeText.arg(text(lo), text(hi), text(df), text(v)));
  }
  ShowEasyValue(id);
}

void TFormPara::FillTransformerInfo() {
  auto* label = FEasyPage->findChild<QLabel*>(QStringLiteral("lblWandler"));
  if (!label) return;
  const TWandlerRec& w = FWandlerRec;
  QString text = QStringLiteral("U: %1 / %2 / %3 / %4   I: %5 / %6 / %7 / %8\nNennspannung L-L %9 V")
                     .arg(FormatFloat5(w.WFU1), FormatFloat5(w.WFU2), FormatFloat5(w.WFU3), FormatFloat5(w.WFU4),
                          FormatFloat5(w.WFI1), FormatFloat5(w.WFI2), FormatFloat5(w.WFI3), FormatFloat5(w.WFI4))
                     .arg(FormatFloat5(w.NennSpannungLL));
  // A four-wire net also has a voltage against earth worth seeing.
  if (w.Netzform != TNetzForm::nf3L) text += QStringLiteral(", L-E %1 V").arg(FormatFloat5(w.NennSpannungLL / std::sqrt(3.0)));
  label->setText(text);
}

bool TFormPara::WriteTransformers() {
  if (FVisibility != 0 || !Fxf.Sys()) return true;
  QStringList corrected;
  const bool ok = WriteWandler(Fxf, ReadWandler(Fxf), [this](const QString& l) { LogPrepare(this, l, false); }, &corrected);
  if (!ok) Tell(QStringLiteral("Wandlerwerte ungültig:\r\n") + corrected.join(QStringLiteral("\r\n")), TMsgDlgType::mtError);
  return ok;
}

// ---- sending ----------------------------------------------------------------------------------

QString TFormPara::DeviceName() const {
  if (FComUnit && !FComUnit->FDevice.isEmpty()) return FComUnit->FDevice;
  return QString::fromUtf8(Fxf.Doc().select_node("//device[@name]").node().attribute("name").value());
}

bool TFormPara::actSendExecute() {
  if (!Fxf.Sys() || !FComUnit) return false;
  if (!WriteTransformers()) return false;
  LogPrepare(this, QStringLiteral("Sending Para"), true);
  CheckAllMandatoryNodes(Fxf.Doc());
  const QString temp = TempParaFileName(Fxffn, FComUnit->FSN);
  QStringList modules = FModulList;
  if (FVisibility >= 1) {
    TFrmParaSelect dlg(this);
    dlg.CreateSelect(DeviceName(), &modules);
    const bool ok = FRunSelect ? FRunSelect(dlg) : dlg.exec() == QDialog::Accepted;
    if (!ok) return false;
  }
  QString comment;
  if (FAskComment) {
    TFrmChangeComment dlg(FUserVer, this);
    const bool ok = FRunComment ? FRunComment(dlg) : dlg.exec() == QDialog::Accepted;
    if (!ok) return false;
    comment = QStringLiteral("%1: %2").arg(dlg.User().isEmpty() ? QStringLiteral("-") : dlg.User(),
                                            dlg.Comment().isEmpty() ? QStringLiteral("(ohne Kommentar)") : dlg.Comment());
  }
  QString error;
  if (!Fxf.SaveFile(Fxffn, error)) {
    Tell(error, TMsgDlgType::mtError);
    return false;
  }
  {
    QSaveFile f(temp);
    if (!f.open(QIODevice::WriteOnly) || f.write(PrunedForSending(Fxf, modules, FCaptions)) < 0 || !f.commit()) {
      Tell(QStringLiteral("Datei kann nicht geschrieben werden: %1 (%2)").arg(temp, f.errorString()), TMsgDlgType::mtError);
      return false;
    }
  }
  LogPrepare(this, QStringLiteral("SaveTo=%1").arg(temp), true);
  if (!comment.isEmpty()) LogPrepare(this, QStringLiteral("Kommentar zur Parametrierung: %1").arg(comment), true);
  FGrd->ClearList();
  // Pruning worked on a copy: the editor still holds the complete document.
  FComUnit->FSendParaDone = [this](QObject*, bool ok) { UploadDone(ok); };
  FUploading = true;
  actSend->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  StartWork(QStringLiteral("Hochladen"));
  SendCommandToCom(ccci::TCcci::SETUP_WR, temp);
  LogPrepare(this, QStringLiteral("SendTo=%1").arg(temp), true);
  // The grid comes back with the next folder the user opens.
  FGrd->ClearList();
  FGrd->hide();
  return true;
}

void TFormPara::UploadDone(bool success) {
  if (!FUploading) return;  // a late or stray report: the upload was already settled
  FUploading = false;
  // Later answers (a clock statement, a setup read) are no upload result.
  if (FComUnit) FComUnit->FSendParaDone = nullptr;
  actSend->setEnabled(FComUnit && FComUnit->IsConnected() && !FOffline && !OfflineMode);
  QApplication::restoreOverrideCursor();
  EndWork();
  LogPrepare(this, QStringLiteral("Para: Upload Done - succ %1").arg(success ? QStringLiteral("true") : QStringLiteral("false")),
             true);
  if (success) {
    Tell(QStringLiteral("Übertragung abgeschlossen"));
    return;
  }
  const QString text = QStringLiteral("ACHTUNG: Parametrierung nicht erfolgreich!");
  Messages << text;
  LogPrepare(this, QStringLiteral("Show Message: ") + text, false);
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Close, this);
  box->setObjectName(QStringLiteral("UploadFailed"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  QPushButton* reload = box->addButton(QStringLiteral("Reload"), QMessageBox::AcceptRole);
  connect(reload, &QPushButton::clicked, this, [this] {
    if (ReloadPara) ReloadPara();
  });
  box->open();
}

// ---- import -----------------------------------------------------------------------------------

void TFormPara::ImportData(const QString& folder) {
  LabSBar->setText(QStringLiteral("Importieren"));
  if (!Fxf.Sys()) return;
  const QString path = AskFile(false, QStringLiteral("Importieren"), folder, QStringLiteral("XML (*.xml *.XML);;Alle (*)"));
  if (path.isEmpty()) return;
  RememberFolder(path);
  ImportFile(path);
}

bool TFormPara::ImportFile(const QString& path) {
  if (!Fxf.Sys() || Busy()) return false;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    Tell(QStringLiteral("Datei kann nicht gelesen werden: %1 (%2)").arg(path, f.errorString()), TMsgDlgType::mtError);
    return false;
  }
  const QByteArray bytes = f.readAll();
  StartWork(QStringLiteral("Importieren"));
  PanelBack->setEnabled(false);
  auto result = std::make_shared<TImportComparison>();
  // The worker reads the document; the window does not touch it meanwhile.
  FWorker = QThread::create([this, bytes, result] { *result = CompareImport(Fxf, bytes, FCaptions); });
  connect(FWorker, &QThread::finished, this, [this, result] {
    WorkerDone();
    EndCompare(*result);
    TakePendingFile();
  });
  FWorker->start();
  return true;
}

void TFormPara::EndCompare(const TImportComparison& result) {
  ++FRunCount;
  LogPrepare(this, QStringLiteral("Log After %1 - %2").arg(result.Candidates.size()).arg(FRunCount), true);
  if (!result.Error.isEmpty()) {
    Tell(QStringLiteral("Importdatei ungültig: ") + result.Error, TMsgDlgType::mtError);
    return;
  }
  FInvalidImportList = result.InvalidImportList;
  if (!FInvalidImportList.isEmpty())
    Tell(QStringLiteral("Die folgenden Einstellungen hatten ungültige Werte und wurden auf ihren Defaultwert "
                        "zurückgesetzt: \r\n\r\n") +
         FInvalidImportList.join(QStringLiteral("\r\n")));
  if (result.Candidates.isEmpty()) {
    Tell(QStringLiteral("Keine geänderten Daten gefunden"));
    return;
  }
  TFrmParaChanged dlg(this);
  dlg.SetText(DeviceName());
  dlg.InsertTV(result.Candidates, {FCaptions.CaptionOf(CNetworkModuleId)}, FCaptions);
  const bool ok = FRunChanged ? FRunChanged(dlg) : dlg.exec() == QDialog::Accepted;
  if (!ok) return;
  for (const QString& line : ApplyImport(Fxf, result, dlg.TickedKeys())) LogPrepare(this, line, false);
  FUndo->clear();
  if (FVisibility == 0)
    ReadEasyPara();
  else
    ShowRows();
}

// ---- reset ------------------------------------------------------------------------------------

void TFormPara::ResetToDefault() {
  if (!Fxf.Sys() || Busy()) return;
  if (!Confirm(QStringLiteral("Alle Parameter außer den Netzwerkeinstellungen werden auf ihre Werkseinstellung gesetzt.\r\n"
                              "Die Werte werden erst beim Senden an das Gerät übertragen.\r\n\r\nFortfahren?")))
    return;
  StartWork(QStringLiteral("Werkseinstellungen"));
  PanelBack->setEnabled(false);
  auto changed = std::make_shared<int>(0);
  FWorker = QThread::create([this, changed] {
    *changed = ResetToDefaults(Fxf, {CNetworkModuleId}, [this](int done, int total) {
      QMetaObject::invokeMethod(this, [this, done, total] {
        LabSBar->setText(QStringLiteral("Werkseinstellungen %1 / %2").arg(done).arg(total));
        ProgressBar1->setMaximum(total);
        ProgressBar1->setValue(done);
      }, Qt::QueuedConnection);
    });
  });
  connect(FWorker, &QThread::finished, this, [this, changed] {
    WorkerDone();
    ProgressBar1->setValue(0);
    LogPrepare(this, QStringLiteral("Reset to default: %1 Werte").arg(*changed), true);
    FUndo->clear();
    if (FVisibility == 0)
      ReadEasyPara();
    else
      ShowRows();
    TakePendingFile();
  });
  FWorker->start();
}

void TFormPara::WorkerDone() {
  FWorker->deleteLater();
  FWorker = nullptr;
  PanelBack->setEnabled(true);
  EndWork();
}

void TFormPara::TakePendingFile() {
  if (FPendingFile.isEmpty()) return;
  const QString file = std::exchange(FPendingFile, QString());
  ParaToTable(file);
}

// ---- clock and time zone ----------------------------------------------------------------------

void TFormPara::SendTimeToDevice() {
  if (btnSetTime) btnSetTime->setEnabled(false);
  const QList<TTimedStatement> statements = ClockStatements(FComUnit ? FComUnit->FRev.Major() : 2, QDateTime::currentDateTime());
  int last = 0;
  for (const TTimedStatement& s : statements) {
    last = qMax(last, s.DelayMs);
    QTimer::singleShot(s.DelayMs, this, [this, lua = s.Lua] {
      LogPrepare(this, QStringLiteral("Uhrzeit: ") + lua, true);
      SendCommandToCom(ccci::TCcci::LUA_COMMAND, lua, true);
    });
  }
  QTimer::singleShot(last + 10, this, [this] {
    if (btnSetTime) btnSetTime->setEnabled(true);
  });
}

void TFormPara::ApplyTimeZone(int index) {
  if (index < 0 || index >= FTimeZonesList.size() || !Fxf.Sys()) return;
  const TTimeZoneSettings& z = FTimeZonesList[index];
  // The device keeps the offset east of UTC in minutes and whether daylight saving applies.
  auto set = [this](uint32_t id, const QString& text) {
    const pugi::xml_node n = Fxf.FindFirst(id);
    if (!n) return;
    TGridRow row;
    if (!GetGridRow(2, ParentIdText(n), n, row, FCaptions, Fxf.Changes)) return;
    const TAcceptResult r = AcceptValue(row, text, {}, {});
    if (r.Accepted) ChangeCell(n, r.Stored, row.Equal, row.RowTyp);
  };
  set(0x03000017, QString::number(-z.Bias));
  set(0x03000018, z.DaylightBias != 0 ? QStringLiteral("1") : QStringLiteral("0"));
  LogPrepare(this, QStringLiteral("Zeitzone: %1").arg(z.Name), true);
  RefreshAfterWrite();
}

// ---- exports ----------------------------------------------------------------------------------

bool TFormPara::ExportFull(QString path) {
  if (!Fxf.Sys()) return false;
  LogPrepare(this, QStringLiteral("Exporting Para"), false);
  CheckAllMandatoryNodes(Fxf.Doc());
  if (!WriteTransformers()) return false;
  if (path.isEmpty()) {
    const QString proposed = FullExportName(FComUnit ? FComUnit->FDevice : DeviceName(), FComUnit ? FComUnit->FPlant : QString(),
                                            FComUnit ? FComUnit->FField : QString(), QDate::currentDate());
    path = AskFile(true, QStringLiteral("Exportieren"), proposed, QStringLiteral("Export Files (*.xml)"));
    if (path.isEmpty()) return false;
  }
  if (QFileInfo::exists(path) && !Confirm(COverwrite.arg(path))) return false;
  QString error;
  if (!Fxf.SaveFile(path, error)) {
    Tell(error, TMsgDlgType::mtError);
    return false;
  }
  RememberFolder(path);
  LogPrepare(this, QStringLiteral("Exporting Para ") + path, true);
  return true;
}

bool TFormPara::ExportChanged(QString path) {
  if (!Fxf.Sys()) return false;
  if (!WriteTransformers()) return false;
  const QByteArray bytes = ChangeExport(Fxf, Fxf.Changes);
  if (bytes.isEmpty() || Fxf.Changes.isEmpty()) {
    Tell(QStringLiteral("Keine Änderungen"));
    return false;
  }
  if (path.isEmpty()) {
    path = AskFile(true, QStringLiteral("Änderungen exportieren"), ChangeExportName(QDateTime::currentDateTime()),
                   QStringLiteral("Export Files (*.xml)"));
    if (path.isEmpty()) return false;
  }
  if (QFileInfo::exists(path) && !Confirm(COverwrite.arg(path))) return false;
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) < 0 || !f.commit()) {
    Tell(QStringLiteral("Datei kann nicht geschrieben werden: %1 (%2)").arg(path, f.errorString()), TMsgDlgType::mtError);
    return false;
  }
  RememberFolder(path);
  LogPrepare(this, QStringLiteral("Exporting Changes ") + path, true);
  return true;
}

bool TFormPara::ExportCsv() {
  if (!Fxf.Sys()) return false;
  if (!WriteTransformers()) return false;
  QStringList entries = ModuleEntries(Fxf, FCaptions);
  TFrmParaSelect dlg(this);
  dlg.CreateCopySelect(&entries);
  const bool ok = FRunSelect ? FRunSelect(dlg) : dlg.exec() == QDialog::Accepted;
  if (!ok) return false;
  QStringList chosen;
  for (const QString& e : entries) chosen << e.section(QLatin1Char('='), 0, 0);
  const QString tmp = FComUnit && !FComUnit->FTmpDir.isEmpty() ? FComUnit->FTmpDir : QDir::tempPath() + QLatin1Char('/');
  const QString path = CsvExportPath(tmp, FComUnit ? FComUnit->FSN : 0);
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(CsvExport(Fxf, FVisibility, FCaptions, chosen)) < 0 || !f.commit()) {
    Tell(QStringLiteral("Datei kann nicht geschrieben werden: %1 (%2)").arg(path, f.errorString()), TMsgDlgType::mtError);
    return false;
  }
  LogPrepare(this, QStringLiteral("CSV ") + path, true);
  if (!FOpenUrl(QUrl::fromLocalFile(path))) LogPrepare(this, QStringLiteral("Datei kann nicht geöffnet werden: ") + path, true);
  return true;
}

// ---- ICD --------------------------------------------------------------------------------------

QString TFormPara::IcdPath() const {
  if (FComUnit && !FComUnit->FICDFile.isEmpty()) return FComUnit->FICDFile;
  return FIcdFile;
}

bool TFormPara::LoadIcd(QString path) {
  if (!Fxf.Sys()) return false;
  if (path.isEmpty()) {
    path = AskFile(false, QStringLiteral("ICD laden"), {}, QStringLiteral("ICD Files (*.icd)"));
    if (path.isEmpty()) return false;
  }
  TIcdInfo info;
  QString error;
  if (!ReadIcd(path, info, error)) {
    LogPrepare(this, QStringLiteral("Error ICD File: ") + error, true);
    Tell(QStringLiteral("Ungülige ICD Datei ") + error, TMsgDlgType::mtError);
    return false;
  }
  const QString target = QFileInfo(Fxffn).absoluteDir().filePath(QFileInfo(path).fileName());
  if (QFileInfo(target).canonicalFilePath() != QFileInfo(path).canonicalFilePath()) {
    // Copied beside the target first: a failed copy leaves the current file as it was.
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    QFile src(path);
    if (!src.copy(part)) {
      LogPrepare(this, QStringLiteral("Error Exporting ICD File %1 %2").arg(path, src.errorString()), true);
      Tell(src.errorString(), TMsgDlgType::mtError);
      return false;
    }
    QFile::remove(target);
    if (!QFile::rename(part, target)) {
      QFile::remove(part);
      LogPrepare(this, QStringLiteral("Error Exporting ICD File %1 %2").arg(path, target), true);
      Tell(QStringLiteral("ICD-Datei kann nicht abgelegt werden: ") + target, TMsgDlgType::mtError);
      return false;
    }
  }
  RememberFolder(path);
  FIcdFile = target;
  if (FComUnit) FComUnit->FICDFile = target;
  const QStringList changed = ApplyIcdToSetup(Fxf, QFileInfo(target).fileName(), info);
  LogPrepare(this, QStringLiteral("ICD geladen: %1 (%2 Werte geändert)").arg(target).arg(changed.size()), true);
  actICDSave->setEnabled(FVisibility >= 1);
  RefreshAfterWrite();
  return true;
}

bool TFormPara::SaveIcd(QString path) {
  const QString icd = IcdPath();
  if (icd.isEmpty() || !QFileInfo::exists(icd)) {
    Tell(QStringLiteral("Keine ICD-Datei vorhanden"));
    return false;
  }
  if (path.isEmpty()) {
    path = AskFile(true, QStringLiteral("ICD speichern"), QFileInfo(icd).fileName(),
                   QStringLiteral("Export Files (*.xml);;ICD Files (*.icd)"), QStringLiteral("ICD Files (*.icd)"));
    if (path.isEmpty()) return false;
  }
  if (QFileInfo::exists(path)) {
    if (!Confirm(COverwrite.arg(path))) return false;
    QFile::remove(path);
  }
  QFile src(icd);
  if (!src.copy(path)) {
    LogPrepare(this, QStringLiteral("Error Exporting ICD File %1 %2").arg(icd, src.errorString()), true);
    Tell(src.errorString(), TMsgDlgType::mtError);
    return false;
  }
  RememberFolder(path);
  return true;
}

void TFormPara::ICDNameChange(const QString& name) {
  const QString icd = IcdPath();
  if (icd.isEmpty()) return;
  QString error;
  if (!RenameIcd(icd, name, error)) LogPrepare(this, QStringLiteral("Error ICD File: ") + error, true);
}

// ---- pickers and counts -----------------------------------------------------------------------

uint32_t TFormPara::MessWatch(uint32_t id) { return Pick(id, false); }
uint32_t TFormPara::ModBus(uint32_t id) { return Pick(id, true); }

// The device's own mapping database when it sent one, else the one installed with us.
uint32_t TFormPara::Pick(uint32_t id, bool modbus) {
  if (FPicker) return FPicker(id, modbus);
  QString db = QDir(FComUnit ? FComUnit->FIniFolder : QString()).filePath(CMappingDB);
  if (!QFileInfo::exists(db)) db = FindDataFile(CMappingDB);
  const bool english = FComUnit && FComUnit->FXMLLang == TXMLLang::xlEnglish;
  return PickMeasurement(this, db, english ? QStringLiteral("lang_en") : QStringLiteral("lang_de"), id, modbus);
}

// Names of measurement ids: the caption tables first, then the mapping
// database's texts (read once), else the hexadecimal id.
QString TFormPara::MeasName(uint32_t id) {
  const TMessRec r = FMessClass.GetMessRec(id);
  if (r.Known) return r.Text;
  if (!FMeasNamesRead) {
    FMeasNamesRead = true;
    QString db = QDir(FComUnit ? FComUnit->FIniFolder : QString()).filePath(CMappingDB);
    if (!QFileInfo::exists(db)) db = FindDataFile(CMappingDB);
    TMappingDb mdb;
    QString error;
    TDictCollection all;
    QList<TDataClass> classes;
    if (!db.isEmpty() && mdb.Open(db, QStringLiteral("lang_de"), error) && mdb.ModbusValues(all, error) &&
        mdb.DataClasses(classes, error)) {
      for (const TDataClass& c : classes) mdb.ClassValues(c.Number, all, error);
      for (const TDictItems& d : all.Items) FMeasNames.insert(d.vantaID, d.text);
    } else if (!error.isEmpty()) {
      LogPrepare(this, QStringLiteral("Messwert-Datenbank: ") + error, true);
    }
  }
  const auto it = FMeasNames.constFind(id);
  return it != FMeasNames.cend() ? *it : TMessClass::HexOf(id);
}

int TFormPara::CountItems(const pugi::xml_node& module) {
  QStringList skip;
  for (pugi::xml_node m = module.child("mandatory"); m; m = m.next_sibling("mandatory")) skip << QString::fromUtf8(m.child_value()).trimmed();
  int count = 0;
  std::function<void(const pugi::xml_node&)> walk = [&](const pugi::xml_node& n) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const QLatin1String name(c.name());
      if (name == QLatin1String("datapoint")) {
        const QString rec = QString::fromUtf8(c.child_value("rec")).trimmed();
        if (rec == QLatin1String("1") || rec.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) ++count;
        walk(c);
      } else if (name == QLatin1String("group") || name == QLatin1String("swmodule")) {
        if (!skip.contains(QString::fromUtf8(c.attribute("id").value()))) walk(c);
      }
    }
  };
  walk(module);
  return count;
}

// ---- messages, questions, files ---------------------------------------------------------------

void TFormPara::Tell(const QString& text, TMsgDlgType type) {
  Messages << text;
  DisplayMessage(text, type, nullptr, mbOK, mbOK);
}

bool TFormPara::Confirm(const QString& question) {
  if (FConfirm) return FConfirm(question);
  return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

QString TFormPara::AskFile(bool save, const QString& title, const QString& proposed, const QString& filter,
                           QString selectedFilter) {
  QString dir = FComUnit ? FComUnit->FOwnTemplateFolder : QString();
  if (FFileDialog) return FFileDialog(save, title, dir, proposed, filter);
  const QString start = proposed.isEmpty() ? dir : QDir(dir).filePath(proposed);
  // The overwrite question is ours (with its own text), not the dialog's.
  return save ? QFileDialog::getSaveFileName(this, title, start, filter, &selectedFilter, QFileDialog::DontConfirmOverwrite)
              : QFileDialog::getOpenFileName(this, title, start, filter, &selectedFilter);
}

// A successful file choice becomes the starting folder of the next dialog.
void TFormPara::RememberFolder(const QString& path) {
  if (FComUnit) FComUnit->FOwnTemplateFolder = QFileInfo(path).absolutePath() + QLatin1Char('/');
}

void TFormPara::LogPrepare(QObject* Sender, const QString& text, bool toMemo) {
  TFormBasic::LogPrepare(Sender, text, toMemo);
  if (memLog)
    memLog->appendPlainText(QStringLiteral("%1  %2").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), text));
}

void TFormPara::PrepareShutdown() {
  FParaEinstellungen.LytWth = FSplit->sizes().value(0, FParaEinstellungen.LytWth);
  int32_t* cols[] = {&FParaEinstellungen.ParaInfo, &FParaEinstellungen.ParaVal, &FParaEinstellungen.ParaDef,
                     &FParaEinstellungen.ParaMin, &FParaEinstellungen.ParaMax};
  for (int i = 0; i < 5; ++i)
    if (FGrd->columnWidth(i) > 0) *cols[i] = FGrd->columnWidth(i);
  TFormBasic::PrepareShutdown();
}

void TFormPara::showEvent(QShowEvent* event) {
  TFormBasic::showEvent(event);
  if (FLayoutApplied) return;
  FLayoutApplied = true;
  // Stored layouts from the host; a fresh installation starts with ours.
  TFrmParaSettings& p = FParaEinstellungen;
  if (p.LytWth <= 0) p = {400, 300, 300, 300, 300, 300, p.SelInfo, p.SelCheck};
  FSplit->setSizes({p.LytWth, qMax(200, width() - p.LytWth)});
  const int32_t cols[] = {p.ParaInfo, p.ParaVal, p.ParaDef, p.ParaMin, p.ParaMax};
  for (int i = 0; i < 5; ++i)
    if (cols[i] > 0) FGrd->setColumnWidth(i, cols[i]);
  const QSignalBlocker block(cmbLevel);
  cmbLevel->setCurrentIndex(qBound(0, FVisibility, 2));
  FStack->setCurrentIndex(FVisibility == 0 ? 0 : 1);
}

void TFormPara::closeEvent(QCloseEvent* event) {
  if (Busy()) FWorker->wait();
  TFormBasic::closeEvent(event);
}

}  // namespace vanta
