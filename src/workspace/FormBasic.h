#pragma once
// TFormBasic: the base of every window that works on one device. It owns
// the device's protocol client, connects it, checks the connection before
// every command, and turns the client's callbacks into what the user sees:
// status bar, progress, connection label, padlock, message boxes, log lines.
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QUrl>
#include <QStringList>
#include <array>
#include <functional>

#include "ComUnit.h"
#include "Sammler.h"
#include "RsComUnit.h"
#include "TcpComUnit.h"

class QLabel;
class QProgressBar;
class QSlider;
class QMessageBox;

namespace vanta {

// One measurement source as the windows need it.
struct TMGVantaRec {
  uint32_t SrcID = 0;
  QString Short;
  QString Unt;
  int SQLTyp = 0;
  int VantaTyp = 0;
  int ValGrp = 0;
  int Phase = 0;
  uint8_t getVecIdx() const { return uint8_t((SrcID >> 16) & 0xFF); }
  uint8_t getHrmNum() const { return uint8_t((SrcID >> 8) & 0xFF); }
};

class TFormBasic : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFormBasic(QWidget* parent = nullptr);
  ~TFormBasic() override;

  // ---- Set-up by the host, in this order ----
  void SetComUnit(bool isSerial, bool secure, TIpVer ipVersion);
  bool SetTCPCommUnit(const QString& host, int port, bool useFTP, bool connectNow, bool setFolder, bool zip,
                      bool checkXMLVersions, int outPort = 0);
  bool SetSerialComUnit(int comPort, bool connectNow, bool setFolder, bool zip, bool checkXMLVersions, bool withLogin);
  // The same with a device path ("/dev/ttyUSB0", a pseudo-terminal).
  bool SetSerialComUnitPath(const QString& path, bool connectNow, bool setFolder, bool zip, bool checkXMLVersions,
                            bool withLogin);
  // Layouts the host stored earlier.
  void SetSettings(const TFrmParaSettings& para, const TFrmOnOfflineSettings& onOffline);
  // The login for SSH and for the protocol-5 session start.
  void SetSSHLogin(const QString& user, const QString& password) {
    if (FComUnit) FComUnit->SetSSHUserPass(user, password);
  }
  // Local folders the client stores into (data, ini, temporary files).
  void SetFolders(const QString& data, const QString& ini, const QString& tmp);

  // ---- Host callbacks ----
  TWorkCallback FWorkCallback;
  std::function<void(bool open)> FCntDlgBoxes;
  QString FUserVer;
  QWidget* FMainForm = nullptr;
  std::function<void(QObject* Sender, const QString& text)> FOnLogCallBack;
  std::function<bool(uint32_t srcId, TMGVantaRec& rec)> FOnGetMessPtr;
  TProgressCallBack FSetProg;
  TGlobalProgressCallBack FSetGlobalProg;
  TEnableDisableBar FEnableDisableBar;
  TConnectThreadEnd FConnectThreadEnd;
  TChangeLoadText FChangeLoadText;
  std::function<void(bool connected)> FConnestCB;
  TXMLVersionCallback FXMLVersionCallback;
  TGetRCMMeta FGetRCMMeta;
  TSetRCMMeta FSetRCMMeta;
  TVantaSerNumCallBack FOnNewSN;  // the device reported its identity
  TParaSettingsCallback FParaSettingsCallback;            // layouts go back to the host
  TOnOfflineSettingsCallback FOnOfflineSettingsCallback;  // when the window closes

  // ---- State ----
  QString FVerInfo;
  QString FFrmCapt;
  QString FWorkText;  // the status line's text while a work runs
  int FVisibility = 1;
  int FWIP = 0;
  int FWorkCnt = 0;
  bool FStreamRunning = false;
  // A reconnect started by CheckConnection and the commands waiting for it.
  bool FReconnecting = false;
  QElapsedTimer FReconnectStarted;
  int FReconnectWaitMs = 15000;  // a reconnect without a session by then is given up
  // How a local file is shown to the user (the desktop's viewer; tests replace it).
  std::function<bool(const QUrl&)> FOpenUrl = [](const QUrl& u) { return QDesktopServices::openUrl(u); };
  std::vector<std::function<void()>> FAfterReconnect;
  bool FConnSucces = false;
  bool FAuthError = false;
  QString FIP, FPort, FSN;
  TFrmParaSettings FParaEinstellungen;
  TFrmOnOfflineSettings FOnOfflineEinstellungen;
  uint64_t FGesamtCount = 0, FCnt = 0;
  time_tz_t Ftme;
  bool FSecureConnection = false;
  TComUnit* FComUnit = nullptr;
  TTCPComUnit* FTCPComUnit = nullptr;
  TRSComUnit* FRSComUnit = nullptr;
  bool OfflineMode = false;
  std::array<TAlphaColor, 12> ColArr = TColArr;

