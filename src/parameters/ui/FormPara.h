#pragma once
// TFormPara: the parameter editor of one device. It reads the setup from the
// device, shows it as a folder tree with the parameter grid (or, at the basic
// level, as the simplified page), and sends the edited document back. The
// rules live in the parameter library; this window draws and wires them.
#include <QHash>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

#include "FormBasic.h"
#include "MappingDb.h"
#include "MessClass.h"
#include "ParaDialogs.h"
#include "ParaHelper.h"
#include "ParaWorkflow.h"
#include "SimplePage.h"
#include "VantaGrid.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QThread;
class QTreeWidget;
class QTreeWidgetItem;
class QUndoStack;

namespace vanta {

// One id of the simplified page: its row and the controls bound to it.
struct TSettingsDict {
  TGridRow GR;
  QList<QWidget*> ObjLst;
};

class TFormPara : public TFormBasic {
  Q_OBJECT
 public:
  explicit TFormPara(QWidget* parent = nullptr);
  ~TFormPara() override;

  // ---- from the device window ----
  void ConnEst(QObject* Sender, bool connected) override;
  void ParaToTable(const QString& fileName) override;
  void LogPrepare(QObject* Sender, const QString& text, bool toMemo) override;
  void PrepareShutdown() override;

  // ---- the workflow, in the order a user meets it ----
  // Opens a setup file without a device (read-only towards the device).
  bool OpenOffline(const QString& fileName);
  void ReadXMLPara();
  void ShowFolder(const pugi::xml_node& folder);
  // Asks before the service level; false when the user declined.
  bool SetLevel(int level);
  int Level() const { return FVisibility; }
  bool actSendExecute();
  void UploadDone(bool success);
  void ImportData(const QString& folder);
  // Compares `path` with the device's set on a worker; the change dialog follows.
  bool ImportFile(const QString& path);
  void ResetToDefault();
  void SendTimeToDevice();
  void ApplyTimeZone(int index);
  bool ExportFull(QString path = {});
  bool ExportChanged(QString path = {});
  bool ExportCsv();
  bool LoadIcd(QString path = {});
  bool SaveIcd(QString path = {});
  void ICDNameChange(const QString& name);
  uint32_t MessWatch(uint32_t id);
  uint32_t ModBus(uint32_t id);
  // "Items: %d": recorded datapoints below a module folder.
  int CountItems(const pugi::xml_node& module);
  // The transformer fields typed on the page go into the document, all twelve
  // or none; false (nothing written) when one of them was rejected.
  bool WriteTransformers();
  // A control of the simplified page was changed by the user.
  void EasyValueChanged(QWidget* control);
  void ReadEasyPara();
  // Values changed here that the device does not have yet (the change list,
  // or transformer values typed on the page).
  bool HasUnsentChanges() const;
  // Asks "Ungesendete Änderungen verwerfen?" when there are such values;
  // true when there are none or the operator lets them go. The answer holds
  // only while the values are the ones it was given for.
  bool ConfirmDiscard();
  // A fingerprint of the set and the transformer fields typed on the page.
  QByteArray UnsentState() const;
  // "Neu lesen" and the reload after a failed upload: asks first.
  void RequestReload();
  // A worker (import comparison, reset) is running.
  bool Busy() const { return FWorker != nullptr; }

  // ---- state ----
  TParaDocument Fxf;
  QString Fxffn;
  pugi::xml_node FXnode;
  QStringList FModulList;
  QStringList FInvalidImportList;
  bool FFirstStart = true;
  int FRunCount = 0;
  QMap<uint32_t, TSettingsDict> FSettingsDict;
  TWandlerRec FWandlerRec;      // the transformer page's values, apart from the document
  bool FWandlerDirty = false;   // the page holds transformer values not yet written
  QList<TTimeZoneSettings> FTimeZonesList;
  TMessClass FMessClass;
  TCaptionSource FCaptions;
  std::function<void()> ReloadPara;
  QStringList Messages;  // every text told to the user, in order

  // ---- the questions the window asks (tests answer them directly) ----
  std::function<QString(bool save, const QString& title, const QString& dir, const QString& proposed,
                        const QString& filter)>
      FFileDialog;
  std::function<bool(const QString& question)> FConfirm;
  std::function<bool(TFrmParaSelect& dlg)> FRunSelect;
  std::function<bool(TFrmParaChanged& dlg)> FRunChanged;
  std::function<bool(TFrmChangeComment& dlg)> FRunComment;
  std::function<bool(TFrmSendPreview& dlg)> FRunPreview;
  // Questions with buttons of their own; true for the first (accepting) button.
  std::function<bool(QMessageBox& box)> FRunQuestion;
  QString FLastBackup;  // the device's set saved before the last send
  QByteArray FDeviceSet;          // the set as the device holds it, as far as this window knows
  std::function<uint32_t(uint32_t id, bool modbus)> FPicker;
  bool FAskComment = true;

