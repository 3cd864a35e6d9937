#pragma once
// The rules of the simplified settings page (level 0) without the page: the
// ids a firmware generation remaps, and the values the page shows in other
// units than the document stores.
#include <QString>
#include <cstdint>
#include <optional>

#include "ParaHelper.h"

namespace vanta {

// The id a control named after `id` stands for on a device whose firmware
// generation (the first number of its revision) is `generation`.
uint32_t RemapSimplePageId(uint32_t id, uint8_t generation);

// What the page knows besides the row: the current-unit switch and nominal
// current, and the values of other ids shown on the page.
struct TSimplePageContext {
  bool AmpOszi = false;                // the oscilloscope triggers are shown in ampere
  double NennStrom = 0.0;              // nominal current for that (0: not entered)
  std::optional<int> SampleRate;       // value of 0x10040000 on the page
  std::optional<double> NominalFreq;   // value of 0x0D000000 on the page
  QString BadPri;                      // the RCM section's primary value as typed ("" when empty)
};

// The residual-current thresholds read in ampere only once the operator has
// entered the primary value they scale with; until then they are shown and
// entered in percent, as the device stores them.
bool HasRcmPrimary(const TSimplePageContext& page);
// The same for the current triggers: ampere needs the switch and a nominal current.
bool TriggersInAmpere(const TSimplePageContext& page);

// The text the page shows for a stored value; "Check ME" when a value it
// needs is not on the page.
QString GetSpecialVal(uint32_t id, const TGridRow& row, const TSimplePageContext& page);
// The text to store for an input; it then goes through the row's CheckValue.
// Nothing when the value the conversion needs is missing (CanEnterSpecialVal
// is false) or when an input to be converted is not a number: such an input
// is refused rather than stored as a value nobody meant.
std::optional<QString> SetSpecialVal(const QString& input, uint32_t id, const TSimplePageContext& page);
// Whether the page can take input for `id` at all (false while it shows "Check ME").
bool CanEnterSpecialVal(uint32_t id, const TSimplePageContext& page);

}  // namespace vanta
