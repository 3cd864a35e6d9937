// Live data: stream records and the NTP tunnel.
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <utility>

#include "Ccci.h"
#include "CliSession.h"

namespace vanta::cli {

using ccci::CBinaryObjectId;

namespace {
bool ParseObject(const QString& text, uint32_t& id) {
  // A kind name (as in the live view), a decimal or a 0x hex id.
  static const QList<QPair<QString, uint32_t>> CNames = {
      {QStringLiteral("fast"), 0x00FFFFFF},   {QStringLiteral("harmonics"), 0x01FFFFFF}, {QStringLiteral("std"), 0x02FFFFFF},
      {QStringLiteral("ext"), 0x03FFFFFF},    {QStringLiteral("panel"), 0x04FFFFFF},     {QStringLiteral("flicker"), 0x05FFFFFF},
      {QStringLiteral("power"), 0x06FFFFFF},  {QStringLiteral("energy"), 0x07FFFFFF},    {QStringLiteral("oszi"), 0x08FFFFFF},
      {QStringLiteral("binary"), 10000000}};
  for (const auto& [n, v] : CNames)
    if (text.compare(n, Qt::CaseInsensitive) == 0) {
      id = v;
      return true;
    }
  bool ok = false;
  id = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok);
  return ok;
}
}  // namespace

TCliCommand StreamCommand() {
  return {QStringLiteral("stream"), QStringLiteral("stream OBJECT --count N [--binary]"), [](TCliSession& s, const QStringList& a) {
            uint32_t id = 0;
            int count = 1;
            bool binary = false;
            if (a.isEmpty() || !ParseObject(a[0], id)) return int(ecUsage);
            for (int i = 1; i < a.size(); ++i) {
              if (a[i] == QLatin1String("--count") && i + 1 < a.size()) {
                bool ok = false;
                count = a[++i].toInt(&ok);
                if (!ok || count < 1) return int(ecUsage);
              } else if (a[i] == QLatin1String("--binary")) {
                binary = true;
              } else {
                return int(ecUsage);
              }
            }
            TComUnit& u = s.Unit();
            int seen = 0;
            bool binaryRecord = false;  // the grid is told about binary records too
            u.FUpdateGrid = [&](QObject*) {
              if (std::exchange(binaryRecord, false)) return;
              // Binary-input records are counted by their own callback.
              if (seen >= count || u.FBytes.FBytes.isEmpty() || id == CBinaryObjectId) return;
              const QByteArray& rec = u.FBytes.FBytes;
              const QString ts = TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(u.FBytes.TS_Mess));
              const uint32_t obj = rec.size() >= 4 ? uint32_t(uint8_t(rec[0]) | (uint8_t(rec[1]) << 8) | (uint8_t(rec[2]) << 16) |
                                                              (uint32_t(uint8_t(rec[3])) << 24))
                                                   : id;
              if (s.Options().Json) {
                QJsonObject o{{QStringLiteral("object"), QStringLiteral("0x%1").arg(obj, 8, 16, QLatin1Char('0'))},
                              {QStringLiteral("time"), ts},
                              {QStringLiteral("length"), rec.size()},
                              {QStringLiteral("bytes"), QString::fromLatin1(rec.toHex())}};
                std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
              } else {
                std::printf("0x%08x  %s  %lld bytes\n", obj, ts.toUtf8().constData(), static_cast<long long>(rec.size()));
              }
              std::fflush(stdout);
              ++seen;
            };
            u.FBinInCB = [&](QObject*, uint32_t n, const QByteArray& states) {
              std::printf("binary inputs (%u): %s\n", n, states.toHex(' ').constData());
              std::fflush(stdout);
              binaryRecord = true;
              if (id == CBinaryObjectId) ++seen;
            };
            // The binary-input stream runs only behind a measurement stream.
            u.FStreamRec.WithBinary = binary || id == CBinaryObjectId;
            u.SendCommand(ccci::TCcci::STREAM_START, id == CBinaryObjectId ? 0x04FFFFFFu : id);
            const int since = s.RefusalCount();
            s.WaitFor([&] { return seen >= count || s.ConnectionLost() || s.RefusalCount() > since; });
            u.FUpdateGrid = nullptr;
            u.FBinInCB = nullptr;
            if (seen < count) return s.Fail(since, QStringLiteral("stream"));
            return int(ecDone);
          }};
}

TCliCommand NtpCommand() {
  return {QStringLiteral("ntp"), QStringLiteral("ntp --seconds N"), [](TCliSession& s, const QStringList& a) {
            int seconds = 10;
            if (a.size() == 2 && a[0] == QLatin1String("--seconds")) {
              bool ok = false;
              seconds = a[1].toInt(&ok);
              if (!ok || seconds < 1) return int(ecUsage);
            } else if (!a.isEmpty()) {
              return int(ecUsage);
            }
            TComUnit& u = s.Unit();
            int answered = 0;
            // The reader thread answers the device's requests; its log lines
            // tell how many it answered.
            const TVantaLogNotify previous = u.FOnLogCallBack;
            u.FOnLogCallBack = [&, previous](QObject* sen, const QString& line, bool memo) {
              if (line == QLatin1String("NTP End")) {
                ++answered;
                std::printf("%s  answered a time request of the device\n",
                            QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")).toUtf8().constData());
                std::fflush(stdout);
              }
              if (previous) previous(sen, line, memo);
            };
            const int since = s.RefusalCount();
            if (!s.Request(ccci::TCcci::TUNNEL_NTP_OPEN, [&] { u.SendCommand(ccci::TCcci::TUNNEL_NTP_OPEN); }))
              return s.Fail(since, QStringLiteral("ntp"));
            QElapsedTimer t;
            t.start();
            s.WaitFor([&] { return t.elapsed() >= seconds * 1000 || s.ConnectionLost(); });
            u.FOnLogCallBack = previous;
            std::printf("%d time requests answered in %d s\n", answered, seconds);
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
