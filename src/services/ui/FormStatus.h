#pragma once
// TFormStatus: what the device says about itself, on eight pages chosen with
// a column of toggle buttons. The device gathers the values with the status
// script; two pages are tools (packet captures, free Lua statements).
#include <QGroupBox>
#include <QWidget>
#include <memory>

#include "FormBasic.h"
#include "StatusFlow.h"
#include "StatusModel.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QTreeWidget;

namespace vanta {

// A titled group of read-only name/value rows ("transparentedit" style).
class TStatusRows : public QGroupBox {
  Q_OBJECT
 public:
  explicit TStatusRows(const QString& title, QWidget* parent = nullptr);
  void Clear();
  void Add(const QString& name, const QString& value);
  // "name=value" lines, split at the first '='.
  void AddLines(const QStringList& lines);
  QString ValueOf(const QString& name) const;
  int Count() const;

 private:
  QFormLayout* FLayout;
};

// The shares of a drive as a pie: used, bad, free.
class TArcView : public QWidget {
  Q_OBJECT
 public:
  explicit TArcView(QWidget* parent = nullptr);
  void SetShares(qint64 used, qint64 free, qint64 bad);
  QSize sizeHint() const override { return {90, 90}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  qint64 FUsed = 0, FFree = 0, FBad = 0;
};

class TFrameMain : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameMain(QWidget* parent = nullptr);
  void ClearForm();
  void SetData(const TStatusRecord& r);
  TStatusRows* Rows;
  QLabel* FlashCaption;  // what the bar measures
  QProgressBar* FlashBar;
  QLabel* FlashText;
};

class TFrameCCCI : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameCCCI(QWidget* parent = nullptr);
  void ClearForm();
  void SetData(const TStatusRecord& r);
  TStatusRows *Workers, *Addresses;
};

class TFrameDrives : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameDrives(QWidget* parent = nullptr);
  void ClearForm();
  void SetData(const TStatusRecord& r);
  struct TDriveGroup {
    TStatusRows* Rows;
    QProgressBar* Bar;
    TArcView* Arc;
  };
  TDriveGroup Flash, Ram, Sd;
};

class TFrameSystem : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameSystem(QWidget* parent = nullptr);
  void ClearForm();
  void SetSystemData(const QList<TSysloadRec>& load, const QStringList& recordings);
  TStatusRows *Load, *Recordings;
};

class TFrameModBus : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameModBus(QWidget* parent = nullptr);
  void ClearForm();
  void SetModbusData(const QStringList& modbus, const QStringList& iec104, const QStringList& iec850);
  TStatusRows *Modbus, *Iec104, *Iec850;
};

class TFrameNTP : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameNTP(QWidget* parent = nullptr);
  void ClearForm();
  void SetNTPData(const TStatusRecord& r);
  TStatusRows* Servers[4];
  TStatusRows* Time;
};

class TFramePCAP : public QWidget {
  Q_OBJECT
 public:
  explicit TFramePCAP(QWidget* parent = nullptr);
  // Rebuilds the command from the fields (fills an empty file name).
  QString GenText();
  void SetListing(const QList<TPcapEntry>& list);
  QLineEdit *edtInterface, *edtFileName, *edtCommand, *edtAddress;
  QComboBox *cmbType, *cmbDirection;
  QSpinBox *spnHours, *spnMinutes, *spnSeconds, *spnPackets;
  QListWidget* lstFilters;
  QPushButton *btnAdd, *btnRemove, *btnStart;
  QTreeWidget* lstCaptures;
  std::function<void(const QString& command)> OnStart;
  std::function<void(TPCAPInteractType kind, const QString& name)> OnInteract;
};

class TFrameLUA : public QWidget {
  Q_OBJECT
 public:
  explicit TFrameLUA(QWidget* parent = nullptr);
  // Appends to the end of the memo's last line, then ends the line.
  void WriteToMemo(const QString& text);
  void Send();
  QComboBox* cmbCommand;
  QPushButton* btnSend;
  QPlainTextEdit* mmoLog;
  std::function<void(const QString& statement)> OnSend;
};

class TFormStatus : public TFormBasic {
  Q_OBJECT
 public:
  explicit TFormStatus(QWidget* parent = nullptr);
  ~TFormStatus() override;

  void ConnEst(QObject* Sender, bool connected) override;
  void LogPrepare(QObject* Sender, const QString& text, bool toMemo) override;
  void refreshView();
  void CheckLUAData(const QString& path);
  void MenuBtnClick(int tag);
  int ActivePage() const { return FActiveTag; }
  void GetLog();
  void GetSecureLog();
  void GetPCAPListing();
  void PCAPFileInteract(TPCAPInteractType kind, const QString& name);
  void GetTestCert();
  bool MenuEnabled() const;
  bool PageButtonVisible(int tag) const;

  // The target for a fetched file (tests answer directly; empty: keep where it is).
  std::function<QString(const QString& suggested)> FAskSaveName;
  // Shows a saved file in the desktop's file manager (tests replace it).
  std::function<void(const QString& path)> FShowInFileManager;

  TValList FValList;
  TStatusRecord FRecord;
  TFrameMain* FFrameMain;
  TFrameCCCI* FFrameCCCI;
  TFrameDrives* FFrameDrives;
  TFrameSystem* FFrameSystem;
  TFrameModBus* FFrameModbus;
  TFrameNTP* FFrameNTP;
  TFramePCAP* FFramePCAP;
  TFrameLUA* FFrameLUA;
  QAction *actRefresh, *actLog, *actSecureLog, *actTestCert;

 private:
  void PrepareFrames();
  void SetActiveFrame(int tag);
  void EnableMenu(bool on);
  void SaveFetched(const QString& local, const QString& savedLog);
  void StartRefresh();
  // A refresh is over, with or without new values: the pages are usable
  // again and the status line tells the connection, not the last step.
  void RefreshEnded();
  QWidget* Page(int tag) const;

  std::unique_ptr<TStatusFlow> FFlow;
  QButtonGroup* FButtons;
  QStackedWidget* FPages;
  int FActiveTag = 0;
  int FLastTag = 0;
  bool FInClick = false;
};

}  // namespace vanta
