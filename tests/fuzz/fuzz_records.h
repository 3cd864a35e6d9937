#pragma once
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// One input: a record file as downloaded; the header read and the full read
// run over it. True when the input read as a record file.
bool FuzzRecordsOneInput(const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
