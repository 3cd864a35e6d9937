// The calibration's own rules that need no device (reference entry, channel
// names), and the procedure itself driven over the in-memory client, the
// test playing the device: a whole run that is kept, a device text that
// stops it, an answer that never comes and a line that goes away.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <QDate>
#include <QFileInfo>

#include "Calib.h"
#include "TestSupport.h"

using namespace vanta;
using vanta::test::Dev;
using vanta::test::SpinFor;
using vanta::test::SpinUntil;
using vanta::test::TFakeClock;
using vanta::test::TTestComUnit;

TEST(CalibRules, ReferenceValuesTakeACommaAndRefuseText) {
  QString u, i;
  ASSERT_TRUE(ConvertReferenz(QStringLiteral("100,5"), QStringLiteral("5"), u, i));
  EXPECT_EQ(u, QStringLiteral("100.500"));
  EXPECT_EQ(i, QStringLiteral("5.000"));
  ASSERT_TRUE(ConvertReferenz(QStringLiteral(" 230.1234 "), QStringLiteral("0,0005"), u, i));
  EXPECT_EQ(u, QStringLiteral("230.123"));
  EXPECT_EQ(i, QStringLiteral("0.001"));
  EXPECT_FALSE(ConvertReferenz(QStringLiteral("1.000,5"), QStringLiteral("5"), u, i)) << "two separators";
  EXPECT_FALSE(ConvertReferenz(QStringLiteral("100"), QStringLiteral(""), u, i));
  EXPECT_FALSE(ConvertReferenz(QStringLiteral("1e"), QStringLiteral("5"), u, i));
}

TEST(CalibRules, ChannelNamesRepeatForTheSecondPass) {
  EXPECT_EQ(CalibChannelName(0), QStringLiteral("U1"));
  EXPECT_EQ(CalibChannelName(3), QStringLiteral("U4"));
  EXPECT_EQ(CalibChannelName(4), QStringLiteral("I1"));
  EXPECT_EQ(CalibChannelName(8), QStringLiteral("U1"));
  EXPECT_EQ(CalibChannelName(15), QStringLiteral("I4"));
}

namespace {

// One calibration over the in-memory client. Waits are cut to nothing; the
// device's answers are whatever the test delivers.
struct TCalibRun {
  TFakeClock Clock;
  TTestComUnit Unit{Clock};
  TCalibMachine M{Unit};
  QStringList Log;
  QStringList Reports;  // the certificate files asked for
  bool Closed = false;

  TCalibRun() {
    Unit.FSN = 4711;
    M.WaitScale = 0;
    M.FSWVer = QStringLiteral("calib-test 1.0");
    M.OnLog = [this](const QString& l) { Log << l; };
    M.OnClose = [this] { Closed = true; };
    M.MakeReport = [this](const QMap<QString, QString>&, const QString& pdf) {
      Reports << pdf;
      return QString();
    };
    M.ConnEst(true);
  }

  // Every Lua statement the device received, in order.
  QStringList Received() const {
    QStringList out;
    for (const test::TSentFrame& f : Unit.Sent) {
      if (!f.IsLua) continue;
      QByteArray s;
      if (ccci::DecodeLuaText(f.Bytes, s).isEmpty()) out << QString::fromLatin1(s);
    }
    return out;
  }
  QString InFlight() const {
    const QStringList r = Received();
    return r.isEmpty() ? QString() : r.last();
  }
  // Runs on until the machine sends its next statement or waits for the operator.
  bool Settle(qsizetype sentBefore) {
    return SpinUntil([&] { return qsizetype(Unit.Sent.size()) > sentBefore || !M.Busy(); }, 3000);
  }
  // The device answers the statement in flight.
  void Reply(const QByteArray& text) {
    const qsizetype before = qsizetype(Unit.Sent.size());
    ASSERT_TRUE(M.WaitingForDevice()) << "nothing asked";
    Unit.Deliver(ccci::BuildLuaOutput(Dev(), ccci::TLuaOutputKind::loEnd, text));
    ASSERT_TRUE(Settle(before)) << "no step after the answer to " << InFlight().toStdString();
  }
  // "Weiter".
  void Next() {
    const qsizetype before = qsizetype(Unit.Sent.size());
    ASSERT_FALSE(M.Busy());
    M.Next();
    ASSERT_TRUE(Settle(before));
  }
  // Start to the first channel check in flight (step 16, pq.calState(1,0)).
  void RunToChannelChecks() {
    M.Start();
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calClose(0)"));
    Reply("No Error");
    for (int i = 0; i < 4; ++i) Next();  // set-up, conditions, source off, frequency
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calOpen(50.000)"));
    Reply("No Error");
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calU(0)"));
    Reply("No Error");
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calI(0)"));
    Reply("No Error");
    Next();  // the calibrator is connected
    Next();  // the reference values as entered
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calU(100.000)"));
    Reply("No Error");
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calI(5.000)"));
    Reply("No Error");
    ASSERT_EQ(InFlight(), QStringLiteral("pq.calState(1,0)"));
    ASSERT_EQ(M.Step, 16);
  }
  // What the transports do when the line drops without being asked to: the
  // client is no longer connected and its clear-work hook runs.
  void LoseLine() {
    Unit.Connected = false;
    if (Unit.FClearWork) Unit.FClearWork();
  }
};

}  // namespace

