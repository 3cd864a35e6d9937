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

bool HasRcmPrimary(const TSimplePageContext& page) {
  const double b = MyStrToFloatDef(page.BadPri, std::nan(""));
  return std::isfinite(b) && b > 0;
}

bool TriggersInAmpere(const TSimplePageContext& page) {
  return page.AmpOszi && std::isfinite(page.NennStrom) && page.NennStrom > 0;
}

bool CanEnterSpecialVal(uint32_t id, const TSimplePageContext& page) {
  if (IsOsciTime(id)) return page.SampleRate && *page.SampleRate != 0;
  if (IsTrmsTime(id)) return page.NominalFreq && *page.NominalFreq != 0;
  if (IsCurrentTrigger(id)) return !page.AmpOszi || TriggersInAmpere(page);
  return true;
}

QString GetSpecialVal(uint32_t id, const TGridRow& row, const TSimplePageContext& page) {
  const double v = row.RowVal.toDouble();
  if (IsCurrentTrigger(id)) return FormatFloat5(TriggersInAmpere(page) ? page.NennStrom * v / 100.0 : v);
  if (IsOsciTime(id)) {
    if (!CanEnterSpecialVal(id, page)) return QStringLiteral("Check ME");
    return QString::number(std::llround(v * 1000.0 / *page.SampleRate));
  }
  if (IsTrmsTime(id)) {
    if (!CanEnterSpecialVal(id, page)) return QStringLiteral("Check ME");
    return QString::number(std::llround(v / 2.0 / *page.NominalFreq * 1000.0));
  }
  if (id == 0x14030000) return FormatFloat5(v * 1000.0);
  if (IsRcmPercent(id)) return FormatFloat5(HasRcmPrimary(page) ? Number(page.BadPri, 1.0) * v / 100.0 : v);
  return Plain(row);
}

std::optional<QString> SetSpecialVal(const QString& input, uint32_t id, const TSimplePageContext& page) {
  if (!CanEnterSpecialVal(id, page)) return std::nullopt;
  // A converted input must be a number: a stand-in value would be stored
  // in another unit as if the operator had meant it.
  const double x = Number(input, std::nan(""));
  const bool converted = (IsCurrentTrigger(id) && TriggersInAmpere(page)) || IsOsciTime(id) || IsTrmsTime(id) ||
                         id == 0x14030000 || (IsRcmPercent(id) && HasRcmPrimary(page));
  if (converted && !std::isfinite(x)) return std::nullopt;
  if (IsCurrentTrigger(id)) return TriggersInAmpere(page) ? FormatFloat5(x / page.NennStrom * 100.0) : input;
  if (IsOsciTime(id)) return QString::number(std::llround(x / 1000.0 * *page.SampleRate));
  if (IsTrmsTime(id)) return QString::number(std::llround(x * *page.NominalFreq * 2.0 / 1000.0));
  if (id == 0x14030000) return FormatFloat5(x / 1000.0);
  if (IsRcmPercent(id)) {
    if (!HasRcmPrimary(page)) return input;
    return FormatFloat5(x * 100.0 / Number(page.BadPri, 1.0));
  }
  return input;
}

}  // namespace vanta
