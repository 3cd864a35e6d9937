#include "ComUnit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "ByteOrder.h"
#include "GZip.h"
#include "LogFormat.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

QString BoolText(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }

namespace {
constexpr qsizetype CCopyChunk = 0x100000;  // large frames are copied in 1 MiB steps
constexpr int64_t CShutdownMs = 5000;
constexpr int64_t CTransferStallMs = 10000;
constexpr int64_t CAnswerTimeoutSec = 10;
constexpr int64_t CHeartbeatIdleSec = 22;
constexpr uint16_t CStop = 0xFFFF;
// A device applies a parameter set within seconds; a minute without an
// answer or any progress means the upload will not be answered any more.
constexpr int64_t CParaUploadSilentMs = 60000;
constexpr int CParaWatchMs = 1000;

bool OnGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}
}  // namespace

TComUnit::TComUnit(QObject* parent, TNowFunc now, const TDeviceDefaults& defaults)
    : QObject(parent), FNow(now ? std::move(now) : TNowFunc([] { return QDateTime::currentMSecsSinceEpoch(); })) {
  FLastCmd = FNow();
  FTimer = new QTimer(this);
  FTimer->setInterval(100);
  connect(FTimer, &QTimer::timeout, this, [this] { OnTimer(this); });
  FParaWatch = new QTimer(this);
  FParaWatch->setInterval(CParaWatchMs);
  connect(FParaWatch, &QTimer::timeout, this, [this] { CheckParaWatchdog(); });
  FSSHUser = defaults.User;
  FSSHPassword = defaults.Password;
}

TComUnit::~TComUnit() = default;

void TComUnit::SetClock(TNowFunc now) {
  if (now) FNow = std::move(now);
}

void TComUnit::EnableTimer(bool on) {
  if (on)
    FTimer->start();
  else
    FTimer->stop();
}

void TComUnit::WriteLog(const QString& text, bool ToMemo) {
  if (FOnLogCallBack) FOnLogCallBack(this, text, ToMemo);
}


ccci::THeaderContext TComUnit::HeaderContext() const {
  ccci::THeaderContext c;
  c.Ver = FVer;
  c.FTPNAK = GenHeaderFTPNAK();
  c.SN = FSN;
  c.SeqCnt = FSeqCnt;
  return c;
}

void TComUnit::NoteTransferProgress() {
  FLastCmd = FNow();
  FLastActivity = FLastCmd;
  FTransferInProgressTime = FLastCmd + CTransferStallMs;
  NoteParaProgress();
}

void TComUnit::ArmParaWatchdog() {
  FParaDeadline = FNow() + CParaUploadSilentMs;
  FParaWatch->start();
}

void TComUnit::NoteParaProgress() {
  if (FParaDeadline != 0) FParaDeadline = FNow() + CParaUploadSilentMs;
}

void TComUnit::ReportParaDone(bool success) {
  FParaDeadline = 0;
  FParaWatch->stop();
  if (FSendParaDone) FSendParaDone(this, success);
}

void TComUnit::CheckParaWatchdog() {
  if (FParaDeadline == 0 || FNow() <= FParaDeadline) return;
  // Without this the editor would show "uploading" for good: the setup
  // write's answer is the only thing that ends the upload.
  WriteLog(CParaUploadSilentText, true);
  ReportParaDone(false);
}

// ---- Queueing ------------------------------------------------------------------

namespace {
TSendRec MakeRec(TSendCmd typ, const QString& info, uint8_t cmd, uint8_t priv, uint16_t extCmd) {
  TSendRec r;
  r.Typ = typ;
  r.Info = info;
  r.Cmd = cmd;
  r.Priv = priv;
  r.ExtCmd = extCmd;
  return r;
}
}  // namespace

void TComUnit::Enqueue(TSendRec rec, const QString& extraLog) {
  if (FOnLogCallBack)
    WriteLog(F("Liste -> Kommando hinzugefügt: %s CMD: %x Priv: %x ExtCmd: %x", U8(rec.Info).constData(), rec.Cmd,  // untranslated
               rec.Priv, rec.ExtCmd) +
             extraLog);
  FSendLst.push_back(std::move(rec));
}

void TComUnit::SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd) {
  TSendRec r = MakeRec(TSendCmd::scDefault, Info, Cmd, Priv, ExtCmd);
  Enqueue(std::move(r), {});
  SendNxtCommand();
}

