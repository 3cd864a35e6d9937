#pragma once
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// One input: bytes as an update package (zip, unpacked into a fresh folder
// and sorted into firmware, change log and uploads), as a firmware archive
// (tar+gzip: the version entry streamed, the whole walked, unpacked in
// memory), as a protocol trace (pcapng), as the SSH host-key store, and as
// the mass update's device lists (text and JSON) and report.
// Returns the number of files the package unpacked to.
int FuzzArchivesOneInput(const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
