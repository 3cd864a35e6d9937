#include "SimSignals.h"

#include <cmath>
#include <cstring>

#include <QFileInfo>
#include <QSettings>

#include "ByteOrder.h"

namespace vanta::sim {

namespace {
constexpr double CPi = 3.14159265358979323846;
double Rad(double deg) { return deg * CPi / 180.0; }

// Little-endian float writer at a record offset.
class TRecord {
 public:
  explicit TRecord(int length) : FBytes(length, '\0') {}
  void F(int offset, double v) {
    uint32_t bits;
    const float f = float(v);
    std::memcpy(&bits, &f, 4);
    PutU32At(FBytes, offset, bits);
  }
  void U(int offset, uint32_t v) { PutU32At(FBytes, offset, v); }
  QByteArray& Bytes() { return FBytes; }

 private:
  QByteArray FBytes;
};

void Head(TRecord& r, uint32_t objId, tmStamp_t stamp) {
  r.U(0, objId);
  r.U(4, stamp.Sec);
  r.U(8, stamp.Frac);
}
}  // namespace

TSimNetwork TSimNetwork::At(uint32_t sec) const {
  TSimNetwork n = *this;
  n.Freq += FreqDrift * std::sin(2 * CPi * double(sec % 60) / 60.0);
  return n;
}

bool LoadNetwork(const QString& path, TSimNetwork& net, QString& error) {
  if (!QFileInfo(path).isFile()) {
    error = QStringLiteral("%1: no such file").arg(path);
    return false;
  }
  QSettings ini(path, QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) {
    error = QStringLiteral("%1: not an ini file").arg(path);
    return false;
  }
  ini.beginGroup(QStringLiteral("network"));
  bool ok = true;
  auto get = [&](const char* key, double& field) {
    if (!ini.contains(QLatin1String(key))) return;
    bool good = false;
    const double v = ini.value(QLatin1String(key)).toDouble(&good);
    if (!good || !std::isfinite(v)) {
      error = QStringLiteral("%1: [network] %2 is not a number").arg(path, QLatin1String(key));
      ok = false;
      return;
    }
    field = v;
  };
  get("Freq", net.Freq);
  for (int k = 0; k < 3; ++k) {
    get(QStringLiteral("U%1").arg(k + 1).toLatin1().constData(), net.U[k]);
    get(QStringLiteral("I%1").arg(k + 1).toLatin1().constData(), net.I[k]);
  }
  get("Lag", net.Lag);
  get("UNE", net.UNE);
  get("IN", net.IN);
  get("IRCM", net.IRCM);
  get("FreqDrift", net.FreqDrift);
  if (ok && !(net.Freq > 0)) {
    error = QStringLiteral("%1: [network] Freq must be above 0").arg(path);
    ok = false;
  }
  return ok;
}

double TSimNetwork::UHarmPct(int h) const {
  switch (h) {
    case 1: return 100.0;
    case 3: return 1.0;
    case 5: return 3.0;
    case 7: return 2.0;
    case 11: return 1.0;
    case 13: return 0.5;
    default: return 0.0;
  }
}

double TSimNetwork::IHarmPct(int h) const {
  switch (h) {
    case 1: return 100.0;
    case 3: return 5.0;
    case 5: return 10.0;
    case 7: return 6.0;
    case 11: return 3.0;
    case 13: return 2.0;
    default: return 0.0;
  }
}

double TSimNetwork::ULL(int k) const {
  const int a = k, b = (k + 1) % 3;
  const double re = U[a] * std::cos(Rad(UAngle[a])) - U[b] * std::cos(Rad(UAngle[b]));
  const double im = U[a] * std::sin(Rad(UAngle[a])) - U[b] * std::sin(Rad(UAngle[b]));
  return std::hypot(re, im);
}

double TSimNetwork::ULLAngle(int k) const {
  const int a = k, b = (k + 1) % 3;
  const double re = U[a] * std::cos(Rad(UAngle[a])) - U[b] * std::cos(Rad(UAngle[b]));
  const double im = U[a] * std::sin(Rad(UAngle[a])) - U[b] * std::sin(Rad(UAngle[b]));
  return std::atan2(im, re) * 180.0 / CPi;
}

double TSimNetwork::THD_U() const {
  double s = 0;
  for (int h = 2; h <= 50; ++h) s += UHarmPct(h) * UHarmPct(h);
  return std::sqrt(s);
}

double TSimNetwork::THD_I() const {
  double s = 0;
  for (int h = 2; h <= 50; ++h) s += IHarmPct(h) * IHarmPct(h);
  return std::sqrt(s);
}

int Record4Length(int g) { return g >= 2 ? 2328 : 2320; }
int Record1Length(int g) { return g >= 2 ? 6264 : 6052; }
int Record8HeaderLength(int g) { return g >= 1 ? 60 : 40; }
int Record8SampleSize(int g) { return g >= 2 ? 48 : 44; }

namespace {
QByteArray Record4(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int g) {
  TRecord r(Record4Length(g));
  Head(r, objId, stamp);
  r.F(16, n.Freq);
  for (int k = 0; k < 3; ++k) r.F(20 + 4 * k, n.U[k]);
  r.F(32, n.UNE);
  for (int k = 0; k < 3; ++k) r.F(36 + 4 * k, n.ULL(k));
  for (int k = 0; k < 3; ++k) r.F(52 + 8 * k, n.UAngle[k]);
  r.F(128, 0.25);  // voltage unbalance, %
  for (int k = 0; k < 7; ++k) r.F(136 + 4 * k, k == 3 ? 0.0 : n.THD_U());
  for (int blk = 0; blk < 7; ++blk)
    for (int b = 0; b < 35; ++b) r.F(192 + 140 * blk + 4 * b, 0.05);
  for (int k = 0; k < 3; ++k) r.F(1172 + 4 * k, n.I[k]);
  r.F(1184, n.IN);
  for (int k = 0; k < 4; ++k) r.F(1252 + 4 * k, k == 3 ? 0.0 : n.THD_I());
  if (g >= 2) r.F(1332, n.IRCM);
  const int fb = g >= 2 ? 1336 : 1332;
  for (int blk = 0; blk < 4; ++blk)
    for (int b = 0; b < 35; ++b) r.F(fb + 140 * blk + 4 * b, 0.01);
  const int p = g >= 2 ? 1896 : 1892;
  double pt = 0, qt = 0, st = 0;
  const double cosPhi = std::cos(Rad(n.Lag)), sinPhi = std::sin(Rad(n.Lag));
  for (int k = 0; k < 3; ++k) {
    const double s = n.U[k] * n.I[k];
    r.F(p + 12 * k, s * cosPhi);
    r.F(p + 4 + 12 * k, s * sinPhi);
    r.F(p + 8 + 12 * k, s);
    r.F(p + 52 + 16 * k, s * sinPhi);   // fundamental reactive power
    r.F(p + 112 + 4 * k, 0.0);          // distortion power
    r.F(p + 128 + 8 * k, cosPhi);       // power factor
    r.F(p + 160 + 4 * k, cosPhi);       // cos phi
    r.F(p + 208 + 4 * k, 1.0);          // sign source: inductive
    pt += s * cosPhi;
    qt += s * sinPhi;
    st += s;
  }
  r.F(p + 36, pt);
  r.F(p + 40, qt);
  r.F(p + 44, st);
  r.F(p + 100, qt);
  r.F(p + 124, 0.0);
  r.F(p + 152, pt / st);
  r.F(p + 172, cosPhi);
  r.F(p + 220, 1.0);
  return r.Bytes();
}

void HarmBlock(TRecord& r, int at, double fundamental, double (TSimNetwork::*pct)(int) const, const TSimNetwork& n) {
  for (int h = 0; h <= 50; ++h) r.F(at + 4 * h, fundamental * (n.*pct)(h) / 100.0);
  for (int i = 0; i < 50; ++i) r.F(at + 204 + 4 * i, fundamental * 0.001);
}

QByteArray Record1(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int g) {
  TRecord r(Record1Length(g));
  Head(r, objId, stamp);
  for (int k = 0; k < 3; ++k) {
    r.F(52 + 8 * k, n.U[k]);
    r.F(56 + 8 * k, n.UAngle[k]);
  }
  r.F(76, n.UNE);
  r.F(80, 0.0);
  for (int k = 0; k < 3; ++k) {
    r.F(84 + 8 * k, n.ULL(k));
    r.F(88 + 8 * k, n.ULLAngle(k));
  }
  for (int k = 0; k < 3; ++k) HarmBlock(r, 244 + 404 * k, n.U[k], &TSimNetwork::UHarmPct, n);
  HarmBlock(r, 244 + 404 * 3, n.UNE, &TSimNetwork::UHarmPct, n);
  for (int k = 0; k < 3; ++k) HarmBlock(r, 1860 + 404 * k, n.ULL(k), &TSimNetwork::UHarmPct, n);
  for (int k = 0; k < 3; ++k) {
    r.F(3704 + 8 * k, n.I[k]);
    r.F(3708 + 8 * k, n.UAngle[k] - n.Lag);
  }
  for (int k = 0; k < 3; ++k) HarmBlock(r, 3848 + 404 * k, n.I[k], &TSimNetwork::IHarmPct, n);
  HarmBlock(r, 3848 + 404 * 3, n.IN, &TSimNetwork::IHarmPct, n);
  return r.Bytes();
}

QByteArray Record8(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int g) {
  const int head = Record8HeaderLength(g), size = Record8SampleSize(g);
  const int channels = size / 4;
  TRecord r(head + int(n.OscSamples) * size);
  Head(r, objId, stamp);
  r.U(head - 8, n.OscSamples);
  r.U(head - 4, n.OscRate);
  const double w = n.OscRate > 0 ? 2 * CPi * n.Freq / n.OscRate : 0.0;
  // Each conductor carries the harmonics its harmonic record reports (order
  // h at h times the fundamental's angle), so the spectrum can be checked
  // against record 1.
  auto wave = [](double rms, double t, double angleDeg, double (TSimNetwork::*pct)(int) const, const TSimNetwork& net) {
    double v = 0;
    for (int h = 1; h <= 50; ++h)
      if (const double p = (net.*pct)(h); p != 0) v += rms * p / 100.0 * std::sqrt(2.0) * std::sin(h * (t + Rad(angleDeg)));
    return v;
  };
  for (uint32_t s = 0; s < n.OscSamples; ++s) {
    const double t = w * s;
    double v[12] = {};
    for (int k = 0; k < 3; ++k) {
      v[k] = wave(n.U[k], t, n.UAngle[k], &TSimNetwork::UHarmPct, n);
      v[7 + k] = wave(n.I[k], t, n.UAngle[k] - n.Lag, &TSimNetwork::IHarmPct, n);
    }
    v[3] = n.UNE * std::sqrt(2.0) * std::sin(t);
    v[4] = v[0] - v[1];
    v[5] = v[1] - v[2];
    v[6] = v[2] - v[0];
    v[10] = n.IN * std::sqrt(2.0) * std::sin(3 * t);
    v[11] = n.IRCM * std::sqrt(2.0) * std::sin(t);
    for (int c = 0; c < channels; ++c) r.F(head + int(s) * size + 4 * c, v[c]);
  }
  return r.Bytes();
}

QByteArray Generic(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int length) {
  TRecord r(length);
  Head(r, objId, stamp);
  r.U(12, 1);  // record counter
  r.U(16, 0);  // flags
  for (int off = 20; off + 4 <= length; off += 4) r.F(off, n.U[(off / 4) % 3]);
  return r.Bytes();
}
}  // namespace

QByteArray BuildRecord(const TSimNetwork& net, uint32_t objId, tmStamp_t stamp, int generation) {
  switch (objId) {
    case 0x04FFFFFF: return Record4(net, objId, stamp, generation);
    case 0x01FFFFFF: return Record1(net, objId, stamp, generation);
    case 0x08FFFFFF: return Record8(net, objId, stamp, generation);
    case 0x00FFFFFF: return Generic(net, objId, stamp, 1024);
    default: return Generic(net, objId, stamp, 512);
  }
}

QByteArray BinaryStates(uint32_t sec, int count) {
  QByteArray s(count, '\0');
  for (int i = 0; i < count; ++i) s[i] = char((sec / uint32_t(i + 1)) % 2);
  return s;
}

}  // namespace vanta::sim