namespace {
QString Label(const TCommandDef& d) { return QString::fromLatin1(d.Name); }
}  // namespace

void TComUnit::SendCommand(ccci::TCcci c) {
  const TCommandDef& d = Def(c);
  SendCommand(Label(d), d.Cmd, d.Priv, d.ExtCmd);
}

void TComUnit::SendCommand(ccci::TCcci c, const QString& txt, bool LUA) {
  const TCommandDef& d = Def(c);
  SendCommand(Label(d), d.Cmd, d.Priv, d.ExtCmd, txt, LUA);
}

void TComUnit::SendCommand(ccci::TCcci c, uint32_t ID) {
  const TCommandDef& d = Def(c);
  SendCommand(Label(d), d.Cmd, d.Priv, d.ExtCmd, ID);
}

void TComUnit::SendCommandFile(ccci::TCcci c, const QString& localPath) {
  const TCommandDef& d = Def(c);
  SendCommandFile(Label(d), d.Cmd, d.Priv, d.ExtCmd, localPath);
}

void TComUnit::SendCommand(ccci::TCcci c, const QString& txt, uint32_t Pos, bool LUA) {
  const TCommandDef& d = Def(c);
  SendCommand(Label(d), d.Cmd, d.Priv, d.ExtCmd, txt, Pos, LUA);
}

void TComUnit::SendCommandCCCIFile(ccci::TCcci c, const QString& ccciFileName, const QString& localPath) {
  const TCommandDef& d = Def(c);
  SendCommandCCCIFile(Label(d), d.Cmd, d.Priv, d.ExtCmd, ccciFileName, localPath);
}

void TComUnit::SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& txt, bool LUA) {
  TSendRec r = MakeRec(TSendCmd::scWithTxt, Info, Cmd, Priv, ExtCmd);
  r.txt = txt;
  r.LUA = LUA;
  Enqueue(std::move(r), {});
  SendNxtCommand();
}

void TComUnit::SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, uint32_t ID) {
  TSendRec r = MakeRec(TSendCmd::scStream, Info, Cmd, Priv, ExtCmd);
  r.ID = ID;
  Enqueue(std::move(r), F(" ID: %u", ID));
  // The restart of a stalled stream needs the measurement object, never the
  // binary-input stream that is started behind it.
  if (Cmd == 4 && ExtCmd == 1 && ID != CBinaryObjectId) FStreamRec.ObjID = ID;
  if (ExtCmd == CStop) {
    FNextStreamBool = false;
    FStreamRec.ObjHdl = 0;
    WriteLog(QStringLiteral("ObjectHandle auf 0 gesetzt"));  // untranslated
    if (FStreamRec.WithBinary && FStreamRec.BinaryHdl != 0) {
      FStreamRec.WithBinary = false;
      const uint32_t hdl = FStreamRec.BinaryHdl;
      SendCommand(ccci::TCcci::STREAM_STOP, hdl);
      FStreamRec.BinaryHdl = 0;
    }
  }
}

void TComUnit::SendCommandFile(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& localPath) {
  TSendRec r = MakeRec(TSendCmd::scFile, Info, Cmd, Priv, ExtCmd);
  r.txt = localPath;
  Enqueue(std::move(r), {});
}

void TComUnit::SendCommand(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd, const QString& txt,
                           uint32_t Pos, bool LUA) {
  // A file asked for twice (a double click, an action chosen again) would
  // be answered twice; the request already on its way is the one that counts.
  if (!LUA && Cmd == 5 && (ExtCmd == 1 || ExtCmd == 17) && FileRequestPending(txt)) {
    WriteLog(QStringLiteral("Auslesen: %1 wird bereits angefordert").arg(txt));  // untranslated
    return;
  }
  TSendRec r = MakeRec(TSendCmd::scFileResume, Info, Cmd, Priv, ExtCmd);
  r.txt = txt;
  r.Pos = Pos;
  r.LUA = LUA;
  Enqueue(std::move(r), F(" Pos: %u", Pos));
}

void TComUnit::SendCommandCCCIFile(const QString& Info, uint8_t Cmd, uint8_t Priv, uint16_t ExtCmd,
                                   const QString& ccciFileName, const QString& localPath) {
  TSendRec r = MakeRec(TSendCmd::scCCCIFile, Info, Cmd, Priv, ExtCmd);
  r.txt = localPath;
  r.ccciFileName = ccciFileName;
  Enqueue(std::move(r), {});
}

