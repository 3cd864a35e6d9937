// identify: who the device is.
#include <QDateTime>
#include <QJsonObject>

#include "CliSession.h"

namespace vanta::cli {

TCliCommand IdentifyCommand() {
  return {QStringLiteral("identify"),
          QStringLiteral("identify"),
          {},
          [](const TCliArgs& a) { return a.Args.isEmpty() ? TArgProblem::None() : Unexpected(a.Args[0]); },
          [](TCliSession& s, const TCliArgs&) {
            TComUnit& u = s.Unit();
            const QString clock = QDateTime::fromSecsSinceEpoch(u.FConTime, Qt::UTC).toString(Qt::ISODate);
            const QList<QPair<QString, QJsonValue>> fields = {
                {QStringLiteral("serial"), qint64(u.FSN)},
                {QStringLiteral("article"), qint64(u.FArtNum)},
                {QStringLiteral("deviceType"), DevTypeName(u.FDevType)},
                {QStringLiteral("plant"), u.FPlant},
                {QStringLiteral("field"), u.FField},
                {QStringLiteral("device"), u.FDevice},
                {QStringLiteral("firmware"), u.FRev.VerAsStr()},
                {QStringLiteral("clock"), clock},
                {QStringLiteral("timeSettings"), TimeSetToText(u.FtmeSet)},
            };
            for (const auto& [k, v] : fields) {
              s.Out().Result().insert(k, v);
              const QString text = v.isString() ? v.toString() : QString::number(v.toInteger());
              s.Out().Line((k + QLatin1Char(':')).leftJustified(14) + text);
            }
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
