#include "SimRecords.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>

#include "RecordFile.h"
#include "SimDevice.h"

namespace vanta::sim {

namespace {

constexpr uint32_t CBase = 1764892800;  // 2025-12-05 00:00:00 UTC
constexpr double CPi = 3.14159265358979323846;

struct TClassSpec {
  const char* Name;
  uint32_t IntervalMs;
};
// The periodic classes in the order the readout groups them, then a Modbus
// slave class and one the workspace does not know.
const TClassSpec CClasses[] = {{"10T", 200},     {"150T", 3000},  {"10min", 600000}, {"2h", 7200000}, {"1s", 1000},
                               {"10s", 10000},   {"Ns", 5000},    {"Mmin", 300000},  {"Slave1", 60000}, {"Xyz", 60000}};
constexpr int CRows = 120;

TSysEnvHeader Env(const TSimDevice& d) {
  const time_tz_t tz = TimeTzFromSet(d.Config.TimeSet);
  return {d.Config.SerialNumber, tz.OffsetSec, tz.DstMode, d.Config.Plant, d.Config.Field, d.Config.Device};
}

tmStamp_t Plus(tmStamp_t t, int64_t ms) {
  const int64_t ns = int64_t(t.Frac & CTSNanoMask) + (ms % 1000) * 1000000;
  return {uint32_t(int64_t(t.Sec) + ms / 1000 + ns / CNanoPerSec), uint32_t(ns % CNanoPerSec)};
}

QString Ms(tmStamp_t t) { return QStringLiteral("%1").arg((t.Frac & CTSNanoMask) / 1000000, 3, 10, QLatin1Char('0')); }

bool Save(const TRecordWriter& w, const QString& path, QStringList& written, QString& error) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!w.Save(path, error)) return false;
  written << path;
  return true;
}

// ---- events ------------------------------------------------------------------------------

struct TEventSpec {
  uint32_t Id;
  const char* Name;
  const char* Unit;
  double Value;
  uint16_t Harmonic;
  double Duration;
  const char* Suffix;
};

// A dip, a swell, an RCM and a temperature state, an interruption without a
// duration, a harmonic and a primary-voltage event.
const TEventSpec CEvents[] = {
    {0x01040010, "Spannungseinbruch", "%", 71.2, 0, 0.12, "L1"},
    {0x01040011, "Spannungsüberhöhung", "%", 112.5, 0, 0.08, "L2"},
    {0x01040037, "RCM", "", 2, 0, 0, ""},
    {0x01040039, "Temperatur", "", 1, 0, 0, ""},
    {0x01040012, "Unterbrechung", "%", 0.8, 0, 0, "L3"},
    {0x01040020, "Oberschwingung U", "%", 6.1, 5, 600, "L1"},
    {0x0104002F, "Spannung", "%", 110, 0, 1.5, "L1"},
};

bool WriteEvent(const TSimDevice& d, const TEventSpec& e, tmStamp_t start, QStringList& written, QString& error) {
  TContextHeader ctx;
  ctx.Start = start;
  ctx.End = Plus(start, int64_t(std::ceil(e.Duration * 1000)));
  ctx.Factors = {float(d.Network.U[0]), 1.0f, 100.0f};
  ctx.Channels << TRecordChannel{e.Id, 0, QString::fromUtf8(e.Unit), QString::fromUtf8(e.Name)};
  TRecordWriter w(TRecordKind::rkEvent, Env(d), ctx);
  w.Add(TEventRecord{e.Id, start, e.Value, e.Harmonic, e.Duration, QString::fromUtf8(e.Suffix)});
  return Save(w, d.Storage.EventDir() + QLatin1Char('/') + EventFileName(d.Config.SerialNumber, start), written, error);
}

// ---- recordings ----------------------------------------------------------------------------

QList<TRecordChannel> SyncChannels(bool withRcm) {
  QList<TRecordChannel> c;
  for (int k = 0; k < 3; ++k) c << TRecordChannel{0x01000000u + uint32_t(k), 0x0100FFFF, QStringLiteral("V"), QStringLiteral("U L%1").arg(k + 1)};
  for (int k = 0; k < 3; ++k) c << TRecordChannel{0x01010000u + uint32_t(k), 0x0101FFFF, QStringLiteral("A"), QStringLiteral("I L%1").arg(k + 1)};
  c << TRecordChannel{0x00000001, 0x0000FFFF, QStringLiteral("Hz"), QStringLiteral("Frequenz")};
  c << TRecordChannel{0x02000000, 0x0200FFFF, QStringLiteral("%"), QStringLiteral("THD U L1")};
  if (withRcm) {
    // The 10-minute class also carries what an EN 50160 report assesses.
    for (int k = 0; k < 3; ++k) c << TRecordChannel{0x03000000u + uint32_t(k), 0x0300FFFF, QString(), QStringLiteral("Plt L%1").arg(k + 1)};
    c << TRecordChannel{0x03010000, 0x0301FFFF, QStringLiteral("%"), QStringLiteral("Unsymmetrie U")};
    for (int h = 2; h <= 25; ++h) c << TRecordChannel{0x02010000u + uint32_t(h), 0x0201FFFF, QStringLiteral("%"), QStringLiteral("H%1 U L1").arg(h)};
    c << TRecordChannel{0x14000000, 0x1400FFFF, QStringLiteral("iR"), QStringLiteral("Differenzstrom")};
    c << TRecordChannel{0x14000001, 0x1400FFFF, QStringLiteral("iRR"), QStringLiteral("Differenzstrom Bezug")};
  }
  return c;
}

