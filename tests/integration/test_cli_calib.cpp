// vanta-cli calibrate against the simulator acting as a calibrated input:
// the statements in order, the channel results, the certificate, and the
// ways a calibration stops.
#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>

#include "CliSupport.h"
#include "DeviceDefaults.h"
#include "TestSupport.h"

namespace vanta::test::cli {
namespace {

// Unattended: the wiring is done before the run, the reference values come along.
QStringList Calibrate(const QStringList& more = {}) {
  return QStringList{"--json", "calibrate", "--assume-wired", "--wait-scale", "0"} + more;
}

QStringList Strings(const QJsonArray& a) {
  QStringList out;
  for (const QJsonValue& v : a) out << v.toString();
  return out;
}

// Firmware before 2.10: TCP calibration with bare statements.
class CliCalibTest : public CliTest {
 protected:
  QStringList SimArgs() override { return QStringList{"--firmware", "2.9.3", "--reboot-ms", "200"} + Extra(); }
  virtual QStringList Extra() { return {}; }
  QString DeviceLog() const { return QString::fromUtf8(ReadAll(Device("logd.log"))); }
};

TEST_F(CliCalibTest, SixtyHertzWithACommaReferenceCalibratesAndCertifies) {
  QTemporaryDir out;
  const QString pdf = out.filePath("cert.pdf");
  const TRun r = Cli(Calibrate({"--freq", "60", "--u", "100,5", "--i", "5", "--env", "AirTemp=23 °C", "--env",
                                "UserName=Prüfer Ost", "--report", pdf}),
                     60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  ASSERT_EQ(r.Exit, 0) << o["status"].toString().toStdString();
  QStringList want{"pq.calClose(0)", "pq.calOpen(60.000)", "pq.calU(0)",
                   "pq.calI(0)",     "pq.calU(100.500)",   "pq.calI(5.000)"};
  for (int pass = 0; pass < 2; ++pass)
    for (int ch = 1; ch <= 8; ++ch) want << QStringLiteral("pq.calState(%1,%2)").arg(ch).arg(pass);
  want << "pq.calClose(1)"
       << "uti.softreset()";
  EXPECT_EQ(Strings(o["statements"].toArray()).join(QLatin1Char(' ')).toStdString(), want.join(QLatin1Char(' ')).toStdString());
  EXPECT_EQ(o["status"].toString(), "Kalibration erfolgreich!");
  EXPECT_TRUE(MatchesSchema(r.Out, "calibrate"));
  const QJsonArray ch = o["channels"].toArray();
  ASSERT_EQ(ch.size(), 16);
  for (const QJsonValue& v : ch) {
    EXPECT_TRUE(v.toObject()["ok"].toBool());
    EXPECT_EQ(v.toObject()["state"].toInt(-9), 1);
  }
  EXPECT_EQ(ch[4].toObject()["channel"].toString(), "I1");
  // Passes 1 and 2, as the certificate and the text output count them.
  EXPECT_EQ(ch[0].toObject()["pass"].toInt(), 1);
  EXPECT_EQ(ch[15].toObject()["pass"].toInt(), 2);
  EXPECT_TRUE(r.Out.contains("\"pass\":2")) << "a number";
  // The reference as numbers with their units, the comma read as a decimal point.
  const QJsonObject ref = o["reference"].toObject();
  EXPECT_DOUBLE_EQ(ref["U"].toDouble(), 100.5);
  EXPECT_DOUBLE_EQ(ref["I"].toDouble(), 5.0);
  EXPECT_DOUBLE_EQ(ref["f"].toDouble(), 60.0);
  EXPECT_EQ(o["units"].toObject()["U"].toString(), "V");
  EXPECT_EQ(o["units"].toObject()["f"].toString(), "Hz");
  EXPECT_EQ(o["certificate"].toString(), pdf);
  EXPECT_TRUE(o["storedLocally"].toBool());
  EXPECT_EQ(o["serial"].toInteger(), 12345678);
  // Times with their offset: the check's as on the certificate, and the run's.
  const QDateTime checked = QDateTime::fromString(o["checked"].toString(), Qt::ISODate);
  ASSERT_TRUE(checked.isValid()) << o["checked"].toString().toStdString();
  const QDateTime start = QDateTime::fromString(o["start"].toString(), Qt::ISODate);
  const QDateTime end = QDateTime::fromString(o["end"].toString(), Qt::ISODate);
  ASSERT_TRUE(start.isValid() && end.isValid());
  EXPECT_LE(start.addSecs(-1), checked);
  EXPECT_LE(checked, end.addSecs(1));
  EXPECT_NEAR(o["duration"].toDouble(-1), start.msecsTo(end) / 1000.0, 1.0);
  // The report's 25 fields, whatever else it carries.
  const QJsonObject dict = o["report"].toObject();
  for (const char* k : {"DeviceType", "DeviceNumber", "UserName", "CheckDate", "CheckTime", "Prescription", "AirTemp", "AitHum",
                        "Pressure", "Programm", "Annotation", "Model1", "Serial1", "CheckNr1", "CalTo1", "CertNr1", "Model2",
                        "Serial2", "CheckNr2", "CalTo2", "CertNr2", "Frei1", "Frei1Val", "Frei2", "Frei2Val"})
    EXPECT_TRUE(dict.contains(QLatin1String(k))) << k;
  EXPECT_EQ(dict["DeviceNumber"].toString(), "12345678");
  EXPECT_EQ(dict["AirTemp"].toString(), "23 °C");
  EXPECT_TRUE(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4}$").match(dict["CheckDate"].toString()).hasMatch());
  EXPECT_EQ(checked.date().toString("dd.MM.yyyy"), dict["CheckDate"].toString());
  // The certificate as a reader sees it.
  QProcess text;
  // Laid out as on the page: a table's label and value stay on one line.
  text.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(text.waitForFinished(20000));
  const QString cert = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_TRUE(cert.contains(QLatin1String("12345678")));
  EXPECT_TRUE(cert.contains(dict["CheckDate"].toString()));
  EXPECT_TRUE(cert.contains("Prüfer Ost"));
  EXPECT_EQ(cert.count(QLatin1String("Calibration ok")), 16);
  // The values the channels were calibrated against are on the certificate.
  EXPECT_EQ(dict["RefVoltage"].toString(), "100.500");
  EXPECT_EQ(dict["RefCurrent"].toString(), "5.000");
  EXPECT_EQ(dict["RefFrequency"].toString(), "60.000");
  EXPECT_TRUE(QRegularExpression("Spannung \\[V\\]\\s+100\\.500").match(cert).hasMatch()) << cert.toStdString();
  EXPECT_TRUE(QRegularExpression("Frequenz \\[Hz\\]\\s+60\\.000").match(cert).hasMatch());
  EXPECT_TRUE(DeviceLog().contains(QLatin1String("calibration stored (100.500 V, 5.000 A, 60.000 Hz)")));
  EXPECT_TRUE(DeviceLog().contains(QLatin1String("soft reset requested")));
}

struct TStop {
  const char* SimArg;
  const char* SimValue;
  const char* Freq;
  const char* U;
  const char* Status;
  int LastStatementCount;  // statements sent before the stop
};

class CliCalibStopTest : public CliCalibTest, public ::testing::WithParamInterface<TStop> {
 protected:
  QStringList Extra() override { return {QString::fromUtf8(GetParam().SimArg), QString::fromUtf8(GetParam().SimValue)}; }
};

TEST_P(CliCalibStopTest, EndsAtTheStartPageWithItsText) {
  const TRun r =
      Cli(Calibrate({"--freq", QLatin1String(GetParam().Freq), "--u", QLatin1String(GetParam().U), "--i", "5"}), 60000);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 3, "calibrate", o));
  EXPECT_EQ(o["error"].toObject()["code"].toInt(), 3);
  EXPECT_EQ(o["status"].toString(), QString::fromUtf8(GetParam().Status));
  EXPECT_EQ(o["steps"].toArray().last().toInt(), -1) << "the start page";
  const QStringList sent = Strings(o["statements"].toArray());
  EXPECT_EQ(sent.size(), GetParam().LastStatementCount) << sent.join(' ').toStdString();
  EXPECT_FALSE(sent.contains("pq.calClose(1)"));
}

INSTANTIATE_TEST_SUITE_P(
    Stops, CliCalibStopTest,
    ::testing::Values(TStop{"--cal-fault", "calU=Device or resource busy", "50", "100", "Laufende Kalibrierung", 3},
                      TStop{"--cal-fault", "calState=Device or resource busy", "50", "100", "Laufende Kalibrierung", 7},
                      TStop{"--cal-source", "100:5:50", "60", "100", "Frequenz außer Toleranz", 2},
                      TStop{"--cal-source", "100:5:50", "50", "102", "Kalibriergröße ausser Toleranz", 5}),
    [](const auto& info) { return std::to_string(info.index); });

class CliCalibSaveTest : public CliCalibTest, public ::testing::WithParamInterface<const char*> {
 protected:
  QStringList Extra() override { return {"--cal-fault", QString::fromUtf8(GetParam())}; }
};

// A refused pq.calClose(1) keeps nothing: no certificate, no reset. A reset
// that answers with a status text still ends the run, once.
TEST_P(CliCalibSaveTest, TheClosingStepsEndOnce) {
  QTemporaryDir out;
  const QString pdf = out.filePath("c.pdf");
  const TRun r = Cli(Calibrate({"--freq", "50", "--u", "100", "--i", "5", "--report", pdf}), 60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  const QStringList sent = Strings(o["statements"].toArray());
  if (QString::fromUtf8(GetParam()).startsWith(QLatin1String("calClose"))) {
    EXPECT_EQ(r.Exit, 3);
    EXPECT_EQ(o["status"].toString(), "Zugriff verweigert");
    EXPECT_EQ(sent.count("uti.softreset()"), 0);
    EXPECT_FALSE(QFile::exists(pdf));
  } else {
    EXPECT_EQ(r.Exit, 0) << o["status"].toString().toStdString();
    EXPECT_EQ(sent.count("uti.softreset()"), 1);
    EXPECT_TRUE(QFile::exists(pdf));
  }
}

INSTANTIATE_TEST_SUITE_P(Closing, CliCalibSaveTest,
                         ::testing::Values("calClose=Permission denied", "softreset=Permission denied"),
                         [](const auto& info) { return std::string(info.index ? "ResetRefused" : "CloseRefused"); });

class CliCalibOneChannelTest : public CliCalibTest {
 protected:
  QStringList Extra() override { return {"--cal-state", "3:Calibration invalid"}; }
};

TEST_F(CliCalibOneChannelTest, OneChannelWithoutCalibrationOkFailsAndKeepsNothing) {
  const TRun r = Cli(Calibrate({"--freq", "50", "--u", "100", "--i", "5"}), 60000);
  QJsonObject o;
  ASSERT_TRUE(Document(r, 3, "calibrate", o));
  EXPECT_EQ(o["status"].toString(), "Kalibration nicht erfolgreich!");
  const QJsonArray ch = o["channels"].toArray();
  EXPECT_FALSE(ch[2].toObject()["ok"].toBool());
  EXPECT_EQ(ch[2].toObject()["state"].toInt(-9), 0);
  EXPECT_EQ(ch[10].toObject()["pass"].toInt(), 2);
  EXPECT_EQ(ch[10].toObject()["channel"].toString(), "U3");
  EXPECT_FALSE(ch[10].toObject()["ok"].toBool());
  EXPECT_TRUE(ch[3].toObject()["ok"].toBool());
  EXPECT_FALSE(Strings(o["statements"].toArray()).contains("pq.calClose(1)"));
  EXPECT_FALSE(DeviceLog().contains(QLatin1String("calibration stored")));
}

// Without a terminal nobody can confirm the wiring steps: the run does not
// start unless the caller says the device is wired.
TEST_F(CliCalibTest, WithoutATerminalItStartsOnlyWhenTheWiringIsAssumed) {
  const TRun r = Cli({"--json", "calibrate", "--freq", "50", "--u", "100", "--i", "5"});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(o["error"].toObject()["message"].toString().contains(QLatin1String("--assume-wired"))) << o["error"].toObject()["message"].toString().toStdString();
  EXPECT_FALSE(DeviceLog().contains(QLatin1String("cal:"))) << "nothing reached the device";
  // Assumed wiring without reference values: nobody could be asked for them.
  const TRun noValues = Cli({"--json", "calibrate", "--assume-wired", "--freq", "50"});
  ASSERT_TRUE(OneDocument(noValues, o)) << noValues.Err.toStdString();
  EXPECT_EQ(noValues.Exit, 1);
  EXPECT_TRUE(o["error"].toObject()["message"].toString().contains(QLatin1String("--u VOLT and --i AMP")));
}

// On a terminal each wiring step waits for Enter and the reference values
// are asked for when they were not given.
TEST_F(CliCalibTest, OnATerminalTheWiringStepsWaitForTheOperator) {
  QTemporaryDir out;
  const QString pdf = out.filePath("t.pdf");
  QStringList args{QString::fromUtf8(VANTA_CLI_PATH),
                   "--port",
                   QString::number(Sim.Port),
                   "--data-dir",
                   Data.path(),
                   "--quiet",
                   "calibrate",
                   "--wait-scale",
                   "0",
                   "--freq",
                   "50",
                   "--report",
                   pdf};
  QProcess p;
  // `script` gives the command a terminal of its own; the operator's input
  // is typed ahead: Enter, Enter, the two values.
  p.start("script", {"-qec", args.join(QLatin1Char(' ')), "/dev/null"});
  ASSERT_TRUE(p.waitForStarted(5000));
  QByteArray shown;
  const auto prompts = [&] {
    shown += p.readAllStandardOutput();
    return shown.count("Weiter mit Enter");
  };
  // Each Enter once its step asks for it; the values are typed ahead.
  for (qsizetype step = 1; step <= 2; ++step) {
    ASSERT_TRUE(SpinUntil([&] { return prompts() >= step; }, 30000)) << shown.toStdString();
    p.write("\n");
  }
  p.write("100,5\n5\n");
  ASSERT_TRUE(p.waitForFinished(60000));
  prompts();
  const QString screen = QString::fromUtf8(shown);
  EXPECT_EQ(p.exitCode(), 0) << screen.toStdString();
  EXPECT_TRUE(screen.contains("Strommesseingänge von der Quelle trennen")) << screen.toStdString();
  EXPECT_TRUE(screen.contains("Am Kalibrator folgende Werte einstellen:"));
  EXPECT_TRUE(screen.contains("Spannung (V): "));
  EXPECT_EQ(screen.count("Weiter mit Enter"), 2);
  EXPECT_TRUE(screen.contains("U1 (Durchgang 1): ") && screen.contains("I4 (Durchgang 2): "))
      << "passes counted as the certificate counts them: " << screen.toStdString();
  EXPECT_TRUE(DeviceLog().contains(QLatin1String("calibration stored (100.500 V, 5.000 A, 50.000 Hz)"))) << DeviceLog().toStdString();
}

// A certificate that would have no place: the calibration is not begun (the
// device would keep it for good), the "not stored locally" code and the reason.
TEST_F(CliCalibTest, ACertificateWithoutAPlaceStopsTheCalibrationBeforeItBegins) {
  QTemporaryDir out;
  WriteAll(out.filePath("file"), "not a folder");
  const QString pdf = out.filePath("file/c.pdf");
  const TRun r = Cli(Calibrate({"--freq", "50", "--u", "100", "--i", "5", "--report", pdf}), 60000);
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 5) << o["error"].toObject()["message"].toString().toStdString();
  EXPECT_TRUE(
      o["error"].toObject()["message"].toString().startsWith("Kalibrierzertifikat kann nicht gespeichert werden ("))
      << o["error"].toObject()["message"].toString().toStdString();
  EXPECT_TRUE(o["error"].toObject()["message"].toString().contains(out.filePath("file"))) << "names the place";
  EXPECT_FALSE(o["storedLocally"].toBool(true));
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_FALSE(DeviceLog().contains(QLatin1String("calibration stored"))) << DeviceLog().toStdString();
  const TRun text = Cli({"calibrate", "--assume-wired", "--wait-scale", "0", "--freq", "50", "--u", "100", "--i", "5",
                         "--report", out.filePath("missing/c.pdf")},
                        60000);
  EXPECT_EQ(text.Exit, 5);
  EXPECT_TRUE(text.Err.contains("Ordner existiert nicht")) << text.Err.toStdString();
}

// Firmware 2.10 and later: calibration only through SSH.
class CliCalibNewFirmwareTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--ssh-port", "0", "--reboot-ms", "200"}; }
  QStringList Args() const { return Calibrate({"--freq", "50", "--u", "230", "--i", "1"}); }
};

