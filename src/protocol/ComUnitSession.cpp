// Session start, identity and the rights check.
#include <QDateTime>

#include "ComUnit.h"
#include "LogFormat.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

void TComUnit::SetSSHUserPass(const QString& user, const QString& password) {
  FSSHUser = user;
  FSSHPassword = password;
}

void TComUnit::SendStartCommand(uint8_t Method, const QByteArray& user, const QByteArray& secret) {
  const THeaderContext ctx = HeaderContext();
  const QByteArray frame = BuildStartRecord(ctx, Method, user, secret);
  LOGF("Sending ccc_start_s CMD: %x | Priv: %x | ExtCmd: %x | Method: %d | NAK: %x | Ver: %d | Seq: %u | Size: %d", 1,
             0, 0, int(Method), ctx.FTPNAK, int(ctx.Ver), ctx.SeqCnt, int(frame.size()));
  if (Method == 1)
    LOGF("Sending Auth with User: %s and Ticket %s", user.constData(), secret.constData());
  SendCommandStream(frame, false);
}

void TComUnit::CheckSSHRight(const QString& right, TProc OnGranted, TProc OnDenied, bool ShowMessage) {
  FTmpLUACallBack = [this, OnGranted, OnDenied, ShowMessage](QObject*, const QString& text) {
    if (text.contains(QLatin1String("true"), Qt::CaseInsensitive)) {
      if (OnGranted) OnGranted();
      return;
    }
    if (!ShowMessage) {
      if (OnDenied) OnDenied();
      return;
    }
    Postpone(this, [this, OnDenied] {
      this->ShowMessage(TTr::tr("Der Benutzer \"%1\" hat nicht die nötigen Rechte für diesen Vorgang!").arg(FSSHUser),
                  TMsgDlgType::mtError, {});
      if (OnDenied) OnDenied();
    });
  };
  SendLua(QStringLiteral("print(user.authorized(\"%1\")[\"%1\"]);").arg(right), QStringLiteral("User"));
}

void TComUnit::StartCredentialSession() {
  CheckSSHRight(
      QStringLiteral("lua.user.ticketGet"),
      [this] {
        FTmpLUACallBack = [this](QObject*, const QString& text) {
          const qsizetype crlf = text.indexOf(QLatin1String("\r\n"));
          const QString ticket = (crlf >= 0 ? text.left(crlf) : text).trimmed();
          SendStartCommand(1, FSSHUser.toLatin1(), ticket.toLatin1());
        };
        SendCommand(ccci::TCcci::LUA_COMMAND, QStringLiteral("print(user.ticketGet())"), true);
      },
      [this] {
        if (IsConnected()) SendStartCommand(0, FSSHUser.toLatin1(), FSSHPassword.toLatin1());
      },
      false);
}

tmStamp_t TComUnit::CorrectUTCtoLocal(tmStamp_t ts) const { return vanta::CorrectUTCtoLocal(ts, FtmeSet); }

void TComUnit::SessionCommand(TMemoryStream& stream) {
  FVer = FHead.Ver;
  if (FHead.Ver < 5) {
    TSessionAnswer answer;
    if (const QString e = DecodeSessionAnswer(CurrentFrame(stream), answer); !e.isEmpty()) {
      WriteLog(QStringLiteral("ComUnit: ") + e, true);
    } else {
      FUser = QString::fromLatin1(answer.User);
      FPAss = QString::fromLatin1(answer.Password);
    }
    // The password never goes into a log: logs are shared with support.
    LOGF("ComUnit User: %s Pass: %s", U8(FUser).constData(), FPAss.isEmpty() ? "" : "***");
  }
  ClearStreamAndBuffer();
  SendCommand(ccci::TCcci::IDENTIFY_ALL);
  FTimer->start();
}

