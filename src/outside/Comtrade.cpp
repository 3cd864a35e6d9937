#include "Comtrade.h"
#include "Language.h"

#include <QDateTime>
#include <QDir>
#include <algorithm>
#include <cmath>

#include "ByteOrder.h"
#include "SaveWhole.h"

namespace vanta {

namespace {

// dd/mm/yyyy,hh:mm:ss.ssssss as the 1999 revision writes time stamps.
QByteArray ComtradeTime(tmStamp_t t) {
  const QDateTime dt = QDateTime::fromSecsSinceEpoch(t.Sec, Qt::UTC);
  return dt.toString(QStringLiteral("dd/MM/yyyy,HH:mm:ss")).toLatin1() +
         QByteArray::number((t.Frac & CTSNanoMask) / 1000).rightJustified(6, '0').prepend('.');
}

// COMTRADE names allow no commas.
QByteArray Field(const QString& s) { return s.toLatin1().replace(',', ' '); }

bool Save(const QString& path, const QByteArray& bytes, QString& error) {
  return SaveWhole(path, bytes, error);
}

}  // namespace

bool BuildComtrade(const TRecordFile& file, bool binary, TComtradeFiles& out, QString& error) {
  const TRecordHeader& h = file.Header;
  if ((h.Kind != TRecordKind::rkOsc && h.Kind != TRecordKind::rkHp) || file.Waves.isEmpty()) {
    error = TEn::tr("COMTRADE only for oscilloscope and 10 ms TRMS records");
    return false;
  }
  if (h.Context.SampleRate == 0) {
    error = TEn::tr("the record carries no sample rate");
    return false;
  }
  // All waveform records of the file in one sample sequence.
  const qsizetype n = h.Context.Channels.size();
  QList<QList<float>> samples(n);
  for (const TWaveRecord& w : file.Waves)
    for (qsizetype c = 0; c < n && c < w.Channels.size(); ++c) samples[c] << w.Channels[c];
  const qsizetype count = samples.isEmpty() ? 0 : samples[0].size();
  // Per channel a factor that maps the largest magnitude to 32767.
  QList<double> a(n, 1.0);
  for (qsizetype c = 0; c < n; ++c) {
    double peak = 0;
    for (float v : samples[c]) peak = std::max(peak, std::fabs(double(v)));
    a[c] = peak > 0 ? peak / 32767.0 : 1.0;
  }
  QByteArray cfg;
  cfg += Field(h.Env.Plant + QLatin1Char(' ') + h.Env.Field) + ',' + Field(h.Env.Device) + QByteArray::number(h.Env.Serial).prepend(' ') + ",1999\r\n";
  cfg += QByteArray::number(n) + ',' + QByteArray::number(n) + "A,0D\r\n";
  for (qsizetype c = 0; c < n; ++c) {
    const TRecordChannel& ch = h.Context.Channels[c];
    cfg += QByteArray::number(c + 1) + ',' + Field(ch.Name) + ",,," + Field(ch.Unit) + ',' + QByteArray::number(a[c], 'g', 10) +
           ",0,0,-32767,32767,1,1,P\r\n";
  }
  // Sample k (from 1) lies (k - 1) * 10^6 / rate microseconds after the
  // first. The stamp field holds 32 bits: a record longer than that (71
  // minutes) counts in tens, hundreds, ... of microseconds, and timemult says
  // in which, rather than letting the stamps wrap around.
  const double lastUs = count > 0 ? double(count - 1) * 1e6 / h.Context.SampleRate : 0;
  double timemult = 1;
  while (lastUs / timemult > double(0xFFFFFFFFu)) timemult *= 10;
  cfg += "50\r\n1\r\n" + QByteArray::number(h.Context.SampleRate) + ',' + QByteArray::number(count) + "\r\n";
  cfg += ComtradeTime(file.Waves.first().Time) + "\r\n" + ComtradeTime(file.Waves.first().Time) + "\r\n";
  cfg += binary ? "BINARY\r\n" : "ASCII\r\n";
  cfg += QByteArray::number(timemult, 'g', 17) + "\r\n";
  QByteArray dat;
  TByteWriter w(dat);
  for (qsizetype s = 0; s < count; ++s) {
    const uint32_t us = uint32_t(std::llround(double(s) * 1e6 / h.Context.SampleRate / timemult));
    if (binary) {
      w.U32(uint32_t(s + 1));
      w.U32(us);
    } else {
      dat += QByteArray::number(s + 1) + ',' + QByteArray::number(us);
    }
    for (qsizetype c = 0; c < n; ++c) {
      const long v = std::clamp(std::lround(double(samples[c].value(s)) / a[c]), -32767L, 32767L);
      if (binary)
        w.U16(uint16_t(int16_t(v)));
      else
        dat += ',' + QByteArray::number(qint64(v));
    }
    if (!binary) dat += "\r\n";
  }
  out = {cfg, dat};
  return true;
}

bool WriteComtrade(const TRecordFile& file, const QString& dir, const QString& base, bool binary, QString& error) {
  TComtradeFiles f;
  if (!BuildComtrade(file, binary, f, error)) return false;
  if (!QDir().mkpath(dir)) {
    error = TEn::tr("%1: cannot create the folder").arg(dir);
    return false;
  }
  return Save(QDir(dir).filePath(base + QStringLiteral(".cfg")), f.Cfg, error) &&
         Save(QDir(dir).filePath(base + QStringLiteral(".dat")), f.Dat, error);
}

bool BuildCsv(const TRecordFile& file, QByteArray& out, QString& error) {
  return BuildCsv(file, TDeviceTime::FromHeader(file.Header.Env), out, error);
}

QByteArray CsvHeading(const TRecordHeader& h) {
  QByteArray head = h.Kind == TRecordKind::rkRecording ? "Zeit" : "t [s]";  // untranslated: a CSV heading
  for (const TRecordChannel& c : h.Context.Channels) head += ';' + (c.Name + QStringLiteral(" [") + c.Unit + QLatin1Char(']')).toUtf8();
  return head + "\r\n";
}

void AppendCsvRow(QByteArray& out, const TRecRow& row, const TDeviceTime& time) {
  out += time.MilliText(row.Time).toLatin1();
  for (float v : row.Values) out += ';' + QByteArray::number(double(v), 'g', 7);
  out += "\r\n";
}

bool BuildCsv(const TRecordFile& file, const TDeviceTime& time, QByteArray& out, QString& error) {
  const TRecordHeader& h = file.Header;
  out = CsvHeading(h);
  if (h.Kind == TRecordKind::rkRecording) {
    for (const TRecRow& r : file.Rows) AppendCsvRow(out, r, time);
    return true;
  }
  if ((h.Kind == TRecordKind::rkOsc || h.Kind == TRecordKind::rkHp) && h.Context.SampleRate > 0) {
    qsizetype s = 0;
    // As many rows as the channels hold values, whatever the header claims.
    for (const TWaveRecord& w : file.Waves)
      for (qsizetype i = 0, held = w.Channels.isEmpty() ? 0 : w.Channels.first().size(); i < held; ++i, ++s) {
        out += QByteArray::number(double(s) / h.Context.SampleRate, 'g', 9);
        for (const QList<float>& ch : w.Channels) out += ';' + QByteArray::number(double(ch.value(i)), 'g', 7);
        out += "\r\n";
      }
    return true;
  }
  error = TEn::tr("CSV only for recordings and waveform records");
  return false;
}

}  // namespace vanta
