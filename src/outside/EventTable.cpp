#include "EventTable.h"
#include "Language.h"

#include <cmath>

namespace vanta {

namespace {

bool HasContext(const TRecordHeader& h) {
  return h.Context.Factors[0] != 0 && h.Context.Factors[1] != 0 && h.Context.Factors[2] != 0;
}

QString StateText(uint32_t id, double value) {
  static const char* const CRcm[] = {QT_TRANSLATE_NOOP("TTr", "RCM Nennzustand"), QT_TRANSLATE_NOOP("TTr", "Verletzung RCM Warnschwelle"),
                                     QT_TRANSLATE_NOOP("TTr", "Verletzung RCM Alarmschwelle"), QT_TRANSLATE_NOOP("TTr", "Fehler RCM-Sensor")};
  static const char* const CRtd[] = {QT_TRANSLATE_NOOP("TTr", "Solltemperatur"), QT_TRANSLATE_NOOP("TTr", "Verletzung untere Temperaturschwelle"),
                                     QT_TRANSLATE_NOOP("TTr", "Verletzung obere Temperaturschwelle"),
                                     QT_TRANSLATE_NOOP("TTr", "Fehler Temperatursensor")};
  const long long r = std::llround(value);
  if (id == CEvtRcmState) {
    const long long low = r & 7;  // only the low three bits carry the state
    return low >= 0 && low <= 3 ? TTr::tr(CRcm[low]) : QStringLiteral("RCM Value Error");
  }
  return r >= 0 && r <= 3 ? TTr::tr(CRtd[r]) : QStringLiteral("RTD Value Error");
}

QString Fixed4(double v) { return QString::asprintf("%.4f", v); }

}  // namespace

QStringList EventTableHeaders() {
  return {TTr::tr("Ereignis"), TTr::tr("Zeit"), TTr::tr("Maximum"), TTr::tr("Einheit"), TTr::tr("Harmonische"), TTr::tr("Dauer")};
}

QString EventCellText(const TEventRecord& e, int column, const TRecordHeader& header, const TMeasLookup& lookup) {
  return EventCellText(e, column, header, TDeviceTime::FromHeader(header.Env), lookup);
}

QString EventCellText(const TEventRecord& e, int column, const TRecordHeader& header, const TDeviceTime& time,
                      const TMeasLookup& lookup) {
  const bool state = e.Id == CEvtRcmState || e.Id == CEvtTemperatureState;
  TMeasInfo info;
  const bool known = lookup && lookup(e.Id, info);
  switch (column) {
    case 0: {
      if (state) return StateText(e.Id, e.Value);
      const QString name =
          known ? info.Name : QStringLiteral("0x") + QString::number(e.Id, 16).toUpper().rightJustified(8, QLatin1Char('0'));
      return e.Suffix.isEmpty() ? name : QStringLiteral("%1 %2").arg(name, e.Suffix);
    }
    case 1: {
      if (e.Start.Sec == 0 && e.Start.Frac == 0) return QStringLiteral("--");
      return time.MilliText(e.Start);
    }
    case 2: {
      if (e.Value == 0 || state) return QStringLiteral("--");
      if (e.Id == CEvtPrimaryVoltage && HasContext(header)) {
        const auto& f = header.Context.Factors;
        return Fixed4(e.Value * (double(f[0]) * double(f[1]) * double(f[2]) / 100.0) / 100.0);
      }
      return Fixed4(e.Value);
    }
    case 3:
      if (e.Id == CEvtPrimaryVoltage && HasContext(header)) return QStringLiteral("[V]");
      return QStringLiteral("[%1]").arg(known ? info.Unit : QString());
    case 4:
      return e.Harmonic == 0 ? QStringLiteral("--") : QString::number(e.Harmonic);
    case 5:
      return e.Duration == 0 ? QStringLiteral("--") : Fixed4(e.Duration);
    default:
      return {};
  }
}

TMeasLookup EventLookupFor(const TRecordHeader& header, const TMeasLookup& fallback) {
  return [channels = header.Context.Channels, fallback](uint32_t id, TMeasInfo& info) {
    for (const TRecordChannel& c : channels)
      if (c.Id == id) {
        info = {c.Name, c.Unit};
        return true;
      }
    return fallback && fallback(id, info);
  };
}

QString EventTableClipboard(const QList<TEventRecord>& events, const TRecordHeader& header, const TMeasLookup& lookup) {
  return EventTableClipboard(events, header, TDeviceTime::FromHeader(header.Env), lookup);
}

QString EventTableClipboard(const QList<TEventRecord>& events, const TRecordHeader& header, const TDeviceTime& time,
                            const TMeasLookup& lookup) {
  QStringList lines{EventTableHeaders().join(QLatin1Char('\t'))};
  for (const TEventRecord& e : events) {
    QStringList cells;
    for (int c = 0; c < 6; ++c) cells << EventCellText(e, c, header, time, lookup);
    lines << cells.join(QLatin1Char('\t'));
  }
  // An empty table still ends its header line.
  return events.isEmpty() ? lines[0] + QStringLiteral("\r\n") : lines.join(QStringLiteral("\r\n"));
}

}  // namespace vanta
