#include "HarmBarModel.h"

#include "Language.h"
#include <algorithm>

#include "Constants.h"
#include "Formatting.h"

namespace vanta {

namespace {
bool IsHarm(TVantaDisp d) { return d == TVantaDisp::sdHrmULE || d == TVantaDisp::sdHrmULL || d == TVantaDisp::sdHrmIL; }
bool IsIHarm(TVantaDisp d) { return d == TVantaDisp::sdIHrmULE || d == TVantaDisp::sdIHrmULL || d == TVantaDisp::sdIHrmIL; }
bool IsBand(TVantaDisp d) { return d == TVantaDisp::sdFrqBandULE || d == TVantaDisp::sdFrqBandULL || d == TVantaDisp::sdFrqBandIL; }
}  // namespace

THarmBarModel::THarmBarModel() { SetVantaDisp(TVantaDisp::sdHrmULE); }

void THarmBarModel::SetVantaDisp(TVantaDisp disp) {
  FVantaDisp = disp;
  FHrmStartIdx = 0;
  const bool current = disp == TVantaDisp::sdFrqBandIL || disp == TVantaDisp::sdHrmIL || disp == TVantaDisp::sdIHrmIL;
  const bool lineToLine = disp == TVantaDisp::sdHrmULL || disp == TVantaDisp::sdIHrmULL || disp == TVantaDisp::sdFrqBandULL;
  // The legend and the clipboard rows name what the rows hold: the line-to-line
  // views show U12/U23/U31 (their fourth row is still the neutral's voltage),
  // the current views I1/I2/I3/IN; only the phase voltages are L1/L2/L3/N.
  if (current)
    FConductors = {QStringLiteral("I1"), QStringLiteral("I2"), QStringLiteral("I3"), QStringLiteral("IN")};
  else if (lineToLine)
    FConductors = {QStringLiteral("U12"), QStringLiteral("U23"), QStringLiteral("U31"), QStringLiteral("N")};
  else
    FConductors = {QStringLiteral("L1"), QStringLiteral("L2"), QStringLiteral("L3"), QStringLiteral("N")};
  FYUnit = current ? CAmpere : (disp == TVantaDisp::sdFrqBandULE || disp == TVantaDisp::sdFrqBandULL) ? CVolt : CPercent;
  // Only the view's own orders get labels; SetHarmTxt may have set others.
  if (IsBand(disp)) {
    FHrmMaxIdx = 34;
    for (int k = 0; k <= 34; ++k) {
      FHrmLim[size_t(k)] = 0.05f;
      FHrmTxt[size_t(k)] = QStringLiteral("%1 Hz").arg(2100 + 200 * k);
    }
  } else if (IsHarm(disp)) {
    FHrmStartIdx = 2;
    FHrmMaxIdx = 50;
    for (int h = 0; h <= 50; ++h) {
      FHrmLim[size_t(h)] = float(CDefHrms[size_t(h)]);
      FHrmTxt[size_t(h)] = QString::number(h);
    }
  } else if (IsIHarm(disp)) {
    FHrmMaxIdx = 49;
    for (int i = 0; i <= 49; ++i) {
      FHrmLim[size_t(i)] = 0.0f;
      FHrmTxt[size_t(i)] = QStringLiteral("%1.5").arg(i);
    }
  }
}

void THarmBarModel::SetRow(std::array<std::array<float, 51>, 4>& rows, T4Leiter l, const QList<float>& values, int count) {
  auto& row = rows[size_t(l)];
  for (int i = 0; i < count; ++i) row[size_t(i)] = values.value(i);
  FHrmMaxIdx = count - 1;
  FHrmLtr = l;
}

void THarmBarModel::SetHrmVal(T4Leiter l, const QList<float>& v) { SetRow(FHrmMax, l, v, 51); }
void THarmBarModel::SetIHrmVal(T4Leiter l, const QList<float>& v) { SetRow(FHrmMax, l, v, 50); }
void THarmBarModel::SetFrqBVal(T4Leiter l, const QList<float>& v) { SetRow(FHrmMax, l, v, 35); }
void THarmBarModel::SetHrmVal95p(T4Leiter l, const QList<float>& v) { SetRow(FHrm95p, l, v, 51); }

void THarmBarModel::SetIHrmVal95p(T4Leiter l, const QList<float>& v) { SetRow(FHrm95p, l, v, 50); }
void THarmBarModel::SetFrqBVal95p(T4Leiter l, const QList<float>& v) { SetRow(FHrm95p, l, v, 35); }

void THarmBarModel::SetHarmTxt(int i, const QString& text) {
  if (i >= 0 && i <= 50) FHrmTxt[size_t(i)] = text;
}

QString THarmBarModel::GetCaption() const {
  QString title;
  switch (FVantaDisp) {
    case TVantaDisp::sdHrmULE: title = TTr::tr("Harmonische Spannung L-N"); break;
    case TVantaDisp::sdHrmULL: title = TTr::tr("Harmonische Spannung L-L"); break;
    case TVantaDisp::sdHrmIL: title = TTr::tr("Harmonische Strom"); break;
    case TVantaDisp::sdIHrmULE: title = TTr::tr("Zwischenharmonische Spannung L-N"); break;
    case TVantaDisp::sdIHrmULL: title = TTr::tr("Zwischenharmonische Spannung L-L"); break;
    case TVantaDisp::sdIHrmIL: title = TTr::tr("Zwischenharmonische Strom"); break;
    case TVantaDisp::sdFrqBandULE: title = TTr::tr("Frequenzbänder 2-9 kHz Spannung L-N"); break;
    case TVantaDisp::sdFrqBandULL: title = TTr::tr("Frequenzbänder 2-9 kHz Spannung L-L"); break;
    case TVantaDisp::sdFrqBandIL: title = TTr::tr("Frequenzbänder 2-9 kHz Strom"); break;
    default: title = TTr::tr("Oberschwingungen"); break;
  }
  return FTSStop.isEmpty() ? QStringLiteral("%1 [%2]").arg(title, FYUnit) : QStringLiteral("%1 [%2 - %3]").arg(title, FYUnit, FTSStop);
}

void THarmBarModel::ClearData() {
  for (auto& r : FHrmMax) r.fill(0.0f);
  for (auto& r : FHrm95p) r.fill(0.0f);
  FTSStop.clear();
  FHrmActIdx = -1;
}

void THarmBarModel::SetHarmLim(int order, float limit) {
  if (order >= 0 && order <= 50 && order != 1) FHrmLim[size_t(order)] = limit;
}

void THarmBarModel::SetNormalization(bool on) {
  FNormalization = on && (FVantaDisp == TVantaDisp::sdHrmULE || FVantaDisp == TVantaDisp::sdHrmULL);
}

void THarmBarModel::HrmRescale() {
  FHrmStartIdx = 0;
  float top = 0;
  if (FVantaDisp == TVantaDisp::sdHrmULE || FVantaDisp == TVantaDisp::sdHrmULL) {
    // Voltage harmonics: DC and the fundamental stay out, never below 10 %.
    FHrmStartIdx = 2;
    top = 10.0f;
  } else if (FVantaDisp == TVantaDisp::sdIHrmULE || FVantaDisp == TVantaDisp::sdIHrmULL) {
    top = 0.4f;
  }
  const int rows = FVantaDisp == TVantaDisp::sdHrmULL ? 3 : 4;
  for (int r = 0; r < rows; ++r)
    for (int i = FHrmStartIdx; i <= FHrmMaxIdx; ++i) top = std::max(top, FHrmMax[size_t(r)][size_t(i)]);
  FHrmMaxScl = float(RoundUp(top));
}

bool THarmBarModel::CopyToClip(QStringList& list) const {
  QString info = QStringLiteral("Info");
  for (int i = 0; i <= FHrmMaxIdx; ++i) info += QLatin1Char('\t') + FHrmTxt[size_t(i)];
  list << info;
  if (FVantaDisp == TVantaDisp::sdHrmULE || FVantaDisp == TVantaDisp::sdHrmULL) {
    QString lim = QStringLiteral("Limit");
    for (int i = 0; i <= FHrmMaxIdx; ++i) lim += QLatin1Char('\t') + QString::number(double(FHrmLim[size_t(i)]), 'g', 6);
    list << lim;
  }
  const int rows = FVantaDisp == TVantaDisp::sdHrmULL ? 3 : 4;
  auto row = [&](const QString& head, const std::array<float, 51>& values) {
    QString line = head;
    for (int i = 0; i <= FHrmMaxIdx; ++i) line += QLatin1Char('\t') + QString::number(double(values[size_t(i)]), 'g', 6);
    list << line;
  };
  for (int r = 0; r < rows; ++r) {
    if (FStatistic) {
      row(QStringLiteral("%1 (Max)").arg(FConductors[size_t(r)]), FHrmMax[size_t(r)]);
      row(QStringLiteral("%1 (95%)").arg(FConductors[size_t(r)]), FHrm95p[size_t(r)]);
    } else {
      row(QStringLiteral("%1 (Val)").arg(FConductors[size_t(r)]), FHrmMax[size_t(r)]);
    }
  }
  return !list.isEmpty();
}

}  // namespace vanta
