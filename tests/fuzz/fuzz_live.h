#pragma once
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// One input: a live stream record of any length; the first byte picks the
// layout generation, the rest is the record. Every decoder runs over it,
// and the oscilloscope record goes into a chart model as the views feed it.
// Returns the number of panel fields (always the full set).
int FuzzLiveOneInput(const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
