// The parameter editor's simplified page: its sections, bound controls and conversions.
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
#include <QSettings>
#include <QSignalBlocker>
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
#include "FormParaShared.h"

namespace vanta {

using namespace formpara;

QWidget* TFormPara::BuildEasyPage() {
  FEasyPage = new QTabWidget;
  auto tab = [this](const QString& title) {
    auto* w = new QWidget;
    auto* form = new QFormLayout(w);
    // Values of a few digits: fields at their natural width read better than
    // edits stretched across the window.
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    FEasyPage->addTab(w, title);
    return form;
  };
  auto edit = [](const QString& name) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    return e;
  };
  auto check = [](const QString& name, const QString& text) {
    auto* c = new QCheckBox(text);
    c->setObjectName(name);
    return c;
  };
  const auto id = [](uint32_t v) { return QString::number(v); };

  QFormLayout* net = tab(tr("Netz"));
  {
    // The net form is one choice among its list: one radio button per entry,
    // the ticked one's entry is the value.
    auto* box = new QWidget;
    auto* col = new QVBoxLayout(box);
    col->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
      auto* r = new QRadioButton;
      r->setObjectName(QStringLiteral("rdo_%1_%2").arg(id(0x0E040000)).arg(i));
      col->addWidget(r);
    }
    net->addRow(tr("Netzform"), box);
  }
  net->addRow(tr("Nennfrequenz [Hz]"), edit(QStringLiteral("edt_") + id(0x0D000000)));
  net->addRow(tr("Sekundäre Nennspannung [V]"), edit(QStringLiteral("edt_") + id(0x0D010000)));
  net->addRow(tr("Nennspannung L-L [%]"), edit(QStringLiteral("edt_") + id(0x0D030000)));

  QFormLayout* trafo = tab(tr("Wandler"));
  trafo->addRow(tr("Spannungswandlerfaktor"), edit(QStringLiteral("edt_") + id(0x0E090000)));
  for (int i = 0; i < 4; ++i)
    trafo->addRow(tr("Korrektur U%1").arg(i + 1), edit(QStringLiteral("edt_") + id(0x0E0B0000 + 0x100 * i)));
  trafo->addRow(tr("Stromwandlerfaktor"), edit(QStringLiteral("edt_") + id(0x0E0A0000)));
  for (int i = 0; i < 4; ++i)
    trafo->addRow(tr("Korrektur I%1").arg(i + 1), edit(QStringLiteral("edt_") + id(0x0E0B0400 + 0x100 * i)));
  trafo->addRow(tr("Sekundärspannung [V]"), edit(QStringLiteral("edt_") + id(0x0E0C0000)));
  auto* factors = new QLabel;
  factors->setObjectName(QStringLiteral("lblWandler"));
  factors->setTextInteractionFlags(Qt::TextSelectableByMouse);
  trafo->addRow(tr("Ergebnis"), factors);

  QFormLayout* rec = tab(tr("Rekorder"));
  auto* rate = new QSpinBox;
  rate->setObjectName(QStringLiteral("spn_") + id(0x10040000));
  rate->setRange(0, 1000000);
  rec->addRow(tr("Abtastrate [Hz]"), rate);
  for (int i = 0; i < 3; ++i)
    rec->addRow(tr("Oszilloskop Zeit %1 [ms]").arg(i + 1), edit(QStringLiteral("edt_") + id(0x10000000 + 0x10000 * i)));
  for (int i = 0; i < 3; ++i)
    rec->addRow(tr("Effektivwert Zeit %1 [ms]").arg(i + 1), edit(QStringLiteral("edt_") + id(0x11000000 + 0x10000 * i)));
  for (uint32_t v : {0x10030059u, 0x1003005Au, 0x1003005Du, 0x1003005Eu})
    rec->addRow(QString(), check(QStringLiteral("chk_") + id(v), FCaptions.CaptionOf(v)));

  QFormLayout* trig = tab(QStringLiteral("Trigger"));
  {
    auto* unit = new QWidget;
    auto* row = new QHBoxLayout(unit);
    row->setContentsMargins(0, 0, 0, 0);
    auto* pct = new QRadioButton(tr("% des Nennstroms"));
    pct->setObjectName(QStringLiteral("rbPctOszi"));
    pct->setChecked(true);
    auto* amp = new QRadioButton(QStringLiteral("A"));
    amp->setObjectName(QStringLiteral("rbAmpOszi"));
    row->addWidget(pct);
    row->addWidget(amp);
    row->addStretch(1);
    trig->addRow(tr("Einheit"), unit);
    auto* nenn = new QLineEdit;
    nenn->setObjectName(QStringLiteral("edtNennStrom"));
    nenn->setPlaceholderText(tr("für die Anzeige in A"));
    trig->addRow(tr("Nennstrom [A]"), nenn);
    static const char* const conductors[] = {"I1", "I2", "I3", "IN", "IE"};
    for (int i = 0; i < 5; ++i) {
      auto* label = new QLabel;
      label->setObjectName(QStringLiteral("lblTrig%1").arg(i + 1));
      label->setProperty("baseText", tr("Stromtrigger %1").arg(QLatin1String(conductors[i])));
      trig->addRow(label, edit(QStringLiteral("edt_") + id(0x0F170000 + 0x10000 * i)));
    }
    connect(amp, &QRadioButton::toggled, this, [this] { PageSettingsChanged(); });
    connect(nenn, &QLineEdit::editingFinished, this, [this] { PageSettingsChanged(); });
  }

  QFormLayout* limits = tab(tr("Grenzwerte"));
  for (int i = 0; i < 4; ++i)
    limits->addRow(tr("Grenzwert %1 [%]").arg(i + 1), edit(QStringLiteral("edt_") + id(0x0D140000 + 0x1000 * i)));

  QFormLayout* rcm = tab(QStringLiteral("RCM"));
  rcm->addRow(tr("Bemessungsdifferenzstrom [mA]"), edit(QStringLiteral("edt_") + id(0x14030000)));
  // Empty until the operator enters it: the thresholds are stored in percent
  // of it, and a guessed primary would show amperes nobody measured.
  auto* bad = new QLineEdit;
  bad->setObjectName(QStringLiteral("edtBADPri"));
  bad->setPlaceholderText(tr("für die Anzeige in A"));
  rcm->addRow(tr("Primärwert [A]"), bad);
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("lblRcm%1").arg(i + 1));
    label->setProperty("baseText", tr("Schwelle %1").arg(i + 1));
    rcm->addRow(label, edit(QStringLiteral("edt_") + id(i < 2 ? 0x14040000 + 0x10000 * i : 0x140A0000)));
  }
  connect(bad, &QLineEdit::editingFinished, this, [this] { PageSettingsChanged(); });
  ShowUnits();
  return FEasyPage;
}