namespace {
QString LocalDateText(uint32_t unixSeconds) {
  return UTCToSystemTime(unixSeconds).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString LuaQuoted(const QString& text) {
  QString out = text;
  out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  out.replace(QLatin1Char('"'), QStringLiteral("\\\""));
  return out;
}
}  // namespace

void TComUnit::IdentityCommand(TMemoryStream& stream) {
  LOGF("Identity=%d", int(FHead.ExtCmd));
  const QByteArray frame = CurrentFrame(stream);
  if (FHead.ExtCmd == 0) {
    TIdentityBasic id;
    if (const QString e = DecodeIdentityBasic(frame, id); !e.isEmpty()) {
      WriteLog(QStringLiteral("ComUnit: ") + e, true);
      return;
    }
    FDevType = DevTypeFromArticle(id.ArtNum);
    LOGF("IN: Idendity: SerNum=%u ArtNum=%u ProdDate=%s", id.SerNum, id.ArtNum,
               U8(LocalDateText(id.ProdDate)).constData());
    return;
  }
  if (FHead.ExtCmd != 1) return;
  TIdentityFull id;
  WriteLog(QStringLiteral("IN: IdendityAll ----------- Start --------"));
  if (const QString e = DecodeIdentityFull(frame, id); !e.isEmpty()) {
    WriteLog(QStringLiteral("ComUnit: ") + e, true);
    return;
  }
  FArtNum = id.ArtNum;
  FDevType = DevTypeFromArticle(id.ArtNum);
  LOGF("IN: IdendityAll: SerNum=%u ArtNum=%u ProdDate=%s", id.SerNum, id.ArtNum,
             U8(LocalDateText(id.ProdDate)).constData());
  FConTime = id.DevClock;
  FtmeSet = id.TimeSet;
  FTimeSetKnown = true;
  const time_set_t& t = FtmeSet;
  const tmStamp_t local = CorrectUTCtoLocal({FConTime, 0});
  LOGF("IN: IdendityAll: Time=%s",
             U8(TPQTimeProgs::VantaTS_to_StrSec(TPQTimeProgs::TStoLinear(local))).constData());
  LOGF("IN: IdendityAll: Std=%u", t.Std);
  LOGF("IN: IdendityAll tmeeSet.Stdtz Vorzeichen=%u Hour=%u Min=%u", t.Stdtz & 1u, unsigned(t.Stdtz >> 1),
             unsigned(t.StdtzMin));
  LOGF("IN: IdendityAll tmeSet.tz Vorzeichen=%u Hour=%u Min=%u", t.tz & 1u, unsigned(t.tz >> 1), unsigned(t.tzMin));
  LOGF("IN: IdendityAll tmeSet.dstmode dstmode=%u", t.dstmode);
  LOGF("IN: IdendityAll tmeSet.ws mon=%u day=%u hour=%u dow=%u", t.ws[0], t.ws[1], t.ws[2], t.ws[3]);
  LOGF("IN: IdendityAll tmeSet.sw mon=%u day=%u hour=%u dow=%u", t.sw[0], t.sw[1], t.sw[2], t.sw[3]);
  LOGF("IN: IdendityAll tmeSet.ls year=%u mon=%u day=%u sgn=%u", t.ls[0], t.ls[1], t.ls[2], t.ls[3]);
  LOGF("IN: IdendityAll tmeSet.ntpcycle ntpcycle=%u", t.ntpcycle);
  for (int i = 0; i < 4; ++i)
    LOGF("IN: IdendityAll tmeSet.ntpip ntpip%d=%s", i, t.ntpip[size_t(i)].constData());
  for (int i = 0; i < 4; ++i)
    LOGF("IN: IdendityAll tmeSet.ntpport ntpip%d=%u", i, unsigned(t.ntpport[size_t(i)]));
  LOGF("IN: IdendityAll tmeSet.bdnmea bdnmea=%u", t.bdnmea);
  LOGF("IN: IdendityAll tmeSet.rsnmea rsnmea=%u", t.rsnmea);
  LOGF("IN: IdendityAll tmeSet.rspcm rspcm=%u", t.rspcm);
  WriteLog(QStringLiteral("IN: IdendityAll tmeeSet ----------- Ende--------"));  // untranslated

  FRev.SetRaw(id.FirmwareWord);
  WriteLog(FRev.VerAsStr());
  // Only devices with old firmware need the heartbeat.
  FHeartBeatDisabled = id.FirmwareWord > CLegacyFirmwareMaxWord || FRev.Gen > 0;

  FPlant = QString::fromLatin1(id.Plant);
  FField = QString::fromLatin1(id.Field);
  FDevice = QString::fromLatin1(id.Device);
  if (FOnComNewSNCallBack) FOnComNewSNCallBack(this, id.SerNum, FDevType, FPlant, FField, FDevice);
  if (FOnConCallack)
    FOnConCallack(this, QStringLiteral("%1:%2 - %3 %4 %5 (%6)")
                            .arg(FIP)
                            .arg(FPort)
                            .arg(FPlant, FField, FDevice, FRev.VerAsStr()));
  if (id.SerNum != FSN) FSN = id.SerNum;
  WriteLog(QStringLiteral("Before Connection Done Assigend"));
  FTmpLUACallBack = [this](QObject*, const QString&) { ConnectionDone(); };
  SendLua(QStringLiteral("log.print(\"%1, %2\");").arg(LuaQuoted(FProgUser), LuaQuoted(FLocalIP)),
          QStringLiteral("WriteLogToVanta"));
}

void TComUnit::ConnectionDone() {
  if (FSetFolders) {
    SetDataFolders();
  } else if (!FCheckXMLFileVersions) {
    if (FOnConnDone && !FFTP) {
      WriteLog(QStringLiteral("Connection Done Assigned without Folder"));
      FOnConnDone(this, true);
    }
  } else {
    CheckFileVersions();
  }
  if (FFTP && FOnConnDone) FOnConnDone(this, true);
}

}  // namespace vanta
