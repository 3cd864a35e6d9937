// vanta-cli calibrate: the calibration wizard without a window. The
// steps where the operator rewires the device (source off, calibrator on,
// reference meter read) wait for Enter on a terminal; the others go on as
// soon as the device has answered. Unattended runs say with --assume-wired
// that the wiring is done, and bring the reference values along.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <cstdio>
#include <unistd.h>

#include "Calib.h"
#include "CliSession.h"
#include "FlashJob.h"
#include "Plugins.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta::cli {

namespace {

bool OnTerminal() { return ::isatty(0) && ::isatty(2); }

// A line from the operator (prompt on stderr); empty at the end of input.
QString Ask(const QString& prompt) {
  std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
  std::fflush(stderr);
  char line[256] = {};
  if (!std::fgets(line, sizeof line, stdin)) return {};
  return QString::fromLocal8Bit(line).trimmed();
}

// What the window's frame shows at this stop, for the operator at the device.
QStringList Instruction(int stepToRun, bool freq60) {
  switch (stepToRun) {
    case 3:
      return {TTr::tr("Alle Spannungsmesseingänge auf Erdpotential legen und alle Strommesseingänge von der Quelle trennen."),
              TTr::tr("Spannung = 0 V"), TTr::tr("Strom = 0 A")};
    case 9:
      return {TTr::tr("Spannungs- und Strompfade des Kalibrators an alle Messeingänge anschließen (Spannungen parallel, Ströme in Reihe), das Referenzmessgerät dazu."),
              TTr::tr("Am Kalibrator folgende Werte einstellen:"), TTr::tr("Spannung = 100.00 V"),
              TTr::tr("Strom = 5.000 A"),
              freq60 ? TTr::tr("Frequenz = 60.000 Hz") : TTr::tr("Frequenz = 50.000 Hz")};
    case 11: return {TTr::tr("Werte der Kontrollmessung eingeben:")};
    default: return {};
  }
}

// A local time with its offset, as every time of the command line's JSON.
QString IsoTime(const QDateTime& t) { return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate); }

// The values the channels are calibrated against, as numbers by quantity;
// null for one that is not a number (the run stops at it then).
void InsertReference(QJsonObject& r, const TCalibMachine& m) {
  QString u = m.FRefU, i = m.FRefI;
  if (u.isEmpty() || i.isEmpty()) ConvertReferenz(m.RefUText, m.RefIText, u, i);
  auto number = [](const QString& text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
  };
  r.insert(QStringLiteral("reference"),
           QJsonObject{{QStringLiteral("U"), number(u)}, {QStringLiteral("I"), number(i)}, {QStringLiteral("f"), m.Freq60 ? 60.0 : 50.0}});
  r.insert(QStringLiteral("units"), QJsonObject{{QStringLiteral("U"), QStringLiteral("V")}, {QStringLiteral("I"), QStringLiteral("A")},
                                                {QStringLiteral("f"), QStringLiteral("Hz")}});
}

