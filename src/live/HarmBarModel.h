#pragma once
// The bar chart's model: harmonics (orders 0-50), interharmonics (50) or the
// 35 bands from 2 to 9 kHz of four conductors, their limits and labels, the
// value axis (HrmRescale) and the clipboard text. The painter draws from it.
#include <QString>
#include <QStringList>
#include <array>

#include "LiveRecords.h"

namespace vanta {

enum class T4Leiter : uint8_t { lt1, lt2, lt3, lt0 };

class THarmBarModel {
 public:
  THarmBarModel();
  void SetVantaDisp(TVantaDisp disp);
  TVantaDisp VantaDisp() const { return FVantaDisp; }
  void SetHrmVal(T4Leiter l, const QList<float>& values);   // 51
  void SetIHrmVal(T4Leiter l, const QList<float>& values);  // 50
  void SetFrqBVal(T4Leiter l, const QList<float>& values);  // 35
  void SetHrmVal95p(T4Leiter l, const QList<float>& values);
  void SetIHrmVal95p(T4Leiter l, const QList<float>& values);
  void SetFrqBVal95p(T4Leiter l, const QList<float>& values);
  // The label of an order or band (0 .. 50).
  void SetHarmTxt(int i, const QString& text);
  // "title [unit - time]" once a record's time is known, else "title [unit]".
  QString GetCaption() const;
  // Every row, 95 % row and the time gone; labels, limits and view stay.
  void ClearData();
  float Value95p(T4Leiter l, int order) const { return FHrm95p[size_t(l)][size_t(order)]; }
  // The limit of an order; the fundamental keeps its own.
  void SetHarmLim(int order, float limit);
  float HarmLim(int order) const { return FHrmLim[size_t(order)]; }
  void SetNormalization(bool on);
  bool Normalization() const { return FNormalization; }
  void HrmRescale();
  float CalcBarWidth(float w) const { return FHrmLtr == T4Leiter::lt0 ? w * 0.4f : w * 0.5f; }
  bool CopyToClip(QStringList& list) const;

  int FHrmStartIdx = 0, FHrmMaxIdx = 50;
  float FHrmMaxScl = 0;
  float FUC = 0;           // the nominal voltage the normalised view refers to
  QString FTSStop;         // the shown record's time as text (empty: none yet)
  int FHrmActIdx = -1;     // the highlighted order
  QString FYUnit = QStringLiteral("%");
  bool FStatistic = false;
  T4Leiter FHrmLtr = T4Leiter::lt0;  // the last conductor shown
  std::array<QString, 51> FHrmTxt;
  std::array<QString, 4> FConductors = {QStringLiteral("L1"), QStringLiteral("L2"), QStringLiteral("L3"), QStringLiteral("N")};
  float Value(T4Leiter l, int order) const { return FHrmMax[size_t(l)][size_t(order)]; }

 private:
  void SetRow(std::array<std::array<float, 51>, 4>& rows, T4Leiter l, const QList<float>& values, int count);
  TVantaDisp FVantaDisp = TVantaDisp::sdHrmULE;
  bool FNormalization = false;
  std::array<float, 51> FHrmLim{};
  std::array<std::array<float, 51>, 4> FHrmMax{}, FHrm95p{};
};

}  // namespace vanta
