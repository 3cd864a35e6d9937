// The parameter editor's workflow: sending, importing, resetting, exports, the ICD file and the pickers.
#include "FormPara.h"


#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
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

#include "GridRules.h"
#include "MessValSetup.h"
#include "ParaExport.h"
#include "FormParaShared.h"
#include "SaveWhole.h"

namespace vanta {

using namespace formpara;

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
  const QList<TPendingChange> preview = ChangePreview(Fxf, modules, FCaptions);
  int leftOut = 0;
  QStringList sentKeys;
  for (const TPendingChange& c : preview) c.Sent ? void(sentKeys << c.Key) : void(++leftOut);
  // At the basic level nobody chose the modules: values in those it leaves
  // out would stay behind without the operator knowing.
  if (FVisibility == 0 && leftOut > 0 &&
      !Ask(tr("%1 geänderte Werte werden auf dieser Ebene nicht übertragen").arg(leftOut),
           tr("Ohne diese Werte senden"), tr("Abbrechen")))
    return false;
  {
    TFrmSendPreview dlg(this);
    dlg.SetChanges(DeviceName(), preview);
    const bool ok = FRunPreview ? FRunPreview(dlg) : dlg.exec() == QDialog::Accepted;
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
  // What the device holds now is kept before it is replaced: a send that
  // turns out wrong can be undone from that file.
  if (FDeviceSet.isEmpty()) {
    // Without the device's set there is nothing to go back to after a wrong send.
    Tell(tr("Die Parametrierung des Geräts liegt nicht vor, es kann keine Sicherung angelegt werden.\r\nBitte neu lesen. Es wurde nichts gesendet."),
         TMsgDlgType::mtError);
    return false;
  }
  {
    const QString folder = !FComUnit->FDatadir.isEmpty() ? FComUnit->FDatadir : QFileInfo(Fxffn).absolutePath();
    const QString backup = SaveSetBackup(folder, FDeviceSet, QDateTime::currentDateTime(), error, CParaBackupsKept);
    if (backup.isEmpty()) {
      Tell(error + tr("\r\nEs wurde nichts gesendet."), TMsgDlgType::mtError);
      return false;
    }
    FLastBackup = backup;
    LogPrepare(this, QStringLiteral("Sicherung der Geräteparametrierung: %1").arg(backup), true);  // untranslated
  }
  if (!Fxf.SaveFile(Fxffn, error)) {
    Tell(error, TMsgDlgType::mtError);
    return false;
  }
  {
    if (QString why; !SaveWhole(temp, PrunedForSending(Fxf, modules, FCaptions), why)) {
      Tell(tr("Datei kann nicht geschrieben werden: %1").arg(why), TMsgDlgType::mtError);
      return false;
    }
  }
  LogPrepare(this, QStringLiteral("SaveTo=%1").arg(temp), true);
  if (!comment.isEmpty()) LogPrepare(this, QStringLiteral("Kommentar zur Parametrierung: %1").arg(comment), true);  // untranslated
  FSentKeys = sentKeys;
  FLeftOut = leftOut;
  FGrd->ClearList();
  // Pruning worked on a copy: the editor still holds the complete document.
  FComUnit->FSendParaDone = [this](QObject*, bool ok) { UploadDone(ok); };
  FUploading = true;
  actSend->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  StartWork(tr("Hochladen"));
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
    // The device has the sent values now: they are no longer unsent, and its
    // set is this document without the values that stayed behind.
    for (const QString& k : std::as_const(FSentKeys)) Fxf.Changes.remove(k);
    FSentKeys.clear();
    {
      TParaDocument device;
      QString error;
      if (device.LoadBytes(Fxf.Bytes(), error)) {
        for (const TChangeListRec& c : std::as_const(Fxf.Changes)) {
          pugi::xml_node n = device.Find(c.ID.toUInt(), c.ParentID.toUInt());
          pugi::xml_node v = n.child(std::strcmp(n.name(), "datapoint") == 0 ? "rec" : "value");
          if (!v) continue;
          const QByteArray text = c.OriVal.toUtf8();
          if (v.first_child())
            v.first_child().set_value(text.constData());
          else
            v.append_child(pugi::node_pcdata).set_value(text.constData());
        }
        FDeviceSet = device.Bytes();
      }
    }
    FUndo->clear();  // undoing now would only change the editor, not the device
    if (FLeftOut == 0) {
      Tell(tr("Übertragung abgeschlossen"));
    } else {
      Tell(tr("Teilweise übertragen: %1 geänderte Werte wurden nicht gesendet und bleiben in der Änderungsliste.")
               .arg(FLeftOut),
           TMsgDlgType::mtWarning);
    }
    FLeftOut = 0;
    return;
  }
  FSentKeys.clear();
  FLeftOut = 0;
  const QString text = tr("ACHTUNG: Parametrierung nicht erfolgreich!");
  Messages << text;
  LogPrepare(this, QStringLiteral("Show Message: ") + text, false);
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Close, this);
  box->setObjectName(QStringLiteral("UploadFailed"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  QPushButton* reload = box->addButton(QStringLiteral("Reload"), QMessageBox::AcceptRole);
  connect(reload, &QPushButton::clicked, this, [this] { RequestReload(); });
  box->open();
}

bool TFormPara::HasUnsentChanges() const { return !Fxf.Changes.isEmpty() || FWandlerDirty; }

QByteArray TFormPara::UnsentState() const {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(Fxf.Bytes());
  if (FWandlerDirty) {
    const TWandlerRec& w = FWandlerRec;
    for (float v : {w.WLFU, w.WLKFU1, w.WLKFU2, w.WLKFU3, w.WLKFU4, w.WLFI, w.WLKFI1, w.WLKFI2, w.WLKFI3, w.WLKFI4,
                    w.SekNennSpannung, w.NormLLSp})
      hash.addData(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v));
  }
  return hash.result();
}

