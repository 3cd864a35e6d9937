#include "RecordFile.h"
#include "Language.h"

#include <QFile>
#include <cstring>

#include "ByteOrder.h"
#include "SaveWhole.h"

namespace vanta {

namespace {

constexpr char CMagic[4] = {'V', 'R', 'E', 'C'};
constexpr uint16_t CVersion = 1;

// ---- reading helpers ----------------------------------------------------------------------

struct TReader {
  TByteReader R;
  QString What;
  QString Error;
  explicit TReader(const QByteArray& b, const QString& what) : R(b), What(what.isEmpty() ? TTr::tr("Datei") : what) {}
  bool Fail(const QString& text) {
    if (Error.isEmpty()) Error = TTr::tr("%1: %2 (Offset %3)").arg(What, text).arg(R.Ok() ? R.Pos() : R.FailedAt());
    return false;
  }
  QString Text() {
    const uint16_t n = R.U16();
    if (!R.Ok()) return {};
    if (!R.Has(n)) {
      Fail(TTr::tr("Text von %1 Bytes reicht über das Ende hinaus").arg(n));
      R.Skip(n);  // marks the reader failed
      return {};
    }
    return QString::fromUtf8(R.Bytes(n));
  }
  tmStamp_t Stamp() {
    tmStamp_t t;
    t.Sec = R.U32();
    t.Frac = R.U32();
    return t;
  }
  double F64() {
    const uint64_t bits = R.U64();
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
};

bool KnownKind(uint16_t k) { return k >= 1 && k <= 6; }

bool ParseHeader(TReader& in, TRecordHeader& h) {
  const QByteArray magic = in.R.Bytes(4);
  if (!in.R.Ok()) return in.Fail(TTr::tr("zu kurz für eine Aufzeichnungsdatei"));
  if (std::memcmp(magic.constData(), CMagic, 4) != 0) return in.Fail(TTr::tr("keine Aufzeichnungsdatei"));
  h.Version = in.R.U16();
  const uint16_t kind = in.R.U16();
  h.HeaderSize = in.R.U32();
  if (!in.R.Ok()) return in.Fail(TTr::tr("Kopf abgeschnitten"));
  if (h.Version != CVersion) return in.Fail(TTr::tr("unbekannte Version %1").arg(h.Version));
  if (!KnownKind(kind)) return in.Fail(TTr::tr("unbekannte Art %1").arg(kind));
  h.Kind = TRecordKind(kind);
  if (h.HeaderSize < 12 || h.HeaderSize > CMaxRecordBytes) return in.Fail(TTr::tr("Kopfgröße %1 ungültig").arg(h.HeaderSize));
  if (!in.R.Has(qsizetype(h.HeaderSize) - 12)) return in.Fail(TTr::tr("Kopf von %1 Bytes abgeschnitten").arg(h.HeaderSize));

  TSysEnvHeader& e = h.Env;
  e.Serial = in.R.U32();
  e.TzOffsetSec = in.R.I32();
  e.Dst = in.R.U8() != 0;
  e.Plant = in.Text();
  e.Field = in.Text();
  e.Device = in.Text();
  TContextHeader& c = h.Context;
  c.Class = in.Text();
  c.IntervalMs = in.R.U32();
  c.Start = in.Stamp();
  c.End = in.Stamp();
  c.SampleRate = in.R.U32();
  for (float& f : c.Factors) f = in.R.F32();
  const uint16_t channels = in.R.U16();
  if (!in.R.Ok()) return in.Fail(TTr::tr("Kopf abgeschnitten"));
  if (channels > CMaxRecordChannels) return in.Fail(TTr::tr("%1 Kanäle sind zu viele").arg(channels));
  c.Channels.clear();
  c.Channels.reserve(channels);
  for (uint16_t i = 0; i < channels; ++i) {
    TRecordChannel ch;
    ch.Id = in.R.U32();
    ch.Group = in.R.U32();
    ch.Unit = in.Text();
    ch.Name = in.Text();
    if (!in.R.Ok()) return in.Fail(TTr::tr("Kanaltabelle abgeschnitten"));
    c.Channels << ch;
  }
  if (in.R.Pos() > qsizetype(h.HeaderSize)) return in.Fail(TTr::tr("Kopf länger als angegeben"));
  return in.R.Seek(h.HeaderSize);
}

bool ParseBody(TReader& in, TRecordFile& f, const QByteArray& body) {
  TReader b(body, in.What);
  const TRecordHeader& h = f.Header;
  switch (h.Kind) {
    case TRecordKind::rkEvent:
    case TRecordKind::rkTrigger: {
      TEventRecord e;
      e.Id = b.R.U32();
      e.Start = b.Stamp();
      e.Value = b.F64();
      e.Harmonic = b.R.U16();
      e.Duration = b.F64();
      e.Suffix = b.Text();
      if (!b.R.Ok()) return in.Fail(TTr::tr("Ereignis %1 unvollständig").arg(f.Records + 1));
      f.Events << e;
      break;
    }
    case TRecordKind::rkRecording: {
      TRecRow r;
      r.Time = b.Stamp();
      const qsizetype n = h.Context.Channels.size();
      if (b.R.Remaining() != n * 4) return in.Fail(TTr::tr("Zeile %1 passt nicht zu %2 Kanälen").arg(f.Records + 1).arg(n));
      r.Values.reserve(n);
      for (qsizetype i = 0; i < n; ++i) r.Values << b.R.F32();
      f.Rows << r;
      break;
    }
    case TRecordKind::rkBinaryInput: {
      TAsyncRecord a;
      a.Time = b.Stamp();
      a.State = b.R.U32();
      a.Changed = b.R.U32();
      if (!b.R.Ok()) return in.Fail(TTr::tr("Binäreingang %1 unvollständig").arg(f.Records + 1));
      f.Async << a;
      break;
    }
    case TRecordKind::rkOsc:
    case TRecordKind::rkHp: {
      TWaveRecord w;
      w.Time = b.Stamp();
      w.Samples = b.R.U32();
      const qsizetype n = h.Context.Channels.size();
      // Without channels a sample count costs no bytes: it could claim anything.
      if (n == 0 && w.Samples > 0) return in.Fail(TTr::tr("Kurve %1 ohne Kanäle").arg(f.Records + 1));
      if (!b.R.Ok() || b.R.Remaining() != qsizetype(w.Samples) * n * 4)
        return in.Fail(TTr::tr("Kurve %1 passt nicht zu %2 Kanälen").arg(f.Records + 1).arg(n));
      for (qsizetype c = 0; c < n; ++c) {
        QList<float> values;
        values.reserve(w.Samples);
        for (uint32_t s = 0; s < w.Samples; ++s) values << b.R.F32();
        w.Channels << values;
      }
      f.Waves << w;
      break;
    }
  }
  ++f.Records;
  return true;
}

bool ReadUpTo(const QString& path, qsizetype limit, QByteArray& bytes, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
  }
  bytes = limit < 0 ? file.readAll() : file.read(limit);
  return true;
}

}  // namespace

QString RecordKindName(TRecordKind k) {
  static const char* const CNames[] = {"", "rkEvent", "rkRecording", "rkBinaryInput", "rkOsc", "rkHp", "rkTrigger"};
  const auto i = size_t(k);
  return i < std::size(CNames) ? QLatin1String(CNames[i]) : QString();
}

QString RecordKindText(TRecordKind k) {
  switch (k) {
    case TRecordKind::rkEvent: return TTr::tr("Ereignisse");
    case TRecordKind::rkRecording: return TTr::tr("Aufzeichnung");
    case TRecordKind::rkBinaryInput: return TTr::tr("Binäreingänge");
    case TRecordKind::rkOsc: return TTr::tr("Oszilloskop-Aufzeichnung");
    case TRecordKind::rkHp: return TTr::tr("Störschrieb (10 ms)");
    case TRecordKind::rkTrigger: return TTr::tr("Trigger-Ereignisse");
  }
  return TTr::tr("Art %1").arg(int(k));
}

bool ParseRecordHeader(const QByteArray& bytes, TRecordHeader& header, QString& error, const QString& what) {
  TReader in(bytes, what);
  TRecordHeader h;
  if (!ParseHeader(in, h)) {
    error = in.Error;
    return false;
  }
  header = h;
  return true;
}

bool ParseRecordFile(const QByteArray& bytes, TRecordFile& file, QString& error, const QString& what) {
  TReader in(bytes, what);
  TRecordFile f;
  if (!ParseHeader(in, f.Header)) {
    error = in.Error;
    return false;
  }
  while (in.R.Remaining() > 0) {
    const qsizetype at = in.R.Pos();
    const uint32_t length = in.R.U32();
    if (in.R.Ok() && length > CMaxRecordBytes) {
      error = TTr::tr("%1: Datensatz von %2 Bytes ist zu groß (Offset %3)").arg(in.What).arg(length).arg(at);
      return false;
    }
    if (!in.R.Ok() || !in.R.Has(length)) {
      // A partial download: everything before this record stands.
      f.Warning = TTr::tr("Datei unvollständig: %1 Datensätze gelesen, %2 Bytes am Ende ignoriert")
                      .arg(f.Records)
                      .arg(bytes.size() - at);
      break;
    }
    if (!ParseBody(in, f, in.R.Bytes(length))) {
      error = in.Error;
      return false;
    }
  }
  file = std::move(f);
  return true;
}

bool ReadRecordHeader(const QString& path, TRecordHeader& header, QString& error) {
  // The fixed part says how long the header is; only that much is read.
  QByteArray start, bytes;
  if (!ReadUpTo(path, 12, start, error)) return false;
  const uint32_t size = start.size() == 12 ? GetU32At(start, 8) : 12;
  if (!ReadUpTo(path, qMin<qsizetype>(size, CMaxRecordBytes), bytes, error)) return false;
  return ParseRecordHeader(bytes, header, error, path);
}

bool ReadRecordFile(const QString& path, TRecordFile& file, QString& error) {
  QByteArray bytes;
  if (!ReadUpTo(path, -1, bytes, error)) return false;
  return ParseRecordFile(bytes, file, error, path);
}

bool ReadRecordStart(const QString& path, qsizetype maxRecords, TRecordFile& file, bool& more, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  QByteArray bytes = f.read(12);
  const uint32_t headerSize = bytes.size() == 12 ? GetU32At(bytes, 8) : 12;
  bytes += f.read(qMax<qint64>(0, qMin<qint64>(headerSize, CMaxRecordBytes) - 12));
  qsizetype records = 0;
  more = false;
  while (!f.atEnd()) {
    if (records == maxRecords) {
      more = true;
      break;
    }
    const QByteArray len = f.read(4);
    bytes += len;
    if (len.size() < 4) break;
    const uint32_t length = GetU32At(len, 0);
    if (length > CMaxRecordBytes) break;  // the parse below names it
    bytes += f.read(length);
    ++records;
  }
  return ParseRecordFile(bytes, file, error, path);
}

bool StreamRecordFile(const QString& path, const std::function<bool(const TRecordFile&)>& each, QString& error,
                      QString* warning) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
  }
  QByteArray head = file.read(12);
  const uint32_t headerSize = head.size() == 12 ? GetU32At(head, 8) : 12;
  head += file.read(qMax<qint64>(0, qMin<qint64>(headerSize, CMaxRecordBytes) - 12));
  TReader in(head, path);
  TRecordFile f;
  if (!ParseHeader(in, f.Header)) {
    error = in.Error;
    return false;
  }
  file.seek(f.Header.HeaderSize);
  while (!file.atEnd()) {
    const qint64 at = file.pos();
    const QByteArray len = file.read(4);
    const uint32_t length = len.size() == 4 ? GetU32At(len, 0) : 0;
    if (len.size() == 4 && length > CMaxRecordBytes) {
      error = TTr::tr("%1: Datensatz von %2 Bytes ist zu groß (Offset %3)").arg(path).arg(length).arg(at);
      return false;
    }
    const QByteArray body = len.size() == 4 ? file.read(length) : QByteArray();
    if (len.size() < 4 || body.size() < qsizetype(length)) {
      if (warning)
        *warning = TTr::tr("Datei unvollständig: %1 Datensätze gelesen, %2 Bytes am Ende ignoriert")
                       .arg(f.Records)
                       .arg(file.size() - at);
      break;
    }
    f.Events.clear();
    f.Rows.clear();
    f.Async.clear();
    f.Waves.clear();
    if (!ParseBody(in, f, body)) {
      error = in.Error;
      return false;
    }
    if (!each(f)) break;
  }
  return true;
}