TEST_F(CliCalibNewFirmwareTest, PlainTcpIsNoLongerSupported) {
  const TRun r = Cli(Args());
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 3);
  EXPECT_EQ(o["error"].toObject()["message"].toString(),
            "Dieses Feature wird in dieser Firmware nicht mehr unterstützt");
  EXPECT_FALSE(QString::fromUtf8(ReadAll(Device("logd.log"))).contains(QLatin1String("cal:")));
}

TEST_F(CliCalibNewFirmwareTest, OverSshTheDeviceTextsAnswerAndAUserWithoutTheRightIsStopped) {
  const TRun denied = Cli(Ssh("guest", "guest") + Args());
  QJsonObject o;
  ASSERT_TRUE(OneDocument(denied, o)) << denied.Err.toStdString();
  EXPECT_EQ(denied.Exit, 3);
  EXPECT_TRUE(o["error"].toObject()["message"].toString().contains("nicht die nötigen Rechte"));

  const TDeviceDefaults factory = TDeviceDefaults::FromEnvironment();
  const TRun r = Cli(Ssh(factory.User, factory.Password) + Args(), 60000);
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(r.Exit, 0) << o["status"].toString().toStdString() << r.Err.toStdString();
  const QStringList sent = Strings(o["statements"].toArray());
  ASSERT_FALSE(sent.isEmpty());
  EXPECT_EQ(sent.first().toStdString(), "print(uti.err2ascii(pq.calClose(0)))");
  EXPECT_EQ(sent.last().toStdString(), "print(uti.err2ascii(uti.softreset()))");
  EXPECT_TRUE(MatchesSchema(r.Out, "calibrate"));
  EXPECT_DOUBLE_EQ(o["reference"].toObject()["U"].toDouble(), 230.0);
  EXPECT_DOUBLE_EQ(o["reference"].toObject()["f"].toDouble(), 50.0);
}

}  // namespace
}  // namespace vanta::test::cli