bool WriteSync(const TSimDevice& d, const TClassSpec& cls, tmStamp_t start, int rows, QStringList& written, QString& error) {
  const bool rcm = std::strcmp(cls.Name, "10min") == 0;
  TContextHeader ctx;
  ctx.Class = QString::fromLatin1(cls.Name);
  ctx.IntervalMs = cls.IntervalMs;
  ctx.Start = start;
  ctx.End = Plus(start, int64_t(cls.IntervalMs) * rows);
  ctx.Factors = {float(d.Network.U[0]), 1.0f, 100.0f};
  ctx.Channels = SyncChannels(rcm);
  TRecordWriter w(TRecordKind::rkRecording, Env(d), ctx);
  const TSimNetwork& n = d.Network;
  for (int i = 0; i < rows; ++i) {
    TRecRow r;
    r.Time = Plus(start, int64_t(cls.IntervalMs) * i);
    // Slow, distinct swings per phase: each curve can be told apart.
    for (int k = 0; k < 3; ++k) r.Values << float(n.U[k] * (1.0 + 0.01 * std::sin(i / 7.0 + k)));
    for (int k = 0; k < 3; ++k) r.Values << float(n.I[k] * (1.0 + 0.2 * std::sin(i / 11.0 + k)));
    r.Values << float(n.Freq + 0.02 * std::sin(i / 5.0));
    r.Values << float(n.THD_U() * (1.0 + 0.1 * std::cos(i / 9.0)));
    if (rcm) {
      for (int k = 0; k < 3; ++k) r.Values << float(0.3 + 0.1 * k + 0.05 * std::sin(i / 13.0));
      r.Values << 0.25f;
      for (int h = 2; h <= 25; ++h) r.Values << float(n.UHarmPct(h));
      r.Values << float(n.IRCM * 1000 * (1.0 + 0.3 * std::sin(i / 4.0))) << float(n.IRCM * 1000);
    }
    w.Add(r);
  }
  return Save(w, d.Storage.RecorderDir() + QLatin1Char('/') + RecordingFileName(QStringLiteral("sync"), ctx.Class, d.Config.SerialNumber, start),
              written, error);
}

bool WriteBinIn(const TSimDevice& d, tmStamp_t start, QStringList& written, QString& error) {
  TContextHeader ctx;
  ctx.Class = QStringLiteral("BinIn");
  ctx.Start = start;
  ctx.End = Plus(start, 20000);
  for (int i = 0; i < 8; ++i)
    ctx.Channels << TRecordChannel{0x30000000u + uint32_t(i), 0x3000FFFF, QString(), QStringLiteral("Binäreingang %1").arg(i + 1)};
  TRecordWriter w(TRecordKind::rkBinaryInput, Env(d), ctx);
  uint32_t last = 0;
  for (uint32_t s = 0; s < 20; ++s) {
    uint32_t state = 0;
    for (int i = 0; i < 8; ++i) state |= ((s / uint32_t(i + 1)) % 2) << i;
    if (s > 0 && state == last) continue;
    w.Add(TAsyncRecord{Plus(start, int64_t(s) * 1000), state, state ^ last});
    last = state;
  }
  return Save(w, d.Storage.RecorderDir() + QLatin1Char('/') + RecordingFileName(QStringLiteral("async"), ctx.Class, d.Config.SerialNumber, start),
              written, error);
}

}  // namespace

QString EventFileName(uint32_t serial, tmStamp_t start) {
  return QStringLiteral("%1-%2-%3.log").arg(serial, 8, 10, QLatin1Char('0')).arg(start.Sec, 10, 10, QLatin1Char('0')).arg(Ms(start));
}

QString RecordingFileName(const QString& folder, const QString& cls, uint32_t serial, tmStamp_t start) {
  return QStringLiteral("%1/%2-%3").arg(folder, cls, EventFileName(serial, start));
}

