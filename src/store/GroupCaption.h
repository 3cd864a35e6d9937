#pragma once
// The caption of a quantity group in the analysis window's quantity tree.
#include <QString>
#include <cstdint>

#include "EventTable.h"
#include "RecordFile.h"

namespace vanta {

// The measurement's name the host describes the group id with ("Spannung"
// for the phase voltages); without a description the first word of the
// group's first channel ("U" of "U L1"), and the group id when even that is
// empty.
QString GroupCaption(uint32_t group, const TRecordChannel& first, const TMeasLookup& lookup);

}  // namespace vanta
