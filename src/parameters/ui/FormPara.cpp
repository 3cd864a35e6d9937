// The parameter editor: the window, its grid page, reading, levels, messages.
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
#include "Language.h"

#include "GridRules.h"
#include "MessValSetup.h"
#include "ParaExport.h"
#include "FormParaShared.h"

namespace vanta {

using namespace formpara;

// ---- construction -----------------------------------------------------------------------------

TFormPara::TFormPara(QWidget* parent) : TFormBasic(parent) {
  FFrmCapt = tr(CCaption);
  setWindowTitle(tr(CCaption));
  setObjectName(QStringLiteral("FormPara"));
  QString why;
  if (!LoadInstalledCaptions(FMessClass, &why)) LogPrepare(this, QStringLiteral("Captions: ") + why, true);
  // Parameter names in the program's language (German where the English table lacks one).
  FMessClass.SetLanguage(CurrentLanguage() == QLatin1String("en") ? TMessLang::mlEnglish : TMessLang::mlGerman);
  FCaptions = CaptionsFrom(FMessClass);
  FUndo = new QUndoStack(this);
  FParaEinstellungen = {400, 300, 300, 300, 300, 300, 0, 0};
  BuildUi();
  resize(1180, 760);
  ReloadPara = [this] {
    LogPrepare(this, QStringLiteral("Reload Para"), true);
    StartWork(tr("Anfordern"));
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
  bar->addWidget(new QLabel(tr("Ebene "), bar));
  cmbLevel = new QComboBox(bar);
  cmbLevel->addItems({tr("Basis"), tr("Erweitert"), QStringLiteral("Service")});
  bar->addWidget(cmbLevel);
  connect(cmbLevel, &QComboBox::activated, this, [this](int i) { SetLevel(i); });
  bar->addSeparator();
  actSend = add(tr("Senden"), tr("Parametrierung an das Gerät senden"), [this] { actSendExecute(); });
  actReload = add(tr("Neu lesen"), tr("Parametrierung erneut vom Gerät lesen"), [this] { RequestReload(); });
  bar->addSeparator();
  actImport = add(tr("Importieren…"), tr("Werte aus einer gespeicherten Datei übernehmen"),
                  [this] { ImportData(FComUnit ? FComUnit->FOwnTemplateFolder : QString()); });
  actReset = add(tr("Werkseinstellungen"), tr("Alle Werte auf Werkseinstellung setzen"),
                 [this] { ResetToDefault(); });
  bar->addSeparator();
  actExport = add(tr("Exportieren…"), tr("Vollständige Parametrierung speichern"), [this] { ExportFull(); });
  actExportChanged = add(tr("Änderungen exportieren…"), tr("Nur geänderte Werte speichern"),
                         [this] { ExportChanged(); });
  ActExportPara = add(QStringLiteral("CSV"), tr("Parameterliste als CSV"), [this] { ExportCsv(); });
  actICDLoad = add(tr("ICD laden…"), tr("IEC 61850 ICD-Datei laden"), [this] { LoadIcd(); });
  actICDSave = add(tr("ICD speichern…"), tr("IEC 61850 ICD-Datei speichern"), [this] { SaveIcd(); });
  bar->addSeparator();
  actUndo = FUndo->createUndoAction(this, tr("Rückgängig"));
  actUndo->setShortcut(QKeySequence::Undo);
  actRedo = FUndo->createRedoAction(this, tr("Wiederholen"));
  actRedo->setShortcut(QKeySequence::Redo);
  bar->addAction(actUndo);
  bar->addAction(actRedo);
  actOpen = new QAction(tr("Datei öffnen…"), this);
  connect(actOpen, &QAction::triggered, this, [this] {
    const QString f = AskFile(false, tr("Parametrierung öffnen"), {}, QStringLiteral("XML (*.xml *.XML)"));
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
  edtSearch->setPlaceholderText(tr("Suchen: Name oder ID"));
  edtSearch->setClearButtonEnabled(true);
  chkOnlyChanged = new QCheckBox(tr("nur geänderte"), left);
  chkOnlyNonDefault = new QCheckBox(tr("nur abweichend von Werkseinstellung"), left);
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
  FTabs->addTab(FStack, tr("Parameter"));
  FTabs->addTab(BuildTimePage(), tr("Uhrzeit"));
  memLog = new QPlainTextEdit(FTabs);
  memLog->setReadOnly(true);
  memLog->setMaximumBlockCount(5000);
  FTabs->addTab(memLog, tr("Protokoll"));
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
    if (id == CGpsPositionId) Tell(tr(CGpsText).arg(typed), TMsgDlgType::mtError);
    if (id == CIedNameId) Tell(tr(CIedText).arg(typed), TMsgDlgType::mtError);
  };
  FGrd->ICDCallBack = [this](const QString& name) { ICDNameChange(name); };
  FGrd->WireguardCB = [this](const QString&) {
    LogPrepare(this, QStringLiteral("Tunnel-Konfiguration gewählt"), true);  // untranslated
  };
  FGrd->RMBDataPointCB = [this](int row) {
    FFillRow = row;
    QMenu menu(this);
    menu.addAction(actFill);
    menu.exec(QCursor::pos());
  };
  actFill = new QAction(tr("Wert für alle folgenden übernehmen"), this);
  connect(actFill, &QAction::triggered, this, [this] {
    if (FFillRow >= 0) FGrd->FillColumn(FFillRow);
  });
  actCount = new QAction(tr("Aufgezeichnete Werte zählen"), this);
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
    StartWork(tr("Anfordern"));
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
    Tell(tr("Die Parametrierung kann nicht gelesen werden:\r\n") + error, TMsgDlgType::mtError);
    return;
  }
  // Everything that points into the old set goes before the set does.
  FSettingsDict.clear();
  FWandlerDirty = false;
  FDiscardedState.clear();
  // The set as the device holds it, kept for the copy made before each send.
  {
    QFile f(fileName);
    FDeviceSet = !FOffline && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
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
  LabSBar->setText(tr("Parametrierung gelesen"));
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
      LogPrepare(this, QStringLiteral("... und %1 weitere Auffälligkeiten").arg(warnings->size() - 20), true);  // untranslated
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
  lblItems->setText(tr("%1 Einträge").arg(shown));
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
  Tell(tr(CRangeText).arg(FCaptions.CaptionOf(id.toUInt()), min, max, def, out));
  if (FSettingsDict.contains(id.toUInt())) ShowEasyValue(id.toUInt());
}

// ---- level ------------------------------------------------------------------------------------

bool TFormPara::SetLevel(int level) {
  level = qBound(0, level, 2);
  if (level == FVisibility) {
    cmbLevel->setCurrentIndex(level);
    return true;
  }
  if (Fxf.Sys() && !WriteTransformers()) {
    cmbLevel->setCurrentIndex(FVisibility);
    return false;
  }
  if (level == 2 && !Confirm(tr(CServiceQuestion))) {
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


// ---- messages, questions, files ---------------------------------------------------------------

void TFormPara::Tell(const QString& text, TMsgDlgType type) {
  Messages << text;
  DisplayMessage(text, type, nullptr, mbOK, mbOK);
}

bool TFormPara::Ask(const QString& question, const QString& yes, const QString& no) {
  QMessageBox box(QMessageBox::Question, windowTitle(), question, QMessageBox::NoButton, this);
  box.setObjectName(QStringLiteral("Question"));
  QPushButton* accept = box.addButton(yes, QMessageBox::AcceptRole);
  QPushButton* reject = box.addButton(no, QMessageBox::RejectRole);
  box.setDefaultButton(reject);
  box.setEscapeButton(reject);
  LogPrepare(this, tr("Frage: %1").arg(question), false);
  if (FRunQuestion) return FRunQuestion(box);
  box.exec();
  return box.clickedButton() == accept;
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
  if (!ConfirmDiscard()) {
    event->ignore();
    return;
  }
  if (Busy()) FWorker->wait();
  TFormBasic::closeEvent(event);
}


}  // namespace vanta
