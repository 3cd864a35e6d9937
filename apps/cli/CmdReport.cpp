// vanta-cli report: the report plugin headless, on downloaded files.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QTemporaryDir>

#include "CliSession.h"
#include "Language.h"
#include "Plugins.h"

namespace vanta::cli {

namespace {

using TVantaReport = int (*)(void*, const char*, const char*, char*, int);
using TKalibratorReport = int (*)(void*, const char*, const char*, const char*, char*, int);

int Run(TCliOutput& out, const TCliArgs& a) {
  QLibrary lib;
  QString error;
  if (!LoadReportPlugin(lib, error)) {
    out.Error(error);
    return ecUsage;
  }
  char text[1024] = {0};
  const QString pdf = QFileInfo(a.Value(QStringLiteral("pdf"))).absoluteFilePath();
  int rc = 1;
  if (a.Args[0] == QLatin1String("calibration")) {
    auto fn = reinterpret_cast<TKalibratorReport>(lib.resolve("KalibratorReport"));
    QFile dict(a.Value(QStringLiteral("dict")));
    if (!fn || !dict.open(QIODevice::ReadOnly)) {
      out.Error(fn ? QStringLiteral("%1: %2").arg(dict.fileName(), dict.errorString()) : TTr::tr("KalibratorReport fehlt"));
      return ecUsage;
    }
    rc = fn(nullptr, dict.readAll().constData(), pdf.toUtf8().constData(), QDir::tempPath().toUtf8().constData(), text,
            int(sizeof text));
  } else {
    auto fn = reinterpret_cast<TVantaReport>(lib.resolve("VantaReport"));
    if (!fn) {
      out.Error(TTr::tr("VantaReport fehlt"));
      return ecUsage;
    }
    QTemporaryDir tmp;
    QJsonArray files;
    for (const QString& f : a.Args.mid(1)) files.append(QFileInfo(f).absoluteFilePath());
    QJsonObject job{{QStringLiteral("kind"), a.Args[0]}, {QStringLiteral("files"), files}, {QStringLiteral("pdf"), pdf}};
    if (a.Has(QStringLiteral("nominal"))) job.insert(QStringLiteral("nominal"), a.Value(QStringLiteral("nominal")).toDouble());
    const QString jobFile = tmp.filePath(QStringLiteral("report.json"));
    QFile j(jobFile);
    if (!j.open(QIODevice::WriteOnly) || j.write(QJsonDocument(job).toJson()) < 0) {
      out.Error(QStringLiteral("%1: %2").arg(jobFile, j.errorString()));
      return ecUsage;
    }
    j.close();
    rc = fn(nullptr, jobFile.toUtf8().constData(), tmp.path().toUtf8().constData(), text, int(sizeof text));
  }
  if (rc != 0) {
    out.Error(QString::fromUtf8(text));
    // The module tells a PDF it could not write (2) from input it cannot report on.
    return rc == 2 ? ecNotStored : ecUsage;
  }
  out.Line(QStringLiteral("pdf %1").arg(pdf));
  out.Result().insert(QStringLiteral("pdf"), pdf);
  return ecDone;
}

}  // namespace

TCliCommand ReportCommand() {
  TCliCommand c{QStringLiteral("report"),
                QStringLiteral("report en50160|rcm|harmonics-u|harmonics-i|interharmonics|intermediate|bands-u|bands-i FILE... --pdf OUT "
                               "[--nominal V] | report calibration --dict DICT.json --pdf OUT"),
                {{{QStringLiteral("pdf")}, true}, {{QStringLiteral("dict")}, true}, {{QStringLiteral("nominal")}, true}},
                [](const TCliArgs& a) {
                  static const QStringList kinds{QStringLiteral("en50160"), QStringLiteral("rcm"), QStringLiteral("harmonics-u"),
                                                 QStringLiteral("harmonics-i"), QStringLiteral("interharmonics"),
                                                 QStringLiteral("intermediate"), QStringLiteral("bands-u"), QStringLiteral("bands-i"),
                                                 QStringLiteral("calibration")};
                  if (a.Args.isEmpty()) return Missing(TEn::tr("a report kind"));
                  if (!kinds.contains(a.Args[0])) return TArgProblem::Usage(TEn::tr("unknown report '%1'").arg(a.Args[0]));
                  if (!a.Has(QStringLiteral("pdf"))) return Missing(TEn::tr("--pdf OUT"));
                  if (a.Args[0] == QLatin1String("calibration"))
                    return a.Has(QStringLiteral("dict")) ? TArgProblem::None() : Missing(TEn::tr("--dict DICT.json"));
                  if (a.Args.size() < 2) return Missing(TEn::tr("FILE"));
                  if (a.Has(QStringLiteral("nominal"))) {
                    bool ok = false;
                    const double v = a.Value(QStringLiteral("nominal")).toDouble(&ok);
                    if (!ok || !(v > 0)) return TArgProblem::Usage(TEn::tr("--nominal needs a voltage in V, above 0"));
                  }
                  for (const QString& f : a.Args.mid(1))
                    if (!QFileInfo(f).isFile()) return TArgProblem::Fact(TEn::tr("no such file: %1").arg(f));
                  return TArgProblem::None();
                },
                nullptr};
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions&) { return Run(out, a); };
  return c;
}

}  // namespace vanta::cli
