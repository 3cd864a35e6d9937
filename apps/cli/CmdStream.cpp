// Live data: stream records and the NTP tunnel.
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <limits>
#include <utility>

#include "Ccci.h"
#include "Language.h"
#include "CliSession.h"
#include "Download.h"
#include "JsonOut.h"

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

// A whole number of at least 1 from an option; `fallback` when absent.
bool CountOption(const TCliArgs& a, const QString& option, int fallback, int& value) {
  value = fallback;
  if (!a.Has(option)) return true;
  bool ok = false;
  value = a.Value(option).toInt(&ok);
  return ok && value >= 1;
}
}  // namespace

TCliCommand StreamCommand() {
  return {QStringLiteral("stream"),
          QStringLiteral("stream OBJECT [--count N] [--binary] [--follow]"),
          {{{QStringLiteral("count")}, true}, {{QStringLiteral("binary")}, false}, {{QStringLiteral("follow")}, false}},
          [](const TCliArgs& a) {
            uint32_t id = 0;
            int count = 0;
            if (a.Args.isEmpty()) return Missing(TEn::tr("OBJECT"));
            if (!ParseObject(a.Args[0], id))
              return TArgProblem::Usage(
                  QStringLiteral("unknown OBJECT '%1' (a kind such as panel or harmonics, or a number)")
                      .arg(a.Args[0]));
            if (a.Args.size() > 1) return Unexpected(a.Args[1]);
            if (!CountOption(a, QStringLiteral("count"), 1, count))
              return TArgProblem::Usage(TEn::tr("--count needs a whole number of at least 1"));
            return TArgProblem::None();
          },
          [](TCliSession& s, const TCliArgs& a) {
            uint32_t id = 0;
            int count = 1;
            ParseObject(a.Args[0], id);
            CountOption(a, QStringLiteral("count"), 1, count);
            const bool binary = a.Has(QStringLiteral("binary"));
            // --follow without --count runs until Ctrl-C; each record is a line at once.
            const bool follow = a.Has(QStringLiteral("follow"));
            const bool endless = follow && !a.Has(QStringLiteral("count"));
            if (endless) count = std::numeric_limits<int>::max();
            TComUnit& u = s.Unit();
            TCliOutput& out = s.Out();
            QJsonArray records;
            QJsonArray binaryInputs;
            int seen = 0;
            // Measurement records come typed; binary-input records are
            // counted by their own callback, which also decodes the states.
            u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
              if (r.Kind != TStreamKind::skMeasurement || seen >= count || id == CBinaryObjectId) return;
              const time_tz_t zone = TimeTzFromSet(u.FtmeSet);
              const tmStamp_t local = TPQTimeProgs::TSNormalizeLocal(r.Stamp, zone);
              const QString ts = TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(local));
              const QJsonObject record{{QStringLiteral("object"), qint64(r.ObjId)},
                                       {QStringLiteral("time"), IsoFlaggedTime(r.Stamp, zone)},
                                       {QStringLiteral("length"), r.Record.size()},
                                       {QStringLiteral("bytes"), QString::fromLatin1(r.Record.toByteArray().toHex())}};
              if (follow && out.Json())
                out.FollowLine(record);
              else
                records.append(record);
              out.Line(QString::asprintf("0x%08x  %s  %lld bytes", r.ObjId, ts.toUtf8().constData(),
                                         static_cast<long long>(r.Record.size())));
              ++seen;
            };
            u.FBinInCB = [&](QObject*, uint32_t n, const QByteArray& states) {
              QJsonArray bytes;
              for (const char b : states) bytes.append(int(uint8_t(b)));
              const QJsonObject inputs{{QStringLiteral("inputs"), qint64(n)}, {QStringLiteral("states"), bytes}};
              if (follow && out.Json())
                out.FollowLine(QJsonObject{{QStringLiteral("binaryInputs"), inputs}});
              else
                binaryInputs.append(inputs);
              out.Line(TEn::tr("binary inputs (%1): %2").arg(n).arg(QString::fromLatin1(states.toHex(' '))));
              if (id == CBinaryObjectId) ++seen;
            };
            // The binary-input stream runs only behind a measurement stream.
            u.FStreamRec.WithBinary = binary || id == CBinaryObjectId;
            u.SendCommand(ccci::TCcci::STREAM_START, id == CBinaryObjectId ? 0x04FFFFFFu : id);
            const int since = s.RefusalCount();
            s.WaitFor([&] { return seen >= count || s.ConnectionLost() || s.RefusalCount() > since; });
            u.FOnStreamRecord = nullptr;
            u.FBinInCB = nullptr;
            out.Result().insert(QStringLiteral("records"), records);
            if (!binaryInputs.isEmpty() || u.FStreamRec.WithBinary)
              out.Result().insert(QStringLiteral("binaryInputs"), binaryInputs);
            // Ctrl-C is how a follow without a count ends: a clean end, not a failure.
            if (follow && Interrupted() && !s.ConnectionLost() && s.RefusalCount() == since) return int(ecDone);
            if (seen < count) return s.Fail(since, QStringLiteral("stream"));
            return int(ecDone);
          }};
}

TCliCommand NtpCommand() {
  return {QStringLiteral("ntp"),
          QStringLiteral("ntp --seconds N"),
          {{{QStringLiteral("seconds")}, true}},
          [](const TCliArgs& a) {
            int seconds = 0;
            if (!a.Args.isEmpty()) return Unexpected(a.Args[0]);
            if (!CountOption(a, QStringLiteral("seconds"), 10, seconds))
              return TArgProblem::Usage(TEn::tr("--seconds needs a whole number of at least 1"));
            return TArgProblem::None();
          },
          [](TCliSession& s, const TCliArgs& a) {
            int seconds = 10;
            CountOption(a, QStringLiteral("seconds"), 10, seconds);
            TComUnit& u = s.Unit();
            TCliOutput& out = s.Out();
            QJsonArray requests;
            // The reader thread answers the device's requests; its log lines
            // tell how many it answered.
            const TVantaLogNotify previous = u.FOnLogCallBack;
            u.FOnLogCallBack = [&, previous](QObject* sen, const QString& line, bool memo) {
              if (line == QLatin1String("NTP End")) {
                const QDateTime at = QDateTime::currentDateTime();
                const QString now = at.toString(QStringLiteral("HH:mm:ss.zzz"));
                requests.append(at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs));
                out.Line(TEn::tr("%1  answered a time request of the device").arg(now));
              }
              if (previous) previous(sen, line, memo);
            };
            const int since = s.RefusalCount();
            if (!s.Request(ccci::TCcci::TUNNEL_NTP_OPEN, [&] { u.SendCommand(ccci::TCcci::TUNNEL_NTP_OPEN); })) {
              u.FOnLogCallBack = previous;
              return s.Fail(since, QStringLiteral("ntp"));
            }
            QElapsedTimer t;
            t.start();
            s.WaitFor([&] { return t.elapsed() >= seconds * 1000 || s.ConnectionLost(); });
            u.FOnLogCallBack = previous;
            out.Result().insert(QStringLiteral("seconds"), seconds);
            out.Result().insert(QStringLiteral("answered"), requests);
            out.Line(TEn::tr("%1 time requests answered in %2 s").arg(requests.size()).arg(seconds));
            return int(ecDone);
          }};
}

}  // namespace vanta::cli
