#pragma once
// TComUnit: the transport-independent protocol client of one device
// connection. It keeps the list of commands waiting to be sent, sends them one
// at a time (at most one answer is awaited), runs the 100 ms timer that
// resends, times out, polls streams, sends the heartbeat and drives the
// orderly shutdown, and evaluates every received frame.
//
// Everything here runs on the GUI thread. Transports derive from it and supply
// the byte pipe through the virtual operations; the one field a reader thread
// touches, SendQueueActive, is atomic.
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

#include "Ccci.h"
#include "DeviceDefaults.h"
#include "Language.h"
#include "FtpClient.h"
#include "LogFormat.h"
#include "MemoryStream.h"
#include "Pcapng.h"
#include "Sammler.h"
#include "TimeStamps.h"
#include "VantaFW.h"

// Log lines are formatted only when somebody listens: every frame passes
// several of them, and nobody reads them in most runs.
#define LOGF(...)                                        \
  do {                                                   \
    if (FOnLogCallBack) WriteLog(::vanta::F(__VA_ARGS__)); \
  } while (0)
#define LOGFM(memo, ...)                                         \
  do {                                                           \
    if (FOnLogCallBack) WriteLog(::vanta::F(__VA_ARGS__), memo); \
  } while (0)

class QTemporaryDir;

namespace vanta {

enum class TSendCmd : uint8_t { scDefault, scWithTxt, scStream, scFile, scFileResume, scCCCIFile };

struct TSendRec {
  TSendCmd Typ = TSendCmd::scDefault;
  QString Info;
  uint8_t Cmd = 0;
  uint8_t Priv = 0;
  uint16_t ExtCmd = 0;
  uint32_t ID = 0;
  QString txt;
  QString ccciFileName;
  uint32_t Pos = 0;
  bool LUA = false;
};

// One stream record as it arrived, handed to consumers without a copy: the
// data object it belongs to, whether it is a measurement or the binary-input
// record, its time stamp (device UTC) and the bytes after the frame header
// (the object id first). Valid only during the call.
enum class TStreamKind : uint8_t { skMeasurement, skBinary };
struct TStreamRecordView {
  uint32_t ObjId = 0;
  TStreamKind Kind = TStreamKind::skMeasurement;
  tmStamp_t Stamp;
  QByteArrayView Record;
};
using TStreamRecordCB = std::function<void(QObject* Sender, const TStreamRecordView& rec)>;

// Language of the device's text files.
enum class TXMLLang : uint8_t { xlGerman, xlEnglish };

// A device file that could not be stored locally: the device path, the
// local file it was meant for and why (disk full, no permission, a name
// refused, an FTP error, no answer, a refusal).
using TFileFailed = std::function<void(QObject* Sender, const QString& devicePath, const QString& local, const QString& reason)>;

// Writes `data` at `pos` of the file `path` (created when missing): the one
// place downloads reach the disk. Empty on success, else why not. Tests
// replace it to make a disk fill up without mount rights.
using TFileWriter = std::function<QString(const QString& path, qint64 pos, QByteArrayView data)>;
QString WriteAtOffset(const QString& path, qint64 pos, QByteArrayView data);

// Milliseconds since 1970 (UTC). Injectable so the timer rules can be driven
// in tests without waiting.
using TNowFunc = std::function<int64_t()>;

// Texts for people, in the program's language; the German source is also
// what the log keeps (log lines are never translated).
// Shown for NAK codes the client has no own message for.
inline QString GeneralErrorText() { return TTr::tr("Das Gerät hat den Befehl abgelehnt."); }
inline QString TwoConnectionsText() {
  return TTr::tr("Es sind bereits zwei aktive Verbindungen mit dem Gerät hergestellt. Eine weitere Verbindung ist nicht möglich.");
}
inline QString NoAccessText(const QString& user) { return TTr::tr("Der Nutzer %1 hat keinen Zugriff auf diese Funktion").arg(user); }
inline QString ConnectionLostText() { return TTr::tr("Verbindungsabbruch"); }
// Why a link is reset when a frame stopped arriving half-way.
inline constexpr const char* CTransferStalledSource = QT_TRANSLATE_NOOP("TTr", "Übertragung abgebrochen: keine Daten seit 10 s");
inline QString TransferStalledText() { return TTr::tr(CTransferStalledSource); }
// Why a parameter upload is given up when the device stays silent (a log line).
inline const QString CParaUploadSilentText =
    QStringLiteral("Parametrierung: keine Antwort und kein Fortschritt seit 60 s, Übertragung fehlgeschlagen");  // untranslated

class TComUnit : public QObject {
  Q_OBJECT

