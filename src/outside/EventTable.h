#pragma once
// The cells of the event table as the readout window and the command line
// show them: event name (RCM and temperature states as texts), local time
// with milliseconds, maximum, unit, harmonic order and duration.
#include <QString>
#include <QStringList>
#include <functional>

#include "DeviceTime.h"
#include "RecordFile.h"

namespace vanta {

inline constexpr uint32_t CEvtRcmState = 0x01040037u;
inline constexpr uint32_t CEvtTemperatureState = 0x01040039u;
inline constexpr uint32_t CEvtPrimaryVoltage = 0x0104002Fu;

struct TMeasInfo {
  QString Name;
  QString Unit;
};
// Name and unit of a measurement id; false when unknown.
using TMeasLookup = std::function<bool(uint32_t id, TMeasInfo& info)>;

QStringList EventTableHeaders();
// Column 0..5 of one event. `header` gives the measurement context, `time`
// the local-time rule of the device (DeviceTime.h); `lookup` names the ids
// (the file's own channel table first is what EventLookupFor builds).
QString EventCellText(const TEventRecord& e, int column, const TRecordHeader& header, const TDeviceTime& time,
                      const TMeasLookup& lookup);
// The same by the header's own zone alone (a file without its device's settings).
QString EventCellText(const TEventRecord& e, int column, const TRecordHeader& header, const TMeasLookup& lookup);
// The file's channel table, then `fallback`.
TMeasLookup EventLookupFor(const TRecordHeader& header, const TMeasLookup& fallback = {});
// Header line and one line per event, tab-separated, CR LF between lines and
// none after the last (what "Kopieren" puts on the clipboard).
QString EventTableClipboard(const QList<TEventRecord>& events, const TRecordHeader& header, const TDeviceTime& time,
                            const TMeasLookup& lookup);
QString EventTableClipboard(const QList<TEventRecord>& events, const TRecordHeader& header, const TMeasLookup& lookup);

}  // namespace vanta
