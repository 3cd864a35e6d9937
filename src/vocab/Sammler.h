#pragma once
// The common vocabulary of the workspace: enumerations, records, the bound
// callback types through which the protocol client and the windows talk, a
// few constant tables and free helpers. Nothing here talks to a device and
// nothing here needs a GUI.
//
// Callbacks are std::function members. Every caller tests a callback before
// calling it; an empty one is simply not called. One-shot receivers are moved
// out of their field before they are called.
#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

#include "Constants.h"
#include "MemoryStream.h"
#include "TimeStamps.h"

namespace vanta {

using TObject = QObject;       // the sender of a callback
using TAlphaColor = uint32_t;  // 0xAARRGGBB

// ---- Enumerations (first member is 0) --------------------------------------

enum class TConType : uint8_t { ctCCCI, ctSSH };
enum class TIpVer : uint8_t { ipverV4, ipverV6 };
enum class TDevType : uint8_t { devtypNone, devtypVanta, devtypVantaDE, devtypOmnivex, devtypVantaLorn };
enum class TWorkStatus : uint8_t { WorkBegin, WorkWorking, WorkEnd };
enum class TWorkMode : uint8_t { wmRead, wmWrite };
enum class TDirectKind : uint8_t {
  dkpara,
  dkparaRefresh,
  dkvisu,
  dkdata,
  dkoffline,
  dkflash,
  dkmassflash,
  dkstatus,
  dkInitSSH,
  dkUserSetup,
  dkcalib
};
enum class TItmTyp : uint8_t { itTxt, itFlt, itInt, itLst, itBool };
enum class TBtnControlDevice : uint8_t { BtnLeft, BtnRight, BtnTop, BtnDown, BtnEnter };
enum class TCCCISratchpad : uint8_t { spNone, spLangTXT, spXML, spGetLog, spFlushLog, spStatus, spPCAP };

// Message boxes requested by the protocol client (shown by the windows).
enum class TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : uint32_t {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
};
using TMsgDlgButtons = uint32_t;
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };

QString DevTypeName(TDevType t);  // "devtypVantaDE"
QString DirectKindName(TDirectKind k);  // "dkflash"
QString ScratchpadName(TCCCISratchpad s);  // "spStatus"

// ---- Records ---------------------------------------------------------------

struct TDeviceRec {
  TDevType DevType = TDevType::devtypNone;
  QString IP;
  TIpVer IPver = TIpVer::ipverV4;
  TConType ConType = TConType::ctCCCI;
  QString Port;
  QString ParaPort;
  bool useHTTPS = false;
  bool IsSerial = false;
  QString Anlage;
  QString Feld;
  QString Geraet;
  uint32_t SN = 0;
  bool operator==(const TDeviceRec&) const = default;
};

struct TXMLRec {
  QString Grp, Par, Help, Value, OriValue, Def, Low, High;
  TItmTyp Typ = TItmTyp::itTxt;
  QStringList Lst;
  int32_t Idx = 0, Secs = 0, Visibility = 0, Editability = 0, XMLChild = 0, XMLSubChild = 0;
  bool tag = false;
  // Splits `text` at every comma and appends the pieces in order.
  void AddListe(QString text);
};

struct TDatapoint {
  QString name;
  bool rec = false;
  bool Def = false;
  int32_t ValChild = 0, ValSubChild = 0, Visibility = 0;
};

struct TProgressRecord {
  bool start = false;
  bool stop = false;
  uint64_t Progress = 0;
  uint64_t Max = 0;
};

struct TStreamRec {
  uint32_t ObjID = 0;
  uint32_t ObjHdl = 0;  // 0 none, 1 start requested, >= 2 handle from the device
  bool Active = false;
  bool WithBinary = false;
  uint32_t BinaryHdl = 0;
  bool operator==(const TStreamRec&) const = default;
};

struct TChangeRecord {
  uint32_t ID = 0;
  QString Bezeichner;
  QString OldValue;
  QString NewValue;
};