// ---- Sending -------------------------------------------------------------------------

void TComUnit::SendNxtCommand() {
  LOGF("Before Next Command Cnt: %d Wait: %s inProg: %s", CountSendLst(), U8(BoolText(FWaitForAnswer)).constData(),
             U8(BoolText(FTransferInProgress)).constData());
  if (!IsConnected()) WriteLog(QStringLiteral("Before Next Command Not Connected"));
  try {
    while (IsConnected() && !FSendLst.empty() && !FWaitForAnswer && (!FTransferInProgress || CheckTransferTimeout())) {
      TSendRec rec = std::move(FSendLst.front());
      FSendLst.pop_front();
      LOGF("Liste -> Kommando wird abgearbeitet: %s CMD: %x Priv: %x ExtCmd: %x SLCnt: %d", U8(rec.Info).constData(),  // untranslated
                 rec.Cmd, rec.Priv, rec.ExtCmd, CountSendLst());
      const bool sent = SendOne(rec);
      if (!rec.LUA) ++FSeqCnt;
      if (!sent) break;
    }
  } catch (const std::exception& e) {
    // A failure while sending must not escape into the GUI; the timer stops
    // so the queue does not spin on the same fault.
    FTimer->stop();
    WriteLog(QStringLiteral("SendNxtCommand Except: ") + QString::fromUtf8(e.what()));
  }
}

bool TComUnit::SendOne(const TSendRec& rec) {
  FLastCmd = FNow();
  const THeaderContext ctx = HeaderContext();
  switch (rec.Typ) {
    case TSendCmd::scDefault: {
      FWaitForAnswer = true;
      const QByteArray frame = BuildHeaderOnly(ctx, rec.Cmd, rec.Priv, rec.ExtCmd);
      LOGF("Sending %s CMD: %x Priv: %x ExtCmd: %x NAK: %x Seq: %u", U8(rec.Info).constData(), rec.Cmd, rec.Priv,
                 rec.ExtCmd, ctx.FTPNAK, ctx.SeqCnt);
      const bool ok = SendCommandStream(frame, false);
      if (rec.ExtCmd == CStop) {
        LOGF("Liste gecleart %d", CountSendLst());
        FWaitForAnswer = false;
        FSendLst.clear();
      }
      return ok;
    }
    case TSendCmd::scWithTxt:
    case TSendCmd::scFileResume: {
      FWaitForAnswer = true;
      const uint32_t pos = rec.Typ == TSendCmd::scFileResume ? rec.Pos : 0;
      QByteArray frame;
      QString shown;
      if (rec.LUA) {
        FSuccess = true;
        frame = BuildLuaText(ctx, rec.Cmd, rec.Priv, rec.ExtCmd, rec.txt.toLatin1(), !FisSSHCon);
        shown = QStringLiteral("###");
      } else {
        FFileName = rec.txt;
        if (rec.Cmd == 5 && (rec.ExtCmd == 1 || rec.ExtCmd == 17)) BeginFileRequest(rec);
        frame = BuildFileName(ctx, rec.Cmd, rec.Priv, rec.ExtCmd, rec.txt.toLatin1(), pos);
        shown = rec.txt;
      }
      LOGF("Sending %s CMD: %x Priv: %x ExtCmd: %x FTPNACK: %x Seq: %u AddData: %s", U8(rec.Info).constData(),
                 rec.Cmd, rec.Priv, rec.ExtCmd, ctx.FTPNAK, ctx.SeqCnt, U8(shown).constData());
      return SendCommandStream(frame, rec.LUA);
    }
    case TSendCmd::scStream: {
      FWaitForAnswer = true;
      const QByteArray frame = BuildObject(ctx, rec.Cmd, rec.Priv, rec.ExtCmd, rec.ID);
      LOGF("Sending %s CMD: %x Priv: %x ExtCmd: %x NAK: %x Seq: %u AddData: %x", U8(rec.Info).constData(), rec.Cmd,
                 rec.Priv, rec.ExtCmd, ctx.FTPNAK, ctx.SeqCnt, rec.ID);
      return SendCommandStream(frame, false);
    }
    case TSendCmd::scFile:
      return SendFileEntry(rec);
    case TSendCmd::scCCCIFile:
      return SendCCCIFileEntry(rec);
  }
  return false;
}

