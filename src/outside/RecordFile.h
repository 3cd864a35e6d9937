#pragma once
// The device's record files (events, recordings, binary inputs, disturbance
// records): one little-endian format, read header-only for trees or whole
// for tables, written by the simulator and the tests. A file cut inside a
// record (a partial download) is read up to its last whole record.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

#include "TimeStamps.h"

namespace vanta {

enum class TRecordKind : uint16_t { rkEvent = 1, rkRecording = 2, rkBinaryInput = 3, rkOsc = 4, rkHp = 5, rkTrigger = 6 };
QString RecordKindName(TRecordKind k);  // "rkEvent"
QString RecordKindText(TRecordKind k);  // the same in words for people, in the chosen language

struct TSysEnvHeader {
  uint32_t Serial = 0;
  int32_t TzOffsetSec = 0;
  bool Dst = false;
  QString Plant, Field, Device;
  bool operator==(const TSysEnvHeader&) const = default;
};

struct TRecordChannel {
  uint32_t Id = 0;
  uint32_t Group = 0;
  QString Unit;
  QString Name;
  bool operator==(const TRecordChannel&) const = default;
};

struct TContextHeader {
  QString Class;
  uint32_t IntervalMs = 0;
  tmStamp_t Start, End;
  uint32_t SampleRate = 0;
  std::array<float, 3> Factors{0, 0, 0};  // secondary nominal voltage, VT factor, nominal L-L in %
  QList<TRecordChannel> Channels;
  bool operator==(const TContextHeader&) const = default;
};

struct TRecordHeader {
  TRecordKind Kind = TRecordKind::rkEvent;
  uint16_t Version = 1;
  TSysEnvHeader Env;
  TContextHeader Context;
  uint32_t HeaderSize = 0;
};

struct TEventRecord {
  uint32_t Id = 0;
  tmStamp_t Start;
  double Value = 0;
  uint16_t Harmonic = 0;
  double Duration = 0;  // seconds
  QString Suffix;
  bool operator==(const TEventRecord&) const = default;
};

struct TRecRow {
  tmStamp_t Time;
  QList<float> Values;  // one per channel
  bool operator==(const TRecRow&) const = default;
};

struct TAsyncRecord {
  tmStamp_t Time;
  uint32_t State = 0;
  uint32_t Changed = 0;
  bool operator==(const TAsyncRecord&) const = default;
};

struct TWaveRecord {
  tmStamp_t Time;
  uint32_t Samples = 0;
  QList<QList<float>> Channels;  // per channel, `Samples` values
  bool operator==(const TWaveRecord&) const = default;
};

struct TRecordFile {
  TRecordHeader Header;
  QList<TEventRecord> Events;  // events and triggers
  QList<TRecRow> Rows;
  QList<TAsyncRecord> Async;
  QList<TWaveRecord> Waves;
  QString Warning;       // a cut-off file: how much was read
  qsizetype Records = 0;
};

inline constexpr uint32_t CMaxRecordBytes = 16u * 1024 * 1024;
inline constexpr uint16_t CMaxRecordChannels = 4096;

// ---- reading -----------------------------------------------------------------------------

// The header of `bytes` (which may hold only the start of a file); false
// with a reason naming `what` and the offset.
bool ParseRecordHeader(const QByteArray& bytes, TRecordHeader& header, QString& error, const QString& what = {});
// Everything; a cut-off last record sets Warning, not an error.
bool ParseRecordFile(const QByteArray& bytes, TRecordFile& file, QString& error, const QString& what = {});
// From disk; the header read takes only as many bytes as the header needs.
bool ReadRecordHeader(const QString& path, TRecordHeader& header, QString& error);
bool ReadRecordFile(const QString& path, TRecordFile& file, QString& error);

// The header and at most `maxRecords` records, reading no further into the
// file: a large recording shows its first rows without being read whole.
// `more` tells whether records follow.
bool ReadRecordStart(const QString& path, qsizetype maxRecords, TRecordFile& file, bool& more, QString& error);

// Record by record from disk, holding one record at a time: reports over a
// year of data keep their memory flat. `each` sees the header and only the
// latest record in Events/Rows/Async/Waves (Records counts them); returning
// false stops the walk. A cut-off last record sets `warning`, not an error.
bool StreamRecordFile(const QString& path, const std::function<bool(const TRecordFile&)>& each, QString& error,
                      QString* warning = nullptr);

// The calls the windows make by name.
bool ReadSysEnvHeader(const QString& path, TSysEnvHeader& env, QString& error);
bool ReadOfflSysEnvHead(const QString& path, TSysEnvHeader& env, QString& error);
bool ReadOfflineContextHeader(const QString& path, TContextHeader& context, QString& error);
bool AnalyseEventData(const QString& path, QList<TEventRecord>& events, QString& error, QString* warning = nullptr);
bool AnalyseRecData(const QString& path, TContextHeader& context, QList<TRecRow>& rows, QString& error,
                    QString* warning = nullptr);
bool AnalyseAsyncData(const QString& path, QList<TAsyncRecord>& records, QString& error, QString* warning = nullptr);

// ---- writing -----------------------------------------------------------------------------

// Builds files record by record; Bytes() is a complete file at any time.
class TRecordWriter {
 public:
  TRecordWriter(TRecordKind kind, const TSysEnvHeader& env, const TContextHeader& context);
  void Add(const TEventRecord& e);
  void Add(const TRecRow& row);
  void Add(const TAsyncRecord& a);
  void Add(const TWaveRecord& w);
  const QByteArray& Bytes() const { return FBytes; }
  bool Save(const QString& path, QString& error) const;

 private:
  void Record(const QByteArray& body);
  QByteArray FBytes;
  qsizetype FChannels = 0;
};

}  // namespace vanta