// The usual run, so the cases below are known to differ from it only where
// they say: sixteen "Calibration ok", kept, the certificate, the reset.
TEST(CalibRun, AllChannelsOkIsKeptCertifiedAndEndsWithTheReset) {
  TCalibRun r;
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  for (int n = 0; n < 16; ++n) {
    ASSERT_EQ(r.InFlight(), QStringLiteral("pq.calState(%1,%2)").arg(n % 8 + 1).arg(n / 8));
    ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  }
  EXPECT_EQ(r.M.Step, 31);
  EXPECT_TRUE(r.M.ResultOk);
  EXPECT_EQ(r.M.ResultText, CCalibSuccess);
  EXPECT_TRUE(r.Reports.isEmpty()) << "nothing is kept before the operator says so";
  r.M.SaveAndExit();
  EXPECT_EQ(r.InFlight(), QStringLiteral("pq.calClose(1)"));
  ASSERT_NO_FATAL_FAILURE(r.Reply("No Error"));
  EXPECT_TRUE(r.M.Saved);
  ASSERT_EQ(r.Reports.size(), 1);
  EXPECT_EQ(QFileInfo(r.Reports[0]).fileName(),
            QStringLiteral("Kalibrierung_4711_%1.pdf").arg(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))));
  EXPECT_EQ(r.M.FReportDict.value(QStringLiteral("Programm")), QStringLiteral("calib-test 1.0"));
  EXPECT_EQ(r.InFlight(), QStringLiteral("uti.softreset()"));
  r.Unit.Deliver(ccci::BuildLuaOutput(Dev(), ccci::TLuaOutputKind::loEnd, {}));
  EXPECT_TRUE(SpinUntil([&] { return r.Closed; }));
}

// A device status text in a channel's answer stops the run with the
// operator's words for it; no further channel is asked.
TEST(CalibRun, ADeviceStatusTextStopsTheRunWithItsMessage) {
  TCalibRun r;
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  const qsizetype asked = r.Received().size();
  ASSERT_NO_FATAL_FAILURE(r.Reply("Timer expired"));
  EXPECT_EQ(r.M.ErrorText, QStringLiteral("Timeout, Kalibrierung fehlgeschlagen"));
  EXPECT_EQ(r.M.Step, -1);
  EXPECT_EQ(r.M.Page, TCalibPage::cpStart);
  SpinFor(50);
  EXPECT_EQ(r.Received().size(), asked) << r.Received().join('\n').toStdString();
}

// A channel check whose answer never comes within the step time: what the
// device did is unknown. The run goes back to its start with that said; it
// is neither a success nor the failure result, the line stays, and an
// answer coming late moves nothing.
TEST(CalibRun, AStepWithoutAnswerInTimeEndsWithAnUnknownResult) {
  TCalibRun r;
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  r.M.AnswerTimeoutMs = 300;  // for the statements sent from now on
  ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  ASSERT_EQ(r.InFlight(), QStringLiteral("pq.calState(3,0)"));
  ASSERT_TRUE(SpinUntil([&] { return !r.M.Busy(); }, 5000)) << "the time-out never came";
  EXPECT_EQ(r.M.ErrorText, QStringLiteral("Ergebnis unbekannt – bitte Gerät prüfen"));
  EXPECT_TRUE(r.M.ResultText.isEmpty()) << r.M.ResultText.toStdString();
  EXPECT_FALSE(r.M.ResultOk);
  EXPECT_EQ(r.M.Step, -1);
  EXPECT_EQ(r.M.Page, TCalibPage::cpStart);
  EXPECT_TRUE(r.Log.contains(QStringLiteral("Kalibrierung: keine Antwort vom Gerät nach 0:00"))) << r.Log.join('\n').toStdString();
  EXPECT_EQ(r.Unit.Disconnects, 0) << "the line is left as it is";
  EXPECT_FALSE(r.Closed);
  const qsizetype asked = r.Received().size();
  r.Unit.Deliver(ccci::BuildLuaOutput(Dev(), ccci::TLuaOutputKind::loEnd, "Calibration ok"));
  SpinFor(100);
  EXPECT_EQ(r.M.Step, -1) << "the late answer is nobody's";
  EXPECT_EQ(r.Received().size(), asked);
  EXPECT_EQ(r.M.Channel[2], -1);
}

