#pragma once
// Constants shared by the protocol client, the windows and the charts.
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace vanta {

// Unit texts.
inline const QString CVolt = QStringLiteral("V");
inline const QString CAmpere = QStringLiteral("A");
inline const QString CHertz = QStringLiteral("Hz");
inline const QString CWatt = QStringLiteral("W");
inline const QString CVar = QStringLiteral("var");
inline const QString CVoltAmpere = QStringLiteral("VA");
inline const QString CWattHour = QStringLiteral("Wh");
inline const QString CPercent = QStringLiteral("%");
inline const QString CGrad = QStringLiteral("°");
inline const QString CSecond = QStringLiteral("s");

// Conductor names in channel order.
inline const std::array<QString, 5> CPhaseTxt = {QStringLiteral("L1"), QStringLiteral("L2"), QStringLiteral("L3"),
                                                 QStringLiteral("N"), QStringLiteral("E")};

// Marker for "no value" in choice lists of the parameter set, and the dash
// shown where a duration or value is absent.
inline const QString CEmpty = QStringLiteral("<leer>");
inline const QString CMinus = QStringLiteral("-");
// Field separator of exported text files.
inline const QString CSepa = QStringLiteral(";");

// Default voltage harmonic limits in percent of the fundamental, indexed by
// harmonic order 0..50 (EN 50160 levels up to order 25; index 1 is the
// fundamental itself).
extern const std::array<double, 51> CDefHrms;

// The kinds of data object a live stream can be started for, in the order in
// which the object identifiers are listed (see CDataObj).
enum class TDataObjKind : uint8_t {
  dokFast = 0,      // 10/12-cycle values
  dok150Cycles,     // 150-cycle values: harmonics, phasors
  dokStd,           // standard interval values
  dokExt,           // extended interval values
  dokSecond,        // one-second values: panel and frequency bands
  dokFlicker,
  dokPower,
  dokEnergy,
  dokOszi,          // oscilloscope samples
  dokBinary,        // binary inputs
};
inline constexpr int CDataObjKindCount = 10;

}  // namespace vanta
