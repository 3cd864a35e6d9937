// identify: who the device is.
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "CliSession.h"

namespace vanta::cli {

TCliCommand IdentifyCommand() {
  return {QStringLiteral("identify"), QStringLiteral("identify"), [](TCliSession& s, const QStringList& args) {
            if (!args.isEmpty()) return int(ecUsage);
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
            if (s.Options().Json) {
              QJsonObject o;
              for (const auto& [k, v] : fields) o.insert(k, v);
              std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
            } else {
              for (const auto& [k, v] : fields) {
                const QString text = v.isString() ? v.toString() : QString::number(v.toInteger());
                std::printf("%-14s%s\n", (k + QLatin1Char(':')).toUtf8().constData(), text.toUtf8().constData());
              }
            }
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