bool ReadSysEnvHeader(const QString& path, TSysEnvHeader& env, QString& error) {
  TRecordHeader h;
  if (!ReadRecordHeader(path, h, error)) return false;
  env = h.Env;
  return true;
}

bool ReadOfflSysEnvHead(const QString& path, TSysEnvHeader& env, QString& error) { return ReadSysEnvHeader(path, env, error); }

bool ReadOfflineContextHeader(const QString& path, TContextHeader& context, QString& error) {
  TRecordHeader h;
  if (!ReadRecordHeader(path, h, error)) return false;
  context = h.Context;
  return true;
}

namespace {
bool ReadKind(const QString& path, TRecordFile& f, QString& error, QString* warning, std::initializer_list<TRecordKind> kinds) {
  if (!ReadRecordFile(path, f, error)) return false;
  if (warning) *warning = f.Warning;
  for (TRecordKind k : kinds)
    if (f.Header.Kind == k) return true;
  error = TTr::tr("%1: enthält %2").arg(path, RecordKindText(f.Header.Kind));
  return false;
}
}  // namespace

bool AnalyseEventData(const QString& path, QList<TEventRecord>& events, QString& error, QString* warning) {
  TRecordFile f;
  if (!ReadKind(path, f, error, warning, {TRecordKind::rkEvent, TRecordKind::rkTrigger})) return false;
  events = std::move(f.Events);
  return true;
}

