#pragma once
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// Feeds one untrusted byte sequence to every frame decoder and, split into
// chunks, to a command queue's evaluation. Must never crash, hang or read
// outside the input.
void FuzzFramesOneInput(const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