int Run(TCliSession& s, const TCliArgs& a) {
  TCliOutput& out = s.Out();
  TComUnit& u = s.Unit();
  const QDateTime started = QDateTime::currentDateTime();
  TCalibMachine m(u);
  m.Freq60 = a.Value(QStringLiteral("freq")) == QLatin1String("60");
  m.RefUText = a.Value(QStringLiteral("u"));
  m.RefIText = a.Value(QStringLiteral("i"));
  m.WaitScale = a.Has(QStringLiteral("wait-scale")) ? a.Value(QStringLiteral("wait-scale")).toDouble() : 1.0;
  if (a.Has(QStringLiteral("step-timeout"))) m.AnswerTimeoutMs = a.Value(QStringLiteral("step-timeout")).toInt() * 1000;
  const bool wired = a.Has(QStringLiteral("assume-wired"));
  m.OnWaitingFor = [&out, ticks = 0](qint64 ms) mutable {
    if (ms > 0 && ++ticks % 30 == 0) out.Note(TTr::tr("Warte auf das Gerät seit %1").arg(ElapsedText(ms)));
  };
  m.FSWVer = QStringLiteral("vanta-cli %1").arg(QCoreApplication::applicationVersion());
  QJsonArray steps;
  m.OnLog = [&](const QString& line) {
    if (line.startsWith(QLatin1String("Kalibrierung Send:"))) {
      out.Line(QStringLiteral("> %1").arg(m.Sent.isEmpty() ? line.mid(18) : m.Sent.last()));
    } else if (line.startsWith(QLatin1String("Kalibrierung Next:"))) {
      steps.append(line.mid(18).toInt());
      out.Line(TTr::tr("Schritt %1").arg(line.mid(18)));
    } else if (line.startsWith(QLatin1String("Kalibrierung recieve:"))) {
      out.Line(QStringLiteral("< %1").arg(line.mid(21).trimmed()));
    } else if (s.Options().Log) {
      out.Diagnostic(line);
    }
  };
  QString info;
  bool closed = false;
  m.OnInfo = [&](const QString& text) { info = text; };
  m.OnClose = [&] { closed = true; };
  const QString report = a.Has(QStringLiteral("report")) ? QFileInfo(a.Value(QStringLiteral("report"))).absoluteFilePath() : QString();
  m.ReportFolder = report.isEmpty() ? u.FDatadir : QFileInfo(report).absolutePath();
  // The device keeps a calibration for good: its certificate must have a
  // place before the first step is sent.
  if (const QString problem = FolderWriteProblem(m.ReportFolder); !problem.isEmpty()) {
    out.Result().insert(QStringLiteral("storedLocally"), false);
    out.Error(TTr::tr("Kalibrierzertifikat kann nicht gespeichert werden (%1): Kalibrierung nicht begonnen").arg(problem));
    return ecNotStored;
  }
  m.FillReport = [&](QMap<QString, QString>& dict) {
    dict.insert(QStringLiteral("DeviceType"), u.FDevice);
    dict.insert(QStringLiteral("UserName"), qEnvironmentVariable("USER"));
    for (const QString& kv : a.Values(QStringLiteral("env"))) dict.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    for (int i = 0; i < 16; ++i)
      dict.insert(QStringLiteral("Result%1 %2").arg(i + 1, 2, 10, QLatin1Char('0')).arg(CalibChannelName(i)),
                  m.ChannelText[size_t(i)]);
  };
  m.MakeReport = [&](const QMap<QString, QString>& dict, const QString& file) {
    const QString target = report.isEmpty() ? file : report;
    m.ReportFile = target;
    return RunKalibratorReport(dict, target, u.FTmpDir);
  };
  const qint64 limit = qint64(qMax(60, s.Options().TimeoutSec)) * 1000 + qint64(60000 * qMax(0.0, m.WaitScale));

  m.ConnEst(true);
  // The rights check over SSH answers first; a denial or old firmware closes.
  SpinUntil([&] { return closed || m.Ready(); }, 15000);
  if (closed || !m.Ready()) {
    out.Error(info.isEmpty() ? TTr::tr("Der Benutzer \"%1\" hat nicht die nötigen Rechte für diesen Vorgang!").arg(u.FSSHUser) : info);
    return ecRefused;
  }
  m.Start();
  // The wiring stops wait for the operator (unless the wiring is assumed);
  // every other stop is answered at once.
  bool quit = false;
  SpinUntil([&] {
    if (closed || m.Busy()) return closed;
    if (m.Step == -1 || m.Step == 31 || quit) return true;
    if (!m.ErrorText.isEmpty() && m.Step == 11) {
      if (wired) return true;  // the reference values are not numbers
      out.Diagnostic(m.ErrorText);
    }
    const QStringList say = Instruction(m.Step, m.Freq60);
    if (!wired && !say.isEmpty()) {
      for (const QString& l : say) out.Diagnostic(l);
      if (m.Step == 11 && (!a.Has(QStringLiteral("u")) || !m.ErrorText.isEmpty())) {
        m.RefUText = Ask(TTr::tr("Spannung (V): "));
        m.RefIText = Ask(TTr::tr("Strom (A): "));
      } else if (std::feof(stdin) || (Ask(TTr::tr("Weiter mit Enter ")), std::feof(stdin))) {
        quit = true;  // the operator's input ended: nothing is assumed
        return true;
      }
    }
    m.Next();
    return false;
  }, limit);
  if (quit) {
    m.Abort();
    out.Error(TTr::tr("Kalibrierung abgebrochen: keine Eingabe (Schritt %1)").arg(m.Step));
    return ecRefused;
  }
  QJsonObject& r = out.Result();
  r.insert(QStringLiteral("serial"), qint64(u.FSN));
  r.insert(QStringLiteral("start"), IsoTime(started));
  auto finish = [&] {
    r.insert(QStringLiteral("statements"), QJsonArray::fromStringList(m.Sent));
    r.insert(QStringLiteral("steps"), steps);
    InsertReference(r, m);
    const QDateTime now = QDateTime::currentDateTime();
    r.insert(QStringLiteral("end"), IsoTime(now));
    r.insert(QStringLiteral("duration"), double(started.msecsTo(now)) / 1000.0);
  };
  finish();
  QJsonArray channels;
  for (int i = 0; i < 16; ++i) {
    // Passes 1 and 2, as the certificate counts them; "state": -1 not yet, 0 failed, 1 ok.
    channels.append(QJsonObject{{"item", i},
                                {"channel", CalibChannelName(i)},
                                {"pass", i / 8 + 1},
                                {"state", m.Channel[size_t(i)]},
                                {"ok", m.Channel[size_t(i)] == 1},
                                {"text", m.ChannelText[size_t(i)]}});
    if (!m.ChannelText[size_t(i)].isEmpty())
      out.Line(QStringLiteral("%1 (Durchgang %2): %3").arg(CalibChannelName(i)).arg(i / 8 + 1).arg(m.ChannelText[size_t(i)]));  // 1 and 2, as the certificate counts
  }
  r.insert(QStringLiteral("channels"), channels);
  if (m.Step != 31) {
    const QString why = m.ErrorText.isEmpty() ? TTr::tr("Kalibrierung abgebrochen (Schritt %1)").arg(m.Step) : m.ErrorText;
    r.insert(QStringLiteral("status"), why);
    out.Error(why);
    return ecRefused;
  }
  r.insert(QStringLiteral("status"), m.ResultText);
  out.Line(m.ResultText);
  if (!m.ResultOk) {
    out.Error(m.ResultText);
    return ecRefused;
  }
  m.SaveAndExit();
  SpinUntil([&] { return closed || (!m.Busy() && m.Step == -1); }, qint64(m.AnswerTimeoutMs) * 3);
  QJsonObject dict;
  for (auto it = m.FReportDict.cbegin(); it != m.FReportDict.cend(); ++it) {
    dict.insert(it.key(), it.value());
    out.Line(QStringLiteral("%1 = %2").arg(it.key(), it.value()));
  }
  r.insert(QStringLiteral("report"), dict);
  finish();
  // The date and time of the check as the certificate gives them (this computer's clock).
  const QDateTime checked = QDateTime::fromString(m.FReportDict.value(QStringLiteral("CheckDate")) + QLatin1Char(' ') +
                                                      m.FReportDict.value(QStringLiteral("CheckTime")),
                                                  QStringLiteral("dd.MM.yyyy HH:mm:ss"));
  r.insert(QStringLiteral("checked"), checked.isValid() ? QJsonValue(IsoTime(checked)) : QJsonValue(QJsonValue::Null));
  r.insert(QStringLiteral("certificate"), m.ReportFile.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(m.ReportFile));
  if (!m.Saved) {
    const QString why = m.ErrorText.isEmpty() ? TTr::tr("Kalibrierung nicht gespeichert") : m.ErrorText;
    r.insert(QStringLiteral("status"), why);
    out.Error(why);
    return ecRefused;
  }
  if (!m.ReportError.isEmpty()) {
    // The device kept the calibration; only the local certificate is missing.
    r.insert(QStringLiteral("reportError"), m.ReportError);
    r.insert(QStringLiteral("storedLocally"), false);
    out.Error(TTr::tr("Kalibrierzertifikat nicht gespeichert (%1): %2").arg(m.ReportFile, m.ReportError));
    return ecNotStored;
  }
  r.insert(QStringLiteral("storedLocally"), true);
  out.Line(TTr::tr("Bericht %1").arg(m.ReportFile));
  if (!closed) {
    out.Error(TTr::tr("Das Gerät hat den Neustart nicht bestätigt"));
    return ecNoConnection;
  }
  return ecDone;
}

}  // namespace