bool TFormPara::ConfirmDiscard() {
  if (!Fxf.Sys() || !HasUnsentChanges()) return true;
  // The answer covers the values there were when asked: when the reload
  // that should follow does not come, a value entered later is asked for again.
  const QByteArray state = UnsentState();
  if (!FDiscardedState.isEmpty() && FDiscardedState == state) return true;
  if (!Ask(tr("Ungesendete Änderungen verwerfen?"), tr("Verwerfen"), tr("Abbrechen")))
    return false;
  FDiscardedState = state;
  return true;
}

void TFormPara::RequestReload() {
  if (!ConfirmDiscard()) return;
  if (ReloadPara) ReloadPara();
}

// ---- import -----------------------------------------------------------------------------------

void TFormPara::ImportData(const QString& folder) {
  LabSBar->setText(tr("Importieren"));
  if (!Fxf.Sys()) return;
  const QString path = AskFile(false, tr("Importieren"), folder, tr("XML (*.xml *.XML);;Alle (*)"));
  if (path.isEmpty()) return;
  RememberFolder(path);
  ImportFile(path);
}

bool TFormPara::ImportFile(const QString& path) {
  if (!Fxf.Sys() || Busy()) return false;
  // Transformer values typed on the page go in first, so the import compares with them.
  if (!WriteTransformers()) return false;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    Tell(tr("Datei kann nicht gelesen werden: %1 (%2)").arg(path, f.errorString()), TMsgDlgType::mtError);
    return false;
  }
  const QByteArray bytes = f.readAll();
  StartWork(tr("Importieren"));
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
    Tell(tr("Importdatei ungültig: ") + result.Error, TMsgDlgType::mtError);
    return;
  }
  FInvalidImportList = result.InvalidImportList;
  if (!FInvalidImportList.isEmpty())
    Tell(tr("Die folgenden Einstellungen hatten ungültige Werte und wurden auf ihren Defaultwert zurückgesetzt: \r\n\r\n") +
         FInvalidImportList.join(QStringLiteral("\r\n")));
  if (result.Candidates.isEmpty()) {
    Tell(tr("Keine geänderten Daten gefunden"));
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
  if (!WriteTransformers()) return;
  if (!Confirm(tr("Alle Parameter außer den Netzwerkeinstellungen werden auf ihre Werkseinstellung gesetzt.\r\nDie Werte werden erst beim Senden an das Gerät übertragen.\r\n\r\nFortfahren?")))
    return;
  StartWork(tr("Werkseinstellungen"));
  PanelBack->setEnabled(false);
  auto changed = std::make_shared<int>(0);
  FWorker = QThread::create([this, changed] {
    *changed = ResetToDefaults(Fxf, {CNetworkModuleId}, [this](int done, int total) {
      QMetaObject::invokeMethod(this, [this, done, total] {
        LabSBar->setText(tr("Werkseinstellungen %1 / %2").arg(done).arg(total));
        ProgressBar1->setMaximum(total);
        ProgressBar1->setValue(done);
      }, Qt::QueuedConnection);
    });
  });
  connect(FWorker, &QThread::finished, this, [this, changed] {
    WorkerDone();
    ProgressBar1->setValue(0);
    LogPrepare(this, QStringLiteral("Reset to default: %1 Werte").arg(*changed), true);  // untranslated
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


// ---- exports ----------------------------------------------------------------------------------

bool TFormPara::ExportFull(QString path) {
  if (!Fxf.Sys()) return false;
  LogPrepare(this, QStringLiteral("Exporting Para"), false);
  CheckAllMandatoryNodes(Fxf.Doc());
  if (!WriteTransformers()) return false;
  if (path.isEmpty()) {
    const QString proposed = FullExportName(FComUnit ? FComUnit->FDevice : DeviceName(), FComUnit ? FComUnit->FPlant : QString(),
                                            FComUnit ? FComUnit->FField : QString(), QDate::currentDate());
    path = AskFile(true, tr("Exportieren"), proposed, QStringLiteral("Export Files (*.xml)"));
    if (path.isEmpty()) return false;
  }
  if (QFileInfo::exists(path) && !Confirm(tr(COverwrite).arg(path))) return false;
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
    Tell(tr("Keine Änderungen"));
    return false;
  }
  if (path.isEmpty()) {
    path = AskFile(true, tr("Änderungen exportieren"), ChangeExportName(QDateTime::currentDateTime()),
                   QStringLiteral("Export Files (*.xml)"));
    if (path.isEmpty()) return false;
  }
  if (QFileInfo::exists(path) && !Confirm(tr(COverwrite).arg(path))) return false;
  if (QString why; !SaveWhole(path, bytes, why)) {
    Tell(tr("Datei kann nicht geschrieben werden: %1").arg(why), TMsgDlgType::mtError);
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
  if (QString why; !SaveWhole(path, CsvExport(Fxf, FVisibility, FCaptions, chosen), why)) {
    Tell(tr("Datei kann nicht geschrieben werden: %1").arg(why), TMsgDlgType::mtError);
    return false;
  }
  LogPrepare(this, QStringLiteral("CSV ") + path, true);
  if (!FOpenUrl(QUrl::fromLocalFile(path))) LogPrepare(this, QStringLiteral("Datei kann nicht geöffnet werden: ") + path, true);  // untranslated
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
    path = AskFile(false, tr("ICD laden"), {}, QStringLiteral("ICD Files (*.icd)"));
    if (path.isEmpty()) return false;
  }
  TIcdInfo info;
  QString error;
  if (!ReadIcd(path, info, error)) {
    LogPrepare(this, QStringLiteral("Error ICD File: ") + error, true);
    Tell(tr("Ungülige ICD Datei ") + error, TMsgDlgType::mtError);
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
      Tell(tr("ICD-Datei kann nicht abgelegt werden: ") + target, TMsgDlgType::mtError);
      return false;
    }
  }
  RememberFolder(path);
  FIcdFile = target;
  if (FComUnit) FComUnit->FICDFile = target;
  const QStringList changed = ApplyIcdToSetup(Fxf, QFileInfo(target).fileName(), info);
  LogPrepare(this, QStringLiteral("ICD geladen: %1 (%2 Werte geändert)").arg(target).arg(changed.size()), true);  // untranslated
  actICDSave->setEnabled(FVisibility >= 1);
  RefreshAfterWrite();
  return true;
}

bool TFormPara::SaveIcd(QString path) {
  const QString icd = IcdPath();
  if (icd.isEmpty() || !QFileInfo::exists(icd)) {
    Tell(tr("Keine ICD-Datei vorhanden"));
    return false;
  }
  if (path.isEmpty()) {
    path = AskFile(true, tr("ICD speichern"), QFileInfo(icd).fileName(),
                   QStringLiteral("Export Files (*.xml);;ICD Files (*.icd)"), QStringLiteral("ICD Files (*.icd)"));
    if (path.isEmpty()) return false;
  }
  if (QFileInfo::exists(path) && !Confirm(tr(COverwrite).arg(path))) return false;
  // Written whole and then put in its place: a failed write leaves an older
  // file of that name as it was.
  QFile src(icd);
  QByteArray bytes;
  QString reason;
  if (src.open(QIODevice::ReadOnly)) bytes = src.readAll();
  if (src.error() != QFileDevice::NoError)
    reason = QStringLiteral("%1: %2").arg(icd, src.errorString());
  else
    SaveWhole(path, bytes, reason);
  if (!reason.isEmpty()) {
    LogPrepare(this, QStringLiteral("Error Exporting ICD File %1").arg(reason), true);
    Tell(tr("ICD-Datei kann nicht gespeichert werden: %1").arg(reason), TMsgDlgType::mtError);
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


}  // namespace vanta
