#pragma once
// Firmware version of a device, decoded from the raw 32-bit word of the full
// identity answer. The encoding is documented in docs/outside.md:
//   raw <= 13685            old firmware: the word is a build number;
//                           generation 0, version 1.0.0
//   raw  > 13685            bits 31..24 layout generation, 23..16 major,
//                           15..8 minor, 7..0 patch
// The computed version number is major << 24 | minor << 16 | patch << 8, so it
// compares directly with thresholds such as 0x02010200 (2.1.2).
#include <QString>
#include <cstdint>

namespace vanta {

inline constexpr uint32_t CLegacyFirmwareMaxWord = 13685;

struct TVantaFW {
  uint32_t Raw = 0;
  uint8_t Gen = 0;       // first byte: record layout generation (0, 1, 2 ...)
  uint32_t Version = 0;  // second half: comparable version number

  TVantaFW() = default;
  explicit TVantaFW(uint32_t raw) : Raw(raw) { CalcVer(); }

  void SetRaw(uint32_t raw) {
    Raw = raw;
    CalcVer();
  }
  void CalcVer();
  bool IsLegacy() const { return Raw <= CLegacyFirmwareMaxWord; }
  uint8_t Major() const { return uint8_t(Version >> 24); }
  uint8_t Minor() const { return uint8_t(Version >> 16); }
  uint8_t Patch() const { return uint8_t(Version >> 8); }
  bool IsAtLeastVer(int major, int minor, int patch) const;
  QString VerAsStr() const;

  static constexpr uint32_t MakeVersion(int major, int minor, int patch) {
    return (uint32_t(major & 0xFF) << 24) | (uint32_t(minor & 0xFF) << 16) | (uint32_t(patch & 0xFF) << 8);
  }
  // The raw word a device with this generation and version sends.
  static constexpr uint32_t MakeRaw(int gen, int major, int minor, int patch) {
    return (uint32_t(gen & 0xFF) << 24) | (uint32_t(major & 0xFF) << 16) | (uint32_t(minor & 0xFF) << 8) |
           uint32_t(patch & 0xFF);
  }
  // Parses "2.10.0"; false for anything else.
  static bool ParseVersionText(const QString& text, int& major, int& minor, int& patch);
};

}  // namespace vanta
