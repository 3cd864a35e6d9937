#include "SimplePage.h"

#include <cmath>

#include "GridRules.h"

namespace vanta {

uint32_t RemapSimplePageId(uint32_t id, uint8_t generation) {
  if (generation == 0) return id;
  switch (id) {
    case 0x10030059: return 0x10030061;
    case 0x1003005A: return 0x10030062;
    case 0x1003005D: return 0x10030071;
    case 0x1003005E: return 0x10030072;
    case 0x11030059: return 0x11030061;
    case 0x1103005A: return 0x11030062;
    case 0x1103005D: return 0x11030071;
    case 0x1103005E: return 0x11030072;
    default: return id;
  }
}

namespace {

bool IsCurrentTrigger(uint32_t id) { return id >= 0x0F170000 && id <= 0x0F1B0000 && (id & 0xFFFF) == 0; }
bool IsOsciTime(uint32_t id) { return id == 0x10000000 || id == 0x10010000 || id == 0x10020000; }
bool IsTrmsTime(uint32_t id) { return id == 0x11000000 || id == 0x11010000 || id == 0x11020000; }
bool IsRcmPercent(uint32_t id) { return id == 0x14040000 || id == 0x14050000 || id == 0x140A0000; }

double Number(const QString& text, double def) { return MyStrToFloatDef(text, def); }

QString Plain(const TGridRow& row) {
  return row.RowTyp == TGridRowTyp::grtFloat ? FormatFloat5(row.RowVal.toDouble()) : row.RowVal.toString();
}

}  // namespace

QString GetSpecialVal(uint32_t id, const TGridRow& row, const TSimplePageContext& page) {
  const double v = row.RowVal.toDouble();
  if (IsCurrentTrigger(id)) return FormatFloat5(page.AmpOszi ? page.NennStrom * v / 100.0 : v);
  if (IsOsciTime(id)) {
    if (!page.SampleRate || *page.SampleRate == 0) return QStringLiteral("Check ME");
    return QString::number(std::llround(v * 1000.0 / *page.SampleRate));
  }
  if (IsTrmsTime(id)) {
    if (!page.NominalFreq || *page.NominalFreq == 0) return QStringLiteral("Check ME");
    return QString::number(std::llround(v / 2.0 / *page.NominalFreq * 1000.0));
  }
  if (id == 0x14030000) return FormatFloat5(v * 1000.0);
  if (IsRcmPercent(id)) return FormatFloat5(Number(page.BadPri, 1.0) * v / 100.0);
  return Plain(row);
}

QString SetSpecialVal(const QString& input, uint32_t id, const TSimplePageContext& page) {
  if (IsCurrentTrigger(id))
    return page.AmpOszi && page.NennStrom != 0 ? FormatFloat5(Number(input, 1.0) / page.NennStrom * 100.0) : input;
  if (IsOsciTime(id)) {
    const double x = input.trimmed().toInt();
    return QString::number(std::llround(x / 1000.0 * page.SampleRate.value_or(0)));
  }
  if (IsTrmsTime(id)) {
    const double x = input.trimmed().toInt();
    return QString::number(std::llround(x * page.NominalFreq.value_or(0) * 2.0 / 1000.0));
  }
  if (id == 0x14030000) return FormatFloat5(Number(input, 1.0) / 1000.0);
  if (IsRcmPercent(id)) {
    const double b = Number(page.BadPri, 1.0);
    return FormatFloat5(Number(input, 1.0) * 100.0 / (b == 0 ? 1.0 : b));
  }
  return input;
}

}  // namespace vanta