namespace {
// Reads a local file in 1 MiB steps behind an already built header.
bool AppendFile(const QString& path, QByteArray& frame, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = f.errorString();
    return false;
  }
  frame.reserve(frame.size() + f.size());
  while (!f.atEnd()) {
    const QByteArray chunk = f.read(CCopyChunk);
    if (chunk.isEmpty() && f.error() != QFileDevice::NoError) {
      error = f.errorString();
      return false;
    }
    frame.append(chunk);
  }
  return true;
}
}  // namespace

bool TComUnit::SendFileEntry(const TSendRec& rec) {
  FWaitForAnswer = false;
  const THeaderContext ctx = HeaderContext();
  LOGF("Sending %s CMD: %x Priv: %x ExtCmd: %x NAK: %x Seq: %u", U8(rec.Info).constData(), rec.Cmd, rec.Priv,
             rec.ExtCmd, ctx.FTPNAK, ctx.SeqCnt);
  QString error;
  const QString prepared = PrepareUploadFile(rec.txt, error);
  if (prepared.isEmpty()) {
    WriteLog(QStringLiteral("Datei kann nicht gesendet werden: %1 (%2)").arg(rec.txt, error), true);  // untranslated
    ReportParaDone(false);
    return true;
  }
  WriteLog(QStringLiteral("Sending File ") + prepared);
  if (FFTP) {
    if (!SendFTPFile(prepared, QStringLiteral("/ramdrive0/ccci"))) {
      WriteLog(QStringLiteral("FTP-Übertragung fehlgeschlagen: %1").arg(prepared), true);  // untranslated
      ReportParaDone(false);
      return true;
    }
    // The file is on the device; naming it is answered like the upload itself.
    ArmParaWatchdog();
    SendCommand(ccci::TCcci::SETUP_WR, QFileInfo(prepared).fileName(), false);
    return true;
  }
  WriteLog(QStringLiteral("Before Send"));
  QByteArray frame;
  EncodeHead(frame, MakeHead(ctx, rec.Cmd, rec.Priv, rec.ExtCmd, 0));
  if (!AppendFile(prepared, frame, error)) {
    WriteLog(QStringLiteral("Datei kann nicht gelesen werden: %1 (%2)").arg(prepared, error), true);  // untranslated
    ReportParaDone(false);
    return true;
  }
  PutU32At(frame, 12, uint32_t(frame.size()));
  ArmParaWatchdog();
  WorkEvent(TWorkMode::wmWrite, frame.size(), TWorkStatus::WorkBegin);
  const bool ok = SendCommandStream(frame, false);
  WorkEvent(TWorkMode::wmWrite, 0, TWorkStatus::WorkEnd);
  WriteLog(QStringLiteral("After Send"));
  return ok;
}

bool TComUnit::SendCCCIFileEntry(const TSendRec& rec) {
  FWaitForAnswer = false;
  const THeaderContext ctx = HeaderContext();
  QByteArray frame;
  EncodeHead(frame, MakeHead(ctx, rec.Cmd, rec.Priv, rec.ExtCmd, 0));
  TByteWriter(frame).FixedText(rec.ccciFileName.toLatin1(), CScratchNameLen);
  QString error;
  if (!AppendFile(rec.txt, frame, error)) {
    WriteLog(QStringLiteral("Datei kann nicht gelesen werden: %1 (%2)").arg(rec.txt, error), true);  // untranslated
    if (FSendCCCIFileNext) FSendCCCIFileNext(this, true);
    return true;
  }
  PutU32At(frame, 12, uint32_t(frame.size()));
  LOGF("Sending %s CMD: %x Priv: %x ExtCmd: %x NAK: %x Seq: %u", U8(rec.Info).constData(), rec.Cmd, rec.Priv,
             rec.ExtCmd, ctx.FTPNAK, ctx.SeqCnt);
  return SendCommandStream(frame, false);
}

QString TComUnit::PrepareUploadFile(const QString& path, QString& error) {
  if (!QFileInfo(path).isFile()) {
    error = TTr::tr("Datei fehlt");
    return {};
  }
  if (FTGZ) return TarFile(path, error);
  if (!FGZ) return path;
  WriteLog(QStringLiteral("Before Zip"));
  const QString target = path + QStringLiteral(".gz");
  error = ZipFile(path, target);
  if (!error.isEmpty()) return {};
  WriteLog(QStringLiteral("After Zip %1").arg(target));
  return target;
}


