#include "Calib.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QTimer>

#include "FlashJob.h"
#include "Language.h"
#include "SaveWhole.h"

namespace vanta {

const std::array<TCalibStatusText, 12> CCalibStatusTexts{{
    {"Calibration todo", QT_TRANSLATE_NOOP("TTr", "Kaliebrierung noch nicht gestartet")},
    {"Frequency tolerance violation", QT_TRANSLATE_NOOP("TTr", "Frequenz außer Toleranz")},
    {"Frequency fluctuation", QT_TRANSLATE_NOOP("TTr", "Frequenz instabil")},
    {"Magnitude out of range", QT_TRANSLATE_NOOP("TTr", "Amplitudenberechsverletzung")},
    {"Distortion", QT_TRANSLATE_NOOP("TTr", "Verzerrung")},
    {"Calibration tolerance violation", QT_TRANSLATE_NOOP("TTr", "Kalibriergröße ausser Toleranz")},
    {"Calibration quantity fluctuation", QT_TRANSLATE_NOOP("TTr", "Kalibriergröße instabil")},
    {"Permission denied", QT_TRANSLATE_NOOP("TTr", "Zugriff verweigert")},
    {"Device or resource busy", QT_TRANSLATE_NOOP("TTr", "Laufende Kalibrierung")},
    {"No such device", QT_TRANSLATE_NOOP("TTr", "Ungültiger Messkanal")},
    {"Invalid argument", QT_TRANSLATE_NOOP("TTr", "Ungültiger Parameter")},
    {"Timer expired", QT_TRANSLATE_NOOP("TTr", "Timeout, Kalibrierung fehlgeschlagen")},
}};

const std::array<const char*, 25> CCalibReportKeys{
    "DeviceType", "DeviceNumber", "UserName", "CheckDate", "CheckTime", "Prescription", "AirTemp",
    "AitHum",     "Pressure",     "Programm", "Annotation", "Model1",   "Serial1",      "CheckNr1",
    "CalTo1",     "CertNr1",      "Model2",   "Serial2",    "CheckNr2", "CalTo2",       "CertNr2",
    "Frei1",      "Frei1Val",     "Frei2",    "Frei2Val"};  // untranslated: the report dictionary's keys

uint32_t CalibMarkColour(int state) {
  switch (state) {
    case 0: return 0xFFE0E0E0;
    case 1: return 0xFFFFFF00;
    case 2: return 0xFF32CD32;
    default: return 0xFFFF0000;
  }
}

bool ConvertReferenz(const QString& u, const QString& i, QString& refU, QString& refI) {
  // Read with "." as the decimal separator whatever the desktop's locale.
  const QLocale c = QLocale::c();
  bool okU = false, okI = false;
  const double vu = c.toDouble(QString(u).replace(QLatin1Char(','), QLatin1Char('.')).trimmed(), &okU);
  const double vi = c.toDouble(QString(i).replace(QLatin1Char(','), QLatin1Char('.')).trimmed(), &okI);
  if (!okU || !okI) return false;
  refU = QString::number(vu, 'f', 3);
  refI = QString::number(vi, 'f', 3);
  return true;
}

QString CalibChannelName(int item) {
  const int ch = item % 8;
  return ch < 4 ? QStringLiteral("U%1").arg(ch + 1) : QStringLiteral("I%1").arg(ch - 3);
}

TCalibMachine::TCalibMachine(TComUnit& unit, QObject* parent) : QObject(parent), FUnit(unit) {
  Channel.fill(-1);
  FTimer = new QTimer(this);
  FTimer->setSingleShot(true);
  connect(FTimer, &QTimer::timeout, this, [this] { WaitEnded(); });
  FWatch = new QTimer(this);
  FWatch->setSingleShot(true);
  connect(FWatch, &QTimer::timeout, this, [this] {
    AnswerUnknown(tr("Kalibrierung: keine Antwort vom Gerät nach %1").arg(ElapsedText(AnswerTimeoutMs)));
  });
  FTick = new QTimer(this);
  FTick->setInterval(1000);
  connect(FTick, &QTimer::timeout, this, [this] {
    if (OnWaitingFor) OnWaitingFor(QDateTime::currentMSecsSinceEpoch() - FSentAt);
  });
  FSavedClearWork = FUnit.FClearWork;
  FUnit.FClearWork = [this, chained = FSavedClearWork] {
    if (chained) chained();
    QTimer::singleShot(0, this, [this] { ConnectionLost(); });
  };
}

TCalibMachine::~TCalibMachine() {
  FUnit.FClearWork = FSavedClearWork;
  FUnit.FTmpLUACallBack = nullptr;
}

void TCalibMachine::ConnEst(bool connected) {
  if (!connected) {
    FReady = false;
    Changed();
    return;
  }
  if (FUnit.FisSSHCon) {
    FUnit.FFlashDone = nullptr;
    FUnit.CheckSSHRight(
        QStringLiteral("pq.calClose(0)"),
        [this] {
          FReady = true;
          Changed();
        },
        [this] { Close(); }, true);
    return;
  }
  if (FUnit.FRev.IsAtLeastVer(2, 10, 0)) {
    if (OnInfo) OnInfo(TTr::tr(CCalibUnsupported));
    Close();
    return;
  }
  FReady = true;
  Changed();
}

void TCalibMachine::Start() {
  if (Busy() || FSaving || FClosed || !FReady) return;
  Step = 0;
  ErrorText.clear();
  SendCalibCommand(QStringLiteral("pq.calClose(0)"));
}

void TCalibMachine::Next() {
  if (Busy() || FSaving) return;
  ErrorText.clear();
  NextStep();
}

void TCalibMachine::Back() {
  if (Busy() || FSaving || Step < 2 || Step > 3) return;  // the way back exists on the two pages after set-up
  Step -= 2;
  NextStep();
}

void TCalibMachine::Restart() {
  if (Busy() || FSaving) return;
  Step = 0;
  ErrorText.clear();
  SendCalibCommand(QStringLiteral("pq.calClose(0)"));
}

void TCalibMachine::Abort() { Close(); }

bool TCalibMachine::WaitingForDevice() const { return FWatch->isActive(); }

void TCalibMachine::StopWaiting() {
  if (!WaitingForDevice()) return;
  AnswerUnknown(tr("Kalibrierung: Warten auf das Gerät nach %1 abgebrochen")
                    .arg(ElapsedText(QDateTime::currentMSecsSinceEpoch() - FSentAt)));
}

// No answer (in time): what the device did with the statement is not known.
// The procedure goes back to its start; nothing is called failed or kept,
// and the line is left as it is.
void TCalibMachine::AnswerUnknown(const QString& why) {
  FWatch->stop();
  FTick->stop();
  Log(why);
  FUnit.FTmpLUACallBack = nullptr;
  if (Step == 1000) return Close();  // the reset went out; the device may restart without a word
  ErrorText = TTr::tr(CResultUnknownText);
  FSaving = false;
  FStatus = false;
  Step = -1;
  WaitEnded();
}

void TCalibMachine::SendCalibCommand(const QString& statement) {
  WaitProc(0);
  const QString wire = FUnit.FisSSHCon ? QStringLiteral("print(uti.err2ascii(%1))").arg(statement) : statement;
  Sent << wire;
  Log(QStringLiteral("Kalibrierung Send:") + statement);
  FWatch->start(AnswerTimeoutMs);
  FSentAt = QDateTime::currentMSecsSinceEpoch();
  FTick->start();
  if (OnWaitingFor) OnWaitingFor(0);
  FUnit.RunLua(wire, [this](QObject*, const QString& text) { Answer(text); });
}

void TCalibMachine::Answer(const QString& text) {
  FWatch->stop();
  FTick->stop();
  Log(QStringLiteral("Kalibrierung CommandDone"));
  WaitEnded();  // its end runs the next step, on the next turn
  Log(QStringLiteral("Kalibrierung recieve:") + text);
  const bool resetAnswer = Step == 1000;
  CheckLUAResult(text);
  // The reset's answer closes, whatever it says: the reset is never sent twice.
  if (resetAnswer) {
    Close();
    return;
  }
  if (!FSaving) return;
  if (Step == -1) {
    // The device did not keep the calibration: no certificate, no reset.
    FSaving = false;
    return;
  }
  Saved = true;
  Report();
}

void TCalibMachine::CheckLUAResult(const QString& text) {
  if (Step <= 0 || text.trimmed().isEmpty()) return;
  bool good = text.contains(QLatin1String("No Error"), Qt::CaseInsensitive) ||
              text.contains(QLatin1String("Calibration ok"), Qt::CaseInsensitive);
  if (!good) {
    good = true;
    for (const TCalibStatusText& s : CCalibStatusTexts) {
      if (!text.contains(QLatin1String(s.Device))) continue;
      Step = -1;
      ErrorText = TTr::tr(s.Message);
      FStatus = false;
      good = false;
      break;
    }
  }
  Log(QStringLiteral("Kalibrierung Status: ") + (FStatus ? QStringLiteral("True") : QStringLiteral("False")));
  // The answer to the closing pq.calClose(1) comes at step 31 too, but it
  // is no channel's status.
  if (good && Step >= 16 && Step <= 31 && !FSaving) CheckStatus(text);
  Changed();
}

void TCalibMachine::CheckStatus(const QString& text) {
  const int item = Step - 16;
  ChannelText[size_t(item)] = text.trimmed();
  if (text.contains(QLatin1String("Calibration ok"), Qt::CaseInsensitive)) {
    Channel[size_t(item)] = 1;
  } else {
    Channel[size_t(item)] = 0;
    FStatus = false;
  }
}

void TCalibMachine::SetStat(int mark, int state) {
  if (mark < 0 || mark > 6) return;
  Marks[size_t(mark)] = state;
  if (state == 2 && mark < 6) Marks[size_t(mark + 1)] = 1;
}

void TCalibMachine::WaitProc(int seconds) {
  FWaiting = true;
  if (OnWait) OnWait(seconds);
  if (seconds > 0) FTimer->start(int(seconds * 1000 * WaitScale));
}

void TCalibMachine::WaitEnded() {
  if (!FWaiting) return;
  FWaiting = false;
  FTimer->stop();
  if (OnWait) OnWait(-1);
  FNextPending = true;
  QTimer::singleShot(0, this, [this] {
    FNextPending = false;
    NextStep();
  });
}

void TCalibMachine::NextStep() {
  if (FSaving || FClosed || Step == 1000) return;
  Log(QStringLiteral("Kalibrierung Next:%1").arg(Step));
  if (Step == 1 || Step == 2)
    Buttons = cbBack | cbNext;
  else if (Step == 0)
    Buttons = cbNext;
  else if (Step >= 3 && Step <= 30)
    Buttons = cbNext | cbRestart;
  else if (Step == 31)
    Buttons = cbSaveExit | cbRestart;
  else
    Buttons = 0;
  auto send = [this](int next, const QString& statement) {
    Step = next;
    Changed();
    SendCalibCommand(statement);
  };
  switch (Step) {
    case -1:
      Page = TCalibPage::cpStart;
      break;
    case 0:
      Marks.fill(0);
      Marks[0] = 1;
      Channel.fill(-1);
      for (QString& t : ChannelText) t.clear();
      ResultText.clear();
      DeviceSN = QString::number(FUnit.FSN);
      CheckDate = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
      CheckTime = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
      FStatus = true;
      ++SetupGeneration;
      Page = TCalibPage::cpSetup;
      Step = 1;
      break;
    case 1:
      Page = TCalibPage::cpConditions;
      Step = 2;
      break;
    case 2:
      Page = TCalibPage::cpCalib;
      Frame = 1;
      Step = 3;
      break;
    case 3:
      SetStat(0, 2);
      Frame = 2;
      Step = 4;
      break;
    case 4: return send(5, QStringLiteral("pq.calOpen(%1)").arg(Freq60 ? QStringLiteral("60.000") : QStringLiteral("50.000")));
    case 5:
      SetStat(1, 2);
      Step = 6;
      Changed();
      return WaitProc(15);
    case 6: return send(7, QStringLiteral("pq.calU(0)"));
    case 7: return send(8, QStringLiteral("pq.calI(0)"));
    case 8:
      SetStat(2, 2);
      Frame = 3;
      Step = 9;
      break;
    case 9:
      Step = 10;
      Changed();
      return WaitProc(15);
    case 10:
      SetStat(3, 2);
      Frame = 4;
      Step = 11;
      break;
    case 11:
      if (!ConvertReferenz(RefUText, RefIText, FRefU, FRefI)) {
        ErrorText = TTr::tr(CCalibBadInput);
        break;
      }
      return send(12, QStringLiteral("pq.calU(%1)").arg(FRefU));
    case 12: return send(13, QStringLiteral("pq.calI(%1)").arg(FRefI));
    case 13:
      SetStat(4, 2);
      Step = 14;
      Changed();
      return WaitProc(30);
    case 14:
      Frame = 5;
      Step = 15;
      Changed();
      return NextStep();
    case 31:
      SetStat(5, 2);
      // A check without an answer (an empty text) is no "Calibration ok".
      for (int c : Channel) FStatus = FStatus && c == 1;
      ResultOk = FStatus;
      ResultText = TTr::tr(FStatus ? CCalibSuccess : CCalibFailure);
      break;
    default:
      if (Step >= 15 && Step <= 30) {
        const int n = Step - 15;
        return send(Step + 1, QStringLiteral("pq.calState(%1,%2)").arg(n % 8 + 1).arg(n / 8));
      }
      break;
  }
  Changed();
}

void TCalibMachine::SaveAndExit() {
  if (Step != 31 || !FStatus || FSaving || Busy()) return;
  // Once the device keeps the calibration there is no way back: a
  // certificate that could not be written then would be lost for good.
  const QString folder = ReportFolder.isEmpty() ? FUnit.FTmpDir : ReportFolder;
  if (const QString problem = FolderWriteProblem(folder.isEmpty() ? QDir::tempPath() : folder); !problem.isEmpty()) {
    ErrorText = tr("Das Kalibrierzertifikat kann nicht gespeichert werden (%1). Die Kalibrierung wurde nicht übernommen.")
                    .arg(problem);
    Log(ErrorText);
    Changed();
    return;
  }
  FSaving = true;
  SendCalibCommand(QStringLiteral("pq.calClose(1)"));
}

void TCalibMachine::Report() {
  // The calibration is kept on the device now: the certificate, then the
  // reset, whatever the report library says.
  FReportDict.clear();
  for (const char* k : CCalibReportKeys) FReportDict.insert(QLatin1String(k), QString());
  FReportDict.insert(QStringLiteral("DeviceNumber"), DeviceSN);
  FReportDict.insert(QStringLiteral("CheckDate"), CheckDate);
  FReportDict.insert(QStringLiteral("CheckTime"), CheckTime);
  FReportDict.insert(QStringLiteral("Programm"), FSWVer);
  // What the channels were calibrated against, as the device was told.
  FReportDict.insert(QStringLiteral("RefVoltage"), FRefU);
  FReportDict.insert(QStringLiteral("RefCurrent"), FRefI);
  FReportDict.insert(QStringLiteral("RefFrequency"), Freq60 ? QStringLiteral("60.000") : QStringLiteral("50.000"));
  if (FillReport) FillReport(FReportDict);
  const QString name = QStringLiteral("%1_%2_%3.pdf")
                           .arg(CCalibPrefix, FileNamePart(FReportDict.value(QStringLiteral("DeviceNumber"))),
                                FileNamePart(FReportDict.value(QStringLiteral("CheckDate"))));
  const QString folder = ReportFolder.isEmpty() ? FUnit.FTmpDir : ReportFolder;
  ReportFile = QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(name);
  if (MakeReport) {
    ReportError = MakeReport(FReportDict, ReportFile);
    if (!ReportError.isEmpty()) Log(QStringLiteral("ReportError: %1_%2").arg(QStringLiteral("KalibratorReport"), ReportError));
  } else {
    ReportError = tr("keine Berichtsbibliothek");
    Log(QStringLiteral("ReportError: %1_%2").arg(QStringLiteral("Library"), ReportError));
  }
  Step = 1000;
  Changed();
  ResetSent = true;
  SendCalibCommand(QStringLiteral("uti.softreset()"));
}

void TCalibMachine::Close() {
  if (FClosed) return;
  FClosed = true;
  FWatch->stop();
  FTick->stop();
  FTimer->stop();
  if (OnClose) OnClose();
}

void TCalibMachine::ConnectionLost() {
  if (FClosed) return;
  FWatch->stop();
  FTick->stop();
  FReady = false;  // until the line is back
  // The reset closes the line itself: then the work is done.
  if (Step == 1000) return Close();
  FSaving = false;
  if (Step < 0 && !FWaiting) return;
  ErrorText = ConnectionLostText();
  FStatus = false;
  Step = -1;
  if (FWaiting)
    WaitEnded();
  else
    NextStep();
}

}  // namespace vanta
