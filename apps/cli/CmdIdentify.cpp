// identify: who the device is.
#include <QDateTime>
#include <QJsonObject>

#include "CliSession.h"
#include "JsonOut.h"

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
            // A script compares the clock with its own: in the device's zone, with its offset.
            const time_tz_t zone = TimeTzFromSet(u.FtmeSet);
            s.Out().Result().insert(QStringLiteral("clock"), IsoDeviceTime({u.FConTime, 0}, u.FtmeSet));
            s.Out().Result().insert(QStringLiteral("utcOffset"), zone.OffsetSec);
            s.Out().Result().insert(QStringLiteral("dstMode"), zone.DstMode);
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