// ---- Timer -----------------------------------------------------------------------------

bool TComUnit::IsTimerActive() const { return FTimer->isActive(); }

bool TComUnit::CheckTransferTimeout() const { return FNow() > FTransferInProgressTime; }

void TComUnit::ManualTimer(QObject* Sender) {
  if (IsTimerActive()) OnTimer(Sender);
}

void TComUnit::OnTimer(QObject*) {
  // Not one of the rules: an upload the device leaves unanswered ends apart from them.
  CheckParaWatchdog();
  // 1. Shutdown requested for this tick.
  if (FShutDownWithTimer) {
    FShutDownWithTimer = false;
    ShutDown(this);
    return;
  }
  // 2. A transfer has stalled.
  if (FTransferInProgress && CheckTransferTimeout()) {
    if (PartialFrameHeld()) {
      // The reader holds the first part of a frame. Dropping it alone would
      // read its rest, should that still come, as the next header, and every
      // frame after it would be cut in the wrong place: only a new link
      // starts in step again, for a stream as for any other answer.
      WriteLog(QString::fromUtf8(CTransferStalledSource), true);
      ClearStreamAndBuffer();
      ThreadException(this, TransferStalledText());
      return;
    }
    // The frame was handed over but its evaluation never finished (a NAK
    // that leaves the receive state as it is): nothing is out of step.
    if (!FStreamRec.Active) {
      WriteLog(QStringLiteral("No Communication within Transfer time!"));
      ClearStreamAndBuffer();
    } else {
      // Once per stall, not once per tick: the restart takes its 2 s.
      FTransferInProgress = false;
      StreamErrorsSearch();
    }
    return;
  }
  // 3. The next stream poll is due.
  if (FNextStreamBool && FNow() > FNextStreamDT) {
    FNextStreamBool = false;
    SendCommand(ccci::TCcci::STREAM_GET_NXT, FStreamRec.ObjHdl);
    return;
  }
  // 4. Something waits and nothing blocks it.
  if (!FWaitForAnswer && !FSendLst.empty() && (!FTransferInProgress || CheckTransferTimeout())) {
    LOGF("tmr: Send Next / %d", CountSendLst());
    SendNxtCommand();
    return;
  }
  // 5. The awaited answer did not come: give it up. A file request is given
  // up even with nothing queued behind it, so a download chain never waits
  // for good; its answer, should it still come, is dropped.
  if (IsConnected() && (!FSendLst.empty() || (FFileRequestActive && FWaitForAnswer)) &&
      WholeSecondsSince(FLastCmd) > CAnswerTimeoutSec) {
    WriteLog(QStringLiteral("NextCmdTmout"));
    FWaitForAnswer = false;
    if (FFileRequestActive) {
      ++FStaleFileAnswers;
      FailFileRequest(TTr::tr("keine Antwort innerhalb von %1 s").arg(CAnswerTimeoutSec), true);
    }
    SendNxtCommand();
    return;
  }
  // 6. Heartbeat for old firmware.
  if (IsConnected() && !FShutDown && FSendLst.empty() && WholeSecondsSince(FLastCmd) > CHeartbeatIdleSec &&
      (!FTransferInProgress || CheckTransferTimeout()) && !FHeartBeatDisabled) {
    WriteLog(QStringLiteral("Heartbeat"));
    SendCommand(ccci::TCcci::IDENTIFY_BASIC);
    return;
  }
  // 7. Waiting for an answer.
  if (FWaitForAnswer) return;
  // 8. Orderly shutdown.
  if (FShutDown) {
    if ((!FSendLst.empty() || SendQueueActive.load()) && FNow() <= FShutdownTime) return;
    WriteLog(QStringLiteral("ShutdownHandling"));
    if (IsConnected()) {
      FTimer->stop();
      CloseConnection(true);
    } else if (!FShutDownComplete) {
      FShutDown = false;
    } else {
      FOnLogCallBack = nullptr;
      TShutDownComplete done = std::move(FShutDownComplete);
      FShutDownComplete = nullptr;
      done(this);
    }
  }
}

// ---- Evaluation -------------------------------------------------------------------------