  // ---- widgets (names kept for tests) ----
  TVantaGrid* FGrd = nullptr;
  QTreeWidget* tvPara = nullptr;
  QComboBox* cmbLevel = nullptr;
  QStackedWidget* FStack = nullptr;
  QTabWidget* FEasyPage = nullptr;
  QTabWidget* FTabs = nullptr;
  QSplitter* FSplit = nullptr;
  QLineEdit* edtSearch = nullptr;
  QCheckBox* chkOnlyChanged = nullptr;
  QCheckBox* chkOnlyNonDefault = nullptr;
  QLabel* lblFile = nullptr;
  QLabel* lblItems = nullptr;
  QPlainTextEdit* memLog = nullptr;
  QComboBox* cmbTimeSource = nullptr;
  QStackedWidget* FTimeFrames = nullptr;
  QComboBox* cmbTimeZone = nullptr;
  QCheckBox* chkDaylight = nullptr;  // the device's daylight-saving switch
  QPushButton* btnSetTime = nullptr;
  QUndoStack* FUndo = nullptr;
  QAction *actSend = nullptr, *actReload = nullptr, *actImport = nullptr, *actReset = nullptr, *actExport = nullptr,
          *actExportChanged = nullptr, *ActExportPara = nullptr, *actICDLoad = nullptr, *actICDSave = nullptr,
          *actOpen = nullptr, *actUndo = nullptr, *actRedo = nullptr, *actCount = nullptr, *actFill = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildUi();
  QWidget* BuildEasyPage();
  QWidget* BuildTimePage();
  QWidget* TimeFrame(int index);
  // The zone box shows the zone of the device's offset (or the offset itself).
  void ShowTimeZone();
  void BindControls(QWidget* root);
  void Bind(QWidget* control, uint32_t id);
  void RegisterRow(uint32_t id, QWidget* control);
  void ShowEasyValue(uint32_t id);
  void FillTransformerInfo();
  void ChangeCell(const pugi::xml_node& node, const QString& value, bool equal, TGridRowTyp kind);
  void RefreshAfterWrite();
  void ShowRows();
  void RangeMessage(const QString& id, const QString& min, const QString& max, const QString& def, const QString& out,
                    const QString& in);
  void EasyRangeMessage(uint32_t id, const QString& min, const QString& max, const QString& def, const QString& out);
  void Tell(const QString& text, TMsgDlgType type = TMsgDlgType::mtInformation);
  QString AskFile(bool save, const QString& title, const QString& proposed, const QString& filter,
                  QString selectedFilter = {});
  void RememberFolder(const QString& path);
  void WorkerDone();
  void TakePendingFile();
  bool Confirm(const QString& question);
  bool Ask(const QString& question, const QString& yes, const QString& no);
  void EnableDocumentActions(bool on);
  void EndCompare(const TImportComparison& result);
  void ConnLost();
  TSimplePageContext PageContext() const;
  void ShowUnits();
  QString PageSettingsFile() const;
  void LoadPageSettings();
  void PageSettingsChanged();
  uint32_t Pick(uint32_t id, bool modbus);
  QString MeasName(uint32_t id);
  uint8_t FirmwareGeneration() const;
  QString DeviceName() const;
  QString IcdPath() const;

  void CheckInBackground(const QString& fileName);
  QPointer<QThread> FWorker;
  QPointer<QThread> FCheckWorker;
  QString FPageSettingsFile;  // where the page's own inputs were read from
  QHash<QTreeWidgetItem*, pugi::xml_node> FFolderOf;
  QTreeWidgetItem* FSelectedFolder = nullptr;
  pugi::xml_node FCountFolder;
  int FFillRow = -1;
  bool FFilling = false;  // the page is being filled: its change signals are not edits
  bool FOffline = false;
  bool FLayoutApplied = false;
  bool FUploading = false;
  bool FImportsLocked = false;  // a reconnect without a fresh read: no import over an old set
  QString FPendingFile;
  QStringList FSentKeys;          // change keys that go with the running upload
  int FLeftOut = 0;               // changed values the running upload leaves behind
  QByteArray FDiscardedState;     // UnsentState() when the operator let the unsent values go
  QString FIcdFile;
  QList<QWidget*> FTimeFrameList;
  QHash<uint32_t, QString> FMeasNames;
  bool FMeasNamesRead = false;
};

}  // namespace vanta
