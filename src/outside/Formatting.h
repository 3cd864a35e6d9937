#pragma once
// Number and text formatting shared by the windows, the charts and the CLI.
// Floating-point texts always use "." as decimal separator.
#include <QString>
#include <cstdint>

namespace vanta {

// Shortest text for a value with at most `decimals` decimals: trailing zeros
// and a trailing "." are dropped ("1.5", "2", "-0.25"). NaN gives "NaN".
QString FltToStrShrt(double value, int decimals = 3);

// Unit prefix that brings |value| into 1 <= x < 1000 (p, n, µ, m, "", k, M, G, T).
struct TBaseUnit {
  double Factor = 1.0;  // value / Factor is shown
  QString Prefix;       // put in front of the unit text
};
TBaseUnit AutoBaseUnit(double value);

// Power of ten of the leading digit: floor(log10(|value|)); 0 for 0.
int DecimalPower(double value);

// Axis limits: the smallest value of the series 1, 2, 2.5, 5, 10 (times a power
// of ten) that is >= value, and the largest that is <= value. Both work for
// negative values by symmetry; 0 stays 0.
double RoundMaxValue(double value);
double RoundMinValue(double value);
// Rounds up to 1, 2 or 5 times a power of ten (bar-chart maxima).
double RoundUp(double value);

// Folds an angle in degrees into (-180, 180].
double Correct180(double degrees);

// Duration text for milliseconds: "HH:mm:ss.zzz", with "N d " in front from one day on.
QString MilliSecToDura(int64_t ms);

// Cuts the first field off `text` at `delimiter`: returns what stands before
// it and leaves what follows it; without the delimiter returns the whole text
// and leaves `text` empty. No trimming.
QString ExtractToChar(QString& text, QChar delimiter);

// Size of a file in bytes, -1 when it does not exist or is not a file.
int64_t GetFileSize(const QString& path);

// Parses a floating-point text that may use "." or "," as decimal separator.
bool ParseFloat(const QString& text, double& value);

}  // namespace vanta