// ---- simplified page --------------------------------------------------------------------------

uint8_t TFormPara::FirmwareGeneration() const { return FComUnit ? FComUnit->FRev.Major() : 0; }

void TFormPara::ReadEasyPara() {
  if (!Fxf.Sys()) return;
  LoadPageSettings();
  FFilling = true;
  FSettingsDict.clear();
  for (uint32_t id : HiddenEasyIds()) RegisterRow(id, nullptr);
  BindControls(FEasyPage);
  for (QWidget* f : FTimeFrameList)
    if (f) BindControls(f);
  BindControls(cmbTimeSource);
  if (chkDaylight) BindControls(chkDaylight);
  RegisterRow(0xFE000704, nullptr);
  // The transformer fields the operator typed stay on the page until they
  // are written as a whole; only the network form follows the document.
  if (FWandlerDirty) {
    FWandlerRec.Netzform = ReadWandler(Fxf).Netzform;
    FWandlerRec.CalcOutputs();
  } else {
    FWandlerRec = ReadWandler(Fxf);
  }
  for (auto it = FSettingsDict.cbegin(); it != FSettingsDict.cend(); ++it) ShowEasyValue(it.key());
  FillTransformerInfo();
  ShowTimeZone();
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
  if (qobject_cast<QRadioButton*>(control)) {
    bool ok = false;
    const int entry = control->objectName().section(QLatin1Char('_'), 2, 2).toInt(&ok);
    control->setProperty("paraEntry", ok ? entry : -1);
  }
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
  else if (auto* r = qobject_cast<QRadioButton*>(control))
    connect(r, &QRadioButton::clicked, this, [this, r] { EasyValueChanged(r); });
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
  if (auto* amp = FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbAmpOszi"))) c.AmpOszi = amp->isChecked();
  if (auto* nenn = FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtNennStrom")))
    c.NennStrom = MyStrToFloatDef(nenn->text(), 0.0);
  return c;
}

// The unit every converted field is shown in, in its label: it changes with
// what the operator has entered, and a number must never be read in the wrong one.
void TFormPara::ShowUnits() {
  const TSimplePageContext c = PageContext();
  const QString trig = TriggersInAmpere(c) ? QStringLiteral("A") : QStringLiteral("%");
  const QString rcm = HasRcmPrimary(c) ? QStringLiteral("A") : QStringLiteral("%");
  for (QLabel* l : FEasyPage->findChildren<QLabel*>()) {
    const QString base = l->property("baseText").toString();
    if (base.isEmpty()) continue;
    const QString unit = l->objectName().startsWith(QLatin1String("lblTrig")) ? trig : rcm;
    l->setText(QStringLiteral("%1 [%2]").arg(base, unit));
  }
  // Ampere needs the nominal current; without it the switch would only make
  // the fields refuse input.
  if (auto* amp = FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbAmpOszi"))) {
    const bool canAmp = MyStrToFloatDef(FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtNennStrom"))->text(), 0.0) > 0;
    amp->setEnabled(canAmp || amp->isChecked());
    amp->setToolTip(canAmp ? QString() : tr("Erst den Nennstrom eingeben"));
  }
}

// The page's own inputs (units, primary values) are kept per device, beside
// its sets, so the next session shows the same units.
QString TFormPara::PageSettingsFile() const {
  const QString folder = FComUnit && !FComUnit->FDatadir.isEmpty() ? FComUnit->FDatadir
                         : Fxffn.isEmpty()                           ? QString()
                                                                     : QFileInfo(Fxffn).absolutePath();
  return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("editor-page.ini"));
}

void TFormPara::LoadPageSettings() {
  const QString file = PageSettingsFile();
  if (file == FPageSettingsFile) return;
  FPageSettingsFile = file;
  auto* bad = FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtBADPri"));
  auto* nenn = FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtNennStrom"));
  auto* amp = FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbAmpOszi"));
  auto* pct = FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbPctOszi"));
  QString b, n;
  bool inAmp = false;
  if (!file.isEmpty() && QFileInfo::exists(file)) {
    QSettings ini(file, QSettings::IniFormat);
    b = ini.value(QStringLiteral("rcm/primary")).toString();
    n = ini.value(QStringLiteral("trigger/nominalCurrent")).toString();
    inAmp = ini.value(QStringLiteral("trigger/ampere"), false).toBool();
  }
  const QSignalBlocker b1(amp), b2(pct);
  bad->setText(b);
  nenn->setText(n);
  (inAmp ? amp : pct)->setChecked(true);
  ShowUnits();
}

void TFormPara::PageSettingsChanged() {
  if (FFilling) return;
  ShowUnits();
  if (!FPageSettingsFile.isEmpty()) {
    QSettings ini(FPageSettingsFile, QSettings::IniFormat);
    ini.setValue(QStringLiteral("rcm/primary"), FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtBADPri"))->text().trimmed());
    ini.setValue(QStringLiteral("trigger/nominalCurrent"),
                 FEasyPage->findChild<QLineEdit*>(QStringLiteral("edtNennStrom"))->text().trimmed());
    ini.setValue(QStringLiteral("trigger/ampere"), FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbAmpOszi"))->isChecked());
    ini.sync();
    if (ini.status() != QSettings::NoError)
      LogPrepare(this, QStringLiteral("Seiteneinstellungen nicht gespeichert: %1").arg(FPageSettingsFile), true);  // untranslated
  }
  for (uint32_t v : {0x14040000u, 0x14050000u, 0x140A0000u, 0x0F170000u, 0x0F180000u, 0x0F190000u, 0x0F1A0000u, 0x0F1B0000u})
    ShowEasyValue(v);
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
      w->setToolTip(tr("Nicht in dieser Parametrierung"));
      continue;
    }
    w->setToolTip(QStringLiteral("%1 (%2)").arg(row.RowCap, FCaptions.HexOf(id)));
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      const TSimplePageContext ctx = PageContext();
      if (TWandlerRec page = FWandlerRec; float* f = WandlerField(page, id))
        e->setText(FormatFloat5(double(*f)));
      else
        e->setText(GetSpecialVal(id, row, ctx));
      // What the field showed: leaving it unchanged is no input (a converted
      // value read back would not give the stored one again).
      e->setProperty("shownText", e->text());
      // A field whose conversion lacks its basis takes no input at all.
      if (!CanEnterSpecialVal(id, ctx)) {
        e->setReadOnly(true);
        e->setToolTip(tr("Nicht eingebbar: die Umrechnung braucht einen Wert, der in dieser Parametrierung fehlt (%1)")
                          .arg(FCaptions.HexOf(id)));
      } else {
        e->setReadOnly(false);
      }
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
    } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
      // Ticked when its list entry is the value; a button without an entry is hidden.
      const int entry = r->property("paraEntry").toInt();
      const bool has = entry >= 0 && entry < row.List.size();
      r->setVisible(has);
      if (!has) continue;
      const QString& e = row.List[entry];
      const qsizetype eq = e.indexOf(QLatin1Char('='));
      r->setText(e.mid(eq + 1));
      r->setAutoExclusive(false);
      r->setChecked(e.left(eq) == row.RowVal.toString().trimmed());
      r->setAutoExclusive(true);
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
  if (auto* e = qobject_cast<QLineEdit*>(control); e && e->text() == e->property("shownText").toString()) {
    return;  // nothing typed: Enter or leaving the field stores nothing
  } else if (e && !WandlerField(FWandlerRec, id)) {
    const TSimplePageContext ctx = PageContext();
    const std::optional<QString> stored = SetSpecialVal(e->text(), id, ctx);
    if (!stored) {
      // "Check ME" takes no input at all; otherwise the input was no number.
      if (CanEnterSpecialVal(id, ctx))
        Tell(tr("\"%1\" ist keine Zahl. Der Wert wurde nicht übernommen.").arg(e->text()), TMsgDlgType::mtError);
      ShowEasyValue(id);
      return;
    }
    input = *stored;
  } else if (auto* r = qobject_cast<QRadioButton*>(control)) {
    const int entry = r->property("paraEntry").toInt();
    if (!r->isChecked() || entry < 0 || entry >= it->GR.List.size()) return;
    input = it->GR.List[entry].section(QLatin1Char('='), 0, 0);
  } else if (qobject_cast<QLineEdit*>(control)) {
    // a transformer field, below
  } else if (auto* s = qobject_cast<QSpinBox*>(control))
    input = QString::number(s->value());
  else if (auto* c = qobject_cast<QCheckBox*>(control))
    input = c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
  else if (auto* b = qobject_cast<QComboBox*>(control))
    input = QString::number(b->currentIndex());
  if (float* field = WandlerField(FWandlerRec, id); field && qobject_cast<QLineEdit*>(control)) {
    // A transformer field changes the page's record only: the twelve go into
    // the document together, when they are written as a whole.
    const double v = MyStrToFloatDef(qobject_cast<QLineEdit*>(control)->text(), std::nan(""));
    if (std::isfinite(v) && float(v) != *field) {
      *field = float(v);
      FWandlerDirty = true;
      FWandlerRec.CalcOutputs();
      FillTransformerInfo();
    }
    ShowEasyValue(id);
    return;
  }
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
    conv = [ctx](double v) { return TriggersInAmpere(ctx) ? ctx.NennStrom * v / 100.0 : v; };
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
    const double b = HasRcmPrimary(ctx) ? MyStrToFloatDef(ctx.BadPri, 1.0) : 100.0;
    conv = [b](double v) { return b * v / 100.0; };
  } else if (!(id >= 0x0D140000 && id <= 0x0D143000)) {
    Tell(tr(CRangeText).arg(FCaptions.CaptionOf(id), min, max, def, out));
    ShowEasyValue(id);
    return;
  }
  if (!conv) {  // limits as stored: the limit-value group, or a conversion that lacks its basis
    Tell(tr(CEasyRangeText).arg(min, max, def, out));
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
    Tell(tr(CEasyRangeText).arg(text(lo), text(hi), text(df), text(v)));
  }
  ShowEasyValue(id);
}

namespace {
// Nominal voltages to the hundredth of a volt: the digits below that are the
// float's rounding, not the set's.
QString Volts(double v) { return FormatFloat5(std::round(v * 100.0) / 100.0); }
}  // namespace

void TFormPara::FillTransformerInfo() {
  auto* label = FEasyPage->findChild<QLabel*>(QStringLiteral("lblWandler"));
  if (!label) return;
  const TWandlerRec& w = FWandlerRec;
  QString text = tr("U: %1 / %2 / %3 / %4   I: %5 / %6 / %7 / %8\nNennspannung L-L %9 V")
                     .arg(FormatFloat5(w.WFU1), FormatFloat5(w.WFU2), FormatFloat5(w.WFU3), FormatFloat5(w.WFU4),
                          FormatFloat5(w.WFI1), FormatFloat5(w.WFI2), FormatFloat5(w.WFI3), FormatFloat5(w.WFI4))
                     .arg(Volts(w.NennSpannungLL));
  // A four-wire net also has a voltage against earth worth seeing.
  if (w.Netzform != TNetzForm::nf3L) text += QStringLiteral(", L-E %1 V").arg(Volts(w.NennSpannungLL / std::sqrt(3.0)));
  label->setText(text);
}

bool TFormPara::WriteTransformers() {
  if (!Fxf.Sys() || !FWandlerDirty) return true;
  TWandlerRec page = FWandlerRec;
  page.CalcOutputs();
  QStringList rejected;
  if (!WriteWandler(Fxf, page, [this](const QString& l) { LogPrepare(this, l, false); }, &rejected)) {
    // Nothing was written: the page keeps what the operator typed, the document what it had.
    Tell(tr("Wandlerwerte ungültig, es wurde nichts übernommen:\r\n") + rejected.join(QStringLiteral("\r\n")),
         TMsgDlgType::mtError);
    return false;
  }
  FWandlerDirty = false;
  ReadEasyPara();  // the page shows the set as it is now in the document
  return true;
}


}  // namespace vanta
