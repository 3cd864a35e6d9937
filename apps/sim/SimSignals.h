#pragma once
// One consistent synthetic three-phase 50 Hz network, and the stream records
// built from it with the lengths and offsets each layout generation uses.
//
// Values (RMS unless said otherwise):
//   f = 50.000 Hz; U1E/U2E/U3E = 230.0/231.0/229.0 V at 0/-120/+120 deg;
//   UNE = 0.5 V; I1/I2/I3 = 10/11/12 A lagging their voltage by 30 deg
//   (cos phi +0.866, inductive); IN = 1.5 A; IRCM = 0.03 A.
//   Voltage harmonics in % of the fundamental: h3 1.0, h5 3.0, h7 2.0,
//   h11 1.0, h13 0.5; current harmonics: h3 5, h5 10, h7 6, h11 3, h13 2;
//   every interharmonic 0.1 %; every 2-9 kHz band 0.05 V / 0.01 A.
#include <QByteArray>
#include <QList>
#include <cstdint>

#include "TimeStamps.h"

namespace vanta::sim {

struct TSimNetwork {
  double Freq = 50.0;
  double U[3] = {230.0, 231.0, 229.0};
  double UAngle[3] = {0.0, -120.0, 120.0};
  double UNE = 0.5;
  double I[3] = {10.0, 11.0, 12.0};
  double Lag = 30.0;  // current lags voltage, degrees
  double IN = 1.5;
  double IRCM = 0.03;
  // Oscilloscope records: 4096 samples at 40960/s are exactly five periods
  // of 50 Hz, so a spectrum has lines 10 Hz apart and the harmonics show
  // without leakage; the half-order interharmonics need ten periods (8192).
  uint32_t OscSamples = 4096;
  uint32_t OscRate = 40960;
  // A slow drift of the frequency: FreqDrift Hz over a 60 s sine, so each
  // record differs from the last while the texts stay (50.00 Hz).
  double FreqDrift = 0.004;
  // The network as it is at `sec` (the drift applied).
  TSimNetwork At(uint32_t sec) const;

  // The spectrum of each conductor, distinct for every order, band and
  // conductor so an offset or order error shows (k = 0..2 for L1..L3):
  double UHarmPct(int h, int k = 0) const;   // voltage harmonic h in % of the fundamental (h = 1: 100)
  double IHarmPct(int h, int k = 0) const;   // current harmonic h in % of the fundamental
  double UIHarmPct(int i, int k = 0) const;  // voltage interharmonic i (order i + 0.5) in %
  double IIHarmPct(int i, int k = 0) const;  // current interharmonic i in %
  double ULL(int k) const;        // U12, U23, U31 magnitude
  double ULLAngle(int k) const;
  // Line-to-line harmonic h (or interharmonic i) in % of the line-to-line fundamental.
  double ULLHarmPct(int k, int h) const;
  double ULLIHarmPct(int k, int i) const;
  double THD_U(int k = 0) const;  // %
  double THD_I(int k = 0) const;
  double THD_ULL(int k) const;
};

// One sine of a conductor's waveform.
struct TSimComponent {
  double Freq, Rms, PhaseDeg;
};
// The components of conductor `channel` (the oscilloscope channel table:
// 0-2 U1-U3, 3 UN, 7-9 I1-I3, 10 IN, 11 IR; 4-6 are differences of 0-2).
QList<TSimComponent> Components(const TSimNetwork& n, int channel);

// Payload lengths (object id + stamp included) per generation.
int Record4Length(int generation);   // 2320 / 2328
int Record1Length(int generation);   // 6052 / 6264
int Record8HeaderLength(int generation);  // 40 / 60
int Record8SampleSize(int generation);    // 44 / 48


// A network profile: an ini file with a [network] section (Freq, U1..U3,
// I1..I3, Lag, UNE, IN, IRCM, FreqDrift); false with the reason.
bool LoadNetwork(const QString& path, TSimNetwork& net, QString& error);

// The payload of a data answer for `objId` (bytes 20.. of the frame).
QByteArray BuildRecord(const TSimNetwork& net, uint32_t objId, tmStamp_t stamp, int generation);
// Binary-input states at a given second: input i is on during odd
// multiples of (i + 1) seconds.
QByteArray BinaryStates(uint32_t sec, int count = 8);

}  // namespace vanta::sim