struct TFrmParaSettings {
  int32_t LytWth = 0, ParaInfo = 0, ParaVal = 0, ParaDef = 0, ParaMin = 0, ParaMax = 0, SelInfo = 0, SelCheck = 0;
  bool operator==(const TFrmParaSettings&) const = default;
};

struct TFrmOnOfflineSettings {
  int32_t LytWth = 0, Ereignis = 0, Zeit = 0, Max = 0, Einheit = 0, Harm = 0, Dauer = 0;
  bool operator==(const TFrmOnOfflineSettings&) const = default;
};

union TAbout4Byte {
  int32_t vaInt;
  uint32_t vaLong;
  float vaSgl;
  int16_t vaSmall;
  uint16_t vaWord;
  uint8_t vaByte;
  void* vaPtr;
};

// Carries one received block (or a stream record) from a reader thread to the
// GUI thread; owns its bytes.
struct TByteTransport {
  QByteArray FBytes;
  tmStamp_t TS_Mess{};   // record time, converted to local time
  uint32_t SmplCnt = 0;
  uint32_t smplrte = 0;
};

// ---- Callback types (sender first unless noted) ----------------------------

using TProc = std::function<void()>;
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TAddCallBack = std::function<void(const QString& LogStr)>;
using TVantaLogNotify = std::function<void(TObject* sen, const QString& LogLn, bool ToMemo)>;
using TSetLabConText = std::function<void(TObject* sen, const QString& Text)>;
using TComXMLCallBack = std::function<void(TObject* Sender, const QString& FileName, int32_t XMLType)>;
using TCheckXMLVersion = std::function<void(TObject* Sender, TMemoryStream& SL)>;
using TXMLVersionCallback = std::function<void(TObject* Sender, uint32_t MessDBVersion)>;
using TThreadStreamCallBack = std::function<void(TObject* Sender, TMemoryStream& Stream)>;
using TBinaryStreamCB = std::function<void(TObject* Sender, uint32_t BinCnt, const QByteArray& BinStatus)>;
using TWaitForConnDone = std::function<void(TObject* Sender, bool Connected)>;
using TConnectThreadEnd = std::function<void(TObject* Sender, bool Success, bool AuthError)>;
using TStartStream = std::function<void(TObject* Sender, TDataObjKind Kind)>;

using TStopStream = TNotifyEvent;
using TUpdateGrid = TNotifyEvent;
using TRecUebClick = TNotifyEvent;
using TEvtUebClick = TNotifyEvent;
using TRecDelAll = TNotifyEvent;
using TEvtDelAll = TNotifyEvent;
using TParaClick = TNotifyEvent;
using TGetNewDisplayImage = TNotifyEvent;
using TFormClose = TNotifyEvent;
using TShutDownComplete = TNotifyEvent;
using TMassDownload = TNotifyEvent;
using TShowHideReportMenu = TNotifyEvent;
using TThreadExceptCallBack = TNotifyEvent;
using TMenuButtonResizeCallBack = TNotifyEvent;

using TRecOverview = std::function<void(TObject* Sender, TMemoryStream& Stream)>;
using TEvtOverview = TRecOverview;
using TRecClick = std::function<void(TObject* Sender, const QString& RecName)>;
using TEvtClick = std::function<void(TObject* Sender, const QString& EvtName)>;
using TRecToTable = std::function<void(TObject* Sender, const QString& FN)>;
using TEvtToTable = TRecToTable;
using TRecDel = TRecToTable;
using TEvtDel = TRecToTable;
using TSetNewDisplayImage = std::function<void(TObject* Sender, TMemoryStream& imgStr)>;
using TControlDevice = std::function<void(TObject* Sender, TBtnControlDevice Btn)>;
using TFlashDone = std::function<void(TObject* Sender, bool Success)>;
using TSendParaDone = std::function<void(TObject* Sender, bool Success)>;
using TNAKCB = std::function<void(TObject* Sender, uint32_t errCode)>;
using TSendCCCIFileNext = std::function<void(TObject* Sender, bool NAKFailed)>;
using TOnOfflineSettingsCallback = std::function<void(TObject* Sender, TFrmOnOfflineSettings& Einstellungen)>;
using TParaSettingsCallback = std::function<void(TObject* Sender, TFrmParaSettings& Einstellungen)>;
using TEnableDisableBar = std::function<void(TObject* Sender, bool Endable)>;
using TShowHideReportButtons = std::function<void(TObject* Sender, bool Show)>;
using TWorkCallback = std::function<void(TObject* Sender, const QString& Text, bool start, bool Clear)>;
using TProgressCallBack = std::function<void(TObject* Sender, TProgressRecord& rec)>;
using TGlobalProgressCallBack = std::function<void(TObject* Sender, bool Enabled, const QString& Text)>;
using TChangeLoadText = std::function<void(TObject* Sender, const QString& Text)>;
using TThreadedMessageCallBack = std::function<void(TObject* Sender, int AResult)>;
using TDisplayConnMessage = std::function<void(const QString& Text, TMsgDlgType MsgType, TThreadedMessageCallBack& CB,
                                               TMsgDlgButtons MessageButtons, TMsgDlgBtn DefButton)>;