// The line goes while the channels are checked: the run ends at the start
// page with the connection's message; nothing is closed on the device.
TEST(CalibRun, ALineLostDuringTheChecksEndsTheRunWithItsMessage) {
  TCalibRun r;
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  const qsizetype asked = r.Received().size();
  r.LoseLine();
  ASSERT_TRUE(SpinUntil([&] { return !r.M.Busy(); }));
  EXPECT_EQ(r.M.ErrorText, ConnectionLostText());
  EXPECT_EQ(r.M.Step, -1);
  EXPECT_EQ(r.M.Page, TCalibPage::cpStart);
  EXPECT_TRUE(r.M.ResultText.isEmpty());
  EXPECT_FALSE(r.M.WaitingForDevice());
  EXPECT_EQ(r.Received().size(), asked);
  EXPECT_FALSE(r.M.Saved);
  EXPECT_TRUE(r.Reports.isEmpty());
  // Without a line there is nothing to start; once it is back, there is.
  EXPECT_FALSE(r.M.Ready());
  r.M.Start();
  EXPECT_EQ(r.Received().size(), asked) << "a start without a line sends nothing";
  r.M.ConnEst(true);
  EXPECT_TRUE(r.M.Ready());
}

// Keeping the calibration cannot be undone: without a place for its
// certificate the device is not asked to keep it, and the operator reads why.
TEST(CalibRun, SavingWaitsForAPlaceForTheCertificate) {
  TCalibRun r;
  QTemporaryDir dir;
  r.M.ReportFolder = dir.filePath(QStringLiteral("not-there"));
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  for (int n = 0; n < 16; ++n) ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  const qsizetype asked = r.Received().size();
  r.M.SaveAndExit();
  EXPECT_EQ(r.Received().size(), asked) << "pq.calClose(1) must not go out";
  EXPECT_TRUE(r.M.ErrorText.contains(r.M.ReportFolder)) << r.M.ErrorText.toStdString();
  EXPECT_TRUE(r.M.ErrorText.contains(QStringLiteral("nicht übernommen")));
  EXPECT_EQ(r.M.Step, 31) << "the operator can fix the folder and save again";
  ASSERT_TRUE(QDir().mkpath(r.M.ReportFolder));
  r.M.SaveAndExit();
  EXPECT_EQ(r.InFlight(), QStringLiteral("pq.calClose(1)"));
}

// A channel's "ok" counts however the device spells its case, like every
// other answer text; anything else marks that channel failed.
TEST(CalibRun, ChannelResultsAreReadWithoutRegardToCase) {
  TCalibRun r;
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  ASSERT_NO_FATAL_FAILURE(r.Reply("CALIBRATION OK"));
  ASSERT_NO_FATAL_FAILURE(r.Reply("Offset out of range"));
  for (int n = 2; n < 16; ++n) ASSERT_NO_FATAL_FAILURE(r.Reply("calibration ok"));
  EXPECT_EQ(r.M.Channel[0], 1);
  EXPECT_EQ(r.M.Channel[1], 0);
  EXPECT_EQ(r.M.Channel[15], 1);
  EXPECT_FALSE(r.M.ResultOk) << "one failed channel fails the run";
}

// The line goes after "Speichern und Beenden", before the device said it
// kept the calibration: nothing counts as saved, no certificate, no reset.
TEST(CalibRun, ALineLostWhileSavingKeepsNoCertificate) {
  TCalibRun r;
  ASSERT_NO_FATAL_FAILURE(r.RunToChannelChecks());
  for (int n = 0; n < 16; ++n) ASSERT_NO_FATAL_FAILURE(r.Reply("Calibration ok"));
  ASSERT_EQ(r.M.Step, 31);
  r.M.SaveAndExit();
  ASSERT_EQ(r.InFlight(), QStringLiteral("pq.calClose(1)"));
  r.LoseLine();
  ASSERT_TRUE(SpinUntil([&] { return !r.M.Busy(); }));
  EXPECT_EQ(r.M.ErrorText, ConnectionLostText());
  EXPECT_FALSE(r.M.Saved);
  EXPECT_TRUE(r.Reports.isEmpty());
  EXPECT_TRUE(r.M.FReportDict.isEmpty());
  EXPECT_FALSE(r.M.ResetSent);
  EXPECT_FALSE(r.Received().contains(QStringLiteral("uti.softreset()")));
  EXPECT_EQ(r.M.Page, TCalibPage::cpStart);
  EXPECT_FALSE(r.Closed) << "the operator reads why";
}
