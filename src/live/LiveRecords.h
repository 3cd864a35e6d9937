#pragma once
// The meaning of the bytes inside live stream records: the value panel
// (record 4), harmonics and phasors (record 1), the oscilloscope (record 8),
// and the value texts the panel shows. Record bytes start with the object id
// at offset 0 and the device time stamp at 4, as the client stores them.
// Every read is bounds-checked: a short record reads as zeros, never past
// its end.
#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace vanta {

class TCrvTimeModel;

// ---- value texts --------------------------------------------------------------------------

// Unit index -> text: 0 "", 1 "%", 2 "V", 3 "Hz", 4 "W", 5 "A", 6 "VA", 7 "°", 8 "VAR".
QString UnitText(int unitIndex);
// "%.2f %s" with k, M or G in front of the unit while the value divided by
// 1000 stays above 1 (at most three times): 1000 V -> "1000.00 V",
// 1000.5 V -> "1.00 kV".
QString ValueText(float value, int unitIndex);

// ---- record lengths by layout generation --------------------------------------------------

int PanelRecordLength(int generation);     // record 4: 2320 / 2328
int HarmonicRecordLength(int generation);  // record 1: 6052 / 6264
int OscHeaderSize(int generation);         // record 8: 40 (generation 0) / 60
int OscSampleSize(int generation);         // 44 (generations 0, 1) / 48 (2); 0 for others

// ---- the value panel ----------------------------------------------------------------------

struct TPanelText {
  QString Field;  // the edit's name, "edtF"
  QString Label;  // "F:"
  QString Text;   // "50.00 Hz"
  // The same figure for programs: the quantity's symbol ("f", "U1E", "PSum",
  // "cosPhi1"), the number as the record holds it and its unit index (see
  // UnitText). Given is false where the device has no such value ("n.A.").
  QString Symbol;
  float Value = 0;
  int Unit = 0;
  bool Given = true;
  int Sign = 0;  // cos φ only: above 0 inductive, below 0 capacitive, 0 neither
};
// Every panel field of record 4 in display order, formatted. A shorter
// record is read as if zero-filled to its full length; the residual current
// reads "n.A." before generation 2.
QList<TPanelText> DecodePanel(const QByteArray& record, int generation);

// ---- views of records 4 and 1 -------------------------------------------------------------

enum class TVantaDisp : uint8_t {
  sdPanel, sdOsziTime, sdOsziFFT, sdVecDiag, sdLoadFlow, sdFrqBandULE, sdFrqBandULL, sdFrqBandIL,
  sdHrmULE, sdHrmULL, sdHrmIL, sdIHrmULE, sdIHrmULL, sdIHrmIL
};

// Four conductors' 35 frequency bands (2-9 kHz) for a band view, in the order
// the chart takes them (lt1, lt2, lt3, lt0). False with `log` "PANEL: %d<>%d"
// for a record of another length.
bool DecodeBands(const QByteArray& record, int generation, TVantaDisp disp, std::array<QList<float>, 4>& bands, QString& log);

// Harmonics (orders 0-50) and interharmonics (50) of four conductors for a
// harmonic view; false for a record of another length.
bool DecodeHarmonics(const QByteArray& record, int generation, TVantaDisp disp, std::array<QList<float>, 4>& harmonics,
                     std::array<QList<float>, 4>& interharmonics);

// Magnitude and angle of U1E, U2E, U3E, UNE, U12, U23, U31, I1, I2, I3.
struct TPhasor {
  float Magnitude = 0, Angle = 0;
};
bool DecodePhasors(const QByteArray& record, int generation, std::array<TPhasor, 10>& phasors);

// ---- the oscilloscope ---------------------------------------------------------------------

struct TOscChannel {
  const char* Button;  // "U1"
  int Channel;         // float number within a sample
  const char* Symbol;  // "u1"
  const char* Group;   // "ULE"
  bool Volt;           // volt, else ampere
};
extern const std::array<TOscChannel, 12> COscChannels;

// A record of `sampleCount` samples is valid when its length is exactly the
// header plus the samples.
bool OscRecordValid(qsizetype length, int generation, uint32_t sampleCount);

// Walks the samples of a valid record: `values` keeps one float per selected
// channel (channel numbers in `channels`) and is refilled for each sample; a
// channel a sample does not carry (channel 11 in 44-byte samples) keeps its
// previous value. `each` gets the sample's time t0 + round(1e9 / rate * i)
// in nanoseconds. False (and no call) for an invalid record or no channels.
bool DecodeOsc(const QByteArray& record, int generation, uint32_t sampleCount, uint32_t rate, int64_t t0Ns,
               const QList<int>& channels, QList<float>& values, const std::function<void(int64_t, const QList<float>&)>& each);

// Puts the samples of one record into a chart model, which then holds
// exactly them. The sample count comes from the record's header and may be
// garbage: the length is checked against it before the model's capacity
// follows it, so a count the record does not hold never sizes anything. A
// record that does not match leaves the model's samples cleared (its
// capacity as it was), says why in `log` and gives false.
bool FillOscModel(TCrvTimeModel& model, const QByteArray& record, int generation, uint32_t sampleCount, uint32_t rate, int64_t t0Ns,
                  const QList<int>& channels, QList<float>& values, QString& log);

}  // namespace vanta
