#pragma once
// Disturbance records (oscilloscope and 10 ms TRMS) as IEEE C37.111-1999
// COMTRADE files (.cfg and .dat, ASCII or binary), so any COMTRADE viewer
// opens them; and the CSV form of every record file with rows or samples.
#include <QByteArray>
#include <QString>

#include "DeviceTime.h"
#include "RecordFile.h"

namespace vanta {

struct TComtradeFiles {
  QByteArray Cfg;
  QByteArray Dat;
};
// False with a reason for a file without waveform records or sample rate.
bool BuildComtrade(const TRecordFile& file, bool binary, TComtradeFiles& out, QString& error);
// Writes <dir>/<base>.cfg and .dat.
bool WriteComtrade(const TRecordFile& file, const QString& dir, const QString& base, bool binary, QString& error);
// Recordings: local time (by `time`) and one column per channel; waveforms:
// time in seconds from the first sample and one column per channel. ";"
// separates, CR LF ends lines.
bool BuildCsv(const TRecordFile& file, const TDeviceTime& time, QByteArray& out, QString& error);
// The same by the header's own zone alone.
bool BuildCsv(const TRecordFile& file, QByteArray& out, QString& error);
// The pieces of that CSV for a recording written as it is read: the heading
// line, and one row appended to `out`.
QByteArray CsvHeading(const TRecordHeader& header);
void AppendCsvRow(QByteArray& out, const TRecRow& row, const TDeviceTime& time);

}  // namespace vanta
