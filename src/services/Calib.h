#pragma once
// The calibration procedure as a state machine over one connected client:
// the step number (-1 .. 31, 1000 while closing) decides what the next
// "Weiter", timed wait or device answer does. The window and the command
// line drive the same object; waits go through an injectable timer so tests
// and the command line can shorten them.
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

#include "ComUnit.h"

class QTimer;

namespace vanta {

// A device status text and the message the operator sees for it.
struct TCalibStatusText {
  const char* Device;
  const char* Message;
};
extern const std::array<TCalibStatusText, 12> CCalibStatusTexts;

// Catalogue keys (context "TTr"): shown through TTr::tr, compared as German.
inline const char* const CCalibUnsupported = QT_TRANSLATE_NOOP("TTr", "Dieses Feature wird in dieser Firmware nicht mehr unterstützt");
inline const char* const CCalibBadInput = QT_TRANSLATE_NOOP("TTr", "Ungültige Eingabe!");
inline const char* const CCalibSuccess = QT_TRANSLATE_NOOP("TTr", "Kalibration erfolgreich!");
inline const char* const CCalibFailure = QT_TRANSLATE_NOOP("TTr", "Kalibration nicht erfolgreich!");
inline const QString CCalibPrefix = QStringLiteral("Kalibrierung");

// The report's keys, exactly as the report library reads them.
extern const std::array<const char*, 25> CCalibReportKeys;

enum class TCalibPage : uint8_t { cpStart, cpSetup, cpConditions, cpCalib };
// Step frames 1 .. 5 (0: none).
enum TCalibButtons : uint32_t { cbBack = 1, cbNext = 2, cbRestart = 4, cbSaveExit = 8 };
// Progress mark colours by state: open, in progress, done, failed.
uint32_t CalibMarkColour(int state);
// "," becomes "."; both must read as numbers. The values formatted "0.000".
bool ConvertReferenz(const QString& u, const QString& i, QString& refU, QString& refI);
// Channel names of the sixteen list items: U1..U4, I1..I4, twice.
QString CalibChannelName(int item);

class TCalibMachine : public QObject {
  Q_OBJECT
 public:
  explicit TCalibMachine(TComUnit& unit, QObject* parent = nullptr);
  ~TCalibMachine() override;

  // ---- Inputs ----
  bool Freq60 = false;                      // TFrame2
  QString RefUText = QStringLiteral("100.000");  // TFrame4
  QString RefIText = QStringLiteral("5.000");
  QString FSWVer;
  double WaitScale = 1.0;  // 0: waits end at once
  // A calibration step may keep the device busy for a while: only after
  // this long is the answer given up (result unknown, nothing failed).
  int AnswerTimeoutMs = 2 * 60 * 1000;
  // Called when a report is written: the operator's fields, the file.
  std::function<void(QMap<QString, QString>& dict)> FillReport;
  std::function<QString(const QMap<QString, QString>& dict, const QString& pdf)> MakeReport;  // error text
  QString ReportFolder;

  // ---- What the window shows ----
  std::function<void(const QString& line)> OnLog;
  std::function<void()> OnChanged;            // step, page, frame, marks, buttons, texts
  std::function<void(int seconds)> OnWait;    // 0: waiting for the device; -1: waiting ended
  // Once a second while the device is waited for: how long so far.
  std::function<void(qint64 elapsedMs)> OnWaitingFor;
  std::function<void(const QString& text)> OnInfo;  // an information box
  std::function<void()> OnClose;               // `FClose`

  // ---- State ----
  int Step = -1;
  bool FStatus = false;
  QString FRefU, FRefI;
  TCalibPage Page = TCalibPage::cpStart;
  int Frame = 0;
  std::array<int, 7> Marks{};
  uint32_t Buttons = 0;
  QString ErrorText;
  QString ResultText;
  bool ResultOk = false;
  std::array<int, 16> Channel{};  // -1 not yet, 0 failed, 1 ok
  std::array<QString, 16> ChannelText;
  QString DeviceSN, CheckDate, CheckTime;
  QStringList Sent;  // every statement as it went out
  QMap<QString, QString> FReportDict;
  QString ReportFile, ReportError;
  bool Saved = false;        // the device kept the calibration (pq.calClose(1) answered without error)
  bool ResetSent = false;    // the closing uti.softreset() went out
  int SetupGeneration = 0;   // counts the runs of step 0 (the window fills serial, date, time then)
  // Waiting for the device or a timer, or the step after it not run yet.
  bool Busy() const { return FWaiting || FNextPending; }

  // The device may be calibrated (rights and firmware checked).
  bool Ready() const { return FReady; }

  // ---- Operator and connection ----
  void ConnEst(bool connected);
  void Start();    // "Kalibration starten"
  void Next();     // "Weiter"
  void Back();     // the way back
  void Restart();  // "Kalibration wiederholen"
  void SaveAndExit();
  void Abort();
  // "Abbrechen" while the device works on a statement: stop waiting for its
  // answer. The step's outcome is unknown; the line stays.
  void StopWaiting();
  bool WaitingForDevice() const;

  // ---- Steps ----
  void SendCalibCommand(const QString& statement);
  void Answer(const QString& text);
  void CheckLUAResult(const QString& text);
  void CheckStatus(const QString& text);
  void SetStat(int mark, int state);
  void WaitProc(int seconds);
  void NextStep();

 private:
  void Log(const QString& line) {
    if (OnLog) OnLog(line);
  }
  void Changed() {
    if (OnChanged) OnChanged();
  }
  void WaitEnded();
  void Close();
  void ConnectionLost();
  void Report();

  TComUnit& FUnit;
  QTimer* FTimer = nullptr;     // timed waits
  QTimer* FWatch = nullptr;     // an answer that never comes
  QTimer* FTick = nullptr;      // how long the answer has been waited for
  qint64 FSentAt = 0;
  void AnswerUnknown(const QString& why);
  bool FWaiting = false;
  bool FNextPending = false;
  bool FReady = false;
  bool FSaving = false;
  bool FClosed = false;
  TProc FSavedClearWork;
};

}  // namespace vanta