using TVantaSerNumCallBack = std::function<void(TObject* Sender, uint32_t NewSN, TDevType DevTyp, const QString& Anlage,
                                                const QString& Feld, const QString& Geraet)>;
using TGetRCMMeta = std::function<void(QString& User, QString& Comment)>;
using TSetRCMMeta = std::function<void(const QString& User, const QString& Comment)>;

// ---- Constants ---------------------------------------------------------------

inline const QString CDataPoint = QStringLiteral("datapoint");
inline const QString CGroup = QStringLiteral("group");
inline const QString CMandatory = QStringLiteral("mandatory");
inline const QString CRec = QStringLiteral("rec");
inline const QString CMappingDB = QStringLiteral("MappingDB.db");

// Object identifiers for CCC_STREAM_START, indexed by TDataObjKind.
inline constexpr std::array<uint32_t, CDataObjKindCount> CDataObj = {
    0x00FFFFFF, 0x01FFFFFF, 0x02FFFFFF, 0x03FFFFFF, 0x04FFFFFF,
    0x05FFFFFF, 0x06FFFFFF, 0x07FFFFFF, 0x08FFFFFF, 0x00989680,
};
inline constexpr uint32_t DataObjId(TDataObjKind k) { return CDataObj[static_cast<size_t>(k)]; }

inline constexpr std::array<TAlphaColor, 12> TColArr = {
    0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFF00FF, 0xFFFF8C00, 0xFF0084FF,
    0xFF2B8B41, 0xFF503580, 0xFF000000, 0xFFC80003, 0xFF55AAFF, 0xFF005050,
};

// ---- Free functions ----------------------------------------------------------

QString NanoSecToDuration(uint64_t ns);
TAlphaColor AlphaColVerlauf(int32_t max, int32_t pos);
TAlphaColor GenerateAlphaColor(int32_t index);
QDateTime UTCToSystemTime(const QDateTime& utc);
QDateTime UTCToSystemTime(uint32_t unixSeconds);
TDirectKind GetDirectKind(const QString& text);
// Cuts the first field off `text` (see the status parser): returns the part
// before the first delimiter untrimmed and leaves the rest trimmed; without a
// delimiter returns the whole text trimmed and leaves `text` empty.
QString LocalExtractToChar(QString& text, QChar delimiter);

// Queues `call` to the GUI (main) thread. It never runs at once, not even when
// called on the GUI thread: it runs after the current event has finished and
// then, when delayMs > 0, after that many milliseconds more. With a context
// object the call is dropped if the context is destroyed first.
// The path of an operating-system special folder by the numeric folder ids
// the device tools have always used (5 documents, 16 desktop, 26 roaming
// application data, 28 local application data, 35 data shared by all users,
// 39 pictures, 40 the user's home); on Linux the XDG folders. Unknown ids
// give an empty text.
QString GetSpecialFolder(int id);

void Postpone(std::function<void()> call, int delayMs = 0);
void Postpone(QObject* context, std::function<void()> call, int delayMs = 0);

}  // namespace vanta
