#pragma once
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// One input: a setup document; everything the editor does with a loaded
// document runs over it, and the input's tail is typed into every row.
// True when the input loaded as a setup (and so reached the rules).
bool FuzzParamsOneInput(const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