QByteArray TComUnit::CurrentFrame(const TMemoryStream& stream) const {
  return stream.Bytes().left(qMin<qsizetype>(stream.Size(), FHead.Size));
}

void TComUnit::ShowMessage(const QString& text, TMsgDlgType type, TThreadedMessageCallBack cb) {
  if (!FDisplayConnMessage) return;
  TThreadedMessageCallBack local = std::move(cb);
  FDisplayConnMessage(text, type, local, mbOK, mbOK);
}

bool TComUnit::Evaluate(TMemoryStream& stream) {
  // The reader hands over whole frames only; the header it saw already set
  // FTransferInProgress, which ends here.
  if (stream.Size() < CHeadSize) {
    LOGFM(true, "ComUnit: Rahmen ohne Kopf (%d Bytes), Empfang verworfen", int(stream.Size()));
    ClearStreamAndBuffer();
    return false;
  }
  FTransferInProgress = true;
  DecodeHead(stream.Bytes(), FHead);
  stream.SetPosition(CHeadSize);
  FNAK = CheckNAK(FHead.FTPNAK);
  FSeqCnt = FHead.SeqCnt;
  LOGF("ComUnit: CMD=%x Priv=%x ExtCmd=%x ver=%d FTPNAK=%d SN=%d Size=%d SeqCnt=%d StreamSize=%d", FHead.CMD, FHead.Priv,
       FHead.ExtCmd, FHead.Ver, FHead.FTPNAK, FHead.SN, FHead.Size, FHead.SeqCnt, int(stream.Size()));
  ++FSeqCnt;
  if (FHead.Size < uint32_t(CHeadSize) || FHead.Size > CMaxFrameSize ||
      (stream.Size() < qsizetype(FHead.Size) && !FStreamed.Active)) {
    // A header that does not fit its frame: nothing in it can be trusted.
    LOGFM(true, "ComUnit: ungültige Rahmenlänge %u (%d Bytes), Empfang verworfen", FHead.Size, int(stream.Size()));  // untranslated
    ClearStreamAndBuffer();
    return false;
  }
  bool result = true;
  if (FNAK) {
    bool returnAtOnce = false;
    const bool nakResult = EvaluateNak(stream, returnAtOnce);
    if (returnAtOnce) return nakResult;
    result = false;
  } else {
    stream.SetPosition(CHeadSize);
    FTransferInProgress = false;
    WorkEvent(TWorkMode::wmRead, 0, TWorkStatus::WorkEnd);
    LOGF("ComUnit: EndWork %d/%d", int(stream.Size()), FHead.Size);
    LOGF("ComUnit Accept Cmd=%d Priv=%d ExtCmd=%d ver=%d FTPNAK=%d SN=%d Size=%d SeqCnt=%d StreamSize=%d", FHead.CMD,
         FHead.Priv, FHead.ExtCmd, FHead.Ver, FHead.FTPNAK, FHead.SN, FHead.Size, FHead.SeqCnt, int(stream.Size()));
    bool dispatched = true;
    Dispatch(stream, dispatched);
    if (!dispatched) result = false;
    if (dispatched && FOnAnswerEvaluated) FOnAnswerEvaluated(FHead);
    LOGF("ComUnit BeforeClear Size: %d StreamSize: %d StreamPosition: %d", FHead.Size, int(stream.Size()),
         int(stream.Position()));
  }
  if (stream.Size() > qsizetype(FHead.Size)) LOGF("Data still inside: %d", int(stream.Size() - FHead.Size));
  ClearStreamAndBuffer();
  return result;
}