 public:
  using TLuaReceiver = std::function<void(QObject* Sender, const QString& text)>;
  explicit TComUnit(QObject* parent = nullptr, TNowFunc now = {}, const TDeviceDefaults& defaults = TDeviceDefaults::FromEnvironment());
  ~TComUnit() override;

  // ---- Queueing (six forms) ----
  void SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd);
  void SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& txt, bool LUA);
  void SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, uint32_t ID);
  void SendCommandFile(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& localPath);
  void SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& txt, uint32_t Pos,
                   bool LUA);
  void SendCommandCCCIFile(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& ccciFileName,
                           const QString& localPath);
  // The same six forms with label and codes taken from the catalogue; every
  // caller outside the protocol tables uses these.
  void SendCommand(ccci::TCcci c);
  void SendCommand(ccci::TCcci c, const QString& txt, bool LUA);
  void SendCommand(ccci::TCcci c, uint32_t ID);
  void SendCommandFile(ccci::TCcci c, const QString& localPath);
  void SendCommand(ccci::TCcci c, const QString& txt, uint32_t Pos, bool LUA);
  void SendCommandCCCIFile(ccci::TCcci c, const QString& ccciFileName, const QString& localPath);
  // A Lua statement through the queue (CCC_LUA_COMMAND).
  void SendLua(const QString& statement) { SendCommand(ccci::TCcci::LUA_COMMAND, statement, true); }
  // The same under a label of its own for the log ("WriteLogToVanta").
  void SendLua(const QString& statement, const QString& label) {
    const ccci::TCommandDef& d = ccci::Def(ccci::TCcci::LUA_COMMAND);
    SendCommand(label, d.Cmd, d.Priv, d.ExtCmd, statement, true);
  }

  void SendNxtCommand();
  void OnTimer(QObject* Sender = nullptr);
  void ManualTimer(QObject* Sender = nullptr);
  bool IsTimerActive() const;
  bool CheckTransferTimeout() const;
  int CountSendLst() const { return int(FSendLst.size()); }
  bool Evaluate(TMemoryStream& stream);
  static bool CheckNAK(uint16_t flags) { return ccci::CheckNAK(flags); }
  uint16_t GenHeaderFTPNAK() const { return ccci::GenHeaderFTPNAK(FFTP, FGZ, FTGZ); }
  void NAKerrorCB(QObject* Sender, int AResult);
  void ShutDown(QObject* Sender, TShutDownComplete OnComplete = {});
  void ThreadException(QObject* thread, const QString& message);
  void AfterConDisp(QObject* Sender, int AResult);
  void WriteLog(const QString& text, bool ToMemo = false);

  // ---- Session, identity, rights (handshake) ----
  // Sends the protocol-5 start record directly, past the command list: it
  // neither waits for an answer nor advances the sequence counter.
  void SendStartCommand(uint8_t Method, const QByteArray& user, const QByteArray& secret);
  // Asks the device whether the session user holds `right` (Lua).
  void CheckSSHRight(const QString& right, TProc OnGranted, TProc OnDenied, bool ShowMessage);
  void SetSSHUserPass(const QString& user, const QString& password);
  // The credential handshake: ticket when the user may fetch one, password otherwise.
  void StartCredentialSession();
  tmStamp_t CorrectUTCtoLocal(tmStamp_t ts) const;

  // ---- File services ----
  // Tells the client the device's size of a file before it is requested:
  // the answer completes the local copy only when it reaches that size.
  void ExpectFileSize(const QString& devicePath, uint64_t size) { FExpectedSizes.insert(devicePath, size); }
  // A readout file request is queued or waiting for its answer.
  bool FileRequestPending(const QString& devicePath) const;
  // The folder for temporary files: the one set, or a private one of this
  // client (never the current directory).
  QString TmpDir();
  // The host's data folder the device folders are made in (kept apart from
  // FDatadir, which becomes the device's own folder once its serial number
  // is known).
  QString FDataRoot;
  // The step after the device log line is written: folders, file check,
  // connection done.
  virtual void ConnectionDone();
  virtual void SetDataFolders();
  virtual void CheckFileVersions();

  bool PrepareFTP();
  bool GetFTPFile(const QString& devicePath, const QString& localPath, bool resume, bool flag);
  bool GetFTPFile(const QString& devicePath, QByteArray& content);
  bool SendFTPFiles(const QStringList& localPaths, const QString& remoteFolder);
  void DisconnectFTP();
  // FTP transfers report work begin (size), progress (bytes done) and end.
  void WatchFTPProgress(TWorkMode mode);
  static bool ReadMessDBVersion(const QString& text, uint32_t& version);
  void CheckXMLVersion(const QString& text);
  void GetNewXMLFiles();
  void NewXMLFilesResult(QObject* Sender, int AResult);
  void GetNewXMLFilesFromScratchpad();
  // Tar+gzip of a parameter file with the device's key and ICD files; the
  // path of the .tgz, or empty with `error` set.
  QString TarFile(const QString& path, QString& error);
  // Unpacks a parameter archive into `folder`, sorting the entries by kind.
  bool UnTarFile(const QByteArray& archive, const QString& folder, QString& icd, QString& ecdsa, QString& rsa,
                 QString& xml, QString& error);
  // ---- Lua channel ----
  void LUACommandSSH(const QByteArray& text);
  // The SSH link ended: shell text still held back for its line end is
  // passed on now, before the end is reported.
  void EndShellText();
  void LogLuaText(const QString& text, bool end);
  void EvalLuaCommand(uint16_t ExtCmd, const QByteArray& text);
  void SendLUACBCommand(const QString& text, TLuaReceiver cb);
  // Queues a Lua statement whose whole output goes to `receiver`.
  void RunLua(const QString& statement, TLuaReceiver receiver);

  // Called by the owner's work-progress handler: a transfer made progress.
  void NoteTransferProgress();
  // Anything came from the device (a header, a piece, shell text, FTP data).
  void NoteActivity() { FLastActivity = FNow(); }
  int64_t FLastActivity = 0;
  // A parameter upload is on its way: until the device answers it, any sign
  // of progress keeps it alive, and silence for CParaUploadSilentMs ends it
  // with FSendParaDone(false).
  void ArmParaWatchdog();
  void NoteParaProgress();
  // Reports the upload's result once (to FSendParaDone, when set) and ends the watch.
  void ReportParaDone(bool success);
  // The header context every outgoing frame uses right now.
  ccci::THeaderContext HeaderContext() const;
  int64_t Now() const { return FNow(); }
  void SetClock(TNowFunc now);
  void EnableTimer(bool on);
  const std::deque<TSendRec>& SendList() const { return FSendLst; }

  // ---- Virtual operations the transports implement ----
  virtual void ClearStreamAndBuffer();
  virtual void CreateThread(bool IsSSH);
  virtual void CloseConnection(bool notify);
  virtual void WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status);
  virtual void ReadData(TMemoryStream& frame);
  virtual bool SendCommandStream(const QByteArray& frame, bool IsLua);
  virtual void ReConnect();
  virtual bool IsConnected() const;
  virtual void DoDisconnect(bool notify);
  virtual void StreamErrorsSearch();
  // An evaluation failed: the reader drops what it has received.
  virtual void DiscardPartialFrame() {}
  // The answer of the file request in flight may be written to `path` from
  // `pos` as it arrives, by the reader (empty path: none). Transports
  // without a reader of their own ignore it and store the whole answer.
  virtual void ArmFileSink(const QString&, qint64) {}
  // The transport still holds the beginning of a frame it has not handed over.
  virtual bool PartialFrameHeld() const { return false; }

  // ---- Fields ----
  TCCCISratchpad FCCCISratchpad = TCCCISratchpad::spNone;
  std::function<void(const QString& text, bool last)> FCCCISratchpadProc;
  QStringList FScratchpadFleLst;
  QTimer* FTimer = nullptr;
  bool FFTP = false;
  bool FNAK = false;
  bool FGZ = true;
  bool FTGZ = false;
  bool FSetFolders = false;
  time_set_t FtmeSet;
  // FtmeSet holds the settings of the identified device (not the defaults).
  bool FTimeSetKnown = false;
  uint32_t FConTime = 0;
  QString FLocalIP;
  QString FProgUser;
  QString FIP;
  uint16_t FPort = ccci::CDefaultPort;
  ccci::ccc_head_t FHead;
  uint16_t FVer = 5;
  uint32_t FSN = 0;
  uint32_t FArtNum = 0;
  QString FFileName;
  TVantaSerNumCallBack FOnComNewSNCallBack;
  TSetLabConText FOnConCallack;
  TVantaLogNotify FOnLogCallBack;
  TComXMLCallBack FOnNewXMLFile;
  TWaitForConnDone FOnConnDone;
  QString FUser;
  QString FPAss;
  QString FIniFolder, FOwnTemplateFolder, FTemplateFolder;
  QString FPlant, FField, FDevice;
  QString FICDFile, FECDSAKeyFile, FRSAKeyFile, FWireGuardFileName, FWireGuardFile;
  TByteTransport FBytes;
  TFtpClient FFTPClient;
  uint16_t FFtpPort = 21;
  TUpdateGrid FUpdateGrid;
  TStreamRecordCB FOnStreamRecord;  // every stream record, typed (before FUpdateGrid)
  bool FTransferInProgress = false;
  bool FNextStreamBool = false;
  TRecOverview FRecOverview;
  TEvtOverview FEvtOverview;
  TSetNewDisplayImage FSetNewDisplayImage;
  TRecToTable FRecToTable;
  TEvtToTable FEvtToTable;
  // Opens a local file with the system's viewer (the GUI supplies it; the
  // core has no desktop services).
  std::function<void(const QString& localPath)> FOpenFile;
  QString FRecDir, FEvtDir, FTmpDir, FDatadir;
  int64_t FLastCmd = 0;
  int64_t FNextStreamDT = 0;
  bool FWaitForAnswer = false;
  bool FCheckXMLFileVersions = false;
  bool FShutDown = false;
  bool FShutDownWithTimer = false;
  int64_t FShutdownTime = 0;
  int64_t FTransferInProgressTime = 0;
  std::deque<TSendRec> FSendLst;
  bool FHardDisconnect = false;
  bool FSuccess = false;
  TFlashDone FFlashDone;
  TSendCCCIFileNext FSendCCCIFileNext;
  TMassDownload FMassDLNext;
  TFileFailed FFileFailed;
  TFileWriter FFileWriter = WriteAtOffset;
  TSendParaDone FSendParaDone;
  TShutDownComplete FShutDownComplete;
  bool FTHreadExcept = false;
  int FVisibility = 1;
  TDisplayConnMessage FDisplayConnMessage;
  TThreadExceptCallBack FThreadExceptCallBack;
  bool FNTPTunnelActive = false;
  TFormClose FRequestClose;
  // After every answer that was evaluated (not NAKs): lets headless callers
  // wait for answers the windows have no callback for, such as removals.
  std::function<void(const ccci::ccc_head_t& head)> FOnAnswerEvaluated;
  TNAKCB FNAKCB;
  uint32_t FLastNakCode = 0;  // the last NAK record received, for callers that report it
  QString FLastNakText;
  TLuaReceiver FTmpLUACallBack;
  std::function<bool(const QString& localPath)> FScratchPadCallBack;
  QString FTMPLuasStr;
  QString FLuaText;
  // SSH shell text after its last line feed: the end marker may be split
  // over two reads, and a line is judged as a whole.
  QByteArray FShellTail;
  TStreamRec FStreamRec;
  bool FNewXMLFiles = false;
  TProc FStopWork;
  TProc FClearWork;
  uint32_t FSeqCnt = 0;
  TVantaFW FRev;
  TXMLLang FXMLLang = TXMLLang::xlGerman;
  QString FSSHUser;
  QString FSSHPassword;
  bool FHeartBeatDisabled = true;
  std::atomic<bool> SendQueueActive{false};
  bool FConWithoutCCCI = false;
  bool FisSSHCon = false;
  TBinaryStreamCB FBinInCB;
  TCheckXMLVersion FCheckXMLVersion;
  uint32_t FMessDBVer = 0;
  TDevType FDevType = TDevType::devtypNone;
  // Every frame in both directions, when set (vanta-cli --trace, the host's
  // trace setting); the simulator can play the device side back.
  std::shared_ptr<TPcapngWriter> FTrace;

 protected:
  // Answer handlers, dispatched by CMD. The stream is positioned at byte 20 of
  // the frame in FHead; a handler leaves it at FHead.Size.
  virtual void SessionCommand(TMemoryStream& stream);
  virtual void IdentityCommand(TMemoryStream& stream);
  virtual void SetupCommand(TMemoryStream& stream);
  virtual void StreamCommand(TMemoryStream& stream);
  virtual void ReadoutCommand(TMemoryStream& stream);
  virtual void LUACommand(TMemoryStream& stream);
  virtual void ScratchPadCommand(TMemoryStream& stream);
  virtual void NTPCommand(TMemoryStream& stream);
  virtual void FileStream(TMemoryStream& stream);

  // Upload preparation of a setup file (gzip / tar+gzip as the flags say).
  // Returns the path to send, or an empty string with `error` set.
  virtual QString PrepareUploadFile(const QString& path, QString& error);
  // FTP upload of a prepared file to the device folder; false when it failed.
  virtual bool SendFTPFile(const QString& localPath, const QString& remoteFolder);
  // Where a file answer's payload goes: written (CCCI) or fetched by FTP,
  // the payload then being the device path. Empty on success.
  QString StorePayload(QByteArrayView payload, const QString& localPath, bool append);

  // Consumes a frame whose handling belongs elsewhere: logs it, skips it.
  void SkipFrame(TMemoryStream& stream, const char* handler);
  // The frame being evaluated, header included (at most FHead.Size bytes).
  QByteArray CurrentFrame(const TMemoryStream& stream) const;
  void ShowMessage(const QString& text, TMsgDlgType type, TThreadedMessageCallBack cb);

 private:
  bool SendOne(const TSendRec& rec);
  bool SendFileEntry(const TSendRec& rec);
  bool SendCCCIFileEntry(const TSendRec& rec);
  void Enqueue(TSendRec rec, const QString& extraLog);
  bool EvaluateNak(TMemoryStream& stream, bool& returnAtOnce);
  bool FinishFrame(TMemoryStream& stream, bool result);
  void Dispatch(TMemoryStream& stream, bool& result);
  int64_t WholeSecondsSince(int64_t since) const { return (FNow() - since) / 1000; }
  void CheckParaWatchdog();

 protected:
  // The readout file request in flight: which local file its answer goes
  // to, from where, and how large the device said it is.
  struct TFileRequest {
    QString DevicePath;
    QString Local;  // final name; the answer is written to Local + ".part"
    uint32_t Pos = 0;
    uint64_t Expected = 0;  // 0: unknown
    uint8_t Cmd = 0;
    uint16_t ExtCmd = 0;
  };
  void BeginFileRequest(const TSendRec& rec);
  // The request gave up (no answer, refused, link lost): told once.
  void FailFileRequest(const QString& reason, bool continueChain);
  void StoreReadoutAnswer(QByteArrayView payload);
  bool FFileRequestActive = false;
  TFileRequest FFileRequest;
  // The frame being evaluated is a file answer the reader wrote to disk as it
  // came: only its header is here.
  struct TStreamedAnswer {
    bool Active = false;
    int64_t Bytes = 0;
    QString Error;
  };
  TStreamedAnswer FStreamed;
  // Answers of given-up file requests that may still come: dropped, never
  // written into the next request's file.
  int FStaleFileAnswers = 0;
  QHash<QString, uint64_t> FExpectedSizes;
  std::unique_ptr<QTemporaryDir> FOwnTmp;

 private:
  TNowFunc FNow;
  int64_t FParaDeadline = 0;     // 0: no parameter upload awaits its answer
  QTimer* FParaWatch = nullptr;  // runs while one does, also when FTimer is off
};

QString BoolText(bool b);  // "True" / "False"
// Last component / folder part of a device path (split at "/").
QString ExtractUnixFileName(const QString& path);
QString ExtractUnixFilePath(const QString& path);

}  // namespace vanta