TCliCommand CalibrateCommand() {
  auto opt = [](const char* n, bool v) { return TOptionSpec{{QLatin1String(n)}, v}; };
  return TCliCommand{
      QStringLiteral("calibrate"),
      QStringLiteral("calibrate --freq 50|60 [--u VOLT --i AMP] [--assume-wired] [--step-timeout S (120)] [--wait-scale F] "
                     "[--env KEY=VALUE]... [--report OUT.pdf]"),
      {opt("freq", true), opt("u", true), opt("i", true), opt("assume-wired", false), opt("step-timeout", true), opt("wait-scale", true),
       opt("env", true), opt("report", true)},
      [](const TCliArgs& a) {
        if (!a.Args.isEmpty()) return Unexpected(a.Args[0]);
        const QString f = a.Value(QStringLiteral("freq"));
        if (f != QLatin1String("50") && f != QLatin1String("60")) return TArgProblem::Usage(TEn::tr("--freq takes 50 or 60"));
        // Nobody to rewire the device and read the reference meter: only
        // when the caller says the wiring is done.
        if (!a.Has(QStringLiteral("assume-wired")) && !OnTerminal())
          return TArgProblem::Usage(TEn::tr("no terminal to confirm the wiring steps: give --assume-wired once the device is wired"));
        if (a.Has(QStringLiteral("u")) != a.Has(QStringLiteral("i"))) return Missing(TEn::tr("--u VOLT and --i AMP together"));
        if (!a.Has(QStringLiteral("u")) && a.Has(QStringLiteral("assume-wired")))
          return Missing(TEn::tr("--u VOLT and --i AMP (with --assume-wired nobody is asked for them)"));
        QString u, i;
        if (a.Has(QStringLiteral("u")) && !ConvertReferenz(a.Value(QStringLiteral("u")), a.Value(QStringLiteral("i")), u, i))
          return TArgProblem::Usage(TTr::tr(CCalibBadInput));
        bool ok = true;
        if (a.Has(QStringLiteral("step-timeout")) && (a.Value(QStringLiteral("step-timeout")).toInt(&ok) < 1 || !ok))
          return TArgProblem::Usage(TEn::tr("--step-timeout needs seconds, at least 1"));
        if (a.Has(QStringLiteral("wait-scale")) && (a.Value(QStringLiteral("wait-scale")).toDouble(&ok) < 0 || !ok))
          return TArgProblem::Usage(TEn::tr("--wait-scale takes a number >= 0"));
        for (const QString& kv : a.Values(QStringLiteral("env")))
          if (!kv.contains(QLatin1Char('=')) || kv.startsWith(QLatin1Char('=')))
            return TArgProblem::Usage(TEn::tr("--env takes KEY=VALUE"));
        return TArgProblem::None();
      },
      [](TCliSession& s, const TCliArgs& a) { return Run(s, a); }};
}

}  // namespace vanta::cli
