#pragma once
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// One input: a "stat.txt" as a device (or anything else) wrote it; read,
// routed to the pages, turned into JSON, and read as a capture listing.
// Returns the number of name/value lines found.
int FuzzStatusOneInput(const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