bool AnalyseRecData(const QString& path, TContextHeader& context, QList<TRecRow>& rows, QString& error, QString* warning) {
  TRecordFile f;
  if (!ReadKind(path, f, error, warning, {TRecordKind::rkRecording})) return false;
  context = f.Header.Context;
  rows = std::move(f.Rows);
  return true;
}

bool AnalyseAsyncData(const QString& path, QList<TAsyncRecord>& records, QString& error, QString* warning) {
  TRecordFile f;
  if (!ReadKind(path, f, error, warning, {TRecordKind::rkBinaryInput})) return false;
  records = std::move(f.Async);
  return true;
}

// ---- writing -----------------------------------------------------------------------------

namespace {
void Text(TByteWriter& w, const QString& s) {
  QByteArray b = s.toUtf8();
  if (b.size() > 0xFFFF) b.truncate(0xFFFF);
  w.U16(uint16_t(b.size()));
  w.Bytes(b);
}
void Stamp(TByteWriter& w, tmStamp_t t) {
  w.U32(t.Sec);
  w.U32(t.Frac);
}
void F64(TByteWriter& w, double d) {
  uint64_t bits = 0;
  std::memcpy(&bits, &d, sizeof bits);
  w.U64(bits);
}
}  // namespace

TRecordWriter::TRecordWriter(TRecordKind kind, const TSysEnvHeader& env, const TContextHeader& context) {
  TByteWriter w(FBytes);
  w.Bytes(QByteArray(CMagic, 4));
  w.U16(CVersion);
  w.U16(uint16_t(kind));
  w.U32(0);  // header size, known at the end of the header
  w.U32(env.Serial);
  w.U32(uint32_t(env.TzOffsetSec));
  w.U8(env.Dst ? 1 : 0);
  Text(w, env.Plant);
  Text(w, env.Field);
  Text(w, env.Device);
  Text(w, context.Class);
  w.U32(context.IntervalMs);
  Stamp(w, context.Start);
  Stamp(w, context.End);
  w.U32(context.SampleRate);
  for (float f : context.Factors) w.F32(f);
  const qsizetype channels = qMin<qsizetype>(context.Channels.size(), CMaxRecordChannels);
  w.U16(uint16_t(channels));
  for (qsizetype i = 0; i < channels; ++i) {
    const TRecordChannel& c = context.Channels[i];
    w.U32(c.Id);
    w.U32(c.Group);
    Text(w, c.Unit);
    Text(w, c.Name);
  }
  PutU32At(FBytes, 8, uint32_t(FBytes.size()));
  FChannels = channels;
}