  // ---- Device actions (each checks the connection first) ----
  bool CheckConnection();
  bool SendWhenConnected(std::function<void()> send);
  void EvtUebClick();
  void EvtClick(const QString& name);
  void EvtClick(const QString& name, uint32_t position);
  void EvtDel(const QString& name);
  void EvtDelAll();
  void RecUebClick();
  void RecClick(const QString& name);
  void RecClick(const QString& name, uint32_t position);
  void RecDel(const QString& name);
  void RecDelAll();
  void GetPara();
  void GetNewDisplayImage();
  void ControlDevice(TBtnControlDevice key);
  void StartStream(TDataObjKind kind);
  void StartStreamWithBinary(TDataObjKind kind);
  void StopStream();

  // Every command of a window goes through here: label and codes from the
  // catalogue, the connection checked first. A lost network link is
  // reconnected and the command sent once the new session is done.
  bool SendCommandToCom(ccci::TCcci c);
  bool SendCommandToCom(ccci::TCcci c, uint32_t id);
  bool SendCommandToCom(ccci::TCcci c, const QString& localFile);
  bool SendCommandToCom(ccci::TCcci c, const QString& txt, bool lua);
  bool SendCommandToCom(ccci::TCcci c, const QString& ccciName, const QString& localFile);
  bool SendCommandToCom(ccci::TCcci c, const QString& txt, uint32_t pos, bool lua);

  bool GetMGVantaPtr(QObject* Sender, uint32_t srcId, TMGVantaRec& rec);
  void SetCapt(const QString& text);
  void PrintImage(QWidget* chart);
  void CopyImgToClip(QWidget* chart);
  void SelectColor(int index);
  void MenuItemResetColsClick();
  QString CheckEmpty(const QString& text) const;
  static QString GetAppVersionStr();

  // Messages (also used by derived windows).
  void DisplayMessage(const QString& text, TMsgDlgType type, TThreadedMessageCallBack cb, TMsgDlgButtons buttons,
                      TMsgDlgBtn defButton);
  void DisplayConnMessage(const QString& text, TMsgDlgType type, TThreadedMessageCallBack& cb, TMsgDlgButtons buttons,
                          TMsgDlgBtn defButton);
  const QStringList& ShownMessages() const { return FShownMessages; }

  // Progress from the transport's work events.
  void ComUnitOnWorkBegin(int64_t total);
  void ComUnitOnWork(int64_t position);
  // Every piece of a transfer, for windows that show more than the bar.
  std::function<void(int64_t position)> FOnTransferProgress;
  void ComUnitOnWorkEnd();
  void SynchStartProgress();
  void SynchSendProgress();
  void SynchStoppProgress();

  // Widgets (names kept for derived windows and tests).
  QProgressBar* AniIndi = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* LabSBar = nullptr;
  QLabel* lblCon = nullptr;
  QLabel* imgSecure = nullptr;
  QWidget* lytTrackZoom = nullptr;
  QSlider* tbZoom = nullptr;
  QLabel* txtZoomPerc = nullptr;
  QWidget* PanelBack = nullptr;

 public:
  // ---- Virtual operations, filled in by derived windows ----
  virtual void ConnEst(QObject* Sender, bool connected);
  virtual void LogPrepare(QObject* Sender, const QString& text, bool toMemo);
  virtual void StartWork(const QString& text);
  virtual void EndWork();
  virtual void StopWork();
  virtual void ClearWork();
  virtual void EndWork(QObject* Sender);
  virtual void ParaToTable(const QString& fileName);
  virtual void EvtOverView(const QStringList& lines);
  virtual void EvtToTable(const QString& fileName);
  virtual void RecOverView(const QStringList& lines);
  virtual void RecToTable(const QString& fileName);
  virtual void AsyncToTable(const QString& fileName);
  virtual void ThreadExceptCallBack(QObject* Sender);
  virtual void UpdateMIColor();
  virtual void UpdateGrid();
  virtual void SetNewDisplayImage(QObject* Sender, TMemoryStream& image);
  virtual void PrepareShutdown();
  virtual void CheckData();
  virtual void NewOnKeyDown(int key);

 public:
  // Why the last network connect failed ("Connection refused"); empty when
  // it did not fail or the link is serial.
  QString ConnectFailure() const { return FTCPComUnit ? FTCPComUnit->FLastConnectError : QString(); }

 protected:
  // Dims the client area at 0.8 opacity while there is no connection.
  void DimPanel(bool dim);
  void closeEvent(QCloseEvent* event) override;
  void ConnEnd();
  void SetLabConText(QObject* Sender, const QString& text);
  void CallBackXML(QObject* Sender, const QString& fileName, int32_t xmlType);
  void LogCallBack(const QString& text);

 private:
  void BuildStatusBar();
  void BindClient();
  void ShowBox(const QString& text, TMsgDlgType type, TThreadedMessageCallBack cb, TMsgDlgButtons buttons,
               TMsgDlgBtn defButton);
  bool FShutdownDone = false;
  bool FShuttingDown = false;
  QStringList FShownMessages;
};

}  // namespace vanta