bool TComUnit::EvaluateNak(TMemoryStream& stream, bool& returnAtOnce) {
  WriteLog(QStringLiteral("NAK True"));
  TNakRecord nak;
  const QByteArray frame = CurrentFrame(stream);
  if (const QString e = DecodeNak(frame, nak); !e.isEmpty()) WriteLog(QStringLiteral("ComUnit NAK: ") + e, true);
  FLastNakCode = nak.ErrorCode;
  FLastNakText = QString::fromLatin1(nak.Message);

  if (FHead.CMD == 5 && (FHead.ExtCmd == 1 || FHead.ExtCmd == 17)) {
    if (FStaleFileAnswers > 0) {
      --FStaleFileAnswers;  // the refusal of a request given up earlier
      WriteLog(QStringLiteral("Auslesen: verspätete Ablehnung verworfen"), true);  // untranslated
      stream.SetPosition(FHead.Size);
      returnAtOnce = true;
      return false;
    }
    FailFileRequest(TTr::tr("vom Gerät abgelehnt (NAK %1 %2)").arg(nak.ErrorCode).arg(QString::fromLatin1(nak.Message)),
                    true);
  }
  if (nak.ErrorCode == nakTooManyConnections) {
    if (FDisplayConnMessage)
      ShowMessage(TwoConnectionsText(), TMsgDlgType::mtError, [this](QObject* s, int r) { NAKerrorCB(s, r); });
    else if (FNAKCB)
      FNAKCB(this, nak.ErrorCode);
    returnAtOnce = true;
    return true;
  }
  if (nak.ErrorCode == nakNoProtocol5 && FHead.CMD == 1 && FHead.ExtCmd == 0) {
    WriteLog(QStringLiteral("FallBack CCCI V4"));
    ClearStreamAndBuffer();
    FVer = 4;
    SendCommand(ccci::TCcci::SESSION_STR_ADV);
    returnAtOnce = true;
    return true;
  }
  const QString message = QString::fromLatin1(nak.Message);
  LOGFM(true, "ComUnit NAK Cmd=%u Priv=%u ExtCmd=%u Ver=%u FTPNAK=%u SN=%u Size=%u SeqCnt=%u StreamSize=%d ErrorCode:%u "
             "ErrorMessage:%s",
             FHead.CMD, FHead.Priv, FHead.ExtCmd, FHead.Ver, FHead.FTPNAK, FHead.SN, FHead.Size, FHead.SeqCnt,
             int(stream.Size()), nak.ErrorCode, U8(message).constData());
  auto closeCb = [this](QObject* s, int r) { NAKerrorCB(s, r); };
  if (FHead.CMD == 3 && FHead.ExtCmd == 3) {  // the upload has its answer
    FParaDeadline = 0;
    FParaWatch->stop();
  }
  if (FSendParaDone) {
    ReportParaDone(false);
  } else if (nak.ErrorCode == nakSessionRefused && FHead.CMD == 1) {
    ShowMessage(message, TMsgDlgType::mtError, closeCb);
    returnAtOnce = true;
    return true;
  } else if (FDisplayConnMessage) {
    const QString text =
        nak.ErrorCode == nakNoAccess ? NoAccessText(FSSHUser) : GeneralErrorText() + QStringLiteral(" NAK: ") + message;
    ShowMessage(text, TMsgDlgType::mtError, closeCb);
  } else if (FNAKCB) {
    FNAKCB(this, nak.ErrorCode);
  }
  stream.SetPosition(FHead.Size);
  WorkEvent(TWorkMode::wmRead, 0, TWorkStatus::WorkEnd);
  if (FStopWork) FStopWork();
  return false;
}

void TComUnit::Dispatch(TMemoryStream& stream, bool& result) {
  switch (RouteByCmd(FHead.CMD)) {
    case TAnswerGroup::agSession: SessionCommand(stream); break;
    case TAnswerGroup::agIdentity: IdentityCommand(stream); break;
    case TAnswerGroup::agSetup: SetupCommand(stream); break;
    case TAnswerGroup::agStream: StreamCommand(stream); break;
    case TAnswerGroup::agReadout: ReadoutCommand(stream); break;
    case TAnswerGroup::agLua: LUACommand(stream); break;
    case TAnswerGroup::agScratchpad: ScratchPadCommand(stream); break;
    case TAnswerGroup::agNtp: NTPCommand(stream); break;
    case TAnswerGroup::agFileStream: FileStream(stream); break;
    case TAnswerGroup::agUnknown:
      LOGFM(true, "ComUnit: unbekanntes Kommando CMD=%x, Warteschlange verworfen", FHead.CMD);
      ClearStreamAndBuffer();
      FSendLst.clear();
      result = false;
      break;
  }
  // Whatever a handler read, the next frame starts at this frame's end.
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
}

void TComUnit::SkipFrame(TMemoryStream& stream, const char* handler) {
  LOGF("ComUnit: %s CMD=%x ExtCmd=%x Size=%u", handler, FHead.CMD, FHead.ExtCmd, FHead.Size);
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
}