void TRecordWriter::Record(const QByteArray& body) {
  TByteWriter w(FBytes);
  w.U32(uint32_t(body.size()));
  w.Bytes(body);
}

void TRecordWriter::Add(const TEventRecord& e) {
  QByteArray b;
  TByteWriter w(b);
  w.U32(e.Id);
  Stamp(w, e.Start);
  F64(w, e.Value);
  w.U16(e.Harmonic);
  F64(w, e.Duration);
  Text(w, e.Suffix);
  Record(b);
}

void TRecordWriter::Add(const TRecRow& row) {
  QByteArray b;
  TByteWriter w(b);
  Stamp(w, row.Time);
  // Exactly one value per channel of the header, whatever the row holds.
  for (qsizetype i = 0; i < FChannels; ++i) w.F32(i < row.Values.size() ? row.Values[i] : 0.0f);
  Record(b);
}

void TRecordWriter::Add(const TAsyncRecord& a) {
  QByteArray b;
  TByteWriter w(b);
  Stamp(w, a.Time);
  w.U32(a.State);
  w.U32(a.Changed);
  Record(b);
}

void TRecordWriter::Add(const TWaveRecord& wave) {
  QByteArray b;
  TByteWriter w(b);
  Stamp(w, wave.Time);
  w.U32(wave.Samples);
  for (qsizetype c = 0; c < FChannels; ++c) {
    const QList<float> ch = c < wave.Channels.size() ? wave.Channels[c] : QList<float>();
    for (uint32_t s = 0; s < wave.Samples; ++s) w.F32(s < uint32_t(ch.size()) ? ch[qsizetype(s)] : 0.0f);
  }
  Record(b);
}

bool TRecordWriter::Save(const QString& path, QString& error) const {
  return SaveWhole(path, FBytes, error);
}

}  // namespace vanta
