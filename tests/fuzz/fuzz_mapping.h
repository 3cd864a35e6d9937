#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>

namespace vanta::fuzz {
// One input against the mapping database at `dbPath`: the first four bytes
// are a data class, the next four a device id (both as the setup document or
// the device would hand them over), the rest the text typed into the picker's
// search box and the start id. An input that starts like an SQLite file is
// opened as a (hostile) database of its own instead; `scratch` is the folder
// it is written to. Returns the number of values the queries delivered.
int FuzzMappingOneInput(const QString& dbPath, const QString& scratch, const uint8_t* data, size_t size);
}  // namespace vanta::fuzz
