#include "SimSignals.h"

#include <cmath>
#include <complex>
#include <functional>
#include <vector>
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

namespace {
double BaseU(int h) {
  switch (h) {
    case 3: return 1.0;
    case 5: return 3.0;
    case 7: return 2.0;
    case 11: return 1.0;
    case 13: return 0.5;
    default: return 0.0;
  }
}
double BaseI(int h) {
  switch (h) {
    case 3: return 5.0;
    case 5: return 10.0;
    case 7: return 6.0;
    case 11: return 3.0;
    case 13: return 2.0;
    default: return 0.0;
  }
}
std::complex<double> Phasor(double mag, double deg) { return std::polar(mag, Rad(deg)); }
}  // namespace

double TSimNetwork::UHarmPct(int h, int k) const {
  if (h == 1) return 100.0;
  if (h < 2 || h > 50) return 0.0;
  return BaseU(h) + 0.002 * h + 0.0005 * k;
}

double TSimNetwork::IHarmPct(int h, int k) const {
  if (h == 1) return 100.0;
  if (h < 2 || h > 50) return 0.0;
  return BaseI(h) + 0.004 * h + 0.001 * k;
}

double TSimNetwork::UIHarmPct(int i, int k) const { return i >= 0 && i < 50 ? 0.05 + 0.001 * i + 0.0002 * k : 0.0; }
double TSimNetwork::IIHarmPct(int i, int k) const { return i >= 0 && i < 50 ? 0.1 + 0.002 * i + 0.0005 * k : 0.0; }

double TSimNetwork::ULL(int k) const {
  const int a = k, b = (k + 1) % 3;
  return std::abs(Phasor(U[a], UAngle[a]) - Phasor(U[b], UAngle[b]));
}

double TSimNetwork::ULLAngle(int k) const {
  const int a = k, b = (k + 1) % 3;
  return std::arg(Phasor(U[a], UAngle[a]) - Phasor(U[b], UAngle[b])) * 180.0 / CPi;
}

double TSimNetwork::ULLHarmPct(int k, int h) const {
  if (h < 1 || h > 50) return 0.0;
  const int a = k, b = (k + 1) % 3;
  // Harmonic h of a conductor sits at h times its fundamental's angle.
  const auto d = Phasor(U[a] * UHarmPct(h, a) / 100, h * UAngle[a]) - Phasor(U[b] * UHarmPct(h, b) / 100, h * UAngle[b]);
  return 100.0 * std::abs(d) / ULL(k);
}

double TSimNetwork::ULLIHarmPct(int k, int i) const {
  const int a = k, b = (k + 1) % 3;
  // Interharmonics are in phase on every conductor: their difference is that of the magnitudes.
  return 100.0 * std::fabs(U[a] * UIHarmPct(i, a) - U[b] * UIHarmPct(i, b)) / 100.0 / ULL(k);
}

double TSimNetwork::THD_U(int k) const {
  double s = 0;
  for (int h = 2; h <= 50; ++h) s += UHarmPct(h, k) * UHarmPct(h, k);
  return std::sqrt(s);
}

double TSimNetwork::THD_I(int k) const {
  double s = 0;
  for (int h = 2; h <= 50; ++h) s += IHarmPct(h, k) * IHarmPct(h, k);
  return std::sqrt(s);
}

double TSimNetwork::THD_ULL(int k) const {
  double s = 0;
  for (int h = 2; h <= 50; ++h) s += ULLHarmPct(k, h) * ULLHarmPct(k, h);
  return std::sqrt(s);
}