QStringList WriteTriggered(const TSimDevice& d, tmStamp_t when, QString& error) {
  QStringList written;
  const TSimNetwork& n = d.Network;
  // Oscilloscope: 512 samples at 12800 Hz of the three voltages and currents.
  TContextHeader osc;
  osc.Class = QStringLiteral("Osc");
  osc.Start = when;
  osc.SampleRate = 12800;
  osc.End = Plus(when, 40);
  osc.Factors = {float(n.U[0]), 1.0f, 100.0f};
  for (int k = 0; k < 3; ++k) osc.Channels << TRecordChannel{0x05000000u + uint32_t(k), 0x0500FFFF, QStringLiteral("V"), QStringLiteral("u L%1").arg(k + 1)};
  for (int k = 0; k < 3; ++k) osc.Channels << TRecordChannel{0x05010000u + uint32_t(k), 0x0501FFFF, QStringLiteral("A"), QStringLiteral("i L%1").arg(k + 1)};
  TWaveRecord wave{when, 512, {}};
  for (int c = 0; c < 6; ++c) {
    const int k = c % 3;
    const double amp = (c < 3 ? n.U[k] : n.I[k]) * std::sqrt(2.0);
    const double phase = (n.UAngle[k] - (c < 3 ? 0.0 : n.Lag)) * CPi / 180.0;
    QList<float> v;
    for (int s = 0; s < 512; ++s) {
      // A short dip on the first phase in the middle of the record.
      const double depth = (c == 0 && s >= 200 && s < 300) ? 0.7 : 1.0;
      v << float(depth * amp * std::sin(2 * CPi * n.Freq * s / 12800.0 + phase));
    }
    wave.Channels << v;
  }
  TRecordWriter ow(TRecordKind::rkOsc, Env(d), osc);
  ow.Add(wave);
  if (!Save(ow, d.Storage.RecorderDir() + QLatin1Char('/') + RecordingFileName(QStringLiteral("rec"), osc.Class, d.Config.SerialNumber, when), written, error))
    return written;

  // 10 ms TRMS: 200 half-period values of the three voltages.
  TContextHeader hp = osc;
  hp.Class = QStringLiteral("Hp");
  hp.SampleRate = 100;
  hp.End = Plus(when, 2000);
  hp.Channels = osc.Channels.mid(0, 3);
  TWaveRecord rms{when, 200, {}};
  for (int k = 0; k < 3; ++k) {
    QList<float> v;
    for (int s = 0; s < 200; ++s) v << float(n.U[k] * ((k == 0 && s >= 80 && s < 92) ? 0.7 : 1.0));
    rms.Channels << v;
  }
  TRecordWriter hw(TRecordKind::rkHp, Env(d), hp);
  hw.Add(rms);
  if (!Save(hw, d.Storage.RecorderDir() + QLatin1Char('/') + RecordingFileName(QStringLiteral("rec"), hp.Class, d.Config.SerialNumber, when), written, error))
    return written;

  // The trigger that started both.
  TContextHeader trg;
  trg.Class = QStringLiteral("Trg");
  trg.Start = when;
  trg.End = Plus(when, 120);
  trg.Channels << TRecordChannel{0x01040010, 0, QStringLiteral("%"), QStringLiteral("Spannungseinbruch")};
  TRecordWriter tw(TRecordKind::rkTrigger, Env(d), trg);
  tw.Add(TEventRecord{0x01040010, Plus(when, 15), 70.0, 0, 0.12, QStringLiteral("L1")});
  Save(tw, d.Storage.RecorderDir() + QLatin1Char('/') + RecordingFileName(QStringLiteral("rec"), trg.Class, d.Config.SerialNumber, when), written, error);
  return written;
}

QStringList PopulateDefaultRecords(const TSimDevice& d, QString& error) {
  for (const QString& dir : {d.Storage.EventDir(), d.Storage.RecorderDir()}) {
    QDirIterator it(dir, {QStringLiteral("*.log")}, QDir::Files, QDirIterator::Subdirectories);
    if (it.hasNext()) return {};  // the device has content of its own
  }
  QStringList written;
  if (d.Config.ContentSeed == 0) {
    int i = 0;
    for (const TEventSpec& e : CEvents) {
      const tmStamp_t start{CBase + 3600u * uint32_t(++i), uint32_t(i * 125) % 1000 * 1000000u};
      if (!WriteEvent(d, e, start, written, error)) return written;
    }
  } else {
    // A device of a simulated fleet: its own choice of the events, at its
    // own times (still one per hour, so the order stays the same) and with
    // values up to 10 % off, all from the seed so a restart keeps them.
    std::mt19937 gen(d.Config.ContentSeed);
    const auto rng = [&gen] { return uint32_t(gen()); };
    const uint32_t skip = rng() % uint32_t(std::size(CEvents));  // one event this device never saw
    for (uint32_t i = 0; i < uint32_t(std::size(CEvents)); ++i) {
      if (i == skip && rng() % 2 == 0) continue;
      TEventSpec e = CEvents[i];
      const double factor = 1.0 + (double(rng() % 201) - 100.0) / 1000.0;
      if (std::strcmp(e.Unit, "%") == 0) e.Value = std::round(e.Value * factor * 10) / 10;  // states stay states
      const tmStamp_t start{CBase + 3600u * (i + 1) + rng() % 1800u, rng() % 1000u * 1000000u};
      if (!WriteEvent(d, e, start, written, error)) return written;
    }
  }
  for (const TClassSpec& c : CClasses)
    if (!WriteSync(d, c, {CBase, 0}, CRows, written, error)) return written;
  if (!WriteBinIn(d, {CBase + 60, 0}, written, error)) return written;
  written << WriteTriggered(d, {CBase + 3600, 125000000}, error);
  return written;
}