void TComUnit::FileStream(TMemoryStream& s) {
  LOGF("FS: StreamPos: %d, sz: %d", int(s.Position()), int(s.Size()));
  // Device text stream: ExtCmd 5 carries log text, the rest nothing we use.
  if (FHead.ExtCmd == CDeviceTextExtCmd) {
    const QByteArray text = CurrentFrame(s).mid(CHeadSize);
    WriteLog(QString::fromLatin1(text), true);
  }
  s.SetPosition(qMin<qsizetype>(FHead.Size, s.Size()));
}

// ---- NAK follow-up, shutdown, failures ------------------------------------------------

void TComUnit::NAKerrorCB(QObject*, int) {
  if (FNAKCB) FNAKCB(this, 0);
  if (FRequestClose) {
    WriteLog(QStringLiteral("NAK RequestClose"));
    Postpone(this, [this] {
      if (FRequestClose) FRequestClose(this);
    });
  }
}

void TComUnit::ShutDown(QObject*, TShutDownComplete OnComplete) {
  if (OnComplete) FShutDownComplete = std::move(OnComplete);
  FShutdownTime = FNow() + CShutdownMs;
  FShutDown = true;
  LOGF("ComUnit: ShutDown Start - Connected: %s", U8(BoolText(IsConnected())).constData());
  if (IsConnected() && IsTimerActive()) {
    FSendLst.clear();
    if (FNTPTunnelActive) SendCommand(ccci::TCcci::TUNNEL_NTP_CLOSE);
    if (FStreamRec.ObjHdl > 1) SendCommand(ccci::TCcci::STREAM_STOP, FStreamRec.ObjHdl);
    SendCommand(ccci::TCcci::SESSION_STP);
    return;
  }
  if (FShutDownComplete) {
    FOnLogCallBack = nullptr;
    TShutDownComplete done = std::move(FShutDownComplete);
    FShutDownComplete = nullptr;
    Postpone(this, [this, done] { done(this); });
  }
}

void TComUnit::ThreadException(QObject*, const QString& message) {
  WriteLog(QStringLiteral("ThreadExcept ") + message, true);
  FailFileRequest(ConnectionLostText(), false);
  DoDisconnect(false);
  FTimer->stop();
  if (FDisplayConnMessage) {
    ShowMessage(ConnectionLostText(), TMsgDlgType::mtError, [this](QObject* s, int r) { AfterConDisp(s, r); });
    if (FClearWork) FClearWork();
  } else {
    AfterConDisp(this, 1);
  }
}

void TComUnit::AfterConDisp(QObject*, int) {
  FTHreadExcept = true;
  auto notify = [this] {
    if (FThreadExceptCallBack) FThreadExceptCallBack(this);
    WriteLog(QStringLiteral("Request Close"));
    if (FRequestClose) FRequestClose(this);
  };
  if (OnGuiThread())
    notify();
  else
    Postpone(this, notify);
}

// ---- Transport defaults -------------------------------------------------------------------

void TComUnit::ClearStreamAndBuffer() {
  FTransferInProgress = false;
  FWaitForAnswer = false;
}

void TComUnit::CreateThread(bool) { WriteLog(QStringLiteral("Create Thread")); }

void TComUnit::CloseConnection(bool notify) { DoDisconnect(notify); }

void TComUnit::WorkEvent(TWorkMode, int64_t, TWorkStatus) {}

void TComUnit::ReadData(TMemoryStream& frame) {
  if (frame.Size() < CHeadSize) return;
  Evaluate(frame);
}

bool TComUnit::SendCommandStream(const QByteArray&, bool) {
  WriteLog(QStringLiteral("Reathread not assigned"));
  return false;
}

void TComUnit::ReConnect() {}

bool TComUnit::IsConnected() const { return false; }

void TComUnit::DoDisconnect(bool) { WriteLog(QStringLiteral("ComUnit Call Disconnect")); }

void TComUnit::StreamErrorsSearch() {
  // Stop the stalled stream now and ask for it again two seconds later.
  const uint32_t hdl = FStreamRec.ObjHdl;
  const uint32_t obj = FStreamRec.ObjID;
  Postpone(this, [this, hdl] { SendCommand(ccci::TCcci::STREAM_STOP, hdl); });
  Postpone(this, [this, obj] { SendCommand(ccci::TCcci::STREAM_START, obj); }, 2000);
}

}  // namespace vanta