QList<TSimComponent> Components(const TSimNetwork& n, int channel) {
  QList<TSimComponent> c;
  if (channel >= 0 && channel < 3) {
    for (int h = 1; h <= 50; ++h) c.append({h * n.Freq, n.U[channel] * n.UHarmPct(h, channel) / 100, h * n.UAngle[channel]});
    // Interharmonic i is order i + 0.5, midway between two harmonics, where
    // the bar views label it and the record carries it.
    for (int i = 0; i < 50; ++i) c.append({(i + 0.5) * n.Freq, n.U[channel] * n.UIHarmPct(i, channel) / 100, 0.0});
  } else if (channel >= 7 && channel < 10) {
    const int k = channel - 7;
    for (int h = 1; h <= 50; ++h) c.append({h * n.Freq, n.I[k] * n.IHarmPct(h, k) / 100, h * (n.UAngle[k] - n.Lag)});
    for (int i = 0; i < 50; ++i) c.append({(i + 0.5) * n.Freq, n.I[k] * n.IIHarmPct(i, k) / 100, 0.0});
  } else if (channel == 3) {
    c.append({n.Freq, n.UNE, 0.0});
  } else if (channel == 10) {
    c.append({3 * n.Freq, n.IN, 0.0});
  } else if (channel == 11) {
    c.append({n.Freq, n.IRCM, 0.0});
  }
  return c;
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
  for (int k = 0; k < 3; ++k) r.F(136 + 4 * k, n.THD_U(k));
  r.F(148, 0.0);  // UNE: a pure fundamental
  for (int k = 0; k < 3; ++k) r.F(152 + 4 * k, n.THD_ULL(k));
  // 2-9 kHz bands: distinct per band and conductor (not in the waveforms).
  for (int blk = 0; blk < 7; ++blk)
    for (int b = 0; b < 35; ++b) r.F(192 + 140 * blk + 4 * b, 0.05 + 0.001 * b + 0.0003 * blk);
  for (int k = 0; k < 3; ++k) r.F(1172 + 4 * k, n.I[k]);
  r.F(1184, n.IN);
  for (int k = 0; k < 3; ++k) r.F(1252 + 4 * k, n.THD_I(k));
  r.F(1264, 0.0);  // IN: a pure third harmonic has no fundamental to relate to
  if (g >= 2) r.F(1332, n.IRCM);
  const int fb = g >= 2 ? 1336 : 1332;
  for (int blk = 0; blk < 4; ++blk)
    for (int b = 0; b < 35; ++b) r.F(fb + 140 * blk + 4 * b, 0.01 + 0.0002 * b + 0.00005 * blk);
  const int p = g >= 2 ? 1896 : 1892;
  double pt = 0, qt = 0, st = 0, dt = 0;
  const double cosPhi = std::cos(Rad(n.Lag)), sinPhi = std::sin(Rad(n.Lag));
  for (int k = 0; k < 3; ++k) {
    const double s = n.U[k] * n.I[k];
    // The voltage's fundamental against the harmonic currents: the part of
    // the apparent power the distorted current adds, distinct per phase.
    const double d = s * n.THD_I(k) / 100.0;
    r.F(p + 12 * k, s * cosPhi);
    r.F(p + 4 + 12 * k, s * sinPhi);
    r.F(p + 8 + 12 * k, s);
    r.F(p + 52 + 16 * k, s * sinPhi);   // fundamental reactive power
    r.F(p + 112 + 4 * k, d);            // distortion power
    r.F(p + 128 + 8 * k, cosPhi);       // power factor
    r.F(p + 160 + 4 * k, cosPhi);       // cos phi
    r.F(p + 208 + 4 * k, 1.0);          // sign source: inductive
    pt += s * cosPhi;
    qt += s * sinPhi;
    st += s;
    dt += d;
  }
  r.F(p + 36, pt);
  r.F(p + 40, qt);
  r.F(p + 44, st);
  r.F(p + 100, qt);
  r.F(p + 124, dt);
  r.F(p + 152, pt / st);
  r.F(p + 172, cosPhi);
  r.F(p + 220, 1.0);
  return r.Bytes();
}

// A block: 51 harmonic values (orders 0-50) and 50 interharmonics.
void Block(TRecord& r, int at, const std::function<double(int)>& harm, const std::function<double(int)>& inter) {
  for (int h = 0; h <= 50; ++h) r.F(at + 4 * h, harm(h));
  for (int i = 0; i < 50; ++i) r.F(at + 204 + 4 * i, inter(i));
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
  // Voltages in % of their fundamental, currents in ampere.
  for (int k = 0; k < 3; ++k)
    Block(r, 244 + 404 * k, [&](int h) { return n.UHarmPct(h, k); }, [&](int i) { return n.UIHarmPct(i, k); });
  Block(r, 244 + 404 * 3, [](int h) { return h == 1 ? 100.0 : 0.0; }, [](int) { return 0.0; });
  for (int k = 0; k < 3; ++k)
    Block(r, 1860 + 404 * k, [&](int h) { return n.ULLHarmPct(k, h); }, [&](int i) { return n.ULLIHarmPct(k, i); });
  for (int k = 0; k < 3; ++k) {
    r.F(3704 + 8 * k, n.I[k]);
    r.F(3708 + 8 * k, n.UAngle[k] - n.Lag);
  }
  for (int k = 0; k < 3; ++k)
    Block(r, 3848 + 404 * k, [&](int h) { return n.I[k] * n.IHarmPct(h, k) / 100; }, [&](int i) { return n.I[k] * n.IIHarmPct(i, k) / 100; });
  Block(r, 3848 + 404 * 3, [&](int h) { return h == 3 ? n.IN : 0.0; }, [](int) { return 0.0; });
  return r.Bytes();
}