QStringList PopulateMore(const TSimDevice& d, int count, QString& error) {
  QStringList written;
  const int periodic = int(std::size(CClasses));
  for (int i = 0; i < count && error.isEmpty(); ++i) {
    // Spread over the periodic classes and the events, an hour apart, older than the defaults.
    const tmStamp_t start{CBase - 3600u * uint32_t(i + 1), 0};
    if (i % (periodic + 1) == periodic)
      WriteEvent(d, CEvents[size_t(i) % std::size(CEvents)], start, written, error);
    else
      WriteSync(d, CClasses[i % (periodic + 1)], start, 12, written, error);
  }
  return written;
}

QStringList PopulateSized(const TSimDevice& d, int recordings, qint64 bytesEach, int events, QString& error) {
  QStringList written;
  // The one-second class: few channels, so the size is mostly rows. What a
  // row costs is measured on a writer of the same layout, not guessed.
  const TClassSpec& cls = CClasses[4];
  qint64 rows = 1;
  {
    TContextHeader ctx;
    ctx.Class = QString::fromLatin1(cls.Name);
    ctx.IntervalMs = cls.IntervalMs;
    ctx.Channels = SyncChannels(false);
    TRecordWriter w(TRecordKind::rkRecording, Env(d), ctx);
    const qsizetype empty = w.Bytes().size();
    TRecRow r;
    r.Values.fill(1.0f, ctx.Channels.size());
    w.Add(r);
    const qsizetype row = qMax<qsizetype>(1, w.Bytes().size() - empty);
    rows = qMax<qint64>(1, (bytesEach - empty + row - 1) / row);
  }
  // A day apart and off the full hour, so the names never meet those of the
  // defaults or of --populate.
  for (int i = 0; i < recordings && error.isEmpty(); ++i)
    WriteSync(d, cls, {CBase - 86400u * uint32_t(i + 1) - 7u, 0}, int(rows), written, error);
  for (int i = 0; i < events && error.isEmpty(); ++i)
    WriteEvent(d, CEvents[size_t(i) % std::size(CEvents)], {CBase - 86400u * uint32_t(i + 1) - 1234u, 500000000u}, written, error);
  return written;
}

bool WriteTestCertificate(const TSimDevice& d, QString& error) {
  const QString article = QString::number(d.Config.Article);
  const QString path = QStringLiteral("%1/Testcertificate/%2-%3.%4.pdf")
                           .arg(d.Storage.ScratchpadDir())
                           .arg(d.Config.SerialNumber)
                           .arg(article.left(3), article.mid(3));
  if (QFileInfo::exists(path)) return true;
  // A minimal PDF: catalogue, page tree, one page with a line of text; the
  // cross-reference table holds the real byte offsets.
  const QByteArray text = QStringLiteral("Pruefzertifikat %1 Artikel %2").arg(d.Config.SerialNumber).arg(article).toLatin1();
  const QByteArray content = "BT /F1 18 Tf 72 720 Td (" + text + ") Tj ET";
  const QList<QByteArray> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  QByteArray pdf = "%PDF-1.4\n";
  QList<qsizetype> offsets;
  for (int i = 0; i < objects.size(); ++i) {
    offsets << pdf.size();
    pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype o : offsets) pdf += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) +
         "\n%%EOF\n";
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(pdf) != pdf.size()) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  return true;
}

int64_t RecordEndTime(const QString& path) {
  TRecordHeader h;
  QString error;
  if (!ReadRecordHeader(path, h, error)) return -1;
  const tmStamp_t end = h.Context.End;
  return int64_t(end.Sec) + ((end.Frac & CTSNanoMask) ? 1 : 0);
}

}  // namespace vanta::sim