QByteArray Record8(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int g) {
  const int head = Record8HeaderLength(g), size = Record8SampleSize(g);
  const int channels = size / 4;
  TRecord r(head + int(n.OscSamples) * size);
  Head(r, objId, stamp);
  r.U(head - 8, n.OscSamples);
  r.U(head - 4, n.OscRate);
  // Every conductor is the sum of its components (Components()); the
  // line-to-line voltages are the differences of the conductors'.
  struct TSine {
    double Step, Amp, Phase;
  };
  std::vector<TSine> sines[12];
  const double dt = n.OscRate > 0 ? 1.0 / n.OscRate : 0.0;
  for (int ch : {0, 1, 2, 3, 7, 8, 9, 10, 11})
    for (const TSimComponent& c : Components(n, ch)) sines[ch].push_back({2 * CPi * c.Freq * dt, c.Rms * std::sqrt(2.0), Rad(c.PhaseDeg)});
  for (uint32_t s = 0; s < n.OscSamples; ++s) {
    double v[12] = {};
    for (int ch : {0, 1, 2, 3, 7, 8, 9, 10, 11})
      for (const TSine& x : sines[ch]) v[ch] += x.Amp * std::sin(x.Step * s + x.Phase);
    v[4] = v[0] - v[1];
    v[5] = v[1] - v[2];
    v[6] = v[2] - v[0];
    for (int c = 0; c < channels; ++c) r.F(head + int(s) * size + 4 * c, v[c]);
  }
  return r.Bytes();
}

// An extreme value: the value, then the time it occurred.
void Ext(TRecord& r, int at, double v, uint32_t sec) {
  r.F(at, v);
  r.U(at + 4, sec);
  r.U(at + 8, 0);
}
double Wrap(double deg) {
  double a = std::fmod(deg, 360.0);
  if (a > 180.0) a -= 360.0;
  if (a <= -180.0) a += 360.0;
  return a;
}
// U1E, U2E, U3E, UNE, U12, U23, U31 in that order.
double Volt7(const TSimNetwork& n, int k) { return k < 3 ? n.U[k] : k == 3 ? n.UNE : n.ULL(k - 4); }

// Object 0: 10/12-cycle values, the half-cycle extremes of a phase and the
// 10-second frequency.
QByteArray Record0(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int g) {
  TRecord r(1024);
  Head(r, objId, stamp);
  r.F(16, n.Freq);
  for (int k = 0; k < 7; ++k) r.F(20 + 4 * k, Volt7(n, k));
  for (int k = 0; k < 3; ++k) r.F(48 + 4 * k, n.I[k]);
  r.F(60, n.IN);
  if (g >= 2) r.F(64, n.IRCM);
  for (int k = 0; k < 3; ++k) {
    r.F(100 + 4 * k, n.U[k] * 0.99);
    r.F(112 + 4 * k, n.U[k] * 1.01);
  }
  r.F(124, n.U[0]);
  r.F(128, n.UAngle[0]);
  for (int h = 0; h <= 50; ++h) r.F(132 + 4 * h, h == 0 ? 0.0 : n.UHarmPct(h, 0));
  r.F(400, n.Freq);
  r.F(404, n.Freq - 0.01);
  r.F(408, n.Freq + 0.01);
  return r.Bytes();
}

// Object 2: standard interval values (the network as it is), statistics.
QByteArray Record2(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int g) {
  TRecord r(4096);
  Head(r, objId, stamp);
  r.F(16, n.Freq);
  for (int k = 0; k < 7; ++k) r.F(20 + 4 * k, Volt7(n, k));
  for (int k = 0; k < 3; ++k) {
    r.F(48 + 4 * k, n.THD_U(k));
    r.F(64 + 4 * k, n.THD_ULL(k));
  }
  r.F(76, 0.25);
  for (int k = 0; k < 3; ++k) {
    for (int h = 0; h <= 50; ++h) {
      r.F(100 + 204 * k + 4 * h, h == 0 ? 0.0 : n.UHarmPct(h, k));
      r.F(2032 + 204 * k + 4 * h, h == 0 ? 0.0 : n.I[k] * n.IHarmPct(h, k) / 100);
    }
    for (int i = 0; i < 50; ++i) {
      r.F(712 + 200 * k + 4 * i, n.UIHarmPct(i, k));
      r.F(2644 + 200 * k + 4 * i, n.I[k] * n.IIHarmPct(i, k) / 100);
    }
    for (int h = 2; h <= 50; ++h) {
      r.F(1312 + 196 * k + 4 * (h - 2), Wrap(h * n.UAngle[k]));
      r.F(3244 + 196 * k + 4 * (h - 2), Wrap(h * (n.UAngle[k] - n.Lag)));
    }
    r.F(1900 + 8 * k, n.U[k]);
    r.F(1904 + 8 * k, n.UAngle[k]);
    r.F(2000 + 4 * k, n.I[k]);
    r.F(2016 + 4 * k, n.THD_I(k));
    r.F(3832 + 8 * k, n.I[k]);
    r.F(3836 + 8 * k, Wrap(n.UAngle[k] - n.Lag));
  }
  r.F(2012, n.IN);
  if (g >= 2) r.F(3856, n.IRCM);
  const double cosPhi = std::cos(Rad(n.Lag)), sinPhi = std::sin(Rad(n.Lag));
  double pt = 0, qt = 0, st = 0;
  for (int k = 0; k < 3; ++k) {
    const double s = n.U[k] * n.I[k];
    r.F(3900 + 4 * k, s * cosPhi);
    r.F(3916 + 4 * k, s * sinPhi);
    r.F(3932 + 4 * k, s);
    r.F(3948 + 4 * k, cosPhi);
    r.F(3964 + 4 * k, cosPhi);
    pt += s * cosPhi;
    qt += s * sinPhi;
    st += s;
  }
  r.F(3912, pt);
  r.F(3928, qt);
  r.F(3944, st);
  r.F(3960, pt / st);
  r.F(3976, cosPhi);
  if (g >= 2) {
    r.F(4000, 38.5);
    r.F(4004, 21.0);
    r.F(4008, 22.5);
  }
  for (int k = 0; k < 3; ++k) r.F(4020 + 4 * k, n.U[k] * 1.01);
  r.F(4032, n.Freq - 0.05);
  r.F(4036, n.Freq + 0.05);
  return r.Bytes();
}

// Object 3: extreme values, each with the time it occurred (seconds before
// the record's stamp, distinct per value).
QByteArray Record3(const TSimNetwork& n, uint32_t objId, tmStamp_t stamp, int) {
  TRecord r(8192);
  Head(r, objId, stamp);
  const uint32_t t = stamp.Sec;
  for (int k = 0; k < 7; ++k) {
    Ext(r, 16 + 12 * k, Volt7(n, k) * 1.02, t - 60 * uint32_t(k + 1));
    Ext(r, 100 + 12 * k, Volt7(n, k) * 0.98, t - 30 * uint32_t(k + 1));
  }
  Ext(r, 184, n.Freq + 0.02, t - 10);
  Ext(r, 196, n.Freq - 0.02, t - 20);
  // Harmonic maxima: orders 2-50, for each the seven conductors in turn.
  for (int h = 2; h <= 50; ++h)
    for (int c = 0; c < 7; ++c) {
      const int at = 208 + ((h - 2) * 7 + c) * 12;
      if (c == 3) continue;  // UNE: a pure fundamental, never set
      Ext(r, at, 1.1 * (c < 3 ? n.UHarmPct(h, c) : n.ULLHarmPct(c - 4, h)), t - uint32_t(h));
    }
  for (int k = 0; k < 4; ++k) Ext(r, 4400 + 12 * k, (k < 3 ? n.I[k] : n.IN) * 1.05, t - 120);
  const double cosPhi = std::cos(Rad(n.Lag));
  double pt = 0, st = 0;
  for (int k = 0; k < 3; ++k) {
    const double s = n.U[k] * n.I[k] * 1.03;
    Ext(r, 4500 + 12 * k, s * cosPhi, t - 300);
    Ext(r, 4548 + 12 * k, s, t - 300);
    pt += s * cosPhi;
    st += s;
  }
  Ext(r, 4536, pt, t - 300);
  Ext(r, 4584, st, t - 300);
  return r.Bytes();
}

// Object 5: short- and long-term flicker of the three phases.
QByteArray Record5(const TSimNetwork&, uint32_t objId, tmStamp_t stamp, int) {
  TRecord r(512);
  Head(r, objId, stamp);
  for (int k = 0; k < 3; ++k) {
    r.F(16 + 4 * k, 0.3 + 0.01 * k);
    r.F(28 + 4 * k, 0.25 + 0.01 * k);
  }
  return r.Bytes();
}

// Object 7: the energy counters' times: started a day, reset an hour ago,
// synchronised now.
QByteArray Record7(const TSimNetwork&, uint32_t objId, tmStamp_t stamp, int) {
  TRecord r(512);
  Head(r, objId, stamp);
  r.U(16, stamp.Sec - 86400);
  r.U(24, stamp.Sec - 3600);
  r.U(32, stamp.Sec);
  r.U(36, stamp.Frac);
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
    case 0x00FFFFFF: return Record0(net, objId, stamp, generation);
    case 0x02FFFFFF: return Record2(net, objId, stamp, generation);
    case 0x03FFFFFF: return Record3(net, objId, stamp, generation);
    case 0x05FFFFFF: return Record5(net, objId, stamp, generation);
    case 0x07FFFFFF: return Record7(net, objId, stamp, generation);
    default: return Generic(net, objId, stamp, 512);
  }
}

QByteArray BinaryStates(uint32_t sec, int count) {
  QByteArray s(count, '\0');
  for (int i = 0; i < count; ++i) s[i] = char((sec / uint32_t(i + 1)) % 2);
  return s;
}

}  // namespace vanta::sim
